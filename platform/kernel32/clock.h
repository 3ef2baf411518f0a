// The stand-in's clock for other components (internal to the platform
// library): timed waits that honour the test scale, and "now" as a file time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "kplatform/wintypes.h"

namespace kp {

using RealClock = std::chrono::steady_clock;

// The real instant at which `milliseconds` of the stand-in's clock will have
// passed from now (the scale applied, rounded up). INFINITE gives
// RealClock::time_point::max().
RealClock::time_point DeadlineAfter(DWORD milliseconds);

// Waits on `cv` (with `lock` held) until `ready()` holds or `milliseconds` of
// clock time have passed; INFINITE waits for ever. True when ready() holds.
template <class Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, DWORD milliseconds, Ready ready) {
  if (milliseconds == INFINITE) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_until(lock, DeadlineAfter(milliseconds), ready);
}

// Now on the stand-in's clock: UTC in 100 ns units since 1601-01-01 (the
// FILETIME count), for file times.
uint64_t NowFileTime();

}  // namespace kp
