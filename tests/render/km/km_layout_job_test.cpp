// The layout modes of whole documents through the engine runner, read back
// as the checker's decoded listing in renderer-stream mode: a 2 x 2 poster
// with crop marks (stored once, replayed once a part with the part's
// matrix), N-up with frame lines, and escape 0x5004's stamp-paper matrix
// with offsets from any application.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "impose.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/pdev.h"
#include "kplatform/wingdi_consts.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/km_escape.h"
#include "kestrel/render/xl_inband.h"
#include "kplatform/byte_order.h"
#include "pagemat.h"
#include "pclxl_checker.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::U32;
using pclxl_check::ListedItem;
using pclxl_check::Listing;

using EscapeFn = ULONG(WINAPI*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);

std::vector<BYTE> Output(HANDLE printer) {
  std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  return bytes;
}

// The listing's keys joined, in-band commands by code ("IC 138" -> "138").
std::string Keys(const Listing& l, size_t from = 0, size_t to = SIZE_MAX) {
  std::string out;
  for (size_t i = from; i < l.items.size() && i < to; ++i) {
    const ListedItem& item = l.items[i];
    if (!out.empty()) out += ' ';
    out += item.inband ? std::to_string(item.code) : item.name;
  }
  return out;
}

std::vector<float> Matrix(const ListedItem* item, size_t offset = 0) {
  std::vector<float> m(6);
  for (int i = 0; i < 6; ++i) {
    DWORD bits = kp_LoadU32(item->data.data() + offset + 4 * i);
    std::memcpy(&m[i], &bits, 4);
  }
  return m;
}

const pclxl_check::ListedAttribute* Attribute(const ListedItem& item, const std::string& name) {
  for (const auto& a : item.attributes)
    if (a.name == name) return &a;
  return nullptr;
}

size_t Count(const Listing& l, const std::string& name, size_t from = 0, size_t to = SIZE_MAX) {
  size_t n = 0;
  for (size_t i = from; i < l.items.size() && i < to; ++i) n += !l.items[i].inband && l.items[i].name == name;
  return n;
}

class KmLayoutJob : public KmTest {
 protected:
  struct Doc {
    KP_ENGINE_DRIVER* driver = nullptr;
    HANDLE printer = nullptr;
    KP_ENGINE_SESSION* session = nullptr;
    CreateDcDevmode dm;
  };
  Doc Prepare() {
    Doc d;
    d.printer = Printer(kModelA);
    d.driver = LoadDriver();
    if (d.printer) d.dm = Devmode(kModelA);
    return d;
  }
  bool Enable(Doc& d) {
    if (!d.printer || !d.driver) return false;
    d.session = KpEngineEnablePDEV(d.driver, d.printer, d.dm.data());
    return d.session && KpEngineEnableSurface(d.session);
  }
  // A document of pages that draw nothing, checked and listed.
  Listing Run(Doc& d, int pages) {
    Listing listing;
    if (!Enable(d)) {
      ADD_FAILURE() << "no PDEV";
      return listing;
    }
    EXPECT_TRUE(KpEngineStartDoc(d.session, u"layout", 1));
    for (int p = 0; p < pages; ++p) {
      EXPECT_TRUE(KpEngineStartPage(d.session));
      EXPECT_TRUE(KpEngineSendPage(d.session));
    }
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    return Checked(d);
  }
  Listing Checked(Doc& d) {
    Listing listing;
    const pclxl_check::Report report =
        pclxl_check::check(Output(d.printer), pclxl_check::Mode::RendererStream, &listing);
    EXPECT_TRUE(report.ok()) << report.text();
    EXPECT_TRUE(listing.stopped.empty()) << listing.stopped;
    return listing;
  }
};

// Every SetBrushSource and SetPenSource has a SetColorSpace of its own
// before it: the spooler side's colour conversion pairs each source with the
// colour space before it and fails a job whose source has none.
void ExpectEachSourceHasItsColourSpace(const Listing& l) {
  bool space = false;
  for (size_t i = 0; i < l.items.size(); ++i) {
    const std::string& name = l.items[i].name;
    if (l.items[i].inband) continue;
    if (name == "SetColorSpace") {
      space = true;
    } else if (name == "SetBrushSource" || name == "SetPenSource") {
      EXPECT_TRUE(space) << name << " at item " << i << " without its colour space: " << Keys(l, i < 8 ? 0 : i - 8, i + 1);
      space = false;
    }
  }
}

// The layout information the job sent last.
LAYOUTINFO LastLayout(const Listing& l) {
  LAYOUTINFO layout{};
  const auto sent = l.commands(XL_IC_SETLAYOUTINFO);
  EXPECT_FALSE(sent.empty());
  if (!sent.empty()) {
    EXPECT_TRUE(jobrec_Load(&layout, sent.back()->data.data(), static_cast<DWORD>(sent.back()->data.size())));
  }
  return layout;
}

