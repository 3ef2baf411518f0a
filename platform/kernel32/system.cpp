// Machine facts: names, locale, version, the process token and COM classes.
#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include <new>
#include <optional>
#include <string>

#include "codepage.h"
#include "object.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_system.h"

namespace {

struct Version {
  DWORD major, minor, build, platform;
  const char16_t* csd;
  WORD servicePack;
};
constexpr Version kDefaultVersion{6, 1, 7601, VER_PLATFORM_WIN32_NT, u"Service Pack 1", 1};

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct Facts {
  std::mutex lock;
  std::optional<std::u16string> user;
  std::optional<std::u16string> computer;
  LCID userLocale = 0x0409;
  LCID systemLocale = 0x0409;
  Version version = kDefaultVersion;
  bool administrator = true;
  DWORD extraGroups = 0;  // KpSetTokenExtraGroups
  bool localeFails = false;
  bool versionFails = false;  // KpSetVersionFailure
  std::map<GUID, KpComFactory, GuidLess> classes;

  void reset() {
    user = u"user";
    computer = u"KESTREL";
    userLocale = systemLocale = 0x0409;
    version = kDefaultVersion;
    administrator = true;
    extraGroups = 0;
    localeFails = false;
    versionFails = false;
    classes.clear();
  }
};

Facts& facts() {
  static Facts* f = [] {
    Facts* made = new Facts;  // outlives every static destructor
    made->reset();
    return made;
  }();
  return *f;
}

// ---- Locale ----------------------------------------------------------------

struct LocaleRow {
  LCID lcid;
  const char16_t* country;
  const char16_t* dateOrder;
};
constexpr LocaleRow kLocales[] = {
    {0x0409, u"1", u"0"},  {0x0809, u"44", u"1"}, {0x0407, u"49", u"1"}, {0x040C, u"33", u"1"},
    {0x0410, u"39", u"1"}, {0x0C0A, u"34", u"1"}, {0x0411, u"81", u"2"}, {0x0412, u"82", u"2"},
    {0x0804, u"86", u"2"}, {0x0404, u"886", u"2"},
    // Rows the paper-default tests need: a letter country of Latin America,
    // a group-3 country, the 8K/16K country 852 and a country no paper table
    // lists.
    {0x080A, u"52", u"1"}, {0x0416, u"55", u"1"}, {0x0C04, u"852", u"1"}, {0x040D, u"972", u"1"},
};

const LocaleRow* FindLocale(LCID lcid) {
  for (const LocaleRow& row : kLocales)
    if (row.lcid == lcid) return &row;
  return nullptr;
}

// ---- Tokens and SIDs -------------------------------------------------------

// The stored form of a SID: revision, sub-authority count, the 6-byte
// authority, then the 32-bit sub-authorities.
constexpr size_t kSidHeader = 8;
constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;

size_t SidLength(BYTE subAuthorities) { return kSidHeader + 4u * subAuthorities; }

// A well-known group of the token: authority {0,0,0,0,0,authority}.
struct Group {
  BYTE authority;
  BYTE count;
  DWORD subs[2];
};

void WriteSid(BYTE* out, const Group& group) {
  out[0] = kSidRevision;
  out[1] = group.count;
  std::memset(out + 2, 0, 5);
  out[7] = group.authority;
  std::memcpy(out + kSidHeader, group.subs, 4u * group.count);
}

class Token : public kp::KernelObject {
 public:
  Token(DWORD access, bool administrator, DWORD extraGroups)
      : access_(access), administrator_(administrator), extraGroups_(extraGroups) {}
  DWORD access() const { return access_; }
  bool administrator() const { return administrator_; }
  DWORD extraGroups() const { return extraGroups_; }

 private:
  DWORD access_;
  bool administrator_;  // taken when the token was opened, as Windows does
  DWORD extraGroups_;
};

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

BOOL NameOut(const std::optional<std::u16string>& name, DWORD failure, LPWSTR buffer, LPDWORD size,
             bool countTerminator, DWORD tooSmall) {
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!name) {
    SetLastError(failure);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(name->size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    SetLastError(tooSmall);
    return FALSE;
  }
  std::memcpy(buffer, name->c_str(), needed * sizeof(WCHAR));
  *size = countTerminator ? needed : needed - 1;
  return TRUE;
}

thread_local int t_comInitialised = 0;

}  // namespace

// ---- Names -----------------------------------------------------------------

KP_API BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  return NameOut(f.user, ERROR_NO_SUCH_LOGON_SESSION, buffer, size, true, ERROR_INSUFFICIENT_BUFFER);
}

