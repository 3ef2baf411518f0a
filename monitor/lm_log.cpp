// The monitor's start-up line in the event log, its trace file, and the
// monitor-wide values read at the entry.
//
// Event log: one line of type information ("Message") at every entry call,
// source and text by model (model B names its own model):
//   model A  "Scriva CK350 LanguageMonitor"
//            "Tessaly Language Monitor for Zan Scriva K350 PCL 6"
//   model B  "Scriva CK260 LanguageMonitor"
//            "Tessaly Language Monitor for Zan Scriva K260 PCL 6"
// A failing event log changes nothing: the entry still answers its table.
//
// Trace file: the folder named by "EventLogFolder" (REG_SZ under the
// monitor's registry root, HKEY_LOCAL_MACHINE) with "\" added when it does
// not end in one, then "ZanPJMSCK350LM.log" (model B "ZanPJMSCK260LM.log",
// so two monitors never share a file). A folder longer than 256 characters,
// an empty one or none at all names no trace file (a path is never cut, and
// a bare file name would land in whatever the current folder is).
//
// Trace switch: on when the job service's "RunMode" is "Debug" (compared
// exactly) under HKEY_LOCAL_MACHINE
//   SOFTWARE\Halcyra\ZanPJMService                     value CurrentVersion = v1
//   SOFTWARE\Halcyra\ZanPJMService\v1\ZanPJMService    value CurrentVersion = v2
//   SOFTWARE\Halcyra\ZanPJMService\v1\ZanPJMService\v2 value RunMode
// A missing key or value, a value that is no REG_SZ, or a version that is
// empty, longer than 64 characters or holds a backslash leaves tracing off.
// Both are read at every entry call (the spooler makes one per load).
//
// What the trace holds: one line per port call the spooler makes, after the
// call, appended in the ANSI code page with CR LF:
//   yyyy-mm-dd hh:mm:ss.mmm <thread id> <call> "<port>" [<detail>] = TRUE|FALSE <last error>
// with the call's name (LMOpenPortEx, LMStartDocPort, LMWritePort, LMReadPort,
// LMEndDocPort, LMClosePort, LMGetPrinterDataFromPort) and as detail the
// printer name (open), "job <id>" (start), "<taken>/<asked>" bytes (write,
// read) or "code <n> <value name>" (GetPrinterDataFromPort). The file is
// opened, appended to and closed for each line under the second global
// critical section, so lines of several ports never mix; a line that cannot
// be written is lost and the port call's result and last error stay as they
// were.
#include <cstdio>
#include <cstring>

#include "lm.h"

