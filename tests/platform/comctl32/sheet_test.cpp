// Property sheets of the window stand-in: pages made at their first
// activation with the sheet's copy of their record, the notifications of
// switching, OK and Cancel with DWLP_MSGRESULT as the pages' answer, the
// sheet's results, PSM_CHANGED recorded, and the common property-sheet host
// running the pages a driver adds.
#include <kplatform/compstui.h>

#include <map>

#include "ui_fixture.h"

namespace {

using namespace kestrel::test;

std::map<std::string, LONG_PTR>& PageAnswers() {
  static std::map<std::string, LONG_PTR> answers;
  return answers;
}
bool g_onlyReturnTrue = false;

// Logs "<page> INIT <lParam>" and "<page> <code>" (the page: its record's
// lParam); answers a notification from PageAnswers["<page> <code>"], through
// DWLP_MSGRESULT, or (g_onlyReturnTrue) by returning TRUE alone.
INT_PTR PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    SetWindowLongPtrW(page, DWLP_USER, record->lParam);
    UiLog().push_back(std::to_string(record->lParam) + " INIT");
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  const auto* n = reinterpret_cast<const PSHNOTIFY*>(lParam);
  const std::string key = std::to_string(GetWindowLongPtrW(page, DWLP_USER)) + " " +
                          std::to_string(static_cast<int>(n->hdr.code));
  UiLog().push_back(key);
  if (g_onlyReturnTrue) return TRUE;
  const LONG_PTR answer = PageAnswers()[key];
  SetWindowLongPtrW(page, DWLP_MSGRESULT, answer);
  return TRUE;
}

std::vector<std::string> g_callbacks;
UINT PageCallback(HWND, UINT message, PROPSHEETPAGEW* page) {
  g_callbacks.push_back(std::to_string(page->lParam) + " " + std::to_string(message));
  return 1;
}

class Sheets : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    PageAnswers().clear();
    g_onlyReturnTrue = false;
    g_callbacks.clear();
  }
  PROPSHEETPAGEW Page(WORD templateId, LPARAM lParam) {
    PROPSHEETPAGEW p{};
    p.dwSize = sizeof p;
    p.dwFlags = PSP_USECALLBACK;
    p.hInstance = module_;
    p.pszTemplate = MAKEINTRESOURCEW(templateId);
    p.pfnDlgProc = PageProc;
    p.lParam = lParam;
    p.pfnCallback = PageCallback;
    return p;
  }
  INT_PTR Run(std::vector<KP_UI_ACTION> script, bool scripted = true) {
    if (scripted) KpScriptDialog(KP_SCRIPT_SHEET, script.data(), static_cast<DWORD>(script.size()));
    PROPSHEETPAGEW pages[2] = {Page(kPageA, 1), Page(kPageB, 2)};
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    h.nPages = 2;
    h.ppsp = pages;
    h.pszCaption = u"Sheet";
    return PropertySheetW(&h);
  }
};

void NoteCurrentPage(HWND sheet, void*) {
  UiLog().push_back("current " + std::to_string(GetWindowLongPtrW(KpSheetCurrentPage(sheet), DWLP_USER)));
}

KP_UI_ACTION Note() {
  KP_UI_ACTION a = Act(KP_UI_CALL);
  a.call = NoteCurrentPage;
  return a;
}

struct SheetCase {
  const char* name;
  std::function<void()> before;
  std::vector<KP_UI_ACTION> script;
  INT_PTR result;
  std::vector<std::string> heard;
};

TEST_F(Sheets, PagesAreMadeLazilyAndAnswerThroughTheirMessageResult) {
  const int kSet = -200, kKill = -201, kApply = -202, kReset = -203, kQuery = -209;
  auto n = [](int page, int code) { return std::to_string(page) + " " + std::to_string(code); };
  const SheetCase cases[] = {
      {"OK on the start page: page 2 is never made", [] {}, {Act(KP_UI_OK)}, 1,
       {"1 INIT", n(1, kSet), n(1, kKill), n(1, kApply)}},
      {"a switch makes page 2, OK applies to both made pages", [] {},
       {Act(KP_UI_SWITCH_PAGE, 0, 1), Note(), Act(KP_UI_OK)}, 1,
       {"1 INIT", n(1, kSet), n(1, kKill), "2 INIT", n(2, kSet), "current 2", n(2, kKill), n(1, kApply),
        n(2, kApply)}},
      {"DWLP_MSGRESULT TRUE at PSN_KILLACTIVE keeps the page",
       [] { PageAnswers()[std::to_string(1) + " -201"] = TRUE; },
       {Act(KP_UI_SWITCH_PAGE, 0, 1), Note(), Act(KP_UI_CANCEL)}, 0,
       {"1 INIT", n(1, kSet), n(1, kKill), "current 1", n(1, kQuery), n(1, kReset)}},
      {"a page only returning TRUE does not keep it", [] { g_onlyReturnTrue = true; },
       {Act(KP_UI_SWITCH_PAGE, 0, 1), Note(), Act(KP_UI_CANCEL)}, 0,
       {"1 INIT", n(1, kSet), n(1, kKill), "2 INIT", n(2, kSet), "current 2", n(2, kQuery), n(1, kReset),
        n(2, kReset)}},
      {"PSN_QUERYCANCEL refused, the script ends: closed as cancelled",
       [] { PageAnswers()[std::to_string(1) + " -209"] = TRUE; }, {Act(KP_UI_CANCEL)}, 0,
       {"1 INIT", n(1, kSet), n(1, kQuery), n(1, kQuery), n(1, kReset)}},
      {"a refused apply keeps the sheet open until the script ends",
       [] { PageAnswers()[std::to_string(1) + " -202"] = PSNRET_INVALID_NOCHANGEPAGE; }, {Act(KP_UI_OK)}, 0,
       {"1 INIT", n(1, kSet), n(1, kKill), n(1, kApply), n(1, kQuery), n(1, kReset)}},
  };
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetUiLog();
    PageAnswers().clear();
    g_onlyReturnTrue = false;
    c.before();
    EXPECT_EQ(Run(c.script), c.result);
    EXPECT_EQ(UiLog(), c.heard);
    EXPECT_EQ(KpLivePropertySheetPages(), 0u);
  }
}

