// The spooler's printer upgrade: DrvUpgradePrinter (exported by kestrelui,
// driverui/lib/drvupgrade.cpp) and UpgradePrinterProperties (here, in
// kui_services, beside the printer id and the model's forms it needs).
//
// DrvUpgradePrinter(level, information): level 1 with a
// DRIVER_UPGRADE_INFO_1W that names the printer, else FALSE with
// ERROR_INVALID_PARAMETER. Opens the queue by its name and its description
// handle, makes and stores a PRNID when the queue has none, adds the model's
// forms to the spooler (AddPrinterForms), runs UpgradePrinterProperties with
// the full flag, closes both. Traces "DrvUpgradePrinter" in and
// "DrvUpgradePrinter RetValue = %d" out.
//
// UpgradePrinterProperties(printer, description handle, full flag): with the
// full flag, (1) loads the printer-data record and stores it again (an older
// stored record comes back upgraded), (2) loads the non-devmode record with
// its fax list and security-marking block from the printer data, or makes
// the default record when none is stored, and stores them again, (3) writes
// "SupportJobOwnerTool" (REG_DWORD) = capability bit 43 of the model. When
// every step succeeded, or without the full flag, it makes sure the TrueType
// substitution table is stored. 1 when no step failed.
//
// Decisions:
//  - UpgradePrinterProperties lives in kui_services (not in the core) since
//    its caller's steps, PRNID and AddPrinterForms, live there; the export
//    DrvUpgradePrinter lives in the library beside DllInitialize.
//  - A step that fails leaves the queue's stored copy as it was: the record
//    is stored only when it was loaded from the queue or nothing was stored
//    (never the defaults the loader answered because the stored copy could
//    not be read, PD_SOURCE_DEFAULTS_FAILED); the non-devmode defaults are
//    stored only when no "N_Dev" is stored at all. The steps are independent:
//    a failed one does not stop the others, and the answer is 0.
//  - DrvUpgradePrinter answers TRUE only when the printer id is present, every
//    form was added and UpgradePrinterProperties answered 1; every step is
//    tried whatever an earlier one answered.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

// The upgrade information of level 1 the spooler hands DrvUpgradePrinter.
typedef struct _DRIVER_UPGRADE_INFO_1W {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
} DRIVER_UPGRADE_INFO_1W, *PDRIVER_UPGRADE_INFO_1W;

#define UPGRADE_JOB_OWNER_TOOL_VALUE u"SupportJobOwnerTool"
#define UPGRADE_JOB_OWNER_TOOL_CAPABILITY 43u

BOOL UpgradePrinterProperties(HANDLE printer, HCDDD ddd, BOOL full);
