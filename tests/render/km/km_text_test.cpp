// Text output of kestrelkm: the character matrix and its floating-value
// routines on values made by hand, and DrvTextOut through the engine
// runner, read from the strict checker's decoded listing (every stream
// passes the checker in renderer-stream mode).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "draw_fixture.h"
#include "font_fixture.h"
#include "jobctrl.h"
#include "textout.h"

namespace {

// A device face of the session at an em of `em` pixels.
[[maybe_unused]] FONTOBJ* DeviceFont(KP_ENGINE_SESSION* session, ULONG face, LONG em) {
  KP_ENGINE_FONT_INFO fi{};
  fi.emPixels = em;
  return KpEngineCreateSessionDeviceFont(session, face, &fi);
}

using namespace kestrel::test::km;

constexpr MIX kCopyPen = R2_COPYPEN | R2_COPYPEN << 8;

[[maybe_unused]] DWORD Bits(float f) {
  DWORD b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}
FLOATOBJ F(double v) { return FLOATOBJ{v}; }

// ---- The character matrix -------------------------------------------------------------

// The engine's transform of an em of s pixels turned by `degrees`
// counter-clockwise, mirrored or sheared, as the engine's fonts make it
// (floats, y down).
FLOATOBJ_XFORM Transform(double s, double degrees, bool mirror = false, double shear = 0) {
  const double a = degrees * 3.14159265358979323846 / 180.0;
  double c = std::cos(a), sn = std::sin(a);
  if (std::fmod(degrees, 90.0) == 0) c = std::round(c), sn = std::round(sn);
  const double m = mirror ? -1 : 1;
  const double r1x = m * c, r1y = m * -sn, r2x = sn, r2y = c;
  auto f = [](double v) { return FLOATOBJ{static_cast<float>(v)}; };
  return FLOATOBJ_XFORM{f(s * r1x), f(s * r1y), f(s * (r2x - shear * r1x)), f(s * (r2y - shear * r1y)), F(0), F(0)};
}

TEST(TextMatrix, AnglesScalesAndShearsOfTheCommonTransforms) {
  struct Case {
    const char* name;
    FLOATOBJ_XFORM xf;
    WORD angle;
    double scaleX, scaleY, shearX;
  };
  const Case cases[] = {
      {"upright", Transform(100, 0), 0, 100, 100, 0},
      {"turned 90", Transform(100, 90), 90, 100, 100, 0},
      {"turned 180", Transform(100, 180), 180, 100, 100, 0},
      {"turned 270", Transform(100, 270), 270, 100, 100, 0},
      {"turned 30", Transform(100, 30), 30, 100, 100, 0},
      {"mirrored", Transform(100, 0, true), 180, 100, -100, 0},
      // The up direction leant by 0.25 along the baseline: 0.25 x r / r,
      // less the degree lost to the angle's whole degrees.
      {"sheared", Transform(100, 0, false, 0.25), 0, 100, 100 * 1.0307764 * std::sin(104 * 3.14159265 / 180),
       -1.0307764 * std::cos(104 * 3.14159265 / 180)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XLTEXT_CHARSTATE cs{};
    xltext_CalcCharMatrix(&c.xf, &cs);
    EXPECT_EQ(cs.charAngle, c.angle);
    EXPECT_NEAR(cs.scaleX.value, c.scaleX, 1e-3);
    EXPECT_NEAR(cs.scaleY.value, c.scaleY, 1e-3);
    EXPECT_NEAR(cs.shearX.value, c.shearX, 1e-3);
    EXPECT_EQ(cs.shearY.value, 0);
  }
}

TEST(TextMatrix, AnglesOnTheAxesAndInEachQuadrant) {
  struct Case {
    double x, y;
    LONG degrees;
  };
  const Case cases[] = {
      {1, 0, 0},     {0, 1, 90},    {-1, 0, 180},  {0, -1, 270},  {0, 0, 0},    {5, 5, 45},
      {-5, 5, 135},  {-5, -5, 225}, {5, -5, 315},  {3, 4, 53},    {-0.2, 1, 101}, {1, -0.01, 359},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    EXPECT_EQ(GetAngle(F(c.x), F(c.y)), c.degrees);
  }
}

TEST(TextMatrix, LengthsAndRoots) {
  // GetOblique: the axes exactly, a unit vector 1, else the root.
  EXPECT_EQ(GetOblique(F(0), F(-7)).value, 7);
  EXPECT_EQ(GetOblique(F(-3), F(0)).value, 3);
  EXPECT_EQ(GetOblique(F(0.6), F(0.8)).value, 1);
  EXPECT_NEAR(GetOblique(F(3), F(4)).value, 5, 1e-6);
  // foSqrt rounds every step through a single and stops when a step no
  // longer decreases; 0 for nothing to take the root of.
  EXPECT_EQ(foSqrt(F(-4)).value, 0);
  EXPECT_EQ(foSqrt(F(0)).value, 0);
  EXPECT_EQ(foSqrt(F(2)).value, static_cast<double>(std::sqrt(2.0f)));
  EXPECT_EQ(foSqrt(F(0.25)).value, 0.5);
  EXPECT_EQ(foSqrt(F(1e6)).value, 1000);
  // The series and the continued fraction against the library.
  for (double x : {0.0, 0.5, 1.0, 2.5, 3.0, 4.0, 6.0}) {
    EXPECT_NEAR(foSin(F(x)).value, std::sin(x), 1e-5) << x;
    EXPECT_NEAR(foCos(F(x)).value, std::cos(x), 1e-5) << x;
  }
  for (double x : {-20.0, -1.5, -1.0, -0.3, 0.0, 0.7, 1.0, 3.0}) EXPECT_NEAR(foArctan(F(x)).value, std::atan(x), 1e-6) << x;
  for (double x : {-1.0, -0.5, 0.0, 0.9, 1.0}) EXPECT_NEAR(foArcsin(F(x)).value, std::asin(x), 1e-6) << x;
  EXPECT_EQ(RadToDeg(DegToRad(359)), 359);
  EXPECT_EQ(foFact(10).value, 3628800);
  EXPECT_EQ(foPow(F(-2), 5).value, -32);
  // iHipot: the smallest whole length at least the true one.
  struct H {
    LONG a, b, want;
  };
  for (const H& h : {H{0, -9, 9}, H{-4, 0, 4}, H{3, 4, 5}, H{1, 1, 2}, H{10, 1, 11}, H{100, 100, 142},
                     H{2147483647, 2147483647, 2147483647}, H{-2147483647 - 1, 1, 2147483647}})
    EXPECT_EQ(iHipot(h.a, h.b), h.want) << h.a << ", " << h.b;
}

// ---- DrvTextOut through the runner --------------------------------------------------------

class KmText : public KmDrawTest {
 protected:
  void SetUp() override {
    KmDrawTest::SetUp();
  }
  // Model A's document with TrueType fonts downloaded (DDM 17 = 2), not
  // substituted by device fonts as at the model's defaults.
  bool OpenModel() {
    return OpenDefaults([](CreateDcDevmode& dm) { ASSERT_TRUE(dm.Set(DDM_TTOPTION, DMTT_DOWNLOAD)); });
  }
  // Model A's document at its default settings, changed by `tweak`.
  bool OpenDefaults(const std::function<void(CreateDcDevmode&)>& tweak = {}) {
    if (!Open(kModelA, tweak)) return false;
    black_ = Solid(0);
    return true;
  }
  // DejaVu Sans renamed `face`, written below the root; with `symbol` its
  // only cmap is the (3, 0) one of SymbolCmap, which makes it a symbol font.
  std::string FontFile(const std::u16string& face, bool symbol, const char* from = "DejaVuSans.ttf") {
    fonttest::Sfnt f = fonttest::ParseSfnt(fonttest::ReadFile(fonttest::FontPath(from)));
    f.tables[fonttest::Tag("name")] = fonttest::NameTable(face);
    if (symbol) f.tables[fonttest::Tag("cmap")] = fonttest::SymbolCmap(4);
    const fonttest::Bytes bytes = fonttest::BuildSfnt(f);
    const std::string path = root_.host("fonts/font" + std::to_string(++fontFiles_) + ".ttf");
    kestrel::test::WriteHostFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }
  int fontFiles_ = 0;
  FONTOBJ* Font(const char* file, LONG em = 100, FLONG flags = 0, LONG escapement = 0, bool mirror = false) {
    KP_ENGINE_FONT_INFO fi{};
    fi.file = file;
    fi.emPixels = em;
    fi.flags = flags;
    fi.escapement = escapement;
    fi.mirror = mirror;
    return Keep(KpEngineCreateTrueTypeFont(&fi));
  }
  STROBJ* String(FONTOBJ* font, const std::u16string& text, POINTL origin = {300, 400}, FLONG accel = 0,
                 ULONG charInc = 0, ULONG batch = 0, BOOL withPositions = TRUE) {
    KP_ENGINE_STRING_INFO si{};
    si.font = font;
    si.text = reinterpret_cast<const WCHAR*>(text.c_str());
    si.count = static_cast<ULONG>(text.size());
    si.origin = origin;
    si.flAccel = accel;
    si.glyphMode = FO_GLYPHBITS;
    si.batch = batch;
    si.withPositions = withPositions;
    si.charInc = charInc;
    return Keep(KpEngineCreateString(&si));
  }
  BOOL Draw(STROBJ* s, FONTOBJ* f, RECTL* extra = nullptr, RECTL* opaque = nullptr, CLIPOBJ* clip = nullptr) {
    return KpEngineTextOut(Session(), s, f, clip, extra, opaque, black_, black_, nullptr, kCopyPen);
  }
  BRUSHOBJ* black_ = nullptr;
};

[[maybe_unused]] bool Has(const Lines& lines, const std::string& needle) { return !Matching(lines, needle).empty(); }

// One run of each kind and setting: the font's name and symbol set, the
// character state, and what is downloaded.
TEST_F(KmText, EachRunKindAndSetting) {
  struct Case {
    const char* name;
    const char* file;
    FLONG flags;
    LONG escapement;
    bool mirror;
    LONG bitmapsSetting;  // DDM 1335
    FLONG accel;
    std::vector<std::string> want;
    std::vector<std::string> without;
  };
  const Case cases[] = {
      {"outlines", "DejaVuSans.ttf", 0, 0, false, 0, 0,
       {"BeginFontHeader FontName=ubyte_array\"DejaVu Sans:OL\"",
        "SetFont FontName=ubyte_array\"DejaVu Sans:OL\" CharSize=real32(100) SymbolSet=uint16(590)",
        "SetCharScale CharScale=real32_xy(1,1)", "SetCharAngle CharAngle=uint16(0)",
        "SetColorSpace ColorSpace=ubyte(2) Attr254=ubyte(1)", "SetFillMode FillMode=ubyte(1)"},
       {"BM"}},
      {"a bold face's outlines", "DejaVuSans-Bold.ttf", 0, 0, false, 0, 0,
       {"SetFont FontName=ubyte_array\"DejaVu Sans Bold:OL:B\" CharSize=real32(100) SymbolSet=uint16(590)"}, {}},
      {"bitmaps by the setting (the name pinned)", "DejaVuSans.ttf", 0, 0, false, 1, 0,
       {"BeginFontHeader FontName=ubyte_array\"DejaVu Sans:42C80000:0000:3F800000:BM\"",
        "SetFont FontName=ubyte_array\"DejaVu Sans:42C80000:0000:3F800000:BM\" CharSize=real32(100) SymbolSet=uint16(309)"},
       {":OL"}},
      {"a vertical face: bitmaps, sub-mode and attributes 1", "DejaVuSans.ttf", FO_VERT_FACE, 0, false, 0, 0,
       {"SetFont FontName=ubyte_array\"@DejaVu Sans:42C80000:0000:3F800000:BM\"",
        "SetCharSubMode CharSubModeArray=ubyte_array[1]", "SetCharAttributes WritingMode=ubyte(1)"},
       {":OL"}},
      {"simulated italic and bold", "DejaVuSans.ttf", FO_SIM_ITALIC | FO_SIM_BOLD, 0, false, 0, 0,
       {"SetCharShear CharShear=real32_xy(0.3162,0)", "SetCharBoldValue CharBoldValue=real32(0.015)"}, {}},
      {"simulations of a bitmap run are in its bitmaps", "DejaVuSans.ttf", FO_SIM_ITALIC | FO_SIM_BOLD, 0, false, 1, 0,
       {"SetCharShear CharShear=real32_xy(0,0)", "SetCharBoldValue CharBoldValue=real32(0)",
        "SetFont FontName=ubyte_array\"DejaVu Sans:42C80000:0000:3F800000:BM:B:I\""},
       {}},
      {"turned 90 degrees", "DejaVuSans.ttf", 0, 900, false, 0, 0,
       {"SetCharAngle CharAngle=uint16(90)", "YSpacingData"}, {"XSpacingData"}},
      {"turned bitmaps carry the angle", "DejaVuSans.ttf", 0, 900, false, 1, 0,
       {"SetFont FontName=ubyte_array\"DejaVu Sans:42C80000:005A:3F800000:BM\"", "SetCharAngle CharAngle=uint16(0)"},
       {}},
      {"mirrored", "DejaVuSans.ttf", 0, 0, true, 0, 0,
       {"SetCharScale CharScale=real32_xy(1,-1)", "SetCharAngle CharAngle=uint16(180)"}, {}},
      {"mirrored bitmaps are not turned over again", "DejaVuSans.ttf", 0, 0, true, 1, 0, {}, {"CharScale=real32_xy(1,-1)"}},
      {"glyph indices", "DejaVuSans.ttf", 0, 0, false, 0, SO_GLYPHINDEX_TEXTOUT,
       {"SetFont FontName=ubyte_array\"DejaVu Sans:OL\""}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(OpenModel());
    ddm_SetNumber(DDM_FONTTYPE, Pdev()->devmode, Pdev()->printerData, c.bitmapsSetting);
    FONTOBJ* f = Font(c.file, 100, c.flags, c.escapement, c.mirror);
    // Glyph indices 36-40 are "ABCDE" in DejaVu Sans.
    const std::u16string text = c.accel & SO_GLYPHINDEX_TEXTOUT ? std::u16string{36, 37, 38} : u"Kestrel";
    ASSERT_TRUE(Draw(String(f, text, {300, 400}, c.accel), f));
    auto pages = Finish();
    ASSERT_EQ(pages.size(), 1u);
    for (const auto& w : c.want) EXPECT_TRUE(Has(pages[0], w)) << w << "\n" << Text(pages[0]);
    for (const auto& w : c.without) EXPECT_FALSE(Has(pages[0], w)) << w << "\n" << Text(pages[0]);
    for (void* o : objects_) KpEngineDeleteObject(o);
    objects_.clear();
  }
}

// A font is downloaded once a page; a glyph once a font.
TEST_F(KmText, FontsAndGlyphsAreDownloadedOnce) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  ASSERT_TRUE(Draw(String(f, u"abc"), f));
  ASSERT_TRUE(Draw(String(f, u"cab", {300, 600}), f));
  ASSERT_TRUE(Draw(String(f, u"abd", {300, 800}), f));
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Matching(pages[0], "BeginFontHeader").size(), 1u);
  EXPECT_EQ(Matching(pages[0], "ReadChar").size(), 4u);
  EXPECT_EQ(Matching(pages[0], "Text TextData").size(), 3u);
  EXPECT_TRUE(Has(pages[0], "Text TextData=uint16_array[2 0 1]")) << Text(pages[0]);
}

// The spacing arrays from the glyph positions.
TEST_F(KmText, Spacing) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  FONTOBJ* up = Font("DejaVuSans.ttf", 100, 0, 900);
  ASSERT_TRUE(Draw(String(f, u"K", {300, 300}), f));
  ASSERT_TRUE(Draw(String(f, u"Kes", {300, 500}), f));
  // Fixed pitch, reversed: the increment, negated.
  ASSERT_TRUE(Draw(String(f, u"abc", {900, 700}, SO_REVERSED, 50), f));
  ASSERT_TRUE(Draw(String(up, u"ab", {300, 1500}), up));
  // A step past sint16 splits the run.
  STROBJ* far = String(f, u"xyz", {100, 900});
  far->pgp[1].ptl.x = far->pgp[0].ptl.x + 40000;
  far->pgp[2].ptl.x = far->pgp[1].ptl.x + 60;
  ASSERT_TRUE(Draw(far, f));
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const Lines texts = Matching(pages[0], "Text TextData");
  ASSERT_EQ(texts.size(), 6u) << Text(pages[0]);
  EXPECT_EQ(texts[0], "Text TextData=uint16_array[0] XSpacingData=sint16_array[0]");
  EXPECT_EQ(texts[1], "Text TextData=uint16_array[0 1 2] XSpacingData=sint16_array[66 62 0]");
  EXPECT_EQ(texts[2], "Text TextData=uint16_array[3 4 5] XSpacingData=sint16_array[-50 -50 0]");
  EXPECT_EQ(texts[3], "Text TextData=uint16_array[3 4] YSpacingData=sint16_array[-61 0]");
  EXPECT_EQ(texts[4], "Text TextData=uint16_array[6] XSpacingData=sint16_array[0]");
  EXPECT_EQ(texts[5], "Text TextData=uint16_array[7 8] XSpacingData=sint16_array[60 0]");
  // The far part has its own cursor (reached through the page origin).
  EXPECT_EQ(Matching(pages[0], "SetCursor").size(), 6u) << Text(pages[0]);
  EXPECT_TRUE(Has(pages[0], "SetPageOrigin PageOrigin=sint16_xy(32767,900)")) << Text(pages[0]);
}

