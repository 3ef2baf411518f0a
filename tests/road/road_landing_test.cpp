// Where the pages land: documents of framed pages (each paints its whole
// page) printed through the whole road, and the checker's geometry of the
// port's bytes asked where each logical page is painted on the sheet: in
// its cell, fitted to it, at the row's scale; a poster's parts cover the
// page once. Settings kprint does not offer (the page order) are set in the
// job's devmode: by the layout rule's value, or as the user interface stores
// a choice, the value of the model's item of that name.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "model_root.h"
#include "pclxl_geometry.h"
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
  // The model's page-order item (by its name) whose value the job stores,
  // as the user interface does; null: `order` as it stands.
  const char16_t* choice = nullptr;
};

// The value of the model's page-order item named `name`, read from the
// installed description data as the property sheet reads its list; -1 when
// the model has no such item.
LONG ModelOrderValue(RoadModel model, const std::u16string& name) {
  HCDDD ddd = cddd_OpenFile(DriverFile(model == RoadModel::A ? u"K350.DDD" : u"K260.DDD").c_str());
  if (ddd == nullptr) return -1;
  WORD method = 0, count = 0, status = 0;
  LPCWSTR optionName = nullptr;
  void* list = nullptr;
  LONG found = -1;
  if (cdddGetSelectItemInfo(ddd, DDM_PAGE_ORDER, &method, &count, &optionName, &list, &status)) {
    cdddSelectItemInfoFree(list);
    for (WORD n = 1; n <= count && found < 0; ++n) {
      DDD_GUIDATA* item = nullptr;
      if (!cdddGetSelectItemData(ddd, DDM_PAGE_ORDER, n, &item, &status)) continue;
      const void* value = nullptr;
      LPCWSTR itemName = nullptr;
      WORD type = 0;
      const DDD_ICONBYTES* image = nullptr;
      if (cdddGetSelectItemForDataTbl(item, &value, &itemName, &type, &image) && itemName && value &&
          name == reinterpret_cast<const char16_t*>(itemName)) {
        BYTE v = 0;  // the option's value is a byte
        std::memcpy(&v, value, 1);
        found = v;
      }
      cdddSelectItemDataFree(item);
    }
  }
  cddd_Close(ddd);
  return found;
}

// The cells of pages 1 to `count` in an order, on a grid of columns x rows
// as the side is read.
std::vector<std::pair<int, int>> Cells(LONG order, int columns, int rows, int count) {
  std::vector<std::pair<int, int>> cells;
  for (int i = 0; i < count; ++i) {
    switch (order) {
      case kDownThenRight: cells.emplace_back(i / rows, i % rows); break;
      case kLeftThenDown: cells.emplace_back(columns - 1 - i % columns, i / columns); break;
      case kDownThenLeft: cells.emplace_back(columns - 1 - i / rows, i % rows); break;
      default: cells.emplace_back(i % columns, i / columns); break;
    }
  }
  return cells;
}

