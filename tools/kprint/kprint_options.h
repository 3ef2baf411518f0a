// kprint's command line: the options, their parsing and the help text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "road.h"

struct KprintOptions {
  kestrel::road::RoadModel model = kestrel::road::RoadModel::A;
  std::vector<kestrel::road::RoadSetting> settings;  // in the order given
  std::string output;                                // the job's file (file port)
  std::string tcpHost;                               // --port HOST:PORT
  uint16_t tcpPort = 0;
  std::string root;  // the platform root: the queue and its stored settings
  kestrel::road::RoadDocument document;
};

// ParseKprintOptions' answers besides 0 (go on).
inline constexpr int kKprintHelp = -1;      // --help: print the help and stop
inline constexpr int kKprintUsageError = 2;  // an unknown option or a malformed value

// Fills `o` from the arguments; the defaults put the root and the output in
// `buildDir`. Setting values are checked for their form here and against
// the model by the road (RoadCheckSettings).
int ParseKprintOptions(int argc, char** argv, const std::string& buildDir, KprintOptions* o, std::string* error);
std::string KprintHelp();
