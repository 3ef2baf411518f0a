// The whole road, end to end: the sample document printed on model A and
// model B under each row of settings a user picks, through the DC,
// kestrelui, kestrelkm, the spooler, kestrelum and the language monitor to a
// file port. The port's bytes must be a job a printer takes: the monitor's
// block, the EJCL header, the stream header, a stream the strict checker
// passes in job mode with one BeginPage per printed sheet side, and the
// trailer whose job-information comment says what was printed.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "pclxl_checker.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

struct Row {
  const char* name;
  std::vector<RoadSetting> settings;
  const char* skipB;     // why model B cannot print the row (null: it can)
  int (*sides)(int n);   // the sheet sides (BeginPage) printed for n pages
  // Lines the EJCL header must hold (both models, then model A only), the
  // job-information keyword lines (every "{n}" the page count, "{s}" the
  // sides), a text every page entry holds, the session's units and every
  // page's medium.
  std::vector<std::string> header, headerA, jobInfo;
  std::string pageInfo, units, medium;
};

int Pages(int n) { return n; }

// A4 (medium 2) at 600 dpi unless the row says otherwise.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"default", {}, nullptr, Pages,
       {"@PJL JOB MODE=PRINT", "@PJL SET QTY=1", "@PJL SET DUPLEX=OFF", "@PJL SET RESOLUTION=600"},
       {"@PJL SET RENDERMODE=COLOR"},
       {"STOREDJOBTYPE=IMMEDIATE", "JOBCOPIES=1", "DUPLEXTYPE=SIMPLEX", "NUP=1", "POSTER=1",
        "BOOKLETTYPE=TYPE[NOBOOKLET]", "LOGICALPAGES={n}", "PHYSICALPAGES={n}"},
       "SIZE[210.0X297.0]", "(600,600)", "MediaSize=ubyte(2)"},
      {"A3 landscape", {{"paper", "A3"}, {"orientation", "landscape"}}, "model B takes A4 at most: it offers no A3",
       Pages, {}, {}, {"LOGICALPAGES={n}"}, "SIZE[297.0X420.0]", "(600,600)", "MediaSize=ubyte(5)"},
      {"copies 3 collated", {{"copies", "3"}, {"collate", "on"}}, nullptr, [](int n) { return 3 * n; },
       {"@PJL SET QTY=1"}, {},
       {"LOGICALPAGES={n}", "PHYSICALPAGES={s}"}, "", "(600,600)", "MediaSize=ubyte(2)"},
      {"duplex long edge", {{"duplex", "long"}}, nullptr, Pages, {"@PJL SET DUPLEX=ON"},
       {"@PJL SET BINDING=LONGEDGE"}, {"DUPLEXTYPE=DUPLEX"}, "DUPLEX[DUPLEX]", "(600,600)", "MediaSize=ubyte(2)"},
      {"4-up with frames", {{"nup", "4"}, {"nup-frame", "on"}}, nullptr, [](int n) { return (n + 3) / 4; }, {}, {},
       {"NUP=4", "LOGICALPAGES={n}", "PHYSICALPAGES={s}"}, "", "(600,600)", "MediaSize=ubyte(2)"},
      {"2 x 2 poster", {{"poster", "2x2"}}, nullptr, [](int n) { return 4 * n; }, {}, {},
       {"POSTER=4", "LOGICALPAGES={n}", "PHYSICALPAGES={s}"}, "", "(600,600)", "MediaSize=ubyte(2)"},
      {"booklet", {{"booklet", "on"}}, nullptr, [](int n) { return 2 * ((n + 3) / 4); }, {"@PJL SET DUPLEX=ON"},
       {"@PJL SET BINDING=SHORTEDGE"},
       {"BOOKLETTYPE=TYPE[NONEDIVIDE]", "DUPLEXTYPE=TUMBLE", "LOGICALPAGES={n}", "PHYSICALPAGES={s}"}, "",
       "(600,600)", "MediaSize=ubyte(2)"},
      {"monochrome", {{"colour", "mono"}}, nullptr, Pages, {}, {"@PJL SET RENDERMODE=GRAYSCALE"}, {},
       "MODE[MONOCHROME]", "(600,600)", "MediaSize=ubyte(2)"},
      {"1200 dpi", {{"resolution", "1200"}}, nullptr, Pages, {"@PJL SET RESOLUTION=1200"}, {}, {}, "",
       "(1200,1200)", "MediaSize=ubyte(2)"},
      {"secure print with a password", {{"print-type", "secure"}, {"password", "4711"}}, nullptr, Pages,
       {"@PJL JOB MODE=SECURE", "@PJL SET JOBATTR=\"@USID=4711\""}, {}, {"STOREDJOBTYPE=SECURITY"}, "", "(600,600)",
       "MediaSize=ubyte(2)"},
  };
  return rows;
}

