// The constraint engine on the rules of model A's compiled description.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kestrel/ui/constraint.h"
#include "kestrel/core/ddd.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x1000);

class EngineTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    info_ = const_AllocConstData();
    ASSERT_NE(info_, nullptr);
    // Everything installed, plain A4 paper, one-sided.
    for (WORD unit : {4097, 4098, 4099, 4100, 4101, 4102, 4103, 4113, 4125}) Set(unit, 1);
    Set(7, 1);    // portrait, one page a sheet: the staple and punch edges
    Set(295, 1);  // are derived from them
    Set(8, 9);
    Set(388, 1);
    Set(16, 1);
  }
  void TearDown() override {
    const_FreeConstData(info_);
    if (changed_) GlobalFree(changed_);
    UiTest::TearDown();
  }

  WORD Rule(WORD category, WORD target, WORD action, WORD firstCond = 0, LONG firstValue = -1) {
    return RuleId(ddd_, category, target, action, firstCond, firstValue);
  }

  // Proposes a value for `id` (given in the member's DDM type 2, 3 or 8).
  WORD Propose(WORD mode, WORD id, WORD type, LONG value, const WORD* filter = nullptr, WORD flag = 0) {
    if (changed_) GlobalFree(changed_);
    changed_ = nullptr;
    BYTE bytes[4];
    std::memcpy(bytes, &value, 4);
    return const_UpdateConstDataX(mode, kWindow, ddd_, dm_.data(), pd_.data(), filter, id, type, bytes, info_,
                                  &changed_, flag);
  }
  // Evaluates the settings as they are.
  WORD Current(WORD mode, WORD id) {
    if (changed_) GlobalFree(changed_);
    changed_ = nullptr;
    return const_UpdateConstDataX(mode, kWindow, ddd_, dm_.data(), pd_.data(), nullptr, id, 0, nullptr, info_,
                                  &changed_, 0);
  }

  std::vector<WORD> Rules7() const { return {info_->rule7, info_->rule7 + info_->rule7Count}; }
  std::vector<WORD> Rules8() const { return {info_->rule8, info_->rule8 + info_->rule8Count}; }
  bool Related(WORD id) const {
    return std::find(info_->related, info_->related + info_->relatedCount, id) != info_->related + info_->relatedCount;
  }
  std::vector<WORD> Changed() const {
    std::vector<WORD> out;
    for (const WORD* p = changed_; p && *p; ++p) out.push_back(*p);
    return out;
  }

  ConstInfo* info_ = nullptr;
  WORD* changed_ = nullptr;
};

TEST_F(EngineTest, MatchedRulesAndTheActionOfHighestPriority) {
  const WORD paperType = Rule(DDD_CAT_CONSTRAINTS, 16, 2, 388);
  const WORD envelope = Rule(DDD_CAT_CONSTRAINTS, 16, 3, 8);
  struct Case {
    const char* what;
    LONG duplex, paperType, paper;
    WORD action;
    std::vector<WORD> rules;
  };
  const Case cases[] = {
      {"thick paper 2", 2, 4, 9, 2, {paperType}},
      {"envelope", 2, 1, 27, 3, {envelope}},
      {"both: ERROR (500) beats WARNING (300)", 2, 4, 27, 2, {paperType, envelope}},
      {"second candidate of the grouped target", 3, 4, 9, 2, {paperType}},
      {"one-sided names no conflict", 1, 4, 27, 0, {}},
  };
  for (const Case& c : cases) {
    Set(388, c.paperType);
    Set(8, c.paper);
    ASSERT_EQ(Propose(0, 16, 2, c.duplex), CONST_OK) << c.what;
    EXPECT_EQ(info_->action, c.action) << c.what;
    auto got = Rules7();
    std::sort(got.begin(), got.end());
    auto want = c.rules;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << c.what;
    EXPECT_TRUE(Rules8().empty()) << c.what;
    EXPECT_EQ(changed_, nullptr) << c.what << ": mode 0 writes nothing";
    if (c.duplex != 1) {
      EXPECT_TRUE(Related(388)) << c.what;
    }
  }
  EXPECT_EQ(Get(16), 1) << "the proposed value is not written";
}

