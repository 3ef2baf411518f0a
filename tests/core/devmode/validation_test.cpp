// Validation of devmodes handed in from outside, the member checks and the
// user-defined paper slots.
#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

class Validation : public DefaultsTest {
 protected:
  void SetUp() override {
    DefaultsTest::SetUp();
    h_ = OpenModel("K350");  // maximum copies 9999
    ASSERT_NE(nullptr, h_);
    ASSERT_EQ(1, cdm_SetDefaultDevmode(h_, base_.dm.data(), base_.pd.data(), u"P"));
  }
  HCDDD h_ = nullptr;
  Records base_;
};

TEST_F(Validation, ForeignDevmodesAsATable) {
  struct Case {
    const char* what;
    size_t offset;
    WORD value;
    BOOL ours;
  };
  const Case cases[] = {
      {"as built", 0, 0, 1},
      {"dmDriverExtra 5244", 70, 5244, 1},
      {"dmDriverExtra 5220", 70, 5220, 0},
      {"dmDriverExtra 0", 70, 0, 0},
      {"dmSize 1556", 68, 1556, 1},
      {"dmSize 212", 68, 212, 1},
      {"dmSize 300", 68, 300, 0},
      {"version 0x400 at 64", 64, 0x400, 0},
      {"driver version 0x2181", 222, 0x2181, 0},
      {"model name one letter off", 224, u'T', 0},
      {"model name empty", 224, 0, 0},
  };
  for (const Case& c : cases) {
    Records r = base_;
    if (c.offset) r.PutU16(c.offset, c.value);
    EXPECT_EQ(c.ours, cdm_IsDevmode(h_, r.dm.data(), r.pd.data())) << c.what;
  }
  EXPECT_EQ(0, cdm_IsDevmode(h_, nullptr, base_.pd.data()));
}

TEST_F(Validation, AnotherModelsDevmodeIsRefused) {
  Records other;
  HCDDD k260 = OpenModel("K260");
  ASSERT_NE(nullptr, k260);
  ASSERT_EQ(1, cdm_SetDefaultDevmode(k260, other.dm.data(), other.pd.data(), u"P"));
  EXPECT_EQ(1, cdm_IsDevmode(k260, other.dm.data(), other.pd.data()));
  EXPECT_EQ(0, cdm_IsDevmode(k260, base_.dm.data(), base_.pd.data()));
  // Without a description handle the model name cannot be checked.
  EXPECT_EQ(0, cdm_IsDevmode(nullptr, base_.dm.data(), base_.pd.data()));
  EXPECT_EQ(1, wNTc_IsDevmodeOurs(base_.dm.data()));
}

TEST_F(Validation, StandardMemberChecksAsATable) {
  struct Case {
    WORD id;
    LONG value;
    WORD operation;
    BOOL accepted;
  };
  const Case cases[] = {
      {12, 1, CDM_OP_CHECK, 1},      {12, 9999, CDM_OP_CHECK, 1},    {12, 10000, CDM_OP_CHECK, 0},
      {12, 10000, CDM_OP_ALLOWED, 1}, {12, 0, CDM_OP_CHECK, 0},      {12, 0, CDM_OP_ALLOWED, 0},
      {12, -1, CDM_OP_CHECK, 0},     {13, 0, CDM_OP_ALLOWED, 0},     {13, 7, CDM_OP_ALLOWED, 1},
      {16, 3, CDM_OP_ALLOWED, 1},    {16, 4, CDM_OP_ALLOWED, 0},     {7, 2, CDM_OP_CHECK, 1},
      {7, 3, CDM_OP_CHECK, 0},       {17, 4, CDM_OP_CHECK, 1},       {17, 5, CDM_OP_ALLOWED, 0},
      {15, 2, CDM_OP_CHECK, 1},      {15, 3, CDM_OP_CHECK, 0},       {11, 0, CDM_OP_CHECK, 0},
      {11, 400, CDM_OP_ALLOWED, 1},  {18, 1, CDM_OP_CHECK, 1},       {18, 2, CDM_OP_CHECK, 0},
      {22, 4, CDM_OP_CHECK, 1},      {22, 5, CDM_OP_CHECK, 0},       {23, 3, CDM_OP_ALLOWED, 1},
      {23, 4, CDM_OP_ALLOWED, 0},
  };
  for (const Case& c : cases) {
    Records r = base_;
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR old = 0;
    ASSERT_EQ(0, ddm_GetValue(c.id, r.dm.data(), r.pd.data(), &type, &size, &old));
    ULONG_PTR v = static_cast<ULONG_PTR>(static_cast<DWORD>(c.value));
    if (size == 2) v &= 0xFFFF;
    ASSERT_EQ(0, ddm_SetValue(c.id, r.dm.data(), r.pd.data(), type, size, &v)) << c.id;
    EXPECT_EQ(c.accepted, cdmPublicDataCheck(h_, r.dm.data(), r.pd.data(), c.id, c.operation))
        << "member " << c.id << " value " << c.value << " operation " << c.operation;
  }
  // Members outside the ten standard ones are not checked here.
  EXPECT_EQ(1, cdmPublicDataCheck(h_, base_.dm.data(), base_.pd.data(), 300, CDM_OP_CHECK));
}

