// Writing a value through the constraint engine, the constraint state of
// the rows and the redisplay after a change.
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kplatform/kwindows.h"

namespace {

constexpr WORD kFunctionIds = 0x9000;  // ids from here on name functions, not settings

bool IsNumber(WORD type) { return ddm_NumberSize(type) != 0; }

LONG ReadNumber(WORD type, const ULONG_PTR* slot) { return cdmDmConvertINT(type, slot); }

WORD FirstId(const UI_IDTBL& row) { return row.dspCount > 0 && row.dsp ? row.dsp[0].ddmId : 0; }

// The setting's current value from the devmode (type 0 when it has none).
WORD ReadValue(const UIROOT* root, WORD id, ULONG_PTR* slot) {
  WORD type = 0;
  DWORD size = 0;
  *slot = 0;
  if (!root || !id || id >= kFunctionIds) return 0;
  if (ddm_GetValue(id, root->devmode, root->printerData, &type, &size, slot) != 0) return 0;
  return type;
}

bool OnList(const WORD* list, WORD id) {
  for (; list && *list; ++list)
    if (*list == id) return true;
  return false;
}

}  // namespace

CDM_SELECT_INFO* uiGetSelectInfo(UI_MSGINFO* msg, WORD ddmId) {
  if (!msg || !msg->root || !msg->root->uiData || ddmId == 0 || ddmId >= kFunctionIds) return nullptr;
  UI_SHEET* sheet = uiGetSheet(msg->root);
  if (!sheet || !sheet->uiDoc) return nullptr;
  for (UI_SELENTRY* e = sheet->uiDoc->selects; e; e = e->next)
    if (e->ddmId == ddmId) return e->info;
  UIDATA* ui = msg->root->uiData;
  CDM_UNIT_INFO unit = {sheet->defaultUnit == UIWINDATA_UNIT_INCH, FALSE};
  CDM_SELECT_INFO* info = cdmCreateSelectItemInfo(ui->ddd, ui->printer, ddmId, msg->dialog, msg->root->devmode,
                                                  msg->root->printerData, &unit);
  if (!info) return nullptr;
  auto* e = static_cast<UI_SELENTRY*>(kcore_Alloc(sizeof(UI_SELENTRY)));
  if (!e) {
    cdmSelectInfoFree(info);
    return nullptr;
  }
  e->ddmId = ddmId;
  e->info = info;
  e->next = sheet->uiDoc->selects;
  sheet->uiDoc->selects = e;
  return info;
}

