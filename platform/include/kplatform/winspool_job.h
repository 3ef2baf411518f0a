// Print jobs: the spooler's document calls on a printer handle
// (StartDocPrinterW ... EndDocPrinter, AbortPrinter, ReadPrinter), the
// user-mode printer driver the spooler hands a job to, and the test controls
// that watch and steer what a job sends to its port.
//
// A printer has a port (KpSpoolerSetPrinterPort): a port of the port monitor
// (monitor_host.h, KpPortDefineTcp / KpPortDefineFile) and, optionally, a
// language monitor on it, loaded through the print-monitor host at the
// printer's first job and kept. GetPrinterW level 2 answers the port's name.
//
// A job goes out as it is written: StartDocPrinterW opens the port
// (OpenPortEx of the language monitor, or OpenPort of the port monitor) and
// starts its document (StartDocPort, level 1, the document name); every
// output write goes to WritePort before the call returns, written again from
// where the port stopped until it took everything; EndDocPrinter ends the
// port's document (EndDocPort) and closes the port. A failure of the port
// marks the job JOB_STATUS_ERROR; the write that met it answers FALSE with the
// port's error, later writes too, and EndDocPrinter answers FALSE.
//
// The job's output is what the application writes, unless the printer data
// value "SPLUserModePrinterDriver" (REG_SZ) names a user-mode driver library:
// that file, looked for in the driver directory only, is loaded through
// LoadLibraryW at the printer's first job and kept. Then
//   StartDocPrinterW   -> DrvSplStartDoc(output handle, job id)
//   StartPagePrinter   -> DrvSplStartPage
//   WritePrinter       -> DrvSplWritePrinter
//   EndPagePrinter     -> DrvSplEndPage
//   EndDocPrinter      -> DrvSplEndDoc, DrvSplClose
//   AbortPrinter, and SetJobW cancel or delete from any thread
//                      -> DrvSplAbort, then DrvSplClose once no call of the
//                         job is still inside the driver.
// The output handle is a printer handle of the stand-in's, bound to the job:
// WritePrinter on it is the job's output (to the port), StartPagePrinter and
// EndPagePrinter on it succeed without effect, ReadPrinter reads the port,
// and the document calls (StartDocPrinterW, EndDocPrinter, AbortPrinter) are
// refused with ERROR_INVALID_PRINTER_STATE: the document is the
// application's. Printer handles the driver library opens itself (its own
// call of OpenPrinterW) are the driver's too: a job started on them goes to
// the port as written, never back into the driver.
#pragma once

#include "kplatform/winspool_monitor.h"
#include "kplatform/wintypes.h"

#ifndef ERROR_PRINT_CANCELLED
#define ERROR_PRINT_CANCELLED 63L
#endif
#ifndef ERROR_UNKNOWN_PORT
#define ERROR_UNKNOWN_PORT 1796L
#endif
#ifndef ERROR_SPL_NO_STARTDOC
#define ERROR_SPL_NO_STARTDOC 3003L
#endif
#ifndef ERROR_TIMEOUT
#define ERROR_TIMEOUT 1460L
#endif

// JOB_INFO_1W.Status bits.
#define JOB_STATUS_PAUSED 0x00000001u
#define JOB_STATUS_ERROR 0x00000002u
#define JOB_STATUS_DELETING 0x00000004u
#define JOB_STATUS_SPOOLING 0x00000008u
#define JOB_STATUS_PRINTING 0x00000010u
#define JOB_STATUS_OFFLINE 0x00000020u
#define JOB_STATUS_PAPEROUT 0x00000040u
#define JOB_STATUS_PRINTED 0x00000080u
#define JOB_STATUS_DELETED 0x00000100u
#define JOB_STATUS_COMPLETE 0x00001000u

// ---- The document calls ------------------------------------------------------
//
// Every call answers FALSE (0 for StartDocPrinterW) with the last error set:
//   ERROR_INVALID_HANDLE     not an open printer handle
//   ERROR_SPL_NO_STARTDOC    no document started on the handle
//   ERROR_PRINT_CANCELLED    the job was aborted (AbortPrinter, SetJobW)
//   ERROR_INVALID_PARAMETER  a required pointer is null

// Level 1 (DOC_INFO_1W) only, else ERROR_INVALID_LEVEL. pDatatype null or
// "RAW" (else ERROR_INVALID_DATATYPE); pOutputFile must be null (printing to
// a file instead of the port is not offered: ERROR_NOT_SUPPORTED). A handle
// with a document already started: ERROR_INVALID_PRINTER_STATE. A printer
// without a port: ERROR_UNKNOWN_PORT. A port that does not open or start
// its document: the port's error. A printer-data read that fails other than
// with ERROR_FILE_NOT_FOUND: that error. A user-mode driver that does not
// load: the loader's error (ERROR_BAD_PATHNAME for a value holding a folder);
// one that lacks one of the seven exports: ERROR_PROC_NOT_FOUND; one whose
// DrvSplStartDoc answers null: the driver's error (ERROR_GEN_FAILURE when it
// set none). A failed call leaves no job and no port open. Answers the job id.
KP_API DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo);
KP_API BOOL WINAPI StartPagePrinter(HANDLE printer);
// *written (required) gets the bytes the job took: all of them, or fewer
// when the port failed (FALSE) or a test made the write short (TRUE).
KP_API BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written);
KP_API BOOL WINAPI EndPagePrinter(HANDLE printer);
// Ends the job (through the driver when there is one) and the port's
// document. FALSE with the first output error when the job met one (it then
// stays in the table with JOB_STATUS_ERROR); the document is ended either way.
KP_API BOOL WINAPI EndDocPrinter(HANDLE printer);
// Ends the job as deleted: nothing more reaches the port. The job stays in
// the table with JOB_STATUS_DELETED.
KP_API BOOL WINAPI AbortPrinter(HANDLE printer);
// What the port answered (the language monitor's or the port monitor's
// ReadPort), while a document is started on the handle: *read (required)
// bytes, possibly none. A file port answers none.
KP_API BOOL WINAPI ReadPrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD read);