TEST_F(Validation, ColourManagementValuesFollowThePlatform) {
  struct Case {
    DWORD major, minor, platform;
    BOOL accepted;
  };
  // dmICMMethod 9: only the NT 4 and first 9x platforms take any value.
  const Case cases[] = {{4, 0, VER_PLATFORM_WIN32_NT, 1},
                        {4, 0, VER_PLATFORM_WIN32_WINDOWS, 1},
                        {4, 10, VER_PLATFORM_WIN32_WINDOWS, 0},
                        {5, 1, VER_PLATFORM_WIN32_NT, 0}};
  Records r = base_;
  r.PutU32(188, 9);
  for (const Case& c : cases) {
    KpSetVersion(c.major, c.minor, 0, c.platform);
    EXPECT_EQ(c.accepted, cdmCheckData(h_, 22, r.dm.data(), r.pd.data(), CDM_OP_CHECK)) << c.major << "." << c.minor;
  }
}

TEST_F(Validation, OtherMembersAreCheckedAgainstTheDataLists) {
  // dmPaperSize: the built default is one of the data's papers, 9999 is not.
  Records r = base_;
  EXPECT_EQ(1, cdmCheckData(h_, 8, r.dm.data(), r.pd.data(), CDM_OP_CHECK));
  r.PutU16(78, 9999);
  EXPECT_EQ(0, cdmCheckData(h_, 8, r.dm.data(), r.pd.data(), CDM_OP_CHECK));
  // An id without member cannot be checked.
  EXPECT_EQ(0, cdmCheckData(h_, 9999, r.dm.data(), r.pd.data(), CDM_OP_CHECK));
}

TEST_F(Validation, UserDefinedPaperSlots) {
  EXPECT_EQ(20, cdmGetMaxDefineNum());
  struct Case {
    WORD paperId;
    BOOL found;
    WORD slot;
  };
  const Case cases[] = {{262, 1, 0}, {266, 1, 4}, {287, 1, 5}, {301, 1, 19}, {261, 0, 0}, {267, 0, 0}, {302, 0, 0}};
  for (const Case& c : cases) {
    WORD w = 0, l = 0, n = 0;
    WCHAR name[15] = {u'?'};
    EXPECT_EQ(c.found, cdmSearchDefineId(c.paperId, DDM_TYPE_SHORT, &w, &l, &n, name, 15)) << c.paperId;
    if (!c.found) continue;
    EXPECT_EQ(5889 + c.slot, w);
    EXPECT_EQ(5909 + c.slot, l);
    EXPECT_EQ(5929 + c.slot, n);
    WCHAR expected[15] = {};
    zanLib_GetUsrDefPap_DefaultName(c.slot, expected, 15);
    EXPECT_EQ(std::u16string(expected), std::u16string(name));
  }
  // A short name buffer is cut, never overrun.
  WCHAR small[4] = {u'x', u'x', u'x', u'x'};
  ASSERT_EQ(1, cdmSearchDefineId(262, DDM_TYPE_SHORT, nullptr, nullptr, nullptr, small, 3));
  EXPECT_EQ(u'x', small[3]);

  // The built slots read back through the records.
  WORD width = 0, length = 0;
  WCHAR name[15] = {};
  ASSERT_EQ(1, cdmSearchDefineInfo(base_.dm.data(), base_.pd.data(), 301, DDM_TYPE_SHORT, &width, &length, name, 15));
  WORD lowerWidth = 0, lowerLength = 0;
  ASSERT_EQ(1, cdddGetPaperSize(h_, 8, 9, &lowerWidth, &lowerLength, nullptr, nullptr, nullptr));
  EXPECT_EQ(lowerWidth, width);
  EXPECT_EQ(lowerLength, length);
  EXPECT_EQ(0, cdmSearchDefineInfo(base_.dm.data(), base_.pd.data(), 261, DDM_TYPE_SHORT, &width, &length, name, 15));
}

}  // namespace
}  // namespace kestrel::test::defaults
