// The process-wide clock. Virtual time runs `scale` times faster than the
// host's monotonic clock from an anchor; every change of a test control first
// carries the current readings over to a new anchor, so ticks and time of day
// never jump except when a test sets them.
#include "clock.h"

#include <ctime>
#include <thread>

#include "kplatform/kernel32_time.h"

namespace kp {
namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;

constexpr int64_t kUnitsPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr int64_t kUnixEpochAsFileTime = 116'444'736'000'000'000;
constexpr int64_t kMaxFileTime = 0x7FFF'FFFF'FFFF'FFFF;
constexpr DWORD kMaxScale = 1'000'000;

int64_t HostUtc() {
  auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  return kUnixEpochAsFileTime + duration_cast<std::chrono::nanoseconds>(since1970).count() / 100;
}

struct Clock {
  std::mutex lock;
  RealClock::time_point anchor;
  int64_t utcAtAnchor = 0;     // FILETIME units
  int64_t tickAtAnchorUs = 0;  // microseconds of tick count
  DWORD scale = 1;
  bool biasSet = false;
  LONG biasMinutes = 0;

  int64_t elapsedUs(RealClock::time_point now) const {
    return duration_cast<microseconds>(now - anchor).count() * static_cast<int64_t>(scale);
  }
  int64_t utcNow(RealClock::time_point now) const { return utcAtAnchor + elapsedUs(now) * 10; }
  int64_t tickNowUs(RealClock::time_point now) const { return tickAtAnchorUs + elapsedUs(now); }
  // Moves the anchor to `now` keeping every reading.
  void reanchor(RealClock::time_point now) {
    int64_t elapsed = elapsedUs(now);
    utcAtAnchor += elapsed * 10;
    tickAtAnchorUs += elapsed;
    anchor = now;
  }
};

Clock& TheClock() {
  static Clock* clock = [] {
    auto* c = new Clock;  // outlives every static destructor
    c->anchor = RealClock::now();
    c->utcAtAnchor = HostUtc();
    c->tickAtAnchorUs = duration_cast<microseconds>(c->anchor.time_since_epoch()).count();
    return c;
  }();
  return *clock;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// FILETIME units (>= 0) to calendar fields.
SYSTEMTIME Split(int64_t units) {
  const int64_t unixUnits = units - kUnixEpochAsFileTime;
  const int64_t days = FloorDiv(unixUnits, kUnitsPerSecond * 86400);
  const int64_t inDay = unixUnits - days * kUnitsPerSecond * 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  const int64_t ms = inDay / 10'000;
  st.wHour = static_cast<WORD>(ms / 3'600'000);
  st.wMinute = static_cast<WORD>(ms / 60'000 % 60);
  st.wSecond = static_cast<WORD>(ms / 1000 % 60);
  st.wMilliseconds = static_cast<WORD>(ms % 1000);
  return st;
}

bool Join(const SYSTEMTIME& st, int64_t& units) {
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
      st.wMilliseconds > 999)
    return false;
  const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  const int64_t ms = ((static_cast<int64_t>(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond) * 1000 + st.wMilliseconds;
  units = kUnixEpochAsFileTime + days * 86400 * kUnitsPerSecond + ms * 10'000;
  return true;
}

int64_t UtcNow() {
  Clock& c = TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  return c.utcNow(RealClock::now());
}

int64_t LocalNow() {
  Clock& c = TheClock();
  int64_t utc;
  bool biasSet;
  LONG bias;
  {
    std::lock_guard<std::mutex> guard(c.lock);
    utc = c.utcNow(RealClock::now());
    biasSet = c.biasSet;
    bias = c.biasMinutes;
  }
  if (biasSet) return utc - static_cast<int64_t>(bias) * 60 * kUnitsPerSecond;
  time_t seconds = static_cast<time_t>(FloorDiv(utc - kUnixEpochAsFileTime, kUnitsPerSecond));
  struct tm parts;
  if (localtime_r(&seconds, &parts) == nullptr) return utc;
  return utc + static_cast<int64_t>(parts.tm_gmtoff) * kUnitsPerSecond;
}

}  // namespace

RealClock::time_point DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return RealClock::time_point::max();
  DWORD scale;
  {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    scale = c.scale;
  }
  const int64_t realUs = (static_cast<int64_t>(milliseconds) * 1000 + scale - 1) / scale;
  return RealClock::now() + microseconds(realUs);
}

uint64_t NowFileTime() { return static_cast<uint64_t>(UtcNow()); }

}  // namespace kp

KP_API ULONGLONG WINAPI GetTickCount64(void) {
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  return static_cast<ULONGLONG>(c.tickNowUs(kp::RealClock::now()) / 1000);
}

KP_API DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

KP_API void WINAPI GetSystemTime(LPSYSTEMTIME systemTime) {
  if (systemTime != nullptr) *systemTime = kp::Split(kp::UtcNow());
}

KP_API void WINAPI GetLocalTime(LPSYSTEMTIME localTime) {
  if (localTime != nullptr) *localTime = kp::Split(kp::LocalNow());
}

KP_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME fileTime) {
  if (fileTime == nullptr) return;
  const uint64_t units = kp::NowFileTime();
  fileTime->dwLowDateTime = static_cast<DWORD>(units);
  fileTime->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

KP_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
  if (fileTime == nullptr || systemTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t units = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  if (units > static_cast<uint64_t>(kp::kMaxFileTime)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *systemTime = kp::Split(static_cast<int64_t>(units));
  return TRUE;
}

KP_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
  int64_t units;
  if (systemTime == nullptr || fileTime == nullptr || !kp::Join(*systemTime, units)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  fileTime->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(units));
  fileTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) >> 32);
  return TRUE;
}

KP_API void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_until(kp::DeadlineAfter(milliseconds));
}

KP_API int64_t KpTime(int64_t* out) {
  const int64_t seconds = kp::FloorDiv(kp::UtcNow() - kp::kUnixEpochAsFileTime, kp::kUnitsPerSecond);
  if (out != nullptr) *out = seconds;
  return seconds;
}

KP_API BOOL KpSetClock(const SYSTEMTIME* utcStart) {
  int64_t units = 0;
  if (utcStart != nullptr && !kp::Join(*utcStart, units)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (utcStart == nullptr) units = kp::HostUtc();
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  c.reanchor(kp::RealClock::now());
  c.utcAtAnchor = units;
  return TRUE;
}

KP_API BOOL KpSetClockScale(DWORD factor) {
  if (factor == 0 || factor > kp::kMaxScale) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  c.reanchor(kp::RealClock::now());
  c.scale = factor;
  return TRUE;
}

KP_API DWORD KpGetClockScale(void) {
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  return c.scale;
}

KP_API void KpSetTickCount(ULONGLONG milliseconds) {
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  c.reanchor(kp::RealClock::now());
  constexpr ULONGLONG kLimit = 0x7FFF'FFFF'FFFF'FFFFull / 1000 / 2;  // room to run on
  c.tickAtAnchorUs = static_cast<int64_t>(milliseconds < kLimit ? milliseconds : kLimit) * 1000;
}

KP_API void KpSetTimeZoneBias(const LONG* biasMinutes) {
  kp::Clock& c = kp::TheClock();
  std::lock_guard<std::mutex> guard(c.lock);
  c.biasSet = biasMinutes != nullptr;
  c.biasMinutes = biasMinutes != nullptr ? *biasMinutes : 0;
}
