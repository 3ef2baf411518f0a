// The colour conversion of the operators on model A's queue: renderer-like
// streams through the parser (brush and pen colours, the pending list and
// its errors, the rotation mark, images and patterns), the colour
// parameters built from the devmode with the ICC box, and the colour judge
// with the page's colour mode and the colour counting.
#include <algorithm>
#include <array>
#include <memory>
#include <cstring>
#include <cstdlib>
#include <functional>

#include "icc_builder.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/spool/colorconv.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/user32_messagebox.h"
#include "pclxl_checker.h"
#include "seams.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

// ---- streams ------------------------------------------------------------------------------

std::string Space(int colourSpace, int kind) {
  return Bytes({0xC0, colourSpace, 0xF8, XL_ATTR_COLORSPACE, 0xC0, kind, 0xF8, XL_ATTR_OBJECTKIND,
                XL_OP_SETCOLORSPACE});
}
std::string Brush(int r, int g, int b) {
  return Bytes({0xC8, 0xC0, 3, r, g, b, 0xF8, XL_ATTR_RGBCOLOR, XL_OP_SETBRUSHSOURCE});
}
std::string Pen(int r, int g, int b) {
  return Bytes({0xC8, 0xC0, 3, r, g, b, 0xF8, XL_ATTR_RGBCOLOR, XL_OP_SETPENSOURCE});
}
std::string Rotation(int angle) {
  return Bytes({0xC3, angle & 0xFF, (angle >> 8) & 0xFF, 0xF8, XL_ATTR_PAGEANGLE, XL_OP_SETPAGEROTATION});
}
// A 2 x 1 direct RGB image, its ReadImage with a ubyte or uint16 CompressMode.
std::string Image(bool uint16Compress = false) {
  std::string s = Bytes({0xC0, 0, 0xF8, XL_ATTR_COLORMAPPING, 0xC0, 2, 0xF8, XL_ATTR_COLORDEPTH, 0xC1, 2, 0, 0xF8,
                         XL_ATTR_SOURCEWIDTH, 0xC1, 1, 0, 0xF8, XL_ATTR_SOURCEHEIGHT, 0xD1, 2, 0, 1, 0, 0xF8,
                         XL_ATTR_DESTINATIONSIZE, XL_OP_BEGINIMAGE});
  s += Bytes({0xC1, 0, 0, 0xF8, XL_ATTR_STARTLINE, 0xC1, 1, 0, 0xF8, XL_ATTR_BLOCKHEIGHT});
  s += uint16Compress ? Bytes({0xC1, 0, 0}) : Bytes({0xC0, 0});
  s += Bytes({0xF8, XL_ATTR_COMPRESSMODE, XL_OP_READIMAGE, 0xFB, 8, 1, 2, 3, 4, 5, 6, 0, 0});
  s += Bytes({XL_OP_ENDIMAGE});
  return s;
}
// A direct RGB raster pattern of w x h pixels, read in one block.
std::string Pattern(int w, int h, const std::vector<int>& rgb) {
  std::string s = Bytes({0xC0, 0, 0xF8, XL_ATTR_COLORMAPPING, 0xC0, 2, 0xF8, XL_ATTR_COLORDEPTH, 0xC1, w, 0, 0xF8,
                         XL_ATTR_SOURCEWIDTH, 0xC1, h, 0, 0xF8, XL_ATTR_SOURCEHEIGHT, 0xD1, w, 0, h, 0, 0xF8,
                         XL_ATTR_DESTINATIONSIZE, 0xC3, 1, 0, 0xF8, XL_ATTR_PATTERNDEFINEID, 0xC0, 0, 0xF8,
                         XL_ATTR_PATTERNPERSISTENCE, XL_OP_BEGINRASTPATTERN});
  s += Bytes({0xC1, 0, 0, 0xF8, XL_ATTR_STARTLINE, 0xC1, h, 0, 0xF8, XL_ATTR_BLOCKHEIGHT, 0xC0, 0, 0xF8,
              XL_ATTR_COMPRESSMODE, XL_OP_READRASTPATTERN, 0xFB, static_cast<int>(rgb.size())});
  for (int v : rgb) s += static_cast<char>(v);
  s += Bytes({XL_OP_ENDRASTPATTERN});
  s += Bytes({0xC3, 1, 0, 0xF8, XL_ATTR_PATTERNSELECTID, XL_OP_SETBRUSHSOURCE});
  return s;
}

