// The text operators (golden bytes, last-value suppression) and the font
// download cache on a PDEV made by hand.
#include <cstring>
#include <functional>

#include "font_fixture.h"
#include "kplatform/engine_runner.h"
#include "pclxl_checker.h"

using namespace fonttest;

namespace {

Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}

TEST(TextOperators, GoldenBytes) {
  const BYTE data[4] = {1, 2, 3, 4};
  const WORD codes[2] = {1, 2};
  const SHORT xs[2] = {10, 0};
  const BYTE mode[1] = {1};
  struct Case {
    const char* name;
    std::function<int(XlContext*)> write;
    Bytes expected;
  } cases[] = {
      {"BeginFontHeader", [](XlContext* c) { return xl_BeginFontHeader(c, 2, "AB"); },
       B({0xC8, 0xC0, 2, 'A', 'B', 0xF8, 0xA8, 0xC0, 0, 0xF8, 0xA9, 0x4F})},
      {"ReadFontHeader", [&](XlContext* c) { return xl_ReadFontHeader(c, 4, data); },
       B({0xC1, 4, 0, 0xF8, 0xA7, 0x50, 0xFB, 4, 1, 2, 3, 4})},
      {"EndFontHeader", [](XlContext* c) { return xl_EndFontHeader(c); }, B({0x51})},
      {"BeginChar", [](XlContext* c) { return xl_BeginChar(c, 2, "AB"); },
       B({0xC8, 0xC0, 2, 'A', 'B', 0xF8, 0xA8, 0x52})},
      {"ReadChar", [&](XlContext* c) { return xl_ReadChar(c, 5, 3, data); },
       B({0xC1, 5, 0, 0xF8, 0xA2, 0xC2, 3, 0, 0, 0, 0xF8, 0xA3, 0x53, 0xFB, 3, 1, 2, 3})},
      {"EndChar", [](XlContext* c) { return xl_EndChar(c); }, B({0x54})},
      {"RemoveFont", [](XlContext* c) { return xl_RemoveFont(c, 2, "AB"); },
       B({0xC8, 0xC0, 2, 'A', 'B', 0xF8, 0xA8, 0x55})},
      {"SetFont", [](XlContext* c) { return xl_SetFont(c, 2, "AB", 12.0f, 590); },
       B({0xC8, 0xC0, 2, 'A', 'B', 0xF8, 0xA8, 0xC5, 0, 0, 0x40, 0x41, 0xF8, 0xA6, 0xC1, 0x4E, 0x02, 0xF8, 0xAA,
          0x6F})},
      {"SetCharAngle", [](XlContext* c) { return xl_SetCharAngle(c, 90); }, B({0xC1, 90, 0, 0xF8, 0xA1, 0x64})},
      {"SetCharScale", [](XlContext* c) { return xl_SetCharScale(c, 1.0f, 2.0f); },
       B({0xD5, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0xF8, 0xA4, 0x65})},
      {"SetCharShear", [](XlContext* c) { return xl_SetCharShear(c, 0.5f, 0.0f); },
       B({0xD5, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0xF8, 0xA5, 0x66})},
      {"SetCharBoldValue", [](XlContext* c) { return xl_SetCharBoldValue(c, 0.5f); },
       B({0xC5, 0, 0, 0, 0x3F, 0xF8, 0xB1, 0x7D})},
      {"SetCharSubMode", [&](XlContext* c) { return xl_SetCharSubMode(c, 1, mode); },
       B({0xC8, 0xC0, 1, 1, 0xF8, 0xAC, 0x81})},
      {"SetCharAttributes", [](XlContext* c) { return xl_SetCharAttributes(c, 1); }, B({0xC0, 1, 0xF8, 0xAD, 0x56})},
      {"Text", [&](XlContext* c) { return xl_Text(c, 2, codes, TRUE, FALSE, xs, nullptr); },
       B({0xC9, 0xC0, 2, 1, 0, 2, 0, 0xF8, 0xAB, 0xCB, 0xC0, 2, 10, 0, 0, 0, 0xF8, 0xAF, 0xA8})},
  };
  for (const Case& c : cases) {
    FontPdev p;
    ASSERT_EQ(c.write(&p.get()->xl), 0) << c.name;
    EXPECT_EQ(p.Output(), c.expected) << c.name;
  }
}

