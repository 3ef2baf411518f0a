// The driver runner: loads a graphics driver through the loader, takes its
// entry table from DrvEnableDriver and calls the table's entries in the
// engine's order, logging every call. As in the engine, several threads may
// use one loaded driver at once, each with its own sessions (PDEVs): what a
// driver's sessions share (the session list and the call log) is kept under
// the driver's lock. A session is used by one thread at a time.
#include <algorithm>
#include <map>
#include <mutex>
#include <string>

#include "engine/engine_state.h"
#include "kplatform/kernel32_module.h"

// Drivers and sessions live in the engine's object table: the pointers the
// runner hands out are their handle values, so a pointer to a driver or a
// session that has gone finds nothing and is refused.
namespace {
constexpr DWORD kDriverKind = 100;
constexpr DWORD kSessionKind = 101;
}  // namespace

struct Driver : kp::engine::Object {
  Driver() : Object(kDriverKind) {}
  HMODULE module = nullptr;
  ULONG version = 0;
  ULONG rows = 0;
  std::map<ULONG, PFN> entries;  // fixed once loaded
  // Guards log and sessions; never held while the driver is called.
  std::mutex lock;
  std::vector<std::pair<const char*, ULONG_PTR>> log;
  std::vector<KP_ENGINE_SESSION*> sessions;  // handles of its open sessions
};

struct Session : kp::engine::Object {
  Session() : Object(kSessionKind) {}
  std::shared_ptr<Driver> driver;
  HANDLE printer = nullptr;
  std::u16string deviceName;
  HDEV hdev = nullptr;
  DHPDEV dhpdev = nullptr;
  GDIINFO gdi{};
  DEVINFO dev{};
  HSURF patterns[HS_DDI_MAX] = {};
  HSURF surface = nullptr;
  std::shared_ptr<kp::engine::Object> surfaceHold;
  SURFOBJ* pso = nullptr;
  SURFOBJ pdevOnly{};  // what escapes get while there is no surface
  bool inDoc = false;
  bool inPage = false;
  // The open document's name (null when it was started without one) and job
  // id, for the DrvStartDoc a reset inside the document makes.
  std::u16string docName;
  bool hasDocName = false;
  DWORD jobId = 0;
};

namespace {

const char* entryName(ULONG index) {
  switch (index) {
    case INDEX_DrvEnablePDEV: return "DrvEnablePDEV";
    case INDEX_DrvCompletePDEV: return "DrvCompletePDEV";
    case INDEX_DrvDisablePDEV: return "DrvDisablePDEV";
    case INDEX_DrvEnableSurface: return "DrvEnableSurface";
    case INDEX_DrvDisableSurface: return "DrvDisableSurface";
    case INDEX_DrvResetPDEV: return "DrvResetPDEV";
    case INDEX_DrvDisableDriver: return "DrvDisableDriver";
    case INDEX_DrvSendPage: return "DrvSendPage";
    case INDEX_DrvStartPage: return "DrvStartPage";
    case INDEX_DrvEndDoc: return "DrvEndDoc";
    case INDEX_DrvStartDoc: return "DrvStartDoc";
    case INDEX_DrvEscape: return "DrvEscape";
    case INDEX_DrvRealizeBrush: return "DrvRealizeBrush";
    case INDEX_DrvStrokePath: return "DrvStrokePath";
    case INDEX_DrvFillPath: return "DrvFillPath";
    case INDEX_DrvStrokeAndFillPath: return "DrvStrokeAndFillPath";
    case INDEX_DrvBitBlt: return "DrvBitBlt";
    case INDEX_DrvStretchBlt: return "DrvStretchBlt";
    case INDEX_DrvCopyBits: return "DrvCopyBits";
    case INDEX_DrvTextOut: return "DrvTextOut";
    default: return "Drv?";
  }
}

constexpr ULONG kRequired[] = {INDEX_DrvEnablePDEV, INDEX_DrvCompletePDEV, INDEX_DrvDisablePDEV,
                               INDEX_DrvEnableSurface, INDEX_DrvDisableSurface};

// Function pointers change type through void (*)(), which the compiler
// accepts as the generic function pointer.
template <typename Fn, typename From>
Fn functionCast(From f) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(f));
}

