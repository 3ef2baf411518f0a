// The base64 decoder and the scrambler on any text: the decoder never
// writes past its capacity nor reads past the length it is given, refuses
// what is not base64 without writing, and whatever the encoder makes
// decodes back to its input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/core/qsp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  if (size == 0 || size > 4096) return 0;
  const LONG n = static_cast<LONG>(size);
  // Exactly the input's bytes, so a read past them is caught.
  std::vector<uint8_t> text(data, data + size);

  LONG cap = QSPB64ToBinAndEncryptBuffSize(n) + 2;
  std::vector<uint8_t> out(static_cast<size_t>(cap) + 16, 0xA5);
  LONG count = -1;
  LONG r = QSPB64ToBin(text.data(), n, out.data(), &count, cap);
  Check(r == QSP_OK || r == QSP_ERR_ROOM || r == QSP_ERR_NOT_B64);
  if (r == QSP_OK) Check(count >= 0 && count <= cap);
  for (size_t i = static_cast<size_t>(cap); i < out.size(); ++i) Check(out[i] == 0xA5);
  if (r == QSP_ERR_NOT_B64)
    for (LONG i = 0; i < cap; ++i) Check(out[static_cast<size_t>(i)] == 0xA5);

  // Scramble and encode, then decode and unscramble: the input comes back.
  LONG encCap = QSPEncryptAndBinToB64BuffSize(n);
  std::vector<char> enc(static_cast<size_t>(encCap));
  LONG encCount = 0;
  Check(QSPEncryptAndBinToB64(text.data(), n, enc.data(), &encCount, encCap) == QSP_OK);
  Check(encCount == (n + 2) / 3 * 4);
  std::vector<uint8_t> back(static_cast<size_t>(encCount));
  LONG backCount = 0;
  Check(QSPB64ToBinAndEncrypt(enc.data(), encCount, back.data(), &backCount, encCount) == QSP_OK);
  Check(backCount == n && std::memcmp(back.data(), text.data(), size) == 0);
  return 0;
}
