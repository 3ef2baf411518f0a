// The drawing objects the stand-in carries: paths (enumeration and bounds,
// the builders of rectangles, polygons and ellipses), transforms, colour
// translations (tables and direct bit fields), clip objects with their
// paths, bitmap surfaces, and brushes with their realizations.
#include <algorithm>
#include <atomic>
#include <memory>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "engine/engine_state.h"

namespace {

enum class Kind { kPath, kXform, kXlate, kClip, kBitmap, kBrush };

struct PathObject {
  PATHOBJ pub{};
  std::vector<FLONG> flags;
  std::vector<std::vector<POINTFIX>> points;
  RECTFX bounds{};
  size_t next = 0;
};

struct XformObject {
  XFORMOBJ pub{};
  double m[6] = {1, 0, 0, 1, 0, 0};  // m11 m12 m21 m22 dx dy
  XFORML asFloat{};
};

struct XlateObject {
  XLATEOBJ pub{};
  std::vector<ULONG> table;
  bool bitfields = false;  // KpEngineCreateXlateBitfields
  ULONG masks[3] = {0, 0, 0};  // red, green, blue
};

struct ClipObject {
  CLIPOBJ pub{};
  std::vector<RECTL> rects;
};

struct BitmapObject {
  SURFOBJ pub{};
  std::vector<uint8_t> bits;
};

struct BrushObject {
  BRUSHOBJ pub{};
  kp::engine::BrushSource source{};
  std::unique_ptr<BitmapObject> hatch;  // the hatch bitmap, owned
  std::unique_ptr<XlateObject> hatchXlate;
  std::vector<uint8_t> rbrush;  // BRUSHOBJ_pvAllocRbrush's memory
  bool hasRbrush = false;
};

std::atomic<size_t> gRbrushLive{0};
std::atomic<size_t> gRealizeCalls{0};
std::atomic<bool> gFailClipPath{false};

struct Registry {
  std::mutex lock;
  std::unordered_map<const void*, Kind> live;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

bool isLive(const void* object, Kind kind) {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.live.find(object);
  return it != r.live.end() && it->second == kind;
}

void addLive(const void* object, Kind kind) {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.live.emplace(object, kind);
}

// The public part is the first member, so its address is the object's.
PathObject* path(PATHOBJ* ppo) {
  return ppo && isLive(ppo, Kind::kPath) ? reinterpret_cast<PathObject*>(ppo) : nullptr;
}
XformObject* xform(XFORMOBJ* pxo) {
  return pxo && isLive(pxo, Kind::kXform) ? reinterpret_cast<XformObject*>(pxo) : nullptr;
}
XlateObject* xlate(XLATEOBJ* pxlo) {
  return pxlo && isLive(pxlo, Kind::kXlate) ? reinterpret_cast<XlateObject*>(pxlo) : nullptr;
}
ClipObject* clip(CLIPOBJ* pco) {
  return pco && isLive(pco, Kind::kClip) ? reinterpret_cast<ClipObject*>(pco) : nullptr;
}
BrushObject* brush(BRUSHOBJ* pbo) {
  return pbo && isLive(pbo, Kind::kBrush) ? reinterpret_cast<BrushObject*>(pbo) : nullptr;
}

ULONG complexity(const double* m) {
  bool linearIdentity = m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1;
  if (linearIdentity) return (m[4] == 0 && m[5] == 0) ? GX_IDENTITY : GX_OFFSET;
  if (m[1] == 0 && m[2] == 0) return GX_SCALE;
  return GX_GENERAL;
}

bool toLong(double v, LONG& out) {
  double r = std::round(v);  // halves away from zero
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  out = static_cast<LONG>(r);
  return true;
}

}  // namespace

namespace kp::engine {
size_t DrawingObjectCount() {
  Registry& r = registry();
  size_t n = 0;
  {
    std::lock_guard<std::mutex> g(r.lock);
    n = r.live.size();
  }
  return n + TextObjectCount();
}
}  // namespace kp::engine

static_assert(offsetof(PathObject, pub) == 0 && offsetof(XformObject, pub) == 0 && offsetof(XlateObject, pub) == 0);
static_assert(offsetof(ClipObject, pub) == 0 && offsetof(BitmapObject, pub) == 0 && offsetof(BrushObject, pub) == 0);

KP_API PATHOBJ* KpEngineCreatePath(ULONG cRecords, const PATHDATA* records) {
  if (cRecords > 0 && !records) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (ULONG i = 0; i < cRecords; ++i) {
    if (records[i].count > 0 && !records[i].pptfx) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  auto* p = new PathObject;
  bool any = false;
  for (ULONG i = 0; i < cRecords; ++i) {
    const PATHDATA& r = records[i];
    p->flags.push_back(r.flags);
    p->points.emplace_back(r.pptfx, r.pptfx + r.count);
    if (r.flags & PD_BEZIERS) {
      p->pub.fl |= PO_BEZIERS;
      p->pub.cCurves += r.count / 3;
    } else {
      // A record that begins a subpath starts at its first point.
      ULONG lines = (r.flags & PD_BEGINSUBPATH) ? (r.count > 0 ? r.count - 1 : 0) : r.count;
      p->pub.cCurves += lines;
    }
    if (r.flags & PD_CLOSEFIGURE) p->pub.cCurves += 1;
    for (ULONG k = 0; k < r.count; ++k) {
      const POINTFIX& pt = r.pptfx[k];
      if (!any) {
        p->bounds = RECTFX{pt.x, pt.y, pt.x, pt.y};
        any = true;
      } else {
        p->bounds.xLeft = std::min(p->bounds.xLeft, pt.x);
        p->bounds.yTop = std::min(p->bounds.yTop, pt.y);
        p->bounds.xRight = std::max(p->bounds.xRight, pt.x);
        p->bounds.yBottom = std::max(p->bounds.yBottom, pt.y);
      }
    }
  }
  addLive(p, Kind::kPath);
  return &p->pub;
}

KP_API XFORMOBJ* KpEngineCreateXform(const XFORML* matrix) {
  if (!matrix) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* x = new XformObject;
  x->asFloat = *matrix;
  const FLOATL* f = &matrix->eM11;
  for (int i = 0; i < 6; ++i) x->m[i] = f[i];
  addLive(x, Kind::kXform);
  return &x->pub;
}

KP_API XLATEOBJ* KpEngineCreateXlate(FLONG flXlate, ULONG cEntries, const ULONG* table) {
  if ((flXlate != XO_TRIVIAL && flXlate != XO_TABLE) || (flXlate == XO_TABLE && cEntries > 0 && !table)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* x = new XlateObject;
  x->pub.flXlate = flXlate;
  if (flXlate == XO_TABLE && cEntries > 0) x->table.assign(table, table + cEntries);
  x->pub.cEntries = static_cast<ULONG>(x->table.size());
  x->pub.pulXlate = x->table.empty() ? nullptr : x->table.data();
  x->pub.iUniq = 1;
  addLive(x, Kind::kXlate);
  return &x->pub;
}

KP_API BOOL KpEngineDeleteObject(PVOID object) {
  Kind kind = Kind::kPath;
  bool found = false;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.live.find(object);
    found = object && it != r.live.end();
    if (found) {
      kind = it->second;
      r.live.erase(it);
    }
  }
  if (!found) {
    // Fonts and strings live in their own table (fontobj.cpp).
    if (object && kp::engine::DeleteTextObject(object)) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (kind) {
    case Kind::kPath:
      delete reinterpret_cast<PathObject*>(object);
      break;
    case Kind::kXform:
      delete reinterpret_cast<XformObject*>(object);
      break;
    case Kind::kXlate:
      delete reinterpret_cast<XlateObject*>(object);
      break;
    case Kind::kClip:
      delete reinterpret_cast<ClipObject*>(object);
      break;
    case Kind::kBitmap:
      delete reinterpret_cast<BitmapObject*>(object);
      break;
    case Kind::kBrush: {
      auto* b = reinterpret_cast<BrushObject*>(object);
      if (b->hasRbrush) --gRbrushLive;
      if (b->hatchXlate) {
        Registry& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        r.live.erase(b->hatchXlate.get());
      }
      delete b;
      break;
    }
  }
  return TRUE;
}

KP_API VOID WINAPI PATHOBJ_vEnumStart(PATHOBJ* ppo) {
  if (PathObject* p = path(ppo)) p->next = 0;
}

KP_API BOOL WINAPI PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
  if (!ppd) return FALSE;
  *ppd = PATHDATA{};
  PathObject* p = path(ppo);
  if (!p || p->next >= p->flags.size()) return FALSE;
  size_t i = p->next++;
  ppd->flags = p->flags[i];
  ppd->count = static_cast<ULONG>(p->points[i].size());
  ppd->pptfx = p->points[i].empty() ? nullptr : p->points[i].data();
  return p->next < p->flags.size();
}

KP_API VOID WINAPI PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx) {
  if (!prectfx) return;
  PathObject* p = path(ppo);
  *prectfx = p ? p->bounds : RECTFX{};
}

KP_API ULONG WINAPI XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
  if (!pxlo) return iColor;
  XlateObject* x = xlate(pxlo);
  if (!x || (x->pub.flXlate & XO_TRIVIAL)) return iColor;
  if (x->bitfields) {
    ULONG out = 0;
    for (int c = 0; c < 3; ++c) {
      ULONG mask = x->masks[c];
      if (mask == 0) continue;
      int shift = 0;
      while (!((mask >> shift) & 1u)) ++shift;
      ULONG max = mask >> shift;
      ULONG v = (iColor & mask) >> shift;
      ULONG byte = static_cast<ULONG>((static_cast<uint64_t>(v) * 255u + max / 2) / max);
      out |= byte << (8 * c);  // 0x00BBGGRR: red lowest
    }
    return out;
  }
  return iColor < x->table.size() ? x->table[iColor] : 0xFFFFFFFFu;
}

