// Input: 4 bytes PDL version, 4 bytes capabilities, then the bytes of the
// 5440-byte devmode followed by the 4736-byte printer-data record (missing
// bytes are zero).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kestrel/core/devmode.h"
#include "kestrel/render/jobrec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JOBREC_DEVICE device{};
  if (size < 8) return 0;
  std::memcpy(&device.pdlVersion, data, 4);
  std::memcpy(&device.capabilities, data + 4, 4);
  data += 8;
  size -= 8;
  std::vector<uint8_t> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  const size_t a = size < dm.size() ? size : dm.size();
  std::memcpy(dm.data(), data, a);
  const size_t b = size - a < pd.size() ? size - a : pd.size();
  std::memcpy(pd.data(), data + a, b);

  JOBINFO job{};
  LAYOUTINFO layout{};
  WORD bad = 0;
  if (jobInfo_jobInfo_initAtJobStart(&job, dm.data(), pd.data(), &device, &bad) != JOBREC_OK) return 0;
  jobInfo_layoutInfo_initAtJobStart(&layout, &job, dm.data(), pd.data(), &device, &bad);
  PAGECTRL page{};
  for (int i = 0; i < 70; ++i) {
    _pageCtrl_StartPage_Physical(&page, &job, (i % 7) == 0);
    if (_pageCtrl_nextPage_Logical(&page, &job)) _pageCtrl_nextPage_Physical(&page);
  }
  _pageCtrl_EndJob(&page, &job);
  jobInfo_getPDLVersion_forApplink(job.pdlVersion, dm.data(), pd.data());
  return 0;
}
