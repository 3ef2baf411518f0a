// The pre-configuration store (see kestrel/core/preconfig.h). Reading the
// configuration file differs between the builds (core/um/preconfig_um.cpp,
// core/km/preconfig_km.cpp): the kernel-mode build reads none.
#include "kestrel/core/preconfig.h"

#include <cstring>

#include "../common/config_util.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dme.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"

#include "preconfig_modes.h"

using namespace preconfig_modes;

// ---- Tables ---------------------------------------------------------------------

const PRECONFIG_VALUE PreConfigValueTbl[] = {
    {u"on", 1},
    {u"off", 0},
    {u"true", 1},
    {u"false", 0},
    {u"auto_color", 0},
    {u"gray", 1},
    {u"color", 2},
    {u"hide", 0},
    {u"dimout", 1},
    {u"show", 2},
    {u"normal_print", 0},
    {u"secure_print", 1},
    {u"sample_print", 2},
    {u"box_print", 3},
    {u"delay_print", 4},
    {u"hole2", 0},
    {u"hole3", 1},
    {u"ab13in_series", 0},
    {u"ab_series", 1},
    {u"ab8k16k_series", 2},
    {u"ab13in14in_series", 3},
    {u"inch_series", 4},
    {u"trad", 0},
    {u"simp", 1},
    {u"option0", 0},
    {u"option1", 1},
    {u"option2", 2},
    {u"option3", 3},
    {u"option4", 4},
    {u"option5", 5},
    {u"option6", 6},
    {u"option7", 7},
    {u"option8", 8},
    {u"option9", 9},
    {u"LightFinisher", 1},
    {u"FinisherA", 10},
    {u"FinisherB", 2},
    {u"FinisherC", 3},
    {u"FinisherD", 4},
};
const WORD PreConfigValueTblCount = sizeof(PreConfigValueTbl) / sizeof(PreConfigValueTbl[0]);

const PRECONFIG_FUNCID PreConfigFuncIdTbl[] = {
    {u"Special1", 5153},
    {u"ColorMode", 270},
    {u"JobType", 334},
    {u"duplex", 16},
    {u"banner", 332},
    {u"staple", 320},
    {u"punch", 341},
    {u"fonttype", 1335},
    {u"font_subst", 292},
    {u"AccountMode", 5163},
    {u"popup_admin", 5164},
    {u"popup_user", 5165},
    {u"Option_HiCapacityTray", 4097},
    {u"Option_SideTray", 4108},
    {u"Option_FoldedPaperTray", 4121},
    {u"Option_BookletTray", 4122},
    {u"Option_Interposer", 4110},
    {u"Punch_Hole", 5154},
    {u"Option_Duplex", 4103},
    {u"Option_OCT", 4098},
    {u"Option_HardDisk", 4099},
    {u"Option_MemorySelect", 4355},
    {u"Option_FaxKit", 4125},
    {u"Paper_Setting", 4356},
    {u"Paper_Switch_8K16K", 4358},
    {u"Option_Glossy", 4127},
    {u"Option_Exit2", 4126},
    {u"Option_PBExp", 4113},
    {u"Option_InTray", 4357},
    {u"Option_Finisher", 4359},
};
const WORD PreConfigFuncIdTblCount = sizeof(PreConfigFuncIdTbl) / sizeof(PreConfigFuncIdTbl[0]);
static_assert(sizeof(PreConfigFuncIdTbl) / sizeof(PreConfigFuncIdTbl[0]) == 30);

namespace {
constexpr PRECONFIG_MACROSET kSpecial1[] = {{5153, 1, PRECONFIG_ENFORCED | PRECONFIG_SHOW}};
constexpr PRECONFIG_MACROSET kMonocolor[] = {{270, 1, PRECONFIG_ENFORCED | PRECONFIG_DIMOUT},
                                             {4129, 0, PRECONFIG_ENFORCED}};
constexpr PRECONFIG_MACROSET kSecure[] = {{334, 1, PRECONFIG_ENFORCED}, {4099, 1, PRECONFIG_ENFORCED}};
}  // namespace

const PRECONFIG_MACROID PreConfigMacroIdTbl[] = {
    {u"USE_SPECIAL1", PRECONFIG_MACRO_USE_SPECIAL1, 1, kSpecial1},
    {u"MONOCOLOR_PRINT", PRECONFIG_MACRO_MONOCOLOR_PRINT, 2, kMonocolor},
    {u"SECURE_PRINT", PRECONFIG_MACRO_SECURE_PRINT, 2, kSecure},
    {u"LOG", PRECONFIG_MACRO_LOG, 0, nullptr},
};
const WORD PreConfigMacroIdTblCount = sizeof(PreConfigMacroIdTbl) / sizeof(PreConfigMacroIdTbl[0]);

