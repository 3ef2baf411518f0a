// Test-side helpers that write and walk the DDD format by hand, from the
// format's tables: little-endian builders and a record finder.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "kestrel/core/ddd_layout.h"

namespace kestrel::test {

using Bytes = std::vector<uint8_t>;

inline void Add(Bytes& b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v); }
inline void Le16(Bytes& b, uint32_t v) { Add(b, {uint8_t(v), uint8_t(v >> 8)}); }
inline void Le32(Bytes& b, uint32_t v) { Add(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }
// A String: 16-bit length, every byte complemented.
inline void Str(Bytes& b, const std::string& ascii) {
  Le16(b, uint32_t(ascii.size()));
  for (char c : ascii) b.push_back(uint8_t(~uint8_t(c)));
}
inline uint32_t Get16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
inline uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

struct Entry {
  int location = 0;
  int id = 0;
  uint32_t offset = 0;
};

// The data-offset table of a category in `file` (empty when absent).
inline std::vector<Entry> Table(const Bytes& file, int category) {
  std::vector<Entry> out;
  if (file.size() < DDD_CATTABLE_BASE) return out;
  size_t cat = DDD_CATTABLE_BASE + Get32(file, DDD_PRINTERINFO_OFFSET);
  int pos = ddd_CategoryPosition(static_cast<uint16_t>(category));
  if (pos < 0 || cat + DDD_CATTABLE_SIZE > file.size()) return out;
  size_t table = Get32(file, cat + DDD_TABLE_HEAD_SIZE + DDD_CATENTRY_SIZE * size_t(pos) + DDD_CATENTRY_TABLE_OFFSET);
  uint32_t count = Get16(file, table + DDD_TABLE_COUNT_OFFSET);
  for (uint32_t i = 0; i < count; ++i) {
    size_t e = table + DDD_TABLE_HEAD_SIZE + DDD_ENTRY_SIZE * i;
    out.push_back({file[e + DDD_ENTRY_LOCATION_OFFSET], int(Get16(file, e + DDD_ENTRY_ID_OFFSET)),
                   Get32(file, e + DDD_ENTRY_DATA_OFFSET)});
  }
  return out;
}

// The stored bytes of the record of a category and id, from the file the
// main file's table names (empty when absent).
inline Bytes Record(const Bytes& main, const Bytes& referenced, int category, int id) {
  for (const Entry& e : Table(main, category)) {
    if (e.id != id) continue;
    const Bytes& f = e.location == DDD_LOC_MAIN ? main : referenced;
    if (e.offset + 4 > f.size()) return {};
    uint32_t len = Get32(f, e.offset);
    if (e.offset + len > f.size()) return {};
    return Bytes(f.begin() + e.offset, f.begin() + e.offset + len);
  }
  return {};
}

}  // namespace kestrel::test
