// The tokenizer against the stream's token table, the array counts and
// embedded data it takes or refuses, the token pool, and the grouping of
// tokens into operators.
#include <cstring>

#include "spool_fixture.h"

namespace kestrel::test {
namespace {

struct ExpectedRow {
  int first, last;  // byte range
  int kind;         // 0 invalid, 1 operator, 2 data, 3 array, 4 attribute, 5 embedded
  int valueBytes;   // data: size x count; attribute: id bytes; array: element size; embedded: length bytes
};
// The stream's token table, by ranges.
const ExpectedRow kRows[] = {
    {0x00, 0x40, 0, 0}, {0x41, 0xB9, 1, 0}, {0xBA, 0xBF, 0, 0}, {0xC0, 0xC0, 2, 1}, {0xC1, 0xC1, 2, 2},
    {0xC2, 0xC2, 2, 4}, {0xC3, 0xC3, 2, 2}, {0xC4, 0xC5, 2, 4}, {0xC6, 0xC7, 2, 0}, {0xC8, 0xC8, 3, 1},
    {0xC9, 0xC9, 3, 2}, {0xCA, 0xCA, 3, 4}, {0xCB, 0xCB, 3, 2}, {0xCC, 0xCD, 3, 4}, {0xCE, 0xCF, 2, 0},
    {0xD0, 0xD0, 2, 2}, {0xD1, 0xD1, 2, 4}, {0xD2, 0xD2, 2, 8}, {0xD3, 0xD3, 2, 4}, {0xD4, 0xD5, 2, 8},
    {0xD6, 0xDF, 2, 0}, {0xE0, 0xE0, 2, 4}, {0xE1, 0xE1, 2, 8}, {0xE2, 0xE2, 2, 16}, {0xE3, 0xE3, 2, 8},
    {0xE4, 0xE5, 2, 16}, {0xE6, 0xEF, 2, 0}, {0xF0, 0xF7, 0, 0}, {0xF8, 0xF8, 4, 1}, {0xF9, 0xF9, 4, 2},
    {0xFA, 0xFA, 5, 4}, {0xFB, 0xFB, 5, 1}, {0xFC, 0xFE, 0, 0}, {0xFF, 0xFF, 1, 0},
};

// Reads every token of `bytes`; the tokens' raw lengths, and ok at the end.
struct Tokens {
  std::vector<std::string> raw;
  std::vector<uint32_t> valueLength;
  uint32_t ok;
};
Tokens ReadTokens(const std::string& bytes) {
  OfflineJob job(bytes, nullptr, false);
  Tokens t{};
  while (XLData* node = ParseTag(job.ctx())) {
    t.raw.emplace_back(reinterpret_cast<const char*>(node->raw()), node->rawLength);
    t.valueLength.push_back(node->valueLength);
    XLDataFree(job.ctx(), node);
  }
  t.ok = job.ctx()->ok.load();
  return t;
}

TEST(SpoolTokenizer, EveryFirstByteAsTheTableSays) {
  int covered = 0;
  for (const ExpectedRow& row : kRows) {
    for (int b = row.first; b <= row.last; ++b, ++covered) {
      std::string token = Bytes({b});
      uint32_t value = 0;
      switch (row.kind) {
        case 2:
        case 4: token += std::string(row.valueBytes, '\x01'); value = row.valueBytes; break;
        case 3: token += Bytes({0xC0, 3}) + std::string(3 * row.valueBytes, '\x02'); value = 3 * row.valueBytes; break;
        case 5:
          token += row.valueBytes == 1 ? Bytes({3}) : Bytes({3, 0, 0, 0});
          token += "abc";
          value = 3;
          break;
        default: break;
      }
      SCOPED_TRACE(b);
      EXPECT_EQ(XLParseTable[b].kind, row.kind);
      const Tokens t = ReadTokens(token);
      if (row.kind == 0) {
        EXPECT_TRUE(t.raw.empty());
        EXPECT_EQ(t.ok, 0u);
      } else {
        ASSERT_EQ(t.raw.size(), 1u);
        EXPECT_EQ(t.raw[0], token);
        EXPECT_EQ(t.valueLength[0], value);
        EXPECT_EQ(t.ok, 1u);
      }
    }
  }
  EXPECT_EQ(covered, 256);
}

TEST(SpoolTokenizer, ArrayCountsAreUbyteOrUint16Only) {
  struct Case {
    const char* name;
    std::string bytes;
    bool taken;
    uint32_t valueLength;
  };
  const Case cases[] = {
      {"ubyte count", Bytes({0xC9, 0xC0, 2, 1, 0, 2, 0}), true, 4},
      {"uint16 count of 256", Bytes({0xC8, 0xC1, 0x00, 0x01}) + std::string(256, 'x'), true, 256},
      {"array as count", Bytes({0xC8, 0xC8, 0xC0, 1, 5}), false, 0},
      {"negative sint16 count", Bytes({0xC8, 0xC3, 0xFF, 0xFF, 1}), false, 0},
      {"real32 count", Bytes({0xC8, 0xC5, 0, 0, 0x80, 0x3F, 1}), false, 0},
      {"uint32 count", Bytes({0xC8, 0xC2, 1, 0, 0, 0, 1}), false, 0},
      {"count past the input", Bytes({0xCA, 0xC0, 2, 1, 2, 3, 4}), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Tokens t = ReadTokens(c.bytes);
    if (c.taken) {
      ASSERT_EQ(t.raw.size(), 1u);
      EXPECT_EQ(t.valueLength[0], c.valueLength);
      EXPECT_EQ(t.ok, 1u);
    } else {
      EXPECT_TRUE(t.raw.empty());
      EXPECT_EQ(t.ok, 0u);
    }
  }
}

TEST(SpoolTokenizer, EmbeddedDataLengths) {
  Tokens t = ReadTokens(Bytes({0xFB, 255}) + std::string(255, 'a') + Bytes({0xFA, 0, 1, 0, 0}) + std::string(256, 'b'));
  ASSERT_EQ(t.raw.size(), 2u);
  EXPECT_EQ(t.valueLength[0], 255u);
  EXPECT_EQ(t.valueLength[1], 256u);
  EXPECT_EQ(t.raw[1].substr(5), std::string(256, 'b'));
  // Announced longer than what arrives: the stream ends rejected; nothing
  // of the announced size was allocated ahead.
  const size_t before = KpGlobalBlockCount();
  t = ReadTokens(Bytes({0xFA, 0, 0, 0, 0x0F}) + "short");
  EXPECT_TRUE(t.raw.empty());
  EXPECT_EQ(t.ok, 0u);
  EXPECT_EQ(KpGlobalBlockCount(), before);
  // Beyond the cap: refused before reading on.
  t = ReadTokens(Bytes({0xFA, 0xFF, 0xFF, 0xFF, 0xFF}) + "x");
  EXPECT_EQ(t.ok, 0u);
}

TEST(SpoolTokenizer, SixteenSmallTokensComeFromThePool) {
  std::string stream;
  for (int i = 0; i < 17; ++i) stream += Bytes({0xC1, i, 0});
  OfflineJob job(stream, nullptr, false);
  std::vector<XLData*> kept;
  const size_t before = KpGlobalBlockCount();
  for (int i = 0; i < 16; ++i) kept.push_back(ParseTag(job.ctx()));
  EXPECT_EQ(KpGlobalBlockCount(), before);
  kept.push_back(ParseTag(job.ctx()));
  EXPECT_EQ(KpGlobalBlockCount(), before + 1);
  EXPECT_EQ(kept.back()->slot, -1);
  // The largest raw token a slot takes follows from the node's size.
  EXPECT_EQ(XL_POOL_MAX_RAW + sizeof(XLData), XL_POOL_SLOT_BYTES);
  for (XLData* n : kept) XLDataFree(job.ctx(), n);
  EXPECT_EQ(job.ctx()->poolCount, 0u);
}

// The grouped run of a stream: its output and how many operators went in.
struct Grouped {
  std::string out;
  uint64_t operatorsIn;
  uint32_t ok;
};
Grouped RunGrouped(const std::string& bytes) {
  Printer().Reset();
  Grouped g{};
  {
    OfflineJob job(bytes);
    job.Run();
    g.operatorsIn = job.ctx()->operatorsIn;
    g.ok = job.ctx()->ok.load();
  }
  g.out = Printer().bytes;
  return g;
}

TEST(SpoolGrouping, OperatorsWithTheirTokensAndData) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
    uint64_t operators;
    uint32_t ok;
  };
  // LineRelPath with its points as embedded data.
  const std::string readImage = Bytes({0xC1, 1, 0, 0xF8, 0x4D, 0x9D, 0xFB, 2, 9, 9});
  const Case cases[] = {
      {"operator after operator", Bytes({0x85, 0x86}), Bytes({0x85, 0x86}), 2, 1},
      {"C6 passes", Bytes({0xC6, 0x44}), Bytes({0xC6, 0x44}), 1, 1},
      {"data travels with its operator", readImage + Bytes({0x44}), readImage + Bytes({0x44}), 2, 1},
      {"leftover tokens dropped", Bytes({0x44, 0xC0, 1, 0xF8, 3}), Bytes({0x44}), 1, 1},
      {"only leftover tokens", Bytes({0xC0, 1, 0xF8, 3}), "", 0, 1},
      // A rejected stream sends nothing more: what waited in the buffer is dropped.
      {"data without its operator", Bytes({0x44, 0xC0, 1, 0xFB, 1, 0}), "", 1, 0},
      {"a byte of no token", Bytes({0x44, 0x20, 0x44}), "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Grouped g = RunGrouped(c.in);
    EXPECT_EQ(g.out, c.out);
    EXPECT_EQ(g.operatorsIn, c.operators);
    EXPECT_EQ(g.ok, c.ok);
  }
}

TEST(SpoolGrouping, SetColorSpaceLosesTheObjectKindOnly) {
  // ColorSpace 2, object kind 1 (attribute 254), SetColorSpace, held until
  // the brush that follows it (no colour parameters: nothing converted).
  const std::string brush = Bytes({0xC8, 0xC0, 3, 10, 20, 30, 0xF8, 0x0B, 0x63});
  const Grouped g = RunGrouped(Bytes({0xC0, 2, 0xF8, 3, 0xC0, 1, 0xF8, 0xFE, 0x6A}) + brush);
  EXPECT_EQ(g.out, Bytes({0xC0, 2, 0xF8, 3, 0x6A}) + brush);
}

TEST(SpoolGrouping, ListsCopyCompareAndSearch) {
  OfflineJob job(Bytes({0xC0, 7, 0xF8, 3, 0xC1, 1, 0, 0xF9, 3, 0, 0x6A}), nullptr, false);
  XLData* list = nullptr;
  while (XLData* n = ParseTag(job.ctx())) list = XLListAddTail(list, n);
  ASSERT_NE(list, nullptr);
  XLData* copy = XLDataListCopy(job.ctx(), list);
  EXPECT_TRUE(XLDataListIsEqual(list, copy));
  XLData* value = SearchAttributeData(list, 3);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->value[0], 7);  // the one-byte id form only: F9 03 00 is not matched
  EXPECT_EQ(SearchOperator(list)->tag, 0x6A);
  copy->next->value[0] = 9;
  EXPECT_FALSE(XLDataListIsEqual(list, copy));
  XLDataListFree(job.ctx(), copy);
  XLDataListFree(job.ctx(), list);
  EXPECT_EQ(job.ctx()->poolCount, 0u);
}

}  // namespace
}  // namespace kestrel::test
