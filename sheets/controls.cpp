// The control handlers by control type (see kestrel/sheets/sheet_controls.h).
#include <cstring>
#include <string>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/qsp.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_shell.h"

namespace {

using std::u16string;

bool g_editChecking = false;  // the kill-change check of a 0x0400 field runs on every change

WORD RowId(const UI_IDTBL* row) { return row && row->dspCount > 0 && row->dsp ? row->dsp[0].ddmId : 0; }

HWND Control(const UI_MSGINFO* msg, const UI_IDTBL* row) {
  return msg && row && row->controlId != UI_CTLID_SELF ? GetDlgItem(msg->dialog, row->controlId) : msg->dialog;
}

UIROOT* Root(const UI_MSGINFO* msg) { return msg && msg->data ? msg->data->root : nullptr; }

bool Value(const UI_MSGINFO* msg, WORD id, WORD* type, ULONG_PTR* slot) {
  UIROOT* root = Root(msg);
  DWORD size = 0;
  return root && id && ddm_GetValue(id, root->devmode, root->printerData, type, &size, slot) == 0;
}

UINT NotifyCode(UINT message, LPARAM lParam) {
  if (message != WM_NOTIFY || !lParam) return 0;
  return reinterpret_cast<const NMHDR*>(lParam)->code;
}

UI_KEEP* Keep(UI_MSGINFO* msg, const UI_IDTBL* row, bool make) { return uiGetKeep(msg, row, make ? TRUE : FALSE); }

// Writes item `index` of the row's setting; answers uiSetRightData's result.
LONG WriteItem(UI_MSGINFO* msg, const UI_IDTBL* row, LONG index) {
  WORD id = RowId(row);
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
  const CDM_SELECT_ITEM* item = si ? cdmGetSelectItemDevData(si, index) : nullptr;
  if (!item) return -1;
  WORD type = si->type;
  if (!type) {
    ULONG_PTR cur = 0;
    if (!Value(msg, id, &type, &cur)) return -1;
  }
  WORD* changed = nullptr;
  ULONG_PTR slot = item->value;
  LONG r = uiSetRightData(msg, id, type, &slot, &changed);
  if (r == 1)
    uiSetUpDateMsgInfo(msg, changed, id);
  else
    GlobalFree(changed);
  return r;
}

LONG WriteNumber(UI_MSGINFO* msg, WORD id, LONG value) {
  WORD* changed = nullptr;
  ULONG_PTR slot = 0;
  std::memcpy(&slot, &value, sizeof value);
  LONG r = uiSetRightData(msg, id, 4, &slot, &changed);
  if (r == 1)
    uiSetUpDateMsgInfo(msg, changed, id);
  else
    GlobalFree(changed);
  return r;
}

bool IsDisplay(UINT message, LPARAM lParam) {
  return message == UIM_REDISPLAY || NotifyCode(message, lParam) == PSN_SETACTIVE;
}

WORD Unit(const UI_MSGINFO* msg) {
  UIROOT* root = Root(msg);
  return root && root->uiData ? root->uiData->winData.paperUnit : UIWINDATA_UNIT_MM;
}

u16string Text(HWND control) { return uiGetWindowText(control); }


// ---- List and combo boxes -------------------------------------------------------------

void uiLbCbNormalDisp(UI_MSGINFO* msg, const UI_IDTBL* row, bool combo) {
  HWND control = Control(msg, row);
  WORD id = RowId(row);
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
  if (!control) return;
  SendMessageW(control, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
  LONG shown = -1, pos = 0;
  const LONG current = uiGetDspPos(msg, row);
  for (LONG i = 0; si && i < cdmGetSelectItemNum(si); ++i) {
    LPCWSTR name = cdmGetSelectItemName(si, i);
    LRESULT at = SendMessageW(control, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(name ? name : u""));
    if (at < 0) continue;
    SendMessageW(control, combo ? CB_SETITEMDATA : LB_SETITEMDATA, static_cast<WPARAM>(at), i);
    if (i == current) shown = pos;
    ++pos;
  }
  SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(shown), 0);
}

// A row with several display entries is a summary: one line a setting.
bool IsMany(const UI_IDTBL* row) { return row->dspCount > 1 && row->dsp; }

void uiLbCbManyDisp(UI_MSGINFO* msg, const UI_IDTBL* row, bool combo) {
  HWND control = Control(msg, row);
  if (!control) return;
  SendMessageW(control, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
  for (LONG k = 0; k < row->dspCount; ++k) {
    const WORD id = row->dsp[k].ddmId;
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
    if (!si) continue;
    WORD type = 0;
    ULONG_PTR value = 0;
    LPCWSTR item = Value(msg, id, &type, &value) ? cdmGetSelectItemName(si, uiSearchItemPos(si, type, &value)) : nullptr;
    LPCWSTR name = cdmGetSelectFuncName(si);
    u16string line = name ? reinterpret_cast<const char16_t*>(name) : u"";
    line += u": ";
    if (item) line += reinterpret_cast<const char16_t*>(item);
    LRESULT at = SendMessageW(control, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (at >= 0) SendMessageW(control, combo ? CB_SETITEMDATA : LB_SETITEMDATA, static_cast<WPARAM>(at), k);
  }
  SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void uiLbCbDisp(UI_MSGINFO* msg, const UI_IDTBL* row, bool combo) {
  if (IsMany(row))
    uiLbCbManyDisp(msg, row, combo);
  else
    uiLbCbNormalDisp(msg, row, combo);
  uiCheckFuncConst(msg, row, combo ? UI_CT_COMBO : UI_CT_LIST);
}

LONG uiLbCbSelEndOK(UI_MSGINFO* msg, const UI_IDTBL* row, bool combo) {
  if (IsMany(row)) return 0;  // a summary line names no value
  HWND control = Control(msg, row);
  LRESULT sel = SendMessageW(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  if (sel < 0) return 0;
  LRESULT index = SendMessageW(control, combo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(sel), 0);
  LONG r = WriteItem(msg, row, static_cast<LONG>(index));
  if (r != 1 && r != 3) uiLbCbDisp(msg, row, combo);  // the stored value again
  return 0;
}

// Loss of focus: a selection the user moved without ending the choice (keys
// in a closed list, a cancelled drop-down) shows the stored value again.
LONG uiLbCbKillFocus(UI_MSGINFO* msg, const UI_IDTBL* row, bool combo) {
  if (IsMany(row)) return 0;
  HWND control = Control(msg, row);
  LRESULT sel = SendMessageW(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  LRESULT shown = sel < 0 ? -1 : SendMessageW(control, combo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(sel), 0);
  if (shown != uiGetDspPos(msg, row)) uiLbCbDisp(msg, row, combo);
  return 0;
}

// Keys on a list box with LBS_WANTKEYBOARDINPUT: the list's own handling.
LONG uiLbCbVkeyToItem(UI_MSGINFO*, const UI_IDTBL*) { return -1; }

}  // namespace

LONG Lcbx_OwnerDrawItem(UI_MSGINFO* msg, const UI_IDTBL* row, DRAWITEMSTRUCT* d) {
  if (!msg || !row || !d || static_cast<LONG>(d->itemID) < 0) return TRUE;
  WCHAR text[257] = {};
  CDM_ICON* icon = nullptr;
  if (IsMany(row)) {
    const bool combo = d->CtlType == ODT_COMBOBOX;
    LRESULT n = SendMessageW(d->hwndItem, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, d->itemID, 0);
    if (n >= 0) {
      u16string line(static_cast<size_t>(n) + 1, u'\0');
      SendMessageW(d->hwndItem, combo ? CB_GETLBTEXT : LB_GETTEXT, d->itemID, reinterpret_cast<LPARAM>(line.data()));
      lstrcpynW(text, reinterpret_cast<LPCWSTR>(line.c_str()), 257);
    }
  } else {
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, RowId(row));
    const LONG index = static_cast<LONG>(d->itemData);
    LPCWSTR name = si ? cdmGetSelectItemName(si, index) : nullptr;
    if (name) lstrcpynW(text, name, 257);
    icon = si ? cdmGetIconHandle(si, index) : nullptr;
  }
  // The item's icon at the left, its name after it.
  RECT r = d->rcItem;
  if (icon) {
    DrawIconEx(d->hDC, r.left, r.top, reinterpret_cast<HICON>(icon), UI_ITEM_HEIGHT, UI_ITEM_HEIGHT, 0, nullptr,
               DI_NORMAL);
    r.left += UI_ITEM_HEIGHT + 2;
  }
  DrawTextW(d->hDC, text, -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  return TRUE;
}

namespace {

LONG uiLbCbDrawItem(UI_MSGINFO* msg, const UI_IDTBL* row, LPARAM lParam) {
  auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  const auto* table = static_cast<const UI_LBCB*>(row->param);
  if (table && (table->flags & UI_LBCB_OWNDRAW) && table->draw) return table->draw(msg, row, d);
  return Lcbx_OwnerDrawItem(msg, row, d);
}

LONG uiLbCbMessage(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, bool combo) {
  if (!msg || !msg->data || !row || !Control(msg, row)) return 0;
  if (IsDisplay(message, lParam)) {
    uiLbCbDisp(msg, row, combo);
    return 0;
  }
  switch (message) {
    case WM_COMMAND: {
      WORD code = HIWORD(wParam);
      if ((combo && code == CBN_SELENDOK) || (!combo && code == LBN_SELCHANGE)) return uiLbCbSelEndOK(msg, row, combo);
      if ((combo && code == CBN_KILLFOCUS) || (!combo && code == LBN_KILLFOCUS)) return uiLbCbKillFocus(msg, row, combo);
      return 0;
    }
    case WM_DRAWITEM:
      return uiLbCbDrawItem(msg, row, lParam);
    case WM_VKEYTOITEM:
      return uiLbCbVkeyToItem(msg, row);
    default:
      return 0;
  }
}

// ---- Edit ------------------------------------------------------------------------------

LPWSTR Dup(const u16string& s) { return kcore_WideDup(reinterpret_cast<LPCWSTR>(s.c_str())); }

void FreeKeepData(UI_KEEP* keep) {
  if (!keep) return;
  if (keep->extra && keep->extraFree) keep->extraFree(keep->extra);
  kcore_Free(keep->current);
  kcore_Free(keep->previous);
  kcore_Free(keep);
}

u16string EditShownText(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  WORD type = 0;
  ULONG_PTR v = 0;
  if (!Value(msg, RowId(row), &type, &v)) return u"";
  if (type == 6) {
    auto* s = reinterpret_cast<LPCWSTR>(v);
    if (!s) return u"";
    if (rule->flags & UI_EDIT_SECRET) {
      if (!*s) return u"";
      LPWSTR plain = nullptr;
      if (!zanlib_EncodeOrDecodeData(2, s, &plain) || !plain) return u"";
      u16string out(reinterpret_cast<const char16_t*>(plain));
      kcore_Free(plain);
      return out;
    }
    return u16string(reinterpret_cast<const char16_t*>(s));
  }
  LONG n = cdmDmConvertINT(type, &v);
  n = uiCalcSetData(rule->convert, n, 2);
  if (rule->flags & UI_EDIT_MMINCH) n = uiMmInch(n, Unit(msg), 2);
  WCHAR buf[32] = {};
  if (rule->flags & UI_EDIT_FRACTION)
    uiCom_FloatNumtoStr(n, buf, 32);
  else
    uiNumtoStr(n, buf, 32);
  return u16string(reinterpret_cast<const char16_t*>(buf));
}

void uiEditSetNowDataToControl(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  HWND control = Control(msg, row);
  UI_KEEP* keep = Keep(msg, row, false);
  u16string text = EditShownText(msg, row, rule);
  if (Text(control) != text) uiSetShownText(keep, control, reinterpret_cast<LPCWSTR>(text.c_str()));
  if (keep && (rule->flags & UI_EDIT_TEXT)) {
    kcore_Free(keep->previous);
    keep->previous = Dup(text);
  }
  uiCheckFuncConst(msg, row, UI_CT_EDIT);
}

LONG uiEditSetActive(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  HWND control = Control(msg, row);
  LONG limit = rule->maxLength;
  WCHAR cls[16] = {};
  GetClassNameW(control, cls, 16);
  const bool comboRow = lstrcmpW(cls, u"ComboBox") == 0;
  if (limit > 0) SendMessageW(control, comboRow ? CB_LIMITTEXT : EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
  UI_KEEP* made = Keep(msg, row, true);  // also the spin's busy mark of a number
  if (!made) return 0;
  if (rule->flags & UI_EDIT_TEXT) {
    if (rule->flags & UI_EDIT_SECRET) {
      // The scrambled text's room for the longest value.
      if (QSPEncryptAndBinToB64BuffSize(limit > 0 ? limit * 2 : 0) == -10) return 0;
    }
  }
  uiEditSetNowDataToControl(msg, row, rule);
  if (rule->flags & UI_EDIT_TEXT) {
    UI_KEEP* keep = Keep(msg, row, false);
    u16string shown = Text(control);
    kcore_Free(keep->current);
    keep->current = nullptr;
    if ((rule->flags & UI_EDIT_SECRET) && !shown.empty()) {
      zanlib_EncodeOrDecodeData(1, reinterpret_cast<LPCWSTR>(shown.c_str()), &keep->current);
    } else {
      keep->current = Dup(shown);
    }
    kcore_Free(keep->previous);
    keep->previous = Dup(shown);
  }
  return 0;
}

// The ANSI bytes of a text.
int AnsiBytes(const u16string& s) {
  if (s.empty()) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(s.c_str()), static_cast<int>(s.size()), nullptr, 0,
                             nullptr, nullptr);
}

LONG uiEditKillChange(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, BYTE occasion);

LONG uiEditEnChange(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  HWND control = Control(msg, row);
  UI_KEEP* keep = Keep(msg, row, false);
  if (keep && keep->showing) return 0;
  if (rule->flags & UI_EDIT_TEXT) {
    if (!keep) return 0;
    u16string text = Text(control);
    LONG minimum = 0, maximum = 0;
    LONG limit = rule->maxLength;
    if (uiGetMinMax(msg, RowId(row), &minimum, &maximum) && maximum > 0 && (limit <= 0 || maximum < limit))
      limit = maximum;
    if (limit > 0 && AnsiBytes(text) > limit) {
      uiSetShownText(keep, control, keep->previous ? keep->previous : u"");
      SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(limit), limit);
      return 0;
    }
    ULONG_PTR slot = 0;
    LPWSTR scrambled = nullptr;
    if ((rule->flags & UI_EDIT_SECRET) && !text.empty()) {
      if (!zanlib_EncodeOrDecodeData(1, reinterpret_cast<LPCWSTR>(text.c_str()), &scrambled)) return 0;
      slot = reinterpret_cast<ULONG_PTR>(scrambled);
    } else {
      slot = reinterpret_cast<ULONG_PTR>(text.c_str());
    }
    WORD* changed = nullptr;
    LONG r = uiSetRightData(msg, RowId(row), 6, &slot, &changed);
    if (r == 1) {
      uiSetUpDateMsgInfo(msg, changed, RowId(row));
    } else {
      GlobalFree(changed);
    }
    if (r == 1 || r == 3) {
      kcore_Free(keep->previous);
      keep->previous = Dup(text);
      kcore_Free(keep->current);
      keep->current = scrambled ? kcore_WideDup(scrambled) : Dup(text);
    } else {
      uiSetShownText(keep, control, keep->previous ? keep->previous : u"");
    }
    kcore_Free(scrambled);
  }
  if ((rule->flags & UI_EDIT_MMINCH) && !g_editChecking && IsWindowEnabled(control) && GetFocus() == control) {
    g_editChecking = true;
    uiEditKillChange(msg, row, rule, 0);
    g_editChecking = false;
  }
  return 0;
}

void uiEditErrMsgWindow(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  LONG minimum = 0, maximum = 0;
  uiGetMinMax(msg, RowId(row), &minimum, &maximum);
  minimum = uiCalcSetData(rule->convert, minimum, 2);
  maximum = uiCalcSetData(rule->convert, maximum, 2);
  if (rule->flags & UI_EDIT_MMINCH) {
    minimum = uiMmInch(minimum, Unit(msg), 2);
    maximum = uiMmInch(maximum, Unit(msg), 2);
  }
  WCHAR a[32] = {}, b[32] = {};
  if (rule->flags & UI_EDIT_FRACTION) {
    uiCom_FloatNumtoStr(minimum, a, 32);
    uiCom_FloatNumtoStr(maximum, b, 32);
  } else {
    uiNumtoStr(minimum, a, 32);
    uiNumtoStr(maximum, b, 32);
  }
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, RowId(row));
  LPCWSTR name = si ? cdmGetSelectFuncName(si) : nullptr;
  LPCWSTR args[] = {name ? name : u"", a, b};
  WCHAR text[512] = {};
  if (uiMakeMsg(UI_STR_RANGE, args, 3, text, 512)) uiMsgWindow(msg->dialog, text, MB_OK | MB_ICONEXCLAMATION);
}

// local_IsValidData: 3 disabled, 2 refused, 1 valid.
LONG local_IsValidData(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule) {
  HWND control = Control(msg, row);
  if (!IsWindowEnabled(control)) return 3;
  if (!(rule->flags & UI_EDIT_NUMBER)) return 1;  // a text was written as it was typed
  u16string text = Text(control);
  LONG minimum = 0, maximum = 0;
  bool ok = uiIsStr(reinterpret_cast<LPCWSTR>(text.c_str()), (rule->flags & UI_EDIT_FRACTION) != 0);
  LONG shown = 0;
  if (ok) {
    // Whole number, or tenths with a fraction.
    bool neg = !text.empty() && text[0] == u'-';
    LONG whole = 0, tenth = 0;
    bool point = false;
    for (size_t i = neg ? 1 : 0; i < text.size(); ++i) {
      if (text[i] == u'.') {
        point = true;
        continue;
      }
      if (point) {
        if (tenth == 0 && i > 0 && text[i - 1] == u'.') tenth = text[i] - u'0';
      } else {
        whole = whole * 10 + (text[i] - u'0');
        if (whole > 100000000) ok = false;
      }
    }
    shown = (rule->flags & UI_EDIT_FRACTION) ? whole * 10 + tenth : whole;
    if (neg) shown = -shown;
  }
  LONG value = shown;
  if (rule->flags & UI_EDIT_MMINCH) value = uiMmInch(value, Unit(msg), 1);
  value = uiCalcSetData(rule->convert, value, 1);
  if (ok && uiGetMinMax(msg, RowId(row), &minimum, &maximum)) ok = value >= minimum && value <= maximum;
  if (!ok) {
    uiEditErrMsgWindow(msg, row, rule);
    SetFocus(control);
    uiEditSetNowDataToControl(msg, row, rule);
    return 2;
  }
  LONG r = WriteNumber(msg, RowId(row), value);
  if (r != 1 && r != 3) uiEditSetNowDataToControl(msg, row, rule);
  return 1;
}

bool FormFileNameOk(const u16string& text) {
  size_t slash = text.find_last_of(u'\\');
  size_t n = slash == u16string::npos ? text.size() : text.size() - slash - 1;
  return n >= 1 && n <= 8;
}

LONG uiEditCheck(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, BYTE occasion);

// A message box of the check takes the focus while it is shown: the field's
// EN_KILLFOCUS then is the box's, not the user's, and checks nothing.
LONG uiEditKillChange(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, BYTE occasion) {
  UI_KEEP* keep = Keep(msg, row, false);
  const BOOL wasBusy = keep ? keep->busy : FALSE;
  if (keep) keep->busy = TRUE;
  LONG r = uiEditCheck(msg, row, rule, occasion);
  if (keep && uiRowIndex(msg, row) >= 0 && msg->data->keep[uiRowIndex(msg, row)] == keep) keep->busy = wasBusy;
  return r;
}

LONG uiEditCheck(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, BYTE occasion) {
  if (occasion && !(rule->switches & occasion)) return 1;
  if (row->controlId == UI_FORMFILE_CONTROL && !FormFileNameOk(Text(Control(msg, row)))) {
    WCHAR text[512] = {};
    if (uiMakeMsg(UI_STR_FORMFILE, nullptr, 0, text, 512)) uiMsgWindow(msg->dialog, text, MB_OK | MB_ICONEXCLAMATION);
    SetFocus(Control(msg, row));
    uiEditSetNowDataToControl(msg, row, rule);
    return 2;
  }
  return local_IsValidData(msg, row, rule);
}

LONG uiEditKillActive(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, UINT code) {
  if (code == PSN_RESET || msg->data->buttonKind == 2) return 0;
  return uiEditKillChange(msg, row, rule, UI_CHECK_KILLACTIVE) == 2 ? 1 : 0;
}

}  // namespace

std::u16string uiGetWindowText(HWND control) {
  int n = GetWindowTextLengthW(control);
  std::u16string s(static_cast<size_t>(n > 0 ? n : 0) + 1, u'\0');
  int got = GetWindowTextW(control, reinterpret_cast<LPWSTR>(s.data()), n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

void uiSetShownText(UI_KEEP* keep, HWND control, LPCWSTR text) {
  if (keep) keep->showing = TRUE;
  SetWindowTextW(control, text);
  if (keep) keep->showing = FALSE;
}

UI_KEEP* uiGetKeep(UI_MSGINFO* msg, const UI_IDTBL* row, BOOL make) {
  LONG i = uiRowIndex(msg, row);
  if (i < 0 || !msg->data->keep) return nullptr;
  if (!msg->data->keep[i] && make) msg->data->keep[i] = static_cast<UI_KEEP*>(kcore_Alloc(sizeof(UI_KEEP)));
  return msg->data->keep[i];
}

void uiFreeKeep(UI_DLGDATA* data, LONG row) {
  if (!data || !data->keep || row < 0) return;
  FreeKeepData(data->keep[row]);
  data->keep[row] = nullptr;
}

namespace {
void DropKeep(UI_MSGINFO* msg, const UI_IDTBL* row) { uiFreeKeep(msg->data, uiRowIndex(msg, row)); }
}  // namespace

LONG uiEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* rule = static_cast<const UI_EDITRULE*>(param);
  if (!msg || !msg->data || !row || !rule || !Control(msg, row)) return 0;
  const UINT code = NotifyCode(message, lParam);
  if (code == PSN_SETACTIVE) return uiEditSetActive(msg, row, rule);
  switch (message) {
    case WM_NOTIFY:
      if (code == PSN_KILLACTIVE) {
        LONG r = uiEditKillActive(msg, row, rule, code);
        if (r == 0) DropKeep(msg, row);  // kept while the page stays
        return r;
      }
      if (code == PSN_RESET || code == PSN_APPLY) DropKeep(msg, row);
      return 0;
    case WM_COMMAND: {
      const WORD what = HIWORD(wParam);
      if (what == EN_CHANGE) return uiEditEnChange(msg, row, rule);
      if (what == EN_KILLFOCUS) {
        UI_KEEP* keep = Keep(msg, row, false);
        if (keep && keep->busy) return 0;
        uiEditKillChange(msg, row, rule, UI_CHECK_KILLFOCUS);
      }
      return 0;
    }
    case UIM_VALIDATE:
      return uiEditKillChange(msg, row, rule, UI_CHECK_VALIDATE) == 2 ? 1 : 0;
    case UIM_RESTORE:
    case UIM_REDISPLAY:
      uiEditSetNowDataToControl(msg, row, rule);
      return 0;
    default:
      return 0;
  }
}

// ---- Buttons ----------------------------------------------------------------------------

namespace {
void uiButtonConstCheck(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type) {
  WORD action = uiGetNowFuncConst(msg, row);
  UI_SHEET* sheet = uiGetSheet(Root(msg));
  if (sheet && !sheet->permission && action != 0 && action != 6) action = 1;
  uiApplyRowState(msg, row, type, action);
}
}  // namespace

LONG uiButton(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (IsDisplay(message, lParam)) {
    uiButtonConstCheck(msg, row, UI_CT_BUTTON);
    return 0;
  }
  if (message != WM_COMMAND || !param) return 0;
  return uiButtonCommand(msg, row, static_cast<const UI_BUTTON*>(param));
}

LONG uiCtDmy(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  if (IsDisplay(message, lParam)) uiButtonConstCheck(msg, row, UI_CT_DUMMY);
  return 0;
}

LONG uiButtonDefault_NoPermission(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                                  const void* param) {
  const auto* list = static_cast<const UI_DEFAULTLIST*>(param);
  UI_SHEET* sheet = uiGetSheet(Root(msg));
  if (!msg || !msg->data || !row || !list || !sheet) return 0;
  if (sheet->permission) return uiButton(msg, message, wParam, lParam, row, &list->button);
  if (IsDisplay(message, lParam)) {
    uiButtonConstCheck(msg, row, UI_CT_BUTTON);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  UIROOT* root = Root(msg);
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* ids = room;
  WORD n = 0;
  for (const WORD* p = list->ids; p && *p; ++p) {
    cdmSetDefaultData(root->uiData->ddd, root->devmode, *p, root->printerData);
    cnstUtil_AddWordArray(*p, CONST_ROOM_CHANGED, &ids, &n);
  }
  auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (static_cast<size_t>(n) + 1) * sizeof(WORD)));
  if (out && n) std::memcpy(out, ids, n * sizeof(WORD));
  cnstUtil_FreeWordList(ids, n, CONST_ROOM_CHANGED);
  uiSetUpDateMsgInfo(msg, out, list->ids ? list->ids[0] : 0);
  return 0;
}

LONG uiEWSBtn(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  if (message != WM_COMMAND) return uiCtDmy(msg, message, wParam, lParam, row, nullptr);
  // The device's web page: the port's address.
  UIROOT* root = Root(msg);
  if (!root || !root->uiData || !root->uiData->portName || !*root->uiData->portName) return 0;
  u16string url = u"http://";
  url += reinterpret_cast<const char16_t*>(root->uiData->portName);
  ShellExecuteW(msg->dialog, u"open", reinterpret_cast<LPCWSTR>(url.c_str()), nullptr, nullptr, SW_SHOW);
  return 0;
}

// ---- Check box, radio -------------------------------------------------------------------

namespace {
// The item a checked box stands for: item 0, unless the description lists
// the two values off first (0, then another), as model A's collate does.
LONG OnItem(UI_MSGINFO* msg, WORD id) {
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
  const CDM_SELECT_ITEM* a = si ? cdmGetSelectItemDevData(si, 0) : nullptr;
  const CDM_SELECT_ITEM* b = si ? cdmGetSelectItemDevData(si, 1) : nullptr;
  if (a && b && cdmGetSelectItemNum(si) == 2 && si->type != 6) {
    WORD t = si->type ? si->type : 4;
    if (cdmDmConvertINT(t, &a->value) == 0 && cdmDmConvertINT(t, &b->value) != 0) return 1;
  }
  return 0;
}
}  // namespace

LONG uiCheckBox(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  const LONG on = OnItem(msg, RowId(row));
  if (IsDisplay(message, lParam)) {
    LONG i = uiGetDspPos(msg, row);
    SendMessageW(control, BM_SETCHECK, i == on ? BST_CHECKED : BST_UNCHECKED, 0);
    uiCheckFuncConst(msg, row, UI_CT_CHECK);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  LONG r = WriteItem(msg, row, checked ? on : 1 - on);
  if (r != 1 && r != 3) uiCheckBox(msg, UIM_REDISPLAY, 0, 0, row, nullptr);
  return 0;
}

namespace {
LONG uiResMyPos(const UI_RADIOPOS* pos, LONG id) {
  for (LONG i = 0; pos && i < pos->count; ++i)
    if (pos->ids[i] == id) return i;
  return -1;
}
void uiRadioDspApply(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_RADIOPOS* pos) {
  LONG i = uiGetDspPos(msg, row);
  for (LONG k = 0; k < pos->count; ++k)
    SendDlgItemMessageW(msg->dialog, pos->ids[k], BM_SETCHECK, k == i ? BST_CHECKED : BST_UNCHECKED, 0);
  uiCheckFuncConst(msg, row, UI_CT_RADIO);
}
}  // namespace

LONG uiRadio(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* pos = static_cast<const UI_RADIOPOS*>(param);
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !pos || !control) return 0;
  if (IsDisplay(message, lParam)) {
    uiRadioDspApply(msg, row, pos);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  if (SendMessageW(control, BM_GETCHECK, 0, 0) != BST_CHECKED) return 0;
  LONG i = uiResMyPos(pos, row->controlId);
  if (i < 0) return 0;
  LONG r = WriteItem(msg, row, i);
  if (r != 1 && r != 3) uiRadioDspApply(msg, row, pos);
  return 0;
}

// ---- Spin, scroll, slider ---------------------------------------------------------------

namespace {
const UI_IDTBL* Buddy(const UI_MSGINFO* msg, const UI_IDTBL* row) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ci && i < ci->rows; ++i)
    if (ci->table[i].type == UI_CT_EDIT && RowId(&ci->table[i]) == RowId(row)) return &ci->table[i];
  return nullptr;
}
}  // namespace

namespace {
// Writes the up-down's position (in the display unit) and shows it in the
// buddy edit.
void uiSpinVscroll(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_EDITRULE* rule, const UI_IDTBL* buddy,
                   const UI_EDITRULE* buddyRule, LONG position) {
  LONG value = position;
  if (buddyRule && (buddyRule->flags & UI_EDIT_MMINCH)) value = uiMmInch(value, Unit(msg), 1);
  value = uiCalcSetData(rule ? rule->convert : nullptr, value, 1);
  WriteNumber(msg, RowId(row), value);
  if (buddy && buddyRule) uiEditSetNowDataToControl(msg, buddy, buddyRule);
}
}  // namespace

LONG uiSpin(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* rule = static_cast<const UI_EDITRULE*>(param);
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  const UI_IDTBL* buddy = Buddy(msg, row);
  const auto* buddyRule = buddy ? static_cast<const UI_EDITRULE*>(buddy->param) : rule;
  if (NotifyCode(message, lParam) == PSN_SETACTIVE || message == UIM_REDISPLAY) {
    LONG minimum = 0, maximum = 0;
    if (message != UIM_REDISPLAY && uiGetMinMax(msg, RowId(row), &minimum, &maximum)) {
      if (rule && rule->convert) {
        minimum = uiCalcSetData(rule->convert, minimum, 2);
        maximum = uiCalcSetData(rule->convert, maximum, 2);
      }
      SendMessageW(control, UDM_SETRANGE, 0, MAKELONG(static_cast<SHORT>(maximum), static_cast<SHORT>(minimum)));
    }
    WORD type = 0;
    ULONG_PTR v = 0;
    if (Value(msg, RowId(row), &type, &v))
      SendMessageW(control, UDM_SETPOS, 0, uiCalcSetData(rule ? rule->convert : nullptr, cdmDmConvertINT(type, &v), 2));
    uiCheckFuncConst(msg, row, UI_CT_SPIN);
    return 0;
  }
  if (message != WM_VSCROLL || LOWORD(wParam) != SB_THUMBPOSITION) return 0;
  HWND edit = buddy ? Control(msg, buddy) : nullptr;
  if (edit && (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY)) return 0;
  UI_KEEP* keep = buddy ? Keep(msg, buddy, false) : nullptr;
  if (keep) keep->busy = TRUE;
  uiSpinVscroll(msg, row, rule, buddy, buddyRule, static_cast<SHORT>(HIWORD(wParam)));
  if (keep) keep->busy = FALSE;
  return 0;
}

namespace {
// Steps the bar by its code (line 1, page 10, the thumb, the ends), within
// the setting's range, and writes the value.
void uiScrollVHscroll(UI_MSGINFO* msg, const UI_IDTBL* row, HWND control, WORD code, LONG thumb) {
  LONG minimum = 0, maximum = 0;
  const bool range = uiGetMinMax(msg, RowId(row), &minimum, &maximum);
  const LONG shift = minimum < 0 ? -minimum : 0;
  LONG pos = GetScrollPos(control, SB_CTL);
  switch (code) {
    case SB_LINEUP: pos -= 1; break;
    case SB_LINEDOWN: pos += 1; break;
    case SB_PAGEUP: pos -= 10; break;
    case SB_PAGEDOWN: pos += 10; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = thumb; break;
    case SB_TOP: pos = minimum + shift; break;
    case SB_BOTTOM: pos = maximum + shift; break;
    default: return;
  }
  if (range) pos = pos < minimum + shift ? minimum + shift : pos > maximum + shift ? maximum + shift : pos;
  SetScrollPos(control, SB_CTL, pos, TRUE);
  LONG r = WriteNumber(msg, RowId(row), pos - shift);
  if (r != 1 && r != 3) uiScroll(msg, UIM_REDISPLAY, 0, 0, row, nullptr);
}
}  // namespace

LONG uiScroll(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (NotifyCode(message, lParam) == PSN_SETACTIVE || message == UIM_REDISPLAY) {
    LONG minimum = 0, maximum = 0;
    const bool range = uiGetMinMax(msg, RowId(row), &minimum, &maximum);
    const LONG shift = minimum < 0 ? -minimum : 0;
    if (range) SetScrollRange(control, SB_CTL, minimum + shift, maximum + shift, FALSE);
    WORD type = 0;
    ULONG_PTR v = 0;
    if (Value(msg, RowId(row), &type, &v)) SetScrollPos(control, SB_CTL, cdmDmConvertINT(type, &v) + shift, TRUE);
    uiCheckFuncConst(msg, row, UI_CT_SCROLL);
    return 0;
  }
  if (message != WM_HSCROLL && message != WM_VSCROLL) return 0;
  uiScrollVHscroll(msg, row, control, LOWORD(wParam), static_cast<SHORT>(HIWORD(wParam)));
  return 0;
}

LONG uiSlider(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* slider = static_cast<const UI_SLIDER*>(param);
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (NotifyCode(message, lParam) == PSN_SETACTIVE || message == UIM_REDISPLAY) {
    LONG minimum = 0, maximum = 0;
    if (uiGetMinMax(msg, RowId(row), &minimum, &maximum))
      SendMessageW(control, TBM_SETRANGE, TRUE, MAKELONG(static_cast<SHORT>(minimum), static_cast<SHORT>(maximum)));
    WORD type = 0;
    ULONG_PTR v = 0;
    if (Value(msg, RowId(row), &type, &v)) SendMessageW(control, TBM_SETPOS, TRUE, cdmDmConvertINT(type, &v));
    uiCheckFuncConst(msg, row, UI_CT_SLIDER);
    return 0;
  }
  if (message != WM_HSCROLL && message != WM_VSCROLL) return 0;
  switch (LOWORD(wParam)) {
    case TB_LINEUP:
    case TB_LINEDOWN:
    case TB_THUMBPOSITION:
    case TB_THUMBTRACK:
    case TB_ENDTRACK:
      break;
    default:
      return 0;  // page keys, top and bottom change nothing
  }
  LONG pos = static_cast<LONG>(SendMessageW(control, TBM_GETPOS, 0, 0));
  if (slider && slider->convert) pos = uiCalcSetData(nullptr, pos, 1);
  LONG r = WriteNumber(msg, RowId(row), pos);
  if (r != 1 && r != 3) uiSlider(msg, UIM_REDISPLAY, 0, 0, row, param);
  return 0;
}

// ---- Static, help text, icon, bitmap -----------------------------------------------------

LONG uiStaticText(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* rec = static_cast<const UI_STATICTEXT*>(param);
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control || !IsDisplay(message, lParam)) return 0;
  if (rec && rec->kind == 1) {
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, RowId(row));
    LPCWSTR name = si ? cdmGetSelectItemName(si, uiGetDspPos(msg, row)) : nullptr;
    SetWindowTextW(control, name ? name : u"");
  } else if (rec && rec->kind == 2 && rec->value > 0) {
    WCHAR text[257] = {};
    if (resource_LoadString(static_cast<UINT>(rec->value), text, 257)) SetWindowTextW(control, text);
  }
  uiCheckFuncConst(msg, row, UI_CT_STATIC);
  return 0;
}

