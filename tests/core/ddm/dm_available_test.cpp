// Values with availability conditions (CoreDDM_GetValue), read through the
// access module.
#include "devmode_fixture.h"

namespace kestrel::test {
namespace {

class Availability : public ModuleTest {};

// Writes a member as a number in its reported type.
void Put(Records& r, WORD id, ULONG_PTR value) {
  WORD type;
  DWORD size;
  ULONG_PTR old;
  ASSERT_EQ(ddm_GetValue(id, r.dm.data(), r.pd.data(), &type, &size, &old), 0) << id;
  ASSERT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), id, type, size, value), 0) << id;
}

TEST_F(Availability, ConditionsAndUnavailableValues) {
  // (item, stored value, 270, 271, 293, dmPrintQuality, 336) -> (status, value)
  struct Case {
    WORD item;
    ULONG_PTR stored;
    BYTE colour;   // 270
    WORD v271;
    BYTE v293;
    SHORT quality;  // 20
    BYTE v336;
    WORD status;
    ULONG_PTR value;
  };
  const Case cases[] = {
      {1317, 1, 1, 0, 0, 0, 0, 0, 0},          // colour mode: unavailable
      {1317, 1, 2, 0, 0, 0, 0, 0, 1},
      {1307, 1, 1, 8, 0, 0, 0, 0, 1},          // 271 is 8: available
      {1307, 1, 1, 3, 0, 0, 0, 0, 0},
      {1308, 1, 1, 0, 0, 0, 0, 0, 1},          // only in colour mode
      {1308, 1, 2, 0, 0, 0, 0, 0, 0},
      {454, 7, 2, 0, 0, 0, 0, 0, 0},
      {454, 7, 1, 0, 0, 0, 0, 0, 7},
      {392, 0xFF, 1, 0, 0, 0, 0, 0, 0},        // packed: not in colour mode
      {392, 0xFF, 2, 0, 0, 0, 0, 0, 0xFF},
      {278, 5, 1, 0, 2, 0, 0, 0, 0},           // colour mode wins over 293
      {278, 5, 2, 0, 2, 0, 0, 0, 5},
      {278, 5, 2, 0, 4, 0, 0, 0, 5},
      {278, 5, 2, 0, 1, 0, 0, 0, 0},
      {291, 3, 2, 0, 3, 0, 0, 0, 0},
      {274, 9, 1, 0, 4, 0, 0, 0, 9},           // the 293 test only
      {274, 9, 1, 0, 0, 0, 0, 0, 0},
      {273, 7, 2, 0, 2, 0, 0, 0, 7},
      {288, 4, 2, 0, 5, 0, 0, 0, 0},
      {1303, 1, 2, 0, 1, 0, 0, 0, 0},
      {346, 3, 2, 0, 0, 300, 0, 0, 0},         // corrected by the print quality
      {346, 3, 2, 0, 0, 600, 0, 0, 3},
      {8205, 0x1234, 2, 0, 0, 0, 1, 0, 0x01010702},
      {8205, 0x1234, 2, 0, 0, 0, 0, 0, 0x1234},
      {300, 2, 1, 0, 0, 0, 0, 0, 2},           // no condition
      {1311, 1, 1, 0, 0, 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "item " << c.item << " colour " << int(c.colour) << " 271 " << c.v271
                                    << " 293 " << int(c.v293) << " quality " << c.quality << " 336 "
                                    << int(c.v336));
    Records r;
    Put(r, c.item, c.stored);
    r.dm[316] = c.colour;
    r.PutU16(318, c.v271);
    r.dm[377] = c.v293;
    r.PutU16(90, static_cast<WORD>(c.quality));
    r.dm[750] = c.v336;
    WORD type;
    DWORD size;
    ULONG_PTR value = 0xDEAD;
    EXPECT_EQ(CoreDDM_GetValue(c.item, r.dm.data(), r.pd.data(), &type, &size, &value), c.status);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(CoreDDM_GetValueEx(r.dm.data(), r.pd.data(), c.item, 0), static_cast<LONG_PTR>(c.value));
  }
}

TEST_F(Availability, UnavailableStringIsEmptyNotNull) {
  Records r;
  ASSERT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 1832, 6, 10, reinterpret_cast<ULONG_PTR>(u"name")), 0);
  r.dm[377] = 1;  // 293 neither 2 nor 4
  WORD type;
  DWORD size;
  ULONG_PTR value = 0;
  ASSERT_EQ(CoreDDM_GetValue(1832, r.dm.data(), r.pd.data(), &type, &size, &value), 0);
  EXPECT_EQ(type, 6);
  EXPECT_EQ(size, 2u);
  ASSERT_NE(value, 0u);
  EXPECT_EQ(*reinterpret_cast<const WCHAR*>(value), 0);
  r.dm[377] = 2;
  ASSERT_EQ(CoreDDM_GetValue(1832, r.dm.data(), r.pd.data(), &type, &size, &value), 0);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(value), r.dm.data() + 1556 + 2636);
}

TEST_F(Availability, FailuresAnswerStatus3) {
  Records r;
  WORD type;
  DWORD size;
  ULONG_PTR value;
  for (WORD id : {WORD{289}, WORD{290}, WORD{26}})
    EXPECT_EQ(CoreDDM_GetValue(id, r.dm.data(), r.pd.data(), &type, &size, &value), 3) << id;
  EXPECT_EQ(CoreDDM_GetValue(7, r.dm.data(), r.pd.data(), nullptr, &size, &value), 3);
  EXPECT_EQ(CoreDDM_GetValue(7, r.dm.data(), r.pd.data(), &type, nullptr, &value), 3);
  EXPECT_EQ(CoreDDM_GetValue(7, r.dm.data(), r.pd.data(), &type, &size, nullptr), 3);
  // The item reads but its condition (336, in the devmode) can't.
  EXPECT_EQ(CoreDDM_GetValueEx(nullptr, r.pd.data(), 8205, 0), -1);
  EXPECT_EQ(CoreDDM_GetValueEx(r.dm.data(), r.pd.data(), 289, 0), -1);
}

}  // namespace
}  // namespace kestrel::test
