// Forms and paper of the kernel-mode renderer: which paper the application's
// page is (the current form) and which paper is printed on (the output form),
// each with its size and imageable area, from the devmode (form name, paper
// size id, custom width and length, output paper size), the spooler's forms
// database (EngEnumForms) and the paper records of the description data.
//
// Units: PRINTERFORM lengths are 1/18432 inch; the description data, the
// devmode sizes and the widths and lengths taken by the functions below are
// 0.1 mm; the forms database is in micrometres. Conversions go through
// micrometres (MicronToPSReal / PSRealToMicron, truncating).
//
// Memory comes from the engine only (kcore_Alloc is EngAllocMem in this
// build). A paper record set into a PRINTERFORM belongs to that form: it is
// freed with form_FreeFormRecord / form_FreePaperRecords (DrvDisablePDEV,
// before the description handle is closed). No two forms share a record.
//
// Results: the forms-database functions answer FORMS_OK (1), FORMS_NOTFOUND
// (2), FORMS_SPOOLER (3: the spooler failed or has no forms) or FORMS_BADARG
// (10: bad argument or no memory); the paper-record look-ups answer 0 when
// found, else the reader's code (2 at the end of the papers); the form
// builders answer TRUE or FALSE.
//
// Decisions:
//  - A forms-database entry is used only when it is sane: width and length
//    from 1 micrometre to 3276.7 mm (the largest size the devmode's 16-bit
//    0.1 mm members can hold), the imageable area clipped to the sheet with
//    its edges in order (left <= right, top <= bottom) and not empty. An
//    entry that is not sane is treated as not in the database.
//  - Names taken from the forms database or the description data are cut to
//    31 characters, so a form name is always NUL-terminated within its 32
//    characters.
//  - GetDatabaseFormsByName/-ByID answer one block of
//    DATABASE_FORM_BLOCK_SIZE bytes (104 in this build): the FORM_INFO_1W
//    (40 bytes here) followed by its name of 32 UTF-16 characters, pName
//    pointing at that name; the caller frees it with kcore_Free.
//  - When a form is sized from a width and length in 0.1 mm (devmode sizes,
//    or a forms-database size rounded to 0.1 mm as (um + 50) / 100), its
//    paper size is that size too, so the imageable area always lies inside
//    the paper. Only a form whose imageable area is taken from the forms
//    database itself (l_AdjustFormDBPaper) keeps the database's micrometres.
//  - A size that is zero, negative or above 3276.7 mm, margins that leave no
//    imageable area, or a custom paper (id 262) that is missing, makes the
//    form builder refuse (FALSE), so SetFormMetrics answers 0 rather than an
//    inverted area or a division by zero.
//  - Current form, rule 1: a form name that is empty, or that names no sane
//    entry, goes on to rule 2; a spooler failure or no memory fails. A
//    database form whose paper record is custom does not keep the record
//    (the custom paper's margins size it). Rule 2: a reader failure other
//    than "not found" fails. Rule 3: when neither a fixed-size record nor a
//    forms-database entry gives the paper id, rule 4 (the default paper)
//    follows.
//  - Output form, step 1: when the forms-database entry's size leaves no
//    imageable area with the record's margins, the entry is ignored (as if
//    there were none). Step 2: a current form without a paper record (a size
//    no description paper has) goes on to step 3. The default paper set
//    with SetPrinterForm in step 2 or 3 is marked substituted; the custom
//    paper of step 3 carries the current form unchanged (substituted 0).
//  - Paper records read here hold no reference into the description data
//    once read, so a record may outlive the handle it came from (DrvResetPDEV
//    moves the current form to the new PDEV); its head's file pointer must
//    then not be used.
//  - The current size is compared with description sizes in 0.1 mm, rounded
//    from the form's micrometres.
#pragma once

#include "kestrel/core/ddd_types.h"
#include "kestrel/core/papdat.h"  // FORMS_OK, FORMS_NOTFOUND, FORMS_SPOOLER, FORMS_BADARG
#include "kestrel/render/pdev.h"
#include "kplatform/winspool.h"

// The forms-database block of GetDatabaseFormsByName/-ByID.
constexpr DWORD DATABASE_FORM_NAME_CHARS = 32;
struct DATABASE_FORM_BLOCK {
  FORM_INFO_1W form;  // form.pName points at name
  WCHAR name[DATABASE_FORM_NAME_CHARS];
};
constexpr DWORD DATABASE_FORM_BLOCK_SIZE = sizeof(DATABASE_FORM_BLOCK);
static_assert(DATABASE_FORM_BLOCK_SIZE == sizeof(FORM_INFO_1W) + 64, "the record and a 32-character name");

// Largest sane form side: 32767 x 0.1 mm, in micrometres.
constexpr LONG FORM_MAX_MICRONS = 3276700;

