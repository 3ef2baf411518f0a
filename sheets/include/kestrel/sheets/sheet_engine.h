// The property-sheet engine: the tab design and the window-info tables
// (tabs.cpp), the common-UI callback of both sheets (propsheet.cpp), the
// message dispatch with its handler tables (dispatch.cpp), writing a value
// through the constraint engine and the redisplay (display.cpp), and the
// dialog procedures (procs.cpp). The control handlers are
// kestrel/sheets/sheet_controls.h.
//
// Every page and dialog gets the UI root record (kestrel/ui/uiroot.h): a
// tab page of the sheet the sheet's own, a sub-dialog or a nested sheet's
// page a copy (uiLParamCopyLParamTbl) whose settings go back to the page only
// when the user pressed OK. The engine keeps its state of one window in a
// UI_DLGDATA hung on the window as DWLP_USER, and the sheet's UIWINDATA (the
// UI data record's) as GWLP_USERDATA for the constraint engine's boxes.
//
// Decisions:
//  - Records with pointers are natural 64-bit structs (sizeof(PROPSHEETPAGEW)
//    is the platform's, not 40); the tables of this file are in-memory only.
//  - Permission: the document sheet has it unless fMode has DM_NOPERMISSION
//    (0x20); flavour 17 when fMode has DM_USER_DEFAULT (0x40), else 33. The
//    same two constants the exports use (kplatform/winddiui.h).
//  - PSN_RESET is -203 and PSN_QUERYCANCEL -209, as the platform defines
//    them; a dialog's Cancel sends PSN_RESET to its controls.
//  - Dialog 3's tab procedure is uiDlgGraphicsMono for both graphics tabs;
//    uiDlgGraphics is the same shell and stays for the pages work.
//  - WM_INITDIALOG reaches the rows (uiInitDialog sends it to every control;
//    the handlers of this engine ignore it, the pages' own row handlers may
//    use it); a modal dialog then gets PSN_SETACTIVE from the engine, since
//    no sheet sends it one.
//  - The constraint state of a setting is the action of the description's
//    rules on the setting as a whole (const_UpdateConstDataX in one step
//    with flag 1: the option's rule lists, no proposed value), taken for
//    every row at a redisplay.
#pragma once

#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiroot.h"
#include "kplatform/comctl32_prsht.h"
#include "kplatform/compstui.h"
#include "kplatform/wintypes.h"

#define UI_DLG_COUNT 56   // dialog numbers 0..55
#define UI_SLOT_COUNT 27  // message slots of a handler table
#define UI_MAX_TABS 20
#define UI_ADDTAB_END 56  // the key of additional tabs after the last tab

#define UI_NOSTRING (-3)   // no title / string id of its own
#define UI_CTLID_SELF (-3) // a row standing for the dialog itself
#define UI_DLGNO_PRINTER_SUB (-4)

// Window kinds.
#define UI_KIND_ROOT 1
#define UI_KIND_CHILDTAB 3
#define UI_KIND_CHILDDLG 4

// Sheet flavours.
#define UI_FLAVOUR_DOC_DEFAULT 17
#define UI_FLAVOUR_PRINTER 18
#define UI_FLAVOUR_DOC 33

// The engine's own messages.
#define UIM_REDISPLAY (WM_USER + 1500)
#define UIM_VALIDATE (WM_USER + 1502)
#define UIM_RESTORE (WM_USER + 1503)
#define UIM_DISPLAYCONSTMSG (WM_USER + 1504)
#define UIM_GETDLGNO (WM_USER + 1505)
#define UIM_ROWPARAM (WM_USER + 1506)
#define UIM_1507 (WM_USER + 1507)
#define UIM_SELNEXT (WM_USER + 1508)
#define UIM_1509 (WM_USER + 1509)

// GET_INFO_HEADER.
#define UI_HEADER_FLAGS 6  // PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE
#define UI_HEADER_ICON 64082

