// The insert page-position dialogs (37, 48): the page-list edit and its
// rows (decisions at kestrel/sheets/sheet_dialogs.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"

namespace {

using std::u16string;

constexpr LONG kTokenTooLong = 10;  // ANSI characters of a token that is out of range whatever its value

UINT NotifyCode(UINT message, LPARAM lParam) {
  return message == WM_NOTIFY && lParam ? reinterpret_cast<const NMHDR*>(lParam)->code : 0;
}

u16string Text(HWND control, LONG chars) {
  u16string s(static_cast<size_t>(chars) + 1, u'\0');
  int got = GetWindowTextW(control, reinterpret_cast<LPWSTR>(s.data()), chars + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

int AnsiBytes(const u16string& s) {
  if (s.empty()) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(s.c_str()), static_cast<int>(s.size()), nullptr, 0,
                             nullptr, nullptr);
}

void Remember(UI_KEEP* keep, const u16string& text) {
  if (!keep) return;
  kcore_Free(keep->current);
  kcore_Free(keep->previous);
  keep->current = kcore_WideDup(reinterpret_cast<LPCWSTR>(text.c_str()));
  keep->previous = kcore_WideDup(reinterpret_cast<LPCWSTR>(text.c_str()));
}

// The stored list as the edit shows it ("3,1,2"); FALSE when a value cannot
// be read.
bool DisplayString(UI_MSGINFO* msg, const UI_IDTBL* row, u16string* out) {
  UIROOT* root = msg->data->root;
  out->clear();
  bool started = false;
  for (LONG i = 0; i < row->dspCount && i < UI_POSITION_COUNT; ++i) {
    LONG v = 0;
    if (!ddm_GetNumber(row->dsp[i].ddmId, root->devmode, root->printerData, &v)) return false;
    if (v == 0) {
      if (started) break;  // the list ends at the first 0 after a value
      continue;
    }
    if (started) *out += u',';
    WCHAR n[16] = {};
    uiNumtoStr(v, n, 16);
    *out += reinterpret_cast<const char16_t*>(n);
    started = true;
  }
  return true;
}

void Show(UI_MSGINFO* msg, const UI_IDTBL* row, HWND control) {
  u16string text;
  DisplayString(msg, row, &text);
  UI_KEEP* keep = uiGetKeep(msg, row, FALSE);
  uiSetShownText(keep, control, reinterpret_cast<LPCWSTR>(text.c_str()));
  Remember(keep, text);
}

void Limits(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_POSITIONEDIT* edit, LONG* minimum, LONG* maximum) {
  if (!uiGetMinMax(msg, row->dsp[0].ddmId, minimum, maximum)) {
    *minimum = edit->minimum;
    *maximum = edit->maximum;
  }
}

// Writes the numbers into the row's items, zeros after them; all or none.
LONG Store(UI_MSGINFO* msg, const UI_IDTBL* row, const std::vector<WORD>& numbers) {
  UIROOT* root = msg->data->root;
  std::vector<BYTE> dm(static_cast<const BYTE*>(root->devmode),
                       static_cast<const BYTE*>(root->devmode) + NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd(static_cast<const BYTE*>(root->printerData),
                       static_cast<const BYTE*>(root->printerData) + NRV_PRINTERDATA_SIZE);
  for (LONG i = 0; i < row->dspCount && i < UI_POSITION_COUNT; ++i) {
    WORD v = static_cast<size_t>(i) < numbers.size() ? numbers[static_cast<size_t>(i)] : 0;
    if (ddm_SetValue(row->dsp[i].ddmId, root->devmode, root->printerData, DDM_TYPE_WORD, sizeof v, &v) != 0) {
      std::memcpy(root->devmode, dm.data(), dm.size());
      std::memcpy(root->printerData, pd.data(), pd.size());
      return UI_CVI_FAILED;
    }
  }
  return UI_CVI_OK;
}

// The box of an error code (none for a failure); the stored list shown
// again and the focus back in the edit.
void Report(UI_MSGINFO* msg, const UI_IDTBL* row, HWND control, LONG code, LONG minimum, LONG maximum) {
  UI_KEEP* keep = uiGetKeep(msg, row, FALSE);
  if (code == UI_CVI_FAILED || (keep && keep->boxShown)) return;
  WCHAR a[16] = {}, b[16] = {};
  UINT id = UI_STR_POSITION_INVALID;
  if (code == UI_CVI_TOOMANY) {
    id = UI_STR_POSITION_TOOMANY;
    uiNumtoStr(UI_POSITION_COUNT, a, 16);
  } else if (code == UI_CVI_DUPLICATE) {
    id = UI_STR_POSITION_DUPLICATE;
  } else {
    uiNumtoStr(minimum, a, 16);
    uiNumtoStr(maximum, b, 16);
  }
  LPCWSTR args[] = {a, b};
  uiRowMsgBox(msg, row, id, args, 2);
  Show(msg, row, control);
  SetFocus(control);
}

// Step 3: parse, check and store the edit's text. UI_CVI_OK also for a
// disabled control (nothing changes).
LONG CheckAndStore(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_POSITIONEDIT* edit, HWND control) {
  if (!IsWindowEnabled(control)) return UI_CVI_OK;
  LONG minimum = 0, maximum = 0;
  Limits(msg, row, edit, &minimum, &maximum);
  u16string text = Text(control, edit->maxBytes);
  std::vector<WORD> numbers;
  LONG r = uiCvi_ParsePositions(reinterpret_cast<LPCWSTR>(text.c_str()), minimum, maximum,
                                uiCom_GetCoverInsertDlgKind(msg->data->root), &numbers);
  if (r == UI_CVI_OK) r = Store(msg, row, numbers);
  if (r != UI_CVI_OK) Report(msg, row, control, r, minimum, maximum);
  return r;
}

// Step 5: leaving the dialog. 1 keeps it open.
LONG Leave(UI_MSGINFO* msg, const UI_IDTBL* row, const UI_POSITIONEDIT* edit, HWND control) {
  if (msg->data->buttonKind == 2) return 0;  // Cancel
  if (CheckAndStore(msg, row, edit, control) != UI_CVI_OK) return 1;
  if (IsWindowEnabled(control) && GetWindowTextLengthW(control) == 0) {
    LONG minimum = 0, maximum = 0;
    Limits(msg, row, edit, &minimum, &maximum);
    WCHAR a[16] = {}, b[16] = {};
    uiNumtoStr(minimum, a, 16);
    uiNumtoStr(maximum, b, 16);
    LPCWSTR args[] = {a, b};
    uiRowMsgBox(msg, row, UI_STR_POSITION_INVALID, args, 2);
    SetFocus(control);
    return 1;
  }
  return 0;
}

bool PositionChars(const u16string& text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return (c >= u'0' && c <= u'9') || c == u','; });
}

}  // namespace

