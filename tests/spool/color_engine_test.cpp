// The colour profile engine: blocks from white point and gamma and from ICC
// profiles (the Debian fixtures in icc/ and profiles built here), the
// refusals, the lookup-table path with its tetrahedral interpolation, and
// the grey LCC. LittleCMS is the independent oracle (linked by the tests
// only).
#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "icc_builder.h"
#include "kestrel/spool/cil.h"
#include "temp_root.h"

namespace {

using kestrel::test::IccBuilder;
using kestrel::test::ReadHostFile;
using kestrel::test::WriteHostFile;

std::string Fixture(const char* name) { return ReadHostFile(std::string(KESTREL_ICC_DIR) + "/" + name); }

struct Block {
  CIL_CST_PARAM p{};
  ~Block() { cil_Dispose_CST_Param(&p); }
};

// One pixel given as R, G, B through the block (which takes B, G, R).
std::array<int, 3> Rgb(const CIL_CST_PARAM* b, int r, int g, int bl) {
  BYTE px[3] = {static_cast<BYTE>(bl), static_cast<BYTE>(g), static_cast<BYTE>(r)};
  cil_CST_Conv_sBGR(b, px, px, 1);
  return {px[2], px[1], px[0]};
}

class ColourEngineTest : public kestrel::test::RootedTest {
 protected:
  // Writes the profile under C:\icc and answers its Windows path.
  std::string Install(const std::string& name, const std::string& bytes) {
    WriteHostFile(root_.host("c/icc/" + name), bytes);
    return "C:\\icc\\" + name;
  }
};

// ---- white point and gamma ---------------------------------------------------------------

TEST_F(ColourEngineTest, WhitePointAndGammaKeepWhiteAndBlack) {
  for (int wp : {5000, 6500, 9300}) {
    for (int gamma : {10, 14, 18, 22, 26}) {
      Block b;
      ASSERT_EQ(0, cil_Create_CST_Param_WpGm(&b.p, wp, gamma)) << wp << " " << gamma;
      EXPECT_EQ(CIL_MODE_MATRIX, b.p.mode);
      EXPECT_EQ(wp == 6500 ? 0u : 1u, b.p.whiteCorrection);
      EXPECT_EQ((std::array<int, 3>{255, 255, 255}), Rgb(&b.p, 255, 255, 255)) << wp << " " << gamma;
      EXPECT_EQ((std::array<int, 3>{0, 0, 0}), Rgb(&b.p, 0, 0, 0)) << wp << " " << gamma;
    }
  }
}

TEST_F(ColourEngineTest, WhiteCorrectionInterpolatesTheTopCell) {
  Block b;
  ASSERT_EQ(0, cil_Create_CST_Param_WpGm(&b.p, 5000, 22));
  // The far corner is white exactly; the base corner is the plain matrix's.
  for (int k = 0; k < 3; ++k) EXPECT_EQ(0xFFFF, b.p.corner[7][k]);
  const int64_t base = (int64_t{0xEFFF} * (b.p.matrix[0] >> 2) + int64_t{0xEFFF} * (b.p.matrix[1] >> 2) +
                        int64_t{0xEFFF} * (b.p.matrix[2] >> 2)) >> 14;
  EXPECT_EQ(base, b.p.corner[0][0]);
  // Without the correction D50's primaries put white off white.
  CIL_CST_PARAM plain = b.p;
  plain.whiteCorrection = 0;
  EXPECT_NE((std::array<int, 3>{255, 255, 255}), Rgb(&plain, 255, 255, 255));
  // Near-white greys stay in order through the cell.
  int last = 0;
  for (int v = 240; v <= 255; ++v) {
    const auto out = Rgb(&b.p, v, v, v);
    EXPECT_GE(out[1], last) << v;
    last = out[1];
  }
}

TEST_F(ColourEngineTest, UnknownWhitePointOrGammaLeavesCopyThrough) {
  for (auto [wp, gamma] : {std::pair{0, 22}, {6000, 22}, {6500, 0}, {6500, 20}, {9300, 30}}) {
    Block b;
    EXPECT_EQ(-1, cil_Create_CST_Param_WpGm(&b.p, wp, gamma));
    EXPECT_EQ(CIL_MODE_COPY, b.p.mode);
    EXPECT_EQ((std::array<int, 3>{12, 200, 77}), Rgb(&b.p, 12, 200, 77));
  }
  EXPECT_EQ(-1, cil_Create_CST_Param_WpGm(nullptr, 6500, 22));
  EXPECT_EQ(-1, cil_Dispose_CST_Param(nullptr));
}

TEST_F(ColourEngineTest, NullBlockCopies) {
  BYTE in[6] = {1, 2, 3, 4, 5, 6}, out[6] = {};
  cil_CST_Conv_sBGR(nullptr, in, out, 2);
  EXPECT_EQ(0, std::memcmp(in, out, 6));
}

// ---- profiles: curves, matrices, fixtures --------------------------------------------------

TEST_F(ColourEngineTest, OneEntryCurveIsAGamma) {
  Block b;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&b.p, Install("adobe.icc", Fixture("compatibleWithAdobeRGB1998.icc")).c_str()));
  EXPECT_EQ(CIL_MODE_MATRIX, b.p.mode);
  for (int i = 0; i < 256; ++i) {
    const double want = std::floor(65535.0 * std::pow(i / 255.0, 0x0233 / 256.0) + 0.5);  // gamma 2.19921875
    for (int c = 0; c < 3; ++c) ASSERT_EQ(want, b.p.curve[c][i]) << i;
  }
}

