// The TrueType substitution table: the model's default, lookups, changes,
// and the stored table that must be well formed to be taken.
#include <string>

#include "kestrel/core/ttsubst.h"
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

// A table from its strings, closing empty string added.
std::u16string Table(std::initializer_list<std::u16string> strings) {
  std::u16string t;
  for (const std::u16string& s : strings) t += s + u'\0';
  t += u'\0';
  return t;
}

std::u16string Owned(LPWSTR table) {
  std::u16string t;
  if (!table) return u"<null>";
  DWORD bytes = ttsb_TableBytes(table, TTSB_MAX_BYTES + 1);
  t.assign(table, bytes / 2);
  ttsb_FreeTrueTypeSubstTable(table);
  return t;
}

std::vector<BYTE> Bytes(const std::u16string& s) {
  std::vector<BYTE> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

class TtSubstTest : public PdTest {};

// Model A's Font records: each substitute name paired with its device font,
// in record order.
TEST_F(TtSubstTest, DefaultComesFromTheFontRecords) {
  std::u16string expected = Table({u"Courier New", u"Courier", u"Courier", u"Courier", u"Courier New Bold",
                                   u"Courier Bold", u"Arial", u"Helvetica", u"Helvetica", u"Helvetica",
                                   u"Arial Bold", u"Helvetica Bold", u"Helvetica Bold", u"Helvetica Bold",
                                   u"Times New Roman", u"Times Roman", u"Times", u"Times Roman",
                                   u"Times New Roman Bold", u"Times Bold", u"Times Bold", u"Times Bold"});
  EXPECT_EQ(Owned(ttsb_DefaultTrueTypeSubstTable(ddd_)), expected);
  EXPECT_EQ(ttsb_DefaultTrueTypeSubstTable(nullptr), nullptr);
  // Nothing stored: the current table is the default, and NODEFAULT is null.
  EXPECT_EQ(ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer_, 0), nullptr);
  EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTable(printer_, 0)), expected);
}

TEST_F(TtSubstTest, FindsThePartnerOfAnExactName) {
  std::u16string t = Table({u"Arial", u"Sans", u"Times", u"Serif"});
  struct Case {
    const char16_t* name;
    const char16_t* partner;  // null: not found
  } cases[] = {{u"Arial", u"Sans"}, {u"Times", u"Serif"}, {u"arial", nullptr}, {u"Sans", nullptr}, {u"", nullptr}};
  for (const Case& c : cases) {
    LPCWSTR got = ttsb_FindTrueTypeSubstTable(t.c_str(), c.name);
    if (c.partner) {
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(std::u16string(got), c.partner);
    } else {
      EXPECT_EQ(got, nullptr);
    }
  }
  EXPECT_EQ(ttsb_FindTrueTypeSubstTable(u"", u"Arial"), nullptr);
}

TEST_F(TtSubstTest, ModifyReturnsAChangedCopy) {
  const std::u16string t = Table({u"Arial", u"Sans", u"Times", u"Serif"});
  const std::u16string before = t;
  struct Case {
    const char16_t* name;
    const char16_t* partner;
    std::u16string expected;
  } cases[] = {
      {u"Arial", u"Helvetica", Table({u"Arial", u"Helvetica", u"Times", u"Serif"})},
      {u"Arial", nullptr, Table({u"Times", u"Serif"})},
      {u"Courier", u"Mono", Table({u"Arial", u"Sans", u"Times", u"Serif", u"Courier", u"Mono"})},
      {u"Courier", nullptr, t},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Owned(ttsb_ModifyTrueTypeSubstTable(t.c_str(), c.name, c.partner)), c.expected);
  }
  EXPECT_EQ(t, before);
  EXPECT_EQ(Owned(ttsb_ModifyTrueTypeSubstTable(u"", u"A", u"B")), Table({u"A", u"B"}));
  EXPECT_EQ(ttsb_ModifyTrueTypeSubstTable(nullptr, u"A", u"B"), nullptr);
  EXPECT_EQ(ttsb_ModifyTrueTypeSubstTable(t.c_str(), nullptr, u"B"), nullptr);
}