LONG uiSetRightData(UI_MSGINFO* msg, WORD ddmId, WORD type, const ULONG_PTR* value, WORD** changedOut) {
  if (!msg || !value || !changedOut) return -1;
  *changedOut = nullptr;
  UI_DLGDATA* data = msg->data;
  if (!data || !data->root || !data->root->uiData) return -1;
  UIROOT* root = data->root;
  UI_SHEET* sheet = uiGetSheet(root);
  HCDDD ddd = root->uiData->ddd;
  if (!sheet || !ddd) return -1;
  if (sheet->writing) return 2;  // a message sent during a write
  if (ddd->preConfig && PreConfig_IsEnforcedProperty(ddmId, ddd->preConfig)) return 2;
  WORD memberType = 0;
  DWORD size = 0;
  ULONG_PTR current = 0;
  if (ddm_GetValue(ddmId, root->devmode, root->printerData, &memberType, &size, &current) != 0) return -1;
  // The value in the member's own type.
  ULONG_PTR slot = *value;
  if (IsNumber(type) && IsNumber(memberType)) {
    LONG n = ReadNumber(type, value);
    slot = 0;
    std::memcpy(&slot, &n, sizeof n);
    type = memberType;
  } else if (type != memberType) {
    return -1;
  }
  if (cdmCompare(type, &slot, &current) == 0) return 3;
  // A list setting's value must be one of its items; a free text the
  // description does not list (no selection information) is written as
  // typed.
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, ddmId);
  const WORD method = si ? cdmGetSelMethod(si) : CDM_SELECT_INPUT;
  if (si && method == 0) return -1;
  if (method != CDM_SELECT_RANGE && method != CDM_SELECT_LIMITS && method != CDM_SELECT_INPUT &&
      uiSearchItemPos(si, type, &slot) < 0)
    return -1;
  sheet->writing = 1;
  uiEndDspPos(msg);  // the devmode changes under the display-state table
  CONST_SETTINGS s = {ddd, root->devmode, root->printerData};
  const void* p = type == 6 ? reinterpret_cast<const void*>(slot) : static_cast<const void*>(&slot);
  CONST_VALUE proposed = {ddmId, type, p};
  WORD* driverChanged = nullptr;
  WORD r = const_UpdateConstDataX(1, msg->dialog, ddd, root->devmode, root->printerData, nullptr, ddmId, type, p,
                                  data->info, &driverChanged, 0);
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* list = room;
  WORD n = 0;
  bool ok = uiAddChangedIds(&list, &n, driverChanged);
  GlobalFree(driverChanged);
  LONG result = 2;
  WORD answer = ok ? const_CheckCnst_CnfmMsg_SetDev(msg->dialog, &s, &proposed, data->info, r, &list, &n) : CONST_ERR;
  if (answer == CONST_CHANGED) {
    result = 1;
    if (const_UpdateOutputBin(msg->dialog, &s, &list, &n) != CONST_OK) result = -1;
    if (ddd->preConfig) PreConfig_SetAllDataToDDM(ddd->preConfig, root->devmode, root->printerData, 1);
    if (result == 1) {
      auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (static_cast<size_t>(n) + 1) * sizeof(WORD)));
      if (out) {
        if (n) std::memcpy(out, list, n * sizeof(WORD));
        *changedOut = out;
      } else {
        result = -1;
      }
    }
  } else if (answer == CONST_ERR) {
    result = -1;
  }
  cnstUtil_FreeWordList(list, n, CONST_ROOM_CHANGED);
  sheet->writing = 0;
  return result;
}

bool uiAddChangedIds(WORD** list, WORD* count, const WORD* ids) {
  for (const WORD* p = ids; p && *p; ++p)
    if (cnstUtil_AddWordArray(*p, CONST_ROOM_CHANGED, list, count)) return false;
  return true;
}

void uiSetUpDateMsgInfo(UI_MSGINFO* msg, WORD* changed, WORD ddmId) {
  if (!msg) {
    GlobalFree(changed);
    return;
  }
  if (msg->changed && msg->changed != changed) GlobalFree(msg->changed);
  msg->update = 1;
  msg->changed = changed;
  msg->changedId = ddmId;
}

WORD uiTabGetFuncConstAction(UI_MSGINFO* msg, WORD ddmId) {
  if (!msg || !msg->root || !msg->root->uiData || !msg->root->uiData->ddd || ddmId == 0 || ddmId >= kFunctionIds)
    return 0;
  ConstInfo* info = const_AllocConstData();
  if (!info) return 0;
  CONST_SETTINGS s = {msg->root->uiData->ddd, msg->root->devmode, msg->root->printerData};
  CONST_VALUE current = {ddmId, 0, nullptr};
  WORD r = const_DDDUpdateConstData(2, msg->dialog, &s, &current, nullptr, nullptr, info, nullptr, nullptr, 1);
  WORD action = r == CONST_OK ? info->action : 0;
  const_FreeConstData(info);
  return action;
}

const UI_SUBIDTBL SubIdTbl_Admin = {UI_SUBID_ADMIN};
const UI_SUBIDTBL SubIdTbl_AdminDspByControl = {UI_SUBID_ADMIN | UI_SUBID_DSPBYCONTROL};

namespace {
WORD NowFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row);
}  // namespace

