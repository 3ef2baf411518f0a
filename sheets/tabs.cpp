// Tab design: the window-info, tab-sheet and dialog records, the tab lists,
// the window-info table of a sheet and the tab pages made from it.
#include <cstring>
#include <initializer_list>

#include "kestrel/core/cddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kestrel/ui/docprop.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_messagebox.h"

// ---- Dialog records -------------------------------------------------------------------
#define UI_DIALOG_REC(name, tmpl, proc, no, title, item, second) \
  const UI_DIALOG name = {tmpl, proc, no, title, item, second};
UI_DIALOG_REC(DialogPprManualTray, 3460, uiDlgManualTray, 40, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprPreferenceOfPaperType, 3490, uiDlgPaperTypeForAPS, 41, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprCoverSheet, 534, uiDlgCoverSheet, 21, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprCoverInsert, 867, uiDlgCoverInsert, 37, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprCoverInsertDFinisher, 3670, uiDlgCoverInsertDFinisher, 48, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprOhpSheet, 509, uiDlgOhpSheet, 10, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprDfnPprDP, 3790, uiDlgUserDefineDocPrp, 55, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprMixStaple, 532, uiDlgMixStaple, 20, UI_NOSTRING, 36868, 0)
UI_DIALOG_REC(DialogPprUserAddSel, 929, uiDlgUserAdd, 35, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprUserEditSel, 930, uiDlgUserEdit, 36, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprPaperSelect, 3731, uiDlgPaperSelect, 53, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogSecurity, 533, uiDlgSecurityPrint, 22, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogSample, 3340, uiDlgSamplePrint, 42, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogDelay, 3377, uiDlgDelayPrint, 43, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogKnowledge, 3400, uiDlgKnowledgePrint, 44, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogSelectFinishing, 3771, uiDlgSelectFinishing, 54, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogPprMargin, 2590, uiDlgMargin, 14, UI_NOSTRING, 0, 2770)
UI_DIALOG_REC(DialogPprPosterBooklet, 529, uiDlgPosterBooklet, 16, UI_NOSTRING, 36891, 0)
UI_DIALOG_REC(DialogStpStampNew, 525, uiDlgStampNew, 18, 423, 0, 0)
UI_DIALOG_REC(DialogStpStampEdit, 525, uiDlgStampEdit, 19, 424, 0, 0)
UI_DIALOG_REC(DialogStpBitmapNew, 526, uiDlgBitmapNew, 50, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogStpBitmapEdit, 526, uiDlgBitmapEdit, 51, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogStpHeaderPrint, 536, uiDlgHeaderPrint, 25, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogGrpSetup, 506, uiDlgLCC_Color, 11, UI_NOSTRING, 0, 512)
UI_DIALOG_REC(DialogDtlConfigFont, 567, uiDlgFont, 4, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogDtlVersion, 510, uiDlgVersion, 8, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogIntSubFont, 513, uiDlgFontSubst, UI_DLGNO_PRINTER_SUB, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogIntSubFontJBA, 513, uiDlgFontSubst, UI_DLGNO_PRINTER_SUB, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogIntUserDefine, 514, uiDlgUserDefine, UI_DLGNO_PRINTER_SUB, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogIntUserDefineJBA, 514, uiDlgUserDefine, UI_DLGNO_PRINTER_SUB, UI_NOSTRING, 0, 0)
UI_DIALOG_REC(DialogIntJBADetail, 3520, uiDlgJBADetail, UI_DLGNO_PRINTER_SUB, UI_NOSTRING, 0, 0)
#undef UI_DIALOG_REC

