// The default devmode and printer-data record built from the models' data.
#include <map>
#include <set>

#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

constexpr DWORD kBaseFields = 0xFF13;            // orientation .. collate
constexpr DWORD kFormNameField = 0x10000;
constexpr DWORD kIcmFields = 0x1E000000;         // ICM method, intent, media, dither

WORD LayoutOffset(WORD id) { return ddm_FindLayout(id, nullptr, nullptr)->offset; }

// Every member of every member table, in build order.
std::vector<WORD> AllMembers() {
  std::vector<WORD> ids;
  for (WORD g = 0; g < 12; ++g) {
    const CDM_MEMBER_ENTRY* t = nullptr;
    WORD n = 0;
    local_GetCdmDmDataFuncTbl(g, &t, &n, nullptr);
    for (WORD i = 0; i < n; ++i) ids.push_back(static_cast<WORD>(t[i].ddmId));
  }
  return ids;
}

// A member's value as comparable bytes: numbers as their 32-bit value,
// strings and fonts by content. Empty when it cannot be read.
std::vector<BYTE> Stored(Records& r, WORD id) {
  WORD type = 0, location = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (dmaCore_GetValue(DMA_RULES_KERNEL, id, r.dm.data(), r.pd.data(), &type, &size, &v, &location) != 0) return {};
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
    const BYTE* p = reinterpret_cast<const BYTE*>(v);
    return std::vector<BYTE>(p, p + size);
  }
  std::vector<BYTE> out(4);
  DWORD w = static_cast<DWORD>(v);
  if (size == 2) w &= 0xFFFF;
  if (size == 1) w &= 0xFF;
  std::memcpy(out.data(), &w, 4);
  return out;
}

std::vector<BYTE> Number(DWORD w) {
  std::vector<BYTE> out(4);
  std::memcpy(out.data(), &w, 4);
  return out;
}

// The default as the same comparable bytes (no default: zero).
std::vector<BYTE> Default(HCDDD h, WORD id) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  LONG r = cdmGetDefaultData(h, id, &type, &size, &v);
  std::vector<BYTE> out(4);
  if (r != 1) return out;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
    auto p = reinterpret_cast<const BYTE*>(v);
    DWORD bytes = type == DDM_TYPE_FONT ? NRV_LOGFONT_SIZE : 0;
    if (type == DDM_TYPE_STRING)
      while (p[bytes] || p[bytes + 1]) bytes += 2;
    out.assign(p, p + bytes + (type == DDM_TYPE_STRING ? 2 : 0));
  } else {
    DWORD w = cdmDmConvertDWORD(type, &v);
    if (type == DDM_TYPE_SHORT || type == DDM_TYPE_WORD) w &= 0xFFFF;
    std::memcpy(out.data(), &w, 4);
  }
  cdmDmIdDefaultDataFree(id, v, type);
  return out;
}

TEST_F(DefaultsTest, EachModelGivesTheKeyBytes) {
  struct Case {
    const char* model;
    DWORD fields;
    WORD color;                        // dmColor: 2 colour, 1 monochrome
    DWORD colourMode, second, forced;  // members 270, 345 and printer-data 5202
  };
  // K350's data has colour-management version 2, K260's version 0. K350
  // defaults to automatic colour; K260 offers black and white only.
  const Case cases[] = {{"K350", kBaseFields | kFormNameField | kIcmFields, 2, 0, 0, 0},
                        {"K260", kBaseFields | kFormNameField, 1, 1, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    HCDDD h = OpenModel(c.model);
    ASSERT_NE(nullptr, h);
    Records r;
    std::fill(r.dm.begin(), r.dm.end(), 0xEE);
    std::fill(r.pd.begin(), r.pd.end(), 0xEE);
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"Front Desk"));
    EXPECT_EQ(u"Front Desk", WideAt(r, 0, 32));
    EXPECT_EQ(0x401, r.U16(64));
    EXPECT_EQ(0x5110, r.U16(66));
    EXPECT_EQ(220, r.U16(68));
    EXPECT_EQ(1336, r.U16(70));
    EXPECT_EQ(c.fields, r.U32(72));
    EXPECT_EQ(0x5110, r.U16(220));
    EXPECT_EQ(0x2182, r.U16(LayoutOffset(258)));
    WORD status = 0;
    LPWSTR model = cdddGetModelName(h, &status);
    ASSERT_NE(nullptr, model);
    EXPECT_EQ(std::u16string(model), WideAt(r, 224, 32));
    kcore_Free(model);
    EXPECT_EQ(1, r.U16(86));  // dmCopies
    EXPECT_EQ(c.color, r.U16(92));
    EXPECT_EQ(Number(c.colourMode), Stored(r, 270));
    EXPECT_EQ(Number(c.second), Stored(r, 345));
    EXPECT_EQ(Number(c.forced), Stored(r, 5202));
    WORD pdSize;
    std::memcpy(&pdSize, &r.pd[LayoutOffset(8202)], 2);
    EXPECT_EQ(4736, pdSize);
    EXPECT_EQ(1, cdm_IsDevmode(h, r.dm.data(), r.pd.data()));
  }
}

