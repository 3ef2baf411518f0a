// The Paper and Output pages as a user meets them on model A: the
// favourites selector (browse and cancel, choose, modified, Defaults, a
// stored position beyond the list, a favourite that conflicts with the
// rules), zoom, copies, the user-defined paper, the print type's empty
// checks (capability -65490 on in a description like model A's), the
// poster/booklet dialog, the paper-source offer, and the procedures' table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/sheets/sheet_pages.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/stamp.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_shell.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

constexpr DWORD kModelACaps0 = 0x04070000;  // model A's first capability word (its info 26)

class PageTest : public SheetControlTest {
 protected:
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = nullptr;
    KpClearDialogs();
    SheetControlTest::TearDown();
  }
  // A tab page as its sheet makes it: the page's lParam the root record,
  // then PSN_SETACTIVE.
  HWND OpenPage(DLGPROC proc, LONG templateId) {
    if (dialog_) DestroyWindow(dialog_);
    page_ = {};
    page_.dwSize = sizeof page_;
    page_.lParam = reinterpret_cast<LPARAM>(uiRoot_);
    dialog_ = CreateDialogParamW(resource_get_hInstance(), MAKEINTRESOURCEW(templateId), nullptr, proc,
                                 reinterpret_cast<LPARAM>(&page_));
    EXPECT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);
    Notify(PSN_SETACTIVE);
    return dialog_;
  }
  HWND OpenPaper() { return OpenPage(uiDlgPaper, IDD_PAPER); }
  // The texts of the selection field as the owner-drawn combo shows it.
  std::u16string Shown() {
    EXPECT_TRUE(Act(KP_UI_PAINT, IDC_PPR_USERSEL));
    KP_DRAWN drawn[128];
    DWORD n = KpDrawnItems(Item(IDC_PPR_USERSEL), drawn, 128);
    std::vector<std::u16string> texts;
    for (DWORD i = 0; i < n && i < 128; ++i)
      if (drawn[i].kind == 1) texts.push_back(drawn[i].text);
    // A paint draws the selection field, then each item.
    const size_t items = static_cast<size_t>(SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_GETCOUNT, 0, 0));
    return texts.size() > items ? texts[texts.size() - items - 1] : u"";
  }
  int Position(const char16_t* name) {
    LRESULT n = SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      WCHAR text[64] = {};
      SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_GETLBTEXT, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(text));
      if (std::u16string(text) == name) return static_cast<int>(i);
    }
    return -1;
  }
  int Selected() { return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_GETCURSEL, 0, 0)); }
  void Command(int id, WORD code) {
    SendMessageW(dialog_, WM_COMMAND, static_cast<WPARAM>(MAKELONG(static_cast<WORD>(id), code)),
                 reinterpret_cast<LPARAM>(Item(id)));
  }
  std::u16string String(UINT id) {
    WCHAR text[512] = {};
    resource_LoadString(id, text, 512);
    return text;
  }
  std::vector<DWORD> Runs() {
    KP_DIALOG_RUN runs[16];
    DWORD n = KpDialogRuns(runs, 16);
    std::vector<DWORD> ids;
    for (DWORD i = 0; i < n && i < 16; ++i) ids.push_back(runs[i].templateId);
    return ids;
  }
  std::vector<std::u16string> Boxes() {
    std::vector<std::u16string> texts;
    for (DWORD i = 0; i < KpMessageBoxCount(); ++i) {
      KpMessageBoxRecord r{};
      KpGetMessageBox(i, &r);
      texts.push_back(r.text);
    }
    return texts;
  }
  PROPSHEETPAGEW page_{};
};

// ---- The selector ----------------------------------------------------------------

TEST_F(PageTest, ABrowsedChoiceThatIsCancelledChangesNothingAndAChoiceAppliesTheFavourite) {
  OpenPaper();
  ASSERT_EQ(SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(Selected(), 0);
  const int economy = Position(u"Economy Printing");
  ASSERT_GT(economy, 0);
  const std::vector<BYTE> before = Devmode();
  // Down the list to "Economy Printing", then Escape-like: the drop ends
  // with CBN_SELENDCANCEL.
  Command(IDC_PPR_USERSEL, CBN_DROPDOWN);
  SendDlgItemMessageW(dialog_, IDC_PPR_USERSEL, CB_SETCURSEL, static_cast<WPARAM>(economy), 0);
  Command(IDC_PPR_USERSEL, CBN_SELCHANGE);
  Command(IDC_PPR_USERSEL, CBN_SELENDCANCEL);
  Command(IDC_PPR_USERSEL, CBN_CLOSEUP);
  EXPECT_EQ(Devmode(), before);
  EXPECT_EQ(Selected(), 0);
  // Chosen by mouse: its settings, its position in DDM 442 and in the store.
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, economy));
  EXPECT_EQ(Num(DDM_NUP), 2);
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), economy);
  EXPECT_EQ(Selected(), economy);
  EXPECT_EQ(Shown(), u"Economy Printing");
  FAV_LIST list;
  ASSERT_TRUE(Fav_LoadList(printer_, uiRoot_->uiData->ddd, Devmode().data(), uiRoot_->printerData, &list));
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), economy);  // "SelPosition" read back
  EXPECT_EQ(KpMessageBoxCount(), 0u);
}

