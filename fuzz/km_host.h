// Model A's printer for the renderer's fuzz targets: a fresh root with
// kestrelkm and the model installed, the printer made for the engine runner,
// the driver loaded, and the CreateDC devmode from the model's defaults
// (driver extra and the full-size marker set). Any failure ends the run.
#pragma once

#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "model_root.h"

namespace kestrel::fuzz {

inline constexpr char16_t kKmPrinter[] = u"Scriva K350 PCL6";

struct KmHost {
  HANDLE printer = nullptr;
  KP_ENGINE_DRIVER* driver = nullptr;
  std::vector<BYTE> devmode = std::vector<BYTE>(NRV_DEVMODE_SIZE_CREATEDC);
};

// Made once a process, in a root named after the target.
inline KmHost MakeKmHost(const char* rootName) {
  static kestrel::test::FreshRoot root(rootName);
  KmHost h;
  if (!root.ok() || !KpInstallModule("libkestrelkm.so", nullptr) || !KpInstallModule("kestrelrs.zrs", nullptr) ||
      !kestrel::test::InstallModelFiles(kestrel::test::kModelA).empty())
    std::abort();
  const std::u16string dir = kestrel::test::kDriverDirW;
  resource_startToUse(nullptr, (dir + u"kestrelkm.dll").c_str());
  if (!KpSpoolerAddPrinter(kKmPrinter, kKmPrinter, u"K350.DDD", u"K350.cfg", u"kestrelkm.dll")) std::abort();
  const std::u16string driverPath = dir + u"kestrelkm.dll", dataPath = dir + u"K350.DDD";
  KP_ENGINE_PRINTER_INFO info{kKmPrinter, driverPath.c_str(), dataPath.c_str()};
  h.printer = KpEngineCreatePrinter(&info);
  h.driver = KpEngineLoadDriver(u"kestrelkm");
  HCDDD model = cddd_OpenFile(dataPath.c_str());
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  if (!h.printer || !h.driver || !model || !cdm_SetDefaultDevmode(model, h.devmode.data(), pd.data(), kKmPrinter))
    std::abort();
  cddd_Close(model);
  const WORD extra = NRV_DEVMODE_EXTRA_CREATEDC, marker = 24;
  std::memcpy(&h.devmode[70], &extra, 2);  // dmDriverExtra
  std::memcpy(&h.devmode[NRV_DEVMODE_SIZE_FULL], &marker, 2);
  return h;
}

}  // namespace kestrel::fuzz
