// The UI root record, the UI data record, the chain list and the
// non-devmode load and save through the UI fax list (kestrel/ui/uiroot.h).
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/ui/uiroot.h"

#include <cstring>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/regfile.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kwindows.h"
#include "kplatform/winddiui.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"

// ---- Chain list --------------------------------------------------------------

BOOL uiComChainListAdd(UICHAINLIST* list, const void* data, DWORD size, WORD position) {
  if (!list || (!data && size)) return FALSE;
  auto* item = static_cast<UICHAINITEM*>(kcore_Alloc(sizeof(UICHAINITEM)));
  if (!item) return FALSE;
  item->data = static_cast<BYTE*>(kcore_Alloc(size ? size : 1));
  if (!item->data) {
    kcore_Free(item);
    return FALSE;
  }
  if (size) std::memcpy(item->data, data, size);
  item->size = size;
  UICHAINITEM** at = &list->head;
  if (position != UICHAIN_POS_HEAD) {
    for (WORD i = 0; *at && i < position; ++i) at = &(*at)->next;
  }
  item->next = *at;
  *at = item;
  ++list->count;
  return TRUE;
}

const UICHAINITEM* uiComChainListGet(const UICHAINLIST* list, WORD index) {
  if (!list) return nullptr;
  const UICHAINITEM* item = list->head;
  for (WORD i = 0; item && i < index; ++i) item = item->next;
  return item;
}

void uiComChainListFree(UICHAINLIST* list) {
  if (!list) return;
  UICHAINITEM* item = list->head;
  while (item) {
    UICHAINITEM* next = item->next;
    kcore_Free(item->data);
    kcore_Free(item);
    item = next;
  }
  list->head = nullptr;
  list->count = 0;
}

// ---- Non-devmode through the UI fax list ---------------------------------------

BOOL uiNonDev_SaveNonDevDat(HANDLE printer, HCDDD ddd, LPCWSTR fileName, DWORD kind, const UIFAXLIST* faxList,
                            const void* nonDevPart, const void* gsb, DWORD gsbSize) {
  if ((!printer && !fileName) || !nonDevPart) return FALSE;
  BYTE* record = nullptr;
  DWORD recordSize = 0;
  if (faxList) {
    const WORD count = faxList->entries.count;
    recordSize = NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * static_cast<DWORD>(count);
    record = static_cast<BYTE*>(kcore_Alloc(recordSize));
    if (!record) return FALSE;
    std::memcpy(record, NONDEV_FAX_TAG, sizeof(NONDEV_FAX_TAG));
    std::memcpy(record + NONDEV_FAX_COUNT_OFFSET, &count, sizeof count);
    std::memcpy(record + UIFAX_TITLE_OFFSET, faxList->title, sizeof faxList->title);
    std::memcpy(record + UIFAX_TEXT_OFFSET, faxList->text, sizeof faxList->text);
    // The last entry of the chain first (kestrel/ui/uiroot.h).
    WORD slot = count;
    for (const UICHAINITEM* item = faxList->entries.head; item && slot > 0; item = item->next) {
      --slot;
      std::memcpy(record + NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * slot, item->data,
                  item->size < NONDEV_FAX_ENTRY_SIZE ? item->size : NONDEV_FAX_ENTRY_SIZE);
    }
  }
  BOOL ok = nonDev_SaveNonDevDat(printer, ddd, fileName, kind, record, recordSize, nonDevPart, gsb, gsbSize);
  kcore_Free(record);
  return ok;
}

BOOL uiNonDev_LoadNonDevDat(HANDLE printer, HCDDD ddd, LPCWSTR fileName, DWORD kind, UIFAXLIST* faxList,
                            void* nonDevPart, void** gsb, DWORD* gsbSize) {
  void* fax = nullptr;
  if (faxList) {
    uiComChainListFree(&faxList->entries);
    std::memset(faxList->title, 0, sizeof faxList->title);
    std::memset(faxList->text, 0, sizeof faxList->text);
  }
  if (!nonDev_LoadNonDevDat(printer, ddd, fileName, kind, faxList ? &fax : nullptr, nonDevPart, gsb, gsbSize))
    return FALSE;
  if (!faxList || !fax) {
    kcore_Free(fax);
    return TRUE;
  }
  BOOL ok = TRUE;
  std::vector<BYTE> header(NONDEV_FAX_HEAD_SIZE);
  if (!GetFaxAddressHeaderInfo(fax, header.data())) ok = FALSE;
  WORD count = 0;
  if (ok) {
    std::memcpy(faxList->title, header.data() + UIFAX_TITLE_OFFSET, sizeof faxList->title);
    std::memcpy(faxList->text, header.data() + UIFAX_TEXT_OFFSET, sizeof faxList->text);
    faxList->title[UIFAX_TITLE_CHARS - 1] = 0;
    faxList->text[UIFAX_TEXT_CHARS - 1] = 0;
    std::memcpy(&count, header.data() + NONDEV_FAX_COUNT_OFFSET, sizeof count);
  }
  std::vector<BYTE> entry(NONDEV_FAX_ENTRY_SIZE);
  for (WORD i = 0; ok && i < count; ++i) {
    ok = GetFaxAddressData(fax, i, entry.data()) &&
         uiComChainListAdd(&faxList->entries, entry.data(), NONDEV_FAX_ENTRY_SIZE, UICHAIN_POS_HEAD);
  }
  kcore_Free(fax);
  if (!ok) {
    uiComChainListFree(&faxList->entries);
    if (gsb) {
      kcore_Free(*gsb);
      *gsb = nullptr;
    }
    if (gsbSize) *gsbSize = 0;
  }
  return ok;
}

