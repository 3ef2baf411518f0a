// The print-type dialogs: secure (22), sample (42), delayed (43) and
// Lorebox (44) print (decisions at kestrel/sheets/sheet_dialogs.h).
#include <cstring>
#include <string>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"

namespace {

using std::u16string;

constexpr LONG kTimeChars = 2;

UINT NotifyCode(UINT message, LPARAM lParam) {
  return message == WM_NOTIFY && lParam ? reinterpret_cast<const NMHDR*>(lParam)->code : 0;
}

bool IsDisplay(UINT message, LPARAM lParam) {
  return message == UIM_REDISPLAY || NotifyCode(message, lParam) == PSN_SETACTIVE;
}

UIROOT* Root(const UI_MSGINFO* msg) { return msg && msg->data ? msg->data->root : msg ? msg->root : nullptr; }

bool Cap(const UI_MSGINFO* msg, DWORD flag) {
  UIROOT* root = Root(msg);
  return root && root->uiData && uiCom_CheckCapability(root->uiData->ddd, flag);
}

u16string StoredText(const UI_MSGINFO* msg, WORD id) {
  UIROOT* root = Root(msg);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (!root || ddm_GetValue(id, root->devmode, root->printerData, &type, &size, &v) != 0 || type != DDM_TYPE_STRING ||
      !v)
    return u16string();
  return u16string(reinterpret_cast<const char16_t*>(v));
}

u16string AfterLastReturn(LPCWSTR name) {
  if (!name) return u16string();
  u16string s(reinterpret_cast<const char16_t*>(name));
  size_t at = s.find_last_of(u'\r');
  if (at == u16string::npos) return s;
  s = s.substr(at + 1);
  if (!s.empty() && s[0] == u'\n') s.erase(0, 1);
  return s;
}

// The name of the setting's current item, after its last carriage return.
u16string CurrentItemName(UI_MSGINFO* msg, WORD id, u16string* function) {
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
  UIROOT* root = Root(msg);
  LONG value = 0;
  if (function) *function = si && cdmGetSelectFuncName(si) ? reinterpret_cast<const char16_t*>(cdmGetSelectFuncName(si)) : u"";
  if (!si || !root || !ddm_GetNumber(id, root->devmode, root->printerData, &value)) return u16string();
  for (LONG i = 0; i < cdmGetSelectItemNum(si); ++i) {
    const CDM_SELECT_ITEM* item = cdmGetSelectItemDevData(si, i);
    if (item && cdmDmConvertINT(si->type ? si->type : DDM_TYPE_BYTE, &item->value) == value)
      return AfterLastReturn(cdmGetSelectItemName(si, i));
  }
  return u16string();
}

// Shows a message of the print-type dialogs with caption 265.
void Box(UI_MSGINFO* msg, UINT id, const LPCWSTR* args, int count) {
  WCHAR text[1024] = {};
  if (uiMakeMsg(id, args, count, text, 1024)) uiMsgWindow(msg->dialog, text, MB_OK | MB_ICONEXCLAMATION);
}

// Messages 701 and 711: the print type's name (string 706) and the user
// id's (306).
void UserIdBox(UI_MSGINFO* msg, UINT id) {
  u16string function;
  u16string item = CurrentItemName(msg, UI_DDM_PRINTTYPE, &function);
  LPCWSTR parts[] = {reinterpret_cast<LPCWSTR>(function.c_str()), reinterpret_cast<LPCWSTR>(item.c_str())};
  WCHAR type[256] = {}, field[128] = {};
  uiMakeMsg(UI_STR_PRINTTYPE_NAME, parts, 2, type, 256);
  resource_LoadString(UI_STR_USERID, field, 128);
  LPCWSTR args[] = {type, field};
  Box(msg, id, args, 2);
}

bool Chosen(const UI_MSGINFO* msg, LONG variant) {
  switch (variant) {
    case UI_PTY_PLAIN: return !Cap(msg, UI_CAP_SCRAMBLED_PASSWORD);
    case UI_PTY_SCRAMBLED: return Cap(msg, UI_CAP_SCRAMBLED_PASSWORD);
    case UI_PTY_LONG: return !Cap(msg, UI_CAP_SHORT_FIELDS);
    case UI_PTY_SHORT: return Cap(msg, UI_CAP_SHORT_FIELDS);
    default: return true;
  }
}

// The row of the control that the model chooses (itself or a variant).
const UI_IDTBL* PtyRow(UI_MSGINFO* msg, const UI_IDTBL* row) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ci && i < ci->rows; ++i) {
    const UI_IDTBL& r = ci->table[i];
    if (r.controlId != row->controlId || r.handler != row->handler || !r.param || r.dspCount < 1) continue;
    if (!Chosen(msg, static_cast<const UI_PTYEDIT*>(r.param)->variant)) continue;
    LONG at = uiSerchDispInfoNum(msg, r.controlId, r.dsp[0].ddmId);
    const UI_IDTBL* found = uiTabSetDspPos(msg, at);
    if (found && found->param == r.param) return found;
    return &r;  // two variants of one setting: the row itself
  }
  return nullptr;
}

