// kestrel-demo-sheet: opens model A's document property sheet as an
// application does (DrvDocumentProperties with DM_PROMPT, kestrelui loaded
// by the platform's loader, the property-sheet host installed) and plays a
// user: the tabs the sheet shows, the Paper page's controls before and
// after choosing A3 and typing 3 copies, OK, and the devmode values the
// application gets back. Then the favourites: a favourite picked in the
// Paper page's selector and OK, that favourite exported to a favourite file
// (the file shown), the file imported as a new favourite, and the list of
// favourites the selector then offers.
#include <kplatform/byte_order.h>
#include <kplatform/compstui.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/comctl32_prsht.h>
#include <kplatform/user32_actions.h>
#include <kplatform/user32_controls.h>
#include <kplatform/winddiui.h>
#include <kplatform/wingdi_consts.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_printer.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "ddd_host.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/kestrelrs_ids.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kplatform/kernel32_file.h"

namespace {

constexpr char16_t kPrinter[] = u"Scriva K350";
constexpr DWORD kDevmodeBytes = NRV_DEVMODE_SIZE_KIND1;
constexpr int kPaperCombo = IDC_PPR_PAPERSIZE;
constexpr int kCopiesEdit = IDC_PPR_COPIES;
constexpr DWORD kPaperOffset = offsetof(DEVMODEW, dmPaperSize);
constexpr DWORD kCopiesOffset = offsetof(DEVMODEW, dmCopies);
constexpr DWORD kDuplexOffset = offsetof(DEVMODEW, dmDuplex);
constexpr int kFavouriteCombo = IDC_PPR_USERSEL;
constexpr char16_t kPicked[] = u"Economy Printing";  // a favourite of model A's description
constexpr UINT kFavouriteFileExtension = 4711;

using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
using EventFn = BOOL (*)(LPWSTR, int, DWORD, LPARAM);

void Dump(HWND sheet, void* what) {
  std::vector<char> text(64 * 1024);
  KpUiDump(sheet, text.data(), static_cast<DWORD>(text.size()));
  std::printf("-- %s (page: position and template: 518 Paper, 2231 Graphics, 566 Output, 538 Stamp, 504 "
              "Detail, 517 Fax)\n",
              static_cast<const char*>(what));
  // The pages made so far and the Paper page's setting controls.
  std::string all(text.data());
  size_t at = 0;
  while (at < all.size()) {
    size_t end = all.find('\n', at);
    std::string line = all.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.rfind("page ", 0) == 0 || line.find("id=1005 ") != std::string::npos ||
        line.find("id=1020 ") != std::string::npos || line.find("id=1022 ") != std::string::npos)
      std::printf("   %s\n", line.c_str());
    if (end == std::string::npos) break;
    at = end + 1;
  }
}

// Chooses the first item of the current page's combo box whose text the
// test accepts, as a user does, by mouse; false when there is none.
template <typename Accept>
bool ChooseByText(HWND sheet, int control, Accept accept) {
  HWND combo = GetDlgItem(KpSheetCurrentPage(sheet), control);
  LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    WCHAR text[260] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    if (accept(std::u16string(text))) {
      KP_UI_ACTION choose = {KP_UI_CHOOSE_MOUSE, control, static_cast<int>(i), nullptr, nullptr, nullptr};
      return KpUiAct(sheet, &choose) != FALSE;
    }
  }
  return false;
}

// Chooses A3 in the Paper page's paper list.
void ChooseA3(HWND sheet, void*) {
  auto a3 = [](const std::u16string& t) { return t.rfind(u"A3", 0) == 0 && (t.size() == 2 || t[2] == u' '); };
  if (!ChooseByText(sheet, kPaperCombo, a3)) std::printf("-- no A3 in the paper list\n");
}

