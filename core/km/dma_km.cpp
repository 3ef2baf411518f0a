// The kernel-mode renderer's devmode-access functions (see
// kestrel/core/dma_kernel.h), on the shared access core under the kernel rules.
#include "kestrel/core/dma_kernel.h"

#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"

namespace {

const BYTE* RecordOf(WORD kind, const void* devmode, const void* printerData) {
  switch (kind) {
    case DDM_KIND_DEVMODE: return static_cast<const BYTE*>(devmode);
    case DDM_KIND_NONDEVMODE:
      return devmode ? static_cast<const BYTE*>(devmode) + NRV_NONDEVMODE_OFFSET : nullptr;
    default: return static_cast<const BYTE*>(printerData);
  }
}

}  // namespace

WORD dma_GetValue(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                  ULONG_PTR* value, WORD* location) {
  if (type) *type = 0;
  if (size) *size = 0;
  if (value) *value = 0;
  if (location) *location = 0;
  WORD t = 0;
  DWORD n = 0;
  ULONG_PTR v = 0;
  WORD where = 0;
  if (!type || !size || !value) return DMA_ERR_MEMBER;
  WORD r = dmaCore_GetValue(DMA_RULES_KERNEL, ddmId, devmode, printerData, &t, &n, &v, &where);
  if (r != DMA_OK) return r;
  *type = t;
  *size = n;
  *value = v;
  if (location) *location = where;
  return DMA_OK;
}

WORD dma_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size, const void* value) {
  return dmaCore_SetValue(DMA_RULES_KERNEL, ddmId, devmode, printerData, type, size, value);
}

WORD dma_GetDataSize(WORD type) {
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return sizeof(ULONG_PTR);
  return ddm_TypeSize(type);
}

WORD dma_GetInfo(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size, DWORD* extra,
                 void** address) {
  if (type) *type = 0;
  if (size) *size = 0;
  if (extra) *extra = 0;
  if (address) *address = nullptr;
  const DDM_GROUP* group = nullptr;
  WORD status = 0;
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, &group, &status);
  if (!l) return status;
  const BYTE* base = RecordOf(group->kind, devmode, printerData);
  if (!base || dma_GetDataSize(l->type) == 0) return DMA_ERR_MEMBER;
  if (type) *type = l->type;
  if (size) *size = l->bytes;
  if (extra) *extra = l->mask;
  if (address) *address = const_cast<BYTE*>(base + l->offset);
  return DMA_OK;
}

BOOL dma_GetBitFlagValue(WORD ddmId, DWORD* mask) {
  if (mask) *mask = 0;
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, nullptr, nullptr);
  if (!l || l->special != DDM_SPECIAL_FLAG) return 0;
  if (mask) *mask = l->mask;
  return 1;
}

WORD dma_CheckTypeAndSize(WORD ddmId, WORD type, DWORD size, const void* value) {
  return dmaCore_CheckTypeAndSize(ddmId, type, size, value);
}
