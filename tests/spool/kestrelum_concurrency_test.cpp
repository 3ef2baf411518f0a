// kestrelum as the spooler loads it: model A's printer on a file port, its
// printer data naming kestrelum.dll, a renderer stream printed with
// StartDocPrinterW ... EndDocPrinter. The port receives the finished job;
// aborts and port failures end the job with nothing of it left behind.
#include <thread>

#include "kplatform/monitor_host.h"
#include "loopback_printer.h"
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
    WCHAR name[] = u"SPLUserModePrinterDriver";
    const std::u16string value = u"kestrelum.dll";
    ASSERT_EQ(SetPrinterDataW(queue_.printer, name, REG_SZ,
                              reinterpret_cast<LPBYTE>(const_cast<char16_t*>(value.c_str())),
                              static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
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
  EXPECT_EQ(out.rfind(") HP-PCL XL;2;1;ZANVPL2-", 0), 0u);
  const auto report =
      pclxl_check::check(reinterpret_cast<const uint8_t*>(out.data()), out.size(), pclxl_check::Mode::UnframedJob);
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