TEST_F(PageTest, AnotherControlMarksTheFavouriteModifiedAndDefaultsSelectsFavouriteOne) {
  OpenPaper();
  EXPECT_EQ(Shown(), u"Default Settings");
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"3"));
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_COLLATE));
  EXPECT_EQ(Num(DDM_COPIES), 3);
  EXPECT_EQ(Shown(), u"Default Settings" + String(UI_STR_MODIFIED));
  // Defaults: favourite 1, which the defaults are: not modified.
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_DEFAULT));
  EXPECT_EQ(Shown(), u"Default Settings");
  // From another favourite too: the Defaults button selects favourite 1.
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, Position(u"Economy Printing")));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_DEFAULT));
  EXPECT_EQ(Selected(), Position(u"Default Settings"));
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), Position(u"Default Settings"));
  // The page opened again finds the store's position.
  OpenPaper();
  EXPECT_EQ(Selected(), Position(u"Default Settings"));
}

TEST_F(PageTest, AStoredPositionBeyondTheListSelectsFavouriteOne) {
  OpenPaper();  // the store is made
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  BYTE bytes[4] = {50, 0, 0, 0};
  ASSERT_TRUE(
      SaveCurrentUserData(printer_, uiRoot_->uiData->ddd, bytes, 4, REG_DWORD, FAV_SUBKEY, FAV_VALUE_SELPOSITION));
  OpenPaper();
  EXPECT_EQ(Selected(), Position(u"Default Settings"));
}

// The page's Add and Edit buttons with their dialogs as a person uses them:
// after each the selector shows the favourite the dialog left selected (the
// new one after Add; the same one in its new place after a reorder;
// favourite 1, marked changed since the page keeps its settings, when the
// selected one was deleted), on the page and when the page opens again.
TEST_F(PageTest, AfterAddAndEditTheSelectorShowsTheFavouriteTheDialogSelected) {
  OpenPaper();
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, Position(u"Presentation")));
  ASSERT_EQ(Shown(), u"Presentation");
  struct Case {
    const char* what;
    DWORD dialog;
    int button;
    std::vector<KP_UI_ACTION> script;
    const char16_t* name;
    bool changed;  // the page's settings are not the favourite's
  };
  const KP_UI_ACTION ok = {KP_UI_OK, 0, 0, nullptr, nullptr, nullptr};
  const Case cases[] = {
      {"add", IDD_USERSEL_ADD, IDC_PPR_USERSEL_ADD,
       {{KP_UI_SELECT_ALL, IDC_UAD_NAME, 0, nullptr, nullptr, nullptr},
        {KP_UI_TYPE, IDC_UAD_NAME, 0, u"Mine", nullptr, nullptr},
        ok},
       u"Mine", false},
      {"move the selected one down", IDD_USERSEL_EDIT, IDC_PPR_USERSEL_EDIT,
       {{KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0, nullptr, nullptr, nullptr},
        {KP_UI_CLICK, IDC_UED_DOWN, 0, nullptr, nullptr, nullptr},
        ok},
       u"Mine", false},
      {"delete the selected one", IDD_USERSEL_EDIT, IDC_PPR_USERSEL_EDIT,
       {{KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 1, nullptr, nullptr, nullptr},
        {KP_UI_CLICK, IDC_UED_DELETE, 0, nullptr, nullptr, nullptr},
        ok},
       u"Default Settings", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KpClearDialogs();
    KpScriptDialog(c.dialog, c.script.data(), static_cast<DWORD>(c.script.size()));
    ASSERT_TRUE(Act(KP_UI_CLICK, c.button));
    ASSERT_EQ(Runs(), (std::vector<DWORD>{c.dialog}));
    EXPECT_EQ(KpMessageBoxCount(), 0u);
    const std::u16string shown = c.name + (c.changed ? String(UI_STR_MODIFIED) : u"");
    EXPECT_EQ(Shown(), shown);
    EXPECT_EQ(Selected(), Position(c.name));
    EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), Position(c.name));
    // The page opened again finds the same favourite.
    OpenPaper();
    EXPECT_EQ(Shown(), shown);
  }
}

// A user favourite stored with settings the rules do not allow together
// (poster printing with two pages a sheet).
bool Conflicting(void* devmode, void* printerData) {
  LONG layout = 0, nup = 0;
  return ddm_GetNumber(DDM_LAYOUTMODE, devmode, printerData, &layout) &&
         ddm_GetNumber(DDM_NUP, devmode, printerData, &nup) && layout == 1 && nup == 2;
}
WORD StoreConflicting(UIROOT* root, HANDLE printer) {
  std::vector<BYTE> dm(static_cast<BYTE*>(root->devmode), static_cast<BYTE*>(root->devmode) + NRV_DEVMODE_SIZE_FULL);
  EXPECT_TRUE(ddm_SetNumber(DDM_LAYOUTMODE, dm.data(), root->printerData, 1));
  EXPECT_TRUE(ddm_SetNumber(DDM_NUP, dm.data(), root->printerData, 2));
  EXPECT_TRUE(Conflicting(dm.data(), root->printerData));
  const WORD number = 9;
  EXPECT_TRUE(SaveCurrentUserUserSel(printer, root->uiData->ddd, number, dm.data(), u"Envelope", u"", FAV_FLAG_USER));
  const WORD index[] = {1, 2, 3, number, 0};
  EXPECT_TRUE(SaveCurrentUserUserInfo(printer, root->uiData->ddd, index, 26));
  return number;
}

