// The redisplay's steps on model A's settings: the display-state table and
// its end at a write, the names of function ids, summary lists, a list's
// loss of focus; and what the owner-drawn controls draw into the recording
// DC (list items with their icons, the preview's layers in order).
#include "kplatform/user32_messagebox.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

constexpr LONG N = UI_NOSTRING;
const UI_DSPINFO kPaper[] = {{DDM_PAPERSIZE, 3}};
const UI_DSPINFO kOrientation[] = {{DDM_ORIENTATION, 3}};
const UI_DSPINFO kDuplex[] = {{DDM_DUPLEX, 3}};
const UI_DSPINFO kSummary[] = {{DDM_PAPERSIZE, 3}, {DDM_ORIENTATION, 3}};
const UI_DSPINFO kLayers[] = {{DDM_ORIENTATION, 3}, {DDM_PAPERSIZE, 3}};
const UI_DSPINFO kMixedStaple[] = {{36868, 3}};
const UI_DSPINFO kPosterBooklet[] = {{36891, 3}};
const UI_DSPINFO kNoName[] = {{36870, 3}};  // a function id model A does not name
const UI_BITMAP kPreview = {UI_HEADER_ICON};
const UI_STATICTEXT kItemName = {1, 0};

class DisplayTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    for (WORD unit : {4097, 4098, 4099, 4100, 4101, 4102, 4103, 4113, 4125}) SetNum(unit, 1);
    SetNum(DDM_PAPERSIZE, DMPAPER_A4);
    SetNum(DDM_ORIENTATION, 1);
    SetNum(DDM_DUPLEX, 1);
  }
  // The item position of a value of the setting in its list.
  LONG Pos(WORD id, LONG value) { return ItemIndex(id, value); }
  std::vector<KP_DRAWN> Drawn(int id) {
    std::vector<KP_DRAWN> d(64);
    d.resize(KpDrawnItems(Item(id), d.data(), static_cast<DWORD>(d.size())));
    return d;
  }
  CDM_ICON* ItemIcon(WORD id, LONG value) {
    UI_MSGINFO m = Msg();
    return cdmGetIconHandle(uiGetSelectInfo(&m, id), Pos(id, value));
  }
  std::u16string ItemName(WORD id, LONG value) {
    UI_MSGINFO m = Msg();
    LPCWSTR name = cdmGetSelectItemName(uiGetSelectInfo(&m, id), Pos(id, value));
    return name ? name : u"";
  }
  std::u16string FuncName(WORD id) {
    UI_MSGINFO m = Msg();
    LPCWSTR name = cdmGetSelectFuncName(uiGetSelectInfo(&m, id));
    return name ? name : u"";
  }
};

