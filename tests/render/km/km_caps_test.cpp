// FillPsDevCaps on a PDEV set up by hand: the paper size, printable size and
// printable offset of the four cases (a description paper in either
// orientation, a custom size, edge to edge, the application's margins in
// either orientation) as GDIINFO reports them at 600 dpi.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_services.h"
#include "km_entry.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::RoundDiv;

struct Margins {
  WORD m1x, m1y, m2x, m2y;
};

struct Case {
  const char* name;
  const char16_t* formName;  // null: a custom size (no paper record)
  Margins margins;
  DDD_POINT lower, upper;    // imageable bounds
  bool landscape;
  LONG edgeToEdge;           // DDM 383
  LONG appSwitch;            // DDM 387
  LONG orientation;          // DDM 7
  SHORT app[5];              // paper id (-1: the devmode's), left, right, top, bottom
  bool ok;
  LONG px, py, sx, sy, ox, oy;  // 0.1 mm
};

constexpr Margins kMargins{30, 50, 70, 90};
constexpr DDD_POINT kNoLower{0, 0};
constexpr DDD_POINT kNoUpper{5000, 5000};

const Case kCases[] = {
    // A4 from the forms database (2100 x 2970) with the paper's margins.
    {"paper record, portrait", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 0, 1, {0}, true,
     2100, 2970, 2000, 2830, 30, 90},
    {"paper record, landscape", u"A4", kMargins, kNoLower, kNoUpper, true, 0, 0, 2, {0}, true,
     2970, 2100, 2830, 2000, 50, 30},
    {"printable size above the upper bound", u"A4", kMargins, kNoLower, {1900, 2800}, false, 0, 0, 1, {0}, true,
     2100, 2970, 1900, 2800, 30, 90},
    {"printable size below the lower bound", u"A4", kMargins, {2050, 2900}, kNoUpper, false, 0, 0, 1, {0}, true,
     2100, 2970, 2050, 2900, 30, 90},
    {"a paper only the model knows: its own size", u"Kestrel Test Sheet", kMargins, kNoLower, kNoUpper, false, 0,
     0, 1, {0}, true, 3200, 4500, 3100, 4360, 30, 90},
    {"custom size: printable area centred", nullptr, kMargins, kNoLower, kNoUpper, false, 0, 0, 1, {0}, true,
     2100, 2970, 2000, 2800, 50, 85},
    {"edge to edge", u"A4", kMargins, kNoLower, kNoUpper, false, 1, 0, 1, {0}, true, 2100, 2970, 2100, 2970, 0, 0},
    {"application margins, portrait", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 1, 1, {-1, 100, 120, 140, 160},
     true, 2100, 2970, 1880, 2670, 100, 140},
    {"application margins, landscape", u"A4", kMargins, kNoLower, kNoUpper, true, 0, 1, 2,
     {-1, 100, 120, 140, 160}, true, 2970, 2100, 2670, 1880, 160, 100},
    {"application margins of another paper", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 1, 1,
     {8, 100, 120, 140, 160}, true, 2100, 2970, 2000, 2830, 30, 90},
    {"application margins switched off", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 0, 1,
     {-1, 100, 120, 140, 160}, true, 2100, 2970, 2000, 2830, 30, 90},
    {"application margins wider than the paper", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 1, 1,
     {-1, 2000, 200, 140, 160}, true, 2100, 2970, 2000, 2830, 30, 90},
    {"negative application margins", u"A4", kMargins, kNoLower, kNoUpper, false, 0, 1, 1, {-1, -10, 0, 0, 0}, true,
     2100, 2970, 2000, 2830, 30, 90},
    {"a paper record without margins", u"A4", {0, 0, 0, 0}, kNoLower, kNoUpper, false, 0, 0, 1, {0}, false,
     0, 0, 0, 0, 0, 0},
};

class KmCaps : public KmTest {
 protected:
  void SetUp() override {
    KmTest::SetUp();
    printer_ = Printer(kModelA);
    ASSERT_NE(printer_, nullptr);
    dm_ = Devmode(kModelA);
  }

  void Put(PDEV* pdev, WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    ASSERT_EQ(ddm_GetValue(id, pdev->devmode, pdev->printerData, &type, &size, &slot), 0) << id;
    ASSERT_EQ(ddm_SetValue(id, pdev->devmode, pdev->printerData, type, size, &value), 0) << id << " = " << value;
  }

