// The favourites add (35) and edit (36) dialogs: their rows and handlers
// over the favourites store (decisions at kestrel/sheets/sheet_dialogs.h).
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"
#include "kplatform/wide_text.h"

namespace {

using std::u16string;

bool g_showing = false;  // the handlers are putting an entry into the edits

UINT NotifyCode(UINT message, LPARAM lParam) {
  return message == WM_NOTIFY && lParam ? reinterpret_cast<const NMHDR*>(lParam)->code : 0;
}

UIROOT* Root(const UI_MSGINFO* msg) { return msg && msg->data ? msg->data->root : nullptr; }

bool Ready(const UI_MSGINFO* msg) {
  UIROOT* root = Root(msg);
  return root && root->uiData && root->uiData->printer && root->uiData->ddd;
}

u16string Text(HWND control) { return uiGetWindowText(control); }

void SetText(HWND control, LPCWSTR text) {
  g_showing = true;
  SetWindowTextW(control, text);
  g_showing = false;
}

void Box(UI_MSGINFO* msg, UINT id, const LPCWSTR* args, int count) { Fav_MessageBox(msg->dialog, id, args, count, MB_OK | MB_ICONEXCLAMATION); }

void BadName(UI_MSGINFO* msg, int nameControl) {
  WCHAR limit[8] = {};
  uiNumtoStr(FAV_NAME_CHARS, limit, 8);
  LPCWSTR args[] = {limit};
  Box(msg, UI_STR_FAV_BADNAME, args, 1);
  SetFocus(GetDlgItem(msg->dialog, nameControl));
}

void NameTaken(UI_MSGINFO* msg, LPCWSTR name, int nameControl) {
  WCHAR title[128] = {};
  resource_LoadString(FAV_STRID_TITLE, title, 128);
  LPCWSTR args[] = {title, name};
  Box(msg, FAV_STRID_SAME_NAME, args, 2);
  SetFocus(GetDlgItem(msg->dialog, nameControl));
}

// The favourites' list as the store gives it, read on a scratch copy of
// the settings (the store writes the stored position into it).
bool LoadList(UI_MSGINFO* msg, FAV_LIST* list) {
  UIROOT* root = Root(msg);
  std::vector<BYTE> dm(static_cast<const BYTE*>(root->devmode),
                       static_cast<const BYTE*>(root->devmode) + NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd(static_cast<const BYTE*>(root->printerData),
                       static_cast<const BYTE*>(root->printerData) + NRV_PRINTERDATA_SIZE);
  return Fav_LoadList(root->uiData->printer, root->uiData->ddd, dm.data(), pd.data(), list) != FALSE;
}

const UI_IDTBL* RowOf(const UI_MSGINFO* msg, LONG controlId) {
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  for (LONG i = 0; ci && i < ci->rows; ++i)
    if (ci->table[i].controlId == controlId) return &ci->table[i];
  return nullptr;
}

void FreeEdit(void* p) { delete static_cast<UI_FAVEDIT*>(p); }

// The edit dialog's list, loaded when first asked for; null when it cannot
// be had.
UI_FAVEDIT* EditState(UI_MSGINFO* msg) {
  const UI_IDTBL* row = RowOf(msg, IDC_UED_LIST);
  UI_KEEP* keep = row ? uiGetKeep(msg, row, TRUE) : nullptr;
  if (!keep) return nullptr;
  if (keep->extra) return static_cast<UI_FAVEDIT*>(keep->extra);
  if (!Ready(msg)) return nullptr;
  auto* state = new (std::nothrow) UI_FAVEDIT();
  if (!state) return nullptr;
  if (!LoadList(msg, &state->list)) {
    delete state;
    return nullptr;
  }
  UI_USERSEL_WORK* work = uiUedGetWorkArea(Root(msg));
  WORD position = work ? work->position : 0;
  if (position >= state->list.entries.size()) position = 0;
  state->list.selected = position;
  state->selectedNumber = state->list.entries.empty() ? 0 : state->list.entries[position].number;
  keep->extra = state;
  keep->extraFree = FreeEdit;
  return state;
}

LONG Selection(UI_MSGINFO* msg) {
  return static_cast<LONG>(SendDlgItemMessageW(msg->dialog, IDC_UED_LIST, LB_GETCURSEL, 0, 0));
}

void FillList(UI_MSGINFO* msg, UI_FAVEDIT* state, LONG select) {
  HWND list = GetDlgItem(msg->dialog, IDC_UED_LIST);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const FAV_ENTRY& e : state->list.entries) {
    LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.name));
    if (at >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), e.number);
  }
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
}

