// The resource module and the driver directory of one library instance.
#include <atomic>
#include <mutex>
#include <new>

#include "kestrel/kcore_sys.h"
#include "kestrel/zanlib.h"
#include "kplatform/kwindows.h"

namespace {

struct ResourceState {
  std::mutex lock;
  LONG refs = 0;
  HINSTANCE module = nullptr;        // the library's own module
  WCHAR libraryPath[MAX_PATH] = {};  // its full path
  WCHAR driverDir[MAX_PATH] = {};    // the path up to and including its last backslash
  WCHAR modulePath[MAX_PATH] = {};   // driver directory + string 32767, when it fits
  HANDLE resourceModule = nullptr;
#if defined(KESTREL_KERNEL_MODE)
  HANDLE driverModule = nullptr;  // the library's own file, loaded by driver_get_hInstance
#endif
};

ResourceState& R() {
  // Built in static storage and never destroyed, so it outlives static
  // destructors; no heap block (the kernel-mode build has none but the
  // engine's).
  alignas(ResourceState) static unsigned char storage[sizeof(ResourceState)];
  static ResourceState* state = new (storage) ResourceState;
  return *state;
}

// dst (MAX_PATH characters) = a + b when the whole fits with its NUL.
bool JoinPath(WCHAR* dst, LPCWSTR a, LPCWSTR b) {
  DWORD la = kcore_WideLength(a), lb = kcore_WideLength(b);
  if (la + lb >= MAX_PATH) return false;
  for (DWORD i = 0; i < la; ++i) dst[i] = a[i];
  for (DWORD i = 0; i < lb; ++i) dst[la + i] = b[i];
  dst[la + lb] = 0;
  return true;
}

}  // namespace

void resource_startToUse(HINSTANCE module, LPCWSTR path) {
  zanLib_InstallDddSeams();
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.refs == 0 && r.module == nullptr) {
    r.module = module;
    WCHAR name[MAX_PATH] = {};
    bool haveName = false;
#if !defined(KESTREL_KERNEL_MODE)
    if (r.driverDir[0] == 0 && module) {
      DWORD n = GetModuleFileNameW(module, name, MAX_PATH);
      haveName = n > 0 && n < MAX_PATH;
    }
#endif
    if (!haveName && path && kcore_WideLength(path) < MAX_PATH) {
      JoinPath(name, path, u"");
      haveName = true;
    }
    if (haveName) {
      JoinPath(r.libraryPath, name, u"");
      DWORD cut = 0;
      for (DWORD i = 0; name[i]; ++i)
        if (name[i] == u'\\') cut = i + 1;
      for (DWORD i = 0; i < cut; ++i) r.driverDir[i] = name[i];
      r.driverDir[cut] = 0;
    }
    WCHAR rsName[MAX_PATH] = {};
    r.modulePath[0] = 0;
    if (module && kcore_LoadString(module, ZANLIB_STRID_RESOURCE_MODULE, rsName, MAX_PATH) > 0 &&
        r.driverDir[0] != 0)
      JoinPath(r.modulePath, r.driverDir, rsName);
  }
  ++r.refs;
}

HINSTANCE resource_get_hInstance(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.refs <= 0) return nullptr;
  if (!r.resourceModule) {
    WCHAR path[MAX_PATH] = {};
    if (r.modulePath[0]) {
      JoinPath(path, r.modulePath, u"");
    } else {
      WCHAR rsName[MAX_PATH] = {};
      if (!r.module || r.driverDir[0] == 0 ||
          kcore_LoadString(r.module, ZANLIB_STRID_RESOURCE_MODULE, rsName, MAX_PATH) == 0 ||
          !JoinPath(path, r.driverDir, rsName))
        return nullptr;
    }
    r.resourceModule = kcore_LoadStringModule(path);
  }
  return static_cast<HINSTANCE>(r.resourceModule);
}

HINSTANCE resource_get_hInstance_forBitmap(void) { return resource_get_hInstance(); }
HINSTANCE resource_get_hInstance_forIcon(void) { return resource_get_hInstance(); }

#if defined(KESTREL_KERNEL_MODE)
// The module given to resource_startToUse is the renderer's own load of its
// file, which it frees again at once; the driver's module is therefore
// loaded here by the full path kept at start, once, and kept until the last
// resource_unload.
HINSTANCE driver_get_hInstance(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (!r.driverModule && r.refs > 0 && r.libraryPath[0]) r.driverModule = kcore_LoadStringModule(r.libraryPath);
  return static_cast<HINSTANCE>(r.driverModule);
}
#else
HINSTANCE driver_get_hInstance(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.module;
}
#endif

void resource_unload(void) {
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.refs == 1) {
    r.module = nullptr;
    if (r.resourceModule) kcore_FreeStringModule(r.resourceModule);
    r.resourceModule = nullptr;
#if defined(KESTREL_KERNEL_MODE)
    if (r.driverModule) kcore_FreeStringModule(r.driverModule);
    r.driverModule = nullptr;
#endif
    r.libraryPath[0] = 0;
    r.driverDir[0] = 0;
    r.modulePath[0] = 0;
  }
  if (r.refs > 0) --r.refs;
}

void resource_finishToUse(void) {
  {
    ResourceState& r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    r.refs = 1;
  }
  resource_unload();
}

int resource_LoadString(UINT id, LPWSTR buffer, int chars) {
  if (!buffer || chars <= 0) return 0;
  buffer[0] = 0;
  HINSTANCE module = resource_get_hInstance();
  if (!module) return 0;
  return static_cast<int>(kcore_LoadString(module, id, buffer, static_cast<DWORD>(chars)));
}

BOOL zanlib_GetDriverDirectory(LPWSTR buffer, DWORD bytes) {
  if (!buffer || bytes < MAX_PATH * sizeof(WCHAR)) return FALSE;
  ResourceState& r = R();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.driverDir[0] == 0) {
    buffer[0] = 0;
    return FALSE;
  }
  JoinPath(buffer, r.driverDir, u"");
  return TRUE;
}
