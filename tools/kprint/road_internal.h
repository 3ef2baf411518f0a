// What the road library's sources share (not for callers).
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kestrel/core/cddd.h"
#include "road.h"

namespace kestrel::road {

// One user setting: its road name, its DDM member, the member's value type
// (the description data's), and its named values; `range` takes a number,
// `isText` a text (the printer-data string of the secure print's password).
struct SettingDesc {
  std::string name;
  std::string help;
  WORD id = 0;
  WORD type = 0;
  std::vector<std::pair<std::string, LONG>> values;
  bool range = false;
  bool isText = false;
};
const std::vector<SettingDesc>& SettingTable();
const SettingDesc* FindSetting(const std::string& name);

struct ResolvedSetting {
  const SettingDesc* desc = nullptr;
  LONG number = 0;
  LONG layout = -1;  // the layout mode the setting asks for (poster, booklet), -1 none
  std::string text;
};
RoadResult ResolveSetting(HCDDD ddd, const char* modelName, const RoadSetting& s, ResolvedSetting* out);

// The model's description data, opened from the driver directory with the
// value access loaded through kestrelui (RoadOpen must have run). The value
// access and the resource module are process-wide: callers hold
// SettingsLock from the open to the close.
std::mutex& SettingsLock();
struct ModelData {
  HMODULE library = nullptr;
  HCDDD ddd = nullptr;
};
ModelData OpenModelData(RoadModel model, RoadResult* result);
// The same for a queue's printer handle.
ModelData OpenQueueData(HANDLE printer, RoadResult* result);
void CloseModelData(ModelData* data);
const char* ModelLetter(RoadModel model);

}  // namespace kestrel::road
