// Printer information and printer data: GetPrinterW (levels 1 and 2) and the
// per-printer value store (GetPrinterDataW, SetPrinterDataW,
// DeletePrinterDataW).
//
// Printer data is kept in the registry store of the root, under the key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Printers\<name>\PrinterDriverData
// (a backslash in the name kept as a comma), one registry value per printer-data value, so it lasts
// as long as the root and every process of the root sees it. A printer is
// the one an OpenPrinterW handle names (KpSpoolerAddPrinter makes it known).
//
// Results are Windows error codes (the printer-data calls) or BOOL with the
// last error (GetPrinterW), as on Windows:
//   ERROR_INVALID_HANDLE     not an open printer handle
//   ERROR_FILE_NOT_FOUND     no such value
//   ERROR_MORE_DATA          the buffer is too small; *needed is the size
//   ERROR_INVALID_PARAMETER  a missing required pointer or value name
#pragma once

#include "kplatform/winspool.h"
#include "kplatform/wintypes.h"

typedef struct _PRINTER_INFO_1W {
  DWORD Flags;
  LPWSTR pDescription;
  LPWSTR pName;
  LPWSTR pComment;
} PRINTER_INFO_1W, *PPRINTER_INFO_1W;

typedef struct _PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  void* pDevMode;  // the stored default devmode (SetPrinterW level 8), null when none
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  void* pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
} PRINTER_INFO_2W, *PPRINTER_INFO_2W;

typedef struct _PRINTER_INFO_8W {
  void* pDevMode;
} PRINTER_INFO_8W, *PPRINTER_INFO_8W;

#define PRINTER_ENUM_ICON8 0x00040000u
#define PRINTER_ATTRIBUTE_SHARED 0x00000008u
#define PRINTER_ATTRIBUTE_NETWORK 0x00000010u
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040u

// Level 1: Flags PRINTER_ENUM_ICON8, pName the printer's name, pDescription
// "<name>,<driver name>,", pComment empty. Level 2: the printer and driver
// names, the port (KpSpoolerSetPrinterPort, winspool_job.h; empty when none
// is set), print processor "winprint", datatype "RAW", everything else empty
// or 0 (attributes PRINTER_ATTRIBUTE_LOCAL unless a test set others), and
// pDevMode the stored default devmode. Level 8: pDevMode alone. The strings
// and the devmode (8-byte aligned) follow the record in the caller's buffer.
// A buffer too small: FALSE, ERROR_INSUFFICIENT_BUFFER and *needed. Other
// levels: ERROR_INVALID_LEVEL.
KP_API BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD size, LPDWORD needed);
// Level 8 only: stores the printer's default devmode (dmSize + dmDriverExtra
// bytes; a dmSize below 72 is ERROR_INVALID_PARAMETER), or with pDevMode
// null forgets it. It is kept in the root's registry as the value "Default
// DevMode" of the printer's key, so it lasts between processes as the
// printer data does. Command must be 0 (no printer control is offered).
KP_API BOOL WINAPI SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command);

// Reads a value: *type (optional) and the bytes; *needed (required) is the
// value's size. data may be null only when size is 0.
KP_API DWORD WINAPI GetPrinterDataW(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                                    LPDWORD needed);
// Writes a value (replacing one of the same name) in one step.
KP_API DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size);
KP_API DWORD WINAPI DeletePrinterDataW(HANDLE printer, LPWSTR valueName);

// Test control: failure injection. From the nth GetPrinterDataW (get) or
// SetPrinterDataW (set) call counted from this call (1 = the next one),
// `count` calls of that kind fail with `error` and change nothing; an nth of
// 0 switches that side off. Later calls work again.
// Test control: the level 2 attributes of the printer of that name (0: back
// to PRINTER_ATTRIBUTE_LOCAL).
KP_API void KpSpoolerSetPrinterAttributes(LPCWSTR printerName, DWORD attributes);

KP_API void KpSpoolerFailPrinterData(DWORD getNth, DWORD setNth, DWORD count, DWORD error);
