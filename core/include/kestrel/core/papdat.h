// Forms database access, the mapping of form ids to the model's paper ids,
// the paper-data list PapDat (the model's papers merged with the forms
// database), the input-bin configuration table and the ICC profile check.
//
// Decisions:
//  - Paper ids of the paper-size setting (DDM 8) are its items' values.
//  - form_GetPaperIDByFormID answers 10 when an item of the paper-size
//    setting cannot be read for another reason than the end of the list.
//  - The model's default user-defined size (paper 256 in PapDat) is the
//    description data's default of DDM 1863 and 1864 when it has one, else
//    the lower bound of the paper-256 record.
//  - A Paper record's two default margins are {left, top} and
//    {right, bottom}, in 0.1 mm.
//  - PAPDAT.ddd is the description handle the emulation's form-database
//    setting is read from: PapDat_init opens one from the printer for the
//    time it runs; other callers of PapDat_IsEnableFormDBSupport set it.
//  - Indexes of PapDat_getPaperInfoByIndex count from 0.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

// ---- Forms ---------------------------------------------------------------
#define FORMS_OK 1
#define FORMS_NOTFOUND 2
#define FORMS_SPOOLER 3
#define FORMS_BADARG 10

#if !defined(KESTREL_KERNEL_MODE)
struct _FORM_INFO_1W;
// *forms: one kcore_Alloc block (records and names); *bytes its size.
WORD MyEnumForms(HANDLE printer, _FORM_INFO_1W** forms, DWORD* bytes, DWORD* count);
WORD GetDatabaseFormNameByID(HANDLE printer, WORD formId, LPWSTR* name);
LPWSTR GetFormNameByID(HANDLE printer, WORD formId);
BOOL IsSystemBuiltinPaperID(HANDLE printer, WORD id);
BOOL CheckPaperIDinDDD(HANDLE printer, WORD paperId);
WORD form_GetPaperIDByFormID(HANDLE printer, WORD formId, WORD* paperId);
// The same two on an open description handle.
BOOL CheckPaperIDinDDDByHandle(HCDDD handle, WORD paperId);
WORD form_GetPaperIDByFormIDByHandle(HCDDD handle, HANDLE printer, WORD formId, WORD* paperId);
#endif

// ---- Paper data --------------------------------------------------------------
#define PAPDAT_OK 1
#define PAPDAT_NULLOBJECT (-1)
#define PAPDAT_NOLIST (-2)
#define PAPDAT_NOTFOUND (-3)
#define PAPDAT_BADARG (-100)

#define PAPDAT_NAME_CHARS 64
#define PAPDAT_FORMDB_FIRST_ID 512

struct PAPDAT_ENTRY {
  WORD formId;  // 1-based forms-database position; 0 for paper 256
  WCHAR name[PAPDAT_NAME_CHARS];
  BYTE reserved1[2];
  DWORD width;   // thousandths of a millimetre
  DWORD length;
  WORD paperId;  // the model's id, or 512 + n for the n-th forms-database paper
  BYTE reserved2[2];
  LONG left;     // imageable area, thousandths of a millimetre
  LONG top;
  LONG right;
  LONG bottom;
};
static_assert(sizeof(PAPDAT_ENTRY) == 160);
static_assert(offsetof(PAPDAT_ENTRY, name) == 2 && offsetof(PAPDAT_ENTRY, width) == 132);
static_assert(offsetof(PAPDAT_ENTRY, length) == 136 && offsetof(PAPDAT_ENTRY, paperId) == 140);
static_assert(offsetof(PAPDAT_ENTRY, left) == 144 && offsetof(PAPDAT_ENTRY, bottom) == 156);

struct PAPDAT_HEADER {
  PAPDAT_ENTRY* entries;
  WORD modelCount;   // the model's papers, first in entries
  WORD formCount;    // forms-database papers after them
};

struct PAPDAT {
  PAPDAT_HEADER* list;  // null: the forms database is not used
  HCDDD ddd;            // see the decisions above
};

#define PAPDAT_KEY_PAPERID 1
#define PAPDAT_KEY_FORMID 2
#define PAPDAT_KEY_NAME 3
#define PAPDAT_WHAT_PAPERID 1  // out: WORD
#define PAPDAT_WHAT_FORMID 2   // out: WORD
#define PAPDAT_WHAT_NAME 3     // out: LPCWSTR (into the list)
#define PAPDAT_WHAT_SIZE 4     // out: LONG[2], width and length in 0.1 mm

#if !defined(KESTREL_KERNEL_MODE)
LONG PapDat_init(HANDLE printer, PAPDAT* object, void* printerData);
// The build with the forms database enabled, on an open handle.
LONG PapDat_build(HCDDD handle, HANDLE printer, PAPDAT* object);
#endif
void PapDat_free(PAPDAT* object);
BOOL PapDat_IsSupportFormDBPapers(const PAPDAT* object);
BOOL PapDat_IsEnableFormDBSupport(const PAPDAT* object, void* printerData);
// which: 1 model, 2 forms database, 3 both, 4 both less the user-defined size.
LONG PapDat_getPaperNum(const PAPDAT* object, WORD* count, WORD which);
// key: a WORD for kinds 1 and 2, a wide string for kind 3.
LONG PapDat_getPaperInfo(const PAPDAT* object, WORD keyKind, const void* key, WORD what, void* out);
LONG PapDat_getPaperInfoByIndex(const PAPDAT* object, WORD index, WORD what, void* out);
// *block: a new kcore_Alloc block, one element per paper (16-bit ids, 16-bit
// form ids, 64-character names, or two 32-bit sizes in 0.1 mm).
LONG PapDat_enumPaperInfo(const PAPDAT* object, WORD what, void** block, DWORD* bytes, BOOL includeCustom,
                          void** customElement);
LONG PapDat_GetPaperAreaInfo(const PAPDAT* object, WORD paperId, LONG size[2], LONG imageable[2],
                             LONG leftBottom[2], LONG rightTop[2]);

// ---- Input bins ------------------------------------------------------------------
BOOL ioBinLib_GetInputBinConfig(WORD binId, WORD ids[5]);
BOOL ioBinLib_GetDimIdByConfigTray(WORD firstId, WORD* fourthId, WORD* fifthId);

// ---- ICC profiles ------------------------------------------------------------------
#define ICC_OK 0
#define ICC_NULLNAME (-1)
#define ICC_CANNOTOPEN (-2)
#define ICC_TOOSHORT (-3)
#define ICC_CLOSEFAILED (-4)
#define ICC_NOTPROFILE (-5)
#define ICC_WRONGCLASS (-6)
#define ICC_WRONGPCS (-7)
#if !defined(KESTREL_KERNEL_MODE)
// fileName in the ANSI code page.
LONG cil_Check_ICC_Prof(LPCSTR fileName);
#endif
// Checks the first 132 bytes of a profile (the file check's rules).
LONG cil_Check_ICC_Header(const BYTE* header, DWORD bytes);
DWORD ReverseEndian32(DWORD value);
