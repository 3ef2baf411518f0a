// Threads: CreateThread over detached host threads, thread ids, and the
// thread handle that is signalled when the thread ends.
#include <unistd.h>

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "kplatform/kernel_sync.h"
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
};

void RunThread(const std::shared_ptr<ThreadObject>& self, LPTHREAD_START_ROUTINE start, LPVOID parameter,
               DWORD id) {
  AdoptThreadId(id);
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
  if (t_threadId == 0) t_threadId = NewThreadId();
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
  if (threadId != nullptr) *threadId = id;  // before the thread can look at it
  try {
    std::thread([self, start, parameter, id] { kp::RunThread(self, start, parameter, id); }).detach();
  } catch (const std::system_error&) {
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
