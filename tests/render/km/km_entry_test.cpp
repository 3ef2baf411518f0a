// kestrelkm loaded by the engine stand-in as the engine loads it: the entry
// table, a PDEV and its surface for both models with what they report
// (GDIINFO, DEVINFO), the devmodes DrvEnablePDEV refuses, the reset's
// flags, the document calls' PDEV checks, the entries
// that refuse until their work exists, and the trace lines.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool_printer.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "renderer_fixture.h"
#include "kestrel/render/pdev.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::EntryTable;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::kTagHeap;
using kestrel::test::km::kTagPlain;
using kestrel::test::km::Model;
using kestrel::test::km::RoundDiv;

constexpr ULONG kAllIndices[] = {
    INDEX_DrvEnablePDEV,  INDEX_DrvResetPDEV,         INDEX_DrvCompletePDEV,  INDEX_DrvDisablePDEV,
    INDEX_DrvEnableSurface, INDEX_DrvDisableSurface,  INDEX_DrvBitBlt,        INDEX_DrvStretchBlt,
    INDEX_DrvCopyBits,    INDEX_DrvTextOut,           INDEX_DrvQueryFont,     INDEX_DrvQueryFontTree,
    INDEX_DrvQueryFontData, INDEX_DrvQueryAdvanceWidths, INDEX_DrvSendPage,   INDEX_DrvStrokePath,
    INDEX_DrvFillPath,    INDEX_DrvStrokeAndFillPath, INDEX_DrvRealizeBrush,  INDEX_DrvStartPage,
    INDEX_DrvStartDoc,    INDEX_DrvEscape,            INDEX_DrvEndDoc,        INDEX_DrvGetGlyphMode};

PDEV* PdevOf(KP_ENGINE_SESSION* s) { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(s)); }

class KmEntry : public KmTest {
 protected:
  size_t Blocks() { return KpEngineBlockCount(kTagPlain) + KpEngineBlockCount(kTagHeap); }
};

// ---- DrvEnableDriver ------------------------------------------------------------------

TEST_F(KmEntry, EnableDriverChecksTheEngineVersionAndTheBufferSize) {
  struct Case {
    const char* name;
    ULONG version;
    ULONG size;
    bool ok;
  };
  const Case cases[] = {
      {"version one below 0x20000", 0x1FFFF, sizeof(DRVENABLEDATA), false},
      {"buffer one byte short", 0x20000, sizeof(DRVENABLEDATA) - 1, false},
      {"the 32-bit size (12 bytes) is too small here", 0x20000, 12, false},
      {"exactly the record at the lowest version", 0x20000, sizeof(DRVENABLEDATA), true},
      {"the engine's own version", KP_ENGINE_VERSION, sizeof(DRVENABLEDATA), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    KP_ENGINE_DRIVER* d = KpEngineLoadDriverEx(u"kestrelkm", c.version, c.size);
    if (!c.ok) {
      EXPECT_EQ(d, nullptr);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_DRIVER_LEVEL));
      continue;
    }
    ASSERT_NE(d, nullptr);
    drivers_.push_back(d);
    EXPECT_EQ(KpEngineDriverVersion(d), 0x20000u);
    EXPECT_EQ(KpEngineDriverEntryCount(d), 24u);
    for (ULONG index : kAllIndices) EXPECT_TRUE(KpEngineDriverHasEntry(d, index)) << "index " << index;
    EXPECT_FALSE(KpEngineDriverHasEntry(d, INDEX_DrvDisableDriver));
  }
}

// ---- A PDEV for each model -----------------------------------------------------------

struct Expect {
  const char* name;
  const Model* model;
  LONG color;     // the model's default dmColor (DDM 15): 2 colour, 1 monochrome
  LONG item464;   // devmode item 464
  ULONG bitsPixel;
  ULONG numColors;
  ULONG htOutputFormat;
};

class KmModels : public KmEntry, public ::testing::WithParamInterface<Expect> {};

