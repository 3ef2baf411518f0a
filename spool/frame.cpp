// The spooler-side frame: the seven exports, the job context, the
// rendezvous that hands the spooler's buffers to the job's parser thread,
// and the parser thread with its diagnostic through modes.
//
// The rendezvous. The spooler thread offers one buffer at a time (pointer,
// length, offered = 1, under the context's lock), signals data-ready and
// waits on data-consumed until the offer is gone. The parser takes the
// buffer (holding), reads it without the lock while the writer waits, and
// hands it back (offered = 0, offerResult = TRUE) when it is empty. Every
// way the parser ends (end of input, abort, rejected stream) goes through
// umpd_EndInputFromParser, which hands a buffer still offered back with
// FALSE and marks the parser ended, so later offers answer FALSE at once.
// End of input is its own flag: an abort never overwrites the length of a
// buffer the parser holds. The events only wake; the state decides, so a
// signal left over from an earlier round costs one more look, nothing else.
#include <cstring>
#include <new>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/wide_text.h"
#include "kplatform/winspool_monitor.h"
#include "kestrel/spool/colorconv.h"
#include "seams.h"

std::atomic<DWORD> iThroughMode{0};

namespace {

constexpr WORD kTempRootString = 30;  // ordered string of the description data
constexpr DWORD kRawReadMax = 1024;   // through modes 1 and 2 read at most this much at once

void CopyName(WCHAR* to, LPCWSTR from, DWORD maxChars) {
  DWORD i = 0;
  if (from != nullptr) {
    for (; i < maxChars && from[i] != 0; ++i) to[i] = from[i];
  }
  to[i] = 0;
}

// Step 3 of StartDoc: the port and printer names from PRINTER_INFO_2.
void ReadPrinterNames(UmpdJobContext* ctx) {
  DWORD needed = 0;
  GetPrinterW(ctx->printer, 2, nullptr, 0, &needed);
  if (needed == 0) return;
  BYTE* info = static_cast<BYTE*>(HeapAlloc(ctx->heap, HEAP_ZERO_MEMORY, needed));
  if (info == nullptr) return;
  if (GetPrinterW(ctx->printer, 2, info, needed, &needed)) {
    PRINTER_INFO_2W pi;
    std::memcpy(&pi, info, sizeof(pi));
    CopyName(ctx->portName, pi.pPortName, UMPD_PORT_NAME_MAX);
    CopyName(ctx->printerName, pi.pPrinterName, UMPD_PRINTER_NAME_MAX);
  }
  HeapFree(ctx->heap, 0, info);
}

// Hands the buffer the parser holds back to its writer.
void ReleaseBuffer(UmpdJobContext* ctx, BOOL result) {
  EnterCriticalSection(&ctx->lock);
  ctx->offered.store(0);
  ctx->offerResult.store(result);
  ctx->holding = 0;
  ctx->readPointer = nullptr;
  ctx->readLeft = 0;
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataConsumed);
}

bool Aborted(const UmpdJobContext* ctx) { return (ctx->status.load() & UMPD_STATUS_ABORTED) != 0; }

// Ends the input from the spooler's side (Close, Abort).
void EndInputFromSpooler(UmpdJobContext* ctx) {
  EnterCriticalSection(&ctx->lock);
  ctx->endOfInput.store(1);
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataReady);
}

// The job output and what the job holds, released once whichever of the
// parser's end, Abort and Close comes first.
void ReleaseJobOutputInfo(UmpdJobContext* ctx) {
  if (ctx->jobOutputInfo != nullptr) {
    jobOutput_releasejobOutInfo(ctx->jobOutputInfo);
    GlobalFree(ctx->jobOutputInfo);
    ctx->jobOutputInfo = nullptr;
  }
}

void ReleaseJobState(UmpdJobContext* ctx) {
  ExitXLCC(ctx);
  // A registration the parser's end did not settle is withdrawn.
  umseam_DocumentMonitorReset(ctx);
  if (ctx->jclHeaders != nullptr) {
    GlobalFree(ctx->jclHeaders);
    ctx->jclHeaders = nullptr;
    ctx->jclHeadersSize = 0;
  }
  ExitXLCGS(ctx);
  XLDataListFree(ctx, ctx->imageList);
  ctx->imageList = nullptr;
  ctx->imageGathering = FALSE;
  ctx->imageCheck = FALSE;
}

