// The drawing calls of a printer DC (kplatform/gdi32_dc.h): the state the
// DC keeps itself (colours, background mode, selected font and pen, the
// SaveDC stack), the font and pen objects, and the calls that would reach the
// renderer's drawing entries.
//
// Each call that reaches the renderer is logged and handed to one function
// below: text goes to the runner's text call (dc_text.cpp); paths and
// bitmaps answer FALSE with ERROR_NOT_SUPPORTED until the drawing work gives
// the runner its drawing call and replaces the function's inside.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "gdi32/dc_internal.h"
#include "kplatform/gdi32_dc.h"
#include "kplatform/kernel32_system.h"

namespace {

using kp::gdi::Dc;
using kp::gdi::FindDc;

// ---- GDI objects (fonts and pens)
struct Object {
  int kind;  // 1 font, 2 pen
  LOGFONTW font;
  int penStyle, penWidth;
  COLORREF penColor;
};
struct Objects {
  std::mutex lock;
  std::map<uintptr_t, Object> objects;
  uintptr_t next = 0x7D000010;
};
Objects& O() {
  static Objects* o = new Objects;
  return *o;
}
HGDIOBJ AddObject(const Object& object) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  uintptr_t h = o.next;
  o.next += 4;
  o.objects[h] = object;
  return reinterpret_cast<HGDIOBJ>(h);
}
int ObjectKind(HGDIOBJ object) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  auto it = o.objects.find(reinterpret_cast<uintptr_t>(object));
  return it == o.objects.end() ? 0 : it->second.kind;
}

// The logical font of a font object; false for anything else.
bool SelectedFont(HGDIOBJ object, LOGFONTW* font) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  auto it = o.objects.find(reinterpret_cast<uintptr_t>(object));
  if (it == o.objects.end() || it->second.kind != 1) return false;
  *font = it->second.font;
  return true;
}

void Log(Dc& dc, const char* name, LONG a = 0, LONG b = 0, LONG c = 0, LONG d = 0, LONG result = 0) {
  LONG args[4] = {a, b, c, d};
  size_t at = dc.AddLog(KP_DCLOG_DRAWING, 0, 0, 0, nullptr, name, args);
  dc.SetLogResult(at, result);
}

// ---- Calls that reach the renderer. The text calls go through dc_text.cpp
// to the runner's text call; the others answer FALSE, ERROR_NOT_SUPPORTED
// until the runner has their drawing calls.
BOOL dcdraw_TextOut(Dc& dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                    const INT* dx) {
  LOGFONTW font{};
  const bool selected = dc.draw.font && SelectedFont(dc.draw.font, &font);
  return kp::gdi::DcTextOut(dc, selected ? &font : nullptr, x, y, options, rect, text, count, dx);
}
BOOL dcdraw_TextExtent(Dc& dc, LPCWSTR text, int count, SIZE* size) {
  LOGFONTW font{};
  const bool selected = dc.draw.font && SelectedFont(dc.draw.font, &font);
  return kp::gdi::DcTextExtent(dc, selected ? &font : nullptr, text, count, size);
}
BOOL dcdraw_Polyline(Dc&, const POINT*, int) {
  SetLastError(ERROR_NOT_SUPPORTED);  // replaced by the drawing work (paths)
  return FALSE;
}
int dcdraw_StretchDIBits(Dc&, int, int, int, int, int, int, int, int, const void*, const BITMAPINFO*, UINT, DWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);  // replaced by the drawing work (bitmaps)
  return 0;
}

}  // namespace

