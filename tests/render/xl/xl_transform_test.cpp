// The sint16 range rule, the page transforms and the point lists, in both
// builds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kestrel/render/xl.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::toHex;
using kxltest::Writer;

namespace {

std::string written(Writer& w) { return toHex(w.bytes()); }
std::string expect(const std::string& h) { return toHex(hex(h)); }

TEST(XlRange, BoxesBeyondSint16MoveTheOriginAndScale) {
  struct Case {
    const char* name;
    RECT box;
    const char* bytes;
  } cases[] = {
      {"100000 x 50000: origin to the centre, scale 2",
       {0, 0, 100000, 50000},
       "D3 FF 7F A8 61 F8 2A 75  D3 51 43 00 00 F8 2A 75  D5 00 00 00 40 00 00 00 40 F8 2B 77 "
       "E3 58 9E 2C CF A8 61 D4 30 F8 42 A0 "
       "D5 00 00 00 3F 00 00 00 3F F8 2B 77  D3 00 80 58 9E F8 2A 75  D3 B0 BC 00 00 F8 2A 75"},
      {"a span of exactly 65535 is scaled, so that no edge wraps to -32768",
       {0, 0, 65535, 10},
       "D3 FF 7F 05 00 F8 2A 75  D5 00 00 00 40 00 00 00 40 F8 2B 77 "
       "E3 01 C0 FE FF 00 40 02 00 F8 42 A0 "
       "D5 00 00 00 3F 00 00 00 3F F8 2B 77  D3 01 80 FB FF F8 2A 75"},
      {"a span of 65534 only moves the origin",
       {-100, 0, 65434, 0},
       "D3 9B 7F 00 00 F8 2A 75  E3 01 80 00 00 FF 7F 00 00 F8 42 A0  D3 65 80 00 00 F8 2A 75"},
  };
  for (const auto& c : cases) {
    Writer w;
    ASSERT_EQ(xl_rectangle(w.ctx(), c.box), 0) << c.name;
    EXPECT_EQ(written(w), expect(c.bytes)) << c.name;
  }
}

TEST(XlRange, EveryCentredPointFitsForAnySpan) {
  // Spans around the multiples of 0xFFFF, where a divisor taken from 0x10000
  // would leave +32768 on the far edge.
  for (int64_t span : {65534LL, 65535LL, 65536LL, 131069LL, 131070LL, 131071LL, 196605LL, 4294967295LL}) {
    Writer w;
    const int64_t lo = span > 0xFFFFFFF ? INT32_MIN : -7;
    POINT pts[3] = {{static_cast<LONG>(lo), 0}, {static_cast<LONG>(lo + span), 3}, {static_cast<LONG>(lo + span / 3), -9}};
    xl_check_range(w.ctx(), pts, 3);
    for (const POINT& p : pts) {
      EXPECT_GE(p.x, -32768) << span;
      EXPECT_LE(p.x, 32767) << span;
    }
    const XlConvCtm& t = w.ctx()->convctm;
    // The device point is origin + point x scale, within the scale's rounding.
    EXPECT_NEAR(t.originX + static_cast<double>(pts[1].x) * t.scaleX, static_cast<double>(lo + span), t.scaleX) << span;
  }
}

TEST(XlRange, PointsInRangeKeepTheIdentity) {
  Writer w;
  POINT pts[2] = {{-32768, 32767}, {0, 0}};
  xl_check_range(w.ctx(), pts, 2);
  const XlConvCtm& t = w.ctx()->convctm;
  EXPECT_EQ(t.originX, 0);
  EXPECT_EQ(t.scaleX, 1.0f);
  EXPECT_EQ(pts[0].x, -32768);
  EXPECT_EQ(xl_setcursor(w.ctx(), POINT{-32768, 32767}), 0);
  EXPECT_EQ(written(w), expect("D3 00 80 FF 7F F8 4C 6B"));
}

TEST(XlPageOrigin, LongOffsetsGoInClampedSteps) {
  struct Case {
    int32_t x, y;
    const char* bytes;
  } cases[] = {
      {0, 0, ""},
      {-32768, 32767, "D3 00 80 FF 7F F8 2A 75"},
      {70000, -40000, "D3 FF 7F 00 80 F8 2A 75  D3 FF 7F C0 E3 F8 2A 75  D3 72 11 00 00 F8 2A 75"},
  };
  for (const auto& c : cases) {
    Writer w;
    ASSERT_EQ(xl_setpageorigin_long(w.ctx(), c.x, c.y), 0);
    EXPECT_EQ(written(w), expect(c.bytes)) << c.x << "," << c.y;
  }
}

TEST(XlSetCoordinate, MatrixToRotationOriginAndScale) {
  const std::string rot0 = "C3 00 00 F8 29 76";
  const std::string rot90 = "C3 5A 00 F8 29 76";
  const std::string rot180 = "C3 B4 00 F8 29 76";
  const std::string rot270 = "C3 0E 01 F8 29 76";
  const std::string one = "00 00 80 3F";
  const std::string scale11 = "D5 " + one + " " + one + " F8 2B 77";
  const std::string mirror = "C8 C0 09 4D 49 52 52 4F 52 21 21 21 F8 81 47 ";
#if defined(KXL_BUILD_UM)
  const std::string swappedMirrorAngle = rot90;
#else
  const std::string swappedMirrorAngle = rot0;
#endif
  struct Case {
    const char* name;
    int orientation;
    float m[6];
    std::string bytes;
  } cases[] = {
      {"identity moved", 0, {1, 0, 0, 1, 100, 200}, rot0 + " 74 D3 64 00 C8 00 F8 2A 75 " + scale11 + " " + rot0},
      {"scaled 180", 0, {-2, 0, 0, -0.5f, 0, 0},
       rot0 + " 74 D5 00 00 00 40 00 00 00 3F F8 2B 77 " + rot180},
      {"90 on orientation 3", 3, {0, -1, 1, 0, 0, 0}, rot90 + " 74 " + scale11 + " " + rot90},
      {"270 on orientation 2", 2, {0, 1, -1, 0, 0, 0}, rot180 + " 74 " + scale11 + " " + rot270},
      {"mirror", 4, {-1, 0, 0, 1, 0, 0}, mirror + rot270 + " 74 " + scale11 + " " + rot0},
      {"swapped mirror", 0, {0, 1, 1, 0, 0, 0}, mirror + rot0 + " 74 " + scale11 + " " + swappedMirrorAngle},
  };
  for (const auto& c : cases) {
    Writer w;
    w.ctx()->orientation = c.orientation;
    ASSERT_EQ(xl_setcoordinate(w.ctx(), c.m), 0) << c.name;
    EXPECT_EQ(written(w), expect(c.bytes)) << c.name << " (" << kxltest::kBuild << ")";
  }
}

TEST(XlSetCoordinate, GeneralMatrixWritesCtmCommentAndHypotenuseScale) {
  Writer w;
  const float m[6] = {3, 4, 0, 2, 0, 0};
  ASSERT_EQ(xl_setcoordinate(w.ctx(), m), 0);
  auto b = w.bytes();
  const auto comment = hex("C8 C0 06 43 54 4D 21 21 21 F8 81 47");
  ASSERT_GE(b.size(), comment.size());
  EXPECT_TRUE(std::equal(comment.begin(), comment.end(), b.begin()));
  EXPECT_NEAR(fHypot(3, 4), 5.0f, 1e-5f);
  EXPECT_NEAR(fHypot(-1e4f, 1), std::hypot(1e4, 1), 1e-2);
  EXPECT_NEAR(fHypot(0.3f, -0.4f), 0.5f, 1e-6f);
  EXPECT_EQ(fHypot(0, -7), 7.0f);
}

TEST(XlSetCoordinate, NonFiniteOrHugeMatricesAreRefusedWithNothingWritten) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float bad[][6] = {
      {nan, 0, 0, 1, 0, 0}, {1, 0, 0, 1, inf, 0}, {1, 0, 0, 1, 0, -inf}, {1, 0, 0, 1, 1e9f, 0},
      {1, 0, 0, 1, 0, -8388608.0f}, {1e30f, 0, 0, 1, 0, 0}, {1, nan, 0, 1, 0, 0},
  };
  for (const auto& m : bad) {
    Writer w;
    EXPECT_EQ(xl_setcoordinate(w.ctx(), m), -1);
    EXPECT_TRUE(w.bytes().empty());
  }
  Writer w;
  const float edge[6] = {1, 0, 0, 1, 8388607.0f, 0};  // the largest offset: 257 bounded steps
  EXPECT_EQ(xl_setcoordinate(w.ctx(), edge), 0);
}