// A colour space with an 8-bit RGB palette (entries R, G, B) for indexed
// patterns, of the given object kind.
std::string PaletteSpace(const std::vector<int>& palette, int kind) {
  std::string s = Bytes({0xC0, XLCC_SPACE_RGB, 0xF8, XL_ATTR_COLORSPACE, 0xC0, 2, 0xF8, XL_ATTR_PALETTEDEPTH, 0xC8,
                         0xC0, static_cast<int>(palette.size())});
  for (int v : palette) s += static_cast<char>(v);
  return s + Bytes({0xF8, XL_ATTR_PALETTEDATA, 0xC0, kind, 0xF8, XL_ATTR_OBJECTKIND, XL_OP_SETCOLORSPACE});
}
// A raster pattern as the renderer sends it: w x h pixels read in one
// block, ColorMapping `mapping` (0 direct, 1 indexed) at ColorDepth `depth`
// (0 one bit, 2 eight bits), PadBytesMultiple `pad` (-1: not named), the
// rows as given (their pad included), selected as the brush.
std::string PaddedPattern(int mapping, int depth, int w, int h, int pad, const std::vector<int>& rows) {
  std::string s = Bytes({0xC0, mapping, 0xF8, XL_ATTR_COLORMAPPING, 0xC0, depth, 0xF8, XL_ATTR_COLORDEPTH, 0xC1, w,
                         0, 0xF8, XL_ATTR_SOURCEWIDTH, 0xC1, h, 0, 0xF8, XL_ATTR_SOURCEHEIGHT, 0xD1, w, 0, h, 0, 0xF8,
                         XL_ATTR_DESTINATIONSIZE, 0xC3, 1, 0, 0xF8, XL_ATTR_PATTERNDEFINEID, 0xC0, 0, 0xF8,
                         XL_ATTR_PATTERNPERSISTENCE, XL_OP_BEGINRASTPATTERN});
  s += Bytes({0xC1, 0, 0, 0xF8, XL_ATTR_STARTLINE, 0xC1, h, 0, 0xF8, XL_ATTR_BLOCKHEIGHT, 0xC0, 0, 0xF8,
              XL_ATTR_COMPRESSMODE});
  if (pad >= 0) s += Bytes({0xC0, pad, 0xF8, XL_ATTR_PADBYTESMULTIPLE});
  s += Bytes({XL_OP_READRASTPATTERN, 0xFB, static_cast<int>(rows.size())});
  for (int v : rows) s += static_cast<char>(v);
  s += Bytes({XL_OP_ENDRASTPATTERN});
  s += Bytes({0xC3, 1, 0, 0xF8, XL_ATTR_PATTERNSELECTID, XL_OP_SETBRUSHSOURCE});
  return s;
}

class ColourConv : public SpoolTest {
 protected:
  struct Result {
    std::string out;
    uint32_t ok = 0;
    pclxl_check::Listing listing;
    pclxl_check::Report report;
  };
  // Runs a session; `during` looks at the context before the job ends.
  Result Print(const Settings& settings, const std::string& page,
               const std::function<void(UmpdJobContext*)>& after = nullptr) {
    Printer().Reset();
    OfflineJob job(Session(queue_, settings, page), queue_.printer);
    job.Run();
    if (after) after(job.ctx());
    Result r;
    r.out = Printer().bytes;
    r.ok = job.ctx()->ok.load();
    r.report = pclxl_check::check(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size(),
                                  pclxl_check::Mode::Job, &r.listing);
    return r;
  }
  static std::vector<std::string> Lines(const pclxl_check::Listing& l, const char* name) {
    std::vector<std::string> out;
    for (const auto& i : l.items) {
      if (i.name == name) out.push_back(i.text());
    }
    return out;
  }
};

// DDM 455 (grey treatment) and 454 (black treatment): bit 1 text, bit 2 graphics.
constexpr LONG kGreyBoth = 3;

TEST_F(ColourConv, GreyBrushBecomesGrayLevelWithAGreyColourSpace) {
  Settings s;
  s.numbers = {{DDM_GRAYH, kGreyBoth}};
  const Result r = Print(s, Space(2, 0) + Brush(128, 128, 128) + Bytes({XL_OP_NEWPATH}));
  EXPECT_EQ(r.ok, 1u);
  EXPECT_TRUE(r.report.ok()) << r.report.text();  // no 253 or 254 reached the printer
  EXPECT_EQ(Lines(r.listing, "SetColorSpace"), (std::vector<std::string>{"SetColorSpace ColorSpace=ubyte(1)"}));
  EXPECT_EQ(Lines(r.listing, "SetBrushSource"), (std::vector<std::string>{"SetBrushSource GrayLevel=ubyte(128)"}));
  // A colour brush stays a colour; the pen too is turned grey.
  const Result c = Print(s, Space(2, 0) + Brush(200, 10, 10) + Space(2, 1) + Pen(60, 60, 60));
  EXPECT_EQ(c.ok, 1u);
  EXPECT_EQ(Lines(c.listing, "SetBrushSource"),
            (std::vector<std::string>{"SetBrushSource RGBColor=ubyte_array[200 10 10]"}));
  EXPECT_EQ(Lines(c.listing, "SetPenSource"), (std::vector<std::string>{"SetPenSource GrayLevel=ubyte(60)"}));
}

TEST_F(ColourConv, WhitePointBrushIsTheEngineOnBgrTurnedBack) {
  Settings s;
  s.numbers = {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 2}, {DDM_GAMMA, 3}};  // 9300, gamma 2.2
  CIL_CST_PARAM engine{};
  ASSERT_EQ(0, cil_Create_CST_Param_WpGm(&engine, 9300, 22));
  BYTE bgr[3] = {50, 100, 200};  // R 200, G 100, B 50
  cil_CST_Conv_sBGR(&engine, bgr, bgr, 1);
  const std::string want = "SetBrushSource RGBColor=ubyte_array[" + std::to_string(bgr[2]) + " " +
                           std::to_string(bgr[1]) + " " + std::to_string(bgr[0]) + "]";
  const Result r = Print(s, Space(2, 0) + Brush(200, 100, 50));
  EXPECT_EQ(r.ok, 1u);
  EXPECT_EQ(Lines(r.listing, "SetBrushSource"), (std::vector<std::string>{want}));
  EXPECT_NE(want, "SetBrushSource RGBColor=ubyte_array[200 100 50]");
  // Kind 2 (image) is not a text or graphics colour: left alone.
  const Result i = Print(s, Space(2, 2) + Brush(200, 100, 50));
  EXPECT_EQ(Lines(i.listing, "SetBrushSource"),
            (std::vector<std::string>{"SetBrushSource RGBColor=ubyte_array[200 100 50]"}));
}