TEST_F(DefaultsTest, ModelsDifferExactlyWhereTheirDataDiffer) {
  HCDDD a = OpenModel("K350");
  ASSERT_NE(nullptr, a);
  Records ra;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(a, ra.dm.data(), ra.pd.data(), u"P"));
  std::map<WORD, std::vector<BYTE>> defaultsA;
  for (WORD id : AllMembers()) defaultsA[id] = Default(a, id);

  // The second model replaces the first in the driver directory.
  HCDDD b = OpenModel("K260");
  ASSERT_NE(nullptr, b);
  Records rb;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(b, rb.dm.data(), rb.pd.data(), u"P"));

  std::set<WORD> dataDiffer, builtDiffer;
  for (WORD id : AllMembers()) {
    if (defaultsA[id] != Default(b, id)) dataDiffer.insert(id);
    std::vector<BYTE> sa = Stored(ra, id), sb = Stored(rb, id);
    ASSERT_FALSE(sa.empty()) << id;
    if (sa != sb) builtDiffer.insert(id);
  }
  EXPECT_TRUE(dataDiffer.count(259));  // the model name at least
  EXPECT_TRUE(dataDiffer.count(6));    // colour management: K260 has none
  // K260 is monochrome: its colour mode, the dmColor rule's second input and
  // the switch forcing colour mode 1 differ, and so does dmColor itself.
  for (WORD id : {WORD(15), WORD(270), WORD(345), WORD(5202)}) EXPECT_TRUE(dataDiffer.count(id)) << id;
  EXPECT_EQ(dataDiffer, builtDiffer);
}

TEST_F(DefaultsTest, BytesOutsideEveryMemberStayZero) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  Records r;
  std::fill(r.dm.begin(), r.dm.end(), 0xEE);
  std::fill(r.pd.begin(), r.pd.end(), 0xEE);
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"P"));
  std::vector<bool> dmCovered(NRV_DEVMODE_SIZE_FULL), pdCovered(NRV_PRINTERDATA_SIZE);
  const DDM_GROUP* groups = ddm_GroupTable();
  for (int g = 0; g < DDM_GROUP_COUNT; ++g)
    for (WORD i = 0; i < groups[g].layoutCount; ++i) {
      const DDM_LAYOUT& l = groups[g].layout[i];
      DWORD base = groups[g].kind == DDM_KIND_NONDEVMODE ? NRV_NONDEVMODE_OFFSET : 0;
      DWORD bytes = l.mask ? 4 : l.bytes;  // a flag bit or a packed byte: its whole word
      auto& covered = groups[g].kind == DDM_KIND_PRINTERDATA ? pdCovered : dmCovered;
      for (DWORD k = 0; k < bytes; ++k) covered[base + l.offset + k] = true;
    }
  for (size_t i = 0; i < r.dm.size(); ++i)
    if (!dmCovered[i]) {
      ASSERT_EQ(0, r.dm[i]) << "devmode byte " << i;
    }
  for (size_t i = 0; i < r.pd.size(); ++i)
    if (!pdCovered[i]) {
      ASSERT_EQ(0, r.pd[i]) << "printer-data byte " << i;
    }
}

TEST_F(DefaultsTest, DeviceNameKeepsThirtyOneCharacters) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  struct Case {
    size_t chars, kept;
  };
  for (Case c : {Case{0, 0}, Case{31, 31}, Case{32, 31}, Case{40, 31}}) {
    Records r;
    std::u16string name = Chars(c.chars, u'n');
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), name.c_str()));
    EXPECT_EQ(name.substr(0, c.kept), WideAt(r, 0, 32)) << c.chars;
    EXPECT_EQ(0, r.U16(62)) << c.chars;
  }
}

