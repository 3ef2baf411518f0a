// The interface of the devmode-access module (kestreljd), taken by name.
//
// dma_GetValue(id, devmode, printer data, out type, out size, out value slot,
// out location) and dma_SetValue(id, devmode, printer data, type, size,
// pointer to the value) follow kestrel/core/dma_core.h under the module rules:
// strings and fonts are answered by their byte offset within their record
// and the record in *location (0 devmode, 1 non-devmode record at devmode +
// 1556, 2 printer data); a string's size is (characters + 1) x 2, a font's 92.
#pragma once

#include "kplatform/wintypes.h"

#define DMA_MODULE_GETVALUE "dma_GetValue"
#define DMA_MODULE_SETVALUE "dma_SetValue"

typedef WORD (*DMA_GETVALUE_FN)(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                                ULONG_PTR* value, WORD* location);
typedef WORD (*DMA_SETVALUE_FN)(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                                const void* value);

#if !defined(KESTREL_KERNEL_MODE)
// The loaded module behind ddm_GetValue and ddm_SetValue, kept by the value
// access; ddm_AccessInit and ddm_AccessEnd (kestrel/core/ddm_access.h) load
// and free it. Release forgets the resolved entry points and answers the
// handle it held (null when none), for the caller to free.
HMODULE ddm_AccessModule(void);
void ddm_AccessModuleSet(HMODULE module);
HMODULE ddm_AccessModuleRelease(void);
#endif
