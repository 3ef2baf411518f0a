// The standard controls of the window stand-in: buttons, edits, statics,
// list boxes, combo boxes and scroll bars, as state in the window table
// (nothing is drawn), with their messages and notifications under their
// Windows names. How a person's actions reach them is in
// kplatform/user32_actions.h.
//
// Decisions:
//  - An edit keeps its text, selection, limit (EM_LIMITTEXT limits typing
//    only: WM_SETTEXT and EM_REPLACESEL by the program are never cut) and
//    read-only state; WM_SETTEXT tells the parent EN_UPDATE and EN_CHANGE,
//    as Windows does.
//  - List and combo boxes keep strings, item data and one selection; with
//    LBS_SORT / CBS_SORT added strings are placed in order (case ignored).
//    An owner-draw box without LBS_HASSTRINGS/CBS_HASSTRINGS keeps the item
//    data as the item (LB_GETTEXT copies nothing).
//  - Icons are handles only: LoadIconW/LoadImageW hand out a handle for an
//    icon resource of the module, and a static with SS_ICON keeps whatever
//    handle STM_SETICON/STM_SETIMAGE gives it (a CDM_ICON of the core, as
//    the sheets pass, is kept as it is).
//  - The DC of a WM_DRAWITEM records the text of DrawTextW and the icons of
//    DrawIconEx/DrawIcon (KpDrawnItems); gdi32's text calls do not accept
//    it. An owner-drawn static (SS_OWNERDRAW) is drawn as one item, 0
//    (ODT_STATIC, no item data).
#pragma once

#include "kplatform/user32_window.h"

#ifndef KP_HAVE_HDC
#define KP_HAVE_HDC
KP_DECLARE_HANDLE(HDC);
#endif
KP_DECLARE_HANDLE(HICON);

// ---- Buttons
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_3STATE 0x5L
#define BS_AUTO3STATE 0x6L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_OWNERDRAW 0xBL
#define BS_TYPEMASK 0xFL
#define BS_NOTIFY 0x4000L
#define BN_CLICKED 0
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7
#define BM_GETCHECK 0x00F0u
#define BM_SETCHECK 0x00F1u
#define BM_GETSTATE 0x00F2u
#define BM_SETSTATE 0x00F3u
#define BM_CLICK 0x00F5u
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2
#define BST_FOCUS 0x8

// ---- Edits
#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_PASSWORD 0x0020L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_NUMBER 0x2000L
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define EN_MAXTEXT 0x0501
#define EM_GETSEL 0x00B0u
#define EM_SETSEL 0x00B1u
#define EM_REPLACESEL 0x00C2u
#define EM_LIMITTEXT 0x00C5u
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_SETREADONLY 0x00CFu
#define EM_GETLIMITTEXT 0x00D5u

// ---- Statics
#define SS_LEFT 0x0L
#define SS_ICON 0x3L
#define SS_OWNERDRAW 0xDL
#define SS_TYPEMASK 0x1FL
#define SS_NOTIFY 0x100L
#define STN_CLICKED 0
#define STM_SETICON 0x0170u
#define STM_GETICON 0x0171u
#define STM_SETIMAGE 0x0172u
#define STM_GETIMAGE 0x0173u
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1

// ---- List boxes
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define LBS_OWNERDRAWFIXED 0x0010L
#define LBS_OWNERDRAWVARIABLE 0x0020L
#define LBS_HASSTRINGS 0x0040L
#define LB_OKAY 0
#define LB_ERR (-1)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SELCANCEL 3
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5
#define LB_ADDSTRING 0x0180u
#define LB_INSERTSTRING 0x0181u
#define LB_DELETESTRING 0x0182u
#define LB_RESETCONTENT 0x0184u
#define LB_SETCURSEL 0x0186u
#define LB_GETCURSEL 0x0188u
#define LB_GETTEXT 0x0189u
#define LB_GETTEXTLEN 0x018Au
#define LB_GETCOUNT 0x018Bu
#define LB_SELECTSTRING 0x018Cu
#define LB_FINDSTRING 0x018Fu
#define LB_GETITEMDATA 0x0199u
#define LB_SETITEMDATA 0x019Au
#define LB_SETITEMHEIGHT 0x01A0u
#define LB_GETITEMHEIGHT 0x01A1u
#define LB_FINDSTRINGEXACT 0x01A2u