TEST_F(DefaultsTest, MemberWithoutDefaultStaysZeroAndTheNextIsSet) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  // Find, in the data, a member without default followed in its table by a
  // member with a non-zero default.
  WORD none = 0, next = 0;
  for (WORD g = 0; g < 12 && !none; ++g) {
    const CDM_MEMBER_ENTRY* t = nullptr;
    WORD n = 0;
    local_GetCdmDmDataFuncTbl(g, &t, &n, nullptr);
    for (WORD i = 0; i + 1 < n && !none; ++i) {
      WORD type = 0;
      DWORD size = 0;
      ULONG_PTR v = 0;
      WORD a = static_cast<WORD>(t[i].ddmId), b = static_cast<WORD>(t[i + 1].ddmId);
      const DDM_LAYOUT* la = ddm_FindLayout(a, nullptr, nullptr);
      if (la->mask || la->alias || a == 14) continue;  // a plain member of its own
      if (cdmGetDefaultData(h, a, &type, &size, &v) != 2) continue;
      if (cdmGetDefaultData(h, b, &type, &size, &v) != 1) continue;
      bool nonZero = type != DDM_TYPE_STRING && type != DDM_TYPE_FONT && v != 0;
      cdmDmIdDefaultDataFree(b, v, type);
      if (nonZero) none = a, next = b;
    }
  }
  ASSERT_NE(0, none) << "the model has no member without default before a set one";
  Records r;
  std::fill(r.dm.begin(), r.dm.end(), 0xEE);
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"P"));
  for (BYTE byte : MemberBytes(r, none)) EXPECT_EQ(0, byte) << none;
  EXPECT_EQ(Default(h, next), Stored(r, next)) << next;
}

TEST_F(DefaultsTest, OnlyTheRecordsGivenAreBuilt) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  Records r;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, nullptr, r.pd.data(), u"P"));
  WORD pdSize;
  std::memcpy(&pdSize, &r.pd[LayoutOffset(8202)], 2);
  EXPECT_EQ(4736, pdSize);
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), nullptr, u"P"));
  EXPECT_EQ(220, r.U16(68));
  EXPECT_EQ(1, cdm_SetDefaultDevmode(h, nullptr, nullptr, u"P"));
}

TEST_F(DefaultsTest, PlatformCodesGiveTheirFields) {
  HCDDD h = OpenModel("K350");  // colour-management version 2
  ASSERT_NE(nullptr, h);
  struct Case {
    DWORD major, minor, platform;
    BOOL built;
    DWORD fields;
  };
  const Case cases[] = {
      {4, 0, VER_PLATFORM_WIN32_WINDOWS, 1, kBaseFields},                     // 257
      {4, 10, VER_PLATFORM_WIN32_WINDOWS, 1, kBaseFields | kIcmFields},       // 258
      {4, 0, VER_PLATFORM_WIN32_NT, 1, kBaseFields | kFormNameField},         // 513
      {5, 1, VER_PLATFORM_WIN32_NT, 1, kBaseFields | kFormNameField | kIcmFields},  // 514
      {3, 51, VER_PLATFORM_WIN32_NT, 0, 0},                                   // 512: no column
  };
  for (const Case& c : cases) {
    KpSetVersion(c.major, c.minor, 0, c.platform);
    Records r;
    EXPECT_EQ(c.built, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"P")) << c.major << "." << c.minor;
    EXPECT_EQ(c.fields, r.U32(72)) << c.major << "." << c.minor;
    // A failed group is left; the groups after it are still built.
    EXPECT_EQ(0x2182, r.U16(LayoutOffset(258)));
  }
}

TEST_F(DefaultsTest, ColourManagementVersionDecidesItsFourBits) {
  struct Case {
    WORD platform, version;
    DWORD fields;
  };
  const Case cases[] = {
      {514, 0, kBaseFields | kFormNameField},      {514, 1, kBaseFields | kFormNameField | kIcmFields},
      {514, 65534, kBaseFields | kFormNameField | kIcmFields}, {514, 65535, kBaseFields | kFormNameField},
      {258, 65535, kBaseFields},                   {258, 7, kBaseFields | kIcmFields},
      {513, 7, kBaseFields | kFormNameField},      {257, 7, kBaseFields},
  };
  for (const Case& c : cases) {
    DWORD fields = 0xDEAD;
    ASSERT_EQ(1, cdmGetFieldsFor(c.platform, c.version, CDM_OP_DEFAULT, &fields));
    EXPECT_EQ(c.fields, fields) << c.platform << " " << c.version;
  }
  DWORD fields = 0xDEAD;
  EXPECT_EQ(0, cdmGetFieldsFor(512, 2, CDM_OP_DEFAULT, &fields));
  EXPECT_EQ(0xDEADu, fields);
  // The merge asks with operation 2: the same bits.
  ASSERT_EQ(1, cdmGetFieldsFor(514, 2, CDM_OP_CHECK, &fields));
  EXPECT_EQ(kBaseFields | kFormNameField | kIcmFields, fields);
}

