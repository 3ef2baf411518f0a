#include <gtest/gtest.h>
#include <kplatform/kernel32_codepage.h>

#include <iconv.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class CodePage : public ::testing::Test {
 protected:
  void TearDown() override { KpSetACP(1252); }
};

std::u16string ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(n, MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n));
  }
  return out;
}

std::string ToBytes(UINT cp, const std::u16string& wide, BOOL* used = nullptr) {
  int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, used);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(n, WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, used));
  }
  return out;
}

struct RoundTrip {
  UINT cp;
  std::string bytes;
  std::u16string wide;
};

TEST_F(CodePage, TextConvertsBothWaysInEveryCodePage) {
  const RoundTrip cases[] = {
      {1252, "caf\xE9 \x80 5", u"caf\u00E9 \u20AC 5"},
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // unassigned bytes keep their value
      {932, "\x93\xFA\x96\x7B\x8C\xEA", u"\u65E5\u672C\u8A9E"},              // double-byte kanji
      {932, "A\xB1\xB2" "B", u"A\uFF71\uFF72B"},                              // single-byte half-width kana
      {932, "\x81\x5C\x87\x40", u"\u2015\u2460"},                            // trail byte in the ASCII range; NEC row 13
      {437, "\x82\xB0", u"\u00E9\u2591"},
      {CP_UTF8, "\xE6\x97\xA5 \xF0\x9F\x98\x80", u"\u65E5 \U0001F600"},   // a surrogate pair
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.cp);
    EXPECT_EQ(c.wide, ToWide(c.cp, c.bytes));
    EXPECT_EQ(c.bytes, ToBytes(c.cp, c.wide));
  }
}

TEST_F(CodePage, MinusOneLengthIncludesTheTerminatorAndAnEmbeddedNulIsOrdinary) {
  WCHAR wide[8] = {};
  EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "ab", -1, wide, 8));
  EXPECT_EQ(std::u16string(u"ab"), wide);
  char bytes[8] = "xxxxxxx";
  EXPECT_EQ(3, WideCharToMultiByte(1252, 0, u"ab", -1, bytes, 8, nullptr, nullptr));
  EXPECT_STREQ("ab", bytes);
  EXPECT_EQ(3, MultiByteToWideChar(1252, 0, "a\0b", 3, wide, 8));
  EXPECT_EQ(u'b', wide[2]);
}

