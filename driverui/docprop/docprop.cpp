// The devmode work of the document-properties exports (kestrel/ui/docprop.h).
#include "kestrel/ui/docprop.h"

#include <cstdarg>
#include <cstring>
#include <atomic>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/regfile.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_printer.h"

namespace {

static_assert(DOCPROP_REGCHECK_FLAGS == PD_CHECK_FLAG, "the callers' flag is the check's");

// The registry check (see kui_CheckRegistry in kestrel/ui/docprop.h).
std::atomic<bool> g_registryChecked{false};  // document properties checked in this process
std::atomic<bool> g_registryTold{false};     // the user was told in this process
std::atomic<bool> g_registryBusy{false};     // a check is running now

void RegistryCheck(HANDLE printer) {
  if (g_registryTold.load()) return;
  bool idle = false;
  // Another thread checking now tells the user itself: never two checks
  // (and their boxes) at once, and no waiting under a message box.
  if (!g_registryBusy.compare_exchange_strong(idle, true)) return;
  const WORD answer =
      static_cast<WORD>(CheckRegistryData(printer, resource_get_hInstance(), DOCPROP_REGCHECK_FLAGS, 0));
  if (answer != 0) {
    g_registryTold = true;
    ValidateRegistryData(printer, answer);
  }
  g_registryBusy = false;
}

void DumpDevmodes(const void* input, void* output) {
  if (!(Logout_GetDebugFlag() & LOGOUT_ON)) return;
  // A foreign input may be shorter than the dump reads.
  if (input && wNTc_IsDevmodeOurs(const_cast<void*>(input)))
    Logout_OutputDDM(DOCPROP_TRACE_DEVMODE, u"<INPUT  DEVMODE>", const_cast<void*>(input), nullptr);
  if (output && wNTc_IsDevmodeOurs(output))
    Logout_OutputDDM(DOCPROP_TRACE_DEVMODE, u"<OUTPUT DEVMODE>", output, nullptr);
}

}  // namespace

BOOL kui_RegistryCheckDone(void) { return g_registryChecked.load() ? TRUE : FALSE; }

void kui_CheckRegistry(HANDLE printer, WORD road) {
  if (road == KUI_REGCHECK_DOCPROP && g_registryChecked.exchange(true)) return;
  RegistryCheck(printer);
}

void kui_ResetRegistryCheck(void) {
  g_registryChecked = false;
  g_registryTold = false;
}

DWORD kui_OutputCopySize(HCDDD ddd, void* merged, void* printerData, const void* input, void* output) {
  DWORD copy = NRV_DEVMODE_SIZE_KIND1;
  SIZE_T block = 0;
  LONG check = 0;
  if (ddm_GetNumber(DDM_OUTPUT_BLOCK_CHECK, merged, printerData, &check) && check != 0)
    block = zanLib_GetGlobalSize(output);
  if (block == 0) {
    auto* in = const_cast<void*>(input);
    if (in && cdmCheckData(ddd, DDM_SPECVERSION, in, printerData, CDM_OP_CHECK) &&
        cdmCheckData(ddd, DDM_SIZE, in, printerData, CDM_OP_CHECK)) {
      LONG extra = 0;
      if (!ddm_GetNumber(DDM_DRIVEREXTRA, in, nullptr, &extra) || extra == 0) copy = NRV_DEVMODE_PUBLIC_SIZE;
    }
  } else if (block < NRV_DEVMODE_SIZE_KIND1) {
    copy = block >= NRV_DEVMODE_PUBLIC_SIZE ? NRV_DEVMODE_PUBLIC_SIZE : 0;
  }
  return copy;
}

void kui_CopyOut(void* output, const void* merged, DWORD size) {
  if (!output || !merged || size == 0) return;
  std::memcpy(output, merged, size);
  if (size < NRV_DEVMODE_SIZE_KIND1) {
    WORD zero = 0;
    ddm_SetValue(DDM_DRIVEREXTRA, output, nullptr, DDM_TYPE_WORD, sizeof zero, &zero);
  }
}

LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER* header) {
  if (!header) return -1;
  header->cbOut = NRV_DEVMODE_SIZE_KIND1;
  if (header->fMode == 0 || !header->pdmOut) return static_cast<LONG>(NRV_DEVMODE_SIZE_KIND1);
  LONG result = -1;
  bool dddOpened = true;
  if (!(header->fMode & (DM_UPDATE | DM_COPY))) {
    result = 1;
  } else {
    HCDDD ddd = cddd_Open(header->hPrinter);
    dddOpened = ddd != nullptr;
    void* devmode = ddd ? dmCreateNRVDEVMODE(0) : nullptr;
    void* pd = ddd ? kcore_Alloc(NRV_PRINTERDATA_SIZE) : nullptr;
    void* info = nullptr;
    do {
      if (!ddd || !devmode || !pd) break;
      DWORD size = NRV_DEVMODE_SIZE_KIND1;
      BOOL converted = FALSE;
      info = wNTc_MakeEnvironment(header->hPrinter, ddd, devmode, &size, &converted);
      if (!info) break;
      pd_GetPrinterData(header->hPrinter, pd, ddd);  // the defaults do when it cannot be read
      void* input = header->pdmIn;
      if (input && !(header->fMode & DM_USER_DEFAULT) && cdmCheckData(ddd, DDM_SIZE, input, pd, CDM_OP_CHECK) &&
          !cdm_ModifyDevmode(ddd, devmode, input, pd, header->hPrinter, 2))
        break;
      DWORD copy = kui_OutputCopySize(ddd, devmode, pd, input, header->pdmOut);
      if (copy == 0) break;
      kui_CopyOut(header->pdmOut, devmode, copy);
      result = 1;
    } while (false);
    kcore_Free(info);
    kcore_Free(pd);
    dmDeleteNRVDEVMODE(devmode);
    if (ddd) cddd_Close(ddd);
  }
  if (result == 1 && dddOpened) kui_CheckRegistry(header->hPrinter, KUI_REGCHECK_DOCPROP);
  DumpDevmodes(header->pdmIn, header->pdmOut);
  return result;
}

// ---- The document sheet at SET_RESULT ------------------------------------------

namespace {

// The file DDM 374 names, when the current user's list records it and it
// exists; else empty.
bool RecordedFile(HCDDD ddd, void* devmode, void* pd, WCHAR* name) {
  name[0] = 0;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(DDM_FAX_TEMP_FILE, devmode, pd, &type, &size, &value) != 0 || type != DDM_TYPE_STRING || !value)
    return false;
  const auto* text = reinterpret_cast<LPCWSTR>(value);
  DWORD chars = size / sizeof(WCHAR);
  DWORD i = 0;
  for (; i < chars && i + 1 < MAX_PATH && text[i]; ++i) name[i] = text[i];
  name[i] = 0;
  if (!name[0]) return false;
  if (GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES || !RegFile_IsRecorded(ddd, name)) {
    name[0] = 0;
    return false;
  }
  return true;
}

}  // namespace

