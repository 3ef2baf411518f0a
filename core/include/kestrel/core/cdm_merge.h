// Merging an application's devmode into the driver's: the standard fields
// the source names and passes the member checks, the private part when the
// source is one of the driver's own, then paper, resolution and the derived
// members; the pre-configuration's enforced values are applied last.
// Optionally the devmode emulation first translates the source's standard
// values into the driver's own.
//
// Results: 1 merged (or no source: nothing to do), 0 failure.
//
// Decisions:
//  - A source block holds at least the dmSize + dmDriverExtra bytes it
//    declares (and never fewer than the 72 up to dmFields); it is read only
//    up to what it declares: at most dmSize + dmDriverExtra bytes (never
//    more than the driver's 5440) are copied into a zeroed work buffer, and every standard field that does not lie wholly
//    inside dmSize is dropped from the source's dmFields. A source too short
//    to hold dmFields (dmSize below 76) is refused (0).
//  - The private part is taken only when the source passes the driver's own
//    check and its dmSize is 220 with at least 1336 bytes of driver extra,
//    so it covers the whole private layout.
//  - The emulation converts the work copy, never the application's buffer:
//    the source argument is const.
//  - cdm_ModifyDevmodeWithDME merges with emulation whenever member 5201 is
//    on; only the conversion of the source waits for an emulation table the
//    configuration file enabled. With 5201 on and no "[DME,1]" section the
//    table's defaults decide the merged fields (collate, resolution and
//    default source forced on, media type off).
//  - The merge works on copies of the destination devmode (5440 bytes) and
//    the printer data (4736 bytes) and writes them back only when it
//    succeeds: on failure the destination and printer data are unchanged.
//  - The destination is a full driver devmode of 5440 bytes.
//  - cdmGetPaperSize: a width bound is the record's imageable width bound
//    plus its left and right default margins, a length bound the imageable
//    length bound plus its top and bottom margins.
//  - The merge needs the spooler's forms database: it is built in user mode
//    only (kcore_um).
//  - A form matched by its size only (size search) keeps its database name.
//  - A forms database that cannot be read (or no printer handle) counts as
//    an empty database: the searches find nothing and the custom-size range
//    still applies.
//  - In the size search, a search by id or by name that finds no winner
//    falls back to the first candidate that is one of the model's papers.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wingdi_types.h"
#include "kplatform/wintypes.h"

#if !defined(KESTREL_KERNEL_MODE)

#define CDM_MERGE_PAPER_FIELDS static_cast<DWORD>(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME)
#define CDM_MERGE_RESOLUTION_FIELDS static_cast<DWORD>(DM_PRINTQUALITY | DM_YRESOLUTION)
#define CDM_PAPER_USER DMPAPER_USER
#define CDM_CUSTOM_PAPER_DATA_ID 262

// Search kinds.
#define CDM_SEARCH_NAME 1
#define CDM_SEARCH_SIZE 2
#define CDM_SEARCH_ID 4

// Key and result of the paper search. name: the caller's in a key; in a
// result a new block (kcore_Free, cdmFormResultFree) or null.
struct CDM_PAPER_KEY {
  WORD paperId;
  WORD width;   // 0.1 mm
  WORD length;  // 0.1 mm
  LPWSTR name;
};
void cdmFormResultFree(CDM_PAPER_KEY* result);

BOOL cdm_ModifyDevmode(HCDDD handle, void* destination, const void* source, void* printerData, HANDLE printer,
                       WORD operation);
BOOL cdm_ModifyDevmodeWithDME(HCDDD handle, void* destination, const void* source, void* printerData,
                              HANDLE printer, WORD operation);

// destination null: the source is adjusted in place (it must then be a full
// driver devmode) and, when nothing matches, its paper is taken from the
// printer's stored devmode.
BOOL cdmCheckAndModifyPaper(HCDDD handle, void* destination, void* source, void* printerData, HANDLE printer,
                            DWORD sourceFields);

// kind: the one kind to run (1 name or 4 id); kinds: every requested kind.
// 1 with *result filled on a match, 0 otherwise.
BOOL cdmFormSearch(HCDDD handle, void* devmode, void* printerData, HANDLE printer, WORD kind, WORD kinds,
                   const CDM_PAPER_KEY* key, CDM_PAPER_KEY* result);
BOOL cdmFormSearchBySize(HCDDD handle, void* devmode, void* printerData, HANDLE printer, WORD kinds,
                         const CDM_PAPER_KEY* key, CDM_PAPER_KEY* result);
// Whether a database form is one of the model's papers (see the form search)
// and the match it gives.
BOOL cdmFormSearchFromPaperInfo(HCDDD handle, void* devmode, void* printerData, HANDLE printer, WORD formNumber,
                                const struct _FORM_INFO_1W* form, CDM_PAPER_KEY* result);

BOOL cdmCheckDmPaperUser(WORD paperId, WORD length, WORD width);
BOOL cdmGetPaperSize(HCDDD handle, WORD paperDataId, WORD* minWidth, WORD* minLength, WORD* maxWidth,
                     WORD* maxLength);
BOOL cdmSearchDefineFormName(void* devmode, void* printerData, LPCWSTR name, WORD mode);
BOOL cdmPaperInfoDefaultSet(HCDDD handle, void* devmode, void* printerData, HANDLE printer);

// Completes the paper of a devmode (a full driver devmode): paper 256 is
// adjusted with its own dmFields; another id gets its form name.
BOOL cdmConvertPaperSize_NT(HCDDD handle, HANDLE printer, void* devmode, void* printerData);

#endif  // !KESTREL_KERNEL_MODE