// ---- Sub-dialog window-info records (no tab-sheet record) -------------------------------
namespace {
#define UI_SUB(name, no) const UI_WNDINFO name = {no, &uiControlInfoTbl[no], nullptr};
UI_SUB(kMixStaple, 20)
UI_SUB(kUad, 35)
UI_SUB(kUed, 36)
UI_SUB(kPaperSelect, 53)
UI_SUB(kManualTray, 40)
UI_SUB(kCoverSheet, 21)
UI_SUB(kCoverInsert, 37)
UI_SUB(kCoverInsertDFinisher, 48)
UI_SUB(kOHPSheet, 10)
UI_SUB(kPapTypeAPS, 41)
UI_SUB(kSecurityPrint, 22)
UI_SUB(kSamplePrint, 42)
UI_SUB(kKnowledgePrint, 44)
UI_SUB(kDelayPrint, 43)
UI_SUB(kUsrDfnPprDocPrp, 55)
UI_SUB(kSelectFinishing, 54)
UI_SUB(kPosterBooklet, 16)
UI_SUB(kMargin, 14)
UI_SUB(kPrintPosition, 29)
UI_SUB(kFullScalePrinting, 28)
UI_SUB(kPrintArea, 39)
UI_SUB(kColor, 11)
UI_SUB(kClrBlnc, 26)
UI_SUB(kProfile, 27)
UI_SUB(kNewStamp, 18)
UI_SUB(kEditStamp, 19)
UI_SUB(kHeaderPrint, 25)
UI_SUB(kNewBitmap, 50)
UI_SUB(kEditBitmap, 51)
UI_SUB(kFont, 4)
UI_SUB(kVersion, 8)
UI_SUB(kFontSubst, 23)
UI_SUB(kUsrDfnPpr, 24)
UI_SUB(kJBADetail, 47)
#undef UI_SUB

const UI_WNDINFO* const kSubsPaper[] = {&kMixStaple,    &kUad,           &kUed,         &kPaperSelect,
                                        &kManualTray,   &kCoverSheet,    &kCoverInsert, &kCoverInsertDFinisher,
                                        &kOHPSheet,     &kPapTypeAPS,    &kSecurityPrint, &kSamplePrint,
                                        &kKnowledgePrint, &kDelayPrint,  &kUsrDfnPprDocPrp};
const UI_WNDINFO* const kSubsPaperSummary[] = {
    &kMixStaple,   &kUad,         &kUed,           &kPaperSelect, &kManualTray,      &kCoverSheet,
    &kCoverInsert, &kCoverInsertDFinisher, &kOHPSheet, &kPapTypeAPS, &kSecurityPrint, &kSamplePrint,
    &kKnowledgePrint, &kDelayPrint, &kUsrDfnPprDocPrp, &kSelectFinishing};
const UI_WNDINFO* const kSubsPaperSFP[] = {&kUad,         &kUed,           &kCoverSheet,  &kCoverInsert,
                                           &kCoverInsertDFinisher, &kOHPSheet, &kPapTypeAPS, &kSecurityPrint,
                                           &kSamplePrint, &kKnowledgePrint, &kDelayPrint,  &kUsrDfnPprDocPrp};
const UI_WNDINFO* const kSubsOutput[] = {&kPosterBooklet, &kMargin, &kPrintPosition, &kFullScalePrinting,
                                         &kPrintArea};
const UI_WNDINFO* const kSubsGraphics[] = {&kColor, &kClrBlnc, &kProfile};
const UI_WNDINFO* const kSubsStamp[] = {&kNewStamp, &kEditStamp, &kHeaderPrint, &kNewBitmap, &kEditBitmap};
const UI_WNDINFO* const kSubsDetail[] = {&kFont, &kVersion};
const UI_WNDINFO* const kSubsInit[] = {&kFontSubst, &kUsrDfnPpr};
const UI_WNDINFO* const kSubsInitJBA[] = {&kJBADetail, &kFontSubst, &kUsrDfnPpr};

template <size_t N>
constexpr LONG Count(const UI_WNDINFO* const (&)[N]) {
  return static_cast<LONG>(N);
}

#define UI_TAB(name, tmpl, proc, no, title, item, subs, n) \
  const UI_TABSHEET name = {tmpl, proc, no, title, item, subs, n, 0};
UI_TAB(uiTabSheetPaper, 518, uiDlgPaper, 1, UI_NOSTRING, 0, kSubsPaper, Count(kSubsPaper))
UI_TAB(uiTabSheetPaperFinishingSummary, 3856, uiDlgPaper, 1, UI_NOSTRING, 0, kSubsPaperSummary,
       Count(kSubsPaperSummary))
UI_TAB(uiTabSheetPaperSFP, 580, uiDlgPaper, 1, UI_NOSTRING, 0, kSubsPaperSFP, Count(kSubsPaperSFP))
UI_TAB(uiTabSheetOutput, 566, uiDlgOutput, 2, UI_NOSTRING, 0, kSubsOutput, Count(kSubsOutput))
UI_TAB(uiTabSheetGraphicsColor, 2231, uiDlgGraphicsMono, 3, UI_NOSTRING, 0, kSubsGraphics, Count(kSubsGraphics))
UI_TAB(uiTabSheetGrpMono, 2561, uiDlgGraphicsMono, 3, UI_NOSTRING, 0, nullptr, 0)
UI_TAB(uiTabSheetStamp, 538, uiDlgStamp, 17, UI_NOSTRING, 36894, kSubsStamp, Count(kSubsStamp))
UI_TAB(uiTabSheetDetail, 504, uiDlgDetail, 13, UI_NOSTRING, 0, kSubsDetail, Count(kSubsDetail))
UI_TAB(uiTabSheetFax, 517, uiDlgFax, 52, UI_NOSTRING, 0, nullptr, 0)
UI_TAB(uiTabSheetFaxSimple, 6011, uiDlgFax, 52, UI_NOSTRING, 0, nullptr, 0)
UI_TAB(uiTabSheetInit, 501, uiDlgInit, 5, UI_NOSTRING, 0, kSubsInit, Count(kSubsInit))
UI_TAB(uiTabSheetInitJBA, 3580, uiDlgInitJBA, 46, UI_NOSTRING, 0, kSubsInitJBA, Count(kSubsInitJBA))
UI_TAB(uiTabSheetOptionPrt, 503, uiDlgOption, 6, UI_NOSTRING, 0, nullptr, 0)
UI_TAB(uiTabSheetOptionFax, 503, uiDlgOption, 6, 4623, 0, nullptr, 0)
#undef UI_TAB

constexpr LONG kPaper = 1, kGraphics = 3, kInit = 5, kFax = 52;
constexpr WORD kTopTabSummary = 2, kTopTabSFP = 3;
constexpr WORD kPrinterMono = 2;

}  // namespace

