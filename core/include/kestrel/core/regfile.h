// Temporary files recorded in the current user's registry, each with the
// application window it belongs to, so that files left behind by a window
// that is gone are deleted after a week. User mode only (kcore_um).
//
// Two lists under HKEY_CURRENT_USER, each a key whose values are records:
//   the temporary-file list: the description's registry path of selector 1
//     (printer-information item 33) + "TempFile";
//   the direct-fax list: the registry path of selector 0 (item 30) +
//     "DirectFax\TempFile".
// A record is a REG_BINARY value "DFaxInfo_<n>" (n decimal, from 1, the first
// free one) of 532 bytes (REGFILE_RECORD). Values of other names are left
// alone.
//
// Sweep of a list: open the key (none: nothing to do); enumerate its values
// by index with names of up to 260 characters (a longer name is skipped, any
// other enumeration error ends the sweep); for each "DFaxInfo_" record whose
// file exists: kept while its window exists and reports the recorded
// instance, else kept while the file is younger than seven days, else the
// file is deleted and then the value; a record whose file is gone loses its
// value. After a deletion the enumeration starts again from index 0.
//
// Results are registry status codes (ERROR_SUCCESS, or the code of the call
// that failed).
//
// Decisions (sound behaviour and open points):
//  - A value that is not REG_BINARY, not exactly 532 bytes, or whose path has
//    no NUL within its 262 characters is skipped (left as it is): it is not a
//    record this code wrote, and its bytes name no file safely.
//  - The file is deleted before its value, and a file that cannot be deleted
//    keeps its record, so a later sweep tries again instead of forgetting a
//    file that stays on the disk. A value deleted by another process's sweep
//    meanwhile counts as gone.
//  - The window and instance fields are 32 bits wide. The window field keeps
//    the low 32 bits of the handle (window handles are 32-bit values on the
//    platform, also in 64-bit processes) and is compared after widening it
//    again; the instance field keeps what GetWindowLongW(GWL_HINSTANCE)
//    reports, the instance's low 32 bits, and is compared as stored.
//  - A null window records window 0: such a record is kept while its file is
//    younger than seven days.
//  - A given key prefix is used as it stands, the suffix appended directly
//    (the description's paths end with a backslash; give the prefix so).
//  - The sweep restarts after a deletion; values skipped as not ours never
//    cause a restart, so it ends after at most one pass per deletion.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define REGFILE_PATH_CHARS 262u
#define REGFILE_RECORD_SIZE 532u
#define REGFILE_NAME_CHARS 260u  // longest value name enumerated
#define REGFILE_MAX_AGE_SECONDS 604800u  // seven days
#define REGFILE_VALUE_PREFIX u"DFaxInfo_"
#define REGFILE_TEMPFILE_SUFFIX u"TempFile"
#define REGFILE_DIRECTFAX_SUFFIX u"DirectFax\\TempFile"
#define REGFILE_SELECTOR_TEMPFILE 1   // ddd_GetRegistry selector (item 33)
#define REGFILE_SELECTOR_DIRECTFAX 0  // ddd_GetRegistry selector (item 30)

// The record as stored (little-endian; read and written with memcpy).
struct REGFILE_RECORD {
  WCHAR path[REGFILE_PATH_CHARS];  // NUL-terminated
  DWORD window;                    // low 32 bits of the owner window
  DWORD instance;                  // GetWindowLongW(owner, GWL_HINSTANCE)
};
static_assert(sizeof(REGFILE_RECORD) == REGFILE_RECORD_SIZE);
static_assert(offsetof(REGFILE_RECORD, window) == 524);
static_assert(offsetof(REGFILE_RECORD, instance) == 528);

// Sweeps both lists, then records path for the top-level window above
// `window` under the temporary-file list unless the same record (path
// without regard to case, window, instance) is there. A path longer than 261
// characters is refused (ERROR_INVALID_PARAMETER), as is a missing handle
// or path.
LONG RegFile_SetTmpFile(HCDDD ddd, HWND window, LPCWSTR path);
// Sweeps both lists. A given prefix replaces the description's path of that
// list; without a description handle both prefixes must be given
// (ERROR_INVALID_PARAMETER).
LONG RegFile_DeleteTmpFile(HCDDD ddd, LPCWSTR directFaxPrefix, LPCWSTR tempFilePrefix);
// TRUE when the temporary-file list of the description holds a record of
// that path (case ignored), whoever owns it.
BOOL RegFile_IsRecorded(HCDDD ddd, LPCWSTR path);

// One list's sweep by its full key name under HKEY_CURRENT_USER (the two
// above and the fuzz target use it).
LONG RegFile_SweepKey(LPCWSTR keyName);
