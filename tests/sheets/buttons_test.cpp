// The push buttons: sub-dialogs and nested sheets keep the page's settings
// unless OK, the nested sheet's results, folder tokens, file choices checked
// against their limits, documents and defaults.
#include "kplatform/kernel32_file.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_shell.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

constexpr LONG N = UI_NOSTRING;
const UI_DSPINFO kCopies[] = {{DDM_COPIES, 3}};
const UI_DSPINFO kCollate[] = {{DDM_COLLATE, 3}};
const UI_EDITRULE kCopiesRule = {UI_EDIT_NUMBER, 4, nullptr, UI_CHECK_KILLACTIVE};
const UI_DIALOG* const kCoverDialogs[] = {&DialogPprCoverSheet};
const UI_DIALOGLIST kCoverList = {0, 0, N, IDD_COVERSHEET, 1, kCoverDialogs};
const UI_BUTTON kCover = {4, &kCoverList};
const UI_DIALOG kMarginSecond = {IDD_MARGIN_2, uiDlgMargin, 14, N, 0, 0};
const UI_DIALOG* const kMarginDialogs[] = {&DialogPprMargin, &kMarginSecond};
const UI_DIALOGLIST kMarginList = {0, 0, N, IDD_MARGIN, 2, kMarginDialogs};
const UI_BUTTON kMargin = {5, &kMarginList};
const UI_BUTTON kDefaults = {3, nullptr};
const WORD kCopiesOnly[] = {DDM_COPIES, 0};
const UI_DEFAULTLIST kLimitedDefaults = {{3, nullptr}, kCopiesOnly};

const UI_IDTBL kRows[] = {
    {IDC_PPR_COPIES, 1, kCopies, UI_CT_EDIT, nullptr, &kCopiesRule, N, N, nullptr},
    {IDC_PPR_COLLATE, 1, kCollate, UI_CT_CHECK, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COVERSHEET, 0, nullptr, UI_CT_BUTTON, nullptr, &kCover, N, N, nullptr},
    {IDC_PPR_OHP, 0, nullptr, UI_CT_BUTTON, nullptr, &kMargin, N, N, nullptr},
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, nullptr, &kDefaults, N, N, nullptr},
    {IDC_PPR_USERDEFINE, 0, nullptr, UI_CT_BUTTON, uiButtonDefault_NoPermission, &kLimitedDefaults, N, N, nullptr},
};

// The settings a script changes in a sub-dialog or a nested sheet's page.
void SetCopiesInside(HWND window, void*) {
  HWND page = KpSheetCurrentPage(window);
  UI_DLGDATA* data = uiGetDlgData(page ? page : window);
  ASSERT_NE(data, nullptr);
  ASSERT_NE(data->root->parent, nullptr);  // the copy, not the page's record
  ASSERT_TRUE(ddm_SetNumber(DDM_COPIES, data->root->devmode, data->root->printerData, 7));
}

class ButtonTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    SetNum(DDM_COPIES, 1);
    SetNum(DDM_COLLATE, 1);
    Rows(1, kRows, sizeof kRows / sizeof kRows[0]);
    KpClearShellCalls();
  }
};

