// The common controls of the window stand-in (comctl32): up-down, trackbar,
// list view and tab, as state in the window table, nothing drawn. Their
// orders of notification are written in kplatform/user32_actions.h.
//
// Decisions:
//  - Up-down: UDM_SETRANGE takes the upper limit in the low word and the
//    lower limit in the high word (both signed 16 bits); "up" moves towards
//    the upper limit, whichever is larger. The default range is 0..100
//    (upper 0, lower 100, as Windows). UDM_GETPOS answers the position in
//    the low word (high word 0).
//  - Trackbar: range 0..100, line 1, page 20 until set; positions are kept
//    within the range.
//  - List view: items with text, lParam and state (LVIS_SELECTED,
//    LVIS_FOCUSED); columns and sub-items are accepted and not kept.
//    LVM_SETITEMSTATE tells the parent LVN_ITEMCHANGED for each item whose
//    state changes, as Windows does.
//  - Tab: items with text and lParam, one selection; TCM_SETCURSEL tells no
//    one.
//  - Tree view: items with text and lParam under a parent (TVI_ROOT for the
//    top level), siblings in their order (TVI_FIRST, TVI_LAST or after a
//    given sibling; TVI_SORT sorts by text); handles are small numbers that
//    are never reused while the control lives. TVM_DELETEITEM removes the
//    item with everything below it (TVI_ROOT: all). Expansion, selection,
//    images and the TVN_ notifications are not kept.
#pragma once

#include "kplatform/user32_window.h"

#define UPDOWN_CLASSW u"msctls_updown32"
#define TRACKBAR_CLASSW u"msctls_trackbar32"
#define WC_LISTVIEWW u"SysListView32"
#define WC_TABCONTROLW u"SysTabControl32"
#define WC_TREEVIEWW u"SysTreeView32"

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;
#define ICC_LISTVIEW_CLASSES 0x00000001u
#define ICC_TAB_CLASSES 0x00000008u
#define ICC_UPDOWN_CLASS 0x00000010u
#define ICC_BAR_CLASSES 0x00000004u
// Answers TRUE: the classes are always there.
KP_API BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// ---- Up-down
#define UDS_WRAP 0x0001L
#define UDS_SETBUDDYINT 0x0002L
#define UDS_ALIGNRIGHT 0x0004L
#define UDS_AUTOBUDDY 0x0010L
#define UDS_ARROWKEYS 0x0020L
#define UDS_HORZ 0x0040L
#define UDS_NOTHOUSANDS 0x0080L
#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)
#define UDN_FIRST (0U - 721U)
#define UDN_DELTAPOS (UDN_FIRST - 1)
typedef struct _NM_UPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
} NMUPDOWN, *LPNMUPDOWN;

// ---- Trackbar
#define TBS_HORZ 0x0000L
#define TBS_VERT 0x0002L
#define TB_LINEUP 0
#define TB_LINEDOWN 1
#define TB_PAGEUP 2
#define TB_PAGEDOWN 3
#define TB_THUMBPOSITION 4
#define TB_THUMBTRACK 5
#define TB_TOP 6
#define TB_BOTTOM 7
#define TB_ENDTRACK 8
#define TBM_GETPOS (WM_USER)
#define TBM_GETRANGEMIN (WM_USER + 1)
#define TBM_GETRANGEMAX (WM_USER + 2)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGE (WM_USER + 6)
#define TBM_SETRANGEMIN (WM_USER + 7)
#define TBM_SETRANGEMAX (WM_USER + 8)
#define TBM_SETPAGESIZE (WM_USER + 21)
#define TBM_GETPAGESIZE (WM_USER + 22)
#define TBM_SETLINESIZE (WM_USER + 23)
#define TBM_GETLINESIZE (WM_USER + 24)

