// The parts of the common library that differ in the user-mode build (see
// kestrel/core/zanlib.h; the shared part is core/common/zanlib.cpp): the
// locale table and the user locale, the letter flag, the alternative
// job-accounting object (COM), global blocks, the files, user and folders
// helpers, the default form folder and the operating-system codes.
#include <atomic>
#include <cstdint>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

#include "../common/zanlib_modes.h"

using namespace zanlib_modes;

namespace {

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

// The user locale's row of the locale table: 1 with its paper-size group or
// 8K/16K default (0 for a country not in the table), 0 when the locale can't
// be read.
LONG LocaleRowValue(BYTE LocaleRow::*field, BYTE* out) {
  DWORD c = 0;
  if (!out || !UserCountry(&c)) return 0;
  const LocaleRow* row = FindRow(c);
  *out = row ? row->*field : 0;
  return 1;
}

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

namespace zanlib_modes {

bool AltJBAObjectPresent() {
  bool present = false;
  static const GUID kClass = {0xF2A5AEC9, 0x686E, 0x4C95, {0xBD, 0x6D, 0xDD, 0x58, 0xDD, 0x40, 0xE3, 0xA7}};
  static const GUID kInterface = {0xF8CEAD2F, 0xBF3E, 0x4DA0, {0xA9, 0x61, 0x29, 0x74, 0x14, 0xCF, 0xCA, 0x4C}};
  HRESULT init = CoInitialize(nullptr);
  void* object = nullptr;
  if (SUCCEEDED(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, &object)) && object) {
    static_cast<IUnknown*>(object)->Release();
    present = true;
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return present;
}

}  // namespace zanlib_modes

// ---- Locale defaults ---------------------------------------------------------

WORD driver_get_letter_flag(const void* any) {
  if (!any) return 2;
  BYTE cached = g_letter.load();
  if (cached != kUnset) return cached;
  DWORD c = 0;
  if (!UserCountry(&c)) return 2;
  bool letter = (c >= 1 && c <= 2) || (c >= 50 && c <= 54) || (c >= 56 && c <= 59) || (c >= 500 && c <= 592) ||
                (c >= 594 && c <= 599);
  BYTE answer = letter ? 1 : 2;
  g_letter.store(answer);
  return answer;
}

LONG local_GetLocaleInfo_for_PaperGrpDef(BYTE* group) { return LocaleRowValue(&LocaleRow::group, group); }
LONG local_GetLocaleInfo_for_8K16KDef(BYTE* value) { return LocaleRowValue(&LocaleRow::k8k16, value); }

SIZE_T zanLib_GetGlobalSize(void* block) {
  if (!block) return 0;
  return GlobalSize(block);
}

// ---- Files, user, folders --------------------------------------------------------

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

LPWSTR zanLib_GetFormDirDefault(void) {
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
}

// ---- Operating system ------------------------------------------------------------

LONG osVer_GetOS(WORD* os) {
  if (!os) return -1;
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
}

LONG osVer_IsAvaliableICM(WORD* icm) {
  if (!icm) return -1;
  WORD os = 0;
  if (osVer_GetOS(&os) != 1) return -1;
  if (os == 0 || os == 256 || os == 257 || os == 512 || os == 513) return 0;
  *icm = 512;
  return 1;
}
