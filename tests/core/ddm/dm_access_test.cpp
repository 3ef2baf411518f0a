// The access core by DDM id, under the module rules (kestreljd) and the
// kernel rules (kestrelkm): value classes, special members, errors.
#include <cstring>

#include "devmode_fixture.h"
#include "kestrel/core/ddm_layout.h"

namespace kestrel::test {
namespace {

const WORD kRules[] = {DMA_RULES_MODULE, DMA_RULES_KERNEL};

// Address of a string or font answered by the core under either rule.
const BYTE* AddressOf(WORD rules, const Records& r, const Got& g) {
  if (rules == DMA_RULES_KERNEL) return reinterpret_cast<const BYTE*>(g.value);
  const BYTE* base = g.location == 0 ? r.dm.data() : g.location == 1 ? r.dm.data() + 1556 : r.pd.data();
  return base + g.value;
}

// ---- Scalar value classes ---------------------------------------------------------
struct ScalarCase {
  const char* what;
  WORD id;
  WORD setType;
  DWORD setSize;
  ULONG_PTR setValue;
  WORD setStatus;
  // expected read-back
  WORD getType;
  DWORD getSize;
  ULONG_PTR getValue;
  // the bytes the write must leave: record (0 devmode, 2 printer data), offset, bytes
  int record;
  size_t offset;
  std::vector<BYTE> bytes;
};

const ScalarCase kScalars[] = {
    {"signed 16-bit dmOrientation", 7, 2, 2, 0xFFFB, 0, 2, 2, 0xFFFB, 0, 76, {0xFB, 0xFF}},
    {"unsigned 16-bit structure version", 257, 3, 2, 0xABCD, 0, 3, 2, 0xABCD, 0, 220, {0xCD, 0xAB}},
    {"8/3 set as byte", 264, 8, 1, 0xEE, 0, 3, 2, 0xEE, 0, 300, {0xEE, 0x00}},
    {"8/3 set as 16-bit", 264, 3, 2, 0x7F, 0, 3, 2, 0x7F, 0, 300, {0x7F, 0x00}},
    {"8/3 set as 16-bit too large", 264, 3, 2, 0x100, 4, 3, 2, 0, 0, 300, {0x00, 0x00}},
    {"byte member", 346, 8, 1, 0x81, 0, 8, 1, 0x81, 0, 797, {0x81}},
    {"unsigned 32-bit", 273, 5, 4, 0x80000007, 0, 5, 4, 0x80000007, 0, 324, {0x07, 0, 0, 0x80}},
    {"signed 32-bit non-devmode", 1825, 4, 4, 0xFFFFFFFE, 0, 4, 4, 0xFFFFFFFE, 0, 1556 + 2052, {0xFE, 0xFF, 0xFF, 0xFF}},
    {"font LONG field", 306, 10, 4, 0xFFFFFFF0, 0, 10, 4, 0xFFFFFFF0, 0, 588, {0xF0, 0xFF, 0xFF, 0xFF}},
    {"font byte field", 313, 8, 1, 1, 0, 3, 2, 1, 0, 610, {1}},
    {"flag writes only its bit", 1283, 1, 4, 1, 0, 1, 4, 1, 0, 288, {0x04, 0, 0, 0}},
    {"flag given another size takes 4", 1283, 1, 2, 1, 0, 1, 4, 1, 0, 288, {0x04, 0, 0, 0}},
    {"flag any non-zero sets", 1283, 1, 4, 0x100, 0, 1, 4, 1, 0, 288, {0x04, 0, 0, 0}},
    {"flag reported as byte", 1296, 8, 1, 1, 0, 8, 1, 1, 0, 288, {0x00, 0x80, 0, 0}},
    {"flag reported as 16-bit", 1322, 3, 2, 1, 0, 3, 2, 1, 0, 292, {0x00, 0x02, 0, 0}},
    {"flag of the third word", 1376, 1, 4, 1, 0, 1, 4, 1, 0, 1516, {0, 0, 0, 0x80}},
    {"packed byte masked in place", 393, 5, 4, 0x12345678, 0, 5, 4, 0x5600, 0, 356, {0x00, 0x56, 0x00, 0x00}},
    {"packed third byte", 403, 5, 4, 0xFFFFFFFF, 0, 5, 4, 0xFF0000, 0, 368, {0x00, 0x00, 0xFF, 0x00}},
    {"resolution id 14", 14, 5, 4, 600u * 65536u + 1200u, 0, 5, 4, 600u * 65536u + 1200u, 0, 90,
     {0x58, 0x02, 0, 0, 0, 0, 0xB0, 0x04}},
    {"printer-data boolean", 8206, 1, 4, 1, 0, 1, 4, 1, 2, 12, {1, 0, 0, 0}},
    {"printer-data option flag first word", 4097, 1, 4, 1, 0, 1, 4, 1, 2, 8, {1, 0, 0, 0}},
    {"printer-data option flag second word", 4160, 1, 4, 1, 0, 1, 4, 1, 2, 4444, {0, 0, 0, 0x80}},
    {"printer flag", 4640, 1, 4, 1, 0, 1, 4, 1, 2, 2988, {0, 0, 0, 0x80}},
    {"printer-data option byte", 4362, 8, 1, 9, 0, 8, 1, 9, 2, 4460, {9}},
    {"printer-data 16-bit in table B", 6294, 3, 2, 0x0102, 0, 3, 2, 0x0102, 2, 4574 + 140 + 8, {0x02, 0x01}},
};

TEST(DmaValueClasses, ScalarsRoundTripAndTouchOnlyTheirBytes) {
  for (WORD rules : kRules) {
    for (const ScalarCase& c : kScalars) {
      SCOPED_TRACE(std::string(c.what) + (rules ? " (kernel)" : " (module)"));
      Records r;
      Records before = r;
      EXPECT_EQ(CoreSet(rules, r, c.id, c.setType, c.setSize, c.setValue), c.setStatus);
      Got g = CoreGet(rules, r, c.id);
      ASSERT_EQ(g.status, 0);
      EXPECT_EQ(g.type, c.getType);
      EXPECT_EQ(g.size, c.getSize);
      EXPECT_EQ(g.value, c.getValue);
      const std::vector<BYTE>& rec = c.record == 0 ? r.dm : r.pd;
      for (size_t i = 0; i < c.bytes.size(); ++i) EXPECT_EQ(rec[c.offset + i], c.bytes[i]) << "byte " << i;
      // Nothing else changed.
      const std::vector<BYTE>& old = c.record == 0 ? before.dm : before.pd;
      for (size_t i = 0; i < rec.size(); ++i)
        if (i < c.offset || i >= c.offset + c.bytes.size()) {
          ASSERT_EQ(rec[i], old[i]) << "stray byte at " << i;
        }
    }
  }
}

TEST(DmaValueClasses, FlagWriteLeavesTheOtherBitsAndClearsOnlyItsOwn) {
  for (WORD rules : kRules) {
    Records r;
    r.PutU32(288, 0xFFFFFFFF);
    EXPECT_EQ(CoreSet(rules, r, 1290, 1, 4, 0), 0);
    EXPECT_EQ(r.U32(288), 0xFFFFFFFFu & ~(1u << 9));
    EXPECT_EQ(CoreSet(rules, r, 1290, 1, 4, 1), 0);
    EXPECT_EQ(r.U32(288), 0xFFFFFFFFu);
  }
}

TEST(DmaValueClasses, Flag1284IsInvertedWithParityUnderKernelRules) {
  struct Case {
    WORD rules;
    ULONG_PTR value;
    bool bitSet;
  };
  const Case cases[] = {
      {DMA_RULES_MODULE, 1, false}, {DMA_RULES_MODULE, 0, true}, {DMA_RULES_MODULE, 2, false},
      {DMA_RULES_KERNEL, 1, false}, {DMA_RULES_KERNEL, 0, true}, {DMA_RULES_KERNEL, 2, true},
      {DMA_RULES_KERNEL, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "rules " << c.rules << " value " << c.value);
    Records r;
    ASSERT_EQ(CoreSet(c.rules, r, 1284, 5, 4, c.value), 0);
    EXPECT_EQ((r.U32(288) & 0x8) != 0, c.bitSet);
    Got g = CoreGet(c.rules, r, 1284);
    EXPECT_EQ(g.type, 5);
    EXPECT_EQ(g.size, 4u);
    EXPECT_EQ(g.value, c.bitSet ? 0u : 1u);
  }
}

TEST(DmaValueClasses, ResolutionComposesPrintQualityAndYResolution) {
  Records r;
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 14, 5, 4, 600u * 65536u + 1200u), 0);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 20).value, 600u);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 21).value, 1200u);
  EXPECT_EQ(r.U16(92), 0) << "dmColor lies between the two halves and stays";
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 21, 2, 2, 300), 0);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 14).value, 600u * 65536u + 300u);
}