// Capabilities the tab design reads.
#define UI_CAP_INIT_JBA 0x2000000u
#define UI_CAP_FAX_SIMPLE ZANLIB_CAP_BIT(41)  // -65495
#define UI_CAP_NO_PRINTAREA ZANLIB_CAP_BIT(51)  // -65485
#define UI_DEVICE_TYPE_FAX 4

struct UI_MSGINFO;
struct UI_IDTBL;
struct UI_DSPCTX;

// A control handler (kestrel/sheets/sheet_controls.h).
typedef LONG (*UI_CTLFUNC)(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                           const void* param);
// A message handler of a slot.
typedef LONG (*UI_MSGFUNC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx);

// Display-information entry.
struct UI_DSPINFO {
  WORD ddmId;  // or a function id in the 0x9000 range
  WORD three;  // 3
};

// Control-table row.
struct UI_IDTBL {
  LONG controlId;  // UI_CTLID_SELF: the dialog itself
  LONG dspCount;
  const UI_DSPINFO* dsp;
  LONG type;           // 1..15
  UI_CTLFUNC handler;  // the row's own, or null
  const void* param;
  LONG relatedId;      // its label, or -3
  LONG stringId;       // or -3
  const void* subIds;  // or null
};

// Sub-id table of a row (its subIds): who may change the row's setting.
// Decision: SubIdTbl_Admin marks a setting only a user with permission may
// change: without permission the row is shown disabled (hidden stays
// hidden); SubIdTbl_AdminDspByControl does the same and its label (the
// row's related control) follows the control, shown and enabled as it is.
#define UI_SUBID_ADMIN 0x0001
#define UI_SUBID_DSPBYCONTROL 0x0002
struct UI_SUBIDTBL {
  WORD flags;
};
extern const UI_SUBIDTBL SubIdTbl_Admin;
extern const UI_SUBIDTBL SubIdTbl_AdminDspByControl;

// Control-info record.
struct UI_CONTROL_INFO {
  const UI_IDTBL* table;
  LONG rows;
  LONG helpBase;
  const void* helpTable;
  const WORD* dimOut;  // zero-ended, or null
  LONG reserved;
};

struct UI_WNDINFO;
// Tab-sheet record.
struct UI_TABSHEET {
  LONG templateId;
  DLGPROC proc;
  LONG dlgNo;
  LONG titleId;    // or UI_NOSTRING
  LONG titleItem;  // 0 or a select-item id
  const UI_WNDINFO* const* subs;
  LONG subCount;
  LONG zero;
};

// Window-info record.
struct UI_WNDINFO {
  LONG dlgNo;
  const UI_CONTROL_INFO* controlInfo;
  const UI_TABSHEET* tab;  // null for a sub-dialog
};

// Dialog record.
struct UI_DIALOG {
  LONG templateId;
  DLGPROC proc;
  LONG dlgNo;  // UI_DLGNO_PRINTER_SUB for the printer sheet's own
  LONG titleId;
  LONG titleItem;
  LONG secondTemplate;
};

// Dialog list of a kind 4/5 button (Part of the button record).
struct UI_DIALOGLIST {
  LONG checkFirst;  // 1: run the constraint check of ddmId first
  WORD ddmId;       // the setting checked first and whose item names the caption (0: none)
  LONG stringId;    // the caption's string when no item names it (or UI_NOSTRING)
  LONG startTemplate;
  LONG count;
  const UI_DIALOG* const* dialogs;
};

// The UI document record: one control-info copy per dialog number and the
// chain of selection information of the settings shown.
struct UI_SELENTRY {
  UI_SELENTRY* next;
  WORD ddmId;
  CDM_SELECT_INFO* info;
};
struct UI_DRVUIDOC {
  UI_CONTROL_INFO* controlInfo[UI_DLG_COUNT];
  UI_SELENTRY* selects;
};