// Dispatches a message of a variant row: the chosen row handles it, the
// others answer 0 (a message for the control goes to the chosen row).
bool ForwardVariant(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, LONG* result) {
  const UI_IDTBL* chosen = PtyRow(msg, row);
  if (chosen == row) return false;
  *result = 0;
  if (chosen && message == WM_COMMAND) *result = chosen->handler(msg, message, wParam, lParam, chosen, chosen->param);
  return true;
}

LONG CommonEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                const UI_PTYEDIT* edit) {
  LONG r = uiEdit(msg, message, wParam, lParam, row, &edit->rule);
  if (message == UIM_REDISPLAY && edit->rule.maxLength > 0)
    SendDlgItemMessageW(msg->dialog, row->controlId, EM_LIMITTEXT, static_cast<WPARAM>(edit->rule.maxLength), 0);
  return r;
}

}  // namespace

// ---- Procedures ------------------------------------------------------------------------

LONG uiSerchDispInfoNum(UI_MSGINFO* msg, LONG controlId, WORD functionId) {
  const UI_CONTROL_INFO* ci = msg && msg->data ? msg->data->controlInfo : nullptr;
  for (LONG i = 0; ci && i < ci->rows; ++i) {
    const UI_IDTBL& r = ci->table[i];
    if (r.controlId == controlId && r.dspCount > 0 && r.dsp && r.dsp[0].ddmId == functionId) return i;
  }
  return -1;
}

const UI_IDTBL* uiTabSetDspPos(UI_MSGINFO* msg, LONG index) {
  const UI_CONTROL_INFO* ci = msg && msg->data ? msg->data->controlInfo : nullptr;
  if (!ci || index < 0 || index >= ci->rows) return nullptr;
  return &ci->table[index];
}

LONG uiDlgPrintTypeCommon_InitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo,
                                     UI_DSPCTX* ctx) {
  auto* root = reinterpret_cast<UIROOT*>(lParam);
  if (root && root->uiData) {
    UI_MSGINFO m = {};
    m.dialog = window;
    m.root = root;
    u16string name = CurrentItemName(&m, UI_DDM_PRINTTYPE, nullptr);
    SetDlgItemTextW(window, IDC_PTY_NAME, reinterpret_cast<LPCWSTR>(name.c_str()));
  }
  return uiMsg_InitDialogChildDlg(window, message, wParam, lParam, dlgNo, ctx);
}

// The four dialogs' procedures, with this slot 1, are the procedures' table's
// (pages/procedures.cpp).

// ---- Edits -----------------------------------------------------------------------------

LONG uiPtyVariantEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                      const void* param) {
  const auto* edit = static_cast<const UI_PTYEDIT*>(param);
  if (!msg || !msg->data || !row || !edit) return 0;
  LONG r = 0;
  if (ForwardVariant(msg, message, wParam, lParam, row, &r)) return r;
  return CommonEdit(msg, message, wParam, lParam, row, edit);
}

