// The monitor's entry, its private heap and the monitor-wide state.
#include <cstdio>
#include <cstring>

#include "lm.h"

namespace lm {

namespace {
WCHAR* g_registryRoot = nullptr;  // under g_portsCs
}  // namespace

CRITICAL_SECTION g_portsCs;
CRITICAL_SECTION g_secondCs;
PortContext* g_ports = nullptr;

PortContext* FindPort(HANDLE port) {
  if (port == nullptr) return nullptr;
  EnterCriticalSection(&g_portsCs);
  PortContext* found = nullptr;
  for (PortContext* c = g_ports; c; c = c->next)
    if (c == port) found = c;
  LeaveCriticalSection(&g_portsCs);
  return found;
}

bool PortNameOf(HANDLE port, WCHAR* out, size_t cap) {
  if (port == nullptr || cap == 0) return false;
  EnterCriticalSection(&g_portsCs);
  bool found = false;
  for (PortContext* c = g_ports; c && !found; c = c->next) {
    if (c != port) continue;
    size_t n = 0;
    for (; c->portName[n] && n + 1 < cap; ++n) out[n] = c->portName[n];
    out[n] = 0;
    found = true;
  }
  LeaveCriticalSection(&g_portsCs);
  return found;
}

WCHAR* CopyRegistryRoot() {
  EnterCriticalSection(&g_portsCs);
  WCHAR* copy = nullptr;
  if (g_registryRoot != nullptr) {
    copy = CopyW(g_registryRoot);
  }
  LeaveCriticalSection(&g_portsCs);
  return copy;
}

namespace {

// The port functions as the table hands them out: each call, then its trace
// line while the trace switch is on (lm_log.cpp).
constexpr size_t kTraceName = 128;

void TraceNamed(const char* call, HANDLE port, const char* detail, BOOL result) {
  DWORD error = GetLastError();
  WCHAR name[kTraceName];
  if (!PortNameOf(port, name, kTraceName)) name[0] = 0;
  TraceCall(call, name[0] ? name : nullptr, detail, result, error);
}

BOOL WINAPI TracedOpenPortEx(LPWSTR portName, LPWSTR printerName, PHANDLE port, LPMONITOR portMonitor) {
  BOOL r = OpenPortEx(portName, printerName, port, portMonitor);
  if (Tracing()) {
    DWORD error = GetLastError();
    char printer[128] = "";
    if (printerName == nullptr ||
        WideCharToMultiByte(CP_ACP, 0, printerName, -1, printer + 1, sizeof printer - 2, nullptr, nullptr) == 0) {
      printer[0] = 0;
    } else {
      printer[0] = '"';
      size_t n = CStrLen(printer);
      printer[n] = '"';
      printer[n + 1] = 0;
    }
    TraceCall("LMOpenPortEx", portName, printer, r, error);
  }
  return r;
}

BOOL WINAPI TracedStartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  BOOL r = StartDocPort(port, printerName, jobId, level, docInfo);
  if (Tracing()) {
    char detail[32];
    std::snprintf(detail, sizeof detail, "job %u", jobId);
    TraceNamed("LMStartDocPort", port, detail, r);
  }
  return r;
}

// The trace line of a write or a read: the bytes moved of the bytes asked.
void TraceTransfer(const char* call, HANDLE port, const DWORD* moved, DWORD size, BOOL result) {
  char detail[32];
  std::snprintf(detail, sizeof detail, "%u/%u", moved ? *moved : 0u, size);
  TraceNamed(call, port, detail, result);
}

BOOL WINAPI TracedWritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  BOOL r = WritePort(port, buffer, size, written);
  if (Tracing()) TraceTransfer("LMWritePort", port, written, size, r);
  return r;
}

BOOL WINAPI TracedReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  BOOL r = ReadPort(port, buffer, size, read);
  if (Tracing()) TraceTransfer("LMReadPort", port, read, size, r);
  return r;
}

BOOL WINAPI TracedEndDocPort(HANDLE port) {
  BOOL r = EndDocPort(port);
  if (Tracing()) TraceNamed("LMEndDocPort", port, "", r);
  return r;
}