// More glyphs than one Text carries: two operators, the second at its own
// cursor.
TEST_F(KmText, ARunLongerThanOneTextIsSplit) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf", 10);
  const std::u16string text(65535 + 10, u'i');
  STROBJ* s = String(f, text, {10, 300});
  ASSERT_TRUE(Draw(s, f));
  std::string tail = "XSpacingData=sint16_array[";
  for (ULONG i = 65535; i + 1 < s->cGlyphs; ++i) tail += std::to_string(s->pgp[i + 1].ptl.x - s->pgp[i].ptl.x) + " ";
  tail += "0]";
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const Lines texts = Matching(pages[0], "Text TextData");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], "Text TextData=uint16_array[0 0 0 0 0 0 0 0 0 0] " + tail);
  EXPECT_EQ(std::count(texts[0].begin(), texts[0].end(), ' '), 2 * 65535);  // the entries of both arrays
  EXPECT_EQ(Matching(pages[0], "SetCursor").size(), 2u);
}

// The opaque rectangle first, the extra rectangles after the text up to the
// all-zero one, each filled with its brush and no pen.
TEST_F(KmText, OpaqueAndExtraRectangles) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  RECTL opaque{400, 450, 250, 300};  // given inside out: normalised
  RECTL extra[] = {{300, 420, 500, 425}, {300, 380, 500, 383}, {0, 0, 0, 0}, {1, 1, 2, 2}};
  BRUSHOBJ* white = Solid(0xFFFFFF);
  ASSERT_TRUE(KpEngineTextOut(Session(), String(f, u"Ab"), f, nullptr, extra, &opaque, black_, white, nullptr, kCopyPen));
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const Lines& p = pages[0];
  const std::string all = Text(p);
  const size_t box = all.find("Rectangle BoundingBox=sint16_box(250,300,400,450)");
  const size_t text = all.find("Text TextData");
  const size_t under = all.find("Rectangle BoundingBox=sint16_box(300,420,500,425)");
  const size_t strike = all.find("Rectangle BoundingBox=sint16_box(300,380,500,383)");
  ASSERT_NE(box, std::string::npos) << all;
  ASSERT_NE(under, std::string::npos) << all;
  ASSERT_NE(strike, std::string::npos) << all;
  EXPECT_LT(box, text);
  EXPECT_LT(text, under);
  EXPECT_EQ(Matching(p, "Rectangle").size(), 3u) << all;
  EXPECT_EQ(Matching(p, "RGBColor=ubyte_array[255 255 255]").size(), 1u) << all;
  EXPECT_GE(Matching(p, "SetPenSource NullPen").size(), 1u) << all;
}

