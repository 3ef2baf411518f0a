// What leaves a dialog for the rest of the system, recorded and scripted:
// the file dialogs (GetOpenFileNameW, GetSaveFileNameW), ShellExecuteW and
// WinHelpW. They live beside the scripted dialogs in user32/ (no comdlg32
// or shell32 folder for three calls).
//
// File dialogs: each call takes the next answer queued by
// KpQueueFileDialogAnswer: a chosen path (copied into lpstrFile when it
// fits in nMaxFile with its NUL: TRUE, nFileOffset/nFileExtension set;
// else FALSE with CommDlgExtendedError FNERR_BUFFERTOOSMALL) or a cancel
// (FALSE, error 0). With no answer queued the dialog is cancelled. Every
// call is recorded (KpFileDialogCalls).
// ShellExecuteW: recorded; answers the next queued answer, or without one
// 42 when the file (a path mapped below the root) exists and
// SE_ERR_FNF (2) when not.
// WinHelpW: recorded; answers TRUE.
#pragma once

#include "kplatform/user32_window.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef struct tagOFNW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEW, *LPOPENFILENAMEW;
static_assert(sizeof(OPENFILENAMEW) == 152);

#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_EXPLORER 0x00080000u
#define FNERR_BUFFERTOOSMALL 0x3003u

KP_API BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn);
KP_API BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn);
KP_API DWORD WINAPI CommDlgExtendedError(void);

#define SE_ERR_FNF 2
KP_API HINSTANCE WINAPI ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                      LPCWSTR directory, int show);

#define HELP_CONTEXT 0x0001u
#define HELP_QUIT 0x0002u
#define HELP_FINDER 0x000Bu
#define HELP_WM_HELP 0x000Cu
#define HELP_CONTEXTPOPUP 0x0008u
KP_API BOOL WINAPI WinHelpW(HWND window, LPCWSTR file, UINT command, ULONG_PTR data);

// ---- Test controls
// Queues the next file dialog's answer: a path (chosen) or null (cancelled).
KP_API void KpQueueFileDialogAnswer(LPCWSTR path);
// Queues the next ShellExecuteW answer.
KP_API void KpQueueShellExecuteAnswer(INT_PTR answer);

// One recorded call. kind: 1 open, 2 save, 3 ShellExecuteW, 4 WinHelpW.
// Texts are cut to 259 characters: for the file dialogs title, initial
// folder, file (as given), default extension, the filter with its NULs
// turned into '|'; for ShellExecuteW verb, file, parameters, folder; for
// WinHelpW the file. `number`: Flags, the show command, the help command;
// `data`: WinHelpW's data, ShellExecuteW's answer.
typedef struct _KP_SHELL_CALL {
  DWORD kind;
  WCHAR text[5][260];
  DWORD number;
  ULONG_PTR data;
  BOOL answered;  // a file dialog that chose
} KP_SHELL_CALL;
KP_API DWORD KpShellCalls(KP_SHELL_CALL* calls, DWORD capacity);
KP_API void KpClearShellCalls(void);
