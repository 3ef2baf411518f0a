// Loads and stores of 16- and 32-bit values at any byte offset of a stored
// record. The records are little-endian, as is every host this builds for.
#pragma once

#include <cstdint>
#include <cstring>

namespace kestrel {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

}  // namespace kestrel
