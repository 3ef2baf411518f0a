// Paths and clipping: DrvStrokePath, DrvFillPath and DrvStrokeAndFillPath
// become PCL XL path, paint and clip operators, and every clip object that
// reaches a drawing call is brought into line with the printer's clip
// (bDoClipObj, with the PDEV's clip-path cache). The drawing entry checks
// shared by every drawing call (draw_Begin) live here too.
//
// Sound behaviour where the plain reading would go wrong (see draw.h for the
// decisions):
// - Every failure answers FALSE with the last error set; nothing answers -1,
//   which the engine would take for TRUE.
// - A self-clipped rectangle that the clip misses entirely draws nothing
//   and succeeds (the cut box would be inverted and paint outside the clip).
// - A record that begins a subpath without a point is refused (87) instead
//   of reading a point that is not there.
// - Bounds and clip boxes are computed in 64 bits and held to the 32-bit
//   range, so extreme FIX values cannot overflow.
#include <cstring>

#include "draw.h"
#include "kestrel/render/xl_inband.h"

namespace {

constexpr ULONG kTagPath = 'D' | ('p' << 8) | ('s' << 16) | ('p' << 24);  // "Dpsp": path blocks

LONG Clamp32(long long v) {
  if (v > 2147483647LL) return 2147483647;
  if (v < -2147483647LL - 1) return static_cast<LONG>(-2147483647LL - 1);
  return static_cast<LONG>(v);
}

LONG Px(FIX v) { return v >> 4; }  // arithmetic shift: towards minus infinity

// Device bounds of a path: stroking adds a pixel's worth before the shift,
// filling one pixel after it.
RECTL StrokeBounds(const RECTFX& b) {
  return RECTL{Px(b.xLeft), Px(b.yTop), Clamp32((static_cast<long long>(b.xRight) + 16) >> 4),
               Clamp32((static_cast<long long>(b.yBottom) + 16) >> 4)};
}
RECTL FillBounds(const RECTFX& b) {
  return RECTL{Px(b.xLeft), Px(b.yTop), Clamp32(static_cast<long long>(Px(b.xRight)) + 1),
               Clamp32(static_cast<long long>(Px(b.yBottom)) + 1)};
}

RECT PixelBox(const RECTFX& r) { return RECT{Px(r.xLeft), Px(r.yTop), Px(r.xRight), Px(r.yBottom)}; }

bool StampTransparent(PDEV* pdev) {
  return jobCtrl_isStampDrawMode(pdev) && jobCtrl_isStampTransparency(pdev);
}

// SetColorSpace eRGB (graphics) and a null pen or brush, so that only the
// other source paints.
bool NullOther(PDEV* pdev, LONG kind) {
  if (!kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS))) return false;
  return kmWritten(kind == KM_KIND_PEN ? xl_setbrushsource_null(&pdev->xl) : xl_setpensource_null(&pdev->xl));
}

// The first record of a path, and whether more follow.
struct FirstRecord {
  PATHDATA pd{};
  bool more = false;
};
FirstRecord EnumFirst(PATHOBJ* ppo) {
  FirstRecord f;
  PATHOBJ_vEnumStart(ppo);
  f.more = PATHOBJ_bEnum(ppo, &f.pd) != FALSE;
  return f;
}

// The device rectangle of a path's one rectangle record: corners (p3.x,
// p1.y) and (p1.x, p3.y), ordered.
RECTFX OneRect(const PATHDATA& pd) {
  RECTFX r;
  NRV_WinRect2DevRectFX(&r, pd.pptfx[3].x, pd.pptfx[1].y, pd.pptfx[1].x, pd.pptfx[3].y);
  return r;
}

