// The all-settings constraint sweep and its calling loop, over rule
// fixtures given through the sweep's seam.
#include <kplatform/user32_messagebox.h>

#include <functional>
#include <map>

#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

// The fixture's rules: per member, a function that may change the records
// and answers whether it did.
struct Fixture {
  std::map<WORD, WORD> methods;  // members that have a selection method
  std::map<WORD, std::function<bool(Records&)>> rules;
  WORD updateResult = 0;
  bool failAlloc = false;
  int allocs = 0, frees = 0, updates = 0;
  Records* records = nullptr;
};
Fixture* g_fixture = nullptr;

BOOL FakeMethod(HCDDD, WORD id, void*, void*, WORD* method) {
  auto it = g_fixture->methods.find(id);
  if (it == g_fixture->methods.end()) return 0;
  *method = it->second;
  return 1;
}
void* FakeAlloc() {
  if (g_fixture->failAlloc) return nullptr;
  ++g_fixture->allocs;
  return kcore_Alloc(104);
}
void FakeFree(void* p) {
  ++g_fixture->frees;
  kcore_Free(p);
}
WORD FakeUpdate(HWND, HCDDD, void*, void*, WORD id, WORD, const ULONG_PTR*, void*, void*, BOOL* changed) {
  ++g_fixture->updates;
  *changed = 0;
  if (g_fixture->updateResult) return g_fixture->updateResult;
  auto it = g_fixture->rules.find(id);
  if (it != g_fixture->rules.end() && it->second(*g_fixture->records)) *changed = 1;
  return 0;
}
constexpr CDM_SWEEP_OPS kFakeOps = {FakeMethod, FakeAlloc, FakeFree, FakeUpdate};

class Sweep : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    // The resource module with the tail of the failure message (string 389).
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
    resource_startToUse(host_, nullptr);
    f_.records = &r_;
    g_fixture = &f_;
    cdm_SetSweepOps(&kFakeOps);
    KpClearMessageBoxes();
    skip_ = cdmNewSkipArray();
    ASSERT_NE(nullptr, skip_);
  }
  void TearDown() override {
    EXPECT_EQ(f_.allocs, f_.frees);
    dmDeleteNRVDEVMODE(skip_);
    cdm_SetSweepOps(nullptr);
    g_fixture = nullptr;
    KpClearMessageBoxes();
    resource_finishToUse();
    ModuleTest::TearDown();
  }
  LONG Loop() {
    return cdmAllDataConstUpdateLoop(nullptr, nullptr, handle(), r_.dm.data(), r_.pd.data(), nullptr, nullptr, skip_);
  }
  // The handle is only passed through to the seam.
  HCDDD handle() { return reinterpret_cast<HCDDD>(&dummy_); }
  std::u16string LastBoxText() {
    KpMessageBoxRecord rec{};
    if (!KpGetMessageBox(KpMessageBoxCount() - 1, &rec)) return u"<none>";
    EXPECT_EQ(std::u16string(u"Default Set Err"), std::u16string(rec.caption));
    EXPECT_EQ(MB_ICONSTOP, rec.type & 0xF0);
    return rec.text;
  }
  // The box's text: "DDMID = 0x" and the id in hexadecimal, then string 389.
  static std::u16string FailureText(const char16_t* head) {
    WCHAR tail[256] = {};
    EXPECT_GT(resource_LoadString(CDM_STRID_SWEEP_FAILED, tail, 256), 0) << "the resource module holds string 389";
    return std::u16string(head) + tail;
  }

  Fixture f_;
  Records r_;
  CDM_SKIP_ENTRY* skip_ = nullptr;
  CDDD_INFO dummy_{};
};

// Duplex (16) and collate (18) are the two members the rules work on.
bool SetCollate(Records& r, WORD value) {
  if (r.U16(100) == value) return false;
  r.PutU16(100, value);
  return true;
}

