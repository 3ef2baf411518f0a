// Synchronisation between threads: events releasing waiters, owned and
// abandoned mutexes, semaphores as pools, waits on threads, critical
// sections. Also run under ThreadSanitizer.
#include <kplatform/kernel32_memory.h>
#include <kplatform/kernel32_sync.h>
#include <kplatform/kernel32_time.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class SyncThreads : public ::testing::Test {
 protected:
  void SetUp() override { handles_ = KpOpenHandleCount(); }
  void TearDown() override {
    KpSetClockScale(1);
    EXPECT_EQ(handles_, KpOpenHandleCount());
  }

  // Waits (real time) until `done` holds; false after five seconds.
  template <class Done>
  static bool Eventually(Done done) {
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;) {
      if (done()) return true;
      std::this_thread::sleep_for(1ms);
    }
    return done();
  }

 private:
  size_t handles_ = 0;
};

TEST_F(SyncThreads, EachSetOfAnAutoResetEventReleasesExactlyOneWaiter) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e, INFINITE) == WAIT_OBJECT_0) ++released;
    });
  for (int expected = 1; expected <= 3; ++expected) {
    SetEvent(e);
    ASSERT_TRUE(Eventually([&] { return released == expected; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(expected, released.load());  // and no more
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
  CloseHandle(e);
}

TEST_F(SyncThreads, AManualResetEventReleasesEveryWaiter) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e, INFINITE) == WAIT_OBJECT_0) ++released;
    });
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(0, released.load());
  SetEvent(e);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(4, released.load());
  CloseHandle(e);
}

TEST_F(SyncThreads, AWaitEndsWhenTheEventIsSetBeforeItsTimeOut) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  KpSetClockScale(1000);  // 30000 ms of clock are 30 ms of real time
  std::thread setter([&] {
    std::this_thread::sleep_for(5ms);
    SetEvent(e);
  });
  const auto start = std::chrono::steady_clock::now();
  DWORD result = WaitForSingleObject(e, 3'000'000);  // 3000 s of clock, 3 s real
  setter.join();
  EXPECT_EQ(WAIT_OBJECT_0, result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  CloseHandle(e);
}

DWORD WINAPI TakeMutexAndEnd(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE) == WAIT_OBJECT_0 ? 7 : 8;
}

TEST_F(SyncThreads, AMutexLeftByAnEndedThreadIsAbandonedToTheNextWaiter) {
  HANDLE m = CreateMutexW(nullptr, FALSE, nullptr);
  // A thread of CreateThread, and a thread the stand-in did not start.
  HANDLE t = CreateThread(nullptr, 0, TakeMutexAndEnd, m, 0, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 5000));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(7u, code);
  CloseHandle(t);
  EXPECT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(m, 0));
  EXPECT_TRUE(ReleaseMutex(m));  // the abandoned wait took ownership
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
  EXPECT_TRUE(ReleaseMutex(m));

  std::thread([&] { TakeMutexAndEnd(m); }).join();
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[] = {e, m};
  EXPECT_EQ(WAIT_ABANDONED_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0));
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(e);
  CloseHandle(m);
}

TEST_F(SyncThreads, OnlyTheOwnerReleasesAMutexAndOthersWaitForIt) {
  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  std::thread([&] {
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(m, 20));
  }).join();
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    if (WaitForSingleObject(m, INFINITE) == WAIT_OBJECT_0) got = true;
    ReleaseMutex(m);
  });
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(got.load());
  EXPECT_TRUE(ReleaseMutex(m));
  waiter.join();
  EXPECT_TRUE(got.load());
  CloseHandle(m);
}

TEST_F(SyncThreads, LocksKeepSharedCountersExact) {
  // A plain counter under each kind of lock: lost updates (or, under
  // ThreadSanitizer, a race) show a lock that does not exclude.
  HANDLE m = CreateMutexW(nullptr, FALSE, nullptr);
  HANDLE s = CreateSemaphoreW(nullptr, 1, 1, nullptr);
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long underMutex = 0, underSemaphore = 0, underSection = 0;
  LONG interlocked = 0;
  constexpr int kThreads = 4, kRounds = 2000;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&] {
      for (int r = 0; r < kRounds; ++r) {
        WaitForSingleObject(m, INFINITE);
        WaitForSingleObject(m, INFINITE);  // re-entrant
        ++underMutex;
        ReleaseMutex(m);
        ReleaseMutex(m);
        WaitForSingleObject(s, INFINITE);
        ++underSemaphore;
        ReleaseSemaphore(s, 1, nullptr);
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);
        ++underSection;
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
        InterlockedIncrement(&interlocked);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(kThreads * kRounds, underMutex);
  EXPECT_EQ(kThreads * kRounds, underSemaphore);
  EXPECT_EQ(kThreads * kRounds, underSection);
  EXPECT_EQ(kThreads * kRounds, interlocked);
  DeleteCriticalSection(&cs);
  CloseHandle(m);
  CloseHandle(s);
}

