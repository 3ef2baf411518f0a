// The common library: capability words, device type, user-defined paper
// slots and their default names, locale defaults, units and numbers, id
// conversion, operating-system codes, resource module, files and the user.
#include <gtest/gtest.h>

#include <string>

#include "common_fixture.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace kestrel::test::common {
namespace {

// ---- Capability words --------------------------------------------------------

TEST(Capability, FlagsTestBothWords) {
  const ZANLIB_CAPABILITY caps{0x00400001u, 0x80000081u};
  struct Row {
    DWORD flag;
    BOOL expected;
  };
  const Row rows[] = {
      {0x00400000u, TRUE},          {0x00000002u, FALSE},          {0x00000003u, TRUE},  // masks: any common bit
      {0x80000000u, FALSE},                                                            // masks test word 0 only
      {ZANLIB_CAP_BIT(0), TRUE},    {ZANLIB_CAP_BIT(22), TRUE},    {ZANLIB_CAP_BIT(31), FALSE},
      {ZANLIB_CAP_BIT(32), TRUE},   {ZANLIB_CAP_BIT(33), FALSE},   {ZANLIB_CAP_BIT(39), TRUE},
      {ZANLIB_CAP_BIT(63), TRUE},   {ZANLIB_CAP_BIT(64), FALSE},   {0xFFFFFFFFu, FALSE},
  };
  for (const Row& row : rows) EXPECT_EQ(row.expected, zanLib_CheckCapability(&caps, row.flag)) << std::hex << row.flag;
  EXPECT_FALSE(zanLib_CheckCapability(nullptr, 1));
}

class CapabilityFile : public ModelTest {};

TEST_F(CapabilityFile, WordOneIsReadOnlyFromFormat5632) {
  HCDDD current = OpenFile(PatchedK350("CAPS.DDD", 0x00400000u, 0x00000081u));
  HCDDD older = OpenFile(PatchedK350("OLDCAPS.DDD", 0x00400000u, 0x00000081u, 21));  // format 5376
  ASSERT_NE(nullptr, current);
  ASSERT_NE(nullptr, older);
  ZANLIB_CAPABILITY caps{};
  ASSERT_TRUE(zanLib_GetDDDCapabilities(current, &caps));
  EXPECT_EQ(0x00400000u, caps.word0);
  EXPECT_EQ(0x00000081u, caps.word1);
  ASSERT_TRUE(zanLib_GetDDDCapabilities(older, &caps));
  EXPECT_EQ(0x00400000u, caps.word0);
  EXPECT_EQ(0u, caps.word1);
  EXPECT_TRUE(zanLib_CheckCapability_Indirect(current, ZANLIB_CAP_BIT(39)));
  EXPECT_FALSE(zanLib_CheckCapability_Indirect(older, ZANLIB_CAP_BIT(39)));
  EXPECT_FALSE(zanLib_GetDDDCapabilities(nullptr, &caps));
  EXPECT_EQ(0u, caps.word0);
}

TEST_F(CapabilityFile, DeviceTypeOfBothModels) {
  HCDDD k350 = Open(kK350);
  HCDDD k260 = Open(kK260);
  ASSERT_NE(nullptr, k350);
  ASSERT_NE(nullptr, k260);
  EXPECT_EQ(4, zanLib_GetDeviceType(k350));  // item 23 = 3
  EXPECT_EQ(3, zanLib_GetDeviceType(k260));  // item 23 = 2
  EXPECT_TRUE(zanLib_IsPCL6Driver(k350));
  EXPECT_TRUE(zanLib_IsPCL6Driver(k260));
  EXPECT_EQ(0, zanLib_GetDeviceType(nullptr));
}

// An in-process object the alternative job-owner tool test creates.
struct Dummy : IUnknown {
  HRESULT WINAPI QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG WINAPI AddRef() override { return 1; }
  ULONG WINAPI Release() override {
    ++released;
    return 0;
  }
  static inline int released = 0;
};
Dummy g_dummy;
HRESULT MakeDummy(REFIID, void** object) {
  *object = static_cast<IUnknown*>(&g_dummy);
  return S_OK;
}
const GUID kAltClass = {0xF2A5AEC9, 0x686E, 0x4C95, {0xBD, 0x6D, 0xDD, 0x58, 0xDD, 0x40, 0xE3, 0xA7}};

TEST_F(CapabilityFile, AlternativeJobOwnerToolNeedsBit43AndTheComponent) {
  HCDDD with = OpenFile(PatchedK350("JBA.DDD", 0, 1u << 11));  // bit 43 = word 1 bit 11
  HCDDD without = Open(kK350);
  ASSERT_NE(nullptr, with);
  BOOL enabled = TRUE;
  EXPECT_TRUE(zanLib_IsEnableAltJBA(with, &enabled));
  EXPECT_FALSE(enabled);  // no component registered
  KpRegisterComClass(kAltClass, MakeDummy);
  Dummy::released = 0;
  EXPECT_TRUE(zanLib_IsEnableAltJBA(with, &enabled));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(1, Dummy::released);
  EXPECT_TRUE(zanLib_IsEnableAltJBA(without, &enabled));
  EXPECT_FALSE(enabled);
}

// ---- User-defined papers --------------------------------------------------------

TEST(UserDefinedPaper, SlotAndPaperIdTables) {
  struct Row {
    WORD paperId;
    WORD slot;
  };
  const Row rows[] = {{256, 0xFFFF}, {261, 0xFFFF}, {262, 0}, {266, 4},    {267, 0xFFFF},
                      {286, 0xFFFF}, {287, 5},      {301, 19}, {302, 0xFFFF}, {0, 0xFFFF}};
  for (const Row& row : rows) {
    EXPECT_EQ(row.slot, zanLib_GetUsrDefPapIndex(row.paperId)) << row.paperId;
    EXPECT_EQ(row.slot != 0xFFFF, zanLib_IsUsrDefPaper(row.paperId) != 0) << row.paperId;
  }
  for (WORD slot = 0; slot < 20; ++slot) EXPECT_EQ(slot, zanLib_GetUsrDefPapIndex(zanLib_GetUsrDefPapID(slot)));
  EXPECT_EQ(0xFFFF, zanLib_GetUsrDefPapID(20));
  EXPECT_TRUE(zanLib_IsUsrDefPaperOrUsrDefSize(256));
  EXPECT_FALSE(zanLib_IsUsrDefPaperOrUsrDefSize(257));
  EXPECT_FALSE(zanLib_IsUsrDefPapSizeDdmId(5888));
  EXPECT_TRUE(zanLib_IsUsrDefPapSizeDdmId(5889));
  EXPECT_TRUE(zanLib_IsUsrDefPapSizeDdmId(5928));
  EXPECT_FALSE(zanLib_IsUsrDefPapSizeDdmId(5929));
}

class DefaultName : public ModelTest {
 protected:
  std::u16string Name(WORD slot, DWORD capacity) {
    char16_t buffer[64];
    for (auto& c : buffer) c = u'#';
    EXPECT_TRUE(zanLib_GetUsrDefPap_DefaultName(slot, buffer, capacity));
    return buffer;
  }
};

TEST_F(DefaultName, BuiltInTextWithoutTheResourceModule) {
  StartResources(nullptr);
  EXPECT_EQ(u"Custom1", Name(0, 32));
  EXPECT_EQ(u"Custom20", Name(19, 32));
}

TEST_F(DefaultName, TrailingDigitsOfTheResourceTextAreReplaced) {
  StartResources("kcore_test_rs_digits.zrs");
  EXPECT_EQ(u"Custom1", Name(0, 32));  // "Custom12" less its digits, then 1
  EXPECT_EQ(u"Custom15", Name(14, 32));
}

TEST_F(DefaultName, LongTextIsShortenedAndNamesStayDistinct) {
  StartResources("kcore_test_rs_long.zrs");
  std::u16string base = u"Paper size defined by the users";  // 31 characters
  ASSERT_EQ(31u, base.size());
  std::vector<std::u16string> names;
  for (WORD slot = 0; slot < 20; ++slot) {
    std::u16string name = Name(slot, 32);
    std::u16string number = slot < 9 ? std::u16string(1, static_cast<char16_t>(u'1' + slot))
                                     : u"1" + std::u16string(1, static_cast<char16_t>(u'0' + slot - 9));
    if (slot == 19) number = u"20";
    EXPECT_LE(name.size(), 31u);
    EXPECT_EQ(base.substr(0, 31 - number.size()) + number, name);
    for (const auto& other : names) EXPECT_NE(other, name);
    names.push_back(name);
  }
  EXPECT_EQ(u"P20", Name(19, 4));
  char16_t tiny[2] = {u'#', u'#'};
  EXPECT_FALSE(zanLib_GetUsrDefPap_DefaultName(19, tiny, 2));  // not even the number fits
  EXPECT_EQ(u'\0', tiny[0]);
  EXPECT_FALSE(zanLib_GetUsrDefPap_DefaultName(20, tiny, 2));
}

// ---- Locale defaults --------------------------------------------------------------

class LocaleDefaults : public ModelTest {};

TEST_F(LocaleDefaults, RowsOfTheTable) {
  struct Row {
    LCID locale;
    WORD letter;
    BYTE group;
    BYTE groupFlagged;
    BYTE k8k16;
  };
  const Row rows[] = {
      {0x0409, 1, 4, 4, 0},  // 1
      {0x0809, 2, 0, 0, 0},  // 44
      {0x0411, 2, 1, 1, 0},  // 81
      {0x0412, 2, 2, 1, 0},  // 82
      {0x0804, 2, 2, 1, 1},  // 86
      {0x0C04, 2, 2, 1, 1},  // 852
      {0x080A, 1, 3, 0, 0},  // 52
      {0x0416, 2, 3, 0, 0},  // 55: group 3, but not a letter country
      {0x040D, 2, 0, 0, 0},  // 972: in no row
  };
  static const int kAny = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.locale);
    ASSERT_TRUE(KpSetUserLocale(row.locale));
    zanlib_ResetLocaleCache();
    EXPECT_EQ(row.letter, driver_get_letter_flag(&kAny));
    EXPECT_EQ(row.group, zanlib_GetPaperSizeGroupDefault(FALSE));
    EXPECT_EQ(row.groupFlagged, zanlib_GetPaperSizeGroupDefault(TRUE));
    EXPECT_EQ(row.k8k16, zanlib_Get8K16KDefault());
  }
  EXPECT_EQ(2, driver_get_letter_flag(nullptr));
}

