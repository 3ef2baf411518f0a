// The DDD compiler's source reader and compiler on arbitrary text: every
// input either compiles or is refused with messages, never crashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dddc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  // Relative includes find nothing below a folder that does not exist.
  kestrel::dddc::Output out = kestrel::dddc::CompileText(text, "fuzz.dds", "/nonexistent-kestrel-fuzz");
  if (out.ok == !out.errors.empty()) __builtin_trap();
  if (!out.ok && (!out.main.empty() || !out.referenced.empty())) __builtin_trap();
  return 0;
}