template <typename Fn>
Fn entry(const Driver& d, ULONG index) {
  auto it = d.entries.find(index);
  return it == d.entries.end() ? nullptr : functionCast<Fn>(it->second);
}

void logNamed(Driver& d, const char* name, ULONG_PTR result) {
  std::lock_guard<std::mutex> hold(d.lock);
  d.log.emplace_back(name, result);
}
void logCall(Driver& d, ULONG index, ULONG_PTR result) { logNamed(d, entryName(index), result); }

// Drops a session handle from its driver's list (when it is still there).
void forgetSession(Driver& d, KP_ENGINE_SESSION* handle) {
  std::lock_guard<std::mutex> hold(d.lock);
  auto it = std::find(d.sessions.begin(), d.sessions.end(), handle);
  if (it != d.sessions.end()) d.sessions.erase(it);
}

BOOL refuse(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::shared_ptr<Driver> driverOf(KP_ENGINE_DRIVER* d) { return kp::engine::FindAs<Driver>(d, kDriverKind); }
std::shared_ptr<Session> sessionOf(KP_ENGINE_SESSION* s) { return kp::engine::FindAs<Session>(s, kSessionKind); }

// DrvEnablePDEV for a new device of the session's printer, into gdi/dev.
DHPDEV enablePdev(Session& s, const void* devmode, HDEV& hdev, GDIINFO& gdi, DEVINFO& dev) {
  hdev = KpEngineCreateDevice(s.printer);
  if (!hdev) return nullptr;
  gdi = GDIINFO{};
  dev = DEVINFO{};
  std::fill(std::begin(s.patterns), std::end(s.patterns), nullptr);
  auto fn = entry<PFN_DrvEnablePDEV>(*s.driver, INDEX_DrvEnablePDEV);
  DHPDEV pdev = fn(static_cast<DEVMODEW*>(const_cast<void*>(devmode)), nullptr, HS_DDI_MAX, s.patterns,
                   sizeof(GDIINFO), reinterpret_cast<ULONG*>(&gdi), sizeof(DEVINFO), &dev, hdev,
                   s.deviceName.data(), s.printer);
  logCall(*s.driver, INDEX_DrvEnablePDEV, reinterpret_cast<ULONG_PTR>(pdev));
  if (!pdev) {
    DWORD error = GetLastError();
    KpEngineDeleteDevice(hdev);
    hdev = nullptr;
    SetLastError(error);
    return nullptr;
  }
  kp::engine::SetDevicePdev(hdev, pdev);
  return pdev;
}

void completePdev(Session& s, DHPDEV pdev, HDEV hdev) {
  entry<PFN_DrvCompletePDEV>(*s.driver, INDEX_DrvCompletePDEV)(pdev, hdev);
  logCall(*s.driver, INDEX_DrvCompletePDEV, 0);
}

void disableSurface(Session& s, DHPDEV pdev) {
  entry<PFN_DrvDisableSurface>(*s.driver, INDEX_DrvDisableSurface)(pdev);
  logCall(*s.driver, INDEX_DrvDisableSurface, 0);
}

void disablePdev(Session& s, DHPDEV pdev) {
  entry<PFN_DrvDisablePDEV>(*s.driver, INDEX_DrvDisablePDEV)(pdev);
  logCall(*s.driver, INDEX_DrvDisablePDEV, 0);
}

void dropSurface(Session& s) {
  s.surface = nullptr;
  s.surfaceHold.reset();
  s.pso = nullptr;
}

BOOL enableSurface(Session& s) {
  HSURF surface = entry<PFN_DrvEnableSurface>(*s.driver, INDEX_DrvEnableSurface)(s.dhpdev);
  logCall(*s.driver, INDEX_DrvEnableSurface, reinterpret_cast<ULONG_PTR>(surface));
  if (!surface) return FALSE;
  auto hold = kp::engine::Find(reinterpret_cast<uintptr_t>(surface), KP_ENGINE_SURFACES);
  SURFOBJ* pso = hold ? kp::engine::SurfaceRecord(surface) : nullptr;
  if (!pso || pso->hdev != s.hdev) {
    // Not a device surface of this device: the driver takes it back.
    disableSurface(s, s.dhpdev);
    return refuse(ERROR_INVALID_HANDLE);
  }
  s.surface = surface;
  s.surfaceHold = std::move(hold);
  s.pso = pso;
  return TRUE;
}

// A document entry: absent entries are not called and succeed.
template <typename Fn, typename... Args>
BOOL documentCall(Session& s, ULONG index, Args... args) {
  auto fn = entry<Fn>(*s.driver, index);
  if (!fn) return TRUE;
  BOOL ok = fn(args...);
  logCall(*s.driver, index, static_cast<ULONG_PTR>(ok));
  return ok;
}

BOOL disable(KP_ENGINE_SESSION* handle) {
  auto object = kp::engine::Remove(reinterpret_cast<uintptr_t>(handle), kSessionKind);
  if (!object) return refuse(ERROR_INVALID_PARAMETER);
  auto s = std::static_pointer_cast<Session>(object);
  if (s->inDoc) {
    documentCall<PFN_DrvEndDoc>(*s, INDEX_DrvEndDoc, s->pso, static_cast<FLONG>(ED_ABORTDOC));
    s->inDoc = s->inPage = false;
    if (auto printer = kp::engine::FindAs<kp::engine::Printer>(s->printer, KP_ENGINE_PRINTERS))
      kp::engine::SpoolerEndDoc(*printer, true);
  }
  if (s->surface) disableSurface(*s, s->dhpdev);
  dropSurface(*s);
  disablePdev(*s, s->dhpdev);
  KpEngineDeleteDevice(s->hdev);
  forgetSession(*s->driver, handle);
  return TRUE;
}

}  // namespace

