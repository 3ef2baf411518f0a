// kestrelum as the spooler loads it: model A's printer on a file port, its
// printer data naming kestrelum.dll, a renderer stream printed with
// StartDocPrinterW ... EndDocPrinter, or rendered by kestrelkm through the
// engine runner's spooler job. The port receives the finished job; aborts
// and port failures end the job with nothing of it left behind.
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <regex>
#include <thread>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/engine.h"
#include "kplatform/monitor_host.h"
#include "jpeg_maker.h"
#include "loopback_printer.h"
#include "pesc_blocks.h"
#include "kplatform/winspool_job.h"
#include "pclxl_checker.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

constexpr char16_t kPort[] = u"FILE1:";

class Kestrelum : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    KpSpoolerReset();
    KpPortReset();
    ASSERT_EQ(InstallModelAQueue(), "");
    ASSERT_TRUE(KpInstallModule("libkestrelum.so", u"kestrelum.dll"));
    // The trace to the debugger: read when the library first loads.
    root_.WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0x80000003\r\n");
    KpClearDebugOutput();
    ASSERT_TRUE(KpPortDefineFile(kPort, u"C:\\port.prn"));
    ASSERT_TRUE(KpSpoolerSetPrinterPort(kModelAPrinter, kPort, nullptr));
    ASSERT_TRUE(SetUserModeDriver(queue_.printer, u"kestrelum.dll"));
    stream_ = RendererStream(queue_);
  }
  void TearDown() override {
    KpSpoolerReset();
    KpPortReset();
    SpoolTest::TearDown();
  }
  DWORD StartDoc() {
    std::u16string doc = u"report", raw = u"RAW";
    DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
    return StartDocPrinterW(queue_.printer, 1, reinterpret_cast<LPBYTE>(&info));
  }
  // Writes the stream in pieces; false at the first write that fails.
  bool WriteStream(size_t piece, size_t upTo = std::string::npos) {
    const size_t end = std::min(upTo, stream_.size());
    for (size_t at = 0; at < end; at += piece) {
      const DWORD n = static_cast<DWORD>(std::min(piece, end - at));
      DWORD written = 0;
      if (!WritePrinter(queue_.printer, const_cast<char*>(stream_.data() + at), n, &written) || written != n)
        return false;
    }
    return true;
  }
  std::string PortFile() const { return ReadHostFile(root_.host("c/port.prn")); }
  std::string stream_;
};

TEST_F(Kestrelum, ARendererStreamReachesTheFilePortAsAJob) {
  Watchdog dog(60s);
  const DWORD id = StartDoc();
  ASSERT_NE(id, 0u) << GetLastError();
  EXPECT_TRUE(StartPagePrinter(queue_.printer));
  EXPECT_TRUE(WriteStream(4096));
  EXPECT_TRUE(EndPagePrinter(queue_.printer));
  EXPECT_TRUE(EndDocPrinter(queue_.printer));
  const std::string out = PortFile();
  EXPECT_EQ(out.rfind("\x1b%-12345X", 0), 0u);  // the EJCL header first
  EXPECT_NE(out.find(") HP-PCL XL;2;1;ZANVPL2-"), std::string::npos);
  const auto report =
      pclxl_check::check(reinterpret_cast<const uint8_t*>(out.data()), out.size(), pclxl_check::Mode::Job);
  EXPECT_TRUE(report.ok()) << report.text();
  size_t pages = 0;
  for (size_t at = out.find("ZANPC=03"); at != std::string::npos; at = out.find("ZANPC=03", at + 1)) ++pages;
  EXPECT_EQ(pages, 2u);
  KP_SPOOLER_JOB_STATE state{};
  ASSERT_TRUE(KpSpoolerGetJobState(id, &state));
  EXPECT_TRUE(state.driverJob);
  EXPECT_TRUE(state.driverClosed);
  EXPECT_EQ(state.error, 0u);
  EXPECT_EQ(state.bytes, out.size());
  // The exports' lines and the job's counts in the trace.
  std::u16string trace(1 << 20, u'\0');
  trace.resize(KpGetDebugOutput(trace.data(), static_cast<DWORD>(trace.size())));
  EXPECT_NE(trace.find(u"DrvSplWritePrinter RetValue = 1"), std::u16string::npos);
  const std::string bytes = "pages 2, bytes " + std::to_string(out.size());
  EXPECT_NE(trace.find(std::u16string(bytes.begin(), bytes.end())), std::u16string::npos);
}

