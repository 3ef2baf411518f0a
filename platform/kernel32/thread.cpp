// Threads: CreateThread over detached host threads, thread ids, the thread
// handle that is signalled when the thread ends, and the priority value kept
// per thread.
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "kplatform/kernel32_sync.h"
#include "sync.h"

namespace kp {
namespace {

std::atomic<DWORD> g_nextThreadId{4};
thread_local DWORD t_threadId = 0;

class ThreadObject : public Waitable {
 public:
  bool ready(DWORD) const override { return finished; }
  bool take(DWORD) override { return false; }

  bool finished = false;  // under the dispatcher lock
  DWORD exitCode = STILL_ACTIVE;
  DWORD id = 0;
  std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
};

// The threads that run now, by id, for OpenThread. The lock is a leaf: it is
// taken under other locks (a thread's first id may be asked for anywhere)
// and nothing else is taken under it.
struct Threads {
  std::mutex lock;
  std::map<DWORD, std::weak_ptr<ThreadObject>> running;
};
Threads& TheThreads() {
  static Threads* t = new Threads();  // lives as long as the process
  return *t;
}

void Register(const std::shared_ptr<ThreadObject>& object) {
  Threads& t = TheThreads();
  std::lock_guard<std::mutex> guard(t.lock);
  t.running[object->id] = object;
}

// The calling thread's own object: set by RunThread for CreateThread threads,
// made with the thread's id for every other thread. When the thread's
// thread-local storage goes, its entry leaves the table, and a thread the
// stand-in did not start is marked ended.
struct Self {
  std::shared_ptr<ThreadObject> object;
  bool foreign = false;
  ~Self() {
    if (!object) return;
    {
      Threads& t = TheThreads();
      std::lock_guard<std::mutex> guard(t.lock);
      auto it = t.running.find(object->id);
      if (it != t.running.end() && it->second.lock() == object) t.running.erase(it);
    }
    if (foreign) {
      Dispatcher& d = TheDispatcher();
      {
        std::lock_guard<std::mutex> guard(d.lock);
        object->exitCode = 0;
        object->finished = true;
      }
      d.changed.notify_all();
    }
  }
};
thread_local Self t_self;

void RunThread(const std::shared_ptr<ThreadObject>& self, LPTHREAD_START_ROUTINE start, LPVOID parameter,
               DWORD id) {
  AdoptThreadId(id);
  t_self.object = self;
  const DWORD code = start(parameter);
  AbandonOwnedMutexes();
  Dispatcher& d = TheDispatcher();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    self->exitCode = code;
    self->finished = true;
  }
  d.changed.notify_all();
}

const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

std::shared_ptr<ThreadObject> CurrentThreadObject() {
  CurrentThreadId();
  return t_self.object;
}

// The thread a handle names: the pseudo handle is the calling thread.
std::shared_ptr<ThreadObject> ThreadOf(HANDLE thread) {
  if (thread == kCurrentThread) return CurrentThreadObject();
  return LookupHandleAs<ThreadObject>(thread);
}

bool ValidPriority(int p) {
  return p == THREAD_PRIORITY_IDLE || p == THREAD_PRIORITY_TIME_CRITICAL ||
         (p >= THREAD_PRIORITY_LOWEST && p <= THREAD_PRIORITY_HIGHEST);
}

}  // namespace

DWORD NewThreadId() {
  DWORD id;
  do {
    id = g_nextThreadId.fetch_add(4);  // multiples of 4, as on Windows
  } while (id == 0);
  return id;
}

void AdoptThreadId(DWORD id) { t_threadId = id; }

DWORD CurrentThreadId() {
  if (t_threadId == 0) {
    // a thread the stand-in did not start: its id and its object now
    t_threadId = NewThreadId();
    auto object = std::make_shared<ThreadObject>();
    object->id = t_threadId;
    Register(object);
    t_self.object = object;
    t_self.foreign = true;
  }
  return t_threadId;
}

}  // namespace kp

KP_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, SIZE_T /*stackSize*/,
                                  LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                  LPDWORD threadId) {
  if (start == nullptr || (flags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto self = std::make_shared<kp::ThreadObject>();
  HANDLE handle = kp::InsertHandle(self);
  if (handle == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const DWORD id = kp::NewThreadId();
  self->id = id;
  kp::Register(self);  // OpenThread finds it from here on
  if (threadId != nullptr) *threadId = id;  // before the thread can look at it
  try {
    std::thread([self, start, parameter, id] { kp::RunThread(self, start, parameter, id); }).detach();
  } catch (const std::system_error&) {
    {
      kp::Threads& t = kp::TheThreads();
      std::lock_guard<std::mutex> guard(t.lock);
      t.running.erase(id);
    }
    kp::RemoveHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return handle;
}

KP_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto self = kp::LookupHandleAs<kp::ThreadObject>(thread);
  if (self == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (exitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  kp::Dispatcher& d = kp::TheDispatcher();
  std::lock_guard<std::mutex> guard(d.lock);
  *exitCode = self->exitCode;
  return TRUE;
}

KP_API DWORD WINAPI GetCurrentThreadId(void) { return kp::CurrentThreadId(); }

KP_API DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

KP_API HANDLE WINAPI GetCurrentThread(void) { return kp::kCurrentThread; }

KP_API HANDLE WINAPI OpenThread(DWORD /*access*/, BOOL /*inheritHandle*/, DWORD threadId) {
  std::shared_ptr<kp::ThreadObject> object;
  if (threadId == kp::CurrentThreadId()) {
    object = kp::CurrentThreadObject();
  } else {
    kp::Threads& t = kp::TheThreads();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.running.find(threadId);
    if (it != t.running.end()) object = it->second.lock();
  }
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE handle = kp::InsertHandle(object);
  if (handle == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return handle;
}

KP_API int WINAPI GetThreadPriority(HANDLE thread) {
  auto object = kp::ThreadOf(thread);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return THREAD_PRIORITY_ERROR_RETURN;
  }
  return object->priority.load();
}

KP_API BOOL WINAPI SetThreadPriority(HANDLE thread, int priority) {
  auto object = kp::ThreadOf(thread);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!kp::ValidPriority(priority)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  object->priority.store(priority);
  return TRUE;
}
