// The kernel-mode renderer's own devmode-access functions (kcore_km only):
// kestrelkm cannot load the devmode-access module, so it carries the same two
// operations and calls them directly from ddm_GetValue and ddm_SetValue
// (kestrel/core/ddm_value.h). All of them stand on the access core
// (kestrel/core/dma_core.h) under the kernel rules: strings and fonts are answered
// by address, and id 1284 is written by parity (an odd value clears its bit,
// an even one sets it). Results are the access core's codes: 0 success,
// 1 the id lies in no group, 2 wrong type, 4 a string, font or value that
// does not fit, 8 wrong size, 16 no member, a null pointer or no record.
//
// Decisions (sound behaviour):
//  - A failed read never leaves an uninitialised answer: dma_GetValue clears
//    *type, *size and *value (and *location) before it looks anything up, so
//    a failure answers type 0, size 0 and value 0.
//  - dma_GetInfo answers the member's stored type, the bytes the member
//    takes in its record, its "extra" value (the flag bit, or the byte mask
//    of a packed member; 0 otherwise) and its address; every out value is
//    cleared first as well.
//  - dma_GetDataSize answers the bytes a value of the type takes when it is
//    exchanged: the scalar sizes of the access core, and for a string or a
//    font (passed by address) the width of the value slot that carries the
//    address (8 in this 64-bit build, 4 on the 32-bit platform).
#pragma once

#include "kplatform/wintypes.h"

#if defined(KESTREL_KERNEL_MODE)

// location (optional): the record the member lives in (0 devmode, 1 the
// non-devmode record, 2 printer data).
WORD dma_GetValue(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                  ULONG_PTR* value, WORD* location);
WORD dma_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value);

// The member of an id: 1 when no group holds the id, 16 when the group has
// no such member, when the record it lives in is not given, or when its type
// has no size; 0 with the answers filled. Every out pointer is optional.
WORD dma_GetInfo(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size, DWORD* extra,
                 void** address);
// 1 with the bit in *mask when the id is one of the flags 1281-1376,
// 4097-4160, 4609-4640; 0 otherwise (*mask 0).
BOOL dma_GetBitFlagValue(WORD ddmId, DWORD* mask);
// The checks of dma_SetValue without writing: 0 when a write would pass them.
WORD dma_CheckTypeAndSize(WORD ddmId, WORD type, DWORD size, const void* value);
// Bytes of an exchanged value of the type; 0 for 7 and unknown types.
WORD dma_GetDataSize(WORD type);

#endif