TEST_F(ColourEngineTest, CurvesOfOtherLengthsAreCopiedOrResampled) {
  // LStar-RGB: 256 entries, copied as they stand.
  const std::string lstar = Fixture("LStar-RGB.icc");
  Block b;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&b.p, Install("lstar.icc", lstar).c_str()));
  const auto* e = reinterpret_cast<const uint8_t*>(lstar.data()) + 292 + 12;  // its rTRC's entries
  for (int i = 0; i < 256; ++i) ASSERT_EQ((e[2 * i] << 8) | e[2 * i + 1], b.p.curve[0][i]) << i;
  // Four entries resampled linearly; no entries is the identity.
  IccBuilder built;
  built.Xyz("rXYZ", 0.4361, 0.2225, 0.0139).Xyz("gXYZ", 0.3851, 0.7169, 0.0971).Xyz("bXYZ", 0.1431, 0.0606, 0.7139);
  built.Xyz("wtpt", 0.9642, 1.0, 0.8249);
  built.Curve("rTRC", {0, 30000, 40000, 65535}).Curve("gTRC", {}).Gamma("bTRC", 0x0100);
  Block c;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&c.p, Install("four.icc", built.Build()).c_str()));
  EXPECT_EQ(0, c.p.curve[0][0]);
  EXPECT_EQ(30000, c.p.curve[0][85]);   // position 1 exactly
  EXPECT_EQ(35059, c.p.curve[0][128]);  // position 1.50588: 30000 + 0.50588 x 10000
  EXPECT_EQ(65535, c.p.curve[0][255]);
  EXPECT_EQ(128 * 257, c.p.curve[1][128]);
  EXPECT_EQ(128 * 257, c.p.curve[2][128]);  // gamma 1.0
}

