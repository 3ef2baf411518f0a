// Paths and clipping of kestrelkm through the engine runner: what each path
// call becomes, read from the strict checker's decoded listing (every
// stream passes the checker in renderer-stream mode).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstring>

#include "draw.h"
#include "draw_fixture.h"

namespace {

using namespace kestrel::test::km;

constexpr MIX kCopyPen = R2_COPYPEN | R2_COPYPEN << 8;
constexpr char kPaint[] = "PaintPath";

class KmPath : public KmDrawTest {
 protected:
  // Strokes or fills one path on a fresh page and answers the page's lines;
  // *ok the call's answer.
  BRUSHOBJ* black_ = nullptr;
  void SetUp() override {
    KmDrawTest::SetUp();
    ASSERT_TRUE(Open());
    black_ = Solid(0);
  }
};

bool Has(const Lines& lines, const std::string& needle) { return !Matching(lines, needle).empty(); }

// Under a transparent stamp a stroked and filled path takes the second
// (colour) pass as stroking and filling alone do: the geometry again after
// the colour pass's raster operation (250), for a rectangle and a general
// path alike.
TEST_F(KmPath, ATransparentStampStrokesAndFillsInTwoPasses) {
  LINEATTRS cosmetic = Cosmetic();
  PATHOBJ* rect = Rect(10, 20, 110, 70);
  PATHOBJ* triangle = Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE,
                             {{Fx(200), Fx(200)}, {Fx(300), Fx(200)}, {Fx(250), Fx(280)}}}});
  BRUSHOBJ* red = Solid(0x0000FF);
  struct Case {
    const char* name;
    PATHOBJ* path;
    const char* geometry;
  } cases[] = {{"rectangle", rect, "Rectangle BoundingBox=ubyte_box(10,20,110,70)"},
               {"general path", triangle, kPaint}};
  for (const Case& c : cases) {
    ASSERT_TRUE(KpEngineFillPath(Session(), Rect(0, 0, 5, 5), nullptr, black_, nullptr, kCopyPen, 0));  // the page is open
    Pdev()->jobInfo.stampOnAll = 1;
    Pdev()->jobInfo.stampValue2 = 1;
    Pdev()->stamp.drawMode = TRUE;
    ASSERT_TRUE(jobCtrl_isStampTransparency(Pdev()));
    EXPECT_TRUE(KpEngineStrokeAndFillPath(Session(), c.path, nullptr, nullptr, red, &cosmetic, red, nullptr, kCopyPen, 0));
    Pdev()->stamp.drawMode = FALSE;
    ASSERT_TRUE(NextPage());
  }
  auto pages = Finish();
  ASSERT_EQ(pages.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string all = Text(pages[i]);
    const size_t first = all.find(cases[i].geometry);
    ASSERT_NE(first, std::string::npos) << all;
    const size_t colour = all.find("SetROP ROP3=ubyte(250)", first);
    ASSERT_NE(colour, std::string::npos) << all;
    EXPECT_NE(all.find(cases[i].geometry, colour), std::string::npos) << all;
  }
}

// ---- Shapes ---------------------------------------------------------------------------