TEST_F(SyncThreads, ACriticalSectionHeldByOneThreadIsNotEnteredByAnother) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::thread([&] {
    EXPECT_FALSE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);  // not the owner: nothing happens
  }).join();
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&cs);
    entered = true;
    LeaveCriticalSection(&cs);
  });
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(entered.load());
  LeaveCriticalSection(&cs);
  other.join();
  EXPECT_TRUE(entered.load());
  DeleteCriticalSection(&cs);
}

TEST_F(SyncThreads, ASemaphoreLimitsHowManyHoldItAtOnce) {
  HANDLE s = CreateSemaphoreW(nullptr, 2, 2, nullptr);
  std::atomic<int> inside{0}, most{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i)
    threads.emplace_back([&] {
      for (int r = 0; r < 20; ++r) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s, INFINITE));
        int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::yield();
        --inside;
        ReleaseSemaphore(s, 1, nullptr);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_LE(most.load(), 2);
  LONG previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));  // both counts are back
  CloseHandle(s);
}

TEST_F(SyncThreads, WaitingForAllReturnsOnlyWhenEveryObjectIsSignalled) {
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE b = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[] = {a, b};
  std::atomic<DWORD> result{0xDEAD};
  std::thread waiter([&] { result = WaitForMultipleObjects(2, both, TRUE, INFINITE); });
  SetEvent(a);
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(0xDEADu, result.load());
  SetEvent(b);
  waiter.join();
  EXPECT_EQ(WAIT_OBJECT_0, result.load());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, both, FALSE, 0));  // both consumed

  std::thread any([&] { result = WaitForMultipleObjects(2, both, FALSE, INFINITE); });
  SetEvent(b);
  any.join();
  EXPECT_EQ(WAIT_OBJECT_0 + 1, result.load());
  CloseHandle(a);
  CloseHandle(b);
}

struct ThreadArgs {
  HANDLE go;
  DWORD seenId;
  DWORD seenError;
};

DWORD WINAPI WaitForGoThenAnswer(LPVOID p) {
  auto* args = static_cast<ThreadArgs*>(p);
  args->seenError = GetLastError();  // a new thread starts with no error
  SetLastError(ERROR_ACCESS_DENIED);
  WaitForSingleObject(args->go, INFINITE);
  args->seenId = GetCurrentThreadId();
  return 42;
}

TEST_F(SyncThreads, AThreadHandleIsSignalledWithTheThreadsResultWhenItEnds) {
  ThreadArgs args{CreateEventW(nullptr, FALSE, FALSE, nullptr), 0, 1234};
  SetLastError(ERROR_BUSY);
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, WaitForGoThenAnswer, &args, 0, &id);
  ASSERT_NE(nullptr, t);
  EXPECT_NE(0u, id);
  EXPECT_NE(GetCurrentThreadId(), id);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(STILL_ACTIVE, code);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(t, 20));
  SetEvent(args.go);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, INFINITE));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, 0));  // stays signalled
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(42u, code);
  EXPECT_EQ(id, args.seenId);
  EXPECT_EQ(0u, args.seenError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), GetLastError());  // per thread
  CloseHandle(t);
  CloseHandle(args.go);

  SetLastError(0);
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, WaitForGoThenAnswer, &args, CREATE_SUSPENDED, nullptr));
}

DWORD WINAPI AllocateAndFree(LPVOID heap) {
  for (int i = 0; i < 500; ++i) {
    void* g = GlobalAlloc(GPTR, 16 + i);
    void* h = HeapAlloc(static_cast<HANDLE>(heap), 0, 16 + i);
    h = HeapReAlloc(static_cast<HANDLE>(heap), 0, h, 64 + i);
    if (g == nullptr || h == nullptr || GlobalSize(g) != static_cast<SIZE_T>(16 + i)) return 1;
    GlobalFree(g);
    HeapFree(static_cast<HANDLE>(heap), 0, h);
  }
  return 0;
}

TEST_F(SyncThreads, ThreadsShareAHeapAndTheGlobalBlocksWithoutLosingAny) {
  const size_t blocks = KpLiveBlockCount();
  HANDLE heap = HeapCreate(0, 1, 0);
  HANDLE threads[4];
  for (HANDLE& t : threads) t = CreateThread(nullptr, 0, AllocateAndFree, heap, 0, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(4, threads, TRUE, INFINITE));
  for (HANDLE t : threads) {
    DWORD code = 9;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(t);
  }
  EXPECT_EQ(0u, KpHeapBlockCount(heap));
  HeapDestroy(heap);
  EXPECT_EQ(blocks, KpLiveBlockCount());
}

}  // namespace

TEST_F(SyncThreads, CreatingANamedObjectWhileItsLastHandleClosesAlwaysSucceeds) {
  // One thread keeps opening and closing the name while others create it: a
  // create that meets a name whose object has just died makes a new one.
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  auto churn = [&] {
    for (int i = 0; i < 2000 && !stop; ++i) {
      HANDLE h = CreateMutexW(nullptr, FALSE, u"Kestrel.Churn");
      if (h == nullptr) {
        ++failures;
        continue;
      }
      CloseHandle(h);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(churn);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}
