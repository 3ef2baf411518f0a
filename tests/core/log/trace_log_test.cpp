// The trace log: switches, the exact bytes of every kind of line, the
// debugger output, the bounds of a line.
#include <kplatform/kwindows.h>

#include <set>
#include <sstream>

#include "config_fixture.h"
#include "kestrel/core/logout.h"

namespace kestrel::test::config {
namespace {

class TraceLog : public ConfigTest {
 protected:
  // The standard part of a devmode with a value in every kind of member.
  void FillPublic(Records& r) {
    std::u16string name = u"Scriva K350";
    std::memcpy(&r.dm[0], name.data(), name.size() * 2);
    r.PutU16(64, 0x401);
    r.PutU16(66, 0x5110);
    r.PutU16(68, 220);
    r.PutU16(70, 1336);
    r.PutU32(72, 0x0180FF13);
    r.PutU16(76, 1);
    r.PutU16(78, 9);
    r.PutU16(80, 2970);
    r.PutU16(82, 2100);
    r.PutU16(84, 100);
    r.PutU16(86, 3);
    r.PutU16(88, 7);
    r.PutU16(90, 600);
    r.PutU16(92, 2);
    r.PutU16(94, 1);
    r.PutU16(96, 600);
    r.PutU16(98, 2);
    r.PutU16(100, 0xFFFF);  // -1
    std::u16string form = u"A4";
    std::memcpy(&r.dm[102], form.data(), form.size() * 2);
    r.PutU32(196, 256);
    r.PutU32(216, 5);
  }
};

TEST_F(TraceLog, SwitchWordIsReadAsEightDigitsAtMost) {
  struct Case {
    const char* line;  // the Log line of section LOG, or null for none
    DWORD flag;
  };
  const Case cases[] = {
      {"Log=0x80000001", 0x80000001},  // ten characters with the prefix
      {"Log=0X1F", 0x1F},
      {"Log=0x0000000F", 0xF},
      {"Log=12345678", 12345678},
      {"Log=123456789", 0},    // nine decimal digits
      {"Log=0x123456789", 0},  // nine hexadecimal digits
      {"Log=4294967295", 0},
      {"Log=0x", 0},
      {"Log=abc", 0},
      {"Log=-1", 0},
      {"Log=", 0},
      {"Other=1", 0},
      {nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line ? c.line : "(no key)");
    LogConfig(c.line ? std::string("[LOG]\r\n") + c.line + "\r\n" : "[OTHER]\r\nLog=1\r\n");
    EXPECT_EQ(c.flag, Logout_GetDebugFlag());
  }
}

TEST_F(TraceLog, TargetIdsSkipRepeatsAndBadValues) {
  LogConfig(
      "[LOG]\r\nLog=1\r\nLOGOUT.DDMID=270\r\nLOGOUT.DDMID=12\r\nlogout.ddmid=0x10E\r\nLOGOUT.DDMID=x\r\n"
      "LOGOUT.DDMID=0\r\nLOGOUT.DDMID=65536\r\nLOGOUT.DDMID=0x0C\r\nLOGOUT.DDMID=5201\r\n");
  WORD ids[8] = {};
  ASSERT_EQ(3, Logout_GetTargetIds(ids, 8));
  EXPECT_EQ(270, ids[0]);
  EXPECT_EQ(12, ids[1]);
  EXPECT_EQ(5201, ids[2]);

  LogConfig("[LOG]\r\nLog=0\r\nLOGOUT.DDMID=270\r\n");  // logging off: no list
  EXPECT_EQ(0, Logout_GetTargetIds(ids, 8));
}

TEST_F(TraceLog, EntryExitAndDevmodeDumpsAsWritten) {
  LogConfig("[LOG]\r\nLog=0x0000000F\r\n");
  Records r;
  FillPublic(r);
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 270, DDM_TYPE_WORD, 2, 2));
  ASSERT_EQ(0, CoreSetString(DMA_RULES_MODULE, r, 259, u"Scriva K350"));

