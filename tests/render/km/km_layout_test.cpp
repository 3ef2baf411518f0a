// The page matrices of kestrelkm: the matrix operations, the N-up cells and
// their order types, the layout pipeline of one logical page with its
// binding margin, zoom, print origin and device frame, checked against
// points computed by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>

#include "impose.h"
#include "kestrel/core/transedge.h"
#include "layout.h"
#include "pagemat.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

struct Pt {
  double x, y;
};
Pt Apply(const nrvxform& m, double x, double y) {
  return Pt{x * m.m11 + y * m.m21 + m.dx, x * m.m12 + y * m.m22 + m.dy};
}
Pt Apply(const float m[6], double x, double y) { return Apply(nrvxform{m[0], m[1], m[2], m[3], m[4], m[5]}, x, y); }

#define EXPECT_PT(p, ex, ey)           \
  do {                                 \
    const Pt q_ = (p);                 \
    EXPECT_NEAR(q_.x, (ex), 0.51) << "x"; \
    EXPECT_NEAR(q_.y, (ey), 0.51) << "y"; \
  } while (0)

bool Same(const nrvxform& a, const nrvxform& b) {
  return std::bit_cast<DWORD>(a.m11) == std::bit_cast<DWORD>(b.m11) &&
         std::bit_cast<DWORD>(a.m12) == std::bit_cast<DWORD>(b.m12) &&
         std::bit_cast<DWORD>(a.m21) == std::bit_cast<DWORD>(b.m21) &&
         std::bit_cast<DWORD>(a.m22) == std::bit_cast<DWORD>(b.m22) &&
         std::bit_cast<DWORD>(a.dx) == std::bit_cast<DWORD>(b.dx) &&
         std::bit_cast<DWORD>(a.dy) == std::bit_cast<DWORD>(b.dy);
}

// A4 in 0.1 mm with 4.2 mm margins on every side.
JOBREC_PAPER A4(bool landscape) {
  JOBREC_PAPER p{};
  p.paperCode = 9;
  p.width = landscape ? 2970 : 2100;
  p.height = landscape ? 2100 : 2970;
  p.imageableWidth = landscape ? 2886 : 2016;
  p.imageableHeight = landscape ? 2016 : 2886;
  p.left = p.top = 42;
  p.landscape = landscape ? 1 : 0;
  p.marginLeft = p.marginRight = p.marginTop = p.marginBottom = 42;
  return p;
}

// One A4 page a portrait A4 sheet.
LAYOUTINFO Plain(WORD dpi) {
  LAYOUTINFO l{};
  l.inputPaper = A4(false);
  l.outputPaper = A4(false);
  l.zoomPercent = 100;
  l.nup = 1;
  l.gridColumns = l.gridRows = 1;
  l.resolutionX = l.resolutionY = dpi;
  return l;
}

PAGEINFO Info(const LAYOUTINFO& l) {
  PAGEINFO p{};
  EXPECT_EQ(_setPageInfoStruct(&l, &p), 0);
  return p;
}

TEST(KmLayoutMatrix, OperationsKeepTheirAlgebra) {
  const nrvxform m{0.5f, 2.0f, -3.0f, 0.25f, 10.0f, -7.5f};
  nrvxform id{};
  ASSERT_EQ(SetUnitMatrix(&id), 0);
  nrvxform r{};
  ASSERT_EQ(comm_Matrix_Product(&r, &m, &id), 0);
  EXPECT_TRUE(Same(r, m));
  ASSERT_EQ(comm_Matrix_Product(&r, &id, &m), 0);
  EXPECT_TRUE(Same(r, m));

  r = m;
  ASSERT_EQ(_shiftMatrix(&r, 0.0f, 0.0f), 0);
  EXPECT_TRUE(Same(r, m));
  // A shift is a translation applied first.
  const nrvxform t{1, 0, 0, 1, 4.0f, -2.0f};
  nrvxform viaProduct{};
  ASSERT_EQ(comm_Matrix_Product(&viaProduct, &t, &m), 0);
  r = m;
  ASSERT_EQ(_nrvxform_shiftMatrix(&r, 4.0f, -2.0f), 0);
  EXPECT_TRUE(Same(r, viaProduct));

  r = m;
  ASSERT_EQ(_upSideDownMatrix(&r), 0);
  EXPECT_EQ(r.m21, 3.0f);
  EXPECT_EQ(r.m22, -0.25f);
  ASSERT_EQ(_upSideDownMatrix(&r), 0);
  EXPECT_TRUE(Same(r, m));

  // A x B applies A first: translate by (1, 2), then scale by 2.
  const nrvxform a{1, 0, 0, 1, 1, 2}, b{2, 0, 0, 2, 0, 0};
  ASSERT_EQ(comm_Matrix_Product(&r, &a, &b), 0);
  EXPECT_PT(Apply(r, 0, 0), 2, 4);

  EXPECT_EQ(comm_Matrix_Product(nullptr, &a, &b), -1);
  EXPECT_EQ(comm_Matrix_Product(&r, nullptr, &b), -1);
  EXPECT_EQ(_shiftMatrix(nullptr, 0, 0), -1);
  EXPECT_EQ(pagemat_setBaseMatrix(nullptr), -1);
}

