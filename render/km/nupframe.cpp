// N-up frames: a thin black frame around every logical page of a sheet,
// drawn at the end of the physical page (declarations in impose.h).
//
// Decisions:
//  - The frames are drawn in sheet pixels (y down): the page transform is
//    first set in band (137) to the N-up frame matrix, the output sheet as
//    one page, which maps sheet pixels onto the sheet; the cells come from
//    the same layout as the pages' matrices (their N-up cells). Afterwards
//    the transform is set back to the identity (137) and the graphics state
//    reset, as for the crop marks.
//  - A layout of resolution 0 draws with 600 dpi, for the pen and for the
//    cells alike (the cells of a layout without resolution have no extent).
#include "impose.h"
#include "km_entry.h"
#include "pagemat.h"
#include "kestrel/render/xl.h"

namespace {

constexpr LONG kDefaultDpi = 600;
constexpr double kPenPoints = 25.0 / 100.0;  // 0.25 point
constexpr double kPointsPerInch = 72.0;
constexpr double kInsetRound = 1.999;
constexpr BYTE kJoinRound = 1, kCapRound = 1;
constexpr BYTE kColorSpaceRGB = 2, kObjectKindAll = 0;
constexpr BYTE kRopPatCopy = 240;  // the pen's colour replaces the page

LONG X(int r) { return r == 0 ? 0 : -1; }


}  // namespace

LAYOUT_PEN layout_framePen(LONG resolutionX, LONG resolutionY) {
  const LONG rx = resolutionX == 0 ? kDefaultDpi : resolutionX;
  const LONG ry = resolutionY == 0 ? kDefaultDpi : resolutionY;
  LAYOUT_PEN pen{};
  pen.widthX = static_cast<LONG>(kPenPoints * rx / kPointsPerInch);
  pen.widthY = static_cast<LONG>(kPenPoints * ry / kPointsPerInch);
  pen.insetX = static_cast<LONG>((pen.widthX + kInsetRound) / 2);
  pen.insetY = static_cast<LONG>((pen.widthY + kInsetRound) / 2);
  return pen;
}

LONG layout_selectMarkPen(XlContext* ctx, WORD width, const WORD* dashes, DWORD dashCount) {
  return kmSteps({X(xl_setpenwidth(ctx, width)), X(xl_setlinejoin(ctx, kJoinRound)), X(xl_setlinecap(ctx, kCapRound)),
                  X(dashCount ? xl_setlinedash_dash(ctx, dashes, dashCount, 0) : xl_setlinedash_solid(ctx)),
                  X(xl_setcolorspace_simple(ctx, kColorSpaceRGB, kObjectKindAll)), X(xl_setbrushsource_null(ctx)),
                  X(xl_setrop(ctx, kRopPatCopy)), X(xl_setcolorspace_simple(ctx, kColorSpaceRGB, kObjectKindAll)),
                  X(xl_setpensource_rgb(ctx, 0, 0, 0))});
}

LONG layout_drawLine(XlContext* ctx, POINT from, POINT to) {
  return kmSteps({X(xl_newpath(ctx)), X(xl_setcursor(ctx, from)), X(xl_linepath_single(ctx, to)), X(xl_paintpath(ctx))});
}

LONG nupFrame_drawNupFrame(PDEV* pdev, LONG count) {
  if (!pdev || count < 0) return -1;
  XlContext* ctx = &pdev->xl;
  LAYOUTINFO layout = pdev->layoutInfo;
  if (layout.resolutionX == 0) layout.resolutionX = kDefaultDpi;
  if (layout.resolutionY == 0) layout.resolutionY = kDefaultDpi;
  // 1.
  LONG result = kmSteps({init_cgs(pdev), X(xl_setcliptopage(ctx))});
  // 2, 3.
  const LAYOUT_PEN pen = layout_framePen(layout.resolutionX, layout.resolutionY);
  result |= layout_selectMarkPen(ctx, static_cast<WORD>((pen.widthX + pen.widthY + 1) / 2), nullptr, 0);
  float frame[6];
  {
    // The frame matrix of this layout (its resolution as the pen's).
    const LAYOUTINFO saved = pdev->layoutInfo;
    pdev->layoutInfo = layout;
    result |= pagemat_setPageMatrix_NupFrame(pdev, frame);
    pdev->layoutInfo = saved;
  }
  if (result != 0) return -1;
  result |= pdl_ctrl_setcoordinate(pdev, frame);
  // 4.
  const LONG side = pdev->pageCtrl.side != 0 ? 1 : 0;
  for (LONG i = 0; i < count && result == 0; ++i) {
    LAYOUT_RECT a{};
    if (pagemat_setLogPageArea_byLayoutInfo(&layout, side, i, &a) != 0) return -1;
    const LONG l = a.left + pen.insetX, r = a.right - pen.insetX;
    const LONG t = a.top + pen.insetY, b = a.bottom - pen.insetY;
    result |= layout_drawLine(ctx, POINT{l, t}, POINT{l, b});  // left
    result |= layout_drawLine(ctx, POINT{l, b}, POINT{r, b});  // bottom
    result |= layout_drawLine(ctx, POINT{r, b}, POINT{r, t});  // right
    result |= layout_drawLine(ctx, POINT{r, t}, POINT{l, t});  // top
  }
  // 5.
  float identity[6];
  pagemat_setBaseMatrix(identity);
  result |= pdl_ctrl_setcoordinate(pdev, identity);
  result |= init_cgs(pdev);
  return result;
}
