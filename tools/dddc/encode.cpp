#include "encode.h"

#include <cstdio>

namespace kestrel::dddc {

namespace {

// Code points of bytes 0x80-0x9F in code page 1252 (0 = unassigned).
const uint16_t kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

bool ToCp1252(const std::string& utf8, std::vector<uint8_t>* out, std::string* bad) {
  out->clear();
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0;
    int extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      *bad = "invalid UTF-8";
      return false;
    }
    if (extra > 0 && i + extra >= utf8.size()) {
      *bad = "invalid UTF-8";
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(utf8[i + k]);
      if ((d & 0xC0) != 0x80) {
        *bad = "invalid UTF-8";
        return false;
      }
      cp = (cp << 6) | (d & 0x3F);
    }
    i += 1 + extra;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out->push_back(static_cast<uint8_t>(cp));
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32; ++k) {
      if (kHigh1252[k] != 0 && kHigh1252[k] == cp) {
        out->push_back(static_cast<uint8_t>(0x80 + k));
        found = true;
        break;
      }
    }
    if (!found) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
      *bad = std::string("character ") + buf + " is not in code page 1252";
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> Complement(const std::vector<uint8_t>& ansi) {
  std::vector<uint8_t> r(ansi);
  for (auto& b : r) b = static_cast<uint8_t>(~b);
  return r;
}

}  // namespace kestrel::dddc
