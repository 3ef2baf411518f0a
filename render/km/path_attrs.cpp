// Line attributes, fill mode, the pattern and dash scale, and the transform
// of a geometric line.
//
// Sound behaviour: pen widths and scaled dashes beyond 16 bits saturate at
// 65535 (negative values at 0) instead of wrapping; a resolution or pattern
// resolution of 0 or less is taken as 600 dpi, and a scale that would come
// out 0 is 1.
#include <cmath>

#include "draw.h"
#include "layout.h"

namespace {

constexpr ULONG kTagDash = 'D' | ('p' << 8) | ('s' << 16) | ('d' << 24);  // "Dpsd"
constexpr LONG kDefaultDpi = 600;
constexpr LONG kStretchUnit = 1200;  // pattern and dash sizes are in 1/1200 inch
constexpr LONG kCosmeticStyleStep = 48;  // a cosmetic style unit in 1/1200 inch

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

WORD Sat16(long long v) { return static_cast<WORD>(v < 0 ? 0 : (v > 0xFFFF ? 0xFFFF : v)); }

}  // namespace

LONG draw_Resolution(PDEV* pdev) {
  const LONG dpi = Num(pdev, DDM_PRINTQUALITY);
  return dpi > 0 ? dpi : kDefaultDpi;
}

LONG FLOATLONG2LONG(FLOAT_LONG value, BOOL geometric) { return geometric ? PFLOAT2LONG(value.e) : value.l; }

// The integer part of a float, held to the LONG range (NaN 0).
LONG PFLOAT2LONG(FLOATL value) {
  FLOATOBJ f;
  FLOATOBJ_SetFloat(&f, value);
  return FLOATOBJ_GetLong(&f);
}

LONG GetPatternStretchSize(PDEV* pdev, LONG kind) {
  LONG s;
  if (Num(pdev, DDM_PATTERNATDEVICERES) == 1 && kind != 2) {
    s = kStretchUnit / draw_Resolution(pdev);
  } else if (kind == 2) {
    s = kCosmeticStyleStep;
  } else {
    const LONG pr = static_cast<LONG>(pdev->patternResolution);
    s = kStretchUnit / (pr > 0 ? pr : kDefaultDpi);
    if (kind == 0) s /= 2;
  }
  return s > 0 ? s : 1;
}

LONG XlSetLineJoin(PDEV* pdev, ULONG join) {
  const BYTE value = join == JOIN_ROUND ? 1 : (join == JOIN_BEVEL ? 2 : 0);  // eRoundJoin, eBevelJoin, eMiterJoin
  return kmWritten(xl_setlinejoin(&pdev->xl, value)) ? 1 : 0;
}

LONG XlSetLineCap(PDEV* pdev, ULONG cap) {
  const BYTE value = cap == ENDCAP_ROUND ? 1 : (cap == ENDCAP_SQUARE ? 2 : 0);  // eRoundCap, eSquareCap, eButtCap
  return kmWritten(xl_setlinecap(&pdev->xl, value)) ? 1 : 0;
}

LONG XlSetMiterLimit(PDEV* pdev, FLOATL limit) {
  if (!(limit >= 1.0f)) limit = 1.0f;  // below 1, and NaN
  return kmWritten(xl_setmiterlimit_r32(&pdev->xl, limit)) ? 1 : 0;
}

LONG XlSetPenWidth(PDEV* pdev, const LINEATTRS* la) {
  const LONG width = FLOATLONG2LONG(la->elWidth, (la->fl & LA_GEOMETRIC) ? TRUE : FALSE);
  return kmWritten(xl_setpenwidth(&pdev->xl, Sat16(width))) ? 1 : 0;
}

LONG XlSetLineStyle(PDEV* pdev, ULONG count, const LONG* entries, LONG styleState, FLONG flags, LONG scale) {
  if (count == 0 || !entries) return kmWritten(xl_setlinedash_solid(&pdev->xl)) ? 1 : 0;
  if (count > 0xFFFF) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  auto* dashes = static_cast<WORD*>(EngAllocMem(0, count * sizeof(WORD), kTagDash));
  if (!dashes) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
  long long offset;
  if (flags & LA_STARTGAP) {
    dashes[0] = Sat16(static_cast<long long>(entries[count - 1]) * scale);
    for (ULONG i = 1; i < count; ++i) dashes[i] = Sat16(static_cast<long long>(entries[i - 1]) * scale);
    offset = static_cast<long long>(entries[count - 1]) + styleState;
  } else {
    for (ULONG i = 0; i < count; ++i) dashes[i] = Sat16(static_cast<long long>(entries[i]) * scale);
    offset = styleState;
  }
  const bool ok = kmWritten(xl_setlinedash_dash(&pdev->xl, dashes, count, Sat16(offset * scale)));
  EngFreeMem(dashes);
  return ok ? 1 : 0;
}

