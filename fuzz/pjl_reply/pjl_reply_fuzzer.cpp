// The language monitor's PJL reply parser and IEEE 1284 device-id scan over
// arbitrary back-channel bytes. The first byte chooses how the rest is cut
// into reads (the parser must give the same records however it is fed) and
// whether it goes to the device-id scan instead.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lm.h"

namespace {

struct Parser {
  CRITICAL_SECTION cs;
  lm::Status st;
  Parser() {
    InitializeCriticalSection(&cs);
    if (!lm::StatusInit(&st, &cs)) std::abort();
  }
  ~Parser() {
    lm::StatusFree(&st);
    DeleteCriticalSection(&cs);
  }
};

bool SameRecords(lm::Status& a, lm::Status& b) {
  for (DWORD i = 0; i < a.recordCount; ++i)
    if (std::memcmp(a.records[i].data, b.records[i].data, a.records[i].size) != 0) return false;
  return a.pendingCount == b.pendingCount && a.heldLen == b.heldLen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!lm::HeapInit() || size == 0 || size > 1 << 16) return 0;
  uint8_t mode = data[0];
  const char* text = reinterpret_cast<const char*>(data + 1);
  DWORD len = static_cast<DWORD>(size - 1);
  if (mode & 0x80) {
    Parser p;
    lm::ScanDeviceId(&p.st, text, len);
    return 0;
  }
  Parser whole, pieces;
  lm::Feed(&whole.st, text, len);
  DWORD step = (mode & 0x3F) + 1;
  for (DWORD at = 0; at < len; at += step) lm::Feed(&pieces.st, text + at, len - at < step ? len - at : step);
  if (!SameRecords(whole.st, pieces.st)) std::abort();
  if (whole.st.heldLen > lm::kHeldCap || whole.st.pendingCount > lm::kPendingCap) std::abort();
  return 0;
}
