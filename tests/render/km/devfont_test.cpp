// Device fonts through the engine runner (model A's PDEV and its entries),
// the metrics records and the width lookup on hand-made XFM records, and the
// substitution scoring on hand-made font sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devfont.h"
#include "fontsubst.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "km_entry.h"
#include "renderer_fixture.h"
#include "textout.h"
#include "xfm_builder.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::EntryTable;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::KmTest;
using kestrel::test::km::XfmBuilder;

constexpr char kListHost[] = "c/Windows/system32/kestreltt.tmp";

typedef IFIMETRICS*(WINAPI* QueryFont)(DHPDEV, ULONG_PTR, ULONG, ULONG_PTR*);
typedef PVOID(WINAPI* QueryFontTree)(DHPDEV, ULONG_PTR, ULONG, ULONG, ULONG_PTR*);
typedef LONG(WINAPI* QueryFontData)(DHPDEV, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG);
typedef BOOL(WINAPI* QueryAdvanceWidths)(DHPDEV, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG);

std::u16string FaceOf(const IFIMETRICS* ifi) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
}

// kestreltt.tmp: the byte count, then the names and the closing empty one.
std::string FamilyListFile(const std::vector<std::u16string>& names) {
  std::string body;
  for (const auto& n : names) {
    for (char16_t c : n) body += static_cast<char>(c & 0xFF), body += static_cast<char>(c >> 8);
    body += std::string(2, '\0');
  }
  body += std::string(2, '\0');
  uint32_t b = static_cast<uint32_t>(body.size());
  return std::string(reinterpret_cast<const char*>(&b), 4) + body;
}

class DevFont : public KmTest {
 protected:
  void SetUp() override {
    KmTest::SetUp();
    printer_ = Printer(kModelA);
    driver_ = LoadDriver();
    entries_ = std::make_unique<EntryTable>();
    ASSERT_TRUE(entries_->ok());
  }
  KP_ENGINE_SESSION* Enable(CreateDcDevmode& dm, HANDLE printer = nullptr) {
    if (!printer) printer = printer_;
    KP_ENGINE_SESSION* s = driver_ && printer ? KpEngineEnablePDEV(driver_, printer, dm.data()) : nullptr;
    if (s) sessions_.push_back(s);
    return s;
  }
  void TearDown() override {
    for (KP_ENGINE_SESSION* s : sessions_) KpEngineDisablePDEV(s);
    entries_.reset();
    KmTest::TearDown();
  }
  PDEV* Pdev(KP_ENGINE_SESSION* s) { return static_cast<PDEV*>(static_cast<void*>(KpEngineSessionPDEV(s))); }

  KP_ENGINE_DRIVER* driver_ = nullptr;
  HANDLE printer_ = nullptr;
  std::vector<KP_ENGINE_SESSION*> sessions_;
  std::unique_ptr<EntryTable> entries_;
};

// Model A: six fonts in the set, three offered to the engine (each bold face
// repeats its family after its face name), the default font from DDM 384/385.
TEST_F(DevFont, ModelAFontSetExposedFacesAndDefaultFont) {
  CreateDcDevmode dm = Devmode(kModelA);
  KP_ENGINE_SESSION* s = Enable(dm);
  ASSERT_NE(s, nullptr) << GetLastError();
  const DEVINFO& info = *KpEngineSessionDevInfo(s);
  EXPECT_EQ(info.cFonts, 3u);
  EXPECT_EQ(KpEngineSessionDeviceFontCount(s), 3u);

  const DEVFONT_TABLES* t = Pdev(s)->deviceFonts;
  ASSERT_NE(t, nullptr);
  struct Row {
    const char16_t* face;
    const char* printerName;
    DWORD fontId;
    BYTE pitchAndFamily;
    WORD weight;
  };
  const Row rows[] = {{u"Courier", "Courier         ", 0x0004, 0x30, 400},
                      {u"Courier Bold", "Courier       Bd", 0x3004, 0x30, 700},
                      {u"Helvetica", "Helvetica       ", 0x10DA, 0x21, 400},
                      {u"Helvetica Bold", "Helvetica     Bd", 0x30DA, 0x21, 700},
                      {u"Times Roman", "Times        Rmn", 0x1101, 0x11, 400},
                      {u"Times Bold", "Times         Bd", 0x3101, 0x11, 700}};
  ASSERT_EQ(t->cFontSet, 6u);
  for (DWORD i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const DEVFONTINFO& f = t->fontSet[i];
    EXPECT_EQ(std::u16string(f.faceName), rows[i].face);
    if (rows[i].printerName) {
      EXPECT_EQ(std::string(f.printerName), rows[i].printerName);
    }
    EXPECT_EQ(f.symbolSet, 590);
    EXPECT_EQ(f.fontId, rows[i].fontId);
    EXPECT_EQ(f.pitchAndFamily, rows[i].pitchAndFamily);
    EXPECT_EQ(f.weight, rows[i].weight);
    EXPECT_EQ(f.charSet, 0);
  }
  ASSERT_EQ(t->cExposed, 3u);
  EXPECT_EQ(t->exposedRecords[0], 1);
  EXPECT_EQ(t->exposedRecords[1], 3);
  EXPECT_EQ(t->exposedRecords[2], 5);
  const char16_t* faces[] = {u"Courier", u"Helvetica", u"Times Roman"};
  for (ULONG face = 1; face <= 3; ++face) {
    WCHAR name[40] = {};
    ASSERT_TRUE(KpEngineSessionDeviceFontName(s, face, name, 40));
    EXPECT_EQ(std::u16string(name), faces[face - 1]);
  }
  // lfHeight = -(DDM 385 x DDM 20 / 720), Helvetica by its id 0x10DA.
  EXPECT_EQ(info.lfDefaultFont.lfHeight, -(dm.Get(DDM_DEFAULT_FONT_SIZE) * 600 / 720));
  EXPECT_EQ(info.lfDefaultFont.lfHeight, -100);
  EXPECT_EQ(std::u16string(info.lfDefaultFont.lfFaceName), u"Helvetica");
  EXPECT_EQ(info.lfDefaultFont.lfWeight, 400);
}

