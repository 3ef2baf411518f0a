// The resource module's use started and ended over and over on one thread
// while others read strings from it and ask for its handle and the driver
// directory: every answer is whole or none, and when the last use has ended
// no load of the module is left, whichever thread loaded it and whichever
// ended the use.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common_fixture.h"
#include "kestrel/core/zanlib.h"

namespace kestrel::test::common {
namespace {

class ResourceThreads : public ModelTest {};

TEST_F(ResourceThreads, UseEndingWhileStringsAreReadLeavesNoModuleLoaded) {
  StartResources("kestrelrs.zrs");
  resource_finishToUse();  // from here on each use is started and ended by the loop below
  const std::u16string dir = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
  constexpr int kCycles = 200;
  constexpr int kReaders = 3;

  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::atomic<int> answered{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < kReaders; ++t) {
    readers.emplace_back([&, t] {
      while (!done.load()) {
        WCHAR text[16] = {};
        int n = resource_LoadString(ZANLIB_STRID_CUSTOM, text, 16);
        if (n != 0) {
          ++answered;
          if (n != 6 || std::u16string(text) != u"Custom") ++wrong;
        } else if (text[0] != 0) {
          ++wrong;  // no answer leaves an empty buffer
        }
        if (t == 0) {
          WCHAR path[MAX_PATH] = {};
          if (zanlib_GetDriverDirectory(path, sizeof path) && std::u16string(path) != dir) ++wrong;
          (void)resource_get_hInstance();
        }
      }
    });
  }
  // Each use lasts until a reader has been answered in it (or a while), so
  // that its end meets readers at work.
  int cyclesAnswered = 0;
  for (int i = 0; i < kCycles; ++i) {
    const int seen = answered.load();
    resource_startToUse(library_, nullptr);
    for (int spin = 0; spin < 1000 && answered.load() == seen; ++spin) std::this_thread::yield();
    if (answered.load() != seen) ++cyclesAnswered;
    resource_unload();
  }
  done.store(true);
  for (auto& r : readers) r.join();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(resource_get_hInstance(), nullptr) << "no use is current";
  EXPECT_EQ(GetModuleHandleW(u"kestrelrs.zrs"), nullptr) << "every load of the module was freed";
  // A fresh use still finds the module and its strings.
  resource_startToUse(library_, nullptr);
  WCHAR text[16] = {};
  EXPECT_EQ(resource_LoadString(ZANLIB_STRID_CUSTOM, text, 16), 6);
  resource_unload();
  EXPECT_EQ(GetModuleHandleW(u"kestrelrs.zrs"), nullptr);
  RecordProperty("cyclesAnswered", cyclesAnswered);
}

}  // namespace
}  // namespace kestrel::test::common
