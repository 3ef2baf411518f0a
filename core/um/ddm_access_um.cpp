// ddm_GetValue/ddm_SetValue of the user-mode libraries: through the
// devmode-access module (see kestrel/core/ddm_value.h), whose handle the
// common floor's ddm_AccessInit hands here (kestrel/core/ddm_access.h).
//
// The module handle and the entry points are atomics, because the value
// calls that read them run on any thread, and the first of them resolves the
// entry points.
#include <atomic>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/dma_module.h"
#include "kplatform/kernel32_module.h"

namespace {

std::atomic<HMODULE> lhDdmDll{nullptr};
std::atomic<DMA_GETVALUE_FN> lpProc_dma_GetValue{nullptr};
std::atomic<DMA_SETVALUE_FN> lpProc_dma_SetValue{nullptr};

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

HMODULE ddm_AccessModule(void) { return lhDdmDll.load(std::memory_order_acquire); }

void ddm_AccessModuleSet(HMODULE module) { lhDdmDll.store(module, std::memory_order_release); }

HMODULE ddm_AccessModuleRelease(void) {
  lpProc_dma_GetValue.store(nullptr);
  lpProc_dma_SetValue.store(nullptr);
  return lhDdmDll.exchange(nullptr);
}

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
