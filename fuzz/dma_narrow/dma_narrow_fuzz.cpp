// Full-size narrow records with arbitrary contents and arbitrary ids, types,
// sizes and values through kestreldm's dma_GetValue and dma_SetValue.
// Whatever the input: every status is one of the six codes, a string or font
// answered lies inside its record and a string ends within it, and a refused
// set leaves both records as they were.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "kestreldm/kestreldm.h"

namespace {

using kestrel::fuzz::Check;
using kestrel::fuzz::Reader;

bool KnownStatus(uint16_t s) { return s == 0 || s == 1 || s == 2 || s == 4 || s == 8 || s == 16; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  // Exactly the records' sizes, so that a read past them is caught.
  std::vector<uint8_t> dm(KESTRELDM_DEVMODE_SIZE + KESTRELDM_NONDEVMODE_SIZE), pd(KESTRELDM_PRINTERDATA_SIZE);

  struct Op {
    uint8_t flags;
    uint16_t id;
    uint16_t type;
    uint16_t size;
  } ops[8] = {};
  const uint8_t count = in.Take<uint8_t>() % 8;
  for (uint8_t i = 0; i < count; ++i)
    ops[i] = {in.Take<uint8_t>(), in.Take<uint16_t>(), in.Take<uint16_t>(), in.Take<uint16_t>()};
  uint8_t value[64] = {};
  const size_t valueBytes = in.n < sizeof(value) ? in.n : sizeof(value);
  std::memcpy(value, in.p, valueBytes);
  in.p += valueBytes;
  in.n -= valueBytes;
  for (size_t i = 0; i < dm.size() && in.n; ++i) dm[i] = in.Take<uint8_t>();
  for (size_t i = 0; i < pd.size() && in.n; ++i) pd[i] = in.Take<uint8_t>();

  for (uint8_t i = 0; i < count; ++i) {
    const Op& op = ops[i];
    uint8_t* d = (op.flags & 2) ? nullptr : dm.data();
    uint8_t* p = (op.flags & 4) ? nullptr : pd.data();
    if (op.flags & 1) {
      // The value buffer holds 64 bytes: a caller never claims more.
      const uint16_t given = static_cast<uint16_t>(op.size % (sizeof(value) + 1));
      const std::vector<uint8_t> dmBefore = dm, pdBefore = pd;
      const uint16_t status = dma_SetValue(op.id, d, p, op.type, given, (op.flags & 8) ? nullptr : value);
      Check(KnownStatus(status));
      if (status != 0) Check(dm == dmBefore && pd == pdBefore);
    } else {
      uint16_t type = 0, got = 0, kind = 0xFFFF;
      uint32_t v = 0;
      const uint16_t status = dma_GetValue(op.id, d, p, &type, &got, &v, (op.flags & 8) ? nullptr : &kind);
      Check(KnownStatus(status));
      if (status != 0 || (type != 6 && type != 9) || kind == 0xFFFF) continue;
      const uint8_t* base = kind == 0 ? d : kind == 1 ? d + KESTRELDM_NONDEVMODE_OFFSET : p;
      const size_t recordSize = kind == 0   ? KESTRELDM_DEVMODE_SIZE
                                : kind == 1 ? KESTRELDM_NONDEVMODE_SIZE
                                            : KESTRELDM_PRINTERDATA_SIZE;
      Check(base != nullptr && kind <= 2);
      Check(size_t{v} + got <= recordSize);
      if (type == 6) Check(got >= 1 && base[v + got - 1] == 0);
      else Check(got == KESTRELDM_LOGFONT_SIZE);
    }
  }
  return 0;
}
