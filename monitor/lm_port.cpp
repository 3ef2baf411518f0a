// Opening, reading and closing a port; the port's polling and notification
// threads; the link to the outside status manager.
#include <cstring>
#include <new>

#include "lm.h"

namespace lm {

namespace {

const WCHAR kPrintersKey[] = u"SOFTWARE\\Halcyra\\Tessaly-AP\\Printers";

bool StartsWith(const WCHAR* s, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    WCHAR c = s[i];
    if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - 32);
    if (c != static_cast<WCHAR>(prefix[i])) return false;
  }
  return true;
}

// Port-type detection by the port's name: parallel ("LPT"), USB ("USB") and
// network ports ("IP_", "NE" other than the refused name) talk both ways and
// get status support in PJL-status mode; serial ports ("COM"), network shares
// ("\\server\share") and files get none. A non-zero DWORD "MyPortMode" under
// the printers key replaces the options.
DWORD DetectOptions(const WCHAR* port) {
  DWORD options = 0;
  if (StartsWith(port, "LPT") || StartsWith(port, "USB") || StartsWith(port, "IP_") || StartsWith(port, "NE"))
    options = kOptStatus | kOptPjlStatus;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExW(key, u"MyPortMode", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && value != 0)
      options = value;
    RegCloseKey(key);
  }
  return options;
}

void CloseIf(HANDLE& h) {
  if (h) CloseHandle(h);
  h = nullptr;
}

// Frees a context and everything it owns (its threads have ended and its
// status nodes are released).
void FreeContext(PortContext* ctx) {
  RestorePriority(ctx);
  FreeNodes(ctx);
  StatusFree(&ctx->status);
  Free(ctx->printerName);
  Free(ctx->startBlock);
  CloseIf(ctx->mutex);
  CloseIf(ctx->mutex2);
  CloseIf(ctx->closeEvent);
  CloseIf(ctx->replyEvent);
  CloseIf(ctx->wakeEvent);
  CloseIf(ctx->status.changedEvent);
  if (ctx->cs) {
    DeleteCriticalSection(ctx->cs);
    Free(ctx->cs);
  }
  ctx->signature = 0;
  ctx->~PortContext();
  Free(ctx);
}

void Unlink(PortContext* ctx) {
  for (PortContext** p = &g_ports; *p; p = &(*p)->next) {
    if (*p == ctx) {
      *p = ctx->next;
      break;
    }
  }
}

}  // namespace

