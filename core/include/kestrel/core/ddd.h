// Device description data (DDD) reader: opens a model's file pair (the main
// file the print queue names and the referenced file its header names), reads
// PrinterInfo items and records, and answers the queries of the devmode core,
// the EJCL writer, the renderer and the spooler-side library.
//
// Every operation returns a 16-bit result (DDD_OK, DDD_ERR_*), except those
// whose name ends in "Indirect", which return the value itself (0 or null on
// failure). Every record, string, bitmap and icon handed out is a new
// allocation of the caller's: records are freed with ddd_Free, strings and
// bitmaps with ddd_FreeMem. Records may point into the file image, so free
// them before closing their file. A pair of contexts is used by one thread at
// a time.
//
// Decisions taken where the format leaves a point open:
//  - A record's optional fields, and the field accessors that depend on the
//    format version (ddd_GetAdditionalFlag, ddd_GetPaperTypeDuplexAvailability,
//    ddd_GetFavoriteSettingNum/-Setting), use the format version of the file
//    the record was read from (DDD_HEAD.formatVersion). There is no
//    process-wide "last opened" version: two models open at once both answer
//    for themselves.
//  - Version string: a malformed string (no colon, ends before c, a part
//    without digits) answers 1; a part over its limit (a or b above 255, c
//    above 65535) answers 8.
//  - Format version: bytes are signed; a packing below the 32-bit range is
//    held as the least 32-bit value (it only ever compares below every
//    optional-field threshold).
//  - A devmode value with stored size 0 has no payload, whatever its type.
//  - A List whose stored byte length differs from the bytes its count and
//    elements take fails with 1, so quick and full reads always agree.
//  - A category whose position lies at or beyond the category table's count
//    is not in the file (2).
//  - An external-string reference is the stored text followed by five bytes:
//    16-bit library selector, 16-bit string id, 0. When the external string
//    cannot be had, the text before those five bytes is the fallback.
//  - The directory of the main file is everything up to its last '\' or '/'.
//  - Numeric value matching compares only when both the item's stored value
//    and the given value hold the type's full width; a string item matches
//    only a given string value (type 6).
//  - A type-size-value (extra values, favourites) whose payload is neither a
//    string nor at most 4 bytes is refused with 1.
//  - Kind 2 (PrinterInfo as a record) is built by no reader: DALLOC_AllocData
//    refuses it and ddd_Free frees such a block as one block.
#pragma once

#include "kestrel/core/ddd_types.h"

// --- Seams filled by the handle-and-library layer ------------------------

// The driver directory (with or without a trailing backslash) that external
// strings load their libraries from. Writes a NUL-terminated path into buffer
// and returns TRUE; FALSE when it is not known. While no provider is set, or
// the provider answers FALSE, external strings cannot be loaded and their
// fallback text is used.
typedef BOOL (*DddDriverDirectoryFn)(WCHAR* buffer, DWORD chars);
void ddd_SetDriverDirectoryProvider(DddDriverDirectoryFn fn);

// Model-dependent overrides of a feature's default (step 4 of
// ddma_GetDefaultPDEV: letter size for DDM 8, 1824 and 327, the paper-size
// group default for 4356, the 8K/16K default for 4358, the form directory for
// 1829 and the language rule for 1804). Called only after the default was
// read from the file; *value is the reader's allocation (ddd_FreeMem) and may
// be replaced (free the old block) together with *type. Its result is the
// result of ddma_GetDefaultPDEV (a non-zero result frees *value). While none
// is set, the file's default is answered unchanged.
typedef WORD (*DddDefaultOverrideFn)(DDDFILE* main, DDDFILE* referenced, WORD ddmId, void** value, WORD* type);
void ddd_SetDefaultOverride(DddDefaultOverrideFn fn);

// --- Memory ---------------------------------------------------------------

// Frees a string, bitmap or value block the reader handed out (null is fine).
void ddd_FreeMem(void* block);

// --- File layer -------------------------------------------------------------

