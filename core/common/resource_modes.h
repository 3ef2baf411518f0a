// The resource state that the shared resource module code (resource.cpp) and
// driver_get_hInstance of each build (core/um/resource_um.cpp,
// core/km/resource_km.cpp) both use. Private to the core.
#pragma once

#include <mutex>

#include "kplatform/kwindows.h"

namespace resource_modes {

struct ResourceState {
  // Lock order: the platform loader's lock (and the trace log's lock, whose
  // switches read the driver directory) before this one. This lock is a
  // leaf: it guards every field below and is held only to read or write
  // them, never across a loader, resource or engine call (see the top of
  // resource.cpp).
  std::mutex lock;
  LONG refs = 0;  // resource_startToUse calls not yet ended by resource_unload
  LONG pins = 0;  // callers loading or reading a module without the lock
  bool ready = false;                // the fields below describe the current use
  HINSTANCE module = nullptr;        // the library's own module
  WCHAR libraryPath[MAX_PATH] = {};  // its full path
  WCHAR driverDir[MAX_PATH] = {};    // the path up to and including its last backslash
  WCHAR modulePath[MAX_PATH] = {};   // driver directory + string 32767, when it fits
  HANDLE resourceModule = nullptr;
#if defined(KESTREL_KERNEL_MODE)
  HANDLE driverModule = nullptr;  // the library's own file, loaded by driver_get_hInstance
#endif
};

// The one state of the library instance.
ResourceState& R();

enum class Which { kResource, kDriver };

// The module for a caller that keeps no pin: valid while the caller's own
// resource_startToUse lasts.
HANDLE ModuleFor(Which which);

}  // namespace resource_modes
