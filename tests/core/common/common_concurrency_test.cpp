// The library's process-wide state under threads: the resource module is
// loaded once however many threads ask first, and the locale answers are
// cached without a race.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common_fixture.h"
#include "kestrel/core/ordered_sprintf.h"
#include "kestrel/core/zanlib.h"

namespace kestrel::test::common {
namespace {

class Threads : public ModelTest {};

TEST_F(Threads, FirstRequestsLoadOneModuleAndOneAnswer) {
  StartResources("kestrelrs.zrs");
  constexpr int kThreads = 8;
  std::vector<HINSTANCE> modules(kThreads);
  std::vector<BYTE> groups(kThreads);
  std::vector<WORD> letters(kThreads);
  std::atomic<int> formatted{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  static const int kAny = 0;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      modules[i] = resource_get_hInstance();
      groups[i] = zanlib_GetPaperSizeGroupDefault(FALSE);
      letters[i] = driver_get_letter_flag(&kAny);
      char16_t out[32];
      if (OrderedSprintf(out, 32, u"%2d/%1d", i, kThreads) > 0) ++formatted;
    });
  }
  go.store(true);
  for (auto& t : threads) t.join();
  ASSERT_NE(nullptr, modules[0]);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(modules[0], modules[i]);
    EXPECT_EQ(4, groups[i]);
    EXPECT_EQ(1, letters[i]);
  }
  EXPECT_EQ(kThreads, formatted.load());
}

}  // namespace
}  // namespace kestrel::test::common
