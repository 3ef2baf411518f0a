// The stamp through the whole road: the queue's "Confidential" stamp as the
// stamp store keeps it (RoadDocument::stamp, as kprint's sample asks for
// it), over pages that draw a small mark at their middle, on model A and B,
// A4 and A6, portrait and landscape. The checker's geometry of the port's
// bytes says where each sheet side is painted: the stamp, turned by its
// 45 degrees, must lie inside the printable area on every page; a stamp
// that fits is drawn at its size in points, a larger one (the stored 128
// points, or a size of 0, which takes the default record's) shrunk to fit,
// filling most of the page across one axis.
#include <algorithm>
#include <cmath>
#include <sstream>
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

constexpr int kPages = 2;

// Pages that each fill a small square at their middle: pages that draw
// something (a page that draws nothing is not stamped), and nothing that
// reaches further than the stamp.
RoadDocument MarkedPages() {
  RoadDocument doc;
  doc.name = u"marked pages";
  for (int p = 1; p <= kPages; ++p)
    doc.pages.push_back({"a mark at the middle", [](HDC hdc) {
                           const int w = GetDeviceCaps(hdc, HORZRES), h = GetDeviceCaps(hdc, VERTRES);
                           HGDIOBJ pen = SelectObject(hdc, GetStockObject(NULL_PEN));
                           HGDIOBJ brush = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
                           const BOOL ok = Rectangle(hdc, w / 2 - 10, h / 2 - 10, w / 2 + 10, h / 2 + 10);
                           SelectObject(hdc, brush);
                           SelectObject(hdc, pen);
                           return ok != FALSE;
                         }});
  return doc;
}

struct Row {
  const char* name;
  std::vector<RoadSetting> settings;
  LONG size;        // the stamp size set over the stored one (points); -1 keeps the stored record's
  double charSize;  // the stamp's CharSize at 600 dpi; 0: shrunk to fit
};

// The stamp's size in points at 600 dpi.
constexpr double Dots(double points) { return points * 600 / 72; }

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"A4 portrait, stored size", {{"paper", "A4"}, {"orientation", "portrait"}}, -1, 0},
      {"A4 landscape, stored size", {{"paper", "A4"}, {"orientation", "landscape"}}, -1, 0},
      {"A6 portrait, stored size", {{"paper", "A6"}, {"orientation", "portrait"}}, -1, 0},
      {"A6 landscape, stored size", {{"paper", "A6"}, {"orientation", "landscape"}}, -1, 0},
      {"A4 portrait, size 0", {{"paper", "A4"}, {"orientation", "portrait"}}, 0, 0},
      {"A6 landscape, size 0", {{"paper", "A6"}, {"orientation", "landscape"}}, 0, 0},
      {"A4 portrait, 24 points", {{"paper", "A4"}, {"orientation", "portrait"}}, 24, Dots(24)},
      {"A4 landscape, 24 points", {{"paper", "A4"}, {"orientation", "landscape"}}, 24, Dots(24)},
      {"A6 portrait, 24 points", {{"paper", "A6"}, {"orientation", "portrait"}}, 24, Dots(24)},
  };
  return rows;
}

// "" when every sheet side carries the stamp inside its printable area at
// the row's size (a shrunk one below the stored 128 points and filling at
// least 80 % of the printable area across one axis), else each fault.
std::string StampFaults(const std::string& bytes, double charSize) {
  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                        bytes.size(), pclxl_check::Mode::Job, &listing);
  const pclxl_check::Geometry g = pclxl_check::geometry(listing);
  std::ostringstream out;
  if (!report.ok()) out << report.text();
  if (static_cast<int>(g.sides.size()) != kPages) out << g.sides.size() << " sides, not " << kPages << "\n";
  // The stamp's font on each side: the sides' one text face.
  std::vector<double> sizes;
  for (const pclxl_check::ListedItem& item : listing.items) {
    if (item.name == "BeginPage") sizes.push_back(0);
    if (item.name != "SetFont" || sizes.empty()) continue;
    for (const pclxl_check::ListedAttribute& a : item.attributes)
      if (a.name == "CharSize" && !a.numbers.empty()) sizes.back() = a.numbers[0];
  }
  const double tolerance = g.unitsPerInch / 300;  // two printer dots
  for (size_t i = 0; i < g.sides.size(); ++i) {
    const pclxl_check::SheetSide& side = g.sides[i];
    const std::string where = "side " + std::to_string(i + 1);
    const double size = i < sizes.size() ? sizes[i] : 0;
    if (size == 0) out << where << ": no stamp\n";
    else if (charSize > 0 && std::abs(size - charSize) > 1) out << where << ": CharSize " << size << ", not " << charSize << "\n";
    else if (charSize == 0 && size >= Dots(128)) out << where << ": CharSize " << size << " not shrunk\n";
    if (!side.painted.inside(side.printable, tolerance))
      out << where << ": painted " << side.painted.text() << " outside the printable area " << side.printable.text()
          << "\n";
    const double fill = std::max(side.painted.width() / side.printable.width(),
                                 side.painted.height() / side.printable.height());
    if (charSize == 0 && fill < 0.8) out << where << ": the shrunk stamp fills " << fill << " of the printable area\n";
  }
  std::string faults = out.str();
  if (!faults.empty()) faults += "where the job paints:\n" + g.text();
  return faults;
}

