// The Output page's own handlers: the paper-source offer of the bypass-tray
// and paper-type buttons, the paper source's constraint state, the buttons
// that open sub-dialogs without the print-type check, and the cover-and-
// insert button that picks its dialog by the cover-insert dialog kind.
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/sheets/sheet_pages.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"

namespace {

void SkipEmptyCheck(UI_MSGINFO* msg) {
  if (UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog)) work->skipEmptyCheck = 1;
}

// The constraint action of item `value` of DDM 265 if it were chosen.
WORD ItemAction(UI_MSGINFO* msg, const CDM_SELECT_ITEM* item, WORD type) {
  UIROOT* root = msg->data->root;
  ConstInfo* info = const_AllocConstData();
  if (!info) return 1;
  CONST_SETTINGS s = {root->uiData->ddd, root->devmode, root->printerData};
  CONST_VALUE proposed = {DDM_INPUTBIN, type, &item->value};
  WORD r = const_DDDUpdateConstData(1, msg->dialog, &s, &proposed, nullptr, nullptr, info, nullptr, nullptr, 1);
  WORD action = r == CONST_OK ? info->action : 0;
  const_FreeConstData(info);
  return action;
}

}  // namespace

LONG local_CheckAndSolvePaperSourceCnst(UI_MSGINFO* msg, LONG value, UINT messageId) {
  if (!msg || !msg->data || !msg->data->root) return 0;
  UIROOT* root = msg->data->root;
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, DDM_INPUTBIN);
  if (!si) return 0;
  const WORD type = si->type ? si->type : 4;
  // 1. The item of the wanted value.
  LONG index = -1;
  for (LONG i = 0; i < cdmGetSelectItemNum(si) && index < 0; ++i) {
    const CDM_SELECT_ITEM* item = cdmGetSelectItemDevData(si, i);
    if (item && cdmDmConvertINT(type, &item->value) == value) index = i;
  }
  if (index < 0) return 0;
  const CDM_SELECT_ITEM* wanted = cdmGetSelectItemDevData(si, index);
  // 2. Restricted: nothing.
  if (ItemAction(msg, wanted, type) != 0) return 0;
  // 3. Already chosen.
  LONG current = 0;
  if (!ddm_GetNumber(DDM_INPUTBIN, root->devmode, root->printerData, &current) || current == value) return 0;
  // 4. Ask; Yes writes through the model's rules.
  WCHAR text[1024] = {};
  if (!uiMakeMsg(messageId, nullptr, 0, text, 1024)) return 0;
  if (uiMsgWindow(msg->dialog, text, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
  WORD* changed = nullptr;
  ULONG_PTR slot = wanted->value;
  LONG r = uiSetRightData(msg, DDM_INPUTBIN, type, &slot, &changed);
  if (r != 1) {
    GlobalFree(changed);
    return 0;
  }
  // The combo's entries carry their item's index (the common list handler
  // lists every item, those the rules hide too): the entry is found by it,
  // so that an item hidden before the wanted one does not shift the choice.
  HWND combo = GetDlgItem(msg->dialog, IDC_OUT_PAPERSOURCE);
  const LRESULT entries = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT at = 0; at < entries; ++at) {
    if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(at), 0) != index) continue;
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
    break;
  }
  uiSetUpDateMsgInfo(msg, changed, DDM_INPUTBIN);
  return 1;
}

LONG uiOutManualTray(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                     const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message == WM_COMMAND) local_CheckAndSolvePaperSourceCnst(msg, UI_PAPERSOURCE_MANUAL, UI_STR_OFFER_MANUAL);
  return uiButton(msg, message, wParam, lParam, row, param);
}

LONG uiOutPreferenceOfPapertype(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                                const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message == WM_COMMAND) {
    SkipEmptyCheck(msg);
    local_CheckAndSolvePaperSourceCnst(msg, UI_PAPERSOURCE_PAPERTYPE, UI_STR_OFFER_PAPERTYPE);
  }
  return uiButton(msg, message, wParam, lParam, row, param);
}

LONG uiOutPprSource(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                    const void* param) {
  if (!msg || !msg->data || !row) return 0;
  LONG r = uiComboBox(msg, message, wParam, lParam, row, param);
  if (message == UIM_REDISPLAY) uiLbCbConstUpDate(msg, row, UI_CT_COMBO);
  return r;
}

LONG uiOutMixStaple(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                    const void* param) {
  if (msg && msg->data && message == WM_COMMAND) SkipEmptyCheck(msg);
  return uiButton(msg, message, wParam, lParam, row, param);
}

LONG uiOutOHPInsertSheet(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                         const void* param) {
  if (msg && msg->data && message == WM_COMMAND) SkipEmptyCheck(msg);
  return uiButton(msg, message, wParam, lParam, row, param);
}

LONG uiOutCoverSheet(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                     const void* param) {
  const auto* rows = static_cast<const UI_BUTTONROWS*>(param);
  if (!msg || !msg->data || !row || !rows || rows->count < 1) return 0;
  LONG kind = uiCom_GetCoverInsertDlgKind(msg->data->root);  // 0 when it cannot be read
  if (kind < 0 || kind >= rows->count || !rows->buttons[kind]) kind = 0;
  if (message == WM_COMMAND) SkipEmptyCheck(msg);
  return uiButton(msg, message, wParam, lParam, row, rows->buttons[kind]);
}
