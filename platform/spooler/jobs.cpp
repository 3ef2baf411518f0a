// The spooler's jobs: the one job table behind GetJobW/SetJobW (jobs the
// monitor host's tests add, and jobs StartDocPrinterW makes), the document
// calls on a printer handle, the output to the printer's port through its
// monitor, and the user-mode driver a printer's data names (see
// kplatform/winspool_job.h and this folder's README).
//
// Locks: the table lock guards the table and the printers' kept state; a
// job's `m` guards its fields; a job's `io` serialises the calls on its port
// (writes, reads, the end of the port's document). No lock is held while the
// driver or a monitor is called, except `io` around the port calls
// themselves.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/monitor_host.h"
#include "kplatform/winspool_job.h"
#include "kplatform/winspool_printer.h"
#include "spooler/spooler.h"

namespace kp::spooler {
namespace {

constexpr char16_t kDriverValue[] = u"SPLUserModePrinterDriver";
constexpr char16_t kDriverDirectory[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
constexpr char16_t kMonitorsKey[] = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\";
// WritePort calls in a row that take nothing before a write gives up.
constexpr DWORD kIdleWriteLimit = 1000;

std::u16string UpperName(const std::u16string& name) {
  std::u16string out = name;
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return out;
}

// A user-mode driver library a printer keeps; freed when the last job and
// the printer let go of it.
struct UmDriver {
  std::u16string name;  // the printer-data value, upper case
  HMODULE module = nullptr;
  PFN_DrvSplStartDoc startDoc = nullptr;
  PFN_DrvSplWritePrinter writePrinter = nullptr;
  PFN_DrvSplStartPage startPage = nullptr;
  PFN_DrvSplEndPage endPage = nullptr;
  PFN_DrvSplEndDoc endDoc = nullptr;
  PFN_DrvSplAbort abort = nullptr;
  PFN_DrvSplClose close = nullptr;
  ~UmDriver();
};

// A language monitor a printer keeps (through the monitor host).
struct Monitor {
  std::u16string module;  // upper case
  HANDLE host = nullptr;
  ~Monitor() {
    if (host) KpMonitorUnload(host);
  }
};

// What the spooler keeps per printer beyond its table entry.
struct PrinterState {
  std::shared_ptr<UmDriver> driver;
  std::shared_ptr<Monitor> monitor;
  // KpSpoolerSetWriteFault
  DWORD faultFrom = 0, faultTimes = 0, faultMaxBytes = 0, faultError = 0, writesSinceFault = 0;
};

}  // namespace

struct Job : std::enable_shared_from_this<Job> {
  DWORD id = 0;
  std::u16string printer, document, user;
  SYSTEMTIME submitted{};
  bool spooled = false;  // made by StartDocPrinterW (else a monitor-host test row)

  std::mutex m;
  std::condition_variable changed;
  DWORD lastCommand = 0;
  bool deleted = false;
  DWORD status = 0;
  DWORD error = 0;  // the first output failure
  DWORD pagesStarted = 0, pagesEnded = 0;
  std::vector<DWORD> writeSizes;
  std::vector<uint8_t> bytes;
  ULONGLONG byteCount = 0;

  // The end: `closing` once EndDocPrinter or an abort asked for it,
  // `finishing` while the port's document is being ended, `ended` after.
  bool aborted = false, closing = false, finishing = false, ended = false;
  int inside = 0;  // calls of the application (and aborts) inside the job now

  // The port. A job that found its port free at the start owns it and
  // writes through it as it goes; one that found it busy is held: its output
  // is kept (`heldBytes`, one piece a write) and goes out once it has ended
  // and the port is free (`queued` meanwhile, `sending` while it goes).
  std::mutex io;
  std::u16string portName;
  std::shared_ptr<Monitor> monitor;  // null: the port monitor itself
  const MONITOR* table = nullptr;
  HANDLE port = nullptr;
  bool portOpen = false;
  bool held = false, queued = false, sending = false;
  std::vector<uint8_t> heldBytes;
  std::vector<DWORD> heldPieces;

