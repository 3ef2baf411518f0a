// DrvUpgradePrinter through kestrelui loaded as the spooler loads it: what a
// model-A queue holds after the upgrade, how older stored settings come back
// in the current layout, and that a failed printer-data write never leaves
// the old settings unreadable or mixed with new ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/ui/upgradeprinter.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test::kui {
namespace {

constexpr const char16_t* kPrinter = kModelAPrinter;
constexpr char kDriverDirHost[] = "c/Windows/system32/spool/drivers/x64/3";
constexpr char kTraceHost[] = "c/DEBUG_LOG/WINNT/DDI_PRNUI_TRACE_LOG.txt";
constexpr DWORD kBuiltInForms = 118;

using UpgradeFn = BOOL (*)(DWORD, LPBYTE);
using GetUpgradedFn = BOOL (*)(HANDLE, void*, DWORD*, DWORD);

std::u16string Names(const std::vector<std::u16string>& names) {
  std::u16string all;
  for (const auto& n : names) all += n + u" ";
  return all;
}

class UpgradePrinterTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    ASSERT_TRUE(KpInstallModule("libkestrelui.so", nullptr));
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
    ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
    ASSERT_EQ(AddModelAPrinter(kPrinter), "");
    std::u16string name = kPrinter;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
  }
  void TearDown() override {
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    while (library_ && FreeLibrary(library_)) {
    }
    if (printer_) ClosePrinter(printer_);
  }

  void Load() {
    library_ = LoadLibraryW(u"kestrelui.dll");
    ASSERT_NE(library_, nullptr);
    upgrade_ = reinterpret_cast<UpgradeFn>(reinterpret_cast<void*>(GetProcAddress(library_, "DrvUpgradePrinter")));
    ASSERT_NE(upgrade_, nullptr);
    getRecord_ = reinterpret_cast<GetUpgradedFn>(
        reinterpret_cast<void*>(GetProcAddress(library_, "GetUpgradedPrinterData")));
    ASSERT_NE(getRecord_, nullptr);
  }

  BOOL Upgrade() {
    std::u16string name = kPrinter;
    DRIVER_UPGRADE_INFO_1W info = {name.data(), nullptr};
    return upgrade_(1, reinterpret_cast<LPBYTE>(&info));
  }

  std::vector<std::u16string> ListValues() { return ListPrinterDataNames(kPrinter); }
  void ClearValues() {
    for (std::u16string n : ListValues()) DeletePrinterDataW(printer_, n.data());
  }
  // A chunked value as stored, or empty.
  std::vector<BYTE> Stored(const char16_t* base) {
    std::vector<BYTE> bytes(80000);
    DWORD size = 80000;
    if (!zanGetChunkedValueEx(printer_, base, bytes.data(), &size, nullptr)) return {};
    bytes.resize(size);
    return bytes;
  }
  void Store(const char16_t* base, const std::vector<BYTE>& bytes) {
    ASSERT_TRUE(zanSaveChunkedValue(printer_, base, bytes.data(), static_cast<DWORD>(bytes.size())));
  }
  DWORD UserForms() {
    DWORD needed = 0, count = 0;
    EnumFormsW(printer_, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumFormsW(printer_, 1, buffer.data(), needed, &needed, &count));
    return count - kBuiltInForms;
  }
  // The record the library builds for this queue (its defaults when nothing
  // is stored).
  std::vector<BYTE> LibraryRecord() {
    std::vector<BYTE> record(PD_RECORD_SIZE);
    DWORD size = PD_RECORD_SIZE;
    EXPECT_TRUE(getRecord_(printer_, record.data(), &size, 0));
    return record;
  }

  // Settings as an older driver left them: a printer-data record of driver
  // version 0x2100 and structure 0x5100 with a user-defined paper name, and
  // an "N_Dev" of version 0x5100 holding the first 100 bytes of a record.
  void StoreOldSettings() {
    ClearValues();
    oldRecord_ = LibraryRecord();
    WORD driver = 0x2100, structure = 0x5100;
    std::memcpy(&oldRecord_[4], &driver, 2);
    std::memcpy(&oldRecord_[2], &structure, 2);
    std::memset(&oldRecord_[1762], 0, 64);  // member 5929, the first user-defined paper's name
    std::memcpy(&oldRecord_[1762], u"Old Paper", 18);
    Store(u"PrinterData", oldRecord_);

    oldNonDev_.assign(24, 0);
    std::memcpy(oldNonDev_.data(), u"NDEV001", 14);
    DWORD version = 0x5100, size = 100;
    std::memcpy(&oldNonDev_[16], &version, 4);
    std::memcpy(&oldNonDev_[20], &size, 4);
    for (DWORD i = 0; i < size; ++i) oldNonDev_.push_back(static_cast<BYTE>(0x40 + i));
    Store(u"N_Dev", oldNonDev_);
  }

  HANDLE printer_ = nullptr;
  HMODULE library_ = nullptr;
  UpgradeFn upgrade_ = nullptr;
  GetUpgradedFn getRecord_ = nullptr;
  std::vector<BYTE> oldRecord_;
  std::vector<BYTE> oldNonDev_;
};

