// Allocation of the devmode forms, the member handlers fixed with the layout,
// and the dispatch of member operations to descriptors.
#include <cstring>

#include "ddm_internal.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/kcore_sys.h"

namespace {

DWORD FormSize(WORD kind) { return kind == 1 ? NRV_DEVMODE_SIZE_KIND1 : NRV_DEVMODE_SIZE_FULL; }

// A member whose acceptable values are a short fixed list; def is the
// default (0: the device description data gives it).
struct ValueList {
  DWORD def;
  DWORD values[3];
  DWORD count;
};

WORD ServeList(const ValueList& list, WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  auto allowed = [&](ULONG_PTR v) {
    for (DWORD i = 0; i < list.count; ++i)
      if (list.values[i] == v) return true;
    return false;
  };
  switch (operation) {
    case CDM_OP_DEFAULT:
      if (list.def == 0) return CDM_RESULT_DDD;
      args->value = list.def;
      return CDM_RESULT_DONE;
    case CDM_OP_CHECK: {
      WORD type;
      DWORD size;
      ULONG_PTR v = 0;
      if (dmaCore_GetValue(DMA_RULES_KERNEL, args->ddmId, args->devmode, args->printerData, &type, &size, &v,
                           nullptr) != DMA_OK)
        return CDM_RESULT_REFUSED;
      // Signed 16-bit members compare as their stored bits.
      return allowed(v) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
    }
    case CDM_OP_LISTINFO: args->count = list.count; return CDM_RESULT_DONE;
    case CDM_OP_LISTITEM:
      if (args->index >= list.count) return CDM_RESULT_REFUSED;
      args->value = list.values[args->index];
      return CDM_RESULT_DONE;
    case CDM_OP_ALLOWED: return allowed(args->value) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
    default: return CDM_RESULT_REFUSED;
  }
}

}  // namespace

// ---- Handlers -----------------------------------------------------------------
WORD cdmHandler_SpecVersion(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_SPEC_VERSION, {NRV_SPEC_VERSION}, 1};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DevmodeSize(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DEVMODE_PUBLIC_SIZE, {NRV_DEVMODE_PUBLIC_SIZE, NRV_DEVMODE_SIZE_KIND1, 212}, 3};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DriverExtra(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DEVMODE_EXTRA, {NRV_DEVMODE_EXTRA, NRV_DEVMODE_EXTRA_CREATEDC}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DriverVersion(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DRIVER_VERSION, {NRV_DRIVER_VERSION}, 1};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_Orientation(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {0, {1, 2}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_Color(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {0, {1, 2}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_AcceptAll(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  return operation == CDM_OP_ALLOWED ? CDM_RESULT_DONE : CDM_RESULT_DDD;
}

// ---- Dispatch -------------------------------------------------------------------
WORD cdmDispatchMember(WORD ddmId, WORD operation, CDM_MEMBER_ARGS* args) {
  const CDM_MEMBER_ENTRY* entry = cdmSerchDmDataFuncTbl(ddmId);
  if (!entry) return CDM_RESULT_NOMEMBER;
  const CDM_MEMBER_DESC* desc = entry->desc;
  if (!desc) return CDM_RESULT_DDD;
  if ((operation == CDM_OP_DEFAULT || operation == CDM_OP_CHECK) && !(desc->operations & operation))
    return CDM_RESULT_DDD;
  if (operation == CDM_OP_DEFAULT && desc->staticDefault && (desc->staticDefault->flags & 1)) {
    if (!args) return CDM_RESULT_REFUSED;
    args->value = desc->staticDefault->value;
    return CDM_RESULT_DONE;
  }
  if (!desc->handler) return CDM_RESULT_NOMEMBER;
  return desc->handler(operation, args);
}

BOOL wNTc_IsDevmodeOurs(void* devmode) {
  if (!devmode) return 0;
  static constexpr WORD kChecked[] = {DDM_SPECVERSION, DDM_SIZE, DDM_DRIVEREXTRA, DDM_PRIVATE_DRIVERVERSION};
  for (WORD id : kChecked) {
    CDM_MEMBER_ARGS args{};
    args.ddmId = id;
    args.devmode = devmode;
    if (cdmDispatchMember(id, CDM_OP_CHECK, &args) != CDM_RESULT_DONE) return 0;
  }
  return 1;
}

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