// ---- point lists -------------------------------------------------------------

TEST(XlPointLists, FormAndTypeChoice) {
  struct Case {
    const char* name;
    POINT current;
    std::vector<POINT> points;
    const char* bytes;
  } cases[] = {
      {"deltas fit a signed byte, absolute points need 16 bits: LineRelPath with PointType 1",
       {995, 995},
       {{1000, 1000}, {1010, 1005}, {1000, 990}},
       "C1 03 00 F8 4D  C0 01 F8 50  9D  FB 06 05 05 0A 05 F6 F1"},
      {"absolute bytes smaller than relative words: LinePath with PointType 0",
       {0, 0},
       {{10, 10}, {250, 250}, {10, 10}},
       "C1 03 00 F8 4D  C0 00 F8 50  9B  FB 06 0A 0A FA FA 0A 0A"},
      {"equal sizes go relative",
       {0, 0},
       {{1, 1}, {2, 2}},
       "C1 02 00 F8 4D  C0 01 F8 50  9D  FB 04 01 01 01 01"},
      {"uint16 only (relative and absolute alike: the tie goes relative)",
       {0, 0},
       {{40000, 65535}},
       "C1 01 00 F8 4D  C0 02 F8 50  9D  FB 04 40 9C FF FF"},
      {"no point fits: the point becomes the origin",
       {0, 0},
       {{100000, 5}, {100010, 5}},
       "D3 FF 7F 05 00 F8 2A 75  D3 FF 7F 00 00 F8 2A 75  D3 FF 7F 00 00 F8 2A 75  D3 A3 06 00 00 F8 2A 75 "
       "C1 02 00 F8 4D  C0 01 F8 50  9B  FB 04 00 00 0A 00 "
       "D3 00 80 FB FF F8 2A 75  D3 00 80 00 00 F8 2A 75  D3 00 80 00 00 F8 2A 75  D3 60 F9 00 00 F8 2A 75"},
  };
  for (const auto& c : cases) {
    Writer w;
    ASSERT_EQ(xl_linepath_multi_nt(w.ctx(), c.points.data(), static_cast<DWORD>(c.points.size()), c.current), 0)
        << c.name;
    EXPECT_EQ(written(w), expect(c.bytes)) << c.name;
  }
}

