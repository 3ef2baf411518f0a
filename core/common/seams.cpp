// What the device description data reader asks of this library: the driver
// directory (external strings) and the model-dependent default overrides.
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"
#include "kplatform/wingdi_types.h"

#include "seams_modes.h"

using namespace seams_modes;

namespace {

BOOL DriverDirectory(WCHAR* buffer, DWORD chars) {
  if (!buffer || chars < MAX_PATH) return FALSE;
  return zanlib_GetDriverDirectory(buffer, chars * sizeof(WCHAR));
}

}  // namespace

namespace seams_modes {

// Replaces a numeric value block by one holding v in the type's width.
WORD SetNumber(void** value, WORD type, DWORD v) {
  auto* block = static_cast<BYTE*>(kcore_Alloc(4));
  if (!block) return DDD_ERR_MEMORY;
  DWORD width = 4;
  if (type == DDD_TYPE_SHORT || type == DDD_TYPE_USHORT) width = 2;
  if (type == DDD_TYPE_BYTE) width = 1;
  for (DWORD i = 0; i < width; ++i) block[i] = static_cast<BYTE>(v >> (8 * i));
  kcore_Free(*value);
  *value = block;
  return DDD_OK;
}

bool IsNumeric(WORD type) {
  return type == DDD_TYPE_BOOL || type == DDD_TYPE_SHORT || type == DDD_TYPE_USHORT || type == DDD_TYPE_LONG ||
         type == DDD_TYPE_ULONG || type == DDD_TYPE_BYTE || type == DDD_TYPE_DWORD;
}

}  // namespace seams_modes

WORD zanLib_DefaultOverride(DDDFILE* main, DDDFILE* /*referenced*/, WORD ddmId, void** value, WORD* type) {
  if (!value || !type) return DDD_ERR_ARG;
  ZANLIB_CAPABILITY caps{};
  switch (ddmId) {
    case DDM_PAPERSIZE:
    case DDM_NONDEV_PAPER:
    case DDM_LETTERLOCALE: {
      if (!IsNumeric(*type)) return DDD_OK;
      zanLib_GetDDDCapabilitiesFromFile(main, &caps);
      static const int kAny = 1;
      if ((caps.word0 & 0x400000u) && driver_get_letter_flag(&kAny) == 1)
        return SetNumber(value, *type, ddmId == DDM_LETTERLOCALE ? 3u : DMPAPER_LETTER);
      return DDD_OK;
    }
    case DDM_PAPERSETTING: {
      if (!IsNumeric(*type)) return DDD_OK;
      zanLib_GetDDDCapabilitiesFromFile(main, &caps);
      if (!zanLib_CheckCapability(&caps, ZANLIB_CAP_BIT(32))) return DDD_OK;
      BYTE group = zanlib_GetPaperSizeGroupDefault(zanLib_CheckCapability(&caps, ZANLIB_CAP_BIT(39)));
      if (group == 254) return DDD_OK;
      return SetNumber(value, *type, group);
    }
    case DDM_PAPERSWITCH_8K16K: {
      if (!IsNumeric(*type)) return DDD_OK;
      zanLib_GetDDDCapabilitiesFromFile(main, &caps);
      if (!zanLib_CheckCapability(&caps, ZANLIB_CAP_BIT(33))) return DDD_OK;
      BYTE k = zanlib_Get8K16KDefault();
      if (k == 254) return DDD_OK;
      return SetNumber(value, *type, k);
    }
    case DDM_FORMDIRECTORY:
      return FormDirectoryDefault(value, type);
    case DDM_LANGUAGESWITCH:
      return LanguageSwitchDefault(value, type);
    default:
      return DDD_OK;
  }
}

void zanLib_InstallDddSeams(void) {
  ddd_SetDriverDirectoryProvider(DriverDirectory);
  ddd_SetDefaultOverride(zanLib_DefaultOverride);
}
