// What the shared common library (zanlib.cpp) and its parts of each build
// (core/um/zanlib_um.cpp, core/km/zanlib_km.cpp) both use. Private to the
// core.
#pragma once

#include <atomic>

#include "kplatform/kwindows.h"

namespace zanlib_modes {

// A locale cache not read yet.
inline constexpr BYTE kUnset = 0xFF;

// The letter flag (1 letter, 2 not), kUnset until read or stored;
// zanlib_ResetLocaleCache forgets it.
extern std::atomic<BYTE> g_letter;

// Whether the alternative job-accounting object can be created (the
// user-mode build asks COM); the kernel-mode build has no COM: false.
bool AltJBAObjectPresent();

}  // namespace zanlib_modes
