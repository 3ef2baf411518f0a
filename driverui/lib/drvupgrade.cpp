// kestrelui's export DrvUpgradePrinter: the spooler's call after the driver
// of a queue was replaced (see kestrel/ui/upgradeprinter.h).
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/logout.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/upgradeprinter.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kwindows.h"

#define KESTRELUI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr DWORD kUpgradeLevel = 1;

// Every step is tried; TRUE only when all of them succeeded.
BOOL UpgradeQueue(LPWSTR printerName) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(printerName, &printer, nullptr) || !printer) return FALSE;
  BOOL result = FALSE;
  if (HCDDD ddd = cddd_Open(printer)) {
    bool ok = true;
    BYTE id[PRNID_SIZE] = {};
    if (!getPRNID(printer, id)) ok = CreatePRNID(printer, id) && setPRNID(printer, id);
    ok = AddPrinterForms(printer, ddd) && ok;
    ok = UpgradePrinterProperties(printer, ddd, TRUE) && ok;
    result = ok ? TRUE : FALSE;
    cddd_Close(ddd);
  }
  ClosePrinter(printer);
  return result;
}

}  // namespace

KESTRELUI_EXPORT BOOL DrvUpgradePrinter(DWORD level, LPBYTE info) {
  Logout_InDDIFunctionTraceLog(u"DrvUpgradePrinter");
  BOOL result = FALSE;
  const auto* upgrade = reinterpret_cast<const DRIVER_UPGRADE_INFO_1W*>(info);
  if (level != kUpgradeLevel || !upgrade || !upgrade->pPrinterName) {
    SetLastError(ERROR_INVALID_PARAMETER);
  } else {
    result = UpgradeQueue(upgrade->pPrinterName);
  }
  // The caller reads the last error of a failure; the trace's file calls
  // must not change it.
  DWORD error = GetLastError();
  Logout_OutDDIFunctionTraceLog(u"DrvUpgradePrinter RetValue = %d", result);
  SetLastError(error);
  return result;
}
