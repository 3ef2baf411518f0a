// The booklet through the whole road: framed pages (each paints its whole
// page) printed as a fold booklet on model A, with and without the banner
// (a leading white page, DDM 332, set in the job's devmode: kprint does not
// offer it). The checker's geometry of the port's bytes says where each
// page lands: two pages a side, each in its half of the sheet as the side
// is read, fitted to it; the header's @BKTP count is the sides printed.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "pclxl_checker.h"
#include "pclxl_geometry.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

struct Row {
  const char* name;
  LONG banner;     // DDM 332: 0 none, 1 a leading white page
  int pages;
  int white;       // white sides before the book (the banner: a sheet of its own, not counted in the header)
  int bookSides;   // the book's sides, two pages each
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"8 pages", 0, 8, 0, 4},
      {"8 pages with a banner", 1, 8, 2, 4},
  };
  return rows;
}

class RoadBooklet : public RoadTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RoadBooklet, EachSideCarriesTwoPagesInItsHalves) {
  Watchdog dog(120s);
  const Row& row = Rows()[GetParam()];
  const RoadQueue queue = Queue(RoadModel::A);
  const road::RoadResult applied = road::RoadApplySettings(queue, {{"booklet", "on"}});
  ASSERT_TRUE(applied.ok()) << applied.message;
  RoadDocument doc = FramedPagesDocument(row.pages);
  const LONG banner = row.banner;
  doc.settings = [banner](void* devmode, void* printerData) {
    return ddm_SetNumber(DDM_BOOKLETKIND, devmode, printerData, 1) &&
           ddm_SetNumber(DDM_SADDLESTAPLE, devmode, printerData, 1) &&
           ddm_SetNumber(DDM_BANNER_SHEET, devmode, printerData, banner);
  };
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  // Each side of the book: its two pages, each in its half as the side is
  // read, fitted to it (the banner's white sides paint nothing and come
  // first).
  pclxl_check::Listing listing;
  pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size(), pclxl_check::Mode::Job,
                     &listing);
  const pclxl_check::Geometry g = pclxl_check::geometry(listing);
  ASSERT_EQ(static_cast<int>(g.sides.size()), row.white + row.bookSides) << g.text();
  for (int i = 0; i < row.white; ++i) {
    EXPECT_TRUE(g.sides[static_cast<size_t>(i)].painted.empty) << "side " << i + 1 << "\n" << g.text();
  }
  if (row.white == 0) {
    EXPECT_EQ(LandingFaults(job.bytes, {2, 1, {{0, 0}, {1, 0}}, 0}), "");
  }
  for (size_t i = static_cast<size_t>(row.white); i < g.sides.size(); ++i)
    EXPECT_EQ(g.sides[i].sections.size(), 2u) << "side " << i + 1 << "\n" << g.text();
  const PortJob parts = SplitPortJob(job.bytes);
  const size_t at = parts.ejclHeader.find("@BKTP=");
  ASSERT_NE(at, std::string::npos) << parts.ejclHeader;
  EXPECT_EQ(std::atoi(parts.ejclHeader.c_str() + at + 6), row.bookSides) << parts.ejclHeader;
}

INSTANTIATE_TEST_SUITE_P(ModelA, RoadBooklet, ::testing::Range<size_t>(0, Rows().size()));

}  // namespace
}  // namespace kestrel::test