TEST_F(ColourEngineTest, WideGamutRedStaysSaturated) {
  // ProPhoto-like primaries: the red row of the matrix passes 2, whose
  // 32-bit sum would wrap.
  IccBuilder built;
  const double w[3] = {0.9642, 1.0, 0.8249};
  const double r[3] = {0.7977, 0.2880, 0.0}, g[3] = {0.1352, 0.7119, 0.0}, bl[3] = {0.0313, 0.0001, 0.8249};
  built.Matrix(r, g, bl, w, {0x0100});  // gamma 1
  Block b;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&b.p, Install("wide.icc", built.Build()).c_str()));
  EXPECT_GT(b.p.matrix[0], 2 * 65536);
  EXPECT_EQ((std::array<int, 3>{255, 0, 0}), Rgb(&b.p, 255, 0, 0));
  EXPECT_EQ((std::array<int, 3>{255, 255, 255}), Rgb(&b.p, 255, 255, 255));
}

// ---- refusals ------------------------------------------------------------------------------

std::string Short(std::string s, size_t n) { return s.substr(0, n); }

std::string SetHeader(IccBuilder b, size_t at, const char* four) {
  std::memcpy(&b.header()[at], four, 4);
  return b.Build();
}

std::string SrgbLike(IccBuilder b, bool withBlueCurve = true, bool withWhite = true) {
  const double r[3] = {0.4361, 0.2225, 0.0139}, g[3] = {0.3851, 0.7169, 0.0971}, bl[3] = {0.1431, 0.0606, 0.7139};
  b.Xyz("rXYZ", r[0], r[1], r[2]).Xyz("gXYZ", g[0], g[1], g[2]).Xyz("bXYZ", bl[0], bl[1], bl[2]);
  if (withWhite) b.Xyz("wtpt", 0.9642, 1.0, 0.8249);
  b.Gamma("rTRC", 0x0233).Gamma("gTRC", 0x0233);
  if (withBlueCurve) b.Gamma("bTRC", 0x0233);
  return b.Build();
}

// A tag table entry pointing where the test says.
std::string PatchTag(std::string profile, int index, uint32_t offset, uint32_t size) {
  const size_t e = 132 + 12 * static_cast<size_t>(index);
  for (int i = 0; i < 4; ++i) {
    profile[e + 4 + i] = static_cast<char>(offset >> (24 - 8 * i));
    profile[e + 8 + i] = static_cast<char>(size >> (24 - 8 * i));
  }
  return profile;
}

std::string Lut2(uint8_t grid, uint8_t in = 3, uint8_t out = 3, const char* pcs = "XYZ ", bool cut = false) {
  std::vector<uint16_t> clut(static_cast<size_t>(grid) * grid * grid * out, 0x4000);
  auto lut = IccBuilder::Lut(true, grid, clut, in, out);
  if (cut) lut.erase(lut.end() - 8, lut.end());
  IccBuilder b("scnr", pcs);
  b.Raw("A2B0", lut).Xyz("wtpt", 0.9642, 1.0, 0.8249);
  return b.Build();
}