#define UI_WND(name, no, tab) const UI_WNDINFO name = {no, &uiControlInfoTbl[no], &tab};
UI_WND(uiWndInfoPaper, 1, uiTabSheetPaper)
UI_WND(uiWndInfoPaperFinishingSummary, 1, uiTabSheetPaperFinishingSummary)
UI_WND(uiWndInfoPaperSFP, 1, uiTabSheetPaperSFP)
UI_WND(uiWndInfoOutput, 2, uiTabSheetOutput)
UI_WND(uiWndInfoGraphicsColor, 3, uiTabSheetGraphicsColor)
UI_WND(uiWndInfoGrpMono, 3, uiTabSheetGrpMono)
UI_WND(uiWndInfoStamp, 17, uiTabSheetStamp)
UI_WND(uiWndInfoDetail, 13, uiTabSheetDetail)
UI_WND(uiWndInfoFax, 52, uiTabSheetFax)
UI_WND(uiWndInfoFaxSimple, 52, uiTabSheetFaxSimple)
UI_WND(uiWndInfoInit, 5, uiTabSheetInit)
UI_WND(uiWndInfoInitJBA, 46, uiTabSheetInitJBA)
UI_WND(uiWndInfoOptionPrt, 6, uiTabSheetOptionPrt)
UI_WND(uiWndInfoOptionFax, 6, uiTabSheetOptionFax)
#undef UI_WND

