// The monitor's threads and locks: closing while the polling thread is inside
// a read, closing with a job the printer still holds, a held per-port mutex
// making a waiter time out, and a stress run with a watchdog that must leave
// no heap block behind. The scaled clock makes the 30- and 120-second paths
// run in milliseconds.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "monitor_fixture.h"
#include "watchdog.h"

namespace kestrel::test {
namespace {

const std::string kPayload = ") HP-PCL XL;2;1;\r\n" + std::string(20000, 'Z');

TEST_F(MonitorTest, CloseWhileThePollIsInsideARead) {
  Watchdog dog(std::chrono::seconds(60));
  LoopbackPrinter printer;
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_CLOSE:", printer, &port));
  KP_PORT_FAULTS f{};
  f.readBlockMs = 5000;
  KpPortSetFaults(u"IP_CLOSE:", &f);
  ASSERT_EQ(ask(port, u"Wake Up", 4).dword(), 0);  // the poll runs now
  ASSERT_TRUE(printer.waitUntil([&] { return !printer.commands().empty(); }, 5000)) << "the poll has written";
  DWORD before = GetTickCount();
  EXPECT_TRUE(close(port));
  EXPECT_GE(GetTickCount() - before, 1000u) << "close waited for the read to end";
  KP_PORT_STATS stats{};
  KpPortGetStats(u"IP_CLOSE:", &stats);
  EXPECT_EQ(stats.openHandles, 0u);
  EXPECT_EQ(stats.docsOpen, 0u);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_);
}

TEST_F(MonitorTest, CloseWithAJobPendingIsBounded) {
  Watchdog dog(std::chrono::seconds(60));
  KpSetClockScale(1000);
  LoopbackPrinter printer;
  printer.update([](PrinterState& s) { s.endJobs = false; });
  HANDLE port;
  ASSERT_TRUE(openTcp(u"IP_PENDING:", printer, &port));
  ASSERT_NE(print(port, kPayload), 0u);
  DWORD before = GetTickCount();
  EXPECT_TRUE(close(port));
  DWORD waited = GetTickCount() - before;
  EXPECT_GE(waited, 120000u);
  EXPECT_LT(waited, 120000u + 60000u);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, AHeldMutexMakesWaitersTimeOut) {
  Watchdog dog(std::chrono::seconds(60));
  KpSetClockScale(1000);
  setPortMode(0x1);  // no polling thread
  KpPortDefineFile(u"LPT1:", u"C:\\held.prn");
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  DWORD job = KpMonitorAddJob(u"Kestrel K350", u"doc", u"user");
  std::u16string printerName = u"Kestrel K350";
  ASSERT_TRUE(table_->pfnStartDocPort(port, printerName.data(), job, 1, nullptr));
  KP_PORT_FAULTS f{};
  f.readBlockMs = 200000;  // a reader holds the per-port mutex this long
  KpPortSetFaults(u"LPT1:", &f);

  auto holdWith = [&](std::atomic<bool>& started) {
    return std::thread([&, port] {
      BYTE buf[16];
      DWORD got;
      started = true;
      table_->pfnReadPort(port, buf, sizeof buf, &got);
    });
  };
  std::atomic<bool> started{false};
  std::thread reader = holdWith(started);
  while (!started) std::this_thread::yield();
  Sleep(2000);
  DWORD written = 1;
  std::string data = "DATA";
  DWORD before = GetTickCount();
  EXPECT_FALSE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 4, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(written, 0u);
  EXPECT_GE(GetTickCount() - before, 30000u);
  BYTE in[8];
  DWORD read = 7;
  EXPECT_FALSE(table_->pfnReadPort(port, in, sizeof in, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(read, 0u);
  std::u16string name = u"X";
  DWORD got = 0;
  EXPECT_FALSE(table_->pfnGetPrinterDataFromPort(port, 5, name.data(), nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  // EndDocPort times out too, but clears the job all the same
  EXPECT_FALSE(table_->pfnEndDocPort(port));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  reader.join();
  KpPortSetFaults(u"LPT1:", nullptr);
  EXPECT_FALSE(table_->pfnWritePort(port, reinterpret_cast<BYTE*>(data.data()), 4, &written)) << "no job now";
  EXPECT_NE(print(port, kPayload), 0u) << "the next job runs";
  EXPECT_TRUE(close(port));
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

TEST_F(MonitorTest, StressLeavesNoHeapBlock) {
  Watchdog dog(std::chrono::seconds(120));
  installStatmgr(0);
  LoopbackPrinter printer;
  printer.setMode(PrinterMode::Normal);
  constexpr int kPorts = 3;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < kPorts; ++p) {
    threads.emplace_back([&, p] {
      std::u16string name = u"IP_STRESS" + U16(std::to_string(p)) + u":";
      KpPortDefineTcp(name.c_str(), "127.0.0.1", printer.port());
      for (int round = 0; round < 4; ++round) {
        HANDLE port;
        if (!openPort(name, &port)) {
          failures++;
          continue;
        }
        std::thread asker([&] {
          for (int i = 0; i < 20; ++i) {
            ask(port, u"IsWakeup", 4);
            ask(port, i % 2 ? u"Wake Up" : u"Stop Polling", 4);
            ask(port, u"LM_MemorySizeInKByte", 4);
            if (i % 5 == 0) ask(port, u"Suspend", 4);
          }
        });
        for (int j = 0; j < 3; ++j)
          if (print(port, kPayload, u"stress", 1500) == 0) failures++;
        asker.join();
        if (!close(port)) failures++;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_);
}

TEST_F(MonitorTest, PrintingPriorityGoesBackToTheJobThread) {
  // StartDocPort on one thread, EndDocPort on another: the priority goes back
  // to the thread that started the job, not to the one that ends it.
  Watchdog dog(std::chrono::seconds(60));
  setPortMode(0x1);
  KpPortDefineFile(u"LPT1:", u"C:\\threads.prn");
  DWORD two = THREAD_PRIORITY_HIGHEST;
  setValue(kRoot, u"PrintingPriority", REG_DWORD, &two, 4);
  HANDLE port;
  ASSERT_TRUE(openPort(u"LPT1:", &port));
  std::u16string printer = u"Kestrel K350";
  DWORD job = KpMonitorAddJob(printer.c_str(), u"doc", u"user");
  std::atomic<int> phase{0};
  std::atomic<int> during{99}, after{99};
  std::thread starter([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    if (table_->pfnStartDocPort(port, printer.data(), job, 1, nullptr)) during = GetThreadPriority(GetCurrentThread());
    phase = 1;
    while (phase != 2) std::this_thread::yield();
    after = GetThreadPriority(GetCurrentThread());
  });
  while (phase != 1) std::this_thread::yield();
  EXPECT_TRUE(table_->pfnEndDocPort(port));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL) << "the ending thread is left alone";
  phase = 2;
  starter.join();
  EXPECT_EQ(during.load(), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(after.load(), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_TRUE(close(port));
  EXPECT_EQ(KpOpenHandleCount(), baselineHandles_);
}

TEST_F(MonitorTest, NotificationsDuringCloseNeverReachAFreedPort) {
  // The status manager calls back from its own thread while ports open and
  // close: each close ends its registrations before the port is freed, so
  // no callback runs on a freed context (the sanitizer builds would see it).
  Watchdog dog(std::chrono::seconds(60));
  installStatmgr(0);
  setPortMode(0x5);
  LoopbackPrinter printer;
  std::atomic<bool> done{false};
  std::atomic<int> calls{0};
  std::thread manager([&] {
    while (!done) calls += statmgrNotify(nullptr);
  });
  for (int round = 0; round < 20; ++round) {
    HANDLE port;
    bool opened = openTcp(u"IP_NOTIFY" + U16(std::to_string(round % 2)) + u":", printer, &port);
    EXPECT_TRUE(opened);
    if (!opened) break;  // the manager thread is joined below either way
    if (round % 4 == 0) {
      EXPECT_NE(print(port, kPayload, u"user", 4096, u"Second Printer"), 0u);
    }
    EXPECT_TRUE(close(port));
  }
  done = true;
  manager.join();
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(statmgrRegistrations(nullptr), 0);
  EXPECT_EQ(KpLiveBlockCount(), baselineBlocks_);
}

}  // namespace
}  // namespace kestrel::test
