// kestrelui loaded and freed on one thread while another loads it and reads
// the printer-data record, whose defaults take the user-defined paper names
// from the resource module. The attach and the detach run under the
// loader's lock and take the resource lock; the record's string lookups
// load and free the resource module. Under ThreadSanitizer this shows the
// order of the two locks; in every build it shows that the racing loads
// and frees leave no module behind and every record is built whole.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/core/printerdata.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test::kui {
namespace {

constexpr const char16_t* kPrinter = kModelAPrinter;
constexpr int kRounds = 8;

using GetUpgradedFn = BOOL (*)(HANDLE, void*, DWORD*, DWORD);

class KestrelUiThreads : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    for (const char* library : {"libkestrelui.so", "kestrelrs.zrs", "libkestreljd.so"})
      ASSERT_TRUE(KpInstallModule(library, nullptr)) << library;
    ASSERT_EQ(AddModelAPrinter(kPrinter), "");
    std::u16string name = kPrinter;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
  }

  // One load of the library, one record read through it, one free. The
  // record, or empty when a step failed.
  std::vector<BYTE> ReadRecordThroughLibrary() {
    HMODULE library = LoadLibraryW(u"kestrelui.dll");
    if (!library) return {};
    std::vector<BYTE> record;
    auto get = reinterpret_cast<GetUpgradedFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetUpgradedPrinterData")));
    DWORD size = PD_RECORD_SIZE;
    record.assign(PD_RECORD_SIZE, 0xEE);
    if (!get || !get(printer_, record.data(), &size, 0) || size != PD_RECORD_SIZE) record.clear();
    if (!FreeLibrary(library)) record.clear();
    return record;
  }

  HANDLE printer_ = nullptr;
};

TEST_F(KestrelUiThreads, LoadsAndFreesRacingStringLookupsLeaveNothingBehind) {
  const size_t before = KpLoadedModuleCount();
  const std::vector<BYTE> expected = ReadRecordThroughLibrary();
  ASSERT_EQ(expected.size(), PD_RECORD_SIZE) << "a record read with no other thread";
  ASSERT_EQ(KpLoadedModuleCount(), before);

  // The other thread loads and frees the library until every record is read.
  std::atomic<bool> done{false};
  std::atomic<int> failedLoads{0};
  std::thread churn([&] {
    while (!done.load()) {
      HMODULE library = LoadLibraryW(u"kestrelui.dll");
      if (!library || !FreeLibrary(library)) ++failedLoads;
    }
  });
  std::vector<std::vector<BYTE>> records;
  for (int i = 0; i < kRounds; ++i) records.push_back(ReadRecordThroughLibrary());
  done.store(true);
  churn.join();

  EXPECT_EQ(failedLoads.load(), 0);
  for (size_t i = 0; i < records.size(); ++i)
    EXPECT_TRUE(records[i] == expected) << "record " << i << " differs from the one read alone";
  EXPECT_EQ(KpLoadedModuleCount(), before) << "every load of kestrelui, kestreljd and kestrelrs was freed";
  EXPECT_EQ(GetModuleHandleW(u"kestrelrs.zrs"), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"kestrelui.dll"), nullptr);
}

}  // namespace
}  // namespace kestrel::test::kui
