// Synchronisation with Windows semantics: critical sections, events,
// mutexes, semaphores, threads, waits and interlocked operations.
//
// Events, mutexes, semaphores and threads are kernel objects behind handles
// (closed with CloseHandle) and can be waited on alone or together. Named
// objects share one namespace per process; names are compared exactly (with
// letter case) and live as long as a handle to the object is open.
#pragma once

#include "kplatform/wintypes.h"

// Closes a handle to any kernel object (file, mapping, event, mutex,
// semaphore, thread, heap).
KP_API BOOL WINAPI CloseHandle(HANDLE handle);

// Open handles in the process (tests check that nothing leaks).
KP_API size_t KpOpenHandleCount(void);

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_ABANDONED WAIT_ABANDONED_0
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

#define SYNCHRONIZE 0x00100000u
#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS 0x001F0003u
#define MUTEX_MODIFY_STATE 0x0001u
#define MUTEX_ALL_ACCESS 0x001F0001u
#define SEMAPHORE_MODIFY_STATE 0x0002u
#define SEMAPHORE_ALL_ACCESS 0x001F0003u

// A critical section: re-entrant for its owning thread. The layout is the
// stand-in's own (40 bytes, as on 64-bit Windows, for records that embed
// one): `Lock` is made by InitializeCriticalSection and freed by
// DeleteCriticalSection.
typedef struct _CRITICAL_SECTION {
  void* Lock;
  ULONG_PTR Reserved[4];
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;
static_assert(sizeof(CRITICAL_SECTION) == 40);

KP_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
// Entering a section that was never initialised (or was deleted) is a
// programming error: the process stops with a message, as Windows would
// stop on the access fault.
KP_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
KP_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
// Leaving a section the calling thread does not hold does nothing.
KP_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
// Frees the section's lock. A section still held by another thread keeps its
// lock object (it is not freed under that thread), but the section itself is
// no longer usable.
KP_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// Events. Creating a named event that exists opens it (last error
// ERROR_ALREADY_EXISTS; the other arguments are ignored); a name held by
// another kind of object fails with ERROR_INVALID_HANDLE. A successful
// creation leaves the last error ERROR_SUCCESS. The same holds for mutexes
// and semaphores.
KP_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                  LPCWSTR name);
// ERROR_FILE_NOT_FOUND when no event has the name.
KP_API HANDLE WINAPI OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
// An auto-reset event stays set until one wait consumes it: a set before the
// wait releases that one waiter, and two sets before any wait release one.
KP_API BOOL WINAPI SetEvent(HANDLE event);
KP_API BOOL WINAPI ResetEvent(HANDLE event);

// Mutexes are owned by a thread and re-entrant. When the owning thread ends
// without releasing, the next wait that takes the mutex answers
// WAIT_ABANDONED_0 + its index and owns it.
KP_API HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
KP_API HANDLE WINAPI OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own it.
KP_API BOOL WINAPI ReleaseMutex(HANDLE mutex);

// Semaphores: 0 <= initial <= maximum, maximum > 0.
KP_API HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                                      LPCWSTR name);
// FALSE with ERROR_TOO_MANY_POSTS (count unchanged) when the release would
// pass the maximum.
KP_API BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount);

// Waits on events, mutexes, semaphores and threads. Time-outs run on the
// stand-in's clock (see kernel32_time.h). Results: WAIT_OBJECT_0 + index,
// WAIT_ABANDONED_0 + index, WAIT_TIMEOUT, or WAIT_FAILED with the last error
// (ERROR_INVALID_HANDLE for a handle that is no waitable object,
// ERROR_INVALID_PARAMETER for a bad count or the same object twice in a
// wait for all). A wait for all takes every object at once or none.
KP_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
KP_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Threads. The handle is signalled when the thread ends; the thread runs on
// when the handle is closed. Stack sizes are not honoured (the host's default
// stack is larger than any size the driver asks); CREATE_SUSPENDED is not
// offered (ERROR_INVALID_PARAMETER).
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
KP_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                                  LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                  LPDWORD threadId);
// STILL_ACTIVE while the thread runs, then its result.
KP_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Ids are the stand-in's own: unique in the process, never reused, never 0.
KP_API DWORD WINAPI GetCurrentThreadId(void);
KP_API DWORD WINAPI GetCurrentProcessId(void);

// Thread priorities are a value kept per thread (THREAD_PRIORITY_NORMAL until
// set); the host's scheduling does not change. GetCurrentThread answers a
// pseudo handle that always means the calling thread (it needs no closing);
// OpenThread answers a real handle to a thread that still runs (also one the
// stand-in did not start), usable from any thread, waitable, and closed with
// CloseHandle. A thread not started by CreateThread counts as ended (exit
// code 0) when its thread-local storage is destroyed.
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF
#define THREAD_SET_INFORMATION 0x0020u
#define THREAD_QUERY_INFORMATION 0x0040u
#define THREAD_ALL_ACCESS 0x001FFFFFu
KP_API HANDLE WINAPI GetCurrentThread(void);
// ERROR_INVALID_PARAMETER for an id that names no running thread.
KP_API HANDLE WINAPI OpenThread(DWORD access, BOOL inheritHandle, DWORD threadId);
// THREAD_PRIORITY_ERROR_RETURN with ERROR_INVALID_HANDLE for a handle that is
// no thread.
KP_API int WINAPI GetThreadPriority(HANDLE thread);
// Only the seven levels above; any other value: FALSE, ERROR_INVALID_PARAMETER.
KP_API BOOL WINAPI SetThreadPriority(HANDLE thread, int priority);

// Interlocked operations (sequentially consistent).
KP_API LONG WINAPI InterlockedIncrement(LONG volatile* addend);
KP_API LONG WINAPI InterlockedDecrement(LONG volatile* addend);
KP_API LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
KP_API LONG WINAPI InterlockedExchangeAdd(LONG volatile* addend, LONG value);
KP_API LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);
KP_API PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange, PVOID comparand);
