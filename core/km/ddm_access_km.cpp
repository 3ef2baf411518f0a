// ddm_GetValue/ddm_SetValue of the kernel-mode renderer: the renderer cannot
// load the devmode-access module, so the two calls go straight to the access
// core with the kernel rules (strings and fonts answered by address, 1284
// written by parity).
#include "kestrel/ddm_value.h"
#include "kestrel/dma_core.h"

WORD ddm_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value) {
  return dmaCore_GetValue(DMA_RULES_KERNEL, ddmId, devmode, printerData, type, size, value, nullptr);
}

WORD ddm_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value) {
  return dmaCore_SetValue(DMA_RULES_KERNEL, ddmId, devmode, printerData, type, size, value);
}
