// The trace log in user mode: switches from kestrel.cfg through the profile
// reader and the configuration-file parser, lines to the log file in the
// system drive's DEBUG_LOG\WINNT folder or to OutputDebugStringW.
#include <cstring>

#include "../log/logout_sys.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/cfg_parser.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace {

constexpr DWORD kPathChars = 260;
constexpr DWORD kReadChars = 261;
constexpr DWORD kAnsiBytes = 1027;  // 513 characters of up to two bytes, and the LF

// Guarded by the shared half's lock.
WCHAR g_path[kPathChars] = {};
WORD g_pathLibrary = 0xFFFF;
HANDLE g_file = nullptr;
DWORD g_opens = 0;

bool ConfigFile(WCHAR* out) {
  WCHAR dir[MAX_PATH] = {};
  if (!zanlib_GetDriverDirectory(dir, sizeof(dir))) return false;
  DWORD n = static_cast<DWORD>(lstrlenW(dir));
  DWORD m = static_cast<DWORD>(lstrlenW(LOGOUT_CONFIG_FILE));
  if (n + m + 2 > kPathChars) return false;
  lstrcpyW(out, dir);
  if (n && out[n - 1] != u'\\') lstrcatW(out, u"\\");
  lstrcatW(out, LOGOUT_CONFIG_FILE);
  return true;
}

// The path is set at the first open and kept; a change of library while
// the file is closed picks the other file.
// The folders are made again whenever the file is opened anew, so a folder
// removed while the library runs does not end the log.
bool SetPath(WORD library) {
  if (g_opens) return g_path[0] != 0;  // an open file keeps its name
  WCHAR dir[kPathChars] = {};
  if (!zanlib_CreateDrvLogDirectory(dir)) return false;
  if (g_path[0] && g_pathLibrary == library) return true;
  LPCWSTR name = library == LOGOUT_LIB_UM ? u"\\DDI_UM_TRACE_LOG.txt" : u"\\DDI_PRNUI_TRACE_LOG.txt";
  if (static_cast<DWORD>(lstrlenW(dir) + lstrlenW(name)) >= kPathChars) return false;
  lstrcpyW(g_path, dir);
  lstrcatW(g_path, name);
  g_pathLibrary = library;
  return true;
}

HANDLE OpenLog() {
  HANDLE h = CreateFileW(g_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

void logoutSys_ReadSwitches(LOGOUT_SWITCHES* out) {
  *out = LOGOUT_SWITCHES{};
  WCHAR file[kPathChars];
  if (!ConfigFile(file)) return;
  WCHAR value[kReadChars] = {};
  DWORD n = GetPrivateProfileStringW(LOGOUT_SECTION, LOGOUT_KEY, u"0", value, kReadChars, file);
  DWORD flag = 0;
  if (n == 0 || !logout_ParseValue(value, &flag) || flag == 0) return;
  out->flag = flag;

  LPWSTR section = CFG_GetSectionData(file, LOGOUT_SECTION);
  if (!section) return;
  WORD index = 1;
  for (DWORD seen = 0; seen < LOGOUT_MAX_IDS; ++seen) {
    LPWSTR text = nullptr;
    WORD at = CFG_GetCfgValueString(index, 0, section, LOGOUT_DDMID_KEY, &text);
    if (at == 0) break;
    DWORD id = 0;
    if (logout_ParseValue(text, &id)) logout_AddTargetId(out, id);
    kcore_Free(text);
    index = static_cast<WORD>(at + 1);
  }
  kcore_Free(section);
}

BOOL logoutSys_Open(WORD library) {
  if (g_opens == 0) {
    if (!SetPath(library)) return 0;
    g_file = OpenLog();
    if (!g_file) return 0;
  }
  ++g_opens;
  return 1;
}

BOOL logoutSys_Close(void) {
  if (g_opens == 0) return 1;
  if (--g_opens == 0 && g_file) {
    CloseHandle(g_file);
    g_file = nullptr;
  }
  return 1;
}

BOOL logoutSys_WriteLine(LPCWSTR line, DWORD length, DWORD flag, WORD library) {
  if (flag & LOGOUT_DEBUGGER) {
    WCHAR buf[LOGOUT_MAX_LINE + 2];
    std::memcpy(buf, line, length * sizeof(WCHAR));
    buf[length] = u'\n';
    buf[length + 1] = 0;
    OutputDebugStringW(buf);
    return 1;
  }
  char bytes[kAnsiBytes];
  int n = 0;
  if (length) {
    n = WideCharToMultiByte(CP_ACP, 0, line, static_cast<int>(length), bytes, static_cast<int>(kAnsiBytes - 1), nullptr,
                            nullptr);
    if (n <= 0) return 0;
  }
  bytes[n++] = '\n';
  HANDLE file = g_file;
  bool once = false;
  if (!file) {
    if (!SetPath(library)) return 0;
    file = OpenLog();
    if (!file) return 0;
    once = true;
  }
  BOOL ok = SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER;
  DWORD written = 0;
  ok = ok && WriteFile(file, bytes, static_cast<DWORD>(n), &written, nullptr) && written == static_cast<DWORD>(n);
  if (once) CloseHandle(file);
  return ok ? 1 : 0;
}