LONG kui_DocumentSetResult(PROPSHEETUI_INFO* info, const SETRESULT_INFO* setResult,
                           const DOCUMENTPROPERTYHEADER* header) {
  if (!info || !setResult || !header) return -1;
  auto* root = reinterpret_cast<UIROOT*>(info->UserData);
  if (!root || !root->uiData) return -1;
  LONG result = 1;
  if (setResult->Result == CPSUI_OK && (header->fMode & (DM_UPDATE | DM_COPY))) {
    UIDATA* ui = root->uiData;
    void* dm = root->devmode;
    void* pd = root->printerData;
    if (!header->pdmOut) return -1;
    HCDDD ddd = ui->ddd;
    HCDDD own = nullptr;
    if (!ddd) ddd = own = cddd_Open(header->hPrinter);
    if (!ddd) return -1;
    const DWORD copy = kui_OutputCopySize(ddd, dm, pd, header->pdmIn, header->pdmOut);
    if (copy == 0) {
      cddd_Close(own);
      return -1;
    }
    kui_CopyOut(header->pdmOut, dm, copy);
    auto* printerInfo = static_cast<PRINTER_INFO_2W*>(MyGetPrinter(header->hPrinter, 2));
    if (!printerInfo) {
      if (own) cddd_Close(own);
      return -1;
    }
    WCHAR name[MAX_PATH] = {};
    DWORD saveKind = DOCPROP_SAVE_PRINTERDATA;
    BYTE flag = 0;
    bool saveable = true;
    if (!(header->fMode & DM_USER_DEFAULT)) {
      saveKind = DOCPROP_SAVE_FILE;
      flag = 1;
      if (!RecordedFile(ddd, dm, pd, name)) {
        if (!MakeTempFileName(name, DOCPROP_TEMPFILE_KIND) ||
            ddm_SetValue(DDM_FAX_TEMP_FILE, dm, pd, DDM_TYPE_STRING, static_cast<DWORD>((lstrlenW(name) + 1) * 2),
                         name) != 0) {
          Logout_OutputString(u"DrvDocumentPropertySheets: no temporary file for the settings");
          saveable = false;
          flag = 0;  // no file holds the settings
          result = -1;
        }
      }
    }
    ddm_SetValue(DDM_DOCPROPTYPE, dm, pd, DDM_TYPE_BYTE, 1, &flag);
    HANDLE opened = nullptr;
    if (saveable) {
      if (saveKind == DOCPROP_SAVE_PRINTERDATA) {
        PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!OpenPrinterW(printerInfo->pPrinterName, &opened, &all)) opened = nullptr;
      } else if (!OpenPrinterW(printerInfo->pPrinterName, &opened, nullptr)) {
        kcore_Free(printerInfo);
        if (own) cddd_Close(own);
        return -1;
      }
    }
    kcore_Free(printerInfo);
    HANDLE userHandle = opened ? opened : header->hPrinter;
    if (opened) {
      if (!uiNonDev_SaveNonDevDat(opened, ddd, saveKind == DOCPROP_SAVE_FILE ? name : nullptr, saveKind,
                                  &ui->faxList, static_cast<BYTE*>(dm) + NRV_NONDEVMODE_OFFSET, root->gsb,
                                  root->gsbSize)) {
        Logout_OutputString(u"DrvDocumentPropertySheets: the non-devmode settings were not saved");
        result = -1;
      } else if (saveKind == DOCPROP_SAVE_FILE) {
        RegFile_SetTmpFile(ddd, ui->sheetWindow, name);
      }
    }
    if (saveable) {
      USERSETTINGINFO setting{};
      if (GetCurrentUserSettingInfo(userHandle, ddd, pd, &setting) &&
          !SaveCurrentUserSettingInfo(userHandle, ddd, &setting, 2)) {
        Logout_OutputString(u"DrvDocumentPropertySheets: the user settings were not saved");
        result = -1;
      }
    }
    if (opened) ClosePrinter(opened);
    kui_CopyOut(header->pdmOut, dm, copy);
    if (own) cddd_Close(own);
  }
  info->Result = static_cast<ULONG_PTR>(setResult->Result);
  return result;
}

LONG kui_DeviceSetResult(PROPSHEETUI_INFO* info, const SETRESULT_INFO* setResult,
                         const DEVICEPROPERTYHEADER* header) {
  if (!info || !setResult || !header) return -1;
  auto* root = reinterpret_cast<UIROOT*>(info->UserData);
  if (!root) return -1;
  if (setResult->Result == CPSUI_OK && !(header->Flags & DPS_NOPERMISSION) && !ntif_updateDeviceProperty(root))
    return -1;
  info->Result = static_cast<ULONG_PTR>(setResult->Result);
  return 1;
}

// ---- Formatter, temporary file, host ---------------------------------------------