TEST_F(KmLayoutJob, PosterStoresThePageAndReplaysEachPartWithItsMatrix) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 1));
  ASSERT_TRUE(d.dm.Set(DDM_POSTERPARTS, 514));  // 2 x 2
  ASSERT_TRUE(d.dm.Set(DDM_POSTER_CROP_MARKS, 1));
  const Listing l = Run(d, 1);
  const std::string all = Keys(l);
  // One physical page stored (132, 133), its crop marks drawn in the page,
  // then stopped (134), replayed once a part (136) and disposed (135).
  const std::string marks = "SetPenWidth SetLineJoin SetLineCap SetLineDash SetColorSpace SetBrushSource SetROP "
                            "SetColorSpace SetPenSource 137";
  std::string lines;
  for (int i = 0; i < 12; ++i) lines += " NewPath SetCursor LinePath PaintPath";
  const std::string page = "141 132 133 154 155 138 145:2 137 SetClipToPage 145:4 SetClipToPage " + marks + lines +
                           " 137 139 140 145:3 134 136 136 136 136 135";
  std::string want = page;
  // Time stamps show as bare 145 in the listing's keys.
  for (size_t at; (at = want.find("145:")) != std::string::npos;) want.erase(at + 3, 2);
  EXPECT_NE(all.find(want), std::string::npos) << all;
  ExpectEachSourceHasItsColourSpace(l);

  const auto init = l.commands(XL_IC_PAGESTORING_INIT);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(kp_LoadU16(init[0]->data.data() + 2), 1);  // growth 1
  const auto start = l.commands(XL_IC_PAGESTORING_START);
  ASSERT_EQ(start.size(), 1u);
  EXPECT_EQ(kp_LoadI32(start[0]->data.data() + 4), 38);
  // The page itself is drawn with the base matrix; the parts are placed by
  // the replay.
  const auto coords = l.commands(XL_IC_SETCOORDINATE);
  ASSERT_FALSE(coords.empty());
  EXPECT_EQ(Matrix(coords[0]), (std::vector<float>{1, 0, 0, 1, 0, 0}));

  const LAYOUTINFO layout = LastLayout(l);
  EXPECT_EQ(layout.posterAcross, 2);
  EXPECT_EQ(layout.posterDown, 2);
  PSTR_PARAM params{};
  ASSERT_EQ(pstrJob_getLayoutParam(&layout, &params), 0);
  const auto parts = l.commands(XL_IC_OUTPUT_STOREDPAGE);
  ASSERT_EQ(parts.size(), 4u);
  for (LONG tile = 0; tile < 4; ++tile) {
    nrvxform m{};
    ASSERT_EQ(pstrJob_getPageXform(&m, &params, tile), 0);
    EXPECT_EQ(Matrix(parts[tile]), (std::vector<float>{m.m11, m.m12, m.m21, m.m22, m.dx, m.dy})) << tile;
    EXPECT_EQ(kp_LoadI32(parts[tile]->data.data() + 24), 9);
    EXPECT_EQ(kp_LoadU16(parts[tile]->data.data() + 30), 0xFFFF);  // no other page
  }
  // The enlarged page: twice the output area each way.
  EXPECT_NEAR(params.matrix.m11, 2.0f, 0.01f);

  // The first mark: from the top-left corner inset by the pen (1, 1) 10 mm
  // (236 pixels) to the right, then 10 mm down.
  std::vector<std::string> points;
  for (const ListedItem& item : l.items) {
    if (item.inband || (item.name != "SetCursor" && item.name != "LinePath")) continue;
    for (const auto& a : item.attributes) points.push_back(a.value);
    if (points.size() == 4) break;
  }
  EXPECT_EQ(points, (std::vector<std::string>{"(1,1)", "(237,1)", "(1,1)", "(1,237)"}));

  // The crop-mark pen at 600 dpi: dashes 40 and 10, width 2.
  for (const ListedItem& item : l.items) {
    if (item.inband) continue;
    if (item.name == "SetLineDash") {
      const auto* dash = Attribute(item, "LineDashStyle");
      ASSERT_NE(dash, nullptr);
      EXPECT_NE(dash->value.find("40 10"), std::string::npos) << dash->text();
    }
    if (item.name == "SetPenWidth") {
      const auto* width = Attribute(item, "PenWidth");
      ASSERT_NE(width, nullptr);
      EXPECT_EQ(width->value, "2");
    }
  }
}

TEST_F(KmLayoutJob, TwoUpWithFramesDrawsEachCellAtTheSheetsEnd) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_NUP, 2));
  ASSERT_TRUE(d.dm.Set(DDM_NUP_FRAME, 1));
  const Listing l = Run(d, 4);
  // Two sheets of two logical pages: each sheet ends with the frames of its
  // two cells (four paths each) before 139.
  size_t sheets = 0, from = 0;
  for (size_t i = 0; i < l.items.size(); ++i) {
    if (!(l.items[i].inband && l.items[i].code == XL_IC_STARTPAGE)) continue;
    size_t end = i;
    while (end < l.items.size() && !(l.items[end].inband && l.items[end].code == XL_IC_SHOWPAGE)) ++end;
    ASSERT_LT(end, l.items.size());
    EXPECT_EQ(Count(l, "NewPath", i, end), 8u) << Keys(l, i, end);
    EXPECT_EQ(Count(l, "PaintPath", i, end), 8u);
    ++sheets;
    from = end;
  }
  (void)from;
  EXPECT_EQ(sheets, 2u);
  ExpectEachSourceHasItsColourSpace(l);
  EXPECT_EQ(l.commands(XL_IC_STARTPAGE).size(), 2u);

  // Each logical page's transform is its N-up cell's matrix.
  const LAYOUTINFO layout = LastLayout(l);
  EXPECT_EQ(layout.nup, 2);
  // Per sheet: page 1, page 2, the frame matrix, the identity after the
  // frames.
  const auto coords = l.commands(XL_IC_SETCOORDINATE);
  std::vector<std::vector<float>> pages;
  for (const ListedItem* c : coords) pages.push_back(Matrix(c));
  ASSERT_EQ(pages.size(), 8u);
  for (LONG index = 0; index < 2; ++index) {
    float m[6];
    ASSERT_EQ(pagemat_setPageMatrix_byLayoutInfo(m, &layout, index, 0), 0);
    EXPECT_EQ(pages[index], std::vector<float>(m, m + 6)) << index;
    EXPECT_EQ(pages[4 + index], std::vector<float>(m, m + 6)) << index;
  }
  EXPECT_EQ(pages[3], (std::vector<float>{1, 0, 0, 1, 0, 0}));
  EXPECT_NE(pages[0], pages[1]);
}

TEST(KmLayoutFrames, TheFramePenAtZeroDpiIsThatOf600) {
  const LAYOUT_PEN pen = layout_framePen(0, 0);
  EXPECT_EQ(pen.widthX, 2);
  EXPECT_EQ(pen.widthY, 2);
  EXPECT_EQ(pen.insetX, 1);
  EXPECT_EQ(pen.insetY, 1);
  const LAYOUT_PEN wide = layout_framePen(1200, 300);
  EXPECT_EQ(wide.widthX, 4);  // 4.17
  EXPECT_EQ(wide.insetX, 2);
  EXPECT_EQ(wide.widthY, 1);  // 1.04
  EXPECT_EQ(wide.insetY, 1);
}