// At 600 dpi on A4 (2100 x 2970 with 4.2 mm margins: printable 2016 x 2886,
// in 0.1 mm), every field of GDIINFO, the DEVINFO caps and the surface.
TEST_P(KmModels, EnableReportsTheDeviceAndDisableFreesEverything) {
  const Expect& e = GetParam();
  HANDLE printer = Printer(*e.model);
  ASSERT_NE(printer, nullptr);
  CreateDcDevmode dm = Devmode(*e.model);
  ASSERT_TRUE(dm.Set(20, 600));
  ASSERT_TRUE(dm.Set(21, 600));
  ASSERT_EQ(dm.Get(15), e.color) << "the model's default dmColor";
  ASSERT_TRUE(dm.Set(464, e.item464));
  ASSERT_EQ(dm.Get(8), 9) << "the model's default paper is A4";
  const size_t blocks = Blocks();
  const size_t modules = KpEngineObjectCount(KP_ENGINE_MODULES);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);

  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr) << "error " << GetLastError();
  ASSERT_TRUE(KpEngineEnableSurface(s));
  const GDIINFO& g = *KpEngineSessionGdiInfo(s);
  const DEVINFO& i = *KpEngineSessionDevInfo(s);

  const LONG px = 2100, py = 2970, sx = 2016, sy = 2886, ox = 42, oy = 42;
  EXPECT_EQ(g.ulVersion, 0x400u);
  EXPECT_EQ(g.ulTechnology, 2u);
  EXPECT_EQ(g.ulHorzSize, 202u);  // 201.6 mm
  EXPECT_EQ(g.ulVertSize, 289u);  // 288.6 mm
  EXPECT_EQ(g.ulHorzRes, static_cast<ULONG>(RoundDiv(sx, 600, 254)));
  EXPECT_EQ(g.ulVertRes, static_cast<ULONG>(RoundDiv(sy, 600, 254)));
  EXPECT_EQ(g.ulHorzRes, 4762u);
  EXPECT_EQ(g.ulVertRes, 6817u);
  EXPECT_EQ(g.cBitsPixel, e.bitsPixel);
  EXPECT_EQ(g.cPlanes, 1u);
  EXPECT_EQ(g.ulNumColors, e.numColors);
  EXPECT_EQ(g.flRaster, 0u);
  EXPECT_EQ(g.ulLogPixelsX, 600u);
  EXPECT_EQ(g.ulLogPixelsY, 600u);
  EXPECT_EQ(g.flTextCaps, 0x19F7u);
  EXPECT_EQ(g.ulDACRed + g.ulDACGreen + g.ulDACBlue, 0u);
  EXPECT_EQ(g.ulAspectX, 600u);
  EXPECT_EQ(g.ulAspectY, 600u);
  EXPECT_EQ(g.ulAspectXY, 848u);
  EXPECT_EQ(g.xStyleStep, 1);
  EXPECT_EQ(g.yStyleStep, 1);
  EXPECT_EQ(g.denStyleStep, 24);
  EXPECT_EQ(g.ptlPhysOffset.x, RoundDiv(ox, 600, 254));
  EXPECT_EQ(g.ptlPhysOffset.y, RoundDiv(oy, 600, 254));
  EXPECT_EQ(g.szlPhysSize.cx, RoundDiv(px, 600, 254));
  EXPECT_EQ(g.szlPhysSize.cy, RoundDiv(py, 600, 254));
  EXPECT_EQ(g.ulNumPalReg, 0u);
  EXPECT_EQ(g.ciDevice.AlignmentWhite.x, 3127);
  EXPECT_EQ(g.ciDevice.AlignmentWhite.y, 3290);
  EXPECT_EQ(g.ciDevice.RedGamma, 22000);
  EXPECT_EQ(g.ulDevicePelsDPI, 0u);
  EXPECT_EQ(g.ulPrimaryOrder, 0u);
  EXPECT_EQ(g.ulHTPatternSize, 7u);
  EXPECT_EQ(g.ulHTOutputFormat, e.htOutputFormat);
  EXPECT_EQ(g.flHTFlags, 2u);
  EXPECT_EQ(g.ulVRefresh + g.ulDesktopHorzRes + g.ulDesktopVertRes + g.ulBltAlignment, 0u);

  EXPECT_EQ(i.flGraphicsCaps & 0x11Fu, 0x11Fu);
  EXPECT_EQ(i.flGraphicsCaps & ~0x211Fu, 0u);
  // The exposed device fonts, one a family (the bold faces stay in the
  // font set): Courier, Helvetica, Times Roman (model A), Courier and
  // Helvetica (model B).
  EXPECT_EQ(i.cFonts, e.model == &kModelA ? 3u : 2u);
  EXPECT_EQ(i.iDitherFormat, static_cast<ULONG>(BMF_24BPP));
  EXPECT_EQ(i.cxDither, 0);
  EXPECT_EQ(i.cyDither, 0);
  EXPECT_NE(i.hpalDefault, nullptr);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), 1u);

  // The surface is the printable area in pixels, device-managed, 24 bits,
  // hooking the seven drawing calls.
  SURFOBJ* pso = KpEngineSessionSurface(s);
  ASSERT_NE(pso, nullptr);
  KP_ENGINE_SURFACE_INFO info{};
  ASSERT_TRUE(KpEngineQuerySurface(pso->hsurf, &info));
  EXPECT_EQ(info.size.cx, static_cast<LONG>(g.ulHorzRes));
  EXPECT_EQ(info.size.cy, static_cast<LONG>(g.ulVertRes));
  EXPECT_EQ(info.format, static_cast<ULONG>(BMF_24BPP));
  EXPECT_EQ(info.hooks, 0x4EBu);
  EXPECT_EQ(info.dhpdev, KpEngineSessionPDEV(s));

  // The PDEV's devmode is the 1556-byte form with a zero non-devmode part.
  const PDEV* pdev = PdevOf(s);
  WORD extra;
  std::memcpy(&extra, pdev->devmode + 70, 2);
  EXPECT_EQ(extra, 1336);
  EXPECT_EQ(std::vector<BYTE>(pdev->devmode + 1556, pdev->devmode + 5440), std::vector<BYTE>(3884, 0));

  EXPECT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(Blocks(), blocks);
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), 0u);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_SURFACES), 0u);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), modules);
}

