// The dialog procedures of the pages and sub-dialogs that replace slots of
// their kind's handler table (and those that replace none, so that the
// table below is the one list of numbers, kinds and replacements), the
// Paper and Output pages' tooltips, and the all-constraints check the
// selector runs.
#include <cstring>
#include <vector>

#include "kestrel/core/cdm_values.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_pages.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/kwindows.h"

// ---- Replacement slot handlers -------------------------------------------------------------

LONG uiOutInitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  LONG r = uiMsg_InitDialogRoot(window, message, wParam, lParam, dlgNo, ctx);
  if (!r) return r;
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(window);
  HWND tooltip = uiCreateToolTip(window);
  if (tooltip) {
    uiAddtooltoToolTip(window, tooltip);
    // The Paper page's tooltip is the selector's; another page keeps its own.
    if (work && dlgNo == 1) {
      if (work->tooltip) DestroyWindow(work->tooltip);
      work->tooltip = tooltip;
    }
  }
  return r;
}

LONG uiOutSetActive(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(window);
  if (work && dlgNo == 1) uiSettooltoToolTip(window, work->tooltip);
  return uiMsg_SetActive(window, message, wParam, lParam, dlgNo, ctx);
}

// The slots of these dialogs have no work of their own: the engine's
// handler of the slot runs.
LONG uiFntInitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_InitDialogChildDlg(window, message, wParam, lParam, dlgNo, ctx);
}
LONG uiDlgFontSubst_InitDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_InitDialogChildDlg(window, message, wParam, lParam, dlgNo, ctx);
}
LONG uiDlgFontSubst_Command(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_SndMsgTargetControl(window, message, wParam, lParam, dlgNo, ctx);
}
LONG uiDlgFll_Apply(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LONG dlgNo, UI_DSPCTX* ctx) {
  return uiMsg_Apply(window, message, wParam, lParam, dlgNo, ctx);
}

// ---- The procedures ---------------------------------------------------------------------

namespace {
INT_PTR Run(const UI_PROCDESC& d, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  UI_MSGFUNC handler = nullptr;
  WORD slot = 0;
  if (!uiMsg_GetMsgFncTemplete(message, wParam, lParam, d.kind, &handler, &slot)) return 0;
  for (WORD i = 0; i < d.replaced; ++i)
    if (!uiMsg_ReplaceMsgFnc(d.slots[i].handler, d.slots[i].slot, &handler, slot)) return 0;
  return uiMsg_CallMsgFnc(window, message, wParam, lParam, d.dlgNo, d.kind, handler);
}
const UI_PROCDESC& Desc(LONG dlgNo);
}  // namespace

#define UI_PROC(name, no) \
  INT_PTR name(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Run(Desc(no), w, m, wp, lp); }
UI_PROC(uiDlgOutput, 2)
UI_PROC(uiDlgGraphics, 3)
UI_PROC(uiDlgFont, 4)
UI_PROC(uiDlgInit, 5)
UI_PROC(uiDlgOption, 6)
UI_PROC(uiDlgOhpSheet, 10)
UI_PROC(uiDlgLCC_Color, 11)
UI_PROC(uiDlgDetail, 13)
UI_PROC(uiDlgMargin, 14)
UI_PROC(uiDlgPosterBooklet, 16)
UI_PROC(uiDlgMixStaple, 20)
UI_PROC(uiDlgCoverSheet, 21)
UI_PROC(uiDlgSecurityPrint, 22)
UI_PROC(uiDlgFontSubst, 23)
UI_PROC(uiDlgHeaderPrint, 25)
UI_PROC(uiDlgBalance, 26)
UI_PROC(uiDlgICCProfile, 27)
UI_PROC(uiDlgFullScalePrinting, 28)
UI_PROC(uiDlgPrintPosition, 29)
UI_PROC(uiDlgCoverInsert, 37)
UI_PROC(uiDlgPrintArea, 39)
UI_PROC(uiDlgManualTray, 40)
UI_PROC(uiDlgPaperTypeForAPS, 41)
UI_PROC(uiDlgSamplePrint, 42)
UI_PROC(uiDlgDelayPrint, 43)
UI_PROC(uiDlgKnowledgePrint, 44)
UI_PROC(uiDlgInitJBA, 46)
UI_PROC(uiDlgJBADetail, 47)
UI_PROC(uiDlgCoverInsertDFinisher, 48)
#undef UI_PROC

// The Paper page also frees the selector's list when its window goes.
INT_PTR uiDlgPaper(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) uiPap_FreeUserSelWork(window);
  return Run(Desc(1), window, message, wParam, lParam);
}

namespace {
constexpr WORD kSlotCommand = 0, kSlotInit = 1, kSlotSetActive = 2, kSlotApply = 5;
}  // namespace