  // The user-mode driver.
  std::shared_ptr<UmDriver> driver;
  HANDLE driverJob = nullptr;
  HANDLE output = nullptr;  // the output handle given to DrvSplStartDoc
  bool driverAbortCalled = false, driverCloseCalled = false, driverClosed = false;
};

namespace {

// Who has a port: the job writing through it now, and the held jobs that
// have ended and wait for it, in the order they ended.
struct PortUse {
  std::shared_ptr<Job> owner;
  std::vector<std::shared_ptr<Job>> queue;
};

struct State {
  std::mutex lock;
  std::map<DWORD, std::shared_ptr<Job>> jobs;
  std::map<std::u16string, PortUse> ports;  // by upper-case port name
  std::condition_variable portFreed;         // a port's last user let go of it
  DWORD nextJob = 1;
  std::map<std::u16string, PrinterState> printers;  // by upper-case name
  std::set<HMODULE> driverModules;                   // modules of live UmDriver records
  std::atomic<bool> recordOutput{true};
};

State& S() {
  static State* s = new State();  // outlives static destructors
  return *s;
}

std::shared_ptr<Job> FindJob(DWORD id) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().jobs.find(id);
  return it == S().jobs.end() ? nullptr : it->second;
}

bool SameName(const std::u16string& a, const std::u16string& b) { return UpperName(a) == UpperName(b); }

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// ---- The port ---------------------------------------------------------------

// Opens the printer's port and starts its document; false with the error.
bool OpenPort(Job& j, const std::u16string& portName, DWORD* error) {
  std::u16string port = portName, printer = j.printer, doc = j.document, raw = u"RAW";
  HANDLE h = nullptr;
  if (j.monitor) {
    j.table = KpMonitorTable(j.monitor->host);
    if (!j.table || !KpMonitorOpenPort(j.monitor->host, port.c_str(), printer.c_str(), &h)) {
      *error = j.table ? GetLastError() : ERROR_INVALID_HANDLE;
      return false;
    }
  } else {
    j.table = KpPortMonitor();
    if (!j.table->pfnOpenPort(port.data(), &h)) {
      *error = GetLastError();
      return false;
    }
  }
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  if (!j.table->pfnStartDocPort(h, printer.data(), j.id, 1, reinterpret_cast<LPBYTE>(&info))) {
    *error = GetLastError();
    if (j.monitor) KpMonitorClosePort(j.monitor->host, h);
    else j.table->pfnClosePort(h);
    return false;
  }
  j.port = h;
  j.portOpen = true;
  return true;
}

// Ends the port's document and closes the port; the error of EndDocPort or
// ClosePort, 0 when both succeeded.
DWORD ClosePort(Job& j) {
  std::lock_guard<std::mutex> io(j.io);
  if (!j.portOpen) return 0;
  DWORD error = 0;
  if (!j.table->pfnEndDocPort(j.port)) error = GetLastError();
  BOOL closed = j.monitor ? KpMonitorClosePort(j.monitor->host, j.port) : j.table->pfnClosePort(j.port);
  if (!closed && error == 0) error = GetLastError();
  j.portOpen = false;
  j.port = nullptr;
  return error;
}

// The next output write's fault of the printer: the bytes it may take and
// the error it ends with.
void NextFault(const std::u16string& printer, DWORD size, DWORD* keep, DWORD* error) {
  *keep = size;
  *error = 0;
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().printers.find(UpperName(printer));
  if (it == S().printers.end() || it->second.faultFrom == 0) return;
  PrinterState& p = it->second;
  DWORD call = ++p.writesSinceFault;
  if (call >= p.faultFrom && call - p.faultFrom < p.faultTimes) {
    *keep = std::min(size, p.faultMaxBytes);
    *error = p.faultError;
  }
}

// Writes to the open port, resumed where it stopped; answers the bytes
// taken and the error that stopped it (0: all taken).
DWORD PortWrite(Job& j, const BYTE* data, DWORD size, DWORD* done) {
  DWORD idle = 0;
  *done = 0;
  while (*done < size) {
    DWORD taken = 0;
    if (!j.table->pfnWritePort(j.port, const_cast<BYTE*>(data) + *done, size - *done, &taken)) {
      DWORD error = GetLastError();
      *done += std::min(taken, size - *done);
      return error != 0 ? error : ERROR_WRITE_FAULT;
    }
    taken = std::min(taken, size - *done);
    *done += taken;
    if (taken != 0) {
      idle = 0;
      continue;
    }
    if (++idle >= kIdleWriteLimit) return ERROR_TIMEOUT;
    std::lock_guard<std::mutex> g(j.m);
    if (j.aborted) return ERROR_PRINT_CANCELLED;
  }
  return 0;
}

// Notes bytes that reached the port, and a failure (under j.m).
void NoteSent(Job& j, const BYTE* data, DWORD done, DWORD error) {
  j.byteCount += done;
  if (S().recordOutput.load()) j.bytes.insert(j.bytes.end(), data, data + done);
  if (error != 0 && error != ERROR_PRINT_CANCELLED) {
    j.status |= JOB_STATUS_ERROR;
    if (j.error == 0) j.error = error;
  }
}

// One output write of the job: through the port when the job owns it, into
// the held output otherwise.
BOOL OutputWrite(Job& j, const BYTE* data, DWORD size, DWORD* written) {
  *written = 0;
  std::lock_guard<std::mutex> io(j.io);
  {
    std::lock_guard<std::mutex> g(j.m);
    if (j.aborted) return Fail(ERROR_PRINT_CANCELLED);
    if (j.error != 0) return Fail(j.error);  // the port failed before: nothing more goes out
    if (j.ended || (!j.portOpen && !j.held)) return Fail(ERROR_SPL_NO_STARTDOC);
    j.writeSizes.push_back(size);
  }
  DWORD keep = 0, injected = 0;
  NextFault(j.printer, size, &keep, &injected);
  DWORD done = 0, error = 0;
  if (j.held) {
    std::lock_guard<std::mutex> g(j.m);
    j.heldBytes.insert(j.heldBytes.end(), data, data + keep);
    j.heldPieces.push_back(keep);
    done = keep;
  } else {
    error = PortWrite(j, data, keep, &done);
  }
  if (error == 0) error = injected;
  std::lock_guard<std::mutex> g(j.m);
  if (j.held) {
    if (error != 0) {
      j.status |= JOB_STATUS_ERROR;
      if (j.error == 0) j.error = error;
    }
  } else {
    NoteSent(j, data, done, error);
  }
  *written = done;
  return error != 0 ? Fail(error) : TRUE;
}

// Sends a held job that has ended: its port's document, each piece as it
// was written, the end. The caller owns the port for it.
void SendHeld(Job& j) {
  {
    std::lock_guard<std::mutex> g(j.m);
    if (j.aborted) {  // cancelled while it waited
      j.queued = false;
      j.status = (j.status & ~JOB_STATUS_SPOOLING) | JOB_STATUS_DELETED;
      return;
    }
    j.sending = true;
  }
  std::lock_guard<std::mutex> io(j.io);
  DWORD error = 0;
  bool opened = OpenPort(j, j.portName, &error);
  size_t at = 0;
  for (size_t i = 0; opened && error == 0 && i < j.heldPieces.size(); ++i) {
    const BYTE* piece = j.heldBytes.data() + at;
    DWORD done = 0;
    error = PortWrite(j, piece, j.heldPieces[i], &done);
    at += j.heldPieces[i];
    std::lock_guard<std::mutex> g(j.m);
    NoteSent(j, piece, done, error);
  }
  DWORD closeError = 0;
  if (opened) {
    if (!j.table->pfnEndDocPort(j.port)) closeError = GetLastError();
    if (!(j.monitor ? KpMonitorClosePort(j.monitor->host, j.port) : j.table->pfnClosePort(j.port)) && !closeError)
      closeError = GetLastError();
    j.portOpen = false;
    j.port = nullptr;
  }
  std::lock_guard<std::mutex> g(j.m);
  if (error == 0) error = closeError;
  if (error != 0 && error != ERROR_PRINT_CANCELLED) {
    j.status |= JOB_STATUS_ERROR;
    if (j.error == 0) j.error = error;
  }
  j.heldBytes.clear();
  j.heldPieces.clear();
  j.sending = j.queued = false;
  j.status &= ~(JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING);
  if (j.aborted) j.status |= JOB_STATUS_DELETED;
  else if (j.error == 0) j.status |= JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
}

// The port's owner lets go of it: the held jobs waiting for it go out, one
// after the other, on this thread.
void ReleasePort(const std::u16string& portName) {
  const std::u16string key = UpperName(portName);
  for (;;) {
    std::shared_ptr<Job> next;
    {
      std::lock_guard<std::mutex> g(S().lock);
      PortUse& use = S().ports[key];
      if (use.queue.empty()) {
        S().ports.erase(key);
        S().portFreed.notify_all();
        return;
      }
      next = use.queue.front();
      use.queue.erase(use.queue.begin());
      use.owner = next;
    }
    SendHeld(*next);
  }
}

// A held job has ended: it goes out now when the port is free, else when
// its owner lets go.
void QueueHeld(const std::shared_ptr<Job>& j) {
  const std::u16string key = UpperName(j->portName);
  {
    std::lock_guard<std::mutex> g(S().lock);
    PortUse& use = S().ports[key];
    if (use.owner) {
      use.queue.push_back(j);
      return;
    }
    use.owner = j;
  }
  SendHeld(*j);
  ReleasePort(j->portName);
}

// ---- The user-mode driver --------------------------------------------------

template <typename F>
F Export(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

// Loads the library the value names, from the driver directory only.
std::shared_ptr<UmDriver> LoadDriver(const std::u16string& value, DWORD* error) {
  if (value.find_first_of(u"\\/:") != std::u16string::npos) {
    *error = ERROR_BAD_PATHNAME;  // a folder would load code from outside the driver directory
    return nullptr;
  }
  std::u16string path = std::u16string(kDriverDirectory) + value;
  HMODULE m = LoadLibraryW(path.c_str());
  if (!m) {
    *error = GetLastError();
    return nullptr;
  }
  auto d = std::make_shared<UmDriver>();
  d->name = UpperName(value);
  d->module = m;
  d->startDoc = Export<PFN_DrvSplStartDoc>(m, "DrvSplStartDoc");
  d->writePrinter = Export<PFN_DrvSplWritePrinter>(m, "DrvSplWritePrinter");
  d->startPage = Export<PFN_DrvSplStartPage>(m, "DrvSplStartPage");
  d->endPage = Export<PFN_DrvSplEndPage>(m, "DrvSplEndPage");
  d->endDoc = Export<PFN_DrvSplEndDoc>(m, "DrvSplEndDoc");
  d->abort = Export<PFN_DrvSplAbort>(m, "DrvSplAbort");
  d->close = Export<PFN_DrvSplClose>(m, "DrvSplClose");
  if (!d->startDoc || !d->writePrinter || !d->startPage || !d->endPage || !d->endDoc || !d->abort || !d->close) {
    *error = ERROR_PROC_NOT_FOUND;
    return nullptr;  // the destructor frees the library
  }
  std::lock_guard<std::mutex> g(S().lock);
  S().driverModules.insert(m);
  return d;
}

UmDriver::~UmDriver() {
  if (!module) return;
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().driverModules.erase(module);
  }
  FreeLibrary(module);
}

// The printer's driver for a new job: the kept one when the value still
// names it, else the library the value names, loaded and kept. Null with
// *error 0 when the printer's data has no such value.
std::shared_ptr<UmDriver> DriverFor(HANDLE printer, const std::u16string& printerName, DWORD* error) {
  *error = 0;
  std::u16string name(kDriverValue);
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(printer, name.data(), &type, nullptr, 0, &needed);
  if (rc == ERROR_FILE_NOT_FOUND) return nullptr;
  std::vector<BYTE> data(needed + sizeof(char16_t));
  if (rc == ERROR_MORE_DATA || rc == ERROR_SUCCESS)
    rc = GetPrinterDataW(printer, name.data(), &type, data.data(), needed, &needed);
  if (rc == ERROR_FILE_NOT_FOUND) return nullptr;
  if (rc != ERROR_SUCCESS) {
    *error = rc;
    return nullptr;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    *error = ERROR_INVALID_DATA;
    return nullptr;
  }
  std::u16string value(reinterpret_cast<const char16_t*>(data.data()), needed / sizeof(char16_t));
  value = value.substr(0, value.find(u'\0'));
  if (value.empty()) return nullptr;  // an empty value names no driver
  const std::u16string key = UpperName(printerName);
  {
    std::lock_guard<std::mutex> g(S().lock);
    auto& kept = S().printers[key].driver;
    if (kept && kept->name == UpperName(value)) return kept;
  }
  std::shared_ptr<UmDriver> loaded = LoadDriver(value, error);
  if (!loaded) return nullptr;
  std::shared_ptr<UmDriver> old;
  std::lock_guard<std::mutex> g(S().lock);
  old = std::exchange(S().printers[key].driver, loaded);  // freed when its last job lets go
  return loaded;
}

std::shared_ptr<Monitor> MonitorFor(const std::u16string& printerName, const std::u16string& module, DWORD* error) {
  *error = 0;
  const std::u16string key = UpperName(printerName);
  {
    std::lock_guard<std::mutex> g(S().lock);
    auto& kept = S().printers[key].monitor;
    if (kept && kept->module == UpperName(module)) return kept;
  }
  std::u16string base = module.substr(module.find_last_of(u"\\/") + 1);
  base = base.substr(0, base.find(u'.'));
  std::u16string root = std::u16string(kMonitorsKey) + base;
  HANDLE host = KpMonitorLoad(module.c_str(), root.c_str());
  if (!host) {
    *error = GetLastError();
    return nullptr;
  }
  auto m = std::make_shared<Monitor>();
  m->module = UpperName(module);
  m->host = host;
  std::shared_ptr<Monitor> old;
  std::lock_guard<std::mutex> g(S().lock);
  old = std::exchange(S().printers[key].monitor, m);
  return m;
}

// ---- The end of a job ---------------------------------------------------------

// Runs what the job's state asks for and no other thread is doing: the
// driver's abort, its close once no call is inside, then the end of the
// port's document. Called with no lock held, after every change of state.
void Settle(Job& j) {
  std::unique_lock<std::mutex> g(j.m);
  for (;;) {
    if (j.ended || j.finishing) return;
    if (j.driver && j.driverJob) {
      if (j.aborted && !j.driverAbortCalled) {
        j.driverAbortCalled = true;
        ++j.inside;  // the abort is a call of the job too
        g.unlock();
        j.driver->abort(j.driverJob);
        g.lock();
        --j.inside;
        continue;
      }
      if (j.closing && !j.driverCloseCalled) {
        if (j.inside > 0) return;  // the last call to leave closes
        j.driverCloseCalled = true;
        g.unlock();
        j.driver->close(j.driverJob);
        g.lock();
        j.driverClosed = true;
        continue;
      }
      if (j.closing && !j.driverClosed) return;  // another thread is closing it
    }
    if (!j.closing || j.inside > 0) return;
    j.finishing = true;
    const bool held = j.held;
    g.unlock();
    if (j.output) RemoveHandle(j.output);  // the driver's output handle ends with the job
    DWORD portError = held ? 0 : ClosePort(j);
    g.lock();
    j.output = nullptr;
    if (portError != 0 && !j.aborted) {
      j.status |= JOB_STATUS_ERROR;
      if (j.error == 0) j.error = portError;
    }
    const bool queue = held && !j.aborted && j.error == 0;
    j.status &= ~(JOB_STATUS_PRINTING | JOB_STATUS_DELETING);
    if (!queue) j.status &= ~JOB_STATUS_SPOOLING;  // a queued job is spooled until it goes out
    if (j.aborted) j.status |= JOB_STATUS_DELETED;
    else if (j.error == 0 && !queue) j.status |= JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
    j.queued = queue;
    j.finishing = false;
    j.ended = true;
    // The printer keeps the library; the job lets go of it (after the lock:
    // the last reference frees the library).
    std::shared_ptr<UmDriver> release = std::move(j.driver);
    j.changed.notify_all();
    g.unlock();
    if (!held) ReleasePort(j.portName);  // held jobs waiting for the port go out
    else if (queue) QueueHeld(j.shared_from_this());
    return;
  }
}

// Asks the job to end as deleted (any thread); false when it is over or
// already aborted.
bool RequestAbort(Job& j) {
  bool dequeue = false;
  {
    std::lock_guard<std::mutex> g(j.m);
    if (j.aborted) return false;
    if (j.ended) {  // a held job waiting for its port can still be cancelled
      if (!j.queued || j.sending) return false;
      j.aborted = true;
      dequeue = true;
    }
  }
  if (dequeue) {
    {
      std::lock_guard<std::mutex> g(S().lock);
      auto it = S().ports.find(UpperName(j.portName));
      if (it != S().ports.end()) std::erase_if(it->second.queue, [&j](const auto& q) { return q.get() == &j; });
    }
    std::lock_guard<std::mutex> g(j.m);
    j.queued = false;
    j.heldBytes.clear();
    j.heldPieces.clear();
    j.status = (j.status & ~JOB_STATUS_SPOOLING) | JOB_STATUS_DELETED;
    return true;
  }
  {
    std::lock_guard<std::mutex> g(j.m);
    if (j.ended || j.aborted) return false;
    j.aborted = true;
    j.closing = true;
    j.status |= JOB_STATUS_DELETING;
  }
  Settle(j);
  return true;
}

void WaitEnded(Job& j) {
  std::unique_lock<std::mutex> g(j.m);
  j.changed.wait(g, [&j] { return j.ended; });
}

// An application call enters the job; false (ERROR_PRINT_CANCELLED, or
// ERROR_SPL_NO_STARTDOC once ended) when it may not.
bool Enter(Job& j) {
  std::lock_guard<std::mutex> g(j.m);
  if (j.aborted) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return false;
  }
  if (j.closing || j.ended) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return false;
  }
  ++j.inside;
  return true;
}

