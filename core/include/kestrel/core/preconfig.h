// The configuration file beside the driver and the pre-configuration it
// carries.
//
// File: the Windows profile (INI) format, read through the profile
// functions. The pre-configuration file is the driver directory + the device
// description data file's name with its extension replaced by "cfg"; its
// section is the model name with every blank, "/" and "-" turned into "_"
// ("ABC-100 PS/2" -> ABC_100_PS_2), or "default" when the file has no such
// section. Keys: "<function>.enforced=", "<function>.default=",
// "<function>.display=" (0 hide, 1 dim out, 2 show) and "<macro>=" (names
// compare without regard to case).
//
// The section parser (CFG_*) is in kestrel/core/cfg_parser.h.
//
// Pre-configuration (PreConfig_*): results 1/0 (or a handle/null); a missing
// file, section or key leaves the setting without pre-configuration.
//
// Decisions:
//  - A numeric value is decimal digits read up to the first other character
//    ("12abc" reads 12); a sign is refused, and so is a number that does not
//    fit in 32 bits.
//  - A key whose value is neither a known word nor a number counts as
//    missing: a bad enforced value lets the default value count.
//  - A file without the model's section and without "default" still opens
//    (a handle with no entries); only a missing or unreadable file gives
//    null.
//  - PreConfig_SetAllDataToDDM goes on past a value it cannot write and then
//    answers 0; 1 when every value it took up was written.
//  - The kernel-mode renderer has no profile reader: there PreConfig_OpenFileEx
//    re-reads the trace-log switches and answers null (no file), and the
//    functions that take a handle answer 0 for it, so nothing claims a
//    value it did not set.
//  - The library registers the pre-configuration and emulation layers with
//    the description handle by calling PreConfig_InstallAttachOps once at
//    attach (cddd_SetAttachOps); the configuration file name comes from the
//    handle's data file path.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/core/cfg_parser.h"
#include "kplatform/wintypes.h"


// ---- Tables ---------------------------------------------------------------------
struct PRECONFIG_VALUE {  // PreConfigValueTbl
  const char16_t* word;
  DWORD value;
};
struct PRECONFIG_FUNCID {  // PreConfigFuncIdTbl
  const char16_t* name;
  WORD ddmId;
};
struct PRECONFIG_MACROSET {  // one setting a macro brings
  WORD ddmId;
  DWORD value;
  WORD flags;
};
struct PRECONFIG_MACROID {  // PreConfigMacroIdTbl
  const char16_t* name;
  WORD macroId;
  WORD count;
  const PRECONFIG_MACROSET* settings;
};
extern const PRECONFIG_VALUE PreConfigValueTbl[];
extern const WORD PreConfigValueTblCount;
extern const PRECONFIG_FUNCID PreConfigFuncIdTbl[];
extern const WORD PreConfigFuncIdTblCount;
extern const PRECONFIG_MACROID PreConfigMacroIdTbl[];
extern const WORD PreConfigMacroIdTblCount;

// Property flags.
#define PRECONFIG_DEFAULT 0x1
#define PRECONFIG_ENFORCED 0x2
#define PRECONFIG_HIDE 0x4
#define PRECONFIG_DIMOUT 0x8
#define PRECONFIG_SHOW 0x10

// Macro ids.
#define PRECONFIG_MACRO_USE_SPECIAL1 0
#define PRECONFIG_MACRO_MONOCOLOR_PRINT 1
#define PRECONFIG_MACRO_SECURE_PRINT 2
#define PRECONFIG_MACRO_LOG 999

// ---- The handle -------------------------------------------------------------------
struct PRECONFIG_FUNCENTRY {
  WORD ddmId;
  DWORD value;  // the configured value (before conversion to the DDM value)
  WORD flags;
};
struct PRECONFIG_MACROENTRY {
  WORD macroId;
  DWORD value;
};
// Entries stand in the reverse order of the tables (each new one in front).
struct PRECONFIG_HANDLE {
  WORD funcCount;
  WORD macroCount;
  PRECONFIG_FUNCENTRY* funcs;
  PRECONFIG_MACROENTRY* macros;
};

// Converts a configured value into the DDM value of ddmId; FALSE when the id
// or the value is outside the conversion table.
BOOL PreConfig_ConvertValue(WORD ddmId, DWORD configured, DWORD* ddmValue);
// A value text: a word of PreConfigValueTbl or leading decimal digits.
BOOL PreConfig_ParseValue(LPCWSTR text, DWORD* value);
// The section name for a model (at most capacity characters with the NUL);
// FALSE when it does not fit.
BOOL PreConfig_SectionName(LPCWSTR modelName, LPWSTR buffer, DWORD capacity);

LPWSTR PreConfig_GetPreConfigFileName(HCDDD handle);
void* PreConfig_OpenFileEx(LPCWSTR modelName, LPCWSTR file);
void* PreConfig_OpenFile(LPCWSTR modelName, LPCWSTR file, const PRECONFIG_FUNCID* functions, WORD functionCount,
                         const PRECONFIG_VALUE* values, WORD valueCount, const PRECONFIG_MACROID* macros,
                         WORD macroCount);
void PreConfig_CloseFileEx(void* handle);
void PreConfig_CloseFile(void* handle);

BOOL PreConfig_GetPropertyFlg(WORD ddmId, void* handle, WORD* flags);
BOOL PreConfig_IsEnforcedProperty(WORD ddmId, void* handle);
// Stores the value into destination by the member type (1, 4, 5, 10: 4
// bytes; 2, 3: 2 bytes; 8: 1 byte); other types are refused.
BOOL PreConfig_GetDefaultData(WORD ddmId, void* handle, void* destination, WORD valueType);
// mode 0: default and enforced entries; mode 1: enforced entries only.
BOOL PreConfig_SetAllDataToDDM(void* handle, void* devmode, void* printerData, WORD mode);

// New blocks (kcore_Free): "" when the key is missing, null on failure.
LPWSTR PreConfig_GetPrCfgVersionComment(LPCWSTR modelName, LPCWSTR file);
LPWSTR PreConfig_GetValueDirect(LPCWSTR modelName, LPCWSTR file, LPCWSTR key);

// Registers PreConfig_OpenFileEx/CloseFileEx, DMETbl_CreateDmeHandle/
// DestroyDmeHandle, dme_IsEnableFormDB and the configuration file name with
// the description handle.
void PreConfig_InstallAttachOps(void);
