// The render demo's document as an application prints it: CreateDCW ...
// DeleteDC through the DC stand-in, with kestrelui as the printer's
// configuration file (its document events build the CreateDC devmode and
// hand the job to the renderer through private escapes) and kestrelkm as its
// driver. Lists the escapes kestrelui sent and writes the renderer's stream.
#include <kplatform/engine.h>
#include <kplatform/gdi32_dc.h>
#include <kplatform/kwindows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_dc.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/nondev.h"

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

void ListLog(HDC hdc, DWORD from, bool drawing = false) {
  for (DWORD i = from; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (!KpDcLogEntry(hdc, i, &e)) continue;
    if (e.kind == KP_DCLOG_DRAWING && drawing)
      std::printf("      %-22s (%ld, %ld, %ld) -> %ld\n", e.name, static_cast<long>(e.args[0]),
                  static_cast<long>(e.args[1]), static_cast<long>(e.args[2]), static_cast<long>(e.result));
    else if (e.kind == KP_DCLOG_EVENT && e.code != DOCUMENTEVENT_ESCAPE)
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
  return true;
}

namespace {

// A 24-bit picture of width x height pixels in one colour (B, G, R), as a
// .bmp file's bytes.
std::vector<char> Bitmap(int width, int height, BYTE b, BYTE g, BYTE r) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  std::vector<char> bmp(54 + stride * static_cast<size_t>(height), 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(bmp.data() + at, &v, 4); };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bmp[26] = 1;
  bmp[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      char* px = bmp.data() + 54 + y * stride + x * 3;
      px[0] = static_cast<char>(b);
      px[1] = static_cast<char>(g);
      px[2] = static_cast<char>(r);
    }
  return bmp;
}

}  // namespace

bool DemoStampThroughDc(const char16_t* printerName, const std::vector<BYTE>& createDcDevmode,
                        const std::string& root, const std::string& out) {
  // The stamp's picture where the devmode names it (C:\kestrel-stamp.bmp).
  const std::vector<char> picture = Bitmap(64, 300, 0x20, 0x20, 0xC0);
  {
    std::ofstream file(root + "/c/kestrel-stamp.bmp", std::ios::binary | std::ios::trunc);
    file.write(picture.data(), static_cast<std::streamsize>(picture.size()));
    if (!file) {
      std::fprintf(stderr, "cannot write the stamp's picture\n");
      return false;
    }
  }
  std::vector<BYTE> dm = createDcDevmode;
  const char16_t name[] = u"Demo stamp";
  const char16_t bitmap[] = u"C:\\kestrel-stamp.bmp";
  const char16_t settings[] = u"C:\\kestrel-stamp.ndv";
  if (dm.size() < NRV_DEVMODE_SIZE_KIND1 + NONDEV_RECORD_SIZE ||
      ddm_SetValue(DDM_STAMPNAME, dm.data(), nullptr, DDM_TYPE_STRING, sizeof name, name) != 0 ||
      ddm_SetValue(DDM_STAMP_BITMAP_NAME, dm.data(), nullptr, DDM_TYPE_STRING, sizeof bitmap, bitmap) != 0 ||
      ddm_SetValue(DDM_FAX_TEMP_FILE, dm.data(), nullptr, DDM_TYPE_STRING, sizeof settings, settings) != 0 ||
      !ddm_SetNumber(DDM_HEADERFOOTER_DOCNAME, dm.data(), nullptr, 1)) {
    std::fprintf(stderr, "cannot set the stamp in the devmode\n");
    return false;
  }
  {
    // The bitmap's name is a non-devmode setting: StartDoc loads the record
    // from the document-property file the devmode names (DDM 374).
    NONDEV_HEADER head{};
    std::memcpy(head.tag, NONDEV_TAG, sizeof head.tag);
    head.version = NONDEV_VERSION;
    head.size = NONDEV_RECORD_SIZE;
    NONDEV_GSB_HEADER gsb{};
    std::memcpy(gsb.tag, NONDEV_GSB_TAG, sizeof gsb.tag);
    std::ofstream file(root + "/c/kestrel-stamp.ndv", std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(&head), sizeof head);
    file.write(reinterpret_cast<const char*>(dm.data() + NRV_DEVMODE_SIZE_KIND1), NONDEV_RECORD_SIZE);
    file.write(reinterpret_cast<const char*>(&gsb), sizeof gsb);
    if (!file) {
      std::fprintf(stderr, "cannot write the stamp's settings file\n");
      return false;
    }
  }
  HDC hdc = CreateDCW(nullptr, printerName, nullptr, reinterpret_cast<const DEVMODEW*>(dm.data()));
  if (!hdc) {
    std::fprintf(stderr, "CreateDCW failed (error %u)\n", GetLastError());
    return false;
  }
  std::printf("A page with a bitmap stamp (64 x 300 pixels) and the document name in its header, through\n"
              "CreateDCW ... DeleteDC: the application draws a line; at EndPage kestrelui draws the stamp in\n"
              "two bands (SetPaperOffset, StretchDIBits) and the header's rule (Polyline) on the DC, which\n"
              "passes them to kestrelkm through the engine's drawing calls. The header's text waits for the\n"
              "text work (ExtTextOutW answers ERROR_NOT_SUPPORTED).\n");
  DOCINFOW doc{sizeof(DOCINFOW), u"Kestrel stamp demo", nullptr, nullptr, 0};
  bool ok = StartDocW(hdc, &doc) > 0 && StartPage(hdc) > 0;
  const DWORD from = KpDcLogCount(hdc);
  const POINT line[2] = {{300, 600}, {3000, 600}};
  ok = ok && Polyline(hdc, line, 2);
  ok = ok && EndPage(hdc) > 0 && EndDoc(hdc) > 0;
  std::printf("The page's drawing calls and escapes:\n");
  ListLog(hdc, from, true);
  std::vector<char> bytes(KpEngineGetOutput(KpDcEnginePrinter(hdc), nullptr, 0));
  KpEngineGetOutput(KpDcEnginePrinter(hdc), bytes.data(), bytes.size());
  DeleteDC(hdc);
  if (!ok) {
    std::fprintf(stderr, "the stamped document failed (error %u)\n", GetLastError());
    return false;
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) return false;
  std::printf("The stamped page: %zu bytes of renderer stream in %s\n", bytes.size(), out.c_str());
  return true;
}
