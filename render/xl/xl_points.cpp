// Page transforms, the sint16 range rule and point lists.
#include <cmath>

#include "kestrel/render/xl.h"
#include "kplatform/long_range.h"
#include "xl_local.h"

// ---- page transforms -------------------------------------------------------

static SHORT clamp16(int64_t v) {
  if (v < -32768) return -32768;
  if (v > 32767) return 32767;
  return static_cast<SHORT>(v);
}

static int origin_steps(XlContext* ctx, int64_t rx, int64_t ry) {
  while (rx != 0 || ry != 0) {
    SHORT sx = clamp16(rx), sy = clamp16(ry);
    if (xl_setpageorigin(ctx, sx, sy) != 0) return -1;
    rx -= sx;
    ry -= sy;
  }
  return 0;
}

int xl_setpageorigin_long(XlContext* ctx, int32_t x, int32_t y) { return origin_steps(ctx, x, y); }

// Hypotenuse without a square root: three rounds of the cubically converging
// iteration r = (q/p)^2, s = r / (4 + r), p = p(1 + 2s), q = qs.
float fHypot(float a, float b) {
  float p = std::fabs(a), q = std::fabs(b);
  if (p < q) {
    float t = p;
    p = q;
    q = t;
  }
  if (q == 0.0f) return p;
  for (int i = 0; i < 3; ++i) {
    float r = (q / p) * (q / p);
    float s = r / (4.0f + r);
    p = p * (1.0f + 2.0f * s);
    q = q * s;
  }
  return p;
}

static constexpr float kMaxLinear = 65535.0f;
static constexpr float kMaxOffset = 8388607.0f;  // every whole number below 2^23 is exact in a float

int xl_setcoordinate(XlContext* ctx, const float m[6]) {
  if (m == nullptr) return -1;
  for (int i = 0; i < 6; ++i) {
    const float limit = i < 4 ? kMaxLinear : kMaxOffset;
    if (!std::isfinite(m[i]) || std::fabs(m[i]) > limit) return -1;
  }
  const float m11 = m[0], m12 = m[1], m21 = m[2], m22 = m[3];
  int32_t angle = 0;
  float sx, sy;
  const char* comment = nullptr;
  if (m12 == 0.0f && m21 == 0.0f) {
    if (m11 > 0.0f && m22 > 0.0f)
      angle = 0;
    else if (m11 < 0.0f && m22 < 0.0f)
      angle = 180;
    else
      comment = "MIRROR!!!";
    sx = std::fabs(m11);
    sy = std::fabs(m22);
  } else if (m11 == 0.0f && m22 == 0.0f) {
    if (m12 < 0.0f && m21 > 0.0f) {
      angle = 90;
    } else if (m12 > 0.0f && m21 < 0.0f) {
      angle = 270;
    } else {
      comment = "MIRROR!!!";
#if defined(KXL_BUILD_UM)
      angle = 90;
#else
      angle = 0;
#endif
    }
    sx = std::fabs(m12);
    sy = std::fabs(m21);
  } else {
    comment = "CTM!!!";
    sx = fHypot(m11, m12);
    sy = fHypot(m21, m22);
  }
  if (comment != nullptr && xl_comment(ctx, comment) != 0) return -1;
  int32_t base = 0;
  switch (ctx->orientation) {
    case 2: base = 180; break;
    case 3: base = 90; break;
    case 4: base = 270; break;
    default: break;
  }
  if (xl_setpagerotation(ctx, base) != 0) return -1;
  if (xl_setpagedefaultctm(ctx) != 0) return -1;
  if (xl_setpageorigin_long(ctx, static_cast<int32_t>(m[4]), static_cast<int32_t>(m[5])) != 0) return -1;
  if (xl_setpagescale(ctx, sx, sy) != 0) return -1;
  return xl_setpagerotation(ctx, angle);
}

// ---- the sint16 range rule -------------------------------------------------

static bool fits16(int64_t v) { return v >= -32768 && v <= 32767; }