// Both models' printer fonts as a text run meets them: the font set's face,
// weight and the 16 bytes sent as the PCL XL font name (one of the resident
// names), and the widths the run measures characters with: the straight
// quote (39), the code page's 128-159 (euro 128, quote 146, dash 150) and
// Latin-1 (160 no-break space, 169, 189, 223, 233, 255), 0 for what code
// page 1252 leaves empty (127, 129).
TEST_F(DevFont, BothModelsPrintWithTheResidentFacesAndTheirWidths) {
  static const std::vector<std::string> kResident = {
      "Courier         ", "Courier       Bd", "Courier       It", "Courier     BdIt", "Helvetica       ",
      "Helvetica     Bd", "Helvetica     Ob", "Helvetica   BdOb", "Times        Rmn", "Times         Bd",
      "Times         It", "Times       BdIt", "Arial           ", "Arial         Bd", "Arial         It",
      "Arial       BdIt", "TimesNewRmn     ", "TimesNewRmn   Bd", "TimesNewRmn   It", "TimesNewRmn BdIt"};
  static const DWORD kCodes[] = {39, 96, 127, 128, 129, 146, 150, 160, 169, 189, 223, 233, 255};
  struct Face {
    const char16_t* face;
    const char* printerName;
    WORD weight;
    std::vector<LONG> widths;  // of kCodes
  };
  const std::vector<Face> courier = {
      {u"Courier", "Courier         ", 400, {600, 600, 0, 600, 0, 600, 600, 600, 600, 600, 600, 600, 600}},
      {u"Courier Bold", "Courier       Bd", 700, {600, 600, 0, 600, 0, 600, 600, 600, 600, 600, 600, 600, 600}}};
  const std::vector<Face> helvetica = {
      {u"Helvetica", "Helvetica       ", 400, {191, 333, 0, 556, 0, 222, 556, 278, 737, 834, 611, 556, 500}},
      {u"Helvetica Bold", "Helvetica     Bd", 700, {238, 333, 0, 556, 0, 278, 556, 278, 737, 834, 611, 556, 556}}};
  const std::vector<Face> times = {
      {u"Times Roman", "Times        Rmn", 400, {180, 333, 0, 500, 0, 333, 500, 250, 760, 750, 500, 444, 500}},
      {u"Times Bold", "Times         Bd", 700, {278, 333, 0, 500, 0, 333, 500, 250, 747, 750, 556, 444, 500}}};
  struct Model {
    const kestrel::test::km::Model* model;
    std::vector<Face> faces;
  };
  std::vector<Face> a = courier, b = courier;
  a.insert(a.end(), helvetica.begin(), helvetica.end());
  a.insert(a.end(), times.begin(), times.end());
  b.insert(b.end(), helvetica.begin(), helvetica.end());
  const Model models[] = {{&kModelA, a}, {&kModelB, b}};
  for (const Model& m : models) {
    SCOPED_TRACE(m.model == &kModelA ? "model A" : "model B");
    HANDLE printer = m.model == &kModelA ? printer_ : Printer(*m.model);
    CreateDcDevmode dm = Devmode(*m.model);
    KP_ENGINE_SESSION* s = Enable(dm, printer);
    ASSERT_NE(s, nullptr) << GetLastError();
    PDEV* pdev = Pdev(s);
    ASSERT_EQ(xltext_FontSetCount(pdev), m.faces.size());
    for (size_t i = 0; i < m.faces.size(); ++i) {
      const Face& f = m.faces[i];
      SCOPED_TRACE(testing::Message() << "font " << i);
      EXPECT_EQ(std::u16string(pdev->deviceFonts->fontSet[i].faceName), f.face);
      EXPECT_EQ(pdev->deviceFonts->fontSet[i].weight, f.weight);
      char name[XL_FONTNAME_MAX] = {};
      WORD symbolSet = 0;
      BYTE charSet = 0xFF;
      ASSERT_EQ(xltext_FontSetEntry(pdev, static_cast<WORD>(i), name, &symbolSet, &charSet), 0);
      EXPECT_EQ(std::string(name), f.printerName);
      EXPECT_NE(std::find(kResident.begin(), kResident.end(), std::string(name)), kResident.end()) << name;
      EXPECT_EQ(symbolSet, 590);
      EXPECT_EQ(charSet, ANSI_CHARSET);
      NTFM* metrics = xltext_LoadDeviceMetrics(pdev, static_cast<WORD>(i));
      ASSERT_NE(metrics, nullptr);
      std::vector<LONG> widths;
      for (DWORD code : kCodes) widths.push_back(xfm_getCharWidth(&metrics->widthInfo, code));
      xltext_FreeDeviceMetrics(pdev, metrics);
      EXPECT_EQ(widths, f.widths);
    }
  }
}