KP_API KP_ENGINE_DRIVER* KpEngineLoadDriverEx(LPCWSTR name, ULONG engineVersion, ULONG cj) {
  HMODULE module = LoadLibraryW(name);
  if (!module) return nullptr;
  auto fail = [module](DWORD error) -> KP_ENGINE_DRIVER* {
    FreeLibrary(module);
    SetLastError(error);
    return nullptr;
  };
  auto enable = functionCast<PFN_DrvEnableDriver>(GetProcAddress(module, "DrvEnableDriver"));
  if (!enable) return fail(ERROR_PROC_NOT_FOUND);
  DRVENABLEDATA ded{};
  SetLastError(0);
  BOOL ok = enable(engineVersion, cj, &ded);
  if (!ok) {
    DWORD error = GetLastError();
    return fail(error != 0 ? error : ERROR_GEN_FAILURE);
  }
  if (ded.iDriverVersion < DDI_DRIVER_VERSION_NT4 || ded.iDriverVersion > KP_ENGINE_VERSION)
    return fail(ERROR_BAD_DRIVER_LEVEL);
  if (!ded.pdrvfn || ded.c == 0 || ded.c > INDEX_LAST) return fail(ERROR_INVALID_DATA);
  auto d = std::make_shared<Driver>();
  d->version = ded.iDriverVersion;
  d->rows = ded.c;
  for (ULONG i = 0; i < ded.c; ++i) {
    const DRVFN& row = ded.pdrvfn[i];
    if (row.iFunc >= INDEX_LAST || !row.pfn || !d->entries.emplace(row.iFunc, row.pfn).second)
      return fail(ERROR_INVALID_DATA);
  }
  for (ULONG index : kRequired) {
    if (!d->entries.count(index)) return fail(ERROR_INVALID_DATA);
  }
  d->module = module;
  logNamed(*d, "DrvEnableDriver", static_cast<ULONG_PTR>(ok));
  return reinterpret_cast<KP_ENGINE_DRIVER*>(kp::engine::Insert(d));
}

KP_API KP_ENGINE_DRIVER* KpEngineLoadDriver(LPCWSTR name) {
  return KpEngineLoadDriverEx(name, KP_ENGINE_VERSION, sizeof(DRVENABLEDATA));
}

