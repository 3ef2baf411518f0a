// The value rules of dma_GetValue and dma_SetValue: coupled and derived
// members, inverted and packed members, type, size and fit checks.
#include <gtest/gtest.h>

#include <memory>

#include "kestreldm_records.h"
#include "kestrel/core/transedge.h"

namespace kestreldm_test {
namespace {

TEST(KestreldmValue, ResolutionStoresBothHalvesAndLeavesColourAlone) {
  Records r;
  r.Fill(0xEE);
  const std::vector<uint8_t> before = r.dm;
  ASSERT_EQ(r.Set(14, 5, 4, (600u << 16) | 1200u), 0);
  EXPECT_EQ(r.Load(0, 58, 2), 600u);   // dmPrintQuality
  EXPECT_EQ(r.Load(0, 64, 2), 1200u);  // dmYResolution
  for (size_t i = 0; i < before.size(); ++i)
    if (!(i >= 58 && i < 60) && !(i >= 64 && i < 66)) {
      ASSERT_EQ(r.dm[i], before[i]) << "byte " << i;
    }
  EXPECT_EQ(r.Get(14).value, (600u << 16) | 1200u);
  EXPECT_EQ(r.Get(20).value, 600u);
  EXPECT_EQ(r.Get(21).value, 1200u);
  // Negative qualities travel in the high half.
  ASSERT_EQ(r.Set(14, 5, 4, 0xFFFC0000u | 300u), 0);
  EXPECT_EQ(r.Load(0, 58, 2), 0xFFFCu);
  EXPECT_EQ(r.Get(14).value, 0xFFFC012Cu);
}

TEST(KestreldmValue, StampEscapementNeedsBothCopiesToAgree) {
  Records r;
  r.Store(0, 380, 2, 900);
  r.Store(0, 382, 2, 0);
  EXPECT_EQ(r.Get(311).status, 16);
  EXPECT_EQ(r.Get(309).value, 900u);  // the same bytes without the check
  ASSERT_EQ(r.Set(311, 10, 2, 450), 0);
  EXPECT_EQ(r.Load(0, 380, 2), 450u);
  EXPECT_EQ(r.Load(0, 382, 2), 450u);
  Got g = r.Get(311);
  ASSERT_EQ(g.status, 0);
  EXPECT_EQ(g.value, 450u);
  // The header/footer font's escapement (364) keeps its copy at 545.
  ASSERT_EQ(r.Set(364, 10, 2, 2700), 0);
  EXPECT_EQ(r.Load(0, 543, 2), 2700u);
  EXPECT_EQ(r.Load(0, 545, 2), 2700u);
}

TEST(KestreldmValue, Flag1284ReadsAndWritesInverted) {
  Records r;
  r.Store(0, 184, 4, 0);
  EXPECT_EQ(r.Get(1284).value, 1u);  // bit 3 clear
  Got g = r.Get(1284);
  EXPECT_EQ(g.type, 5);
  EXPECT_EQ(g.size, 4);
  r.Store(0, 184, 4, 0x8);
  EXPECT_EQ(r.Get(1284).value, 0u);
  ASSERT_EQ(r.Set(1284, 5, 4, 1), 0);  // 1 clears the bit
  EXPECT_EQ(r.Load(0, 184, 4), 0u);
  ASSERT_EQ(r.Set(1284, 5, 4, 0), 0);  // 0 sets it
  EXPECT_EQ(r.Load(0, 184, 4), 0x8u);
  EXPECT_EQ(r.Set(1284, 1, 4, 1), 0);  // by its stored type too
  EXPECT_EQ(r.Load(0, 184, 4), 0u);
}

TEST(KestreldmValue, FlagRules) {
  struct Case {
    uint16_t id;
    uint16_t type;
    uint16_t size;
    uint32_t value;
    uint16_t status;
    uint32_t word;  // the word at 184 afterwards, starting from 0
  };
  const Case cases[] = {
      {1281, 1, 4, 1, 0, 0x1},
      {1281, 1, 2, 1, 0, 0x1},       // a flag that reports no type of its own takes any size as 4
      {1281, 1, 0, 7, 0, 0x1},
      {1281, 1, 4, 0x100, 0, 0x0},   // only the value's low byte counts
      {1282, 1, 4, 0xFF, 0, 0x2},
      {1281, 3, 2, 1, 2, 0x0},       // not its type
      {1296, 8, 1, 1, 0, 1u << 15},  // reported as a byte
      {1296, 8, 4, 1, 8, 0x0},
      {1296, 1, 4, 1, 0, 1u << 15},
      {1284, 5, 2, 0, 8, 0x0},       // a reported type is checked with its size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " type " << c.type << " size " << c.size << " value " << c.value);
    Records r;
    EXPECT_EQ(r.Set(c.id, c.type, c.size, c.value), c.status);
    EXPECT_EQ(r.Load(0, 184, 4), c.word);
  }
  // The flag is decided by the value's first byte; a caller's buffer of one
  // byte is not read past, whatever size it claims.
  Records one;
  const std::unique_ptr<uint8_t[]> byte(new uint8_t[1]{1});
  ASSERT_EQ(dma_SetValue(1281, one.dm.data(), one.pd.data(), 1, 1, byte.get()), 0);
  EXPECT_EQ(one.Load(0, 184, 4), 1u);
  byte[0] = 0;
  ASSERT_EQ(dma_SetValue(1281, one.dm.data(), one.pd.data(), 1, 4, byte.get()), 0);
  EXPECT_EQ(one.Load(0, 184, 4), 0u);

  Records r;
  r.Store(0, 184, 4, 1u << 15);
  Got g = r.Get(1296);
  EXPECT_EQ(g.type, 8);
  EXPECT_EQ(g.size, 1);
  EXPECT_EQ(g.value, 1u);
}

TEST(KestreldmValue, TypeSizeAndFitChecks) {
  struct Case {
    const char* what;
    uint16_t id;
    uint16_t type;
    uint16_t size;
    uint32_t value;
    uint16_t status;
  };
  const Case cases[] = {
      {"16-bit item, right type and size", 7, 2, 2, 1, 0},
      {"16-bit item with size 4", 7, 2, 4, 1, 8},
      {"16-bit item with size 1", 7, 2, 1, 1, 8},
      {"16-bit item with a wrong type", 7, 3, 2, 1, 2},
      {"16-bit item with type 7", 7, 7, 2, 1, 2},
      {"32-bit item with size 2", 22, 5, 2, 1, 8},
      {"byte reported as 16 bits, in range", 264, 3, 2, 255, 0},
      {"byte reported as 16 bits, out of range", 264, 3, 2, 256, 4},
      {"byte reported as 16 bits, by its stored type", 264, 8, 1, 255, 0},
      {"byte reported as 16 bits, stored type, size 2", 264, 8, 2, 255, 8},
      {"font member", 306, 10, 2, 0xFFFF, 0},
      {"font member with size 4", 306, 10, 4, 1, 8},
      {"font byte member out of range", 308, 3, 2, 0x1FF, 4},
      {"string item given as a number", 1, 3, 2, 1, 2},
      {"font given as a number", 304, 5, 4, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Records r;
    r.Fill(0x5A);
    const std::vector<uint8_t> before = r.dm;
    EXPECT_EQ(r.Set(c.id, c.type, c.size, c.value), c.status);
    if (c.status != 0) {
      EXPECT_EQ(r.dm, before) << "a refused set changed the record";
    }
  }
}

TEST(KestreldmValue, StringsAreBoundedByCapacityAndGivenSize) {
  Records r;
  // 329 keeps its 49 characters.
  EXPECT_EQ(r.SetString(329, std::string(48, 'a')), 0);
  EXPECT_EQ(r.Get(329).size, 49);
  EXPECT_EQ(r.SetString(329, std::string(49, 'a')), 4);
  // The size given bounds the caller's buffer: a NUL beyond it is not read.
  const std::vector<char> exact = {'a', 'b', 'c'};  // no NUL within its 3 bytes
  EXPECT_EQ(dma_SetValue(1, r.dm.data(), r.pd.data(), 6, 3, exact.data()), 4);
  EXPECT_EQ(dma_SetValue(1, r.dm.data(), r.pd.data(), 6, 2, "abc"), 4);
  EXPECT_EQ(dma_SetValue(1, r.dm.data(), r.pd.data(), 6, 0, "abc"), 4);
  // A shorter string leaves no earlier text behind its NUL.
  ASSERT_EQ(r.SetString(1, "LongPrinterName"), 0);
  ASSERT_EQ(r.SetString(1, "Ab"), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.dm.data()), 32), std::string("Ab") + std::string(30, '\0'));
  // Non-devmode and printer-data strings are answered in their records.
  ASSERT_EQ(r.SetString(1795, "fax"), 0);
  Got g = r.Get(1795);
  ASSERT_EQ(g.status, 0);
  EXPECT_EQ(g.kind, 1);
  EXPECT_EQ(g.size, 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.nondev() + g.value), "fax");
  ASSERT_EQ(r.SetString(5121, "tray"), 0);
  g = r.Get(5121);
  ASSERT_EQ(g.status, 0);
  EXPECT_EQ(g.kind, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.pd.data() + g.value), "tray");
  // A stored string without NUL within its capacity is not served.
  std::memset(r.dm.data(), 'z', 32);
  EXPECT_EQ(r.Get(1).status, 16);
}

