// The trace log of the kernel-mode build: kestrel.cfg read as plain text,
// every line to the engine's debug print, no file.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/engine_runner.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"
#include "temp_root.h"

namespace kestrel::test::config {
namespace {

class KernelTraceLog : public RootedTest {
 protected:
  void SetUp() override {
    resource_startToUse(nullptr, u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrelkm.dll");
    KpEngineClearDebugOutput();
  }
  void TearDown() override {
    resource_finishToUse();
    Logout_SetLogoutStatus();
  }
  void Config(const std::string& text) {
    WriteHostFile(root_.host(std::string(kDriverDir) + "kestrel.cfg"), text);
    Logout_SetLogoutStatus();
  }
  static std::string Printed() {
    std::vector<char> buffer(1 << 16);
    KpEngineGetDebugOutput(buffer.data(), buffer.size());
    return buffer.data();
  }
};

TEST_F(KernelTraceLog, SwitchIsExactlyEightHexDigits) {
  struct Case {
    const char* text;
    DWORD flag;
  };
  const Case cases[] = {
      {"[LOG]\r\nLOG=0x00000003\r\n", 3},
      {"[LOG]\r\nLog=0x80000003\r\n", 0x80000003},
      {"LOG=0x0000000f", 0xF},       // at the end of the file
      {"[LOG]\r\nLOG=0x03\r\n", 0},  // two digits
      {"[LOG]\r\nLOG=0x000000003\r\n", 0},
      {"[LOG]\r\nLOG=0x0000000G\r\n", 0},
      {"[LOG]\r\nLOG=3\r\n", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (*c.text) {
      Config(c.text);
    } else {
      std::filesystem::remove(root_.host(std::string(kDriverDir) + "kestrel.cfg"));
      Logout_SetLogoutStatus();
    }
    EXPECT_EQ(c.flag, Logout_GetDebugFlag());
  }
}

TEST_F(KernelTraceLog, LinesGoToTheDebugPrint) {
  Config("[LOG]\r\nLOG=0x00000003\r\nLOGOUT.DDMID=12\r\nLOGOUT.DDMID=12\r\nLOGOUT.DDMID=16\r\n");
  WORD ids[4] = {};
  ASSERT_EQ(2, Logout_GetTargetIds(ids, 4));
  EXPECT_EQ(12, ids[0]);
  EXPECT_EQ(16, ids[1]);

  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  SHORT copies = 3;
  std::memcpy(&dm[86], &copies, 2);
  EXPECT_EQ(1, Logout_OpenFile());
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvEnablePDEV"));
  EXPECT_EQ(1, Logout_OutputString(u"100%% %s", u"done"));  // a per cent sign in the line stays text
  EXPECT_EQ(1, Logout_OutDDIFunctionTraceLog(u"DrvEnablePDEV RetValue = 0x%08X", 0x1234u));
  EXPECT_EQ(1, Logout_OutputDDM(0, u"<DDM>", dm.data(), pd.data()));
  EXPECT_EQ(1, Logout_CloseFile());
  const std::string rule(69, '-');
  EXPECT_EQ("IN <<DrvEnablePDEV\n100% done\nOUT>>DrvEnablePDEV RetValue = 0x00001234\n\n<DDM>\n" + rule +
                "\n[0x000c] = [3]\n[0x0010] = [0]\n" + rule + "\n",
            Printed());
  EXPECT_FALSE(std::filesystem::exists(root_.host("c/DEBUG_LOG")));
}

TEST_F(KernelTraceLog, PreConfigurationOpensNoFileButRereadsTheSwitches) {
  WriteHostFile(root_.host(std::string(kDriverDir) + "K350.cfg"), "[default]\r\nduplex.enforced=1\r\n");
  WriteHostFile(root_.host(std::string(kDriverDir) + "kestrel.cfg"), "LOG=0x00000001\r\n");
  EXPECT_EQ(nullptr, PreConfig_OpenFileEx(u"Scriva K350", u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350.cfg"));
  EXPECT_EQ(1u, Logout_GetDebugFlag());
  DWORD value = 0;
  EXPECT_EQ(0, PreConfig_GetDefaultData(16, nullptr, &value, 2));  // nothing claimed without a handle
}

}  // namespace
}  // namespace kestrel::test::config
