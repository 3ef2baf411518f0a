// Every process-wide seam of the core, in one list: a function pointer (or a
// table of them) that a lower part of the core calls and a higher part, or
// another library, fills. Each setter is declared beside the code that calls
// through it (the header named below); this header includes them all, so a
// reader finds every seam, who fills it and why, in one place.
//
// A seam is for a call that must go up: a floor of the core that needs work
// done by a floor above it or by the library that links the core. Code of the
// same floor calls directly. Add a seam here when you add one; a null setter
// argument clears it, and a cleared seam answers as the declaring header says
// (usually "not known" or the file's own value).
//
// | setter (header)                                  | filled by, when                                                      | why it is a seam |
// |--------------------------------------------------|----------------------------------------------------------------------|------------------|
// | ddd_SetDriverDirectoryProvider (ddd.h)           | core/common/seams.cpp `zanLib_InstallDddSeams`, when the resource     | the reader (core/ddd) needs the driver directory for external strings; the directory comes from the common library above it |
// |                                                  | module is first used or a description handle is opened for the       | |
// |                                                  | driver (cddd_OpenFile, cddd_Open: core/common/cddd_open.cpp, on the  | |
// |                                                  | common floor for that reason); ddddump's host fills its own          | |
// | ddd_SetDefaultOverride (ddd.h)                   | core/common/seams.cpp `zanLib_InstallDddSeams`, as above              | model-dependent default overrides need the capability checks of the common library |
// | cddd_SetAttachOps (cddd.h)                       | `PreConfig_InstallAttachOps` (core/config), called by kestrelui's     | the handle (core/handle) loads the pre-configuration and emulation layers of core/config, which sit above it |
// |                                                  | library entry; cleared at detach                                     | |
// | zanLib_SetValueAccess (zanlib.h)                 | core/um/ddm_access_um.cpp, when the user-mode value access binds the  | the common library reads settings by DDM id through the devmode-access module, loaded by name |
// |                                                  | devmode-access module (kestreljd)                                    | |
// | cdm_SetSweepOps (cdm_values.h)                   | kestrelui `kui_RegisterSweep` (driverui/const), at library entry     | the all-settings sweep runs the constraint engine, which lives in kestrelui |
// | cdm_SetHeaderFontProvider (cdm_defaults.h)       | kestrelui library entry (driverui/lib/dllinit.cpp)                   | the default header/footer font comes from the user interface's stamp store |
// | cdm_SetStampListProvider (cdm_values.h)          | kestrelui library entry (driverui/lib/dllinit.cpp)                   | the stamp names of member 298 come from the stamp store in kestrelui |
// | pd_SetConvertFunction (printerdata.h)            | kestrelui library entry (driverui/lib/dllinit.cpp)                   | the upgrade of an older stored record lives in kestrelui |
// | pd_SetUserStore (printerdata.h)                  | kestrelui library entry (driverui/lib/dllinit.cpp)                   | the per-user store (PRNID, "UserSettingInfo") lives in kestrelui |
//
// The renderer's calls into work that has not landed yet are not pointers:
// they are one function each in render/km/seams.cpp.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