// Paints the path the general way: its segments, PaintPath; a geometric line
// is measured in world units by sending world x page as the transform before
// PaintPath and the saved page transform after it.
bool PaintGeneral(PDEV* pdev, PATHOBJ* ppo, XFORMOBJ* pxo, const LINEATTRS* la) {
  BOOL drawn = FALSE;
  if (!DrvCommonPath(pdev, ppo, nullptr, 0, &drawn)) return false;
  if (!drawn) return true;
  const bool geometric = la && (la->fl & LA_GEOMETRIC);
  FLOATOBJ saved[6];
  const bool save = geometric || (pdev->xformFlags & KM_XFORM_GEOLINE);
  if (save) std::memcpy(saved, pdev->currentXform, sizeof saved);
  if (geometric && !pdl_geolinexform(pdev, la, pxo)) return false;
  if (!kmWritten(xl_paintpath(&pdev->xl))) return false;
  if (pdev->xformFlags & KM_XFORM_GEOLINE) {
    float back[6];
    conv_foxform_nrvxform(saved, back);
    if (pdl_ctrl_setcoordinate(pdev, back) != 0) {
      EngSetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    pdev->xformFlags &= ~KM_XFORM_GEOLINE;
  }
  return true;
}

}  // namespace

// ---- The drawing entry ------------------------------------------------------------

BOOL draw_Fail(DWORD error) {
  EngSetLastError(error);
  return FALSE;
}

PDEV* draw_Begin(SURFOBJ* pso, bool merge, BOOL* result) {
  *result = FALSE;
  PDEV* pdev = pdev_FromSurface(pso);  // sets 87 when it is none
  if (!pdev) return nullptr;
  if (kmOutputFailed(pdev)) {
    EngSetLastError(ERROR_WRITE_FAULT);
    return nullptr;
  }
  if (merge && SendMergeImage(pdev) != 0) {
    EngSetLastError(ERROR_WRITE_FAULT);
    return nullptr;
  }
  if (pdev->ddiFlags & KM_DDI_SUPPRESSED) {
    *result = TRUE;
    return nullptr;
  }
  if (jobCtrl_informStartDDI(pdev) != 0) {
    if (EngGetLastError() == 0) EngSetLastError(ERROR_WRITE_FAULT);
    return nullptr;
  }
  pdev->ddiFlags &= ~PDEV_PAGE_EMPTY;  // the page has drawing now
  return pdev;
}

// ---- The three path calls -------------------------------------------------------------

// What both stroking calls do first: the arguments, the page, the clip of
// the stroke's bounds. Null with *result the call's answer when it stops.
static PDEV* BeginStroke(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, LINEATTRS* la, BOOL* result) {
  if (!pso || !ppo || !la || ((la->fl & LA_GEOMETRIC) && !pxo)) {
    *result = draw_Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PDEV* pdev = draw_Begin(pso, true, result);
  if (!pdev) return nullptr;
  RECTFX b;
  PATHOBJ_vGetBounds(ppo, &b);
  const RECTL bounds = StrokeBounds(b);
  if (!jobCtrl_isPhysicalStampMode(pdev) && !bDoClipObj(pdev, pco, &bounds)) {
    *result = FALSE;
    return nullptr;
  }
  return pdev;
}

BOOL DDI_DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* org,
                       LINEATTRS* la, MIX mix) {
  BOOL result;
  PDEV* pdev = BeginStroke(pso, ppo, pco, pxo, la, &result);
  if (!pdev) return result;
  return StrokePath_pdl(pdev, ppo, pco, pxo, pbo, org, la, mix) ? TRUE : FALSE;
}

BOOL DDI_DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix, FLONG options) {
  if (!pso || !ppo) return draw_Fail(ERROR_INVALID_PARAMETER);
  BOOL result;
  PDEV* pdev = draw_Begin(pso, true, &result);
  if (!pdev) return result;
  RECTFX b;
  PATHOBJ_vGetBounds(ppo, &b);
  const RECTL bounds = FillBounds(b);
  if (!jobCtrl_isPhysicalStampMode(pdev) &&
      !bDoClipObj(pdev, IsSelfClip(ppo, pco, &bounds) ? nullptr : pco, &bounds))
    return FALSE;
  return FillPath_pdl(pdev, ppo, pco, pbo, org, mix, options) ? TRUE : FALSE;
}

BOOL DDI_DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                              LINEATTRS* la, BRUSHOBJ* pboFill, POINTL* org, MIX mix, FLONG options) {
  BOOL result;
  PDEV* pdev = BeginStroke(pso, ppo, pco, pxo, la, &result);
  if (!pdev) return result;
  return StrokeAndFillPath_pdl(pdev, ppo, pco, pxo, pboStroke, la, pboFill, org, mix, options) ? TRUE : FALSE;
}

