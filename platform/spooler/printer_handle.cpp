// Printer handles: OpenPrinterW and ClosePrinter for the printers the
// spooler knows, and the name behind a handle for the other spooler calls.
#include <mutex>
#include <set>
#include <string>

#include "kplatform/winspool.h"
#include "spooler/spooler.h"

namespace {

struct PrinterHandle {
  std::u16string name;
};

struct Handles {
  std::mutex lock;  // a leaf: nothing else is taken under it
  std::set<PrinterHandle*> open;
};

Handles& H() {
  static Handles* h = new Handles();
  return *h;
}

}  // namespace

KP_API BOOL WINAPI OpenPrinterW(LPWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW) {
  if (printerName == nullptr || printer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = printerName;
  // printers the spooler's table holds, and those with jobs in the monitor
  // host's job table
  if (!kp::spooler::IsPrinter(name) && !KpMonitorHasJobsFor(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  auto* p = new PrinterHandle{name};
  std::lock_guard<std::mutex> g(H().lock);
  H().open.insert(p);
  *printer = p;
  return TRUE;
}

KP_API BOOL WINAPI ClosePrinter(HANDLE printer) {
  auto* p = static_cast<PrinterHandle*>(printer);
  {
    std::lock_guard<std::mutex> g(H().lock);
    if (!H().open.erase(p)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete p;
  return TRUE;
}

bool KpPrinterHandleName(HANDLE printer, std::u16string* name) {
  std::lock_guard<std::mutex> g(H().lock);
  auto* p = static_cast<PrinterHandle*>(printer);
  if (!H().open.count(p)) return false;
  if (name) *name = p->name;
  return true;
}