WORD DFILE_OpenFileX(LPCWSTR fileName, DDDFILE* context, DDDFILE* partner);
// A referenced file's context borrows the main file's string state: close it
// before the main file (ddd_CloseFile does).
WORD DFILE_CloseFileX(DDDFILE* context);
// mode 1: relative to the cursor; any other mode: absolute.
WORD DFILE_Seek(DDDFILE* context, WORD mode, LONG offset);
WORD DFILE_SeekBack(DDDFILE* context, DWORD n);
WORD DFILE_ReadFile(DDDFILE* context, void* buffer, DWORD n);
WORD DFILE_GotoPrinterInfo(DDDFILE* context, DWORD relativeOffset);
WORD DFILE_GotoCategoryOffset(DDDFILE* context);
WORD DFILE_GotoDataOffsetTable(DDDFILE* context, WORD category, DWORD extra);
WORD DFILE_GotoDataOffsetByID(DDDFILE* context, WORD category, WORD dataId);
WORD DFILE_GotoDataOffsetByIndex(DDDFILE* context, WORD category, WORD position);
// mode 1: by 1-based position, other modes: by data id. tableFile 2 searches
// the main file's table, any other value the referenced file's.
WORD DFILE_GotoData(WORD mode, DDDFILE* main, DDDFILE* referenced, WORD tableFile, WORD category, WORD idOrPosition,
                    WORD* location);
WORD DFILE_GotoDataByID(DDDFILE* main, DDDFILE* referenced, WORD tableFile, WORD category, WORD dataId,
                        WORD itemNumber, WORD* location);

// Version rules. str holds at most `chars` 8-bit characters (NUL ends it
// earlier).
WORD DFILE_strToVersion(const char* str, DWORD chars, WORD* a, WORD* b, WORD* c);
DWORD DFILE_PackVersion(WORD a, WORD b, WORD c);
WORD DFILE_strToDDDFormatVersion(const BYTE bytes[4], LONG* packed);

// Primitive readers at the cursor.
WORD DFILE_ReadID(DDDFILE* context, WORD* id);
WORD DFILE_ReadPOINT(DDDFILE* context, DDD_POINT* point);
// Reads an ITEM into *item (kind 517); free its value with DFREE_FreeDevmodeValue.
WORD DFILE_ReadITEM(DDDFILE* context, DDD_ITEM* item);
WORD DFILE_ReadImStruct(DDDFILE* context, DDD_IMSTRUCT* im);
// Reads a String: *str is a new wide string (null for a stored length of 0),
// *bytes its byte count with the NUL.
WORD DFILE_ReadNegativeString(DDDFILE* context, LPWSTR* str, DWORD* bytes);
// Reads a devmode value; the caller owns *value (null when there is no payload).
WORD DFILE_ReadDEVValue(DDDFILE* context, WORD* type, WORD* size, void** value);
// Expands a type-128 value into the grouped values it names (in place).
WORD DFILE_ExpandGroupedDevmodeValues(DDDFILE* context, DDD_VALUE* value);
void DFREE_FreeDevmodeValue(DDD_VALUE* value);

// Reads the record at the cursor of `context` (categories 3-23).
WORD DFILE_GetData(WORD depth, DDDFILE* context, DDDFILE* main, DDDFILE* referenced, WORD category, void** record);
// A zero-filled record of the kind with its head set; null for an unknown kind.
void* DALLOC_AllocData(DDDFILE* context, WORD kind);

// --- Opening and closing ----------------------------------------------------

WORD ddd_OpenFile(LPCWSTR dataFileName, DWORD reserved, DDDFILE* main, DDDFILE* referenced);
WORD ddd_CloseFile(DDDFILE* main, DDDFILE* referenced);
WORD ddd_VersionCheck(DDDFILE* context);
WORD ddd_GetFileInfo(DDDFILE* context, DDD_FILEINFO** info);
// Frees *record by kind (DDD_KIND_ANY: the record's own kind word) and sets
// *record to null. Answers 1 when a freer refused the record, else 0.
WORD ddd_Free(void** record, WORD kind);

// --- PrinterInfo ------------------------------------------------------------

WORD ddd_GotoPrinterInfoDef(DDDFILE* context, WORD item);
WORD ddd_GetPrinterInfo_numOfItem(DDDFILE* context, WORD item);
WORD ddd_GetPrinterInfo_orderedItem(DDDFILE* context, WORD item, WORD elementSize, WORD index, void* out);
DWORD ddd_GetPrinterInfo_orderedItem_Indirect(DDDFILE* context, WORD item, WORD elementSize, WORD index);
WORD ddd_GetPrinterInfo_allItems(DDDFILE* context, WORD item, WORD elementSize, WORD* count, void** buffer);
WORD ddd_GetPrinterInfo_orderedString(DDDFILE* context, WORD item, WORD index, LPWSTR* str);
LPWSTR ddd_GetPrinterInfo_orderedString_Indirect(DDDFILE* context, WORD item, WORD index);
WORD ddd_GetDLLName(DDDFILE* context, WORD selector, LPWSTR* name);
WORD ddd_GetRegistry(DDDFILE* context, WORD selector, LPWSTR* path);
// item 1 = model picture, 40 = corporate logo. Returns the packed bitmap
// (ddd_FreeMem) or null.
BYTE* ddd_GetPrinterBitmap(DDDFILE* main, DDDFILE* referenced, WORD item, WORD* width, WORD* height);

