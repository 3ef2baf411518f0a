// Default handlers of the kernel-mode build (see kestrel/core/cdm_defaults.h;
// the shared handlers are cdm_defaults.cpp).
#include "../devmode/cdm_handlers.h"
#include "kestrel/core/cdm_defaults.h"

#include "../devmode/cdm_defaults_modes.h"

WORD cdmHandler_HeaderFaceName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_NOMEMBER;
  return CDM_RESULT_DDD;
}
