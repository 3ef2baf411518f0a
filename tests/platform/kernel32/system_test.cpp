#include <gtest/gtest.h>
#include <kplatform/kernel32_codepage.h>
#include <kplatform/kernel32_sync.h>
#include <kplatform/kernel32_system.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class MachineFacts : public ::testing::Test {
 protected:
  void SetUp() override { KpResetMachineFacts(); }
  void TearDown() override {
    KpResetMachineFacts();
    KpSetACP(1252);
  }
};

std::u16string UserName() {
  WCHAR buffer[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!GetUserNameW(buffer, &size)) return u"<failed>";
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer) + 1, size) << "the count includes the terminator";
  return buffer;
}

std::u16string ComputerName() {
  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &size)) return u"<failed>";
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer), size) << "the count leaves out the terminator";
  return buffer;
}

TEST_F(MachineFacts, NamesHaveFixedDefaultsAndReadBackWhatTestsSet) {
  EXPECT_EQ(u"user", UserName());
  EXPECT_EQ(u"KESTREL", ComputerName());
  ASSERT_TRUE(KpSetUserName(u"SYSTEM"));
  ASSERT_TRUE(KpSetComputerName(u"PRINTSRV"));
  EXPECT_EQ(u"SYSTEM", UserName());
  EXPECT_EQ(u"PRINTSRV", ComputerName());

  ASSERT_TRUE(KpSetUserName(nullptr));
  ASSERT_TRUE(KpSetComputerName(nullptr));
  WCHAR buffer[32];
  DWORD size = 32;
  SetLastError(0);
  EXPECT_FALSE(GetUserNameW(buffer, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_LOGON_SESSION), GetLastError());
  EXPECT_FALSE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());

  std::u16string tooLong(UNLEN + 1, u'u');
  SetLastError(0);
  EXPECT_FALSE(KpSetUserName(tooLong.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(KpSetComputerName(u"SIXTEEN-CHARS-XX"));
}

TEST_F(MachineFacts, NameSizeProtocols) {
  ASSERT_TRUE(KpSetUserName(u"alice"));
  ASSERT_TRUE(KpSetComputerName(u"HOST"));
  WCHAR buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};

  DWORD size = 5;  // one short of "alice" and its terminator
  SetLastError(0);
  EXPECT_FALSE(GetUserNameW(buffer, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(6u, size);
  EXPECT_EQ(u'#', buffer[0]);
  EXPECT_TRUE(GetUserNameW(buffer, &size));
  EXPECT_EQ(6u, size);

  size = 4;
  SetLastError(0);
  EXPECT_FALSE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetLastError());
  EXPECT_EQ(5u, size);
  EXPECT_TRUE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(4u, size);

  size = 0;
  EXPECT_FALSE(GetUserNameW(nullptr, &size));
  EXPECT_EQ(6u, size);
  EXPECT_FALSE(GetUserNameW(buffer, nullptr));
}

TEST_F(MachineFacts, NarrowComputerNameIsInTheAnsiCodePage) {
  ASSERT_TRUE(KpSetACP(932));
  ASSERT_TRUE(KpSetComputerName(u"\u65E5\u672C-PC"));
  char buffer[16];
  DWORD size = 7;  // the name takes 7 bytes + terminator
  EXPECT_FALSE(GetComputerNameA(buffer, &size));
  EXPECT_EQ(8u, size);
  EXPECT_TRUE(GetComputerNameA(buffer, &size));
  EXPECT_EQ(7u, size);
  EXPECT_STREQ("\x93\xFA\x96\x7B-PC", buffer);
}

TEST_F(MachineFacts, LocaleItemsByLocale) {
  struct Case {
    LCID locale;
    LCTYPE item;
    const char16_t* value;
  };
  const Case cases[] = {
      {0x0409, LOCALE_ICOUNTRY, u"1"},   {0x0409, LOCALE_IDATE, u"0"}, {0x0411, LOCALE_ICOUNTRY, u"81"},
      {0x0411, LOCALE_IDATE, u"2"},      {0x0407, LOCALE_IDATE, u"1"}, {0x0404, LOCALE_ICOUNTRY, u"886"},
      {0x0809, LOCALE_ICOUNTRY | LOCALE_NOUSEROVERRIDE, u"44"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.locale << " " << c.item);
    WCHAR buffer[260];
    int n = GetLocaleInfoW(c.locale, c.item, buffer, 260);
    EXPECT_EQ(static_cast<int>(std::char_traits<char16_t>::length(c.value)) + 1, n);
    EXPECT_EQ(std::u16string(c.value), buffer);
  }
}

TEST_F(MachineFacts, UserLocaleIsSettableAndDrivesTheDefaults) {
  WCHAR buffer[8];
  EXPECT_EQ(0x0409u, GetUserDefaultLCID());
  EXPECT_EQ(1033, GetUserDefaultLangID());
  ASSERT_TRUE(KpSetUserLocale(0x0411));
  EXPECT_EQ(1041, GetUserDefaultLangID());
  EXPECT_EQ(1041, GetUserDefaultUILanguage());
  EXPECT_EQ(1033, GetSystemDefaultLangID()) << "the system locale is separate";
  EXPECT_EQ(3, GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, buffer, 8));
  EXPECT_EQ(std::u16string(u"81"), buffer);
  EXPECT_EQ(2, GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, buffer, 8));
  ASSERT_TRUE(KpSetSystemLocale(0x0407));
  EXPECT_EQ(0x0407, GetSystemDefaultLangID());

  SetLastError(0);
  EXPECT_FALSE(KpSetUserLocale(0x0419));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(1041, GetUserDefaultLangID());
}

