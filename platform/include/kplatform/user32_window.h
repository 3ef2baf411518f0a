// Windows and their data. Nothing is drawn: a window is a record the
// stand-in keeps (made by KpCreateTestWindow, later by the dialog calls),
// with parent, instance, id, style and enabled state.
//
// Window data, the per-window values driver code keeps on its dialogs and
// property pages (GetWindowLongPtrW / SetWindowLongPtrW with GWLP_USERDATA
// and DWLP_USER), also works on any non-null handle a test makes up by hand:
// its values start at 0 and are kept until KpForgetWindowData (or until a
// made window is destroyed).
#pragma once

#include "kplatform/wintypes.h"

#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
#define GWL_HINSTANCE (-6)
#define GWL_ID (-12)
#define GWL_STYLE (-16)

#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#endif
#ifndef ERROR_INVALID_INDEX
#define ERROR_INVALID_INDEX 1413L
#endif

// Answers the value (0 when none was set). A null window: 0 and
// ERROR_INVALID_WINDOW_HANDLE; an index other than the four above: 0 and
// ERROR_INVALID_INDEX.
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
