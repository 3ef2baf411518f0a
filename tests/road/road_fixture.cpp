#include "road_fixture.h"

#include <cctype>

#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>
#include <kplatform/user32_messagebox.h>
#include <kplatform/winspool.h>

namespace kestrel::test {

const char* ModelName(RoadModel model) { return model == RoadModel::A ? "model A" : "model B"; }

std::string ModelRowName(RoadModel model, const std::string& row) {
  std::string name = std::string(model == RoadModel::A ? "A_" : "B_") + row;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

void RoadTest::SetUp() {
  KpSpoolerReset();
  KpPortReset();
  KpClearMessageBoxes();
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 12;
  t.wDay = 11;
  t.wHour = 9;
  ASSERT_TRUE(KpSetClock(&t));
  const road::RoadResult opened = road::RoadOpen(root_.path());
  ASSERT_TRUE(opened.ok()) << opened.message;
}

void RoadTest::TearDown() {
  KpFailAllocation(0);
  KpEngineFailAllocation(0);
  KpSetWriteFault(0, 0, 0, 0);
  KpSpoolerReset();
  KpPortReset();
  KpClearMessageBoxes();
  KpSetClock(nullptr);
}

RoadQueue RoadTest::Queue(RoadModel model, const std::u16string& printer, uint16_t tcpPort) {
  RoadQueue q;
  q.model = model;
  q.printer = printer;
  // Each queue its own port: a file port has no status support, an "IP_"
  // port talks both ways.
  const std::u16string n = Widen(std::to_string(++queues_));
  if (tcpPort != 0) {
    q.tcpHost = "127.0.0.1";
    q.tcpPort = tcpPort;
    q.portName = u"IP_ROAD" + n + u":";
  } else {
    q.portName = u"ROADFILE" + n + u":";
  }
  const road::RoadResult installed = road::RoadInstallQueue(q);
  EXPECT_TRUE(installed.ok()) << installed.message;
  return q;
}

RoadTest::Kept RoadTest::Keep(const RoadQueue& queue) const {
  Kept kept;
  // Reading the settings makes the user's key of the queue once: read first.
  const road::RoadResult read = road::RoadReadSettings(queue, &kept.settings);
  EXPECT_TRUE(read.ok()) << read.message;
  kept.registry = DumpRegistry();
  kept.files = FilesBelow(root_.path());
  return kept;
}

void RoadTest::ExpectNothingLeft(const Kept& before, const RoadQueue& queue, bool readSettings) const {
  const RegistryDump after = DumpRegistry();
  EXPECT_EQ(TempFileRecords(after), std::vector<std::u16string>{}) << "temporary-file records left";
  EXPECT_EQ(RegistryChanges(before.registry, after), std::vector<std::string>{});
  if (readSettings) {
    std::vector<RoadSetting> settings;
    const road::RoadResult read = road::RoadReadSettings(queue, &settings);
    EXPECT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(settings.size(), before.settings.size());
    for (size_t i = 0; i < settings.size(); ++i) {
      EXPECT_EQ(settings[i].name, before.settings[i].name);
      EXPECT_EQ(settings[i].value, before.settings[i].value) << settings[i].name;
    }
  }
  std::vector<std::string> added;
  for (const std::string& f : FilesBelow(root_.path()))
    if (before.files.count(f) == 0) added.push_back(f);
  EXPECT_EQ(added, std::vector<std::string>{}) << "files left below the root";
}

}  // namespace kestrel::test
