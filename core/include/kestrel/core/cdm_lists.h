// Setting lists for the user interface: the selection information of a
// member (its display name, selection method, value type and items), item
// icons with their palettes, and paper entries relabelled with their sizes.
//
// Decisions:
//  - The selection information and its items are in-memory blocks of this
//    process (kcore_Alloc), never stored or sent; with 64-bit pointers an item
//    is 32 bytes.
//  - Operation 4 of a member handler answers the selection method in
//    args->index (0 means a list, method 2), the item count in args->count
//    and the items' value type in args->type (0: the member's own type).
//    Operation 8 answers item args->index in args->value (a string: its
//    address, copied by the list). cdmSetParamSelectItemInfoData and the
//    item helpers below fill these fields.
//  - Icons: the platform has no window-system icons, so an item's icon is a
//    CDM_ICON block of this module (the colour bits and the 1-bit mask, mask
//    rows turned bottom-up into top-down, one 32-bit row each) and its
//    palette a CDM_PALETTE in the LOGPALETTE layout (version 0x300, entries
//    red-green-blue). Both are freed with the selection information. An
//    image is read only within the bytes the data gives for it: a header,
//    colour table or bit rows reaching past them fail the item.
//  - cdmGetDefinePaperName formats resource string 703 (millimetres) or 9247
//    (inches) by putting the width text at its first "%s" and the length
//    text at its second; the name is at most 256 characters.
//  - The stamp-name list (member 298) and the face-name lists (305 stamp
//    face, 358 header/footer face) are enumerated first
//    (cdmCreateEnumItemData: the stamp store, which needs the printer, or
//    the machine's TrueType families, see kestrel/core/cdm_values.h); the
//    selection information keeps that enumeration and hands it to the
//    member's handler in args->list for operations 4 and 8, so the handlers
//    answer the head and the items as for any other member. Stamp names: a
//    list of stamps + 1 strings, item 0 named by resource string 426 with
//    the empty string as its value, then each stored stamp with its name as
//    name and value; without a stamp store or printer the member has no
//    list. Face names: one item a family, its face name as name and value.
//    In the kernel-mode build these handlers keep their default-only
//    behaviour (no lists there).
//  - List item names and values are built per call (no process-wide
//    buffers), so lists may be built on several threads at once: an item
//    name given by string id (cdmSetParamSelectItemListData) is loaded by
//    the list when it copies the item, not into a shared buffer.
//  - Static selection records: a member whose static default has flags bit
//    2 (0x4) takes the head from its CDM_STATIC_SELECT, with flags bit 3
//    (0x8) also the items, before its handler is asked (the descriptor's
//    mask must name operation 4 / 8). Method 1: 2 items, values 1 then 0,
//    no names; 2: the record's list; 3: 1 item, the input value first;
//    4: minimum, maximum, step; 6: the limits first and second, the third
//    item without value. Any other method fails the head. The items go
//    through the same output helpers as a handler's.
//  - A method 6 object's third item never takes a value (it stays 0),
//    whichever source gives the items.
//  - Tray-dependent paper (value 275) is relabelled with the two members
//    the common library names for the list's member; for a list whose
//    member names none (262, 8, 1824, and the tray lists the input-bin table
//    lacks) the entry keeps its own name: there is no size to show, and the
//    rest of the list stays usable. A failed read of named members fails
//    the list.
#pragma once

#include "kestrel/core/cddd.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/devmode.h"
#include "kplatform/wintypes.h"

#define CDM_SELECT_CHECKBOX 1
#define CDM_SELECT_LIST 2
#define CDM_SELECT_INPUT 3
#define CDM_SELECT_RANGE 4
#define CDM_SELECT_LIMITS 6

#define CDM_STRID_STAMP_NONE 426  // item 0 of the stamp-name list

#pragma pack(push, 1)
struct CDM_BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // an icon image counts the colour rows and the mask rows
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(CDM_BITMAPINFOHEADER) == 40);

struct CDM_PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
struct CDM_PALETTE {  // LOGPALETTE
  WORD palVersion;    // 0x300
  WORD palNumEntries;
  CDM_PALETTEENTRY palPalEntry[1];
};
static_assert(sizeof(CDM_PALETTEENTRY) == 4 && offsetof(CDM_PALETTE, palPalEntry) == 4);

struct CDM_ICON {
  LONG width;
  LONG height;  // the icon's own height (half the image's)
  WORD bitCount;
  WORD pad;
  DWORD colourStride;  // bytes of one colour row
  DWORD maskStride;    // bytes of one mask row
  BYTE* colourBits;    // height rows as in the image
  BYTE* maskBits;      // height rows, the image's last row first
};

struct CDM_SELECT_ITEM {
  ULONG_PTR value;  // the number, or (type 6) the address of an owned copy
  LPWSTR name;      // owned, or null
  CDM_ICON* icon;   // or null
  CDM_PALETTE* palette;  // or null
};

struct CDM_SELECT_INFO {
  WORD ddmId;
  LPWSTR name;  // owned, or null
  WORD method;
  WORD type;
  DWORD count;
  CDM_SELECT_ITEM* items;     // owned array of count items
  CDM_ENUM_ITEMS* enumItems;  // members 298, 305, 358: their enumeration (owned)
};

// Static selection records (see the decisions above).
#define CDM_STATIC_FLAG_DEFAULT 0x1  // the static default is the member's default
#define CDM_STATIC_FLAG_HEAD 0x4     // select gives method and count
#define CDM_STATIC_FLAG_ITEMS 0x8    // select gives the items
struct CDM_STATIC_SELECT_ITEM {
  ULONG_PTR value;  // the number, or (type 6) the string's address
  LPCWSTR name;     // or null
};
struct CDM_STATIC_SELECT {
  WORD method;  // CDM_SELECT_*
  WORD type;    // the items' value type (0: the member's own)
  DWORD count;  // method 2: entries of list
  const CDM_STATIC_SELECT_ITEM* list;
  LONG first;   // method 4: minimum, maximum, step; 6: the limits (third
  LONG second;  // unused); 3: first is the input's value
  LONG third;
};

