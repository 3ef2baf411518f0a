// Devmode values by DDM id: one entry point that writes a member, the value
// helpers of the member types (size, copy, compare, convert), the members
// derived from others, the skip array of the all-settings constraint sweep,
// and the sweep itself.
//
// A value slot is a ULONG_PTR: types 1-5, 8 and 10 sit in its low bytes
// (little-endian), types 6 and 9 hold the address of the string or the
// 92-byte font record.
//
// Decisions:
//  - cdmCompare and cdmCompareStr take, for type 6, the addresses of two
//    value slots that hold the strings' addresses (the same slots every other
//    helper here works on); a slot holding no string answers 2.
//  - cdmDmConvertStr answers a new block (kcore_Free, GlobalFree in user
//    mode) holding the text and its length in characters; nothing is ever
//    written into a caller's buffer of unknown size.
//  - cdmSkipAddID refuses id 0 (an entry with id 0 is a free entry).
//  - cdmAllDataConstUpdate keeps its skip array as the list of the ids it
//    changed twice in a row (callers read it so). It runs over a seam
//    (CDM_SWEEP_OPS): the selection method of a member and the constraint
//    engine's update belong to the user-interface library, which registers
//    them with cdm_SetSweepOps; while none are registered the sweep answers
//    -1 and changes nothing.
//  - cdmAllDataConstUpdateLoop is the calling loop: it calls the sweep until
//    it stops answering 2 and never more than CDM_SWEEP_MAX_CALLS times; past
//    the bound it shows the sweep's failure message for the member changed
//    last and answers -1, so two rules undoing each other cannot hold the
//    caller forever.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/core/devmode.h"
#include "kplatform/wintypes.h"

// ---- Writing and the value helpers ------------------------------------------
// Writes one member through ddm_SetValue; size (DWORD)-1 takes
// cdmSetParamSize(slot, type, -1). 1 on success, 0 otherwise or for no slot.
BOOL cdm_SetValue(WORD ddmId, void* devmode, void* printerData, DWORD size, WORD type, const ULONG_PTR* slot);
DWORD cdmSetParamSize(const ULONG_PTR* slot, WORD type, DWORD size);
BOOL cdmSetData(WORD type, ULONG_PTR* destination, const void* source);

// 1 first greater, -1 smaller, 0 equal; 2 missing address or string, or
// another type.
LONG cdmCompare(WORD type, const void* first, const void* second);
LONG cdmCompareB(const void* first, const void* second);    // types 1, 4, 10
LONG cdmCompareS(const void* first, const void* second);    // type 2
LONG cdmCompareUS(const void* first, const void* second);   // type 3
LONG cdmCompareUL(const void* first, const void* second);   // type 5
LONG cdmCompareStr(const void* first, const void* second);  // type 6 (slots)
LONG cdmCompareC(const void* first, const void* second);    // type 8

DWORD cdmDmConvertDWORD(WORD type, const void* address);
LONG cdmDmConvertINT(WORD type, const void* address);
WORD cdmDmConvertWORD(WORD type, const void* address);
// A new text (kcore_Free) of the value: "%d" for types 1, 2, 3, 8, 10, "%ld"
// for 4 and 5, a copy for 6. length (optional) receives its characters.
// Null for another type, no slot, no string or no memory.
LPWSTR cdmDmConvertStr(WORD type, const ULONG_PTR* slot, DWORD* length);

// ---- Skip array ----------------------------------------------------------------
#define CDM_SKIP_COUNT 100
struct CDM_SKIP_ENTRY {
  WORD ddmId;  // 0: free
  WORD pad;
  DWORD flag;
};
static_assert(sizeof(CDM_SKIP_ENTRY) == 8);
static_assert(sizeof(CDM_SKIP_ENTRY) * CDM_SKIP_COUNT == 800);

CDM_SKIP_ENTRY* cdmNewSkipArray(void);  // zero-filled; freed with dmDeleteNRVDEVMODE
void cdmInitSkipFlag(CDM_SKIP_ENTRY* array);
BOOL cdmSkipAddID(CDM_SKIP_ENTRY* array, WORD ddmId, BOOL setFlag);
BOOL cdmFindSkipDataByDdmID(CDM_SKIP_ENTRY* array, WORD ddmId, BOOL setFlag);
BOOL cdmIsSkipFlagOffAll(const CDM_SKIP_ENTRY* array, WORD* ddmId);

// ---- Stamp colours ---------------------------------------------------------------
// colour: 0x00BBGGRR. index != -1: the colour at index 0-6; index -1: the
// colour of stamp colour id 1-7. 1, or 0 when there is none.
BOOL cdmStampColorGet(WORD colourId, DWORD* colour, LONG index);

LONG cdmGetPrinterColor(HCDDD handle);

