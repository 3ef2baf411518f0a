// What a user would see: message boxes and debugger output.
//
// No box is ever shown and no call ever waits for a person. MessageBoxW
// takes its answer from a queue that tests fill (first in, first out). With
// the queue empty it takes the box's default button (MB_DEFBUTTON1..4 among
// the buttons of its MB_OK..MB_CANCELTRYCONTINUE type; a default beyond the
// last button is the first button) and writes the caption, the text and the
// answer to standard error, so a command run by hand shows what it asked.
// Every box is recorded (owner, text, caption, style, answer); a null
// caption is recorded as the caption the user would see, "Error". A box
// whose owner is a window takes the focus while it is shown (the focused
// control gets WM_KILLFOCUS, an edit tells its parent EN_KILLFOCUS) and
// gives it back when it closes, unless the focus was moved meanwhile. A style
// with an unknown button type shows nothing, records nothing and answers 0
// with ERROR_INVALID_MSGBOX_STYLE.
//
// OutputDebugStringW/A text is captured for tests (the narrow form through
// the ANSI code page). It also goes to standard error when the environment
// variable KESTREL_DEBUG_OUTPUT is set to a nonempty value other than "0".
// The capture keeps the last 1048576 characters; older text is dropped.
#pragma once

#include "kplatform/wintypes.h"

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_CANCELTRYCONTINUE 0x00000006u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFBUTTON4 0x00000300u
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define MB_DEFMASK 0x00000F00u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

#define ERROR_INVALID_MSGBOX_STYLE 1438L

KP_API int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
KP_API void WINAPI OutputDebugStringW(LPCWSTR text);
KP_API void WINAPI OutputDebugStringA(LPCSTR text);

// Test controls.

// One recorded box. The strings belong to the record and stay valid until
// KpClearMessageBoxes.
typedef struct KpMessageBoxRecord {
  HWND owner;
  LPCWSTR text;
  LPCWSTR caption;
  UINT type;
  int answer;
} KpMessageBoxRecord;

// Queues the answer of a coming box. Any value is answered as it stands;
// 0 plays a box that could not be shown (last error ERROR_NOT_ENOUGH_MEMORY).
KP_API void KpQueueMessageBoxAnswer(int answer);
// Number of answers still queued.
KP_API DWORD KpQueuedMessageBoxAnswers(void);
// Number of boxes recorded since the last clear.
KP_API DWORD KpMessageBoxCount(void);
// Fills *record with box number `index` (0 = the first); FALSE when there is
// no such box.
KP_API BOOL KpGetMessageBox(DWORD index, KpMessageBoxRecord* record);
// Forgets every recorded box and every queued answer.
KP_API void KpClearMessageBoxes(void);

// Copies the captured debugger output into buffer (at most count - 1
// characters, terminated when count >= 1) and answers its whole length in
// characters; count 0 only measures.
KP_API DWORD KpGetDebugOutput(LPWSTR buffer, DWORD count);
KP_API void KpClearDebugOutput(void);
