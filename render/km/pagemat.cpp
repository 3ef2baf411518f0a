// The page matrices of the PDEV (declarations in pagemat.h; the layout
// computations in layout.cpp).
//
// Decisions:
//  - The layout information's two N-up direction flags are the halving flag
//    and the cell rotation flag: offset 108 (the grid is turned: N-up 2, 8
//    and 32, whose cells are halves of a turned sheet) is the halving flag,
//    offset 120 (the page orientation differs from the grid's) is the cell
//    rotation flag.
//  - The paper turn flag is the job information's 32-bit value at offset 60
//    (booklet): a booklet prints two pages side by side on a turned sheet.
//  - Landscape output is the layout information's 32-bit value at offset 32.
//  - The current page of pagemat_setPageMatrix_current is the count of
//    logical pages already on the physical page (page control offset 94) and
//    its side the page control's side (offset 96: 0 front, 1 back).
//  - The offsets of the output-paper matrix (escape 0x5004, from any
//    application) become 0.1 mm as x x 254 / resolution in 64 bits, held to
//    the 32-bit range; a resolution of 0 moves nothing. The moved origin is
//    then converted back to pixels, so no 16-bit field of the record ever
//    holds it.
//  - "The application margins set to the page area origin": the margins
//    that make the margin step no translation at all.
//  - The 180-degree turn of the stamp-paper matrix turns the finished
//    (device) matrix about the output sheet's size.
#include "pagemat.h"

#include "impose.h"

#include <cstdint>
#include <utility>

#include "kplatform/long_range.h"

namespace {

constexpr LONG kMaxPageIndex = 32;
constexpr int64_t kDmmPerInch = 254;
constexpr LONG kBookletSideTurned = 2;  // layout offset 140: the booklet bound on the other side

LONG Store(const nrvxform& m, float matrix[6]) {
  matrix[0] = m.m11;
  matrix[1] = m.m12;
  matrix[2] = m.m21;
  matrix[3] = m.m22;
  matrix[4] = m.dx;
  matrix[5] = m.dy;
  return 0;
}

nrvxform Load(const float matrix[6]) { return nrvxform{matrix[0], matrix[1], matrix[2], matrix[3], matrix[4], matrix[5]}; }

// The page layout and its device frame.
LONG Finish(const PAGEINFO& info, LONG pageNumber, LONG side, nrvxform* out) {
  nrvxform layout{};
  if (comm_Page_Layout(&layout, &info, pageNumber, side) != 0) return -1;
  return _culcDeviceMatrix(&info, &layout, out);
}

// Device pixels to 0.1 mm, wide.
int64_t PixelsToDmm(LONG pixels, LONG dpi) {
  if (dpi == 0) return 0;
  return kp_SaturateLong(static_cast<int64_t>(pixels) * kDmmPerInch / dpi);
}

// The output group taken as the page (output-paper and N-up frame
// matrices): page paper and area are the output sheet and area.
void OutputAsPage(PAGEINFO* p) {
  p->pagePaperWidth = p->outSheetWidth;
  p->pagePaperLength = p->outSheetLength;
  p->pageArea = p->outArea;
  p->nupCount = 1;
  p->columns = p->rows = 1;
  p->nupOrder = 0;
  p->zoomOn = 0;
  p->zoomPercent = 100;
  p->bindingKind = 0;
  p->rotate180Kind = 0;
  p->halving = 0;
  p->cellRotation = 0;
}

// No translation in the margin step.
void MarginsAtOrigin(PAGEINFO* p) {
  const LONG fromBottom = p->pagePaperLength - p->pageArea.bottom;
  if (!p->landscapeOutput) {
    p->appMargin18 = p->pageArea.left;
    p->appMargin22 = fromBottom;
  } else {
    p->appMargin24 = p->pageArea.left;
    p->appMargin18 = fromBottom;
  }
}

LONG OutputPaperInfo(PDEV* pdev, PAGEINFO* p, LONG x, LONG y, LONG landscape) {
  const LAYOUTINFO& L = pdev->layoutInfo;
  if (_setPageInfoStruct(&L, p) != 0) return -1;
  OutputAsPage(p);
  // The sheet is a portrait page; with landscape output it is drawn turned,
  // its page group exchanged as the page information does for any page.
  p->landscapeOutput = landscape ? 1 : 0;
  p->pageOrientation = 0;
  if (landscape) {
    std::swap(p->pagePaperWidth, p->pagePaperLength);
    const LAYOUT_RECT a = p->pageArea;
    p->pageArea = LAYOUT_RECT{a.top, a.left, a.top + (a.bottom - a.top), a.left + (a.right - a.left)};
  }
  MarginsAtOrigin(p);
  // The offsets: 0.1 mm, then the moved origin in pixels.
  const int64_t dmmX = PixelsToDmm(x, L.resolutionX);
  const int64_t dmmY = PixelsToDmm(y, L.resolutionY);
  const int64_t moveX = landscape ? dmmY : dmmX;
  const int64_t moveY = landscape ? dmmX : -dmmY;
  FLOATOBJ fx{}, fy{};
  FLOATOBJ_set_dmm2device(&fx, kp_SaturateLong(moveX), L.resolutionX);
  FLOATOBJ_set_dmm2device(&fy, kp_SaturateLong(moveY), L.resolutionY);
  const int64_t px = FLOATOBJ_GetLong(&fx), py = FLOATOBJ_GetLong(&fy);
  p->outArea.left = kp_SaturateLong(p->outArea.left + px);
  p->outArea.right = kp_SaturateLong(p->outArea.right + px);
  p->outArea.top = kp_SaturateLong(p->outArea.top + py);
  p->outArea.bottom = kp_SaturateLong(p->outArea.bottom + py);
  return 0;
}

}  // namespace

