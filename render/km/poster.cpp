// Poster printing: one logical page enlarged over columns x rows sheets,
// each sheet a tile replayed from the stored page with its own matrix, and
// crop marks on the tiles (declarations in impose.h).
//
// Decisions:
//  - Columns or rows of 0 are refused before anything divides by them, and
//    an enlarged size that a 16-bit paper field cannot hold is refused (-1)
//    rather than wrapped.
//  - The walk's target tile is found by stepping the walk from its first
//    tile; the steps of one walk are at most columns x rows.
//  - The crop marks are drawn in tile pixels (y down, the output area's
//    origin at 0, 0): the page transform is first set in band (137) to the
//    output-paper matrix without offsets, then back to the identity. The
//    dash lengths resolution x 40 / 600 and x 10 / 600 are held to 1..255
//    (one byte, never a zero-length dash).
#include <cstdint>
#include <utility>

#include "impose.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "km_entry.h"
#include "pagemat.h"
#include "kestrel/render/xl.h"

namespace {

constexpr LONG kDefaultDpi = 600;
constexpr LONG kMarkLength = 100;      // 10 mm in 0.1 mm
constexpr LONG kMarkHalf = 50;         // 5 mm
constexpr LONG kDashOn = 40, kDashOff = 10, kDashBase = 600;
constexpr LONG kByteMax = 255;

LONG X(int r) { return r == 0 ? 0 : -1; }

LONG Line(XlContext* ctx, LONG x0, LONG y0, LONG x1, LONG y1) {
  return layout_drawLine(ctx, POINT{x0, y0}, POINT{x1, y1});
}

bool Fits16(int64_t v) { return v >= INT16_MIN && v <= INT16_MAX; }

}  // namespace

LONG pstrJob_getLayoutParam(const LAYOUTINFO* layout, PSTR_PARAM* out) {
  if (!layout || !out) return -1;
  const LONG cols = layout->posterAcross, rows = layout->posterDown;
  if (cols < 1 || rows < 1) return -1;
  LAYOUTINFO copy = *layout;
  JOBREC_PAPER& o = copy.outputPaper;
  const int64_t w = static_cast<int64_t>(o.imageableWidth) * cols;
  const int64_t h = static_cast<int64_t>(o.imageableHeight) * rows;
  const int64_t sw = w + 2 * static_cast<int64_t>(o.left);
  const int64_t sh = h + 2 * static_cast<int64_t>(o.top);
  if (!Fits16(w) || !Fits16(h) || !Fits16(sw) || !Fits16(sh)) return -1;
  o.imageableWidth = static_cast<int16_t>(w);
  o.imageableHeight = static_cast<int16_t>(h);
  o.width = static_cast<int16_t>(sw);
  o.height = static_cast<int16_t>(sh);
  PSTR_PARAM p{};
  float m[6];
  if (pagemat_setPageMatrix_byLayoutInfo(m, &copy, 0, 0) != 0) return -1;
  p.matrix = nrvxform{m[0], m[1], m[2], m[3], m[4], m[5]};
  p.tileWidth = static_cast<float>(l_dmm2dev(layout, layout->outputPaper.imageableWidth, LAYOUT_AXIS_X));
  p.tileHeight = static_cast<float>(l_dmm2dev(layout, layout->outputPaper.imageableHeight, LAYOUT_AXIS_Y));
  p.columns = static_cast<WORD>(cols);
  p.rows = static_cast<WORD>(rows);
  if (_pstrJob_getDirection(&p) != 0) return -1;
  *out = p;
  return 0;
}

LONG _pstrJob_getDirection(PSTR_PARAM* p) {
  if (!p) return -1;
  const nrvxform& m = p->matrix;
  const bool a = m.m11 != 0.0f, b = m.m12 != 0.0f, c = m.m21 != 0.0f, d = m.m22 != 0.0f;
  if (a == b || c == d) return -1;  // not a quarter turn
  if (p->columns < 1 || p->rows < 1) return -1;
  p->xFirst = 1;
  p->stepX = 1;
  p->stepY = 1;
  if (!a && !d && ((m.m12 > 0.0f) != (m.m21 > 0.0f))) {
    p->xFirst = 0;
    p->stepY = -1;
  }
  p->firstX = 0;
  p->lastX = static_cast<SHORT>(p->columns - 1);
  if (p->stepY == 1) {
    p->firstY = 0;
    p->lastY = static_cast<SHORT>(p->rows - 1);
  } else {
    p->firstY = static_cast<SHORT>(p->rows - 1);
    p->lastY = 0;
  }
  return 0;
}

