// Upgrade of stored devmodes: the version decision and the regular rules, the
// stored devmode read only within its real length (blocks of their exact
// claimed size), the members an older devmode's upgrade saves to the queue's
// non-devmode record ("N_Dev"), the conversion entry with its buffer sizes,
// favourites and the environment built from the queue.
#include "upgrade_fixture.h"

#include <string>
#include <utility>

#include "kestrel/core/nondev.h"

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

// ---- The queue's non-devmode record ("N_Dev") --------------------------------------

// A fax address list of count entries.
Bytes FaxList(WORD count) {
  Bytes l = pd::Pattern(NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count, static_cast<BYTE>(count + 9));
  std::memset(l.data(), 0, 16);
  std::memcpy(l.data(), u"DFAX001", 14);
  std::memcpy(&l[16], &count, 2);
  return l;
}

class NonDevUpgradeTest : public UpgradeTest {
 protected:
  // The 5440-byte default devmode (members of the non-devmode record are
  // read and written through it).
  Bytes Full() {
    Bytes dm(NRV_DEVMODE_SIZE_FULL);
    EXPECT_EQ(cdm_SetDefaultDevmode(ddd_, dm.data(), nullptr, pd::kPrinter), 1);
    return dm;
  }
  static void SetString(WORD id, Bytes& full, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, full.data(), nullptr, DDM_TYPE_STRING, static_cast<DWORD>(2 * (text.size() + 1)),
                           text.c_str()),
              0);
  }
  static std::u16string String(WORD id, Bytes& full) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(ddm_GetValue(id, full.data(), nullptr, &type, &size, &v), 0);
    return v ? std::u16string(reinterpret_cast<const char16_t*>(v)) : std::u16string();
  }
  // The queue's record with 5651 (moves to 456), 5653 and 5654 (to 1859 and
  // 1860) set.
  void StoreQueueRecord() {
    Bytes rec = DefaultRecord();
    Set(5651, nullptr, rec.data(), 3);
    Set(5653, nullptr, rec.data(), 7);
    Set(5654, nullptr, rec.data(), 9);
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, rec.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0));
  }
  // A non-devmode record as the user left it, with a block and a fax list.
  void StoreNonDev() {
    Bytes full = Full();
    Set(1796, full.data(), nullptr, 4321);
    Set(1859, full.data(), nullptr, 1);
    SetString(1831, full, u"Queue");
    ASSERT_TRUE(nonDev_SaveNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, fax_.data(),
                                     static_cast<DWORD>(fax_.size()), full.data() + NRV_NONDEVMODE_OFFSET,
                                     block_.data(), static_cast<DWORD>(block_.size())));
  }
  // Every stored "N_Dev" and "GSBInfo" value with its bytes.
  std::vector<std::pair<std::u16string, Bytes>> StoredNonDev() {
    std::vector<std::pair<std::u16string, Bytes>> values;
    for (const auto& name : ListValues()) {
      if (name.rfind(u"N_Dev", 0) != 0 && name.rfind(u"GSBInfo", 0) != 0) continue;
      std::u16string n = name;
      DWORD needed = 0;
      Bytes bytes(8192);
      EXPECT_EQ(GetPrinterDataW(printer_, n.data(), nullptr, bytes.data(), static_cast<DWORD>(bytes.size()), &needed),
                static_cast<DWORD>(ERROR_SUCCESS));
      bytes.resize(needed);
      values.emplace_back(name, bytes);
    }
    return values;
  }
  // The stored record in a 5440-byte devmode, with its block and fax list.
  struct Loaded {
    bool ok = false;
    Bytes full, gsb, fax;
  };
  Loaded Load() {
    Loaded l;
    l.full = Full();
    void* fax = nullptr;
    void* gsb = nullptr;
    DWORD gsbSize = 0;
    l.ok = nonDev_LoadNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &fax,
                                l.full.data() + NRV_NONDEVMODE_OFFSET, &gsb, &gsbSize) == TRUE;
    if (gsb) l.gsb.assign(static_cast<BYTE*>(gsb), static_cast<BYTE*>(gsb) + gsbSize);
    if (fax) {
      WORD count = 0;
      std::memcpy(&count, static_cast<BYTE*>(fax) + 16, 2);
      l.fax.assign(static_cast<BYTE*>(fax),
                   static_cast<BYTE*>(fax) + NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count);
    }
    kcore_Free(fax);
    kcore_Free(gsb);
    return l;
  }
  // An older devmode: 0x5004 takes the regular path, 0x4000 (1920 bytes,
  // "OldDoc" in its row of 1831 at 1802) the legacy one, 0x5100 neither
  // rule that touches the queue.
  Bytes OldDevmode(WORD structVersion, size_t bytes) {
    Bytes in = Devmode(kOld, structVersion);
    in.resize(bytes, 0);
    PutW(in, 70, static_cast<WORD>(bytes - NRV_DEVMODE_PUBLIC_SIZE));
    if (bytes >= 1852) std::memcpy(&in[1802], u"OldDoc", 14);
    return in;
  }
  LONG Upgrade(const Bytes& in, Bytes* out) {
    out->assign(NRV_DEVMODE_SIZE_KIND1, 0);
    auto exact = Exact(in, in.size());
    return UpgradeDefaultDevmodeEx(exact.get(), static_cast<DWORD>(in.size()), out->data(), pd::kPrinter, ddd_);
  }

  const Bytes fax_ = FaxList(1);
  const Bytes v1Fax_ = FaxList(2);
  const Bytes block_ = pd::Pattern(40, 6);
};