TEST_F(DisplayTest, TheDisplayStateTableFollowsTheDevmodeAndEndsAtAWrite) {
  const UI_IDTBL rows[] = {
      {IDC_PPR_PAPERSIZE, 1, kPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
      {IDC_PPR_PORTRAIT, 1, kOrientation, UI_CT_STATIC, nullptr, &kItemName, N, N, nullptr},
      {IDC_PPR_COVERSHEET, 0, nullptr, UI_CT_BUTTON, nullptr, nullptr, N, N, nullptr},
  };
  Rows(1, rows, 3);
  Open(IDD_PAPER);
  UI_MSGINFO m = Msg();
  UI_DLGDATA* data = m.data;
  ASSERT_NE(data, nullptr);

  SetNum(DDM_PAPERSIZE, DMPAPER_A3);
  SetNum(DDM_ORIENTATION, 2);
  uiGetAllDmIdData(&m);
  uiTabDspTblPosChange(&m);
  EXPECT_TRUE(data->positionsValid);
  EXPECT_EQ(data->values[0].type, 2);  // the paper size as the devmode keeps it
  EXPECT_EQ(data->positions[0], Pos(DDM_PAPERSIZE, DMPAPER_A3));
  EXPECT_EQ(data->positions[1], Pos(DDM_ORIENTATION, 2));
  EXPECT_EQ(data->values[2].type, 0);  // a button shows no setting
  EXPECT_EQ(data->positions[2], -1);
  EXPECT_EQ(uiGetDspPos(&m, &data->controlInfo->table[0]), Pos(DDM_PAPERSIZE, DMPAPER_A3));

  // A write ends the table: the handlers read the devmode again.
  ULONG_PTR a4 = DMPAPER_A4;
  WORD* changed = nullptr;
  EXPECT_EQ(uiSetRightData(&m, DDM_PAPERSIZE, 2, &a4, &changed), 1);
  GlobalFree(changed);
  EXPECT_FALSE(data->positionsValid);
  EXPECT_EQ(uiGetDspPos(&m, &data->controlInfo->table[0]), Pos(DDM_PAPERSIZE, DMPAPER_A4));

  // A redisplay shows the devmode's values and leaves no table behind.
  SetNum(DDM_PAPERSIZE, DMPAPER_A3);
  uiUpdateDisplay(&m, nullptr);
  EXPECT_FALSE(data->positionsValid);
  EXPECT_EQ(SendMessageW(Item(IDC_PPR_PAPERSIZE), CB_GETCURSEL, 0, 0), Pos(DDM_PAPERSIZE, DMPAPER_A3));
  EXPECT_EQ(Text(IDC_PPR_PORTRAIT), ItemName(DDM_ORIENTATION, 2));
  GlobalFree(m.changed);
}

TEST_F(DisplayTest, RowsShowingAFunctionIdTakeItsNameFromTheDescription) {
  const UI_STATICTEXT constraintOnly = {3, 0};
  const UI_IDTBL rows[] = {
      // The dialog itself, a control, a control's label, an id without a name.
      {UI_CTLID_SELF, 1, kMixedStaple, UI_CT_DUMMY, nullptr, nullptr, N, N, nullptr},
      {IDC_PPR_COVERSHEET, 1, kPosterBooklet, UI_CT_STATIC, nullptr, &constraintOnly, N, N, nullptr},
      {IDC_PPR_OHP, 1, kPosterBooklet, UI_CT_DUMMY, nullptr, nullptr, IDC_PPR_COLLATE, N, nullptr},
      {IDC_PPR_USERDEFINE, 1, kNoName, UI_CT_DUMMY, nullptr, nullptr, N, N, nullptr},
  };
  Rows(1, rows, 4);
  Open(IDD_PAPER);
  const std::u16string userDefine = Text(IDC_PPR_USERDEFINE), ohp = Text(IDC_PPR_OHP);
  Notify(PSN_SETACTIVE);
  WCHAR caption[128] = {};
  GetWindowTextW(dialog_, caption, 128);
  EXPECT_EQ(std::u16string(caption), u"Mixed Size Stapling");
  EXPECT_EQ(Text(IDC_PPR_COVERSHEET), u"Poster and Booklet");
  EXPECT_EQ(Text(IDC_PPR_COLLATE), u"Poster and Booklet");
  EXPECT_EQ(Text(IDC_PPR_OHP), ohp);
  EXPECT_EQ(Text(IDC_PPR_USERDEFINE), userDefine);
}

TEST_F(DisplayTest, ASummaryListShowsEachSettingAndWritesNothing) {
  const UI_IDTBL rows[] = {
      {IDC_PPR_PAPERSIZE, 2, kSummary, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
  };
  Rows(1, rows, 1);
  SetNum(DDM_ORIENTATION, 2);
  Open(IDD_PAPER);
  Notify(PSN_SETACTIVE);
  HWND combo = Item(IDC_PPR_PAPERSIZE);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  const std::u16string lines[] = {FuncName(DDM_PAPERSIZE) + u": " + ItemName(DDM_PAPERSIZE, DMPAPER_A4),
                                  FuncName(DDM_ORIENTATION) + u": " + ItemName(DDM_ORIENTATION, 2)};
  for (int i = 0; i < 2; ++i) {
    WCHAR text[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), lines[i]);
  }
  const std::vector<BYTE> before = Devmode();
  EXPECT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, 1));
  EXPECT_EQ(Devmode(), before);
}