TEST_F(EngineTest, GroupsOfConditions) {
  struct Case {
    const char* what;
    WORD changedId;
    LONG value;
    std::vector<std::pair<WORD, LONG>> settings;
    WORD action;
  };
  const Case cases[] = {
      // Saddle stitch: punching AND not booklet (one group of two entries).
      {"saddle, punch, normal layout", 320, 6, {{341, 1}, {321, 0}}, 13},
      {"saddle, punch, booklet", 320, 6, {{341, 1}, {321, 2}}, 0},
      {"saddle, no punch", 320, 6, {{341, 0}, {321, 0}}, 0},
      // Finisher tray: no finisher OR an envelope (two groups).
      {"no finisher", 266, 3, {{4099, 0}, {8, 9}}, 2},
      {"finisher, envelope", 266, 3, {{4099, 1}, {8, 27}}, 2},
      {"finisher, A4", 266, 3, {{4099, 1}, {8, 9}}, 0},
  };
  for (const Case& c : cases) {
    for (auto [id, v] : c.settings) Set(id, v);
    ASSERT_EQ(Propose(0, c.changedId, 3, c.value), CONST_OK) << c.what;
    EXPECT_EQ(info_->action, c.action) << c.what;
    EXPECT_EQ(info_->rule7Count, c.action ? 1 : 0) << c.what;
  }
}

TEST_F(EngineTest, ModeBitsChooseTheRulesOfEachEvaluation) {
  // 0x100: left out when the settings are checked as they are.
  Set(4103, 0);
  ASSERT_EQ(Propose(0, 16, 2, 2), CONST_OK);
  EXPECT_EQ(info_->action, 7) << "a proposed duplex without the unit";
  Set(16, 2);
  ASSERT_EQ(Current(0, 16), CONST_OK);
  EXPECT_EQ(info_->action, 0);
  EXPECT_TRUE(Rules7().empty());

  // 0x200: left out for a proposed value, taken for the settings as they are.
  const WORD faceUp = Rule(DDD_CAT_CONSTRAINTS2, 266, 3);
  Set(8, 256);
  Set(1863, 500);
  Set(1864, 500);
  ASSERT_EQ(Propose(0, 266, 3, 2), CONST_OK);
  EXPECT_TRUE(Rules8().empty());
  Set(266, 2);
  ASSERT_EQ(Current(0, 266), CONST_OK);
  EXPECT_EQ(Rules8(), std::vector<WORD>{faceUp});

  // 0x4000: only in evaluation mode 3.
  const WORD poster = Rule(DDD_CAT_CONSTRAINTS2, 7, 3);
  Set(321, 1);
  CONST_SETTINGS s = {ddd_, dm_.data(), pd_.data()};
  CONST_VALUE orientation = {7, 0, nullptr};
  for (WORD mode : {1, 2, 3}) {
    cnstUtil_ClearConstInfo(info_);
    ASSERT_EQ(const_DDDUpdateConstData(mode, kWindow, &s, &orientation, nullptr, nullptr, info_, nullptr, nullptr, 1),
              CONST_OK);
    EXPECT_EQ(Rules8(), mode == 3 ? std::vector<WORD>{poster} : std::vector<WORD>{}) << "mode " << mode;
  }
}

TEST_F(EngineTest, TwoStepModeReportsWhatTheSettingsAlreadyBreak) {
  const WORD noFinisher = Rule(DDD_CAT_CONSTRAINTS, 320, 7, 4099);
  Set(4099, 0);
  Set(320, 1);  // stapling without a finisher already
  ASSERT_EQ(Propose(1, 320, 3, 2), CONST_OK);
  EXPECT_EQ(info_->action, 0) << "the action is reset";
  EXPECT_EQ(Rules7(), std::vector<WORD>{noFinisher});
  EXPECT_EQ(changed_, nullptr);

  ASSERT_EQ(Propose(0, 320, 3, 2), CONST_OK);
  EXPECT_EQ(info_->action, 7) << "one step evaluates the proposed value";
}

