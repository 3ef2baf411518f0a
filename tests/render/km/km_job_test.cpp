// Job control, the page steps and the PDL control layer of kestrelkm: whole
// documents through the engine runner, decoded into their in-band commands
// and PCL XL operators and compared with the order the renderer must keep;
// the records they carry; aborts and write faults; the lazy page start of
// the drawing entries; and the PDL control layer's page-store machine on a
// PDEV of its own.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "jobctrl.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/pdev.h"
#include "kestrel/render/xl_inband.h"
#include "kplatform/byte_order.h"
#include "kestrel/render/xl_outbuf.h"
#include "pageflow.h"
#include "pclxl_checker.h"
#include "pdl_ctrl.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::DecodeStream;
using kestrel::test::km::EntryTable;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::Model;
using kestrel::test::km::kTagHeap;
using kestrel::test::km::kTagPlain;

size_t Blocks() { return KpEngineBlockCount(kTagPlain) + KpEngineBlockCount(kTagHeap); }

using FillPathFn = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, ULONG, FLONG);
using TextOutFn = BOOL (*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, ULONG);

// A string of no glyphs on DejaVu Sans and a black brush: a text call that
// draws nothing.
struct EmptyText {
  FONTOBJ* font = nullptr;
  STROBJ* str = nullptr;
  BRUSHOBJ black{};
  EmptyText() {
    KP_ENGINE_FONT_INFO fi{};
    fi.file = "DejaVuSans.ttf";
    fi.emPixels = 100;
    font = KpEngineCreateTrueTypeFont(&fi);
    KP_ENGINE_STRING_INFO si{};
    si.font = font;
    si.withPositions = TRUE;
    str = font ? KpEngineCreateString(&si) : nullptr;
  }
  ~EmptyText() {
    if (str) KpEngineDeleteObject(str);
    if (font) KpEngineDeleteObject(font);
  }
  bool ok() const { return str != nullptr; }
  BOOL Draw(TextOutFn textOut, SURFOBJ* pso) {
    return textOut(pso, str, font, nullptr, nullptr, nullptr, &black, nullptr, nullptr, 0x0D0D);
  }
};

PDEV* PdevOf(KP_ENGINE_SESSION* s) { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(s)); }

using Item = kestrel::test::km::StreamItem;

const char* OperatorName(BYTE op) {
  switch (op) {
    case 0x41: return "BeginSession";
    case 0x42: return "EndSession";
    case 0x43: return "BeginPage";
    case 0x44: return "EndPage";
    case 0x47: return "Comment";
    case 0x48: return "OpenDataSource";
    case 0x49: return "CloseDataSource";
    case 0x69: return "SetClipToPage";
    default: return nullptr;
  }
}

// "128 130 ... BeginSession ... 145:1": commands by code (time stamps with
// their code), operators by name.
std::string Listing(const std::vector<Item>& items) {
  std::string out;
  for (const Item& i : items) {
    if (!out.empty()) out += ' ';
    if (i.inband) {
      out += std::to_string(i.code);
      if (i.code == XL_IC_TIMEOUT && i.payload.size() == 1) out += ":" + std::to_string(i.payload[0]);
    } else if (const char* name = OperatorName(i.code)) {
      out += name;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "op%02X", i.code);
      out += hex;
    }
  }
  return out;
}

std::vector<BYTE> Output(HANDLE printer) {
  std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  return bytes;
}

std::vector<const Item*> Commands(const std::vector<Item>& items, BYTE code) {
  std::vector<const Item*> found;
  for (const Item& i : items)
    if (i.inband && i.code == code) found.push_back(&i);
  return found;
}

class KmJob : public KmTest {
 protected:
  struct Doc {
    KP_ENGINE_DRIVER* driver = nullptr;
    HANDLE printer = nullptr;
    KP_ENGINE_SESSION* session = nullptr;
    CreateDcDevmode dm;
  };

  // The model's printer and driver and its default CreateDC devmode; the
  // PDEV with its surface once Enable() is called.
  Doc Prepare(const Model& model) {
    Doc d;
    d.printer = Printer(model);
    d.driver = LoadDriver();
    if (d.printer) d.dm = Devmode(model);
    return d;
  }
  bool Enable(Doc& d) {
    if (!d.printer || !d.driver) return false;
    d.session = KpEngineEnablePDEV(d.driver, d.printer, d.dm.data());
    return d.session && KpEngineEnableSurface(d.session);
  }

  // A document of `pages` pages that draw nothing, decoded.
  std::vector<Item> RunDocument(Doc& d, int pages) {
    if (!Enable(d)) {
      ADD_FAILURE() << "no PDEV";
      return {};
    }
    EXPECT_TRUE(KpEngineStartDoc(d.session, u"two pages", 1));
    for (int p = 0; p < pages; ++p) {
      EXPECT_TRUE(KpEngineStartPage(d.session));
      EXPECT_TRUE(KpEngineSendPage(d.session));
    }
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    return Decoded(d);
  }