TEST_F(PageTest, AConflictingFavouriteOkSavesTheCorrectionCancelMarksItModified) {
  OpenPaper();
  const WORD number = StoreConflicting(uiRoot_, printer_);
  for (int answer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(answer);
    OpenPaper();
    const int at = Position(u"Envelope");
    ASSERT_GE(at, 0);
    KpClearMessageBoxes();
    for (int i = 0; i < 8; ++i) KpQueueMessageBoxAnswer(answer);
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, at));
    const std::vector<std::u16string> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().rfind(u"The favourite \"Envelope\" does not fit", 0), 0u) << boxes.back().size();
    EXPECT_FALSE(Conflicting(uiRoot_->devmode, uiRoot_->printerData));  // the page has the corrected settings
    std::vector<BYTE> stored(NRV_DEVMODE_SIZE_FULL);
    ASSERT_TRUE(
        LoadCurrentUserUserSel(printer_, uiRoot_->uiData->ddd, number, stored.data(), nullptr, nullptr, nullptr));
    if (answer == IDOK) {
      EXPECT_FALSE(Conflicting(stored.data(), uiRoot_->printerData));  // saved back
      EXPECT_EQ(Shown(), u"Envelope");
    } else {
      EXPECT_TRUE(Conflicting(stored.data(), uiRoot_->printerData));
      EXPECT_EQ(Shown(), u"Envelope" + String(UI_STR_MODIFIED));
    }
    StoreConflicting(uiRoot_, printer_);
  }
}

// A favourite whose stamp the user has deleted since: choosing it leaves
// the page without a stamp (the names empty) and the favourite marked
// changed; while the stamp exists its names stay.
TEST_F(PageTest, ChoosingAFavouriteWhoseStampWasDeletedLeavesNoStamp) {
  OpenPaper();  // the favourites' store is made
  HCDDD ddd = uiRoot_->uiData->ddd;
  STAMPINFO mine = {};
  std::memcpy(mine.name, u"Mine", 10);
  std::memcpy(mine.text, u"Secret", 14);
  mine.font.lfHeight = 72;
  mine.font.lfWeight = 400;
  ASSERT_EQ(zanStamp_Registration(printer_, ddd, &mine), STAMP_OK);
  std::vector<BYTE> dm = Devmode();
  ASSERT_EQ(ddm_SetValue(DDM_STAMPNAME, dm.data(), uiRoot_->printerData, DDM_TYPE_STRING, 10, u"Mine"), 0);
  ASSERT_EQ(ddm_SetValue(DDM_STAMP_TEXT_NAME, dm.data(), uiRoot_->printerData, DDM_TYPE_STRING, 14, u"Secret"), 0);
  ASSERT_TRUE(SaveCurrentUserUserSel(printer_, ddd, 9, dm.data(), u"Stamped", u"", FAV_FLAG_USER));
  const WORD index[] = {1, 2, 3, 9, 0};
  ASSERT_TRUE(SaveCurrentUserUserInfo(printer_, ddd, index, 26));
  auto text = [&](WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(ddm_GetValue(id, uiRoot_->devmode, uiRoot_->printerData, &type, &size, &v), 0) << id;
    return std::u16string(v ? reinterpret_cast<const char16_t*>(v) : u"?");
  };
  struct Case {
    const char* what;
    bool deleted;
    const char16_t* stamp;  // DDM 297 and the text (DDM 299) after the choice
    const char16_t* stampText;
    bool changed;
  } const cases[] = {{"the stamp exists", false, u"Mine", u"Secret", false},
                     {"the stamp was deleted", true, u"", u"", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.deleted) {
      ASSERT_EQ(zanStamp_Elimination(printer_, ddd, u"Mine"), STAMP_OK);
    }
    OpenPaper();
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, Position(u"Stamped")));
    EXPECT_EQ(text(DDM_STAMPNAME), c.stamp);
    EXPECT_EQ(text(DDM_STAMP_TEXT_NAME), c.stampText);
    EXPECT_EQ(Shown(), std::u16string(u"Stamped") + (c.changed ? String(UI_STR_MODIFIED) : u""));
  }
}

// ---- Defaults ----------------------------------------------------------------------