KP_API BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  return NameOut(f.computer, ERROR_NOT_FOUND, buffer, size, false, ERROR_BUFFER_OVERFLOW);
}

KP_API BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string name;
  try {
    Facts& f = facts();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.computer) {
      SetLastError(ERROR_NOT_FOUND);
      return FALSE;
    }
    name = kp::Utf16ToAnsi(*f.computer);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  std::memcpy(buffer, name.c_str(), needed);
  *size = needed - 1;
  return TRUE;
}

// ---- Locale ----------------------------------------------------------------

KP_API int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int count) {
  if (count < 0 || (data == nullptr && count != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  {
    Facts& f = facts();
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.localeFails) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  }
  if (locale == 0 || locale == LOCALE_USER_DEFAULT) locale = GetUserDefaultLCID();
  if (locale == LOCALE_SYSTEM_DEFAULT) locale = MAKELCID(GetSystemDefaultLangID(), SORT_DEFAULT);
  const LocaleRow* row = FindLocale(locale);
  if (row == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char16_t* value = nullptr;
  switch (type & ~LOCALE_NOUSEROVERRIDE) {
    case LOCALE_ICOUNTRY: value = row->country; break;
    case LOCALE_IDATE: value = row->dateOrder; break;
    default:
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
  }
  int needed = static_cast<int>(std::char_traits<char16_t>::length(value)) + 1;
  if (count == 0) return needed;
  if (count < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(data, value, static_cast<size_t>(needed) * sizeof(WCHAR));
  return needed;
}

KP_API LCID WINAPI GetUserDefaultLCID(void) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  return f.userLocale;
}

KP_API LANGID WINAPI GetUserDefaultLangID(void) { return LANGIDFROMLCID(GetUserDefaultLCID()); }

KP_API LANGID WINAPI GetUserDefaultUILanguage(void) { return GetUserDefaultLangID(); }

KP_API LANGID WINAPI GetSystemDefaultLangID(void) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  return LANGIDFROMLCID(f.systemLocale);
}

// ---- Version ---------------------------------------------------------------

KP_API BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Version v;
  {
    Facts& f = facts();
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.versionFails) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
    }
    v = f.version;
  }
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.build;
  info->dwPlatformId = v.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::memcpy(info->szCSDVersion, v.csd, std::char_traits<char16_t>::length(v.csd) * sizeof(WCHAR));
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
    ex->wServicePackMajor = v.servicePack;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}

// ---- Token and SIDs --------------------------------------------------------

KP_API HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }

KP_API BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (token == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *token = nullptr;
  if (process != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool administrator;
  DWORD extraGroups;
  {
    Facts& f = facts();
    std::lock_guard<std::mutex> guard(f.lock);
    administrator = f.administrator;
    extraGroups = f.extraGroups;
  }
  try {
    HANDLE handle = kp::InsertHandle(std::make_shared<Token>(access, administrator, extraGroups));
    if (handle == nullptr) {
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return FALSE;
    }
    *token = handle;
    return TRUE;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

KP_API BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                       DWORD length, LPDWORD returnLength) {
  std::shared_ptr<Token> t = kp::LookupHandleAs<Token>(token);
  if (!t) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((t->access() & TOKEN_QUERY) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (infoClass != TokenGroups || returnLength == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<Group> groups = {
      {1, 1, {SECURITY_WORLD_RID, 0}},
      {5, 1, {SECURITY_AUTHENTICATED_USER_RID, 0}},
      {5, 2, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}},
  };
  // Further groups of the test's choice (S-1-5-21-1000, -1001, ...), before
  // Administrators.
  for (DWORD i = 0; i < t->extraGroups(); ++i) groups.push_back({5, 2, {21, 1000 + i}});
  if (t->administrator()) groups.push_back({5, 2, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}});
  DWORD count = static_cast<DWORD>(groups.size());
  size_t needed = offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES);
  for (DWORD i = 0; i < count; ++i) needed += SidLength(groups[i].count);
  *returnLength = static_cast<DWORD>(needed);
  if (info == nullptr || length < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The caller's block need not be aligned for the record: write it member
  // by member.
  BYTE* base = static_cast<BYTE*>(info);
  std::memcpy(base + offsetof(TOKEN_GROUPS, GroupCount), &count, sizeof count);
  BYTE* sid = base + offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES);
  for (DWORD i = 0; i < count; ++i) {
    WriteSid(sid, groups[i]);
    SID_AND_ATTRIBUTES entry{sid, SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED};
    std::memcpy(base + offsetof(TOKEN_GROUPS, Groups) + i * sizeof(SID_AND_ATTRIBUTES), &entry, sizeof entry);
    sid += SidLength(groups[i].count);
  }
  return TRUE;
}

KP_API BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                                            DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                            DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  if (sid != nullptr) *sid = nullptr;
  if (authority == nullptr || sid == nullptr || subAuthorityCount > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE* made = static_cast<BYTE*>(std::malloc(SidLength(subAuthorityCount)));
  if (made == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  made[0] = kSidRevision;
  made[1] = subAuthorityCount;
  std::memcpy(made + 2, authority->Value, 6);
  std::memcpy(made + kSidHeader, subs, 4u * subAuthorityCount);
  *sid = made;
  return TRUE;
}

KP_API PVOID WINAPI FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

KP_API BOOL WINAPI EqualSid(PSID a, PSID b) {
  if (a == nullptr || b == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const BYTE* x = static_cast<const BYTE*>(a);
  const BYTE* y = static_cast<const BYTE*>(b);
  if (x[0] != kSidRevision || y[0] != kSidRevision || x[1] > kMaxSubAuthorities || y[1] > kMaxSubAuthorities) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return x[1] == y[1] && std::memcmp(x, y, SidLength(x[1])) == 0 ? TRUE : FALSE;
}

// ---- COM -------------------------------------------------------------------

KP_API HRESULT WINAPI CoInitialize(LPVOID) { return t_comInitialised++ == 0 ? S_OK : S_FALSE; }

KP_API void WINAPI CoUninitialize(void) {
  if (t_comInitialised > 0) --t_comInitialised;
}

KP_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                       LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (t_comInitialised == 0) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)) == 0) return E_INVALIDARG;
  KpComFactory factory = nullptr;
  {
    Facts& f = facts();
    std::lock_guard<std::mutex> guard(f.lock);
    auto it = f.classes.find(clsid);
    if (it != f.classes.end()) factory = it->second;
  }
  if (factory == nullptr) return REGDB_E_CLASSNOTREG;
  return factory(iid, object);
}