// An installed TrueType family of the same name hides the device font from
// the engine; it stays in the set. A malformed list hides nothing.
TEST_F(DevFont, InstalledFamiliesHideDeviceFontsFromTheEngine) {
  struct Case {
    const char* name;
    std::string file;
    ULONG exposed;
  };
  std::string cut = FamilyListFile({u"Helvetica"});
  cut.resize(cut.size() - 2);  // no closing empty name, the size word still 4 more
  const Case cases[] = {
      {"Helvetica installed", FamilyListFile({u"DejaVu Sans", u"Helvetica"}), 2},
      {"another case is another name", FamilyListFile({u"helvetica"}), 3},
      {"size word disagrees", cut, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kestrel::test::WriteHostFile(root_.host(kListHost), c.file);
    CreateDcDevmode dm = Devmode(kModelA);
    KP_ENGINE_SESSION* s = Enable(dm);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(KpEngineSessionDevInfo(s)->cFonts, c.exposed);
    EXPECT_EQ(Pdev(s)->deviceFonts->cFontSet, 6u);
  }
  // The list without a closing name, with a matching size word, is malformed.
  std::string open = FamilyListFile({u"Helvetica"});
  open.resize(open.size() - 2);
  uint32_t b = static_cast<uint32_t>(open.size() - 4);
  std::memcpy(open.data(), &b, 4);
  EXPECT_EQ(kmttf::ParseFamilyList(reinterpret_cast<const BYTE*>(open.data()), static_cast<DWORD>(open.size())), nullptr);
}

// DDM 292 = 1 or DDM 1343 = 1: no device fonts offered (the set stays).
TEST_F(DevFont, NoDeviceFontsWhenTrueTypeIsDownloadedOrDeviceFontsAreOff) {
  const std::pair<WORD, LONG> settings[] = {{DDM_TRUETYPE, 1}, {DDM_NO_DEVICE_FONTS, 1}, {DDM_TRUETYPE, 2}};
  const ULONG expected[] = {0, 0, 3};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    CreateDcDevmode dm = Devmode(kModelA);
    ASSERT_TRUE(dm.Set(settings[i].first, settings[i].second));
    KP_ENGINE_SESSION* s = Enable(dm);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(KpEngineSessionDevInfo(s)->cFonts, expected[i]);
  }
}

// A default font id naming no font: the first font of the set, at the size.
TEST_F(DevFont, DefaultFontIdNamingNoFontTakesTheFirstFont) {
  CreateDcDevmode dm = Devmode(kModelA);
  ASSERT_TRUE(dm.Set(DDM_DEFAULT_FONT_ID, 0x7777));
  ASSERT_TRUE(dm.Set(DDM_DEFAULT_FONT_SIZE, 100));
  KP_ENGINE_SESSION* s = Enable(dm);
  ASSERT_NE(s, nullptr);
  const DEVINFO& info = *KpEngineSessionDevInfo(s);
  EXPECT_EQ(std::u16string(info.lfDefaultFont.lfFaceName), u"Courier");
  EXPECT_EQ(info.lfDefaultFont.lfHeight, -83);  // -(100 x 600 / 720)
}