LONG uiHelpText(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  const auto* rec = static_cast<const UI_HELPTEXT*>(param);
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control || !IsDisplay(message, lParam)) return 0;
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, RowId(row));
  LONG index = si && cdmGetSelMethod(si) == CDM_SELECT_LIMITS ? 0 : uiGetDspPos(msg, row);
  HWND follow = rec && rec->followId != UI_NOSTRING ? GetDlgItem(msg->dialog, rec->followId) : nullptr;
  if (follow) {  // the item the list or combo shows
    WCHAR cls[16] = {};
    GetClassNameW(follow, cls, 16);
    const bool combo = lstrcmpW(cls, u"ComboBox") == 0;
    LRESULT sel = SendMessageW(follow, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    if (sel >= 0)
      index = static_cast<LONG>(SendMessageW(follow, combo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(sel), 0));
  }
  LPCWSTR name = si ? cdmGetSelectItemName(si, index) : nullptr;
  u16string text;
  if (name) {
    u16string all(reinterpret_cast<const char16_t*>(name));
    size_t at = all.find(u"\r\n");
    if (at != u16string::npos) text = all.substr(at + 2);
  }
  SetWindowTextW(control, reinterpret_cast<LPCWSTR>(text.c_str()));
  uiCheckFuncConst(msg, row, UI_CT_HELPTEXT);
  return 0;
}

