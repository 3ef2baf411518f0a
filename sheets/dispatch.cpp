// Message dispatch: the message-slot table, the three handler tables, the
// slot handlers and the walk over a dialog's control table.
//
// Notes:
//  - A window's engine state (UI_DLGDATA, DWLP_USER) is made at
//    WM_INITDIALOG and freed when the window gets WM_DESTROY, whatever its
//    kind: uiMsg_CallMsgFnc frees it after the slot's handler (the root's
//    uiMsg_Destroy; the child tables have none), so a dialog's keep data go
//    with it.
//  - The target of a message for one control: WM_COMMAND the control id in
//    LOWORD(wParam); WM_HSCROLL, WM_VSCROLL and WM_VKEYTOITEM the control's
//    window in lParam; WM_DRAWITEM and WM_MEASUREITEM the id in wParam; the
//    engine's WM_USER+1506..1509 the id in wParam.
#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_shell.h"

namespace {

struct MSGINDEX {
  WORD message;
  WORD code;  // the notification code's low 16 bits (WM_NOTIFY)
  WORD slot;
};
constexpr WORD Code(UINT code) { return static_cast<WORD>(code & 0xFFFF); }

// MessageIndex
const MSGINDEX MessageIndex[] = {
    {WM_COMMAND, 0, 0},
    {WM_INITDIALOG, 0, 1},
    {WM_NOTIFY, Code(PSN_SETACTIVE), 2},
    {WM_NOTIFY, Code(PSN_KILLACTIVE), 3},
    {WM_NOTIFY, Code(PSN_RESET), 4},
    {WM_NOTIFY, Code(PSN_APPLY), 5},
    {WM_NOTIFY, Code(PSN_HELP), 6},
    {WM_NOTIFY, Code(TCN_SELCHANGE), 7},
    {WM_VSCROLL, 0, 8},
    {WM_HSCROLL, 0, 9},
    {WM_HELP, 0, 10},
    {WM_CONTEXTMENU, 0, 11},
    {WM_MEASUREITEM, 0, 12},
    {WM_DRAWITEM, 0, 13},
    {WM_ERASEBKGND, 0, 14},
    {WM_VKEYTOITEM, 0, 15},
    {WM_QUERYNEWPALETTE, 0, 16},
    {WM_PALETTECHANGED, 0, 17},
    {WM_PAINT, 0, 18},
    {WM_MOUSEMOVE, 0, 19},
    {WM_DESTROY, 0, 20},
    {UIM_GETDLGNO, 0, 21},
    {UIM_ROWPARAM, 0, 22},
    {UIM_1507, 0, 23},
    {UIM_DISPLAYCONSTMSG, 0, 24},
    {UIM_SELNEXT, 0, 25},
    {UIM_1509, 0, 26},
    {0, 0, 0},
};

constexpr WORD kNoSlot = 0xFFFF;

UI_DLGDATA* NewDlgData(HWND window, UIROOT* root, LONG dlgNo, WORD kind, HWND owner) {
  const UI_CONTROL_INFO* ci = uiGetControlInfoByDlgNo(nullptr, dlgNo);
  UI_SHEET* sheet = uiGetSheet(root);
  if (sheet && sheet->uiDoc && dlgNo >= 0 && dlgNo < UI_DLG_COUNT && sheet->uiDoc->controlInfo[dlgNo])
    ci = sheet->uiDoc->controlInfo[dlgNo];
  auto* data = static_cast<UI_DLGDATA*>(kcore_Alloc(sizeof(UI_DLGDATA)));
  if (!data) return nullptr;
  const LONG rows = ci ? ci->rows : 0;
  data->root = root;
  data->window = window;
  data->owner = owner;
  data->dlgNo = dlgNo;
  data->kind = kind;
  data->controlInfo = ci;
  data->rows = rows;
  data->info = const_AllocConstData();
  data->states = static_cast<WORD*>(kcore_Alloc(sizeof(WORD) * static_cast<size_t>(rows + 1)));
  data->keep = static_cast<UI_KEEP**>(kcore_Alloc(sizeof(UI_KEEP*) * static_cast<size_t>(rows + 1)));
  data->values = static_cast<UI_ROWVALUE*>(kcore_Alloc(sizeof(UI_ROWVALUE) * static_cast<size_t>(rows + 1)));
  data->positions = static_cast<LONG*>(kcore_Alloc(sizeof(LONG) * static_cast<size_t>(rows + 1)));
  if (!data->info || !data->states || !data->keep || !data->values || !data->positions) {
    const_FreeConstData(data->info);
    kcore_Free(data->states);
    kcore_Free(data->keep);
    kcore_Free(data->values);
    kcore_Free(data->positions);
    kcore_Free(data);
    return nullptr;
  }
  return data;
}

void FreeDlgData(HWND window) {
  UI_DLGDATA* data = uiGetDlgData(window);
  if (!data) return;
  for (LONG i = 0; i < data->rows; ++i) {
    uiFreeKeep(data, i);
    kcore_Free(data->values[i].text);
  }
  const_FreeConstData(data->info);
  kcore_Free(data->states);
  kcore_Free(data->keep);
  kcore_Free(data->values);
  kcore_Free(data->positions);
  kcore_Free(data);
  SetWindowLongPtrW(window, DWLP_USER, 0);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

// Makes and hangs the window's state; sends WM_INITDIALOG to the rows.
LONG InitDialog(HWND window, WPARAM wParam, LPARAM lParam, LONG dlgNo, WORD kind, UIROOT* root, HWND owner) {
  if (!root || !root->uiData) return FALSE;
  UI_DLGDATA* data = NewDlgData(window, root, dlgNo, kind, owner);
  if (!data) return FALSE;
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&root->uiData->winData));
  UI_MSGINFO msg = {};
  uiInitMsgInfo(&msg, window, WM_INITDIALOG);
  uiInitDialog(&msg, wParam, lParam);
  GlobalFree(msg.changed);
  return TRUE;
}

