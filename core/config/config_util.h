// Small text helpers of the configuration-file code.
#pragma once

#include "kplatform/wintypes.h"

inline DWORD cfg_Length(LPCWSTR s) {
  DWORD n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

inline WCHAR cfg_Fold(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - 32) : c; }

// The first n characters of a and b agree, ASCII letter case ignored.
inline bool cfg_PrefixEqualI(LPCWSTR a, LPCWSTR b, DWORD n) {
  for (DWORD i = 0; i < n; ++i)
    if (cfg_Fold(a[i]) != cfg_Fold(b[i])) return false;
  return true;
}

inline bool cfg_EqualI(LPCWSTR a, LPCWSTR b) {
  DWORD n = cfg_Length(a);
  return n == cfg_Length(b) && cfg_PrefixEqualI(a, b, n);
}
