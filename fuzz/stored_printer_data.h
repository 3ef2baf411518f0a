// The queue's stored printer-data record, as an installed printer has it
// (the printer's upgrade stores it): the model's defaults read once and
// saved. Any failure ends the run.
//
// Decision: the queue-based fuzz targets store the record in their set-up.
// Without it every call that reads the printer data built the model's
// defaults afresh from the description data (a walk over every value of
// the model), which was most of what an input cost; with it the call reads
// the stored copy. The record is the defaults, so what the driver does with
// it is the same; building the defaults stays covered by the targets that
// read the description data themselves (ddd_reader, convert_pd and the
// devmode targets).
#pragma once

#include <cstdlib>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/kwindows.h"

namespace kestrel::fuzz {

inline void StoreDefaultPrinterData(HANDLE printer, HCDDD ddd) {
  std::vector<BYTE> record(PD_RECORD_SIZE);
  DWORD source = PD_SOURCE_NONE;
  if (!pd_GetPrinterDataEx(printer, record.data(), ddd, &source) || source != PD_SOURCE_DEFAULTS ||
      !pd_SetPrinterData(printer, record.data(), ddd, 1) || !pd_GetPrinterDataEx(printer, record.data(), ddd, &source) ||
      source != PD_SOURCE_STORED)
    std::abort();
}

}  // namespace kestrel::fuzz
