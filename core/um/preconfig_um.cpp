// The pre-configuration store of the user-mode build (see
// kestrel/core/preconfig.h; the shared store is preconfig.cpp): the
// configuration file read through the profile functions.
#include "kestrel/core/preconfig.h"

#include <cstring>

#include "../common/config_util.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/kwindows.h"

#include "../config/preconfig_modes.h"

using namespace preconfig_modes;

namespace {

LPWSTR Copy(LPCWSTR s) {
  DWORD n = kp_WideLength(s);
  auto* out = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, s, static_cast<SIZE_T>(n) * sizeof(WCHAR));
  return out;
}

// The section the model's values are read from: its own, else "default".
bool ModelSection(LPCWSTR modelName, LPCWSTR file, WCHAR* section, DWORD capacity) {
  if (!PreConfig_SectionName(modelName, section, capacity)) return false;
  if (!CFG_IsExistTargetSection(file, section)) lstrcpynW(section, u"default", static_cast<int>(capacity));
  return true;
}

// The value of `key` in the entries as a number (word or digits).
bool Lookup(LPCWSTR entries, LPCWSTR key, const PRECONFIG_VALUE* values, WORD valueCount, DWORD* out) {
  LPWSTR text = nullptr;
  if (!CFG_GetCfgValueString(1, 0, entries, key, &text)) return false;
  bool ok = false;
  for (WORD i = 0; i < valueCount && !ok; ++i)
    if (cfg_EqualI(text, values[i].word)) {
      *out = values[i].value;
      ok = true;
    }
  if (!ok) ok = ParseDigits(text, out);
  kcore_Free(text);
  return ok;
}

}  // namespace

void* PreConfig_OpenFile(LPCWSTR modelName, LPCWSTR file, const PRECONFIG_FUNCID* functions, WORD functionCount,
                         const PRECONFIG_VALUE* values, WORD valueCount, const PRECONFIG_MACROID* macros,
                         WORD macroCount) {
  if (!modelName || !file || !functions || !values || !macros) return nullptr;
  if (zanLib_GetFileSizeByFileName(file) == 0) return nullptr;
  WCHAR section[MAX_PATH];
  if (!ModelSection(modelName, file, section, MAX_PATH)) return nullptr;
  LPWSTR entries = CFG_GetSectionData(file, section);  // null: no entries

  auto* funcs = static_cast<PRECONFIG_FUNCENTRY*>(
      kcore_Alloc(sizeof(PRECONFIG_FUNCENTRY) * (static_cast<SIZE_T>(functionCount) + 1)));
  auto* macroEntries = static_cast<PRECONFIG_MACROENTRY*>(
      kcore_Alloc(sizeof(PRECONFIG_MACROENTRY) * (static_cast<SIZE_T>(macroCount) + 1)));
  auto* h = static_cast<PRECONFIG_HANDLE*>(kcore_Alloc(sizeof(PRECONFIG_HANDLE)));
  if (!funcs || !macroEntries || !h) {
    kcore_Free(funcs);
    kcore_Free(macroEntries);
    kcore_Free(h);
    kcore_Free(entries);
    return nullptr;
  }
  h->funcs = funcs;
  h->macros = macroEntries;
  if (entries) {
    WCHAR key[96];
    WORD found = 0;
    for (WORD i = 0; i < functionCount; ++i) {
      WORD flags = 0;
      DWORD value = 0, v = 0;
      wnsprintfW(key, 96, u"%s.%s=", functions[i].name, u"enforced");
      if (Lookup(entries, key, values, valueCount, &v)) {
        flags |= PRECONFIG_ENFORCED;
        value = v;
      } else {
        wnsprintfW(key, 96, u"%s.%s=", functions[i].name, u"default");
        if (Lookup(entries, key, values, valueCount, &v)) {
          flags |= PRECONFIG_DEFAULT;
          value = v;
        }
      }
      wnsprintfW(key, 96, u"%s.%s=", functions[i].name, u"display");
      if (Lookup(entries, key, values, valueCount, &v)) {
        if (v == 0) flags |= PRECONFIG_HIDE;
        if (v == 1) flags |= PRECONFIG_DIMOUT;
        if (v == 2) flags |= PRECONFIG_SHOW;
      }
      if (flags) {
        // Each new entry goes in front.
        std::memmove(funcs + 1, funcs, sizeof(PRECONFIG_FUNCENTRY) * found);
        funcs[0] = PRECONFIG_FUNCENTRY{functions[i].ddmId, value, flags};
        ++found;
      }
    }
    h->funcCount = found;
    found = 0;
    for (WORD i = 0; i < macroCount; ++i) {
      DWORD v = 0;
      wnsprintfW(key, 96, u"%s=", macros[i].name);
      if (!Lookup(entries, key, values, valueCount, &v)) continue;
      std::memmove(macroEntries + 1, macroEntries, sizeof(PRECONFIG_MACROENTRY) * found);
      macroEntries[0] = PRECONFIG_MACROENTRY{macros[i].macroId, v};
      ++found;
    }
    h->macroCount = found;
  }
  kcore_Free(entries);
  return h;
}

LPWSTR PreConfig_GetValueDirect(LPCWSTR modelName, LPCWSTR file, LPCWSTR key) {
  if (!modelName || !file || !key) return nullptr;
  WCHAR section[MAX_PATH];
  if (!ModelSection(modelName, file, section, MAX_PATH)) return nullptr;
  DWORD bytes = zanLib_GetFileSizeByFileName(file);
  DWORD chars = bytes > 0x3FFFFFF0u ? 0 : bytes + 2;
  if (chars == 0) return nullptr;
  auto* value = static_cast<LPWSTR>(kcore_Alloc(static_cast<SIZE_T>(chars) * sizeof(WCHAR)));
  if (!value) return nullptr;
  GetPrivateProfileStringW(section, key, u"", value, chars, file);
  LPWSTR out = Copy(value);  // only as long as the value
  kcore_Free(value);
  return out;
}
