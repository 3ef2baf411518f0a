// The spooler's job calls kestrelum writes its output with (WritePrinter on
// the job's handle, and StartDocPrinterW ... EndDocPrinter for a second
// job), and DisableThreadLibraryCalls for the entry point.
#pragma once

#include "kplatform/kwindows.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"

#if __has_include("kplatform/winspool_job.h")
#include "kplatform/winspool_job.h"
#define KUM_PLATFORM_HAS_JOB_API 1
#else
// The platform's job API is on its way (the spooler stand-in's job work);
// until it lands these are declared here with their Windows signatures and
// only the tests, which bring their own, link them.
extern "C" {
BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD count, LPDWORD written);
DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo);
BOOL WINAPI StartPagePrinter(HANDLE printer);
BOOL WINAPI EndPagePrinter(HANDLE printer);
BOOL WINAPI EndDocPrinter(HANDLE printer);
}
#define KUM_PLATFORM_HAS_JOB_API 0
#endif
