// kestrelui's devmode and property-sheet exports: DrvDocumentPropertySheets,
// DrvDevicePropertySheets, DrvDocumentProperties,
// DrvAdvancedDocumentProperties, DrvConvertDevMode, PrinterProperties and
// DevQueryPrintEx, with PsDocumentProperties, their common road. The devmode
// work is kui_services' (kestrel/ui/docprop.h, where the decisions are
// written); each export traces its name on entry and "<name> RetValue = "
// and its result on exit.
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docprop.h"
#include "kplatform/kwindows.h"

#define KESTRELUI_EXPORT extern "C" __attribute__((visibility("default")))

KESTRELUI_EXPORT LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  Logout_InDDIFunctionTraceLog(u"DrvDocumentPropertySheets");
  LONG result = -1;
  if (!info) {
    if (lParam) result = SimpleDocumentProperties(reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam));
  } else if (auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit)) {
    result = CommonPropSheetProc(SHEET_KIND_DOCUMENT, info, lParam, header, PrnPropSheetPageProc);
    if (result == 0 && info->Reason == PROPSHEETUI_REASON_SET_RESULT)
      result = kui_DocumentSetResult(info, reinterpret_cast<const SETRESULT_INFO*>(lParam), header);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvDocumentPropertySheets RetValue = %ld", result);
  return result;
}

KESTRELUI_EXPORT LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  Logout_InDDIFunctionTraceLog(u"DrvDevicePropertySheets");
  LONG result = -1;
  auto* header = info ? reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit) : nullptr;
  if (header) {
    result = CommonPropSheetProc(SHEET_KIND_PRINTER, info, lParam, header, PrnPropSheetPageProc);
    if (result == 0 && info->Reason == PROPSHEETUI_REASON_SET_RESULT)
      result = kui_DeviceSetResult(info, reinterpret_cast<const SETRESULT_INFO*>(lParam), header);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvDevicePropertySheets RetValue = %ld", result);
  return result;
}

LONG PsDocumentProperties(HWND window, HANDLE printer, LPWSTR deviceName, void* output, void* input, DWORD fMode) {
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = deviceName;
  header.pdmIn = input;
  header.pdmOut = output;
  header.fMode = fMode;
  if (!(fMode & DM_PROMPT)) return SimpleDocumentProperties(&header);
  DWORD result = CPSUI_CANCEL;
  if (CallCompstui(window, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header), &result) < 0) return -1;
  return static_cast<LONG>(result);
}

KESTRELUI_EXPORT LONG DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR deviceName, void* output,
                                            void* input, DWORD fMode) {
  Logout_InDDIFunctionTraceLog(u"DrvDocumentProperties");
  LONG result = static_cast<LONG>(NRV_DEVMODE_SIZE_KIND1);
  if (fMode && output) {
    result = PsDocumentProperties(window, printer, deviceName, output, input, fMode);
    if (result == 0)
      result = 2;  // cancelled
    else if (result > 0)
      result = 1;
  }
  Logout_OutDDIFunctionTraceLog(u"DrvDocumentProperties RetValue = %ld", result);
  return result;
}

KESTRELUI_EXPORT LONG DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR deviceName, void* output,
                                                    void* input) {
  Logout_InDDIFunctionTraceLog(u"DrvAdvancedDocumentProperties");
  LONG traced = static_cast<LONG>(NRV_DEVMODE_SIZE_KIND1);
  LONG result = 1;
  if (output) {
    traced = PsDocumentProperties(window, printer, deviceName, output, input, DOCPROP_ADVANCED_MODE);
    result = traced > 0 ? 1 : 0;
  }
  Logout_OutDDIFunctionTraceLog(u"DrvAdvancedDocumentProperties RetValue = %ld", traced);
  return result;
}

KESTRELUI_EXPORT BOOL DrvConvertDevMode(LPWSTR printerName, void* input, void* output, LONG* needed, DWORD mode) {
  Logout_InDDIFunctionTraceLog(u"DrvConvertDevMode");
  BOOL result = FALSE;
  if (!printerName || !needed) {
    SetLastError(ERROR_INVALID_PARAMETER);
  } else if (*needed < static_cast<LONG>(NRV_DEVMODE_SIZE_KIND1)) {
    *needed = static_cast<LONG>(NRV_DEVMODE_SIZE_KIND1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  } else {
    HANDLE printer = nullptr;
    HCDDD ddd = nullptr;
    if (OpenPrinterW(printerName, &printer, nullptr) && printer) {
      ddd = cddd_Open(printer);
      ClosePrinter(printer);
    }
    if (!ddd) {
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      DWORD size = static_cast<DWORD>(*needed);
      LONG r = CommonConvertDevmode(printerName, ddd, input, output, &size, mode);
      *needed = static_cast<LONG>(size);
      if (r == -2) SetLastError(ERROR_INVALID_PARAMETER);
      result = r != -1 && r != -2 ? TRUE : FALSE;
      cddd_Close(ddd);
    }
  }
  // The caller reads the last error of a failure; the trace's file calls
  // must not change it.
  DWORD error = GetLastError();
  Logout_OutDDIFunctionTraceLog(u"DrvConvertDevMode RetValue = %d", result);
  SetLastError(error);
  return result;
}

KESTRELUI_EXPORT BOOL PrinterProperties(HWND window, HANDLE printer) {
  Logout_InDDIFunctionTraceLog(u"PrinterProperties");
  DEVICEPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.Flags = kui_PrinterPermissionFlags(printer);
  DWORD sheet = CPSUI_CANCEL;
  BOOL result = FALSE;
  if (CallCompstui(window, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header), &sheet) >= 0)
    result = sheet != 0 ? TRUE : FALSE;
  Logout_OutDDIFunctionTraceLog(u"PrinterProperties RetValue = %d", result);
  return result;
}

KESTRELUI_EXPORT BOOL DevQueryPrintEx(DEVQUERYPRINT_INFO* info) {
  Logout_InDDIFunctionTraceLog(u"DevQueryPrintEx");
  BOOL result = FALSE;
  if (info) {
    if (info->pDevMode && !wNTc_IsDevmodeOurs(info->pDevMode)) {
      DQPsprintf(resource_get_hInstance(), info->pszErrorStr, info->cchErrorStr, &info->cchNeeded, u"%s",
                 DOCPROP_INVALID_DEVMODE_TEXT);
    } else {
      result = TRUE;
    }
  }
  Logout_OutDDIFunctionTraceLog(u"DevQueryPrintEx RetValue = %d", result);
  return result;
}
