// TrueType download: every DejaVuSans outline downloaded (against a memcpy of
// the same glyph bytes), bitmap glyphs at 12 pt and 600 dpi with and without
// simulated bold (against FONTOBJ_cGetGlyphs alone), the font header build
// (against a memcpy of its bytes), and xlfont_CheckAndAddGlyphID on a full
// 1023-glyph font.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "kplatform/engine.h"
#include "kplatform/engine_runner.h"
#include "ttdl.h"

namespace {

constexpr char kSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

BOOL Drop(HANDLE, LPVOID bytes, DWORD n, LPDWORD written) {
  benchmark::DoNotOptimize(bytes);
  *written = n;
  return TRUE;
}

struct Setup {
  std::vector<BYTE> file;
  TT_TABLEINFO info{};
  std::unique_ptr<PDEV> pdev = std::make_unique<PDEV>();
  Setup() {
    std::ifstream in(kSans, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    xltext_CreateTableInfoFromFile(file.data(), static_cast<DWORD>(file.size()), u"DejaVu Sans", &info);
    xl_initcontext(&pdev->xl, XlPrinter{reinterpret_cast<HANDLE>(1), &Drop});
    xl_initcgs(&pdev->xl);
  }
  ~Setup() { xlfont_FreeCache(pdev.get()); }
};

void BM_DownloadAllOutlines(benchmark::State& state) {
  Setup s;
  std::vector<WORD> glyphs(s.info.numGlyphs);
  XLTEXT_CHARSTATE cs{};
  std::memcpy(cs.fontName, "DejaVu Sans:OL", 15);
  cs.symbolSet = XL_SYMBOLSET_OUTLINE;
  for (auto _ : state) {
    for (WORD i = 0; i < s.info.numGlyphs; ++i) glyphs[i] = i;
    xlfont_FreeCache(s.pdev.get());
    if (xltext_SendFontHeader(s.pdev.get(), nullptr, nullptr, s.info.numGlyphs, XLFONT_KIND_OUTLINE, &cs, &s.info) != 0 ||
        xltext_SendChar(s.pdev.get(), nullptr, nullptr, s.info.numGlyphs, nullptr, XLFONT_KIND_OUTLINE, &cs, &s.info,
                        glyphs.data()) != 0)
      state.SkipWithError("download failed");
  }
  state.SetItemsProcessed(state.iterations() * s.info.numGlyphs);
}
BENCHMARK(BM_DownloadAllOutlines)->Unit(benchmark::kMillisecond);

void BM_MemcpyAllOutlines(benchmark::State& state) {
  Setup s;
  const BYTE* glyf = nullptr;
  DWORD len = 0;
  xltext_GetTable(&s.info, TtTag('g', 'l', 'y', 'f'), &glyf, &len);
  std::vector<BYTE> out(len);
  for (auto _ : state) {
    std::memcpy(out.data(), glyf, len);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * s.info.numGlyphs);
}
BENCHMARK(BM_MemcpyAllOutlines)->Unit(benchmark::kMillisecond);

void BM_HeaderBuild(benchmark::State& state) {
  Setup s;
  for (auto _ : state) {
    DWORD size = 0;
    BYTE* block = xltext_BuildFontHeader_TT(&s.info, 590, 1024, &size);
    benchmark::DoNotOptimize(block);
    EngFreeMem(block);
  }
}
BENCHMARK(BM_HeaderBuild)->Unit(benchmark::kMicrosecond);

void BM_HeaderMemcpy(benchmark::State& state) {
  Setup s;
  DWORD size = 0;
  BYTE* block = xltext_BuildFontHeader_TT(&s.info, 590, 1024, &size);
  std::vector<BYTE> out(size);
  for (auto _ : state) {
    std::memcpy(out.data(), block, size);
    benchmark::DoNotOptimize(out.data());
  }
  EngFreeMem(block);
}
BENCHMARK(BM_HeaderMemcpy)->Unit(benchmark::kMicrosecond);

// 12 pt at 600 dpi: an em of 100 pixels. 500 glyphs a round.
void Bitmaps(benchmark::State& state, FLONG flags, bool download) {
  Setup s;
  KP_ENGINE_FONT_INFO fi{};
  fi.file = "DejaVuSans.ttf";
  fi.emPixels = 100;
  fi.flags = flags;
  FONTOBJ* font = KpEngineCreateTrueTypeFont(&fi);
  XLTEXT_CHARSTATE cs{};
  std::memcpy(cs.fontName, "DejaVu Sans:BM", 15);
  cs.symbolSet = XL_SYMBOLSET_BITMAP;
  cs.charSize.value = 100;
  constexpr WORD kCount = 500;
  std::vector<WORD> codes(kCount);
  for (auto _ : state) {
    if (download) {
      for (WORD i = 0; i < kCount; ++i) codes[i] = static_cast<WORD>(3 + i);
      xlfont_FreeCache(s.pdev.get());
      xltext_SendFontHeader(s.pdev.get(), font, nullptr, kCount, XLFONT_KIND_BITMAP, &cs, nullptr);
      if (xltext_SendChar(s.pdev.get(), font, nullptr, kCount, nullptr, XLFONT_KIND_BITMAP, &cs, nullptr,
                          codes.data()) != 0)
        state.SkipWithError("download failed");
    } else {
      for (WORD i = 0; i < kCount; ++i) {
        HGLYPH hg = 3u + i;
        PVOID gd = nullptr;
        benchmark::DoNotOptimize(FONTOBJ_cGetGlyphs(font, FO_GLYPHBITS, 1, &hg, &gd));
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kCount);
  KpEngineDeleteObject(font);
}
void BM_BitmapGlyphs(benchmark::State& state) { Bitmaps(state, 0, true); }
void BM_BitmapGlyphsBold(benchmark::State& state) { Bitmaps(state, FO_SIM_BOLD, true); }
void BM_GetGlyphsAlone(benchmark::State& state) { Bitmaps(state, 0, false); }
BENCHMARK(BM_BitmapGlyphs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BitmapGlyphsBold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetGlyphsAlone)->Unit(benchmark::kMicrosecond);

// A font holding 1023 glyphs: lookups of the last one (the longest search).
void BM_CheckAndAddGlyphIDFull(benchmark::State& state) {
  Setup s;
  BOOL found = FALSE;
  xlfont_CheckAndAddFont(s.pdev.get(), 1, FALSE, 0, "Full", &found);
  for (WORD g = 0; g < 1023; ++g) {
    WORD code = 0;
    xlfont_CheckAndAddGlyphID(s.pdev.get(), g, &code, "Full", &found);
  }
  for (auto _ : state) {
    WORD code = 0;
    xlfont_CheckAndAddGlyphID(s.pdev.get(), 1022, &code, "Full", &found);
    benchmark::DoNotOptimize(code);
  }
}
BENCHMARK(BM_CheckAndAddGlyphIDFull);

}  // namespace