// The Paper page's Defaults button on a model whose finisher tray does not
// take A4: from A3 on the finisher tray, the page's defaults (A4) make the
// rule move the Output page's tray. The user is asked; Cancel puts A3 and
// the finisher tray back, OK keeps the defaults and the rule's tray. When no
// rule changed anything else, nobody is asked. Refused, the favourites
// selector keeps the favourite it showed.
TEST_F(PageTest, DefaultsAskWhenARuleChangedAnotherSettingAndCancelPutsTheSettingsBack) {
  const std::string dir = std::string(KSHEETS_DEFAULTS_MODEL_DIR) + "/";
  UseDescription({{"defaults/KDEFAULTS.DDD", ReadHostFile(dir + "KDEFAULTS.DDD")},
                  {"defaults/K350RES.DDD", ReadHostFile(dir + "K350RES.DDD")}});
  constexpr LONG kFaceDown = 1, kFinisher = 3;  // DDM 266
  struct Case {
    const char* what;
    LONG tray;     // DDM 266 before
    int answer;    // to the question
    bool asked;
    LONG paper;    // DDM 8 after
    LONG trayAfter;
  } const cases[] = {
      {"finisher tray, Cancel", kFinisher, IDCANCEL, true, DMPAPER_A3, kFinisher},
      {"finisher tray, OK", kFinisher, IDOK, true, DMPAPER_A4, kFaceDown},
      {"face-down tray: no rule changes anything", kFaceDown, IDCANCEL, false, DMPAPER_A4, kFaceDown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetNum(DDM_FINISHER_UNIT, 1);
    OpenPaper();
    // A favourite, then A3 on the page and the tray on the Output page.
    const int economy = Position(u"Economy Printing");
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_USERSEL, economy));
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, ItemIndex(DDM_PAPERSIZE, DMPAPER_A3)));
    SetNum(DDM_OUTPUT_TRAY, c.tray);
    SetNum(DDM_COPIES, 4);
    const std::vector<BYTE> before = Devmode();
    const std::u16string selector = Shown();
    ASSERT_EQ(selector, u"Economy Printing" + String(UI_STR_MODIFIED));
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(c.answer);
    ASSERT_TRUE(Act(KP_UI_CLICK, IDC_DEFAULT));
    const std::vector<std::u16string> boxes = Boxes();
    if (c.asked) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].rfind(String(CONST_STR_CHANGE_CONFIRM), 0), 0u);
      EXPECT_NE(boxes[0].find(u"Output Tray"), std::u16string::npos);
    } else {
      EXPECT_TRUE(boxes.empty());
    }
    EXPECT_EQ(Num(DDM_PAPERSIZE), c.paper);
    EXPECT_EQ(Num(DDM_OUTPUT_TRAY), c.trayAfter);
    EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PPR_PAPERSIZE, CB_GETCURSEL, 0, 0), ItemIndex(DDM_PAPERSIZE, c.paper));
    if (c.paper == DMPAPER_A3) {
      // Refused: every setting as it was, the selector too.
      EXPECT_TRUE(Devmode() == before);
      EXPECT_EQ(Num(DDM_COPIES), 4);
      EXPECT_EQ(Shown(), selector);
      // ... and after the next change on the page.
      ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
      ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"3"));
      ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_COLLATE));
      EXPECT_EQ(Shown(), selector);
      EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), economy);
    } else {
      EXPECT_EQ(Num(DDM_COPIES), 1);
      EXPECT_EQ(Selected(), Position(u"Default Settings"));
    }
  }
}

// ---- Paper page controls ------------------------------------------------------------

TEST_F(PageTest, ZoomIsHundredWhenFixedAndCopiesTakeTheDigitsOfTheirMaximum) {
  SetNum(DDM_ZOOM_ON, 1);
  SetNum(DDM_ZOOM, 50);
  OpenPaper();
  UI_MSGINFO m = Msg();
  m.changedId = DDM_ZOOM_ON;
  uiUpdateDisplay(&m, nullptr);
  EXPECT_EQ(Num(DDM_ZOOM), 100);
  EXPECT_EQ(Text(IDC_PPR_ZOOM), u"100");
  EXPECT_EQ(GetFocus(), Item(IDC_PPR_ZOOM));
  // Model A's copies go to 9999: four digits.
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PPR_COPIES, EM_GETLIMITTEXT, 0, 0), 4);
}