// Growing past the first buffer and up to the 16-bit limit.
TEST_F(TtSubstTest, ModifyGrowsAndStopsBelow64K) {
  std::u16string name(31, u'n');
  LPWSTR t = ttsb_ModifyTrueTypeSubstTable(u"", u"A", u"B");
  int pairs = 1;
  for (;; ++pairs) {
    name[0] = static_cast<char16_t>(u'A' + pairs % 26);
    name[1] = static_cast<char16_t>(u'A' + pairs / 26 % 26);
    name[2] = static_cast<char16_t>(u'A' + pairs / 676);
    LPWSTR next = ttsb_ModifyTrueTypeSubstTable(t, name.c_str(), name.c_str());
    if (!next) break;
    ttsb_FreeTrueTypeSubstTable(t);
    t = next;
  }
  DWORD bytes = ttsb_TableBytes(t, TTSB_MAX_BYTES + 1);
  EXPECT_GT(bytes, 65535u - 130u);
  EXPECT_LE(bytes, 65535u);
  EXPECT_EQ(std::u16string(ttsb_FindTrueTypeSubstTable(t, u"A")), u"B");
  ttsb_FreeTrueTypeSubstTable(t);
}

TEST_F(TtSubstTest, StoredTableRoundTripsAndUpgradeKeepsIt) {
  std::u16string mine = Table({u"Arial", u"Courier"});
  ASSERT_TRUE(ttsb_SetTrueTypeSubstTable(printer_, 0, mine.c_str()));
  EXPECT_EQ(ListValues(), ChunkNames(u"FontSubTable", 1, true));
  EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTable(printer_, 0)), mine);
  EXPECT_TRUE(UpgradeTrueTypeSubstTable(printer_, 0, ddd_));
  EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer_, 0)), mine);

  DeleteValue(u"FontSubTableSize");
  EXPECT_TRUE(UpgradeTrueTypeSubstTable(printer_, 0, ddd_));
  EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer_, 0)),
            Owned(ttsb_DefaultTrueTypeSubstTable(ddd_)));
  DeleteValue(u"FontSubTableSize");
  EXPECT_FALSE(UpgradeTrueTypeSubstTable(printer_, 0, nullptr));  // no default to store
}

// Stored bytes that are no complete table are refused; the current table
// is then the default.
TEST_F(TtSubstTest, MalformedStoredTablesAreRefused) {
  std::u16string good = Table({u"Arial", u"Courier"});
  std::vector<BYTE> oversized(65536 + 768, 0);
  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
  } cases[] = {
      {"no closing empty string", Bytes(std::u16string(u"Arial\0Courier\0", 14))},
      {"unterminated name", Bytes(std::u16string(u"Arial\0Cour", 10))},
      {"face without device font", Bytes(std::u16string(u"Arial\0\0", 7))},
      {"odd byte count", [&] { auto b = Bytes(good); b.push_back(0); return b; }()},
      {"64 KiB or more", oversized},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, c.bytes.data(), static_cast<DWORD>(c.bytes.size()),
                                             ZAN_KIND_FONTSUBTABLE, 0));
    EXPECT_EQ(ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer_, 0), nullptr);
    EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTable(printer_, 0)), Owned(ttsb_DefaultTrueTypeSubstTable(ddd_)));
  }
  // Bytes after a complete table are not part of it.
  std::vector<BYTE> trailing = Bytes(good + u"junk");
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, trailing.data(), static_cast<DWORD>(trailing.size()),
                                           ZAN_KIND_FONTSUBTABLE, 0));
  EXPECT_EQ(Owned(ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer_, 0)), good);
}

}  // namespace
}  // namespace kestrel::test::pd
