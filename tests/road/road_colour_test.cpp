// Colour adjustments per object kind, end to end: a page with a rectangle
// and a line of text printed on model A through the DC, kestrelui,
// kestrelkm, the spooler, kestrelum and the port, with the adjustments set
// for one job (DDM 1314 = 1, the objects of DDM 273 and their triples).
// Each object's colour must carry its own kind's correction: the text the
// text triple's, the rectangle the graphics triple's, and neither the
// other's.
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "pclxl_checker.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

constexpr COLORREF kTextColour = RGB(200, 40, 40);
constexpr COLORREF kFillColour = RGB(40, 160, 60);
const std::string kTextRgb = "RGBColor=ubyte_array[200 40 40]";
const std::string kFillRgb = "RGBColor=ubyte_array[40 160 60]";

// One object group's adjustments: brightness, chroma, contrast.
struct Triple {
  LONG brightness, chroma, contrast;
};

RoadDocument RectangleAndText(DWORD objects, Triple text, Triple graphics) {
  RoadDocument doc;
  doc.name = u"adjusted objects";
  doc.pages.push_back({"a filled rectangle, then a line of text", [](HDC hdc) {
                         const int in = GetDeviceCaps(hdc, LOGPIXELSX);
                         HBRUSH fill = CreateSolidBrush(kFillColour);
                         HGDIOBJ oldBrush = SelectObject(hdc, fill);
                         const BOOL drawn = Rectangle(hdc, in, in, in * 3, in * 2);
                         SelectObject(hdc, oldBrush);
                         DeleteObject(fill);
                         LOGFONTW lf{};
                         lf.lfHeight = -12 * GetDeviceCaps(hdc, LOGPIXELSY) / 72;
                         lf.lfWeight = 400;
                         const std::u16string face = u"DejaVu Sans";
                         std::memcpy(lf.lfFaceName, face.c_str(), (face.size() + 1) * sizeof(char16_t));
                         HFONT font = CreateFontIndirectW(&lf);
                         if (font == nullptr) return false;
                         HGDIOBJ oldFont = SelectObject(hdc, font);
                         SetBkMode(hdc, TRANSPARENT);
                         SetTextColor(hdc, kTextColour);
                         const std::u16string line = u"Adjusted text";
                         const BOOL written =
                             ExtTextOutW(hdc, in, in * 3, 0, nullptr, line.c_str(), static_cast<UINT>(line.size()),
                                         nullptr);
                         SelectObject(hdc, oldFont);
                         DeleteObject(font);
                         return drawn != FALSE && written != FALSE;
                       }});
  doc.settings = [objects, text, graphics](void* devmode, void* printerData) {
    // The adjustments' ids: group g (1 text, 2 graphics) at 274 + g, the
    // chroma 4 ids on, the contrast 8.
    auto triple = [&](WORD group, const Triple& t) {
      return ddm_SetNumber(static_cast<WORD>(DDM_COLORADJUST_FIRST + group), devmode, printerData, t.brightness) &&
             ddm_SetNumber(static_cast<WORD>(DDM_COLORADJUST_FIRST + DDM_COLORADJUST_OBJECTS + group), devmode,
                           printerData, t.chroma) &&
             ddm_SetNumber(static_cast<WORD>(DDM_COLORADJUST_FIRST + 2 * DDM_COLORADJUST_OBJECTS + group), devmode,
                           printerData, t.contrast);
    };
    return ddm_SetNumber(DDM_PEROBJECTADJUST, devmode, printerData, 1) &&
           ddm_SetNumber(DDM_ADJUSTEDOBJECTS, devmode, printerData, static_cast<LONG>(objects)) &&
           triple(1, text) && triple(2, graphics);
  };
  return doc;
}

// The brush colours the port received for the rectangle and for the text:
// the last SetBrushSource before each object's operator.
struct Brushes {
  std::string fill, text;
};
Brushes BrushesOf(const std::string& bytes, std::string* listingText) {
  pclxl_check::Listing listing;
  pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pclxl_check::Mode::Job, &listing);
  *listingText = listing.text();
  Brushes b;
  std::string last;
  for (const pclxl_check::ListedItem& item : listing.items) {
    if (item.name == "SetBrushSource") last = item.text();
    if (item.name == "Rectangle" && b.fill.empty()) b.fill = last;
    if (item.name == "Text" && b.text.empty()) b.text = last;
  }
  return b;
}

class RoadColour : public RoadTest {};

TEST_F(RoadColour, EachObjectKindTakesItsOwnAdjustment) {
  Watchdog dog(120s);
  const RoadQueue queue = Queue(RoadModel::A);
  const Triple none{0, 0, 0}, brighter{40, 0, 0}, duller{-30, -40, 20};
  auto print = [&](DWORD objects, Triple text, Triple graphics) {
    const RoadJob job = road::RoadPrint(queue, RectangleAndText(objects, text, graphics));
    EXPECT_TRUE(job.result.ok()) << job.result.message;
    EXPECT_EQ(job.check, "");
    std::string listing;
    const Brushes b = BrushesOf(job.bytes, &listing);
    EXPECT_FALSE(b.fill.empty()) << listing;
    EXPECT_FALSE(b.text.empty()) << listing;
    return b;
  };
  // Nothing adjusted: the colours as drawn.
  const Brushes plain = print(0, none, none);
  EXPECT_NE(plain.fill.find(kFillRgb), std::string::npos) << plain.fill;
  EXPECT_NE(plain.text.find(kTextRgb), std::string::npos) << plain.text;
  // Text only (273 bit 0, the first triple): the text changes, the
  // rectangle does not.
  const Brushes text = print(1, brighter, duller);
  EXPECT_EQ(text.fill, plain.fill);
  EXPECT_NE(text.text, plain.text);
  // Graphics only (bit 1, the second triple): the other way round.
  const Brushes graphics = print(2, brighter, duller);
  EXPECT_NE(graphics.fill, plain.fill);
  EXPECT_EQ(graphics.text, plain.text);
  // Both: each object its own triple's correction, as when alone.
  const Brushes both = print(3, brighter, duller);
  EXPECT_EQ(both.text, text.text);
  EXPECT_EQ(both.fill, graphics.fill);
  // The triples differ, so the same triple on the other kind gives another
  // colour: the text's correction is not the graphics one.
  const Brushes swapped = print(3, duller, brighter);
  EXPECT_NE(swapped.text, both.text);
  EXPECT_NE(swapped.fill, both.fill);
}

}  // namespace
}  // namespace kestrel::test