TEST_F(MachineFacts, LocaleSizeProtocolAndErrors) {
  ASSERT_TRUE(KpSetUserLocale(0x0404));
  WCHAR buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(4, GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, nullptr, 0));
  SetLastError(0);
  EXPECT_EQ(0, GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, buffer, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(u'#', buffer[0]);
  SetLastError(0);
  EXPECT_EQ(0, GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x1234, buffer, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
  SetLastError(0);
  EXPECT_EQ(0, GetLocaleInfoW(0x0419, LOCALE_ICOUNTRY, buffer, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(MachineFacts, VersionAnswersBothRecordSizes) {
  OSVERSIONINFOEXW ex;
  std::memset(&ex, 0xCC, sizeof ex);
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
  EXPECT_EQ(6u, ex.dwMajorVersion);
  EXPECT_EQ(1u, ex.dwMinorVersion);
  EXPECT_EQ(7601u, ex.dwBuildNumber);
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), ex.dwPlatformId);
  EXPECT_EQ(std::u16string(u"Service Pack 1"), ex.szCSDVersion);
  EXPECT_EQ(1, ex.wServicePackMajor);
  EXPECT_EQ(VER_NT_WORKSTATION, ex.wProductType);

  KpSetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);
  OSVERSIONINFOW plain;
  plain.dwOSVersionInfoSize = sizeof plain;
  ASSERT_TRUE(GetVersionExW(&plain));
  EXPECT_EQ(4u, plain.dwMajorVersion);
  EXPECT_EQ(10u, plain.dwMinorVersion);
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), plain.dwPlatformId);
  EXPECT_EQ(u'\0', plain.szCSDVersion[0]);

  plain.dwOSVersionInfoSize = 148;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&plain));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

// The way the driver asks: the process token's groups, read into 1024 bytes
// first and a larger block when needed, searched for S-1-5-32-544.
int IsAdministrator() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return -1;
  std::vector<BYTE> block(1024);
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenGroups, block.data(), static_cast<DWORD>(block.size()), &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return -1;
    block.resize(needed);
    if (!GetTokenInformation(token, TokenGroups, block.data(), needed, &needed)) return -1;
  }
  CloseHandle(token);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &admins))
    return -1;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(block.data());
  int found = 0;
  for (DWORD i = 0; i < groups->GroupCount; ++i)
    if (EqualSid(groups->Groups[i].Sid, admins)) found = 1;
  FreeSid(admins);
  return found;
}

TEST_F(MachineFacts, AdministratorsMembershipThroughTheProcessToken) {
  size_t handles = KpOpenHandleCount();
  EXPECT_EQ(1, IsAdministrator());
  KpSetAdministrator(FALSE);
  EXPECT_EQ(0, IsAdministrator());
  KpSetAdministrator(TRUE);
  EXPECT_EQ(1, IsAdministrator());
  EXPECT_EQ(handles, KpOpenHandleCount()) << "every token handle was closed";
}

