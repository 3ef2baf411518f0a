// Condition groups of a rule: the ids and link bytes a matched group hands
// the caller, and groups the user cannot change (dimmed out) in mode 1.
#include <gtest/gtest.h>

#include <vector>

#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/user32_window.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

// One condition entry "ddmId == value" (type 3) with its link byte.
struct Cond {
  WORD ddmId;
  WORD value;
  BYTE link;
};

class GroupTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    // Everything installed, A4, portrait, one page a sheet, punch on,
    // normal layout.
    for (WORD unit : {4097, 4098, 4099, 4100, 4101, 4102, 4103, 4113, 4125}) Set(unit, 1);
    Set(7, 1);
    Set(295, 1);
    Set(8, 9);
    Set(341, 1);
    Set(321, 0);
  }
  // Evaluates a rule of these entries; fills ids_ and links_.
  WORD Check(const std::vector<Cond>& conds, WORD evalMode, const WORD* const* dimOut) {
    values_.clear();
    items_.assign(conds.size(), DDD_ITEM{});
    values_.reserve(conds.size());
    for (size_t i = 0; i < conds.size(); ++i) {
      values_.push_back(conds[i].value);
      DDD_ITEM& e = items_[i];
      e.ddmId = conds[i].ddmId;
      e.op = 0;
      e.connective = conds[i].link;
      e.count = 1;
      e.hasValue = TRUE;
      e.value = {3, 2, 1, FALSE, &values_[i]};
    }
    DDD_CONSTRAINTS rule = {};
    rule.conditions.count = static_cast<WORD>(items_.size());
    rule.conditions.items = items_.data();
    CONST_SETTINGS s = {ddd_, dm_.data(), pd_.data()};
    CONST_VALUE none = {0, 0, nullptr};
    WORD room[10] = {};
    WORD* ids = room;
    WORD count = 0;
    links_ = 0;
    WORD r = cnstUtil_CheckConstAccept(evalMode, &s, &none, &rule, dimOut, &ids, &count, &links_);
    ids_.assign(ids, ids + count);
    cnstUtil_FreeWordList(ids, count, 10);
    return r;
  }
  std::vector<WORD> values_;
  std::vector<DDD_ITEM> items_;
  std::vector<WORD> ids_;
  WORD links_ = 0;
};

TEST_F(GroupTest, MatchedGroupsGiveTheirIdsAndLinks) {
  static const WORD kPunchList[] = {341, 0};
  static const WORD kLayoutList[] = {321, 0};
  static const WORD* const kDimPunch[] = {kPunchList, nullptr};
  static const WORD* const kDimBoth[] = {kPunchList, kLayoutList, nullptr};
  struct Case {
    const char* what;
    std::vector<Cond> conds;
    WORD mode;
    const WORD* const* dimOut;
    WORD result;
    std::vector<WORD> ids;
    WORD links;
  };
  const Case cases[] = {
      {"no entries", {}, 1, nullptr, 3, {}, 0},
      {"one group of two holds", {{341, 1, 2}, {321, 0, 3}}, 1, nullptr, 1, {341, 321}, 3},
      {"a failing entry fails its group", {{341, 1, 2}, {321, 2, 3}}, 1, nullptr, 0, {}, 0},
      {"second group holds alone", {{341, 0, 3}, {4099, 1, 2}, {8, 9, 4}}, 1, nullptr, 1, {4099, 8}, 6},
      {"both groups hold: ids merged once", {{341, 1, 2}, {8, 9, 3}, {8, 9, 2}, {4099, 1, 4}}, 1, nullptr, 1,
       {341, 8, 4099}, 7},
      {"all ids dimmed out: mode 1 does not count it", {{341, 1, 2}, {321, 0, 3}}, 1, kDimBoth, 0, {}, 0},
      {"all dimmed out: mode 2 counts it", {{341, 1, 2}, {321, 0, 3}}, 2, kDimBoth, 1, {341, 321}, 3},
      {"one id not dimmed: counts", {{341, 1, 2}, {321, 0, 3}}, 1, kDimPunch, 1, {341, 321}, 3},
      {"dimmed group dropped, other group counts", {{341, 1, 3}, {8, 9, 4}}, 1, kDimPunch, 1, {8}, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.conds, c.mode, c.dimOut), c.result) << c.what;
    EXPECT_EQ(ids_, c.ids) << c.what;
    EXPECT_EQ(links_, c.links) << c.what;
  }
}

TEST_F(GroupTest, DimOutListsAreReadFromTheOwnerWindow) {
  // Model A's saddle-stitch rule on the punch and the layout: the engine
  // takes the dim-out lists from the window's UI data.
  static const WORD kList[] = {341, 321, 0};
  static const WORD* const kDim[] = {kList, nullptr};
  HWND window = KpCreateTestWindow(nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  UIWINDATA data = {};
  data.cbSize = sizeof(UIWINDATA);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
  ConstInfo* info = const_AllocConstData();
  ASSERT_NE(info, nullptr);
  WORD saddle = 6;
  for (bool dimmed : {false, true}) {
    data.dimOutLists = dimmed ? kDim : nullptr;
    cnstUtil_ClearConstInfo(info);
    ASSERT_EQ(const_UpdateConstDataX(0, window, ddd_, dm_.data(), pd_.data(), nullptr, 320, 3, &saddle, info, nullptr,
                                     0),
              CONST_OK);
    EXPECT_EQ(info->action, dimmed ? 0 : 13) << dimmed;
  }
  const_FreeConstData(info);
  DestroyWindow(window);
}

TEST_F(GroupTest, DimOutOfIds) {
  static const WORD kA[] = {1, 2, 0};
  static const WORD kB[] = {3, 0};
  static const WORD* const kLists[] = {kA, kB, nullptr};
  const WORD all[] = {1, 3, 2};
  const WORD some[] = {1, 4};
  EXPECT_TRUE(cnstUtil_isDimoutConditions(kLists, all, 3));
  EXPECT_FALSE(cnstUtil_isDimoutConditions(kLists, some, 2));
  EXPECT_FALSE(cnstUtil_isDimoutConditions(kLists, all, 0));
  EXPECT_FALSE(cnstUtil_isDimoutConditions(nullptr, all, 3));
}

}  // namespace
}  // namespace kestrel::test::ui
