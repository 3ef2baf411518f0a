// NUL-terminated UTF-16 text: length, equality and bounded copy, header-only.
//
// This is the one home of these helpers for every layer: the platform itself,
// the core (both builds), the kernel-mode renderer, the monitor and the user
// interface. The platform is the lowest layer, and being inline these calls
// reach no exported platform function, so kernel-mode code may use them where
// it must not call lstrlenW and friends. Do not write another length or
// compare loop for WCHAR text; add what is missing here.
//
// Null handling: a null text has length 0 and is equal to nothing (not even
// another null). Allocating copies belong to the layer that owns the memory
// (the core's is kcore_WideDup).
#pragma once

#include <cstddef>

#include "kplatform/wintypes.h"

// Characters before the terminating NUL; 0 for null.
inline size_t kp_WideLength(LPCWSTR text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

// Whether both texts hold the same characters; false when either is null.
inline bool kp_WideEqual(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return false;
  size_t i = 0;
  while (a[i] != 0 && a[i] == b[i]) ++i;
  return a[i] == b[i];
}

// Copies the characters of `src` up to its NUL, at most `maxChars` of them,
// to `dst` and answers how many it copied (0 for a null `src`). It writes no
// terminator: callers copy into zero-filled fields or terminate at the count.
inline size_t kp_WideCopy(LPWSTR dst, LPCWSTR src, size_t maxChars) {
  size_t n = 0;
  if (src != nullptr)
    for (; n < maxChars && src[n] != 0; ++n) dst[n] = src[n];
  return n;
}
