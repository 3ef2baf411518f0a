// Which ids the library knows, and where each stated item lives: every offset
// here is one the callers of the narrow records rely on, checked by writing a
// sentinel into the record and reading it back through dma_GetValue.
#include <gtest/gtest.h>

#include "kestreldm_records.h"

namespace kestreldm_test {
namespace {

TEST(KestreldmLookup, IdsOutsideEveryGroupGiveOne) {
  Records r;
  // Between, below and above the groups 1-25, 257-467, 1281-1376, 1793-1865,
  // 4097-4362, 4609-4640, 5121-5203 and 5633-8212.
  for (uint16_t id : {0, 26, 256, 468, 500, 1280, 1377, 1792, 1866, 4096, 4363, 4608, 4641, 5120, 5204, 5632, 8213,
                      9000, 65535}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(r.Get(id).status, 1);
    EXPECT_EQ(r.Set(id, 3, 2, 0), 1);
  }
}

TEST(KestreldmLookup, IdsInsideAGroupWithoutItemGiveSixteen) {
  Records r;
  for (uint16_t id : {289, 290, 337, 347, 378, 415, 434, 5122}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(r.Get(id).status, 16);
    EXPECT_EQ(r.Set(id, 3, 2, 0), 16);
  }
}

TEST(KestreldmLookup, MissingRecordsAndPointers) {
  Records r;
  uint16_t type = 0, size = 0, kind = 0;
  uint32_t value = 0, v = 1;
  struct Case {
    uint16_t id;
    bool devmode;
    bool printerData;
    uint16_t expected;
  };
  const Case cases[] = {
      {4097, true, false, 16},  // printer-data flag without the record
      {5121, true, false, 16},  // printer-data string
      {8202, true, false, 16},
      {1793, false, true, 16},  // the non-devmode record lives behind the devmode
      {7, false, true, 16},
      {1281, false, true, 16},
      {7, true, false, 0},      // a devmode item needs no printer data
      {4097, false, true, 0},   // nor a printer-data item the devmode
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    void* dm = c.devmode ? r.dm.data() : nullptr;
    void* pd = c.printerData ? r.pd.data() : nullptr;
    EXPECT_EQ(dma_GetValue(c.id, dm, pd, &type, &size, &value, &kind), c.expected);
    if (c.expected != 0) {
      EXPECT_EQ(dma_SetValue(c.id, dm, pd, 1, 4, &v), 16);
    }
  }
  // Out-pointers: type, size and value are required, the kind is not.
  EXPECT_EQ(dma_GetValue(7, r.dm.data(), r.pd.data(), nullptr, &size, &value, &kind), 16);
  EXPECT_EQ(dma_GetValue(7, r.dm.data(), r.pd.data(), &type, nullptr, &value, &kind), 16);
  EXPECT_EQ(dma_GetValue(7, r.dm.data(), r.pd.data(), &type, &size, nullptr, &kind), 16);
  r.Store(0, 44, 2, 2);
  EXPECT_EQ(dma_GetValue(7, r.dm.data(), r.pd.data(), &type, &size, &value, nullptr), 0);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(dma_GetValue(1, r.dm.data(), r.pd.data(), &type, &size, &value, nullptr), 0);
  EXPECT_EQ(dma_SetValue(7, r.dm.data(), r.pd.data(), 2, 2, nullptr), 16);
}

// Scalar items at the stated places: id, record, offset, stored bytes,
// reported type and size.
struct Scalar {
  uint16_t id;
  uint16_t kind;
  uint32_t offset;
  uint32_t bytes;
  uint16_t type;
  uint16_t size;
};
const Scalar kScalars[] = {
    {7, 0, 44, 2, 2, 2},       // dmOrientation
    {20, 0, 58, 2, 2, 2},      // dmPrintQuality
    {21, 0, 64, 2, 2, 2},      // dmYResolution
    {22, 0, 124, 4, 5, 4},     // dmICMMethod
    {25, 0, 136, 4, 5, 4},     // dmDitherType, the last member before the two reserved words
    {257, 0, 148, 2, 3, 2},    // the first private member, right behind the 148-byte DEVMODE
    {260, 0, 184, 4, 5, 4},    // the flag words
    {261, 0, 188, 4, 5, 4},
    {462, 0, 920, 4, 5, 4},
    {306, 0, 376, 2, 10, 2},   // stamp font: lfHeight
    {319, 0, 378, 2, 10, 2},   // lfWidth
    {309, 0, 380, 2, 10, 2},   // lfEscapement
    {310, 0, 382, 2, 10, 2},   // lfOrientation
    {307, 0, 384, 2, 10, 2},   // lfWeight
    {308, 0, 386, 1, 3, 2},    // lfItalic, a byte reported as 16 bits
    {312, 0, 387, 1, 3, 2},
    {318, 0, 393, 1, 3, 2},    // lfPitchAndFamily
    {359, 0, 539, 2, 10, 2},   // header/footer font: lfHeight
    {362, 0, 543, 2, 10, 2},   // lfEscapement
    {363, 0, 545, 2, 10, 2},   // lfOrientation
    {361, 0, 549, 1, 3, 2},    // lfItalic
    {467, 0, 928, 1, 8, 1},    // the last private byte, right before the non-devmode record
    {1793, 1, 0, 2, 3, 2},     // the non-devmode record starts at devmode + 929
};

TEST(KestreldmLookup, ScalarItemsAtTheirStatedOffsets) {
  for (const Scalar& s : kScalars) {
    SCOPED_TRACE(s.id);
    Records r;
    r.Fill(0xEE);  // neighbours that must not leak into the value
    const uint32_t sentinel = 0x9A5C3B71u & (s.bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * s.bytes)) - 1);
    r.Store(s.kind, s.offset, s.bytes, sentinel);
    Got g = r.Get(s.id);
    ASSERT_EQ(g.status, 0);
    EXPECT_EQ(g.type, s.type);
    EXPECT_EQ(g.size, s.size);
    EXPECT_EQ(g.value, sentinel);
    EXPECT_EQ(g.kind, s.kind);
  }
}

