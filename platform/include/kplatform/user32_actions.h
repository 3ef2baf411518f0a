// Test controls: what a person does with windows, scripts of it for modal
// calls, and a dump of what the windows show. Every action does what the
// control does for a person (moves the focus to it first, changes its state,
// tells its parent in the control's written order) and then pumps the posted
// messages (KpPumpMessages). An action on a control that is disabled,
// hidden, or (typing) read-only changes nothing and answers FALSE, as a
// person could not do it.
//
// Orders the controls keep (each notification to the parent):
//  - Typing into an edit: each character is one keystroke replacing the
//    selection at the caret: EN_UPDATE, EN_CHANGE; beyond EM_LIMITTEXT's
//    limit the keystroke is refused with EN_MAXTEXT.
//  - A button click: an auto check box, auto 3-state box or auto radio
//    button changes its state first (a radio button clears the others of its
//    group), then BN_CLICKED.
//  - Choosing in a combo box by mouse: CBN_DROPDOWN, CBN_SELCHANGE,
//    CBN_SELENDOK, CBN_CLOSEUP; clicking outside the list (index -1):
//    CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP. By keys: CBN_DROPDOWN (F4),
//    one CBN_SELCHANGE for each arrow step from the selection to the item,
//    then CBN_SELENDOK, CBN_CLOSEUP (Enter); index -1 is Escape: the
//    selection goes back without a CBN_SELCHANGE, then CBN_SELENDCANCEL,
//    CBN_CLOSEUP. A list box: the selection, then LBN_SELCHANGE (LBS_NOTIFY).
//  - Stepping an up-down (value +1 up, -1 down): UDN_DELTAPOS (WM_NOTIFY;
//    a non-zero answer stops the step), the position moves within the range
//    (staying at a limit), the buddy shows a moved position (UDS_SETBUDDYINT), then
//    WM_VSCROLL (WM_HSCROLL with UDS_HORZ) SB_THUMBPOSITION with the
//    position, even at a limit, then SB_ENDSCROLL.
//  - A key on a trackbar (value: the TB_* code): the position moves (line,
//    page, top, bottom), then WM_HSCROLL (WM_VSCROLL with TBS_VERT) with the
//    code, then TB_ENDTRACK. Dragging (KP_UI_DRAG, value the position):
//    TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK.
//  - A scroll bar (value: the SB_* code, text unused; SB_THUMBPOSITION takes
//    the position in `position`): WM_HSCROLL (WM_VSCROLL with SBS_VERT), then
//    SB_ENDSCROLL; the bar does not move itself.
//  - A list view item chosen: LVN_ITEMCHANGED for the item losing the
//    selection, then for the item getting it.
//  - A tab chosen: TCN_SELCHANGING (a non-zero answer keeps the tab), then
//    TCN_SELCHANGE.
#pragma once

#include "kplatform/user32_window.h"

typedef enum _KP_UI_KIND {
  KP_UI_TYPE = 1,      // type text into control (edit; an editable combo box)
  KP_UI_SELECT_ALL,    // select all text of an edit (EM_SETSEL 0, -1), as a person would before typing over it
  KP_UI_CLICK,         // click a button (or a static with SS_NOTIFY)
  KP_UI_CHOOSE_MOUSE,  // choose item `value` in a combo box, list box, list view or tab (-1: click outside)
  KP_UI_CHOOSE_KEYS,   // the same by keys (combo and list boxes)
  KP_UI_FOCUS,         // move the focus to control
  KP_UI_STEP,          // up-down: value +1 / -1; trackbar: value a TB_* key code; scroll bar: value an SB_* code
  KP_UI_DRAG,          // trackbar: drag the thumb to value; scroll bar: SB_THUMBTRACK then SB_THUMBPOSITION at value
  KP_UI_PAINT,         // owner-draw list or combo box: WM_DRAWITEM for each item into a recording DC;
                      // an SS_OWNERDRAW static: one WM_DRAWITEM (ODT_STATIC, item 0)
  KP_UI_SWITCH_PAGE,   // property sheet: switch to page `value`
  KP_UI_OK,            // property sheet: OK; dialog: click IDOK
  KP_UI_CANCEL,        // property sheet: Cancel; dialog: click IDCANCEL
  KP_UI_CALL,          // call `call(window, context)`: a test looks at or acts on the dialog itself
  KP_UI_MOUSE_DOWN,    // press and release the left button on control: WM_LBUTTONDOWN, WM_LBUTTONUP to the
                       // control's procedure (a subclassing one first)
} KP_UI_KIND;

typedef void (*KP_UI_CALLBACK)(HWND window, void* context);

typedef struct _KP_UI_ACTION {
  int kind;         // KP_UI_*
  int control;      // the control's id in the dialog (in a property sheet: in the current page)
  int value;        // index, step, code or position (see the kinds)
  LPCWSTR text;     // KP_UI_TYPE
  KP_UI_CALLBACK call;
  void* context;
} KP_UI_ACTION;

// Plays one action on a dialog or property sheet (`window`: the dialog, the
// sheet, or a page of a sheet); FALSE when the control is not there or the
// action is not possible (see above). Posted messages are pumped after.
KP_API BOOL KpUiAct(HWND window, const KP_UI_ACTION* action);

// Scripts for modal calls: queues one run of the dialog with the template id
// (DialogBoxParamW) or, with KP_SCRIPT_SHEET, of the next PropertySheetW.
// Each run takes the first script queued for its id. The actions are copied
// (texts too).
#define KP_SCRIPT_SHEET 0u
KP_API void KpScriptDialog(DWORD templateId, const KP_UI_ACTION* actions, DWORD count);
KP_API DWORD KpScriptedRuns(DWORD templateId);

// What the owner-draw DC recorded for a control since it was made: one
// entry per DrawTextW/DrawIconEx/DrawIcon call made while its WM_DRAWITEM
// ran. `kind` 1 text (`text` holds it), 2 icon (`icon` holds the handle).
typedef struct _KP_DRAWN {
  DWORD item;
  DWORD kind;
  WCHAR text[260];
  void* icon;
} KP_DRAWN;
KP_API DWORD KpDrawnItems(HWND control, KP_DRAWN* drawn, DWORD capacity);

// A dump of the window's controls (a dialog: its controls; a property
// sheet: each made page, a line "page <n> <template>" and its controls), one
// line per control in creation order:
//   id=<id> class=<class> text="<text>" enabled=<0|1> visible=<0|1>
//   checked=<0|1|2> sel=<index|-1> readonly=<0|1> focus=<0|1>
// (one line each, fields separated by a blank; text in UTF-8, quotes and
// backslashes escaped). Copies at most capacity - 1 bytes and a NUL; answers
// the bytes the whole dump needs without the NUL.
KP_API DWORD KpUiDump(HWND window, char* buffer, DWORD capacity);
