// Upper-case folding of names that compare without regard to case (registry
// keys and values, profile sections and keys). The same letters as lstrcmpiW:
// ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin
// letters; every other code unit stays as it is (one unit maps to one unit,
// so the length never changes).
#pragma once

#include <string>
#include <string_view>

namespace kp {

inline char16_t FoldChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs upper/lower: even/odd in 0100-0137 and 014A-0177, odd/even in
    // 0139-0148 and 0179-017E.
    if ((c <= 0x137 || (c >= 0x14A && c <= 0x177)) && (c & 1)) return static_cast<char16_t>(c - 1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !(c & 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? char16_t{0x3A3} : static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

inline std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) c = FoldChar(c);
  return out;
}

inline bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

}  // namespace kp