BOOL uiRowMsgBox(UI_MSGINFO* msg, const UI_IDTBL* row, UINT id, const LPCWSTR* args, int count) {
  UI_KEEP* keep = uiGetKeep(msg, row, TRUE);
  if (keep && keep->boxShown) return FALSE;
  WCHAR text[1024] = {};
  if (!uiMakeMsg(id, args, count, text, 1024)) return FALSE;
  if (keep) keep->boxShown = TRUE;
  uiMsgWindow(msg->dialog, text, MB_OK | MB_ICONEXCLAMATION);
  keep = uiGetKeep(msg, row, FALSE);  // the row's data may have gone while the box was open
  if (keep) keep->boxShown = FALSE;
  return TRUE;
}

LONG uiCom_GetCoverInsertDlgKind(const UIROOT* root) {
  LONG installed = 0;
  if (!root || !ddm_GetNumber(UI_DDM_BOOKLET_UNIT, root->devmode, root->printerData, &installed)) return 0;
  return installed ? 2 : 1;
}

LONG uiCvi_ParsePositions(LPCWSTR text, LONG minimum, LONG maximum, LONG kind, std::vector<WORD>* out) {
  if (!text || !out) return UI_CVI_FAILED;
  out->clear();
  u16string s(reinterpret_cast<const char16_t*>(text));
  if (s.empty()) return UI_CVI_OK;  // no positions: 0 in all 20
  if (!PositionChars(s)) return UI_CVI_INVALID;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(u',', start);
    if (comma == u16string::npos) comma = s.size();
    u16string token = s.substr(start, comma - start);
    start = comma + 1;
    if (token.empty()) continue;
    if (out->size() >= UI_POSITION_COUNT) return UI_CVI_TOOMANY;
    if (AnsiBytes(token) >= kTokenTooLong) return UI_CVI_RANGE;
    unsigned long long n = 0;
    for (char16_t c : token) {
      if (c < u'0' || c > u'9') return UI_CVI_FAILED;
      n = n * 10 + static_cast<unsigned>(c - u'0');
    }
    if (n < static_cast<unsigned long long>(minimum < 0 ? 0 : minimum) || n > static_cast<unsigned long long>(maximum) ||
        n > 0xFFFF)
      return UI_CVI_RANGE;
    out->push_back(static_cast<WORD>(n));
  }
  if (out->empty()) return UI_CVI_INVALID;
  if (kind == 1) {
    std::vector<WORD> sorted = *out;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return UI_CVI_DUPLICATE;
  } else if (kind == 2) {
    std::sort(out->begin(), out->end());
  }
  return UI_CVI_OK;
}