TEST_F(KmLayoutJob, PaperOffsetDuringAPageSetsTheStampPaperMatrix) {
  Doc d = Prepare();
  ASSERT_TRUE(Enable(d));
  kestrel::test::km::EntryTable table;
  ASSERT_TRUE(table.ok());
  const auto escape = table.Get<EscapeFn>(INDEX_DrvEscape);
  ASSERT_NE(escape, nullptr);
  auto offset = [&](LONG x, LONG y) {
    std::vector<BYTE> in = U32(static_cast<DWORD>(x));
    const std::vector<BYTE> yb = U32(static_cast<DWORD>(y));
    in.insert(in.end(), yb.begin(), yb.end());
    return static_cast<LONG>(escape(KpEngineSessionSurface(d.session), KM_ESC_SET_PAPER_OFFSET,
                                    static_cast<ULONG>(in.size()), in.data(), 0, nullptr));
  };
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"offsets", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  // The escape opens the page; model A stores its pages (automatic
  // colour), so the matrix goes in band.
  EXPECT_EQ(offset(0, 0), 1);
  EXPECT_EQ(offset(100, 50), 1);
  // Offsets at the ends of the 32-bit range are computed wide: the escape
  // answers (the matrix goes or is refused by the writer) and nothing
  // overflows.
  for (LONG v : {0x7FFFFFFF, -0x7FFFFFFF}) {
    const LONG r = offset(v, -v);
    EXPECT_TRUE(r == 1 || r == -1) << r;
  }
  EXPECT_TRUE(KpEngineSendPage(d.session));
  EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
  EXPECT_TRUE(KpEngineDisablePDEV(d.session));
  const Listing l = Checked(d);
  const auto coords = l.commands(XL_IC_SETCOORDINATE);
  // The page's own transform, then one per escape.
  ASSERT_GE(coords.size(), 3u);
  const std::vector<float> at0 = Matrix(coords[1]), at100 = Matrix(coords[2]);
  // 100 x 50 pixels at 600 dpi: 42 x 21 tenths of a millimetre, 99 x 49
  // pixels again; x to the right, y down the sheet.
  EXPECT_NEAR(at100[4] - at0[4], 99.0f, 1.0f);
  EXPECT_NEAR(at100[5] - at0[5], 49.0f, 1.0f);
  EXPECT_EQ(at100[0], at0[0]);
  EXPECT_EQ(at100[3], at0[3]);
}


TEST_F(KmLayoutJob, NineBookletPagesInSubBookletsOfTwoSheets) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 2));
  ASSERT_TRUE(d.dm.Set(DDM_BOOKLETKIND, 1));
  ASSERT_TRUE(Enable(d));
  kestrel::test::km::EntryTable table;
  ASSERT_TRUE(table.ok());
  const auto escape = table.Get<EscapeFn>(INDEX_DrvEscape);
  // Two sheets a booklet, in the printer data the document events hand over.
  PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
  std::vector<BYTE> pd(pdev->printerData, pdev->printerData + KM_ESC_PRINTERDATA_SIZE);
  ASSERT_TRUE(ddm_SetNumber(DDM_MAXBOOKLETNUMBER, d.dm.data(), pd.data(), 2));
  ASSERT_EQ(static_cast<LONG>(escape(KpEngineSessionSurface(d.session), KM_ESC_SET_PRINTER_DATA,
                                     static_cast<ULONG>(pd.size()), pd.data(), 0, nullptr)),
            1);
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"booklet", 1));
  for (int p = 0; p < 9; ++p) {
    ASSERT_TRUE(KpEngineStartPage(d.session));
    ASSERT_TRUE(KpEngineSendPage(d.session)) << p;
  }
  ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
  ASSERT_TRUE(KpEngineDisablePDEV(d.session));
  const Listing l = Checked(d);
  const std::string all = Keys(l);

  // One store (growth 80) of nine pages (mask 62), each stopped at its end.
  const auto init = l.commands(XL_IC_PAGESTORING_INIT);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(kp_LoadU16(init[0]->data.data() + 2), 80);
  const auto starts = l.commands(XL_IC_PAGESTORING_START);
  ASSERT_EQ(starts.size(), 9u);
  for (const ListedItem* s : starts) EXPECT_EQ(kp_LoadI32(s->data.data() + 4), 62);
  EXPECT_EQ(l.commands(XL_IC_PAGESTORING_STOP).size(), 9u);
  JOBINFO job{};
  const auto jobs = l.commands(XL_IC_SETJOBINFO);
  ASSERT_FALSE(jobs.empty());
  ASSERT_TRUE(jobrec_Load(&job, jobs.back()->data.data(), static_cast<DWORD>(jobs.back()->data.size())));
  EXPECT_EQ(job.bookletKind, 1);
  EXPECT_EQ(job.bookletValue, 2);

  // The header after the stored pages, then the books: pages 0-7 on four
  // surfaces (two halves each: masks 9 and 14), page 8 alone (15) and a
  // white page for the surface whose halves are both blank; then the
  // store's end and the footer.
  const size_t session = all.find("BeginSession");
  ASSERT_NE(session, std::string::npos);
  EXPECT_GT(session, all.rfind("134"));
  const auto replays = l.commands(XL_IC_OUTPUT_STOREDPAGE);
  ASSERT_EQ(replays.size(), 9u);
  std::vector<LONG> masks;
  std::set<WORD> pages;
  for (const ListedItem* r : replays) {
    masks.push_back(kp_LoadI32(r->data.data() + 24));
    pages.insert(kp_LoadU16(r->data.data() + 28));
  }
  EXPECT_EQ(masks, (std::vector<LONG>{9, 14, 9, 14, 9, 14, 9, 14, 15}));
  EXPECT_EQ(pages.size(), 9u);  // every stored page once
  // The two halves of a surface name each other as colour partners.
  EXPECT_EQ(kp_LoadU16(replays[0]->data.data() + 30), kp_LoadU16(replays[1]->data.data() + 28));
  EXPECT_EQ(kp_LoadU16(replays[8]->data.data() + 30), 0xFFFF);
  // The white page: a sheet of its own after the header.
  const std::string tail = all.substr(session);
  // Model A's printer takes an uncharged page: the comment "ZANCC=00" and
  // an EndPage of the renderer's own instead of 139.
  EXPECT_NE(tail.find("136 154 155 138 137 Comment EndPage 140 135 145 CloseDataSource EndSession 131"),
            std::string::npos)
      << tail;
  bool uncharged = false;
  for (const ListedItem& item : l.items)
    if (!item.inband && item.name == "Comment") uncharged |= item.text().find("ZANCC=00") != std::string::npos;
  EXPECT_TRUE(uncharged);
  // The white page's page control (the job's last) carries the white-page
  // bit.
  const auto controls = l.commands(XL_IC_SETPAGECTRL);
  PAGECTRL white{};
  ASSERT_FALSE(controls.empty());
  ASSERT_TRUE(jobrec_Load(&white, controls.back()->data.data(), static_cast<DWORD>(controls.back()->data.size())));
  EXPECT_TRUE(white.pageStore & 0x80);
}