// ---- The UI data record ------------------------------------------------------------

BOOL uiData_RegistPortName(UIDATA* uiData, HANDLE printer) {
  if (!uiData) return FALSE;
  auto* info = static_cast<PRINTER_INFO_2W*>(MyGetPrinter(printer, 2));
  if (!info) return FALSE;
  LPWSTR port = kcore_WideDup(info->pPortName ? info->pPortName : u"");
  kcore_Free(info);
  if (!port) return FALSE;
  kcore_Free(uiData->portName);
  uiData->portName = port;
  return TRUE;
}

BOOL uiUedAllocUserSelWorkArea(UIDATA* uiData) {
  if (!uiData) return FALSE;
  void* work = kcore_Alloc(UIDATA_USERSEL_WORK_SIZE);
  if (!work) return FALSE;
  kcore_Free(uiData->userSelWork);
  uiData->userSelWork = work;
  return TRUE;
}

namespace {

void FreeUiData(UIDATA* ui) {
  if (!ui) return;
  kcore_Free(ui->paperData);
  if (ui->ddd) cddd_Close(ui->ddd);
  kcore_Free(ui->printerName);
  if (ui->registryPath) ddd_FreeMem(ui->registryPath);
  kcore_Free(ui->portName);
  kcore_Free(ui->userSelWork);
  uiComChainListFree(&ui->faxList.entries);
  kcore_Free(ui);
}

// Step 5: the 20 user-defined paper sizes from the spooler's forms.
bool SetUserPaperSizes(HANDLE printer, void* devmode, void* printerData) {
  for (WORD i = 0; i < UIDATA_USERPAPER_SLOTS; ++i) {
    WCHAR name[UIDATA_FORMNAME_CHARS] = {};
    if (!zanLib_GetUsrDefPap_DefaultName(i, name, UIDATA_FORMNAME_CHARS)) return false;
    WORD width = UIDATA_FALLBACK_WIDTH;
    WORD length = UIDATA_FALLBACK_LENGTH;
    // Room for the record and a name of the slot's size: no allocation.
    alignas(FORM_INFO_1W) BYTE buffer[sizeof(FORM_INFO_1W) + 2 * 64 * sizeof(WCHAR)];
    DWORD needed = 0;
    if (GetFormW(printer, name, 1, buffer, sizeof buffer, &needed)) {
      FORM_INFO_1W form;
      std::memcpy(&form, buffer, sizeof form);
      width = static_cast<WORD>(form.Size.cx / 100);
      length = static_cast<WORD>(form.Size.cy / 100);
    }
    if (ddm_SetValue(static_cast<WORD>(DDM_DEFINEWIDTH_FIRST + i), devmode, printerData, DDM_TYPE_WORD, 2, &width) !=
            0 ||
        ddm_SetValue(static_cast<WORD>(DDM_DEFINELENGTH_FIRST + i), devmode, printerData, DDM_TYPE_WORD, 2,
                     &length) != 0)
      return false;
  }
  return true;
}

// Step 6: DDM 8201's default set and the outside interface present.
WORD DocMonitorFlag(HCDDD ddd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (cdmGetDefaultData(ddd, DDM_DOCMONITOR_REGISTER, &type, &size, &value) != 1) return 0;
  LONG number = 0;
  bool set = ddm_NumberFromValue(type, value, &number) && number != 0;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) cdmDmIdDefaultDataFree(DDM_DOCMONITOR_REGISTER, value, type);
  if (!set) return 0;
  // The outside interface: the library the model names, loaded and asked.
  WCHAR library[MAX_PATH] = {};
  return bddm_LibraryName(ddd, library) && bddm_IsValid(library) != 0 ? 1 : 0;
}

