// The resource state that the shared resource module code (resource.cpp) and
// its parts of each build (core/um/resource_um.cpp, core/km/resource_km.cpp)
// both use. Private to the core.
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

// With the lock held: the slot of the module asked for. The user-mode build
// has one module, the resource module, for both.
HANDLE& Slot(ResourceState& r, Which which);

// With the lock held: takes the driver's own module out of the state (the
// kernel-mode build loads it; the user-mode build has none: null).
HANDLE TakeDriverModule(ResourceState& r);

// The full path of the library's own module into name (MAX_PATH characters);
// false when it cannot be had (the kernel-mode build never asks the loader:
// the path comes from resource_startToUse).
bool OwnFileName(HINSTANCE module, WCHAR* name);

// The module for a caller that keeps no pin: valid while the caller's own
// resource_startToUse lasts.
HANDLE ModuleFor(Which which);

}  // namespace resource_modes
