// The engine's font and string objects on the DejaVu fonts, with FreeType as
// the reference for the glyph bits.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <string>
#include <vector>

#include "kplatform/engine.h"
#include "kplatform/engine_runner.h"

namespace {

FONTOBJ* Font(const char* file, LONG em = 50, LONG escapement = 0, BOOL mirror = FALSE, FLONG flags = 0) {
  KP_ENGINE_FONT_INFO info{};
  info.file = file;
  info.emPixels = em;
  info.escapement = escapement;
  info.mirror = mirror;
  info.flags = flags;
  return KpEngineCreateTrueTypeFont(&info);
}

std::u16string Face(IFIMETRICS* ifi) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
}

TEST(FontObjects, Metrics) {
  struct Case {
    const char* file;
    const char16_t* face;
    USHORT weight;
    USHORT selection;  // FM_SEL_BOLD | FM_SEL_ITALIC bits
    BYTE pitchAndFamily;
  } cases[] = {
      {"DejaVuSans.ttf", u"DejaVu Sans", 400, 0, FF_SWISS | VARIABLE_PITCH},
      {"DejaVuSans-Bold.ttf", u"DejaVu Sans Bold", 700, FM_SEL_BOLD, FF_SWISS | VARIABLE_PITCH},
      {"DejaVuSans-Oblique.ttf", u"DejaVu Sans Oblique", 400, FM_SEL_ITALIC, FF_SWISS | VARIABLE_PITCH},
      {"DejaVuSerif.ttf", u"DejaVu Serif", 400, 0, FF_ROMAN | VARIABLE_PITCH},
      {"DejaVuSansMono.ttf", u"DejaVu Sans Mono", 400, 0, FF_MODERN | FIXED_PITCH},
  };
  for (const Case& c : cases) {
    FONTOBJ* f = Font(c.file);
    ASSERT_NE(f, nullptr) << c.file;
    IFIMETRICS* ifi = FONTOBJ_pifi(f);
    ASSERT_NE(ifi, nullptr);
    EXPECT_EQ(Face(ifi), c.face);
    EXPECT_EQ(ifi->usWinWeight, c.weight);
    EXPECT_EQ(ifi->fsSelection & (FM_SEL_BOLD | FM_SEL_ITALIC), c.selection) << c.file;
    EXPECT_EQ(ifi->jWinPitchAndFamily, c.pitchAndFamily) << c.file;
    EXPECT_EQ(ifi->fwdUnitsPerEm, 2048);
    EXPECT_EQ(ifi->jWinCharSet, ANSI_CHARSET);
    EXPECT_LE(ifi->wcFirstChar, 0x20);
    EXPECT_GE(ifi->wcLastChar, 0xFF);
    EXPECT_TRUE(f->flFontType & FO_TYPE_TRUETYPE);
    ULONG size = 0;
    EXPECT_NE(FONTOBJ_pvTrueTypeFontFile(f, &size), nullptr);
    EXPECT_GT(size, 100000u);
    EXPECT_TRUE(KpEngineDeleteObject(f));
  }
  FONTOBJ* v = Font("DejaVuSans.ttf", 50, 0, FALSE, FO_VERT_FACE);
  EXPECT_EQ(Face(FONTOBJ_pifi(v)), u"@DejaVu Sans");
  KpEngineDeleteObject(v);
  KP_ENGINE_FONT_INFO none{};
  none.file = "NoSuchFont.ttf";
  none.emPixels = 10;
  EXPECT_EQ(KpEngineCreateTrueTypeFont(&none), nullptr);
}

TEST(FontObjects, TransformSigns) {
  struct Case {
    LONG escapement;
    BOOL mirror;
    int s11, s12, s21, s22;  // signs: 1, -1 or 0
  } cases[] = {
      {0, FALSE, 1, 0, 0, 1},
      {900, FALSE, 0, -1, 1, 0},
      {1800, FALSE, -1, 0, 0, -1},
      {0, TRUE, -1, 0, 0, 1},
  };
  auto sign = [](FLOATL v) { return v > 1e-6f ? 1 : v < -1e-6f ? -1 : 0; };
  for (const Case& c : cases) {
    FONTOBJ* f = Font("DejaVuSans.ttf", 2048, c.escapement, c.mirror);
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(f);
    ASSERT_NE(xo, nullptr);
    XFORML m{};
    XFORMOBJ_iGetXform(xo, &m);
    EXPECT_EQ(sign(m.eM11), c.s11) << c.escapement;
    EXPECT_EQ(sign(m.eM12), c.s12) << c.escapement;
    EXPECT_EQ(sign(m.eM21), c.s21) << c.escapement;
    EXPECT_EQ(sign(m.eM22), c.s22) << c.escapement;
    if (c.escapement == 0 && !c.mirror) {
      EXPECT_EQ(m.eM11, 1.0f);  // 2048 pixels a 2048-unit em
    }
    KpEngineDeleteObject(f);
  }
}

