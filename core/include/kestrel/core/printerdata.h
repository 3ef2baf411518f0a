// Chunked printer-data values and the printer-data record's load and store.
//
// A chunked value of base name B lives in the queue's printer data as
// "<B>Size" (REG_DWORD, the block's size in bytes) and "<B>1".."<B>N"
// (REG_BINARY, 768 bytes each, the last one the rest), N = ceil(size / 768),
// at most 99. The kind number picks B:
//   0 "FontSubTable", 1 "SysTTFontList", 2 "PrinterData",
//   3 "UserSettingInfo", 4 "PaperMarginArray".
//
// The printer-data record is 4736 bytes, little-endian; its head holds the
// record size (offset 0), the structure version (2) and the version of the
// driver that wrote it (4). Every other member is reached by DDM id through
// the value access (kestrel/core/dma_core.h); only this module reads the head and
// member 5163 (offset 3844) by offset, as the record's owner.
//
// Both builds carry the reader: the chunked-value reads
// (zanGetPrinterDataFromRegistry(Ex), zanGetChunkedValueEx,
// zanChunkBaseName) and the record's load (pd_GetPrinterData(Ex)). In the
// kernel-mode build (kcore_km) the printer handle is the one the graphics
// engine gave the renderer, and every value is read with EngGetPrinterData;
// the user-mode build reads with the spooler's GetPrinterDataW. Everything
// else here (the writers, the per-user step, the printer-information
// helpers, the checks) is user mode only.
//
// Kernel-mode load (pd_GetPrinterData in kcore_km):
//  - A stored record of another driver version is upgraded with
//    CommonConvertPrinterDataEx (kestrel/core/upgrade.h; its record part is built
//    in both builds) instead of the converter registered in user mode; there
//    is no per-user step.
//  - A stored copy that exists but cannot be read or used (a read failure of
//    the engine, a damaged chunk, a size beyond 99 chunks, an upgrade that
//    fails) answers the model's defaults (1), as nothing stored does, with
//    a line in the trace log: one damaged chunk must not stop the queue
//    from printing until the record is saved again. Only a failure to build
//    the defaults (or a null argument) answers 0.
//
// Decisions (sound behaviour):
//  - Writing a chunked value never leaves a mix of old and new chunks behind
//    and never loses the stored value when it fails part-way. Before writing,
//    the stored value is read whole (when there is one). The chunks are
//    written first, 1..N, and the size value last. When a write fails, the
//    chunks already written are put back from the copy read before (a chunk
//    that had no old counterpart is deleted) and the answer is 0, so the next
//    read finds the old value as it was. Should that repair fail, or should
//    the old value have been unreadable already, the size value is deleted:
//    the next read then finds nothing stored rather than a mix. When the
//    stored size cannot be read at all (a failure other than "not stored"),
//    nothing is written and the answer is 0.
//    A reader running in another process while a write is under way may
//    still meet the mix; the stored format the renderer reads has no room for
//    a commit mark, and the spooler serialises the writers.
//  - A chunk whose stored size is not the size it must have (768, or the
//    rest for the last one) fails the read, as does a missing chunk.
//  - A stored size above 99 x 768 bytes fails the read.
//  - zanGetPrinterDataFromRegistryEx tells "nothing stored"
//    (ERROR_FILE_NOT_FOUND) apart from a failure (any other code).
//  - pd_GetPrinterDataEx tells its caller where the record came from
//    (PD_SOURCE_*). A record answered with defaults because the stored copy
//    could not be read (PD_SOURCE_DEFAULTS_FAILED) must never be stored over
//    the queue's copy: pd_SetPrinterData is for records that were loaded
//    from the queue or built on purpose; callers that only loaded defaults
//    after a failure do not store.
//  - A stored record of the current driver version that is shorter than
//    4736 bytes is laid over the model's defaults (the missing tail takes the
//    defaults, not zeros). A stored record of an older driver version goes to
//    the converter registered with pd_SetConvertFunction; with none
//    registered the record is not converted and the load answers defaults
//    with PD_SOURCE_DEFAULTS_FAILED, so the old copy is never overwritten.
//  - pd_SetPrinterData never changes the caller's record: the per-user
//    members are replaced by their defaults in a copy, and the copy is
//    written, so after a failed store the caller still has its own values.
//  - The per-user store (the printer id PRNID and the current user's
//    "UserSettingInfo") belongs to the user-interface library; it is
//    registered with pd_SetUserStore. With none registered the record is
//    loaded and stored without the per-user step.
//  - The queue is opened for writing by its name (the stand-in's
//    OpenPrinterW takes no access request); when that open fails the given
//    handle is used, and on access denied (5) no PRNID is made.
//  - CheckRegistryData's boxes have no owner window (the platform offers no
//    active window); without a registered permission test the user counts as
//    no administrator.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define ZAN_CHUNK_BYTES 768u
#define ZAN_CHUNK_MAX 99u
#define ZAN_CHUNK_BASE_MAX 64u  // characters of a base name
#define ZAN_KIND_FONTSUBTABLE 0
#define ZAN_KIND_SYSTTFONTLIST 1
#define ZAN_KIND_PRINTERDATA 2
#define ZAN_KIND_USERSETTINGINFO 3
#define ZAN_KIND_PAPERMARGINARRAY 4

