// Default handlers of the user-mode build (see kestrel/core/cdm_defaults.h;
// the shared handlers are cdm_defaults.cpp).
#include <cstring>

#include "../devmode/cdm_handlers.h"
#include "kestrel/core/cdm_defaults.h"
#include "kplatform/gdi32_fonts.h"

#include "../devmode/cdm_defaults_modes.h"

using namespace cdm_defaults_modes;

WORD cdmHandler_HeaderFaceName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_NOMEMBER;
  CdmHeaderFontFn provider = g_headerFont.load();
  if (!provider) return CDM_RESULT_DDD;
  LOGFONTW font{};
  provider(&font);
  WCHAR face[LF_FACESIZE + 1] = {};
  std::memcpy(face, font.lfFaceName, sizeof font.lfFaceName);
  return AnswerText(args, face, 64, LF_FACESIZE - 1);
}
