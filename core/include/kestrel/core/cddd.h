// The device description handle: one printer's device description data (the
// main file and the file it refers to), its pre-configuration handle and its
// devmode-emulation handle, with the adapters the devmode core and the user
// interface read defaults, value lists and papers through.
//
// Status out-parameter (16 bit): 0 success; 1 bad argument or read failure;
// 2 the data holds no such item; 3 out of memory. Reader results map as
// 0 -> 0, 2 -> 2, 4 -> 3, anything else -> 1.
//
// Every block handed out is the caller's until the matching free function.
//
// Decisions:
//  - cdddGetPrinterColor answers a 32-bit value so that its two special
//    answers stay apart: -1 for a colour capability of 0, 0xFFFF for no
//    handle (a 16-bit answer would make them the same bits).
//  - cdddSearchItemData: for a range setting (selection method 4 or 6) a
//    value is one of the setting's values when it lies between the minimum
//    and the maximum (items 1 and 2) on the step (item 3) counted from the
//    minimum; a step of 0 accepts every value in the range. Every other list
//    keeps exact matching.
//  - The pre-configuration and devmode-emulation layers are attached through
//    cddd_SetAttachOps; while none are set, or they fail, the handle's slots
//    stay empty and the handle is usable.
#pragma once

#include "kestrel/core/ddd.h"
#include "kplatform/wintypes.h"
#if defined(KESTREL_KERNEL_MODE)
#include "kplatform/engine_ddi.h"
#endif

struct CDDD_INFO {
  DDDFILE* main;        // owned by the handle
  DDDFILE* referenced;  // owned by the handle
  void* preConfig;      // pre-configuration handle, or null
  void* dme;            // devmode-emulation handle, or null
  DWORD reserved;       // stays 0
  LPWSTR dataFile;      // the main data file's path as opened (owned), or null
};
typedef CDDD_INFO* HCDDD;

// Entry points of the pre-configuration and devmode-emulation layers, set by
// the library at attach. Any member may be null (that step is then skipped).
struct CDDD_ATTACH_OPS {
  void* (*openPreConfig)(LPCWSTR modelName, LPCWSTR configFile);  // PreConfig_OpenFileEx
  void (*closePreConfig)(void* preConfig);                         // PreConfig_CloseFileEx
  void* (*createDme)(LPCWSTR configFile, int section);             // DMETbl_CreateDmeHandle
  void (*destroyDme)(void* dme);                                    // DMETbl_DestroyDmeHandle
  BOOL (*isEnableFormDB)(void* dme);                                // dme_IsEnableFormDB
  // The configuration file name of an open handle (a new kcore_Alloc block),
  // or null; without it the pre-configuration and emulation steps are skipped.
  LPWSTR (*configFileName)(HCDDD handle);
};
void cddd_SetAttachOps(const CDDD_ATTACH_OPS* ops);  // null clears them
const CDDD_ATTACH_OPS* cddd_GetAttachOps(void);

// Status values.
#define CDDD_OK 0
#define CDDD_ERR 1
#define CDDD_NOTFOUND 2
#define CDDD_NOMEM 3
WORD cddd_MapStatus(WORD readerResult);

// The paper key and match of cdddSamePaper.
struct CDDD_PAPERKEY {
  WORD paperId;
  WORD width;
  WORD length;
  LPWSTR name;  // a new block in a match (cdddSamePaperFree); the caller's in a key
};

// The printer driver's data file name as a new block (kcore_Free); null on
// failure. User mode: GetPrinterDriverW level 2. Kernel mode: the path comes
// from the graphics engine (EngGetPrinterDataFileName), which knows it from
// the engine's device and from the printer handle the renderer was given
// alike; null when the engine gives none.
LPWSTR cdddGetFileName(HANDLE printer);
// Opens the description data of a data file given by name with the reader's
// seams as they stand, and attaches the pre-configuration and emulation
// layers (cddd_SetAttachOps). The driver opens through cddd_OpenFile and
// cddd_Open (kestrel/core/cddd_open.h), which install the common library's
// seams of the reader first.
HCDDD cddd_OpenDataFile(LPCWSTR dataFile);
BOOL cddd_Close(HCDDD handle);
HCDDD cdddAllocFinfo(void);
void cddd_HandleFree(HCDDD handle);

// value: for type 6 the reader's string (cdddGetDefaultDataFree); for other
// types the value itself, zero-extended into *value.
BOOL cdddGetDefaultDataInfo(HCDDD handle, WORD ddmId, ULONG_PTR* value, WORD* type, WORD* status);
void cdddGetDefaultDataFree(ULONG_PTR value, WORD type);

BOOL cdddGetSelectItemInfo(HCDDD handle, WORD ddmId, WORD* method, WORD* count, LPCWSTR* name, void** list,
                           WORD* status);
void cdddSelectItemInfoFree(void* list);
BOOL cdddGetSelectItemData(HCDDD handle, WORD ddmId, WORD itemNumber, DDD_GUIDATA** item, WORD* status);
void cdddSelectItemDataFree(DDD_GUIDATA* item);
// *image is the item's icon record (the icon image lies 16 bytes into it).
BOOL cdddGetSelectItemForDataTbl(const DDD_GUIDATA* item, const void** value, LPCWSTR* name, WORD* type,
                                 const DDD_ICONBYTES** image);

WORD cdddGetMaxCopies(HCDDD handle);
BOOL cdddSearchItemData(HCDDD handle, WORD ddmId, const DDD_VALUE* value);
BOOL cdddIsSamePaperSize(LONG width1, LONG length1, LONG width2, LONG length2);

// The Paper record of an item of the setting whose value is the paper data id.
BOOL cdddGetPaperSizeInfo(HCDDD handle, WORD ddmId, WORD paperDataId, DWORD extra, DDD_PAPER** paper,
                          WORD* status);
void cdddGetPaperSizeInfoFree(DDD_PAPER* paper);
BOOL cdddGetPaperSize(HCDDD handle, WORD ddmId, WORD paperDataId, WORD* lowerWidth, WORD* lowerLength,
                      WORD* upperWidth, WORD* upperLength, WORD* status);

BOOL cdddGetDefaultPDEV(HCDDD handle, WORD ddmId, DDD_OPTIONITEM** item, WORD* status);
void cdddGetDefaultPDEVFree(DDD_OPTIONITEM* item);
BOOL cdddGetDefaultPaperSize(HCDDD handle, WORD ddmId, WORD* lowerWidth, WORD* lowerLength, WORD* status);
LPWSTR cdddGetDefaultPaperName(HCDDD handle, WORD ddmId, WORD* status);

// mode 1 paper id, 2 size (same-size rule), 3 name (exact).
BOOL cdddSamePaper(HCDDD handle, WORD ddmId, WORD mode, const CDDD_PAPERKEY* key, CDDD_PAPERKEY* match,
                   WORD* status);
void cdddSamePaperFree(CDDD_PAPERKEY* match);

LPWSTR cdddGetModelName(HCDDD handle, WORD* status);
LONG cdddGetPrinterColor(HCDDD handle);
WORD cdddGetICMVersion(HCDDD handle);
