// The shared colour helpers: the preview's colour LCC, the flat grey and
// colour-to-black conversions, and the file deletion.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "kestrel/core/cil_color.h"
#include "temp_root.h"

namespace {

using Px = std::array<int, 3>;  // R, G, B

Px Lcc(const CIL_LCC_PARAM* p, Px rgb) {
  BYTE px[3] = {static_cast<BYTE>(rgb[2]), static_cast<BYTE>(rgb[1]), static_cast<BYTE>(rgb[0])};
  cil_LCC_Conv_sBGR(p, px, px, 1);
  return {px[2], px[1], px[0]};
}

TEST(CilColour, LccTable) {
  struct Case {
    int lightness, chroma, contrast;
    Px in, out;
  } cases[] = {
      // All zero: red and blue pass, green a little darker (its 0.401).
      {0, 0, 0, {255, 255, 255}, {255, 253, 255}},
      {0, 0, 0, {128, 128, 128}, {128, 127, 128}},
      {0, 0, 0, {0, 0, 0}, {0, 0, 0}},
      {50, 0, 0, {100, 100, 100}, {125, 124, 125}},
      // Beyond 100 acts as 100.
      {150, 0, 0, {100, 100, 100}, {150, 149, 150}},
      {-150, 0, 0, {100, 100, 100}, {50, 49, 50}},
      {0, 0, 150, {200, 200, 200}, {183, 182, 183}},
      // Chroma 100 (S = 2) pushes a colour apart; -100 (S = 0.5) pulls it in.
      {0, 100, 0, {200, 100, 100}, {255, 68, 70}},
      {0, -100, 0, {200, 100, 100}, {165, 114, 115}},
  };
  for (const Case& c : cases) {
    CIL_LCC_PARAM p;
    ASSERT_EQ(0, cil_Create_LCC_Param_sBGR(&p, c.lightness, c.chroma, c.contrast));
    EXPECT_EQ(c.out, Lcc(&p, c.in)) << c.lightness << " " << c.chroma << " " << c.contrast;
  }
}

TEST(CilColour, LccParameters) {
  CIL_LCC_PARAM p;
  ASSERT_EQ(0, cil_Create_LCC_Param_sBGR(&p, 0, 0, 100));
  // K = 1.3: the diagonal carries 0.3K + 0.7 = 1.09 and the offsets -76.5.
  EXPECT_EQ(static_cast<int32_t>((0.3 * 1.3 + 0.7) * 65536.0), p.matrix[0]);
  EXPECT_EQ(static_cast<int32_t>(0.59 * 1.3 * 65536.0 + 0.401 * 65536.0), p.matrix[4]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<int32_t>(-76.5 * 65536.0), p.offset[i]);
  CIL_LCC_PARAM q;
  ASSERT_EQ(0, cil_Create_LCC_Param_sBGR(&q, 0, 0, 250));
  EXPECT_EQ(0, std::memcmp(&p, &q, sizeof(p)));
  EXPECT_EQ(-1, cil_Create_LCC_Param_sBGR(nullptr, 0, 0, 0));
  // A null block copies; null pixels do nothing.
  BYTE in[6] = {1, 2, 3, 4, 5, 6}, out[6] = {};
  cil_LCC_Conv_sBGR(nullptr, in, out, 2);
  EXPECT_EQ(0, std::memcmp(in, out, 6));
  cil_LCC_Conv_sBGR(&p, nullptr, out, 2);
  cil_LCC_Conv_sBGR(&p, in, nullptr, 2);
}

TEST(CilColour, FlatGrey) {
  struct Case {
    BYTE p[3];
    BYTE grey;
  } cases[] = {{{10, 10, 10}, 10}, {{255, 255, 255}, 255}, {{0, 255, 0}, 85}, {{255, 0, 255}, 169}};
  for (const Case& c : cases) {
    BYTE g = 0xAA;
    cil_ColorToFlatGray(c.p, &g, 1, 1);
    EXPECT_EQ(c.grey, g) << int(c.p[0]) << "," << int(c.p[1]) << "," << int(c.p[2]);
  }
  // A 2 x 2 image reads 12 bytes and writes 4: the bytes around stay.
  std::vector<BYTE> src = {10, 10, 10, 255, 255, 255, 0, 255, 0, 255, 0, 255, 0xEE};
  std::vector<BYTE> dst(6, 0xEE);
  cil_ColorToFlatGray(src.data(), dst.data() + 1, 2, 2);
  EXPECT_EQ((std::vector<BYTE>{0xEE, 10, 255, 85, 169, 0xEE}), dst);
  cil_ColorToFlatGray(src.data(), dst.data(), 0, 2);
  cil_ColorToFlatGray(src.data(), dst.data(), 2, 0);
  EXPECT_EQ(0xEE, dst[0]);
}

TEST(CilColour, ColourToBlack) {
  std::vector<BYTE> px = {255, 255, 255, 255, 254, 255, 0, 0, 0, 12, 200, 77};
  cil_ColorToBlack(px.data(), px.data(), 4, 1, 3);
  EXPECT_EQ((std::vector<BYTE>{255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0}), px);
  std::vector<BYTE> grey = {255, 254, 0, 128};
  cil_ColorToBlack(grey.data(), grey.data(), 2, 2, 1);
  EXPECT_EQ((std::vector<BYTE>{255, 0, 0, 0}), grey);
}

class CilFileTest : public kestrel::test::RootedTest {};

TEST_F(CilFileTest, DeleteFile) {
  kestrel::test::WriteHostFile(root_.host("c/tmp/gone.prn"), "x");
  EXPECT_TRUE(drvio_file_delete(u"C:\\tmp\\gone.prn"));
  EXPECT_FALSE(drvio_file_delete(u"C:\\tmp\\gone.prn"));
  EXPECT_FALSE(drvio_file_delete(nullptr));
}

}  // namespace