TEST_F(ColourEngineTest, RefusalsLeaveCopyThrough) {
  const std::string good = SrgbLike(IccBuilder());
  std::string manyTags = good;
  manyTags.replace(128, 4, std::string("\x10\0\0\0", 4));  // 0x10000000 tags
  // A curve whose count runs past its tag: rTRC says 1000 entries and has one.
  std::string longCurve;
  {
    IccBuilder b;
    const double r[3] = {0.4361, 0.2225, 0.0139};
    b.Xyz("rXYZ", r[0], r[1], r[2]).Xyz("gXYZ", r[0], r[1], r[2]).Xyz("bXYZ", r[0], r[1], r[2]);
    b.Xyz("wtpt", 0.9642, 1.0, 0.8249);
    std::vector<uint8_t> curv = IccBuilder::TypeHead("curv");
    IccBuilder::Put32(curv, 1000);
    IccBuilder::Put16(curv, 0x100);
    b.Raw("rTRC", curv).Gamma("gTRC", 0x100).Gamma("bTRC", 0x100);
    longCurve = b.Build();
  }
  struct Case {
    const char* what;
    std::string bytes;  // empty: no file at all
    int code;
  } cases[] = {
      {"missing file", "", CIL_PROF_NOFILE},
      {"short header", Short(good, 100), CIL_PROF_SHORT},
      {"no tag count", Short(good, 130), CIL_PROF_SHORT},
      {"tag beyond the file", Short(good, good.size() - 30), CIL_PROF_SHORT},
      {"tag count beyond the file", manyTags, CIL_PROF_SHORT},
      {"tag offset beyond the file", PatchTag(good, 0, 0xFFFFFF00u, 20), CIL_PROF_SHORT},
      {"no acsp", SetHeader(IccBuilder(), 36, "abcd"), CIL_PROF_NOTICC},
      {"CMYK", SetHeader(IccBuilder(), 16, "CMYK"), CIL_PROF_CLASS},
      {"printer class", SetHeader(IccBuilder(), 12, "prtr"), CIL_PROF_CLASS},
      {"monitor with Lab", SrgbLike(IccBuilder("mntr", "Lab ")), CIL_PROF_CLASS},
      {"other connection space", SrgbLike(IccBuilder("mntr", "Luv ")), CIL_PROF_NOTAGS},
      {"no bTRC", SrgbLike(IccBuilder(), false), CIL_PROF_NOTAGS},
      {"no media white", SrgbLike(IccBuilder(), true, false), CIL_PROF_NOTAGS},
      {"scanner without A2B0 or bTRC", SrgbLike(IccBuilder("scnr"), false), CIL_PROF_NOTAGS},
      {"A2B0 of another type", IccBuilder("scnr").Raw("A2B0", IccBuilder::TypeHead("mAB ")).Xyz("wtpt", 1, 1, 1).Build(),
       CIL_PROF_NOTAGS},
      {"curve count beyond the tag", longCurve, CIL_PROF_BADTAG},
      {"tag shorter than its type", PatchTag(good, 0, 132 + 12 * 7, 4), CIL_PROF_BADTAG},
      {"lut with 4 inputs", Lut2(2, 4, 3), CIL_PROF_BADTAG},
      {"lut with 1 output", Lut2(2, 3, 1), CIL_PROF_BADTAG},
      {"lut grid 1", Lut2(1), CIL_PROF_BADTAG},
      {"lut grid 0", Lut2(0), CIL_PROF_BADTAG},
      {"lut shorter than its tables", Lut2(5, 3, 3, "XYZ ", true), CIL_PROF_BADTAG},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = "C:\\icc\\none.icc";
    if (!c.bytes.empty()) path = Install("case" + std::to_string(n++) + ".icc", c.bytes);
    Block b;
    EXPECT_EQ(c.code, cil_Create_CST_Param_Prof(&b.p, path.c_str()));
    EXPECT_EQ(CIL_MODE_COPY, b.p.mode);
    EXPECT_EQ(nullptr, b.p.table);
    EXPECT_EQ((std::array<int, 3>{12, 200, 77}), Rgb(&b.p, 12, 200, 77));
  }
}

TEST_F(ColourEngineTest, ParametricCurveIsNotACurve) {
  IccBuilder b;
  const double r[3] = {0.4361, 0.2225, 0.0139}, g[3] = {0.3851, 0.7169, 0.0971}, bl[3] = {0.1431, 0.0606, 0.7139};
  b.Xyz("rXYZ", r[0], r[1], r[2]).Xyz("gXYZ", g[0], g[1], g[2]).Xyz("bXYZ", bl[0], bl[1], bl[2]);
  b.Xyz("wtpt", 0.9642, 1.0, 0.8249).Gamma("rTRC", 0x0233).Gamma("gTRC", 0x0233);
  std::vector<uint8_t> para = IccBuilder::TypeHead("para");
  IccBuilder::Put16(para, 0);
  IccBuilder::Put16(para, 0);
  IccBuilder::Put32(para, 0x00023333);  // version-4 style gamma 2.2
  b.Raw("bTRC", para);
  Block blk;
  EXPECT_EQ(CIL_PROF_NOTAGS, cil_Create_CST_Param_Prof(&blk.p, Install("para.icc", b.Build()).c_str()));
  EXPECT_EQ(CIL_MODE_COPY, blk.p.mode);
}

