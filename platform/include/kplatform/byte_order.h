// Little-endian loads and stores at any byte address, header-only.
//
// Stored records, device description images, resource containers and the
// printer language all keep their numbers little-endian, often at odd
// offsets. These helpers assemble the bytes explicitly, so they are correct
// whatever the host's byte order and never read an unaligned object. They are
// the one home of this job for every layer (platform, core in both builds,
// the kernel-mode renderer, the monitor, the user interface, the tools): do
// not write another `p[0] | (p[1] << 8)` or memcpy-into-an-integer helper.
#pragma once

#include <cstdint>

inline uint16_t kp_LoadU16(const void* at) {
  const auto* p = static_cast<const uint8_t*>(at);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t kp_LoadU32(const void* at) {
  const auto* p = static_cast<const uint8_t*>(at);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t kp_LoadI16(const void* at) { return static_cast<int16_t>(kp_LoadU16(at)); }
inline int32_t kp_LoadI32(const void* at) { return static_cast<int32_t>(kp_LoadU32(at)); }

inline void kp_StoreU16(void* at, uint16_t v) {
  auto* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void kp_StoreU32(void* at, uint32_t v) {
  auto* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
