// Upgrade of stored printer-data records: the version decision, every record
// rule with an input it changes, the legacy path, the bounds of the stored
// bytes, and the converter plugged into the queue's load.
#include "upgrade_fixture.h"

namespace kestrel::test::upg {
namespace {

constexpr WORD kOld = 0x2000;       // an older driver version
constexpr WORD kCur = PD_DRIVER_VERSION;

struct RecordRow {
  const char* name;
  WORD driver;
  WORD structVersion;
  std::function<void(BYTE*)> input;
  LONG result;
  std::function<void(BYTE*)> check;
};

TEST_F(UpgradeTest, RecordRulesAndDecisions) {
  const RecordRow rows[] = {
      {"current record used whole", kCur, PD_STRUCT_VERSION, [](BYTE* r) { Set(5158, nullptr, r, 9); }, 1,
       [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 9); }},
      {"same driver, other structure: defaults", kCur, 0x5100, [](BYTE* r) { Set(5158, nullptr, r, 9); }, 2,
       [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 0); }},
      {"newer driver: defaults", kCur + 1, PD_STRUCT_VERSION, [](BYTE* r) { Set(5158, nullptr, r, 9); }, 2,
       [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 0); }},
      {"another model: defaults", kOld, 0x5100, [](BYTE* r) { Set(5137, nullptr, r, 7); Set(5158, nullptr, r, 9); },
       2, [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 0); }},
      {"regular upgrade keeps stored values, key made current", kOld, 0x5100,
       [](BYTE* r) { Set(5158, nullptr, r, 9); }, 0,
       [](BYTE* r) {
         EXPECT_EQ(Get(5158, nullptr, r), 9);
         EXPECT_EQ(Get(8203, nullptr, r), static_cast<LONG>(PD_DRIVER_VERSION));
         EXPECT_EQ(Get(8204, nullptr, r), static_cast<LONG>(PD_STRUCT_VERSION));
       }},
      {"FewcolorPrint: defaults always", kOld, 0x5100, [](BYTE* r) { Set(4129, nullptr, r, 0); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(4129, nullptr, r), 1); }},
      {"FinisherType: unknown model class fails to defaults", kOld, 0x5010,
       [](BYTE* r) { Set(4101, nullptr, r, 1); Set(5158, nullptr, r, 9); }, 2,
       [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 0); }},
      {"FinisherType: not applied without 4101", kOld, 0x5010, [](BYTE* r) { Set(5158, nullptr, r, 9); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(5158, nullptr, r), 9); }},
      {"MemorySelect: no select list gives 0", kOld, 0x5004, [](BYTE* r) { Set(4355, nullptr, r, 5); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(4355, nullptr, r), 0); }},
      {"MemorySelect: not from 0x5005", kOld, 0x5005, [](BYTE* r) { Set(4355, nullptr, r, 5); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(4355, nullptr, r), 5); }},
      {"UserNameType: 1 becomes 7", kOld, 0x500F, [](BYTE* r) { Set(5127, nullptr, r, 1); Set(5163, nullptr, r, 1); },
       0, [](BYTE* r) { EXPECT_EQ(Get(5127, nullptr, r), 7); EXPECT_EQ(Get(5163, nullptr, r), 0); }},
      {"UserNameType: 5 takes the default and 5178 := 7", kOld, 0x500F, [](BYTE* r) { Set(5127, nullptr, r, 5); }, 0,
       [](BYTE* r) {
         EXPECT_EQ(Get(5127, nullptr, r), 0);
         EXPECT_EQ(Get(5178, nullptr, r), 7);
         EXPECT_EQ(Get(5163, nullptr, r), 1);
       }},
      {"UserNameType: 6 sets 5163 only", kOld, 0x500F, [](BYTE* r) { Set(5127, nullptr, r, 6); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(5127, nullptr, r), 6); EXPECT_EQ(Get(5163, nullptr, r), 1); }},
      {"UserNameType: not from 0x5010", kOld, 0x5010, [](BYTE* r) { Set(5127, nullptr, r, 1); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(5127, nullptr, r), 1); }},
      {"HCFSelect: 4097 gives 4362 = 1", kOld, 0x503F, [](BYTE* r) { Set(4097, nullptr, r, 1); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(4362, nullptr, r), 1); }},
      {"HCFSelect: not from 0x5040", kOld, 0x5040, [](BYTE* r) { Set(4097, nullptr, r, 1); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(4362, nullptr, r), 0); }},
      {"legacy: old model id of 0x4002 replaced", kOld, 0x4002, [](BYTE* r) { Set(5137, nullptr, r, 7); }, 0,
       [](BYTE* r) { EXPECT_EQ(Get(5137, nullptr, r), 0); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes in = Record(row.driver, row.structVersion);
    row.input(in.data());
    Bytes out(PD_RECORD_SIZE, 0xEE);
    EXPECT_EQ(CommonConvertPrinterDataEx(in.data(), PD_RECORD_SIZE, out.data(), ddd_), row.result);
    EXPECT_EQ(W(out, 0), PD_RECORD_SIZE);
    row.check(out.data());
  }
}

