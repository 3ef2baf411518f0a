// Resources: strings, dialog templates, bitmaps, icons and raw data by
// numeric type and id, from a resource container loaded as a module
// (kestrelrs.zrs) or carried by a shared library (see resources/README.md).
//
// Names and types are numbers (MAKEINTRESOURCEW) or "#123" strings; other
// string names find nothing. A container has one language: FindResourceExW
// takes any language id. A module without resources answers
// ERROR_RESOURCE_DATA_NOT_FOUND, a missing type ERROR_RESOURCE_TYPE_NOT_FOUND,
// a missing id ERROR_RESOURCE_NAME_NOT_FOUND, a handle that names no loaded
// module ERROR_MOD_NOT_FOUND.
//
// The data of LoadResource/LockResource is read-only and lives as long as the
// module stays loaded. A string table is kept in blocks of 16 strings as on
// Windows (string s is entry s % 16 of the RT_STRING block s / 16 + 1, each
// entry a 16-bit length then that many UTF-16 units, no NUL), so code that
// walks the block itself reads what LoadStringW reads.
#pragma once

#include "kplatform/wintypes.h"

#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

KP_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
KP_API HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
KP_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
KP_API LPVOID WINAPI LockResource(HGLOBAL data);
KP_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
// Nothing to free: answers FALSE, as on Windows.
KP_API BOOL WINAPI FreeResource(HGLOBAL data);

// String `id` of the module's string table. With size > 0: copies at most
// size - 1 characters, adds a NUL and answers the number copied. With size 0:
// stores a read-only pointer to the string (not NUL-terminated) in
// *(LPWSTR*)buffer and answers its full length. A missing or empty string
// answers 0 (and an empty buffer when size > 0), last error
// ERROR_RESOURCE_NAME_NOT_FOUND; a null buffer or negative size answers 0
// with ERROR_INVALID_PARAMETER.
KP_API int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size);

// The resources of a shared library: the source that kestrel_add_resources()
// generates registers its container bytes from a static initialiser, and
// removes them when the library unloads. The bytes must stay in place and be
// 4-byte aligned; they are checked here and a corrupt container is refused
// (FALSE, ERROR_BAD_FORMAT). One container per library.
KP_API BOOL KpRegisterModuleResources(const void* data, size_t size);
KP_API void KpUnregisterModuleResources(const void* data);