TEST(XlPointLists, BezierRunsAreWholeCurvesAndMoveFarCurvesIntoRange) {
  Writer w;
  const POINT pts[6] = {{10, 10}, {20, 20}, {30, 30}, {-40000, 5}, {-39990, 10}, {-39980, 0}};
  ASSERT_EQ(xl_bezierpath_multi_nt(w.ctx(), pts, 6, POINT{0, 0}), 0);
  EXPECT_EQ(written(w), expect("C1 03 00 F8 4D  C0 01 F8 50  95  FB 06 0A 0A 14 14 1E 1E "
                               "D3 00 80 05 00 F8 2A 75  D3 CA E3 00 00 F8 2A 75 "
                               "C1 03 00 F8 4D  C0 01 F8 50  93  FB 06 F6 00 00 05 0A FB "
                               "D3 FF 7F FB FF F8 2A 75  D3 37 1C 00 00 F8 2A 75"));
}

TEST(XlPointLists, BezierReferenceAdvancesAtCurveEnds) {
  // Relative to the current point for the whole first curve, then to its end.
  Writer w;
  const POINT pts[6] = {{1000, 1000}, {1001, 1001}, {1002, 1002}, {1003, 1003}, {1004, 1004}, {1005, 1005}};
  ASSERT_EQ(xl_bezierpath_multi_nt(w.ctx(), pts, 6, POINT{1000, 1000}), 0);
  EXPECT_EQ(written(w), expect("C1 06 00 F8 4D  C0 01 F8 50  95  FB 0C 00 00 01 01 02 02 01 01 02 02 03 03"));
}

