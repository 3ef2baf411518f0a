// Wide results held to the range of the 32-bit LONG, header-only.
//
// Coordinates, sizes and metrics are LONGs, but their arithmetic (a product
// of two LONGs, a sum, a scaled length) is done in 64 bits; the result must
// then be brought back into a LONG. The C limits LONG_MIN and LONG_MAX are
// those of the host's `long` (64 bits here), not of LONG, so clamping to
// them and casting wraps: this helper is the one home of that job for every
// layer. Use it wherever a 64-bit result becomes a LONG.
#pragma once

#include <cstdint>
#include <limits>

#include "kplatform/wintypes.h"

// v itself when a LONG holds it, else the nearest end of the LONG range.
constexpr LONG kp_SaturateLong(int64_t v) {
  constexpr int64_t lo = std::numeric_limits<LONG>::min(), hi = std::numeric_limits<LONG>::max();
  return static_cast<LONG>(v < lo ? lo : (v > hi ? hi : v));
}
static_assert(kp_SaturateLong(int64_t{1} << 40) == std::numeric_limits<LONG>::max());
static_assert(kp_SaturateLong(-(int64_t{1} << 40)) == std::numeric_limits<LONG>::min());
static_assert(kp_SaturateLong(-5) == -5);
