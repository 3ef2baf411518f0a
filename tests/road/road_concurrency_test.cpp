// Load: eight jobs at once from eight threads on two queues (model A and
// model B), on file ports and on two loopback printers' TCP ports. Every
// job must arrive whole at its own port, carry only its own document and
// pages, and pass the strict checker; the spooler holds a job whose port is
// busy and sends it after the one before, so no two jobs interleave. On TCP
// each job's status, asked through the port after it, is its own printer's.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "kplatform/kernel32_time.h"
#include "loopback_printer.h"
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

// The eight jobs, each from its own thread, job i on queue i % 2: each its
// own name (`prefix` and i) and page count (1 + i / 2), so that a mix shows.
std::vector<RoadJob> PrintAtOnce(const RoadQueue (&queues)[2], const std::u16string& prefix) {
  std::vector<RoadJob> jobs(kJobs);
  std::vector<std::thread> threads;
  for (int i = 0; i < kJobs; ++i) {
    threads.emplace_back([&, i] {
      jobs[i] = road::RoadPrint(queues[i % 2], TextDocument(1 + i / 2, prefix + Widen(std::to_string(i))));
    });
  }
  for (std::thread& t : threads) t.join();
  return jobs;
}

TEST_F(RoadTest, EightJobsAtOnceOnTwoQueuesArriveWholeAndApart) {
  Watchdog dog(300s);
  const RoadQueue queues[2] = {Queue(RoadModel::A, u"load A"), Queue(RoadModel::B, u"load B")};
  const std::vector<RoadJob> jobs = PrintAtOnce(queues, u"load-job-");

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

// The monitor's waits for the printer's replies run on the platform clock:
// twenty times faster, so that eight jobs' waits fit the watchdog under
// ThreadSanitizer.
class FastClock {
 public:
  FastClock() { KpSetClockScale(20); }
  ~FastClock() { KpSetClockScale(1); }
  FastClock(const FastClock&) = delete;
  FastClock& operator=(const FastClock&) = delete;
};

TEST_F(RoadTest, EightJobsAtOnceOnTwoNetworkPrintersArriveWholeWithTheirOwnPrintersStatus) {
  Watchdog dog(300s);
  LoopbackPrinter printers[2];
  // Told apart by what the monitor reads back: the id and the memory.
  printers[0].update([](PrinterState& s) { s.id = "\"Loopback One\""; });
  printers[1].update([](PrinterState& s) {
    s.id = "\"Loopback Two\"";
    const size_t at = s.config.find("MEMORY=67108864");
    s.config.replace(at, 15, "MEMORY=134217728");
  });
  const RoadQueue queues[2] = {Queue(RoadModel::A, u"net A", printers[0].port()),
                               Queue(RoadModel::B, u"net B", printers[1].port())};
  const std::string names[2] = {"Loopback One", "Loopback Two"};
  const std::string memory[2] = {"memory 64 MB", "memory 128 MB"};
  FastClock fast;
  const std::vector<RoadJob> jobs = PrintAtOnce(queues, u"net-job-");

  for (int i = 0; i < kJobs; ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    const RoadJob& job = jobs[i];
    ASSERT_TRUE(job.result.ok()) << job.result.message;
    EXPECT_EQ(job.check, "");
    EXPECT_EQ(job.pages.size(), static_cast<size_t>(1 + i / 2));
    EXPECT_EQ(job.bytes.rfind("\x1b%-12345X", 0), 0u) << "a job starts with the universal exit";
    EXPECT_EQ(CountOf(job.bytes, "\x1b%-12345X@PJL JOB"), 1u);
    EXPECT_EQ(CountOf(job.bytes, "DNAME=net-job-" + std::to_string(i) + "\n"), 1u);
    // The status the road read after the job came from this job's printer.
    const std::string status = [&] {
      std::string all;
      for (const std::string& line : job.printerStatus) all += line + "\n";
      return all;
    }();
    EXPECT_NE(status.find("system name \"" + names[i % 2] + "\""), std::string::npos) << status;
    EXPECT_NE(status.find(memory[i % 2] + "\n"), std::string::npos) << status;
    EXPECT_EQ(status.find(names[1 - i % 2]), std::string::npos) << status;
  }
  // Each printer received its queue's four jobs, one a connection, whole
  // and in no other's bytes.
  for (int p = 0; p < 2; ++p) {
    SCOPED_TRACE("printer " + std::to_string(p));
    ASSERT_TRUE(printers[p].waitUntil([&] { return printers[p].finishedJobs().size() >= kJobs / 2; }, 30000));
    const std::vector<std::string> received = printers[p].finishedJobs();
    ASSERT_EQ(received.size(), static_cast<size_t>(kJobs / 2));
    std::vector<int> seen;
    for (const std::string& bytes : received) {
      EXPECT_EQ(CountOf(bytes, "@PJL COMMENT DNAME=net-job-"), 1u);
      for (int i = 0; i < kJobs; ++i)
        if (CountOf(bytes, "DNAME=net-job-" + std::to_string(i) + "\n") == 1) seen.push_back(i);
      EXPECT_EQ(pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                   pclxl_check::Mode::Job)
                    .text(),
                "");
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{p, p + 2, p + 4, p + 6}));
  }
}

}  // namespace
}  // namespace kestrel::test