LONG uiDspCvi_InsertPositionEdit(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                                 const void* param) {
  const auto* edit = static_cast<const UI_POSITIONEDIT*>(param);
  if (!msg || !msg->data || !msg->data->root || !msg->dialog || !row || !edit || row->dspCount < 1 || !row->dsp)
    return 1;
  HWND control = GetDlgItem(msg->dialog, row->controlId);
  if (!control) return 1;
  const UINT code = NotifyCode(message, lParam);
  if (message == WM_INITDIALOG) {
    SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(edit->maxBytes), 0);
    return 0;
  }
  if (code == PSN_SETACTIVE || message == UIM_REDISPLAY) {
    if (code == PSN_SETACTIVE) uiGetKeep(msg, row, TRUE);
    Show(msg, row, control);
    uiCheckFuncConst(msg, row, UI_CT_EDIT);
    return 0;
  }
  if (code == PSN_KILLACTIVE || message == UIM_VALIDATE) {
    LONG r = Leave(msg, row, edit, control);
    if (r == 0) uiFreeKeep(msg->data, uiRowIndex(msg, row));
    return r;
  }
  if (code == PSN_RESET || code == PSN_APPLY) {
    uiFreeKeep(msg->data, uiRowIndex(msg, row));
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  UI_KEEP* keep = uiGetKeep(msg, row, FALSE);
  switch (HIWORD(wParam)) {
    case EN_KILLFOCUS:
      if (!keep || keep->boxShown) return 0;
      return CheckAndStore(msg, row, edit, control) == UI_CVI_FAILED ? 1 : 0;
    case EN_CHANGE: {
      // The length guard: the ANSI form of the text within the limit.
      if (!keep || keep->showing) return 0;
      u16string text = Text(control, edit->maxBytes + 1);
      if (AnsiBytes(text) > edit->maxBytes) {
        uiSetShownText(keep, control, keep->previous ? keep->previous : u"");
      } else {
        Remember(keep, text);
      }
      return 0;
    }
    default:
      return 0;
  }
}

// ---- Rows --------------------------------------------------------------------------

namespace {
constexpr LONG N = UI_NOSTRING;
constexpr LONG kPageMax = 9999;
constexpr LONG kTextBytes = 99;  // 20 four-digit numbers and 19 commas

#define P(i) {static_cast<WORD>(DDM_INSERT_POSITION_FIRST + (i)), 3}
const UI_DSPINFO kPositions[UI_POSITION_COUNT] = {P(0),  P(1),  P(2),  P(3),  P(4),  P(5),  P(6),
                                                  P(7),  P(8),  P(9),  P(10), P(11), P(12), P(13),
                                                  P(14), P(15), P(16), P(17), P(18), P(19)};
#undef P
static_assert(DDM_INSERT_POSITION_FIRST + UI_POSITION_COUNT - 1 == DDM_INSERT_POSITION_LAST);

const UI_POSITIONEDIT kPositionEdit = {kTextBytes, 1, kPageMax};
const UI_POSITIONEDIT kPositionEditFinisher = {kTextBytes, 1, kPageMax};
const UI_BUTTON kOk = {1, nullptr};
const UI_BUTTON kCancel = {2, nullptr};

const UI_IDTBL UiIdTblCoverInsert[] = {
    {IDC_CVI_POSITION, UI_POSITION_COUNT, kPositions, UI_CT_EDIT, uiDspCvi_InsertPositionEdit, &kPositionEdit, N, N,
     nullptr},
    {IDOK, 0, nullptr, UI_CT_BUTTON, nullptr, &kOk, N, N, nullptr},
    {IDCANCEL, 0, nullptr, UI_CT_BUTTON, nullptr, &kCancel, N, N, nullptr},
};
const UI_IDTBL UiIdTblCoverInsertDFinisher[] = {
    {IDC_CVI_POSITION, UI_POSITION_COUNT, kPositions, UI_CT_EDIT, uiDspCvi_InsertPositionEdit,
     &kPositionEditFinisher, N, N, nullptr},
    {IDOK, 0, nullptr, UI_CT_BUTTON, nullptr, &kOk, N, N, nullptr},
    {IDCANCEL, 0, nullptr, UI_CT_BUTTON, nullptr, &kCancel, N, N, nullptr},
};
}  // namespace

const UI_CONTROL_INFO uiControlInfoCoverInsert = {UiIdTblCoverInsert, 3, 90370, nullptr, nullptr, 0};
const UI_CONTROL_INFO uiControlInfoCoverInsertDFinisher = {UiIdTblCoverInsertDFinisher, 3, 90480, nullptr, nullptr,
                                                           0};
