// The device description handle of the user-mode build (see
// kestrel/core/cddd.h; the shared part is cddd.cpp): the file named by the
// printer driver's information (opening it is core/um/cddd_open_um.cpp).
#include "kestrel/core/cddd.h"

#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kplatform/kwindows.h"

#include "../handle/cddd_modes.h"

using namespace cddd_modes;

LPWSTR cdddGetFileName(HANDLE printer) {
  if (!printer) return nullptr;
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  if (needed < sizeof(DRIVER_INFO_2W)) return nullptr;
  auto* buffer = static_cast<LPBYTE>(kcore_Alloc(needed));
  if (!buffer) return nullptr;
  LPWSTR name = nullptr;
  if (GetPrinterDriverW(printer, nullptr, 2, buffer, needed, &needed)) {
    DRIVER_INFO_2W info{};
    std::memcpy(&info, buffer, sizeof info);
    if (info.pDataFile && info.pDataFile[0]) name = Duplicate(info.pDataFile);
  }
  kcore_Free(buffer);
  return name;
}
