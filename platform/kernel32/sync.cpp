// Critical sections, events, mutexes, semaphores, waits and interlocked
// operations.
#include "sync.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "kplatform/kernel32_sync.h"

namespace kp {

Dispatcher& TheDispatcher() {
  static Dispatcher* d = new Dispatcher;  // outlives every static destructor and thread
  return *d;
}

namespace {

// ---- objects ---------------------------------------------------------------

class EventObject : public Waitable {
 public:
  EventObject(bool manual, bool set) : manual_(manual), set_(set) {}
  bool ready(DWORD) const override { return set_; }
  bool take(DWORD) override {
    if (!manual_) set_ = false;
    return false;
  }
  void set(bool value) { set_ = value; }

 private:
  const bool manual_;
  bool set_;
};

class MutexObject;

// The mutexes the calling thread owns; whatever is left when the thread's
// storage goes is abandoned.
struct OwnedMutexes {
  std::vector<std::weak_ptr<MutexObject>> list;
  ~OwnedMutexes();
};
thread_local OwnedMutexes t_owned;

class MutexObject : public Waitable, public std::enable_shared_from_this<MutexObject> {
 public:
  bool ready(DWORD tid) const override { return owner_ == 0 || owner_ == tid; }
  bool take(DWORD tid) override {
    if (owner_ == tid) {
      ++recursion_;
      return false;
    }
    owner_ = tid;
    recursion_ = 1;
    t_owned.list.push_back(weak_from_this());
    const bool abandoned = abandoned_;
    abandoned_ = false;
    return abandoned;
  }
  // False when `tid` does not own it.
  bool release(DWORD tid) {
    if (owner_ != tid || owner_ == 0) return false;
    if (--recursion_ == 0) {
      owner_ = 0;
      auto& list = t_owned.list;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [this](const std::weak_ptr<MutexObject>& w) {
                                  auto m = w.lock();
                                  return m == nullptr || m.get() == this;
                                }),
                 list.end());
    }
    return true;
  }
  void abandonBy(DWORD tid) {
    if (owner_ != tid) return;
    owner_ = 0;
    recursion_ = 0;
    abandoned_ = true;
  }

 private:
  DWORD owner_ = 0;  // thread id, 0 when free
  LONG recursion_ = 0;
  bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() { AbandonOwnedMutexes(); }

class SemaphoreObject : public Waitable {
 public:
  SemaphoreObject(LONG count, LONG maximum) : count_(count), maximum_(maximum) {}
  bool ready(DWORD) const override { return count_ > 0; }
  bool take(DWORD) override {
    --count_;
    return false;
  }
  // False when the release would pass the maximum.
  bool release(LONG n, LONG& previous) {
    previous = count_;
    if (n > maximum_ - count_) return false;
    count_ += n;
    return true;
  }