void Leave(Job& j) {
  {
    std::lock_guard<std::mutex> g(j.m);
    --j.inside;
  }
  Settle(j);
}

// The document of an application handle; null (and the error) when there
// is none, or when the handle is the driver's output handle.
std::shared_ptr<Job> DocOf(Handle& h) {
  std::lock_guard<std::mutex> g(h.lock);
  if (!h.doc) SetLastError(ERROR_SPL_NO_STARTDOC);
  return h.doc;
}

std::shared_ptr<Job> TakeDoc(Handle& h) {
  std::lock_guard<std::mutex> g(h.lock);
  return std::exchange(h.doc, nullptr);
}

DWORD DriverError(Job& j, DWORD error) {
  std::lock_guard<std::mutex> g(j.m);
  if (j.aborted) return ERROR_PRINT_CANCELLED;
  if (j.error != 0) return j.error;
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace

bool IsUserModeDriver(HMODULE module) {
  if (!module) return false;
  std::lock_guard<std::mutex> g(S().lock);
  return S().driverModules.count(module) != 0;
}

bool JobDocument(DWORD jobId, std::u16string* document) {
  std::shared_ptr<Job> j = FindJob(jobId);
  if (!j) return false;
  if (document) *document = j->document;
  return true;
}

void AbortOnClose(Handle& h) {
  std::shared_ptr<Job> j = TakeDoc(h);
  if (!j) return;
  RequestAbort(*j);
  WaitEnded(*j);
}

void ResetJobSide() {
  std::map<std::u16string, PrinterState> printers;
  std::map<DWORD, std::shared_ptr<Job>> jobs;
  std::map<std::u16string, PortUse> ports;
  {
    std::lock_guard<std::mutex> g(S().lock);
    printers.swap(S().printers);
    jobs.swap(S().jobs);
    ports.swap(S().ports);
    S().nextJob = 1;
  }
  S().portFreed.notify_all();
  // released here, outside the lock: a library or monitor is freed once no
  // live job holds it
}

}  // namespace kp::spooler