TEST_F(ColourConv, StreamsTheConversionCannotTakeEndTheJob) {
  const std::string paint = Bytes({XL_OP_PAINTPATH});
  struct Case {
    const char* what;
    std::string page;
  } cases[] = {
      {"an unexpected operator after SetColorSpace", Space(2, 0) + paint},
      {"SetColorSpace twice", Space(2, 0) + Space(2, 0) + Brush(1, 2, 3)},
      {"an image without SetColorSpace", Image()},
      {"a brush without SetColorSpace", Brush(1, 2, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Print(Settings{}, c.page);
    EXPECT_EQ(r.ok, 0u);
    EXPECT_EQ(r.out.find("EOJ"), std::string::npos);  // no trailer: the job ended where it failed
  }
}

TEST_F(ColourConv, ImagesKeepTheirCompressModeAndLoseTheRotationMark) {
  for (bool uint16Compress : {false, true}) {
    SCOPED_TRACE(uint16Compress);
    const Result r = Print(Settings{}, Rotation(90) + Space(2, 2) + Image(uint16Compress));
    EXPECT_EQ(r.ok, 1u);
    // A uint16 CompressMode is the renderer's fault, which the checker
    // reports; the image still goes out whole, without the private mark.
    for (const auto& f : r.report.findings) {
      EXPECT_TRUE(uint16Compress && f.fault == pclxl_check::Fault::IllegalDataType) << r.report.text();
    }
    ASSERT_EQ(Lines(r.listing, "ReadImage").size(), 1u);
    EXPECT_EQ(Lines(r.listing, "EndImage").size(), 1u);
    EXPECT_EQ(Lines(r.listing, "ReadImage")[0].find("253"), std::string::npos);
  }
}

TEST_F(ColourConv, RotationMarkFollowsSetPageRotationNinety) {
  struct Case {
    const char* what;
    std::string before;
    BYTE mark;
  } cases[] = {
      {"90 marks", Rotation(90), 1},
      {"270 does not", Rotation(270), 0},
      {"138 clears", Rotation(90) + InbandCommand(XL_IC_SETCOORDINATE, std::string(24, '\0'), true), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The image is left pending (no EndImage) to look at its ReadImage.
    std::string image = Image();
    image.pop_back();
    Printer().Reset();
    OfflineJob job(Rotation(0) + c.before + Space(2, 2) + image, queue_.printer);
    ParseGroupedStream(job.ctx());
    XLData* mark = SearchAttributeData(job.ctx()->xlcc.pending, XLCC_ATTR_ROTATION);
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->value[0], c.mark);
    EXPECT_EQ(job.ctx()->xlcc.rotationMark, 0);  // cleared by the ReadImage
    ExitXLCC(job.ctx());
  }
}

TEST_F(ColourConv, GreyPatternShrinksToOneBytePerPixel) {
  Settings s;
  s.numbers = {{DDM_GRAYH, kGreyBoth}};
  const Result r = Print(s, Space(2, 0) + Pattern(2, 1, {90, 90, 90, 200, 200, 200}));
  EXPECT_EQ(r.ok, 1u);
  EXPECT_TRUE(r.report.ok()) << r.report.text();
  EXPECT_EQ(Lines(r.listing, "SetColorSpace"), (std::vector<std::string>{"SetColorSpace ColorSpace=ubyte(1)"}));
  const auto& items = r.listing.items;
  auto read = std::find_if(items.begin(), items.end(), [](const auto& i) { return i.name == "ReadRastPattern"; });
  ASSERT_NE(read, items.end());
  EXPECT_EQ(read->data, (std::vector<uint8_t>{90, 200}));
  // A colour pattern keeps three bytes a pixel.
  const Result c = Print(s, Space(2, 0) + Pattern(2, 1, {90, 10, 10, 200, 200, 200}));
  auto colour = std::find_if(c.listing.items.begin(), c.listing.items.end(),
                             [](const auto& i) { return i.name == "ReadRastPattern"; });
  ASSERT_NE(colour, c.listing.items.end());
  EXPECT_EQ(colour->data.size(), 6u);
}

TEST_F(ColourConv, PatternSizeTestDoesNotOverflow) {
  // SourceWidth 65535 x BlockHeight 65535 x 3 passes 32 bits: the 6 data
  // bytes are not that, so the pattern is left alone.
  Settings s;
  s.numbers = {{DDM_GRAYH, kGreyBoth}};
  std::string p = Pattern(2, 1, {90, 90, 90, 200, 200, 200});
  const Result r = Print(s, Space(2, 0) + p);
  EXPECT_EQ(r.ok, 1u);
}

// The renderer pads every pattern row to 4 bytes: an 8 x 2 one-bit
// pattern is two rows of one index byte and three pad bytes. Under
// automatic colour the page's colour follows the pixels' entries, never
// the pad bytes read as rows, and the few-colour count sees the same
// pixels.
TEST_F(ColourConv, PaddedIndexedPatternsAreJudgedAndCountedOnTheirOwnRows) {
  const std::vector<int> red = {255, 0, 0}, white = {255, 255, 255}, green = {0, 255, 0};
  auto join = [](std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* what;
    std::vector<int> palette;
    std::vector<int> rows;  // two padded rows
    int32_t pageColorMode;  // after the pattern: 0 undecided (grey so far), 2 colour
    WORD colours;           // counted (every colour counts)
  } cases[] = {
      {"{red, white}, every pixel white", join(red, white), {0xFF, 0, 0, 0, 0xFF, 0, 0, 0}, 0, 1},
      {"{white, red}, the second row red", join(white, red), {0x00, 0, 0, 0, 0xFF, 0, 0, 0}, 2, 2},
      {"{red, green}, a row of each", join(red, green), {0x00, 0, 0, 0, 0xFF, 0, 0, 0}, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The page is stored (132, 133) with few-colour counting on, so the
    // page's summary counts the pattern as the page store keeps it.
    std::string store;
    XlContext xl{};
    xl_initcontext(&xl, [](void* sink, DWORD n, const void* b) {
      static_cast<std::string*>(sink)->append(static_cast<const char*>(b), n);
      return static_cast<int32_t>(n);
    }, &store);
    XlIcPageStoringStart start{};
    start.pageColorMode = 0;
    start.captureMask = 0x04;
    start.fewColorEnable = 1;
    start.fewColorValue = FEWCOLOR_MODE_ALL;
    start.page = 1;
    start.fewColorLimit = 15;
    ASSERT_EQ(xl_ic_pageStoring_init(&xl, 1, 4), 0);
    ASSERT_EQ(xl_ic_pageStoring_start(&xl, &start), 0);
    const std::string pattern = PaletteSpace(c.palette, 0) + PaddedPattern(1, 0, 8, 2, 4, c.rows);
    int32_t mode = -1;
    const Result r = Print(Settings{}, pattern + Bytes({XL_OP_NEWPATH}),
                           [&](UmpdJobContext* ctx) { mode = ctx->pageCtrl.pageColorMode; });
    EXPECT_EQ(r.ok, 1u);
    EXPECT_EQ(mode, c.pageColorMode);
    // The indexes and their pad go out as they came.
    auto read = std::find_if(r.listing.items.begin(), r.listing.items.end(),
                             [](const auto& i) { return i.name == "ReadRastPattern"; });
    ASSERT_NE(read, r.listing.items.end());
    EXPECT_EQ(read->data, std::vector<uint8_t>(c.rows.begin(), c.rows.end()));
    // Stored, the page's few-colour summary counts the pixels' entries.
    FEWCOLORINFO summary{};
    const Result stored = Print(Settings{}, store + pattern + Bytes({XL_OP_NEWPATH}),
                                [&](UmpdJobContext* ctx) { pageCtrl_getFewColor(ctx, &summary); });
    EXPECT_EQ(stored.ok, 1u);
    EXPECT_EQ(summary.enabled, 1u);
    EXPECT_EQ(summary.count, c.colours);
  }
}

// A direct pattern's padded rows are converted too: its pixels only, the
// pad bytes kept; a grey one shrinks to one byte a pixel in rows padded
// the same way.
TEST_F(ColourConv, PaddedDirectPatternsAreConvertedAroundTheirPad) {
  // 2 x 2 pixels: rows of 6 bytes and 2 pad bytes (0xEE, which no
  // conversion may touch or read).
  Settings grey;
  grey.numbers = {{DDM_GRAYH, kGreyBoth}};
  const Result g = Print(grey, Space(2, 0) + PaddedPattern(0, 2, 2, 2, 4,
                                                           {90, 90, 90, 200, 200, 200, 0xEE, 0xEE,  //
                                                            10, 10, 10, 30, 30, 30, 0xEE, 0xEE}));
  EXPECT_EQ(g.ok, 1u);
  EXPECT_TRUE(g.report.ok()) << g.report.text();
  EXPECT_EQ(Lines(g.listing, "SetColorSpace"), (std::vector<std::string>{"SetColorSpace ColorSpace=ubyte(1)"}));
  auto read = std::find_if(g.listing.items.begin(), g.listing.items.end(),
                           [](const auto& i) { return i.name == "ReadRastPattern"; });
  ASSERT_NE(read, g.listing.items.end());
  EXPECT_EQ(read->data, (std::vector<uint8_t>{90, 200, 0, 0, 10, 30, 0, 0}));

  // White point 9300, gamma 2.2: every pixel through the engine, the pad
  // as it came.
  Settings wp;
  wp.numbers = {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 2}, {DDM_GAMMA, 3}};
  CIL_CST_PARAM engine{};
  ASSERT_EQ(0, cil_Create_CST_Param_WpGm(&engine, 9300, 22));
  const std::vector<int> in = {200, 100, 50, 10, 150, 250, 0xEE, 0xEE, 30, 60, 90, 120, 20, 240, 0xEE, 0xEE};
  std::vector<uint8_t> want(in.begin(), in.end());
  for (size_t row : {0u, 8u}) {
    for (size_t px = 0; px < 2; ++px) {
      uint8_t* p = want.data() + row + px * 3;
      BYTE bgr[3] = {p[2], p[1], p[0]};
      cil_CST_Conv_sBGR(&engine, bgr, bgr, 1);
      p[0] = bgr[2];
      p[1] = bgr[1];
      p[2] = bgr[0];
    }
  }
  const Result c = Print(wp, Space(2, 0) + PaddedPattern(0, 2, 2, 2, 4, in));
  EXPECT_EQ(c.ok, 1u);
  auto converted = std::find_if(c.listing.items.begin(), c.listing.items.end(),
                                [](const auto& i) { return i.name == "ReadRastPattern"; });
  ASSERT_NE(converted, c.listing.items.end());
  EXPECT_EQ(converted->data, want);
  EXPECT_NE(converted->data, std::vector<uint8_t>(in.begin(), in.end()));
}

// ---- colour parameters -------------------------------------------------------------------

class ColourParams : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    ASSERT_TRUE(pd_GetPrinterData(queue_.printer, printerData_, queue_.ddd));
    devmode_ = ModelADevmode(queue_);
  }
  void Set(WORD id, LONG v) { ASSERT_TRUE(ddm_SetNumber(id, devmode_.data(), printerData_, v)) << id << "=" << v; }
  void SetName(WORD id, const std::u16string& name) {
    std::u16string z = name;
    z.push_back(0);
    ASSERT_EQ(0, ddm_SetValue(id, devmode_.data(), printerData_, DDM_TYPE_STRING,
                              static_cast<DWORD>(z.size() * 2), z.data()));
  }
  void InstallProfile(const char* name) {
    WriteHostFile(root_.host(std::string("c/Windows/system32/spool/drivers/color/") + name),
                  ReadHostFile(std::string(KESTREL_ICC_DIR) + "/sRGB.icc"));
  }
  int Create(ColorConvParam** p) {
    OfflineJob job("", queue_.printer, false);
    return ColorConv_CreateParam(job.ctx(), reinterpret_cast<BYTE*>(devmode_.data()), printerData_, p);
  }
  BYTE printerData_[XL_IC_PRINTERDATA_SIZE] = {};
  std::string devmode_;
};

