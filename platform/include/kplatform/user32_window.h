// Windows, their data and their messages. Nothing is drawn: a window is a
// record the stand-in keeps (made by KpCreateTestWindow, by the dialog calls
// from their templates, by the property-sheet calls), with class, parent,
// instance, id, style, text, enabled and visible state, and for a control
// the control's own state (kplatform/user32_controls.h,
// kplatform/comctl32_controls.h).
//
// Messages: SendMessageW calls the window's procedure at once, on the
// calling thread, and may be re-entered from inside it (a dialog procedure
// sending to its own controls, a control notifying its parent). A dialog's
// answer follows the dialog manager: for WM_INITDIALOG, WM_VKEYTOITEM,
// WM_CHARTOITEM, WM_COMPAREITEM and WM_CTLCOLOR* the procedure's own return
// value; otherwise DWLP_MSGRESULT when the procedure answered non-zero, else
// the default handling (WM_SETTEXT/WM_GETTEXT keep the caption, others 0).
// PostMessageW queues the message; the queue is delivered by
// KpPumpMessages, which every user action (kplatform/user32_actions.h) and
// every modal loop runs after each step.
//
// Window data, the per-window values driver code keeps on its dialogs and
// property pages (GetWindowLongPtrW / SetWindowLongPtrW with GWLP_USERDATA
// and DWLP_USER), also works on any non-null handle a test makes up by hand:
// its values start at 0 and are kept until KpForgetWindowData (or until a
// made window is destroyed).
#pragma once

#include "kplatform/wintypes.h"

#define GWLP_WNDPROC (-4)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
#define GWL_HINSTANCE (-6)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

// Window styles the stand-in reads.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_CLIENTEDGE 0x00000200L

// Window messages.
#define WM_NULL 0x0000u
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_SETFOCUS 0x0007u
#define WM_KILLFOCUS 0x0008u
#define WM_ENABLE 0x000Au
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_ERASEBKGND 0x0014u
#define WM_SHOWWINDOW 0x0018u
#define WM_DRAWITEM 0x002Bu
#define WM_MEASUREITEM 0x002Cu
#define WM_VKEYTOITEM 0x002Eu
#define WM_CHARTOITEM 0x002Fu
#define WM_SETFONT 0x0030u
#define WM_COMPAREITEM 0x0039u
#define WM_NOTIFY 0x004Eu
#define WM_HELP 0x0053u
#define WM_CONTEXTMENU 0x007Bu
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_HSCROLL 0x0114u
#define WM_VSCROLL 0x0115u
#define WM_CTLCOLORMSGBOX 0x0132u
#define WM_CTLCOLOREDIT 0x0133u
#define WM_CTLCOLORLISTBOX 0x0134u
#define WM_CTLCOLORBTN 0x0135u
#define WM_CTLCOLORDLG 0x0136u
#define WM_CTLCOLORSCROLLBAR 0x0137u
#define WM_CTLCOLORSTATIC 0x0138u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_QUERYNEWPALETTE 0x030Fu
#define WM_PALETTECHANGED 0x0311u
#define WM_USER 0x0400u

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SW_SHOWNA 8
#define SW_RESTORE 9

// The header of every WM_NOTIFY.
typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR, *LPNMHDR;

typedef LRESULT(CALLBACK* WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif

#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#endif
#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef ERROR_INVALID_INDEX
#define ERROR_INVALID_INDEX 1413L
#endif

// Answers the value (0 when none was set). A null window: 0 and
// ERROR_INVALID_WINDOW_HANDLE; an index other than the four above and
// GWL_STYLE, GWL_EXSTYLE, GWL_ID: 0 and ERROR_INVALID_INDEX. GWL_STYLE,
// GWL_EXSTYLE and GWL_ID are the made window's own (a window the stand-in
// did not make: ERROR_INVALID_WINDOW_HANDLE); changing ES_READONLY through
// GWL_STYLE does what EM_SETREADONLY does.
KP_API LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
// Stores the value and answers the previous one (same errors as above).
KP_API LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);

// Test control: forgets every value kept for the window (null: for all).
KP_API void KpForgetWindowData(HWND window);