LONG uiPtyUserIdEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                     const void* param) {
  const auto* edit = static_cast<const UI_PTYEDIT*>(param);
  if (!msg || !msg->data || !row || !edit || row->dspCount < 1) return 0;
  LONG r = 0;
  if (ForwardVariant(msg, message, wParam, lParam, row, &r)) return r;
  const bool checks = !Cap(msg, UI_CAP_NO_EMPTY_CHECK);
  const bool empty = StoredText(msg, row->dsp[0].ddmId).empty();
  const UINT code = NotifyCode(message, lParam);
  if (checks && code == PSN_RESET && empty) UserIdBox(msg, UI_STR_NO_USERID_CANCEL);
  if (checks && message == UIM_VALIDATE && IsWindowEnabled(GetDlgItem(msg->dialog, row->controlId))) {
    if (empty) {
      UserIdBox(msg, UI_STR_NO_USERID_OK);
      SetFocus(GetDlgItem(msg->dialog, row->controlId));
      return 1;
    }
  }
  r = CommonEdit(msg, message, wParam, lParam, row, edit);
  if (IsDisplay(message, lParam) && StoredText(msg, row->dsp[0].ddmId).empty()) {
    // No user id: no password either.
    UIROOT* root = Root(msg);
    const WCHAR none[1] = {0};
    for (WORD id : {WORD{UI_DDM_PASSWORD}, WORD{UI_DDM_PASSWORD_SCRAMBLED}})
      if (uiSerchDispInfoNum(msg, IDC_PTY_PASSWORD, id) >= 0)
        ddm_SetValue(id, root->devmode, root->printerData, DDM_TYPE_STRING, sizeof none, none);
  }
  return r;
}

LONG uiLbxHighestBox(UI_MSGINFO* msg) {
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, UI_DDM_BOXNUMBER);
  u16string tail = AfterLastReturn(si ? cdmGetSelectItemName(si, 0) : nullptr);
  if (tail.empty() || tail.size() > 9) return UI_BOX_HIGHEST_DEFAULT;
  LONG n = 0;
  for (char16_t c : tail) {
    if (c < u'0' || c > u'9') return UI_BOX_HIGHEST_DEFAULT;
    n = n * 10 + (c - u'0');
  }
  return n;
}

namespace {
u16string ControlText(HWND control) { return uiGetWindowText(control); }

// The box number check: TRUE when the text may be stored.
bool BoxNumberOk(UI_MSGINFO* msg, const u16string& text) {
  if (text.empty()) return true;  // the OK button asks for a number where one is needed
  if (text.size() > 9) return false;
  LONG n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + (c - u'0');
  }
  return n == 0 || n <= uiLbxHighestBox(msg);
}

void ShowStored(UI_MSGINFO* msg, const UI_IDTBL* row, HWND control) {
  u16string stored = StoredText(msg, row->dsp[0].ddmId);
  uiSetShownText(uiGetKeep(msg, row, FALSE), control, reinterpret_cast<LPCWSTR>(stored.c_str()));
}
}  // namespace

LONG uiLbxBoxNumberEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                        const void* param) {
  const auto* edit = static_cast<const UI_PTYEDIT*>(param);
  if (!msg || !msg->data || !row || !edit || row->dspCount < 1) return 0;
  HWND control = GetDlgItem(msg->dialog, row->controlId);
  if (!control) return 0;
  const UINT code = NotifyCode(message, lParam);
  const bool leaving = (code == PSN_KILLACTIVE && msg->data->buttonKind != 2) || message == UIM_VALIDATE;
  const bool killFocus = message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS;
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) return 0;  // stored when the box number is checked
  if (!leaving && !killFocus) return CommonEdit(msg, message, wParam, lParam, row, edit);
  if (!IsWindowEnabled(control)) return 0;
  UI_KEEP* keep = uiGetKeep(msg, row, FALSE);
  if (keep && keep->boxShown) return leaving ? 1 : 0;
  u16string text = ControlText(control);
  if (text.empty() && killFocus) return 0;  // the OK button asks for the number where one is needed
  if (!BoxNumberOk(msg, text)) {
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, UI_DDM_BOXNUMBER);
    LPCWSTR name = si ? cdmGetSelectFuncName(si) : nullptr;
    WCHAR one[4] = u"1", highest[16] = {};
    uiNumtoStr(uiLbxHighestBox(msg), highest, 16);
    LPCWSTR args[] = {name ? name : u"", one, highest};
    uiRowMsgBox(msg, row, UI_STR_BOX_RANGE, args, 3);
    ShowStored(msg, row, control);
    SetFocus(control);
    return leaving ? 1 : 0;
  }
  if (text != StoredText(msg, row->dsp[0].ddmId)) {
    ULONG_PTR slot = reinterpret_cast<ULONG_PTR>(text.c_str());
    WORD* changed = nullptr;
    LONG w = uiSetRightData(msg, row->dsp[0].ddmId, DDM_TYPE_STRING, &slot, &changed);
    if (w == 1)
      uiSetUpDateMsgInfo(msg, changed, row->dsp[0].ddmId);
    else
      GlobalFree(changed);
    if (w != 1 && w != 3) ShowStored(msg, row, control);
  }
  // Under capability -65490 a valid number the user typed is marked as
  // entered by the user (a write the rules refused keeps the stored value
  // and gets no mark).
  if (!text.empty() && Cap(msg, UI_CAP_NO_EMPTY_CHECK) && text == StoredText(msg, row->dsp[0].ddmId))
    if (UI_KEEP* mark = uiGetKeep(msg, row, TRUE)) mark->marks |= UI_KEEP_USER_ENTERED;
  return 0;
}

