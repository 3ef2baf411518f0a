// Text output through the engine stand-in on model A: a page of 3,000
// glyphs (50 lines of 60, DejaVu Serif at 10 pt and 600 dpi) drawn with
// DrvTextOut, downloaded as outlines and as bitmaps, in glyphs per second;
// against the same text rendered into one 1-bit image (the engine's
// FreeType glyph bits put together) sent through DrvBitBlt, and the page in
// the printer's Times Roman (a device font; the string made in the loop,
// laid out by the driver's widths). The stream
// bytes of one page of each are the counter "stream_bytes".
// Each iteration is one document of one page.
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/pdev.h"
#include "km_host.h"
#include "model_root.h"

namespace {

// A device face of the session at an em of `em` pixels.
[[maybe_unused]] FONTOBJ* DeviceFont(KP_ENGINE_SESSION* session, ULONG face, LONG em) {
  KP_ENGINE_FONT_INFO fi{};
  fi.emPixels = em;
  return KpEngineCreateSessionDeviceFont(session, face, &fi);
}

constexpr int kLines = 50;
constexpr int kPerLine = 60;
constexpr LONG kEm = 83;          // 10 pt at 600 dpi
constexpr LONG kLeading = 100;    // pixels from baseline to baseline
constexpr POINTL kOrigin{300, 300};
constexpr MIX kCopyPen = R2_COPYPEN | (R2_COPYPEN << 8);

struct Setup {
  kestrel::test::FreshRoot root{"kestrel-bench-text"};
  kestrel::kmhost::Queue q;
  FONTOBJ* font = nullptr;
  std::vector<STROBJ*> lines;
  std::u16string text;
  bool ok = false;
  Setup() {
    ok = root.ok() && q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6");
    KP_ENGINE_FONT_INFO fi{};
    fi.file = "DejaVuSerif.ttf";
    fi.emPixels = kEm;
    font = KpEngineCreateTrueTypeFont(&fi);
    ok = ok && font;
    const std::u16string sample = u"The quick brown fox jumps over the lazy dog; Kestrel prints 0123456789. ";
    for (int i = 0; i < kPerLine; ++i) text += sample[static_cast<size_t>(i) % sample.size()];
    for (int l = 0; ok && l < kLines; ++l) {
      KP_ENGINE_STRING_INFO si{};
      si.font = font;
      si.text = reinterpret_cast<const WCHAR*>(text.c_str());
      si.count = kPerLine;
      si.origin = POINTL{kOrigin.x, kOrigin.y + l * kLeading};
      si.glyphMode = FO_GLYPHBITS;
      si.withPositions = TRUE;
      STROBJ* s = KpEngineCreateString(&si);
      ok = s != nullptr;
      lines.push_back(s);
    }
  }
  ~Setup() {
    for (STROBJ* s : lines)
      if (s) KpEngineDeleteObject(s);
    if (font) KpEngineDeleteObject(font);
  }
};

// One page on a new document with the font kind set (DDM 1335: 0 outlines,
// 1 bitmaps) and TrueType fonts downloaded, not substituted (DDM 17 = 2);
// `draw` is called between page start and end.
template <typename Draw>
bool Page(Setup& s, LONG bitmaps, Draw&& draw) {
  KpEngineClearOutput(s.q.printer);
  KP_ENGINE_SESSION* session = KpEngineEnablePDEV(s.q.driver, s.q.printer, s.q.devmode.data());
  if (!session) return false;
  auto* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session));
  ddm_SetNumber(DDM_FONTTYPE, pdev->devmode, pdev->printerData, bitmaps);
  ddm_SetNumber(DDM_TTOPTION, pdev->devmode, pdev->printerData, DMTT_DOWNLOAD);
  bool ok = KpEngineEnableSurface(session) && KpEngineStartDoc(session, u"bench", 1) && KpEngineStartPage(session) &&
            draw(session) && KpEngineSendPage(session) && KpEngineEndDoc(session, 0);
  KpEngineDisablePDEV(session);
  return ok;
}

