// The checker's geometry mode: where a page's drawing lands on the sheet
// under the page transform operators, for the page matrices the renderer's
// writer turns into them, and for the painting operators it follows.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kestrel/render/xl.h"
#include "pclxl_checker.h"
#include "pclxl_geometry.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::Writer;
using pclxl_check::Box;

namespace {

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

// One A4 page (600 units an inch) of `body` as a job.
pclxl_check::Geometry OnePage(const std::vector<uint8_t>& body) {
  Writer w;
  XlBeginPage p{};
  p.mediaSource = 1;
  p.mediaSize = 2;
  p.destination = XL_LEAVE_OUT;
  p.duplexMode = XL_LEAVE_OUT;
  p.duplexSide = XL_LEAVE_OUT;
  EXPECT_EQ(xl_beginsession(w.ctx(), 600, 600, 0, 0) | xl_opendatasource(w.ctx()) | xl_beginpage(w.ctx(), &p), 0);
  std::vector<uint8_t> bytes = w.bytes() + body;
  w.clear();
  EXPECT_EQ(xl_endpage(w.ctx(), 1) | xl_closedatasource(w.ctx()) | xl_endsession(w.ctx()), 0);
  const std::vector<uint8_t> uel = text("\x1b%-12345X");
  const std::vector<uint8_t> job = uel + text(") HP-PCL XL;2;1;\n") + bytes + w.bytes() + uel;
  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(job, pclxl_check::Mode::Job, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  return pclxl_check::geometry(listing);
}

// The operators one writer call sends.
template <typename F>
std::vector<uint8_t> Sent(F f) {
  Writer w;
  EXPECT_EQ(f(w.ctx()), 0);
  return w.bytes();
}

void ExpectBox(const Box& got, double l, double t, double r, double b) {
  EXPECT_FALSE(got.empty);
  EXPECT_NEAR(got.left, l, 0.01);
  EXPECT_NEAR(got.top, t, 0.01);
  EXPECT_NEAR(got.right, r, 0.01);
  EXPECT_NEAR(got.bottom, b, 0.01);
}

TEST(CheckerGeometry, TheSheetAndItsPrintableArea) {
  const pclxl_check::Geometry g = OnePage({});
  ASSERT_EQ(g.problem, "");
  ASSERT_EQ(g.sides.size(), 1u);
  EXPECT_EQ(g.unitsPerInch, 600);
  EXPECT_EQ(g.sides[0].medium, "eA4Paper");
  ExpectBox(g.sides[0].sheet, 0, 0, 4960, 7014);
  const double m = 4.2 / 25.4 * 600;
  ExpectBox(g.sides[0].printable, m, m, 4960 - m, 7014 - m);
  EXPECT_TRUE(g.sides[0].painted.empty);
}

// The renderer's page matrices as its writer sends them: the geometry maps a
// user point where the matrix does, for each quarter turn.
TEST(CheckerGeometry, PageMatricesOfTheWriterMapAsTheMatrix) {
  const std::vector<std::vector<float>> matrices = {
      {1, 0, 0, 1, 99, 99},
      {0.5f, 0, 0, 0.5f, 2480, 99},
      {0, -0.698548f, 0.698548f, 0, 99, 6916},  // a quarter turn: x toward the top of the sheet
      {-1, 0, 0, -1, 4861, 6916},
      {0, 2, -2, 0, 4000, -3000},
  };
  for (const std::vector<float>& m : matrices) {
    const std::vector<uint8_t> body = Sent([&](XlContext* c) { return xl_setcoordinate(c, m.data()); }) +
                                      Sent(xl_setpensource_null) +
                                      Sent([](XlContext* c) { return xl_rectangle(c, RECT{100, 200, 300, 700}); });
    const pclxl_check::Geometry g = OnePage(body);
    ASSERT_EQ(g.sides.size(), 1u);
    ASSERT_EQ(g.sides[0].sections.size(), 1u);
    const pclxl_check::Section& s = g.sides[0].sections[0];
    Box want;
    for (double x : {100.0, 300.0})
      for (double y : {200.0, 700.0}) want.add(x * m[0] + y * m[2] + m[4], x * m[1] + y * m[3] + m[5]);
    ExpectBox(s.painted, want.left, want.top, want.right, want.bottom);
    ExpectBox(s.user, 100, 200, 300, 700);
    EXPECT_NEAR(s.ctm.scaleX(), std::hypot(m[0], m[1]), 1e-5);
  }
}

TEST(CheckerGeometry, PaintingOperators) {
  struct Case {
    const char* name;
    std::vector<uint8_t> body;
    double l, t, r, b;  // the painted box
  };
  const std::vector<uint8_t> noPen = Sent(xl_setpensource_null);
  const std::vector<Case> cases = {
      // A pen widens by half its width (PenWidth 10).
      {"rectangle with a pen", Sent([](XlContext* c) { return xl_setpenwidth(c, 10); }) +
                                   Sent([](XlContext* c) { return xl_rectangle(c, RECT{100, 200, 300, 400}); }),
       95, 195, 305, 405},
      // Relative lines: each point from the one before.
      {"relative line path",
       noPen + Sent(xl_newpath) + Sent([](XlContext* c) { return xl_setcursor(c, POINT{1000, 1000}); }) +
           hex("C1 02 00 F8 4D C0 03 F8 50 9D FB 08 F4 01 0C FE 64 00 F4 01") + Sent(xl_paintpath),
       1000, 500, 1600, 1000},
      // A relative Bézier's points count from its start; the curve's
      // extremes, not the control points: (0,-400) (600,-400) (600,0) from
      // the cursor rises to -300.
      {"relative bezier",
       noPen + Sent(xl_newpath) + Sent([](XlContext* c) { return xl_setcursor(c, POINT{1000, 1000}); }) +
           hex("C1 03 00 F8 4D C0 03 F8 50 95 FB 0C 00 00 70 FE 58 02 70 FE 58 02 00 00") + Sent(xl_paintpath),
       1000, 700, 1600, 1000},
      // Text from the cursor: advances 60 and 0.6 CharSize for the last
      // glyph, one CharSize up and a quarter down.
      {"text",
       noPen + hex("C8 C0 01 46 F8 A8 C5 00 00 C8 42 F8 A6 C1 4E 02 F8 AA 6F") +
           Sent([](XlContext* c) { return xl_setcursor(c, POINT{1000, 1000}); }) +
           hex("C8 C0 02 41 42 F8 AB CB C0 02 3C 00 00 00 F8 AF A8"),
       1000, 900, 1120, 1025},
      // Turned text: CharAngle 90 turns the glyphs (x up the sheet); the
      // spacing moves the cursor in user space, here 60 up.
      {"turned text",
       noPen + hex("C8 C0 01 46 F8 A8 C5 00 00 C8 42 F8 A6 C1 4E 02 F8 AA 6F") + hex("C1 5A 00 F8 A1 64") +
           Sent([](XlContext* c) { return xl_setcursor(c, POINT{1000, 1000}); }) +
           hex("C8 C0 02 41 42 F8 AB CB C0 02 00 00 00 00 F8 AF CB C0 02 C4 FF 00 00 F8 B0 A8"),
       900, 880, 1025, 1000},
      {"image at the cursor", Sent([](XlContext* c) { return xl_setcursor(c, POINT{500, 500}); }) +
                                  Sent([](XlContext* c) { return xl_beginimage(c, 1, 0, 2, 2, 200, 100); }) +
                                  Sent(xl_endimage),
       500, 500, 700, 600},
      // PopGS brings back the transform PushGS kept.
      {"push and pop", noPen + Sent(xl_pushgs) + Sent([](XlContext* c) { return xl_setpageorigin(c, 2000, 2000); }) +
                           Sent(xl_popgs) + Sent([](XlContext* c) { return xl_rectangle(c, RECT{10, 20, 30, 40}); }),
       10, 20, 30, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const pclxl_check::Geometry g = OnePage(c.body);
    ASSERT_EQ(g.sides.size(), 1u);
    ExpectBox(g.sides[0].painted, c.l, c.t, c.r, c.b);
  }
}

// Each SetPageDefaultCTM opens a section: the logical pages of an N-up sheet.
TEST(CheckerGeometry, EachPageTransformIsASection) {
  const float left[6] = {0.5f, 0, 0, 0.5f, 99, 99}, right[6] = {0.5f, 0, 0, 0.5f, 2480, 99};
  const auto page = Sent([](XlContext* c) { return xl_rectangle(c, RECT{0, 0, 4000, 6000}); });
  const pclxl_check::Geometry g =
      OnePage(Sent(xl_setpensource_null) + Sent([&](XlContext* c) { return xl_setcoordinate(c, left); }) + page +
              Sent([&](XlContext* c) { return xl_setcoordinate(c, right); }) + page);
  ASSERT_EQ(g.sides.size(), 1u);
  ASSERT_EQ(g.sides[0].sections.size(), 2u);
  ExpectBox(g.sides[0].sections[0].painted, 99, 99, 2099, 3099);
  ExpectBox(g.sides[0].sections[1].painted, 2480, 99, 4480, 3099);
  ExpectBox(g.sides[0].painted, 99, 99, 4480, 3099);
}

}  // namespace
