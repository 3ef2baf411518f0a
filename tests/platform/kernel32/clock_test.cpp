#include <kplatform/kernel32_time.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

// Every test leaves the clock at real time, host time and host zone.
class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KpSetClockScale(1);
    KpSetClock(nullptr);
    KpSetTimeZoneBias(nullptr);
  }
  static SYSTEMTIME Make(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
  }
  static uint64_t Units(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  }
  static FILETIME Ft(uint64_t units) {
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
  }
};

TEST_F(ClockTest, CalendarAndFileTimeConvertBothWays) {
  struct Case {
    SYSTEMTIME st;
    uint64_t units;
    WORD dayOfWeek;
  } cases[] = {
      {Make(1601, 1, 1), 0, 1},
      {Make(1970, 1, 1), 116444736000000000ull, 4},
      {Make(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull, 2},
      {Make(2024, 12, 31, 23, 59, 59, 999), 133801631999990000ull, 2},
      {Make(1900, 3, 1), 94405824000000000ull, 4},
      {Make(30827, 12, 31, 23, 59, 59, 999), 0x7FFF35F4F06C58F0ull, 5},
  };
  for (const Case& c : cases) {
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft)) << c.st.wYear;
    EXPECT_EQ(c.units, Units(ft)) << c.st.wYear;
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    SYSTEMTIME expected = c.st;
    expected.wDayOfWeek = c.dayOfWeek;
    EXPECT_EQ(0, std::memcmp(&expected, &back, sizeof back)) << c.st.wYear;
  }
}

TEST_F(ClockTest, InvalidCalendarFieldsAndFileTimesAreRefused) {
  const SYSTEMTIME bad[] = {
      Make(1600, 12, 31), Make(30828, 1, 1),       Make(2024, 0, 1),          Make(2024, 13, 1),
      Make(2024, 1, 0),   Make(2023, 2, 29),       Make(1900, 2, 29),         Make(2024, 4, 31),
      Make(2024, 1, 1, 24), Make(2024, 1, 1, 0, 60), Make(2024, 1, 1, 0, 0, 60), Make(2024, 1, 1, 0, 0, 0, 1000),
  };
  for (const SYSTEMTIME& st : bad) {
    FILETIME ft{1, 2};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(KpSetClock(&st));
  }
  FILETIME tooLarge = Ft(0x8000000000000000ull);
  SYSTEMTIME st{};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &st));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ClockTest, ASetClockGivesEveryReadingFromItsStart) {
  const SYSTEMTIME start = Make(2026, 12, 31, 22, 30, 15, 0);
  ASSERT_TRUE(KpSetClock(&start));
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  EXPECT_EQ(2026, utc.wYear);
  EXPECT_EQ(12, utc.wMonth);
  EXPECT_EQ(31, utc.wDay);
  EXPECT_EQ(22, utc.wHour);
  EXPECT_EQ(30, utc.wMinute);
  EXPECT_LE(utc.wSecond - 15, 1);
  EXPECT_EQ(4, utc.wDayOfWeek);  // a Thursday

  int64_t stored = 0;
  const int64_t seconds = KpTime(&stored);
  EXPECT_EQ(seconds, stored);
  EXPECT_NEAR(1798756215.0, static_cast<double>(seconds), 1.0);

  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  FILETIME startFt{};
  SystemTimeToFileTime(&start, &startFt);
  EXPECT_LT(Units(ft) - Units(startFt), 10'000'000u);

  // Local time follows the zone bias (UTC = local + bias), across midnight
  // and the year's end.
  struct Zone {
    LONG bias;
    WORD year, month, day, hour, minute;
  } zones[] = {{0, 2026, 12, 31, 22, 30}, {-540, 2027, 1, 1, 7, 30}, {300, 2026, 12, 31, 17, 30}, {-90, 2027, 1, 1, 0, 0}};
  for (const Zone& z : zones) {
    KpSetTimeZoneBias(&z.bias);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    EXPECT_EQ(z.year, local.wYear) << z.bias;
    EXPECT_EQ(z.month, local.wMonth) << z.bias;
    EXPECT_EQ(z.day, local.wDay) << z.bias;
    EXPECT_EQ(z.hour, local.wHour) << z.bias;
    EXPECT_EQ(z.minute, local.wMinute) << z.bias;
  }
}

TEST_F(ClockTest, AScaledSleepOfThirtySecondsTakesMilliseconds) {
  const SYSTEMTIME start = Make(2026, 1, 1);
  KpSetClock(&start);
  ASSERT_TRUE(KpSetClockScale(1000));
  EXPECT_EQ(1000u, KpGetClockScale());
  const ULONGLONG ticks = GetTickCount64();
  const int64_t seconds = KpTime(nullptr);
  const auto real = std::chrono::steady_clock::now();
  Sleep(30000);
  const auto took = std::chrono::steady_clock::now() - real;
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_GE(GetTickCount64() - ticks, 30000u);
  EXPECT_GE(KpTime(nullptr) - seconds, 30);
  EXPECT_TRUE(KpSetClockScale(1));
  EXPECT_FALSE(KpSetClockScale(0));
  EXPECT_EQ(1u, KpGetClockScale());
}

TEST_F(ClockTest, TheThirtyTwoBitTickCountWraps) {
  KpSetTickCount(0xFFFFFFFFull - 5);
  const DWORD before = GetTickCount();
  KpSetClockScale(1000);
  Sleep(50);
  const DWORD after = GetTickCount();
  EXPECT_LT(after, before);                      // wrapped
  EXPECT_GE(static_cast<DWORD>(after - before), 50u);  // differences still work
  EXPECT_GT(GetTickCount64(), 0xFFFFFFFFull);
}

TEST_F(ClockTest, WithoutControlsTheClockFollowsTheHost) {
  const auto host = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
  EXPECT_NEAR(static_cast<double>(host), static_cast<double>(KpTime(nullptr)), 2.0);
  const DWORD t0 = GetTickCount();
  Sleep(20);
  const DWORD elapsed = GetTickCount() - t0;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
