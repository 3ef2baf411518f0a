// Images of kestrelkm: the ROP4 dispatch of DrvBitBlt, the pixels every
// source format becomes, mirroring, rotation, resolution conversion, merged
// image strips (decoded listing; every stream passes the checker).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstring>

#include "draw.h"
#include "draw_fixture.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"

namespace {

using namespace kestrel::test::km;

bool Has(const Lines& lines, const std::string& needle) { return !Matching(lines, needle).empty(); }

// The data of the n-th operator named `name` in the listing.
std::vector<BYTE> DataOf(const pclxl_check::Listing& l, const std::string& name, size_t n = 0) {
  for (const auto& item : l.items)
    if (item.key() == name && n-- == 0) return item.data;
  return {};
}

// Keys of the listing items matching any of `names`, in order.
std::vector<std::string> Keys(const pclxl_check::Listing& l, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const auto& item : l.items)
    for (const auto& n : names)
      if (item.key() == n) out.push_back(n);
  return out;
}

// A plain 24-bit image (B, G, R bytes), rows padded to 4, top-down.
std::vector<BYTE> Bgr(LONG w, LONG h, ULONG color) {
  const size_t stride = ((w * 24 + 31) / 32) * 4;
  std::vector<BYTE> bits(stride * h);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      bits[y * stride + 3 * x] = static_cast<BYTE>(color >> 16);
      bits[y * stride + 3 * x + 1] = static_cast<BYTE>(color >> 8);
      bits[y * stride + 3 * x + 2] = static_cast<BYTE>(color);
    }
  return bits;
}

class KmImage : public KmDrawTest {
 protected:
  void SetUp() override {
    KmDrawTest::SetUp();
    bgr_ = nullptr;
  }
  bool OpenWith(const std::function<void(CreateDcDevmode&)>& tweak = {}) {
    if (!Open(kModelB, tweak)) return false;
    bgr_ = Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
    return true;
  }
  SURFOBJ* Image24(LONG w, LONG h, ULONG color) {
    auto bits = Bgr(w, h, color);
    return Keep(KpEngineCreateBitmap(w, h, BMF_24BPP, BMF_TOPDOWN, bits.data(), 0));
  }
  BOOL Blt(SURFOBJ* src, RECTL dest, POINTL at, ROP4 rop = 0xCCCC, BRUSHOBJ* brush = nullptr, SURFOBJ* mask = nullptr,
           XLATEOBJ* x = nullptr) {
    return KpEngineBitBlt(Session(), src, mask, nullptr, x ? x : bgr_, &dest, &at, mask ? &at : nullptr, brush,
                          nullptr, rop);
  }
  BOOL Stretch(SURFOBJ* src, RECTL dest, RECTL from) {
    return KpEngineStretchBlt(Session(), src, nullptr, nullptr, bgr_, &dest, &from, nullptr, COLORONCOLOR_MODE);
  }
  static constexpr ULONG COLORONCOLOR_MODE = 3;
  XLATEOBJ* bgr_;
};

// ---- ROP4 dispatch ------------------------------------------------------------------------