TEST_F(ColourParams, BuildFlagsFromTheSettings) {
  InstallProfile("sRGB.icc");
  struct Case {
    const char* what;
    std::vector<std::pair<WORD, LONG>> numbers;
    bool names;
    DWORD flags;
  } cases[] = {
      {"nothing asked", {{DDM_COLORMATCHING, 0}}, false, 0},
      {"white point 6500, gamma 2.2", {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 1}, {DDM_GAMMA, 3}}, false,
       COLORCONV_CST_WPGM},
      {"white point order 3: the table's zero", {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 3}, {DDM_GAMMA, 3}}, false,
       COLORCONV_CST_WPGM},
      {"gamma order 5: the table's zero", {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 1}, {DDM_GAMMA, 5}}, false,
       COLORCONV_CST_WPGM},
      {"first profile", {{DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE1_ON, 1}}, true, COLORCONV_CST_PROFILE1},
      {"second as the first",
       {{DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE1_ON, 1}, {DDM_ICCPROFILE2_ON, 1}, {DDM_ICCPROFILE2_SAMEASFIRST, 1}},
       true, COLORCONV_CST_PROFILE1 | COLORCONV_CST_PROFILE2},
      {"second of its own", {{DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE2_ON, 1}, {DDM_ICCPROFILE2_SAMEASFIRST, 0}},
       true, COLORCONV_CST_PROFILE2},
      {"second as the first while the first is off",
       {{DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE1_ON, 0}, {DDM_ICCPROFILE2_ON, 1}, {DDM_ICCPROFILE2_SAMEASFIRST, 1}},
       true, COLORCONV_CST_PROFILE2},
      {"profiles on, names empty", {{DDM_COLORMATCHING, 2}, {DDM_ICCPROFILE1_ON, 1}, {DDM_ICCPROFILE2_ON, 1}}, false,
       0},
      {"common adjustment", {{DDM_PEROBJECTADJUST, 0}, {DDM_ADJUSTEDOBJECTS, 7}, {DDM_COLORADJUST_FIRST, 20}}, false,
       COLORCONV_LCC_COMMON},
      {"common with grey",
       {{DDM_PEROBJECTADJUST, 0}, {DDM_ADJUSTEDOBJECTS, 1}, {DDM_COLORADJUST_FIRST, 20}, {DDM_GRAYLCC_GRAPHICS, 1}},
       false, COLORCONV_LCC_COMMON | COLORCONV_GRAYLCC_COMMON},
      {"common grey, black-and-white output",
       {{DDM_COLORMODE, 1}, {DDM_PEROBJECTADJUST, 0}, {DDM_ADJUSTEDOBJECTS, 1}, {DDM_COLORADJUST_FIRST, 20},
        {DDM_GRAYLCC_GRAPHICS, 1}},
       false, COLORCONV_LCC_COMMON},
      {"per object: text and images",
       {{DDM_PEROBJECTADJUST, 1}, {DDM_ADJUSTEDOBJECTS, 5}, {DDM_COLORADJUST_FIRST + 1, 10},
        {DDM_COLORADJUST_FIRST + 3, 10}, {DDM_GRAYLCC_TEXT, 1}},
       false, COLORCONV_LCC_TEXT | COLORCONV_GRAYLCC_TEXT | COLORCONV_LCC_IMAGE},
      {"per object: graphics, its grey by 1327",
       {{DDM_PEROBJECTADJUST, 1}, {DDM_ADJUSTEDOBJECTS, 2}, {DDM_COLORADJUST_FIRST + 2, 10},
        {DDM_GRAYLCC_TEXT, 0}, {DDM_GRAYLCC_GRAPHICS, 1}},
       false, COLORCONV_LCC_GRAPHICS | COLORCONV_GRAYLCC_GRAPHICS},
      {"per object: all zero builds nothing", {{DDM_PEROBJECTADJUST, 1}, {DDM_ADJUSTEDOBJECTS, 7}}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    devmode_ = ModelADevmode(queue_);
    for (auto [id, v] : c.numbers) Set(id, v);
    if (c.names) {
      SetName(DDM_ICCPROFILE1_NAME, u"sRGB.icc");
      SetName(DDM_ICCPROFILE2_NAME, u"C:\\Windows\\system32\\spool\\drivers\\color\\sRGB.icc");
    }
    ColorConvParam* p = nullptr;
    ASSERT_EQ(0, Create(&p));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->flags, c.flags);
    if (c.flags & COLORCONV_CST_PROFILE1) {
      EXPECT_EQ(p->cstProfile[0].mode, CIL_MODE_MATRIX);
    }
    if (c.flags & COLORCONV_CST_PROFILE2) {
      // The images' profile (slot 3) is a built profile block.
      const auto* images =
          static_cast<const CIL_CST_PARAM*>(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_CST_PROFILE2));
      ASSERT_NE(images, nullptr);
      EXPECT_EQ(images->mode, CIL_MODE_MATRIX);
    }
    EXPECT_EQ(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_CST_WPGM) != nullptr,
              (c.flags & COLORCONV_CST_WPGM) != 0);
    EXPECT_EQ(ColorConv_GetParamAddr(&p->slots, 0), nullptr);
    EXPECT_EQ(ColorConv_GetParamAddr(&p->slots, 12), nullptr);
    EXPECT_EQ(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_NIE_HANDLE), nullptr);  // no library for model A here
    ColorConv_DisposeParam(p);
  }
}