TEST_F(Kestrelum, AbortAndCancelMidJobLeaveNothing) {
  Watchdog dog(60s);
  // A first job loads the library, which stays for the printer.
  ASSERT_NE(StartDoc(), 0u);
  ASSERT_TRUE(WriteStream(4096));
  ASSERT_TRUE(EndDocPrinter(queue_.printer));
  const size_t handles = KpOpenHandleCount();
  const size_t blocks = KpGlobalBlockCount();
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "AbortPrinter" : "SetJobW cancel from another thread");
    const DWORD id = StartDoc();
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WriteStream(512, stream_.size() / 2));
    if (way == 0) {
      EXPECT_TRUE(AbortPrinter(queue_.printer));
    } else {
      std::thread canceller([&] { EXPECT_TRUE(SetJobW(queue_.printer, id, 0, nullptr, JOB_CONTROL_CANCEL)); });
      canceller.join();
      DWORD written = 0;
      EXPECT_FALSE(WritePrinter(queue_.printer, const_cast<char*>(stream_.data()), 16, &written));
      AbortPrinter(queue_.printer);
    }
    KP_SPOOLER_JOB_STATE state{};
    ASSERT_TRUE(KpSpoolerGetJobState(id, &state));
    EXPECT_TRUE(state.ended);
    EXPECT_TRUE(state.driverClosed);
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
    EXPECT_EQ(KpOpenHandleCount(), handles);
    EXPECT_EQ(KpGlobalBlockCount(), blocks);
  }
}

TEST_F(Kestrelum, APortFailureFailsTheJob) {
  Watchdog dog(60s);
  const DWORD id = StartDoc();
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(KpSpoolerSetWriteFault(kModelAPrinter, 1, 1, 100, ERROR_WRITE_FAULT));
  EXPECT_FALSE(WriteStream(4096));
  EXPECT_FALSE(EndDocPrinter(queue_.printer));
  KP_SPOOLER_JOB_STATE state{};
  ASSERT_TRUE(KpSpoolerGetJobState(id, &state));
  EXPECT_TRUE(state.status & JOB_STATUS_ERROR);
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

// The same job to the loopback printer over TCP, with the language monitor
// kmonant on the port: its PJL frame around kestrelum's job makes a whole
// printer job.
class KestrelumOverTcp : public Kestrelum {
 protected:
  void SetUp() override {
    Kestrelum::SetUp();
    KpPortSetReadTimeout(2000);
    ASSERT_TRUE(KpInstallModule("libkmonant.so", nullptr));
    ASSERT_TRUE(KpPortDefineTcp(u"IP_127.0.0.1", "127.0.0.1", printer.port()));
    ASSERT_TRUE(KpSpoolerSetPrinterPort(kModelAPrinter, u"IP_127.0.0.1", u"kmonant.dll"));
  }
  LoopbackPrinter printer;
};

TEST_F(KestrelumOverTcp, TheLanguageMonitorsFrameMakesAPrinterJob) {
  Watchdog dog(60s);
  const DWORD id = StartDoc();
  ASSERT_NE(id, 0u) << GetLastError();
  EXPECT_TRUE(WriteStream(4096));
  ASSERT_TRUE(EndDocPrinter(queue_.printer)) << GetLastError();
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 10000));
  const std::string got = printer.finishedJobs()[0];
  const auto report =
      pclxl_check::check(reinterpret_cast<const uint8_t*>(got.data()), got.size(), pclxl_check::Mode::Job);
  EXPECT_TRUE(report.ok()) << report.text();
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

// kestrelkm rendering through the engine runner into the same queue: with
// the runner's spooler jobs on, each document is a job of model A's printer,
// the renderer's EngWritePrinter calls are WritePrinter on it, so its stream
// goes through kestrelum to the file port.
class KestrelumFromRenderer : public Kestrelum {
 protected:
  static constexpr char16_t kDocName[] = u"two pages";