BOOL WINAPI OpenPortEx(LPWSTR portName, LPWSTR printerName, PHANDLE port, LPMONITOR portMonitor) {
  PortContext* ctx = nullptr;
  bool listLocked = false;
  // The one failure exit: the context made so far is taken out of the list
  // and freed, the list is unlocked, and the error is set.
  auto fail = [&](DWORD error) -> BOOL {
    if (ctx != nullptr) {
      Unlink(ctx);
      FreeContext(ctx);
    }
    if (listLocked) LeaveCriticalSection(&g_portsCs);
    SetLastError(error);
    return FALSE;
  };

  // 1. The arguments, and the one name the monitor refuses.
  if (portName == nullptr || printerName == nullptr || port == nullptr || portMonitor == nullptr ||
      portMonitor->pfnOpenPort == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  if (StartsWith(portName, "NEXX:") && portName[5] == 0) return fail(ERROR_PORT_NAME_REFUSED);
  size_t nameLen = kp_WideLength(portName);
  DWORD options = DetectOptions(portName);  // registry read outside the global lock

  // 2. A port not open yet.
  EnterCriticalSection(&g_portsCs);
  listLocked = true;
  for (PortContext* c = g_ports; c; c = c->next)
    if (lstrcmpiW(c->portName, portName) == 0) return fail(ERROR_BUSY);

  // 3. The context and everything it owns.
  DWORD size = static_cast<DWORD>(sizeof(PortContext) + sizeof(WCHAR) * (nameLen + 1));
  void* block = Alloc(size);
  if (block == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
  ctx = new (block) PortContext();
  ctx->signature = kSignature;
  ctx->size = size;
  std::memcpy(ctx->name, portName, sizeof(WCHAR) * (nameLen + 1));
  ctx->portName = ctx->name;
  ctx->flags = kFlagConfigStale;
  ctx->options = options;
  ctx->printerName = CopyW(printerName);
  ctx->mutex = CreateMutexW(nullptr, FALSE, nullptr);
  ctx->mutex2 = CreateMutexW(nullptr, FALSE, nullptr);
  ctx->closeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ctx->replyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ctx->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ctx->cs = static_cast<CRITICAL_SECTION*>(Alloc(sizeof(CRITICAL_SECTION)));
  if (ctx->cs) InitializeCriticalSection(ctx->cs);
  bool ok = ctx->printerName && ctx->mutex && ctx->mutex2 && ctx->closeEvent && ctx->replyEvent &&
            ctx->wakeEvent && ctx->cs && StatusInit(&ctx->status, ctx->cs);
  if (ok) ctx->status.changedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!ok || ctx->status.changedEvent == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);

  // 4. In the list (newest last), then the real port beneath.
  PortContext** tail = &g_ports;
  while (*tail) tail = &(*tail)->next;
  *tail = ctx;
  HANDLE real = nullptr;
  if (!portMonitor->pfnOpenPort(portName, &real)) return fail(GetLastError());
  ctx->realPort = real;
  ctx->pm = *portMonitor;
  LeaveCriticalSection(&g_portsCs);

  // 5. The status manager and the port's threads are started outside the
  // global lock: nothing here may wait while the port list is locked.
  StatmgrOpen(ctx);
  EnsureNode(ctx, ctx->printerName);
  if (ctx->options & kOptPjlStatus) StartPolling(ctx);
  *port = ctx;
  return TRUE;
}

BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  PortCall call(port);
  PortContext* ctx = call.ctx();
  if (ctx == nullptr || read == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  *read = 0;
  if (!call.lock()) return call.fail(ERROR_TIMEOUT);
  bool opened = false;
  if (!(ctx->flags & kFlagRealOpen)) {
    if (!ctx->pm.pfnStartDocPort(ctx->realPort, ctx->printerName, 0, 1, nullptr)) return call.fail(ERROR_BUSY);
    ctx->flags |= kFlagRealOpen;
    opened = true;
  }
  BOOL r = ctx->pm.pfnReadPort(ctx->realPort, buffer, size, read);
  DWORD e = GetLastError();
  if (r && *read > 0 && (ctx->options & kOptStatus))
    Feed(&ctx->status, reinterpret_cast<const char*>(buffer), *read);
  if (opened) {
    ctx->pm.pfnEndDocPort(ctx->realPort);
    ctx->flags &= ~kFlagRealOpen;
  }
  SetLastError(e);
  return r;
}

DWORD ReadAndFeed(PortContext* ctx, DWORD maxReads) {
  char buf[1024];
  DWORD total = 0;
  for (DWORD i = 0; i < maxReads; ++i) {
    DWORD got = 0;
    if (!ctx->pm.pfnReadPort(ctx->realPort, reinterpret_cast<BYTE*>(buf), sizeof buf, &got) || got == 0) break;
    Feed(&ctx->status, buf, got);
    total += got;
  }
  return total;
}

bool QueryPrinter(PortContext* ctx, const char* requests, DWORD expected) {
  if (!ctx->pm.pfnStartDocPort(ctx->realPort, ctx->printerName, 0, 1, nullptr)) return false;
  ctx->flags |= kFlagRealOpen;
  static const char kUel[] = "\x1b%-12345X";
  char block[512];
  size_t n = 0;
  auto add = [&](const char* s) {
    size_t k = CStrLen(s);
    if (n + k < sizeof block) {
      std::memcpy(block + n, s, k);
      n += k;
    }
  };
  add(kUel);
  add(requests);
  add(kUel);
  DWORD before;
  EnterCriticalSection(ctx->cs);
  before = ctx->status.completed;
  LeaveCriticalSection(ctx->cs);
  bool ok = false;
  DWORD sent = 0;
  for (int tries = 0; sent < n && tries < 50; ++tries) {
    DWORD w = 0;
    if (!ctx->pm.pfnWritePort(ctx->realPort, reinterpret_cast<BYTE*>(block + sent), static_cast<DWORD>(n - sent), &w))
      break;
    sent += w;
  }
  if (sent == n) {
    // read until the replies asked for are complete, the printer is quiet
    // for a read time-out, or 15000 ms have passed (a trickling printer)
    char buf[1024];
    DWORD start = GetTickCount();
    for (int reads = 0; reads < 65536 && GetTickCount() - start < 15000; ++reads) {
      DWORD got = 0;
      if (!ctx->pm.pfnReadPort(ctx->realPort, reinterpret_cast<BYTE*>(buf), sizeof buf, &got) || got == 0) break;
      Feed(&ctx->status, buf, got);
      EnterCriticalSection(ctx->cs);
      DWORD done = ctx->status.completed - before;
      LeaveCriticalSection(ctx->cs);
      if (done >= expected) break;
    }
    EnterCriticalSection(ctx->cs);
    ok = ctx->status.completed - before >= expected;
    LeaveCriticalSection(ctx->cs);
  }
  ctx->pm.pfnEndDocPort(ctx->realPort);
  ctx->flags &= ~kFlagRealOpen;
  return ok;
}

BOOL WINAPI ClosePort(HANDLE port) {
  if (port == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  EnterCriticalSection(&g_portsCs);
  PortContext* ctx = nullptr;
  for (PortContext* c = g_ports; c; c = c->next)
    if (c == port) ctx = c;
  if (ctx == nullptr || (ctx->flags.fetch_or(kFlagClosing) & kFlagClosing)) {
    // not open, or another thread is closing it already
    LeaveCriticalSection(&g_portsCs);
    return TRUE;
  }
  LeaveCriticalSection(&g_portsCs);

  // Wait while the printer still has jobs of this port in hand: steps of
  // 1000 ms, at most 120000 ms from the start of the call.
  DWORD start = GetTickCount();
  for (;;) {
    EnterCriticalSection(ctx->cs);
    DWORD pending = ctx->status.pendingCount;
    LeaveCriticalSection(ctx->cs);
    if (pending == 0 || GetTickCount() - start >= 120000) break;
    Sleep(1000);
  }

  StopThreads(ctx);
  SetEvent(ctx->closeEvent);
  // Every status node gives back its registration with the status manager:
  // after this no notification reaches the context.
  ReleaseNodes(ctx);

  // The real port: a job the spooler never ended is ended here, and its
  // thread gets its own priority back.
  if (Lock(ctx->mutex, kMutexWait)) {
    if (ctx->flags & kFlagRealOpen) ctx->pm.pfnEndDocPort(ctx->realPort);
    ReleaseMutex(ctx->mutex);
  } else if (ctx->flags & kFlagRealOpen) {
    ctx->pm.pfnEndDocPort(ctx->realPort);
  }
  RestorePriority(ctx);
  ctx->pm.pfnClosePort(ctx->realPort);
  StatmgrClose(ctx);

  EnterCriticalSection(&g_portsCs);
  Unlink(ctx);
  LeaveCriticalSection(&g_portsCs);
  FreeContext(ctx);
  return TRUE;
}

// ---- Threads ----------------------------------------------------------------

namespace {

// The polling thread: every 3000 ms while a job is in progress or the port
// is awake, 4000 ms otherwise, and at once when woken. During a job it reads
// what the printer sent on the job's connection; on an idle port it asks
// the printer for its status (and its configuration while that is stale).
// It takes the per-port mutex for one bounded exchange at a time and never
// waits for it longer than the spooler would.
DWORD WINAPI PollThread(LPVOID param) {
  auto* ctx = static_cast<PortContext*>(param);
  HANDLE waits[2] = {ctx->closeEvent, ctx->wakeEvent};
  while (ctx->pollRun.load()) {
    LONG f = ctx->flags.load();
    DWORD interval = (f & (kFlagJob | kFlagAwake)) ? 3000 : 4000;
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, interval);
    if (r == WAIT_OBJECT_0 || !ctx->pollRun.load()) break;
    if (ctx->suspendRequest.exchange(0)) {
      ctx->flags |= kFlagSuspended;
      SetEvent(ctx->replyEvent);
      continue;
    }
    if (ctx->flags & kFlagSuspended) continue;
    if (!Lock(ctx->mutex, kMutexWait)) continue;
    if (ctx->pollRun.load() && !(ctx->flags & kFlagClosing)) {
      if (ctx->flags & kFlagRealOpen) {
        if (ctx->flags & kFlagJob) ReadAndFeed(ctx, 1);
      } else {
        bool stale = (ctx->flags & kFlagConfigStale) != 0;
        if (QueryPrinter(ctx,
                         stale ? "@PJL INFO STATUS\r\n@PJL INFO CONFIG\r\n@PJL INFO ID\r\n@PJL INFO VARIABLES\r\n"
                               : "@PJL INFO STATUS\r\n",
                         stale ? 4 : 1) &&
            stale)
          ctx->flags &= ~kFlagConfigStale;
      }
      EnterCriticalSection(ctx->cs);
      bool stop = ctx->status.stoppingError;
      LeaveCriticalSection(ctx->cs);
      if (stop) ctx->flags |= kFlagStopError;
      else ctx->flags &= ~kFlagStopError;
    }
    ReleaseMutex(ctx->mutex);
  }
  return 0;
}

// The notification thread: hands every changed status record to the status
// manager. It runs only when a status manager is present.
DWORD WINAPI NotifyThread(LPVOID param) {
  auto* ctx = static_cast<PortContext*>(param);
  HANDLE waits[2] = {ctx->closeEvent, ctx->status.changedEvent};
  Record copy;
  for (;;) {
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, 1000);
    if (r == WAIT_OBJECT_0) break;
    for (DWORD i = 0;; ++i) {
      bool have = false;
      EnterCriticalSection(ctx->cs);
      for (; i < ctx->status.recordCount; ++i) {
        Record& rec = ctx->status.records[i];
        if (rec.changed) {
          rec.changed = 0;
          copy = rec;
          have = true;
          break;
        }
      }
      LeaveCriticalSection(ctx->cs);
      if (!have) break;
      StatmgrSend(ctx, copy.name, copy.data, copy.size);
    }
    // the summary after the records it sums up
    EnterCriticalSection(ctx->cs);
    bool summary = ctx->status.summaryChanged != 0;
    StatusSummary sum = ctx->status.summary;
    ctx->status.summaryChanged = 0;
    LeaveCriticalSection(ctx->cs);
    if (summary) StatmgrSend(ctx, "StatusSummary", &sum, sizeof sum);
  }
  return 0;
}

}  // namespace

