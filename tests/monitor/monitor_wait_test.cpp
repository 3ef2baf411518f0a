// The waits of the port functions under the scaled clock: the code-7 wait for
// data the port still holds pending, the looks at a printer that reports an
// error stopping output before the job's first write, and the driver's "LM_"
// reads through GetPrinterDataW reaching the monitor's port.
#include <kplatform/winspool_printer.h>

#include <cstring>

#include "monitor_fixture.h"

namespace kestrel::test {
namespace {

const std::string kUel = "\x1b%-12345X";
const std::string kPayload = ") HP-PCL XL;2;1;\r\n" + std::string(3000, 'P') + "END";
// The start and end blocks of a plain job on a port with status support only.
const std::string kPlainJob = kUel + "@PJL JOB USER=\"user\"\r\n" + kPayload + "@PJL EOJ\r\n" + kUel;

// Writes `data` as the spooler does: again from where the port stopped.
void WriteAll(const MONITOR* table, HANDLE port, std::string data) {
  size_t at = 0;
  for (int calls = 0; at < data.size() && calls < 1000; ++calls) {
    DWORD n = 0;
    ASSERT_TRUE(table->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data() + at),
                                    static_cast<DWORD>(data.size() - at), &n))
        << GetLastError();
    at += n;
  }
  ASSERT_EQ(at, data.size());
}

struct PendingCase {
  const char* name;
  DWORD stalls;       // WritePort calls of the port monitor that take nothing
  DWORD failAfter;    // 1: the first write again fails
  DWORD minMs, maxMs; // the clock time code 7 takes (4000 ms a turn, 1000 ms after the call in a job)
  int requests;       // "DeviceRequest" updates the status manager gets
  DWORD lastRequest;  // the last one: 1 a device request in a job, 2 the data stalled 60000 ms
};

TEST_F(MonitorTest, CodeSevenWaitsForPendingDataWithinItsBound) {
  // 120 clock seconds in about 4.8 s. Every 4000 ms turn adds the real
  // scheduling delay of the machine, multiplied by the scale: on a loaded
  // machine (the sanitizer runs beside the other tests) that is a good part
  // of a turn, so the upper bounds leave a quarter of the turns (one at
  // least) over; the turns themselves are told apart by the status updates.
  KpSetClockScale(25);
  const PendingCase cases[] = {
      {"the port takes the block on the fourth write again", 4, 0, 4 * 4000, 6 * 4000, 1, 1},
      {"the port never takes it: the wait ends at its bound", 100000, 0, 120000, 120000 + 4000 + 1000 + 8 * 4000, 2, 2},
      {"a failing write ends the wait", 1, 1, 4000, 3 * 4000, 1, 1},
      {"the port takes it just past the stall mark", 16, 0, 16 * 4000, 21 * 4000, 2, 2},
  };
  for (const PendingCase& c : cases) {
    SCOPED_TRACE(c.name);
    installStatmgr(0);
    setPortMode(0x1);
    LoopbackPrinter printer;
    HANDLE port;
    std::u16string name = u"IP_PENDING:";
    ASSERT_TRUE(openTcp(name, printer, &port));
    DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
    std::u16string printerName = u"Kestrel K350";
    ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
    KP_PORT_FAULTS f{};
    f.stallWrites = c.stalls;
    ASSERT_TRUE(KpPortSetFaults(name.c_str(), &f));
    std::string data = kPayload;
    DWORD n = 1;
    ASSERT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 100, &n));
    ASSERT_EQ(n, 0u) << "the start block is pending";
    if (c.failAfter) {
      f.stallWrites = 0;
      f.failWrites = 1;
      KpPortSetFaults(name.c_str(), &f);
    }

    BYTE out[16];
    DWORD returned = 0;
    DWORD begin = GetTickCount();
    BOOL r = table_->pfnGetPrinterDataFromPort(port, 7, nullptr, nullptr, 0, reinterpret_cast<LPWSTR>(out),
                                               sizeof out, &returned);
    DWORD took = GetTickCount() - begin;
    EXPECT_FALSE(r);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << "the port monitor's own answer";
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
    EXPECT_EQ(statmgrSends("DeviceRequest"), c.requests);
    EXPECT_EQ(statmgrRecord("DeviceRequest"), std::string(reinterpret_cast<const char*>(&c.lastRequest), 4));

    // the rest of the job: the start block goes out once, whole
    KpPortSetFaults(name.c_str(), nullptr);
    WriteAll(table_, port, kPayload);
    EXPECT_TRUE(table_->pfnEndDocPort(port));
    ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
    EXPECT_EQ(printer.jobs()[0], kPlainJob);
    EXPECT_TRUE(close(port));
  }
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, CodeSevenWithNothingPendingGoesStraightToThePort) {
  setPortMode(0x1);
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_IDLE7:", printer, &port));
  DWORD returned = 0;
  DWORD begin = GetTickCount();
  EXPECT_FALSE(table_->pfnGetPrinterDataFromPort(port, 7, nullptr, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_LT(GetTickCount() - begin, 4000u);
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, AStoppingErrorGetsThreeLooksBeforeTheFirstWrite) {
  // Each look reads the job's connection; the port's reads wait 5000 clock
  // ms, so the looks show in the time the first WritePort takes.
  struct Case {
    const char* code;
    DWORD minMs, maxMs;
  } const cases[] = {
      {"10001", 0, 4999},          // ready: no look
      {"42000", 15000, 19999},     // paper jam: three looks, then the block goes out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    setPortMode(0x1);
    LoopbackPrinter printer;
    printer.update([&](PrinterState& s) { s.code = c.code; });
    HANDLE port;
    std::u16string name = u"IP_STOP:";
    ASSERT_TRUE(openTcp(name, printer, &port));
    ASSERT_EQ(ask(port, u"Refresh:Status", 4).dword(), 0);
    KP_PORT_FAULTS f{};
    f.readBlockMs = 5000;
    ASSERT_TRUE(KpPortSetFaults(name.c_str(), &f));
    DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
    std::u16string printerName = u"Kestrel K350";
    ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
    std::string data = kPayload;
    DWORD n = 0;
    DWORD begin = GetTickCount();
    ASSERT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size()), &n));
    DWORD took = GetTickCount() - begin;
    EXPECT_EQ(n, data.size()) << "written after the looks";
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
    KpPortSetFaults(name.c_str(), nullptr);
    EXPECT_TRUE(table_->pfnEndDocPort(port));
    ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
    EXPECT_EQ(printer.jobs()[0], kPlainJob) << "sent once";
    EXPECT_TRUE(close(port));
  }
}

