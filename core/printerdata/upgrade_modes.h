// What the shared printer-data record upgrade (upgrade.cpp) and the user-mode
// devmode upgrade (core/um/upgrade_um.cpp) both use. Private to the core.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

namespace upgrade_modes {

// Writes a number in the width of the member's type (not the size the read
// answered, as ddm_SetNumber does): the upgrade rules never write a string,
// a font or a type without a width.
bool SetNum(WORD id, void* dm, void* pd, LONG value);

// A numeric member's default; a member the data gives no default takes 0,
// the value default setting leaves in it.
bool SetDefault(HCDDD ddd, WORD id, void* dm, void* pd);

// A flag or value that is set (non-zero); unreadable counts as clear.
bool IsSet(WORD id, void* dm, void* pd);

inline LONG ModelClass(LONG model) { return model & 0xFFF0; }

}  // namespace upgrade_modes