TEST(KmLayoutMatrix, ConversionsOfTenthsOfMillimetres) {
  LAYOUTINFO l = Plain(600);
  EXPECT_EQ(l_dmm2dev(&l, 2100, LAYOUT_AXIS_X), 4960);  // 4960.6, truncated
  l.resolutionY = 300;
  EXPECT_EQ(l_dmm2dev(&l, 2970, LAYOUT_AXIS_Y), 3507);
  EXPECT_EQ(std::bit_cast<float>(f_dmm2dev(&l, 254, LAYOUT_AXIS_X)), 600.0f);
  FLOATOBJ f{};
  FLOATOBJ_SetLong(&f, 7);
  FLOATOBJ_set_dmm2device(&f, 100, 0);  // a resolution of 0 leaves the target
  EXPECT_EQ(FLOATOBJ_GetLong(&f), 7);
  EXPECT_EQ(layout_FLOATOBJ_GetFloatLong(3), std::bit_cast<DWORD>(3.0f));
  EXPECT_EQ(PFLOAT2FLOATLONG(1.5f), std::bit_cast<DWORD>(1.5f));
}

TEST(KmLayoutNup, CellsOfEveryTypeOnATwoByFourGrid) {
  // Column and row of pages 1-8 on 2 columns x 4 rows.
  const char* expected[8] = {
      "00 10 01 11 02 12 03 13", "00 01 02 03 10 11 12 13", "10 00 11 01 12 02 13 03",
      "10 11 12 13 00 01 02 03", "03 13 02 12 01 11 00 10", "03 02 01 00 13 12 11 10",
      "13 03 12 02 11 01 10 00", "13 12 11 10 03 02 01 00"};
  for (LONG type = 0; type < 8; ++type) {
    std::string got;
    for (LONG page = 1; page <= 8; ++page) {
      LONG c = -1, r = -1;
      ASSERT_EQ(GetXupCell(type, 2, 4, page, &c, &r), 0);
      if (!got.empty()) got += ' ';
      got += std::to_string(c) + std::to_string(r);
    }
    EXPECT_EQ(got, expected[type]) << "type " << type;
  }
  LONG c = 0, r = 0;
  EXPECT_EQ(GetXupCell(0, 2, 2, 6, &c, &r), 0);  // page 6 of 4-up wraps to the second cell
  EXPECT_EQ(c, 1);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(GetXupCell(8, 2, 2, 1, &c, &r), -1);
  EXPECT_EQ(GetXupCell(0, 0, 2, 1, &c, &r), -1);
  EXPECT_EQ(GetXupCell(0, 2, 2, 0, &c, &r), -1);
}

TEST(KmLayoutNup, TypeSelection) {
  struct Case {
    LONG count, order, rotated, type;
  } cases[] = {
      {1, 0, 0, 4}, {1, 5, 1, 4},
      {2, 1, 1, 1}, {2, 3, 1, 1}, {2, 4, 1, 1}, {2, 0, 1, 5}, {2, 5, 1, 5},
      // Unturned cells (one column as read): page 1 on top for every order.
      {2, 1, 0, 5}, {2, 4, 0, 5}, {2, 2, 0, 5}, {2, 5, 0, 5}, {2, 6, 0, 5},
      {4, 3, 1, 1}, {4, 4, 1, 0}, {8, 5, 1, 5}, {16, 6, 1, 4},
      {4, 3, 0, 4}, {8, 4, 0, 5}, {16, 5, 0, 6}, {32, 6, 0, 7},
      // Orders 0-2 above two pages a sheet: as order 3.
      {4, 0, 1, 1}, {8, 2, 1, 1}, {16, 1, 0, 4}, {32, 0, 0, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetXupType(c.count, c.order, c.rotated), c.type) << c.count << " " << c.order << " " << c.rotated;
}

TEST(KmLayoutNup, PageSixOfFourUpThroughTheLayoutAndTheLayoutInformation) {
  LAYOUTINFO l = Plain(600);
  l.nup = 4;
  l.gridColumns = l.gridRows = 2;
  l.pageOrder = 4;
  l.paperTurned = 1;  // rotated cells, order 4: type 0
  const PAGEINFO info = Info(l);
  ASSERT_EQ(GetXupType(info.nupCount, info.nupOrder, info.cellRotation), 0);
  nrvxform m6{}, m2{}, m1{};
  LAYOUT_RECT cell{};
  ASSERT_EQ(comm_Page_Layout(&m6, &info, 6, 1, &cell), 0);
  // The output area 99..4861 x 99..6916 halves into 2381 x 3408 cells:
  // column 1, row 0 (the row next to the record's top, the lower half of
  // the sheet once y points down).
  EXPECT_EQ(cell.left, 99 + 2381);
  EXPECT_EQ(cell.right, 99 + 2 * 2381);
  EXPECT_EQ(cell.top, 7015 - (99 + 3408));
  EXPECT_EQ(cell.bottom, 7015 - 99);
  ASSERT_EQ(comm_Page_Layout(&m2, &info, 2, 1), 0);
  ASSERT_EQ(comm_Page_Layout(&m1, &info, 1, 1), 0);
  EXPECT_TRUE(Same(m6, m2));
  EXPECT_FALSE(Same(m6, m1));

  float byIndex[6], byIndex1[6];
  ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex, &l, 5, 0), 0);
  ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex1, &l, 1, 0), 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(byIndex[i], byIndex1[i]);
  nrvxform dev{};
  ASSERT_EQ(_culcDeviceMatrix(&info, &m6, &dev), 0);
  EXPECT_TRUE(Same(dev, nrvxform{byIndex[0], byIndex[1], byIndex[2], byIndex[3], byIndex[4], byIndex[5]}));

  EXPECT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex, &l, 32, 0), -1);
  EXPECT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex, &l, -1, 0), -1);
  EXPECT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex, &l, 0, 2), -1);
  EXPECT_EQ(pagemat_setPageMatrix_byLayoutInfo(byIndex, nullptr, 0, 0), -1);
}