WORD uiGetNowFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row) {
  WORD action = NowFuncConst(msg, row);
  const auto* sub = row ? static_cast<const UI_SUBIDTBL*>(row->subIds) : nullptr;
  UI_SHEET* sheet = msg ? uiGetSheet(msg->root) : nullptr;
  if (sub && (sub->flags & UI_SUBID_ADMIN) && sheet && !sheet->permission && action != 6) action = 1;
  return action;
}

namespace {
WORD NowFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row) {
  if (!msg || !row || row->dspCount < 1 || !row->dsp) return 0;
  const WORD id = row->dsp[0].ddmId;
  HCDDD ddd = msg->root && msg->root->uiData ? msg->root->uiData->ddd : nullptr;
  WORD flags = 0;
  if (ddd && ddd->preConfig && PreConfig_GetPropertyFlg(id, ddd->preConfig, &flags)) {
    if (flags & PRECONFIG_HIDE) return 6;
    if (flags & PRECONFIG_DIMOUT) return 1;
    if (flags & PRECONFIG_SHOW) return 0;
  }
  UI_SHEET* sheet = uiGetSheet(msg->root);
  if (sheet && !sheet->permission && msg->data && msg->data->controlInfo && OnList(msg->data->controlInfo->dimOut, id))
    return 1;
  LONG i = uiRowIndex(msg, row);
  if (i >= 0 && msg->data && msg->data->states) return msg->data->states[i];
  return uiTabGetFuncConstAction(msg, id);
}
}  // namespace

void uiGetAllConstraintsUpdate(UI_MSGINFO* msg) {
  if (!msg || !msg->data || !msg->data->controlInfo || !msg->data->states) return;
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; i < ci->rows; ++i) {
    const UI_IDTBL& row = ci->table[i];
    WORD id = row.dspCount > 0 && row.dsp ? row.dsp[0].ddmId : 0;
    WORD action = 0;
    bool done = false;
    for (LONG j = 0; j < i && !done; ++j) {  // one evaluation a setting
      const UI_IDTBL& other = ci->table[j];
      if (other.dspCount > 0 && other.dsp && other.dsp[0].ddmId == id) {
        action = msg->data->states[j];
        done = true;
      }
    }
    msg->data->states[i] = done ? action : uiTabGetFuncConstAction(msg, id);
  }
}

void local_UpdateDisplyByConstAction(HWND control, WORD action) {
  if (!control) return;
  if (action == 6) {
    EnableWindow(control, FALSE);
    ShowWindow(control, SW_HIDE);
    return;
  }
  ShowWindow(control, SW_SHOW);
  EnableWindow(control, action == 1 || action == 15 ? FALSE : TRUE);
}

LONG uiRowIndex(const UI_MSGINFO* msg, const UI_IDTBL* row) {
  if (!msg || !msg->data || !msg->data->controlInfo || !row) return -1;
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  if (row < ci->table || row >= ci->table + ci->rows) return -1;
  return static_cast<LONG>(row - ci->table);
}

LONG uiSearchItemPos(const CDM_SELECT_INFO* si, WORD type, const ULONG_PTR* value) {
  if (!si || !value || !type) return -1;
  for (LONG i = 0; i < cdmGetSelectItemNum(si); ++i) {
    const CDM_SELECT_ITEM* item = cdmGetSelectItemDevData(si, i);
    if (!item) continue;
    if (type == 6) {
      if (cdmCompare(6, &item->value, value) == 0) return i;
    } else if (cdmDmConvertINT(si->type ? si->type : type, &item->value) == ReadNumber(type, value)) {
      return i;
    }
  }
  return -1;
}

