// Allocation of the devmode forms.
#include <cstring>

#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"

namespace {

DWORD FormSize(WORD kind) { return kind == 1 ? NRV_DEVMODE_SIZE_KIND1 : NRV_DEVMODE_SIZE_FULL; }

}  // namespace

// ---- Allocation and copying ---------------------------------------------------------
void* dmCreateNRVDEVMODE(WORD kind) { return kcore_Alloc(FormSize(kind)); }

DWORD dmGetSizeNRVDEVMODE(WORD kind) { return FormSize(kind); }

void dmCopyNRVDEVMODE(void* destination, const void* source, WORD kind) {
  if (!destination || !source || destination == source) return;
  std::memmove(destination, source, FormSize(kind));
}

WORD dmZeroClearNRVDEVMODE(void* devmode, WORD kind) {
  if (devmode) std::memset(devmode, 0, FormSize(kind));
  return 0;
}

void dmDeleteNRVDEVMODE(void* devmode) { kcore_Free(devmode); }

void* cdm_GetPrivateDataAddr(void* devmode) {
  return devmode ? static_cast<BYTE*>(devmode) + NRV_DEVMODE_PUBLIC_SIZE : nullptr;
}

DWORD cdm_GetExtraSize(void) { return NRV_DEVMODE_SIZE_KIND1 - NRV_DEVMODE_PUBLIC_SIZE; }