BOOL WINAPI TracedClosePort(HANDLE port) {
  // the name is taken first: the port is gone afterwards
  WCHAR name[kTraceName];
  bool named = Tracing() && PortNameOf(port, name, kTraceName);
  BOOL r = ClosePort(port);
  if (Tracing()) TraceCall("LMClosePort", named ? name : nullptr, "", r, GetLastError());
  return r;
}

BOOL WINAPI TracedGetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                         DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  BOOL r = GetPrinterDataFromPort(port, controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned);
  if (Tracing()) {
    DWORD error = GetLastError();
    char value[64] = "";
    if (valueName == nullptr ||
        WideCharToMultiByte(CP_ACP, 0, valueName, -1, value, sizeof value, nullptr, nullptr) == 0)
      value[0] = 0;
    char detail[96];
    std::snprintf(detail, sizeof detail, "code %u %s", controlId, value);
    SetLastError(error);
    TraceNamed("LMGetPrinterDataFromPort", port, detail, r);
  }
  return r;
}

// The entry table: the seven port functions and nothing else.
MONITOREX g_table = {
    sizeof(MONITOR),
    {
        nullptr,                       // EnumPorts
        nullptr,                       // OpenPort
        TracedOpenPortEx,              // OpenPortEx
        TracedStartDocPort,            // StartDocPort
        TracedWritePort,               // WritePort
        TracedReadPort,                // ReadPort
        TracedEndDocPort,              // EndDocPort
        TracedClosePort,               // ClosePort
        nullptr,                       // AddPort
        nullptr,                       // AddPortEx
        nullptr,                       // ConfigurePort
        nullptr,                       // DeletePort
        TracedGetPrinterDataFromPort,  // GetPrinterDataFromPort
        nullptr,                       // SetPortTimeOuts
    },
};

std::atomic<bool> g_secondReady{false};

bool KeepRoot(const WCHAR* root) {
  WCHAR* copy = CopyW(root);
  if (copy == nullptr) return false;
  EnterCriticalSection(&g_portsCs);
  Free(g_registryRoot);
  g_registryRoot = copy;
  // made once, under the port list's lock, before anything can use it
  if (!g_secondReady.load()) {
    InitializeCriticalSection(&g_secondCs);
    g_secondReady = true;
  }
  LeaveCriticalSection(&g_portsCs);
  // the event-log folder, the trace switch and the event-log line
  LogSetup(root);
  return true;
}

}  // namespace

}  // namespace lm

using namespace lm;

// Process attach and detach: the module's load and unload run these (the
// only exports are the entry, so no DllMain is offered to the loader).
__attribute__((constructor)) static void MonitorAttach() {
  HeapInit();
  InitializeCriticalSection(&g_portsCs);
}

__attribute__((destructor)) static void MonitorDetach() {
  // Ports the spooler never closed stay as they are: their threads may still
  // run, so nothing of theirs is freed here.
  if (g_ports != nullptr) return;
  Free(g_registryRoot);
  g_registryRoot = nullptr;
  if (g_secondReady.exchange(false)) DeleteCriticalSection(&g_secondCs);
  DeleteCriticalSection(&g_portsCs);
  HeapDone();
}

#if defined(KMON_9X)
// The 9x entry: the registry root in the ANSI code page; fills the caller's
// table with the same port functions.
extern "C" __attribute__((visibility("default"))) BOOL WINAPI InitializeMonitorEx(LPSTR registryRoot,
                                                                                 LPMONITOR table) {
  if (registryRoot == nullptr || *registryRoot == 0 || table == nullptr || Heap() == nullptr) {
    SetLastError(Heap() == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WCHAR root[MAX_PATH * 2];
  if (MultiByteToWideChar(CP_ACP, 0, registryRoot, -1, root, MAX_PATH * 2) == 0 || !KeepRoot(root)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *table = g_table.Monitor;
  return TRUE;
}
#else
extern "C" __attribute__((visibility("default"))) LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR registryRoot) {
  if (registryRoot == nullptr || *registryRoot == 0 || Heap() == nullptr) {
    SetLastError(Heap() == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!KeepRoot(registryRoot)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return &g_table;
}
#endif
