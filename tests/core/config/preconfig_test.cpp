// The configuration-file parser and the pre-configuration store.
#include "kestrel/core/preconfig.h"

#include <kplatform/kwindows.h>

#include "config_fixture.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/dme.h"
#include "kestrel/core/kcore_sys.h"

namespace kestrel::test::config {
namespace {

// A section's entry list: NUL-separated, ended by an empty string.
std::u16string Entries(std::initializer_list<std::u16string> lines) {
  std::u16string out;
  for (const auto& l : lines) {
    out += l;
    out.push_back(0);
  }
  out.push_back(0);
  return out;
}

struct Found {
  WORD index;
  std::u16string value;
};
Found Get(const std::u16string& entries, const std::u16string& key, WORD start = 1, WORD last = 0) {
  LPWSTR value = nullptr;
  WORD at = CFG_GetCfgValueString(start, last, entries.c_str(), key.c_str(), &value);
  Found f{at, value ? value : u""};
  kcore_Free(value);
  return f;
}

TEST(CfgParser, KeysMatchByPrefixWithinTheirLimits) {
  const std::u16string key46 = std::u16string(45, u'k') + u"=";
  const std::u16string key47 = std::u16string(46, u'k') + u"=";
  const std::u16string entries = Entries({
      u"duplex.enforced=",  // empty value: never matches
      u"DUPLEX.ENFORCED=1",
      key46 + u"v46",
      key47 + u"v47",
      u"long=" + std::u16string(40, u'9'),
      u"duplex.enforced=2",
  });
  struct Case {
    std::u16string key;
    WORD start, last;
    WORD index;
    std::u16string value;
  };
  const Case cases[] = {
      {u"duplex.enforced=", 1, 0, 2, u"1"},  // letter case ignored, first match
      {u"duplex.enforced=", 1, 1, 6, u"2"},  // take the last
      {u"duplex.enforced=", 3, 0, 6, u"2"},  // entries before the start skipped
      {u"duplex.enforced=", 7, 0, 0, u""},
      {key46, 1, 0, 3, u"v46"},
      {key47, 1, 0, 0, u""},                          // a key of 47 characters never matches
      {u"long=", 1, 0, 5, std::u16string(31, u'9')},  // value cut at 31
      {u"duplex.enforced", 1, 0, 1, u"="},            // the key holds its "=": without it the rest is the value
      {u"", 1, 0, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key.begin(), c.key.end()));
    Found f = Get(entries, c.key, c.start, c.last);
    EXPECT_EQ(c.index, f.index);
    EXPECT_EQ(c.value, f.value);
  }
  // An out value that already holds a block is refused and kept.
  LPWSTR held = static_cast<LPWSTR>(kcore_Alloc(4));
  LPWSTR value = held;
  EXPECT_EQ(0, CFG_GetCfgValueString(1, 0, entries.c_str(), u"long=", &value));
  EXPECT_EQ(held, value);
  kcore_Free(held);
}

TEST(CfgParser, ValuesAreWordsOrLeadingDigits) {
  struct Case {
    const char16_t* text;
    BOOL ok;
    DWORD value;
  };
  const Case cases[] = {
      {u"12abc", 1, 12},
      {u"-1", 0, 0},
      {u"+1", 0, 0},
      {u"on", 1, 1},
      {u"OFF", 1, 0},
      {u"Gray", 1, 1},
      {u"sample_print", 1, 2},
      {u"FinisherA", 1, 10},
      {u"option9", 1, 9},
      {u"4294967295", 1, 0xFFFFFFFF},
      {u"4294967296", 0, 0},  // does not fit in 32 bits
      {u"99999999999999999999", 0, 0},
      {u"", 0, 0},
      {u" 1", 0, 0},
      {u"x1", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::u16string(c.text).size());
    DWORD v = 0xDEAD;
    EXPECT_EQ(c.ok, PreConfig_ParseValue(c.text, &v));
    if (c.ok) {
      EXPECT_EQ(c.value, v);
    }
  }
}

TEST(CfgParser, ConversionToDdmValues) {
  struct Case {
    WORD id;
    DWORD configured;
    BOOL ok;
    DWORD ddm;
  };
  const Case cases[] = {
      {16, 0, 1, 1},     {16, 1, 1, 2},   {16, 2, 1, 3},   {16, 3, 0, 0},   {320, 9, 1, 10},
      {320, 10, 1, 9},   {320, 12, 0, 0}, {292, 0, 1, 2},  {292, 2, 1, 0},  {270, 2, 1, 2},
      {4359, 10, 1, 10}, {4359, 5, 0, 0}, {5154, 3, 1, 3}, {9999, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " " << c.configured);
    DWORD v = 0;
    EXPECT_EQ(c.ok, PreConfig_ConvertValue(c.id, c.configured, &v));
    if (c.ok) {
      EXPECT_EQ(c.ddm, v);
    }
  }
}

TEST(CfgParser, SectionNames) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"ABC-100 PS/2", u"ABC_100_PS_2"}, {u"Scriva K350", u"Scriva_K350"}, {u"plain", u"plain"}};
  for (auto [model, section] : cases) {
    WCHAR buffer[64];
    ASSERT_TRUE(PreConfig_SectionName(model, buffer, 64));
    EXPECT_EQ(std::u16string(section), std::u16string(buffer));
  }
  WCHAR small[4];
  EXPECT_FALSE(PreConfig_SectionName(u"ABCD", small, 4));
}

