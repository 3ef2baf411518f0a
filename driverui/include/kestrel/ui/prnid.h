// The printer id (PRNID) and the current user's key of a printer.
//
// PRNID is printer data "PRNID", REG_BINARY, 16 bytes: the MD5 digest of the
// time it was made (4 bytes, little-endian seconds) followed by the printer
// name. The per-user key is HKEY_CURRENT_USER\<registry path of the device
// description (item 1)><32 upper-case hexadecimal digits of PRNID>[\sub-key].
//
// Decisions (sound behaviour):
//  - The digest covers the whole UTF-16 name (two bytes a character), so two
//    queues whose names differ anywhere never share an id and a key.
//  - setPRNID checks and writes under one lock (process-wide, and the
//    machine's named mutex when it can be had), and
//    OpenCurrentUser re-reads the stored id after storing its own: an id
//    stored by someone else in the meantime is the one used, never orphaned.
//  - A stored "PRNID" that is not 16 bytes is no id (getPRNID answers 0); it
//    is replaced once by a new id, so later calls find the new one and do not
//    make a new key every time.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/wintypes.h"

#define PRNID_SIZE 16
#define PRNID_KEY_CHARS 512  // room for a key name built by local_CreatePRNIDKey

BOOL getPRNID(HANDLE printer, BYTE* id);
BOOL CreatePRNID(HANDLE printer, BYTE* id);
BOOL setPRNID(HANDLE printer, const BYTE* id);
// Builds path + hex(id) [+ "\" + subKey] into out (capacity in characters);
// answers out, or null when it does not fit or an argument is missing.
LPWSTR local_CreatePRNIDKey(LPCWSTR path, const BYTE* id, LPCWSTR subKey, LPWSTR out, DWORD capacity);
// The current user's key name of the printer (making and storing the id
// when the printer has none), with the sub-key when given.
BOOL local_GetCurrentUserKeyName(HANDLE printer, HCDDD ddd, LPCWSTR subKey, LPWSTR out, DWORD capacity);
BOOL OpenCurrentUser(HANDLE printer, HCDDD ddd, LPCWSTR subKey, HKEY* key);
// 1 when the process token's groups hold Administrators (S-1-5-32-544).
BOOL uiGetUserPermission(void);