// Helvetica's IFIMETRICS as the engine gets it, field by field.
TEST_F(DevFont, HelveticaMetricsKerningAndGlyphSet) {
  CreateDcDevmode dm = Devmode(kModelA);
  KP_ENGINE_SESSION* s = Enable(dm);
  ASSERT_NE(s, nullptr);
  DHPDEV p = KpEngineSessionPDEV(s);
  ULONG_PTR id = 99;
  const IFIMETRICS* ifi = entries_->Get<QueryFont>(INDEX_DrvQueryFont)(p, 0, 2, &id);
  ASSERT_NE(ifi, nullptr);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(FaceOf(ifi), u"Helvetica");
  EXPECT_EQ(ifi->cjThis, NTFM_IFI_FIXED + 20 + 20);  // two names of 9 characters: (18 + 5) & ~3
  struct Field {
    const char* name;
    LONG value;
    LONG expected;
  };
  const Field fields[] = {
      {"flInfo", static_cast<LONG>(ifi->flInfo), 0x82010},
      {"fsType", ifi->fsType, 2},
      {"units per em", ifi->fwdUnitsPerEm, 1000},
      {"pitch and family", ifi->jWinPitchAndFamily, 0x22},  // swiss, variable
      {"weight", ifi->usWinWeight, 400},
      {"selection", ifi->fsSelection, 0},
      {"average width", ifi->fwdAveCharWidth, 513},
      {"max increment", ifi->fwdMaxCharInc, 1015},
      {"ascender", ifi->fwdWinAscender, 905},
      {"typo ascender", ifi->fwdTypoAscender, 905},
      {"win descender", ifi->fwdWinDescender, 212},  // the descent line 117 - 905 + 1000
      {"typo descender", ifi->fwdTypoDescender, -212},
      {"line gap", ifi->fwdTypoLineGap, 33},  // line spacing 150 - the descent line 117
      {"lowest ppem (m[2] low)", ifi->fwdLowestPPEm, 3},
      {"cap height (m[3] high)", ifi->fwdCapHeight, 718},
      {"x height (m[4] low)", ifi->fwdXHeight, 523},
      {"subscript y size (m[7] high)", ifi->fwdSubscriptYSize, 650},
      {"superscript y size (m[7] low)", ifi->fwdSuperscriptYSize, 650},
      {"subscript y offset (m[6] high)", ifi->fwdSubscriptYOffset, 140},
      {"superscript y offset (m[6] low)", ifi->fwdSuperscriptYOffset, 480},
      {"underscore size (m[8] high)", ifi->fwdUnderscoreSize, 50},
      {"underscore position", ifi->fwdUnderscorePosition, -25},
      {"strike-out size (m[11] high)", ifi->fwdStrikeoutSize, 50},
      {"strike-out position (m[4] high / 2)", ifi->fwdStrikeoutPosition, 523 / 2},
      {"italic angle", ifi->lItalicAngle, 0},
      {"caret", ifi->ptlCaret.x * 10 + ifi->ptlCaret.y, 1},
      {"box top", ifi->rclFontBox.top, 905},
      {"box right", ifi->rclFontBox.right, 1015},
      {"box bottom", ifi->rclFontBox.bottom, -212},
      {"first char", ifi->chFirstChar, 32},
      {"last char", ifi->chLastChar, 255},
      {"default char", ifi->chDefaultChar, 32},
      {"wc first", ifi->wcFirstChar, 0},
      {"wc last", ifi->wcLastChar, 0x2122},
      {"kerning pairs", static_cast<LONG>(ifi->cKerningPairs), 6},
      {"PANOSE family", ifi->panose.bFamilyType, 1},
      {"PANOSE serif", ifi->panose.bSerifStyle, 1},
      {"PANOSE weight", ifi->panose.bWeight, 5},
      {"PANOSE proportion", ifi->panose.bProportion, 0},
  };
  for (const Field& f : fields) EXPECT_EQ(f.value, f.expected) << f.name;
  EXPECT_EQ(std::memcmp(ifi->achVendId, "Unkn", 4), 0);
  // The simulations: bold, italic, bold italic.
  ASSERT_EQ(ifi->dpFontSim, static_cast<PTRDIFF>(sizeof(IFIMETRICS)));
  const auto* sim = reinterpret_cast<const FONTSIM*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpFontSim);
  auto diff = [&](PTRDIFF at) { return reinterpret_cast<const FONTDIFF*>(reinterpret_cast<const BYTE*>(sim) + at); };
  const FONTDIFF* bold = diff(sim->dpBold);
  const FONTDIFF* italic = diff(sim->dpItalic);
  const FONTDIFF* both = diff(sim->dpBoldItalic);
  EXPECT_EQ(bold->usWinWeight, 700);
  EXPECT_EQ(bold->bWeight, 6);
  EXPECT_EQ(bold->fsSelection, FM_SEL_BOLD);
  EXPECT_EQ(bold->fwdAveCharWidth, 514);
  EXPECT_EQ(bold->fwdMaxCharInc, 1016);
  EXPECT_EQ(italic->fsSelection, FM_SEL_ITALIC);
  EXPECT_EQ(italic->usWinWeight, 400);
  EXPECT_EQ(italic->ptlCaret.x, 1);
  EXPECT_EQ(italic->ptlCaret.y, 3);
  EXPECT_EQ(both->fsSelection, FM_SEL_BOLD | FM_SEL_ITALIC);
  EXPECT_EQ(both->usWinWeight, 700);

  // Courier: fixed pitch.
  const IFIMETRICS* courier = entries_->Get<QueryFont>(INDEX_DrvQueryFont)(p, 0, 1, &id);
  ASSERT_NE(courier, nullptr);
  EXPECT_EQ(courier->jWinPitchAndFamily, 0x31);
  EXPECT_EQ(courier->flInfo, 0x82010u | 0x401000u);
  EXPECT_EQ(courier->panose.bProportion, 9);

  // Kerning from the kern lines, ended by the zero pair; none for Courier.
  auto tree = entries_->Get<QueryFontTree>(INDEX_DrvQueryFontTree);
  const auto* kern = static_cast<const FD_KERNINGPAIR*>(tree(p, 0, 2, QFT_KERNPAIRS, &id));
  ASSERT_NE(kern, nullptr);
  const FD_KERNINGPAIR expect[] = {{u'A', u'V', -70}, {u'A', u'W', -50}, {u'A', u'Y', -100},
                                   {u'T', u'a', -120}, {u'V', u'A', -70}, {u'Y', u'A', -100}, {0, 0, 0}};
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(kern[i].wcFirst, expect[i].wcFirst) << i;
    EXPECT_EQ(kern[i].wcSecond, expect[i].wcSecond) << i;
    EXPECT_EQ(kern[i].fwdKern, expect[i].fwdKern) << i;
  }
  EXPECT_EQ(tree(p, 0, 1, QFT_KERNPAIRS, &id), nullptr);

  // The shared glyph set: the 256 bytes of code page 1252, handles = bytes.
  const auto* set = static_cast<const FD_GLYPHSET*>(tree(p, 0, 3, QFT_GLYPHSET, &id));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->cGlyphsSupported, 256u);
  EXPECT_EQ(set->flAccel, GS_8BIT_HANDLES);
  bool euro = false;
  for (ULONG r = 0; r < set->cRuns; ++r)
    for (USHORT g = 0; g < set->awcrun[r].cGlyphs; ++g)
      if (set->awcrun[r].wcLow + g == 0x20AC) euro = set->awcrun[r].phg[g] == 0x80;
  EXPECT_TRUE(euro);
}

