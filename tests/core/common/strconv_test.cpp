// Conversions between UTF-16, 8-bit code pages and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/strconv.h"
#include "kplatform/kwindows.h"

namespace {

class Conversion : public ::testing::Test {
 protected:
  void TearDown() override { KpSetACP(1252); }
};

// "a", HIRAGANA LETTER A (0x82 0xA0 in 932), "b".
const char kSjis[] = "a\x82\xa0" "b";

TEST_F(Conversion, ValidCodePages) {
  EXPECT_EQ(65001u, GetValidCodePage(65001));
  EXPECT_EQ(932u, GetValidCodePage(932));
  EXPECT_EQ(1252u, GetValidCodePage(0));
  EXPECT_EQ(1252u, GetValidCodePage(12345));
  KpSetACP(932);
  EXPECT_EQ(932u, GetValidCodePage(12345));
}

TEST_F(Conversion, DoubleBytePairIsOneCharacter) {
  EXPECT_EQ(3, CopyStr2WideChar(932, nullptr, kSjis, 0));
  WCHAR wide[8];
  EXPECT_EQ(3, CopyStr2WideChar(932, wide, kSjis, 8));
  EXPECT_EQ(std::u16string(u"a\u3042b"), wide);
  // Too small: what fits, terminated inside the capacity.
  WCHAR small[3] = {u'#', u'#', u'#'};
  EXPECT_EQ(2, CopyStr2WideChar(932, small, kSjis, 3));
  EXPECT_EQ(std::u16string(u"a\u3042"), std::u16string(small));
  EXPECT_EQ(0, CopyStr2WideChar(932, nullptr, nullptr, 0));
}

TEST_F(Conversion, WideToMultiByteSizes) {
  const WCHAR text[] = u"a\u3042b";
  EXPECT_EQ(5, copyWideCharStr2MultiByteStr(932, text, nullptr, 0));  // 4 bytes + 1
  char out[8];
  EXPECT_EQ(5, copyWideCharStr2MultiByteStr(932, text, out, 8));
  EXPECT_EQ(std::string(kSjis), out);
  char small[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(0, copyWideCharStr2MultiByteStr(932, text, small, 4));  // refused, nothing cut
  EXPECT_EQ('\0', small[0]);
  EXPECT_EQ('#', small[3]);
  EXPECT_EQ(0, copyWideCharStr2MultiByteStr(932, text, out, -1));
  EXPECT_EQ(0, copyWideCharStr2MultiByteStr(932, text, nullptr, 8));
}

TEST_F(Conversion, Utf8OfSurrogatePairs) {
  const WCHAR text[] = u"x\U0001F600\u00e9";  // 1 + 4 + 2 bytes
  EXPECT_EQ(8, copyWideCharStr2UTF8Str(text, nullptr, 0));
  int size = 0;
  LPSTR utf8 = allocAndCopyWC2UTF8(text, &size);
  ASSERT_NE(nullptr, utf8);
  EXPECT_EQ(8, size);
  EXPECT_EQ(std::string("x\xF0\x9F\x98\x80\xC3\xA9"), utf8);
  kcore_Free(utf8);
  char small[5];
  EXPECT_EQ(0, copyWideCharStr2UTF8Str(text, small, 5));  // would cut the pair
  EXPECT_EQ('\0', small[0]);
  // A lone surrogate becomes U+FFFD, not a broken sequence.
  const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
  utf8 = allocAndCopyWC2UTF8(lone, &size);
  ASSERT_NE(nullptr, utf8);
  EXPECT_EQ(std::string("a\xEF\xBF\xBD" "b"), utf8);
  kcore_Free(utf8);
}

TEST_F(Conversion, AllocatingForms) {
  int count = 0;
  LPWSTR wide = allocAndCopyMB2WC(932, kSjis, &count);
  ASSERT_NE(nullptr, wide);
  EXPECT_EQ(3, count);
  EXPECT_EQ(std::u16string(u"a\u3042b"), wide);
  LPSTR back = allocAndCopyWC2MB(932, wide);
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(std::string(kSjis), back);
  kcore_Free(back);
  kcore_Free(wide);

  LPSTR text = nullptr;
  int length = 0;
  ASSERT_TRUE(zanlib_WideCharToMultiByte(u"caf\u00e9", &text, &length, 1252));
  EXPECT_EQ(4, length);
  EXPECT_EQ(std::string("caf\xE9"), text);
  LPSTR utf8 = allocAndCopyMB2UTF8(text, &length);
  ASSERT_NE(nullptr, utf8);
  EXPECT_EQ(6, length);
  EXPECT_EQ(std::string("caf\xC3\xA9"), utf8);
  kcore_Free(utf8);
  LPWSTR again = nullptr;
  ASSERT_TRUE(zanlib_MultiByteToWideChar(text, &again, &length, 1252));
  EXPECT_EQ(5, length);  // with the NUL
  EXPECT_EQ(std::u16string(u"caf\u00e9"), again);
  kcore_Free(again);
  kcore_Free(text);

  EXPECT_FALSE(zanlib_WideCharToMultiByte(nullptr, &text, &length, 1252));
  EXPECT_EQ(nullptr, text);
  EXPECT_FALSE(zanlib_MultiByteToWideChar(nullptr, &again, &length, 1252));
  EXPECT_EQ(nullptr, allocAndCopyWC2MB(0, nullptr));
  LPSTR empty = allocAndCopyWC2UTF8(u"", &length);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(1, length);
  kcore_Free(empty);
}

}  // namespace
