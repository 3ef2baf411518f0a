// Brushes, colours and raster operations of kestrelkm: the ROP tables, and
// what brushes of every kind become when a path is filled or stroked with
// them (decoded listing; every stream passes the checker).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstring>

#include "draw.h"
#include "draw_fixture.h"
#include "jobctrl.h"

namespace {

using namespace kestrel::test::km;

constexpr MIX kCopyPen = R2_COPYPEN | R2_COPYPEN << 8;
constexpr MIX kTransparent = R2_COPYPEN | R2_NOP << 8;

bool Has(const Lines& lines, const std::string& needle) { return !Matching(lines, needle).empty(); }

TEST(KmRop, TablesAndMixes) {
  // Every ROP2 through both tables and back.
  const BYTE rop3[17] = {0, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                         0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
  for (ULONG r2 = R2_BLACK; r2 <= R2_WHITE; ++r2) {
    SCOPED_TRACE(r2);
    EXPECT_EQ(MixToRop4(r2 | r2 << 8), rop3[r2] * 0x101u);
    EXPECT_EQ(Rop4ToMix(rop3[r2] * 0x101u), r2 % 16 == 0 ? 0x1010u : r2 * 0x101u);
  }
  EXPECT_EQ(MixToRop4(R2_COPYPEN | R2_NOP << 8), 0xAAF0u);
  EXPECT_EQ(Rop4ToMix(0xCC5A), static_cast<MIX>(R2_COPYPEN << 8 | R2_XORPEN));  // 0xCC is no ROP2
  // The pen keeps only four ROP3s.
  EXPECT_EQ(XlRop3Convert(nullptr, KM_KIND_PEN, 0x5A5A), 0xF0);
  EXPECT_EQ(XlRop3Convert(nullptr, KM_KIND_PEN, 0xFAFA), 0xFA);
  EXPECT_EQ(XlRop3Convert(nullptr, KM_KIND_BRUSH, 0x5A5A), 0x5A);
}

class KmBrush : public KmDrawTest {
 protected:
  void SetUp() override {
    KmDrawTest::SetUp();
    ASSERT_TRUE(Open());
  }
  BOOL FillWith(BRUSHOBJ* b, MIX mix = kCopyPen) {
    return KpEngineFillPath(Session(), Rect(10, 10, 60, 60), nullptr, b, nullptr, mix, 0);
  }
  // The data of a page's ReadRastPattern, and the palette of its
  // SetColorSpace.
  static std::vector<BYTE> PatternData(const pclxl_check::Listing& l, size_t page);
};

std::vector<BYTE> KmBrush::PatternData(const pclxl_check::Listing& l, size_t page) {
  size_t seen = 0;
  bool inPage = false;
  for (const auto& item : l.items) {
    if (item.inband && item.code == 138) inPage = seen++ == page;
    if (inPage && item.key() == "ReadRastPattern") return item.data;
  }
  return {};
}

// A 16 x 16 pattern drawn as text: '#' a line (0 bit), '.' the background.
std::vector<BYTE> Drawn(const std::vector<std::string>& rows) {
  std::vector<BYTE> bits(rows.size() * 4, 0);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      if (rows[r][c] == '.') bits[4 * r + c / 8] |= static_cast<BYTE>(0x80 >> (c % 8));
  return bits;
}

std::vector<std::string> Or(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::string> out = a;
  for (size_t r = 0; r < a.size(); ++r)
    for (size_t c = 0; c < a[r].size(); ++c)
      if (b[r][c] == '#') out[r][c] = '#';
  return out;
}

TEST_F(KmBrush, TheSixHatchesPrintTheirLinesInTheBrushColour) {
  const std::vector<std::string> horizontal = {
      "................", "................", "................", "................", "................",
      "................", "................", "################", "################", "................",
      "................", "................", "................", "................", "................",
      "................"};
  const std::vector<std::string> vertical(16, ".......##.......");
  const std::vector<std::string> forward = {
      "##..............", ".##.............", "..##............", "...##...........", "....##..........",
      ".....##.........", "......##........", ".......##.......", "........##......", ".........##.....",
      "..........##....", "...........##...", "............##..", ".............##.", "..............##",
      "#..............#"};
  const std::vector<std::string> backward = {
      "#..............#", "..............##", ".............##.", "............##..", "...........##...",
      "..........##....", ".........##.....", "........##......", ".......##.......", "......##........",
      ".....##.........", "....##..........", "...##...........", "..##............", ".##.............",
      "##.............."};
  const std::vector<std::vector<std::string>> table = {horizontal, vertical, forward, backward,
                                                        Or(horizontal, vertical), Or(forward, backward)};
  for (ULONG h = 0; h < 6; ++h) {
    EXPECT_TRUE(FillWith(Keep(KpEngineCreateHatchBrush(Session(), h, 0x0000FF, 0xFFFFFF)))) << h;
    ASSERT_TRUE(NextPage());
  }
  auto pages = Finish();
  for (ULONG h = 0; h < 6; ++h) {
    SCOPED_TRACE(h);
    EXPECT_EQ(PatternData(Listing(), h), Drawn(table[h]));
    // Colour 0 of the palette paints the 0 bits, the lines: red.
    EXPECT_TRUE(Has(pages[h], "PaletteData=ubyte_array[255 0 0 255 255 255]")) << Text(pages[h]);
    EXPECT_TRUE(Has(pages[h], "SetBrushSource PatternSelectID=sint16(0)")) << Text(pages[h]);
  }
}

TEST_F(KmBrush, MixesDecideRopAndTransparency) {
  LINEATTRS la = Cosmetic();
  BRUSHOBJ* black = Solid(0);
  const MIX xorMix = R2_XORPEN | R2_XORPEN << 8;
  EXPECT_TRUE(KpEngineStrokePath(Session(), Rect(0, 0, 9, 9), nullptr, nullptr, black, nullptr, &la, xorMix));
  ASSERT_TRUE(NextPage());
  EXPECT_TRUE(FillWith(black, xorMix));
  ASSERT_TRUE(NextPage());
  // A hatch over R2_NOP: transparent, white the second palette entry.
  EXPECT_TRUE(FillWith(Keep(KpEngineCreateHatchBrush(Session(), HS_CROSS, 0x00FF00, 0x0000FF)), kTransparent));
  ASSERT_TRUE(NextPage());
  // Equal colours, opaque: a solid colour.
  EXPECT_TRUE(FillWith(Keep(KpEngineCreateHatchBrush(Session(), HS_CROSS, 0x123456, 0x123456))));
  auto pages = Finish();
  EXPECT_TRUE(Has(pages[0], "SetROP ROP3=ubyte(240)")) << Text(pages[0]);  // the pen keeps only 0xF0
  EXPECT_TRUE(Has(pages[1], "SetROP ROP3=ubyte(90)")) << Text(pages[1]);
  EXPECT_TRUE(Has(pages[2], "SetPaintTxMode TxMode=ubyte(1)")) << Text(pages[2]);
  EXPECT_TRUE(Has(pages[2], "PaletteData=ubyte_array[0 255 0 255 255 255]")) << Text(pages[2]);
  EXPECT_TRUE(Has(pages[3], "SetBrushSource RGBColor=ubyte_array[86 52 18]")) << Text(pages[3]);
  EXPECT_FALSE(Has(pages[3], "ReadRastPattern"));
}

// ---- Pattern brushes --------------------------------------------------------------------

struct PatternCase {
  const char* name;
  ULONG format;
  LONG width, height;
  std::vector<BYTE> rows;  // top-down, padded to 4
  std::vector<ULONG> table;  // empty: the 5-6-5, 5-5-5 or B, G, R bit fields
  std::vector<std::string> want;
};

TEST_F(KmBrush, PatternsOfEveryFormat) {
  std::vector<BYTE> eight(8 * 8);
  for (int i = 0; i < 64; ++i) eight[i] = static_cast<BYTE>(i % 3);
  std::vector<BYTE> rgb24(8 * 24);  // 8 x 8, 24 bytes a row, B, G, R
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      rgb24[y * 24 + 3 * x + 2] = static_cast<BYTE>(x * 30);  // red rises
      rgb24[y * 24 + 3 * x] = static_cast<BYTE>(y * 30);       // blue
    }
  std::vector<BYTE> rgb32(8 * 32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) rgb32[y * 32 + 4 * x + 2] = static_cast<BYTE>(x * 30);
  std::vector<BYTE> rgb16(8 * 16);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const WORD v = static_cast<WORD>((x * 4) << 11);  // 5-6-5 red
      rgb16[y * 16 + 2 * x] = static_cast<BYTE>(v);
      rgb16[y * 16 + 2 * x + 1] = static_cast<BYTE>(v >> 8);
    }
  const std::vector<PatternCase> cases = {
      {"1 bit, 2 entries", BMF_1BPP, 8, 8, {0xAA, 0, 0, 0, 0x55, 0, 0, 0, 0xAA, 0, 0, 0, 0x55, 0, 0, 0,
                                            0xAA, 0, 0, 0, 0x55, 0, 0, 0, 0xAA, 0, 0, 0, 0x55, 0, 0, 0},
       {0x0000FF, 0xFF0000}, {"PaletteData=ubyte_array[255 0 0 0 0 255]", "ColorDepth=ubyte(0)"}},
      {"4 bits, 16 entries", BMF_4BPP, 8, 8, std::vector<BYTE>(32, 0x12),
       {0, 0x0000FF, 0x00FF00, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {"ColorDepth=ubyte(1)", "ColorMapping=ubyte(1)"}},
      {"8 bits, a short table", BMF_8BPP, 8, 8, eight, {0x0000FF, 0x00FF00, 0xFF0000}, {"ColorDepth=ubyte(2)", "ColorMapping=ubyte(1)"}},
      {"16 bits 5-6-5", BMF_16BPP, 8, 8, rgb16, {}, {"ColorMapping=ubyte(0)", "ColorDepth=ubyte(2)"}},
      {"24 bits", BMF_24BPP, 8, 8, rgb24, {}, {"ColorMapping=ubyte(0)"}},
      {"32 bits", BMF_32BPP, 8, 8, rgb32, {}, {"ColorMapping=ubyte(0)"}},
  };
  std::vector<std::vector<BYTE>> topDown;
  for (const auto& c : cases) {
    XLATEOBJ* x = c.table.empty()
                      ? Keep(c.format == BMF_16BPP ? KpEngineCreateXlateBitfields(0xF800, 0x07E0, 0x001F)
                                                   : KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF))
                      : Keep(KpEngineCreateXlate(XO_TABLE, static_cast<ULONG>(c.table.size()), c.table.data()));
    // Top-down, then the same pattern bottom-up: the same raster.
    SURFOBJ* td = Keep(KpEngineCreateBitmap(c.width, c.height, c.format, BMF_TOPDOWN, c.rows.data(), 0));
    const size_t stride = c.rows.size() / c.height;
    std::vector<BYTE> flipped(c.rows.size());
    for (LONG y = 0; y < c.height; ++y)
      std::memcpy(flipped.data() + y * stride, c.rows.data() + (c.height - 1 - y) * stride, stride);
    SURFOBJ* bu = Keep(KpEngineCreateBitmap(c.width, c.height, c.format, 0, flipped.data(), 0));
    EXPECT_TRUE(FillWith(Keep(KpEngineCreatePatternBrush(Session(), td, nullptr, x)))) << c.name;
    ASSERT_TRUE(NextPage());
    EXPECT_TRUE(FillWith(Keep(KpEngineCreatePatternBrush(Session(), bu, nullptr, x)))) << c.name;
    ASSERT_TRUE(NextPage());
  }
  auto pages = Finish();
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    for (const auto& w : cases[i].want) EXPECT_TRUE(Has(pages[2 * i], w)) << w << "\n" << Text(pages[2 * i]);
    const auto a = PatternData(Listing(), 2 * i), b = PatternData(Listing(), 2 * i + 1);
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b) << "bottom-up equals top-down";
  }
  // 24 bits: R, G, B bytes from the B, G, R pixels (pixel 1 of row 1: red 30, blue 30).
  const auto rgb = PatternData(Listing(), 8);
  ASSERT_GE(rgb.size(), 24u * 2);
  EXPECT_EQ(std::vector<BYTE>(rgb.begin() + 24 + 3, rgb.begin() + 24 + 6), (std::vector<BYTE>{30, 0, 30}));
  // 16 bits 5-6-5: red 4 << 11 at x = 1 is 4 of 31, 33 of 255.
  const auto r16 = PatternData(Listing(), 6);
  ASSERT_GE(r16.size(), 6u);
  EXPECT_EQ(r16[3], 33);
}

