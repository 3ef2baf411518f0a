// kprint and its road library (tools/kprint): the command line refuses what
// it does not know without printing, the queue's settings last between two
// runs, and the sample document goes through the whole road for each model
// and passes the strict PCL XL checker.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "model_root.h"
#include "pclxl_checker.h"
#include "road.h"

namespace fs = std::filesystem;
using namespace kestrel::road;

namespace {

struct Outcome {
  int status = -1;
  std::string out;  // stdout and stderr
};

// Runs kprint with the arguments (shell words) and answers its exit status
// and what it said.
Outcome Kprint(const std::string& args) {
  Outcome r;
  const std::string command = std::string(KESTREL_KPRINT) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class KprintCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kprint-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Args(const std::string& more, const std::string& output = "job.pcl") const {
    return "--root " + (dir_ / "root").string() + " --output " + (dir_ / output).string() + " " + more;
  }
  fs::path dir_;
};

TEST_F(KprintCommand, RefusesWhatItDoesNotKnowWithStatus2AndPrintsNothing) {
  // A first run stores A3 in the queue; no refused run may change it.
  const Outcome first = Kprint(Args("--paper A3"));
  ASSERT_EQ(first.status, 0) << first.out;
  fs::remove(dir_ / "job.pcl");
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"--bogus 1", "unknown option"},
      {"stray", "unexpected argument"},
      {"--paper A9", "unknown value \"A9\" for paper"},
      {"--paper", "needs a value"},
      {"--copies 0", "unknown value"},
      {"--copies two", "unknown value"},
      {"--duplex sideways", "unknown value"},
      {"--model C", "unknown model"},
      {"--model B --paper A3", "model B does not offer paper \"A3\""},
      {"--model B --staple top-left", "model B does not offer staple"},
      {"--model B --print-type box", "model B does not offer print-type"},
      {"--port 127.0.0.1", "HOST:PORT"},
      {"--port 127.0.0.1:99999", "HOST:PORT"},
      {"--port printer:9100", "HOST:PORT"},
      {"--password 12a4", "1 to 4 digits"},
      {"--password 0000", "not all 0"},
      {"--print-type secure --paper A4", "need a password"},
      {"--orientation landscape --nup 3", "unknown value \"3\" for nup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = Kprint(Args(c.args));
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir_ / "job.pcl")) << "something was printed";
    EXPECT_FALSE(fs::exists(dir_ / "job.pcl.part"));
  }
  // --output and --port together name two ports.
  const Outcome both = Kprint(Args("--port 127.0.0.1:9100"));
  EXPECT_EQ(both.status, 2) << both.out;
  // The queue still holds A3 and portrait: the refused runs stored nothing.
  const Outcome after = Kprint(Args(""));
  ASSERT_EQ(after.status, 0) << after.out;
  EXPECT_NE(after.out.find("paper=A3 orientation=portrait"), std::string::npos) << after.out;
}

TEST_F(KprintCommand, SettingsLastBetweenRunsAsTheQueuesDo) {
  const Outcome first = Kprint(Args("--paper A3 --orientation landscape --copies 2 --collate on --duplex long", "a.pcl"));
  ASSERT_EQ(first.status, 0) << first.out;
  // A second process with no settings prints with the stored ones.
  const Outcome second = Kprint(Args("", "b.pcl"));
  ASSERT_EQ(second.status, 0) << second.out;
  const std::string job = ReadFile(dir_ / "b.pcl");
  EXPECT_NE(job.find("@PJL SET DUPLEX=ON"), std::string::npos);
  // Two collated copies: the renderer makes both, the printer is told one.
  EXPECT_NE(job.find("@PJL SET QTY=1"), std::string::npos);
  EXPECT_NE(job.find("SIZE[297.0X420.0]"), std::string::npos) << "A3";
  EXPECT_NE(second.out.find("paper=A3 orientation=landscape copies=2 collate=on duplex=long"), std::string::npos)
      << second.out;
  // A setting given again replaces the stored one; the others stay.
  const Outcome third = Kprint(Args("--duplex off", "c.pcl"));
  ASSERT_EQ(third.status, 0) << third.out;
  EXPECT_NE(third.out.find("paper=A3 orientation=landscape copies=2 collate=on duplex=off"), std::string::npos)
      << third.out;
  EXPECT_NE(ReadFile(dir_ / "c.pcl").find("@PJL SET DUPLEX=OFF"), std::string::npos);
}

