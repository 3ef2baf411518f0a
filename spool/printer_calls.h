// The spooler's job calls kestrelum writes its output with (WritePrinter on
// the job's output handle, StartDocPrinterW ... EndDocPrinter for a second
// job) and the loader's DisableThreadLibraryCalls.
#pragma once

#include "kplatform/kwindows.h"
#include "kplatform/winspool_job.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"
