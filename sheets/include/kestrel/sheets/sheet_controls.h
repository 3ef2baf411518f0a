// The control handlers of the property sheets, one per control type
// (_uiControlFunc), their parameter records, and the helpers they share.
//
// Every handler takes the dialog's message information, the message,
// wParam, lParam, the control's row and the row's parameter, and answers 0
// when it did nothing (no dialog, no control, no row data).
//
// Decisions (helpers the sheets call and nothing else defines):
//  - uiGetMinMax: a setting of selection method 4 or 6 gives its items' two
//    limits; a text setting (method 3, type 6) the size of its member in
//    characters less the NUL as maximum and 0 as minimum; anything else
//    fails.
//  - uiCalcSetData: mode 2 turns a devmode value into the shown value, mode 1
//    back; the rule's conversion record (UI_CONVERT) multiplies and divides
//    (shown = value * mul / div, rounded to nearest); without one the value
//    stands.
//  - Millimetres and inches (edit flag 0x0400, numbers only): the devmode
//    keeps tenths of a millimetre; in inches the shown number is hundredths
//    of an inch (value * 100 / 254, rounded), back value * 254 / 100. On a
//    text value the flag only keeps the check running on every change.
//  - uiNumtoStr writes a signed decimal; uiCom_FloatNumtoStr writes value /
//    10 with one decimal ("12.5", "-0.5").
//  - uiIsStr: TRUE for a text of decimal digits with an optional leading
//    minus sign (and, with a fraction, at most one decimal point).
//  - uiMakeMsg is the interface's one message builder (uiFormatText,
//    kestrel/ui/uitext.h: "%1"-"%9" by position, "%s"/"%d" in turn);
//    uiMsgWindow shows it under caption 265.
//  - uiCom_CheckCapability: zanLib_CheckCapability_Indirect on the sheet's
//    description. uiCom_CheckPrinterSupportColor: 2 (monochrome) when the
//    model's colour capability (printer-information item 5,
//    cdddGetPrinterColor) is 0, 1 otherwise.
//  - uiCom_GetTopTabType: printer-information item 16 of the description (a
//    16-bit item no other part reads): 2 finishing summary, 3 simple paper
//    page; 0, 1 and any other value keep the ordinary Paper page. Models A
//    and B carry 0; the test descriptions carry 2 and 3.
//  - Check box: a checked box is item 0 and a cleared one item 1, except
//    that a two-item list whose values are 0 and then another value (off
//    first, as model A's collate) is shown the other way round: a box
//    checked for "off" would be a plainly wrong display.
//  - A setting without selection information (a free text the description
//    does not list) is written as typed; its limit is its member's capacity.
//  - Slider: the codes 0, 1, 4, 5 and 8 (line keys, the thumb's position
//    and track, TB_ENDTRACK) write the slider's position; 2, 3, 6, 7 (page
//    keys, top, bottom) write nothing themselves. A page key on the control
//    is followed by TB_ENDTRACK, which writes where the thumb now stands:
//    "page keys change nothing" means the page-key message itself, and the
//    setting follows the thumb when the movement ends, as after a drag.
//  - The edit keep buffer survives a refused leave (PSN_KILLACTIVE answered
//    1 keeps the page, its field and buffer): it is freed when the leave
//    succeeded, at PSN_APPLY, PSN_RESET and WM_DESTROY.
//  - Control 1539 (a form file name) whose last part has no characters or
//    more than 8 shows message 9371 (caption 265) and is refused like an
//    invalid value: the focus stays and the stored name is shown again.
#pragma once

#include <string>

#include "kestrel/sheets/sheet_engine.h"
#include "kplatform/user32_controls.h"

// Control types.
#define UI_CT_COMBO 1
#define UI_CT_LIST 2
#define UI_CT_EDIT 4
#define UI_CT_RADIO 5
#define UI_CT_BUTTON 6
#define UI_CT_CHECK 7
#define UI_CT_SCROLL 8
#define UI_CT_SPIN 9
#define UI_CT_STATIC 10
#define UI_CT_HELPTEXT 11
#define UI_CT_SLIDER 12
#define UI_CT_ICON 13
#define UI_CT_BITMAP 14
#define UI_CT_DUMMY 15

// Edit rule flags and switches.
#define UI_EDIT_NUMBER 0x0001
#define UI_EDIT_TEXT 0x0002
#define UI_EDIT_FORMAT 0x0010
#define UI_EDIT_FRACTION 0x0040
#define UI_EDIT_MMINCH 0x0400
#define UI_EDIT_SECRET 0x2000
#define UI_CHECK_KILLACTIVE 0x04
#define UI_CHECK_KILLFOCUS 0x08
#define UI_CHECK_VALIDATE 0x10