// A transparent stamp draws its text twice: the font once, the second pass
// through the stamp pattern.
TEST_F(KmText, ATransparentStampDrawsTheTextInTwoPasses) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  ASSERT_TRUE(Draw(String(f, u"Page"), f));  // the page is open
  Pdev()->jobInfo.stampOnAll = 1;
  Pdev()->jobInfo.stampValue2 = 1;
  Pdev()->stamp.drawMode = TRUE;
  ASSERT_TRUE(jobCtrl_isStampTransparency(Pdev()));
  ASSERT_TRUE(Draw(String(f, u"Stamp", {300, 600}), f, nullptr, nullptr, ClipRect(0, 0, 10, 10)));
  Pdev()->stamp.drawMode = FALSE;
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const Lines& p = pages[0];
  EXPECT_EQ(Matching(p, "BeginFontHeader").size(), 1u);
  EXPECT_EQ(Matching(p, "Text TextData").size(), 3u);
  const std::string all = Text(p);
  EXPECT_LT(all.find("SetROP ROP3=ubyte(160)"), all.find("SetROP ROP3=ubyte(250)")) << all;
  EXPECT_FALSE(Has(p, "SetClipRectangle")) << all;  // the stamp is clipped to the page
  // Both passes print the same codes at the same place.
  const Lines texts = Matching(p, "Text TextData");
  EXPECT_EQ(texts[1], texts[2]);
}

