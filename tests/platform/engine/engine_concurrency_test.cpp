// Engine semaphores, memory and the driver runner under several threads.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <string>
#include <thread>
#include <vector>

#include "kptestdrv.h"
#include "temp_root.h"

namespace {

TEST(EngineConcurrency, SemaphoreExcludesOtherThreadsAndReenters) {
  HSEMAPHORE s = EngCreateSemaphore();
  ASSERT_NE(s, nullptr);
  long counter = 0;  // guarded by s only
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        EngAcquireSemaphore(s);
        EngAcquireSemaphore(s);  // re-entered by the owner
        long seen = counter;
        counter = seen + 1;
        EngReleaseSemaphore(s);
        EngReleaseSemaphore(s);  // a stray extra release from this thread must not open it for others
        EngReleaseSemaphore(s);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
  EngDeleteSemaphore(s);
}

TEST(EngineConcurrency, AllocationsFromManyThreadsAreAllCounted) {
  constexpr ULONG kTag = 0x74736574;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      std::vector<void*> blocks;
      for (int i = 0; i < 500; ++i) blocks.push_back(EngAllocMem(FL_ZERO_MEMORY, 32, kTag));
      for (void* b : blocks) EngFreeMem(b);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(KpEngineBlockCount(kTag), 0u);
}

// The engine enables several PDEVs of one driver at once: two threads share
// one loaded driver, each enabling, printing on and disabling its own
// sessions on its own printer. Each printer gets its jobs whole, the driver's
// call log holds every call, and unloading finds no session left.
TEST(EngineConcurrency, TwoThreadsShareOneDriverWithASessionEach) {
  kestrel::test::TempRoot root;
  ASSERT_TRUE(KpInstallModule("libkptestdrv.so", nullptr));
  HMODULE module = LoadLibraryW(u"kptestdrv.dll");  // keeps the controls put
  ASSERT_NE(module, nullptr);
  KtdControl* control =
      reinterpret_cast<KtdGetControlFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "KtdGetControl")))();
  *control = KtdControl{DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                        FALSE, FALSE, FALSE, 4, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, FALSE};
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  const char16_t* names[2] = {u"Front Desk", u"Back Office"};
  HANDLE printers[2] = {};
  for (int t = 0; t < 2; ++t) {
    KP_ENGINE_PRINTER_INFO info{names[t], nullptr, nullptr};
    printers[t] = KpEngineCreatePrinter(&info);
    ASSERT_NE(printers[t], nullptr);
  }

  constexpr int kJobs = 50;
  bool ok[2] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      bool all = true;
      for (int j = 0; j < kJobs; ++j) {
        // A session left open while the next is made, so both threads'
        // lists change at once.
        KP_ENGINE_SESSION* held = KpEngineEnablePDEV(d, printers[t], nullptr);
        all = all && held != nullptr && KpEngineRunJob(d, printers[t], nullptr, u"doc", 1, nullptr, nullptr);
        if (held) all = KpEngineDisablePDEV(held) && all;
      }
      ok[t] = all;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_TRUE(ok[0]);
  EXPECT_TRUE(ok[1]);

  std::string job = "<doc>PPPP</doc>", expected;
  for (int j = 0; j < kJobs; ++j) expected += job;
  for (HANDLE p : printers) {
    std::string bytes(KpEngineGetOutput(p, nullptr, 0), '\0');
    KpEngineGetOutput(p, bytes.data(), bytes.size());
    EXPECT_EQ(bytes, expected);
  }
  // Per round: the held session's enable, complete and disable, and the
  // job's nine calls; plus DrvEnableDriver.
  const DWORD perJob = 3 + 9;
  EXPECT_EQ(KpEngineCallCount(d), 1 + 2 * kJobs * perJob);
  EXPECT_EQ(control->livePdevs, 0);
  EXPECT_EQ(control->wrongSurfaces, 0);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
  EXPECT_EQ(control->driverDisables, 1);
  for (HANDLE p : printers) KpEngineDeletePrinter(p);
  FreeLibrary(module);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DEVICES), 0u);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_SURFACES), 0u);
}

}  // namespace
