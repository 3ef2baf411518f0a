// Device contexts for printers (kplatform/gdi32_dc.h): the document calls,
// the events they raise in the driver's configuration library, the
// renderer session behind them, and the per-DC log tests read.
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gdi32/dc_internal.h"
#include "kplatform/engine_runner.h"
#include "kplatform/gdi32_dc.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"

namespace kp::gdi {

namespace {

struct Table {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<Dc>> dcs;
  uintptr_t next = 0x7E000010;
  KP_DC_ESCAPE_HOOK hook = nullptr;
  void* hookContext = nullptr;
  std::atomic<DWORD> nextJob{1};
};

Table& T() {
  static Table* t = new Table;  // outlives static destructors
  return *t;
}

// The driver's event call, logged: the entry is made before the call so that
// the escapes the driver sends from inside it follow it in the log.
int RaiseEvent(Dc& dc, int iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut) {
  size_t at = dc.AddLog(KP_DCLOG_EVENT, iEsc, cbIn, cbOut, pvIn, nullptr, nullptr);
  int r = DOCUMENTEVENT_UNSUPPORTED;
  if (dc.documentEvent) r = dc.documentEvent(dc.printer, dc.handle, iEsc, cbIn, pvIn, cbOut, pvOut);
  dc.SetLogResult(at, r);
  return r;
}

// The DRIVER_INFO_2W of the printer, in a buffer of its own.
bool DriverInfo(HANDLE printer, std::vector<BYTE>* buffer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  if (needed < sizeof(DRIVER_INFO_2W)) return false;
  buffer->assign(needed, 0);
  return GetPrinterDriverW(printer, nullptr, 2, buffer->data(), needed, &needed) != FALSE;
}

// Whether the printer has a port (GetPrinterW level 2 names one).
bool HasPort(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return false;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return false;
  PRINTER_INFO_2W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  return info.pPortName && *info.pPortName;
}

void ReleaseDc(Dc& dc) {
  if (dc.session) KpEngineDisablePDEV(dc.session);
  dc.session = nullptr;
  if (dc.driver) KpEngineUnloadDriver(dc.driver);
  dc.driver = nullptr;
  if (dc.enginePrinter) KpEngineDeletePrinter(dc.enginePrinter);
  dc.enginePrinter = nullptr;
  if (dc.configModule) FreeLibrary(dc.configModule);
  dc.configModule = nullptr;
  dc.documentEvent = nullptr;
  if (dc.printer) ClosePrinter(dc.printer);
  dc.printer = nullptr;
}

}  // namespace

size_t Dc::AddLog(DWORD kind, LONG code, ULONG cbIn, ULONG cbOut, const void* in, const char* name,
                  const LONG* args) {
  std::lock_guard<std::mutex> g(logLock);
  LogItem item;
  item.entry.kind = kind;
  item.entry.code = code;
  item.entry.cbIn = cbIn;
  item.entry.cbOut = cbOut;
  item.entry.name = name;
  if (args) std::memcpy(item.entry.args, args, sizeof(item.entry.args));
  if (in && cbIn) item.bytes.assign(static_cast<const BYTE*>(in), static_cast<const BYTE*>(in) + cbIn);
  log.push_back(std::move(item));
  return log.size() - 1;
}

void Dc::SetLogResult(size_t index, LONG result) {
  std::lock_guard<std::mutex> g(logLock);
  if (index < log.size()) log[index].entry.result = result;
}

void LogCall(Dc& dc, const char* name, LONG a, LONG b, LONG c, LONG d, LONG result) {
  LONG args[4] = {a, b, c, d};
  size_t at = dc.AddLog(KP_DCLOG_DRAWING, 0, 0, 0, nullptr, name, args);
  dc.SetLogResult(at, result);
}

std::shared_ptr<Dc> FindDcOrFail(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) SetLastError(ERROR_INVALID_HANDLE);
  return dc;
}

std::shared_ptr<Dc> FindDc(HDC hdc) {
  Table& t = T();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.dcs.find(reinterpret_cast<uintptr_t>(hdc));
  return it == t.dcs.end() ? nullptr : it->second;
}

}  // namespace kp::gdi