std::string Fill(std::string line, int n, int sides) {
  for (const auto& [key, value] : {std::pair<std::string, int>{"{n}", n}, {"{s}", sides}}) {
    const size_t at = line.find(key);
    if (at != std::string::npos) line.replace(at, key.size(), std::to_string(value));
  }
  return line;
}

// The keyword lines of the job-information comment, without their prefix.
std::vector<std::string> JobInfo(const std::string& trailer) {
  static const std::string prefix = "@PJL COMMENT ZANJOBINFO ";
  std::vector<std::string> out;
  for (const std::string& line : PjlLines(trailer))
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// The FontName of every SetFont of a listing, in order.
std::vector<std::string> SetFontNames(const pclxl_check::Listing& listing) {
  std::vector<std::string> names;
  for (const pclxl_check::ListedItem& item : listing.items) {
    if (item.name != "SetFont") continue;
    for (const pclxl_check::ListedAttribute& a : item.attributes)
      if (a.name == "FontName") names.push_back(a.value.size() >= 2 ? a.value.substr(1, a.value.size() - 2) : a.value);
  }
  return names;
}

// A device font is sent under a resident font's name; a downloaded font's
// name carries its kind after a colon (":OL", ":...:BM").
void ExpectResidentOrDownloaded(const std::vector<std::string>& names) {
  const std::vector<std::string>& resident = ResidentFontNames();
  for (const std::string& name : names) {
    if (name.find(':') != std::string::npos) continue;
    EXPECT_NE(std::find(resident.begin(), resident.end(), name), resident.end())
        << "\"" << name << "\" is no resident font";
  }
}

class RoadRows : public RoadTest, public ::testing::WithParamInterface<std::tuple<RoadModel, size_t>> {};

TEST_P(RoadRows, TheSamplePrintsAsAJobAPrinterTakes) {
  Watchdog dog(120s);
  const auto [model, index] = GetParam();
  const Row& row = Rows()[index];
  if (model == RoadModel::B && row.skipB != nullptr) {
    // The row's reason is the model's: the road refuses the settings.
    EXPECT_FALSE(road::RoadCheckSettings(model, row.settings).ok());
    GTEST_SKIP() << row.skipB;
  }
  const RoadQueue queue = Queue(model);
  const road::RoadResult applied = road::RoadApplySettings(queue, row.settings);
  ASSERT_TRUE(applied.ok()) << applied.message;
  const RoadJob job = road::RoadPrint(queue, road::RoadSampleDocument());
  ASSERT_TRUE(job.result.ok()) << job.result.message;

  const PortJob parts = SplitPortJob(job.bytes);
  ASSERT_EQ(parts.error, "");
  EXPECT_EQ(parts.monitorBlock, "") << "a file port has no status support: the monitor adds nothing";
  EXPECT_EQ(parts.ejclHeader.rfind("\x1b%-12345X@PJL JOB MODE=", 0), 0u);
  EXPECT_EQ(parts.streamHeader.rfind(") HP-PCL XL;2;1;", 0), 0u);
  EXPECT_EQ(parts.trailer.rfind("\x1b%-12345X@PJL COMMENT ZANJOBINFO VERSION=", 0), 0u);
  EXPECT_EQ(parts.trailer.substr(parts.trailer.size() - 9), "@PJL EOJ\n");
  const std::vector<std::string> header = PjlLines(parts.ejclHeader);
  std::vector<std::string> wanted = row.header;
  if (model == RoadModel::A) wanted.insert(wanted.end(), row.headerA.begin(), row.headerA.end());
  for (const std::string& line : wanted)
    EXPECT_NE(std::find(header.begin(), header.end(), line), header.end())
        << line << " in\n" << ::testing::PrintToString(header);

  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()),
                                                        job.bytes.size(), pclxl_check::Mode::Job, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_EQ(job.check, "");
  const int n = static_cast<int>(road::RoadSampleDocument().pages.size());
  const int sides = row.sides(n);
  int begun = 0;
  for (const pclxl_check::ListedItem& item : listing.items) {
    if (item.name == "BeginSession") {
      EXPECT_NE(item.text().find("UnitsPerMeasure=uint16_xy" + row.units), std::string::npos) << item.text();
    }
    if (item.name != "BeginPage") continue;
    ++begun;
    EXPECT_NE(item.text().find(row.medium), std::string::npos) << item.text();
  }
  EXPECT_EQ(begun, sides);
  const std::vector<std::string> keys = listing.keys();
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "EndPage"), begun);
  ExpectResidentOrDownloaded(SetFontNames(listing));
  EXPECT_EQ(job.pages.size(), static_cast<size_t>(begun));

  const std::vector<std::string> info = JobInfo(parts.trailer);
  ASSERT_FALSE(info.empty()) << "no job-information comment";
  EXPECT_EQ(info.front(), "VERSION=1.1.0");
  EXPECT_EQ(info.back(), "END");
  EXPECT_EQ(std::count(info.begin(), info.end(), "JOBTYPE=PRINT"), 1);
  EXPECT_EQ(Count(info, "PDLTYPE=PDL[PCLXL]:"), 1u);
  for (const std::string& line : row.jobInfo)
    EXPECT_NE(std::find(info.begin(), info.end(), Fill(line, n, sides)), info.end())
        << Fill(line, n, sides) << " in\n" << ::testing::PrintToString(info);
  // One page entry per printed side, each with what the row asks of it.
  EXPECT_EQ(Count(info, "PAGEINFO="), static_cast<size_t>(sides));
  for (const std::string& line : info)
    if (line.rfind("PAGEINFO=", 0) == 0) {
      EXPECT_NE(line.find(row.pageInfo), std::string::npos) << line;
    }
}

