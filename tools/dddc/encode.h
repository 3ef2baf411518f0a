// Byte-level helpers of dddc: little-endian writers, the complemented string
// encoding and the conversion of UTF-8 source text to the ANSI code page 1252.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::dddc {

class Bytes {
 public:
  std::vector<uint8_t> b;
  void U8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Raw(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
  void Zeros(size_t n) { b.insert(b.end(), n, 0); }
  size_t size() const { return b.size(); }
  void Put32At(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
};

// UTF-8 to code page 1252. False when the text is not valid UTF-8 or holds a
// character that 1252 cannot hold (`bad` then names it).
bool ToCp1252(const std::string& utf8, std::vector<uint8_t>* out, std::string* bad);

// The stored bytes of a String body: every byte complemented.
std::vector<uint8_t> Complement(const std::vector<uint8_t>& ansi);

}  // namespace kestrel::dddc
