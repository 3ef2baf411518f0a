// Arbitrary bytes as a devmode and printer-data record handed in from
// outside: the validation of foreign devmodes, the standard member checks
// under both operations, the derived members and the copy of a stored
// devmode, against model A's description data. Nothing may read or write
// outside the records, whatever they hold.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "../model_a_host.h"

namespace {

HCDDD Handle() {
  static HCDDD handle = kestrel::fuzz::OpenModelA();
  return handle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HCDDD h = Handle();
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  size_t n = std::min(size, dm.size());
  std::memcpy(dm.data(), data, n);
  if (size > n) std::memcpy(pd.data(), data + n, std::min(size - n, pd.size()));

  cdm_IsDevmode(h, dm.data(), pd.data());
  wNTc_IsDevmodeOurs(dm.data());
  for (WORD id : {12, 13, 16, 7, 17, 22, 15, 11, 18, 23, 8, 24, 259, 1, 19})
    for (WORD op : {CDM_OP_CHECK, CDM_OP_ALLOWED}) {
      cdmPublicDataCheck(h, dm.data(), pd.data(), id, op);
      cdmCheckData(h, id, dm.data(), pd.data(), op);
    }
  cdmColorCapabilityTodmColor(dm.data(), pd.data());
  cdmConvertTTOptionAndFontType(dm.data(), pd.data(), 17);
  cdmConvertTTOptionAndFontType(dm.data(), pd.data(), 0);
  cdmIcmModeToIcmMethod(dm.data(), pd.data());
  cdmApplicationZoomToDmScale(dm.data());
  cdmEnableDmPaperWidthLength(dm.data());
  cdmDefaultSourceToInputBin(dm.data(), pd.data());
  cdmInputBinToDefaultSource(dm.data(), pd.data());
  cdmAdjustObjectSet(dm.data(), pd.data());
  WORD width = 0, length = 0;
  WCHAR name[15];
  for (WORD paper : {262, 301, 256}) cdmSearchDefineInfo(dm.data(), pd.data(), paper, 2, &width, &length, name, 15);

  // The same bytes as a stored devmode of exactly the size it claims.
  if (size >= 72) {
    WORD storedSize = 0, extra = 0;
    std::memcpy(&storedSize, data + 68, 2);
    std::memcpy(&extra, data + 70, 2);
    size_t claimed = std::max<size_t>(size_t(storedSize) + extra, 72);
    std::vector<BYTE> stored(claimed);
    std::memcpy(stored.data(), data, std::min(size, claimed));
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_FULL);
    cdmCopyStoredDevmode(stored.data(), out.data());
  }
  return 0;
}
