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