TEST_F(PageTest, TheZoomFitsTheOriginalOnTheOutputSizeUnlessItIsFixed) {
  // Model A's papers (0.1 mm): A3 2970 x 4200, A4 2100 x 2970, A5 1480 x
  // 2100, Letter 2159 x 2794. The zoom is the smaller of the output's width
  // and length over the original's, in whole percent.
  struct Case {
    const char* what;
    LONG original;  // DDM 8
    LONG output;    // DDM 262
    LONG fixed;     // DDM 1281
    LONG zoom;      // shown and stored when the page opens
  } const cases[] = {
      {"A3 on A4", DMPAPER_A3, DMPAPER_A4, 0, 70},                     // 2100/2970, 2970/4200
      {"Letter on A4: the length would give 106", DMPAPER_LETTER, DMPAPER_A4, 0, 97},  // 2100/2159
      {"A5 on A3", DMPAPER_A5, DMPAPER_A3, 0, 200},                    // 2970/1480 is 200.6, 4200/2100
      {"200 x 300 mm on A4", DMPAPER_USER, DMPAPER_A4, 0, 99},        // 2100/2000 is 105, 2970/3000
      {"same as the original", DMPAPER_A3, UI_OUTPUTSIZE_SAME, 0, 100},
      {"A3 on A4, fixed", DMPAPER_A3, DMPAPER_A4, 1, 50},              // the stored zoom stands
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetNum(DDM_PAPERSIZE, c.original);
    SetNum(DDM_CUSTOMPAPERWIDTH, 2000);
    SetNum(DDM_CUSTOMPAPERLENGTH, 3000);
    SetNum(DDM_OUTPUTSIZE, c.output);
    SetNum(DDM_ZOOM_ON, c.fixed);
    SetNum(DDM_ZOOM, 50);
    OpenPaper();
    EXPECT_EQ(Num(DDM_ZOOM), c.zoom);
    EXPECT_EQ(Text(IDC_PPR_ZOOM), Widen(std::to_string(c.zoom)));
    if (!c.fixed) continue;
    // Fixing the zoom sets it to 100 whatever the papers give.
    UI_MSGINFO m = Msg();
    m.changedId = DDM_ZOOM_ON;
    uiUpdateDisplay(&m, nullptr);
    EXPECT_EQ(Num(DDM_ZOOM), 100);
    EXPECT_EQ(Text(IDC_PPR_ZOOM), u"100");
  }
}

// The user-defined size chosen as the original: the output size's handler
// opens the size's dialog by the page's own request.
TEST_F(PageTest, TheUserDefinedPaperOpensItsDialogThroughThePagesOwnRequest) {
  OpenPaper();
  const int user = ItemIndex(DDM_PAPERSIZE, DMPAPER_USER);
  ASSERT_GE(user, 0);
  SetNum(DDM_CUSTOMPAPERWIDTH, 2000);  // a size the printer takes
  SetNum(DDM_CUSTOMPAPERLENGTH, 3000);
  KpClearDialogs();
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, user));
  EXPECT_EQ(Runs(), (std::vector<DWORD>{IDD_USERDEFINE_DOCPROP}));
}

TEST_F(PageTest, LeavingWithAnEmptyPrintTypeFieldShowsItsMessageAndOpensItsDialog) {
  UseCapabilities(kModelACaps0, 1u << 14);  // -65490 on
  struct Case {
    LONG type;
    WORD field;
    UINT message;
    DWORD dialog;
  };
  const Case cases[] = {{UI_PRINTTYPE_SECURE, UI_DDM_USERID, UI_STR_EMPTY_SECURE, IDD_SECURITY},
                        {UI_PRINTTYPE_SAMPLE, UI_DDM_USERID, UI_STR_EMPTY_SAMPLE, IDD_SAMPLE},
                        {UI_PRINTTYPE_LOREBOX, UI_DDM_BOXNUMBER, UI_STR_EMPTY_LOREBOX, IDD_KNOWLEDGE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetNum(DDM_JOBTYPE, c.type);
    ASSERT_EQ(ddm_SetValue(c.field, uiRoot_->devmode, uiRoot_->printerData, DDM_TYPE_STRING, 2, u""), 0);
    OpenPaper();
    KpClearMessageBoxes();
    KpClearDialogs();
    EXPECT_EQ(Notify(PSN_KILLACTIVE), TRUE);  // the page stays
    EXPECT_EQ(Boxes(), (std::vector<std::u16string>{String(c.message)}));
    KpPumpMessages();
    EXPECT_EQ(Runs(), (std::vector<DWORD>{c.dialog}));
    // The add, edit and finishing buttons leave the page without the check.
    for (int button : {IDC_PPR_USERSEL_ADD, IDC_PPR_USERSEL_EDIT}) {
      KpClearMessageBoxes();
      ASSERT_TRUE(Act(KP_UI_CLICK, button));
      EXPECT_EQ(KpMessageBoxCount(), 0u) << button;
    }
  }
  // Without the capability nothing is checked.
}

TEST_F(PageTest, ThePrintTypeButtonOpensOnlyADialogItsTypeHas) {
  OpenPaper();
  struct Case {
    LONG type;
    std::vector<DWORD> runs;
  };
  const Case cases[] = {{0, {}}, {UI_PRINTTYPE_SECURE, {IDD_SECURITY}}, {4, {IDD_DELAY}}, {5, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetNum(DDM_JOBTYPE, c.type);
    KpClearDialogs();
    Command(IDC_PPR_PRINTTYPE_SET, BN_CLICKED);
    EXPECT_EQ(Runs(), c.runs);
  }
}

TEST_F(PageTest, PosterBookletControlsOnlyForTheBookletLayoutAndTheHelpCountsItsPages) {
  SetNum(DDM_MAXBOOKLETNUMBER, 3);
  for (LONG layout : {1, 2}) {
    SCOPED_TRACE(layout);
    SetNum(DDM_LAYOUTMODE, layout);
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = CreateDialogParamW(resource_get_hInstance(), MAKEINTRESOURCEW(IDD_POSTERBOOKLET), nullptr,
                                 uiDlgPosterBooklet, reinterpret_cast<LPARAM>(uiRoot_));
    ASSERT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);
    for (int id : {IDC_PBK_SIZE, IDC_PBK_OVERLAP, IDC_PBK_OVERLAPWIDTH, IDC_PBK_OVERLAPSPIN, IDC_PBK_CUTMARKS}) {
      EXPECT_EQ(IsWindowVisible(Item(id)) != FALSE, layout == 2) << id;
      if (layout != 2) {
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
      }
    }
    EXPECT_TRUE(IsWindowVisible(Item(IDC_PBK_LAYOUT)));
    const LPCWSTR args[] = {u"3", u"12"};
    WCHAR help[256] = {};
    ASSERT_TRUE(uiMakeMsg(UI_STR_POSTER_HELP, args, 2, help, 256));
    EXPECT_EQ(Text(IDC_PBK_HELP), std::u16string(help));
  }
}

TEST_F(PageTest, TheLogoTakesItsBitmapsSizeAndAClickOpensThePrintersPage) {
  OpenPaper();
  WORD width = 0, height = 0;
  HCDDD ddd = uiRoot_->uiData->ddd;
  BYTE* bitmap = ddd_GetPrinterBitmap(ddd->main, ddd->referenced, 40, &width, &height);
  ASSERT_NE(bitmap, nullptr);
  ddd_FreeMem(bitmap);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(Item(IDC_PPR_LOGO), &r));
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
  KpClearShellCalls();
  ASSERT_TRUE(Act(KP_UI_MOUSE_DOWN, IDC_PPR_LOGO));
  KP_SHELL_CALL calls[2];
  ASSERT_EQ(KpShellCalls(calls, 2), 1u);
  EXPECT_EQ(calls[0].kind, 3u);
  EXPECT_EQ(std::u16string(calls[0].text[0]), u"open");
  EXPECT_EQ(std::u16string(calls[0].text[1]), u"Logo");  // model A's printer-information string 29
}

