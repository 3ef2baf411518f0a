// The sub-dialogs of the Paper and Output pages that have logic of their
// own: the print-type dialogs (secure 22, sample 42, delayed 43, Lorebox
// 44; printtype_dlg.cpp), the insert page-position dialogs (37 and 48;
// position_dlg.cpp) and the favourites add and edit dialogs (35, 36;
// favorite_dlg.cpp). Their control tables are uiControlInfoTbl's rows of
// those dialog numbers.
//
// Decisions, print types:
//  - Settings: print type DDM 334 (0 normal, 1 secure, 2 sample, 3 Lorebox,
//    4 delayed), user id DDM 5129, document name DDM 1831 (50 bytes: 24
//    characters), Lorebox box number DDM 435, delayed start DDM 451/452.
//  - Each password has one variant a field size (the member's size decides,
//    so a value always fits): DDM 5130 (10 bytes) plain, at most 4
//    characters (flags 0x602); DDM 5159 (34 bytes) scrambled, at most 12
//    (0x2602: 12 ANSI bytes make 16 Base64 characters and the NUL); the
//    Lorebox password DDM 436 (10 bytes) plain, 4, or DDM 1858 (58 bytes)
//    scrambled, 20. Capability 0x40000000 chooses the scrambled variant of
//    both. Read in its order, the table would put a 12-character scrambled
//    password into the 10-byte 5130: it is not read that way.
//  - A variant is a row of its own for the same control (its display
//    position): the row the model chooses serves the control, the other
//    does nothing (uiSerchDispInfoNum finds it, uiTabSetDspPos takes it).
//  - Document name: at most 24 characters, 12 with UI capability 2; user
//    id: 24, 8 with UI capability 2.
//  - "PSN_QUERYCANCEL (-203)" is PSN_RESET, a dialog's Cancel. Cancel with
//    an empty user id shows message 711 and leaves the print type as it was
//    (the dialog's settings are dropped on Cancel anyway).
//  - Messages 701 and 711: string 706 joins the print type's setting name
//    and item name ("%1: %2"), string 306 names the user id; both are the
//    arguments of 701 and 711. 446: the box number's setting name, 1 and the
//    highest number.
//  - The highest box number is the text after the last carriage return of
//    DDM 435's first selection item; 500 when it is not a number.
//  - Under capability -65490 a valid box number the user typed, once
//    stored, marks the row's keep data UI_KEEP_USER_ENTERED; the mark lasts
//    as long as the row's keep data (an empty field marks nothing).
//  - Delayed start: hour 0-23, minute 0-59 (the spins' ranges); an edit
//    whose number is outside shows string 301 and gets its stored value back.
//
// Decisions, page positions:
//  - Both dialogs keep their list in DDM 1834-1853 (20 page numbers, one a
//    16-bit item); page numbers 1 to 9999 unless the description gives the
//    first item a range (uiGetMinMax); the text holds at most 99 ANSI bytes
//    (20 four-digit numbers and their commas); digits and commas only.
//  - uiCom_GetCoverInsertDlgKind: 2 when the booklet unit (DDM 4100) is
//    installed (dialog 48's positions are sorted), else 1 (duplicates
//    refused, the user's order kept); 0 when it cannot be read.
//  - The 20 items are written all or none: a failing write puts the
//    devmode and printer data back as they were before the first write.
//
// Decisions, favourites (the store's work is kestrel/ui/favorite.h):
//  - The Paper page hands its choice over in the UI data record's
//    user-selection work area (uiUedGetWorkArea: the add dialog's name and
//    comment, the edit dialog's selected position). Each dialog loads the
//    favourites' list itself when it opens (the store's Fav_LoadList on a
//    scratch copy of the settings) and keeps it with its list's row until
//    it closes; the page loads its list again after the dialog.
//  - Add OK with the name of a favourite of the base set (flag 0): message
//    4717 (the name is taken), focus to the name; nothing is saved. A store
//    that refuses a write: message 4724, the dialog stays open.
//  - Edit dialog: selecting a favourite shows its name, comment and
//    contents tree; the name and comment edits change the selected entry in
//    the dialog's list only; Up and Down move it one place (the button at
//    the end of the list is disabled); Delete removes it from the dialog's
//    list (favourite 1 and the description's favourites cannot be deleted
//    or renamed: their buttons and edits are disabled). Nothing is stored
//    before OK; Cancel stores nothing and leaves DDM 442 as it was.
//  - Contents tree: one item a setting of the favourite that differs from
//    favourite 1 (the model's defaults), "<setting>: <value>" under the
//    setting list's name; a favourite equal to favourite 1 shows one item,
//    string 4722. The add dialog shows the current settings' tree.
#pragma once

