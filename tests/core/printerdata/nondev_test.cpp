// The non-devmode record store: the document-property file and the
// printer-data values "N_Dev", "GSBInfo" and "FaxSendList", what they hold
// byte for byte, what a load refuses, and what a failed save leaves behind.
#include <filesystem>
#include <string>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

constexpr char16_t kFolder[] = u"C:\\Docs";
constexpr char16_t kFile[] = u"C:\\Docs\\job.kdp";
constexpr char kFolderHost[] = "c/Docs";
constexpr char kFileHost[] = "c/Docs/job.kdp";
constexpr DWORD kHead = 24, kGsbHead = 20, kRec = NONDEV_RECORD_SIZE;

std::vector<BYTE> Header(const char16_t* tag, DWORD version, DWORD size) {
  std::vector<BYTE> h(kHead);
  std::memcpy(h.data(), tag, std::char_traits<char16_t>::length(tag) * 2);
  std::memcpy(&h[16], &version, 4);
  std::memcpy(&h[20], &size, 4);
  return h;
}
std::vector<BYTE> GsbHeader(DWORD size) {
  std::vector<BYTE> h(kGsbHead);
  std::memcpy(h.data(), u"GSBINFO", 14);
  std::memcpy(&h[16], &size, 4);
  return h;
}
// A fax address list of count entries (entries patterned).
std::vector<BYTE> FaxList(WORD count) {
  std::vector<BYTE> l = Pattern(NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count, static_cast<BYTE>(count + 5));
  std::memset(l.data(), 0, 16);
  std::memcpy(l.data(), u"DFAX001", 14);
  std::memcpy(&l[16], &count, 2);
  return l;
}
std::vector<BYTE> Cat(std::initializer_list<std::vector<BYTE>> parts) {
  std::vector<BYTE> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
// A record as this driver keeps it: member 1793 holds 0x5110.
std::vector<BYTE> Record(BYTE seed) {
  std::vector<BYTE> r = Pattern(kRec, seed);
  r[0] = 0x10;
  r[1] = 0x51;
  return r;
}

class NonDevTest : public PdTest {
 protected:
  void SetUp() override {
    PdTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr));
  }
  void TearDown() override {
    KpSetWriteFault(0, 0, 0, 0);
    PdTest::TearDown();
  }
  std::vector<BYTE> Defaults() {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL);
    EXPECT_TRUE(cdm_SetDefaultDevmode(ddd_, dm.data(), nullptr, u"DummyName"));
    return std::vector<BYTE>(dm.begin() + NRV_NONDEVMODE_OFFSET, dm.end());
  }
  void PutFile(const std::vector<BYTE>& bytes) {
    WriteHostFile(root_.host(kFileHost), std::string(bytes.begin(), bytes.end()));
  }
  std::vector<BYTE> FileBytes() {
    std::string s = ReadHostFile(root_.host(kFileHost));
    return std::vector<BYTE>(s.begin(), s.end());
  }
  std::vector<std::string> FolderFiles() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_.host(kFolderHost)))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void ClearValues() {
    for (const std::u16string& n : ListValues()) DeleteValue(n);
  }
  BOOL Save(LPCWSTR file, const std::vector<BYTE>& record, const std::vector<BYTE>* gsb,
            const std::vector<BYTE>* fax) {
    return nonDev_SaveNonDevDat(printer_, ddd_, file, NONDEV_LOCATION_PRINTERDATA, fax ? fax->data() : nullptr,
                                fax ? static_cast<DWORD>(fax->size()) : 0, record.data(),
                                gsb ? gsb->data() : nullptr, gsb ? static_cast<DWORD>(gsb->size()) : 0);
  }

  // One load with every output asked for; the outputs start as garbage.
  struct Loaded {
    BOOL ok = FALSE;
    DWORD error = 0;
    std::vector<BYTE> record;
    std::vector<BYTE> gsb;  // empty: none handed out
    bool gsbNull = true;
    std::vector<BYTE> fax;
    bool faxNull = true;
  };
  Loaded Load(LPCWSTR file, const std::vector<BYTE>& initial = std::vector<BYTE>(kRec, 0xEE)) {
    Loaded l;
    l.record = initial;
    void* fax = reinterpret_cast<void*>(0x1);
    void* gsb = reinterpret_cast<void*>(0x1);
    DWORD gsbSize = 0xDEAD;
    l.ok = nonDev_LoadNonDevDatEx(printer_, ddd_, file, NONDEV_LOCATION_PRINTERDATA, &fax, l.record.data(), &gsb,
                                  &gsbSize, &l.error);
    l.gsbNull = gsb == nullptr;
    l.faxNull = fax == nullptr;
    if (!l.ok) {
      EXPECT_TRUE(l.gsbNull && l.faxNull) << "a failed load clears its outputs";
      EXPECT_EQ(gsbSize, 0u);
      return l;
    }
    if (gsb) l.gsb.assign(static_cast<BYTE*>(gsb), static_cast<BYTE*>(gsb) + gsbSize);
    if (!gsb) {
      EXPECT_EQ(gsbSize, 0u);
    }
    if (fax) {
      WORD count = 0;
      std::memcpy(&count, static_cast<BYTE*>(fax) + 16, 2);
      DWORD size = NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count;
      l.fax.assign(static_cast<BYTE*>(fax), static_cast<BYTE*>(fax) + size);
    }
    kcore_Free(gsb);
    kcore_Free(fax);
    return l;
  }
};

