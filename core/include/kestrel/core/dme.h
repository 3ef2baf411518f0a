// Devmode emulation: adapts the standard DEVMODE values an application puts
// into a devmode (collate, default source, media type) to the driver's own
// values, and decides per feature whether the application's dmFields bit is
// kept, forced on or forced off at a merge. Configured by the section
// "DME,1" of the pre-configuration file (kestrel/core/preconfig.h): keys
// "<feature>.<property>=" (merge, mode, default, WindowsValue),
// "<feature>.<internal name>=" (the application value that maps to that
// internal value) and "formdb.mode=". Values are decimal or "0x"
// hexadecimal.
//
// Results: 1 success; -1 null argument or bad index; -2 feature not allowed
// for the query; -3 no memory; -5 a DDM value could not be read or written.
//
// Decisions:
//  - A property value that does not fit its 16-bit field (8-bit for the
//    form-database mode) is ignored, as is an internal-name value that is
//    not a number.
//  - 0xFFFF in a 16-bit property means unset; an unset default internal
//    value is never used by the conversion.
//  - The kernel-mode renderer has no profile reader: its handles keep the
//    defaults and stay disabled.
#pragma once

#include "kplatform/wintypes.h"

#define DME_FEATURE_FIELDS 0
#define DME_FEATURE_COLLATE 1
#define DME_FEATURE_RESOLUTION 2
#define DME_FEATURE_BIN 3
#define DME_FEATURE_MEDIA 4
#define DME_FEATURE_COLOR 5
#define DME_FEATURE_COUNT 6

#define DME_UNSET 0xFFFF
#define DME_SECTION u"DME"

#define DME_OK 1
#define DME_ERR_ARG (-1)
#define DME_ERR_FEATURE (-2)
#define DME_ERR_MEMORY (-3)
#define DME_ERR_NOTFOUND (-4)
#define DME_ERR_DDM (-5)

struct DME_ENTRY {
  DWORD internalValue;
  DWORD externalValue;
  BYTE differs;
};

struct DME_FEATURE {
  WORD ddmId;
  DWORD changed;  // the file set something of this feature
  WORD merge;
  WORD defaultValue;
  WORD mode;
  WORD windowsValue;
  WORD count;
  DME_ENTRY* entries;
  WORD capacity;  // entries allocated
};

struct DME_HANDLE {
  DWORD enabled;  // the section exists
  BYTE formDbMode;
  WORD featureCount;  // 6
  DME_FEATURE* features;
};

void* DMETbl_CreateDmeHandle(LPCWSTR file, int section);
void DMETbl_DestroyDmeHandle(void* handle);

LONG dme_CreateDMEHandle(DME_HANDLE** handle);
void dme_ReleaseDMEHandle(DME_HANDLE* handle);

BOOL dme_IsEnableDME(const void* handle);
BOOL dme_IsEnableFormDB(const void* handle);
LONG dme_GetMergeMode(const void* handle, WORD feature, WORD* merge);
LONG dme_GetModeFlag(const void* handle, WORD feature, WORD* mode);
LONG dme_GetFields(const void* handle, DWORD dmFields, DWORD* fields);
LONG dme_GetMergedFields(const void* handle, DWORD dmFields, SHORT collate, DWORD* fields);
// The application value as the driver's internal value: the first entry
// with this external value among those whose values differ, else the first
// entry with it, else the feature's default internal value when it is set
// and not 0, else the value itself. -1 for a null handle or a bad feature.
LONG dme_ConvertToInternalValue(const void* handle, WORD feature, DWORD externalValue, DWORD* internalValue);
LONG dme_ConvertDevmode(const void* handle, void* devmode);