// Model B's description data offers black and white only (DDM 270, 345),
// so its defaults carry dmColor 1 and the PDEV reports 1 bit per pixel.
INSTANTIATE_TEST_SUITE_P(BothModels, KmModels,
                         ::testing::Values(Expect{"K350_full_colour", &kModelA, 2, 1, 24, 0xFFFFFF, 2},
                                           Expect{"K350_16_colours", &kModelA, 2, 0, 24, 16, 2},
                                           Expect{"K260_monochrome", &kModelB, 1, 0, 1, 2, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The "done when": a PDEV's GDIINFO, DEVINFO and surface for both
// models, printed through the engine stand-in.
TEST_F(KmEntry, PrintsWhatEachModelReports) {
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  for (const Model* m : {&kModelA, &kModelB}) {
    HANDLE printer = Printer(*m);
    ASSERT_NE(printer, nullptr);
    CreateDcDevmode dm = Devmode(*m);
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(KpEngineEnableSurface(s));
    const GDIINFO& g = *KpEngineSessionGdiInfo(s);
    const DEVINFO& i = *KpEngineSessionDevInfo(s);
    KP_ENGINE_SURFACE_INFO info{};
    ASSERT_TRUE(KpEngineQuerySurface(KpEngineSessionSurface(s)->hsurf, &info));
    std::printf("%s GDIINFO: version 0x%X technology %u size %ux%u mm res %ux%u bits %u planes %u colours %u\n",
                m->file, g.ulVersion, g.ulTechnology, g.ulHorzSize, g.ulVertSize, g.ulHorzRes, g.ulVertRes,
                g.cBitsPixel, g.cPlanes, g.ulNumColors);
    std::printf("  logpixels %ux%u textcaps 0x%X aspect %u/%u/%u style %d/%d/%d offset %d,%d phys %dx%d\n",
                g.ulLogPixelsX, g.ulLogPixelsY, g.flTextCaps, g.ulAspectX, g.ulAspectY, g.ulAspectXY, g.xStyleStep,
                g.yStyleStep, g.denStyleStep, g.ptlPhysOffset.x, g.ptlPhysOffset.y, g.szlPhysSize.cx,
                g.szlPhysSize.cy);
    std::printf("  halftone pattern %u format %u flags %u pels %u white %d/%d\n", g.ulHTPatternSize,
                g.ulHTOutputFormat, g.flHTFlags, g.ulDevicePelsDPI, g.ciDevice.AlignmentWhite.x,
                g.ciDevice.AlignmentWhite.y);
    std::printf("%s DEVINFO: caps 0x%X fonts %u dither format %u palette %s\n", m->file, i.flGraphicsCaps,
                i.cFonts, i.iDitherFormat, i.hpalDefault ? "yes" : "no");
    std::printf("%s surface: %dx%d pixels, format %u, hooks 0x%X\n", m->file, info.size.cx, info.size.cy,
                info.format, info.hooks);
    EXPECT_GT(info.size.cx, 0);
    EXPECT_TRUE(KpEngineDisablePDEV(s));
  }
}

// ---- What DrvEnablePDEV refuses ----------------------------------------------------

TEST_F(KmEntry, EnableAcceptsOnlyTheCreateDcDevmodeAndSaneValues) {
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  struct Case {
    const char* name;
    void (*change)(CreateDcDevmode&);
    bool null;
    bool ok;
  };
  const Case cases[] = {
      {"the CreateDC devmode", [](CreateDcDevmode&) {}, false, true},
      {"no devmode", [](CreateDcDevmode&) {}, true, false},
      {"the 1556-byte form", [](CreateDcDevmode& m) { m.SetWord(70, 1336); }, false, false},
      {"the 5440-byte form", [](CreateDcDevmode& m) { m.SetWord(70, 5220); }, false, false},
      {"5464 bytes without the marker", [](CreateDcDevmode& m) { m.SetWord(5440, 23); }, false, false},
      {"a scale of 0", [](CreateDcDevmode& m) { m.Set(11, 0); }, false, false},
      {"a negative scale", [](CreateDcDevmode& m) { m.Set(11, -100); }, false, false},
      {"a zero custom width",
       [](CreateDcDevmode& m) {
         m.Set(6, (m.Get(6) & ~0x10002L) | 0xC);  // no form name or paper size: the custom size rule
         m.Set(10, 0);
         m.Set(9, 2970);
       },
       false, false},
      {"a negative custom length",
       [](CreateDcDevmode& m) {
         m.Set(6, (m.Get(6) & ~0x10002L) | 0xC);
         m.Set(10, 2100);
         m.Set(9, -5);
       },
       false, false},
  };
  const size_t blocks = Blocks();
  const size_t modules = KpEngineObjectCount(KP_ENGINE_MODULES);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CreateDcDevmode dm = Devmode(kModelA);
    c.change(dm);
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, c.null ? nullptr : dm.data());
    EXPECT_EQ(s != nullptr, c.ok);
    if (s) {
      EXPECT_TRUE(KpEngineDisablePDEV(s));
    }
    EXPECT_EQ(Blocks(), blocks);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), modules);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), 0u);
  }
}