// ---- Bodies ------------------------------------------------------------------------------

LONG StrokePath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ*, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* org, LINEATTRS* la,
                    MIX mix) {
  const ROP4 rop4 = MixToRop4(mix);
  if (!XlSetLineAttrs(pdev, la) || !SetObjectColor(pdev, KM_KIND_PEN, org, pbo, rop4)) return 0;
  if (!NullOther(pdev, KM_KIND_PEN)) return 0;
  RECTFX bounds;
  PATHOBJ_vGetBounds(ppo, &bounds);
  if (!StrokePath_Sub(pdev, ppo, pxo, la, &bounds)) return 0;
  if (StampTransparent(pdev)) {
    if (!SetObjectColor(pdev, -KM_KIND_PEN, org, pbo, rop4) || !NullOther(pdev, KM_KIND_PEN)) return 0;
    if (!StrokePath_Sub(pdev, ppo, pxo, la, &bounds)) return 0;
  }
  return 1;
}

BOOL StrokePath_Sub(PDEV* pdev, PATHOBJ* ppo, XFORMOBJ* pxo, LINEATTRS* la, const RECTFX* bounds) {
  if ((ppo->fl & PO_ELLIPSE) && IsDirect(la, pxo, 1)) return kmWritten(xl_ellipse(&pdev->xl, PixelBox(*bounds)));
  const FirstRecord first = EnumFirst(ppo);
  if (!first.more && IsOneRect(first.pd.flags, first.pd.count, first.pd.pptfx) && IsDirect(la, pxo, 2))
    return kmWritten(xl_rectangle(&pdev->xl, PixelBox(OneRect(first.pd))));
  return PaintGeneral(pdev, ppo, pxo, la);
}

LONG FillPath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix, FLONG options) {
  const ROP4 rop4 = MixToRop4(mix);
  RECTFX fx;
  PATHOBJ_vGetBounds(ppo, &fx);
  const RECTL bounds = FillBounds(fx);
  const bool self = IsSelfClip(ppo, pco, &bounds) != FALSE;
  if (!self && (!SetObjectColor(pdev, KM_KIND_BRUSH, org, pbo, rop4) || !NullOther(pdev, KM_KIND_BRUSH))) return 0;
  if (!XlSetFillMode(pdev, options)) return 0;
  // The second pass of a transparent stamp: the brush again (origin 0, 0)
  // and the same geometry.
  const bool twice = StampTransparent(pdev);
  POINTL zero{0, 0};
  auto secondBrush = [&]() {
    return SetObjectColor(pdev, -KM_KIND_BRUSH, &zero, pbo, rop4) && NullOther(pdev, KM_KIND_BRUSH);
  };

  if (ppo->fl & PO_ELLIPSE) {
    if (!kmWritten(xl_ellipse(&pdev->xl, PixelBox(fx)))) return 0;
    if (twice && (!secondBrush() || !kmWritten(xl_ellipse(&pdev->xl, PixelBox(fx))))) return 0;
    return 1;
  }
  const FirstRecord first = EnumFirst(ppo);
  POINT quad[4];
  if ((mix & 0xFF) == R2_COPYPEN && !first.more && IsEmptyRect(first.pd.flags, first.pd.count, first.pd.pptfx, quad)) {
    // A zero-area figure filled as a quadrilateral one pixel thick.
    auto quadrilateral = [&]() {
      return kmWritten(xl_newpath(&pdev->xl)) && kmWritten(xl_setcursor(&pdev->xl, quad[0])) &&
             kmWritten(xl_linepath_multi_nt(&pdev->xl, quad + 1, 3, quad[0])) && kmWritten(xl_closesubpath(&pdev->xl)) &&
             kmWritten(xl_paintpath(&pdev->xl));
    };
    if (!quadrilateral()) return 0;
    if (twice && (!secondBrush() || !quadrilateral())) return 0;
    return 1;
  }
  if (!IsOneRect(first.pd.flags, first.pd.count, first.pd.pptfx) || first.more) {
    BOOL drawn = FALSE;
    if (!DrvCommonPath(pdev, ppo, nullptr, 0, &drawn) || !kmWritten(xl_paintpath(&pdev->xl))) return 0;
    if (twice) {
      if (!secondBrush() || !DrvCommonPath(pdev, ppo, nullptr, 0, &drawn) || !kmWritten(xl_paintpath(&pdev->xl))) return 0;
    }
    return 1;
  }
  RECTFX r = OneRect(first.pd);
  if (self) {
    POINTL origin = org ? *org : zero;
    if (!SetObjectColor(pdev, KM_KIND_BRUSH, &origin, pbo, rop4) || !NullOther(pdev, KM_KIND_BRUSH)) return 0;
    SelfClipFX(&r, r.xLeft, r.yTop, r.xRight, r.yBottom, pco);
    // A clip that misses the rectangle leaves an inverted box: nothing to paint.
    if (r.xLeft >= r.xRight || r.yTop >= r.yBottom) return 1;
  }
  if (!kmWritten(xl_rectangle(&pdev->xl, PixelBox(r)))) return 0;
  if (twice && (!secondBrush() || !kmWritten(xl_rectangle(&pdev->xl, PixelBox(r))))) return 0;
  return 1;
}

