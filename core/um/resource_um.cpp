// driver_get_hInstance of the user-mode build (see kestrel/core/zanlib.h; the
// resource module code is resource.cpp): the module given at start.
#include <mutex>

#include "kestrel/core/zanlib.h"

#include "../common/resource_modes.h"

using namespace resource_modes;

HINSTANCE driver_get_hInstance(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.refs > 0 ? r.module : nullptr;
}
