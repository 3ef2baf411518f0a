// The non-devmode record (3884 bytes, the settings of DDM ids 1793-1865 that
// ride behind the 1556-byte devmode) with its two companions, the
// security-marking block (opaque bytes) and the fax address list ("DFAX001",
// 1442 + 742 x count bytes), kept in the queue's printer data or in a
// document-property file the caller names.
//
// Record header (24 bytes, little-endian), in the file and in "N_Dev":
//   0   16  tag, UTF-16 "NDEV001" and its NUL
//   16  4   version, 20752 (0x5110) when written
//   20  4   size of the record that follows, 3884 when written
// Security-marking header (20 bytes):
//   0   16  tag, UTF-16 "GSBINFO" and its NUL
//   16  4   size of the block that follows (may be 0)
//
// Document-property file: record header, record, security-marking header,
// block, then the fax list when there is one.
// Printer data (chunked values, kestrel/core/printerdata.h): "N_Dev" holds the
// record header, the record and the fax list when there is one; "GSBInfo"
// the security-marking header and block. "FaxSendList" holds a fax list
// alone (read by nonDev_LoadFaxData_v1).
//
// Blocks handed out (fax list, security-marking block) are new kcore_Alloc
// blocks; the caller frees them with kcore_Free.
//
// User mode only (kcore_um).
//
// Decisions (sound behaviour and open points):
//  - The fourth argument of the save and load names the store used without a
//    file name: NONDEV_LOCATION_PRINTERDATA (2), the queue's printer data.
//    The per-user copies (location 3) are not built: no caller uses them;
//    any other location is refused with 0. With a file name the location is
//    not looked at. The user context (a description handle, for the per-user
//    store) is not used by the printer-data store or the file.
//  - A document-property file is never left half-written: the bytes go to a
//    new temporary file in the same folder, which replaces the old file only
//    when every byte was written and flushed; on any failure the temporary
//    file is deleted and the old file is as it was. The file must already
//    exist (a missing name fails, ERROR_FILE_NOT_FOUND), as a directory may
//    not be named.
//  - The two printer-data values are saved as one set: "N_Dev" first, then
//    "GSBInfo"; when "GSBInfo" cannot be written, "N_Dev" is put back as it
//    was before the call (or taken away, "N_DevSize" deleted, when there was
//    none), so a failed save leaves the queue's stored set as it was (a
//    stored "N_Dev" that could not be read before the save is not put back:
//    the new one stays). A set too large for the chunked form (more than 99
//    chunks in either value) is refused before anything is written. Each
//    value on its own is written by the chunked writer, which never leaves a
//    mix of old and new chunks.
//  - The parse never reads past the bytes read: the remaining count is
//    checked before every header and every block. A record whose stored size
//    is larger than 3884 has its first 3884 bytes copied (the cursor passes
//    the whole stored size); a record shorter than 3884 bytes, or of an older
//    version, is laid over the model's default record, so its missing tail
//    holds defaults, never stale bytes.
//  - The record is parsed into a work copy; the caller's buffer is written
//    only when the whole load succeeded. On failure every block allocated
//    is freed and every output (fax list, block, block size) is cleared.
//  - A fax list is accepted (on load and on save) only with its "DFAX001"
//    tag and a size of exactly 1442 + 742 x its entry count, counted in 64
//    bits so no count can wrap the sum. A list that does not describe its own
//    size is refused at save, so a saved record always loads again.
//  - A block given with size 0 (fax list or security-marking block) is
//    refused by the save; no block (null) writes a bare 20-byte
//    security-marking header and no fax list. A bare header loads as no
//    block (null, size 0).
//  - "GSBInfo" not stored at all (a queue written by a driver that kept no
//    block, or a save cut off by the end of the process between the two
//    values) loads as no block; a stored but unreadable or ill-formed
//    "GSBInfo" fails the load.
//  - A document-property file above 64 MiB is refused before it is read.
//  - nonDev_LoadNonDevDatEx tells "nothing stored" (no "N_Dev", or no file:
//    ERROR_FILE_NOT_FOUND) from a stored copy that could not be used (any
//    other code); callers store defaults only in the first case.
//  - nonDev_LoadFaxData_v1 needs all three arguments (0 when any is missing)
//    and checks the list as above.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define NONDEV_RECORD_SIZE 3884u
#define NONDEV_VERSION 20752u  // 0x5110
#define NONDEV_LOCATION_PRINTERDATA 2u
#define NONDEV_FAX_HEAD_SIZE 1442u
#define NONDEV_FAX_ENTRY_SIZE 742u
#define NONDEV_FAX_COUNT_OFFSET 16u
#define NONDEV_FILE_MAX (64u * 1024u * 1024u)

