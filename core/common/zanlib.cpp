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

constexpr BYTE kUnset = 0xFF;
constexpr BYTE kUnreadable = 254;
std::atomic<BYTE> g_letter{kUnset};
std::atomic<BYTE> g_group{kUnset};
std::atomic<BYTE> g_k8k16{kUnset};

#if !defined(KESTREL_KERNEL_MODE)
struct LocaleRow {
  DWORD country;
  BYTE group;
  BYTE k8k16;
};
constexpr LocaleRow kLocaleTable[50] = {
    {1, 4, 0},   {2, 4, 0},   {51, 3, 0},  {52, 3, 0},  {54, 3, 0},  {55, 3, 0},  {56, 3, 0},  {57, 3, 0},
    {58, 3, 0},  {593, 3, 0}, {60, 2, 0},  {62, 2, 0},  {63, 2, 0},  {65, 2, 0},  {66, 2, 0},  {82, 2, 0},
    {84, 2, 0},  {86, 2, 1},  {852, 2, 1}, {886, 2, 0}, {81, 1, 0},  {7, 0, 0},   {20, 0, 0},  {27, 0, 0},
    {30, 0, 0},  {31, 0, 0},  {32, 0, 0},  {33, 0, 0},  {34, 0, 0},  {36, 0, 0},  {39, 0, 0},  {40, 0, 0},
    {41, 0, 0},  {43, 0, 0},  {44, 0, 0},  {45, 0, 0},  {46, 0, 0},  {47, 0, 0},  {48, 0, 0},  {49, 0, 0},
    {61, 0, 0},  {64, 0, 0},  {90, 0, 0},  {91, 0, 0},  {212, 0, 0}, {351, 0, 0}, {353, 0, 0}, {358, 0, 0},
    {359, 0, 0}, {420, 0, 0},
};
static_assert(kLocaleTable[49].country == 420, "the table holds its 50 rows");

// The user locale's country code; false when it cannot be read.
bool UserCountry(DWORD* country) {
  WCHAR text[MAX_PATH + 1] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, text, MAX_PATH) <= 0) return false;
  LONG v = zanLib_atoi(text);
  *country = v < 0 ? 0u : static_cast<DWORD>(v);
  return true;
}

const LocaleRow* FindRow(DWORD country) {
  for (const LocaleRow& row : kLocaleTable)
    if (row.country == country) return &row;
  return nullptr;
}
#endif

}  // namespace

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
#if !defined(KESTREL_KERNEL_MODE)
  static const GUID kClass = {0xF2A5AEC9, 0x686E, 0x4C95, {0xBD, 0x6D, 0xDD, 0x58, 0xDD, 0x40, 0xE3, 0xA7}};
  static const GUID kInterface = {0xF8CEAD2F, 0xBF3E, 0x4DA0, {0xA9, 0x61, 0x29, 0x74, 0x14, 0xCF, 0xCA, 0x4C}};
  HRESULT init = CoInitialize(nullptr);
  void* object = nullptr;
  if (SUCCEEDED(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, &object)) && object) {
    static_cast<IUnknown*>(object)->Release();
    *enabled = TRUE;
  }
  if (SUCCEEDED(init)) CoUninitialize();
#endif
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

WORD driver_get_letter_flag(const void* any) {
  if (!any) return 2;
  BYTE cached = g_letter.load();
  if (cached != kUnset) return cached;
#if defined(KESTREL_KERNEL_MODE)
  return 2;
#else
  DWORD c = 0;
  if (!UserCountry(&c)) return 2;
  bool letter = (c >= 1 && c <= 2) || (c >= 50 && c <= 54) || (c >= 56 && c <= 59) || (c >= 500 && c <= 592) ||
                (c >= 594 && c <= 599);
  BYTE answer = letter ? 1 : 2;
  g_letter.store(answer);
  return answer;
#endif
}

#if defined(KESTREL_KERNEL_MODE)
WORD driver_get_letter_flag(BOOL switchOn) {
  if (!switchOn) return 2;
  static const int kAny = 1;
  return driver_get_letter_flag(&kAny);
}

BOOL driver_put_letter_flag(WORD value) {
  if (value != 1 && value != 2) return 0;
  g_letter.store(static_cast<BYTE>(value));
  return 1;
}
#endif

// The user locale's row of the locale table: 1 with its paper-size group or
// 8K/16K default (0 for a country not in the table), 0 when the locale can't
// be read. The kernel-mode build has no locale: 0, so both defaults stay
// "unreadable".
#if defined(KESTREL_KERNEL_MODE)
LONG local_GetLocaleInfo_for_PaperGrpDef(BYTE*) { return 0; }
LONG local_GetLocaleInfo_for_8K16KDef(BYTE*) { return 0; }
#else
namespace {
LONG LocaleRowValue(BYTE LocaleRow::*field, BYTE* out) {
  DWORD c = 0;
  if (!out || !UserCountry(&c)) return 0;
  const LocaleRow* row = FindRow(c);
  *out = row ? row->*field : 0;
  return 1;
}
}  // namespace

LONG local_GetLocaleInfo_for_PaperGrpDef(BYTE* group) { return LocaleRowValue(&LocaleRow::group, group); }
LONG local_GetLocaleInfo_for_8K16KDef(BYTE* value) { return LocaleRowValue(&LocaleRow::k8k16, value); }
#endif

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

SIZE_T zanLib_GetGlobalSize(void* block) {
#if defined(KESTREL_KERNEL_MODE)
  (void)block;
  return 0;
#else
  if (!block) return 0;
  return GlobalSize(block);
#endif
}

