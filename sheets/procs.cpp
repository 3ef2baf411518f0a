// The dialog procedures: each asks the engine for the handler of the
// message in the table of its kind and lets the engine call it with its
// dialog number. The pages work replaces single slots of some of them; the
// print-type dialogs' are in printtype_dlg.cpp.
#include "kestrel/sheets/sheet_engine.h"

namespace {
INT_PTR Shell(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, WORD kind) {
  UI_MSGFUNC handler = nullptr;
  WORD slot = 0;
  if (!uiMsg_GetMsgFncTemplete(message, wParam, lParam, kind, &handler, &slot)) return 0;
  return uiMsg_CallMsgFnc(window, message, wParam, lParam, dlgNo, kind, handler);
}
}  // namespace

#define UI_PROC(name, no, kind) \
  INT_PTR name(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Shell(w, m, wp, lp, no, kind); }
UI_PROC(uiDlgPaper, 1, UI_KIND_ROOT)
UI_PROC(uiDlgOutput, 2, UI_KIND_ROOT)
UI_PROC(uiDlgGraphics, 3, UI_KIND_ROOT)
UI_PROC(uiDlgGraphicsMono, 3, UI_KIND_ROOT)
UI_PROC(uiDlgFont, 4, UI_KIND_CHILDDLG)
UI_PROC(uiDlgInit, 5, UI_KIND_ROOT)
UI_PROC(uiDlgOption, 6, UI_KIND_ROOT)
UI_PROC(uiDlgVersion, 8, UI_KIND_CHILDDLG)
UI_PROC(uiDlgOhpSheet, 10, UI_KIND_CHILDDLG)
UI_PROC(uiDlgLCC_Color, 11, UI_KIND_CHILDTAB)
UI_PROC(uiDlgDetail, 13, UI_KIND_ROOT)
UI_PROC(uiDlgMargin, 14, UI_KIND_CHILDTAB)
UI_PROC(uiDlgPosterBooklet, 16, UI_KIND_CHILDDLG)
UI_PROC(uiDlgStamp, 17, UI_KIND_ROOT)
UI_PROC(uiDlgStampNew, 18, UI_KIND_CHILDDLG)
UI_PROC(uiDlgStampEdit, 19, UI_KIND_CHILDDLG)
UI_PROC(uiDlgMixStaple, 20, UI_KIND_CHILDDLG)
UI_PROC(uiDlgCoverSheet, 21, UI_KIND_CHILDDLG)
UI_PROC(uiDlgFontSubst, 23, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserDefine, 24, UI_KIND_CHILDDLG)
UI_PROC(uiDlgHeaderPrint, 25, UI_KIND_CHILDDLG)
UI_PROC(uiDlgBalance, 26, UI_KIND_CHILDTAB)
UI_PROC(uiDlgICCProfile, 27, UI_KIND_CHILDTAB)
UI_PROC(uiDlgFullScalePrinting, 28, UI_KIND_CHILDTAB)
UI_PROC(uiDlgPrintPosition, 29, UI_KIND_CHILDTAB)
UI_PROC(uiDlgCoverInsert, 37, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserAdd, 35, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserEdit, 36, UI_KIND_CHILDDLG)
UI_PROC(uiDlgPrintArea, 39, UI_KIND_CHILDTAB)
UI_PROC(uiDlgManualTray, 40, UI_KIND_CHILDDLG)
UI_PROC(uiDlgPaperTypeForAPS, 41, UI_KIND_CHILDDLG)
UI_PROC(uiDlgInitJBA, 46, UI_KIND_ROOT)
UI_PROC(uiDlgJBADetail, 47, UI_KIND_CHILDDLG)
UI_PROC(uiDlgCoverInsertDFinisher, 48, UI_KIND_CHILDDLG)
UI_PROC(uiDlgBitmapNew, 50, UI_KIND_CHILDDLG)
UI_PROC(uiDlgBitmapEdit, 51, UI_KIND_CHILDDLG)
UI_PROC(uiDlgFax, 52, UI_KIND_ROOT)
UI_PROC(uiDlgPaperSelect, 53, UI_KIND_CHILDDLG)
UI_PROC(uiDlgSelectFinishing, 54, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserDefineDocPrp, 55, UI_KIND_CHILDDLG)
#undef UI_PROC