bool StartPolling(PortContext* ctx) {
  EnterCriticalSection(ctx->cs);
  bool ok = true;
  if (ctx->pollThread == nullptr && !(ctx->flags & kFlagClosing)) {
    ctx->pollRun = 1;
    ctx->pollThread = CreateThread(nullptr, 0, PollThread, ctx, 0, nullptr);
    ok = ctx->pollThread != nullptr;
    if (ok) ctx->flags |= kFlagPolling;
  }
  LeaveCriticalSection(ctx->cs);
  return ok;
}

void StopThreads(PortContext* ctx) {
  // Both threads wait on the close event, and the polling thread holds the
  // per-port mutex only for one bounded exchange: their ends are waited for
  // without a time limit, so nothing is freed under a running thread.
  SetEvent(ctx->closeEvent);
  EnterCriticalSection(ctx->cs);
  HANDLE poll = ctx->pollThread, notify = ctx->notifyThread;
  ctx->pollThread = ctx->notifyThread = nullptr;
  ctx->pollRun = 0;
  LeaveCriticalSection(ctx->cs);
  SetEvent(ctx->wakeEvent);
  if (poll) {
    WaitForSingleObject(poll, INFINITE);
    CloseHandle(poll);
  }
  if (notify) {
    WaitForSingleObject(notify, INFINITE);
    CloseHandle(notify);
  }
  ctx->flags &= ~kFlagPolling;
}

