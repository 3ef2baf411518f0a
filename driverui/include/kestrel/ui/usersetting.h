// The per-user store of a printer: values kept under the current user's key
// named by the printer's PRNID (kestrel/ui/prnid.h), and the 980-byte
// user-setting record, value "UserSettingInfo" there, that keeps one user's
// personal members of the printer-data record out of the queue's copy.
//
// User-setting record (980 bytes, little-endian, members unaligned: read and
// written with memcpy only):
//
//   offset  width  content
//   0       16     record size, always 980
//   2       16     record version: 1 the first structure, 2 the current one
//   4       16     number of members the version holds (15 or 25)
//   6       16     reserved, 0
//   8       64     model name, UTF-16 with NUL (31 characters at most)
//   72      ...    the per-user members below, each in its printer-data
//                  width; version 1 holds the first block, version 2 both
//   790     190    reserved, 0
//
// The per-user members: the job-owner and account members the job header
// and the header/footer face name read (everything else of the printer-data
// record is the queue's):
//
//   DDM id      record offset  printer-data width  meaning                     since
//   5121        72             string 66           job-owner name, pair 1      1
//   5127        138            16-bit              job-owner mode, pair 1      1
//   5164        140            byte                name switch, pair 1         1
//   5166        142            string 66           account string 1            1
//   5167        208            string 66           account string 2            1
//   5168-5173   276 + 4k       boolean x 6         account switches            1
//   5174        300            string 66           account user name           1
//   5175        366            string 34           account password            1
//   5176        400            string 66           account id                  1
//   5177        466            byte                account option              1
//   5150        468            string 66           job-owner name, pair 2      2
//   5165        534            byte                name switch, pair 2         2
//   5183        535            byte                "UnknownUser" switch        2
//   5178        536            16-bit              job-owner mode, pair 2      2
//   5179, 5180  538, 588       string 50 x 2       alternative tool strings    2
//   5181, 5182  638, 672       string 34 x 2       alternative tool strings    2
//   5184        706            string 50           alternative tool string     2
//   5185        756            string 34           alternative tool string     2
//
// Pad bytes (141, 274-275, 467) are 0. Member 5163 (which pair the job
// header uses, and whether the user's settings were carried over) stays the
// queue's.
//
// Decisions:
//  - Defaults (SetDefaultCurrentUserSettingInfo): every member 0 or empty,
//    except the user name: with the capability flag clear (no account
//    tool) the job-owner names 5121 and 5150 take resource string 5052;
//    with it set the account user name 5174 takes the logged-on user's name
//    as the common library answers it (zanLib_GetUserName; empty when even
//    that fails, cut to 32 characters). The defaults carry no model name; the
//    loader adds it.
//  - Loading: a stored value that is not REG_BINARY, not 980 bytes, whose
//    size word is not 980, whose version is 0 or newer than ours, or whose
//    model name is not this printer's model, gives the defaults (success,
//    and the stored value is left as it is). Version 1 is the older
//    structure: with the carry-over flag its 15 members are taken over
//    (strings only when their NUL lies within their field) and the version 2
//    members get their defaults; without the flag the whole record is the
//    defaults. A current-version string member without its NUL keeps its
//    default too, so a loaded record always writes back into the printer
//    data. The upgraded record is not written back; the next save does.
//  - SetCurrentUserSettingInfo works on a copy of the printer-data record
//    and copies it back only when every member was written, so a failure
//    leaves the caller's record as it was. It takes only selector 0 and a
//    record of the current version (0 otherwise, nothing written).
//  - SaveCurrentUserSettingInfo refuses (0, nothing written) a record whose
//    size word or version is not the current one. Its mode is not used:
//    every caller's record is stored the same way.
//  - The value is one REG_BINARY of 980 bytes under the user's key (not the
//    chunked printer-data form the queue's own values use).
//  - SaveCurrentUserData / LoadCurrentUserData: the selector is the sub-key
//    below the printer's key (null: the key itself). A load reads the value
//    whole before it copies it, so the destination is untouched on every
//    failure; the stored type must be the one asked for. Results of the
//    load: 0; -1 no destination or size slot; ERROR_PATH_NOT_FOUND the key
//    cannot be opened; ERROR_FILE_NOT_FOUND no such value;
//    USERDATA_ERROR_TYPE another stored type; ERROR_MORE_DATA the value is
//    larger than the capacity (the size slot then holds its size).
//  - CurrentUserSettingInfoRegCheck makes no PRNID and creates no key.
//  - AddPrinterForms: a form name compares without regard to case (as the
//    spooler's does); a form added meanwhile by someone else (the spooler
//    answers that the name exists) counts as present. When the forms cannot
//    be listed nothing is added and the answer is 0. A paper's size is its
//    lower size bound; its imageable area lies inside its two default
//    margins {left, top} and {right, bottom}.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define USERSETTING_SIZE 980
#define USERSETTING_VERSION_1 1
#define USERSETTING_VERSION 2
#define USERSETTING_MEMBERS_1 15
#define USERSETTING_MEMBERS 25
#define USERSETTING_MODEL_CHARS 32
#define USERSETTING_VALUE u"UserSettingInfo"
#define USERSETTING_CAPABILITY 0x2000000u  // the model's account capability
#define USERSETTING_STRID_USER 5052        // the default job-owner name

