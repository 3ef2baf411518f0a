// The Paper and Output pages' own handlers (sheets/pages/): the favourites
// selector, the print-type button, zoom and copies, the paper summaries, the
// poster/booklet dialog's layout controls, the Output page's paper-source
// offer; the dialog procedures with their slot replacements
// (procedures.cpp) and the helpers they share.
//
// Decisions:
//  - The selector's work area is the sheet's favourites work area
//    (UI_USERSEL_WORK, kestrel/sheets/sheet_dialogs.h), reached from any of
//    the sheet's windows by uiGetUserSelWorkAreabyHDlg: the chain list, the
//    selected name and comment, the modified flag, the list's length, the
//    tooltip, the drop-down flags, the skip-empty-check flag and the zoom
//    check's re-entry flag. The chain list is freed when the Paper page's
//    window goes (uiDlgPaper at WM_DESTROY). The edit dialog makes its own
//    scratch copy of the settings, so the edit button hands it none.
//  - Capability -65490 switches the Paper page's empty checks on (the
//    print-type dialogs read the same bit the other way round, as their
//    decisions say).
//  - A description favourite (flag 0) is never rewritten by the selector:
//    when its settings conflict with the model's rules, OK keeps the
//    corrected settings on the page only, marked modified, as Cancel does;
//    a user favourite takes the corrected settings on OK. Favourite 1 is the
//    favourite file's reference and stays the model's defaults.
//  - The Defaults button (1090) selects favourite 1; the comparison that
//    follows marks it modified exactly when the constraint sweep of the
//    defaults changed a setting beyond the model's defaults (the engine's
//    answer 1 in the defaults' check). Defaults the user refused (the
//    settings put back) leave the selector as it was: its favourite, and
//    its cause for the next redisplay.
//  - The stamp re-check after a favourite is chosen (the constraint engine
//    has no stamp rule): the stamp the settings name (DDM 297) must be in
//    the user's stamp list (zanStamp_GetStampList: the stored stamps, or
//    the defaults while the user has none); otherwise the stamp becomes
//    "none" (297, 299 and 1857 empty) on the page. The favourite itself is
//    not rewritten: the page's settings then differ from it and the
//    selector marks it modified. A list that cannot be read changes
//    nothing.
//  - The selector's "redisplay caused by another control": every redisplay
//    the selector did not start itself or the Defaults button did not start.
//  - Print-type rows: the button's record lists one button a DDM 334 value;
//    a value without one (0 normal, 5) opens nothing. The cover-and-insert
//    button's record lists one a cover-insert dialog kind; a kind without
//    one (or one that cannot be read) takes row 0.
//  - The zoom edit's poster check (cnst_HardCheckPOSTER) is the constraint
//    engine's poster rule run on the page's settings: 4 when it changed them
//    (pages per sheet or layout reset, its notice shown), else 0.
//  - uiCom_GetZoomScale: the output paper's width over the original's, in
//    percent (the narrower of width and length ratios, rounded down), 100
//    when either paper is unknown or the same. The original is the paper
//    size (DDM 8; 256 takes the user-defined width and length), the output
//    paper the output size (DDM 262) unless that is 267 "same as the
//    original" or the model has no output size.
//  - uiSmry_UpdatePaperSummary: "<original> -> <output>, <n> copies" from
//    the selected items' names, shown in the summary control: the original
//    is the paper size (DDM 8), the output the output size (DDM 262) by the
//    zoom's rule above (the original's name again for 267 or a model
//    without an output size).
#pragma once

#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/ui/favorite.h"

// Settings the pages name beside those of kestrel/core/ddm_ids.h.
#define UI_OUTPUTSIZE_SAME 267        // DDM 262 (output size): the original's own paper
#define UI_DDM_POSTER_HELP 5158       // the poster/booklet count in the help text
#define UI_FUNC_POSTER 1328           // display position of the poster function
#define UI_FUNC_POSTER_ALT 465        // ... under capability -65491

// Print types (DDM 334).
#define UI_PRINTTYPE_SECURE 1
#define UI_PRINTTYPE_SAMPLE 2
#define UI_PRINTTYPE_NOFINISHING 5

// Capabilities the pages read.
#define UI_CAP_EMPTY_CHECKS UI_CAP_NO_EMPTY_CHECK  // -65490: on, the Paper page checks the print types' fields
#define UI_CAP_POSTER_ALT ZANLIB_CAP_BIT(45)        // -65491
#define UI_CAP_PRINTTYPE_OPEN 0x10000000u           // open the print type's dialog when it changes

