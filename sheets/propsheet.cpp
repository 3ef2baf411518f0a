// The common-UI callback of both sheets: INIT builds the tab pages and hands
// them to the host, GET_INFO_HEADER names the sheet, DESTROY frees it all.
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kestrel/ui/docprop.h"
#include "kplatform/kwindows.h"

namespace {

// The root record of a sheet that carries none: FillUiLParam (the document
// sheet from the printer, the input devmode and fMode; the printer sheet
// from the printer alone).
UIROOT* uiSheet_BuildRoot(WORD kind, void* header) {
  if (kind == SHEET_KIND_DOCUMENT) {
    auto* h = static_cast<DOCUMENTPROPERTYHEADER*>(header);
    // The application's settings are the input devmode; the output block is
    // only where the sheet's result goes (its bytes may be anything yet).
    const void* input = h->pdmIn ? h->pdmIn : h->pdmOut;
    return FillUiLParam(h->hPrinter, input, h->fMode);
  }
  auto* h = static_cast<DEVICEPROPERTYHEADER*>(header);
  return FillUiLParam(h->hPrinter, nullptr, 0);
}

HANDLE HeaderPrinter(WORD kind, void* header) {
  return kind == SHEET_KIND_DOCUMENT ? static_cast<DOCUMENTPROPERTYHEADER*>(header)->hPrinter
                                     : static_cast<DEVICEPROPERTYHEADER*>(header)->hPrinter;
}

LONG Fail(UIROOT* root, bool ownsRoot, PROPSHEETUI_INFO* info, LPCWSTR why) {
  Logout_OutputString(u"CommonPropSheetProc INIT failed: %s", why);
  if (ownsRoot) {
    destroyUiLParam(root);
    info->UserData = 0;
  } else {
    uiSheet_Free(root);
  }
  return -1;
}

LONG Init(WORD kind, PROPSHEETUI_INFO* info, void* header, KUI_PAGEPROC pageProc) {
  if (!header || (kind != SHEET_KIND_DOCUMENT && kind != SHEET_KIND_PRINTER)) return -1;
  // 1. The root record.
  auto* root = reinterpret_cast<UIROOT*>(info->UserData);
  const bool ownsRoot = root == nullptr;
  if (!root) root = uiSheet_BuildRoot(kind, header);
  if (!root || !root->uiData) return Fail(nullptr, false, info, u"no UI root record");
  info->UserData = reinterpret_cast<ULONG_PTR>(root);
  auto* sheet = static_cast<UI_SHEET*>(kcore_Alloc(sizeof(UI_SHEET)));
  if (!sheet) return Fail(root, ownsRoot, info, u"out of memory (sheet)");
  root->sheet = sheet;
  root->sheetFree = uiSheet_Free;
  sheet->kind = kind;
  UIDATA* ui = root->uiData;
  HANDLE printer = HeaderPrinter(kind, header);
  // 2. Registry data and the description.
  kui_CheckRegistry(printer, KUI_REGCHECK_SHEET);
  if (!ui->ddd) {
    ui->ddd = cddd_Open(printer);
    if (!ui->ddd) return Fail(root, ownsRoot, info, u"the description cannot be opened");
    sheet->ownsDdd = TRUE;
  }
  sheet->pfnComPropSheet = info->pfnComPropSheet;
  sheet->hComPropSheet = info->hComPropSheet;
  // 3. Permission and flavour.
  if (kind == SHEET_KIND_DOCUMENT) {
    auto* h = static_cast<DOCUMENTPROPERTYHEADER*>(header);
    sheet->fMode = h->fMode;
    sheet->permission = (h->fMode & DM_NOPERMISSION) ? 0 : 1;
    sheet->flavour = (h->fMode & DM_USER_DEFAULT) ? UI_FLAVOUR_DOC_DEFAULT : UI_FLAVOUR_DOC;
    auto* paper = static_cast<PAPDAT*>(kcore_Alloc(sizeof(PAPDAT)));
    if (!paper) return Fail(root, ownsRoot, info, u"out of memory (paper data)");
    ui->paperData = paper;
    if (!PapDat_init(printer, paper, root->printerData)) return Fail(root, ownsRoot, info, u"paper data");
  } else {
    auto* h = static_cast<DEVICEPROPERTYHEADER*>(header);
    sheet->flavour = UI_FLAVOUR_PRINTER;
    sheet->permission = (h->Flags & DPS_NOPERMISSION) ? 0 : 1;
  }
  // 4. Capabilities, unit, flags.
  zanLib_GetDDDCapabilities(ui->ddd, &sheet->caps);
  sheet->defaultUnit = UIWINDATA_UNIT_MM;
  sheet->allConstChecked = 0;
  sheet->altAccount = 0;
  ui->winData.cbSize = sizeof(UIWINDATA);
  ui->winData.printer = ui->printer;
  ui->winData.ddd = ui->ddd;
  ui->winData.devmode = root->devmode;
  ui->winData.printerData = root->printerData;
  ui->winData.paperUnit = sheet->defaultUnit;
  // 5. Device type.
  sheet->deviceType = zanLib_GetDeviceType(ui->ddd);
  sheet->design = local_GetTabDesignType(ui->ddd);
  // 6. The window-info table and the pages.
  LONG count = 0;
  const UI_WNDINFO** table = uiTabDef_AllocWndInfoTbl(nullptr, kind, root, &count, 0, sheet->deviceType);
  if (!table) return Fail(root, ownsRoot, info, u"window-info table");
  if (!uiTabDef_MakeWndInfoTbl(nullptr, kind, root, table, 0, sheet->deviceType)) {
    kcore_Free(table);
    return Fail(root, ownsRoot, info, u"window-info table");
  }
  LONG tabs = 0;
  PROPSHEETPAGEW* pages = ui_PropSheetInit(table, root, count, &tabs);
  if (!pages) {
    kcore_Free(table);
    return Fail(root, ownsRoot, info, u"tab pages");
  }
  // 7. Create and add each page.
  bool added = true;
  sheet->pages = static_cast<HPROPSHEETPAGE*>(kcore_Alloc(sizeof(HPROPSHEETPAGE) * static_cast<size_t>(tabs)));
  if (!sheet->pages) added = false;
  for (LONG t = 0; added && t < tabs; ++t) {
    PROPSHEETPAGEW& p = pages[t];
    p.dwSize = sizeof(PROPSHEETPAGEW);
    p.dwFlags |= PSP_USECALLBACK;
    p.hInstance = resource_get_hInstance();
    p.lParam = reinterpret_cast<LPARAM>(root);
    p.pfnCallback = uiPropSheetPageCallback;
    (void)pageProc;  // the export's page callback answers 1 for every message, as ours does
    HPROPSHEETPAGE page = CreatePropertySheetPageW(&p);
    if (!page) {
      added = false;
      break;
    }
    if (!sheet->pfnComPropSheet ||
        !sheet->pfnComPropSheet(sheet->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(page), 0)) {
      // The host did not take the page: it is ours to destroy.
      DestroyPropertySheetPage(page);
      added = false;
      break;
    }
    sheet->pages[t] = page;
  }
  // 8. Free the work arrays; the UI document record.
  kcore_Free(sheet->pages);
  sheet->pages = nullptr;
  kcore_Free(pages);
  if (added) sheet->uiDoc = uiData_CreateDrvUiDoc(table, count);
  kcore_Free(table);
  if (!added) return Fail(root, ownsRoot, info, u"a page was not added");
  if (!sheet->uiDoc) return Fail(root, ownsRoot, info, u"UI document record");
  return 1;
}

}  // namespace

