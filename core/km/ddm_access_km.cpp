// ddm_GetValue/ddm_SetValue of the kernel-mode renderer: the renderer cannot
// load the devmode-access module, so the two calls forward to its own
// dma_GetValue and dma_SetValue (kestrel/core/dma_kernel.h: the access core under
// the kernel rules, strings and fonts answered by address, 1284 written by
// parity). A failed read answers type, size and value 0.
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_kernel.h"

WORD ddm_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value) {
  return dma_GetValue(ddmId, devmode, printerData, type, size, value, nullptr);
}

WORD ddm_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value) {
  return dma_SetValue(ddmId, devmode, printerData, type, size, value);
}
