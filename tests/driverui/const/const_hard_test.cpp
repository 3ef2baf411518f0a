// The hard-coded rules (poster, output bin) on the compiled models: when each
// fires, what it writes, the notice it shows, and that the default settings
// of both models pass every rule untouched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kestrel/ui/uiwindata.h"
#include "kplatform/user32_messagebox.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

const HWND kSheet = reinterpret_cast<HWND>(0x3000);     // carries UI data
const HWND kNoData = reinterpret_cast<HWND>(0x3001);    // carries none

// Paper ids and output bins of model A.
constexpr LONG kA3 = 8, kA4 = 9, kA5 = 11, kEnv10 = 20, kUser = 256;
constexpr LONG kFaceDown = 1, kFaceUp = 2, kFinisher = 3, kBookletTray = 4;

class HardRuleTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_TRUE(cdm_SetDefaultDevmode(ddd_, dm_.data(), pd_.data(), kPrinter));
    data_ = {sizeof(UIWINDATA), printer_, ddd_, dm_.data(), pd_.data(), UIWINDATA_UNIT_MM, 0, nullptr};
    SetWindowLongPtrW(kSheet, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data_));
    info_ = const_AllocConstData();
    ASSERT_NE(info_, nullptr);
    for (WORD unit : {4097, 4098, 4099, 4100, 4101, 4102, 4103, 4113, 4125}) Set(unit, 1);
    Set(18, 0);  // collate off: poster printing's own rule then asks nothing
  }
  void TearDown() override {
    const_FreeConstData(info_);
    if (changed_) GlobalFree(changed_);
    UiTest::TearDown();
  }

  // Proposes `value` for `id` through the update driver in mode 1.
  WORD Propose(HWND window, WORD id, WORD type, LONG value) {
    if (changed_) GlobalFree(changed_);
    changed_ = nullptr;
    BYTE bytes[4];
    std::memcpy(bytes, &value, 4);
    return const_UpdateConstDataX(1, window, ddd_, dm_.data(), pd_.data(), nullptr, id, type, bytes, info_, &changed_,
                                  0);
  }
  std::vector<WORD> Changed() const {
    std::vector<WORD> out;
    for (const WORD* p = changed_; p && *p; ++p) out.push_back(*p);
    return out;
  }
  bool Related(WORD id) const {
    for (WORD i = 0; i < info_->relatedCount; ++i)
      if (info_->related[i] == id) return true;
    return false;
  }
  std::u16string BoxText() {
    KpMessageBoxRecord box{};
    if (!KpGetMessageBox(0, &box)) return u"";
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    return box.text;
  }
  static std::u16string String(WORD id) {
    WCHAR text[256] = {};
    resource_LoadString(id, text, 256);
    return text;
  }

  UIWINDATA data_{};
  ConstInfo* info_ = nullptr;
  WORD* changed_ = nullptr;
};

