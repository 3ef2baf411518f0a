// Every allocation of a one-page job refused in turn, on the kernel-mode
// heap (the renderer's EngAllocMem) and in user-mode memory (GlobalAlloc and
// the heaps: kestrelui, kestrelum, the monitor): each job fails with its
// reason, or absorbs the refusal and prints the same job as without it;
// nothing is left behind, no block, no temporary file or record, no live
// spooler job, and the queue's settings stay as they were.
//
// A whole job on the road takes about 75 ms here (its libraries are loaded
// at each CreateDC) and makes some 360 kernel-mode and 950 user-mode
// allocations, so one walk is long. Every step is kept: the walk is cut
// into shards that take every k-th step (n = shard + 1, shard + 1 + k, ...),
// each its own test run, so that they run side by side.
#include <kplatform/engine_runner.h>
#include <kplatform/kernel32_memory.h>
#include <kplatform/winspool_job.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

struct Heap {
  const char* name;
  std::function<void(DWORD)> fail;  // arms the nth allocation from now (0 clears)
  std::function<size_t()> count;    // the allocation calls made so far
  DWORD shards;
};

const Heap kHeaps[] = {
    {"kernel-mode", [](DWORD n) { KpEngineFailAllocation(n); }, [] { return KpEngineAllocationCount(); }, 2},
    {"user-mode", [](DWORD n) { KpFailAllocation(n); }, [] { return KpAllocationCount(); }, 4},
};

class RoadAllocations : public RoadTest, public ::testing::WithParamInterface<std::tuple<size_t, DWORD>> {
 protected:
  // Walks the refused allocation n = first, first + step, ... over the job.
  void Walk(const Heap& heap, DWORD first, DWORD step) {
    const RoadQueue queue = Queue(RoadModel::A);
    const RoadDocument doc = OnePageDocument();
    const RoadJob clean = road::RoadPrint(queue, doc);  // loads what stays loaded
    ASSERT_TRUE(clean.result.ok()) << clean.result.message;
    const Kept before = Keep(queue);
    const size_t engineBlocks = KpEngineBlockCount(0);
    const size_t userBlocks = KpLiveBlockCount();
    const auto started = std::chrono::steady_clock::now();
    DWORD failed = 0, absorbed = 0, steps = 0;
    for (DWORD n = first;; n += step) {
      SCOPED_TRACE(std::string(heap.name) + " allocation " + std::to_string(n));
      const size_t calls = heap.count();
      heap.fail(n);
      const RoadJob job = road::RoadPrint(queue, doc);
      heap.fail(0);
      if (heap.count() - calls < n) {
        // Fewer allocations than n: the job ran without a refusal.
        ASSERT_TRUE(job.result.ok()) << job.result.message;
        EXPECT_EQ(JobShapeDiff(job.bytes, clean.bytes), "");
        break;
      }
      ++steps;
      if (job.result.ok()) {
        ++absorbed;
        EXPECT_EQ(job.check, "");
        EXPECT_EQ(JobShapeDiff(job.bytes, clean.bytes), "") << "a job that reports success must be whole";
      } else {
        ++failed;
        EXPECT_FALSE(job.result.message.empty());
      }
      EXPECT_EQ(KpEngineBlockCount(0), engineBlocks) << "kernel-mode blocks left";
      EXPECT_EQ(KpLiveBlockCount(), userBlocks) << "user-mode blocks left";
      EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
      ExpectNothingLeft(before, queue, false);
      if (::testing::Test::HasFailure()) break;
    }
    ExpectNothingLeft(before, queue);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s, every %u-th allocation from %u: %u refused, %u jobs failed, %u absorbed the refusal, %lld ms\n",
                heap.name, step, first, steps, failed, absorbed, static_cast<long long>(ms));
  }
};

TEST_P(RoadAllocations, EachRefusedInTurnFailsTheJobOrLeavesItWhole) {
  Watchdog dog(900s);
  const auto [heap, shard] = GetParam();
  Walk(kHeaps[heap], shard + 1, kHeaps[heap].shards);
}

std::string ShardName(const ::testing::TestParamInfo<std::tuple<size_t, DWORD>>& info) {
  return std::string(std::get<0>(info.param) == 0 ? "KernelMode" : "UserMode") + "_" +
         std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(KernelMode, RoadAllocations, ::testing::Combine(::testing::Values(size_t{0}),
                                                                         ::testing::Range<DWORD>(0, 2)),
                         ShardName);
INSTANTIATE_TEST_SUITE_P(UserMode, RoadAllocations, ::testing::Combine(::testing::Values(size_t{1}),
                                                                       ::testing::Range<DWORD>(0, 4)),
                         ShardName);

}  // namespace
}  // namespace kestrel::test