// ---- Derived members (1 on success, 0 when a read or write fails) ------------------
BOOL cdmColorCapabilityTodmColor(void* devmode, void* printerData);
// 1 or 2 by the rule above without writing; 0 when a read fails.
SHORT cdmGetColorFromColorCapability(void* devmode, void* printerData);
// which 17: dmTTOption to member 292; any other: member 292 to dmTTOption.
// The defaults call it with 292 (dmTTOption follows 292); the merge with 17,
// which turns a 292 of 1 into 2 unless dmTTOption is 1. So whatever writes
// member 292 (a settings page, say) must call it with 292 afterwards, or a
// choice of 1 (no device fonts) is lost at the next merge.
BOOL cdmConvertTTOptionAndFontType(void* devmode, void* printerData, WORD which);
BOOL cdmIcmModeToIcmMethod(void* devmode, void* printerData);
BOOL cdmApplicationZoomToDmScale(void* devmode);
BOOL cdmEnableDmPaperWidthLength(void* devmode);
BOOL cdmDefaultSourceToInputBin(void* devmode, void* printerData);
BOOL cdmInputBinToDefaultSource(void* devmode, void* printerData);
BOOL cdmAdjustObjectSet(void* devmode, void* printerData);

// ---- All-settings constraint sweep ---------------------------------------------------
struct CDM_SWEEP_OPS {
  // The member's selection method (its selection information without
  // items); FALSE when the member has none.
  BOOL (*selectMethod)(HCDDD handle, WORD ddmId, void* devmode, void* printerData, WORD* method);
  void* (*allocConst)(void);
  void (*freeConst)(void* constData);
  // The constraint update of one member's current value in mode 1; 0 on
  // success with *changed non-zero when settings were changed.
  WORD (*update)(HWND window, HCDDD handle, void* devmode, void* printerData, WORD ddmId, WORD type,
                 const ULONG_PTR* value, void* constData, void* workSlot, BOOL* changed);
};
void cdm_SetSweepOps(const CDM_SWEEP_OPS* ops);  // null clears them

#define CDM_SWEEP_MAX_CALLS 256
#define CDM_STRID_SWEEP_FAILED 389
// 1 done, 2 a member changed (call again), -1 failure.
LONG cdmAllDataConstUpdate(HINSTANCE instance, HWND window, HCDDD handle, void* devmode, void* printerData,
                           void* workSlot, HWND owner, CDM_SKIP_ENTRY* skip, WORD* lastDdmId);
// Calls the sweep until it answers 1 or -1, within the bound above.
LONG cdmAllDataConstUpdateLoop(HINSTANCE instance, HWND window, HCDDD handle, void* devmode, void* printerData,
                               void* workSlot, HWND owner, CDM_SKIP_ENTRY* skip);

// ---- Enumerated lists (stamp names, face names) and the printer's stored devmode --
// The names of an enumerated list: count names, each NUL-terminated, one
// after another in names (a block of its own, ended by two NULs).
struct CDM_ENUM_ITEMS {
  DWORD count;
  LPWSTR names;
};
// The stamp store of the user-interface library (zanStamp_GetStampList):
// with no buffer it adds up *size in bytes; with one it copies the names that
// fit in *size and stores *count. 1 on success.
typedef WORD (*CdmStampListFn)(HANDLE printer, HCDDD handle, LPWSTR buffer, WORD* count, DWORD* size);
void cdm_SetStampListProvider(CdmStampListFn provider);
// Member 298: the list from the stamp store (asked for the size, then the
// names). Members 305 and 358 (user-mode build): the face names of the
// machine's TrueType families (font type bit 4), one a family, in the order
// the font-family enumeration offers them (the order of kestreltt.tmp and of
// the stamp editor's font list; a family that appears between the count and
// the copy is left out); none is an empty list. Every other id, and 305 and
// 358 in the kernel-mode build: an empty list. 1 on success (*list is then
// the caller's, cdmDestroyEnumItemData), 0 on failure or, for 298, with no
// stamp store registered.
BOOL cdmCreateEnumItemData(HCDDD handle, WORD ddmId, CDM_ENUM_ITEMS** list, HANDLE printer);
void cdmDestroyEnumItemData(CDM_ENUM_ITEMS* list);
// 1 for the members whose lists are enumerated first (298, 305, 358).
BOOL cdmIsEnumItemMember(WORD ddmId);
// Name index of the list: the empty string past the end of the names (an
// empty name ends the walk), null for no list.
LPCWSTR cdmGetEnumItemName(const CDM_ENUM_ITEMS* list, DWORD index);

// Copies a devmode stored by the spooler into a zeroed 5440-byte buffer:
// at most its own dmSize + dmDriverExtra bytes and never more than 5440, so
// an oversized stored devmode is cut, never copied past the buffer. 1, or 0
// when either pointer is missing.
BOOL cdmCopyStoredDevmode(const void* stored, void* buffer5440);
#if !defined(KESTREL_KERNEL_MODE)
// Copies one member from the printer's stored devmode (PRINTER_INFO_2) into
// the devmode. 0 when the printer has no stored devmode or a step fails.
BOOL local_SetPrtIconRegData(HCDDD handle, void* devmode, WORD ddmId, void* printerData, HANDLE printer);
#endif
