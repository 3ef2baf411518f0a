// What the shared paper-data list (papdat.cpp) and its user-mode build from the
// forms database (core/um/papdat_um.cpp) both use. Private to the core.
#pragma once

#include "kestrel/core/papdat.h"

namespace papdat_modes {

inline constexpr WORD kUserDefinedSize = 256;

DWORD Total(const PAPDAT_HEADER* h);

}  // namespace papdat_modes
