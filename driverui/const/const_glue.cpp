// What the property sheets call around the update driver: confirming and
// writing a proposed value, keeping the output bin fit for the paper, and
// asking the user about settings a sweep changed (see kestrel/ui/constraint.h).
#include <string>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/user32_messagebox.h"

namespace {

bool AsksNothing(WORD action) { return action == 0 || action == 4 || action == 9; }

}  // namespace

WORD const_CheckCnst_CnfmMsg_SetDev(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                                    const ConstInfo* info, WORD driverResult, WORD** changed, WORD* changedCount) {
  if (!settings || !proposed || !proposed->value || !info || !changed || !changedCount) return CONST_ERR;
  WORD answer = driverResult;
  if (driverResult == CONST_OK) answer = constDDD_ActionConfirmMsg(window, settings, proposed, info);
  switch (answer) {
    case CONST_ACCEPT:
    case CONST_CHANGED:
      break;
    case CONST_REFUSED:
    case CONST_NOTICE:
      return answer;
    default:
      return CONST_ERR;  // not allowed, cancelled or failed
  }
  // Accepted: the value, then the solutions the driver left to the caller
  // (a rule the user accepted may set the changed setting itself).
  if (cnstUtil_SetDevmodeValue(settings, proposed->ddmId, proposed->type, proposed->value) != CONST_OK)
    return CONST_ERR;
  if (cnstUtil_AddWordArray(proposed->ddmId, CONST_ROOM_CHANGED, changed, changedCount)) return CONST_ERR;
  if (driverResult == CONST_OK && !AsksNothing(info->action)) {
    WORD a = cnstDDD_ApplySolution(1, settings, changed, changedCount, info->rule7Count, info->rule7);
    if (a != CONST_ERR && a != CONST_NOMEM)
      a = cnstDDD_ApplySolution(0, settings, changed, changedCount, info->rule8Count, info->rule8);
    if (a == CONST_ERR || a == CONST_NOMEM) return CONST_ERR;
  }
  return CONST_CHANGED;
}

WORD const_UpdateOutputBin(HWND window, const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount) {
  if (!settings || !settings->ddd || !changed || !changedCount) return CONST_ERR;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR paper = 0;
  if (ddm_GetValue(DDM_PAPERSIZE, settings->devmode, settings->printerData, &type, &size, &paper) != 0)
    return CONST_ERR;
  ConstInfo* scratch = const_AllocConstData();
  if (!scratch) return CONST_NOMEM;
  CONST_VALUE current = {DDM_PAPERSIZE, type, &paper};
  WORD room[10] = {};
  WORD* list = room;
  WORD n = 0;
  WORD r = const_HardUpdateConstData(window, settings, &current, nullptr, scratch, &list, &n);
  const_FreeConstData(scratch);
  if (r == CONST_OK || r == CONST_NORULE) {
    r = CONST_OK;
    for (WORD i = 0; i < n && r == CONST_OK; ++i)
      if (list[i] != DDM_PAPERSIZE) r = cnstUtil_AddWordArray(list[i], CONST_ROOM_CHANGED, changed, changedCount);
  }
  cnstUtil_FreeWordList(list, n, 10);
  return r;
}

WORD const_ShowChengeDevmodeConfirm(HWND window, const CONST_SETTINGS* settings, const WORD* changedIds) {
  if (!settings || !settings->ddd || !changedIds || !*changedIds) return CONST_ERR;
  WORD unit = 0;
  if (!uiGetPaperUnit(window, &unit)) return CONST_ERR;
  WCHAR caption[129] = {};
  if (!resource_LoadString(CONST_STR_CAPTION, caption, 129)) return CONST_ERR;
  WCHAR head[257] = {};
  std::u16string text;
  if (resource_LoadString(CONST_STR_CHANGE_CONFIRM, head, 257)) text = reinterpret_cast<const char16_t*>(head);
  for (const WORD* p = changedIds; *p; ++p) {
    WORD method = 0, count = 0, status = 0;
    LPCWSTR name = nullptr;
    void* list = nullptr;
    if (cdddGetSelectItemInfo(settings->ddd, *p, &method, &count, &name, &list, &status) && name) {
      text += u"\n";
      text += reinterpret_cast<const char16_t*>(name);
    }
    if (list) cdddSelectItemInfoFree(list);
  }
  int answer = MessageBoxW(window, reinterpret_cast<LPCWSTR>(text.c_str()), caption,
                           MB_OKCANCEL | MB_ICONINFORMATION);
  return answer == IDOK ? CONST_CHANGED : CONST_REFUSED;
}