// ---- The document-property file ---------------------------------------------------

// Save writes header, record, security-marking header and block, fax list,
// in that order and nothing else; the load hands the same back.
TEST_F(NonDevTest, FileHoldsTheRecordAndItsCompanions) {
  const std::vector<BYTE> record = Record(3);
  const std::vector<BYTE> block = Pattern(37, 9);
  const std::vector<BYTE> fax0 = FaxList(0), fax2 = FaxList(2);
  struct Case {
    const char* what;
    const std::vector<BYTE>* gsb;
    const std::vector<BYTE>* fax;
  } cases[] = {
      {"record alone", nullptr, nullptr},
      {"with a block", &block, nullptr},
      {"with an empty fax list", nullptr, &fax0},
      {"with block and two recipients", &block, &fax2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile({1, 2, 3});
    ASSERT_TRUE(Save(kFile, record, c.gsb, c.fax));
    const std::vector<BYTE> noBytes;
    const std::vector<BYTE>& gsb = c.gsb ? *c.gsb : noBytes;
    const std::vector<BYTE>& fax = c.fax ? *c.fax : noBytes;
    EXPECT_EQ(FileBytes(), Cat({Header(u"NDEV001", 20752, kRec), record,
                                GsbHeader(static_cast<DWORD>(gsb.size())), gsb, fax}));
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"job.kdp"}) << "no temporary file is left";

    Loaded l = Load(kFile);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.record, record);
    EXPECT_EQ(l.gsbNull, c.gsb == nullptr) << "a bare header loads as no block";
    EXPECT_EQ(l.gsb, gsb);
    EXPECT_EQ(l.faxNull, c.fax == nullptr);
    EXPECT_EQ(l.fax, fax);
  }
}