// ---- The outside status manager ---------------------------------------------
//
// PRSTATMG.DLL, loaded by name when present. Its calls, as this monitor uses
// them:
//   HANDLE OpenManagerExW(LPCWSTR printerName, LPCWSTR portName, DWORD flags)
//   BOOL   UpdatePrinterStatusA(HANDLE manager, LPCSTR record, const void* data, DWORD size)
//   BOOL   CloseManager(HANDLE manager)
//   HANDLE SetNotificationCallbackExA(HANDLE manager, LPCSTR printerName,
//                                     void (WINAPI* callback)(void* context), void* context)
//          registers a callback the manager calls when a reader of the
//          printer's status wants it fresh; answers the registration (null:
//          refused)
//   BOOL   KillNotificationCallback(HANDLE registration)
//          ends a registration: when it returns, the callback is not running
//          and is never called again
// Missing module, missing calls or a failing open: the port runs without it.
// Without the two notification calls (or when the registration is refused)
// the status nodes have no release callback.

namespace {
typedef HANDLE(WINAPI* OpenManagerFn)(LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI* UpdateFn)(HANDLE, LPCSTR, const void*, DWORD);
typedef BOOL(WINAPI* CloseManagerFn)(HANDLE);
typedef void(WINAPI* NotifyFn)(void*);
typedef HANDLE(WINAPI* SetNotificationFn)(HANDLE, LPCSTR, NotifyFn, void*);
typedef BOOL(WINAPI* KillNotificationFn)(HANDLE);

// A reader of the status manager wants fresh status: the polling thread
// polls now (a port without one, or a suspended one, stays as it is).
void WINAPI ManagerNotify(void* context) { SetEvent(static_cast<PortContext*>(context)->wakeEvent); }

template <class F>
F Proc(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}
}  // namespace