LONG StrokeAndFillPath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ*, XFORMOBJ* pxo, BRUSHOBJ* pboStroke, LINEATTRS* la,
                           BRUSHOBJ* pboFill, POINTL* org, MIX mix, FLONG options) {
  const ROP4 rop4 = MixToRop4(mix);
  if (!XlSetLineAttrs(pdev, la) || !SetObjectColor(pdev, KM_KIND_PEN, org, pboStroke, rop4) ||
      !SetObjectColor(pdev, KM_KIND_BRUSH, org, pboFill, rop4) || !XlSetFillMode(pdev, options))
    return 0;
  RECTFX bounds;
  PATHOBJ_vGetBounds(ppo, &bounds);
  if (!StrokePath_Sub(pdev, ppo, pxo, la, &bounds)) return 0;
  // Under a transparent stamp the colour pass as for stroking and filling
  // alone: pen and brush again (kinds -1, -2) and the same geometry, so the
  // stamp prints in its colour and not as the first pass's black screen.
  if (StampTransparent(pdev)) {
    if (!SetObjectColor(pdev, -KM_KIND_PEN, org, pboStroke, rop4) ||
        !SetObjectColor(pdev, -KM_KIND_BRUSH, org, pboFill, rop4) || !StrokePath_Sub(pdev, ppo, pxo, la, &bounds))
      return 0;
  }
  return 1;
}

// ---- Segments ---------------------------------------------------------------------------------

LONG DrvCommonPath(PDEV* pdev, PATHOBJ* ppo, const KM_PATHREC* records, DWORD count, BOOL* drawn) {
  if (!kmWritten(xl_newpath(&pdev->xl))) return 0;
  if (ppo) {
    PATHOBJ_vEnumStart(ppo);
  } else if (count == 0 || !records) {
    return 0;
  }
  BOOL any = FALSE;
  POINT current{0, 0};
  DWORD index = 0;
  for (bool more = true; more;) {
    FLONG flags;
    ULONG n;
    const POINTFIX* pts;
    if (ppo) {
      PATHDATA pd{};
      more = PATHOBJ_bEnum(ppo, &pd) != FALSE;
      flags = pd.flags;
      n = pd.count;
      pts = pd.pptfx;
    } else {
      flags = records[index].flags;
      n = records[index].count;
      pts = records[index].points;
      more = ++index < count;
    }
    if (n > 0 && !pts) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
    if (flags & PD_BEGINSUBPATH) {
      if (n == 0) return draw_Fail(ERROR_INVALID_PARAMETER), 0;  // a subpath needs its begin point
      current = POINT{Px(pts[0].x), Px(pts[0].y)};
      if (!kmWritten(xl_setcursor(&pdev->xl, current))) return 0;
      ++pts;
      --n;
    }
    if ((flags & PD_BEZIERS) && n % 3 != 0) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
    if (n > 0) {
      const unsigned long long bytes = (static_cast<unsigned long long>(n) + 1) * sizeof(POINT);
      if (bytes > 0x7FFFFFFFull) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
      auto* block = static_cast<POINT*>(EngAllocMem(0, static_cast<ULONG>(bytes), kTagPath));
      if (!block) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
      for (ULONG i = 0; i < n; ++i) block[i] = POINT{Px(pts[i].x), Px(pts[i].y)};
      const int sent = (flags & PD_BEZIERS) ? xl_bezierpath_multi_nt(&pdev->xl, block, n, current)
                                            : xl_linepath_multi_nt(&pdev->xl, block, n, current);
      current = block[n - 1];
      EngFreeMem(block);
      if (!kmWritten(sent)) return 0;
      any = TRUE;
    }
    if ((flags & (PD_ENDSUBPATH | PD_CLOSEFIGURE)) == (PD_ENDSUBPATH | PD_CLOSEFIGURE) &&
        !kmWritten(xl_closesubpath(&pdev->xl)))
      return 0;
  }
  if (drawn) *drawn = any;
  return 1;
}

