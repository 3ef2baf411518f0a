// The drawing objects the stand-in carries today: paths (enumeration and
// bounds), transforms and colour translations.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "engine/engine_state.h"

namespace {

enum class Kind { kPath, kXform, kXlate };

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
};

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