// Step 9: the non-devmode part.
bool LoadNonDev(HANDLE printer, HCDDD ddd, UIDATA* ui, void* devmode, void* printerData, void** gsb,
                DWORD* gsbSize) {
  LONG docProp = 0;
  DWORD kind = ddm_GetNumber(DDM_DOCPROPTYPE, devmode, printerData, &docProp) && docProp == 1 ? 3u : 2u;
  RegFile_DeleteTmpFile(ddd, nullptr, nullptr);
  BYTE* nonDev = static_cast<BYTE*>(devmode) + NRV_NONDEVMODE_OFFSET;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  WCHAR name[MAX_PATH] = {};
  if (ddm_GetValue(DDM_FAX_TEMP_FILE, devmode, printerData, &type, &size, &value) == 0 && type == DDM_TYPE_STRING &&
      value) {
    const auto* text = reinterpret_cast<LPCWSTR>(value);
    DWORD chars = size / sizeof(WCHAR);
    for (DWORD i = 0; i < chars && i + 1 < MAX_PATH && text[i]; ++i) name[i] = text[i];
  }
  if (name[0]) {
    if (uiNonDev_LoadNonDevDat(printer, ddd, name, 0, &ui->faxList, nonDev, gsb, gsbSize)) return true;
    WCHAR empty = 0;
    ddm_SetValue(DDM_FAX_TEMP_FILE, devmode, printerData, DDM_TYPE_STRING, sizeof empty, &empty);
  }
  if (uiNonDev_LoadNonDevDat(printer, ddd, nullptr, kind, &ui->faxList, nonDev, gsb, gsbSize)) return true;
  return nonDev_SetDefaultData(printer, nonDev) == TRUE;
}

}  // namespace

UIROOT* uiLParamMakeLParamTbl(UIDATA* uiData, void* devmode, void* printerData, DWORD gsbSize, void* gsb) {
  if (!uiData || !devmode || !printerData) return nullptr;
  auto* root = static_cast<UIROOT*>(kcore_Alloc(sizeof(UIROOT)));
  if (!root) return nullptr;
  root->uiData = uiData;
  root->devmode = devmode;
  root->printerData = printerData;
  root->gsbSize = gsbSize;
  root->gsb = gsb;
  return root;
}

UIROOT* uiLParamCopyLParamTbl(const UIROOT* from) {
  if (!from || !from->devmode || !from->printerData) return nullptr;
  void* devmode = dmCreateNRVDEVMODE(0);
  void* pd = kcore_Alloc(NRV_PRINTERDATA_SIZE);
  void* gsb = from->gsb && from->gsbSize ? kcore_Alloc(from->gsbSize) : nullptr;
  auto* root = static_cast<UIROOT*>(kcore_Alloc(sizeof(UIROOT)));
  if (!devmode || !pd || !root || (from->gsb && from->gsbSize && !gsb)) {
    dmDeleteNRVDEVMODE(devmode);
    kcore_Free(pd);
    kcore_Free(gsb);
    kcore_Free(root);
    return nullptr;
  }
  std::memcpy(devmode, from->devmode, NRV_DEVMODE_SIZE_FULL);
  std::memcpy(pd, from->printerData, NRV_PRINTERDATA_SIZE);
  if (gsb) std::memcpy(gsb, from->gsb, from->gsbSize);
  *root = *from;
  root->devmode = devmode;
  root->printerData = pd;
  root->gsb = gsb;
  root->gsbSize = gsb ? from->gsbSize : 0;
  root->sheetFree = nullptr;
  root->parent = from;
  return root;
}

void destroyUiLParam(UIROOT* root) {
  if (!root) return;
  if (root->sheetFree) root->sheetFree(root);
  if (!root->parent) FreeUiData(root->uiData);
  dmDeleteNRVDEVMODE(root->devmode);
  kcore_Free(root->printerData);
  kcore_Free(root->gsb);
  kcore_Free(root);
}

