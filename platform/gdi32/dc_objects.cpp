// The GDI objects of printer DCs (kplatform/gdi32_dc.h): fonts, pens,
// brushes, bitmaps for pattern brushes, rectangle regions and the stock
// objects; selecting them into a DC, deleting them; the DC's clip.
//
// Objects live in one table of the process. A DC holds what it selected by
// reference, so an object deleted while selected (DeleteObject answers
// TRUE, as on Windows) stays in use by that DC, and by its saved states,
// until they select another; its handle is gone at once.
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "gdi32/dc_internal.h"
#include "kplatform/engine_draw.h"
#include "kplatform/gdi32_dc.h"
#include "kplatform/kernel32_system.h"

namespace kp::gdi {
namespace {

constexpr uintptr_t kStockBase = 0x7C000010;  // stock handles: kStockBase + 4 x index
constexpr int kStockCount = NULL_PEN + 1;
constexpr size_t kBitmapLimit = 64u << 20;  // bytes of one bitmap's rows

struct Objects {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<GdiObject>> objects;
  uintptr_t next = 0x7D000010;
};

std::shared_ptr<GdiObject> Stock(int index) {
  auto o = std::make_shared<GdiObject>();
  o->stock = true;
  static constexpr COLORREF kBrushColours[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                               RGB(64, 64, 64), RGB(0, 0, 0)};
  if (index <= BLACK_BRUSH) {
    o->kind = ObjectKind::kBrush;
    o->brushColor = kBrushColours[index];
  } else if (index == NULL_BRUSH) {
    o->kind = ObjectKind::kBrush;
    o->brushStyle = BS_NULL;
  } else {
    o->kind = ObjectKind::kPen;
    o->penStyle = index == NULL_PEN ? PS_NULL : PS_SOLID;
    o->penColor = index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0);
  }
  return o;
}

Objects& O() {
  static Objects* o = [] {
    auto* made = new Objects;  // outlives static destructors
    for (int i = 0; i < kStockCount; ++i) made->objects[kStockBase + 4 * static_cast<uintptr_t>(i)] = Stock(i);
    return made;
  }();
  return *o;
}

HGDIOBJ Add(std::shared_ptr<GdiObject> object) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  uintptr_t h = o.next;
  o.next += 4;
  o.objects[h] = std::move(object);
  return reinterpret_cast<HGDIOBJ>(h);
}

HGDIOBJ Refuse(DWORD error) {
  SetLastError(error);
  return nullptr;
}

RECTL Normalized(int left, int top, int right, int bottom) {
  return RECTL{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

bool Empty(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }

RECTL Intersect(const RECTL& a, const RECTL& b) {
  return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
}

// The page in device pixels: what an unclipped DC shows.
RECTL Page(const Dc& dc) {
  const GDIINFO* g = dc.session ? KpEngineSessionGdiInfo(dc.session) : nullptr;
  if (!g) return RECTL{0, 0, INT_MAX, INT_MAX};
  return RECTL{0, 0, static_cast<LONG>(g->ulHorzRes), static_cast<LONG>(g->ulVertRes)};
}

int RegionKind(const DrawState& s) {
  if (!s.clipped) return SIMPLEREGION;
  return s.clip.empty() ? NULLREGION : (s.clip.size() == 1 ? SIMPLEREGION : COMPLEXREGION);
}

int SelectClip(Dc& dc, HRGN region) {
  if (!region) {
    dc.draw.clipped = false;
    dc.draw.clip.clear();
    return SIMPLEREGION;
  }
  ObjectRef r = FindObject(region, ObjectKind::kRegion);
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return RGN_ERROR;
  }
  dc.draw.clipped = true;
  dc.draw.clip.clear();
  if (!Empty(r->rect)) dc.draw.clip.push_back(r->rect);
  return RegionKind(dc.draw);
}

// IntersectClipRect (the clip within the box) and ExcludeClipRect (the clip
// less the box: of each rectangle the bands above and below the box and the
// parts left and right of it between them, so they stay disjoint; an
// unclipped DC starts from the page).
int NarrowClip(HDC hdc, int left, int top, int right, int bottom, bool exclude) {
  std::shared_ptr<Dc> dc = FindDcOrFail(hdc);
  if (!dc) return RGN_ERROR;
  const RECTL box = Normalized(left, top, right, bottom);
  DrawState& s = dc->draw;
  std::vector<RECTL> from = s.clipped ? s.clip : std::vector<RECTL>{exclude ? Page(*dc) : box};
  std::vector<RECTL> kept;
  for (const RECTL& r : from) {
    const RECTL in = Intersect(r, box);
    if (!exclude) {
      if (!Empty(in)) kept.push_back(in);
      continue;
    }
    if (Empty(in)) {
      kept.push_back(r);
      continue;
    }
    const RECTL parts[4] = {{r.left, r.top, r.right, in.top},
                            {r.left, in.top, in.left, in.bottom},
                            {in.right, in.top, r.right, in.bottom},
                            {r.left, in.bottom, r.right, r.bottom}};
    for (const RECTL& p : parts)
      if (!Empty(p)) kept.push_back(p);
  }
  s.clipped = true;
  s.clip = std::move(kept);
  int kind = RegionKind(s);
  LogCall(*dc, exclude ? "ExcludeClipRect" : "IntersectClipRect", left, top, right, bottom, kind);
  return kind;
}

}  // namespace