// The legacy path: papers of the two old layouts, and the stored bytes read
// only within what was read and within 4736 (blocks of their exact size).
TEST_F(UpgradeTest, LegacyRecordPapers) {
  {
    SCOPED_TRACE("0x4006: ten papers of 34 bytes at 1608");
    Bytes in = Record(kOld, 0x4006);
    BYTE* e = in.data() + 1608 + 34 * 3;
    PutW(in, 1608 + 34 * 3, 1234);
    PutW(in, 1608 + 34 * 3 + 2, 2345);
    const char16_t name[] = u"Fifteen chars!!";  // 15 characters: the 30 bytes have no NUL
    std::memcpy(e + 4, name, 30);
    Bytes out(PD_RECORD_SIZE);
    EXPECT_EQ(CommonConvertPrinterDataEx(in.data(), PD_RECORD_SIZE, out.data(), ddd_), 0);
    EXPECT_EQ(Get(5892, nullptr, out.data()), 1234);
    EXPECT_EQ(Get(5912, nullptr, out.data()), 2345);
    EXPECT_EQ(GetString(5932, out.data()), u"Fifteen chars!!");
  }
  {
    SCOPED_TRACE("0x4005: five papers at 896, 906 and 916");
    Bytes in = Record(kOld, 0x4005);
    PutW(in, 896 + 2 * 4, 777);
    PutW(in, 906 + 2 * 4, 888);
    const char16_t name[] = u"Old";
    std::memcpy(in.data() + 916 + 30 * 4, name, sizeof(name));
    Bytes out(PD_RECORD_SIZE);
    EXPECT_EQ(CommonConvertPrinterDataEx(in.data(), PD_RECORD_SIZE, out.data(), ddd_), 0);
    EXPECT_EQ(Get(5893, nullptr, out.data()), 777);
    EXPECT_EQ(Get(5913, nullptr, out.data()), 888);
    EXPECT_EQ(GetString(5933, out.data()), u"Old");
  }
}

TEST_F(UpgradeTest, StoredRecordReadOnlyWithinItsBytes) {
  struct Row {
    const char* name;
    WORD structVersion;
    WORD sizeField;
    size_t bytes;
    LONG result;
  };
  const Row rows[] = {
      {"short old record copied as far as it goes", 0x4005, 2000, 2000, 0},
      {"size field above 4736: the copy stops at 4736", 0x4005, 5000, 5000, 0},
      {"size field above the bytes read: defaults", 0x4005, 4736, 2000, 2},
      {"0x4006 without its paper table: defaults", 0x4006, 1700, 1700, 2},
      {"0x4005 without its custom papers: defaults", 0x4005, 1000, 1000, 2},
      {"no head: defaults", 0x5100, 6, 6, 2},
      {"short regular record", 0x5100, 3000, 3000, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes in = Record(kOld, row.structVersion);
    Set(5158, nullptr, in.data(), 9);
    PutW(in, 0, row.sizeField);
    auto exact = Exact(in, row.bytes);
    Bytes out(PD_RECORD_SIZE);
    EXPECT_EQ(CommonConvertPrinterDataEx(exact.get(), static_cast<DWORD>(row.bytes), out.data(), ddd_), row.result);
    EXPECT_EQ(W(out, 0), PD_RECORD_SIZE);
    EXPECT_EQ(Get(8204, nullptr, out.data()), static_cast<LONG>(PD_STRUCT_VERSION));
    if (row.result == 0 && row.bytes > 3042) {
      EXPECT_EQ(Get(5158, nullptr, out.data()), 9);
    }
  }
  Bytes out(PD_RECORD_SIZE);
  EXPECT_EQ(CommonConvertPrinterData(nullptr, out.data(), ddd_), -1);
  Bytes in = DefaultRecord();
  EXPECT_EQ(CommonConvertPrinterData(in.data(), nullptr, ddd_), -1);
  EXPECT_EQ(CommonConvertPrinterData(in.data(), out.data(), ddd_), 1);
}

// Plugged into the queue's load, an older stored record comes back upgraded
// as the queue's own.
TEST_F(UpgradeTest, QueueLoadConvertsOlderRecord) {
  Bytes in = Record(kOld, 0x500F);
  Set(5127, nullptr, in.data(), 1);
  Set(5158, nullptr, in.data(), 9);
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, in.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0));
  pd_SetConvertFunction(upg_ConvertStoredRecord);
  Bytes out(PD_RECORD_SIZE);
  DWORD source = 0;
  ASSERT_TRUE(pd_GetPrinterDataEx(printer_, out.data(), ddd_, &source));
  EXPECT_EQ(source, static_cast<DWORD>(PD_SOURCE_STORED));
  EXPECT_EQ(Get(5127, nullptr, out.data()), 7);
  EXPECT_EQ(Get(5158, nullptr, out.data()), 9);
  EXPECT_EQ(Get(8203, nullptr, out.data()), static_cast<LONG>(PD_DRIVER_VERSION));
}

}  // namespace
}  // namespace kestrel::test::upg
