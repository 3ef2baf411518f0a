// Devmode values of the kernel-mode build (see kestrel/core/cdm_values.h; the
// shared part is cdm_values.cpp).
#include "kestrel/core/cdm_values.h"

#include "../devmode/cdm_values_modes.h"

namespace cdm_values_modes {

void ShowSweepFailure(HWND owner, WORD ddmId) {
  (void)owner;
  (void)ddmId;
}

}  // namespace cdm_values_modes