  ASSERT_EQ(1, Logout_OpenFile());
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvDocumentPropertySheets"));
  EXPECT_EQ(1, Logout_OutDDIFunctionTraceLog(u"DrvDocumentPropertySheets RetValue = %d", 1));
  EXPECT_EQ(1, Logout_OutputPublicDevmode(nullptr, r.dm.data()));
  EXPECT_EQ(1, Logout_OutputdmFields(u"\nInput DEVMODE(dmFields)", r.dm.data()));
  EXPECT_EQ(1, Logout_OutputPrivateDevmode(u"\nInput DEVMODE(Private)", r.dm.data(), 270));
  EXPECT_EQ(1, Logout_OutputPrivateDevmode(nullptr, r.dm.data(), 259));
  EXPECT_EQ(0, Logout_OutputPublicDevmode(u"x", nullptr));
  EXPECT_EQ(0, Logout_OutputPrivateDevmode(u"x", nullptr, 270));
  EXPECT_EQ(0, Logout_OutputdmFields(u"x", nullptr));
  EXPECT_EQ(1, Logout_OutputString(u"%s=%d", u"Copies", 3));
  ASSERT_EQ(1, Logout_CloseFile());

  const std::string golden =
      "IN <<DrvDocumentPropertySheets\n"
      "OUT>>DrvDocumentPropertySheets RetValue = 1\n"
      "\n"
      "\n"
      "<PublicDevmode>\n"
      "dmDeviceName       =Scriva K350\n"
      "dmSpecVersion      =1025\n"
      "dmDriverVersion    =20752\n"
      "dmSize             =220\n"
      "dmDriverExtra      =1336\n"
      "dmFields           =180FF13\n"
      "dmOrientation      =1\n"
      "dmPaperSize        =9\n"
      "dmPaperLength      =2970\n"
      "dmPaperWidth       =2100\n"
      "dmScale            =100\n"
      "dmCopies           =3\n"
      "dmDefaultSource    =7\n"
      "dmPrintQuality     =600\n"
      "dmColor            =2\n"
      "dmDuplex           =1\n"
      "dmYResolution      =600\n"
      "dmTTOption         =2\n"
      "dmCollate          =-1\n"
      "dmFormName         =A4\n"
      "dmLogPixels        =0\n"
      "dmBitsPerPel       =0\n"
      "dmPelsWidth        =0\n"
      "dmPelsHeight       =0\n"
      "dmDisplayFlags     =0\n"
      "dmDisplayFrequency =0\n"
      "dmICMMethod        =0\n"
      "dmICMIntent        =0\n"
      "dmMediaType        =256\n"
      "dmDitherType       =0\n"
      "dmPanningWidth     =0\n"
      "dmPanningHeight    =5\n"
      "\n"
      "Input DEVMODE(dmFields)\n"
      "dmOrientation = ON\n"
      "dmPaperSize = ON\n"
      "dmPaperLength = OFF\n"
      "dmPaperWidth = OFF\n"
      "dmScale = ON\n"
      "dmCopies = ON\n"
      "dmDefaultSource = ON\n"
      "dmPrintQuality = ON\n"
      "dmColor = ON\n"
      "dmDuplex = ON\n"
      "dmYResolution = ON\n"
      "dmTTOption = ON\n"
      "dmCollate = ON\n"
      "dmFormName = OFF\n"
      "dmLogPixels = OFF\n"
      "dmBitsPerPel = OFF\n"
      "dmPelsWidth = OFF\n"
      "dmPelsheight = OFF\n"
      "dmDisplayFlags = OFF\n"
      "dmDisplayFrequen = OFF\n"
      "dmICMMetHod = OFF\n"
      "dmICMintent = OFF\n"
      "dmMediaType = OFF\n"
      "dmDitherType = OFF\n"
      "dmPanningWidth = ON\n"
      "dmPanningHeight = ON\n"
      "\n"
      "Input DEVMODE(Private)\n"
      "FunctionID:270(0x10E)       = 2\n"
      "\n"
      "<PrivateDevmode>\n"
      "FunctionID:259(0x103)       = Scriva K350\n"
      "lpdevmode = NULL\n"
      "lpdevmode = NULL\n"
      "lpDevmode = NULL\n"
      "Copies=3\n";
  EXPECT_EQ(golden, Log());
}

TEST_F(TraceLog, ShortDevmodeIsNotReadPastItsSize) {
  LogConfig("[LOG]\r\nLog=0x5\r\n");
  // A devmode of 156 bytes on the heap: members from dmLogPixels on lie
  // beyond it and are left out.
  std::vector<BYTE> dm(156);
  WORD size = 156;
  std::memcpy(&dm[68], &size, 2);
  EXPECT_EQ(1, Logout_OutputPublicDevmode(u"<short>", dm.data()));
  std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("dmCollate          =0\n"));
  EXPECT_EQ(std::string::npos, log.find("dmFormName"));
  EXPECT_EQ(std::string::npos, log.find("dmPanningHeight"));
}

