// Opening the description data of a printer in the kernel-mode build (see
// kestrel/core/cddd_open.h; the shared part is core/common/cddd_open.cpp):
// the file the engine names for the printer.
#include "kestrel/core/cddd_open.h"

#include "kplatform/engine.h"

HCDDD cddd_Open(HDEV engineDevice) {
  if (!engineDevice) return nullptr;
  LPWSTR name = EngGetPrinterDataFileName(engineDevice);
  if (!name || !name[0]) return nullptr;
  return cddd_OpenFile(name);  // the engine's string lives as long as its printer
}
