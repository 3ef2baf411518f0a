// Edge and position translation: every orientation x N-up class x setting.
#include <gtest/gtest.h>

#include "kestrel/core/transedge.h"

namespace {

const WORD kClass1[] = {1, 4, 16};
const WORD kClass2[] = {2, 8, 32};
constexpr WORD NONE = 0xFFFF;

// The rule tables as the translation is defined, written out here as the
// test's own oracle: column order (1, 1), (1, 2), (2, 1), (2, 2) for
// (orientation, turn class).
const WORD kMargin[5][4] = {{0, 0, 0, 0}, {6, 5, 5, 6}, {8, 4, 4, 8}, {1, 3, 3, 1}, {2, 7, 7, 2}};
const WORD kRowTurn[12][4] = {
    {0, 0, 0, 0},    {1, 2, 2, 1}, {3, 4, 4, 3}, {4, 1, 1, 4}, {2, 3, 3, 2}, {6, 5, 5, 6},
    {5, 7, 7, 5},    {7, 8, 8, 7}, {8, 6, 6, 8}, {9, 9, 9, 9}, {10, 10, 10, 10}, {11, 11, 11, 11},
};
const WORD kEdgeCodes[12][2] = {{0, 0},     {257, 257}, {514, 514}, {771, 771}, {1028, 1028}, {259, NONE},
                                {260, NONE}, {516, NONE}, {515, NONE}, {1542, 1542}, {1799, NONE}, {2056, NONE}};
const WORD kPositions[12][2] = {{0, 0}, {3, 2}, {5, 3},    {7, 4}, {1, 1},     {4, NONE},
                                {2, NONE}, {6, NONE}, {8, NONE}, {9, 5}, {10, NONE}, {11, NONE}};

int Column(WORD orientation, int turnClass) { return (orientation - 1) * 2 + (turnClass - 1); }

TEST(TransEdgeMargin, EveryOrientationClassAndSetting) {
  for (WORD orientation : {1, 2})
    for (int cls : {1, 2})
      for (WORD pages : cls == 1 ? kClass1 : kClass2)
        for (WORD setting = 0; setting <= 4; ++setting) {
          TRANSEDGE_INPUT in{orientation, pages, 0, setting};
          WORD out = 0xAAAA;
          ASSERT_EQ(TransEdge_TranslateOtherToMargin(&in, &out), 0);
          EXPECT_EQ(out, kMargin[setting][Column(orientation, cls)])
              << "orientation " << orientation << " pages " << pages << " setting " << setting;
          // and back to the setting
          WORD edge = 0xAAAA;
          ASSERT_EQ(TransEdge_TranslateMarginToEdge(out, &edge), 0);
          EXPECT_EQ(edge, setting);
        }
}

TEST(TransEdgeMargin, Refusals) {
  WORD out = 0;
  TRANSEDGE_INPUT sixUp{1, 6, 0, 1};
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(&sixUp, &out), 1);
  TRANSEDGE_INPUT badOrientation{3, 1, 0, 1};
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(&badOrientation, &out), 1);
  TRANSEDGE_INPUT five{1, 1, 0, 5};
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(&five, &out), 1);
  TRANSEDGE_INPUT zeroAnyLayout{0, 6, 0, 0};
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(&zeroAnyLayout, &out), 0);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(nullptr, &out), 1);
  EXPECT_EQ(TransEdge_TranslateOtherToMargin(&five, nullptr), 1);
  EXPECT_EQ(TransEdge_TranslateMarginToEdge(9, &out), 1);
  EXPECT_EQ(TransEdge_TranslateMarginToEdge(1, nullptr), 1);
  // Binding edge 1 in portrait: 2 pages a sheet give 5, 4 pages give 6.
  TRANSEDGE_INPUT twoUp{1, 2, 0, 1}, fourUp{1, 4, 0, 1};
  ASSERT_EQ(TransEdge_TranslateOtherToMargin(&twoUp, &out), 0);
  EXPECT_EQ(out, 5);
  ASSERT_EQ(TransEdge_TranslateOtherToMargin(&fourUp, &out), 0);
  EXPECT_EQ(out, 6);
}

