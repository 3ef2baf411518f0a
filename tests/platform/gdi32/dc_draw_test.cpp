// The drawing calls of the DC stand-in (gdi32_dc.h) against the test
// driver, whose drawing calls record what reaches them: the path records,
// line attributes, brushes and clip of each shape, pen, brush and clip; the
// objects' errors and lifetimes; and a DC's document as a spooler job.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kplatform/engine_runner.h"
#include "kplatform/gdi32_dc.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/monitor_host.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_job.h"
#include "kptestdrv.h"
#include "temp_root.h"

namespace {

constexpr char16_t kPrinter[] = u"Draw Printer";

class DcDraw : public kestrel::test::RootedTest {
 protected:
  void SetUp() override {
    KpSpoolerReset();
    KpPortReset();
    ASSERT_TRUE(KpInstallModule("libkptestdrv.so", nullptr));
    module_ = LoadLibraryW(u"kptestdrv.dll");  // kept loaded so its controls stay put
    ASSERT_NE(module_, nullptr);
    control_ = Fn<KtdGetControlFn>("KtdGetControl")();
    *control_ = KtdControl{DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                           FALSE, FALSE, FALSE, 16, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, TRUE};
    count_ = Fn<KtdDrawingCountFn>("KtdDrawingCount");
    get_ = Fn<KtdGetDrawingFn>("KtdGetDrawing");
    clear_ = Fn<KtdClearDrawingsFn>("KtdClearDrawings");
    ASSERT_TRUE(KpSpoolerAddPrinter(kPrinter, u"Test Driver", nullptr, nullptr, u"kptestdrv.dll"));
    hdc_ = CreateDCW(nullptr, kPrinter, nullptr, nullptr);
    ASSERT_NE(hdc_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (hdc_) DeleteDC(hdc_);
    clear_();
    FreeLibrary(module_);
    KpSpoolerReset();
    KpPortReset();
  }
  template <typename T>
  T Fn(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }
  void StartPageOfDoc() {
    DOCINFOW doc{sizeof(DOCINFOW), u"Shapes", nullptr, nullptr, 0};
    ASSERT_GT(StartDocW(hdc_, &doc), 0) << GetLastError();
    ASSERT_GT(StartPage(hdc_), 0);
    clear_();
  }
  std::vector<KtdDrawing> Drawings() {
    std::vector<KtdDrawing> out(count_());
    for (ULONG i = 0; i < out.size(); ++i) get_(i, &out[i]);
    return out;
  }

  HMODULE module_ = nullptr;
  KtdControl* control_ = nullptr;
  KtdDrawingCountFn count_ = nullptr;
  KtdGetDrawingFn get_ = nullptr;
  KtdClearDrawingsFn clear_ = nullptr;
  HDC hdc_ = nullptr;
};

constexpr ULONG kFigure = PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE;
constexpr MIX kCopy = R2_COPYPEN | (R2_COPYPEN << 8);
constexpr MIX kTransparent = R2_COPYPEN | (R2_NOP << 8);
constexpr ULONG kPattern = 0xFFFFFFFFu;  // iSolidColor of a brush the driver realizes

// What a pen's LINEATTRS must say; style entries as numbers (FLOATL for a
// geometric pen, LONG for a cosmetic one).
struct Line {
  FLONG fl;
  ULONG join, cap;
  double width;
  std::vector<double> style;
};

void ExpectLine(const KtdDrawing& d, const Line& want) {
  ASSERT_TRUE(d.hasLine);
  const bool geometric = want.fl & LA_GEOMETRIC;
  EXPECT_EQ(d.line.fl, want.fl);
  if (geometric) {
    EXPECT_EQ(d.line.iJoin, want.join);
    EXPECT_EQ(d.line.iEndCap, want.cap);
    EXPECT_FLOAT_EQ(d.line.elWidth.e, want.width);
  } else {
    EXPECT_EQ(d.line.elWidth.l, static_cast<LONG>(want.width));
  }
  ASSERT_EQ(d.line.cstyle, want.style.size());
  for (size_t i = 0; i < want.style.size(); ++i) {
    if (geometric) {
      EXPECT_FLOAT_EQ(d.style[i].e, want.style[i]) << i;
    } else {
      EXPECT_EQ(d.style[i].l, static_cast<LONG>(want.style[i])) << i;
    }
  }
}

TEST_F(DcDraw, ShapesPensBrushesAndClipsReachTheDriver) {
  StartPageOfDoc();
  const POINT star[5] = {{100, 0}, {160, 180}, {10, 70}, {190, 70}, {40, 180}};
  const POINT curve[7] = {{0, 0}, {10, 40}, {30, 40}, {40, 0}, {50, -40}, {70, -40}, {80, 0}};
  const WORD checks[8] = {0x00AA, 0x0055, 0x00AA, 0x0055, 0x00AA, 0x0055, 0x00AA, 0x0055};  // 16-bit rows
  const DWORD colours[4] = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};              // B, G, R, x
  const DWORD user[3] = {4, 2, 1};
  const LOGBRUSH green{BS_SOLID, RGB(0, 255, 0), 0};
  std::vector<HGDIOBJ> made;
  auto keep = [&](HGDIOBJ o) {
    made.push_back(o);
    return o;
  };

