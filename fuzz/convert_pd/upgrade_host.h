// A queue of model K350 in a fresh root for the upgrade fuzz targets: the
// model pair, the driver's string library as "kestrelui.dll", the value
// access module, a printer and an open description handle.
#pragma once

#include <kplatform/kernel32_module.h>
#include <kplatform/root.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_monitor.h>
#include <kplatform/winspool_printer.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"

struct UpgradeHost {
  std::string root;
  HANDLE printer = nullptr;
  HMODULE library = nullptr;
  HCDDD ddd = nullptr;
  UpgradeHost() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()) || !KpSetRoot(pattern.c_str())) return;
    root = pattern;
    if (!KpInstallModule(KFZ_MODELS_DIR "/K350.DDD", u"K350.DDD") ||
        !KpInstallModule(KFZ_MODELS_DIR "/K350RES.DDD", u"K350RES.DDD") ||
        !KpInstallModule("libkui_testhost.so", u"kestrelui.dll") || !KpInstallModule("libkestreljd.so", nullptr) ||
        !KpInstallModule("kestrelrs.zrs", nullptr))
      return;
    std::u16string name = u"Scriva K350";
    if (!KpSpoolerAddPrinter(name.c_str(), u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"kestrelui.dll")) return;
    library = LoadLibraryW(u"kestrelui.dll");
    if (!library) return;
    resource_startToUse(library, nullptr);
    if (ddm_AccessInit(library) != 1) return;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) return;
    ddd = cddd_Open(printer);
  }
  ~UpgradeHost() {
    if (ddd) cddd_Close(ddd);
    if (printer) ClosePrinter(printer);
    while (ddm_AccessCount() > 0) ddm_AccessEnd();
    zanLib_SetValueAccess(nullptr, nullptr);
    resource_finishToUse();
    if (library) FreeLibrary(library);
    std::error_code ec;
    if (!root.empty()) std::filesystem::remove_all(root, ec);
  }
};