KP_API ULONG WINAPI XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform) {
  XformObject* x = xform(pxo);
  if (!x) return DDI_ERROR;
  if (pxform) *pxform = x->asFloat;
  return complexity(x->m);
}

KP_API ULONG WINAPI XFORMOBJ_iGetFloatObjXform(XFORMOBJ* pxo, FLOATOBJ_XFORM* pfxo) {
  XformObject* x = xform(pxo);
  if (!x) return DDI_ERROR;
  if (pfxo) {
    FLOATOBJ* out = &pfxo->eM11;
    for (int i = 0; i < 6; ++i) out[i].value = x->m[i];
  }
  return complexity(x->m);
}

KP_API BOOL WINAPI XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn, PVOID pvOut) {
  XformObject* x = xform(pxo);
  if (!x || (cPoints > 0 && (!pvIn || !pvOut)) || iMode > XF_INV_FXTOL) return FALSE;
  double m[6];
  std::memcpy(m, x->m, sizeof m);
  bool inverse = iMode == XF_INV_LTOL || iMode == XF_INV_FXTOL;
  if (inverse) {
    double det = m[0] * m[3] - m[1] * m[2];
    if (det == 0 || !std::isfinite(det)) return FALSE;
    double i11 = m[3] / det, i12 = -m[1] / det, i21 = -m[2] / det, i22 = m[0] / det;
    double idx = -(m[4] * i11 + m[5] * i21), idy = -(m[4] * i12 + m[5] * i22);
    double inv[6] = {i11, i12, i21, i22, idx, idy};
    std::memcpy(m, inv, sizeof m);
  }
  double inScale = iMode == XF_INV_FXTOL ? 1.0 / 16 : 1.0;
  double outScale = iMode == XF_LTOFX ? 16.0 : 1.0;
  std::vector<POINTL> result(cPoints);
  auto* in = static_cast<const POINTL*>(pvIn);  // POINTL and POINTFIX are both two LONGs
  for (ULONG i = 0; i < cPoints; ++i) {
    double px = in[i].x * inScale, py = in[i].y * inScale;
    double rx = (px * m[0] + py * m[2] + m[4]) * outScale;
    double ry = (px * m[1] + py * m[3] + m[5]) * outScale;
    if (!toLong(rx, result[i].x) || !toLong(ry, result[i].y)) return FALSE;
  }
  if (cPoints > 0) std::memcpy(pvOut, result.data(), cPoints * sizeof(POINTL));
  return TRUE;
}