 private:
  LONG count_;
  const LONG maximum_;
};

// ---- names -----------------------------------------------------------------

struct Names {
  std::mutex lock;
  std::map<std::u16string, std::weak_ptr<KernelObject>> objects;
};

Names& TheNames() {
  static Names* n = new Names;
  return *n;
}

// Creates an object of type T, or opens the one that bears the name. The
// last error follows Windows: ERROR_ALREADY_EXISTS when opened, else
// ERROR_SUCCESS.
template <class T, class Make>
HANDLE CreateNamed(LPCWSTR name, Make make) {
  if (name == nullptr || name[0] == 0) {
    HANDLE handle = InsertHandle(make());
    if (handle == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
  }
  Names& names = TheNames();
  std::lock_guard<std::mutex> guard(names.lock);
  std::erase_if(names.objects, [](const auto& entry) { return entry.second.expired(); });
  auto it = names.objects.find(name);
  if (it != names.objects.end()) {
    // The last handle may have closed since the sweep above: the name then
    // names nothing any more and is made anew below.
    auto alive = it->second.lock();
    if (alive != nullptr) {
      auto existing = std::dynamic_pointer_cast<T>(alive);
      if (existing == nullptr) {  // the name belongs to another kind of object
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      HANDLE handle = InsertHandle(existing);
      SetLastError(handle == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ALREADY_EXISTS);
      return handle;
    }
    names.objects.erase(it);
  }
  std::shared_ptr<T> object = make();
  HANDLE handle = InsertHandle(object);
  if (handle == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  names.objects.emplace(name, object);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

template <class T>
HANDLE OpenNamed(LPCWSTR name) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Names& names = TheNames();
  std::lock_guard<std::mutex> guard(names.lock);
  auto it = names.objects.find(name);
  std::shared_ptr<KernelObject> object = it == names.objects.end() ? nullptr : it->second.lock();
  if (object == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (typed == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HANDLE handle = InsertHandle(typed);
  if (handle == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return handle;
}

// ---- critical sections -----------------------------------------------------

struct SectionLock {
  std::mutex mutex;
  std::atomic<DWORD> owner{0};  // read by other threads only to compare with their own id
  LONG recursion = 0;           // touched by the owner only
};

SectionLock* LockOf(LPCRITICAL_SECTION section, const char* function) {
  if (section == nullptr || section->Lock == nullptr) {
    std::fprintf(stderr, "%s: the critical section is not initialised\n", function);
    std::abort();
  }
  return static_cast<SectionLock*>(section->Lock);
}

}  // namespace

void AbandonOwnedMutexes() {
  std::vector<std::weak_ptr<MutexObject>> owned;
  owned.swap(t_owned.list);
  if (owned.empty()) return;
  const DWORD tid = CurrentThreadId();
  Dispatcher& d = TheDispatcher();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    for (auto& weak : owned)
      if (auto mutex = weak.lock()) mutex->abandonBy(tid);
  }
  d.changed.notify_all();
}

}  // namespace kp

// ---- critical sections -------------------------------------------------------

KP_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section == nullptr) return;
  *section = CRITICAL_SECTION{};
  section->Lock = new kp::SectionLock;
}

KP_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  kp::SectionLock* lock = kp::LockOf(section, "EnterCriticalSection");
  const DWORD me = kp::CurrentThreadId();
  if (lock->owner.load(std::memory_order_relaxed) == me) {
    ++lock->recursion;
    return;
  }
  lock->mutex.lock();
  lock->owner.store(me, std::memory_order_relaxed);
  lock->recursion = 1;
}

KP_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  kp::SectionLock* lock = kp::LockOf(section, "TryEnterCriticalSection");
  const DWORD me = kp::CurrentThreadId();
  if (lock->owner.load(std::memory_order_relaxed) == me) {
    ++lock->recursion;
    return TRUE;
  }
  if (!lock->mutex.try_lock()) return FALSE;
  lock->owner.store(me, std::memory_order_relaxed);
  lock->recursion = 1;
  return TRUE;
}

KP_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  kp::SectionLock* lock = kp::LockOf(section, "LeaveCriticalSection");
  if (lock->owner.load(std::memory_order_relaxed) != kp::CurrentThreadId()) return;
  if (--lock->recursion == 0) {
    lock->owner.store(0, std::memory_order_relaxed);
    lock->mutex.unlock();
  }
}

KP_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (section == nullptr || section->Lock == nullptr) return;
  auto* lock = static_cast<kp::SectionLock*>(section->Lock);
  section->Lock = nullptr;
  if (lock->owner.load(std::memory_order_relaxed) == kp::CurrentThreadId()) {
    lock->mutex.unlock();
  } else if (!lock->mutex.try_lock()) {
    return;  // held by another thread: its lock object stays, never freed under it
  } else {
    lock->mutex.unlock();
  }
  delete lock;
}

// ---- events, mutexes, semaphores ---------------------------------------------

KP_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return kp::CreateNamed<kp::EventObject>(
      name, [&] { return std::make_shared<kp::EventObject>(manualReset != FALSE, initialState != FALSE); });
}

KP_API HANDLE WINAPI OpenEventW(DWORD, BOOL, LPCWSTR name) { return kp::OpenNamed<kp::EventObject>(name); }

namespace {

BOOL SetEventState(HANDLE handle, bool set) {
  auto event = kp::LookupHandleAs<kp::EventObject>(handle);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kp::Dispatcher& d = kp::TheDispatcher();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    event->set(set);
  }
  if (set) d.changed.notify_all();
  return TRUE;
}

}  // namespace

