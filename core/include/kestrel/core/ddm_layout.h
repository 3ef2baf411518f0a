// The member layout of the three records by DDM id: one row per member with
// its stored and reported type, its offset in its record and the bytes it
// occupies. Expanded at compile time from the row table in
// core/ddm/ddm_tables.cpp, which keeps the shape of the layout tables
// (runs of consecutive ids stay one row).
#pragma once

#include "kestrel/core/devmode.h"
#include "kplatform/wintypes.h"

// How a member is read and written beyond a plain copy.
#define DDM_SPECIAL_NONE 0
#define DDM_SPECIAL_FLAG 1        // bit `mask` of the 32-bit word at offset
#define DDM_SPECIAL_PACKED 2      // byte `mask` of the 32-bit word at offset, in place
#define DDM_SPECIAL_RESOLUTION 3  // id 14: dmPrintQuality << 16 | dmYResolution

struct DDM_LAYOUT {
  WORD id;
  BYTE type;      // stored type (DDM_TYPE_*)
  BYTE reported;  // type handed to callers; 0 = the stored type
  WORD offset;    // from the start of the member's record
  WORD bytes;     // bytes the member occupies (string and font: capacity)
  DWORD mask;     // flag bit or packed byte; 0 otherwise
  WORD alias;     // member whose bytes this one shares; 0 none
  BYTE special;   // DDM_SPECIAL_*
  BYTE reserved;
};

// One DDM id group: its range, record kind and layout table. Its member
// table (the descriptors) belongs to the devmode floor:
// local_GetCdmDmDataFuncTbl (devmode.h).
struct DDM_GROUP {
  WORD group;      // 0-11
  WORD kind;       // DDM_KIND_*
  WORD firstId;
  WORD lastId;
  const DDM_LAYOUT* layout;
  WORD layoutCount;
};

// The groups in lookup order (5, 6, 7, 8, 9, 10, 11, 0, 1, 2, 3, 4); the
// position in this array is the layout-table index.
#define DDM_GROUP_COUNT 12
const DDM_GROUP* ddm_GroupTable(void);
// The group whose range holds the id (first in lookup order), or null.
const DDM_GROUP* ddm_FindGroup(WORD ddmId);
// The layout row of the id inside its group, or null (status: 1 no group,
// 16 no member; status may be null).
const DDM_LAYOUT* ddm_FindLayout(WORD ddmId, const DDM_GROUP** group, WORD* status);

// Bytes of a value of the type when exchanged: 1 -> 4, 2/3 -> 2, 4/5/10 -> 4,
// 8 -> 1, 9 -> 92; 0 for 6 (sized by its text), 7 and anything else.
// This is the one table of type widths: the layout tables, both builds of the
// core, the renderer, the user interface and the tools all ask it; a caller
// that needs another answer for one type says so where it calls.
constexpr WORD ddm_TypeSize(WORD type) {
  switch (type) {
    case DDM_TYPE_FLAG:
    case DDM_TYPE_LONG:
    case DDM_TYPE_DWORD:
    case DDM_TYPE_LFLONG: return 4;
    case DDM_TYPE_SHORT:
    case DDM_TYPE_WORD: return 2;
    case DDM_TYPE_BYTE: return 1;
    case DDM_TYPE_FONT: return NRV_LOGFONT_SIZE;
    default: return 0;
  }
}
// Bytes of a number of the type: ddm_TypeSize without the font, which is a
// block exchanged by address (0 for every type that is no number).
constexpr WORD ddm_NumberSize(WORD type) { return type == DDM_TYPE_FONT ? 0 : ddm_TypeSize(type); }
// Record size of a kind: 1556 (devmode part), 3884, 4736.
DWORD ddm_RecordSize(WORD kind);
