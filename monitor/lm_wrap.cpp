// The PJL job wrapper: the job-start block before a job's first byte, the
// job-end block after its last, the inspection of the job's first buffer and
// the job control id.
#include <cstdio>
#include <cstring>

#include "lm.h"

namespace lm {

namespace {

const char kUel[] = "\x1b%-12345X";
constexpr DWORD kUelLen = 9;
const WCHAR kPrintersKey[] = u"SOFTWARE\\Halcyra\\Tessaly-AP\\Printers";

struct WrapOptions {
  bool deviceStatus, jobStatus, pageStatus, statusRequest;
  bool jobCommand, addName, addUser;
  bool readyMessage;
  DWORD qty, copies;  // 0xFFFFFFFF: not set
  bool statusOff;
};

struct JobRequest {
  bool status, jobCommand, name, user;
  const char* jobName;
  bool countsGiven;
  DWORD qty, copies;
};

WrapOptions Fresh() {
  WrapOptions o{};
  o.qty = o.copies = 0xFFFFFFFFu;
  return o;
}

// The options are taken from the request only when the printer's status node
// has status support on (or, without a node, the port has).
WrapOptions FromRequest(PortContext* ctx, const JobRequest& r) {
  WrapOptions o = Fresh();
  if (!StatusSupportFor(ctx, ctx->printerName)) return o;
  if (ctx->options & kOptPjlStatus) {
    if (r.status) o.deviceStatus = o.jobStatus = o.pageStatus = o.statusRequest = true;
    if (r.jobCommand) {
      o.jobCommand = true;
      o.addName = r.name;
      o.addUser = r.user;
    }
  } else if (r.jobCommand) {
    o.jobCommand = true;
    o.addUser = true;
  }
  if (r.countsGiven) {
    o.qty = r.qty;
    o.copies = r.copies;
  }
  return o;
}

// Appends formatted text; the block never grows past its capacity.
struct Out {
  BYTE* p;
  DWORD cap;
  DWORD n;
  bool full;
  void add(const char* s, size_t k) {
    if (full || n + k > cap) {
      full = true;
      return;
    }
    std::memcpy(p + n, s, k);
    n += static_cast<DWORD>(k);
  }
  void add(const char* s) { add(s, CStrLen(s)); }
};

// The job owner's name: the "SendingJobInfo" record when it holds one, else
// the job's user from GetJobW; at most 16 characters, the last three "..."
// when it was cut.
void OwnerName(PortContext* ctx, char* out, size_t cap) {
  char name[260] = {};
  EnterCriticalSection(ctx->cs);
  Record* r = FindRecord(&ctx->status, "SendingJobInfo");
  if (r && r->data[0]) CStrCopy(name, sizeof name, reinterpret_cast<const char*>(r->data), r->size - 1);
  WCHAR* printer = ctx->printerName;
  DWORD jobId = ctx->jobId;
  LeaveCriticalSection(ctx->cs);
  if (name[0] == 0 && printer) {
    HANDLE h = nullptr;
    if (OpenPrinterW(printer, &h, nullptr)) {
      DWORD need = 0;
      GetJobW(h, jobId, 1, nullptr, 0, &need);
      if (need > 0 && need < 65536) {
        auto* buf = static_cast<BYTE*>(Alloc(need));
        if (buf && GetJobW(h, jobId, 1, buf, need, &need)) {
          auto* info = reinterpret_cast<JOB_INFO_1W*>(buf);
          if (info->pUserName &&
              WideCharToMultiByte(CP_ACP, 0, info->pUserName, -1, name, sizeof name, nullptr, nullptr) == 0)
            name[0] = 0;
        }
        Free(buf);
      }
      ClosePrinter(h);
    }
  }
  size_t n = CStrLen(name);
  if (n > 16) {
    name[13] = name[14] = name[15] = '.';
    name[16] = 0;
  }
  CStrCopy(out, cap, name, CStrLen(name));
}

DWORD ReadDword(const WCHAR* value, DWORD fallback) {
  HKEY key;
  DWORD result = fallback;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPrintersKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD v = 0, type = 0, size = sizeof v;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
      result = v;
    RegCloseKey(key);
  }
  return result;
}

DWORD Build(PortContext* ctx, const WrapOptions& o, BYTE* buf, DWORD cap) {
  bool any = o.deviceStatus || o.jobStatus || o.pageStatus || o.statusRequest || o.readyMessage || o.jobCommand ||
             o.qty != 0xFFFFFFFFu || o.copies != 0xFFFFFFFFu;
  if (!any) return 0;
  Out out{buf, cap, 0, false};
  char line[256];
  out.add(kUel, kUelLen);
  if (o.deviceStatus) out.add("@PJL USTATUS DEVICE=ON\r\n");
  if (o.jobStatus) out.add("@PJL USTATUS JOB=ON\r\n");
  if (o.pageStatus) out.add("@PJL USTATUS PAGE=ON\r\n");
  if (o.statusRequest) out.add("@PJL INFO STATUS\r\n");
  char owner[32] = {};
  if (o.readyMessage || (o.jobCommand && o.addUser)) OwnerName(ctx, owner, sizeof owner);
  if (o.readyMessage) {
    std::snprintf(line, sizeof line, "@PJL RDYMSG DISPLAY=\"%s\" LINE=2\r\n", owner);
    out.add(line);
  }
  if (o.jobCommand) {
    if (ctx->options & (kOptJcidA | kOptJcidB)) {
      std::snprintf(line, sizeof line, "@PJL SET JOBATTR=\"@JCID=%s\"\r\n", ctx->jcid);
    } else {
      char namePart[100] = {}, userPart[40] = {};
      if (o.addName) std::snprintf(namePart, sizeof namePart, " NAME=\"%s\"", ctx->jobName);
      if (o.addUser && owner[0]) std::snprintf(userPart, sizeof userPart, " USER=\"%s\"", owner);
      std::snprintf(line, sizeof line, "@PJL JOB%s%s\r\n", namePart, userPart);
    }
    out.add(line);
  }
  if (o.copies != 0xFFFFFFFFu) {
    std::snprintf(line, sizeof line, "@PJL SET COPIES=%u\r\n", o.copies);
    out.add(line);
  }
  if (o.qty != 0xFFFFFFFFu) {
    std::snprintf(line, sizeof line, "@PJL SET QTY=%u\r\n", o.qty);
    out.add(line);
  }
  return out.full ? 0 : out.n;
}

// CRC-16, reflected, polynomial 0xA001, start 0, by nibbles.
WORD Crc16(const BYTE* p, size_t n) {
  static const WORD kTable[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                  0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};
  WORD crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc = static_cast<WORD>(kTable[(crc ^ p[i]) & 0xF] ^ (crc >> 4));
    crc = static_cast<WORD>(kTable[(crc ^ (p[i] >> 4)) & 0xF] ^ (crc >> 4));
  }
  return crc;
}

}  // namespace

