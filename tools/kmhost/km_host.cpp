#include "km_host.h"

#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool.h>

#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"

namespace kestrel::kmhost {
namespace {

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The model's default devmode in the form the document events hand over at
// CreateDC: dmDriverExtra 5244 and the marker 24 at offset 5440. Built with
// the kernel build of the devmode core, as the renderer builds its defaults.
bool CreateDcDevmode(const std::u16string& dataFile, const char16_t* printerName, std::vector<BYTE>& dm) {
  resource_startToUse(nullptr, (std::u16string(kDriverDir) + u"kestrelkm.dll").c_str());
  HCDDD h = cddd_OpenFile(dataFile.c_str());
  bool ok = false;
  if (h) {
    std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
    dm.assign(NRV_DEVMODE_SIZE_CREATEDC, 0);
    ok = cdm_SetDefaultDevmode(h, dm.data(), pd.data(), printerName) == 1;
    cddd_Close(h);
  }
  resource_finishToUse();
  WORD extra = NRV_DEVMODE_EXTRA_CREATEDC, marker = 24;
  if (ok) {
    std::memcpy(&dm[70], &extra, 2);
    std::memcpy(&dm[NRV_DEVMODE_SIZE_FULL], &marker, 2);
  }
  return ok;
}

}  // namespace

bool Queue::Open(const std::string& modelsDir, const std::string& model, const char16_t* printerName) {
  for (const std::string& f : {model + ".DDD", model + "RES.DDD"}) {
    std::u16string name = Wide(f);
    if (!KpInstallModule((modelsDir + "/" + f).c_str(), name.c_str())) {
      error = "cannot install " + modelsDir + "/" + f;
      return false;
    }
  }
  if (!KpInstallModule("libkestrelkm.so", nullptr) || !KpInstallModule("kestrelrs.zrs", nullptr)) {
    error = "cannot install kestrelkm or the resource module";
    return false;
  }
  const std::u16string dataFile = std::u16string(kDriverDir) + Wide(model + ".DDD");
  if (!CreateDcDevmode(dataFile, printerName, devmode)) {
    error = "the model's defaults could not be built";
    return false;
  }
  const std::u16string data = Wide(model + ".DDD");
  const std::u16string config = Wide(model + ".cfg");
  if (!KpSpoolerAddPrinter(printerName, printerName, data.c_str(), config.c_str(), u"kestrelkm.dll")) {
    error = "cannot add the spooler printer";
    return false;
  }
  const std::u16string driverPath = std::u16string(kDriverDir) + u"kestrelkm.dll";
  KP_ENGINE_PRINTER_INFO info{printerName, driverPath.c_str(), dataFile.c_str()};
  printer = KpEngineCreatePrinter(&info);
  driver = printer ? KpEngineLoadDriver(u"kestrelkm") : nullptr;
  if (!driver) {
    error = "kestrelkm does not load (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

Queue::~Queue() {
  if (driver) KpEngineUnloadDriver(driver);
  if (printer) KpEngineDeletePrinter(printer);
}

}  // namespace kestrel::kmhost