TEST(DmaValueClasses, MirrorsOf311And364) {
  for (WORD rules : kRules) {
    Records r;
    ASSERT_EQ(CoreSet(rules, r, 311, 10, 4, 900), 0);
    EXPECT_EQ(r.U32(596), 900u);
    EXPECT_EQ(r.U32(600), 900u);
    EXPECT_EQ(CoreGet(rules, r, 311).value, 900u);
    r.PutU32(600, 0);  // lfOrientation no longer agrees
    EXPECT_EQ(CoreGet(rules, r, 311).status, 16);
    EXPECT_EQ(CoreGet(rules, r, 309).status, 0) << "309 reads the same bytes without the check";

    ASSERT_EQ(CoreSet(rules, r, 364, 10, 4, 450), 0);
    EXPECT_EQ(r.U32(824), 450u);
    EXPECT_EQ(r.U32(828), 450u);
  }
}

// ---- Strings and fonts ---------------------------------------------------------------
struct StringCase {
  WORD id;
  size_t fits;  // the most characters the member takes
  WORD location;
  size_t offset;  // within its record
};
const StringCase kStrings[] = {
    {259, 31, 0, 224},    // 64 bytes
    {297, 32, 0, 382},    // 66 bytes
    {329, 23, 0, 693},    // 49 bytes at an odd offset
    {1854, 0, 1, 3196},   // 2 bytes: the empty string only
    {1865, 28, 1, 3820},  // non-devmode record
    {5929, 31, 2, 1762},  // user-defined paper name 1 (64 bytes)
    {5948, 31, 2, 3156 + 68 * 9 + 4},
    {6410, 24, 2, 2484 + 450},
};