TEST(KmLayoutDevice, OneUpPortraitMapsDevicePixelsOntoThePrintableArea) {
  // 600 dpi: A4 is 4960 x 7015 pixels, the area 99..4861 x 99..6916.
  const LAYOUTINFO l = Plain(600);
  const PAGEINFO info = Info(l);
  EXPECT_EQ(info.pagePaperLength, 7015);
  EXPECT_EQ(info.pageArea.right, 4861);
  EXPECT_EQ(info.outArea.bottom, 6916);
  float m[6];
  ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(m, &l, 0, 0), 0);
  EXPECT_PT(Apply(m, 0, 0), 99, 99);
  EXPECT_PT(Apply(m, 100, 200), 199, 299);
  EXPECT_PT(Apply(m, 4762, 6817), 4861, 6916);
}

TEST(KmLayoutDevice, PortraitPageOnLandscapeOutputTurnsAndFits) {
  LAYOUTINFO l = Plain(600);
  l.inputPaper = A4(true);  // a record of landscape dimensions
  l.landscapeOutput = 1;
  l.orientation = 0;
  const PAGEINFO info = Info(l);
  // The page group exchanged: 4960 x 7015, area 99..4861 x 99..6916.
  EXPECT_EQ(info.pagePaperWidth, 4960);
  EXPECT_EQ(info.pageArea.bottom, 6916);
  float m[6];
  ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(m, &l, 0, 0), 0);
  // Turned a quarter and fitted by r = 4762 / 6817: device (x, y) lands at
  // (99 + r y, 99 + r (4762 - x)).
  const double r = static_cast<double>(static_cast<float>(4762.0 / 6817.0));
  EXPECT_PT(Apply(m, 0, 0), 99, 99 + 4762 * r);
  EXPECT_PT(Apply(m, 4762, 0), 99, 99);
  EXPECT_PT(Apply(m, 1000, 2000), 99 + 2000 * r, 99 + 3762 * r);
}

TEST(KmLayoutZoom, PercentsAtTheEndsOfTheRange) {
  for (WORD percent : {25, 400}) {
    LAYOUTINFO l = Plain(254);  // one pixel a tenth of a millimetre
    l.zoomOn = 1;
    l.zoomPercent = percent;
    const PAGEINFO info = Info(l);
    FLOATOBJ z{};
    ASSERT_EQ(GetZoom(&info, &z), 0);
    EXPECT_EQ(FLOATOBJ_GetFloat(&z), percent / 100.0f);
    nrvxform m{};
    ASSERT_EQ(comm_Page_Layout(&m, &info, 1, 1), 0);
    EXPECT_EQ(m.m11, percent / 100.0f);
    EXPECT_EQ(m.m22, percent / 100.0f);
  }
  for (WORD percent : {24, 401}) {
    LAYOUTINFO l = Plain(254);
    l.zoomOn = 1;
    l.zoomPercent = percent;
    const PAGEINFO info = Info(l);
    FLOATOBJ z{};
    EXPECT_EQ(GetZoom(&info, &z), -1);
    nrvxform m{};
    EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 1), -1);
  }
}

TEST(KmLayoutZoom, HalvingFitsHalfTheSheetTimesTheFactor) {
  PAGEINFO p{};
  p.pageArea = LAYOUT_RECT{0, 0, 100, 200};
  p.outArea = LAYOUT_RECT{0, 0, 400, 300};
  p.halving = 1;
  FLOATOBJ z{};
  ASSERT_EQ(GetZoom(&p, &z), 0);
  // Half height 150 over the page width 100 is the smaller quotient.
  EXPECT_EQ(FLOATOBJ_GetFloat(&z), static_cast<float>(1.5 * std::bit_cast<float>(0x3FB504F3u)));
  p.halving = 0;
  ASSERT_EQ(GetZoom(&p, &z), 0);
  EXPECT_EQ(FLOATOBJ_GetFloat(&z), 1.5f);  // min(300 / 200, 400 / 100)
}

