// Load: eight jobs at once from eight threads on two queues (model A and
// model B, each on its own file port). Every job must arrive whole in its
// own port's file, carry only its own document and pages, and pass the
// strict checker; the spooler holds a job whose port is busy and sends it
// after the one before, so no two jobs interleave.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "pclxl_checker.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

constexpr int kJobs = 8;

size_t CountOf(const std::string& bytes, const std::string& what) {
  size_t n = 0;
  for (size_t at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1)) ++n;
  return n;
}

TEST_F(RoadTest, EightJobsAtOnceOnTwoQueuesArriveWholeAndApart) {
  Watchdog dog(300s);
  const RoadQueue queues[2] = {Queue(RoadModel::A, u"load A"), Queue(RoadModel::B, u"load B")};
  std::vector<RoadJob> jobs(kJobs);
  std::vector<std::thread> threads;
  for (int i = 0; i < kJobs; ++i) {
    // Each job its own name and page count, so that a mix shows.
    threads.emplace_back([&, i] {
      jobs[i] = road::RoadPrint(queues[i % 2], TextDocument(1 + i / 2, u"load-job-" + Widen(std::to_string(i))));
    });
  }
  for (std::thread& t : threads) t.join();

  for (int i = 0; i < kJobs; ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    const RoadJob& job = jobs[i];
    // The road found the job whole in its port's file.
    ASSERT_TRUE(job.result.ok()) << job.result.message;
    EXPECT_EQ(job.check, "");
    EXPECT_EQ(job.printer, road::RoadPrinterName(queues[i % 2]));
    EXPECT_EQ(job.pages.size(), static_cast<size_t>(1 + i / 2));
    EXPECT_EQ(CountOf(job.bytes, "\x1b%-12345X@PJL JOB"), 1u);
    EXPECT_EQ(CountOf(job.bytes, "@PJL COMMENT DNAME=load-job-" + std::to_string(i) + "\n"), 1u);
    for (int other = 0; other < kJobs; ++other) {
      if (other == i) continue;
      EXPECT_EQ(CountOf(job.bytes, "DNAME=load-job-" + std::to_string(other) + "\n"), 0u);
    }
  }
}

}  // namespace
}  // namespace kestrel::test