void MakeJobControlId(const PortContext* ctx, char* out, size_t cap) {
  if (ctx->options & (kOptJcidA | kOptJcidB)) {
    GUID g{};
    CoCreateGuid(&g);
    // at most 32 characters: the field holds 32 and a terminator
    std::snprintf(out, cap, "%08X%04X%04X%X%X%X%X%X%X%X%X", g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return;
  }
  char computer[MAX_COMPUTERNAME_LENGTH + 2] = {};
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) computer[0] = 0;
  const char* crcText = computer[0] ? computer : "********";
  WORD crc = Crc16(reinterpret_cast<const BYTE*>(crcText), CStrLen(crcText));
  BYTE first[5] = {};
  for (size_t i = 0; i < 5 && computer[i]; ++i) first[i] = static_cast<BYTE>(computer[i]);
  std::snprintf(out, cap, "03%02X%02X%02X%02X%02X%04X%08X", first[0], first[1], first[2], first[3], first[4], crc,
                GetTickCount());
}

void Inspect(PortContext* ctx, const BYTE* data, DWORD size) {
  ctx->idSupplied = false;
  if (ctx->pjlState == 1 || ctx->pjlState == 2) return;
  const char* p = reinterpret_cast<const char*>(data);
  if (size >= 20 && Prefix(p, size, kUel, kUelLen)) {
    ctx->pjlState = -1;
    DWORD i = kUelLen;
    while (i < size) {
      DWORD end = i;
      while (end < size && p[end] != '\n') ++end;
      const char* line = p + i;
      size_t n = end - i;
      if (Prefix(line, n, "@PJL JOB", 8)) {
        ctx->pjlState = 2;
        std::memcpy(ctx->announced, ctx->jobName, sizeof ctx->announced);
      } else if (Prefix(line, n, "@PJL SET JOBATTR=\"@JCID=", 24)) {
        if (ctx->options & (kOptJcidA | kOptJcidB)) {
          const char* v = line + 24;
          size_t left = n - 24, k = 0;
          while (k < left && v[k] != '"' && v[k] != '\r' && k < 80) ++k;
          CStrCopy(ctx->jobName, sizeof ctx->jobName, v, k);
          if (ctx->announced[0]) ctx->startDropped = true;
          ctx->idSupplied = true;
        }
      } else if (Prefix(line, n, "@PJL ENTER", 10)) {
        break;
      }
      i = end + 1;
    }
    return;
  }
  if (size >= 10 && Prefix(p, size, "%!PS-Adobe", 10)) {
    ctx->pjlState = 1;
    CStrCopy(ctx->jobName, sizeof ctx->jobName, ctx->jcid, CStrLen(ctx->jcid));
    return;
  }
  ctx->pjlState = -1;
}

