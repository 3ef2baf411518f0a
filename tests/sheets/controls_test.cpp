// The control handlers on model A's settings: writing a value through the
// constraint engine, the constraint display, edits, check boxes, radio
// groups, spin, scroll bar and slider.
#include "kestrel/core/qsp.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/user32_messagebox.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

constexpr LONG N = UI_NOSTRING;
const UI_DSPINFO kPaper[] = {{DDM_PAPERSIZE, 3}};
const UI_DSPINFO kDuplex[] = {{DDM_DUPLEX, 3}};
const UI_DSPINFO kLayout[] = {{321, 3}};
const UI_DSPINFO kCollate[] = {{DDM_COLLATE, 3}};
const UI_DSPINFO kCopies[] = {{DDM_COPIES, 3}};
const UI_DSPINFO kOrientation[] = {{DDM_ORIENTATION, 3}};
const UI_DSPINFO kStaple[] = {{320, 3}};
const UI_EDITRULE kCopiesRule = {UI_EDIT_NUMBER, 4, nullptr, UI_CHECK_KILLACTIVE | UI_CHECK_KILLFOCUS | UI_CHECK_VALIDATE};
const LONG kOrientIds[] = {IDC_PPR_PORTRAIT, IDC_PPR_LANDSCAPE};
const UI_RADIOPOS kOrientPos = {2, kOrientIds};

// The Paper template with test rows: paper, duplex, layout (on the output
// paper combo), collate, copies and their spin, orientation.
const UI_IDTBL kPaperRows[] = {
    {IDC_PPR_PAPERSIZE, 1, kPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_DUPLEX, 1, kDuplex, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_OUTPUTPAPER, 1, kLayout, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COLLATE, 1, kCollate, UI_CT_CHECK, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COPIES, 1, kCopies, UI_CT_EDIT, nullptr, &kCopiesRule, N, N, nullptr},
    {IDC_PPR_COPIES_SPIN, 1, kCopies, UI_CT_SPIN, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_PORTRAIT, 1, kOrientation, UI_CT_RADIO, nullptr, &kOrientPos, N, N, nullptr},
    {IDC_PPR_LANDSCAPE, 1, kOrientation, UI_CT_RADIO, nullptr, &kOrientPos, N, N, nullptr},
    {IDC_PPR_NUP, 1, kStaple, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
};

class ControlTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    // Everything installed, A4, one-sided, portrait, one page a sheet.
    for (WORD unit : {4097, 4098, 4099, 4100, 4101, 4102, 4103, 4113, 4125}) SetNum(unit, 1);
    SetNum(DDM_PAPERSIZE, DMPAPER_A4);
    SetNum(DDM_DUPLEX, 1);
    SetNum(DDM_ORIENTATION, 1);
    SetNum(DDM_NUP, 1);
    SetNum(321, 0);
    SetNum(DDM_COLLATE, 1);
    SetNum(DDM_COPIES, 1);
    Rows(1, kPaperRows, sizeof kPaperRows / sizeof kPaperRows[0]);
  }
  LONG Write(WORD id, WORD type, LONG value, std::vector<WORD>* changed = nullptr) {
    UI_MSGINFO m = Msg();
    ULONG_PTR slot = 0;
    std::memcpy(&slot, &value, sizeof value);
    WORD* list = nullptr;
    LONG r = uiSetRightData(&m, id, type, &slot, &list);
    if (changed) {
      changed->clear();
      for (WORD* p = list; p && *p; ++p) changed->push_back(*p);
    }
    GlobalFree(list);
    return r;
  }
  LRESULT Sel(int id) { return SendMessageW(Item(id), CB_GETCURSEL, 0, 0); }
};

