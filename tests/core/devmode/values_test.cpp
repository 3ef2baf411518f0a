// The value helpers, the skip array, stamp colours and the derived members.
#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

TEST(ValueHelpers, ParamSize) {
  const std::u16string abc = u"abc";
  ULONG_PTR text = reinterpret_cast<ULONG_PTR>(abc.c_str());
  ULONG_PTR none = 0;
  struct Case {
    const ULONG_PTR* slot;
    WORD type;
    DWORD size, expected;
  };
  const DWORD kAuto = static_cast<DWORD>(-1);
  const Case cases[] = {{&none, 1, kAuto, 4},  {&none, 2, kAuto, 2},  {&none, 3, kAuto, 2},  {&none, 4, kAuto, 4},
                        {&none, 5, kAuto, 4},  {&none, 8, kAuto, 1},  {&none, 9, kAuto, 92}, {&none, 10, kAuto, 4},
                        {&text, 6, kAuto, 8},  {&text, 6, 64, 64},    {&none, 6, kAuto, 0},  {&none, 0, kAuto, 0},
                        {&none, 7, kAuto, 7},  {&none, 11, kAuto, 11}};
  for (const Case& c : cases) EXPECT_EQ(c.expected, cdmSetParamSize(c.slot, c.type, c.size)) << c.type;
}

