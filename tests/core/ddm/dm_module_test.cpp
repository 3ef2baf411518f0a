// ddm_GetValue/ddm_SetValue of the user-mode libraries through kestreljd,
// loaded by name from the driver directory: the module's life and what the
// callers receive.
#include <kplatform/kernel32_module.h>

#include <cstring>

#include "devmode_fixture.h"

namespace kestrel::test {
namespace {

WORD Get(WORD id, Records& r, WORD* type, DWORD* size, ULONG_PTR* value) {
  return ddm_GetValue(id, r.dm.data(), r.pd.data(), type, size, value);
}

// ---- The module's life ------------------------------------------------------------------
TEST_F(ModuleRootTest, AbsentModuleAnswers16ForEveryIdBut36905) {
  EXPECT_EQ(ddm_AccessInit(host_), 0);
  Records r;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 7;
  for (WORD id : {WORD{1}, WORD{14}, WORD{259}, WORD{1284}, WORD{1865}, WORD{5121}, WORD{26}, WORD{9000}})
    EXPECT_EQ(Get(id, r, &type, &size, &value), 16) << id;
  ULONG_PTR v = 1;
  EXPECT_EQ(ddm_SetValue(7, r.dm.data(), r.pd.data(), 2, 2, &v), 16);
  ASSERT_EQ(Get(36905, r, &type, &size, &value), 0);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(ddm_GetValue(36905, nullptr, nullptr, nullptr, &size, &value), 16);
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 7, 2, 2, 1), 16) << "the module's status, not 0";
}

TEST_F(ModuleRootTest, FailedFirstLoadIsRetriedAndCountsStayBalanced) {
  EXPECT_EQ(ddm_AccessInit(host_), 0);  // kestreljd not installed yet
  EXPECT_EQ(ddm_AccessCount(), 1);
  InstallAccessModule();
  EXPECT_EQ(ddm_AccessInit(host_), 1) << "the second init loads what the first could not";
  Records r;
  WORD type;
  DWORD size;
  ULONG_PTR value;
  EXPECT_EQ(Get(7, r, &type, &size, &value), 0);
  ddm_AccessEnd();
  EXPECT_EQ(Get(7, r, &type, &size, &value), 0) << "one user is left";
  ddm_AccessEnd();
  EXPECT_EQ(ddm_AccessCount(), 0);
  EXPECT_EQ(Get(7, r, &type, &size, &value), 16) << "the last end freed the module";
  ddm_AccessEnd();  // a detach too many
  EXPECT_EQ(ddm_AccessCount(), 0) << "the counter does not wrap";
  EXPECT_EQ(ddm_AccessInit(host_), 1) << "and the next attach loads again";
}

TEST_F(ModuleRootTest, DetachAfterFailedAttachDoesNotWrap) {
  EXPECT_EQ(ddm_AccessInit(host_), 0);
  ddm_AccessEnd();
  ddm_AccessEnd();
  EXPECT_EQ(ddm_AccessCount(), 0);
  InstallAccessModule();
  EXPECT_EQ(ddm_AccessInit(host_), 1);
  EXPECT_EQ(ddm_AccessCount(), 1);
}

TEST_F(ModuleRootTest, SecondInitDoesNotReloadAndOnlyTheLastEndUnloads) {
  InstallAccessModule();
  size_t before = KpLoadedModuleCount();
  ASSERT_EQ(ddm_AccessInit(host_), 1);
  EXPECT_EQ(KpLoadedModuleCount(), before + 1);
  HMODULE loaded = GetModuleHandleW(u"kestreljd.dll");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(ddm_AccessInit(nullptr), 1) << "already in use: no module needed";
  EXPECT_EQ(KpLoadedModuleCount(), before + 1);
  ddm_AccessEnd();
  EXPECT_EQ(GetModuleHandleW(u"kestreljd.dll"), loaded);
  ddm_AccessEnd();
  EXPECT_EQ(GetModuleHandleW(u"kestreljd.dll"), nullptr);
  EXPECT_EQ(KpLoadedModuleCount(), before);
}

TEST_F(ModuleRootTest, NullLibraryLoadsNothing) {
  InstallAccessModule();
  EXPECT_EQ(ddm_AccessInit(nullptr), 0);
  EXPECT_EQ(GetModuleHandleW(u"kestreljd.dll"), nullptr);
}

