// The common library: device type and capability bits, user-defined paper
// slots, locale-based paper defaults, unit conversions, number parsing, file
// and user helpers and operating-system codes (see kestrel/core/zanlib.h).
#include <atomic>
#include <cstdint>

#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"

#include "zanlib_modes.h"

using namespace zanlib_modes;

namespace {

std::atomic<ZanLibGetValueFn> g_getValue{nullptr};
std::atomic<ZanLibSetValueFn> g_setValue{nullptr};

// Writes a numeric member with the type and size it reports.
bool WriteNumber(WORD ddmId, void* devmode, void* printerData, LONG v) {
  ZanLibGetValueFn get = g_getValue.load();
  ZanLibSetValueFn set = g_setValue.load();
  if (!get || !set) return false;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR current = 0;
  if (get(ddmId, devmode, printerData, &type, &size, &current) != 0) return false;
  switch (type) {
    case DDM_TYPE_SHORT: case DDM_TYPE_WORD: {
      WORD w = static_cast<WORD>(v);
      return set(ddmId, devmode, printerData, type, 2, &w) == 0;
    }
    case DDM_TYPE_BYTE: {
      BYTE b = static_cast<BYTE>(v);
      return set(ddmId, devmode, printerData, type, 1, &b) == 0;
    }
    case DDM_TYPE_FLAG: case DDM_TYPE_LONG: case DDM_TYPE_DWORD: case DDM_TYPE_LFLONG: {
      DWORD d = static_cast<DWORD>(v);
      return set(ddmId, devmode, printerData, type, 4, &d) == 0;
    }
    default: return false;
  }
}

// ---- Locale -------------------------------------------------------------

constexpr BYTE kUnreadable = 254;
std::atomic<BYTE> g_group{kUnset};
std::atomic<BYTE> g_k8k16{kUnset};

}  // namespace

namespace zanlib_modes {

std::atomic<BYTE> g_letter{kUnset};

}  // namespace zanlib_modes

// ddm_GetNumber (kestrel/core/ddm_value.h) through the value access that
// zanLib_SetValueAccess handed this library.
BOOL zanLib_ReadNumber(WORD ddmId, void* devmode, void* printerData, LONG* value) {
  ZanLibGetValueFn get = g_getValue.load();
  if (!value || !get) return FALSE;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (get(ddmId, devmode, printerData, &type, &size, &v) != 0) return FALSE;
  return ddm_NumberFromValue(type, v, value);
}

void zanLib_SetValueAccess(ZanLibGetValueFn get, ZanLibSetValueFn set) {
  g_getValue.store(get);
  g_setValue.store(set);
}

// ---- Device type and capabilities ------------------------------------------

WORD zanLib_GetDeviceType(HCDDD handle) {
  if (!handle || !handle->main) return 0;
  BYTE type = 0;
  if (ddd_GetPrinterInfo_orderedItem(handle->main, 23, 1, 0, &type) != DDD_OK) return 0;
  return type <= 3 ? static_cast<WORD>(type + 1) : 0;
}

BOOL zanLib_IsPCL6Driver(HCDDD handle) {
  WORD type = zanLib_GetDeviceType(handle);
  return type == 3 || type == 4;
}

BOOL zanLib_GetDDDCapabilitiesFromFile(DDDFILE* main, ZANLIB_CAPABILITY* caps) {
  if (!caps) return FALSE;
  caps->word0 = 0;
  caps->word1 = 0;
  if (!main) return FALSE;
  BYTE bytes[4] = {};
  if (ddd_GetPrinterInfo_orderedItem(main, 26, 4, 0, bytes) != DDD_OK) return FALSE;
  caps->word0 = kp_LoadU32(bytes);
  if (main->formatVersion >= 0x1600 && ddd_GetPrinterInfo_numOfItem(main, 39) > 0 &&
      ddd_GetPrinterInfo_orderedItem(main, 39, 4, 0, bytes) == DDD_OK)
    caps->word1 = kp_LoadU32(bytes);
  return TRUE;
}