// ---- The PDEV's two forms ------------------------------------------------------
// Current form (GetCurForm), then output form (GetOutForm), then the landscape
// turn of the current form. Paper records the forms held before are freed
// first. FALSE when either form can't be found (both forms then hold no
// record).
BOOL SetFormMetrics(PDEV* pdev);
// form: cleared first (a record it held is freed).
BOOL GetCurForm(PDEV* pdev, PRINTERFORM* form);
BOOL GetOutForm(PDEV* pdev, const PRINTERFORM* current, PRINTERFORM* form);
// With dmFields' orientation bit and orientation (DDM 7) 2: left = old top,
// top = width - old right, right = old bottom, bottom = width - old left,
// width and length swap, landscape flag 1.
void AdjustPrinterFormLandscape(PDEV* pdev, PRINTERFORM* form);

// Frees the record a form holds and clears the pointer.
void form_FreeFormRecord(PRINTERFORM* form);
// Frees the records of the PDEV's current and output forms.
void form_FreePaperRecords(PDEV* pdev);

// ---- Forms from paper records ----------------------------------------------------
// Name, size (lower bound) and imageable area from the record; the form takes
// the record (TRUE) or is left unchanged and the record stays the caller's
// (FALSE: the record gives no size or margins, or no imageable area).
BOOL SetPrinterForm(DDD_PAPER* paper, PRINTERFORM* form, BOOL edgeToEdge);
// Imageable area for a size in 0.1 mm: left = m1.x, top = m1.y,
// right = width - m2.x, bottom = length - m2.y. FALSE (form unchanged) when
// there are no margins or no area is left.
BOOL SetPrinterFormImageableArea(PRINTERFORM* form, const DDD_PAPER* paper, LONG width, LONG length,
                                 BOOL edgeToEdge);
// m1 = (left, top), m2 = (right, bottom); edge-to-edge zeroes both.
BOOL getMarginDefaultEx(const DDD_PAPER* paper, BOOL edgeToEdge, DDD_POINT* m1, DDD_POINT* m2);
BOOL GetDefaultPrinterForm(PDEV* pdev, PRINTERFORM* form);
// The paper record of the description data's default of DDM 8.
WORD GetDefaultDddPaper(PDEV* pdev, DDD_PAPER** paper);

// ---- Paper records (category 10, walked from index 1; free with ddd_Free) ------
WORD GetDddPaperByFormName(PDEV* pdev, LPCWSTR name, DDD_PAPER** paper);
WORD GetDddPaperByFormID(PDEV* pdev, WORD paperId, DDD_PAPER** paper);
// The first record, not a user-defined paper or size, whose lower size bound
// is within 10 (1 mm) of width x length in both directions.
WORD GetSameDddPaper(PDEV* pdev, LONG width, LONG length, DDD_PAPER** paper);
BOOL IsCustomDddPaper(const DDD_PAPER* paper);                      // the size bounds differ
BOOL IsValidSize(const DDD_PAPER* paper, LONG width, LONG length);  // within the bounds
BOOL IsCutSize(const DDD_PAPER* paper, LONG width, LONG length);    // above the lower bound
BOOL IsValidCommand(const DDD_PAPER* paper);                        // portrait argument not -1
// When the form's paper id is a built-in form's index, the form takes that
// form's name.
void ReviseBuiltinFormName(PDEV* pdev, PRINTERFORM* form);

// ---- Custom sizes ---------------------------------------------------------------------
// Sizes in 0.1 mm; index: the forms-database index to try first (0: none).
BOOL l_AdjustPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, WORD index, PRINTERFORM* form);
BOOL l_AdjustFormDBPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, WORD index, PRINTERFORM* form);
BOOL l_AdjustCustomPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, PRINTERFORM* form);

// ---- The forms database ---------------------------------------------------------------
// Level-1 forms in one kcore_Alloc block (EngEnumForms asked for its size
// first). A name pointer that does not point at a NUL-terminated text inside
// the block is cleared (the form is nameless).
WORD MyEnumForms(HANDLE printer, FORM_INFO_1W** forms, DWORD* bytes, DWORD* count);
// The sane form of an entry (see the decisions); FALSE when it is not sane.
// out->pName is in's.
BOOL form_CheckDatabaseForm(const FORM_INFO_1W* in, FORM_INFO_1W* out);
// *form: a new DATABASE_FORM_BLOCK; *formId (may be null): its 1-based index.
WORD GetDatabaseFormsByName(HANDLE printer, LPCWSTR name, FORM_INFO_1W** form, WORD* formId);
WORD GetDatabaseFormsByID(HANDLE printer, WORD formId, FORM_INFO_1W** form);
// The 1-based index of the built-in form of that name, else 0.
WORD GetSystemBuiltinPaperID(HANDLE printer, LPCWSTR name);
// The form by name, or by 1-based index when name is null or empty: width,
// length, imageable left, top, right, bottom in 0.1 mm ((um + 50) / 100).
WORD form_GetPaperSize(HANDLE printer, LPCWSTR name, WORD formId, WORD values[6]);