// The engine's state of one sheet, hung on the root record (UIROOT::sheet).
struct UI_SHEET {
  WORD kind;        // SHEET_KIND_PRINTER / SHEET_KIND_DOCUMENT
  WORD design;      // 0 design A, 1 design B
  WORD permission;  // 1 the user may change the settings
  WORD flavour;
  WORD deviceType;
  WORD allConstChecked;
  WORD altAccount;
  WORD defaultUnit;  // UIWINDATA_UNIT_*
  ZANLIB_CAPABILITY caps;
  DWORD fMode;
  PFNCOMPROPSHEET pfnComPropSheet;
  HANDLE hComPropSheet;
  HPROPSHEETPAGE* pages;  // during INIT only
  LPWSTR* tabTitles;      // count + 1, null-ended
  UI_DRVUIDOC* uiDoc;
  BOOL ownsDdd;
  LONG writing;  // re-entry guard of uiSetRightData
  WORD dimOutRoom;
  const WORD** dimOut;  // the pages' dim-out lists without permission (null-ended), or null
};

// The engine's state of one page or dialog window (DWLP_USER).
struct UI_KEEP;
// A row's value in the display-state table.
struct UI_ROWVALUE {
  WORD type;        // 0: not read (no setting, or a function id)
  ULONG_PTR value;  // a number in its low bytes, or (type 6) the text's address
  LPWSTR text;      // type 6: an owned copy of the text
};
struct UI_DLGDATA {
  UIROOT* root;
  HWND window;
  HWND owner;   // the sheet's window
  LONG dlgNo;
  WORD kind;
  LONG buttonKind;  // the button command in progress, 0 none
  const UI_CONTROL_INFO* controlInfo;
  ConstInfo* info;
  LONG rows;      // of the control table, when the window was made
  WORD* states;  // per row: the constraint state (action), rows long
  UI_KEEP** keep;  // per row: the handler's keep data
  LONG titleDdmId;
  LONG* subResult;  // a modal dialog: where its OK/Cancel is written, or null
  // The display-state table of the rows (uiGetAllDmIdData,
  // uiTabDspTblPosChange): per row the value of its first display entry as
  // read from the devmode and its position in the setting's list. The
  // positions hold only while a display walk runs (positionsValid); any
  // write through uiSetRightData ends them, and the handlers read the
  // devmode again outside a walk.
  UI_ROWVALUE* values;
  LONG* positions;
  BOOL positionsValid;
};


// Message information.
struct UI_MSGINFO {
  UINT message;
  HWND dialog;
  HWND sheet;
  UIROOT* root;
  LONG dlgNo;
  LONG update;      // 1 redisplay wanted
  WORD* changed;    // owned (GlobalFree), zero-ended
  UI_CTLFUNC typeHandler;
  WORD changedId;
  UI_DLGDATA* data;
  WORD kind;
};

// What a slot handler gets.
struct UI_DSPCTX {
  const UI_IDTBL* table;
  LONG rows;
  UI_MSGINFO* msg;
};

// ---- Tables -----------------------------------------------------------------
extern const UI_WNDINFO uiWndInfoPaper, uiWndInfoPaperFinishingSummary, uiWndInfoPaperSFP, uiWndInfoOutput,
    uiWndInfoGraphicsColor, uiWndInfoGrpMono, uiWndInfoStamp, uiWndInfoDetail, uiWndInfoFax, uiWndInfoFaxSimple,
    uiWndInfoInit, uiWndInfoInitJBA, uiWndInfoOptionPrt, uiWndInfoOptionFax;
extern const UI_WNDINFO* const DefaultTabListDoc[];
extern const UI_WNDINFO* const DefaultTabListDoc_B[];
extern const UI_WNDINFO* const DefaultTabListPrn[];
extern const UI_WNDINFO* const DefaultTabListPrn_B[];
extern const UI_WNDINFO* const DefaultTabListDebug[];
extern const UI_WNDINFO* const DefaultTabListDebug_B[];
struct UI_ADDTAB {
  LONG key;
  const UI_WNDINFO* info;
};
extern const UI_ADDTAB AddTabListDoc[];
extern const UI_ADDTAB AddTabListDoc_B[];
// The window-info record of a dialog number in any table (the first found),
// or null.
const UI_WNDINFO* uiTabDef_FindWndInfo(LONG dlgNo);
// The sub-dialog record of a dialog number (0..55), or null.
const UI_DIALOG* uiTabDef_FindDialog(LONG dlgNo);
// A modal dialog's caption from its record: the title string, else the
// description's name of its title select item; the template's otherwise.
void uiSetDialogTitle(HWND window, LONG dlgNo, HCDDD ddd);

