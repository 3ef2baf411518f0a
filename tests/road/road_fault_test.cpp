// Faults on the road, each met by a whole job: an allocation refused at
// every allocation of a one-page job in turn (kernel-mode heap and
// user-mode memory), a port write failing at the k-th write, an abort from
// the application mid-page and a cancel from the spooler mid-job, a
// truncated and a corrupted stream handed to kestrelum, a full disk under
// the page store, and a printer that closes its TCP connection mid-job.
// Each job must end without a crash or a hang, its failure reported to the
// caller, no temporary file or record left and the queue's stored settings
// unchanged; a job that succeeds despite a fault must be whole.
#include <kplatform/engine_runner.h>
#include <kplatform/kernel32_file.h>
#include <kplatform/kernel32_memory.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>
#include <kplatform/user32_messagebox.h>
#include <kplatform/winspool_job.h>
#include <kplatform/winspool_monitor.h>
#include <kplatform/winspool_printer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "loopback_printer.h"
#include "pclxl_checker.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

bool PassesChecker(const std::string& bytes, std::string* findings = nullptr) {
  const pclxl_check::Report r =
      pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pclxl_check::Mode::Job);
  if (findings) *findings = r.text();
  return r.ok();
}

// The id of the one spooler job that has started and not ended (0: none).
DWORD LiveJob() {
  for (DWORD id = 1; id < 256; ++id) {
    KP_SPOOLER_JOB_STATE s{};
    if (KpSpoolerGetJobState(id, &s) && !s.ended) return id;
  }
  return 0;
}

// A document whose page `at` (from 0) draws the one-page document's page
// and then runs `fault` (which answers what the page answers).
RoadDocument WithFault(int pages, int at, std::function<bool(HDC)> fault) {
  const RoadDocument one = OnePageDocument();
  RoadDocument doc;
  doc.name = one.name;
  for (int p = 0; p < pages; ++p) {
    auto draw = one.pages[0].draw;
    if (p == at) doc.pages.push_back({"the faulted page", [draw, fault](HDC hdc) { return draw(hdc) && fault(hdc); }});
    else doc.pages.push_back({"a page", draw});
  }
  return doc;
}

using RoadFaults = RoadTest;

// The spooler's output write k fails as a port that stops taking bytes: the
// job reports the port's error, and what reached the port is what went out
// before it.
TEST_F(RoadFaults, APortWriteFailingAtTheKthWriteFailsTheJob) {
  Watchdog dog(120s);
  const RoadQueue queue = Queue(RoadModel::A);
  const RoadDocument doc = road::RoadSampleDocument();
  const std::u16string printer = road::RoadPrinterName(queue);
  const RoadJob clean = road::RoadPrint(queue, doc);
  ASSERT_TRUE(clean.result.ok()) << clean.result.message;
  KP_PORT_STATS stats{};
  ASSERT_TRUE(KpPortGetStats(queue.portName.c_str(), &stats));
  const DWORD writes = stats.writeCalls;
  ASSERT_GT(writes, 2u);
  const Kept before = Keep(queue);
  struct Case {
    const char* what;
    DWORD k;
    bool portMonitor;  // the port monitor's WritePort fails (else the spooler's output write)
  };
  for (const Case& c : {Case{"the first output write", 1, false}, Case{"the second output write", 2, false},
                        Case{"the middle output write", writes / 2, false},
                        Case{"the last output write", writes, false}, Case{"the port monitor's first WritePort", 1, true}}) {
    SCOPED_TRACE(c.what);
    if (c.portMonitor) {
      KP_PORT_FAULTS f{};
      f.failWrites = 1;
      ASSERT_TRUE(KpPortSetFaults(queue.portName.c_str(), &f));
    } else {
      ASSERT_TRUE(KpSpoolerSetWriteFault(printer.c_str(), c.k, 1, 0, ERROR_WRITE_FAULT));
    }
    const RoadJob job = road::RoadPrint(queue, doc);
    KpSpoolerSetWriteFault(printer.c_str(), 0, 0, 0, 0);
    KP_PORT_FAULTS none{};
    KpPortSetFaults(queue.portName.c_str(), &none);
    // The application meets the failure at its next call that writes (a
    // drawing call or EndDoc).
    EXPECT_TRUE(job.result.status == road::RoadStatus::Document || job.result.status == road::RoadStatus::Job)
        << job.result.message;
    EXPECT_EQ(job.spoolerError, static_cast<uint32_t>(ERROR_WRITE_FAULT));
    // ... and meets it as the write's own error, not as a bad argument.
    EXPECT_NE(job.result.message.find("(error " + std::to_string(ERROR_WRITE_FAULT) + ")"), std::string::npos)
        << job.result.message;
    EXPECT_LT(job.bytes.size(), clean.bytes.size()) << "nothing after the failed write went out";
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
    ExpectNothingLeft(before, queue);
  }
}

