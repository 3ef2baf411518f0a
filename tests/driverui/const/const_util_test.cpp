// The result block, the word arrays, value comparison and action priorities.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/ui/constraint.h"
#include "kplatform/kernel32_memory.h"

namespace {

struct CompareCase {
  BYTE op;
  WORD type1;
  LONG a;
  WORD type2;
  LONG b;
  WORD expected;
};

// Values are given as numbers and laid out in the width of their type.
std::vector<BYTE> Bytes(WORD type, LONG v) {
  std::vector<BYTE> out(4);
  std::memcpy(out.data(), &v, 4);
  if (type == 2 || type == 3) out.resize(2);
  if (type == 8) out.resize(1);
  return out;
}

TEST(ConstCompare, OperatorsByType) {
  const CompareCase cases[] = {
      // signed 16-bit: -1 is below 1
      {5, 2, -1, 2, 1, CONST_CMP_TRUE},
      {3, 2, -1, 2, 1, CONST_CMP_FALSE},
      // unsigned 16-bit: 0xFFFF is above 1
      {3, 3, 0xFFFF, 3, 1, CONST_CMP_TRUE},
      {6, 3, 1, 3, 1, CONST_CMP_TRUE},
      {4, 3, 0, 3, 1, CONST_CMP_FALSE},
      // signed and unsigned 32-bit
      {5, 4, -5, 4, 3, CONST_CMP_TRUE},
      {5, 5, static_cast<LONG>(0xFFFFFFFB), 5, 3, CONST_CMP_FALSE},
      {5, 10, -5, 10, 3, CONST_CMP_TRUE},
      // 8-bit unsigned
      {3, 8, 200, 8, 100, CONST_CMP_TRUE},
      // the equality family: 0, 1, 7, 8, 10, 11, 12
      {0, 3, 4, 3, 4, CONST_CMP_TRUE},
      {1, 3, 4, 3, 5, CONST_CMP_FALSE},
      {7, 3, 4, 3, 4, CONST_CMP_TRUE},
      {12, 3, 4, 3, 4, CONST_CMP_TRUE},
      {2, 3, 4, 3, 5, CONST_CMP_TRUE},
      {2, 3, 4, 3, 4, CONST_CMP_FALSE},
      // booleans take the equality operators and 2 only
      {1, 1, 1, 1, 1, CONST_CMP_TRUE},
      {2, 1, 1, 1, 0, CONST_CMP_TRUE},
      {3, 1, 1, 1, 0, CONST_CMP_BADOP},
      {6, 1, 1, 1, 0, CONST_CMP_BADOP},
      // failures
      {1, 2, 1, 3, 1, CONST_CMP_TYPES},
      {1, 7, 1, 7, 1, CONST_CMP_BADTYPE},
      {1, 9, 1, 9, 1, CONST_CMP_BADTYPE},
      {1, 11, 1, 11, 1, CONST_CMP_BADTYPE},
      {1, 0, 1, 0, 1, CONST_CMP_BADTYPE},
      {13, 3, 1, 3, 1, CONST_CMP_BADOP},
  };
  for (const CompareCase& c : cases) {
    auto a = Bytes(c.type1, c.a), b = Bytes(c.type2, c.b);
    EXPECT_EQ(cnstUtil_CompareDevmodeValue(c.op, c.type1, a.data(), c.type2, b.data()), c.expected)
        << "op " << int(c.op) << " types " << c.type1 << "/" << c.type2 << " values " << c.a << "/" << c.b;
  }
}

TEST(ConstCompare, StringsAndMissingValues) {
  const char16_t a[] = u"Box", b[] = u"box";
  EXPECT_EQ(cnstUtil_CompareDevmodeValue(1, 6, a, 6, a), CONST_CMP_TRUE);
  EXPECT_EQ(cnstUtil_CompareDevmodeValue(1, 6, a, 6, b), CONST_CMP_FALSE) << "case counts";
  EXPECT_EQ(cnstUtil_CompareDevmodeValue(2, 6, a, 6, b), CONST_CMP_TRUE);
  for (BYTE op : {3, 4, 5, 6}) EXPECT_EQ(cnstUtil_CompareDevmodeValue(op, 6, a, 6, b), CONST_CMP_BADOP);
  WORD v = 1;
  EXPECT_EQ(cnstUtil_CompareDevmodeValue(1, 3, nullptr, 3, &v), CONST_CMP_MISSING);
  EXPECT_EQ(cnstUtil_CompareDevmodeValue(1, 3, &v, 3, nullptr), CONST_CMP_MISSING);
}

TEST(ConstAction, PriorityDecidesWhichActionStays) {
  struct Case {
    WORD current, next, kept;
  };
  const Case cases[] = {
      {3, 2, 2},    // 500 beats 300
      {2, 3, 2},
      {9, 3, 3},    // 300 beats 270
      {0, 4, 4},    // 200 beats 100
      {4, 0, 4},    // 0 never replaces
      {0, 0, 0},
      {1, 6, 6},    // 900 beats 800
      {6, 1, 6},
      {7, 8, 7},
      {8, 15, 8},
      {15, 14, 15},
      {12, 10, 12},
      {13, 11, 13},
      {10, 13, 10},
      {2, 5, 2},
      {5, 3, 5},
      {3, 3, 3},    // equal priority keeps the current one
      {99, 4, 4},   // a current code outside the table counts as 0
      {4, 99, 4},   // a new code outside the table never replaces
      {0, 16, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cnstUtil_UpdateAction(c.current, c.next), c.kept) << c.current << " then " << c.next;
}

// Adds ids 1..n to an array with the given inline room and checks that all
// are kept in order.
void Fill(WORD capacity, WORD n, WORD* room, WORD** array, WORD* count) {
  for (WORD id = 1; id <= n; ++id) ASSERT_EQ(cnstUtil_AddWordArray(id, capacity, array, count), CONST_OK);
  ASSERT_EQ(*count, n);
  for (WORD i = 0; i < n; ++i) ASSERT_EQ((*array)[i], i + 1);
  if (n <= capacity) EXPECT_EQ(*array, room);
  else EXPECT_NE(*array, room);
}

TEST(ConstWordArray, GrowsPastItsRoomAndFreesOnlyItsOwnBlocks) {
  for (WORD n : {WORD(7), WORD(8), WORD(9), WORD(13), WORD(14), WORD(40)}) {
    WORD room[8] = {};
    WORD* array = room;
    WORD count = 0;
    Fill(8, n, room, &array, &count);
    cnstUtil_FreeWordList(array, count, 8);  // leaks or double frees show under the sanitizers
  }
}

TEST(ConstWordArray, PresentIdsAndMissingArguments) {
  WORD room[5] = {};
  WORD* array = room;
  WORD count = 0;
  ASSERT_EQ(cnstUtil_AddWordArray(7, 5, &array, &count), CONST_OK);
  ASSERT_EQ(cnstUtil_AddWordArray(7, 5, &array, &count), CONST_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(cnstUtil_AddWordArray(7, 5, nullptr, &count), CONST_ERR);
  EXPECT_EQ(cnstUtil_AddWordArray(7, 5, &array, nullptr), CONST_ERR);
  WORD* none = nullptr;
  EXPECT_EQ(cnstUtil_AddWordArray(7, 5, &none, &count), CONST_ERR);
  const WORD ids[] = {1, 2, 7, 3};
  ASSERT_EQ(cnstUtil_MergeWordArray(5, &array, &count, ids, 4), CONST_OK);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(array[3], 3);
}

TEST(ConstWordArray, OutOfMemoryLeavesTheArrayAsItWas) {
  WORD room[8] = {};
  WORD* array = room;
  WORD count = 0;
  Fill(8, 8, room, &array, &count);
  KpFailAllocation(1);
  EXPECT_EQ(cnstUtil_AddWordArray(9, 8, &array, &count), CONST_NOMEM);
  EXPECT_EQ(count, 8);
  EXPECT_EQ(array, room);
  ASSERT_EQ(cnstUtil_AddWordArray(9, 8, &array, &count), CONST_OK);
  for (WORD id = 10; id <= 13; ++id) ASSERT_EQ(cnstUtil_AddWordArray(id, 8, &array, &count), CONST_OK);
  WORD* grown = array;
  KpFailAllocation(1);
  EXPECT_EQ(cnstUtil_AddWordArray(14, 8, &array, &count), CONST_NOMEM) << "the block of 13 is full";
  EXPECT_EQ(array, grown);
  EXPECT_EQ(count, 13);
  EXPECT_EQ(array[12], 13);
  cnstUtil_FreeWordList(array, count, 8);

  KpFailAllocation(1);
  EXPECT_EQ(const_AllocConstData(), nullptr);
}

TEST(ConstInfoBlock, ClearAndCopyKeepGrownArraysApart) {
  ConstInfo* a = const_AllocConstData();
  ASSERT_NE(a, nullptr);
  for (WORD id = 1; id <= 9; ++id) ASSERT_EQ(cnstUtil_WriteConstInfo(0, a, id), CONST_OK);  // the 9th grows
  for (WORD id = 1; id <= 3; ++id) ASSERT_EQ(cnstUtil_WriteConstInfo(1, a, id), CONST_OK);
  for (WORD id = 100; id < 121; ++id)
    ASSERT_EQ(cnstUtil_AddWordArray(id, CONST_ROOM_RELATED, &a->related, &a->relatedCount), CONST_OK);  // 21
  a->action = 2;
  EXPECT_NE(a->rule7, a->rule7Room);
  EXPECT_EQ(a->rule8, a->rule8Room);
  EXPECT_NE(a->related, a->relatedRoom);

  ConstInfo* b = const_AllocConstData();
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(cnstUtil_CopyConstInfo(b, a), CONST_OK);
  EXPECT_EQ(b->action, 2);
  ASSERT_EQ(b->rule7Count, 9);
  EXPECT_NE(b->rule7, a->rule7) << "a copy owns its grown array";
  EXPECT_EQ(b->rule7[8], 9);
  EXPECT_EQ(b->rule8, b->rule8Room);
  ASSERT_EQ(b->relatedCount, 21);
  EXPECT_EQ(b->related[20], 120);

  cnstUtil_ClearConstInfo(a);
  EXPECT_EQ(a->rule7Count, 0);
  EXPECT_EQ(a->rule7, a->rule7Room);
  EXPECT_EQ(a->related, a->relatedRoom);
  EXPECT_EQ(a->action, 0);
  EXPECT_TRUE(const_FreeConstData(a));
  EXPECT_TRUE(const_FreeConstData(b));
  EXPECT_FALSE(const_FreeConstData(nullptr));
}

}  // namespace