namespace {

// Configured value -> DDM value, per DDM id; the first pair whose left side
// equals the configured value counts.
struct Conversion {
  WORD ddmId;
  BYTE count;
  BYTE pairs[12][2];
};
constexpr Conversion kConversions[] = {
    {5153, 2, {{1, 1}, {0, 0}}},
    {4129, 2, {{1, 1}, {0, 0}}},
    {270, 3, {{0, 0}, {2, 2}, {1, 1}}},
    {334, 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
    {332, 3, {{0, 0}, {1, 1}, {2, 2}}},
    {341, 6, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
    {1335, 2, {{1, 1}, {0, 0}}},
    {5163, 2, {{0, 0}, {1, 1}}},
    {5164, 2, {{0, 0}, {1, 1}}},
    {5165, 2, {{0, 0}, {1, 1}}},
    {4097, 2, {{1, 1}, {0, 0}}},
    {4108, 2, {{1, 1}, {0, 0}}},
    {4121, 2, {{1, 1}, {0, 0}}},
    {4122, 2, {{1, 1}, {0, 0}}},
    {4110, 2, {{1, 1}, {0, 0}}},
    {4103, 2, {{1, 1}, {0, 0}}},
    {4099, 2, {{1, 1}, {0, 0}}},
    {4125, 2, {{1, 1}, {0, 0}}},
    {4098, 2, {{1, 1}, {0, 0}}},
    {4127, 2, {{1, 1}, {0, 0}}},
    {4126, 2, {{1, 1}, {0, 0}}},
    {4113, 2, {{1, 1}, {0, 0}}},
    {4356, 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
    {4358, 2, {{0, 0}, {1, 1}}},
    {4355, 10, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}}},
    {4357, 6, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
    {4359, 6, {{0, 0}, {1, 1}, {10, 10}, {2, 2}, {3, 3}, {4, 4}}},
    {5154, 6, {{0, 0}, {1, 1}, {0, 0}, {1, 1}, {2, 2}, {3, 3}}},
    {16, 3, {{0, 1}, {1, 2}, {2, 3}}},
    {320, 12, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 10}, {10, 9}, {11, 11}}},
    {292, 3, {{0, 2}, {1, 1}, {2, 0}}},
};

PRECONFIG_HANDLE* H(void* handle) { return static_cast<PRECONFIG_HANDLE*>(handle); }

const PRECONFIG_MACROID* MacroById(WORD id) {
  for (WORD i = 0; i < PreConfigMacroIdTblCount; ++i)
    if (PreConfigMacroIdTbl[i].macroId == id) return &PreConfigMacroIdTbl[i];
  return nullptr;
}

// The setting an active macro (value 1) brings for ddmId, or null.
const PRECONFIG_MACROSET* MacroSetting(const PRECONFIG_HANDLE* h, WORD ddmId) {
  for (WORD i = 0; i < h->macroCount; ++i) {
    if (h->macros[i].value != 1) continue;
    const PRECONFIG_MACROID* m = MacroById(h->macros[i].macroId);
    if (!m) continue;
    for (WORD k = 0; k < m->count; ++k)
      if (m->settings[k].ddmId == ddmId) return &m->settings[k];
  }
  return nullptr;
}

// Writes a numeric value with the member's own type and size; strings and
// fonts are never set (answered as done).
bool SetDdm(WORD ddmId, DWORD value, void* devmode, void* printerData) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR current = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &current) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return true;
  if (size == 0 || size > 4) return false;
  BYTE bytes[4];
  for (DWORD i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
  return ddm_SetValue(ddmId, devmode, printerData, type, size, bytes) == 0;
}

bool Accepts(WORD flags, WORD mode) {
  return mode == 1 ? (flags & PRECONFIG_ENFORCED) != 0 : (flags & (PRECONFIG_ENFORCED | PRECONFIG_DEFAULT)) != 0;
}

}  // namespace