  // The stream passes the strict checker in renderer-stream mode.
  bool Checked(Doc& d, bool quiet = false) {
    std::vector<BYTE> bytes = Output(d.printer);
    pclxl_check::Report report = pclxl_check::check(bytes, pclxl_check::Mode::RendererStream);
    if (!quiet && !report.ok()) ADD_FAILURE() << report.text();
    return report.ok();
  }

  std::vector<Item> Decoded(Doc& d) {
    bool ok = false;
    std::vector<Item> items = DecodeStream(Output(d.printer), &ok);
    EXPECT_TRUE(ok) << "the stream does not decode";
    return items;
  }
};

// The in-band sequence of a plain job, derived once from the job's steps:
// StartDoc enables and opens (128, 130); each DrvStartPage before the first
// page is set up hands over devmode and name (150, 152); the first page sets
// up the job (142, 151, 153, 154, 155, then 150, 152) and opens the session
// (BeginSession, OpenDataSource, time stamps 1 and 6); each physical page
// sends its colour mode (141), with automatic colour a page store (132,
// 133), then 154, 155, 138; the logical page its time stamp 2, transform
// (137) and clip; its end time stamp 4, the physical end 139, 140, time
// stamp 3 and, with automatic colour, the flush (134, 136, 135); EndDoc the
// page count (155), the footer (time stamp 5, CloseDataSource, EndSession),
// 131; the disable 129.
constexpr char kJobStart[] =
    "128 130 150 152 142 151 153 154 155 150 152 BeginSession OpenDataSource 145:1 145:6";
constexpr char kJobEnd[] = "155 145:5 CloseDataSource EndSession 131 129";
constexpr char kPageAutoColor[] =
    "141 132 133 154 155 138 145:2 137 SetClipToPage 145:4 139 140 145:3 134 136 135";
constexpr char kPagePlain[] = "141 154 155 138 145:2 137 SetClipToPage 145:4 139 140 145:3";

std::string Join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += ' ';
    out += p;
  }
  return out;
}

// The record a command carries, loaded as the spooler side loads it.
template <typename Record>
Record Load(const Item* item) {
  Record r{};
  EXPECT_TRUE(item && jobrec_Load(&r, item->payload.data(), static_cast<DWORD>(item->payload.size())));
  return r;
}

LONG DevmodeNumber(const Item* setdevmode, const Item* printerData, WORD id) {
  std::vector<BYTE> dm(setdevmode->payload.begin(), setdevmode->payload.begin() + XL_IC_DEVMODE_SIZE);
  std::vector<BYTE> pd(printerData->payload);
  LONG v = -1;
  EXPECT_TRUE(ddm_GetNumber(id, dm.data(), pd.data(), &v));
  return v;
}

TEST_F(KmJob, TwoBlankPagesMakeTheWholeSequenceOnBothModels) {
  struct Case {
    const Model* model;
    const char* page;  // model A prints in automatic colour (DDM 270 is 0), model B stores nothing
  };
  for (const Case& c : {Case{&kModelA, kPageAutoColor}, Case{&kModelB, kPagePlain}}) {
    SCOPED_TRACE(c.model->file);
    Doc d = Prepare(*c.model);
    std::vector<Item> items = RunDocument(d, 2);
    EXPECT_EQ(Listing(items), Join({kJobStart, c.page, c.page, kJobEnd}));
    EXPECT_TRUE(Checked(d));
  }
}

