// The common property-sheet host (compstui.dll): CommonPropertySheetUIW and
// the records it hands a driver's sheet callback, with the stand-in's test
// controls.
//
// The host is its own small library, `compstui` (platform/compstui/), which a
// test installs when it wants one (KpInstallModule("libcompstui.so",
// nullptr)): without it, LoadLibrary("compstui.dll") fails as it would on a
// machine without the host. Its state and controls live in libkplatform, so
// they are one per process whichever copy of the host is loaded.
//
// CommonPropertySheetUIW(owner, callback, lParam, result) calls the callback
// with one PROPSHEETUI_INFO (cbSize, version 0x0100, lParamInit = lParam)
// for the reasons in this order: INIT (its lParam is the caller's lParam),
// GET_INFO_HEADER (lParam: a PROPSHEETUI_INFO_HEADER), SET_RESULT (lParam: a
// SETRESULT_INFO whose Result is what KpCompstuiSetUserResult set, CPSUI_OK
// unless changed), DESTROY (lParam 1). A callback answering INIT with 0 or
// less gets only DESTROY (lParam 0); the host then answers
// ERR_CPSUI_GETLASTERROR and writes CPSUI_CANCEL to *result. Otherwise it
// answers 1 and writes the user's result. The answers of GET_INFO_HEADER and
// SET_RESULT are recorded but do not stop the run.
//
// Pages: during INIT the callback may add pages through
// info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE,
// (LPARAM)page, 0), which answers a non-zero handle and takes the page into
// the host's keeping, or 0 for a page it did not take (a null page, a call
// outside INIT, or the n-th add a test failed with KpCompstuiFailAdd): that
// page stays the caller's to destroy. When INIT added pages, the host runs
// them after GET_INFO_HEADER as one property sheet (PropertySheetW with the
// header's title and the pages in order, kplatform/comctl32_prsht.h, played
// from the KP_SCRIPT_SHEET script): the sheet's 1 is CPSUI_OK, 0
// CPSUI_CANCEL (then SET_RESULT and DESTROY lParam 1 as above); its -1
// (no script, a page that would not open) skips SET_RESULT, gives DESTROY
// lParam 0, writes CPSUI_CANCEL and answers ERR_CPSUI_GETLASTERROR. With no
// pages added the user's result of KpCompstuiSetUserResult stands in for the
// sheet. Pages still kept when INIT fails are destroyed by the host.
#pragma once

#include "kplatform/wintypes.h"

#define PROPSHEETUI_REASON_INIT 0
#define PROPSHEETUI_REASON_GET_INFO_HEADER 1
#define PROPSHEETUI_REASON_DESTROY 2
#define PROPSHEETUI_REASON_SET_RESULT 3

#define CPSUI_CANCEL 0
#define CPSUI_OK 1

#define ERR_CPSUI_GETLASTERROR (-1)

// pfnComPropSheet functions.
#define CPSFUNC_ADD_HPROPSHEETPAGE 0

#define PROPSHEETUI_INFO_VERSION 0x0100

struct _PROPSHEETUI_INFO;
typedef LONG_PTR(WINAPI* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);
typedef LONG(WINAPI* PFNPROPSHEETUI)(struct _PROPSHEETUI_INFO* info, LPARAM lParam);

typedef struct _PROPSHEETUI_INFO {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  PFNCOMPROPSHEET pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
} PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;

typedef struct _SETRESULT_INFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hSetResult;
  LRESULT Result;
} SETRESULT_INFO, *PSETRESULT_INFO;

typedef struct _PROPSHEETUI_INFO_HEADER {
  WORD cbSize;
  WORD Flags;
  LPWSTR pTitle;
  HWND hWndParent;
  HINSTANCE hInst;
  ULONG_PTR IconID;
} PROPSHEETUI_INFO_HEADER, *PPROPSHEETUI_INFO_HEADER;

// The host's export, as a driver takes it with GetProcAddress.
typedef LONG(WINAPI* PFNCOMMONPROPERTYSHEETUIW)(HWND owner, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result);

// ---- Test controls (libkplatform) -------------------------------------------
// What the user "pressed" in the next sheets: CPSUI_OK or CPSUI_CANCEL.
KP_API void KpCompstuiSetUserResult(LRESULT result);
// One callback call the host made: the reason and the callback's answer.
typedef struct {
  WORD reason;
  LONG answer;
} KP_COMPSTUI_CALL;
// Copies at most capacity calls of the runs since the last reset; answers
// how many were recorded.
KP_API DWORD KpCompstuiCalls(KP_COMPSTUI_CALL* calls, DWORD capacity);
// Forgets the recorded calls and sets the user's result back to CPSUI_OK
// (also when the root changes).
KP_API void KpCompstuiReset(void);

// Makes the n-th page add from now (1: the next) answer 0; 0 fails none.
KP_API void KpCompstuiFailAdd(DWORD nth);

// The host's side of the controls (called by the compstui library only).
// KpCompstuiTakeFailAdd answers TRUE when this add is the one to fail.
KP_API BOOL KpCompstuiTakeFailAdd(void);
KP_API LRESULT KpCompstuiUserResult(void);
KP_API void KpCompstuiRecord(WORD reason, LONG answer);
