// Strings and code pages of the kernel-mode build: string resources read
// through the engine (km_LoadString), the ANSI code page, the charset table,
// lead bytes and the bounded copies.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/strconv.h"
#include "kplatform/engine.h"
#include "kplatform/kernel32_codepage.h"
#include "rescontainer.h"
#include "temp_root.h"

namespace kestrel::test::km {
namespace {

class KernelStrings : public RootedTest {
 protected:
  void TearDown() override { KpSetACP(1252); }
};

TEST_F(KernelStrings, LoadStringFindsTheBlockAndStaysInsideTheBuffer) {
  // Block 3 holds ids 32-47; id 35 is its fourth string (three skipped).
  std::array<std::u16string, kp::res::kStringsPerBlock> block3;
  block3[0] = u"thirty-two";
  block3[2] = u"thirty-four";
  block3[3] = u"thirty-five";
  block3[15] = u"forty-seven";
  std::vector<kp::res::Item> items;
  items.push_back({kp::res::kTypeString, 3, kp::res::BuildStringBlock(block3)});
  auto bytes = kp::res::Build(items);
  WriteHostFile(root_.host("c/res/strings.zrs"), std::string(bytes.begin(), bytes.end()));
  HANDLE module = EngLoadModule(const_cast<LPWSTR>(u"C:\\res\\strings.zrs"));
  ASSERT_NE(module, nullptr);

  struct Case {
    UINT id;
    int chars;
    const char16_t* text;
  } cases[] = {
      {35, 64, u"thirty-five"}, {32, 64, u"thirty-two"}, {47, 64, u"forty-seven"},
      {35, 6, u"thirt"},                           // cut to the buffer, NUL inside it
      {35, 1, u""},       {33, 64, u""},  // an empty slot
      {48, 64, u""},                               // block 4 is missing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<WCHAR> buffer(static_cast<size_t>(c.chars) + 4, u'#');
    int n = km_LoadString(module, c.id, buffer.data(), c.chars);
    EXPECT_EQ(std::u16string(buffer.data()), c.text);
    EXPECT_EQ(n, static_cast<int>(std::u16string(c.text).size()));
    for (size_t i = static_cast<size_t>(c.chars); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], u'#') << i;
  }
  WCHAR untouched = u'#';
  EXPECT_EQ(km_LoadString(module, 35, &untouched, 0), 0);
  EXPECT_EQ(untouched, u'#');
  EXPECT_EQ(km_LoadString(module, 35, nullptr, 8), 0);
  WCHAR buffer[8] = {u'#'};
  EXPECT_EQ(km_LoadString(nullptr, 35, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 0);
  EngFreeModule(module);
}

TEST_F(KernelStrings, CodePagesAndTheCharsetTable) {
  for (UINT acp : {1252u, 932u}) {
    SCOPED_TRACE(acp);
    ASSERT_TRUE(KpSetACP(acp));
    EXPECT_EQ(MyGetACP(), acp);
    EXPECT_EQ(GetValidCodePage(65001), 65001u);
    EXPECT_EQ(GetValidCodePage(932), acp);
    EXPECT_EQ(GetValidCodePage(1252), acp);
    EXPECT_EQ(GetValidCodePage(0), acp);
  }

  struct Pair {
    DWORD value, kind;
    BOOL found;
    UINT charset, codePage;
  } pairs[] = {
      {936, 2, 1, 134, 936},  {134, 1, 1, 134, 936}, {0, 1, 1, 0, 1252},    {222, 1, 1, 222, 874},
      {1361, 2, 1, 130, 1361}, {874, 2, 1, 222, 874}, {1252, 1, 0, 0, 0},    {65001, 2, 0, 0, 0},
      {936, 3, 0, 0, 0},       {134, 0, 0, 0, 0},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(std::to_string(p.value) + " kind " + std::to_string(p.kind));
    KM_CHARSETPAIR out{7, 7};
    EXPECT_EQ(MyTranslateCharsetInfo(p.value, &out, p.kind), p.found);
    if (p.found) {
      EXPECT_EQ(out.charset, p.charset);
      EXPECT_EQ(out.codePage, p.codePage);
    } else {
      EXPECT_EQ(out.charset, 7u);  // untouched
    }
  }
  EXPECT_FALSE(MyTranslateCharsetInfo(936, nullptr, 2));

  struct Lead {
    UINT codePage;
    BYTE byte;
    BOOL lead;
  } leads[] = {
      {932, 0x81, 1}, {932, 0x80, 1}, {932, 0xA0, 1}, {932, 0xA1, 0}, {932, 0xDE, 0}, {932, 0xDF, 1},
      {932, 0xFF, 1}, {932, 0x7F, 0}, {936, 0x80, 1}, {949, 0xFF, 1}, {950, 0x7F, 0}, {1252, 0x81, 0},
      {65001, 0xE3, 0},
  };
  for (const Lead& l : leads) {
    EXPECT_EQ(MyIsDBCSLeadByteEx(l.codePage, l.byte), l.lead) << l.codePage << " " << int(l.byte);
  }
  for (UINT cp : {932u, 936u, 949u, 950u}) EXPECT_TRUE(IsDBCSCodePage(cp)) << cp;
  for (UINT cp : {0u, 1252u, 1361u, 65001u}) EXPECT_FALSE(IsDBCSCodePage(cp)) << cp;
}

TEST_F(KernelStrings, CopiesNeverWritePastTheBuffer) {
  // CopyStringW: "abcdef" into 4 characters leaves "abc" and a NUL.
  struct Case {
    const char16_t* in;
    DWORD chars;
    const char16_t* out;
  } cases[] = {{u"abcdef", 4, u"abc"}, {u"ab", 6, u"ab"}, {u"abcdef", 1, u""}, {nullptr, 4, u""}};
  for (const Case& c : cases) {
    std::vector<WCHAR> buffer(c.chars + 2, u'#');
    DWORD n = CopyStringW(buffer.data(), c.in, c.chars);
    EXPECT_EQ(std::u16string(buffer.data()), c.out);
    EXPECT_EQ(n, std::u16string(c.out).size());
    for (DWORD i = n; i < c.chars; ++i) EXPECT_EQ(buffer[i], 0) << i;  // the rest zero-filled
    EXPECT_EQ(buffer[c.chars], u'#');
  }
  WCHAR one = u'#';
  EXPECT_EQ(CopyStringW(&one, u"abc", 0), 0u);
  EXPECT_EQ(one, u'#');
  EXPECT_EQ(CopyStringW(nullptr, u"abc", 4), 0u);

  // CopyStr2Unicode: cut at a whole character; a capacity of 0 or less
  // writes nothing.
  ASSERT_TRUE(KpSetACP(932));
  const char sjis[] = "a\x82\xa0" "b";  // 'a', HIRAGANA A, 'b'
  struct Narrow {
    const char* in;
    int chars;
    const char16_t* out;
  } narrow[] = {
      {sjis, 8, u"a\u3042b"}, {sjis, 3, u"a\u3042"}, {sjis, 2, u"a"}, {sjis, 1, u""}, {"", 4, u""},
  };
  for (const Narrow& c : narrow) {
    SCOPED_TRACE(c.chars);
    std::vector<WCHAR> buffer(static_cast<size_t>(c.chars) + 2, u'#');
    INT n = CopyStr2Unicode(buffer.data(), c.in, c.chars);
    EXPECT_EQ(std::u16string(buffer.data()), c.out);
    EXPECT_EQ(n, static_cast<INT>(std::u16string(c.out).size()));
    EXPECT_EQ(buffer[static_cast<size_t>(c.chars)], u'#');
  }
  for (int chars : {0, -1}) {
    WCHAR guard[2] = {u'#', u'#'};
    EXPECT_EQ(CopyStr2Unicode(guard, "abc", chars), 0);
    EXPECT_EQ(guard[0], u'#');
  }

  // MyMultiByteToUnicode: all or nothing.
  WCHAR wide[4] = {};
  ULONG bytes = 99;
  EXPECT_EQ(MyMultiByteToUnicode(wide, sizeof wide, &bytes, sjis, 4), 6);
  EXPECT_EQ(bytes, 6u);
  EXPECT_EQ(std::u16string(wide, 3), u"a\u3042b");
  EXPECT_EQ(MyMultiByteToUnicode(wide, 4, &bytes, sjis, 4), -1);  // two characters' room for three
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(MyMultiByteToUnicode(wide, sizeof wide, nullptr, sjis, 1), 2);
  EXPECT_EQ(MyMultiByteToUnicode(nullptr, 8, &bytes, sjis, 4), -1);
  EXPECT_EQ(MyMultiByteToUnicode(wide, sizeof wide, &bytes, nullptr, 4), -1);
  EXPECT_EQ(MyMultiByteToUnicode(wide, 0, &bytes, sjis, 4), -1);
}

}  // namespace
}  // namespace kestrel::test::km