// Bad faces and modes: 87 and null / FD_ERROR / FALSE.
TEST_F(DevFont, QueriesRefuseBadFacesAndModes) {
  CreateDcDevmode dm = Devmode(kModelA);
  KP_ENGINE_SESSION* s = Enable(dm);
  ASSERT_NE(s, nullptr);
  DHPDEV p = KpEngineSessionPDEV(s);
  ULONG_PTR id = 0;
  struct Case {
    const char* name;
    ULONG face;
    ULONG mode;
  };
  const Case cases[] = {{"face 0", 0, QFT_GLYPHSET}, {"face n + 1", 4, QFT_GLYPHSET}, {"ligatures", 1, QFT_LIGATURES}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(entries_->Get<QueryFontTree>(INDEX_DrvQueryFontTree)(p, 0, c.face, c.mode, &id), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (c.face == 1) continue;
    SetLastError(0);
    EXPECT_EQ(entries_->Get<QueryFont>(INDEX_DrvQueryFont)(p, 0, c.face, &id), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

// Advance widths and extents on a device font object of the engine.
TEST_F(DevFont, AdvanceWidthsAndExtentsInWholePixels) {
  CreateDcDevmode dm = Devmode(kModelA);
  KP_ENGINE_SESSION* s = Enable(dm);
  ASSERT_NE(s, nullptr);
  DHPDEV p = KpEngineSessionPDEV(s);
  // 12 points at 600 dpi: an em of 100 pixels.
  KP_ENGINE_FONT_INFO fi{nullptr, 0, 100, 0, FALSE, 0, 0};
  FONTOBJ* courier = KpEngineCreateSessionDeviceFont(s, 1, &fi);
  ASSERT_NE(courier, nullptr);
  EXPECT_EQ(courier->flFontType & FO_TYPE_DEVICE, FO_TYPE_DEVICE);
  EXPECT_EQ(FaceOf(FONTOBJ_pifi(courier)), u"Courier");
  auto widths = entries_->Get<QueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths);
  HGLYPH hg[2] = {'A', 'i'};
  USHORT w[2] = {};
  ASSERT_TRUE(widths(p, courier, QAW_GETWIDTHS, hg, w, 2));
  EXPECT_EQ(w[0], 60 * 16);  // 600 units of a 100-pixel em: 60 pixels in 28.4
  EXPECT_EQ(w[1], 60 * 16);
  SetLastError(0);
  EXPECT_FALSE(widths(p, courier, 2, hg, w, 2));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(widths(p, courier, QAW_GETWIDTHS, hg, w, 0));
  EXPECT_FALSE(widths(p, nullptr, QAW_GETWIDTHS, hg, w, 1));
  // A huge font: scale x width passes 32 bits; the width is held at the
  // largest whole pixel 16 bits carry instead of wrapping.
  KP_ENGINE_FONT_INFO hugeInfo{nullptr, 0, 40000, 0, FALSE, 0, 0};
  FONTOBJ* huge = KpEngineCreateSessionDeviceFont(s, 1, &hugeInfo);
  ASSERT_NE(huge, nullptr);
  ASSERT_TRUE(widths(p, huge, QAW_GETWIDTHS, hg, w, 1));
  EXPECT_EQ(w[0], 0xFFF0);
  KpEngineDeleteObject(huge);

  // A string on the device font is laid out with those widths.
  KP_ENGINE_STRING_INFO si{courier, u"AiW", 3, POINTL{100, 200}, 0, FO_HGLYPHS, 0, TRUE, 0};
  STROBJ* str = KpEngineCreateString(&si);
  ASSERT_NE(str, nullptr);
  EXPECT_EQ(str->pgp[0].hg, static_cast<HGLYPH>('A'));
  EXPECT_EQ(str->pgp[1].ptl.x, 160);
  EXPECT_EQ(str->pgp[2].ptl.x, 220);
  EXPECT_EQ(str->pgp[2].ptl.y, 200);
  KpEngineDeleteObject(str);

  // Leadings: Roman 2 points always; Swiss 2 up to 12 points, 3 below 14,
  // 4 from 14; fixed pitch none. The em in pixels = points x 600 / 72.
  struct Case {
    ULONG face;
    LONG points;
    LONG external;  // pixels
  };
  const Case cases[] = {{3, 10, 2 * 600 / 72}, {2, 10, 2 * 600 / 72}, {2, 13, 3 * 600 / 72},
                        {2, 14, 4 * 600 / 72}, {1, 10, 0}};
  auto data = entries_->Get<QueryFontData>(INDEX_DrvQueryFontData);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "face " << c.face << " at " << c.points);
    KP_ENGINE_FONT_INFO f{nullptr, 0, c.points * 600 / 72, 0, FALSE, 0, 0};
    FONTOBJ* font = KpEngineCreateSessionDeviceFont(s, c.face, &f);
    ASSERT_NE(font, nullptr);
    FD_DEVICEMETRICS m{};
    ASSERT_EQ(data(p, font, QFD_MAXEXTENTS, 0, nullptr, &m, sizeof m), 124);
    const IFIMETRICS* ifi = FONTOBJ_pifi(font);
    const LONG em = c.points * 600 / 72;
    LONG internal = c.face == 1 ? 0 : (ifi->rclFontBox.top - ifi->rclFontBox.bottom - 1000) * em / 1000;
    if (internal < 0) internal = 0;
    EXPECT_EQ(m.lNonLinearIntLeading, internal);
    LONG external = c.external - internal;
    EXPECT_EQ(m.lNonLinearExtLeading, c.face == 1 ? 0 : (external < 0 ? 0 : external));
    KpEngineDeleteObject(font);
  }
  GLYPHDATA gd{};
  EXPECT_EQ(data(p, courier, QFD_GLYPHANDBITMAP, 'A', &gd, nullptr, 0), 0);
  EXPECT_EQ(gd.fxD, 60 * 16);
  EXPECT_EQ(data(p, courier, QFD_GLYPHANDOUTLINE, 'A', &gd, nullptr, 0), -1);
  KpEngineDeleteObject(courier);
}

// ---- Hand-made XFM records ------------------------------------------------------------

TEST(DevFontRecords, WidthLookupOverAllTables) {
  XfmBuilder x(0x41, 0x43, {500, -5, 700}, 400, 600, true);
  ASSERT_TRUE(xfm_CheckRecord(x.b.data(), static_cast<DWORD>(x.b.size())));
  XFM_WIDTHINFO info;
  setNrvFontInfo(&info, x.b.data(), static_cast<DWORD>(x.b.size()));
  struct Case {
    DWORD code;
    LONG width;
  };
  const Case cases[] = {
      {0x41, 500}, {0x42, 0}, {0x43, 700},  // direct table, negative counts as 0
      {0x150, 444}, {0x2000, 555},          // pairs (0x150 also lies in the range: pairs first)
      {0x151, 333}, {0x1FF, 333},           // default-width range
      {0x300, 10}, {0x302, 30},             // area
      {0x40, -1}, {0x303, -1}, {0x1FFF, -1},  // misses
  };
  for (const Case& c : cases) EXPECT_EQ(xfm_getCharWidth(&info, c.code), c.width) << std::hex << c.code;
}

TEST(DevFontRecords, WeightZeroAndAverageZeroTakeTheirDefaults) {
  XfmBuilder x(0x41, 0x44, {100, 200, 300, 401}, 0, 0, false);
  WORD widths[256];
  vReadCharWidths(x.b.data(), static_cast<DWORD>(x.b.size()), widths);
  EXPECT_EQ(widths[0x20], 100);  // the default character's (relative 0) width fills the rest
  EXPECT_EQ(widths[0x44], 401);
  std::vector<uint64_t> store(64);
  auto* ifi = reinterpret_cast<IFIMETRICS*>(store.data());
  DWORD cj = cjNrvIFIMETRICS(x.b.data(), static_cast<DWORD>(x.b.size()));
  ASSERT_LE(cj, store.size() * 8);
  vPscriptFill_IFIMETRICS(ifi, cj, x.b.data(), static_cast<DWORD>(x.b.size()), widths);
  EXPECT_EQ(ifi->usWinWeight, 400);
  EXPECT_EQ(ifi->fwdAveCharWidth, 250);  // (100 + 200 + 300 + 401) / 4 rounded
  EXPECT_EQ(ifi->fwdMaxCharInc, 900);
}

TEST(DevFontRecords, MalformedRecordsAreRefused) {
  XfmBuilder good(0x41, 0x43, {500, 600, 700}, 400, 600, true);
  const DWORD size = static_cast<DWORD>(good.b.size());
  ASSERT_TRUE(xfm_CheckRecord(good.b.data(), size));
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    bool wide;
  };
  const Case cases[] = {
      {"face name past the end", 45, size, true},
      {"metrics cut", 59, size - 6 - 10, true},
      {"widths past the end", 63, size - 6 - 2, true},
      {"extended block past the end", 67, size, true},
      {"kerning count past the end", 71, size - 6 - 5, true},  // the count read from "12AB"
      {"font id without its NUL", size - 1, 'x', false},
      {"default character outside the table", 37, 3, false},
      {"last before first", 36, 0x40, false},
  };
  for (const Case& c : cases) {
    XfmBuilder bad = good;
    if (c.wide) bad.Put32(c.at, c.value);
    else bad.b[c.at] = static_cast<BYTE>(c.value);
    EXPECT_FALSE(xfm_CheckRecord(bad.b.data(), size)) << c.name;
  }
  EXPECT_FALSE(xfm_CheckRecord(good.b.data(), 82));
  EXPECT_EQ(HEXStr2DWORD("10DA"), 0x10DAu);
  EXPECT_EQ(HEXStr2DWORD("12x4"), 0x12u);
}

