// The common library every driver library carries: the resource module
// (kestrelrs.zrs, named by string 32767 of the library's own string table),
// the driver directory, the model's device type and capability bits, the
// twenty user-defined paper slots, locale-based paper defaults, unit
// conversions, number parsing, file and user helpers, the operating-system
// codes and the conversion between devmode-access ids and DDM ids.
// Results are 1/0 unless a function says otherwise.
//
// Decisions:
//  - zanLib_StringToDWORD refuses a number that does not fit in 32 bits
//    (more than eight significant hexadecimal digits, or a decimal value
//    above 4294967295); the out value is left unchanged on any failure.
//  - zanLib_GetUsrDefPap_DefaultName takes the buffer's capacity in
//    characters. The base text is shortened (never the slot number) until
//    base + number + NUL fit, so the twenty default names stay distinct. A
//    capacity too small for the number alone answers 0 with an empty buffer.
//  - The letter-size test of a feature default (DDM 8, 1824, 327) answers
//    letter when the model's capability word 0 has bit 0x400000 and the
//    user's locale asks for letter (driver_get_letter_flag answers 1).
//  - The language rule of DDM 1804 compares the user's default language id
//    (GetUserDefaultLangID) with 1041.
//  - Functions that read settings by DDM id go through the value reader set
//    with zanLib_SetValueAccess (the devmode-access layer registers it at
//    library attach); while none is set they answer their failure value.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

// ---- Resource module -----------------------------------------------------
#define ZANLIB_STRID_RESOURCE_MODULE 32767  // the library's own string: "kestrelrs.zrs"
#define ZANLIB_STRID_DMA_MODULE 32766       // the library's own string: "kestreljd.dll"
#define ZANLIB_STRID_CUSTOM 16              // base of the user-defined paper names
#define ZANLIB_STRID_LANGID 5146            // decimal language id of the module
#define ZANLIB_STRID_FORMDIR 9373           // form folder below the Windows drive

// path: the library's full path when the module cannot tell it (kernel mode).
void resource_startToUse(HINSTANCE module, LPCWSTR path);
HINSTANCE resource_get_hInstance(void);
HINSTANCE resource_get_hInstance_forBitmap(void);
HINSTANCE resource_get_hInstance_forIcon(void);
HINSTANCE driver_get_hInstance(void);
void resource_unload(void);
void resource_finishToUse(void);
// Loads string id of the resource module into buffer (chars with the NUL);
// answers the characters copied, 0 when the module or the string is missing.
int resource_LoadString(UINT id, LPWSTR buffer, int chars);

// Installs the reader's seams (driver directory for external strings and the
// model-dependent default overrides). resource_startToUse and cddd_Open call
// it; calling it again does nothing more.
void zanLib_InstallDddSeams(void);
// The override step of a feature's default (the reader's seam).
WORD zanLib_DefaultOverride(DDDFILE* main, DDDFILE* referenced, WORD ddmId, void** value, WORD* type);

// ---- Library functions ---------------------------------------------------
BOOL zanlib_GetDriverDirectory(LPWSTR buffer, DWORD bytes);
WORD zanLib_GetDeviceType(HCDDD handle);
BOOL zanLib_IsPCL6Driver(HCDDD handle);

struct ZANLIB_CAPABILITY {
  DWORD word0;  // PrinterInfo item 26
  DWORD word1;  // PrinterInfo item 39 (format 0x1600 and later), else 0
};
static_assert(sizeof(ZANLIB_CAPABILITY) == 8);
#define ZANLIB_CAP_BIT(n) (0xFFFF0000u | (n))
BOOL zanLib_GetDDDCapabilities(HCDDD handle, ZANLIB_CAPABILITY* caps);
BOOL zanLib_GetDDDCapabilitiesFromFile(DDDFILE* main, ZANLIB_CAPABILITY* caps);
BOOL zanLib_CheckCapability(const ZANLIB_CAPABILITY* caps, DWORD flag);
BOOL zanLib_CheckCapability_Indirect(HCDDD handle, DWORD flag);
BOOL zanLib_IsSupportFuncWithVersion(DWORD version, DWORD required);
BOOL zanLib_IsEnableAltJBA(HCDDD handle, BOOL* enabled);
BOOL zanLib_GetLANGID(WORD* langId);

