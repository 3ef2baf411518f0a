// The password scrambler and base64: the known vectors, the capacity edges,
// white space in the decoder, and the texts the decoder refuses.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/qsp.h"
#include "temp_root.h"

namespace {

struct Result {
  LONG code;
  std::string text;
};

Result Apply(LONG (*fn)(const void*, LONG, void*, LONG*, LONG), const std::string& in, LONG capacity) {
  std::string out(static_cast<size_t>(capacity > 0 ? capacity : 1), '#');
  LONG count = -99;
  LONG code = fn(in.data(), static_cast<LONG>(in.size()), out.data(), &count, capacity);
  return {code, code == QSP_OK ? out.substr(0, static_cast<size_t>(count)) : out.substr(0, capacity > 0 ? capacity : 0)};
}

TEST(QspTest, KnownSecretsEncodeToTheirTexts) {
  struct Case {
    const char* plain;
    const char* encoded;
  };
  const Case cases[] = {{"a", "Cg=="},     {"ab", "ChQ="},         {"abc", "ChQM"},
                        {"1234", "WkRcRg=="}, {"secret", "GBMMAA4C"}, {"12345", "WkRcRl4="}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    std::string plain = c.plain;
    Result e = Apply(QSPEncryptAndBinToB64, plain, QSPEncryptAndBinToB64BuffSize(static_cast<LONG>(plain.size())) - 1);
    ASSERT_EQ(e.code, QSP_OK);
    EXPECT_EQ(e.text, c.encoded);
    std::string encoded = c.encoded;
    Result d = Apply(QSPB64ToBinAndEncrypt, encoded, QSPB64ToBinAndEncryptBuffSize(static_cast<LONG>(encoded.size())));
    ASSERT_EQ(d.code, QSP_OK);
    EXPECT_EQ(d.text, plain);
  }
}

TEST(QspTest, ScramblingTwiceGivesTheInputBackAndTheFifthByteTakesTheFirstKeyByte) {
  std::string in = "Hello";
  Result once = Apply(QSPEncrypt, in, 5);
  ASSERT_EQ(once.code, QSP_OK);
  EXPECT_EQ(static_cast<BYTE>(once.text[4]), static_cast<BYTE>('o' ^ 'k'));
  EXPECT_EQ(Apply(QSPEncrypt, once.text, 5).text, in);
  EXPECT_EQ(Apply(QSPEncrypt, in, 4).code, QSP_ERR_ROOM);
}

TEST(QspTest, EncodingNeedsExactlyFourCharactersPerThreeBytes) {
  Result exact = Apply(QSPBinToB64, "abcd", 8);
  EXPECT_EQ(exact.code, QSP_OK);
  EXPECT_EQ(exact.text, "YWJjZA==");
  Result shortBy1 = Apply(QSPBinToB64, "abcd", 7);
  EXPECT_EQ(shortBy1.code, QSP_ERR_ROOM);
  EXPECT_EQ(shortBy1.text, std::string(7, '#')) << "nothing is written when the text does not fit";
}

TEST(QspTest, DecoderSkipsWhiteSpaceAnywhere) {
  Result r = Apply(QSPB64ToBin, " YW\r\nJj\tZA =\n=", 12);
  ASSERT_EQ(r.code, QSP_OK);
  EXPECT_EQ(r.text, "abcd");
}

TEST(QspTest, DecoderRefusesBytesOutsideTheAlphabetAndStopsAtItsLength) {
  for (std::string bad : {std::string("YW\x80j"), std::string("YW\xFFj"), std::string("Y!Jj"), std::string("=WJj")}) {
    SCOPED_TRACE(bad);
    Result r = Apply(QSPB64ToBin, bad, 3);
    EXPECT_EQ(r.code, QSP_ERR_NOT_B64);
    EXPECT_EQ(r.text, "###") << "a refused text writes nothing";
  }
  // Only the first four bytes are the text: what lies behind is not read.
  std::string text = "YWJjYWJj";
  LONG count = 0;
  char out[8] = {};
  ASSERT_EQ(QSPB64ToBin(text.data(), 4, out, &count, 3), QSP_OK);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::string(out, 3), "abc");
}

TEST(QspTest, ArgumentsAndSizeHelpers) {
  LONG count = 0;
  char out[8];
  EXPECT_EQ(QSPEncrypt(nullptr, 1, out, &count, 8), QSP_ERR_NULL);
  EXPECT_EQ(QSPBinToB64("a", 0, out, &count, 8), QSP_ERR_SIZE);
  EXPECT_EQ(QSPB64ToBin("a", 1, out, &count, 0), QSP_ERR_SIZE);
  EXPECT_EQ(QSPEncryptAndBinToB64BuffSize(0), 1);
  EXPECT_EQ(QSPEncryptAndBinToB64BuffSize(-1), QSP_ERR_MEMORY);
  EXPECT_EQ(QSPB64ToBinAndEncryptBuffSize(8), 7);
  EXPECT_EQ(QSPB64ToBinAndEncryptBuffSize(-1), QSP_ERR_MEMORY);
}

class EncodeOrDecodeTest : public kestrel::test::RootedTest {};

TEST_F(EncodeOrDecodeTest, WideStringsRoundTripAndEmptyInputFails) {
  LPWSTR encoded = nullptr;
  ASSERT_TRUE(zanlib_EncodeOrDecodeData(1, u"secret", &encoded));
  EXPECT_EQ(std::u16string(encoded), u"GBMMAA4C");
  LPWSTR decoded = nullptr;
  ASSERT_TRUE(zanlib_EncodeOrDecodeData(2, encoded, &decoded));
  EXPECT_EQ(std::u16string(decoded), u"secret");
  kcore_Free(encoded);
  kcore_Free(decoded);
  LPWSTR none = reinterpret_cast<LPWSTR>(1);
  EXPECT_FALSE(zanlib_EncodeOrDecodeData(1, u"", &none));
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(zanlib_EncodeOrDecodeData(2, u"Y\u00e9Jj", &none)) << "a byte of 128 and above is not base64";
}

}  // namespace