// An older devmode whose upgrade moves members into the non-devmode record
// saves it to the queue: over the stored record (its other members, block
// and fax list kept), or over the defaults when none is stored; never over a
// record that cannot be read, and not when the upgrade ends in the defaults.
TEST_F(NonDevUpgradeTest, UpgradeSavesTheMovedMembers) {
  enum class Stored { kNone, kRecord, kBroken };
  struct Row {
    const char* name;
    WORD structVersion;
    size_t bytes;
    Stored stored;
    bool v1Fax;  // "FaxSendList" stored
    LONG result;
    bool saved;  // else "N_Dev" and "GSBInfo" are as before
    LONG v1796;
    const char16_t* v1831;
    const Bytes* fax;  // the fax list stored after the upgrade
    bool block;        // the stored block kept
  };
  const Row rows[] = {
      {"0x5004, nothing stored: the defaults with 1859 and 1860", 0x5004, 1556, Stored::kNone, false, 0, true, 0,
       nullptr, nullptr, false},
      {"0x5004 over a stored record: its other members, block and list kept", 0x5004, 1556, Stored::kRecord, true, 0,
       true, 4321, u"Queue", &fax_, true},
      {"0x5004 over a record that cannot be read: not replaced", 0x5004, 1556, Stored::kBroken, false, 0, false, 0,
       nullptr, nullptr, false},
      {"0x5100 moves nothing: not written", 0x5100, 1556, Stored::kRecord, true, 0, false, 0, nullptr, nullptr,
       false},
      {"0x4000: 1831 from the old devmode, the version-1 fax list", 0x4000, 1920, Stored::kRecord, true, 0, true,
       4321, u"OldDoc", &v1Fax_, true},
      {"0x4000 without a version-1 list keeps the stored list", 0x4000, 1920, Stored::kRecord, false, 0, true, 4321,
       u"OldDoc", &fax_, true},
      {"0x4000, nothing stored: the defaults with the moved members", 0x4000, 1920, Stored::kNone, true, 0, true, 0,
       u"OldDoc", &v1Fax_, false},
      {"0x4000 ending in the defaults stores nothing", 0x4000, 1556, Stored::kRecord, true, 2, false, 0, nullptr,
       nullptr, false},
  };
  StoreQueueRecord();
  const Bytes defaults = Full();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [name, bytes] : StoredNonDev()) DeleteValue(name);
    DeleteValue(u"FaxSendListSize");
    if (row.stored == Stored::kRecord) StoreNonDev();
    if (row.stored == Stored::kBroken) {
      StoreNonDev();
      Bytes bad(NONDEV_RECORD_SIZE + 24, 0);
      std::memcpy(bad.data(), u"NDEV002", 14);
      ASSERT_TRUE(zanSaveChunkedValue(printer_, u"N_Dev", bad.data(), static_cast<DWORD>(bad.size())));
    }
    if (row.v1Fax) {
      ASSERT_TRUE(zanSaveChunkedValue(printer_, u"FaxSendList", v1Fax_.data(), static_cast<DWORD>(v1Fax_.size())));
    }
    const auto before = StoredNonDev();

    Bytes out;
    EXPECT_EQ(Upgrade(OldDevmode(row.structVersion, row.bytes), &out), row.result);
    if (row.result == 0 && row.structVersion < 0x5005) {
      EXPECT_EQ(Get(456, out.data(), nullptr), 3) << "the queue's record moved into the devmode";
    }
    if (!row.saved) {
      EXPECT_EQ(StoredNonDev(), before);
      continue;
    }
    Loaded l = Load();
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(Get(1859, l.full.data(), nullptr), 7);
    EXPECT_EQ(Get(1860, l.full.data(), nullptr), 9);
    Bytes want = defaults;
    EXPECT_EQ(Get(1796, l.full.data(), nullptr), row.v1796 ? row.v1796 : Get(1796, want.data(), nullptr));
    EXPECT_EQ(String(1831, l.full), row.v1831 ? std::u16string(row.v1831) : String(1831, want));
    EXPECT_EQ(l.fax, row.fax ? *row.fax : Bytes());
    EXPECT_EQ(l.gsb, row.block ? block_ : Bytes());
  }
}

// A save that fails (at any write, or a queue that refuses every write)
// leaves the stored "N_Dev" and "GSBInfo" as they were; the devmode is
// upgraded all the same.
TEST_F(NonDevUpgradeTest, FailedSaveLeavesTheStoredRecord) {
  StoreQueueRecord();
  StoreNonDev();
  const auto before = StoredNonDev();
  // "N_Dev": 6 chunks of record and 2 of fax list, then its size;
  // "GSBInfo": 1 chunk and its size.
  struct Row {
    DWORD nth, count;
  };
  std::vector<Row> rows;
  for (DWORD k = 1; k <= 11; ++k) rows.push_back({k, 1});
  rows.push_back({1, 1000});  // a read-only queue
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "write " << row.nth << " of " << row.count << " refused");
    KpSpoolerFailPrinterData(0, row.nth, row.count, ERROR_ACCESS_DENIED);
    Bytes out;
    EXPECT_EQ(Upgrade(OldDevmode(0x5004, 1556), &out), 0);
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    EXPECT_EQ(Get(456, out.data(), nullptr), 3);
    EXPECT_EQ(StoredNonDev(), before);
    Loaded l = Load();
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(Get(1859, l.full.data(), nullptr), 1);
    EXPECT_EQ(l.gsb, block_);
  }
  // Once writes are allowed again the same upgrade saves.
  Bytes out;
  EXPECT_EQ(Upgrade(OldDevmode(0x5004, 1556), &out), 0);
  EXPECT_EQ(Get(1859, Load().full.data(), nullptr), 7);
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
