// Eight threads log at once while some of them open and close the file and
// one re-reads the switches: every line arrives whole, none is lost, and no
// handle is closed under a writer.
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "config_fixture.h"
#include "kestrel/core/logout.h"

namespace kestrel::test::config {
namespace {

using TraceLogThreads = ConfigTest;

TEST_F(TraceLogThreads, EightThreadsLogWholeLines) {
  LogConfig("[LOG]\r\nLog=0x3\r\nLOGOUT.DDMID=12\r\n");
  constexpr int kThreads = 8;
  constexpr int kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int k = 0; k < kLines; ++k) {
        bool own = (t % 2 == 0) && (k % 10 == 0);
        if (own) Logout_OpenFile();
        if (t == 7 && k % 25 == 0) Logout_SetLogoutStatus();  // the switches stay the same
        Logout_OutputString(u"thread %d line %d", t, k);
        if (own) Logout_CloseFile();
      }
    });
  }
  for (auto& th : threads) th.join();

  std::istringstream lines(Log());
  std::set<std::pair<int, int>> seen;
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    int t = -1, k = -1;
    ASSERT_EQ(2, std::sscanf(line.c_str(), "thread %d line %d", &t, &k)) << line;
    seen.insert({t, k});
  }
  EXPECT_EQ(kThreads * kLines, count);
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
}

}  // namespace
}  // namespace kestrel::test::config