namespace lm {

namespace {

#if defined(KMON_MODEL_B)
const WCHAR kEventSource[] = u"Scriva CK260 LanguageMonitor";
const WCHAR kEventText[] = u"Tessaly Language Monitor for Zan Scriva K260 PCL 6";
const WCHAR kTraceName[] = u"ZanPJMSCK260LM.log";
#else
const WCHAR kEventSource[] = u"Scriva CK350 LanguageMonitor";
const WCHAR kEventText[] = u"Tessaly Language Monitor for Zan Scriva K350 PCL 6";
const WCHAR kTraceName[] = u"ZanPJMSCK350LM.log";
#endif

constexpr DWORD kFolderMax = 256;
constexpr DWORD kVersionMax = 64;

WCHAR g_traceFile[kFolderMax + 2 + sizeof kTraceName / sizeof(WCHAR)];  // under g_secondCs
std::atomic<bool> g_tracing{false};

// A REG_SZ value of at most `maxChars` characters into `out` (which holds
// maxChars + 2). False when it is missing, of another type or longer.
bool QueryString(HKEY key, const WCHAR* value, WCHAR* out, DWORD maxChars) {
  DWORD type = 0, size = (maxChars + 2) * sizeof(WCHAR);
  std::memset(out, 0, size);
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  size_t n = size / sizeof(WCHAR);
  while (n > 0 && out[n - 1] == 0) --n;
  out[n] = 0;
  return n <= maxChars && kp_WideLength(out) == n;
}

bool OpenKey(const WCHAR* path, HKEY* key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key) == ERROR_SUCCESS;
}

bool Append(WCHAR* dst, size_t cap, const WCHAR* src) {
  size_t n = kp_WideLength(dst), k = kp_WideLength(src);
  if (n + k + 1 > cap) return false;
  std::memcpy(dst + n, src, (k + 1) * sizeof(WCHAR));
  return true;
}

// Reads the next version of the chain from `path` and appends
// "\<version>" and `tail` to it.
bool NextVersion(WCHAR* path, size_t cap, const WCHAR* tail) {
  HKEY key;
  if (!OpenKey(path, &key)) return false;
  WCHAR version[kVersionMax + 2];
  bool ok = QueryString(key, u"CurrentVersion", version, kVersionMax);
  RegCloseKey(key);
  if (!ok || version[0] == 0) return false;
  for (const WCHAR* c = version; *c; ++c)
    if (*c == u'\\') return false;
  return Append(path, cap, u"\\") && Append(path, cap, version) && Append(path, cap, tail);
}

bool TraceSwitch() {
  WCHAR path[512] = u"SOFTWARE\\Halcyra\\ZanPJMService";
  if (!NextVersion(path, 512, u"\\ZanPJMService") || !NextVersion(path, 512, u"")) return false;
  HKEY key;
  if (!OpenKey(path, &key)) return false;
  WCHAR mode[kVersionMax + 2];
  bool ok = QueryString(key, u"RunMode", mode, kVersionMax);
  RegCloseKey(key);
  return ok && lstrcmpW(mode, u"Debug") == 0;
}

// The trace file's name from "EventLogFolder"; empty when there is none.
void TraceFileName(const WCHAR* root, WCHAR* out, size_t cap) {
  out[0] = 0;
  HKEY key;
  if (!OpenKey(root, &key)) return;
  WCHAR folder[kFolderMax + 2];
  bool ok = QueryString(key, u"EventLogFolder", folder, kFolderMax);
  RegCloseKey(key);
  size_t n = ok ? kp_WideLength(folder) : 0;
  if (n == 0) return;
  if (folder[n - 1] != u'\\') folder[n++] = u'\\', folder[n] = 0;
  if (!Append(out, cap, folder) || !Append(out, cap, kTraceName)) out[0] = 0;
}

void ReportStart() {
  HANDLE log = RegisterEventSourceW(nullptr, kEventSource);
  if (log == nullptr) return;
  LPCWSTR strings[1] = {kEventText};
  ReportEventW(log, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(log);
}

}  // namespace

void LogSetup(const WCHAR* registryRoot) {
  DWORD saved = GetLastError();
  WCHAR file[sizeof g_traceFile / sizeof(WCHAR)];
  TraceFileName(registryRoot, file, sizeof file / sizeof(WCHAR));
  bool on = file[0] != 0 && TraceSwitch();
  EnterCriticalSection(&g_secondCs);
  std::memcpy(g_traceFile, file, sizeof file);
  g_tracing = on;
  LeaveCriticalSection(&g_secondCs);
  ReportStart();
  SetLastError(saved);
}

bool Tracing() { return g_tracing.load(std::memory_order_relaxed); }

void TraceCall(const char* call, const WCHAR* portName, const char* detail, BOOL result, DWORD error) {
  if (!Tracing()) return;
  DWORD saved = GetLastError();
  SYSTEMTIME t;
  GetLocalTime(&t);
  char port[160] = "?";
  if (portName == nullptr ||
      WideCharToMultiByte(CP_ACP, 0, portName, -1, port, sizeof port, nullptr, nullptr) == 0)
    std::strcpy(port, "?");
  char line[512];
  int n = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u %u %s \"%s\"%s%s = %s %u\r\n",
                        t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                        GetCurrentThreadId(), call, port, detail && detail[0] ? " " : "", detail ? detail : "",
                        result ? "TRUE" : "FALSE", error);
  if (n <= 0) {
    SetLastError(saved);
    return;
  }
  DWORD len = n < static_cast<int>(sizeof line) ? static_cast<DWORD>(n) : static_cast<DWORD>(sizeof line - 1);
  if (len == sizeof line - 1) {
    line[len - 2] = '\r';  // a cut line still ends its line
    line[len - 1] = '\n';
  }
  EnterCriticalSection(&g_secondCs);
  HANDLE f = g_traceFile[0] ? CreateFileW(g_traceFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                            : INVALID_HANDLE_VALUE;
  if (f != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    if (SetFilePointer(f, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR)
      WriteFile(f, line, len, &written, nullptr);
    CloseHandle(f);
  }
  LeaveCriticalSection(&g_secondCs);
  SetLastError(saved);
}

bool ReadRootDword(const WCHAR* value, DWORD* out) {
  WCHAR* root = CopyRegistryRoot();
  if (root == nullptr) return false;
  HKEY key;
  bool ok = false;
  if (OpenKey(root, &key)) {
    DWORD v = 0, type = 0, size = sizeof v;
    ok = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) == ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof v;
    if (ok) *out = v;
    RegCloseKey(key);
  }
  Free(root);
  return ok;
}

}  // namespace lm
