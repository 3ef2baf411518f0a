// Jobs cancelled from a second thread while the application writes: the
// writer hears of it by its next call at the latest, what reached the port is
// exactly what the writes that succeeded took, and the job ends with its port
// closed. A watchdog fails the test instead of hanging it.
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "spooler_fixture.h"

namespace kestrel::test {
namespace {

struct Outcome {
  std::string accepted;  // the bytes of every write that succeeded
  DWORD error = 0;       // the error of the first write that failed
  int writes = 0;
};

// Writes 64-byte pieces until a write fails (at most 100000 of them).
Outcome WriteUntilRefused(HANDLE printer, std::atomic<int>* started) {
  Outcome o;
  for (int i = 0; i < 100000; ++i) {
    std::string piece(64, static_cast<char>('A' + i % 26));
    DWORD written = 0;
    BOOL ok = WritePrinter(printer, piece.data(), 64, &written);
    if (!ok) {
      o.error = GetLastError();
      o.accepted.append(piece, 0, written);
      break;
    }
    o.accepted += piece;
    ++o.writes;
    started->store(o.writes);
  }
  return o;
}

enum class Canceller { SetJobCancel, SetJobDelete, AbortPrinter };

class SpoolerCancelTest : public SpoolerTest, public ::testing::WithParamInterface<Canceller> {};

TEST_P(SpoolerCancelTest, CancelFromASecondThreadWhileWriting) {
  // a slow port: every write of the job waits for the port a little
  KP_PORT_FAULTS slow{FALSE, FALSE, 16, 0, 0, 0};
  ASSERT_TRUE(KpPortSetFaults(kFilePort, &slow));
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  std::atomic<int> started{0};
  auto writer = std::async(std::launch::async, [&] { return WriteUntilRefused(printer_, &started); });
  while (started.load() < 20) std::this_thread::yield();

  auto canceller = std::async(std::launch::async, [&] {
    switch (GetParam()) {
      case Canceller::SetJobCancel: return SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_CANCEL);
      case Canceller::SetJobDelete: return SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_DELETE);
      case Canceller::AbortPrinter: return AbortPrinter(printer_);
    }
    return FALSE;
  });
  ASSERT_EQ(canceller.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the cancel hangs";
  EXPECT_TRUE(canceller.get());
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the writer hangs";
  Outcome o = writer.get();
  // AbortPrinter takes the document off the handle; a cancel leaves it there
  DWORD expected = GetParam() == Canceller::AbortPrinter ? ERROR_SPL_NO_STARTDOC : ERROR_PRINT_CANCELLED;
  if (o.error != static_cast<DWORD>(ERROR_SPL_NO_STARTDOC)) expected = ERROR_PRINT_CANCELLED;
  EXPECT_EQ(o.error, expected);
  if (GetParam() != Canceller::AbortPrinter) {
    EXPECT_FALSE(EndDocPrinter(printer_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  }

  KP_SPOOLER_JOB_STATE state = JobState(job);
  EXPECT_TRUE(state.ended);
  EXPECT_EQ(state.status, JOB_STATUS_DELETED);
  EXPECT_EQ(PortFile(), o.accepted);
  EXPECT_EQ(JobBytes(job), o.accepted);
  KP_PORT_STATS stats{};
  ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
  EXPECT_EQ(stats.openHandles, 0u);
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  // the handle takes a new document
  ASSERT_NE(StartDoc(printer_), 0u);
  EXPECT_TRUE(EndDocPrinter(printer_));
}

INSTANTIATE_TEST_SUITE_P(Cancellers, SpoolerCancelTest,
                         ::testing::Values(Canceller::SetJobCancel, Canceller::SetJobDelete,
                                           Canceller::AbortPrinter));

// Jobs of several handles on several threads at once: each job's bytes are
// its own, and the port file holds every job whole.
TEST_F(SpoolerTest, JobsOnSeveralThreadsStayApart) {
  constexpr int kThreads = 4;
  std::vector<std::future<DWORD>> runs;
  for (int t = 0; t < kThreads; ++t) {
    runs.push_back(std::async(std::launch::async, [this, t]() -> DWORD {
      std::u16string name = kPrinter;
      HANDLE h = nullptr;
      if (!OpenPrinterW(name.data(), &h, nullptr)) return 0;
      DWORD job = StartDoc(h);
      for (int i = 0; job != 0 && i < 50; ++i)
        if (!Write(h, std::string(100, static_cast<char>('a' + t)))) job = 0;
      if (job != 0 && !EndDocPrinter(h)) job = 0;
      ClosePrinter(h);
      return job;
    }));
  }
  // a held job's EndDocPrinter answers before it goes out: every job is at
  // the port once every thread is done
  std::vector<DWORD> jobs;
  for (auto& run : runs) {
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    jobs.push_back(run.get());
  }
  size_t total = 0;
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_NE(jobs[t], 0u);
    EXPECT_EQ(JobBytes(jobs[t]), std::string(5000, static_cast<char>('a' + t)));
    EXPECT_EQ(JobState(jobs[t]).status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
    total += 5000;
  }
  // whole jobs, one after the other
  const std::string file = PortFile();
  for (size_t at = 0; at < file.size(); at += 5000)
    EXPECT_EQ(file.substr(at, 5000), std::string(5000, file[at])) << at;
  EXPECT_EQ(PortFile().size(), total);
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
}

}  // namespace
}  // namespace kestrel::test