// Model B's trays carry feed values by position beside their papers: tray 1
// feeds A4 (9) with 1, A5 (11) with 2, B5 (13) with 3; tray 4 (the bypass)
// A6 (70) with 3.
TEST_F(KmLayoutJob, FeedValuesOfTheTraysJudgeTheImage) {
  Doc d;
  d.printer = Printer(kestrel::test::km::kModelB);
  d.driver = LoadDriver();
  ASSERT_NE(d.printer, nullptr);
  d.dm = Devmode(kestrel::test::km::kModelB);
  ASSERT_TRUE(Enable(d));
  PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
  struct Case {
    WORD tray, paper;
    LONG orientation, feed, judged;
  } cases[] = {
      {1, 9, 0, 1, 1}, {1, 11, 0, 2, 2}, {1, 13, 0, 3, 2},  // both: 2 on any tray but 4
      {4, 70, 1, 3, 2}, {4, 70, 0, 3, 1},                   // tray 4: by the orientation
      {4, 9, 0, 1, 1}, {1, 999, 0, 0, 0}, {99, 9, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(_ddd_getFeedableOrientation(pdev, c.tray, c.paper), c.feed) << c.tray << " " << c.paper;
    JUDGE_REQUEST r{};
    r.tray = c.tray;
    r.paperId = c.paper;
    r.feedOrientation = c.orientation;
    EXPECT_EQ(_Judge_PaperFeedOrient(pdev, &r), c.judged) << c.tray << " " << c.paper;
  }
  // No finishing: the feed decides; the layout of a portrait page one a
  // sheet says 1, so feed 2 turns the image and feed 1 does not.
  JUDGE_REQUEST r{};
  r.tray = 1;
  r.paperId = 11;
  r.kind = 2;
  r.nupCount = 1;
  EXPECT_EQ(JudgeImageRotation(pdev, &r), 1);
  r.paperId = 9;
  EXPECT_EQ(JudgeImageRotation(pdev, &r), 0);
  r.paperId = 999;  // no feed value: nothing to judge
  EXPECT_EQ(JudgeImageRotation(pdev, &r), 0);
  EXPECT_TRUE(KpEngineDisablePDEV(d.session));
}

// A stapled or punched page (DDM 326, 344: edge codes) is judged by its
// finishing edge when the page opens: a portrait A4 page one a sheet lies
// as the layout says (1) for the edges 0x101 and 0x202, and is turned for
// 0x303 and 0x404.
TEST_F(KmLayoutJob, AStapledPageIsTurnedByItsFinishingEdge) {
  struct Case {
    WORD ddm;
    LONG code;
    LONG turned;
  } cases[] = {
      {DDM_STAPLEEDGE, 0x101, 0}, {DDM_STAPLEEDGE, 0x303, 1}, {DDM_STAPLEEDGE, 0x404, 1},
      {DDM_PUNCHEDGE, 0x202, 0},  {DDM_PUNCHEDGE, 0x303, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ddm << " 0x" << std::hex << c.code);
    Doc d = Prepare();
    ASSERT_TRUE(d.dm.Set(c.ddm, c.code));
    ASSERT_TRUE(Enable(d));
    ASSERT_TRUE(KpEngineStartDoc(d.session, u"stapled", 1));
    ASSERT_TRUE(KpEngineStartPage(d.session));
    const PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
    ASSERT_TRUE(KpEngineSendPage(d.session));  // the page opens as it ends: _StartPage_Logical
    EXPECT_EQ(pdev->imageRotation, c.turned);
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    Checked(d);
  }
}

}  // namespace
namespace {

// A book of more pages than the store grows by at a time (80): every page
// is stored with its paper information and replayed once.
TEST_F(KmLayoutJob, ABookletLongerThanTheStoresGrowthStep) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 2));
  const Listing l = Run(d, 81);
  EXPECT_EQ(l.commands(XL_IC_PAGESTORING_START).size(), 81u);
  EXPECT_EQ(l.commands(XL_IC_PAGESTORING_STOP).size(), 81u);
  EXPECT_EQ(l.commands(XL_IC_OUTPUT_STOREDPAGE).size(), 81u);
  EXPECT_EQ(l.commands(XL_IC_PAGESTORING_DISPOSE).size(), 1u);
}

}  // namespace

namespace {

// Reverse order, duplex, three pages: every page stored (mask 6), the last
// sheet's back face stored white (mask 2), the header after them, then the
// four pages replayed last first.
TEST_F(KmLayoutJob, ReverseOrderDuplexStoresABackFaceAndReplaysLastFirst) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_REVERSE_ORDER, 1));
  ASSERT_TRUE(d.dm.Set(DDM_DUPLEX, 2));
  const Listing l = Run(d, 3);
  const auto starts = l.commands(XL_IC_PAGESTORING_START);
  ASSERT_EQ(starts.size(), 4u);
  std::vector<LONG> masks;
  for (const ListedItem* s : starts) masks.push_back(kp_LoadI32(s->data.data() + 4));
  EXPECT_EQ(masks, (std::vector<LONG>{6, 6, 6, 2}));
  const auto init = l.commands(XL_IC_PAGESTORING_INIT);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(kp_LoadU16(init[0]->data.data() + 2), 80);
  const auto replays = l.commands(XL_IC_OUTPUT_STOREDPAGE);
  ASSERT_EQ(replays.size(), 4u);
  const WORD first = kp_LoadU16(init[0]->data.data());
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(kp_LoadU16(replays[i]->data.data() + 28), first + 3 - i) << i;
    EXPECT_EQ(kp_LoadI32(replays[i]->data.data() + 24), 1);
  }
  const std::string all = Keys(l);
  EXPECT_GT(all.find("BeginSession"), all.rfind("134")) << all;
  EXPECT_NE(all.find("136 136 136 136 135 145 CloseDataSource EndSession 131"), std::string::npos) << all;
}

// Form registration: the pages are stored without a session, replayed once
// between 157 and 158; no session operators at all, the header (time
// stamps) at the end.
TEST_F(KmLayoutJob, FormRegistrationReplaysBetweenTheSpoolChanges) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_FORM_REGISTRATION, 1));
  const Listing l = Run(d, 1);
  const std::string all = Keys(l);
  EXPECT_EQ(all.find("BeginSession"), std::string::npos) << all;
  EXPECT_EQ(all.find("EndSession"), std::string::npos) << all;
  EXPECT_EQ(l.commands(XL_IC_SHOWPAGE).size(), 0u);  // no 139 in form registration
  EXPECT_NE(all.find("134 155 145 145 157 136 158 135 145 131"), std::string::npos) << all;
  const auto replays = l.commands(XL_IC_OUTPUT_STOREDPAGE);
  ASSERT_EQ(replays.size(), 1u);
  EXPECT_EQ(kp_LoadI32(replays[0]->data.data() + 24), 1);
}

}  // namespace