void xl_check_range(XlContext* ctx, POINT* pts, DWORD count) {
  XlConvCtm& t = ctx->convctm;
  xl_reset_convctm(&t);
  if (count == 0 || pts == nullptr) return;
  int64_t minX = pts[0].x, maxX = pts[0].x, minY = pts[0].y, maxY = pts[0].y;
  bool fits = true;
  for (DWORD i = 0; i < count; ++i) {
    const int64_t x = pts[i].x, y = pts[i].y;
    fits = fits && fits16(x) && fits16(y);
    if (x < minX) minX = x;
    if (x > maxX) maxX = x;
    if (y < minY) minY = y;
    if (y > maxY) maxY = y;
  }
  if (fits) return;
  const int64_t w = maxX - minX, h = maxY - minY;
  const int64_t cx = minX + w / 2, cy = minY + h / 2;
  t.originX = static_cast<int32_t>(cx);
  t.originY = static_cast<int32_t>(cy);
  // After centring the coordinates lie in -(w/2)..w - w/2; they fit while
  // the span is at most 0xFFFE. A span of 0xFFFF or more is divided by the
  // smallest whole m that brings both halves into range (a divisor of
  // span / 0x10000 + 1 would let a span of exactly 0xFFFF, or 0x1FFFF, put
  // +32768 on the far edge, which wraps to -32768). The centred values are
  // kept in 64 bits until they are divided: a span of 2^32 - 1 centres to 2^31.
  int64_t m = 1;
  if (w > 0xFFFE || h > 0xFFFE) {
    const int64_t mx = w / 0xFFFF + 1, my = h / 0xFFFF + 1;
    m = mx > my ? mx : my;
  }
  for (DWORD i = 0; i < count; ++i) {
    pts[i].x = static_cast<LONG>((pts[i].x - cx) / m);
    pts[i].y = static_cast<LONG>((pts[i].y - cy) / m);
  }
  t.scaleX = static_cast<float>(m);
  t.scaleY = static_cast<float>(m);
}

int xl_set_convctm(XlContext* ctx) {
  const XlConvCtm& t = ctx->convctm;
  if (xl_setpageorigin_long(ctx, t.originX, t.originY) != 0) return -1;
  if (t.rotation != 0 && xl_setpagerotation(ctx, t.rotation) != 0) return -1;
  if ((t.scaleX != 1.0f || t.scaleY != 1.0f) && xl_setpagescale(ctx, t.scaleX, t.scaleY) != 0) return -1;
  return 0;
}

int xl_restore_convctm(XlContext* ctx) {
  const XlConvCtm& t = ctx->convctm;
  if ((t.scaleX != 1.0f || t.scaleY != 1.0f) && xl_setpagescale(ctx, 1.0f / t.scaleX, 1.0f / t.scaleY) != 0)
    return -1;
  if (t.rotation != 0 && xl_setpagerotation(ctx, -t.rotation) != 0) return -1;
  return origin_steps(ctx, -static_cast<int64_t>(t.originX), -static_cast<int64_t>(t.originY));
}

// ---- drawing operators with points ------------------------------------------

// Range check, transform, the operator written by `body`, transform undone.
template <typename Body>
static int with_range(XlContext* ctx, POINT* pts, DWORD count, Body body) {
  xl_check_range(ctx, pts, count);
  if (xl_set_convctm(ctx) != 0) return -1;
  if (body() != 0) return -1;
  return xl_restore_convctm(ctx);
}

static int point_op(XlContext* ctx, POINT p, WORD attr, BYTE op) {
  return with_range(ctx, &p, 1, [&] {
    if (xl_data_s16or8_xy(ctx, p.x, p.y) != 0 || xl_attribute(ctx, attr) != 0) return -1;
    return xl_tag(ctx, op);
  });
}

int xl_setcursor(XlContext* ctx, POINT p) { return point_op(ctx, p, XL_ATTR_POINT, XL_OP_SETCURSOR); }
int xl_linepath_single(XlContext* ctx, POINT p) { return point_op(ctx, p, XL_ATTR_ENDPOINT, XL_OP_LINEPATH); }

static int box_op(XlContext* ctx, const RECT& box, const BYTE* region, BYTE op) {
  POINT pts[2] = {{box.left, box.top}, {box.right, box.bottom}};
  return with_range(ctx, pts, 2, [&] {
    if (region != nullptr) {
      if (xl_data_ubyte(ctx, *region) != 0 || xl_attribute(ctx, XL_ATTR_CLIPREGION) != 0) return -1;
    }
    if (xl_data_s16or8_box(ctx, pts[0].x, pts[0].y, pts[1].x, pts[1].y) != 0 ||
        xl_attribute(ctx, XL_ATTR_BOUNDINGBOX) != 0)
      return -1;
    return xl_tag(ctx, op);
  });
}

int xl_setcliprectangle(XlContext* ctx, BYTE region, RECT box) {
  return box_op(ctx, box, &region, XL_OP_SETCLIPRECTANGLE);
}
int xl_ellipse(XlContext* ctx, RECT box) { return box_op(ctx, box, nullptr, XL_OP_ELLIPSE); }
int xl_rectangle(XlContext* ctx, RECT box) { return box_op(ctx, box, nullptr, XL_OP_RECTANGLE); }

