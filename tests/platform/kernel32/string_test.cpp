#include <gtest/gtest.h>
#include <kplatform/kernel32_codepage.h>
#include <kplatform/kernel32_string.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

namespace {

TEST(Lstr, ComparisonsByCodeUnitWithAndWithoutCase) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int exact;
    int folded;
  };
  const Case cases[] = {
      {u"abc", u"abc", 0, 0},
      {u"abc", u"abd", -1, -1},
      {u"abc", u"ab", 1, 1},
      {u"", u"a", -1, -1},
      {u"ABC", u"abc", -1, 0},
      {u"a", u"B", 1, -1},                               // case folded before comparing
      {u"\u00E9t\u00E9", u"\u00C9T\u00C9", 1, 0},         // Latin-1
      {u"\u0105", u"\u0104", 1, 0},                       // Latin Extended-A, lower case odd
      {u"\u013A", u"\u0139", 1, 0},                       // Latin Extended-A, lower case even
      {u"\u03C3\u03C2", u"\u03A3\u03A3", 1, 0},           // Greek, final sigma
      {u"\u0434\u0451", u"\u0414\u0401", 1, 0},           // Cyrillic
      {u"\uFF41", u"\uFF21", 1, 0},                       // full-width
      {u"\u65E5", u"\u65E5", 0, 0},
      {nullptr, u"", -1, -1},
      {u"", nullptr, 1, 1},
      {nullptr, nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.a) << " " << static_cast<const void*>(c.b));
    EXPECT_EQ(c.exact, lstrcmpW(c.a, c.b));
    EXPECT_EQ(c.folded, lstrcmpiW(c.a, c.b));
  }
  EXPECT_EQ(1, lstrcmpA("\xE9", "z")) << "bytes compare unsigned";
  EXPECT_EQ(0, lstrcmpA("same", "same"));
  EXPECT_EQ(-1, lstrcmpA(nullptr, "a"));
}

TEST(Lstr, BoundedCopyNeverWritesPastItsCount) {
  struct Case {
    int count;
    std::u16string stored;
  };
  const Case cases[] = {{1, u""}, {2, u"h"}, {5, u"hell"}, {6, u"hello"}, {9, u"hello"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    std::u16string buffer(12, u'#');
    EXPECT_EQ(buffer.data(), lstrcpynW(buffer.data(), u"hello", c.count));
    EXPECT_EQ(c.stored, std::u16string(buffer.c_str()));
    for (size_t i = static_cast<size_t>(c.count); i < buffer.size(); ++i) ASSERT_EQ(u'#', buffer[i]) << i;
  }
  WCHAR untouched[2] = {u'#', 0};
  EXPECT_EQ(untouched, lstrcpynW(untouched, u"x", 0));
  EXPECT_EQ(u'#', untouched[0]);
  EXPECT_EQ(nullptr, lstrcpynW(nullptr, u"x", 4));
  EXPECT_EQ(nullptr, lstrcpynW(untouched, nullptr, 2));
}

TEST(Lstr, LengthCopyAndConcatenate) {
  WCHAR w[16];
  EXPECT_EQ(w, lstrcpyW(w, u"ab"));
  EXPECT_EQ(w, lstrcatW(w, u"cd"));
  EXPECT_EQ(std::u16string(u"abcd"), w);
  EXPECT_EQ(4, lstrlenW(w));
  EXPECT_EQ(0, lstrlenW(nullptr));
  EXPECT_EQ(nullptr, lstrcatW(nullptr, u"x"));
  char a[8];
  EXPECT_EQ(a, lstrcpyA(a, "xyz"));
  EXPECT_EQ(3, lstrlenA(a));
  EXPECT_EQ(0, lstrlenA(nullptr));
}

std::u16string Format(const char16_t* format, ...) {
  WCHAR buffer[256];
  va_list args;
  va_start(args, format);
  int n = wvnsprintfW(buffer, 256, format, args);
  va_end(args);
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer), static_cast<size_t>(n));
  return buffer;
}