// Picks the favourite in the Paper page's selector and shows the
// selector's line.
void PickFavourite(HWND sheet, void*) {
  if (!ChooseByText(sheet, kFavouriteCombo, [](const std::u16string& t) { return t == kPicked; })) {
    std::printf("-- no favourite named Economy Printing\n");
    return;
  }
  std::vector<char> dump(64 * 1024);
  KpUiDump(KpSheetCurrentPage(sheet), dump.data(), static_cast<DWORD>(dump.size()));
  std::string all(dump.data());
  size_t at = all.find("id=1013 ");
  if (at != std::string::npos)
    std::printf("-- the favourite picked in the selector\n   %s\n", all.substr(at, all.find('\n', at) - at).c_str());
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// The file's bytes as the favourites code wrote them (a profile file).
std::string ReadAll(const std::u16string& path) {
  std::string bytes;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(f);
  return bytes;
}

// The picked favourite exported, the file shown, the file imported as a new
// favourite, the favourites listed. The favourites code runs here over the
// driver's resource module and devmode-access module, as kestrelui's does.
bool Favourites(HMODULE ui, HANDLE printer, const std::u16string& name) {
  resource_startToUse(ui, nullptr);
  bool ok = false;
  HCDDD ddd = nullptr;
  do {
    if (ddm_AccessInit(ui) != 1 || !(ddd = cddd_Open(printer))) break;
    kui_RegisterSweep();
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE), fav(NRV_DEVMODE_SIZE_FULL);
    if (cdm_SetDefaultDevmode(ddd, dm.data(), pd.data(), name.c_str()) != 1) break;
    FAV_LIST list;
    if (!Fav_LoadList(printer, ddd, dm.data(), pd.data(), &list) || list.selected >= list.entries.size()) break;
    const FAV_ENTRY picked = list.entries[list.selected];
    std::printf("-- the selector's favourite: %s (number %u)\n", Narrow(picked.name).c_str(), picked.number);
    WCHAR folder[MAX_PATH] = {}, file[64] = {};
    if (!LoadCurrentUserUserSel(printer, ddd, picked.number, fav.data(), nullptr, nullptr, nullptr) ||
        !FavFile_GetFolder(ddd, folder, MAX_PATH))
      break;
    FavStr_MakeFileName(picked.name, file, 64);
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    WCHAR extension[16] = u"ini";  // the favourite file dialogs' extension (string 4711)
    resource_LoadString(kFavouriteFileExtension, extension, 16);
    path += std::u16string(file) + u"." + extension;
    if (!FavFile_Export(printer, ddd, nullptr, fav.data(), pd.data(), picked.number, picked.name, picked.comment,
                        path.c_str()))
      break;
    std::printf("-- exported to %s:\n%s", Narrow(path).c_str(), ReadAll(path).c_str());
    // Imported as a new favourite of the edit dialog's list, which OK stores.
    const WORD selected = picked.number;
    if (FavFile_Import(printer, ddd, nullptr, dm.data(), pd.data(), path.c_str(), &list) != FAV_OK ||
        !Fav_EditApply(printer, ddd, dm.data(), pd.data(), selected, &list) ||
        !Fav_LoadList(printer, ddd, dm.data(), pd.data(), &list))
      break;
    std::printf("-- the favourites after the import (number, name, flag 0 = the description's):\n");
    for (const FAV_ENTRY& e : list.entries)
      std::printf("   %2u  %s  flag %lu\n", e.number, Narrow(e.name).c_str(), static_cast<unsigned long>(e.flag));
    ok = list.entries.size() == 4;
  } while (false);
  if (ddd) cddd_Close(ddd);
  cdm_SetSweepOps(nullptr);
  while (ddm_AccessCount() > 0) ddm_AccessEnd();
  zanLib_SetValueAccess(nullptr, nullptr);
  resource_finishToUse();
  return ok;
}