  struct Case {
    const char* name;
    std::function<BOOL(HDC)> draw;  // sets the DC up and draws one thing
    ULONG call;
    std::vector<std::pair<FLONG, ULONG>> records;  // flags and point count of each path record
    POINTFIX first;
    bool line;  // a LINEATTRS to check
    Line want;
    ULONG strokeColour;  // KTD_NO_BRUSH: none
    ULONG fill;          // iSolidColor; kPattern for a realized brush; KTD_NO_BRUSH: none
    ULONG hatch;         // realized: HS_* (or >= 6 for a pattern)
    ULONG format;        // realized pattern's format (patterns only)
    ULONG colours[2];    // realized: the translation of 0 and 1
    MIX mix;
    FLONG options;
    BYTE clip;
    ULONG clipRects;
    RECTL clipBounds;
  };
  const Line cosmetic{0, JOIN_ROUND, ENDCAP_ROUND, 1, {}};
  const Case cases[] = {
      {"rectangle with the DC's first pen and brush",
       [](HDC h) { return Rectangle(h, 300, 200, 100, 400); },  // corners normalised
       INDEX_DrvStrokeAndFillPath, {{kFigure, 4}}, {100 * 16, 200 * 16}, true, cosmetic, 0, 0x00FFFFFF, 0, 0,
       {0, 0}, kCopy, FP_ALTERNATEMODE, DC_TRIVIAL, 0, {}},
      {"ellipse: a transparent hatch, no pen",
       [&](HDC h) {
         SelectObject(h, GetStockObject(NULL_PEN));
         SelectObject(h, keep(CreateHatchBrush(HS_DIAGCROSS, RGB(255, 0, 0))));
         SetBkMode(h, TRANSPARENT);
         SetBkColor(h, RGB(0, 0, 255));
         return Ellipse(h, 0, 0, 200, 100);
       },
       INDEX_DrvFillPath, {{PD_BEGINSUBPATH, 1}, {PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE, 12}},
       {200 * 16, 50 * 16}, false, {}, KTD_NO_BRUSH, kPattern, HS_DIAGCROSS, 0, {0x0000FF, 0xFF0000},
       kTransparent, FP_ALTERNATEMODE, DC_TRIVIAL, 0, {}},
      {"polygon, winding, a geometric dashed pen with flat ends and mitred joins",
       [&](HDC h) {
         SetPolyFillMode(h, WINDING);
         SelectObject(h, keep(ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 10, &green,
                                           0, nullptr)));
         SelectObject(h, GetStockObject(BLACK_BRUSH));
         return Polygon(h, star, 5);
       },
       INDEX_DrvStrokeAndFillPath, {{kFigure, 5}}, {100 * 16, 0}, true,
       Line{LA_GEOMETRIC, JOIN_MITER, ENDCAP_BUTT, 10, {30, 10}}, 0x00FF00, 0, 0, 0, {0, 0}, kCopy,
       FP_WINDINGMODE, DC_TRIVIAL, 0, {}},
      {"polygon without a brush, cosmetic dots",
       [&](HDC h) {
         SelectObject(h, keep(CreatePen(PS_DOT, 1, RGB(1, 2, 3))));
         SelectObject(h, GetStockObject(NULL_BRUSH));
         return Polygon(h, star, 5);
       },
       INDEX_DrvStrokePath, {{kFigure, 5}}, {100 * 16, 0}, true, Line{0, JOIN_ROUND, ENDCAP_ROUND, 1, {1, 1}},
       0x030201, KTD_NO_BRUSH, 0, 0, {0, 0}, kCopy, 0, DC_TRIVIAL, 0, {}},
      {"curves with a cosmetic user style",
       [&](HDC h) {
         SelectObject(h, keep(ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &green, 3, user)));
         return PolyBezier(h, curve, 7);
       },
       INDEX_DrvStrokePath, {{PD_BEGINSUBPATH, 1}, {PD_BEZIERS | PD_ENDSUBPATH, 6}}, {0, 0}, true,
       Line{0, JOIN_ROUND, ENDCAP_ROUND, 1, {4, 2, 1}}, 0x00FF00, KTD_NO_BRUSH, 0, 0, {0, 0}, kCopy, 0, DC_TRIVIAL,
       0, {}},
      {"a line from the current position, alternate pixels",
       [&](HDC h) {
         SelectObject(h, keep(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &green, 0, nullptr)));
         MoveToEx(h, 10, 20, nullptr);
         return LineTo(h, 110, 20);
       },
       INDEX_DrvStrokePath, {{PD_BEGINSUBPATH | PD_ENDSUBPATH, 2}}, {10 * 16, 20 * 16}, true,
       Line{LA_ALTERNATE, JOIN_ROUND, ENDCAP_ROUND, 1, {}}, 0x00FF00, KTD_NO_BRUSH, 0, 0, {0, 0}, kCopy, 0,
       DC_TRIVIAL, 0, {}},
      {"a 1-bit pattern in the text and background colours, under a clip rectangle",
       [&](HDC h) {
         HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, checks);
         SelectObject(h, keep(CreatePatternBrush(bitmap)));
         DeleteObject(bitmap);  // the brush keeps it
         SetTextColor(h, RGB(1, 2, 3));
         SetBkColor(h, RGB(4, 5, 6));
         EXPECT_EQ(IntersectClipRect(h, 0, 0, 500, 500), SIMPLEREGION);
         return Rectangle(h, 50, 50, 150, 150);
       },
       INDEX_DrvStrokeAndFillPath, {{kFigure, 4}}, {50 * 16, 50 * 16}, true, cosmetic, 0, kPattern, 6, BMF_1BPP,
       {0x030201, 0x060504}, kCopy, FP_ALTERNATEMODE, DC_RECT, 1, {0, 0, 500, 500}},
      {"a 32-bit pattern under a region less a hole",
       [&](HDC h) {
         HBITMAP bitmap = keep(CreateBitmap(2, 2, 1, 32, colours));
         SelectObject(h, keep(CreatePatternBrush(bitmap)));
         SelectObject(h, GetStockObject(NULL_PEN));
         EXPECT_EQ(SelectClipRgn(h, keep(CreateRectRgn(1000, 1000, 0, 0))), SIMPLEREGION);
         EXPECT_EQ(ExcludeClipRect(h, 400, 400, 600, 600), COMPLEXREGION);
         return Rectangle(h, 0, 0, 800, 800);
       },
       INDEX_DrvFillPath, {{kFigure, 4}}, {0, 0}, false, {}, KTD_NO_BRUSH, kPattern, 6, BMF_32BPP, {0, 0}, kCopy,
       FP_ALTERNATEMODE, DC_COMPLEX, 4, {0, 0, 1000, 1000}},
      {"a wide inside-frame pen keeps within the box",
       [&](HDC h) {
         SelectObject(h, keep(CreatePen(PS_INSIDEFRAME, 20, RGB(0, 0, 0))));
         return Rectangle(h, 100, 100, 300, 300);
       },
       INDEX_DrvStrokeAndFillPath, {{kFigure, 4}}, {110 * 16, 110 * 16}, true,
       Line{LA_GEOMETRIC, JOIN_ROUND, ENDCAP_ROUND, 20, {}}, 0, 0x00FFFFFF, 0, 0, {0, 0}, kCopy,
       FP_ALTERNATEMODE, DC_TRIVIAL, 0, {}},
      {"a wide dash-dot-dot pen made by CreatePen",
       [&](HDC h) {
         SelectObject(h, keep(CreatePen(PS_DASHDOTDOT, 4, RGB(0, 0, 0))));
         return Polyline(h, star, 3);
       },
       INDEX_DrvStrokePath, {{PD_BEGINSUBPATH | PD_ENDSUBPATH, 3}}, {100 * 16, 0}, true,
       Line{LA_GEOMETRIC, JOIN_ROUND, ENDCAP_ROUND, 4, {12, 4, 4, 4, 4, 4}}, 0, KTD_NO_BRUSH, 0, 0, {0, 0}, kCopy,
       0, DC_TRIVIAL, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_();
    const int level = SaveDC(hdc_);
    ASSERT_TRUE(c.draw(hdc_)) << GetLastError();
    ASSERT_TRUE(RestoreDC(hdc_, level));  // the next case starts from the DC's first state
    std::vector<KtdDrawing> drawn = Drawings();
    ASSERT_EQ(drawn.size(), 1u);
    const KtdDrawing& d = drawn[0];
    EXPECT_EQ(d.index, c.call);
    ASSERT_EQ(d.records, c.records.size());
    for (size_t i = 0; i < c.records.size(); ++i) {
      EXPECT_EQ(d.recordFlags[i], c.records[i].first) << i;
      EXPECT_EQ(d.recordPoints[i], c.records[i].second) << i;
    }
    EXPECT_EQ(d.firstPoint.x, c.first.x);
    EXPECT_EQ(d.firstPoint.y, c.first.y);
    if (c.line) {
      ExpectLine(d, c.want);
    } else {
      EXPECT_FALSE(d.hasLine);
    }
    EXPECT_EQ(d.stroke.solid, c.strokeColour);
    EXPECT_EQ(d.fill.solid, c.fill);
    if (c.fill == kPattern) {
      EXPECT_EQ(d.fill.hatch, c.hatch);
      if (c.hatch > HS_DIAGCROSS) {  // a hatch's own bitmap is the engine's
        EXPECT_EQ(d.fill.format, c.format);
      }
      if (c.hatch <= HS_DIAGCROSS || c.format == BMF_1BPP) {
        EXPECT_EQ(d.fill.colors[0], c.colours[0]);
        EXPECT_EQ(d.fill.colors[1], c.colours[1]);
      }
    }
    if (c.fill != KTD_NO_BRUSH) {
      EXPECT_EQ(d.mix, c.mix);
      EXPECT_EQ(d.fillOptions, c.options);
    } else {
      EXPECT_EQ(d.mix, kCopy);
    }
    EXPECT_EQ(d.clipComplexity, c.clip);
    if (c.clip != DC_TRIVIAL) {
      EXPECT_EQ(d.clipRects, c.clipRects);
      EXPECT_EQ(std::memcmp(&d.clipBounds, &c.clipBounds, sizeof(RECTL)), 0)
          << d.clipBounds.left << "," << d.clipBounds.top << "," << d.clipBounds.right << "," << d.clipBounds.bottom;
    }
    if (c.format == BMF_1BPP) {
      EXPECT_EQ(d.fill.size.cx, 8);
      EXPECT_EQ(d.fill.firstRow[0], 0xAA) << "the first row of the caller's 16-bit rows";
      EXPECT_EQ(d.fill.firstRow[2], 0x00) << "the rows are repacked to 4 bytes, not read across";
    }
    if (c.format == BMF_32BPP) {
      EXPECT_EQ(std::memcmp(d.fill.firstRow, colours, 8), 0);
    }
  }
  for (HGDIOBJ o : made) EXPECT_TRUE(DeleteObject(o));
}

