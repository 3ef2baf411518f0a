// kestrel-demo-text: the TrueType download of a sample line. The engine
// stand-in makes DejaVu Sans at 12 pt and 600 dpi and a string on it; the
// download sends the font header and the line's glyphs (outlines, then the
// same line as bitmaps) into a page framed as job control frames it (the
// spooler side writes BeginPage at 138 and EndPage at 139). The stream goes
// to the build folder's demo/text-download.xlr for the checker.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/render/xl_inband.h"
#include "kplatform/engine.h"
#include "kplatform/engine_runner.h"
#include "ttdl.h"

namespace {

std::vector<uint8_t> gOut;
BOOL Keep(HANDLE, LPVOID bytes, DWORD n, LPDWORD written) {
  auto* p = static_cast<const uint8_t*>(bytes);
  gOut.insert(gOut.end(), p, p + n);
  *written = n;
  return TRUE;
}

void Hex(const char* what, const uint8_t* p, size_t n, size_t shown) {
  std::printf("%s (%zu bytes):", what, n);
  for (size_t i = 0; i < n && i < shown; ++i) std::printf("%s%02X", i % 24 ? " " : "\n   ", p[i]);
  std::printf("%s\n", n > shown ? " ..." : "");
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = argc > 1 ? argv[1] : std::string(KESTREL_DEMO_DIR) + "/text-download.xlr";
  KP_ENGINE_FONT_INFO fi{};
  fi.file = "DejaVuSans.ttf";
  fi.emPixels = 100;  // 12 pt at 600 dpi
  FONTOBJ* font = KpEngineCreateTrueTypeFont(&fi);
  if (!font) {
    std::fprintf(stderr, "DejaVuSans.ttf is not in the font folder\n");
    return 1;
  }
  const char16_t text[] = u"Kestrel prints DejaVu Sans";
  KP_ENGINE_STRING_INFO si{};
  si.font = font;
  si.text = reinterpret_cast<const WCHAR*>(text);
  si.count = static_cast<ULONG>(std::char_traits<char16_t>::length(text));
  si.origin = POINTL{600, 600};
  si.glyphMode = FO_GLYPHBITS;
  si.withPositions = TRUE;
  STROBJ* str = KpEngineCreateString(&si);

  auto pdev = std::make_unique<PDEV>();
  xl_initcontext(&pdev->xl, XlPrinter{reinterpret_cast<HANDLE>(1), &Keep});
  xl_initcgs(&pdev->xl);
  xl_beginsession(&pdev->xl, 600, 600, 0, 0);
  xl_opendatasource(&pdev->xl);
  xl_ic_startpage(&pdev->xl, 0, 0, 0, 1, 2);
  psflush(&pdev->xl.out);
  size_t start = gOut.size();

  int rc = 0;
  const LPCWSTR face = reinterpret_cast<LPCWSTR>(reinterpret_cast<const BYTE*>(FONTOBJ_pifi(font)) +
                                                FONTOBJ_pifi(font)->dpwszFaceName);
  TT_TABLEINFO info{};
  std::vector<WORD> codes(si.count);
  for (ULONG i = 0; i < si.count; ++i) codes[i] = static_cast<WORD>(str->pgp[i].hg);
  XLTEXT_CHARSTATE cs{};
  std::strcpy(cs.fontName, "DejaVu Sans:OL");
  cs.symbolSet = XL_SYMBOLSET_OUTLINE;
  cs.charSize.value = 100;
  if (xltext_CreateTableInfo(pdev.get(), font, face, &info) != 0 ||
      xltext_SendFontHeader(pdev.get(), font, str, si.count, XLFONT_KIND_OUTLINE, &cs, &info) != 0 ||
      xltext_SendChar(pdev.get(), font, str, si.count, str->pgp, XLFONT_KIND_OUTLINE, &cs, &info, codes.data()) != 0)
    rc = 1;
  psflush(&pdev->xl.out);
  size_t outlines = gOut.size() - start;
  std::printf("\"%s\" in DejaVu Sans (%u glyphs in the font), %u glyphs in the line\n", "Kestrel prints DejaVu Sans",
              info.numGlyphs, si.count);
  std::printf("Outline font \"%s\": %zu bytes of header and glyph operators\n", cs.fontName, outlines);
  DWORD size = 0;
  BYTE* header = xltext_BuildFontHeader_TT(&info, XL_SYMBOLSET_OUTLINE, 1024, &size);
  if (header) {
    Hex("  font header", header, size, 72);
    EngFreeMem(header);
  }
  std::printf("  character codes:");
  for (WORD c : codes) std::printf(" %u", c);
  std::printf("\n");
  DWORD recordSize = 0;
  BYTE* record = xltext_BuildGlyphRecord_TT(&info, static_cast<WORD>(str->pgp[0].hg), &recordSize);
  if (record) {
    Hex("  glyph record of 'K'", record, recordSize, 48);
    EngFreeMem(record);
  }

  // The same line as a bitmap font with simulated bold.
  std::vector<WORD> bm(si.count);
  for (ULONG i = 0; i < si.count; ++i) bm[i] = static_cast<WORD>(str->pgp[i].hg);
  XLTEXT_CHARSTATE bcs{};
  std::strcpy(bcs.fontName, "DejaVu Sans:42C80000:0000:3F800000:BM");
  bcs.symbolSet = XL_SYMBOLSET_BITMAP;
  bcs.charSize.value = 100;
  size_t before = gOut.size();
  if (xltext_SendFontHeader(pdev.get(), font, str, si.count, XLFONT_KIND_BITMAP, &bcs, nullptr) != 0 ||
      xltext_SendChar(pdev.get(), font, str, si.count, str->pgp, XLFONT_KIND_BITMAP, &bcs, nullptr, bm.data()) != 0)
    rc = 1;
  psflush(&pdev->xl.out);
  std::printf("Bitmap font \"%s\": %zu bytes of header and glyph operators\n", bcs.fontName, gOut.size() - before);
  xlfont_DeleteCache(pdev.get());  // page end: RemoveFont for both
  xl_ic_showpage(&pdev->xl);
  xl_ic_endpage(&pdev->xl);
  xl_closedatasource(&pdev->xl);
  xl_endsession(&pdev->xl);
  psflush(&pdev->xl.out);
  xlfont_FreeCache(pdev.get());
  KpEngineDeleteObject(str);
  KpEngineDeleteObject(font);

  std::filesystem::create_directories(std::filesystem::path(out).parent_path());
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(gOut.data()), static_cast<std::streamsize>(gOut.size()));
  std::printf("%zu bytes of stream in %s (text output itself, DrvTextOut, is not built yet)\n", gOut.size(),
              out.c_str());
  return file ? rc : 1;
}