TEST_F(KmJob, RecordsCarryThePdevCopiesAndThePaperOfEachPage) {
  Doc d = Prepare(kModelA);
  ASSERT_TRUE(d.dm.Set(DDM_COLLATE, 0));  // collated copies would be stored, which the layout work builds
  const size_t blocks = Blocks();
  ASSERT_TRUE(Enable(d));
  PdevOf(d.session)->copies = 3;  // as SETCOPYCOUNT leaves it
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"records", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  ASSERT_TRUE(KpEngineSendPage(d.session));
  // A reset between pages: the application turns to A3 inside the job.
  CreateDcDevmode a3 = d.dm;
  ASSERT_TRUE(a3.Set(DDM_PAPERSIZE, DMPAPER_A3));
  std::memset(a3.data() + offsetof(DEVMODEW, dmFormName), 0, sizeof(DEVMODEW::dmFormName));
  std::memcpy(a3.data() + offsetof(DEVMODEW, dmFormName), u"A3", 6);
  ASSERT_TRUE(KpEngineResetPDEV(d.session, a3.data()));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  ASSERT_TRUE(KpEngineSendPage(d.session));
  ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
  ASSERT_TRUE(KpEngineDisablePDEV(d.session));
  EXPECT_EQ(Blocks(), blocks);  // the job-data record moved with the job and was freed once
  EXPECT_EQ(KpEngineBadFreeCount(), 0u);
  std::vector<Item> items = Decoded(d);
  EXPECT_TRUE(Checked(d));

  // One session: enabled, opened and set up once.
  for (BYTE code : {XL_IC_ENABLE, XL_IC_OPEN, XL_IC_STARTJOB, XL_IC_SETJOBINFO, XL_IC_DISABLE})
    EXPECT_EQ(Commands(items, code).size(), 1u) << int(code);
  EXPECT_EQ(Listing(items).find("BeginSession"), Listing(items).rfind("BeginSession"));

  // 150 carries the PDEV's copies as DDM 12; the job information follows.
  auto devmodes = Commands(items, XL_IC_SETDEVMODE);
  auto printerData = Commands(items, XL_IC_SETPRINTERDATA);
  ASSERT_FALSE(devmodes.empty());
  ASSERT_EQ(printerData.size(), 1u);
  for (const Item* dm : devmodes) EXPECT_EQ(DevmodeNumber(dm, printerData[0], DDM_COPIES), 3);
  JOBINFO job = Load<JOBINFO>(Commands(items, XL_IC_SETJOBINFO)[0]);
  EXPECT_EQ(job.copies, 3);
  EXPECT_EQ(std::u16string(job.documentName), u"records");

  // 154: A4 at the job's start and its first page, A3 at the page after the
  // reset.
  auto layouts = Commands(items, XL_IC_SETLAYOUTINFO);
  ASSERT_EQ(layouts.size(), 3u);
  const WORD papers[] = {DMPAPER_A4, DMPAPER_A4, DMPAPER_A3};
  const int16_t widths[] = {2100, 2100, 2970};
  for (size_t i = 0; i < 3; ++i) {
    LAYOUTINFO l = Load<LAYOUTINFO>(layouts[i]);
    EXPECT_EQ(l.inputPaper.paperCode, papers[i]) << i;
    EXPECT_EQ(l.inputPaper.width, widths[i]) << i;
    EXPECT_EQ(l.outputPaper.width, widths[i]) << i;
    EXPECT_GT(l.inputPaper.imageableWidth, 0) << i;
    EXPECT_EQ(l.inputPaper.left, (l.inputPaper.width - l.inputPaper.imageableWidth + 1) / 2) << i;
    EXPECT_EQ(l.resolutionX, 600) << i;
  }
  // 155: the flag word as the job goes; the last one counts two sheets of
  // three copies.
  auto pageCtrls = Commands(items, XL_IC_SETPAGECTRL);
  ASSERT_EQ(pageCtrls.size(), 4u);
  EXPECT_EQ(Load<PAGECTRL>(pageCtrls[0]).flags, JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT);
  EXPECT_EQ(Load<PAGECTRL>(pageCtrls[1]).flags, JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT | JOBCTRL_PHYSICAL_PAGE);
  EXPECT_EQ(Load<PAGECTRL>(pageCtrls[2]).flags,
            JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT | JOBCTRL_PHYSICAL_PAGE | JOBCTRL_RESET_IN_JOB);
  EXPECT_EQ(Load<PAGECTRL>(pageCtrls[3]).sheets, 6);
}

TEST_F(KmJob, TheLastPageControlCountsSheetsTimesCopies) {
  struct Case {
    int pages;
    LONG copies;
    WORD sheets;
  };
  for (const Case& c : {Case{3, 2, 6}, Case{1, 1, 1}, Case{2, 5, 10}}) {
    SCOPED_TRACE(c.pages);
    Doc d = Prepare(kModelB);
    ASSERT_TRUE(d.dm.Set(DDM_COPIES, c.copies));
    ASSERT_TRUE(d.dm.Set(DDM_COLLATE, 0));
    std::vector<Item> items = RunDocument(d, c.pages);
    auto pageCtrls = Commands(items, XL_IC_SETPAGECTRL);
    ASSERT_FALSE(pageCtrls.empty());
    EXPECT_EQ(Load<PAGECTRL>(pageCtrls.back()).sheets, c.sheets);
    EXPECT_EQ(Commands(items, XL_IC_STARTPAGE).size(), static_cast<size_t>(c.pages));
    EXPECT_TRUE(Checked(d));
  }
}

TEST_F(KmJob, NoPagesAndSkippedBlankPagesOpenNoSession) {
  Doc none = Prepare(kModelA);
  EXPECT_EQ(Listing(RunDocument(none, 0)), "128 130 131 129");
  EXPECT_TRUE(Checked(none));

  Doc skip = Prepare(kModelA);
  ASSERT_TRUE(skip.dm.Set(DDM_SKIP_BLANK_PAGES, 1));
  EXPECT_EQ(Listing(RunDocument(skip, 2)), "128 130 150 152 150 152 155 131 129");
  EXPECT_TRUE(Checked(skip));
}