TEST_F(ControlTest, WritingAValueThroughTheRules) {
  Open(IDD_PAPER);
  std::vector<WORD> changed;
  // Unchanged: 3.
  EXPECT_EQ(Write(DDM_PAPERSIZE, 2, DMPAPER_A4), 3);
  // A value not in the list: -1, nothing written.
  EXPECT_EQ(Write(DDM_PAPERSIZE, 2, 9999), -1);
  EXPECT_EQ(Num(DDM_PAPERSIZE), DMPAPER_A4);
  // A rule whose solution needs no answer (poster clears collate): 1, both
  // on the changed list.
  EXPECT_EQ(Write(321, 3, 1, &changed), 1);
  EXPECT_EQ(Num(321), 1);
  EXPECT_EQ(Num(DDM_COLLATE), 0);
  EXPECT_NE(std::find(changed.begin(), changed.end(), DDM_COLLATE), changed.end());
  EXPECT_NE(std::find(changed.begin(), changed.end(), 321), changed.end());
  SetNum(321, 0);
  // A WARNING answered Cancel (two-sided envelope): refused, 2, the devmode
  // bytes as they were.
  SetNum(DDM_PAPERSIZE, 20);
  std::vector<BYTE> before = Devmode();
  KpQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(Write(DDM_DUPLEX, 2, 2), 2);
  EXPECT_EQ(Devmode(), before);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  // ... answered OK: accepted, and the rule's solution (one-sided) stands.
  KpQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(Write(DDM_DUPLEX, 2, 2, &changed), 1);
  EXPECT_EQ(Num(DDM_DUPLEX), 1);
  EXPECT_NE(std::find(changed.begin(), changed.end(), DDM_DUPLEX), changed.end());
  // Action 1 (booklet with 4 pages a sheet): not allowed, -1.
  SetNum(DDM_NUP, 4);
  EXPECT_EQ(Write(321, 3, 2), -1);
  EXPECT_EQ(Num(321), 0);
  // A write while another is in progress (a message sent during its box): 2.
  Sheet()->writing = 1;
  EXPECT_EQ(Write(DDM_PAPERSIZE, 2, DMPAPER_A3), 2);
  Sheet()->writing = 0;
  EXPECT_EQ(Num(DDM_PAPERSIZE), 20);
}

TEST_F(ControlTest, AChoiceTheRulesRefuseShowsTheStoredValue) {
  Open(IDD_PAPER);
  // Booklet is not allowed with 4 pages a sheet: the layout combo goes back.
  SetNum(DDM_NUP, 4);
  Notify(PSN_SETACTIVE);
  const int booklet = ItemIndex(321, 2), poster = ItemIndex(321, 1), normal = ItemIndex(321, 0);
  ASSERT_GE(booklet, 0);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_OUTPUTPAPER, booklet));
  EXPECT_EQ(Num(321), 0);
  EXPECT_EQ(Sel(IDC_PPR_OUTPUTPAPER), normal);
  // A WARNING answered Cancel: the duplex combo and the devmode keep one-sided.
  SetNum(DDM_NUP, 1);
  SetNum(DDM_PAPERSIZE, 20);
  Notify(PSN_SETACTIVE);
  KpQueueMessageBoxAnswer(IDCANCEL);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_DUPLEX, ItemIndex(DDM_DUPLEX, 2)));
  EXPECT_EQ(Num(DDM_DUPLEX), 1);
  EXPECT_EQ(Sel(IDC_PPR_DUPLEX), ItemIndex(DDM_DUPLEX, 1));
  // Poster clears collate: the check box (a second control) shows it.
  EXPECT_EQ(SendMessageW(Item(IDC_PPR_COLLATE), BM_GETCHECK, 0, 0), BST_CHECKED);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_PPR_OUTPUTPAPER, poster));
  EXPECT_EQ(Num(321), 1);
  EXPECT_EQ(SendMessageW(Item(IDC_PPR_COLLATE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // The same choice by keys writes once.
  SetNum(321, 0);
  Notify(PSN_SETACTIVE);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_KEYS, IDC_PPR_PAPERSIZE, ItemIndex(DDM_PAPERSIZE, DMPAPER_A3)));
  EXPECT_EQ(Num(DDM_PAPERSIZE), DMPAPER_A3);
}

TEST_F(ControlTest, ConstraintDisplayByStateAndType) {
  Open(IDD_PAPER);
  struct Case {
    WORD state;
    bool editEnabled, editVisible, editReadOnly;
    bool comboEnabled, comboVisible;
    bool otherEnabled, otherVisible;
  };
  const Case cases[] = {
      {0, true, true, false, true, true, true, true},     {1, false, true, false, false, true, false, true},
      {6, false, false, false, false, false, false, false}, {14, true, true, true, false, true, true, true},
      {15, true, true, false, false, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    uiApplyConstState(Item(IDC_PPR_COPIES), UI_CT_EDIT, c.state);
    uiApplyConstState(Item(IDC_PPR_PAPERSIZE), UI_CT_COMBO, c.state);
    uiApplyConstState(Item(IDC_PPR_COLLATE), UI_CT_CHECK, c.state);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_COPIES)) != 0, c.editEnabled);
    EXPECT_EQ(IsWindowVisible(Item(IDC_PPR_COPIES)) != 0, c.editVisible);
    EXPECT_EQ((GetWindowLongW(Item(IDC_PPR_COPIES), GWL_STYLE) & ES_READONLY) != 0, c.editReadOnly);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_PAPERSIZE)) != 0, c.comboEnabled);
    EXPECT_EQ(IsWindowVisible(Item(IDC_PPR_PAPERSIZE)) != 0, c.comboVisible);
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_COLLATE)) != 0, c.otherEnabled);
    EXPECT_EQ(IsWindowVisible(Item(IDC_PPR_COLLATE)) != 0, c.otherVisible);
  }
}

