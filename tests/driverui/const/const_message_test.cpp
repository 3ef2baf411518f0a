// The messages of the matched rules' actions and the rule results.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/core/cddd_open.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiwindata.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x2000);
constexpr UINT kExclamation = MB_OK | MB_ICONEXCLAMATION;
constexpr UINT kQuestion = MB_OKCANCEL | MB_ICONINFORMATION;

class MessageTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    info_ = const_AllocConstData();
    ASSERT_NE(info_, nullptr);
    data_ = {sizeof(UIWINDATA), printer_, ddd_, dm_.data(), pd_.data(), UIWINDATA_UNIT_MM, 0, nullptr};
    SetWindowLongPtrW(kWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data_));
    settings_ = {ddd_, dm_.data(), pd_.data()};
  }
  void TearDown() override {
    const_FreeConstData(info_);
    UiTest::TearDown();
  }

  // An info whose action is `action`, with the rule of that action that
  // carries a message (when the model has one) as its matched rule.
  void Matched(WORD action) {
    cnstUtil_ClearConstInfo(info_);
    info_->action = action;
    struct WithText {
      WORD action, category, target;
    };
    const WithText rules[] = {{2, DDD_CAT_CONSTRAINTS, 16}, {3, DDD_CAT_CONSTRAINTS, 16},
                              {5, DDD_CAT_CONSTRAINTS, 383}, {7, DDD_CAT_CONSTRAINTS, 320},
                              {8, DDD_CAT_CONSTRAINTS2, 341}};
    for (const WithText& r : rules)
      if (r.action == action)
        cnstUtil_WriteConstInfo(r.category == DDD_CAT_CONSTRAINTS ? 0 : 1, info_,
                                RuleId(ddd_, r.category, r.target, action));
  }

  WORD Confirm() { return constDDD_ActionConfirmMsg(kWindow, &settings_, nullptr, info_); }

  ConstInfo* info_ = nullptr;
  UIWINDATA data_ = {};
  CONST_SETTINGS settings_ = {};
};

TEST_F(MessageTest, ActionsAndAnswers) {
  struct Case {
    WORD action;
    int answer;  // 0: no box expected
    UINT box;
    WORD result;
  };
  const Case cases[] = {
      {0, 0, 0, CONST_ACCEPT},          {4, 0, 0, CONST_ACCEPT},          {9, 0, 0, CONST_ACCEPT},
      {2, IDOK, kExclamation, CONST_REFUSED},
      {3, IDOK, kQuestion, CONST_ACCEPT}, {3, IDCANCEL, kQuestion, CONST_REFUSED},
      {5, IDOK, kQuestion, CONST_ACCEPT}, {5, IDCANCEL, kQuestion, CONST_REFUSED},
      {7, IDOK, kExclamation, CONST_NOTICE},
      {8, IDOK, kQuestion, CONST_ACCEPT}, {8, IDCANCEL, kQuestion, CONST_NOTICE},
      {10, IDOK, kExclamation, CONST_REFUSED}, {11, IDOK, kExclamation, CONST_REFUSED},
      {12, IDOK, kExclamation, CONST_REFUSED}, {13, IDOK, kExclamation, CONST_REFUSED},
      {1, 0, 0, CONST_ERR},             {6, 0, 0, CONST_ERR},             {14, 0, 0, CONST_ERR},
      {15, 0, 0, CONST_ERR},
  };
  for (const Case& c : cases) {
    KpClearMessageBoxes();
    Matched(c.action);
    if (c.answer) KpQueueMessageBoxAnswer(c.answer);
    EXPECT_EQ(Confirm(), c.result) << "action " << c.action << " answer " << c.answer;
    ASSERT_EQ(KpMessageBoxCount(), c.answer ? 1u : 0u) << "action " << c.action;
    if (!c.answer) continue;
    KpMessageBoxRecord box{};
    ASSERT_TRUE(KpGetMessageBox(0, &box));
    EXPECT_EQ(box.type, c.box) << "action " << c.action;
    EXPECT_EQ(box.owner, kWindow);
    EXPECT_EQ(std::u16string(box.caption), u"Printing Preferences");
  }
}

TEST_F(MessageTest, TheTextIsTheMatchedRulesMessage) {
  Matched(3);
  KpQueueMessageBoxAnswer(IDOK);
  ASSERT_EQ(Confirm(), CONST_ACCEPT);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  EXPECT_EQ(std::u16string(box.text), u"Envelopes and postcards are printed on one side.");
}

TEST_F(MessageTest, WithoutTextOrUiDataNoBoxIsShown) {
  // A question whose text cannot be built: WARNING refuses, BTN_WARNING
  // gives its notice result.
  for (auto [action, result] : {std::pair<WORD, WORD>{3, CONST_REFUSED}, {5, CONST_REFUSED}, {8, CONST_NOTICE}}) {
    cnstUtil_ClearConstInfo(info_);
    info_->action = action;
    EXPECT_EQ(Confirm(), result) << action;
  }
  EXPECT_EQ(KpMessageBoxCount(), 0u);

  // No UI data on the window, a record of another size, an unknown unit.
  Matched(3);
  EXPECT_EQ(constDDD_ActionConfirmMsg(reinterpret_cast<HWND>(0x2001), &settings_, nullptr, info_), CONST_ERR);
  data_.cbSize = 8;
  EXPECT_EQ(Confirm(), CONST_ERR);
  data_.cbSize = sizeof(UIWINDATA);
  data_.paperUnit = 7;
  EXPECT_EQ(Confirm(), CONST_ERR);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  data_.paperUnit = UIWINDATA_UNIT_INCH;
  KpQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(Confirm(), CONST_REFUSED);

  // The change confirmation.
  KpClearMessageBoxes();
  EXPECT_EQ(cnstDDD_MsgConstraintsCHANGE_CONFIRM(kWindow, &settings_, u"Settings were changed."), CONST_CHANGED);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(cnstDDD_MsgConstraintsCHANGE_CONFIRM(nullptr, &settings_, u"x"), CONST_ERR);
}

// A model whose capability asks that errors go unannounced refuses the
// change without a box.
TEST_F(MessageTest, CapabilityHidesErrors) {
  std::string bytes = ReadHostFile(ModelFile("K350.DDD"));
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(ddd_->main, 39));
  size_t at = ddd_->main->cursor + 2;  // after the item's own count
  const DWORD bit48 = 0x10000;         // word 1, bit 16
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((bit48 >> (8 * i)) & 0xFF);
  WriteHostFile(root_.host("c/Windows/system32/spool/drivers/x64/3/K350H.DDD"), bytes);
  HCDDD hidden = cddd_OpenFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350H.DDD");
  ASSERT_NE(hidden, nullptr);
  ASSERT_TRUE(zanLib_CheckCapability_Indirect(hidden, static_cast<DWORD>(-65488)));
  CONST_SETTINGS s = {hidden, dm_.data(), pd_.data()};
  Matched(2);
  EXPECT_EQ(constDDD_ActionConfirmMsg(kWindow, &s, nullptr, info_), CONST_REFUSED);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  cddd_Close(hidden);
}

}  // namespace
}  // namespace kestrel::test::ui