  void SetUp() override {
    Kestrelum::SetUp();
    ASSERT_TRUE(KpInstallModule("libkestrelkm.so", nullptr));
    const std::u16string driverPath = std::u16string(kDriverDirW) + u"kestrelkm.dll";
    const std::u16string dataPath = std::u16string(kDriverDirW) + u"K350.DDD";
    const KP_ENGINE_PRINTER_INFO info{kModelAPrinter, driverPath.c_str(), dataPath.c_str()};
    engine_ = KpEngineCreatePrinter(&info);
    ASSERT_NE(engine_, nullptr);
    driver_ = KpEngineLoadDriver(u"kestrelkm");
    ASSERT_NE(driver_, nullptr);
    // The CreateDC devmode the document-event handler hands the renderer:
    // model A's defaults, the driver extra of that form and its marker.
    devmode_.assign(NRV_DEVMODE_SIZE_CREATEDC, 0);
    std::vector<BYTE> printerData(NRV_PRINTERDATA_SIZE);
    ASSERT_TRUE(pd_GetPrinterData(queue_.printer, printerData.data(), queue_.ddd));
    ASSERT_TRUE(cdm_SetDefaultDevmode(queue_.ddd, devmode_.data(), printerData.data(), kModelAPrinter));
    const WORD extra = NRV_DEVMODE_EXTRA_CREATEDC, marker = 24;
    std::memcpy(&devmode_[offsetof(DEVMODEW, dmDriverExtra)], &extra, sizeof extra);
    std::memcpy(&devmode_[NRV_DEVMODE_SIZE_FULL], &marker, sizeof marker);
  }
  void TearDown() override {
    if (driver_ != nullptr) KpEngineUnloadDriver(driver_);
    if (engine_ != nullptr) KpEngineDeletePrinter(engine_);
    Kestrelum::TearDown();
  }

  // A document of two pages that draw nothing, rendered by the runner with
  // its spooler jobs on or off. Answers the renderer's stream (what the job
  // took, or the bytes kept without a job) and each EngWritePrinter size.
  std::string Render(bool spoolerJob, std::vector<DWORD>* writeSizes = nullptr) {
    EXPECT_TRUE(KpEngineUseSpoolerJobs(engine_, spoolerJob ? TRUE : FALSE));
    EXPECT_TRUE(KpEngineClearOutput(engine_));
    EXPECT_TRUE(KpEngineRunJob(driver_, engine_, devmode_.data(), kDocName, 2, nullptr, nullptr)) << GetLastError();
    std::string stream(KpEngineGetOutput(engine_, nullptr, 0), '\0');
    KpEngineGetOutput(engine_, stream.data(), stream.size());
    if (writeSizes != nullptr) {
      writeSizes->clear();
      for (DWORD i = 0; i < KpEngineWriteCount(engine_); ++i) writeSizes->push_back(KpEngineWriteSize(engine_, i));
    }
    return stream;
  }

  // The stream printed by an application: StartDocPrinterW, WritePrinter in
  // the given pieces, EndDocPrinter. Answers the job id.
  DWORD Print(const std::string& stream, const std::vector<DWORD>& pieces) {
    std::u16string doc = kDocName, raw = u"RAW";
    DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
    const DWORD id = StartDocPrinterW(queue_.printer, 1, reinterpret_cast<LPBYTE>(&info));
    EXPECT_NE(id, 0u) << GetLastError();
    size_t at = 0;
    for (DWORD piece : pieces) {
      DWORD written = 0;
      EXPECT_TRUE(WritePrinter(queue_.printer, const_cast<char*>(stream.data() + at), piece, &written))
          << GetLastError();
      EXPECT_EQ(written, piece);
      at += piece;
    }
    EXPECT_EQ(at, stream.size());
    EXPECT_TRUE(EndDocPrinter(queue_.printer)) << GetLastError();
    return id;
  }

  static std::string JobOutput(DWORD id) {
    std::string out(KpSpoolerJobOutput(id, nullptr, 0), '\0');
    KpSpoolerJobOutput(id, out.data(), out.size());
    return out;
  }