LONG uiIcon(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (message == UIM_ROWPARAM) {
    if (lParam) *reinterpret_cast<const void**>(lParam) = param;
    return TRUE;
  }
  const UINT code = NotifyCode(message, lParam);
  if (code == PSN_APPLY || code == PSN_KILLACTIVE) {
    DropKeep(msg, row);
    return 0;
  }
  if (message == WM_PALETTECHANGED && (reinterpret_cast<HWND>(wParam) == msg->dialog ||
                                       reinterpret_cast<HWND>(wParam) == control))
    return 0;  // its own realizing
  if (code != PSN_SETACTIVE && message != UIM_REDISPLAY && message != WM_QUERYNEWPALETTE &&
      message != WM_PALETTECHANGED)
    return 0;
  UI_KEEP* keep = Keep(msg, row, true);
  if (keep) keep->iconReady = TRUE;
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, RowId(row));
  CDM_ICON* icon = si ? cdmGetIconHandle(si, uiGetDspPos(msg, row)) : nullptr;
  SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  uiCheckFuncConst(msg, row, UI_CT_ICON);
  return 0;
}

// The preview: an owner-drawn static whose picture is drawn in layers, in
// order, when its parent gets WM_DRAWITEM for it: the base picture (an icon
// of the resource module) and then, for each display entry of the row, the
// icon of the setting's current item where the description gives one.
LONG uiBitmapDraw(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_BITMAP* rec, const DRAWITEMSTRUCT* d) {
  if (!d || !d->hDC) return TRUE;
  const RECT& r = d->rcItem;
  const int cx = r.right - r.left, cy = r.bottom - r.top;
  if (rec && rec->baseIcon > 0) {
    HICON base = LoadIconW(resource_get_hInstance(), MAKEINTRESOURCEW(rec->baseIcon));
    if (base) {
      DrawIconEx(d->hDC, r.left, r.top, base, cx, cy, 0, nullptr, DI_NORMAL);
      DestroyIcon(base);
    }
  }
  for (LONG k = 0; row->dsp && k < row->dspCount; ++k) {
    const WORD id = row->dsp[k].ddmId;
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
    WORD type = 0;
    ULONG_PTR value = 0;
    if (!si || !Value(msg, id, &type, &value)) continue;
    CDM_ICON* icon = cdmGetIconHandle(si, uiSearchItemPos(si, type, &value));
    if (icon) DrawIconEx(d->hDC, r.left, r.top, reinterpret_cast<HICON>(icon), cx, cy, 0, nullptr, DI_NORMAL);
  }
  return TRUE;
}

