// jpeg_GetParam over the input, in a buffer of exactly its size (a read
// past it is caught by the sanitizers). The answer is 0 (then with a
// component count), -1, or non-zero flags; the count is only written on 0.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "pesc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  std::vector<BYTE> bytes(data, data + size);
  constexpr DWORD kUntouched = 0xA5A5A5A5u;
  DWORD components = kUntouched;
  const LONG r = jpeg_GetParam(bytes.empty() ? nullptr : bytes.data(), &components, static_cast<DWORD>(size));
  if (r == 0) {
    Check(components <= 0xFF);
  } else {
    Check(components == kUntouched);
    Check(r == -1 || (r > 0 && r <= (PESC_JPEG_SOI | PESC_JPEG_EOI | PESC_JPEG_NO_FRAME)));
  }
  return 0;
}