TEST(TransEdgePosition, EveryOrientationClassAndCodeBothWays) {
  for (WORD member : {WORD{320}, WORD{341}}) {
    int col = member == 320 ? 0 : 1;
    for (WORD orientation : {1, 2})
      for (int cls : {1, 2})
        for (WORD pages : cls == 1 ? kClass1 : kClass2)
          for (int row = 0; row < 12; ++row) {
            WORD code = kEdgeCodes[row][col];
            if (code == NONE) continue;
            SCOPED_TRACE(testing::Message() << "member " << member << " orientation " << orientation << " pages "
                                            << pages << " code " << code);
            WORD expected = kPositions[kRowTurn[row][Column(orientation, cls)]][col];
            TRANSEDGE_INPUT in{orientation, pages, 0, code};
            WORD position = 0xAAAA;
            if (expected == NONE) {
              EXPECT_EQ(TransEdge_TranslateOtherToPos(member, &in, &position), 1);
              continue;
            }
            ASSERT_EQ(TransEdge_TranslateOtherToPos(member, &in, &position), 0);
            EXPECT_EQ(position, expected);
            TRANSEDGE_INPUT back{orientation, pages, 0, position};
            WORD again = 0xAAAA;
            ASSERT_EQ(TransEdge_TranslatePosToEdge(member, &back, &again), 0);
            EXPECT_EQ(again, code) << "the position leads back to its code";
          }
  }
}

TEST(TransEdgePosition, Refusals) {
  WORD out = 0;
  // Staple code 257 in landscape at 1 page per sheet: row 2, position 5.
  TRANSEDGE_INPUT staple{2, 1, 0, 257};
  ASSERT_EQ(TransEdge_TranslateOtherToPos(320, &staple, &out), 0);
  EXPECT_EQ(out, 5);
  struct Case {
    const char* what;
    WORD member;
    TRANSEDGE_INPUT in;
    bool toPosition;  // else position to edge
  };
  const Case cases[] = {
      {"6 pages a sheet", 320, {1, 6, 0, 257}, true},
      {"code not in the table", 320, {1, 1, 0, 258}, true},
      {"punch has no such code", 341, {1, 1, 0, 259}, true},
      {"none is no code", 341, {1, 1, 0, 0xFFFF}, true},
      {"other member", 326, {1, 1, 0, 257}, true},
      {"position 6 pages", 320, {1, 6, 0, 5}, false},
      {"position not in the table", 320, {1, 1, 0, 12}, false},
      {"punch position 6", 341, {1, 1, 0, 6}, false},
      {"none is no position", 341, {1, 1, 0, 0xFFFF}, false},
      {"orientation 0", 320, {0, 1, 0, 5}, false},
      {"other kind", 344, {1, 1, 0, 5}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.toPosition ? TransEdge_TranslateOtherToPos(c.member, &c.in, &out)
                           : TransEdge_TranslatePosToEdge(c.member, &c.in, &out),
              1);
  }
  // Rows that keep their place need no layout.
  TRANSEDGE_INPUT kept{0, 6, 0, 9};
  ASSERT_EQ(TransEdge_TranslatePosToEdge(320, &kept, &out), 0);
  EXPECT_EQ(out, 1542);
}

TEST(TransEdgeSearch, TableShapes) {
  TRANSEDGE_INPUT in{1, 2, 0, 0};
  WORD out = 0;
  const TRANSEDGE_RULE empty[] = {{0, TRANSEDGE_END, 0, 0}};
  EXPECT_EQ(local_TransEdge_SearchTable(2, empty, &in, &out), 1);
  const TRANSEDGE_RULE bad[] = {{1, 3, 7, 0}, {0, TRANSEDGE_END, 0, 0}};
  EXPECT_EQ(local_TransEdge_SearchTable(2, bad, &in, &out), 1);
  const TRANSEDGE_RULE rows[] = {{1, 1, 7, 10}, {1, 2, 8, 11}, {1, 2, 9, 12}, {0, TRANSEDGE_END, 0, 0}};
  ASSERT_EQ(local_TransEdge_SearchTable(2, rows, &in, &out), 0);
  EXPECT_EQ(out, 8) << "the first matching row";
  ASSERT_EQ(local_TransEdge_SearchTable(1, rows, &in, &out), 0);
  EXPECT_EQ(out, 11);
  EXPECT_EQ(local_TransEdge_SearchTable(2, nullptr, &in, &out), 1);
}

}  // namespace