BOOL zanLib_GetDDDCapabilities(HCDDD handle, ZANLIB_CAPABILITY* caps) {
  if (!handle) {
    if (caps) caps->word0 = caps->word1 = 0;
    return FALSE;
  }
  return zanLib_GetDDDCapabilitiesFromFile(handle->main, caps);
}

BOOL zanLib_CheckCapability(const ZANLIB_CAPABILITY* caps, DWORD flag) {
  if (!caps) return FALSE;
  if ((flag >> 16) == 0xFFFF) {
    DWORD bit = flag & 0xFFFF;
    if (bit < 32) return (caps->word0 >> bit) & 1u;
    if (bit < 64) return (caps->word1 >> (bit - 32)) & 1u;
    return FALSE;
  }
  return (caps->word0 & flag) != 0;
}

BOOL zanLib_CheckCapability_Indirect(HCDDD handle, DWORD flag) {
  ZANLIB_CAPABILITY caps{};
  if (!zanLib_GetDDDCapabilities(handle, &caps)) return FALSE;
  return zanLib_CheckCapability(&caps, flag);
}

BOOL zanLib_IsSupportFuncWithVersion(DWORD version, DWORD required) { return version >= required; }

BOOL zanLib_IsEnableAltJBA(HCDDD handle, BOOL* enabled) {
  if (!enabled) return FALSE;
  *enabled = FALSE;
  if (!zanLib_CheckCapability_Indirect(handle, ZANLIB_CAP_BIT(43))) return TRUE;
  if (AltJBAObjectPresent()) *enabled = TRUE;
  return TRUE;
}

BOOL zanLib_GetLANGID(WORD* langId) {
  if (!langId) return FALSE;
  WCHAR text[5] = {};
  if (resource_LoadString(ZANLIB_STRID_LANGID, text, 5) <= 0) return FALSE;
  *langId = static_cast<WORD>(zanLib_atoi(text));
  return TRUE;
}

// ---- User-defined papers ---------------------------------------------------

// The paper ids of the 20 user-defined paper slots: slots 0-4 are the ids
// 262-266, slots 5-19 the ids 287-301.
constexpr WORD kUserPaperRun1First = 262;
constexpr WORD kUserPaperRun1Slots = 5;
constexpr WORD kUserPaperRun2First = 287;
constexpr WORD kUserPaperSlots = 20;
constexpr WORD kNoUserPaper = 0xFFFF;

BOOL zanLib_IsUsrDefPaper(WORD paperId) { return zanLib_GetUsrDefPapIndex(paperId) != kNoUserPaper; }

BOOL zanLib_IsUsrDefPaperOrUsrDefSize(WORD paperId) { return zanLib_IsUsrDefPaper(paperId) || paperId == DMPAPER_USER; }

BOOL zanLib_IsUsrDefPapSizeDdmId(WORD ddmId) {
  return ddmId >= DDM_DEFINEWIDTH_FIRST && ddmId < DDM_DEFINENAME_FIRST;  // the widths, then the lengths
}

WORD zanLib_GetUsrDefPapIndex(WORD paperId) {
  if (paperId >= kUserPaperRun1First && paperId < kUserPaperRun1First + kUserPaperRun1Slots)
    return static_cast<WORD>(paperId - kUserPaperRun1First);
  if (paperId >= kUserPaperRun2First && paperId < kUserPaperRun2First + (kUserPaperSlots - kUserPaperRun1Slots))
    return static_cast<WORD>(paperId - kUserPaperRun2First + kUserPaperRun1Slots);
  return kNoUserPaper;
}

WORD zanLib_GetUsrDefPapID(WORD slot) {
  if (slot < kUserPaperRun1Slots) return static_cast<WORD>(kUserPaperRun1First + slot);
  if (slot < kUserPaperSlots) return static_cast<WORD>(kUserPaperRun2First + slot - kUserPaperRun1Slots);
  return kNoUserPaper;
}