class PreConfig : public ConfigTest {
 protected:
  void TearDown() override {
    for (void* h : handles_) PreConfig_CloseFileEx(h);
    cddd_SetAttachOps(nullptr);
    ConfigTest::TearDown();
  }
  PRECONFIG_HANDLE* Open(const char16_t* model, const std::string& text) {
    WriteDriverFile("K350.cfg", text);
    void* h = PreConfig_OpenFileEx(model, DriverFile(u"K350.cfg").c_str());
    if (h) handles_.push_back(h);
    return static_cast<PRECONFIG_HANDLE*>(h);
  }
  WORD Flags(WORD id, void* h) {
    WORD flags = 0;
    return PreConfig_GetPropertyFlg(id, h, &flags) ? flags : 0xFFFF;
  }
  std::vector<void*> handles_;
};

TEST_F(PreConfig, ModelSectionEnforcedBeatsDefault) {
  PRECONFIG_HANDLE* h = Open(u"ABC-100 PS/2",
                             "[default]\r\nduplex.enforced=0\r\n"
                             "[abc_100_ps_2]\r\n"
                             "ColorMode.default=color\r\nColorMode.enforced=gray\r\n"
                             "duplex.enforced=1\r\nstaple.default=9\r\npunch.display=dimout\r\n"
                             "JobType.enforced=bogus\r\nJobType.default=secure_print\r\n"
                             "banner.display=7\r\nfonttype.enforced=-1\r\nbanner.enforced=12abc\r\n");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(PRECONFIG_ENFORCED, Flags(270, h));
  EXPECT_EQ(PRECONFIG_ENFORCED, Flags(16, h));
  EXPECT_EQ(PRECONFIG_DEFAULT, Flags(320, h));
  EXPECT_EQ(PRECONFIG_DIMOUT, Flags(341, h));
  EXPECT_EQ(PRECONFIG_DEFAULT, Flags(334, h));   // the bad enforced value is dropped
  EXPECT_EQ(PRECONFIG_ENFORCED, Flags(332, h));  // display 7 ignored; "12abc" read as 12
  EXPECT_EQ(0xFFFF, Flags(1335, h));             // "-1" refused
  EXPECT_TRUE(PreConfig_IsEnforcedProperty(270, h));
  EXPECT_FALSE(PreConfig_IsEnforcedProperty(320, h));
  EXPECT_FALSE(PreConfig_IsEnforcedProperty(341, h));

  // Entries stand in the reverse order of the function table.
  const WORD order[] = {341, 320, 332, 16, 334, 270};
  ASSERT_EQ(6, h->funcCount);
  for (WORD i = 0; i < 6; ++i) EXPECT_EQ(order[i], h->funcs[i].ddmId) << i;
  EXPECT_EQ(1u, h->funcs[h->funcCount - 1].value);  // gray

  struct Case {
    WORD id, type;
    BOOL ok;
    DWORD value;
  };
  const Case cases[] = {
      {270, DDM_TYPE_WORD, 1, 1},  {16, DDM_TYPE_SHORT, 1, 2},
      {320, DDM_TYPE_BYTE, 1, 10}, {341, DDM_TYPE_WORD, 0, 0},  // display only
      {332, DDM_TYPE_WORD, 0, 0},                               // 12 is outside the banner's values
      {16, DDM_TYPE_STRING, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    DWORD dest = 0;
    EXPECT_EQ(c.ok, PreConfig_GetDefaultData(c.id, h, &dest, c.type));
    EXPECT_EQ(c.value, dest);
  }
}

TEST_F(PreConfig, AppliedToTheDevmodeByMode) {
  void* h = Open(u"Scriva K350", "[Scriva_K350]\r\nduplex.enforced=1\r\nbanner.default=2\r\nfont_subst.enforced=0\r\n");
  ASSERT_NE(nullptr, h);
  Records r;
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 332, DDM_TYPE_WORD, 2, 1));
  EXPECT_EQ(1, PreConfig_SetAllDataToDDM(h, r.dm.data(), r.pd.data(), 1));
  EXPECT_EQ(2u, CoreGet(DMA_RULES_MODULE, r, 16).value);   // duplex 1 -> DDM 2
  EXPECT_EQ(2u, CoreGet(DMA_RULES_MODULE, r, 292).value);  // 0 -> 2
  EXPECT_EQ(1u, CoreGet(DMA_RULES_MODULE, r, 332).value);  // a default is not enforced
  EXPECT_EQ(1, PreConfig_SetAllDataToDDM(h, r.dm.data(), r.pd.data(), 0));
  EXPECT_EQ(2u, CoreGet(DMA_RULES_MODULE, r, 332).value);
  EXPECT_EQ(0, PreConfig_SetAllDataToDDM(nullptr, r.dm.data(), r.pd.data(), 1));
}

