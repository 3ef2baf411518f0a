// Synchronisation objects seen from one thread: latching, counting, names,
// time-outs and bad arguments. Tests with several threads are in
// sync_concurrency_test.cpp.
#include <kplatform/kernel32_memory.h>
#include <kplatform/kernel32_sync.h>
#include <kplatform/kernel32_time.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override { handles_ = KpOpenHandleCount(); }
  void TearDown() override {
    KpSetClockScale(1);
    EXPECT_EQ(handles_, KpOpenHandleCount());
  }

 private:
  size_t handles_ = 0;
};

TEST_F(SyncTest, AnAutoResetEventLatchesOneSetForOneWait) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
  EXPECT_TRUE(SetEvent(e));
  EXPECT_TRUE(SetEvent(e));  // two sets before the wait: still one release
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 10));
  SetEvent(e);
  ResetEvent(e);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
  CloseHandle(e);
}

TEST_F(SyncTest, AManualResetEventStaysSetUntilReset) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(e, 0));
  ResetEvent(e);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
  CloseHandle(e);
}

TEST_F(SyncTest, AScaledThirtySecondWaitTimesOutInMilliseconds) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  KpSetClockScale(1000);
  const DWORD ticks = GetTickCount();
  const auto real = std::chrono::steady_clock::now();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 30000));
  EXPECT_LT(std::chrono::steady_clock::now() - real, std::chrono::seconds(5));
  EXPECT_GE(GetTickCount() - ticks, 30000u);
  CloseHandle(e);
}

TEST_F(SyncTest, AMutexIsReentrantForItsOwner) {
  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m, 0));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));  // the initial ownership
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
  CloseHandle(m);
}

TEST_F(SyncTest, SemaphoresCountAndRefuseReleasesPastTheirMaximum) {
  HANDLE s = CreateSemaphoreW(nullptr, 1, 2, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s, 0));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
  EXPECT_EQ(0, previous);
  SetLastError(0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(static_cast<DWORD>(ERROR_TOO_MANY_POSTS), GetLastError());
  EXPECT_FALSE(ReleaseSemaphore(s, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s, 0));
  CloseHandle(s);
  struct Bad {
    LONG initial, maximum;
  } bad[] = {{0, 0}, {-1, 1}, {3, 2}, {0, -5}};
  for (const Bad& b : bad) {
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateSemaphoreW(nullptr, b.initial, b.maximum, nullptr)) << b.initial << "/" << b.maximum;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
}

TEST_F(SyncTest, WaitingForAllTakesEverythingOrNothing) {
  HANDLE s = CreateSemaphoreW(nullptr, 1, 1, nullptr);
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[] = {s, e};
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, both, TRUE, 10));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(s, 0));  // the failed wait took nothing
  ReleaseSemaphore(s, 1, nullptr);
  SetEvent(e);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s, 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(e, 0));
  // Waiting for any answers the lowest index that is signalled.
  SetEvent(e);
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0));
  ReleaseSemaphore(s, 1, nullptr);
  SetEvent(e);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, FALSE, 0));
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0));
  CloseHandle(s);
  CloseHandle(e);
}

TEST_F(SyncTest, BadWaitsFailWithTheReason) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE heap = HeapCreate(0, 1, 0);
  HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  CloseHandle(closed);
  struct Case {
    const char* what;
    DWORD count;
    HANDLE handles[2];
    BOOL all;
    DWORD error;
  } cases[] = {
      {"no handles", 0, {e, e}, FALSE, ERROR_INVALID_PARAMETER},
      {"too many", MAXIMUM_WAIT_OBJECTS + 1, {e, e}, FALSE, ERROR_INVALID_PARAMETER},
      {"same object twice for all", 2, {e, e}, TRUE, ERROR_INVALID_PARAMETER},
      {"null", 1, {nullptr}, FALSE, ERROR_INVALID_HANDLE},
      {"invalid value", 1, {INVALID_HANDLE_VALUE}, FALSE, ERROR_INVALID_HANDLE},
      {"closed", 2, {e, closed}, FALSE, ERROR_INVALID_HANDLE},
      {"not waitable", 1, {heap}, FALSE, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(c.count, c.handles, c.all, 0)) << c.what;
    EXPECT_EQ(c.error, GetLastError()) << c.what;
  }
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(1, nullptr, FALSE, 0));
  // Setting, releasing or reading through a handle of the wrong kind fails.
  EXPECT_FALSE(SetEvent(heap));
  EXPECT_FALSE(ReleaseMutex(e));
  EXPECT_FALSE(ReleaseSemaphore(e, 1, nullptr));
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(e, &code));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  HeapDestroy(heap);
  CloseHandle(e);
}

TEST_F(SyncTest, NamedObjectsAreSharedByNameAndKind) {
  const char16_t* name = u"KestrelTestEvent";
  SetLastError(1234);
  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, name);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  HANDLE b = CreateEventW(nullptr, FALSE, TRUE, name);  // opens the first; arguments ignored
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_NE(a, b);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(b, 0));
  HANDLE c = OpenEventW(EVENT_ALL_ACCESS, FALSE, name);
  SetEvent(c);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(a, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(b, 0));  // manual reset, as created first

  SetLastError(0);
  EXPECT_EQ(nullptr, CreateMutexW(nullptr, FALSE, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(nullptr, OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, u"kestreltestevent"));  // names keep their case
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  // The name goes with the last handle.
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(c);
  EXPECT_EQ(nullptr, OpenEventW(EVENT_ALL_ACCESS, FALSE, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  HANDLE m = CreateMutexW(nullptr, TRUE, name);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  HANDLE m2 = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name);
  EXPECT_TRUE(ReleaseMutex(m2));
  HANDLE s = CreateSemaphoreW(nullptr, 0, 1, u"KestrelTestSemaphore");
  HANDLE s2 = CreateSemaphoreW(nullptr, 1, 1, u"KestrelTestSemaphore");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s2, 0));
  for (HANDLE h : {m, m2, s, s2}) CloseHandle(h);
}

TEST_F(SyncTest, CriticalSectionsAreReentrant) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  EnterCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);  // not held: nothing happens
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  DeleteCriticalSection(&cs);  // deleted while held by this thread
  EXPECT_EQ(nullptr, cs.Lock);
  DeleteCriticalSection(&cs);  // twice: nothing happens
}

TEST_F(SyncTest, EnteringASectionThatWasNeverInitialisedStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CRITICAL_SECTION cs{};
  EXPECT_DEATH(EnterCriticalSection(&cs), "not initialised");
}

TEST_F(SyncTest, InterlockedOperationsAnswerLikeWindows) {
  LONG v = 5;
  EXPECT_EQ(6, InterlockedIncrement(&v));
  EXPECT_EQ(5, InterlockedDecrement(&v));
  EXPECT_EQ(5, InterlockedExchange(&v, 9));
  EXPECT_EQ(9, InterlockedExchangeAdd(&v, 3));
  EXPECT_EQ(12, InterlockedCompareExchange(&v, 1, 7));  // no match: unchanged
  EXPECT_EQ(12, v);
  EXPECT_EQ(12, InterlockedCompareExchange(&v, 1, 12));
  EXPECT_EQ(1, v);
  int a = 0, b = 0;
  PVOID p = &a;
  EXPECT_EQ(&a, InterlockedCompareExchangePointer(&p, &b, &a));
  EXPECT_EQ(&b, p);
}

}  // namespace
