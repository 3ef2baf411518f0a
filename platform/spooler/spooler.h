// Inside the platform: what the spooler's printer table offers the job
// calls of the monitor host (OpenPrinterW lives there).
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

// The driver's read of a value named "LM_..." for a printer whose port has a
// language monitor open through the monitor host: asks the monitor (control
// code 0) and answers true with the result in *result (ERROR_SUCCESS,
// ERROR_MORE_DATA with the size in *needed, or the monitor's error). False
// when the name does not begin with "LM_" or no monitor port is open for the
// printer; the value store answers then.
bool KpMonitorRouteValue(const std::u16string& printer, LPCWSTR valueName, LPBYTE data, DWORD size,
                         LPDWORD needed, DWORD* result);