TEST(DmaStrings, CapacityBoundaryReportedSizeAndPlace) {
  for (WORD rules : kRules) {
    for (const StringCase& c : kStrings) {
      SCOPED_TRACE(testing::Message() << "id " << c.id << " rules " << rules);
      Records r;
      std::u16string text = Chars(c.fits, u'k');
      ASSERT_EQ(CoreSetString(rules, r, c.id, text), 0);
      Got g = CoreGet(rules, r, c.id);
      ASSERT_EQ(g.status, 0);
      EXPECT_EQ(g.type, DDM_TYPE_STRING);
      EXPECT_EQ(g.size, (c.fits + 1) * 2);
      EXPECT_EQ(g.location, c.location);
      const BYTE* base = c.location == 0 ? r.dm.data() : c.location == 1 ? r.dm.data() + 1556 : r.pd.data();
      EXPECT_EQ(AddressOf(rules, r, g), base + c.offset);
      EXPECT_EQ(std::memcmp(base + c.offset, text.c_str(), (c.fits + 1) * 2), 0);
      if (rules == DMA_RULES_MODULE) {
        EXPECT_EQ(g.value, c.offset);
      }

      Records unchanged = r;
      EXPECT_EQ(CoreSetString(rules, r, c.id, Chars(c.fits + 1, u'z')), 4) << "one character more";
      EXPECT_EQ(r.dm, unchanged.dm);
      EXPECT_EQ(r.pd, unchanged.pd);
    }
  }
}

