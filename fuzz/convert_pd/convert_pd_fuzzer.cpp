// A stored printer-data record of any bytes goes through the record upgrade.
// The input is the record exactly as read from the queue (its own length);
// the result must be one of 0, 1, 2. A record used whole (1) is one of the
// current driver and structure versions, at least 4736 bytes long, and the
// output is its first 4736 bytes exactly, size field and all (the size
// field of a record of the current layout is not checked, as the load does
// not check it); an upgraded record or the defaults (0, 2) carry the current
// head: 4736 and both current versions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "kestrel/core/printerdata.h"
#include "kestrel/core/upgrade.h"
#include "upgrade_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static UpgradeHost host;
  if (!host.ddd) std::abort();  // the queue could not be set up
  if (size > 2 * PD_RECORD_SIZE) return 0;
  std::unique_ptr<BYTE[]> stored(new BYTE[size ? size : 1]);
  if (size) std::memcpy(stored.get(), data, size);
  std::vector<BYTE> out(PD_RECORD_SIZE);
  LONG r = CommonConvertPrinterDataEx(stored.get(), static_cast<DWORD>(size), out.data(), host.ddd);
  if (r < 0 || r > 2) std::abort();
  WORD head[3];
  std::memcpy(head, out.data(), sizeof(head));
  if (r == 1) {
    WORD stored3[3];
    if (size < PD_RECORD_SIZE) std::abort();
    std::memcpy(stored3, data, sizeof(stored3));
    if (stored3[1] != PD_STRUCT_VERSION || stored3[2] != PD_DRIVER_VERSION) std::abort();
    if (std::memcmp(out.data(), data, PD_RECORD_SIZE) != 0) std::abort();
    return 0;
  }
  if (head[0] != PD_RECORD_SIZE || head[1] != PD_STRUCT_VERSION || head[2] != PD_DRIVER_VERSION) std::abort();
  return 0;
}
