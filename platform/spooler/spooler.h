// Inside the platform: the spooler's printer table, the printer handles
// (printer_handle.cpp: OpenPrinterW, ClosePrinter) and what the monitor host
// offers them.
#pragma once

#include <string>

#include "kplatform/wintypes.h"

namespace kp::spooler {
// True when a test added the printer (names compared without case).
bool IsPrinter(const std::u16string& name);
}  // namespace kp::spooler

// The printer name behind an open printer handle (defined with OpenPrinterW);
// false for a handle that is not open.
bool KpPrinterHandleName(HANDLE printer, std::u16string* name);

// True when the monitor host's job table holds a job for the printer (names
// compared without case); such a printer opens with OpenPrinterW too.
bool KpMonitorHasJobsFor(const std::u16string& printer);

// The driver's read of a value named "LM_..." for a printer whose port has a
// language monitor open through the monitor host: asks the monitor (control
// code 0) and answers true with the result in *result (ERROR_SUCCESS,
// ERROR_MORE_DATA with the size in *needed, or the monitor's error). False
// when the name does not begin with "LM_" or no monitor port is open for the
// printer; the value store answers then.
bool KpMonitorRouteValue(const std::u16string& printer, LPCWSTR valueName, LPBYTE data, DWORD size,
                         LPDWORD needed, DWORD* result);