TEST_F(ColourParams, AProfileThatCannotBeUsedAsksTheUser) {
  Set(DDM_COLORMATCHING, 2);
  Set(DDM_ICCPROFILE1_ON, 1);
  SetName(DDM_ICCPROFILE1_NAME, u"missing.icc");
  Set(DDM_WHITEPOINT, 1);
  // The images' profile is the same one: the user is asked once.
  Set(DDM_ICCPROFILE2_ON, 1);
  Set(DDM_ICCPROFILE2_SAMEASFIRST, 1);
  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDOK);
  ColorConvParam* p = nullptr;
  ASSERT_EQ(0, Create(&p));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->flags & (COLORCONV_CST_PROFILE1 | COLORCONV_CST_PROFILE2), 0u);  // on without it
  ColorConv_DisposeParam(p);
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  KpMessageBoxRecord box{};
  ASSERT_TRUE(KpGetMessageBox(0, &box));
  EXPECT_EQ(std::u16string(box.caption), u"Error");
  EXPECT_EQ(box.type, MB_OKCANCEL | MB_ICONINFORMATION);
  EXPECT_NE(std::u16string(box.text).find(u"missing.icc"), std::u16string::npos);
  KpQueueMessageBoxAnswer(IDCANCEL);
  p = reinterpret_cast<ColorConvParam*>(1);
  EXPECT_EQ(-1, Create(&p));
  EXPECT_EQ(p, nullptr);
  // Cancel at the session's start ends the job.
  KpQueueMessageBoxAnswer(IDCANCEL);
  Printer().Reset();
  std::string devmode = devmode_;
  OfflineJob job(InbandCommand(XL_IC_SETDEVMODE, devmode, true) +
                     Bytes({0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0, 0xF8, 0x8F,
                            XL_OP_BEGINSESSION, XL_OP_ENDSESSION}),
                 queue_.printer);
  job.Run();
  EXPECT_EQ(job.ctx()->ok.load(), 0u);
}

