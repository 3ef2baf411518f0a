// The render demo's document as an application prints it: CreateDCW ...
// DeleteDC through the DC stand-in, with kestrelui as the printer's
// configuration file (its document events build the CreateDC devmode and
// hand the job to the renderer through private escapes) and kestrelkm as its
// driver. Lists the escapes kestrelui sent and writes the renderer's stream.
#include <kplatform/engine.h>
#include <kplatform/gdi32_dc.h>
#include <kplatform/kwindows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_dc.h"

namespace {

const char* EscapeName(LONG code) {
  switch (code) {
    case 0x5001: return "GetPageInfo";
    case 0x5002: return "GetDevMode";
    case 0x5003: return "GetSetStampMode";
    case 0x5004: return "SetPaperOffset";
    case 0x5005: return "SetDevMode";
    case 0x5006: return "GetHeaderFooter";
    case 0x5007: return "SetHeaderFooter";
    case 0x5008: return "GetSetHeaderMode";
    case 0x5009: return "GetIsFax";
    case 0x500B: return "SetPrinterData";
    case 0x5010: return "SetAppMargin";
    case 0x5020: return "SetStartDocFlag";
    case 0x5021: return "SetStatus";
    case 0x5023: return "SetDocName";
    case 0x5024: return "SetFaxAddressInfo";
    case 0x5025: return "SetJCLHeader";
    case 0x5028: return "GetPEscapeStatus";
    case 0x5029: return "SetPEscapeStatus";
    case 0x502A: return "Query_EMFSpool";
    case 0x502B: return "DisableFormFile";
    case 0x502C: return "SetCSDX";
    case 0x502E: return "GetGSBDATA";
    case 0x5100: return "SetLetterFlag";
    default: return "escape";
  }
}

const char* EventName(LONG code) {
  static const char* names[] = {"",         "CREATEDCPRE", "CREATEDCPOST", "RESETDCPRE",   "RESETDCPOST",
                                "STARTDOC", "STARTPAGE",   "ENDPAGE",      "ENDDOC",       "ABORTDOC",
                                "DELETEDC", "ESCAPE",      "ENDDOCPOST",   "STARTDOCPOST", "QUERYFILTER"};
  return code >= 1 && code <= 14 ? names[code] : "?";
}

void ListLog(HDC hdc, DWORD from) {
  for (DWORD i = from; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (!KpDcLogEntry(hdc, i, &e)) continue;
    if (e.kind == KP_DCLOG_EVENT && e.code != DOCUMENTEVENT_ESCAPE)
      std::printf("  event %-13s -> %ld\n", EventName(e.code), static_cast<long>(e.result));
    else if (e.kind == KP_DCLOG_ESCAPE)
      std::printf("    escape 0x%04lX %-17s in %5lu out %5lu -> %ld\n", static_cast<unsigned long>(e.code),
                  EscapeName(e.code), static_cast<unsigned long>(e.cbIn), static_cast<unsigned long>(e.cbOut),
                  static_cast<long>(e.result));
  }
}

}  // namespace

bool DemoPrintThroughDc(const char16_t* printerName, const std::string& out, unsigned pages) {
  if (!KpInstallModule("libkestrelui.so", nullptr) || !KpInstallModule("libkestreljd.so", nullptr)) {
    std::fprintf(stderr, "cannot install kestrelui and kestreljd\n");
    return false;
  }
  // Windows' meaning of the driver's files: the configuration file is
  // kestrelui, the driver kestrelkm.
  std::u16string name(printerName);
  std::u16string data = u"K350.DDD";
  if (!KpSpoolerAddPrinter(printerName, printerName, data.c_str(), u"kestrelui.dll", u"kestrelkm.dll")) {
    std::fprintf(stderr, "cannot add the spooler printer\n");
    return false;
  }
  HDC hdc = CreateDCW(nullptr, printerName, nullptr, nullptr);
  if (!hdc) {
    std::fprintf(stderr, "CreateDCW failed (error %u)\n", GetLastError());
    return false;
  }
  std::printf("An application's document through CreateDCW ... DeleteDC: the devmode and the job state\n"
              "come from kestrelui's document events, sent to kestrelkm as private escapes.\n");
  bool ok = true;
  DOCINFOW doc{sizeof(DOCINFOW), u"Kestrel demo", nullptr, nullptr, 0};
  if (StartDocW(hdc, &doc) <= 0) ok = false;
  for (unsigned page = 1; ok && page <= pages; ++page)
    ok = StartPage(hdc) > 0 && EndPage(hdc) > 0;
  if (ok) ok = EndDoc(hdc) > 0;
  else AbortDoc(hdc);
  std::printf("The document events and the escapes they sent:\n");
  ListLog(hdc, 0);
  std::vector<char> bytes(KpEngineGetOutput(KpDcEnginePrinter(hdc), nullptr, 0));
  KpEngineGetOutput(KpDcEnginePrinter(hdc), bytes.data(), bytes.size());
  DeleteDC(hdc);
  if (!ok) {
    std::fprintf(stderr, "the document failed (error %u)\n", GetLastError());
    return false;
  }
  std::filesystem::create_directories(std::filesystem::path(out).parent_path());
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) return false;
  std::printf("A document of %u pages that draw nothing: %zu bytes of renderer stream in %s\n", pages, bytes.size(),
              out.c_str());
  std::printf("Stamps, watermarks and header/footer are drawn on the DC once the drawing and text work\n"
              "give the engine its drawing calls; until then the DC answers them ERROR_NOT_SUPPORTED.\n");
  return true;
}
