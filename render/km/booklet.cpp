// Booklet printing: pages imposed two a side on folded sheets, split into
// sub-booklets (declarations in impose.h).
//
// Decisions:
//  - Sheets per booklet of 0 or less (a printer-data value that reaches
//    the booklet code as job information 68) make one booklet of all the
//    sheets: nothing divides by it.
//  - The booklet parameters are what one placement needs: the sheet and its
//    printable area in pixels, the half (0 left, 1 right), the 180-degree
//    and landscape flags, the resolution, and the rotation code that
//    _set_bookletParams chooses (the placement turns by 180 degrees for
//    codes 2 and 4, see booklet.cpp's page flow).
#include "impose.h"

namespace {

constexpr LONG kBindingFirst = 1;

// Nearest whole pixel; a value beyond +-2^30 or not a number gives 0, so
// the layout then finds no extent and refuses.
LONG Round(float v) {
  if (!(v > -1073741824.0f && v < 1073741824.0f)) return 0;
  return static_cast<LONG>(v < 0 ? v - 0.5f : v + 0.5f);
}

}  // namespace

LONG booklet_getNumOfPaperSurfaces(LONG first, LONG last, LONG cover) {
  if (!cover || first != 0) return ((last - first + 4) / 4) * 2;
  return ((last + 6) / 4) * 2 - 1;
}

LONG booklet_getLogicalPage(LONG first, LONG last, LONG c, LONG side, LONG binding, LONG rightToLeft, LONG cover) {
  const LONG n = booklet_getNumOfPaperSurfaces(first, last, cover);
  const bool bound = binding == kBindingFirst;
  LONG page;
  if (rightToLeft) {
    const bool coverShift = first == 0 && cover && c != 0;
    const bool second = (coverShift != ((c & 1) != 0)) != (side == 1);
    page = first + ((second != bound) ? 2 * n - c - 1 : c);
  } else {
    const LONG coverShift = (first == 0 && n == c + 1 && cover) ? 1 : 0;
    const bool odd = ((c + coverShift) & 1) != 0;
    if ((odd != (side == 1)) != bound) c = -c - 1;
    page = first + n + c;
  }
  return page > last ? BOOKLET_BLANK : page;
}

LONG booklet_getBookletPartitionList(LONG pages, LONG reverse, LONG sheetsPerBooklet, BOOKLET_PARTITION* list) {
  if (pages < 0) return -1;
  const LONG sheets = (pages + 3) / 4;
  const LONG per = sheetsPerBooklet > 0 ? sheetsPerBooklet : (sheets > 0 ? sheets : 1);
  const LONG k = (per + sheets - 1) / per;
  if (!list) return k;
  if (k == 0) return 0;
  LONG next = 0;
  for (LONG i = 0; i < k; ++i) {
    const LONG count = 4 * (sheets / k) + (i < sheets % k ? 4 : 0);
    BOOKLET_PARTITION e{next, next + count - 1};
    if (e.last > pages - 1) e.last = pages - 1;
    next += count;
    list[reverse ? k - 1 - i : i] = e;
  }
  return 0;
}

LONG booklet_checkSession(LONG first, LONG page, LONG sheets, LONG flag) {
  if (sheets == 0) return 2;
  LONG limit = 4 * sheets, n = page + 1 - first;
  if (flag && first == 0) {
    limit = 4 * sheets - 2;
    n = page + 1;
  }
  return n >= limit ? 1 : 2;
}

LONG booklet_getLayoutMatrics(nrvxform* out, const BOOKLET_PARAM* bp) {
  if (!out || !bp) return -1;
  // A sheet without size (or not a number) places nothing.
  if (!(bp->sheetWidth >= 1.0f) || !(bp->sheetLength >= 1.0f)) return -1;
  // The stored page laid out on one half of the sheet (as printed: width
  // across, landscape for a booklet of portrait pages), the halves split at
  // the middle of the printable area.
  PAGEINFO p{};
  const LONG sheetW = Round(bp->sheetWidth), sheetL = Round(bp->sheetLength);
  const LONG left = Round(bp->areaLeft), right = Round(bp->areaRight);
  const LONG top = Round(bp->areaTop), bottom = Round(bp->areaBottom);
  const LONG middle = (left + right) / 2;
  p.pagePaperWidth = Round(bp->pageWidth);
  p.pagePaperLength = Round(bp->pageLength);
  p.pageArea = LAYOUT_RECT{Round(bp->pageLeft), Round(bp->pageTop), Round(bp->pageRight), Round(bp->pageBottom)};
  p.outSheetWidth = sheetW;
  p.outSheetLength = sheetL;
  const LAYOUT_RECT half = bp->half == 0 ? LAYOUT_RECT{left, top, middle, bottom} : LAYOUT_RECT{middle, top, right, bottom};
  p.outArea = half;
  p.zoomPercent = 100;
  p.nupCount = 1;
  p.columns = p.rows = 1;
  p.resolutionX = bp->resolutionX;
  p.resolutionY = bp->resolutionY;
  // The page's own margins: no shift in the margin step.
  p.appMargin18 = p.pageArea.left;
  p.appMargin22 = p.pagePaperLength - p.pageArea.bottom;
  nrvxform m{};
  if (comm_Page_Layout(&m, &p, 1, 1) != 0) return -1;
  LONG result = 0;
  if (bp->rotate180) result |= _rotatePaper180(&m, &m, static_cast<float>(sheetW), static_cast<float>(sheetL));
  if (bp->landscape) result |= _rotateLandToPort(&m, &m, static_cast<float>(sheetL));
  result |= layout_culcDeviceMatrix(&m, &m, static_cast<float>(p.pagePaperLength), static_cast<float>(p.pageArea.left),
                                    static_cast<float>(p.pageArea.top), static_cast<float>(bp->landscape ? sheetW : sheetL));
  if (result != 0) return -1;
  *out = m;
  return 0;
}