// ---- the outside colour library --------------------------------------------------------------

class ColourLibrary : public ColourParams {
 protected:
  void SetUp() override {
    ColourParams::SetUp();
    log_ = root_.host("kcolour.log");
    setenv("KCOLOUR_DOUBLE_LOG", log_.c_str(), 1);
    unsetenv("KCOLOUR_DOUBLE_FAIL");
    Set(DDM_COLORMODE, 1);  // DDM 291 is available then
    Set(DDM_NIE, 2);
  }
  void TearDown() override {
    unsetenv("KCOLOUR_DOUBLE_LOG");
    unsetenv("KCOLOUR_DOUBLE_FAIL");
    ColourParams::TearDown();
  }
  std::string Calls() {
    std::string calls = ReadHostFile(log_);
    WriteHostFile(log_, "");
    return calls;
  }
  std::string log_;
};

TEST_F(ColourLibrary, LoadedWithAllSevenFunctionsAndCalledInOrder) {
  ASSERT_TRUE(KpInstallModule("libkcolourtest.so", u"kcolour.dll"));
  ColorConvParam* p = nullptr;
  ASSERT_EQ(0, Create(&p));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->flags, static_cast<DWORD>(COLORCONV_NIE));
  EXPECT_NE(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_NIE_HANDLE), nullptr);
  for (int slot = COLORCONV_SLOT_NIE_LOAD; slot <= COLORCONV_SLOT_NIE_CONVERT; ++slot) {
    EXPECT_NE(ColorConv_GetParamAddr(&p->slots, slot), nullptr) << slot;
  }
  // The library's own conversion is visible: every byte inverted.
  const BYTE in[3] = {0, 100, 255};
  BYTE out[3] = {};
  auto convert = reinterpret_cast<NIE_ColorConvert32_t>(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_NIE_CONVERT));
  EXPECT_EQ(0, convert(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_NIE_HANDLE), in, out, 1, 1));
  EXPECT_EQ(out[1], 155);
  ColorConv_DisposeParam(p);
  EXPECT_EQ(Calls(), "load C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350.icm\nconvert\ndelete\nfree\n");

  // Through a job: begin at 148, end and delete at 149, delete and free at
  // the end; a link without images puts nothing out and the job goes on. A
  // failing end changes nothing of the order.
  for (const char* failing : {"", "NIE_CreateParam_End32"}) {
    SCOPED_TRACE(failing);
    setenv("KCOLOUR_DOUBLE_FAIL", failing, 1);
    Settings s;
    s.numbers = {{DDM_COLORMODE, 1}, {DDM_NIE, 2}};
    Printer().Reset();
    OfflineJob job(Session(queue_, s,
                           InbandCommand(XL_IC_LINKIMAGESTART, "", false) + InbandCommand(XL_IC_LINKIMAGEEND, "", false)),
                   queue_.printer);
    job.Run();
    EXPECT_EQ(job.ctx()->ok.load(), 1u);
    EXPECT_EQ(job.ctx()->colorParams, nullptr);
    const std::string calls = Calls();
    EXPECT_EQ(calls.substr(calls.find('\n') + 1), "begin 2\nend\ndelete\ndelete\nfree\n") << calls;
  }
}