const UI_WNDINFO* const DefaultTabListDoc[] = {&uiWndInfoPaper, &uiWndInfoOutput, &uiWndInfoGraphicsColor,
                                               &uiWndInfoStamp, &uiWndInfoDetail, nullptr};
const UI_WNDINFO* const DefaultTabListDoc_B[] = {&uiWndInfoPaper,  &uiWndInfoGraphicsColor, &uiWndInfoOutput,
                                                 &uiWndInfoStamp,  &uiWndInfoDetail,        &uiWndInfoFax,
                                                 nullptr};
const UI_WNDINFO* const DefaultTabListPrn[] = {&uiWndInfoInit, &uiWndInfoOptionPrt, nullptr};
const UI_WNDINFO* const DefaultTabListPrn_B[] = {&uiWndInfoInit, &uiWndInfoOptionPrt, nullptr};
// Present in the data, referenced by no code.
const UI_WNDINFO* const DefaultTabListDebug[] = {&uiWndInfoPaper,  &uiWndInfoOutput, &uiWndInfoGraphicsColor,
                                                 &uiWndInfoStamp,  &uiWndInfoDetail, &uiWndInfoInit,
                                                 &uiWndInfoOptionPrt, nullptr};
const UI_WNDINFO* const DefaultTabListDebug_B[] = {&uiWndInfoPaper,  &uiWndInfoGraphicsColor, &uiWndInfoOutput,
                                                   &uiWndInfoStamp,  &uiWndInfoDetail,        &uiWndInfoFax,
                                                   &uiWndInfoInit,   &uiWndInfoOptionPrt,     nullptr};
const UI_ADDTAB AddTabListDoc[] = {{0, nullptr}};
const UI_ADDTAB AddTabListDoc_B[] = {{0, nullptr}};

const UI_WNDINFO* uiTabDef_FindWndInfo(LONG dlgNo) {
  static const UI_WNDINFO* const* const lists[] = {DefaultTabListDebug_B};
  for (const UI_WNDINFO* const* list : lists)
    for (; *list; ++list) {
      if ((*list)->dlgNo == dlgNo) return *list;
      const UI_TABSHEET* tab = (*list)->tab;
      for (LONG i = 0; tab && i < tab->subCount; ++i)
        if (tab->subs[i]->dlgNo == dlgNo) return tab->subs[i];
    }
  for (const UI_WNDINFO* w : {&kSelectFinishing, &kJBADetail, &uiWndInfoInitJBA})
    if (w->dlgNo == dlgNo) return w;
  return nullptr;
}

namespace {
const UI_DIALOG* const kDialogRecords[] = {
    &DialogPprManualTray,    &DialogPprPreferenceOfPaperType, &DialogPprCoverSheet,   &DialogPprCoverInsert,
    &DialogPprCoverInsertDFinisher, &DialogPprOhpSheet,       &DialogPprDfnPprDP,     &DialogPprMixStaple,
    &DialogPprUserAddSel,    &DialogPprUserEditSel,           &DialogPprPaperSelect,  &DialogSecurity,
    &DialogSample,           &DialogDelay,                    &DialogKnowledge,       &DialogSelectFinishing,
    &DialogPprMargin,        &DialogPprPosterBooklet,         &DialogStpStampNew,     &DialogStpStampEdit,
    &DialogStpBitmapNew,     &DialogStpBitmapEdit,            &DialogStpHeaderPrint,  &DialogGrpSetup,
    &DialogDtlConfigFont,    &DialogDtlVersion};
}  // namespace