TEST_F(ColourEngineTest, NumbersThatMakeNoTransformAreRefused) {
  const double r[3] = {0.4361, 0.2225, 0.0139}, g[3] = {0.3851, 0.7169, 0.0971}, bl[3] = {0.1431, 0.0606, 0.7139};
  const double zero[3] = {0, 0, 0};
  const double w[3] = {0.9642, 1.0, 0.8249}, blackWhite[3] = {0.9642, 0.0, 0.8249};
  // Rows are scaled to the white, so only entries that nearly cancel stay
  // large: +-30000 in the X row leave a sum of about 0.5.
  const double hugeRed[3] = {30000.0, 0.2225, 0.0139}, hugeGreen[3] = {-30000.0, 0.7169, 0.0971};
  struct Case {
    const char* what;
    const double *r, *g, *b, *w;
  } cases[] = {
      {"white with Y = 0", r, g, bl, blackWhite},
      {"colourant row summing to 0", zero, zero, zero, w},
      {"singular matrix", r, r, r, w},
      {"beyond 16.16", hugeRed, hugeGreen, bl, w},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IccBuilder b;
    b.Matrix(c.r, c.g, c.b, c.w, {0x0100});
    Block blk;
    EXPECT_EQ(CIL_PROF_BADNUMBERS,
              cil_Create_CST_Param_Prof(&blk.p, Install("num" + std::to_string(n++) + ".icc", b.Build()).c_str()));
    EXPECT_EQ(CIL_MODE_COPY, blk.p.mode);
  }
}

// ---- lookup tables -----------------------------------------------------------------------------

// Corner values of one channel at (r, g, b) in {0, 1}: distinct, so that
// tetrahedral and trilinear interpolation differ inside the cell.
constexpr uint16_t kCorner[2][2][2] = {{{4000, 12000}, {6000, 10000}}, {{8000, 16000}, {9000, 20000}}};
constexpr uint16_t kChannelAdd[3] = {0, 1000, 500};

std::string Grid2Profile(const uint16_t (&corner)[2][2][2]) {
  std::vector<uint16_t> clut;
  for (int r = 0; r < 2; ++r)
    for (int g = 0; g < 2; ++g)
      for (int b = 0; b < 2; ++b)
        for (int c = 0; c < 3; ++c) clut.push_back(static_cast<uint16_t>(corner[r][g][b] + kChannelAdd[c]));
  IccBuilder p("scnr", "XYZ ");
  p.Raw("A2B0", IccBuilder::Lut(true, 2, clut)).Xyz("wtpt", 0.9642, 1.0, 0.8249);
  return p.Build();
}

TEST_F(ColourEngineTest, LookupTableIsInterpolatedTetrahedrally) {
  Block lut;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&lut.p, Install("grid2.icc", Grid2Profile(kCorner)).c_str()));
  ASSERT_EQ(CIL_MODE_TABLE, lut.p.mode);
  ASSERT_NE(nullptr, lut.p.table);
  // Node (8, 4, 12) is the point (0.5, 0.25, 0.75): b > r > g, so the
  // tetrahedron runs c000, c001, c101, c111, each weighted 0.25:
  // (4000 + 12000 + 16000 + 20000) / 4 = 13000 (trilinear: 12281.25).
  const uint16_t tetra = 13000;
  const uint16_t flat[2][2][2] = {{{tetra, tetra}, {tetra, tetra}}, {{tetra, tetra}, {tetra, tetra}}};
  Block same;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&same.p, Install("flat.icc", Grid2Profile(flat)).c_str()));
  const uint16_t trilinearValue = 12281;
  const uint16_t flatTri[2][2][2] = {{{trilinearValue, trilinearValue}, {trilinearValue, trilinearValue}},
                                     {{trilinearValue, trilinearValue}, {trilinearValue, trilinearValue}}};
  Block tri;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&tri.p, Install("tri.icc", Grid2Profile(flatTri)).c_str()));
  const size_t node = ((8 * 17 + 4) * 17 + 12) * 3;
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(same.p.table[node + c], lut.p.table[node + c]) << c;
    EXPECT_NE(tri.p.table[node + c], lut.p.table[node + c]) << c;
  }
  // The grid's own corners come through unchanged: node (16, 0, 16) is c101.
  const uint16_t c101[2][2][2] = {{{16000, 16000}, {16000, 16000}}, {{16000, 16000}, {16000, 16000}}};
  Block corner;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&corner.p, Install("c101.icc", Grid2Profile(c101)).c_str()));
  const size_t far = ((16 * 17 + 0) * 17 + 16) * 3;
  for (int c = 0; c < 3; ++c) EXPECT_EQ(corner.p.table[far + c], lut.p.table[far + c]) << c;
}

