#include "rescontainer.h"

#include <algorithm>
#include <cstring>

#include "kplatform/byte_order.h"

namespace kp::res {
namespace {

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

bool before(const Entry& a, uint16_t type, uint16_t id) { return a.type < type || (a.type == type && a.id < id); }

}  // namespace

const char* Describe(Status status) {
  switch (status) {
    case Status::kOk: return "valid";
    case Status::kTruncated: return "truncated";
    case Status::kBadMagic: return "not a resource container";
    case Status::kBadVersion: return "unknown container version";
    case Status::kBadSize: return "stated size differs from the real size";
    case Status::kBadDirectory: return "directory out of order, repeated or with a zero type or id";
    case Status::kBadEntry: return "resource data outside the container or misplaced";
    case Status::kBadStringBlock: return "string block runs past its end";
  }
  return "unknown";
}

bool LooksLikeContainer(const uint8_t* data, size_t size) {
  return data != nullptr && size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

Status Parse(const uint8_t* data, size_t size, std::vector<Entry>& entries) {
  if (data == nullptr || size < kHeaderSize) return LooksLikeContainer(data, size) ? Status::kTruncated : Status::kBadMagic;
  if (!LooksLikeContainer(data, size)) return Status::kBadMagic;
  if (kp_LoadU16(data + 4) != kVersion || kp_LoadU16(data + 6) != 0) return Status::kBadVersion;
  const uint32_t count = kp_LoadU32(data + 8);
  const uint32_t stated = kp_LoadU32(data + 12);
  if (stated > size) return Status::kTruncated;
  if (stated != size) return Status::kBadSize;
  // count * 12 cannot overflow 64 bits; compare against what is there.
  const uint64_t directoryEnd = kHeaderSize + static_cast<uint64_t>(count) * kEntrySize;
  if (directoryEnd > size) return Status::kTruncated;

  std::vector<Entry> list;
  list.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = data + kHeaderSize + static_cast<size_t>(i) * kEntrySize;
    Entry e{kp_LoadU16(p), kp_LoadU16(p + 2), kp_LoadU32(p + 4), kp_LoadU32(p + 8)};
    if (e.type == 0 || e.id == 0) return Status::kBadDirectory;
    if (!list.empty() && !before(list.back(), e.type, e.id)) return Status::kBadDirectory;
    if (e.offset % 4 != 0 || e.offset < directoryEnd) return Status::kBadEntry;
    if (static_cast<uint64_t>(e.offset) + e.length > size) return Status::kBadEntry;
    if (e.type == kTypeString && !IsValidStringBlock(data + e.offset, e.length)) return Status::kBadStringBlock;
    list.push_back(e);
  }
  entries = std::move(list);
  return Status::kOk;
}

const Entry* Find(const std::vector<Entry>& entries, uint16_t type, uint16_t id) {
  auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(type, id),
                             [](const Entry& e, const std::pair<uint16_t, uint16_t>& key) {
                               return before(e, key.first, key.second);
                             });
  if (it == entries.end() || it->type != type || it->id != id) return nullptr;
  return &*it;
}

bool IsValidStringBlock(const uint8_t* block, size_t length) {
  size_t at = 0;
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    if (length - at < 2) return false;
    const size_t count = kp_LoadU16(block + at);
    at += 2;
    if ((length - at) / 2 < count) return false;
    at += count * 2;
  }
  return true;
}

bool LocateString(const uint8_t* block, size_t length, unsigned index, size_t& unitsOffset, uint16_t& count) {
  if (index >= kStringsPerBlock || !IsValidStringBlock(block, length)) return false;
  size_t at = 0;
  for (unsigned i = 0; i < index; ++i) at += 2 + static_cast<size_t>(kp_LoadU16(block + at)) * 2;
  count = kp_LoadU16(block + at);
  unitsOffset = at + 2;
  return true;
}

std::vector<uint8_t> BuildStringBlock(const std::array<std::u16string, kStringsPerBlock>& strings) {
  std::vector<uint8_t> out;
  for (const std::u16string& s : strings) {
    const size_t n = std::min<size_t>(s.size(), 0xFFFF);
    put16(out, static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i) put16(out, static_cast<uint16_t>(s[i]));
  }
  return out;
}

std::vector<uint8_t> Build(std::vector<Item> items) {
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return a.type < b.type || (a.type == b.type && a.id < b.id);
  });
  std::vector<uint8_t> out(kHeaderSize, 0);
  for (size_t i = 0; i < sizeof kMagic; ++i) out[i] = kMagic[i];
  kp_StoreU16(&out[4], kVersion);
  kp_StoreU32(&out[8], static_cast<uint32_t>(items.size()));
  const size_t directory = out.size();
  out.resize(directory + items.size() * kEntrySize);
  for (size_t i = 0; i < items.size(); ++i) {
    while (out.size() % 4 != 0) out.push_back(0);
    const size_t offset = out.size();
    out.insert(out.end(), items[i].bytes.begin(), items[i].bytes.end());
    const size_t at = directory + i * kEntrySize;
    kp_StoreU16(&out[at], static_cast<uint16_t>(items[i].type));
    kp_StoreU16(&out[at + 2], static_cast<uint16_t>(items[i].id));
    kp_StoreU32(&out[at + 4], static_cast<uint32_t>(offset));
    kp_StoreU32(&out[at + 8], static_cast<uint32_t>(items[i].bytes.size()));
  }
  while (out.size() % 4 != 0) out.push_back(0);
  kp_StoreU32(&out[12], static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace kp::res
