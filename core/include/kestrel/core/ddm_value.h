// Devmode values by DDM id for everything outside the record owners.
//
// User mode (kestrelui, kestrelum): ddm_GetValue and ddm_SetValue forward to
// the devmode-access module (kestreljd.dll), which ddm_AccessInit
// (kestrel/core/ddm_access.h) loads once per process; its dma_GetValue and
// dma_SetValue are taken by name (kestrel/core/dma_module.h). Kernel mode (kestrelkm): the same two calls
// go straight to the access core with the kernel rules.
//
// Values follow the convention of kestrel/core/dma_core.h: get answers the
// reported type, the size, and the value in a slot wide enough for a pointer
// (types 6 and 9: the member's address); set takes a pointer to the value's
// bytes (types 6 and 9: to the string or font itself).
//
// Results: those of the access core; 16 also when the module or an entry
// point is missing.
//
// Decisions:
//  - ctl_SetDDMValue answers the module's status (-1 for a null devmode), not
//    always 0. Its value argument is the value itself for scalars and the
//    address of the string or font for types 6 and 9.
//  - ctl_GetDDMValue and CoreDDM_GetValueEx answer a value wide enough for a
//    pointer (strings come back by address).
//  - An unavailable string item (CoreDDM_GetValue) comes back as an empty
//    string (size 2), never as a null pointer.
#pragma once

#include "kestrel/core/devmode.h"
#include "kplatform/wintypes.h"

#define DDM_ID_ALWAYS_ZERO 36905  // answered locally: type 1, size 4, value 0

WORD ddm_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value);
WORD ddm_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value);

// A numeric member as a number (sign kept for the signed types): false when
// the read fails or the member is a string or a font.
inline bool ddm_GetNumber(WORD ddmId, void* devmode, void* printerData, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &v) != 0) return false;
  return ddm_NumberFromValue(type, v, out);
}
// Writes a number in the member's own type and size: false when the member
// can't be read, is a string or a font, or the write is refused.
inline bool ddm_SetNumber(WORD ddmId, void* devmode, void* printerData, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR old = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &old) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return false;
  ULONG_PTR v = static_cast<DWORD>(value);
  return ddm_SetValue(ddmId, devmode, printerData, type, size, &v) == 0;
}

// The value as a number (types 6 and 9: the address), or 0 when the devmode
// is null, the read fails or the size is not the one the type expects
// (1 -> 4, 2/3 -> 2, 4/5 -> 4, 8 -> 1, 6 -> any). Other types answer 0
// without reading.
ULONG_PTR ctl_GetDDMValue(void* devmode, void* printerData, WORD ddmId, WORD type);
LONG ctl_SetDDMValue(void* devmode, void* printerData, WORD ddmId, WORD type, DWORD size, ULONG_PTR value);

// 1 when the two devmodes agree on every compared member, 0 otherwise.
BOOL ddm_CompFavoriteDevmode(void* devmodeA, void* devmodeB, void* printerData);
BOOL ddm_IsStampDdmId(WORD ddmId);  // 297-319 and 1286-1288

// Value with its availability under the current settings: 0 available (or
// replaced by the item's unavailable value), 3 not given (read failure, no
// unavailable value, condition unreadable, a null out argument).
WORD CoreDDM_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value);
// The same as one number, -1 for status 3. The fourth argument is not used.
LONG_PTR CoreDDM_GetValueEx(void* devmode, void* printerData, WORD ddmId, DWORD unused);