// The parser's end: output still open is closed (its buffered bytes written
// when the stream was taken whole, dropped when it was rejected or
// aborted) and disabled.
void CloseOutputAtEnd(UmpdJobContext* ctx) {
  if (ctx->jobDataRecord == nullptr) return;
  const bool whole = ctx->ok.load() != 0 && !Aborted(ctx);
  if (jobOutput_isOpened(ctx) > 0) {
    if (whole) {
      if (jobOutput_close(ctx, 1) != 0) umpd_Reject(ctx, u"the job output's last bytes were not written");
    } else {
      ctx->jobDataRecord->buffered = 0;  // a rejected or aborted job sends no more
      jobOutput_close(ctx, 0);
    }
  }
  jobOutput_disable(ctx);
}

void RawThrough(UmpdJobContext* ctx, bool copy) {
  BYTE buffer[kRawReadMax];
  while (ctx->ok.load() != 0) {
    DWORD want = ctx->holding ? ctx->readLeft : 1;
    if (want < 1) want = 1;
    if (want > kRawReadMax) want = kRawReadMax;
    const DWORD got = GetData(ctx, buffer, want);
    if (got > 0 && copy && PutData(ctx, got, buffer) != static_cast<int32_t>(got)) break;
    if (got < want) break;  // end of input
  }
}

void TokenThrough(UmpdJobContext* ctx, bool copy) {
  while (ctx->ok.load() != 0) {
    XLData* node = ParseTag(ctx);
    if (node == nullptr) break;
    if (copy) PutData(ctx, node->rawLength, node->raw());
    XLDataFree(ctx, node);
  }
}

}  // namespace

// ---- helpers ------------------------------------------------------------------------------

UmpdJobContext* umpd_FromHandle(HANDLE job) {
  if (job == nullptr) return nullptr;
  uint32_t magic = 0;
  std::memcpy(&magic, job, sizeof(magic));
  return magic == UMPD_MAGIC ? static_cast<UmpdJobContext*>(job) : nullptr;
}

void umpd_Reject(UmpdJobContext* ctx, const char16_t* why) {
  if (ctx->ok.exchange(0) != 0) Logout_OutputString(u"kestrelum: job %lu ends: %ls", ctx->jobId, why);
}

void umpd_TakeSnapshot(UmpdJobContext* ctx) {
  if (ctx->snapshotTaken) return;
  std::memcpy(ctx->devmodeSnapshot, ctx->devmode, sizeof(ctx->devmodeSnapshot));
  ctx->snapshotTaken = TRUE;
}

void umpd_EndInputFromParser(UmpdJobContext* ctx) {
  EnterCriticalSection(&ctx->lock);
  ctx->parserEnded.store(1);
  const bool wasOffered = ctx->offered.load() != 0;
  ctx->offered.store(0);
  if (wasOffered) ctx->offerResult.store(FALSE);
  ctx->holding = 0;
  ctx->readPointer = nullptr;
  ctx->readLeft = 0;
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataConsumed);
}

UmpdJobContext* umpd_CreateContext(HANDLE printer, DWORD jobId) {
  UmpdJobContext* ctx = nullptr;
  HCDDD ddd = nullptr;
  // 1. the context
  void* block = GlobalAlloc(GPTR, sizeof(UmpdJobContext));
  if (block == nullptr) return nullptr;
  ctx = new (block) UmpdJobContext();
  InitializeCriticalSection(&ctx->lock);
  ctx->magic = UMPD_MAGIC;
  ctx->printer = printer;
  ctx->jobId = jobId;
  ctx->status.store(UMPD_STATUS_CREATED);
  // 2. its heap
  ctx->heap = HeapCreate(0, 1, 0);
  if (ctx->heap == nullptr) goto fail;
  // 3. port and printer names (a failure leaves both empty)
  ReadPrinterNames(ctx);
  // 4. the rendezvous
  ctx->dataReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ctx->dataConsumed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (ctx->dataReady == nullptr || ctx->dataConsumed == nullptr) goto fail;
  ctx->ok.store(1);
  // 5. the description data and the printer-data record
  ddd = cddd_Open(printer);
  if (ddd == nullptr || !pd_GetPrinterData(printer, ctx->printerData, ddd)) goto fail;
  // 6. the temporary files' registry root
  if (LPWSTR root = ddd_GetPrinterInfo_orderedString_Indirect(ddd->main, kTempRootString, 0)) {
    TFReg_SetRegRoot(root);
    kcore_Free(root);
  }
  cddd_Close(ddd);
  xl_initcontext(&ctx->xl, PutData, ctx);
  return ctx;

fail:
  if (ddd != nullptr) cddd_Close(ddd);
  umpd_DestroyContext(ctx);
  return nullptr;
}

