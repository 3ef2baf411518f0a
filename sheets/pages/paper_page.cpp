// The Paper page's own handlers: the favourites selector, the print-type
// button, zoom and copies, the paper and finishing summaries, the logo, and
// the poster/booklet dialog's layout controls (decisions at
// kestrel/sheets/sheet_pages.h).
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/sheets/sheet_pages.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/stamp.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/byte_order.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_shell.h"

namespace {

using std::u16string;

constexpr LONG kMaxComboName = 32;        // characters drawn of a favourite's name
constexpr LONG kFinishingChars = 510;     // the finishing summary
constexpr UINT kFocusNotify = 0x100;      // a static's or edit's "got the focus" (EN_SETFOCUS)
constexpr WORD kPrinterBitmapLogo = 40;   // printer bitmap of the logo
constexpr UINT kPreConfigOpenFlag = 0x2;  // DDM 334's pre-configuration: open the dialog when empty
constexpr LONG kSheetButton1 = 1;         // the sheet's first button (OK)

UIROOT* Root(const UI_MSGINFO* msg) { return msg && msg->data ? msg->data->root : nullptr; }
HWND Control(const UI_MSGINFO* msg, const UI_IDTBL* row) {
  return msg && row && row->controlId != UI_CTLID_SELF ? GetDlgItem(msg->dialog, row->controlId) : nullptr;
}
UINT NotifyCode(UINT message, LPARAM lParam) {
  return message == WM_NOTIFY && lParam ? reinterpret_cast<const NMHDR*>(lParam)->code : 0;
}
bool IsDisplay(UINT message, LPARAM lParam) {
  return message == UIM_REDISPLAY || NotifyCode(message, lParam) == PSN_SETACTIVE;
}
LONG CallCommon(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row) {
  UI_CTLFUNC f = uiGetCommonFuncPtr(static_cast<WORD>(row->type));
  return f ? f(msg, message, wParam, lParam, row, row->param) : 0;
}
bool Number(UI_MSGINFO* msg, WORD id, LONG* out) {
  UIROOT* root = Root(msg);
  return root && ddm_GetNumber(id, root->devmode, root->printerData, out);
}
bool WasChanged(const UI_MSGINFO* msg, WORD id) {
  if (msg->changedId == id) return true;
  for (const WORD* p = msg->changed; p && *p; ++p)
    if (*p == id) return true;
  return false;
}
bool EmptyString(UI_MSGINFO* msg, WORD id) {
  UIROOT* root = Root(msg);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (!root || ddm_GetValue(id, root->devmode, root->printerData, &type, &size, &v) != 0) return false;
  if (type != DDM_TYPE_STRING) return false;
  const auto* s = reinterpret_cast<const WCHAR*>(v);
  return !s || !*s;
}
int Box(HWND owner, UINT id, const LPCWSTR* args, int count, UINT type) {
  WCHAR text[1024] = {};
  if (!uiMakeMsg(id, args, count, text, 1024)) return 0;
  return uiMsgWindow(owner, text, type);
}
void Redisplay(UI_MSGINFO* msg, WORD* changed) { uiSetUpDateMsgInfo(msg, changed, changed ? changed[0] : 0); }

// ---- The selector -----------------------------------------------------------------------

LONG PositionOfNumber(const FAV_LIST* list, WORD number) {
  for (size_t i = 0; i < list->entries.size(); ++i)
    if (list->entries[i].number == number) return static_cast<LONG>(i);
  return 0;
}

WORD StoredPosition(UI_MSGINFO* msg, const FAV_LIST* list) {
  LONG pos = 0;
  if (!Number(msg, DDM_FAVORITE_SELECTION, &pos) || pos < 0 || pos >= static_cast<LONG>(list->entries.size()))
    pos = PositionOfNumber(list, 1);  // beyond the list: favourite 1
  return static_cast<WORD>(pos);
}

void WritePosition(UI_MSGINFO* msg, WORD position) {
  UIROOT* root = Root(msg);
  ddm_SetNumber(DDM_FAVORITE_SELECTION, root->devmode, root->printerData, position);
  BYTE bytes[4];
  kp_StoreU32(bytes, position);
  SaveCurrentUserData(root->uiData->printer, root->uiData->ddd, bytes, 4, REG_DWORD, FAV_SUBKEY, FAV_VALUE_SELPOSITION);
}

void ShowSelector(UI_MSGINFO* msg, const UI_IDTBL* row, UI_USERSEL_WORK* work) {
  HWND combo = Control(msg, row);
  FAV_LIST* list = work->list;
  UIROOT* root = Root(msg);
  if (!combo || !list || list->entries.empty()) return;
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  if (msg->message == UIM_REDISPLAY) {
    if (work->cause == IDC_DEFAULT) {
      WritePosition(msg, static_cast<WORD>(PositionOfNumber(list, 1)));
      work->modified = 0;
    } else if (work->cause != IDC_PPR_USERSEL) {
      work->modified = 1;
    }
  }
  work->cause = 0;
  const WORD position = StoredPosition(msg, list);
  list->selected = position;
  const FAV_ENTRY& e = list->entries[position];
  if (!work->modified) {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL);
    if (LoadCurrentUserUserSel(root->uiData->printer, root->uiData->ddd, e.number, dm.data(), nullptr, nullptr,
                               nullptr) &&
        !ddm_CompFavoriteDevmode(dm.data(), root->devmode, root->printerData))
      work->modified = 1;
  }
  for (const FAV_ENTRY& entry : list->entries)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.name));
  SendMessageW(combo, CB_SETCURSEL, position, 0);
  Fav_CopyText(work->name, e.name, FAV_NAME_CHARS);
  Fav_CopyText(work->comment, e.comment, FAV_COMMENT_UNITS - 1);
  uiSettooltoToolTip(msg->dialog, work->tooltip);
  uiCheckFuncConst(msg, row, UI_CT_COMBO);
}

