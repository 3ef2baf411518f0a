// What the shared pre-configuration store (preconfig.cpp) and its user-mode
// file reading (core/um/preconfig_um.cpp) both use. Private to the core.
#pragma once

#include "kplatform/wintypes.h"

namespace preconfig_modes {

// Leading decimal digits up to the first other character; no sign, and a
// number that does not fit in 32 bits is refused.
bool ParseDigits(LPCWSTR text, DWORD* value);

}  // namespace preconfig_modes