TEST(DmaStrings, OddOffsetStringUnderSanitizers) {
  // 329 lies at 693: every access must go through byte copies.
  Records r;
  std::u16string text = u"odd offset text";
  ASSERT_EQ(CoreSetString(DMA_RULES_KERNEL, r, 329, text), 0);
  Got g = CoreGet(DMA_RULES_KERNEL, r, 329);
  ASSERT_EQ(g.status, 0);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(g.value), r.dm.data() + 693);
  std::u16string back(text.size(), 0);
  std::memcpy(back.data(), r.dm.data() + 693, text.size() * 2);
  EXPECT_EQ(back, text);
  EXPECT_EQ(r.dm[692], 0);  // 328 untouched
  EXPECT_EQ(r.dm[742], 0);  // 330 untouched
}

TEST(DmaStrings, AliasesShareTheirBytes) {
  Records r;
  ASSERT_EQ(CoreSetString(DMA_RULES_MODULE, r, 297, u"TOP SECRET"), 0);
  Got g297 = CoreGet(DMA_RULES_MODULE, r, 297);
  Got g298 = CoreGet(DMA_RULES_MODULE, r, 298);
  EXPECT_EQ(g298.value, g297.value);
  EXPECT_EQ(g298.size, g297.size);
  ASSERT_EQ(CoreSetString(DMA_RULES_MODULE, r, 298, u"DRAFT"), 0);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 297).size, 12u);
  // The rest of the member is cleared behind the shorter text.
  for (size_t i = 382 + 12; i < 382 + 66; ++i) ASSERT_EQ(r.dm[i], 0) << i;
}

TEST(DmaStrings, UnterminatedStringIsNeverReadPastItsMember) {
  for (WORD rules : kRules) {
    Records r;
    std::memset(r.dm.data() + 224, 'A', 64);  // 259 without NUL, followed by 260
    r.PutU32(288, 0x41414141);
    EXPECT_EQ(CoreGet(rules, r, 259).status, 16);
  }
}

TEST(DmaStrings, SourceWithoutNulWithinItsSizeIsRefused) {
  Records r;
  const char16_t text[4] = {u'a', u'b', u'c', u'd'};  // no NUL in 8 bytes
  EXPECT_EQ(dmaCore_SetValue(DMA_RULES_MODULE, 259, r.dm.data(), r.pd.data(), 6, sizeof(text), text), 4);
  EXPECT_EQ(dmaCore_SetValue(DMA_RULES_MODULE, 259, r.dm.data(), r.pd.data(), 6, 2, u"abc"), 4)
      << "the size given is smaller than the text";
}

TEST(DmaFonts, AnsweredWithSize92AndWrittenWhole) {
  for (WORD rules : kRules) {
    for (WORD id : {WORD{304}, WORD{357}}) {
      Records r;
      LOGFONTW font{};
      font.lfHeight = -12;
      font.lfWeight = 700;
      font.lfItalic = 1;
      std::memcpy(font.lfFaceName, u"Stamp Face", 22);
      ASSERT_EQ(dmaCore_SetValue(rules, id, r.dm.data(), r.pd.data(), 9, 92, &font), 0);
      Got g = CoreGet(rules, r, id);
      ASSERT_EQ(g.status, 0);
      EXPECT_EQ(g.type, 9);
      EXPECT_EQ(g.size, 92u);
      const size_t off = id == 304 ? 588 : 816;
      EXPECT_EQ(AddressOf(rules, r, g), r.dm.data() + off);
      EXPECT_EQ(std::memcmp(r.dm.data() + off, &font, 92), 0);
      // Its fields read the same bytes.
      EXPECT_EQ(static_cast<int32_t>(CoreGet(rules, r, id == 304 ? 306 : 359).value), -12);
      EXPECT_EQ(CoreGet(rules, r, id == 304 ? 307 : 360).value, 700u);
      EXPECT_EQ(CoreGet(rules, r, id == 304 ? 308 : 361).value, 1u);
      // A block of another size does not fit.
      EXPECT_EQ(dmaCore_SetValue(rules, id, r.dm.data(), r.pd.data(), 9, 91, &font), 4);
      EXPECT_EQ(dmaCore_SetValue(rules, id, r.dm.data(), r.pd.data(), 9, 96, &font), 4);
    }
  }
}