KP_API int WINAPI GetDeviceCaps(HDC hdc, int index) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || !dc->session) return 0;
  const GDIINFO* g = KpEngineSessionGdiInfo(dc->session);
  if (!g) return 0;
  switch (index) {
    case HORZSIZE: return static_cast<int>(g->ulHorzSize);
    case VERTSIZE: return static_cast<int>(g->ulVertSize);
    case HORZRES: return static_cast<int>(g->ulHorzRes);
    case VERTRES: return static_cast<int>(g->ulVertRes);
    case BITSPIXEL: return static_cast<int>(g->cBitsPixel);
    case LOGPIXELSX: return static_cast<int>(g->ulLogPixelsX);
    case LOGPIXELSY: return static_cast<int>(g->ulLogPixelsY);
    case PHYSICALWIDTH: return g->szlPhysSize.cx;
    case PHYSICALHEIGHT: return g->szlPhysSize.cy;
    case PHYSICALOFFSETX: return g->ptlPhysOffset.x;
    case PHYSICALOFFSETY: return g->ptlPhysOffset.y;
    default: return 0;
  }
}

KP_API int WINAPI SaveDC(HDC hdc) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->draw);
  int level = static_cast<int>(dc->saved.size());
  Log(*dc, "SaveDC", 0, 0, 0, 0, level);
  return level;
}

KP_API BOOL WINAPI RestoreDC(HDC hdc, int saved) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return FALSE;
  LONG size = static_cast<LONG>(dc->saved.size());
  LONG level = saved < 0 ? size + saved + 1 : saved;  // negative: relative to the newest
  BOOL ok = level >= 1 && level <= size;
  if (ok) {
    dc->draw = dc->saved[static_cast<size_t>(level - 1)];
    dc->saved.resize(static_cast<size_t>(level - 1));
  }
  Log(*dc, "RestoreDC", saved, 0, 0, 0, ok);
  return ok;
}

KP_API HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Object o{};
  o.kind = 1;
  o.font = *font;
  return AddObject(o);
}

KP_API HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  Object o{};
  o.kind = 2;
  o.penStyle = style;
  o.penWidth = width;
  o.penColor = color;
  return AddObject(o);
}

KP_API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  int kind = ObjectKind(object);
  if (!dc || !kind) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HGDIOBJ& slot = kind == 1 ? dc->draw.font : dc->draw.pen;
  HGDIOBJ old = slot;
  slot = object;
  Log(*dc, "SelectObject", kind, 0, 0, 0, 1);
  return old;
}

KP_API BOOL WINAPI DeleteObject(HGDIOBJ object) {
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  return o.objects.erase(reinterpret_cast<uintptr_t>(object)) ? TRUE : FALSE;
}

KP_API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->draw.textColor;
  dc->draw.textColor = color;
  Log(*dc, "SetTextColor", static_cast<LONG>(color), 0, 0, 0, static_cast<LONG>(old));
  return old;
}

KP_API int WINAPI SetBkMode(HDC hdc, int mode) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->draw.bkMode;
  dc->draw.bkMode = mode;
  Log(*dc, "SetBkMode", mode, 0, 0, 0, old);
  return old;
}

KP_API BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                               const INT* dx) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return FALSE;
  BOOL r = dcdraw_TextOut(*dc, x, y, options, rect, text, count, dx);
  Log(*dc, "ExtTextOutW", x, y, static_cast<LONG>(count), 0, r);
  return r;
}

KP_API BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || !size) return FALSE;
  BOOL r = dcdraw_TextExtent(*dc, text, count, size);
  Log(*dc, "GetTextExtentPoint32W", count, 0, 0, 0, r);
  return r;
}

KP_API BOOL WINAPI Polyline(HDC hdc, const POINT* points, int count) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || !points || count < 2) return FALSE;
  BOOL r = dcdraw_Polyline(*dc, points, count);
  Log(*dc, "Polyline", count, points[0].x, points[0].y, 0, r);
  return r;
}

KP_API int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                                int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                                DWORD rop) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return 0;
  int r = dcdraw_StretchDIBits(*dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                               info, usage, rop);
  Log(*dc, "StretchDIBits", xDest, yDest, static_cast<LONG>(rop), 0, r);
  return r;
}