TEST_F(EngineTest, IdFilter) {
  // Nothing related before: the change does not matter to the caller, and
  // the previous result stays.
  info_->action = 5;
  ASSERT_EQ(cnstUtil_WriteConstInfo(0, info_, 77), CONST_OK);
  const WORD colourOnly[] = {15, 0};
  Set(388, 4);
  ASSERT_EQ(Propose(0, 16, 2, 2, colourOnly), CONST_OK);
  EXPECT_EQ(info_->action, 5);
  EXPECT_EQ(Rules7(), std::vector<WORD>{77});

  // The changed id in the filter: evaluated; its result relates to 388.
  const WORD duplexOnly[] = {16, 0};
  ASSERT_EQ(Propose(0, 16, 2, 2, duplexOnly), CONST_OK);
  EXPECT_EQ(info_->action, 2);
  ASSERT_TRUE(Related(388));

  // A filter holding only a related id of the previous result: evaluated.
  const WORD paperTypeOnly[] = {388, 0};
  ASSERT_EQ(Propose(0, 16, 2, 2, paperTypeOnly), CONST_OK);
  EXPECT_EQ(info_->action, 2);
}

TEST_F(EngineTest, ModeOneAppliesSolutionsThatNeedNoAnswer) {
  // Poster (action 4) turns collate off.
  Set(18, 1);
  ASSERT_EQ(Propose(0, 321, 3, 1), CONST_OK);
  EXPECT_EQ(info_->action, 4);
  EXPECT_EQ(Get(18), 1) << "mode 0 writes nothing";
  EXPECT_EQ(info_->changed, 0u);

  ASSERT_EQ(Propose(1, 321, 3, 1), CONST_OK);
  EXPECT_EQ(Get(18), 0);
  EXPECT_EQ(Changed(), (std::vector<WORD>{321, 18}));
  EXPECT_EQ(info_->changed, 1u);

  // A change the caller's filter leaves out keeps the previous result and
  // does not apply its solutions again.
  Set(18, 1);
  const WORD colourOnly[] = {15, 0};
  ASSERT_EQ(Propose(1, 321, 3, 1, colourOnly), CONST_OK);
  EXPECT_EQ(info_->action, 4);
  EXPECT_EQ(Get(18), 1);
  EXPECT_EQ(changed_, nullptr);
  EXPECT_EQ(info_->changed, 0u);

  // An ERROR rule's solution is the caller's: nothing written.
  Set(388, 4);
  ASSERT_EQ(Propose(1, 16, 2, 2), CONST_OK);
  EXPECT_EQ(info_->action, 2);
  EXPECT_EQ(changed_, nullptr);
  EXPECT_EQ(info_->changed, 0u);
}

// Nine rules for one choice ("Down, then Left", the page order's item value
// 6), relating to 27 settings: every array grows past its inline room; two
// of them write a text and an installed option.
TEST_F(EngineTest, ManyRulesGrowTheArraysAndTheChangedList) {
  constexpr LONG kRightThenDown = 3, kDownThenRight = 4, kLeftThenDown = 5, kDownThenLeft = 6;  // DDM 264
  Set(4123, 0);
  ASSERT_EQ(Propose(1, 264, 3, kDownThenLeft), CONST_OK);
  EXPECT_EQ(info_->rule7Count, 9);
  EXPECT_NE(info_->rule7, info_->rule7Room);
  EXPECT_GE(info_->relatedCount, 27);
  EXPECT_NE(info_->related, info_->relatedRoom);
  EXPECT_EQ(Changed(), (std::vector<WORD>{264, 435, 4123})) << "changed id first, then in the order written";
  EXPECT_EQ(changed_[3], 0);
  EXPECT_EQ(GetString(435), u"BOX1");
  EXPECT_EQ(Get(4123), 1);

  // Evaluating again replaces the grown content without leaking it.
  ASSERT_EQ(Propose(0, 264, 3, kDownThenLeft), CONST_OK);
  EXPECT_EQ(info_->rule7Count, 9);
  // The other orders (the default "Right, then Down" among them) name none.
  for (LONG other : {kRightThenDown, kDownThenRight, kLeftThenDown}) {
    ASSERT_EQ(Propose(0, 264, 3, other), CONST_OK);
    EXPECT_EQ(info_->rule7Count, 0) << other;
  }
}