// --- Records ----------------------------------------------------------------

WORD ddd_GetNumOfData(DDDFILE* context, WORD category);
WORD ddd_GetDataByIndexX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD position, void** record);
WORD ddd_GetDataByIDX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD dataId, WORD itemNumber,
                      void** record);
WORD DFILE_GetDataByIDX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD dataId, WORD itemNumber,
                        void** record);
WORD ddd_GetItemDataByIndexX(WORD depth, BOOL byDefault, DDDFILE* main, DDDFILE* referenced, const DDD_OPTION* option,
                             WORD position, WORD* category, DDD_OPTIONITEM** item);

// Always answers 1.
WORD DDMIDtoCategory(WORD ddmId, const WORD* givenDataId, WORD* category, WORD* dataId);
// value: null, or the value whose item is wanted (categories 3 and 4). For
// DDM ids 1 and 259 *record is the model name (a wide string, ddd_FreeMem).
WORD ddma_GetDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD ddmId, const DDD_VALUE* value, WORD* category,
                   void** record);
WORD ddma_GetItemDataByDEVMODE(WORD depth, DDDFILE* main, DDDFILE* referenced, const DDD_OPTION* option,
                               const DDD_VALUE* value, WORD* category, DDD_OPTIONITEM** item);
WORD ddma_GetItemDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, WORD* category,
                       void** record);
WORD ddma_GetNameAndDEVMODE(DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, LPWSTR* name, void** value,
                            WORD* type);
WORD ddma_GetNameFromDDD(DDDFILE* main, DDDFILE* referenced, WORD ddmId, const DDD_VALUE* value, LPWSTR* name);
WORD ddd_GetNameFromData(const void* record, LPWSTR* name);
WORD ddma_GetRefDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, const void* itemRecord, WORD* kind,
                      void** record);
// *value is the reader's allocation (ddd_FreeMem).
WORD ddma_GetDefaultPDEV(DDDFILE* main, DDDFILE* referenced, WORD ddmId, void** value, WORD* type);
WORD ddma_IsDefaultOption(DDDFILE* main, DDDFILE* referenced, WORD optionId);
WORD ddma_GetIconData(DDDFILE* main, DDDFILE* referenced, const void* record, DDD_ICONBYTES** icon);
WORD ddma_GetGUIData(DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, DDD_GUIDATA** data);

// --- Record field readers ---------------------------------------------------

const DDD_POINT* ddd_GetTrayLowerPaper(const void* tray);
const DDD_POINT* ddd_GetTrayUpperPaper(const void* tray);
WORD ddd_GetAcceptablePaperID(const void* tray, WORD position, const WORD** id);
WORD ddd_GetAcceptableFeedID(const void* tray, WORD position, WORD* id);
const DDD_POINT* ddd_GetPaperLower(const void* paper);
const DDD_POINT* ddd_GetPaperUpper(const void* paper);
WORD ddd_GetMarginDefault(const void* paper, const DDD_POINT** first, const DDD_POINT** second);
const DDD_POINT* ddd_GetImageableSizeLower(const void* paper);
const DDD_POINT* ddd_GetImageableSizeUpper(const void* paper);
WORD ddd_GetSubstFontName(const void* font, WORD position, LPCWSTR* name);
const BYTE* ddd_GetXFMData(const void* font);
WORD ddd_GetNumOfDataEx(const void* record, WORD* count);
WORD ddd_GetDataEx(const void* record, WORD position, WORD* type, WORD* size, const void** value);
LPCWSTR ddd_GetEJCLCommand(const void* ejcl);
LPCWSTR ddd_GetEJCLArgument(const void* ejcl);
// *bitmap is the reader's allocation (ddd_FreeMem).
WORD ddd_GetImageFromImageCondition(DDDFILE* main, DDDFILE* referenced, const void* record, WORD* x, WORD* y,
                                    BYTE** bitmap);
WORD ddd_GetAdditionalFlag(const void* record, WORD* flag);
WORD ddd_GetPaperTypeDuplexAvailability(const void* record, BYTE* duplex);
WORD ddd_GetFavoriteSettingNum(const void* record, WORD* count);
WORD ddd_GetFavoriteSetting(const void* record, WORD position, WORD* ddmId, WORD* size, WORD* type,
                            const void** value);
WORD ddd_GetQueryString(const void* record, WORD position, LPCWSTR* str);