ObjectRef FindObject(HGDIOBJ handle) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  auto it = o.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == o.objects.end() ? nullptr : it->second;
}

ObjectRef FindObject(HGDIOBJ handle, ObjectKind kind) {
  ObjectRef object = FindObject(handle);
  return object && object->kind == kind ? object : nullptr;
}

EngineObjects::~EngineObjects() {
  for (auto it = made.rbegin(); it != made.rend(); ++it) KpEngineDeleteObject(*it);
}

CLIPOBJ* DcClip(const Dc& dc, const RECTL* also, EngineObjects& objects, bool* empty) {
  *empty = false;
  std::vector<RECTL> rects;
  if (dc.draw.clipped) {
    for (const RECTL& r : dc.draw.clip) {
      const RECTL in = also ? Intersect(r, *also) : r;
      if (!Empty(in)) rects.push_back(in);
    }
  } else if (also) {
    if (!Empty(*also)) rects.push_back(*also);
  } else {
    CLIPOBJ* trivial = objects.Keep(KpEngineCreateClip(DC_TRIVIAL, 0, nullptr));
    if (!trivial) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return trivial;
  }
  if (rects.empty()) {
    *empty = true;
    return nullptr;
  }
  CLIPOBJ* clip = objects.Keep(
      KpEngineCreateClip(rects.size() == 1 ? DC_RECT : DC_COMPLEX, static_cast<ULONG>(rects.size()), rects.data()));
  if (!clip) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return clip;
}

}  // namespace kp::gdi

using kp::gdi::Dc;
using kp::gdi::FindDc;
using kp::gdi::FindObject;
using kp::gdi::GdiObject;
using kp::gdi::ObjectKind;
using kp::gdi::ObjectRef;

KP_API HGDIOBJ WINAPI GetStockObject(int index) {
  if (index < 0 || index >= kp::gdi::kStockCount) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  kp::gdi::O();  // the stock objects exist from the table's start
  return reinterpret_cast<HGDIOBJ>(kp::gdi::kStockBase + 4 * static_cast<uintptr_t>(index));
}

KP_API HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kFont;
  o->font = *font;
  return kp::gdi::Add(std::move(o));
}

KP_API HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  if (style < PS_SOLID || style > PS_INSIDEFRAME || width < 0) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kPen;
  // A pen wider than a pixel is geometric with round ends and joins.
  o->penStyle = static_cast<DWORD>(style) | (width > 1 ? PS_GEOMETRIC : PS_COSMETIC);
  o->penWidth = width > 1 ? static_cast<DWORD>(width) : 1;
  o->penColor = color;
  return kp::gdi::Add(std::move(o));
}

KP_API HPEN WINAPI ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount,
                                const DWORD* styleEntries) {
  const DWORD kind = style & PS_STYLE_MASK, cap = style & PS_ENDCAP_MASK, join = style & PS_JOIN_MASK,
              type = style & PS_TYPE_MASK;
  const bool geometric = type == PS_GEOMETRIC;
  const DWORD known = PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK | PS_TYPE_MASK;
  if (!brush || (style & ~known) || kind > PS_ALTERNATE || cap > PS_ENDCAP_FLAT || join > PS_JOIN_MITER ||
      (type != PS_COSMETIC && type != PS_GEOMETRIC) || (!geometric && width != 1) ||
      (geometric && kind == PS_ALTERNATE) || (!geometric && kind == PS_INSIDEFRAME) ||
      (kind == PS_USERSTYLE) != (styleCount != 0) || (styleCount && !styleEntries) || styleCount > 16 ||
      width > 0x7FFFFFF)
    return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  if (kind == PS_USERSTYLE &&
      std::all_of(styleEntries, styleEntries + styleCount, [](DWORD entry) { return entry == 0; }))
    return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  if (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL) return kp::gdi::Refuse(ERROR_NOT_SUPPORTED);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kPen;
  o->penStyle = brush->lbStyle == BS_NULL ? PS_NULL | type : style;
  o->penWidth = width;
  o->penColor = brush->lbColor;
  if (kind == PS_USERSTYLE) o->userStyle.assign(styleEntries, styleEntries + styleCount);
  return kp::gdi::Add(std::move(o));
}