LONG DrawSelectorItem(UI_MSGINFO* msg, UI_USERSEL_WORK* work, LPARAM lParam) {
  auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
  if (!d || !work->list || static_cast<LONG>(d->itemID) < 0 ||
      d->itemID >= static_cast<UINT>(work->list->entries.size()))
    return TRUE;
  const FAV_ENTRY& e = work->list->entries[d->itemID];
  u16string text(reinterpret_cast<const char16_t*>(e.name));
  if ((d->itemState & ODS_COMBOBOXEDIT) && work->modified && d->itemID == work->list->selected) {
    WCHAR mark[64] = {};
    if (resource_LoadString(UI_STR_MODIFIED, mark, 64)) text += reinterpret_cast<const char16_t*>(mark);
  }
  if (text.size() > static_cast<size_t>(kMaxComboName)) text.resize(kMaxComboName);
  if (e.flag == FAV_FLAG_BASE && e.number != 1) {
    HICON icon = LoadIconW(resource_get_hInstance_forIcon(), MAKEINTRESOURCEW(UI_HEADER_ICON));
    if (icon) {
      DrawIconEx(d->hDC, d->rcItem.left, d->rcItem.top, icon, UI_ITEM_HEIGHT, UI_ITEM_HEIGHT, 0, nullptr, 0);
      DestroyIcon(icon);
    }
  }
  RECT r = d->rcItem;
  r.left += UI_ITEM_HEIGHT + 2;
  DrawTextW(d->hDC, reinterpret_cast<LPCWSTR>(text.c_str()), -1, &r,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  (void)msg;
  return TRUE;
}

// The stamp the chosen settings name must still be one of the user's
// stamps: one deleted since (or never in this user's store) is left for
// "none", the empty names of DDM 297, 299 and 1857, as the constraint
// engine means "no stamp"; the other stamp members stay. A store that
// cannot be read changes nothing.
void RecheckStamp(UI_MSGINFO* msg) {
  UIROOT* root = Root(msg);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(DDM_STAMPNAME, root->devmode, root->printerData, &type, &size, &v) != 0 ||
      type != DDM_TYPE_STRING || !v || !*reinterpret_cast<const WCHAR*>(v))
    return;
  const u16string name = reinterpret_cast<const char16_t*>(v);
  HANDLE printer = root->uiData->printer;
  HCDDD ddd = root->uiData->ddd;
  WORD count = 0;
  DWORD bytes = 0;
  if (zanStamp_GetStampList(printer, ddd, nullptr, &count, &bytes) != STAMP_OK || bytes == 0) return;
  std::vector<WCHAR> names(bytes / sizeof(WCHAR) + 2, 0);
  if (zanStamp_GetStampList(printer, ddd, names.data(), &count, &bytes) != STAMP_OK) return;
  for (const WCHAR* p = names.data(); *p; p += kp_WideLength(p) + 1)
    if (name == reinterpret_cast<const char16_t*>(p)) return;
  const WCHAR none[1] = {0};
  for (WORD id : {DDM_STAMPNAME, DDM_STAMP_TEXT_NAME, DDM_STAMP_BITMAP_NAME})
    ddm_SetValue(id, root->devmode, root->printerData, DDM_TYPE_STRING, sizeof none, none);
}

