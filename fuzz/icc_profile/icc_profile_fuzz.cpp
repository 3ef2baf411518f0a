// The colour engine's ICC profile reader: the bytes are a profile file read
// through the platform's file calls. Whatever they hold, the reader answers
// 0 or a negative code, a refused block copies its pixels, an accepted one
// converts them, and disposing frees everything.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "kestrel/spool/cil.h"
#include "model_root.h"

namespace {

const std::string& ProfileHost() {
  static kestrel::test::FreshRoot root("kestrel-fuzz-icc");
  static const std::string path = [] {
    if (!root.ok()) std::abort();
    return root.path() + "/c/profile.icc";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(ProfileHost(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CIL_CST_PARAM block{};
  const int rc = cil_Create_CST_Param_Prof(&block, "C:\\profile.icc");
  if (rc > 0) std::abort();
  if (rc != 0 && (block.mode != CIL_MODE_COPY || block.table != nullptr)) std::abort();
  BYTE pixels[8 * 3];
  for (size_t i = 0; i < sizeof pixels; ++i) pixels[i] = static_cast<BYTE>(i * 37);
  BYTE out[sizeof pixels];
  cil_CST_Conv_sBGR(&block, pixels, out, 8);
  if (rc != 0 && std::memcmp(pixels, out, sizeof pixels) != 0) std::abort();
  cil_Dispose_CST_Param(&block);
  return 0;
}
