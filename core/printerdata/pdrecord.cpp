// The printer-data record in the queue's printer data (see
// kestrel/core/printerdata.h): the load, the same in both builds. The store,
// the per-user step and the checks are user mode only (core/um/pdrecord_um.cpp);
// the conversion of an older record differs between the builds
// (core/um/pdrecord_um.cpp, core/km/pdrecord_km.cpp).
#include <cstring>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/printerdata.h"
#include "pdrecord_modes.h"

using namespace pdrecord_modes;

namespace {

bool BuildDefaults(HCDDD ddd, BYTE* record) {
  void* devmode = kcore_Alloc(NRV_DEVMODE_SIZE_FULL);
  if (!devmode) return false;
  bool ok = cdm_SetDefaultDevmode(ddd, devmode, record, u"DummyName") == 1;
  kcore_Free(devmode);
  return ok;
}

}  // namespace

namespace pdrecord_modes {

WORD HeadWord(const BYTE* record, size_t offset) {
  WORD w = 0;
  std::memcpy(&w, record + offset, sizeof(w));
  return w;
}

// The load behind pd_GetPrinterDataEx; readFailed tells a stored copy that
// could not be read (an error of the printer data) from one that was read
// but is of no use (a record that cannot be converted).
BOOL LoadRecord(HANDLE printer, void* record, HCDDD ddd, DWORD* source, bool* readFailed) {
  *readFailed = false;
  *source = PD_SOURCE_NONE;
  if (!printer || !record || !ddd) return FALSE;
  auto* out = static_cast<BYTE*>(record);

  DWORD error = ERROR_SUCCESS;
  DWORD storedSize = 0;
  BYTE* stored = nullptr;
  bool filled = false;
  bool failed = false;
  if (zanGetPrinterDataFromRegistryEx(printer, ZAN_KIND_PRINTERDATA, nullptr, &storedSize, &error) &&
      storedSize > ZAN_CHUNK_MAX * ZAN_CHUNK_BYTES) {
    failed = true;  // no such value can be read: never allocated
    *readFailed = true;
  } else if (error == ERROR_SUCCESS) {
    DWORD capacity = storedSize > PD_RECORD_SIZE ? storedSize : PD_RECORD_SIZE;
    stored = static_cast<BYTE*>(kcore_Alloc(capacity));
    if (!stored) return FALSE;
    DWORD read = capacity;
    if (!zanGetPrinterDataFromRegistryEx(printer, ZAN_KIND_PRINTERDATA, stored, &read, &error) ||
        read < sizeof(PD_RECORD_HEAD)) {
      failed = true;
      *readFailed = true;
    } else {
      storedSize = read;
    }
  } else if (error != ERROR_FILE_NOT_FOUND) {
    failed = true;
    *readFailed = true;
  }

  bool current = stored && !failed && HeadWord(stored, offsetof(PD_RECORD_HEAD, driverVersion)) == PD_DRIVER_VERSION;
  if (current && storedSize < PD_RECORD_SIZE) {
    // A short record of this version is laid over the defaults.
    if (BuildDefaults(ddd, out)) {
      std::memcpy(out, stored, storedSize);
      std::memcpy(stored, out, PD_RECORD_SIZE);
      storedSize = PD_RECORD_SIZE;
    } else {
      failed = true;
    }
  }
  if (stored && !failed) {
#if !defined(KESTREL_KERNEL_MODE)
    LoadUserSettings(printer, ddd, stored);
#endif
    if (current) {
      std::memcpy(out, stored, PD_RECORD_SIZE);
      filled = true;
    } else if (Convert(printer, ddd, stored, storedSize, out)) {
      filled = true;
    } else {
      failed = true;  // an older record that cannot be converted is kept as it is
    }
  }

  bool ok = filled;
  if (!filled) ok = BuildDefaults(ddd, out);
  if (ok) PreConfig_SetAllDataToDDM(ddd->preConfig, nullptr, out, 1);
  kcore_Free(stored);
  if (ok) *source = filled ? PD_SOURCE_STORED : failed ? PD_SOURCE_DEFAULTS_FAILED : PD_SOURCE_DEFAULTS;
  return ok ? TRUE : FALSE;
}

}  // namespace pdrecord_modes

BOOL pd_GetPrinterDataEx(HANDLE printer, void* record, HCDDD ddd, DWORD* source) {
  DWORD dummy = 0;
  bool readFailed = false;
  return LoadRecord(printer, record, ddd, source ? source : &dummy, &readFailed);
}
