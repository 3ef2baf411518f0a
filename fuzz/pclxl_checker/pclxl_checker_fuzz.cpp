// The checker reads whatever a test hands it: both modes on any bytes, and
// the decoded listing with its text.
#include <cstddef>
#include <cstdint>

#include "pclxl_checker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)pclxl_check::check(data, size, pclxl_check::Mode::Job);
  pclxl_check::Listing listing;
  (void)pclxl_check::check(data, size, pclxl_check::Mode::RendererStream, &listing);
  (void)listing.text();
  return 0;
}
