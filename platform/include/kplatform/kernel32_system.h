// Facts about the machine and the user that the driver reads: names, locale,
// the system version, membership of the Administrators group, and whether a
// COM component can be created. Each is settable by tests; the defaults
// below are fixed rather than taken from the host, so that every run sees
// the same machine:
//   user name "user", computer name "KESTREL";
//   user and system locale 0x0409 (English, United States);
//   Windows NT 6.1 build 7601 "Service Pack 1" (VER_PLATFORM_WIN32_NT);
//   the process token belongs to the Administrators group;
//   no COM class is registered.
#pragma once

#include "kplatform/wintypes.h"

#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_NO_TOKEN 1008L
#define ERROR_NO_SUCH_LOGON_SESSION 1312L

#define UNLEN 256
#define MAX_COMPUTERNAME_LENGTH 15

// ---- Names -----------------------------------------------------------------
// *size: in, the buffer's size in characters; out, the characters copied
// including the terminator. A buffer too small: FALSE, ERROR_INSUFFICIENT_
// BUFFER, *size = the characters needed including the terminator.
KP_API BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size);
// *size: in, the buffer's size in characters; out, the name's length without
// the terminator. A buffer too small: FALSE, ERROR_BUFFER_OVERFLOW, *size =
// the characters needed including the terminator.
KP_API BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size);
// The same in bytes of the ANSI code page.
KP_API BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size);

// ---- Locale ----------------------------------------------------------------
typedef DWORD LCTYPE;

#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define SORT_DEFAULT 0x0
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_DEFAULT 0x01

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_NOUSEROVERRIDE 0x80000000u

#define LOCALE_ICOUNTRY 0x00000005
#define LOCALE_IDATE 0x00000021

// Locales known: 0x0409 en-US, 0x0809 en-GB, 0x0407 de-DE, 0x040C fr-FR,
// 0x0410 it-IT, 0x0C0A es-ES, 0x0411 ja-JP, 0x0412 ko-KR, 0x0804 zh-CN,
// 0x0404 zh-TW, 0x080A es-MX, 0x0416 pt-BR, 0x0C04 zh-HK, 0x040D he-IL;
// LCID 0 and LOCALE_USER_DEFAULT mean the user's locale.
// Items: LOCALE_ICOUNTRY (the country's telephone code, "1", "81", ...) and
// LOCALE_IDATE (short date order: "0" M/D/Y, "1" D/M/Y, "2" Y/M/D).
// Answers the characters including the terminator; count 0 answers the size
// needed; a buffer too small gives 0 and ERROR_INSUFFICIENT_BUFFER; an
// unknown item ERROR_INVALID_FLAGS; an unknown locale ERROR_INVALID_PARAMETER.
KP_API int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int count);
KP_API LANGID WINAPI GetUserDefaultLangID(void);
KP_API LANGID WINAPI GetSystemDefaultLangID(void);
KP_API LCID WINAPI GetUserDefaultLCID(void);
// The language of the user interface: the user's language.
KP_API LANGID WINAPI GetUserDefaultUILanguage(void);

// ---- Version ---------------------------------------------------------------
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 1

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW is 276 bytes");
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW is 284 bytes");

// dwOSVersionInfoSize must be 276 or 284 (ERROR_INSUFFICIENT_BUFFER
// otherwise); the extended members are filled only for 284.
KP_API BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);

// ---- The process token and security identifiers ----------------------------
typedef void* PSID;

typedef struct _SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

#define SECURITY_WORLD_SID_AUTHORITY \
  {                                  \
    { 0, 0, 0, 0, 0, 1 }             \
  }
#define SECURITY_NT_AUTHORITY \
  {                           \
    { 0, 0, 0, 0, 0, 5 }      \
  }
#define SECURITY_WORLD_RID 0x00000000
#define SECURITY_AUTHENTICATED_USER_RID 0x0000000B
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220
#define DOMAIN_ALIAS_RID_USERS 0x00000221

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