// ---- The user-mode printer driver's exports -----------------------------------
//
// The spooler calls them for every job of a printer whose data names the
// library; `printer` is the job's output handle (above), the answered
// HANDLE the driver's own job handle passed to the other six.
typedef HANDLE(WINAPI* PFN_DrvSplStartDoc)(HANDLE printer, DWORD jobId);
typedef BOOL(WINAPI* PFN_DrvSplWritePrinter)(HANDLE driverJob, LPVOID buffer, DWORD size, LPDWORD written);
typedef BOOL(WINAPI* PFN_DrvSplStartPage)(HANDLE driverJob);
typedef BOOL(WINAPI* PFN_DrvSplEndPage)(HANDLE driverJob);
typedef VOID(WINAPI* PFN_DrvSplEndDoc)(HANDLE driverJob);
typedef VOID(WINAPI* PFN_DrvSplAbort)(HANDLE driverJob);
typedef VOID(WINAPI* PFN_DrvSplClose)(HANDLE driverJob);

// ---- Asking the printer through its port --------------------------------------
//
// A status page's questions to the printer, asked through the language
// monitor on the printer's port. The spooler takes the port as a job would:
// once no job writes through it and none waits for it (at most `timeoutMs`
// milliseconds, else ERROR_TIMEOUT), it opens the port through the printer's
// language monitor (OpenPortEx; the module kept for the printer's jobs), calls
// `ask` with the monitor host and the open port (for KpMonitorGetPrinterData),
// closes the port and lets the jobs that came meanwhile go out, on this
// thread. So a question never meets a port busy with a job, nor a job a port
// busy with a question. FALSE with the last error: ERROR_INVALID_PARAMETER
// (no callback), ERROR_INVALID_PRINTER_NAME, ERROR_UNKNOWN_PORT (no port),
// ERROR_NOT_SUPPORTED (no language monitor on the port), the monitor's error
// when the port does not open.
typedef void (*KP_PORT_QUESTIONS)(HANDLE monitor, HANDLE port, void* context);
KP_API BOOL KpSpoolerAskPort(LPCWSTR printerName, DWORD timeoutMs, KP_PORT_QUESTIONS ask, void* context);

// ---- Test controls ----------------------------------------------------------------

// Gives a known printer (KpSpoolerAddPrinter) its port, by the port
// monitor's port name, and the language monitor on it: a module name for
// LoadLibraryW ("kmonant.dll"), or null for none (the port monitor itself
// then takes the job). The monitor's registry root is
// "System\CurrentControlSet\Control\Print\Monitors\<module name without its
// extension>". A monitor kept for the printer from an earlier setting is
// unloaded once no job uses it. Unknown printer: FALSE,
// ERROR_INVALID_PRINTER_NAME.
KP_API BOOL KpSpoolerSetPrinterPort(LPCWSTR printerName, LPCWSTR portName, LPCWSTR languageMonitor);

// Output write faults of a printer's jobs: output writes nth to
// nth + times - 1 (counted from 1 at the next output write of any job of the
// printer) take at most maxBytes bytes each; with error 0 they succeed short,
// otherwise the job meets a port failure with that error after those bytes
// went out. nth 0 clears. Output writes are WritePrinter on the
// application's handle without a user-mode driver, else WritePrinter on the
// driver's handles.
KP_API BOOL KpSpoolerSetWriteFault(LPCWSTR printerName, DWORD nth, DWORD times, DWORD maxBytes, DWORD error);

// Whether jobs keep a copy of their output bytes (default TRUE). Write
// sizes and counts are kept either way.
KP_API void KpSpoolerRecordOutput(BOOL on);

// What one job sent. FALSE (ERROR_INVALID_PARAMETER) for an id no spooler
// job has. Jobs stay known until KpSpoolerReset (which also starts the ids
// at 1 again) or KpMonitorResetJobs.
typedef struct _KP_SPOOLER_JOB_STATE {
  DWORD status;        // JOB_STATUS_* bits, as GetJobW answers them
  DWORD error;         // the first output failure's error, 0 when none
  DWORD pagesStarted;  // StartPagePrinter calls on the application's handle
  DWORD pagesEnded;    // EndPagePrinter calls on the application's handle
  DWORD writeCalls;    // output writes (see KpSpoolerSetWriteFault)
  ULONGLONG bytes;     // bytes that reached the port
  BOOL ended;          // the job is over (ended, aborted or cancelled)
  BOOL driverJob;      // the job went through a user-mode driver
  BOOL driverClosed;   // DrvSplClose was called for it
} KP_SPOOLER_JOB_STATE;
KP_API BOOL KpSpoolerGetJobState(DWORD jobId, KP_SPOOLER_JOB_STATE* state);
// The size asked for by output write `index` (0-based); 0 beyond the count.
KP_API DWORD KpSpoolerJobWriteSize(DWORD jobId, DWORD index);
// The bytes that reached the port, in order (kept while KpSpoolerRecordOutput
// is on): copies at most size bytes and answers the total kept. Null buffer:
// only the total.
KP_API size_t KpSpoolerJobOutput(DWORD jobId, void* buffer, size_t size);
// Jobs that have started and not yet ended, over every printer.
KP_API DWORD KpSpoolerLiveJobCount(void);