// The queue's stored settings damaged (a chunk cut short, a chunk missing):
// the PDEV still comes, with the model's defaults, and the trace log says
// why; the queue prints until its settings are saved again.
TEST_F(KmEntry, ADamagedStoredRecordStillGivesAPdev) {
  WriteConfig("[LOG]\r\nLog=0x00000003\r\n");
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  std::u16string name = kModelA.printer;
  HANDLE spooler = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &spooler, nullptr));
  auto put = [&](const char16_t* value, DWORD type, const void* data, DWORD size) {
    std::u16string n = value;
    ASSERT_EQ(SetPrinterDataW(spooler, n.data(), type, static_cast<LPBYTE>(const_cast<void*>(data)), size),
              static_cast<DWORD>(ERROR_SUCCESS));
  };
  const std::vector<BYTE> chunk(768, 0);
  const DWORD size = 4736;  // seven chunks
  struct Case {
    const char* what;
    DWORD chunks;     // chunks written in full
    DWORD lastBytes;  // then one chunk of this many bytes (0: none)
  } const cases[] = {{"the second chunk cut short", 1, 700}, {"the last chunk missing", 6, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (DWORD i = 1; i <= 7; ++i) {
      std::u16string n = u"PrinterData" + std::u16string(1, static_cast<char16_t>(u'0' + i));
      DeletePrinterDataW(spooler, n.data());
    }
    put(u"PrinterDataSize", REG_DWORD, &size, sizeof size);
    for (DWORD i = 1; i <= c.chunks; ++i) {
      std::u16string n = u"PrinterData" + std::u16string(1, static_cast<char16_t>(u'0' + i));
      put(reinterpret_cast<const char16_t*>(n.c_str()), REG_BINARY, chunk.data(), 768);
    }
    if (c.lastBytes) {
      std::u16string n = u"PrinterData" + std::u16string(1, static_cast<char16_t>(u'0' + c.chunks + 1));
      put(reinterpret_cast<const char16_t*>(n.c_str()), REG_BINARY, chunk.data(), c.lastBytes);
    }
    KpEngineClearDebugOutput();
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(KpEngineDisablePDEV(s));
    EXPECT_NE(DebugOutput().find("the stored printer data cannot be used"), std::string::npos);
  }
  ClosePrinter(spooler);
}