LONG Answer(HWND window, LONG_PTR result) {
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

const UI_IDTBL* TargetRow(const UI_DSPCTX* ctx, UINT message, WPARAM wParam, LPARAM lParam) {
  LONG id = 0;
  switch (message) {
    case WM_COMMAND:
      id = LOWORD(wParam);
      break;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_VKEYTOITEM:
      id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      break;
    default:
      id = static_cast<LONG>(wParam);
      break;
  }
  for (LONG i = 0; i < ctx->rows; ++i)
    if (ctx->table[i].controlId == id) return &ctx->table[i];
  return nullptr;
}

}  // namespace

UI_DLGDATA* uiGetDlgData(HWND window) {
  return window ? reinterpret_cast<UI_DLGDATA*>(GetWindowLongPtrW(window, DWLP_USER)) : nullptr;
}

void uiInitMsgInfo(UI_MSGINFO* msg, HWND window, UINT message) {
  std::memset(msg, 0, sizeof *msg);
  msg->message = message;
  msg->dialog = window;
  UI_DLGDATA* data = uiGetDlgData(window);
  if (!data) return;
  msg->data = data;
  msg->root = data->root;
  msg->dlgNo = data->dlgNo;
  msg->kind = data->kind;
  msg->sheet = data->kind == UI_KIND_ROOT ? GetParent(window) : data->owner;
}

WORD local_GetMsgIndex(UINT message, WPARAM, LPARAM lParam) {
  WORD code = 0;
  if (message == WM_NOTIFY) {
    const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
    if (!hdr) return kNoSlot;
    code = Code(hdr->code);
  }
  for (const MSGINDEX* m = MessageIndex; m->message; ++m)
    if (m->message == message && (message != WM_NOTIFY || m->code == code)) return m->slot;
  return kNoSlot;
}

const UI_MSGFUNC FncTbl_Root[UI_SLOT_COUNT] = {
    uiMsg_CommandOnRoot, uiMsg_InitDialogRoot, uiMsg_SetActive, uiMsg_KillActive, uiMsg_Reset, uiMsg_Apply,
    uiMsg_Help, nullptr, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_Help, uiMsg_Help,
    uiMsg_MeasureItem, uiMsg_SndMsgTargetControl, nullptr, uiMsg_SndMsgTargetControl, uiMsg_SndMsgAllControl,
    uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, nullptr, uiMsg_Destroy, uiMsg_GetDlgNo,
    uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_DisplayConstMsg, uiMsg_SelNext,
    uiMsg_SndMsgTargetControl};