KP_API HRESULT WINAPI CoCreateGuid(GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  BYTE bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t r = getrandom(bytes + got, sizeof bytes - got, 0);
    if (r < 0) {
      if (errno == EINTR) continue;
      return E_FAIL;
    }
    got += static_cast<size_t>(r);
  }
  std::memcpy(guid, bytes, sizeof bytes);
  guid->Data3 = static_cast<WORD>((guid->Data3 & 0x0FFF) | 0x4000);       // version 4
  guid->Data4[0] = static_cast<BYTE>((guid->Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return S_OK;
}

// ---- Test controls ---------------------------------------------------------

namespace {
// Sets one name of the machine facts (null: back to the fixed one).
BOOL SetFactName(std::optional<std::u16string> Facts::*slot, LPCWSTR name, size_t maxChars) {
  size_t length = name == nullptr ? 0 : std::char_traits<char16_t>::length(name);
  if (length > maxChars) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.*slot = name == nullptr ? std::nullopt : std::optional<std::u16string>(name);
  return TRUE;
}
}  // namespace

KP_API BOOL KpSetUserName(LPCWSTR name) { return SetFactName(&Facts::user, name, UNLEN); }

KP_API BOOL KpSetComputerName(LPCWSTR name) { return SetFactName(&Facts::computer, name, MAX_COMPUTERNAME_LENGTH); }

KP_API BOOL KpSetUserLocale(LCID locale) {
  if (FindLocale(locale) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.userLocale = locale;
  return TRUE;
}

KP_API BOOL KpSetSystemLocale(LCID locale) {
  if (FindLocale(locale) == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.systemLocale = locale;
  return TRUE;
}

KP_API void KpSetLocaleFailure(BOOL fail) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.localeFails = fail != FALSE;
}

KP_API void KpSetVersionFailure(BOOL fail) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.versionFails = fail != FALSE;
}

KP_API void KpSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.version = Version{major, minor, build, platformId, u"", 0};
}

KP_API void KpSetAdministrator(BOOL isAdministrator) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.administrator = isAdministrator != FALSE;
}

KP_API void KpSetTokenExtraGroups(DWORD count) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.extraGroups = count;
}

KP_API void KpRegisterComClass(REFCLSID clsid, KpComFactory factory) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  if (factory == nullptr)
    f.classes.erase(clsid);
  else
    f.classes[clsid] = factory;
}

KP_API void KpResetMachineFacts(void) {
  Facts& f = facts();
  std::lock_guard<std::mutex> guard(f.lock);
  f.reset();
}