using kp::spooler::FindHandle;
using kp::spooler::Handle;
using kp::spooler::Job;

// ---- The job table --------------------------------------------------------------

KP_API DWORD KpMonitorAddJob(LPCWSTR printerName, LPCWSTR document, LPCWSTR userName) {
  auto j = std::make_shared<Job>();
  j->printer = printerName ? printerName : u"";
  j->document = document ? document : u"";
  j->user = userName ? userName : u"";
  GetSystemTime(&j->submitted);
  auto& s = kp::spooler::S();
  std::lock_guard<std::mutex> g(s.lock);
  j->id = s.nextJob++;
  s.jobs[j->id] = j;
  return j->id;
}

KP_API BOOL KpMonitorGetJobState(DWORD jobId, LPDWORD lastCommand, LPBOOL deleted) {
  std::shared_ptr<Job> j = kp::spooler::FindJob(jobId);
  if (!j) return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> g(j->m);
  if (lastCommand) *lastCommand = j->lastCommand;
  if (deleted) *deleted = j->deleted ? TRUE : FALSE;
  return TRUE;
}

KP_API void KpMonitorResetJobs(void) {
  std::map<DWORD, std::shared_ptr<Job>> jobs;
  auto& s = kp::spooler::S();
  std::lock_guard<std::mutex> g(s.lock);
  jobs.swap(s.jobs);
}

