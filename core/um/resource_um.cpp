// driver_get_hInstance of the user-mode build (see kestrel/core/zanlib.h; the
// resource module code is resource.cpp): the module given at start.
#include <mutex>

#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

#include "../common/resource_modes.h"

using namespace resource_modes;

HINSTANCE driver_get_hInstance(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.refs > 0 ? r.module : nullptr;
}

namespace resource_modes {

HANDLE& Slot(ResourceState& r, Which) { return r.resourceModule; }

HANDLE TakeDriverModule(ResourceState&) { return nullptr; }

bool OwnFileName(HINSTANCE module, WCHAR* name) {
  if (!module) return false;
  DWORD n = GetModuleFileNameW(module, name, MAX_PATH);
  return n > 0 && n < MAX_PATH;
}

}  // namespace resource_modes