LONG pstrJob_getPageXform(nrvxform* out, const PSTR_PARAM* p, LONG tile) {
  if (!out || !p || p->columns < 1 || p->rows < 1 || (p->stepX != 1 && p->stepX != -1) ||
      (p->stepY != 1 && p->stepY != -1))
    return -1;
  const LONG cols = p->columns, rows = p->rows;
  if (tile < 0 || tile >= cols * rows) return -1;
  const LONG x = p->xFirst ? tile % cols : tile / rows;
  const LONG y = p->xFirst ? tile / cols : tile % rows;
  const LONG tx = x * p->stepX + p->firstX;
  const LONG ty = y * p->stepY + p->firstY;
  if (tx < 0 || ty < 0) return -1;
  // Step the walk from its first tile until the target.
  bool found = false;
  LONG cx = p->firstX, cy = p->firstY;
  for (LONG n = 0; n < cols * rows && !found; ++n) {
    if (cx == tx && cy == ty) {
      found = true;
      break;
    }
    if (p->xFirst) {
      if (cx == p->lastX) {
        cx = p->firstX;
        cy += p->stepY;
      } else {
        cx += p->stepX;
      }
    } else {
      if (cy == p->lastY) {
        cy = p->firstY;
        cx += p->stepX;
      } else {
        cy += p->stepY;
      }
    }
  }
  if (!found) return -1;
  nrvxform m = p->matrix;
  m.dx = static_cast<float>(static_cast<double>(m.dx) - static_cast<double>(p->tileWidth) * tx);
  m.dy = static_cast<float>(static_cast<double>(m.dy) - static_cast<double>(p->tileHeight) * ty);
  *out = m;
  return 0;
}

LONG pstr_selectTonboPen(PDEV* pdev, LONG widthX, LONG widthY) {
  if (!pdev) return -1;
  XlContext* ctx = &pdev->xl;
  LONG dpi = 0;
  if (!ddm_GetNumber(DDM_PRINTQUALITY, pdev->devmode, pdev->printerData, &dpi) || dpi <= 0) dpi = kDefaultDpi;
  auto dash = [&](LONG n) {
    const int64_t v = static_cast<int64_t>(dpi) * n / kDashBase;
    return static_cast<WORD>(v < 1 ? 1 : (v > kByteMax ? kByteMax : v));
  };
  const WORD dashes[2] = {dash(kDashOn), dash(kDashOff)};
  return layout_selectMarkPen(ctx, static_cast<WORD>((widthX + widthY + 1) / 2), dashes, 2);
}

LONG pstrJob_drawPosterTonbo(PDEV* pdev) {
  if (!pdev) return -1;
  XlContext* ctx = &pdev->xl;
  LAYOUTINFO layout = pdev->layoutInfo;
  if (layout.resolutionX == 0) layout.resolutionX = kDefaultDpi;
  if (layout.resolutionY == 0) layout.resolutionY = kDefaultDpi;
  LONG result = kmSteps({init_cgs(pdev), X(xl_setcliptopage(ctx))});
  LONG W = l_dmm2dev(&layout, layout.outputPaper.imageableWidth, LAYOUT_AXIS_X);
  LONG H = l_dmm2dev(&layout, layout.outputPaper.imageableHeight, LAYOUT_AXIS_Y);
  const bool landscape = layout.landscapeOutput != 0;
  if (landscape) std::swap(W, H);
  const LAYOUT_PEN pen = layout_framePen(layout.resolutionX, layout.resolutionY);
  const LONG lx = l_dmm2dev(&layout, kMarkLength, LAYOUT_AXIS_X), ly = l_dmm2dev(&layout, kMarkLength, LAYOUT_AXIS_Y);
  const LONG hx = l_dmm2dev(&layout, kMarkHalf, LAYOUT_AXIS_X), hy = l_dmm2dev(&layout, kMarkHalf, LAYOUT_AXIS_Y);
  result |= pstr_selectTonboPen(pdev, pen.widthX, pen.widthY);
  float sheet[6];
  result |= pagemat_setPageMatrix_outputPaper(pdev, sheet, 0, 0, landscape ? 1 : 0);
  if (result != 0) return -1;
  result |= pdl_ctrl_setcoordinate(pdev, sheet);
  const LONG x0 = pen.insetX, y0 = pen.insetY, x1 = W - pen.insetX, y1 = H - pen.insetY;
  // The four corners: one horizontal and one vertical line inward.
  result |= kmSteps({Line(ctx, x0, y0, x0 + lx, y0), Line(ctx, x0, y0, x0, y0 + ly)});
  result |= kmSteps({Line(ctx, x1, y0, x1 - lx, y0), Line(ctx, x1, y0, x1, y0 + ly)});
  result |= kmSteps({Line(ctx, x0, y1, x0 + lx, y1), Line(ctx, x0, y1, x0, y1 - ly)});
  result |= kmSteps({Line(ctx, x1, y1, x1 - lx, y1), Line(ctx, x1, y1, x1, y1 - ly)});
  // The middles of the top and bottom, then of the left and right edges.
  result |= kmSteps({Line(ctx, W / 2 - hx, y0, W / 2 + hx, y0), Line(ctx, W / 2 - hx, y1, W / 2 + hx, y1)});
  result |= kmSteps({Line(ctx, x0, H / 2 + hy, x0, H / 2 - hy), Line(ctx, x1, H / 2 + hy, x1, H / 2 - hy)});
  float identity[6];
  pagemat_setBaseMatrix(identity);
  result |= pdl_ctrl_setcoordinate(pdev, identity);
  result |= init_cgs(pdev);
  return result;
}
