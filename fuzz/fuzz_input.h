// Helpers shared by the fuzz targets: reading typed values off the input,
// and stopping at once when a property of the code under test is broken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrel::fuzz {

// Takes values off the front of the input; past its end the missing bytes
// read as zero.
struct Reader {
  const uint8_t* p;
  size_t n;
  template <typename T>
  T Take() {
    T v{};
    size_t k = n < sizeof(T) ? n : sizeof(T);
    std::memcpy(&v, p, k);
    p += k;
    n -= k;
    return v;
  }
};

// A broken property ends the run as a crash the fuzzer reports.
inline void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace kestrel::fuzz
