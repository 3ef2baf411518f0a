// Thread priorities: a value kept per thread, reached through the pseudo
// handle, CreateThread handles and OpenThread handles from any thread.
#include <gtest/gtest.h>
#include <kplatform/kwindows.h>

#include <atomic>
#include <thread>

namespace {

TEST(ThreadPriority, LevelsAreKeptAndOthersRefused) {
  ASSERT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  for (int level : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                    THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL}) {
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), level)) << level;
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), level);
  }
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL));
  for (int bad : {3, -3, 14, 16, -16, THREAD_PRIORITY_ERROR_RETURN}) {
    SetLastError(0);
    EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), bad)) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_ABOVE_NORMAL) << "refused values change nothing";

  // handles that name no thread
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (HANDLE h : {static_cast<HANDLE>(nullptr), event, reinterpret_cast<HANDLE>(0x7FF0)}) {
    SetLastError(0);
    EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetThreadPriority(h, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  CloseHandle(event);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

TEST(ThreadPriority, AnOpenedHandleReachesTheThreadFromAnyThread) {
  // a thread the stand-in did not start
  std::atomic<int> phase{0};
  std::atomic<DWORD> id{0};
  std::atomic<int> seen{99};
  std::thread host([&] {
    id = GetCurrentThreadId();
    phase = 1;
    while (phase != 2) std::this_thread::yield();
    seen = GetThreadPriority(GetCurrentThread());
  });
  while (phase != 1) std::this_thread::yield();
  HANDLE h = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_NORMAL) << "each thread starts normal";
  EXPECT_TRUE(SetThreadPriority(h, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL) << "the caller's own is untouched";
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  phase = 2;
  host.join();
  EXPECT_EQ(seen.load(), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0) << "its handle is signalled when it ends";
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_EQ(OpenThread(THREAD_QUERY_INFORMATION, FALSE, id), nullptr) << "an ended thread";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // a CreateThread thread: OpenThread and its own handle name the same thread
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  struct Arg {
    HANDLE go;
    int seen;
  } arg{go, 99};
  DWORD tid = 0;
  HANDLE t = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* a = static_cast<Arg*>(p);
        WaitForSingleObject(a->go, INFINITE);
        a->seen = GetThreadPriority(GetCurrentThread());
        return 7;
      },
      &arg, 0, &tid);
  ASSERT_NE(t, nullptr);
  HANDLE opened = OpenThread(THREAD_SET_INFORMATION, FALSE, tid);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(SetThreadPriority(opened, THREAD_PRIORITY_LOWEST));
  EXPECT_EQ(GetThreadPriority(t), THREAD_PRIORITY_LOWEST);
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(opened, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(opened, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(arg.seen, THREAD_PRIORITY_LOWEST);
  CloseHandle(opened);
  CloseHandle(t);
  CloseHandle(go);
  SetLastError(0);
  EXPECT_EQ(OpenThread(THREAD_QUERY_INFORMATION, FALSE, 0xFFFFFFF0u), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