bool KpMonitorHasJobsFor(const std::u16string& printer) {
  auto& s = kp::spooler::S();
  std::lock_guard<std::mutex> g(s.lock);
  for (auto& [id, job] : s.jobs)
    if (kp::spooler::SameName(job->printer, printer)) return true;
  return false;
}

KP_API BOOL WINAPI GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size, LPDWORD needed) {
  std::u16string printerName;
  if (!KpPrinterHandleName(printer, &printerName)) return kp::spooler::Fail(ERROR_INVALID_HANDLE);
  if (level != 1) return kp::spooler::Fail(ERROR_INVALID_LEVEL);
  std::shared_ptr<Job> found = kp::spooler::FindJob(jobId);
  if (!found || !kp::spooler::SameName(found->printer, printerName))
    return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
  Job& j = *found;
  std::lock_guard<std::mutex> g(j.m);
  if (j.deleted) return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
  const std::u16string raw = u"RAW";
  const std::u16string* strings[] = {&j.printer, &j.user, &j.document, &raw};
  const int count = j.spooled ? 4 : 3;  // a test row has no data type
  DWORD need = sizeof(JOB_INFO_1W);
  for (int i = 0; i < count; ++i) need += static_cast<DWORD>((strings[i]->size() + 1) * sizeof(WCHAR));
  if (needed) *needed = need;
  if (job == nullptr || size < need) return kp::spooler::Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memset(job, 0, need);
  JOB_INFO_1W info{};
  auto* text = job + sizeof(JOB_INFO_1W);
  LPWSTR* slots[] = {&info.pPrinterName, &info.pUserName, &info.pDocument, &info.pDatatype};
  for (int i = 0; i < count; ++i) {
    size_t bytes = (strings[i]->size() + 1) * sizeof(WCHAR);
    std::memcpy(text, strings[i]->c_str(), bytes);
    *slots[i] = reinterpret_cast<LPWSTR>(text);
    text += bytes;
  }
  info.JobId = jobId;
  info.Status = j.status;
  info.TotalPages = j.pagesStarted;
  info.PagesPrinted = j.pagesEnded;
  info.Submitted = j.submitted;
  std::memcpy(job, &info, sizeof info);
  return TRUE;
}

