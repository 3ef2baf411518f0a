// The access core: reads and writes one member of the devmode, the
// non-devmode record or the printer-data record by DDM id. It serves the
// devmode-access module kestreljd (module rules) and the kernel-mode
// renderer's own ddm_GetValue/ddm_SetValue (kernel rules).
//
// Results: 0 success; 1 the id lies in no group; 2 the type given is neither
// the member's stored nor its reported type; 4 a string, font or value does
// not fit the member; 8 the size given is not the type's size; 16 the id has
// no member in its group, a pointer is null, the record the member lives in
// is missing, or the member cannot be served.
//
// Value exchange (one convention for every caller):
//  - get: *type is the reported type (the stored type when the member
//    reports none), *size the value's bytes: the type's size, for a string
//    (characters + 1) x 2, for a font 92. *value is a zero-filled slot wide
//    enough for a pointer; scalars are copied into its low bytes
//    (little-endian: an 8-bit member reported as 16-bit comes back
//    zero-extended). Strings and fonts: module rules put the member's byte
//    offset within its record into *value and the record into *location
//    (0 devmode, 1 the non-devmode record at devmode + 1556, 2 printer
//    data); kernel rules put the member's address into *value.
//  - set: value points at the value's `size` bytes; for a string at its
//    first character (size: the buffer's bytes, the NUL must lie within
//    them), for a font at the 92-byte LOGFONTW (size 92).
//
// Members served specially:
//  - 14: one 32-bit value, dmPrintQuality in the high and dmYResolution in
//    the low 16 bits.
//  - Flags 1281-1376, 4097-4160, 4609-4640: one bit of a shared word, read as
//    0 or 1; written set for a non-zero value, cleared for 0. 1284 reads
//    inverted (1 when its bit is clear); module rules write it inverted (a
//    non-zero value clears the bit), kernel rules by parity (an odd value
//    clears it, an even one sets it).
//  - 392-403: a byte of a 32-bit word, read and written in place (masked,
//    not shifted).
//  - 311 is answered only while the words at devmode 596 and 600 agree;
//    writing it also writes 600. Writing 364 also writes 828.
//  - Writing 267 also writes 325 with the edge of the new margin position;
//    writing 320 or 341 also writes 326 or 344 with the edge code of the
//    new position under the current orientation (7) and pages per sheet
//    (295).
//
// Decisions (sound behaviour where the rules leave room):
//  - A string is never read past its member: a stored string without NUL
//    within its capacity is not served (16).
//  - A string written is followed by zeros up to the member's capacity, so
//    no earlier text lingers behind the NUL.
//  - A font written must be exactly 92 bytes (4 otherwise); a string's NUL
//    must lie within the size given (4 otherwise), so the source is never
//    read past the caller's buffer.
//  - A value written through a wider reported type must fit the stored
//    member (an 8-bit member written as type 3 takes 0-255; 4 otherwise).
//  - A flag takes the whole value given (not only its first byte): any
//    non-zero value sets it.
//  - Writing 267, 320 or 341 checks the dependent translation first: when it
//    fails (16) nothing is written, so the pair never disagrees.
#pragma once

#include "kplatform/wintypes.h"

#define DMA_OK 0
#define DMA_ERR_NOGROUP 1
#define DMA_ERR_TYPE 2
#define DMA_ERR_FIT 4
#define DMA_ERR_SIZE 8
#define DMA_ERR_MEMBER 16

#define DMA_RULES_MODULE 0  // kestreljd: strings and fonts by offset and location
#define DMA_RULES_KERNEL 1  // kestrelkm: strings and fonts by address; 1284 written by parity

// location may be null under kernel rules only.
WORD dmaCore_GetValue(WORD rules, WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                      ULONG_PTR* value, WORD* location);
WORD dmaCore_SetValue(WORD rules, WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                      const void* value);
// The checks dmaCore_SetValue makes before it writes anything (the id's
// group and member, the type, the size and whether the value fits), without
// a record: 0 when a write of this value would pass them.
WORD dmaCore_CheckTypeAndSize(WORD ddmId, WORD type, DWORD size, const void* value);