TEST_F(ControlTest, ConstraintStateOfTheRowsFromRulesPermissionAndPreConfiguration) {
  // Staple without a finisher: the model's rule (action 7) leaves the
  // control enabled; without permission a button row's action becomes 1.
  static const UI_BUTTON kHelp = {7, nullptr};
  static const UI_DSPINFO kStapleDsp[] = {{320, 3}};
  static const UI_IDTBL rows[] = {
      {IDC_PPR_NUP, 1, kStapleDsp, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
      {IDC_PPR_COVERSHEET, 1, kStapleDsp, UI_CT_BUTTON, nullptr, &kHelp, N, N, nullptr},
  };
  Rows(1, rows, 2);
  SetNum(4099, 0);
  SetNum(320, 1);
  for (WORD permission : {1, 0}) {
    SCOPED_TRACE(permission);
    Sheet()->permission = permission;
    Open(IDD_PAPER);
    UI_MSGINFO m = Msg();
    EXPECT_EQ(uiGetNowFuncConst(&m, &rows[0]), 7);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_PPR_NUP)));
    EXPECT_EQ(IsWindowEnabled(Item(IDC_PPR_COVERSHEET)) != 0, permission == 1);
  }
  // Pre-configuration display flags win over the rules.
  struct Flag {
    const char* display;
    WORD state;
  } const flags[] = {{"0", 6}, {"1", 1}, {"2", 0}};
  for (const Flag& f : flags) {
    SCOPED_TRACE(f.display);
    root_.WriteDriverFile("K350.cfg", std::string("[Scriva_K350]\nstaple.display=") + f.display + "\n");
    cddd_Close(uiRoot_->uiData->ddd);
    uiRoot_->uiData->ddd = cddd_Open(printer_);
    Open(IDD_PAPER);
    UI_MSGINFO m = Msg();
    EXPECT_EQ(uiGetNowFuncConst(&m, &rows[0]), f.state);
  }
}

TEST_F(ControlTest, EditOfANumber) {
  Open(IDD_PAPER);
  EXPECT_EQ(Text(IDC_PPR_COPIES), u"1");
  // Typed and left: written.
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"12"));
  EXPECT_EQ(Num(DDM_COPIES), 1);  // a number is checked when the field is left
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_COLLATE));
  EXPECT_EQ(Num(DDM_COPIES), 12);
  // Out of range: refused with a message, the focus back and the stored
  // value shown; leaving the page is refused and the field still works.
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"0"));
  EXPECT_EQ(Notify(PSN_KILLACTIVE), TRUE);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(Text(IDC_PPR_COPIES), u"12");
  EXPECT_EQ(GetFocus(), Item(IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"5"));
  EXPECT_EQ(Notify(PSN_KILLACTIVE), FALSE);
  EXPECT_EQ(Num(DDM_COPIES), 5);
  // The validate-all message refuses an invalid value too.
  UI_MSGINFO m = Msg();
  SetWindowTextW(Item(IDC_PPR_COPIES), u"abc");
  EXPECT_EQ(uiAllControl(&m, UIM_VALIDATE, 0, 0, kPaperRows, sizeof kPaperRows / sizeof kPaperRows[0], 0), 1);
  EXPECT_EQ(Num(DDM_COPIES), 5);
}

