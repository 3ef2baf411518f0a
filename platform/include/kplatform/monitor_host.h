// The spooler's side of the print-monitor interface: a host that loads a
// language monitor by name and drives it as the spooler does, a job table
// behind GetJobW/SetJobW, and the port monitor beneath the language monitor
// with two backends (a raw TCP port and a file port) and fault knobs.
//
// The port monitor. Ports are defined by name before they are opened:
//   - a TCP port sends the job over one connection per StartDocPort/EndDocPort
//     to an IPv4 address and port; ReadPort reads what the printer sends back
//     on that connection;
//   - a file port appends every job to a file (a Windows path below the root);
//     ReadPort answers with no bytes.
// OpenPort of an undefined name fails with ERROR_FILE_NOT_FOUND. ReadPort
// waits at most the read time-out (clock milliseconds, at least 20 ms of real
// time, since the bytes come from a real socket) for the first byte and then
// answers what is there, possibly nothing (TRUE with 0 bytes). WritePort on a
// TCP port that the peer reset fails with ERROR_WRITE_FAULT, ReadPort with
// ERROR_READ_FAULT. GetPrinterDataFromPort of the port monitor answers
// FALSE with ERROR_NOT_SUPPORTED: neither backend has control codes.
#pragma once

#include "kplatform/winspool_monitor.h"
#include "kplatform/wintypes.h"

// The port monitor's function table, handed to a language monitor's
// OpenPortEx. It has OpenPort, StartDocPort, WritePort, ReadPort,
// EndDocPort, ClosePort and GetPrinterDataFromPort.
KP_API LPMONITOR KpPortMonitor(void);

// Test controls of the port monitor.
KP_API BOOL KpPortDefineTcp(LPCWSTR portName, const char* ipv4, WORD tcpPort);
KP_API BOOL KpPortDefineFile(LPCWSTR portName, LPCWSTR windowsPath);
// Forgets every port definition, fault and count (open handles stay usable).
KP_API void KpPortReset(void);

typedef struct _KP_PORT_FAULTS {
  BOOL failOpen;      // OpenPort fails with ERROR_ACCESS_DENIED
  BOOL failStartDoc;  // StartDocPort fails with ERROR_NOT_READY
  DWORD maxWrite;     // each WritePort takes at most this many bytes (0: no limit)
  DWORD stallWrites;  // the next n WritePort calls take no byte (TRUE, 0 written)
  DWORD failWrites;   // the next n WritePort calls fail with ERROR_WRITE_FAULT
  DWORD readBlockMs;  // every ReadPort waits this long (clock ms) before it reads
} KP_PORT_FAULTS;
#define ERROR_NOT_READY 21L
KP_API BOOL KpPortSetFaults(LPCWSTR portName, const KP_PORT_FAULTS* faults);
// Clock milliseconds ReadPort waits for the first byte (default 1000).
KP_API void KpPortSetReadTimeout(DWORD milliseconds);

typedef struct _KP_PORT_STATS {
  DWORD openHandles;   // port handles open now
  DWORD opens;         // OpenPort calls that succeeded
  DWORD startDocs;     // StartDocPort calls that succeeded
  DWORD docsOpen;      // documents started and not yet ended
  ULONGLONG bytesWritten;
  DWORD writeCalls;
} KP_PORT_STATS;
KP_API BOOL KpPortGetStats(LPCWSTR portName, KP_PORT_STATS* stats);

// The monitor host.
//
// KpMonitorLoad loads the module with LoadLibraryW and calls its entry:
// InitializePrintMonitor (the table it answers) or, when the module has none,
// InitializeMonitorEx (with the root converted to the ANSI code page and a
// table of the host's). Null with the last error when the module or entry is
// missing, or the entry fails. KpMonitorUnload frees the module.
KP_API HANDLE KpMonitorLoad(LPCWSTR moduleName, LPCWSTR registryRoot);
KP_API BOOL KpMonitorUnload(HANDLE monitor);
KP_API const MONITOR* KpMonitorTable(HANDLE monitor);

// OpenPortEx on the monitor with the host's port monitor beneath it. While
// the port is open (until KpMonitorClosePort or KpMonitorUnload), the
// spooler's GetPrinterDataW for the printer routes value names beginning
// with "LM_" to this port (KpMonitorGetPrinterData); the latest port opened
// for a printer is the one asked.
KP_API BOOL KpMonitorOpenPort(HANDLE monitor, LPCWSTR portName, LPCWSTR printerName, PHANDLE port);
KP_API BOOL KpMonitorClosePort(HANDLE monitor, HANDLE port);

// The job table behind GetJobW/SetJobW. A job added for a printer makes the
// printer known to OpenPrinterW. Answers the new job id (never 0).
KP_API DWORD KpMonitorAddJob(LPCWSTR printerName, LPCWSTR document, LPCWSTR userName);
// The last SetJobW command given for the job (0: none) and whether it was
// deleted (command 5). FALSE for an unknown job.
KP_API BOOL KpMonitorGetJobState(DWORD jobId, LPDWORD lastCommand, LPBOOL deleted);
KP_API void KpMonitorResetJobs(void);

// Prints one job as the spooler does: StartDocPort (level 1, the document
// name), WritePort in pieces of at most `chunk` bytes, each piece written
// again from where the monitor stopped until it is taken (at most 1000 calls
// that take nothing in a row, then ERROR_TIMEOUT), and EndDocPort. EndDocPort
// runs also after a failed write. FALSE with the monitor's last error.
#define ERROR_TIMEOUT 1460L
KP_API BOOL KpMonitorPrintJob(HANDLE monitor, HANDLE port, LPCWSTR printerName, DWORD jobId, const void* data,
                              DWORD size, DWORD chunk);

// The driver's GetPrinterData for a value the monitor answers: the spooler
// calls the monitor's GetPrinterDataFromPort with control code 0. The monitor
// answers FALSE with 87 when it wrote an answer, which counts as answered.
// Results: ERROR_SUCCESS (answered; *returned holds its size),
// ERROR_MORE_DATA (only the size was given, in *returned, or the buffer is
// below 4 bytes), ERROR_NOT_SUPPORTED (the monitor has no such entry), or
// the monitor's own error for a name it does not answer.
KP_API DWORD KpMonitorGetPrinterData(HANDLE monitor, HANDLE port, LPCWSTR valueName, LPBYTE out, DWORD size,
                                     LPDWORD returned);