// ---- Predicates --------------------------------------------------------------------------------

BOOL IsOneRect(FLONG flags, ULONG count, const POINTFIX* p) {
  if (count != 4 || !p || (flags & PD_BEZIERS) || !(flags & PD_CLOSEFIGURE)) return FALSE;
  return p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
}

BOOL IsDirect(const LINEATTRS* la, XFORMOBJ* pxo, LONG kind) {
  if (!la) return TRUE;
  if (la->cstyle != 0 && la->pstyle != nullptr) return FALSE;
  if (la->fl & LA_GEOMETRIC) {
    if (kind == 1) return FALSE;
    if (XFORMOBJ_iGetXform(pxo, nullptr) != GX_IDENTITY) return FALSE;
  }
  return TRUE;
}

BOOL IsSelfClip(PATHOBJ* ppo, CLIPOBJ* pco, const RECTL* bounds) {
  if (!pco || pco->iDComplexity != DC_RECT || !bounds) return FALSE;
  const RECTL& c = pco->rclBounds;
  const bool inside =
      bounds->left >= c.left && bounds->top >= c.top && c.right >= bounds->right && c.bottom >= bounds->bottom;
  if (inside) return FALSE;
  if (!ppo) return TRUE;
  const FirstRecord first = EnumFirst(ppo);
  return !first.more && IsOneRect(first.pd.flags, first.pd.count, first.pd.pptfx);
}

BOOL IsEmptyRect(FLONG flags, ULONG count, const POINTFIX* p, POINT out[4]) {
  constexpr FLONG need = PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE;
  if (!p || (flags & PD_BEZIERS) || (flags & need) != need) return FALSE;
  if (!(count == 2 || (count == 3 && p[2].x == p[0].x && p[2].y == p[0].y))) return FALSE;
  const POINT a{Px(p[0].x), Px(p[0].y)}, b{Px(p[1].x), Px(p[1].y)};
  out[0] = a;
  out[1] = b;
  out[2] = b;
  out[3] = a;
  const long long dy = static_cast<long long>(a.y) - b.y, dx = static_cast<long long>(a.x) - b.x;
  if ((dy < 0 ? -dy : dy) < (dx < 0 ? -dx : dx)) {
    out[2].y = Clamp32(static_cast<long long>(out[2].y) + 1);
    out[3].y = Clamp32(static_cast<long long>(out[3].y) + 1);
  } else {
    out[2].x = Clamp32(static_cast<long long>(out[2].x) + 1);
    out[3].x = Clamp32(static_cast<long long>(out[3].x) + 1);
  }
  return TRUE;
}

void SelfClipFX(RECTFX* out, FIX left, FIX top, FIX right, FIX bottom, const CLIPOBJ* pco) {
  const RECTL& c = pco->rclBounds;
  auto fx = [](LONG v) { return Clamp32(static_cast<long long>(v) * 16); };
  out->xLeft = left > fx(c.left) ? left : fx(c.left);
  out->yTop = top > fx(c.top) ? top : fx(c.top);
  out->xRight = right < fx(c.right) ? right : fx(c.right);
  out->yBottom = bottom < fx(c.bottom) ? bottom : fx(c.bottom);
}