TEST_F(ControlTest, EditOfTextAndSecrets) {
  static const UI_DSPINFO kUser[] = {{DDM_ACCOUNT_ID, 3}};
  static const UI_DSPINFO kSecret[] = {{DDM_FAX_PASSWORD, 3}};
  static const UI_EDITRULE kText = {UI_EDIT_TEXT, 8, nullptr, UI_CHECK_KILLFOCUS};
  static const UI_EDITRULE kSecretRule = {UI_EDIT_TEXT | UI_EDIT_SECRET, 8, nullptr, UI_CHECK_KILLFOCUS};
  static const UI_IDTBL rows[] = {
      {IDC_LBX_USERID, 1, kUser, UI_CT_EDIT, nullptr, &kText, N, N, nullptr},
      {IDC_LBX_PASSWORD, 1, kSecret, UI_CT_EDIT, nullptr, &kSecretRule, N, N, nullptr},
  };
  Rows(44, rows, 2);
  Open(IDD_KNOWLEDGE, 44);
  auto stored = [&](WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(ddm_GetValue(id, uiRoot_->devmode, uiRoot_->printerData, &type, &size, &v), 0);
    return std::u16string(v ? reinterpret_cast<const char16_t*>(v) : u"");
  };
  // Each keystroke is written.
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_LBX_USERID));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_LBX_USERID, 0, u"abc"));
  EXPECT_EQ(stored(DDM_ACCOUNT_ID), u"abc");
  // Under code page 932 a text longer in bytes than the limit puts the
  // previous text back.
  ASSERT_TRUE(KpSetACP(932));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_LBX_USERID, 0, u"\u3042\u3044"));  // 3 + 4 bytes = 7
  EXPECT_EQ(stored(DDM_ACCOUNT_ID), u"abc\u3042\u3044");
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_LBX_USERID, 0, u"\u3046"));  // 9 bytes: refused
  EXPECT_EQ(Text(IDC_LBX_USERID), u"abc\u3042\u3044");
  EXPECT_EQ(stored(DDM_ACCOUNT_ID), u"abc\u3042\u3044");
  KpSetACP(1252);
  // A secret is stored scrambled and Base64-coded, shown plain.
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_LBX_PASSWORD));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_LBX_PASSWORD, 0, u"1234"));
  std::u16string kept = stored(DDM_FAX_PASSWORD);
  EXPECT_NE(kept, u"1234");
  LPWSTR plain = nullptr;
  ASSERT_TRUE(zanlib_EncodeOrDecodeData(2, reinterpret_cast<LPCWSTR>(kept.c_str()), &plain));
  EXPECT_EQ(std::u16string(plain), u"1234");
  kcore_Free(plain);
  Notify(PSN_SETACTIVE);
  EXPECT_EQ(Text(IDC_LBX_PASSWORD), u"1234");
}

TEST_F(ControlTest, CheckBoxRadioGroupAndSpin) {
  Open(IDD_PAPER);
  // Check box: item 0 checked.
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_PPR_COLLATE));
  EXPECT_EQ(Num(DDM_COLLATE), 0);
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_PPR_COLLATE));
  EXPECT_EQ(Num(DDM_COLLATE), 1);
  // Radio group: the button's place in the group is the item.
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_PPR_LANDSCAPE));
  EXPECT_EQ(Num(DDM_ORIENTATION), 2);
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_PPR_PORTRAIT));
  EXPECT_EQ(Num(DDM_ORIENTATION), 1);
  // Spin: the range of the setting, a step writes and the buddy shows it;
  // at the limit nothing goes beyond it.
  LRESULT range = SendMessageW(Item(IDC_PPR_COPIES_SPIN), UDM_GETRANGE, 0, 0);
  EXPECT_EQ(static_cast<SHORT>(HIWORD(range)), 1);  // lower limit in the high word
  ASSERT_TRUE(Act(KP_UI_STEP, IDC_PPR_COPIES_SPIN, 1));
  EXPECT_EQ(Num(DDM_COPIES), 2);
  EXPECT_EQ(Text(IDC_PPR_COPIES), u"2");
  ASSERT_TRUE(Act(KP_UI_STEP, IDC_PPR_COPIES_SPIN, -1));
  ASSERT_TRUE(Act(KP_UI_STEP, IDC_PPR_COPIES_SPIN, -1));
  EXPECT_EQ(Num(DDM_COPIES), 1);
}