TEST_F(PageTest, TheFinishingSummaryVariantSummarisesAndFollowsThePrintType) {
  SetNum(DDM_COPIES, 2);
  OpenPage(uiDlgPaper, IDD_PAPER_FINISHING_SUMMARY);
  const std::u16string summary = Text(IDC_PPR_PAPER_SUMMARY);
  EXPECT_NE(summary.find(u"A4"), std::u16string::npos) << summary.size();
  EXPECT_NE(summary.find(u"2 copies"), std::u16string::npos);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_PPR_FINISHING)));
  SetNum(DDM_JOBTYPE, UI_PRINTTYPE_NOFINISHING);
  Notify(PSN_SETACTIVE);
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_PPR_FINISHING)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_PPR_FINISHING_SUMMARY)));
  // The summary passes the focus on to the next tab stop.
  SetFocus(Item(IDC_PPR_PAPER_SUMMARY));
  EXPECT_NE(GetFocus(), Item(IDC_PPR_PAPER_SUMMARY));
}

// The paper summary names the original and the paper it is printed on: the
// output size, or the original again when the output size is "same as the
// original". The original chosen in its combo box redisplays the summary.
TEST_F(PageTest, ThePaperSummaryNamesTheOriginalAndTheOutputSize) {
  struct Case {
    const char* what;
    LONG output;  // DDM 262
    const char16_t* summary;
  } const cases[] = {
      {"A3 on A4", DMPAPER_A4, u"A3 -> A4, 1 copies"},
      {"A3 on the same", UI_OUTPUTSIZE_SAME, u"A3 -> A3, 1 copies"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetNum(DDM_PAPERSIZE, DMPAPER_A4);
    SetNum(DDM_OUTPUTSIZE, c.output);
    SetNum(DDM_COPIES, 1);
    OpenPage(uiDlgPaper, IDD_PAPER_FINISHING_SUMMARY);
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, ItemIndex(DDM_PAPERSIZE, DMPAPER_A3)));
    ASSERT_EQ(Num(DDM_PAPERSIZE), DMPAPER_A3);
    EXPECT_EQ(Text(IDC_PPR_PAPER_SUMMARY), c.summary);
  }
}