#define UI_FORMFILE_CONTROL 1539
#define UI_STR_FORMFILE 9371
#define UI_STR_CAPTION 265
#define UI_STR_RANGE 301  // "%s: enter a value from %s to %s."
#define UI_STR_TOOLONG 448
#define UI_STR_BADCHARS 4716
#define UI_STR_FORMDIR 9377
#define UI_FORMDIR_FALLBACK u"C:\\Halcyra\\Form"
#define UI_ITEM_FORMDIR 36886
#define UI_DDM_FORMFILE_PATH 1829  // its path is cut at the last backslash
#define UI_PRINTERINFO_DOCUMENT 29
#define UI_HELP_CONTEXT (-205)
#define UI_OFN_DEFAULT_FLAGS 133125u
#define UI_FILE_CHARS 261

// The keep data of one row (made by uiGetKeep, freed by uiFreeKeep; the
// texts with kcore_Free).
#define UI_KEEP_USER_ENTERED 0x02  // marks: the user entered the value (bit 0x2 of the control data's second byte)
struct UI_KEEP {
  LPWSTR current;   // text values: the kept text (scrambled when secret)
  LPWSTR previous;  // the last accepted text as shown
  LONG chars;       // room of previous, with the NUL
  BOOL busy;        // a spin control is updating the field
  BOOL showing;     // the handler is putting the value into the control
  BOOL iconReady;
  BOOL boxShown;    // an error box of the row is open: no second one
  BYTE marks;       // UI_KEEP_* marks the row's own handler sets
  void* extra;      // a block the row's own handler keeps, freed with extraFree
  void (*extraFree)(void* extra);
};
// A window's whole text.
std::u16string uiGetWindowText(HWND control);
// Puts a text into a row's control with its keep data (may be null) marked
// `showing`, so that the row's own handler takes the change for the
// program's, not the user's.
void uiSetShownText(UI_KEEP* keep, HWND control, LPCWSTR text);
// The row's keep data, made zero-filled when `make` and missing; null when
// the row is not in the dialog's table or memory is short.
UI_KEEP* uiGetKeep(UI_MSGINFO* msg, const UI_IDTBL* row, BOOL make);

// Control-type table row.
struct UI_CONTROLFUNC {
  DWORD type;  // 16 bits used
  UI_CTLFUNC handler;
};
extern const UI_CONTROLFUNC _uiControlFunc[];
UI_CTLFUNC uiSearchControlFunc(WORD type);

struct UI_CONVERT {
  LONG mul;
  LONG div;
};
struct UI_EDITRULE {
  DWORD flags;
  LONG maxLength;
  const UI_CONVERT* convert;
  BYTE switches;
};
struct UI_STATICTEXT {
  WORD kind;  // 1 list, 2 resource string, 3 constraint only
  LONG value;
};
// Help-text record (parameter of type 11, or null).
struct UI_HELPTEXT {
  LONG followId;  // a list or combo control whose shown item the text follows, or UI_NOSTRING
};
struct UI_RADIOPOS {
  LONG count;
  const LONG* ids;  // in select-item order
};
struct UI_SLIDER {
  LONG reserved;
  LONG convert;  // non-zero: the position is converted (mode 1) before it is written
};
// Kind 8/9 file-dialog record.
struct UI_FILEDLG {
  WORD pathId;   // DDM id of the path (0 none)
  WORD nameId;   // DDM id of the file name (0 none)
  WORD defaultItem;  // default-value id (UI_ITEM_FORMDIR: the forms folder)
  LONG dirString;    // initial folder string id, or UI_NOSTRING
  LONG titleString, extString, filterName, filterPattern;
  DWORD flags;       // 0: UI_OFN_DEFAULT_FLAGS
  BYTE checks;       // 0x20 cut, 0x08/0x04 byte limits, 0x10/0x02/0x01 characters
  WORD type;         // 17 swaps the two values of message 448
  LONG nameLimit;    // characters / bytes of the name
  LONG pathLimit;
};
// List and combo box behaviour table (parameter of types 1 and 2, or null).
#define UI_LBCB_OWNDRAW 0x20  // the table's own drawing function draws the items
typedef LONG (*UI_LBCB_DRAW)(UI_MSGINFO* msg, const UI_IDTBL* row, DRAWITEMSTRUCT* item);
struct UI_LBCB {
  DWORD flags;
  UI_LBCB_DRAW draw;
};
// Draws an owner-drawn list item: the item's icon (the description's, where
// it gives one) and then its name; a summary row's line as it stands.
LONG Lcbx_OwnerDrawItem(UI_MSGINFO* msg, const UI_IDTBL* row, DRAWITEMSTRUCT* item);
// Preview record (parameter of type 14).
struct UI_BITMAP {
  LONG baseIcon;  // the base layer: an icon of the resource module, or 0
};
// Button record.
struct UI_BUTTON {
  LONG kind;  // 1..10
  const void* record;  // kinds 4/5: UI_DIALOGLIST; 8/9: UI_FILEDLG; 10: a LONG string id
};
// uiButtonDefault_NoPermission's parameter.
struct UI_DEFAULTLIST {
  UI_BUTTON button;
  const WORD* ids;  // zero-ended
};