TEST_F(EngineTest, SolutionsOfEachTypeAppliedByTheCaller) {
  CONST_SETTINGS s = {ddd_, dm_.data(), pd_.data()};
  struct Case {
    WORD category, target, action, firstCond;
    WORD id;
    LONG before, after;
  };
  const Case cases[] = {
      {DDD_CAT_CONSTRAINTS, 16, 2, 388, 16, 2, 1},      // signed 16-bit
      {DDD_CAT_CONSTRAINTS, 320, 7, 4099, 320, 3, 0},   // 8-bit into a member reported as 16-bit
      {DDD_CAT_CONSTRAINTS, 266, 2, 4099, 266, 3, 1},   // unsigned 16-bit
      {DDD_CAT_CONSTRAINTS2, 341, 8, 4101, 341, 2, 0},  // second pass
  };
  for (const Case& c : cases) {
    Set(c.id, c.before);
    WORD rule = Rule(c.category, c.target, c.action, c.firstCond);
    WORD room[CONST_ROOM_CHANGED] = {};
    WORD* list = room;
    WORD n = 0;
    EXPECT_EQ(cnstDDD_ApplySolution(c.category == DDD_CAT_CONSTRAINTS, &s, &list, &n, 1, &rule), CONST_CHANGED);
    EXPECT_EQ(Get(c.id), c.after) << c.id;
    ASSERT_EQ(n, 1);
    EXPECT_EQ(list[0], c.id);
  }
  // A rule without solutions writes nothing (3); an unknown rule fails.
  WORD margin = Rule(DDD_CAT_CONSTRAINTS, 383, 5);
  EXPECT_EQ(cnstDDD_ApplySolution(1, &s, nullptr, nullptr, 1, &margin), CONST_REFUSED);
  WORD unknown = 999;
  EXPECT_EQ(cnstDDD_ApplySolution(1, &s, nullptr, nullptr, 1, &unknown), CONST_ERR);

  // Given values: a string, a flag and a number in the member's type.
  const char16_t box[] = u"B7";
  DWORD on = 1;
  SHORT copies = 3;
  CONST_SOLUTION_VALUE values[] = {{435, 6, box}, {4123, 1, &on}, {12, 2, &copies}};
  WORD room[CONST_ROOM_CHANGED] = {};
  WORD* list = room;
  WORD n = 0;
  ASSERT_EQ(cnstDDD_ApplySolutionData(&s, &list, &n, 3, values), CONST_CHANGED);
  EXPECT_EQ(GetString(435), u"B7");
  EXPECT_EQ(Get(4123), 1);
  EXPECT_EQ(Get(12), 3);
  EXPECT_EQ(n, 3);
  CONST_SOLUTION_VALUE block = {435, 9, box};
  EXPECT_EQ(cnstDDD_ApplySolutionData(&s, &list, &n, 1, &block), CONST_ERR) << "type 9 cannot be written";
  cnstUtil_FreeWordList(list, n, CONST_ROOM_CHANGED);
}

