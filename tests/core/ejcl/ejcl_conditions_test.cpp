// The conditions of an EJCL record and the cut rule, on records made in
// memory and the values of model A's default devmode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ejcl_fixture.h"

namespace kestrel::test::ejcl {
namespace {

// One condition entry: a DDM id, a value type and size, the listed values
// (bytes), an operator and a connective.
struct Entry {
  Entry(WORD i, WORD t, WORD s, std::vector<LONGLONG> v, BYTE o, BYTE c, bool none = false, std::u16string str = {})
      : id(i), type(t), size(s), values(std::move(v)), op(o), connective(c), noList(none), text(std::move(str)) {}
  WORD id;
  WORD type;
  WORD size;
  std::vector<LONGLONG> values;
  BYTE op;
  BYTE connective;
  bool noList;
  std::u16string text;  // a string value (type 6)
};

// A record with its entries; the bytes live as long as the object.
struct Record {
  DDD_EJCL rec{};
  std::vector<DDD_ITEM> items;
  std::vector<std::vector<BYTE>> lists;
  std::u16string command, argument;

  explicit Record(const std::vector<Entry>& entries, std::u16string cmd = u"@X=", std::u16string arg = u"1",
                  WORD hint = 0, WORD flag = 0)
      : command(std::move(cmd)), argument(std::move(arg)) {
    rec.head.kind = DDD_CAT_EJCL;
    rec.head.formatVersion = 5632;
    rec.hintId = hint;
    rec.additionalFlag = flag;
    rec.command.str = command.data();
    rec.argument.str = argument.empty() ? nullptr : argument.data();
    lists.reserve(entries.size());
    for (const Entry& e : entries) {
      std::vector<BYTE> bytes;
      if (e.type == DDD_TYPE_STRING) {
        bytes.resize((e.text.size() + 1) * 2);
        std::memcpy(bytes.data(), e.text.c_str(), bytes.size());
      } else {
        for (LONGLONG v : e.values)
          for (WORD k = 0; k < e.size; ++k) bytes.push_back(static_cast<BYTE>(static_cast<ULONGLONG>(v) >> (8 * k)));
        if (bytes.empty()) bytes.push_back(0);  // a list with no values still has its data
      }
      lists.push_back(bytes);
      DDD_ITEM item{};
      item.head.kind = DDD_KIND_ITEM_CONNECTIVE;
      item.ddmId = e.id;
      item.op = e.op;
      item.connective = e.connective;
      item.value.type = e.type;
      item.value.size = e.type == DDD_TYPE_STRING ? static_cast<WORD>(bytes.size()) : e.size;
      item.value.count = e.type == DDD_TYPE_STRING ? 1 : static_cast<WORD>(e.values.size());
      item.value.data = e.noList ? nullptr : lists.back().data();
      item.hasValue = !e.noList;
      item.count = item.value.count;
      items.push_back(item);
    }
    rec.conditions.count = static_cast<WORD>(items.size());
    rec.conditions.items = items.data();
  }
};

// Duplex (DDM 16, signed 16-bit) is set to 2 for every case.
Entry Duplex(BYTE op, std::vector<LONGLONG> values, BYTE connective = 4) {
  return Entry(DDM_DUPLEX, DDD_TYPE_SHORT, 2, std::move(values), op, connective);
}
Entry T(BYTE connective) { return Duplex(1, {2}, connective); }
Entry F(BYTE connective) { return Duplex(1, {3}, connective); }

class ConditionTest : public EjclTest {
 protected:
  void SetUp() override {
    EjclTest::SetUp();
    Set(a_, DDM_DUPLEX, 2);
    SetText(a_, DDM_USER_ID, u"0042");
    ctx_ = Context(a_);
  }
  LONG Check(const std::vector<Entry>& entries) {
    Record r(entries);
    return ejclUtil_CheckConditionsOf(&r.rec, &ctx_);
  }
  EJCL_CONTEXT ctx_{};
};

TEST_F(ConditionTest, OperatorsTypesAndLists) {
  struct Case {
    const char* name;
    Entry entry;
    LONG result;
  };
  const Case cases[] = {
      {"op 0", Duplex(0, {2}), EJCL_ERR_OPERATOR},
      {"op 1 equal", Duplex(1, {2}), 1},
      {"op 2 not equal", Duplex(2, {2}), 0},
      {"op 3 listed greater", Duplex(3, {2}), 0},
      {"op 3 listed 3 > 2", Duplex(3, {3}), 1},
      {"op 4 listed >=", Duplex(4, {2}), 1},
      {"op 5 listed <", Duplex(5, {2}), 0},
      {"op 5 listed 1 < 2", Duplex(5, {1}), 1},
      {"op 6 listed <=", Duplex(6, {2}), 1},
      {"op 7 equal", Duplex(7, {2}), 1},
      {"op 8 equal", Duplex(8, {2}), 1},
      {"op 9", Duplex(9, {2}), EJCL_ERR_OPERATOR},
      {"op 10 equal", Duplex(10, {2}), 1},
      {"op 11 equal", Duplex(11, {2}), 1},
      {"op 12 equal", Duplex(12, {2}), 1},
      {"op 13", Duplex(13, {2}), EJCL_ERR_OPERATOR},
      {"signed: -1 is not above 2", Duplex(3, {-1}), 0},
      {"unsigned: 0xFFFF above 3", Entry(DDM_OUTPUT_TRAY, DDD_TYPE_USHORT, 2, {0xFFFF}, 3, 4), 1},
      {"an 8-bit entry on a byte reported as 16-bit", Entry(DDM_JOBTYPE, DDD_TYPE_BYTE, 1, {0}, 1, 4), 1},
      {"several values, one matches", Duplex(1, {1, 2, 3}), 1},
      {"several values, not equal to all", Duplex(2, {1, 3}), 1},
      {"several values, one equal", Duplex(2, {1, 2}), 0},
      {"an empty list, equal", Duplex(1, {}), 0},
      {"an empty list, not equal", Duplex(2, {}), 1},
      {"no value list", Entry(DDM_DUPLEX, DDD_TYPE_SHORT, 2, {2}, 1, 4, true), 0},
      {"type differs from the DDM's", Entry(DDM_DUPLEX, DDD_TYPE_LONG, 4, {2}, 1, 4), EJCL_ERR_CONDTYPE},
      {"size does not fit the type", Entry(DDM_DUPLEX, DDD_TYPE_SHORT, 4, {2}, 1, 4), EJCL_ERR_SIZE},
      {"boolean with op 3", Entry(DDM_FINISHER_UNIT, DDD_TYPE_BOOL, 4, {0}, 3, 4), EJCL_ERR_OPFORTYPE},
      {"boolean equal", Entry(DDM_FINISHER_UNIT, DDD_TYPE_BOOL, 4, {0}, 1, 4), 1},
      {"string equal", Entry(DDM_USER_ID, DDD_TYPE_STRING, 0, {}, 1, 4, false, u"0042"), 1},
      {"string not equal", Entry(DDM_USER_ID, DDD_TYPE_STRING, 0, {}, 2, 4, false, u"0042"), 0},
      {"string with op 4", Entry(DDM_USER_ID, DDD_TYPE_STRING, 0, {}, 4, 4, false, u"0042"), EJCL_ERR_OPFORTYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Check({c.entry}), c.result);
  }
}

TEST_F(ConditionTest, ConnectivesWalkForward) {
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    LONG result;
  };
  const Case cases[] = {
      {"none", {}, 1},
      {"1 and: T, T", {T(1), T(4)}, 1},
      {"1 and: T, F", {T(1), F(4)}, 0},
      {"1 and: F skips to behind the next end", {F(1), T(4)}, 0},
      {"1 and: F, then or-end, then T", {F(1), F(3), T(4)}, 1},
      {"1 and: F meets end-not first", {F(1), T(6)}, 1},
      {"2 or: T moves to an end: true", {T(2), F(4)}, 1},
      {"2 or: F goes on", {F(2), F(4)}, 0},
      {"2 or: T moves behind an and", {T(2), F(1), F(4)}, 0},
      {"2 or: T over and-not to behind the next or-end", {T(2), F(5), F(3), T(4)}, 1},
      {"2 or: T at the end", {T(2)}, 1},
      {"3 or-end: T", {T(3), F(4)}, 1},
      {"3 or-end: F goes on", {F(3), T(4)}, 1},
      {"3 or-end: F at the end", {F(3)}, 0},
      {"5 and-not: T negated moves on", {T(5), T(4)}, 0},
      {"5 and-not: F negated goes on", {F(5), T(4)}, 1},
      {"6 end-not: T", {T(6)}, 0},
      {"6 end-not: F", {F(6)}, 1},
      {"7: bad connective", {T(7)}, EJCL_ERR_CONNECTIVE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Check(c.entries), c.result);
  }
}

TEST(CutRuleTest, RecordsAreCutByTheirKeys) {
  const std::u16string kJobAttr = u"@PJL SET JOBATTR=";
  EJCL_CUTBUFFER cut{};
  // The JOB MODE command once remembered cuts every JOB MODE record.
  Record jobMode({}, u"@PJL JOB MODE=", u"PRINT");
  EXPECT_FALSE(ejclUtil_IsCutCommand(&cut, &jobMode.rec, TRUE));
  std::memcpy(cut.command, u"@PJL JOB MODE=", 30);
  cut.found = TRUE;
  EXPECT_TRUE(ejclUtil_IsCutCommand(&cut, &jobMode.rec, TRUE));
  Record other({}, u"@PJL SET QTY=", u"1");
  EXPECT_FALSE(ejclUtil_IsCutCommand(&cut, &other.rec, TRUE));

  // DDM 336 = 1: only flagged records are kept; the first unflagged JOBATTR
  // key is remembered, and a flagged record repeating it is cut too.
  EJCL_CUTBUFFER only{};
  only.flags = EJCL_CUT_ONLY_FLAGGED;
  Record unflagged({}, kJobAttr, u"\"@CVSZ=A4", 0, 0);
  Record flaggedSame({}, kJobAttr, u"@CVSZ=B5", 0, 1);
  Record flaggedOther({}, kJobAttr, u"@CVFD=SEF", 0, 1);
  EXPECT_TRUE(ejclUtil_IsCutCommand(&only, &unflagged.rec, TRUE));
  EXPECT_EQ(std::u16string(only.jobAttr), u"@CVSZ=");
  EXPECT_TRUE(ejclUtil_IsCutCommand(&only, &flaggedSame.rec, TRUE)) << "a repeated JOBATTR key";
  EXPECT_FALSE(ejclUtil_IsCutCommand(&only, &flaggedOther.rec, TRUE));
  // Without the PJL form the key is the command: every JOBATTR record shares it.
  EJCL_CUTBUFFER plain{};
  plain.flags = EJCL_CUT_ONLY_FLAGGED;
  EXPECT_TRUE(ejclUtil_IsCutCommand(&plain, &unflagged.rec, FALSE));
  EXPECT_TRUE(ejclUtil_IsCutCommand(&plain, &flaggedOther.rec, FALSE));
}

TEST_F(EjclTest, OnlyFlaggedRecordsWithDdm336) {
  Set(a_, DDM_FORCEPDLVERSION, 1);
  LONG code = 0;
  Head(a_, &code);
  EXPECT_EQ(code, EJCL_ERR_REQUIRED) << "code set 1: no JOB MODE record is flagged";
  KpSetVersion(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
  ejclUtil_SetStringCodeSet(EJCL_CODESET_UNSET);
  Set(a_, DDM_JOBTYPE, 1);
  SetText(a_, DDM_USER_ID, u"0042");
  EXPECT_EQ(Head(a_), std::string("\x1B%-12345X") +
                          "@PJL COMMENT DATE=12/31/2025\n"
                          "@PJL COMMENT TIME=23:59:30\n"
                          "@PJL COMMENT DNAME=Report\n"
                          "@PJL SET JOBATTR=\"@USID=42\"\n"
                          "@PJL SET ECONOMODE=OFF\n");
}

}  // namespace
}  // namespace kestrel::test::ejcl