// Algorithm 5: the chosen favourite's settings over the page's.
void ChooseFavorite(UI_MSGINFO* msg, const UI_IDTBL* row, UI_USERSEL_WORK* work) {
  HWND combo = Control(msg, row);
  UIROOT* root = Root(msg);
  FAV_LIST* list = work->list;
  LRESULT sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (!list || sel < 0 || sel >= static_cast<LRESULT>(list->entries.size())) return;
  const FAV_ENTRY& e = list->entries[static_cast<size_t>(sel)];
  HANDLE printer = root->uiData->printer;
  HCDDD ddd = root->uiData->ddd;
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL);
  if (!LoadCurrentUserUserSel(printer, ddd, e.number, dm.data(), nullptr, nullptr, nullptr)) return;
  // The device name stays the printer's.
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR device = 0;
  if (ddm_GetValue(DDM_DEVICENAME, root->devmode, root->printerData, &type, &size, &device) == 0 && device)
    ddm_SetValue(DDM_DEVICENAME, dm.data(), root->printerData, type, size, reinterpret_cast<const void*>(device));
  std::memcpy(root->devmode, dm.data(), NRV_DEVMODE_SIZE_FULL);
  std::vector<WORD> papers;
  if (PpMgn_ListFavMargins(printer, ddd, e.number, &papers) && !papers.empty())
    PpMgn_SetUiMargin(printer, ddd, e.number);
  work->modified = 0;
  std::vector<BYTE> corrected(NRV_DEVMODE_SIZE_FULL), correctedPd(NRV_PRINTERDATA_SIZE);
  LONG check = uiComAllConstCheckCreate(msg, corrected.data(), correctedPd.data());
  if (check == 1) {
    const LPCWSTR args[] = {e.name};
    WCHAR title[128] = {};
    resource_LoadString(FAV_STRID_TITLE, title, 128);
    WCHAR text[1024] = {};
    uiMakeMsg(UI_STR_FAV_CORRECTED, args, 1, text, 1024);
    int answer = MessageBoxW(msg->dialog, text, title, MB_OKCANCEL | MB_ICONINFORMATION);
    std::memcpy(root->devmode, corrected.data(), NRV_DEVMODE_SIZE_FULL);
    std::memcpy(root->printerData, correctedPd.data(), NRV_PRINTERDATA_SIZE);
    if (answer == IDOK && e.flag != FAV_FLAG_BASE) {
      SaveCurrentUserUserSel(printer, ddd, e.number, root->devmode, e.name, e.comment, e.flag);
    } else {
      work->modified = 1;  // a description favourite is never rewritten
    }
  } else if (check == 2) {
    const LPCWSTR args[] = {e.name};
    Box(msg->dialog, UI_STR_FAV_CONFLICT, args, 1, MB_OK | MB_ICONEXCLAMATION);
    work->modified = 1;
  }
  WritePosition(msg, static_cast<WORD>(sel));
  RecheckStamp(msg);
  list->selected = static_cast<WORD>(sel);
  work->cause = IDC_PPR_USERSEL;
  // Every control shows the new settings.
  const UI_CONTROL_INFO* ci = msg->data->controlInfo;
  WORD* all = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * static_cast<size_t>(ci->rows + 1)));
  WORD n = 0;
  for (LONG i = 0; all && i < ci->rows; ++i)
    if (ci->table[i].dspCount > 0 && ci->table[i].dsp) all[n++] = ci->table[i].dsp[0].ddmId;
  Redisplay(msg, all);
}

}  // namespace

UI_USERSEL_WORK* uiGetUserSelWorkAreabyHDlg(HWND window) {
  UI_DLGDATA* data = uiGetDlgData(window);
  return data ? uiUedGetWorkArea(data->root) : nullptr;
}

void uiPap_FreeUserSelWork(HWND window) {
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(window);
  if (!work) return;
  delete work->list;
  work->list = nullptr;
  if (work->tooltip) DestroyWindow(work->tooltip);
  work->tooltip = nullptr;
}

LONG uiPapUserSelComb(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row || !Control(msg, row)) return 0;
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog);
  UIROOT* root = Root(msg);
  if (!work || !root->uiData->ddd) return 0;
  if (message == WM_INITDIALOG) {
    auto* list = new (std::nothrow) FAV_LIST;
    if (!list) return 0;
    if (!Fav_LoadList(root->uiData->printer, root->uiData->ddd, root->devmode, root->printerData, list)) {
      delete list;  // the selector stays empty
      return 0;
    }
    delete work->list;
    work->list = list;
    work->count = list->maximum;
    work->modified = 0;
    return 0;
  }
  if (IsDisplay(message, lParam)) {
    ShowSelector(msg, row, work);
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      switch (HIWORD(wParam)) {
        case CBN_DROPDOWN:
          work->dropped = 1;
          work->chosen = 0;
          work->cancelled = 0;
          return 0;
        case CBN_SELCHANGE:
          if (work->dropped) {
            work->chosen = 1;  // decided when the list closes
            return 0;
          }
          ChooseFavorite(msg, row, work);
          return 0;
        case CBN_SELENDCANCEL:
          work->cancelled = 1;
          return 0;
        case CBN_CLOSEUP: {
          const bool take = work->chosen && !work->cancelled;
          work->dropped = work->chosen = work->cancelled = 0;
          if (take) {
            ChooseFavorite(msg, row, work);
          } else if (work->list) {
            SendMessageW(Control(msg, row), CB_SETCURSEL, work->list->selected, 0);
          }
          return 0;
        }
        default:
          return 0;
      }
    case WM_DRAWITEM:
      return DrawSelectorItem(msg, work, lParam);
    default:
      return 0;
  }
}