// Memory running out at each allocation of DrvEnablePDEV in turn: every
// failure gives no PDEV and leaves no block, module or palette behind; once
// every allocation is granted the PDEV comes.
TEST_F(KmEntry, EveryFailedAllocationLeavesNothingBehind) {
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  const size_t blocks = Blocks();
  const size_t modules = KpEngineObjectCount(KP_ENGINE_MODULES);
  DWORD failures = 0;
  for (DWORD nth = 1; nth < 2000; ++nth) {
    KpEngineFailAllocation(nth);
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
    KpEngineFailAllocation(0);
    if (s) {
      EXPECT_TRUE(KpEngineDisablePDEV(s));
      EXPECT_EQ(Blocks(), blocks);
      break;
    }
    ++failures;
    ASSERT_EQ(Blocks(), blocks) << "allocation " << nth;
    ASSERT_EQ(KpEngineObjectCount(KP_ENGINE_MODULES), modules) << "allocation " << nth;
    ASSERT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), 0u) << "allocation " << nth;
  }
  EXPECT_GT(failures, 2u);
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
}

// A print quality of 0 or less means 600 dpi; the logical resolution takes
// the scale.
TEST_F(KmEntry, QualityLevelsMean600DpiAndTheScaleSetsTheLogicalResolution) {
  HANDLE printer = Printer(kModelB);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  struct Case {
    LONG quality;
    LONG scale;
    ULONG aspect;
    ULONG logPixels;
  };
  for (const Case& c : {Case{0, 100, 600, 600}, Case{-4, 100, 600, 600}, Case{600, 50, 600, 300},
                        Case{1200, 100, 1200, 1200}}) {
    SCOPED_TRACE(testing::Message() << "quality " << c.quality << " scale " << c.scale);
    CreateDcDevmode dm = Devmode(kModelB);
    ASSERT_TRUE(dm.Set(20, c.quality));
    ASSERT_TRUE(dm.Set(11, c.scale));
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
    ASSERT_NE(s, nullptr);
    const GDIINFO& g = *KpEngineSessionGdiInfo(s);
    EXPECT_EQ(g.ulAspectX, c.aspect);
    EXPECT_EQ(g.ulLogPixelsX, c.logPixels);
    EXPECT_EQ(g.ulHorzRes, static_cast<ULONG>(RoundDiv(2016, static_cast<LONG>(c.aspect), 254)));
    EXPECT_EQ(g.ulHorzSize, static_cast<ULONG>(RoundDiv(2016, 10, c.scale)));
    EXPECT_TRUE(KpEngineDisablePDEV(s));
  }
}

