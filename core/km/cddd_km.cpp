// The device description handle of the kernel-mode build (see
// kestrel/core/cddd.h; the shared part is cddd.cpp): the file the engine
// names for the printer (opening it is core/km/cddd_open_km.cpp).
#include "kestrel/core/cddd.h"

#include "kplatform/engine.h"

#include "../handle/cddd_modes.h"

using namespace cddd_modes;

LPWSTR cdddGetFileName(HANDLE printer) {
  if (!printer) return nullptr;
  LPWSTR name = EngGetPrinterDataFileName(reinterpret_cast<HDEV>(printer));
  return name && name[0] ? Duplicate(name) : nullptr;
}