#define PD_RECORD_SIZE 4736u
#define PD_STRUCT_VERSION 20752u     // 0x5110
#define PD_STRUCT_VERSION_USER 16389u  // 0x4005: the first with per-user settings by PRNID
#define PD_DRIVER_VERSION 8578u      // 0x2182
#define PD_OFFSET_CARRYOVER 3844u    // member 5163 (byte)
#define PD_USER_SETTING_SIZE 980u

// The record's head (offsets 0-7).
struct PD_RECORD_HEAD {
  WORD size;           // 8202
  WORD structVersion;  // 8204
  WORD driverVersion;  // 8203
  WORD reserved;
};
static_assert(sizeof(PD_RECORD_HEAD) == 8);
static_assert(offsetof(PD_RECORD_HEAD, size) == 0);
static_assert(offsetof(PD_RECORD_HEAD, structVersion) == 2);
static_assert(offsetof(PD_RECORD_HEAD, driverVersion) == 4);
static_assert(PD_RECORD_SIZE == 1184u * 4u);
static_assert(PD_OFFSET_CARRYOVER < PD_RECORD_SIZE);

// ---- Chunked values ---------------------------------------------------------

// 1 when the size value and every chunk were written, else 0 (the stored
// value then is the one before the call).
BOOL zanSavePrinterDataToRegistry(HANDLE printer, const void* data, DWORD size, WORD kind, DWORD unused);
// buffer null: *size gets the stored size. Else *size is the capacity in and
// the bytes read out. 1 on success.
BOOL zanGetPrinterDataFromRegistry(HANDLE printer, WORD kind, void* buffer, DWORD* size);
// The same; *error (optional) is ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when
// nothing is stored, or the failure's code.
BOOL zanGetPrinterDataFromRegistryEx(HANDLE printer, WORD kind, void* buffer, DWORD* size, DWORD* error);
// The base name of a kind, or null.
LPCWSTR zanChunkBaseName(WORD kind);
// The same writer and reader for a value of any base name (the non-devmode
// store keeps "N_Dev", "GSBInfo" and "FaxSendList" in this form,
// kestrel/core/nondev.h). Same results as the kind forms above.
BOOL zanSaveChunkedValue(HANDLE printer, LPCWSTR baseName, const void* data, DWORD size);
BOOL zanGetChunkedValueEx(HANDLE printer, LPCWSTR baseName, void* buffer, DWORD* size, DWORD* error);

// GetPrinterW / GetPrinterDriverW into a new block (kcore_Free), or null.
void* MyGetPrinter(HANDLE printer, DWORD level);
void* MyGetPrinterDriver(HANDLE printer, DWORD level);

// ---- The record in the queue -------------------------------------------------

#define PD_SOURCE_NONE 0
#define PD_SOURCE_STORED 1             // the queue's stored record (converted when older)
#define PD_SOURCE_DEFAULTS 2           // nothing stored: the model's defaults
#define PD_SOURCE_DEFAULTS_FAILED 3    // the stored copy could not be read: defaults

BOOL pd_GetPrinterData(HANDLE printer, void* record, HCDDD ddd);
BOOL pd_GetPrinterDataEx(HANDLE printer, void* record, HCDDD ddd, DWORD* source);
BOOL pd_SetPrinterData(HANDLE printer, void* record, HCDDD ddd, DWORD save);
BOOL GetUpgradedPrinterData(HANDLE printer, void* buffer, DWORD* size, DWORD unused);

BOOL SetSPLUMName(HANDLE printer);
LPWSTR MakeUMDllName(HANDLE printer);  // kcore_Free
DWORD CheckRegistryData(HANDLE printer, HMODULE strings, DWORD flags, DWORD unused);
BOOL ValidateRegistryData(HANDLE printer, DWORD flags);

// The check flags' "bit 8" is the value 8, the flag its callers pass (and the
// check's answer, which the callers hand on to ValidateRegistryData).
#define PD_CHECK_FLAG 0x8u
#define PD_CHECK_MISSING 8u  // CheckRegistryData: "SPLUserModePrinterDriver" missing or empty

// The per-user store of the user-interface library. Every member must be set.
struct PD_USER_STORE {
  BOOL (*getPRNID)(HANDLE printer, BYTE* id);
  BOOL (*createPRNID)(HANDLE printer, BYTE* id);
  BOOL (*setPRNID)(HANDLE printer, const BYTE* id);
  // 1 when the printer has a PRNID and the user's key holds "UserSettingInfo".
  BOOL (*regCheck)(HANDLE printer, HCDDD ddd);
  // User-setting records are PD_USER_SETTING_SIZE bytes.
  BOOL (*getInfo)(HANDLE printer, HCDDD ddd, const void* record, void* setting);
  BOOL (*setInfo)(void* record, const void* setting, WORD selector);
  BOOL (*saveInfo)(HANDLE printer, HCDDD ddd, const void* setting, WORD mode);
  BOOL (*loadInfo)(HANDLE printer, HCDDD ddd, void* setting, WORD unused, BOOL carryOver);
  BOOL (*setDefaultInfo)(HCDDD ddd, void* setting);
  BOOL (*isAdministrator)(void);
};
void pd_SetUserStore(const PD_USER_STORE* store);  // null: none

// Converts an older stored record (size bytes) into out (4736 bytes);
// answers -1 on failure. The upgrade's converter is upg_ConvertStoredRecord
// (kestrel/core/upgrade.h).
typedef LONG (*PdConvertFn)(HANDLE printer, HCDDD ddd, const void* stored, DWORD size, void* out);
void pd_SetConvertFunction(PdConvertFn convert);  // null: none
