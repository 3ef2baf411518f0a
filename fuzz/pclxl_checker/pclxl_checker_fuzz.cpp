// The checker reads whatever a test hands it: both modes on any bytes.
#include <cstddef>
#include <cstdint>

#include "pclxl_checker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)pclxl_check::check(data, size, pclxl_check::Mode::Job);
  (void)pclxl_check::check(data, size, pclxl_check::Mode::RendererStream);
  return 0;
}
