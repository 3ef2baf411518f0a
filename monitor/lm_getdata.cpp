// GetPrinterDataFromPort: the pass-through of control codes to the port
// monitor, and the values the monitor answers itself with control code 0.
#include <cstring>

#include "lm.h"

namespace lm {

namespace {

constexpr LONG kAnswerBusy = -38;
constexpr LONG kAnswerNo = -19;

bool SameW(const WCHAR* a, const char* b) {
  size_t i = 0;
  for (; b[i]; ++i)
    if (a[i] != static_cast<WCHAR>(b[i])) return false;
  return a[i] == 0;
}

bool PrefixW(const WCHAR* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (b[i] == 0) return true;
    if (a[i] != static_cast<WCHAR>(b[i])) return false;
  }
  return true;
}

// Every answer of control code 0 is FALSE; the last error tells the outcome.
BOOL Answer(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL AnswerDword(LPWSTR out, DWORD outSize, LPDWORD returned, LONG value) {
  if (out == nullptr || outSize < 4) return Answer(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(out, &value, 4);
  if (returned) *returned = 4;
  return Answer(ERROR_INVALID_PARAMETER);
}

struct LmValue {
  const char* name;
  size_t compared;
};
constexpr LmValue kLmValues[] = {{"LM_InputTray", 12},          {"LM_SysName", 10}, {"LM_MemorySizeInKByte", 20},
                                 {"LM_MemorySizeInMByte", 20}, {"LM_RamDisk", 10}, {"LM_DuplexModule", 15}};

// Refreshes an item from the printer on an idle port. 0 when the printer
// answered, -19 when it did not or the item is unknown.
LONG Refresh(PortContext* ctx, const WCHAR* item) {
  struct {
    const char* item;
    const char* requests;
    DWORD replies;
  } const kItems[] = {
      {"Status", "@PJL INFO STATUS\r\n", 1},
      {"Config", "@PJL INFO CONFIG\r\n@PJL INFO ID\r\n", 2},
      {"Variables", "@PJL INFO VARIABLES\r\n", 1},
      {"PageCount", "@PJL INFO PAGECOUNT\r\n", 1},
  };
  for (const auto& it : kItems) {
    if (!SameW(item, it.item)) continue;
    if (!Lock(ctx->mutex, kMutexWait)) return kAnswerNo;
    LONG result = kAnswerNo;
    if (ctx->flags & (kFlagJob | kFlagRealOpen)) {
      result = kAnswerBusy;
    } else if (QueryPrinter(ctx, it.requests, it.replies)) {
      result = 0;
      if (it.replies == 2) ctx->flags &= ~kFlagConfigStale;
    }
    ReleaseMutex(ctx->mutex);
    return result;
  }
  return kAnswerNo;
}

// The configuration is stale before the first INFO CONFIG reply and 60000 ms
// after the last one.
bool Stale(PortContext* ctx) {
  EnterCriticalSection(ctx->cs);
  bool stale = !ctx->status.config.filled || GetTickCount() - ctx->status.config.filledTick > 60000;
  LeaveCriticalSection(ctx->cs);
  return stale || (ctx->flags & kFlagConfigStale);
}

BOOL LmValueAnswer(PortContext* ctx, const WCHAR* name, LPWSTR out, DWORD outSize, LPDWORD returned) {
  if (Stale(ctx) && !(ctx->flags & kFlagJob)) Refresh(ctx, u"Config");
  EnterCriticalSection(ctx->cs);
  bool stop = ctx->status.stoppingError;
  LeaveCriticalSection(ctx->cs);
  if (stop) return AnswerDword(out, outSize, returned, -1);
  // The status-variable table, bound to the configuration fields now.
  char ansi[64] = {};
  if (WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, nullptr) == 0)
    return Answer(ERROR_FILE_NOT_FOUND);
  EnterCriticalSection(ctx->cs);
  Config& c = ctx->status.config;
  struct {
    const char* name;
    const void* data;
    DWORD size;
  } const vars[] = {
      {"LM_SysName", c.sysName, 32},
      {"LM_MemorySizeInKByte", &c.memoryKB, 4},
      {"LM_MemorySizeInMByte", &c.memoryMB, 4},
      {"LM_RamDisk", &c.ramDisk, 2},
      {"LM_DuplexModule", &c.duplexModule, 2},
      {"LM_InputTray", nullptr, 4 + 32 * c.trayCount},
  };
  BOOL result = Answer(ERROR_FILE_NOT_FOUND);
  for (const auto& v : vars) {
    if (std::strcmp(ansi, v.name) != 0) continue;
    if (outSize == 0) {
      if (returned) *returned = v.size;
      result = Answer(ERROR_INSUFFICIENT_BUFFER);
      break;
    }
    if (out == nullptr) {
      result = Answer(ERROR_INVALID_PARAMETER);
      break;
    }
    DWORD n = outSize < v.size ? outSize : v.size;
    if (v.data) {
      std::memcpy(out, v.data, n);
    } else {
      BYTE whole[4 + 32 * 32];
      std::memcpy(whole, &c.trayCount, 4);
      std::memcpy(whole + 4, c.trays, 32 * c.trayCount);
      std::memcpy(out, whole, n);
    }
    if (returned) *returned = n;
    result = Answer(ERROR_INVALID_PARAMETER);
    break;
  }
  LeaveCriticalSection(ctx->cs);
  return result;
}

bool StartBlockPending(PortContext* ctx) {
  return (ctx->flags & kFlagJob) && ctx->startPending && ctx->startBlock != nullptr && ctx->startSent < ctx->startLen;
}

// The bounded wait of code 7 for pending data; entered and left holding the
// per-port mutex. False when the mutex could not be taken again.
bool PendingWait(PortContext* ctx) {
  const DWORD begin = GetTickCount();
  bool stallSent = false;
  while (StartBlockPending(ctx) && GetTickCount() - begin < kPendingWaitMax) {
    EnterCriticalSection(ctx->cs);
    bool stop = ctx->status.stoppingError;
    LeaveCriticalSection(ctx->cs);
    if (stop) break;
    if (!stallSent && GetTickCount() - begin >= 60000) {
      // "DeviceRequest" 2: the port has held the job's data for 60000 ms
      // (1 is the plain device request of a job in progress)
      DWORD stalled = 2;
      StatmgrSend(ctx, "DeviceRequest", &stalled, 4);
      stallSent = true;
    }
    ReleaseMutex(ctx->mutex);
    Sleep(4000);
    if (!Lock(ctx->mutex, kMutexWait)) return false;
    if (!StartBlockPending(ctx)) break;  // a WritePort in between sent it
    DWORD left = ctx->startLen - ctx->startSent, n = 0;
    if (left > 80) left = 80;
    if (!ctx->pm.pfnWritePort(ctx->realPort, ctx->startBlock + ctx->startSent, left, &n)) {
      if (n <= left) ctx->startSent += n;
      break;  // ERROR_CANCELLED or another failure ends the wait
    }
    if (n > left) n = left;
    ctx->startSent += n;
    if (n > 0) ctx->anyByteSent = true;
  }
  return true;
}

BOOL PassThrough(PortCall& call, DWORD code, LPWSTR valueName, LPWSTR in, DWORD inSize, LPWSTR out, DWORD outSize,
                 LPDWORD returned) {
  PortContext* ctx = call.ctx();
  if (!call.lock()) return call.fail(ERROR_TIMEOUT);
  if (ctx->pm.pfnGetPrinterDataFromPort == nullptr) return call.fail(ERROR_NOT_SUPPORTED);
  if (code == 7 || code == 0x160008) {
    if (ctx->flags & kFlagJob) {
      DWORD busy = 1;
      StatmgrSend(ctx, "DeviceRequest", &busy, 4);
    }
    ctx->flags |= kFlagDeviceRequest;
  }
  bool opened = false;
  if (!(ctx->flags & kFlagRealOpen)) {
    if (!ctx->pm.pfnStartDocPort(ctx->realPort, ctx->printerName, 0, 1, nullptr)) return call.fail(GetLastError());
    ctx->flags |= kFlagRealOpen;
    opened = true;
  }
  // Code 7 while the port holds written data pending: the part of the job's
  // start block the port monitor has not taken yet (a stalled write). Every
  // 4000 ms, with the mutex released, the next 80 bytes of it are written
  // again; after 60000 ms one status update marks the stall. The wait ends
  // when the block is out, a write answers ERROR_CANCELLED or fails, the
  // printer reports an error that stops output, or 120000 ms after the call
  // began; then the request goes on to the port monitor.
  if (code == 7 && !opened && !PendingWait(ctx)) {
    call.lost();  // the mutex could not be taken again: not held
    return call.fail(ERROR_TIMEOUT);
  }
  BOOL r = ctx->pm.pfnGetPrinterDataFromPort(ctx->realPort, code, valueName, in, inSize, out, outSize, returned);
  DWORD e = GetLastError();
  if (code == 7 && (ctx->flags & kFlagJob)) Sleep(1000);
  if (opened) {
    ctx->pm.pfnEndDocPort(ctx->realPort);
    ctx->flags &= ~kFlagRealOpen;
  }
  SetLastError(e);
  return r;
}

}  // namespace

BOOL WINAPI GetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  PortCall call(port);
  PortContext* ctx = call.ctx();
  if (ctx == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  if (controlId != 0) return PassThrough(call, controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned);
  if (valueName == nullptr) return Answer(ERROR_FILE_NOT_FOUND);

  if (SameW(valueName, "IsWakeup")) return AnswerDword(outBuffer, outSize, returned, 330);
  if (PrefixW(valueName, "Refresh:", 8)) {
    if (outBuffer == nullptr || outSize < 4) return Answer(ERROR_INSUFFICIENT_BUFFER);
    LONG answer = kAnswerNo;
    if (ctx->flags & (kFlagJob | kFlagPortCall)) answer = kAnswerBusy;
    else answer = Refresh(ctx, valueName + 8);
    return AnswerDword(outBuffer, outSize, returned, answer);
  }
  if (SameW(valueName, "Wake Up")) {
    if (outBuffer == nullptr || outSize < 4) return Answer(ERROR_INSUFFICIENT_BUFFER);
    if (ctx->flags.fetch_or(kFlagAwake) & kFlagAwake) return AnswerDword(outBuffer, outSize, returned, kAnswerNo);
    ctx->flags &= ~kFlagSuspended;
    StartPolling(ctx);
    if (ctx->flags & kFlagRealOpen) {
      ctx->flags &= ~kFlagAwake;
    } else {
      SetEvent(ctx->wakeEvent);  // poll now
    }
    return AnswerDword(outBuffer, outSize, returned, 0);
  }
  if (SameW(valueName, "Stop Polling")) {
    if (outBuffer == nullptr || outSize < 4) return Answer(ERROR_INSUFFICIENT_BUFFER);
    bool was = (ctx->flags.fetch_and(~kFlagAwake) & kFlagAwake) != 0;
    return AnswerDword(outBuffer, outSize, returned, was ? 0 : kAnswerNo);
  }
  if (SameW(valueName, "Suspend")) {
    if (outBuffer == nullptr || outSize < 4) return Answer(ERROR_INSUFFICIENT_BUFFER);
    if (ctx->flags & kFlagJob) return AnswerDword(outBuffer, outSize, returned, kAnswerNo);
    if (!(ctx->flags & kFlagPolling)) return AnswerDword(outBuffer, outSize, returned, 0);
    // the polls stop until the next "Wake Up" or job
    ctx->flags &= ~kFlagAwake;
    ResetEvent(ctx->replyEvent);
    ctx->suspendRequest = 1;
    SetEvent(ctx->wakeEvent);
    WaitForSingleObject(ctx->replyEvent, 4000);
    return AnswerDword(outBuffer, outSize, returned, 0);
  }
  for (const LmValue& v : kLmValues) {
    if (PrefixW(valueName, v.name, v.compared)) return LmValueAnswer(ctx, valueName, outBuffer, outSize, returned);
  }
  // A name the monitor does not answer: an error of its own, not the
  // "answered" code.
  return Answer(ERROR_FILE_NOT_FOUND);
}

}  // namespace lm