// ---- Errors --------------------------------------------------------------------------
TEST(DmaErrors, StatusCodes) {
  struct Case {
    const char* what;
    WORD id;
    bool set;
    WORD type;
    DWORD size;
    bool nullDevmode;
    bool nullPrinterData;
    WORD expected;
  };
  const Case cases[] = {
      {"between groups 26", 26, false, 0, 0, false, false, 1},
      {"between groups 500", 500, false, 0, 0, false, false, 1},
      {"above every group 9000", 9000, false, 0, 0, false, false, 1},
      {"id 0", 0, false, 0, 0, false, false, 1},
      {"set between groups", 500, true, 3, 2, false, false, 1},
      {"no member 289", 289, false, 0, 0, false, false, 16},
      {"no member 337", 337, false, 0, 0, false, false, 16},
      {"no member 5122", 5122, false, 0, 0, false, false, 16},
      {"set no member 415", 415, true, 3, 2, false, false, 16},
      {"wrong type", 257, true, 2, 2, false, false, 2},
      {"wrong type for 8/3", 264, true, 5, 4, false, false, 2},
      {"type 7", 257, true, 7, 2, false, false, 2},
      {"wrong size", 257, true, 3, 4, false, false, 8},
      {"wrong size for 8/3 as byte", 264, true, 8, 2, false, false, 8},
      {"printer data missing (get)", 5127, false, 0, 0, false, true, 16},
      {"printer data missing (set)", 5127, true, 3, 2, false, true, 16},
      {"devmode missing (get)", 7, false, 0, 0, true, false, 16},
      {"non-devmode with devmode missing", 1796, false, 0, 0, true, false, 16},
  };
  for (WORD rules : kRules) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Records r;
      void* dm = c.nullDevmode ? nullptr : r.dm.data();
      void* pd = c.nullPrinterData ? nullptr : r.pd.data();
      ULONG_PTR value = 1;
      WORD type;
      DWORD size;
      WORD location;
      WORD got = c.set ? dmaCore_SetValue(rules, c.id, dm, pd, c.type, c.size, &value)
                       : dmaCore_GetValue(rules, c.id, dm, pd, &type, &size, &value, &location);
      EXPECT_EQ(got, c.expected);
      if (c.set) {
        EXPECT_EQ(r.dm, Records().dm);
      }
    }
  }
}

TEST(DmaErrors, NullPointers) {
  Records r;
  WORD type;
  DWORD size;
  ULONG_PTR value;
  WORD location;
  void* dm = r.dm.data();
  void* pd = r.pd.data();
  EXPECT_EQ(dmaCore_GetValue(DMA_RULES_MODULE, 7, dm, pd, nullptr, &size, &value, &location), 16);
  EXPECT_EQ(dmaCore_GetValue(DMA_RULES_MODULE, 7, dm, pd, &type, nullptr, &value, &location), 16);
  EXPECT_EQ(dmaCore_GetValue(DMA_RULES_MODULE, 7, dm, pd, &type, &size, nullptr, &location), 16);
  EXPECT_EQ(dmaCore_GetValue(DMA_RULES_MODULE, 7, dm, pd, &type, &size, &value, nullptr), 16);
  EXPECT_EQ(dmaCore_GetValue(DMA_RULES_KERNEL, 7, dm, pd, &type, &size, &value, nullptr), 0);
  EXPECT_EQ(dmaCore_SetValue(DMA_RULES_MODULE, 7, dm, pd, 2, 2, nullptr), 16);
  EXPECT_EQ(dmaCore_SetValue(DMA_RULES_MODULE, 259, dm, pd, 6, 64, nullptr), 16);
}