KP_API BOOL KpEngineUnloadDriver(KP_ENGINE_DRIVER* driver) {
  auto d = driverOf(driver);
  if (!d) return refuse(ERROR_INVALID_PARAMETER);
  for (;;) {
    KP_ENGINE_SESSION* last = nullptr;
    {
      std::lock_guard<std::mutex> hold(d->lock);
      if (d->sessions.empty()) break;
      last = d->sessions.back();
    }
    // Unloading a driver other threads still use is the caller's error; a
    // session that is no longer in the table is dropped so the loop ends.
    if (!disable(last)) forgetSession(*d, last);
  }
  kp::engine::Remove(reinterpret_cast<uintptr_t>(driver), kDriverKind);
  if (auto fn = entry<PFN_DrvDisableDriver>(*d, INDEX_DrvDisableDriver)) {
    fn();
    logCall(*d, INDEX_DrvDisableDriver, 0);
  }
  FreeLibrary(d->module);
  return TRUE;
}

KP_API ULONG KpEngineDriverVersion(KP_ENGINE_DRIVER* driver) {
  auto d = driverOf(driver);
  return d ? d->version : 0;
}
KP_API ULONG KpEngineDriverEntryCount(KP_ENGINE_DRIVER* driver) {
  auto d = driverOf(driver);
  return d ? d->rows : 0;
}
KP_API BOOL KpEngineDriverHasEntry(KP_ENGINE_DRIVER* driver, ULONG index) {
  auto d = driverOf(driver);
  return d && d->entries.count(index) ? TRUE : FALSE;
}

KP_API DWORD KpEngineCallCount(KP_ENGINE_DRIVER* driver) {
  auto d = driverOf(driver);
  if (!d) return 0;
  std::lock_guard<std::mutex> hold(d->lock);
  return static_cast<DWORD>(d->log.size());
}
KP_API LPCSTR KpEngineCallName(KP_ENGINE_DRIVER* driver, DWORD index) {
  auto d = driverOf(driver);
  if (!d) return nullptr;
  std::lock_guard<std::mutex> hold(d->lock);
  return index < d->log.size() ? d->log[index].first : nullptr;
}
KP_API ULONG_PTR KpEngineCallResult(KP_ENGINE_DRIVER* driver, DWORD index) {
  auto d = driverOf(driver);
  if (!d) return 0;
  std::lock_guard<std::mutex> hold(d->lock);
  return index < d->log.size() ? d->log[index].second : 0;
}
KP_API void KpEngineClearCallLog(KP_ENGINE_DRIVER* driver) {
  auto d = driverOf(driver);
  if (!d) return;
  std::lock_guard<std::mutex> hold(d->lock);
  d->log.clear();
}

KP_API KP_ENGINE_SESSION* KpEngineEnablePDEV(KP_ENGINE_DRIVER* driver, HANDLE printer, const void* devmode) {
  auto d = driverOf(driver);
  if (!d) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = kp::engine::FindAs<kp::engine::Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto s = std::make_shared<Session>();
  s->driver = d;
  s->printer = printer;
  s->deviceName = p->printerName;
  s->dhpdev = enablePdev(*s, devmode, s->hdev, s->gdi, s->dev);
  if (!s->dhpdev) return nullptr;
  completePdev(*s, s->dhpdev, s->hdev);
  auto handle = reinterpret_cast<KP_ENGINE_SESSION*>(kp::engine::Insert(s));
  std::lock_guard<std::mutex> hold(d->lock);
  d->sessions.push_back(handle);
  return handle;
}

KP_API BOOL KpEngineEnableSurface(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (s->surface) return refuse(ERROR_INVALID_FUNCTION);
  return enableSurface(*s);
}

KP_API BOOL KpEngineStartDoc(KP_ENGINE_SESSION* session, LPCWSTR docName, DWORD jobId) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (!s->pso || s->inDoc) return refuse(ERROR_INVALID_FUNCTION);
  auto printer = kp::engine::FindAs<kp::engine::Printer>(s->printer, KP_ENGINE_PRINTERS);
  if (!printer) return refuse(ERROR_INVALID_HANDLE);
  // the spooler's job first (when the printer context opted in); its id is the document's
  if (!kp::engine::SpoolerStartDoc(*printer, docName, &jobId)) return FALSE;
  s->docName = docName ? docName : u"";
  s->hasDocName = docName != nullptr;
  s->jobId = jobId;
  std::u16string name = s->docName;  // the driver's copy: it may write into it
  BOOL ok = documentCall<PFN_DrvStartDoc>(*s, INDEX_DrvStartDoc, s->pso, docName ? name.data() : nullptr, jobId);
  if (ok) {
    s->inDoc = true;
  } else {
    DWORD error = GetLastError();
    kp::engine::SpoolerEndDoc(*printer, true);
    SetLastError(error);
  }
  return ok;
}

