// Small text helpers of the configuration-file code (the section parser, the
// pre-configuration and the emulation tables).
#pragma once

#include "kplatform/wide_text.h"
#include "kplatform/wintypes.h"

inline WCHAR cfg_Fold(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 32) : c; }

// The first n characters of a and b agree, ASCII letter case ignored.
inline bool cfg_PrefixEqualI(LPCWSTR a, LPCWSTR b, DWORD n) {
  for (DWORD i = 0; i < n; ++i)
    if (cfg_Fold(a[i]) != cfg_Fold(b[i])) return false;
  return true;
}

inline bool cfg_EqualI(LPCWSTR a, LPCWSTR b) {
  DWORD n = kp_WideLength(a);
  return n == kp_WideLength(b) && cfg_PrefixEqualI(a, b, n);
}