// Sub-dialog records.
extern const UI_DIALOG DialogPprManualTray, DialogPprPreferenceOfPaperType, DialogPprCoverSheet, DialogPprCoverInsert,
    DialogPprCoverInsertDFinisher, DialogPprOhpSheet, DialogPprDfnPprDP, DialogPprMixStaple, DialogPprUserAddSel,
    DialogPprUserEditSel, DialogPprPaperSelect, DialogSecurity, DialogSample, DialogDelay, DialogKnowledge,
    DialogSelectFinishing, DialogPprMargin, DialogPprPosterBooklet, DialogStpStampNew, DialogStpStampEdit,
    DialogStpBitmapNew, DialogStpBitmapEdit, DialogStpHeaderPrint, DialogGrpSetup, DialogDtlConfigFont,
    DialogDtlVersion, DialogIntSubFont, DialogIntSubFontJBA, DialogIntUserDefine, DialogIntUserDefineJBA,
    DialogIntJBADetail;

// ---- Tab design and INIT -------------------------------------------------------
WORD local_GetTabDesignType(HCDDD ddd);
const UI_WNDINFO** uiTabDef_AllocWndInfoTbl(HWND window, WORD kind, UIROOT* root, LONG* count, LONG zero,
                                            WORD deviceType);
BOOL uiTabDef_MakeWndInfoTbl(HWND window, WORD kind, UIROOT* root, const UI_WNDINFO** table, LONG zero,
                             WORD deviceType);
PROPSHEETPAGEW* ui_PropSheetInit(const UI_WNDINFO* const* table, UIROOT* root, LONG count, LONG* tabCount);
UI_DRVUIDOC* uiData_CreateDrvUiDoc(const UI_WNDINFO* const* table, LONG count);
void uiData_DestroyDrvUiDoc(UI_DRVUIDOC* doc);
const UI_CONTROL_INFO* uiGetControlInfoByDlgNo(HWND window, LONG dlgNo);

typedef LONG (*KUI_PAGEPROC)(HWND, UINT, WPARAM, LPARAM);
LONG CommonPropSheetProc(WORD kind, PROPSHEETUI_INFO* info, LPARAM lParam, void* header, KUI_PAGEPROC pageProc);
// The page callback of the tab pages (PSPCB_*): 1.
UINT CALLBACK uiPropSheetPageCallback(HWND window, UINT message, PROPSHEETPAGEW* page);
// Frees the engine's state of a sheet (the root record's sheetFree).
void uiSheet_Free(UIROOT* root);

// The UI root record of a window (its UI_DLGDATA's), the sheet of a record.
UI_DLGDATA* uiGetDlgData(HWND window);
UI_SHEET* uiGetSheet(const UIROOT* root);

// ---- Dispatch ------------------------------------------------------------------
WORD local_GetMsgIndex(UINT message, WPARAM wParam, LPARAM lParam);
BOOL uiMsg_GetMsgFncTemplete(UINT message, WPARAM wParam, LPARAM lParam, WORD kind, UI_MSGFUNC* handler, WORD* slot);
BOOL uiMsg_ReplaceMsgFnc(UI_MSGFUNC handler, WORD slotOfChoice, UI_MSGFUNC* inOut, WORD slotFound);
LONG uiMsg_CallMsgFnc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, WORD kind,
                      UI_MSGFUNC handler);