LONG uiLbxBtnOK(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message != WM_COMMAND) return uiButton(msg, message, wParam, lParam, row, param);
  UIROOT* root = Root(msg);
  LONG type = 0;
  HWND box = GetDlgItem(msg->dialog, IDC_LBX_BOX);
  if (root && ddm_GetNumber(UI_DDM_PRINTTYPE, root->devmode, root->printerData, &type) &&
      type == UI_PRINTTYPE_LOREBOX && box && IsWindowEnabled(box) && GetWindowTextLengthW(box) == 0) {
    if (!uiRowMsgBox(msg, row, UI_STR_NO_BOX, nullptr, 0)) return 0;
    u16string stored = StoredText(msg, UI_DDM_BOXNUMBER);
    SetWindowTextW(box, reinterpret_cast<LPCWSTR>(stored.c_str()));
    SetFocus(box);
    return 0;
  }
  return uiButton(msg, message, wParam, lParam, row, param);
}

// ---- Delayed print ----------------------------------------------------------------------

namespace {
void ShowTime(UI_MSGINFO* msg, WORD id, HWND edit) {
  UIROOT* root = Root(msg);
  LONG v = 0;
  if (!edit || !root || !ddm_GetNumber(id, root->devmode, root->printerData, &v)) return;
  WCHAR text[16] = {};
  wsprintfW(text, v < 10 ? u"0%d" : u"%d", static_cast<int>(v));
  if (ControlText(edit) != reinterpret_cast<const char16_t*>(text)) SetWindowTextW(edit, text);
}

HWND TimeEdit(UI_MSGINFO* msg, WORD id) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ci && i < ci->rows; ++i)
    if (ci->table[i].type == UI_CT_EDIT && ci->table[i].dspCount > 0 && ci->table[i].dsp[0].ddmId == id)
      return GetDlgItem(msg->dialog, ci->table[i].controlId);
  return nullptr;
}

LONG WriteTime(UI_MSGINFO* msg, WORD id, LONG value) {
  ULONG_PTR slot = 0;
  std::memcpy(&slot, &value, sizeof value);
  WORD* changed = nullptr;
  LONG r = uiSetRightData(msg, id, DDM_TYPE_LONG, &slot, &changed);
  if (r == 1)
    uiSetUpDateMsgInfo(msg, changed, id);
  else
    GlobalFree(changed);
  return r;
}
}  // namespace