// ---- DrvResetPDEV ------------------------------------------------------------------

// The new PDEV takes the old one's carried bits with the output-failed bit,
// and the escape blocks move to it: the old PDEV's disable frees none of
// them, the new one's frees each once.
TEST_F(KmEntry, ResetCarriesTheFlagsAndMovesTheEscapeBlocks) {
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  const size_t blocks = Blocks();
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));

  PDEV* old = PdevOf(s);
  // A document was started on the old PDEV, its output failed, and the
  // escapes stored their blocks.
  const DWORD oldFlags = PDEV_DOC_STARTED | PDEV_OUTPUT_FAILED | 0x100 | 0x10000 | 0x80000 | 0x1000000 | 0x4000;
  old->ddiFlags = oldFlags;
  old->colorServerBlock = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 2112, kTagPlain));
  old->headerFooter = static_cast<PDEV_HEADERFOOTER*>(EngAllocMem(FL_ZERO_MEMORY, sizeof(PDEV_HEADERFOOTER), kTagPlain));
  old->headerFooter->blocks[2] = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 522, kTagPlain));
  old->securityMarking[PDEV_GSB_DATA] = {static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 40, kTagPlain)), 40};
  old->stampMode = 1;
  const BYTE* colorServer = old->colorServerBlock;
  const PDEV_HEADERFOOTER* headerFooter = old->headerFooter;

  CreateDcDevmode next = Devmode(kModelA);
  ASSERT_TRUE(next.Set(7, 2));  // the application turned the page
  ASSERT_TRUE(KpEngineResetPDEV(s, next.data()));
  PDEV* now = PdevOf(s);
  ASSERT_NE(now, old);
  EXPECT_EQ(now->ddiFlags, PDEV_RESET_NO_JOB | (oldFlags & 0x1094104) | PDEV_OUTPUT_FAILED);
  EXPECT_EQ(now->colorServerBlock, colorServer);
  EXPECT_EQ(now->headerFooter, headerFooter);
  EXPECT_EQ(now->securityMarking[PDEV_GSB_DATA].size, 40u);
  EXPECT_EQ(now->stampMode, 1u);
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);

  EXPECT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(Blocks(), blocks);
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
}

// Between documents (nothing started) nothing of the job moves; the new
// PDEV's non-devmode part comes from the old devmode.
TEST_F(KmEntry, ResetWithoutADocumentTakesOnlyTheNonDevmodePart) {
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  const size_t blocks = Blocks();
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  PDEV* old = PdevOf(s);
  old->devmode[1556] = 0x5A;
  old->devmode[5439] = 0xA5;
  old->colorServerBlock = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 2112, kTagPlain));
  old->stampMode = 1;
  ASSERT_TRUE(KpEngineResetPDEV(s, dm.data()));
  PDEV* now = PdevOf(s);
  EXPECT_EQ(now->devmode[1556], 0x5A);
  EXPECT_EQ(now->devmode[5439], 0xA5);
  EXPECT_EQ(now->colorServerBlock, nullptr);  // freed with the old PDEV
  EXPECT_EQ(now->stampMode, 0u);
  EXPECT_EQ(now->ddiFlags, PDEV_RESET_NO_JOB);
  EXPECT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(Blocks(), blocks);
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
}

