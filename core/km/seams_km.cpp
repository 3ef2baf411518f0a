// The default overrides of the kernel-mode build (see kestrel/core/zanlib.h,
// zanLib_DefaultOverride; the shared part is core/common/seams.cpp): the
// renderer has no form folder and no user language, so the model's values
// stay.
#include "kestrel/core/zanlib.h"

#include "../common/seams_modes.h"

namespace seams_modes {

WORD FormDirectoryDefault(void**, WORD*) { return DDD_OK; }

WORD LanguageSwitchDefault(void**, WORD*) { return DDD_OK; }

}  // namespace seams_modes