TEST_F(TraceLog, DdmDumpListsTheExtraIdsBetweenRules) {
  LogConfig(
      "[LOG]\r\nLog=0x00000001\r\nLOGOUT.DDMID=1\r\nLOGOUT.DDMID=12\r\nLOGOUT.DDMID=0x0C\r\nLOGOUT.DDMID=6\r\n"
      "LOGOUT.DDMID=270\r\nLOGOUT.DDMID=273\r\nLOGOUT.DDMID=346\r\nLOGOUT.DDMID=306\r\nLOGOUT.DDMID=304\r\n"
      "LOGOUT.DDMID=1281\r\n");
  Records r;
  FillPublic(r);
  // The fixture's members have the types the line formats are chosen by.
  const std::pair<WORD, WORD> types[] = {{1, DDM_TYPE_STRING},   {12, DDM_TYPE_SHORT},  {6, DDM_TYPE_DWORD},
                                         {270, DDM_TYPE_WORD},   {273, DDM_TYPE_DWORD}, {346, DDM_TYPE_BYTE},
                                         {306, DDM_TYPE_LFLONG}, {304, DDM_TYPE_FONT},  {1281, DDM_TYPE_FLAG}};
  for (auto [id, type] : types) ASSERT_EQ(type, CoreGet(DMA_RULES_MODULE, r, id).type) << id;
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 270, DDM_TYPE_WORD, 2, 2));
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 273, DDM_TYPE_DWORD, 4, 0x12345));
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 346, DDM_TYPE_BYTE, 1, 0xAB));
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 306, DDM_TYPE_LFLONG, 4, static_cast<DWORD>(-12)));
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 1281, DDM_TYPE_FLAG, 4, 1));

  EXPECT_EQ(1, Logout_OutputDDM(0, u"<INPUT  DEVMODE>", r.dm.data(), r.pd.data()));
  const std::string rule(69, '-');
  const std::string golden = "<INPUT  DEVMODE>\n" + rule +
                             "\n"
                             "[0x0001] = [Scriva K350]\n"
                             "[0x000c] = [3]\n"
                             "[0x0006] = [0x180ff13]\n"
                             "[0x010e] = [0x02]\n"
                             "[0x0111] = [0x12345]\n"
                             "[0x015a] = [0xab]\n"
                             "[0x0132] = [-12]\n"
                             "???\n"
                             "[0x0501] = [1]\n" +
                             rule + "\n";
  EXPECT_EQ(golden, Log());
}

TEST_F(TraceLog, DdmDumpRangesAndCategories) {
  Records r;
  FillPublic(r);
  // Both ranges: ids 1-25 and 257-467 only.
  LogConfig("[LOG]\r\nLog=0x31\r\n");
  Logout_OutputDDM(0, nullptr, r.dm.data(), r.pd.data());
  std::istringstream lines(Log());
  std::set<unsigned> ids;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("[0x", 0) == 0) ids.insert(std::stoul(line.substr(3, 4), nullptr, 16));
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(1u, *ids.begin());
  EXPECT_EQ(467u, *ids.rbegin());
  for (unsigned id : ids) EXPECT_TRUE((id >= 1 && id <= 25) || (id >= 257 && id <= 467)) << id;
  EXPECT_TRUE(ids.count(25) && ids.count(257));

  // A category mask lets only the callers whose bits meet it through.
  struct Case {
    const char* config;
    DWORD category;
    bool written;
  };
  const Case cases[] = {
      {"Log=0x00010011", 0x20000, false}, {"Log=0x00010011", 0x10000, true},
      {"Log=0x00000011", 0x20000, true},   // no mask: every caller
      {"Log=0x00000001", 0x10000, false},  // no range bit and no extra id
      {"Log=0x00000010", 0x10000, false},  // logging not on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    std::filesystem::remove(root_.host(kPrnuiLog));
    LogConfig(std::string("[LOG]\r\n") + c.config + "\r\n");
    EXPECT_EQ(1, Logout_OutputDDM(c.category, u"t", r.dm.data(), nullptr));
    EXPECT_EQ(c.written, !Log().empty());
  }
  EXPECT_EQ(1, Logout_OutputDDM(0x10000, u"t", nullptr, nullptr));
}

