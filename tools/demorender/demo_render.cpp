// kestrel-demo-render: loads kestrelkm through the graphics-engine stand-in
// as the engine does, enables a PDEV and its surface for model A (the
// build's K350.DDD) from the CreateDC devmode, prints what the renderer
// reports to the engine (GDIINFO, DEVINFO, the surface), asks the
// technology escape, and renders a one-page document: the sample page of
// tools/kmhost (paths, clips, brushes, images). The renderer's stream is
// written to the file named by the second argument (the build folder's
// demo/render-stream.xlr by default) for the
// spooler step; scripts/demo checks it with the strict checker's
// renderer-stream mode and prints its decoded sequence. Two layouts follow
// beside it: four pages at 2-up with frame lines (render-nup.xlr) and one
// page as a 2 x 2 poster with crop marks (render-poster.xlr); the demo
// prints their page sequences (sheets, page matrices, stores, replays and
// their masks) as the spooler side's in-band reader reads them.
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/root.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_escape.h"
#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "demo_dc.h"
#include "km_host.h"
#include "sample_page.h"
#include "kplatform/byte_order.h"

namespace {

void Print(const GDIINFO& g, const DEVINFO& i, const KP_ENGINE_SURFACE_INFO& s) {
  std::printf("GDIINFO\n");
  std::printf("  version 0x%X, technology %u (raster printer)\n", g.ulVersion, g.ulTechnology);
  std::printf("  printable area %u x %u mm, %u x %u pixels\n", g.ulHorzSize, g.ulVertSize, g.ulHorzRes, g.ulVertRes);
  std::printf("  paper %d x %d pixels, printable offset %d, %d\n", g.szlPhysSize.cx, g.szlPhysSize.cy,
              g.ptlPhysOffset.x, g.ptlPhysOffset.y);
  std::printf("  %u bits per pixel, %u plane(s), %u colours\n", g.cBitsPixel, g.cPlanes, g.ulNumColors);
  std::printf("  logical resolution %u x %u dpi, aspect %u/%u/%u\n", g.ulLogPixelsX, g.ulLogPixelsY, g.ulAspectX,
              g.ulAspectY, g.ulAspectXY);
  std::printf("  text caps 0x%X, style steps %d/%d/%d\n", g.flTextCaps, g.xStyleStep, g.yStyleStep,
              g.denStyleStep);
  std::printf("  halftone pattern %u, output format %u, flags %u\n", g.ulHTPatternSize, g.ulHTOutputFormat,
              g.flHTFlags);
  std::printf("DEVINFO\n");
  std::printf("  graphics caps 0x%X, %u device fonts, dither format %u, default palette %s\n", i.flGraphicsCaps,
              i.cFonts, i.iDitherFormat, i.hpalDefault ? "made" : "none");
  std::printf("Surface\n");
  std::printf("  %d x %d pixels, bitmap format %u (24 bits), device-managed, hooks 0x%X\n", s.size.cx, s.size.cy,
              s.format, s.hooks);
}

constexpr ULONG kGetTechnology = 20;  // GETTECHNOLOGY
// One document of one page, the sample page; its stream goes to `out`.
bool RenderDocument(KP_ENGINE_SESSION* s, HANDLE printer, const std::string& out) {
  KpEngineClearOutput(printer);
  if (!KpEngineStartDoc(s, u"Kestrel demo", 1)) {
    std::fprintf(stderr, "DrvStartDoc failed (error %u)\n", GetLastError());
    return false;
  }
  std::vector<kestrel::kmhost::SampleCall> calls;
  if (!KpEngineStartPage(s)) {
    std::fprintf(stderr, "DrvStartPage failed (error %u)\n", GetLastError());
    KpEngineEndDoc(s, ED_ABORTDOC);
    return false;
  }
  const bool drawn = kestrel::kmhost::DrawSamplePage(s, &calls);
  std::printf("The sample page, call by call:\n");
  for (const auto& c : calls) std::printf("  %-62s %s\n", c.what.c_str(), c.result ? "TRUE" : "FALSE");
  if (!drawn || !KpEngineSendPage(s)) {
    std::fprintf(stderr, "the sample page failed (error %u)\n", GetLastError());
    KpEngineEndDoc(s, ED_ABORTDOC);
    return false;
  }
  if (!KpEngineEndDoc(s, 0)) {
    std::fprintf(stderr, "DrvEndDoc failed (error %u)\n", GetLastError());
    return false;
  }
  std::vector<char> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  std::filesystem::create_directories(std::filesystem::path(out).parent_path());
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return false;
  }
  std::printf("A document of one page: %zu bytes of renderer stream in %s\n", bytes.size(), out.c_str());
  std::printf("What each call became is in the listing below: the paths as NewPath, SetCursor, LinePath,\n"
              "BezierPath and PaintPath (the ellipse whole), the clips as SetClipRectangle and a clip path\n"
              "(SetClipReplace), the brushes as solid colours and raster patterns (BeginRastPattern), the\n"
              "strips as images between in-band 148 and 149, the mask as a one-bit image. The in-band\n"
              "commands await the spooler side (kestrelum), which carries them out and removes them.\n");
  return true;
}

