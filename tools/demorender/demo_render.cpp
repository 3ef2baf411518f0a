// kestrel-demo-render: loads kestrelkm through the graphics-engine stand-in
// as the engine does, enables a PDEV and its surface for model A (the
// build's K350.DDD) from the CreateDC devmode, and prints what the renderer
// reports to the engine: GDIINFO, DEVINFO and the surface. Document output
// arrives with job control; until then the renderer refuses the document
// and says so.
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/root.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  std::string models = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR);
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
        BOOL started = KpEngineStartDoc(s, u"Demo", 1);
        DWORD error = GetLastError();
        if (started) {
          std::printf("A document started.\n");
          KpEngineEndDoc(s, 0);
        } else {
          std::printf("Document output arrives with job control: DrvStartDoc is refused for now (error %u).\n",
                      error);
        }
        rc = 0;
      }
      if (s) KpEngineDisablePDEV(s);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
