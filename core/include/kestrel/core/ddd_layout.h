// The stored layout of a device description data (DDD) file: the fixed
// header, the PrinterInfo item table, the category table, the data-offset
// tables and the start of every record. The one description of these facts:
// the reader (core/ddd), the compiler (tools/dddc) and the tests that lay out
// files by hand all take them from here.
//
// Little-endian and unaligned throughout; offsets count from the start of
// the file unless said otherwise. The header needs only <cstdint>, so host
// tools include it without the platform layer.
//
// The golden tests of the compiler (tests/tools/dddc_compile_test.cpp) and
// the reader's table tests spell these numbers by hand on purpose: a wrong
// value here then fails them instead of agreeing with itself.
//
//   0    header (DDD_HEADER_SIZE bytes)
//   224  PrinterInfo items 0-41 in fixed order; item 0 is the 32-bit offset of
//        the category table, counted from DDD_CATTABLE_BASE (the byte behind it)
//        category table: 4 bytes (not read), 16-bit count, then one 7-byte
//        entry {3 bytes not read, 32-bit table offset} per category, in
//        DDD_CATEGORY_ORDER
//        one data-offset table per category: 4 bytes (not read), 16-bit
//        count, then 7-byte entries {8-bit location, 16-bit data id, 32-bit
//        absolute offset}
//        the records, each starting with its 32-bit length and 16-bit data id
#pragma once

#include <cstdint>

// --- locations ------------------------------------------------------------------

// Which file of the pair a data-offset table entry names (its location byte):
// DDD_LOC_MAIN, or any other value for the referenced file.
inline constexpr uint16_t DDD_LOC_REFERENCED = 1;
inline constexpr uint16_t DDD_LOC_MAIN = 2;

// --- categories -------------------------------------------------------------------

// Record categories (file kinds). 1 and 2 are built from the header and the
// PrinterInfo block and have no entry in the category table.
inline constexpr uint16_t DDD_CAT_FILEINFO = 1;
inline constexpr uint16_t DDD_CAT_PRINTERINFO = 2;
inline constexpr uint16_t DDD_CAT_OPTION_INSTALL = 3;
inline constexpr uint16_t DDD_CAT_OPTION_DOC = 4;
inline constexpr uint16_t DDD_CAT_TRAY = 5;
inline constexpr uint16_t DDD_CAT_TRAY2 = 6;
inline constexpr uint16_t DDD_CAT_CONSTRAINTS = 7;
inline constexpr uint16_t DDD_CAT_CONSTRAINTS2 = 8;
inline constexpr uint16_t DDD_CAT_IMCONDITION = 9;
inline constexpr uint16_t DDD_CAT_PAPER = 10;
inline constexpr uint16_t DDD_CAT_FONT = 11;
inline constexpr uint16_t DDD_CAT_IMAGE = 12;
inline constexpr uint16_t DDD_CAT_OPTIONITEM_INSTALL = 13;
inline constexpr uint16_t DDD_CAT_OPTIONITEM_DOC = 14;
inline constexpr uint16_t DDD_CAT_EJCL = 15;
inline constexpr uint16_t DDD_CAT_NRV = 16;
inline constexpr uint16_t DDD_CAT_SIZE = 17;
inline constexpr uint16_t DDD_CAT_ICON = 18;
inline constexpr uint16_t DDD_CAT_PAPERTYPE = 19;
inline constexpr uint16_t DDD_CAT_GROUPED = 20;
inline constexpr uint16_t DDD_CAT_FAVORITE = 21;
inline constexpr uint16_t DDD_CAT_ADCQUERY = 22;
inline constexpr uint16_t DDD_CAT_TRAYINDEX = 23;

// The category table's entries, in this fixed order (held here, not in the
// file): an entry is found by its category's position.
inline constexpr uint16_t DDD_CATEGORY_ORDER[] = {
    DDD_CAT_OPTION_INSTALL, DDD_CAT_OPTION_DOC,     DDD_CAT_TRAY,      DDD_CAT_TRAY2,
    DDD_CAT_SIZE,           DDD_CAT_CONSTRAINTS,    DDD_CAT_CONSTRAINTS2, DDD_CAT_IMCONDITION,
    DDD_CAT_PAPER,          DDD_CAT_FONT,           DDD_CAT_IMAGE,     DDD_CAT_OPTIONITEM_INSTALL,
    DDD_CAT_OPTIONITEM_DOC, DDD_CAT_EJCL,           DDD_CAT_NRV,       DDD_CAT_ICON,
    DDD_CAT_PAPERTYPE,      DDD_CAT_GROUPED,        DDD_CAT_FAVORITE,  DDD_CAT_ADCQUERY,
    DDD_CAT_TRAYINDEX};