// ---- Scoring -------------------------------------------------------------------------

DEVFONTINFO Candidate(const char16_t* face, BYTE charSet, BYTE pf, WORD weight, BYTE italic) {
  DEVFONTINFO f{};
  size_t n = 0;
  for (; face[n] && n < DEVFONT_FACE_CHARS; ++n) f.faceName[n] = face[n];
  f.charSet = charSet;
  f.pitchAndFamily = pf;
  f.weight = weight;
  f.italic = italic;
  return f;
}

BOOL WINAPI NoWidths(DHPDEV, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG) { return FALSE; }

// The requested font: an engine font object answering a record the test
// fills (ifi_), upright and without simulations unless a test sets them.
class Scoring : public ::testing::Test {
 protected:
  void SetUp() override {
    ifi_.fwdUnitsPerEm = 1000;
    ifi_.usWinWeight = 400;
    set_.cjThis = sizeof set_;
    KP_ENGINE_DEVICE_FONT_INFO info{&ifi_, &set_, 1, 100, 0, FALSE, 0, 0, nullptr, &NoWidths};
    font_ = KpEngineCreateDeviceFont(&info);
    ASSERT_NE(font_, nullptr);
  }
  void TearDown() override {
    KpEngineDeleteObject(font_);
    common_set_Fontset(FONTSET_RYOBI);
  }
  IFIMETRICS ifi_{};
  FD_GLYPHSET set_{};
  FONTOBJ* font_ = nullptr;
};