UI_SHEET* uiGetSheet(const UIROOT* root) { return root ? static_cast<UI_SHEET*>(root->sheet) : nullptr; }

void uiSheet_Free(UIROOT* root) {
  UI_SHEET* sheet = uiGetSheet(root);
  if (!sheet) return;
  UIDATA* ui = root->uiData;
  if (ui && ui->paperData) {
    PapDat_free(static_cast<PAPDAT*>(ui->paperData));
    kcore_Free(ui->paperData);
    ui->paperData = nullptr;
  }
  uiData_DestroyDrvUiDoc(sheet->uiDoc);
  if (sheet->tabTitles)
    for (LPWSTR* t = sheet->tabTitles; *t; ++t) kcore_Free(*t);
  kcore_Free(sheet->tabTitles);
  kcore_Free(sheet->dimOut);
  kcore_Free(sheet->pages);
  if (sheet->ownsDdd && ui && ui->ddd) {
    cddd_Close(ui->ddd);
    ui->ddd = nullptr;
  }
  kcore_Free(sheet);
  root->sheet = nullptr;
  root->sheetFree = nullptr;
}

UINT CALLBACK uiPropSheetPageCallback(HWND, UINT, PROPSHEETPAGEW*) { return 1; }

LONG CommonPropSheetProc(WORD kind, PROPSHEETUI_INFO* info, LPARAM lParam, void* header, KUI_PAGEPROC pageProc) {
  if (!info) return -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return Init(kind, info, header, pageProc);
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto* h = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
      auto* root = reinterpret_cast<UIROOT*>(info->UserData);
      if (!h || !root || !root->uiData) return -1;
      h->Flags = UI_HEADER_FLAGS;
      h->hInst = resource_get_hInstance();
      h->IconID = UI_HEADER_ICON;
      h->pTitle = root->uiData->printerName;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      destroyUiLParam(reinterpret_cast<UIROOT*>(info->UserData));
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT:
      return 0;  // the export saves
    default:
      return -1;
  }
}