bool WriteFile(const std::string& out, const std::vector<char>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(out).parent_path());
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) std::fprintf(stderr, "cannot write %s\n", out.c_str());
  return static_cast<bool>(file);
}

float Real(const BYTE* p) {
  const DWORD bits = kp_LoadU32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The page sequence of a stream: sheets (138 .. 139), page matrices (137),
// page stores (132 init, 133 store with its mask, 134 stop, 135 dispose)
// and replays (136 with its mask and matrix), and the lines drawn.
void PrintSequence(const std::vector<char>& stream) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(stream.data());
  size_t at = 0, lines = 0;
  while (at < stream.size()) {
    const XlIcRead r = xl_ic_read(bytes + at, stream.size() - at, TRUE);
    if (r.length == 0 || (r.status != XL_IC_COMMAND && r.status != XL_IC_NOT_INBAND)) {
      std::printf("  (the stream breaks at byte %zu)\n", at);
      return;
    }
    const BYTE* p = r.payload;
    if (r.status == XL_IC_NOT_INBAND) {
      lines += bytes[at + r.length - 1] == XL_OP_PAINTPATH;
    } else {
      switch (r.code) {
        case XL_IC_PAGESTORING_INIT:
          std::printf("  132 page store: first page %u, growth %u\n", kp_LoadU16(p), kp_LoadU16(p + 2));
          break;
        case XL_IC_PAGESTORING_START:
          std::printf("  133 store page %u, capture mask %d\n", kp_LoadU16(p + 16), kp_LoadI32(p + 4));
          break;
        case XL_IC_PAGESTORING_STOP: std::printf("  134 stop storing page %u\n", kp_LoadU16(p)); break;
        case XL_IC_PAGESTORING_DISPOSE: std::printf("  135 dispose the page store\n"); break;
        case XL_IC_OUTPUT_STOREDPAGE:
          std::printf("  136 replay page %u, mask %d, matrix {%g %g %g %g %g %g}\n", kp_LoadU16(p + 28),
                      kp_LoadI32(p + 24), Real(p), Real(p + 4), Real(p + 8), Real(p + 12), Real(p + 16),
                      Real(p + 20));
          break;
        case XL_IC_SETCOORDINATE:
          std::printf("  137 page matrix {%g %g %g %g %g %g}\n", Real(p), Real(p + 4), Real(p + 8), Real(p + 12),
                      Real(p + 16), Real(p + 20));
          break;
        case XL_IC_STARTPAGE:
          lines = 0;
          std::printf("  138 sheet begins\n");
          break;
        case XL_IC_SHOWPAGE: std::printf("  139 sheet ends: %zu lines drawn on it\n", lines); break;
        case XL_IC_OPENPRINTER: std::printf("  143 a send begins\n"); break;
        case XL_IC_CLOSEPRINTER: std::printf("  144 the send ends (%u)\n", p[0]); break;
        case XL_IC_SETLAYOUTINFO:
          std::printf("  154 layout: output paper %u, %u dpi\n", kp_LoadU16(p + 36), kp_LoadU16(p + 124));
          break;
        default: break;
      }
    }
    at += r.length;
  }
}