KP_API BOOL KpEngineStartPage(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (!s->inDoc || s->inPage) return refuse(ERROR_INVALID_FUNCTION);
  auto printer = kp::engine::FindAs<kp::engine::Printer>(s->printer, KP_ENGINE_PRINTERS);
  if (printer && !kp::engine::SpoolerPage(*printer, true)) return FALSE;
  BOOL ok = documentCall<PFN_DrvStartPage>(*s, INDEX_DrvStartPage, s->pso);
  if (ok) s->inPage = true;
  return ok;
}

KP_API BOOL KpEngineSendPage(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (!s->inPage) return refuse(ERROR_INVALID_FUNCTION);
  BOOL ok = documentCall<PFN_DrvSendPage>(*s, INDEX_DrvSendPage, s->pso);
  s->inPage = false;
  auto printer = kp::engine::FindAs<kp::engine::Printer>(s->printer, KP_ENGINE_PRINTERS);
  if (ok && printer) ok = kp::engine::SpoolerPage(*printer, false);
  return ok;
}

KP_API BOOL KpEngineEndDoc(KP_ENGINE_SESSION* session, FLONG flags) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (!s->inDoc) return refuse(ERROR_INVALID_FUNCTION);
  BOOL ok = documentCall<PFN_DrvEndDoc>(*s, INDEX_DrvEndDoc, s->pso, flags);
  s->inDoc = false;
  s->inPage = false;
  // then the spooler's job: ended, or aborted when the document was or the driver failed
  auto printer = kp::engine::FindAs<kp::engine::Printer>(s->printer, KP_ENGINE_PRINTERS);
  if (printer) {
    DWORD error = GetLastError();
    BOOL spooled = kp::engine::SpoolerEndDoc(*printer, !ok || (flags & ED_ABORTDOC) != 0);
    if (!ok) SetLastError(error);
    else ok = spooled;
  }
  return ok;
}

KP_API BOOL KpEngineResetPDEV(KP_ENGINE_SESSION* session, const void* devmode) {
  auto s = sessionOf(session);
  if (!s) return refuse(ERROR_INVALID_PARAMETER);
  if (s->inPage) return refuse(ERROR_INVALID_FUNCTION);
  auto reset = entry<PFN_DrvResetPDEV>(*s->driver, INDEX_DrvResetPDEV);
  HDEV newDev = nullptr;
  GDIINFO gdi{};
  DEVINFO dev{};
  DHPDEV newPdev = enablePdev(*s, devmode, newDev, gdi, dev);
  if (!newPdev) return FALSE;
  BOOL ok = reset ? reset(s->dhpdev, newPdev) : TRUE;
  if (reset) logCall(*s->driver, INDEX_DrvResetPDEV, static_cast<ULONG_PTR>(ok));
  if (!ok) {
    DWORD error = GetLastError();
    disablePdev(*s, newPdev);
    KpEngineDeleteDevice(newDev);
    SetLastError(error);
    return FALSE;
  }
  completePdev(*s, newPdev, newDev);
  bool hadSurface = s->surface != nullptr;
  if (hadSurface) disableSurface(*s, s->dhpdev);
  dropSurface(*s);
  disablePdev(*s, s->dhpdev);
  KpEngineDeleteDevice(s->hdev);
  s->hdev = newDev;
  s->dhpdev = newPdev;
  s->gdi = gdi;
  s->dev = dev;
  if (hadSurface && !enableSurface(*s)) {
    s->inDoc = false;  // no surface to end the document on
    return FALSE;
  }
  if (s->inDoc) {
    // The engine goes on with the same document on the new PDEV: DrvStartDoc
    // with the document's own name and job id, as it was started.
    std::u16string name = s->docName;
    BOOL ok = documentCall<PFN_DrvStartDoc>(*s, INDEX_DrvStartDoc, s->pso, s->hasDocName ? name.data() : nullptr,
                                            s->jobId);
    if (!ok) {
      s->inDoc = false;
      return FALSE;
    }
  }
  return TRUE;
}