TEST_F(KmPath, EachShapeBecomesItsOperators) {
  LINEATTRS cosmetic = Cosmetic();
  LINEATTRS styled = Cosmetic();
  FLOAT_LONG dash[2];
  dash[0].l = 3;
  dash[1].l = 1;
  styled.cstyle = 2;
  styled.pstyle = dash;
  LINEATTRS geometric = Cosmetic();
  geometric.fl = LA_GEOMETRIC;
  geometric.elWidth.e = 4.0f;
  const XFORML identity{1, 0, 0, 1, 0, 0};
  XFORMOBJ* unit = Keep(KpEngineCreateXform(&identity));
  RECTFX box{Fx(100), Fx(100), Fx(300), Fx(200)};

  struct Case {
    const char* name;
    std::function<BOOL()> draw;
    std::vector<std::string> want;     // lines the page must hold
    std::vector<std::string> without;  // and must not
  };
  auto stroke = [&](PATHOBJ* p, LINEATTRS* la, XFORMOBJ* x = nullptr) {
    return [=, this]() { return KpEngineStrokePath(Session(), p, nullptr, x, black_, nullptr, la, kCopyPen); };
  };
  auto fill = [&](PATHOBJ* p, MIX mix = kCopyPen) {
    return [=, this]() { return KpEngineFillPath(Session(), p, nullptr, black_, nullptr, mix, 0); };
  };
  PATHOBJ* ellipse = Keep(KpEngineCreateEllipsePath(&box));
  PATHOBJ* rect = Rect(10, 20, 110, 70);
  const Case cases[] = {
      {"ellipse, cosmetic solid pen: whole", stroke(ellipse, &cosmetic), {"Ellipse BoundingBox=sint16_box(100,100,300,200)"}, {kPaint}},
      {"ellipse, styled pen: Béziers", stroke(ellipse, &styled), {"BezierRelPath", kPaint}, {"Ellipse"}},
      {"ellipse, geometric pen: Béziers", stroke(ellipse, &geometric, unit), {"BezierRelPath", kPaint}, {"Ellipse"}},
      {"ellipse filled: whole", fill(ellipse), {"Ellipse BoundingBox=sint16_box(100,100,300,200)"}, {kPaint}},
      {"rectangle, cosmetic", stroke(rect, &cosmetic), {"Rectangle BoundingBox=ubyte_box(10,20,110,70)"}, {kPaint}},
      {"rectangle, geometric under identity", stroke(rect, &geometric, unit), {"Rectangle BoundingBox=ubyte_box(10,20,110,70)"}, {kPaint}},
      {"rectangle filled", fill(rect), {"Rectangle BoundingBox=ubyte_box(10,20,110,70)"}, {kPaint}},
      {"flat zero-area line thickened in y",
       fill(Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, {{Fx(10), Fx(10)}, {Fx(50), Fx(20)}}}})),
       {"SetCursor Point=ubyte_xy(10,10)", "LineRelPath NumberOfPoints=uint16(3) PointType=ubyte(1) data[6] 28 0A 00 01 D8 F6",
        "CloseSubPath", kPaint}, {}},
      {"45-degree zero-area line thickened in x",
       fill(Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, {{Fx(10), Fx(10)}, {Fx(40), Fx(40)}, {Fx(10), Fx(10)}}}})),
       {"SetCursor Point=ubyte_xy(10,10)", "LineRelPath NumberOfPoints=uint16(3) PointType=ubyte(1) data[6] 1E 1E 01 00 E2 E2", kPaint}, {}},
      {"begin point only, stroked: no PaintPath",
       stroke(Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{Fx(5), Fx(6)}}}}), &cosmetic),
       {"NewPath", "SetCursor Point=ubyte_xy(5,6)"}, {kPaint}},
      {"begin point only, filled: painted", fill(Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{Fx(5), Fx(6)}}}})),
       {"NewPath", "SetCursor Point=ubyte_xy(5,6)", kPaint}, {}},
      {"seven Bézier points that begin a subpath",
       stroke(Path({{PD_BEGINSUBPATH | PD_BEZIERS | PD_ENDSUBPATH,
                     {{0, 0}, {Fx(10), 0}, {Fx(20), Fx(10)}, {Fx(20), Fx(20)}, {Fx(20), Fx(30)}, {Fx(10), Fx(40)}, {0, Fx(40)}}}}),
              &cosmetic),
       {"BezierRelPath NumberOfPoints=uint16(6)", kPaint}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(c.draw());
    ASSERT_TRUE(NextPage());
  }
  auto pages = Finish();
  ASSERT_EQ(pages.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    for (const auto& w : cases[i].want) EXPECT_TRUE(Has(pages[i], w)) << w << "\n" << Text(pages[i]);
    for (const auto& w : cases[i].without) EXPECT_FALSE(Has(pages[i], w)) << w << "\n" << Text(pages[i]);
  }
}

