// The booklet through the whole road: numbered pages (page p of n paints
// the p-th of n bands down its page, so the geometry tells the pages
// apart) printed as a fold booklet on model A, with the settings kprint
// does not offer (the banner, DDM 332; the tray; sessions) set in the job's
// devmode. The checker's geometry of the port's bytes says which pages each
// sheet side carries and where: the side's two pages in booklet order, each
// in its half as the side is read and fitted to it, the banner's white
// sides first; the header's @BKTP count is the sides one book prints.
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/printerdata.h"
#include "road_fixture.h"
#include "road_internal.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

using Sides = std::vector<std::vector<int>>;

// Sides of the book of pages 1 to 8 (left-bound, read left to right), in
// the order they print: the outer sheet first, its outside then its
// inside, as the side is read {left half, right half}.
const Sides kEightPages = {{8, 1}, {2, 7}, {6, 3}, {4, 5}};
const std::vector<int> kWhite = {};

Sides Join(const std::vector<Sides>& parts) {
  Sides out;
  for (const Sides& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Row {
  const char* name;
  LONG banner;    // DDM 332: 0 none, 1 a leading white page, 2 one before each copy set
  LONG tray;      // DDM 4 (the first page's tray): 4 the bypass tray, which cannot print a back
  LONG sessions;  // sheets per booklet session (booklet kind 2, DDM 323); 0 one book
  LONG copies;    // collated
  int pages;
  Sides sides;    // each side printed, {left, right} as read (0 a blank half); {} a white side
  int header;     // the header's @BKTP: the book's sides, white banner sides not counted; -1 none (sessions:
                  // the count goes with booklet kind 1 only)
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"no banner", 0, DMBIN_AUTO, 0, 1, 8, kEightPages, 4},
      // Job information 76 (the banner's tray cannot print a back): the
      // white page is the first surface of the first sheet, the outside of
      // the outer sheet (the book's cover), and the book counts its
      // surfaces from the second: five, pages 1 to 8 read on from the
      // cover's inside (page 1 on its left, behind the cover), two blank
      // halves before the back cover.
      {"banner, 76 set", 1, 4, 0, 1, 8, {kWhite, {1, 0}, {0, 2}, {3, 8}, {7, 4}, {5, 6}}, 5},
      // 76 clear: the banner is a white sheet of its own, the book keeps
      // its sheets.
      {"banner, 76 clear", 1, DMBIN_AUTO, 0, 1, 8, Join({{kWhite, kWhite}, kEightPages}), 4},
      // Mode 2: a white sheet before each collated copy.
      {"banner before each copy", 2, DMBIN_AUTO, 0, 2, 8,
       Join({{kWhite, kWhite}, kEightPages, {kWhite, kWhite}, kEightPages}), 4},
      // Sessions of one sheet with 76 set: the first session (the white
      // page and two pages, 1 and 2 inside the cover) closes after two
      // pages, the others hold four pages a sheet, each its own book.
      {"sessions of a sheet, 76 set", 1, 4, 1, 1, 8,
       {kWhite, {1, 2}, {6, 3}, {4, 5}, {0, 7}, {8, 0}}, -1},
  };
  return rows;
}

// A value of the queue's printer data, as the printer reports it (a job's
// settings carry no printer data).
bool SetQueuePrinterData(const RoadQueue& queue, WORD id, LONG value) {
  std::lock_guard<std::mutex> hold(road::SettingsLock());
  std::u16string name = road::RoadPrinterName(queue);
  PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, &all)) return false;
  road::RoadResult opened;
  road::ModelData data = road::OpenQueueData(printer, &opened);
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_CREATEDC);
  const bool ok = opened.ok() && pd_GetPrinterData(printer, pd.data(), data.ddd) &&
                  ddm_SetNumber(id, dm.data(), pd.data(), value) && pd_SetPrinterData(printer, pd.data(), data.ddd, 1);
  road::CloseModelData(&data);
  ClosePrinter(printer);
  return ok;
}

class RoadBooklet : public RoadTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RoadBooklet, EachSideCarriesItsPagesInBookletOrder) {
  Watchdog dog(120s);
  const Row& row = Rows()[GetParam()];
  SCOPED_TRACE(row.name);
  const RoadQueue queue = Queue(RoadModel::A);
  const road::RoadResult applied = road::RoadApplySettings(queue, {{"booklet", "on"}});
  ASSERT_TRUE(applied.ok()) << applied.message;
  // Mode 2 needs a PDL version of class 2.1, which the job takes from the
  // printer data (DDM 8205) when DDM 1332 lets it.
  if (row.banner == 2) {
    ASSERT_TRUE(SetQueuePrinterData(queue, DDM_PDLVERSION, 0x02010000));
  }
  RoadDocument doc = NumberedPagesDocument(row.pages);
  doc.settings = [&row](void* devmode, void* printerData) {
    bool ok = ddm_SetNumber(DDM_BOOKLETKIND, devmode, printerData, row.sessions > 0 ? 2 : 1) &&
              ddm_SetNumber(DDM_SADDLESTAPLE, devmode, printerData, 1) &&
              ddm_SetNumber(DDM_BANNER_SHEET, devmode, printerData, row.banner) &&
              ddm_SetNumber(DDM_DEFAULTSOURCE, devmode, printerData, row.tray) &&
              ddm_SetNumber(DDM_COPIES, devmode, printerData, row.copies) &&
              ddm_SetNumber(DDM_COLLATE, devmode, printerData, 1);
    if (row.sessions > 0) ok = ok && ddm_SetNumber(DDM_BOOKLETNUMBER, devmode, printerData, row.sessions);
    if (row.banner == 2) ok = ok && ddm_SetNumber(DDM_APPLINK_PDL_VERSION, devmode, printerData, 1);
    return ok;
  };
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  Landing want;
  want.columns = 2;
  want.cells = {{0, 0}, {1, 0}};
  want.numbered = row.pages;
  want.sidePages = row.sides;
  EXPECT_EQ(LandingFaults(job.bytes, want), "");
  const PortJob parts = SplitPortJob(job.bytes);
  const size_t at = parts.ejclHeader.find("@BKTP=");
  if (row.header < 0) {
    EXPECT_EQ(at, std::string::npos) << parts.ejclHeader;
    return;
  }
  ASSERT_NE(at, std::string::npos) << parts.ejclHeader;
  EXPECT_EQ(std::atoi(parts.ejclHeader.c_str() + at + 6), row.header) << parts.ejclHeader;
}

INSTANTIATE_TEST_SUITE_P(ModelA, RoadBooklet, ::testing::Range<size_t>(0, Rows().size()));

}  // namespace
}  // namespace kestrel::test
