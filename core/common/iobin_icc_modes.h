// What the shared ICC header check (iobin_icc.cpp) and the user-mode file
// check (core/um/iobin_icc_um.cpp) both use. Private to the core.
#pragma once

#include "kplatform/wintypes.h"

namespace iobin_icc_modes {

inline constexpr DWORD kIccHeaderBytes = 132;

}  // namespace iobin_icc_modes