// The handler tables (27 slots).
extern const UI_MSGFUNC FncTbl_Root[UI_SLOT_COUNT];
extern const UI_MSGFUNC FncTbl_ChildTab[UI_SLOT_COUNT];
extern const UI_MSGFUNC FncTbl_ChildDlg[UI_SLOT_COUNT];

LONG uiMsg_CommandOnRoot(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_SndMsgTargetControl(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_SndMsgAllControl(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_InitDialogRoot(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_InitDialogChildTab(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_InitDialogChildDlg(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_SetActive(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_KillActive(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_Reset(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_Apply(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_Help(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_MeasureItem(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_Destroy(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_GetDlgNo(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_DisplayConstMsg(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);
LONG uiMsg_SelNext(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*);

// Calls every row's handler; see the dispatch notes in dispatch.cpp.
LONG uiAllControl(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* table, LONG rows,
                  LONG defaultResult);
// Sends a property-sheet notification (PSN_*) to every control of the
// dialog as the engine does ("dialog mode": no sheet involved).
LONG uiSendNotifyAllControl(UI_MSGINFO* msg, UINT code);
// The inner steps of the slot handlers: each walks the control table with
// its message (lParam the NMHDR of a notification) and answers what the
// page answers the sheet (uiKillActive: 1 keeps the page).
LONG uiInitDialog(UI_MSGINFO* msg, WPARAM wParam, LPARAM lParam);
LONG uiSetActive(UI_MSGINFO* msg, LPARAM lParam);
LONG uiKillActive(UI_MSGINFO* msg, LPARAM lParam);
LONG uiReset(UI_MSGINFO* msg, LPARAM lParam);
LONG uiApply(UI_MSGINFO* msg, LPARAM lParam);
// Help for the dialog number (its control-info's help base plus the number).
LONG uiHelp(HWND window, LONG dlgNo, const UI_MSGINFO* msg);

#define UI_HELP_FILE u"kestrel.hlp"
#define UI_ITEM_HEIGHT 16  // owner-drawn list items

// A fresh message information for the window (its state, root, kind).
void uiInitMsgInfo(UI_MSGINFO* msg, HWND window, UINT message);
// Calls the row's own handler or its type's.
LONG uiCallRow(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row);
// Frees the keep data of row i of the window.
void uiFreeKeep(UI_DLGDATA* data, LONG row);

// ---- Values and redisplay ------------------------------------------------------
// Adds the zero-ended ids to a changed list of room CONST_ROOM_CHANGED.
bool uiAddChangedIds(WORD** list, WORD* count, const WORD* ids);
// The selection information of a setting (made once per sheet), or null.
CDM_SELECT_INFO* uiGetSelectInfo(UI_MSGINFO* msg, WORD ddmId);
// value: the value slot (a number in its low bytes, a string's address).
LONG uiSetRightData(UI_MSGINFO* msg, WORD ddmId, WORD type, const ULONG_PTR* value, WORD** changed);
void uiSetUpDateMsgInfo(UI_MSGINFO* msg, WORD* changed, WORD ddmId);
void uiUpdateDisplay(UI_MSGINFO* msg, const WORD* changed);
// The redisplay's steps: every row's value read again from the devmode, the
// rows' display positions from those values, the captions of the rows that
// show a function id (0x9000 range) from the description's name of it.
void uiGetAllDmIdData(UI_MSGINFO* msg);
void uiTabDspTblPosChange(UI_MSGINFO* msg);
void uiFuncNameSet(UI_MSGINFO* msg);
// Ends the display positions of the window (a write, or the walk is over).
void uiEndDspPos(UI_MSGINFO* msg);
// The position of the row's setting's current value in its list (-1: not
// listed, or no list): the display-state table's during a display walk, the
// devmode's otherwise.
LONG uiGetDspPos(UI_MSGINFO* msg, const UI_IDTBL* row);
// The item position of a value of type `type` in a list (-1: none).
LONG uiSearchItemPos(const CDM_SELECT_INFO* si, WORD type, const ULONG_PTR* value);
void uiGetAllConstraintsUpdate(UI_MSGINFO* msg);
WORD uiGetNowFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row);
WORD uiTabGetFuncConstAction(UI_MSGINFO* msg, WORD ddmId);
void local_UpdateDisplyByConstAction(HWND control, WORD action);
// The dialog's row index of a row pointer (-1 when not in its table).
LONG uiRowIndex(const UI_MSGINFO* msg, const UI_IDTBL* row);

// ---- Root record copies ---------------------------------------------------------
// A copy of the root record with its own devmode and printer data (a
// sub-dialog's or nested sheet's), or null.
UIROOT* uiLParamCopyForChild(const UIROOT* from);
// Copies the child's settings into the page's record and frees the copy.
void uiLParamCopyBack(UIROOT* page, UIROOT* child);
void uiLParamFreeChild(UIROOT* child);

// ---- Dialog procedures ------------------------------------------------------
#define UI_DECLARE_PROC(name) INT_PTR name(HWND, UINT, WPARAM, LPARAM)
UI_DECLARE_PROC(uiDlgPaper);
UI_DECLARE_PROC(uiDlgOutput);
UI_DECLARE_PROC(uiDlgGraphics);
UI_DECLARE_PROC(uiDlgGraphicsMono);
UI_DECLARE_PROC(uiDlgStamp);
UI_DECLARE_PROC(uiDlgDetail);
UI_DECLARE_PROC(uiDlgFax);
UI_DECLARE_PROC(uiDlgInit);
UI_DECLARE_PROC(uiDlgInitJBA);
UI_DECLARE_PROC(uiDlgOption);
UI_DECLARE_PROC(uiDlgFont);
UI_DECLARE_PROC(uiDlgOhpSheet);
UI_DECLARE_PROC(uiDlgLCC_Color);
UI_DECLARE_PROC(uiDlgMargin);
UI_DECLARE_PROC(uiDlgPosterBooklet);
UI_DECLARE_PROC(uiDlgMixStaple);
UI_DECLARE_PROC(uiDlgCoverSheet);
UI_DECLARE_PROC(uiDlgSecurityPrint);
UI_DECLARE_PROC(uiDlgFontSubst);
UI_DECLARE_PROC(uiDlgHeaderPrint);
UI_DECLARE_PROC(uiDlgBalance);
UI_DECLARE_PROC(uiDlgICCProfile);
UI_DECLARE_PROC(uiDlgFullScalePrinting);
UI_DECLARE_PROC(uiDlgPrintPosition);
UI_DECLARE_PROC(uiDlgCoverInsert);
UI_DECLARE_PROC(uiDlgPrintArea);
UI_DECLARE_PROC(uiDlgManualTray);
UI_DECLARE_PROC(uiDlgPaperTypeForAPS);
UI_DECLARE_PROC(uiDlgSamplePrint);
UI_DECLARE_PROC(uiDlgDelayPrint);
UI_DECLARE_PROC(uiDlgKnowledgePrint);
UI_DECLARE_PROC(uiDlgJBADetail);
UI_DECLARE_PROC(uiDlgCoverInsertDFinisher);
UI_DECLARE_PROC(uiDlgUserDefineDocPrp);
UI_DECLARE_PROC(uiDlgUserAdd);
UI_DECLARE_PROC(uiDlgUserEdit);
UI_DECLARE_PROC(uiDlgPaperSelect);
UI_DECLARE_PROC(uiDlgSelectFinishing);
UI_DECLARE_PROC(uiDlgStampNew);
UI_DECLARE_PROC(uiDlgStampEdit);
UI_DECLARE_PROC(uiDlgBitmapNew);
UI_DECLARE_PROC(uiDlgBitmapEdit);
UI_DECLARE_PROC(uiDlgVersion);
UI_DECLARE_PROC(uiDlgFontSubst);
UI_DECLARE_PROC(uiDlgUserDefine);
#undef UI_DECLARE_PROC