TEST_F(Scoring, TheHelveticaExampleAndTies) {
  // Before any choice the 15-group set is in force: "Century Schoolbook"
  // falls in the "Century" group by the prefix match.
  DWORD groups = 0;
  aliasTableFuncs(1, &groups);
  EXPECT_EQ(groups, 15u);
  EXPECT_EQ(aliasGroupOf(u"Century Schoolbook"), 12u);
  EXPECT_EQ(common_set_Fontset(3), 0);
  aliasTableFuncs(1, &groups);
  EXPECT_EQ(groups, 15u);
  ASSERT_EQ(common_set_Fontset(FONTSET_PCL), 1);

  ifi_.usWinWeight = 700;
  ifi_.jWinCharSet = 0;
  const DEVFONTINFO c[] = {Candidate(u"Helvetica", 0, 0x21, 400, 0), Candidate(u"Helvetica-Bold", 0, 0x21, 700, 0)};
  BYTE scores[2] = {};
  BYTE best = 0;
  ASSERT_EQ(scoreSameCharsetFonts(&ifi_, 2, c, scores, &best), 1);
  ASSERT_EQ(scoreFaceName(u"Arial", &ifi_, 2, c, scores, &best), 1);
  EXPECT_EQ(scores[0], 18);
  EXPECT_EQ(scores[1], 18);
  ASSERT_EQ(scoreItalicsAndBold(font_, &ifi_, 2, c, scores, &best), 1);
  EXPECT_EQ(scores[0], 16 + 2 + 94);
  EXPECT_EQ(scores[1], 16 + 2 + 97);

  // Scores are one byte: the sum wraps as it always has.
  EXPECT_EQ(scoreIAndB(400, 400, FALSE, FALSE), 97);
  EXPECT_EQ(scoreIAndB(700, 400, FALSE, TRUE), 45 - 3 + 10);
  EXPECT_EQ(scoreIAndB(400, 400, TRUE, FALSE), 40);

  // Through the selection, with the table asked first (no table: scored).
  LPWSTR table = static_cast<LPWSTR>(kcore_Alloc(2));
  DWORD index = 99;
  EXPECT_EQ(common_selectDevFont(&table, font_, u"Arial", nullptr, nullptr, 2, c, &index), SUBST_FOUND);
  EXPECT_EQ(index, 1u);
  // Equal candidates: the first wins.
  const DEVFONTINFO same[] = {Candidate(u"Helvetica", 0, 0x21, 700, 0), Candidate(u"Helvetica", 0, 0x21, 700, 0)};
  EXPECT_EQ(common_selectDevFont(&table, font_, u"Arial", nullptr, nullptr, 2, same, &index), SUBST_FOUND);
  EXPECT_EQ(index, 0u);
  kcore_Free(table);
}

