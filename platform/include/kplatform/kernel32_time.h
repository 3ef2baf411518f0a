// The clock: tick counts, system and local time, Sleep, and the C runtime's
// time() for driver code.
//
// Everything reads one process-wide clock that tests can set to a fixed start
// instant and run faster than real time (KpSetClock, KpSetClockScale). With a
// scale of 1000 a Sleep(30000) or a 30000 ms wait takes 30 ms of real time,
// and GetTickCount has moved on by 30000 afterwards. Without test controls the
// clock follows the host: UTC from the host clock, local time in the host's
// time zone (TZ), the tick count from the host's monotonic clock.
#pragma once

#include "kplatform/wintypes.h"

// Milliseconds since the clock started; the 32-bit value wraps after 49.7 days.
KP_API DWORD WINAPI GetTickCount(void);
KP_API ULONGLONG WINAPI GetTickCount64(void);

KP_API void WINAPI GetSystemTime(LPSYSTEMTIME systemTime);
KP_API void WINAPI GetLocalTime(LPSYSTEMTIME localTime);
KP_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME fileTime);

// Conversions between the 100 ns count since 1601-01-01 and calendar fields.
// Both fail with ERROR_INVALID_PARAMETER for values Windows refuses (a file
// time above 0x7FFFFFFFFFFFFFFF; a calendar field out of range, years
// 1601..30827). wDayOfWeek is ignored on input and filled on output.
KP_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
KP_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);

// Suspends the calling thread for that many clock milliseconds (scaled);
// Sleep(0) gives up the rest of the time slice; INFINITE never returns.
KP_API void WINAPI Sleep(DWORD milliseconds);

// The C runtime's time() on this clock: seconds since 1970-01-01 UTC, also
// stored through `out` when it is not null. Driver code calls KpTime where the
// original calls time(): the process's own libc time() is not ours to replace
// and keeps reading the host clock.
KP_API int64_t KpTime(int64_t* out);

// Test controls
// Sets the clock to a fixed UTC instant from which it runs on (at the current
// scale); null returns it to the host's time. Fails with
// ERROR_INVALID_PARAMETER for an invalid date. The tick count is not changed.
KP_API BOOL KpSetClock(const SYSTEMTIME* utcStart);
// Runs the clock `factor` times faster than real time (1 = real time; at
// most 1000000). Ticks and time of day go on from where they are; waits
// already in progress keep the scale they started with. 0 is refused.
KP_API BOOL KpSetClockScale(DWORD factor);
KP_API DWORD KpGetClockScale(void);
// Sets the tick count (for example just below the 32-bit wrap); it runs on
// from there.
KP_API void KpSetTickCount(ULONGLONG milliseconds);
// Fixes the local time zone: local time = UTC - bias minutes (the Windows
// sign). Null returns to the host's zone.
KP_API void KpSetTimeZoneBias(const LONG* biasMinutes);