// How paper sizes are shown in relabelled entries.
struct CDM_UNIT_INFO {
  BOOL inch;    // 0 millimetres, otherwise inches
  BOOL digits;  // inches: one decimal ("%u.%u") when set, else two ("%u.%02u")
};

struct CDM_DEFINE_PAPER {
  WORD id;
  WORD width;   // 0.1 mm
  WORD length;  // 0.1 mm
  LPCWSTR name;
};

CDM_SELECT_INFO* cdmCreateSelectItemInfo(HCDDD handle, HANDLE printer, WORD ddmId, HWND window, void* devmode,
                                         void* printerData, const CDM_UNIT_INFO* unit);
// The head only (no items); *entry receives the member-table row (or null
// for a member known only to the data).
CDM_SELECT_INFO* local_CreateSelectInfoExceptItemInfo(HCDDD handle, HANDLE printer, WORD ddmId, HWND window,
                                                      void* devmode, void* printerData,
                                                      const CDM_MEMBER_ENTRY** entry);
BOOL cdmCreateSelectItemInfoData(HCDDD handle, WORD ddmId, HWND window, CDM_SELECT_INFO* info,
                                 const CDM_MEMBER_ENTRY* entry, void* devmode, void* printerData);
BOOL cdmInitSelectItemDataTbl(HCDDD handle, WORD ddmId, CDM_SELECT_INFO* info, const CDM_MEMBER_ENTRY* entry,
                              void* devmode, void* printerData);
BOOL cdmSelectInfoFree(CDM_SELECT_INFO* info);

LPCWSTR cdmGetSelectFuncName(const CDM_SELECT_INFO* info);
CDM_SELECT_ITEM* cdmGetSelectItem(const CDM_SELECT_INFO* info);
LONG cdmGetSelectItemNum(const CDM_SELECT_INFO* info);  // -1 for no object
CDM_SELECT_ITEM* cdmGetSelectItemData(const CDM_SELECT_INFO* info, LONG index);
LPCWSTR cdmGetSelectItemName(const CDM_SELECT_INFO* info, LONG index);
CDM_SELECT_ITEM* cdmGetSelectItemDevData(const CDM_SELECT_INFO* info, LONG index);
CDM_ICON* cdmGetIconHandle(const CDM_SELECT_INFO* info, LONG index);
CDM_PALETTE* cdmGetPaletteHandle(const CDM_SELECT_INFO* info, LONG index);
WORD cdmGetSelMethod(const CDM_SELECT_INFO* info);
BOOL cdmSetSelMethod(CDM_SELECT_INFO* info, WORD method);
CDM_SELECT_ITEM* cdmGetSelectItemDevDataByItemName(const CDM_SELECT_INFO* info, LPCWSTR name);

// Handler output helpers (see the decisions above).
void cdmSetParamSelectItemInfoData(WORD method, DWORD count, WORD type, CDM_MEMBER_ARGS* args);
// Item args->index of a range: minimum, maximum, step. 0 for another index.
BOOL cdmSetParamSelectItemMaxMinData(LONG minimum, LONG maximum, LONG step, WORD type, CDM_MEMBER_ARGS* args);
// Item args->index of a check box: 0 the "on" value, 1 the "off" value.
BOOL cdmSetParamSelectItemBoolData(LONG off, LONG on, WORD type, CDM_MEMBER_ARGS* args);
// Item args->index of an input (method 3) or input with limits (6): item 0
// takes a, item 1 b, item 2 no value (0); the items report type 3. 0 for
// another index.
BOOL cdmSetParamSelectItemInputData(LONG a, LONG b, CDM_MEMBER_ARGS* args);
// One list item: its value (type 6: the string's address, copied by the
// list) and its name: resource string stringId + args->index when stringId
// is not 0, else name.
BOOL cdmSetParamSelectItemListData(WORD stringId, LPCWSTR name, ULONG_PTR value, WORD type, CDM_MEMBER_ARGS* args);

// The list operations of dmCopies (4: a range 1 to the model's maximum by
// 1; 8: its items); every other operation goes to the member's own handler.
WORD cdmHandler_CopiesList(WORD operation, CDM_MEMBER_ARGS* args);
// The list operations (4 and 8) of the stamp-name list (298) and the two
// face-name lists (305, 358) from args->list; every other operation, and
// every operation in the kernel-mode build, goes to the member's own
// handler.
WORD cdmStampNameList(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmFaceName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHeaderFaceName(WORD operation, CDM_MEMBER_ARGS* args);

// Icons (image: the device-independent icon image, bytes its length).
WORD cdmDIBNumColors(const CDM_BITMAPINFOHEADER* header);
CDM_PALETTE* cdmDIBCreatePalette(const BYTE* image, DWORD bytes);
BOOL cdmCreateSelectItemIcon(HINSTANCE instance, const BYTE* image, DWORD bytes, CDM_ICON** icon,
                             CDM_PALETTE** palette);
void cdmDestroySelectItemIcon(CDM_ICON* icon);

// A new string (kcore_Free): name, resource string 2009, then the size text.
LPWSTR cdmGetDefinePaperName(HINSTANCE instance, void* devmode, void* printerData, const CDM_DEFINE_PAPER* paper,
                             const CDM_UNIT_INFO* unit);
