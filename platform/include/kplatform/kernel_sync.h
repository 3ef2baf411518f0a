#pragma once

#include "kplatform/wintypes.h"

// Closes a handle to any kernel object (file, mapping, event, mutex,
// semaphore, thread, heap).
KP_API BOOL WINAPI CloseHandle(HANDLE handle);

// Open handles in the process (tests check that nothing leaks).
KP_API size_t KpOpenHandleCount(void);
