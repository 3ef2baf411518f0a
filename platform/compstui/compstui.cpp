// compstui: the stand-in for the common property-sheet host library
// (compstui.dll). Only CommonPropertySheetUIW is exported; it runs the
// driver's callback through the reasons of one sheet as kplatform/compstui.h
// describes, without pages. Tests install it with
// KpInstallModule("libcompstui.so", nullptr) when they want a host.
#include "kplatform/compstui.h"

namespace {

LONG Call(PFNPROPSHEETUI callback, PROPSHEETUI_INFO* info, WORD reason, LPARAM lParam) {
  info->Reason = reason;
  LONG answer = callback(info, lParam);
  KpCompstuiRecord(reason, answer);
  return answer;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) LONG CommonPropertySheetUIW(HWND, PFNPROPSHEETUI callback,
                                                                             LPARAM lParam, LPDWORD result) {
  if (!callback) return ERR_CPSUI_GETLASTERROR;
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.lParamInit = lParam;
  if (Call(callback, &info, PROPSHEETUI_REASON_INIT, lParam) <= 0) {
    Call(callback, &info, PROPSHEETUI_REASON_DESTROY, 0);
    if (result) *result = CPSUI_CANCEL;
    return ERR_CPSUI_GETLASTERROR;
  }
  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof header;
  Call(callback, &info, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
  SETRESULT_INFO set{};
  set.cbSize = sizeof set;
  set.Result = KpCompstuiUserResult();
  Call(callback, &info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&set));
  Call(callback, &info, PROPSHEETUI_REASON_DESTROY, 1);
  if (result) *result = static_cast<DWORD>(set.Result);
  return 1;
}