namespace {

// A leading white page: after the header of a job that prints at once; at
// the start of the replay of a stored job (here collated copies).
TEST_F(KmLayoutJob, LeadingWhitePages) {
  Doc plain = Prepare();
  ASSERT_TRUE(plain.dm.Set(DDM_BANNER_SHEET, 1));
  const Listing l = Run(plain, 1);
  const std::string all = Keys(l);
  // White page (154 155 138 137, uncharged end, 140) before the document's
  // first page (141 ...).
  EXPECT_NE(all.find("BeginSession OpenDataSource 145 145 154 155 138 137 Comment EndPage 140 141"),
            std::string::npos)
      << all;

  Doc sets = Prepare();
  ASSERT_TRUE(sets.dm.Set(DDM_BANNER_SHEET, 1));
  ASSERT_TRUE(sets.dm.Set(DDM_COPIES, 2));
  ASSERT_TRUE(sets.dm.Set(DDM_COLLATE, 1));
  const Listing s = Run(sets, 2);
  JOBINFO job{};
  const auto jobs = s.commands(XL_IC_SETJOBINFO);
  ASSERT_FALSE(jobs.empty());
  ASSERT_TRUE(jobrec_Load(&job, jobs.back()->data.data(), static_cast<DWORD>(jobs.back()->data.size())));
  const std::string keys = Keys(s);
  ASSERT_EQ(job.driverCollate, 1);  // model A makes collated copies itself: the job is stored
  // Mode 1: one white page, then the set twice.
  EXPECT_NE(keys.find("145 145 154 155 138 137 Comment EndPage 140 136 136 136 136 135"), std::string::npos) << keys;
}

}  // namespace

namespace {

// The white-page table: an entry of 2 puts a white page before the second
// physical page. The table comes with a device capability no model
// description carries yet, so the test writes it into the job's record once
// the job has started, as the job start would.
TEST_F(KmLayoutJob, AWhitePageFromTheTable) {
  Doc d = Prepare();
  ASSERT_TRUE(Enable(d));
  ASSERT_TRUE(KpEngineStartDoc(d.session, u"table", 1));
  ASSERT_TRUE(KpEngineStartPage(d.session));
  ASSERT_TRUE(KpEngineSendPage(d.session));  // page 1 (its start builds the job records)
  PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
  pdev->jobInfo.feature406 = 1;
  pdev->jobInfo.feature406Values[3] = 2;
  for (int p = 0; p < 2; ++p) {
    ASSERT_TRUE(KpEngineStartPage(d.session));
    ASSERT_TRUE(KpEngineSendPage(d.session));
  }
  EXPECT_EQ(pdev->jobInfo.feature406Values[3], 0);  // used once
  ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
  ASSERT_TRUE(KpEngineDisablePDEV(d.session));
  const Listing l = Checked(d);
  const std::string all = Keys(l);
  // Three document pages (their 141) and one white page, before the second.
  EXPECT_EQ(l.commands(XL_IC_SETCOLORMODE).size(), 3u);
  const size_t second = all.find("141", all.find("141") + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(all.find("141 154 155 138 137 Comment EndPage 140 132", second), second) << all;
  EXPECT_EQ(all.find("Comment"), all.rfind("Comment"));  // one white page
}

}  // namespace

namespace {

// A paper change between the pages of a duplex job: the first sheet's back
// is skipped, so the page after the change starts a new sheet (page control
// side 0) where it would otherwise be the back (side 1).
TEST_F(KmLayoutJob, APaperChangeBetweenDuplexPagesStartsANewSheet) {
  for (bool change : {false, true}) {
    SCOPED_TRACE(change ? "A3 after the reset" : "no change");
    Doc d = Prepare();
    ASSERT_TRUE(d.dm.Set(DDM_DUPLEX, 2));
    ASSERT_TRUE(d.dm.Set(DDM_COLLATE, 0));
    ASSERT_TRUE(Enable(d));
    ASSERT_TRUE(KpEngineStartDoc(d.session, u"change", 1));
    ASSERT_TRUE(KpEngineStartPage(d.session));
    ASSERT_TRUE(KpEngineSendPage(d.session));
    CreateDcDevmode next = d.dm;
    if (change) {
      ASSERT_TRUE(next.Set(DDM_PAPERSIZE, DMPAPER_A3));
      std::memset(next.data() + offsetof(DEVMODEW, dmFormName), 0, sizeof(DEVMODEW::dmFormName));
      std::memcpy(next.data() + offsetof(DEVMODEW, dmFormName), u"A3", 6);
    }
    ASSERT_TRUE(KpEngineResetPDEV(d.session, next.data()));
    ASSERT_TRUE(KpEngineStartPage(d.session));
    ASSERT_TRUE(KpEngineSendPage(d.session));
    ASSERT_TRUE(KpEngineEndDoc(d.session, 0));
    ASSERT_TRUE(KpEngineDisablePDEV(d.session));
    const Listing l = Checked(d);
    // The page control sent with each page's start (the 155 before 138).
    std::vector<PAGECTRL> starts;
    for (size_t i = 1; i < l.items.size(); ++i) {
      const ListedItem& item = l.items[i];
      if (!(item.inband && item.code == XL_IC_STARTPAGE)) continue;
      const ListedItem& before = l.items[i - 1];
      ASSERT_TRUE(before.inband && before.code == XL_IC_SETPAGECTRL);
      PAGECTRL pc{};
      ASSERT_TRUE(jobrec_Load(&pc, before.data.data(), static_cast<DWORD>(before.data.size())));
      starts.push_back(pc);
    }
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].side, 0);
    EXPECT_EQ(starts[1].side, change ? 0 : 1);
    EXPECT_EQ(starts[1].sheets, change ? 1 : 0);
  }
}

}  // namespace

