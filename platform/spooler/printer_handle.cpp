// Printer handles: OpenPrinterW and ClosePrinter for the printers the
// spooler knows, and the record behind a handle for the other spooler calls.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "kernel32/module.h"
#include "kplatform/winspool.h"
#include "spooler/spooler.h"

namespace {

struct Handles {
  std::mutex lock;  // a leaf: nothing else is taken under it
  std::map<uintptr_t, std::shared_ptr<kp::spooler::Handle>> open;
  // Handle values: the spooler's own, far from kernel, module and engine
  // handles, never reused while the process runs.
  uintptr_t next = 0x5B0000000000ull;
};

Handles& H() {
  static Handles* h = new Handles();
  return *h;
}

}  // namespace

namespace kp::spooler {

HANDLE AddHandle(std::shared_ptr<Handle> handle) {
  std::lock_guard<std::mutex> g(H().lock);
  H().next += 16;
  H().open.emplace(H().next, std::move(handle));
  return reinterpret_cast<HANDLE>(H().next);
}

std::shared_ptr<Handle> FindHandle(HANDLE handle) {
  std::lock_guard<std::mutex> g(H().lock);
  auto it = H().open.find(reinterpret_cast<uintptr_t>(handle));
  return it == H().open.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::lock_guard<std::mutex> g(H().lock);
  return H().open.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

}  // namespace kp::spooler

KP_API BOOL WINAPI OpenPrinterW(LPWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW) {
  // Who called: a handle the user-mode driver library opens is the driver's
  // (its jobs go to the port, never back into the driver).
  void* caller = __builtin_return_address(0);
  if (printerName == nullptr || printer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = printerName;
  // printers the spooler's table holds, and those with jobs in the job table
  if (!kp::spooler::IsPrinter(name) && !KpMonitorHasJobsFor(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  auto h = std::make_shared<kp::spooler::Handle>();
  h->name = name;
  h->driverSide = kp::spooler::IsUserModeDriver(kp::ModuleOfAddress(caller));
  *printer = kp::spooler::AddHandle(std::move(h));
  return TRUE;
}

KP_API BOOL WINAPI ClosePrinter(HANDLE printer) {
  std::shared_ptr<kp::spooler::Handle> h = kp::spooler::FindHandle(printer);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kp::spooler::AbortOnClose(*h);
  if (!kp::spooler::RemoveHandle(printer)) {  // closed by another thread meanwhile
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

bool KpPrinterHandleName(HANDLE printer, std::u16string* name) {
  std::shared_ptr<kp::spooler::Handle> h = kp::spooler::FindHandle(printer);
  if (!h) return false;
  if (name) *name = h->name;
  return true;
}
