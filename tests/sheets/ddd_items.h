// The places of the printer-information items in a description file, for
// tests that make a description like model A's with other items.
#pragma once

#include <string>
#include <vector>

#include "kplatform/wintypes.h"
#include "kestrel/core/ddd_layout.h"
#include "kplatform/byte_order.h"

namespace kestrel::test::ui {

// The offset of each printer-information item (index = item number).
inline std::vector<size_t> DddItemOffsets(const std::string& file) {
  std::vector<size_t> at;
  size_t p = DDD_PRINTERINFO_OFFSET;
  auto u16 = [&](size_t o) { return static_cast<size_t>(kp_LoadU16(reinterpret_cast<const BYTE*>(&file[o]))); };
  for (const DddPrinterInfoDef& d : DDD_PRINTERINFO_ITEMS) {
    at.push_back(p);
    size_t count = d.count;
    if (count == 0) {
      count = u16(p);
      p += 2;
    }
    for (size_t i = 0; i < count; ++i) p += d.size ? d.size : 2 + u16(p);
  }
  return at;
}

}  // namespace kestrel::test::ui