LONG uiDlyTimeEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                   const void* param) {
  const auto* limits = static_cast<const UI_DLYTIME*>(param);
  if (!msg || !msg->data || !row || !limits || row->dspCount < 1) return 0;
  HWND edit = GetDlgItem(msg->dialog, row->controlId);
  if (!edit) return 0;
  const WORD id = row->dsp[0].ddmId;
  const UINT code = NotifyCode(message, lParam);
  if (IsDisplay(message, lParam)) {
    if (code == PSN_SETACTIVE) {
      uiGetKeep(msg, row, TRUE);
      SendMessageW(edit, EM_LIMITTEXT, kTimeChars, 0);
    }
    ShowTime(msg, id, edit);
    uiCheckFuncConst(msg, row, UI_CT_EDIT);
    return 0;
  }
  if (code == PSN_RESET || code == PSN_APPLY) {
    uiFreeKeep(msg->data, uiRowIndex(msg, row));
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_SETFOCUS) {
    SendMessageW(edit, EM_SETSEL, 0, kTimeChars);
    return 0;
  }
  const bool leaving = (code == PSN_KILLACTIVE && msg->data->buttonKind != 2) || message == UIM_VALIDATE;
  if (!leaving && !(message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS)) return 0;
  UI_KEEP* keep = uiGetKeep(msg, row, FALSE);
  if (!IsWindowEnabled(edit) || (keep && keep->boxShown)) return 0;
  u16string text = ControlText(edit);
  LONG v = -1;
  if (!text.empty() && text.size() <= kTimeChars) {
    v = 0;
    for (char16_t c : text) v = c >= u'0' && c <= u'9' && v >= 0 ? v * 10 + (c - u'0') : -1;
  }
  if (v < limits->minimum || v > limits->maximum) {
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
    LPCWSTR name = si ? cdmGetSelectFuncName(si) : nullptr;
    WCHAR a[16] = {}, b[16] = {}, label[64] = {};
    if (!name) GetDlgItemTextW(msg->dialog, row->relatedId, label, 64);
    uiNumtoStr(limits->minimum, a, 16);
    uiNumtoStr(limits->maximum, b, 16);
    LPCWSTR args[] = {name ? name : label, a, b};
    uiRowMsgBox(msg, row, UI_STR_RANGE, args, 3);
    ShowTime(msg, id, edit);
    SetFocus(edit);
    return leaving ? 1 : 0;
  }
  WriteTime(msg, id, v);
  ShowTime(msg, id, edit);
  return 0;
}

LONG uiDlyTimeSpin(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                   const void* param) {
  const auto* limits = static_cast<const UI_DLYTIME*>(param);
  if (!msg || !msg->data || !row || !limits || row->dspCount < 1) return 0;
  HWND spin = GetDlgItem(msg->dialog, row->controlId);
  if (!spin) return 0;
  const WORD id = row->dsp[0].ddmId;
  UIROOT* root = Root(msg);
  LONG stored = 0;
  if (IsDisplay(message, lParam)) {
    if (NotifyCode(message, lParam) == PSN_SETACTIVE)
      SendMessageW(spin, UDM_SETRANGE, 0,
                   MAKELONG(static_cast<SHORT>(limits->maximum), static_cast<SHORT>(limits->minimum)));
    if (ddm_GetNumber(id, root->devmode, root->printerData, &stored)) SendMessageW(spin, UDM_SETPOS, 0, stored);
    uiCheckFuncConst(msg, row, UI_CT_SPIN);
    return 0;
  }
  if (message != WM_VSCROLL || LOWORD(wParam) != SB_THUMBPOSITION) return 0;
  if (!ddm_GetNumber(id, root->devmode, root->printerData, &stored)) return 0;
  LONG pos = static_cast<SHORT>(HIWORD(wParam));
  // At an end already: round to the other end.
  if (pos == stored && stored == limits->maximum) pos = limits->minimum;
  else if (pos == stored && stored == limits->minimum) pos = limits->maximum;
  if (pos != stored) WriteTime(msg, id, pos);
  if (ddm_GetNumber(id, root->devmode, root->printerData, &stored)) SendMessageW(spin, UDM_SETPOS, 0, stored);
  ShowTime(msg, id, TimeEdit(msg, id));
  return 0;
}

