// Property sheets of the window stand-in (comctl32): pages made from dialog
// templates, a sheet that runs them, nothing shown.
//
// CreatePropertySheetPageW copies the record (dwSize bytes, so a caller's
// data behind the record travel with it) and, with PSP_USECALLBACK, calls
// pfnCallback(null, PSPCB_ADDREF, copy). DestroyPropertySheetPage calls
// PSPCB_RELEASE and frees the copy; a page handed to PropertySheetW belongs
// to the sheet, which destroys every page when it closes (as Windows), also
// when it fails.
//
// PropertySheetW runs a modal sheet: a frame window (class "#32770", a
// child of hwndParent in the window table) and its pages, each made at its
// first activation: PSPCB_CREATE (0 keeps the page unmade and the switch
// fails), the page dialog from its template with WM_INITDIALOG's lParam the
// sheet's copy of the page record. A notification is WM_NOTIFY with a
// PSHNOTIFY (hwndFrom the frame, idFrom 0); the page's answer is its
// DWLP_MSGRESULT, cleared before each notification, so a procedure that only
// returns TRUE without setting it agrees.
//  - Start: the start page made and sent PSN_SETACTIVE.
//  - Switch: PSN_KILLACTIVE to the current page (a non-zero answer keeps
//    it), the new page made if needed, PSN_SETACTIVE to it.
//  - OK: PSN_KILLACTIVE to the current page (non-zero keeps the sheet
//    open), then PSN_APPLY (lParam TRUE) to every made page in order (an
//    answer PSNRET_INVALID or PSNRET_INVALID_NOCHANGEPAGE keeps the sheet
//    open on that page); the sheet answers 1.
//  - Cancel: PSN_QUERYCANCEL to the current page (non-zero keeps the sheet
//    open), then PSN_RESET to every made page; the sheet answers 0.
//  - -1 for a null or short header, no pages, a page that cannot be made
//    at the start, PSH_MODELESS (not kept by the stand-in:
//    ERROR_NOT_SUPPORTED).
// The sheet plays the script queued with KpScriptDialog(KP_SCRIPT_SHEET);
// without one it answers -1 at once (pages destroyed, ERROR_CANCELLED);
// a script leaving the sheet open ends with Cancel (and, if a page refuses,
// closes it as cancelled). PSM_CHANGED and PSM_UNCHANGED are recorded
// (KpSheetChanges) and do not change the answer. Pages' windows get
// WM_DESTROY when the sheet closes.
//
// Decision: records holding pointers are the natural 64-bit layouts
// (sizeof(PROPSHEETPAGEW) is 72 here, not the 40 bytes of a 32-bit build);
// a dwSize below PROPSHEETPAGEW_V1_SIZE is refused.
#pragma once

#include "kplatform/user32_dialog.h"

struct _PSP;
typedef struct _PSP* HPROPSHEETPAGE;
struct _PROPSHEETPAGEW;
typedef UINT(CALLBACK* LPFNPSPCALLBACKW)(HWND window, UINT message, struct _PROPSHEETPAGEW* page);
typedef int(CALLBACK* PFNPROPSHEETCALLBACK)(HWND sheet, UINT message, LPARAM lParam);

typedef struct _PROPSHEETPAGEW {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  union {
    LPCWSTR pszTemplate;
    const void* pResource;
  };
  union {
    HANDLE hIcon;
    LPCWSTR pszIcon;
  };
  LPCWSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKW pfnCallback;
  UINT* pcRefParent;
} PROPSHEETPAGEW, *LPPROPSHEETPAGEW;
typedef const PROPSHEETPAGEW* LPCPROPSHEETPAGEW;
#define PROPSHEETPAGEW_V1_SIZE (sizeof(PROPSHEETPAGEW))
static_assert(sizeof(PROPSHEETPAGEW) == 72 && offsetof(PROPSHEETPAGEW, lParam) == 48);

typedef struct _PROPSHEETHEADERW {
  DWORD dwSize;
  DWORD dwFlags;
  HWND hwndParent;
  HINSTANCE hInstance;
  union {
    HANDLE hIcon;
    LPCWSTR pszIcon;
  };
  LPCWSTR pszCaption;
  UINT nPages;
  union {
    UINT nStartPage;
    LPCWSTR pStartPage;
  };
  union {
    LPCPROPSHEETPAGEW ppsp;
    HPROPSHEETPAGE* phpage;
  };
  PFNPROPSHEETCALLBACK pfnCallback;
} PROPSHEETHEADERW, *LPPROPSHEETHEADERW;
typedef const PROPSHEETHEADERW* LPCPROPSHEETHEADERW;

typedef struct _PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
} PSHNOTIFY, *LPPSHNOTIFY;

#define PSP_DEFAULT 0x00000000u
#define PSP_DLGINDIRECT 0x00000001u
#define PSP_USEHICON 0x00000002u
#define PSP_USEICONID 0x00000004u
#define PSP_USETITLE 0x00000008u
#define PSP_RTLREADING 0x00000010u
#define PSP_HASHELP 0x00000020u
#define PSP_USEREFPARENT 0x00000040u
#define PSP_USECALLBACK 0x00000080u
#define PSP_PREMATURE 0x00000400u
#define PSPCB_ADDREF 0
#define PSPCB_RELEASE 1
#define PSPCB_CREATE 2

#define PSH_DEFAULT 0x00000000u
#define PSH_PROPTITLE 0x00000001u
#define PSH_USEHICON 0x00000002u
#define PSH_USEICONID 0x00000004u
#define PSH_PROPSHEETPAGE 0x00000008u
#define PSH_USEPSTARTPAGE 0x00000040u
#define PSH_NOAPPLYNOW 0x00000080u
#define PSH_USECALLBACK 0x00000100u
#define PSH_HASHELP 0x00000200u
#define PSH_MODELESS 0x00000400u

#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)
#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_REMOVEPAGE (WM_USER + 102)
#define PSM_ADDPAGE (WM_USER + 103)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_QUERYSIBLINGS (WM_USER + 108)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)
#define PSBTN_OK 1
#define PSBTN_CANCEL 5

KP_API HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW page);
KP_API BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page);
KP_API INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW header);

// ---- Test controls
// PSM_CHANGED / PSM_UNCHANGED received since the last clear: the page
// windows that sent them, in order, PSM_UNCHANGED marked by `unchanged`.
typedef struct _KP_SHEET_CHANGE {
  HWND page;
  BOOL unchanged;
} KP_SHEET_CHANGE;
KP_API DWORD KpSheetChanges(KP_SHEET_CHANGE* changes, DWORD capacity);
KP_API void KpClearSheetChanges(void);
// Property-sheet pages created and not yet destroyed (leak checks).
KP_API DWORD KpLivePropertySheetPages(void);
// The sheet running innermost, or null; its current page.
KP_API HWND KpCurrentSheet(void);
KP_API HWND KpSheetCurrentPage(HWND sheet);