namespace {
// After the add or edit dialog: the list read again (its stored position,
// which the dialogs keep, into DDM 442) and the selector shown from it. The
// page's redisplay at the dialog's end came before the list was read, so
// it showed the old list.
void ReloadSelector(UI_MSGINFO* msg, UI_USERSEL_WORK* work) {
  if (!work || !work->list) return;
  UIROOT* root = Root(msg);
  if (!Fav_LoadList(root->uiData->printer, root->uiData->ddd, root->devmode, root->printerData, work->list)) return;
  work->modified = 0;  // the comparison with the favourite decides
  work->cause = IDC_PPR_USERSEL;
  WORD* changed = static_cast<WORD*>(GlobalAlloc(GPTR, 2 * sizeof(WORD)));
  if (changed) changed[0] = DDM_FAVORITE_SELECTION;
  Redisplay(msg, changed);
}
}  // namespace

LONG uiPap_DefaultButton(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                         const void* param) {
  UI_USERSEL_WORK* work = msg && msg->data && message == WM_COMMAND ? uiGetUserSelWorkAreabyHDlg(msg->dialog) : nullptr;
  if (!work) return uiButton(msg, message, wParam, lParam, row, param);
  const WORD before = work->cause;
  work->cause = IDC_DEFAULT;
  LONG r = uiButton(msg, message, wParam, lParam, row, param);
  // Defaults refused (the settings put back) ask for no redisplay: the
  // selector keeps what it shows, and the cause it had.
  if (!msg->update) work->cause = before;
  return r;
}

LONG uiPapUadButton(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                    const void* param) {
  if (!msg || !msg->data || !row) return 0;
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog);
  if (message == WM_COMMAND && work && work->list && !work->list->entries.empty()) {
    const FAV_ENTRY& e =
        work->list->entries[work->list->selected < work->list->entries.size() ? work->list->selected : 0];
    Fav_CopyText(work->name, e.flag == FAV_FLAG_BASE ? u"" : e.name, FAV_NAME_CHARS);
    Fav_CopyText(work->comment, e.comment, FAV_COMMENT_UNITS - 1);
    work->skipEmptyCheck = 1;
  }
  LONG r = uiButton(msg, message, wParam, lParam, row, param);
  if (message == WM_COMMAND) ReloadSelector(msg, work);
  return r;
}

LONG uiPapUedButton(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                    const void* param) {
  if (!msg || !msg->data || !row) return 0;
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog);
  if (message != WM_COMMAND || !work) return uiButton(msg, message, wParam, lParam, row, param);
  work->position = work->modified || !work->list ? 0 : work->list->selected;
  work->skipEmptyCheck = 1;
  LONG r = uiButton(msg, message, wParam, lParam, row, param);
  ReloadSelector(msg, work);
  return r;
}

// ---- Zoom and copies ---------------------------------------------------------------------

namespace {
// The width and length of a paper id of DDM 8 or DDM 262 in 0.1 mm, or
// false; the user-defined size (256) is the settings' own width and length.
bool PaperDims(UI_MSGINFO* msg, LONG paper, LONG* width, LONG* length) {
  if (paper == DMPAPER_USER)
    return Number(msg, DDM_CUSTOMPAPERWIDTH, width) && Number(msg, DDM_CUSTOMPAPERLENGTH, length) && *width > 0 &&
           *length > 0;
  UIROOT* root = Root(msg);
  HCDDD ddd = root && root->uiData ? root->uiData->ddd : nullptr;
  WORD w = 0, l = 0, w2 = 0, l2 = 0;
  if (!ddd || paper <= 0 || !cdmGetPaperSize(ddd, static_cast<WORD>(paper), &w, &l, &w2, &l2) || !w || !l) return false;
  *width = w;
  *length = l;
  return true;
}

// The output paper's size over the original's in percent (the smaller of
// the width and length ratios); 100 when either is unknown or they are one.
LONG ZoomScaleOf(UI_MSGINFO* msg, LONG original, LONG output) {
  LONG ow = 0, ol = 0, pw = 0, pl = 0;
  if (original == output || !PaperDims(msg, original, &ow, &ol) || !PaperDims(msg, output, &pw, &pl)) return 100;
  LONG byWidth = pw * 100 / ow, byLength = pl * 100 / ol;
  return byWidth < byLength ? byWidth : byLength;
}
}  // namespace

