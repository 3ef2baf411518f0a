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
  SelectObject(hdc, old);
  DeleteObject(font);
  return ok != FALSE;
}

bool Line(HDC hdc, int width, COLORREF colour, std::initializer_list<POINT> points) {
  HPEN pen = CreatePen(PS_SOLID, width, colour);
  if (pen == nullptr) return false;
  HGDIOBJ old = SelectObject(hdc, pen);
  std::vector<POINT> p(points);
  const BOOL ok = Polyline(hdc, p.data(), static_cast<int>(p.size()));
  SelectObject(hdc, old);
  DeleteObject(pen);
  return ok != FALSE;
}

// The cover: a title and lines of text in two TrueType faces the renderer
// downloads to the printer.
bool Cover(HDC hdc) {
  const int in = Inch(hdc);
  bool ok = Text(hdc, u"DejaVu Sans", 28, true, in, in, u"Kestrel: the whole road");
  ok = ok && Text(hdc, u"DejaVu Serif", 14, false, in, in * 2,
                  u"An application's document, drawn on a device context and printed through the driver.");
  ok = ok && Text(hdc, u"DejaVu Serif", 14, false, in, in * 2 + in / 3,
                  u"Greek: \u0391\u03b2\u03b3 \u2014 Cyrillic: \u0416\u0443\u043a");
  ok = ok && Text(hdc, u"DejaVu Sans", 12, false, in, in * 3, u"Sans at 12 points, in blue.", RGB(0, 0, 200));
  ok = ok && Line(hdc, 1, RGB(0, 0, 0), {{in, in * 3 + in / 2}, {in * 7, in * 3 + in / 2}});
  return ok;
}

// Lines: thin and wide, in colour, a zigzag and a closed frame.
bool Vector(HDC hdc) {
  const int in = Inch(hdc);
  bool ok = Text(hdc, u"DejaVu Sans", 18, true, in, in / 2, u"Vector page");
  ok = ok && Line(hdc, 0, RGB(0, 0, 0), {{in, in * 2}, {in * 7, in * 2}});
  ok = ok && Line(hdc, in / 20, RGB(200, 0, 0), {{in, in * 3}, {in * 2, in * 4}, {in * 3, in * 3}, {in * 4, in * 4}});
  ok = ok && Line(hdc, in / 10, RGB(0, 120, 0),
                  {{in, in * 5}, {in * 7, in * 5}, {in * 7, in * 8}, {in, in * 8}, {in, in * 5}});
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

// The job's settings: the driver's "Confidential" stamp (its name and its
// text, strings 5600 and 5610 of the resource module) and the header/footer
// with the document name, date and time.
bool StampAndHeader(void* devmode, void* printerData) {
  const char16_t stamp[] = u"Confidential";
  const char16_t text[] = u"CONFIDENTIAL";
  bool ok = ddm_SetValue(DDM_STAMPNAME, devmode, printerData, DDM_TYPE_STRING, sizeof stamp, stamp) == 0 &&
            ddm_SetValue(DDM_STAMP_TEXT_NAME, devmode, printerData, DDM_TYPE_STRING, sizeof text, text) == 0;
  for (WORD id : {DDM_HEADERFOOTER_DOCNAME, DDM_HEADERFOOTER_DATE, DDM_HEADERFOOTER_TIME})
    ok = ok && ddm_SetNumber(id, devmode, printerData, 1);
  return ok;
}

bool StampPage(HDC hdc) {
  const int in = Inch(hdc);
  return Text(hdc, u"DejaVu Sans", 18, true, in, in * 2, u"The driver's stamp and header/footer") &&
         Text(hdc, u"DejaVu Serif", 12, false, in, in * 2 + in / 2,
              u"The stamp and the header's and footer's lines are drawn by the driver, not by the application.");
}

}  // namespace

RoadDocument RoadSampleDocument() {
  RoadDocument doc;
  doc.name = u"Kestrel sample";
  doc.pages = {
      {"cover: text in DejaVu Sans and DejaVu Serif (downloaded TrueType), a rule", Cover},
      {"vector: thin, wide and coloured lines, a closed frame", Vector},
      {"photo: a 192 x 128 24-bit gradient scaled three times (StretchDIBits)", Photo},
      {"blank: a page that draws nothing", nullptr},
      {"stamp: left to the driver's \"Confidential\" stamp and header/footer (document name, date, time), "
       "which every page of the job carries",
       StampPage},
  };
  doc.settings = StampAndHeader;
  return doc;
}

}  // namespace kestrel::road
