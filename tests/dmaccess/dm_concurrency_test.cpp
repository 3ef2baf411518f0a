// Outside programs may call the library from several threads at once, the
// very first call included (the item table is derived on first use).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "kestreldm_records.h"

namespace kestreldm_test {
namespace {

TEST(KestreldmConcurrency, FirstUseFromManyThreads) {
  constexpr int kThreads = 8;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &failures] {
      Records r;  // each thread its own records
      for (uint16_t i = 0; i < 200; ++i) {
        const uint32_t v = static_cast<uint32_t>(t * 1000 + i);
        if (r.Set(12, 2, 2, v) != 0 || r.Get(12).value != v) ++failures[t];
        if (r.Set(1281 + (i % 96), 1, 4, 1) != 0) ++failures[t];
        if (r.SetString(5121, "tray") != 0 || r.Get(5121).kind != 2) ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace kestreldm_test