TEST_F(ButtonTest, SubDialogsAndNestedSheetsChangeThePageOnlyOnOK) {
  Open(IDD_PAPER);
  struct Case {
    const char* what;
    int button;
    DWORD script;  // template id or KP_SCRIPT_SHEET
    int finish;
    LONG copies;
  };
  const Case cases[] = {
      {"dialog, Cancel", IDC_PPR_COVERSHEET, IDD_COVERSHEET, KP_UI_CANCEL, 1},
      {"sheet, Cancel", IDC_PPR_OHP, KP_SCRIPT_SHEET, KP_UI_CANCEL, 1},
      {"dialog, OK", IDC_PPR_COVERSHEET, IDD_COVERSHEET, KP_UI_OK, 7},
      {"sheet, OK", IDC_PPR_OHP, KP_SCRIPT_SHEET, KP_UI_OK, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetNum(DDM_COPIES, 1);
    Notify(PSN_SETACTIVE);
    std::vector<BYTE> before = Devmode();
    const KP_UI_ACTION script[] = {{KP_UI_CALL, 0, 0, nullptr, SetCopiesInside, nullptr},
                                   {c.finish, 0, 0, nullptr, nullptr, nullptr}};
    KpScriptDialog(c.script, script, 2);
    ASSERT_TRUE(Act(KP_UI_CLICK, c.button));
    EXPECT_EQ(Num(DDM_COPIES), c.copies);
    if (c.copies == 1) {
      EXPECT_EQ(Devmode(), before);
    }
    EXPECT_EQ(Text(IDC_PPR_COPIES), c.copies == 1 ? u"1" : u"7");
    EXPECT_EQ(GetFocus(), Item(c.button));
  }
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

TEST_F(ButtonTest, NestedSheetResults) {
  Open(IDD_PAPER);
  UI_MSGINFO m = Msg();
  UIROOT* copy = uiLParamCopyForChild(uiRoot_);
  ASSERT_NE(copy, nullptr);
  const KP_UI_ACTION ok[] = {{KP_UI_OK, 0, 0, nullptr, nullptr, nullptr}};
  const KP_UI_ACTION cancel[] = {{KP_UI_CANCEL, 0, 0, nullptr, nullptr, nullptr}};
  KpScriptDialog(KP_SCRIPT_SHEET, ok, 1);
  EXPECT_EQ(uiButtonMakeTabSheet(&m, &kMarginList, copy), 1);
  KpScriptDialog(KP_SCRIPT_SHEET, cancel, 1);
  EXPECT_EQ(uiButtonMakeTabSheet(&m, &kMarginList, copy), 2);
  EXPECT_EQ(uiButtonMakeTabSheet(&m, &kMarginList, copy), -1);  // no script: the sheet fails
  uiLParamFreeChild(copy);
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

TEST_F(ButtonTest, FolderTokens) {
  WCHAR system[MAX_PATH] = {}, windows[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::u16string sys = system, win = windows;
  struct Case {
    const char16_t* text;
    bool ok;
    std::u16string out;
  } const cases[] = {
      {u"%SYSTEM%\\x", true, sys + u"\\x"},
      {u"%ICM%", true, win},
      {u"%DRIVER%", true, sys + u"\\Spool\\Drivers\\w32x86\\2"},
      {u"C:\\plain", true, u"C:\\plain"},
      {u"%TEMP%\\x", false, u""},
      {u"C:\\%%\\x", false, u""},
      {u"%SYSTEM", false, u""},
  };
  for (const Case& c : cases) {
    WCHAR out[MAX_PATH] = {};
    EXPECT_EQ(uiButtonParseDirString(c.text, out, MAX_PATH) != 0, c.ok) << static_cast<int>(&c - cases);
    if (c.ok) {
      EXPECT_EQ(std::u16string(out), c.out);
    }
  }
}

TEST_F(ButtonTest, AFileChoiceTooLongIsRefusedAndTheDialogComesAgain) {
  static const UI_FILEDLG kFile = {0, DDM_FAX_TEMP_FILE, 0, N, N, N, N, N, 0, 0x04, 0, 8, 0};
  static const UI_BUTTON kOpen = {8, &kFile};
  static const UI_IDTBL rows[] = {{IDC_STB_BROWSE, 0, nullptr, UI_CT_BUTTON, nullptr, &kOpen, N, N, nullptr}};
  Rows(50, rows, 1);
  Open(IDD_STAMP_BITMAP, 50);
  KpQueueFileDialogAnswer(u"C:\\forms\\waytoolong.bmp");
  KpQueueFileDialogAnswer(u"C:\\forms\\logo.bmp");
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_STB_BROWSE));
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  EXPECT_NE(std::u16string(box.text).find(u"8"), std::u16string::npos);
  KP_SHELL_CALL calls[4];
  EXPECT_EQ(KpShellCalls(calls, 4), 2u);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  ASSERT_EQ(ddm_GetValue(DDM_FAX_TEMP_FILE, uiRoot_->devmode, uiRoot_->printerData, &type, &size, &v), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<LPCWSTR>(v)), u"C:\\forms\\logo.bmp");
}

TEST_F(ButtonTest, ADocumentOfThePrinterInformation) {
  static const LONG kFromData = UI_NOSTRING;
  static const UI_BUTTON kDocument = {10, &kFromData};
  static const UI_IDTBL rows[] = {{IDC_PPR_COVERSHEET, 0, nullptr, UI_CT_BUTTON, nullptr, &kDocument, N, N, nullptr}};
  Rows(1, rows, 1);
  Open(IDD_PAPER);
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_PPR_COVERSHEET));
  KP_SHELL_CALL calls[2];
  ASSERT_EQ(KpShellCalls(calls, 2), 1u);
  EXPECT_EQ(calls[0].kind, 3u);
  EXPECT_EQ(std::u16string(calls[0].text[0]), u"open");
  EXPECT_EQ(std::u16string(calls[0].text[1]), u"Logo");  // model A's item 29
  EXPECT_EQ(calls[0].number, static_cast<DWORD>(SW_SHOW));
}

TEST_F(ButtonTest, DefaultsWithAndWithoutPermission) {
  struct Case {
    WORD permission;
    int button;
    LONG collate;  // the full defaults also reset collate
  } const cases[] = {{1, IDC_DEFAULT, 1}, {0, IDC_PPR_USERDEFINE, 0}, {1, IDC_PPR_USERDEFINE, 1}};
  LONG defaultCopies = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.permission);
    Sheet()->permission = c.permission;
    SetNum(DDM_COPIES, 5);
    SetNum(DDM_COLLATE, 0);
    Open(IDD_PAPER);
    ASSERT_TRUE(Act(KP_UI_CLICK, c.button));
    EXPECT_EQ(Num(DDM_COPIES), defaultCopies);
    EXPECT_EQ(Num(DDM_COLLATE), c.collate);
    EXPECT_EQ(Text(IDC_PPR_COPIES), u"1");
  }
}

