// The insert page-position dialogs: what a typed list stores in each
// dialog kind, which message it gives, leaving with OK and Cancel, and a
// failing write that must leave the previous 20 positions.
#include <string>
#include <vector>

#include "kestrel/sheets/sheet_dialogs.h"
#include "kplatform/user32_messagebox.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

using Positions = std::vector<LONG>;

class PositionTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    if (HasFatalFailure()) return;
    Store({9, 8});
  }
  void Store(const Positions& p) {
    for (int i = 0; i < UI_POSITION_COUNT; ++i)
      SetNum(static_cast<WORD>(DDM_INSERT_POSITION_FIRST + i), i < static_cast<int>(p.size()) ? p[i] : 0);
  }
  Positions Stored() {
    Positions out;
    for (int i = 0; i < UI_POSITION_COUNT; ++i) {
      LONG v = Num(static_cast<WORD>(DDM_INSERT_POSITION_FIRST + i));
      if (v) out.push_back(v);
    }
    return out;
  }
  void Kind(LONG kind) { SetNum(UI_DDM_BOOKLET_UNIT, kind == 2 ? 1 : 0); }
  void Enter(const std::u16string& text) {
    Act(KP_UI_SELECT_ALL, IDC_CVI_POSITION);
    SendMessageW(Item(IDC_CVI_POSITION), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
    if (!text.empty()) Act(KP_UI_TYPE, IDC_CVI_POSITION, 0, reinterpret_cast<LPCWSTR>(text.c_str()));
    Act(KP_UI_FOCUS, IDOK);  // the field loses the focus
  }
};

std::u16string Numbers(int from, int to) {
  std::u16string s;
  for (int i = from; i <= to; ++i) {
    if (!s.empty()) s += u',';
    s += Widen(std::to_string(i));
  }
  return s;
}