void umpd_DestroyContext(UmpdJobContext* ctx) {
  if (ctx == nullptr) return;
  CloseOutputAtEnd(ctx);
  ReleaseJobState(ctx);
  ReleaseJobOutputInfo(ctx);
  ejclcmnt_endEJCLComment(ctx);  // a job that ended without its disable command
  if (ctx->parserThread != nullptr) CloseHandle(ctx->parserThread);
  if (ctx->dataReady != nullptr) CloseHandle(ctx->dataReady);
  if (ctx->dataConsumed != nullptr) CloseHandle(ctx->dataConsumed);
  DeleteCriticalSection(&ctx->lock);
  if (ctx->heap != nullptr) HeapDestroy(ctx->heap);
  ctx->magic = 0;
  ctx->~UmpdJobContext();
  GlobalFree(ctx);
}

void umpd_ParserEnd(UmpdJobContext* ctx) {
  ExitXLCC(ctx);
  ExitXLCGS(ctx);
  CloseOutputAtEnd(ctx);
  umpd_EndInputFromParser(ctx);
}

int PDL_InitINIDRIVER(UmpdJobContext*) { return 1; }

// ---- the rendezvous --------------------------------------------------------------------------

BOOL DataAvail(UmpdJobContext* ctx, const BYTE* buffer, DWORD count, DWORD* written) {
  if (written != nullptr) *written = 0;
  if (buffer == nullptr && count > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  EnterCriticalSection(&ctx->lock);
  if (ctx->ok.load() == 0 || ctx->parserEnded.load() != 0 || ctx->endOfInput.load() != 0 || Aborted(ctx) ||
      ctx->offered.load() != 0 || count > 0x7FFFFFFFu) {
    LeaveCriticalSection(&ctx->lock);
    return FALSE;
  }
  ctx->writeCount.fetch_add(1);
  ctx->dataPointer = buffer;
  ctx->dataLength.store(static_cast<int32_t>(count));
  ctx->offerResult.store(FALSE);
  ctx->offered.store(1);
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataReady);
  for (;;) {
    EnterCriticalSection(&ctx->lock);
    const bool still = ctx->offered.load() != 0;
    LeaveCriticalSection(&ctx->lock);
    if (!still) break;
    WaitForSingleObject(ctx->dataConsumed, INFINITE);
  }
  const BOOL result = ctx->offerResult.load() != 0 && ctx->ok.load() != 0;
  if (result && written != nullptr) *written = count;
  return result;
}

DWORD GetData(UmpdJobContext* ctx, BYTE* buffer, DWORD count) {
  DWORD copied = 0;
  while (copied < count) {
    if (ctx->ok.load() == 0 || Aborted(ctx)) {
      // The parser gives up: the document monitor's job is forgotten and
      // the waiting writer (if any) is let go with FALSE.
      umseam_DocumentMonitorReset(ctx);
      umpd_EndInputFromParser(ctx);
      return copied;
    }
    if (!ctx->holding) {
      EnterCriticalSection(&ctx->lock);
      while (ctx->offered.load() == 0 && ctx->endOfInput.load() == 0 && !Aborted(ctx)) {
        LeaveCriticalSection(&ctx->lock);
        WaitForSingleObject(ctx->dataReady, INFINITE);
        EnterCriticalSection(&ctx->lock);
      }
      const bool take = ctx->offered.load() != 0 && !Aborted(ctx);
      if (take) {
        ctx->holding = 1;
        ctx->readPointer = ctx->dataPointer;
        ctx->readLeft = static_cast<DWORD>(ctx->dataLength.load());
      }
      LeaveCriticalSection(&ctx->lock);
      if (!take) {
        if (!Aborted(ctx)) umseam_DocumentMonitorGo(ctx);
        umpd_EndInputFromParser(ctx);
        return copied;
      }
    }
    const DWORD want = count - copied;
    const DWORD n = ctx->readLeft < want ? ctx->readLeft : want;
    if (n > 0) {
      std::memcpy(buffer + copied, ctx->readPointer, n);
      ctx->readPointer += n;
      ctx->readLeft -= n;
      copied += n;
    }
    if (ctx->readLeft == 0) ReleaseBuffer(ctx, TRUE);
  }
  return copied;
}