void NRV_WinRect2DevRectFX(RECTFX* out, FIX left, FIX top, FIX right, FIX bottom) {
  out->xLeft = left < right ? left : right;
  out->xRight = left < right ? right : left;
  out->yTop = top < bottom ? top : bottom;
  out->yBottom = top < bottom ? bottom : top;
}

// ---- Clip ------------------------------------------------------------------------------------------

LONG bDoClipObj(PDEV* pdev, CLIPOBJ* pco, const RECTL* bounds) {
  if (pdev->clipState == KM_CLIP_RESET) {
    if (!kmWritten(xl_setcliptopage(&pdev->xl))) return 0;
    pdev->clipState = KM_CLIP_PAGE;
  }
  auto toPage = [&]() -> LONG {
    if (pdev->clipState != KM_CLIP_PAGE) {
      if (!kmWritten(xl_setcliptopage(&pdev->xl))) {
        pdev->clipState = KM_CLIP_RESET;
        return 0;
      }
      pdev->clipState = KM_CLIP_PAGE;
    }
    return 1;
  };
  if (!pco || pco->iDComplexity == DC_TRIVIAL) return toPage();
  if (pco->iDComplexity == DC_RECT) {
    const RECTL& c = pco->rclBounds;
    if (bounds && bounds->left >= c.left && bounds->top >= c.top && c.right >= bounds->right &&
        c.bottom >= bounds->bottom)
      return toPage();
    RECT box{c.left < c.right ? c.left : c.right, c.top < c.bottom ? c.top : c.bottom,
             c.left < c.right ? c.right : c.left, c.top < c.bottom ? c.bottom : c.top};
    const RECT& k = pdev->clipRect;
    if (pdev->clipState == KM_CLIP_RECT && k.left == box.left && k.top == box.top && k.right == box.right &&
        k.bottom == box.bottom)
      return 1;
    if (!kmWritten(xl_setcliprectangle(&pdev->xl, KM_XL_INTERIOR, box))) {
      pdev->clipState = KM_CLIP_RESET;
      return 0;
    }
    pdev->clipRect = box;
    pdev->clipState = KM_CLIP_RECT;
    return 1;
  }
  if (pco->iDComplexity != DC_COMPLEX) return draw_Fail(ERROR_NOT_SUPPORTED), 0;
  PATHOBJ* ppo = CLIPOBJ_ppoGetPath(pco);
  if (!ppo) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
  LONG result = 0;
  const LONG cached = DoCacheClipPath(pdev, ppo);
  if (cached == 1) {
    result = 1;
  } else if (cached == 2 || cached == 3) {
    const bool sent =
        toPage() &&
        (cached == 2 ? DrvCommonPath(pdev, nullptr, reinterpret_cast<const KM_PATHREC*>(pdev->clipPath),
                                     pdev->clipPathCount, nullptr)
                     : DrvCommonPath(pdev, ppo, nullptr, 0, nullptr)) &&
        kmWritten(xl_setclipmode(&pdev->xl, KM_XL_EVENODD)) && kmWritten(xl_setclipreplace(&pdev->xl, KM_XL_INTERIOR));
    if (sent) {
      pdev->clipState = KM_CLIP_PATH;
      result = 1;
    } else {
      // What the printer holds is unknown now: the next clip starts over.
      path_ReleaseClipCache(pdev);
      pdev->clipState = KM_CLIP_RESET;
    }
  }
  EngDeletePath(ppo);
  return result;
}

// ---- Clip-path cache ------------------------------------------------------------------------------

BOOL GetPathDataSize(PATHOBJ* ppo, DWORD* size, DWORD* count) {
  unsigned long long bytes = 0, records = 0;
  PATHOBJ_vEnumStart(ppo);
  for (bool more = true; more;) {
    PATHDATA pd{};
    more = PATHOBJ_bEnum(ppo, &pd) != FALSE;
    if (!more && pd.count == 0 && pd.flags == 0 && records == 0) break;  // an empty path
    ++records;
    bytes += sizeof(KM_PATHREC) + static_cast<unsigned long long>(pd.count) * sizeof(POINTFIX);
    if (bytes > 0x7FFFFFFFull) return FALSE;
  }
  *size = static_cast<DWORD>(bytes);
  *count = static_cast<DWORD>(records);
  return TRUE;
}