const UI_DIALOG* uiTabDef_FindDialog(LONG dlgNo) {
  if (dlgNo < 0 || dlgNo >= UI_DLG_COUNT) return nullptr;  // the printer sheet's own (-4) share numbers
  for (const UI_DIALOG* d : kDialogRecords)
    if (d->dlgNo == dlgNo) return d;
  return nullptr;
}

void uiSetDialogTitle(HWND window, LONG dlgNo, HCDDD ddd) {
  const UI_DIALOG* d = uiTabDef_FindDialog(dlgNo);
  if (!window || !d) return;
  if (d->titleId != UI_NOSTRING) {
    WCHAR text[129] = {};
    if (resource_LoadString(static_cast<UINT>(d->titleId), text, 129)) SetWindowTextW(window, text);
    return;
  }
  if (d->titleItem == 0 || !ddd) return;
  WORD method = 0, count = 0, status = 0;
  LPCWSTR name = nullptr;
  void* list = nullptr;
  if (cdddGetSelectItemInfo(ddd, static_cast<WORD>(d->titleItem), &method, &count, &name, &list, &status) && name)
    SetWindowTextW(window, name);
  if (list) cdddSelectItemInfoFree(list);
}

// ---- Tab design --------------------------------------------------------------------

WORD local_GetTabDesignType(HCDDD ddd) { return ddd && zanLib_IsPCL6Driver(ddd) > 0 ? 1 : 0; }

namespace {

bool local_IsDspWindow(const UI_WNDINFO* w, WORD deviceType) {
  return w->tab->dlgNo != kFax || deviceType == UI_DEVICE_TYPE_FAX;
}

const UI_WNDINFO* local_uiSwapTab(const UI_WNDINFO* w, HCDDD ddd) {
  switch (w->tab->dlgNo) {
    case kPaper: {
      WORD top = uiCom_GetTopTabType(ddd);
      if (top == kTopTabSummary) return &uiWndInfoPaperFinishingSummary;
      if (top == kTopTabSFP) return &uiWndInfoPaperSFP;
      return w;
    }
    case kGraphics:
      return uiCom_CheckPrinterSupportColor(ddd) == kPrinterMono ? &uiWndInfoGrpMono : w;
    case kInit:
      return uiCom_CheckCapability(ddd, UI_CAP_INIT_JBA) ? &uiWndInfoInitJBA : w;
    case kFax:
      return uiCom_CheckCapability(ddd, UI_CAP_FAX_SIMPLE) ? &uiWndInfoFaxSimple : w;
    default:
      return w;
  }
}

// The kept tabs of the sheet's list (at most UI_MAX_TABS); FALSE for a bad
// kind or too many tabs.
BOOL local_SetWndInfoList(WORD kind, HCDDD ddd, WORD deviceType, const UI_WNDINFO** kept, LONG* count) {
  const WORD design = local_GetTabDesignType(ddd);
  const UI_WNDINFO* const* list = nullptr;
  if (kind == SHEET_KIND_PRINTER)
    list = design ? DefaultTabListPrn_B : DefaultTabListPrn;
  else if (kind == SHEET_KIND_DOCUMENT)
    list = design ? DefaultTabListDoc_B : DefaultTabListDoc;
  else
    return FALSE;
  *count = 0;
  for (; *list; ++list) {
    if (!local_IsDspWindow(*list, deviceType)) continue;
    if (*count >= UI_MAX_TABS) {
      MessageBoxW(nullptr, u"Tab's number is too large.\n", u"local_SetWndInfoList error!", MB_OK);
      return FALSE;
    }
    kept[(*count)++] = *list;
  }
  return TRUE;
}

// The additional tabs of key (document sheet only; none in this build).
LONG local_GetAddTabInfo(WORD kind, WORD design, LONG key, const UI_WNDINFO** out) {
  if (kind != SHEET_KIND_DOCUMENT) return 0;
  LONG n = 0;
  for (const UI_ADDTAB* a = design ? AddTabListDoc_B : AddTabListDoc; a->info; ++a)
    if (a->key == key && a->info->dlgNo == 0) {
      if (out) out[n] = a->info;
      ++n;
    }
  return n;
}

// A tab and its sub-dialogs into the table (when given) at *n.
void uiSetWndInfoTbl(const UI_WNDINFO* w, const UI_WNDINFO** table, LONG* n) {
  if (table) table[*n] = w;
  ++*n;
  for (LONG i = 0; w->tab && i < w->tab->subCount; ++i) {
    if (table) table[*n] = w->tab->subs[i];
    ++*n;
  }
}

// One walk for both the count and the fill.
BOOL Walk(WORD kind, UIROOT* root, WORD deviceType, const UI_WNDINFO** table, LONG* count) {
  HCDDD ddd = root && root->uiData ? root->uiData->ddd : nullptr;
  const UI_WNDINFO* kept[UI_MAX_TABS] = {};
  LONG tabs = 0;
  if (!local_SetWndInfoList(kind, ddd, deviceType, kept, &tabs)) return FALSE;
  const WORD design = local_GetTabDesignType(ddd);
  LONG n = 0;
  auto put = [&](const UI_WNDINFO* w) { uiSetWndInfoTbl(w, table, &n); };
  const UI_WNDINFO* added[UI_MAX_TABS] = {};
  for (LONG t = 0; t < tabs; ++t) {
    const UI_WNDINFO* w = local_uiSwapTab(kept[t], ddd);
    LONG a = local_GetAddTabInfo(kind, design, w->tab->dlgNo, added);
    for (LONG i = 0; i < a; ++i) put(added[i]);
    put(w);
  }
  LONG a = local_GetAddTabInfo(kind, design, UI_ADDTAB_END, added);
  for (LONG i = 0; i < a; ++i) put(added[i]);
  *count = n;
  return TRUE;
}

}  // namespace

