// The UI root record of the property sheets and what it carries: the UI data
// record, the driver devmode and printer-data record being edited, the
// security-marking block; built by FillUiLParam when a sheet opens and
// destroyed by destroyUiLParam when it closes. Also the sheets' chain list,
// the UI fax list (the "DFAX001" send list as the sheets keep it) and the
// non-devmode load and save through that list.
//
// FillUiLParam(printer, input devmode or null, fMode), in order:
//  1. opens the description handle (closed again in step 10);
//  2. makes the driver devmode (5440 bytes) and the printer-data record, the
//     printer's default devmode into the devmode (wNTc_MakeEnvironment), the
//     printer name it reports, the printer's record (pd_GetPrinterData);
//  3. merges the input devmode when it is one of this driver's and fMode has
//     no DM_USER_DEFAULT (cdm_ModifyDevmode);
//  4. adds the model's forms (AddPrinterForms; its answer does not matter);
//  5. writes the 20 user-defined paper sizes from the spooler's forms named
//     by their default names (GetFormW; size / 100, 2100 x 2970 when the form
//     cannot be read) into DDM 5889+i and 5909+i;
//  6. the document-monitor flag: DDM 8201's default is set and
//     the model's document-monitor library is valid (bddm_IsValid);
//  7. the string of printer-information item 30;
//  8. the UI data record with its port name and user-selection work area;
//  9. the non-devmode part: from the file DDM 374 names, else (that load
//     failing: the name is cleared) from the load kind (3 when DDM 439 is 1,
//     else 2, the printer data), else the defaults; the temporary-file lists
//     are swept first (RegFile_DeleteTmpFile);
// 10. the root record (uiLParamMakeLParamTbl).
// Any failure frees everything made and answers null.
//
// Decisions:
//  - Sizes are this build's own (64-bit pointers): the UI data record is
//    sizeof(UIDATA), not the 996 bytes of the 32-bit layout.
//  - The root record owns the devmode, the printer-data record and the
//    security-marking block handed to uiLParamMakeLParamTbl (no copies);
//    destroyUiLParam frees them with the rest.
//  - The merge works on the full 5440-byte devmode (cdm_ModifyDevmode's
//    destination), its first 1556 bytes being the form exchanged with
//    applications.
//  - The form name of a user-defined slot takes 32 UTF-16 characters with
//    its NUL (the default names are "<base><n>", at most 31 characters).
//  - Load kind 3 (per user) is refused by the core's non-devmode store (no
//    one saves there), so a devmode whose DDM 439 is 1 and whose file cannot
//    be read gets the defaults.
//  - The description handle field of the UI data record stays null: the
//    sheet engine opens its own. The saves at SET_RESULT open one for their
//    call when the field is null.
//  - destroyUiLParam frees each block once (the item-30 string is one block).
//  - The nested dialogs' copies of the root record are
//    uiLParamCopyLParamTbl's: the settings copied, the UI data and the
//    sheet engine's state shared with the record copied from.
//  - Chain list position UICHAIN_POS_HEAD (65535) puts an entry at the head.
//    uiNonDev_SaveNonDevDat writes the list's last entry first and
//    uiNonDev_LoadNonDevDat adds each stored entry at the head, so a load
//    and a save keep the stored order (the fax lines read the stored record
//    by index) while the sheets' list holds the entries in reverse.
//  - uiNonDev_LoadNonDevDat replaces what the UI fax list held; on failure the
//    list is left empty.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/wintypes.h"

#define UICHAIN_POS_HEAD 65535u
#define UIDATA_USERSEL_WORK_SIZE 1024u  // the favourites selector's work area (its fields come with the sheets)
#define UIDATA_FORMNAME_CHARS 32u
#define UIDATA_USERPAPER_SLOTS 20u
#define UIDATA_FALLBACK_WIDTH 2100   // 0.1 mm, a user-defined slot whose form cannot be read
#define UIDATA_FALLBACK_LENGTH 2970
#define UIDATA_PRINTERINFO_REGISTRY 30  // printer-information item of the machine registry path

#define UIFAX_TITLE_CHARS 41u   // header bytes 18-99
#define UIFAX_TEXT_CHARS 671u   // header bytes 100-1441
#define UIFAX_TITLE_OFFSET 18u
#define UIFAX_TEXT_OFFSET 100u