LONG uiBitmap(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message == WM_DRAWITEM)
    return uiBitmapDraw(msg, row, static_cast<const UI_BITMAP*>(param), reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  return uiCtDmy(msg, message, wParam, lParam, row, nullptr);
}

LONG uiComboBox(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  return uiLbCbMessage(msg, message, wParam, lParam, row, true);
}
LONG uiListBox(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  return uiLbCbMessage(msg, message, wParam, lParam, row, false);
}

// ---- Constraint display ----------------------------------------------------------------

void uiApplyConstState(HWND control, WORD type, WORD action) {
  if (!control) return;
  if (action == 6) {
    if (type == UI_CT_EDIT) SendMessageW(control, EM_SETREADONLY, FALSE, 0);
    EnableWindow(control, FALSE);
    ShowWindow(control, SW_HIDE);
    return;
  }
  ShowWindow(control, SW_SHOW);
  if (type == UI_CT_EDIT) {
    SendMessageW(control, EM_SETREADONLY, action == 14 ? TRUE : FALSE, 0);
    EnableWindow(control, action == 1 ? FALSE : TRUE);
    return;
  }
  bool enabled = true;
  if (type == UI_CT_COMBO)
    enabled = !(action == 1 || action == 14 || action == 15);
  else
    enabled = !(action == 1 || action == 15);
  EnableWindow(control, enabled ? TRUE : FALSE);
}