LONG pagemat_getOutputPaperOrient(PDEV* pdev) {
  if (!pdev) return 1;
  const LAYOUTINFO& layout = pdev->layoutInfo;
  const bool pageLandscape = layout.orientation != 0;
  const bool turned = pdev->jobInfo.booklet != 0;
  bool landscape;
  if (layout.gridTurned != 0) {
    landscape = !pageLandscape;
  } else if (layout.nup != 1) {
    landscape = pageLandscape;
  } else if (turned) {
    landscape = pageLandscape;
  } else {
    landscape = layout.landscapeOutput != 0;
  }
  if (turned) landscape = !landscape;
  return landscape ? 1 : 0;
}

LONG pagemat_setBaseMatrix(float matrix[6]) {
  if (!matrix) return -1;
  nrvxform m{};
  SetUnitMatrix(&m);
  return Store(m, matrix);
}

LONG pagemat_setPageMatrix_byLayoutInfo(float matrix[6], const LAYOUTINFO* layout, LONG pageIndex, LONG side) {
  if (!matrix || !layout || pageIndex < 0 || pageIndex >= kMaxPageIndex || (side != 0 && side != 1)) return -1;
  PAGEINFO info{};
  nrvxform m{};
  if (_setPageInfoStruct(layout, &info) != 0 || Finish(info, pageIndex + 1, side + 1, &m) != 0) return -1;
  return Store(m, matrix);
}

LONG pagemat_setPageMatrix_current(PDEV* pdev, float matrix[6]) {
  if (!pdev || !matrix) return -1;
  return pagemat_setPageMatrix_byLayoutInfo(matrix, &pdev->layoutInfo, pdev->pageCtrl.logicalOnPhysical,
                                            pdev->pageCtrl.side != 0 ? 1 : 0);
}

LONG pagemat_setLogPageArea_current(PDEV* pdev, LAYOUT_RECT* area, LONG pageIndex) {
  if (!pdev) return -1;
  return pagemat_setLogPageArea_byLayoutInfo(&pdev->layoutInfo, pdev->pageCtrl.side != 0 ? 1 : 0, pageIndex, area);
}

LONG pagemat_setPageMatrix_outputPaper(PDEV* pdev, float matrix[6], LONG x, LONG y, LONG landscape) {
  if (!pdev || !matrix) return -1;
  PAGEINFO info{};
  nrvxform m{};
  if (OutputPaperInfo(pdev, &info, x, y, landscape) != 0 || Finish(info, 1, 1, &m) != 0) return -1;
  return Store(m, matrix);
}

LONG pagemat_setPageMatrix_NupFrame(PDEV* pdev, float matrix[6]) {
  if (!pdev || !matrix) return -1;
  PAGEINFO p{};
  if (_setPageInfoStruct(&pdev->layoutInfo, &p) != 0) return -1;
  OutputAsPage(&p);
  p.landscapeOutput = 0;
  p.printPosKind = 0;
  p.printOriginKind = 0;
  p.appMargin18 = p.appMargin20 = p.appMargin22 = p.appMargin24 = 0;
  nrvxform m{};
  if (Finish(p, 1, pdev->pageCtrl.side != 0 ? 2 : 1, &m) != 0) return -1;
  return Store(m, matrix);
}

LONG pagemat_setPageMatrix_phsycalStamppPaper(PDEV* pdev, float matrix[6], LONG x, LONG y, LONG landscape) {
  if (!pdev || !matrix) return -1;
  if (pagemat_setPageMatrix_outputPaper(pdev, matrix, x, y, landscape) != 0) return -1;
  const LAYOUTINFO& L = pdev->layoutInfo;
  PAGEINFO info{};
  if (_setPageInfoStruct(&L, &info) != 0) return -1;
  const bool turnFlag = pdev->jobInfo.booklet != 0;
  int turns = 0;
  if (turnFlag && landscape == 0) ++turns;
  else if (L.nup == 1 && isRotate180Original(&info)) ++turns;
  if (turnFlag && L.bookletDirection == kBookletSideTurned) ++turns;
  nrvxform m = Load(matrix);
  for (int i = 0; i < turns; ++i)
    if (_rotetePaper180(&L, &m, &m, L.outputPaper.width, L.outputPaper.height) != 0) return -1;
  return Store(m, matrix);
}

LONG pagemat_setLogPageArea_byLayoutInfo(const LAYOUTINFO* layout, LONG side, LONG pageIndex, LAYOUT_RECT* area) {
  if (!layout || !area || pageIndex < 0 || pageIndex >= kMaxPageIndex || (side != 0 && side != 1)) return -1;
  PAGEINFO info{};
  nrvxform m{};
  if (_setPageInfoStruct(layout, &info) != 0) return -1;
  return comm_Page_Layout(&m, &info, pageIndex + 1, side + 1, area);
}