TEST_F(KmPath, MalformedRecordsAreRefused) {
  LINEATTRS la = Cosmetic();
  // Bézier points after the begin point that are no multiple of 3.
  PATHOBJ* bad = Path({{PD_BEGINSUBPATH | PD_BEZIERS, {{0, 0}, {Fx(1), Fx(1)}, {Fx(2), Fx(2)}}}});
  SetLastError(0);
  EXPECT_FALSE(KpEngineStrokePath(Session(), bad, nullptr, nullptr, black_, nullptr, &la, kCopyPen));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A subpath that begins without a point.
  PATHOBJ* empty = Path({{PD_BEGINSUBPATH, {}}, {PD_ENDSUBPATH, {{Fx(3), Fx(3)}}}});
  SetLastError(0);
  EXPECT_FALSE(KpEngineFillPath(Session(), empty, nullptr, black_, nullptr, kCopyPen, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // No line attributes; a geometric line without its transform.
  LINEATTRS geometric = la;
  geometric.fl = LA_GEOMETRIC;
  SetLastError(0);
  EXPECT_FALSE(KpEngineStrokePath(Session(), Rect(0, 0, 5, 5), nullptr, nullptr, black_, nullptr, nullptr, kCopyPen));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(KpEngineStrokePath(Session(), Rect(0, 0, 5, 5), nullptr, nullptr, black_, nullptr, &geometric, kCopyPen));
  // Points beyond sint16 still draw (the writer moves them into range).
  EXPECT_TRUE(KpEngineStrokePath(Session(),
                                 Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{Fx(-40000), Fx(10)}, {Fx(70000), Fx(90000)}, {Fx(5), Fx(5)}}}}),
                                 nullptr, nullptr, black_, nullptr, &la, kCopyPen));
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(Has(pages[0], "LinePath")) << Text(pages[0]);
  EXPECT_TRUE(Has(pages[0], kPaint));
}

// ---- Line attributes ------------------------------------------------------------------------

TEST_F(KmPath, LineAttributesBecomeTheGraphicsState) {
  PATHOBJ* line = Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{0, 0}, {Fx(100), Fx(50)}}}});
  FLOAT_LONG entries[3];
  entries[0].l = 2;
  entries[1].l = 1;
  entries[2].l = 3;
  struct Case {
    const char* name;
    ULONG join, cap;
    FLOATL miter;
    FLONG fl;
    ULONG cstyle;
    LONG styleState;
    LONG width;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"round", JOIN_ROUND, ENDCAP_ROUND, 10.0f, 0, 0, 0, 1,
       {"SetLineJoin LineJoinStyle=ubyte(1)", "SetLineCap LineCapStyle=ubyte(1)", "SetMiterLimit MiterLength=uint16(10)",
        "SetLineDash SolidLine=ubyte(0)"}},
      {"bevel, square, miter 0.5 becomes 1", JOIN_BEVEL, ENDCAP_SQUARE, 0.5f, 0, 0, 0, 3,
       {"SetLineJoin LineJoinStyle=ubyte(2)", "SetLineCap LineCapStyle=ubyte(2)", "SetMiterLimit MiterLength=uint16(1)",
        "SetPenWidth PenWidth=uint16(3)"}},
      {"miter, butt", JOIN_MITER, ENDCAP_BUTT, 1.0f, 0, 0, 0, 1,
       {"SetLineJoin LineJoinStyle=ubyte(0)", "SetLineCap LineCapStyle=ubyte(0)"}},
      {"dashes 24 times the entries at 600 dpi", JOIN_ROUND, ENDCAP_ROUND, 10.0f, 0, 3, 1, 1,
       {"SetLineDash LineDashStyle=uint16_array[48 24 72] DashOffset=uint16(24)"}},
      {"LA_STARTGAP puts the last entry first", JOIN_ROUND, ENDCAP_ROUND, 10.0f, LA_STARTGAP, 3, 1, 1,
       {"SetLineDash LineDashStyle=uint16_array[72 48 24] DashOffset=uint16(96)"}},
      {"LA_ALTERNATE", JOIN_ROUND, ENDCAP_ROUND, 10.0f, LA_ALTERNATE, 0, 0, 1,
       {"SetLineDash LineDashStyle=uint16_array[1 1]"}},
      {"a pen width beyond 16 bits saturates", JOIN_ROUND, ENDCAP_ROUND, 10.0f, 0, 0, 0, 0x12345,
       {"SetPenWidth PenWidth=uint16(65535)"}},
  };
  BRUSHOBJ* pen = black_;
  for (const Case& c : cases) {
    LINEATTRS la = Cosmetic();
    la.iJoin = c.join;
    la.iEndCap = c.cap;
    la.eMiterLimit = c.miter;
    la.fl = c.fl;
    la.cstyle = c.cstyle;
    la.pstyle = c.cstyle ? entries : nullptr;
    la.elStyleState.l = c.styleState;
    la.elWidth.l = c.width;
    EXPECT_TRUE(KpEngineStrokePath(Session(), line, nullptr, nullptr, pen, nullptr, &la, kCopyPen)) << c.name;
    ASSERT_TRUE(NextPage());
  }
  auto pages = Finish();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    for (const auto& w : cases[i].want) EXPECT_TRUE(Has(pages[i], w)) << w << "\n" << Text(pages[i]);
  }
}