LONG uiComboBox(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiListBox(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiEdit(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiRadio(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiButton(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiCheckBox(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiScroll(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiSpin(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiStaticText(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiHelpText(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiSlider(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiIcon(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiBitmap(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiCtDmy(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiButtonDefault_NoPermission(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);
LONG uiEWSBtn(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*);

// Constraint display of a control of `type` for state `action`.
void uiCheckFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type);
void uiApplyConstState(HWND control, WORD type, WORD action);
// The row's control and, by its sub-id table, its label.
void uiApplyRowState(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type, WORD action);

// Button steps.
LONG uiButtonCommand(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_BUTTON* button);
LONG uiButtonOK(UI_MSGINFO* msg);
LONG uiButtonCancel(UI_MSGINFO* msg);
// The Default button (kind 3): the dialog's settings to their defaults, then
// the constraint sweep over all settings (its own skip array) and the
// output-bin update. What the rules changed is every member of the devmode's
// groups (the sweep's walk) whose value differs from a copy taken after the
// defaults were set; local_CutConstDefaultSetting keeps of those the ones
// that differ from the settings before the button. When any is left the
// user is asked (const_ShowChengeDevmodeConfirm), whatever the sweep's
// answer: Cancel puts the settings of before the button back, and as
// nothing then changed no redisplay is asked for (the Paper page's selector
// keeps its favourite). A sweep that cannot run (-1) leaves the defaults
// standing, shown, without a question. 1 done, 2 refused, -1 failure.
LONG uiButtonDefault(UI_MSGINFO* msg);
LONG uiButtonMakeScreen(UI_MSGINFO* msg, const UI_DIALOGLIST* list, LONG kind);
LONG uiButtonMakeDialog(UI_MSGINFO* msg, const UI_DIALOGLIST* list, UIROOT* copy);
LONG uiButtonMakeTabSheet(UI_MSGINFO* msg, const UI_DIALOGLIST* list, UIROOT* copy);
// The open and save file buttons: 1 chosen and stored, 2 cancelled, -1 an
// error. A choice the record's checks refuse, or one longer than the
// setting that keeps it can hold (the favourite file's DDM 375: a whole
// path in 128 characters), shows uiButtonErrMsgWindow and the dialog comes
// again; nothing is stored.
LONG uiButtonOpenFileDialog(UI_MSGINFO* msg, const UI_FILEDLG* record, BOOL save);
// Replaces the one %TOKEN% of text into out (cch characters); FALSE for an
// unknown token or "%%".
BOOL uiButtonParseDirString(LPCWSTR text, LPWSTR out, DWORD cch);
void uiButtonErrMsgWindow(UI_MSGINFO* msg, const UI_FILEDLG* record, BOOL tooLong);
void uiSetDialogButtonKind(UI_MSGINFO* msg, LONG kind);
// The forms folder: the Windows directory's drive root and string 9377, or
// the fixed fallback.
BOOL uiGetFormDir(LPWSTR out, DWORD cch);

// ---- Helpers --------------------------------------------------------------------
BOOL uiGetMinMax(UI_MSGINFO* msg, WORD ddmId, LONG* minimum, LONG* maximum);
LONG uiCalcSetData(const UI_CONVERT* convert, LONG value, WORD mode);
LONG uiMmInch(LONG value, WORD unit, WORD mode);
int uiNumtoStr(LONG value, LPWSTR out, int cch);
int uiCom_FloatNumtoStr(LONG value, LPWSTR out, int cch);
BOOL uiIsStr(LPCWSTR text, BOOL fraction);
// Builds the text of string id with the arguments (at most 4) into out.
BOOL uiMakeMsg(UINT id, const LPCWSTR* args, int count, LPWSTR out, int cch);
int uiMsgWindow(HWND owner, LPCWSTR text, UINT type);
BOOL uiCom_CheckCapability(HCDDD ddd, DWORD flag);
WORD uiCom_CheckPrinterSupportColor(HCDDD ddd);
WORD uiCom_GetTopTabType(HCDDD ddd);
UI_CTLFUNC uiGetCommonFuncPtr(WORD type);