using kp::gdi::Dc;
using kp::gdi::FindDc;
using kp::gdi::RaiseEvent;
using kp::gdi::T;

KP_API HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* devmode) {
  (void)output;
  if (!device || !*device) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dc = std::make_shared<Dc>();
  {
    kp::gdi::Table& t = T();
    std::lock_guard<std::mutex> g(t.lock);
    dc->handle = reinterpret_cast<HDC>(t.next);
    t.next += 4;
  }
  // 1. The printer and its driver's libraries.
  std::u16string name(device);
  std::vector<BYTE> info;
  if (!OpenPrinterW(name.data(), &dc->printer, nullptr)) return nullptr;
  if (!kp::gdi::DriverInfo(dc->printer, &info)) {
    DWORD e = GetLastError();
    kp::gdi::ReleaseDc(*dc);
    SetLastError(e ? e : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DRIVER_INFO_2W di;
  std::memcpy(&di, info.data(), sizeof(di));
  if (di.pConfigFile && *di.pConfigFile) {
    dc->configModule = LoadLibraryW(di.pConfigFile);
    if (dc->configModule)
      dc->documentEvent =
          reinterpret_cast<PFN_DrvDocumentEvent>(
          reinterpret_cast<void (*)()>(GetProcAddress(dc->configModule, "DrvDocumentEvent")));
  }
  {
    kp::gdi::Table& t = T();
    std::lock_guard<std::mutex> g(t.lock);
    t.dcs[reinterpret_cast<uintptr_t>(dc->handle)] = dc;
  }
  // 2. The filter query (every event is raised whatever it answers), then PRE.
  RaiseEvent(*dc, DOCUMENTEVENT_QUERYFILTER, 0, nullptr, 0, nullptr);
  DOCEVENT_CREATEDCPRE pre = {const_cast<LPWSTR>(driver), const_cast<LPWSTR>(device),
                              const_cast<DEVMODEW*>(devmode), FALSE};
  DEVMODEW* preOut = nullptr;
  int r = RaiseEvent(*dc, DOCUMENTEVENT_CREATEDCPRE, sizeof(pre), &pre, sizeof(preOut), &preOut);
  bool ok = r != DOCUMENTEVENT_FAILURE;
  // 3. The renderer.
  DWORD error = ERROR_SUCCESS;
  if (ok) {
    KP_ENGINE_PRINTER_INFO pi = {device, di.pDriverPath, di.pDataFile};
    dc->enginePrinter = KpEngineCreatePrinter(&pi);
    dc->driver = dc->enginePrinter ? KpEngineLoadDriver(di.pDriverPath) : nullptr;
    const void* dm = preOut ? static_cast<const void*>(preOut) : static_cast<const void*>(devmode);
    dc->session = dc->driver ? KpEngineEnablePDEV(dc->driver, dc->enginePrinter, dm) : nullptr;
    if (dc->session && !KpEngineEnableSurface(dc->session)) {
      KpEngineDisablePDEV(dc->session);
      dc->session = nullptr;
    }
    ok = dc->session != nullptr;
    if (!ok) error = GetLastError();
  } else {
    error = ERROR_INVALID_PARAMETER;
  }
  // 4. POST, with the address of PRE's answer, also when the renderer refused.
  HDC answer = ok ? dc->handle : nullptr;
  if (ok || r != DOCUMENTEVENT_FAILURE) {
    HDC was = dc->handle;
    if (!ok) dc->handle = nullptr;  // POST learns the refusal as a null DC
    RaiseEvent(*dc, DOCUMENTEVENT_CREATEDCPOST, sizeof(preOut), &preOut, 0, nullptr);
    dc->handle = was;
  }
  if (!ok) {
    kp::gdi::Table& t = T();
    {
      std::lock_guard<std::mutex> g(t.lock);
      t.dcs.erase(reinterpret_cast<uintptr_t>(dc->handle));
    }
    kp::gdi::ReleaseDc(*dc);
    SetLastError(error ? error : ERROR_INVALID_PARAMETER);
  }
  return answer;
}

KP_API BOOL WINAPI DeleteDC(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RaiseEvent(*dc, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  {
    kp::gdi::Table& t = T();
    std::lock_guard<std::mutex> g(t.lock);
    t.dcs.erase(reinterpret_cast<uintptr_t>(hdc));
  }
  kp::gdi::ReleaseDc(*dc);
  return TRUE;
}

namespace {

int Refuse(DWORD error = ERROR_INVALID_PARAMETER) {
  SetLastError(error);
  return SP_ERROR;
}

}  // namespace

KP_API int WINAPI StartDocW(HDC hdc, const DOCINFOW* docInfo) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return Refuse(ERROR_INVALID_HANDLE);
  if (dc->inDocument) return Refuse();
  const DOCINFOW* pointer = docInfo;
  if (RaiseEvent(*dc, DOCUMENTEVENT_STARTDOC, sizeof(pointer), &pointer, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return Refuse(ERROR_CANCELLED);
  // The document is a spooler job when the printer has a port (or the DC
  // was told so); the renderer then gets the spooler's job id.
  const bool spooled = dc->spoolerJobs < 0 ? kp::gdi::HasPort(dc->printer) : dc->spoolerJobs != 0;
  LPCWSTR name = docInfo && docInfo->lpszDocName ? docInfo->lpszDocName : u"";
  if (!KpEngineUseSpoolerJobs(dc->enginePrinter, spooled ? TRUE : FALSE) ||
      !KpEngineStartDoc(dc->session, name, T().nextJob.fetch_add(1))) {
    // The driver learns that the document it was told of is not printed.
    DWORD error = GetLastError();
    RaiseEvent(*dc, DOCUMENTEVENT_ABORTDOC, 0, nullptr, 0, nullptr);
    return Refuse(error ? error : ERROR_GEN_FAILURE);
  }
  DWORD job = KpEngineSessionJobId(dc->session);
  dc->inDocument = true;
  dc->jobId = job;
  LONG jobId = static_cast<LONG>(job);
  if (RaiseEvent(*dc, DOCUMENTEVENT_STARTDOCPOST, sizeof(jobId), &jobId, 0, nullptr) == DOCUMENTEVENT_FAILURE) {
    AbortDoc(hdc);
    return Refuse(ERROR_CANCELLED);
  }
  return static_cast<int>(job);
}

KP_API int WINAPI StartPage(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return Refuse(ERROR_INVALID_HANDLE);
  if (!dc->inDocument || dc->inPage) return Refuse();
  if (RaiseEvent(*dc, DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return Refuse(ERROR_CANCELLED);
  if (!KpEngineStartPage(dc->session)) return SP_ERROR;
  dc->inPage = true;
  return 1;
}

KP_API int WINAPI EndPage(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return Refuse(ERROR_INVALID_HANDLE);
  if (!dc->inPage) return Refuse();
  RaiseEvent(*dc, DOCUMENTEVENT_ENDPAGE, 0, nullptr, 0, nullptr);
  dc->inPage = false;
  return KpEngineSendPage(dc->session) ? 1 : SP_ERROR;
}

KP_API int WINAPI EndDoc(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return Refuse(ERROR_INVALID_HANDLE);
  if (!dc->inDocument) return Refuse();
  if (dc->inPage) EndPage(hdc);  // as GDI does for a page left open
  RaiseEvent(*dc, DOCUMENTEVENT_ENDDOC, 0, nullptr, 0, nullptr);
  if (dc->inPage) EndPage(hdc);
  BOOL ok = KpEngineEndDoc(dc->session, 0);
  dc->inDocument = false;
  RaiseEvent(*dc, DOCUMENTEVENT_ENDDOCPOST, 0, nullptr, 0, nullptr);
  return ok ? 1 : SP_ERROR;
}

KP_API int WINAPI AbortDoc(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return Refuse(ERROR_INVALID_HANDLE);
  if (!dc->inDocument) return Refuse();
  RaiseEvent(*dc, DOCUMENTEVENT_ABORTDOC, 0, nullptr, 0, nullptr);
  BOOL ok = KpEngineEndDoc(dc->session, ED_ABORTDOC);
  dc->inDocument = false;
  dc->inPage = false;
  return ok ? 1 : SP_ERROR;
}

KP_API HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* devmode) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dc->inPage) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const DEVMODEW* given = devmode;
  DEVMODEW* preOut = nullptr;
  if (RaiseEvent(*dc, DOCUMENTEVENT_RESETDCPRE, sizeof(given), &given, sizeof(preOut), &preOut) ==
      DOCUMENTEVENT_FAILURE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const void* dm = preOut ? static_cast<const void*>(preOut) : static_cast<const void*>(devmode);
  BOOL ok = KpEngineResetPDEV(dc->session, dm);
  DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  RaiseEvent(*dc, DOCUMENTEVENT_RESETDCPOST, sizeof(preOut), &preOut, 0, nullptr);
  if (!ok) {
    SetLastError(error);
    return nullptr;
  }
  return hdc;
}

KP_API int WINAPI ExtEscape(HDC hdc, int escape, int cjInput, LPCSTR input, int cjOutput, LPSTR output) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  DOCEVENT_ESCAPE event = {escape, cjInput, const_cast<LPSTR>(input)};
  RaiseEvent(*dc, DOCUMENTEVENT_ESCAPE, sizeof(event), &event, 0, nullptr);
  ULONG cbIn = cjInput < 0 ? 0 : static_cast<ULONG>(cjInput);
  ULONG cbOut = cjOutput < 0 ? 0 : static_cast<ULONG>(cjOutput);
  size_t at = dc->AddLog(KP_DCLOG_ESCAPE, escape, cbIn, cbOut, input, nullptr, nullptr);
  KP_DC_ESCAPE_HOOK hook;
  void* context;
  {
    kp::gdi::Table& t = T();
    std::lock_guard<std::mutex> g(t.lock);
    hook = t.hook;
    context = t.hookContext;
  }
  LONG result = 0;
  if (!hook || !hook(context, hdc, static_cast<ULONG>(escape), cbIn, input, cbOut, output, &result))
    result = static_cast<LONG>(
        KpEngineEscape(dc->session, static_cast<ULONG>(escape), cbIn, const_cast<LPSTR>(input), cbOut, output));
  dc->SetLogResult(at, result);
  return result;
}

// ---- Test controls

KP_API DWORD KpDcLogCount(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return 0;
  std::lock_guard<std::mutex> g(dc->logLock);
  return static_cast<DWORD>(dc->log.size());
}

KP_API BOOL KpDcLogEntry(HDC hdc, DWORD index, KP_DC_LOG_ENTRY* entry) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || !entry) return FALSE;
  std::lock_guard<std::mutex> g(dc->logLock);
  if (index >= dc->log.size()) return FALSE;
  *entry = dc->log[index].entry;
  entry->in = dc->log[index].bytes.empty() ? nullptr : dc->log[index].bytes.data();
  return TRUE;
}

KP_API void KpDcClearLog(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return;
  std::lock_guard<std::mutex> g(dc->logLock);
  dc->log.clear();
}

KP_API void KpDcSetEscapeHook(KP_DC_ESCAPE_HOOK hook, void* context) {
  kp::gdi::Table& t = T();
  std::lock_guard<std::mutex> g(t.lock);
  t.hook = hook;
  t.hookContext = context;
}

KP_API HANDLE KpDcEnginePrinter(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  return dc ? dc->enginePrinter : nullptr;
}

KP_API KP_ENGINE_SESSION* KpDcEngineSession(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  return dc ? dc->session : nullptr;
}

KP_API BOOL KpDcUseSpoolerJobs(HDC hdc, BOOL on) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  if (dc->inDocument) {
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  dc->spoolerJobs = on ? 1 : 0;
  return TRUE;
}

KP_API HANDLE KpDcPrinterHandle(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  return dc ? dc->printer : nullptr;
}

KP_API DWORD KpDcCount(void) {
  kp::gdi::Table& t = T();
  std::lock_guard<std::mutex> g(t.lock);
  return static_cast<DWORD>(t.dcs.size());
}