KP_API BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE, DWORD command) {
  if (!KpPrinterHandleName(printer, nullptr)) return kp::spooler::Fail(ERROR_INVALID_HANDLE);
  if (level != 0) return kp::spooler::Fail(ERROR_INVALID_LEVEL);
  if (command < JOB_CONTROL_PAUSE || command > JOB_CONTROL_DELETE)
    return kp::spooler::Fail(ERROR_INVALID_PRINTER_COMMAND);
  std::shared_ptr<Job> j = kp::spooler::FindJob(jobId);
  if (!j) return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
  bool spooled = false;
  {
    std::lock_guard<std::mutex> g(j->m);
    if (j->deleted) return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
    j->lastCommand = command;
    if (command == JOB_CONTROL_DELETE) j->deleted = true;
    spooled = j->spooled;
  }
  // Cancel and delete end a spooled job that is still running as deleted;
  // the calls inside it return first (the abort does not wait for them).
  if (spooled && (command == JOB_CONTROL_CANCEL || command == JOB_CONTROL_DELETE)) kp::spooler::RequestAbort(*j);
  return TRUE;
}

// ---- The document calls ------------------------------------------------------------

KP_API DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo) {
  using namespace kp::spooler;
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!docInfo) return Fail(ERROR_INVALID_PARAMETER);
  if (h->bound) return Fail(ERROR_INVALID_PRINTER_STATE);  // the output handle's document is the application's
  DOC_INFO_1W info;
  std::memcpy(&info, docInfo, sizeof info);
  if (info.pDatatype && info.pDatatype[0] && UpperName(info.pDatatype) != u"RAW") return Fail(ERROR_INVALID_DATATYPE);
  if (info.pOutputFile) return Fail(ERROR_NOT_SUPPORTED);
  {
    std::lock_guard<std::mutex> g(h->lock);
    if (h->doc) return Fail(ERROR_INVALID_PRINTER_STATE);
  }
  std::u16string portName, monitorModule;
  if (!PrinterPort(h->name, &portName, &monitorModule) || portName.empty()) return Fail(ERROR_UNKNOWN_PORT);

  // 1. The printer's user-mode driver (never for the driver's own handles)
  //    and the port's language monitor, loaded at the first job and kept.
  DWORD error = 0;
  std::shared_ptr<UmDriver> driver;
  if (!h->driverSide) {
    driver = DriverFor(printer, h->name, &error);
    if (error != 0) return Fail(error);
  }
  std::shared_ptr<Monitor> monitor;
  if (!monitorModule.empty()) {
    monitor = MonitorFor(h->name, monitorModule, &error);
    if (!monitor) return Fail(error);
  }

  // 2. The job, in the table from here on (the monitor asks for it at
  //    StartDocPort).
  auto j = std::make_shared<Job>();
  j->printer = h->name;
  j->document = info.pDocName ? info.pDocName : u"";
  WCHAR user[256] = {};
  DWORD userSize = 256;
  if (GetUserNameW(user, &userSize)) j->user = user;
  GetSystemTime(&j->submitted);
  j->spooled = true;
  j->status = JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING;
  j->monitor = monitor;
  j->driver = driver;
  //    It owns its port when the port is free; else it is held until it has
  //    ended and the port is free.
  j->portName = portName;
  auto& s = S();
  {
    std::lock_guard<std::mutex> g(s.lock);
    j->id = s.nextJob++;
    PortUse& use = s.ports[UpperName(portName)];
    if (use.owner) j->held = true;
    else use.owner = j;
    s.jobs[j->id] = j;
  }
  auto forget = [&s, &j] {
    std::lock_guard<std::mutex> g(s.lock);
    s.jobs.erase(j->id);
  };

  // 3. The port and its document, for a job that owns it.
  if (!j->held) {
    std::lock_guard<std::mutex> io(j->io);
    if (!OpenPort(*j, portName, &error)) {
      forget();
      ReleasePort(portName);
      return Fail(error);
    }
  }

  // 4. The driver's job, with an output handle of its own.
  if (driver) {
    auto out = std::make_shared<Handle>();
    out->name = h->name;
    out->driverSide = true;
    out->bound = j;
    {
      std::lock_guard<std::mutex> g(j->m);
      j->output = AddHandle(out);
      j->inside = 1;  // an abort meanwhile waits for the start to return
    }
    SetLastError(ERROR_SUCCESS);
    HANDLE driverJob = driver->startDoc(j->output, j->id);
    if (!driverJob) {
      error = GetLastError();
      RemoveHandle(j->output);
      forget();
      if (!j->held) {
        ClosePort(*j);
        ReleasePort(portName);
      }
      return Fail(error != 0 ? error : ERROR_GEN_FAILURE);
    }
    {
      std::lock_guard<std::mutex> g(j->m);
      j->driverJob = driverJob;
    }
    Leave(*j);
  }
  {
    std::lock_guard<std::mutex> g(j->m);
    if (j->aborted) {  // cancelled while it started: the job is over
      SetLastError(ERROR_PRINT_CANCELLED);
      return 0;
    }
  }
  std::lock_guard<std::mutex> g(h->lock);
  h->doc = j;
  return j->id;
}