KP_API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kBrush;
  o->brushColor = color;
  return kp::gdi::Add(std::move(o));
}

KP_API HBRUSH WINAPI CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kBrush;
  o->brushStyle = BS_HATCHED;
  o->brushColor = color;
  o->hatch = static_cast<ULONG>(hatch);
  return kp::gdi::Add(std::move(o));
}

KP_API HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || planes != 1)
    return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  if (bitsPerPixel != 1 && bitsPerPixel != 32) return kp::gdi::Refuse(ERROR_NOT_SUPPORTED);
  const size_t rowBits = static_cast<size_t>(width) * bitsPerPixel;
  const size_t given = (rowBits + 15) / 16 * 2;  // the caller's rows: whole 16-bit words
  const size_t stride = (rowBits + 31) / 32 * 4;
  if (stride * static_cast<size_t>(height) > kp::gdi::kBitmapLimit) return kp::gdi::Refuse(ERROR_NOT_ENOUGH_MEMORY);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kBitmap;
  o->width = width;
  o->height = height;
  o->bitsPerPixel = bitsPerPixel;
  o->bits.assign(stride * static_cast<size_t>(height), 0);
  if (bits)
    for (size_t y = 0; y < static_cast<size_t>(height); ++y)
      std::memcpy(o->bits.data() + y * stride, static_cast<const BYTE*>(bits) + y * given, given);
  return kp::gdi::Add(std::move(o));
}

KP_API HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap) {
  ObjectRef pattern = FindObject(bitmap, ObjectKind::kBitmap);
  if (!pattern) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kBrush;
  o->brushStyle = BS_PATTERN;
  o->pattern = std::move(pattern);
  return kp::gdi::Add(std::move(o));
}

KP_API HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom) {
  auto o = std::make_shared<GdiObject>();
  o->kind = ObjectKind::kRegion;
  o->rect = kp::gdi::Normalized(left, top, right, bottom);
  return kp::gdi::Add(std::move(o));
}

KP_API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  ObjectRef o = FindObject(object);
  if (!dc || !o || o->kind == ObjectKind::kBitmap) return kp::gdi::Refuse(ERROR_INVALID_PARAMETER);
  if (o->kind == ObjectKind::kRegion) {  // a region selected is the clip; the answer its kind
    int kind = kp::gdi::SelectClip(*dc, object);
    kp::gdi::LogCall(*dc, "SelectObject", static_cast<LONG>(o->kind), 0, 0, 0, kind);
    return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(kind));
  }
  kp::gdi::Selected& slot = o->kind == ObjectKind::kFont  ? dc->draw.font
                            : o->kind == ObjectKind::kPen ? dc->draw.pen
                                                          : dc->draw.brush;
  HGDIOBJ old = slot.handle;
  if (!old && o->kind != ObjectKind::kFont)  // the DC starts with the stock pen and brush
    old = GetStockObject(o->kind == ObjectKind::kPen ? BLACK_PEN : WHITE_BRUSH);
  slot = kp::gdi::Selected{object, std::move(o)};
  kp::gdi::LogCall(*dc, "SelectObject", static_cast<LONG>(slot.object->kind), 0, 0, 0, 1);
  return old;
}

KP_API BOOL WINAPI DeleteObject(HGDIOBJ object) {
  kp::gdi::Objects& o = kp::gdi::O();
  std::shared_ptr<GdiObject> gone;  // released outside the lock
  std::lock_guard<std::mutex> g(o.lock);
  auto it = o.objects.find(reinterpret_cast<uintptr_t>(object));
  if (it == o.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!it->second->stock) {
    gone = std::move(it->second);
    o.objects.erase(it);
  }
  return TRUE;
}

KP_API int WINAPI SelectClipRgn(HDC hdc, HRGN region) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return RGN_ERROR;
  int kind = kp::gdi::SelectClip(*dc, region);
  kp::gdi::LogCall(*dc, "SelectClipRgn", region ? 1 : 0, 0, 0, 0, kind);
  return kind;
}

KP_API int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return kp::gdi::NarrowClip(hdc, left, top, right, bottom, false);
}

KP_API int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return kp::gdi::NarrowClip(hdc, left, top, right, bottom, true);
}