DWORD BuildStartBlock(PortContext* ctx, BYTE* out, DWORD cap) {
  JobRequest r{};
  r.jobName = ctx->jobName;
  bool jcidPort = (ctx->options & (kOptJcidA | kOptJcidB)) != 0;
  if ((ctx->pjlState == 1 || ctx->pjlState == 2) && jcidPort) {
    r.jobCommand = !ctx->idSupplied;
  } else if (ctx->pjlState == 2) {
    r.status = true;  // the job brings its own job command
  } else {
    // a job that brings its own job control id keeps it: the monitor's own
    // id is not sent
    r.status = r.name = r.user = true;
    r.jobCommand = !(jcidPort && ctx->idSupplied);
  }
  DWORD copies = ReadDword(u"JobCopies", 0xFFFFFFFFu), qty = ReadDword(u"JobQty", 0xFFFFFFFFu);
  if (copies != 0xFFFFFFFFu || qty != 0xFFFFFFFFu) {
    r.countsGiven = true;
    r.copies = copies;
    r.qty = qty;
  }
  WrapOptions o = FromRequest(ctx, r);
  ctx->startHadJobCommand = o.jobCommand;
  ctx->startHadName = o.addName;
  return Build(ctx, o, out, cap);
}

DWORD BuildEndBlock(PortContext* ctx, BYTE* buf, DWORD cap) {
  WrapOptions o = Fresh();
  o.jobCommand = ctx->startHadJobCommand;
  o.addName = ctx->startHadName;
  if (!o.jobCommand && !o.readyMessage && !o.statusOff) return 0;
  Out out{buf, cap, 0, false};
  char line[160];
  if (ctx->options & kOptPjlStatus) out.add(kUel, kUelLen);
  if (o.jobCommand) {
    char namePart[100] = {};
    if (o.addName) std::snprintf(namePart, sizeof namePart, " NAME=\"%s\"", ctx->jobName);
    std::snprintf(line, sizeof line, "@PJL EOJ%s\r\n", namePart);
    out.add(line);
  }
  if (o.readyMessage) out.add("@PJL RDYMSG DISPLAY=\"\" LINE=2\r\n");
  if (o.statusOff) out.add("@PJL USTATUSOFF\r\n");
  out.add(kUel, kUelLen);
  return out.full ? 0 : out.n;
}

// ---- "PrintingPriority" --------------------------------------------------------
//
// A DWORD under the monitor's registry root, read at every StartDocPort. When
// it holds one of the thread priority levels (-15, -2 to 2, 15; any other
// value, another type or no value changes nothing), the thread that starts
// the job runs at that priority until the job ends: the monitor keeps the
// thread's own priority and a real handle to the thread (OpenThread, so the
// priority goes back to that thread even when EndDocPort comes on another
// one) and gives the priority back at EndDocPort, at the next StartDocPort of
// a job never ended, or at ClosePort.