  // The job ended printed, through kestrelum, with every byte at the port.
  static void ExpectPrinted(DWORD id) {
    KP_SPOOLER_JOB_STATE state{};
    ASSERT_TRUE(KpSpoolerGetJobState(id, &state));
    EXPECT_TRUE(state.ended);
    EXPECT_TRUE(state.driverJob);
    EXPECT_TRUE(state.driverClosed);
    EXPECT_EQ(state.error, 0u);
    EXPECT_EQ(state.status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
    EXPECT_EQ(state.bytes, KpSpoolerJobOutput(id, nullptr, 0));
  }

  HANDLE engine_ = nullptr;
  KP_ENGINE_DRIVER* driver_ = nullptr;
  std::vector<BYTE> devmode_;
};

// Threads of the process now (Linux: its tasks).
size_t ThreadCount() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// The thread count once it has come down to `count` (a thread that has
// signalled its end may still be leaving), or what it is after five seconds.
size_t ThreadCountSettled(size_t count) {
  for (int i = 0; i < 500 && ThreadCount() > count; ++i) std::this_thread::sleep_for(10ms);
  return ThreadCount();
}

// What differs from one run of a job to the next: kestrelum's time stamps
// (in-band 145), PCL XL comments whose text carries the local time of the
// job's start to the second and each stamp's milliseconds since then. Each
// stamp comment (ubyte array with a one-byte length, CommentData, Comment)
// is rewritten with "[date]" and "[ms]" in place of those numbers, its
// length byte with it; every other byte stays. Counts the stamps masked.
// The job header's DATE and TIME comment lines are masked as well.
std::string MaskTimeStamps(const std::string& job, int* masked) {
  static const std::regex date(R"(^"\[\d{4},\d\d/\d\d,\d\d:\d\d:\d\d\])");
  static const std::regex ms(R"(\[\d+ms\])");
  static const std::regex stamp(R"(^("\[\d{4},\d\d/\d\d,\d\d:\d\d:\d\d\]|"?\[\d+ms\]))");
  std::string out;
  *masked = 0;
  size_t at = 0;
  for (;;) {
    const size_t tag = job.find("\xC8\xC0", at);
    const bool whole = tag != std::string::npos && tag + 3 <= job.size() &&
                       tag + 3 + static_cast<BYTE>(job[tag + 2]) + 3 <= job.size();
    if (!whole) break;
    const size_t n = static_cast<BYTE>(job[tag + 2]);
    const std::string text = job.substr(tag + 3, n);
    if (job.compare(tag + 3 + n, 3, "\xF8\x81\x47") != 0 || !std::regex_search(text, stamp)) {
      out.append(job, at, tag + 2 - at);
      at = tag + 2;
      continue;
    }
    std::string plain = std::regex_replace(std::regex_replace(text, date, "\"[date]"), ms, "[ms]");
    out.append(job, at, tag - at);
    out += "\xC8\xC0";
    out += static_cast<char>(plain.size());
    out += plain;
    out += "\xF8\x81\x47";
    at = tag + 3 + n + 3;
    ++*masked;
  }
  out.append(job, at, std::string::npos);
  // The job header's clock lines, written to the second.
  static const std::regex headerClock(R"(@PJL COMMENT (DATE|TIME)=[0-9/:]+)");
  return std::regex_replace(out, headerClock, "@PJL COMMENT $1=[clock]");
}

// The job of a two-page document is the same whether the renderer's writes
// reach kestrelum through the runner's spooler job or its captured stream is
// printed by an application with WritePrinter, in the renderer's own write
// sizes, in 4096-byte pieces or in one write: byte for byte but for the
// time stamps, and it passes the checker as a job: the in-band commands
// carried out and gone, two pages, the session closed.
TEST_F(KestrelumFromRenderer, ARenderedDocumentIsTheJobOfItsStreamWrittenWithWritePrinter) {
  Watchdog dog(60s);
  std::vector<DWORD> runnerSizes;
  const std::string taken = Render(true, &runnerSizes);
  const DWORD rendered = 1;  // the first job since the spooler's reset
  ExpectPrinted(rendered);
  const std::string viaRunner = JobOutput(rendered);
  EXPECT_EQ(PortFile(), viaRunner);
  EXPECT_GT(runnerSizes.size(), 1u);

  int stamps = 0;
  const std::string expected = MaskTimeStamps(viaRunner, &stamps);
  // Job start and version, then each page's start, logical and physical
  // end, then the job's end.
  EXPECT_EQ(stamps, 2 + 2 * 3 + 1);

  pclxl_check::Listing listing;
  const auto report = pclxl_check::check(reinterpret_cast<const uint8_t*>(viaRunner.data()), viaRunner.size(),
                                         pclxl_check::Mode::Job, &listing);
  EXPECT_TRUE(report.ok()) << report.text();  // no 0xFF operator, every block and the session closed
  EXPECT_EQ(listing.stopped, "");
  std::string pages;
  for (const pclxl_check::ListedItem& item : listing.items) {
    EXPECT_FALSE(item.inband) << item.text();
    if (item.name == "BeginPage" || item.name == "EndPage") pages += item.name + " ";
  }
  EXPECT_EQ(pages, "BeginPage EndPage BeginPage EndPage ");
  ASSERT_FALSE(listing.items.empty());
  EXPECT_EQ(listing.items.back().name, "EndSession");
  // The job-information comment tells what the renderer's page steps said of
  // each page: two printed pages of the job's version, from the automatic
  // tray (DMBIN_AUTO, said as tray 0), none of them empty.
  const std::string info = "@PJL COMMENT ZANJOBINFO ";
  EXPECT_NE(viaRunner.find(info + "PDLTYPE=PDL[PCLXL]:VERSION[2."), std::string::npos);
  EXPECT_NE(viaRunner.find(info + "PHYSICALPAGES=2\n"), std::string::npos);
  size_t pageInfos = 0;
  for (size_t at = viaRunner.find(info + "PAGEINFO=SIZE["); at != std::string::npos;
       at = viaRunner.find(info + "PAGEINFO=SIZE[", at + 1)) {
    const std::string line = viaRunner.substr(at, viaRunner.find('\n', at) - at);
    EXPECT_EQ(line.find("MODE[EMPTY]"), std::string::npos) << line;
    EXPECT_NE(line.find(":INTRAY[0]:"), std::string::npos) << line;
    ++pageInfos;
  }
  EXPECT_EQ(pageInfos, 2u);

  // The same renderer stream without the spooler: the runner keeps it.
  std::vector<DWORD> capturedSizes;
  const std::string stream = Render(false, &capturedSizes);
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(stream, taken);  // the job took the renderer's stream unchanged
  EXPECT_EQ(capturedSizes, runnerSizes);
  // What kestrelum had to carry out: in-band commands, two pages to start.
  EXPECT_EQ(pclxl_check::list(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()).commands(138).size(), 2u);

  const struct {
    const char* name;
    std::vector<DWORD> pieces;
  } ways[] = {
      {"the renderer's write sizes", capturedSizes},
      {"4096-byte pieces", [&] {
         std::vector<DWORD> p;
         for (size_t at = 0; at < stream.size(); at += 4096)
           p.push_back(static_cast<DWORD>(std::min<size_t>(4096, stream.size() - at)));
         return p;
       }()},
      {"one write", {static_cast<DWORD>(stream.size())}},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    const std::string before = PortFile();  // the file port appends each job
    const DWORD id = Print(stream, way.pieces);
    ExpectPrinted(id);
    const std::string printed = JobOutput(id);
    EXPECT_EQ(PortFile(), before + printed);
    int printedStamps = 0;
    EXPECT_EQ(MaskTimeStamps(printed, &printedStamps), expected);
    EXPECT_EQ(printedStamps, stamps);
  }
}

// A document the application aborts (ED_ABORTDOC) before it is done: the
// runner aborts its spooler job, which ends deleted with kestrelum's parser
// thread gone and closed, no job, handle or block left; the next document
// prints as before.
TEST_F(KestrelumFromRenderer, AnAbortedDocumentEndsItsJobAndLeavesNothing) {
  Watchdog dog(60s);
  // A first document loads kestrelum, which stays for the printer.
  ASSERT_FALSE(Render(true).empty());
  ExpectPrinted(1);
  int stamps = 0;
  const std::string first = MaskTimeStamps(JobOutput(1), &stamps);
  const size_t handles = KpOpenHandleCount();
  const size_t blocks = KpGlobalBlockCount();
  size_t threads = ThreadCount();
  for (size_t before = threads + 1; threads < before;) {  // until no thread of the first job is leaving
    std::this_thread::sleep_for(50ms);
    before = threads;
    threads = ThreadCount();
  }
  ASSERT_TRUE(KpEngineUseSpoolerJobs(engine_, TRUE));
  DWORD id = 1;
  // Aborted before any page, after a page, inside the second page.
  for (int pagesStarted : {0, 1, 2}) {
    SCOPED_TRACE(pagesStarted);
    ++id;
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(driver_, engine_, devmode_.data());
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(KpEngineEnableSurface(s));
    ASSERT_TRUE(KpEngineClearOutput(engine_));
    ASSERT_TRUE(KpEngineStartDoc(s, kDocName, 0));
    for (int page = 0; page < pagesStarted; ++page) {
      ASSERT_TRUE(KpEngineStartPage(s));
      if (page < 1) {
        ASSERT_TRUE(KpEngineSendPage(s));
      }
    }
    // After a whole page the renderer has handed the job its stream so far.
    if (pagesStarted > 0) {
      EXPECT_GT(KpEngineWriteCount(engine_), 0u);
    }
    EXPECT_EQ(KpSpoolerLiveJobCount(), 1u);
    EXPECT_TRUE(KpEngineEndDoc(s, ED_ABORTDOC)) << GetLastError();
    KP_SPOOLER_JOB_STATE state{};
    ASSERT_TRUE(KpSpoolerGetJobState(id, &state));
    EXPECT_TRUE(state.ended);
    EXPECT_TRUE(state.driverJob);
    EXPECT_TRUE(state.driverClosed);
    EXPECT_EQ(state.status, JOB_STATUS_DELETED);
    EXPECT_TRUE(KpEngineDisablePDEV(s));
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
    EXPECT_EQ(KpOpenHandleCount(), handles);
    EXPECT_EQ(KpGlobalBlockCount(), blocks);
    EXPECT_EQ(ThreadCountSettled(threads), threads);
  }
  ASSERT_FALSE(Render(true).empty());
  ExpectPrinted(id + 1);
  int again = 0;
  EXPECT_EQ(MaskTimeStamps(JobOutput(id + 1), &again), first);
}

// An application's JPEG handed to the printer through the renderer's private
// gate (4209 on, 4210 in two pieces upright and whole at rotation 270)
// reaches the port byte for byte: the spooler side passes a ReadImage of
// CompressMode 2 on without re-encoding it, and the rotation mark the
// turned one carries never reaches the printer (the checker's job mode
// refuses attribute 253).
TEST_F(KestrelumFromRenderer, AJpegThroughThePrivateGateReachesThePortUnchanged) {
  Watchdog dog(60s);
  km::JpegSpec picture;
  picture.width = 48;
  picture.height = 40;
  const std::vector<uint8_t> jpeg = km::MakeJpeg(picture);
  ASSERT_GT(jpeg.size(), 2u);
  ASSERT_TRUE(KpEngineUseSpoolerJobs(engine_, TRUE));
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(driver_, engine_, devmode_.data());
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  ASSERT_TRUE(KpEngineStartDoc(s, kDocName, 0));
  ASSERT_TRUE(KpEngineStartPage(s));
  auto escape = [&](ULONG code, std::vector<BYTE> in) {
    return static_cast<LONG>(KpEngineEscape(s, code, static_cast<ULONG>(in.size()), in.data(), 0, nullptr));
  };
  ASSERT_EQ(escape(KM_ESC_PRIVATE_GATE, km::GateRecord(PESC_GATE_ON)), PESC_OK);
  km::Direct d;
  d.srcWidth = static_cast<WORD>(picture.width);
  d.srcHeight = static_cast<WORD>(picture.height);
  d.bmiWidth = picture.width;
  d.bmiHeight = picture.height;
  d.jpegTotal = static_cast<DWORD>(jpeg.size());
  const size_t half = jpeg.size() / 2;
  d.piece.assign(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(half));
  const LONG id = escape(KM_ESC_DIRECT_IMAGE, d.Block());
  ASSERT_GT(id, 0);
  d.id = static_cast<WORD>(id);
  d.pieceOffset = static_cast<DWORD>(half);
  d.piece.assign(jpeg.begin() + static_cast<ptrdiff_t>(half), jpeg.end());
  ASSERT_EQ(escape(KM_ESC_DIRECT_IMAGE, d.Block()), id);
  km::Direct turned = d;
  turned.id = 0;
  turned.rotation = 270;
  turned.pieceOffset = 0;
  turned.piece.assign(jpeg.begin(), jpeg.end());
  ASSERT_GT(escape(KM_ESC_DIRECT_IMAGE, turned.Block()), 0);
  ASSERT_TRUE(KpEngineSendPage(s));
  ASSERT_TRUE(KpEngineEndDoc(s, 0)) << GetLastError();
  ASSERT_TRUE(KpEngineDisablePDEV(s));
  ExpectPrinted(1);
  const std::string port = JobOutput(1);
  size_t found = 0;
  const std::string needle(jpeg.begin(), jpeg.end());
  for (size_t at = port.find(needle); at != std::string::npos; at = port.find(needle, at + needle.size())) ++found;
  EXPECT_EQ(found, 2u) << "the JPEG's bytes, unchanged, once for each image";
  const auto report =
      pclxl_check::check(reinterpret_cast<const uint8_t*>(port.data()), port.size(), pclxl_check::Mode::Job);
  EXPECT_TRUE(report.ok()) << report.text();
}

}  // namespace
}  // namespace kestrel::test
