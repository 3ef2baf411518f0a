// Devmode emulation of the kernel-mode build (see kestrel/core/dme.h; the
// shared part is dme.cpp): no emulation tables are read, the handle stays
// disabled.
#include "kestrel/core/dme.h"

void* DMETbl_CreateDmeHandle(LPCWSTR file, int section) {
  DME_HANDLE* h = nullptr;
  if (dme_CreateDMEHandle(&h) != DME_OK) return nullptr;
  (void)file, (void)section;
  return h;
}