// Under a transparent stamp the opaque box and the underline and strike-out
// rectangles take the second (colour) pass as the glyphs do: each is drawn
// again after the colour pass's raster operation (250), so a red underlined
// stamp prints its underline red, not as a black screen.
TEST_F(KmText, ATransparentStampDrawsItsRectanglesInTwoPasses) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  ASSERT_TRUE(Draw(String(f, u"Page"), f));  // the page is open
  Pdev()->jobInfo.stampOnAll = 1;
  Pdev()->jobInfo.stampValue2 = 1;
  Pdev()->stamp.drawMode = TRUE;
  ASSERT_TRUE(jobCtrl_isStampTransparency(Pdev()));
  RECTL opaque{250, 300, 400, 450};
  RECTL extra[] = {{300, 420, 500, 425}, {300, 380, 500, 383}, {0, 0, 0, 0}};
  BRUSHOBJ* red = Solid(0x0000FF);
  BRUSHOBJ* yellow = Solid(0x00FFFF);
  ASSERT_TRUE(
      KpEngineTextOut(Session(), String(f, u"Stamp", {300, 600}), f, nullptr, extra, &opaque, red, yellow, nullptr, kCopyPen));
  Pdev()->stamp.drawMode = FALSE;
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const std::string all = Text(pages[0]);
  for (const char* box : {"Rectangle BoundingBox=sint16_box(250,300,400,450)",
                          "Rectangle BoundingBox=sint16_box(300,420,500,425)",
                          "Rectangle BoundingBox=sint16_box(300,380,500,383)"}) {
    SCOPED_TRACE(box);
    EXPECT_EQ(Matching(pages[0], box).size(), 2u) << all;
    const size_t first = all.find(box);
    const size_t colour = all.find("SetROP ROP3=ubyte(250)", first);
    ASSERT_NE(colour, std::string::npos) << all;
    EXPECT_NE(all.find(box, colour), std::string::npos) << all;
  }
}

