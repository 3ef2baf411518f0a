// The parts of the common library that differ in the kernel-mode build (see
// kestrel/core/zanlib.h; the shared part is core/common/zanlib.cpp). The
// renderer has no locale, COM, global blocks or form folder: the letter flag
// is the one stored by driver_put_letter_flag, the locale defaults stay
// "unreadable", and the system is answered as NT 4.0 without colour
// management.
#include "kestrel/core/zanlib.h"

#include "../common/zanlib_modes.h"

using namespace zanlib_modes;

namespace zanlib_modes {

bool AltJBAObjectPresent() { return false; }

}  // namespace zanlib_modes

// ---- Locale defaults ---------------------------------------------------------

WORD driver_get_letter_flag(const void* any) {
  if (!any) return 2;
  BYTE cached = g_letter.load();
  if (cached != kUnset) return cached;
  return 2;
}

WORD driver_get_letter_flag(BOOL switchOn) {
  if (!switchOn) return 2;
  static const int kAny = 1;
  return driver_get_letter_flag(&kAny);
}

BOOL driver_put_letter_flag(WORD value) {
  if (value != 1 && value != 2) return 0;
  g_letter.store(static_cast<BYTE>(value));
  return 1;
}

// No locale: 0, so both defaults stay "unreadable".
LONG local_GetLocaleInfo_for_PaperGrpDef(BYTE*) { return 0; }
LONG local_GetLocaleInfo_for_8K16KDef(BYTE*) { return 0; }

SIZE_T zanLib_GetGlobalSize(void*) { return 0; }

// ---- Folders ---------------------------------------------------------------------

LPWSTR zanLib_GetFormDirDefault(void) { return nullptr; }

// ---- Operating system ------------------------------------------------------------

LONG osVer_GetOS(WORD* os) {
  if (!os) return -1;
  *os = 513;
  return 1;
}

LONG osVer_IsAvaliableICM(WORD* icm) {
  if (!icm) return -1;
  return 0;
}