// Shows the selected entry: name, comment, contents and the button states.
void ShowEntry(UI_MSGINFO* msg, UI_FAVEDIT* state) {
  const LONG sel = Selection(msg);
  const LONG n = static_cast<LONG>(state->list.entries.size());
  const FAV_ENTRY* e = sel >= 0 && sel < n ? &state->list.entries[static_cast<size_t>(sel)] : nullptr;
  HWND tree = GetDlgItem(msg->dialog, IDC_UED_CONTENTS);
  SetText(GetDlgItem(msg->dialog, IDC_UED_NAME), e ? e->name : u"");
  SetText(GetDlgItem(msg->dialog, IDC_UED_COMMENT), e ? e->comment : u"");
  SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  if (e) {
    UIROOT* root = Root(msg);
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL, 0);
    if (LoadCurrentUserUserSel(root->uiData->printer, root->uiData->ddd, e->number, dm.data(), nullptr, nullptr,
                               nullptr))
      uiFavFillContentsTree(msg, tree, dm.data());
  }
  const bool own = e && e->flag == FAV_FLAG_USER;
  EnableWindow(GetDlgItem(msg->dialog, IDC_UED_UP), e && sel > 0);
  EnableWindow(GetDlgItem(msg->dialog, IDC_UED_DOWN), e && sel + 1 < n);
  EnableWindow(GetDlgItem(msg->dialog, IDC_UED_DELETE), own);
  EnableWindow(GetDlgItem(msg->dialog, IDC_UED_NAME), own);
  EnableWindow(GetDlgItem(msg->dialog, IDC_UED_COMMENT), own);
}

// The settings' value as the lists name it.
u16string ValueText(UI_MSGINFO* msg, WORD id, const void* devmode, CDM_SELECT_INFO* si) {
  UIROOT* root = Root(msg);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(id, const_cast<void*>(devmode), root->printerData, &type, &size, &v) != 0) return u16string();
  if (type == DDM_TYPE_STRING) return v ? u16string(reinterpret_cast<const char16_t*>(v)) : u16string();
  const LONG n = cdmDmConvertINT(type, &v);
  for (LONG i = 0; si && i < cdmGetSelectItemNum(si); ++i) {
    const CDM_SELECT_ITEM* item = cdmGetSelectItemDevData(si, i);
    if (!item || cdmDmConvertINT(si->type ? si->type : type, &item->value) != n) continue;
    LPCWSTR name = cdmGetSelectItemName(si, i);
    u16string s = name ? reinterpret_cast<const char16_t*>(name) : u"";
    size_t cr = s.find(u'\r');
    return cr == u16string::npos ? s : s.substr(0, cr);
  }
  WCHAR number[16] = {};
  uiNumtoStr(n, number, 16);
  return reinterpret_cast<const char16_t*>(number);
}

}  // namespace

UI_USERSEL_WORK* uiUedGetWorkArea(const UIROOT* root) {
  return root && root->uiData ? static_cast<UI_USERSEL_WORK*>(root->uiData->userSelWork) : nullptr;
}

BOOL uiFavNameOk(LPCWSTR name) {
  size_t n = name ? kp_WideLength(name) : 0;
  if (n == 0 || n > FAV_NAME_CHARS) return FALSE;
  for (size_t i = 0; i < n; ++i)
    if (name[i] < 0x20) return FALSE;
  return TRUE;
}