namespace {

// Model B: tray 1 prints both sides, the bypass (4) does not; tray 7
// (automatic) asks the paper alone; the face-down bin allows duplex.
TEST_F(KmLayoutJob, DuplexAvailabilityByTrayPaperAndBin) {
  Doc d;
  d.printer = Printer(kestrel::test::km::kModelB);
  d.driver = LoadDriver();
  ASSERT_NE(d.printer, nullptr);
  d.dm = Devmode(kestrel::test::km::kModelB);
  ASSERT_TRUE(Enable(d));
  PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
  const DDD_PAPER* a4 = pdev->outForm.paperRecord;
  ASSERT_NE(a4, nullptr);
  EXPECT_TRUE(queryDup_isEnableDuplex(pdev, a4, 1));
  EXPECT_FALSE(queryDup_isEnableDuplex(pdev, a4, 4));
  EXPECT_TRUE(queryDup_isEnableDuplex(pdev, a4, 7));
  EXPECT_TRUE(queryDup_isEnableDuplex(pdev, nullptr, 99));  // no records: allowed
  EXPECT_FALSE(queryDup_isEnableDuplex(nullptr, a4, 1));
  EXPECT_TRUE(KpEngineDisablePDEV(d.session));
}

}  // namespace

namespace {

// ---- Fax jobs ----

// A fax address list of `count` entries (the tag, the count, empty entries).
std::vector<BYTE> FaxList(WORD count) {
  std::vector<BYTE> b(KM_FAX_HEADER_SIZE + static_cast<size_t>(KM_FAX_ENTRY_SIZE) * count);
  std::memcpy(b.data(), KM_FAX_TAG, KM_FAX_TAG_BYTES);
  kp_StoreU16(b.data() + KM_FAX_COUNT_OFFSET, count);
  return b;
}

class KmFaxJob : public KmLayoutJob {
 protected:
  // A document of `pages` pages to a fax list of `listed` destinations,
  // handed over as the document events hand it (escape 0x5024 before the
  // first page).
  Listing RunFax(Doc& d, WORD listed, int pages) {
    if (!Enable(d)) {
      ADD_FAILURE() << "no PDEV";
      return Listing{};
    }
    EXPECT_TRUE(KpEngineStartDoc(d.session, u"fax", 1));
    std::vector<BYTE> list = FaxList(listed);
    EXPECT_EQ(static_cast<LONG>(KpEngineEscape(d.session, KM_ESC_SET_FAX_ADDRESS_INFO,
                                               static_cast<ULONG>(list.size()), list.data(), 0, nullptr)),
              1);
    for (int p = 0; p < pages; ++p) {
      EXPECT_TRUE(KpEngineStartPage(d.session));
      EXPECT_TRUE(KpEngineSendPage(d.session));
    }
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    return Checked(d);
  }
};

// The cover sheet's frame as the listing's keys show it: its layout and
// page control, 138, time stamp 2, the base matrix, 139, 140, time stamp 3.
const std::string kCoverSheet = "154 155 138 145 137 139 140 145";

// A fax job with a cover sheet sent twice (one header per destination):
// every page is stored, and each send is whole between 143 and 144.
TEST_F(KmFaxJob, ACoverSheetJobSentTwiceRepeatsBetween143And144) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_FAX_COVER_SHEET_MODE, 1));
  ASSERT_TRUE(d.dm.Set(DDM_FAX_SINGLE_HEADER, 0));
  ASSERT_TRUE(d.dm.Set(DDM_FAX_DESTINATION_COUNT, 2));
  ASSERT_TRUE(d.dm.Set(DDM_PRINTQUALITY, 300));  // the pages at 300 dpi, the cover sheets at 600
  const Listing l = RunFax(d, 2, 2);
  const std::string all = Keys(l);
  const std::string send =
      "143 BeginSession OpenDataSource 145 145 " + kCoverSheet + " 136 136 145 CloseDataSource EndSession 144";
  EXPECT_NE(all.find(send + " " + send + " 135"), std::string::npos) << all;
  EXPECT_EQ(l.commands(XL_IC_OPENPRINTER).size(), 2u);
  const auto closes = l.commands(XL_IC_CLOSEPRINTER);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0]->data, (std::vector<uint8_t>{0}));
  EXPECT_EQ(closes[1]->data, (std::vector<uint8_t>{1})) << "the last send";
  // The pages were stored before any session (store-all-pages, mask 6).
  EXPECT_LT(all.rfind("134"), all.find("BeginSession")) << all;
  for (const ListedItem* s : l.commands(XL_IC_PAGESTORING_START)) EXPECT_EQ(kp_LoadI32(s->data.data() + 4), 6);
  JOBINFO job{};
  const auto jobs = l.commands(XL_IC_SETJOBINFO);
  ASSERT_FALSE(jobs.empty());
  ASSERT_TRUE(jobrec_Load(&job, jobs.front()->data.data(), static_cast<DWORD>(jobs.front()->data.size())));
  EXPECT_EQ(job.storeAllPages, 1);
  // The cover sheets' layout: paper 9 at 600 dpi; the pages' own (300 dpi)
  // otherwise.
  std::vector<LAYOUTINFO> layouts;
  for (const ListedItem* item : l.commands(XL_IC_SETLAYOUTINFO)) {
    LAYOUTINFO layout{};
    ASSERT_TRUE(jobrec_Load(&layout, item->data.data(), static_cast<DWORD>(item->data.size())));
    layouts.push_back(layout);
  }
  size_t covers = 0, pages = 0;
  for (const LAYOUTINFO& layout : layouts) {
    if (layout.resolutionX == 600) {
      ++covers;
      EXPECT_EQ(layout.outputPaper.paperCode, 9);
      EXPECT_EQ(layout.resolutionY, 600);
    } else {
      ++pages;
      EXPECT_EQ(layout.resolutionX, 300);
    }
  }
  EXPECT_EQ(covers, 2u);
  EXPECT_GT(pages, 0u);
}

