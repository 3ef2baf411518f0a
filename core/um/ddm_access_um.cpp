// ddm_GetValue/ddm_SetValue of the user-mode libraries: through the
// devmode-access module loaded by name (see kestrel/core/ddm_value.h).
//
// The counter and the module handle are process-wide: init and end run at
// library attach and detach, which the loader serialises. The module handle
// and the entry points are atomics, because the value calls that read them
// run on any thread, and the first of them resolves the entry points.
#include <atomic>
#include <cstring>
#include <type_traits>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/dma_module.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/wide_text.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_resource.h"

namespace {

constexpr UINT kModuleNameString = ZANLIB_STRID_DMA_MODULE;  // 32766
constexpr int kMaxPath = 260;

WORD wDdmAccessCounter = 0;
std::atomic<HMODULE> lhDdmDll{nullptr};
std::atomic<DMA_GETVALUE_FN> lpProc_dma_GetValue{nullptr};
std::atomic<DMA_SETVALUE_FN> lpProc_dma_SetValue{nullptr};

// The folder the library itself was loaded from, with a trailing backslash.
bool LibraryFolder(HMODULE library, WCHAR* buffer, DWORD chars) {
  DWORD n = GetModuleFileNameW(library, buffer, chars);
  if (n == 0 || n >= chars) return false;
  for (DWORD i = n; i > 0; --i)
    if (buffer[i - 1] == u'\\' || buffer[i - 1] == u'/') {
      buffer[i] = 0;
      return true;
    }
  return false;
}

HMODULE LoadAccessModule(HMODULE library) {
  WCHAR name[kMaxPath + 1] = {};
  if (LoadStringW(library, kModuleNameString, name, kMaxPath + 1) <= 0) return nullptr;
  WCHAR path[2 * kMaxPath + 2] = {};
  if (!zanlib_GetDriverDirectory(path, sizeof(path)) && !LibraryFolder(library, path, kMaxPath + 1)) return nullptr;
  size_t dirLen = kp_WideLength(path);
  if (dirLen && path[dirLen - 1] != u'\\' && path[dirLen - 1] != u'/') path[dirLen++] = u'\\';
  size_t nameLen = kp_WideLength(name);
  if (dirLen + nameLen >= sizeof(path) / sizeof(path[0])) return nullptr;
  std::memcpy(path + dirLen, name, (nameLen + 1) * sizeof(WCHAR));
  return LoadLibraryW(path);
}

// The entry point, resolved on first use; null while the module is missing.
// Two threads resolving at once store the same address.
template <class Fn>
Fn Resolve(std::atomic<Fn>& slot, const char* name) {
  Fn fn = slot.load(std::memory_order_acquire);
  if (fn != nullptr) return fn;
  HMODULE module = lhDdmDll.load(std::memory_order_acquire);
  if (module == nullptr) return nullptr;
  fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  if (fn != nullptr) slot.store(fn, std::memory_order_release);
  return fn;
}

}  // namespace

// The common library reads settings through the same two calls.
static_assert(std::is_same_v<decltype(&ddm_GetValue), ZanLibGetValueFn>);
static_assert(std::is_same_v<decltype(&ddm_SetValue), ZanLibSetValueFn>);

BOOL ddm_AccessInit(HMODULE library) {
  ++wDdmAccessCounter;
  zanLib_SetValueAccess(ddm_GetValue, ddm_SetValue);
  if (lhDdmDll.load()) return 1;
  if (!library) return 0;
  lhDdmDll.store(LoadAccessModule(library));
  return lhDdmDll.load() ? 1 : 0;
}

void ddm_AccessEnd(void) {
  if (wDdmAccessCounter == 0) return;
  if (--wDdmAccessCounter != 0) return;
  lpProc_dma_GetValue.store(nullptr);
  lpProc_dma_SetValue.store(nullptr);
  if (HMODULE module = lhDdmDll.exchange(nullptr)) FreeLibrary(module);
}

WORD ddm_AccessCount(void) { return wDdmAccessCounter; }

WORD ddm_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value) {
  if (ddmId == DDM_ID_ALWAYS_ZERO) {
    if (!type || !size || !value) return DMA_ERR_MEMBER;
    *type = 1;
    *size = 4;
    *value = 0;
    return DMA_OK;
  }
  DMA_GETVALUE_FN getValue = Resolve(lpProc_dma_GetValue, DMA_MODULE_GETVALUE);
  if (getValue == nullptr) return DMA_ERR_MEMBER;
  WORD location = 0;
  WORD result = getValue(ddmId, devmode, printerData, type, size, value, &location);
  if (result == DMA_OK && type && value && (*type == DDM_TYPE_STRING || *type == DDM_TYPE_FONT)) {
    BYTE* base = location == DDM_KIND_DEVMODE      ? static_cast<BYTE*>(devmode)
                 : location == DDM_KIND_NONDEVMODE ? static_cast<BYTE*>(devmode) + NRV_NONDEVMODE_OFFSET
                                                   : static_cast<BYTE*>(printerData);
    *value = reinterpret_cast<ULONG_PTR>(base + *value);
  }
  return result;
}

WORD ddm_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value) {
  DMA_SETVALUE_FN setValue = Resolve(lpProc_dma_SetValue, DMA_MODULE_SETVALUE);
  if (setValue == nullptr) return DMA_ERR_MEMBER;
  return setValue(ddmId, devmode, printerData, type, size, value);
}