const UI_WNDINFO** uiTabDef_AllocWndInfoTbl(HWND, WORD kind, UIROOT* root, LONG* count, LONG, WORD deviceType) {
  if (!count) return nullptr;
  *count = 0;
  LONG n = 0;
  if (!Walk(kind, root, deviceType, nullptr, &n) || n == 0) return nullptr;
  auto* table = static_cast<const UI_WNDINFO**>(kcore_Alloc(sizeof(UI_WNDINFO*) * static_cast<size_t>(n)));
  if (!table) return nullptr;
  *count = n;
  return table;
}

BOOL uiTabDef_MakeWndInfoTbl(HWND, WORD kind, UIROOT* root, const UI_WNDINFO** table, LONG, WORD deviceType) {
  if (!table) return FALSE;
  LONG n = 0;
  return Walk(kind, root, deviceType, table, &n);
}

// ---- Pages -----------------------------------------------------------------------

namespace {
// The number of tabs of the window-info table.
LONG uiMakeTabSheetInfo(const UI_WNDINFO* const* table, LONG count) {
  LONG tabs = 0;
  for (LONG i = 0; i < count; ++i)
    if (table[i]->tab) ++tabs;
  return tabs;
}
// The tabs' title table (count + 1 null-ended string pointers).
LPWSTR* uiData_InitRootTabTitle(LONG tabs) {
  return static_cast<LPWSTR*>(kcore_Alloc(sizeof(LPWSTR) * static_cast<size_t>(tabs + 1)));
}
}  // namespace

