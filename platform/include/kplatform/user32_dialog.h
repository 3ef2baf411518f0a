// Dialogs built from their templates. Nothing is shown: a dialog is a window
// of the window table (class "#32770", a child of its owner in the table)
// whose controls are made from the DLGTEMPLATEEX template in the module's
// resources (RT_DIALOG), each a window with its class, id, style, text and
// state (kplatform/user32_controls.h, kplatform/comctl32_controls.h).
//
// Making a dialog (CreateDialogParamW, DialogBoxParamW, the pages of
// PropertySheetW): the template is read and checked whole first (a template
// that does not parse fails the call: null or -1, ERROR_INVALID_DATA; one
// not found: the resource call's error); the dialog and its controls are
// made (WS_VISIBLE and WS_DISABLED as the styles say); every owner-draw
// list box and combo box gets its WM_MEASUREITEM (item -1 for a combo box's
// selection field, then item 0) at the dialog procedure before
// WM_INITDIALOG; WM_INITDIALOG carries the first WS_TABSTOP control in
// wParam and the caller's parameter in lParam, and when the procedure
// answers non-zero the focus goes to that control.
//
// Modal dialogs (DialogBoxParamW) never wait for a person: a run plays a
// script. A script for the template id (KpScriptDialog) comes first; else the
// queue of KpQueueDialogAnswer (texts put into items, then WM_COMMAND with
// the button); with neither, the call answers -1 at once
// (ERROR_CANCELLED), without making the dialog, and the run is recorded as
// unscripted. A script is a list of user actions played in order with the
// posted messages pumped after each; when it ends with the dialog still
// open, WM_COMMAND IDCANCEL is sent, and a dialog that stays open even then
// is ended with IDCANCEL; either way the run is recorded as left open. The
// owner is disabled while the dialog runs and enabled again after. The
// dialog is destroyed (WM_DESTROY to it and its controls) before the call
// answers EndDialog's result.
#pragma once

#include "kplatform/user32_messagebox.h"  // IDOK, IDCANCEL
#include "kplatform/user32_window.h"

typedef INT_PTR (*DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(id) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))
#endif

// Dialog styles the stand-in reads.
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_FIXEDSYS 0x0008L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// The DLGTEMPLATEEX layout (all little-endian, read with the byte helpers):
// dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems, x, y, cx,
// cy, menu, windowClass, title (each 0x0000 none, 0xFFFF and an ordinal, or
// a NUL-ended UTF-16 string), and with DS_SETFONT pointsize, weight,
// italic, charset, typeface; then each item on a 4-byte boundary: helpID,
// exStyle, style, x, y, cx, cy, id (32 bits), windowClass (ordinals 0x0080
// Button, 0x0081 Edit, 0x0082 Static, 0x0083 ListBox, 0x0084 ScrollBar,
// 0x0085 ComboBox, or a class name), title, extraCount and the extra bytes.
#define KP_DLGTEMPLATEEX_SIGNATURE 0xFFFFu

KP_API HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                                      LPARAM param);
// -1 with ERROR_INVALID_PARAMETER for a null procedure.
KP_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc,
                                      LPARAM param);
// Marks the dialog ended with the result (a modal run stops after the step
// in progress); FALSE with ERROR_INVALID_WINDOW_HANDLE for no dialog.
KP_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
// The item's text (WM_GETTEXT): at most max - 1 characters and a NUL;
// answers the characters copied; 0 for an item that is not there
// (ERROR_CONTROL_ID_NOT_FOUND).
KP_API UINT WINAPI GetDlgItemTextW(HWND dialog, int item, LPWSTR text, int max);
// WM_SETTEXT to the item (an edit tells its parent EN_CHANGE).
KP_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int item, LPCWSTR text);

// ---- Test controls
// Queues one run of any dialog: the texts to put into items (pairs of item
// id and text, `count` of them) and the button to press.
typedef struct _KP_DIALOG_TEXT {
  int item;
  LPCWSTR text;
} KP_DIALOG_TEXT;
KP_API void KpQueueDialogAnswer(int button, const KP_DIALOG_TEXT* texts, DWORD count);
KP_API DWORD KpQueuedDialogAnswers(void);
// Dialogs run since the last clear, and the template of the last one (an
// integer resource id, or 0 for a named one).
KP_API DWORD KpDialogCount(void);
KP_API DWORD KpLastDialogTemplate(void);
// Forgets the queued answers, the scripts, the run records and the counts.
KP_API void KpClearDialogs(void);

// How a modal run ended (KpDialogRuns).
#define KP_RUN_ENDED 0        // the dialog ended itself (EndDialog) during its script
#define KP_RUN_UNSCRIPTED 1   // no script: -1 at once
#define KP_RUN_LEFT_OPEN 2    // the script ended with the dialog open: IDCANCEL
#define KP_RUN_FAILED 3       // the template did not load or parse: -1
typedef struct _KP_DIALOG_RUN {
  DWORD templateId;  // 0 for a named template
  DWORD outcome;     // KP_RUN_*
  INT_PTR result;    // what DialogBoxParamW answered
} KP_DIALOG_RUN;
// Copies at most capacity runs (oldest first); answers how many there are.
KP_API DWORD KpDialogRuns(KP_DIALOG_RUN* runs, DWORD capacity);