namespace {

struct Writer {
  LPWSTR buffer;
  DWORD size;
  bool counting;
  DWORD written = 0;
  DWORD produced = 0;
  bool full = false;
  // false when the formatting is to stop.
  bool Put(WCHAR c) {
    if (buffer && size > 0 && written + 1 < size) {
      buffer[written++] = c;
    } else {
      full = true;
      if (!counting) return false;
    }
    ++produced;
    return true;
  }
  bool PutText(LPCWSTR text) {
    for (; text && *text; ++text)
      if (!Put(*text)) return false;
    return true;
  }
};

void Number(DWORD value, bool isSigned, unsigned base, bool upper, WCHAR* out) {
  WCHAR digits[16];
  int n = 0;
  bool negative = isSigned && static_cast<LONG>(value) < 0;
  unsigned long long v = negative ? static_cast<unsigned long long>(-static_cast<long long>(static_cast<LONG>(value)))
                                  : value;
  do {
    unsigned d = static_cast<unsigned>(v % base);
    digits[n++] = static_cast<WCHAR>(d < 10 ? u'0' + d : (upper ? u'A' : u'a') + d - 10);
    v /= base;
  } while (v);
  int i = 0;
  if (negative) out[i++] = u'-';
  while (n) out[i++] = digits[--n];
  out[i] = 0;
}

}  // namespace

int DQPsprintf(HMODULE module, LPWSTR buffer, DWORD size, DWORD* needed, LPCWSTR format, ...) {
  Writer w{buffer, size, needed != nullptr};
  va_list args;
  va_start(args, format);
  bool go = true;
  for (LPCWSTR p = format; go && p && *p; ++p) {
    if (*p != u'%') {
      go = w.Put(*p);
      continue;
    }
    WCHAR d = *++p;
    if (!d) break;
    WCHAR text[DOCPROP_STRING_CHARS + 1] = {};
    switch (d) {
      case u'!': {
        UINT id = va_arg(args, UINT);
        if (LoadStringW(module, id, text, DOCPROP_STRING_CHARS + 1) <= 0) text[0] = 0;
        go = w.PutText(text);
        break;
      }
      case u's':
        go = w.PutText(va_arg(args, LPCWSTR));
        break;
      case u'c':
        go = w.Put(static_cast<WCHAR>(va_arg(args, int)));
        break;
      case u'X':
      case u'x':
      case u'u':
      case u'd': {
        DWORD v = va_arg(args, DWORD);
        Number(v, d == u'd', d == u'X' || d == u'x' ? 16 : 10, d == u'X', text);
        go = w.PutText(text);
        break;
      }
      default:
        go = w.Put(d);
        break;
    }
  }
  va_end(args);
  if (buffer && size > 0) buffer[w.written] = 0;
  if (needed) *needed = w.produced + 1;
  return static_cast<int>(w.written);
}

BOOL MakeTempFileName(LPWSTR buffer, WORD) {
  if (!buffer) return FALSE;
  buffer[0] = 0;
  WCHAR directory[MAX_PATH] = {};
  if (!GetTempPathW(MAX_PATH, directory) && !GetWindowsDirectoryW(directory, MAX_PATH) &&
      !GetSystemDirectoryW(directory, MAX_PATH) && !GetCurrentDirectoryW(MAX_PATH, directory))
    return FALSE;
  if (!GetTempFileNameW(directory, DOCPROP_TEMPFILE_PREFIX, 0, buffer)) {
    buffer[0] = 0;
    return FALSE;
  }
  return TRUE;
}

WORD kui_PrinterPermissionFlags(HANDLE printer) {
  DWORD one = 1;
  DWORD probe = SetPrinterDataW(printer, const_cast<LPWSTR>(DOCPROP_PERMISSION_VALUE), REG_DWORD,
                                reinterpret_cast<LPBYTE>(&one), sizeof one);
  return probe == ERROR_SUCCESS ? 0 : DPS_NOPERMISSION;
}

LONG CallCompstui(HWND window, PFNPROPSHEETUI callback, LPARAM lParam, DWORD* result) {
  HMODULE host = LoadLibraryA("compstui.dll");
  if (!host) return -1;
  auto entry =
      reinterpret_cast<PFNCOMMONPROPERTYSHEETUIW>(reinterpret_cast<void*>(GetProcAddress(host, "CommonPropertySheetUIW")));
  LONG answer = -1;
  if (entry) answer = entry(window, callback, lParam, result);
  FreeLibrary(host);
  return answer;
}

LONG PrnPropSheetPageProc(HWND, UINT, WPARAM, LPARAM) { return 1; }