// The bits are FreeType's monochrome rendering of the glyph.
TEST(FontObjects, GlyphBitsAreFreeTypes) {
  FONTOBJ* f = Font("DejaVuSans.ttf", 40);
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(lib, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &face), 0);
  FT_Set_Pixel_Sizes(face, 40, 40);
  for (FT_ULong ch : {FT_ULong('A'), FT_ULong('g'), FT_ULong(0xE9)}) {
    HGLYPH hg = FT_Get_Char_Index(face, ch);
    GLYPHDATA* gd = nullptr;
    ASSERT_EQ(FONTOBJ_cGetGlyphs(f, FO_GLYPHBITS, 1, &hg, reinterpret_cast<PVOID*>(&gd)), 1u);
    ASSERT_EQ(FT_Load_Glyph(face, hg, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO), 0);
    ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO), 0);
    const FT_Bitmap& bm = face->glyph->bitmap;
    GLYPHBITS* gb = gd->gdf.pgb;
    EXPECT_EQ(gd->hg, hg);
    EXPECT_EQ(gb->sizlBitmap.cx, static_cast<LONG>(bm.width));
    EXPECT_EQ(gb->sizlBitmap.cy, static_cast<LONG>(bm.rows));
    EXPECT_EQ(gb->ptlOrigin.x, face->glyph->bitmap_left);
    EXPECT_EQ(gb->ptlOrigin.y, -face->glyph->bitmap_top);
    size_t row = (bm.width + 7) / 8;
    for (unsigned y = 0; y < bm.rows; ++y)
      EXPECT_EQ(std::memcmp(gb->aj + y * row, bm.buffer + y * bm.pitch, row), 0) << ch << " row " << y;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  HGLYPH past = 100000;
  PVOID out = nullptr;
  EXPECT_EQ(FONTOBJ_cGetGlyphs(f, FO_GLYPHBITS, 1, &past, &out), 0u);
  EXPECT_EQ(FONTOBJ_cGetGlyphs(f, FO_PATHOBJ, 1, &past, &out), 0u);
  KpEngineDeleteObject(f);
}

TEST(FontObjects, StringBatchesEqualPositions) {
  FONTOBJ* f = Font("DejaVuSans.ttf", 30);
  const char16_t text[] = u"Kestrel prints";
  KP_ENGINE_STRING_INFO s{};
  s.font = f;
  s.text = reinterpret_cast<const WCHAR*>(text);
  s.count = 14;
  s.origin = POINTL{100, 200};
  s.glyphMode = FO_GLYPHBITS;
  s.withPositions = TRUE;
  STROBJ* all = KpEngineCreateString(&s);
  ASSERT_NE(all, nullptr);
  s.withPositions = FALSE;
  s.batch = 4;
  STROBJ* batched = KpEngineCreateString(&s);
  ASSERT_NE(batched, nullptr);
  EXPECT_EQ(batched->pgp, nullptr);
  EXPECT_TRUE(all->flAccel & SO_HORIZONTAL);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(all->pwszOrg), 14), std::u16string(text));
  STROBJ_vEnumStart(batched);
  std::vector<GLYPHPOS> seen;
  std::vector<ULONG> sizes;
  BOOL more = TRUE;
  while (more) {
    ULONG c = 0;
    GLYPHPOS* pgp = nullptr;
    more = STROBJ_bEnum(batched, &c, &pgp);
    sizes.push_back(c);
    seen.insert(seen.end(), pgp, pgp + c);
  }
  EXPECT_EQ(sizes, (std::vector<ULONG>{4, 4, 4, 2}));
  ASSERT_EQ(seen.size(), 14u);
  for (size_t i = 0; i < 14; ++i) {
    EXPECT_EQ(seen[i].hg, all->pgp[i].hg);
    EXPECT_EQ(seen[i].ptl.x, all->pgp[i].ptl.x);
    EXPECT_EQ(seen[i].ptl.y, 200);
    ASSERT_NE(seen[i].pgdf, nullptr);
  }
  EXPECT_EQ(all->pgp[0].ptl.x, 100);
  EXPECT_GT(all->pgp[13].ptl.x, all->pgp[0].ptl.x);
  KpEngineDeleteObject(all);
  KpEngineDeleteObject(batched);
  KpEngineDeleteObject(f);
}

TEST(FontObjects, FaultKnobs) {
  FONTOBJ* f = Font("DejaVuSans.ttf");
  ASSERT_TRUE(KpEngineFontFault(f, KP_FONT_FAIL_PIFI | KP_FONT_FAIL_XFORM | KP_FONT_FAIL_FILE, 2));
  EXPECT_EQ(FONTOBJ_pifi(f), nullptr);
  EXPECT_EQ(FONTOBJ_pxoGetXform(f), nullptr);
  ULONG size = 7;
  EXPECT_EQ(FONTOBJ_pvTrueTypeFontFile(f, &size), nullptr);
  EXPECT_EQ(size, 0u);
  HGLYPH hg = 36;
  PVOID out = nullptr;
  EXPECT_EQ(FONTOBJ_cGetGlyphs(f, FO_GLYPHBITS, 1, &hg, &out), 1u);
  EXPECT_EQ(FONTOBJ_cGetGlyphs(f, FO_GLYPHBITS, 1, &hg, &out), 0u);  // the second
  EXPECT_EQ(FONTOBJ_cGetGlyphs(f, FO_GLYPHBITS, 1, &hg, &out), 1u);
  size_t before = KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS);
  KpEngineDeleteObject(f);
  EXPECT_LT(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), before);
  EXPECT_EQ(FONTOBJ_pifi(f), nullptr);  // a deleted font is no font
}

}  // namespace
