// Module-private parts of the DDD reader shared between its sources (and the
// reader's own tests).
#pragma once

#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kplatform/byte_order.h"  // the image is unaligned and little-endian

// Cursor reads; each fails with DDD_ERR_ARG at the end of the image.
WORD local_Read8(DDDFILE* context, BYTE* out);
WORD local_Read16(DDDFILE* context, WORD* out);
WORD local_Read32(DDDFILE* context, DWORD* out);
WORD local_Skip(DDDFILE* context, DWORD n);
// Bytes left behind the cursor (0 for a closed context).
DWORD local_Remaining(const DDDFILE* context);

// Returns the image address at the cursor and advances by n; null (cursor
// unchanged) when fewer than n bytes remain.
const BYTE* LOCAL_ReferFile(DDDFILE* context, DWORD n);

// The string buffer pool of a file pair.
BYTE* local_getStringBuffer(DDD_STRING_STATE* state, DWORD request);
void local_releaseStringBuffer(DDD_STRING_STATE* state, const BYTE* buffer);

// Decodes n stored String bytes at the cursor (the String body without its
// length) into a new wide string.
WORD LOCAL_ReadStrData(DDDFILE* context, DWORD n, LPWSTR* str, DWORD* bytes);
// Complements n stored bytes and converts them to a new wide string.
WORD DFILE_GetReadableString(const BYTE* stored, DWORD n, LPWSTR* str, DWORD* bytes);
WORD DFILE_GetString_fromExtResource(DDDFILE* context, WORD selector, WORD id, LPWSTR* str, DWORD* bytes);
WORD DFILE_LoadString_fromResource(HANDLE module, WORD id, LPWSTR* str, DWORD* bytes);

WORD LOCAL_ReadDEVValue_refer(DDDFILE* context, DDD_VALUE* value);
WORD LOCAL_ReadDEVValue_toAnyType(DDDFILE* context, WORD* type, WORD* size, BYTE field[4], LPWSTR* str,
                                  BOOL* owned);
WORD LOCAL_ReadTypeSizeValue(DDDFILE* context, DDD_TSV* tsv);
WORD LOCAL_ReadIndexedTray(DDDFILE* context, DDD_INDEXEDTRAY* tray);
// Element kinds 515, 517, 518, 520, 521, 526, 527. count 0 gives no array.
WORD LOCAL_ReadList(WORD elementKind, DDDFILE* context, WORD* count, void** array);
WORD LOCAL_SkipList(DDDFILE* context);
void LOCAL_FreeList(WORD elementKind, WORD count, void* array);
void LOCAL_FreeTSV(DDD_TSV* tsv);
void* LOCAL_AllocDevmodeValue(DWORD bytes);

WORD LOCAL_setSizeData(DDDFILE* main, DDDFILE* referenced, WORD sizeId, DDD_POINT* lower, DDD_POINT* upper);
WORD LOCAL_GetGroupedDevmodeValues(DDDFILE* context, DDD_GROUPED** record);

// Wide-string helper (length, equality and copies: kplatform/wide_text.h, kcore_WideDup).
// Converts a fixed-size 8-bit field (NUL-padded, perhaps unterminated) into a new wide string.
LPWSTR local_AnsiFieldToWide(const char* src, DWORD maxBytes);