TEST_F(LocaleDefaults, UnreadableLocaleAndTheCache) {
  static const int kAny = 0;
  KpSetLocaleFailure(TRUE);
  EXPECT_EQ(2, driver_get_letter_flag(&kAny));
  EXPECT_EQ(254, zanlib_GetPaperSizeGroupDefault(FALSE));
  EXPECT_EQ(254, zanlib_GetPaperSizeGroupDefault(TRUE));
  EXPECT_EQ(254, zanlib_Get8K16KDefault());
  KpSetLocaleFailure(FALSE);
  zanlib_ResetLocaleCache();
  EXPECT_EQ(4, zanlib_GetPaperSizeGroupDefault(FALSE));
  ASSERT_TRUE(KpSetUserLocale(0x0411));
  EXPECT_EQ(4, zanlib_GetPaperSizeGroupDefault(FALSE));  // answered from the cache
}

// ---- Units and numbers ----------------------------------------------------------------

TEST(Units, MillimetresAndInches) {
  EXPECT_EQ(-100, zanlib_MMToInch(-254));
  EXPECT_EQ(254, zanlib_InchToMM(100));
  EXPECT_EQ(827, zanlib_MMToInch(2100));
  EXPECT_EQ(-2159, zanlib_InchToMM(-850));
  EXPECT_EQ(0, zanlib_MMToInch(0));
  EXPECT_EQ(845466003, zanlib_MMToInch(0x7FFFFFFF));  // no overflow on the way
  EXPECT_EQ(-845466003, zanlib_MMToInch(-0x7FFFFFFF - 1) + 0);
  DWORD high = 0, low = 0;
  zanlib_SeparatePaperSize(FALSE, 1234, &high, &low);
  EXPECT_EQ(12u, high);
  EXPECT_EQ(34u, low);
  zanlib_SeparatePaperSize(TRUE, 1234, &high, &low);
  EXPECT_EQ(12u, high);
  EXPECT_EQ(3u, low);
}