TEST_F(Sweep, OneRuleChangesAMemberAndTheLoopSettles) {
  f_.methods = {{16, 2}, {18, 2}, {12, 4}};
  f_.rules[16] = [](Records& r) { return SetCollate(r, 1); };
  f_.rules[12] = [](Records&) -> bool { ADD_FAILURE() << "a range member is passed over"; return false; };
  WORD last = 0;
  EXPECT_EQ(2, cdmAllDataConstUpdate(nullptr, nullptr, handle(), r_.dm.data(), r_.pd.data(), nullptr, nullptr, skip_,
                                     &last));
  EXPECT_EQ(16, last);
  EXPECT_EQ(1, r_.U16(100));
  EXPECT_EQ(1, cdmAllDataConstUpdate(nullptr, nullptr, handle(), r_.dm.data(), r_.pd.data(), nullptr, nullptr, skip_,
                                     &last));
  WORD flagged = 0;
  EXPECT_EQ(1, cdmIsSkipFlagOffAll(skip_, &flagged));
  EXPECT_EQ(0u, KpMessageBoxCount());
}

TEST_F(Sweep, AMemberChangedTwiceInARowIsSkippedAndReported) {
  f_.methods = {{16, 2}, {18, 2}};
  int n = 0;
  f_.rules[16] = [&n](Records& r) { return SetCollate(r, static_cast<WORD>(++n)); };
  EXPECT_EQ(-1, Loop());
  EXPECT_EQ(1, cdmFindSkipDataByDdmID(skip_, 16, 0));  // the skip array lists the id it changed
  EXPECT_EQ(0, cdmFindSkipDataByDdmID(skip_, 18, 0));
  ASSERT_EQ(1u, KpMessageBoxCount());
  EXPECT_EQ(FailureText(u"DDMID = 0x10"), LastBoxText());
}

TEST_F(Sweep, PingPongEndsWithinTheBound) {
  // 16 sets collate whenever it is 0, 18 clears it whenever it is 1: every
  // call changes the other member, so the skip array never catches it.
  f_.methods = {{16, 2}, {18, 2}};
  f_.rules[16] = [](Records& r) { return r.U16(100) == 0 && SetCollate(r, 1); };
  f_.rules[18] = [](Records& r) { return r.U16(100) == 1 && SetCollate(r, 0); };
  EXPECT_EQ(-1, Loop());
  EXPECT_EQ(CDM_SWEEP_MAX_CALLS, f_.allocs);
  ASSERT_EQ(1u, KpMessageBoxCount());
  EXPECT_EQ(FailureText(u"DDMID = 0x12"), LastBoxText());
}

TEST_F(Sweep, FailuresAsATable) {
  struct Case {
    const char* what;
    WORD method;
    WORD updateResult;
    bool failAlloc;
    bool noOps;
  };
  const Case cases[] = {{"selection method 0", 0, 0, false, false},
                        {"engine failure", 2, 1, false, false},
                        {"no constraint data", 2, 0, true, false},
                        {"no engine registered", 2, 0, false, true}};
  for (const Case& c : cases) {
    f_.methods = {{16, c.method}};
    f_.updateResult = c.updateResult;
    f_.failAlloc = c.failAlloc;
    if (c.noOps) cdm_SetSweepOps(nullptr);
    WORD last = 0;
    EXPECT_EQ(-1, cdmAllDataConstUpdate(nullptr, nullptr, handle(), r_.dm.data(), r_.pd.data(), nullptr, nullptr,
                                        skip_, &last))
        << c.what;
    cdm_SetSweepOps(&kFakeOps);
  }
  WORD last = 0;
  f_.updateResult = 0;
  f_.failAlloc = false;
  EXPECT_EQ(-1, cdmAllDataConstUpdate(nullptr, nullptr, handle(), r_.dm.data(), r_.pd.data(), nullptr, nullptr,
                                      nullptr, &last));
  EXPECT_EQ(0u, KpMessageBoxCount());
}

}  // namespace
}  // namespace kestrel::test::defaults
