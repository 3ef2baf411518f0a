// Full-size records with arbitrary contents and arbitrary ids, types, sizes
// and values through the module's dma_GetValue/dma_SetValue and through the
// access core under the kernel rules. Whatever the input, an answer for a
// string or font must lie inside its record, and a string must end within it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"

extern "C" WORD dma_GetValue(WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                             ULONG_PTR* value, WORD* location);
extern "C" WORD dma_SetValue(WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                             const void* value);

namespace {

using kestrel::fuzz::Check;
using kestrel::fuzz::Reader;

void CheckAnswer(WORD rules, WORD status, WORD type, DWORD size, ULONG_PTR value, WORD location, const BYTE* dm,
                 const BYTE* pd) {
  if (status != 0 || (type != DDM_TYPE_STRING && type != DDM_TYPE_FONT)) return;
  const BYTE* addr;
  const BYTE* base;
  DWORD recordSize;
  if (location == 0) {
    base = dm, recordSize = NRV_DEVMODE_SIZE_KIND1;
  } else if (location == 1) {
    base = dm + NRV_NONDEVMODE_OFFSET, recordSize = NRV_NONDEVMODE_SIZE;
  } else {
    base = pd, recordSize = NRV_PRINTERDATA_SIZE;
  }
  addr = rules == DMA_RULES_KERNEL ? reinterpret_cast<const BYTE*>(value) : base + value;
  Check(addr >= base && addr + size <= base + recordSize);
  if (type == DDM_TYPE_STRING) {
    Check(size >= 2 && size % 2 == 0);
    Check(addr[size - 2] == 0 && addr[size - 1] == 0);
  } else {
    Check(size == NRV_LOGFONT_SIZE);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  BYTE value[128] = {};

  // A few operations first, then whatever is left fills the two records.
  BYTE count = in.Take<BYTE>() % 8;
  struct Op {
    BYTE flags;
    WORD id;
    WORD type;
    DWORD size;
  } ops[8] = {};
  for (BYTE i = 0; i < count; ++i) ops[i] = {in.Take<BYTE>(), in.Take<WORD>(), in.Take<WORD>(), in.Take<DWORD>()};
  size_t valueBytes = in.n < sizeof(value) ? in.n : sizeof(value);
  std::memcpy(value, in.p, valueBytes);
  in.p += valueBytes;
  in.n -= valueBytes;
  for (size_t i = 0; i < dm.size() && in.n; ++i) dm[i] = in.Take<BYTE>();
  for (size_t i = 0; i < pd.size() && in.n; ++i) pd[i] = in.Take<BYTE>();

  for (BYTE i = 0; i < count; ++i) {
    const Op& op = ops[i];
    WORD rules = (op.flags & 1) ? DMA_RULES_KERNEL : DMA_RULES_MODULE;
    BYTE* d = (op.flags & 2) ? nullptr : dm.data();
    BYTE* p = (op.flags & 4) ? nullptr : pd.data();
    // The value buffer holds 128 bytes: a caller never claims more.
    DWORD valueSize = op.size % (sizeof(value) + 1);
    if (op.flags & 8) {
      WORD status = rules == DMA_RULES_KERNEL
                        ? dmaCore_SetValue(rules, op.id, d, p, op.type, valueSize, value)
                        : dma_SetValue(op.id, d, p, op.type, valueSize, value);
      Check(status == 0 || status == 1 || status == 2 || status == 4 || status == 8 || status == 16);
    } else {
      WORD type = 0, location = 0;
      DWORD got = 0;
      ULONG_PTR v = 0;
      WORD status = rules == DMA_RULES_KERNEL ? dmaCore_GetValue(rules, op.id, d, p, &type, &got, &v, &location)
                                              : dma_GetValue(op.id, d, p, &type, &got, &v, &location);
      if (d && p) CheckAnswer(rules, status, type, got, v, location, d, p);
    }
  }
  return 0;
}