BOOL uiFavFillContentsTree(UI_MSGINFO* msg, HWND tree, const void* devmode) {
  if (!msg || !Ready(msg) || !tree || !devmode) return FALSE;
  UIROOT* root = Root(msg);
  SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  std::vector<WORD> ids;
  if (!Fav_DifferingSettings(root->uiData->printer, root->uiData->ddd, const_cast<void*>(devmode), root->printerData,
                             &ids))
    return FALSE;
  auto add = [&](const u16string& text) {
    TVINSERTSTRUCTW in = {};
    in.hParent = TVI_ROOT;
    in.hInsertAfter = TVI_LAST;
    in.item.mask = TVIF_TEXT;
    in.item.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(text.c_str()));
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in));
  };
  LONG shown = 0;
  for (WORD id : ids) {
    CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
    LPCWSTR name = si ? cdmGetSelectFuncName(si) : nullptr;
    if (!name || !name[0]) continue;  // a member the lists do not show
    add(u16string(reinterpret_cast<const char16_t*>(name)) + u": " + ValueText(msg, id, devmode, si));
    ++shown;
  }
  if (shown == 0) {
    WCHAR text[128] = {};
    resource_LoadString(UI_STR_FAV_SAMEASDEFAULT, text, 128);
    add(reinterpret_cast<const char16_t*>(text));
  }
  return TRUE;
}

// ---- Both dialogs ---------------------------------------------------------------------

LONG uiFavComment(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  HWND control = GetDlgItem(msg->dialog, row->controlId);
  if (!control) return 0;
  if (message == WM_INITDIALOG && msg->dlgNo == 35) {
    UI_USERSEL_WORK* work = uiUedGetWorkArea(Root(msg));
    if (work) SetText(control, work->comment);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != EN_CHANGE || g_showing) return 0;
  u16string text = Text(control);
  std::vector<WCHAR> buf(text.begin(), text.end());
  buf.push_back(0);
  if (FavStr_CutComment(buf.data())) {
    WCHAR limit[8] = {};
    uiNumtoStr(FAV_COMMENT_BYTES, limit, 8);
    LPCWSTR args[] = {limit};
    Box(msg, UI_STR_FAV_LONGCOMMENT, args, 1);
    SetText(control, buf.data());
  }
  if (msg->dlgNo == 36) {
    UI_FAVEDIT* state = EditState(msg);
    LONG sel = Selection(msg);
    if (state && sel >= 0 && static_cast<size_t>(sel) < state->list.entries.size()) {
      FAV_ENTRY& e = state->list.entries[static_cast<size_t>(sel)];
      if (e.flag == FAV_FLAG_USER) Fav_CopyText(e.comment, buf.data(), FAV_COMMENT_UNITS - 1);
    }
  }
  return 0;
}

LONG uiFavContents(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  // The add dialog shows the current settings; the edit dialog's list
  // fills the tree with its selected favourite's.
  if (msg->dlgNo == 35 && NotifyCode(message, lParam) == PSN_SETACTIVE)
    uiFavFillContentsTree(msg, GetDlgItem(msg->dialog, row->controlId), Root(msg)->devmode);
  return 0;
}

// ---- Add -------------------------------------------------------------------------------

LONG uiUadName(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row || message != WM_INITDIALOG) return 0;
  HWND control = GetDlgItem(msg->dialog, row->controlId);
  SendMessageW(control, EM_LIMITTEXT, FAV_NAME_CHARS, 0);
  UI_USERSEL_WORK* work = uiUedGetWorkArea(Root(msg));
  if (work) SetText(control, work->name);
  return 0;
}

LONG uiUadOK(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message != WM_COMMAND) return uiButton(msg, message, wParam, lParam, row, param);
  if (HIWORD(wParam) != BN_CLICKED || !Ready(msg)) return 0;
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  // 1. Every control agrees.
  if (uiAllControl(msg, UIM_VALIDATE, 0, 0, ci->table, ci->rows, 0)) return 0;
  // 2. A name.
  u16string name = Text(GetDlgItem(msg->dialog, IDC_UAD_NAME));
  if (!uiFavNameOk(reinterpret_cast<LPCWSTR>(name.c_str()))) {
    BadName(msg, IDC_UAD_NAME);
    return 0;
  }
  u16string comment = Text(GetDlgItem(msg->dialog, IDC_UAD_COMMENT));
  // 3-5. The store's add: the favourite, its margins, then the list.
  UIROOT* root = Root(msg);
  FAV_LIST list;
  LONG r = LoadList(msg, &list) ? Fav_Add(root->uiData->printer, root->uiData->ddd, msg->dialog, root->devmode,
                                          root->printerData, reinterpret_cast<LPCWSTR>(name.c_str()),
                                          reinterpret_cast<LPCWSTR>(comment.c_str()), &list)
                                : static_cast<LONG>(FAV_ERR_STORE);
  switch (r) {
    case FAV_OK:
      // 6. The dialog's OK.
      return uiButton(msg, message, wParam, lParam, row, param);
    case FAV_ERR_PROTECTED:
      NameTaken(msg, reinterpret_cast<LPCWSTR>(name.c_str()), IDC_UAD_NAME);
      return 0;
    case FAV_ERR_FULL:  // the store showed message 482
      SetFocus(GetDlgItem(msg->dialog, IDC_UAD_NAME));
      return 0;
    case FAV_ERR_ARG:
      BadName(msg, IDC_UAD_NAME);
      return 0;
    default:
      Box(msg, UI_STR_FAV_NOTSAVED, nullptr, 0);
      return 0;
  }
}