void ApplyPriority(PortContext* ctx) {
  DWORD value = 0;
  if (!ReadRootDword(u"PrintingPriority", &value)) return;
  int priority = static_cast<int>(value);
  if (priority != THREAD_PRIORITY_IDLE && priority != THREAD_PRIORITY_TIME_CRITICAL &&
      (priority < THREAD_PRIORITY_LOWEST || priority > THREAD_PRIORITY_HIGHEST))
    return;
  DWORD savedError = GetLastError();
  HANDLE self = OpenThread(THREAD_QUERY_INFORMATION | THREAD_SET_INFORMATION, FALSE, GetCurrentThreadId());
  if (self != nullptr) {
    int own = GetThreadPriority(self);
    if (own != THREAD_PRIORITY_ERROR_RETURN && SetThreadPriority(self, priority)) {
      ctx->savedPriority = own;
      ctx->priorityThread.store(self);
    } else {
      CloseHandle(self);
    }
  }
  SetLastError(savedError);
}

void RestorePriority(PortContext* ctx) {
  HANDLE thread = ctx->priorityThread.exchange(nullptr);
  if (thread == nullptr) return;
  DWORD savedError = GetLastError();
  SetThreadPriority(thread, ctx->savedPriority);
  CloseHandle(thread);
  SetLastError(savedError);
}

// ---- Port functions of a job ------------------------------------------------

namespace {

void ClearJob(PortContext* ctx) {
  RestorePriority(ctx);
  Free(ctx->startBlock);
  ctx->startBlock = nullptr;
  ctx->startLen = ctx->startSent = 0;
  ctx->startPending = false;
  ctx->startDropped = false;
  ctx->anyByteSent = false;
  ctx->pjlState = 0;
  ctx->stallTick = 0;
  EnterCriticalSection(ctx->cs);
  ctx->status.currentJob = 0;
  ctx->status.jobCancelled = false;
  ctx->status.jobEnded = false;
  ctx->jobId = 0;
  LeaveCriticalSection(ctx->cs);
  ctx->flags &= ~(kFlagJob | kFlagRealOpen);
}

}  // namespace

BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  PortCall call(port);
  PortContext* ctx = call.ctx();
  if (ctx == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  if (!call.lock()) return call.fail(ERROR_TIMEOUT);
  if (printerName && lstrcmpW(printerName, ctx->printerName) != 0) {
    WCHAR* copy = CopyW(printerName);
    if (copy) {
      EnterCriticalSection(ctx->cs);
      Free(ctx->printerName);
      ctx->printerName = copy;
      LeaveCriticalSection(ctx->cs);
    }
  }
  // The port is the job's from here: a poll that had it open is over (the
  // poll holds the mutex for its whole exchange).
  if (!ctx->pm.pfnStartDocPort(ctx->realPort, ctx->printerName, jobId, level, docInfo))
    return call.fail(GetLastError());
  ClearJob(ctx);
  EnsureNode(ctx, ctx->printerName);
  ApplyPriority(ctx);
  EnterCriticalSection(ctx->cs);
  ctx->jobId = jobId;
  ctx->status.currentJob = jobId;
  LeaveCriticalSection(ctx->cs);
  std::memset(ctx->jobName, 0, sizeof ctx->jobName);
  std::memset(ctx->announced, 0, sizeof ctx->announced);
  MakeJobControlId(ctx, ctx->jcid, sizeof ctx->jcid);
  CStrCopy(ctx->jobName, sizeof ctx->jobName, ctx->jcid, CStrLen(ctx->jcid));
  ctx->startPending = (ctx->options & kOptStatus) != 0;
  ctx->flags |= kFlagJob | kFlagRealOpen;
  ctx->flags &= ~kFlagSuspended;
  // Without the outside job service nothing is done to the spooler's job.
  return TRUE;
}