// The face a logical font realises: among the TrueType faces of the font
// folder with the name as family or full name, the nearest weight, the
// first file in path order on a tie. Each face shows by its advances: the
// DC's extent of a line equals the sum of the chosen file's own advances.
TEST_F(DcDraw, TextTakesTheFaceTheLogicalFontNames) {
  constexpr LONG kEm = 200;
  const char16_t text[] = u"Realised faces keep their own widths 0123456789";
  const UINT count = static_cast<UINT>(std::char_traits<char16_t>::length(text));
  auto fileWidth = [&](const char* file) {
    KP_ENGINE_FONT_INFO fi{};
    fi.file = file;
    fi.emPixels = kEm;
    FONTOBJ* font = KpEngineCreateTrueTypeFont(&fi);
    EXPECT_NE(font, nullptr) << file;
    if (!font) return LONG{-1};
    KP_ENGINE_STRING_INFO si{};
    si.font = font;
    si.text = text;
    si.count = count;
    si.glyphMode = FO_GLYPHBITS;
    si.withPositions = TRUE;
    STROBJ* str = KpEngineCreateString(&si);
    int64_t width = 0;  // 28.4
    for (UINT i = 0; str && i < count; ++i) width += reinterpret_cast<const GLYPHDATA*>(str->pgp[i].pgdf)->fxD;
    if (str) KpEngineDeleteObject(str);
    KpEngineDeleteObject(font);
    return static_cast<LONG>((width + 8) >> 4);
  };
  struct Case {
    const char16_t* face;
    LONG weight;
    const char* file;
  } cases[] = {
      {u"DejaVu Sans", 400, "DejaVuSans.ttf"},  // before DejaVuSansCondensed.ttf, of the same family and weight
      {u"DejaVu Sans", 0, "DejaVuSans.ttf"},
      {u"dejavu sans", 700, "DejaVuSans-Bold.ttf"},
      {u"DejaVu Sans", 250, "DejaVuSans-ExtraLight.ttf"},
      {u"DejaVu Sans Condensed Bold", 400, "DejaVuSansCondensed-Bold.ttf"},  // the full name
      {u"DejaVu Sans Mono", 700, "DejaVuSansMono-Bold.ttf"},
      {u"DejaVu Serif", 900, "DejaVuSerif-Bold.ttf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    LOGFONTW lf{};
    lf.lfHeight = -kEm;
    lf.lfWeight = c.weight;
    std::memcpy(lf.lfFaceName, c.face, (std::char_traits<char16_t>::length(c.face) + 1) * 2);
    HFONT font = CreateFontIndirectW(&lf);
    ASSERT_NE(font, nullptr);
    HGDIOBJ old = SelectObject(hdc_, font);
    SIZE extent{};
    EXPECT_TRUE(GetTextExtentPoint32W(hdc_, text, static_cast<int>(count), &extent)) << GetLastError();
    EXPECT_EQ(extent.cx, fileWidth(c.file));
    SelectObject(hdc_, old);
    DeleteObject(font);
  }
}

TEST_F(DcDraw, EveryDrawingCallPassesTheClip) {
  StartPageOfDoc();
  // An 8-bit DIB of one pixel, a line of text and a rectangle under a clip
  // rectangle; text with ETO_CLIPPED is clipped within it.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colours[1];
  } dib{{sizeof(BITMAPINFOHEADER), 1, 1, 1, 8, BI_RGB, 0, 0, 0, 1, 0}, {}};
  const BYTE pixel[4] = {};
  ASSERT_EQ(IntersectClipRect(hdc_, 10, 10, 200, 200), SIMPLEREGION);
  EXPECT_EQ(StretchDIBits(hdc_, 20, 20, 1, 1, 0, 0, 1, 1, pixel, reinterpret_cast<const BITMAPINFO*>(&dib),
                          DIB_RGB_COLORS, SRCCOPY),
            1);
  const char16_t text[] = u"Clip";
  ASSERT_TRUE(ExtTextOutW(hdc_, 20, 20, 0, nullptr, text, 4, nullptr)) << GetLastError();
  const RECT box{0, 0, 100, 100};
  ASSERT_TRUE(ExtTextOutW(hdc_, 20, 20, ETO_CLIPPED, &box, text, 4, nullptr));
  const POINT line[2] = {{0, 0}, {300, 300}};
  ASSERT_TRUE(Polyline(hdc_, line, 2));
  std::vector<KtdDrawing> drawn = Drawings();
  ASSERT_EQ(drawn.size(), 4u);
  const ULONG calls[4] = {INDEX_DrvBitBlt, INDEX_DrvTextOut, INDEX_DrvTextOut, INDEX_DrvStrokePath};
  const RECTL bounds[4] = {{10, 10, 200, 200}, {10, 10, 200, 200}, {10, 10, 100, 100}, {10, 10, 200, 200}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(drawn[i].index, calls[i]);
    EXPECT_EQ(drawn[i].clipComplexity, DC_RECT);
    EXPECT_EQ(std::memcmp(&drawn[i].clipBounds, &bounds[i], sizeof(RECTL)), 0);
  }

  // A clip that hides everything: nothing reaches the driver, the calls
  // succeed; an empty intersection is a null region.
  clear_();
  EXPECT_EQ(IntersectClipRect(hdc_, 500, 500, 600, 600), NULLREGION);
  EXPECT_TRUE(Rectangle(hdc_, 0, 0, 50, 50));
  EXPECT_TRUE(ExtTextOutW(hdc_, 20, 20, 0, nullptr, text, 4, nullptr));
  EXPECT_EQ(StretchDIBits(hdc_, 20, 20, 1, 1, 0, 0, 1, 1, pixel, reinterpret_cast<const BITMAPINFO*>(&dib),
                          DIB_RGB_COLORS, SRCCOPY),
            1);
  EXPECT_EQ(count_(), 0u);
  // No clip again: the whole page.
  EXPECT_EQ(SelectClipRgn(hdc_, nullptr), SIMPLEREGION);
  EXPECT_TRUE(Rectangle(hdc_, 0, 0, 50, 50));
  ASSERT_EQ(count_(), 1u);
  KtdDrawing d{};
  get_(0, &d);
  EXPECT_EQ(d.clipComplexity, DC_TRIVIAL);
  // Excluding from an unclipped DC starts from the page (the driver's 4760 x 6812).
  clear_();
  EXPECT_EQ(ExcludeClipRect(hdc_, 0, 0, 4760, 100), SIMPLEREGION);
  EXPECT_TRUE(Rectangle(hdc_, 0, 0, 50, 50));
  get_(0, &d);
  const RECTL below{0, 100, 4760, 6812};
  EXPECT_EQ(std::memcmp(&d.clipBounds, &below, sizeof(RECTL)), 0);
}