// 1-up fills the printable area at scale 1; N-up puts pages 1, 2 and 3 in
// their cells as read (portrait 2-up reads as two columns, landscape 2-up as
// two rows; 8-up as four columns of two, or two of four); a poster's parts
// cover the page once at the poster's scale.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> r = {
        {"1-up A4 portrait", {{"orientation", "portrait"}}, 0, 1, {1, 1, {}, 1.0}},
        {"1-up A4 landscape", {{"orientation", "landscape"}}, 0, 1, {1, 1, {}, 1.0}},
        {"1-up A3 portrait", {{"paper", "A3"}, {"orientation", "portrait"}}, 0, 1, {1, 1, {}, 1.0}},
        {"1-up A3 landscape", {{"paper", "A3"}, {"orientation", "landscape"}}, 0, 1, {1, 1, {}, 1.0}},
        {"2x2 poster", {{"orientation", "portrait"}, {"poster", "2x2"}}, 0, 1, {1, 1, {}, 2.0, 4}},
        {"3x3 poster", {{"orientation", "portrait"}, {"poster", "3x3"}}, 0, 1, {1, 1, {}, 3.0, 9}},
    };
    struct Grid {
      const char* nup;
      const char* orientation;
      int columns, rows;  // as read
    };
    const Grid grids[] = {{"2", "portrait", 2, 1}, {"2", "landscape", 1, 2}, {"4", "portrait", 2, 2},
                          {"4", "landscape", 2, 2}, {"8", "portrait", 4, 2}, {"8", "landscape", 2, 4}};
    const std::pair<LONG, const char*> orders[] = {{kRightThenDown, "right then down"},
                                                   {kDownThenRight, "down then right"},
                                                   {kLeftThenDown, "left then down"},
                                                   {kDownThenLeft, "down then left"}};
    const auto orderNames = [&orders](LONG order) {
      for (const auto& [o, n] : orders)
        if (o == order) return std::string(n);
      return std::string();
    };
    // The models' items of the four orders, by the names the user picks.
    const std::pair<LONG, const char16_t*> choices[] = {{kRightThenDown, u"Right, then Down"},
                                                        {kDownThenRight, u"Down, then Right"},
                                                        {kLeftThenDown, u"Left, then Down"},
                                                        {kDownThenLeft, u"Down, then Left"}};
    static std::vector<std::string> names;  // the rows' names live as long as the table
    names.reserve(std::size(grids) * (2 * std::size(orders) + 1));
    for (const Grid& g : grids) {
      const int count = std::min(3, g.columns * g.rows);
      const std::vector<RoadSetting> settings = {{"nup", g.nup}, {"orientation", g.orientation}};
      const std::string grid = std::string(g.nup) + "-up " + g.orientation + " ";
      // Landscape 2-up reads as one column: every order runs down it,
      // page 1 on top (render/km/layout.h, GetXupType).
      for (const auto& [order, orderName] : orders) {
        names.push_back(grid + orderName);
        r.push_back({names.back().c_str(), settings, order, 3,
                     {g.columns, g.rows, Cells(order, g.columns, g.rows, count)}});
      }
      // The queue's default order, as the model's default devmode holds it.
      names.push_back(grid + "model default");
      r.push_back({names.back().c_str(), settings, 0, 3,
                   {g.columns, g.rows, Cells(kRightThenDown, g.columns, g.rows, count)}});
      for (const auto& [order, choice] : choices) {
        names.push_back(grid + "model item " + orderNames(order));
        r.push_back({names.back().c_str(), settings, 0, 3,
                     {g.columns, g.rows, Cells(order, g.columns, g.rows, count)}, choice});
      }
    }
    return r;
  }();
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
  LONG order = row.order;
  if (row.choice != nullptr) {
    order = ModelOrderValue(model, row.choice);
    ASSERT_GE(order, 0) << "the model offers no page order named as the row's";
  }
  if (row.choice != nullptr || order != 0) {
    doc.settings = [order](void* devmode, void* printerData) {
      return ddm_SetNumber(DDM_PAGE_ORDER, devmode, printerData, order);
    };
  }
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  EXPECT_EQ(LandingFaults(job.bytes, row.want), "");
}

// The driver's header and footer (document name, date and time) on a
// one-page document: every side's painting inside the printable area, the
// header's line within two text lines of its top and the footer's of its
// bottom (9 points, 75 dots).
TEST_F(RoadTest, HeaderAndFooterStayInsideThePrintableArea) {
  Watchdog dog(120s);
  for (RoadModel model : {RoadModel::A, RoadModel::B})
    for (const char* orientation : {"portrait", "landscape"}) {
      SCOPED_TRACE(std::string(ModelName(model)) + " " + orientation);
      const RoadQueue queue = Queue(model);
      const road::RoadResult applied = road::RoadApplySettings(queue, {{"orientation", orientation}});
      ASSERT_TRUE(applied.ok()) << applied.message;
      RoadDocument doc = OnePageDocument();
      doc.settings = [](void* devmode, void* printerData) {
        bool ok = true;
        for (WORD id : {DDM_HEADERFOOTER_DOCNAME, DDM_HEADERFOOTER_DATE, DDM_HEADERFOOTER_TIME})
          ok = ok && ddm_SetNumber(id, devmode, printerData, 1);
        return ok;
      };
      const RoadJob job = road::RoadPrint(queue, doc);
      ASSERT_TRUE(job.result.ok()) << job.result.message;
      pclxl_check::Listing listing;
      pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size(),
                         pclxl_check::Mode::Job, &listing);
      const pclxl_check::Geometry g = pclxl_check::geometry(listing);
      ASSERT_EQ(g.sides.size(), 1u) << g.text();
      const pclxl_check::SheetSide& side = g.sides[0];
      const double dots = g.unitsPerInch / 600, line = 75 * dots;
      EXPECT_TRUE(side.painted.inside(side.printable, 2 * dots)) << g.text();
      EXPECT_LT(side.painted.top, side.printable.top + 2 * line) << g.text();
      EXPECT_GT(side.painted.bottom, side.printable.bottom - 2 * line) << g.text();
    }
}

INSTANTIATE_TEST_SUITE_P(BothModels, RoadLanding,
                         ::testing::Combine(::testing::Values(RoadModel::A, RoadModel::B),
                                            ::testing::Range<size_t>(0, Rows().size())),
                         ModelRowNamer(Rows));

}  // namespace
}  // namespace kestrel::test
