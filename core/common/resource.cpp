// The resource module and the driver directory of one library instance.
//
// Lock order. The platform's loader holds its own lock through every load
// and free, and runs the library's DllMain under it; the attach and the
// detach take this file's lock (resource_startToUse, resource_finishToUse,
// zanlib_GetDriverDirectory through the trace log's switches). So the
// loader's lock always comes first and this lock last: nothing here calls
// the loader or its resource lookups (LoadLibraryExW, FreeLibrary,
// GetModuleFileNameW, LoadStringW, or the engine's module services in the
// kernel-mode build) while holding it. A module is loaded with the lock
// released and published under it; a module is freed after the lock is
// released.
//
// Decisions:
//  - A caller that loads or reads a module (resource_LoadString, the first
//    resource_get_hInstance, driver_get_hInstance) pins the state for the
//    time it works without the lock. The last resource_unload (or
//    resource_finishToUse) while a pin is held only ends the use: no new
//    request is answered, and the last pin to go forgets the state and frees
//    its modules. A racing unload therefore never frees a module a string is
//    being read from.
//  - Two threads asking first at once may both load the module; the first
//    to publish it wins and the other frees its own load, so one loader
//    reference is kept however many asked.
//  - A resource_startToUse that comes while the end of the previous use
//    still waits for a pin takes that use over as it is (same library, same
//    paths and modules) instead of deriving them again.
//
// driver_get_hInstance, the module slots and the library's own file name
// differ between the builds (core/um/resource_um.cpp, core/km/resource_km.cpp).
#include <mutex>
#include <new>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

#include "resource_modes.h"

using namespace resource_modes;

namespace resource_modes {

ResourceState& R() {
  // Built in static storage and never destroyed, so it outlives static
  // destructors; no heap block (the kernel-mode build has none but the
  // engine's).
  alignas(ResourceState) static unsigned char storage[sizeof(ResourceState)];
  static ResourceState* state = new (storage) ResourceState;
  return *state;
}

}  // namespace resource_modes

namespace {

// dst (MAX_PATH characters) = a + b when the whole fits with its NUL.
bool JoinPath(WCHAR* dst, LPCWSTR a, LPCWSTR b) {
  DWORD la = kp_WideLength(a), lb = kp_WideLength(b);
  if (la + lb >= MAX_PATH) return false;
  for (DWORD i = 0; i < la; ++i) dst[i] = a[i];
  for (DWORD i = 0; i < lb; ++i) dst[la + i] = b[i];
  dst[la + lb] = 0;
  return true;
}

// Modules taken out of the state, freed once the lock is released.
struct Released {
  HANDLE resource = nullptr;
  HANDLE driver = nullptr;
};

void FreeReleased(const Released& released) {
  if (released.resource) kcore_FreeStringModule(released.resource);
  if (released.driver) kcore_FreeStringModule(released.driver);
}

// With the lock held: when the use has ended and no pin is left, forgets
// the state and hands back its modules.
Released EndIfUnused(ResourceState& r) {
  Released out;
  if (!r.ready || r.refs > 0 || r.pins > 0) return out;
  out.resource = r.resourceModule;
  r.resourceModule = nullptr;
  out.driver = TakeDriverModule(r);
  r.ready = false;
  r.module = nullptr;
  r.libraryPath[0] = 0;
  r.driverDir[0] = 0;
  r.modulePath[0] = 0;
  return out;
}

// Drops a pin; answers whether the use is still current afterwards.
bool Unpin(ResourceState& r) {
  Released out;
  bool current;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    --r.pins;
    current = r.refs > 0;
    out = EndIfUnused(r);
  }
  FreeReleased(out);
  return current;
}

