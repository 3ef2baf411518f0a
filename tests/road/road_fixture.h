// The road's tests: a fresh root with the driver files installed by the
// road library (tools/kprint, `kestrel_road`), queues of model A or B on a
// file port or a loopback printer's TCP port, a fixed clock, and what every
// test checks after a job that failed: nothing of it left behind and the
// queue's stored settings as they were.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "road.h"
#include "road_checks.h"
#include "temp_root.h"
#include "watchdog.h"

namespace kestrel::test {

using kestrel::road::RoadDocument;
using kestrel::road::RoadJob;
using kestrel::road::RoadModel;
using kestrel::road::RoadQueue;
using kestrel::road::RoadSetting;

const char* ModelName(RoadModel model);

// The test name of a row of a table printed on both models: "A_" or "B_"
// and the row's name, with every character but letters and digits as "_".
std::string ModelRowName(RoadModel model, const std::string& row);

// The parameter name of a (model, row index) table over `Rows()`.
template <typename RowsFn>
auto ModelRowNamer(RowsFn rows) {
  return [rows](const auto& info) {
    return ModelRowName(std::get<0>(info.param), rows()[std::get<1>(info.param)].name);
  };
}

class RoadTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A queue of `model` installed on a file port, or on the TCP port `tcpPort`
  // of 127.0.0.1 when not 0. Fails the test when the road refuses.
  RoadQueue Queue(RoadModel model, const std::u16string& printer = u"", uint16_t tcpPort = 0);

  // What a job must leave as it found: the registry (the queue's stored
  // settings and printer data, the user's settings), the queue's settings
  // as kestrelui hands them out, and the files below the root.
  struct Kept {
    RegistryDump registry;
    std::vector<RoadSetting> settings;
    std::set<std::string> files;
  };
  Kept Keep(const RoadQueue& queue) const;
  // Checks that no temporary file or record is left, that no file appeared
  // but the port's and the traces', and that the queue's settings and the
  // registry are unchanged (the spooler's job rows and the monitor's own
  // values excepted).
  // `readSettings` false leaves out asking kestrelui for the settings (the
  // registry comparison holds them too), for checks after every job of a
  // long walk.
  void ExpectNothingLeft(const Kept& before, const RoadQueue& queue, bool readSettings = true) const;

 private:
  int queues_ = 0;
};

}  // namespace kestrel::test