#define ANYSIZE_ARRAY 1
typedef struct _TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[ANYSIZE_ARRAY];
} TOKEN_GROUPS, *PTOKEN_GROUPS;

#define SE_GROUP_MANDATORY 0x00000001
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002
#define SE_GROUP_ENABLED 0x00000004

typedef enum _TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenGroups = 2 } TOKEN_INFORMATION_CLASS;

#define TOKEN_QUERY 0x0008

// The pseudo handle of the current process (needs no closing).
KP_API HANDLE WINAPI GetCurrentProcess(void);
// Opens the current process's token; closed with CloseHandle. Another
// process's handle gives ERROR_INVALID_HANDLE.
KP_API BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
// Only TokenGroups is answered (ERROR_INVALID_PARAMETER for other classes):
// Everyone, Authenticated Users, Users and, for an administrator,
// Administrators, all enabled. A buffer too small: FALSE,
// ERROR_INSUFFICIENT_BUFFER and *returnLength = the bytes needed. The token
// needs TOKEN_QUERY access (ERROR_ACCESS_DENIED otherwise).
KP_API BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                       DWORD length, LPDWORD returnLength);
KP_API BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                                            DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                            DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid);
// Answers null.
KP_API PVOID WINAPI FreeSid(PSID sid);
KP_API BOOL WINAPI EqualSid(PSID a, PSID b);

// ---- COM -------------------------------------------------------------------
// CoCreateInstance creates only classes a test registered with
// KpRegisterComClass; every other class answers REGDB_E_CLASSNOTREG.
// Aggregation is not offered (CLASS_E_NOAGGREGATION).
typedef GUID CLSID;
typedef GUID IID;
typedef const GUID& REFCLSID;
typedef const GUID& REFIID;

#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4

struct IUnknown {
  virtual HRESULT WINAPI QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

// S_OK on the thread's first call, S_FALSE on later ones; each call is
// matched by CoUninitialize.
KP_API HRESULT WINAPI CoInitialize(LPVOID reserved);
KP_API void WINAPI CoUninitialize(void);
KP_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
// A random (version 4) GUID from the system's random source.
KP_API HRESULT WINAPI CoCreateGuid(GUID* guid);

// ---- Test controls ---------------------------------------------------------
// A null name makes the Get call fail (GetUserNameW: ERROR_NO_SUCH_LOGON_
// SESSION; GetComputerName: ERROR_NOT_FOUND). Names longer than UNLEN or
// MAX_COMPUTERNAME_LENGTH are refused (FALSE, ERROR_INVALID_PARAMETER).
KP_API BOOL KpSetUserName(LPCWSTR name);
KP_API BOOL KpSetComputerName(LPCWSTR name);
// Sets the user's and the system's locale; unknown locales are refused.
KP_API BOOL KpSetUserLocale(LCID locale);
KP_API BOOL KpSetSystemLocale(LCID locale);
// While set, GetLocaleInfoW fails for every locale (ERROR_INVALID_PARAMETER),
// as when the user's locale cannot be read.
KP_API void KpSetLocaleFailure(BOOL fail);
// Sets what GetVersionExW answers (service pack cleared).
KP_API void KpSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId);
// While set, GetVersionExW fails (ERROR_NOT_SUPPORTED), as when the
// system's version cannot be read.
KP_API void KpSetVersionFailure(BOOL fail);
KP_API void KpSetAdministrator(BOOL isAdministrator);
// Tokens opened from now on carry `count` further groups
// (S-1-5-21-1000, S-1-5-21-1001, ...) listed before Administrators, so a
// caller's first buffer can be too small; 0 by default.
KP_API void KpSetTokenExtraGroups(DWORD count);
// Registers the function that creates a class's objects (a null factory
// removes the class). The factory answers like CoCreateInstance.
typedef HRESULT (*KpComFactory)(REFIID iid, void** object);
KP_API void KpRegisterComClass(REFCLSID clsid, KpComFactory factory);
// Restores every default above.
KP_API void KpResetMachineFacts(void);
