// Devmode emulation: the section, the conversions and the merged fields.
#include "kestrel/core/dme.h"

#include "config_fixture.h"

namespace kestrel::test::config {
namespace {

class Emulation : public ConfigTest {
 protected:
  void TearDown() override {
    for (void* h : handles_) DMETbl_DestroyDmeHandle(h);
    ConfigTest::TearDown();
  }
  void* Make(const std::string& text) {
    WriteDriverFile("K350.cfg", text);
    void* h = DMETbl_CreateDmeHandle(DriverFile(u"K350.cfg").c_str(), 1);
    if (h) handles_.push_back(h);
    return h;
  }
  static DWORD Internal(void* h, WORD feature, DWORD external) {
    DWORD v = 0xDEAD;
    EXPECT_EQ(DME_OK, dme_ConvertToInternalValue(h, feature, external, &v));
    return v;
  }
  std::vector<void*> handles_;
};

TEST_F(Emulation, NoSectionMeansDisabledWithDefaults) {
  for (const char* text : {"", "[DME,2]\r\nbin.TRAY1=14\r\n", "[Scriva_K350]\r\nduplex.enforced=1\r\n"}) {
    SCOPED_TRACE(text);
    void* h = Make(text);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(0, dme_IsEnableDME(h));
    EXPECT_EQ(0, dme_IsEnableFormDB(h));
    const std::pair<WORD, WORD> merges[] = {
        {DME_FEATURE_COLLATE, 1}, {DME_FEATURE_RESOLUTION, 1}, {DME_FEATURE_BIN, 1}, {DME_FEATURE_MEDIA, 0}};
    for (auto [feature, merge] : merges) {
      WORD m = 0;
      EXPECT_EQ(DME_OK, dme_GetMergeMode(h, feature, &m));
      EXPECT_EQ(merge, m) << feature;
    }
    EXPECT_EQ(14u, Internal(h, DME_FEATURE_BIN, 14));  // nothing maps: the value itself
    DWORD fields = 0;
    EXPECT_EQ(DME_OK, dme_GetFields(h, 0x1234, &fields));
    EXPECT_EQ(0x1234u, fields);
  }
  void* none = DMETbl_CreateDmeHandle(DriverFile(u"none.cfg").c_str(), 1);
  ASSERT_NE(nullptr, none);
  EXPECT_EQ(0, dme_IsEnableDME(none));
  DMETbl_DestroyDmeHandle(none);
  EXPECT_EQ(0, dme_IsEnableDME(nullptr));
}

TEST_F(Emulation, BinAndMediaConversions) {
  struct Case {
    const char* section;
    WORD feature;
    DWORD external, internal;
  };
  const Case cases[] = {
      // Every line of an internal name counts.
      {"bin.TRAY1=14\r\nbin.TRAY1=8\r\n", DME_FEATURE_BIN, 14, 1},
      {"bin.TRAY1=14\r\nbin.TRAY1=8\r\n", DME_FEATURE_BIN, 8, 1},
      {"bin.TRAY1=14\r\nbin.TRAY1=8\r\n", DME_FEATURE_BIN, 1, 1},
      // An existing external value is taken over by the new internal value.
      {"bin.TRAY2-1=3\r\n", DME_FEATURE_BIN, 3, 265},
      {"bin.MANUAL=0x101\r\n", DME_FEATURE_BIN, 257, 4},
      // The Windows-value table replaces the entries.
      {"bin.WindowsValue=1\r\n", DME_FEATURE_BIN, 5, 4},
      {"bin.WindowsValue=1\r\n", DME_FEATURE_BIN, 14, 1},
      {"bin.WindowsValue=1\r\n", DME_FEATURE_BIN, 999, 999},
      {"bin.WindowsValue=1\r\nbin.default=7\r\n", DME_FEATURE_BIN, 999, 7},
      {"media.WindowsValue=1\r\n", DME_FEATURE_MEDIA, 1, 0},
      {"media.WindowsValue=1\r\n", DME_FEATURE_MEDIA, 3, 1},
      {"media.WindowsValue=1\r\n", DME_FEATURE_MEDIA, 2, 3},  // the differing entry first
      {"media.PAPER_OHP=20\r\n", DME_FEATURE_MEDIA, 20, 3},
      {"media.PAPER_OHP=x\r\n", DME_FEATURE_MEDIA, 20, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.section << c.external);
    void* h = Make(std::string("[dme,1]\r\n") + c.section);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(1, dme_IsEnableDME(h));
    EXPECT_EQ(c.internal, Internal(h, c.feature, c.external));
  }
}

TEST_F(Emulation, CollateAndBinConvertedInTheDevmode) {
  void* h = Make("[DME,1]\r\nbin.TRAY1=14\r\nmedia.PAPER_THICK=0x200\r\n");
  Records r;
  r.PutU16(88, 14);
  r.PutU32(196, 0x200);
  r.PutU16(100, 1);
  EXPECT_EQ(DME_OK, dme_ConvertDevmode(h, r.dm.data()));
  EXPECT_EQ(1, r.U16(88));
  EXPECT_EQ(1u, r.U32(196));
  EXPECT_EQ(1, r.U16(100));
  EXPECT_EQ(DME_ERR_ARG, dme_ConvertDevmode(h, nullptr));
  EXPECT_EQ(DME_ERR_ARG, dme_ConvertDevmode(nullptr, r.dm.data()));
}

TEST_F(Emulation, FieldsAndMergedFields) {
  void* h = Make("[DME,1]\r\nfields.COPIES=1\r\nfields.SCALE=2\r\nfields.COPIES=0\r\nfields.DUPLEX=1\r\n");
  DWORD fields = 0;
  EXPECT_EQ(DME_OK, dme_GetFields(h, 0x1100, &fields));
  EXPECT_EQ(0x0110u, fields);  // the last COPIES line (0) leaves it; SCALE set, DUPLEX cleared

  struct Case {
    const char* section;
    DWORD dmFields;
    SHORT collate;
    DWORD merged;
  };
  constexpr DWORD kAll = 0x8000 | 0x2400 | 0x200 | 0x8000000;
  const Case cases[] = {
      // Defaults: collate, resolution and bin forced on; media forced off.
      {"", 0, 0, 0x8000 | 0x2400 | 0x200},
      {"", kAll, 0, 0x8000 | 0x2400 | 0x200},
      {"collate.merge=0\r\nresolution.merge=0\r\nbin.merge=2\r\nmedia.merge=1\r\n", kAll | 1, 0, 0x8000000 | 1},
      {"collate.merge=2\r\n", 0, 0, 0x8000 | 0x2400 | 0x200},  // collate 0: on
      {"collate.merge=2\r\n", 0x8000, 1, 0x2400 | 0x200},      // collate 1: off
      {"collate.merge=2\r\ncollate.default=0\r\n", 0x8000, 5, 0x2400 | 0x200},
      {"collate.merge=3\r\n", 0x8000, 0, 0x8000 | 0x2400 | 0x200},  // left as it is
      {"collate.merge=3\r\n", 0, 0, 0x2400 | 0x200},
      {"fields.COPIES=1\r\n", 0x100, 0, 0x8000 | 0x2400 | 0x200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    void* m = Make(std::string("[DME,1]\r\n") + c.section);
    DWORD out = 0;
    EXPECT_EQ(DME_OK, dme_GetMergedFields(m, c.dmFields, c.collate, &out));
    EXPECT_EQ(c.merged, out);
  }
}

TEST_F(Emulation, QueriesRefuseWhatTheyDoNotServe) {
  void* h = Make("[DME,1]\r\nresolution.mode=3\r\ncolor.mode=0x2\r\nformdb.mode=1\r\ncolor.merge=1\r\n");
  WORD v = 0;
  const std::pair<WORD, LONG> merge[] = {
      {0, DME_ERR_FEATURE}, {1, DME_OK}, {4, DME_OK}, {5, DME_ERR_FEATURE}, {6, DME_ERR_FEATURE}};
  for (auto [feature, result] : merge) EXPECT_EQ(result, dme_GetMergeMode(h, feature, &v)) << feature;
  const std::pair<WORD, LONG> mode[] = {{1, DME_ERR_FEATURE}, {2, DME_OK}, {5, DME_OK}, {3, DME_ERR_FEATURE}};
  for (auto [feature, result] : mode) EXPECT_EQ(result, dme_GetModeFlag(h, feature, &v)) << feature;
  EXPECT_EQ(DME_OK, dme_GetModeFlag(h, DME_FEATURE_RESOLUTION, &v));
  EXPECT_EQ(3, v);
  EXPECT_EQ(DME_OK, dme_GetModeFlag(h, DME_FEATURE_COLOR, &v));
  EXPECT_EQ(2, v);
  EXPECT_EQ(1, dme_IsEnableFormDB(h));
  EXPECT_EQ(DME_ERR_ARG, dme_GetMergeMode(nullptr, 1, &v));
  EXPECT_EQ(DME_ERR_ARG, dme_GetModeFlag(h, 2, nullptr));
  DWORD f = 0;
  EXPECT_EQ(DME_ERR_ARG, dme_GetFields(nullptr, 0, &f));
  EXPECT_EQ(DME_ERR_ARG, dme_GetMergedFields(h, 0, 0, nullptr));
  EXPECT_EQ(DME_ERR_ARG, dme_CreateDMEHandle(nullptr));

  // The color feature has no merge property: its line changes nothing.
  const auto* handle = static_cast<const DME_HANDLE*>(h);
  EXPECT_EQ(DME_UNSET, handle->features[DME_FEATURE_COLOR].merge);
  EXPECT_EQ(1u, handle->features[DME_FEATURE_COLOR].changed);
  EXPECT_EQ(0u, handle->features[DME_FEATURE_BIN].changed);
}

}  // namespace
}  // namespace kestrel::test::config
