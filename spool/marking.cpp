// Marked copies after the job: when the job asks for security marking
// (job information offset 188), the parser's output goes into a registered
// temporary file instead of the printer (from the job header on), and at
// Close the marking library makes one marked copy of it per serial, each
// sent to the printer: with one serial into the job's own print job, with
// several as further print jobs, copies 1 and on registered with the
// document monitor when that is enabled.
//
// Who fills the spooled job file and the serial count (the design leaves
// it open): the job header output (BeginSession) asks the marking library
// for a handle; when it gets one, the count is the library's
// (gsb_ctrl_GetNumOfSerial) and the output is diverted into the file.
// Without the library, a job asking for marking still goes to the file,
// with no serial count: nothing is printed (a job asking for marking never
// prints unmarked), the trace says so, and the file goes at Close.
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/wide_text.h"

namespace {

constexpr DWORD kCopyBuffer = 32768;

LPCWSTR MarkingSettings(UmpdJobContext* ctx) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(DDM_MODELNAME, ctx->devmode, ctx->printerData, &type, &size, &value) != 0) return nullptr;
  return reinterpret_cast<LPCWSTR>(value);
}

LONG Number(UmpdJobContext* ctx, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, ctx->devmode, ctx->printerData, &v) ? v : 0;
}

}  // namespace

GSB_HANDLE* outGSB_GetGSBHandle(UmpdJobContext* ctx) {
  if (ctx == nullptr) return nullptr;
  HCDDD ddd = cddd_Open(ctx->printer);
  if (ddd == nullptr) return nullptr;
  GSB_DEVICE device{};
  GSB_HANDLE* handle = nullptr;
  const LPCWSTR settings = MarkingSettings(ctx);
  if (gsb_ctrl_ReadDevice(ddd, ctx->devmode, ctx->printerData, &device) && settings != nullptr &&
      gsb_ctrl_IsAvailable(&device, settings) == 1) {
    gsb_ctrl_GetHandle(&device, settings, 0, &handle);
  }
  cddd_Close(ddd);
  return handle;
}

int outGSB_SetGSBSetting(GSB_HANDLE* handle, UmpdJobContext* ctx) {
  const LPCWSTR settings = MarkingSettings(ctx);
  int32_t serials = 0;
  if (settings == nullptr || gsb_ctrl_GetNumOfSerial(handle, settings, &serials) != 1 ||
      serials != static_cast<int32_t>(ctx->serialCount)) {
    return -1;
  }
  GSB_ATTRLIST* list = nullptr;
  if (gsb_ctrl_CreateDrvAttrList(handle, ctx->devmode, ctx->printerData, &list) != 1) return -1;
  const GSB_JOBSTRINGS strings{ctx->userName, ctx->documentName, ctx->printerName, ctx->portName};
  const bool ok = gsb_ctrl_ValidateSetting(nullptr, handle, list, settings) == 1 &&
                  gsb_ctrl_RegisterDrvAttrList(handle, list) == 1 &&
                  gsb_ctrl_RegisterJobAttr(handle, 1, &strings, nullptr, nullptr) == 1;
  gsb_ctrl_DeleteDrvAttrList(list);
  return ok ? 0 : -1;
}

ULONG_PTR outGSB_RegisterCopy(UmpdJobContext* ctx, struct CDDD_INFO* ddd, BYTE* devmode, DWORD copy,
                              BYTE (&record)[BRIGHTDESK_RECORD_SIZE]) {
  LONG monitor = 0, register_ = 0, tray = 0;
  if (!ddm_GetNumber(DDM_DOCMONITOR_REGISTER, devmode, ctx->printerData, &monitor) || monitor == 0 ||
      !ddm_GetNumber(DDM_COMMENT_SUPPRESS, devmode, ctx->printerData, &register_) || register_ == 0)
    return 0;
  WCHAR library[MAX_PATH];
  if (!bddm_LibraryName(ddd, library) || bddm_IsValid(library) == 0) return 0;
  ddm_GetNumber(DDM_OUTPUT_TRAY, devmode, ctx->printerData, &tray);
  BRIGHTDESK_REQUEST request{};
  request.library = library;
  request.resource = resource_get_hInstance();
  request.printer = ctx->printer;
  request.ddd = ddd;
  request.devmode = devmode;
  request.printerData = ctx->printerData;
  request.document = ctx->documentName;
  request.printerName = ctx->printerName;
  request.port = ctx->portName;
  request.user = ctx->userName;
  request.outputTray = static_cast<DWORD>(tray);
  request.copySet = ctx->copySet;
  request.copy = copy;
  return Brightdesk_Ready(&request, record);
}

