// The printer-data record: its layout by DDM id, its load from and store
// into the queue, the spooler-side library's name and its checks.
#include <string>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/ui/prnid.h"
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

// ---- Layout ------------------------------------------------------------------

// Ids first..last at offset + stride x k; bit rows: one 32-bit word at
// offset, member first+n is bit n.
struct LayoutRow {
  WORD first, last;
  DWORD offset, stride;
  bool bits = false;
};

const LayoutRow kLayout[] = {
    {8202, 8202, 0, 0},       {8204, 8204, 2, 0},       {8203, 8203, 4, 0},       {4097, 4128, 8, 0, true},
    {8206, 8206, 12, 0},      {5127, 5127, 16, 0},      {5121, 5121, 18, 0},      {5648, 5648, 880, 0},
    {5123, 5123, 884, 0},     {5649, 5649, 886, 0},     {5125, 5125, 888, 0},     {5126, 5126, 890, 0},
    {8201, 8201, 892, 0},     {5633, 5642, 896, 2},     {5643, 5647, 916, 30},    {5650, 5650, 1072, 0},
    {5130, 5130, 1098, 0},    {5131, 5131, 1108, 0},    {5132, 5132, 1110, 0},    {5651, 5651, 1112, 0},
    {5134, 5134, 1120, 0},    {5135, 5135, 1122, 0},    {8205, 8205, 1124, 0},    {5136, 5136, 1132, 0},
    {5129, 5129, 1134, 0},    {5137, 5137, 1188, 0},    {5138, 5138, 1196, 0},    {5653, 5653, 1204, 0},
    {5654, 5654, 1206, 0},    {5141, 5141, 1208, 0},    {5142, 5142, 1220, 0},    {5143, 5143, 1222, 0},
    {5144, 5144, 1234, 0},    {5145, 5145, 1236, 0},    {5146, 5146, 1244, 0},    {5147, 5147, 1246, 0},
    {8207, 8207, 1504, 0},    {5148, 5148, 1508, 0},    {5149, 5149, 1534, 0},    {5150, 5150, 1536, 0},
    {5652, 5652, 1602, 0},    {6145, 6159, 1608, 10},   {6160, 6174, 1610, 10},   {6175, 6189, 1612, 10},
    {6190, 6204, 1614, 10},   {6205, 6219, 1616, 10},   {5889, 5898, 1758, 68},   {5909, 5918, 1760, 68},
    {5929, 5938, 1762, 68},   {8208, 8208, 2438, 0},    {8209, 8209, 2440, 0},    {6401, 6410, 2484, 50},
    {8210, 8210, 2984, 0},    {4609, 4640, 2988, 0, true}, {5152, 5152, 2992, 0}, {5153, 5153, 3024, 0},
    {5154, 5154, 3032, 0},    {5155, 5158, 3034, 2},    {4353, 4355, 3048, 1},    {5159, 5161, 3052, 34},
    {8211, 8211, 3154, 0},    {5899, 5908, 3156, 68},   {5919, 5928, 3158, 68},   {5939, 5948, 3160, 68},
    {5162, 5162, 3836, 0},    {5163, 5163, 3844, 0},    {5164, 5164, 3845, 0},    {5165, 5165, 3846, 0},
    {5166, 5166, 3848, 0},    {5167, 5167, 3914, 0},    {5168, 5173, 3980, 4},    {5174, 5174, 4004, 0},
    {5175, 5175, 4070, 0},    {5176, 5176, 4104, 0},    {5177, 5177, 4170, 0},    {5178, 5178, 4172, 0},
    {5179, 5179, 4174, 0},    {5180, 5180, 4224, 0},    {5181, 5181, 4274, 0},    {5182, 5182, 4308, 0},
    {5183, 5183, 4342, 0},    {5184, 5184, 4344, 0},    {5185, 5185, 4394, 0},    {4356, 4358, 4428, 1},
    {4359, 4359, 4436, 0},    {4129, 4160, 4444, 0, true}, {4360, 4361, 4448, 1}, {5186, 5186, 4452, 0},
    {4362, 4362, 4460, 0},    {5187, 5198, 4462, 2},    {8212, 8212, 4492, 0},    {5199, 5199, 4560, 0},
    {5200, 5200, 4564, 0},    {5201, 5201, 4568, 0},    {5202, 5202, 4572, 0},    {6220, 6234, 4574, 10},
    {6235, 6249, 4576, 10},   {6250, 6264, 4578, 10},   {6265, 6279, 4580, 10},   {6280, 6294, 4582, 10},
    {5203, 5203, 4728, 0},
};

