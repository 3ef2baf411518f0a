// A writer context for tests of either build, with everything it sent.
//   kxl_km: the context's output buffer writes through a recording printer
//           write; `writes` holds the size of every printer write.
//   kxl_um: the context's put function appends to the same record.
// `failAt` (1-based) makes that printer write (km) or put (um) fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/render/xl.h"

namespace kxltest {

std::vector<uint8_t> hex(const std::string& text);
std::string toHex(const std::vector<uint8_t>& bytes);

struct Sink {
  std::vector<uint8_t> sent;
  std::vector<uint32_t> writes;
  int calls = 0;
  int failAt = 0;     // 0: never
  bool short_ = false;  // the failing write reports fewer bytes instead of failing
};

class Writer {
 public:
  Writer();
  XlContext* ctx() { return ctx_.get(); }
  Sink& sink() { return sink_; }
  // Everything written so far (the km build flushes its buffer first).
  std::vector<uint8_t> bytes();
  // Forgets what was sent (the state of the context is kept).
  void clear();

 private:
  std::unique_ptr<XlContext> ctx_;
  Sink sink_;
};

#if defined(KXL_BUILD_KM)
constexpr const char* kBuild = "km";
#else
constexpr const char* kBuild = "um";
#endif

}  // namespace kxltest
