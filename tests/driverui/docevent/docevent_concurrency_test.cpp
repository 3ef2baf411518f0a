// CreateDC and DeleteDC on eight threads at once, one printer: kestrelui's
// record list under its lock, each DC with its own printer handle and
// renderer session (also run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "docevent_fixture.h"

namespace kestrel::test::docevent {
namespace {

TEST_F(DocEventTest, CreateAndDeleteDcOnEightThreads) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 3;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        HDC hdc = CreateDCW(nullptr, kPrinter, nullptr, nullptr);
        if (!hdc) {
          ++failures;
          continue;
        }
        DOCINFOW doc{sizeof(DOCINFOW), u"Thread", nullptr, nullptr, 0};
        if (StartDocW(hdc, &doc) <= 0 || StartPage(hdc) <= 0 || EndPage(hdc) <= 0 || EndDoc(hdc) <= 0) ++failures;
        if (!DeleteDC(hdc)) ++failures;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(KpDcCount(), 0u);
}

}  // namespace
}  // namespace kestrel::test::docevent