// ---- Edit ------------------------------------------------------------------------------

LONG uiUedList(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  if (NotifyCode(message, lParam) == PSN_SETACTIVE) {
    UI_FAVEDIT* state = EditState(msg);
    if (!state) return 0;
    FillList(msg, state, state->list.selected);
    ShowEntry(msg, state);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == LBN_SELCHANGE) {
    UI_FAVEDIT* state = EditState(msg);
    if (state) ShowEntry(msg, state);
    return 0;
  }
  if (message == WM_DRAWITEM) {
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    UI_FAVEDIT* state = EditState(msg);
    if (!d || !state || d->itemID >= state->list.entries.size()) return TRUE;
    RECT r = d->rcItem;
    DrawTextW(d->hDC, state->list.entries[d->itemID].name, -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    return TRUE;
  }
  return 0;
}

LONG uiUedName(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  HWND control = GetDlgItem(msg->dialog, row->controlId);
  if (message == WM_INITDIALOG) {
    SendMessageW(control, EM_LIMITTEXT, FAV_NAME_CHARS, 0);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != EN_CHANGE || g_showing) return 0;
  UI_FAVEDIT* state = EditState(msg);
  const LONG sel = Selection(msg);
  if (!state || sel < 0 || static_cast<size_t>(sel) >= state->list.entries.size()) return 0;
  FAV_ENTRY& e = state->list.entries[static_cast<size_t>(sel)];
  if (e.flag != FAV_FLAG_USER) return 0;
  u16string text = Text(control);
  Fav_CopyText(e.name, reinterpret_cast<LPCWSTR>(text.c_str()), FAV_NAME_CHARS);
  // The list shows the new name at the same place.
  HWND list = GetDlgItem(msg->dialog, IDC_UED_LIST);
  SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(sel), 0);
  SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(e.name));
  SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(sel), e.number);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
  return 0;
}

LONG uiUedButton(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM, const UI_IDTBL* row, const void* param) {
  // The states of these buttons follow the selected entry (ShowEntry).
  if (!msg || !msg->data || !row || !param || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  UI_FAVEDIT* state = EditState(msg);
  LONG sel = Selection(msg);
  if (!state || sel < 0 || static_cast<size_t>(sel) >= state->list.entries.size()) return 0;
  auto& entries = state->list.entries;
  const size_t at = static_cast<size_t>(sel);
  switch (*static_cast<const LONG*>(param)) {
    case UI_UED_UP:
      if (at == 0) return 0;
      std::swap(entries[at], entries[at - 1]);
      --sel;
      break;
    case UI_UED_DOWN:
      if (at + 1 >= entries.size()) return 0;
      std::swap(entries[at], entries[at + 1]);
      ++sel;
      break;
    case UI_UED_DELETE:
      if (entries[at].flag != FAV_FLAG_USER) return 0;
      entries.erase(entries.begin() + static_cast<long>(at));
      if (static_cast<size_t>(sel) >= entries.size()) sel = static_cast<LONG>(entries.size()) - 1;
      break;
    default:
      return 0;
  }
  FillList(msg, state, sel);
  ShowEntry(msg, state);
  return 0;
}

LONG uiUedOK(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (message != WM_COMMAND) return uiButton(msg, message, wParam, lParam, row, param);
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  UI_FAVEDIT* state = EditState(msg);
  if (!state) return uiButton(msg, message, wParam, lParam, row, param);
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  if (uiAllControl(msg, UIM_VALIDATE, 0, 0, ci->table, ci->rows, 0)) return 0;
  // Every name usable and used once.
  auto& entries = state->list.entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    bool taken = false;
    for (size_t k = 0; k < i && !taken; ++k) taken = kp_WideEqual(entries[k].name, entries[i].name);
    if (uiFavNameOk(entries[i].name) && !taken) continue;
    SendDlgItemMessageW(msg->dialog, IDC_UED_LIST, LB_SETCURSEL, i, 0);
    ShowEntry(msg, state);
    if (taken)
      NameTaken(msg, entries[i].name, IDC_UED_NAME);
    else
      BadName(msg, IDC_UED_NAME);
    return 0;
  }
  UIROOT* root = Root(msg);
  if (!Fav_EditApply(root->uiData->printer, root->uiData->ddd, root->devmode, root->printerData,
                     state->selectedNumber, &state->list)) {
    Box(msg, UI_STR_FAV_NOTSAVED, nullptr, 0);
    return 0;
  }
  return uiButton(msg, message, wParam, lParam, row, param);
}