TEST_F(KmJob, FormRegistrationWithPosterOrBookletIsRefusedAtTheFirstPage) {
  // No replay is defined for a registered form that is a poster or a book.
  struct Case {
    const char* name;
    WORD id;
    LONG value;
    WORD id2;  // 0: none
    LONG value2;
  };
  for (const Case& c : {Case{"poster of form registration", DDM_LAYOUTMODE, 1, DDM_FORM_REGISTRATION, 1},
                        Case{"booklet of form registration", DDM_LAYOUTMODE, 2, DDM_FORM_REGISTRATION, 1}}) {
    SCOPED_TRACE(c.name);
    Doc d = Prepare(kModelA);
    ASSERT_TRUE(d.dm.Set(c.id, c.value));
    if (c.id2 != 0) {
      ASSERT_TRUE(d.dm.Set(c.id2, c.value2));
    }
    ASSERT_TRUE(Enable(d));
    ASSERT_TRUE(KpEngineStartDoc(d.session, u"refused", 1));
    ASSERT_TRUE(KpEngineStartPage(d.session));
    SetLastError(0);
    EXPECT_FALSE(KpEngineSendPage(d.session));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    // The failed page start also fails the output: after 131 nothing more.
    EXPECT_EQ(Listing(Decoded(d)), "128 130 150 152 131");
    EXPECT_TRUE(Checked(d));
  }
}

// ---- Drawing calls ------------------------------------------------------------------

TEST_F(KmJob, ADrawingCallOpensThePageBeforeItsOwnWork) {
  EntryTable table;
  ASSERT_TRUE(table.ok());
  // A text call of no glyphs: it opens the page and draws nothing.
  auto textOut = table.Get<TextOutFn>(INDEX_DrvTextOut);
  ASSERT_NE(textOut, nullptr);
  EmptyText empty;
  ASSERT_TRUE(empty.ok());
  auto fillPath = [&](SURFOBJ* pso) { return empty.Draw(textOut, pso); };

  // In a job: the first drawing call opens the page (and sets up the job).
  Doc d = Prepare(kModelB);
  ASSERT_TRUE(Enable(d));
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"draw", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  SURFOBJ* pso = KpEngineSessionSurface(d.session);
  EXPECT_TRUE(fillPath(pso));
  EXPECT_TRUE(PdevOf(d.session)->pageCtrl.flags & JOBCTRL_LOGICAL_PAGE);
  EXPECT_TRUE(fillPath(pso));  // the page is open: nothing more
  ASSERT_TRUE(KpEngineSendPage(d.session));
  ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
  ASSERT_TRUE(KpEngineDisablePDEV(d.session));
  EXPECT_EQ(Listing(Decoded(d)), Join({kJobStart, kPagePlain, kJobEnd}));
  EXPECT_TRUE(Checked(d));

  // Before DrvStartDoc: output-failed, and the document can't start.
  Doc early = Prepare(kModelB);
  ASSERT_TRUE(Enable(early));
  EXPECT_FALSE(fillPath(KpEngineSessionSurface(early.session)));
  EXPECT_TRUE(PdevOf(early.session)->ddiFlags & PDEV_OUTPUT_FAILED);
  EXPECT_FALSE(KpEngineStartDoc(early.session, u"late", 1));
  EXPECT_TRUE(KpEngineDisablePDEV(early.session));
  EXPECT_EQ(KpEngineWriteCount(early.printer), 0u);
}

TEST_F(KmJob, InStampDrawingModeADrawingCallOpensNothing) {
  EntryTable table;
  ASSERT_TRUE(table.ok());
  auto textOut = table.Get<TextOutFn>(INDEX_DrvTextOut);
  EmptyText empty;
  ASSERT_TRUE(empty.ok());
  Doc d = Prepare(kModelB);
  ASSERT_TRUE(d.dm.Set(DDM_NUP, 2));  // the sheet stays open between the two pages
  ASSERT_TRUE(Enable(d));
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"stamp", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  SURFOBJ* pso = KpEngineSessionSurface(d.session);
  EXPECT_TRUE(empty.Draw(textOut, pso));
  ASSERT_TRUE(KpEngineSendPage(d.session));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  PDEV* pdev = PdevOf(d.session);
  ASSERT_TRUE(pdev->pageCtrl.flags & JOBCTRL_PHYSICAL_PAGE);
  // A header drawn on the physical sheet (nothing configured: the physical
  // flag alone makes the mode).
  ASSERT_EQ(jobCtrl_setStampDrawMode(pdev, FALSE, TRUE), 0);
  ASSERT_TRUE(jobCtrl_isStampDrawMode(pdev));
  EXPECT_TRUE(empty.Draw(textOut, pso));
  EXPECT_FALSE(pdev->pageCtrl.flags & JOBCTRL_LOGICAL_PAGE);
  // Switching on with nothing configured is refused, the mode stays on.
  EXPECT_EQ(jobCtrl_setStampDrawMode(pdev, TRUE, FALSE), -1);
  EXPECT_TRUE(pdev->stamp.drawMode);
  EXPECT_FALSE(jobCtrl_isStampTransparency(pdev));
  EXPECT_EQ(jobCtrl_setStampDrawMode(pdev, FALSE, FALSE), 0);
  ASSERT_TRUE(KpEngineSendPage(d.session));  // a blank second page on the sheet
  ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
  ASSERT_TRUE(KpEngineDisablePDEV(d.session));
  std::vector<Item> items = Decoded(d);
  EXPECT_EQ(Commands(items, XL_IC_STARTPAGE).size(), 1u);
  std::string listing = Listing(items);
  EXPECT_EQ(listing.find("145:2"), listing.find("145:2 137"));
  EXPECT_NE(listing.find("145:2"), listing.rfind("145:2"));  // two logical pages, the second opened at its end
  EXPECT_TRUE(Checked(d));
}

