// Model A's queue taken into use as the user-mode driver takes it: the
// string-table library loaded as "kestrelui.dll", the resource module
// started, the value-access module taken into use, the printer opened and
// its description handle open. Built on InstallModelAQueue (model_root.h).
#pragma once

#include <string>

#include "kestrel/core/cddd.h"
#include "kplatform/kwindows.h"
#include "model_root.h"

namespace kestrel::test {

struct ModelAQueue {
  HMODULE library = nullptr;
  HANDLE printer = nullptr;
  HCDDD ddd = nullptr;

  // Takes the installed queue of `printerName` into use; answers "" or the
  // step that failed (what was done before it stays for Close).
  std::string Open(const char16_t* printerName = kModelAPrinter);
  // Undoes Open: the handle, the printer, every count of the value access
  // and the access the common library was given, the resource module, the
  // library.
  void Close();
};

}  // namespace kestrel::test