BOOL zanLib_IsUsrDefPaper(WORD paperId);
BOOL zanLib_IsUsrDefPaperOrUsrDefSize(WORD paperId);
BOOL zanLib_IsUsrDefPapSizeDdmId(WORD ddmId);
WORD zanLib_GetUsrDefPapIndex(WORD paperId);
WORD zanLib_GetUsrDefPapID(WORD slot);
BOOL zanLib_GetUsrDefPap_DefaultName(WORD slot, LPWSTR buffer, DWORD capacity);

// Reads one member by DDM id: type, size, and the value (types 6 and 9: the
// member's address). Answers the access layer's result (0 success).
typedef WORD (*ZanLibGetValueFn)(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size,
                                 ULONG_PTR* value);
// Writes one member; value points at the value (types 6 and 9: at the data).
typedef WORD (*ZanLibSetValueFn)(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                                 const void* value);
void zanLib_SetValueAccess(ZanLibGetValueFn get, ZanLibSetValueFn set);
// A numeric member through the value access (types 1-5, 8, 10); FALSE when
// it cannot be read.
BOOL zanLib_ReadNumber(WORD ddmId, void* devmode, void* printerData, LONG* value);

BOOL zanLib_IsFaxMode(HCDDD handle, void* devmode);
BOOL zanLib_GetUsrDefSize(void* devmode, void* printerData, DWORD* width, DWORD* length);
BOOL zanLib_CopyPaperSizeBetweenPublicAndPrivate(WORD direction, void* devmode, void* printerData);
BOOL zanLib_IsEnableDPCustomPaperSize(void* devmode, void* printerData);

// 1 letter, 2 other; cached after the first answer. Null answers 2.
// Kernel mode has no locale: the answer is the flag stored with
// driver_put_letter_flag, or 2 when none was stored.
WORD driver_get_letter_flag(const void* any);
#if defined(KESTREL_KERNEL_MODE)
// The renderer's form (the switch is the model's letter capability): 2 when
// the switch is 0, else the stored flag (2 when none was stored). It reads
// the same flag as the form above; a literal 0 picks this form.
WORD driver_get_letter_flag(BOOL switchOn);
// Stores 1 or 2 as the letter flag and answers 1; other values are refused
// (0) and change nothing.
BOOL driver_put_letter_flag(WORD value);
#endif
// The user locale's row: 1 with the paper-size group (0-4) or the 8K/16K
// default (0 for a country without a row), 0 when the locale cannot be read
// (always in the kernel-mode build, which has no locale).
LONG local_GetLocaleInfo_for_PaperGrpDef(BYTE* group);
LONG local_GetLocaleInfo_for_8K16KDef(BYTE* value);
// Group 0-4, 254 when the locale cannot be read; cached.
BYTE zanlib_GetPaperSizeGroupDefault(BOOL flag);
BYTE zanlib_Get8K16KDefault(void);
// Forgets the three locale answers (tests change the locale between cases).
void zanlib_ResetLocaleCache(void);

LONG zanlib_MMToInch(LONG tenthsMm);
LONG zanlib_InchToMM(LONG hundredthsInch);
void zanlib_SeparatePaperSize(BOOL flag, DWORD packed, DWORD* high, DWORD* low);
LONG zanLib_atoi(LPCWSTR text);
BOOL zanLib_StringToDWORD(LPCWSTR text, DWORD* value);
SIZE_T zanLib_GetGlobalSize(void* block);

#if !defined(KESTREL_KERNEL_MODE)
DWORD zanLib_GetFileSizeByFileName(LPCWSTR fileName);
BOOL zanlib_isFilePassage(LPCWSTR fileName, DWORD seconds);
// *size: in, the buffer's characters; out, the characters with the NUL.
BOOL zanLib_GetUserName(LPWSTR buffer, LPDWORD size);
BOOL zanlib_CreateDrvLogDirectory(LPWSTR buffer);
#endif
// A new block (kcore_Free) with the default form folder; null in kernel mode.
LPWSTR zanLib_GetFormDirDefault(void);

BOOL zanLib_ConvertDmaIDtoFuncID(WORD externalId, WORD* ddmId, WORD structureVersion);
BOOL zanLib_ConvertFuncIDtoDmaID(WORD ddmId, WORD* externalId);

// 256-258 Windows 9x, 512-514 NT, 0 other; -1 on failure.
LONG osVer_GetOS(WORD* os);
LONG osVer_IsAvaliableICM(WORD* icm);