inline constexpr uint16_t DDD_CATEGORY_COUNT = sizeof(DDD_CATEGORY_ORDER) / sizeof(DDD_CATEGORY_ORDER[0]);

// Position of a category in the category table; -1 when it has no entry.
constexpr int ddd_CategoryPosition(uint16_t category) {
  for (int i = 0; i < DDD_CATEGORY_COUNT; ++i) {
    if (DDD_CATEGORY_ORDER[i] == category) return i;
  }
  return -1;
}

static_assert(DDD_CATEGORY_COUNT == 21);
static_assert(ddd_CategoryPosition(DDD_CAT_OPTION_INSTALL) == 0);
static_assert(ddd_CategoryPosition(DDD_CAT_SIZE) == 4);
static_assert(ddd_CategoryPosition(DDD_CAT_CONSTRAINTS) == 5);
static_assert(ddd_CategoryPosition(DDD_CAT_ICON) == 15);
static_assert(ddd_CategoryPosition(DDD_CAT_TRAYINDEX) == 20);
static_assert(ddd_CategoryPosition(DDD_CAT_FILEINFO) < 0 && ddd_CategoryPosition(DDD_CAT_PRINTERINFO) < 0);

// --- header -------------------------------------------------------------------------

// 8-bit fields are NUL-padded.
inline constexpr uint32_t DDD_HEADER_TEXT_OFFSET = 0;
inline constexpr uint32_t DDD_HEADER_TEXT_SIZE = 64;
inline constexpr uint32_t DDD_VERSION_OFFSET = 64;  // "text:a.b.c"
inline constexpr uint32_t DDD_VERSION_SIZE = 24;
inline constexpr uint32_t DDD_UNUSED_OFFSET = 88;  // 4 bytes, not read
inline constexpr uint32_t DDD_UNUSED_SIZE = 4;
inline constexpr uint32_t DDD_FORMAT_OFFSET = 92;  // four signed bytes, packed big-endian
inline constexpr uint32_t DDD_FORMAT_SIZE = 4;
inline constexpr uint32_t DDD_MODELNAME_OFFSET = 96;
inline constexpr uint32_t DDD_MODELNAME_SIZE = 64;
inline constexpr uint32_t DDD_REFNAME_OFFSET = 160;  // file name of the referenced file; empty = none
inline constexpr uint32_t DDD_REFNAME_SIZE = 64;
inline constexpr uint32_t DDD_HEADER_SIZE = 224;

static_assert(DDD_VERSION_OFFSET == DDD_HEADER_TEXT_OFFSET + DDD_HEADER_TEXT_SIZE);
static_assert(DDD_UNUSED_OFFSET == DDD_VERSION_OFFSET + DDD_VERSION_SIZE);
static_assert(DDD_FORMAT_OFFSET == DDD_UNUSED_OFFSET + DDD_UNUSED_SIZE);
static_assert(DDD_MODELNAME_OFFSET == DDD_FORMAT_OFFSET + DDD_FORMAT_SIZE);
static_assert(DDD_REFNAME_OFFSET == DDD_MODELNAME_OFFSET + DDD_MODELNAME_SIZE);
static_assert(DDD_HEADER_SIZE == DDD_REFNAME_OFFSET + DDD_REFNAME_SIZE);

// --- PrinterInfo ---------------------------------------------------------------------

inline constexpr uint32_t DDD_PRINTERINFO_OFFSET = DDD_HEADER_SIZE;

// The PrinterInfo items in file order (held here, not in the file): element
// count and element size. A count of 0 means the item starts with its own
// 16-bit count; a size of 0 means each element is a String (16-bit length,
// then the bytes).
struct DddPrinterInfoDef {
  uint16_t count;
  uint16_t size;
};
inline constexpr DddPrinterInfoDef DDD_PRINTERINFO_ITEMS[] = {
    {1, 4}, {1, 2}, {1, 4}, {0, 2}, {1, 2}, {1, 1}, {1, 4}, {1, 1}, {1, 4}, {1, 4},  // 0-9
    {1, 2}, {1, 4}, {1, 4}, {1, 0}, {0, 1}, {1, 4}, {1, 2}, {1, 0}, {1, 0}, {1, 0},  // 10-19
    {1, 0}, {1, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 2}, {1, 4}, {0, 2}, {0, 0}, {1, 0},  // 20-29
    {1, 0}, {1, 0}, {1, 0}, {1, 0}, {0, 2}, {0, 0}, {0, 0}, {1, 0}, {1, 0}, {0, 4},  // 30-39
    {1, 2}, {1, 2},                                                                  // 40-41
};
// One past the last item: the end of the item table.
inline constexpr uint16_t DDD_PRINTERINFO_END = 42;
static_assert(sizeof(DDD_PRINTERINFO_ITEMS) / sizeof(DDD_PRINTERINFO_ITEMS[0]) == DDD_PRINTERINFO_END);