// ---- Files, user, folders --------------------------------------------------------

#if !defined(KESTREL_KERNEL_MODE)
DWORD zanLib_GetFileSizeByFileName(LPCWSTR fileName) {
  if (!fileName) return 0;
  HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

BOOL zanlib_isFilePassage(LPCWSTR fileName, DWORD seconds) {
  if (!fileName) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(fileName, GetFileExInfoStandard, &data)) return FALSE;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
  uint64_t current = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  if (current < written) return FALSE;
  return current - written >= static_cast<uint64_t>(seconds) * 10000000ull;
}

namespace {
BOOL CopyOut(LPCWSTR text, LPWSTR buffer, LPDWORD size) {
  DWORD need = kp_WideLength(text) + 1;
  if (!buffer || *size < need) {
    *size = need;
    return FALSE;
  }
  for (DWORD i = 0; i < need; ++i) buffer[i] = text[i];
  *size = need;
  return TRUE;
}
}  // namespace

BOOL zanLib_GetUserName(LPWSTR buffer, LPDWORD size) {
  if (!size) return FALSE;
  WCHAR name[UNLEN + 1] = {};
  DWORD chars = UNLEN + 1;
  if (GetUserNameW(name, &chars) && lstrcmpW(name, u"System") != 0 && lstrcmpW(name, u"SYSTEM") != 0)
    return CopyOut(name, buffer, size);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR value[UNLEN + 1] = {};
    DWORD bytes = sizeof(value) - sizeof(WCHAR);
    DWORD type = 0;
    LONG r = RegQueryValueExW(key, u"DefaultUserName", nullptr, &type, reinterpret_cast<LPBYTE>(value), &bytes);
    RegCloseKey(key);
    if (r == ERROR_SUCCESS && type == REG_SZ && value[0] != 0) return CopyOut(value, buffer, size);
  }
  return CopyOut(u"UnknownUser", buffer, size);
}

namespace {
// Creates every folder along path (a full path "X:\a\b\..."); true when the
// last one exists afterwards.
bool CreateFolders(LPCWSTR path) {
  WCHAR part[MAX_PATH] = {};
  DWORD n = kp_WideLength(path);
  if (n >= MAX_PATH) return false;
  for (DWORD i = 0; i < n; ++i) {
    part[i] = path[i];
    bool end = path[i + 1] == 0 || path[i + 1] == u'\\';
    if (end && i >= 2) {
      part[i + 1] = 0;
      CreateDirectoryW(part, nullptr);
    }
  }
  DWORD attrs = GetFileAttributesW(path);
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// "X:" of the Windows directory; false when it is unavailable.
bool WindowsDrive(WCHAR drive[3]) {
  WCHAR dir[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (n < 2 || n >= MAX_PATH || dir[1] != u':') return false;
  drive[0] = dir[0];
  drive[1] = u':';
  drive[2] = 0;
  return true;
}
}  // namespace

BOOL zanlib_CreateDrvLogDirectory(LPWSTR buffer) {
  if (!buffer) return FALSE;
  buffer[0] = 0;
  WCHAR drive[3];
  if (!WindowsDrive(drive)) return FALSE;
  lstrcpyW(buffer, drive);
  lstrcatW(buffer, u"\\DEBUG_LOG");
  CreateDirectoryW(buffer, nullptr);
  lstrcatW(buffer, u"\\WINNT");
  CreateDirectoryW(buffer, nullptr);
  DWORD attrs = GetFileAttributesW(buffer);
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}
#endif

LPWSTR zanLib_GetFormDirDefault(void) {
#if defined(KESTREL_KERNEL_MODE)
  return nullptr;
#else
  WCHAR path[MAX_PATH] = {};
  WCHAR drive[3];
  if (WindowsDrive(drive)) {
    WCHAR tail[MAX_PATH] = {};
    if (resource_LoadString(ZANLIB_STRID_FORMDIR, tail, MAX_PATH - 3) <= 0) lstrcpyW(tail, u"\\Halcyra\\form\\");
    lstrcpyW(path, drive);
    lstrcatW(path, tail);
  } else {
    lstrcpyW(path, u"C:\\Halcyra\\form\\");
  }
  DWORD n = kp_WideLength(path);
  auto* out = static_cast<LPWSTR>(kcore_Alloc((n + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  for (DWORD i = 0; i <= n; ++i) out[i] = path[i];
  CreateFolders(path);  // creates folders by full path; the current directory is not touched
  return out;
#endif
}

// ---- Operating system ------------------------------------------------------------

LONG osVer_GetOS(WORD* os) {
  if (!os) return -1;
#if defined(KESTREL_KERNEL_MODE)
  *os = 513;
  return 1;
#else
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) return -1;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (info.dwMajorVersion < 4)
      *os = 256;
    else if (info.dwMajorVersion == 4 && info.dwMinorVersion == 0)
      *os = 257;
    else
      *os = 258;
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    if (info.dwMajorVersion < 4)
      *os = 512;
    else if (info.dwMajorVersion == 4)
      *os = 513;
    else
      *os = 514;
  } else {
    *os = 0;
  }
  return 1;
#endif
}

LONG osVer_IsAvaliableICM(WORD* icm) {
  if (!icm) return -1;
#if defined(KESTREL_KERNEL_MODE)
  return 0;
#else
  WORD os = 0;
  if (osVer_GetOS(&os) != 1) return -1;
  if (os == 0 || os == 256 || os == 257 || os == 512 || os == 513) return 0;
  *icm = 512;
  return 1;
#endif
}