TEST_F(Scoring, NamesCharsetsAndTheTable) {
  common_set_Fontset(FONTSET_RYOBI);
  const DWORD times = aliasGroupOf(u"Times");
  EXPECT_EQ(times, 10u);  // "Times" matches "Times New Roman" by the shorter length
  struct Case {
    const char16_t* candidate;
    const char16_t* requested;
    int score;
  };
  const Case cases[] = {
      {u"Times New Roman", u"Times", 2},
      {u"@ＭＳ 明朝", u"ＭＳ 明朝", 0},  // vertical against upright
      {u"Kestrel Sans", u"kestrel sans", 4},
      {u"Kestrel Sans", u"Other", 1},
      {u"", u"Other", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(scoreNames(c.candidate, c.requested, aliasGroupOf(c.requested)), c.score) << static_cast<int>(&c - cases);
  // Near character sets: ANSI, DEFAULT and SYMBOL are near each other.
  EXPECT_EQ(scoreNearCharset(0, 2), 16);
  EXPECT_EQ(scoreNearCharset(128, 0), 0);
  EXPECT_EQ(scoreNearCharset(128, 128), 16);
  EXPECT_EQ(scoreNearCharset(129, 128), 0);
  // Pitch: bit 0x1 of the font set's byte is variable pitch.
  EXPECT_EQ(scorePAndF(u"x", 0x21, 0x22), 16 + 8);
  EXPECT_EQ(scorePAndF(u"x", 0x30, 0x31), 16 + 8);
  EXPECT_EQ(scorePAndF(u"Arial", 0x30, 0x22), 4);
  EXPECT_EQ(scorePAndF(u"Century", 0x11, 0x22), 16 + 4);

  // The substitution table: exact, case-sensitive names.
  const char16_t tbl[] = u"DejaVu Sans\0Kestrel Sans\0\0";
  auto* table = static_cast<LPWSTR>(kcore_Alloc(sizeof tbl));
  std::memcpy(table, tbl, sizeof tbl);
  const DEVFONTINFO c[] = {Candidate(u"kestrel sans", 0, 0x21, 400, 0), Candidate(u"Kestrel Sans", 0, 0x21, 400, 0)};
  DWORD index = 99;
  EXPECT_EQ(common_selectSubstFont(&table, font_, u"DejaVu Sans", nullptr, nullptr, 2, c, &index), SUBST_FOUND);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(common_selectSubstFont(&table, font_, u"Dejavu Sans", nullptr, nullptr, 2, c, &index), SUBST_NONE);
  EXPECT_EQ(common_selectSubstFont(&table, font_, u"", nullptr, nullptr, 2, c, &index), SUBST_NONE);
  EXPECT_EQ(common_selectSubstFont(nullptr, font_, u"x", nullptr, nullptr, 2, c, &index), SUBST_FAILED);

  // 81 candidates and a failing allocation: out of memory.
  std::vector<DEVFONTINFO> many(81, Candidate(u"Kestrel Sans", 0, 0x21, 400, 0));
  KpEngineFailAllocation(1);
  EXPECT_EQ(common_selectDevFont(&table, font_, u"Other", nullptr, nullptr, 81, many.data(), &index), SUBST_NOMEMORY);
  KpEngineFailAllocation(0);
  EXPECT_EQ(common_selectDevFont(&table, font_, u"Other", nullptr, nullptr, 81, many.data(), &index), SUBST_FOUND);
  kcore_Free(table);
}

}  // namespace

namespace {

const WCRUN* RunOf(const FD_GLYPHSET* set, WCHAR wc, HGLYPH* hg) {
  for (ULONG r = 0; r < set->cRuns; ++r) {
    const WCRUN& run = set->awcrun[r];
    if (wc >= run.wcLow && wc < run.wcLow + run.cGlyphs) {
      *hg = run.phg[wc - run.wcLow];
      return &run;
    }
  }
  return nullptr;
}

}  // namespace

// A Shift-JIS font (character set 128): the code page's glyph set, halved
// widths without a table, default 165 and break 32, DBCS fixed pitch.
TEST(DevFontShiftJis, GlyphSetWidthsAndSpecialCharacters) {
  ASSERT_TRUE(EnableDriverDeviceFonts());
  kestrel::test::km::HandPdev pdev({XfmBuilder(0x20, 0xDF, {}, 400, 500, false, SHIFTJIS_CHARSET, 0x30),
                                    XfmBuilder(0x20, 0x7E, {}, 400, 500, false)});
  ASSERT_EQ(pdev.get()->cDeviceFonts, 2u);
  NTFM* sj = pdev.get()->deviceFonts->exposed[0];
  EXPECT_EQ(sj->widths[0x41], 450);  // the maximum width 900, halved
  EXPECT_EQ(pdev.get()->deviceFonts->exposed[1]->widths[0x41], 900);
  const IFIMETRICS* ifi = NTFM_Ifi(sj);
  EXPECT_EQ(ifi->chDefaultChar, 165);
  EXPECT_EQ(ifi->wcDefaultChar, 0xFF65);
  EXPECT_EQ(ifi->chBreakChar, 32);
  EXPECT_EQ(ifi->wcBreakChar, 32);
  EXPECT_EQ(ifi->wcFirstChar, 0);
  EXPECT_EQ(ifi->wcLastChar, 65509);
  EXPECT_EQ(ifi->flInfo, 0x82010u | FM_INFO_CONSTANT_WIDTH | FM_INFO_DBCS_FIXED_PITCH);

  const FD_GLYPHSET* set = GetNRVGlyphSet(pdev.get(), 1);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->flAccel, GS_16BIT_HANDLES);
  EXPECT_GT(set->cGlyphsSupported, 7000u);
  struct Case {
    WCHAR wc;
    HGLYPH code;
  };
  const Case cases[] = {{u'A', 0x41}, {0x3042, 0x82A0}, {0xFF71, 0xB1}, {0x4E9C, 0x889F}, {0x30FB, 0x8145}};
  for (const Case& c : cases) {
    HGLYPH hg = 0;
    ASSERT_NE(RunOf(set, c.wc, &hg), nullptr) << std::hex << static_cast<unsigned>(c.wc);
    EXPECT_EQ(hg, c.code) << std::hex << static_cast<unsigned>(c.wc);
  }
  EXPECT_EQ(GetNRVGlyphSet(pdev.get(), 1), set);  // built once, then kept
  const FD_GLYPHSET* ansi = GetNRVGlyphSet(pdev.get(), 2);
  ASSERT_NE(ansi, nullptr);
  EXPECT_EQ(ansi->flAccel, GS_8BIT_HANDLES);
  SetLastError(0);
  EXPECT_EQ(GetNRVGlyphSet(pdev.get(), 3), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
