// FLOATOBJ arithmetic against exact integer results, and the drawing objects
// the engine carries today (paths, transforms, colour translations).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// length x dpi / 18432, truncated, as the renderer computes it on FLOATOBJ.
LONG toPixels(LONG length, LONG dpi) {
  FLOATOBJ f;
  FLOATOBJ_SetLong(&f, length);
  FLOATOBJ_MulLong(&f, dpi);
  FLOATOBJ_DivLong(&f, 18432);
  return FLOATOBJ_GetLong(&f);
}

// micrometres x 18432 / 25400, truncated.
LONG micronsToUnits(LONG um) {
  FLOATOBJ f;
  FLOATOBJ_SetLong(&f, um);
  FLOATOBJ_MulLong(&f, 18432);
  FLOATOBJ_DivLong(&f, 25400);
  return FLOATOBJ_GetLong(&f);
}

TEST(FloatObj, PaperLengthsConvertExactlyAsIntegerArithmetic) {
  // A4 and A3 sides in micrometres, then in 1/18432 inch, then in pixels.
  struct Case {
    LONG um;
    LONG units;
    LONG px600, px1200;
  } cases[] = {
      {210000, 152390, 4960, 9921},   // A4 width
      {297000, 215523, 7015, 14031},  // A4 length
      {420000, 304781, 9921, 19842},  // A3 length
  };
  for (const auto& c : cases) {
    LONG units = micronsToUnits(c.um);
    EXPECT_EQ(units, static_cast<LONG>(int64_t{c.um} * 18432 / 25400)) << c.um;
    EXPECT_EQ(units, c.units) << c.um;
    EXPECT_EQ(toPixels(units, 600), c.px600) << c.um;
    EXPECT_EQ(toPixels(units, 1200), c.px1200) << c.um;
  }
}

TEST(FloatObj, ConversionsTruncateExactlyOverEveryPaperLength) {
  // Every length up to beyond A3 in each direction of conversion. A single
  // float gets thousands of these wrong (micrometres x 18432 passes 2^24
  // long before A3).
  auto scaled = [](LONG value, LONG mul, LONG div) {
    FLOATOBJ f;
    FLOATOBJ_SetLong(&f, value);
    FLOATOBJ_MulLong(&f, mul);
    FLOATOBJ_DivLong(&f, div);
    return FLOATOBJ_GetLong(&f);
  };
  for (LONG um = 0; um <= 500000; ++um) {
    ASSERT_EQ(scaled(um, 18432, 25400), static_cast<LONG>(int64_t{um} * 18432 / 25400)) << um;
  }
  for (LONG units = 0; units <= 400000; ++units) {
    ASSERT_EQ(scaled(units, 25400, 18432), static_cast<LONG>(int64_t{units} * 25400 / 18432)) << units;
    for (LONG dpi : {600, 1200}) {
      ASSERT_EQ(scaled(units, dpi, 18432), static_cast<LONG>(int64_t{units} * dpi / 18432)) << units << "@" << dpi;
    }
  }
  FLOATOBJ f;
  FLOATOBJ_SetLong(&f, 16777217);  // not a float
  EXPECT_EQ(FLOATOBJ_GetLong(&f), 16777217);
}

TEST(FloatObj, ConversionEdges) {
  struct Case {
    double value;
    LONG expected;
  } cases[] = {
      {2.9, 2}, {-2.9, -2}, {1e12, 2147483647}, {-1e12, -2147483647 - 1}, {std::nan(""), 0},
      {std::numeric_limits<double>::infinity(), 2147483647},
  };
  for (const auto& c : cases) {
    FLOATOBJ f{c.value};
    EXPECT_EQ(FLOATOBJ_GetLong(&f), c.expected) << c.value;
  }
  FLOATOBJ a, b;
  FLOATOBJ_SetFloat(&a, 1.5f);
  FLOATOBJ_SetLong(&b, 3);
  FLOATOBJ_Mul(&a, &b);  // 4.5
  EXPECT_EQ(FLOATOBJ_GetFloat(&a), 4.5f);
  FLOATOBJ_Neg(&a);
  EXPECT_TRUE(FLOATOBJ_LessThanLong(&a, -4));
  EXPECT_TRUE(FLOATOBJ_GreaterThan(&b, &a));
  FLOATOBJ_DivLong(&b, 0);  // no trap; saturates when read
  EXPECT_EQ(FLOATOBJ_GetLong(&b), 2147483647);
}

// ---- Paths ------------------------------------------------------------------------

TEST(EnginePath, EnumeratesRecordsAndBounds) {
  POINTFIX first[] = {{16, 32}, {160, 32}, {160, 320}};
  POINTFIX curve[] = {{200, 300}, {240, -16}, {260, 40}};
  PATHDATA records[] = {{PD_BEGINSUBPATH, 3, first}, {PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE, 3, curve}};
  PATHOBJ* path = KpEngineCreatePath(2, records);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->fl, PO_BEZIERS);
  EXPECT_EQ(path->cCurves, 4u);  // two lines, one curve, the closing line

  for (int pass = 0; pass < 2; ++pass) {  // a restart enumerates again
    PATHOBJ_vEnumStart(path);
    PATHDATA pd;
    EXPECT_TRUE(PATHOBJ_bEnum(path, &pd));
    EXPECT_EQ(pd.flags, PD_BEGINSUBPATH);
    ASSERT_EQ(pd.count, 3u);
    EXPECT_EQ(pd.pptfx[2].y, 320);
    EXPECT_FALSE(PATHOBJ_bEnum(path, &pd));  // the last record
    EXPECT_EQ(pd.count, 3u);
    EXPECT_EQ(pd.pptfx[1].y, -16);
    EXPECT_FALSE(PATHOBJ_bEnum(path, &pd));  // nothing more
    EXPECT_EQ(pd.count, 0u);
  }
  RECTFX bounds;
  PATHOBJ_vGetBounds(path, &bounds);
  EXPECT_EQ(bounds.xLeft, 16);
  EXPECT_EQ(bounds.yTop, -16);
  EXPECT_EQ(bounds.xRight, 260);
  EXPECT_EQ(bounds.yBottom, 320);
  EXPECT_TRUE(KpEngineDeleteObject(path));
  EXPECT_FALSE(KpEngineDeleteObject(path));

  PATHOBJ* empty = KpEngineCreatePath(0, nullptr);
  PATHDATA pd;
  EXPECT_FALSE(PATHOBJ_bEnum(empty, &pd));
  PATHOBJ_vGetBounds(empty, &bounds);
  EXPECT_EQ(bounds.xRight, 0);
  EXPECT_TRUE(KpEngineDeleteObject(empty));
  PATHDATA broken = {0, 2, nullptr};
  EXPECT_EQ(KpEngineCreatePath(1, &broken), nullptr);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), 0u);
}

