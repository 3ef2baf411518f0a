// The loader under threads: simultaneous first loads attach once and agree on
// the handle; loads, frees and string reads racing each other keep attach and
// detach balanced.
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_resource.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "kptest_count.h"
#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;

constexpr int kThreads = 8;

class ModuleConcurrencyTest : public RootedTest {
 protected:
  void SetUp() override {
    KpTestResetEvents();
    ASSERT_TRUE(KpInstallModule("libkptestmod.so", nullptr));
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
  }
};

TEST_F(ModuleConcurrencyTest, SimultaneousFirstLoadsAttachOnce) {
  for (int round = 1; round <= 20; ++round) {
    std::vector<HMODULE> handles(kThreads);
    std::barrier sync(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        sync.arrive_and_wait();
        handles[t] = LoadLibraryW(t % 2 ? u"kptestmod.dll" : u"KPTESTMOD");
        sync.arrive_and_wait();  // everyone holds a reference here
        if (handles[t] != nullptr) FreeLibrary(handles[t]);
      });
    }
    for (auto& th : threads) th.join();
    for (HMODULE h : handles) EXPECT_EQ(handles[0], h);
    ASSERT_NE(nullptr, handles[0]);
    EXPECT_EQ(round, KpTestEvents("kptestmod")->attaches);
    EXPECT_EQ(round, KpTestEvents("kptestmod")->detaches);
  }
}

TEST_F(ModuleConcurrencyTest, LoadsFreesAndStringReadsRace) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const bool code = (t + i) % 2 == 0;
        HMODULE h = code ? LoadLibraryW(u"kptestmod.dll") : LoadLibraryExW(u"kestrelrs.zrs", nullptr, 9);
        if (h == nullptr) {
          ++failures;
          continue;
        }
        WCHAR buffer[32];
        const int n = LoadStringW(h, code ? 32767 : 65535, buffer, 32);
        if (n != (code ? 13 : 25)) ++failures;
        WCHAR path[MAX_PATH];
        if (GetModuleFileNameW(h, path, MAX_PATH) == 0) ++failures;
        if (!FreeLibrary(h)) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(KpTestEvents("kptestmod")->attaches, KpTestEvents("kptestmod")->detaches);
  EXPECT_EQ(nullptr, GetModuleHandleW(u"kptestmod.dll"));
  EXPECT_EQ(nullptr, GetModuleHandleW(u"kestrelrs.zrs"));
}

}  // namespace
