// kestrel-demo-text: a text page for model A at its default settings,
// printed with DrvTextOut through the graphics-engine stand-in as the engine
// does: lines in DejaVu Sans and DejaVu Serif, one in bold, one turned by 90
// degrees, and one with characters beyond Latin-1 (Greek and Cyrillic).
// The heading is in the printer's Helvetica (a device font). At the
// defaults the TrueType option (DDM 17) is 3, derived from the TrueType
// handling (DDM 292) 0, so the TrueType lines are printed with the device
// font that the substitution table or the scoring picks, unless they hold
// characters the device fonts lack (downloaded as outlines); the printed
// settings show both values. For every run it reports how the renderer
// printed it (the kind: a device font, TrueType outlines or bitmaps, read
// from the font name the run set),
// the glyphs it downloaded and the stream bytes it made. The page's stream
// goes to the build folder's demo/text-page.xlr for the strict checker.
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/root.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fontcache.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "km_host.h"

namespace {

// A device face of the session at an em of `em` pixels.
[[maybe_unused]] FONTOBJ* DeviceFont(KP_ENGINE_SESSION* session, ULONG face, LONG em) {
  KP_ENGINE_FONT_INFO fi{};
  fi.emPixels = em;
  return KpEngineCreateSessionDeviceFont(session, face, &fi);
}

constexpr MIX kCopyPen = R2_COPYPEN | (R2_COPYPEN << 8);

struct Line {
  const char* what;
  const char* file;
  LONG em;          // pixels at 600 dpi
  LONG escapement;  // tenths of a degree
  POINTL origin;
  const char16_t* text;
};

// Everything the renderer has written so far, the buffer included.
size_t Written(HANDLE printer, const PDEV* pdev) { return KpEngineGetOutput(printer, nullptr, 0) + pdev->xl.out.count; }

size_t CachedGlyphs(const PDEV* pdev) {
  size_t n = 0;
  for (const XLFONT_ENTRY* e = pdev->fontCache; e; e = e->next) n += e->glyphCount;
  return n;
}

const char* KindOf(const char* name) {
  const char* tail = std::strstr(name, ":OL");
  if (tail) return "TrueType outlines";
  if (std::strstr(name, ":BM")) return "bitmaps";
  return "device font";
}

}  // namespace