// ---- point lists -------------------------------------------------------------

enum : BYTE {
  MASK_UBYTE = 1 << XL_POINT_UBYTE,
  MASK_SBYTE = 1 << XL_POINT_SBYTE,
  MASK_UINT16 = 1 << XL_POINT_UINT16,
  MASK_SINT16 = 1 << XL_POINT_SINT16,
  MASK_ALL = MASK_UBYTE | MASK_SBYTE | MASK_UINT16 | MASK_SINT16,
};

BYTE xl_make_typemask(int64_t v) {
  if (v >= -32768 && v <= -129) return MASK_SINT16;
  if (v >= -128 && v <= -1) return MASK_SBYTE | MASK_SINT16;
  if (v >= 0 && v <= 127) return MASK_ALL;
  if (v >= 128 && v <= 255) return MASK_UBYTE | MASK_UINT16 | MASK_SINT16;
  if (v >= 256 && v <= 32767) return MASK_UINT16 | MASK_SINT16;
  if (v >= 32768 && v <= 65535) return MASK_UINT16;
  return 0;
}

int xl_get_type(BYTE mask) {
  if (mask & MASK_SBYTE) return XL_POINT_SBYTE;
  if (mask & MASK_UBYTE) return XL_POINT_UBYTE;
  if (mask & MASK_SINT16) return XL_POINT_SINT16;
  if (mask & MASK_UINT16) return XL_POINT_UINT16;
  return -1;
}

static int type_size(int type) { return type == XL_POINT_UBYTE || type == XL_POINT_SBYTE ? 2 : 4; }

// Converted coordinates are kept in 64 bits so that no difference overflows.
struct Pt64 {
  int64_t x, y;
};

static Pt64 convert64(const XlConvCtm* t, POINT p) {
  Pt64 r{static_cast<int64_t>(p.x) - t->originX, static_cast<int64_t>(p.y) - t->originY};
  if (t->scaleX != 1.0f) r.x = static_cast<int64_t>(static_cast<double>(r.x) / t->scaleX);
  if (t->scaleY != 1.0f) r.y = static_cast<int64_t>(static_cast<double>(r.y) / t->scaleY);
  return r;
}

POINT xl_convert_point(const XlConvCtm* t, POINT p) {
  Pt64 r = convert64(t, p);
  return POINT{kp_SaturateLong(r.x), kp_SaturateLong(r.y)};
}

// The relative form is the difference of the converted points, so that a
// scaled list adds up to exactly the absolute points (a difference divided
// by the scale would drift by the rounding of every step).
POINT xl_convert_point_rel(const XlConvCtm* t, POINT p, POINT previous) {
  Pt64 a = convert64(t, p), b = convert64(t, previous);
  return POINT{kp_SaturateLong(a.x - b.x), kp_SaturateLong(a.y - b.y)};
}

struct RunMasks {
  BYTE abs, rel;
};

// Masks of points[0..n); the relative reference advances at every point of a
// line list and at every third point of a Bezier list.
static RunMasks masks_of(const XlConvCtm* t, const POINT* pts, DWORD n, POINT reference, bool bezier, DWORD* taken) {
  RunMasks m{MASK_ALL, MASK_ALL};
  POINT ref = reference;
  DWORD i = 0;
  for (; i < n; ++i) {
    Pt64 a = convert64(t, pts[i]);
    Pt64 r0 = convert64(t, ref);
    BYTE ma = m.abs & xl_make_typemask(a.x) & xl_make_typemask(a.y);
    BYTE mr = m.rel & xl_make_typemask(a.x - r0.x) & xl_make_typemask(a.y - r0.y);
    if (ma == 0 && mr == 0) break;
    m.abs = ma;
    m.rel = mr;
    if (!bezier || (i + 1) % 3 == 0) ref = pts[i];
  }
  if (taken != nullptr) *taken = i;
  return m;
}