namespace preconfig_modes {

// Leading decimal digits up to the first other character; no sign, and a
// number that does not fit in 32 bits is refused.
bool ParseDigits(LPCWSTR text, DWORD* value) {
  if (text[0] < u'0' || text[0] > u'9') return false;
  unsigned long long v = 0;
  for (LPCWSTR p = text; *p >= u'0' && *p <= u'9'; ++p) {
    v = v * 10 + static_cast<unsigned>(*p - u'0');
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<DWORD>(v);
  return true;
}

}  // namespace preconfig_modes

// ---- Values ---------------------------------------------------------------------

BOOL PreConfig_ConvertValue(WORD ddmId, DWORD configured, DWORD* ddmValue) {
  if (!ddmValue) return FALSE;
  for (const Conversion& c : kConversions) {
    if (c.ddmId != ddmId) continue;
    for (BYTE i = 0; i < c.count; ++i)
      if (c.pairs[i][0] == configured) {
        *ddmValue = c.pairs[i][1];
        return TRUE;
      }
    return FALSE;
  }
  return FALSE;
}

BOOL PreConfig_ParseValue(LPCWSTR text, DWORD* value) {
  if (!text || !value) return FALSE;
  for (WORD i = 0; i < PreConfigValueTblCount; ++i)
    if (cfg_EqualI(text, PreConfigValueTbl[i].word)) {
      *value = PreConfigValueTbl[i].value;
      return TRUE;
    }
  return ParseDigits(text, value) ? TRUE : FALSE;
}

BOOL PreConfig_SectionName(LPCWSTR modelName, LPWSTR buffer, DWORD capacity) {
  if (!modelName || !buffer || capacity == 0) return FALSE;
  DWORD n = kp_WideLength(modelName);
  if (n + 1 > capacity) {
    buffer[0] = 0;
    return FALSE;
  }
  for (DWORD i = 0; i < n; ++i) {
    WCHAR c = modelName[i];
    buffer[i] = (c == u' ' || c == u'/' || c == u'-') ? u'_' : c;
  }
  buffer[n] = 0;
  return TRUE;
}

// ---- The file -------------------------------------------------------------------

LPWSTR PreConfig_GetPreConfigFileName(HCDDD handle) {
  if (!handle || !handle->dataFile) return nullptr;
  LPCWSTR data = handle->dataFile;
  DWORD n = kp_WideLength(data);
  DWORD nameStart = 0, dot = n;
  for (DWORD i = 0; i < n; ++i) {
    if (data[i] == u'\\' || data[i] == u'/') {
      nameStart = i + 1;
      dot = n;
    } else if (data[i] == u'.') {
      dot = i;
    }
  }
  WCHAR dir[MAX_PATH] = {};
  DWORD dirLen;
  if (zanlib_GetDriverDirectory(dir, sizeof(dir))) {
    dirLen = kp_WideLength(dir);
  } else {
    if (nameStart >= MAX_PATH) return nullptr;
    std::memcpy(dir, data, nameStart * sizeof(WCHAR));
    dirLen = nameStart;
  }
  bool slash = dirLen && dir[dirLen - 1] != u'\\' && dir[dirLen - 1] != u'/';
  DWORD stem = dot - nameStart;
  SIZE_T total = dirLen + (slash ? 1 : 0) + stem + 4;  // ".cfg"
  auto* out = static_cast<LPWSTR>(kcore_Alloc((total + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  SIZE_T at = 0;
  std::memcpy(out, dir, dirLen * sizeof(WCHAR));
  at += dirLen;
  if (slash) out[at++] = u'\\';
  std::memcpy(out + at, data + nameStart, stem * sizeof(WCHAR));
  at += stem;
  std::memcpy(out + at, u".cfg", 4 * sizeof(WCHAR));
  out[at + 4] = 0;
  return out;
}

void* PreConfig_OpenFileEx(LPCWSTR modelName, LPCWSTR file) {
  void* h = PreConfig_OpenFile(modelName, file, PreConfigFuncIdTbl, PreConfigFuncIdTblCount, PreConfigValueTbl,
                               PreConfigValueTblCount, PreConfigMacroIdTbl, PreConfigMacroIdTblCount);
  Logout_SetLogoutStatus();
  return h;
}

void PreConfig_CloseFile(void* handle) {
  PRECONFIG_HANDLE* h = H(handle);
  if (!h) return;
  kcore_Free(h->funcs);
  kcore_Free(h->macros);
  kcore_Free(h);
}

void PreConfig_CloseFileEx(void* handle) { PreConfig_CloseFile(handle); }

// ---- Queries --------------------------------------------------------------------

BOOL PreConfig_GetPropertyFlg(WORD ddmId, void* handle, WORD* flags) {
  PRECONFIG_HANDLE* h = H(handle);
  if (!h || !flags) return 0;
  if (const PRECONFIG_MACROSET* s = MacroSetting(h, ddmId)) {
    *flags = s->flags;
    return 1;
  }
  for (WORD i = 0; i < h->funcCount; ++i)
    if (h->funcs[i].ddmId == ddmId) {
      *flags = h->funcs[i].flags;
      return 1;
    }
  return 0;
}

BOOL PreConfig_IsEnforcedProperty(WORD ddmId, void* handle) {
  WORD flags = 0;
  return PreConfig_GetPropertyFlg(ddmId, handle, &flags) && (flags & PRECONFIG_ENFORCED) ? 1 : 0;
}

BOOL PreConfig_GetDefaultData(WORD ddmId, void* handle, void* destination, WORD valueType) {
  PRECONFIG_HANDLE* h = H(handle);
  if (!h || !destination) return 0;
  bool have = false;
  DWORD configured = 0;
  if (const PRECONFIG_MACROSET* s = MacroSetting(h, ddmId)) {
    configured = s->value;
    have = true;
  }
  for (WORD i = 0; i < h->funcCount && !have; ++i)
    if (h->funcs[i].ddmId == ddmId && Accepts(h->funcs[i].flags, 0)) {
      configured = h->funcs[i].value;
      have = true;
    }
  DWORD value = 0;
  if (!have || !PreConfig_ConvertValue(ddmId, configured, &value)) return 0;
  switch (valueType) {
    case DDM_TYPE_FLAG:
    case DDM_TYPE_LONG:
    case DDM_TYPE_DWORD:
    case DDM_TYPE_LFLONG:
      std::memcpy(destination, &value, 4);
      return 1;
    case DDM_TYPE_SHORT:
    case DDM_TYPE_WORD: {
      WORD w = static_cast<WORD>(value);
      std::memcpy(destination, &w, 2);
      return 1;
    }
    case DDM_TYPE_BYTE: {
      BYTE b = static_cast<BYTE>(value);
      std::memcpy(destination, &b, 1);
      return 1;
    }
    default:
      return 0;
  }
}

BOOL PreConfig_SetAllDataToDDM(void* handle, void* devmode, void* printerData, WORD mode) {
  PRECONFIG_HANDLE* h = H(handle);
  if (!h || (!devmode && !printerData)) return 0;
  bool ok = true;
  for (WORD i = 0; i < h->funcCount; ++i) {
    const PRECONFIG_FUNCENTRY& e = h->funcs[i];
    DWORD value = 0;
    if (!Accepts(e.flags, mode) || !PreConfig_ConvertValue(e.ddmId, e.value, &value)) continue;
    ok = SetDdm(e.ddmId, value, devmode, printerData) && ok;
  }
  for (WORD i = 0; i < h->macroCount; ++i) {
    if (h->macros[i].value != 1) continue;
    const PRECONFIG_MACROID* m = MacroById(h->macros[i].macroId);
    if (!m) continue;
    for (WORD k = 0; k < m->count; ++k) {
      const PRECONFIG_MACROSET& s = m->settings[k];
      DWORD value = 0;
      if (!Accepts(s.flags, mode) || !PreConfig_ConvertValue(s.ddmId, s.value, &value)) continue;
      ok = SetDdm(s.ddmId, value, devmode, printerData) && ok;
    }
  }
  return ok ? 1 : 0;
}

LPWSTR PreConfig_GetPrCfgVersionComment(LPCWSTR modelName, LPCWSTR file) {
  return PreConfig_GetValueDirect(modelName, file, u"COMMENT");
}

// ---- Attaching to the description handle ---------------------------------------------

namespace {
void* CreateDme(LPCWSTR file, int section) { return DMETbl_CreateDmeHandle(file, section); }
void DestroyDme(void* dme) { DMETbl_DestroyDmeHandle(dme); }
BOOL FormDb(void* dme) { return dme_IsEnableFormDB(dme); }
}  // namespace

void PreConfig_InstallAttachOps(void) {
  CDDD_ATTACH_OPS ops{};
  ops.openPreConfig = PreConfig_OpenFileEx;
  ops.closePreConfig = PreConfig_CloseFileEx;
  ops.createDme = CreateDme;
  ops.destroyDme = DestroyDme;
  ops.isEnableFormDB = FormDb;
  ops.configFileName = PreConfig_GetPreConfigFileName;
  cddd_SetAttachOps(&ops);
}
