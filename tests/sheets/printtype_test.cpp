// The print-type dialogs on model A: the empty user id on OK and Cancel,
// the passwords' variants by capability, the Lorebox box number and OK, the
// delayed-print time and its spins, Defaults without permission.
#include "kestrel/core/qsp.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kplatform/user32_messagebox.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

class PrintTypeTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    if (HasFatalFailure()) return;
    SetText(UI_DDM_USERID, u"");
    SetText(UI_DDM_PASSWORD, u"");
    SetText(UI_DDM_PASSWORD_SCRAMBLED, u"");
  }
  void SetText(WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, uiRoot_->devmode, uiRoot_->printerData, DDM_TYPE_STRING,
                           static_cast<DWORD>((text.size() + 1) * 2), text.c_str()),
              0)
        << id;
  }
  std::u16string Stored(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(ddm_GetValue(id, uiRoot_->devmode, uiRoot_->printerData, &type, &size, &v), 0) << id;
    return v ? std::u16string(reinterpret_cast<const char16_t*>(v)) : u"";
  }
};

TEST_F(PrintTypeTest, EmptyUserIdOnOkAndOnCancel) {
  SetNum(UI_DDM_PRINTTYPE, 1);
  SetText(UI_DDM_PASSWORD, u"12");
  // OK without a user id: 701, the dialog stays; the script's end cancels
  // it: 711; the print type is as it was. No user id, no password.
  EXPECT_EQ(Run(IDD_SECURITY, uiDlgSecurityPrint, {Do(KP_UI_OK)}), IDCANCEL);
  EXPECT_EQ(Stored(UI_DDM_PASSWORD), u"");
  std::vector<std::u16string> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find(u"Print Type: Secure Print needs a user ID"), std::u16string::npos);
  EXPECT_NE(boxes[1].find(u"without a user ID"), std::u16string::npos);
  EXPECT_EQ(Num(UI_DDM_PRINTTYPE), 1);
  // With a user id OK ends the dialog; the name of the print type is shown.
  KpClearMessageBoxes();
  std::u16string title;
  KP_UI_ACTION look = {KP_UI_CALL, 0, 0, nullptr,
                       [](HWND w, void* c) {
                         WCHAR t[64] = {};
                         GetDlgItemTextW(w, IDC_PTY_NAME, t, 64);
                         *static_cast<std::u16string*>(c) = t;
                       },
                       &title};
  EXPECT_EQ(Run(IDD_SAMPLE, uiDlgSamplePrint, {look, Type(IDC_PTY_USERID, u"alice"), Do(KP_UI_OK)}), IDOK);
  EXPECT_EQ(title, u"Secure Print");
  EXPECT_EQ(Stored(UI_DDM_USERID), u"alice");
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  // Capability -65490 switches the checks off.
  SetText(UI_DDM_USERID, u"");
  UseCapabilities(0x04070000, 1u << (46 - 32));
  EXPECT_EQ(Run(IDD_SECURITY, uiDlgSecurityPrint, {Do(KP_UI_OK)}), IDOK);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
}