// ---- What the callers receive ----------------------------------------------------------
TEST_F(ModuleTest, StringsAndFontsComeBackAsPointersIntoTheirRecords) {
  Records r;
  struct Case {
    WORD id;
    BYTE* expected;
    DWORD size;
  };
  ASSERT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 259, 6, 12, reinterpret_cast<ULONG_PTR>(u"Model")), 0);
  ASSERT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 1799, 6, 10, reinterpret_cast<ULONG_PTR>(u"Fax:")), 0);
  ASSERT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 5121, 6, 4, reinterpret_cast<ULONG_PTR>(u"P")), 0);
  const Case cases[] = {
      {259, r.dm.data() + 224, 12},
      {1799, r.dm.data() + 1556 + 512, 10},
      {5121, r.pd.data() + 18, 4},
      {304, r.dm.data() + 588, 92},
      {357, r.dm.data() + 816, 92},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    WORD type;
    DWORD size;
    ULONG_PTR value;
    ASSERT_EQ(Get(c.id, r, &type, &size, &value), 0);
    EXPECT_EQ(reinterpret_cast<BYTE*>(value), c.expected);
    EXPECT_EQ(size, c.size);
  }
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 1799, 6), reinterpret_cast<ULONG_PTR>(r.dm.data() + 2068));
}

TEST_F(ModuleTest, TypedConveniences) {
  Records r;
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 12, 2, 2, 3), 0);
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 12, 2), 3u);
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 12, 3, 2, 3), 2) << "wrong type reaches the caller";
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 12, 2, 4, 3), 8) << "wrong size reaches the caller";
  EXPECT_EQ(ctl_SetDDMValue(nullptr, r.pd.data(), 12, 2, 2, 3), -1);
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 264, 8, 1, 0x42), 0);
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 264, 3), 0x42u) << "8/3 answers 2 bytes";
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 264, 8), 0u) << "size 2 is not a byte's size";
  EXPECT_EQ(ctl_SetDDMValue(r.dm.data(), r.pd.data(), 1283, 1, 4, 1), 0);
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 1283, 1), 1u);
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 12, 7), 0u);
  EXPECT_EQ(ctl_GetDDMValue(r.dm.data(), r.pd.data(), 304, 9), 0u) << "type 9 is not read";
  EXPECT_EQ(ctl_GetDDMValue(nullptr, r.pd.data(), 12, 2), 0u);
}

TEST_F(ModuleTest, FavouriteComparison) {
  struct Case {
    const char* what;
    WORD id;
    bool stringValue;
    ULONG_PTR value;
    bool stampNamed;  // both devmodes carry a stamp name
    BOOL equal;
  };
  const Case cases[] = {
      {"device name is not compared", 1, true, 0, false, 1},
      {"copies differ", 12, false, 2, false, 0},
      {"stamp member while no stamp is named", 306, false, 12, false, 1},
      {"stamp member while a stamp is named", 306, false, 12, true, 0},
      {"stamp flag while no stamp is named", 1286, false, 1, false, 1},
      {"colour mode differs", 270, false, 1, false, 0},
      {"non-devmode string differs", 1795, true, 0, false, 0},
      {"skipped non-devmode member", 1825, false, 5, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Records a, b;
    if (c.stampNamed) {
      ASSERT_EQ(ctl_SetDDMValue(a.dm.data(), a.pd.data(), 297, 6, 8, reinterpret_cast<ULONG_PTR>(u"TOP")), 0);
      ASSERT_EQ(ctl_SetDDMValue(b.dm.data(), b.pd.data(), 297, 6, 8, reinterpret_cast<ULONG_PTR>(u"TOP")), 0);
    }
    if (c.stringValue) {
      ASSERT_EQ(ctl_SetDDMValue(b.dm.data(), b.pd.data(), c.id, 6, 8, reinterpret_cast<ULONG_PTR>(u"abc")), 0);
    } else {
      WORD type;
      DWORD size;
      ULONG_PTR old;
      ASSERT_EQ(Get(c.id, b, &type, &size, &old), 0);
      ASSERT_EQ(ctl_SetDDMValue(b.dm.data(), b.pd.data(), c.id, type, size, c.value), 0);
    }
    EXPECT_EQ(ddm_CompFavoriteDevmode(a.dm.data(), b.dm.data(), a.pd.data()), c.equal);
  }
  Records a, b;
  EXPECT_EQ(ddm_CompFavoriteDevmode(a.dm.data(), b.dm.data(), a.pd.data()), 1);
  EXPECT_EQ(ddm_CompFavoriteDevmode(a.dm.data(), nullptr, a.pd.data()), 0);
}

TEST(DdmStampIds, Ranges) {
  for (WORD id : {WORD{297}, WORD{304}, WORD{319}, WORD{1286}, WORD{1288}}) EXPECT_TRUE(ddm_IsStampDdmId(id)) << id;
  for (WORD id : {WORD{296}, WORD{320}, WORD{1285}, WORD{1289}}) EXPECT_FALSE(ddm_IsStampDdmId(id)) << id;
}

}  // namespace
}  // namespace kestrel::test