// The sends and the cover sheet by DDM 379, 380 and 381: a fax sent once
// has its cover sheet right after the header, before the first page (141).
TEST_F(KmFaxJob, SendsAndCoverSheetsByTheFaxSettings) {
  struct Case {
    const char* name;
    LONG cover, singleHeader, destinations;
    WORD listed;
    size_t sends;   // 143/144 pairs
    size_t covers;  // cover sheets in the stream
  };
  const Case cases[] = {
      {"one header, cover", 1, 1, 3, 3, 0, 1},
      {"one header, no cover", 0, 1, 3, 3, 0, 0},
      {"three destinations, no cover", 0, 0, 3, 3, 3, 0},
      {"more destinations than listed", 1, 0, 5, 2, 2, 2},
      {"no destination count", 1, 0, 0, 2, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Doc d = Prepare();
    ASSERT_TRUE(d.dm.Set(DDM_FAX_COVER_SHEET_MODE, c.cover));
    ASSERT_TRUE(d.dm.Set(DDM_FAX_SINGLE_HEADER, c.singleHeader));
    ASSERT_TRUE(d.dm.Set(DDM_FAX_DESTINATION_COUNT, c.destinations));
    const Listing l = RunFax(d, c.listed, 1);
    const std::string all = Keys(l);
    EXPECT_EQ(l.commands(XL_IC_OPENPRINTER).size(), c.sends) << all;
    EXPECT_EQ(l.commands(XL_IC_CLOSEPRINTER).size(), c.sends);
    EXPECT_EQ(Count(l, "BeginSession"), c.sends ? c.sends : 1);
    size_t covers = 0;
    for (size_t at = all.find(kCoverSheet); at != std::string::npos; at = all.find(kCoverSheet, at + 1)) ++covers;
    EXPECT_EQ(covers, c.covers) << all;
    if (c.sends == 0 && c.covers) {
      EXPECT_NE(all.find("BeginSession OpenDataSource 145 145 " + kCoverSheet + " 141"), std::string::npos) << all;
      // The cover sheet is the job's first physical page: the document's
      // page starts its own sheet.
      const auto controls = l.commands(XL_IC_SETPAGECTRL);
      ASSERT_FALSE(controls.empty());
      PAGECTRL pc{};
      ASSERT_TRUE(jobrec_Load(&pc, controls.back()->data.data(), static_cast<DWORD>(controls.back()->data.size())));
      EXPECT_EQ(pc.physicalPages, 2);
    }
  }
}

// Store-all-pages with poster: each poster page is kept whole (mask 38) and
// at the job end every page goes out through its four parts, the last page
// first in reverse order, each part with its matrix (replay mask 9).
TEST_F(KmLayoutJob, ReversePosterPagesAreStoredAndReplayedPartByPart) {
  Doc d = Prepare();
  ASSERT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 1));
  ASSERT_TRUE(d.dm.Set(DDM_POSTERPARTS, 514));  // 2 x 2
  ASSERT_TRUE(d.dm.Set(DDM_REVERSE_ORDER, 1));
  const Listing l = Run(d, 2);
  const std::string all = Keys(l);
  const auto init = l.commands(XL_IC_PAGESTORING_INIT);
  ASSERT_EQ(init.size(), 1u);
  EXPECT_EQ(kp_LoadU16(init[0]->data.data() + 2), 80) << "the store of all pages";
  const auto starts = l.commands(XL_IC_PAGESTORING_START);
  ASSERT_EQ(starts.size(), 2u);
  for (const ListedItem* s : starts) EXPECT_EQ(kp_LoadI32(s->data.data() + 4), 38);
  const auto replays = l.commands(XL_IC_OUTPUT_STOREDPAGE);
  ASSERT_EQ(replays.size(), 8u);
  const WORD first = kp_LoadU16(init[0]->data.data());
  std::set<std::vector<float>> matrices;
  for (size_t i = 0; i < replays.size(); ++i) {
    EXPECT_EQ(kp_LoadU16(replays[i]->data.data() + 28), first + (i < 4 ? 1 : 0)) << i;
    EXPECT_EQ(kp_LoadI32(replays[i]->data.data() + 24), 9) << i;
    matrices.insert(Matrix(replays[i]));
  }
  EXPECT_EQ(matrices.size(), 4u) << "four parts, the same four for each page";
  EXPECT_GT(all.find("BeginSession"), all.rfind("134")) << "stored before the header: " << all;
  EXPECT_NE(all.find("136 136 136 136 136 136 136 136 135 145 CloseDataSource EndSession 131"), std::string::npos)
      << all;
}

// Store-all-pages with booklet: driver-made collated copies put the book
// out once a set.
TEST_F(KmLayoutJob, CollatedCopiesOfABookletRepeatTheBook) {
  std::vector<size_t> replays;
  for (LONG copies : {1, 2}) {
    Doc d = Prepare();
    ASSERT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 2));
    ASSERT_TRUE(d.dm.Set(DDM_COPIES, copies));
    ASSERT_TRUE(d.dm.Set(DDM_COLLATE, 1));
    const Listing l = Run(d, 4);
    EXPECT_EQ(l.commands(XL_IC_PAGESTORING_INIT).size(), 1u);
    EXPECT_EQ(l.commands(XL_IC_PAGESTORING_START).size(), 4u) << "each page stored once";
    replays.push_back(l.commands(XL_IC_OUTPUT_STOREDPAGE).size());
  }
  ASSERT_EQ(replays.size(), 2u);
  EXPECT_GT(replays[0], 0u);
  EXPECT_EQ(replays[1], 2 * replays[0]);
}

// Job information 76: a leading white page (mode 1) whose tray cannot print
// the back (model B's bypass tray) shifts the booklet's counting.
TEST_F(KmLayoutJob, ALeadingWhitePageOnASimplexTrayShiftsTheBooklet) {
  for (LONG tray : {1, 4}) {
    SCOPED_TRACE(tray);
    Doc d;
    d.printer = Printer(kestrel::test::km::kModelB);
    d.driver = LoadDriver();
    ASSERT_NE(d.printer, nullptr);
    d.dm = Devmode(kestrel::test::km::kModelB);
    ASSERT_TRUE(d.dm.Set(DDM_BANNER_SHEET, 1));
    ASSERT_TRUE(d.dm.Set(DDM_DEFAULTSOURCE, tray));
    const Listing l = Run(d, 1);
    JOBINFO job{};
    const auto jobs = l.commands(XL_IC_SETJOBINFO);
    ASSERT_FALSE(jobs.empty());
    ASSERT_TRUE(jobrec_Load(&job, jobs.back()->data.data(), static_cast<DWORD>(jobs.back()->data.size())));
    ASSERT_EQ(job.leadingWhiteMode, 1);
    EXPECT_EQ(job.bookletShift, tray == 4 ? 1 : 0);
  }
}

}  // namespace

