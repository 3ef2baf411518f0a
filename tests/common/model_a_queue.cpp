#include "model_a_queue.h"

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/winspool_printer.h"

namespace kestrel::test {

std::string ModelAQueue::Open(const char16_t* printerName) {
  library = LoadLibraryW(u"kestrelui.dll");
  if (!library) return "LoadLibraryW kestrelui.dll";
  resource_startToUse(library, nullptr);
  if (ddm_AccessInit(library) != 1) return "ddm_AccessInit";
  std::u16string name = printerName;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return "OpenPrinterW";
  ddd = cddd_Open(printer);
  if (!ddd) return "cddd_Open";
  return "";
}

void ModelAQueue::Close() {
  if (ddd) cddd_Close(ddd);
  if (printer) ClosePrinter(printer);
  while (ddm_AccessCount() > 0) ddm_AccessEnd();
  zanLib_SetValueAccess(nullptr, nullptr);
  resource_finishToUse();
  if (library) FreeLibrary(library);
  ddd = nullptr;
  printer = nullptr;
  library = nullptr;
}

}  // namespace kestrel::test
