// The user-mode part of the printer-data record (see kestrel/core/printerdata.h;
// the load is pdrecord.cpp): the conversion through the registered converter,
// the per-user step, the store and the checks.
#include <cstring>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"

#include "../printerdata/pdrecord_modes.h"

using namespace pdrecord_modes;

namespace {

const PD_USER_STORE* g_userStore = nullptr;
PdConvertFn g_convert = nullptr;

constexpr char16_t kUMDllValue[] = u"SPLUserModePrinterDriver";
constexpr WORD kUMDllSelector = 2;
constexpr UINT kCaptionId = 265;
constexpr int kCaptionChars = 48;
constexpr int kTextChars = 512;

// Opens the queue by the name of its level-2 information; answers the
// handle to write through (the given one when the open fails) and whether a
// PRNID may be made.
HANDLE OpenForWriting(HANDLE printer, bool* opened, bool* mayCreateId) {
  *opened = false;
  *mayCreateId = true;
  auto* info = static_cast<PRINTER_INFO_2W*>(MyGetPrinter(printer, 2));
  HANDLE writer = nullptr;
  if (info && info->pPrinterName && OpenPrinterW(info->pPrinterName, &writer, nullptr) && writer) {
    *opened = true;
  } else {
    if (GetLastError() == ERROR_ACCESS_DENIED) *mayCreateId = false;
    writer = printer;
  }
  kcore_Free(info);
  return writer;
}

}  // namespace

namespace pdrecord_modes {

// Steps a-e of the load: the current user's settings into the stored block.
void LoadUserSettings(HANDLE printer, HCDDD ddd, BYTE* stored) {
  const PD_USER_STORE* store = g_userStore;
  if (!store) return;
  bool opened = false;
  bool mayCreateId = true;
  HANDLE writer = OpenForWriting(printer, &opened, &mayCreateId);
  WORD structVersion = HeadWord(stored, offsetof(PD_RECORD_HEAD, structVersion));
  BOOL carryOver = structVersion == PD_STRUCT_VERSION && stored[PD_OFFSET_CARRYOVER] == 1;
  std::vector<BYTE> setting(PD_USER_SETTING_SIZE);
  BYTE id[16] = {};
  if (structVersion >= PD_STRUCT_VERSION_USER) {
    if (!store->getPRNID(writer, id) && mayCreateId && store->createPRNID(writer, id)) store->setPRNID(writer, id);
    if (store->loadInfo(writer, ddd, setting.data(), 0, carryOver)) store->setInfo(stored, setting.data(), 0);
  } else if (store->regCheck(writer, ddd)) {
    if (store->loadInfo(writer, ddd, setting.data(), 0, carryOver)) store->setInfo(stored, setting.data(), 0);
  } else if (store->getInfo(writer, ddd, stored, setting.data())) {
    store->saveInfo(writer, ddd, setting.data(), 0);  // moved from the queue to the user
  }
  if (opened) ClosePrinter(writer);
}

bool Convert(HANDLE printer, HCDDD ddd, const BYTE* stored, DWORD size, BYTE* out) {
  return g_convert && g_convert(printer, ddd, stored, size, out) != -1;
}

}  // namespace pdrecord_modes

void pd_SetUserStore(const PD_USER_STORE* store) { g_userStore = store; }
void pd_SetConvertFunction(PdConvertFn convert) { g_convert = convert; }

BOOL pd_GetPrinterData(HANDLE printer, void* record, HCDDD ddd) {
  return pd_GetPrinterDataEx(printer, record, ddd, nullptr);
}

BOOL pd_SetPrinterData(HANDLE printer, void* record, HCDDD ddd, DWORD save) {
  if (!printer || !record || !ddd) return FALSE;
  SetSPLUMName(printer);
  if (save == 0) return FALSE;
  std::vector<BYTE> copy(static_cast<BYTE*>(record), static_cast<BYTE*>(record) + PD_RECORD_SIZE);
  if (const PD_USER_STORE* store = g_userStore) {
    std::vector<BYTE> defaults(PD_USER_SETTING_SIZE);
    if (!store->setDefaultInfo(ddd, defaults.data()) || !store->setInfo(copy.data(), defaults.data(), 0)) {
      return FALSE;
    }
  }
  return zanSavePrinterDataToRegistry(printer, copy.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0);
}