// The size protocol of both directions, where one unit short splits a
// double-byte character.
TEST_F(CodePage, SizeQueryExactFitAndOneShort) {
  const char* sjis = "\x93\xFA\x96\x7B";  // 2 characters, 4 bytes (+ NUL)
  const char16_t* wide = u"\u65E5\u672C";
  EXPECT_EQ(3, MultiByteToWideChar(932, 0, sjis, -1, nullptr, 0));
  EXPECT_EQ(5, WideCharToMultiByte(932, 0, wide, -1, nullptr, 0, nullptr, nullptr));

  WCHAR w[4] = {u'#', u'#', u'#', u'#'};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(932, 0, sjis, -1, w, 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(u'#', w[0]) << "a failed conversion leaves the destination alone";
  EXPECT_EQ(3, MultiByteToWideChar(932, 0, sjis, -1, w, 3));
  EXPECT_EQ(u'#', w[3]) << "nothing written past the converted text";

  char b[6] = "#####";
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(932, 0, wide, 2, b, 3, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ('#', b[0]);
  EXPECT_EQ(4, WideCharToMultiByte(932, 0, wide, 2, b, 4, nullptr, nullptr));
  EXPECT_EQ("\x93\xFA\x96\x7B#", std::string(b, 5));
}

struct Undecodable {
  UINT cp;
  std::string bytes;
  std::u16string replaced;
};

TEST_F(CodePage, UndecodableBytesAreReplacedOrRefused) {
  const Undecodable cases[] = {
      {CP_UTF8, "a\xC3", u"a\uFFFD"},                       // cut off at the end
      {CP_UTF8, "\xE3\x81" "A", u"\uFFFD" "A"},             // cut off before a letter: one replacement
      {CP_UTF8, "\xC0\x80", u"\uFFFD\uFFFD"},               // overlong
      {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},     // an encoded surrogate
      {CP_UTF8, "\xFF" "b", u"\uFFFD" "b"},
      {932, "a\x93", u"a\u30FB"},                           // lead byte without its trail byte
      {932, "\x85\x40" "c", u"\u30FB" "c"},                 // an unassigned double-byte code: one character
  };
  for (const Undecodable& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(c.replaced, ToWide(c.cp, c.bytes));
    WCHAR out[16];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(c.cp, MB_ERR_INVALID_CHARS, c.bytes.data(), static_cast<int>(c.bytes.size()),
                                     out, 16));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
  }
}

TEST_F(CodePage, MissingCharactersTakeTheDefaultCharacter) {
  BOOL used = FALSE;
  EXPECT_EQ("a?b", ToBytes(1252, u"a\u65E5b", &used));
  EXPECT_TRUE(used);
  EXPECT_EQ("ab", ToBytes(1252, u"ab", &used));
  EXPECT_FALSE(used);
  EXPECT_EQ("?", ToBytes(1252, u"\U0001F600", &used)) << "a surrogate pair is one character";

  char out[8] = {};
  EXPECT_EQ(2, WideCharToMultiByte(1252, 0, u"\u65E5x", 2, out, 8, "*", &used));
  EXPECT_EQ("*x", std::string(out, 2));
  EXPECT_EQ(2, WideCharToMultiByte(932, 0, u"\u00E9", 1, out, 8, "\x81\x45", &used))
      << "a double-byte default character in 932";
  EXPECT_EQ("\x81\x45", std::string(out, 2));

  // UTF-8 takes no default character; a lone surrogate becomes U+FFFD.
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, "*", nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ("a\xEF\xBF\xBD" "b", ToBytes(CP_UTF8, std::u16string(lone, 3)));
  SetLastError(0);
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, out, 8, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
}

// The single-byte code pages answer as iconv does, for every byte and for
// every character of the BMP (a character the code page lacks is the
// default character; 1252's five unassigned bytes stand for themselves),
// and for lone surrogates the default character each.
TEST_F(CodePage, SingleByteCodePagesAnswerAsIconvForEveryByteAndCharacter) {
  for (const auto& [cp, name] : {std::pair<UINT, const char*>{437, "CP437"}, {1252, "CP1252"}}) {
    SCOPED_TRACE(name);
    const bool is1252 = cp == 1252;
    auto unassigned = [&](unsigned v) { return is1252 && (v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90 || v == 0x9D); };
    iconv_t decoder = iconv_open("UTF-16LE", name);
    iconv_t encoder = iconv_open(name, "UTF-16LE");
    ASSERT_NE(decoder, reinterpret_cast<iconv_t>(-1));
    ASSERT_NE(encoder, reinterpret_cast<iconv_t>(-1));

    std::string bytes(256, '\0');
    for (int b = 0; b < 256; ++b) bytes[b] = static_cast<char>(b);
    const std::u16string wide = ToWide(cp, bytes);
    ASSERT_EQ(wide.size(), 256u);
    for (int b = 0; b < 256; ++b) {
      char in = static_cast<char>(b);
      char16_t unit = 0;
      char* inPtr = &in;
      char* outPtr = reinterpret_cast<char*>(&unit);
      size_t inLeft = 1, outLeft = 2;
      const bool ok = iconv(decoder, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
      iconv(decoder, nullptr, nullptr, nullptr, nullptr);
      EXPECT_EQ(wide[b], ok ? unit : unassigned(b) ? static_cast<char16_t>(b) : u'?') << b;
    }

    std::u16string bmp;
    for (unsigned u = 0; u < 0x10000; ++u)
      if (u < 0xD800 || u > 0xDFFF) bmp.push_back(static_cast<char16_t>(u));
    const std::string narrow = ToBytes(cp, bmp);
    ASSERT_EQ(narrow.size(), bmp.size());
    for (size_t i = 0; i < bmp.size(); ++i) {
      char16_t in = bmp[i];
      char out = 0;
      char* inPtr = reinterpret_cast<char*>(&in);
      char* outPtr = &out;
      size_t inLeft = 2, outLeft = 1;
      const bool ok = iconv(encoder, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
      iconv(encoder, nullptr, nullptr, nullptr, nullptr);
      const char want = ok ? out : unassigned(in) ? static_cast<char>(in) : '?';
      if (narrow[i] != want) ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(in);
    }
    iconv_close(decoder);
    iconv_close(encoder);

    const char16_t lone[] = {u'a', 0xDC00, 0xD800, u'b', 0xD800};
    BOOL used = FALSE;
    EXPECT_EQ("a??b?", ToBytes(cp, std::u16string(lone, 5), &used));
    EXPECT_TRUE(used);
  }
}

TEST_F(CodePage, BadArgumentsAreRefused) {
  WCHAR w[4];
  char b[4];
  struct Case {
    const char* what;
    std::function<int()> call;
    DWORD error;
  };
  const Case cases[] = {
      {"null source", [&] { return MultiByteToWideChar(1252, 0, nullptr, 3, w, 4); }, ERROR_INVALID_PARAMETER},
      {"empty source", [&] { return MultiByteToWideChar(1252, 0, "a", 0, w, 4); }, ERROR_INVALID_PARAMETER},
      {"length -2", [&] { return MultiByteToWideChar(1252, 0, "a", -2, w, 4); }, ERROR_INVALID_PARAMETER},
      {"negative size", [&] { return MultiByteToWideChar(1252, 0, "a", 1, w, -1); }, ERROR_INVALID_PARAMETER},
      {"null destination", [&] { return MultiByteToWideChar(1252, 0, "a", 1, nullptr, 4); }, ERROR_INVALID_PARAMETER},
      {"unknown code page", [&] { return MultiByteToWideChar(1251, 0, "a", 1, w, 4); }, ERROR_INVALID_PARAMETER},
      {"flags for UTF-8", [&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, w, 4); },
       ERROR_INVALID_FLAGS},
      {"unknown flag", [&] { return MultiByteToWideChar(1252, 0x100, "a", 1, w, 4); }, ERROR_INVALID_FLAGS},
      {"wide null source", [&] { return WideCharToMultiByte(1252, 0, nullptr, 1, b, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"wide null destination", [&] { return WideCharToMultiByte(1252, 0, u"a", 1, nullptr, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"wide unknown code page", [&] { return WideCharToMultiByte(42, 0, u"a", 1, b, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"strict flag outside UTF-8",
       [&] { return WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", 1, b, 4, nullptr, nullptr); },
       ERROR_INVALID_FLAGS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_EQ(0, c.call());
    EXPECT_EQ(c.error, GetLastError());
  }
}

TEST_F(CodePage, AnsiCodePageIsSettableAndCpAcpFollowsIt) {
  EXPECT_EQ(1252u, GetACP());
  EXPECT_EQ(437u, GetOEMCP());
  EXPECT_FALSE(IsDBCSLeadByte(0x93));
  EXPECT_EQ(u"\u201C", ToWide(CP_ACP, "\x93"));

  ASSERT_TRUE(KpSetACP(932));
  EXPECT_EQ(932u, GetACP());
  EXPECT_EQ(932u, GetOEMCP());
  EXPECT_TRUE(IsDBCSLeadByte(0x93));
  EXPECT_EQ(u"\u65E5", ToWide(CP_ACP, "\x93\xFA"));
  EXPECT_EQ(u"\u65E5", ToWide(CP_OEMCP, "\x93\xFA"));

  SetLastError(0);
  EXPECT_FALSE(KpSetACP(65001));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(932u, GetACP());
}

TEST_F(CodePage, LeadBytesAndValidCodePages) {
  struct Lead {
    UINT cp;
    BYTE byte;
    BOOL lead;
  };
  const Lead leads[] = {
      {932, 0x80, FALSE}, {932, 0x81, TRUE},  {932, 0x9F, TRUE},  {932, 0xA0, FALSE},
      {932, 0xDF, FALSE}, {932, 0xE0, TRUE},  {932, 0xFC, TRUE},  {932, 0xFD, FALSE},
      {932, 0x41, FALSE}, {1252, 0x81, FALSE}, {CP_UTF8, 0xE3, FALSE},
  };
  for (const Lead& l : leads) EXPECT_EQ(l.lead, IsDBCSLeadByteEx(l.cp, l.byte)) << l.cp << " " << int(l.byte);

  for (UINT cp : {437u, 932u, 1252u, 65001u}) EXPECT_TRUE(IsValidCodePage(cp)) << cp;
  for (UINT cp : {0u, 1u, 850u, 1251u, 65000u}) EXPECT_FALSE(IsValidCodePage(cp)) << cp;
}

}  // namespace