const UI_MSGFUNC FncTbl_ChildTab[UI_SLOT_COUNT] = {
    uiMsg_SndMsgTargetControl, uiMsg_InitDialogChildTab, uiMsg_SetActive, uiMsg_KillActive, uiMsg_Reset,
    uiMsg_Apply, uiMsg_Help, nullptr, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_Help,
    uiMsg_Help, uiMsg_MeasureItem, uiMsg_SndMsgTargetControl, nullptr, uiMsg_SndMsgTargetControl,
    uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, nullptr, nullptr, uiMsg_GetDlgNo,
    uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_DisplayConstMsg, uiMsg_SelNext,
    uiMsg_SndMsgTargetControl};
const UI_MSGFUNC FncTbl_ChildDlg[UI_SLOT_COUNT] = {
    uiMsg_SndMsgTargetControl, uiMsg_InitDialogChildDlg, uiMsg_SetActive, uiMsg_KillActive, uiMsg_Reset,
    uiMsg_Apply, uiMsg_Help, nullptr, uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_Help,
    uiMsg_Help, uiMsg_MeasureItem, uiMsg_SndMsgTargetControl, nullptr, uiMsg_SndMsgTargetControl,
    uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, uiMsg_SndMsgAllControl, nullptr, nullptr, uiMsg_GetDlgNo,
    uiMsg_SndMsgTargetControl, uiMsg_SndMsgTargetControl, uiMsg_DisplayConstMsg, uiMsg_SelNext,
    uiMsg_SndMsgTargetControl};

BOOL uiMsg_GetMsgFncTemplete(UINT message, WPARAM wParam, LPARAM lParam, WORD kind, UI_MSGFUNC* handler,
                             WORD* slot) {
  if (!handler || !slot) return FALSE;
  const UI_MSGFUNC* table = kind == UI_KIND_ROOT       ? FncTbl_Root
                            : kind == UI_KIND_CHILDTAB ? FncTbl_ChildTab
                            : kind == UI_KIND_CHILDDLG ? FncTbl_ChildDlg
                                                       : nullptr;
  WORD s = local_GetMsgIndex(message, wParam, lParam);
  if (!table || s == kNoSlot) return FALSE;
  *slot = s;
  *handler = table[s];
  return TRUE;
}

BOOL uiMsg_ReplaceMsgFnc(UI_MSGFUNC handler, WORD slotOfChoice, UI_MSGFUNC* inOut, WORD slotFound) {
  if (slotOfChoice >= UI_SLOT_COUNT || slotFound >= UI_SLOT_COUNT || !handler || !inOut) return FALSE;
  if (slotOfChoice == slotFound) *inOut = handler;
  return TRUE;
}

LONG uiMsg_CallMsgFnc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, WORD kind,
                      UI_MSGFUNC handler) {
  LONG result = 0;
  if (handler) {
    UI_MSGINFO msg = {};
    uiInitMsgInfo(&msg, window, message);
    msg.dlgNo = dlgNo;
    msg.kind = kind;
    if (kind == UI_KIND_ROOT) msg.sheet = GetParent(window);
    UI_DSPCTX ctx = {};
    const UI_CONTROL_INFO* ci = msg.data ? msg.data->controlInfo : uiGetControlInfoByDlgNo(window, dlgNo);
    if (ci) {
      ctx.table = ci->table;
      ctx.rows = ci->rows;
    }
    ctx.msg = &msg;
    result = handler(window, message, wParam, lParam, dlgNo, &ctx);
    GlobalFree(msg.changed);
  }
  if (message == WM_DESTROY) FreeDlgData(window);
  return result;
}

// ---- Walks -------------------------------------------------------------------------

LONG uiCallRow(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row) {
  UI_CTLFUNC type = uiSearchControlFunc(static_cast<WORD>(row->type));
  msg->typeHandler = type;
  UI_CTLFUNC f = row->handler ? row->handler : type;
  return f ? f(msg, message, wParam, lParam, row, row->param) : 0;
}