// clang-format off
const UI_PROCDESC uiProcTable[] = {
    {uiDlgPaper, 1, UI_KIND_ROOT, 2, {{kSlotInit, uiOutInitDialog}, {kSlotSetActive, uiOutSetActive}}},
    {uiDlgOutput, 2, UI_KIND_ROOT, 2, {{kSlotInit, uiOutInitDialog}, {kSlotSetActive, uiOutSetActive}}},
    {uiDlgGraphics, 3, UI_KIND_ROOT, 0, {}},
    {uiDlgFont, 4, UI_KIND_CHILDDLG, 1, {{kSlotInit, uiFntInitDialog}}},
    {uiDlgInit, 5, UI_KIND_ROOT, 0, {}},
    {uiDlgOption, 6, UI_KIND_ROOT, 0, {}},
    {uiDlgOhpSheet, 10, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgLCC_Color, 11, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgDetail, 13, UI_KIND_ROOT, 0, {}},
    {uiDlgMargin, 14, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgPosterBooklet, 16, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgMixStaple, 20, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgCoverSheet, 21, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgSecurityPrint, 22, UI_KIND_CHILDDLG, 1, {{kSlotInit, uiDlgPrintTypeCommon_InitDialog}}},
    {uiDlgFontSubst, 23, UI_KIND_CHILDDLG, 2,
     {{kSlotInit, uiDlgFontSubst_InitDialog}, {kSlotCommand, uiDlgFontSubst_Command}}},
    {uiDlgHeaderPrint, 25, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgBalance, 26, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgICCProfile, 27, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgFullScalePrinting, 28, UI_KIND_CHILDTAB, 1, {{kSlotApply, uiDlgFll_Apply}}},
    {uiDlgPrintPosition, 29, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgCoverInsert, 37, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgPrintArea, 39, UI_KIND_CHILDTAB, 0, {}},
    {uiDlgManualTray, 40, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgPaperTypeForAPS, 41, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgSamplePrint, 42, UI_KIND_CHILDDLG, 1, {{kSlotInit, uiDlgPrintTypeCommon_InitDialog}}},
    {uiDlgDelayPrint, 43, UI_KIND_CHILDDLG, 1, {{kSlotInit, uiDlgPrintTypeCommon_InitDialog}}},
    {uiDlgKnowledgePrint, 44, UI_KIND_CHILDDLG, 1, {{kSlotInit, uiDlgPrintTypeCommon_InitDialog}}},
    {uiDlgInitJBA, 46, UI_KIND_ROOT, 0, {}},
    {uiDlgJBADetail, 47, UI_KIND_CHILDDLG, 0, {}},
    {uiDlgCoverInsertDFinisher, 48, UI_KIND_CHILDDLG, 0, {}},
};
// clang-format on
const LONG uiProcTableCount = static_cast<LONG>(sizeof uiProcTable / sizeof uiProcTable[0]);

namespace {
const UI_PROCDESC& Desc(LONG dlgNo) {
  for (const UI_PROCDESC& d : uiProcTable)
    if (d.dlgNo == dlgNo) return d;
  static const UI_PROCDESC kNone = {nullptr, 0, 0, 0, {}};
  return kNone;  // kind 0: no table, the message is not handled
}
}  // namespace

// ---- Tooltips ---------------------------------------------------------------------------------

HWND uiCreateToolTip(HWND dialog) {
  return CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0, dialog, nullptr,
                         resource_get_hInstance(), nullptr);
}

namespace {
TTTOOLINFOW Tool(HWND dialog, HWND control, LPWSTR text) {
  TTTOOLINFOW t = {};
  t.cbSize = sizeof t;
  t.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  t.hwnd = dialog;
  t.uId = reinterpret_cast<UINT_PTR>(control);
  t.lpszText = text;
  return t;
}
}  // namespace

void uiAddtooltoToolTip(HWND dialog, HWND tooltip) {
  HWND combo = GetDlgItem(dialog, IDC_PPR_USERSEL);
  if (!tooltip || !combo) return;
  WCHAR empty[1] = {};
  TTTOOLINFOW t = Tool(dialog, combo, empty);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&t));
}

void uiSettooltoToolTip(HWND dialog, HWND tooltip) {
  HWND combo = GetDlgItem(dialog, IDC_PPR_USERSEL);
  UI_USERSEL_WORK* work = uiGetUserSelWorkAreabyHDlg(dialog);
  if (!tooltip || !combo || !work) return;
  TTTOOLINFOW t = Tool(dialog, combo, work->comment);
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&t));
}

// ---- The all-constraints check ------------------------------------------------------------------

LONG uiComAllConstCheckCreate(UI_MSGINFO* msg, void* corrected, void* correctedPd) {
  if (!msg || !msg->data || !msg->data->root || !corrected || !correctedPd) return -1;
  UIROOT* root = msg->data->root;
  std::memcpy(correctedPd, root->printerData, NRV_PRINTERDATA_SIZE);
  LONG r = Fav_CheckAllConstraints(root->uiData->ddd, msg->dialog, root->devmode, correctedPd, corrected);
  if (r < 0) return 2;  // not checked: the user is warned
  return r == 1 || std::memcmp(correctedPd, root->printerData, NRV_PRINTERDATA_SIZE) != 0 ? 1 : 0;
}
