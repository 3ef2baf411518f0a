// kestreljd: the devmode-access module of the user-mode libraries. Its two
// entry points serve the wide records (the 5440-byte devmode with the
// non-devmode record at 1556, and the 4736-byte printer data) through the
// access core under the module rules (kestrel/core/dma_core.h, kestrel/core/dma_module.h).
#include "kestrel/core/dma_core.h"
#include "kestrel/core/dma_module.h"

#define KESTRELJD_EXPORT extern "C" __attribute__((visibility("default")))

KESTRELJD_EXPORT WORD dma_GetValue(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                                   ULONG_PTR* value, WORD* location) {
  return dmaCore_GetValue(DMA_RULES_MODULE, ddmId, devmode, printerData, type, size, value, location);
}

KESTRELJD_EXPORT WORD dma_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                                   const void* value) {
  return dmaCore_SetValue(DMA_RULES_MODULE, ddmId, devmode, printerData, type, size, value);
}

// The exported signatures are the interface the callers take by name.
static_assert(sizeof(DMA_GETVALUE_FN) == sizeof(&dma_GetValue));
[[maybe_unused]] static constexpr DMA_GETVALUE_FN kGetMatches = &dma_GetValue;
[[maybe_unused]] static constexpr DMA_SETVALUE_FN kSetMatches = &dma_SetValue;