TEST_F(EngineTest, SizeChecksDecideRulesOfTheirKind) {
  const WORD tray1 = Rule(DDD_CAT_CONSTRAINTS, 265, 2, 0, 1);
  struct Case {
    const char* what;
    WORD id;
    LONG value;
    LONG paper, width, length;
    bool applies;
  };
  const Case cases[] = {
      {"A6 in tray 1 (cassette range from 139.7 mm)", 265, 1, 70, 0, 0, true},
      {"A4 in tray 1", 265, 1, 9, 0, 0, false},
      {"user size 50 x 50 mm", 8, 256, 0, 500, 500, true},
      {"user size A4", 8, 256, 0, 2100, 2970, false},
  };
  for (const Case& c : cases) {
    if (c.paper) Set(8, c.paper);
    Set(1863, c.width);
    Set(1864, c.length);
    ASSERT_EQ(Propose(0, c.id, 3, c.value), CONST_OK) << c.what;
    WORD matched = c.id == 8 ? info_->rule8Count : info_->rule7Count;
    EXPECT_EQ(matched, c.applies ? 1 : 0) << c.what;
    EXPECT_EQ(info_->action, c.applies ? 2 : 0) << c.what;
    if (c.id == 265 && c.applies) {
      EXPECT_EQ(Rules7(), std::vector<WORD>{tray1});
      EXPECT_TRUE(Related(8));
      EXPECT_TRUE(Related(265));
    }
  }
}

TEST_F(EngineTest, BadArguments) {
  WORD v = 2;
  EXPECT_EQ(const_UpdateConstDataX(0, kWindow, nullptr, dm_.data(), pd_.data(), nullptr, 16, 2, &v, info_, nullptr, 0),
            CONST_ERR);
  EXPECT_EQ(const_UpdateConstDataX(0, kWindow, ddd_, nullptr, pd_.data(), nullptr, 16, 2, &v, info_, nullptr, 0),
            CONST_ERR);
  EXPECT_EQ(const_UpdateConstDataX(0, kWindow, ddd_, dm_.data(), pd_.data(), nullptr, 16, 2, &v, nullptr, nullptr, 0),
            CONST_ERR);
  info_->action = 3;
  EXPECT_EQ(const_UpdateConstDataX(0, nullptr, ddd_, dm_.data(), pd_.data(), nullptr, 16, 2, &v, info_, nullptr, 0),
            CONST_ERR);
  EXPECT_EQ(info_->action, 0) << "a missing window clears the result first";

  // Out of memory before anything was evaluated: the result stays.
  info_->action = 5;
  KpFailAllocation(1);
  EXPECT_EQ(Propose(0, 16, 2, 2), CONST_NOMEM);
  EXPECT_EQ(info_->action, 5);
}

TEST_F(EngineTest, CheckByKind) {
  CONST_SETTINGS s = {ddd_, dm_.data(), pd_.data()};
  SHORT copies = 5, tooMany = 30000;
  CONST_VALUE ok = {12, 2, &copies}, bad = {12, 2, &tooMany};
  struct Case {
    WORD kind;
    const CONST_VALUE* value;
    WORD result, code;
  };
  const Case cases[] = {
      {8, &ok, CONST_ACCEPT, 0},  {8, &bad, CONST_REFUSED, 0}, {12, &ok, CONST_BYKIND, 1},
      {12, &bad, CONST_REFUSED, 0}, {16, &ok, CONST_NORULE, 0}, {1, &ok, CONST_REFUSED, 0},
      {4, &ok, CONST_BYKIND, 1},  {36, &ok, CONST_BYKIND, 1},  {68, &ok, CONST_BYKIND, 4},
      {100, &ok, CONST_BYKIND, 4}, {132, &ok, CONST_BYKIND, 1}, {2, &ok, CONST_ERR, 0},
  };
  for (const Case& c : cases) {
    WORD code = 0;
    EXPECT_EQ(const_CheckConstToChangeDevValue(kWindow, &s, c.value, c.kind, &code), c.result) << "kind " << c.kind;
    EXPECT_EQ(code, c.code) << "kind " << c.kind;
  }
}

}  // namespace
}  // namespace kestrel::test::ui