// Strings.
#define UI_STR_MODIFIED 4715        // after a modified favourite's name
#define UI_STR_FAV_CORRECTED 4718   // the favourite's settings were corrected: keep?
#define UI_STR_FAV_CONFLICT 4719    // the favourite conflicts (no correction)
#define UI_STR_EMPTY_LOREBOX 4726
#define UI_STR_EMPTY_SECURE 4727
#define UI_STR_EMPTY_SAMPLE 4728
#define UI_STR_POSTER_HELP 1814
#define UI_STR_OFFER_MANUAL 5189
#define UI_STR_OFFER_PAPERTYPE 5190

// Paper sources the Output page offers (DDM 265 device values).
#define UI_PAPERSOURCE_MANUAL 4
#define UI_PAPERSOURCE_PAPERTYPE 7

// Button records whose row is chosen by a value.
struct UI_BUTTONROWS {
  LONG count;
  const UI_BUTTON* const* buttons;  // by value; null: no dialog
};

UI_USERSEL_WORK* uiGetUserSelWorkAreabyHDlg(HWND window);
// Frees the chain list of the sheet's work area (the Paper page's end).
void uiPap_FreeUserSelWork(HWND window);
LONG uiCom_GetZoomScale(UI_MSGINFO* msg);
void uiSmry_UpdatePaperSummary(UI_MSGINFO* msg, HWND control);
// 0 no message; 1 a message with corrected settings in `corrected` (devmode
// size) and `correctedPd`; 2 a message without correction; -1 failure.
LONG uiComAllConstCheckCreate(UI_MSGINFO* msg, void* corrected, void* correctedPd);
WORD cnst_HardCheckPOSTER(UI_MSGINFO* msg);
void uiLbCbConstUpDate(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type);

// Tooltips of a page.
HWND uiCreateToolTip(HWND dialog);
void uiAddtooltoToolTip(HWND dialog, HWND tooltip);
void uiSettooltoToolTip(HWND dialog, HWND tooltip);

// ---- Paper page handlers
#define UI_PAGE_HANDLER(name) LONG name(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*)
UI_PAGE_HANDLER(uiEditZoom);
UI_PAGE_HANDLER(uiDspEditCopies);
UI_PAGE_HANDLER(uiPaperOutput);
UI_PAGE_HANDLER(uiPapUserSelComb);
UI_PAGE_HANDLER(uiPapUadButton);
UI_PAGE_HANDLER(uiPapUedButton);
UI_PAGE_HANDLER(uiPap_NupOrient);
UI_PAGE_HANDLER(uiPrintTypeBtn);
UI_PAGE_HANDLER(uiPap_PaperSummary);
UI_PAGE_HANDLER(uiPap_SelectFinishing);
UI_PAGE_HANDLER(uiPap_FinishingSummary);
UI_PAGE_HANDLER(uiPap_CorporateLogo);
UI_PAGE_HANDLER(uiPap_FreeToolInfo);
UI_PAGE_HANDLER(uiPap_DefaultButton);
UI_PAGE_HANDLER(uiPbk_LayoutControl);
UI_PAGE_HANDLER(uiPbk_HelpText);
// ---- Output page handlers
UI_PAGE_HANDLER(uiOutManualTray);
UI_PAGE_HANDLER(uiOutPreferenceOfPapertype);
UI_PAGE_HANDLER(uiOutPprSource);
UI_PAGE_HANDLER(uiOutMixStaple);
UI_PAGE_HANDLER(uiOutOHPInsertSheet);
UI_PAGE_HANDLER(uiOutCoverSheet);
#undef UI_PAGE_HANDLER
LRESULT CALLBACK uiCustomProp_CorporateLogo(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The paper-source offer: 1 written, 0 nothing done.
LONG local_CheckAndSolvePaperSourceCnst(UI_MSGINFO* msg, LONG value, UINT messageId);

// ---- Procedures (procedures.cpp)
struct UI_SLOTREPLACE {
  WORD slot;
  UI_MSGFUNC handler;
};
struct UI_PROCDESC {
  DLGPROC proc;
  LONG dlgNo;
  WORD kind;
  WORD replaced;  // 0..2
  UI_SLOTREPLACE slots[2];
};
extern const UI_PROCDESC uiProcTable[];
extern const LONG uiProcTableCount;
LONG uiOutInitDialog(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiOutSetActive(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiFntInitDialog(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiDlgFontSubst_InitDialog(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiDlgFontSubst_Command(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiDlgFll_Apply(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