TEST_F(ColourLibrary, AMissingFunctionOrLibraryMeansNoLinking) {
  for (const char* module : {"libkcolourpart.so", ""}) {
    SCOPED_TRACE(module);
    if (*module != 0) {
      ASSERT_TRUE(KpInstallModule(module, u"kcolour.dll"));
    } else {
      DeleteFileW(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kcolour.dll");
    }
    ColorConvParam* p = nullptr;
    ASSERT_EQ(0, Create(&p));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->flags & COLORCONV_NIE, 0u);
    EXPECT_EQ(ColorConv_GetParamAddr(&p->slots, COLORCONV_SLOT_NIE_HANDLE), nullptr);
    ColorConv_DisposeParam(p);
    EXPECT_EQ(Calls(), "");  // never loaded
  }
  // A load that answers no handle: nothing kept, nothing else called.
  ASSERT_TRUE(KpInstallModule("libkcolourtest.so", u"kcolour.dll"));
  setenv("KCOLOUR_DOUBLE_FAIL", "NIE_LoadNIE32", 1);
  ColorConvParam* p = nullptr;
  ASSERT_EQ(0, Create(&p));
  EXPECT_EQ(p->flags & COLORCONV_NIE, 0u);
  ColorConv_DisposeParam(p);
  const std::string calls = Calls();
  EXPECT_EQ(calls.rfind("load ", 0), 0u);
  EXPECT_EQ(calls.find('\n'), calls.size() - 1);
}

// ---- the judge ------------------------------------------------------------------------------

TEST(ColourJudgePixels, StrictAndTolerantGrey) {
  struct Case {
    BYTE p[3];
    bool strict, tolerant;
  } cases[] = {
      {{128, 128, 128}, true, true},
      {{100, 104, 96}, false, true},   // mean 100, tolerance 5
      {{200, 204, 198}, false, false}, // mean 200.67, tolerance 2
      {{200, 202, 200}, false, true},
      {{0, 6, 0}, false, true},        // mean 2: 0 and 6 lie within 5 of it
      {{0, 20, 0}, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.strict, ColorJudge_IsGrayStrict(c.p)) << int(c.p[0]) << "," << int(c.p[1]) << "," << int(c.p[2]);
    EXPECT_EQ(c.tolerant, ColorJudge_IsGrayTolerant(c.p)) << int(c.p[0]) << "," << int(c.p[1]) << "," << int(c.p[2]);
  }
}

TEST(ColourBalanceGrey, WeightsOfBgrPixels) {
  const BYTE bgr[4 * 3] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  BYTE grey[4] = {};
  ColorToBlanceGray(bgr, grey, 4, 1);
  EXPECT_EQ((std::array<BYTE, 4>{grey[0], grey[1], grey[2], grey[3]}), (std::array<BYTE, 4>{76, 150, 27, 255}));
}

class ColourJudge : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    job_ = std::make_unique<OfflineJob>("", queue_.printer);  // output open
    ASSERT_EQ(0, ColorJudge_InitColorJudgeInfo(&info_));
    ctx()->pageCtrl.pageColorMode = 0;
  }
  void TearDown() override {
    ColorJudge_DisposeColorJudgeInfo(&info_);
    EXPECT_EQ(info_, nullptr);
    job_.reset();
    SpoolTest::TearDown();
  }
  UmpdJobContext* ctx() { return job_->ctx(); }
  int Judge(const BYTE* data, DWORD w, DWORD h, const BYTE* palette = nullptr, DWORD count = 0, int bits = 24) {
    return ColorJudge_JudgeObjectColor(info_, &summary_, ctx(), data, w, h, palette, count,
                                       palette ? COLORJUDGE_KIND_INDEXED : COLORJUDGE_KIND_DIRECT, bits);
  }
  std::unique_ptr<OfflineJob> job_;
  ColorJudgeInfo* info_ = nullptr;
  FEWCOLORINFO summary_{};
};