void StatmgrOpen(PortContext* ctx) {
  DWORD savedError = GetLastError();
  HMODULE m = LoadLibraryW(u"PRSTATMG.DLL");
  if (m == nullptr) {
    SetLastError(savedError);
    return;
  }
  auto open = Proc<OpenManagerFn>(m, "OpenManagerExW");
  auto update = Proc<UpdateFn>(m, "UpdatePrinterStatusA");
  auto close = Proc<CloseManagerFn>(m, "CloseManager");
  HANDLE h = (open && update && close) ? open(ctx->printerName, ctx->portName, 0) : nullptr;
  if (h == nullptr) {
    FreeLibrary(m);
    SetLastError(savedError);
    return;
  }
  ctx->statmgr = m;
  ctx->statmgrHandle = h;
  ctx->notifyThread = CreateThread(nullptr, 0, NotifyThread, ctx, 0, nullptr);
  SetLastError(savedError);
}

void StatmgrSend(PortContext* ctx, const char* record, const void* data, DWORD size) {
  if (ctx->statmgr == nullptr) return;
  auto update = Proc<UpdateFn>(ctx->statmgr, "UpdatePrinterStatusA");
  if (update) update(ctx->statmgrHandle, record, data, size);  // a failure changes nothing here
}

void EnsureNode(PortContext* ctx, const WCHAR* printerName) {
  if (printerName == nullptr) return;
  EnterCriticalSection(ctx->cs);
  bool known = false;
  for (StatusNode* n = ctx->nodes; n && !known; n = n->next) known = lstrcmpiW(n->printerName, printerName) == 0;
  bool full = ctx->nodeCount >= kNodeCap;
  LeaveCriticalSection(ctx->cs);
  if (known || full) return;  // a port used by more printers keeps its first kNodeCap nodes

  auto* node = static_cast<StatusNode*>(Alloc(sizeof(StatusNode)));
  WCHAR* name = CopyW(printerName);
  if (node == nullptr || name == nullptr) {
    Free(node);
    Free(name);
    return;
  }
  node->printerName = name;
  node->statusSupport = (ctx->options & kOptStatus) != 0;
  // The registration is made outside the port's critical section: the
  // manager may call back at once.
  if (ctx->statmgr != nullptr) {
    DWORD savedError = GetLastError();
    auto set = Proc<SetNotificationFn>(ctx->statmgr, "SetNotificationCallbackExA");
    auto kill = Proc<KillNotificationFn>(ctx->statmgr, "KillNotificationCallback");
    char ansi[260];
    if (set && kill && WideCharToMultiByte(CP_ACP, 0, printerName, -1, ansi, sizeof ansi, nullptr, nullptr) != 0) {
      node->userData = set(ctx->statmgrHandle, ansi, ManagerNotify, ctx);
      if (node->userData) node->release = kill;
    }
    SetLastError(savedError);
  }
  // A port that began to close keeps no new node: its nodes may have been
  // released already, and a registration left behind would call back into
  // a freed port.
  EnterCriticalSection(ctx->cs);
  bool closing = (ctx->flags & kFlagClosing) != 0;
  if (!closing) {
    node->next = ctx->nodes;
    ctx->nodes = node;
    ctx->nodeCount++;
  }
  LeaveCriticalSection(ctx->cs);
  if (closing) {
    if (node->release) node->release(node->userData);
    Free(node->printerName);
    Free(node);
  }
}