// The output size is chosen in its own combo box: the original in the paper
// size's, the paper it is printed on in the output size's. The zoom and the
// summary follow the choice.
TEST_F(PageTest, TheOutputSizeIsChosenOnThePageAndTheZoomAndSummaryFollow) {
  struct Case {
    const char* what;
    LONG output;  // chosen in the output size's combo (DDM 262)
    LONG zoom;
    const char16_t* summary;
  } const cases[] = {
      {"A3 on A4", DMPAPER_A4, 70, u"A3 -> A4, 1 copies"},  // 2100/2970, 2970/4200
      {"A3 on A5", DMPAPER_A5, 49, u"A3 -> A5, 1 copies"},  // 1480/2970, 2100/4200
      {"A3 on the same", UI_OUTPUTSIZE_SAME, 100, u"A3 -> A3, 1 copies"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetNum(DDM_PAPERSIZE, DMPAPER_A4);
    SetNum(DDM_OUTPUTSIZE, c.output == UI_OUTPUTSIZE_SAME ? DMPAPER_A4 : UI_OUTPUTSIZE_SAME);
    SetNum(DDM_COPIES, 1);
    OpenPage(uiDlgPaper, IDD_PAPER_FINISHING_SUMMARY);
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, ItemIndex(DDM_PAPERSIZE, DMPAPER_A3)));
    const int output = ItemIndex(DDM_OUTPUTSIZE, c.output);
    ASSERT_GE(output, 0);
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_OUTPUTPAPER, output));
    EXPECT_EQ(Num(DDM_PAPERSIZE), DMPAPER_A3);
    EXPECT_EQ(Num(DDM_OUTPUTSIZE), c.output);
    EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PPR_OUTPUTPAPER, CB_GETCURSEL, 0, 0), output);
    EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PPR_PAPERSIZE, CB_GETCURSEL, 0, 0),
              ItemIndex(DDM_PAPERSIZE, DMPAPER_A3));
    EXPECT_EQ(Num(DDM_ZOOM), c.zoom);
    EXPECT_EQ(Text(IDC_PPR_ZOOM), Widen(std::to_string(c.zoom)));
    EXPECT_EQ(Text(IDC_PPR_PAPER_SUMMARY), c.summary);
  }
}

// ---- Output page: the paper-source offer ---------------------------------------------

// The combo's shown text while the settings dialog the button opened runs.
struct ShownDuring {
  HWND page;
  std::u16string text;
};
void ReadPaperSource(HWND, void* context) {
  auto* during = static_cast<ShownDuring*>(context);
  WCHAR shown[64] = {};
  GetDlgItemTextW(during->page, IDC_OUT_PAPERSOURCE, shown, 64);
  during->text = shown;
}

