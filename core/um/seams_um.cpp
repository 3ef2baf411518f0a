// The default overrides that only the user-mode build has (see
// kestrel/core/zanlib.h, zanLib_DefaultOverride; the shared part is
// core/common/seams.cpp).
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

#include "../common/seams_modes.h"

namespace seams_modes {

WORD FormDirectoryDefault(void** value, WORD* type) {
  LPWSTR dir = zanLib_GetFormDirDefault();
  if (!dir) return DDD_ERR_MEMORY;
  kcore_Free(*value);
  *value = dir;
  *type = DDD_TYPE_STRING;
  return DDD_OK;
}

WORD LanguageSwitchDefault(void** value, WORD* type) {
  if (!IsNumeric(*type) || GetUserDefaultLangID() == 1041) return DDD_OK;
  return SetNumber(value, *type, 1);
}

}  // namespace seams_modes