TEST(KmLayoutZoom, NoExtentFailsThePage) {
  nrvxform m{};
  LAYOUTINFO l = Plain(600);
  l.inputPaper.imageableWidth = 0;
  PAGEINFO info = Info(l);
  FLOATOBJ z{};
  EXPECT_EQ(GetZoom(&info, &z), -1);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 1), -1);
  l = Plain(0);  // no resolution: no extent
  info = Info(l);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 1), -1);
  l = Plain(600);
  l.gridColumns = 0;
  info = Info(l);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 1), -1);
  // An N-up cell narrower than a pixel.
  l = Plain(600);
  l.outputPaper.imageableWidth = 1;
  l.nup = 32;
  l.gridColumns = 4;
  l.gridRows = 8;
  info = Info(l);
  LAYOUT_RECT cell{};
  EXPECT_EQ(GetXupLogPageArea(&info, 1, &cell), -1);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 1), -1);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 0, 1), -1);
  EXPECT_EQ(comm_Page_Layout(&m, &info, 1, 3), -1);
}

TEST(KmLayoutOrigin, KindFourCentresTheZoomedPage) {
  LAYOUTINFO l = Plain(254);
  l.zoomOn = 1;
  l.zoomPercent = 50;
  l.member382 = 4;
  const PAGEINFO info = Info(l);
  nrvxform m{};
  LAYOUT_RECT cell{};
  ASSERT_EQ(comm_Page_Layout(&m, &info, 1, 1, &cell), 0);
  // The page area's centre lands on the cell's centre (layout space, the
  // cell's record top and bottom 42 and 2928).
  const Pt c = Apply(m, (info.pageArea.left + info.pageArea.right) / 2.0, (info.pageArea.top + info.pageArea.bottom) / 2.0);
  EXPECT_NEAR(c.x, (42 + 2058) / 2.0, 0.51);
  EXPECT_NEAR(c.y, (42 + 2928) / 2.0, 0.51);
}

// Every print origin keeps the page in its N-up cell, portrait and
// landscape, on the cells a job turns (2-, 8-up portrait; 4-up landscape)
// and on those it does not; kind 4 centres it. The records are the job's:
// the input record as the sheet lies, landscape output for a landscape
// page, the grid and its flags as the job records set them.
TEST(KmLayoutOrigin, EveryKindKeepsThePageInItsCell) {
  for (LONG orientation : {0, 1})
    for (LONG nup : {1, 2, 4, 8})
      for (LONG kind : {1, 2, 3, 4})
        for (LONG page : {1, 2}) {
          SCOPED_TRACE(testing::Message() << "orientation " << orientation << " " << nup << "-up kind " << kind
                                          << " page " << page);
          LAYOUTINFO l = Plain(600);
          l.landscapeOutput = orientation;
          l.orientation = orientation;
          l.nup = nup;
          l.gridColumns = nup == 1 ? 1 : (nup == 2 ? 1 : 2);
          l.gridRows = nup / l.gridColumns;
          l.gridTurned = nup == 2 || nup == 8 ? 1 : 0;
          l.paperTurned = orientation != l.gridTurned ? 1 : 0;
          l.pageOrder = 3;
          l.member382 = kind;
          const PAGEINFO info = Info(l);
          nrvxform m{}, dev{};
          LAYOUT_RECT cell{};
          ASSERT_EQ(comm_Page_Layout(&m, &info, page, 1, &cell), 0);
          ASSERT_EQ(_culcDeviceMatrix(&info, &m, &dev), 0);
          // The device page's corners on the sheet (y down, as the cell).
          const double w = info.pageArea.right - info.pageArea.left, h = info.pageArea.bottom - info.pageArea.top;
          double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
          for (double x : {0.0, w})
            for (double y : {0.0, h}) {
              const Pt q = Apply(dev, x, y);
              left = std::min(left, q.x);
              right = std::max(right, q.x);
              top = std::min(top, q.y);
              bottom = std::max(bottom, q.y);
            }
          EXPECT_GE(left, cell.left - 1.0);
          EXPECT_GE(top, cell.top - 1.0);
          EXPECT_LE(right, cell.right + 1.0);
          EXPECT_LE(bottom, cell.bottom + 1.0);
          if (kind == 4) {
            EXPECT_NEAR((left + right) / 2, (cell.left + cell.right) / 2.0, 1.0);
            EXPECT_NEAR((top + bottom) / 2, (cell.top + cell.bottom) / 2.0, 1.0);
          }
        }
}