TEST_F(PreConfig, MonocolorMacroEnforcesAndDims) {
  void* h = Open(u"Scriva K350", "[default]\r\nMONOCOLOR_PRINT=on\r\nSECURE_PRINT=off\r\nColorMode.enforced=color\r\n");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(PRECONFIG_ENFORCED | PRECONFIG_DIMOUT, Flags(270, h));  // the macro before the function
  EXPECT_EQ(PRECONFIG_ENFORCED, Flags(4129, h));
  EXPECT_EQ(0xFFFF, Flags(334, h));  // SECURE_PRINT off brings nothing
  DWORD dest = 0;
  EXPECT_EQ(1, PreConfig_GetDefaultData(270, h, &dest, DDM_TYPE_WORD));
  EXPECT_EQ(1u, dest);

  Records r;
  ASSERT_EQ(0, CoreSet(DMA_RULES_MODULE, r, 4129, DDM_TYPE_FLAG, 4, 1));
  EXPECT_EQ(1, PreConfig_SetAllDataToDDM(h, r.dm.data(), r.pd.data(), 1));
  EXPECT_EQ(1u, CoreGet(DMA_RULES_MODULE, r, 270).value);
  EXPECT_EQ(0u, CoreGet(DMA_RULES_MODULE, r, 4129).value);

  void* without = Open(u"Scriva K350", "[default]\r\nColorMode.enforced=color\r\n");
  EXPECT_EQ(PRECONFIG_ENFORCED, Flags(270, without));
  EXPECT_EQ(0xFFFF, Flags(4129, without));
}

TEST_F(PreConfig, MissingFileAndSections) {
  EXPECT_EQ(nullptr, PreConfig_OpenFileEx(u"Scriva K350", DriverFile(u"none.cfg").c_str()));
  EXPECT_EQ(nullptr, Open(u"Scriva K350", ""));  // empty file
  PRECONFIG_HANDLE* h = Open(u"Scriva K350", "[Other]\r\nduplex.enforced=1\r\n");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(0, h->funcCount);
  EXPECT_EQ(0, h->macroCount);
  EXPECT_EQ(0xFFFF, Flags(16, h));
  EXPECT_EQ(0xFFFF, Flags(16, nullptr));
}

TEST_F(PreConfig, DirectValuesAndComment) {
  WriteDriverFile("K350.cfg", "[default]\r\nCOMMENT=v1.2 default\r\n[Scriva_K350]\r\nCOMMENT = v2.0\r\nKey=abc\r\n");
  const std::u16string file = DriverFile(u"K350.cfg");
  struct Case {
    const char16_t* model;
    const char16_t* key;  // null: the comment
    const char16_t* value;
  };
  const Case cases[] = {{u"Scriva K350", nullptr, u"v2.0"},
                        {u"Scriva K260", nullptr, u"v1.2 default"},
                        {u"Scriva K350", u"Key", u"abc"},
                        {u"Scriva K350", u"Missing", u""}};  // the empty default
  for (const Case& c : cases) {
    LPWSTR v = c.key ? PreConfig_GetValueDirect(c.model, file.c_str(), c.key)
                     : PreConfig_GetPrCfgVersionComment(c.model, file.c_str());
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(std::u16string(c.value), std::u16string(v));
    kcore_Free(v);
  }
  EXPECT_EQ(nullptr, PreConfig_GetValueDirect(u"Scriva K350", file.c_str(), nullptr));
}

TEST_F(PreConfig, DescriptionHandleOpensBothLayers) {
  ASSERT_EQ(InstallModelFiles(kModelA), "");
  WriteDriverFile("K350.cfg", "[Scriva_K350]\r\nduplex.enforced=1\r\n[DME,1]\r\nbin.TRAY1=14\r\nformdb.mode=1\r\n");
  LogConfig("[LOG]\r\nLog=0\r\n");
  PreConfig_InstallAttachOps();
  HCDDD h = cddd_OpenFile(DriverFile(u"K350.DDD").c_str());
  ASSERT_NE(nullptr, h);
  LPWSTR name = PreConfig_GetPreConfigFileName(h);
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(DriverFile(u"K350.cfg"), std::u16string(name));
  kcore_Free(name);
  EXPECT_TRUE(PreConfig_IsEnforcedProperty(16, h->preConfig));
  EXPECT_EQ(1, dme_IsEnableDME(h->dme));
  EXPECT_EQ(1, dme_IsEnableFormDB(h->dme));
  EXPECT_TRUE(cddd_Close(h));

  // Opening the pre-configuration re-reads the trace-log switches.
  WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0x3\r\n");
  h = cddd_OpenFile(DriverFile(u"K350.DDD").c_str());
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(3u, Logout_GetDebugFlag());
  EXPECT_TRUE(cddd_Close(h));
}

}  // namespace
}  // namespace kestrel::test::config
