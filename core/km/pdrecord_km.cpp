// The kernel-mode part of the printer-data record (see kestrel/core/printerdata.h;
// the load is pdrecord.cpp): an older record is converted by the upgrade
// itself, and a stored copy that cannot be read or used gives the model's
// defaults, as in user mode.
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/upgrade.h"

#include "../printerdata/pdrecord_modes.h"

using namespace pdrecord_modes;

namespace pdrecord_modes {

bool Convert(HANDLE printer, HCDDD ddd, const BYTE* stored, DWORD size, BYTE* out) {
  (void)printer;
  return CommonConvertPrinterDataEx(stored, size, out, ddd) != -1;
}

}  // namespace pdrecord_modes

// A damaged stored copy (a read failure of the engine, a damaged or missing
// chunk, a size beyond 99 chunks, an upgrade that fails) must not stop the
// queue from printing until the record is saved again: the renderer prints
// with the model's defaults and the trace log says why.
BOOL pd_GetPrinterData(HANDLE printer, void* record, HCDDD ddd) {
  DWORD source = PD_SOURCE_NONE;
  bool readFailed = false;
  const BOOL ok = LoadRecord(printer, record, ddd, &source, &readFailed);
  if (ok && source == PD_SOURCE_DEFAULTS_FAILED)
    Logout_OutputString(u"pd_GetPrinterData: the stored printer data cannot be used; the model's defaults are used");
  return ok;
}