TEST(TextOperators, RefuseNamesThatDoNotFit) {
  FontPdev p;
  std::string longName(XL_FONTNAME_MAX, 'x');
  EXPECT_EQ(xl_SetFont(&p.get()->xl, static_cast<DWORD>(longName.size()), longName.c_str(), 1.0f, 590), -1);
  EXPECT_EQ(xl_BeginFontHeader(&p.get()->xl, 0, "x"), -1);
  EXPECT_EQ(xl_ReadFontHeader(&p.get()->xl, 0x10000, longName.data()), -1);
  EXPECT_TRUE(p.Output().empty());
}

// Which operators each call writes, after the reset flag was cleared by Text.
TEST(TextOperators, LastValueSuppression) {
  FontPdev p;
  XlContext* c = &p.get()->xl;
  const WORD code = 0;
  const SHORT sp = 0;
  auto keys = [&]() {
    pclxl_check::Listing l = pclxl_check::list(p.Output());
    p.Clear();
    std::string s;
    for (const auto& k : l.keys()) s += (s.empty() ? "" : " ") + k;
    return s;
  };
  // Everything goes while the reset flag is up.
  const BYTE one[1] = {1}, zero[1] = {0};
  xl_SetCharAngle(c, 0);
  xl_SetCharScale(c, 1, 1);
  xl_SetCharBoldValue(c, 0);
  xl_SetCharSubMode(c, 1, zero);
  xl_SetCharAttributes(c, 0);
  xl_SetFont(c, 2, "AB", 10, 590);
  xl_Text(c, 1, &code, TRUE, FALSE, &sp, nullptr);
  EXPECT_EQ(keys(), "SetCharAngle SetCharScale SetCharBoldValue SetCharSubMode SetCharAttributes SetFont Text");
  struct Step {
    std::function<void()> call;
    const char* expected;
  } steps[] = {
      {[&] { xl_SetCharAngle(c, 0); }, ""},
      {[&] { xl_SetCharAngle(c, 90); }, "SetCharAngle"},
      {[&] { xl_SetCharScale(c, 1, 1); }, ""},
      {[&] { xl_SetCharScale(c, 2, 1); }, "SetCharScale SetCharAngle"},  // the angle follows, unchanged
      {[&] { xl_SetCharShear(c, 0, 0); }, ""},
      {[&] { xl_SetCharShear(c, 0.3f, 0); }, "SetCharShear SetCharAngle"},
      {[&] { xl_SetCharBoldValue(c, 0); }, ""},
      {[&] { xl_SetCharBoldValue(c, 0.015f); }, "SetCharBoldValue"},
      {[&] { xl_SetCharSubMode(c, 1, zero); }, ""},
      {[&] { xl_SetCharSubMode(c, 1, one); }, "SetCharSubMode"},
      {[&] { xl_SetCharAttributes(c, 0); }, ""},
      {[&] { xl_SetCharAttributes(c, 1); }, "SetCharAttributes"},
      {[&] { xl_SetFont(c, 2, "AB", 10, 590); }, ""},
      {[&] { xl_SetFont(c, 2, "AB", 11, 590); }, "SetFont"},
      {[&] { xl_SetFont(c, 2, "AB", 11, 309); }, "SetFont"},
      {[&] { xl_SetFont(c, 3, "ABC", 11, 309); }, "SetFont"},
      {[&] { xl_initfontcgs(c); xl_SetCharAngle(c, 90); }, "SetCharAngle"},  // reset: sent again
  };
  for (const Step& s : steps) {
    s.call();
    EXPECT_EQ(keys(), s.expected);
  }
}