int32_t PutData(void* context, DWORD count, const void* bytes) {
  UmpdJobContext* ctx = static_cast<UmpdJobContext*>(context);
  if (Aborted(ctx)) return -1;
  // Bytes that go into the page store are counted when they are put out.
  const bool stored = ctx->jobDataRecord != nullptr && ctx->jobDataRecord->direction == JOBDATA_PAGESTORE;
  if (jobOutput_spool_write(ctx, count, bytes) != 0) {
    umpd_Reject(ctx, u"the job output refused a write");
    return -1;
  }
  if (!stored) ctx->bytesOut += count;
  return static_cast<int32_t>(count);
}

// ---- the parser thread -------------------------------------------------------------------------

DWORD WINAPI Parser(LPVOID parameter) {
  UmpdJobContext* ctx = static_cast<UmpdJobContext*>(parameter);
  DWORD mode = 0;
  DWORD type = 0;
  DWORD needed = 0;
  WCHAR name[] = UMPD_THROUGH_VALUE;
  if (GetPrinterDataW(ctx->printer, name, &type, reinterpret_cast<LPBYTE>(&mode), sizeof(mode), &needed) ==
          ERROR_SUCCESS &&
      needed == sizeof(mode)) {
    iThroughMode.store(mode);
  } else {
    mode = iThroughMode.load();
  }
  // A value above the last mode is no mode: the job is processed in full.
  if (mode > UMPD_THROUGH_LAST) mode = UMPD_THROUGH_NONE;
  ctx->throughMode = mode;
  if (mode > UMPD_THROUGH_NONE) {
    jobOutput_enable(ctx);
    if (jobOutput_open(ctx, ctx->printer, u"test doc") != 0) umpd_Reject(ctx, u"the job output did not open");
  }
  switch (mode) {
    case UMPD_THROUGH_RAW_COPY: RawThrough(ctx, true); break;
    case UMPD_THROUGH_RAW_DROP: RawThrough(ctx, false); break;
    case UMPD_THROUGH_TOKEN_COPY: TokenThrough(ctx, true); break;
    case UMPD_THROUGH_TOKEN_DROP: TokenThrough(ctx, false); break;
    default:
      ParseGroupedStream(ctx);
      break;
  }
  // Whatever ended the parser, the waiting writer goes and later writes
  // answer FALSE at once.
  umpd_ParserEnd(ctx);
  return 0;
}

// The job's counts in the trace at Close (the demo and a person reading the
// log see what the job did): operators in and out, pages, bytes, and the
// in-band commands carried out by code.
void umpd_TraceSummary(UmpdJobContext* ctx) {
  Logout_OutputString(u"kestrelum: job %lu: ok %lu, operators in %I64u, out %I64u, pages %I64u, bytes %I64u",
                      ctx->jobId, ctx->ok.load(), ctx->operatorsIn, ctx->operatorsOut, ctx->pagesOut,
                      ctx->bytesOut);
  for (DWORD i = 0; i <= XL_IC_LAST - XL_IC_FIRST; ++i) {
    if (ctx->commandsRun[i] != 0) {
      Logout_OutputString(u"kestrelum: job %lu: command %lu carried out %I64u times", ctx->jobId,
                          static_cast<DWORD>(XL_IC_FIRST + i), ctx->commandsRun[i]);
    }
  }
}

void local_OutOfThread_Proc(UmpdJobContext* ctx) {
  if (!Aborted(ctx) && ctx->jobInfo.securityMarking != 0 && ctx->ok.load() != 0) jobOutput_ForGlyphseal(ctx);
  ReleaseJobOutputInfo(ctx);
}

// ---- the exports --------------------------------------------------------------------------------

