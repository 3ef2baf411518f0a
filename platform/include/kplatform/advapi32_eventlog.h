// The event log: the least of it that the language monitor's start-up line
// needs. One log, "Application", kept as lines of the file
// <root>/eventlog/Application.log (outside every drive folder, so Windows
// paths never reach it); a test reads it back with KpEventLogCount and
// KpEventLogRead.
//
// A line is UTF-8 text ending in LF, fields separated by TAB:
//   time (UTC of the stand-in's clock, yyyy-mm-ddThh:mm:ss.mmmZ), source,
//   type, category, event id, raw data size, then one field per string.
// Backslash, TAB, CR and LF inside the source and the strings are written
// as \\, \t, \r and \n. Every event is one append to the file, under one
// lock of the process, so lines never mix.
//
// What it does not do: remote machines, other logs, reading the log through
// OpenEventLogW/ReadEventLogW, message files, user SIDs (accepted and not
// kept), the raw data's bytes (only their count is kept).
#pragma once

#include "kplatform/kernel32_system.h"
#include "kplatform/wintypes.h"

#define EVENTLOG_SUCCESS 0x0000u
#define EVENTLOG_ERROR_TYPE 0x0001u
#define EVENTLOG_WARNING_TYPE 0x0002u
#define EVENTLOG_INFORMATION_TYPE 0x0004u
#define EVENTLOG_AUDIT_SUCCESS 0x0008u
#define EVENTLOG_AUDIT_FAILURE 0x0010u
#define RPC_S_SERVER_UNAVAILABLE 1722L

// A handle for reporting under `source` (a kernel object, closed with
// DeregisterEventSource). The server must be null or empty (this machine;
// any other: RPC_S_SERVER_UNAVAILABLE); a null or empty source:
// ERROR_INVALID_PARAMETER.
KP_API HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source);
// Appends one line. FALSE with ERROR_INVALID_HANDLE for a handle that is no
// event source, ERROR_INVALID_PARAMETER for an unknown type, a null string
// or a null string array with strings counted, or raw data counted without
// bytes; ERROR_PATH_NOT_FOUND without a root; ERROR_WRITE_FAULT when the
// file cannot be written (nothing is then appended).
KP_API BOOL WINAPI ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid,
                                WORD numStrings, DWORD dataSize, LPCWSTR* strings, LPVOID rawData);
// FALSE with ERROR_INVALID_HANDLE for a handle that is no event source.
KP_API BOOL WINAPI DeregisterEventSource(HANDLE eventLog);

// Test controls.
typedef struct _KP_EVENT_RECORD {
  WORD type;
  WORD category;
  DWORD eventId;
  DWORD dataSize;     // bytes of raw data the event carried
  DWORD stringCount;
  SYSTEMTIME time;    // when it was reported (UTC)
  WCHAR source[256];  // with its NUL
  // The strings one after another, each with its NUL.
  WCHAR strings[4096];
} KP_EVENT_RECORD;
// Events in the log of the current root (0 when there is none).
KP_API DWORD KpEventLogCount(void);
// The event at `index` (0 the oldest). FALSE with ERROR_NO_MORE_ITEMS past
// the last, ERROR_INSUFFICIENT_BUFFER when its source or strings do not fit
// the record, ERROR_INVALID_DATA for a line that is not one of ours.
KP_API BOOL KpEventLogRead(DWORD index, KP_EVENT_RECORD* record);