int Run(const std::string& models) {
  auto install = [](const std::string& file, const char16_t* as) { return KpInstallModule(file.c_str(), as); };
  if (!install(models + "/K350.DDD", u"K350.DDD") || !install(models + "/K350RES.DDD", u"K350RES.DDD") ||
      !install("libkestrelui.so", nullptr) || !install("kestrelrs.zrs", nullptr) ||
      !install("libkestreljd.so", nullptr) || !install("libcompstui.so", nullptr)) {
    std::fprintf(stderr, "cannot install the driver files and the property-sheet host\n");
    return 1;
  }
  if (!KpSpoolerAddPrinter(kPrinter, u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"kestrelui.dll")) {
    std::fprintf(stderr, "cannot add the printer\n");
    return 1;
  }
  HMODULE ui = LoadLibraryW(u"kestrelui.dll");
  auto props = ui ? reinterpret_cast<DocumentPropertiesFn>(
                        reinterpret_cast<void*>(GetProcAddress(ui, "DrvDocumentProperties")))
                  : nullptr;
  auto event = ui ? reinterpret_cast<EventFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvPrinterEvent")))
                  : nullptr;
  if (!props || !event) {
    std::fprintf(stderr, "kestrelui does not load or lacks an export\n");
    if (ui) FreeLibrary(ui);
    return 1;
  }
  std::u16string name = kPrinter;
  HANDLE printer = nullptr;
  int rc = 1;
  do {
    if (!event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0) || !OpenPrinterW(name.data(), &printer, nullptr)) break;
    static char before[] = "the sheet opened: its tabs, the Paper page before the change";
    static char after[] = "after choosing A3 and typing 3 copies";
    const KP_UI_ACTION script[] = {
        // Every tab visited once (a page is made at its first visit), then
        // back to Paper.
        {KP_UI_SWITCH_PAGE, 0, 1, nullptr, nullptr, nullptr},
        {KP_UI_SWITCH_PAGE, 0, 2, nullptr, nullptr, nullptr},
        {KP_UI_SWITCH_PAGE, 0, 3, nullptr, nullptr, nullptr},
        {KP_UI_SWITCH_PAGE, 0, 4, nullptr, nullptr, nullptr},
        {KP_UI_SWITCH_PAGE, 0, 5, nullptr, nullptr, nullptr},
        {KP_UI_SWITCH_PAGE, 0, 0, nullptr, nullptr, nullptr},
        {KP_UI_CALL, 0, 0, nullptr, Dump, before},
        {KP_UI_CALL, 0, 0, nullptr, ChooseA3, nullptr},
        {KP_UI_SELECT_ALL, kCopiesEdit, 0, nullptr, nullptr, nullptr},
        {KP_UI_TYPE, kCopiesEdit, 0, u"3", nullptr, nullptr},
        {KP_UI_CALL, 0, 0, nullptr, Dump, after},
        {KP_UI_OK, 0, 0, nullptr, nullptr, nullptr},
    };
    KpScriptDialog(KP_SCRIPT_SHEET, script, sizeof script / sizeof script[0]);
    std::vector<BYTE> devmode(kDevmodeBytes);
    LONG r = props(nullptr, printer, name.data(), devmode.data(), nullptr, DM_COPY | DM_PROMPT);
    std::printf("DrvDocumentProperties(DM_COPY | DM_PROMPT): %ld (1 = OK)\n", static_cast<long>(r));
    if (r != 1) break;
    const int paper = kp_LoadI16(&devmode[kPaperOffset]), copies = kp_LoadI16(&devmode[kCopiesOffset]);
    std::printf("devmode after OK: paper size %d (A3 = 8), copies %d\n", paper, copies);
    if (paper != 8 || copies != 3) break;
    // The favourites: one picked in the selector, OK.
    const KP_UI_ACTION pick[] = {
        {KP_UI_CALL, 0, 0, nullptr, PickFavourite, nullptr},
        {KP_UI_OK, 0, 0, nullptr, nullptr, nullptr},
    };
    KpScriptDialog(KP_SCRIPT_SHEET, pick, sizeof pick / sizeof pick[0]);
    r = props(nullptr, printer, name.data(), devmode.data(), nullptr, DM_COPY | DM_PROMPT);
    std::printf("DrvDocumentProperties after picking %s: %ld, 2-sided %d (the favourite's 2)\n",
                Narrow(kPicked).c_str(), static_cast<long>(r), kp_LoadI16(&devmode[kDuplexOffset]));
    if (r != 1 || kp_LoadI16(&devmode[kDuplexOffset]) != 2) break;
    if (!Favourites(ui, printer, name)) {
      std::printf("-- the favourite file's export or import failed\n");
      break;
    }
    rc = 0;
  } while (false);
  if (printer) ClosePrinter(printer);
  FreeLibrary(ui);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string models = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR);
  return kestrel::ddd_host::RunInTempRoot([&] { return Run(models); });
}