PROPSHEETPAGEW* ui_PropSheetInit(const UI_WNDINFO* const* table, UIROOT* root, LONG count, LONG* tabCount) {
  if (!table || !root || !tabCount) return nullptr;
  UI_SHEET* sheet = uiGetSheet(root);
  if (!sheet) return nullptr;
  const LONG tabs = uiMakeTabSheetInfo(table, count);
  *tabCount = 0;
  if (tabs == 0) return nullptr;
  auto* titles = uiData_InitRootTabTitle(tabs);
  if (!titles) return nullptr;
  auto* pages = static_cast<PROPSHEETPAGEW*>(kcore_Alloc(sizeof(PROPSHEETPAGEW) * static_cast<size_t>(tabs)));
  if (!pages) {
    kcore_Free(titles);
    return nullptr;
  }
  sheet->tabTitles = titles;
  HCDDD ddd = root->uiData ? root->uiData->ddd : nullptr;
  LONG t = 0;
  for (LONG i = 0; i < count; ++i) {
    const UI_TABSHEET* tab = table[i]->tab;
    if (!tab) continue;
    PROPSHEETPAGEW& p = pages[t];
    p.dwSize = sizeof(PROPSHEETPAGEW);
    p.dwFlags |= PSP_HASHELP;
    p.pszTemplate = MAKEINTRESOURCEW(tab->templateId);
    p.pfnDlgProc = tab->proc;
    if (tab->titleId != UI_NOSTRING) {
      p.dwFlags |= PSP_USETITLE;
      p.pszTitle = MAKEINTRESOURCEW(tab->titleId);
    } else if (tab->titleItem != 0 && ddd) {
      WORD method = 0, items = 0, status = 0;
      LPCWSTR name = nullptr;
      void* list = nullptr;
      if (cdddGetSelectItemInfo(ddd, static_cast<WORD>(tab->titleItem), &method, &items, &name, &list, &status) &&
          name) {
        LPWSTR copy = kcore_WideDup(name);
        cdddSelectItemInfoFree(list);
        if (!copy) {
          kcore_Free(pages);
          return nullptr;  // the titles made so far go with the sheet
        }
        titles[t] = copy;
        p.dwFlags |= PSP_USETITLE;
        p.pszTitle = copy;
      } else if (list) {
        cdddSelectItemInfoFree(list);
      }
    }
    ++t;
  }
  *tabCount = tabs;
  return pages;
}

// ---- The UI document record -----------------------------------------------------------

UI_DRVUIDOC* uiData_CreateDrvUiDoc(const UI_WNDINFO* const* table, LONG count) {
  if (!table) return nullptr;
  auto* doc = static_cast<UI_DRVUIDOC*>(kcore_Alloc(sizeof(UI_DRVUIDOC)));
  if (!doc) return nullptr;
  for (LONG i = 0; i < count; ++i) {
    const UI_WNDINFO* w = table[i];
    if (!w || w->dlgNo < 0 || w->dlgNo >= UI_DLG_COUNT || !w->controlInfo || doc->controlInfo[w->dlgNo]) continue;
    auto* copy = static_cast<UI_CONTROL_INFO*>(kcore_Alloc(sizeof(UI_CONTROL_INFO)));
    if (!copy) {
      uiData_DestroyDrvUiDoc(doc);
      return nullptr;
    }
    *copy = *w->controlInfo;
    doc->controlInfo[w->dlgNo] = copy;
  }
  return doc;
}

void uiData_DestroyDrvUiDoc(UI_DRVUIDOC* doc) {
  if (!doc) return;
  for (UI_CONTROL_INFO* ci : doc->controlInfo) kcore_Free(ci);
  for (UI_SELENTRY* e = doc->selects; e;) {
    UI_SELENTRY* next = e->next;
    cdmSelectInfoFree(e->info);
    kcore_Free(e);
    e = next;
  }
  kcore_Free(doc);
}

const UI_CONTROL_INFO* uiGetControlInfoByDlgNo(HWND window, LONG dlgNo) {
  if (dlgNo < 0 || dlgNo >= UI_DLG_COUNT) return nullptr;
  UI_DLGDATA* data = uiGetDlgData(window);
  UI_SHEET* sheet = data ? uiGetSheet(data->root) : nullptr;
  if (sheet && sheet->uiDoc && sheet->uiDoc->controlInfo[dlgNo]) return sheet->uiDoc->controlInfo[dlgNo];
  return &uiControlInfoTbl[dlgNo];
}