// Pins the state and answers the module asked for, loading it first (with
// the lock released) when no caller has. Null, with nothing pinned, when no
// use is current or the module cannot be had.
HANDLE PinModule(Which which) {
  ResourceState& r = R();
  WCHAR path[MAX_PATH] = {};
  WCHAR dir[MAX_PATH] = {};
  HINSTANCE own = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.refs <= 0) return nullptr;
    ++r.pins;
    if (HANDLE loaded = Slot(r, which)) return loaded;
    if (which == Which::kDriver) {
      JoinPath(path, r.libraryPath, u"");
    } else if (r.modulePath[0]) {
      JoinPath(path, r.modulePath, u"");
    } else {
      own = r.module;
      JoinPath(dir, r.driverDir, u"");
    }
  }
  // The state stays as it is while pinned, so what was copied still holds
  // when the load is published.
  if (path[0] == 0 && own && dir[0]) {
    WCHAR rsName[MAX_PATH] = {};
    if (kcore_LoadString(own, ZANLIB_STRID_RESOURCE_MODULE, rsName, MAX_PATH) == 0 || !JoinPath(path, dir, rsName))
      path[0] = 0;
  }
  HANDLE loaded = path[0] ? kcore_LoadStringModule(path) : nullptr;
  HANDLE surplus = nullptr;
  HANDLE answer;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    HANDLE& slot = Slot(r, which);
    if (!slot)
      slot = loaded;
    else
      surplus = loaded;  // another caller published its load first
    answer = slot;
  }
  if (surplus) kcore_FreeStringModule(surplus);
  if (!answer) Unpin(r);
  return answer;
}

}  // namespace

namespace resource_modes {

// The module for a caller that keeps no pin: valid while the caller's own
// resource_startToUse lasts.
HANDLE ModuleFor(Which which) {
  HANDLE module = PinModule(which);
  if (!module) return nullptr;
  return Unpin(R()) ? module : nullptr;
}

}  // namespace resource_modes

void resource_startToUse(HINSTANCE module, LPCWSTR path) {
  zanLib_InstallDddSeams();
  // What a fresh use needs from the module, asked before the lock is taken.
  WCHAR name[MAX_PATH] = {};
  bool haveName = OwnFileName(module, name);
  if (!haveName && path && kp_WideLength(path) < MAX_PATH) {
    JoinPath(name, path, u"");
    haveName = true;
  }
  WCHAR rsName[MAX_PATH] = {};
  const bool haveRsName = module && kcore_LoadString(module, ZANLIB_STRID_RESOURCE_MODULE, rsName, MAX_PATH) > 0;

  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.ready) {
    r.ready = true;
    r.module = module;
    if (haveName) {
      JoinPath(r.libraryPath, name, u"");
      DWORD cut = 0;
      for (DWORD i = 0; name[i]; ++i)
        if (name[i] == u'\\') cut = i + 1;
      for (DWORD i = 0; i < cut; ++i) r.driverDir[i] = name[i];
      r.driverDir[cut] = 0;
    }
    r.modulePath[0] = 0;
    if (haveRsName && r.driverDir[0] != 0) JoinPath(r.modulePath, r.driverDir, rsName);
  }
  ++r.refs;
}

HINSTANCE resource_get_hInstance(void) { return static_cast<HINSTANCE>(ModuleFor(Which::kResource)); }

HINSTANCE resource_get_hInstance_forBitmap(void) { return resource_get_hInstance(); }
HINSTANCE resource_get_hInstance_forIcon(void) { return resource_get_hInstance(); }

void resource_unload(void) {
  ResourceState& r = R();
  Released out;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.refs > 0) --r.refs;
    out = EndIfUnused(r);
  }
  FreeReleased(out);
}

void resource_finishToUse(void) {
  ResourceState& r = R();
  Released out;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    r.refs = 0;
    out = EndIfUnused(r);
  }
  FreeReleased(out);
}

int resource_LoadString(UINT id, LPWSTR buffer, int chars) {
  if (!buffer || chars <= 0) return 0;
  buffer[0] = 0;
  HANDLE module = PinModule(Which::kResource);
  if (!module) return 0;
  int n = static_cast<int>(kcore_LoadString(module, id, buffer, static_cast<DWORD>(chars)));
  Unpin(R());
  return n;
}

BOOL zanlib_GetDriverDirectory(LPWSTR buffer, DWORD bytes) {
  if (!buffer || bytes < MAX_PATH * sizeof(WCHAR)) return FALSE;
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.refs <= 0 || r.driverDir[0] == 0) {
    buffer[0] = 0;
    return FALSE;
  }
  JoinPath(buffer, r.driverDir, u"");
  return TRUE;
}
