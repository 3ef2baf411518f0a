// Model A's sheets through the property-sheet host as a user meets them:
// INIT and its failures, the header, a paper size chosen and copies typed
// on the Paper page, OK and Cancel, the printer sheet, and the templates the
// control tables name.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "docprop_fixture.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/comctl32_prsht.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/user32_actions.h"
#include "kplatform/user32_dialog.h"

extern "C" LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
extern "C" LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
extern "C" LONG DrvDocumentProperties(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
extern "C" BOOL PrinterProperties(HWND, HANDLE);

namespace kestrel::test::ui {
namespace {

// A host playing compstui inside the test: it keeps the pages it is given
// and destroys them at the end.
struct FakeHost {
  std::vector<HPROPSHEETPAGE> pages;
  DWORD failAt = 0;  // the n-th add answers 0
  static LONG_PTR WINAPI Add(HANDLE host, UINT function, LPARAM page, LPARAM) {
    auto* self = static_cast<FakeHost*>(host);
    if (function != CPSFUNC_ADD_HPROPSHEETPAGE || !page) return 0;
    if (self->failAt && self->pages.size() + 1 == self->failAt) return 0;
    self->pages.push_back(reinterpret_cast<HPROPSHEETPAGE>(page));
    return static_cast<LONG_PTR>(self->pages.size());
  }
  ~FakeHost() {
    for (HPROPSHEETPAGE p : pages) DestroyPropertySheetPage(p);
  }
};

class DocSheetTest : public DocPropTest {
 protected:
  void SetUp() override {
    DocPropTest::SetUp();
    ASSERT_TRUE(KpInstallModule("libcompstui.so", nullptr));
    KpClearDialogs();
  }
  void TearDown() override {
    KpClearDialogs();
    DocPropTest::TearDown();
  }
  // The combo position of a paper of model A's paper list.
  int PaperIndex(WORD paper) {
    CDM_SELECT_INFO* si = cdmCreateSelectItemInfo(queue_.ddd, printer_, DDM_PAPERSIZE, nullptr, nullptr, nullptr,
                                                  nullptr);
    int at = -1;
    for (LONG i = 0; si && i < cdmGetSelectItemNum(si) && at < 0; ++i)
      if (cdmGetSelectItemDevData(si, i)->value == paper) at = static_cast<int>(i);
    cdmSelectInfoFree(si);
    return at;
  }
  // INIT of the document sheet with the fake host.
  LONG Init(PROPSHEETUI_INFO* info, FakeHost* host, DOCUMENTPROPERTYHEADER* header) {
    info->cbSize = sizeof *info;
    info->Reason = PROPSHEETUI_REASON_INIT;
    info->hComPropSheet = host;
    info->pfnComPropSheet = FakeHost::Add;
    info->lParamInit = reinterpret_cast<LPARAM>(header);
    return DrvDocumentPropertySheets(info, reinterpret_cast<LPARAM>(header));
  }
  void Destroy(PROPSHEETUI_INFO* info) {
    info->Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(DrvDocumentPropertySheets(info, 1), 1);
    EXPECT_EQ(info->UserData, 0u);
  }
};

TEST_F(DocSheetTest, InitAddsOnePageATabAndTheHeaderNamesThePrinter) {
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  auto h = Header(out.data(), nullptr, DM_COPY | DM_PROMPT);
  PROPSHEETUI_INFO info{};
  {
    FakeHost host;
    ASSERT_EQ(Init(&info, &host, &h), 1);
    EXPECT_EQ(host.pages.size(), 6u);  // model A: Paper, Graphics, Output, Stamp, Detail, Fax
    ASSERT_NE(info.UserData, 0u);
    PROPSHEETUI_INFO_HEADER header{};
    header.cbSize = sizeof header;
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    EXPECT_EQ(DrvDocumentPropertySheets(&info, reinterpret_cast<LPARAM>(&header)), 1);
    EXPECT_EQ(header.Flags, 6);
    EXPECT_EQ(header.IconID, 64082u);
    ASSERT_NE(header.pTitle, nullptr);
    EXPECT_EQ(std::u16string(header.pTitle), kPrinter);
    Destroy(&info);
  }
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

TEST_F(DocSheetTest, AFailedAddOrAllocationFailsInitWithNothingLeft) {
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  auto h = Header(out.data(), nullptr, DM_COPY | DM_PROMPT);
  {
    FakeHost host;
    host.failAt = 2;
    PROPSHEETUI_INFO info{};
    EXPECT_EQ(Init(&info, &host, &h), -1);
    EXPECT_EQ(info.UserData, 0u);
    EXPECT_EQ(host.pages.size(), 1u);
    Destroy(&info);  // a later DESTROY finds nothing to free twice
  }
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
  // Every allocation of INIT failing in turn: -1 or (an allocation whose
  // failure INIT survives) 1, never a leak (the sanitizer build checks).
  int failed = 0;
  for (DWORD nth = 1; nth < 4000; ++nth) {
    FakeHost host;
    PROPSHEETUI_INFO info{};
    KpFailAllocation(nth);
    LONG r = Init(&info, &host, &h);
    KpFailAllocation(0);
    ASSERT_TRUE(r == 1 || r == -1) << nth;
    if (r == -1) {
      ++failed;
      EXPECT_EQ(info.UserData, 0u) << nth;
    }
    Destroy(&info);
    if (r == 1 && failed > 0 && nth > 50) break;
  }
  EXPECT_GT(failed, 0);
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

TEST_F(DocSheetTest, PaperAndCopiesChosenAsAUserWouldReachTheDevmodeOnOK) {
  const int a3 = PaperIndex(DMPAPER_A3);
  ASSERT_GE(a3, 0);
  struct Case {
    const char* what;
    int finish;  // KP_UI_OK or KP_UI_CANCEL
    LONG result;
  };
  const Case cases[] = {{"OK", KP_UI_OK, IDOK}, {"Cancel", KP_UI_CANCEL, IDCANCEL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const KP_UI_ACTION script[] = {
        {KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, a3, nullptr, nullptr, nullptr},
        {KP_UI_SELECT_ALL, IDC_PPR_COPIES, 0, nullptr, nullptr, nullptr},
        {KP_UI_TYPE, IDC_PPR_COPIES, 0, u"3", nullptr, nullptr},
        {c.finish, 0, 0, nullptr, nullptr, nullptr},
    };
    KpScriptDialog(KP_SCRIPT_SHEET, script, 4);
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, 0xCC);
    EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY | DM_PROMPT),
              c.result);
    if (c.finish == KP_UI_OK) {
      EXPECT_EQ(Number(DDM_PAPERSIZE, out.data()), DMPAPER_A3);
      EXPECT_EQ(Number(DDM_COPIES, out.data()), 3);
    } else {
      EXPECT_EQ(out[0], 0xCC);
    }
  }
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

// What the printer sheet's page says about its permission (a script's call).
void ReadPermission(HWND sheet, void* out) {
  UI_DLGDATA* data = uiGetDlgData(KpSheetCurrentPage(sheet));
  UI_SHEET* s = data ? uiGetSheet(data->root) : nullptr;
  *static_cast<int*>(out) = s ? s->permission : -1;
}

TEST_F(DocSheetTest, PrinterSheetOpensWithAndWithoutPermission) {
  for (bool permission : {true, false}) {
    SCOPED_TRACE(permission);
    int seen = -1;
    const KP_UI_ACTION script[] = {{KP_UI_CALL, 0, 0, nullptr, ReadPermission, &seen},
                                   {KP_UI_OK, 0, 0, nullptr, nullptr, nullptr}};
    KpScriptDialog(KP_SCRIPT_SHEET, script, 2);
    KpCompstuiReset();
    if (!permission) KpSpoolerFailPrinterData(0, 1, 1000, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(PrinterProperties(nullptr, printer_));
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    EXPECT_EQ(seen, permission ? 1 : 0);
    KP_COMPSTUI_CALL calls[8];
    ASSERT_GE(KpCompstuiCalls(calls, 8), 1u);
    EXPECT_EQ(calls[0].answer, 1);  // INIT
  }
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

TEST_F(DocSheetTest, EveryTemplateLoadsWithTheControlsItsRowsName) {
  struct Use {
    LONG templateId;
    LONG dlgNo;
  };
  std::vector<Use> uses;
  for (const UI_WNDINFO* const* list : {DefaultTabListDebug_B})
    for (; *list; ++list) {
      uses.push_back({(*list)->tab->templateId, (*list)->dlgNo});
    }
  // The variants of a tab share its rows: a row's control is in one of the
  // tab's templates at least (a row whose control a variant lacks is left
  // alone by its handler).
  for (const UI_WNDINFO* w : {&uiWndInfoPaperFinishingSummary, &uiWndInfoPaperSFP, &uiWndInfoGrpMono,
                              &uiWndInfoFaxSimple, &uiWndInfoOptionFax})
    uses.push_back({w->tab->templateId, w->dlgNo});
  uses.push_back({uiWndInfoInitJBA.tab->templateId, uiWndInfoInitJBA.dlgNo});
  for (const UI_DIALOG* d :
       {&DialogPprManualTray, &DialogPprPreferenceOfPaperType, &DialogPprCoverSheet, &DialogPprCoverInsert,
        &DialogPprCoverInsertDFinisher, &DialogPprOhpSheet, &DialogPprDfnPprDP, &DialogPprMixStaple,
        &DialogPprUserAddSel, &DialogPprUserEditSel, &DialogPprPaperSelect, &DialogSecurity, &DialogSample,
        &DialogDelay, &DialogKnowledge, &DialogSelectFinishing, &DialogPprMargin, &DialogPprPosterBooklet,
        &DialogStpStampNew, &DialogStpStampEdit, &DialogStpBitmapNew, &DialogStpBitmapEdit, &DialogStpHeaderPrint,
        &DialogGrpSetup, &DialogDtlConfigFont, &DialogDtlVersion, &DialogIntSubFont, &DialogIntUserDefine,
        &DialogIntJBADetail}) {
    uses.push_back({d->templateId, d->dlgNo});
    if (d->secondTemplate) uses.push_back({d->secondTemplate, -1});
  }
  HINSTANCE module = resource_get_hInstance();
  ASSERT_NE(module, nullptr);
  std::map<LONG, std::set<LONG>> found;  // dialog number: the control ids of its templates
  for (const Use& u : uses) {
    SCOPED_TRACE(u.templateId);
    HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(u.templateId), nullptr,
                                     [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dialog, nullptr);
    if (u.dlgNo >= 0) {
      const UI_CONTROL_INFO& ci = uiControlInfoTbl[u.dlgNo];
      for (LONG i = 0; i < ci.rows; ++i)
        if (GetDlgItem(dialog, ci.table[i].controlId)) found[u.dlgNo].insert(ci.table[i].controlId);
    }
    DestroyWindow(dialog);
  }
  for (const auto& [dlgNo, ids] : found) {
    const UI_CONTROL_INFO& ci = uiControlInfoTbl[dlgNo];
    for (LONG i = 0; i < ci.rows; ++i) {
      if (ci.table[i].controlId == UI_CTLID_SELF) continue;
      EXPECT_TRUE(ids.count(ci.table[i].controlId)) << "dialog " << dlgNo << " row control " << ci.table[i].controlId;
    }
  }
}

}  // namespace
}  // namespace kestrel::test::ui
