// Conversions between UTF-16, 8-bit code pages and UTF-8 (see kestrel/core/strconv.h).
#include "kestrel/core/strconv.h"

#include "kestrel/core/kcore_sys.h"
#include "kplatform/kwindows.h"

namespace {

// Characters of text without the NUL, or -1 when it does not convert.
int WideCount(UINT cp, LPCSTR text) {
  int n = MultiByteToWideChar(cp, 0, text, -1, nullptr, 0);
  return n > 0 ? n - 1 : -1;
}

int ByteCount(UINT cp, LPCWSTR wide) {
  int n = WideCharToMultiByte(cp, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  return n > 0 ? n - 1 : -1;
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

UINT GetValidCodePage(UINT codePage) {
  if (codePage == CP_UTF8) return codePage;
  if (codePage != CP_ACP && codePage != CP_OEMCP && IsValidCodePage(codePage)) return codePage;
  return GetACP();
}

int CopyStr2WideChar(UINT codePage, LPWSTR wide, LPCSTR text, int capacity) {
  if (!text) return 0;
  UINT cp = GetValidCodePage(codePage);
  int count = WideCount(cp, text);
  if (count < 0) return 0;
  if (capacity < 1) return count;
  if (!wide) return 0;
  if (count < capacity) {
    int n = MultiByteToWideChar(cp, 0, text, -1, wide, capacity);
    if (n <= 0) {
      wide[0] = 0;
      return 0;
    }
    return n - 1;
  }
  auto* all = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(count) + 1) * sizeof(WCHAR)));
  if (!all) {
    wide[0] = 0;
    return 0;
  }
  MultiByteToWideChar(cp, 0, text, -1, all, count + 1);
  int keep = capacity - 1;
  if (keep > 0 && IsHighSurrogate(all[keep - 1])) --keep;
  for (int i = 0; i < keep; ++i) wide[i] = all[i];
  wide[keep] = 0;
  kcore_Free(all);
  return keep;
}

int copyWideCharStr2MultiByteStr(UINT codePage, LPCWSTR wide, LPSTR out, int size) {
  if (!wide || size < 0 || (size > 0 && !out)) return 0;
  UINT cp = GetValidCodePage(codePage);
  int count = ByteCount(cp, wide);
  if (count < 0) return 0;
  if (size == 0) return count + 1;
  if (size < count + 1) {
    out[0] = 0;
    return 0;
  }
  int n = WideCharToMultiByte(cp, 0, wide, -1, out, size, nullptr, nullptr);
  if (n <= 0) {
    out[0] = 0;
    return 0;
  }
  return count + 1;
}

LPSTR allocAndCopyWC2MB(UINT codePage, LPCWSTR wide) {
  int need = copyWideCharStr2MultiByteStr(codePage, wide, nullptr, 0);
  if (need <= 0) return nullptr;
  auto* out = static_cast<LPSTR>(kcore_Alloc(static_cast<SIZE_T>(need) + 1));
  if (!out) return nullptr;
  if (copyWideCharStr2MultiByteStr(codePage, wide, out, need + 1) <= 0) {
    kcore_Free(out);
    return nullptr;
  }
  return out;
}

LPWSTR allocAndCopyMB2WC(UINT codePage, LPCSTR text, int* count) {
  if (count) *count = 0;
  int n = CopyStr2WideChar(codePage, nullptr, text, 0);
  if (!text) return nullptr;
  auto* out = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  int written = CopyStr2WideChar(codePage, out, text, n + 1);
  if (written != n) {
    kcore_Free(out);
    return nullptr;
  }
  if (count) *count = n;
  return out;
}

int copyWideCharStr2UTF8Str(LPCWSTR wide, LPSTR out, int size) {
  return copyWideCharStr2MultiByteStr(CP_UTF8, wide, out, size);
}

LPSTR allocAndCopyWC2UTF8(LPCWSTR wide, int* size) {
  if (size) *size = 0;
  int need = copyWideCharStr2UTF8Str(wide, nullptr, 0);
  if (need <= 0) return nullptr;
  auto* out = static_cast<LPSTR>(kcore_Alloc(static_cast<SIZE_T>(need)));
  if (!out) return nullptr;
  if (copyWideCharStr2UTF8Str(wide, out, need) != need) {
    kcore_Free(out);
    return nullptr;
  }
  if (size) *size = need;
  return out;
}

LPSTR allocAndCopyMB2UTF8(LPCSTR text, int* size) {
  if (size) *size = 0;
  LPWSTR wide = allocAndCopyMB2WC(CP_ACP, text, nullptr);
  if (!wide) return nullptr;
  LPSTR out = allocAndCopyWC2UTF8(wide, size);
  kcore_Free(wide);
  return out;
}

BOOL zanlib_WideCharToMultiByte(LPCWSTR wide, LPSTR* out, int* length, UINT codePage) {
  if (out) *out = nullptr;
  if (length) *length = 0;
  if (!wide || !out) return FALSE;
  LPSTR text = allocAndCopyWC2MB(codePage, wide);
  if (!text) return FALSE;
  *out = text;
  if (length) *length = lstrlenA(text);
  return TRUE;
}

BOOL zanlib_MultiByteToWideChar(LPCSTR text, LPWSTR* out, int* length, UINT codePage) {
  if (out) *out = nullptr;
  if (length) *length = 0;
  if (!text || !out) return FALSE;
  int count = 0;
  LPWSTR wide = allocAndCopyMB2WC(codePage, text, &count);
  if (!wide) return FALSE;
  *out = wide;
  if (length) *length = count + 1;
  return TRUE;
}