// ---- The document calls and the entries later work builds --------------------------

TEST_F(KmEntry, DocumentCallsRefuseASurfaceWithoutAValidPdev) {
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  EntryTable table;
  ASSERT_TRUE(table.ok());
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  SURFOBJ* pso = KpEngineSessionSurface(s);
  SURFOBJ bad = *pso;
  bad.dhpdev = reinterpret_cast<DHPDEV>(&bad);
  auto startDoc = table.Get<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
  auto startPage = table.Get<PFN_DrvStartPage>(INDEX_DrvStartPage);
  auto sendPage = table.Get<PFN_DrvSendPage>(INDEX_DrvSendPage);
  auto endDoc = table.Get<PFN_DrvEndDoc>(INDEX_DrvEndDoc);
  for (SURFOBJ* surface : {&bad, static_cast<SURFOBJ*>(nullptr)}) {
    SetLastError(0);
    EXPECT_FALSE(startDoc(surface, nullptr, 1));
    EXPECT_FALSE(startPage(surface));
    EXPECT_FALSE(sendPage(surface));
    EXPECT_FALSE(endDoc(surface, 0));
    EXPECT_EQ(GetLastError(), surface ? static_cast<DWORD>(ERROR_INVALID_PARAMETER) : 0u);
  }
  // Ending a page of a document that was never started fails: no job.
  EXPECT_FALSE(sendPage(pso));
  EXPECT_TRUE(KpEngineDisablePDEV(s));
}