TEST(Formatter, Directives) {
  struct Case {
    std::u16string got;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {Format(u"%d|%i|%u", -42, 7, 4294967295u), u"-42|7|4294967295"},
      {Format(u"%ld|%lu|%lx|%lX", -1, 3000000000u, 0xBEEFu, 0xBEEFu), u"-1|3000000000|beef|BEEF"},
      {Format(u"%I64d|%I64u|%I64X", int64_t{-9000000000}, uint64_t{18000000000000000000u}, uint64_t{0x1234567890}),
       u"-9000000000|18000000000000000000|1234567890"},
      {Format(u"%d", INT32_MIN), u"-2147483648"},
      {Format(u"%I64d", INT64_MIN), u"-9223372036854775808"},
      {Format(u"[%5d][%-5d][%05d][%-05d]", 42, 42, -42, 42), u"[   42][42   ][-0042][42   ]"},
      {Format(u"[%.3d][%8.3x][%#x][%#X][%#x]", 7, 255, 255, 255, 0), u"[007][     0ff][0xff][0XFF][0]"},
      {Format(u"%04d,%02d/%02d", 2026, 3, 9), u"2026,03/09"},
      {Format(u"%08X%04X", 0xABCDu, 0x1u), u"0000ABCD0001"},
      {Format(u"%hd|%hu", 70000, 70000), u"4464|4464"},
      {Format(u"[%s][%ls][%ws][%6s][%-6s][%.2s]", u"wide", u"l", u"w", u"ab", u"ab", u"abc"),
       u"[wide][l][w][    ab][ab    ][ab]"},
      {Format(u"[%hs][%S][%.1hs]", "narrow", "N", "xy"), u"[narrow][N][x]"},
      {Format(u"[%c][%lc][%hc][%C][%3c]", u'\u65E5', u'w', 'n', 'N', u'x'), u"[\u65E5][w][n][N][  x]"},
      {Format(u"%s|%hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)), u"(null)|(null)"},
      {Format(u"100%% %q %"), u"100% q "},
      {Format(u"%.3s", u"ab\0cd"), u"ab"},
  };
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].expected, cases[i].got) << "case " << i;
}

TEST(Formatter, NarrowStringsGoThroughTheAnsiCodePage) {
  EXPECT_EQ(u"caf\u00E9", Format(u"%hs", "caf\xE9"));
  ASSERT_TRUE(KpSetACP(932));
  EXPECT_EQ(u"\u65E5\u672C", Format(u"%hs", "\x93\xFA\x96\x7B"));
  char narrow[32];
  EXPECT_EQ(5, wsprintfA(narrow, "%S|%ls", u"\u65E5", u"\u672C"));
  EXPECT_EQ(std::string("\x93\xFA|\x96\x7B"), narrow);
  KpSetACP(1252);
}

// The bounded form against one output of 11 characters, "id=12345;ok".
TEST(Formatter, NeverWritesPastTheCountAndAlwaysTerminates) {
  struct Case {
    int count;
    int result;
    std::u16string stored;
  };
  const Case cases[] = {
      {1, 0, u""}, {2, 1, u"i"}, {6, 5, u"id=12"}, {11, 10, u"id=12345;o"}, {12, 11, u"id=12345;ok"}, {40, 11, u"id=12345;ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    std::u16string buffer(48, u'#');
    EXPECT_EQ(c.result, wnsprintfW(buffer.data(), c.count, u"id=%d;%s", 12345, u"ok"));
    EXPECT_EQ(c.stored, std::u16string(buffer.c_str()));
    for (size_t i = static_cast<size_t>(c.count); i < buffer.size(); ++i) ASSERT_EQ(u'#', buffer[i]) << i;
  }
  WCHAR untouched[1] = {u'#'};
  EXPECT_EQ(0, wnsprintfW(untouched, 0, u"abc"));
  EXPECT_EQ(u'#', untouched[0]);
  EXPECT_EQ(0, wnsprintfW(nullptr, 8, u"abc"));
  WCHAR wide[8];
  EXPECT_EQ(3, wnsprintfW(wide, 4, u"%1000000d", 5)) << "a huge width is cut at the buffer, not written";
  EXPECT_EQ(std::u16string(u"   "), wide);
}

TEST(Formatter, UnboundedFormsStopAt1024Characters) {
  std::u16string longText(2000, u'x');
  std::u16string buffer(1100, u'#');
  EXPECT_EQ(1023, wsprintfW(buffer.data(), u"%s", longText.c_str()));
  EXPECT_EQ(u'\0', buffer[1023]);
  EXPECT_EQ(u'#', buffer[1024]);

  WCHAR drive[160];
  EXPECT_EQ(28, wsprintfW(drive, u"Check the space on %c drive. ", u'D'));
  EXPECT_EQ(std::u16string(u"Check the space on D drive. "), drive);

  std::string narrow(1100, '#');
  std::string longNarrow(1500, 'y');
  EXPECT_EQ(1023, wsprintfA(narrow.data(), "%s", longNarrow.c_str()));
  EXPECT_EQ('\0', narrow[1023]);
  EXPECT_EQ('#', narrow[1024]);
}

int CallWvsprintf(WCHAR* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfW(buffer, format, args);
  va_end(args);
  return n;
}

TEST(Formatter, ListFormTakesItsArguments) {
  WCHAR buffer[64];
  EXPECT_EQ(9, CallWvsprintf(buffer, u"%s=%lu", u"Log", 65536u));
  EXPECT_EQ(std::u16string(u"Log=65536"), buffer);
}

}  // namespace
