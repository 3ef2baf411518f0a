#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace kestrel::test {

Watchdog::Watchdog(std::chrono::seconds limit) {
  thread_ = std::thread([this, limit] {
    std::unique_lock<std::mutex> guard(m_);
    if (!cv_.wait_for(guard, limit, [this] { return done_; })) {
      std::fprintf(stderr, "watchdog: the test did not finish in time (a thread waits for ever)\n");
      std::abort();
    }
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> guard(m_);
    done_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

}  // namespace kestrel::test