TEST_F(DcDraw, TextHeightsAtTheEndsOfTheLongRangeSaturate) {
  // A negative height is the em negated: the least LONG has no negative in
  // a LONG and takes the greatest, as the height one above it does. The
  // cell of so large an em (ascent plus descent, each near the em) is
  // beyond a LONG and is held to its greatest value rather than wrapping
  // below zero.
  struct Case {
    LONG height;
    LONG cy;
  };
  const Case cases[] = {{INT32_MIN, INT32_MAX}, {INT32_MIN + 1, INT32_MAX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    LOGFONTW lf{};
    lf.lfHeight = c.height;
    HFONT font = CreateFontIndirectW(&lf);
    ASSERT_NE(font, nullptr);
    HGDIOBJ old = SelectObject(hdc_, font);
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32W(hdc_, u"", 0, &size)) << GetLastError();
    EXPECT_EQ(size.cx, 0);
    EXPECT_EQ(size.cy, c.cy);
    SelectObject(hdc_, old);
    EXPECT_TRUE(DeleteObject(font));
  }
}

TEST_F(DcDraw, ObjectsRefuseBadArgumentsAndOutliveTheirHandleWhileSelected) {
  const LOGBRUSH solid{BS_SOLID, 0, 0};
  const LOGBRUSH hatched{BS_HATCHED, 0, HS_CROSS};
  const DWORD zeros[2] = {0, 0};
  const DWORD seventeen[17] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  struct Made {
    const char* name;
    std::function<HGDIOBJ()> make;
    DWORD error;
  };
  const Made refused[] = {
      {"CreatePen: no such style", [] { return CreatePen(PS_USERSTYLE, 1, 0); }, ERROR_INVALID_PARAMETER},
      {"CreatePen: negative width", [] { return CreatePen(PS_SOLID, -2, 0); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: cosmetic wider than a pixel",
       [&] { return ExtCreatePen(PS_COSMETIC | PS_SOLID, 2, &solid, 0, nullptr); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: geometric alternate",
       [&] { return ExtCreatePen(PS_GEOMETRIC | PS_ALTERNATE, 4, &solid, 0, nullptr); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: user style without entries",
       [&] { return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 0, nullptr); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: user style all gaps of 0",
       [&] { return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 2, zeros); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: seventeen entries",
       [&] { return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 17, seventeen); },
       ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: entries for a standard style",
       [&] { return ExtCreatePen(PS_GEOMETRIC | PS_DASH, 4, &solid, 2, seventeen); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: unknown join",
       [&] { return ExtCreatePen(PS_GEOMETRIC | 0x3000u, 4, &solid, 0, nullptr); }, ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: no brush", [] { return ExtCreatePen(PS_GEOMETRIC, 4, nullptr, 0, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"ExtCreatePen: a hatched line", [&] { return ExtCreatePen(PS_GEOMETRIC, 4, &hatched, 0, nullptr); },
       ERROR_NOT_SUPPORTED},
      {"CreateHatchBrush: no such hatch", [] { return CreateHatchBrush(6, 0); }, ERROR_INVALID_PARAMETER},
      {"CreateBitmap: 8 bits", [] { return CreateBitmap(8, 8, 1, 8, nullptr); }, ERROR_NOT_SUPPORTED},
      {"CreateBitmap: two planes", [] { return CreateBitmap(8, 8, 2, 1, nullptr); }, ERROR_INVALID_PARAMETER},
      {"CreateBitmap: no width", [] { return CreateBitmap(0, 8, 1, 1, nullptr); }, ERROR_INVALID_PARAMETER},
      {"CreateBitmap: beyond the memory allowed", [] { return CreateBitmap(60000, 60000, 1, 32, nullptr); },
       ERROR_NOT_ENOUGH_MEMORY},
      {"CreatePatternBrush: not a bitmap", [] { return CreatePatternBrush(GetStockObject(BLACK_PEN)); },
       ERROR_INVALID_PARAMETER},
      {"GetStockObject: no such object", [] { return GetStockObject(9); }, ERROR_INVALID_PARAMETER},
  };
  for (const Made& m : refused) {
    SCOPED_TRACE(m.name);
    SetLastError(0);
    EXPECT_EQ(m.make(), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
  }
  // Selecting what is no object, a bitmap, or into no DC.
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
  EXPECT_EQ(SelectObject(hdc_, reinterpret_cast<HGDIOBJ>(0x1234)), nullptr);
  EXPECT_EQ(SelectObject(hdc_, bitmap), nullptr);
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(0x1234), GetStockObject(BLACK_PEN)), nullptr);
  EXPECT_EQ(SelectClipRgn(hdc_, bitmap), RGN_ERROR);
  EXPECT_EQ(SetPolyFillMode(hdc_, 3), 0);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // A stock object survives DeleteObject.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_NE(SelectObject(hdc_, GetStockObject(BLACK_BRUSH)), nullptr);

  StartPageOfDoc();
  // Drawing calls' own checks: outside the points the engine can hold, too
  // few points, curves of the wrong count.
  const POINT far[4] = {{0, 0}, {0x08000000, 0}, {0, 0}, {0, 0}};
  const POINT four[4] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
  struct Bad {
    const char* name;
    std::function<BOOL()> draw;
  };
  const Bad bad[] = {{"polygon beyond 28.4", [&] { return Polygon(hdc_, far, 4); }},
                     {"polygon of one point", [&] { return Polygon(hdc_, four, 1); }},
                     {"rectangle beyond 28.4", [&] { return Rectangle(hdc_, 0, 0, 0x08000000, 10); }},
                     {"curves of three points", [&] { return PolyBezier(hdc_, four, 3); }},
                     {"curves of five points", [&] { return PolyBezier(hdc_, far, 5); }}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    SetLastError(0);
    EXPECT_FALSE(b.draw());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(count_(), 0u);

  // A brush deleted while selected: DeleteObject answers TRUE, the DC fills
  // with it until it selects another; the handle is gone at once.
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  ASSERT_NE(red, nullptr);
  ASSERT_NE(SelectObject(hdc_, red), nullptr);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_TRUE(Ellipse(hdc_, 0, 0, 10, 10));
  KtdDrawing d{};
  ASSERT_TRUE(get_(0, &d));
  EXPECT_EQ(d.fill.solid, 0x0000FFu);
  EXPECT_EQ(SelectObject(hdc_, red), nullptr) << "the handle is gone";
  EXPECT_EQ(SelectObject(hdc_, GetStockObject(WHITE_BRUSH)), red) << "the old handle is answered";
  EXPECT_FALSE(DeleteObject(red));

  // Drawing outside a page is refused before the driver.
  ASSERT_GT(EndPage(hdc_), 0);
  clear_();
  SetLastError(0);
  EXPECT_FALSE(Rectangle(hdc_, 0, 0, 10, 10));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_FALSE(LineTo(hdc_, 5, 5));
  POINT at{};
  EXPECT_TRUE(MoveToEx(hdc_, 1, 2, &at));
  EXPECT_EQ(at.x, 5) << "LineTo moved the position though it drew nothing";
  EXPECT_EQ(count_(), 0u);
  ASSERT_GT(EndDoc(hdc_), 0);
}

TEST_F(DcDraw, SaveDcKeepsObjectsColoursPositionAndClip) {
  StartPageOfDoc();
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 255));
  const int outer = SaveDC(hdc_);
  SelectObject(hdc_, hatch);
  SetBkColor(hdc_, RGB(9, 9, 9));
  SetPolyFillMode(hdc_, WINDING);
  MoveToEx(hdc_, 70, 80, nullptr);
  IntersectClipRect(hdc_, 0, 0, 100, 100);
  const int inner = SaveDC(hdc_);
  SelectObject(hdc_, GetStockObject(NULL_BRUSH));
  SelectClipRgn(hdc_, nullptr);
  MoveToEx(hdc_, 0, 0, nullptr);
  ASSERT_TRUE(RestoreDC(hdc_, inner));
  EXPECT_TRUE(DeleteObject(hatch)) << "still selected: kept for the DC and its saved state";
  ASSERT_TRUE(Rectangle(hdc_, 0, 0, 50, 50));
  ASSERT_TRUE(LineTo(hdc_, 90, 80));
  std::vector<KtdDrawing> drawn = Drawings();
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].fill.hatch, static_cast<ULONG>(HS_CROSS));
  EXPECT_EQ(drawn[0].fill.colors[1], 0x090909u);
  EXPECT_EQ(drawn[0].fillOptions, FP_WINDINGMODE);
  EXPECT_EQ(drawn[0].clipComplexity, DC_RECT);
  EXPECT_EQ(drawn[1].firstPoint.x, 70 * 16) << "the line starts at the saved position";
  clear_();
  ASSERT_TRUE(RestoreDC(hdc_, outer));
  ASSERT_TRUE(Rectangle(hdc_, 0, 0, 50, 50));
  ASSERT_EQ(count_(), 1u);
  KtdDrawing d{};
  get_(0, &d);
  EXPECT_EQ(d.fill.solid, 0x00FFFFFFu) << "the first white brush";
  EXPECT_EQ(d.fillOptions, FP_ALTERNATEMODE);
  EXPECT_EQ(d.clipComplexity, DC_TRIVIAL);
  EXPECT_FALSE(RestoreDC(hdc_, outer)) << "nothing left to restore";
}

