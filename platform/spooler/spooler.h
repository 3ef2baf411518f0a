// Inside the platform: the spooler's printer table, the printer handles
// (printer_handle.cpp: OpenPrinterW, ClosePrinter), the job side
// (jobs.cpp) and what the monitor host offers them.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "kplatform/wintypes.h"

namespace kp::spooler {

// True when a test added the printer (names compared without case).
bool IsPrinter(const std::u16string& name);
// The printer's port and language monitor module (KpSpoolerSetPrinterPort);
// false for an unknown printer. Empty strings: none set.
bool PrinterPort(const std::u16string& name, std::u16string* port, std::u16string* monitor);

struct Job;

// What an open printer handle is.
struct Handle {
  std::u16string name;  // the printer's name as opened
  // A handle of the user-mode driver: the output handle given to its
  // DrvSplStartDoc (bound to that job), or one the driver library opened
  // itself. Jobs started on it are never routed into a driver.
  bool driverSide = false;
  std::shared_ptr<Job> bound;  // the output handle's job; null otherwise
  std::mutex lock;             // guards doc
  std::shared_ptr<Job> doc;    // the document started on this handle
};

// Registers a handle and answers its HANDLE value.
HANDLE AddHandle(std::shared_ptr<Handle> handle);
// The handle's record; null for a handle that is not open.
std::shared_ptr<Handle> FindHandle(HANDLE handle);
// Forgets a handle; false when it was not open.
bool RemoveHandle(HANDLE handle);

// The job side (jobs.cpp).
// True when `module` is a user-mode driver library the spooler keeps.
bool IsUserModeDriver(HMODULE module);
// A handle being closed with a document still started: the job is aborted
// and ended before the handle goes.
void AbortOnClose(Handle& handle);
// The document name of a job in the table; false for an unknown job.
bool JobDocument(DWORD jobId, std::u16string* document);
// Forgets the printers' kept monitors and drivers (each unloaded once no job
// uses it), their faults, and the job table.
void ResetJobSide();

}  // namespace kp::spooler

// The printer name behind an open printer handle (defined with OpenPrinterW);
// false for a handle that is not open.
bool KpPrinterHandleName(HANDLE printer, std::u16string* name);

// True when the job table holds a job for the printer (names compared
// without case); such a printer opens with OpenPrinterW too.
bool KpMonitorHasJobsFor(const std::u16string& printer);

// The driver's read of a value named "LM_..." for a printer whose port has a
// language monitor open through the monitor host: asks the monitor (control
// code 0) and answers true with the result in *result (ERROR_SUCCESS,
// ERROR_MORE_DATA with the size in *needed, or the monitor's error). False
// when the name does not begin with "LM_" or no monitor port is open for the
// printer; the value store answers then.
bool KpMonitorRouteValue(const std::u16string& printer, LPCWSTR valueName, LPBYTE data, DWORD size,
                         LPDWORD needed, DWORD* result);