BOOL EnumPathData(PATHOBJ* ppo, BYTE* block, DWORD size, DWORD count) {
  auto* recs = reinterpret_cast<KM_PATHREC*>(block);
  BYTE* next = block + static_cast<size_t>(count) * sizeof(KM_PATHREC);
  BYTE* const end = block + size;
  DWORD i = 0;
  PATHOBJ_vEnumStart(ppo);
  for (bool more = true; more && i < count;) {
    PATHDATA pd{};
    more = PATHOBJ_bEnum(ppo, &pd) != FALSE;
    const size_t bytes = static_cast<size_t>(pd.count) * sizeof(POINTFIX);
    if (bytes > static_cast<size_t>(end - next) || (pd.count > 0 && !pd.pptfx)) return FALSE;
    recs[i].flags = pd.flags;
    recs[i].count = pd.count;
    recs[i].points = reinterpret_cast<POINTFIX*>(next);
    if (bytes > 0) std::memcpy(next, pd.pptfx, bytes);
    next += bytes;
    ++i;
  }
  return i == count && next == end;
}

BOOL PathDataCmp(const BYTE* a, const BYTE* b, DWORD count) {
  const auto* ra = reinterpret_cast<const KM_PATHREC*>(a);
  const auto* rb = reinterpret_cast<const KM_PATHREC*>(b);
  size_t points = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (ra[i].flags != rb[i].flags || ra[i].count != rb[i].count) return FALSE;
    points += ra[i].count;
  }
  const size_t header = static_cast<size_t>(count) * sizeof(KM_PATHREC);
  return std::memcmp(a + header, b + header, points * sizeof(POINTFIX)) == 0 ? TRUE : FALSE;
}

void PathDataCpy(BYTE* to, const BYTE* from, DWORD size, DWORD count) {
  std::memcpy(to, from, size);
  auto* rt = reinterpret_cast<KM_PATHREC*>(to);
  const auto* rf = reinterpret_cast<const KM_PATHREC*>(from);
  for (DWORD i = 0; i < count; ++i)
    rt[i].points = reinterpret_cast<POINTFIX*>(to + (reinterpret_cast<const BYTE*>(rf[i].points) - from));
}

void path_ReleaseClipCache(PDEV* pdev) {
  if (!pdev) return;
  if (pdev->clipPath) HEAPFREE(pdev->heap, pdev->clipPath);
  pdev->clipPath = nullptr;
  pdev->clipPathSize = 0;
  pdev->clipPathCount = 0;
}

LONG DoCacheClipPath(PDEV* pdev, PATHOBJ* ppo) {
  DWORD size = 0, count = 0;
  if (!GetPathDataSize(ppo, &size, &count) || size == 0) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  if (pdev->clipState == KM_CLIP_PATH && pdev->clipPath && size == pdev->clipPathSize &&
      count == pdev->clipPathCount) {
    auto* temp = static_cast<BYTE*>(EngAllocMem(0, size, kTagPath));
    if (!temp) {
      path_ReleaseClipCache(pdev);
      return 3;
    }
    LONG result;
    if (!EnumPathData(ppo, temp, size, count)) {
      EngSetLastError(ERROR_INVALID_PARAMETER);
      result = 0;
    } else if (PathDataCmp(temp, pdev->clipPath, count)) {
      result = 1;
    } else {
      PathDataCpy(pdev->clipPath, temp, size, count);
      result = 2;
    }
    EngFreeMem(temp);
    return result;
  }
  path_ReleaseClipCache(pdev);
  auto* block = static_cast<BYTE*>(_HEAPALLOC(pdev->heap, size, 0));
  if (!block) return 3;
  if (!EnumPathData(ppo, block, size, count)) {
    HEAPFREE(pdev->heap, block);
    return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  }
  pdev->clipPath = block;
  pdev->clipPathSize = size;
  pdev->clipPathCount = count;
  return 2;
}