#define USERDATA_ERROR_TYPE 1629L  // the stored type is not the one asked for

// The record as bytes at named places; every field is a byte array, so the
// struct has no padding and is read and written with memcpy.
struct USERSETTINGINFO {
  BYTE size[2];
  BYTE version[2];
  BYTE members[2];
  BYTE reserved1[2];
  BYTE modelName[64];
  BYTE data[718];  // the members at their record offsets - 72
  BYTE reserved2[190];
};
static_assert(sizeof(USERSETTINGINFO) == USERSETTING_SIZE);
static_assert(offsetof(USERSETTINGINFO, version) == 2);
static_assert(offsetof(USERSETTINGINFO, modelName) == 8);
static_assert(offsetof(USERSETTINGINFO, data) == 72);
static_assert(offsetof(USERSETTINGINFO, reserved2) == 790);

// One per-user member: its DDM id, value type, byte offset in the record,
// width, and the record version that first held it.
struct USERSETTING_MEMBER {
  WORD ddmId;
  WORD type;
  WORD offset;
  WORD width;
  WORD since;
};
// The member table (USERSETTING_MEMBERS rows, version 1 members first).
const USERSETTING_MEMBER* UserSetting_Members(void);

// Per-user values.
BOOL SaveCurrentUserData(HANDLE printer, HCDDD ddd, const void* data, DWORD size, DWORD type, LPCWSTR selector,
                         LPCWSTR valueName);
// *size: in, the destination's capacity; out, the bytes read.
LONG LoadCurrentUserData(HANDLE printer, HCDDD ddd, void* destination, DWORD* size, DWORD type, LPCWSTR selector,
                         LPCWSTR valueName);

// The user-setting record.
BOOL GetCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, const void* printerData, USERSETTINGINFO* record);
BOOL SetCurrentUserSettingInfo(void* printerData, const USERSETTINGINFO* record, DWORD selector);
BOOL SaveCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, const USERSETTINGINFO* record, DWORD mode);
BOOL LoadCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, USERSETTINGINFO* record, DWORD reserved, BOOL carryOver);
BOOL SetDefaultCurrentUserSettingInfo(BOOL capability, USERSETTINGINFO* record);
// The loader's reading of a stored value (registry type, bytes, size): out
// becomes the defaults (which carry the model name) with whatever of the
// stored record may be taken. TRUE when something was taken, FALSE when out
// is the defaults.
BOOL UserSetting_ReadStored(DWORD type, const void* bytes, DWORD size, const USERSETTINGINFO* defaults, BOOL carryOver,
                            USERSETTINGINFO* out);
BOOL CurrentUserSettingInfoRegCheck(HANDLE printer, HCDDD ddd);

// Adds the model's papers missing from the spooler's forms.
BOOL AddPrinterForms(HANDLE printer, HCDDD ddd);
// One form: FORM_PRINTER, the name, the paper's size and imageable area.
BOOL local_Regist_Form(HANDLE printer, const DDD_PAPER* paper, LPCWSTR formName);