// Setting each printer-data member alone changes the record at the member's
// offset and nowhere before it; every id of the four groups is covered once.
TEST(PdLayoutTest, EveryMemberLiesAtItsOffset) {
  size_t ids = 0;
  std::vector<bool> seen(65536);
  for (const LayoutRow& row : kLayout) {
    for (DWORD id = row.first; id <= row.last; ++id) {
      SCOPED_TRACE(id);
      ASSERT_FALSE(seen[id]);
      seen[id] = true;
      ++ids;
      std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
      WORD type = 0;
      DWORD size = 0;
      ULONG_PTR slot = 0;
      ASSERT_EQ(dmaCore_GetValue(DMA_RULES_KERNEL, static_cast<WORD>(id), dm.data(), pd.data(), &type, &size, &slot,
                                 nullptr),
                DMA_OK);
      const char16_t text[] = u"Z";
      ULONG_PTR value = 0xA5;
      const void* from = type == DDM_TYPE_STRING ? static_cast<const void*>(text) : &value;
      DWORD bytes = type == DDM_TYPE_STRING ? sizeof(text) : size;
      if (type == DDM_TYPE_FLAG) value = 1;
      ASSERT_EQ(dmaCore_SetValue(DMA_RULES_KERNEL, static_cast<WORD>(id), dm.data(), pd.data(), type, bytes, from),
                DMA_OK);
      DWORD offset = row.offset + row.stride * (id - row.first);
      size_t firstChanged = 0;
      while (firstChanged < pd.size() && pd[firstChanged] == 0) ++firstChanged;
      if (row.bits) {
        DWORD word = 0;
        std::memcpy(&word, &pd[row.offset], 4);
        EXPECT_EQ(word, 1u << (id - row.first));
      } else {
        EXPECT_EQ(firstChanged, offset);
      }
    }
  }
  EXPECT_EQ(ids, 74u + 32u + 76u + 254u);
}

// ---- A per-user store over the printer id -----------------------------------

// The test's user-setting record carries two per-user members: the user name
// 5174 (66 bytes at 4004) at 0 and the unknown-user switch 5183 (4342) at 66.
BOOL TestGetInfo(HANDLE, HCDDD, const void* record, void* setting) {
  std::memset(setting, 0, PD_USER_SETTING_SIZE);
  std::memcpy(setting, static_cast<const BYTE*>(record) + 4004, 66);
  std::memcpy(static_cast<BYTE*>(setting) + 66, static_cast<const BYTE*>(record) + 4342, 1);
  return TRUE;
}
BOOL TestSetInfo(void* record, const void* setting, WORD) {
  std::memcpy(static_cast<BYTE*>(record) + 4004, setting, 66);
  std::memcpy(static_cast<BYTE*>(record) + 4342, static_cast<const BYTE*>(setting) + 66, 1);
  return TRUE;
}
BOOL TestDefaultInfo(HCDDD, void* setting) {
  std::memset(setting, 0, PD_USER_SETTING_SIZE);
  std::memcpy(setting, u"Default", 16);
  return TRUE;
}
BOOL TestSaveInfo(HANDLE printer, HCDDD ddd, const void* setting, WORD) {
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &key)) return FALSE;
  LONG rc = RegSetValueExW(key, u"UserSettingInfo", 0, REG_BINARY, static_cast<const BYTE*>(setting),
                           PD_USER_SETTING_SIZE);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