TEST(KmLayoutOrigin, DirectionsAndBackSideMirroring) {
  const LONG unrotated[5][2] = {{0, 0}, {1, 0}, {1, -1}, {0, -1}, {1, -1}};
  const LONG rotated[5][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {1, 1}};
  for (LONG kind = 0; kind < 5; ++kind) {
    LONG dx = 9, dy = 9;
    ASSERT_EQ(GetDirectionToMove(kind, 0, &dx, &dy), 0);
    EXPECT_EQ(dx, unrotated[kind][0]);
    EXPECT_EQ(dy, unrotated[kind][1]);
    ASSERT_EQ(GetDirectionToMove(kind, 1, &dx, &dy), 0);
    EXPECT_EQ(dx, rotated[kind][0]);
    EXPECT_EQ(dy, rotated[kind][1]);
  }
  LONG dx, dy;
  EXPECT_EQ(GetDirectionToMove(5, 0, &dx, &dy), -1);
  struct Case {
    LONG duplex, rotated;
    LONG back[5];
  } cases[] = {
      {1, 1, {1, 0, 3, 2, 4}}, {2, 0, {1, 0, 3, 2, 4}}, {2, 1, {3, 2, 1, 0, 4}}, {1, 0, {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases)
    for (LONG kind = 0; kind < 5; ++kind)
      EXPECT_EQ(GetPrintOriginBack(kind, c.duplex, c.rotated), c.back[kind])
          << "duplex " << c.duplex << " rotated " << c.rotated << " kind " << kind;
}

TEST(KmLayoutBinding, KindsOnFrontAndBackInBothDuplexKinds) {
  // 254 dpi: the output area 42..2058 x 42..2928 on a 2100 x 2970 sheet; a
  // front margin of 100 moves an edge 58 inward, a back margin of 150 108.
  enum Edge { L, B, T, R };
  struct Case {
    LONG kind, orientation, side, duplex;
    Edge edge;
    LONG by;
  } cases[] = {
      {1, 0, 1, 0, L, 58}, {1, 1, 1, 0, B, 58}, {2, 0, 1, 0, R, 58}, {2, 1, 1, 0, T, 58},
      {3, 0, 1, 0, B, 58}, {3, 1, 1, 0, R, 58}, {4, 0, 1, 0, T, 58}, {4, 1, 1, 0, L, 58},
      // Back sides: duplex 2 mirrors kinds 1 and 2, duplex 1 kinds 3 and 4.
      {1, 0, 2, 2, R, 108}, {2, 0, 2, 2, L, 108}, {3, 0, 2, 2, B, 108}, {4, 1, 2, 2, L, 108},
      {3, 0, 2, 1, T, 108}, {4, 0, 2, 1, B, 108}, {1, 0, 2, 1, L, 108}, {2, 1, 2, 1, T, 108},
      // Simplex: the back of nothing, front rules.
      {1, 0, 2, 0, L, 58},
  };
  for (bool edgeOnly : {false, true}) {
    for (const Case& c : cases) {
      LAYOUTINFO l = Plain(254);
      l.marginPosition = c.kind;
      l.orientation = c.orientation;
      l.binding = c.duplex;
      l.margin1 = 100;
      l.margin2 = 150;
      l.member1283Set = edgeOnly ? 1 : 0;
      // A landscape page on portrait output would turn; keep the page
      // upright on the sheet so only the area moves.
      l.landscapeOutput = c.orientation;
      if (c.orientation) l.inputPaper = A4(true);
      const PAGEINFO info = Info(l);
      nrvxform m{};
      LAYOUT_RECT cell{};
      ASSERT_EQ(comm_Page_Layout(&m, &info, 1, c.side, &cell), 0);
      // The record's area, back from the cell measured from the sheet's length.
      LAYOUT_RECT a{cell.left, 2970 - cell.bottom, cell.right, 2970 - cell.top};
      LAYOUT_RECT want{42, 42, 2058, 2928};
      const LONG k = c.by;
      const LONG shift = edgeOnly ? 0 : k;
      switch (c.edge) {
        case L: want.left += k; want.right += shift; break;
        case R: want.right -= k; want.left -= shift; break;
        case T: want.top += k; want.bottom += shift; break;
        case B: want.bottom -= k; want.top -= shift; break;
      }
      EXPECT_EQ(a.left, want.left) << c.kind << c.orientation << c.side << c.duplex << edgeOnly;
      EXPECT_EQ(a.top, want.top) << c.kind << c.orientation << c.side << c.duplex << edgeOnly;
      EXPECT_EQ(a.right, want.right) << c.kind << c.orientation << c.side << c.duplex << edgeOnly;
      EXPECT_EQ(a.bottom, want.bottom) << c.kind << c.orientation << c.side << c.duplex << edgeOnly;
    }
  }
}

TEST(KmLayoutTurn, HalfTurnKindsAndThePaperTurns) {
  struct Case {
    LONG kind, landscapeOutput;
    BOOL turns;
  } cases[] = {{0, 0, FALSE}, {1, 0, FALSE}, {1, 1, TRUE}, {2, 0, TRUE}, {2, 1, FALSE}, {3, 0, TRUE}, {3, 1, TRUE}};
  for (const Case& c : cases) {
    PAGEINFO p{};
    p.rotate180Kind = c.kind;
    p.landscapeOutput = c.landscapeOutput;
    EXPECT_EQ(isRotate180Original(&p), c.turns) << c.kind << " " << c.landscapeOutput;
  }
  // A turned 1-up page: device (0, 0) lands on the far corner of the area.
  LAYOUTINFO l = Plain(254);
  l.rotate180Kind = 3;
  float m[6];
  ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(m, &l, 0, 0), 0);
  EXPECT_PT(Apply(m, 0, 0), 2058, 2928);
  // One matrix under both names: {-1, 0, 0, -1, width, height}.
  const nrvxform id{1, 0, 0, 1, 0, 0};
  nrvxform a{}, b{};
  ASSERT_EQ(_rotatePaper180(&a, &id, 2100.0f, 2970.0f), 0);
  ASSERT_EQ(_rotetePaper180(&l, &b, &id, 2100, 2970), 0);
  EXPECT_TRUE(Same(a, b));
  EXPECT_PT(Apply(a, 0, 0), 2100, 2970);
  ASSERT_EQ(_rotateLandToPort(&a, &id, 2970.0f), 0);
  EXPECT_PT(Apply(a, 10, 0), 2970, 10);
}

TEST(KmLayoutDevice, BookletFrameAndTheSheetFlip) {
  const nrvxform id{1, 0, 0, 1, 0, 0};
  nrvxform d{};
  ASSERT_EQ(layout_culcDeviceMatrix(&id, &d, 100.0f, 5.0f, 7.0f, 300.0f), 0);
  // T(5, 7), flip in 100, flip in 300: (x, y) -> (x + 5, 200 + y + 7).
  EXPECT_PT(Apply(d, 1, 2), 6, 209);
  const PAGEINFO info = Info(Plain(254));
  ASSERT_EQ(_setDeviceMatrix(&info, &d), 0);
  EXPECT_PT(Apply(d, 3, 0), 3, 2970);
}


// ---- Poster -------------------------------------------------------------------------

PSTR_PARAM Walk(nrvxform m, WORD cols, WORD rows) {
  PSTR_PARAM p{};
  p.matrix = m;
  p.columns = cols;
  p.rows = rows;
  p.tileWidth = 100.0f;
  p.tileHeight = 200.0f;
  EXPECT_EQ(_pstrJob_getDirection(&p), 0);
  return p;
}

TEST(KmPoster, WalkOfTheDefaultAndOfAQuarterTurnedMatrix) {
  // Upright: x first, tiles across then down.
  PSTR_PARAM p = Walk(nrvxform{2, 0, 0, 2, 10, 20}, 2, 2);
  EXPECT_EQ(p.xFirst, 1);
  EXPECT_EQ(p.stepY, 1);
  const float upright[4][2] = {{10, 20}, {-90, 20}, {10, -180}, {-90, -180}};
  for (LONG tile = 0; tile < 4; ++tile) {
    nrvxform m{};
    ASSERT_EQ(pstrJob_getPageXform(&m, &p, tile), 0);
    EXPECT_EQ(m.dx, upright[tile][0]) << tile;
    EXPECT_EQ(m.dy, upright[tile][1]) << tile;
    EXPECT_EQ(m.m11, 2.0f);
  }
  nrvxform m{};
  EXPECT_EQ(pstrJob_getPageXform(&m, &p, 4), -1);  // tile 4 of 2 x 2
  EXPECT_EQ(pstrJob_getPageXform(&m, &p, -1), -1);

  // A quarter turn (m12 and m21 of opposite signs): y first, from the last
  // row up.
  p = Walk(nrvxform{0, 2, -2, 0, 0, 0}, 2, 3);
  EXPECT_EQ(p.xFirst, 0);
  EXPECT_EQ(p.stepY, -1);
  EXPECT_EQ(p.firstY, 2);
  EXPECT_EQ(p.lastY, 0);
  // Tiles 0-5: (0, 2), (0, 1), (0, 0), (1, 2), (1, 1), (1, 0).
  const LONG targets[6][2] = {{0, 2}, {0, 1}, {0, 0}, {1, 2}, {1, 1}, {1, 0}};
  for (LONG tile = 0; tile < 6; ++tile) {
    ASSERT_EQ(pstrJob_getPageXform(&m, &p, tile), 0);
    EXPECT_EQ(m.dx, -100.0f * targets[tile][0]) << tile;
    EXPECT_EQ(m.dy, -200.0f * targets[tile][1]) << tile;
  }

  // Not a quarter turn, or no tiles: refused.
  PSTR_PARAM bad{};
  bad.matrix = nrvxform{1, 0.5f, 0, 1, 0, 0};
  bad.columns = bad.rows = 2;
  EXPECT_EQ(_pstrJob_getDirection(&bad), -1);
  bad.matrix = nrvxform{1, 0, 0, 1, 0, 0};
  bad.rows = 0;
  EXPECT_EQ(_pstrJob_getDirection(&bad), -1);
  EXPECT_EQ(pstrJob_getPageXform(&m, &bad, 0), -1);
}

TEST(KmPoster, LayoutParametersAndRefusedPartCounts) {
  LAYOUTINFO l = Plain(254);
  l.posterAcross = l.posterDown = 2;
  PSTR_PARAM p{};
  ASSERT_EQ(pstrJob_getLayoutParam(&l, &p), 0);
  EXPECT_EQ(p.columns, 2);
  EXPECT_EQ(p.tileWidth, 2016.0f);
  EXPECT_EQ(p.tileHeight, 2886.0f);
  EXPECT_EQ(p.matrix.m11, 2.0f);  // the page fills the doubled output area
  l.posterDown = 0;
  EXPECT_EQ(pstrJob_getLayoutParam(&l, &p), -1);
  // An enlarged sheet beyond the 16-bit paper fields.
  l.posterDown = 2;
  l.posterAcross = 40;
  EXPECT_EQ(pstrJob_getLayoutParam(&l, &p), -1);
}

// ---- Booklet ------------------------------------------------------------------------

TEST(KmBooklet, SurfacesOfABook) {
  EXPECT_EQ(booklet_getNumOfPaperSurfaces(0, 7, 0), 4);
  EXPECT_EQ(booklet_getNumOfPaperSurfaces(0, 7, 1), 5);
  EXPECT_EQ(booklet_getNumOfPaperSurfaces(8, 15, 1), 4);  // the cover only counts from page 0
  EXPECT_EQ(booklet_getNumOfPaperSurfaces(0, 8, 0), 6);
}

TEST(KmBooklet, EightPagesFoldIntoPairsOnEveryBindingAndDirection) {
  for (LONG binding : {1, 2}) {
    for (LONG rtl : {0, 1}) {
      std::set<LONG> seen;
      for (LONG c = 0; c < 4; ++c) {
        const LONG a = booklet_getLogicalPage(0, 7, c, 0, binding, rtl, 0);
        const LONG b = booklet_getLogicalPage(0, 7, c, 1, binding, rtl, 0);
        EXPECT_EQ(a + b, 7) << "binding " << binding << " rtl " << rtl << " surface " << c;
        seen.insert(a);
        seen.insert(b);
      }
      EXPECT_EQ(seen.size(), 8u) << "binding " << binding << " rtl " << rtl;
    }
  }
  // Left to right bound on side 1: the innermost surface holds 3 and 4, the
  // outermost 7 and 0; right to left starts from the outside.
  EXPECT_EQ(booklet_getLogicalPage(0, 7, 0, 0, 1, 0, 0), 3);
  EXPECT_EQ(booklet_getLogicalPage(0, 7, 0, 1, 1, 0, 0), 4);
  EXPECT_EQ(booklet_getLogicalPage(0, 7, 3, 0, 1, 0, 0), 7);
  EXPECT_EQ(booklet_getLogicalPage(0, 7, 0, 0, 1, 1, 0), 7);
  EXPECT_EQ(booklet_getLogicalPage(0, 7, 0, 1, 1, 1, 0), 0);
}

TEST(KmBooklet, PagesPastTheLastAreBlankHalves) {
  // 9 pages (0-8) on 3 sheets: 12 halves, three blank.
  std::vector<LONG> pages;
  for (LONG c = 0; c < 6; ++c)
    for (LONG side : {0, 1}) pages.push_back(booklet_getLogicalPage(0, 8, c, side, 1, 0, 0));
  std::multiset<LONG> got(pages.begin(), pages.end());
  EXPECT_EQ(got.count(BOOKLET_BLANK), 3u);
  for (LONG p = 0; p <= 8; ++p) EXPECT_EQ(got.count(p), 1u) << p;
}

TEST(KmBooklet, PartitionsIntoSubBooklets) {
  EXPECT_EQ(booklet_getBookletPartitionList(9, 0, 2, nullptr), 2);
  BOOKLET_PARTITION list[2]{};
  ASSERT_EQ(booklet_getBookletPartitionList(9, 0, 2, list), 0);
  EXPECT_EQ(list[0].first, 0);
  EXPECT_EQ(list[0].last, 7);
  EXPECT_EQ(list[1].first, 8);
  EXPECT_EQ(list[1].last, 8);
  ASSERT_EQ(booklet_getBookletPartitionList(9, 1, 2, list), 0);  // filled from the last slot
  EXPECT_EQ(list[1].first, 0);
  EXPECT_EQ(list[1].last, 7);
  EXPECT_EQ(list[0].first, 8);
  EXPECT_EQ(list[0].last, 8);
  // Sheets per booklet 0 (or below): one booklet of all sheets, no division.
  for (LONG per : {0, -3}) {
    EXPECT_EQ(booklet_getBookletPartitionList(9, 0, per, nullptr), 1);
    BOOKLET_PARTITION one{};
    ASSERT_EQ(booklet_getBookletPartitionList(9, 0, per, &one), 0);
    EXPECT_EQ(one.first, 0);
    EXPECT_EQ(one.last, 8);
  }
  EXPECT_EQ(booklet_getBookletPartitionList(0, 0, 0, nullptr), 0);
  EXPECT_EQ(booklet_getBookletPartitionList(9, 0, 0x7FFFFFFF, nullptr), 1);  // no overflow
}

TEST(KmBooklet, SessionsCompleteAtFourPagesASheet) {
  struct Case {
    LONG first, page, sheets, flag, answer;
  } cases[] = {
      {0, 7, 2, 0, 1}, {0, 6, 2, 0, 2}, {8, 15, 2, 0, 1}, {8, 14, 2, 0, 2},
      {0, 5, 2, 1, 1}, {0, 4, 2, 1, 2}, {8, 15, 2, 1, 1},  // the flag counts only from page 0
      {0, 100, 0, 0, 2}, {0, 100, -1, 0, 2}, {0, 100, 0x7FFFFFFF, 0, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(booklet_checkSession(c.first, c.page, c.sheets, c.flag), c.answer)
        << c.first << " " << c.page << " " << c.sheets << " " << c.flag;
}

TEST(KmBooklet, PlacementOfEachHalf) {
  // A 200 x 100 sheet printed whole; its halves are the left and right
  // hundred pixels.
  BOOKLET_PARAM bp{};
  bp.pageWidth = bp.pageLength = bp.pageRight = bp.pageBottom = 100;  // a 100 x 100 page
  bp.sheetWidth = 200;
  bp.sheetLength = 100;
  bp.areaRight = 200;
  bp.areaBottom = 100;
  nrvxform m{};
  for (LONG half : {0, 1}) {
    bp.half = half;
    ASSERT_EQ(booklet_getLayoutMatrics(&m, &bp), 0);
    EXPECT_PT(Apply(m, 0, 0), 100 * half, 0);
    EXPECT_PT(Apply(m, 100, 100), 100 * half + 100, 100);
  }
  bp.half = 0;
  bp.rotate180 = 1;
  ASSERT_EQ(booklet_getLayoutMatrics(&m, &bp), 0);
  EXPECT_PT(Apply(m, 0, 0), 200, 100);
  bp.sheetWidth = std::nanf("");
  EXPECT_EQ(booklet_getLayoutMatrics(&m, &bp), -1);
}

// ---- Image rotation -------------------------------------------------------------

TEST(KmJudge, FinishingCodesByPaperAndTheLayoutRule) {
  struct Case {
    WORD staple, punch, paper;
    LONG answer;
  } cases[] = {
      {0x101, 0, 9, 1}, {0x202, 0, 9, 1}, {0x303, 0, 9, 2}, {0x404, 0, 9, 2},
      {0x606, 0, 1, 2}, {0x606, 0, 9, 2}, {0x606, 0, 13, 2}, {0x606, 0, 258, 2}, {0x606, 0, 283, 2},
      {0x606, 0, 3, 1}, {0x606, 0, 8, 1}, {0x606, 0, 12, 1}, {0x606, 0, 257, 1}, {0x606, 0, 282, 1},
      {0x606, 0, 5, 0}, {0, 0, 9, 0}, {0x103, 0, 9, 0},
      {0, 0x303, 9, 2}, {0x606, 0x101, 5, 1},  // the punch code when the staple gives nothing
  };
  for (const Case& c : cases) {
    JUDGE_REQUEST r{};
    r.stapleCode = c.staple;
    r.punchCode = c.punch;
    r.paperId = c.paper;
    EXPECT_EQ(_Judge_WithFinishing(&r), c.answer) << std::hex << c.staple << " " << c.punch << std::dec << " " << c.paper;
  }
  struct Layout {
    LONG orientation, kind, nup, fallback, answer;
  } layouts[] = {
      {1, 0, 2, 7, 1}, {0, 0, 2, 7, 2}, {1, 0, 8, 7, 1}, {0, 0, 4, 7, 1}, {1, 0, 4, 7, 2},
      {0, 1, 2, 7, 7}, {1, 2, 1, 7, 2}, {0, 2, 1, 7, 1},
  };
  for (const Layout& c : layouts)
    EXPECT_EQ(_Judge_WithLayout(c.orientation, c.kind, c.nup, c.fallback), c.answer)
        << c.orientation << " " << c.kind << " " << c.nup;
}

TEST(KmJudge, StaplePositionThreeOnPortraitA4) {
  const TRANSEDGE_INPUT in{1, 1, 0, 3};  // portrait, one page a sheet, staple position 3
  WORD code = 0;
  ASSERT_EQ(TransEdge_TranslatePosToEdge(320, &in, &code), 0);
  EXPECT_EQ(code, 0x101);
  JUDGE_REQUEST r{};
  r.paperId = 9;  // A4
  r.stapleCode = code;
  r.orientation = 0;
  r.kind = 2;
  r.nupCount = 1;
  EXPECT_EQ(JudgeImageRotation(nullptr, &r), 0);  // finishing 1, layout 1
  r.orientation = 1;
  EXPECT_EQ(JudgeImageRotation(nullptr, &r), 1);  // finishing 1, layout 2
  // No finishing and no description to ask: nothing to judge.
  r.stapleCode = 0;
  EXPECT_EQ(JudgeImageRotation(nullptr, &r), 0);
}

}  // namespace