// What a script sees of a nested sheet: the dialog numbers of its pages,
// the start page's first.
std::vector<LONG> g_pages;
void ListPages(HWND sheet, void*) {
  g_pages.clear();
  UI_DLGDATA* start = uiGetDlgData(KpSheetCurrentPage(sheet));
  ASSERT_NE(start, nullptr);
  g_pages.push_back(start->dlgNo);
  for (WPARAM i = 0; SendMessageW(sheet, PSM_SETCURSEL, i, 0); ++i) {
    UI_DLGDATA* d = uiGetDlgData(KpSheetCurrentPage(sheet));
    ASSERT_NE(d, nullptr);
    g_pages.push_back(d->dlgNo);
  }
}

TEST_F(ButtonTest, ThePrintAreaPageIsLeftOutUnderItsCapability) {
  // A nested sheet of the margin page and the print-area page (dialog 39),
  // starting at the print area.
  static const UI_DIALOG kPrintArea = {IDD_MARGIN_2, uiDlgPrintArea, 39, N, 0, 0};
  static const UI_DIALOG* const dialogs[] = {&DialogPprMargin, &kPrintArea};
  static const UI_DIALOGLIST list = {0, 0, N, IDD_MARGIN_2, 2, dialogs};
  std::string bytes = ReadHostFile(root_.host(std::string(kDriverDir) + "K350.DDD"));
  PatchPrinterInfo(&bytes, {2, 0, 3, 0x04070000, 1u << 19});  // capability -65485
  WriteHostFile(root_.host(std::string(kDriverDir) + "KAREA.DDD"), bytes);
  HCDDD capable = cddd_OpenDataFile(DriverFile(u"KAREA.DDD").c_str());
  ASSERT_NE(capable, nullptr);
  HCDDD own = uiRoot_->uiData->ddd;
  struct Case {
    const char* what;
    HCDDD ddd;
    std::vector<LONG> pages;  // the start page, then every page in order
  } const cases[] = {
      {"model A", own, {39, 14, 39}},
      {"-65485", capable, {14, 14}},
  };
  Open(IDD_PAPER);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uiRoot_->uiData->ddd = c.ddd;
    UI_MSGINFO m = Msg();
    UIROOT* copy = uiLParamCopyForChild(uiRoot_);
    ASSERT_NE(copy, nullptr);
    const KP_UI_ACTION script[] = {{KP_UI_CALL, 0, 0, nullptr, ListPages, nullptr},
                                   {KP_UI_OK, 0, 0, nullptr, nullptr, nullptr}};
    KpScriptDialog(KP_SCRIPT_SHEET, script, 2);
    EXPECT_EQ(uiButtonMakeTabSheet(&m, &list, copy), 1);
    EXPECT_EQ(g_pages, c.pages);
    uiLParamFreeChild(copy);
    GlobalFree(m.changed);
  }
  uiRoot_->uiData->ddd = own;
  cddd_Close(capable);
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
}

// The caption a modal sub-dialog shows.
std::u16string g_caption;
void ReadCaption(HWND window, void*) {
  WCHAR text[128] = {};
  GetWindowTextW(window, text, 128);
  g_caption = text;
}

TEST_F(ButtonTest, SubDialogsAreTitledByTheirRecords) {
  struct Case {
    const UI_DIALOG* dialog;
    LONG templateId;
    const char16_t* caption;
  } const cases[] = {
      {&DialogPprMixStaple, IDD_MIXSTAPLE, u"Mixed Size Stapling"},  // select item 36868
      {&DialogPprPosterBooklet, IDD_POSTERBOOKLET, u"Poster and Booklet"},  // select item 36891
      {&DialogStpStampNew, IDD_STAMP_EDIT, u"New Stamp"},            // string 423
      {&DialogStpStampEdit, IDD_STAMP_EDIT, u"Edit Stamp"},          // string 424, the same template
      {&DialogPprCoverSheet, IDD_COVERSHEET, nullptr},               // the template's own
  };
  Open(IDD_PAPER);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.templateId);
    const UI_DIALOG* dialogs[] = {c.dialog};
    const UI_DIALOGLIST list = {0, 0, N, c.templateId, 1, dialogs};
    const KP_UI_ACTION script[] = {{KP_UI_CALL, 0, 0, nullptr, ReadCaption, nullptr},
                                   {KP_UI_CANCEL, 0, 0, nullptr, nullptr, nullptr}};
    KpScriptDialog(static_cast<DWORD>(c.templateId), script, 2);
    g_caption.clear();
    UI_MSGINFO m = Msg();
    UIROOT* copy = uiLParamCopyForChild(uiRoot_);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(uiButtonMakeDialog(&m, &list, copy), 2);
    uiLParamFreeChild(copy);
    GlobalFree(m.changed);
    if (c.caption) {
      EXPECT_EQ(g_caption, c.caption);
    } else {
      EXPECT_FALSE(g_caption.empty());
    }
  }
}

}  // namespace
}  // namespace kestrel::test::ui