TEST(KestreldmLookup, ResolutionIsPrintQualityOverYResolution) {
  Records r;
  r.Fill(0xEE);
  r.Store(0, 58, 2, 0xFFFD);  // a negative quality
  r.Store(0, 64, 2, 600);
  Got g = r.Get(14);
  ASSERT_EQ(g.status, 0);
  EXPECT_EQ(g.type, 5);
  EXPECT_EQ(g.size, 4);
  EXPECT_EQ(g.value, 0xFFFD0258u);
}

// Strings and fonts: answered by offset and record, sized by their text.
struct Addressed {
  uint16_t id;
  uint16_t kind;
  uint32_t offset;
  uint16_t type;
  uint32_t capacity;  // characters with the NUL, or the font's bytes
};
const Addressed kAddressed[] = {
    {1, 0, 0, 6, 32},      // dmDeviceName
    {19, 0, 70, 6, 32},    // dmFormName
    {304, 0, 376, 9, 50},  // stamp font
    {305, 0, 394, 6, 32},  // its face name
    {357, 0, 539, 9, 50},  // header/footer font
    {358, 0, 557, 6, 32},  // its face name
};

TEST(KestreldmLookup, StringsAndFontsAnswerOffsetAndRecord) {
  for (const Addressed& a : kAddressed) {
    SCOPED_TRACE(a.id);
    Records r;
    r.Fill(0xEE);
    std::memcpy(r.base(a.kind) + a.offset, "Kestrel", 8);
    Got g = r.Get(a.id);
    ASSERT_EQ(g.status, 0);
    EXPECT_EQ(g.type, a.type);
    EXPECT_EQ(g.value, a.offset);
    EXPECT_EQ(g.kind, a.kind);
    EXPECT_EQ(g.size, a.type == 6 ? 8 : 50);
    if (a.type == 6) {
      // The capacity: capacity - 1 characters fit, one more does not.
      EXPECT_EQ(r.SetString(a.id, std::string(a.capacity - 1, 'x')), 0);
      EXPECT_EQ(r.Get(a.id).size, a.capacity);
      EXPECT_EQ(r.SetString(a.id, std::string(a.capacity, 'x')), 4);
    }
  }
}

// Bits of the flag words: id, record, word offset, bit.
struct Flag {
  uint16_t id;
  uint16_t kind;
  uint32_t offset;
  int bit;
};
const Flag kFlags[] = {
    {1281, 0, 184, 0},  {1283, 0, 184, 2},   {1312, 0, 184, 31}, {1313, 0, 188, 0},  {1344, 0, 188, 31},
    {1345, 0, 920, 0},  {1376, 0, 920, 31},  {4097, 2, 6, 0},    {4128, 2, 6, 31},   {4129, 2, 2403, 0},
    {4160, 2, 2403, 31}, {4609, 2, 1638, 0}, {4640, 2, 1638, 31},
};

TEST(KestreldmLookup, FlagsAreBitsOfTheirWords) {
  for (const Flag& f : kFlags) {
    SCOPED_TRACE(f.id);
    Records r;
    r.Store(f.kind, f.offset, 4, 1u << f.bit);
    Got g = r.Get(f.id);
    ASSERT_EQ(g.status, 0);
    EXPECT_EQ(g.type, 1);
    EXPECT_EQ(g.size, 4);
    EXPECT_EQ(g.value, 1u);
    r.Store(f.kind, f.offset, 4, ~(1u << f.bit));
    EXPECT_EQ(r.Get(f.id).value, 0u);
    // Set writes the same bit.
    r.Store(f.kind, f.offset, 4, 0);
    ASSERT_EQ(r.Set(f.id, 1, 4, 1), 0);
    EXPECT_EQ(r.Load(f.kind, f.offset, 4), 1u << f.bit);
  }
}

// The packed bytes: four words at 244, 248, 252, 256, three items each.
TEST(KestreldmLookup, PackedBytesAreMaskedNotShifted) {
  const uint32_t words[] = {244, 248, 252, 256};
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 3; ++b) {
      const uint16_t id = static_cast<uint16_t>(392 + 3 * w + b);
      SCOPED_TRACE(id);
      Records r;
      r.Store(0, words[w], 4, 0xA4B3C2D1u);
      Got g = r.Get(id);
      ASSERT_EQ(g.status, 0);
      EXPECT_EQ(g.type, 5);
      EXPECT_EQ(g.size, 4);
      EXPECT_EQ(g.value, 0xA4B3C2D1u & (0xFFu << (8 * b)));
      // Only the chosen byte is replaced, with the same byte of the value.
      ASSERT_EQ(r.Set(id, 5, 4, 0x11223344u), 0);
      const uint32_t mask = 0xFFu << (8 * b);
      EXPECT_EQ(r.Load(0, words[w], 4), (0xA4B3C2D1u & ~mask) | (0x11223344u & mask));
    }
}

TEST(KestreldmLookup, QueryStructSize) {
  const struct {
    uint32_t kind;
    uint32_t size;
  } cases[] = {{2, 162}, {3, 353}, {4, 18}, {5, 378}, {6, 722}, {0, 0}, {1, 0}, {7, 0}, {0x10002, 0}, {0xFFFFFFFF, 0}};
  for (const auto& c : cases) EXPECT_EQ(DMA_QueryStructSize(c.kind), c.size) << c.kind;
}

}  // namespace
}  // namespace kestreldm_test