BOOL zanLib_GetUsrDefPap_DefaultName(WORD slot, LPWSTR buffer, DWORD capacity) {
  if (!buffer || capacity == 0) return FALSE;
  buffer[0] = 0;
  if (slot > 19) return FALSE;
  WCHAR base[32] = {};
  if (resource_LoadString(ZANLIB_STRID_CUSTOM, base, 32) <= 0) {
    const WCHAR fallback[] = u"Custom";
    for (DWORD i = 0; i < sizeof(fallback) / sizeof(WCHAR); ++i) base[i] = fallback[i];
  }
  DWORD baseLen = kp_WideLength(base);
  while (baseLen > 0 && base[baseLen - 1] >= u'0' && base[baseLen - 1] <= u'9') --baseLen;
  WCHAR number[4] = {};
  DWORD n = static_cast<DWORD>(slot) + 1, digits = 0;
  WCHAR reversed[4];
  do {
    reversed[digits++] = static_cast<WCHAR>(u'0' + n % 10);
    n /= 10;
  } while (n);
  for (DWORD i = 0; i < digits; ++i) number[i] = reversed[digits - 1 - i];
  if (digits + 1 > capacity) return FALSE;
  if (baseLen + digits + 1 > capacity) baseLen = capacity - digits - 1;
  for (DWORD i = 0; i < baseLen; ++i) buffer[i] = base[i];
  for (DWORD i = 0; i < digits; ++i) buffer[baseLen + i] = number[i];
  buffer[baseLen + digits] = 0;
  return TRUE;
}

// ---- Settings by DDM id -------------------------------------------------------

BOOL zanLib_IsFaxMode(HCDDD handle, void* devmode) {
  WORD type = zanLib_GetDeviceType(handle);
  if (type == 2) return TRUE;
  if (type != 4) return FALSE;
  LONG v = 0;
  return zanLib_ReadNumber(DDM_JOBTYPE, devmode, nullptr, &v) && v == 5;
}

BOOL zanLib_GetUsrDefSize(void* devmode, void* printerData, DWORD* width, DWORD* length) {
  if (!width || !length) return FALSE;
  LONG w = 0, l = 0;
  if (!zanLib_ReadNumber(DDM_CUSTOMPAPERWIDTH, devmode, printerData, &w) ||
      !zanLib_ReadNumber(DDM_CUSTOMPAPERLENGTH, devmode, printerData, &l))
    return FALSE;
  *width = static_cast<DWORD>(w);
  *length = static_cast<DWORD>(l);
  return TRUE;
}

BOOL zanLib_CopyPaperSizeBetweenPublicAndPrivate(WORD direction, void* devmode, void* printerData) {
  LONG a = 0, b = 0;
  if (direction == 0) {
    if (!zanLib_ReadNumber(DDM_CUSTOMPAPERLENGTH, devmode, printerData, &a) ||
        !zanLib_ReadNumber(DDM_CUSTOMPAPERWIDTH, devmode, printerData, &b))
      return FALSE;
    return WriteNumber(DDM_PAPERLENGTH, devmode, printerData, a) && WriteNumber(DDM_PAPERWIDTH, devmode, printerData, b);
  }
  if (direction == 1) {
    if (!zanLib_ReadNumber(DDM_PAPERLENGTH, devmode, printerData, &a) ||
        !zanLib_ReadNumber(DDM_PAPERWIDTH, devmode, printerData, &b))
      return FALSE;
    return WriteNumber(DDM_CUSTOMPAPERLENGTH, devmode, printerData, a) &&
           WriteNumber(DDM_CUSTOMPAPERWIDTH, devmode, printerData, b);
  }
  return FALSE;
}

BOOL zanLib_IsEnableDPCustomPaperSize(void* devmode, void* printerData) {
  LONG v = 0;
  return zanLib_ReadNumber(DDM_CUSTOMPAPER_ENABLED, devmode, printerData, &v) && v != 0;
}

