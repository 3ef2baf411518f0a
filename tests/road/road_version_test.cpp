// The page-description version a new queue of each model reports: its
// printer data takes the model's default of DDM 8205 (1.5.1), which the
// stream header of every job carries.
#include <string>

#include "road_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

class RoadVersion : public RoadTest, public ::testing::WithParamInterface<RoadModel> {};

TEST_P(RoadVersion, ANewQueuesJobsCarryTheModelsVersion) {
  Watchdog dog(120s);
  const RoadQueue queue = Queue(GetParam());
  const RoadJob job = road::RoadPrint(queue, OnePageDocument());
  ASSERT_TRUE(job.result.ok()) << job.result.message;
  const PortJob parts = SplitPortJob(job.bytes);
  ASSERT_EQ(parts.error, "");
  EXPECT_EQ(parts.streamHeader.rfind(") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-", 0), 0u) << parts.streamHeader;
}

INSTANTIATE_TEST_SUITE_P(BothModels, RoadVersion, ::testing::Values(RoadModel::A, RoadModel::B),
                         [](const ::testing::TestParamInfo<RoadModel>& info) {
                           return std::string(info.param == RoadModel::A ? "A" : "B");
                         });

}  // namespace
}  // namespace kestrel::test
