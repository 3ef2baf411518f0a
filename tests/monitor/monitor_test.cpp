// The language monitor through the monitor host: the bytes a printer
// receives for each kind of job, the port functions' errors, the values
// GetPrinterDataFromPort answers, and status end to end over TCP.
#include <sys/stat.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "monitor_fixture.h"

namespace kestrel::test {
namespace {

const std::string kUel = "\x1b%-12345X";
const std::string kStatusLines =
    "@PJL USTATUS DEVICE=ON\r\n@PJL USTATUS JOB=ON\r\n@PJL USTATUS PAGE=ON\r\n@PJL INFO STATUS\r\n";
const std::string kPayload = ") HP-PCL XL;2;1;\r\n" + std::string(5000, 'X') + "END";

// CRC-16 reflected, polynomial 0xA001, start 0, bit by bit.
unsigned Crc16(const std::string& s) {
  unsigned crc = 0;
  for (unsigned char c : s) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

std::string Hex(unsigned v, int digits) {
  char b[16];
  std::snprintf(b, sizeof b, "%0*X", digits, v);
  return b;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

struct GoldenCase {
  const char* name;
  DWORD mode;  // MyPortMode
  DWORD copies, qty;
  const char16_t* user;
  std::string data;      // the job's own bytes
  std::string expected;  // {ID}: the job control id the monitor made
  const char* idPattern;
};

std::vector<GoldenCase> GoldenCases() {
  const std::string ownJob = kUel + "@PJL JOB NAME=\"MINE\"\r\n@PJL ENTER LANGUAGE=PCLXL\r\n" + kPayload;
  const std::string ownId = kUel + "@PJL SET JOBATTR=\"@JCID=CAFE01\"\r\n@PJL ENTER LANGUAGE=PCLXL\r\n" + kPayload;
  const std::string ownFrame = kUel + "@PJL JOB MODE=PCLXL\n@PJL SET COPIES=1\n" + kPayload + kUel + "@PJL EOJ\n";
  const char* computerId = "03";  // "03" and 22 hexadecimal digits
  const char* guid = "guid";       // 16 to 32 hexadecimal digits
  return {
      {"plain job", 0x1, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", kPayload,
       kUel + "@PJL JOB USER=\"user\"\r\n" + kPayload + "@PJL EOJ\r\n" + kUel, nullptr},
      {"status mode", 0x5, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", kPayload,
       kUel + kStatusLines + "@PJL JOB NAME=\"{ID}\" USER=\"user\"\r\n" + kPayload + kUel + "@PJL EOJ NAME=\"{ID}\"\r\n" +
           kUel,
       computerId},
      {"job control id port", 0x85, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", kPayload,
       kUel + kStatusLines + "@PJL SET JOBATTR=\"@JCID={ID}\"\r\n" + kPayload + kUel + "@PJL EOJ NAME=\"{ID}\"\r\n" +
           kUel,
       guid},
      {"copies only", 0x1, 2, 0xFFFFFFFFu, u"user", kPayload,
       kUel + "@PJL JOB USER=\"user\"\r\n@PJL SET COPIES=2\r\n" + kPayload + "@PJL EOJ\r\n" + kUel, nullptr},
      {"quantity only", 0x1, 0xFFFFFFFFu, 3, u"user", kPayload,
       kUel + "@PJL JOB USER=\"user\"\r\n@PJL SET QTY=3\r\n" + kPayload + "@PJL EOJ\r\n" + kUel, nullptr},
      {"17-character owner", 0x1, 0xFFFFFFFFu, 0xFFFFFFFFu, u"ABCDEFGHIJKLMNOPQ", kPayload,
       kUel + "@PJL JOB USER=\"ABCDEFGHIJKLM...\"\r\n" + kPayload + "@PJL EOJ\r\n" + kUel, nullptr},
      {"own UEL and job command", 0x5, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", ownJob, kUel + kStatusLines + ownJob,
       nullptr},
      // The spooler side's own frame (UEL, "@PJL JOB MODE=...", ..., "@PJL EOJ") on a job-control-id
      // port: the job command keeps the status block out, but the monitor still puts its id line in
      // front and closes with an end block of its own, so the printer meets two EOJ. Kept: the
      // second EOJ has no job open and printers skip it, and the id line must reach the printer.
      {"own job command on a job control id port", 0x85, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", ownFrame,
       kUel + "@PJL SET JOBATTR=\"@JCID={ID}\"\r\n" + ownFrame + kUel + "@PJL EOJ\r\n" + kUel, guid},
      {"own job command on a status port", 0x5, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", ownFrame,
       kUel + kStatusLines + ownFrame, nullptr},
      {"own job control id", 0x85, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", ownId, kUel + kStatusLines + ownId, nullptr},
      {"status support off", 0x2, 0xFFFFFFFFu, 0xFFFFFFFFu, u"user", kPayload, kPayload, nullptr},
  };
}

// Checks one job's bytes against a golden case; answers the id found.
void ExpectGolden(const GoldenCase& c, const std::string& got) {
  std::string expected = c.expected;
  if (c.idPattern) {
    std::string head = got.substr(0, 200);
    size_t at = head.find("NAME=\"");
    size_t skip = 6;
    if (at == std::string::npos || head.find("@JCID=") < at) {
      at = head.find("@JCID=");
      skip = 6;
    }
    ASSERT_NE(at, std::string::npos) << head;
    size_t end = head.find('"', at + skip);
    ASSERT_NE(end, std::string::npos) << head;
    std::string id = head.substr(at + skip, end - at - skip);
    for (char ch : id) ASSERT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << id;
    if (std::string(c.idPattern).rfind("03", 0) == 0) {
      // "03", the first five bytes of the computer name, its CRC-16, the tick
      ASSERT_EQ(id.size(), 24u);
      EXPECT_EQ(id.substr(0, 16), "03" + std::string("4B45535452") + Hex(Crc16("KESTREL"), 4));
    } else {
      EXPECT_GE(id.size(), 16u);
      EXPECT_LE(id.size(), 32u);
    }
    expected = Replace(expected, "{ID}", id);
  }
  EXPECT_EQ(got, expected);
}

TEST_F(MonitorTest, GoldenBytesOverTcp) {
  LoopbackPrinter printer;
  for (const GoldenCase& c : GoldenCases()) {
    SCOPED_TRACE(c.name);
    setPortMode(c.mode);
    setCounts(c.copies, c.qty);
    HANDLE port;
    std::u16string name = u"IP_GOLD:";
    ASSERT_TRUE(openTcp(name, printer, &port)) << GetLastError();
    size_t before = printer.jobs().size();
    ASSERT_NE(print(port, c.data, c.user), 0u) << GetLastError();
    ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == before + 1; }, 5000));
    ExpectGolden(c, printer.jobs().back());
    EXPECT_TRUE(close(port));
  }
}

TEST_F(MonitorTest, GoldenBytesIntoAFilePortAndWithShortWrites) {
  // The same blocks through the file port, once whole and once with a port
  // that takes five bytes a call and stalls: a start block written short is
  // resumed with its tail, never sent twice. The file is the whole port, so
  // the clock runs at real speed here: a status poll falling between the open
  // and the job would land in the file too.
  KpSetClockScale(1);
  for (int faulty = 0; faulty < 2; ++faulty) {
    for (const GoldenCase& c : GoldenCases()) {
      SCOPED_TRACE(std::string(c.name) + (faulty ? " short writes" : ""));
      setPortMode(c.mode);
      setCounts(c.copies, c.qty);
      std::u16string file = u"C:\\out" + U16(std::to_string(faulty)) + u".prn";
      DeleteFileW(file.c_str());
      ASSERT_TRUE(KpPortDefineFile(u"FILE:", file.c_str()));
      if (faulty) {
        KP_PORT_FAULTS f{};
        f.maxWrite = 5;
        f.stallWrites = 3;
        ASSERT_TRUE(KpPortSetFaults(u"FILE:", &f));
      }
      HANDLE port;
      ASSERT_TRUE(openPort(u"FILE:", &port)) << GetLastError();
      ASSERT_NE(print(port, c.data, c.user, 1000), 0u) << GetLastError();
      EXPECT_TRUE(close(port));
      ExpectGolden(c, ReadHostFile(root_.host("c/out" + std::to_string(faulty) + ".prn")));
    }
  }
}

TEST_F(MonitorTest, EntryAndTable) {
  // the table: exactly the seven port functions
  const void* filled[] = {reinterpret_cast<const void*>(table_->pfnOpenPortEx),
                          reinterpret_cast<const void*>(table_->pfnStartDocPort),
                          reinterpret_cast<const void*>(table_->pfnWritePort),
                          reinterpret_cast<const void*>(table_->pfnReadPort),
                          reinterpret_cast<const void*>(table_->pfnEndDocPort),
                          reinterpret_cast<const void*>(table_->pfnClosePort),
                          reinterpret_cast<const void*>(table_->pfnGetPrinterDataFromPort)};
  for (const void* f : filled) EXPECT_NE(f, nullptr);
  const void* empty[] = {reinterpret_cast<const void*>(table_->pfnEnumPorts),
                         reinterpret_cast<const void*>(table_->pfnOpenPort),
                         reinterpret_cast<const void*>(table_->pfnAddPort),
                         reinterpret_cast<const void*>(table_->pfnAddPortEx),
                         reinterpret_cast<const void*>(table_->pfnConfigurePort),
                         reinterpret_cast<const void*>(table_->pfnDeletePort),
                         reinterpret_cast<const void*>(table_->pfnSetPortTimeOuts)};
  for (const void* f : empty) EXPECT_EQ(f, nullptr);
  // the module exports its one entry
  HMODULE m = LoadLibraryW(U16(g_library + ".dll").c_str());
  ASSERT_NE(m, nullptr);
  bool nt = g_library.find("9x") == std::string::npos;
  EXPECT_EQ(GetProcAddress(m, "InitializePrintMonitor") != nullptr, nt);
  EXPECT_EQ(GetProcAddress(m, "InitializeMonitorEx") != nullptr, !nt);
  for (const char* hidden : {"DllMain", "LMWritePort", "WritePort", "OpenPortEx"})
    EXPECT_EQ(GetProcAddress(m, hidden), nullptr) << hidden;
  FreeLibrary(m);
  // an empty registry root is refused
  SetLastError(0);
  EXPECT_EQ(KpMonitorLoad(U16(g_library + ".dll").c_str(), u""), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(KpMonitorLoad(U16(g_library + ".dll").c_str(), nullptr), nullptr);
}

TEST_F(MonitorTest, OpenAndCloseErrors) {
  KpPortDefineFile(u"LPT1:", u"C:\\lpt1.prn");
  KpPortDefineFile(u"NExx:", u"C:\\ne.prn");
  HANDLE port = nullptr, second = nullptr;
  SetLastError(0);
  EXPECT_FALSE(openPort(u"NExx:", &port));
  EXPECT_EQ(GetLastError(), 3007u);
  EXPECT_FALSE(openPort(u"UNDEFINED:", &port)) << "the port monitor's open fails";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(openPort(u"LPT1:", &port));
  EXPECT_FALSE(openPort(u"lpt1:", &second));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  EXPECT_NE(print(port, "DATA"), 0u) << "the first context is untouched";

  struct {
    const char* call;
    BOOL result;
  } const nullCalls[] = {
      {"StartDocPort", table_->pfnStartDocPort(nullptr, nullptr, 1, 1, nullptr)},
      {"WritePort", [&] {
         DWORD w;
         return table_->pfnWritePort(reinterpret_cast<HANDLE>(0x1234), nullptr, 0, &w);
       }()},
      {"ReadPort", [&] {
         DWORD r;
         return table_->pfnReadPort(nullptr, nullptr, 0, &r);
       }()},
      {"EndDocPort", table_->pfnEndDocPort(nullptr)},
      {"ClosePort", table_->pfnClosePort(nullptr)},
      {"GetPrinterDataFromPort", table_->pfnGetPrinterDataFromPort(nullptr, 0, nullptr, nullptr, 0, nullptr, 0,
                                                                    nullptr)},
  };
  for (const auto& c : nullCalls) EXPECT_FALSE(c.result) << c.call;
  SetLastError(0);
  EXPECT_FALSE(table_->pfnEndDocPort(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(table_->pfnClosePort(reinterpret_cast<HANDLE>(0x5678))) << "a handle never opened";
  EXPECT_TRUE(close(port));
  EXPECT_TRUE(close(port)) << "closed twice: no longer in the list";
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, FailingOpensLeakNothingAndLeaveTheLock) {
  KpPortDefineFile(u"LPT2:", u"C:\\lpt2.prn");
  KP_PORT_FAULTS f{};
  f.failOpen = TRUE;
  KpPortSetFaults(u"LPT2:", &f);
  HANDLE port;
  EXPECT_FALSE(openPort(u"LPT2:", &port));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  KpPortSetFaults(u"LPT2:", nullptr);
  // every allocation of an open failing in turn
  int failures = 0;
  for (DWORD nth = 1; nth < 40; ++nth) {
    KpFailAllocation(nth);
    BOOL ok = openPort(u"LPT2:", &port);
    KpFailAllocation(0);
    if (ok) {
      EXPECT_TRUE(close(port));
      break;
    }
    ++failures;
    EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_) << "allocation " << nth;
    EXPECT_EQ(KpOpenHandleCount(), baselineHandles_) << "allocation " << nth;
  }
  EXPECT_GT(failures, 0);
  ASSERT_TRUE(openPort(u"LPT2:", &port)) << "the global lock was left";
  EXPECT_TRUE(close(port));
  KP_PORT_STATS stats{};
  KpPortGetStats(u"LPT2:", &stats);
  EXPECT_EQ(stats.openHandles, 0u);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, FailedWritesAndStartsAreReported) {
  setPortMode(0x1);
  KpPortDefineFile(u"LPT3:", u"C:\\lpt3.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT3:", &port));
  KP_PORT_FAULTS f{};
  f.failWrites = 1;
  KpPortSetFaults(u"LPT3:", &f);
  EXPECT_EQ(print(port, kPayload), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  f = {};
  f.failStartDoc = TRUE;
  KpPortSetFaults(u"LPT3:", &f);
  EXPECT_EQ(print(port, kPayload), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  KpPortSetFaults(u"LPT3:", nullptr);
  EXPECT_NE(print(port, kPayload), 0u) << "the port recovers";
  KP_PORT_STATS stats{};
  KpPortGetStats(u"LPT3:", &stats);
  EXPECT_EQ(stats.docsOpen, 0u);
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, WithoutTheJobServiceTheJobIsLeftAlone) {
  KpPortDefineFile(u"LPT1:", u"C:\\lpt1.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  DWORD job = print(port, kPayload);
  ASSERT_NE(job, 0u);
  DWORD command = 99;
  BOOL deleted = TRUE;
  ASSERT_TRUE(KpMonitorGetJobState(job, &command, &deleted));
  EXPECT_EQ(command, 0u);
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, ControlCodeZeroAnswers) {
  setPortMode(0x1);  // no polling thread: the answers below are the port's own
  KpPortDefineFile(u"LPT1:", u"C:\\lpt1.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  struct Step {
    const char16_t* name;
    DWORD outSize;
    DWORD error;
    LONG value;  // checked when the error is 87
  };
  const Step steps[] = {
      {u"IsWakeup", 4, 87, 330},     {u"IsWakeup", 64, 87, 330},   {u"Wake Up", 4, 87, 0},
      {u"Wake Up", 4, 87, -19},      {u"Stop Polling", 4, 87, 0},  {u"Stop Polling", 4, 87, -19},
      {u"Suspend", 4, 87, 0},        {u"Refresh:Nothing", 4, 87, -19},
      {u"Wake Up", 3, 122, 0},       {u"Suspend", 0, 122, 0},      {u"NoSuchValue", 4, 2, 0},
      {u"LM_Unknown", 4, 2, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.name, s.name + std::char_traits<char16_t>::length(s.name)));
    Answer a = ask(port, s.name, s.outSize);
    EXPECT_FALSE(a.result);
    EXPECT_EQ(a.error, s.error);
    if (s.error == 87) {
      EXPECT_EQ(a.dword(), s.value);
      EXPECT_EQ(a.returned, 4u);
    }
  }
  // a buffer below 4 bytes is left as it was
  Answer small = ask(port, u"IsWakeup", 2);
  EXPECT_EQ(small.error, 122u);
  EXPECT_EQ(small.bytes.substr(0, 4), "\x5A\x5A\x5A\x5A");
  // the host counts FALSE with 87 as answered, 122 as "size only"
  DWORD value = 0, returned = 0;
  EXPECT_EQ(KpMonitorGetPrinterData(monitor_, port, u"IsWakeup", reinterpret_cast<BYTE*>(&value), 4, &returned),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(value, 330u);
  EXPECT_EQ(KpMonitorGetPrinterData(monitor_, port, u"Gone", reinterpret_cast<BYTE*>(&value), 4, &returned),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // a control code other than 0 goes to the port monitor, which has none
  std::u16string name = u"Anything";
  DWORD got = 0;
  EXPECT_FALSE(table_->pfnGetPrinterDataFromPort(port, 7, name.data(), nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, LmValuesFollowThePrinter) {
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_CONFIG:", printer, &port));
  Answer size = ask(port, u"LM_InputTray", 0);
  EXPECT_EQ(size.error, 122u);
  EXPECT_EQ(size.returned, 4u + 32u * 2u);
  Answer trays = ask(port, u"LM_InputTray", 4 + 32 * 2);
  ASSERT_EQ(trays.error, 87u);
  EXPECT_EQ(trays.dword(), 2);
  EXPECT_STREQ(trays.bytes.c_str() + 4 + 8, "TRAY 1");
  EXPECT_EQ(static_cast<unsigned char>(trays.bytes[4 + 32 + 4]), 3u) << "tray 2 is large";
  EXPECT_STREQ(ask(port, u"LM_SysName", 32).bytes.c_str(), "Scriva K350");
  EXPECT_EQ(ask(port, u"LM_MemorySizeInMByte", 4).dword(), 64);
  EXPECT_EQ(ask(port, u"LM_MemorySizeInKByte", 4).dword(), 65536);
  Answer duplex = ask(port, u"LM_DuplexModule", 2);
  EXPECT_EQ(duplex.returned, 2u);
  EXPECT_EQ(duplex.bytes.substr(0, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(ask(port, u"LM_RamDisk", 2).bytes.substr(0, 2), std::string("\x00\x00", 2));

  printer.update([](PrinterState& s) {
    s.config = "IN TRAYS [1 ENUMERATED]\r\n\tINTRAY1 TYPE=NORMAL NAME=\"ONLY\"\r\nMEMORY=134217728\r\nRAMDISK=4096\r\n";
    s.id = "\"Scriva K260\"";
  });
  EXPECT_EQ(ask(port, u"Refresh:Config", 4).dword(), 0);
  EXPECT_EQ(ask(port, u"LM_MemorySizeInMByte", 4).dword(), 128);
  EXPECT_EQ(ask(port, u"LM_InputTray", 0).returned, 36u);
  EXPECT_EQ(ask(port, u"LM_DuplexModule", 2).bytes.substr(0, 2), std::string("\x00\x00", 2));
  EXPECT_EQ(ask(port, u"LM_RamDisk", 2).bytes.substr(0, 2), std::string("\x01\x00", 2));
  EXPECT_STREQ(ask(port, u"LM_SysName", 32).bytes.c_str(), "Scriva K260");

  // a stopping error answers -1
  printer.update([](PrinterState& s) { s.code = "42000"; });
  EXPECT_EQ(ask(port, u"Refresh:Status", 4).dword(), 0);
  EXPECT_EQ(ask(port, u"LM_MemorySizeInMByte", 4).dword(), -1);
  EXPECT_TRUE(close(port));
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, StatusEndToEndWithTheStatusManager) {
  installStatmgr(0);
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_STATUS:", printer, &port));
  auto display = [&] {
    std::string r = statmgrRecord("PrinterDisplay");
    std::string out;
    for (size_t i = 4; i + 1 < r.size() && r[i]; i += 2) out += r[i];
    return out;
  };
  ASSERT_EQ(ask(port, u"Wake Up", 4).dword(), 0);
  EXPECT_TRUE(printer.waitUntil([&] { return display() == "READY"; }, 5000)) << display();
  printer.update([](PrinterState& s) { s.display = "TONER LOW"; });
  EXPECT_TRUE(printer.waitUntil([&] { return display() == "TONER LOW"; }, 5000)) << display();

  // a job's progress reaches the status manager: started, pages, ended
  DWORD job = print(port, kPayload);
  ASSERT_NE(job, 0u);
  EXPECT_TRUE(printer.waitUntil(
      [&] {
        std::string r = statmgrRecord("PrintingJobInfo2");
        if (r.size() < 16) return false;
        DWORD id, flags, pages;
        std::memcpy(&id, r.data() + 4, 4);
        std::memcpy(&flags, r.data() + 8, 4);
        std::memcpy(&pages, r.data() + 12, 4);
        return id == job && (flags & 0x200) && pages == 2;
      },
      5000));
  // the summary follows the records it sums up: the printer's code and trays,
  // the job with its pages, and the printer idle again
  DWORD sum[11] = {};
  EXPECT_TRUE(printer.waitUntil(
      [&] {
        std::string r = statmgrRecord("StatusSummary");
        if (r.size() != sizeof sum) return false;
        std::memcpy(sum, r.data(), sizeof sum);
        return sum[4] == job && sum[6] == 2 && sum[1] == 0;
      },
      5000));
  EXPECT_EQ(sum[0], 44u);
  EXPECT_EQ(sum[2], 10001u);
  EXPECT_NE(sum[5] & 0x200, 0u) << "the job's flags: ended";
  EXPECT_EQ(sum[8], 0u) << "no job pending";
  EXPECT_EQ(sum[9], 2u) << "the printer's trays";
  EXPECT_GT(sum[10], 1u) << "it changed along the way";
  EXPECT_TRUE(close(port));
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, JobsPrintWhenTheStatusManagerFails) {
  for (int failMode : {1, 2}) {
    SCOPED_TRACE(failMode);
    installStatmgr(failMode);
    LoopbackPrinter printer;
    HANDLE port;
    ASSERT_TRUE(openTcp(u"IP_FAIL:", printer, &port));
    ASSERT_NE(print(port, kPayload), 0u);
    ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
    EXPECT_NE(printer.jobs()[0].find(kPayload), std::string::npos);
    EXPECT_TRUE(close(port));
  }
}

TEST_F(MonitorTest, HostileAndBrokenPrintersChangeNothingBadly) {
  struct {
    const char* name;
    PrinterMode mode;
  } const modes[] = {
      {"split bytes", PrinterMode::SplitBytes}, {"delay", PrinterMode::Delay},
      {"never end", PrinterMode::NeverEnd},     {"hostile numbers", PrinterMode::Hostile},
      {"reset", PrinterMode::Reset},
  };
  for (const auto& m : modes) {
    SCOPED_TRACE(m.name);
    // A printer that trickles its replies is given its full reply time in
    // real time, so a loaded machine cannot turn it into a silent printer;
    // one that never ends runs on the fast clock.
    bool slow = m.mode == PrinterMode::SplitBytes || m.mode == PrinterMode::Delay;
    KpSetClockScale(slow ? 1 : 10);
    LoopbackPrinter printer;
    printer.setMode(m.mode, 5);
    HANDLE port;
    ASSERT_TRUE(openTcp(u"IP_HOSTILE:", printer, &port));
    Answer refresh = ask(port, u"Refresh:Config", 4);
    EXPECT_EQ(refresh.error, 87u);
    Answer trays = ask(port, u"LM_InputTray", 4 + 32 * 32);
    EXPECT_EQ(trays.error, 87u);
    EXPECT_LE(trays.dword(), 32);
    if (m.mode == PrinterMode::SplitBytes || m.mode == PrinterMode::Delay) {
      EXPECT_EQ(refresh.dword(), 0);
      EXPECT_EQ(trays.dword(), 2);
    }
    if (m.mode == PrinterMode::NeverEnd) {
      EXPECT_EQ(refresh.dword(), -19);
    }
    DWORD job = print(port, kPayload);
    if (m.mode != PrinterMode::Reset) {
      EXPECT_NE(job, 0u);
    }
    EXPECT_TRUE(close(port));
    EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
  }
}

TEST_F(MonitorTest, RefreshDuringAJobAnswersBusy) {
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_BUSY:", printer, &port));
  DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
  std::u16string printerName = u"Kestrel K350";
  ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
  EXPECT_EQ(ask(port, u"Refresh:Status", 4).dword(), -38);
  EXPECT_EQ(ask(port, u"Suspend", 4).dword(), -19);
  EXPECT_TRUE(table_->pfnEndDocPort(port));
  EXPECT_EQ(ask(port, u"Refresh:Status", 4).dword(), 0);
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, AJobThePrinterCancelledIsDropped) {
  // The port takes the start block only up to the end of its job command:
  // the printer cancels the job before the block is whole, and the job's
  // data is taken and dropped.
  installStatmgr(0);
  setPortMode(0x5);
  setCounts(2, 0xFFFFFFFFu);
  LoopbackPrinter printer;
  printer.update([](PrinterState& s) { s.cancelJobs = true; });
  const std::string jobLine = "@PJL JOB NAME=\"" + std::string(24, '0') + "\" USER=\"user\"\r\n";
  const DWORD upToJob = static_cast<DWORD>(kUel.size() + kStatusLines.size() + jobLine.size());
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_CANCEL:", printer, &port));
  KP_PORT_FAULTS f{};
  f.maxWrite = upToJob;
  KpPortSetFaults(u"IP_CANCEL:", &f);
  DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
  std::u16string printerName = u"Kestrel K350";
  ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
  std::string data = kPayload;
  DWORD written = 1;
  ASSERT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 100, &written));
  EXPECT_EQ(written, 0u) << "the block's first part went out";
  auto cancelled = [&] {
    std::string r = statmgrRecord("PrintingJobInfo2");
    DWORD id = 0, flags = 0;
    if (r.size() >= 12) {
      std::memcpy(&id, r.data() + 4, 4);
      std::memcpy(&flags, r.data() + 8, 4);
    }
    return id == job && (flags & 0x400);
  };
  for (int i = 0; i < 200 && !cancelled(); ++i) {
    BYTE buf[256];
    DWORD got;
    table_->pfnReadPort(port, buf, sizeof buf, &got);
  }
  ASSERT_TRUE(printer.waitUntil(cancelled, 5000));
  SetLastError(99);
  EXPECT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 100, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(written, 100u);
  EXPECT_TRUE(table_->pfnEndDocPort(port));
  ASSERT_TRUE(printer.waitUntil([&] { return printer.finishedJobs().size() == 1; }, 5000));
  std::string got = printer.jobs()[0];
  EXPECT_EQ(got.size(), upToJob);
  EXPECT_EQ(got.find("COPIES"), std::string::npos);
  EXPECT_EQ(got.find(") HP-PCL XL"), std::string::npos) << "none of the job's data";
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, SuspendStopsThePollsAndWakeUpResumes) {
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_SUSPEND:", printer, &port));
  auto polls = [&] {
    size_t n = 0;
    for (const std::string& c : printer.commands()) n += c == "@PJL INFO STATUS";
    return n;
  };
  ASSERT_EQ(ask(port, u"Wake Up", 4).dword(), 0);
  ASSERT_TRUE(printer.waitUntil([&] { return polls() >= 2; }, 5000));
  ASSERT_EQ(ask(port, u"Suspend", 4).dword(), 0);
  size_t suspended = polls();
  Sleep(30000);  // several poll intervals
  EXPECT_LE(polls(), suspended + 1) << "at most the poll under way when the request came";
  ASSERT_EQ(ask(port, u"Wake Up", 4).dword(), 0);
  EXPECT_TRUE(printer.waitUntil([&] { return polls() >= suspended + 3; }, 5000));
  EXPECT_TRUE(close(port));
}

TEST_F(MonitorTest, ReadPortHandsBackAndParsesWhatThePrinterSends) {
  installStatmgr(0);
  setPortMode(0x1);  // no polling thread: the spooler's ReadPort is the only reader
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_READ:", printer, &port));
  DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
  std::u16string printerName = u"Kestrel K350";
  ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
  std::string data = kUel + "@PJL INFO PAGECOUNT\r\n" + kUel;
  DWORD written = 0;
  ASSERT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                                   &written));
  EXPECT_EQ(written, data.size());
  std::string back;
  for (int i = 0; i < 50 && back.find('\f') == std::string::npos; ++i) {
    char buf[256];
    DWORD got = 0;
    ASSERT_TRUE(table_->pfnReadPort(port, reinterpret_cast<BYTE*>(buf), sizeof buf, &got));
    back.append(buf, got);
  }
  EXPECT_EQ(back, "@PJL INFO PAGECOUNT\r\n1200\r\n\f");
  EXPECT_TRUE(printer.waitUntil([&] { return statmgrRecord("PageCount") == std::string("\xB0\x04\0\0", 4); }, 5000));
  EXPECT_TRUE(table_->pfnEndDocPort(port));
  EXPECT_TRUE(close(port));
}

// ---- The entry: event-log line, trace switch and trace file -----------------

const char16_t kServiceKey[] = u"SOFTWARE\\Halcyra\\ZanPJMService";
const char16_t kServiceVersionKey[] = u"SOFTWARE\\Halcyra\\ZanPJMService\\1.0\\ZanPJMService";
const char16_t kServiceModeKey[] = u"SOFTWARE\\Halcyra\\ZanPJMService\\1.0\\ZanPJMService\\2.5";

std::u16string Text(const WCHAR* w) { return std::u16string(w); }

struct TraceCase {
  const char* name;
  std::u16string folder;  // "EventLogFolder" ("" none)
  const char16_t* runMode;
  bool wholeChain;        // false: the middle key of the job service's chain is missing
  bool traced;
  std::string file;       // the trace file below the root, when traced
};

TEST_F(MonitorTest, EntryWritesItsEventLineAndReadsTheTraceSwitch) {
  const std::string traceName = model() == 'A' ? "ZanPJMSCK350LM.log" : "ZanPJMSCK260LM.log";
  const std::u16string longFolder = u"C:\\" + std::u16string(254, u'a');  // 257 characters
  ASSERT_TRUE(CreateDirectoryW(u"C:\\logs", nullptr));
  ASSERT_TRUE(CreateDirectoryW((u"C:\\" + std::u16string(253, u'a')).c_str(), nullptr));
  // a trace file that cannot be written: its name is taken by a folder
  ASSERT_TRUE(CreateDirectoryW(u"C:\\blocked", nullptr));
  ASSERT_TRUE(CreateDirectoryW((u"C:\\blocked\\" + U16(traceName)).c_str(), nullptr));
  const TraceCase cases[] = {
      {"switch on, folder without its backslash", u"C:\\logs", u"Debug", true, true, "c/logs/" + traceName},
      {"folder with its backslash", u"C:\\logs\\", u"Debug", true, true, "c/logs/" + traceName},
      {"RunMode other than Debug", u"C:\\logs", u"debug", true, false, ""},
      {"a key of the chain missing", u"C:\\logs", u"Debug", false, false, ""},
      {"no folder", u"", u"Debug", true, false, ""},
      {"a folder over 256 characters is not cut", longFolder, u"Debug", true, false, ""},
      {"the trace file cannot be written", u"C:\\blocked", u"Debug", true, false, ""},
  };
  KpPortDefineFile(u"FILE:", u"C:\\trace-job.prn");
  setPortMode(0x1);
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    setString(kRoot, u"EventLogFolder", c.folder.empty() ? nullptr : c.folder.c_str());
    setString(kServiceKey, u"CurrentVersion", u"1.0");
    setString(kServiceVersionKey, u"CurrentVersion", c.wholeChain ? u"2.5" : nullptr);
    setString(kServiceModeKey, u"RunMode", c.runMode);
    DeleteFileW((u"C:\\logs\\" + U16(traceName)).c_str());
    DWORD events = KpEventLogCount();
    reload();

    // the event-log line of the entry
    ASSERT_EQ(KpEventLogCount(), events + 1);
    KP_EVENT_RECORD e;
    ASSERT_TRUE(KpEventLogRead(events, &e));
    EXPECT_EQ(e.type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(e.stringCount, 1u);
    if (model() == 'A') {
      EXPECT_EQ(Text(e.source), u"Scriva CK350 LanguageMonitor");
      EXPECT_EQ(Text(e.strings), u"Tessaly Language Monitor for Zan Scriva K350 PCL 6");
    } else {
      EXPECT_EQ(Text(e.source), u"Scriva CK260 LanguageMonitor");
      EXPECT_EQ(Text(e.strings), u"Tessaly Language Monitor for Zan Scriva K260 PCL 6");
    }

    // port calls, traced or not, give the same results
    HANDLE port;
    ASSERT_TRUE(openPort(u"FILE:", &port)) << GetLastError();
    DWORD job = print(port, kPayload);
    EXPECT_NE(job, 0u) << GetLastError();
    Answer wake = ask(port, u"IsWakeup", 4);
    EXPECT_EQ(wake.error, 87u) << "the trace line kept the call's last error";
    EXPECT_EQ(wake.dword(), 330);
    EXPECT_TRUE(close(port));

    std::string trace = c.traced ? ReadHostFile(root_.host(c.file)) : "";
    if (!c.traced) {
      EXPECT_EQ(ReadHostFile(root_.host("c/logs/" + traceName)), "");
      EXPECT_EQ(ReadHostFile(root_.host("c/" + std::string(253, 'a') + "/" + traceName)), "");
      struct stat st {};
      ASSERT_EQ(stat(root_.host("c/blocked/" + traceName).c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the folder in the trace file's place is left alone";
      continue;
    }
    // one line per port call, in order, each with its result and last error
    std::vector<std::string> calls;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
      ASSERT_FALSE(line.empty());
      EXPECT_EQ(line.back(), '\r');
      size_t at = line.find(" LM");
      ASSERT_NE(at, std::string::npos) << line;
      calls.push_back(line.substr(at + 1, line.size() - at - 2));
    }
    ASSERT_GE(calls.size(), 6u) << trace;
    // a call that succeeded: its line without the last error it happened to leave
    auto ok = [](const std::string& call) { return call.substr(0, call.rfind(' ')); };
    const std::string id = std::to_string(job);
    EXPECT_EQ(ok(calls.front()), "LMOpenPortEx \"FILE:\" \"Kestrel K350\" = TRUE");
    EXPECT_EQ(ok(calls[1]), "LMStartDocPort \"FILE:\" job " + id + " = TRUE");
    size_t written = 0;
    for (size_t i = 2; i + 3 < calls.size(); ++i) {
      unsigned taken = 0, asked = 0;
      ASSERT_EQ(std::sscanf(calls[i].c_str(), "LMWritePort \"FILE:\" %u/%u = TRUE", &taken, &asked), 2) << calls[i];
      written += taken;
    }
    EXPECT_EQ(written, kPayload.size()) << "every byte of the job in the write lines";
    EXPECT_EQ(ok(calls[calls.size() - 3]), "LMEndDocPort \"FILE:\" = TRUE");
    EXPECT_EQ(calls[calls.size() - 2], "LMGetPrinterDataFromPort \"FILE:\" code 0 IsWakeup = FALSE 87");
    EXPECT_EQ(ok(calls.back()), "LMClosePort \"FILE:\" = TRUE");
  }
  setString(kRoot, u"EventLogFolder", nullptr);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

// ---- "PrintingPriority" ----------------------------------------------------

TEST_F(MonitorTest, PrintingPriorityHoldsWhileTheJobRuns) {
  setPortMode(0x1);
  KpPortDefineFile(u"LPT1:", u"C:\\priority.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  std::u16string printer = u"Kestrel K350";
  struct Case {
    const char* name;
    DWORD type;
    DWORD value;  // as stored
    int during;   // the job thread's priority while the job runs
    bool endByClose;
  } const cases[] = {
      {"highest", REG_DWORD, 2, THREAD_PRIORITY_HIGHEST, false},
      {"below normal (a negative level)", REG_DWORD, static_cast<DWORD>(-1), THREAD_PRIORITY_BELOW_NORMAL, false},
      {"time critical", REG_DWORD, 15, THREAD_PRIORITY_TIME_CRITICAL, false},
      {"not a level", REG_DWORD, 7, THREAD_PRIORITY_LOWEST, false},
      {"not a DWORD", REG_BINARY, 2, THREAD_PRIORITY_LOWEST, false},
      {"no value", 0, 0, THREAD_PRIORITY_LOWEST, false},
      {"a job ended by ClosePort", REG_DWORD, 1, THREAD_PRIORITY_ABOVE_NORMAL, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // the thread's own priority is not the normal one, so a restore that
    // merely went back to normal would show
    ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST));
    setValue(kRoot, u"PrintingPriority", c.type, c.type ? &c.value : nullptr, 4);
    DWORD job = KpMonitorAddJob(printer.c_str(), u"doc", u"user");
    ASSERT_TRUE(table_->pfnStartDocPort(port, printer.data(), job, 1, nullptr));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), c.during);
    std::string data = kPayload;
    DWORD written = 0;
    ASSERT_TRUE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 100, &written));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), c.during) << "for the whole job";
    if (c.endByClose) {
      EXPECT_TRUE(close(port));
    } else {
      EXPECT_TRUE(table_->pfnEndDocPort(port));
    }
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_LOWEST);
  }
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
  setValue(kRoot, u"PrintingPriority", 0, nullptr, 0);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_) << "the thread handle is closed";
}

// ---- Status nodes and the status manager's notifications -------------------

TEST_F(MonitorTest, StatusNodesHoldTheirRegistrationsUntilClose) {
  installStatmgr(0);
  setPortMode(0x1);
  KpPortDefineFile(u"LPT1:", u"C:\\nodes.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  EXPECT_EQ(statmgrRegistrations("Kestrel K350"), 1) << "the printer the port was opened for";
  // one node per printer name that used the port
  ASSERT_NE(print(port, "DATA", u"user", 4096, u"Other Printer"), 0u);
  ASSERT_NE(print(port, "DATA", u"user", 4096, u"Other Printer"), 0u);
  ASSERT_NE(print(port, "DATA"), 0u);
  EXPECT_EQ(statmgrRegistrations("Other Printer"), 1);
  EXPECT_EQ(statmgrRegistrations(nullptr), 2);
  EXPECT_EQ(statmgrNotify(nullptr), 2) << "a notification reaches a port without a polling thread harmlessly";
  EXPECT_TRUE(close(port));
  EXPECT_EQ(statmgrRegistrations(nullptr), 0) << "every node released its registration";
  EXPECT_EQ(statmgrNotify(nullptr), 0);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);

  // a manager that refuses registrations: the port works without them
  installStatmgr(3);
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  EXPECT_NE(print(port, "DATA"), 0u);
  EXPECT_EQ(statmgrRegistrations(nullptr), 0);
  EXPECT_TRUE(close(port));
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, ANotificationMakesThePortPollNow) {
  // Real time: the first poll of an idle port comes after 4000 ms; a
  // notification brings it at once.
  KpSetClockScale(1);
  installStatmgr(0);
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_NOTIFY:", printer, &port));
  auto polled = [&] { return !printer.commands().empty(); };
  ASSERT_EQ(statmgrNotify("Kestrel K350"), 1);
  EXPECT_TRUE(printer.waitUntil(polled, 2500)) << "polled before the interval";
  EXPECT_TRUE(close(port));
}

}  // namespace
}  // namespace kestrel::test