void uiGetAllDmIdData(UI_MSGINFO* msg) {
  UI_DLGDATA* d = msg ? msg->data : nullptr;
  if (!d || !d->controlInfo || !d->values) return;
  const UI_CONTROL_INFO* ci = d->controlInfo;
  for (LONG i = 0; i < ci->rows && i < d->rows; ++i) {
    UI_ROWVALUE& v = d->values[i];
    kcore_Free(v.text);
    v = UI_ROWVALUE{};
    ULONG_PTR slot = 0;
    const WORD type = ReadValue(d->root, FirstId(ci->table[i]), &slot);
    if (type == 6) {
      // A copy of the text as it was read; without room for one the
      // member's own text, which no write changes while the table holds.
      v.text = kcore_WideDup(slot ? reinterpret_cast<LPCWSTR>(slot) : u"");
      if (v.text) slot = reinterpret_cast<ULONG_PTR>(v.text);
    }
    v.type = type;
    v.value = slot;
  }
}

void uiTabDspTblPosChange(UI_MSGINFO* msg) {
  UI_DLGDATA* d = msg ? msg->data : nullptr;
  if (!d || !d->controlInfo || !d->values || !d->positions) return;
  const UI_CONTROL_INFO* ci = d->controlInfo;
  for (LONG i = 0; i < ci->rows && i < d->rows; ++i) {
    const UI_ROWVALUE& v = d->values[i];
    d->positions[i] = v.type ? uiSearchItemPos(uiGetSelectInfo(msg, FirstId(ci->table[i])), v.type, &v.value) : -1;
  }
  d->positionsValid = TRUE;
}

void uiEndDspPos(UI_MSGINFO* msg) {
  if (msg && msg->data) msg->data->positionsValid = FALSE;
}

LONG uiGetDspPos(UI_MSGINFO* msg, const UI_IDTBL* row) {
  if (!msg || !msg->data || !row) return -1;
  const LONG i = uiRowIndex(msg, row);
  if (i >= 0 && i < msg->data->rows && msg->data->positionsValid && msg->data->positions)
    return msg->data->positions[i];
  ULONG_PTR slot = 0;
  const WORD type = ReadValue(msg->data->root, FirstId(*row), &slot);
  return type ? uiSearchItemPos(uiGetSelectInfo(msg, FirstId(*row)), type, &slot) : -1;
}

void uiFuncNameSet(UI_MSGINFO* msg) {
  if (!msg || !msg->data || !msg->data->controlInfo || !msg->root || !msg->root->uiData) return;
  HCDDD ddd = msg->root->uiData->ddd;
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ddd && i < ci->rows; ++i) {
    const UI_IDTBL& row = ci->table[i];
    const WORD id = FirstId(row);
    if (id < kFunctionIds) continue;
    WORD method = 0, count = 0, status = 0;
    LPCWSTR name = nullptr;
    void* list = nullptr;
    if (cdddGetSelectItemInfo(ddd, id, &method, &count, &name, &list, &status) && name) {
      // The label the row names, else the control (the dialog for a row
      // standing for it).
      HWND target = row.relatedId != UI_NOSTRING   ? GetDlgItem(msg->dialog, row.relatedId)
                    : row.controlId == UI_CTLID_SELF ? msg->dialog
                                                     : GetDlgItem(msg->dialog, row.controlId);
      WCHAR shown[260] = {};
      if (target && (!GetWindowTextW(target, shown, 260) || lstrcmpW(shown, name) != 0)) SetWindowTextW(target, name);
    }
    if (list) cdddSelectItemInfoFree(list);
  }
}

void uiUpdateDisplay(UI_MSGINFO* msg, const WORD*) {
  if (!msg || !msg->data || !msg->data->controlInfo) return;
  const UINT saved = msg->message;
  msg->message = UIM_REDISPLAY;
  if (msg->kind == UI_KIND_ROOT && msg->sheet)
    SendMessageW(msg->sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(msg->dialog), 0);
  uiGetAllDmIdData(msg);
  uiTabDspTblPosChange(msg);
  uiGetAllConstraintsUpdate(msg);
  uiTabDspTblPosChange(msg);
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  const LONG update = msg->update;
  msg->update = 0;
  uiAllControl(msg, UIM_REDISPLAY, 0, 0, ci->table, ci->rows, 0);
  msg->update = update;
  uiFuncNameSet(msg);
  uiEndDspPos(msg);
  msg->message = saved;
}
