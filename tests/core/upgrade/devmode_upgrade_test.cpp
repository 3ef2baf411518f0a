// Upgrade of stored devmodes: the version decision and the regular rules, the
// stored devmode read only within its real length (blocks of their exact
// claimed size), the conversion entry with its buffer sizes, favourites and
// the environment built from the queue.
#include "upgrade_fixture.h"

namespace kestrel::test::upg {
namespace {

constexpr WORD kOld = 0x2000;
constexpr WORD kCur = NRV_DRIVER_VERSION;

struct DevmodeRow {
  const char* name;
  WORD driver;
  WORD structVersion;
  std::function<void(Bytes&)> input;
  LONG result;
  LONG v454;  // 454 in the output
};

TEST_F(UpgradeTest, DevmodeDecisionsAndRules) {
  const DevmodeRow rows[] = {
      {"current devmode used whole", kCur, NRV_STRUCT_VERSION, [](Bytes&) {}, 1, 2},
      {"model name differs only in case: used whole", kCur, NRV_STRUCT_VERSION,
       [](Bytes& d) {
         for (size_t i = 224; i < 288; i += 2)
           if (d[i] >= 'A' && d[i] <= 'Z' && d[i + 1] == 0) d[i] = static_cast<BYTE>(d[i] + 32);
       },
       1, 2},
      {"another model: defaults", kCur, NRV_STRUCT_VERSION, [](Bytes& d) { d[224] = 'Q'; }, 2, 0},
      {"newer driver: defaults", kCur + 1, NRV_STRUCT_VERSION, [](Bytes&) {}, 2, 0},
      {"same driver, other structure: defaults", kCur, 0x5100, [](Bytes&) {}, 2, 0},
      {"other public devmode version (64): defaults", kOld, 0x5100, [](Bytes& d) { PutW(d, 64, 0x400); }, 2, 0},
      {"dmDriverExtra of 68: no key, defaults", kOld, 0x5100, [](Bytes& d) { PutW(d, 70, 68); }, 2, 0},
      {"0x5002 whose table rows lie past its end: defaults", kOld, 0x5002, [](Bytes&) {}, 2, 0},
      {"regular upgrade from 0x5100 keeps stored values", kOld, 0x5100, [](Bytes&) {}, 0, 2},
      {"ColorToBlack below 0x5005: 1311 and 1308 give 3", kOld, 0x5004,
       [](Bytes& d) { Set(1311, d.data(), nullptr, 1); Set(1308, d.data(), nullptr, 1); }, 0, 3},
      {"ColorToBlack below 0x5005: 1308 alone gives 1", kOld, 0x5003,
       [](Bytes& d) { Set(1308, d.data(), nullptr, 1); }, 0, 1},
      {"ColorToBlack not from 0x5005", kOld, 0x5005, [](Bytes& d) { Set(1311, d.data(), nullptr, 1); }, 0, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes in = Devmode(row.driver, row.structVersion);
    Set(454, in.data(), nullptr, 2);  // every row stores 2
    row.input(in);
    Bytes out(NRV_DEVMODE_SIZE_KIND1, 0xEE);
    EXPECT_EQ(UpgradeDefaultDevmodeEx(in.data(), static_cast<DWORD>(in.size()), out.data(), pd::kPrinter, ddd_),
              row.result);
    EXPECT_EQ(W(out, 68), NRV_DEVMODE_PUBLIC_SIZE);
    EXPECT_EQ(W(out, 70), NRV_DEVMODE_EXTRA);
    EXPECT_EQ(W(out, 220), NRV_STRUCT_VERSION);
    EXPECT_EQ(W(out, 222), NRV_DRIVER_VERSION);
    EXPECT_EQ(Get(454, out.data(), nullptr), row.v454);
  }
}

TEST_F(UpgradeTest, GrayHRule) {
  Bytes in = Devmode(kOld, 0x5004);
  Set(1309, in.data(), nullptr, 1);
  Bytes out(NRV_DEVMODE_SIZE_KIND1);
  EXPECT_EQ(UpgradeDefaultDevmode(in.data(), out.data(), pd::kPrinter, ddd_), 0);
  EXPECT_EQ(Get(455, out.data(), nullptr), 2);
}

// The legacy path: an older devmode of `bytes` real bytes (dmSize 220),
// written at fixed offsets of its layout, in a block of exactly its size.
// Layouts from 0x4000 on reach at least byte 1854 (the rows of 0x4000).
struct LegacyRow {
  const char* name;
  WORD structVersion;
  size_t bytes;
  std::vector<std::pair<size_t, WORD>> words;  // 16-bit values at offsets
  LONG result;
  std::vector<std::pair<WORD, LONG>> want;  // members of the output
};

TEST_F(UpgradeTest, LegacyDevmodeRules) {
  const LegacyRow rows[] = {
      {"0x0100: pages per sheet 5 gives 4, pattern 8 gives 200, margins rounded", 0x0100, 1556,
       {{308, 5}, {344, 8}, {324, 123}, {326, 7}, {346, 3}},
       0,
       {{295, 4}, {348, 200}, {268, 120}, {269, 10}, {390, 0}, {291, 0}}},
      {"0x0100: colour mode 2 gives 270 = 0; preset 4 kept", 0x0100, 1556, {{344, 1}, {342, 2}, {346, 4}},
       0, {{270, 0}, {348, 150}, {390, 4}}},
      {"0x0100: unknown pattern resolution fails to defaults", 0x0100, 1556, {{344, 3}, {308, 5}}, 2, {{295, 1}}},
      {"0x2000: page compose 0 gives 514", 0x2000, 1556, {{344, 1}, {1014, 0}}, 0, {{296, 514}, {321, 0}}},
      {"0x2000: page compose 3", 0x2000, 1556, {{344, 1}, {1014, 3}}, 0, {{296, 3}, {321, 1}}},
      {"0x4001: input bin 263 becomes 15, collate from 304", 0x4001, 1920, {{88, 263}, {304, 1}}, 0,
       {{13, 15}, {18, 1}}},
      {"0x4004: output bin 19 becomes 1, booklet partition and number", 0x4004, 1920,
       {{312, 19}, {1348, 1}, {1352, 30}}, 0, {{444, 1}, {446, 2}, {323, 20}}},
      {"0x4004: output bin 14 leaves 444", 0x4004, 1920, {{312, 14}}, 0, {{444, 0}}},
      {"0x4000: its rows at 1800 and 1852", 0x4000, 1920, {{1800, 7}, {1852, 600}}, 0, {{346, 7}, {348, 600}}},
      {"0x4000 rows past its end: defaults", 0x4000, 1556, {{312, 19}}, 2, {{444, 0}}},
      {"0x5001: generation 2 output bin at 304", 0x5001, 1556, {{304, 19}}, 0, {{444, 1}}},
      {"0x5002: bytes 444-450 at 2620", 0x5002, 2640, {{2620, 0x0305}}, 0, {{444, 5}, {445, 3}}},
      {"0x4008 lies in no generation: defaults", 0x4008, 1556, {{312, 19}}, 2, {{444, 0}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes in = Devmode(kOld, row.structVersion);
    in.resize(row.bytes, 0);
    PutW(in, 70, static_cast<WORD>(row.bytes - NRV_DEVMODE_PUBLIC_SIZE));
    for (const auto& [off, v] : row.words) PutW(in, off, v);
    auto exact = Exact(in, row.bytes);
    Bytes out(NRV_DEVMODE_SIZE_KIND1);
    EXPECT_EQ(UpgradeDefaultDevmode(exact.get(), out.data(), pd::kPrinter, ddd_), row.result);
    EXPECT_EQ(W(out, 220), NRV_STRUCT_VERSION);
    EXPECT_EQ(W(out, 70), NRV_DEVMODE_EXTRA);
    for (const auto& [id, v] : row.want) EXPECT_EQ(Get(id, out.data(), nullptr), v) << id;
  }
}

// Below 0x5005 the queue's record moves into the devmode; a queue that cannot
// be opened never turns the document's devmode into the defaults.
TEST_F(UpgradeTest, RecordMovedIntoOlderDevmode) {
  Bytes rec = DefaultRecord();
  Set(5651, nullptr, rec.data(), 3);
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, rec.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0));
  Bytes in = Devmode(kOld, 0x5004);
  Set(1308, in.data(), nullptr, 1);
  Bytes out(NRV_DEVMODE_SIZE_KIND1);
  EXPECT_EQ(UpgradeDefaultDevmode(in.data(), out.data(), pd::kPrinter, ddd_), 0);
  EXPECT_EQ(Get(456, out.data(), nullptr), 3);
  EXPECT_EQ(Get(454, out.data(), nullptr), 1);

  Bytes out2(NRV_DEVMODE_SIZE_KIND1);
  EXPECT_EQ(UpgradeDefaultDevmode(in.data(), out2.data(), u"No Such Queue", ddd_), 0);
  EXPECT_EQ(Get(454, out2.data(), nullptr), 1);  // upgraded, not reset
  EXPECT_EQ(Get(456, out2.data(), nullptr), 0);
}

// Stored devmodes in heap blocks of exactly the bytes they claim (or fewer):
// nothing is read past them.
TEST_F(UpgradeTest, StoredDevmodeReadWithinItsLength) {
  struct Row {
    const char* name;
    WORD extra;
    size_t bytes;
    LONG result;
    LONG v454;  // at 1506: stored 2
  };
  const Row rows[] = {
      {"shorter private part holding 454", 1300, 1520, 0, 2},
      {"shorter private part ending before 454: its default", 1000, 1220, 0, 0},
      {"larger private part than the current layout: defaults", 1400, 1620, 2, 0},
      {"claims more than the caller has: defaults", NRV_DEVMODE_EXTRA, 1000, 2, 0},
      {"too short for a header: defaults", NRV_DEVMODE_EXTRA, 100, 2, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes in = Devmode(kOld, 0x5100);
    Set(454, in.data(), nullptr, 2);
    PutW(in, 70, row.extra);
    auto exact = Exact(in, row.bytes);
    Bytes out(NRV_DEVMODE_SIZE_KIND1);
    EXPECT_EQ(UpgradeDefaultDevmodeEx(exact.get(), static_cast<DWORD>(row.bytes), out.data(), pd::kPrinter, ddd_),
              row.result);
    EXPECT_EQ(Get(454, out.data(), nullptr), row.v454);
  }
}

TEST_F(UpgradeTest, CommonConvertDevmodeSizesAndModes) {
  Bytes in = DefaultDevmode();
  struct Row {
    const char* name;
    DWORD size;
    DWORD mode;
    LONG result;
    DWORD sizeAfter;
    DWORD lastError;
  };
  const Row rows[] = {
      {"1555 bytes: too small", 1555, 1, -1, 1556, ERROR_INSUFFICIENT_BUFFER},
      {"1556 bytes: used whole", 1556, 1, 2, 1556, 0},
      {"5440 bytes: size set to 1556", 5440, 1, 2, 1556, 0},
      {"mode 2 fails", 1556, 2, -2, 1556, 0},
      {"mode 4: defaults", 1556, 4, 3, 1556, 0},
      {"mode 4 with 1555 bytes", 1555, 4, -1, 1556, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto out = Exact(Bytes(), row.size);
    DWORD size = row.size;
    SetLastError(0);
    EXPECT_EQ(CommonConvertDevmode(pd::kPrinter, ddd_, in.data(), out.get(), &size, row.mode), row.result);
    EXPECT_EQ(size, row.sizeAfter);
    if (row.lastError) {
      EXPECT_EQ(GetLastError(), row.lastError);
    }
  }
  Bytes out(NRV_DEVMODE_SIZE_KIND1);
  SetLastError(0);
  EXPECT_EQ(CommonConvertDevmode(pd::kPrinter, ddd_, in.data(), out.data(), nullptr, 1), -2);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DWORD size = 1556;
  EXPECT_EQ(CommonConvertDevmode(u"No Such Queue", ddd_, nullptr, out.data(), &size, 4), -2);
  EXPECT_EQ(W(out, 68), NRV_DEVMODE_PUBLIC_SIZE);  // the defaults are written even so
}

// A favourite's non-devmode part is copied only when present and at most
// 3884 bytes; the output is exactly 5440 bytes.
TEST_F(UpgradeTest, FavouriteNonDevmodePart) {
  Bytes dm = DefaultDevmode();
  Bytes full(NRV_DEVMODE_SIZE_FULL);
  ASSERT_EQ(cdm_SetDefaultDevmode(ddd_, full.data(), nullptr, pd::kPrinter), 1);
  Bytes part = pd::Pattern(NRV_NONDEVMODE_SIZE + 100, 3);
  struct Row {
    const char* name;
    size_t partBytes;
    bool expectPattern;
  };
  const Row rows[] = {{"whole part copied", NRV_NONDEVMODE_SIZE, true},
                      {"no part: the defaults", 0, false},
                      {"oversized part cut at 3884", NRV_NONDEVMODE_SIZE + 100, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes stored = dm;
    stored.insert(stored.end(), part.begin(), part.begin() + static_cast<long>(row.partBytes));
    auto exact = Exact(stored, stored.size());
    auto out = Exact(Bytes(), NRV_DEVMODE_SIZE_FULL);
    EXPECT_EQ(UpgradeUserSelDevmode(printer_, exact.get(), static_cast<DWORD>(stored.size()), out.get()), 1);
    const BYTE* want = row.expectPattern ? part.data() : full.data() + NRV_NONDEVMODE_OFFSET;
    EXPECT_EQ(std::memcmp(out.get() + NRV_NONDEVMODE_OFFSET, want, NRV_NONDEVMODE_SIZE), 0);
  }
}

TEST_F(UpgradeTest, MakeEnvironmentFromQueueWithoutDevmode) {
  Bytes out(NRV_DEVMODE_SIZE_KIND1);
  DWORD size = NRV_DEVMODE_SIZE_KIND1;
  BOOL converted = FALSE;
  auto* info = static_cast<PRINTER_INFO_2W*>(wNTc_MakeEnvironment(printer_, ddd_, out.data(), &size, &converted));
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(converted);
  EXPECT_EQ(info->pDevMode, out.data());
  EXPECT_EQ(W(out, 220), NRV_STRUCT_VERSION);
  kcore_Free(info);
  size = 100;
  EXPECT_EQ(wNTc_MakeEnvironment(printer_, ddd_, out.data(), &size, &converted), nullptr);
  EXPECT_FALSE(converted);
}

}  // namespace
}  // namespace kestrel::test::upg