TEST(Numbers, StringToDWORD) {
  struct Row {
    const char16_t* text;
    BOOL ok;
    DWORD value;
  };
  const Row rows[] = {
      {u"0x1F", TRUE, 31},          {u"0X1f", TRUE, 31},         {u"31", TRUE, 31},
      {u"0", TRUE, 0},              {u"0x00000000FF", TRUE, 255}, {u"4294967295", TRUE, 0xFFFFFFFFu},
      {u"0xFFFFFFFF", TRUE, 0xFFFFFFFFu},
      {u"0xG1", FALSE, 0},          {u"12a", FALSE, 0},           {u"", FALSE, 0},
      {u"0x", FALSE, 0},            {u" 1", FALSE, 0},            {u"-1", FALSE, 0},
      {u"4294967296", FALSE, 0},    {u"0x100000000", FALSE, 0},   {u"99999999999999999999", FALSE, 0},
  };
  for (const Row& row : rows) {
    DWORD value = 0xABCDEF01u;
    EXPECT_EQ(row.ok, zanLib_StringToDWORD(row.text, &value)) << std::u16string(row.text).size();
    EXPECT_EQ(row.ok ? row.value : 0xABCDEF01u, value);
  }
  DWORD value = 0;
  EXPECT_FALSE(zanLib_StringToDWORD(nullptr, &value));
  EXPECT_FALSE(zanLib_StringToDWORD(u"1", nullptr));
  EXPECT_EQ(123, zanLib_atoi(u"123"));
  EXPECT_EQ(-5, zanLib_atoi(u"-5"));
  EXPECT_EQ(12, zanLib_atoi(u"12a"));
  EXPECT_EQ(0, zanLib_atoi(u""));
  EXPECT_EQ(0x7FFFFFFF, zanLib_atoi(u"99999999999"));
}

