// The monitor's entry, its private heap and the monitor-wide state.
#include <cstring>

#include "lm.h"

namespace lm {

namespace {
WCHAR* g_registryRoot = nullptr;
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

namespace {

// The entry table: the seven port functions and nothing else.
MONITOREX g_table = {
    sizeof(MONITOR),
    {
        nullptr,        // EnumPorts
        nullptr,        // OpenPort
        OpenPortEx,     // OpenPortEx
        StartDocPort,   // StartDocPort
        WritePort,      // WritePort
        ReadPort,       // ReadPort
        EndDocPort,     // EndDocPort
        ClosePort,      // ClosePort
        nullptr,        // AddPort
        nullptr,        // AddPortEx
        nullptr,        // ConfigurePort
        nullptr,        // DeletePort
        GetPrinterDataFromPort,
        nullptr,        // SetPortTimeOuts
    },
};

std::atomic<bool> g_secondReady{false};

bool KeepRoot(const WCHAR* root) {
  size_t n = 0;
  while (root[n]) ++n;
  auto* copy = static_cast<WCHAR*>(Alloc((n + 1) * sizeof(WCHAR)));
  if (copy == nullptr) return false;
  std::memcpy(copy, root, n * sizeof(WCHAR));
  EnterCriticalSection(&g_portsCs);
  Free(g_registryRoot);
  g_registryRoot = copy;
  LeaveCriticalSection(&g_portsCs);
  if (!g_secondReady.exchange(true)) InitializeCriticalSection(&g_secondCs);
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
