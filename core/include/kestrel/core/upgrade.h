// Upgrade of stored private devmodes and printer-data records to the current
// layout (these belong to kestrelui and are built into the core's static
// library). The printer-data record part (CommonConvertPrinterData(Ex),
// local_VersionUpCheck_PD, upg_ConvertStoredRecord) is built in both builds:
// the kernel-mode renderer upgrades an older stored record when it loads it
// (kestrel/core/printerdata.h). The devmode part is user mode only.
//
// A version key decides whether a stored block is used whole, upgraded or
// replaced by the model's defaults; an upgrade lays the stored bytes over the
// defaults and then applies the per-member rules. Every failed rule or read
// gives the defaults; nothing is reported to the user.
//
// Decisions (sound behaviour and open points):
//  - A stored devmode is read only within its real length: the bytes its
//    header claims (dmSize + dmDriverExtra), and never more than the caller
//    says it has (UpgradeUserSelDevmode's size; UpgradeDefaultDevmode trusts
//    the header, as its callers hand it a devmode of that claimed size, and
//    reads the sizes at 68-71 first, which every devmode carries). A
//    header that claims more than is there, or a key that does not lie
//    within the claimed bytes, gives the defaults.
//  - "Stored" values the devmode rules read are those of the stored devmode
//    after it was laid over the defaults (before any rule ran), so a stored
//    block shorter than the current layout reads defaults, never stray bytes.
//  - The stored record is read only within the bytes read from the queue and
//    within its own size field; the legacy record copy is bounded by 4736
//    and by the bytes read. A record whose size field claims more bytes than
//    were read gives the defaults.
//  - A stored record of the current driver and structure versions (and
//    model) is used whole, byte for byte, when 4736 bytes of it were read,
//    whatever its size field says within them: its layout is the current
//    one, so the field tells nothing the versions do not, and the load
//    (kestrel/core/printerdata.h) takes such a record whole too. The field
//    counts only where bytes are copied by it (the regular and legacy
//    upgrades) and where it claims more than was read.
//  - A favourite's non-devmode part is copied only when the stored block
//    holds one (size above dmSize + dmDriverExtra), and at most 3884 bytes.
//  - The move of the queue's record into the devmode (rule
//    local_UpgradePDtoDM): a queue that cannot be opened or whose record
//    cannot be read leaves the document's devmode as upgraded (the rule is
//    skipped), it never turns it into the defaults. The queue is opened as
//    the other queue readers open it (the printer stand-in takes no access
//    rights); a queue that refuses writes still has its record moved into
//    the devmode, only its non-devmode record stays as it was.
//  - Legacy devmodes (below 0x5003): the translation tables of both
//    generations describe the standard DEVMODEW part (tables 0x0100 and
//    0x5000) and the rows known of the private layouts (0x4000, 0x5002);
//    versions that changed no member have no table. A private member no row
//    describes keeps its default; the generation and common rules carry the
//    rest. A table row or rule reading past the stored devmode's real length
//    fails, and the devmode becomes the defaults (so a 0x4000-0x4007 devmode
//    must reach byte 1854, a 0x5002 one byte 2627). A stored string that
//    fills its old field without a NUL is cut to fit.
//  - The rules that save the queue's non-devmode record ("N_Dev",
//    kestrel/core/nondev.h): local_UpgradePDtoDM moves 5653 and 5654 of the
//    queue's record into 1859 and 1860; local_UpgradeNonDevDat (legacy
//    devmodes) moves the non-devmode members the old devmode carried (the
//    translation rows of 1793-1865) and the version-1 fax list
//    "FaxSendList". The rules only note their members; the upgrade saves
//    the record once, after every rule succeeded, so an upgrade that ends in
//    the defaults stores nothing, and a legacy devmode (both rules) is one
//    save.
//  - That save lays the members over the queue's stored record, not over
//    the defaults: members the old devmode did not carry keep the queue's
//    values (the translated devmode holds defaults there, which would
//    replace the queue's real settings). The defaults are the base only
//    when nothing is stored; a stored record that cannot be read is never
//    replaced. The stored security-marking block is saved again with it
//    (saving without it would erase it), and so is the stored fax list,
//    unless local_UpgradeNonDevDat ran and a version-1 list is stored. A
//    record and list that would not change are not written again.
//  - A failed save (a queue that refuses writes) leaves the stored values as
//    they were and does not fail the upgrade: the devmode is the caller's
//    and is upgraded all the same.
//  - The printer-data rule local_UpgradeOptionDuplexFlag reads "not a
//    default option" as: the model's default for 4103 is 0.
//  - local_UpgradeMemorySelect takes item n (1-based) of 4355's select list.
//  - CommonConvertDevmode mode 4 adjusts the default paper size to the queue's
//    record on the full 5440-byte form and hands out its first 1556 bytes.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define UPG_DM_STRUCT_LEGACY 0x5003u  // devmodes below take the legacy path
#define UPG_PD_STRUCT_LEGACY 0x5000u  // records below take the legacy path

// 0 upgraded, 1 stored used whole, 2 defaults, -1 failure. Output: the
// 1556-byte form.
LONG UpgradeDefaultDevmode(const void* stored, void* output, LPCWSTR deviceName, HCDDD ddd);
// The same with the stored block's real length in bytes.
LONG UpgradeDefaultDevmodeEx(const void* stored, DWORD storedBytes, void* output, LPCWSTR deviceName, HCDDD ddd);

// 0 upgraded, 1 used whole, 2 defaults, -1 failure. Output: 4736 bytes.
LONG CommonConvertPrinterData(const void* stored, void* output, HCDDD ddd);
// The same with the bytes read from the queue.
LONG CommonConvertPrinterDataEx(const void* stored, DWORD storedBytes, void* output, HCDDD ddd);
LONG local_VersionUpCheck_PD(const void* stored, DWORD storedBytes, void* output, HCDDD ddd);

// The converter registered with pd_SetConvertFunction.
LONG upg_ConvertStoredRecord(HANDLE printer, HCDDD ddd, const void* stored, DWORD size, void* out);

// Output: 5440 bytes.
LONG UpgradeUserSelDevmode(HANDLE printer, const void* stored, DWORD storedSize, void* output);

#define CDM_CONVERT_MODE_CONVERT 1
#define CDM_CONVERT_MODE_DEFAULT 4
LONG CommonConvertDevmode(LPCWSTR deviceName, HCDDD ddd, const void* input, void* output, DWORD* size, DWORD mode);

// The printer information (kcore_Free) when the conversion gave 1-3, else null.
void* wNTc_MakeEnvironment(HANDLE printer, HCDDD ddd, void* output, DWORD* size, BOOL* converted);