// One entry of a chain list: a block of the list's entry size.
struct UICHAINITEM {
  UICHAINITEM* next;
  DWORD size;
  BYTE* data;
};
struct UICHAINLIST {
  UICHAINITEM* head;
  WORD count;
};
// Adds a copy of size bytes at `position` (0-based, before the entry there;
// past the end: at the end; UICHAIN_POS_HEAD: at the head). FALSE when
// memory is short (the list unchanged).
BOOL uiComChainListAdd(UICHAINLIST* list, const void* data, DWORD size, WORD position);
// The entry at index (0-based) or null.
const UICHAINITEM* uiComChainListGet(const UICHAINLIST* list, WORD index);
void uiComChainListFree(UICHAINLIST* list);

// The fax destinations as the sheets keep them.
struct UIFAXLIST {
  WCHAR title[UIFAX_TITLE_CHARS];
  WCHAR text[UIFAX_TEXT_CHARS];
  UICHAINLIST entries;  // 742-byte entries
};

// The UI data record.
struct UIDATA {
  LPWSTR printerName;  // private copy (kcore_Free)
  HANDLE printer;
  WORD docMonitor;     // the document-monitor interface is usable
  HCDDD ddd;           // the sheet's description handle; null until the sheet engine opens one
  LPWSTR portName;     // uiData_RegistPortName (kcore_Free)
  void* userSelWork;   // uiUedAllocUserSelWorkArea (kcore_Free)
  LPWSTR registryPath; // printer-information item 30 (ddd_FreeMem)
  UIWINDATA winData;   // attached to the sheet's windows; the constraint engine's boxes read it
  HWND sheetWindow;    // the sheet's window; none until the sheet engine stores one
  void* paperData;     // the sheet's paper data (kcore_Free); none until the sheet engine makes it
  UIFAXLIST faxList;
};

// The UI root record every page gets.
struct UIROOT {
  UIDATA* uiData;
  void* devmode;       // 5440 bytes; its non-devmode part at 1556
  void* printerData;   // 4736 bytes
  DWORD gsbSize;
  void* gsb;           // the security-marking block (kcore_Free), or null
  // The sheet engine's (sheets/): its state of the sheet, freed by
  // sheetFree when the record is destroyed; null before a sheet opens.
  void* sheet;
  void (*sheetFree)(UIROOT* root);
  // A copy a sub-dialog or nested sheet edits (uiLParamCopyLParamTbl): the
  // record it was copied from. A copy shares that record's UI data and
  // sheet state and owns only its settings.
  const UIROOT* parent;
};
static_assert(offsetof(UIROOT, uiData) == 0);

UIROOT* FillUiLParam(HANDLE printer, const void* input, DWORD fMode);
void destroyUiLParam(UIROOT* root);
// A new root record over the blocks (owned from then on); null when memory
// is short (the blocks stay the caller's).
UIROOT* uiLParamMakeLParamTbl(UIDATA* uiData, void* devmode, void* printerData, DWORD gsbSize, void* gsb);
// A copy of the record with its own devmode, printer data and security-
// marking block, for a sub-dialog or nested sheet; null when memory is
// short. destroyUiLParam frees a copy's settings and the copy only.
UIROOT* uiLParamCopyLParamTbl(const UIROOT* from);
// The printer's port name into the record (an empty name when the printer
// has no port). FALSE when the printer's information or memory cannot be had.
BOOL uiData_RegistPortName(UIDATA* uiData, HANDLE printer);
// A zero-filled work area of UIDATA_USERSEL_WORK_SIZE bytes into the record.
BOOL uiUedAllocUserSelWorkArea(UIDATA* uiData);

// Non-devmode save and load through the UI fax list (null: no list). kind
// is the core store's location (kestrel/core/nondev.h) when fileName is null.
BOOL uiNonDev_SaveNonDevDat(HANDLE printer, HCDDD ddd, LPCWSTR fileName, DWORD kind, const UIFAXLIST* faxList,
                            const void* nonDevPart, const void* gsb, DWORD gsbSize);
BOOL uiNonDev_LoadNonDevDat(HANDLE printer, HCDDD ddd, LPCWSTR fileName, DWORD kind, UIFAXLIST* faxList,
                            void* nonDevPart, void** gsb, DWORD* gsbSize);

// The printer sheet's save at SET_RESULT: the user's settings and the
// printer-data record, unless the stored record was written by a newer
// driver (DDM 8203 greater than the sheet's). 1 saved or nothing to save,
// 0 for no record or a failed save.
BOOL ntif_updateDeviceProperty(UIROOT* root);