// ---- Device fonts and substitution -------------------------------------------------------

// The face index of a device font by its face name; 0 when none.
ULONG DeviceFace(KP_ENGINE_SESSION* session, const std::u16string& name, std::vector<FONTOBJ*>* made) {
  const ULONG count = KpEngineSessionDevInfo(session)->cFonts;
  for (ULONG face = 1; face <= count; ++face) {
    FONTOBJ* f = DeviceFont(session, face, 100);
    if (!f) continue;
    made->push_back(f);
    const IFIMETRICS* ifi = FONTOBJ_pifi(f);
    const auto* face16 = reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
    if (name == face16) return face;
  }
  return 0;
}

TEST_F(KmText, ADeviceFontRunSendsTheTextWithThePrinterFont) {
  ASSERT_TRUE(OpenModel());
  std::vector<FONTOBJ*> made;
  const ULONG face = DeviceFace(Session(), u"Helvetica", &made);
  for (FONTOBJ* f : made) Keep(f);
  ASSERT_NE(face, 0u);
  FONTOBJ* f = Keep(DeviceFont(Session(), face, 100));
  ASSERT_TRUE(Draw(String(f, u"Kestrel"), f));
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  const std::string all = Text(pages[0]);
  EXPECT_FALSE(Has(pages[0], "BeginFontHeader")) << all;
  EXPECT_TRUE(Has(pages[0], "Text TextData=uint16_array[75 101 115 116 114 101 108]")) << all;
  const Lines setFont = Matching(pages[0], "SetFont");
  ASSERT_EQ(setFont.size(), 1u) << all;
  EXPECT_EQ(setFont[0].rfind("SetFont FontName=ubyte_array\"Helvetica       \" CharSize=real32(100) SymbolSet=uint16(590)", 0),
            0u)
      << all;
}

