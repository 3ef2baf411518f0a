// The TrueType substitution table: the TrueType faces the printer replaces
// by its own device fonts.
//
// Layout: pairs of NUL-terminated UTF-16 strings (TrueType face name, then
// the device font's name), ended by an empty string; an empty table is one
// NUL character. A table is one kcore_Alloc block; free it with
// ttsb_FreeTrueTypeSubstTable. Stored as the chunked value "FontSubTable"
// (kind 0, kestrel/core/printerdata.h).
//
// Decisions (sound behaviour):
//  - A stored table is taken only when it is well formed: an even byte count
//    below 65536, the closing empty string inside the stored bytes and no
//    pair cut short. Anything else is refused (null), so no reader walks
//    past the block; ttsb_CurrentTrueTypeSubstTable then answers the
//    default.
//  - A table is walked only up to its closing empty string; lengths are
//    counted in 32 bits, and a table that would reach 65536 bytes is
//    refused (null) by the builder and the modifier.
//  - The default table's reader errors (any status but "not found") give
//    null, as does running out of memory.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define TTSB_MAX_BYTES 65535u

// The stored table ("FontSubTable"), else the model's default table; null
// when neither gives one. User mode opens the description data of the
// printer for the default. The kernel-mode renderer reads the stored table
// with the engine's printer handle and, when there is none and an engine
// device is given, opens the description data of that device for the
// default (and closes it again). Storing a table
// (ttsb_SetTrueTypeSubstTable) and UpgradeTrueTypeSubstTable are user mode
// only.
#if defined(KESTREL_KERNEL_MODE)
LPWSTR ttsb_CurrentTrueTypeSubstTable(HANDLE printer, DWORD reserved, HDEV engineDevice);
#else
LPWSTR ttsb_CurrentTrueTypeSubstTable(HANDLE printer, DWORD unused);
#endif
LPWSTR ttsb_CurrentTrueTypeSubstTableNODEFAULT(HANDLE printer, DWORD unused);
LPWSTR ttsb_DefaultTrueTypeSubstTable(HCDDD ddd);
LPCWSTR ttsb_FindTrueTypeSubstTable(LPCWSTR table, LPCWSTR trueTypeName);
BOOL ttsb_SetTrueTypeSubstTable(HANDLE printer, DWORD unused, LPCWSTR table);
LPWSTR ttsb_ModifyTrueTypeSubstTable(LPCWSTR table, LPCWSTR trueTypeName, LPCWSTR deviceName);
BOOL UpgradeTrueTypeSubstTable(HANDLE printer, DWORD unused, HCDDD ddd);
void ttsb_FreeTrueTypeSubstTable(void* table);
// Bytes of a well-formed table up to and with its closing empty string, or 0
// when the first `bytes` bytes hold no complete table.
DWORD ttsb_TableBytes(LPCWSTR table, DWORD bytes);
