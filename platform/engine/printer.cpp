// The engine's object table, printer contexts and devices, and the services
// that work on them: EngWritePrinter, EngGetPrinterData and EngEnumForms
// (both answered by the spooler stand-in for the context's printer, opened by
// its name at the first call), EngGetDriverName, EngGetPrinterDataFileName.
#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "engine/engine_state.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_job.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"

namespace kp::engine {
namespace {

struct Table {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<Object>> objects;
  // Handle values: far from kernel handles and module handles, 16 apart.
  uintptr_t next = 0x6E6700000000ull;
};

Table& table() {
  static Table* t = new Table;  // never destroyed: handles may be used at exit
  return *t;
}

std::u16string copyString(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

HANDLE SpoolerPrinterLocked(Printer& p, DWORD* error) {
  *error = ERROR_SUCCESS;
  if (!p.spoolerPrinter) {
    std::u16string name = p.printerName;
    HANDLE opened = nullptr;
    if (!OpenPrinterW(name.data(), &opened, nullptr) || !opened) {
      *error = GetLastError();
      if (*error == ERROR_SUCCESS) *error = ERROR_INVALID_PRINTER_NAME;
      return nullptr;
    }
    p.spoolerPrinter = opened;
  }
  return p.spoolerPrinter;
}

Printer::~Printer() {
  if (jobPrinter) ClosePrinter(jobPrinter);  // a document left open: its job is aborted
  if (spoolerPrinter) ClosePrinter(spoolerPrinter);
}

BOOL SpoolerStartDoc(Printer& p, LPCWSTR docName, DWORD* jobId) {
  std::u16string name, doc = docName ? docName : u"", raw = u"RAW";
  {
    std::lock_guard<std::mutex> g(p.lock);
    if (!p.spoolerJobs) return TRUE;
    if (p.jobPrinter) {  // one document at a time per printer context
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
    name = p.printerName;
  }
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, nullptr)) return FALSE;
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info));
  if (id == 0) {
    DWORD error = GetLastError();
    ClosePrinter(h);
    SetLastError(error);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(p.lock);
  p.jobPrinter = h;
  *jobId = id;
  return TRUE;
}

BOOL SpoolerPage(Printer& p, bool start) {
  HANDLE h = nullptr;
  {
    std::lock_guard<std::mutex> g(p.lock);
    if (!p.spoolerJobs) return TRUE;
    h = p.jobPrinter;
  }
  return start ? StartPagePrinter(h) : EndPagePrinter(h);
}

BOOL SpoolerEndDoc(Printer& p, bool abort) {
  HANDLE h = nullptr;
  {
    std::lock_guard<std::mutex> g(p.lock);
    if (!p.spoolerJobs || !p.jobPrinter) return TRUE;
    h = std::exchange(p.jobPrinter, nullptr);
  }
  BOOL ok = abort ? AbortPrinter(h) : EndDocPrinter(h);
  DWORD error = GetLastError();
  ClosePrinter(h);
  SetLastError(error);
  return ok;
}

uintptr_t Insert(std::shared_ptr<Object> object) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  t.next += 16;
  t.objects.emplace(t.next, std::move(object));
  return t.next;
}

std::shared_ptr<Object> Find(uintptr_t handle, DWORD kind) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(handle);
  if (it == t.objects.end() || it->second->kind != kind) return nullptr;
  return it->second;
}

std::shared_ptr<Object> Remove(uintptr_t handle, DWORD kind) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(handle);
  if (it == t.objects.end() || it->second->kind != kind) return nullptr;
  auto object = it->second;
  t.objects.erase(it);
  return object;
}

size_t Count(DWORD kind) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.lock);
  return static_cast<size_t>(std::count_if(t.objects.begin(), t.objects.end(),
                                           [kind](const auto& entry) { return entry.second->kind == kind; }));
}

std::shared_ptr<Printer> PrinterOf(const void* handle) {
  if (auto p = FindAs<Printer>(handle, KP_ENGINE_PRINTERS)) return p;
  if (auto d = FindAs<Device>(handle, KP_ENGINE_DEVICES)) {
    if (d->printer && !d->printer->deleted) return d->printer;
  }
  return nullptr;
}

void SetDevicePdev(HDEV hdev, DHPDEV dhpdev) {
  if (auto d = FindAs<Device>(hdev, KP_ENGINE_DEVICES)) d->dhpdev = dhpdev;
}

}  // namespace kp::engine

using kp::engine::Device;
using kp::engine::FindAs;
using kp::engine::Printer;
using kp::engine::PrinterOf;

KP_API HANDLE KpEngineCreatePrinter(const KP_ENGINE_PRINTER_INFO* info) {
  if (!info || !info->printerName || info->printerName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_shared<Printer>();
  p->printerName = info->printerName;
  p->hasDriverPath = info->driverPath != nullptr;
  p->driverPath = kp::engine::copyString(info->driverPath);
  p->hasDataFile = info->dataFile != nullptr;
  p->dataFile = kp::engine::copyString(info->dataFile);
  return reinterpret_cast<HANDLE>(kp::engine::Insert(p));
}

KP_API BOOL KpEngineDeletePrinter(HANDLE printer) {
  auto object = kp::engine::Remove(reinterpret_cast<uintptr_t>(printer), KP_ENGINE_PRINTERS);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto p = std::static_pointer_cast<Printer>(object);
  std::lock_guard<std::mutex> g(p->lock);
  p->deleted = true;
  return TRUE;
}

KP_API BOOL KpEngineFailPrinterData(HANDLE printer, DWORD error) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(p->lock);
  p->dataError = error;
  return TRUE;
}