// Test control: makes a window under the parent (null: a top-level window)
// for the instance. Answers null (ERROR_INVALID_WINDOW_HANDLE) when the
// parent is not a window.
KP_API HWND WINAPI KpCreateTestWindow(HWND parent, HINSTANCE instance);
// Destroys the window and its descendants and forgets their window data;
// the active window, if among them, becomes null.
KP_API BOOL WINAPI DestroyWindow(HWND window);
// TRUE while the window is one the stand-in made and has not destroyed.
KP_API BOOL WINAPI IsWindow(HWND window);
// The parent, or null: for a top-level window (last error 0) or a handle
// that is no window (ERROR_INVALID_WINDOW_HANDLE).
KP_API HWND WINAPI GetParent(HWND window);
// GWL_HINSTANCE (low 32 bits of the instance handle), GWL_ID, GWL_STYLE;
// another index: 0 and ERROR_INVALID_INDEX; no window: 0 and
// ERROR_INVALID_WINDOW_HANDLE.
KP_API LONG WINAPI GetWindowLongW(HWND window, int index);
// The application's active window, null until a test sets one.
KP_API HWND WINAPI GetActiveWindow(void);
// Test control: sets the active window (null allowed) and answers the
// previous one; a handle that is no window changes nothing and answers null.
KP_API HWND WINAPI KpSetActiveWindow(HWND window);
// Enables or disables the window; answers TRUE when it was disabled before.
KP_API BOOL WINAPI EnableWindow(HWND window, BOOL enable);
KP_API BOOL WINAPI IsWindowEnabled(HWND window);

// ---- Windows made by the program, their place, subclassing
// Makes a control of a class the stand-in has (those of GetClassNameW, and
// TOOLTIPS_CLASSW, kplatform/comctl32_controls.h); `menu` is a child's id.
// A window without WS_CHILD is a popup owned by `parent` (not its child; it
// goes when its owner is destroyed). Null and ERROR_CANNOT_FIND_WND_CLASS
// for another class.
KP_API HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR text, DWORD style, int x, int y,
                                   int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                   LPVOID param);
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOACTIVATE 0x0010u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u
// Keeps the place and size (nothing is drawn); the z-order is not kept.
// Template controls start at 0,0,0,0: the stand-in keeps no dialog units.
KP_API BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
KP_API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
// The next (or previous) control of the dialog, in creation order and
// wrapping, that has WS_TABSTOP and is visible and enabled; a null control:
// the first (or last) of them.
KP_API HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// Subclassing: SetWindowLongPtrW(GWLP_WNDPROC) puts the program's procedure
// in front of the window's; the value answered (and GetWindowLongPtrW's
// while none is set) is the class procedure, which CallWindowProcW calls.
KP_API LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Messages
// Calls the window's procedure and answers its result; a handle that is no
// window: 0 and ERROR_INVALID_WINDOW_HANDLE.
KP_API LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues the message for KpPumpMessages; FALSE (ERROR_INVALID_WINDOW_HANDLE)
// for a handle that is no window. A message whose window is gone by the time
// the queue is delivered is dropped.
KP_API BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of a window with nothing of its own: WM_SETTEXT,
// WM_GETTEXT, WM_GETTEXTLENGTH on the window's text; others answer 0.
KP_API LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Test control: delivers the posted messages, also those posted while it
// runs (at most 100000, so a procedure posting to itself for ever stops);
// answers how many were delivered.
KP_API DWORD KpPumpMessages(void);

// ---- Text, visibility, focus
KP_API BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text);
// At most max - 1 characters and a NUL; answers the characters copied.
KP_API int WINAPI GetWindowTextW(HWND window, LPWSTR text, int max);
KP_API int WINAPI GetWindowTextLengthW(HWND window);
// The class name ("Button", "Edit", "Static", "ListBox", "ComboBox",
// "ScrollBar", "msctls_updown32", "msctls_trackbar32", "SysListView32",
// "SysTabControl32", "#32770" for dialogs and sheets, "KpTestWindow" for
// KpCreateTestWindow's); answers the characters copied.
KP_API int WINAPI GetClassNameW(HWND window, LPWSTR name, int max);
// SW_HIDE hides, every other command shows; answers TRUE when the window
// was visible before.
KP_API BOOL WINAPI ShowWindow(HWND window, int command);
// TRUE when the window and all its parents are visible.
KP_API BOOL WINAPI IsWindowVisible(HWND window);
// Moves the focus: WM_KILLFOCUS (wParam the new window) to the window
// losing it, then WM_SETFOCUS (wParam the old one) to the window getting it;
// controls tell their parent (EN_KILLFOCUS, CBN_SETFOCUS, ...). Answers the
// window that had the focus. Null takes the focus away.
KP_API HWND WINAPI SetFocus(HWND window);
KP_API HWND WINAPI GetFocus(void);

// ---- Dialog items
// The child of the dialog with the id, or null (ERROR_CONTROL_ID_NOT_FOUND).
KP_API HWND WINAPI GetDlgItem(HWND dialog, int item);
// The window's id (0 and ERROR_INVALID_WINDOW_HANDLE for no window).
KP_API int WINAPI GetDlgCtrlID(HWND window);
KP_API LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam);
KP_API BOOL WINAPI SetDlgItemInt(HWND dialog, int item, UINT value, BOOL isSigned);
KP_API UINT WINAPI GetDlgItemInt(HWND dialog, int item, BOOL* translated, BOOL isSigned);
