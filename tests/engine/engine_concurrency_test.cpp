// Engine semaphores and memory under several threads.
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <thread>
#include <vector>

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

}  // namespace
