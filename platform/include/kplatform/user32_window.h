// Window data: the per-window values driver code keeps on its dialogs and
// property pages (GetWindowLongPtrW / SetWindowLongPtrW with GWLP_USERDATA
// and DWLP_USER). There are no real windows: any non-null window handle a
// test makes up carries its own values, which start at 0 and are kept until
// KpForgetWindowData.
#pragma once

#include "kplatform/wintypes.h"

#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

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

// The active window of the calling thread. There are no real windows: always
// null (a box given it as owner has no owner, as on a service's desktop).
KP_API HWND WINAPI GetActiveWindow(void);