XlPointRun xl_convert_points_range(const XlContext* ctx, const POINT* pts, DWORD count, POINT reference,
                                   BOOL bezier) {
  XlPointRun run{-1, 0, FALSE};
  if (pts == nullptr || count == 0) return run;
  const DWORD limit = count < 65535 ? count : 65535;
  DWORD n = 0;
  RunMasks m = masks_of(&ctx->convctm, pts, limit, reference, bezier != 0, &n);
  if (bezier) {
    n -= n % 3;
    if (n == 0) return run;
    m = masks_of(&ctx->convctm, pts, n, reference, true, nullptr);  // the masks of the points kept
  }
  if (n == 0) return run;
  const int ta = xl_get_type(m.abs), tr = xl_get_type(m.rel);
  run.count = static_cast<int32_t>(n);
  if (tr >= 0 && (ta < 0 || type_size(tr) <= type_size(ta))) {
    run.pointType = static_cast<BYTE>(tr);
    run.relative = TRUE;
  } else {
    run.pointType = static_cast<BYTE>(ta);
    run.relative = FALSE;
  }
  return run;
}

// Writes one run: attributes, operator, then the points streamed through a
// small buffer as embedded data.
static int write_run(XlContext* ctx, const POINT* pts, const XlPointRun& run, POINT reference, bool bezier) {
  const BYTE op = bezier ? (run.relative ? XL_OP_BEZIERRELPATH : XL_OP_BEZIERPATH)
                         : (run.relative ? XL_OP_LINERELPATH : XL_OP_LINEPATH);
  const DWORD n = static_cast<DWORD>(run.count);
  const int size = type_size(run.pointType);
  if (xl_set_convctm(ctx) != 0) return -1;
  if (xl_data_uint16(ctx, static_cast<WORD>(n)) != 0 || xl_attribute(ctx, XL_ATTR_NUMBEROFPOINTS) != 0) return -1;
  if (xl_data_ubyte(ctx, run.pointType) != 0 || xl_attribute(ctx, XL_ATTR_POINTTYPE) != 0) return -1;
  if (xl_tag(ctx, op) != 0) return -1;
  if (xl_embeddeddata_hdr(ctx, n * static_cast<DWORD>(size)) != 0) return -1;
  BYTE chunk[1024];
  DWORD used = 0;
  POINT ref = reference;
  for (DWORD i = 0; i < n; ++i) {
    POINT v = run.relative ? xl_convert_point_rel(&ctx->convctm, pts[i], ref) : xl_convert_point(&ctx->convctm, pts[i]);
    if (!bezier || (i + 1) % 3 == 0) ref = pts[i];
    if (size == 2) {
      chunk[used++] = static_cast<BYTE>(v.x);
      chunk[used++] = static_cast<BYTE>(v.y);
    } else {
      kp_StoreU16(chunk + used, static_cast<WORD>(v.x));
      kp_StoreU16(chunk + used + 2, static_cast<WORD>(v.y));
      used += 4;
    }
    if (used + 4 > sizeof(chunk)) {
      if (xl_embeddeddata_data(ctx, chunk, used) != 0) return -1;
      used = 0;
    }
  }
  if (used > 0 && xl_embeddeddata_data(ctx, chunk, used) != 0) return -1;
  return xl_restore_convctm(ctx);
}

static int multi_nt(XlContext* ctx, const POINT* pts, DWORD count, POINT current, bool bezier) {
  if (count == 0) return 0;
  if (pts == nullptr || (bezier && count % 3 != 0)) return -1;
  xl_reset_convctm(&ctx->convctm);
  POINT reference = current;
  DWORD done = 0;
  bool retried = false;
  while (done < count) {
    XlPointRun run = xl_convert_points_range(ctx, pts + done, count - done, reference, bezier);
    if (run.count <= 0) {
      if (!bezier) {
        // Not one point fits: the next point becomes the origin, where it
        // fits absolutely; this always makes progress.
        XlConvCtm& t = ctx->convctm;
        xl_reset_convctm(&t);
        t.originX = pts[done].x;
        t.originY = pts[done].y;
        continue;
      }
      if (retried) return -1;
      // Move the next curve into range and try once more.
      POINT three[3] = {pts[done], pts[done + 1], pts[done + 2]};
      xl_check_range(ctx, three, 3);
      retried = true;
      continue;
    }
    retried = false;
    if (write_run(ctx, pts + done, run, reference, bezier) != 0) return -1;
    done += static_cast<DWORD>(run.count);
    reference = pts[done - 1];
  }
  xl_reset_convctm(&ctx->convctm);
  return 0;
}

int xl_linepath_multi_nt(XlContext* ctx, const POINT* pts, DWORD count, POINT current) {
  return multi_nt(ctx, pts, count, current, false);
}
int xl_bezierpath_multi_nt(XlContext* ctx, const POINT* pts, DWORD count, POINT current) {
  return multi_nt(ctx, pts, count, current, true);
}