BOOL TestLoadInfo(HANDLE printer, HCDDD ddd, void* setting, WORD, BOOL) {
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &key)) return FALSE;
  DWORD bytes = PD_USER_SETTING_SIZE;
  LONG rc = RegQueryValueExW(key, u"UserSettingInfo", nullptr, nullptr, static_cast<BYTE*>(setting), &bytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? TRUE : TestDefaultInfo(ddd, setting);
}
BOOL TestRegCheck(HANDLE printer, HCDDD ddd) {
  BYTE id[16];
  if (!getPRNID(printer, id)) return FALSE;
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &key)) return FALSE;
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(key, u"UserSettingInfo", nullptr, nullptr, nullptr, &bytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
BOOL TestIsAdmin() { return uiGetUserPermission(); }

const PD_USER_STORE kStore = {getPRNID,   CreatePRNID,  setPRNID,        TestRegCheck,    TestGetInfo,
                              TestSetInfo, TestSaveInfo, TestLoadInfo,    TestDefaultInfo, TestIsAdmin};

std::u16string UserName(const std::vector<BYTE>& record) {
  std::u16string s(33, u'\0');
  std::memcpy(s.data(), &record[4004], 66);
  return s.substr(0, s.find(u'\0'));
}
void PutUserName(std::vector<BYTE>& record, const std::u16string& name) {
  std::memset(&record[4004], 0, 66);
  std::memcpy(&record[4004], name.c_str(), name.size() * 2);
}
void PutWord(std::vector<BYTE>& record, size_t offset, WORD value) { std::memcpy(&record[offset], &value, 2); }

// A record as this driver writes it.
std::vector<BYTE> CurrentRecord(size_t size = PD_RECORD_SIZE) {
  std::vector<BYTE> r = Pattern(size, 0x31);
  PutWord(r, 0, PD_RECORD_SIZE);
  PutWord(r, 2, PD_STRUCT_VERSION);
  PutWord(r, 4, PD_DRIVER_VERSION);
  return r;
}

class PdRecordTest : public PdTest {
 protected:
  std::vector<BYTE> Defaults() {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(PD_RECORD_SIZE);
    EXPECT_TRUE(cdm_SetDefaultDevmode(ddd_, dm.data(), pd.data(), u"DummyName"));
    return pd;
  }
  void Store(const std::vector<BYTE>& bytes) {
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, bytes.data(), static_cast<DWORD>(bytes.size()),
                                             ZAN_KIND_PRINTERDATA, 0));
  }
  std::vector<BYTE> Stored() {
    BOOL ok = FALSE;
    std::vector<BYTE> r = Read(ZAN_KIND_PRINTERDATA, 80000, &ok);
    EXPECT_TRUE(ok);
    return r;
  }
  std::vector<BYTE> Load(DWORD* source) {
    std::vector<BYTE> out(PD_RECORD_SIZE, 0xEE);
    EXPECT_TRUE(pd_GetPrinterDataEx(printer_, out.data(), ddd_, source));
    return out;
  }
};

// ---- Loading -------------------------------------------------------------------

TEST_F(PdRecordTest, LoadAnswersWhatWasStoredOrSaysWhyNot) {
  const std::vector<BYTE> defaults = Defaults();
  const std::vector<BYTE> current = CurrentRecord();
  std::vector<BYTE> longer = CurrentRecord(5000);
  std::vector<BYTE> shorter = CurrentRecord(4000);
  std::vector<BYTE> older = CurrentRecord();
  PutWord(older, 4, 0x2100);
  std::vector<BYTE> otherModel = CurrentRecord();
  PutWord(otherModel, 2, 0x4000);  // any structure version and model id: taken byte for byte
  PutWord(otherModel, 1188, 77);

  std::vector<BYTE> shortExpected = defaults;
  std::memcpy(shortExpected.data(), shorter.data(), shorter.size());

  struct Case {
    const char* what;
    std::vector<BYTE> stored;  // empty: nothing stored
    DWORD getFail;             // the get call to fail with access denied, 0 none
    std::vector<BYTE> expected;
    DWORD source;
  } cases[] = {
      {"nothing stored", {}, 0, defaults, PD_SOURCE_DEFAULTS},
      {"current record", current, 0, current, PD_SOURCE_STORED},
      {"other structure version", otherModel, 0, otherModel, PD_SOURCE_STORED},
      {"longer record", longer, 0, std::vector<BYTE>(longer.begin(), longer.begin() + PD_RECORD_SIZE),
       PD_SOURCE_STORED},
      {"shorter record over defaults", shorter, 0, shortExpected, PD_SOURCE_STORED},
      {"older record, no converter", older, 0, defaults, PD_SOURCE_DEFAULTS_FAILED},
      {"size unreadable", current, 1, defaults, PD_SOURCE_DEFAULTS_FAILED},
      {"a chunk unreadable", current, 4, defaults, PD_SOURCE_DEFAULTS_FAILED},
      {"size above 99 chunks", current, 0, defaults, PD_SOURCE_DEFAULTS_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::u16string& n : ListValues()) DeleteValue(n);
    if (!c.stored.empty()) Store(c.stored);
    if (std::string(c.what) == "size above 99 chunks") PutSize(u"PrinterDataSize", 0xFFFFFFF0u);
    if (c.getFail) KpSpoolerFailPrinterData(c.getFail, 0, 1, ERROR_ACCESS_DENIED);
    DWORD source = PD_SOURCE_NONE;
    EXPECT_EQ(Load(&source), c.expected);
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    EXPECT_EQ(source, c.source);
    // Loading never writes the record.
    if (!c.stored.empty() && std::string(c.what) != "size above 99 chunks") {
      EXPECT_EQ(Stored(), c.stored);
    }
  }
}