TEST_F(KmBrush, UniformPatternsAreSolidColours) {
  std::vector<BYTE> red(8 * 24);
  for (int i = 0; i < 64; ++i) red[(i / 8) * 24 + 3 * (i % 8) + 2] = 0xFF;  // B, G, R: red
  XLATEOBJ* bgr = Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
  SURFOBJ* pattern = Keep(KpEngineCreateBitmap(8, 8, BMF_24BPP, BMF_TOPDOWN, red.data(), 0));
  BRUSHOBJ* brush = Keep(KpEngineCreatePatternBrush(Session(), pattern, nullptr, bgr));
  const size_t realized = KpEngineRealizeCount();
  EXPECT_TRUE(FillWith(brush));
  EXPECT_TRUE(FillWith(brush));
  EXPECT_EQ(KpEngineRealizeCount(), realized + 1) << "one realization for a brush used twice";
  ASSERT_TRUE(NextPage());
  // A one-bit pattern of all 1 bits over a transparent background: no source.
  std::vector<BYTE> ones(32, 0xFF);
  const ULONG table[2] = {0x000000, 0xFFFFFF};
  SURFOBJ* mono = Keep(KpEngineCreateBitmap(8, 8, BMF_1BPP, BMF_TOPDOWN, ones.data(), 0));
  XLATEOBJ* two = Keep(KpEngineCreateXlate(XO_TABLE, 2, table));
  EXPECT_TRUE(FillWith(Keep(KpEngineCreatePatternBrush(Session(), mono, nullptr, two)), kTransparent));
  // A red image: the same R, G, B as the red pattern.
  RECTL dest{0, 0, 8, 8};
  POINTL at{0, 0};
  EXPECT_TRUE(KpEngineBitBlt(Session(), pattern, nullptr, nullptr, bgr, &dest, &at, nullptr, nullptr, nullptr, 0xCCCC));
  auto pages = Finish();
  EXPECT_EQ(Matching(pages[0], "SetBrushSource RGBColor=ubyte_array[255 0 0]").size(), 2u) << Text(pages[0]);
  EXPECT_FALSE(Has(pages[0], "ReadRastPattern"));
  EXPECT_TRUE(Has(pages[1], "SetBrushSource NullBrush=ubyte(0)")) << Text(pages[1]);
  std::vector<BYTE> image;
  for (const auto& item : Listing().items)
    if (item.key() == "ReadImage") image = item.data;
  ASSERT_EQ(image.size(), 192u);
  EXPECT_EQ(std::vector<BYTE>(image.begin(), image.begin() + 6), (std::vector<BYTE>{0xFF, 0, 0, 0xFF, 0, 0}));
}