int main(int argc, char** argv) {
  std::string models = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR);
  std::string out = argc > 2 ? argv[2] : std::string(KESTREL_DEMO_DIR) + "/text-page.xlr";
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-text-XXXXXX").string();
  if (!mkdtemp(pattern.data()) || !KpSetRoot(pattern.c_str())) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  int rc = 0;
  {
    kestrel::kmhost::Queue q;
    KP_ENGINE_SESSION* s = nullptr;
    if (!q.Open(models, "K350", u"Scriva K350 PCL6")) {
      std::fprintf(stderr, "%s\n", q.error.c_str());
      rc = 1;
    } else if (!(s = KpEngineEnablePDEV(q.driver, q.printer, q.devmode.data())) || !KpEngineEnableSurface(s) ||
               !KpEngineStartDoc(s, u"text page", 1) || !KpEngineStartPage(s)) {
      std::fprintf(stderr, "model A's document did not start (error %u)\n", GetLastError());
      rc = 1;
    } else {
      auto* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(s));
      LONG ttOption = 0, method = 0;
      ddm_GetNumber(DDM_TTOPTION, pdev->devmode, pdev->printerData, &ttOption);
      ddm_GetNumber(DDM_TRUETYPE, pdev->devmode, pdev->printerData, &method);
      std::printf("A text page for model A (Scriva K350) at default settings, 600 dpi (TrueType option %d,"
                  " substitution method %d; %u device fonts):\n",
                  static_cast<int>(ttOption), static_cast<int>(method), KpEngineSessionDevInfo(s)->cFonts);
      BRUSHOBJ* black = KpEngineCreateSolidBrush(s, 0);
      // The heading in the printer's Helvetica (a device font).
      for (ULONG face = 1; black && face <= KpEngineSessionDevInfo(s)->cFonts; ++face) {
        FONTOBJ* font = DeviceFont(s, face, 200);
        const IFIMETRICS* ifi = font ? FONTOBJ_pifi(font) : nullptr;
        const auto* name = ifi ? reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName) : u"";
        if (ifi && std::u16string(name) == u"Helvetica") {
          const char16_t heading[] = u"Helvetica, a printer font";
          KP_ENGINE_STRING_INFO si{};
          si.font = font;
          si.text = reinterpret_cast<const WCHAR*>(heading);
          si.count = static_cast<ULONG>(std::char_traits<char16_t>::length(heading));
          si.origin = POINTL{600, 500};
          STROBJ* str = KpEngineCreateString(&si);
          const size_t bytesBefore = Written(q.printer, pdev);
          if (str && KpEngineTextOut(s, str, font, nullptr, nullptr, nullptr, black, nullptr, nullptr, kCopyPen)) {
            std::printf("  %-18s %u glyphs as %s \"%s\": nothing downloaded, %zu bytes\n", "heading", si.count,
                        KindOf(pdev->xl.font.fontName), pdev->xl.font.fontName, Written(q.printer, pdev) - bytesBefore);
          } else {
            std::fprintf(stderr, "DrvTextOut failed for the heading (error %u)\n", GetLastError());
            rc = 1;
          }
          if (str) KpEngineDeleteObject(str);
        }
        if (font) KpEngineDeleteObject(font);
      }
      const Line lines[] = {
          {"bold", "DejaVuSans-Bold.ttf", 150, 0, {600, 750}, u"Kestrel prints text"},
          {"body", "DejaVuSans.ttf", 100, 0, {600, 1000}, u"DejaVu Sans at 12 points: the quick brown fox jumps over the lazy dog."},
          {"serif", "DejaVuSerif.ttf", 100, 0, {600, 1200}, u"DejaVu Serif at 12 points, 0123456789 (same glyphs twice: once)."},
          {"beyond Latin-1", "DejaVuSans.ttf", 100, 0, {600, 1400}, u"Ελληνικά και Кириллица: αβγδε, абвгд"},
          {"turned 90 degrees", "DejaVuSans.ttf", 100, 900, {400, 3000}, u"Up the left margin"},
      };
      if (!black) rc = 1;
      for (const Line& l : lines) {
        if (rc != 0) break;
        KP_ENGINE_FONT_INFO fi{};
        fi.file = l.file;
        fi.emPixels = l.em;
        fi.escapement = l.escapement;
        FONTOBJ* font = KpEngineCreateTrueTypeFont(&fi);
        KP_ENGINE_STRING_INFO si{};
        si.font = font;
        si.text = reinterpret_cast<const WCHAR*>(l.text);
        si.count = static_cast<ULONG>(std::char_traits<char16_t>::length(l.text));
        si.origin = l.origin;
        si.glyphMode = FO_GLYPHBITS;
        si.withPositions = TRUE;
        STROBJ* str = font ? KpEngineCreateString(&si) : nullptr;
        const size_t bytesBefore = Written(q.printer, pdev), glyphsBefore = CachedGlyphs(pdev);
        const bool ok = str && KpEngineTextOut(s, str, font, nullptr, nullptr, nullptr, black, nullptr, nullptr, kCopyPen);
        if (ok) {
          std::printf("  %-18s %u glyphs as %s \"%s\": %zu glyphs downloaded, %zu bytes\n", l.what, si.count,
                      KindOf(pdev->xl.font.fontName), pdev->xl.font.fontName, CachedGlyphs(pdev) - glyphsBefore,
                      Written(q.printer, pdev) - bytesBefore);
        } else {
          std::fprintf(stderr, "DrvTextOut failed for the %s line (error %u)\n", l.what, GetLastError());
          rc = 1;
        }
        if (str) KpEngineDeleteObject(str);
        if (font) KpEngineDeleteObject(font);
      }
      if (black) KpEngineDeleteObject(black);
      if (rc == 0 && !(KpEngineSendPage(s) && KpEngineEndDoc(s, 0))) rc = 1;
    }
    if (s) KpEngineDisablePDEV(s);
    if (rc == 0) {
      std::vector<char> bytes(KpEngineGetOutput(q.printer, nullptr, 0));
      KpEngineGetOutput(q.printer, bytes.data(), bytes.size());
      std::filesystem::create_directories(std::filesystem::path(out).parent_path());
      std::ofstream file(out, std::ios::binary | std::ios::trunc);
      file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      file.close();
      if (!file) rc = 1;
      std::printf("%zu bytes of renderer stream in %s\n", bytes.size(), out.c_str());
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