// ---- Locale defaults ---------------------------------------------------------
// driver_get_letter_flag and the locale table's readers differ between the
// builds (core/um/zanlib_um.cpp, core/km/zanlib_km.cpp).

BYTE zanlib_GetPaperSizeGroupDefault(BOOL flag) {
  BYTE group = g_group.load();
  if (group == kUnset) {
    if (!local_GetLocaleInfo_for_PaperGrpDef(&group)) group = kUnreadable;
    g_group.store(group);
  }
  if (flag) {
    if (group == 2) return 1;
    if (group == 3) return 0;
  }
  return group;
}

BYTE zanlib_Get8K16KDefault(void) {
  BYTE value = g_k8k16.load();
  if (value == kUnset) {
    if (!local_GetLocaleInfo_for_8K16KDef(&value)) value = kUnreadable;
    g_k8k16.store(value);
  }
  return value;
}

void zanlib_ResetLocaleCache(void) {
  g_letter.store(kUnset);
  g_group.store(kUnset);
  g_k8k16.store(kUnset);
}

// ---- Units and numbers -------------------------------------------------------

LONG zanlib_MMToInch(LONG tenthsMm) {
  int64_t a = tenthsMm < 0 ? -static_cast<int64_t>(tenthsMm) : tenthsMm;
  int64_t r = (a * 1000 / 254 + 5) / 10;
  return static_cast<LONG>(tenthsMm < 0 ? -r : r);
}

LONG zanlib_InchToMM(LONG hundredthsInch) {
  int64_t a = hundredthsInch < 0 ? -static_cast<int64_t>(hundredthsInch) : hundredthsInch;
  int64_t r = (a * 254 / 10 + 5) / 10;
  if (r > 0x7FFFFFFF) r = 0x7FFFFFFF;
  return static_cast<LONG>(hundredthsInch < 0 ? -r : r);
}

void zanlib_SeparatePaperSize(BOOL flag, DWORD packed, DWORD* high, DWORD* low) {
  if (high) *high = packed / 100;
  if (low) *low = flag ? (packed % 100) / 10 : packed % 100;
}

LONG zanLib_atoi(LPCWSTR text) {
  if (!text) return 0;
  while (*text == u' ' || *text == u'\t') ++text;
  bool negative = false;
  if (*text == u'-' || *text == u'+') negative = *text++ == u'-';
  int64_t v = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    v = v * 10 + (*text - u'0');
    if (v > 0x80000000LL) v = 0x80000000LL;
  }
  if (negative) return static_cast<LONG>(-v);
  return static_cast<LONG>(v > 0x7FFFFFFF ? 0x7FFFFFFF : v);
}

BOOL zanLib_StringToDWORD(LPCWSTR text, DWORD* value) {
  if (!text || !value || text[0] == 0) return FALSE;
  uint64_t v = 0;
  if (text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    const WCHAR* p = text + 2;
    if (*p == 0) return FALSE;
    for (; *p; ++p) {
      unsigned digit;
      if (*p >= u'0' && *p <= u'9')
        digit = *p - u'0';
      else if (*p >= u'a' && *p <= u'f')
        digit = *p - u'a' + 10;
      else if (*p >= u'A' && *p <= u'F')
        digit = *p - u'A' + 10;
      else
        return FALSE;
      v = v * 16 + digit;
      if (v > 0xFFFFFFFFull) return FALSE;
    }
  } else {
    for (const WCHAR* p = text; *p; ++p) {
      if (*p < u'0' || *p > u'9') return FALSE;
      v = v * 10 + static_cast<unsigned>(*p - u'0');
      if (v > 0xFFFFFFFFull) return FALSE;
    }
  }
  *value = static_cast<DWORD>(v);
  return TRUE;
}

// zanLib_GetGlobalSize, the files, user and folders helpers, the form folder
// and the operating-system codes differ between the builds (core/um/zanlib_um.cpp,
// core/km/zanlib_km.cpp).