TEST_F(PositionTest, TypedListsByDialogKind) {
  Positions twenty;
  for (LONG i = 1; i <= 20; ++i) twenty.push_back(i);
  struct Case {
    const char* what;
    LONG kind;
    std::u16string typed;
    Positions stored;        // {9, 8} is what was there
    const char16_t* box;     // a fragment of the message, or null
  } const cases[] = {
      {"kind 1 keeps the order", 1, u"3,1,2", {3, 1, 2}, nullptr},
      {"kind 2 sorts", 2, u"3,1,2", {1, 2, 3}, nullptr},
      {"kind 1 refuses a page twice", 1, u"5,5", {9, 8}, u"only once"},
      {"kind 2 keeps a page twice", 2, u"5,5", {5, 5}, nullptr},
      {"twenty numbers", 1, Numbers(1, 20), twenty, nullptr},
      {"twenty-one numbers", 1, Numbers(1, 21), {9, 8}, u"At most 20 pages"},
      {"empty tokens", 1, u",,4,,", {4}, nullptr},
      {"a lone comma", 1, u",", {9, 8}, u"from 1 to 9999"},
      {"ten digits", 1, u"1234567890", {9, 8}, u"from 1 to 9999"},
      {"above the maximum", 1, u"10000", {9, 8}, u"from 1 to 9999"},
      {"page 0", 1, u"0", {9, 8}, u"from 1 to 9999"},
      {"a blank", 1, u"1, 2", {9, 8}, u"from 1 to 9999"},
      {"empty", 1, u"", {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Kind(c.kind);
    Store({9, 8});
    Open(IDD_COVERINSERT, 37);
    KpClearMessageBoxes();
    Enter(c.typed);
    EXPECT_EQ(Stored(), c.stored);
    if (c.box) {
      ASSERT_EQ(KpMessageBoxCount(), 1u);
      EXPECT_NE(Box().find(c.box), std::u16string::npos);
      EXPECT_EQ(Text(IDC_CVI_POSITION), u"9,8");  // the stored list again
      EXPECT_EQ(GetFocus(), Item(IDC_CVI_POSITION));
    } else {
      EXPECT_EQ(KpMessageBoxCount(), 0u);
    }
  }
}

TEST_F(PositionTest, ShownListStopsAtTheFirstGap) {
  Store({0, 0, 4, 6, 0, 7});
  Open(IDD_COVERINSERT_DFINISHER, 48);
  EXPECT_EQ(Text(IDC_CVI_POSITION), u"4,6");
}

TEST_F(PositionTest, EmptyListCannotBeLeftWithOkButWithCancel) {
  auto run = [&](int button) {
    KpClearMessageBoxes();
    Store({9, 8});
    KP_UI_ACTION clear = {KP_UI_CALL, 0, 0, nullptr,
                          [](HWND w, void*) { SetDlgItemTextW(w, IDC_CVI_POSITION, u""); }, nullptr};
    KP_UI_ACTION press = {button, 0, 0, nullptr, nullptr, nullptr};
    KP_UI_ACTION script[] = {clear, press};
    KpScriptDialog(IDD_COVERINSERT, script, 2);
    return DialogBoxParamW(resource_get_hInstance(), MAKEINTRESOURCEW(IDD_COVERINSERT), nullptr, uiDlgCoverInsert,
                           reinterpret_cast<LPARAM>(uiRoot_));
  };
  // OK: message 4730 and the dialog stays (the script's end cancels it).
  EXPECT_EQ(run(KP_UI_OK), IDCANCEL);
  ASSERT_GE(KpMessageBoxCount(), 1u);
  EXPECT_NE(Box().find(u"from 1 to 9999"), std::u16string::npos);
  // Cancel leaves at once, without a message.
  EXPECT_EQ(run(KP_UI_CANCEL), IDCANCEL);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
}

TEST_F(PositionTest, FailingWriteLeavesThePreviousTwenty) {
  // A table whose twentieth item is a text: the twentieth write fails.
  static UI_DSPINFO dsp[UI_POSITION_COUNT];
  for (int i = 0; i < UI_POSITION_COUNT - 1; ++i) dsp[i] = {static_cast<WORD>(DDM_INSERT_POSITION_FIRST + i), 3};
  dsp[UI_POSITION_COUNT - 1] = {DDM_FAX_DOCUMENT_NAME, 3};
  static const UI_POSITIONEDIT edit = {99, 1, 9999};
  static const UI_IDTBL rows[] = {
      {IDC_CVI_POSITION, UI_POSITION_COUNT, dsp, UI_CT_EDIT, uiDspCvi_InsertPositionEdit, &edit, UI_NOSTRING,
       UI_NOSTRING, nullptr},
  };
  Rows(37, rows, 1);
  Store({9, 8});
  Open(IDD_COVERINSERT, 37);
  std::vector<BYTE> before = Devmode();
  KpClearMessageBoxes();
  Act(KP_UI_SELECT_ALL, IDC_CVI_POSITION);
  Act(KP_UI_TYPE, IDC_CVI_POSITION, 0, u"1,2,3");
  UI_MSGINFO m = Msg();
  EXPECT_EQ(uiDspCvi_InsertPositionEdit(&m, WM_COMMAND, static_cast<WPARAM>(MAKELONG(IDC_CVI_POSITION, EN_KILLFOCUS)), 0, &rows[0], &edit),
            1);  // stay, no message
  EXPECT_EQ(Devmode(), before);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
}

TEST_F(PositionTest, DialogKindFollowsTheBookletUnit) {
  Kind(1);
  EXPECT_EQ(uiCom_GetCoverInsertDlgKind(uiRoot_), 1);
  Kind(2);
  EXPECT_EQ(uiCom_GetCoverInsertDlgKind(uiRoot_), 2);
  EXPECT_EQ(uiCom_GetCoverInsertDlgKind(nullptr), 0);
}

}  // namespace
}  // namespace kestrel::test::ui
