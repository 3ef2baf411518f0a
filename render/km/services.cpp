// The renderer's side of the kernel-mode service layer (see
// kestrel/render/km_services.h): the PDEV heap, the devmode shorthand, units, the
// halftone pattern size, the devmode part copies and the page-clip stand-in.
// Memory comes from the engine only.
#include "kestrel/render/km_services.h"

#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "kplatform/engine.h"
#include "kplatform/wide_text.h"

namespace {

// ---- Heap --------------------------------------------------------------------
// The head of each block: the link to the block allocated before it and
// padding that keeps the caller's bytes on 16 bytes.
struct HeapBlock {
  HeapBlock* next;
  ULONG_PTR reserved;
};
static_assert(sizeof(HeapBlock) == 16, "the caller's bytes stay 16-byte aligned");

struct HeapHead {
  HeapBlock* first;  // the newest block, or null
};

constexpr ULONG kLargestBlock = 0x7FFFFFFFu - sizeof(HeapBlock);

// ---- Units --------------------------------------------------------------------
constexpr LONG kPSRealPerInch = 18432;  // points x 256
constexpr LONG kMicronsPerInch = 25400;

// product * a / b on the engine's floating-point objects, truncated.
LONG MulDivFloat(LONG value, LONG a, LONG b) {
  FLOATOBJ f;
  FLOATOBJ_SetLong(&f, value);
  FLOATOBJ_MulLong(&f, a);
  FLOATOBJ_DivLong(&f, b);
  return FLOATOBJ_GetLong(&f);
}

// ---- Devmode values -------------------------------------------------------------
// The value of a numeric member, or false.
bool ReadNumber(PDEV* pdev, WORD ddmId, ULONG_PTR* value) {
  *value = 0;
  if (!pdev) return false;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(ddmId, pdev->devmode, pdev->printerData, &type, &size, &v) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return false;
  *value = v;
  return true;
}

// Bytes of a value of the type as the access core takes it (strings: their
// bytes with the NUL).
DWORD ValueSize(WORD type, const void* value) {
  if (type == DDM_TYPE_STRING) return (kp_WideLength(static_cast<LPCWSTR>(value)) + 1) * sizeof(WCHAR);
  return ddm_TypeSize(type);
}

// Copies one member between two devmodes in its own type.
bool CopyMember(WORD ddmId, void* out, const void* in) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(ddmId, const_cast<void*>(in), nullptr, &type, &size, &v) != 0) return false;
  const void* from = (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) ? reinterpret_cast<const void*>(v) : &v;
  return ddm_SetValue(ddmId, out, nullptr, type, size, from) == 0;
}

}  // namespace

// ---- Heap --------------------------------------------------------------------------

void* HEAPCREATE(void) {
  auto* head = static_cast<HeapHead*>(EngAllocMem(FL_ZERO_MEMORY, sizeof(HeapHead), KM_HEAP_TAG));
  return head;
}

void* _HEAPALLOC(void* heap, ULONG size, ULONG) {
  auto* head = static_cast<HeapHead*>(heap);
  if (!head || size > kLargestBlock) return nullptr;
  auto* block = static_cast<HeapBlock*>(
      EngAllocMem(0, static_cast<ULONG>(size + sizeof(HeapBlock)), KM_HEAP_TAG));
  if (!block) return nullptr;
  block->next = head->first;
  block->reserved = 0;
  head->first = block;
  return block + 1;
}

void HEAPFREE(void* heap, void* block) {
  auto* head = static_cast<HeapHead*>(heap);
  if (!head || !block) return;
  HeapBlock* target = static_cast<HeapBlock*>(block) - 1;
  for (HeapBlock** link = &head->first; *link; link = &(*link)->next) {
    if (*link == target) {
      *link = target->next;
      EngFreeMem(target);
      return;
    }
  }
}

void HEAPDESTROY(void* heap) {
  auto* head = static_cast<HeapHead*>(heap);
  if (!head) return;
  HeapBlock* block = head->first;
  while (block) {
    HeapBlock* next = block->next;
    EngFreeMem(block);
    block = next;
  }
  EngFreeMem(head);
}

