// The devmode work behind kestrelui's document-properties exports
// (driverui/lib/docprop_exports.cpp): the devmode query and merge without a
// sheet, the document sheet's save at SET_RESULT, the print-queue check's
// formatter, the temporary settings file's name and the per-call load of
// the common property-sheet host.
//
// SimpleDocumentProperties(header): the header's cbOut becomes 1556. fMode 0
// or no output devmode: 1556. Neither DM_UPDATE nor DM_COPY: 1. Otherwise
// the printer's default devmode, with the input devmode merged when it is
// this driver's and fMode has no DM_USER_DEFAULT, is copied to the output
// (kui_OutputCopySize bytes; fewer than 1556 leave DDM 5 at 0): 1, or -1 when
// something failed. Once per process, after a result of 1, the driver's
// registry entries are checked (CheckRegistryData with flags 8). The input
// and output devmodes are dumped to the trace (category 0x40000).
//
// Decisions (sound behaviour and open points):
//  - fMode 0x40 is DM_USER_DEFAULT in both the exports and the sheets: the
//    input devmode is ignored and the sheet saves to the printer's data.
//    Permission is DM_NOPERMISSION (0x20) alone. One set of constants for
//    both (kplatform/winddiui.h).
//  - The header's cbSize is our sizeof(DOCUMENTPROPERTYHEADER) (and of
//    DEVICEPROPERTYHEADER), not the 32-bit 28 and 12.
//  - One output rule on both roads (this function and the sheet's
//    SET_RESULT), kui_OutputCopySize: 1556 bytes, unless DDM 1341 of the
//    merged devmode is set and the output is a memory block of fewer than
//    1556 bytes (220), or no block size is known and the input is a bare
//    standard devmode (DDM 5 of 0 or unreadable: 220). An output block of
//    fewer than 220 bytes takes nothing and the call fails (-1).
//  - The devmode is made in its full 5440-byte form, the merge's destination;
//    its first 1556 bytes are copied out.
//  - The input devmode is dumped only when it is one of this driver's (a
//    foreign one may be shorter than the dump reads).
//  - DQPsprintf with a buffer of size 0 writes nothing.
//  - MakeTempFileName answers FALSE when no temporary file can be made (no
//    fixed fallback name shared by every user and process); the sheet then
//    saves nothing and answers -1.
//  - The document sheet at SET_RESULT writes its file only when DDM 374
//    names a file that exists and that the current user's temporary-file
//    list records (RegFile_IsRecorded); any other name (an application's
//    devmode may carry any) is replaced by a new temporary file.
//  - The document-property file is recorded (RegFile_SetTmpFile) with the
//    UI data record's sheet window as its owner: the recording takes the
//    description handle, the window and the path; the window is null until
//    the sheet engine stores one, and such a record lives seven days.
//  - A failed non-devmode or user-setting save at SET_RESULT is traced and
//    answers -1; the devmode is still copied out. A failed printer open for
//    a DM_USER_DEFAULT save skips the save (as before, not a failure).
//  - CallCompstui answers -1 when the host cannot be loaded or lacks its
//    export (the out result is then not written); PsDocumentProperties and
//    PrinterProperties report that as failure (-1, and 0).
//  - The printer sheet saves at SET_RESULT only when the user pressed OK and
//    the header does not say DPS_NOPERMISSION; Cancel saves nothing.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/ui/uiroot.h"
#include "kplatform/compstui.h"
#include "kplatform/winddiui.h"
#include "kplatform/wintypes.h"

#define DOCPROP_TRACE_DEVMODE 0x40000u  // trace category of the devmode dumps
#define DOCPROP_REGCHECK_FLAGS 8u       // CheckRegistryData's flags here
#define DOCPROP_TEMPFILE_KIND 2         // MakeTempFileName's kind for the document-property file
#define DOCPROP_TEMPFILE_PREFIX u"ZNF"
#define DOCPROP_SAVE_FILE 1u            // non-devmode save kinds
#define DOCPROP_SAVE_PRINTERDATA 2u
#define DOCPROP_LOAD_FILE 0u
#define DOCPROP_LOAD_PERUSER 3u
#define DOCPROP_ADVANCED_MODE (DM_COPY | DM_PROMPT | DM_ADVANCED)  // 22
#define DOCPROP_INVALID_DEVMODE_TEXT u"Invalid DEVMODE structure."
#define DOCPROP_STRING_CHARS 256u
#define DOCPROP_PERMISSION_VALUE u"Permission"  // longest resource string %! inserts