#define NONDEV_TAG u"NDEV001"
#define NONDEV_GSB_TAG u"GSBINFO"
#define NONDEV_FAX_TAG u"DFAX001"
#define NONDEV_VALUE u"N_Dev"
#define NONDEV_GSB_VALUE u"GSBInfo"
#define NONDEV_FAX_VALUE u"FaxSendList"

// The record header as stored (read and written with memcpy: it lies at any
// byte offset of a file or value).
struct NONDEV_HEADER {
  WCHAR tag[8];   // "NDEV001" and NUL
  DWORD version;  // 20752 when written
  DWORD size;     // 3884 when written
};
static_assert(sizeof(NONDEV_HEADER) == 24);
static_assert(offsetof(NONDEV_HEADER, version) == 16);
static_assert(offsetof(NONDEV_HEADER, size) == 20);

struct NONDEV_GSB_HEADER {
  WCHAR tag[8];  // "GSBINFO" and NUL
  DWORD size;    // bytes of the block that follows
};
static_assert(sizeof(NONDEV_GSB_HEADER) == 20);
static_assert(offsetof(NONDEV_GSB_HEADER, size) == 16);

// Writes the record (3884 bytes) with its companions to the file when a name
// is given, else to the printer data. 1 when every write succeeded.
BOOL nonDev_SaveNonDevDat(HANDLE printer, HCDDD userContext, LPCWSTR fileName, DWORD location, const void* faxList,
                          DWORD faxListSize, const void* record, const void* gsbInfo, DWORD gsbInfoSize);

// Reads the record into the caller's 3884-byte buffer; hands out the
// security-marking block (null for size 0) with its size, and the fax list
// (null when none is stored), when asked. A block output without its size
// output fails.
BOOL nonDev_LoadNonDevDat(HANDLE printer, HCDDD userContext, LPCWSTR fileName, DWORD location, void** faxList,
                          void* record, void** gsbInfo, DWORD* gsbInfoSize);
// The same; *error (optional) is ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when
// nothing is stored (no "N_Dev" value, no file), or another code when a
// stored copy could not be used.
BOOL nonDev_LoadNonDevDatEx(HANDLE printer, HCDDD userContext, LPCWSTR fileName, DWORD location, void** faxList,
                            void* record, void** gsbInfo, DWORD* gsbInfoSize, DWORD* error);

// The model's default non-devmode record (3884 bytes): 1, or 0 when the
// description handle or the defaults cannot be made.
BOOL nonDev_SetDefaultData(HANDLE printer, void* record);

// The printer data "FaxSendList": a new block and its size; 0 when an
// argument is missing, nothing is stored, the read fails or the list is not
// one.
BOOL nonDev_LoadFaxData_v1(HANDLE printer, void** list, DWORD* size);

// ---- The parse, for the loaders above and the fuzz target -------------------

// Fills a 3884-byte record with the defaults an older or shorter record is
// laid over; answers 0 when they cannot be made.
typedef BOOL (*NonDevDefaultsFn)(void* context, void* record);

// The fax list's size rule, kept here once: a list is the tag "DFAX001",
// its 16-bit entry count at offset 16, and 1442 + 742 x count bytes.
// nonDev_FaxListNeeded answers the bytes the list at `list` says it takes
// (counted so that no count can wrap), or 0 when fewer than the 1442 header
// bytes are available or the tag is not there; it does not look at entries.
DWORD nonDev_FaxListNeeded(const void* list, DWORD available);
// The size of the fax list at list when available bytes hold a whole list
// and nothing more ("DFAX001", 1442 + 742 x count == available); else 0.
DWORD nonDev_FaxListSize(const void* list, DWORD available);

// Parses the bytes of a document-property file: record, security-marking
// block, and the fax list when asked and bytes remain. Same outputs and
// failure rules as nonDev_LoadNonDevDat (record untouched on failure).
BOOL nonDev_ParseDocProp(const void* bytes, DWORD size, NonDevDefaultsFn defaults, void* context, void** faxList,
                         void* record, void** gsbInfo, DWORD* gsbInfoSize);