TEST_F(MachineFacts, TokenQuerySizeProtocolAndAccess) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE small[16];
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(token, TokenGroups, small, sizeof small, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> exact(needed);
  EXPECT_TRUE(GetTokenInformation(token, TokenGroups, exact.data(), needed, &needed));
  EXPECT_EQ(4u, reinterpret_cast<const TOKEN_GROUPS*>(exact.data())->GroupCount);
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, exact.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  CloseHandle(token);

  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), 0, &token));
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(token, TokenGroups, exact.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(token);

  SetLastError(0);
  EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x44), TOKEN_QUERY, &token));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(GetTokenInformation(reinterpret_cast<HANDLE>(0x44), TokenGroups, exact.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(MachineFacts, SidsCompareByValue) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID a = nullptr, b = nullptr, c = nullptr, d = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &a));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 9, 9, 9, 9, 9, 9, &b));  // only two taken
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 545, 0, 0, 0, 0, 0, 0, &c));
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 2, 32, 544, 0, 0, 0, 0, 0, 0, &d));
  EXPECT_TRUE(EqualSid(a, b));
  EXPECT_FALSE(EqualSid(a, c));
  EXPECT_FALSE(EqualSid(a, d));
  PSID e = reinterpret_cast<PSID>(1);
  EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &e));
  EXPECT_EQ(nullptr, e);
  for (PSID s : {a, b, c, d}) EXPECT_EQ(nullptr, FreeSid(s));
}

// A component a test provides.
struct Popup final : IUnknown {
  ULONG refs = 1;
  HRESULT WINAPI QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG WINAPI AddRef() override { return ++refs; }
  ULONG WINAPI Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
};

const GUID kPopupClass = {0xf2a5aec9, 0x686e, 0x4c95, {0xbd, 0x6d, 0xdd, 0x58, 0xdd, 0x40, 0xe3, 0xa7}};
const GUID kPopupInterface = {0xf8cead2f, 0xbf3e, 0x4da0, {0xa9, 0x61, 0x29, 0x74, 0x14, 0xcf, 0xca, 0x4c}};

HRESULT MakePopup(REFIID iid, void** object) {
  if (std::memcmp(&iid, &kPopupInterface, sizeof(GUID)) != 0) return E_NOINTERFACE;
  *object = static_cast<IUnknown*>(new Popup);
  return S_OK;
}

TEST_F(MachineFacts, ComCreatesOnlyRegisteredClasses) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CO_E_NOTINITIALIZED,
            CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kPopupInterface, &object));
  EXPECT_EQ(nullptr, object);

  EXPECT_EQ(S_OK, CoInitialize(nullptr));
  EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kPopupInterface, &object));
  EXPECT_EQ(nullptr, object);

  KpRegisterComClass(kPopupClass, MakePopup);
  ASSERT_EQ(S_OK, CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER, kPopupInterface, &object));
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(0u, static_cast<IUnknown*>(object)->Release());
  EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER, kPopupClass, &object));
  Popup outer;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(kPopupClass, &outer, CLSCTX_INPROC_SERVER, kPopupInterface, &object));
  EXPECT_EQ(E_POINTER, CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER, kPopupInterface, nullptr));

  KpRegisterComClass(kPopupClass, nullptr);
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER, kPopupInterface, &object));
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(kPopupClass, nullptr, CLSCTX_INPROC_SERVER, kPopupInterface, &object));
}

TEST_F(MachineFacts, GuidsAreRandomVersionFour) {
  GUID a, b;
  ASSERT_EQ(S_OK, CoCreateGuid(&a));
  ASSERT_EQ(S_OK, CoCreateGuid(&b));
  EXPECT_NE(0, std::memcmp(&a, &b, sizeof(GUID)));
  for (const GUID& g : {a, b}) {
    EXPECT_EQ(0x4000, g.Data3 & 0xF000);
    EXPECT_EQ(0x80, g.Data4[0] & 0xC0);
  }
  EXPECT_EQ(E_INVALIDARG, CoCreateGuid(nullptr));
}

}  // namespace