LONG uiAllControl(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* table, LONG rows,
                  LONG defaultResult) {
  LONG result = defaultResult;
  if (!msg || !table) return result;
  for (LONG i = 0; i < rows; ++i) {
    LONG r = uiCallRow(msg, message, wParam, lParam, &table[i]);
    if (r != defaultResult) {
      result = r;
      if (message == UIM_VALIDATE) return result;
    }
  }
  return result;
}

LONG uiSendNotifyAllControl(UI_MSGINFO* msg, UINT code) {
  if (!msg || !msg->data || !msg->data->controlInfo) return 0;
  PSHNOTIFY n = {};
  n.hdr.hwndFrom = msg->dialog;
  n.hdr.code = code;
  const UINT saved = msg->message;
  msg->message = WM_NOTIFY;
  const LPARAM lParam = reinterpret_cast<LPARAM>(&n);
  LONG r = code == PSN_SETACTIVE ? uiSetActive(msg, lParam)
                                 : uiAllControl(msg, WM_NOTIFY, 0, lParam, msg->data->controlInfo->table,
                                                msg->data->controlInfo->rows, 0);
  msg->message = saved;
  return r;
}

// ---- Inner steps ----------------------------------------------------------------------

namespace {
LONG Walk(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam) {
  const UI_CONTROL_INFO* ci = msg && msg->data ? msg->data->controlInfo : nullptr;
  return ci ? uiAllControl(msg, message, wParam, lParam, ci->table, ci->rows, 0) : 0;
}
}  // namespace

LONG uiInitDialog(UI_MSGINFO* msg, WPARAM wParam, LPARAM lParam) {
  // The rows see WM_INITDIALOG (the engine's own handlers ignore it).
  return Walk(msg, WM_INITDIALOG, wParam, lParam);
}

LONG uiSetActive(UI_MSGINFO* msg, LPARAM lParam) {
  if (!msg || !msg->data) return 0;
  uiGetAllDmIdData(msg);
  uiGetAllConstraintsUpdate(msg);
  uiTabDspTblPosChange(msg);
  LONG r = Walk(msg, WM_NOTIFY, 0, lParam);
  uiFuncNameSet(msg);
  uiEndDspPos(msg);
  return r;
}

LONG uiKillActive(UI_MSGINFO* msg, LPARAM lParam) {
  if (!msg || !msg->data) return 0;
  LONG r = Walk(msg, WM_NOTIFY, 0, lParam);
  if (msg->update) {  // a value the leave checked and wrote
    uiUpdateDisplay(msg, msg->changed);
    msg->update = 0;
  }
  return r ? 1 : 0;
}

LONG uiReset(UI_MSGINFO* msg, LPARAM lParam) {
  if (!msg || !msg->data) return 0;
  Walk(msg, WM_NOTIFY, 0, lParam);
  return 0;
}

LONG uiApply(UI_MSGINFO* msg, LPARAM lParam) {
  if (!msg || !msg->data) return PSNRET_NOERROR;
  Walk(msg, WM_NOTIFY, 0, lParam);
  return PSNRET_NOERROR;
}

LONG uiHelp(HWND window, LONG dlgNo, const UI_MSGINFO* msg) {
  LONG base = 0;
  if (msg && msg->data && msg->data->controlInfo) base = msg->data->controlInfo->helpBase;
  return WinHelpW(window, UI_HELP_FILE, HELP_CONTEXT, static_cast<ULONG_PTR>(base + dlgNo)) ? TRUE : FALSE;
}

// ---- Slot handlers ------------------------------------------------------------------

LONG uiMsg_SndMsgTargetControl(HWND, UINT message, WPARAM wParam, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_VKEYTOITEM:
    case UIM_ROWPARAM:
    case UIM_1507:
    case UIM_SELNEXT:
    case UIM_1509:
      break;
    default:
      return 1;
  }
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  const UI_IDTBL* row = TargetRow(ctx, message, wParam, lParam);
  if (!row) return 0;
  UI_MSGINFO* msg = ctx->msg;
  LONG r = uiCallRow(msg, message, wParam, lParam, row);
  if (msg->update) {
    uiUpdateDisplay(msg, msg->changed);
    msg->update = 0;
    GlobalFree(msg->changed);
    msg->changed = nullptr;
  }
  return r;
}

