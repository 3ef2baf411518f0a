// The configuration file's section parser (see kestrel/core/preconfig.h). User
// mode only: it stands on the profile functions.
#include "kestrel/core/cfg_parser.h"

#include <cstring>

#include "../common/config_util.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace {

// Characters for a list read from a file of `bytes` bytes: every line of the
// file gives at most its own characters and a NUL (the line end's place),
// the last line one more, and the list its closing NUL.
DWORD ListChars(DWORD bytes) { return bytes > 0x3FFFFFF0u ? 0 : bytes + 2; }

}  // namespace

LPWSTR CFG_GetSectionData(LPCWSTR file, LPCWSTR section) {
  if (!file || !section) return nullptr;
  DWORD chars = ListChars(zanLib_GetFileSizeByFileName(file));
  if (chars <= 2) return nullptr;
  auto* list = static_cast<LPWSTR>(kcore_Alloc(static_cast<SIZE_T>(chars) * sizeof(WCHAR)));
  if (!list) return nullptr;
  DWORD n = GetPrivateProfileSectionW(section, list, chars, file);
  if (n == 0) {
    kcore_Free(list);
    return nullptr;
  }
  return list;
}

WORD CFG_GetCfgValueString(WORD startIndex, WORD takeLast, LPCWSTR entries, LPCWSTR key, LPWSTR* value) {
  if (!entries || !key || !value || *value) return 0;
  DWORD keyLen = kp_WideLength(key);
  if (keyLen == 0 || keyLen >= CFG_KEY_MAX) return 0;
  WORD found = 0;
  LPCWSTR match = nullptr;
  DWORD index = 0;
  for (LPCWSTR p = entries; *p; p += kp_WideLength(p) + 1) {
    if (++index > 0xFFFF) break;
    if (index < startIndex) continue;
    if (kp_WideLength(p) > keyLen && cfg_PrefixEqualI(p, key, keyLen)) {
      found = static_cast<WORD>(index);
      match = p + keyLen;
      if (!takeLast) break;
    }
  }
  if (!found) return 0;
  DWORD n = kp_WideLength(match);
  if (n > CFG_VALUE_MAX) n = CFG_VALUE_MAX;
  auto* copy = static_cast<LPWSTR>(kcore_Alloc((n + 1) * sizeof(WCHAR)));
  if (!copy) return 0;
  std::memcpy(copy, match, n * sizeof(WCHAR));
  copy[n] = 0;
  *value = copy;
  return found;
}

BOOL CFG_IsExistTargetSection(LPCWSTR file, LPCWSTR section) {
  if (!file || !section) return FALSE;
  DWORD chars = ListChars(zanLib_GetFileSizeByFileName(file));
  if (chars <= 2) return FALSE;
  auto* names = static_cast<LPWSTR>(kcore_Alloc(static_cast<SIZE_T>(chars) * sizeof(WCHAR)));
  if (!names) return FALSE;
  BOOL found = FALSE;
  if (GetPrivateProfileSectionNamesW(names, chars, file) > 0)
    for (LPCWSTR p = names; *p && !found; p += kp_WideLength(p) + 1) found = lstrcmpiW(p, section) == 0;
  kcore_Free(names);
  return found;
}
