// kestrel-demo-render: loads kestrelkm through the graphics-engine stand-in
// as the engine does, enables a PDEV and its surface for model A (the
// build's K350.DDD) from the CreateDC devmode, prints what the renderer
// reports to the engine (GDIINFO, DEVINFO, the surface), asks the
// technology escape, and renders a two-page document whose pages draw
// nothing. The renderer's stream is written to the file named by the second
// argument (the build folder's demo/render-stream.xlr by default) for the
// spooler step; scripts/demo checks it with the strict checker's
// renderer-stream mode and prints its decoded sequence.
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/root.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demo_dc.h"
#include "km_host.h"

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
constexpr ULONG kPages = 2;

// One document of kPages pages that draw nothing; its stream goes to `out`.
bool RenderDocument(KP_ENGINE_SESSION* s, HANDLE printer, const std::string& out) {
  KpEngineClearOutput(printer);
  if (!KpEngineStartDoc(s, u"Kestrel demo", 1)) {
    std::fprintf(stderr, "DrvStartDoc failed (error %u)\n", GetLastError());
    return false;
  }
  for (ULONG page = 1; page <= kPages; ++page) {
    if (!KpEngineStartPage(s) || !KpEngineSendPage(s)) {
      std::fprintf(stderr, "page %u failed (error %u)\n", page, GetLastError());
      KpEngineEndDoc(s, ED_ABORTDOC);
      return false;
    }
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
  std::printf("A document of %u pages that draw nothing: %zu bytes of renderer stream in %s\n", kPages,
              bytes.size(), out.c_str());
  std::printf("Drawing is not built yet: the pages carry no drawing operators. The in-band commands in the\n"
              "stream await the spooler side (kestrelum), which carries them out and removes them.\n");
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
        (void)RenderDocument;
        rc = DemoPrintThroughDc(u"Scriva K350 PCL6", out, kPages) ? 0 : 1;
      }
      if (s) KpEngineDisablePDEV(s);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