TEST(KestreldmValue, FontsAreFiftyBytes) {
  Records r;
  uint8_t font[64];
  for (int i = 0; i < 64; ++i) font[i] = static_cast<uint8_t>(i + 1);
  EXPECT_EQ(dma_SetValue(304, r.dm.data(), r.pd.data(), 9, 49, font), 4);
  EXPECT_EQ(dma_SetValue(304, r.dm.data(), r.pd.data(), 9, 0, nullptr), 16);
  ASSERT_EQ(dma_SetValue(304, r.dm.data(), r.pd.data(), 9, 64, font), 0);  // a larger buffer: 50 bytes taken
  EXPECT_EQ(std::memcmp(r.dm.data() + 376, font, 50), 0);
  EXPECT_EQ(r.dm[426], 0);  // 320, the item behind the font
  EXPECT_EQ(r.Get(306).value, 0x0201u);
  EXPECT_EQ(r.Get(318).value, 18u);  // the eighth byte member
}

// Staple (320) and punch (341) positions derive their edge codes (326, 344)
// under the orientation (7) and pages per sheet (295); the binding margin
// (267) derives 325.
TEST(KestreldmValue, DerivedEdgesFollowOrientationAndPagesPerSheet) {
  const uint16_t staplePositions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const uint16_t punchPositions[] = {0, 1, 2, 3, 4, 5};
  bool orientationMatters = false;
  for (uint16_t orientation : {1, 2})
    for (uint16_t pages : {1, 2}) {
      for (uint16_t member : {320, 341}) {
        const uint16_t derived = member == 320 ? 326 : 344;
        const auto& positions = member == 320 ? std::vector<uint16_t>(std::begin(staplePositions), std::end(staplePositions))
                                              : std::vector<uint16_t>(std::begin(punchPositions), std::end(punchPositions));
        for (uint16_t pos : positions) {
          SCOPED_TRACE(testing::Message() << "orientation " << orientation << " pages " << pages << " member "
                                          << member << " position " << pos);
          Records r;
          ASSERT_EQ(r.Set(7, 2, 2, orientation), 0);
          ASSERT_EQ(r.Set(295, 3, 2, pages), 0);
          ASSERT_EQ(r.Set(member, 3, 2, pos), 0);
          EXPECT_EQ(r.Get(member).value, pos);
          const uint32_t edge = r.Get(derived).value;
          // The edge code taken forward again gives the position back.
          TRANSEDGE_INPUT in{orientation, pages, 0, static_cast<WORD>(edge)};
          WORD back = 0xFFFF;
          ASSERT_EQ(TransEdge_TranslateOtherToPos(member, &in, &back), 0);
          EXPECT_EQ(back, pos);
          // The other member of the pair is untouched.
          EXPECT_EQ(r.Get(member == 320 ? 344 : 326).value, 0u);
          if (orientation == 2 && pages == 1) {
            Records p;
            p.Set(7, 2, 2, 1);
            p.Set(295, 3, 2, 1);
            p.Set(member, 3, 2, pos);
            if (p.Get(derived).value != edge) orientationMatters = true;
          }
        }
      }
    }
  EXPECT_TRUE(orientationMatters);

  // Binding margin edge to binding setting.
  const uint16_t expected[9] = {0, 3, 4, 3, 2, 1, 1, 4, 2};
  for (uint16_t margin = 0; margin <= 8; ++margin) {
    Records r;
    ASSERT_EQ(r.Set(267, 3, 2, margin), 0) << margin;
    EXPECT_EQ(r.Get(325).value, expected[margin]) << margin;
  }
}

TEST(KestreldmValue, RefusedDerivationStoresNothing) {
  Records r;
  r.Fill(0x00);
  ASSERT_EQ(r.Set(7, 2, 2, 1), 0);
  ASSERT_EQ(r.Set(295, 3, 2, 3), 0);  // three pages a sheet: no rule
  std::vector<uint8_t> before = r.dm;
  EXPECT_EQ(r.Set(320, 3, 2, 1), 16);
  EXPECT_EQ(r.dm, before);
  EXPECT_EQ(r.Set(267, 3, 2, 9), 16);  // no margin edge 9
  EXPECT_EQ(r.dm, before);
  // Position 0 (none) has an edge under every layout.
  EXPECT_EQ(r.Set(320, 3, 2, 0), 0);
}

}  // namespace
}  // namespace kestreldm_test