KP_API BOOL KpEngineSetWriteFault(HANDLE printer, DWORD nth, DWORD times, DWORD maxBytes, DWORD error) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(p->lock);
  p->faultFrom = nth;
  p->faultTimes = nth == 0 ? 0 : times;
  p->faultMaxBytes = maxBytes;
  p->faultError = error;
  p->callsSinceFault = 0;
  return TRUE;
}

KP_API DWORD KpEngineWriteCount(HANDLE printer) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) return 0;
  std::lock_guard<std::mutex> g(p->lock);
  return static_cast<DWORD>(p->writeSizes.size());
}

KP_API DWORD KpEngineWriteSize(HANDLE printer, DWORD index) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) return 0;
  std::lock_guard<std::mutex> g(p->lock);
  return index < p->writeSizes.size() ? p->writeSizes[index] : 0;
}

KP_API size_t KpEngineGetOutput(HANDLE printer, void* buffer, size_t size) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) return 0;
  std::lock_guard<std::mutex> g(p->lock);
  if (buffer && size > 0) std::memcpy(buffer, p->output.data(), std::min(size, p->output.size()));
  return p->output.size();
}

KP_API BOOL KpEngineClearOutput(HANDLE printer) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(p->lock);
  p->writeSizes.clear();
  p->output.clear();
  return TRUE;
}

KP_API BOOL KpEngineUseSpoolerJobs(HANDLE printer, BOOL on) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(p->lock);
  if (p->jobPrinter) {  // not in the middle of a document
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  p->spoolerJobs = on != FALSE;
  return TRUE;
}

KP_API HDEV KpEngineCreateDevice(HANDLE printer) {
  auto p = FindAs<Printer>(printer, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto d = std::make_shared<Device>();
  d->printer = p;
  return reinterpret_cast<HDEV>(kp::engine::Insert(d));
}

KP_API BOOL KpEngineDeleteDevice(HDEV hdev) {
  if (!kp::engine::Remove(reinterpret_cast<uintptr_t>(hdev), KP_ENGINE_DEVICES)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API size_t KpEngineObjectCount(DWORD kind) {
  if (kind == KP_ENGINE_DRAWING_OBJECTS) return kp::engine::DrawingObjectCount();
  return kp::engine::Count(kind);
}

KP_API BOOL WINAPI EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (pcWritten) *pcWritten = 0;
  auto p = FindAs<Printer>(hPrinter, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pBuf && cbBuf > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::unique_lock<std::mutex> g(p->lock);
  if (p->spoolerJobs) {
    // The spooler's job: WritePrinter answers, the record keeps what it took.
    HANDLE job = p->jobPrinter;
    p->writeSizes.push_back(cbBuf);
    g.unlock();
    if (!job) {
      SetLastError(ERROR_SPL_NO_STARTDOC);
      return FALSE;
    }
    DWORD taken = 0;
    BOOL ok = WritePrinter(job, pBuf, cbBuf, &taken);
    DWORD error = GetLastError();
    g.lock();
    auto bytes = static_cast<const uint8_t*>(pBuf);
    if (taken > 0) p->output.insert(p->output.end(), bytes, bytes + taken);
    g.unlock();
    if (pcWritten) *pcWritten = taken;
    SetLastError(error);
    return ok;
  }
  p->writeSizes.push_back(cbBuf);
  DWORD keep = cbBuf;
  DWORD error = 0;
  if (p->faultFrom != 0) {
    DWORD call = ++p->callsSinceFault;
    if (call >= p->faultFrom && call - p->faultFrom < p->faultTimes) {
      keep = std::min(keep, p->faultMaxBytes);
      error = p->faultError;
    }
  }
  auto bytes = static_cast<const uint8_t*>(pBuf);
  if (keep > 0) p->output.insert(p->output.end(), bytes, bytes + keep);
  if (pcWritten) *pcWritten = keep;
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD WINAPI EngGetPrinterData(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD cbBuf,
                                      LPDWORD pcbNeeded) {
  auto p = FindAs<Printer>(hPrinter, KP_ENGINE_PRINTERS);
  if (!p) return ERROR_INVALID_HANDLE;
  if (!pValueName || !pcbNeeded || (!pData && cbBuf > 0)) return ERROR_INVALID_PARAMETER;
  HANDLE spooler = nullptr;
  {
    std::lock_guard<std::mutex> g(p->lock);
    if (p->dataError != 0) return p->dataError;
    DWORD error = ERROR_SUCCESS;
    spooler = kp::engine::SpoolerPrinterLocked(*p, &error);
    if (!spooler) return error;
  }
  return GetPrinterDataW(spooler, pValueName, pType, pData, cbBuf, pcbNeeded);
}

KP_API BOOL WINAPI EngEnumForms(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf, LPDWORD pcbNeeded,
                                LPDWORD pcReturned) {
  auto p = FindAs<Printer>(hPrinter, KP_ENGINE_PRINTERS);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  HANDLE spooler = nullptr;
  {
    std::lock_guard<std::mutex> g(p->lock);
    DWORD error = ERROR_SUCCESS;
    spooler = kp::engine::SpoolerPrinterLocked(*p, &error);
    if (!spooler) {
      SetLastError(error);  // the spooler's error
      return FALSE;
    }
  }
  return EnumFormsW(spooler, Level, pForm, cbBuf, pcbNeeded, pcReturned);
}

KP_API LPWSTR WINAPI EngGetDriverName(HDEV hdev) {
  auto p = PrinterOf(hdev);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return p->hasDriverPath ? p->driverPath.data() : nullptr;
}

KP_API LPWSTR WINAPI EngGetPrinterDataFileName(HDEV hdev) {
  auto p = PrinterOf(hdev);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return p->hasDataFile ? p->dataFile.data() : nullptr;
}
