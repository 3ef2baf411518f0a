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

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

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

// The application's photograph: a colour gradient as a JPEG file, made with
// libjpeg the way an application would have it on disk.
std::vector<unsigned char> ApplicationJpeg(int width, int height) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<unsigned char>(x * 255 / width);
      row[3 * x + 1] = static_cast<unsigned char>(y * 255 / height);
      row[3 * x + 2] = 128;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<unsigned char> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

void Put16(std::vector<char>& b, size_t at, unsigned v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::vector<char>& b, size_t at, unsigned v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// Escape 4210's block for one piece of the JPEG: the piece header, the
// destination record, the bitmap header, then the piece's bytes.
std::vector<char> DirectBlock(const std::vector<unsigned char>& jpeg, size_t from, size_t n, unsigned id,
                              unsigned rotation, int w, int h) {
  constexpr size_t kDest = 40, kBmih = 72, kData = 112;
  std::vector<char> b(kData + n);
  Put32(b, 0, static_cast<unsigned>(b.size()));
  Put32(b, 8, kDest);
  Put32(b, 12, static_cast<unsigned>(jpeg.size()));
  Put32(b, 16, static_cast<unsigned>(from));
  Put32(b, 20, static_cast<unsigned>(n));
  Put16(b, 24, id);
  Put16(b, 26, rotation);
  Put16(b, kDest + 4, 600);   // x, y in device pixels
  Put16(b, kDest + 6, 900);
  Put16(b, kDest + 8, 2 * w);  // printed at twice its size
  Put16(b, kDest + 10, 2 * h);
  Put16(b, kDest + 16, w);
  Put16(b, kDest + 18, h);
  Put32(b, kDest + 20, kData);
  Put32(b, kDest + 24, kBmih);
  Put32(b, kDest + 28, 0xCC0020);  // SRCCOPY
  Put32(b, kBmih, 40);
  Put32(b, kBmih + 4, w);
  Put32(b, kBmih + 8, h);
  Put32(b, kBmih + 16, 4);  // BI_JPEG
  std::memcpy(b.data() + kData, jpeg.data() + from, n);
  return b;
}

// A page on which the application hands its JPEG to the printer through
// the driver's private gate: the gate switched on (4209), the file sent in
// two pieces upright and whole turned by 270 degrees (4210).
bool GatePage(HDC hdc, const std::vector<unsigned char>& jpeg, int w, int h) {
  const char on[8] = {8, 0, 0, 0, 1, 0, 0, 0};
  char query[2] = {static_cast<char>(4210 & 0xFF), static_cast<char>(4210 >> 8)};
  if (ExtEscape(hdc, 4209, sizeof on, on, 0, nullptr) != 1) return false;
  std::printf("  4209 gate on; QUERYESCSUPPORT of 4210 answers %d\n",
              ExtEscape(hdc, QUERYESCSUPPORT, sizeof query, query, 0, nullptr));
  const size_t half = jpeg.size() / 2;
  std::vector<char> a = DirectBlock(jpeg, 0, half, 0, 0, w, h);
  const int id = ExtEscape(hdc, 4210, static_cast<int>(a.size()), a.data(), 0, nullptr);
  std::vector<char> b = DirectBlock(jpeg, half, jpeg.size() - half, static_cast<unsigned>(id), 0, w, h);
  const int end = ExtEscape(hdc, 4210, static_cast<int>(b.size()), b.data(), 0, nullptr);
  std::printf("  4210 rotation 0: piece 0..%zu answers image %d, piece %zu..%zu answers %d\n", half, id, half,
              jpeg.size(), end);
  std::vector<char> c = DirectBlock(jpeg, 0, jpeg.size(), 0, 270, w, h);
  const int turned = ExtEscape(hdc, 4210, static_cast<int>(c.size()), c.data(), 0, nullptr);
  std::printf("  4210 rotation 270: one piece of %zu bytes answers image %d\n", jpeg.size(), turned);
  return id > 0 && end == id && turned > 0;
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
  // A last page with the application's JPEG through the private gate.
  constexpr int kJpegWidth = 160, kJpegHeight = 120;
  const std::vector<unsigned char> jpeg = ApplicationJpeg(kJpegWidth, kJpegHeight);
  if (ok) {
    std::printf("A page with the application's JPEG (%d x %d, %zu bytes, made with libjpeg) through the gate:\n",
                kJpegWidth, kJpegHeight, jpeg.size());
    ok = StartPage(hdc) > 0 && GatePage(hdc, jpeg, kJpegWidth, kJpegHeight) && EndPage(hdc) > 0;
  }
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
  std::printf("A document of %u pages that draw nothing and one with the JPEG: %zu bytes of renderer stream in %s\n",
              pages, bytes.size(), out.c_str());
  // The JPEG's bytes in the stream: each ReadImage (CompressMode 2 in the
  // listing below) carries the file unchanged.
  size_t found = 0;
  for (auto at = bytes.begin();
       (at = std::search(at, bytes.end(), jpeg.begin(), jpeg.end(),
                         [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; })) != bytes.end();
       at += static_cast<std::ptrdiff_t>(jpeg.size()))
    ++found;
  std::printf("The JPEG's %zu bytes appear unchanged %zu times in the stream (one ReadImage of CompressMode 2\n"
              "each, the second after SetPageRotation 90 and followed by SetPageRotation 270).\n",
              jpeg.size(), found);
  if (found != 2) return false;
  std::printf("Stamps, watermarks and header/footer are drawn on the DC once the drawing and text work\n"
              "give the engine its drawing calls; until then the DC answers them ERROR_NOT_SUPPORTED.\n");
  return true;
}
