// The dialog procedures: each asks the engine for the handler of the
// message in the table of its kind and lets the engine call it with its
// dialog number. Those with a number of the pages' procedure table (and
// their slot replacements) are sheets/pages/procedures.cpp.
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
UI_PROC(uiDlgGraphicsMono, 3, UI_KIND_ROOT)
UI_PROC(uiDlgVersion, 8, UI_KIND_CHILDDLG)
UI_PROC(uiDlgStamp, 17, UI_KIND_ROOT)
UI_PROC(uiDlgStampNew, 18, UI_KIND_CHILDDLG)
UI_PROC(uiDlgStampEdit, 19, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserDefine, 24, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserAdd, 35, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserEdit, 36, UI_KIND_CHILDDLG)
UI_PROC(uiDlgBitmapNew, 50, UI_KIND_CHILDDLG)
UI_PROC(uiDlgBitmapEdit, 51, UI_KIND_CHILDDLG)
UI_PROC(uiDlgFax, 52, UI_KIND_ROOT)
UI_PROC(uiDlgPaperSelect, 53, UI_KIND_CHILDDLG)
UI_PROC(uiDlgSelectFinishing, 54, UI_KIND_CHILDDLG)
UI_PROC(uiDlgUserDefineDocPrp, 55, UI_KIND_CHILDDLG)
#undef UI_PROC