// ---- Drawing objects of the drawing calls -----------------------------------------

namespace {

ULONG bitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

BitmapObject* makeBitmap(LONG width, LONG height, ULONG format, USHORT fjBitmap, const void* bits, ULONG stride) {
  const ULONG bpp = bitsPerPixel(format);
  if (bpp == 0 || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || !bits) return nullptr;
  const ULONG rowBytes = static_cast<ULONG>(((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4);
  if (stride == 0) stride = rowBytes;
  if (stride < rowBytes) return nullptr;
  auto* b = new BitmapObject;
  const size_t total = static_cast<size_t>(stride) * static_cast<size_t>(height);
  b->bits.assign(static_cast<const uint8_t*>(bits), static_cast<const uint8_t*>(bits) + total);
  SURFOBJ& so = b->pub;
  so.sizlBitmap = SIZEL{width, height};
  so.cjBits = static_cast<ULONG>(total);
  so.pvBits = b->bits.data();
  if (fjBitmap & BMF_TOPDOWN) {
    so.pvScan0 = b->bits.data();
    so.lDelta = static_cast<LONG>(stride);
  } else {
    so.pvScan0 = b->bits.data() + static_cast<size_t>(height - 1) * stride;
    so.lDelta = -static_cast<LONG>(stride);
  }
  so.iBitmapFormat = format;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = fjBitmap;
  so.iUniq = 1;
  return b;
}

// The 8 x 8 hatch bitmaps: rows of 4 bytes, top row first; 0 bits are the
// lines (colour 0 of the translation, the foreground), 1 bits the background.
void hatchRows(ULONG iHatch, uint8_t rows[8]) {
  for (int r = 0; r < 8; ++r) {
    uint8_t line = 0;  // bits set where the line is
    const bool horizontal = iHatch == HS_HORIZONTAL || iHatch == HS_CROSS;
    const bool vertical = iHatch == HS_VERTICAL || iHatch == HS_CROSS;
    const bool forward = iHatch == HS_FDIAGONAL || iHatch == HS_DIAGCROSS;
    const bool backward = iHatch == HS_BDIAGONAL || iHatch == HS_DIAGCROSS;
    if (horizontal && r == 4) line = 0xFF;
    if (vertical) line |= 0x08;  // column 4 (bit 7 is column 0)
    if (forward) line |= static_cast<uint8_t>(0x80 >> r);
    if (backward) line |= static_cast<uint8_t>(0x01 << r);
    rows[r] = static_cast<uint8_t>(~line);
  }
}

BrushObject* makeBrush(KP_ENGINE_SESSION* session) {
  auto* b = new BrushObject;
  b->source.session = session;
  return b;
}

}  // namespace

KP_API SURFOBJ* KpEngineCreateBitmap(LONG width, LONG height, ULONG format, USHORT fjBitmap, const void* bits,
                                     ULONG stride) {
  BitmapObject* b = makeBitmap(width, height, format, fjBitmap, bits, stride);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  addLive(b, Kind::kBitmap);
  return &b->pub;
}

KP_API CLIPOBJ* KpEngineCreateClip(BYTE complexity, ULONG count, const RECTL* rects) {
  const bool ok = (complexity == DC_TRIVIAL && count == 0) || (complexity == DC_RECT && count == 1 && rects) ||
                  (complexity == DC_COMPLEX && count > 0 && rects);
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* c = new ClipObject;
  c->pub.iDComplexity = complexity;
  c->pub.iFComplexity = complexity == DC_RECT ? 1 : (complexity == DC_COMPLEX ? 3 : 0);  // FC_RECT, FC_COMPLEX
  c->pub.iUniq = 1;
  if (count > 0) {
    c->rects.assign(rects, rects + count);
    RECTL u = rects[0];
    for (ULONG i = 1; i < count; ++i) {
      u.left = std::min(u.left, rects[i].left);
      u.top = std::min(u.top, rects[i].top);
      u.right = std::max(u.right, rects[i].right);
      u.bottom = std::max(u.bottom, rects[i].bottom);
    }
    c->pub.rclBounds = u;
  }
  addLive(c, Kind::kClip);
  return &c->pub;
}

KP_API void KpEngineFailClipPath(void) { gFailClipPath = true; }

KP_API PATHOBJ* WINAPI CLIPOBJ_ppoGetPath(CLIPOBJ* pco) {
  if (gFailClipPath.exchange(false)) return nullptr;
  ClipObject* c = clip(pco);
  if (!c || c->pub.iDComplexity == DC_TRIVIAL) return nullptr;
  std::vector<POINTFIX> points;
  std::vector<PATHDATA> records;
  points.reserve(c->rects.size() * 4);
  for (const RECTL& r : c->rects) {
    // 28.4, held to the LONG range for rectangles beyond what 28.4 can hold.
    auto fx = [](LONG v) {
      const long long f = static_cast<long long>(v) * 16;
      return static_cast<LONG>(f > 0x7FFFFFFF ? 0x7FFFFFFF : (f < -0x7FFFFFFF - 1LL ? -0x7FFFFFFF - 1LL : f));
    };
    const LONG l = fx(r.left), t = fx(r.top), rr = fx(r.right), b = fx(r.bottom);
    points.push_back(POINTFIX{l, t});
    points.push_back(POINTFIX{rr, t});
    points.push_back(POINTFIX{rr, b});
    points.push_back(POINTFIX{l, b});
  }
  for (size_t i = 0; i < c->rects.size(); ++i)
    records.push_back(PATHDATA{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, 4, points.data() + 4 * i});
  return KpEngineCreatePath(static_cast<ULONG>(records.size()), records.data());
}

KP_API VOID WINAPI EngDeletePath(PATHOBJ* ppo) {
  if (path(ppo)) KpEngineDeleteObject(ppo);
}

KP_API PATHOBJ* KpEngineCreateRectPath(const RECTFX* box) {
  if (!box) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const POINTFIX p[4] = {{box->xLeft, box->yTop}, {box->xRight, box->yTop}, {box->xRight, box->yBottom},
                         {box->xLeft, box->yBottom}};
  const PATHDATA rec{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, 4, const_cast<POINTFIX*>(p)};
  return KpEngineCreatePath(1, &rec);
}

KP_API PATHOBJ* KpEngineCreatePolygonPath(ULONG count, const POINTFIX* points) {
  if (count == 0 || !points) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const PATHDATA rec{PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, count, const_cast<POINTFIX*>(points)};
  return KpEngineCreatePath(1, &rec);
}

KP_API PATHOBJ* KpEngineCreateEllipsePath(const RECTFX* box) {
  if (!box) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const double l = box->xLeft, t = box->yTop, r = box->xRight, b = box->yBottom;
  const double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
  const double k = 0.5522847498;  // the control distance of a quarter circle
  auto fx = [](double v) { return static_cast<FIX>(std::lround(v)); };
  // From the right-hand end, clockwise on the page (y grows downwards).
  const POINTFIX p[13] = {
      {fx(r), fx(cy)},
      {fx(r), fx(cy + k * ry)},  {fx(cx + k * rx), fx(b)},  {fx(cx), fx(b)},
      {fx(cx - k * rx), fx(b)},  {fx(l), fx(cy + k * ry)},  {fx(l), fx(cy)},
      {fx(l), fx(cy - k * ry)},  {fx(cx - k * rx), fx(t)},  {fx(cx), fx(t)},
      {fx(cx + k * rx), fx(t)},  {fx(r), fx(cy - k * ry)},  {fx(r), fx(cy)},
  };
  const PATHDATA recs[2] = {{PD_BEGINSUBPATH, 1, const_cast<POINTFIX*>(p)},
                            {PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE, 12, const_cast<POINTFIX*>(p + 1)}};
  PATHOBJ* ppo = KpEngineCreatePath(2, recs);
  if (PathObject* po = path(ppo)) {
    po->pub.fl |= PO_ELLIPSE;
    po->bounds = *box;
  }
  return ppo;
}

KP_API BRUSHOBJ* KpEngineCreateSolidBrush(KP_ENGINE_SESSION* session, ULONG color) {
  BrushObject* b = makeBrush(session);
  b->pub.iSolidColor = color;
  addLive(b, Kind::kBrush);
  return &b->pub;
}

KP_API BRUSHOBJ* KpEngineCreateHatchBrush(KP_ENGINE_SESSION* session, ULONG iHatch, ULONG foreground,
                                          ULONG background) {
  if (iHatch >= HS_DDI_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BrushObject* b = makeBrush(session);
  uint8_t rows[8];
  hatchRows(iHatch, rows);
  uint8_t bits[32] = {};
  for (int r = 0; r < 8; ++r) bits[4 * r] = rows[r];
  b->hatch.reset(makeBitmap(8, 8, BMF_1BPP, BMF_TOPDOWN, bits, 4));
  b->hatchXlate = std::make_unique<XlateObject>();
  b->hatchXlate->table = {foreground, background};
  b->hatchXlate->pub.flXlate = XO_TABLE;
  b->hatchXlate->pub.cEntries = 2;
  b->hatchXlate->pub.pulXlate = b->hatchXlate->table.data();
  b->hatchXlate->pub.iUniq = 1;
  b->pub.iSolidColor = 0xFFFFFFFFu;
  b->source.pattern = &b->hatch->pub;
  b->source.xlate = &b->hatchXlate->pub;
  b->source.iHatch = iHatch;
  addLive(b, Kind::kBrush);
  // The hatch's own bitmap and translation are read through the brush only;
  // they are not separate live objects, so the driver's XLATEOBJ_iXlate on
  // them works through this registration.
  addLive(b->hatchXlate.get(), Kind::kXlate);
  return &b->pub;
}

KP_API BRUSHOBJ* KpEngineCreatePatternBrush(KP_ENGINE_SESSION* session, SURFOBJ* pattern, SURFOBJ* mask,
                                            XLATEOBJ* pxlo) {
  if (!pattern) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BrushObject* b = makeBrush(session);
  b->pub.iSolidColor = 0xFFFFFFFFu;
  b->source.pattern = pattern;
  b->source.mask = mask;
  b->source.xlate = pxlo;
  b->source.iHatch = HS_DDI_MAX;  // a pattern brush
  addLive(b, Kind::kBrush);
  return &b->pub;
}

KP_API PVOID WINAPI BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
  BrushObject* b = brush(pbo);
  if (!b || cj == 0 || cj > 0x7FFFFFFFu || kp::engine::TakeAllocationFailure()) return nullptr;
  if (!b->hasRbrush) ++gRbrushLive;
  b->hasRbrush = true;
  b->rbrush.assign(cj, 0);
  b->pub.pvRbrush = b->rbrush.data();
  return b->pub.pvRbrush;
}

KP_API PVOID WINAPI BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
  BrushObject* b = brush(pbo);
  if (!b || b->pub.iSolidColor != 0xFFFFFFFFu) return nullptr;
  if (b->hasRbrush) return b->pub.pvRbrush;
  ++gRealizeCalls;
  BOOL ok = kp::engine::RealizeBrush(pbo, b->source);
  if (!ok) {
    // Whatever the driver allocated before failing is not a realization.
    if (b->hasRbrush) --gRbrushLive;
    b->hasRbrush = false;
    b->rbrush.clear();
    b->pub.pvRbrush = nullptr;
    return nullptr;
  }
  return b->hasRbrush ? b->pub.pvRbrush : nullptr;
}

KP_API size_t KpEngineRbrushCount(void) { return gRbrushLive.load(); }
KP_API size_t KpEngineRealizeCount(void) { return gRealizeCalls.load(); }

KP_API XLATEOBJ* KpEngineCreateXlateBitfields(ULONG redMask, ULONG greenMask, ULONG blueMask) {
  if (redMask == 0 && greenMask == 0 && blueMask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* x = new XlateObject;
  x->bitfields = true;
  x->masks[0] = redMask;
  x->masks[1] = greenMask;
  x->masks[2] = blueMask;
  x->pub.iSrcType = static_cast<USHORT>(PAL_BITFIELDS);
  x->pub.iDstType = static_cast<USHORT>(PAL_RGB);
  x->pub.iUniq = 1;
  addLive(x, Kind::kXlate);
  return &x->pub;
}

// ---- EngBitBlt and EngEraseSurface ----------------------------------------------------

namespace {
struct BlitRecord {
  std::mutex lock;
  BOOL result = TRUE;
  size_t blits = 0;
  size_t erases = 0;
  bool hasErase = false;
  RECTL lastRect{};
  ULONG lastColor = 0;
};
BlitRecord& blits() {
  static BlitRecord* r = new BlitRecord;
  return *r;
}
}  // namespace

KP_API BOOL WINAPI EngBitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                             POINTL*, ROP4) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  ++r.blits;
  return r.result;
}

KP_API BOOL WINAPI EngEraseSurface(SURFOBJ*, RECTL* prcl, ULONG iColor) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  ++r.erases;
  r.hasErase = prcl != nullptr;
  if (prcl) r.lastRect = *prcl;
  r.lastColor = iColor;
  return r.result;
}

KP_API void KpEngineSetBlitResult(BOOL result) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  r.result = result;
}
KP_API size_t KpEngineBlitCount(void) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  return r.blits;
}
KP_API size_t KpEngineEraseCount(void) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  return r.erases;
}
KP_API BOOL KpEngineLastErase(RECTL* rect, ULONG* color) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  if (!r.hasErase) return FALSE;
  if (rect) *rect = r.lastRect;
  if (color) *color = r.lastColor;
  return TRUE;
}
KP_API void KpEngineClearBlits(void) {
  BlitRecord& r = blits();
  std::lock_guard<std::mutex> g(r.lock);
  r.blits = r.erases = 0;
  r.hasErase = false;
}
