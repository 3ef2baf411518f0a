// The driver's private devmode (NRVDEVMODE), the non-devmode record and the
// printer-data record, and the DDM ids that name every member of the three.
//
// Records (bytes):
//   devmode kind 1    1556  DEVMODEW 0-219, private part 220-1555
//   devmode kind != 1 5440  the 1556 bytes, then the 3884-byte non-devmode
//                           record at 1556-5439
//   CreateDC form     5464  the 5440 bytes and a 24-byte trailer
//   printer data      4736  always a separate buffer
//
// Member layout, member tables and group tables live in core/devmode/
// (ddm_tables.cpp); outside the record owners members are read and written
// by DDM id only (kestrel/core/ddm_value.h).
#pragma once

#include <cstddef>

#include "kestrel/core/ddm_ids.h"
#include "kplatform/wingdi_types.h"
#include "kplatform/wintypes.h"

// ---- Record sizes ----------------------------------------------------------
#define NRV_DEVMODE_PUBLIC_SIZE 220u      // the standard DEVMODEW
#define NRV_DEVMODE_SIZE_KIND1 1556u      // exchanged with applications
#define NRV_DEVMODE_SIZE_FULL 5440u       // with the non-devmode record
#define NRV_DEVMODE_SIZE_CREATEDC 5464u   // with the 24-byte trailer
#define NRV_DEVMODE_EXTRA 1336u           // dmDriverExtra of the 1556-byte form
#define NRV_DEVMODE_EXTRA_CREATEDC 5244u  // dmDriverExtra of the CreateDC form
#define NRV_NONDEVMODE_OFFSET 1556u       // where the non-devmode record starts
#define NRV_NONDEVMODE_SIZE 3884u
#define NRV_PRINTERDATA_SIZE 4736u
#define NRV_LOGFONT_SIZE 92u

#define NRV_STRUCT_VERSION 0x5110u   // private structure version (20752)
#define NRV_DRIVER_VERSION 0x2182u   // driver version (8578)
#define NRV_SPEC_VERSION 0x401u

// ---- This driver's own dmFields bits ----------------------------------------
// The driver's field table pairs the ICM method, ICM intent, media type and
// dither type with other bits than Windows' DM_ICMMETHOD (0x800000),
// DM_ICMINTENT, DM_MEDIATYPE and DM_DITHERTYPE (kplatform/wingdi_consts.h):
// the devmodes it wrote and the emulation tables it reads carry these
// values, so the driver keeps them. The trace dump also labels 0x800000 and
// 0x1000000 as the panning fields. Use DM_* for every other field.
#define KDM_FIELD_PANNINGWIDTH 0x00800000L
#define KDM_FIELD_PANNINGHEIGHT 0x01000000L
#define KDM_FIELD_ICMMETHOD 0x02000000L
#define KDM_FIELD_ICMINTENT 0x04000000L
#define KDM_FIELD_MEDIATYPE 0x08000000L
#define KDM_FIELD_DITHERTYPE 0x10000000L

// ---- Standard Windows records: DEVMODEW and LOGFONTW (kplatform/wingdi_types.h)

// ---- Value types -------------------------------------------------------------
#define DDM_TYPE_FLAG 1    // one bit of a 32-bit word (or a 4-byte boolean), exchanged as 4 bytes 0/1
#define DDM_TYPE_SHORT 2   // signed 16-bit
#define DDM_TYPE_WORD 3    // unsigned 16-bit
#define DDM_TYPE_LONG 4    // signed 32-bit
#define DDM_TYPE_DWORD 5   // unsigned 32-bit
#define DDM_TYPE_STRING 6  // NUL-terminated UTF-16, exchanged by address
#define DDM_TYPE_BYTE 8    // unsigned 8-bit
#define DDM_TYPE_FONT 9    // the 92-byte LOGFONTW, exchanged by address
#define DDM_TYPE_LFLONG 10 // signed 32-bit field of a LOGFONTW

// A numeric member's value as the value calls report it (type and value
// slot) read as a signed number: 16-bit signed keeps its sign, the 8- and
// 16-bit unsigned types are zero-extended, the 32-bit types are taken as
// their bits. FALSE for strings and fonts, which are no numbers.
inline bool ddm_NumberFromValue(WORD type, ULONG_PTR value, LONG* out) {
  switch (type) {
    case DDM_TYPE_SHORT: *out = static_cast<SHORT>(value & 0xFFFF); return true;
    case DDM_TYPE_WORD: *out = static_cast<LONG>(value & 0xFFFF); return true;
    case DDM_TYPE_BYTE: *out = static_cast<LONG>(value & 0xFF); return true;
    case DDM_TYPE_FLAG:
    case DDM_TYPE_LONG:
    case DDM_TYPE_DWORD:
    case DDM_TYPE_LFLONG: *out = static_cast<LONG>(static_cast<DWORD>(value)); return true;
    default: return false;
  }
}

// ---- Record kinds of the DDM id groups ---------------------------------------
#define DDM_KIND_DEVMODE 0
#define DDM_KIND_NONDEVMODE 1
#define DDM_KIND_PRINTERDATA 2

// ---- Member descriptors --------------------------------------------------------
// Member operations.
#define CDM_OP_DEFAULT 1   // produce the default value
#define CDM_OP_CHECK 2     // check that the stored value is acceptable
#define CDM_OP_LISTINFO 4  // describe the setting's selection list
#define CDM_OP_LISTITEM 8  // give one list item by index
#define CDM_OP_ALLOWED 16  // test whether a value is allowed
#define CDM_OP_ALL 0x1F