TEST_F(KmText, SubstitutionSettings) {
  struct Case {
    const char* name;
    LONG method;  // DDM 292
    const char16_t* text;
    bool device;
  };
  const Case cases[] = {
      {"scoring finds a device font", 0, u"Kestrel", true},
      {"a character the device font lacks: downloaded", 0, u"Kestrel \u03B1\u03B2", false},
      {"the table alone, without an entry: downloaded", 2, u"Kestrel", false},
      {"another method: downloaded, never dropped", 5, u"Kestrel", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(OpenModel());
    ddm_SetNumber(DDM_TTOPTION, Pdev()->devmode, Pdev()->printerData, XLTEXT_TTOPTION_SUBSTITUTE);
    ddm_SetNumber(DDM_TRUETYPE, Pdev()->devmode, Pdev()->printerData, c.method);
    FONTOBJ* f = Font("DejaVuSans.ttf");
    ASSERT_TRUE(Draw(String(f, c.text), f));
    auto pages = Finish();
    ASSERT_EQ(pages.size(), 1u);
    const std::string all = Text(pages[0]);
    EXPECT_EQ(Has(pages[0], "BeginFontHeader"), !c.device) << all;
    EXPECT_EQ(Has(pages[0], ":OL"), !c.device) << all;
    for (void* o : objects_) KpEngineDeleteObject(o);
    objects_.clear();
  }
}

// The TrueType glyph indices the stream's glyph records carry, in order.
std::vector<int> DownloadedGlyphs(const pclxl_check::Listing& listing) {
  std::vector<int> out;
  for (const auto& item : listing.items) {
    if (item.name != "ReadChar" || item.data.size() < 2 || item.data[0] != 1) continue;  // format 1: TrueType
    const size_t at = item.data[1] == 0 ? 4 : item.data[1] == 1 ? 8 : 10;  // by the record's class
    if (item.data.size() >= at + 2) out.push_back(item.data[at] << 8 | item.data[at + 1]);
  }
  return out;
}

// Model A at its default settings: its TrueType option (DDM 17) is 3, from
// its TrueType handling (DDM 292) 0, so TrueType faces are substituted. A
// face the substitution table names takes the table's device font (scoring
// would take Helvetica for these metrics), a bold face the table names its
// bold record, another face the best by scoring (a bold one the bold
// record by its weight); text a device font lacks is downloaded. Symbol fonts (DejaVu Sans
// with the (3, 0) cmap of SymbolCmap alone: "!" is glyph 11, "0" glyph 45)
// are not replaced by the text device fonts unless the table names them.
TEST_F(KmText, RunsAtModelADefaults) {
  struct Case {
    const char* name;
    const char16_t* face;  // DejaVu Sans renamed; null: the file as it is
    bool symbol;
    const char16_t* text;
    std::function<void(CreateDcDevmode&)> stored;
    std::string setFont;      // the SetFont line, from its start
    std::vector<int> glyphs;  // the TrueType glyphs downloaded
    const char* from = "DejaVuSans.ttf";  // the file (renamed `face` when that is given)
  };
  const Case cases[] = {
      {"a face the table names: the table's device font", u"Times New Roman", false, u"Kestrel", {},
       "SetFont FontName=ubyte_array\"Times        Rmn\"", {}},
      {"a bold face the table names: its bold record", u"Courier New Bold", false, u"Kestrel", {},
       "SetFont FontName=ubyte_array\"Courier       Bd\"", {}, "DejaVuSans-Bold.ttf"},
      {"a bold face whose regular face the table names: its bold record", u"Arial Bold", false, u"Kestrel", {},
       "SetFont FontName=ubyte_array\"Helvetica     Bd\"", {}, "DejaVuSans-Bold.ttf"},
      {"a face the table leaves out: scoring", nullptr, false, u"Kestrel", {},
       "SetFont FontName=ubyte_array\"Helvetica       \"", {}},
      {"a bold face the table leaves out: scoring by weight", nullptr, false, u"Kestrel", {},
       "SetFont FontName=ubyte_array\"Helvetica     Bd\"", {}, "DejaVuSans-Bold.ttf"},
      {"text the device font lacks: downloaded", nullptr, false, u"Kes \u03B1", {},
       "SetFont FontName=ubyte_array\"DejaVu Sans:OL\" CharSize=real32(100) SymbolSet=uint16(590)", {46, 72, 86, 3, 838}},
      {"a symbol font: outlines, glyphs through its (3, 0) cmap", u"Kestrel Symbol", true, u"!0!", {},
       "SetFont FontName=ubyte_array\"Kestrel Symbol:OL\" CharSize=real32(100) SymbolSet=uint16(590)", {11, 45}},
      {"a symbol font with code 256: bitmaps", u"Kestrel Symbol", true, u"!\u0100", {},
       "SetFont FontName=ubyte_array\"Kestrel Symbol:42C80000:0000:3F800000:BM\" CharSize=real32(100) "
       "SymbolSet=uint16(309)",
       {}},
      {"a symbol font the table names: the table's device font", u"Arial", true, u"!0", {},
       "SetFont FontName=ubyte_array\"Helvetica       \"", {}},
      {"a devmode stored with TrueType option 0: as DDM 292 = 0 says", nullptr, false, u"Kestrel",
       [](CreateDcDevmode& dm) { ASSERT_TRUE(dm.Set(DDM_TTOPTION, 0)); },
       "SetFont FontName=ubyte_array\"Helvetica       \"", {}},
      {"the same with DDM 292 = 1: no device fonts", nullptr, false, u"Kestrel",
       [](CreateDcDevmode& dm) {
         ASSERT_TRUE(dm.Set(DDM_TTOPTION, 0));
         ASSERT_TRUE(dm.Set(DDM_TRUETYPE, 1));
       },
       "SetFont FontName=ubyte_array\"DejaVu Sans:OL\"", {46, 72, 86, 87, 85, 79}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(OpenDefaults(c.stored));
    LONG ttOption = 0;
    ASSERT_TRUE(ddm_GetNumber(DDM_TTOPTION, Pdev()->devmode, Pdev()->printerData, &ttOption));
    if (!c.stored) {
      EXPECT_EQ(ttOption, DMTT_SUBDEV);
    }
    const std::string file = c.face ? FontFile(c.face, c.symbol, c.from) : std::string(c.from);
    FONTOBJ* f = Font(file.c_str());
    ASSERT_TRUE(Draw(String(f, c.text), f));
    auto pages = Finish();
    ASSERT_EQ(pages.size(), 1u);
    const Lines setFont = Matching(pages[0], "SetFont ");
    ASSERT_EQ(setFont.size(), 1u) << Text(pages[0]);
    EXPECT_EQ(setFont[0].rfind(c.setFont, 0), 0u) << setFont[0];
    EXPECT_EQ(DownloadedGlyphs(Listing()), c.glyphs) << Text(pages[0]);
    for (void* o : objects_) KpEngineDeleteObject(o);
    objects_.clear();
  }
}

// The text a substituted device font (symbol set 590, Unicode) is sent:
// the characters' own codes, the code page 1252 byte only finding the width;
// a C1 control, or a character the device font has no width for (127, 129),
// downloads the run.
TEST_F(KmText, SubstitutedDeviceTextKeepsItsUnicodeCodes) {
  struct Case {
    const char* name;
    const char16_t* text;
    std::string textData;  // "": the run is downloaded
  };
  const Case cases[] = {
      {"curly quote, dash, euro (bytes 128-159)", u"it\u2019s \u2013 \u20AC5",
       "TextData=uint16_array[105 116 8217 115 32 8211 32 8364 53]"},
      {"Latin-1 letters and signs (160-255)", u"caf\u00E9 \u00BD\u00A0\u00FF", "TextData=uint16_array[99 97 102 233 32 189 160 255]"},
      {"a C1 control", u"a\u0092b", ""},
      {"the delete character", u"a\u007Fb", ""},
      {"a byte code page 1252 leaves empty", u"a\u0081b", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(OpenDefaults());
    FONTOBJ* f = Font("DejaVuSans.ttf");
    ASSERT_TRUE(Draw(String(f, c.text), f));
    auto pages = Finish();
    ASSERT_EQ(pages.size(), 1u);
    const std::string all = Text(pages[0]);
    const Lines setFont = Matching(pages[0], "SetFont ");
    ASSERT_EQ(setFont.size(), 1u) << all;
    if (c.textData.empty()) {
      EXPECT_EQ(setFont[0].rfind("SetFont FontName=ubyte_array\"DejaVu Sans:OL\"", 0), 0u) << all;
    } else {
      EXPECT_EQ(setFont[0].rfind("SetFont FontName=ubyte_array\"Helvetica       \"", 0), 0u) << all;
      EXPECT_TRUE(Has(pages[0], "Text " + c.textData)) << all;
    }
    for (void* o : objects_) KpEngineDeleteObject(o);
    objects_.clear();
  }
}

// ---- Errors -------------------------------------------------------------------------------

TEST_F(KmText, MissingArgumentsAndAFailedOutput) {
  ASSERT_TRUE(OpenModel());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  STROBJ* s = String(f, u"abc");
  struct Case {
    STROBJ* s;
    FONTOBJ* f;
    BRUSHOBJ* b;
  };
  for (const Case& c : {Case{nullptr, f, black_}, Case{s, nullptr, black_}, Case{s, f, nullptr}}) {
    SetLastError(0);
    EXPECT_FALSE(KpEngineTextOut(Session(), c.s, c.f, nullptr, nullptr, nullptr, c.b, nullptr, nullptr, kCopyPen));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // A string without its text codes.
  STROBJ* bare = String(f, u"xy");
  bare->pwszOrg = nullptr;
  EXPECT_FALSE(Draw(bare, f));
  // A face index outside the device fonts.
  f->flFontType = FO_TYPE_DEVICE;
  f->iFace = 99;
  EXPECT_FALSE(Draw(s, f));
  f->flFontType = FO_TYPE_TRUETYPE;
  f->iFace = 1;
  // The printer's output fails: FALSE, and so is everything after it.
  KpEngineSetWriteFault(PrinterHandle(), 1, 1000, 0, ERROR_WRITE_FAULT);
  SetLastError(0);
  EXPECT_FALSE(Draw(s, f));
  EXPECT_FALSE(Draw(String(f, u"def"), f));
  KpEngineSetWriteFault(PrinterHandle(), 0, 0, 0, 0);
  KpEngineEndDoc(Session(), ED_ABORTDOC);
}

// Every allocation of a run may fail: the call answers FALSE, nothing is
// left at DrvDisablePDEV, and the cache still agrees with the printer (the
// same text drawn again afterwards makes a page the checker accepts).
TEST_F(KmText, EveryAllocationOfARunMayFail) {
  const size_t blocks = KpEngineBlockCount(0);
  // The page is opened by a first call in another font; then the run.
  FONTOBJ* serif = nullptr;
  auto openPage = [&]() {
    if (!OpenModel()) return false;
    serif = Font("DejaVuSerif.ttf");
    return Draw(String(serif, u"open"), serif) != FALSE;
  };
  ASSERT_TRUE(openPage());
  FONTOBJ* f = Font("DejaVuSans.ttf");
  STROBJ* s = String(f, u"Kestrel");
  const size_t before = KpEngineAllocationCount();
  ASSERT_TRUE(Draw(s, f));
  const size_t total = KpEngineAllocationCount() - before;
  Finish();
  ASSERT_GE(total, 3u);
  for (size_t n = 1; n <= total; ++n) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(openPage());
    f = Font("DejaVuSans.ttf");
    s = String(f, u"Kestrel");
    STROBJ* again = String(f, u"Kestrel", {300, 700});
    KpEngineFailAllocation(static_cast<DWORD>(n));
    const BOOL first = Draw(s, f);
    KpEngineFailAllocation(0);
    EXPECT_FALSE(first);
    EXPECT_TRUE(Draw(again, f));
    auto pages = Finish();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Matching(pages[0], "BeginFontHeader FontName=ubyte_array\"DejaVu Sans:OL\"").size(), 1u)
        << Text(pages[0]);
    for (void* o : objects_) KpEngineDeleteObject(o);
    objects_.clear();
    EXPECT_EQ(KpEngineBlockCount(0), blocks);
  }
}

}  // namespace