// What the parse refuses or how it reads odd but valid files. A refused
// load leaves the caller's record as it was.
TEST_F(NonDevTest, FileLoadReadsOnlyWhatIsThere) {
  const std::vector<BYTE> defaults = Defaults();
  const std::vector<BYTE> record = Record(4);
  const std::vector<BYTE> gsbNone = GsbHeader(0);
  const std::vector<BYTE> current = Cat({Header(u"NDEV001", 20752, kRec), record, gsbNone});

  std::vector<BYTE> olderExpected = defaults;  // the old record's 100 bytes over the defaults
  std::vector<BYTE> oldPart = Pattern(100, 6);
  std::memcpy(olderExpected.data(), oldPart.data(), 100);
  olderExpected[0] = 0x10;
  olderExpected[1] = 0x51;
  std::vector<BYTE> longRecord = Pattern(kRec + 16, 8);
  std::vector<BYTE> longExpected(longRecord.begin(), longRecord.begin() + kRec);
  longExpected[0] = 0x10;
  longExpected[1] = 0x51;
  std::vector<BYTE> badFax = FaxList(2);
  badFax.pop_back();
  std::vector<BYTE> badTag = current;
  badTag[2] = 'X';
  std::vector<BYTE> tagWithoutNul = current;
  tagWithoutNul[14] = 'Y';

  struct Case {
    const char* what;
    std::vector<BYTE> file;
    bool ok;
    std::vector<BYTE> record;  // expected when ok
    std::vector<BYTE> fax;
  } cases[] = {
      {"current", current, true, record, {}},
      {"older version over defaults", Cat({Header(u"NDEV001", 0x5100, 100), oldPart, gsbNone}), true,
       olderExpected, {}},
      {"version 0", Cat({Header(u"NDEV001", 0, 100), oldPart, gsbNone}), true, olderExpected, {}},
      {"current but short over defaults", Cat({Header(u"NDEV001", 20752, 100), oldPart, gsbNone}), true,
       olderExpected, {}},
      {"stored size above 3884: 3884 copied, the rest passed", Cat({Header(u"NDEV001", 20752, kRec + 16),
                                                                   longRecord, gsbNone, FaxList(1)}),
       true, longExpected, FaxList(1)},
      {"version above 20752", Cat({Header(u"NDEV001", 20753, kRec), record, gsbNone}), false, {}, {}},
      {"other tag", badTag, false, {}, {}},
      {"tag without its NUL", tagWithoutNul, false, {}, {}},
      {"empty file", {}, false, {}, {}},
      {"cut in the header", std::vector<BYTE>(current.begin(), current.begin() + 23), false, {}, {}},
      {"cut in the record", std::vector<BYTE>(current.begin(), current.begin() + kHead + kRec - 1), false, {}, {}},
      {"no security-marking header", std::vector<BYTE>(current.begin(), current.begin() + kHead + kRec), false,
       {}, {}},
      {"block longer than the file", Cat({Header(u"NDEV001", 20752, kRec), record, GsbHeader(10), Pattern(9, 1)}),
       false, {}, {}},
      {"stored size beyond the file", Cat({Header(u"NDEV001", 20752, 0xFFFFFFF0u), record, gsbNone}), false, {}, {}},
      {"fax list one byte short", Cat({current, badFax}), false, {}, {}},
      {"fax list one byte long", Cat({current, FaxList(1), {0}}), false, {}, {}},
      {"fax count with no entries", Cat({current, [] {
                                           std::vector<BYTE> f = FaxList(0);
                                           f[16] = 0xFF;
                                           f[17] = 0xFF;
                                           return f;
                                         }()}),
       false, {}, {}},
      {"fax list with another tag", Cat({current, [] {
                                           std::vector<BYTE> f = FaxList(1);
                                           f[0] = 'E';
                                           return f;
                                         }()}),
       false, {}, {}},
  };
  const std::vector<BYTE> initial(kRec, 0xEE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(c.file);
    Loaded l = Load(kFile, initial);
    ASSERT_EQ(l.ok, c.ok);
    if (!c.ok) {
      EXPECT_EQ(l.record, initial) << "the caller's record is untouched";
      EXPECT_NE(l.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      continue;
    }
    EXPECT_EQ(l.record, c.record);
    EXPECT_EQ(l.fax, c.fax);
    EXPECT_TRUE(l.gsbNull);
  }
}

// Without the fax list asked for, bytes after the block are not looked at;
// a block asked for without its size is refused.
TEST_F(NonDevTest, FileLoadTakesOnlyWhatIsAskedFor) {
  const std::vector<BYTE> record = Record(5);
  PutFile(Cat({Header(u"NDEV001", 20752, kRec), record, GsbHeader(3), {7, 8, 9}, {1, 2, 3}}));
  std::vector<BYTE> out(kRec);
  EXPECT_TRUE(nonDev_LoadNonDevDat(printer_, ddd_, kFile, 0, nullptr, out.data(), nullptr, nullptr));
  EXPECT_EQ(out, record);
  void* gsb = nullptr;
  EXPECT_FALSE(nonDev_LoadNonDevDat(printer_, ddd_, kFile, 0, nullptr, out.data(), &gsb, nullptr));
  EXPECT_EQ(gsb, nullptr);
  void* fax = nullptr;
  EXPECT_FALSE(nonDev_LoadNonDevDat(printer_, ddd_, kFile, 0, &fax, out.data(), nullptr, nullptr))
      << "three stray bytes are no fax list";
  EXPECT_FALSE(nonDev_LoadNonDevDat(printer_, ddd_, kFile, 0, nullptr, nullptr, nullptr, nullptr));
  DWORD error = 0;
  EXPECT_FALSE(nonDev_LoadNonDevDatEx(printer_, ddd_, u"C:\\Docs\\none.kdp", 0, nullptr, out.data(), nullptr,
                                      nullptr, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Saving never creates the file, refuses what it could not load back, and
// a write that fails part-way leaves the old file whole.
TEST_F(NonDevTest, FileSaveNeverLeavesAHalfWrittenFile) {
  const std::vector<BYTE> record = Record(6);
  const std::vector<BYTE> empty;
  std::vector<BYTE> badFax = FaxList(1);
  badFax.push_back(0);

  EXPECT_FALSE(Save(u"C:\\Docs\\missing.kdp", record, nullptr, nullptr));
  EXPECT_TRUE(FolderFiles().empty()) << "a missing file is not made";
  EXPECT_FALSE(Save(kFolder, record, nullptr, nullptr)) << "a folder is no file";

  const std::vector<BYTE> old = {'o', 'l', 'd'};
  PutFile(old);
  struct Refused {
    const char* what;
    const void* record;
    const void* gsb;
    DWORD gsbSize;
    const void* fax;
    DWORD faxSize;
  } refused[] = {
      {"no record", nullptr, nullptr, 0, nullptr, 0},
      {"block of 0 bytes", record.data(), record.data(), 0, nullptr, 0},
      {"fax list of 0 bytes", record.data(), nullptr, 0, badFax.data(), 0},
      {"fax list longer than its count", record.data(), nullptr, 0, badFax.data(),
       static_cast<DWORD>(badFax.size())},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.what);
    EXPECT_FALSE(nonDev_SaveNonDevDat(printer_, ddd_, kFile, 0, r.fax, r.faxSize, r.record, r.gsb, r.gsbSize));
    EXPECT_EQ(FileBytes(), old);
  }

  // The k-th write fails after writing part of its bytes: the old file
  // stays, and no temporary file is left beside it.
  const std::vector<BYTE> block = Pattern(50, 2);
  const std::vector<BYTE> fax = FaxList(1);
  for (DWORD k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    KpSetWriteFault(k, 1, 7, ERROR_DISK_FULL);
    EXPECT_FALSE(Save(kFile, record, &block, &fax));
    KpSetWriteFault(0, 0, 0, 0);
    EXPECT_EQ(FileBytes(), old);
    EXPECT_EQ(FolderFiles(), std::vector<std::string>{"job.kdp"});
  }
  // A file another handle holds without sharing cannot be replaced.
  HANDLE held = CreateFileW(kFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Save(kFile, record, nullptr, nullptr));
  CloseHandle(held);
  EXPECT_EQ(FileBytes(), old);
  EXPECT_EQ(FolderFiles(), std::vector<std::string>{"job.kdp"});
}

// ---- The printer data ---------------------------------------------------------------

// "N_Dev" (header, record, fax list) and "GSBInfo" (header, block) as
// chunked values; the 3908 bytes of a record alone take six chunks.
TEST_F(NonDevTest, PrinterDataHoldsTheRecordInChunkedValues) {
  const std::vector<BYTE> record = Record(7);
  const std::vector<BYTE> block = Pattern(800, 4);
  const std::vector<BYTE> fax1 = FaxList(1);
  struct Case {
    const char* what;
    const std::vector<BYTE>* gsb;
    const std::vector<BYTE>* fax;
    DWORD nDevChunks, gsbChunks;
  } cases[] = {
      {"record alone", nullptr, nullptr, 6, 1},
      {"with a block of 800 bytes", &block, nullptr, 6, 2},
      {"with one recipient", nullptr, &fax1, 8, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearValues();
    ASSERT_TRUE(Save(nullptr, record, c.gsb, c.fax));
    std::vector<std::u16string> names = ChunkNames(u"N_Dev", c.nDevChunks, true);
    for (const auto& n : ChunkNames(u"GSBInfo", c.gsbChunks, true)) names.push_back(n);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ListValues(), names);

    const std::vector<BYTE> noBytes;
    const std::vector<BYTE>& gsb = c.gsb ? *c.gsb : noBytes;
    const std::vector<BYTE>& fax = c.fax ? *c.fax : noBytes;
    std::vector<BYTE> nDev(80000), gsbValue(80000);
    DWORD size = 80000, error = 0;
    ASSERT_TRUE(zanGetChunkedValueEx(printer_, u"N_Dev", nDev.data(), &size, &error));
    nDev.resize(size);
    EXPECT_EQ(nDev, Cat({Header(u"NDEV001", 20752, kRec), record, fax}));
    size = 80000;
    ASSERT_TRUE(zanGetChunkedValueEx(printer_, u"GSBInfo", gsbValue.data(), &size, &error));
    gsbValue.resize(size);
    EXPECT_EQ(gsbValue, Cat({GsbHeader(static_cast<DWORD>(gsb.size())), gsb}));

    Loaded l = Load(nullptr);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.record, record);
    EXPECT_EQ(l.gsbNull, c.gsb == nullptr);
    EXPECT_EQ(l.gsb, gsb);
    EXPECT_EQ(l.fax, fax);
  }
  // At most 99 chunks in each value: a larger set is refused with nothing
  // written.
  const std::vector<BYTE> fax95 = FaxList(95), fax96 = FaxList(96);
  const std::vector<BYTE> block76012 = Pattern(76012, 1), block76013 = Pattern(76013, 1);
  struct Limit {
    const std::vector<BYTE>* gsb;
    const std::vector<BYTE>* fax;
    bool ok;
  } limits[] = {{nullptr, &fax95, true}, {nullptr, &fax96, false}, {&block76012, nullptr, true},
                {&block76013, nullptr, false}};
  for (const Limit& c : limits) {
    SCOPED_TRACE(c.fax ? c.fax->size() : c.gsb->size());
    ClearValues();
    ASSERT_TRUE(Save(nullptr, record, nullptr, nullptr));
    const std::vector<std::u16string> before = ListValues();
    EXPECT_EQ(Save(nullptr, record, c.gsb, c.fax), c.ok);
    if (!c.ok) {
      EXPECT_EQ(ListValues(), before);
    }
  }
  EXPECT_FALSE(nonDev_SaveNonDevDat(printer_, ddd_, nullptr, 3, nullptr, 0, record.data(), nullptr, 0))
      << "the per-user location is not served";
  EXPECT_FALSE(nonDev_SaveNonDevDat(nullptr, ddd_, nullptr, 2, nullptr, 0, record.data(), nullptr, 0));
}

// Nothing stored is told apart from a stored copy that cannot be used;
// "GSBInfo" missing alone is no block.
TEST_F(NonDevTest, PrinterDataLoadSaysWhyItFailed) {
  const std::vector<BYTE> record = Record(8);
  Loaded l = Load(nullptr);
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(Save(nullptr, record, nullptr, nullptr));
  DeleteValue(u"GSBInfoSize");
  l = Load(nullptr);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.record, record);
  EXPECT_TRUE(l.gsbNull);

  struct Broken {
    const char* what;
    std::u16string value;
    std::vector<BYTE> bytes;
  } broken[] = {
      {"N_Dev with another tag", u"N_Dev", Cat({Header(u"NDEV002", 20752, kRec), record})},
      {"N_Dev newer", u"N_Dev", Cat({Header(u"NDEV001", 20753, kRec), record})},
      {"N_Dev with a bad fax list", u"N_Dev", Cat({Header(u"NDEV001", 20752, kRec), record, {1, 2}})},
      {"GSBInfo with another tag", u"GSBInfo", [] {
         std::vector<BYTE> h = GsbHeader(0);
         h[12] = 'X';
         return h;
       }()},
      {"GSBInfo block cut", u"GSBInfo", Cat({GsbHeader(5), {1, 2, 3, 4}})},
  };
  for (const Broken& b : broken) {
    SCOPED_TRACE(b.what);
    ClearValues();
    ASSERT_TRUE(Save(nullptr, record, nullptr, nullptr));
    ASSERT_TRUE(zanSaveChunkedValue(printer_, b.value.c_str(), b.bytes.data(), static_cast<DWORD>(b.bytes.size())));
    l = Load(nullptr);
    EXPECT_FALSE(l.ok);
    EXPECT_NE(l.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
  ClearValues();
  ASSERT_TRUE(Save(nullptr, record, nullptr, nullptr));
  PutSize(u"N_DevSize", 0xFFFFFF00u);
  l = Load(nullptr);
  EXPECT_FALSE(l.ok);
  EXPECT_NE(l.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A save that fails at any of its printer-data writes leaves the stored set
// as it was: the old record and block load as before, or nothing is stored.
TEST_F(NonDevTest, FailedPrinterDataSaveKeepsTheOldSet) {
  const std::vector<BYTE> oldRecord = Record(10), newRecord = Record(11);
  const std::vector<BYTE> oldBlock = Pattern(30, 1), newBlock = Pattern(900, 2);
  // N_Dev: 6 chunks and the size value; GSBInfo: 2 chunks and the size value.
  for (bool withOld : {true, false}) {
    for (DWORD k = 1; k <= 10; ++k) {
      SCOPED_TRACE(testing::Message() << (withOld ? "old set stored" : "nothing stored") << ", write " << k);
      ClearValues();
      if (withOld) {
        ASSERT_TRUE(Save(nullptr, oldRecord, &oldBlock, nullptr));
      }
      KpSpoolerFailPrinterData(0, k, 1, ERROR_ACCESS_DENIED);
      EXPECT_FALSE(Save(nullptr, newRecord, &newBlock, nullptr));
      KpSpoolerFailPrinterData(0, 0, 0, 0);
      Loaded l = Load(nullptr);
      if (withOld) {
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.record, oldRecord);
        EXPECT_EQ(l.gsb, oldBlock);
      } else {
        EXPECT_FALSE(l.ok);
        EXPECT_EQ(l.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      }
    }
  }
}

// ---- Defaults and the fax list alone -------------------------------------------

TEST_F(NonDevTest, DefaultRecordIsTheDevmodesNonDevmodePart) {
  std::vector<BYTE> record(kRec, 0xEE);
  ASSERT_TRUE(nonDev_SetDefaultData(printer_, record.data()));
  EXPECT_EQ(record, Defaults());
  WORD version = 0;
  std::memcpy(&version, record.data(), 2);
  EXPECT_EQ(version, 0x5110);
  EXPECT_FALSE(nonDev_SetDefaultData(nullptr, record.data()));
  EXPECT_FALSE(nonDev_SetDefaultData(printer_, nullptr));
}

TEST_F(NonDevTest, FaxSendListLoadsOnlyAWholeList) {
  void* list = nullptr;
  DWORD size = 0;
  EXPECT_FALSE(nonDev_LoadFaxData_v1(printer_, &list, &size)) << "nothing stored";
  const std::vector<BYTE> fax = FaxList(3);
  ASSERT_TRUE(zanSaveChunkedValue(printer_, u"FaxSendList", fax.data(), static_cast<DWORD>(fax.size())));
  ASSERT_TRUE(nonDev_LoadFaxData_v1(printer_, &list, &size));
  ASSERT_EQ(size, fax.size());
  EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(list), static_cast<BYTE*>(list) + size), fax);
  kcore_Free(list);
  EXPECT_FALSE(nonDev_LoadFaxData_v1(printer_, nullptr, &size));
  EXPECT_FALSE(nonDev_LoadFaxData_v1(printer_, &list, nullptr));
  EXPECT_FALSE(nonDev_LoadFaxData_v1(nullptr, &list, &size));

  std::vector<BYTE> longer = fax;
  longer.push_back(0);
  ASSERT_TRUE(zanSaveChunkedValue(printer_, u"FaxSendList", longer.data(), static_cast<DWORD>(longer.size())));
  list = reinterpret_cast<void*>(0x1);
  EXPECT_FALSE(nonDev_LoadFaxData_v1(printer_, &list, &size));
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace kestrel::test::pd
