// Opening the device description data for the driver (see
// kestrel/core/cddd_open.h); finding the file of a printer differs between
// the builds (core/um/cddd_open_um.cpp, core/km/cddd_open_km.cpp).
#include "kestrel/core/cddd_open.h"

#include "kestrel/core/zanlib.h"

HCDDD cddd_OpenFile(LPCWSTR dataFile) {
  zanLib_InstallDddSeams();
  return cddd_OpenDataFile(dataFile);
}