BOOL WINAPI WritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  PortCall call(port);
  PortContext* ctx = call.ctx();
  if (ctx == nullptr || written == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  *written = 0;
  if (!call.lock()) return call.fail(ERROR_TIMEOUT);
  if (!(ctx->flags & kFlagJob)) return call.fail(ERROR_INVALID_HANDLE);
  if (ctx->startPending && size > 0) {
    if (ctx->pjlState == 0) Inspect(ctx, buffer, size);
    if (ctx->startBlock == nullptr && !ctx->startDropped) {
      ctx->startBlock = static_cast<BYTE*>(Alloc(1024));
      // without a block buffer the data goes out without a start block
      if (ctx->startBlock) ctx->startLen = BuildStartBlock(ctx, ctx->startBlock, 1024);
      if (ctx->startLen > 0) NoteSentJob(&ctx->status, ctx->jobName, ctx->jobId);
    }
    // While the printer reports an error that stops output: up to three
    // looks at its status (a stalled block waits 20000 ms between looks).
    for (int attempt = 0; attempt < 3; ++attempt) {
      EnterCriticalSection(ctx->cs);
      bool stop = ctx->status.stoppingError;
      LeaveCriticalSection(ctx->cs);
      if (!stop) break;
      if (ctx->stallTick == 0 || GetTickCount() - ctx->stallTick > 20000) ReadAndFeed(ctx, 1);
    }
    EnterCriticalSection(ctx->cs);
    bool cancelled = ctx->status.jobCancelled;
    LeaveCriticalSection(ctx->cs);
    if (cancelled) {
      // the printer cancelled the job: its data is taken and dropped
      call.unlock();
      SetLastError(ERROR_SUCCESS);
      Sleep(2000);
      *written = size;
      return TRUE;
    }
    if (ctx->startSent < ctx->startLen) {
      DWORD n = 0;
      if (!ctx->pm.pfnWritePort(ctx->realPort, ctx->startBlock + ctx->startSent, ctx->startLen - ctx->startSent,
                                &n)) {
        DWORD e = GetLastError();
        ctx->startSent += n < ctx->startLen - ctx->startSent ? n : 0;
        call.unlock();
        if (ctx->options & kOptRetry) Sleep(1000);
        return call.fail(e);
      }
      if (n > ctx->startLen - ctx->startSent) n = ctx->startLen - ctx->startSent;
      ctx->startSent += n;
      if (n > 0) ctx->anyByteSent = true;
      if (ctx->startSent < ctx->startLen) {
        // the rest of the block goes first on the next call; none of the
        // caller's data is taken now
        if (n <= 1) ctx->stallTick = GetTickCount();
        return TRUE;
      }
    }
    ctx->startPending = false;
    ctx->stallTick = 0;
  }
  BOOL r = ctx->pm.pfnWritePort(ctx->realPort, buffer, size, written);
  DWORD e = GetLastError();
  if (*written > 0) ctx->anyByteSent = true;
  SetLastError(e);
  return r;
}

BOOL WINAPI EndDocPort(HANDLE port) {
  PortCall call(port);
  PortContext* ctx = call.ctx();
  if (ctx == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  if (!call.lock()) {
    // The port's state is cleared all the same; the real port is ended
    // without an end block (the port monitor serialises its own calls).
    // The wrapper's own fields belong to the mutex holder: they are reset
    // by the next StartDocPort and freed at close.
    if (ctx->flags & kFlagRealOpen) ctx->pm.pfnEndDocPort(ctx->realPort);
    EnterCriticalSection(ctx->cs);
    ctx->status.currentJob = 0;
    LeaveCriticalSection(ctx->cs);
    ctx->flags &= ~(kFlagJob | kFlagRealOpen);
    RestorePriority(ctx);
    return call.fail(ERROR_TIMEOUT);
  }
  if (!(ctx->flags & kFlagJob)) return TRUE;
  // The end block follows a job whose start block went out whole.
  if ((ctx->options & kOptStatus) && !ctx->startPending && ctx->startLen > 0) {
    BYTE block[512];
    DWORD len = BuildEndBlock(ctx, block, sizeof block);
    DWORD sent = 0;
    for (int idle = 0; sent < len && idle < 100;) {
      DWORD n = 0;
      if (!ctx->pm.pfnWritePort(ctx->realPort, block + sent, len - sent, &n)) break;
      sent += n;
      idle = n ? 0 : idle + 1;
    }
    // What the printer says about the job's end comes on this connection:
    // read until it reported the end, or stayed quiet for three reads.
    if ((ctx->options & kOptPjlStatus) && ctx->startHadJobCommand) {
      for (int quiet = 0, reads = 0; quiet < 3 && reads < 64; ++reads) {
        EnterCriticalSection(ctx->cs);
        bool ended = ctx->status.jobEnded;
        LeaveCriticalSection(ctx->cs);
        if (ended) break;
        quiet = ReadAndFeed(ctx, 1) == 0 ? quiet + 1 : 0;
      }
    }
  }
  ctx->pm.pfnEndDocPort(ctx->realPort);
  ClearJob(ctx);
  return TRUE;
}

}  // namespace lm
