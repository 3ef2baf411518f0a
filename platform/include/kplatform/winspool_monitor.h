// The print-monitor interface between the spooler and a monitor (a language
// monitor stacked on a port monitor), and the spooler's job calls a monitor
// makes: OpenPrinterW, ClosePrinter, GetJobW and SetJobW.
//
// The function table is fourteen pointers, in the order the spooler knows.
// On the 32-bit platform it is 56 bytes; in this 64-bit build it is 112, and
// the size field of MONITOREX holds sizeof(MONITOR) either way.
#pragma once

#include "kplatform/wintypes.h"

struct _MONITOR;
typedef struct _COMMTIMEOUTS COMMTIMEOUTS, *LPCOMMTIMEOUTS;  // never used

typedef struct _MONITOR {
  BOOL(WINAPI* pfnEnumPorts)(LPWSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned);
  BOOL(WINAPI* pfnOpenPort)(LPWSTR name, PHANDLE port);
  BOOL(WINAPI* pfnOpenPortEx)(LPWSTR portName, LPWSTR printerName, PHANDLE port, struct _MONITOR* portMonitor);
  BOOL(WINAPI* pfnStartDocPort)(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
  BOOL(WINAPI* pfnWritePort)(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written);
  BOOL(WINAPI* pfnReadPort)(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE port);
  BOOL(WINAPI* pfnClosePort)(HANDLE port);
  BOOL(WINAPI* pfnAddPort)(LPWSTR name, HWND window, LPWSTR monitorName);
  BOOL(WINAPI* pfnAddPortEx)(LPWSTR name, DWORD level, LPBYTE buffer, LPWSTR monitorName);
  BOOL(WINAPI* pfnConfigurePort)(LPWSTR name, HWND window, LPWSTR portName);
  BOOL(WINAPI* pfnDeletePort)(LPWSTR name, HWND window, LPWSTR portName);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                          DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved);
} MONITOR, *LPMONITOR;
static_assert(sizeof(MONITOR) == 14 * sizeof(void*));

typedef struct _MONITOREX {
  DWORD dwMonitorSize;
  MONITOR Monitor;
} MONITOREX, *LPMONITOREX;

// The NT entry of a monitor module.
typedef LPMONITOREX(WINAPI* PFN_InitializePrintMonitor)(LPWSTR registryRoot);
// The 9x entry: fills the caller's table; the registry root comes in the ANSI
// code page, as the 9x spooler passes it. The port functions in the table
// take the same UTF-16 strings as on NT (the stand-in's spooler has one width).
typedef BOOL(WINAPI* PFN_InitializeMonitorEx)(LPSTR registryRoot, LPMONITOR table);

// DOC_INFO_1W, what StartDocPort receives at level 1.
typedef struct _DOC_INFO_1W {
  LPWSTR pDocName;
  LPWSTR pOutputFile;
  LPWSTR pDatatype;
} DOC_INFO_1W;

// JOB_INFO_1W: GetJobW level 1.
typedef struct _JOB_INFO_1W {
  DWORD JobId;
  LPWSTR pPrinterName;
  LPWSTR pMachineName;
  LPWSTR pUserName;
  LPWSTR pDocument;
  LPWSTR pDatatype;
  LPWSTR pStatus;
  DWORD Status;
  DWORD Priority;
  DWORD Position;
  DWORD TotalPages;
  DWORD PagesPrinted;
  SYSTEMTIME Submitted;
} JOB_INFO_1W;

#define JOB_CONTROL_PAUSE 1
#define JOB_CONTROL_RESUME 2
#define JOB_CONTROL_CANCEL 3
#define JOB_CONTROL_RESTART 4
#define JOB_CONTROL_DELETE 5

#define ERROR_INVALID_PRINTER_COMMAND 1803L
#define ERROR_CANCELLED 1223L
#define ERROR_PORT_NAME_REFUSED 3007L

// The defaults of OpenPrinterW: accepted and ignored (the stand-in checks no
// access rights), so drivers may ask for PRINTER_ALL_ACCESS as on Windows.
typedef struct _PRINTER_DEFAULTSW {
  LPWSTR pDatatype;
  void* pDevMode;
  DWORD DesiredAccess;
} PRINTER_DEFAULTSW, *LPPRINTER_DEFAULTSW;

#define PRINTER_ACCESS_ADMINISTER 0x00000004
#define PRINTER_ACCESS_USE 0x00000008
#define PRINTER_ALL_ACCESS 0x000F000C  // STANDARD_RIGHTS_REQUIRED | administer | use

// Printers known to the stand-in's spooler are those that have jobs in the
// monitor host's job table (see monitor_host.h) and those the spooler's
// printer table holds (KpSpoolerAddPrinter, winspool.h).
// Unknown printer: FALSE, ERROR_INVALID_PRINTER_NAME.
KP_API BOOL WINAPI OpenPrinterW(LPWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults);
KP_API BOOL WINAPI ClosePrinter(HANDLE printer);
// Level 1 only (ERROR_INVALID_LEVEL otherwise). The strings follow the record
// in the caller's buffer; a buffer too small: FALSE, ERROR_INSUFFICIENT_BUFFER
// and *needed. An unknown job: FALSE, ERROR_INVALID_PARAMETER.
KP_API BOOL WINAPI GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size, LPDWORD needed);
// Level 0 with a command (pause, resume, cancel, restart, delete) only.
KP_API BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);

#ifndef ERROR_INVALID_LEVEL
#define ERROR_INVALID_LEVEL 124L
#endif
