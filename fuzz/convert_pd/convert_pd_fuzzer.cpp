// A stored printer-data record of any bytes goes through the record upgrade.
// The input is the record exactly as read from the queue (its own length);
// the result must be one of 0, 1, 2 and the output a record of 4736 bytes of
// the current version.
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
  if (head[0] != PD_RECORD_SIZE) std::abort();
  if (r != 1 && (head[1] != PD_STRUCT_VERSION || head[2] != PD_DRIVER_VERSION)) std::abort();
  return 0;
}