// ---- The favourite file ---------------------------------------------------------------

namespace {
// The file dialogs of the two buttons: the favourites folder, the file name
// in DDM 375 (its 128 characters hold the whole path).
constexpr WORD kDdmFileName = 375;
constexpr LONG kFileChars = 128;
const UI_FILEDLG kExportFile = {0,    kDdmFileName, UI_ITEM_FORMDIR, UI_NOSTRING, UI_STR_FAV_EXPORT_TITLE,
                                UI_STR_FAV_FILE_EXT, UI_STR_FAV_FILE_FILTER, UI_STR_FAV_FILE_PATTERN, 0, 0, 0,
                                kFileChars, kFileChars};
const UI_FILEDLG kImportFile = {0,    kDdmFileName, UI_ITEM_FORMDIR, UI_NOSTRING, UI_STR_FAV_IMPORT_TITLE,
                                UI_STR_FAV_FILE_EXT, UI_STR_FAV_FILE_FILTER, UI_STR_FAV_FILE_PATTERN, 0, 0, 0,
                                kFileChars, kFileChars};

u16string ChosenPath(UIROOT* root) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(kDdmFileName, root->devmode, root->printerData, &type, &size, &v) != 0 ||
      type != DDM_TYPE_STRING || !v)
    return u16string();
  return reinterpret_cast<const char16_t*>(v);
}

void ClearPath(UIROOT* root) {
  const WCHAR none[1] = {0};
  ddm_SetValue(kDdmFileName, root->devmode, root->printerData, DDM_TYPE_STRING, sizeof none, none);
}

// The selected entry's name must be usable and used once: 4712 or 4717.
bool SelectedNameOk(UI_MSGINFO* msg, UI_FAVEDIT* state, LONG sel) {
  const auto& entries = state->list.entries;
  const FAV_ENTRY& e = entries[static_cast<size_t>(sel)];
  if (!uiFavNameOk(e.name)) {
    BadName(msg, IDC_UED_NAME);
    return false;
  }
  for (size_t i = 0; i < entries.size(); ++i)
    if (i != static_cast<size_t>(sel) && kp_WideEqual(entries[i].name, e.name)) {
      NameTaken(msg, e.name, IDC_UED_NAME);
      return false;
    }
  return true;
}
}  // namespace

