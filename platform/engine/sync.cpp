// Engine semaphores (re-entrant locks) and the last-error pair.
#include <condition_variable>
#include <thread>

#include "engine/engine_state.h"

namespace {

struct Semaphore : kp::engine::Object {
  Semaphore() : Object(KP_ENGINE_SEMAPHORES) {}
  std::mutex lock;
  std::condition_variable released;
  std::thread::id owner;
  unsigned depth = 0;
};

std::shared_ptr<Semaphore> find(HSEMAPHORE hsem) {
  return kp::engine::FindAs<Semaphore>(hsem, KP_ENGINE_SEMAPHORES);
}

}  // namespace

KP_API HSEMAPHORE WINAPI EngCreateSemaphore(VOID) {
  return reinterpret_cast<HSEMAPHORE>(kp::engine::Insert(std::make_shared<Semaphore>()));
}

KP_API VOID WINAPI EngAcquireSemaphore(HSEMAPHORE hsem) {
  auto s = find(hsem);
  if (!s) return;
  std::unique_lock<std::mutex> g(s->lock);
  auto self = std::this_thread::get_id();
  if (s->depth > 0 && s->owner == self) {
    ++s->depth;
    return;
  }
  s->released.wait(g, [&] { return s->depth == 0; });
  s->owner = self;
  s->depth = 1;
}

KP_API VOID WINAPI EngReleaseSemaphore(HSEMAPHORE hsem) {
  auto s = find(hsem);
  if (!s) return;
  std::lock_guard<std::mutex> g(s->lock);
  if (s->depth == 0 || s->owner != std::this_thread::get_id()) return;
  if (--s->depth == 0) {
    s->owner = std::thread::id();
    s->released.notify_one();
  }
}

KP_API VOID WINAPI EngDeleteSemaphore(HSEMAPHORE hsem) {
  kp::engine::Remove(reinterpret_cast<uintptr_t>(hsem), KP_ENGINE_SEMAPHORES);
}

KP_API VOID WINAPI EngSetLastError(ULONG iError) { SetLastError(iError); }

KP_API ULONG WINAPI EngGetLastError(VOID) { return GetLastError(); }
