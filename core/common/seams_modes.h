// What the shared default overrides (seams.cpp) and their parts of each build
// (core/um/seams_um.cpp, core/km/seams_km.cpp) both use. Private to the core.
#pragma once

#include "kplatform/kwindows.h"

namespace seams_modes {

// Replaces a numeric value block by one holding v in the type's width.
WORD SetNumber(void** value, WORD type, DWORD v);

bool IsNumeric(WORD type);

// The overrides of the form folder (the default form folder, created) and of
// the language switch (1 unless the user's language is Japanese). The
// kernel-mode build overrides neither: the model's value stays.
WORD FormDirectoryDefault(void** value, WORD* type);
WORD LanguageSwitchDefault(void** value, WORD* type);

}  // namespace seams_modes