// Poster printing and several pages a sheet: whichever is chosen last wins,
// the other is corrected, and the user is told. Booklet (321 = 2) is the
// model's own rule, not this one.
TEST_F(HardRuleTest, PosterAndPagesPerSheet) {
  struct Case {
    const char* what;
    LONG layout, nup;      // the settings before the change
    WORD id, type;         // the change proposed
    LONG value;
    bool fires;
    WORD correctedId;      // written by the rule
    LONG corrected;
    WORD message;
  };
  const Case cases[] = {
      {"poster over 4 pages a sheet", 0, 4, 321, 3, 1, true, 295, 1, CONST_STR_HARD_POSTER_NUP},
      {"poster over 32 pages a sheet", 0, 32, 321, 3, 1, true, 295, 1, CONST_STR_HARD_POSTER_NUP},
      {"2 pages a sheet under poster", 1, 1, 295, 8, 2, true, 321, 0, CONST_STR_HARD_NUP_POSTER},
      {"pages given as the devmode's 16-bit value", 1, 1, 295, 3, 16, true, 321, 0, CONST_STR_HARD_NUP_POSTER},
      {"poster over one page a sheet", 0, 1, 321, 3, 1, false, 0, 0, 0},
      {"one page a sheet under poster", 1, 4, 295, 8, 1, false, 0, 0, 0},
      {"normal layout over 4 pages", 1, 4, 321, 3, 0, false, 0, 0, 0},
      {"4 pages a sheet, normal layout", 0, 1, 295, 8, 4, false, 0, 0, 0},
      {"4 pages a sheet under booklet", 2, 1, 295, 8, 4, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Set(321, c.layout);
    Set(295, c.nup);
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(IDOK);
    ASSERT_EQ(Propose(kSheet, c.id, c.type, c.value), CONST_OK);
    if (c.fires) {
      EXPECT_EQ(Get(c.correctedId), c.corrected);
      EXPECT_EQ(Changed(), (std::vector<WORD>{c.id, c.correctedId}));
      EXPECT_EQ(info_->changed, 1u);
      EXPECT_TRUE(Related(321) && Related(295));
      ASSERT_EQ(KpMessageBoxCount(), 1u);
      EXPECT_EQ(BoxText(), String(c.message));
      EXPECT_FALSE(String(c.message).empty());
    } else {
      EXPECT_EQ(Get(321), c.layout);
      EXPECT_EQ(Get(295), c.nup);
      EXPECT_EQ(KpMessageBoxCount(), 0u);
      EXPECT_TRUE(Changed().empty());
    }
  }
}

// The settings as they are (no proposed value) are put right too; without
// the window's UI data the correction stands and no box is shown.
TEST_F(HardRuleTest, SettingsAsTheyAreAndNoWindowData) {
  for (HWND window : {kSheet, kNoData}) {
    SCOPED_TRACE(window == kSheet ? "UI data" : "no UI data");
    Set(321, 1);
    Set(295, 8);
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(IDOK);
    if (changed_) GlobalFree(changed_);
    changed_ = nullptr;
    ASSERT_EQ(const_UpdateConstDataX(0, window, ddd_, dm_.data(), pd_.data(), nullptr, 321, 0, nullptr, info_,
                                     &changed_, 0),
              CONST_OK);
    EXPECT_EQ(Get(295), 1);
    EXPECT_EQ(Changed(), (std::vector<WORD>{321, 295}));
    EXPECT_EQ(KpMessageBoxCount(), window == kSheet ? 1u : 0u);
  }
}

// A paper change the output bin cannot take sends the output to the default
// bin (face down) when that bin takes the paper; otherwise the bin is left.
TEST_F(HardRuleTest, PaperTheOutputBinCannotTake) {
  struct Case {
    const char* what;
    LONG bin, paper;
    bool fires;
  };
  const Case cases[] = {
      {"A5 into the finisher (not in its list)", kFinisher, kA5, true},
      {"A5 into the booklet tray (too small)", kBookletTray, kA5, true},
      {"A3 into the finisher", kFinisher, kA3, false},
      {"A4 into the booklet tray", kBookletTray, kA4, false},
      {"envelope into the face-up tray", kFaceUp, kEnv10, false},
      {"envelope face down: the default cannot take it either", kFaceDown, kEnv10, false},
      {"envelope into the finisher: the default cannot take it", kFinisher, kEnv10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Set(8, kA4);
    Set(266, c.bin);
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(IDOK);
    ASSERT_EQ(Propose(kSheet, 8, 2, c.paper), CONST_OK);
    EXPECT_EQ(Get(8), kA4) << "the proposed paper is the caller's to write";
    if (c.fires) {
      EXPECT_EQ(Get(266), kFaceDown);
      EXPECT_EQ(Changed(), (std::vector<WORD>{8, 266}));
      EXPECT_TRUE(Related(8) && Related(266));
      ASSERT_EQ(KpMessageBoxCount(), 1u);
      EXPECT_EQ(BoxText(), String(CONST_STR_HARD_OUTPUT_BIN));
    } else {
      EXPECT_EQ(Get(266), c.bin);
      EXPECT_TRUE(Changed().empty());
      EXPECT_EQ(KpMessageBoxCount(), 0u);
    }
  }
}

// When the model's own rules ask the user about the proposed value, the hard
// rule writes nothing: a cancelled change must not leave a corrected bin. A
// user-defined size the model refuses (its range rule) in the finisher
// keeps the finisher; a size it accepts but the finisher cannot take moves
// the output face down.
TEST_F(HardRuleTest, ModelRulesThatAskComeFirst) {
  struct Case {
    const char* what;
    LONG width, length;
    WORD result;
    LONG bin;
  };
  const Case cases[] = {
      {"wider than the printable range, not than face down", 3100, 2000, CONST_OK, kFinisher},
      {"printable, too small for the finisher", 1000, 1480, CONST_OK, kFaceDown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Set(8, kA4);
    Set(266, kFinisher);
    Set(1863, c.width);
    Set(1864, c.length);
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(IDOK);
    ASSERT_EQ(Propose(kSheet, 8, 2, kUser), c.result);
    EXPECT_EQ(Get(266), c.bin);
    if (c.bin == kFinisher) {
      EXPECT_EQ(info_->action, CONST_ACT_ERROR) << "the model's message is the caller's to show";
    }
  }
}

// The check of kind 16 runs the hard rules alone: 4 when one wrote its
// correction, 6 when none applies.
TEST_F(HardRuleTest, CheckKindSixteen) {
  CONST_SETTINGS s = {ddd_, dm_.data(), pd_.data()};
  WORD poster = 1;
  CONST_VALUE toPoster = {321, 3, &poster};
  Set(295, 4);
  Set(321, 0);
  EXPECT_EQ(const_CheckConstToChangeDevValue(kNoData, &s, &toPoster, 16, nullptr), CONST_CHANGED);
  EXPECT_EQ(Get(295), 1);
  EXPECT_EQ(const_CheckConstToChangeDevValue(kNoData, &s, &toPoster, 16, nullptr), CONST_NORULE);
  CONST_VALUE noValue = {321, 3, nullptr};
  CONST_SETTINGS noDevmode = {ddd_, nullptr, pd_.data()};
  EXPECT_EQ(const_HardUpdateConstData(kNoData, &noDevmode, &noValue, nullptr, info_, nullptr, nullptr), CONST_ERR);
}

// ---- The default settings of both models ------------------------------------

class DefaultsPassTest : public RootedTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DefaultsPassTest, EveryHardRuleLeavesTheDefaultsUntouched) {
  const std::string model = GetParam();
  ASSERT_EQ(InstallModelFiles(model.c_str()), "");
  ASSERT_EQ(InstallDriverModules(), "");
  const std::u16string main16(model.begin(), model.end());
  const std::u16string printer = u"Scriva " + main16;
  ASSERT_TRUE(KpSpoolerAddPrinter(printer.c_str(), (printer + u" PCL6").c_str(), (main16 + u".DDD").c_str(),
                                  (main16 + u".cfg").c_str(), u"kestrelui.dll"));
  HMODULE library = LoadLibraryW(u"kestrelui.dll");
  ASSERT_NE(library, nullptr);
  resource_startToUse(library, nullptr);
  ASSERT_EQ(ddm_AccessInit(library), 1);
  HANDLE handle = nullptr;
  std::u16string p = printer;
  ASSERT_TRUE(OpenPrinterW(p.data(), &handle, nullptr));
  HCDDD ddd = cddd_Open(handle);
  ASSERT_NE(ddd, nullptr);
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL, 0), pd(NRV_PRINTERDATA_SIZE, 0);
  ASSERT_TRUE(cdm_SetDefaultDevmode(ddd, dm.data(), pd.data(), printer.c_str()));
  const std::vector<BYTE> dm0 = dm, pd0 = pd;

  UIWINDATA data{sizeof(UIWINDATA), handle, ddd, dm.data(), pd.data(), UIWINDATA_UNIT_MM, 0, nullptr};
  SetWindowLongPtrW(kSheet, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
  KpClearMessageBoxes();
  CONST_SETTINGS s = {ddd, dm.data(), pd.data()};
  ConstInfo* info = const_AllocConstData();
  ASSERT_NE(info, nullptr);
  for (WORD id : {8, 266, 295, 296, 321, 297, 299, 1857}) {
    CONST_VALUE current = {id, 0, nullptr};
    WORD room[10] = {};
    WORD* changed = room;
    WORD count = 0;
    EXPECT_EQ(const_HardUpdateConstData(kSheet, &s, &current, nullptr, info, &changed, &count), CONST_NORULE)
        << "id " << id;
    EXPECT_EQ(count, 0) << "id " << id;
  }
  const_FreeConstData(info);

  // The all-settings sweep runs every rule, hard-coded ones included, over
  // every member: nothing to change, nothing to say.
  kui_RegisterSweep();
  CDM_SKIP_ENTRY* skip = cdmNewSkipArray();
  ASSERT_NE(skip, nullptr);
  WORD last = 0;
  EXPECT_EQ(cdmAllDataConstUpdate(nullptr, kSheet, ddd, dm.data(), pd.data(), nullptr, nullptr, skip, &last), 1);
  dmDeleteNRVDEVMODE(skip);
  cdm_SetSweepOps(nullptr);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  EXPECT_TRUE(dm == dm0);
  EXPECT_TRUE(pd == pd0);

  cddd_Close(ddd);
  ClosePrinter(handle);
  while (ddm_AccessCount() > 0) ddm_AccessEnd();
  zanLib_SetValueAccess(nullptr, nullptr);
  resource_finishToUse();
  FreeLibrary(library);
  KpForgetWindowData(nullptr);
  KpClearMessageBoxes();
}

INSTANTIATE_TEST_SUITE_P(Models, DefaultsPassTest, ::testing::Values("K350", "K260"));

}  // namespace
}  // namespace kestrel::test::ui
