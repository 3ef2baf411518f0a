// The queue's stored settings brought to the current layout at a printer
// upgrade (see kestrel/ui/upgradeprinter.h).
#include "kestrel/ui/upgradeprinter.h"

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/ttsubst.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/winspool_printer.h"

namespace {

// The printer-data record: loaded (an older one upgraded) and stored again.
bool UpgradeRecord(HANDLE printer, HCDDD ddd) {
  std::vector<BYTE> record(PD_RECORD_SIZE);
  DWORD source = PD_SOURCE_NONE;
  if (!pd_GetPrinterDataEx(printer, record.data(), ddd, &source)) return false;
  if (source == PD_SOURCE_DEFAULTS_FAILED) return false;  // the queue's copy stays
  return pd_SetPrinterData(printer, record.data(), ddd, 1) != FALSE;
}

// The size a fax list's header claims (the loader checked it against the
// bytes it held).
DWORD FaxListSize(const void* list) {
  WORD count = 0;
  std::memcpy(&count, static_cast<const BYTE*>(list) + NONDEV_FAX_COUNT_OFFSET, sizeof(count));
  return NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count;
}

// The non-devmode record with its companions: loaded or, when none is
// stored, the defaults; stored again.
bool UpgradeNonDevmode(HANDLE printer, HCDDD ddd) {
  std::vector<BYTE> record(NONDEV_RECORD_SIZE);
  void* fax = nullptr;
  void* gsb = nullptr;
  DWORD gsbSize = 0;
  DWORD error = ERROR_SUCCESS;
  if (!nonDev_LoadNonDevDatEx(printer, ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, &fax, record.data(), &gsb,
                              &gsbSize, &error)) {
    if (error != ERROR_FILE_NOT_FOUND) return false;  // a stored copy that could not be used stays
    if (!nonDev_SetDefaultData(printer, record.data())) return false;
  }
  bool ok = nonDev_SaveNonDevDat(printer, ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, fax, fax ? FaxListSize(fax) : 0,
                                 record.data(), gsb, gsbSize) != FALSE;
  kcore_Free(fax);
  kcore_Free(gsb);
  return ok;
}

bool WriteJobOwnerTool(HANDLE printer, HCDDD ddd) {
  DWORD value = zanLib_CheckCapability_Indirect(ddd, ZANLIB_CAP_BIT(UPGRADE_JOB_OWNER_TOOL_CAPABILITY)) ? 1 : 0;
  std::u16string name = UPGRADE_JOB_OWNER_TOOL_VALUE;
  return SetPrinterDataW(printer, name.data(), REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
}

}  // namespace

BOOL UpgradePrinterProperties(HANDLE printer, HCDDD ddd, BOOL full) {
  if (!printer || !ddd) return FALSE;
  bool ok = true;
  if (full) {
    ok = UpgradeRecord(printer, ddd) && ok;
    ok = UpgradeNonDevmode(printer, ddd) && ok;
    ok = WriteJobOwnerTool(printer, ddd) && ok;
  }
  if (ok) ok = UpgradeTrueTypeSubstTable(printer, 0, ddd) != FALSE;
  return ok ? TRUE : FALSE;
}