// The application gives up in the middle of page 2 (its page answers false:
// the road calls AbortDoc), and the spooler cancels or deletes the job while
// the application draws page 3.
TEST_F(RoadFaults, AnAbortFromTheApplicationOrTheSpoolerMidJobEndsIt) {
  Watchdog dog(120s);
  const RoadQueue queue = Queue(RoadModel::A);
  const RoadJob clean = road::RoadPrint(queue, OnePageDocument());
  ASSERT_TRUE(clean.result.ok()) << clean.result.message;
  const Kept before = Keep(queue);
  const std::u16string printer = road::RoadPrinterName(queue);
  auto spooler = [printer](DWORD command) {
    return [printer, command](HDC) {
      const DWORD id = LiveJob();
      HANDLE h = nullptr;
      std::u16string name = printer;
      if (id == 0 || !OpenPrinterW(name.data(), &h, nullptr)) return false;
      // From another thread, as the spooler's user would.
      BOOL done = FALSE;
      std::thread([&] { done = SetJobW(h, id, 0, nullptr, command); }).join();
      ClosePrinter(h);
      return done != FALSE;
    };
  };
  struct Case {
    const char* what;
    int at;
    std::function<bool(HDC)> fault;
    road::RoadStatus status;
  };
  const Case cases[] = {
      {"AbortDoc mid-page", 1, [](HDC) { return false; }, road::RoadStatus::Document},
      {"SetJobW cancel mid-job", 2, spooler(JOB_CONTROL_CANCEL), road::RoadStatus::Document},
      {"SetJobW delete mid-job", 2, spooler(JOB_CONTROL_DELETE), road::RoadStatus::Document},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RoadJob job = road::RoadPrint(queue, WithFault(5, c.at, c.fault));
    EXPECT_EQ(job.result.status, c.status) << job.result.message;
    EXPECT_FALSE(job.result.message.empty());
    EXPECT_FALSE(PassesChecker(job.bytes)) << "an ended job is not a whole job";
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
    ExpectNothingLeft(before, queue);
  }
}

// The renderer's stream of the sample, as the spooler hands it to the
// user-mode driver: printed on a queue whose printer data names none, its
// port file read back.
std::string RendererStream(const RoadQueue& raw, const std::string& portFile) {
  HANDLE h = nullptr;
  std::u16string name = road::RoadPrinterName(raw);
  if (!OpenPrinterW(name.data(), &h, nullptr)) return "";
  WCHAR value[] = u"SPLUserModePrinterDriver";
  DeletePrinterDataW(h, value);
  ClosePrinter(h);
  road::RoadPrint(raw, road::RoadSampleDocument());
  return ReadHostFile(portFile);
}

// A stream handed to kestrelum as the spooler hands it: StartDocPrinterW,
// WritePrinter in 4 KB pieces, EndDocPrinter. Answers whether every call
// succeeded.
bool HandToKestrelum(const RoadQueue& queue, const std::string& stream, DWORD* jobId) {
  HANDLE h = nullptr;
  std::u16string name = road::RoadPrinterName(queue);
  if (!OpenPrinterW(name.data(), &h, nullptr)) return false;
  std::u16string doc = u"handed", raw = u"RAW";
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  *jobId = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info));
  bool ok = *jobId != 0;
  for (size_t at = 0; ok && at < stream.size(); at += 4096) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(4096, stream.size() - at));
    DWORD written = 0;
    ok = WritePrinter(h, const_cast<char*>(stream.data() + at), n, &written) && written == n;
  }
  if (*jobId != 0) ok = (EndDocPrinter(h) != FALSE) && ok;
  ClosePrinter(h);
  return ok;
}

