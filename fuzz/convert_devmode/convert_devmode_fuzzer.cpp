// A devmode of any bytes handed to the devmode conversion (mode 1). The
// input is the devmode in a block of exactly its bytes, so a header that
// claims more than is there must never be read past; the room given is
// byte 0 of the input x 32 bytes. Results: 1-3, or -1 with a size of 1556
// when the room is short; the output is the 1556-byte form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "../convert_pd/upgrade_host.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/upgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static UpgradeHost host;
  if (!host.ddd) std::abort();  // the queue could not be set up
  if (size < 1 || size > NRV_DEVMODE_SIZE_CREATEDC + 1) return 0;
  DWORD room = static_cast<DWORD>(data[0]) * 32;
  ++data;
  --size;
  // The conversion takes a devmode of its claimed size: the block is cut to
  // the size its header claims when that is shorter than the input.
  size_t claimed = size;
  if (size >= 72) {
    WORD s = 0, e = 0;
    std::memcpy(&s, data + 68, 2);
    std::memcpy(&e, data + 70, 2);
    if (static_cast<size_t>(s) + e > size) return 0;  // the caller owns the claimed bytes
    claimed = static_cast<size_t>(s) + e;
  } else {
    return 0;
  }
  // The sizes at 68-71 are always there: the block is at least 72 bytes.
  size_t block = claimed < 72 ? 72 : claimed;
  std::unique_ptr<BYTE[]> in(new BYTE[block]);
  std::memcpy(in.get(), data, block);
  std::vector<BYTE> out(room ? room : 1);
  DWORD got = room;
  LONG r = CommonConvertDevmode(u"Scriva K350", host.ddd, in.get(), out.data(), &got, 1);
  if (room < NRV_DEVMODE_SIZE_KIND1) {
    if (r != -1 || got != NRV_DEVMODE_SIZE_KIND1) std::abort();
    return 0;
  }
  if (r < 1 || r > 3 || got != NRV_DEVMODE_SIZE_KIND1) std::abort();
  WORD dmSize = 0, extra = 0;
  std::memcpy(&dmSize, out.data() + 68, 2);
  std::memcpy(&extra, out.data() + 70, 2);
  if (dmSize != NRV_DEVMODE_PUBLIC_SIZE || extra != NRV_DEVMODE_EXTRA) std::abort();
  return 0;
}