TEST_F(DcDraw, ADocumentIsASpoolerJobWhenThePrinterHasAPort) {
  // With a port: StartDocW answers the spooler's job id, which the driver
  // got too, and the driver's bytes reach the port.
  ASSERT_TRUE(KpPortDefineFile(u"DRAW:", u"C:\\draw.prn"));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"DRAW:", nullptr));
  DOCINFOW doc{sizeof(DOCINFOW), u"Spooled", nullptr, nullptr, 0};
  const int job = StartDocW(hdc_, &doc);
  ASSERT_GT(job, 0) << GetLastError();
  EXPECT_EQ(control_->lastJobId, static_cast<DWORD>(job));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 1u);
  EXPECT_FALSE(KpDcUseSpoolerJobs(hdc_, FALSE)) << "not inside a document";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  ASSERT_GT(StartPage(hdc_), 0);
  ASSERT_GT(EndPage(hdc_), 0);
  ASSERT_GT(EndDoc(hdc_), 0);
  const std::string expected = "<doc>" + std::string(16, 'P') + "</doc>";
  EXPECT_EQ(kestrel::test::ReadHostFile(root_.host("c/draw.prn")), expected);
  KP_SPOOLER_JOB_STATE state{};
  ASSERT_TRUE(KpSpoolerGetJobState(static_cast<DWORD>(job), &state));
  EXPECT_EQ(state.status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  EXPECT_EQ(state.pagesEnded, 1u);

  // AbortDoc aborts the job.
  const int second = StartDocW(hdc_, &doc);
  ASSERT_GT(second, job);
  ASSERT_GT(AbortDoc(hdc_), 0);
  ASSERT_TRUE(KpSpoolerGetJobState(static_cast<DWORD>(second), &state));
  EXPECT_EQ(state.status, JOB_STATUS_DELETED);

  // A port that does not open fails StartDocW with the spooler's error and
  // leaves no job; the DC can start a document afterwards.
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"NOWHERE:", nullptr));
  SetLastError(0);
  EXPECT_EQ(StartDocW(hdc_, &doc), SP_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  // Told not to spool, the DC keeps the output in the engine's record.
  ASSERT_TRUE(KpDcUseSpoolerJobs(hdc_, FALSE));
  KpEngineClearOutput(KpDcEnginePrinter(hdc_));
  const int local = StartDocW(hdc_, &doc);
  ASSERT_GT(local, 0) << GetLastError();
  EXPECT_EQ(control_->lastJobId, static_cast<DWORD>(local));
  ASSERT_GT(EndDoc(hdc_), 0);
  EXPECT_EQ(KpEngineGetOutput(KpDcEnginePrinter(hdc_), nullptr, 0), 11u) << "<doc></doc>";
  // Told to spool on a printer without a port: no job, ERROR_UNKNOWN_PORT.
  ASSERT_TRUE(KpSpoolerAddPrinter(kPrinter, u"Test Driver", nullptr, nullptr, u"kptestdrv.dll"));
  ASSERT_TRUE(KpDcUseSpoolerJobs(hdc_, TRUE));
  EXPECT_EQ(StartDocW(hdc_, &doc), SP_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  EXPECT_FALSE(KpDcUseSpoolerJobs(nullptr, TRUE));
}

}  // namespace
