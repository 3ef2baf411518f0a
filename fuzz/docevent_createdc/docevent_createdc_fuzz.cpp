// CREATEDCPRE with an application's devmode: the input is the devmode's
// bytes; the buffer is exactly dmSize + dmDriverExtra bytes (at least the
// size words themselves), zero-filled past the input. PRE answers 1 or -1;
// a block it makes is a 5464-byte devmode with the marker and is freed by
// POST; nothing is left.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../docevent_host.h"
#include "../fuzz_input.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  kestrel::test::ModelAQueue& q = kestrel::fuzz::DocEventQueue();
  constexpr size_t kSizeWords = offsetof(DEVMODEW, dmDriverExtra) + 2;
  uint8_t head[kSizeWords] = {};
  std::memcpy(head, data, size < kSizeWords ? size : kSizeWords);
  size_t claimed = static_cast<size_t>(kp_LoadU16(head + offsetof(DEVMODEW, dmSize))) +
                   kp_LoadU16(head + offsetof(DEVMODEW, dmDriverExtra));
  if (claimed < kSizeWords) claimed = kSizeWords;
  std::vector<uint8_t> devmode(claimed, 0);
  std::memcpy(devmode.data(), data, size < claimed ? size : claimed);
  size_t blocks = KpGlobalBlockCount();
  void* out = nullptr;
  int r = _commonCreateAndResetDCPre(q.printer, devmode.data(), &out);
  Check(r == 1 || r == -1);
  if (out) {
    Check(r == 1);
    const auto* b = static_cast<const uint8_t*>(out);
    Check(kp_LoadU16(b + KM_TRAILER_MARKER) == KM_TRAILER_MARKER_VALUE);
    Check(kp_LoadU16(b + offsetof(DEVMODEW, dmDriverExtra)) == KM_CREATEDC_DRIVER_EXTRA);
  }
  _commonCreateAndResetDCPost(q.printer, &out);
  Check(out == nullptr);
  Check(KpGlobalBlockCount() == blocks);
  return 0;
}
