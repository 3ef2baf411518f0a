// kestrelui's entry point: library attach and detach.
//
// The platform's loader calls a module's exported DllMain (attach 1 on the
// first load, detach 0 on the last free) and nothing else, so the library
// exports DllMain as the loader's entry and DllInitialize under its own name
// as well; DllMain only calls DllInitialize.
//
// Attach, in this order: open the trace log, trace "DllInitialize_ATTACH" in,
// start the resource module with the library's own handle, load the
// devmode-access module (reference counted), register the core's seams (see
// RegisterSeams and the list in kestrel/core/seams.h), write the system
// TrueType family list file with a zero-filled 996-byte work block (not
// written when the block cannot be had), trace "DllInitialize_ATTACH" out.
// Detach, in this order: trace "DllInitialize_DETACH" in, stop the resource
// module, release the devmode-access module, take the seams back, trace
// "DllInitialize_DETACH" out, close the trace log.
// Thread attach and detach do nothing. The answer is 1 for every reason: no
// step's failure unloads the library; later operations report their own
// failures (value reads answer 16 without the devmode-access module).
//
// Decisions:
//  - The seams are registered right after the devmode-access module is
//    loaded, so that everything the attach does afterwards (and every later
//    call) finds them, and are taken back at detach right after the module is
//    released, before the trace log closes. The core keeps one registration
//    of each, so they are set once per process attach and cleared once.
//  - The trace log's switches come from kestrel.cfg in the driver directory,
//    and the core learns that directory from the resource module, which only
//    starts in step 3. So the log is opened first as ordered, and when it
//    found no switches the switches are read again right after the resource
//    module started; if they turn the log on it is opened then and the
//    attach's entry line is written at that point. Without this the log
//    stayed off for the process's whole life whatever kestrel.cfg said.
//    The detach closes it once, as it was opened once.
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/seams.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/stamp.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kestrel/core/systtf.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kwindows.h"

#define KESTRELUI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr DWORD kReasonDetach = 0;
constexpr DWORD kReasonAttach = 1;
constexpr size_t kWorkBlockBytes = 996;

// ---- The per-user store for the printer-data record (kestrel/core/printerdata.h)
// The core's slots take untyped user-setting records; these adapters hand
// them to the typed functions of kestrel/ui/usersetting.h.
BOOL StoreGetInfo(HANDLE printer, HCDDD ddd, const void* record, void* setting) {
  return GetCurrentUserSettingInfo(printer, ddd, record, static_cast<USERSETTINGINFO*>(setting));
}
BOOL StoreSetInfo(void* record, const void* setting, WORD selector) {
  return SetCurrentUserSettingInfo(record, static_cast<const USERSETTINGINFO*>(setting), selector);
}
BOOL StoreSaveInfo(HANDLE printer, HCDDD ddd, const void* setting, WORD mode) {
  return SaveCurrentUserSettingInfo(printer, ddd, static_cast<const USERSETTINGINFO*>(setting), mode);
}
BOOL StoreLoadInfo(HANDLE printer, HCDDD ddd, void* setting, WORD reserved, BOOL carryOver) {
  return LoadCurrentUserSettingInfo(printer, ddd, static_cast<USERSETTINGINFO*>(setting), reserved, carryOver);
}
BOOL StoreDefaultInfo(HCDDD ddd, void* setting) {
  return SetDefaultCurrentUserSettingInfo(zanLib_CheckCapability_Indirect(ddd, USERSETTING_CAPABILITY),
                                          static_cast<USERSETTINGINFO*>(setting));
}
static_assert(PD_USER_SETTING_SIZE == USERSETTING_SIZE);

const PD_USER_STORE kUserStore = {getPRNID,      CreatePRNID,   setPRNID,      CurrentUserSettingInfoRegCheck,
                                  StoreGetInfo,  StoreSetInfo,  StoreSaveInfo, StoreLoadInfo,
                                  StoreDefaultInfo, uiGetUserPermission};