namespace {

// The pages each book of a booklet job stores: one entry a page store
// (132), counting its stored pages (133).
std::vector<size_t> BookSizes(const Listing& l) {
  std::vector<size_t> sizes;
  for (const ListedItem& item : l.items) {
    if (!item.inband) continue;
    if (item.code == XL_IC_PAGESTORING_INIT) sizes.push_back(0);
    if (item.code == XL_IC_PAGESTORING_START && !sizes.empty()) ++sizes.back();
  }
  return sizes;
}

JOBINFO LastJobInfo(const Listing& l) {
  JOBINFO job{};
  const auto jobs = l.commands(XL_IC_SETJOBINFO);
  if (jobs.empty() || !jobrec_Load(&job, jobs.back()->data.data(), static_cast<DWORD>(jobs.back()->data.size())))
    ADD_FAILURE() << "no job information";
  return job;
}

class KmBookletJob : public KmLayoutJob {
 protected:
  // A booklet on model B. A leading white page (banner mode 1) from the
  // bypass tray (4), which cannot print the back, sets job information 76;
  // from tray 1 it stays clear.
  Doc Booklet(LONG banner, LONG tray, const kestrel::test::km::Model& model = kestrel::test::km::kModelB) {
    Doc d;
    d.printer = Printer(model);
    d.driver = LoadDriver();
    if (!d.printer) return d;
    d.dm = Devmode(model);
    EXPECT_TRUE(d.dm.Set(DDM_LAYOUTMODE, 2));
    EXPECT_TRUE(d.dm.Set(DDM_BANNER_SHEET, banner));
    EXPECT_TRUE(d.dm.Set(DDM_DEFAULTSOURCE, tray));
    return d;
  }
  // A printer-data value, through the escape the document events hand the
  // printer data with (the session enabled).
  bool SetPrinterData(Doc& d, WORD id, LONG value) {
    kestrel::test::km::EntryTable table;
    if (!table.ok()) return false;
    const auto escape = table.Get<EscapeFn>(INDEX_DrvEscape);
    PDEV* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(d.session));
    std::vector<BYTE> pd(pdev->printerData, pdev->printerData + KM_ESC_PRINTERDATA_SIZE);
    if (!ddm_SetNumber(id, d.dm.data(), pd.data(), value)) return false;
    return static_cast<LONG>(escape(KpEngineSessionSurface(d.session), KM_ESC_SET_PRINTER_DATA,
                                    static_cast<ULONG>(pd.size()), pd.data(), 0, nullptr)) == 1;
  }
  // Run with the session already enabled.
  Listing RunEnabled(Doc& d, int pages) {
    EXPECT_TRUE(KpEngineStartDoc(d.session, u"booklet", 1));
    for (int p = 0; p < pages; ++p) {
      EXPECT_TRUE(KpEngineStartPage(d.session));
      EXPECT_TRUE(KpEngineSendPage(d.session));
    }
    EXPECT_TRUE(KpEngineEndDoc(d.session, 0));
    EXPECT_TRUE(KpEngineDisablePDEV(d.session));
    return Checked(d);
  }
};

// Sessions of one sheet (booklet kind 2, DDM 323 = 1) with job information
// 76 set: the first session, whose first sheet the white page opens, closes
// after two pages, every later one after four (its own count against the
// full sheet).
TEST_F(KmBookletJob, SessionsAfterTheFirstHoldFourPagesASheet) {
  Doc d = Booklet(1, 4);
  ASSERT_TRUE(d.dm.Set(DDM_BOOKLETKIND, 2));
  ASSERT_TRUE(d.dm.Set(DDM_BOOKLETNUMBER, 1));
  const Listing l = Run(d, 8);
  const JOBINFO job = LastJobInfo(l);
  ASSERT_EQ(job.bookletKind, 2);
  ASSERT_EQ(job.bookletShift, 1);
  EXPECT_EQ(BookSizes(l), (std::vector<size_t>{2, 4, 2}));
  // Each session's book replays its own pages, every stored page once.
  EXPECT_EQ(l.commands(XL_IC_OUTPUT_STOREDPAGE).size(), 8u);
}

}  // namespace

namespace {

// The sheet sides a booklet job prints after its header, in order: "W" a
// white page (a page start of the renderer's own, 138), "P" a book surface
// with pages (a replay that starts its page, mask bit 0).
std::string Sides(const Listing& l) {
  std::string sides;
  bool header = false;
  for (const ListedItem& item : l.items) {
    if (!item.inband) {
      header |= item.name == "BeginSession";
      continue;
    }
    if (!header) continue;
    if (item.code == XL_IC_STARTPAGE) sides += 'W';
    if (item.code == XL_IC_OUTPUT_STOREDPAGE && (kp_LoadI32(item.data.data() + 24) & 1)) sides += 'P';
  }
  return sides;
}

// The banner of a booklet job of nine pages, after the header and before
// the book. With job information 76 (the bypass tray cannot print the
// back) it is one white side, the first surface of the first sheet, and the
// book counts its surfaces with the cover switch: five. Without it the
// banner is a white sheet of its own (two sides), and the book keeps its six
// surfaces (the last one all blank). Mode 2 puts the banner before each
// collated copy's book.
TEST_F(KmBookletJob, TheBannerLeadsTheBook) {
  using kestrel::test::km::kModelB;
  struct Case {
    const char* name;
    const kestrel::test::km::Model& model;
    LONG banner, tray, copies;
    LONG shift;
    const char* sides;
  } cases[] = {
      {"76 set", kModelB, 1, 4, 1, 1, "WPPPPP"},
      {"76 clear", kModelB, 1, 1, 1, 0, "WWPPPPPP"},
      {"no banner", kModelB, 0, 1, 1, 0, "PPPPPP"},
      // Model A makes collated copies itself (the book once a copy).
      {"each copy", kModelA, 2, DMBIN_AUTO, 2, 0, "WWPPPPPPWWPPPPPP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Doc d = Booklet(c.banner, c.tray, c.model);
    ASSERT_TRUE(d.dm.Set(DDM_COPIES, c.copies));
    ASSERT_TRUE(d.dm.Set(DDM_COLLATE, 1));
    // Mode 2 needs a PDL version of class 2.1, which the job takes from the
    // printer data (DDM 8205) when DDM 1332 lets it.
    ASSERT_TRUE(d.dm.Set(DDM_APPLINK_PDL_VERSION, 1));
    ASSERT_TRUE(Enable(d));
    ASSERT_TRUE(SetPrinterData(d, DDM_PDLVERSION, 0x02010000));
    const Listing l = RunEnabled(d, 9);
    const JOBINFO job = LastJobInfo(l);
    ASSERT_EQ(job.leadingWhiteMode, c.banner);
    ASSERT_EQ(job.bookletShift, c.shift);
    EXPECT_EQ(Sides(l), c.sides) << Keys(l);
  }
}

}  // namespace