int outGSB_BrightdeskReady(UmpdJobContext* ctx, int32_t copy, ULONG_PTR* id, BYTE (&record)[BRIGHTDESK_RECORD_SIZE]) {
  *id = 0;
  std::memset(record, 0, sizeof(record));
  // Copy 0 was registered with the job's header.
  if (copy == 0 || Number(ctx, DDM_DOCMONITOR_REGISTER) == 0 || Number(ctx, DDM_COMMENT_SUPPRESS) == 0) return 0;
  HCDDD ddd = cddd_Open(ctx->printer);
  if (ddd == nullptr) return 0;
  *id = outGSB_RegisterCopy(ctx, ddd, ctx->devmode, static_cast<DWORD>(copy), record);
  cddd_Close(ddd);
  return 0;
}

void outGSB_TakeOverDocumentMonitor(UmpdJobContext* ctx) {
  if (ctx == nullptr || ctx->documentMonitorTaken) return;
  ctx->documentMonitorTaken = TRUE;
  HCDDD ddd = cddd_Open(ctx->printer);
  const ULONG_PTR job = Brightdesk_TakeOver(ctx->printer, ddd, ctx->jobId);
  if (ddd != nullptr) cddd_Close(ddd);
  if (job == 0) return;
  if (ctx->documentMonitor == 0) {
    ctx->documentMonitor = job;
    Logout_OutputString(u"kestrelum: job %lu: the document monitor's registrations of its headers are taken over",
                        ctx->jobId);
  } else {
    bddm_Reset(job);  // the job is registered already: these would never run
  }
}

void outGSB_BrightdeskGo(UmpdJobContext*, ULONG_PTR id, int go) {
  if (id == 0) return;
  if (go) bddm_Go(id);
  else bddm_Reset(id);
}

int outGSB_outGSBJobs(GSB_HANDLE* handle, int32_t count, LPCWSTR source, UmpdJobContext* ctx) {
  // 1. The copy buffer and the copy's temporary file (made by the name,
  // recorded for the sweep).
  BYTE* buffer = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, kCopyBuffer));
  WCHAR copyFile[MAX_PATH] = {};
  if (buffer == nullptr || !drvio_tmpFileName_make(copyFile)) {
    if (buffer != nullptr) GlobalFree(buffer);
    return -1;
  }
  TFReg_Entry(copyFile);
  int result = 0;
  ULONG_PTR id = 0;
  for (int32_t copy = 0; copy < count && result == 0; ++copy) {
    BYTE record[BRIGHTDESK_RECORD_SIZE];
    outGSB_BrightdeskReady(ctx, copy, &id, record);
    HANDLE file = INVALID_HANDLE_VALUE;
    bool printing = false;
    if (gsb_ctrl_AddGS(handle, copy, source, copyFile, record) != 1) {
      result = -1;
      Logout_OutputString(u"kestrelum: the marking library did not make copy %ld", static_cast<long>(copy));
    } else if ((file = drvio_file_open(copyFile, DRVIO_READ_ONLY)) == INVALID_HANDLE_VALUE) {
      result = -1;
    } else {
      if (copy == 0 && (jobOutput_enable(ctx) != 0 || jobOutput_open(ctx, ctx->printer, ctx->documentName) != 0)) {
        result = -1;
      } else if (count != 1 && jobOutput_openPrinter(ctx, ctx->printer, nullptr, ctx->documentName, nullptr) != 0) {
        result = -1;
      } else {
        printing = true;
        // Every read's bytes are sent, the last short one too.
        for (;;) {
          DWORD got = 0;
          if (!drvio_file_read(file, buffer, kCopyBuffer, &got)) {
            result = -1;
            break;
          }
          if (got > 0 && jobOutput_spool_write(ctx, got, buffer) != 0) {
            result = -1;
            break;
          }
          if (got < kCopyBuffer) break;
        }
      }
      if (printing && jobOutput_closePrinter(ctx, 1) != 0) result = -1;
      drvio_file_close(file);
    }
    outGSB_BrightdeskGo(ctx, id, result == 0);
    id = 0;
  }
  // 3. The output closed and disabled, the copy's file gone.
  jobOutput_close(ctx, result == 0 ? 1 : 0);
  jobOutput_disable(ctx);
  if (TempFileDelete(copyFile) == 0) TFReg_Delete(copyFile);
  else TFReg_Release(copyFile);
  GlobalFree(buffer);
  return result;
}

