// What the shared device description handle (cddd.cpp) and the opening by
// printer of each build (core/um/cddd_um.cpp, core/km/cddd_km.cpp) both use.
// Private to the core.
#pragma once

#include "kplatform/wintypes.h"

namespace cddd_modes {

// A new copy of a text with its NUL; null for a null text or when memory is short.
LPWSTR Duplicate(LPCWSTR s);

}  // namespace cddd_modes
