// Code pages, message boxes and machine facts used from many threads at once.
#include <gtest/gtest.h>
#include <kplatform/kernel32_codepage.h>
#include <kplatform/kernel32_system.h>
#include <kplatform/user32_messagebox.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;

TEST(TextConcurrency, ConversionsOnManyThreadsAgree) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      const UINT cp = (t % 3 == 0) ? 932u : (t % 3 == 1 ? 65001u : 1252u);
      const char* bytes = cp == 932 ? "\x93\xFA\x96\x7B" : (cp == 65001 ? "\xE6\x97\xA5\xE6\x9C\xAC" : "caf\xE9");
      const char16_t* wide = cp == 1252 ? u"caf\u00E9" : u"\u65E5\u672C";
      for (int i = 0; i < 300; ++i) {
        WCHAR w[8] = {};
        char b[8] = {};
        int nw = MultiByteToWideChar(cp, 0, bytes, -1, w, 8);
        int nb = WideCharToMultiByte(cp, 0, wide, -1, b, 8, nullptr, nullptr);
        if (nw == 0 || std::u16string(w) != wide || nb == 0 || std::string(b) != bytes) ++wrong;
      }
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < 300; ++i) KpSetACP(i % 2 == 0 ? 932 : 1252);
  });
  for (auto& th : threads) th.join();
  KpSetACP(1252);
  EXPECT_EQ(0, wrong.load());
}

TEST(TextConcurrency, EachQueuedAnswerIsTakenExactlyOnce) {
  KpClearMessageBoxes();
  for (int i = 0; i < kThreads * 10; ++i) KpQueueMessageBoxAnswer(i % 2 == 0 ? IDYES : IDNO);
  std::atomic<int> yes{0}, no{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        int answer = MessageBoxW(nullptr, u"Replace?", u"Favourites", MB_YESNO);
        (answer == IDYES ? yes : no)++;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(kThreads * 5, yes.load());
  EXPECT_EQ(kThreads * 5, no.load());
  EXPECT_EQ(static_cast<DWORD>(kThreads * 10), KpMessageBoxCount());
  EXPECT_EQ(0u, KpQueuedMessageBoxAnswers());
  KpClearMessageBoxes();
}

TEST(TextConcurrency, NamesAreNeverSeenHalfChanged) {
  ASSERT_TRUE(KpSetUserName(u"alice"));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < kThreads; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        WCHAR name[UNLEN + 1];
        DWORD size = UNLEN + 1;
        if (!GetUserNameW(name, &size)) continue;
        std::u16string seen(name);
        if (seen != u"alice" && seen != u"bartholomew") ++torn;
        OutputDebugStringW(u"x");
      }
    });
  }
  for (int i = 0; i < 2000; ++i) KpSetUserName(i % 2 == 0 ? u"alice" : u"bartholomew");
  stop = true;
  for (auto& th : readers) th.join();
  KpResetMachineFacts();
  KpClearDebugOutput();
  EXPECT_EQ(0, torn.load());
}

}  // namespace