extern "C" {

HANDLE WINAPI DrvSplStartDoc(HANDLE printer, DWORD jobId) {
  Logout_InDDIFunctionTraceLog(u"DrvSplStartDoc");
  UmpdJobContext* ctx = umpd_CreateContext(printer, jobId);
  if (ctx != nullptr) {
    // 7. the parser thread
    ctx->parserThread = CreateThread(nullptr, 0, Parser, ctx, 0, nullptr);
    if (ctx->parserThread == nullptr) {
      umpd_DestroyContext(ctx);
      ctx = nullptr;
    }
  }
  Logout_OutDDIFunctionTraceLog(u"DrvSplStartDoc RetValue = 0x%08I64X",
                                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(ctx)));
  return ctx;
}

BOOL WINAPI DrvSplWritePrinter(HANDLE job, LPVOID buffer, DWORD count, LPDWORD written) {
  Logout_InDDIFunctionTraceLog(u"DrvSplWritePrinter");
  UmpdJobContext* ctx = umpd_FromHandle(job);
  BOOL result = FALSE;
  if (ctx == nullptr) {
    if (written != nullptr) *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
  } else {
    result = DataAvail(ctx, static_cast<const BYTE*>(buffer), count, written);
    if (!result) ctx->refusedWrite.store(1);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvSplWritePrinter RetValue = %d", result);
  return result;
}

namespace {

// DrvSplStartPage and DrvSplEndPage: the job's page counts, traced.
BOOL PageCount(HANDLE job, const char16_t* name, const char16_t* exitFormat, std::atomic<uint32_t> UmpdJobContext::*count) {
  Logout_InDDIFunctionTraceLog(name);
  UmpdJobContext* ctx = umpd_FromHandle(job);
  BOOL result = FALSE;
  if (ctx != nullptr) {
    (ctx->*count).fetch_add(1);
    result = TRUE;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  Logout_OutDDIFunctionTraceLog(exitFormat, result);
  return result;
}

}  // namespace

BOOL WINAPI DrvSplStartPage(HANDLE job) {
  return PageCount(job, u"DrvSplStartPage", u"DrvSplStartPage RetValue = %d", &UmpdJobContext::startPageCount);
}

BOOL WINAPI DrvSplEndPage(HANDLE job) {
  return PageCount(job, u"DrvSplEndPage", u"DrvSplEndPage RetValue = %d", &UmpdJobContext::endPageCount);
}

void WINAPI DrvSplEndDoc(HANDLE job) {
  Logout_InDDIFunctionTraceLog(u"DrvSplEndDoc");
  if (UmpdJobContext* ctx = umpd_FromHandle(job)) ctx->status.fetch_or(UMPD_STATUS_ENDDOC);
  Logout_OutDDIFunctionTraceLog(u"DrvSplEndDoc");
}

void WINAPI DrvSplAbort(HANDLE job) {
  Logout_InDDIFunctionTraceLog(u"DrvSplAbort");
  if (UmpdJobContext* ctx = umpd_FromHandle(job)) {
    ctx->status.fetch_or(UMPD_STATUS_ABORTED);
    EndInputFromSpooler(ctx);
    // The parser sees the abort at its next read, lets a waiting writer go
    // and closes the output as failed; only then is the job's state freed.
    WaitForSingleObject(ctx->parserThread, INFINITE);
    ReleaseJobState(ctx);
    ejclcmnt_endEJCLComment(ctx);
    ReleaseJobOutputInfo(ctx);
    CloseOutputAtEnd(ctx);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvSplAbort");
}

void WINAPI DrvSplClose(HANDLE job) {
  Logout_InDDIFunctionTraceLog(u"DrvSplClose");
  if (UmpdJobContext* ctx = umpd_FromHandle(job)) {
    EndInputFromSpooler(ctx);
    WaitForSingleObject(ctx->parserThread, INFINITE);
    // A job that failed after the spooler's last buffer (the stream ended
    // inside the job, or its last bytes were not written) has answered no
    // write FALSE, and the ending exports answer nothing: it is cancelled,
    // so that the spooler does not count it printed and EndDocPrinter
    // answers the failure. The spooler calls DrvSplAbort for it here.
    if (ctx->ok.load() == 0 && !Aborted(ctx) && ctx->refusedWrite.load() == 0) {
      Logout_OutputString(u"kestrelum: job %lu is cancelled: it failed after its last buffer", ctx->jobId);
      SetJobW(ctx->printer, ctx->jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    }
    local_OutOfThread_Proc(ctx);
    umpd_TraceSummary(ctx);
    umpd_DestroyContext(ctx);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvSplClose");
}

}  // extern "C"