// Two names that share their first 95 bytes are two fonts.
TEST(TextOperators, LongNamesAreKeptWhole) {
  FontPdev p;
  XlContext* c = &p.get()->xl;
  const WORD code = 0;
  const SHORT sp = 0;
  std::string a(94, 'F'), b(94, 'F');
  a += ":00000000:0000:3F800000:BM:B";
  b += ":00000000:0000:3F800000:BM:I";
  xl_SetFont(c, static_cast<DWORD>(a.size()), a.c_str(), 1, 309);
  xl_Text(c, 1, &code, TRUE, FALSE, &sp, nullptr);
  p.Clear();
  xl_SetFont(c, static_cast<DWORD>(b.size()), b.c_str(), 1, 309);
  pclxl_check::Listing l = pclxl_check::list(p.Output());
  ASSERT_EQ(l.items.size(), 1u);
  EXPECT_EQ(l.items[0].name, "SetFont");

  BOOL found = FALSE;
  ASSERT_EQ(xlfont_CheckAndAddFont(p.get(), 2, FALSE, 0, a.c_str(), &found), 0);
  ASSERT_EQ(xlfont_CheckAndAddFont(p.get(), 2, FALSE, 0, b.c_str(), &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(p.get()->fontCacheCount, 2);
}

class FontCache : public ::testing::Test {
 protected:
  void SetUp() override { KpEngineFailAllocation(0); }
  void TearDown() override { KpEngineFailAllocation(0); }
  BOOL Add(const char* name, BOOL large = FALSE, DWORD capacity = 0) {
    BOOL found = FALSE;
    EXPECT_EQ(xlfont_CheckAndAddFont(p.get(), 1, large, capacity, name, &found), 0);
    return found;
  }
  void Glyphs(const char* name, WORD from, WORD count) {
    for (WORD g = 0; g < count; ++g) {
      WORD code = 0;
      BOOL found = FALSE;
      ASSERT_EQ(xlfont_CheckAndAddGlyphID(p.get(), static_cast<WORD>(from + g), &code, name, &found), 0);
    }
  }
  std::vector<std::string> Names() {
    std::vector<std::string> n;
    for (XLFONT_ENTRY* e = p.get()->fontCache; e; e = e->next) n.push_back(e->name);
    return n;
  }
  FontPdev p;
};

TEST_F(FontCache, GlyphCodesAreTheirPlaces) {
  WORD code = 9;
  BOOL found = TRUE;
  EXPECT_EQ(xlfont_CheckAndAddGlyphID(p.get(), 36, &code, "F", &found), -1);  // empty list
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(Add("F"));
  WORD glyphs[] = {36, 40, 36, 12, 40};
  WORD codes[] = {0, 1, 0, 2, 1};
  BOOL founds[] = {FALSE, FALSE, TRUE, FALSE, TRUE};
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(xlfont_CheckAndAddGlyphID(p.get(), glyphs[i], &code, "F", &found), 0);
    EXPECT_EQ(code, codes[i]);
    EXPECT_EQ(found, founds[i]);
  }
  EXPECT_EQ(xlfont_CheckAndAddGlyphID(p.get(), 1, &code, "G", &found), -1);  // no such font
}

// The overflow test counts the run's glyphs: 1000 + 24 passes 1023 even when
// all 24 are already there; 1000 + 23 does not.
TEST_F(FontCache, OverflowCountsTheRun) {
  Add("F");
  Glyphs("F", 0, 1000);
  EXPECT_EQ(xlfont_CheckOverflow(p.get(), "F", 24), 1);
  EXPECT_EQ(xlfont_CheckOverflow(p.get(), "F", 23), 0);
  EXPECT_EQ(xlfont_CheckOverflow(p.get(), "G", 5000), 0);  // not cached
  // The whole path: the font is removed and downloaded anew from code 0.
  XLTEXT_CHARSTATE cs = CharState("F", XL_SYMBOLSET_BITMAP);
  ASSERT_EQ(xltext_SendFontHeader(p.get(), nullptr, nullptr, 24, XLFONT_KIND_BITMAP, &cs, nullptr), 0);
  pclxl_check::Listing l = pclxl_check::list(p.Output());
  std::vector<std::string> keys = l.keys();
  ASSERT_GE(keys.size(), 2u);
  EXPECT_EQ(keys[0], "RemoveFont");
  EXPECT_EQ(keys[1], "BeginFontHeader");
  EXPECT_EQ(p.get()->fontCache->glyphCount, 0);
}

TEST_F(FontCache, MostRecentFirstAndTailFirstDeletion) {
  Add("A");
  Add("B");
  EXPECT_TRUE(Add("A"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
  xl_SetCharAngle(&p.get()->xl, 90);
  const WORD code = 0;
  const SHORT sp = 0;
  xl_Text(&p.get()->xl, 1, &code, TRUE, FALSE, &sp, nullptr);
  p.Clear();
  ASSERT_EQ(xlfont_DeleteCache(p.get()), 0);
  pclxl_check::Listing l = pclxl_check::list(p.Output());
  ASSERT_EQ(l.items.size(), 2u);
  EXPECT_EQ(l.items[0].attributes[0].value, "\"B\"");
  EXPECT_EQ(l.items[1].attributes[0].value, "\"A\"");
  EXPECT_EQ(p.get()->fontCacheCount, 0);
  EXPECT_TRUE(p.get()->xl.font.reset);  // the font state was reset after the last
  EXPECT_STREQ(p.get()->xl.font.fontName, "No Font");
}

TEST_F(FontCache, FailedRemoveKeepsTheRestAndPageStartFreesIt) {
  Add("A");
  Add("B");
  Add("C");
  size_t before = KpEngineBlockCount(XLFONT_TAG);
  EXPECT_EQ(before, 3u);
  p.Clear();
  // The output fails: the first RemoveFont cannot be written, so every font
  // stays listed (the printer still has them).
  p.FailWrite(1);
  xl_comment(&p.get()->xl, "x");
  psflush(&p.get()->xl.out);
  EXPECT_EQ(xlfont_DeleteCache(p.get()), -1);
  EXPECT_EQ(p.get()->fontCacheCount, 3);
  ASSERT_EQ(xlfont_InitCache(p.get()), 0);
  EXPECT_EQ(p.get()->fontCacheCount, 0);
  EXPECT_EQ(p.get()->fontCache, nullptr);
  EXPECT_EQ(KpEngineBlockCount(XLFONT_TAG), 0u);
}

TEST_F(FontCache, DeleteFontByName) {
  Add("A");
  Add("B");
  EXPECT_EQ(xlfont_DeleteFont(p.get(), "C"), -1);
  EXPECT_EQ(xlfont_DeleteFont(p.get(), "A"), 0);
  EXPECT_EQ(Names(), std::vector<std::string>{"B"});
}

TEST_F(FontCache, AllocationFailureAddsNothing) {
  BOOL found = FALSE;
  KpEngineFailAllocation(1);
  EXPECT_EQ(xlfont_CheckAndAddFont(p.get(), 1, FALSE, 0, "A", &found), -1);
  KpEngineFailAllocation(2);  // the large table
  EXPECT_EQ(xlfont_CheckAndAddFont(p.get(), 2, TRUE, 2000, "A", &found), -1);
  EXPECT_EQ(p.get()->fontCacheCount, 0);
  EXPECT_EQ(KpEngineBlockCount(XLFONT_TAG), 0u);
}

// A large entry never takes more than its capacity, and a run that would
// pass it opens the font anew.
TEST_F(FontCache, LargeEntries) {
  EXPECT_FALSE(Add("L", TRUE, 1100));
  Glyphs("L", 0, 1100);
  WORD code = 0;
  BOOL found = FALSE;
  EXPECT_EQ(xlfont_CheckAndAddGlyphID(p.get(), 5000, &code, "L", &found), -1);
  EXPECT_EQ(p.get()->fontCache->glyphCount, 1100);
  EXPECT_EQ(xlfont_CheckOverflow(p.get(), "L", 1), 1);
  BOOL f2 = FALSE;
  EXPECT_EQ(xlfont_CheckAndAddFont(p.get(), 1, TRUE, 0x10000, "M", &f2), -1);  // capacity past 16 bits
}

// Bitmap runs of 1100 glyphs, then 1200 new ones: the second run removes
// the font and downloads it again with room for 1200.
TEST_F(FontCache, BitmapRunsPastTheInlineTable) {
  std::vector<uint64_t> store(4, 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(store.data());
  gb->sizlBitmap = SIZEL{1, 1};
  gb->aj[0] = 0x80;
  GLYPHDEF def{};
  def.pgb = gb;
  XLTEXT_CHARSTATE cs = CharState("Run:BM", XL_SYMBOLSET_BITMAP, 50);
  for (int round = 0; round < 2; ++round) {
    ULONG count = round == 0 ? 1100 : 1200;
    std::vector<GLYPHPOS> pos(count);
    std::vector<WORD> codes(count);
    for (ULONG i = 0; i < count; ++i) {
      pos[i].hg = round * 2000 + i;
      pos[i].pgdf = &def;
      codes[i] = static_cast<WORD>(pos[i].hg);
    }
    ASSERT_EQ(xltext_SendFontHeader(p.get(), nullptr, nullptr, count, XLFONT_KIND_BITMAP, &cs, nullptr), 0);
    ASSERT_EQ(xltext_SendChar(p.get(), nullptr, nullptr, count, pos.data(), XLFONT_KIND_BITMAP, &cs, nullptr,
                              codes.data()),
              0);
    EXPECT_EQ(codes[count - 1], count - 1);
    EXPECT_EQ(p.get()->fontCache->capacity, count);
    EXPECT_EQ(p.get()->fontCache->glyphCount, count);
  }
  Bytes out = p.Output();
  pclxl_check::Listing l = pclxl_check::list(out);
  size_t removes = 0, headers = 0, chars = 0;
  for (const auto& it : l.items) {
    removes += it.name == "RemoveFont";
    headers += it.name == "BeginFontHeader";
    chars += it.name == "ReadChar";
  }
  EXPECT_EQ(removes, 1u);
  EXPECT_EQ(headers, 2u);
  EXPECT_EQ(chars, 2300u);
  EXPECT_EQ(CheckInPage(out), "");
}

}  // namespace
