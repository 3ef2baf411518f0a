// The mode-specific half of the trace log: where the switches come from and
// where a finished line goes. User mode: core/um/logout_um.cpp (the profile
// reader, the log file or OutputDebugStringW); kernel mode:
// core/km/logout_km.cpp (kestrel.cfg mapped as text, EngDebugPrint).
#pragma once

#include "kestrel/core/logout.h"
#include "kplatform/wintypes.h"

struct LOGOUT_SWITCHES {
  DWORD flag;                // 0: logging off
  WORD count;                // ids kept
  WORD ids[LOGOUT_MAX_IDS];  // LOGOUT.DDMID values in file order, no repeats
};

// Fills *out from kestrel.cfg in the driver directory (all zero when the
// file, the section or the key is missing).
void logoutSys_ReadSwitches(LOGOUT_SWITCHES* out);

// Counted opening of the log file (user mode); the caller holds the log's
// lock. Kernel mode has no file and answers 1.
BOOL logoutSys_Open(WORD library);
BOOL logoutSys_Close(void);
// Writes one line of `length` (< 514) characters; the caller holds the
// log's lock. flag: the switch word (debugger bit).
BOOL logoutSys_WriteLine(LPCWSTR line, DWORD length, DWORD flag, WORD library);

// Shared helpers of both halves.
// Appends a LOGOUT.DDMID value (1..65535) when it is new and there is room.
void logout_AddTargetId(LOGOUT_SWITCHES* sw, DWORD value);
// A Log or LOGOUT.DDMID value: decimal of 1-8 digits or "0x" with 1-8
// hexadecimal digits. FALSE for anything else.
BOOL logout_ParseValue(LPCWSTR text, DWORD* value);
