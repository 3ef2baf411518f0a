// The constraint engine behind the core's all-settings sweep
// (kestrel/ui/sweep_adapter.h).
#include "kestrel/ui/sweep_adapter.h"

#include "kestrel/core/cdm_lists.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/user32_window.h"

namespace {

BOOL SelectMethod(HCDDD handle, WORD ddmId, void* devmode, void* printerData, WORD* method) {
  if (!method) return 0;
  CDM_SELECT_INFO* info =
      local_CreateSelectInfoExceptItemInfo(handle, nullptr, ddmId, nullptr, devmode, printerData, nullptr);
  if (!info) return 0;
  *method = cdmGetSelMethod(info);
  cdmSelectInfoFree(info);
  return 1;
}

void* AllocConst() { return const_AllocConstData(); }
void FreeConst(void* constData) { const_FreeConstData(static_cast<ConstInfo*>(constData)); }

WORD Update(HWND window, HCDDD handle, void* devmode, void* printerData, WORD ddmId, WORD type,
            const ULONG_PTR* value, void* constData, void* workSlot, BOOL* changed) {
  (void)workSlot;
  if (changed) *changed = 0;
  if (!value || !constData || !changed) return CONST_ERR;
  // Strings and fonts travel by address in the slot, numbers in its low bytes.
  const void* proposed = (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT)
                             ? reinterpret_cast<const void*>(*value)
                             : static_cast<const void*>(value);
  UIWINDATA own{};
  HWND used = window;
  if (!used) {
    own.cbSize = sizeof own;
    own.ddd = handle;
    own.devmode = devmode;
    own.printerData = printerData;
    own.paperUnit = UIWINDATA_UNIT_MM;
    used = reinterpret_cast<HWND>(&own);
    SetWindowLongPtrW(used, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&own));
  }
  auto* info = static_cast<ConstInfo*>(constData);
  WORD r = const_UpdateConstDataX(1, used, handle, devmode, printerData, nullptr, ddmId, type, proposed, info,
                                  nullptr, 0);
  if (!window) KpForgetWindowData(used);
  if (r == CONST_ERR || r == CONST_NOMEM) return r;
  *changed = info->changed != 0;
  return 0;
}

constexpr CDM_SWEEP_OPS kOps = {SelectMethod, AllocConst, FreeConst, Update};

}  // namespace

const CDM_SWEEP_OPS* kui_SweepOps(void) { return &kOps; }

void kui_RegisterSweep(void) { cdm_SetSweepOps(&kOps); }
