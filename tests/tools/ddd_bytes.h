// Test-side helpers that write and walk the DDD format by hand, from the
// format's tables: little-endian builders and a record finder.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

// Category-table order.
constexpr int kCatOrder[21] = {3, 4, 5, 6, 17, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23};

struct Entry {
  int location = 0;
  int id = 0;
  uint32_t offset = 0;
};

// The data-offset table of a category in `file` (empty when absent).
inline std::vector<Entry> Table(const Bytes& file, int category) {
  std::vector<Entry> out;
  if (file.size() < 228) return out;
  size_t cat = 228 + Get32(file, 224);
  int pos = -1;
  for (int i = 0; i < 21; ++i) {
    if (kCatOrder[i] == category) pos = i;
  }
  if (pos < 0 || cat + 6 + 7 * 21 > file.size()) return out;
  size_t table = Get32(file, cat + 6 + 7 * size_t(pos) + 3);
  uint32_t count = Get16(file, table + 4);
  for (uint32_t i = 0; i < count; ++i) {
    size_t e = table + 6 + 7 * i;
    out.push_back({file[e], int(Get16(file, e + 1)), Get32(file, e + 3)});
  }
  return out;
}

// The stored bytes of the record of a category and id, from the file the
// main file's table names (empty when absent).
inline Bytes Record(const Bytes& main, const Bytes& referenced, int category, int id) {
  for (const Entry& e : Table(main, category)) {
    if (e.id != id) continue;
    const Bytes& f = e.location == 2 ? main : referenced;
    if (e.offset + 4 > f.size()) return {};
    uint32_t len = Get32(f, e.offset);
    if (e.offset + len > f.size()) return {};
    return Bytes(f.begin() + e.offset, f.begin() + e.offset + len);
  }
  return {};
}

}  // namespace kestrel::test
