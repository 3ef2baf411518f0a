// Files used from several threads at once: sharing checks cannot be raced,
// and temporary names stay unique.
#include <kplatform/kernel32_file.h>
#include <kplatform/kernel32_sync.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "temp_root.h"

using kestrel::test::RootedTest;

namespace {

class FileConcurrencyTest : public RootedTest {};

TEST_F(FileConcurrencyTest, AnExclusiveOpenIsHeldByOneThreadAtATime) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 200;
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> wins{0};
  std::atomic<int> wrongErrors{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        HANDLE file = CreateFileW(u"C:\\Windows\\Temp\\lock.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
          if (GetLastError() != static_cast<DWORD>(ERROR_SHARING_VIOLATION)) ++wrongErrors;
          continue;
        }
        if (++holders != 1) ++overlaps;
        ++wins;
        DWORD n = 0;
        WriteFile(file, "x", 1, &n, nullptr);
        --holders;
        CloseHandle(file);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0, overlaps.load());
  EXPECT_EQ(0, wrongErrors.load());
  EXPECT_GT(wins.load(), 0);
}

TEST_F(FileConcurrencyTest, TempFileNamesStayUniqueAcrossThreads) {
  constexpr int kThreads = 6;
  constexpr int kNames = 100;
  std::vector<std::vector<std::u16string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&names, t] {
      for (int i = 0; i < kNames; ++i) {
        WCHAR name[MAX_PATH];
        if (GetTempFileNameW(u"C:\\Windows\\Temp", u"ZNF", 0, name) != 0) names[t].push_back(name);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::set<std::u16string> all;
  for (const auto& list : names) {
    EXPECT_EQ(static_cast<size_t>(kNames), list.size());
    all.insert(list.begin(), list.end());
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kNames), all.size());
}

TEST_F(FileConcurrencyTest, HandlesClosedOnOneThreadWhileAnotherReads) {
  kestrel::test::WriteHostFile(root_.host("c/Windows/Temp/data.bin"), std::string(4096, 'd'));
  for (int round = 0; round < 50; ++round) {
    HANDLE file = CreateFileW(u"C:\\Windows\\Temp\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::thread reader([file] {
      char buffer[64];
      DWORD n = 0;
      while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n != 0) {
      }
    });
    CloseHandle(file);
    reader.join();
  }
  // Every share was given back: an exclusive open succeeds.
  HANDLE file = CreateFileW(u"C:\\Windows\\Temp\\data.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
}

}  // namespace
