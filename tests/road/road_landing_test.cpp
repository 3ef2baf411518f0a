// Where the pages land: documents of framed pages (each paints its whole
// page) printed through the whole road, and the checker's geometry of the
// port's bytes asked where each logical page is painted on the sheet: in
// its cell, fitted to it, at the row's scale; a poster's parts cover the
// page once. Settings kprint does not offer (the page order) are set in the
// job's devmode.
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

// The page orders of DDM 264 as the models offer them.
enum Order : LONG { kRightThenDown = 3, kDownThenRight = 4, kLeftThenDown = 5, kDownThenLeft = 6 };

struct Row {
  const char* name;
  std::vector<RoadSetting> settings;
  LONG order;  // DDM 264; 0 leaves the queue's
  int pages;
  Landing want;
};

// Cells are (column, row) as the side is read; pages 1, 2 and 3 are enough
// to tell an order.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"1-up A4 portrait", {{"orientation", "portrait"}}, 0, 1, {1, 1, {}, 1.0}},
      {"1-up A4 landscape", {{"orientation", "landscape"}}, 0, 1, {1, 1, {}, 1.0}},
      {"1-up A3 portrait", {{"paper", "A3"}, {"orientation", "portrait"}}, 0, 1, {1, 1, {}, 1.0}},
      {"1-up A3 landscape", {{"paper", "A3"}, {"orientation", "landscape"}}, 0, 1, {1, 1, {}, 1.0}},
  };
  return rows;
}

class RoadLanding : public RoadTest, public ::testing::WithParamInterface<std::tuple<RoadModel, size_t>> {};

TEST_P(RoadLanding, EachPageLandsInItsCell) {
  Watchdog dog(120s);
  const auto [model, index] = GetParam();
  const Row& row = Rows()[index];
  if (!road::RoadCheckSettings(model, row.settings).ok()) GTEST_SKIP() << "the model does not offer the row";
  const RoadQueue queue = Queue(model);
  const road::RoadResult applied = road::RoadApplySettings(queue, row.settings);
  ASSERT_TRUE(applied.ok()) << applied.message;
  RoadDocument doc = FramedPagesDocument(row.pages);
  if (row.order != 0) {
    const LONG order = row.order;
    doc.settings = [order](void* devmode, void* printerData) {
      return ddm_SetNumber(DDM_PAGE_ORDER, devmode, printerData, order);
    };
  }
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  EXPECT_EQ(LandingFaults(job.bytes, row.want), "");
}

std::string RowName(const ::testing::TestParamInfo<std::tuple<RoadModel, size_t>>& info) {
  std::string name = std::string(std::get<0>(info.param) == RoadModel::A ? "A_" : "B_") +
                     Rows()[std::get<1>(info.param)].name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(BothModels, RoadLanding,
                         ::testing::Combine(::testing::Values(RoadModel::A, RoadModel::B),
                                            ::testing::Range<size_t>(0, Rows().size())),
                         RowName);

}  // namespace
}  // namespace kestrel::test
