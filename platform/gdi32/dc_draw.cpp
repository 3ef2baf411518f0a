// The drawing calls of a printer DC (kplatform/gdi32_dc.h): the state the
// DC keeps itself (colours, background mode, selected font and pen, the
// SaveDC stack), the font and pen objects, and the calls that reach the
// renderer's drawing entries through the engine runner (engine_draw.h).
//
// Polyline strokes the DC's pen through KpEngineStrokePath; StretchDIBits
// blits the bits through KpEngineBitBlt (same size) or KpEngineStretchBlt;
// the text calls go to the runner's text call (dc_text.cpp). Each call is
// logged and handed to one function below.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "gdi32/dc_internal.h"
#include "kplatform/engine_draw.h"
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
// The pen a DC strokes with: the selected one, else the stock black pen of
// one pixel. An unknown (deleted) pen draws as the stock one, as a DC keeps
// its own copy of what it selected.
Object PenOf(const Dc& dc) {
  Object pen{};
  pen.kind = 2;
  pen.penStyle = PS_SOLID;
  pen.penWidth = 1;
  pen.penColor = RGB(0, 0, 0);
  if (!dc.draw.pen) return pen;
  Objects& o = O();
  std::lock_guard<std::mutex> g(o.lock);
  auto it = o.objects.find(reinterpret_cast<uintptr_t>(dc.draw.pen));
  return it == o.objects.end() ? pen : it->second;
}

// Engine objects made for one call, deleted when it returns.
struct EngineObjects {
  std::vector<PVOID> made;
  template <typename T>
  T* Keep(T* object) {
    if (object) made.push_back(object);
    return object;
  }
  ~EngineObjects() {
    for (PVOID object : made) KpEngineDeleteObject(object);
  }
};

// Device pixels that fit a 28.4 engine point.
constexpr LONG kFixLimit = 0x07FFFFFF;
bool FitsFix(LONG v) { return v >= -kFixLimit && v <= kFixLimit; }