LONG uiCom_GetZoomScale(UI_MSGINFO* msg) {
  LONG original = 0, output = 0;
  if (!Root(msg) || !Number(msg, DDM_PAPERSIZE, &original)) return 100;
  // The original is printed on the output size (DDM 262); "same as the
  // original", or a model without the setting, prints it on its own paper.
  if (!uiGetSelectInfo(msg, DDM_OUTPUTSIZE) || !Number(msg, DDM_OUTPUTSIZE, &output) ||
      output == UI_OUTPUTSIZE_SAME)
    output = original;
  return ZoomScaleOf(msg, original, output);
}

namespace {
void uiEditZoomSetScale(UI_MSGINFO* msg, const UI_IDTBL* row) {
  LONG on = 0;
  Number(msg, DDM_ZOOM_ON, &on);
  HWND control = Control(msg, row);
  if (on) {
    if (msg->message == UIM_REDISPLAY && WasChanged(msg, DDM_ZOOM_ON)) {
      UIROOT* root = Root(msg);
      ddm_SetNumber(DDM_ZOOM, root->devmode, root->printerData, 100);
      SetFocus(control);
    }
    return;
  }
  WORD state = uiGetNowFuncConst(msg, row);
  if (state != 0 && state != 14) return;
  LONG scale = uiCom_GetZoomScale(msg);
  WORD* changed = nullptr;
  ULONG_PTR slot = 0;
  std::memcpy(&slot, &scale, sizeof scale);
  LONG r = uiSetRightData(msg, DDM_ZOOM, 4, &slot, &changed);
  GlobalFree(changed);  // the zoom is shown by the common handler next
  (void)r;
}
}  // namespace

WORD cnst_HardCheckPOSTER(UI_MSGINFO* msg) {
  UIROOT* root = Root(msg);
  if (!root || !root->uiData || !root->uiData->ddd) return 0;
  ConstInfo* info = const_AllocConstData();
  if (!info) return 0;
  CONST_SETTINGS s = {root->uiData->ddd, root->devmode, root->printerData};
  LONG layout = 0;
  Number(msg, DDM_LAYOUTMODE, &layout);
  CONST_VALUE current = {DDM_LAYOUTMODE, 0, nullptr};
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* changed = room;
  WORD count = 0;
  WORD r = const_HardUpdateConstData(msg->dialog, &s, &current, nullptr, info, &changed, &count);
  const_FreeConstData(info);
  cnstUtil_FreeWordList(changed, count, CONST_ROOM_CHANGED);
  (void)layout;
  return r == CONST_CHANGED || count ? 4 : 0;
}

LONG uiEditZoom(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row || !Control(msg, row)) return 0;
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog);
  if (IsDisplay(message, lParam)) {
    uiEditZoomSetScale(msg, row);
    return CallCommon(msg, message, wParam, lParam, row);
  }
  const UINT code = NotifyCode(message, lParam);
  const bool killFocus =
      message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS && GetDlgCtrlID(GetFocus()) != IDC_PPR_ZOOM_SPIN;
  const bool killActive = code == PSN_KILLACTIVE && GetFocus() == Control(msg, row);
  LONG r = CallCommon(msg, message, wParam, lParam, row);
  if ((!killFocus && !killActive) || r != 0 || !work || work->zoomChecking) return r;
  work->zoomChecking = 1;
  WORD poster = cnst_HardCheckPOSTER(msg);
  work->zoomChecking = 0;
  if (poster == 4) {
    WORD* all = static_cast<WORD*>(GlobalAlloc(GPTR, 3 * sizeof(WORD)));
    if (all) {
      all[0] = DDM_NUP;
      all[1] = DDM_LAYOUTMODE;
    }
    Redisplay(msg, all);
    if (killActive) {
      SetFocus(GetDlgItem(msg->sheet, kSheetButton1));
      return 1;
    }
  }
  return r;
}

LONG uiDspEditCopies(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  LONG r = CallCommon(msg, message, wParam, lParam, row);
  if (NotifyCode(message, lParam) == PSN_SETACTIVE && row->dspCount > 0) {
    LONG minimum = 0, maximum = 0;
    if (uiGetMinMax(msg, row->dsp[0].ddmId, &minimum, &maximum)) {
      int digits = 1;
      for (LONG m = maximum < 0 ? -maximum : maximum; m >= 10; m /= 10) ++digits;
      SendMessageW(Control(msg, row), EM_LIMITTEXT, static_cast<WPARAM>(digits), 0);
    }
  }
  return r;
}