// ---- Dependent settings ------------------------------------------------------------
TEST(DmaDependentSettings, MarginPositionWritesItsEdge) {
  struct Case {
    ULONG_PTR margin;
    WORD edge;
  };
  const Case cases[] = {{0, 0}, {1, 3}, {2, 4}, {3, 3}, {4, 2}, {5, 1}, {6, 1}, {7, 4}, {8, 2}};
  for (WORD rules : kRules)
    for (const Case& c : cases) {
      Records r;
      ASSERT_EQ(CoreSet(rules, r, 267, 3, 2, c.margin), 0);
      EXPECT_EQ(r.dm[308], c.margin);
      EXPECT_EQ(CoreGet(rules, r, 325).value, c.edge) << "margin " << c.margin;
    }
  Records r;
  r.dm[308] = 2;
  r.dm[686] = 4;
  EXPECT_EQ(CoreSet(DMA_RULES_MODULE, r, 267, 3, 2, 9), 16) << "a margin position without an edge";
  EXPECT_EQ(r.dm[308], 2) << "nothing is written when the edge is refused";
  EXPECT_EQ(r.dm[686], 4);
}

TEST(DmaDependentSettings, StapleAndPunchPositionsWriteTheirEdgeCodes) {
  // (member, position, orientation, pages per sheet) -> edge code of the
  // dependent member (326 for staples, 344 for punching).
  struct Case {
    WORD member;
    ULONG_PTR position;
    SHORT orientation;
    BYTE nup;
    WORD code;
  };
  const Case cases[] = {
      // staple position 5 (row 2)
      {320, 5, 1, 1, 1028}, {320, 5, 2, 1, 257}, {320, 5, 1, 2, 257}, {320, 5, 2, 2, 1028},
      // staple position 4 (row 5)
      {320, 4, 1, 1, 260},  {320, 4, 2, 1, 259}, {320, 4, 1, 2, 259}, {320, 4, 2, 2, 260},
      // staple positions of rows kept whatever the layout
      {320, 0, 1, 2, 0},    {320, 9, 2, 1, 1542}, {320, 11, 1, 4, 2056},
      // punch position 3 (row 2) and 5 (row 9)
      {341, 3, 1, 1, 1028}, {341, 3, 2, 1, 257}, {341, 3, 1, 2, 257}, {341, 3, 2, 2, 1028},
      {341, 5, 2, 2, 1542},
  };
  for (WORD rules : kRules)
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "member " << c.member << " position " << c.position << " orientation "
                                      << c.orientation << " N-up " << int(c.nup));
      Records r;
      ASSERT_EQ(CoreSet(rules, r, 7, 2, 2, static_cast<WORD>(c.orientation)), 0);
      ASSERT_EQ(CoreSet(rules, r, 295, 8, 1, c.nup), 0);
      ASSERT_EQ(CoreSet(rules, r, c.member, 3, 2, c.position), 0);
      EXPECT_EQ(CoreGet(rules, r, c.member).value, c.position);
      EXPECT_EQ(CoreGet(rules, r, c.member == 320 ? 326 : 344).value, c.code);
    }
}

TEST(DmaDependentSettings, PositionWithoutEdgeWritesNothing) {
  Records r;
  r.PutU16(76, 1);
  r.dm[379] = 6;  // 6 pages per sheet: no rule
  EXPECT_EQ(CoreSet(DMA_RULES_MODULE, r, 320, 3, 2, 5), 16);
  r.dm[379] = 1;
  EXPECT_EQ(CoreSet(DMA_RULES_MODULE, r, 341, 3, 2, 6), 16) << "no punch row has position 6";
  EXPECT_EQ(r.dm[680], 0);
  EXPECT_EQ(r.dm[790], 0);
  EXPECT_EQ(r.U16(688), 0);
  EXPECT_EQ(r.U16(794), 0);
}