LONG XlSetLineAttrs(PDEV* pdev, const LINEATTRS* la) {
  if (!XlSetLineJoin(pdev, la->iJoin) || !XlSetLineCap(pdev, la->iEndCap) ||
      !XlSetMiterLimit(pdev, la->eMiterLimit) || !XlSetPenWidth(pdev, la))
    return 0;
  const BOOL geometric = (la->fl & LA_GEOMETRIC) ? TRUE : FALSE;
  if (!geometric && (la->fl & LA_ALTERNATE)) {
    const LONG alternate[2] = {1, 1};
    return XlSetLineStyle(pdev, 2, alternate, 0, 0, 1);
  }
  const LONG scale =
      geometric ? 1 : GetPatternStretchSize(pdev, 2) * draw_Resolution(pdev) / kStretchUnit;
  if (la->cstyle == 0 || !la->pstyle) return XlSetLineStyle(pdev, 0, nullptr, 0, la->fl, scale);
  if (la->cstyle > 0xFFFF) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  auto* entries = static_cast<LONG*>(EngAllocMem(0, la->cstyle * sizeof(LONG), kTagDash));
  if (!entries) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
  for (ULONG i = 0; i < la->cstyle; ++i) entries[i] = FLOATLONG2LONG(la->pstyle[i], geometric);
  const LONG ok =
      XlSetLineStyle(pdev, la->cstyle, entries, FLOATLONG2LONG(la->elStyleState, geometric), la->fl, scale);
  EngFreeMem(entries);
  return ok;
}

LONG XlSetFillMode(PDEV* pdev, FLONG options) {
  const BYTE mode = (options & FP_ALTERNATEMODE) ? KM_XL_EVENODD : KM_XL_NONZERO;
  return kmWritten(xl_setfillmode(&pdev->xl, mode)) ? 1 : 0;
}

LONG pdl_geolinexform(PDEV* pdev, const LINEATTRS*, XFORMOBJ* pxo) {
  FLOATOBJ_XFORM w{};
  const ULONG kind = XFORMOBJ_iGetFloatObjXform(pxo, &w);
  pdev->xformFlags &= ~KM_XFORM_GEOLINE;
  if (kind == DDI_ERROR) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  FLOATOBJ* world = pdev->worldXform;
  world[0] = w.eM11;
  world[1] = w.eM12;
  world[2] = w.eM21;
  world[3] = w.eM22;
  world[4] = w.eDx;
  world[5] = w.eDy;
  if (kind == GX_IDENTITY) return 1;
  if (kind == GX_SCALE) {
    FLOATOBJ_SetLong(&world[1], 0);
    FLOATOBJ_SetLong(&world[2], 0);
    FLOATOBJ_SetLong(&world[4], 0);
    FLOATOBJ_SetLong(&world[5], 0);
  }
  // The transform travels as single floats: a world matrix beyond the range
  // of page transforms (linear part 65535, offset 8388607 device units) or
  // not finite is refused, so that the product stays a float.
  for (int i = 0; i < 6; ++i) {
    const double limit = i < 4 ? 65535.0 : 8388607.0;
    if (!(world[i].value >= -limit && world[i].value <= limit)) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  }
  float wf[6], page[6];
  conv_foxform_nrvxform(world, wf);
  conv_foxform_nrvxform(pdev->currentXform, page);
  const nrvxform a{wf[0], wf[1], wf[2], wf[3], wf[4], wf[5]};
  const nrvxform b{page[0], page[1], page[2], page[3], page[4], page[5]};
  nrvxform product{};
  if (comm_Matrix_Product(&product, &a, &b) != 0) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  const float matrix[6] = {product.m11, product.m12, product.m21, product.m22, product.dx, product.dy};
  if (pdl_ctrl_setcoordinate(pdev, matrix) != 0) return draw_Fail(ERROR_WRITE_FAULT), 0;
  pdev->xformFlags |= KM_XFORM_GEOLINE;
  return 1;
}