void TextPage(benchmark::State& state, LONG bitmaps) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue or font");
    return;
  }
  BRUSHOBJ* black = nullptr;
  for (auto _ : state) {
    if (!Page(s, bitmaps, [&](KP_ENGINE_SESSION* session) {
          black = KpEngineCreateSolidBrush(session, 0);
          bool ok = black != nullptr;
          for (STROBJ* line : s.lines)
            ok = ok && KpEngineTextOut(session, line, s.font, nullptr, nullptr, nullptr, black, nullptr, nullptr,
                                       kCopyPen);
          if (black) KpEngineDeleteObject(black);
          return ok;
        }))
      state.SkipWithError("DrvTextOut failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines * kPerLine);
  state.counters["stream_bytes"] = double(KpEngineGetOutput(s.q.printer, nullptr, 0));
}
void BM_TextPage3000_Outlines(benchmark::State& state) { TextPage(state, 0); }

// The same page in the printer's Times Roman (a device font of model A
// made from the driver's metrics): nothing downloaded.
void BM_TextPage3000_DeviceFont(benchmark::State& state) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue or font");
    return;
  }
  for (auto _ : state) {
    if (!Page(s, 0, [&](KP_ENGINE_SESSION* session) {
          FONTOBJ* font = nullptr;
          for (ULONG face = 1; !font && face <= KpEngineSessionDevInfo(session)->cFonts; ++face) {
            FONTOBJ* f = DeviceFont(session, face, kEm);
            const IFIMETRICS* ifi = f ? FONTOBJ_pifi(f) : nullptr;
            const auto* name = ifi ? reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) +
                                                                       ifi->dpwszFaceName)
                                   : u"";
            if (ifi && std::u16string(name) == u"Times Roman") font = f;
            else if (f) KpEngineDeleteObject(f);
          }
          BRUSHOBJ* black = KpEngineCreateSolidBrush(session, 0);
          bool ok = font && black;
          for (int l = 0; ok && l < kLines; ++l) {
            KP_ENGINE_STRING_INFO si{};
            si.font = font;
            si.text = reinterpret_cast<const WCHAR*>(s.text.c_str());
            si.count = kPerLine;
            si.origin = POINTL{kOrigin.x, kOrigin.y + l * kLeading};
            STROBJ* str = KpEngineCreateString(&si);
            ok = str && KpEngineTextOut(session, str, font, nullptr, nullptr, nullptr, black, nullptr, nullptr, kCopyPen);
            if (str) KpEngineDeleteObject(str);
          }
          if (black) KpEngineDeleteObject(black);
          if (font) KpEngineDeleteObject(font);
          return ok;
        }))
      state.SkipWithError("DrvTextOut failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines * kPerLine);
  state.counters["stream_bytes"] = double(KpEngineGetOutput(s.q.printer, nullptr, 0));
}
BENCHMARK(BM_TextPage3000_DeviceFont)->Unit(benchmark::kMillisecond);
void BM_TextPage3000_Bitmaps(benchmark::State& state) { TextPage(state, 1); }
BENCHMARK(BM_TextPage3000_Outlines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextPage3000_Bitmaps)->Unit(benchmark::kMillisecond);

// The same page as one 1-bit image: the glyph bits put together at their
// positions (white 0, ink 1), sent with DrvBitBlt.
void BM_TextPage3000_AsOneImage(benchmark::State& state) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue or font");
    return;
  }
  const LONG width = static_cast<LONG>(kPerLine) * kEm + 2 * kEm;
  const LONG height = kLines * kLeading + kLeading;
  const size_t stride = (static_cast<size_t>(width) + 31) / 32 * 4;
  std::vector<BYTE> bits(stride * static_cast<size_t>(height), 0);
  const POINTL top{kOrigin.x - kEm, kOrigin.y - kLeading};
  for (STROBJ* line : s.lines) {
    for (ULONG i = 0; i < line->cGlyphs; ++i) {
      const GLYPHPOS& p = line->pgp[i];
      if (!p.pgdf || !p.pgdf->pgb) continue;
      const GLYPHBITS* gb = p.pgdf->pgb;
      const LONG rowBytes = (gb->sizlBitmap.cx + 7) / 8;
      for (LONG y = 0; y < gb->sizlBitmap.cy; ++y) {
        for (LONG x = 0; x < gb->sizlBitmap.cx; ++x) {
          if (!(gb->aj[y * rowBytes + x / 8] & (0x80 >> (x % 8)))) continue;
          const LONG px = p.ptl.x + gb->ptlOrigin.x + x - top.x, py = p.ptl.y + gb->ptlOrigin.y + y - top.y;
          if (px < 0 || py < 0 || px >= width || py >= height) continue;
          bits[static_cast<size_t>(py) * stride + static_cast<size_t>(px) / 8] |= static_cast<BYTE>(0x80 >> (px % 8));
        }
      }
    }
  }
  SURFOBJ* image = KpEngineCreateBitmap(width, height, BMF_1BPP, BMF_TOPDOWN, bits.data(), static_cast<ULONG>(stride));
  const ULONG palette[2] = {0xFFFFFF, 0x000000};
  XLATEOBJ* xlate = KpEngineCreateXlate(XO_TABLE, 2, palette);
  if (!image || !xlate) state.SkipWithError("no image");
  for (auto _ : state) {
    RECTL dest{top.x, top.y, top.x + width, top.y + height};
    POINTL from{0, 0};
    if (!Page(s, 0, [&](KP_ENGINE_SESSION* session) {
          return KpEngineBitBlt(session, image, nullptr, nullptr, xlate, &dest, &from, nullptr, nullptr, nullptr,
                                0xCCCC) != FALSE;
        }))
      state.SkipWithError("DrvBitBlt failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines * kPerLine);
  state.counters["stream_bytes"] = double(KpEngineGetOutput(s.q.printer, nullptr, 0));
  if (image) KpEngineDeleteObject(image);
  if (xlate) KpEngineDeleteObject(xlate);
}
BENCHMARK(BM_TextPage3000_AsOneImage)->Unit(benchmark::kMillisecond);

}  // namespace