TEST_F(DefaultsTest, PreConfigurationDefaultReplacesTheDataDefault) {
  WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0\r\n");
  WriteDriverFile("K350.cfg", "[Scriva_K350]\r\nstaple.default=9\r\n");
  PreConfig_InstallAttachOps();
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  ASSERT_NE(nullptr, h->preConfig);
  Records r;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"P"));
  EXPECT_EQ(std::vector<BYTE>({10, 0, 0, 0}), Stored(r, 320));
  // Without the configuration file the data's default stands.
  cddd_SetAttachOps(nullptr);
  HCDDD plain = OpenModel("K350");
  ASSERT_NE(nullptr, plain);
  Records p;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(plain, p.dm.data(), p.pd.data(), u"P"));
  EXPECT_NE(Stored(r, 320), Stored(p, 320));
  EXPECT_EQ(Default(plain, 320), Stored(p, 320));
}

// dmTTOption has no default of its own: it follows the TrueType handling
// (292), the model's or the pre-configuration's font_subst (which maps 0 to
// 2, 1 to 1 and 2 to 0), and so passes the member check that 0 failed.
TEST_F(DefaultsTest, TrueTypeOptionFollowsTheTrueTypeHandling) {
  struct Case {
    const char* model;
    const char* fontSubst;  // the configuration's font_subst default; null: no configuration
    DWORD handling, ttOption;  // members 292 and 17
  };
  const Case cases[] = {{"K350", nullptr, 0, DMTT_SUBDEV},
                        {"K260", nullptr, 0, DMTT_SUBDEV},
                        {"K350", "1", 1, DMTT_BITMAP},
                        {"K350", "0", 2, DMTT_SUBDEV}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + (c.fontSubst ? c.fontSubst : "-"));
    cddd_SetAttachOps(nullptr);
    if (c.fontSubst) {
      WriteDriverFile("kestrel.cfg", "[LOG]\r\nLog=0\r\n");
      WriteDriverFile("K350.cfg", std::string("[Scriva_K350]\r\nfont_subst.default=") + c.fontSubst + "\r\n");
      PreConfig_InstallAttachOps();
    }
    HCDDD h = OpenModel(c.model);
    ASSERT_NE(nullptr, h);
    Records r;
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h, r.dm.data(), r.pd.data(), u"P"));
    EXPECT_EQ(Number(c.handling), Stored(r, 292));
    EXPECT_EQ(Number(c.ttOption), Stored(r, 17));
    EXPECT_EQ(1, cdmPublicDataCheck(h, r.dm.data(), r.pd.data(), 17, CDM_OP_CHECK));
    // A devmode built without printer data is derived the same way.
    Records alone;
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h, alone.dm.data(), nullptr, u"P"));
    EXPECT_EQ(Number(c.ttOption), Stored(alone, 17));
  }
}

TEST_F(DefaultsTest, AFailedMemberIsReported) {
  // No description handle: members served by the data cannot be produced.
  Records r;
  EXPECT_EQ(0, cdm_SetDefaultDevmode(nullptr, r.dm.data(), r.pd.data(), u"P"));
  EXPECT_EQ(0x5110, r.U16(220));  // groups without such a member first are built
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  EXPECT_EQ(-1, cdmGetDefaultData(nullptr, 7, &type, &size, &v));
  EXPECT_EQ(-1, cdmGetDefaultData(nullptr, 9999, &type, &size, &v));
}

TEST_F(DefaultsTest, OneMemberDefaultIsWrittenAlone) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  Records r;
  EXPECT_EQ(1, cdmSetDefaultData(h, r.dm.data(), 12, r.pd.data()));
  EXPECT_EQ(1, r.U16(86));
  EXPECT_EQ(1, cdmSetDefaultData(h, r.dm.data(), 19, r.pd.data()));
  EXPECT_FALSE(WideAt(r, 102, 32).empty());
  // The user-defined papers: slot 0 gets its default name and the sizes of
  // the data's user-defined paper.
  EXPECT_EQ(1, cdmSetDefaultData(h, r.dm.data(), 5929, r.pd.data()));
  EXPECT_EQ(1, cdmSetDefaultData(h, r.dm.data(), 5889, r.pd.data()));
  WCHAR name[15] = {};
  WORD width = 0, length = 0;
  ASSERT_EQ(1, cdmSearchDefineInfo(r.dm.data(), r.pd.data(), 262, DDM_TYPE_SHORT, &width, &length, name, 15));
  WCHAR expected[15] = {};
  ASSERT_EQ(1, zanLib_GetUsrDefPap_DefaultName(0, expected, 15));
  EXPECT_EQ(std::u16string(expected), std::u16string(name));
  WORD lowerWidth = 0;
  ASSERT_EQ(1, cdddGetPaperSize(h, 8, 9, &lowerWidth, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(lowerWidth, width);
  EXPECT_EQ(0, length);  // not written yet
}

}  // namespace
}  // namespace kestrel::test::defaults