LONG uiUedFileButton(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row || !param || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  UI_FAVEDIT* state = EditState(msg);
  if (!state || !Ready(msg)) return 0;
  UIROOT* root = Root(msg);
  HANDLE printer = root->uiData->printer;
  HCDDD ddd = root->uiData->ddd;
  WCHAR folder[MAX_PATH] = {};
  const bool exporting = *static_cast<const LONG*>(param) == UI_UED_WRITEFILE;
  const LONG sel = Selection(msg);
  if (exporting) {
    if (sel < 0 || static_cast<size_t>(sel) >= state->list.entries.size() || !SelectedNameOk(msg, state, sel))
      return 0;
    const FAV_ENTRY e = state->list.entries[static_cast<size_t>(sel)];
    if (!FavFile_ProposeName(root->devmode, root->printerData, e.name) || !FavFile_GetFolder(ddd, folder, MAX_PATH))
      return 0;
    if (uiButtonOpenFileDialog(msg, &kExportFile, TRUE) == 1) {
      u16string path = ChosenPath(root);
      // The favourite's own settings, with the names the dialog gives it.
      std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL, 0);
      if (LoadCurrentUserUserSel(printer, ddd, e.number, dm.data(), nullptr, nullptr, nullptr))
        FavFile_Export(printer, ddd, msg->dialog, dm.data(), root->printerData, e.number, e.name, e.comment,
                       reinterpret_cast<LPCWSTR>(path.c_str()));
    }
    ClearPath(root);
    SetFocus(GetDlgItem(msg->dialog, row->controlId));
    return 0;
  }
  if (!FavFile_GetFolder(ddd, folder, MAX_PATH)) return 0;
  ClearPath(root);
  if (uiButtonOpenFileDialog(msg, &kImportFile, FALSE) == 1) {
    u16string path = ChosenPath(root);
    const size_t before = state->list.entries.size();
    if (FavFile_Import(printer, ddd, msg->dialog, root->devmode, root->printerData,
                       reinterpret_cast<LPCWSTR>(path.c_str()), &state->list) == FAV_OK &&
        state->list.entries.size() > before) {
      // The new entry, last; selected for renaming when its name is taken.
      FillList(msg, state, static_cast<LONG>(state->list.entries.size() - 1));
      ShowEntry(msg, state);
      SetFocus(GetDlgItem(msg->dialog, IDC_UED_NAME));
    }
  }
  ClearPath(root);
  return 0;
}

// ---- Rows ------------------------------------------------------------------------------

namespace {
constexpr LONG N = UI_NOSTRING;
const UI_BUTTON kOk = {1, nullptr};
const UI_BUTTON kCancel = {2, nullptr};
const LONG kUp = UI_UED_UP, kDown = UI_UED_DOWN, kDelete = UI_UED_DELETE;
const LONG kWriteFile = UI_UED_WRITEFILE, kReadFile = UI_UED_READFILE;

#define ROW(id, type, handler, param) {id, 0, nullptr, type, handler, param, N, N, nullptr}
const UI_IDTBL UiIdTblUserAdd[] = {
    ROW(IDC_UAD_NAME, UI_CT_EDIT, uiUadName, nullptr),
    ROW(IDC_UAD_COMMENT, UI_CT_EDIT, uiFavComment, nullptr),
    ROW(IDC_UAD_CONTENTS, UI_CT_DUMMY, uiFavContents, nullptr),
    ROW(IDOK, UI_CT_BUTTON, uiUadOK, &kOk),
    ROW(IDCANCEL, UI_CT_BUTTON, nullptr, &kCancel),
};
const UI_IDTBL UiIdTblUserEdit[] = {
    ROW(IDC_UED_LIST, UI_CT_LIST, uiUedList, nullptr),
    ROW(IDC_UED_NAME, UI_CT_EDIT, uiUedName, nullptr),
    ROW(IDC_UED_COMMENT, UI_CT_EDIT, uiFavComment, nullptr),
    ROW(IDC_UED_CONTENTS, UI_CT_DUMMY, uiFavContents, nullptr),
    ROW(IDC_UED_UP, UI_CT_BUTTON, uiUedButton, &kUp),
    ROW(IDC_UED_DOWN, UI_CT_BUTTON, uiUedButton, &kDown),
    ROW(IDC_UED_DELETE, UI_CT_BUTTON, uiUedButton, &kDelete),
    ROW(IDC_UED_WRITEFILE, UI_CT_BUTTON, uiUedFileButton, &kWriteFile),
    ROW(IDC_UED_READFILE, UI_CT_BUTTON, uiUedFileButton, &kReadFile),
    ROW(IDOK, UI_CT_BUTTON, uiUedOK, &kOk),
    ROW(IDCANCEL, UI_CT_BUTTON, nullptr, &kCancel),
};
#undef ROW
}  // namespace

const UI_CONTROL_INFO uiControlInfoUserAdd = {UiIdTblUserAdd, 5, 90350, nullptr, nullptr, 0};
const UI_CONTROL_INFO uiControlInfoUserEdit = {UiIdTblUserEdit, 11, 90360, nullptr, nullptr, 0};