TEST_F(KmImage, Rop4Dispatch) {
  ASSERT_TRUE(OpenWith());
  SURFOBJ* src = Image24(8, 4, 0x808080);
  BRUSHOBJ* black = Solid(0);
  std::vector<BYTE> bw = Bgr(8, 4, 0xFFFFFF);
  for (int i = 0; i < 6; ++i) bw[3 * i] = bw[3 * i + 1] = bw[3 * i + 2] = 0;  // black and white pixels
  SURFOBJ* bwSrc = Keep(KpEngineCreateBitmap(8, 4, BMF_24BPP, BMF_TOPDOWN, bw.data(), 0));
  std::vector<BYTE> maskBits(16, 0xFF);
  SURFOBJ* mask = Keep(KpEngineCreateBitmap(8, 4, BMF_1BPP, BMF_TOPDOWN, maskBits.data(), 0));
  const RECTL r{10, 10, 18, 14};
  KpEngineClearBlits();
  struct Case {
    const char* name;
    std::function<BOOL()> draw;
    std::vector<std::string> want, without;
  };
  const Case cases[] = {
      {"0x0000 black", [&] { return Blt(nullptr, r, {0, 0}, 0x0000); },
       {"SetColorSpace ColorSpace=ubyte(1)", "SetBrushSource GrayLevel=ubyte(0)", "Rectangle BoundingBox=ubyte_box(10,10,18,14)"},
       {"BeginImage"}},
      {"0xFFFF white", [&] { return Blt(nullptr, r, {0, 0}, 0xFFFF); }, {"SetBrushSource GrayLevel=ubyte(255)", "Rectangle"}, {}},
      {"0xAAAA nothing", [&] { return Blt(nullptr, r, {0, 0}, 0xAAAA); }, {}, {"Rectangle", "BeginImage"}},
      {"0xAAA0 with a mask: the engine's", [&] { return Blt(src, r, {0, 0}, 0xAAA0, black, mask); }, {}, {"Rectangle", "BeginImage"}},
      {"0x5A5A: a rectangle", [&] { return Blt(nullptr, r, {0, 0}, 0x5A5A, black); },
       {"SetROP ROP3=ubyte(90)", "Rectangle BoundingBox=ubyte_box(10,10,18,14)"}, {"BeginImage"}},
      {"0xCCCC: an image", [&] { return Blt(src, r, {0, 0}); },
       {"SetROP ROP3=ubyte(204)", "BeginImage ColorMapping=ubyte(0) ColorDepth=ubyte(2)", "EndImage"}, {"Rectangle"}},
      {"0xB8B8, black and white: a mask image", [&] { return Blt(bwSrc, r, {0, 0}, 0xB8B8, black); },
       {"SetROP ROP3=ubyte(184)", "BeginImage ColorMapping=ubyte(1) ColorDepth=ubyte(0)"}, {}},
      {"0xB8B8, grey: a colour image", [&] { return Blt(src, r, {0, 0}, 0xB8B8, black); },
       {"BeginImage ColorMapping=ubyte(0) ColorDepth=ubyte(2)"}, {"ColorDepth=ubyte(0)"}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.draw()) << c.name;
    ASSERT_TRUE(NextPage());
  }
  EXPECT_EQ(KpEngineBlitCount(), 1u) << "0xAAA0 with a mask goes to EngBitBlt";
  auto pages = Finish();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    for (const auto& w : cases[i].want) EXPECT_TRUE(Has(pages[i], w)) << w << "\n" << Text(pages[i]);
    for (const auto& w : cases[i].without) EXPECT_FALSE(Has(pages[i], w)) << w << "\n" << Text(pages[i]);
  }
  // Images carry object kind 2 on their SetColorSpace, everything else 0.
  for (const auto& item : Listing().items)
    if (item.key() == "SetColorSpace") {
      const bool image = item.text().find("Attr254=ubyte(2)") != std::string::npos;
      EXPECT_TRUE(image || item.text().find("Attr254=ubyte(0)") != std::string::npos) << item.text();
    }
}

TEST_F(KmImage, CopyBitsFromTheDeviceSurfaceOnlyErases) {
  ASSERT_TRUE(OpenWith());
  KpEngineClearBlits();
  RECTL r{5, 6, 50, 60};
  POINTL at{0, 0};
  EXPECT_TRUE(KpEngineCopyBits(Session(), nullptr, nullptr, nullptr, &r, &at));
  RECTL erased{};
  ULONG color = 0;
  ASSERT_TRUE(KpEngineLastErase(&erased, &color));
  EXPECT_EQ(color, 0xFFFFFFFFu);
  EXPECT_EQ(erased.right, 50);
  auto pages = Finish();
  EXPECT_TRUE(pages[0].empty()) << Text(pages[0]);
}

// ---- Pixels of every format --------------------------------------------------------------

// Colours with channels 0 or 255, exact in 5-6-5.
constexpr ULONG kColours[8] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFFFF00, 0xFF00FF};

struct Format {
  ULONG format;
  ULONG bpp;
  ULONG levels;
};
constexpr Format kFormats[] = {{BMF_1BPP, 1, 2},   {BMF_4BPP, 4, 16},  {BMF_8BPP, 8, 16},
                               {BMF_16BPP, 16, 8}, {BMF_24BPP, 24, 8}, {BMF_32BPP, 32, 8}};

constexpr LONG kW = 5, kH = 3;
ULONG Index(LONG x, LONG y, ULONG levels) { return static_cast<ULONG>(x * 3 + y * 5) % levels; }