// ---- Id conversion -----------------------------------------------------------------------

TEST(IdConversion, ExamplesAndRanges) {
  struct Row {
    WORD external;
    WORD version;
    WORD ddm;  // 0: none
  };
  const Row rows[] = {
      {1, 0, 1},          {25, 0, 25},       {26, 0, 0},          {303, 0, 303},      {445, 0, 465},
      {447, 0, 467},      {448, 0, 0},       {448, 0x5002, 448},  {449, 0, 1281},     {449, 0x5002, 449},
      {451, 0x5002, 1283}, {512, 0, 1344},   {961, 0, 1348},      {968, 0, 1355},     {513, 0, 1793},
      {557, 0, 1837},     {769, 0, 4097},    {810, 0, 4138},      {897, 0, 4609},     {928, 0, 4640},
      {1025, 0, 5121},    {1026, 0, 1333},   {1027, 0, 5123},     {1028, 0, 1332},    {1107, 0, 5203},
      {1281, 0, 8201},    {1281, 0x5002, 1281}, {1297, 0, 8202},  {1298, 0, 8203},    {1307, 0, 8204},
      {1308, 0, 8205},    {1309, 0, 8206},   {1315, 0, 8212},     {1282, 0, 0},       {1330, 0x5002, 1330},
      {1412, 0, 5633},    {1631, 0, 5852},   {4097, 0, 448},      {4113, 0, 464},     {4114, 0, 0},
  };
  for (const Row& row : rows) {
    WORD ddm = 0xEEEE;
    EXPECT_EQ(row.ddm != 0, zanLib_ConvertDmaIDtoFuncID(row.external, &ddm, row.version) != 0) << row.external;
    EXPECT_EQ(row.ddm, ddm) << row.external;
  }
}