#include <vector>

#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/ui/favorite.h"

// ---- Print types
#define UI_DDM_PRINTTYPE 334
#define UI_DDM_USERID 5129
#define UI_DDM_PASSWORD 5130
#define UI_DDM_PASSWORD_SCRAMBLED 5159
#define UI_DDM_DOCNAME 1831
#define UI_DDM_BOXNUMBER 435
#define UI_DDM_BOXPASSWORD 436
#define UI_DDM_BOXPASSWORD_SCRAMBLED 1858
#define UI_DDM_DELAY_HOUR 451
#define UI_DDM_DELAY_MINUTE 452
#define UI_PRINTTYPE_LOREBOX 3
#define UI_CAP_SCRAMBLED_PASSWORD 0x40000000u
#define UI_CAP_SHORT_FIELDS 0x00000002u
#define UI_CAP_NO_EMPTY_CHECK ZANLIB_CAP_BIT(46)  // -65490
#define UI_BOX_HIGHEST_DEFAULT 500
#define UI_STR_USERID 306
#define UI_STR_BOX_RANGE 446
#define UI_STR_NO_USERID_OK 701
#define UI_STR_PRINTTYPE_NAME 706
#define UI_STR_NO_USERID_CANCEL 711
#define UI_STR_NO_BOX 4723

// The variants of one edit: chosen by the model (see above).
struct UI_PTYEDIT {
  UI_EDITRULE rule;      // this row's rule
  LONG variant;          // UI_PTY_* : which model this row serves
};
#define UI_PTY_ALWAYS 0
#define UI_PTY_PLAIN 1      // capability 0x40000000 off
#define UI_PTY_SCRAMBLED 2  // capability 0x40000000 on
#define UI_PTY_LONG 3       // UI capability 2 off
#define UI_PTY_SHORT 4      // UI capability 2 on

// A number edit of the delayed-print dialog and its spin.
struct UI_DLYTIME {
  LONG minimum;
  LONG maximum;
};

