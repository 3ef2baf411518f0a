// kestrel-demo-render: loads kestrelkm through the graphics-engine stand-in
// as the engine does, enables a PDEV and its surface for model A (the
// build's K350.DDD) from the CreateDC devmode, and prints what the renderer
// reports to the engine: GDIINFO, DEVINFO and the surface. Document output
// arrives with job control; until then the renderer refuses the document
// and says so.
#include <kplatform/engine.h>
#include <kplatform/kernel_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/root.h>
#include <kplatform/winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrel/cddd.h"
#include "kestrel/cdm_defaults.h"
#include "kestrel/devmode.h"
#include "kestrel/zanlib.h"

namespace {

constexpr char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
constexpr char16_t kPrinter[] = u"Scriva K350 PCL6";

bool Install(const std::string& hostFile, const char16_t* asName) {
  if (KpInstallModule(hostFile.c_str(), asName)) return true;
  std::fprintf(stderr, "cannot install %s\n", hostFile.c_str());
  return false;
}

// The model's default devmode in the 5464-byte form DrvDocumentEvent hands
// over at CreateDC: dmDriverExtra 5244 and the marker 24 at offset 5440.
bool CreateDcDevmode(std::vector<BYTE>& dm) {
  HCDDD h = cddd_OpenFile((std::u16string(kDriverDir) + u"K350.DDD").c_str());
  if (!h) return false;
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  dm.assign(NRV_DEVMODE_SIZE_CREATEDC, 0);
  BOOL ok = cdm_SetDefaultDevmode(h, dm.data(), pd.data(), kPrinter);
  cddd_Close(h);
  WORD extra = NRV_DEVMODE_EXTRA_CREATEDC, marker = 24;
  std::memcpy(&dm[70], &extra, 2);
  std::memcpy(&dm[NRV_DEVMODE_SIZE_FULL], &marker, 2);
  return ok;
}

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
  KP_ENGINE_DRIVER* driver = nullptr;
  HANDLE printer = nullptr;
  do {
    if (!Install("libkestrelkm.so", nullptr) || !Install("kestrelrs.zrs", nullptr) ||
        !Install(models + "/K350.DDD", u"K350.DDD") || !Install(models + "/K350RES.DDD", u"K350RES.DDD"))
      break;
    resource_startToUse(nullptr, (std::u16string(kDriverDir) + u"kestrelkm.dll").c_str());
    std::vector<BYTE> dm;
    bool built = CreateDcDevmode(dm);
    resource_finishToUse();
    if (!built) {
      std::fprintf(stderr, "model A's defaults could not be built\n");
      break;
    }
    if (!KpSpoolerAddPrinter(kPrinter, kPrinter, u"K350.DDD", u"K350.cfg", u"kestrelkm.dll")) break;
    std::u16string driverPath = std::u16string(kDriverDir) + u"kestrelkm.dll";
    std::u16string dataFile = std::u16string(kDriverDir) + u"K350.DDD";
    KP_ENGINE_PRINTER_INFO info{kPrinter, driverPath.c_str(), dataFile.c_str()};
    printer = KpEngineCreatePrinter(&info);
    driver = printer ? KpEngineLoadDriver(u"kestrelkm") : nullptr;
    if (!driver) {
      std::fprintf(stderr, "kestrelkm does not load (error %u)\n", GetLastError());
      break;
    }
    std::printf("kestrelkm: driver version 0x%X, %u entry points\n", KpEngineDriverVersion(driver),
                KpEngineDriverEntryCount(driver));
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(driver, printer, dm.data());
    if (!s || !KpEngineEnableSurface(s)) {
      std::fprintf(stderr, "no PDEV or surface for model A (error %u)\n", GetLastError());
      if (s) KpEngineDisablePDEV(s);
      break;
    }
    std::printf("Model A (Scriva K350), default settings, CreateDC devmode of %zu bytes\n", dm.size());
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
    KpEngineDisablePDEV(s);
    rc = 0;
  } while (false);
  if (driver) KpEngineUnloadDriver(driver);
  if (printer) KpEngineDeletePrinter(printer);
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
