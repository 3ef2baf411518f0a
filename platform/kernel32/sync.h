// Waitable kernel objects (internal to the platform library).
//
// Every waitable object keeps its state under one process-wide dispatcher
// lock; each change that may release a waiter notifies the dispatcher's
// condition, and waiters re-check their objects. One lock makes a wait for
// several objects take all of them at once, as Windows does.
#pragma once

#include <condition_variable>
#include <mutex>

#include "object.h"

namespace kp {

struct Dispatcher {
  std::mutex lock;
  std::condition_variable changed;
};
Dispatcher& TheDispatcher();

class Waitable : public KernelObject {
 public:
  // Both are called with the dispatcher lock held, by thread `tid`.
  // Whether a wait by that thread would be satisfied now.
  virtual bool ready(DWORD tid) const = 0;
  // Satisfies the wait (resets an auto-reset event, takes a semaphore count,
  // takes the mutex); true when the object was an abandoned mutex.
  virtual bool take(DWORD tid) = 0;
};

// The stand-in's id of the calling thread (assigned on first use).
DWORD CurrentThreadId();
// A fresh thread id, and making it the calling thread's (CreateThread gives
// the id out before the thread runs).
DWORD NewThreadId();
void AdoptThreadId(DWORD id);

// Marks every mutex the calling thread still owns as abandoned and frees it.
// Runs when a thread ends: for CreateThread threads before their handle is
// signalled, for any other thread when its thread-local storage goes.
void AbandonOwnedMutexes();

}  // namespace kp