// ---- Every id --------------------------------------------------------------------------
TEST(DmaEveryId, EachLayoutRowAnswersAndTakesBackItsValue) {
  const DDM_GROUP* groups = ddm_GroupTable();
  size_t served = 0;
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    for (WORD i = 0; i < groups[g].layoutCount; ++i) {
      const DDM_LAYOUT& l = groups[g].layout[i];
      SCOPED_TRACE(testing::Message() << "id " << l.id);
      Records r;
      Got got = CoreGet(DMA_RULES_MODULE, r, l.id);
      ASSERT_EQ(got.status, 0);
      WORD reported = l.reported ? l.reported : l.type;
      EXPECT_EQ(got.type, reported);
      EXPECT_EQ(got.location, groups[g].kind);
      if (reported == DDM_TYPE_STRING) {
        EXPECT_EQ(got.size, 2u);
        continue;
      }
      if (reported == DDM_TYPE_FONT) {
        EXPECT_EQ(got.size, 92u);
        continue;
      }
      EXPECT_EQ(got.size, ddm_TypeSize(reported));
      // A value written in the reported type comes back.
      ULONG_PTR v = l.special == DDM_SPECIAL_PACKED ? l.mask : 1;
      if (l.id == 267 || l.id == 320 || l.id == 341) v = 0;
      ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, l.id, reported, got.size, v), 0);
      EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, l.id).value, v);
      ++served;
    }
  }
  EXPECT_GT(served, 600u);
}

TEST(DmaEveryId, BytesNoMemberCoversStayZero) {
  // Fill every member with its largest value; the bytes between members
  // (reserved bytes of every record) must stay zero.
  Records r;
  std::vector<bool> coveredDm(NRV_DEVMODE_SIZE_FULL), coveredPd(NRV_PRINTERDATA_SIZE);
  const DDM_GROUP* groups = ddm_GroupTable();
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    for (WORD i = 0; i < groups[g].layoutCount; ++i) {
      const DDM_LAYOUT& l = groups[g].layout[i];
      size_t base = groups[g].kind == 1 ? 1556 : 0;
      std::vector<bool>& cov = groups[g].kind == 2 ? coveredPd : coveredDm;
      size_t bytes = l.special == DDM_SPECIAL_RESOLUTION ? 2 : l.bytes;
      for (size_t b = 0; b < bytes; ++b) cov[base + l.offset + b] = true;
      if (l.id == 14) cov[96] = cov[97] = true;
      if (l.id == 267 || l.id == 320 || l.id == 341) continue;
      if (l.type == DDM_TYPE_STRING) {
        EXPECT_EQ(CoreSetString(DMA_RULES_MODULE, r, l.id, Chars(l.bytes / 2 - 1, u'\xFFFF')), 0) << l.id;
      } else if (l.type == DDM_TYPE_FONT) {
        std::vector<BYTE> font(92, 0xFF);
        font[90] = font[91] = 0;
        EXPECT_EQ(dmaCore_SetValue(DMA_RULES_MODULE, l.id, r.dm.data(), r.pd.data(), 9, 92, font.data()), 0);
      } else {
        WORD type = l.type;
        ULONG_PTR v = type == DDM_TYPE_FLAG ? 1 : ~ULONG_PTR{0} >> (64 - 8 * ddm_TypeSize(type));
        if (l.id == 1284) v = 0;
        EXPECT_EQ(CoreSet(DMA_RULES_MODULE, r, l.id, type, ddm_TypeSize(type), v), 0) << l.id;
      }
    }
  }
  for (size_t i = 0; i < r.dm.size(); ++i)
    if (!coveredDm[i]) {
      EXPECT_EQ(r.dm[i], 0) << "devmode byte " << i;
    }
  for (size_t i = 0; i < r.pd.size(); ++i)
    if (!coveredPd[i]) {
      EXPECT_EQ(r.pd[i], 0) << "printer-data byte " << i;
    }
  // And the members really were written: a few spot checks.
  EXPECT_EQ(r.dm[1549], 0xFF);
  EXPECT_EQ(r.pd[4728], 1);
  EXPECT_EQ(r.U32(288), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace kestrel::test