// GetPrinterDataW as the driver calls it: "LM_" names go to the monitor of
// the printer's port while the port is open; other names, and every name
// once the port is closed, come from the printer's value store.
TEST_F(MonitorTest, DriverLmReadsReachTheMonitorThroughGetPrinterData) {
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_ROUTE:", printer, &port));
  KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");  // makes the printer known to OpenPrinterW
  std::u16string printerName = u"Kestrel K350";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(printerName.data(), &h, nullptr));
  DWORD stored = 7;
  std::u16string storedName = u"Plain";
  ASSERT_EQ(SetPrinterDataW(h, storedName.data(), REG_DWORD, reinterpret_cast<BYTE*>(&stored), 4), 0u);
  std::u16string storedLm = u"LM_SysName";
  ASSERT_EQ(SetPrinterDataW(h, storedLm.data(), REG_BINARY, reinterpret_cast<BYTE*>(&stored), 4), 0u);

  struct Case {
    const char16_t* name;
    DWORD size;
    DWORD result, needed;
    DWORD type;
    std::string bytes;  // the start of the answer
  } const cases[] = {
      {u"LM_MemorySizeInMByte", 4, ERROR_SUCCESS, 4, REG_BINARY, std::string("\x40\0\0\0", 4)},
      {u"LM_MemorySizeInKByte", 4, ERROR_SUCCESS, 4, REG_BINARY, std::string("\0\0\x01\0", 4)},
      {u"LM_InputTray", 0, ERROR_MORE_DATA, 4 + 32 * 2, REG_BINARY, ""},
      {u"LM_SysName", 32, ERROR_SUCCESS, 32, REG_BINARY, "Scriva K350"},
      {u"LM_Nothing", 4, ERROR_FILE_NOT_FOUND, 0, 0, ""},   // the monitor's own "not answered"
      {u"Plain", 4, ERROR_SUCCESS, 4, REG_DWORD, std::string("\x07\0\0\0", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    std::u16string n = c.name;
    BYTE out[64] = {};
    DWORD type = 0, needed = 0;
    EXPECT_EQ(GetPrinterDataW(h, n.data(), &type, c.size ? out : nullptr, c.size, &needed), c.result);
    EXPECT_EQ(needed, c.needed);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), c.bytes.size()), c.bytes);
  }

  // the printer changes: the next read follows it
  printer.update([](PrinterState& s) { s.config = "MEMORY=268435456\r\n"; });
  ASSERT_EQ(ask(port, u"Refresh:Config", 4).dword(), 0);
  DWORD mb = 0, needed = 0;
  std::u16string mbName = u"LM_MemorySizeInMByte";
  EXPECT_EQ(GetPrinterDataW(h, mbName.data(), nullptr, reinterpret_cast<BYTE*>(&mb), 4, &needed), 0u);
  EXPECT_EQ(mb, 256u);

  // the port closed: the value store answers again
  EXPECT_TRUE(KpMonitorClosePort(monitor_, port));
  DWORD got = 0;
  EXPECT_EQ(GetPrinterDataW(h, storedLm.data(), nullptr, reinterpret_cast<BYTE*>(&got), 4, &needed), 0u);
  EXPECT_EQ(got, 7u);
  EXPECT_TRUE(ClosePrinter(h));
}

}  // namespace
}  // namespace kestrel::test
