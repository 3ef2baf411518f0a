// Font objects made and deleted from eight threads at once, as eight jobs'
// text calls do: on the same faces, sizes and turns, they share the glyphs
// rendered once, the faces' records and the faces lent from each file, and
// every thread must get the same positions and glyph bits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kplatform/engine.h"
#include "kplatform/engine_runner.h"

namespace {

struct FontCase {
  const char* file;
  LONG em;
  LONG escapement;
  FLONG flags;
};

// Every glyph's index, position, ink box and bits of the text on each font,
// made `rounds` times with a fresh font object each time.
std::string Digest(const FontCase* fonts, size_t count, int rounds) {
  const char16_t text[] = u"The quick brown fox jumps over the lazy dog, 0123456789 (\u00E9\u00DF\u20AC).";
  const ULONG length = static_cast<ULONG>(std::char_traits<char16_t>::length(text));
  std::string digest;
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < count; ++i) {
      KP_ENGINE_FONT_INFO fi{};
      fi.file = fonts[i].file;
      fi.emPixels = fonts[i].em;
      fi.escapement = fonts[i].escapement;
      fi.flags = fonts[i].flags;
      FONTOBJ* font = KpEngineCreateTrueTypeFont(&fi);
      if (!font) return "no font";
      KP_ENGINE_STRING_INFO si{};
      si.font = font;
      si.text = text;
      si.count = length;
      si.origin = POINTL{100, 200};
      si.glyphMode = FO_GLYPHBITS;
      si.withPositions = TRUE;
      STROBJ* str = KpEngineCreateString(&si);
      if (!str) return "no string";
      for (ULONG g = 0; g < length; ++g) {
        const GLYPHPOS& p = str->pgp[g];
        const auto* gd = reinterpret_cast<const GLYPHDATA*>(p.pgdf);
        const GLYPHBITS* gb = gd->gdf.pgb;
        const size_t bytes = (static_cast<size_t>(gb->sizlBitmap.cx) + 7) / 8 * static_cast<size_t>(gb->sizlBitmap.cy);
        const LONG head[] = {static_cast<LONG>(p.hg), p.ptl.x, p.ptl.y, gd->fxD, gb->ptlOrigin.x, gb->ptlOrigin.y,
                             gb->sizlBitmap.cx, gb->sizlBitmap.cy};
        digest.append(reinterpret_cast<const char*>(head), sizeof head);
        digest.append(reinterpret_cast<const char*>(gb->aj), bytes);
      }
      KpEngineDeleteObject(str);
      KpEngineDeleteObject(font);
    }
  }
  return digest;
}

TEST(FontObjectConcurrency, EightThreadsGetTheGlyphsOneThreadGets) {
  // Sizes no other test uses, so that the threads render them first.
  const FontCase fonts[] = {
      {"DejaVuSans.ttf", 37, 0, 0},
      {"DejaVuSerif.ttf", 53, 0, FO_SIM_ITALIC},
      {"DejaVuSans.ttf", 37, 900, 0},
      {"DejaVuSansMono-Bold.ttf", 29, 0, 0},
  };
  constexpr int kThreads = 8;
  constexpr int kRounds = 10;
  std::vector<std::string> digests(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] { digests[t] = Digest(fonts, std::size(fonts), kRounds); });
  for (std::thread& t : threads) t.join();

  const std::string alone = Digest(fonts, std::size(fonts), kRounds);
  ASSERT_GT(alone.size(), 100u) << alone;
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(digests[t], alone) << "thread " << t;
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), 0u);
}

}  // namespace