// A static default: used when flags bit 0 is set. length is -1 for
// non-strings, the characters for a string; value holds the value or the
// string's address. Flags bit 2 (0x4) and bit 3 (0x8) say that select, the
// member's static selection record (kestrel/core/cdm_lists.h), gives the head
// and the items of its setting list.
struct CDM_STATIC_SELECT;
struct CDM_STATIC_DEFAULT {
  WORD flags;
  WORD type;
  LONG length;
  ULONG_PTR value;
  const CDM_STATIC_SELECT* select;  // or null
};

struct CDM_ENUM_ITEMS;
struct CDDD_INFO;  // the description handle (HCDDD, kestrel/core/cddd.h)

// What a member handler works on. For CDM_OP_DEFAULT the handler answers in
// value; for CDM_OP_CHECK it reads the stored member itself (devmode and
// printerData are the records); for CDM_OP_ALLOWED value is the candidate;
// for CDM_OP_LISTITEM index selects the item and value receives it; for
// CDM_OP_LISTINFO count receives the number of items.
struct CDM_MEMBER_ARGS {
  WORD ddmId;
  void* devmode;
  void* printerData;
  CDDD_INFO* ddd;  // HCDDD; null when no description handle is at hand
  ULONG_PTR value;
  DWORD index;
  DWORD count;
  // Operation 1: the default's type and size (set by the handler, see
  // cdmSetParamDefaultData) and the printer name the device name takes.
  WORD type;
  DWORD size;
  LPCWSTR printerName;
  // List operations (4 and 8) of the members whose items the setting lists
  // enumerate first (298 stamp names, 305 and 358 face names): list is that
  // enumeration (kestrel/core/cdm_values.h), null for every other member.
  // Operation 8 may answer the item's display name in itemName (copied by
  // the list) or a resource string id in itemNameId (0: none).
  const CDM_ENUM_ITEMS* list;
  LPCWSTR itemName;
  WORD itemNameId;
};
// Results of a handler and of the dispatch.
#define CDM_RESULT_REFUSED 0   // the value is not acceptable / no answer for it
#define CDM_RESULT_DONE 1      // answered, or the value is acceptable
#define CDM_RESULT_DDD 2       // answer from the device description data instead
#define CDM_RESULT_NOMEMBER 3  // no member-table row, or its descriptor has no handler
typedef WORD (*CDM_MEMBER_HANDLER)(WORD operation, CDM_MEMBER_ARGS* args);

struct CDM_MEMBER_DESC {
  const char* name;                          // the descriptor's name, for traces
  const CDM_STATIC_DEFAULT* staticDefault;   // or null
  CDM_MEMBER_HANDLER handler;                // or null
  WORD operations;                           // CDM_OP_* the descriptor serves
};

// One row of a group's member table; a row with ddmId 0 ends a table.
struct CDM_MEMBER_ENTRY {
  DWORD ddmId;
  const CDM_MEMBER_DESC* desc;  // null: the member has no descriptor
};

// ---- Allocation and copying -----------------------------------------------------
// kind 1 selects the 1556-byte form, every other kind (0 included) the
// 5440-byte form.
void* dmCreateNRVDEVMODE(WORD kind);  // zero-filled block; null when memory is short
DWORD dmGetSizeNRVDEVMODE(WORD kind);
// Copies the form's size; nothing happens when either pointer is null.
void dmCopyNRVDEVMODE(void* destination, const void* source, WORD kind);
// Fills the form's size with zeros; answers 0.
WORD dmZeroClearNRVDEVMODE(void* devmode, WORD kind);
void dmDeleteNRVDEVMODE(void* devmode);
void* cdm_GetPrivateDataAddr(void* devmode);  // devmode + 220, null for null
DWORD cdm_GetExtraSize(void);                 // 1336

// ---- Tables ------------------------------------------------------------------------
// Layout-table index 0-11 (the group lookup order: 0-4 groups 5-9, 5 group
// 10, 6 group 11, 7-10 groups 0-3, 11 group 4): stores the record kind and
// answers 1; 12 or more answers 0.
BOOL dmGetDevmodeTableKind(WORD tableIndex, WORD* kind);
// The DDM id of the member at that position of the layout table; 0 for a
// table index of 12 or more or a member index past the table's end.
WORD dmGetDevmodeDdmID(WORD tableIndex, WORD memberIndex);
// Number of members of a layout table (0 for an index of 12 or more).
WORD dmGetDevmodeTableCount(WORD tableIndex);
// The member-table row of a DDM id (first group in lookup order whose range
// holds it, then an exact search of its member table), or null.
const CDM_MEMBER_ENTRY* cdmSerchDmDataFuncTbl(WORD ddmId);
// Group (0-11): its member table, row count (without the end row) and kind;
// every output optional. 1 when the group exists; otherwise 0 and the
// outputs describe the end row (an empty table, count 0, kind 0).
BOOL local_GetCdmDmDataFuncTbl(WORD group, const CDM_MEMBER_ENTRY** table, WORD* count, WORD* kind);

// ---- Descriptor dispatch --------------------------------------------------------
// Routes one member operation (CDM_RESULT_*): a default (operation 1) comes
// from the static default (args->value) or the handler only when the mask has
// 1, a check (operation 2) goes to the handler only when the mask has 2;
// every other operation goes to the handler whenever the member has a
// descriptor. A member without descriptor, or an operation 1 or 2 the mask
// lacks, answers CDM_RESULT_DDD. An id without member-table row, or a
// descriptor without the handler it needs, answers CDM_RESULT_NOMEMBER.
WORD cdmDispatchMember(WORD ddmId, WORD operation, CDM_MEMBER_ARGS* args);

// 1 when members 2, 4, 5 and 258 of the devmode pass their checks (no
// description handle); 0 for no devmode or at the first failure.
BOOL wNTc_IsDevmodeOurs(void* devmode);
