// What the shared default handlers (cdm_defaults.cpp) and the handlers that
// differ between the builds (core/um/cdm_defaults_um.cpp,
// core/km/cdm_defaults_km.cpp) both use. Private to the core.
#pragma once

#include <atomic>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"

namespace cdm_defaults_modes {

extern std::atomic<CdmHeaderFontFn> g_headerFont;

// Operation 1 answered with a string block.
WORD AnswerText(CDM_MEMBER_ARGS* args, LPCWSTR text, DWORD bytes, DWORD maxChars);

}  // namespace cdm_defaults_modes
