// The renderer's side of the kernel-mode service layer: the PDEV heap, the
// devmode shorthand by DDM id, unit conversions, the halftone pattern size,
// the devmode part copies, the renderer's additions to the description data
// reader and the stand-ins of user-mode functions. The core's kernel build
// (kcore_km) supplies the rest through the graphics engine's services:
// memory and files (kestrel/core/kcore_sys.h: NTKernel_MAlloc, MAPFILE,
// km_LoadString), code pages and string copies (kestrel/core/strconv.h),
// the description handle (kestrel/core/cddd.h: cdddGetFileName, cddd_Open of the
// engine device), printer data and the substitution table
// (kestrel/core/printerdata.h, kestrel/core/ttsubst.h), the devmode access
// (kestrel/core/dma_kernel.h), the letter flag (kestrel/core/zanlib.h) and the trace
// log. Built into the static library kkm_services.
//
// Decisions (sound behaviour and open points):
//  - Heap: this is a 64-bit build. Each block carries a 16-byte head in
//    front of the caller's bytes (the link to the block allocated before it,
//    pointer-sized, and 8 bytes of padding), so the caller's address keeps
//    the engine's 16-byte alignment. The heap is the list head (one pointer)
//    in a block of its own. Every block and the head are engine blocks with
//    the tag "Dpsh". HEAPFREE walks the list to unlink the block: a pointer
//    that is not a live block of that heap is ignored (never freed twice,
//    never followed into another heap). HEAPDESTROY frees every block still
//    in the list and the head.
//  - DDMS_GetUlong and DDMS_GetShort answer 0 when the value cannot be read
//    (no PDEV, an unknown id, a record not yet loaded) and for strings and
//    fonts (whose value is an address, not a number; DDMS_GetPStr reads
//    those). A read never hands on an uninitialised value.
//  - DDMS_SetShort writes a 16-bit value in the member's own 16-bit type (2
//    or 3), so the access core's type check accepts it for either; another
//    member type is refused (its code is answered).
//  - CoreDDM_SetValue passes the size the access core takes for the type:
//    4 for a boolean (type 1), 2 for 2 and 3, 4 for 4, 5 and 10, 1 for 8, 92
//    for a font, and for a string its bytes with the NUL. (A size of 2 for a
//    boolean or 4 for a string would be refused or cut the text.)
//  - Units are computed on the engine's FLOATOBJ: the product first, then the
//    quotient, truncated toward zero; the result equals the integer
//    truncation of the exact product and quotient for every length a page
//    can have. A result beyond the LONG range is held at its end.
//  - ddd_GetPaperDuplexAvailability's two further answers (the 32-bit
//    layout's addresses of offsets 148 and 132) are the paper record's
//    duplex size bounds: the first points at DDD_PAPER::duplexLower, the
//    second at DDD_PAPER::duplexUpper (both 0 x 0 when the paper names no
//    duplex size). The record's fields are named members here, not offsets.
//  - dmCopyNONDEVDAT and copyFAXDATA answer TRUE or FALSE (a null devmode, or
//    a fax value that cannot be read or written), so DrvResetPDEV can tell a
//    failed copy; callers that ignore the answer compile unchanged.
#pragma once

#include "kestrel/core/ddd_types.h"
#include "kestrel/render/pdev.h"
#include "kplatform/engine_ddi.h"

// ---- Heap ---------------------------------------------------------------------
// A list of blocks from EngAllocMem (tag "Dpsh"); destroying the heap frees
// every block still in it and the head.
void* HEAPCREATE(void);
void* _HEAPALLOC(void* heap, ULONG size, ULONG flags);  // not cleared; null on failure
void HEAPFREE(void* heap, void* block);
void HEAPDESTROY(void* heap);
// The pool tag of heap blocks, the bytes "Dpsh".
constexpr ULONG KM_HEAP_TAG = 0x68737044u;

// ---- Devmode values of a PDEV by DDM id ---------------------------------------
ULONG DDMS_GetUlong(PDEV* pdev, WORD ddmId);
SHORT DDMS_GetShort(PDEV* pdev, WORD ddmId);
LPWSTR DDMS_GetPStr(PDEV* pdev, WORD ddmId);  // null when the value can't be read
WORD DDMS_SetShort(PDEV* pdev, WORD ddmId, SHORT value);
WORD CoreDDM_SetValue(void* devmode, void* printerData, WORD ddmId, WORD type, const void* value);

// ---- Units ----------------------------------------------------------------------
// Lengths in 1/18432 inch; results truncated toward zero, exactly as the
// integer products and quotients.
LONG PSRealToPixel(LONG length, LONG dpi);
LONG MicronToPSReal(LONG micrometres);
LONG PSRealToMicron(LONG length);
// From the smaller resolution: 15 from 2400 dpi, 13 from 1800, 11 from 1200,
// 9 from 900, 7 from 400, 5 from 180, else 3; 2 less with the flag set.
ULONG PickDefaultHTPatSize(ULONG xDpi, ULONG yDpi, BOOL flag);

// ---- Devmode parts ---------------------------------------------------------------
BOOL dmCopyNONDEVDAT(void* outDevmode, const void* inDevmode);  // bytes 1556..5439
BOOL copyFAXDATA(void* outDevmode, const void* inDevmode);      // the fax members (DDM_FAX_*)

// ---- Description data additions ---------------------------------------------------
// Fields of the reader's records (kestrel/core/ddd_types.h) only the renderer
// reads. The operations that answer a code answer 0, or 1 for a record of
// another category, a null argument or (duplex availability) a file of a
// format version below 0x200.
WORD ddd_GetTrayNRVArg(const void* record, WORD* nrvArg);             // tray (category 5)
WORD ddd_GetTrayDuplexAvailability(const void* record, BYTE* duplex);  // category 5 or 6
WORD ddd_GetPortraitArg(const void* record);                           // paper; 0 for another record
WORD ddd_GetPaperDuplexAvailability(const void* record, BYTE* duplex, const DDD_POINT** duplexLower,
                                    const DDD_POINT** duplexUpper);
DWORD ddd_GetXFMSize(const void* record);  // font (full read); 0 otherwise

// ---- Stand-ins of user-mode functions ------------------------------------------------
// The page clip of the user-mode drawing code has nothing to do here: 0, or
// -1 for a null page. (The other stand-ins live in the core's kernel build:
// the stamp, face and header face-name defaults, the locale defaults 254,
// zanLib_GetFormDirDefault null and osVer_GetOS 513.)
LONG _SetPageClip(void* page);