// The transform of in-band 137 as six floats.
std::vector<float> Matrix(const pclxl_check::ListedItem* item) {
  std::vector<float> m(6);
  if (item->data.size() == 24) std::memcpy(m.data(), item->data.data(), 24);
  return m;
}

TEST_F(KmPath, AGeometricPenUnderAScaleIsMeasuredInWorldUnits) {
  LINEATTRS la = Cosmetic();
  la.fl = LA_GEOMETRIC;
  la.elWidth.e = 2.5f;
  const XFORML scale{3, 0, 0, 2, 50, 60};  // the offset of a pure scale is not used
  XFORMOBJ* x = Keep(KpEngineCreateXform(&scale));
  PATHOBJ* line = Path({{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{0, 0}, {Fx(100), Fx(50)}}}});
  EXPECT_TRUE(KpEngineStrokePath(Session(), line, nullptr, x, black_, nullptr, &la, kCopyPen));
  auto pages = Finish();
  // 137 of the page start, then world x page before PaintPath, then the page
  // transform back after it.
  std::vector<std::string> order;
  for (const auto& item : Listing().items)
    if ((item.inband && item.code == 137) || item.key() == kPaint) order.push_back(item.key());
  EXPECT_EQ(order, (std::vector<std::string>{"IC 137", "IC 137", kPaint, "IC 137"}));
  auto commands = Listing().commands(137);
  ASSERT_EQ(commands.size(), 3u);
  // world (the scale alone; its offset is not used) x the page's transform
  const std::vector<float> page = Matrix(commands[0]);
  EXPECT_EQ(Matrix(commands[1]),
            (std::vector<float>{3 * page[0], 3 * page[1], 2 * page[2], 2 * page[3], page[4], page[5]}));
  EXPECT_EQ(Matrix(commands[2]), Matrix(commands[0]));
  EXPECT_TRUE(Has(pages[0], "SetPenWidth PenWidth=uint16(2)"));
}

// ---- Clipping ------------------------------------------------------------------------------------