TEST(XlPointLists, SevenPointBezierIsRefusedWithNothingWritten) {
  // A list that does not end on a curve end cannot be drawn; the last run
  // would otherwise read points beyond the list.
  Writer w;
  const POINT pts[7] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}};
  EXPECT_EQ(xl_bezierpath_multi_nt(w.ctx(), pts, 7, POINT{0, 0}), -1);
  EXPECT_TRUE(w.bytes().empty());
}

TEST(XlPointLists, RunsHoldAtMost65535Points) {
  std::vector<POINT> pts(70000);
  for (size_t i = 0; i < pts.size(); ++i) pts[i] = POINT{static_cast<LONG>(i % 2), 0};
  Writer w;
  ASSERT_EQ(xl_linepath_multi_nt(w.ctx(), pts.data(), 70000, POINT{0, 0}), 0);
  auto b = w.bytes();
  const auto first = hex("C1 FF FF F8 4D  C0 01 F8 50  9D  FA FE FF 01 00");
  const auto second = hex("C1 71 11 F8 4D  C0 01 F8 50  9D  FA E2 22 00 00");
  ASSERT_EQ(b.size(), first.size() + 131070 + second.size() + 8930);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), b.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), b.begin() + static_cast<long>(first.size() + 131070)));
}

TEST(XlPointLists, TypeMaskAndPreference) {
  struct Case {
    int64_t v;
    BYTE mask;
  } cases[] = {{-32769, 0},     {-32768, 8},   {-129, 8},      {-128, 2 | 8}, {-1, 2 | 8}, {0, 15},
               {127, 15},       {128, 1 | 4 | 8}, {255, 1 | 4 | 8}, {256, 4 | 8}, {32767, 4 | 8}, {32768, 4},
               {65535, 4},      {65536, 0}};
  for (const auto& c : cases) EXPECT_EQ(xl_make_typemask(c.v), c.mask) << c.v;
  EXPECT_EQ(xl_get_type(15), XL_POINT_SBYTE);
  EXPECT_EQ(xl_get_type(1 | 4 | 8), XL_POINT_UBYTE);
  EXPECT_EQ(xl_get_type(4 | 8), XL_POINT_SINT16);
  EXPECT_EQ(xl_get_type(4), XL_POINT_UINT16);
  EXPECT_EQ(xl_get_type(0), -1);
}

TEST(XlPointLists, ScaledRelativeFormAddsUpToTheAbsolutePoints) {
  XlConvCtm t{0, 0, 0, 3.0f, 3.0f};
  POINT prev{0, 0};
  POINT sum{0, 0};
  for (LONG x : {1, 2, 4, 5, 7, 8, 10}) {
    POINT p{x, -x};
    POINT r = xl_convert_point_rel(&t, p, prev);
    sum.x += r.x;
    sum.y += r.y;
    prev = p;
    POINT a = xl_convert_point(&t, p);
    EXPECT_EQ(sum.x, a.x) << x;
    EXPECT_EQ(sum.y, a.y) << x;
  }
}

}  // namespace