LONG uiSecSmp_BtnDefault(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                         const void* param) {
  LONG r = uiButtonDefault_NoPermission(msg, message, wParam, lParam, row, param);
  const auto* list = static_cast<const UI_DEFAULTLIST*>(param);
  UIROOT* root = Root(msg);
  UI_SHEET* sheet = uiGetSheet(root);
  if (message != WM_COMMAND || !list || !sheet || sheet->permission || !root->uiData) return r;
  // A setting the description gives no default (the user id, the
  // passwords) has the default devmode's: empty.
  for (const WORD* id = list->ids; id && *id; ++id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (cdmGetDefaultData(root->uiData->ddd, *id, &type, &size, &value) == 1) {
      cdmDmIdDefaultDataFree(*id, value, type);
      continue;
    }
    if (ddm_GetValue(*id, root->devmode, root->printerData, &type, &size, &value) != 0) continue;
    const WCHAR none[1] = {0};
    if (type == DDM_TYPE_STRING)
      ddm_SetValue(*id, root->devmode, root->printerData, DDM_TYPE_STRING, sizeof none, none);
    else
      ddm_SetNumber(*id, root->devmode, root->printerData, 0);
  }
  return r;
}

// ---- Rows -------------------------------------------------------------------------------

namespace {
constexpr LONG N = UI_NOSTRING;
constexpr BYTE kAll = UI_CHECK_KILLACTIVE | UI_CHECK_KILLFOCUS | UI_CHECK_VALIDATE;
constexpr DWORD kUserFlags = 0x302;    // a text kept in the two-string buffer
constexpr DWORD kDocFlags = 0x202;
constexpr DWORD kPassFlags = 0x602;
constexpr DWORD kSecretFlags = 0x2602;  // kept scrambled

const UI_DSPINFO kUserId[] = {{UI_DDM_USERID, 3}};
const UI_DSPINFO kDocName[] = {{UI_DDM_DOCNAME, 3}};
const UI_DSPINFO kPassword[] = {{UI_DDM_PASSWORD, 3}};
const UI_DSPINFO kPasswordScrambled[] = {{UI_DDM_PASSWORD_SCRAMBLED, 3}};
const UI_DSPINFO kBoxNumber[] = {{UI_DDM_BOXNUMBER, 3}};
const UI_DSPINFO kBoxPassword[] = {{UI_DDM_BOXPASSWORD, 3}};
const UI_DSPINFO kBoxPasswordScrambled[] = {{UI_DDM_BOXPASSWORD_SCRAMBLED, 3}};
const UI_DSPINFO kHour[] = {{UI_DDM_DELAY_HOUR, 3}};
const UI_DSPINFO kMinute[] = {{UI_DDM_DELAY_MINUTE, 3}};

const UI_PTYEDIT kUserLong = {{kUserFlags, 24, nullptr, kAll}, UI_PTY_LONG};
const UI_PTYEDIT kUserShort = {{kUserFlags, 8, nullptr, kAll}, UI_PTY_SHORT};
const UI_PTYEDIT kDocLong = {{kDocFlags, 24, nullptr, kAll}, UI_PTY_LONG};
const UI_PTYEDIT kDocShort = {{kDocFlags, 12, nullptr, kAll}, UI_PTY_SHORT};
const UI_PTYEDIT kPass = {{kPassFlags, 4, nullptr, kAll}, UI_PTY_PLAIN};
const UI_PTYEDIT kPassScrambled = {{kSecretFlags, 12, nullptr, kAll}, UI_PTY_SCRAMBLED};
const UI_PTYEDIT kBoxPass = {{kPassFlags, 4, nullptr, kAll}, UI_PTY_PLAIN};
const UI_PTYEDIT kBoxPassScrambled = {{kSecretFlags, 20, nullptr, kAll}, UI_PTY_SCRAMBLED};
const UI_PTYEDIT kBox = {{UI_EDIT_TEXT, 4, nullptr, kAll}, UI_PTY_ALWAYS};
const UI_DLYTIME kHours = {0, 23};
const UI_DLYTIME kMinutes = {0, 59};

const UI_BUTTON kOk = {1, nullptr};
const UI_BUTTON kCancel = {2, nullptr};
const WORD kSecurityDefaults[] = {UI_DDM_USERID, UI_DDM_PASSWORD, UI_DDM_PASSWORD_SCRAMBLED, 0};
const WORD kSampleDefaults[] = {UI_DDM_USERID, 0};
const UI_DEFAULTLIST kSecurityDefault = {{3, nullptr}, kSecurityDefaults};
const UI_DEFAULTLIST kSampleDefault = {{3, nullptr}, kSampleDefaults};

// clang-format off
#define ROW(id, dsp, type, handler, param) {id, 1, dsp, type, handler, param, N, N, nullptr}
#define BUTTON(id, handler, param) {id, 0, nullptr, UI_CT_BUTTON, handler, param, N, N, nullptr}
// A setting of two variants: one row each.
#define VARIANTS(id, dsp, handler, a, b) ROW(id, dsp, UI_CT_EDIT, handler, a), ROW(id, dsp, UI_CT_EDIT, handler, b)
#define USERID(id) VARIANTS(id, kUserId, uiPtyUserIdEdit, &kUserLong, &kUserShort)
#define DOCNAME VARIANTS(IDC_PTY_DOCNAME, kDocName, uiPtyVariantEdit, &kDocLong, &kDocShort)
#define OKCANCEL(ok) BUTTON(IDOK, ok, &kOk), BUTTON(IDCANCEL, nullptr, &kCancel)
const UI_IDTBL UiIdTblSecurity[] = {
    USERID(IDC_PTY_USERID),
    ROW(IDC_PTY_PASSWORD, kPassword, UI_CT_EDIT, uiPtyVariantEdit, &kPass),
    ROW(IDC_PTY_PASSWORD, kPasswordScrambled, UI_CT_EDIT, uiPtyVariantEdit, &kPassScrambled),
    DOCNAME,
    BUTTON(IDC_DEFAULT, uiSecSmp_BtnDefault, &kSecurityDefault),
    OKCANCEL(nullptr),
};
const UI_IDTBL UiIdTblSample[] = {
    USERID(IDC_PTY_USERID),
    DOCNAME,
    BUTTON(IDC_DEFAULT, uiSecSmp_BtnDefault, &kSampleDefault),
    OKCANCEL(nullptr),
};
const UI_IDTBL UiIdTblDelay[] = {
    {IDC_DLY_HOUR, 1, kHour, UI_CT_EDIT, uiDlyTimeEdit, &kHours, IDC_DLY_HOUR_LABEL, N, nullptr},
    ROW(IDC_DLY_HOUR_SPIN, kHour, UI_CT_SPIN, uiDlyTimeSpin, &kHours),
    {IDC_DLY_MINUTE, 1, kMinute, UI_CT_EDIT, uiDlyTimeEdit, &kMinutes, IDC_DLY_MINUTE_LABEL, N, nullptr},
    ROW(IDC_DLY_MINUTE_SPIN, kMinute, UI_CT_SPIN, uiDlyTimeSpin, &kMinutes),
    OKCANCEL(nullptr),
};
const UI_IDTBL UiIdTblKnowledge[] = {
    USERID(IDC_LBX_USERID),
    ROW(IDC_LBX_BOX, kBoxNumber, UI_CT_EDIT, uiLbxBoxNumberEdit, &kBox),
    ROW(IDC_LBX_PASSWORD, kBoxPassword, UI_CT_EDIT, uiPtyVariantEdit, &kBoxPass),
    ROW(IDC_LBX_PASSWORD, kBoxPasswordScrambled, UI_CT_EDIT, uiPtyVariantEdit, &kBoxPassScrambled),
    DOCNAME,
    OKCANCEL(uiLbxBtnOK),
};
#undef OKCANCEL
#undef DOCNAME
#undef USERID
#undef VARIANTS
#undef ROW
#undef BUTTON
// clang-format on

template <size_t R>
constexpr UI_CONTROL_INFO Info(const UI_IDTBL (&rows)[R], LONG help) {
  return {rows, static_cast<LONG>(R), help, nullptr, nullptr, 0};
}
}  // namespace

const UI_CONTROL_INFO uiControlInfoSecurity = Info(UiIdTblSecurity, 90220);
const UI_CONTROL_INFO uiControlInfoSample = Info(UiIdTblSample, 90420);
const UI_CONTROL_INFO uiControlInfoDelay = Info(UiIdTblDelay, 90430);
const UI_CONTROL_INFO uiControlInfoKnowledge = Info(UiIdTblKnowledge, 90440);