// ---- Transforms ----------------------------------------------------------------------

TEST(EngineXform, KindsAndMatrices) {
  struct Case {
    XFORML m;
    ULONG kind;
  } cases[] = {
      {{1, 0, 0, 1, 0, 0}, GX_IDENTITY}, {{1, 0, 0, 1, 5, 0}, GX_OFFSET}, {{2, 0, 0, 3, 0, 0}, GX_SCALE},
      {{2, 0, 0, 3, 7, 8}, GX_SCALE},    {{0, 1, -1, 0, 0, 0}, GX_GENERAL},
  };
  for (const auto& c : cases) {
    XFORMOBJ* x = KpEngineCreateXform(&c.m);
    ASSERT_NE(x, nullptr);
    XFORML back{};
    EXPECT_EQ(XFORMOBJ_iGetXform(x, &back), c.kind);
    EXPECT_EQ(back.eM12, c.m.eM12);
    FLOATOBJ_XFORM fo{};
    EXPECT_EQ(XFORMOBJ_iGetFloatObjXform(x, &fo), c.kind);
    EXPECT_EQ(FLOATOBJ_GetFloat(&fo.eDx), c.m.eDx);
    EXPECT_TRUE(KpEngineDeleteObject(x));
  }
  EXPECT_EQ(XFORMOBJ_iGetXform(nullptr, nullptr), DDI_ERROR);
}

TEST(EngineXform, ApplyForwardInverseAndFixedPoint) {
  XFORML rotateScale = {0, 2, -2, 0, 10, 20};  // (x, y) -> (10 - 2y, 20 + 2x)
  XFORMOBJ* x = KpEngineCreateXform(&rotateScale);
  POINTL in[2] = {{4096, 0}, {3, -1}};
  POINTL out[2];
  ASSERT_TRUE(XFORMOBJ_bApplyXform(x, XF_LTOL, 2, in, out));
  EXPECT_EQ(out[0].x, 10);
  EXPECT_EQ(out[0].y, 8212);
  EXPECT_EQ(out[1].x, 12);
  EXPECT_EQ(out[1].y, 26);
  POINTL back[2];
  ASSERT_TRUE(XFORMOBJ_bApplyXform(x, XF_INV_LTOL, 2, out, back));
  EXPECT_EQ(back[0].x, 4096);
  EXPECT_EQ(back[1].y, -1);
  POINTFIX fx[1];
  ASSERT_TRUE(XFORMOBJ_bApplyXform(x, XF_LTOFX, 1, &in[1], fx));
  EXPECT_EQ(fx[0].x, 12 * 16);
  POINTL fromFx[1];
  ASSERT_TRUE(XFORMOBJ_bApplyXform(x, XF_INV_FXTOL, 1, fx, fromFx));
  EXPECT_EQ(fromFx[0].x, 3);
  EXPECT_FALSE(XFORMOBJ_bApplyXform(x, 9, 1, in, out));
  POINTL huge = {2000000000, 0};
  EXPECT_FALSE(XFORMOBJ_bApplyXform(x, XF_LTOL, 1, &huge, out));  // beyond LONG
  EXPECT_TRUE(KpEngineDeleteObject(x));

  XFORML singular = {1, 1, 1, 1, 0, 0};
  XFORMOBJ* s = KpEngineCreateXform(&singular);
  EXPECT_FALSE(XFORMOBJ_bApplyXform(s, XF_INV_LTOL, 1, in, out));
  EXPECT_TRUE(KpEngineDeleteObject(s));
}

// ---- Colour translation ----------------------------------------------------------------

TEST(EngineXlate, TrivialAndTable) {
  ULONG table[3] = {0x000000, 0x0000FF, 0xFFFFFF};
  XLATEOBJ* t = KpEngineCreateXlate(XO_TABLE, 3, table);
  XLATEOBJ* trivial = KpEngineCreateXlate(XO_TRIVIAL, 0, nullptr);
  ASSERT_TRUE(t && trivial);
  EXPECT_EQ(t->cEntries, 3u);
  EXPECT_EQ(XLATEOBJ_iXlate(t, 1), 0x0000FFu);
  EXPECT_EQ(XLATEOBJ_iXlate(t, 3), 0xFFFFFFFFu);
  EXPECT_EQ(XLATEOBJ_iXlate(trivial, 0x123456), 0x123456u);
  EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 7), 7u);
  EXPECT_EQ(KpEngineCreateXlate(XO_TO_MONO, 0, nullptr), nullptr);
  EXPECT_TRUE(KpEngineDeleteObject(t));
  EXPECT_TRUE(KpEngineDeleteObject(trivial));
}

}  // namespace