bool StatusSupportFor(PortContext* ctx, const WCHAR* printerName) {
  bool support = (ctx->options & kOptStatus) != 0;
  if (printerName == nullptr) return support;
  EnterCriticalSection(ctx->cs);
  for (StatusNode* n = ctx->nodes; n; n = n->next) {
    if (lstrcmpiW(n->printerName, printerName) == 0) {
      support = n->statusSupport;
      break;
    }
  }
  LeaveCriticalSection(ctx->cs);
  return support;
}

void ReleaseNodes(PortContext* ctx) {
  for (;;) {
    BOOL(WINAPI * release)(HANDLE) = nullptr;
    HANDLE data = nullptr;
    EnterCriticalSection(ctx->cs);
    for (StatusNode* n = ctx->nodes; n && !release; n = n->next) {
      if (n->release && n->userData) {
        release = n->release;
        data = n->userData;
      }
      n->release = nullptr;
      n->userData = nullptr;
    }
    LeaveCriticalSection(ctx->cs);
    if (release == nullptr) break;
    DWORD savedError = GetLastError();
    release(data);  // outside the critical section: it waits for a callback under way
    SetLastError(savedError);
  }
}

void FreeNodes(PortContext* ctx) {
  for (StatusNode* n = ctx->nodes; n;) {
    StatusNode* next = n->next;
    Free(n->printerName);
    Free(n);
    n = next;
  }
  ctx->nodes = nullptr;
  ctx->nodeCount = 0;
}

void StatmgrClose(PortContext* ctx) {
  if (ctx->statmgr == nullptr) return;
  auto close = Proc<CloseManagerFn>(ctx->statmgr, "CloseManager");
  if (close) close(ctx->statmgrHandle);
  FreeLibrary(ctx->statmgr);
  ctx->statmgr = nullptr;
  ctx->statmgrHandle = nullptr;
}

}  // namespace lm
