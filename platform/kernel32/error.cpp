#include "kplatform/wintypes.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

KP_API DWORD WINAPI GetLastError(void) { return t_lastError; }

KP_API void WINAPI SetLastError(DWORD code) { t_lastError = code; }
