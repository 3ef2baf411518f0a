// The parts of the devmode values (cdm_values.cpp) that differ between the
// user-mode build (core/um/cdm_values_um.cpp) and the kernel-mode build
// (core/km/cdm_values_km.cpp). Private to the core.
#pragma once

#include "kestrel/core/cdm_values.h"

namespace cdm_values_modes {

// Tells the user which member the all-settings sweep could not settle; the
// kernel-mode build has no one to tell.
void ShowSweepFailure(HWND owner, WORD ddmId);

#if !defined(KESTREL_KERNEL_MODE)
// The TrueType family face names, counted and then copied by the callback
// of the system TrueType family list file (kestrel/core/systtf.h), which never
// writes past the buffer the count sized.
bool EnumTrueTypeFaces(CDM_ENUM_ITEMS* out);
#endif

}  // namespace cdm_values_modes