void RegisterSeams() {
  // The per-user store (PRNID and "UserSettingInfo"): the printer-data
  // record's load and store leave it to this library (core/printerdata
  // README, "Seams").
  pd_SetUserStore(&kUserStore);
  // The upgrade of an older stored record (core/printerdata README, "Seams").
  pd_SetConvertFunction(upg_ConvertStoredRecord);
  // The constraint engine for the core's all-settings sweep
  // (kestrel/ui/sweep_adapter.h, driverui README).
  kui_RegisterSweep();
  // The pre-configuration and emulation layers of the description handle
  // (kestrel/core/preconfig.h: called once at attach).
  PreConfig_InstallAttachOps();
  // The default header/footer font for members 357 and 358
  // (kestrel/core/cdm_defaults.h) and the stamp names of member 298
  // (kestrel/core/cdm_values.h), both from the stamp store (kestrel/ui/stamp.h).
  cdm_SetHeaderFontProvider(SetDefaultHeaderLogFont);
  cdm_SetStampListProvider(zanStamp_GetStampList);
}

void UnregisterSeams() {
  cdm_SetStampListProvider(nullptr);
  cdm_SetHeaderFontProvider(nullptr);
  cddd_SetAttachOps(nullptr);
  cdm_SetSweepOps(nullptr);
  pd_SetConvertFunction(nullptr);
  pd_SetUserStore(nullptr);
}

void Attach(HINSTANCE module) {
  Logout_SetLibrary(LOGOUT_LIB_PRNUI);
  Logout_OpenFile();
  Logout_InDDIFunctionTraceLog(u"DllInitialize_ATTACH");
  resource_startToUse(module, nullptr);
  if (!(Logout_GetDebugFlag() & LOGOUT_ON)) {
    // kestrel.cfg lies in the driver directory, which the core knows only
    // from the resource module: on the process's first attach the log's
    // switches were read without it. Read them again now and, when they
    // turn the log on, open it and write the entry line that was missed.
    Logout_SetLogoutStatus();
    if (Logout_GetDebugFlag() & LOGOUT_ON) {
      Logout_OpenFile();
      Logout_InDDIFunctionTraceLog(u"DllInitialize_ATTACH");
    }
  }
  ddm_AccessInit(module);
  RegisterSeams();
  docevent_Attach(module);
  if (void* work = kcore_Alloc(kWorkBlockBytes)) {  // zero-filled
    SetSystemTrueTypeFontFamilyList(work);
    kcore_Free(work);
  }
  Logout_OutDDIFunctionTraceLog(u"DllInitialize_ATTACH");
}

void Detach() {
  Logout_InDDIFunctionTraceLog(u"DllInitialize_DETACH");
  docevent_Detach();
  resource_finishToUse();
  ddm_AccessEnd();
  UnregisterSeams();
  Logout_OutDDIFunctionTraceLog(u"DllInitialize_DETACH");
  Logout_CloseFile();
}

}  // namespace

KESTRELUI_EXPORT BOOL DllInitialize(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == kReasonAttach) {
    Attach(module);
  } else if (reason == kReasonDetach) {
    Detach();
  }
  return TRUE;
}

// The platform loader's entry point (see above).
KESTRELUI_EXPORT BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  return DllInitialize(module, reason, reserved);
}

// The export "GetUpgradedPrinterData" of kestrel/core/printerdata.h under its
// plain (unmangled) name, as callers take it by name.
extern "C" __attribute__((visibility("default"))) BOOL kui_ExportGetUpgradedPrinterData(HANDLE printer, void* buffer,
                                                                                     DWORD* size, DWORD unused)
    __asm__("GetUpgradedPrinterData");
BOOL kui_ExportGetUpgradedPrinterData(HANDLE printer, void* buffer, DWORD* size, DWORD unused) {
  return GetUpgradedPrinterData(printer, buffer, size, unused);
}