TEST_F(PrintTypeTest, LongestPasswordOfEachVariantReadsBack) {
  struct Case {
    const char* what;
    DWORD caps;
    LONG templateId;
    DLGPROC proc;
    int control;
    WORD id;
    const char16_t* longest;
    bool scrambled;
  } const cases[] = {
      {"plain", 0x04070000, IDD_SECURITY, uiDlgSecurityPrint, IDC_PTY_PASSWORD, UI_DDM_PASSWORD, u"1234", false},
      {"scrambled", 0x44070000, IDD_SECURITY, uiDlgSecurityPrint, IDC_PTY_PASSWORD, UI_DDM_PASSWORD_SCRAMBLED,
       u"abcdefghijkl", true},
      {"box, plain", 0x04070000, IDD_KNOWLEDGE, uiDlgKnowledgePrint, IDC_LBX_PASSWORD, UI_DDM_BOXPASSWORD, u"9876",
       false},
      {"box, scrambled", 0x44070000, IDD_KNOWLEDGE, uiDlgKnowledgePrint, IDC_LBX_PASSWORD,
       UI_DDM_BOXPASSWORD_SCRAMBLED, u"abcdefghijklmnopqrst", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseCapabilities(c.caps);
    SetNum(UI_DDM_PRINTTYPE, 1);
    SetText(UI_DDM_USERID, u"bob");
    SetText(c.id, u"");
    std::u16string typed = std::u16string(c.longest) + u"X";  // one more than fits
    EXPECT_EQ(Run(c.templateId, c.proc, {Type(c.control, reinterpret_cast<LPCWSTR>(typed.c_str())), Do(KP_UI_OK)}),
              IDOK);
    std::u16string stored = Stored(c.id);
    if (!c.scrambled) {
      EXPECT_EQ(stored, c.longest);
      continue;
    }
    EXPECT_NE(stored, c.longest);
    LPWSTR plain = nullptr;
    ASSERT_TRUE(zanlib_EncodeOrDecodeData(2, reinterpret_cast<LPCWSTR>(stored.c_str()), &plain));
    EXPECT_EQ(std::u16string(plain), c.longest);
    kcore_Free(plain);
    // Shown plain when the dialog opens again.
    Show(c.templateId, c.proc);
    EXPECT_EQ(Text(c.control), c.longest);
  }
}

TEST_F(PrintTypeTest, BoxNumberAndLoreboxOk) {
  SetNum(UI_DDM_PRINTTYPE, UI_PRINTTYPE_LOREBOX);
  SetText(UI_DDM_USERID, u"bob");
  SetText(UI_DDM_BOXNUMBER, u"12");
  Show(IDD_KNOWLEDGE, uiDlgKnowledgePrint);
  UI_MSGINFO m = Msg();
  EXPECT_EQ(uiLbxHighestBox(&m), 500);  // model A's item: "Box Number\r500"
  struct Case {
    const char16_t* typed;
    bool refused;
    const char16_t* stored;
  } const cases[] = {{u"501", true, u"12"}, {u"500", false, u"500"}, {u"0", false, u"0"}, {u"7a", true, u"0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    KpClearMessageBoxes();
    Act(KP_UI_SELECT_ALL, IDC_LBX_BOX);
    Act(KP_UI_TYPE, IDC_LBX_BOX, 0, reinterpret_cast<LPCWSTR>(c.typed));
    Act(KP_UI_FOCUS, IDC_PTY_DOCNAME);  // leaving the field checks it
    EXPECT_EQ(KpMessageBoxCount(), c.refused ? 1u : 0u);
    if (c.refused) {
      std::vector<std::u16string> boxes = Boxes();
      EXPECT_NE(boxes[0].find(u"Box Number: enter a number from 1 to 500."), std::u16string::npos);
    }
    EXPECT_EQ(Stored(UI_DDM_BOXNUMBER), c.stored);
    EXPECT_EQ(Text(IDC_LBX_BOX), c.stored);
  }
  // OK with no box number: 4723 once, the dialog stays with the focus in
  // the field.
  KpClearMessageBoxes();
  Act(KP_UI_SELECT_ALL, IDC_LBX_BOX);
  SendMessageW(Item(IDC_LBX_BOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
  Act(KP_UI_CLICK, IDOK);
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_NE(Boxes()[0].find(u"number of the box"), std::u16string::npos);
  EXPECT_EQ(GetFocus(), Item(IDC_LBX_BOX));
  EXPECT_EQ(Text(IDC_LBX_BOX), u"0");
  EXPECT_TRUE(IsWindow(dialog_));
}

TEST_F(PrintTypeTest, UnderCapability65490AValidBoxNumberIsMarkedAsTheUsers) {
  SetNum(UI_DDM_PRINTTYPE, UI_PRINTTYPE_LOREBOX);
  SetText(UI_DDM_USERID, u"bob");
  struct Case {
    bool capability;
    const char16_t* typed;
    bool marked;
  } const cases[] = {
      {true, u"12", true},   {true, u"0", true},     // 0 is not compared with the highest box
      {true, u"501", false}, {true, u"7a", false},  // refused
      {true, u"", false},    {false, u"12", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    UseCapabilities(0x04070000, c.capability ? 1u << (46 - 32) : 0);
    SetText(UI_DDM_BOXNUMBER, u"3");
    Show(IDD_KNOWLEDGE, uiDlgKnowledgePrint);
    Act(KP_UI_SELECT_ALL, IDC_LBX_BOX);
    SendMessageW(Item(IDC_LBX_BOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
    Act(KP_UI_TYPE, IDC_LBX_BOX, 0, reinterpret_cast<LPCWSTR>(c.typed));
    Act(KP_UI_FOCUS, IDC_PTY_DOCNAME);  // leaving the field checks it
    UI_MSGINFO m = Msg();
    const UI_IDTBL* row = nullptr;
    for (LONG i = 0; m.data && i < m.data->controlInfo->rows; ++i)
      if (m.data->controlInfo->table[i].controlId == IDC_LBX_BOX) row = &m.data->controlInfo->table[i];
    ASSERT_NE(row, nullptr);
    UI_KEEP* keep = uiGetKeep(&m, row, FALSE);
    EXPECT_EQ(keep && (keep->marks & UI_KEEP_USER_ENTERED), c.marked);
    if (c.marked) {
      EXPECT_EQ(Stored(UI_DDM_BOXNUMBER), c.typed);
    }
    KpClearMessageBoxes();
  }
}

TEST_F(PrintTypeTest, DelayedTimeIsPaddedAndTheSpinsWrap) {
  SetNum(UI_DDM_PRINTTYPE, 4);
  SetNum(UI_DDM_DELAY_HOUR, 7);
  SetNum(UI_DDM_DELAY_MINUTE, 59);
  Show(IDD_DELAY, uiDlgDelayPrint);
  EXPECT_EQ(Text(IDC_DLY_HOUR), u"07");
  EXPECT_EQ(Text(IDC_DLY_MINUTE), u"59");
  struct Step {
    int spin;
    int step;
    WORD id;
    LONG value;
    const char16_t* shown;
  } const steps[] = {
      {IDC_DLY_MINUTE_SPIN, +1, UI_DDM_DELAY_MINUTE, 0, u"00"},   // at the top: round to the bottom
      {IDC_DLY_MINUTE_SPIN, -1, UI_DDM_DELAY_MINUTE, 59, u"59"},  // at the bottom: round to the top
      {IDC_DLY_HOUR_SPIN, +1, UI_DDM_DELAY_HOUR, 8, u"08"},
      {IDC_DLY_HOUR_SPIN, -1, UI_DDM_DELAY_HOUR, 7, u"07"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.spin * 10 + s.step);
    ASSERT_TRUE(Act(KP_UI_STEP, s.spin, s.step));
    EXPECT_EQ(Num(s.id), s.value);
    EXPECT_EQ(Text(s.id == UI_DDM_DELAY_HOUR ? IDC_DLY_HOUR : IDC_DLY_MINUTE), s.shown);
  }
  // A typed hour is padded when the field is left; 24 is refused.
  Act(KP_UI_SELECT_ALL, IDC_DLY_HOUR);
  Act(KP_UI_TYPE, IDC_DLY_HOUR, 0, u"5");
  Act(KP_UI_FOCUS, IDC_DLY_MINUTE);
  EXPECT_EQ(Num(UI_DDM_DELAY_HOUR), 5);
  EXPECT_EQ(Text(IDC_DLY_HOUR), u"05");
  Act(KP_UI_SELECT_ALL, IDC_DLY_HOUR);
  Act(KP_UI_TYPE, IDC_DLY_HOUR, 0, u"24");
  Act(KP_UI_FOCUS, IDC_DLY_MINUTE);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(Num(UI_DDM_DELAY_HOUR), 5);
  EXPECT_EQ(Text(IDC_DLY_HOUR), u"05");
}

TEST_F(PrintTypeTest, DefaultsWithoutPermissionResetTheirListOnly) {
  SetNum(UI_DDM_PRINTTYPE, 1);
  Sheet()->permission = 0;
  SetText(UI_DDM_USERID, u"bob");
  SetText(UI_DDM_PASSWORD, u"12");
  SetText(UI_DDM_DOCNAME, u"report");
  Show(IDD_SECURITY, uiDlgSecurityPrint);
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_DEFAULT));
  EXPECT_EQ(Stored(UI_DDM_USERID), u"");
  EXPECT_EQ(Stored(UI_DDM_PASSWORD), u"");
  EXPECT_EQ(Stored(UI_DDM_DOCNAME), u"report");
  EXPECT_EQ(Text(IDC_PTY_USERID), u"");
}

}  // namespace
}  // namespace kestrel::test::ui