TEST_F(ColourEngineTest, Mft1LabTableKeepsTheGreyAxis) {
  // Grid 3, Lab: L follows the mean of the inputs, a and b neutral (128).
  std::vector<uint16_t> clut;
  for (int r = 0; r < 3; ++r)
    for (int g = 0; g < 3; ++g)
      for (int b = 0; b < 3; ++b) {
        clut.push_back(static_cast<uint16_t>((r + g + b) * 255 / 6));
        clut.push_back(128);
        clut.push_back(128);
      }
  IccBuilder p("scnr", "Lab ");
  p.Raw("A2B0", IccBuilder::Lut(false, 3, clut)).Xyz("wtpt", 0.9642, 1.0, 0.8249);
  Block b;
  ASSERT_EQ(0, cil_Create_CST_Param_Prof(&b.p, Install("lab.icc", p.Build()).c_str()));
  ASSERT_EQ(CIL_MODE_TABLE, b.p.mode);
  // An mft1's output tables end at 255 x 256 and are read at value / 16,
  // so white comes out a little below white and a hair blue: the table's
  // last node reads L 99.63, a and b -0.47.
  const auto white = Rgb(&b.p, 255, 255, 255);
  const auto black = Rgb(&b.p, 0, 0, 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(white[c], 251) << c;
    EXPECT_LE(black[c], 1) << c;
  }
  int last = -1;
  for (int v = 0; v <= 255; v += 15) {
    const auto out = Rgb(&b.p, v, v, v);
    EXPECT_LE(std::abs(out[0] - out[2]), 2) << v;
    EXPECT_LE(out[0], out[1]) << v;
    EXPECT_LE(out[1], out[2]) << v;
    EXPECT_GE(out[1], last) << v;
    last = out[1];
  }
  // A colour input gives a neutral output too: the table only knows L.
  const auto c = Rgb(&b.p, 255, 0, 0);
  EXPECT_LE(std::abs(c[0] - c[2]), 1);
}

// ---- the oracle --------------------------------------------------------------------------------

struct Lcms {
  cmsHTRANSFORM t = nullptr;
  ~Lcms() {
    if (t) cmsDeleteTransform(t);
  }
};