LONG uiPaperOutput(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  if (message == UIM_1509) {
    const UI_CONTROL_INFO* ci = msg->data->controlInfo;
    for (LONG i = 0; ci && i < ci->rows; ++i)
      if (ci->table[i].controlId == IDC_PPR_USERDEFINE)
        return uiButton(msg, WM_COMMAND,
                        static_cast<WPARAM>(MAKELONG(static_cast<WORD>(IDC_PPR_USERDEFINE), BN_CLICKED)), 0,
                        &ci->table[i], ci->table[i].param);
    return 0;
  }
  LONG r = CallCommon(msg, message, wParam, lParam, row);
  if (message == UIM_REDISPLAY && row->controlId == IDC_PPR_OUTPUTPAPER && WasChanged(msg, DDM_PAPERSIZE)) {
    LONG paper = 0;
    if (Number(msg, DDM_PAPERSIZE, &paper) && paper == DMPAPER_USER)
      PostMessageW(msg->dialog, UIM_1509, IDC_PPR_OUTPUTPAPER, 0);
  }
  return r;
}

void uiLbCbConstUpDate(UI_MSGINFO* msg, const UI_IDTBL* row, WORD type) {
  LONG i = uiRowIndex(msg, row);
  if (i >= 0 && msg->data->states && row->dspCount > 0 && row->dsp)
    msg->data->states[i] = uiTabGetFuncConstAction(msg, row->dsp[0].ddmId);
  uiCheckFuncConst(msg, row, type);
}

LONG uiPap_NupOrient(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  if (!msg || !msg->data || !row) return 0;
  LONG r = CallCommon(msg, message, wParam, lParam, row);
  if (message == UIM_REDISPLAY) uiLbCbConstUpDate(msg, row, UI_CT_COMBO);
  return r;
}

// ---- Print type ---------------------------------------------------------------------------

namespace {
const UI_BUTTON* PrintTypeButton(UI_MSGINFO* msg, const UI_BUTTONROWS* rows) {
  LONG type = 0;
  if (!rows || !Number(msg, DDM_JOBTYPE, &type) || type < 0 || type >= rows->count) return nullptr;
  return rows->buttons[type];
}
void PostOpen(UI_MSGINFO* msg, const UI_IDTBL* row) {
  PostMessageW(msg->dialog, WM_COMMAND, static_cast<WPARAM>(MAKELONG(static_cast<WORD>(row->controlId), BN_CLICKED)),
               reinterpret_cast<LPARAM>(Control(msg, row)));
}
}  // namespace

LONG uiPrintTypeBtn(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void* param) {
  if (!msg || !msg->data || !row) return 0;
  const auto* rows = static_cast<const UI_BUTTONROWS*>(param);
  UIROOT* root = Root(msg);
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog);
  HCDDD ddd = root->uiData->ddd;
  const bool checks = uiCom_CheckCapability(ddd, UI_CAP_EMPTY_CHECKS) != FALSE;
  const UINT code = NotifyCode(message, lParam);
  LONG type = 0;
  Number(msg, DDM_JOBTYPE, &type);
  if (code == PSN_SETACTIVE || message == UIM_REDISPLAY) {
    const UI_BUTTON* b = PrintTypeButton(msg, rows);
    // The button follows its setting's state; without a dialog it is off.
    WORD state = uiGetNowFuncConst(msg, row);
    uiApplyConstState(Control(msg, row), UI_CT_BUTTON, b ? state : 1);
    if (code == PSN_SETACTIVE) {
      WORD flags = 0;
      if (checks && EmptyString(msg, UI_DDM_USERID) && (type == UI_PRINTTYPE_SECURE || type == UI_PRINTTYPE_SAMPLE) &&
          ddd->preConfig && PreConfig_GetPropertyFlg(DDM_JOBTYPE, ddd->preConfig, &flags) &&
          (flags & kPreConfigOpenFlag))
        PostOpen(msg, row);
    } else if (uiCom_CheckCapability(ddd, UI_CAP_PRINTTYPE_OPEN) && WasChanged(msg, DDM_JOBTYPE) && b) {
      PostOpen(msg, row);
    }
    return 0;
  }
  if (code == PSN_KILLACTIVE) {
    if (!work) return 0;
    if (work->skipEmptyCheck) {
      work->skipEmptyCheck = 0;
      return 0;
    }
    if (!checks) return 0;
    WORD id = 0;
    UINT text = 0;
    switch (type) {
      case UI_PRINTTYPE_SECURE:
        id = UI_DDM_USERID, text = UI_STR_EMPTY_SECURE;
        break;
      case UI_PRINTTYPE_SAMPLE:
        id = UI_DDM_USERID, text = UI_STR_EMPTY_SAMPLE;
        break;
      case UI_PRINTTYPE_LOREBOX:
        id = UI_DDM_BOXNUMBER, text = UI_STR_EMPTY_LOREBOX;
        break;
      default:
        return 0;
    }
    if (!EmptyString(msg, id)) return 0;
    Box(msg->dialog, text, nullptr, 0, MB_OK | MB_ICONEXCLAMATION);
    PostOpen(msg, row);
    return 1;
  }
  if (message == WM_COMMAND) {
    if (work) work->skipEmptyCheck = 1;
    const UI_BUTTON* b = PrintTypeButton(msg, rows);
    if (!b) return 0;  // no dialog for this print type
    return uiButtonCommand(msg, row, b);
  }
  return 0;
}

