// Narrow records for kestreldm's tests: a devmode buffer that holds the
// non-devmode record behind the devmode, a printer-data buffer, and small
// wrappers around the exports.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kestreldm/kestreldm.h"

namespace kestreldm_test {

struct Got {
  uint16_t status = 0xFFFF;
  uint16_t type = 0;
  uint16_t size = 0;
  uint32_t value = 0;
  uint16_t kind = 0xFFFF;
  bool operator==(const Got&) const = default;
};

struct Records {
  // Exactly the records' sizes, so that any read past them is caught.
  std::vector<uint8_t> dm = std::vector<uint8_t>(KESTRELDM_DEVMODE_SIZE + KESTRELDM_NONDEVMODE_SIZE);
  std::vector<uint8_t> pd = std::vector<uint8_t>(KESTRELDM_PRINTERDATA_SIZE);

  uint8_t* nondev() { return dm.data() + KESTRELDM_NONDEVMODE_OFFSET; }
  uint8_t* base(uint16_t kind) { return kind == 0 ? dm.data() : kind == 1 ? nondev() : pd.data(); }

  void Fill(uint8_t b) {
    std::memset(dm.data(), b, dm.size());
    std::memset(pd.data(), b, pd.size());
  }
  void Randomize(uint32_t seed) {
    std::mt19937 rng(seed);
    for (auto& b : dm) b = static_cast<uint8_t>(rng());
    for (auto& b : pd) b = static_cast<uint8_t>(rng());
  }

  Got Get(uint16_t id) {
    Got g;
    g.status = dma_GetValue(id, dm.data(), pd.data(), &g.type, &g.size, &g.value, &g.kind);
    return g;
  }
  uint16_t Set(uint16_t id, uint16_t type, uint16_t size, uint32_t value) {
    return dma_SetValue(id, dm.data(), pd.data(), type, size, &value);
  }
  uint16_t SetString(uint16_t id, const std::string& s) {
    return dma_SetValue(id, dm.data(), pd.data(), 6, static_cast<uint16_t>(s.size() + 1), s.c_str());
  }

  uint32_t Load(uint16_t kind, uint32_t offset, uint32_t bytes) {
    uint32_t v = 0;
    std::memcpy(&v, base(kind) + offset, bytes);
    return v;
  }
  void Store(uint16_t kind, uint32_t offset, uint32_t bytes, uint32_t v) {
    std::memcpy(base(kind) + offset, &v, bytes);
  }
};

}  // namespace kestreldm_test