TEST_F(DisplayTest, AListLosingTheFocusShowsTheStoredValueOfAnUnfinishedChoice) {
  const UI_IDTBL rows[] = {
      {IDC_PPR_PAPERSIZE, 1, kPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
      {IDC_PPR_DUPLEX, 1, kDuplex, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
  };
  Rows(1, rows, 2);
  Open(IDD_PAPER);
  Notify(PSN_SETACTIVE);
  HWND paper = Item(IDC_PPR_PAPERSIZE);
  const LRESULT stored = Pos(DDM_PAPERSIZE, DMPAPER_A4);
  ASSERT_EQ(SendMessageW(paper, CB_GETCURSEL, 0, 0), stored);
  const std::vector<BYTE> before = Devmode();
  // A selection moved without CBN_SELENDOK (as a closed list's arrow keys
  // do in some setups), then the focus goes elsewhere.
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_PAPERSIZE));
  SendMessageW(paper, CB_SETCURSEL, static_cast<WPARAM>(Pos(DDM_PAPERSIZE, DMPAPER_A3)), 0);
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_DUPLEX));
  EXPECT_EQ(SendMessageW(paper, CB_GETCURSEL, 0, 0), stored);
  EXPECT_EQ(Devmode(), before);
  // A finished choice stands when the focus leaves.
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_PAPERSIZE, static_cast<int>(Pos(DDM_PAPERSIZE, DMPAPER_A3))));
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_DUPLEX));
  EXPECT_EQ(Num(DDM_PAPERSIZE), DMPAPER_A3);
  EXPECT_EQ(SendMessageW(paper, CB_GETCURSEL, 0, 0), Pos(DDM_PAPERSIZE, DMPAPER_A3));
}

// A behaviour table's own drawing: one text naming the item.
LONG OwnDraw(UI_MSGINFO*, const UI_IDTBL*, DRAWITEMSTRUCT* d) {
  DrawTextW(d->hDC, u"own", -1, &d->rcItem, DT_LEFT);
  return TRUE;
}

