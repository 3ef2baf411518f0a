// A stand-in for the outside status manager PRSTATMG.DLL: it keeps the last
// data of every record the monitor sends and how often each was sent, keeps
// the notification registrations (calling their callbacks when a test asks),
// and can be told to fail.
#include <kplatform/kwindows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
typedef void(WINAPI* NotifyFn)(void*);

struct Registration {
  std::string printer;
  NotifyFn callback;
  void* context;
};

struct State {
  std::mutex lock;
  int failMode = 0;  // 1: the open fails, 2: every update fails, 3: registrations are refused
  int opens = 0, closes = 0, updates = 0;
  std::map<std::string, std::vector<unsigned char>> records;
  std::map<std::string, int> sends;
  // Live registrations. The lock is held while callbacks run, so a
  // registration that KillNotificationCallback ended is never called again.
  std::map<int*, Registration> registrations;
};
State& S() {
  static State s;  // freed when the module unloads
  return s;
}
int g_token;
}  // namespace

EXPORT HANDLE WINAPI OpenManagerExW(LPCWSTR printerName, LPCWSTR portName, DWORD) {
  std::lock_guard<std::mutex> g(S().lock);
  if (S().failMode == 1 || printerName == nullptr || portName == nullptr) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  S().opens++;
  return &g_token;
}

EXPORT BOOL WINAPI UpdatePrinterStatusA(HANDLE manager, LPCSTR record, const void* data, DWORD size) {
  std::lock_guard<std::mutex> g(S().lock);
  if (manager != &g_token || record == nullptr) return FALSE;
  if (S().failMode == 2) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  S().updates++;
  S().sends[record]++;
  auto* p = static_cast<const unsigned char*>(data);
  S().records[record] = std::vector<unsigned char>(p, p + size);
  return TRUE;
}

EXPORT HANDLE WINAPI SetNotificationCallbackExA(HANDLE manager, LPCSTR printerName, NotifyFn callback,
                                                void* context) {
  std::lock_guard<std::mutex> g(S().lock);
  if (manager != &g_token || printerName == nullptr || callback == nullptr || S().failMode == 3) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto* token = new int(0);
  S().registrations[token] = Registration{printerName, callback, context};
  return token;
}

EXPORT BOOL WINAPI KillNotificationCallback(HANDLE registration) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().registrations.find(static_cast<int*>(registration));
  if (it == S().registrations.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete it->first;
  S().registrations.erase(it);
  return TRUE;
}

EXPORT BOOL WINAPI CloseManager(HANDLE manager) {
  std::lock_guard<std::mutex> g(S().lock);
  if (manager != &g_token) return FALSE;
  S().closes++;
  return TRUE;
}

// Test controls.
EXPORT void StatmgrDoubleReset(int failMode) {
  std::lock_guard<std::mutex> g(S().lock);
  S().failMode = failMode;
  S().opens = S().closes = S().updates = 0;
  S().records.clear();
  S().sends.clear();
}

// How often a record was sent.
EXPORT int StatmgrDoubleSends(const char* name) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().sends.find(name);
  return it == S().sends.end() ? 0 : it->second;
}

// Live registrations for a printer (all printers when null).
EXPORT int StatmgrDoubleRegistrations(const char* printer) {
  std::lock_guard<std::mutex> g(S().lock);
  int n = 0;
  for (const auto& [token, r] : S().registrations) n += printer == nullptr || r.printer == printer;
  return n;
}

// Calls the callback of every live registration for a printer (all when
// null); answers how many were called.
EXPORT int StatmgrDoubleNotify(const char* printer) {
  std::lock_guard<std::mutex> g(S().lock);
  int n = 0;
  for (const auto& [token, r] : S().registrations) {
    if (printer != nullptr && r.printer != printer) continue;
    r.callback(r.context);
    ++n;
  }
  return n;
}

// Copies the last data of a record; answers its size (0: never sent).
EXPORT DWORD StatmgrDoubleRecord(const char* name, void* out, DWORD size) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().records.find(name);
  if (it == S().records.end()) return 0;
  DWORD n = static_cast<DWORD>(it->second.size());
  std::memcpy(out, it->second.data(), n < size ? n : size);
  return n;
}

EXPORT void StatmgrDoubleCounts(int* opens, int* closes, int* updates) {
  std::lock_guard<std::mutex> g(S().lock);
  *opens = S().opens;
  *closes = S().closes;
  *updates = S().updates;
}