// ---- Combo boxes
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_OWNERDRAWFIXED 0x0010L
#define CBS_OWNERDRAWVARIABLE 0x0020L
#define CBS_SORT 0x0100L
#define CBS_HASSTRINGS 0x0200L
#define CB_OKAY 0
#define CB_ERR (-1)
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10
#define CB_GETEDITSEL 0x0140u
#define CB_LIMITTEXT 0x0141u
#define CB_SETEDITSEL 0x0142u
#define CB_ADDSTRING 0x0143u
#define CB_DELETESTRING 0x0144u
#define CB_GETCOUNT 0x0146u
#define CB_GETCURSEL 0x0147u
#define CB_GETLBTEXT 0x0148u
#define CB_GETLBTEXTLEN 0x0149u
#define CB_INSERTSTRING 0x014Au
#define CB_RESETCONTENT 0x014Bu
#define CB_FINDSTRING 0x014Cu
#define CB_SELECTSTRING 0x014Du
#define CB_SETCURSEL 0x014Eu
#define CB_SHOWDROPDOWN 0x014Fu
#define CB_GETITEMDATA 0x0150u
#define CB_SETITEMDATA 0x0151u
#define CB_SETITEMHEIGHT 0x0153u
#define CB_GETITEMHEIGHT 0x0154u
#define CB_GETDROPPEDSTATE 0x0157u
#define CB_FINDSTRINGEXACT 0x0158u

// ---- Scroll bars
#define SBS_HORZ 0x0000L
#define SBS_VERT 0x0001L
#define SB_HORZ 0
#define SB_VERT 1
#define SB_CTL 2
#define SB_LINEUP 0
#define SB_LINEDOWN 1
#define SB_PAGEUP 2
#define SB_PAGEDOWN 3
#define SB_THUMBPOSITION 4
#define SB_THUMBTRACK 5
#define SB_TOP 6
#define SB_BOTTOM 7
#define SB_ENDSCROLL 8
#define SBM_SETPOS 0x00E0u
#define SBM_GETPOS 0x00E1u
#define SBM_SETRANGE 0x00E2u
#define SBM_GETRANGE 0x00E3u
#define SBM_SETRANGEREDRAW 0x00E6u
// On a scroll bar control (SB_CTL) only; the window's own bars (SB_HORZ,
// SB_VERT) are not kept: 0 and ERROR_INVALID_PARAMETER.
KP_API int WINAPI SetScrollPos(HWND window, int bar, int position, BOOL redraw);
KP_API int WINAPI GetScrollPos(HWND window, int bar);
KP_API BOOL WINAPI SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL redraw);
KP_API BOOL WINAPI GetScrollRange(HWND window, int bar, int* minimum, int* maximum);

// ---- Check and radio buttons by id
KP_API BOOL WINAPI CheckDlgButton(HWND dialog, int button, UINT check);
KP_API UINT WINAPI IsDlgButtonChecked(HWND dialog, int button);
// Checks `check` and clears the other buttons first..last.
KP_API BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check);

// ---- Owner-draw
#define ODT_LISTBOX 2
#define ODT_COMBOBOX 3
#define ODT_BUTTON 4
#define ODT_STATIC 5
#define ODA_DRAWENTIRE 0x0001
#define ODA_SELECT 0x0002
#define ODA_FOCUS 0x0004
#define ODS_SELECTED 0x0001
#define ODS_DISABLED 0x0004
#define ODS_FOCUS 0x0010
#define ODS_COMBOBOXEDIT 0x1000

typedef struct tagMEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
} MEASUREITEMSTRUCT, *LPMEASUREITEMSTRUCT;

typedef struct tagDRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
} DRAWITEMSTRUCT, *LPDRAWITEMSTRUCT;

#define DT_LEFT 0x0000u
#define DT_VCENTER 0x0004u
#define DT_SINGLELINE 0x0020u
#define DT_NOPREFIX 0x0800u
#define DI_NORMAL 0x0003u

// Drawing into the DC of a WM_DRAWITEM records (KpDrawnItems); any other DC:
// 0 / FALSE with ERROR_INVALID_HANDLE. DrawTextW answers a height of 16.
KP_API int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
KP_API BOOL WINAPI DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, void* brush,
                              UINT flags);
KP_API BOOL WINAPI DrawIcon(HDC dc, int x, int y, HICON icon);

// ---- Icons
#define LR_DEFAULTCOLOR 0x0000u
#define LR_SHARED 0x8000u
// A handle for the module's icon resource (RT_ICON, then RT_GROUP_ICON);
// null with the resource call's error when there is none. LoadImageW takes
// IMAGE_ICON only (others: null, ERROR_NOT_SUPPORTED).
KP_API HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);
KP_API HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
// FALSE with ERROR_INVALID_CURSOR_HANDLE
// for a handle LoadIconW did not hand out.
KP_API BOOL WINAPI DestroyIcon(HICON icon);
// Test control: icons handed out and not destroyed.
KP_API DWORD KpLiveIconCount(void);