LONG uiMsg_CommandOnRoot(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_SndMsgTargetControl(window, message, wParam, lParam, dlgNo, ctx);
}

LONG uiMsg_SndMsgAllControl(HWND, UINT message, WPARAM wParam, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  return uiAllControl(ctx->msg, message, wParam, lParam, ctx->table, ctx->rows, 0);
}

LONG uiMsg_InitDialogRoot(HWND window, UINT, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX*) {
  const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
  auto* root = page ? reinterpret_cast<UIROOT*>(page->lParam) : nullptr;
  if (root && root->uiData) root->uiData->sheetWindow = GetParent(window);
  return InitDialog(window, wParam, lParam, dlgNo, UI_KIND_ROOT, root, GetParent(window));
}

LONG uiMsg_InitDialogChildTab(HWND window, UINT, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX*) {
  const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
  auto* root = page ? reinterpret_cast<UIROOT*>(page->lParam) : nullptr;
  return InitDialog(window, wParam, lParam, dlgNo, UI_KIND_CHILDTAB, root, GetParent(window));
}

LONG uiMsg_InitDialogChildDlg(HWND window, UINT, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX*) {
  auto* root = reinterpret_cast<UIROOT*>(lParam);
  if (!InitDialog(window, wParam, lParam, dlgNo, UI_KIND_CHILDDLG, root, GetParent(window))) {
    EndDialog(window, -1);
    return FALSE;
  }
  // Its caption from its record; no sheet activates a modal dialog: the
  // engine shows its controls.
  uiSetDialogTitle(window, dlgNo, root->uiData->ddd);
  UI_MSGINFO msg = {};
  uiInitMsgInfo(&msg, window, WM_NOTIFY);
  uiSendNotifyAllControl(&msg, PSN_SETACTIVE);
  GlobalFree(msg.changed);
  return TRUE;
}

LONG uiMsg_SetActive(HWND window, UINT, WPARAM, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  uiSetActive(ctx->msg, lParam);
  return Answer(window, 0);
}

LONG uiMsg_KillActive(HWND window, UINT, WPARAM, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  return Answer(window, uiKillActive(ctx->msg, lParam));
}

LONG uiMsg_Reset(HWND window, UINT, WPARAM, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  return Answer(window, uiReset(ctx->msg, lParam));
}

LONG uiMsg_Apply(HWND window, UINT, WPARAM, LPARAM lParam, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  return Answer(window, uiApply(ctx->msg, lParam));
}

LONG uiMsg_Help(HWND window, UINT, WPARAM, LPARAM, LONG dlgNo, UI_DSPCTX* ctx) {
  uiHelp(window, dlgNo, ctx ? ctx->msg : nullptr);
  return TRUE;
}

LONG uiMsg_MeasureItem(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
  if (m) m->itemHeight = UI_ITEM_HEIGHT;
  // Before WM_INITDIALOG the window has no engine state: the height is all.
  if (ctx && ctx->msg && ctx->msg->data) uiMsg_SndMsgTargetControl(window, message, wParam, lParam, dlgNo, ctx);
  return TRUE;
}

LONG uiMsg_Destroy(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX*) {
  return 0;  // the window's state is freed by uiMsg_CallMsgFnc
}

LONG uiMsg_GetDlgNo(HWND window, UINT, WPARAM, LPARAM, LONG dlgNo, UI_DSPCTX*) { return Answer(window, dlgNo); }

LONG uiMsg_DisplayConstMsg(HWND, UINT, WPARAM, LPARAM, LONG, UI_DSPCTX* ctx) {
  if (!ctx || !ctx->msg || !ctx->msg->data) return 0;
  uiUpdateDisplay(ctx->msg, nullptr);
  return TRUE;
}

LONG uiMsg_SelNext(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_SndMsgTargetControl(window, message, wParam, lParam, dlgNo, ctx);
}