TEST(IdConversion, ListCountsAndTheWayBack) {
  struct Range {
    WORD first, last, pairs;
  };
  const Range ranges[] = {{1, 25, 25},     {257, 303, 47},   {304, 351, 48},   {352, 399, 48},   {400, 447, 48},
                          {4097, 4114, 17}, {449, 512, 64},  {961, 968, 8},    {513, 557, 45},   {769, 810, 42},
                          {897, 928, 32},  {1025, 1107, 83}, {1281, 1631, 232}};
  for (const Range& r : ranges) {
    WORD count = 0;
    for (DWORD e = r.first; e <= r.last; ++e) {
      WORD ddm = 0;
      if (!zanLib_ConvertDmaIDtoFuncID(static_cast<WORD>(e), &ddm, 0)) continue;
      ++count;
      WORD back = 0;
      ASSERT_TRUE(zanLib_ConvertFuncIDtoDmaID(ddm, &back)) << ddm;
      WORD again = 0;
      ASSERT_TRUE(zanLib_ConvertDmaIDtoFuncID(back, &again, 0));
      EXPECT_EQ(ddm, again) << e;
    }
    EXPECT_EQ(r.pairs, count) << r.first;
  }
  WORD external = 0;
  EXPECT_TRUE(zanLib_ConvertFuncIDtoDmaID(1333, &external));
  EXPECT_EQ(501, external);  // the private-flags list comes first
  EXPECT_FALSE(zanLib_ConvertFuncIDtoDmaID(9000, &external));
  EXPECT_EQ(0, external);
}

// ---- Operating system ----------------------------------------------------------------------

TEST(OsVersion, CodesAndColourManagement) {
  struct Row {
    DWORD platform, major, minor;
    WORD os;
    LONG icm;
  };
  const Row rows[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 3, 95, 256, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 257, 0},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 258, 1}, {VER_PLATFORM_WIN32_NT, 3, 51, 512, 0},
      {VER_PLATFORM_WIN32_NT, 4, 0, 513, 0},       {VER_PLATFORM_WIN32_NT, 6, 1, 514, 1},
      {VER_PLATFORM_WIN32s, 3, 1, 0, 0},
  };
  for (const Row& row : rows) {
    KpSetVersion(row.major, row.minor, 1, row.platform);
    WORD os = 0xEEEE, icm = 0;
    EXPECT_EQ(1, osVer_GetOS(&os));
    EXPECT_EQ(row.os, os);
    EXPECT_EQ(row.icm, osVer_IsAvaliableICM(&icm));
    EXPECT_EQ(row.icm ? 512 : 0, icm);
  }
  KpResetMachineFacts();
  EXPECT_EQ(-1, osVer_GetOS(nullptr));
  EXPECT_EQ(-1, osVer_IsAvaliableICM(nullptr));
}

// ---- Resource module, driver directory, files and the user ------------------------------------

class Library : public ModelTest {};