// ---- Aborts and faults ---------------------------------------------------------------

TEST_F(KmJob, AnAbortedDocumentEndsWithoutAFooter) {
  Doc d = Prepare(kModelA);
  ASSERT_TRUE(Enable(d));
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"abort", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  ASSERT_TRUE(KpEngineSendPage(d.session));
  EXPECT_TRUE(KpEngineEndDoc(d.session, ED_ABORTDOC));
  EXPECT_TRUE(KpEngineDisablePDEV(d.session));
  EXPECT_EQ(Listing(Decoded(d)), Join({kJobStart, kPageAutoColor, "131 129"}));
  // The checker sees the session left open: that is what marks the abort.
  EXPECT_FALSE(Checked(d, /*quiet=*/true));
}

TEST_F(KmJob, AfterAnAbortOnlyDisableRuns) {
  Doc d = Prepare(kModelB);
  const size_t blocks = Blocks();
  ASSERT_TRUE(Enable(d));
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"abort", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  PDEV* pdev = PdevOf(d.session);
  ASSERT_EQ(jobCtrl_informStartDDI(pdev), 0);
  ASSERT_EQ(jobCtrl_AbortDoc(pdev), 0);
  const DWORD written = KpEngineWriteCount(d.printer);
  struct Call {
    const char* name;
    LONG (*fn)(PDEV*);
  };
  for (const Call& c : {Call{"EndDoc", jobCtrl_EndDoc}, Call{"EndPage", jobCtrl_EndPage},
                        Call{"StartPage", jobCtrl_StartPage}, Call{"SetDocInfo", jobCtrl_SetDocInfo},
                        Call{"informStartDDI", jobCtrl_informStartDDI}, Call{"AbortDoc", jobCtrl_AbortDoc}})
    EXPECT_EQ(c.fn(pdev), -1) << c.name;
  EXPECT_EQ(KpEngineWriteCount(d.printer), written);
  EXPECT_FALSE(KpEngineSendPage(d.session));
  EXPECT_FALSE(KpEngineEndDoc(d.session, 0));  // the job is over: only the disable ran
  EXPECT_TRUE(KpEngineDisablePDEV(d.session));
  EXPECT_EQ(Blocks(), blocks);
  std::string listing = Listing(Decoded(d));
  EXPECT_EQ(listing.substr(listing.size() - 7), "131 129");
  EXPECT_EQ(listing.find("EndSession"), std::string::npos);
}