// One document of `pages` blank pages on a PDEV of its own, with settings
// changed by DDM id; its stream goes to `out` and its sequence is printed.
bool RenderLayout(kestrel::kmhost::Queue& q, const char* what, const std::vector<std::pair<WORD, LONG>>& settings,
                  ULONG pages, const std::string& out, WORD faxDestinations = 0) {
  std::vector<BYTE> devmode = q.devmode;
  std::vector<BYTE> printerData(NRV_PRINTERDATA_SIZE);
  for (const auto& [id, value] : settings) {
    if (!ddm_SetNumber(id, devmode.data(), printerData.data(), value)) {
      std::fprintf(stderr, "%s: setting %u cannot be %ld\n", what, id, static_cast<long>(value));
      return false;
    }
  }
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(q.driver, q.printer, devmode.data());
  bool ok = s && KpEngineEnableSurface(s);
  KpEngineClearOutput(q.printer);
  ok = ok && KpEngineStartDoc(s, u"Kestrel layout demo", 1);
  if (ok && faxDestinations) {
    // The fax address list as the document events hand it over: the tag,
    // the count, empty entries.
    std::vector<BYTE> list(KM_FAX_HEADER_SIZE + static_cast<size_t>(KM_FAX_ENTRY_SIZE) * faxDestinations);
    std::memcpy(list.data(), KM_FAX_TAG, KM_FAX_TAG_BYTES);
    kp_StoreU16(list.data() + KM_FAX_COUNT_OFFSET, faxDestinations);
    ok = static_cast<LONG>(KpEngineEscape(s, KM_ESC_SET_FAX_ADDRESS_INFO, static_cast<ULONG>(list.size()),
                                          list.data(), 0, nullptr)) == 1;
  }
  for (ULONG page = 0; ok && page < pages; ++page) ok = KpEngineStartPage(s) && KpEngineSendPage(s);
  ok = ok && KpEngineEndDoc(s, 0);
  if (s) KpEngineDisablePDEV(s);
  if (!ok) {
    std::fprintf(stderr, "%s failed (error %u)\n", what, GetLastError());
    return false;
  }
  std::vector<char> bytes(KpEngineGetOutput(q.printer, nullptr, 0));
  KpEngineGetOutput(q.printer, bytes.data(), bytes.size());
  if (!WriteFile(out, bytes)) return false;
  std::printf("%s: %zu bytes of renderer stream in %s\n", what, bytes.size(), out.c_str());
  PrintSequence(bytes);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string models = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR);
  std::string out = argc > 2 ? argv[2] : std::string(KESTREL_DEMO_DIR) + "/render-stream.xlr";
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-render-XXXXXX").string();
  if (!mkdtemp(pattern.data()) || !KpSetRoot(pattern.c_str())) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  int rc = 1;
  {
    kestrel::kmhost::Queue q;
    if (!q.Open(models, "K350", u"Scriva K350 PCL6")) {
      std::fprintf(stderr, "%s\n", q.error.c_str());
    } else {
      std::printf("kestrelkm: driver version 0x%X, %u entry points\n", KpEngineDriverVersion(q.driver),
                  KpEngineDriverEntryCount(q.driver));
      KP_ENGINE_SESSION* s = KpEngineEnablePDEV(q.driver, q.printer, q.devmode.data());
      if (!s || !KpEngineEnableSurface(s)) {
        std::fprintf(stderr, "no PDEV or surface for model A (error %u)\n", GetLastError());
      } else {
        std::printf("Model A (Scriva K350), default settings, CreateDC devmode of %zu bytes\n", q.devmode.size());
        KP_ENGINE_SURFACE_INFO surface{};
        KpEngineQuerySurface(KpEngineSessionSurface(s)->hsurf, &surface);
        Print(*KpEngineSessionGdiInfo(s), *KpEngineSessionDevInfo(s), surface);
        char technology[16] = {};
        const DWORD anyInput = 0;
        ULONG answer = KpEngineEscape(s, kGetTechnology, sizeof anyInput, const_cast<DWORD*>(&anyInput),
                                      sizeof technology - 1, technology);
        std::printf("GETTECHNOLOGY answers %ld: \"%s\"\n", static_cast<long>(answer), technology);
        // The stream for the spooler step: the document as an application
        // prints it, through the DC stand-in and kestrelui's events.
        const std::string drawing = std::filesystem::path(out).parent_path().string() + "/render-drawing.xlr";
        rc = RenderDocument(s, q.printer, drawing) ? 0 : 1;
        constexpr unsigned kDcPages = 2;
        if (rc == 0) rc = DemoPrintThroughDc(u"Scriva K350 PCL6", out, kDcPages) ? 0 : 1;
        std::filesystem::create_directories(pattern + "/c");
        const std::string stamp = std::filesystem::path(out).parent_path().string() + "/render-stamp.xlr";
        if (rc == 0) rc = DemoStampThroughDc(u"Scriva K350 PCL6", q.devmode, pattern, stamp) ? 0 : 1;
      }
      if (s) KpEngineDisablePDEV(s);
      const std::string dir = std::filesystem::path(out).parent_path().string();
      constexpr LONG kPosterLayout = 1, kPoster2x2 = 514;
      if (rc == 0 && !RenderLayout(q, "Four pages at 2-up with frame lines", {{DDM_NUP, 2}, {DDM_NUP_FRAME, 1}}, 4,
                                   dir + "/render-nup.xlr"))
        rc = 1;
      if (rc == 0 && !RenderLayout(q, "One page as a 2 x 2 poster with crop marks",
                                   {{DDM_LAYOUTMODE, kPosterLayout}, {DDM_POSTERPARTS, kPoster2x2},
                                    {DDM_POSTER_CROP_MARKS, 1}},
                                   1, dir + "/render-poster.xlr"))
        rc = 1;
      constexpr WORD kFaxDestinations = 2;
      if (rc == 0 && !RenderLayout(q, "Two pages faxed to two destinations with a cover sheet each (paper 9, 600 dpi)",
                                   {{DDM_FAX_COVER_SHEET_MODE, 1}, {DDM_FAX_SINGLE_HEADER, 0},
                                    {DDM_FAX_DESTINATION_COUNT, kFaxDestinations}},
                                   2, dir + "/render-fax.xlr", kFaxDestinations))
        rc = 1;
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
