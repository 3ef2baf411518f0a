// driver_get_hInstance of the kernel-mode build (see kestrel/core/zanlib.h;
// the resource module code is resource.cpp).
#include "kestrel/core/zanlib.h"

#include "../common/resource_modes.h"

using namespace resource_modes;

// The module given to resource_startToUse is the renderer's own load of its
// file, which it frees again at once; the driver's module is therefore
// loaded here by the full path kept at start, once, and kept until the last
// resource_unload.
HINSTANCE driver_get_hInstance(void) { return static_cast<HINSTANCE>(ModuleFor(Which::kDriver)); }

namespace resource_modes {

HANDLE& Slot(ResourceState& r, Which which) {
  if (which == Which::kDriver) return r.driverModule;
  return r.resourceModule;
}

HANDLE TakeDriverModule(ResourceState& r) {
  HANDLE driver = r.driverModule;
  r.driverModule = nullptr;
  return driver;
}

bool OwnFileName(HINSTANCE, WCHAR*) { return false; }

}  // namespace resource_modes