TEST_F(ColourJudge, TheFirstColourObjectSetsThePageToColour) {
  const BYTE grey[6] = {9, 9, 9, 100, 104, 96};
  ctx()->jobInfo.colorModeAuto = 1;  // tolerant
  EXPECT_EQ(0, Judge(grey, 2, 1));
  EXPECT_EQ(info_->result, COLORJUDGE_GRAY_TOLERANT);
  EXPECT_EQ(ctx()->pageCtrl.pageColorMode, 0);
  ctx()->jobInfo.colorModeAuto = 0;  // strict
  EXPECT_EQ(0, Judge(grey, 2, 1));
  EXPECT_EQ(info_->result, COLORJUDGE_COLOR);
  EXPECT_EQ(ctx()->pageCtrl.pageColorMode, 2);
  // The page is fixed now: nothing is judged, the object may be converted.
  EXPECT_TRUE(jobOutput_isFixedAutoColorMode(ctx()));
  EXPECT_EQ(0, Judge(grey, 1, 1));
  EXPECT_EQ(info_->result, COLORJUDGE_NOT_JUDGED);
  EXPECT_EQ(-1, jobOutput_setColorModeToColor(ctx()));
}

TEST_F(ColourJudge, PalettesDecideOrLeaveTheObjectUnjudged) {
  const BYTE greyPalette[6] = {0, 0, 0, 255, 255, 255};
  const BYTE colourPalette[6] = {0, 0, 0, 255, 0, 0};
  const BYTE indexes[2] = {0x00, 0xFF};  // 8-bit indexes 0 and 255
  // Every entry grey: grey at once, the pixels (255 is beyond) never read.
  EXPECT_EQ(0, Judge(indexes, 2, 1, greyPalette, 2, 8));
  EXPECT_EQ(info_->result, COLORJUDGE_GRAY_STRICT);
  // A colour entry in the palette: the pixels are looked up, and an index
  // beyond the palette leaves the object unjudged and unconverted.
  EXPECT_EQ(-1, Judge(indexes, 2, 1, colourPalette, 2, 8));
  EXPECT_EQ(info_->result, COLORJUDGE_NOT_JUDGED);
  EXPECT_EQ(ctx()->pageCtrl.pageColorMode, 0);
  const BYTE bits1[1] = {0x40};  // 1-bit: pixel 1 uses entry 1 (red)
  EXPECT_EQ(0, Judge(bits1, 2, 1, colourPalette, 2, 1));
  EXPECT_EQ(info_->result, COLORJUDGE_COLOR);
  // Other depths are not judged.
  ctx()->pageCtrl.pageColorMode = 0;
  EXPECT_EQ(-1, Judge(indexes, 1, 1, colourPalette, 2, 2));
}

// A stand-in for the page store's per-colour count, following its rules
// (mode 0: white ignored), so the image walk can be seen.
int g_calls = 0;
int CountStandIn(FEWCOLORINFO* s, uint32_t colour) {
  ++g_calls;
  if (colour == 0x00FFFFFF) return 0;
  for (int i = 0; i < s->count && i < 16; ++i) {
    if (s->colors[i] == colour) return 0;
  }
  if (++s->count > s->limit) {
    s->enabled = 0;
  } else {
    s->colors[s->count - 1] = colour;
  }
  return 0;
}

TEST(FewColourCount, ImageRowsOfEachDepth) {
  umseam_fewColorCounter = CountStandIn;
  auto fresh = [] {
    FEWCOLORINFO s{};
    s.enabled = 1;
    s.limit = 3;
    for (auto& c : s.colors) c = 0x00FFFFFF;
    return s;
  };
  const BYTE palette[4 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  struct Case {
    const char* what;
    std::vector<BYTE> data;
    DWORD width, height;
    int bits;
    BOOL colour;
    uint16_t count;
    uint32_t enabled;
  } cases[] = {
      // red, green, blue, white, red: three colours, still enabled.
      {"24-bit", {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0}, 5, 1, 24, TRUE, 3, 1},
      {"24-bit, a fourth colour", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}, 4, 1, 24, TRUE, 4, 0},
      {"24-bit grey levels", {10, 20, 10, 255}, 4, 1, 24, FALSE, 2, 1},
      {"8-bit", {0, 1, 2, 3, 0}, 5, 1, 8, TRUE, 3, 1},
      {"4-bit, high nibble first", {0x01, 0x23}, 4, 1, 4, TRUE, 3, 1},
      {"1-bit, two rows", {0x80, 0x00}, 2, 2, 1, TRUE, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FEWCOLORINFO s = fresh();
    const BYTE* pal = c.bits == 24 ? nullptr : palette;
    EXPECT_EQ(0, fewColor_countColorsInDIB(&s, c.data.data(), c.width, c.height, c.bits, c.colour, pal, 4));
    EXPECT_EQ(s.count, c.count);
    EXPECT_EQ(s.enabled, c.enabled);
  }
  // 1-bit rows stop once both entries were seen.
  FEWCOLORINFO s = fresh();
  const BYTE rows[4] = {0x80, 0x80, 0x80, 0x80};
  g_calls = 0;
  EXPECT_EQ(0, fewColor_countColorsInDIB(&s, rows, 2, 4, 1, TRUE, palette, 2));
  EXPECT_EQ(g_calls, 2);
  // An index beyond the palette and a depth it does not know fail.
  FEWCOLORINFO t = fresh();
  const BYTE beyond[1] = {9};
  EXPECT_EQ(-1, fewColor_countColorsInDIB(&t, beyond, 1, 1, 8, TRUE, palette, 4));
  EXPECT_EQ(-1, fewColor_countColorsInDIB(&t, beyond, 1, 1, 16, TRUE, palette, 4));
  umseam_fewColorCounter = nullptr;
}

}  // namespace
}  // namespace kestrel::test
