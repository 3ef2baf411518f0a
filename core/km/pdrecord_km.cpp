// The kernel-mode part of the printer-data record (see kestrel/core/printerdata.h;
// the load is pdrecord.cpp): an older record is converted by the upgrade
// itself, and a record that could not be read fails the load.
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

// The renderer prints with the defaults when nothing usable is stored (no
// value, or a record that cannot be converted), but never after the printer
// data could not be read: that is a failure, not a queue without settings.
BOOL pd_GetPrinterData(HANDLE printer, void* record, HCDDD ddd) {
  DWORD source = PD_SOURCE_NONE;
  bool readFailed = false;
  return LoadRecord(printer, record, ddd, &source, &readFailed) && !readFailed;
}