#define SHEET_KIND_PRINTER 1
#define SHEET_KIND_DOCUMENT 2

LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER* header);
// The bytes of the merged devmode to copy to output (0: none fit).
DWORD kui_OutputCopySize(HCDDD ddd, void* merged, void* printerData, const void* input, void* output);
// Copies size bytes of the merged devmode to output and, below 1556, sets
// its DDM 5 to 0.
void kui_CopyOut(void* output, const void* merged, DWORD size);
// TRUE once document properties checked the registry in this process.
BOOL kui_RegistryCheckDone(void);
// The driver's registry entries checked (CheckRegistryData with flags 8)
// and, when the check answers non-zero ("SPLUserModePrinterDriver" missing:
// the user was told with two boxes), repaired with ValidateRegistryData and
// that answer. Roads: KUI_REGCHECK_DOCPROP (SimpleDocumentProperties after a
// good result) checks once per process; KUI_REGCHECK_SHEET (the property
// sheets' INIT) at every sheet start.
// How often the user is told: at most once per process, whichever road
// comes first. After a repair the value is there and every later check is
// silent; a repair that failed (a user who may not write the printer's
// data) is not told again at every sheet or document-properties call of
// the process. While one thread checks, another road skips its check
// rather than wait under the first one's message boxes.
#define KUI_REGCHECK_DOCPROP 1
#define KUI_REGCHECK_SHEET 2
void kui_CheckRegistry(HANDLE printer, WORD road);
// Forgets both marks, as in a new process (the tests' road).
void kui_ResetRegistryCheck(void);

LONG PsDocumentProperties(HWND window, HANDLE printer, LPWSTR deviceName, void* output, void* input, DWORD fMode);

// The document sheet's save at SET_RESULT with result 0 from the sheet
// engine: 1, or -1.
LONG kui_DocumentSetResult(PROPSHEETUI_INFO* info, const SETRESULT_INFO* setResult,
                           const DOCUMENTPROPERTYHEADER* header);
// The printer sheet's.
LONG kui_DeviceSetResult(PROPSHEETUI_INFO* info, const SETRESULT_INFO* setResult,
                         const DEVICEPROPERTYHEADER* header);

int DQPsprintf(HMODULE module, LPWSTR buffer, DWORD size, DWORD* needed, LPCWSTR format, ...);
// buffer: 260 characters.
BOOL MakeTempFileName(LPWSTR buffer, WORD kind);
// PrinterProperties' probe of the user's right to change the printer: writes
// printer data "Permission" (REG_DWORD 1; nothing reads it back) and answers
// 0, or DPS_NOPERMISSION when the write was refused.
WORD kui_PrinterPermissionFlags(HANDLE printer);
LONG CallCompstui(HWND window, PFNPROPSHEETUI callback, LPARAM lParam, DWORD* result);

// The page callback handed to the sheet engine: 1 for every message.
LONG PrnPropSheetPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The sheet engine's entry (sheets/propsheet.cpp, kestrel/sheets/
// sheet_engine.h): INIT 1 with the pages handed to the host or -1,
// GET_INFO_HEADER 1, DESTROY destroys the UI root record in the info's user
// data and answers 1, SET_RESULT 0 (the export answers it), other reasons -1.
typedef LONG (*KUI_PAGEPROC)(HWND, UINT, WPARAM, LPARAM);
LONG CommonPropSheetProc(WORD kind, PROPSHEETUI_INFO* info, LPARAM lParam, void* header, KUI_PAGEPROC pageProc);