// ---- Summaries, finishing, logo -------------------------------------------------------------

namespace {
// The name of the item of setting `id` whose value is `value` ("" when the
// setting has no selection information or no such item).
u16string ItemName(UI_MSGINFO* msg, WORD id, LONG value) {
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, id);
  for (LONG i = 0; si && i < cdmGetSelectItemNum(si); ++i) {
    const CDM_SELECT_ITEM* item = cdmGetSelectItemDevData(si, i);
    if (item && static_cast<LONG>(cdmDmConvertINT(si->type ? si->type : 4, &item->value)) == value) {
      LPCWSTR n = cdmGetSelectItemName(si, i);
      return n ? u16string(reinterpret_cast<const char16_t*>(n)) : u16string();
    }
  }
  return u16string();
}
}  // namespace

void uiSmry_UpdatePaperSummary(UI_MSGINFO* msg, HWND control) {
  if (!msg || !control) return;
  LONG paper = 0, copies = 1, output = 0;
  Number(msg, DDM_PAPERSIZE, &paper);
  Number(msg, DDM_COPIES, &copies);
  const u16string original = ItemName(msg, DDM_PAPERSIZE, paper);
  // The output paper is the output size (DDM 262), unless that is "same as
  // the original" or the model has no output size: then the original.
  u16string printed = original;
  if (uiGetSelectInfo(msg, DDM_OUTPUTSIZE) && Number(msg, DDM_OUTPUTSIZE, &output) && output != UI_OUTPUTSIZE_SAME)
    printed = ItemName(msg, DDM_OUTPUTSIZE, output);
  WCHAR number[16] = {};
  uiNumtoStr(copies, number, 16);
  u16string text = original + u" -> " + printed + u", " + reinterpret_cast<const char16_t*>(number) + u" copies";
  SetWindowTextW(control, reinterpret_cast<LPCWSTR>(text.c_str()));
}

LONG uiPap_PaperSummary(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row, const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (NotifyCode(message, lParam) == PSN_SETACTIVE) uiGetSelectInfo(msg, DDM_PAPERSIZE);
  if (IsDisplay(message, lParam)) {
    uiSmry_UpdatePaperSummary(msg, control);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == kFocusNotify) {
    HWND next = GetNextDlgTabItem(msg->dialog, control, FALSE);
    if (next && next != control) SetFocus(next);
  }
  return 0;
}

LONG uiPap_SelectFinishing(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                           const void* param) {
  if (!msg || !msg->data || !row) return 0;
  if (IsDisplay(message, lParam)) {
    LONG type = 0;
    Number(msg, DDM_JOBTYPE, &type);
    EnableWindow(Control(msg, row), type != UI_PRINTTYPE_NOFINISHING);
    return 0;
  }
  if (message == WM_COMMAND) {
    if (UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(msg->dialog)) work->skipEmptyCheck = 1;
  }
  return uiButton(msg, message, wParam, lParam, row, param);
}

LONG uiPap_FinishingSummary(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                            const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (IsDisplay(message, lParam)) {
    LONG type = 0;
    Number(msg, DDM_JOBTYPE, &type);
    const bool off = type == UI_PRINTTYPE_NOFINISHING;
    // The finishing settings the page shows: staple.
    u16string text;
    if (HWND staple = GetDlgItem(msg->dialog, IDC_PPR_STAPLE)) {
      LRESULT sel = SendMessageW(staple, CB_GETCURSEL, 0, 0);
      WCHAR item[257] = {};
      if (sel >= 0 && SendMessageW(staple, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(item)) > 0)
        text = reinterpret_cast<const char16_t*>(item);
    }
    if (text.size() > static_cast<size_t>(kFinishingChars)) text.resize(kFinishingChars);
    SetWindowTextW(control, reinterpret_cast<LPCWSTR>(text.c_str()));
    EnableWindow(control, !off);
    EnableWindow(GetDlgItem(msg->dialog, IDC_PPR_FINISHING), !off);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == kFocusNotify) {
    if (HWND staple = GetDlgItem(msg->dialog, IDC_PPR_STAPLE)) SetFocus(staple);
  }
  return 0;
}