// ---- Tooltip (CreateWindowExW with TOOLTIPS_CLASSW): its tools and their
// texts, kept and read back (TTM_GETTEXTW), nothing shown. A tool is named
// by its window and id; TTF_IDISHWND tools by the control's handle in uId.
#define TOOLTIPS_CLASSW u"tooltips_class32"
#define TTS_ALWAYSTIP 0x01L
#define TTS_NOPREFIX 0x02L
#define TTF_IDISHWND 0x0001u
#define TTF_SUBCLASS 0x0010u
#define TTM_ACTIVATE (WM_USER + 1)
#define TTM_SETMAXTIPWIDTH (WM_USER + 24)
#define TTM_GETTOOLCOUNT (WM_USER + 13)
#define TTM_ADDTOOLW (WM_USER + 50)
#define TTM_DELTOOLW (WM_USER + 51)
#define TTM_GETTEXTW (WM_USER + 56)
#define TTM_UPDATETIPTEXTW (WM_USER + 57)
typedef struct tagTOOLINFOW {
  UINT cbSize;
  UINT uFlags;
  HWND hwnd;
  UINT_PTR uId;
  RECT rect;
  HINSTANCE hinst;
  LPWSTR lpszText;
  LPARAM lParam;
  void* lpReserved;
} TTTOOLINFOW, *LPTTTOOLINFOW;
// TTM_ADDTOOLW: TRUE when added (a tool already there takes the new text);
// TTM_UPDATETIPTEXTW and TTM_DELTOOLW: the tool named by hwnd and uId (none:
// nothing); TTM_GETTEXTW (wParam the room in characters, lpszText the
// buffer): the tool's text, empty for no tool; TTM_GETTOOLCOUNT.
// A text is kept as given; LPSTR_TEXTCALLBACKW and resource ids are not
// read.

// ---- List view
#define LVS_REPORT 0x0001L
#define LVS_SINGLESEL 0x0004L
#define LVIF_TEXT 0x0001u
#define LVIF_IMAGE 0x0002u
#define LVIF_PARAM 0x0004u
#define LVIF_STATE 0x0008u
#define LVIS_FOCUSED 0x0001u
#define LVIS_SELECTED 0x0002u
#define LVNI_ALL 0x0000u
#define LVNI_FOCUSED 0x0001u
#define LVNI_SELECTED 0x0002u
#define LVM_FIRST 0x1000u
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
typedef struct tagLVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
} LVITEMW, *LPLVITEMW;
typedef struct tagLVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
} LVCOLUMNW, *LPLVCOLUMNW;
typedef struct tagNMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMLISTVIEW, *LPNMLISTVIEW;

// ---- Tab
#define TCIF_TEXT 0x0001u
#define TCIF_IMAGE 0x0002u
#define TCIF_PARAM 0x0008u
#define TCM_FIRST 0x1300u
#define TCM_GETITEMCOUNT (TCM_FIRST + 4)
#define TCM_DELETEALLITEMS (TCM_FIRST + 9)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_SETCURSEL (TCM_FIRST + 12)
#define TCM_GETITEMW (TCM_FIRST + 60)
#define TCM_INSERTITEMW (TCM_FIRST + 62)
#define TCN_FIRST (0U - 550U)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)
typedef struct tagTCITEMW {
  UINT mask;
  DWORD dwState;
  DWORD dwStateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
} TCITEMW, *LPTCITEMW;

// ---- Tree view
struct _TREEITEM;
typedef struct _TREEITEM* HTREEITEM;
#define TVI_ROOT ((HTREEITEM)(ULONG_PTR)-0x10000)
#define TVI_FIRST ((HTREEITEM)(ULONG_PTR)-0x0FFFF)
#define TVI_LAST ((HTREEITEM)(ULONG_PTR)-0x0FFFE)
#define TVI_SORT ((HTREEITEM)(ULONG_PTR)-0x0FFFD)
#define TVS_HASBUTTONS 0x0001L
#define TVS_HASLINES 0x0002L
#define TVS_LINESATROOT 0x0004L
#define TVIF_TEXT 0x0001u
#define TVIF_IMAGE 0x0002u
#define TVIF_PARAM 0x0004u
#define TVIF_STATE 0x0008u
#define TVIF_HANDLE 0x0010u
#define TVIF_CHILDREN 0x0040u
#define TVGN_ROOT 0x0000u
#define TVGN_NEXT 0x0001u
#define TVGN_PREVIOUS 0x0002u
#define TVGN_PARENT 0x0003u
#define TVGN_CHILD 0x0004u
#define TVE_EXPAND 0x0002u
#define TV_FIRST 0x1100u
#define TVM_DELETEITEM (TV_FIRST + 1)
#define TVM_EXPAND (TV_FIRST + 2)
#define TVM_GETCOUNT (TV_FIRST + 5)
#define TVM_GETNEXTITEM (TV_FIRST + 10)
#define TVM_INSERTITEMW (TV_FIRST + 50)
#define TVM_GETITEMW (TV_FIRST + 62)
#define TVM_SETITEMW (TV_FIRST + 63)
typedef struct tagTVITEMW {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
} TVITEMW, *LPTVITEMW;
typedef struct tagTVINSERTSTRUCTW {
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  TVITEMW item;
} TVINSERTSTRUCTW, *LPTVINSERTSTRUCTW;