LONG ConvertOld(HANDLE, HCDDD, const void* stored, DWORD size, void* out) {
  if (size < PD_RECORD_SIZE) return -1;
  std::memcpy(out, stored, PD_RECORD_SIZE);
  WORD v = PD_DRIVER_VERSION;
  std::memcpy(static_cast<BYTE*>(out) + 4, &v, 2);
  return 1;
}

TEST_F(PdRecordTest, OlderRecordGoesThroughTheConverter) {
  std::vector<BYTE> older = CurrentRecord();
  PutWord(older, 4, 0x2100);
  Store(older);
  pd_SetConvertFunction(ConvertOld);
  DWORD source = 0;
  std::vector<BYTE> got = Load(&source);
  EXPECT_EQ(source, static_cast<DWORD>(PD_SOURCE_STORED));
  std::vector<BYTE> expected = older;
  PutWord(expected, 4, PD_DRIVER_VERSION);
  EXPECT_EQ(got, expected);
}

TEST_F(PdRecordTest, RefusesMissingArguments) {
  std::vector<BYTE> r(PD_RECORD_SIZE);
  EXPECT_FALSE(pd_GetPrinterData(nullptr, r.data(), ddd_));
  EXPECT_FALSE(pd_GetPrinterData(printer_, nullptr, ddd_));
  EXPECT_FALSE(pd_GetPrinterData(printer_, r.data(), nullptr));
  EXPECT_FALSE(pd_SetPrinterData(nullptr, r.data(), ddd_, 1));
  EXPECT_FALSE(pd_SetPrinterData(printer_, r.data(), nullptr, 1));
}

// ---- Per-user members ------------------------------------------------------------

// A current record: the printer gets a PRNID, and the user's own settings
// replace the queue's.
TEST_F(PdRecordTest, LoadTakesTheCurrentUsersSettings) {
  pd_SetUserStore(&kStore);
  std::vector<BYTE> stored = CurrentRecord();
  PutUserName(stored, u"Queue");
  Store(stored);
  BYTE id[16];
  ASSERT_FALSE(getPRNID(printer_, id));

  DWORD source = 0;
  EXPECT_EQ(UserName(Load(&source)), u"Default");  // the user has none yet: defaults
  EXPECT_TRUE(getPRNID(printer_, id));

  std::vector<BYTE> setting(PD_USER_SETTING_SIZE);
  std::memcpy(setting.data(), u"Bob", 8);
  ASSERT_TRUE(TestSaveInfo(printer_, ddd_, setting.data(), 0));
  EXPECT_EQ(UserName(Load(&source)), u"Bob");
  EXPECT_EQ(source, static_cast<DWORD>(PD_SOURCE_STORED));
}

// An older structure without the user's value: the queue's per-user members
// move to the user.
TEST_F(PdRecordTest, OlderStructureMovesTheQueuesSettingsToTheUser) {
  pd_SetUserStore(&kStore);
  std::vector<BYTE> stored = CurrentRecord();
  PutWord(stored, 2, 0x4000);
  PutUserName(stored, u"Carol");
  Store(stored);
  BYTE id[16];
  ASSERT_TRUE(CreatePRNID(printer_, id));
  ASSERT_TRUE(setPRNID(printer_, id));
  DWORD source = 0;
  EXPECT_EQ(UserName(Load(&source)), u"Carol");
  std::vector<BYTE> setting(PD_USER_SETTING_SIZE);
  ASSERT_TRUE(TestLoadInfo(printer_, ddd_, setting.data(), 0, FALSE));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(setting.data())), u"Carol");
}

// ---- Storing ---------------------------------------------------------------------

// The stored copy holds the per-user defaults; the caller keeps its own
// values, also when the write fails, and a failed write keeps the old copy.
TEST_F(PdRecordTest, StoreKeepsPersonalValuesOutOfTheQueue) {
  pd_SetUserStore(&kStore);
  std::vector<BYTE> record = CurrentRecord();
  PutUserName(record, u"Alice");
  const std::vector<BYTE> callers = record;
  ASSERT_TRUE(pd_SetPrinterData(printer_, record.data(), ddd_, 1));
  EXPECT_EQ(record, callers);
  std::vector<BYTE> stored = Stored();
  EXPECT_EQ(UserName(stored), u"Default");
  std::vector<BYTE> expected = callers;
  PutUserName(expected, u"Default");
  expected[4342] = 0;
  EXPECT_EQ(stored, expected);

  std::vector<BYTE> changed = record;
  changed[100] ^= 0xFF;
  const std::vector<BYTE> changedCallers = changed;
  for (DWORD k = 1; k <= 8; ++k) {
    SCOPED_TRACE(k);
    KpSpoolerFailPrinterData(0, 1 + k, 1, ERROR_WRITE_FAULT);  // the first set is SPLUserModePrinterDriver
    EXPECT_FALSE(pd_SetPrinterData(printer_, changed.data(), ddd_, 1));
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    EXPECT_EQ(changed, changedCallers);
    EXPECT_EQ(Stored(), expected);
  }
}

