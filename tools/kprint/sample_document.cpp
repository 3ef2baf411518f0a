// The built-in sample document, drawn with an application's calls on the
// device context (no outside file): see RoadSampleDocument in road.h.
#include <kplatform/kwindows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "road.h"

namespace kestrel::road {
namespace {

// Device pixels of an inch at the DC's resolution.
int Inch(HDC hdc) { return GetDeviceCaps(hdc, LOGPIXELSX); }

// Puts the DC back after a drawing call; a failed call's error stays the
// last error for the caller (the putting back must not replace it).
template <typename Undo>
bool PutBack(bool ok, Undo undo) {
  const DWORD error = GetLastError();
  undo();
  if (!ok) SetLastError(error);
  return ok;
}

bool Text(HDC hdc, const char16_t* face, int points, bool bold, int x, int y, const std::u16string& text,
          COLORREF colour = RGB(0, 0, 0)) {
  LOGFONTW lf{};
  lf.lfHeight = -points * GetDeviceCaps(hdc, LOGPIXELSY) / 72;
  lf.lfWeight = bold ? 700 : 400;
  std::u16string name = face;
  std::memcpy(lf.lfFaceName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  HFONT font = CreateFontIndirectW(&lf);
  if (font == nullptr) return false;
  HGDIOBJ old = SelectObject(hdc, font);
  SetTextColor(hdc, colour);
  SetBkMode(hdc, TRANSPARENT);
  const BOOL ok = ExtTextOutW(hdc, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  return PutBack(ok != FALSE, [&] {
    SelectObject(hdc, old);
    DeleteObject(font);
  });
}

bool Line(HDC hdc, int width, COLORREF colour, std::initializer_list<POINT> points) {
  HPEN pen = CreatePen(PS_SOLID, width, colour);
  if (pen == nullptr) return false;
  HGDIOBJ old = SelectObject(hdc, pen);
  std::vector<POINT> p(points);
  const BOOL ok = Polyline(hdc, p.data(), static_cast<int>(p.size()));
  return PutBack(ok != FALSE, [&] {
    SelectObject(hdc, old);
    DeleteObject(pen);
  });
}

// The cover: a title and lines of text in two TrueType faces. At the
// driver's defaults the renderer prints plain Latin lines in the printer's
// own fonts (substitution) and downloads a face for the lines with letters
// those fonts lack: the Greek and Cyrillic lines, one in each face.
bool Cover(HDC hdc) {
  const int in = Inch(hdc);
  bool ok = Text(hdc, u"DejaVu Sans", 28, true, in, in, u"Kestrel: the whole road");
  ok = ok && Text(hdc, u"DejaVu Serif", 14, false, in, in * 2,
                  u"Drawn on a device context, printed through the driver.");
  ok = ok && Text(hdc, u"DejaVu Serif", 14, false, in, in * 2 + in / 3,
                  u"Greek: \u0391\u03b2\u03b3 \u2014 Cyrillic: \u0416\u0443\u043a");
  ok = ok && Text(hdc, u"DejaVu Sans", 12, false, in, in * 3 - in / 3,
                  u"Sans with Greek: \u03a9\u03bc\u03ad\u03b3\u03b1", RGB(0, 0, 200));
  ok = ok && Text(hdc, u"DejaVu Sans", 12, false, in, in * 3, u"Sans at 12 points, in blue.", RGB(0, 0, 200));
  ok = ok && Line(hdc, 1, RGB(0, 0, 0), {{in, in * 3 + in / 2}, {in * 7, in * 3 + in / 2}});
  return ok;
}

// Selects an object for a drawing and puts the old one back afterwards.
template <typename Draw>
bool With(HDC hdc, HGDIOBJ object, Draw draw) {
  if (object == nullptr) return false;
  HGDIOBJ old = SelectObject(hdc, object);
  return PutBack(draw(), [&] {
    SelectObject(hdc, old);
    DeleteObject(object);
  });
}

HPEN GeometricPen(DWORD style, int width, COLORREF colour) {
  LOGBRUSH brush{BS_SOLID, colour, 0};
  return ExtCreatePen(PS_GEOMETRIC | style, static_cast<DWORD>(width), &brush, 0, nullptr);
}

// Shapes, curves, fills, a clip, a hatch and a pattern brush, dashed and
// wide lines.
bool Vector(HDC hdc) {
  const int in = Inch(hdc);
  bool ok = Text(hdc, u"DejaVu Sans", 18, true, in, in / 2, u"Vector page");
  // Filled shapes with the default black pen: a solid rectangle, a hatched
  // ellipse, a pattern-filled polygon (a 1-bit 8 x 8 checker).
  ok = ok && With(hdc, CreateSolidBrush(RGB(240, 200, 40)), [&] {
         return Rectangle(hdc, in, in * 3 / 2, in * 3, in * 3) != FALSE;
       });
  ok = ok && With(hdc, CreateHatchBrush(HS_DIAGCROSS, RGB(0, 90, 200)), [&] {
         return Ellipse(hdc, in * 7 / 2, in * 3 / 2, in * 11 / 2, in * 3) != FALSE;
       });
  const BYTE checker[16] = {0xF0, 0, 0xF0, 0, 0xF0, 0, 0xF0, 0, 0x0F, 0, 0x0F, 0, 0x0F, 0, 0x0F, 0};
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, checker);
  ok = ok && bitmap != nullptr && With(hdc, CreatePatternBrush(bitmap), [&] {
         // Inside the printable width of A4 and Letter (7.9 inches).
         const POINT star[5] = {{in * 27 / 4, in * 3 / 2}, {in * 29 / 4, in * 3}, {in * 23 / 4, in * 2},
                                {in * 31 / 4, in * 2}, {in * 25 / 4, in * 3}};
         SetPolyFillMode(hdc, WINDING);
         return Polygon(hdc, star, 5) != FALSE;
       });
  if (bitmap) DeleteObject(bitmap);
  // Lines: a dashed hairline, a wide dash-dot line with flat ends, a wide
  // red curve, a dotted frame.
  ok = ok && With(hdc, CreatePen(PS_DASH, 0, RGB(0, 0, 0)), [&] {
         const POINT line[2] = {{in, in * 7 / 2}, {in * 7, in * 7 / 2}};
         return Polyline(hdc, line, 2) != FALSE;
       });
  ok = ok && With(hdc, GeometricPen(PS_DASHDOT | PS_ENDCAP_FLAT, in / 25, RGB(0, 120, 0)), [&] {
         const POINT line[2] = {{in, in * 4}, {in * 7, in * 4}};
         return Polyline(hdc, line, 2) != FALSE;
       });
  ok = ok && With(hdc, GeometricPen(PS_SOLID | PS_JOIN_ROUND, in / 12, RGB(200, 0, 0)), [&] {
         const POINT curve[7] = {{in, in * 6},     {in * 2, in * 9 / 2}, {in * 3, in * 15 / 2}, {in * 4, in * 6},
                                 {in * 5, in * 9 / 2}, {in * 6, in * 15 / 2}, {in * 7, in * 6}};
         return PolyBezier(hdc, curve, 7) != FALSE;
       });
  // Inside a clip: stripes cut to a rectangle, then the clip taken away.
  const int saved = SaveDC(hdc);
  ok = ok && IntersectClipRect(hdc, in * 2, in * 8, in * 6, in * 9) != RGN_ERROR;
  ok = ok && With(hdc, CreateSolidBrush(RGB(120, 0, 160)), [&] {
         bool drawn = true;
         for (int x = in; drawn && x < in * 7; x += in / 2) drawn = Rectangle(hdc, x, in * 15 / 2, x + in / 4, in * 19 / 2);
         return drawn;
       });
  RestoreDC(hdc, saved);
  ok = ok && With(hdc, CreatePen(PS_DOT, 1, RGB(0, 0, 0)), [&] {
         return With(hdc, GetStockObject(NULL_BRUSH), [&] { return Rectangle(hdc, in * 2, in * 8, in * 6, in * 9); });
       });
  return ok;
}

// A 24-bit picture with a colour gradient, printed at three times its size.
bool Photo(HDC hdc) {
  const int in = Inch(hdc);
  constexpr int kWidth = 192, kHeight = 128;
  const int stride = (kWidth * 3 + 3) / 4 * 4;
  std::vector<BYTE> bits(static_cast<size_t>(stride) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      BYTE* px = bits.data() + static_cast<size_t>(y) * stride + x * 3;
      px[0] = static_cast<BYTE>(255 - x * 255 / kWidth);  // blue
      px[1] = static_cast<BYTE>(y * 255 / kHeight);       // green
      px[2] = static_cast<BYTE>(x * 255 / kWidth);        // red
    }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = kHeight;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  bool ok = Text(hdc, u"DejaVu Sans", 18, true, in, in / 2, u"Photo page");
  ok = ok && StretchDIBits(hdc, in, in * 2, kWidth * 3 * in / 300, kHeight * 3 * in / 300, 0, 0, kWidth, kHeight,
                           bits.data(), &info, DIB_RGB_COLORS, SRCCOPY) == kHeight;
  return ok;
}

// The job's settings beside its stamp (RoadDocument::stamp): the stamp
// drawn transparent, so that the page's own drawing shows through it, and
// the header/footer with the document name, date and time.
bool StampAndHeader(void* devmode, void* printerData) {
  bool ok = ddm_SetNumber(DDM_STAMP_TRANSPARENT, devmode, printerData, 1);
  for (WORD id : {DDM_HEADERFOOTER_DOCNAME, DDM_HEADERFOOTER_DATE, DDM_HEADERFOOTER_TIME})
    ok = ok && ddm_SetNumber(id, devmode, printerData, 1);
  return ok;
}

bool StampPage(HDC hdc) {
  const int in = Inch(hdc);
  return Text(hdc, u"DejaVu Sans", 18, true, in, in * 2, u"The driver's stamp and header/footer") &&
         Text(hdc, u"DejaVu Serif", 12, false, in, in * 2 + in / 2,
              u"The stamp, header and footer are the driver's, not the application's.");
}

}  // namespace

RoadDocument RoadSampleDocument() {
  RoadDocument doc;
  doc.name = u"Kestrel sample";
  doc.pages = {
      {"cover: text in DejaVu Sans and DejaVu Serif (Greek and Cyrillic lines downloaded as TrueType, the rest in "
       "the printer's fonts), a rule", Cover},
      {"vector: a filled rectangle, a hatched ellipse, a pattern-filled star, dashed, dash-dot and wide lines, a "
       "Bezier curve, stripes cut by a clip",
       Vector},
      {"photo: a 192 x 128 24-bit gradient scaled three times (StretchDIBits)", Photo},
      {"blank: a page that draws nothing", nullptr},
      {"stamp: left to the driver's \"Confidential\" stamp and header/footer (document name, date, time), "
       "which every page of the job carries",
       StampPage},
  };
  // The driver's "Confidential" stamp (string 5600 of the resource module)
  // as the user's stamp store keeps it.
  doc.stamp = u"Confidential";
  doc.settings = StampAndHeader;
  return doc;
}

}  // namespace kestrel::road