TEST_F(RoadFaults, ATruncatedOrCorruptedStreamHandedToKestrelumFailsTheJob) {
  Watchdog dog(120s);
  const RoadQueue raw = Queue(RoadModel::A, u"raw renderer");
  // The road names a file port's file after its printer.
  const std::string stream = RendererStream(raw, root_.host("c/kprint/raw_renderer.prn"));
  ASSERT_GT(stream.size(), 4096u);
  const RoadQueue queue = Queue(RoadModel::A);
  DWORD id = 0;
  ASSERT_TRUE(HandToKestrelum(queue, stream, &id)) << GetLastError();
  KP_SPOOLER_JOB_STATE whole{};
  ASSERT_TRUE(KpSpoolerGetJobState(id, &whole));
  ASSERT_EQ(whole.error, 0u);
  const Kept before = Keep(queue);
  struct Case {
    const char* what;
    std::string bytes;
    bool whole;  // the stream still holds the whole job: it may print
  };
  std::string overwritten = stream;
  for (size_t i = stream.size() / 2; i < stream.size() / 2 + 64; ++i) overwritten[i] = static_cast<char>(0xFF);
  std::string flipped = stream;
  for (size_t i = 16; i < flipped.size(); i += 97) flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
  const Case cases[] = {
      {"cut in the middle", stream.substr(0, stream.size() / 2), false},
      {"cut after its first 4 KB", stream.substr(0, 4096), false},
      {"cut before its last byte", stream.substr(0, stream.size() - 1), true},
      {"64 bytes overwritten in the middle", overwritten, true},
      {"every 97th byte flipped", flipped, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DWORD job = 0;
    const bool ok = HandToKestrelum(queue, c.bytes, &job);
    KP_SPOOLER_JOB_STATE s{};
    ASSERT_TRUE(KpSpoolerGetJobState(job, &s));
    EXPECT_TRUE(s.ended);
    const bool failed = !ok || s.error != 0;
    std::vector<char> out(KpSpoolerJobOutput(job, nullptr, 0));
    KpSpoolerJobOutput(job, out.data(), out.size());
    const bool printed = PassesChecker(std::string(out.begin(), out.end()));
    // A job either fails, and its caller hears of it, or prints whole.
    EXPECT_NE(failed, printed) << "failed " << failed << ", printed whole " << printed;
    if (!c.whole) {
      EXPECT_TRUE(failed) << "a stream that ends inside the job fails it";
    }
    ExpectNothingLeft(before, queue);
  }
}

// A full disk under the page store (a 2 x 2 poster stores its pages): the
// write-error box asks; Cancel ends the job, OK tries again and the job
// goes on whole once the disk has room. The port is a TCP printer's, so
// that only the page store writes files.
TEST_F(RoadFaults, AFullDiskUnderThePageStoreAsksAndCancelsOrRetries) {
  Watchdog dog(120s);
  LoopbackPrinter printer;
  const RoadQueue queue = Queue(RoadModel::A, u"", printer.port());
  ASSERT_TRUE(road::RoadApplySettings(queue, {{"poster", "2x2"}}).ok());
  const RoadDocument doc = OnePageDocument();
  const RoadJob clean = road::RoadPrint(queue, doc);
  ASSERT_TRUE(clean.result.ok()) << clean.result.message;
  const Kept before = Keep(queue);

  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDCANCEL);
  KpSetWriteFault(1, 0xFFFFFFFFu, 0, ERROR_DISK_FULL);
  const RoadJob cancelled = road::RoadPrint(queue, doc);
  KpSetWriteFault(0, 0, 0, 0);
  EXPECT_FALSE(cancelled.result.ok());
  EXPECT_FALSE(cancelled.result.message.empty());
  ASSERT_EQ(KpMessageBoxCount(), 1u) << "one box, answered Cancel";
  EXPECT_EQ(KpQueuedMessageBoxAnswers(), 0u);
  ExpectNothingLeft(before, queue);

  // The disk is full for one write once the page is drawn (kestrelui
  // writes a file of its own when it loads).
  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDOK);
  const RoadJob retried = road::RoadPrint(queue, WithFault(1, 0, [](HDC) {
                                            KpSetWriteFault(1, 1, 0, ERROR_DISK_FULL);
                                            return true;
                                          }));
  KpSetWriteFault(0, 0, 0, 0);
  ASSERT_TRUE(retried.result.ok()) << retried.result.message;
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(retried.check, "");
  EXPECT_EQ(JobShapeDiff(retried.bytes, clean.bytes), "");
  ExpectNothingLeft(before, queue);
}

// The printer closes its connection after 4 KB of the job: the monitor's
// write fails, the job reports it and the port is free for the next job.
TEST_F(RoadFaults, APrinterClosingTheConnectionMidJobFailsTheJob) {
  Watchdog dog(120s);
  LoopbackPrinter printer;
  const RoadQueue queue = Queue(RoadModel::A, u"", printer.port());
  const RoadDocument doc = road::RoadSampleDocument();
  const RoadJob clean = road::RoadPrint(queue, doc);
  ASSERT_TRUE(clean.result.ok()) << clean.result.message;
  const Kept before = Keep(queue);
  printer.closeJobsAfter(4096);
  const RoadJob dropped = road::RoadPrint(queue, doc);
  EXPECT_TRUE(dropped.result.status == road::RoadStatus::Document || dropped.result.status == road::RoadStatus::Job)
      << dropped.result.message;
  EXPECT_NE(dropped.spoolerError, 0u);
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  ExpectNothingLeft(before, queue);
  printer.closeJobsAfter(0);
  const RoadJob next = road::RoadPrint(queue, doc);
  EXPECT_TRUE(next.result.ok()) << next.result.message;
}

}  // namespace
}  // namespace kestrel::test