KP_API BOOL WINAPI SetEvent(HANDLE event) { return SetEventState(event, true); }

KP_API BOOL WINAPI ResetEvent(HANDLE event) { return SetEventState(event, false); }

KP_API HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
  bool created = false;
  HANDLE handle = kp::CreateNamed<kp::MutexObject>(name, [&] {
    created = true;
    return std::make_shared<kp::MutexObject>();
  });
  if (handle != nullptr && created && initialOwner) {
    const DWORD error = GetLastError();
    auto mutex = kp::LookupHandleAs<kp::MutexObject>(handle);
    kp::Dispatcher& d = kp::TheDispatcher();
    std::lock_guard<std::mutex> guard(d.lock);
    mutex->take(kp::CurrentThreadId());
    SetLastError(error);
  }
  return handle;
}

KP_API HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR name) { return kp::OpenNamed<kp::MutexObject>(name); }

KP_API BOOL WINAPI ReleaseMutex(HANDLE handle) {
  auto mutex = kp::LookupHandleAs<kp::MutexObject>(handle);
  if (mutex == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kp::Dispatcher& d = kp::TheDispatcher();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (!mutex->release(kp::CurrentThreadId())) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
  }
  d.changed.notify_all();
  return TRUE;
}

KP_API HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCWSTR name) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return kp::CreateNamed<kp::SemaphoreObject>(
      name, [&] { return std::make_shared<kp::SemaphoreObject>(initialCount, maximumCount); });
}

KP_API BOOL WINAPI ReleaseSemaphore(HANDLE handle, LONG releaseCount, LPLONG previousCount) {
  auto semaphore = kp::LookupHandleAs<kp::SemaphoreObject>(handle);
  if (semaphore == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (releaseCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  kp::Dispatcher& d = kp::TheDispatcher();
  LONG previous = 0;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (!semaphore->release(releaseCount, previous)) {
      SetLastError(ERROR_TOO_MANY_POSTS);
      return FALSE;
    }
  }
  d.changed.notify_all();
  if (previousCount != nullptr) *previousCount = previous;
  return TRUE;
}

// ---- waits --------------------------------------------------------------------

KP_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::shared_ptr<kp::Waitable> objects[MAXIMUM_WAIT_OBJECTS];
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = kp::LookupHandleAs<kp::Waitable>(handles[i]);
    if (objects[i] == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (waitAll)
      for (DWORD j = 0; j < i; ++j)
        if (objects[j] == objects[i]) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
  }
  const DWORD tid = kp::CurrentThreadId();
  DWORD result = WAIT_TIMEOUT;
  // Takes what the wait asks for when it can be had now.
  auto attempt = [&]() -> bool {
    if (!waitAll) {
      for (DWORD i = 0; i < count; ++i)
        if (objects[i]->ready(tid)) {
          result = (objects[i]->take(tid) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
          return true;
        }
      return false;
    }
    for (DWORD i = 0; i < count; ++i)
      if (!objects[i]->ready(tid)) return false;
    result = WAIT_OBJECT_0;
    for (DWORD i = 0; i < count; ++i)
      if (objects[i]->take(tid) && result == WAIT_OBJECT_0) result = WAIT_ABANDONED_0 + i;
    return true;
  };
  kp::Dispatcher& d = kp::TheDispatcher();
  std::unique_lock<std::mutex> lock(d.lock);
  const bool done = milliseconds == 0 ? attempt() : kp::WaitFor(d.changed, lock, milliseconds, attempt);
  return done ? result : static_cast<DWORD>(WAIT_TIMEOUT);
}

KP_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

// ---- interlocked ------------------------------------------------------------

KP_API LONG WINAPI InterlockedIncrement(LONG volatile* addend) {
  return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

KP_API LONG WINAPI InterlockedDecrement(LONG volatile* addend) {
  return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

KP_API LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

KP_API LONG WINAPI InterlockedExchangeAdd(LONG volatile* addend, LONG value) {
  return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}

KP_API LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

KP_API PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