TEST_F(KmBrush, ABrushThatCannotBeRealizedFailsTheCall) {
  // A 24-bit pattern without a translation is refused by DrvRealizeBrush.
  std::vector<BYTE> bits(8 * 24, 0x40);
  SURFOBJ* pattern = Keep(KpEngineCreateBitmap(8, 8, BMF_24BPP, BMF_TOPDOWN, bits.data(), 0));
  EXPECT_FALSE(FillWith(Keep(KpEngineCreatePatternBrush(Session(), pattern, nullptr, nullptr))));
  // The allocation of the realization fails.
  XLATEOBJ* bgr = Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
  BRUSHOBJ* brush = Keep(KpEngineCreatePatternBrush(Session(), pattern, nullptr, bgr));
  KpEngineFailAllocation(1);
  EXPECT_FALSE(FillWith(brush));
  KpEngineFailAllocation(0);
  EXPECT_TRUE(FillWith(brush));  // asked again: realized now
  Finish();
}

TEST_F(KmBrush, ATransparentStampIsPaintedInTwoPasses) {
  BRUSHOBJ* red = Solid(0x0000FF);
  EXPECT_TRUE(FillWith(red));  // the page is open
  // The stamp of the job, drawn with transparency (as the stamp escapes and
  // the job information set it).
  Pdev()->jobInfo.stampOnAll = 1;
  Pdev()->jobInfo.stampValue2 = 1;
  Pdev()->stamp.drawMode = TRUE;
  ASSERT_TRUE(jobCtrl_isStampTransparency(Pdev()));
  const POINTFIX tri[3] = {{Fx(10), Fx(10)}, {Fx(90), Fx(20)}, {Fx(40), Fx(80)}};
  PATHOBJ* triangle = Keep(KpEngineCreatePolygonPath(3, tri));
  EXPECT_TRUE(KpEngineFillPath(Session(), triangle, nullptr, red, nullptr, kCopyPen, 0));
  Pdev()->stamp.drawMode = FALSE;
  auto pages = Finish();
  const Lines& p = pages[0];
  // First pass: destination AND the mask in black; second: OR the mask in red.
  // The ROP in force at each PaintPath.
  Lines inForce;
  std::string rop;
  for (const auto& l : p) {
    if (l.rfind("SetROP", 0) == 0) rop = l;
    if (l == "PaintPath") inForce.push_back(rop);
  }
  EXPECT_EQ(inForce, (Lines{"SetROP ROP3=ubyte(160)", "SetROP ROP3=ubyte(250)"})) << Text(p);
  EXPECT_TRUE(Has(p, "PaletteData=ubyte_array[0 0 0 255 255 255]")) << Text(p);
  EXPECT_TRUE(Has(p, "PaletteData=ubyte_array[255 0 0 0 0 0]")) << Text(p);
  EXPECT_EQ(Matching(p, "PaintPath").size(), 2u) << "the geometry twice";
}

}  // namespace