TEST_F(KmJob, AWriteFaultAbortsTheJobAndNothingIsWrittenAfterIt) {
  // The writes of a clean two-page job.
  Doc clean = Prepare(kModelA);
  RunDocument(clean, 2);
  const DWORD writes = KpEngineWriteCount(clean.printer);
  ASSERT_GT(writes, 2u);
  for (DWORD k = 1; k <= writes; ++k) {
    SCOPED_TRACE(k);
    Doc d = Prepare(kModelA);
    ASSERT_TRUE(Enable(d));
    ASSERT_TRUE(KpEngineSetWriteFault(d.printer, k, 1, 0, ERROR_DISK_FULL));
    bool failed = false;
    bool afterFailure = true;  // every document call after the first failure fails too
    auto step = [&](BOOL ok) {
      if (failed && ok) afterFailure = false;
      if (!ok) failed = true;
    };
    step(KpEngineStartDoc(d.session, u"fault", 1));
    for (int p = 0; p < 2 && !failed; ++p) {
      step(KpEngineStartPage(d.session));
      if (!failed) step(KpEngineSendPage(d.session));
    }
    step(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(failed);
    EXPECT_TRUE(afterFailure);
    EXPECT_EQ(KpEngineWriteCount(d.printer), k);  // the failed write was the last
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    EXPECT_EQ(KpEngineBadFreeCount(), 0u);
  }
}

TEST_F(KmJob, AResetIsRefusedWhileALogicalPageIsOpenOrTheJobIsAborted) {
  struct Case {
    DWORD oldFlags, newFlags;
    LONG result;
  };
  const DWORD open = JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT | JOBCTRL_PHYSICAL_PAGE;
  for (const Case& c : {Case{open, open, 0}, Case{open, open | JOBCTRL_LOGICAL_PAGE, -1},
                        Case{open | JOBCTRL_ABORTED, open, -1}, Case{open, JOBCTRL_ABORTED, -1},
                        Case{0, 0, 0}}) {
    SCOPED_TRACE(c.newFlags);
    auto oldPdev = std::make_unique<PDEV>();
    auto newPdev = std::make_unique<PDEV>();
    oldPdev->pageCtrl.flags = c.oldFlags;
    newPdev->pageCtrl.flags = c.newFlags;
    XlJobData* record = reinterpret_cast<XlJobData*>(0x1000);  // never followed
    oldPdev->jobData = record;
    EXPECT_EQ(jobCtrl_ResetDC(newPdev.get(), oldPdev.get()), c.result);
    if (c.result == 0) {
      EXPECT_EQ(newPdev->jobData, record);  // moved, never shared
      EXPECT_EQ(oldPdev->jobData, nullptr);
      EXPECT_EQ((newPdev->pageCtrl.flags & JOBCTRL_RESET_IN_JOB) != 0, (c.newFlags & JOBCTRL_STARTED) != 0);
    } else {
      EXPECT_EQ(oldPdev->jobData, record);
      EXPECT_EQ(newPdev->jobData, nullptr);
    }
  }
}

// ---- The PDL control layer on a started job ---------------------------------------------

class KmPdl : public KmJob {
 protected:
  void SetUp() override {
    KmJob::SetUp();
    d_ = Prepare(kModelB);
    ASSERT_TRUE(Enable(d_));
    ASSERT_TRUE(KpEngineStartDoc(d_.session, u"pdl", 1));
    pdev_ = PdevOf(d_.session);
  }
  void TearDown() override {
    if (d_.session) {
      pdev_->pageCtrl.pageStore = PDL_STORE_IDLE;
      KpEngineDisablePDEV(d_.session);
    }
    KmJob::TearDown();
  }
  // What the call wrote, decoded.
  std::string Flushed() {
    psflush(&pdev_->xl.out);
    bool ok = false;
    std::vector<Item> items = DecodeStream(Output(d_.printer), &ok);
    EXPECT_TRUE(ok);
    KpEngineClearOutput(d_.printer);
    return Listing(items);
  }
  Doc d_;
  PDEV* pdev_ = nullptr;
};

TEST_F(KmPdl, ThePageStoreMachine) {
  enum Op { Init, Start, Stop, Dispose };
  struct Row {
    DWORD state;
    Op op;
    LONG mask;
    LONG result;
    DWORD after;
    const char* sent;
  };
  const Row rows[] = {
      {0, Init, 0, 0, 0x8000, "132"},
      {0x8000, Init, 0, -1, 0x8000, ""},
      {0x8000, Start, 4, 0, 0x8005, "133"},
      {0x8000, Start, 0x3E, 0, 0x803F, "133"},
      {0x8000, Start, 0, -1, 0x8000, ""},
      {0x8000, Start, 0x40, -1, 0x8000, ""},
      {0x8000, Start, 0x44, -1, 0x8000, ""},
      {0, Start, 4, -1, 0, ""},
      {0x8005, Start, 4, -1, 0x8005, ""},
      {0x8005, Stop, 0, 0, 0x8000, "134"},
      {0x8000, Stop, 0, 0, 0x8000, ""},
      {0, Stop, 0, 0, 0, ""},
      {0x8000, Dispose, 0, 0, 0, "135"},
      {0x8005, Dispose, 0, -1, 0x8005, ""},
      {0, Dispose, 0, -1, 0, ""},
  };
  pdev_->pageCtrl.flags |= JOBCTRL_DOCINFO_SENT;  // the store needs the document information sent
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << r.state << " op " << r.op << " mask " << r.mask);
    // Bring the store to the row's state through the machine itself.
    pdev_->pageCtrl.pageStore = PDL_STORE_IDLE;
    if (r.state != 0) {
      ASSERT_EQ(pdl_ctrl_pageStoring_init(pdev_, 1, 1), 0);
    }
    if (r.state == 0x8005) {
      ASSERT_EQ(pdl_ctrl_pageStoring_start(pdev_, 1, 0, 4, 0, 0, 0), 0);
    }
    Flushed();
    LONG result = 0;
    switch (r.op) {
      case Init: result = pdl_ctrl_pageStoring_init(pdev_, 1, 1); break;
      case Start: result = pdl_ctrl_pageStoring_start(pdev_, 1, 0, r.mask, 0, 0, 0); break;
      case Stop: result = pdl_ctrl_pageStoring_stop(pdev_, 1); break;
      case Dispose: result = pdl_ctrl_pageStoring_dispose(pdev_); break;
    }
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(pdev_->pageCtrl.pageStore, r.after);
    EXPECT_EQ(Flushed(), r.sent);
  }
  // Without the document information sent the store does not start.
  pdev_->pageCtrl.pageStore = PDL_STORE_IDLE;
  pdev_->pageCtrl.flags &= ~JOBCTRL_DOCINFO_SENT;
  EXPECT_EQ(pdl_ctrl_pageStoring_init(pdev_, 1, 1), -1);
  EXPECT_EQ(Flushed(), "");
}

