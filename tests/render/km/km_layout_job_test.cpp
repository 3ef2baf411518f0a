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
                            "SetPenSource 137";
  std::string lines;
  for (int i = 0; i < 12; ++i) lines += " NewPath SetCursor LinePath PaintPath";
  const std::string page = "141 132 133 154 155 138 145:2 137 SetClipToPage 145:4 SetClipToPage " + marks + lines +
                           " 137 139 140 145:3 134 136 136 136 136 135";
  std::string want = page;
  // Time stamps show as bare 145 in the listing's keys.
  for (size_t at; (at = want.find("145:")) != std::string::npos;) want.erase(at + 3, 2);
  EXPECT_NE(all.find(want), std::string::npos) << all;

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

}  // namespace
