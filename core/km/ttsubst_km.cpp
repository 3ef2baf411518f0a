// The TrueType substitution table of the kernel-mode build (see
// kestrel/core/ttsubst.h; the shared part is ttsubst.cpp): the current table
// with the default for the engine's device.
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ttsubst.h"

#include "kestrel/core/ddd.h"
#include "kestrel/core/printerdata.h"

LPWSTR ttsb_CurrentTrueTypeSubstTable(HANDLE printer, DWORD reserved, HDEV engineDevice) {
  LPWSTR table = ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer, reserved);
  if (table || !engineDevice) return table;
  HCDDD ddd = cddd_Open(engineDevice);
  if (!ddd) return nullptr;
  table = ttsb_DefaultTrueTypeSubstTable(ddd);
  cddd_Close(ddd);
  return table;
}