// The source rows (top-down) of the test image in a format.
std::vector<BYTE> Encode(const Format& f) {
  const size_t stride = ((kW * f.bpp + 31) / 32) * 4;
  std::vector<BYTE> bits(stride * kH);
  for (LONG y = 0; y < kH; ++y)
    for (LONG x = 0; x < kW; ++x) {
      BYTE* row = bits.data() + y * stride;
      const ULONG i = Index(x, y, f.levels);
      const ULONG c = kColours[i % 8];
      switch (f.bpp) {
        case 1: row[x / 8] |= static_cast<BYTE>(i << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<BYTE>(x % 2 ? i : i << 4); break;
        case 8: row[x] = static_cast<BYTE>(i); break;
        case 16: {
          const WORD v = static_cast<WORD>(((c & 0xFF) >> 3) << 11 | ((c >> 8 & 0xFF) >> 2) << 5 | (c >> 16 & 0xFF) >> 3);
          row[2 * x] = static_cast<BYTE>(v);
          row[2 * x + 1] = static_cast<BYTE>(v >> 8);
          break;
        }
        default: {
          BYTE* p = row + x * (f.bpp / 8);
          p[0] = static_cast<BYTE>(c >> 16);
          p[1] = static_cast<BYTE>(c >> 8);
          p[2] = static_cast<BYTE>(c);
        }
      }
    }
  return bits;
}

// The ReadImage data expected for source columns [x0, x0 + w), rows in
// order (or from the bottom), columns mirrored when asked.
std::vector<BYTE> Expected(const Format& f, LONG x0, LONG w, bool bottomUp, bool mirrored) {
  std::vector<BYTE> out;
  for (LONG r = 0; r < kH; ++r) {
    const LONG y = bottomUp ? kH - 1 - r : r;
    std::vector<BYTE> row(f.bpp >= 16 ? 3 * w : (w * f.bpp + 7) / 8);
    for (LONG k = 0; k < w; ++k) {
      const LONG x = x0 + (mirrored ? w - 1 - k : k);
      const ULONG i = Index(x, y, f.levels);
      if (f.bpp >= 16) {
        const ULONG c = kColours[i % 8];
        row[3 * k] = static_cast<BYTE>(c);
        row[3 * k + 1] = static_cast<BYTE>(c >> 8);
        row[3 * k + 2] = static_cast<BYTE>(c >> 16);
      } else if (f.bpp == 1) {
        row[k / 8] |= static_cast<BYTE>(i << (7 - k % 8));
      } else if (f.bpp == 4) {
        row[k / 2] |= static_cast<BYTE>(k % 2 ? i : i << 4);
      } else {
        row[k] = static_cast<BYTE>(i);
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

TEST_F(KmImage, EveryFormatTopDownBottomUpOddStartAndMirrored) {
  ASSERT_TRUE(OpenWith());
  XLATEOBJ* x565 = Keep(KpEngineCreateXlateBitfields(0xF800, 0x07E0, 0x001F));
  XLATEOBJ* table = Keep(KpEngineCreateXlate(XO_TABLE, 8, kColours));
  struct Variant {
    const char* name;
    bool bottomUpStorage, upsideDown, mirrored;
    LONG x0;
  };
  const Variant variants[] = {{"top-down", false, false, false, 0},
                              {"bottom-up storage", true, false, false, 0},
                              {"odd start", false, false, false, 1},
                              {"mirrored", false, false, true, 0},
                              {"drawn upside down", false, true, false, 0}};
  std::vector<std::vector<BYTE>> want;
  for (const Format& f : kFormats) {
    const std::vector<BYTE> rows = Encode(f);
    XLATEOBJ* x = f.bpp == 16 ? x565 : (f.bpp >= 24 ? bgr_ : table);
    for (const Variant& v : variants) {
      SCOPED_TRACE(std::string(v.name) + " " + std::to_string(f.bpp));
      SURFOBJ* src;
      if (v.bottomUpStorage) {
        // The same picture stored bottom-up: its rows in memory from the bottom.
        const size_t stride = rows.size() / kH;
        std::vector<BYTE> flipped(rows.size());
        for (LONG y = 0; y < kH; ++y) std::memcpy(&flipped[y * stride], &rows[(kH - 1 - y) * stride], stride);
        src = Keep(KpEngineCreateBitmap(kW, kH, f.format, 0, flipped.data(), 0));
      } else {
        src = Keep(KpEngineCreateBitmap(kW, kH, f.format, BMF_TOPDOWN, rows.data(), 0));
      }
      const LONG w = kW - v.x0;
      const RECTL dest = v.mirrored ? RECTL{100 + w, 50, 100, 50 + kH}
                                    : (v.upsideDown ? RECTL{100, 50 + kH, 100 + w, 50} : RECTL{100, 50, 100 + w, 50 + kH});
      EXPECT_TRUE(Blt(src, dest, {v.x0, 0}, 0xCCCC, nullptr, nullptr, x));
      want.push_back(Expected(f, v.x0, w, v.upsideDown, v.mirrored));
      ASSERT_TRUE(NextPage());
    }
  }
  Finish();
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(DataOf(Listing(), "ReadImage", i), want[i]);
  }
}

TEST_F(KmImage, ANegativeSourcePointShortensTheImageAndMovesItsEdge) {
  ASSERT_TRUE(OpenWith());
  EXPECT_TRUE(Blt(Image24(10, 2, 0x0000FF), RECTL{20, 10, 30, 12}, POINTL{-3, 0}));
  auto pages = Finish();
  EXPECT_TRUE(Has(pages[0], "SetCursor Point=ubyte_xy(23,10)")) << Text(pages[0]);
  EXPECT_TRUE(Has(pages[0], "SourceWidth=uint16(7)") || Has(pages[0], "SourceWidth=ubyte(7)")) << Text(pages[0]);
  EXPECT_TRUE(Has(pages[0], "DestinationSize=uint16_xy(7,2)") || Has(pages[0], "DestinationSize=ubyte_xy(7,2)"))
      << Text(pages[0]);
}

TEST_F(KmImage, LargeImagesTurnWithThePage) {
  ASSERT_TRUE(OpenWith());
  // The page opens at its first drawing call (here one that draws nothing),
  // where the layout judges its rotation; then the judgement is set as the
  // layout sets it for a turned page.
  EXPECT_TRUE(Blt(nullptr, RECTL{0, 0, 1, 1}, {0, 0}, 0xAAAA));
  Pdev()->imageRotation = 1;
  EXPECT_TRUE(Blt(Image24(64, 200, 0x00FF00), RECTL{0, 0, 64, 200}, {0, 0}));
  ASSERT_TRUE(NextPage());
  EXPECT_TRUE(Blt(nullptr, RECTL{0, 0, 1, 1}, {0, 0}, 0xAAAA));
  Pdev()->imageRotation = 1;
  EXPECT_TRUE(Blt(Image24(65, 65, 0x00FF00), RECTL{10, 20, 75, 85}, {0, 0}));
  auto pages = Finish();
  EXPECT_FALSE(Has(pages[0], "SetPageRotation")) << Text(pages[0]);
  const Lines turned = Matching(pages[1], "SetPageRotation");
  ASSERT_EQ(turned.size(), 2u) << Text(pages[1]);
  EXPECT_NE(turned[0].find("(90)"), std::string::npos);
  EXPECT_NE(turned[1].find("(270)"), std::string::npos);
  EXPECT_TRUE(Has(pages[1], "SetCursor Point=sint16_xy(-85,10)")) << Text(pages[1]);
}

// ---- Resolution conversion ------------------------------------------------------------------

TEST(KmResoConv, DdaAndAnExactCheckerboardMean) {
  KM_DDA dda[250];
  ASSERT_TRUE(_rv_ComputeDDA(1000, 250, dda));
  EXPECT_EQ(dda[1].first, 4);
  EXPECT_EQ(dda[1].last, 7);
  EXPECT_EQ(dda[249].last, 999);
  KM_DDA thirds[2];
  ASSERT_TRUE(_rv_ComputeDDA(3, 2, thirds));  // 1.5 source pixels each
  EXPECT_EQ(thirds[0].first, 0);
  EXPECT_EQ(thirds[0].last, 1);
  EXPECT_EQ(thirds[0].lastWeight, 128);
  EXPECT_EQ(thirds[1].firstWeight, 128);
  EXPECT_FALSE(_rv_ComputeDDA(2, 3, thirds)) << "no enlargement";

  // A 4 x 2 black-and-white checkerboard halved: every output pixel the mean.
  KM_RESOCONV* h = ResoConv_GetHandle();
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(ResoConv_Init(h, 1, 600, 600, 300));
  ASSERT_TRUE(ResoConv_CreateConvParam(h, 4, 2, 2, 1));
  const BYTE row0[12] = {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255};
  const BYTE row1[12] = {255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0};
  EXPECT_EQ(ResoConv_ConvertData(h, row0, 12, 4, 24), 0);
  ASSERT_EQ(ResoConv_ConvertData(h, row1, 12, 4, 24), 6);
  BYTE line[6];
  ASSERT_EQ(ResoConv_GetLineData(h, line, 6), 6);
  for (BYTE b : line) EXPECT_EQ(b, 128);
  EXPECT_FALSE(ResoConv_CreateConvParam(h, 1000, 10, 50, 10)) << "above 14 : 1";
  ResoConv_FreeHandle(h);
}

TEST_F(KmImage, ReductionToTheTargetResolution) {
  ASSERT_TRUE(OpenWith([](CreateDcDevmode& dm) {
    ASSERT_TRUE(dm.Set(DDM_RESCONVERSION, 1));
    ASSERT_TRUE(dm.Set(DDM_RESCONVTHRESHOLD, 300));
  }));
  SURFOBJ* wide = Image24(1000, 4, 0x336699);
  EXPECT_TRUE(Stretch(wide, RECTL{0, 0, 500, 2}, RECTL{0, 0, 1000, 4}));
  ASSERT_TRUE(NextPage());
  EXPECT_TRUE(Stretch(wide, RECTL{0, 0, 5000, 20}, RECTL{0, 0, 1000, 4}));
  auto pages = Finish();
  EXPECT_TRUE(Has(pages[0], "SourceWidth=ubyte(250)") || Has(pages[0], "SourceWidth=uint16(250)")) << Text(pages[0]);
  EXPECT_TRUE(Has(pages[1], "SourceWidth=uint16(1000)")) << Text(pages[1]);
  // The reduced image is the same colour, 250 x 1 pixels.
  const auto data = DataOf(Listing(), "ReadImage", 0);
  ASSERT_EQ(data.size(), 250u * 3);
  EXPECT_EQ(data[0], 0x99);
  EXPECT_EQ(data[2], 0x33);
}

// ---- Merged images ---------------------------------------------------------------------------------

TEST_F(KmImage, StripsOfOnePictureAreOneMergedImage) {
  ASSERT_TRUE(OpenWith());
  SURFOBJ* picture = Image24(40, 25, 0x808000);
  BRUSHOBJ* black = Solid(0);
  for (LONG y : {0, 10, 20})
    EXPECT_TRUE(Stretch(picture, RECTL{0, y, 40, y + (y == 20 ? 5 : 10)}, RECTL{0, y, 40, y + (y == 20 ? 5 : 10)}));
  EXPECT_TRUE(KpEngineFillPath(Session(), Rect(0, 0, 5, 5), nullptr, black, nullptr, R2_COPYPEN * 0x101, 0));
  ASSERT_TRUE(NextPage());
  // An image that ends the page: the group ends with the page.
  for (LONG y : {0, 10}) EXPECT_TRUE(Stretch(picture, RECTL{0, y, 40, y + 10}, RECTL{0, y, 40, y + 10}));
  Finish();
  const auto keys = Keys(Listing(), {"IC 148", "IC 149", "BeginImage", "Rectangle", "IC 139"});
  EXPECT_EQ(keys, (std::vector<std::string>{"IC 148", "BeginImage", "BeginImage", "BeginImage", "IC 149", "Rectangle",
                                            "IC 139", "IC 148", "BeginImage", "BeginImage", "IC 149", "IC 139"}));
}

class KmMergeAll : public KmImage {
 protected:
  void TwoSizes(LONG all, size_t groups) {
    // A value of the non-devmode part, which the PDEV takes from its own
    // defaults: set on the PDEV's copy.
    ASSERT_TRUE(OpenWith());
    ASSERT_TRUE(ddm_SetNumber(DDM_MERGEALLIMAGES, Pdev()->devmode, Pdev()->printerData, all));
    EXPECT_TRUE(Stretch(Image24(30, 10, 0xFF), RECTL{0, 0, 30, 10}, RECTL{0, 0, 30, 10}));
    EXPECT_TRUE(Stretch(Image24(20, 7, 0xFF), RECTL{0, 10, 20, 17}, RECTL{0, 0, 20, 7}));
    Finish();
    EXPECT_EQ(Listing().commands(148).size(), groups);
  }
};

TEST_F(KmMergeAll, ImagesOfAnotherSizeStartANewGroup) { TwoSizes(0, 2); }
TEST_F(KmMergeAll, WithDdm1862EveryImageOfTheKindJoins) { TwoSizes(1, 1); }

}  // namespace