// A fold-and-staple booklet (DDM 446 = 1) with its page count in the
// header (DDM 1328 = 1) on model A, which has the count's capability: the
// header's @BKTP count is the sides the book prints.
TEST_F(RoadTest, TheBookletCountInTheHeaderIsTheSidesTheBookPrints) {
  Watchdog dog(120s);
  const RoadQueue queue = Queue(RoadModel::A);
  const road::RoadResult applied = road::RoadApplySettings(queue, {{"booklet", "on"}});
  ASSERT_TRUE(applied.ok()) << applied.message;
  RoadDocument doc = road::RoadSampleDocument();
  const auto sample = doc.settings;
  doc.settings = [sample](void* devmode, void* printerData) {
    return sample(devmode, printerData) && ddm_SetNumber(DDM_BOOKLETKIND, devmode, printerData, 1) &&
           ddm_SetNumber(DDM_SADDLESTAPLE, devmode, printerData, 1);
  };
  const RoadJob job = road::RoadPrint(queue, doc);
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  const PortJob parts = SplitPortJob(job.bytes);
  ASSERT_EQ(parts.error, "");
  const size_t at = parts.ejclHeader.find("@BKTP=");
  ASSERT_NE(at, std::string::npos) << parts.ejclHeader;
  const int count = std::atoi(parts.ejclHeader.c_str() + at + 6);
  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()),
                                                        job.bytes.size(), pclxl_check::Mode::Job, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  const std::vector<std::string> keys = listing.keys();
  const int sides = static_cast<int>(std::count(keys.begin(), keys.end(), "BeginPage"));
  const int pages = static_cast<int>(doc.pages.size());
  EXPECT_EQ(sides, 2 * ((pages + 3) / 4));
  EXPECT_EQ(count, sides) << parts.ejclHeader;
}

// Text in each face of the platform's font folder at the models' defaults
// (TrueType substituted by the printer's fonts): each line goes out in a
// resident font under its 16-byte name, a bold line in the bold face.
// Model B has no serif face: its serif lines take Helvetica.
TEST_F(RoadTest, TextInTheFontFolderFacesPrintsInTheResidentFonts) {
  Watchdog dog(120s);
  struct Case {
    RoadModel model;
    std::vector<std::string> names;  // DejaVu Sans, Serif, Sans Mono; each regular then bold
  };
  const Case cases[] = {
      {RoadModel::A,
       {"Helvetica       ", "Helvetica     Bd", "Times        Rmn", "Times         Bd", "Courier         ",
        "Courier       Bd"}},
      {RoadModel::B,
       {"Helvetica       ", "Helvetica     Bd", "Helvetica       ", "Helvetica     Bd", "Courier         ",
        "Courier       Bd"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ModelName(c.model));
    const RoadQueue queue = Queue(c.model);
    const RoadJob job = road::RoadPrint(queue, FacesDocument());
    ASSERT_TRUE(job.result.ok()) << job.result.message;
    EXPECT_EQ(job.check, "");
    pclxl_check::Listing listing;
    pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size(), pclxl_check::Mode::Job,
                       &listing);
    EXPECT_EQ(SetFontNames(listing), c.names) << listing.text();
    const std::vector<std::string> keys = listing.keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "BeginFontHeader"), 0) << "nothing is downloaded";
  }
}

INSTANTIATE_TEST_SUITE_P(BothModels, RoadRows,
                         ::testing::Combine(::testing::Values(RoadModel::A, RoadModel::B),
                                            ::testing::Range<size_t>(0, 10)),
                         ModelRowNamer(Rows));

}  // namespace
}  // namespace kestrel::test