TEST_F(DisplayTest, OwnerDrawnListItemsDrawTheirIconAndName) {
  const UI_LBCB own = {UI_LBCB_OWNDRAW, OwnDraw};
  const UI_LBCB plain = {0, OwnDraw};  // no flag: the engine draws
  struct Case {
    const char* what;
    const UI_LBCB* table;
    bool engine;
  };
  const Case cases[] = {{"no table", nullptr, true}, {"table without 0x20", &plain, true}, {"own drawing", &own, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const UI_IDTBL rows[] = {{IDC_STP_STAMP, 1, kOrientation, UI_CT_COMBO, nullptr, c.table, N, N, nullptr}};
    Rows(17, rows, 1);
    Open(IDD_STAMP, 17);
    Notify(PSN_SETACTIVE);
    ASSERT_TRUE(Act(KP_UI_PAINT, IDC_STP_STAMP));
    std::vector<KP_DRAWN> d = Drawn(IDC_STP_STAMP);
    // The selection (the combo's edit field), then each item.
    const LONG values[] = {1, 1, 2};
    const DWORD items[] = {static_cast<DWORD>(Pos(DDM_ORIENTATION, 1)), 0, 1};
    ASSERT_EQ(d.size(), c.engine ? 6u : 3u);
    for (size_t i = 0; i < 3; ++i) {
      const KP_DRAWN* icon = c.engine ? &d[2 * i] : nullptr;
      const KP_DRAWN& text = c.engine ? d[2 * i + 1] : d[i];
      EXPECT_EQ(text.item, items[i]);
      EXPECT_EQ(text.kind, 1u);
      if (!c.engine) {
        EXPECT_EQ(std::u16string(text.text), u"own");
        continue;
      }
      const LONG value = i == 0 ? values[0] : (items[i] == static_cast<DWORD>(Pos(DDM_ORIENTATION, 1)) ? 1 : 2);
      EXPECT_EQ(icon->kind, 2u);
      EXPECT_EQ(icon->icon, ItemIcon(DDM_ORIENTATION, value));
      EXPECT_NE(icon->icon, nullptr);
      EXPECT_EQ(std::u16string(text.text), ItemName(DDM_ORIENTATION, value));
    }
  }
}

TEST_F(DisplayTest, ThePreviewDrawsItsLayersInOrder) {
  const UI_IDTBL rows[] = {{IDC_STP_PREVIEW, 2, kLayers, UI_CT_BITMAP, nullptr, &kPreview, N, N, nullptr}};
  Rows(17, rows, 1);
  const DWORD icons = KpLiveIconCount();
  struct Case {
    LONG orientation;
    LONG paper;
  };
  for (const Case& c : {Case{1, DMPAPER_A4}, Case{2, DMPAPER_ENV_DL}}) {
    SCOPED_TRACE(c.orientation);
    SetNum(DDM_ORIENTATION, c.orientation);
    SetNum(DDM_PAPERSIZE, c.paper);
    Open(IDD_STAMP, 17);
    Notify(PSN_SETACTIVE);
    ASSERT_TRUE(Act(KP_UI_PAINT, IDC_STP_PREVIEW));
    std::vector<KP_DRAWN> d = Drawn(IDC_STP_PREVIEW);
    ASSERT_EQ(d.size(), 3u);
    for (const KP_DRAWN& k : d) EXPECT_EQ(k.kind, 2u);
    // The base picture (an icon of the resource module, handed back once
    // drawn), then the orientation's and the paper's icons.
    EXPECT_NE(d[0].icon, nullptr);
    EXPECT_NE(d[0].icon, d[1].icon);
    EXPECT_EQ(d[1].icon, ItemIcon(DDM_ORIENTATION, c.orientation));
    EXPECT_EQ(d[2].icon, ItemIcon(DDM_PAPERSIZE, c.paper));
    EXPECT_NE(d[2].icon, nullptr);
    EXPECT_EQ(KpLiveIconCount(), icons);
  }
  EXPECT_NE(ItemIcon(DDM_ORIENTATION, 1), ItemIcon(DDM_ORIENTATION, 2));
  EXPECT_NE(ItemIcon(DDM_PAPERSIZE, DMPAPER_A4), ItemIcon(DDM_PAPERSIZE, DMPAPER_ENV_DL));
}

TEST_F(DisplayTest, AdministratorRowsWithoutPermission) {
  const UI_DSPINFO collate[] = {{DDM_COLLATE, 3}};
  const UI_IDTBL rows[] = {
      {IDC_PPR_COLLATE, 1, collate, UI_CT_CHECK, nullptr, nullptr, N, N, &SubIdTbl_Admin},
      // Its label (here the N-up combo) follows the duplex combo.
      {IDC_PPR_DUPLEX, 1, kDuplex, UI_CT_COMBO, nullptr, nullptr, IDC_PPR_NUP, N, &SubIdTbl_AdminDspByControl},
      {IDC_PPR_PAPERSIZE, 1, kPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
  };
  struct Case {
    WORD permission;
    BOOL collate, duplex, label, paper;  // enabled
  } const cases[] = {{1, TRUE, TRUE, TRUE, TRUE}, {0, FALSE, FALSE, FALSE, TRUE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.permission);
    Sheet()->permission = c.permission;
    Rows(1, rows, 3);
    Open(IDD_PAPER);
    Notify(PSN_SETACTIVE);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_COLLATE)), c.collate);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_DUPLEX)), c.duplex);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_NUP)), c.label);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_PAPERSIZE)), c.paper);
    EXPECT_TRUE(IsWindowVisible(Item(IDC_PPR_COLLATE)));
  }
}

}  // namespace
}  // namespace kestrel::test::ui