TEST_F(KmEntry, DrawingAndFontEntriesRefuseCleanlyAndEscapesAnswer) {
  HANDLE printer = Printer(kModelB);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelB);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  EntryTable table;
  ASSERT_TRUE(table.ok());
  SURFOBJ* pso = KpEngineSessionSurface(s);
  SURFOBJ bad = *pso;
  bad.dhpdev = reinterpret_cast<DHPDEV>(&bad);
  DHPDEV pdev = KpEngineSessionPDEV(s);

  using BitBlt = BOOL(WINAPI*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                               POINTL*, ULONG);
  using CopyBits = BOOL(WINAPI*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
  using FillPath = BOOL(WINAPI*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, ULONG, FLONG);
  using QueryFont = void*(WINAPI*)(DHPDEV, ULONG_PTR, ULONG, ULONG_PTR*);
  using QueryFontData = LONG(WINAPI*)(DHPDEV, FONTOBJ*, ULONG, HGLYPH, void*, PVOID, ULONG);
  using GlyphMode = ULONG(WINAPI*)(DHPDEV, FONTOBJ*);
  using Escape = ULONG(WINAPI*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);

  struct Case {
    const char* name;
    ULONG_PTR (*call)(const EntryTable&, SURFOBJ*, DHPDEV);
    ULONG_PTR result;
    DWORD error;
  };
  const Case cases[] = {
      {"BitBlt", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         RECTL r{0, 0, 10, 10};
         return t.Get<BitBlt>(INDEX_DrvBitBlt)(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr,
                                                nullptr, 0xCCCC);
       }, FALSE, ERROR_WRITE_FAULT},  // outside a document: the output fails
      {"CopyBits", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         RECTL r{0, 0, 10, 10};
         return t.Get<CopyBits>(INDEX_DrvCopyBits)(so, nullptr, nullptr, nullptr, &r, nullptr);
       }, FALSE, ERROR_INVALID_PARAMETER},  // no source
      {"FillPath", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         return t.Get<FillPath>(INDEX_DrvFillPath)(so, nullptr, nullptr, nullptr, nullptr, 0x0D0D, 0);
       }, FALSE, ERROR_INVALID_PARAMETER},  // no path
      {"QueryFont", [](const EntryTable& t, SURFOBJ*, DHPDEV p) -> ULONG_PTR {
         ULONG_PTR id = 0;
         return reinterpret_cast<ULONG_PTR>(t.Get<QueryFont>(INDEX_DrvQueryFont)(p, 0, 0, &id));
       }, 0, ERROR_INVALID_PARAMETER},  // face 0

      {"QueryFontData", [](const EntryTable& t, SURFOBJ*, DHPDEV p) -> ULONG_PTR {
         return static_cast<ULONG>(t.Get<QueryFontData>(INDEX_DrvQueryFontData)(p, nullptr, 1, 0, nullptr, nullptr, 0));
       }, 0xFFFFFFFFu, ERROR_INVALID_PARAMETER},  // no font
      {"GetGlyphMode answers bitmaps", [](const EntryTable& t, SURFOBJ*, DHPDEV p) -> ULONG_PTR {
         return t.Get<GlyphMode>(INDEX_DrvGetGlyphMode)(p, nullptr);
       }, 1, 0},
      {"QUERYESCSUPPORT of GETTECHNOLOGY", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         WORD code = 20;
         return t.Get<Escape>(INDEX_DrvEscape)(so, 8, sizeof code, &code, 0, nullptr);
       }, 4209, 0},
      {"QUERYESCSUPPORT without input", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         return t.Get<Escape>(INDEX_DrvEscape)(so, 8, 0, nullptr, 0, nullptr);
       }, 0xFFFFFFFFu, 0},
      {"a private escape", [](const EntryTable& t, SURFOBJ* so, DHPDEV) -> ULONG_PTR {
         BYTE out[5440];
         return t.Get<Escape>(INDEX_DrvEscape)(so, 0x5002, 0, nullptr, sizeof out, out);
       }, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(c.call(table, pso, pdev), c.result);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // An invalid PDEV: error 87 from every entry that takes one (the query of
  // QUERYESCSUPPORT does not look at the PDEV).
  SetLastError(0);
  EXPECT_EQ(cases[0].call(table, &bad, nullptr), static_cast<ULONG_PTR>(FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(cases[3].call(table, nullptr, reinterpret_cast<DHPDEV>(&bad)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(cases[6].call(table, &bad, nullptr), 4209u);
  SetLastError(0);
  EXPECT_EQ(cases[8].call(table, &bad, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(KpEngineDisablePDEV(s));
}

// ---- Trace lines -------------------------------------------------------------------

TEST_F(KmEntry, EntryAndExitLinesWhenTracingIsOn) {
  WriteConfig("[LOG]\r\nLog=0x00000003\r\n");
  HANDLE printer = Printer(kModelA);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  EXPECT_TRUE(KpEngineStartDoc(s, u"%s%n%x", 1));
  EXPECT_TRUE(KpEngineDisablePDEV(s));
  std::string out = DebugOutput();
  for (const std::string& line :
       {std::string("OUT>>DrvEnablePDEV RetValue = 0x"), std::string("IN <<DrvCompletePDEV\nOUT>>DrvCompletePDEV\n\n"),
        std::string("IN <<DrvEnableSurface\nOUT>>DrvEnableSurface RetValue = 0x"),
        std::string("IN <<DrvStartDoc\nOUT>>DrvStartDoc RetValue = 1\n\n"),
        std::string("IN <<DrvDisableSurface\nOUT>>DrvDisableSurface\n\n"),
        std::string("IN <<DrvDisablePDEV\nOUT>>DrvDisablePDEV RetValue\n\n")})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;

  // With the switch off (a new root without kestrel.cfg) nothing is written.
  KpEngineClearDebugOutput();
  std::remove(root_.host(std::string(kestrel::test::kDriverDir) + "kestrel.cfg").c_str());
  s = KpEngineEnablePDEV(d, printer, dm.data());
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(DebugOutput().find("DrvDisablePDEV"), std::string::npos);
}

}  // namespace
