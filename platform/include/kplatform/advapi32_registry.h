// The registry: keys, values and their types, kept in one SQLite database
// (<root>/registry.db) that every process using the same root shares.
//
// Hives: HKEY_LOCAL_MACHINE, and HKEY_CURRENT_USER, which is the hive of the
// user GetUserNameW names at the moment of each call (one hive per user name,
// user names compared without regard to case). A handle opened below
// HKEY_CURRENT_USER stays in the hive it was opened in, as on Windows. While
// GetUserNameW fails, HKEY_CURRENT_USER answers ERROR_CANTOPEN.
//
// Names: key and value names compare without regard to case (the same upper-
// case folding as lstrcmpiW) and keep the case they were created with. A
// sub-key path is a list of key names joined by backslashes; it may not begin
// with a backslash or hold an empty name (ERROR_BAD_PATHNAME); a single
// trailing backslash is ignored. A key name has at most 255 characters and a
// value name at most 16383 (ERROR_INVALID_PARAMETER beyond).
//
// Values are stored as the bytes given, whatever their type: a REG_SZ value
// holds its terminating NUL only when the caller counted it in cbData (as
// Windows does). RegQueryValueExW and RegEnumValueW answer the stored bytes;
// when a REG_SZ or REG_EXPAND_SZ value was stored without its terminator and
// the caller's buffer has room for one more character, a NUL is written after
// the data without being counted, so a caller never reads past the string.
//
// Results are the Windows error codes (LONG), not the last error:
//   ERROR_FILE_NOT_FOUND   key or value missing
//   ERROR_MORE_DATA        buffer too small; the needed size is answered
//   ERROR_NO_MORE_ITEMS    enumeration index past the end
//   ERROR_ACCESS_DENIED    deleting a key that has sub-keys or a hive's root;
//                          an operation the handle's access does not grant
//   ERROR_KEY_DELETED      the handle's key was deleted meanwhile, or the key
//                          was opened in the store of a previous root folder
//   ERROR_INVALID_HANDLE   not a key handle
//   ERROR_INVALID_PARAMETER a missing required pointer (also null data with a
//                          non-zero size)
//   ERROR_PATH_NOT_FOUND   no root folder is set
//   ERROR_CANTOPEN, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_BUSY,
//   ERROR_DISK_FULL        the store cannot be opened, read or written
//
// Every change is one transaction: a crash never leaves half a value or half
// a key, and another process sees a change as soon as the call returns (there
// is no cache). Key handles live in the process's handle table; RegCloseKey
// closes them (closing a predefined key is a successful no-op). Key classes,
// security descriptors, volatile keys and change notification are not kept:
// class strings are answered empty and the security-descriptor size as 0.
// Last-write times are the host's clock at the change.
#pragma once

#include "kplatform/wintypes.h"

typedef DWORD REGSAM;
typedef REGSAM* PREGSAM;

// Predefined keys, with the values (sign-extended 32-bit) they have on a
// 64-bit Windows. Their low 32 bits alone are accepted too.
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

// Value types.
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

// Access rights. A key opened without a right answers ERROR_ACCESS_DENIED to
// the operations that need it (query/enumerate, set/delete value, create sub-
// key); MAXIMUM_ALLOWED and the generic rights map onto the key rights.
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0x000F003Fu
#ifndef DELETE
#define DELETE 0x00010000u
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000u
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000u
#endif
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000u
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000u
#endif

// RegCreateKeyExW options (accepted and not kept) and dispositions.
#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_OPTION_VOLATILE 0x1u
#define REG_CREATED_NEW_KEY 0x1u
#define REG_OPENED_EXISTING_KEY 0x2u

// A null or empty sub-key opens a new handle to hKey's own key (also in the
// two short forms). The short forms open with full access.
KP_API LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                                   REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                   LPDWORD lpdwDisposition);
KP_API LONG WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
KP_API LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
KP_API LONG WINAPI RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
KP_API LONG WINAPI RegCloseKey(HKEY hKey);

// Refuses a key that has sub-keys with ERROR_ACCESS_DENIED; deletes the
// key's values with it. An empty sub-key deletes hKey's own key.
KP_API LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);

// A null or empty name is the key's default value.
KP_API LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                  DWORD cbData);
// Sets the default value of the sub-key (created when missing) to the string
// with its terminator; dwType must be REG_SZ and cbData is ignored. The key
// and the value are made in one transaction.
KP_API LONG WINAPI RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD cbData);
// The two-call protocol: null lpData answers the size in *lpcbData; a buffer
// smaller than the value answers ERROR_MORE_DATA with the size needed (and
// copies nothing). lpType, when given, receives the type in both cases.
KP_API LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                    LPDWORD lpcbData);
KP_API LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// Sub-keys are enumerated in the order of their upper-cased names, values in
// the order they were first created. lpcchName holds the buffer's size in
// characters with the terminator and receives the name's length without it;
// a name that does not fit answers ERROR_MORE_DATA and leaves *lpcchName as
// it was. RegEnumValueW answers ERROR_MORE_DATA with the needed size in
// *lpcbData when the data does not fit (the name and type are still given).
KP_API LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                 LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
KP_API LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                 LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Maximum name lengths are in characters without the terminator, the maximum
// data length in bytes.
KP_API LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                    LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                    LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                    LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