TEST(ValueHelpers, SetDataCopiesTheTypesWidthOnly) {
  const BYTE source[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  struct Case {
    WORD type;
    ULONG_PTR expected;
  };
  const Case cases[] = {{1, 0x44332211}, {2, 0x2211}, {3, 0x2211}, {4, 0x44332211},
                        {5, 0x44332211}, {6, 0},      {8, 0x11},   {10, 0x44332211}};
  for (const Case& c : cases) {
    ULONG_PTR slot = ~ULONG_PTR{0};
    ASSERT_EQ(1, cdmSetData(c.type, &slot, source));
    EXPECT_EQ(c.expected, slot) << c.type;
  }
  ULONG_PTR slot = 0;
  EXPECT_EQ(0, cdmSetData(0, &slot, source));
  EXPECT_EQ(0, cdmSetData(11, &slot, source));
  EXPECT_EQ(0, cdmSetData(1, nullptr, source));
  EXPECT_EQ(0, cdmSetData(1, &slot, nullptr));
}

TEST(ValueHelpers, CompareByType) {
  struct Case {
    WORD type;
    ULONG_PTR a, b;
    LONG expected;
  };
  const Case cases[] = {
      {8, 200, 100, 1},           {8, 0x1FF, 0xFF, 0},          // one byte only
      {2, 0xFFFF, 1, -1},         {3, 0xFFFF, 1, 1},            // -1 < 1, 65535 > 1
      {1, 0xFFFFFFFF, 0, -1},     {4, 5, 5, 0},                 {10, 0x80000000, 1, -1},
      {5, 0xFFFFFFFF, 0, 1},      {7, 1, 2, 2},                 {9, 1, 2, 2},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, cdmCompare(c.type, &c.a, &c.b)) << c.type;
  const std::u16string abd = u"abd", abc = u"abc", ab = u"ab";
  ULONG_PTR s1 = reinterpret_cast<ULONG_PTR>(abd.c_str()), s2 = reinterpret_cast<ULONG_PTR>(abc.c_str());
  ULONG_PTR s3 = reinterpret_cast<ULONG_PTR>(ab.c_str()), none = 0;
  EXPECT_EQ(1, cdmCompare(6, &s1, &s2));
  EXPECT_EQ(-1, cdmCompare(6, &s3, &s2));
  EXPECT_EQ(0, cdmCompare(6, &s2, &s2));
  EXPECT_EQ(2, cdmCompare(6, &s2, &none));
  EXPECT_EQ(2, cdmCompare(3, nullptr, &s2));
}

TEST(ValueHelpers, ConvertWidensByType) {
  struct Case {
    WORD type;
    ULONG_PTR v;
    LONG asInt;
    WORD asWord;
  };
  const Case cases[] = {{2, 0xFFFF, -1, 0xFFFF},           {3, 0xFFFF, 65535, 0xFFFF},
                        {8, 0xFF, 255, 0xFF},              {4, 0x12345678, 0x12345678, 0x5678},
                        {1, 0x80000000, LONG(0x80000000), 0}, {6, 0x1234, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.asInt, cdmDmConvertINT(c.type, &c.v)) << c.type;
    EXPECT_EQ(static_cast<DWORD>(c.asInt), cdmDmConvertDWORD(c.type, &c.v)) << c.type;
    EXPECT_EQ(c.asWord, cdmDmConvertWORD(c.type, &c.v)) << c.type;
  }
  EXPECT_EQ(0, cdmDmConvertINT(2, nullptr));
}

TEST(ValueHelpers, ConvertStrAllocatesItsText) {
  struct Case {
    WORD type;
    ULONG_PTR v;
    std::u16string text;
  };
  const Case cases[] = {{2, 0xFFFF, u"-1"},         {3, 0xFFFF, u"65535"},      {8, 200, u"200"},
                        {4, 0x80000000, u"-2147483648"}, {5, 0xFFFFFFFF, u"-1"}, {1, 1, u"1"},
                        {10, 0xFFFFFFF6, u"-10"}};
  for (const Case& c : cases) {
    DWORD length = 99;
    LPWSTR s = cdmDmConvertStr(c.type, &c.v, &length);
    ASSERT_NE(nullptr, s) << c.type;
    EXPECT_EQ(c.text, std::u16string(s)) << c.type;
    EXPECT_EQ(c.text.size(), length);
    kcore_Free(s);
  }
  // A long string is copied whole: no caller buffer to overrun.
  std::u16string longText = Chars(600, u'z');
  ULONG_PTR slot = reinterpret_cast<ULONG_PTR>(longText.c_str());
  LPWSTR s = cdmDmConvertStr(6, &slot, nullptr);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(longText, std::u16string(s));
  kcore_Free(s);
  ULONG_PTR none = 0;
  EXPECT_EQ(nullptr, cdmDmConvertStr(6, &none, nullptr));
  EXPECT_EQ(nullptr, cdmDmConvertStr(9, &slot, nullptr));
  EXPECT_EQ(nullptr, cdmDmConvertStr(2, nullptr, nullptr));
}

TEST(SkipArray, HoldsOneHundredIds) {
  CDM_SKIP_ENTRY* a = cdmNewSkipArray();
  ASSERT_NE(nullptr, a);
  for (WORD id = 1; id <= 100; ++id) ASSERT_EQ(1, cdmSkipAddID(a, id, 0)) << id;
  EXPECT_EQ(0, cdmSkipAddID(a, 101, 0));  // the 101st distinct id
  EXPECT_EQ(1, cdmSkipAddID(a, 50, 1));   // an id already held still takes its flag
  EXPECT_EQ(0, cdmSkipAddID(a, 0, 0));
  WORD flagged = 0;
  EXPECT_EQ(0, cdmIsSkipFlagOffAll(a, &flagged));
  EXPECT_EQ(50, flagged);
  EXPECT_EQ(0, cdmFindSkipDataByDdmID(a, 101, 1));
  EXPECT_EQ(1, cdmFindSkipDataByDdmID(a, 7, 1));
  EXPECT_EQ(0, cdmIsSkipFlagOffAll(a, &flagged));
  EXPECT_EQ(7, flagged);  // the first flagged entry
  cdmInitSkipFlag(a);
  EXPECT_EQ(1, cdmIsSkipFlagOffAll(a, &flagged));
  EXPECT_EQ(0, flagged);
  EXPECT_EQ(1, cdmFindSkipDataByDdmID(a, 100, 0));  // ids stay
  dmDeleteNRVDEVMODE(a);
}

TEST(StampColours, ByIdAndByIndex) {
  struct Case {
    WORD id;
    LONG index;
    BOOL ok;
    DWORD colour;
  };
  const Case cases[] = {{1, -1, 1, 0x0033FF},  {7, -1, 1, 0x000000}, {4, -1, 1, 0x658963}, {8, -1, 0, 0},
                        {0, -1, 0, 0},         {0, 6, 1, 0x000000},  {0, 0, 1, 0x0033FF},  {0, 5, 1, 0x93518D},
                        {0, 7, 0, 0},          {9, 1, 1, 0x3399FF}};
  for (const Case& c : cases) {
    DWORD colour = 0xDEADBEEF;
    EXPECT_EQ(c.ok, cdmStampColorGet(c.id, &colour, c.index)) << c.id << "/" << c.index;
    if (c.ok) {
      EXPECT_EQ(c.colour, colour) << c.id << "/" << c.index;
    }
  }
}

// Derived members, on records written through the access module.
class Derived : public ModuleTest {
 protected:
  void Put(WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR old = 0;
    ASSERT_EQ(0, ddm_GetValue(id, r_.dm.data(), r_.pd.data(), &type, &size, &old)) << id;
    ULONG_PTR v = static_cast<DWORD>(value);
    ASSERT_EQ(0, ddm_SetValue(id, r_.dm.data(), r_.pd.data(), type, size, &v)) << id;
  }
  LONG Get(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(0, ddm_GetValue(id, r_.dm.data(), r_.pd.data(), &type, &size, &v)) << id;
    return cdmDmConvertINT(type, &v);
  }
  Records r_;
};

TEST_F(Derived, ColourFromCapability) {
  struct Case {
    LONG printerColour, mode, capable;
    LONG colour, modeAfter;
  };
  const Case cases[] = {{1, 0, 1, 1, 1}, {1, 0, 0, 2, 1}, {0, 1, 1, 1, 1}, {0, 0, 1, 2, 0}, {0, 1, 0, 2, 1}};
  for (const Case& c : cases) {
    r_ = Records{};
    Put(5202, c.printerColour);
    Put(270, c.mode);
    Put(345, c.capable);
    ASSERT_EQ(1, cdmColorCapabilityTodmColor(r_.dm.data(), r_.pd.data()));
    EXPECT_EQ(c.colour, Get(15)) << c.printerColour << c.mode << c.capable;
    EXPECT_EQ(c.modeAfter, Get(270));
    EXPECT_EQ(0x800u, r_.U32(72) & 0x800u);
  }
  EXPECT_EQ(0, cdmColorCapabilityTodmColor(r_.dm.data(), nullptr));  // 5202 cannot be read
}

TEST_F(Derived, TrueTypeOptionAndFontType) {
  struct Case {
    WORD which;
    LONG ttOption, fontType;
    WORD resultId;
    LONG result;
  };
  const Case cases[] = {{17, 1, 0, 292, 1}, {17, 2, 5, 292, 2}, {17, 3, 0, 292, 0},
                        {0, 0, 1, 17, 1},   {0, 0, 2, 17, 3},   {0, 0, 0, 17, 3}};
  for (const Case& c : cases) {
    r_ = Records{};
    Put(17, c.ttOption);
    Put(292, c.fontType);
    ASSERT_EQ(1, cdmConvertTTOptionAndFontType(r_.dm.data(), r_.pd.data(), c.which));
    EXPECT_EQ(c.result, Get(c.resultId)) << c.which << " " << c.ttOption << " " << c.fontType;
  }
}

TEST_F(Derived, FieldBitsFromFlagsAndIcm) {
  struct Case {
    WORD flagId;
    DWORD bits;
  };
  for (Case c : {Case{1324, 0x10}, Case{1331, 0xC}}) {
    for (LONG on : {1, 0}) {
      r_ = Records{};
      r_.PutU32(72, on ? 0x1 : 0xFFFFFFFF);
      Put(c.flagId, on);
      BOOL ok = c.flagId == 1324 ? cdmApplicationZoomToDmScale(r_.dm.data()) : cdmEnableDmPaperWidthLength(r_.dm.data());
      ASSERT_EQ(1, ok);
      EXPECT_EQ(on ? (0x1 | c.bits) : (0xFFFFFFFF & ~c.bits), r_.U32(72)) << c.flagId << " " << on;
    }
  }
  for (LONG mode : {3, 1, 0}) {
    r_ = Records{};
    Put(293, mode);
    ASSERT_EQ(1, cdmIcmModeToIcmMethod(r_.dm.data(), r_.pd.data()));
    EXPECT_EQ(mode == 3 ? 2 : 1, Get(22));
    EXPECT_EQ(0x2000000u, r_.U32(72));
  }
}

TEST_F(Derived, InputBinAndDefaultSource) {
  struct Case {
    bool toBin;
    LONG mode, source, bin;
    LONG sourceAfter, binAfter;
  };
  const Case cases[] = {
      {true, 1, 7, 3, 7, 7},     {true, 0, 7, 3, 7, 3},     {true, 2, 7, 3, 7, 3},   {true, 1, 15, 3, 15, 3},
      {false, 1, 7, 4, 4, 4},    {false, 2, 7, 4, 7, 4},    {false, 1, 7, 258, 7, 258},
  };
  for (const Case& c : cases) {
    r_ = Records{};
    Put(457, c.mode);
    Put(13, c.source);
    Put(265, c.bin);
    BOOL ok = c.toBin ? cdmDefaultSourceToInputBin(r_.dm.data(), r_.pd.data())
                      : cdmInputBinToDefaultSource(r_.dm.data(), r_.pd.data());
    ASSERT_EQ(1, ok);
    EXPECT_EQ(c.sourceAfter, Get(13)) << c.toBin << " " << c.mode << " " << c.source << " " << c.bin;
    EXPECT_EQ(c.binAfter, Get(265)) << c.toBin << " " << c.mode << " " << c.source << " " << c.bin;
  }
}

TEST_F(Derived, ColourAdjustmentMask) {
  struct Case {
    LONG perObject;
    std::vector<WORD> nonZero;
    LONG mask;
  };
  const Case cases[] = {
      {0, {}, 0},
      {0, {275, 280, 285}, 0},  // per-object members do not count for all objects
      {0, {278}, 7},
      {1, {274, 278, 282}, 0},  // the all-objects group does not count per object
      {1, {283}, 1},
      {1, {276, 281}, 6},
      {1, {275, 284, 277}, 7},
  };
  for (const Case& c : cases) {
    r_ = Records{};
    Put(273, 0x55);
    Put(1314, c.perObject);
    for (WORD id : c.nonZero) Put(id, 3);
    ASSERT_EQ(1, cdmAdjustObjectSet(r_.dm.data(), r_.pd.data()));
    EXPECT_EQ(c.mask, Get(273)) << c.perObject << " " << c.nonZero.size();
  }
}

TEST_F(Derived, SetValueTakesSlotsAndSizes) {
  ULONG_PTR copies = 7;
  EXPECT_EQ(1, cdm_SetValue(12, r_.dm.data(), r_.pd.data(), static_cast<DWORD>(-1), DDM_TYPE_SHORT, &copies));
  EXPECT_EQ(7, r_.U16(86));
  EXPECT_EQ(0, cdm_SetValue(12, r_.dm.data(), r_.pd.data(), 4, DDM_TYPE_SHORT, &copies));  // wrong size
  EXPECT_EQ(0, cdm_SetValue(12, r_.dm.data(), r_.pd.data(), 2, DDM_TYPE_SHORT, nullptr));
  const std::u16string form = u"A4";
  ULONG_PTR text = reinterpret_cast<ULONG_PTR>(form.c_str());
  EXPECT_EQ(1, cdm_SetValue(19, r_.dm.data(), r_.pd.data(), static_cast<DWORD>(-1), DDM_TYPE_STRING, &text));
  EXPECT_EQ(u"A4", WideAt(r_, 102, 32));
  ULONG_PTR none = 0;
  EXPECT_EQ(0, cdm_SetValue(19, r_.dm.data(), r_.pd.data(), 8, DDM_TYPE_STRING, &none));
}

}  // namespace
}  // namespace kestrel::test::defaults