TEST_F(TraceLog, DebuggerSwitchWritesNoFile) {
  LogConfig("[LOG]\r\nLog=0x80000003\r\n");
  KpClearDebugOutput();
  EXPECT_EQ(1, Logout_OpenFile());
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvConvertDevMode"));
  EXPECT_EQ(1, Logout_OutDDIFunctionTraceLog(u"DrvConvertDevMode RetValue = %d", 0));
  EXPECT_EQ(1, Logout_CloseFile());
  WCHAR buffer[256] = {};
  KpGetDebugOutput(buffer, 256);
  EXPECT_EQ(std::u16string(u"IN <<DrvConvertDevMode\nOUT>>DrvConvertDevMode RetValue = 0\n\n"), std::u16string(buffer));
  EXPECT_FALSE(LogExists());
  EXPECT_FALSE(std::filesystem::exists(root_.host("c/DEBUG_LOG")));
}

TEST_F(TraceLog, NothingHappensWithoutTheSwitch) {
  for (const char* config : {"", "[LOG]\r\nLog=0\r\n", "[LOG]\r\nLog=0x2\r\n"}) {
    SCOPED_TRACE(config);
    if (*config) LogConfig(config);
    Records r;
    EXPECT_EQ(1, Logout_OpenFile());
    EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvDocumentEvent"));
    EXPECT_EQ(1, Logout_OutputString(u"%s", std::u16string(2000, u'x').c_str()));
    EXPECT_EQ(1, Logout_OutputPublicDevmode(nullptr, nullptr));
    EXPECT_EQ(1, Logout_OutputDDM(0, nullptr, r.dm.data(), nullptr));
    EXPECT_EQ(1, Logout_CloseFile());
    EXPECT_FALSE(std::filesystem::exists(root_.host("c/DEBUG_LOG")));
  }
}

TEST_F(TraceLog, LinesOf514CharactersOrMoreAreDropped) {
  LogConfig("[LOG]\r\nLog=0x3\r\n");
  struct Case {
    int kind;  // 0 plain line, 1 entry line (name), 2 exit line (text)
    size_t chars;
    BOOL result;
  };
  const Case cases[] = {
      {0, 513, 1}, {0, 514, 0}, {0, 5000, 0},  // 5000: the formatter's bound is never passed
      {1, 508, 1}, {1, 509, 0},                // "IN <<" takes five
      {2, 507, 1}, {2, 508, 0},                // "OUT>>" and the extra line feed take six
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.chars);
    std::filesystem::remove(root_.host(kPrnuiLog));
    std::u16string text(c.chars, u'x');
    BOOL r = c.kind == 0   ? Logout_OutputString(u"%s", text.c_str())
             : c.kind == 1 ? Logout_InDDIFunctionTraceLog(text.c_str())
                           : Logout_OutDDIFunctionTraceLog(u"%s", text.c_str());
    EXPECT_EQ(c.result, r);
    EXPECT_EQ(c.result != 0, LogExists() && !Log().empty());
  }
}

TEST_F(TraceLog, EachLibraryWritesItsOwnFile) {
  LogConfig("[LOG]\r\nLog=0x3\r\n");
  Logout_SetLibrary(LOGOUT_LIB_UM);
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvSplStartDoc"));
  Logout_SetLibrary(LOGOUT_LIB_PRNUI);
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"DrvDocumentEvent"));
  EXPECT_EQ("IN <<DrvSplStartDoc\n", Log(kUmLog));
  EXPECT_EQ("IN <<DrvDocumentEvent\n", Log(kPrnuiLog));
}

TEST_F(TraceLog, AppendsToAnExistingFile) {
  WriteHostFile(root_.host(kPrnuiLog), "earlier\n");
  LogConfig("[LOG]\r\nLog=0x3\r\n");
  EXPECT_EQ(1, Logout_OpenFile());
  EXPECT_EQ(1, Logout_OpenFile());
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"A"));
  EXPECT_EQ(1, Logout_CloseFile());
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"B"));  // still open once
  EXPECT_EQ(1, Logout_CloseFile());
  EXPECT_EQ(1, Logout_CloseFile());                  // one close too many does nothing
  EXPECT_EQ(1, Logout_InDDIFunctionTraceLog(u"C"));  // opened for the line
  EXPECT_EQ("earlier\nIN <<A\nIN <<B\nIN <<C\n", Log());
}

}  // namespace
}  // namespace kestrel::test::config
