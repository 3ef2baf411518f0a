// Positional message formatting.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/core/ordered_sprintf.h"

namespace {

std::u16string Format(int capacity, const char16_t* format, const char16_t* a = nullptr,
                      const char16_t* b = nullptr, int* length = nullptr) {
  char16_t out[256];
  for (auto& c : out) c = u'#';
  int n = OrderedSprintf(out, capacity, format, a, b);
  if (length) *length = n;
  return out;
}

TEST(OrderedSprintf, TableOfFormats) {
  struct Row {
    int capacity;
    const char16_t* format;
    const char16_t* a;
    const char16_t* b;
    const char16_t* expected;
  };
  const Row rows[] = {
      {0, u"%2s-%1s", u"a", u"b", u"b-a"},           // positional order
      {0, u"%s and %s", u"x", u"y", u"x and y"},     // sequential
      {0, u"%S%s", u"x", u"y", u"y"},                // upper case takes but does not print
      {0, u"%1S%2s", u"x", u"y", u"y"},
      {0, u"100%%", nullptr, nullptr, u"100%"},
      {0, u"%%s", nullptr, nullptr, u"%s"},          // %% then a plain s
      {0, u"%x stays", nullptr, nullptr, u"%x stays"},
      {0, u"%3s", u"a", nullptr, u"%3s"},            // index 2 is not below the escape count 1
      {0, u"%0s", u"a", nullptr, u"%0s"},            // 0 is no argument number
      {0, u"end %", nullptr, nullptr, u"end %"},
      {0, u"", nullptr, nullptr, u""},
      {0, u"[%s]", nullptr, nullptr, u"[]"},         // a null string prints nothing
      {5, u"ab%s", u"cdef", nullptr, u"ab"},         // the argument does not fit and is dropped whole
      {5, u"ab%sc", u"cdef", nullptr, u"abc"},       // a later, shorter piece still fits
      {3, u"abc", nullptr, nullptr, u""},            // the only piece reaches the capacity
      {4, u"abc", nullptr, nullptr, u"abc"},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index++);
    int length = -1;
    std::u16string got = Format(row.capacity, row.format, row.a, row.b, &length);
    EXPECT_EQ(std::u16string(row.expected), got);
    EXPECT_EQ(static_cast<int>(got.size()), length);
  }
}

TEST(OrderedSprintf, DecimalArguments) {
  char16_t out[64];
  EXPECT_EQ(8, OrderedSprintf(out, 0, u"%2d of %1d", 7, -12));
  EXPECT_EQ(std::u16string(u"-12 of 7"), out);
  OrderedSprintf(out, 0, u"%s=%d", u"copies", 2147483647);
  EXPECT_EQ(std::u16string(u"copies=2147483647"), out);
}

TEST(OrderedSprintf, KindMismatchNeverReadsAnIntegerAsText) {
  // Two escapes carry argument 1: one argument is taken for each and the last
  // (an integer) is kept; the string escape then prints itself.
  char16_t out[64];
  OrderedSprintf(out, 0, u"%1s|%1d", u"text", 42);
  EXPECT_EQ(std::u16string(u"%1s|42"), out);
}

TEST(OrderedSprintf, MoreThanTenEscapesStayInTheirSlots) {
  // Twelve sequential escapes: arguments 1-10 are used, 11 and 12 print their
  // escape characters and take nothing from the list.
  char16_t out[128];
  int n = OrderedSprintf(out, 0, u"%d%d%d%d%d%d%d%d%d%d%d%d", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  EXPECT_EQ(std::u16string(u"0123456789%d%d"), out);
  EXPECT_EQ(14, n);
}

TEST(OrderedSprintf, NeverTakesMoreThanTenArguments) {
  // Arguments are collected by number: number 3 is carried by three escapes
  // and takes the arguments 2, 3 and 4 (the last, 4, is used), so the list's
  // ten arguments run out before numbers 9 and 10, which print themselves.
  char16_t out[128];
  OrderedSprintf(out, 0, u"%d%d%d%d%d%d%d%d%d%d|%3d%3d", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  EXPECT_EQ(std::u16string(u"01456789%d%d|44"), out);
}

TEST(OrderedSprintf, PiecesBeyondTheLimitAreLiteral) {
  // "a%s" ten times makes 20 pieces; escapes are recognised only while fewer
  // than 19 pieces exist, so the tenth %s stays text.
  std::u16string format;
  for (int i = 0; i < 10; ++i) format += u"a%s";
  char16_t out[128];
  OrderedSprintf(out, 0, format.c_str(), u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9");
  EXPECT_EQ(std::u16string(u"a1a2a3a4a5a6a7a8a9a%s"), out);
}

TEST(OrderedSprintf, BadArguments) {
  char16_t out[8] = u"xxxxxxx";
  EXPECT_EQ(0, OrderedSprintf(nullptr, 0, u"abc"));
  EXPECT_EQ(0, OrderedSprintf(out, -1, u"abc"));
  EXPECT_EQ(u'x', out[0]);
  EXPECT_EQ(0, OrderedSprintf(out, 8, nullptr));
  EXPECT_EQ(u'\0', out[0]);
}

}  // namespace