TEST_F(PageTest, ThePaperSourceOfferWritesOnlyOnYesAndTheDialogOpensInEveryCase) {
  // Model A and a variant that hides Tray 3 and Tray 4 (listed before the
  // bypass tray) while the paper-feed unit is missing.
  // Each in a folder of its own, beside its referenced file.
  const std::string variant = std::string(KSHEETS_TEST_MODEL_DIR) + "/";
  const std::vector<std::pair<std::string, std::string>> hidden = {
      {"hidden/KHIDDEN.DDD", ReadHostFile(variant + "KHIDDEN.DDD")},
      {"hidden/K350RES.DDD", ReadHostFile(variant + "K350RES.DDD")}};
  const std::vector<std::pair<std::string, std::string>> modelA = {
      {"a/K350.DDD", ReadHostFile(ModelFile("K350.DDD"))}, {"a/K350RES.DDD", ReadHostFile(ModelFile("K350RES.DDD"))}};
  ASSERT_FALSE(hidden[0].second.empty());
  struct Case {
    const char* what;
    bool hiddenTrays;
    LONG source;  // DDM 265 before
    LONG width;   // of the user-defined paper (DDM 8 is 256), 0.1 mm
    int answer;   // the box's, when one is shown
    size_t boxes;
    LONG after;  // DDM 265 after
    const char16_t* shown;  // by the combo, during the dialog and after
  };
  const Case cases[] = {
      {"yes", false, 7, 2000, IDYES, 1, 4, u"Bypass Tray"},
      {"no", false, 7, 2000, IDNO, 1, 7, u"Auto Tray Select"},
      {"already the bypass tray", false, 4, 2000, IDYES, 0, 4, u"Bypass Tray"},
      {"bypass tray refused for the paper", false, 7, 3300, IDYES, 0, 7, u"Auto Tray Select"},  // wider than its 320 mm
      {"yes, two trays hidden before it", true, 7, 2000, IDYES, 1, 4, u"Bypass Tray"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseDescription(c.hiddenTrays ? hidden : modelA);
    SetNum(DDM_OPTION_HICAPACITYTRAY, 0);  // the paper-feed unit is missing
    SetNum(DDM_PAPERSIZE, DMPAPER_USER);
    SetNum(DDM_CUSTOMPAPERWIDTH, c.width);
    SetNum(DDM_CUSTOMPAPERLENGTH, 3000);
    SetNum(DDM_INPUTBIN, c.source);
    OpenPage(uiDlgOutput, IDD_OUTPUT);
    {
      // Tray 3 (before the bypass tray): hidden by the variant, refused
      // (action 7) by model A; the setting itself stays shown.
      ConstInfo* info = const_AllocConstData();
      ASSERT_NE(info, nullptr);
      const CONST_SETTINGS settings = {uiRoot_->uiData->ddd, uiRoot_->devmode, uiRoot_->printerData};
      const LONG tray3 = 265;
      const CONST_VALUE proposed = {DDM_INPUTBIN, DDM_TYPE_WORD, &tray3};
      EXPECT_EQ(const_DDDUpdateConstData(1, dialog_, &settings, &proposed, nullptr, nullptr, info, nullptr, nullptr, 1),
                CONST_OK);
      EXPECT_EQ(info->action, c.hiddenTrays ? 6 : 7);
      const_FreeConstData(info);
      ASSERT_LT(ItemIndex(DDM_INPUTBIN, tray3), ItemIndex(DDM_INPUTBIN, UI_PAPERSOURCE_MANUAL));
      UI_MSGINFO m = Msg();
      ASSERT_EQ(uiTabGetFuncConstAction(&m, DDM_INPUTBIN), 0);
    }
    KpClearMessageBoxes();
    KpClearDialogs();
    KpQueueMessageBoxAnswer(c.answer);
    ShownDuring during{dialog_, u""};
    const KP_UI_ACTION look = {KP_UI_CALL, 0, 0, nullptr, ReadPaperSource, &during};
    KpScriptDialog(IDD_MANUALTRAY, &look, 1);
    ASSERT_TRUE(Act(KP_UI_CLICK, IDC_OUT_MANUALTRAY));
    EXPECT_EQ(KpMessageBoxCount(), c.boxes);
    if (c.boxes) {
      EXPECT_EQ(Boxes()[0], String(UI_STR_OFFER_MANUAL));
    }
    EXPECT_EQ(Num(DDM_INPUTBIN), c.after);
    EXPECT_EQ(Runs(), (std::vector<DWORD>{IDD_MANUALTRAY}));
    EXPECT_EQ(during.text, c.shown);
    EXPECT_EQ(Text(IDC_OUT_PAPERSOURCE), c.shown);
    KpClearMessageBoxes();
  }
}

// ---- The procedures -------------------------------------------------------------------

TEST(PageProcedures, EachProcedureHasItsNumberKindAndReplacedSlots) {
  struct Row {
    LONG dlgNo;
    WORD kind;
    std::vector<std::pair<WORD, UI_MSGFUNC>> slots;
  };
  const Row rows[] = {
      {1, 1, {{1, uiOutInitDialog}, {2, uiOutSetActive}}},
      {2, 1, {{1, uiOutInitDialog}, {2, uiOutSetActive}}},
      {3, 1, {}},
      {4, 4, {{1, uiFntInitDialog}}},
      {5, 1, {}},
      {6, 1, {}},
      {10, 4, {}},
      {11, 3, {}},
      {13, 1, {}},
      {14, 3, {}},
      {16, 4, {}},
      {20, 4, {}},
      {21, 4, {}},
      {22, 4, {{1, uiDlgPrintTypeCommon_InitDialog}}},
      {23, 4, {{1, uiDlgFontSubst_InitDialog}, {0, uiDlgFontSubst_Command}}},
      {25, 4, {}},
      {26, 3, {}},
      {27, 3, {}},
      {28, 3, {{5, uiDlgFll_Apply}}},
      {29, 3, {}},
      {37, 4, {}},
      {39, 3, {}},
      {40, 4, {}},
      {41, 4, {}},
      {42, 4, {{1, uiDlgPrintTypeCommon_InitDialog}}},
      {43, 4, {{1, uiDlgPrintTypeCommon_InitDialog}}},
      {44, 4, {{1, uiDlgPrintTypeCommon_InitDialog}}},
      {46, 1, {}},
      {47, 4, {}},
      {48, 4, {}},
  };
  ASSERT_EQ(uiProcTableCount, static_cast<LONG>(sizeof rows / sizeof rows[0]));
  for (LONG i = 0; i < uiProcTableCount; ++i) {
    const UI_PROCDESC& d = uiProcTable[i];
    const Row& r = rows[i];
    SCOPED_TRACE(r.dlgNo);
    EXPECT_EQ(d.dlgNo, r.dlgNo);
    EXPECT_EQ(d.kind, r.kind);
    ASSERT_EQ(d.replaced, r.slots.size());
    for (size_t s = 0; s < r.slots.size(); ++s) {
      EXPECT_EQ(d.slots[s].slot, r.slots[s].first);
      EXPECT_EQ(d.slots[s].handler, r.slots[s].second);
    }
    // The window records of the sheets name the same procedure for the
    // number.
    const UI_WNDINFO* w = uiTabDef_FindWndInfo(r.dlgNo);
    if (w && w->tab && w->tab->dlgNo == r.dlgNo && r.dlgNo != 3) {
      EXPECT_EQ(w->tab->proc, d.proc);
    }
  }
  // A replacement is for its message only: the Paper page's WM_COMMAND slot
  // stays the engine's.
  UI_MSGFUNC handler = nullptr;
  WORD slot = 0;
  ASSERT_TRUE(uiMsg_GetMsgFncTemplete(WM_COMMAND, 0, 0, UI_KIND_ROOT, &handler, &slot));
  for (WORD s = 0; s < uiProcTable[0].replaced; ++s)
    ASSERT_TRUE(uiMsg_ReplaceMsgFnc(uiProcTable[0].slots[s].handler, uiProcTable[0].slots[s].slot, &handler, slot));
  EXPECT_EQ(handler, FncTbl_Root[0]);
}

}  // namespace
}  // namespace kestrel::test::ui
