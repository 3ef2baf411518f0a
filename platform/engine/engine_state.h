// Inside the graphics-engine stand-in: the table of engine objects behind
// the handles it gives out (modules, semaphores, palettes, surfaces,
// devices, printer contexts). Handles are the table's own values, never
// reused while the process runs, so a stale handle finds nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kplatform/engine.h"

namespace kp::engine {

struct Object {
  explicit Object(DWORD k) : kind(k) {}
  virtual ~Object() = default;
  const DWORD kind;  // KP_ENGINE_*
};

struct Printer : Object {
  Printer() : Object(KP_ENGINE_PRINTERS) {}
  ~Printer() override;
  std::mutex lock;
  std::u16string printerName;
  bool hasDriverPath = false;
  bool hasDataFile = false;
  std::u16string driverPath;  // NUL-terminated copies handed out by pointer
  std::u16string dataFile;
  DWORD dataError = 0;  // KpEngineFailPrinterData
  // Write record and fault.
  std::vector<DWORD> writeSizes;
  std::vector<uint8_t> output;
  DWORD faultFrom = 0;  // call number (1-based, counted from callsSinceFault) where the fault starts; 0 none
  DWORD faultTimes = 0;
  DWORD faultMaxBytes = 0;
  DWORD faultError = 0;
  DWORD callsSinceFault = 0;
  HANDLE spoolerPrinter = nullptr;  // opened by name at the first EngEnumForms or EngGetPrinterData
  bool deleted = false;
  // KpEngineUseSpoolerJobs: EngWritePrinter writes into the spooler job
  // that the runner's document calls start (StartDocPrinterW on a handle of
  // its own, `jobPrinter`) and end.
  bool spoolerJobs = false;
  HANDLE jobPrinter = nullptr;
};

// The spooler job of a printer context's document (runner.cpp): started
// before DrvStartDoc, pages around DrvStartPage/DrvSendPage, ended after
// DrvEndDoc. Each answers TRUE without doing anything for a printer context
// that did not opt in. SpoolerStartDoc answers the spooler's job id in *jobId.
BOOL SpoolerStartDoc(Printer& p, LPCWSTR docName, DWORD* jobId);
BOOL SpoolerPage(Printer& p, bool start);
BOOL SpoolerEndDoc(Printer& p, bool abort);

struct Device : Object {
  Device() : Object(KP_ENGINE_DEVICES) {}
  std::shared_ptr<Printer> printer;
  DHPDEV dhpdev = nullptr;  // set by the runner when the driver answers
};

// Registers an object and answers its new handle value.
uintptr_t Insert(std::shared_ptr<Object> object);
// The object of a handle when it is of that kind; null otherwise.
std::shared_ptr<Object> Find(uintptr_t handle, DWORD kind);
// Removes and answers the object of a handle of that kind.
std::shared_ptr<Object> Remove(uintptr_t handle, DWORD kind);
size_t Count(DWORD kind);

template <typename T>
std::shared_ptr<T> FindAs(const void* handle, DWORD kind) {
  return std::static_pointer_cast<T>(Find(reinterpret_cast<uintptr_t>(handle), kind));
}

// The printer context behind a printer handle, or behind a device.
std::shared_ptr<Printer> PrinterOf(const void* handle);
// The spooler's handle of the printer context's printer, opened by its name
// at the first call and kept; null with the spooler's error in *error. The
// caller holds p.lock.
HANDLE SpoolerPrinterLocked(Printer& p, DWORD* error);
// Sets a device's PDEV (the runner, once the driver answered).
void SetDevicePdev(HDEV hdev, DHPDEV dhpdev);

// The record of a surface (surface.cpp); null when the handle is none. It
// lives as long as a reference to the surface's object is held.
SURFOBJ* SurfaceRecord(HSURF hsurf);

// Counts of the drawing objects (objects.cpp), for KpEngineObjectCount.
size_t DrawingObjectCount();
// Fonts and strings (fontobj.cpp): their count, and deleting one (false for
// a pointer that is none of them).
size_t TextObjectCount();
bool DeleteTextObject(void* object);

// Whether a pending KpEngineFailAllocation falls on this allocation
// (memory.cpp; counts it down like EngAllocMem does).
bool TakeAllocationFailure();

// The session of a brush and what its realization needs (objects.cpp).
struct BrushSource {
  KP_ENGINE_SESSION* session;
  SURFOBJ* pattern;
  SURFOBJ* mask;
  XLATEOBJ* xlate;
  ULONG iHatch;
};
// Calls the session's DrvRealizeBrush on the brush (runner.cpp): logged;
// FALSE when the session or its surface is gone or the driver has no such
// entry.
BOOL RealizeBrush(BRUSHOBJ* pbo, const BrushSource& source);

}  // namespace kp::engine