void uiCheckFuncConst(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type) {
  uiApplyRowState(msg, row, type, uiGetNowFuncConst(msg, row));
}

void uiApplyRowState(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type, WORD action) {
  HWND control = Control(msg, row);
  uiApplyConstState(control, type, action);
  const auto* sub = row ? static_cast<const UI_SUBIDTBL*>(row->subIds) : nullptr;
  if (control && sub && (sub->flags & UI_SUBID_DSPBYCONTROL) && row->relatedId != UI_NOSTRING) {
    HWND label = GetDlgItem(msg->dialog, row->relatedId);
    if (label) {
      ShowWindow(label, IsWindowVisible(control) ? SW_SHOW : SW_HIDE);
      EnableWindow(label, IsWindowEnabled(control));
    }
  }
}

const UI_CONTROLFUNC _uiControlFunc[] = {
    {UI_CT_COMBO, uiComboBox},   {UI_CT_LIST, uiListBox},      {UI_CT_EDIT, uiEdit},     {UI_CT_RADIO, uiRadio},
    {UI_CT_BUTTON, uiButton},    {UI_CT_CHECK, uiCheckBox},    {UI_CT_SCROLL, uiScroll}, {UI_CT_SPIN, uiSpin},
    {UI_CT_STATIC, uiStaticText}, {UI_CT_HELPTEXT, uiHelpText}, {UI_CT_SLIDER, uiSlider}, {UI_CT_ICON, uiIcon},
    {UI_CT_BITMAP, uiBitmap},    {UI_CT_DUMMY, uiCtDmy},       {0, nullptr},
};

UI_CTLFUNC uiSearchControlFunc(WORD type) {
  for (const UI_CONTROLFUNC* f = _uiControlFunc; f->handler; ++f)
    if (static_cast<WORD>(f->type) == type) return f->handler;
  return nullptr;
}

UI_CTLFUNC uiGetCommonFuncPtr(WORD type) { return uiSearchControlFunc(type); }
