// A stand-in for the outside status manager PRSTATMG.DLL: it keeps the last
// data of every record the monitor sends, and can be told to fail.
#include <kplatform/kwindows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct State {
  std::mutex lock;
  int failMode = 0;  // 1: the open fails, 2: every update fails
  int opens = 0, closes = 0, updates = 0;
  std::map<std::string, std::vector<unsigned char>> records;
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
  auto* p = static_cast<const unsigned char*>(data);
  S().records[record] = std::vector<unsigned char>(p, p + size);
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