TEST_F(Sheets, TheSheetOwnsItsPagesAndAnUnscriptedSheetEndsAtOnce) {
  EXPECT_EQ(Run({}, false), -1);
  EXPECT_TRUE(UiLog().empty());
  // The records were copied: ADDREF at creation, RELEASE when the sheet closed.
  EXPECT_EQ(g_callbacks, (std::vector<std::string>{"1 0", "2 0", "1 1", "2 1"}));
  EXPECT_EQ(KpLivePropertySheetPages(), 0u);
  g_callbacks.clear();
  // Handles made by the caller: PSPCB_CREATE at the first activation.
  PROPSHEETPAGEW record = Page(kPageA, 5);
  HPROPSHEETPAGE page = CreatePropertySheetPageW(&record);
  record.lParam = 6;  // the sheet uses its copy
  ASSERT_NE(page, nullptr);
  const KP_UI_ACTION script[] = {Act(KP_UI_TYPE, kPageEdit, 0, u"x"), Act(KP_UI_OK)};
  KpScriptDialog(KP_SCRIPT_SHEET, script, 2);
  PROPSHEETHEADERW h{};
  h.dwSize = sizeof h;
  h.nPages = 1;
  h.phpage = &page;
  EXPECT_EQ(PropertySheetW(&h), 1);
  EXPECT_EQ(g_callbacks, (std::vector<std::string>{"5 0", "5 2", "5 1"}));
  EXPECT_FALSE(DestroyPropertySheetPage(page)) << "the sheet destroyed it";
  // Short records and headers are refused.
  record.dwSize = 40;
  EXPECT_EQ(CreatePropertySheetPageW(&record), nullptr);
  h.dwSize = 40;
  EXPECT_EQ(PropertySheetW(&h), -1);
}

// Sends PSM_CHANGED from the current page, as a page whose control changed.
void Changed(HWND sheet, void*) {
  HWND page = KpSheetCurrentPage(sheet);
  SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

TEST_F(Sheets, ChangesAreRecorded) {
  KP_UI_ACTION change = Act(KP_UI_CALL);
  change.call = Changed;
  EXPECT_EQ(Run({change, Act(KP_UI_CANCEL)}), 0);
  KP_SHEET_CHANGE changes[2];
  ASSERT_EQ(KpSheetChanges(changes, 2), 1u);
  EXPECT_FALSE(changes[0].unchanged);
}

// ---- The common property-sheet host with pages

struct HostRun {
  HMODULE module;
  int pages;      // pages INIT adds
  int added = 0;  // adds the host took
};

LONG WINAPI HostCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (info->Reason != PROPSHEETUI_REASON_INIT) return 1;
  auto* run = reinterpret_cast<HostRun*>(lParam);
  for (int i = 0; i < run->pages; ++i) {
    PROPSHEETPAGEW p{};
    p.dwSize = sizeof p;
    p.hInstance = run->module;
    p.pszTemplate = MAKEINTRESOURCEW(i % 2 ? kPageB : kPageA);
    p.pfnDlgProc = PageProc;
    p.lParam = i + 1;
    HPROPSHEETPAGE page = CreatePropertySheetPageW(&p);
    if (!info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(page), 0)) {
      DestroyPropertySheetPage(page);  // a refused page stays the caller's
      return -1;
    }
    ++run->added;
  }
  return 1;
}

TEST_F(Sheets, TheHostShowsTheAddedPagesAsOneSheet) {
  KpInstallModule("libcompstui.so", nullptr);
  HMODULE host = LoadLibraryA("compstui.dll");
  ASSERT_NE(host, nullptr);
  auto ui = reinterpret_cast<PFNCOMMONPROPERTYSHEETUIW>(reinterpret_cast<void*>(GetProcAddress(host, "CommonPropertySheetUIW")));
  struct Row {
    const char* name;
    int failAdd;
    std::vector<KP_UI_ACTION> script;
    bool scripted;
    LONG answer;
    DWORD result;
  };
  const Row rows[] = {
      {"OK", 0, {Act(KP_UI_OK)}, true, 1, CPSUI_OK},
      {"Cancel", 0, {Act(KP_UI_CANCEL)}, true, 1, CPSUI_CANCEL},
      {"no script: the sheet does not open", 0, {}, false, ERR_CPSUI_GETLASTERROR, CPSUI_CANCEL},
      {"the second add fails", 2, {}, false, ERR_CPSUI_GETLASTERROR, CPSUI_CANCEL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KpCompstuiReset();
    KpClearDialogs();
    if (row.scripted) KpScriptDialog(KP_SCRIPT_SHEET, row.script.data(), static_cast<DWORD>(row.script.size()));
    KpCompstuiFailAdd(static_cast<DWORD>(row.failAdd));
    HostRun run{module_, 3, 0};
    DWORD result = 99;
    EXPECT_EQ(ui(nullptr, HostCallback, reinterpret_cast<LPARAM>(&run), &result), row.answer);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(KpLivePropertySheetPages(), 0u) << "every page destroyed once";
  }
  FreeLibrary(host);
}

}  // namespace
