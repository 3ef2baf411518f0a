// A limit on a test's run time: a test that waits on threads, sockets or
// another library's calls may hang for ever when a fault leaves something
// waiting; the watchdog aborts the program with a message instead, so the
// run fails rather than stalls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kestrel::test {

// Aborts the test program when the object still lives `limit` from now.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace kestrel::test