TEST_F(ControlTest, ScrollBarWithANegativeMinimumAndSliderCodes) {
  // Colour adjustment (a range with a negative minimum) on the stamp
  // dialog's scroll bar and the colour set-up's slider.
  static const UI_DSPINFO kAdjust[] = {{274, 3}};
  static const UI_SLIDER kPlain = {0, 0};
  static const UI_IDTBL rows[] = {
      {IDC_STE_POSX, 1, kAdjust, UI_CT_SCROLL, nullptr, nullptr, N, N, nullptr},
      {IDC_STE_ANGLE, 1, kAdjust, UI_CT_SLIDER, nullptr, &kPlain, N, N, nullptr},
  };
  Rows(18, rows, 2);
  Open(IDD_STAMP_EDIT, 18);
  UI_MSGINFO m = Msg();
  LONG lo = 0, hi = 0;
  ASSERT_TRUE(uiGetMinMax(&m, 274, &lo, &hi));
  ASSERT_LT(lo, 0);
  int a = 0, b = 0;
  ASSERT_TRUE(GetScrollRange(Item(IDC_STE_POSX), SB_CTL, &a, &b));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, hi - lo);
  const LONG start = Num(274);
  ASSERT_TRUE(Act(KP_UI_STEP, IDC_STE_POSX, SB_LINEDOWN));
  EXPECT_EQ(Num(274), start + 1);
  // Slider: a page-key message writes nothing; the TB_ENDTRACK that ends
  // the key's movement writes where the thumb stands; a line key writes.
  HWND slider = Item(IDC_STE_ANGLE);
  const LONG now = Num(274);
  SendMessageW(slider, TBM_SETPOS, TRUE, now + 5);
  SendMessageW(dialog_, WM_HSCROLL, TB_PAGEUP, reinterpret_cast<LPARAM>(slider));
  EXPECT_EQ(Num(274), now);
  SendMessageW(dialog_, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
  EXPECT_EQ(Num(274), now + 5);
  ASSERT_TRUE(Act(KP_UI_STEP, IDC_STE_ANGLE, TB_LINEDOWN));
  EXPECT_EQ(Num(274), now + 6);
}

}  // namespace
}  // namespace kestrel::test::ui

namespace kestrel::test::ui {
namespace {

// Each validation switch works on its own occasion only; a number in
// millimetres is shown and read in inches when the sheet shows inches.
TEST_F(ControlTest, EditSwitchesAndUnits) {
  struct Case {
    const char* what;
    BYTE switches;
    bool focusChecks, leaveChecks, validateChecks;
  } const cases[] = {
      {"0x08: loss of focus", UI_CHECK_KILLFOCUS, true, false, false},
      {"0x04: leaving the page", UI_CHECK_KILLACTIVE, false, true, false},
      {"0x10: the dialog's OK", UI_CHECK_VALIDATE, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const UI_EDITRULE rule = {UI_EDIT_NUMBER, 4, nullptr, c.switches};
    const UI_IDTBL rows[] = {{IDC_PPR_COPIES, 1, kCopies, UI_CT_EDIT, nullptr, &rule, N, N, nullptr}};
    Rows(1, rows, 1);
    SetNum(DDM_COPIES, 1);
    Open(IDD_PAPER);
    KpClearMessageBoxes();
    ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
    ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"0"));
    ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_COLLATE));
    EXPECT_EQ(KpMessageBoxCount(), c.focusChecks ? 1u : 0u);
    SetWindowTextW(Item(IDC_PPR_COPIES), u"0");
    EXPECT_EQ(Notify(PSN_KILLACTIVE), c.leaveChecks ? TRUE : FALSE);
    SetWindowTextW(Item(IDC_PPR_COPIES), u"0");
    UI_MSGINFO m = Msg();
    EXPECT_EQ(uiAllControl(&m, UIM_VALIDATE, 0, 0, rows, 1, 0), c.validateChecks ? 1 : 0);
    EXPECT_EQ(Num(DDM_COPIES), 1);
  }
  // Millimetres shown in inches (hundredths): 254 tenths of a millimetre
  // show as 100; 50 typed is stored as 127.
  const UI_EDITRULE mm = {UI_EDIT_NUMBER | UI_EDIT_MMINCH, 4, nullptr, UI_CHECK_KILLFOCUS};
  const UI_IDTBL rows[] = {{IDC_PPR_COPIES, 1, kCopies, UI_CT_EDIT, nullptr, &mm, N, N, nullptr}};
  Rows(1, rows, 1);
  uiRoot_->uiData->winData.paperUnit = UIWINDATA_UNIT_INCH;
  SetNum(DDM_COPIES, 254);
  Open(IDD_PAPER);
  EXPECT_EQ(Text(IDC_PPR_COPIES), u"100");
  ASSERT_TRUE(Act(KP_UI_SELECT_ALL, IDC_PPR_COPIES));
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_PPR_COPIES, 0, u"50"));
  ASSERT_TRUE(Act(KP_UI_FOCUS, IDC_PPR_COLLATE));
  EXPECT_EQ(Num(DDM_COPIES), 127);
}

}  // namespace
}  // namespace kestrel::test::ui
