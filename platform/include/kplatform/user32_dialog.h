// Modal dialogs, scripted: DialogBoxParamW runs a dialog procedure without
// showing anything. The dialog is a window of the window table (a child of
// the owner), its items are texts kept by id; the procedure gets
// WM_INITDIALOG with the caller's parameter, then the script a test queued
// is played: its edit texts are put into the items, and WM_COMMAND with its
// button id is sent. The procedure ends the dialog with EndDialog, whose
// result DialogBoxParamW answers; a procedure that does not end it on the
// button is ended with the button id. The owner is disabled while the
// dialog runs and enabled again after.
//
// With no script queued the dialog is cancelled (WM_COMMAND IDCANCEL), as a
// person closing it would.
//
// The later window stand-in that builds dialogs from their templates takes
// over the inside of these calls behind this header; the template argument
// is recorded only (KpLastDialogTemplate).
#pragma once

#include "kplatform/wintypes.h"

#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u

typedef INT_PTR (*DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(id) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))
#endif

// -1 with ERROR_INVALID_PARAMETER for a null procedure.
KP_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc,
                                      LPARAM param);
KP_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
// Item texts of a running dialog. GetDlgItemTextW copies at most max - 1
// characters and a NUL and answers the characters copied (0 for an item
// never set).
KP_API UINT WINAPI GetDlgItemTextW(HWND dialog, int item, LPWSTR text, int max);
KP_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int item, LPCWSTR text);

// ---- Test controls
// Queues one run of a dialog: the texts to put into items (pairs of item id
// and text, `count` of them) and the button to press.
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
KP_API void KpClearDialogs(void);
