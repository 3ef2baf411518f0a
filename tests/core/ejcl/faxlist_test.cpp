// The fax address list and the attribute line of one recipient: the lines
// written by hand from the section table, the limits, and hostile lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/faxlist.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "temp_root.h"

namespace kestrel::test {
namespace {

struct Entry {
  std::vector<BYTE> bytes = std::vector<BYTE>(FAXLIST_ENTRY_SIZE);
  Entry& U16(DWORD at, WORD v) {
    std::memcpy(&bytes[at], &v, 2);
    return *this;
  }
  Entry& Text(DWORD at, const std::u16string& s) {
    std::memcpy(&bytes[at], s.data(), s.size() * 2);
    return *this;
  }
};

std::vector<BYTE> List(const std::vector<Entry>& entries, WORD count) {
  std::vector<BYTE> list(FAXLIST_HEAD_SIZE);
  std::memcpy(list.data(), NONDEV_FAX_TAG, 16);
  std::memcpy(&list[NONDEV_FAX_COUNT_OFFSET], &count, 2);
  for (const Entry& e : entries) list.insert(list.end(), e.bytes.begin(), e.bytes.end());
  return list;
}

FAX_LINE_SETTINGS Settings() {
  FAX_LINE_SETTINGS s{};
  std::memcpy(s.prefix1, u"0", 2);
  s.prefix1Flag = 1;
  std::memcpy(s.prefix2, u"9", 2);
  s.prefix2Flag = 0;
  s.noPrefixFlag = 1;
  return s;
}

struct Line {
  BOOL ok;
  int length;
  std::string text;
};

Line Fanu(const Entry& e, int form = FANU_FORM_PLAIN, bool framed = false, int capacity = 512) {
  FAX_LINE_SETTINGS s = Settings();
  std::vector<char> buf(static_cast<size_t>(capacity) + 1, '#');
  Line l{};
  l.ok = GetFANUString(form, e.bytes.data(), &s, capacity, framed, FALSE, buf.data(), &l.length);
  if (l.ok) l.text.assign(buf.data(), static_cast<size_t>(l.length));
  return l;
}

Entry Direct(const std::u16string& number, WORD selector, WORD mode) {
  Entry e;
  e.U16(FAXENTRY_KIND, 0).Text(FAXENTRY_NUMBER, number).U16(FAXENTRY_PREFIX_SELECTOR, selector);
  e.U16(FAXENTRY_COM_MODE, mode);
  return e;
}

TEST(FanuTest, LinesFromTheSectionTable) {
  Entry shortNumber;
  shortNumber.U16(FAXENTRY_KIND, FAXENTRY_KIND_SHORT_NUMBER).Text(FAXENTRY_NUMBER, u"12");
  Entry mailbox = Direct(u"5550100", 2, 2);
  mailbox.U16(FAXENTRY_SEND_OPTION, FAXENTRY_SEND_MAILBOX).U16(FAXENTRY_MAILBOX, 7).Text(FAXENTRY_PASSWORD, u"pw");
  mailbox.Text(FAXENTRY_FCODE, u"77").Text(FAXENTRY_PCODE, u"secret");
  Entry relay = Direct(u"5550100", 0, 0);
  relay.U16(FAXENTRY_SEND_OPTION, FAXENTRY_SEND_RELAY).U16(FAXENTRY_RELAY_STATION, 42).U16(FAXENTRY_RELAY_FLAG, 1);
  relay.Text(FAXENTRY_RELAY_NUMBERS, u"1,23");
  struct Case {
    const char* name;
    const Entry* entry;
    int form;
    bool framed;
    const char* text;
  };
  Entry seven = Direct(u"1234567", 1, 1);
  const Case cases[] = {
      {"short number", &shortNumber, FANU_FORM_PLAIN, false, "@FANU='12'\r\n"},
      {"short number framed", &shortNumber, FANU_FORM_PLAIN, true, "@PJL SET JOBATTR=\"@FANU='12'\"\r\n"},
      {"second prefix, seven digits, mode 1", &seven, FANU_FORM_PLAIN, false, "@FANU=91234567{20}{32}\r\n"},
      {"first prefix, mailbox, F and P codes", &mailbox, FANU_FORM_PLAIN, false,
       "@FANU=05550100{40007pw}{21}{34}{577}{6secret}\r\n"},
      {"the same scrambled", &mailbox, FANU_FORM_ENCODED, false,
       "@FAEN=05550100{40007GwE=}{21}{34}{577}{6GBMMAA4C}\r\n"},
      {"relay 1,23", &relay, FANU_FORM_PLAIN, true, "@PJL SET JOBATTR=\"@FANU=5550100{10042100010023}{21}{30}\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Line l = Fanu(*c.entry, c.form, c.framed);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.text, c.text);
    EXPECT_EQ(l.length, static_cast<int>(std::strlen(c.text)));
  }
}

TEST(FanuTest, SectionsThatCannotBeMadeFailTheLine) {
  Entry relay = Direct(u"5550100", 0, 0);
  relay.U16(FAXENTRY_SEND_OPTION, FAXENTRY_SEND_RELAY).Text(FAXENTRY_RELAY_NUMBERS, u"123");
  Entry empty = relay;
  empty.Text(FAXENTRY_RELAY_NUMBERS, u"1,,2");
  const Entry* bad[] = {&relay, &empty};
  for (const Entry* e : bad) EXPECT_FALSE(Fanu(*e).ok);
  Line mode3 = Fanu(Direct(u"5550100", 0, 3));
  EXPECT_FALSE(mode3.ok);
  EXPECT_EQ(mode3.length, 0);
}

TEST(FanuTest, LimitsCountThePlainPasswordAndTheCapacityIsExact) {
  // 102 digits + {21} + {30} + the mailbox section: 102 + 4 + 4 + (5 + 8 + 2) = 125; counted with
  // the 12 characters of the encoded password it would be 129.
  Entry e = Direct(std::u16string(102, u'5'), 0, 0);
  e.U16(FAXENTRY_SEND_OPTION, FAXENTRY_SEND_MAILBOX).Text(FAXENTRY_PASSWORD, u"01234567");
  Line faen = Fanu(e, FANU_FORM_ENCODED);
  ASSERT_TRUE(faen.ok) << "the encoded password is longer, but the plain one is counted";
  EXPECT_EQ(faen.text, "@FAEN=" + std::string(102, '5') + "{40000W0ddQV9DWUU=}{21}{30}\r\n");
  FAX_LINE_SETTINGS s = Settings();
  int mainLength = 0;
  ASSERT_TRUE(GetFANUString(FANU_FORM_ENCODED, e.bytes.data(), &s, 0, FALSE, FALSE, nullptr, &mainLength));
  EXPECT_EQ(mainLength, 125);
  // One capacity short of the line: 0 with length 0; exactly the line: 1.
  EXPECT_TRUE(Fanu(e, FANU_FORM_ENCODED, false, faen.length).ok);
  Line tight = Fanu(e, FANU_FORM_ENCODED, false, faen.length - 1);
  EXPECT_FALSE(tight.ok);
  EXPECT_EQ(tight.length, 0);
  // Four more digits pass 128: too long, length -1.
  Line tooLong = Fanu(Direct(std::u16string(129, u'5'), 0, 0));
  EXPECT_FALSE(tooLong.ok);
  EXPECT_EQ(tooLong.length, -1);
}

TEST(FanuTest, FieldsAreReadWithinTheirSizeAndCannotBreakTheLine) {
  Entry full;
  full.U16(FAXENTRY_KIND, FAXENTRY_KIND_SHORT_NUMBER);
  full.Text(FAXENTRY_NUMBER, std::u16string(FAXENTRY_NUMBER_BYTES / 2, u'7'));  // no NUL in the field
  full.U16(FAXENTRY_PREFIX_SELECTOR, 0x4141);
  Line l = Fanu(full);
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.length, -1) << "129 digits and the apostrophes pass the limit; the field ends at its size";
  Entry hostile;
  hostile.U16(FAXENTRY_KIND, FAXENTRY_KIND_SHORT_NUMBER).Text(FAXENTRY_NUMBER, u"1\r\n\"2\x1B");
  Line framed = Fanu(hostile, FANU_FORM_PLAIN, true);
  ASSERT_TRUE(framed.ok);
  EXPECT_EQ(framed.text, "@PJL SET JOBATTR=\"@FANU='1  '2 '\"\r\n");
}

class FaxListTest : public RootedTest {};

TEST_F(FaxListTest, ListsAreKeptOnlyWhenWhole) {
  std::vector<BYTE> two = List({Direct(u"1", 0, 0), Direct(u"2", 0, 0)}, 2);
  WORD count = 0;
  void* list = CreateFaxAddressInfoFromMem(nullptr, 0, static_cast<DWORD>(two.size()), two.data(), &count);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(count, 2);
  BYTE entry[FAXLIST_ENTRY_SIZE];
  EXPECT_TRUE(GetFaxAddressData(list, 1, entry));
  EXPECT_EQ(entry[FAXENTRY_NUMBER], '2');
  EXPECT_FALSE(GetFaxAddressData(list, 2, entry)) << "index equal to the count";
  const void* p = nullptr;
  EXPECT_TRUE(GetAddressDataPointer(0, list, 0, &p));
  EXPECT_EQ(p, list);
  EXPECT_FALSE(GetAddressDataPointer(1, list, 2, &p));
  BYTE header[FAXLIST_HEAD_SIZE];
  EXPECT_TRUE(GetFaxAddressHeaderInfo(list, header));
  EXPECT_FALSE(GetFaxAddressHeaderInfo(nullptr, header));
  EXPECT_TRUE(DeleteFaxAddressInfo(list));

  struct Hostile {
    const char* name;
    std::vector<BYTE> bytes;
  };
  std::vector<BYTE> wrongTag = two;
  wrongTag[2] = 'X';
  std::vector<BYTE> claimsThree = List({Direct(u"1", 0, 0), Direct(u"2", 0, 0)}, 3);
  std::vector<BYTE> shortHeader(two.begin(), two.begin() + 1000);
  const Hostile cases[] = {{"wrong tag", wrongTag}, {"count above the entries", claimsThree},
                           {"header cut short", shortHeader}};
  for (const Hostile& h : cases) {
    SCOPED_TRACE(h.name);
    count = 9;
    EXPECT_EQ(CreateFaxAddressInfoFromMem(nullptr, 0, static_cast<DWORD>(h.bytes.size()), h.bytes.data(), &count),
              nullptr);
    EXPECT_EQ(count, 0);
  }
}

}  // namespace
}  // namespace kestrel::test