BOOL GetUpgradedPrinterData(HANDLE printer, void* buffer, DWORD* size, DWORD) {
  if (!size) return FALSE;
  if (!buffer) {
    if (*size != 0) return FALSE;
    *size = PD_RECORD_SIZE;
    return TRUE;
  }
  if (*size < PD_RECORD_SIZE) return FALSE;
  HCDDD ddd = cddd_Open(printer);
  if (!ddd) return FALSE;
  BOOL ok = pd_GetPrinterData(printer, buffer, ddd);
  cddd_Close(ddd);
  return ok;
}

LPWSTR MakeUMDllName(HANDLE printer) {
  HCDDD ddd = cddd_Open(printer);
  if (!ddd) return nullptr;
  LPWSTR name = nullptr;
  LPWSTR out = nullptr;
  if (ddd_GetDLLName(ddd->main, kUMDllSelector, &name) == DDD_OK && name) {
    DWORD chars = kp_WideLength(name);
    out = static_cast<LPWSTR>(kcore_Alloc((chars + 1) * sizeof(WCHAR)));
    if (out) std::memcpy(out, name, chars * sizeof(WCHAR));
  }
  ddd_FreeMem(name);
  cddd_Close(ddd);
  return out;
}

BOOL SetSPLUMName(HANDLE printer) {
  LPWSTR name = MakeUMDllName(printer);
  if (!name) return FALSE;
  bool opened = false;
  bool mayCreateId = true;
  HANDLE writer = OpenForWriting(printer, &opened, &mayCreateId);
  DWORD bytes = (kp_WideLength(name) + 1) * sizeof(WCHAR);
  DWORD rc = SetPrinterDataW(writer, const_cast<LPWSTR>(kUMDllValue), REG_SZ, reinterpret_cast<LPBYTE>(name), bytes);
  if (opened) ClosePrinter(writer);
  kcore_Free(name);
  return rc == ERROR_SUCCESS ? TRUE : FALSE;
}

DWORD CheckRegistryData(HANDLE printer, HMODULE strings, DWORD flags, DWORD) {
  if (!(flags & PD_CHECK_FLAG)) return 0;
  DWORD status = 0;
  DWORD needed = 0;
  DWORD rc = GetPrinterDataW(printer, const_cast<LPWSTR>(kUMDllValue), nullptr, nullptr, 0, &needed);
  if ((rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) || needed < sizeof(WCHAR)) {
    status = PD_CHECK_MISSING;
  } else {
    std::vector<BYTE> value(needed);
    rc = GetPrinterDataW(printer, const_cast<LPWSTR>(kUMDllValue), nullptr, value.data(), needed, &needed);
    WCHAR first = 0;
    std::memcpy(&first, value.data(), sizeof(first));
    if (rc != ERROR_SUCCESS || first == 0) status = PD_CHECK_MISSING;
  }
  if (status == PD_CHECK_MISSING) {
    WCHAR caption[kCaptionChars + 1] = {};
    LoadStringW(strings, kCaptionId, caption, kCaptionChars + 1);
    bool admin = g_userStore && g_userStore->isAdministrator();
    for (UINT id : {admin ? 399u : 397u, admin ? 400u : 398u}) {
      WCHAR text[kTextChars + 1] = {};
      LoadStringW(strings, id, text, kTextChars + 1);
      MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
    }
  }
  return status;
}

BOOL ValidateRegistryData(HANDLE printer, DWORD flags) {
  if (!printer) return FALSE;
  if (!(flags & PD_CHECK_FLAG)) return TRUE;
  return SetSPLUMName(printer);
}

