// Feeds arbitrary bytes to the container reader, then reads every resource
// and every string of an accepted container as the loader would.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rescontainer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The loader keeps containers in 4-byte aligned storage; so does this copy,
  // sized exactly so that reads past the end are caught.
  std::vector<uint32_t> storage((size + 3) / 4);
  if (size != 0) std::memcpy(storage.data(), data, size);
  const auto* bytes = reinterpret_cast<const uint8_t*>(storage.data());

  std::vector<kp::res::Entry> entries;
  if (kp::res::Parse(size != 0 ? bytes : nullptr, size, entries) != kp::res::Status::kOk) return 0;
  volatile uint32_t sink = 0;
  for (const kp::res::Entry& e : entries) {
    if (kp::res::Find(entries, e.type, e.id) != &e) __builtin_trap();
    const uint8_t* p = bytes + e.offset;
    for (uint32_t i = 0; i < e.length; ++i) sink = sink + p[i];
    if (e.type != kp::res::kTypeString) continue;
    for (unsigned index = 0; index < kp::res::kStringsPerBlock; ++index) {
      size_t at = 0;
      uint16_t count = 0;
      if (!kp::res::LocateString(p, e.length, index, at, count)) __builtin_trap();
      if (at + size_t{count} * 2 > e.length) __builtin_trap();
      for (uint16_t k = 0; k < count; ++k) {
        char16_t unit;
        std::memcpy(&unit, p + at + 2 * k, 2);
        sink = sink + unit;
      }
    }
  }
  return 0;
}