// The PrinterInfo items named by the code that computes or checks them.
inline constexpr uint16_t DDD_PI_CATTABLE_OFFSET = 0;   // the category table's offset (below)
inline constexpr uint16_t DDD_PI_MODEL_IMAGE = 1;       // image id of the model picture
inline constexpr uint16_t DDD_PI_EJCL_BOUND = 2;        // bytes the EJCL command records can produce
inline constexpr uint16_t DDD_PI_REGISTRY_PATH = 30;    // registry path, selector 0
inline constexpr uint16_t DDD_PI_USER_REGISTRY_PATH = 33;  // registry path, selector 1: the per-user key's root
inline constexpr uint16_t DDD_PI_PAPER_LIST = 34;       // paper ids shown to the user
inline constexpr uint16_t DDD_PI_LOGO_IMAGE = 40;       // image id of the corporate logo
inline constexpr uint16_t DDD_PI_PAPER_ROOM = 41;       // room for paper entries

// Item 0: the 32-bit offset of the category table, counted from the byte
// behind it.
inline constexpr uint32_t DDD_CATTABLE_OFFSET_SIZE = 4;
inline constexpr uint32_t DDD_CATTABLE_BASE = DDD_PRINTERINFO_OFFSET + DDD_CATTABLE_OFFSET_SIZE;
static_assert(DDD_PRINTERINFO_ITEMS[DDD_PI_CATTABLE_OFFSET].count == 1 &&
              DDD_PRINTERINFO_ITEMS[DDD_PI_CATTABLE_OFFSET].size == DDD_CATTABLE_OFFSET_SIZE);
static_assert(DDD_CATTABLE_BASE == 228);

// --- category table and data-offset tables ---------------------------------------

// Both tables start with 4 bytes the reader does not read and a 16-bit count.
inline constexpr uint32_t DDD_TABLE_COUNT_OFFSET = 4;
inline constexpr uint32_t DDD_TABLE_HEAD_SIZE = DDD_TABLE_COUNT_OFFSET + 2;

// A category-table entry: 3 bytes not read, the 32-bit offset of the
// category's data-offset table.
inline constexpr uint32_t DDD_CATENTRY_TABLE_OFFSET = 3;
inline constexpr uint32_t DDD_CATENTRY_SIZE = DDD_CATENTRY_TABLE_OFFSET + 4;
// The whole category table, one entry per category.
inline constexpr uint32_t DDD_CATTABLE_SIZE = DDD_TABLE_HEAD_SIZE + DDD_CATEGORY_COUNT * DDD_CATENTRY_SIZE;

// A data-offset table entry: 8-bit location, 16-bit data id, 32-bit offset
// (absolute in the file the location names).
inline constexpr uint32_t DDD_ENTRY_LOCATION_OFFSET = 0;
inline constexpr uint32_t DDD_ENTRY_ID_OFFSET = 1;
inline constexpr uint32_t DDD_ENTRY_DATA_OFFSET = 3;
inline constexpr uint32_t DDD_ENTRY_SIZE = 7;

static_assert(DDD_CATENTRY_SIZE == 7);
static_assert(DDD_ENTRY_ID_OFFSET == DDD_ENTRY_LOCATION_OFFSET + 1);
static_assert(DDD_ENTRY_DATA_OFFSET == DDD_ENTRY_ID_OFFSET + 2);
static_assert(DDD_ENTRY_SIZE == DDD_ENTRY_DATA_OFFSET + 4);

// --- records --------------------------------------------------------------------------

// Every record starts with its 32-bit byte length (never read) and its
// 16-bit data id.
inline constexpr uint32_t DDD_RECORD_ID_OFFSET = 4;
inline constexpr uint32_t DDD_RECORD_START_SIZE = DDD_RECORD_ID_OFFSET + 2;
