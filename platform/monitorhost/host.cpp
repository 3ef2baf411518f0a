// The print-monitor host: the spooler's side of a language monitor (printer
// handles and the job table behind GetJobW/SetJobW are the spooler's, in
// spooler/printer_handle.cpp and spooler/jobs.cpp).
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/monitor_host.h"
#include "spooler/spooler.h"

namespace {

struct Host {
  HMODULE module = nullptr;
  MONITOR table{};  // a copy of what the entry answered
};

struct State {
  std::mutex lock;
  std::set<Host*> hosts;
  // Printers whose port has a language monitor open: the driver's "LM_"
  // reads of GetPrinterDataW go to that monitor's port.
  struct Route {
    std::u16string printer;
    Host* host;
    HANDLE port;
  };
  std::vector<Route> routes;
};

State& S() {
  static State* s = new State();
  return *s;
}

Host* FindHost(HANDLE h) {
  std::lock_guard<std::mutex> g(S().lock);
  auto* p = static_cast<Host*>(h);
  return S().hosts.count(p) ? p : nullptr;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

KP_API HANDLE KpMonitorLoad(LPCWSTR moduleName, LPCWSTR registryRoot) {
  HMODULE m = LoadLibraryW(moduleName);
  if (m == nullptr) return nullptr;
  auto host = std::make_unique<Host>();
  host->module = m;
  auto nt = reinterpret_cast<PFN_InitializePrintMonitor>(
      reinterpret_cast<void*>(GetProcAddress(m, "InitializePrintMonitor")));
  if (nt != nullptr) {
    std::u16string root = registryRoot ? registryRoot : u"";
    LPMONITOREX ex = nt(registryRoot ? root.data() : nullptr);
    if (ex == nullptr || ex->dwMonitorSize != sizeof(MONITOR)) {
      DWORD e = ex == nullptr ? GetLastError() : ERROR_INVALID_DATA;
      FreeLibrary(m);
      SetLastError(e);
      return nullptr;
    }
    host->table = ex->Monitor;
  } else {
    auto x9 = reinterpret_cast<PFN_InitializeMonitorEx>(
        reinterpret_cast<void*>(GetProcAddress(m, "InitializeMonitorEx")));
    if (x9 == nullptr) {
      FreeLibrary(m);
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    char root[MAX_PATH * 2] = {};
    if (registryRoot != nullptr && *registryRoot != 0 &&
        WideCharToMultiByte(CP_ACP, 0, registryRoot, -1, root, sizeof root, nullptr, nullptr) == 0) {
      DWORD e = GetLastError();
      FreeLibrary(m);
      SetLastError(e);
      return nullptr;
    }
    if (!x9(registryRoot ? root : nullptr, &host->table)) {
      DWORD e = GetLastError();
      FreeLibrary(m);
      SetLastError(e);
      return nullptr;
    }
  }
  std::lock_guard<std::mutex> g(S().lock);
  Host* h = host.release();
  S().hosts.insert(h);
  return h;
}

KP_API BOOL KpMonitorUnload(HANDLE monitor) {
  Host* h = FindHost(monitor);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().hosts.erase(h);
    std::erase_if(S().routes, [h](const State::Route& r) { return r.host == h; });
  }
  FreeLibrary(h->module);
  delete h;
  return TRUE;
}

KP_API const MONITOR* KpMonitorTable(HANDLE monitor) {
  Host* h = FindHost(monitor);
  return h ? &h->table : nullptr;
}

KP_API BOOL KpMonitorOpenPort(HANDLE monitor, LPCWSTR portName, LPCWSTR printerName, PHANDLE port) {
  Host* h = FindHost(monitor);
  if (h == nullptr || h->table.pfnOpenPortEx == nullptr) {
    SetLastError(h == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::u16string p = portName ? portName : u"", n = printerName ? printerName : u"";
  if (!h->table.pfnOpenPortEx(portName ? p.data() : nullptr, printerName ? n.data() : nullptr, port,
                              KpPortMonitor()))
    return FALSE;
  if (printerName != nullptr && *printerName != 0 && port != nullptr) {
    std::lock_guard<std::mutex> g(S().lock);
    // the latest port opened for a printer is the one its reads go to
    std::erase_if(S().routes, [&n](const State::Route& r) { return SameName(r.printer, n); });
    S().routes.push_back({n, h, *port});
  }
  return TRUE;
}

KP_API BOOL KpMonitorClosePort(HANDLE monitor, HANDLE port) {
  Host* h = FindHost(monitor);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> g(S().lock);
    std::erase_if(S().routes, [h, port](const State::Route& r) { return r.host == h && r.port == port; });
  }
  return h->table.pfnClosePort(port);
}

KP_API BOOL KpMonitorPrintJob(HANDLE monitor, HANDLE port, LPCWSTR printerName, DWORD jobId, const void* data,
                              DWORD size, DWORD chunk) {
  Host* h = FindHost(monitor);
  if (h == nullptr || (data == nullptr && size != 0)) {
    SetLastError(h == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (chunk == 0) chunk = 4096;
  std::u16string printer = printerName ? printerName : u"";
  std::u16string doc;
  kp::spooler::JobDocument(jobId, &doc);
  std::u16string raw = u"RAW";
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  if (!h->table.pfnStartDocPort(port, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&info))) return FALSE;
  const auto* bytes = static_cast<const BYTE*>(data);
  DWORD done = 0, idle = 0;
  BOOL ok = TRUE;
  DWORD error = ERROR_SUCCESS;
  while (done < size) {
    DWORD piece = size - done < chunk ? size - done : chunk;
    DWORD written = 0;
    if (!h->table.pfnWritePort(port, const_cast<BYTE*>(bytes + done), piece, &written)) {
      ok = FALSE;
      error = GetLastError();
      break;
    }
    if (written > piece) written = piece;
    done += written;
    if (written == 0 && ++idle >= 1000) {
      ok = FALSE;
      error = ERROR_TIMEOUT;
      break;
    }
    if (written != 0) idle = 0;
  }
  BOOL ended = h->table.pfnEndDocPort(port);
  if (!ok) {
    SetLastError(error);
    return FALSE;
  }
  return ended;
}

KP_API DWORD KpMonitorGetPrinterData(HANDLE monitor, HANDLE port, LPCWSTR valueName, LPBYTE out, DWORD size,
                                     LPDWORD returned) {
  Host* h = FindHost(monitor);
  if (h == nullptr) return ERROR_INVALID_HANDLE;
  if (h->table.pfnGetPrinterDataFromPort == nullptr) return ERROR_NOT_SUPPORTED;
  std::u16string name = valueName ? valueName : u"";
  DWORD got = 0;
  SetLastError(ERROR_SUCCESS);
  BOOL r = h->table.pfnGetPrinterDataFromPort(port, 0, valueName ? name.data() : nullptr, nullptr, 0,
                                              reinterpret_cast<LPWSTR>(out), size, &got);
  DWORD e = GetLastError();
  if (returned) *returned = got;
  if (r || e == ERROR_INVALID_PARAMETER) return ERROR_SUCCESS;
  if (e == ERROR_INSUFFICIENT_BUFFER) return ERROR_MORE_DATA;
  return e == ERROR_SUCCESS ? ERROR_GEN_FAILURE : e;
}

// ---- The spooler's job calls ------------------------------------------------

bool KpMonitorRouteValue(const std::u16string& printer, LPCWSTR valueName, LPBYTE data, DWORD size,
                         LPDWORD needed, DWORD* result) {
  if (valueName == nullptr || valueName[0] != u'L' || valueName[1] != u'M' || valueName[2] != u'_') return false;
  Host* host = nullptr;
  HANDLE port = nullptr;
  {
    std::lock_guard<std::mutex> g(S().lock);
    for (const auto& r : S().routes) {
      if (SameName(r.printer, printer)) {
        host = r.host;
        port = r.port;
      }
    }
  }
  if (host == nullptr) return false;
  DWORD got = 0;
  *result = KpMonitorGetPrinterData(host, port, valueName, data, size, &got);
  *needed = got;
  return true;
}
