// kestrelui's export DrvPrinterEvent: the spooler's events on a queue.
// Add connection: the user-mode driver's name into the printer data
// ("SPLUserModePrinterDriver", SetSPLUMName). Initialise (a new queue): the
// same, the printer id when the queue has none, the queue's stored settings
// brought to the current layout (UpgradePrinterProperties with the full flag,
// which also writes "SupportJobOwnerTool") and the model's forms. Other
// events do nothing. The answer is always TRUE: the spooler goes on with the
// queue whatever this step could do (a printer that cannot be opened
// included). Traces "DrvPrinterEvent" in and "DrvPrinterEvent RetValue = %d"
// out.
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/upgradeprinter.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kwindows.h"
#include "kplatform/winddiui.h"

#define KESTRELUI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HANDLE OpenAllAccess(LPWSTR printerName) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!printerName || !OpenPrinterW(printerName, &printer, &all)) return nullptr;
  return printer;
}

void AddConnection(LPWSTR printerName) {
  if (HANDLE printer = OpenAllAccess(printerName)) {
    SetSPLUMName(printer);
    ClosePrinter(printer);
  }
}

void Initialize(LPWSTR printerName) {
  HANDLE printer = OpenAllAccess(printerName);
  if (!printer) return;
  if (HCDDD ddd = cddd_Open(printer)) {
    SetSPLUMName(printer);
    BYTE id[PRNID_SIZE] = {};
    if (!getPRNID(printer, id) && CreatePRNID(printer, id)) setPRNID(printer, id);
    UpgradePrinterProperties(printer, ddd, TRUE);
    AddPrinterForms(printer, ddd);
    cddd_Close(ddd);
  }
  ClosePrinter(printer);
}

}  // namespace

KESTRELUI_EXPORT BOOL DrvPrinterEvent(LPWSTR printerName, int event, DWORD, LPARAM) {
  Logout_InDDIFunctionTraceLog(u"DrvPrinterEvent");
  if (event == PRINTER_EVENT_ADD_CONNECTION) {
    AddConnection(printerName);
  } else if (event == PRINTER_EVENT_INITIALIZE) {
    Initialize(printerName);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvPrinterEvent RetValue = %d", TRUE);
  return TRUE;
}
