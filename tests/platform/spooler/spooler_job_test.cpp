// The spooler's jobs on one thread: the job table, the document calls and
// their errors, the bytes a file port and a TCP port receive (with and
// without a language monitor), faults of the port and of the test controls,
// and the printer data value naming a user-mode driver that does not load.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loopback_printer.h"
#include "spooler_fixture.h"

namespace kestrel::test {
namespace {

TEST_F(SpoolerTest, DocumentReachesTheFilePortWithItsPagesAndWrites) {
  DWORD job = StartDoc(printer_, u"Report");
  ASSERT_NE(job, 0u) << GetLastError();
  EXPECT_EQ(JobStatus(printer_, job), JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING);
  for (int page = 0; page < 2; ++page) {
    ASSERT_TRUE(StartPagePrinter(printer_));
    ASSERT_TRUE(Write(printer_, "page" + std::to_string(page) + ":"));
    ASSERT_TRUE(Write(printer_, std::string(5000, static_cast<char>('a' + page))));
    ASSERT_TRUE(EndPagePrinter(printer_));
  }
  DWORD written = 7;
  ASSERT_TRUE(WritePrinter(printer_, nullptr, 0, &written));  // an empty write is a write
  EXPECT_EQ(written, 0u);
  // as written: the bytes are at the port before the document ends
  const std::string expected = "page0:" + std::string(5000, 'a') + "page1:" + std::string(5000, 'b');
  EXPECT_EQ(PortFile(), expected);
  ASSERT_TRUE(EndDocPrinter(printer_)) << GetLastError();

  EXPECT_EQ(PortFile(), expected);
  EXPECT_EQ(JobBytes(job), expected);
  KP_SPOOLER_JOB_STATE state = JobState(job);
  EXPECT_EQ(state.pagesStarted, 2u);
  EXPECT_EQ(state.pagesEnded, 2u);
  EXPECT_EQ(state.writeCalls, 5u);
  EXPECT_EQ(state.bytes, expected.size());
  EXPECT_TRUE(state.ended);
  EXPECT_FALSE(state.driverJob);
  const DWORD sizes[] = {6, 5000, 6, 5000, 0};
  for (DWORD i = 0; i < 5; ++i) EXPECT_EQ(KpSpoolerJobWriteSize(job, i), sizes[i]) << i;
  EXPECT_EQ(KpSpoolerJobWriteSize(job, 5), 0u);

  // GetJobW: the table row of the job
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(printer_, job, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetJobW(printer_, job, 1, buffer.data(), needed, &needed));
  JOB_INFO_1W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  EXPECT_EQ(info.JobId, job);
  EXPECT_EQ(std::u16string(info.pDocument), u"Report");
  EXPECT_EQ(std::u16string(info.pPrinterName), kPrinter);
  EXPECT_EQ(std::u16string(info.pDatatype), u"RAW");
  EXPECT_EQ(info.Status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  EXPECT_EQ(info.TotalPages, 2u);
  EXPECT_EQ(info.PagesPrinted, 2u);

  // the port is closed again and a second job appends to the file
  KP_PORT_STATS stats{};
  ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
  EXPECT_EQ(stats.openHandles, 0u);
  EXPECT_EQ(stats.docsOpen, 0u);
  DWORD second = StartDoc(printer_);
  ASSERT_NE(second, 0u);
  EXPECT_NE(second, job);
  ASSERT_TRUE(Write(printer_, "second"));
  ASSERT_TRUE(EndDocPrinter(printer_));
  EXPECT_EQ(PortFile(), expected + "second");
  EXPECT_EQ(JobBytes(second), "second");
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_);
}

TEST_F(SpoolerTest, DocumentCallsRefuseWhatWindowsRefuses) {
  DWORD written = 0, read = 0;
  char byte = 'x';
  // no document
  EXPECT_FALSE(WritePrinter(printer_, &byte, 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(StartPagePrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(EndPagePrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(EndDocPrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(AbortPrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_FALSE(ReadPrinter(printer_, &byte, 1, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));

  // not a handle
  HANDLE bogus = reinterpret_cast<HANDLE>(0x1234);
  EXPECT_EQ(StartDoc(bogus), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WritePrinter(bogus, &byte, 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(EndDocPrinter(bogus));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // StartDocPrinterW's arguments
  std::u16string doc = u"d", emf = u"NT EMF 1.008", file = u"C:\\out.prn";
  struct Case {
    const char* what;
    DWORD level;
    DOC_INFO_1W info;
    bool nullInfo;
    DWORD error;
  } cases[] = {
      {"level 2", 2, {doc.data(), nullptr, nullptr}, false, ERROR_INVALID_LEVEL},
      {"no record", 1, {}, true, ERROR_INVALID_PARAMETER},
      {"EMF data type", 1, {doc.data(), nullptr, emf.data()}, false, ERROR_INVALID_DATATYPE},
      {"output file", 1, {doc.data(), file.data(), nullptr}, false, ERROR_NOT_SUPPORTED},
  };
  for (Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(StartDocPrinterW(printer_, c.level, c.nullInfo ? nullptr : reinterpret_cast<LPBYTE>(&c.info)), 0u)
        << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  DOC_INFO_1W plain{doc.data(), nullptr, nullptr};  // no data type: RAW
  DWORD job = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&plain));
  ASSERT_NE(job, 0u);
  EXPECT_EQ(StartDoc(printer_), 0u);  // one document per handle
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_STATE));
  EXPECT_FALSE(WritePrinter(printer_, &byte, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(WritePrinter(printer_, nullptr, 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(ReadPrinter(printer_, &byte, 1, &read));  // a file port has no replies
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(EndDocPrinter(printer_));
  EXPECT_EQ(PortFile(), "");
}

TEST_F(SpoolerTest, PrinterWithoutAPortOrWithABrokenOneStartsNoJob) {
  struct Case {
    const char* what;
    const char16_t* port;  // null: the printer gets another one without a definition
    KP_PORT_FAULTS faults;
    DWORD error;
  } cases[] = {
      {"undefined port", u"NOWHERE:", {}, ERROR_FILE_NOT_FOUND},
      {"port does not open", kFilePort, {TRUE, FALSE, 0, 0, 0, 0}, ERROR_ACCESS_DENIED},
      {"document does not start", kFilePort, {FALSE, TRUE, 0, 0, 0, 0}, ERROR_NOT_READY},
  };
  for (Case& c : cases) {
    ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, c.port, nullptr));
    ASSERT_TRUE(KpPortSetFaults(kFilePort, &c.faults));
    EXPECT_EQ(StartDoc(printer_), 0u) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    KP_PORT_STATS stats{};
    ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
    EXPECT_EQ(stats.openHandles, 0u) << c.what;
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u) << c.what;
  }
  // a printer added without a port
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Portless", u"Job Driver", nullptr, nullptr, nullptr));
  std::u16string name = u"Portless";
  HANDLE portless = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &portless, nullptr));
  EXPECT_EQ(StartDoc(portless), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
  ClosePrinter(portless);
  EXPECT_FALSE(KpSpoolerSetPrinterPort(u"No Such Printer", kFilePort, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(SpoolerTest, GetPrinterLevel2AnswersThePort) {
  auto port = [this] {
    DWORD needed = 0;
    GetPrinterW(printer_, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer_, 2, buffer.data(), needed, &needed)) return std::u16string(u"(failed)");
    PRINTER_INFO_2W info;
    std::memcpy(&info, buffer.data(), sizeof info);
    return std::u16string(info.pPortName);
  };
  EXPECT_EQ(port(), kFilePort);
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_10.0.0.9", u"kmonant.dll"));
  EXPECT_EQ(port(), u"IP_10.0.0.9");
}

// The port takes part of a write, nothing for a while, or fails: the job
// writes the rest from where the port stopped; a failure shows in the job.
TEST_F(SpoolerTest, PortWritesAreResumedAndPortFailuresShowInTheJob) {
  const std::string body(10000, 'z');
  KP_PORT_FAULTS slow{FALSE, FALSE, 777, 5, 0, 0};  // 777 bytes a call, the first 5 calls none
  ASSERT_TRUE(KpPortSetFaults(kFilePort, &slow));
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(Write(printer_, body));
  ASSERT_TRUE(EndDocPrinter(printer_));
  EXPECT_EQ(PortFile(), body);
  EXPECT_EQ(KpSpoolerJobWriteSize(job, 0), 10000u);
  EXPECT_EQ(JobState(job).writeCalls, 1u);

  // a port that stops taking anything: the write gives up
  KP_PORT_FAULTS stuck{FALSE, FALSE, 0, 100000, 0, 0};
  ASSERT_TRUE(KpPortSetFaults(kFilePort, &stuck));
  job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  DWORD written = 0;
  EXPECT_FALSE(WritePrinter(printer_, const_cast<char*>("abc"), 3, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(EndDocPrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));

  // a failing port: the error stays with the job, nothing more goes out
  KP_PORT_FAULTS failing{FALSE, FALSE, 0, 0, 1, 0};
  ASSERT_TRUE(KpPortSetFaults(kFilePort, &failing));
  job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  EXPECT_FALSE(Write(printer_, "lost"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_EQ(JobStatus(printer_, job) & JOB_STATUS_ERROR, JOB_STATUS_ERROR);
  EXPECT_FALSE(Write(printer_, "after"));  // the port would take it now; the job does not send it
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_FALSE(EndDocPrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  KP_SPOOLER_JOB_STATE state = JobState(job);
  EXPECT_EQ(state.status, JOB_STATUS_ERROR);
  EXPECT_EQ(state.error, static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(state.ended);
  EXPECT_EQ(PortFile(), body);
}

// The test controls: the k-th output write short (it succeeds with fewer
// bytes) or failing (a port failure after the bytes it kept).
TEST_F(SpoolerTest, KthWriteShortOrFailing) {
  struct Case {
    const char* what;
    DWORD error;
    bool thirdOk;
    std::string port;  // what the port holds at the end
    BOOL endOk;
  } cases[] = {
      {"short", 0, true, "11112233334444", TRUE},
      {"failing", ERROR_NOT_READY, false, "111122", FALSE},  // nothing after the failure
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(KpSpoolerSetWriteFault(kPrinter, 2, 1, 2, c.error));
    DWORD job = StartDoc(printer_);
    ASSERT_NE(job, 0u);
    DWORD written = 0;
    ASSERT_TRUE(Write(printer_, "1111"));
    EXPECT_EQ(WritePrinter(printer_, const_cast<char*>("2222"), 4, &written), c.error == 0 ? TRUE : FALSE);
    EXPECT_EQ(written, 2u);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(Write(printer_, "3333"), c.thirdOk);
    if (!c.thirdOk) {
      EXPECT_EQ(GetLastError(), c.error);
    } else {
      ASSERT_TRUE(Write(printer_, "4444"));  // the fault was the second write only
    }
    EXPECT_EQ(EndDocPrinter(printer_), c.endOk);
    EXPECT_EQ(JobBytes(job), c.port);
    EXPECT_EQ(PortFile(), c.port);
    EXPECT_EQ(KpSpoolerJobWriteSize(job, 1), 4u);
    EXPECT_EQ(JobState(job).error, c.error);
    ASSERT_TRUE(KpSpoolerSetWriteFault(kPrinter, 0, 0, 0, 0));
    KpPortReset();
    ASSERT_TRUE(KpPortDefineFile(kFilePort, u"C:\\port.prn"));
    DeleteFileW(u"C:\\port.prn");
  }
  EXPECT_FALSE(KpSpoolerSetWriteFault(u"Nobody", 1, 1, 0, 0));
}

TEST_F(SpoolerTest, AbortedJobSendsNothingMore) {
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(StartPagePrinter(printer_));
  ASSERT_TRUE(Write(printer_, "before"));
  ASSERT_TRUE(AbortPrinter(printer_));
  EXPECT_FALSE(Write(printer_, "after"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));  // the document is gone
  KP_SPOOLER_JOB_STATE state = JobState(job);
  EXPECT_EQ(state.status, JOB_STATUS_DELETED);
  EXPECT_TRUE(state.ended);
  EXPECT_EQ(JobStatus(printer_, job), JOB_STATUS_DELETED);
  EXPECT_EQ(PortFile(), "before");
  KP_PORT_STATS stats{};
  ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
  EXPECT_EQ(stats.openHandles, 0u);

  // SetJobW cancel on the same thread: the application's later calls hear of it
  job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_CANCEL));
  EXPECT_FALSE(Write(printer_, "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  EXPECT_FALSE(StartPagePrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  EXPECT_FALSE(EndDocPrinter(printer_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  EXPECT_EQ(JobState(job).status, JOB_STATUS_DELETED);

  // delete: gone from GetJobW too
  job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_EQ(JobStatus(printer_, job), ~0u);
  EXPECT_FALSE(SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_CANCEL));
  EXPECT_TRUE(AbortPrinter(printer_));  // the document ends all the same

  // a handle closed in the middle of a document aborts it
  std::u16string name = kPrinter;
  HANDLE other = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &other, nullptr));
  job = StartDoc(other);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(ClosePrinter(other));
  EXPECT_TRUE(JobState(job).ended);
  EXPECT_EQ(JobState(job).status, JOB_STATUS_DELETED);
  EXPECT_EQ(PortFile(), "before");
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_);
}

// A job that finds its port owned by another is held and goes out whole
// after both have ended; a held job can be cancelled until it goes out.
TEST_F(SpoolerTest, JobForABusyPortIsHeldUntilThePortIsFree) {
  std::u16string name = kPrinter;
  HANDLE second = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &second, nullptr));
  DWORD owner = StartDoc(printer_);
  ASSERT_NE(owner, 0u);
  ASSERT_TRUE(Write(printer_, "owner-1;"));
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled while held" : "held");
    DWORD held = StartDoc(second);
    ASSERT_NE(held, 0u);
    ASSERT_TRUE(Write(second, cancel ? "never" : "held-1;"));
    ASSERT_TRUE(Write(second, cancel ? "never" : "held-2;"));
    char byte;
    DWORD read = 9;
    EXPECT_TRUE(ReadPrinter(second, &byte, 1, &read));  // not at the port: nothing came back
    EXPECT_EQ(read, 0u);
    ASSERT_TRUE(EndDocPrinter(second));  // answers before it goes out
    EXPECT_EQ(JobStatus(printer_, held), JOB_STATUS_SPOOLING);
    EXPECT_EQ(JobBytes(held), "");
    if (cancel) {
      ASSERT_TRUE(SetJobW(printer_, held, 0, nullptr, JOB_CONTROL_CANCEL));
      EXPECT_EQ(JobStatus(printer_, held), JOB_STATUS_DELETED);
    }
    EXPECT_EQ(KpSpoolerJobWriteSize(held, 1), cancel ? 5u : 7u);
  }
  EXPECT_EQ(PortFile(), "owner-1;");
  ASSERT_TRUE(Write(printer_, "owner-2;"));
  ASSERT_TRUE(EndDocPrinter(printer_));
  // the owner's end sent the held job after it, whole
  EXPECT_EQ(PortFile(), "owner-1;owner-2;held-1;held-2;");
  EXPECT_EQ(JobBytes(owner + 1), "held-1;held-2;");
  EXPECT_EQ(JobStatus(printer_, owner + 1), JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  EXPECT_EQ(JobBytes(owner + 2), "");
  KP_PORT_STATS stats{};
  ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
  EXPECT_EQ(stats.startDocs, 2u);
  EXPECT_EQ(stats.openHandles, 0u);
  // the port is free again: the next job owns it
  DWORD next = StartDoc(second);
  ASSERT_NE(next, 0u);
  ASSERT_TRUE(Write(second, "next"));
  EXPECT_EQ(PortFile(), "owner-1;owner-2;held-1;held-2;next");
  ASSERT_TRUE(EndDocPrinter(second));
  ClosePrinter(second);
}

// Monitor-host rows and spooler jobs share the one table and its ids.
TEST_F(SpoolerTest, OneTableForEveryJob) {
  DWORD row = KpMonitorAddJob(kPrinter, u"row", u"someone");
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  EXPECT_EQ(job, row + 1);
  EXPECT_EQ(JobStatus(printer_, row), 0u);
  KP_SPOOLER_JOB_STATE state{};
  EXPECT_FALSE(KpSpoolerGetJobState(row, &state));  // a row is no spooled job
  ASSERT_TRUE(SetJobW(printer_, row, 0, nullptr, JOB_CONTROL_PAUSE));
  DWORD last = 0;
  BOOL deleted = TRUE;
  ASSERT_TRUE(KpMonitorGetJobState(row, &last, &deleted));
  EXPECT_EQ(last, static_cast<DWORD>(JOB_CONTROL_PAUSE));
  EXPECT_FALSE(deleted);
  ASSERT_TRUE(KpMonitorGetJobState(job, &last, &deleted));
  EXPECT_EQ(last, 0u);
  ASSERT_TRUE(EndDocPrinter(printer_));
  KpMonitorResetJobs();
  EXPECT_EQ(JobStatus(printer_, job), ~0u);
  EXPECT_FALSE(KpSpoolerGetJobState(job, &state));
}

TEST_F(SpoolerTest, RecordingCanBeSwitchedOff) {
  KpSpoolerRecordOutput(FALSE);
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u);
  ASSERT_TRUE(Write(printer_, "counted"));
  ASSERT_TRUE(EndDocPrinter(printer_));
  KpSpoolerRecordOutput(TRUE);
  EXPECT_EQ(KpSpoolerJobOutput(job, nullptr, 0), 0u);
  EXPECT_EQ(JobState(job).bytes, 7u);
  EXPECT_EQ(PortFile(), "counted");
}

// "SPLUserModePrinterDriver" names a library that cannot be the job's
// driver: StartDocPrinterW fails and leaves nothing behind. Without the value
// (or with an empty one) the bytes written are the job.
TEST_F(SpoolerTest, UserModeDriverThatDoesNotLoadFailsTheJob) {
  ASSERT_TRUE(KpInstallModule("libkptestmod.so", u"notadriver.dll"));
  struct Case {
    const char16_t* value;
    DWORD error;
  } cases[] = {
      {u"nosuchdriver.dll", ERROR_MOD_NOT_FOUND},
      {u"notadriver.dll", ERROR_PROC_NOT_FOUND},  // loads, lacks the DrvSpl* exports
      {u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\notadriver.dll", ERROR_BAD_PATHNAME},
      {u"..\\notadriver.dll", ERROR_BAD_PATHNAME},
  };
  size_t modules = KpLoadedModuleCount();
  for (const Case& c : cases) {
    SetDriverValue(c.value);
    EXPECT_EQ(StartDoc(printer_), 0u);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
    EXPECT_EQ(KpLoadedModuleCount(), modules);  // nothing kept
    KP_PORT_STATS stats{};
    ASSERT_TRUE(KpPortGetStats(kFilePort, &stats));
    EXPECT_EQ(stats.opens, 0u);  // refused before the port opened
  }
  // a value that cannot be read: its error, not a raw job
  SetDriverValue(u"nosuchdriver.dll");
  KpSpoolerFailPrinterData(1, 0, 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(StartDoc(printer_), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  // an empty value, then none: the bytes are the job
  for (bool remove : {false, true}) {
    std::u16string name = u"SPLUserModePrinterDriver";
    if (remove) ASSERT_EQ(DeletePrinterDataW(printer_, name.data()), ERROR_SUCCESS);
    else SetDriverValue(u"");
    DWORD job = StartDoc(printer_);
    ASSERT_NE(job, 0u) << GetLastError();
    ASSERT_TRUE(Write(printer_, remove ? "raw2" : "raw1"));
    ASSERT_TRUE(EndDocPrinter(printer_));
    EXPECT_FALSE(JobState(job).driverJob);
  }
  EXPECT_EQ(PortFile(), "raw1raw2");
}

// ---- TCP ports -------------------------------------------------------------------

class SpoolerTcpTest : public SpoolerTest {
 protected:
  void SetUp() override {
    SpoolerTest::SetUp();
    KpPortSetReadTimeout(2000);
    ASSERT_TRUE(KpPortDefineTcp(u"IP_127.0.0.1", "127.0.0.1", printer.port()));
  }
  LoopbackPrinter printer;
};

TEST_F(SpoolerTcpTest, BytesReachTheLoopbackPrinterAndItsRepliesComeBack) {
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_127.0.0.1", nullptr));
  const std::string payload = std::string("\x1b%-12345X@PJL INFO ID\r\n") + std::string(20000, 'q');
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u) << GetLastError();
  ASSERT_TRUE(Write(printer_, payload));
  // the printer's reply to INFO ID, read through the port
  std::string reply;
  for (int i = 0; i < 50 && reply.find('\f') == std::string::npos; ++i) {
    char buffer[256];
    DWORD read = 0;
    ASSERT_TRUE(ReadPrinter(printer_, buffer, sizeof buffer, &read));
    reply.append(buffer, read);
  }
  EXPECT_NE(reply.find("Scriva K350"), std::string::npos) << reply;
  ASSERT_TRUE(EndDocPrinter(printer_));
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
  EXPECT_EQ(printer.finishedJobs()[0], payload);
  EXPECT_EQ(JobBytes(job), payload);
}

// The end of a TCP document closes gracefully: a printer's reply left unread
// must not turn the close into a reset that drops the job's last bytes the
// printer has not read yet.
TEST_F(SpoolerTcpTest, AnUnreadReplyDoesNotCutTheJobAtTheEnd) {
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_127.0.0.1", nullptr));
  const std::string ask = "\x1b%-12345X@PJL INFO ID\r\n";
  const std::string body(4 << 20, 'q');
  DWORD job = StartDoc(printer_);
  ASSERT_NE(job, 0u) << GetLastError();
  ASSERT_TRUE(Write(printer_, ask));
  ASSERT_TRUE(printer.waitUntil([&] { return !printer.commands().empty(); }, 5000));
  // The printer has answered (nobody reads it) and lags behind: the last
  // write returns with much of the job still in the sockets' buffers, and
  // the document ends at once.
  printer.setMode(PrinterMode::StopReading);
  std::thread catchUp([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    printer.setMode(PrinterMode::Normal);
  });
  const bool wrote = Write(printer_, body);
  const BOOL ended = EndDocPrinter(printer_);
  catchUp.join();
  ASSERT_TRUE(wrote);
  ASSERT_TRUE(ended);
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
  EXPECT_EQ(printer.finishedJobs()[0].size(), ask.size() + body.size());
}

TEST_F(SpoolerTcpTest, LanguageMonitorOnThePortWrapsTheJob) {
  ASSERT_TRUE(KpInstallModule("libkmonant.so", nullptr));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_127.0.0.1", u"kmonant.dll"));
  const std::string payload = ") HP-PCL XL;2;1;\r\n" + std::string(3000, 'X');
  for (int round = 0; round < 2; ++round) {  // the monitor is loaded once and kept
    DWORD job = StartDoc(printer_, u"wrapped");
    ASSERT_NE(job, 0u) << GetLastError();
    ASSERT_TRUE(Write(printer_, payload));
    ASSERT_TRUE(EndDocPrinter(printer_)) << GetLastError();
    EXPECT_EQ(JobBytes(job), payload);  // what the job sent; the monitor adds its PJL
  }
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 2; }, 10000));
  for (const std::string& got : printer.finishedJobs()) {
    EXPECT_NE(got.find(payload), std::string::npos);
    EXPECT_EQ(got.rfind("\x1b%-12345X", 0), 0u) << got.substr(0, 40);
    EXPECT_NE(got.find("@PJL EOJ"), std::string::npos);
  }
}

// Questions to the printer take the port as a job does: they wait for the
// job that owns it, and a job started while they are asked is held and goes
// out after them.
struct Asked {
  HANDLE printer = nullptr;  // a second handle, to start a job while asking
  std::string sysName;
  DWORD heldJob = 0;
  DWORD heldStatus = 0;
  int calls = 0;
};

void AskSysName(HANDLE monitor, HANDLE port, void* context) {
  auto& asked = *static_cast<Asked*>(context);
  ++asked.calls;
  char name[64] = {};
  DWORD got = 0;
  if (KpMonitorGetPrinterData(monitor, port, u"LM_SysName", reinterpret_cast<LPBYTE>(name), sizeof name - 1,
                              &got) == ERROR_SUCCESS)
    asked.sysName = name;
  if (!asked.printer) return;
  std::u16string document = u"while asked", raw = u"RAW";
  DOC_INFO_1W info{document.data(), nullptr, raw.data()};
  asked.heldJob = StartDocPrinterW(asked.printer, 1, reinterpret_cast<LPBYTE>(&info));
  DWORD written = 0;
  char bytes[] = "held while asked";
  WritePrinter(asked.printer, bytes, sizeof bytes - 1, &written);
  EndDocPrinter(asked.printer);
  KP_SPOOLER_JOB_STATE state{};
  KpSpoolerGetJobState(asked.heldJob, &state);
  asked.heldStatus = state.status;
}

TEST_F(SpoolerTcpTest, QuestionsToThePortWaitForItsJobAndHoldTheNextJob) {
  Asked asked;
  // Refused: no callback, an unknown printer, a port without a language monitor.
  EXPECT_FALSE(KpSpoolerAskPort(kPrinter, 100, nullptr, &asked));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(KpSpoolerAskPort(u"No Such Printer", 100, AskSysName, &asked));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_127.0.0.1", nullptr));
  EXPECT_FALSE(KpSpoolerAskPort(kPrinter, 100, AskSysName, &asked));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(asked.calls, 0);

  ASSERT_TRUE(KpInstallModule("libkmonant.so", nullptr));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_127.0.0.1", u"kmonant.dll"));
  const std::string payload = ") HP-PCL XL;2;1;\r\n" + std::string(300, 'X');
  const DWORD owner = StartDoc(printer_, u"owner");
  ASSERT_NE(owner, 0u) << GetLastError();
  ASSERT_TRUE(Write(printer_, payload));
  // The job owns the port: the questions wait and give up.
  EXPECT_FALSE(KpSpoolerAskPort(kPrinter, 100, AskSysName, &asked));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(asked.calls, 0);
  ASSERT_TRUE(EndDocPrinter(printer_));

  std::u16string name = kPrinter;
  ASSERT_TRUE(OpenPrinterW(name.data(), &asked.printer, nullptr));
  ASSERT_TRUE(KpSpoolerAskPort(kPrinter, 5000, AskSysName, &asked)) << GetLastError();
  EXPECT_EQ(asked.calls, 1);
  EXPECT_EQ(asked.sysName, "Scriva K350");
  ASSERT_NE(asked.heldJob, 0u);
  EXPECT_EQ(asked.heldStatus, JOB_STATUS_SPOOLING) << "held while the questions own the port";
  EXPECT_EQ(JobBytes(asked.heldJob), "held while asked");
  EXPECT_EQ(JobState(asked.heldJob).status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 2; }, 10000));
  EXPECT_NE(printer.finishedJobs()[1].find("held while asked"), std::string::npos);
  ClosePrinter(asked.printer);
}

}  // namespace
}  // namespace kestrel::test
