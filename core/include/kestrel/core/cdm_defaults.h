// Default devmode, default non-devmode and printer-data records, and the
// check of devmodes handed in from outside.
//
// A member's default comes from its static default or its handler
// (operation 1), else from the device description data, and then, in every
// case, from the pre-configuration when the configuration file sets one.
//
// Decisions:
//  - cdm_SetDefaultDevmode answers 1 only when every member it handled was
//    written: status 2 (the data has no default for the member) and a group
//    left out because its record was not given are not failures; any other
//    failure makes the answer 0 (the remaining groups are still built).
//  - A numeric default of the device description data whose type differs
//    from the member's is written in the member's own type (same value).
//  - The default header/footer font (357) and its face name (358) come from
//    the user-interface library's default header font, registered with
//    cdm_SetHeaderFontProvider; with none registered (and in the kernel-mode
//    build for 358) the member has no default (status 2) and stays zero.
//  - The model-name check compares against the model name of the handle it
//    is given, in a block of its own: nothing is shared between threads.
//  - cdmSearchDefineId takes the name buffer's capacity in characters; the
//    name is cut to it and always terminated.
//  - dmTTOption (17) has no default of its own (status 2). Once the members
//    are built, cdm_SetDefaultDevmode derives it from the TrueType handling
//    (292) with cdmConvertTTOptionAndFontType: 1 when 292 is 1, else 3
//    (substitute device fonts). Left at 0 it failed its own check (1-4) and
//    turned substitution off whatever 292 said. Devmodes stored before still
//    hold 0; they stay valid (the devmode check does not look at 17) and the
//    renderer reads such a 0 as the value 292 gives (textout.cpp).
//  - The default dmFields is derived from the platform code and the data's
//    colour-management version by cdmGetFieldsFor, which cdmGetFields calls.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/core/devmode.h"
#include "kplatform/wintypes.h"

#define CDM_DEFINE_COUNT 20
#define CDM_DEFAULT_FOUND 0
#define CDM_DEFAULT_FAILED 1
#define CDM_DEFAULT_NONE 2
#define CDM_DEFAULT_NOMEM 3

BOOL cdm_SetDefaultDevmode(HCDDD handle, void* devmode, void* printerData, LPCWSTR printerName);

// value: the value slot (types 6 and 9: a new block, see cdmGetDefaultDataFree).
BOOL cdmGetDefaultDataInfo(HCDDD handle, void* printerData, LPCWSTR printerName, const CDM_MEMBER_ENTRY* entry,
                           ULONG_PTR* value, WORD* type, DWORD* size, WORD* status);
BOOL cdmGetDefaultDataFree(const CDM_MEMBER_ENTRY* entry, ULONG_PTR value, WORD type);
BOOL cdmDmIdDefaultDataFree(WORD ddmId, ULONG_PTR value, WORD type);
// Handler output: value, type and size into args (size recomputed from the
// type unless the type is 6 and a size is given).
void cdmSetParamDefaultData(ULONG_PTR value, WORD type, DWORD size, CDM_MEMBER_ARGS* args);

// 1 found, 2 no default in the data, -1 otherwise. The caller frees a type 6
// or 9 value with cdmDmIdDefaultDataFree.
LONG cdmGetDefaultData(HCDDD handle, WORD ddmId, WORD* type, DWORD* size, ULONG_PTR* value);
BOOL cdmSetDefaultData(HCDDD handle, void* devmode, WORD ddmId, void* printerData);

// Platform codes: 257, 258 (9x), 513, 514 (NT).
BOOL cdmGetFieldsFor(WORD platform, WORD icmVersion, WORD operationBits, DWORD* fields);
BOOL cdmGetFields(HCDDD handle, DWORD* fields, WORD operationBits);

BOOL cdm_IsDevmode(HCDDD handle, void* devmode, void* printerData);
BOOL cdmPublicDataCheck(HCDDD handle, void* devmode, void* printerData, WORD ddmId, WORD operation);
BOOL cdmCheckData(HCDDD handle, WORD ddmId, void* devmode, void* printerData, WORD operation);

WORD cdmGetMaxDefineNum(void);
BOOL cdmSearchDefineId(WORD paperId, WORD type, WORD* widthId, WORD* lengthId, WORD* nameId, LPWSTR name,
                       DWORD nameChars);
BOOL cdmSearchDefineInfo(void* devmode, void* printerData, WORD paperId, WORD type, WORD* width, WORD* length,
                         LPWSTR name, DWORD nameChars);

// The user-interface library's default header font (SetDefaultHeaderLogFont).
typedef LPWSTR (*CdmHeaderFontFn)(LOGFONTW* font);
void cdm_SetHeaderFontProvider(CdmHeaderFontFn provider);
