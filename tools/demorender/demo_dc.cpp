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

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "demo_dc.h"
#include "kestrel/render/km_escape.h"
#include "kplatform/byte_order.h"
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

// Escape 4210's block for one piece of the JPEG: the piece header, the
// destination record, the bitmap header, then the piece's bytes (the
// layout of kestrel/render/km_escape.h).
std::vector<char> DirectBlock(const std::vector<unsigned char>& jpeg, size_t from, size_t n, unsigned id,
                              unsigned rotation, int w, int h) {
  constexpr size_t kDest = PESC_DBLT_HEAD + PESC_DBLT_PIECE_SIZE, kBmih = kDest + PESC_DBLT_DEST_SIZE,
                   kData = kBmih + PESC_BMIH_SIZE;
  std::vector<char> b(kData + n);
  auto at = [&](size_t offset) { return reinterpret_cast<BYTE*>(b.data() + offset); };
  kp_StoreU32(at(0), static_cast<DWORD>(b.size()));
  kp_StoreU32(at(PESC_PIECE_DEST), kDest);
  kp_StoreU32(at(PESC_PIECE_JPEG_TOTAL), static_cast<DWORD>(jpeg.size()));
  kp_StoreU32(at(PESC_PIECE_OFFSET), static_cast<DWORD>(from));
  kp_StoreU32(at(PESC_PIECE_BYTES), static_cast<DWORD>(n));
  kp_StoreU16(at(PESC_PIECE_ID), static_cast<WORD>(id));
  kp_StoreU16(at(PESC_PIECE_ROTATION), static_cast<WORD>(rotation));
  kp_StoreU16(at(kDest + PESC_DEST_X), 600);  // x, y in device pixels
  kp_StoreU16(at(kDest + PESC_DEST_Y), 900);
  kp_StoreU16(at(kDest + PESC_DEST_W), static_cast<WORD>(2 * w));  // printed at twice its size
  kp_StoreU16(at(kDest + PESC_DEST_H), static_cast<WORD>(2 * h));
  kp_StoreU16(at(kDest + PESC_DEST_SRC_W), static_cast<WORD>(w));
  kp_StoreU16(at(kDest + PESC_DEST_SRC_H), static_cast<WORD>(h));
  kp_StoreU32(at(kDest + PESC_DEST_JPEG), kData);
  kp_StoreU32(at(kDest + PESC_DEST_BMIH), kBmih);
  kp_StoreU32(at(kDest + PESC_DEST_ROP), PESC_ROP_SRCCOPY);
  kp_StoreU32(at(kBmih), PESC_BMIH_SIZE);
  kp_StoreU32(at(kBmih + PESC_BMIH_WIDTH), static_cast<DWORD>(w));
  kp_StoreU32(at(kBmih + PESC_BMIH_HEIGHT), static_cast<DWORD>(h));
  kp_StoreU32(at(kBmih + PESC_BMIH_COMPRESSION), PESC_BI_JPEG);
  std::memcpy(b.data() + kData, jpeg.data() + from, n);
  return b;
}

// A page on which the application hands its JPEG to the printer through
// the driver's private gate: the gate switched on (4209), the file sent in
// two pieces upright and whole turned by 270 degrees (4210).
bool GatePage(HDC hdc, const std::vector<unsigned char>& jpeg, int w, int h) {
  char on[PESC_GATE_RECORD_SIZE];
  kp_StoreU32(reinterpret_cast<BYTE*>(on), PESC_GATE_RECORD_SIZE);
  kp_StoreU16(reinterpret_cast<BYTE*>(on) + 4, PESC_GATE_ON);
  kp_StoreU16(reinterpret_cast<BYTE*>(on) + 6, 0);
  char query[2];
  kp_StoreU16(reinterpret_cast<BYTE*>(query), KM_ESC_DIRECT_IMAGE);
  if (ExtEscape(hdc, KM_ESC_PRIVATE_GATE, sizeof on, on, 0, nullptr) != PESC_OK) return false;
  std::printf("  4209 gate on; QUERYESCSUPPORT of 4210 answers %d\n",
              ExtEscape(hdc, QUERYESCSUPPORT, sizeof query, query, 0, nullptr));
  const size_t half = jpeg.size() / 2;
  std::vector<char> a = DirectBlock(jpeg, 0, half, 0, 0, w, h);
  const int id = ExtEscape(hdc, KM_ESC_DIRECT_IMAGE, static_cast<int>(a.size()), a.data(), 0, nullptr);
  std::vector<char> b = DirectBlock(jpeg, half, jpeg.size() - half, static_cast<unsigned>(id), 0, w, h);
  const int end = ExtEscape(hdc, KM_ESC_DIRECT_IMAGE, static_cast<int>(b.size()), b.data(), 0, nullptr);
  std::printf("  4210 rotation 0: piece 0..%zu answers image %d, piece %zu..%zu answers %d\n", half, id, half,
              jpeg.size(), end);
  std::vector<char> c = DirectBlock(jpeg, 0, jpeg.size(), 0, 270, w, h);
  const int turned = ExtEscape(hdc, KM_ESC_DIRECT_IMAGE, static_cast<int>(c.size()), c.data(), 0, nullptr);
  std::printf("  4210 rotation 270: one piece of %zu bytes answers image %d\n", jpeg.size(), turned);
  return id > 0 && end == id && turned > 0;
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
