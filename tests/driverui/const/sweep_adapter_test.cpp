// The all-settings sweep of the core on model A's compiled rules, with the
// constraint engine registered through the adapter.
#include <gtest/gtest.h>

#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/user32_messagebox.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

class SweepTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(cdm_SetDefaultDevmode(ddd_, dm_.data(), pd_.data(), kPrinter));
    skip_ = cdmNewSkipArray();
    ASSERT_NE(skip_, nullptr);
    kui_RegisterSweep();
  }
  void TearDown() override {
    cdm_SetSweepOps(nullptr);
    dmDeleteNRVDEVMODE(skip_);
    UiTest::TearDown();
  }
  LONG Sweep(HWND window, WORD* last) {
    return cdmAllDataConstUpdate(nullptr, window, ddd_, dm_.data(), pd_.data(), nullptr, nullptr, skip_, last);
  }
  CDM_SKIP_ENTRY* skip_ = nullptr;
};

// Poster (321 = 1) turns collate off by a rule that asks nothing of the
// user: the first sweep writes it and asks to be called again, the second
// finds nothing left to change. The same with and without a caller's window.
TEST_F(SweepTest, ChangesAMemberThroughTheEngineThenSettles) {
  const HWND sheet = reinterpret_cast<HWND>(0x2000);
  UIWINDATA record{sizeof(UIWINDATA), printer_, ddd_, dm_.data(), pd_.data(), UIWINDATA_UNIT_INCH, 0, nullptr};
  SetWindowLongPtrW(sheet, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record));
  for (HWND window : {HWND(nullptr), sheet}) {
    SCOPED_TRACE(window ? "caller's window" : "no window");
    Set(321, 1);
    Set(18, 1);
    WORD last = 0;
    ASSERT_EQ(Sweep(window, &last), 2);
    EXPECT_EQ(last, 321);
    EXPECT_EQ(Get(18), 0);
    EXPECT_EQ(Get(321), 1);
    EXPECT_EQ(Sweep(window, &last), 1);
    WORD flagged = 0;
    EXPECT_TRUE(cdmIsSkipFlagOffAll(skip_, &flagged));
    EXPECT_EQ(KpMessageBoxCount(), 0u);
    // The caller's record is left in place.
    EXPECT_EQ(uiGetWindowData(sheet), &record);
  }

  // The calling loop ends on the same settings.
  Set(18, 1);
  EXPECT_EQ(cdmAllDataConstUpdateLoop(nullptr, nullptr, ddd_, dm_.data(), pd_.data(), nullptr, nullptr, skip_), 1);
  EXPECT_EQ(Get(18), 0);
}

TEST_F(SweepTest, DefaultsNeedNoChange) {
  std::vector<BYTE> before = dm_;
  WORD last = 0;
  EXPECT_EQ(Sweep(nullptr, &last), 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(dm_, before);
}

// The selection method the sweep sees: ranges (copies) are passed over,
// members without a list have none.
TEST_F(SweepTest, SelectionMethodOfTheMemberList) {
  const CDM_SWEEP_OPS* ops = kui_SweepOps();
  WORD method = 0;
  ASSERT_TRUE(ops->selectMethod(ddd_, 12, dm_.data(), pd_.data(), &method));
  EXPECT_EQ(method, CDM_SELECT_RANGE);
  ASSERT_TRUE(ops->selectMethod(ddd_, 321, dm_.data(), pd_.data(), &method));
  EXPECT_NE(method, 0);
  EXPECT_FALSE(ops->selectMethod(ddd_, 3, dm_.data(), pd_.data(), &method));

  // Engine failures fail the update; nothing is reported changed.
  BOOL changed = 1;
  ULONG_PTR value = 1;
  EXPECT_NE(ops->update(nullptr, nullptr, dm_.data(), pd_.data(), 321, DDM_TYPE_WORD, &value, nullptr, nullptr,
                        &changed),
            0);
  EXPECT_EQ(changed, 0);
}

}  // namespace
}  // namespace kestrel::test::ui
