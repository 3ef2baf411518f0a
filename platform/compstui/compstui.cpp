// compstui: the stand-in for the common property-sheet host library
// (compstui.dll). Only CommonPropertySheetUIW is exported; it runs the
// driver's callback through the reasons of one sheet and shows the pages the
// callback adds as one property sheet, as kplatform/compstui.h describes.
// Tests install it with KpInstallModule("libcompstui.so", nullptr) when they
// want a host.
#include <vector>

#include "kplatform/comctl32_prsht.h"
#include "kplatform/compstui.h"

namespace {

// The host's record of one sheet: the pages INIT added, while INIT runs.
struct Host {
  std::vector<HPROPSHEETPAGE> pages;
  bool initRunning = false;
};

LONG Call(PFNPROPSHEETUI callback, PROPSHEETUI_INFO* info, WORD reason, LPARAM lParam) {
  info->Reason = reason;
  LONG answer = callback(info, lParam);
  KpCompstuiRecord(reason, answer);
  return answer;
}

LONG_PTR WINAPI ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM) {
  auto* host = static_cast<Host*>(hComPropSheet);
  if (!host || function != CPSFUNC_ADD_HPROPSHEETPAGE || !host->initRunning || !lParam1) return 0;
  if (KpCompstuiTakeFailAdd()) return 0;
  host->pages.push_back(reinterpret_cast<HPROPSHEETPAGE>(lParam1));
  // The page's handle in the host: its place in the list, from 1.
  return static_cast<LONG_PTR>(host->pages.size());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) LONG CommonPropertySheetUIW(HWND owner, PFNPROPSHEETUI callback,
                                                                             LPARAM lParam, LPDWORD result) {
  if (!callback) return ERR_CPSUI_GETLASTERROR;
  Host host;
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.lParamInit = lParam;
  info.hComPropSheet = &host;
  info.pfnComPropSheet = ComPropSheet;
  host.initRunning = true;
  const LONG init = Call(callback, &info, PROPSHEETUI_REASON_INIT, lParam);
  host.initRunning = false;
  if (init <= 0) {
    Call(callback, &info, PROPSHEETUI_REASON_DESTROY, 0);
    for (HPROPSHEETPAGE page : host.pages) DestroyPropertySheetPage(page);
    if (result) *result = CPSUI_CANCEL;
    return ERR_CPSUI_GETLASTERROR;
  }
  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof header;
  header.hWndParent = owner;
  Call(callback, &info, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
  LRESULT user = KpCompstuiUserResult();
  if (!host.pages.empty()) {
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_DEFAULT;
    sheet.hwndParent = owner;
    sheet.hInstance = header.hInst;
    sheet.pszCaption = header.pTitle;
    sheet.nPages = static_cast<UINT>(host.pages.size());
    sheet.phpage = host.pages.data();
    const INT_PTR shown = PropertySheetW(&sheet);  // the sheet destroys the pages
    host.pages.clear();
    if (shown < 0) {
      Call(callback, &info, PROPSHEETUI_REASON_DESTROY, 0);
      if (result) *result = CPSUI_CANCEL;
      return ERR_CPSUI_GETLASTERROR;
    }
    user = shown > 0 ? CPSUI_OK : CPSUI_CANCEL;
  }
  SETRESULT_INFO set{};
  set.cbSize = sizeof set;
  set.Result = user;
  Call(callback, &info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&set));
  Call(callback, &info, PROPSHEETUI_REASON_DESTROY, 1);
  if (result) *result = static_cast<DWORD>(set.Result);
  return 1;
}
