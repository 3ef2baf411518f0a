// Model A's queue for the document-event fuzz targets: a fresh root with
// the model's files, the driver modules (the string-table library as
// kestrelui.dll, kestreljd, the resource module), model A's printer, and the
// queue taken into use in this process (value access, printer handle,
// description handle, the printer-data record stored). Any step that fails ends the run.
#pragma once

#include <cstdlib>

#include "model_a_queue.h"
#include "model_root.h"
#include "stored_printer_data.h"

namespace kestrel::fuzz {

inline test::ModelAQueue& DocEventQueue() {
  static test::FreshRoot root("kestrel-fuzz-docevent");
  static test::ModelAQueue queue;
  static bool open = [] {
    if (!root.ok() || !test::InstallModelAQueue().empty()) std::abort();
    if (!queue.Open().empty()) std::abort();
    StoreDefaultPrinterData(queue.printer, queue.ddd);
    return true;
  }();
  (void)open;
  return queue;
}

}  // namespace kestrel::fuzz