INT_PTR uiDlgSecurityPrint(HWND, UINT, WPARAM, LPARAM);
INT_PTR uiDlgSamplePrint(HWND, UINT, WPARAM, LPARAM);
INT_PTR uiDlgDelayPrint(HWND, UINT, WPARAM, LPARAM);
INT_PTR uiDlgKnowledgePrint(HWND, UINT, WPARAM, LPARAM);
// Slot 1 of the four: control 1555 shows the print type's item name (after
// its last carriage return), then the engine's initialisation.
LONG uiDlgPrintTypeCommon_InitDialog(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
// Row handlers.
LONG uiPtyUserIdEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiPtyVariantEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiLbxBoxNumberEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiLbxBtnOK(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiDlyTimeEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiDlyTimeSpin(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiSecSmp_BtnDefault(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
// The index of the row of `controlId` whose first display entry is
// `functionId` in the dialog's table; -1 when none.
LONG uiSerchDispInfoNum(UI_MSGINFO* msg, LONG controlId, WORD functionId);
// The row at `index` of the dialog's table (the one its control shows), or
// null.
const UI_IDTBL* uiTabSetDspPos(UI_MSGINFO* msg, LONG index);
// The highest Lorebox box number of the model.
LONG uiLbxHighestBox(UI_MSGINFO* msg);

// Shows message `id` (caption 265, exclamation icon) for the row unless
// one of the row's boxes is open already (a focus change while it is shown
// comes back to the row); FALSE when none was shown.
BOOL uiRowMsgBox(UI_MSGINFO* msg, const UI_IDTBL* row, UINT id, const LPCWSTR* args, int count);

// ---- Page positions
#define UI_POSITION_COUNT 20
#define UI_STR_POSITION_INVALID 4730  // %1 lowest, %2 highest page
#define UI_STR_POSITION_DUPLICATE 4731
#define UI_STR_POSITION_TOOMANY 4732  // %1 the most numbers
#define UI_DDM_BOOKLET_UNIT 4100

// The edit information of a page-position edit.
struct UI_POSITIONEDIT {
  LONG maxBytes;  // the text's limit in ANSI bytes
  LONG minimum;   // page numbers when the description gives none
  LONG maximum;
};
// Results of the parse and check.
#define UI_CVI_OK 0
#define UI_CVI_FAILED (-1)
#define UI_CVI_INVALID (-10)
#define UI_CVI_RANGE (-20)
#define UI_CVI_DUPLICATE (-30)
#define UI_CVI_TOOMANY (-40)

LONG uiDspCvi_InsertPositionEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
// 1 or 2 (see above); 0 when the setting cannot be read.
LONG uiCom_GetCoverInsertDlgKind(const UIROOT* root);
// The parse and check of a page list (kind 1, 2 or another): UI_CVI_OK
// with the numbers in `out` (in the order to store), or an error code.
LONG uiCvi_ParsePositions(LPCWSTR text, LONG minimum, LONG maximum, LONG kind, std::vector<WORD>* out);

// ---- Favourites
#define UI_STR_FAV_BADNAME 4712   // %1 the most characters
#define UI_STR_FAV_LONGCOMMENT 4713  // %1 the most bytes
#define UI_STR_FAV_SAMEASDEFAULT 4722
#define UI_STR_FAV_NOTSAVED 4724
// uiUedButton's parameter.
#define UI_UED_UP 1
#define UI_UED_DOWN 2
#define UI_UED_DELETE 3
#define UI_UED_WRITEFILE 4
#define UI_UED_READFILE 5
// The favourite file's dialogs: 4707 the filter's name, 4708 its pattern,
// 4709 the import's title, 4710 the export's, 4711 the default extension.
#define UI_STR_FAV_FILE_FILTER 4707
#define UI_STR_FAV_FILE_PATTERN 4708
#define UI_STR_FAV_IMPORT_TITLE 4709
#define UI_STR_FAV_EXPORT_TITLE 4710
#define UI_STR_FAV_FILE_EXT 4711

// The favourites' work area (UIDATA::userSelWork, one a sheet): what the
// Paper page's add and edit buttons hand to the dialogs, and the Paper
// page's selector (kestrel/sheets/sheet_pages.h).
struct UI_USERSEL_WORK {
  WCHAR name[FAV_NAME_UNITS + 1];    // the add dialog's name at its start
  WCHAR comment[FAV_COMMENT_UNITS];  // and comment
  WORD position;                     // the edit dialog's selected position at its start
  // The selector's.
  FAV_LIST* list;  // the chain list; null before the Paper page made it
  WORD modified;   // the settings differ from the selected favourite
  WORD count;      // the list's length: description favourites + 23
  HWND tooltip;
  WORD dropped;    // the list is dropped down
  WORD chosen;     // a CBN_SELCHANGE came while it was dropped
  WORD cancelled;  // the drop ended with CBN_SELENDCANCEL
  WORD skipEmptyCheck;  // the print type's empty check is skipped once
  WORD cause;           // the control that started the coming redisplay (0 another)
  WORD zoomChecking;    // the zoom's poster check is running
};
static_assert(sizeof(UI_USERSEL_WORK) <= UIDATA_USERSEL_WORK_SIZE);
// The work area of the record's sheet, or null.
UI_USERSEL_WORK* uiUedGetWorkArea(const UIROOT* root);
// The favourite's list as the dialogs edit it, kept by the list's row.
struct UI_FAVEDIT {
  FAV_LIST list;
  WORD selectedNumber;  // the favourite the page had selected (its number)
};

LONG uiUadOK(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiUadName(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiFavComment(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiFavContents(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiUedList(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiUedName(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiUedButton(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiUedOK(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
// The write-file (export the selected favourite) and read-file (import a
// file as a new entry) buttons; the favourite file's work is the store's
// (FavFile_Export, FavFile_Import).
LONG uiUedFileButton(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
// Fills a tree view with the settings of `devmode` that differ from
// favourite 1 (see above); FALSE when nothing could be shown.
BOOL uiFavFillContentsTree(UI_MSGINFO* msg, HWND tree, const void* devmode);
// A name a favourite may have: 1 to 32 characters, no control characters.
BOOL uiFavNameOk(LPCWSTR name);

// The control-info records of these dialogs (uiControlInfoTbl's rows).
extern const UI_CONTROL_INFO uiControlInfoSecurity, uiControlInfoSample, uiControlInfoDelay, uiControlInfoKnowledge,
    uiControlInfoCoverInsert, uiControlInfoCoverInsertDFinisher, uiControlInfoUserAdd, uiControlInfoUserEdit;
