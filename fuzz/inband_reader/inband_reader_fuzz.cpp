// The in-band reader walks a stream operator by operator, as the spooler
// side will: every result must stay inside the bytes and make progress.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kestrel/render/xl_inband.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    XlIcRead r = xl_ic_read(data + at, size - at, TRUE);
    if (r.status == XL_IC_INCOMPLETE || r.status == XL_IC_MALFORMED) break;
    if (r.length == 0 || r.length > size - at) std::abort();
    if (r.hasPayload && (r.payload < data + at || r.payload + r.payloadLength > data + at + r.length)) std::abort();
    if (r.status == XL_IC_NOT_INBAND) {
      // skip the operator and any data after it, as a stream parser would
      at += r.length;
      continue;
    }
    at += r.length;
  }
  return 0;
}
