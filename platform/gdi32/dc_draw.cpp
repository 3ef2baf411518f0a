// The drawing calls of a printer DC (kplatform/gdi32_dc.h): the state the
// DC keeps itself (colours, background mode and colour, fill mode, current
// position, the SaveDC stack; the objects and clip are dc_objects.cpp's),
// and the calls that reach the renderer's drawing entries through the
// engine runner (engine_draw.h).
//
// Lines and shapes become engine paths stroked with the DC's pen and filled
// with its brush (KpEngineStrokePath, KpEngineFillPath,
// KpEngineStrokeAndFillPath); StretchDIBits blits the bits through
// KpEngineBitBlt (same size) or KpEngineStretchBlt; the text calls go to the
// runner's text call (dc_text.cpp). Every call passes the DC's clip. Each
// call is logged and handed to one function below.
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
#include "kplatform/long_range.h"

namespace {

using kp::gdi::Dc;
using kp::gdi::EngineObjects;
using kp::gdi::FindDc;
using kp::gdi::FindObject;
using kp::gdi::GdiObject;
using kp::gdi::ObjectRef;

void Log(Dc& dc, const char* name, LONG a = 0, LONG b = 0, LONG c = 0, LONG d = 0, LONG result = 0) {
  kp::gdi::LogCall(dc, name, a, b, c, d, result);
}

// ---- Text: the selected logical font to dc_text.cpp.
BOOL dcdraw_TextOut(Dc& dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                    const INT* dx) {
  const GdiObject* font = dc.draw.font.object.get();
  return kp::gdi::DcTextOut(dc, font ? &font->font : nullptr, x, y, options, rect, text, count, dx);
}
BOOL dcdraw_TextExtent(Dc& dc, LPCWSTR text, int count, SIZE* size) {
  const GdiObject* font = dc.draw.font.object.get();
  return kp::gdi::DcTextExtent(dc, font ? &font->font : nullptr, text, count, size);
}

// The DC's pen and brush: the selected ones, else the stock black pen and
// white brush a DC starts with.
ObjectRef PenOf(const Dc& dc) {
  return dc.draw.pen.object ? dc.draw.pen.object : FindObject(GetStockObject(BLACK_PEN));
}
ObjectRef BrushOf(const Dc& dc) {
  return dc.draw.brush.object ? dc.draw.brush.object : FindObject(GetStockObject(WHITE_BRUSH));
}

// Device pixels that fit a 28.4 engine point.
constexpr LONG kFixLimit = 0x07FFFFFF;
bool FitsFix(LONG v) { return v >= -kFixLimit && v <= kFixLimit; }
bool ToFix(const POINT* points, size_t count, std::vector<POINTFIX>* fix) {
  fix->resize(count);
  for (size_t i = 0; i < count; ++i) {
    if (!FitsFix(points[i].x) || !FitsFix(points[i].y)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    (*fix)[i] = POINTFIX{points[i].x * 16, points[i].y * 16};
  }
  return true;
}

// The standard dashes, dash and gap lengths from a dash: in style units for a
// cosmetic pen (the device's DEVINFO style step), in pen widths for a
// geometric one.
struct Dashes {
  ULONG count;
  LONG entries[6];
};
constexpr Dashes kDashes[] = {{2, {3, 1}},            // PS_DASH
                              {2, {1, 1}},            // PS_DOT
                              {4, {3, 1, 1, 1}},      // PS_DASHDOT
                              {6, {3, 1, 1, 1, 1, 1}}};  // PS_DASHDOTDOT

// A pen's line attributes. A cosmetic pen: width 1 (LONG), its dashes in
// style units (LONG), PS_ALTERNATE as LA_ALTERNATE. A geometric pen: its
// width (FLOATL), end cap and join, the miter limit 10, its dashes in
// pixels (FLOATL). `entries` holds the style array the attributes point to.
LINEATTRS LineAttrs(const GdiObject& pen, std::vector<FLOAT_LONG>* entries) {
  LINEATTRS line{};
  const DWORD kind = pen.penStyle & PS_STYLE_MASK;
  const bool geometric = (pen.penStyle & PS_TYPE_MASK) == PS_GEOMETRIC;
  const LONG unit = geometric ? static_cast<LONG>(std::max<DWORD>(pen.penWidth, 1)) : 1;
  entries->clear();
  if (kind >= PS_DASH && kind <= PS_DASHDOTDOT) {
    const Dashes& d = kDashes[kind - PS_DASH];
    for (ULONG i = 0; i < d.count; ++i) {
      FLOAT_LONG e{};
      if (geometric) e.e = static_cast<FLOATL>(d.entries[i] * unit);
      else e.l = d.entries[i];
      entries->push_back(e);
    }
  } else if (kind == PS_USERSTYLE) {
    for (DWORD v : pen.userStyle) {
      FLOAT_LONG e{};
      if (geometric) e.e = static_cast<FLOATL>(v);
      else e.l = static_cast<LONG>(std::min<DWORD>(v, 0x7FFFFFFF));
      entries->push_back(e);
    }
  }
  if (geometric) {
    line.fl = LA_GEOMETRIC;
    const DWORD join = pen.penStyle & PS_JOIN_MASK, cap = pen.penStyle & PS_ENDCAP_MASK;
    line.iJoin = join == PS_JOIN_BEVEL ? JOIN_BEVEL : (join == PS_JOIN_MITER ? JOIN_MITER : JOIN_ROUND);
    line.iEndCap = cap == PS_ENDCAP_SQUARE ? ENDCAP_SQUARE : (cap == PS_ENDCAP_FLAT ? ENDCAP_BUTT : ENDCAP_ROUND);
    line.elWidth.e = static_cast<FLOATL>(pen.penWidth);
  } else {
    line.fl = kind == PS_ALTERNATE ? LA_ALTERNATE : 0;
    line.iJoin = JOIN_ROUND;
    line.iEndCap = ENDCAP_ROUND;
    line.elWidth.l = 1;
  }
  line.eMiterLimit = 10.0f;
  line.cstyle = static_cast<ULONG>(entries->size());
  line.pstyle = entries->empty() ? nullptr : entries->data();
  return line;
}

// The engine brush of a DC brush: solid; a hatch in the brush colour on the
// DC's background colour; a pattern of a 1-bit bitmap (0 bits in the text
// colour, 1 bits in the background colour, as Windows paints a monochrome
// pattern) or of a 32-bit one (B, G, R bytes). Null for BS_NULL (and on
// failure, with *failed set).
BRUSHOBJ* EngineBrush(Dc& dc, const GdiObject& brush, EngineObjects& objects, bool* failed) {
  *failed = false;
  BRUSHOBJ* made = nullptr;
  switch (brush.brushStyle) {
    case BS_NULL: return nullptr;
    case BS_SOLID: made = KpEngineCreateSolidBrush(dc.session, brush.brushColor & 0x00FFFFFFu); break;
    case BS_HATCHED:
      made = KpEngineCreateHatchBrush(dc.session, brush.hatch, brush.brushColor & 0x00FFFFFFu,
                                      dc.draw.bkColor & 0x00FFFFFFu);
      break;
    case BS_PATTERN: {
      const GdiObject& bitmap = *brush.pattern;
      const bool mono = bitmap.bitsPerPixel == 1;
      SURFOBJ* surface = objects.Keep(KpEngineCreateBitmap(bitmap.width, bitmap.height,
                                                           mono ? BMF_1BPP : BMF_32BPP, BMF_TOPDOWN,
                                                           bitmap.bits.data(), 0));
      XLATEOBJ* xlate = nullptr;
      if (mono) {
        const ULONG table[2] = {dc.draw.textColor & 0x00FFFFFFu, dc.draw.bkColor & 0x00FFFFFFu};
        xlate = objects.Keep(KpEngineCreateXlate(XO_TABLE, 2, table));
      } else {
        xlate = objects.Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
      }
      if (surface && xlate) made = KpEngineCreatePatternBrush(dc.session, surface, nullptr, xlate);
      break;
    }
    default: break;
  }
  if (!objects.Keep(made)) {
    *failed = true;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return made;
}

// What every drawing call checks first: a renderer behind the DC, inside a
// page.
bool Drawable(const Dc& dc) {
  if (!dc.session) {  // the renderer refused the DC
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!dc.inPage) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  return true;
}

// A path (made into `objects`) stroked with the DC's pen and, when `fill`,
// filled with its brush under the DC's fill mode: both through
// KpEngineStrokeAndFillPath, one alone through KpEngineStrokePath or
// KpEngineFillPath; a null pen or brush leaves its part out. The DC's clip
// applies; a clip that hides everything draws nothing (TRUE). The fill's
// background mix is R2_NOP in TRANSPARENT mode (hatch and 1-bit pattern
// gaps left unpainted), R2_COPYPEN in OPAQUE mode.
BOOL DrawPath(Dc& dc, PATHOBJ* path, bool fill, EngineObjects& objects) {
  if (!path) {
    if (GetLastError() != ERROR_INVALID_PARAMETER) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  const ObjectRef pen = PenOf(dc);
  const ObjectRef brush = fill ? BrushOf(dc) : nullptr;
  const bool stroke = (pen->penStyle & PS_STYLE_MASK) != PS_NULL;
  fill = brush && brush->brushStyle != BS_NULL;
  if (!stroke && !fill) return TRUE;
  bool hidden = false, failed = false;
  CLIPOBJ* clip = kp::gdi::DcClip(dc, nullptr, objects, &hidden);
  if (hidden) return TRUE;
  if (!clip) return FALSE;
  BRUSHOBJ* fillBrush = fill ? EngineBrush(dc, *brush, objects, &failed) : nullptr;
  if (failed) return FALSE;
  BRUSHOBJ* penBrush = stroke ? objects.Keep(KpEngineCreateSolidBrush(dc.session, pen->penColor & 0x00FFFFFFu)) : nullptr;
  const XFORML identity{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  XFORMOBJ* xform = objects.Keep(KpEngineCreateXform(&identity));
  if ((stroke && !penBrush) || !xform) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::vector<FLOAT_LONG> entries;
  LINEATTRS line = LineAttrs(*pen, &entries);
  POINTL origin{0, 0};
  const MIX strokeMix = R2_COPYPEN | (R2_COPYPEN << 8);
  const MIX fillMix = R2_COPYPEN | ((dc.draw.bkMode == TRANSPARENT ? R2_NOP : R2_COPYPEN) << 8);
  const FLONG mode = dc.draw.fillMode == WINDING ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  if (stroke && fill)
    return KpEngineStrokeAndFillPath(dc.session, path, clip, xform, penBrush, &line, fillBrush, &origin, fillMix,
                                     mode);
  if (fill) return KpEngineFillPath(dc.session, path, clip, fillBrush, &origin, fillMix, mode);
  return KpEngineStrokePath(dc.session, path, clip, xform, penBrush, &origin, &line, strokeMix);
}

// An open line through the points, stroked with the DC's pen.
BOOL StrokeLine(Dc& dc, const POINT* points, size_t count) {
  if (!Drawable(dc)) return FALSE;
  std::vector<POINTFIX> fix;
  if (!ToFix(points, count, &fix)) return FALSE;
  PATHDATA record{PD_BEGINSUBPATH | PD_ENDSUBPATH, static_cast<ULONG>(count), fix.data()};
  EngineObjects objects;
  return DrawPath(dc, objects.Keep(KpEngineCreatePath(1, &record)), false, objects);
}

// The box of Rectangle and Ellipse in 28.4, normalised; a PS_INSIDEFRAME pen
// wider than a pixel draws inside it, so the figure shrinks by half its
// width on every side.
bool Box(const Dc& dc, int left, int top, int right, int bottom, RECTFX* box) {
  const POINT corners[2] = {{std::min(left, right), std::min(top, bottom)},
                            {std::max(left, right), std::max(top, bottom)}};
  std::vector<POINTFIX> fix;
  if (!ToFix(corners, 2, &fix)) return false;
  *box = RECTFX{fix[0].x, fix[0].y, fix[1].x, fix[1].y};
  const ObjectRef pen = PenOf(dc);
  if ((pen->penStyle & PS_STYLE_MASK) == PS_INSIDEFRAME && pen->penWidth > 1) {
    const FIX half = static_cast<FIX>(std::min<DWORD>(pen->penWidth, 0x07FFFFFF) * 8);  // width / 2 in 28.4
    const FIX dx = std::min(half, (box->xRight - box->xLeft) / 2), dy = std::min(half, (box->yBottom - box->yTop) / 2);
    *box = RECTFX{box->xLeft + dx, box->yTop + dy, box->xRight - dx, box->yBottom - dy};
  }
  return true;
}

BOOL dcdraw_Shape(Dc& dc, int left, int top, int right, int bottom, bool ellipse) {
  if (!Drawable(dc)) return FALSE;
  RECTFX box;
  if (!Box(dc, left, top, right, bottom, &box)) return FALSE;
  EngineObjects objects;
  PATHOBJ* path = objects.Keep(ellipse ? KpEngineCreateEllipsePath(&box) : KpEngineCreateRectPath(&box));
  return DrawPath(dc, path, true, objects);
}

// SetTextColor and SetBkColor: the old colour, CLR_INVALID for no DC.
COLORREF SetColour(HDC hdc, COLORREF kp::gdi::DrawState::*field, COLORREF color, const char* name) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->draw.*field;
  dc->draw.*field = color;
  Log(*dc, name, static_cast<LONG>(color), 0, 0, 0, static_cast<LONG>(old));
  return old;
}

// Rectangle and Ellipse, logged under their names.
BOOL Shape(HDC hdc, int left, int top, int right, int bottom, bool ellipse) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  BOOL r = dcdraw_Shape(*dc, left, top, right, bottom, ellipse);
  Log(*dc, ellipse ? "Ellipse" : "Rectangle", left, top, right, bottom, r);
  return r;
}

BOOL dcdraw_Polygon(Dc& dc, const POINT* points, int count) {
  if (!Drawable(dc)) return FALSE;
  std::vector<POINTFIX> fix;
  if (!ToFix(points, static_cast<size_t>(count), &fix)) return FALSE;
  EngineObjects objects;
  PATHOBJ* path = objects.Keep(KpEngineCreatePolygonPath(static_cast<ULONG>(count), fix.data()));
  return DrawPath(dc, path, true, objects);
}

// The curves as one open subpath: the start point, then three points a
// curve (two control points and the end).
BOOL dcdraw_PolyBezier(Dc& dc, const POINT* points, DWORD count) {
  if (!Drawable(dc)) return FALSE;
  std::vector<POINTFIX> fix;
  if (!ToFix(points, count, &fix)) return FALSE;
  const PATHDATA records[2] = {{PD_BEGINSUBPATH, 1, fix.data()},
                               {PD_BEZIERS | PD_ENDSUBPATH, count - 1, fix.data() + 1}};
  EngineObjects objects;
  return DrawPath(dc, objects.Keep(KpEngineCreatePath(2, records)), false, objects);
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
  if (!Drawable(dc)) return 0;
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
      !FitsFix(kp_SaturateLong(static_cast<int64_t>(xDest) + destWidth)) ||
      !FitsFix(kp_SaturateLong(static_cast<int64_t>(yDest) + destHeight))) {
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
  bool hidden = false;
  CLIPOBJ* clip = kp::gdi::DcClip(dc, nullptr, objects, &hidden);
  if (hidden) return srcHeight;  // the clip hides it all: nothing to draw
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

KP_API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  return SetColour(hdc, &kp::gdi::DrawState::textColor, color, "SetTextColor");
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
  BOOL r = StrokeLine(*dc, points, static_cast<size_t>(count));
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

KP_API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  return SetColour(hdc, &kp::gdi::DrawState::bkColor, color, "SetBkColor");
}

KP_API int WINAPI SetPolyFillMode(HDC hdc, int mode) {
  std::shared_ptr<Dc> dc = FindDc(hdc);
  if (!dc || (mode != ALTERNATE && mode != WINDING)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int old = dc->draw.fillMode;
  dc->draw.fillMode = mode;
  Log(*dc, "SetPolyFillMode", mode, 0, 0, 0, old);
  return old;
}

KP_API BOOL WINAPI MoveToEx(HDC hdc, int x, int y, POINT* previous) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  if (previous) *previous = dc->draw.position;
  dc->draw.position = POINT{x, y};
  Log(*dc, "MoveToEx", x, y, 0, 0, TRUE);
  return TRUE;
}

// The line from the current position to (x, y), which becomes the current
// position whether or not the line was drawn.
KP_API BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  const POINT line[2] = {dc->draw.position, {x, y}};
  BOOL r = StrokeLine(*dc, line, 2);
  dc->draw.position = line[1];
  Log(*dc, "LineTo", x, y, 0, 0, r);
  return r;
}

KP_API BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return Shape(hdc, left, top, right, bottom, false);
}

KP_API BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return Shape(hdc, left, top, right, bottom, true);
}

KP_API BOOL WINAPI Polygon(HDC hdc, const POINT* points, int count) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  if (!points || count < 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BOOL r = dcdraw_Polygon(*dc, points, count);
  Log(*dc, "Polygon", count, points[0].x, points[0].y, 0, r);
  return r;
}

// One curve and three points more for each further curve.
KP_API BOOL WINAPI PolyBezier(HDC hdc, const POINT* points, DWORD count) {
  std::shared_ptr<Dc> dc = kp::gdi::FindDcOrFail(hdc);
  if (!dc) return FALSE;
  if (!points || count < 4 || (count - 1) % 3 != 0 || count > 0x7FFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BOOL r = dcdraw_PolyBezier(*dc, points, count);
  Log(*dc, "PolyBezier", static_cast<LONG>(count), points[0].x, points[0].y, 0, r);
  return r;
}
