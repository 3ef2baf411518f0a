// TrueType download: table information, font headers, glyph records,
// composites, bitmaps with simulated bold, glyph mapping, malformed fonts
// and failures. Fonts are the DejaVu files (fonts-dejavu-core and -extra)
// and copies of them edited here; FreeType is the reference.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstring>
#include <set>

#include "font_fixture.h"
#include "km_entry.h"
#include "kplatform/engine.h"
#include "kplatform/engine_runner.h"
#include "pclxl_checker.h"

using namespace fonttest;

namespace {

// ---- test-side readers of what the download wrote -----------------------------

struct Downloaded {
  Bytes header;                     // every ReadFontHeader's data, joined
  std::vector<size_t> headerPieces;  // their sizes
  std::vector<std::pair<uint16_t, Bytes>> chars;  // ReadChar code and data
  std::vector<std::string> keys;
};

Downloaded Decode(const Bytes& out) {
  Downloaded d;
  pclxl_check::Listing l = pclxl_check::list(out);
  d.keys = l.keys();
  for (const auto& it : l.items) {
    if (it.name == "ReadFontHeader") {
      d.header.insert(d.header.end(), it.data.begin(), it.data.end());
      d.headerPieces.push_back(it.data.size());
    } else if (it.name == "ReadChar") {
      d.chars.emplace_back(static_cast<uint16_t>(std::stoul(it.attributes[0].value)), it.data);
    }
  }
  return d;
}

struct GtTable {
  uint32_t tag, checksum, offset, length;
};
struct GtSegment {
  uint32_t segLength = 0, version = 0;
  uint16_t n = 0, searchRange = 0, entrySelector = 0, rangeShift = 0;
  std::vector<GtTable> dir;
  const uint8_t* ot = nullptr;  // the offset table
};
GtSegment ReadGt(const Bytes& h) {
  GtSegment g;
  EXPECT_EQ(h[8], 'G');
  EXPECT_EQ(h[9], 'T');
  g.segLength = Be32(&h[10]);
  g.ot = &h[14];
  g.version = Be32(g.ot);
  g.n = Be16(g.ot + 4);
  g.searchRange = Be16(g.ot + 6);
  g.entrySelector = Be16(g.ot + 8);
  g.rangeShift = Be16(g.ot + 10);
  for (uint16_t i = 0; i < g.n; ++i) {
    const uint8_t* e = g.ot + 12 + 16 * i;
    g.dir.push_back({Be32(e), Be32(e + 4), Be32(e + 8), Be32(e + 12)});
  }
  return g;
}

Bytes FtTable(const std::string& path, long member, const char* tag) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  Bytes out;
  if (FT_New_Face(lib, path.c_str(), member, &face) == 0) {
    FT_ULong len = 0;
    if (FT_Load_Sfnt_Table(face, Tag(tag), 0, nullptr, &len) == 0) {
      out.resize(len);
      FT_Load_Sfnt_Table(face, Tag(tag), 0, out.data(), &len);
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return out;
}

uint16_t FtGlyph(const std::string& path, FT_ULong ch) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  uint16_t g = 0;
  if (FT_New_Face(lib, path.c_str(), 0, &face) == 0) {
    g = static_cast<uint16_t>(FT_Get_Char_Index(face, ch));
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return g;
}

std::string Name(uint32_t tag) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(tag >> (24 - 8 * i));
  return s;
}

// Loca of a parsed font (long or short) and setting entries.
struct Loca {
  Sfnt* f;
  bool longFormat() { return Be16(&f->tables[Tag("head")][50]) == 1; }
  uint32_t at(uint32_t i) {
    Bytes& l = f->tables[Tag("loca")];
    return longFormat() ? Be32(&l[4 * i]) : 2u * Be16(&l[2 * i]);
  }
  void set(uint32_t i, uint32_t v) {
    Bytes& l = f->tables[Tag("loca")];
    if (longFormat()) {
      l[4 * i] = uint8_t(v >> 24), l[4 * i + 1] = uint8_t(v >> 16), l[4 * i + 2] = uint8_t(v >> 8), l[4 * i + 3] = uint8_t(v);
    } else {
      l[2 * i] = uint8_t(v / 2 >> 8), l[2 * i + 1] = uint8_t(v / 2);
    }
  }
};

class Download : public ::testing::Test {
 protected:
  void SetUp() override { KpEngineFailAllocation(0); }
  void TearDown() override { KpEngineFailAllocation(0); }
  // Sends the header and a run of glyphs of an outline font.
  LONG Run(const TT_TABLEINFO* info, const char* name, std::vector<WORD> glyphs, std::vector<WORD>* codes = nullptr) {
    XLTEXT_CHARSTATE cs = CharState(name, XL_SYMBOLSET_OUTLINE);
    if (xltext_SendFontHeader(p.get(), nullptr, nullptr, static_cast<ULONG>(glyphs.size()), XLFONT_KIND_OUTLINE, &cs,
                              info) != 0)
      return -1;
    if (glyphs.empty()) return 0;
    LONG r = xltext_SendChar(p.get(), nullptr, nullptr, static_cast<ULONG>(glyphs.size()), nullptr,
                             XLFONT_KIND_OUTLINE, &cs, info, glyphs.data());
    if (codes) *codes = glyphs;
    return r;
  }
  FontPdev p;
};

// ---- table information and the header -----------------------------------------

TEST_F(Download, DejaVuSansHeaderIsTheFontsTables) {
  std::string path = FontPath("DejaVuSans.ttf");
  auto t = LoadInfo(path, u"DejaVu Sans");
  ASSERT_TRUE(t->ok);
  EXPECT_EQ(t->info.numGlyphs, 6253);
  Sfnt font = ParseSfnt(t->file);
  XLTEXT_CHARSTATE cs = CharState("DejaVu Sans:OL", XL_SYMBOLSET_OUTLINE);
  ASSERT_EQ(xltext_SendFontHeader(p.get(), nullptr, nullptr, 3, XLFONT_KIND_OUTLINE, &cs, &t->info), 0);
  Bytes out = p.Output();
  EXPECT_EQ(CheckInPage(out), "");
  Downloaded d = Decode(out);
  EXPECT_EQ(d.keys, (std::vector<std::string>{"BeginFontHeader", "ReadFontHeader", "EndFontHeader"}));
  const Bytes& h = d.header;
  ASSERT_GT(h.size(), 40u);
  EXPECT_EQ(Bytes(h.begin(), h.begin() + 8), (Bytes{0, 0, 0x02, 0x4E, 1, 0, 0x04, 0x00}));  // 590, TrueType, 1024
  GtSegment g = ReadGt(h);
  EXPECT_EQ(g.version, 0x00010000u);
  EXPECT_EQ(g.n, 8);
  EXPECT_EQ(g.searchRange, 128);
  EXPECT_EQ(g.entrySelector, 3);
  EXPECT_EQ(g.rangeShift, 0);
  const char* order[] = {"cvt ", "fpgm", "gdir", "head", "hhea", "hmtx", "maxp", "prep"};
  uint32_t expectOffset = 12 + 16 * 8, total = 0;
  for (int i = 0; i < 8; ++i) {
    const GtTable& e = g.dir[i];
    ASSERT_EQ(Name(e.tag), order[i]);
    if (Name(e.tag) == "gdir") {
      EXPECT_EQ(e.checksum | e.offset | e.length, 0u);
      continue;
    }
    Bytes ft = FtTable(path, 0, order[i]);
    ASSERT_EQ(e.length, ft.size()) << order[i];
    EXPECT_EQ(e.offset, expectOffset) << order[i];
    EXPECT_EQ(Bytes(g.ot + e.offset, g.ot + e.offset + e.length), ft) << order[i];
    for (uint32_t k = e.length; k % 4; ++k) EXPECT_EQ(g.ot[e.offset + k], 0) << "padding of " << order[i];
    if (Name(e.tag) != "head") {
      EXPECT_EQ(e.checksum, font.checksums[e.tag]) << order[i];
    }
    expectOffset += (e.length + 3) & ~3u;
    total += (e.length + 3) & ~3u;
  }
  EXPECT_EQ(g.segLength, 12 + 16 * 8 + total);
  EXPECT_EQ(h.size(), 8 + 6 + g.segLength + 6);
  EXPECT_EQ(Bytes(h.end() - 6, h.end()), (Bytes{0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST_F(Download, HeaderListsByGlyphMetricsAndVerticalMetrics) {
  // A vertical copy of DejaVu Sans: its horizontal metrics serve as vhea/vmtx.
  Sfnt f = ParseSfnt(ReadFile(FontPath("DejaVuSans.ttf")));
  f.tables[Tag("vhea")] = f.tables[Tag("hhea")];
  f.tables[Tag("vmtx")] = f.tables[Tag("hmtx")];
  Bytes vertical = BuildSfnt(f);
  struct Case {
    const char16_t* face;
    bool metrics;
    std::vector<std::string> tags;
  } cases[] = {
      {u"DejaVu Sans", true, {"cvt ", "fpgm", "gdir", "head", "maxp", "prep"}},
      {u"DejaVu Sans", false, {"cvt ", "fpgm", "gdir", "head", "hhea", "hmtx", "maxp", "prep"}},
      {u"@DejaVu Sans", false, {"cvt ", "fpgm", "gdir", "head", "hhea", "hmtx", "maxp", "prep", "vhea", "vmtx"}},
      {u"@DejaVu Sans", true, {"cvt ", "fpgm", "gdir", "head", "maxp", "prep"}},
  };
  for (const Case& c : cases) {
    auto t = InfoOf(vertical, c.face);
    ASSERT_TRUE(t->ok);
    t->info.glyphMetrics = c.metrics;
    DWORD size = 0;
    BYTE* block = xltext_BuildFontHeader_TT(&t->info, 590, 1024, &size);
    ASSERT_NE(block, nullptr);
    GtSegment g = ReadGt(Bytes(block, block + size));
    std::vector<std::string> tags;
    for (const auto& e : g.dir) tags.push_back(Name(e.tag));
    EXPECT_EQ(tags, c.tags);
    EngFreeMem(block);
  }
}

// MathTeXGyre has no fpgm and no prep: numTables still counts them and their
// entries stay zero at the end of the directory.
TEST_F(Download, MissingHeaderTablesLeaveZeroEntries) {
  auto t = LoadInfo(FontPath("DejaVuMathTeXGyre.ttf"), u"DejaVu Math TeX Gyre");
  ASSERT_TRUE(t->ok);
  DWORD size = 0;
  BYTE* block = xltext_BuildFontHeader_TT(&t->info, 590, 1024, &size);
  ASSERT_NE(block, nullptr);
  GtSegment g = ReadGt(Bytes(block, block + size));
  EXPECT_EQ(g.n, 8);
  std::vector<std::string> tags;
  for (const auto& e : g.dir) tags.push_back(Name(e.tag));
  EXPECT_EQ(tags, (std::vector<std::string>{"cvt ", "gdir", "head", "hhea", "hmtx", "maxp", std::string(4, '\0'),
                                            std::string(4, '\0')}));
  EXPECT_EQ(g.dir[6].checksum | g.dir[6].offset | g.dir[6].length | g.dir[7].length, 0u);
  EXPECT_EQ(g.dir[0].offset, 12u + 16 * 8);  // the first table right after the 8 entries
  EngFreeMem(block);
}

TEST_F(Download, LongHeaderGoesInPieces) {
  Sfnt f = ParseSfnt(ReadFile(FontPath("DejaVuSans.ttf")));
  f.tables[Tag("cvt ")] = Bytes(70000, 0x11);
  auto t = InfoOf(BuildSfnt(f), u"DejaVu Sans");
  ASSERT_TRUE(t->ok);
  ASSERT_EQ(Run(&t->info, "Big:OL", {}), 0);
  Bytes out = p.Output();
  Downloaded d = Decode(out);
  ASSERT_EQ(d.headerPieces.size(), 2u);
  EXPECT_EQ(d.headerPieces[0], 65535u);
  EXPECT_EQ(std::count(d.keys.begin(), d.keys.end(), "EndFontHeader"), 1);
  EXPECT_EQ(d.keys.back(), "EndFontHeader");
  EXPECT_EQ(CheckInPage(out), "");
}

TEST_F(Download, BitmapHeaderBytes) {
  XLTEXT_CHARSTATE cs = CharState("B:BM", XL_SYMBOLSET_BITMAP);
  ASSERT_EQ(xltext_SendFontHeader(p.get(), nullptr, nullptr, 2, XLFONT_KIND_BITMAP, &cs, nullptr), 0);
  Bytes out = p.Output();
  EXPECT_EQ(CheckInPage(out), "");
  LONG dpi = pdev_GetDpi(p.get());
  uint8_t hi = uint8_t(dpi >> 8), lo = uint8_t(dpi);
  EXPECT_EQ(Decode(out).header, (Bytes{0, 0, 0x01, 0x35, 0xFE, 0, 0x04, 0x00, 'B', 'R', 0, 0, 0, 4, hi, lo, hi, lo,
                                      0xFF, 0xFF, 0, 0, 0, 0}));
}

// ---- collections ------------------------------------------------------------------

TEST_F(Download, CollectionMemberByExactName) {
  Bytes sans = ReadFile(FontPath("DejaVuSans.ttf")), mono = ReadFile(FontPath("DejaVuSansMono.ttf"));
  Bytes ttc = BuildCollection({sans, mono});
  for (const char16_t* face : {u"DejaVu Sans Mono", u"DejaVu Sans"}) {
    auto t = InfoOf(ttc, face);
    ASSERT_TRUE(t->ok);
    bool isMono = std::u16string(face) == u"DejaVu Sans Mono";
    EXPECT_EQ(t->info.numGlyphs, ParseSfnt(isMono ? mono : sans).tables[Tag("maxp")][4] * 256 +
                                     ParseSfnt(isMono ? mono : sans).tables[Tag("maxp")][5]);
    uint32_t expectedBase = isMono ? Be32(&ttc[16]) : Be32(&ttc[12]);
    EXPECT_EQ(static_cast<size_t>(t->info.base - t->file.data()), expectedBase);
    DWORD size = 0;
    BYTE* block = xltext_BuildFontHeader_TT(&t->info, 590, 1024, &size);
    ASSERT_NE(block, nullptr);
    Bytes header(block, block + size);
    GtSegment g = ReadGt(header);
    EXPECT_EQ(g.version, Tag("ttcf"));
    // Offsets in the file are the collection's: the head table matches.
    Sfnt member = ParseSfnt(ttc, expectedBase);
    for (const auto& e : g.dir)
      if (Name(e.tag) == "head") {
        EXPECT_EQ(Bytes(g.ot + e.offset, g.ot + e.offset + e.length), member.tables[e.tag]);
      }
    EngFreeMem(block);
  }
  EXPECT_FALSE(InfoOf(ttc, u"DejaVu Serif")->ok);
  EXPECT_FALSE(InfoOf(ttc, u"DejaVu")->ok);
}

// ---- glyphs -------------------------------------------------------------------------

TEST_F(Download, GlyphRecords) {
  std::string sansPath = FontPath("DejaVuSans.ttf");
  auto sans = LoadInfo(sansPath, u"DejaVu Sans");
  ASSERT_TRUE(sans->ok);
  uint16_t a = FtGlyph(sansPath, 'A'), space = FtGlyph(sansPath, ' '), braille = FtGlyph(sansPath, 0x2800);
  EXPECT_EQ(braille, 4188);
  auto glyfOf = [](TableInfo& t, uint16_t g) {
    const BYTE* data = nullptr;
    DWORD len = 0;
    BOOL comp = FALSE;
    EXPECT_EQ(xltext_GetGlyph(&t.info, g, &data, &len, &comp), 0);
    return Bytes(data, data + len);
  };
  // Class 0: format 1, class 0, size, glyph index, the glyph's bytes.
  {
    std::vector<WORD> codes;
    ASSERT_EQ(Run(&sans->info, "S:OL", {a, space, braille, a}, &codes), 0);
    EXPECT_EQ(codes, (std::vector<WORD>{0, 1, 2, 0}));
    Bytes out = p.Output();
    EXPECT_EQ(CheckInPage(out), "");
    Downloaded d = Decode(out);
    ASSERT_EQ(d.chars.size(), 3u);
    Bytes g = glyfOf(*sans, a);
    Bytes expected = {1, 0, uint8_t((g.size() + 4) >> 8), uint8_t(g.size() + 4), uint8_t(a >> 8), uint8_t(a)};
    expected.insert(expected.end(), g.begin(), g.end());
    EXPECT_EQ(d.chars[0].second, expected);
    EXPECT_EQ(d.chars[1].second, (Bytes{1, 0, 0, 4, uint8_t(space >> 8), uint8_t(space)}));  // empty
    EXPECT_EQ(d.chars[2].second, (Bytes{1, 0, 0, 4, 0x10, 0x5C}));  // U+2800 empty, not the next glyph
  }
  // A composite: sent once, its components as 0xFFFF, again on re-download.
  {
    xlfont_FreeCache(p.get());
    p.Clear();
    ASSERT_EQ(Run(&sans->info, "C:OL", {171, 171}), 0);
    ASSERT_EQ(Run(&sans->info, "C:OL", {171}), 0);
    Downloaded d = Decode(p.Output());
    ASSERT_GE(d.chars.size(), 2u);
    EXPECT_EQ(d.chars[0].first, 0);
    size_t components = d.chars.size() - 1;
    for (size_t i = 1; i < d.chars.size(); ++i) EXPECT_EQ(d.chars[i].first, 0xFFFF);
    ASSERT_EQ(xlfont_DeleteFont(p.get(), "C:OL"), 0);
    p.Clear();
    ASSERT_EQ(Run(&sans->info, "C:OL", {171}), 0);
    EXPECT_EQ(Decode(p.Output()).chars.size(), components + 1);
  }
  // Class 1: DejaVuSansMono has 4 long metrics; later glyphs take the last
  // advance and their own bearing.
  {
    std::string monoPath = FontPath("DejaVuSansMono.ttf");
    auto mono = LoadInfo(monoPath, u"DejaVu Sans Mono");
    ASSERT_TRUE(mono->ok);
    EXPECT_EQ(mono->info.numHMetrics, 4);
    mono->info.glyphMetrics = TRUE;
    xlfont_FreeCache(p.get());
    p.Clear();
    uint16_t m = FtGlyph(monoPath, 'M');
    ASSERT_EQ(Run(&mono->info, "M:OL", {m}), 0);
    Downloaded d = Decode(p.Output());
    ASSERT_EQ(d.chars.size(), 1u);
    Sfnt f = ParseSfnt(mono->file);
    const Bytes& hmtx = f.tables[Tag("hmtx")];
    uint16_t aw = Be16(&hmtx[12]);
    uint16_t lsb = Be16(&hmtx[16 + 2 * (m - 4)]);
    const Bytes& r = d.chars[0].second;
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(Be16(&r[4]), lsb);
    EXPECT_EQ(Be16(&r[6]), aw);
    EXPECT_EQ(Be16(&r[8]), m);
    EXPECT_EQ(Be16(&r[2]), r.size() - 2);
  }
  // Short loca (ExtraLight): offsets are entries times 2.
  {
    std::string path = FontPath("DejaVuSans-ExtraLight.ttf");
    auto light = LoadInfo(path, u"DejaVu Sans ExtraLight");
    ASSERT_TRUE(light->ok);
    EXPECT_EQ(light->info.locFormat, 0);
    uint16_t g = FtGlyph(path, 'g');
    Sfnt f = ParseSfnt(light->file);
    Loca loca{&f};
    Bytes expected(f.tables[Tag("glyf")].begin() + loca.at(g), f.tables[Tag("glyf")].begin() + loca.at(g + 1));
    EXPECT_EQ(glyfOf(*light, g), expected);
  }
  // Class 2: a generated vmtx gives the top side bearing.
  {
    Sfnt f = ParseSfnt(sans->file);
    f.tables[Tag("vhea")] = f.tables[Tag("hhea")];
    Bytes vmtx = f.tables[Tag("hmtx")];
    vmtx[4 * a + 2] = 0x01, vmtx[4 * a + 3] = 0x23;  // the bearing of 'A'
    f.tables[Tag("vmtx")] = vmtx;
    auto v = InfoOf(BuildSfnt(f), u"@DejaVu Sans");
    ASSERT_TRUE(v->ok);
    EXPECT_TRUE(v->info.hasVMetrics);
    v->info.glyphMetrics = TRUE;
    xlfont_FreeCache(p.get());
    p.Clear();
    ASSERT_EQ(Run(&v->info, "@V:OL", {a}), 0);
    Downloaded d = Decode(p.Output());
    ASSERT_EQ(d.chars.size(), 1u);
    const Bytes& r = d.chars[0].second;
    EXPECT_EQ(r[1], 2);
    EXPECT_EQ(Be16(&r[8]), 0x0123);
    EXPECT_EQ(Be16(&r[10]), a);
  }
}

// ---- bitmaps and simulated bold ----------------------------------------------------

TEST(SimBold, GrowthBySize) {
  struct Case {
    LONG s, before, after;
  } cases[] = {{649, 0, 0},   {650, 0, 1},   {1499, 0, 1},  {1500, 1, 1},  {2099, 1, 1},  {2100, 1, 2},
               {2499, 1, 2},  {2500, 2, 2},  {2899, 2, 2},  {2900, 2, 3},  {3500, 3, 3},  {996, 0, 1}};
  for (const Case& c : cases) {
    FLOATOBJ size{static_cast<double>(c.s)};
    LONG b = -1, a = -1;
    EXPECT_EQ(xltext_CalcSimBoldBitmap(&size, 7200, &b, &a), c.s);  // at 7200 dpi s is the char size
    EXPECT_EQ(b, c.before) << c.s;
    EXPECT_EQ(a, c.after) << c.s;
  }
  FLOATOBJ px83{83};
  LONG b = 0, a = 0;
  EXPECT_EQ(xltext_CalcSimBoldBitmap(&px83, 600, &b, &a), 996);
}

std::vector<std::string> Rows(const Bytes& rec) {
  uint16_t w = Be16(&rec[6]), h = Be16(&rec[8]);
  std::vector<std::string> rows;
  size_t row = (w + 7) / 8;
  for (uint16_t y = 0; y < h; ++y) {
    std::string s;
    for (uint16_t x = 0; x < w; ++x) s += (rec[10 + y * row + x / 8] & (0x80 >> (x % 8))) ? '#' : '.';
    rows.push_back(s);
  }
  return rows;
}

TEST(SimBold, RecordsAndBorderWalk) {
  std::vector<uint64_t> store(8, 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(store.data());
  gb->ptlOrigin = POINTL{3, -5};
  gb->sizlBitmap = SIZEL{1, 1};
  gb->aj[0] = 0x80;
  DWORD size = 0;
  BYTE* plain = xltext_BuildGlyphRecord_BM(gb, FALSE, 0, 0, &size);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(Bytes(plain, plain + size), (Bytes{0, 0, 0, 3, 0, 5, 0, 1, 0, 1, 0x80}));
  EngFreeMem(plain);
  // 83 pixels at 600 dpi: one to the right and one at the top.
  BYTE* grown = xltext_BuildGlyphRecord_BM(gb, TRUE, 0, 1, &size);
  Bytes g(grown, grown + size);
  EXPECT_EQ(Be16(&g[2]), 3);  // left offset unchanged
  EXPECT_EQ(Be16(&g[4]), 6);  // one more at the top
  EXPECT_EQ(Rows(g), (std::vector<std::string>{"##", "##"}));
  EngFreeMem(grown);
  // (2, 2): the rectangle's border and the glyph itself, not its inside.
  BYTE* ring = xltext_BuildGlyphRecord_BM(gb, TRUE, 2, 2, &size);
  Bytes r(ring, ring + size);
  EXPECT_EQ(Be16(&r[2]), 1);
  EXPECT_EQ(Be16(&r[4]), 7);
  EXPECT_EQ(Rows(r), (std::vector<std::string>{"#####", "#...#", "#.#.#", "#...#", "#####"}));
  EngFreeMem(ring);
}

// ---- glyph mapping on synthetic tables -----------------------------------------------

TT_TABLEINFO SyntheticInfo(const char* tag, const Bytes& table, WORD numGlyphs = 500) {
  TT_TABLEINFO info{};
  for (auto& e : info.tables) e.tag = TT_TAG_END;
  info.tables[0] = TT_TABLEENTRY{Tag(tag), 0, table.data(), static_cast<DWORD>(table.size())};
  info.numGlyphs = numGlyphs;
  return info;
}

TEST(GlyphMapping, SymbolCmap) {
  Bytes cmap = SymbolCmap(4);  // from its own entry: 2 to the next, 2 past the end of the array
  TT_TABLEINFO info = SyntheticInfo("cmap", cmap);
  BOOL f4 = FALSE, symbol = FALSE;
  xltext_CheckCmapSubtable4(&info, &f4, &symbol);
  EXPECT_TRUE(f4);
  EXPECT_TRUE(symbol);
  IFIMETRICS ifi{};
  ifi.wcFirstChar = 0xF020;
  ifi.wcLastChar = 0xF0FF;
  ifi.wcDefaultChar = 0x21;  // moved to 0xF021: glyph 11
  WORD codes[] = {0x20, 0x22, 0xF020, 0x30, 0x31, 0x40, 0x300};
  ASSERT_EQ(xltext_ConvertSymbolGlyph(&info, &ifi, 7, codes), 0);
  EXPECT_EQ(std::vector<WORD>(codes, codes + 7), (std::vector<WORD>{10, 12, 10, 45, 11, 11, 11}));
  // An idRangeOffset that points past the subtable maps nothing.
  Bytes bad = SymbolCmap(0x4000);
  TT_TABLEINFO badInfo = SyntheticInfo("cmap", bad);
  WORD c2[] = {0x30};
  ASSERT_EQ(xltext_ConvertSymbolGlyph(&badInfo, &ifi, 1, c2), 0);
  EXPECT_EQ(c2[0], 11);
}

TEST(GlyphMapping, MortPairs) {
  auto mort = [](bool endMark) {
    Bytes t(76, 0);
    PutBe16(t, 5), PutBe16(t, 105);
    PutBe16(t, 6), PutBe16(t, 106);
    if (endMark) PutBe16(t, 0xFFFF), PutBe16(t, 0), PutBe16(t, 7), PutBe16(t, 107);
    return t;
  };
  for (bool endMark : {true, false}) {
    Bytes t = mort(endMark);
    TT_TABLEINFO info = SyntheticInfo("mort", t);
    WORD g[] = {5, 6, 7, 8};
    ASSERT_EQ(xltext_ConvertVerticalText_mort(&info, 4, g), 0);
    EXPECT_EQ(std::vector<WORD>(g, g + 4), (std::vector<WORD>{105, 106, 7, 8})) << endMark;
  }
}

// GSUB with one "vert" feature, one lookup of type 1 and one subtable.
Bytes Gsub(uint16_t format, uint16_t coverageFormat, bool badOffset) {
  Bytes t;
  PutBe32(t, 0x00010000);
  PutBe16(t, 0);   // script list (not read)
  PutBe16(t, 10);  // feature list
  PutBe16(t, 22);  // lookup list
  // Feature list at 10: one record "vert" -> feature at +8.
  PutBe16(t, 1);
  PutBe32(t, Tag("vert"));
  PutBe16(t, 8);
  PutBe16(t, 0), PutBe16(t, 1), PutBe16(t, 0);  // the feature: params, 1 lookup, index 0 (ends at 24)
  t.resize(22);
  t.resize(24);
  // Lookup list at 22 would overlap; rebuild simply: put the lookup list at 24.
  t[8] = 0, t[9] = 24;
  t.resize(18);
  PutBe16(t, 0), PutBe16(t, 1), PutBe16(t, 0);  // feature at 18
  PutBe16(t, 1), PutBe16(t, 4);                  // lookup list at 24: one lookup at +4
  PutBe16(t, 1), PutBe16(t, 0), PutBe16(t, 1), PutBe16(t, badOffset ? 0x7000 : 8);  // lookup at 28
  // Subtable at 36.
  PutBe16(t, format);
  PutBe16(t, format == 1 ? 6 : 10);  // coverage offset
  if (format == 1) {
    PutBe16(t, 100);  // delta
  } else {
    PutBe16(t, 2), PutBe16(t, 300), PutBe16(t, 301);
  }
  if (coverageFormat == 1) {
    PutBe16(t, 1), PutBe16(t, 2), PutBe16(t, 7), PutBe16(t, 9);
  } else {
    PutBe16(t, 2), PutBe16(t, 2), PutBe16(t, 7), PutBe16(t, 7), PutBe16(t, 0), PutBe16(t, 9), PutBe16(t, 9),
        PutBe16(t, 1);
  }
  return t;
}

TEST(GlyphMapping, GsubSingleSubstitution) {
  struct Case {
    uint16_t format, coverage;
    bool bad;
    std::vector<WORD> expected;
  } cases[] = {
      {1, 1, false, {107, 8, 109}}, {1, 2, false, {107, 8, 109}}, {2, 1, false, {300, 8, 301}},
      {2, 2, false, {300, 8, 301}}, {1, 1, true, {7, 8, 9}},
  };
  for (const Case& c : cases) {
    Bytes t = Gsub(c.format, c.coverage, c.bad);
    TT_TABLEINFO info = SyntheticInfo("GSUB", t);
    WORD g[] = {7, 8, 9};
    ASSERT_EQ(xltext_ConvertVerticalText_mort(&info, 3, g), 0);  // no mort: GSUB
    EXPECT_EQ(std::vector<WORD>(g, g + 3), c.expected) << c.format << "/" << c.coverage << " bad " << c.bad;
  }
}

// ---- malformed fonts --------------------------------------------------------------

TEST_F(Download, MalformedFonts) {
  const Bytes original = ReadFile(FontPath("DejaVuSans.ttf"));
  const Sfnt base = ParseSfnt(original);
  struct Case {
    const char* what;
    std::function<Bytes()> make;
    bool infoFails;
    WORD glyph;  // sent when the information holds
  };
  auto edit = [&](std::function<void(Sfnt&)> change) {
    Sfnt f = base;
    change(f);
    return BuildSfnt(f);
  };
  auto composite = [&](Sfnt& f, uint32_t g) {  // the first component record of glyph g
    Loca l{&f};
    return &f.tables[Tag("glyf")][l.at(g) + 10];
  };
  std::vector<Case> cases = {
      {"directory entry past the end",
       [&] {
         Bytes b = original;
         uint16_t n = Be16(&b[4]);
         for (uint16_t i = 0; i < n; ++i)
           if (Be32(&b[12 + 16 * i]) == Tag("glyf")) b[12 + 16 * i + 12] = 0x7F;
         return b;
       },
       true, 36},
      {"no glyf", [&] { return edit([](Sfnt& f) { f.tables.erase(Tag("glyf")); }); }, true, 36},
      {"short hmtx", [&] { return edit([](Sfnt& f) { f.tables[Tag("hmtx")].resize(100); }); }, true, 36},
      {"short loca", [&] { return edit([](Sfnt& f) { f.tables[Tag("loca")].resize(100); }); }, true, 36},
      {"loca next below this",
       [&] { return edit([](Sfnt& f) { Loca l{&f}; l.set(37, l.at(36) - 4); }); }, false, 36},
      {"glyph index past the font", [&] { return original; }, false, 6253},
      {"self-referencing composite",
       [&] { return edit([&](Sfnt& f) { uint8_t* c = composite(f, 171); c[2] = 0, c[3] = 171; }); }, false, 171},
      {"cyclic composites",
       [&] {
         return edit([&](Sfnt& f) {
           uint8_t* a = composite(f, 171);
           uint8_t* b = composite(f, 172);
           a[2] = 0, a[3] = 172;
           b[2] = 0, b[3] = 171;
         });
       },
       false, 171},
      {"component past its glyph",
       [&] {
         return edit([&](Sfnt& f) {
           Loca l{&f};
           uint8_t* c = composite(f, 171);
           size_t len = l.at(172) - l.at(171);
           // Every record says more components follow.
           for (size_t at = 10; at + 4 <= len;) {
             uint16_t flags = Be16(c - 10 + at);
             size_t rec = 4 + ((flags & 1) ? 4 : 2) + ((flags & 8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0);
             c[at - 10 + 1] = uint8_t(flags | 0x20);
             at += rec;
           }
         });
       },
       false, 171},
  };
  for (const Case& c : cases) {
    auto t = InfoOf(c.make(), u"DejaVu Sans");
    EXPECT_EQ(t->ok, !c.infoFails) << c.what;
    if (!t->ok) continue;
    xlfont_FreeCache(p.get());
    p.Clear();
    EXPECT_EQ(Run(&t->info, "Bad:OL", {c.glyph}), -1) << c.what;
    Downloaded d = Decode(p.Output());
    EXPECT_TRUE(std::find(d.keys.begin(), d.keys.end(), "BeginChar") == d.keys.end()) << c.what;
    EXPECT_EQ(p.get()->fontCache->glyphCount, 0) << c.what;
  }
  // Collections: a member offset or a name record outside the file.
  Bytes ttc = BuildCollection({original});
  Bytes outside = ttc;
  outside[12] = 0x7F;
  EXPECT_FALSE(InfoOf(outside, u"DejaVu Sans")->ok);
  Bytes badName = ttc;
  {
    uint32_t mb = Be32(&badName[12]);
    uint16_t n = Be16(&badName[mb + 4]);
    for (uint16_t i = 0; i < n; ++i) {
      const uint8_t* e = &badName[mb + 12 + 16 * i];
      if (Be32(e) != Tag("name")) continue;
      uint32_t off = Be32(e + 8);
      uint16_t count = Be16(&badName[off + 2]);
      for (uint16_t k = 0; k < count; ++k) badName[off + 6 + 12 * k + 10] = 0xFF;  // string offsets far out
    }
  }
  EXPECT_FALSE(InfoOf(badName, u"DejaVu Sans")->ok);
}

// ---- failures ------------------------------------------------------------------------

TEST_F(Download, AllocationFailureAtEachStep) {
  auto t = LoadInfo(FontPath("DejaVuSans.ttf"), u"DejaVu Sans");
  ASSERT_TRUE(t->ok);
  size_t baseline = KpEngineBlockCount(0);
  for (DWORD n = 1;; ++n) {
    xlfont_FreeCache(p.get());
    p.Clear();
    KpEngineFailAllocation(n);
    LONG r = Run(&t->info, "F:OL", {36, 171, 3});
    KpEngineFailAllocation(0);
    if (r == 0) {
      EXPECT_GT(n, 3u);
      break;
    }
    // What the cache holds matches what went out.
    Downloaded d = Decode(p.Output());
    bool headerBegun = std::find(d.keys.begin(), d.keys.end(), "BeginFontHeader") != d.keys.end();
    EXPECT_EQ(p.get()->fontCache != nullptr, headerBegun) << n;
    if (p.get()->fontCache) {
      size_t sent = 0;
      for (const auto& c : d.chars) sent += c.first != 0xFFFF;
      EXPECT_EQ(p.get()->fontCache->glyphCount, sent) << n;
    }
    ASSERT_LT(n, 50u);
  }
  xlfont_FreeCache(p.get());
  EXPECT_EQ(KpEngineBlockCount(0), baseline);
}

TEST_F(Download, WriteFailureInTheHeader) {
  auto t = LoadInfo(FontPath("DejaVuSans.ttf"), u"DejaVu Sans");
  ASSERT_TRUE(t->ok);
  size_t baseline = KpEngineBlockCount(0);
  p.FailWrite(2);
  EXPECT_EQ(Run(&t->info, "W:OL", {36}), -1);
  EXPECT_NE(p.get()->fontCache, nullptr);  // the header was begun: the font stays listed
  xlfont_FreeCache(p.get());
  EXPECT_EQ(KpEngineBlockCount(0), baseline);
}

}  // namespace

namespace {

// A font rebuilt from what went to the printer (the header's tables and the
// glyph records placed at their glyph indices) renders every downloaded
// glyph as the source font does.
TEST_F(Download, RoundTripRendersAsTheSource) {
  std::string path = FontPath("DejaVuSans.ttf");
  auto t = LoadInfo(path, u"DejaVu Sans");
  ASSERT_TRUE(t->ok);
  std::vector<WORD> glyphs;
  for (char32_t ch : std::u32string(U"Kestrel \u00e9\u00c5\u0152 wg&@")) glyphs.push_back(FtGlyph(path, ch));
  ASSERT_EQ(Run(&t->info, "RT:OL", glyphs), 0);
  Downloaded d = Decode(p.Output());
  GtSegment g = ReadGt(d.header);
  Sfnt rebuilt;
  for (const auto& e : g.dir)
    if (e.tag != 0 && Name(e.tag) != "gdir") rebuilt.tables[e.tag] = Bytes(g.ot + e.offset, g.ot + e.offset + e.length);
  uint16_t numGlyphs = Be16(&rebuilt.tables[Tag("maxp")][4]);
  std::vector<Bytes> byIndex(numGlyphs);
  std::set<uint16_t> sent;
  for (const auto& [code, rec] : d.chars) {
    uint16_t gid = Be16(&rec[4]);
    byIndex[gid] = Bytes(rec.begin() + 6, rec.end());
    sent.insert(gid);
  }
  Bytes glyf, loca;
  for (uint16_t i = 0; i < numGlyphs; ++i) {
    PutBe32(loca, static_cast<uint32_t>(glyf.size()));
    glyf.insert(glyf.end(), byIndex[i].begin(), byIndex[i].end());
    while (glyf.size() % 4) glyf.push_back(0);
  }
  PutBe32(loca, static_cast<uint32_t>(glyf.size()));
  rebuilt.tables[Tag("glyf")] = glyf;
  rebuilt.tables[Tag("loca")] = loca;
  rebuilt.tables[Tag("head")][50] = 0, rebuilt.tables[Tag("head")][51] = 1;  // long loca
  Bytes font = BuildSfnt(rebuilt);

  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face src, copy;
  ASSERT_EQ(FT_New_Face(lib, path.c_str(), 0, &src), 0);
  ASSERT_EQ(FT_New_Memory_Face(lib, font.data(), static_cast<FT_Long>(font.size()), 0, &copy), 0);
  for (FT_Face f : {src, copy}) FT_Set_Pixel_Sizes(f, 0, 64);
  auto render = [](FT_Face f, uint16_t gid) {
    Bytes bits;
    if (FT_Load_Glyph(f, gid, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0 ||
        FT_Render_Glyph(f->glyph, FT_RENDER_MODE_MONO) != 0)
      return Bytes{0xEE};
    const FT_Bitmap& b = f->glyph->bitmap;
    PutBe32(bits, b.width), PutBe32(bits, b.rows), PutBe32(bits, static_cast<uint32_t>(f->glyph->bitmap_left));
    for (unsigned y = 0; y < b.rows; ++y) bits.insert(bits.end(), b.buffer + y * b.pitch, b.buffer + y * b.pitch + (b.width + 7) / 8);
    return bits;
  };
  for (uint16_t gid : sent) EXPECT_EQ(render(copy, gid), render(src, gid)) << "glyph " << gid;
  EXPECT_GT(sent.size(), glyphs.size() / 2);
  FT_Done_Face(copy);
  FT_Done_Face(src);
  FT_Done_FreeType(lib);
}

}  // namespace