TEST_F(UpgradePrinterTest, RefusesOtherLevelsAndMissingInformation) {
  Load();
  std::u16string name = kPrinter;
  DRIVER_UPGRADE_INFO_1W info = {name.data(), nullptr};
  DRIVER_UPGRADE_INFO_1W noName = {nullptr, nullptr};
  struct Case {
    DWORD level;
    void* info;
  } cases[] = {{2, &info}, {0, &info}, {1, nullptr}, {1, &noName}};
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(upgrade_(c.level, static_cast<LPBYTE>(c.info)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_TRUE(ListValues().empty()) << "nothing was written";
  std::u16string other = u"No Such Printer";
  DRIVER_UPGRADE_INFO_1W unknown = {other.data(), nullptr};
  EXPECT_FALSE(upgrade_(1, reinterpret_cast<LPBYTE>(&unknown)));
}

// A new queue: afterwards it has its id, the model's forms and every value
// the upgrade stores, in the current layout.
TEST_F(UpgradePrinterTest, NewQueueGetsEveryStoredValue) {
  Load();
  ASSERT_EQ(UserForms(), 0u);
  ASSERT_TRUE(Upgrade());
  EXPECT_GT(UserForms(), 0u) << "the model's forms were added";

  std::vector<std::u16string> names = ListValues();
  auto count = [&](const std::u16string& prefix) {
    return std::count_if(names.begin(), names.end(), [&](const std::u16string& n) { return n.rfind(prefix, 0) == 0; });
  };
  const std::u16string listing = Names(names);
  SCOPED_TRACE(std::string(listing.begin(), listing.end()));
  struct Expect {
    const char16_t* prefix;
    long values;  // the size value and the chunks, or the one value
  } expected[] = {
      {u"PRNID", 1},       {u"PrinterData", 8}, {u"N_Dev", 7},         {u"GSBInfo", 2},
      {u"SupportJobOwnerTool", 1}, {u"SPLUserModePrinterDriver", 1},
  };
  long listed = 0;
  for (const Expect& e : expected) {
    EXPECT_EQ(count(e.prefix), e.values) << std::string(e.prefix, e.prefix + std::char_traits<char16_t>::length(e.prefix));
    listed += e.values;
  }
  EXPECT_GE(count(u"FontSubTable"), 2);
  listed += count(u"FontSubTable");
  EXPECT_EQ(static_cast<long>(names.size()), listed) << "nothing else is stored";

  // The values hold what the model says, in the current layout.
  std::vector<BYTE> record = Stored(u"PrinterData");
  ASSERT_EQ(record.size(), PD_RECORD_SIZE);
  PD_RECORD_HEAD head;
  std::memcpy(&head, record.data(), sizeof(head));
  EXPECT_EQ(head.structVersion, PD_STRUCT_VERSION);
  EXPECT_EQ(head.driverVersion, PD_DRIVER_VERSION);
  std::vector<BYTE> nDev = Stored(u"N_Dev");
  ASSERT_EQ(nDev.size(), 24u + NONDEV_RECORD_SIZE);
  DWORD version = 0;
  std::memcpy(&version, &nDev[16], 4);
  EXPECT_EQ(version, NONDEV_VERSION);
  EXPECT_EQ(Stored(u"GSBInfo").size(), 20u) << "no block: a bare header";

  HCDDD ddd = cddd_Open(printer_);
  ASSERT_NE(ddd, nullptr);
  ZANLIB_CAPABILITY caps = {};
  ASSERT_TRUE(zanLib_GetDDDCapabilities(ddd, &caps));
  cddd_Close(ddd);
  DWORD tool = 0xFF, needed = 0, type = 0;
  std::u16string toolName = u"SupportJobOwnerTool";
  ASSERT_EQ(GetPrinterDataW(printer_, toolName.data(), &type, reinterpret_cast<LPBYTE>(&tool), 4, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(tool, (caps.word1 >> (43 - 32)) & 1u);

  // A second upgrade finds everything in place and changes nothing.
  const DWORD forms = UserForms();
  ASSERT_TRUE(Upgrade());
  EXPECT_EQ(ListValues(), names);
  EXPECT_EQ(UserForms(), forms);
  EXPECT_EQ(Stored(u"PrinterData"), record);
  EXPECT_EQ(Stored(u"N_Dev"), nDev);
}

// Older stored settings come back in the current layout with the user's
// values kept; the record's tail the old one lacked takes the defaults.
TEST_F(UpgradePrinterTest, OlderStoredSettingsAreUpgraded) {
  Load();
  StoreOldSettings();
  ASSERT_TRUE(Upgrade());

  std::vector<BYTE> record = Stored(u"PrinterData");
  ASSERT_EQ(record.size(), PD_RECORD_SIZE);
  PD_RECORD_HEAD head;
  std::memcpy(&head, record.data(), sizeof(head));
  EXPECT_EQ(head.driverVersion, PD_DRIVER_VERSION);
  EXPECT_EQ(head.structVersion, PD_STRUCT_VERSION);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(&record[1762])), u"Old Paper");

  std::vector<BYTE> nDev = Stored(u"N_Dev");
  ASSERT_EQ(nDev.size(), 24u + NONDEV_RECORD_SIZE);
  DWORD version = 0, size = 0;
  std::memcpy(&version, &nDev[16], 4);
  std::memcpy(&size, &nDev[20], 4);
  EXPECT_EQ(version, NONDEV_VERSION);
  EXPECT_EQ(size, NONDEV_RECORD_SIZE);
  EXPECT_EQ(nDev[24], 0x10);
  EXPECT_EQ(nDev[25], 0x51) << "member 1793 reads 0x5110";
  EXPECT_TRUE(std::equal(oldNonDev_.begin() + 26, oldNonDev_.end(), nDev.begin() + 26))
      << "the old record's bytes are kept";
}

// A printer-data write that fails, whichever it is, leaves each stored value
// either as it was or whole in its upgraded form, never a mix and never the
// defaults over the old settings; the next upgrade completes the job.
TEST_F(UpgradePrinterTest, FailedWriteLeavesTheOldSettingsReadable) {
  Load();
  StoreOldSettings();
  ASSERT_TRUE(Upgrade());
  const std::vector<BYTE> upgradedRecord = Stored(u"PrinterData");
  const std::vector<BYTE> upgradedNonDev = Stored(u"N_Dev");

  bool sawFailure = false;
  for (DWORD k = 1; k <= 24; ++k) {
    SCOPED_TRACE(k);
    StoreOldSettings();
    KpSpoolerFailPrinterData(0, k, 1, ERROR_ACCESS_DENIED);
    BOOL ok = Upgrade();
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    sawFailure = sawFailure || !ok;
    std::vector<BYTE> record = Stored(u"PrinterData");
    EXPECT_TRUE(record == oldRecord_ || record == upgradedRecord);
    std::vector<BYTE> nDev = Stored(u"N_Dev");
    EXPECT_TRUE(nDev == oldNonDev_ || nDev == upgradedNonDev);
    ASSERT_TRUE(Upgrade());
    EXPECT_EQ(Stored(u"PrinterData"), upgradedRecord);
    EXPECT_EQ(Stored(u"N_Dev"), upgradedNonDev);
  }
  EXPECT_TRUE(sawFailure);

  // Every write refused: nothing changes.
  StoreOldSettings();
  KpSpoolerFailPrinterData(0, 1, 1000, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Upgrade());
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  EXPECT_EQ(Stored(u"PrinterData"), oldRecord_);
  EXPECT_EQ(Stored(u"N_Dev"), oldNonDev_);
}

// A stored record that cannot be read is never overwritten by defaults.
TEST_F(UpgradePrinterTest, UnreadableStoredSettingsAreNotReplacedByDefaults) {
  Load();
  StoreOldSettings();
  // A chunk of each record lost: both loads fail.
  DeletePrinterDataW(printer_, std::u16string(u"PrinterData3").data());
  DeletePrinterDataW(printer_, std::u16string(u"N_Dev1").data());
  const std::vector<std::u16string> before = ListValues();
  EXPECT_FALSE(Upgrade());
  std::vector<std::u16string> after = ListValues();
  for (const auto& n : before) EXPECT_NE(std::find(after.begin(), after.end(), n), after.end());
  for (const char16_t* gone : {u"PrinterData3", u"N_Dev1"}) {
    EXPECT_EQ(std::find(after.begin(), after.end(), gone), after.end()) << "nothing rewrote the damaged value";
  }
}

// With the trace log on, the entry and the result are traced.
TEST_F(UpgradePrinterTest, TraceShowsTheCallAndItsResult) {
  WriteHostFile(root_.host(std::string(kDriverDirHost) + "/kestrel.cfg"), "[LOG]\r\nLog=0x3\r\n");
  Load();
  ASSERT_TRUE(Upgrade());
  EXPECT_FALSE(upgrade_(2, nullptr));
  FreeLibrary(library_);
  library_ = nullptr;
  std::string text = ReadHostFile(root_.host(kTraceHost));
  size_t first = text.find("IN <<DrvUpgradePrinter\n");
  size_t ok = text.find("OUT>>DrvUpgradePrinter RetValue = 1\n");
  size_t refused = text.find("OUT>>DrvUpgradePrinter RetValue = 0\n");
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_NE(ok, std::string::npos) << text;
  EXPECT_NE(refused, std::string::npos) << text;
  EXPECT_LT(first, ok);
  EXPECT_LT(ok, refused);
}

}  // namespace
}  // namespace kestrel::test::kui
