// The language monitor's internal interfaces: the port context, the status
// records, the reply parser, the job wrapper and the helpers they share.
// Every block comes from the monitor's one private heap (LMAlloc/LMFree).
#pragma once

#include <atomic>
#include <cstddef>

#include <kplatform/kwindows.h>
#include <kplatform/wide_text.h>
#include <kplatform/winspool_monitor.h>

namespace lm {

// ---- Heap and small helpers -------------------------------------------------
bool HeapInit();  // creates the private heap once (process attach)
void HeapDone();  // destroys it (process detach)
void* Alloc(SIZE_T bytes);  // zero-filled; null when memory runs out
void Free(void* block);
// A copy of a (non-null) UTF-16 text on the heap; null when memory runs out.
WCHAR* CopyW(const WCHAR* s);
HANDLE Heap();

// A bounded wait on a mutex: true when it is held (also when it was
// abandoned by a thread that ended), false on the time-out.
bool Lock(HANDLE mutex, DWORD milliseconds);

// Case-sensitive prefix test over `n` bytes.
inline bool Prefix(const char* text, size_t len, const char* word, size_t n) {
  if (len < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (text[i] != word[i]) return false;
  return true;
}
size_t CStrLen(const char* s);
void CStrCopy(char* dst, size_t cap, const char* src, size_t srcLen);

// ---- Status records ---------------------------------------------------------
constexpr DWORD kRecordData = 264;
struct Record {
  const char* name;
  DWORD size;
  DWORD changed;
  BYTE data[kRecordData];
};

// The job record "PrintingJobInfo2" (64 bytes).
struct JobRecord {
  DWORD size;          // 64
  DWORD jobId;         // spooler job id
  DWORD flags;         // kJob* bits
  DWORD printedPages;  // pages the printer reported printed
  DWORD lastPage;      // last page number seen on USTATUS PAGE
  DWORD colorPages;
  DWORD bwPages;
  DWORD result;        // 0 OK, 1 anything else the printer reported
  char name[32];       // the job name the printer reported (quotes removed)
};
static_assert(sizeof(JobRecord) == 64);
constexpr DWORD kJobSeen = 0x2, kJobStarted = 0x100, kJobEnded = 0x200, kJobCancelled = 0x400;

// "PrinterDisplay": 33 32-bit words, the first 16, then the display text:
// up to 32 UTF-16 characters, a terminator, zeros to the end.
struct DisplayRecord {
  DWORD tag;  // 16
  WCHAR text[64];
};
static_assert(sizeof(DisplayRecord) == 33 * 4);

// "PrinterBinConfig": the count, then tray id and size class per tray.
struct BinConfig {
  DWORD count;
  struct {
    DWORD trayId;
    DWORD sizeClass;  // 2 normal, 3 large
  } bins[32];
};
static_assert(sizeof(BinConfig) == 260);

// "PrinterOptionConfig": the options the printer reports installed.
struct OptionConfig {
  DWORD count;
  struct {
    DWORD optionId;
    DWORD installed;
  } options[8];
};
static_assert(sizeof(OptionConfig) == 68);

// The 32-byte tray entry of "LM_InputTray".
struct TrayEntry {
  DWORD trayId;     // the printer's tray number, 1 to 32
  DWORD sizeClass;  // 2 normal, 3 large, 0 not reported
  char name[24];    // the printer's tray name, NUL-padded
};
static_assert(sizeof(TrayEntry) == 32);

// The configuration the LM values answer, filled from the printer's INFO
// CONFIG and INFO ID replies.
struct Config {
  char sysName[32];
  DWORD memoryKB;
  DWORD memoryMB;
  WORD ramDisk;
  WORD duplexModule;
  DWORD trayCount;
  TrayEntry trays[32];
  DWORD filledTick;  // clock tick of the last INFO CONFIG reply
  bool filled;
};

// The port's status summary: one fixed record of what the other records say,
// handed to the status manager as "StatusSummary" whenever it changes, so
// that a reader sees the port's state in one piece.
struct StatusSummary {
  DWORD size;          // 44
  DWORD state;         // kSummary*: idle, a job on the printer, output stopped
  DWORD statusCode;    // the last status code (ErrCode)
  DWORD deviceStatus;  // the device id's status word (DeviceStatus)
  DWORD jobId;         // PrintingJobInfo2: the job's spooler id
  DWORD jobFlags;      //   its flags (kJob* bits)
  DWORD printedPages;  //   its printed pages
  DWORD pageCount;     // PageCount
  DWORD pendingJobs;   // jobs the printer has started and not ended
  DWORD trayCount;     // PrinterBinConfig: trays reported
  DWORD changes;       // grows by one with every change of the fields above
};
static_assert(sizeof(StatusSummary) == 44);
static_assert(offsetof(StatusSummary, jobId) == 16 && offsetof(StatusSummary, changes) == 40);
constexpr DWORD kSummaryIdle = 0, kSummaryPrinting = 1, kSummaryStopped = 2;

constexpr DWORD kHeldCap = 8192;     // held reply text
constexpr DWORD kPendingCap = 64;    // pending job records
constexpr DWORD kSentCap = 16;       // job names sent, for name look-up

struct JobEntry {
  JobEntry* next;
  JobRecord rec;
};
struct SentJob {
  char name[33];
  DWORD jobId;
};

// The parser's state and everything it writes: one per port.
struct Status {
  CRITICAL_SECTION* cs;  // the port's critical section (may be null in tests)
  Record* records;
  DWORD recordCount;
  // parser state
  char* held;  // heap block of kHeldCap bytes
  DWORD heldLen;
  int state;        // 5 reply complete, 6 more text expected
  DWORD flags;      // bit 31: an INFO VARIABLES reply reached its end
  JobRecord work;   // working copy of the job record
  DWORD completed;  // replies served so far (all kinds)
  DWORD skipped;    // replies skipped (unknown or no reply)
  // port facts the parser reads and writes
  JobEntry* pendingFirst;
  JobEntry* pendingLast;
  DWORD pendingCount;
  SentJob sent[kSentCap];
  DWORD sentNext;
  DWORD currentJob;     // job id in progress on the port (0: none)
  bool stoppingError;   // the printer reports an error that stops output
  bool jobCancelled;    // the current job was reported cancelled
  bool jobEnded;        // the printer reported the current job's end
  DWORD statusCode;
  Config config;
  StatusSummary summary;
  DWORD summaryChanged;  // the summary changed since the status manager had it
  HANDLE changedEvent;  // set when a record changed (may be null)
};

bool StatusInit(Status* st, CRITICAL_SECTION* cs);
void StatusFree(Status* st);
Record* FindRecord(Status* st, const char* name);

// Feeds text read from the port. Results: 0 the reply was consumed
// (complete), 1 more text is awaited, 2 text that is no reply was skipped.
int Feed(Status* st, const char* text, DWORD len);
// Scans an IEEE 1284 device id string.
void ScanDeviceId(Status* st, const char* text, DWORD len);
// Remembers the name under which a job was announced to the printer.
void NoteSentJob(Status* st, const char* name, DWORD jobId);
// Brings the summary up to date with the records (under the port's critical
// section); marks it changed when a field differs.
void Summarize(Status* st);

// ---- Port context -----------------------------------------------------------
constexpr DWORD kSignature = 20304;  // "PO"

// State flags.
constexpr LONG kFlagJob = 0x1, kFlagPolling = 0x2, kFlagRealOpen = 0x4, kFlagStopError = 0x8, kFlagClosing = 0x10,
               kFlagAwake = 0x20, kFlagSuspended = 0x40, kFlagDeviceRequest = 0x80, kFlagPortCall = 0x100,
               kFlagConfigStale = 0x8000;
// Port options.
constexpr DWORD kOptStatus = 0x1, kOptPjlStatus = 0x4, kOptRetry = 0x8, kOptJcidA = 0x80, kOptJcidB = 0x100;

// A status node: one per printer name that used the port. `release` and
// `userData` are the status manager's notification registration for the
// printer (KillNotificationCallback and the registration it ends); both are
// null without a status manager or when it refused the registration.
struct StatusNode {
  StatusNode* next;
  WCHAR* printerName;
  bool statusSupport;  // the port's status support when the node was made
  BOOL(WINAPI* release)(HANDLE userData);
  HANDLE userData;
};
constexpr DWORD kNodeCap = 16;  // status nodes a port keeps

struct PortContext {
  DWORD signature;
  DWORD size;
  PortContext* next;
  WCHAR* portName;
  WCHAR* printerName;
  HANDLE realPort;
  MONITOR pm;
  DWORD jobId;
  std::atomic<LONG> flags;
  DWORD options;
  HANDLE mutex;       // per-port mutex: the spooler's calls and the polling thread
  HANDLE mutex2;
  HANDLE closeEvent;  // manual reset: stops the port's threads
  HANDLE replyEvent;  // manual reset: the polling thread answered a request
  HANDLE wakeEvent;   // auto reset: wakes the polling thread
  CRITICAL_SECTION* cs;
  Status status;
  // job wrapper
  int pjlState;  // 0 not inspected, -1 plain, 1 PostScript, 2 job command found
  bool startPending;
  bool startDropped;
  bool idSupplied;
  bool startHadJobCommand;
  bool startHadName;
  bool anyByteSent;
  char jcid[33];
  char jobName[81];
  char announced[81];
  BYTE* startBlock;
  DWORD startLen;
  DWORD startSent;
  DWORD stallTick;
  // threads
  HANDLE pollThread;
  HANDLE notifyThread;
  std::atomic<LONG> pollRun;
  std::atomic<LONG> suspendRequest;
  // outside status manager
  HMODULE statmgr;
  HANDLE statmgrHandle;
  StatusNode* nodes;  // under cs
  DWORD nodeCount;
  // "PrintingPriority" while a job runs: the job thread's own priority and a
  // handle to that thread (null when nothing was changed)
  int savedPriority;
  std::atomic<HANDLE> priorityThread;
  WCHAR name[1];  // the port name follows
};

// Monitor-wide state.
extern CRITICAL_SECTION g_portsCs;
extern CRITICAL_SECTION g_secondCs;
extern PortContext* g_ports;

// Port functions (the entry table).
BOOL WINAPI OpenPortEx(LPWSTR portName, LPWSTR printerName, PHANDLE port, LPMONITOR portMonitor);
BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL WINAPI EndDocPort(HANDLE port);
BOOL WINAPI ClosePort(HANDLE port);
BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned);

// A port handle that is in the port list, or null.
PortContext* FindPort(HANDLE port);

// Sends PJL requests on the idle port and feeds the replies to the parser
// until `expected` replies completed or the printer went quiet. The caller
// holds the per-port mutex; no job may be in progress. False when the real
// port could not be opened or no reply completed.
bool QueryPrinter(PortContext* ctx, const char* requests, DWORD expected);
// Reads once from the open real port (bounded) and feeds the parser.
DWORD ReadAndFeed(PortContext* ctx, DWORD maxReads);

// Polling and notification threads.
bool StartPolling(PortContext* ctx);
void StopThreads(PortContext* ctx);

// Outside status manager.
void StatmgrOpen(PortContext* ctx);
void StatmgrClose(PortContext* ctx);
void StatmgrSend(PortContext* ctx, const char* record, const void* data, DWORD size);
// The status node of a printer name: found, or made (and registered with the
// status manager) when the port has fewer than kNodeCap.
void EnsureNode(PortContext* ctx, const WCHAR* printerName);
// Status support for a job of the printer: its node's, or without a node the
// port's.
bool StatusSupportFor(PortContext* ctx, const WCHAR* printerName);
// Calls every node's release callback with its user data and clears both.
void ReleaseNodes(PortContext* ctx);
void FreeNodes(PortContext* ctx);

// "PrintingPriority" (lm_wrap.cpp): set for the calling job thread at
// StartDocPort, given back at EndDocPort, ClosePort or the next job.
void ApplyPriority(PortContext* ctx);
void RestorePriority(PortContext* ctx);

// ---- Monitor-wide configuration, event log and trace (lm_log.cpp) ----------
// Step 2 and 3 of the entry: reads "EventLogFolder" under the monitor's
// registry root and the job service's "RunMode", then writes the event-log
// line. Runs with the second global critical section made.
void LogSetup(const WCHAR* registryRoot);
// True while the trace switch is on and a trace file is named.
bool Tracing();
// Appends one line to the trace file; never changes the last error and never
// fails the caller.
void TraceCall(const char* call, const WCHAR* portName, const char* detail, BOOL result, DWORD error);
// A DWORD value under the monitor's registry root (HKEY_LOCAL_MACHINE); false
// when the root, the key or the value is missing or the value is no DWORD.
bool ReadRootDword(const WCHAR* value, DWORD* out);
// Copies the port name of an open port (for the trace; cut to `cap`); false
// when the handle is no open port.
bool PortNameOf(HANDLE port, WCHAR* out, size_t cap);
// A heap copy of the monitor's registry root (null before the entry ran).
WCHAR* CopyRegistryRoot();

// Job wrapper helpers (exposed for the port functions).
void MakeJobControlId(const PortContext* ctx, char* out, size_t cap);
DWORD BuildStartBlock(PortContext* ctx, BYTE* out, DWORD cap);
DWORD BuildEndBlock(PortContext* ctx, BYTE* out, DWORD cap);
void Inspect(PortContext* ctx, const BYTE* data, DWORD size);

constexpr DWORD kMutexWait = 30000;
constexpr DWORD kPendingWaitMax = 120000;  // the wait of code 7 for pending data
#ifndef ERROR_TIMEOUT
#define ERROR_TIMEOUT 1460L
#endif

// One port call's hold on its port: the context its handle names and the
// per-port mutex. Each port function starts with one and leaves through
// fail(), its one failure exit; the mutex is given back when the call
// returns, or earlier with unlock() where the call must not hold it (a
// sleep), and giving it back never changes the last error the call set.
class PortCall {
 public:
  explicit PortCall(HANDLE port) : ctx_(FindPort(port)) {}
  ~PortCall() { unlock(); }
  PortCall(const PortCall&) = delete;
  PortCall& operator=(const PortCall&) = delete;

  // The port's context; null when the handle names no open port.
  PortContext* ctx() const { return ctx_; }
  // Takes the mutex, waiting at most kMutexWait: false on the time-out.
  bool lock() {
    locked_ = Lock(ctx_->mutex, kMutexWait);
    return locked_;
  }
  void unlock() {
    if (!locked_) return;
    locked_ = false;
    DWORD error = GetLastError();
    ReleaseMutex(ctx_->mutex);
    SetLastError(error);
  }
  // The mutex was given up by a wait that could not take it again.
  void lost() { locked_ = false; }
  // Gives the mutex back, sets the error and answers FALSE.
  BOOL fail(DWORD error) {
    unlock();
    SetLastError(error);
    return FALSE;
  }

 private:
  PortContext* ctx_;
  bool locked_ = false;
};

}  // namespace lm
