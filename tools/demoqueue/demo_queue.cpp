// kestrel-demo-queue: sets up model A's queue and gives an application its
// devmode through kestrelui, loaded by the platform's loader as the spooler
// and applications load it: DrvPrinterEvent(INITIALIZE) on the new queue,
// DrvDocumentProperties asked for the size and for a copy of the queue's
// devmode, DrvConvertDevMode of that devmode, and DevQueryPrintEx refusing a
// devmode that is not the driver's. The property sheets are
// kestrel-demo-sheet's.
#include <kplatform/byte_order.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winddiui.h>
#include <kplatform/wingdi_consts.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_printer.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ddd_host.h"
#include "queue_files.h"

namespace {

constexpr char16_t kPrinter[] = u"Scriva K350";
constexpr DWORD kDevmodeBytes = 1556;  // the devmode exchanged with applications

using EventFn = BOOL (*)(LPWSTR, int, DWORD, LPARAM);
using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
using ConvertFn = BOOL (*)(LPWSTR, void*, void*, LONG*, DWORD);
using QueryFn = BOOL (*)(DEVQUERYPRINT_INFO*);

std::string Narrow(const char16_t* s) {
  std::string out;
  for (; s && *s; ++s) out.push_back(*s < 128 ? static_cast<char>(*s) : '?');
  return out;
}

int Run(const std::string& models) {
  if (!kestrel::queue::InstallModelFiles(models, "K350").empty() ||
      !kestrel::queue::InstallDriverModules(false).empty()) {
    std::fprintf(stderr, "cannot install the driver files\n");
    return 1;
  }
  if (!KpSpoolerAddPrinter(kPrinter, u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"kestrelui.dll")) {
    std::fprintf(stderr, "cannot add the printer\n");
    return 1;
  }
  HMODULE ui = LoadLibraryW(u"kestrelui.dll");
  if (!ui) {
    std::fprintf(stderr, "kestrelui does not load\n");
    return 1;
  }
  auto event = reinterpret_cast<EventFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvPrinterEvent")));
  auto props =
      reinterpret_cast<DocumentPropertiesFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvDocumentProperties")));
  auto convert = reinterpret_cast<ConvertFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvConvertDevMode")));
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DevQueryPrintEx")));
  if (!event || !props || !convert || !query) {
    std::fprintf(stderr, "kestrelui lacks an export\n");
    FreeLibrary(ui);
    return 1;
  }
  int rc = 1;
  HANDLE printer = nullptr;
  std::u16string name = kPrinter;
  do {
    if (!event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0)) break;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) break;
    DWORD type = 0, needed = 0;
    WCHAR um[64] = {};
    GetPrinterDataW(printer, const_cast<LPWSTR>(u"SPLUserModePrinterDriver"), &type, reinterpret_cast<LPBYTE>(um),
                    sizeof um - 2, &needed);
    BYTE id[16] = {};
    bool hasId = GetPrinterDataW(printer, const_cast<LPWSTR>(u"PRNID"), &type, id, sizeof id, &needed) == 0;
    DWORD formsNeeded = 0, forms = 0;
    EnumFormsW(printer, 1, nullptr, 0, &formsNeeded, &forms);
    std::vector<BYTE> formBytes(formsNeeded);
    EnumFormsW(printer, 1, formBytes.data(), formsNeeded, &formsNeeded, &forms);
    std::printf("DrvPrinterEvent(INITIALIZE): user-mode driver \"%s\", printer id %s, %lu forms known\n",
                Narrow(um).c_str(), hasId ? "stored" : "MISSING", static_cast<unsigned long>(forms));
    if (!um[0] || !hasId) break;

    LONG size = props(nullptr, printer, name.data(), nullptr, nullptr, 0);
    std::printf("DrvDocumentProperties(fMode 0): %ld bytes\n", static_cast<long>(size));
    if (size != static_cast<LONG>(kDevmodeBytes)) break;
    std::vector<BYTE> devmode(kDevmodeBytes);
    LONG copied = props(nullptr, printer, name.data(), devmode.data(), nullptr, DM_COPY);
    std::printf("DrvDocumentProperties(DM_COPY): %ld, dmSize %u, dmDriverExtra %u, copies %d\n",
                static_cast<long>(copied), kp_LoadU16(&devmode[68]), kp_LoadU16(&devmode[70]),
                static_cast<int>(kp_LoadI16(&devmode[86])));
    if (copied != 1) break;

    std::vector<BYTE> converted(kDevmodeBytes);
    LONG bytes = static_cast<LONG>(kDevmodeBytes);
    BOOL ok = convert(name.data(), devmode.data(), converted.data(), &bytes, CDM_CONVERT);
    std::printf("DrvConvertDevMode(CDM_CONVERT): %d, %ld bytes\n", ok, static_cast<long>(bytes));
    if (!ok) break;

    std::vector<BYTE> foreign(devmode.begin(), devmode.begin() + 220);
    kp_StoreU16(&foreign[70], 0);  // a bare standard devmode: not the driver's
    WCHAR text[64] = {};
    DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer, foreign.data(), text, 64, 0};
    BOOL printable = query(&info);
    std::printf("DevQueryPrintEx(foreign devmode): %d, \"%s\"\n", printable, Narrow(text).c_str());
    info.pDevMode = converted.data();
    BOOL ours = query(&info);
    std::printf("DevQueryPrintEx(the driver's devmode): %d\n", ours);
    if (printable || !ours) break;
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