// The pen's line as one open subpath through the points, stroked with a
// solid brush of the pen's colour under a trivial clip: a width of 0 or 1
// is the cosmetic one-pixel line, a wider pen a geometric line of that
// width in device pixels (round joins and ends, as a pen made by CreatePen
// has) under the identity transform. PS_NULL draws nothing and succeeds;
// dashed styles are not drawn (ERROR_NOT_SUPPORTED).
BOOL dcdraw_Polyline(Dc& dc, const POINT* points, int count) {
  if (!dc.session) {  // the renderer refused the DC
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const Object pen = PenOf(dc);
  if (pen.penStyle == PS_NULL) return TRUE;
  if (pen.penStyle != PS_SOLID) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::vector<POINTFIX> fix(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (!FitsFix(points[i].x) || !FitsFix(points[i].y)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    fix[static_cast<size_t>(i)] = POINTFIX{points[i].x * 16, points[i].y * 16};
  }
  PATHDATA record{PD_BEGINSUBPATH | PD_ENDSUBPATH, static_cast<ULONG>(count), fix.data()};
  EngineObjects objects;
  PATHOBJ* path = objects.Keep(KpEngineCreatePath(1, &record));
  CLIPOBJ* clip = objects.Keep(KpEngineCreateClip(DC_TRIVIAL, 0, nullptr));
  BRUSHOBJ* brush = objects.Keep(KpEngineCreateSolidBrush(dc.session, pen.penColor & 0x00FFFFFFu));
  const XFORML identity{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  XFORMOBJ* xform = objects.Keep(KpEngineCreateXform(&identity));
  if (!path || !clip || !brush || !xform) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  LINEATTRS line{};
  if (pen.penWidth > 1) {
    line.fl = LA_GEOMETRIC;
    line.iJoin = JOIN_ROUND;
    line.iEndCap = ENDCAP_ROUND;
    line.elWidth.e = static_cast<FLOATL>(pen.penWidth);
    line.eMiterLimit = 10.0f;
  } else {
    line.elWidth.l = 1;
  }
  POINTL origin{0, 0};
  return KpEngineStrokePath(dc.session, path, clip, xform, brush, &origin, &line, R2_COPYPEN | (R2_COPYPEN << 8));
}

// The DIB's format and colour translation: 1, 4 and 8 bits through their
// colour table (RGBQUAD to the device's 0x00BBGGRR), 16 bits as 5-5-5, 24
// and 32 bits as B, G, R bytes. Uncompressed bitmaps only.
ULONG DibFormat(const BITMAPINFOHEADER& h) {
  switch (h.biBitCount) {
    case 1: return BMF_1BPP;
    case 4: return BMF_4BPP;
    case 8: return BMF_8BPP;
    case 16: return BMF_16BPP;
    case 24: return BMF_24BPP;
    case 32: return BMF_32BPP;
    default: return 0;
  }
}

// The bits are drawn as Windows draws a DIB: biHeight > 0 is bottom-up and
// (xSrc, ySrc) is the source rectangle's lower left corner counted from
// the bottom row; biHeight < 0 is top-down with ySrc from the top. The same
// size goes to KpEngineBitBlt with the raster operation (SRCCOPY, SRCAND,
// any ROP3 without a pattern); a change of size to KpEngineStretchBlt,
// which copies only (another raster operation with a change of size is not
// drawn: ERROR_NOT_SUPPORTED). Mirrored (negative) sizes are refused. The
// answer is the rows drawn, 0 on failure.
int dcdraw_StretchDIBits(Dc& dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                         int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                         DWORD rop) {
  if (!dc.session) {  // the renderer refused the DC
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  // The header is read by copy: a DIB taken from a file or a packed block
  // need not be aligned.
  BITMAPINFOHEADER h{};
  if (info) std::memcpy(&h, info, sizeof h);
  if (!bits || !info || usage != DIB_RGB_COLORS || h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB ||
      h.biWidth <= 0 || h.biHeight == 0 || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 ||
      xSrc < 0 || ySrc < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const ULONG format = DibFormat(h);
  const bool topDown = h.biHeight < 0;
  const int64_t height = topDown ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
  if (!format || height > 0xFFFF || h.biWidth > 0xFFFF || static_cast<int64_t>(xSrc) + srcWidth > h.biWidth ||
      static_cast<int64_t>(ySrc) + srcHeight > height || !FitsFix(xDest) || !FitsFix(yDest) ||
      !FitsFix(static_cast<LONG>(std::min<int64_t>(static_cast<int64_t>(xDest) + destWidth, INT32_MAX))) ||
      !FitsFix(static_cast<LONG>(std::min<int64_t>(static_cast<int64_t>(yDest) + destHeight, INT32_MAX)))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const ULONG rop3 = (rop >> 16) & 0xFF;
  const bool sameSize = destWidth == srcWidth && destHeight == srcHeight;
  if (!sameSize && rop != SRCCOPY) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  EngineObjects objects;
  // Bottom-up bits: the first row in memory is the bottom one, as the
  // engine's bitmap takes it without BMF_TOPDOWN.
  SURFOBJ* source = objects.Keep(KpEngineCreateBitmap(h.biWidth, static_cast<LONG>(height), format,
                                                      topDown ? BMF_TOPDOWN : 0, bits, 0));
  XLATEOBJ* xlate = nullptr;
  if (h.biBitCount <= 8) {
    const ULONG colours = h.biClrUsed && h.biClrUsed < (1u << h.biBitCount) ? h.biClrUsed : (1u << h.biBitCount);
    // The colour table follows the header (biSize bytes).
    const BYTE* entries = reinterpret_cast<const BYTE*>(info) + h.biSize;
    std::vector<ULONG> table(colours);
    for (ULONG i = 0; i < colours; ++i) {
      RGBQUAD q;
      std::memcpy(&q, entries + i * sizeof(RGBQUAD), sizeof q);
      table[i] = static_cast<ULONG>(q.rgbRed) | static_cast<ULONG>(q.rgbGreen) << 8 |
                 static_cast<ULONG>(q.rgbBlue) << 16;
    }
    xlate = objects.Keep(KpEngineCreateXlate(XO_TABLE, colours, table.data()));
  } else if (h.biBitCount == 16) {
    xlate = objects.Keep(KpEngineCreateXlateBitfields(0x7C00, 0x03E0, 0x001F));
  } else {
    xlate = objects.Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
  }
  CLIPOBJ* clip = objects.Keep(KpEngineCreateClip(DC_TRIVIAL, 0, nullptr));
  if (!source || !xlate || !clip) {
    if (GetLastError() != ERROR_INVALID_PARAMETER) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  // The source rectangle in the surface's rows (top row 0).
  const LONG top = topDown ? ySrc : static_cast<LONG>(height - ySrc - srcHeight);
  RECTL dest{xDest, yDest, xDest + destWidth, yDest + destHeight};
  BOOL ok;
  if (sameSize) {
    POINTL from{xSrc, top};
    ok = KpEngineBitBlt(dc.session, source, nullptr, clip, xlate, &dest, &from, nullptr, nullptr, nullptr,
                        rop3 | rop3 << 8);
  } else {
    RECTL from{xSrc, top, xSrc + srcWidth, top + srcHeight};
    ok = KpEngineStretchBlt(dc.session, source, nullptr, clip, xlate, &dest, &from, nullptr, COLORONCOLOR);
  }
  return ok ? srcHeight : 0;
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