  HANDLE printer_ = nullptr;
  kestrel::test::km::CreateDcDevmode dm_;
  std::vector<BYTE> pd_ = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
};

LONG PsReal(LONG tenthMm) { return MicronToPSReal(tenthMm * 100); }

TEST_F(KmCaps, PrintableAreaOfEachCase) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    auto pdev = std::make_unique<PDEV>();
    std::memcpy(pdev->devmode, dm_.data(), NRV_DEVMODE_SIZE_KIND1);
    pdev->printerData = pd_.data();
    pdev->hPrinter = printer_;
    pdev->logicalResolution = 600;
    Put(pdev.get(), 20, 600);
    Put(pdev.get(), 383, c.edgeToEdge);
    Put(pdev.get(), 387, c.appSwitch);
    Put(pdev.get(), 7, c.orientation);

    DDD_PAPER paper{};
    PRINTERFORM& form = pdev->curForm;
    if (c.formName) {
      paper.marginId = c.margins.m1x ? 1 : 0;
      paper.sizeId = paper.imageableId = 1;
      paper.paperLower = paper.paperUpper = DDD_POINT{3200, 4500};
      paper.imageableLower = c.lower;
      paper.imageableUpper = c.upper;
      paper.marginFirst = DDD_POINT{c.margins.m1x, c.margins.m1y};
      paper.marginSecond = DDD_POINT{c.margins.m2x, c.margins.m2y};
      std::u16string name = c.formName;
      std::memcpy(form.formName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
      form.paperRecord = &paper;
      form.landscape = c.landscape;
    } else {
      form.paperWidth = PsReal(2100);
      form.paperLength = PsReal(2970);
      form.imageableLeft = PsReal(40);
      form.imageableRight = PsReal(2040);
      form.imageableTop = PsReal(100);
      form.imageableBottom = PsReal(2900);
    }

    PDEV_APPMARGINS app{};
    SHORT id = c.app[0] == -1 ? static_cast<SHORT>(dm_.Get(8)) : c.app[0];
    std::memcpy(app.bytes, &id, 2);
    for (int k = 1; k < 5; ++k) std::memcpy(app.bytes + 2 + 2 * k, &c.app[k], 2);

    GDIINFO g{};
    BOOL ok = FillPsDevCaps(pdev.get(), &app, sizeof g, reinterpret_cast<ULONG*>(&g));
    form.paperRecord = nullptr;
    EXPECT_EQ(ok != FALSE, c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(g.szlPhysSize.cx, RoundDiv(c.px, 600, 254));
    EXPECT_EQ(g.szlPhysSize.cy, RoundDiv(c.py, 600, 254));
    EXPECT_EQ(g.ulHorzRes, static_cast<ULONG>(RoundDiv(c.sx, 600, 254)));
    EXPECT_EQ(g.ulVertRes, static_cast<ULONG>(RoundDiv(c.sy, 600, 254)));
    EXPECT_EQ(g.ulHorzSize, static_cast<ULONG>(RoundDiv(c.sx, 10, 100)));
    EXPECT_EQ(g.ulVertSize, static_cast<ULONG>(RoundDiv(c.sy, 10, 100)));
    EXPECT_EQ(g.ptlPhysOffset.x, c.ox ? RoundDiv(c.ox, 600, 254) : 0);
    EXPECT_EQ(g.ptlPhysOffset.y, c.oy ? RoundDiv(c.oy, 600, 254) : 0);
  }
}

// The rounding of the GDIINFO sizes: a x b / c up from a remainder of half
// the divisor, exact in 64 bits.
TEST(KmRound, HalvesRoundUpAndLargeProductsStayExact) {
  struct Case {
    LONG a, b, c, result;
  };
  for (const Case& c : {Case{2016, 10, 100, 202}, Case{2015, 10, 100, 202}, Case{2014, 10, 100, 201},
                        Case{127, 1, 254, 1}, Case{126, 1, 254, 0}, Case{42, 600, 254, 99},
                        Case{2000000, 2400, 254, 18897638}, Case{5, 3, 0, 0}}) {
    EXPECT_EQ(w40c_Round(c.a, c.b, c.c), c.result) << c.a << " x " << c.b << " / " << c.c;
  }
}

}  // namespace