int jobOutput_ForGlyphseal(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  // 1.
  if (ctx->jobOutputInfo == nullptr || ctx->jobOutputInfo->path == nullptr || ctx->serialCount == 0) {
    Logout_OutputString(u"kestrelum: job %lu asks for security marking, which is not available: nothing is printed",
                        ctx->jobId);
    return -1;
  }
  // 2.
  GSB_HANDLE* handle = outGSB_GetGSBHandle(ctx);
  if (handle == nullptr) {
    Logout_OutputString(u"kestrelum: job %lu: no marking library handle: nothing is printed", ctx->jobId);
    return -1;
  }
  // 3., 4.
  int result = -1;
  if (outGSB_SetGSBSetting(handle, ctx) != 0) {
    Logout_OutputString(u"kestrelum: job %lu: the marking settings were refused: nothing is printed", ctx->jobId);
  } else {
    result = outGSB_outGSBJobs(handle, static_cast<int32_t>(ctx->serialCount), ctx->jobOutputInfo->path, ctx);
  }
  // 5.
  if (gsb_ctrl_ReleaseHandle(handle) != 1) result = -1;
  return result;
}

int outGSB_PrepareSpool(UmpdJobContext* ctx) {
  if (ctx == nullptr || ctx->jobInfo.securityMarking == 0 || ctx->jobOutputInfo != nullptr) return 0;
  // The serial count: the library's, when a handle can be made now.
  ctx->serialCount = 0;
  if (GSB_HANDLE* handle = outGSB_GetGSBHandle(ctx)) {
    int32_t serials = 0;
    const LPCWSTR settings = MarkingSettings(ctx);
    if (settings != nullptr && gsb_ctrl_GetNumOfSerial(handle, settings, &serials) == 1 && serials > 0) {
      ctx->serialCount = static_cast<DWORD>(serials);
    }
    gsb_ctrl_ReleaseHandle(handle);
  }
  // The spooled job file: made, recorded for the sweep, and the output
  // diverted into it.
  jobOutInfo* info = static_cast<jobOutInfo*>(GlobalAlloc(GPTR, sizeof(jobOutInfo)));
  LPWSTR path = static_cast<LPWSTR>(GlobalAlloc(GPTR, MAX_PATH * sizeof(WCHAR)));
  if (info == nullptr || path == nullptr || !drvio_tmpFileName_make(path)) {
    if (info != nullptr) GlobalFree(info);
    if (path != nullptr) GlobalFree(path);
    return -1;
  }
  TFReg_Entry(path);
  info->path = path;
  ctx->jobOutputInfo = info;
  if (jobData_startOutputPrinterAndFile(ctx->jobDataRecord, path) != 0) return -1;
  Logout_OutputString(u"kestrelum: job %lu: marked copies: %lu serials, the job is spooled to %ls", ctx->jobId,
                      ctx->serialCount, path);
  return 0;
}
