// Setting lists for the user interface (kestrel/core/cdm_lists.h): the handler
// output helpers and the list handlers of both builds. The list operations and
// the selection information are user mode only (core/um/cdm_lists_um.cpp).
#include "kestrel/core/cdm_lists.h"

#include <cstdio>
#include <cstring>

#include "cdm_handlers.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"

#include "cdm_lists_modes.h"

using namespace cdm_lists_modes;

// ---- Handler output helpers and the copies list (both builds: the member
// tables name the handler) ------------------------------------------------------------
void cdmSetParamSelectItemInfoData(WORD method, DWORD count, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args) return;
  args->index = method;
  args->count = count;
  args->type = type;
}

BOOL cdmSetParamSelectItemMaxMinData(LONG minimum, LONG maximum, LONG step, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args || args->index > 2) return 0;
  const LONG v[3] = {minimum, maximum, step};
  args->value = static_cast<ULONG_PTR>(static_cast<DWORD>(v[args->index]));
  args->type = type;
  return 1;
}

BOOL cdmSetParamSelectItemBoolData(LONG off, LONG on, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args || args->index > 1) return 0;
  args->value = static_cast<ULONG_PTR>(static_cast<DWORD>(args->index == 0 ? on : off));
  args->type = type;
  return 1;
}

BOOL cdmSetParamSelectItemInputData(LONG a, LONG b, CDM_MEMBER_ARGS* args) {
  if (!args || args->index > 1) return 0;
  args->value = static_cast<ULONG_PTR>(static_cast<DWORD>(args->index == 0 ? a : b));
  args->type = DDM_TYPE_WORD;
  return 1;
}

BOOL cdmSetParamSelectItemListData(WORD stringId, LPCWSTR name, ULONG_PTR value, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args) return 0;
  args->itemName = nullptr;
  args->itemNameId = 0;
  if (stringId != 0) {
    DWORD id = DWORD(stringId) + args->index;
    if (id > 0xFFFF) return 0;
    args->itemNameId = static_cast<WORD>(id);
  } else {
    args->itemName = name;
  }
  args->value = value;
  args->type = type;
  return 1;
}

WORD cdmHandler_CopiesList(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation == CDM_OP_LISTINFO) {
    cdmSetParamSelectItemInfoData(CDM_SELECT_RANGE, 3, DDM_TYPE_SHORT, args);
    return CDM_RESULT_DONE;
  }
  if (operation == CDM_OP_LISTITEM) {
    WORD maximum = cdddGetMaxCopies(args->ddd);
    if (maximum == 0) return CDM_RESULT_REFUSED;  // no model at hand: no range to offer
    return cdmSetParamSelectItemMaxMinData(1, maximum, 1, DDM_TYPE_SHORT, args) ? CDM_RESULT_DONE
                                                                                : CDM_RESULT_REFUSED;
  }
  return cdmHandler_Copies(operation, args);
}

// The list operations of the enumerated lists are user mode only
// (core/um/cdm_lists_um.cpp); the kernel-mode build answers every operation
// with the member's own handler.
WORD cdmStampNameList(WORD operation, CDM_MEMBER_ARGS* args) {
#if !defined(KESTREL_KERNEL_MODE)
  if (IsListOperation(operation, args)) return ServeStampNames(operation, args);
#endif
  return cdmHandler_StampName(operation, args);
}

WORD cdmFaceName(WORD operation, CDM_MEMBER_ARGS* args) {
#if !defined(KESTREL_KERNEL_MODE)
  if (IsListOperation(operation, args)) return ServeFaceNames(operation, args);
#endif
  return cdmHandler_StampFaceName(operation, args);
}

WORD cdmHeaderFaceName(WORD operation, CDM_MEMBER_ARGS* args) {
#if !defined(KESTREL_KERNEL_MODE)
  if (IsListOperation(operation, args)) return ServeFaceNames(operation, args);
#endif
  return cdmHandler_HeaderFaceName(operation, args);
}