cmsHPROFILE GammaProfile(double gamma) {
  cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&d65, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

Lcms ToSrgb(cmsHPROFILE from) {
  Lcms l;
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  l.t = cmsCreateTransform(from, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
  cmsCloseProfile(srgb);
  cmsCloseProfile(from);
  return l;
}

std::array<int, 3> Oracle(const Lcms& l, int r, int g, int b) {
  BYTE in[3] = {static_cast<BYTE>(r), static_cast<BYTE>(g), static_cast<BYTE>(b)}, out[3];
  cmsDoTransform(l.t, in, out, 1);
  return {out[0], out[1], out[2]};
}

TEST_F(ColourEngineTest, WhitePoint6500AgreesWithLittleCms) {
  for (auto [code, gamma] : {std::pair{10, 1.0}, {14, 1.4}, {18, 1.8}, {22, 2.2}, {26, 2.6}}) {
    SCOPED_TRACE(code);
    Block b;
    ASSERT_EQ(0, cil_Create_CST_Param_WpGm(&b.p, 6500, code));
    Lcms l = ToSrgb(GammaProfile(gamma));
    ASSERT_NE(nullptr, l.t);
    int worst = 0;
    for (int r = 0; r < 256; r += 17)
      for (int g = 0; g < 256; g += 17)
        for (int bl = 0; bl < 256; bl += 17) {
          const auto ours = Rgb(&b.p, r, g, bl);
          const auto theirs = Oracle(l, r, g, bl);
          for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(ours[c] - theirs[c]));
          ASSERT_LE(worst, 1) << r << "," << g << "," << bl;
        }
  }
}

TEST_F(ColourEngineTest, DebianProfilesAgreeWithLittleCmsOnTheGreyAxis) {
  // Saturated colours differ by design: the engine scales the colourant rows
  // to the media white instead of adapting them.
  for (const char* name : {"sRGB.icc", "compatibleWithAdobeRGB1998.icc", "LStar-RGB.icc"}) {
    SCOPED_TRACE(name);
    const std::string bytes = Fixture(name);
    ASSERT_FALSE(bytes.empty());
    Block b;
    ASSERT_EQ(0, cil_Create_CST_Param_Prof(&b.p, Install(name, bytes).c_str()));
    Lcms l = ToSrgb(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    ASSERT_NE(nullptr, l.t);
    for (int v = 0; v < 256; v += 5) {
      const auto ours = Rgb(&b.p, v, v, v);
      const auto theirs = Oracle(l, v, v, v);
      for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(ours[c] - theirs[c]), 1) << v << " channel " << c;
    }
    EXPECT_EQ((std::array<int, 3>{255, 255, 255}), Rgb(&b.p, 255, 255, 255));
    EXPECT_EQ((std::array<int, 3>{0, 0, 0}), Rgb(&b.p, 0, 0, 0));
  }
}

// ---- grey LCC -------------------------------------------------------------------------------

TEST(ColourEngineGrey, GreyLcc) {
  struct Case {
    int brightness, contrast;
    BYTE in, out;
  } cases[] = {
      {0, 0, 0, 0},       {0, 0, 128, 128},  {0, 0, 255, 255},
      {50, 0, 100, 125},  // offset 25
      {0, 100, 128, 90},  // gain 1.3, offset -76.5 -> -77: 128.5 x 1.3 = 167.05 -> 167 - 77
      {0, 100, 255, 255}, {0, 100, 10, 0},  // clamped
      {150, 0, 100, 150}, {-150, 0, 100, 50},  // beyond 100 acts as 100
  };
  for (const Case& c : cases) {
    CIL_LCC_GRAY_PARAM p;
    ASSERT_EQ(0, cil_Create_LCC_Param_sGray(&p, c.brightness, c.contrast));
    BYTE v = c.in;
    cil_LCC_Conv_sGray(&p, &v, &v, 1);
    EXPECT_EQ(c.out, v) << c.brightness << " " << c.contrast << " " << int(c.in);
  }
  EXPECT_EQ(-1, cil_Create_LCC_Param_sGray(nullptr, 0, 0));
}

TEST(ColourEngineMatrix, Helpers) {
  const double m[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
  EXPECT_DOUBLE_EQ(25.0, det33(m));
  double inv[9], id[9];
  ASSERT_TRUE(inv33(m, inv));
  mulmat33(m, inv, id);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(i % 4 == 0 ? 1.0 : 0.0, id[i], 1e-12) << i;
  const double singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
  EXPECT_FALSE(inv33(singular, inv));
  EXPECT_EQ(0x3412, ReverseEndian16(0x1234));
}

}  // namespace