TEST_F(KmPath, TheClipFollowsTheClipObjects) {
  PATHOBJ* small = Rect(20, 20, 40, 40);
  auto fill = [&](CLIPOBJ* c) { return KpEngineFillPath(Session(), small, c, black_, nullptr, kCopyPen, 0); };
  const auto tri = Keep(KpEngineCreateClip(DC_TRIVIAL, 0, nullptr));
  PATHOBJ* poly = Keep([] {
    const POINTFIX p[3] = {{Fx(20), Fx(20)}, {Fx(60), Fx(25)}, {Fx(30), Fx(50)}};
    return KpEngineCreatePolygonPath(3, p);
  }());
  auto fillPoly = [&](CLIPOBJ* c) { return KpEngineFillPath(Session(), poly, c, black_, nullptr, kCopyPen, 0); };
  const size_t live = KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS);

  EXPECT_TRUE(fillPoly(ClipRect(0, 0, 100, 100)));          // 1 containing rectangle: nothing
  EXPECT_TRUE(fillPoly(ClipRect(25, 0, 100, 100)));         // 2 cutting rectangle
  EXPECT_TRUE(fillPoly(ClipRect(25, 0, 100, 100)));         // 3 again: nothing
  CLIPOBJ* region = Region({{0, 0, 30, 30}, {40, 40, 70, 70}});
  EXPECT_TRUE(fillPoly(region));                            // 4 region
  EXPECT_TRUE(fillPoly(Region({{0, 0, 30, 30}, {40, 40, 70, 70}})));  // 5 the same region: nothing
  EXPECT_TRUE(fillPoly(Region({{0, 0, 30, 30}, {40, 40, 70, 71}})));  // 6 one point moved: resent
  EXPECT_TRUE(fillPoly(tri));                               // 7 trivial: SetClipToPage
  KpEngineFailClipPath();
  SetLastError(0);
  EXPECT_FALSE(fillPoly(region));                           // 8 no clip path: FALSE
  EXPECT_TRUE(fill(ClipRect(30, 30, 100, 100)));            // 9 self-clipped fill
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), live + 7) << "every clip path deleted";
  ASSERT_TRUE(NextPage());
  EXPECT_TRUE(fillPoly(region));  // the next page: the clip is sent whole
  auto pages = Finish();
  ASSERT_EQ(pages.size(), 2u);

  // The clip operators of the first page in order, with the paints between.
  Lines clips;
  for (const auto& l : pages[0]) {
    if (l.rfind("SetClip", 0) == 0 || l.rfind(kPaint, 0) == 0 || l.rfind("Rectangle", 0) == 0)
      clips.push_back(l.substr(0, l.find(' ')) + (l.rfind("SetClipRectangle", 0) == 0 ? l.substr(l.find(' ')) : ""));
  }
  const Lines want = {
      "PaintPath",                                                               // 1
      "SetClipRectangle ClipRegion=ubyte(0) BoundingBox=ubyte_box(25,0,100,100)", "PaintPath",  // 2
      "PaintPath",                                                               // 3
      "SetClipToPage", "SetClipMode", "SetClipReplace", "PaintPath",             // 4
      "PaintPath",                                                               // 5
      "SetClipToPage", "SetClipMode", "SetClipReplace", "PaintPath",             // 6
      "SetClipToPage", "PaintPath",                                              // 7
      "Rectangle",                                                               // 9
  };
  EXPECT_EQ(clips, want) << Text(pages[0]);
  // The self-clipped fill is one rectangle, the intersection.
  EXPECT_TRUE(Has(pages[0], "Rectangle BoundingBox=ubyte_box(30,30,40,40)")) << Text(pages[0]);
  // Next page: its page clip, then the region whole.
  EXPECT_EQ(Matching(pages[1], "SetClipReplace").size(), 1u) << Text(pages[1]);
}

TEST_F(KmPath, ASelfClippedFillTheClipMissesDrawsNothing) {
  EXPECT_TRUE(KpEngineFillPath(Session(), Rect(20, 20, 40, 40), ClipRect(100, 100, 200, 200), black_, nullptr,
                               kCopyPen, 0));
  auto pages = Finish();
  EXPECT_FALSE(Has(pages[0], "Rectangle")) << Text(pages[0]);
}

TEST_F(KmPath, NoClipPathIsLeftAtTheEnd) {
  const size_t blocks = KpEngineBlockCount(0);
  EXPECT_TRUE(KpEngineFillPath(Session(), Rect(20, 20, 40, 40), Region({{0, 0, 30, 30}, {35, 35, 50, 50}}), black_,
                               nullptr, kCopyPen, 0));
  EXPECT_NE(Pdev()->clipPath, nullptr);
  ASSERT_TRUE(NextPage());
  EXPECT_EQ(Pdev()->clipPath, nullptr) << "a page start drops the cached clip path";
  EXPECT_EQ(Pdev()->clipState, KM_CLIP_RESET);
  Finish();
  EXPECT_LE(KpEngineBlockCount(0), blocks);
}

}  // namespace