TEST_F(KmPdl, AStoredPageKeepsItsPaperAndIsFlushedWithItsColour) {
  pdev_->pageCtrl.flags |= JOBCTRL_DOCINFO_SENT;
  ASSERT_EQ(pdl_ctrl_pageStoring_init(pdev_, 3, 1), 0);
  ASSERT_EQ(pdl_ctrl_pageStoring_start(pdev_, 3, 2, 4, 0, 0, 0), 0);
  pdev_->layoutInfo.inputPaper.width = 2970;
  pdev_->layoutInfo.landscapeOutput = 1;
  ASSERT_EQ(pdl_ctrl_setPaperInfo(pdev_, &pdev_->layoutInfo, pdev_->layoutInfo.landscapeOutput, 3), 0);
  BYTE record[32];
  LONG value = 0;
  ASSERT_EQ(pdl_ctrl_getPaperInfo(pdev_, record, &value, 3), 0);
  EXPECT_EQ(std::memcmp(record, &pdev_->layoutInfo, 32), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(pdl_ctrl_getPaperInfo(pdev_, record, &value, 4), -1);  // not stored
  Flushed();
  pdev_->jobInfo.colorModeAuto = 1;
  ASSERT_EQ(pdl_ctrl_flushCurrentPage_forColors(pdev_), 0);
  EXPECT_EQ(pdev_->pageCtrl.pageStore, PDL_STORE_IDLE);
  psflush(&pdev_->xl.out);
  bool ok = false;
  std::vector<Item> items = DecodeStream(Output(d_.printer), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Listing(items), "134 136 135");
  const Item* replay = Commands(items, XL_IC_OUTPUT_STOREDPAGE)[0];
  ASSERT_EQ(replay->payload.size(), 40u);
  float matrix[6];
  std::memcpy(matrix, replay->payload.data(), sizeof matrix);
  EXPECT_EQ(matrix[0], 1.0f);
  EXPECT_EQ(matrix[3], 1.0f);
  EXPECT_EQ(matrix[4], 0.0f);
  EXPECT_EQ(kp_LoadU32(replay->payload.data() + 24), 1u);       // replay mask
  EXPECT_EQ(kp_LoadU16(replay->payload.data() + 28), 3u);       // the page
  EXPECT_EQ(kp_LoadU16(replay->payload.data() + 30), 0xFFFFu);  // no other page
  EXPECT_EQ(kp_LoadU32(replay->payload.data() + 32), 1u);       // the job's automatic-colour value
  EXPECT_EQ(kp_LoadU16(replay->payload.data() + 36), 0xFFFFu);  // no media source
}

TEST_F(KmPdl, AFailedOpenSendsNo130) {
  // The record is open already (DrvStartDoc opened it).
  Flushed();
  EXPECT_EQ(pdl_ctrl_open(pdev_, pdev_->hPrinter, nullptr, u"again", nullptr), -1);
  EXPECT_EQ(Flushed(), "");
  // No printer.
  pdev_->jobData->direction = 0;
  EXPECT_EQ(pdl_ctrl_open(pdev_, nullptr, nullptr, u"again", nullptr), -1);
  EXPECT_EQ(Flushed(), "");
  // No record.
  XlJobData* record = pdev_->jobData;
  pdev_->jobData = nullptr;
  EXPECT_EQ(pdl_ctrl_open(pdev_, pdev_->hPrinter, nullptr, u"again", nullptr), -1);
  EXPECT_EQ(Flushed(), "");
  pdev_->jobData = record;
  EXPECT_EQ(pdl_ctrl_open(pdev_, pdev_->hPrinter, nullptr, u"again", nullptr), 0);
  EXPECT_EQ(Flushed(), "130");
}

TEST_F(KmPdl, StartJobLeavesTheSessionOutForFormRegistration) {
  struct Case {
    LONG formRegistration;
    const char* sent;
  };
  for (const Case& c : {Case{0, "BeginSession OpenDataSource 145:1 145:6"}, Case{1, "145:1 145:6"}}) {
    ASSERT_TRUE(ddm_SetNumber(DDM_FORM_REGISTRATION, pdev_->devmode, pdev_->printerData, c.formRegistration));
    Flushed();
    EXPECT_TRUE(pdl_startjob(pdev_));
    EXPECT_EQ(Flushed(), c.sent);
  }
}

TEST_F(KmPdl, AJobKeepsACopyOfItsFaxInformationUntilItEnds) {
  const BYTE block[] = {'D', 'F', 'A', 'X', '0', '0', '1', 0, 1, 2, 3};
  EXPECT_EQ(jobCtrl_setFaxInfo(pdev_, 0, block), -1);
  EXPECT_EQ(jobCtrl_setFaxInfo(pdev_, sizeof block, nullptr), -1);
  ASSERT_EQ(jobCtrl_setFaxInfo(pdev_, sizeof block, block), 0);
  ASSERT_EQ(pdev_->faxInfo.size, sizeof block);
  EXPECT_EQ(std::memcmp(pdev_->faxInfo.data, block, sizeof block), 0);  // a copy, kept for the fax flow
  EXPECT_NE(static_cast<const void*>(pdev_->faxInfo.data), static_cast<const void*>(block));
  // A block too short to name its destinations makes no fax flow: the job
  // prints as it is (the escape itself refuses such a block).
  ASSERT_TRUE(KpEngineStartPage(d_.session));
  EXPECT_TRUE(KpEngineSendPage(d_.session));
  EXPECT_EQ(pdev_->faxJob.active, 0u);
  EXPECT_TRUE(KpEngineEndDoc(d_.session, 0));
  EXPECT_EQ(pdev_->faxInfo.data, nullptr);  // released with the job
  EXPECT_FALSE(pdev_->pageCtrl.flags & JOBCTRL_ABORTED);
}

TEST_F(KmPdl, ThePrivateEscapeStateStartsWithoutOverrides) {
  const PDEV_PESC& p = pdev_->pesc;
  EXPECT_EQ(p.gate, 0u);
  EXPECT_EQ(p.version, JOBREC_PDL_MIN);  // DDM 1332 is off on the model's defaults
  for (SHORT o : {p.nupOverride, p.orderOverride, p.orientationOverride, p.layoutOverride, p.posterOverride,
                  p.duplexOverride})
    EXPECT_EQ(o, -1);
  EXPECT_EQ(p.colorMode, -1);
}

TEST_F(KmPdl, TheInputPaperRecordTakesEdgeToEdgeAndFittingApplicationMargins) {
  struct Case {
    const char* name;
    LONG edgeToEdge, appMargins;
    uint16_t margins[5];  // left, right, top, bottom, paper id
    bool whole;           // imageable area = paper
    bool takesMargins;
  };
  const Case cases[] = {
      {"plain", 0, 0, {}, false, false},
      {"edge to edge", 1, 0, {}, true, false},
      {"application margins", 0, 1, {100, 120, 140, 160, DMPAPER_A4}, false, true},
      {"margins of another paper", 0, 1, {100, 120, 140, 160, DMPAPER_A3}, false, false},
      {"margins wider than the paper", 0, 1, {1100, 1000, 10, 10, DMPAPER_A4}, false, false},
      {"negative margin", 0, 1, {0xFFFF, 10, 10, 10, DMPAPER_A4}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ddm_SetNumber(DDM_EDGE_TO_EDGE, pdev_->devmode, pdev_->printerData, c.edgeToEdge));
    ASSERT_TRUE(ddm_SetNumber(DDM_APP_MARGINS, pdev_->devmode, pdev_->printerData, c.appMargins));
    std::memcpy(pdev_->layoutInfo.appMargins, c.margins, sizeof c.margins);
    ASSERT_EQ(_getInputPaper(pdev_), 0);
    const JOBREC_PAPER& p = pdev_->layoutInfo.inputPaper;
    EXPECT_EQ(p.paperCode, DMPAPER_A4);
    EXPECT_EQ(p.width, 2100);
    EXPECT_EQ(p.height, 2970);
    EXPECT_EQ(p.imageableWidth == p.width, c.whole);
    EXPECT_EQ(p.left, (p.width - p.imageableWidth + 1) / 2);
    EXPECT_EQ(p.top, (p.height - p.imageableHeight + 1) / 2);
    if (c.takesMargins) {
      EXPECT_EQ(p.marginLeft, 100);
      EXPECT_EQ(p.marginRight, 120);
      EXPECT_EQ(p.marginTop, 140);
      EXPECT_EQ(p.marginBottom, 160);
    } else {
      EXPECT_EQ(p.marginLeft, p.left);
      EXPECT_EQ(p.marginLeft + p.marginRight, p.width - p.imageableWidth);
      EXPECT_EQ(p.marginTop + p.marginBottom, p.height - p.imageableHeight);
    }
  }
  EXPECT_EQ(PSRealToDeciMM(18432), 254);  // one inch
  EXPECT_EQ(PSRealToDeciMM(72), 1);       // (72 x 254 + 9216) / 18432 rounds half up
  EXPECT_EQ(PSRealToDeciMM(0x7FFFFFFF), static_cast<LONG>((0x7FFFFFFFLL * 254 + 9216) / 18432));
}

TEST_F(KmPdl, TheTransformIsKeptAsTheLastCommandSentIt) {
  const float m[6] = {0.5f, 0.0f, 0.0f, 2.0f, 10.0f, -4.0f};
  Flushed();
  ASSERT_EQ(pdl_ctrl_setcoordinate(pdev_, m), 0);
  float back[6];
  conv_foxform_nrvxform(pdev_->currentXform, back);
  EXPECT_EQ(std::memcmp(back, m, sizeof m), 0);
  EXPECT_EQ(Flushed(), "137");
  ASSERT_EQ(init_cgs(pdev_), 0);
  conv_foxform_nrvxform(pdev_->currentXform, back);
  const float identity[6] = {1, 0, 0, 1, 0, 0};
  EXPECT_EQ(std::memcmp(back, identity, sizeof back), 0);
}

}  // namespace