KP_API ULONG KpEngineEscape(KP_ENGINE_SESSION* session, ULONG code, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                            PVOID pvOut) {
  auto s = sessionOf(session);
  if (!s) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return KP_ENGINE_ESCAPE_ERROR;
  }
  auto fn = entry<PFN_DrvEscape>(*s->driver, INDEX_DrvEscape);
  if (!fn) return 0;  // not implemented
  SURFOBJ* pso = s->pso;
  if (!pso) {
    s->pdevOnly = SURFOBJ{};
    s->pdevOnly.dhpdev = s->dhpdev;
    s->pdevOnly.hdev = s->hdev;
    s->pdevOnly.iType = STYPE_DEVICE;
    pso = &s->pdevOnly;
  }
  ULONG result = fn(pso, code, cjIn, pvIn, cjOut, pvOut);
  logCall(*s->driver, INDEX_DrvEscape, result);
  return result;
}

KP_API BOOL KpEngineDisablePDEV(KP_ENGINE_SESSION* session) { return disable(session); }

KP_API const GDIINFO* KpEngineSessionGdiInfo(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? &s->gdi : nullptr;
}
KP_API const DEVINFO* KpEngineSessionDevInfo(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? &s->dev : nullptr;
}
KP_API DHPDEV KpEngineSessionPDEV(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? s->dhpdev : nullptr;
}
KP_API HDEV KpEngineSessionDevice(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? s->hdev : nullptr;
}
KP_API SURFOBJ* KpEngineSessionSurface(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? s->pso : nullptr;
}
KP_API DWORD KpEngineSessionJobId(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s ? s->jobId : 0;
}

KP_API BOOL KpEngineRunJob(KP_ENGINE_DRIVER* driver, HANDLE printer, const void* devmode, LPCWSTR docName,
                           ULONG pages, KP_ENGINE_DRAW_PAGE drawPage, void* context) {
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(driver, printer, devmode);
  if (!s) return FALSE;
  bool ok = KpEngineEnableSurface(s) && KpEngineStartDoc(s, docName, 1);
  for (ULONG page = 0; ok && page < pages; ++page) {
    ok = KpEngineStartPage(s) && (!drawPage || drawPage(context, s, page)) && KpEngineSendPage(s);
  }
  if (ok) ok = KpEngineEndDoc(s, 0);
  DWORD error = GetLastError();
  KpEngineDisablePDEV(s);  // ends a document left open as aborted
  if (!ok) SetLastError(error);
  return ok ? TRUE : FALSE;
}

// ---- Drawing calls --------------------------------------------------------------------

namespace {

typedef BOOL(WINAPI* PFN_DrvRealizeBrush)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
typedef BOOL(WINAPI* PFN_DrvStrokePath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
typedef BOOL(WINAPI* PFN_DrvFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
typedef BOOL(WINAPI* PFN_DrvStrokeAndFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*,
                                               BRUSHOBJ*, POINTL*, MIX, FLONG);
typedef BOOL(WINAPI* PFN_DrvBitBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
                                    BRUSHOBJ*, POINTL*, ROP4);
typedef BOOL(WINAPI* PFN_DrvStretchBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                                        RECTL*, RECTL*, POINTL*, ULONG);
typedef BOOL(WINAPI* PFN_DrvCopyBits)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
typedef BOOL(WINAPI* PFN_DrvTextOut)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                     POINTL*, MIX);

// The session of a drawing call when the call may be made: in a page, with
// a surface that hooks the call, and a table row for it.
std::shared_ptr<Session> drawingSession(KP_ENGINE_SESSION* session, ULONG index, FLONG hook) {
  auto s = sessionOf(session);
  if (!s) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  KP_ENGINE_SURFACE_INFO info{};
  if (!s->inPage || !s->pso || !KpEngineQuerySurface(s->surface, &info) || !(info.hooks & hook) ||
      !entry<PFN>(*s->driver, index)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return nullptr;
  }
  return s;
}

template <typename Fn, typename... Args>
BOOL drawingCall(Session& s, ULONG index, Args... args) {
  BOOL ok = entry<Fn>(*s.driver, index)(args...);
  logCall(*s.driver, index, static_cast<ULONG_PTR>(ok));
  return ok;
}

}  // namespace

namespace kp::engine {
BOOL RealizeBrush(BRUSHOBJ* pbo, const BrushSource& source) {
  auto s = sessionOf(source.session);
  if (!s || !s->pso) return FALSE;
  auto fn = entry<PFN_DrvRealizeBrush>(*s->driver, INDEX_DrvRealizeBrush);
  if (!fn) return FALSE;
  BOOL ok = fn(pbo, s->pso, source.pattern, source.mask, source.xlate, source.iHatch);
  logCall(*s->driver, INDEX_DrvRealizeBrush, static_cast<ULONG_PTR>(ok));
  return ok;
}
}  // namespace kp::engine

KP_API BOOL KpEngineStrokePath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                               BRUSHOBJ* pbo, POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  auto s = drawingSession(session, INDEX_DrvStrokePath, HOOK_STROKEPATH);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvStrokePath>(*s, INDEX_DrvStrokePath, s->pso, ppo, pco, pxo, pbo, pptlBrushOrg,
                                        plineattrs, mix);
}