TEST_F(KprintCommand, WithoutArgumentsSaysWhereTheJobIsAndWhatItHolds) {
  const Outcome r = Kprint(Args(""));
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string path = (dir_ / "job.pcl").string();
  EXPECT_NE(r.out.find("to " + path), std::string::npos) << r.out;
  const std::string job = ReadFile(path);
  EXPECT_NE(r.out.find("The job: " + std::to_string(job.size()) + " bytes, 5 pages"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("@PJL JOB MODE=PRINT"), std::string::npos);
  EXPECT_NE(r.out.find("Page 5:"), std::string::npos);
  EXPECT_NE(r.out.find("BeginPage"), std::string::npos);
  const Outcome help = Kprint("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--model", "--paper", "--orientation", "--copies", "--collate", "--duplex", "--nup",
                             "--poster", "--booklet", "--colour", "--resolution", "--staple", "--print-type",
                             "--password", "--output", "--port"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// The road library in this process: one print of the sample per model,
// checked whole by the strict checker, each page's drawing calls all
// answered, the port's bytes as the monitor's README lays them out.
class RoadPrintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new kestrel::test::FreshRoot("kprint-road");
    ASSERT_TRUE(root_->ok());
    const RoadResult opened = RoadOpen(root_->path());
    ASSERT_TRUE(opened.ok()) << opened.message;
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  static kestrel::test::FreshRoot* root_;
};
kestrel::test::FreshRoot* RoadPrintTest::root_ = nullptr;

TEST_F(RoadPrintTest, TheSamplePassesTheWholeRoadForEachModel) {
  for (RoadModel model : {RoadModel::A, RoadModel::B}) {
    SCOPED_TRACE(model == RoadModel::A ? "model A" : "model B");
    RoadQueue q;
    q.model = model;
    const RoadResult installed = RoadInstallQueue(q);
    ASSERT_TRUE(installed.ok()) << installed.message;
    // N-up with frames: every sheet's frames are drawn with their own
    // colour space, or the spooler side fails the job.
    for (const std::vector<RoadSetting>& settings :
         {std::vector<RoadSetting>{}, std::vector<RoadSetting>{{"nup", "4"}, {"nup-frame", "on"}}}) {
      SCOPED_TRACE(settings.empty() ? "stored defaults" : "4-up with frames");
      const RoadResult applied = RoadApplySettings(q, settings);
      ASSERT_TRUE(applied.ok()) << applied.message;
      const RoadJob job = RoadPrint(q, RoadSampleDocument());
      ASSERT_TRUE(job.result.ok()) << job.result.message;
      const auto report = pclxl_check::check(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size(),
                                             pclxl_check::Mode::Job);
      EXPECT_TRUE(report.ok()) << report.text();
      EXPECT_EQ(job.bytes.rfind("\x1b%-12345X@PJL JOB MODE=PRINT", 0), 0u) << "the EJCL header first";
      EXPECT_NE(job.bytes.find(") HP-PCL XL;"), std::string::npos) << "the stream header";
      EXPECT_EQ(job.bytes.substr(job.bytes.size() - 9), "@PJL EOJ\n") << "the trailer last";
      EXPECT_EQ(job.portBytes, job.bytes.size());
      EXPECT_EQ(job.pages.size(), settings.empty() ? 5u : 2u);
      for (const RoadPageSummary& page : job.pages) {
        EXPECT_GT(page.bytes, 0u);
        EXPECT_EQ(page.operators.front(), "BeginPage");
        EXPECT_EQ(page.operators.back(), "EndPage");
        for (const std::string& call : page.calls)
          EXPECT_EQ(call.find("failed"), std::string::npos) << page.what << ": " << call;
      }
      if (settings.empty()) {
        // The application's text and the driver's header/footer lines.
        EXPECT_EQ(job.pages[4].calls, (std::vector<std::string>{"ExtTextOutW x5", "Polyline x2"}));
      }
    }
    ASSERT_TRUE(RoadApplySettings(q, {{"nup", "1"}, {"nup-frame", "off"}}).ok());
  }
}

}  // namespace
