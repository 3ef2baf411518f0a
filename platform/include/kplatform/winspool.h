// The spooler's printer-driver information and forms database.
//
// Printers are made known by a test (KpSpoolerAddPrinter) and opened with
// OpenPrinterW (declared with the job calls in winspool_monitor.h). The forms
// database is one per machine: the built-in forms 1-118 at their standard
// paper-number positions (form n is the paper size number n; 48 and 49 are
// reserved placeholders kept so the positions hold), followed by the user's
// forms in the order they were added. Sizes are in thousandths of a
// millimetre. Everything is forgotten when the root changes.
#pragma once

#include "kplatform/winspool_monitor.h"
#include "kplatform/wintypes.h"

typedef struct _DRIVER_INFO_1W {
  LPWSTR pName;
} DRIVER_INFO_1W, *PDRIVER_INFO_1W;

typedef struct _DRIVER_INFO_2W {
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
} DRIVER_INFO_2W, *PDRIVER_INFO_2W;

typedef struct _SIZEL {
  LONG cx;
  LONG cy;
} SIZEL;
typedef struct _RECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECTL;

typedef struct _FORM_INFO_1W {
  DWORD Flags;
  LPWSTR pName;
  SIZEL Size;
  RECTL ImageableArea;
} FORM_INFO_1W, *PFORM_INFO_1W;

#define FORM_USER 0x00000000
#define FORM_BUILTIN 0x00000001
#define FORM_PRINTER 0x00000002

#ifndef ERROR_INVALID_PRINTER_NAME
#define ERROR_INVALID_PRINTER_NAME 1801L
#endif
#ifndef ERROR_UNKNOWN_PRINTER_DRIVER
#define ERROR_UNKNOWN_PRINTER_DRIVER 1797L
#endif
#ifndef ERROR_INVALID_FORM_NAME
#define ERROR_INVALID_FORM_NAME 1902L
#endif
#ifndef ERROR_NOT_READY
#define ERROR_NOT_READY 21L
#endif
#ifndef ERROR_INVALID_FORM_SIZE
#define ERROR_INVALID_FORM_SIZE 1903L
#endif

// Levels 1 and 2 (ERROR_INVALID_LEVEL otherwise); the strings follow the
// record in the caller's buffer. A buffer too small: FALSE,
// ERROR_INSUFFICIENT_BUFFER and *needed. environment is ignored.
KP_API BOOL WINAPI GetPrinterDriverW(HANDLE printer, LPWSTR environment, DWORD level, LPBYTE info, DWORD size,
                                     LPDWORD needed);
// Level 1 only. The records, then their names, in the caller's buffer.
KP_API BOOL WINAPI EnumFormsW(HANDLE printer, DWORD level, LPBYTE forms, DWORD size, LPDWORD needed,
                              LPDWORD returned);
// Level 1 only (ERROR_INVALID_LEVEL otherwise): the form of that name (case
// ignored) with its name after the record in the caller's buffer. A buffer
// too small: FALSE, ERROR_INSUFFICIENT_BUFFER and *needed (as
// GetPrinterDriverW); no such form: ERROR_INVALID_FORM_NAME; a null name or
// needed pointer: ERROR_INVALID_PARAMETER.
KP_API BOOL WINAPI GetFormW(HANDLE printer, LPWSTR formName, DWORD level, LPBYTE form, DWORD size, LPDWORD needed);
// Level 1 only; adds a user form. A name already in the database:
// ERROR_FILE_EXISTS; an empty name ERROR_INVALID_FORM_NAME; a size or area
// that is not positive and inside the sheet ERROR_INVALID_FORM_SIZE.
KP_API BOOL WINAPI AddFormW(HANDLE printer, DWORD level, LPBYTE form);

// ---- Test controls -----------------------------------------------------------
// Makes a printer known to OpenPrinterW with its driver's files. A file name
// without a folder lies in the driver directory
// (C:\Windows\system32\spool\drivers\x64\3); KpInstallModule puts a built
// file (a model's data files too) there. Adding a known name replaces it.
KP_API BOOL KpSpoolerAddPrinter(LPCWSTR printerName, LPCWSTR driverName, LPCWSTR dataFile, LPCWSTR configFile,
                                LPCWSTR driverPath);
// EnumFormsW fails with ERROR_NOT_READY while set.
KP_API void KpSpoolerFailEnumForms(BOOL fail);
// Forgets every printer and user form.
KP_API void KpSpoolerReset(void);