KP_API BOOL KpEngineFillPath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                             POINTL* pptlBrushOrg, MIX mix, FLONG flOptions) {
  auto s = drawingSession(session, INDEX_DrvFillPath, HOOK_FILLPATH);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvFillPath>(*s, INDEX_DrvFillPath, s->pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

KP_API BOOL KpEngineStrokeAndFillPath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                      BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                      POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
  auto s = drawingSession(session, INDEX_DrvStrokeAndFillPath, HOOK_STROKEANDFILLPATH);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvStrokeAndFillPath>(*s, INDEX_DrvStrokeAndFillPath, s->pso, ppo, pco, pxo, pboStroke,
                                               plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
}

KP_API BOOL KpEngineBitBlt(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                           XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo,
                           POINTL* pptlBrush, ROP4 rop4) {
  auto s = drawingSession(session, INDEX_DrvBitBlt, HOOK_BITBLT);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvBitBlt>(*s, INDEX_DrvBitBlt, s->pso, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc,
                                    pptlMask, pbo, pptlBrush, rop4);
}

KP_API BOOL KpEngineStretchBlt(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
  auto s = drawingSession(session, INDEX_DrvStretchBlt, HOOK_STRETCHBLT);
  if (!s) return FALSE;
  COLORADJUSTMENT ca{};
  ca.caSize = sizeof ca;
  POINTL htOrigin{0, 0};
  return drawingCall<PFN_DrvStretchBlt>(*s, INDEX_DrvStretchBlt, s->pso, psoSrc, psoMask, pco, pxlo, &ca, &htOrigin,
                                        prclDest, prclSrc, pptlMask, iMode);
}

KP_API BOOL KpEngineCopyBits(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclDest, POINTL* pptlSrc) {
  auto s = drawingSession(session, INDEX_DrvCopyBits, HOOK_COPYBITS);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvCopyBits>(*s, INDEX_DrvCopyBits, s->pso, psoSrc ? psoSrc : s->pso, pco, pxlo, prclDest,
                                      pptlSrc);
}

KP_API BOOL KpEngineTextOut(KP_ENGINE_SESSION* session, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
  auto s = drawingSession(session, INDEX_DrvTextOut, HOOK_TEXTOUT);
  if (!s) return FALSE;
  return drawingCall<PFN_DrvTextOut>(*s, INDEX_DrvTextOut, s->pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore,
                                     pboOpaque, pptlOrg, mix);
}

// ---- Device fonts ----------------------------------------------------------------------

namespace {

typedef IFIMETRICS*(WINAPI* PFN_QueryFont)(DHPDEV, ULONG_PTR, ULONG, ULONG_PTR*);
typedef PVOID(WINAPI* PFN_QueryFontTree)(DHPDEV, ULONG_PTR, ULONG, ULONG, ULONG_PTR*);

// A name at an offset of the record: inside cjThis with its NUL.
bool NameInside(const IFIMETRICS* ifi, PTRDIFF at) {
  if (at < static_cast<PTRDIFF>(sizeof(IFIMETRICS)) || at >= static_cast<PTRDIFF>(ifi->cjThis) || (at & 1)) return false;
  const auto* base = reinterpret_cast<const BYTE*>(ifi);
  for (PTRDIFF i = at; i + 1 < static_cast<PTRDIFF>(ifi->cjThis); i += 2)
    if (base[i] == 0 && base[i + 1] == 0) return true;
  return false;
}

// The runs and handles of a glyph set inside its cjThis.
bool GlyphSetInside(const FD_GLYPHSET* set) {
  if (set->cjThis < offsetof(FD_GLYPHSET, awcrun)) return false;
  const uint64_t runsEnd = offsetof(FD_GLYPHSET, awcrun) + uint64_t{set->cRuns} * sizeof(WCRUN);
  if (runsEnd > set->cjThis) return false;
  const auto* base = reinterpret_cast<const BYTE*>(set);
  uint64_t glyphs = 0;
  for (ULONG r = 0; r < set->cRuns; ++r) {
    const WCRUN& run = set->awcrun[r];
    glyphs += run.cGlyphs;
    if (uint64_t{run.wcLow} + run.cGlyphs > 0x10000) return false;
    if (!run.phg) continue;
    const auto* h = reinterpret_cast<const BYTE*>(run.phg);
    if (h < base || static_cast<uint64_t>(h - base) + uint64_t{run.cGlyphs} * sizeof(HGLYPH) > set->cjThis) return false;
  }
  return glyphs == set->cGlyphsSupported;
}

// The driver's record and glyph set of a face, checked; false with the
// error set.
bool QueryFace(const Session& s, ULONG iFace, IFIMETRICS** ifi, FD_GLYPHSET** set) {
  auto query = entry<PFN_QueryFont>(*s.driver, INDEX_DrvQueryFont);
  auto tree = entry<PFN_QueryFontTree>(*s.driver, INDEX_DrvQueryFontTree);
  if (!query || !tree || iFace == 0 || iFace > s.dev.cFonts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  ULONG_PTR id = 0;
  *ifi = query(s.dhpdev, 0, iFace, &id);
  if (!*ifi) return false;
  const IFIMETRICS* i = *ifi;
  if (i->cjThis < sizeof(IFIMETRICS) || !NameInside(i, i->dpwszFamilyName) || !NameInside(i, i->dpwszFaceName) ||
      !NameInside(i, i->dpwszStyleName) || !NameInside(i, i->dpwszUniqueName)) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  *set = static_cast<FD_GLYPHSET*>(tree(s.dhpdev, 0, iFace, QFT_GLYPHSET, &id));
  if (!*set) return false;
  if (!GlyphSetInside(*set)) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  return true;
}

}  // namespace

KP_API ULONG KpEngineSessionDeviceFontCount(KP_ENGINE_SESSION* session) {
  auto s = sessionOf(session);
  return s && s->dhpdev ? s->dev.cFonts : 0;
}

KP_API BOOL KpEngineSessionDeviceFontName(KP_ENGINE_SESSION* session, ULONG iFace, LPWSTR name, ULONG chars) {
  auto s = sessionOf(session);
  if (!s || !s->dhpdev || !name || chars == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  IFIMETRICS* ifi = nullptr;
  FD_GLYPHSET* set = nullptr;
  if (!QueryFace(*s, iFace, &ifi, &set)) return FALSE;
  const auto* face = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
  ULONG n = 0;
  for (; n + 1 < chars && face[n]; ++n) name[n] = face[n];
  name[n] = 0;
  return TRUE;
}

KP_API FONTOBJ* KpEngineCreateSessionDeviceFont(KP_ENGINE_SESSION* session, ULONG iFace,
                                                const KP_ENGINE_FONT_INFO* info) {
  auto s = sessionOf(session);
  if (!s || !s->dhpdev || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  KP_ENGINE_DEVICE_FONT_INFO d{};
  if (!QueryFace(*s, iFace, &d.ifi, const_cast<FD_GLYPHSET**>(&d.glyphSet))) return nullptr;
  d.iFace = iFace;
  d.emPixels = info->emPixels;
  d.escapement = info->escapement;
  d.mirror = info->mirror;
  d.shear = info->shear;
  d.flags = info->flags;
  d.dhpdev = s->dhpdev;
  d.queryWidths = entry<KP_PFN_QUERY_ADVANCE_WIDTHS>(*s->driver, INDEX_DrvQueryAdvanceWidths);
  return KpEngineCreateDeviceFont(&d);
}