UIROOT* FillUiLParam(HANDLE printer, const void* input, DWORD fMode) {
  HCDDD ddd = cddd_Open(printer);
  if (!ddd) return nullptr;
  void* devmode = dmCreateNRVDEVMODE(0);
  void* pd = kcore_Alloc(NRV_PRINTERDATA_SIZE);
  void* info = nullptr;
  UIDATA* ui = nullptr;
  void* gsb = nullptr;
  DWORD gsbSize = 0;
  UIROOT* root = nullptr;
  do {
    if (!devmode || !pd) break;
    DWORD size = NRV_DEVMODE_SIZE_KIND1;
    BOOL converted = FALSE;
    info = wNTc_MakeEnvironment(printer, ddd, devmode, &size, &converted);
    if (!info) break;
    if (!pd_GetPrinterData(printer, pd, ddd) && !printer) break;
    if (input && !(fMode & DM_USER_DEFAULT) &&
        cdmCheckData(ddd, DDM_SIZE, const_cast<void*>(input), pd, CDM_OP_CHECK) &&
        !cdm_ModifyDevmode(ddd, devmode, input, pd, printer, 2))
      break;
    AddPrinterForms(printer, ddd);
    if (!SetUserPaperSizes(printer, devmode, pd)) break;
    WORD docMonitor = DocMonitorFlag(ddd);
    LPWSTR registryPath = nullptr;
    if (ddd_GetPrinterInfo_orderedString(ddd->main, UIDATA_PRINTERINFO_REGISTRY, 0, &registryPath) != DDD_OK ||
        !registryPath)
      break;
    ui = static_cast<UIDATA*>(kcore_Alloc(sizeof(UIDATA)));
    if (!ui) {
      ddd_FreeMem(registryPath);
      break;
    }
    ui->registryPath = registryPath;
    ui->printerName = kcore_WideDup(static_cast<PRINTER_INFO_2W*>(info)->pPrinterName);
    ui->printer = printer;
    ui->docMonitor = docMonitor;
    ui->winData.cbSize = sizeof(UIWINDATA);
    ui->winData.printer = printer;
    ui->winData.devmode = devmode;
    ui->winData.printerData = pd;
    ui->winData.paperUnit = UIWINDATA_UNIT_MM;
    if (!ui->printerName || !uiData_RegistPortName(ui, printer) || !uiUedAllocUserSelWorkArea(ui)) break;
    if (!LoadNonDev(printer, ddd, ui, devmode, pd, &gsb, &gsbSize)) break;
    root = uiLParamMakeLParamTbl(ui, devmode, pd, gsbSize, gsb);
  } while (false);
  kcore_Free(info);
  cddd_Close(ddd);
  if (!root) {
    FreeUiData(ui);
    dmDeleteNRVDEVMODE(devmode);
    kcore_Free(pd);
    kcore_Free(gsb);
  }
  return root;
}

// ---- The printer sheet's save ----------------------------------------------------

BOOL ntif_updateDeviceProperty(UIROOT* root) {
  if (!root || !root->uiData) return FALSE;
  UIDATA* ui = root->uiData;
  HANDLE sheetPrinter = ui->printer;
  HANDLE opened = nullptr;
  if (auto* info = static_cast<PRINTER_INFO_2W*>(MyGetPrinter(sheetPrinter, 2))) {
    PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(info->pPrinterName, &opened, &all)) opened = nullptr;
    kcore_Free(info);
  }
  HANDLE handle = opened ? opened : sheetPrinter;
  HCDDD ddd = ui->ddd;
  HCDDD own = nullptr;
  if (!ddd) ddd = own = cddd_Open(handle);
  BOOL result = FALSE;
  if (ddd) {
    // The record as stored, and the driver version that wrote it.
    bool storedRead = false;
    LONG storedVersion = 0;
    DWORD size = 0;
    if (zanGetPrinterDataFromRegistry(handle, ZAN_KIND_PRINTERDATA, nullptr, &size) && size > 0) {
      std::vector<BYTE> stored(size < NRV_PRINTERDATA_SIZE ? NRV_PRINTERDATA_SIZE : size);
      if (zanGetPrinterDataFromRegistry(handle, ZAN_KIND_PRINTERDATA, stored.data(), &size))
        storedRead = ddm_GetNumber(DDM_PD_DRIVERVERSION, nullptr, stored.data(), &storedVersion);
    }
    LONG sheetVersion = 0;
    bool sheetRead = ddm_GetNumber(DDM_PD_DRIVERVERSION, nullptr, root->printerData, &sheetVersion);
    if (storedRead && sheetRead && storedVersion > sheetVersion) {
      result = TRUE;  // written by a newer driver: left as it is
    } else {
      USERSETTINGINFO setting{};
      bool userOk = true;
      if (GetCurrentUserSettingInfo(handle, ddd, root->printerData, &setting))
        userOk = SaveCurrentUserSettingInfo(handle, ddd, &setting, 1) == TRUE;
      BOOL saved = pd_SetPrinterData(handle, root->printerData, ddd, 1);
      result = saved && userOk ? TRUE : FALSE;
    }
  }
  if (own) cddd_Close(own);
  if (opened) ClosePrinter(opened);
  return result;
}