namespace {
WNDPROC g_logoProc = nullptr;  // the bitmap control's procedure before ours
}

LRESULT CALLBACK uiCustomProp_CorporateLogo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) {
    HWND dialog = GetParent(window);
    UI_DLGDATA* data = uiGetDlgData(dialog);
    HCDDD ddd = data && data->root && data->root->uiData ? data->root->uiData->ddd : nullptr;
    LPWSTR url = ddd ? ddd_GetPrinterInfo_orderedString_Indirect(ddd->main, UI_PRINTERINFO_DOCUMENT, 0) : nullptr;
    if (url && *url) ShellExecuteW(dialog, u"open", url, nullptr, nullptr, SW_SHOW);
    if (url) ddd_FreeMem(url);
    return 0;
  }
  return CallWindowProcW(g_logoProc, window, message, wParam, lParam);
}

LONG uiPap_CorporateLogo(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                         const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control) return 0;
  if (message == WM_INITDIALOG) {
    UIROOT* root = Root(msg);
    HCDDD ddd = root->uiData->ddd;
    WORD width = 0, height = 0;
    BYTE* bitmap =
        ddd ? ddd_GetPrinterBitmap(ddd->main, ddd->referenced, kPrinterBitmapLogo, &width, &height) : nullptr;
    if (bitmap) {
      SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      ddd_FreeMem(bitmap);
    }
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(uiCustomProp_CorporateLogo)));
    if (previous != uiCustomProp_CorporateLogo) g_logoProc = previous;
    return 0;
  }
  return uiCtDmy(msg, message, wParam, lParam, row, nullptr);
}

LONG uiPap_FreeToolInfo(UI_MSGINFO*, UINT, WPARAM, LPARAM, const UI_IDTBL*, const void*) { return 0; }

// ---- Poster / booklet dialog ------------------------------------------------------------------

namespace {
const LONG kLayoutControls[] = {IDC_PBK_SIZE, IDC_PBK_OVERLAPWIDTH, IDC_PBK_CUTMARKS, IDC_PBK_OVERLAPSPIN,
                                IDC_PBK_OVERLAP};
constexpr LONG kLayoutBooklet = 2;
}  // namespace

LONG uiPbk_LayoutControl(UI_MSGINFO* msg, UINT message, WPARAM wParam, LPARAM lParam, const UI_IDTBL* row,
                         const void*) {
  if (!msg || !msg->data || !row) return 0;
  LONG r = CallCommon(msg, message, wParam, lParam, row);
  if (!IsDisplay(message, lParam)) return r;
  // After the common display, which shows the control by its state: shown
  // and enabled only for the booklet layout.
  LONG layout = 0;
  Number(msg, DDM_LAYOUTMODE, &layout);
  const bool on = layout == kLayoutBooklet;
  HWND c = Control(msg, row);
  if (!on) {
    ShowWindow(c, SW_HIDE);
    EnableWindow(c, FALSE);
  } else if (NotifyCode(message, lParam) == PSN_SETACTIVE || WasChanged(msg, DDM_LAYOUTMODE)) {
    ShowWindow(c, SW_SHOW);
  }
  if (row->controlId == kLayoutControls[0] &&
      (NotifyCode(message, lParam) == PSN_SETACTIVE || WasChanged(msg, DDM_LAYOUTMODE))) {
    const WORD function =
        uiCom_CheckCapability(Root(msg)->uiData->ddd, UI_CAP_POSTER_ALT) ? UI_FUNC_POSTER_ALT : UI_FUNC_POSTER;
    uiTabSetDspPos(msg, uiSerchDispInfoNum(msg, row->controlId, function));
  }
  return r;
}

LONG uiPbk_HelpText(UI_MSGINFO* msg, UINT message, WPARAM, LPARAM lParam, const UI_IDTBL* row, const void*) {
  HWND control = Control(msg, row);
  if (!msg || !msg->data || !row || !control || !IsDisplay(message, lParam)) return 0;
  LONG n = 0;
  Number(msg, UI_DDM_POSTER_HELP, &n);
  WCHAR a[16] = {}, b[16] = {};
  uiNumtoStr(n, a, 16);
  uiNumtoStr(n * 4, b, 16);
  const LPCWSTR args[] = {a, b};
  WCHAR text[512] = {};
  if (uiMakeMsg(UI_STR_POSTER_HELP, args, 2, text, 512)) SetWindowTextW(control, text);
  return 0;
}
