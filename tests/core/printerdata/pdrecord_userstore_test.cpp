// The record's load and store with the user-interface library's own
// per-user store (kestrel/ui/usersetting.h) registered, as kestrelui registers
// it: the queue's copy holds the per-user defaults, the user's key holds the
// user's members.
#include <string>

#include "kestrel/ui/prnid.h"
#include "kestrel/ui/usersetting.h"
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

BOOL GetInfo(HANDLE printer, HCDDD ddd, const void* record, void* setting) {
  return GetCurrentUserSettingInfo(printer, ddd, record, static_cast<USERSETTINGINFO*>(setting));
}
BOOL SetInfo(void* record, const void* setting, WORD selector) {
  return SetCurrentUserSettingInfo(record, static_cast<const USERSETTINGINFO*>(setting), selector);
}
BOOL SaveInfo(HANDLE printer, HCDDD ddd, const void* setting, WORD mode) {
  return SaveCurrentUserSettingInfo(printer, ddd, static_cast<const USERSETTINGINFO*>(setting), mode);
}
BOOL LoadInfo(HANDLE printer, HCDDD ddd, void* setting, WORD reserved, BOOL carryOver) {
  return LoadCurrentUserSettingInfo(printer, ddd, static_cast<USERSETTINGINFO*>(setting), reserved, carryOver);
}
BOOL DefaultInfo(HCDDD ddd, void* setting) {
  return SetDefaultCurrentUserSettingInfo(zanLib_CheckCapability_Indirect(ddd, USERSETTING_CAPABILITY),
                                          static_cast<USERSETTINGINFO*>(setting));
}

const PD_USER_STORE kUiStore = {getPRNID, CreatePRNID, setPRNID, CurrentUserSettingInfoRegCheck, GetInfo, SetInfo,
                                SaveInfo,  LoadInfo,    DefaultInfo, uiGetUserPermission};

static_assert(PD_USER_SETTING_SIZE == USERSETTING_SIZE);

// Member 5121 (job-owner name, string 66 at 18).
std::u16string OwnerName(const std::vector<BYTE>& record) {
  std::u16string s(33, u'\0');
  std::memcpy(s.data(), &record[18], 66);
  return s.substr(0, s.find(u'\0'));
}
void PutOwnerName(std::vector<BYTE>& record, const std::u16string& name) {
  std::memset(&record[18], 0, 66);
  std::memcpy(&record[18], name.c_str(), name.size() * 2);
}

class PdUserStoreTest : public PdTest {
 protected:
  void SetUp() override {
    PdTest::SetUp();
    pd_SetUserStore(&kUiStore);
  }
};

TEST_F(PdUserStoreTest, QueueKeepsDefaultsAndTheUserKeepsHisName) {
  std::vector<BYTE> record(PD_RECORD_SIZE);
  DWORD source = 0;
  ASSERT_TRUE(pd_GetPrinterDataEx(printer_, record.data(), ddd_, &source));
  ASSERT_EQ(source, static_cast<DWORD>(PD_SOURCE_DEFAULTS));
  // The queue's copy gets the per-user defaults.
  USERSETTINGINFO defaults;
  ASSERT_TRUE(DefaultInfo(ddd_, &defaults));
  std::vector<BYTE> withDefaults = record;
  ASSERT_TRUE(SetCurrentUserSettingInfo(withDefaults.data(), &defaults, 0));
  const std::u16string defaultName = OwnerName(withDefaults);
  ASSERT_NE(defaultName, u"Alice");

  PutOwnerName(record, u"Alice");
  const std::vector<BYTE> callers = record;
  ASSERT_TRUE(pd_SetPrinterData(printer_, record.data(), ddd_, 1));
  EXPECT_EQ(record, callers);
  BOOL ok = FALSE;
  std::vector<BYTE> stored = Read(ZAN_KIND_PRINTERDATA, PD_RECORD_SIZE, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(OwnerName(stored), defaultName);
  PutOwnerName(withDefaults, defaultName);
  EXPECT_EQ(stored, withDefaults);

  // The user's own record, saved under the key the PRNID names, comes back
  // with the next load.
  USERSETTINGINFO mine;
  ASSERT_TRUE(GetCurrentUserSettingInfo(printer_, ddd_, record.data(), &mine));
  ASSERT_TRUE(SaveCurrentUserSettingInfo(printer_, ddd_, &mine, 0));
  std::vector<BYTE> loaded(PD_RECORD_SIZE);
  ASSERT_TRUE(pd_GetPrinterDataEx(printer_, loaded.data(), ddd_, &source));
  EXPECT_EQ(source, static_cast<DWORD>(PD_SOURCE_STORED));
  EXPECT_EQ(OwnerName(loaded), u"Alice");
  BYTE id[16];
  EXPECT_TRUE(getPRNID(printer_, id));
}

// With the queue's spooler-side library name missing, a user who is not an
// administrator is told to ask one (397, 398); an administrator is told what
// happened and how to repair it (399, 400). Each box shows its string.
TEST_F(PdUserStoreTest, SettingsCheckTellsEachUserWhatToDo) {
  HMODULE strings = resource_get_hInstance();
  auto text = [&](UINT id) {
    WCHAR buffer[513] = {};
    LoadStringW(strings, id, buffer, 513);
    return std::u16string(buffer);
  };
  struct Case {
    BOOL admin;
    UINT first, second;
  } cases[] = {{FALSE, 397, 398}, {TRUE, 399, 400}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.admin);
    KpSetAdministrator(c.admin);
    KpClearMessageBoxes();
    EXPECT_EQ(CheckRegistryData(printer_, strings, PD_CHECK_FLAG, 0), PD_CHECK_MISSING);
    ASSERT_EQ(KpMessageBoxCount(), 2u);
    UINT ids[] = {c.first, c.second};
    for (DWORD i = 0; i < 2; ++i) {
      KpMessageBoxRecord box = {};
      ASSERT_TRUE(KpGetMessageBox(i, &box));
      EXPECT_FALSE(text(ids[i]).empty()) << "string " << ids[i] << " is in the resource module";
      EXPECT_EQ(std::u16string(box.text), text(ids[i]));
      EXPECT_EQ(std::u16string(box.caption), text(265));
    }
  }
  EXPECT_NE(text(397), text(399));
  EXPECT_NE(text(398), text(400));
  KpClearMessageBoxes();
}

}  // namespace
}  // namespace kestrel::test::pd