class RoadStamp : public RoadTest, public ::testing::WithParamInterface<std::tuple<RoadModel, size_t>> {};

TEST_P(RoadStamp, TheStampIsOnEveryPageInsideThePrintableArea) {
  Watchdog dog(120s);
  const auto [model, index] = GetParam();
  const Row& row = Rows()[index];
  if (!road::RoadCheckSettings(model, row.settings).ok()) GTEST_SKIP() << "the model does not offer the row";
  const RoadQueue queue = Queue(model);
  const road::RoadResult applied = road::RoadApplySettings(queue, row.settings);
  ASSERT_TRUE(applied.ok()) << applied.message;
  RoadDocument doc = MarkedPages();
  doc.stamp = u"Confidential";
  const LONG size = row.size;
  doc.settings = [size](void* devmode, void* printerData) {
    return ddm_SetNumber(DDM_STAMP_TRANSPARENT, devmode, printerData, 1) &&
           (size < 0 || ddm_SetNumber(DDM_STAMP_SIZE, devmode, printerData, size));
  };
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  EXPECT_EQ(StampFaults(job.bytes, row.charSize), "");
}

INSTANTIATE_TEST_SUITE_P(BothModels, RoadStamp,
                         ::testing::Combine(::testing::Values(RoadModel::A, RoadModel::B),
                                            ::testing::Range<size_t>(0, Rows().size())),
                         ModelRowNamer(Rows));

// The stamp's direction on the sheet of each side, in degrees
// counter-clockwise as the sheet is seen: the page's turn (its transform's
// angle) and the stamp's character angle (SetCharAngle, the side's one
// text).
std::vector<double> StampDirections(const std::string& bytes) {
  pclxl_check::Listing listing;
  pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pclxl_check::Mode::Job, &listing);
  const pclxl_check::Geometry g = pclxl_check::geometry(listing);
  std::vector<double> charAngles;
  for (const pclxl_check::ListedItem& item : listing.items) {
    if (item.name == "BeginPage") charAngles.push_back(0);
    if (item.name != "SetCharAngle" || charAngles.empty()) continue;
    for (const pclxl_check::ListedAttribute& a : item.attributes)
      if (a.name == "CharAngle" && !a.numbers.empty()) charAngles.back() = a.numbers[0];
  }
  std::vector<double> out;
  for (size_t i = 0; i < g.sides.size() && i < charAngles.size(); ++i) {
    if (g.sides[i].sections.empty()) continue;
    const double turn = g.sides[i].sections.back().ctm.angle() + charAngles[i];
    out.push_back(std::fmod(std::fmod(turn, 360) + 360, 360));
  }
  return out;
}

// A stamp that does not turn with the page (DDM 1288 clear) takes its
// angle on the sheet: a landscape job's stamp lies on the sheet as a
// portrait job's, at the stored stamp's 45 degrees, on both models.
TEST_F(RoadTest, AStampThatDoesNotTurnWithThePageKeepsItsAngleOnTheSheet) {
  Watchdog dog(120s);
  for (RoadModel model : {RoadModel::A, RoadModel::B}) {
    for (const char* orientation : {"portrait", "landscape"}) {
      SCOPED_TRACE(std::string(model == RoadModel::A ? "model A " : "model B ") + orientation);
      const RoadQueue queue = Queue(model);
      const road::RoadResult applied =
          road::RoadApplySettings(queue, {{"paper", "A4"}, {"orientation", orientation}});
      ASSERT_TRUE(applied.ok()) << applied.message;
      RoadDocument doc = MarkedPages();
      doc.stamp = u"Confidential";
      doc.settings = [](void* devmode, void* printerData) {
        return ddm_SetNumber(DDM_STAMP_TRANSPARENT, devmode, printerData, 1) &&
               ddm_SetNumber(DDM_STAMP_FIRST_PAGE, devmode, printerData, 0);
      };
      const RoadJob job = road::RoadPrint(queue, doc);
      ASSERT_TRUE(job.result.ok()) << job.result.message;
      const std::vector<double> directions = StampDirections(job.bytes);
      ASSERT_EQ(directions.size(), static_cast<size_t>(kPages));
      for (double d : directions) EXPECT_NEAR(d, 45, 0.5);
      EXPECT_EQ(StampFaults(job.bytes, 0), "");
    }
  }
}

}  // namespace
}  // namespace kestrel::test