namespace kp::spooler {
namespace {

// StartPagePrinter and EndPagePrinter: the driver's page call (when the job
// goes through a user-mode driver), then the job's page count.
BOOL PageCall(HANDLE printer, bool start) {
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (h->bound) return TRUE;  // the driver's pages are the application's
  std::shared_ptr<Job> j = DocOf(*h);
  if (!j || !Enter(*j)) return FALSE;
  BOOL ok = TRUE;
  if (j->driver) {
    SetLastError(ERROR_SUCCESS);
    ok = start ? j->driver->startPage(j->driverJob) : j->driver->endPage(j->driverJob);
    if (!ok) SetLastError(DriverError(*j, GetLastError()));
  }
  if (ok) {
    std::lock_guard<std::mutex> g(j->m);
    ++(start ? j->pagesStarted : j->pagesEnded);
  }
  DWORD e = GetLastError();
  Leave(*j);
  SetLastError(e);
  return ok;
}

}  // namespace
}  // namespace kp::spooler

KP_API BOOL WINAPI StartPagePrinter(HANDLE printer) { return kp::spooler::PageCall(printer, true); }

KP_API BOOL WINAPI EndPagePrinter(HANDLE printer) { return kp::spooler::PageCall(printer, false); }

KP_API BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written) {
  using namespace kp::spooler;
  if (written) *written = 0;
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (!written || (!buffer && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  if (h->bound) return OutputWrite(*h->bound, static_cast<const BYTE*>(buffer), size, written);
  std::shared_ptr<Job> j = DocOf(*h);
  if (!j || !Enter(*j)) return FALSE;
  BOOL ok;
  if (j->driver) {
    DWORD taken = 0;
    SetLastError(ERROR_SUCCESS);
    ok = j->driver->writePrinter(j->driverJob, buffer, size, &taken);
    *written = std::min(taken, size);
    if (!ok) SetLastError(DriverError(*j, GetLastError()));
  } else {
    ok = OutputWrite(*j, static_cast<const BYTE*>(buffer), size, written);
  }
  DWORD e = GetLastError();
  Leave(*j);
  SetLastError(e);
  return ok;
}

KP_API BOOL WINAPI EndDocPrinter(HANDLE printer) {
  using namespace kp::spooler;
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (h->bound) return Fail(ERROR_INVALID_PRINTER_STATE);
  std::shared_ptr<Job> j = TakeDoc(*h);
  if (!j) return Fail(ERROR_SPL_NO_STARTDOC);
  if (Enter(*j)) {
    if (j->driver) j->driver->endDoc(j->driverJob);
    {
      std::lock_guard<std::mutex> g(j->m);
      j->closing = true;
    }
    Leave(*j);
  }
  WaitEnded(*j);
  std::lock_guard<std::mutex> g(j->m);
  if (j->aborted) return Fail(ERROR_PRINT_CANCELLED);
  if (j->error != 0) return Fail(j->error);
  return TRUE;
}

KP_API BOOL WINAPI AbortPrinter(HANDLE printer) {
  using namespace kp::spooler;
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (h->bound) return Fail(ERROR_INVALID_PRINTER_STATE);
  std::shared_ptr<Job> j = TakeDoc(*h);
  if (!j) return Fail(ERROR_SPL_NO_STARTDOC);
  RequestAbort(*j);  // false when cancelled before: the job ends all the same
  WaitEnded(*j);
  return TRUE;
}

KP_API BOOL WINAPI ReadPrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD read) {
  using namespace kp::spooler;
  if (read) *read = 0;
  std::shared_ptr<Handle> h = FindHandle(printer);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  if (!read || (!buffer && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<Job> j = h->bound ? h->bound : DocOf(*h);
  if (!j) return FALSE;
  std::lock_guard<std::mutex> io(j->io);
  {
    std::lock_guard<std::mutex> g(j->m);
    if (j->aborted) return Fail(ERROR_PRINT_CANCELLED);
  }
  if (j->held) return TRUE;  // not at the port yet: nothing came back
  if (!j->portOpen || !j->table->pfnReadPort) return Fail(ERROR_SPL_NO_STARTDOC);
  return j->table->pfnReadPort(j->port, static_cast<LPBYTE>(buffer), size, read);
}

// ---- Test controls -----------------------------------------------------------------

KP_API BOOL KpSpoolerSetWriteFault(LPCWSTR printerName, DWORD nth, DWORD times, DWORD maxBytes, DWORD error) {
  using namespace kp::spooler;
  if (!printerName || !printerName[0]) return Fail(ERROR_INVALID_PARAMETER);
  if (!IsPrinter(printerName)) return Fail(ERROR_INVALID_PRINTER_NAME);
  std::lock_guard<std::mutex> g(S().lock);
  PrinterState& p = S().printers[UpperName(printerName)];
  p.faultFrom = nth;
  p.faultTimes = nth == 0 ? 0 : times;
  p.faultMaxBytes = maxBytes;
  p.faultError = error;
  p.writesSinceFault = 0;
  return TRUE;
}

KP_API void KpSpoolerRecordOutput(BOOL on) { kp::spooler::S().recordOutput.store(on != FALSE); }

KP_API BOOL KpSpoolerGetJobState(DWORD jobId, KP_SPOOLER_JOB_STATE* state) {
  std::shared_ptr<Job> j = kp::spooler::FindJob(jobId);
  if (!j || !j->spooled || !state) return kp::spooler::Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> g(j->m);
  state->status = j->status;
  state->error = j->error;
  state->pagesStarted = j->pagesStarted;
  state->pagesEnded = j->pagesEnded;
  state->writeCalls = static_cast<DWORD>(j->writeSizes.size());
  state->bytes = j->byteCount;
  state->ended = j->ended ? TRUE : FALSE;
  state->driverJob = j->driverJob ? TRUE : FALSE;
  state->driverClosed = j->driverClosed ? TRUE : FALSE;
  return TRUE;
}

KP_API DWORD KpSpoolerJobWriteSize(DWORD jobId, DWORD index) {
  std::shared_ptr<Job> j = kp::spooler::FindJob(jobId);
  if (!j) return 0;
  std::lock_guard<std::mutex> g(j->m);
  return index < j->writeSizes.size() ? j->writeSizes[index] : 0;
}

KP_API size_t KpSpoolerJobOutput(DWORD jobId, void* buffer, size_t size) {
  std::shared_ptr<Job> j = kp::spooler::FindJob(jobId);
  if (!j) return 0;
  std::lock_guard<std::mutex> g(j->m);
  if (buffer && size > 0) std::memcpy(buffer, j->bytes.data(), std::min(size, j->bytes.size()));
  return j->bytes.size();
}

KP_API DWORD KpSpoolerLiveJobCount(void) {
  auto& s = kp::spooler::S();
  std::vector<std::shared_ptr<Job>> jobs;
  {
    std::lock_guard<std::mutex> g(s.lock);
    for (auto& [id, j] : s.jobs) jobs.push_back(j);
  }
  DWORD live = 0;
  for (auto& j : jobs) {
    std::lock_guard<std::mutex> g(j->m);
    if (j->spooled && !j->ended) ++live;
  }
  return live;
}

// ---- Asking the printer through its port --------------------------------------------

KP_API BOOL KpSpoolerAskPort(LPCWSTR printerName, DWORD timeoutMs, KP_PORT_QUESTIONS ask, void* context) {
  using namespace kp::spooler;
  if (!printerName || !ask) return Fail(ERROR_INVALID_PARAMETER);
  if (!IsPrinter(printerName)) return Fail(ERROR_INVALID_PRINTER_NAME);
  std::u16string portName, monitorModule;
  if (!PrinterPort(printerName, &portName, &monitorModule) || portName.empty()) return Fail(ERROR_UNKNOWN_PORT);
  if (monitorModule.empty()) return Fail(ERROR_NOT_SUPPORTED);
  DWORD error = 0;
  std::shared_ptr<Monitor> monitor = MonitorFor(printerName, monitorModule, &error);
  if (!monitor) return Fail(error);

  // The port, taken as a job takes it: the questions own it while they are
  // asked, and a job that starts meanwhile is held until they are done.
  auto questions = std::make_shared<Job>();
  questions->printer = printerName;
  questions->portName = portName;
  const std::u16string key = UpperName(portName);
  {
    std::unique_lock<std::mutex> g(S().lock);
    const bool free = S().portFreed.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
      auto it = S().ports.find(key);
      return it == S().ports.end() || (!it->second.owner && it->second.queue.empty());
    });
    if (!free) return Fail(ERROR_TIMEOUT);
    S().ports[key].owner = questions;
  }
  HANDLE port = nullptr;
  BOOL opened = KpMonitorOpenPort(monitor->host, portName.c_str(), printerName, &port);
  if (!opened) error = GetLastError();
  if (opened) {
    ask(monitor->host, port, context);
    KpMonitorClosePort(monitor->host, port);
  }
  ReleasePort(portName);
  if (!opened) return Fail(error != 0 ? error : ERROR_GEN_FAILURE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