TEST_F(Library, ResourceModuleComesFromString32767) {
  StartResources("kestrelrs.zrs");
  WCHAR dir[MAX_PATH] = {};
  ASSERT_TRUE(zanlib_GetDriverDirectory(dir, sizeof dir));
  EXPECT_EQ(std::u16string(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\"), dir);
  EXPECT_FALSE(zanlib_GetDriverDirectory(dir, sizeof dir - 2));  // under 260 characters
  EXPECT_EQ(library_, driver_get_hInstance());
  HINSTANCE rs = resource_get_hInstance();
  ASSERT_NE(nullptr, rs);
  EXPECT_EQ(rs, resource_get_hInstance_forBitmap());
  EXPECT_EQ(rs, resource_get_hInstance_forIcon());
  WCHAR text[16] = {};
  EXPECT_EQ(6, resource_LoadString(ZANLIB_STRID_CUSTOM, text, 16));
  EXPECT_EQ(std::u16string(u"Custom"), text);
  WORD lang = 0;
  EXPECT_TRUE(zanLib_GetLANGID(&lang));
  EXPECT_EQ(1033, lang);

  resource_startToUse(library_, nullptr);  // a second user
  resource_unload();
  EXPECT_EQ(rs, resource_get_hInstance());  // still one reference
  resource_finishToUse();
  EXPECT_EQ(nullptr, resource_get_hInstance());
  EXPECT_EQ(nullptr, driver_get_hInstance());
}

TEST_F(Library, MissingResourceModuleGivesNoHandle) {
  StartResources(nullptr);
  EXPECT_EQ(nullptr, resource_get_hInstance());
  WORD lang = 0;
  EXPECT_FALSE(zanLib_GetLANGID(&lang));
}

TEST_F(Library, FormDirectoryIsCreatedBelowTheWindowsDrive) {
  StartResources("kcore_test_rs_digits.zrs");
  WCHAR before[MAX_PATH] = {}, after[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  LPWSTR dir = zanLib_GetFormDirDefault();
  ASSERT_NE(nullptr, dir);
  EXPECT_EQ(std::u16string(u"C:\\Kestrel Test\\forms\\"), dir);
  kcore_Free(dir);
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_EQ(std::u16string(before), after);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"C:\\Kestrel Test\\forms"));

  StopResources();
  StartResources(nullptr);
  dir = zanLib_GetFormDirDefault();
  ASSERT_NE(nullptr, dir);
  EXPECT_EQ(std::u16string(u"C:\\Halcyra\\form\\"), dir);  // the built-in text
  kcore_Free(dir);

  WCHAR log[MAX_PATH] = {};
  EXPECT_TRUE(zanlib_CreateDrvLogDirectory(log));
  EXPECT_EQ(std::u16string(u"C:\\DEBUG_LOG\\WINNT"), log);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log));
}

TEST_F(Library, FileHelpers) {
  WriteHostFile(root_.host("c/Windows/Temp/ten.bin"), "0123456789");
  EXPECT_EQ(10u, zanLib_GetFileSizeByFileName(u"C:\\Windows\\Temp\\ten.bin"));
  EXPECT_EQ(0u, zanLib_GetFileSizeByFileName(u"C:\\Windows\\Temp\\none.bin"));
  EXPECT_TRUE(zanlib_isFilePassage(u"C:\\Windows\\Temp\\ten.bin", 0));
  EXPECT_FALSE(zanlib_isFilePassage(u"C:\\Windows\\Temp\\ten.bin", 24 * 3600));
  EXPECT_FALSE(zanlib_isFilePassage(u"C:\\Windows\\Temp\\none.bin", 0));
  void* block = kcore_Alloc(24);
  EXPECT_EQ(24u, zanLib_GetGlobalSize(block));
  kcore_Free(block);
  int local = 0;
  EXPECT_EQ(0u, zanLib_GetGlobalSize(&local));
}

TEST_F(Library, UserNameAndItsFallbacks) {
  WCHAR name[64] = {};
  DWORD size = 64;
  ASSERT_TRUE(zanLib_GetUserName(name, &size));
  EXPECT_EQ(std::u16string(u"user"), name);
  EXPECT_EQ(5u, size);

  KpSetUserName(u"SYSTEM");
  size = 64;
  ASSERT_TRUE(zanLib_GetUserName(name, &size));
  EXPECT_EQ(std::u16string(u"UnknownUser"), name);

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                           u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const char16_t value[] = u"Operator";
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"DefaultUserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                          sizeof value));
  RegCloseKey(key);
  KpSetUserName(nullptr);  // the call fails
  size = 64;
  ASSERT_TRUE(zanLib_GetUserName(name, &size));
  EXPECT_EQ(std::u16string(u"Operator"), name);

  size = 3;
  EXPECT_FALSE(zanLib_GetUserName(name, &size));
  EXPECT_EQ(9u, size);
}

}  // namespace
}  // namespace kestrel::test::common