// ---- Devmode values ------------------------------------------------------------------

ULONG DDMS_GetUlong(PDEV* pdev, WORD ddmId) {
  ULONG_PTR v = 0;
  return ReadNumber(pdev, ddmId, &v) ? static_cast<ULONG>(v) : 0;
}

SHORT DDMS_GetShort(PDEV* pdev, WORD ddmId) {
  ULONG_PTR v = 0;
  return ReadNumber(pdev, ddmId, &v) ? static_cast<SHORT>(static_cast<WORD>(v)) : 0;
}

LPWSTR DDMS_GetPStr(PDEV* pdev, WORD ddmId) {
  if (!pdev) return nullptr;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(ddmId, pdev->devmode, pdev->printerData, &type, &size, &v) != 0) return nullptr;
  if (type != DDM_TYPE_STRING) return nullptr;
  return reinterpret_cast<LPWSTR>(v);
}

WORD DDMS_SetShort(PDEV* pdev, WORD ddmId, SHORT value) {
  if (!pdev) return DMA_ERR_MEMBER;
  WORD type = DDM_TYPE_SHORT;
  WORD current = 0;
  DWORD size = 0;
  ULONG_PTR old = 0;
  if (ddm_GetValue(ddmId, pdev->devmode, pdev->printerData, &current, &size, &old) == 0 &&
      (current == DDM_TYPE_SHORT || current == DDM_TYPE_WORD))
    type = current;
  return ddm_SetValue(ddmId, pdev->devmode, pdev->printerData, type, 2, &value);
}

WORD CoreDDM_SetValue(void* devmode, void* printerData, WORD ddmId, WORD type, const void* value) {
  return ddm_SetValue(ddmId, devmode, printerData, type, ValueSize(type, value), value);
}

// ---- Units -----------------------------------------------------------------------------

LONG PSRealToPixel(LONG length, LONG dpi) { return MulDivFloat(length, dpi, kPSRealPerInch); }
LONG MicronToPSReal(LONG micrometres) { return MulDivFloat(micrometres, kPSRealPerInch, kMicronsPerInch); }
LONG PSRealToMicron(LONG length) { return MulDivFloat(length, kMicronsPerInch, kPSRealPerInch); }

ULONG PickDefaultHTPatSize(ULONG xDpi, ULONG yDpi, BOOL flag) {
  ULONG dpi = xDpi < yDpi ? xDpi : yDpi;
  ULONG size = dpi >= 2400 ? 15 : dpi >= 1800 ? 13 : dpi >= 1200 ? 11 : dpi >= 900 ? 9 : dpi >= 400 ? 7
               : dpi >= 180                                                                          ? 5
                                                                                                     : 3;
  return flag ? size - 2 : size;
}

// ---- Devmode parts ---------------------------------------------------------------------

BOOL dmCopyNONDEVDAT(void* outDevmode, const void* inDevmode) {
  if (!outDevmode || !inDevmode) return FALSE;
  std::memcpy(static_cast<BYTE*>(outDevmode) + NRV_NONDEVMODE_OFFSET,
              static_cast<const BYTE*>(inDevmode) + NRV_NONDEVMODE_OFFSET, NRV_NONDEVMODE_SIZE);
  return TRUE;
}

BOOL copyFAXDATA(void* outDevmode, const void* inDevmode) {
  if (!outDevmode || !inDevmode) return FALSE;
  static const WORD kFaxItems[] = {DDM_FAX_SHEET_KIND_A,      DDM_FAX_SHEET_KIND_B,     DDM_FAX_SINGLE_HEADER,
                                   DDM_FAX_DESTINATION_COUNT, DDM_FAX_COVER_SHEET_MODE, DDM_FAX_TEMP_FILE,
                                   DDM_FAX_ADDRESS_FILE};
  bool ok = true;
  for (WORD id : kFaxItems) ok = CopyMember(id, outDevmode, inDevmode) && ok;
  return ok ? TRUE : FALSE;
}

// ---- Stand-ins ---------------------------------------------------------------------------

LONG _SetPageClip(void* page) { return page ? 0 : -1; }