TEST_F(PdRecordTest, SaveFlagZeroOnlyNamesTheSpoolerSideLibrary) {
  std::vector<BYTE> record = CurrentRecord();
  EXPECT_FALSE(pd_SetPrinterData(printer_, record.data(), ddd_, 0));
  EXPECT_EQ(ListValues(), std::vector<std::u16string>{u"SPLUserModePrinterDriver"});
  ASSERT_TRUE(pd_SetPrinterData(printer_, record.data(), ddd_, 1));
  std::vector<std::u16string> all = ChunkNames(u"PrinterData", 7, true);
  all.push_back(u"SPLUserModePrinterDriver");
  std::sort(all.begin(), all.end());
  EXPECT_EQ(ListValues(), all);
}

// ---- The export and the library name ------------------------------------------------

TEST_F(PdRecordTest, GetUpgradedPrinterDataSizesAndFills) {
  Store(CurrentRecord());
  std::vector<BYTE> buffer(PD_RECORD_SIZE);
  DWORD size = 0;
  EXPECT_TRUE(GetUpgradedPrinterData(printer_, nullptr, &size, 0));
  EXPECT_EQ(size, PD_RECORD_SIZE);
  size = 1;
  EXPECT_FALSE(GetUpgradedPrinterData(printer_, nullptr, &size, 0));
  size = PD_RECORD_SIZE - 1;
  EXPECT_FALSE(GetUpgradedPrinterData(printer_, buffer.data(), &size, 0));
  size = PD_RECORD_SIZE;
  EXPECT_TRUE(GetUpgradedPrinterData(printer_, buffer.data(), &size, 0));
  EXPECT_EQ(buffer, CurrentRecord());
}

TEST_F(PdRecordTest, SpoolerSideLibraryNameAndItsChecks) {
  LPWSTR name = MakeUMDllName(printer_);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name), u"kestrelum.dll");
  kcore_Free(name);
  EXPECT_EQ(MakeUMDllName(nullptr), nullptr);

  HMODULE strings = resource_get_hInstance();
  // Without bit 8 nothing is checked.
  EXPECT_EQ(CheckRegistryData(printer_, strings, 0, 0), 0u);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  // Missing: 8 and two boxes with the caption and the exclamation icon.
  EXPECT_EQ(CheckRegistryData(printer_, strings, PD_CHECK_FLAG, 0), PD_CHECK_MISSING);
  ASSERT_EQ(KpMessageBoxCount(), 2u);
  for (DWORD i = 0; i < 2; ++i) {
    KpMessageBoxRecord box = {};
    ASSERT_TRUE(KpGetMessageBox(i, &box));
    EXPECT_EQ(std::u16string(box.caption), u"Printing Preferences");
    EXPECT_EQ(box.type & MB_ICONMASK, MB_ICONEXCLAMATION);
  }
  KpClearMessageBoxes();
  // An empty value counts as missing.
  PutValue(u"SPLUserModePrinterDriver", REG_SZ, {0, 0});
  EXPECT_EQ(CheckRegistryData(printer_, strings, PD_CHECK_FLAG, 0), PD_CHECK_MISSING);
  KpClearMessageBoxes();

  EXPECT_FALSE(ValidateRegistryData(nullptr, PD_CHECK_FLAG));
  EXPECT_TRUE(ValidateRegistryData(printer_, 0));
  EXPECT_TRUE(ValidateRegistryData(printer_, PD_CHECK_FLAG));
  EXPECT_EQ(CheckRegistryData(printer_, strings, PD_CHECK_FLAG, 0), 0u);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  DWORD needed = 0;
  std::vector<BYTE> value(64);
  std::u16string valueName = u"SPLUserModePrinterDriver";
  DWORD type = 0;
  ASSERT_EQ(GetPrinterDataW(printer_, valueName.data(), &type, value.data(), 64, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(needed, 28u);  // "kestrelum.dll" and its NUL
}

}  // namespace
}  // namespace kestrel::test::pd
