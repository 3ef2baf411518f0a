// Device description data (DDD): result codes, the file context and the
// in-memory records the reader builds. The file's layout (header, tables,
// categories, locations) is in kestrel/core/ddd_layout.h, the records' stored
// layouts in core/ddd/README.md; the operations are declared in
// kestrel/core/ddd.h.
//
// In-memory records are the reader's own structures (they are never stored or
// sent), so they use natural alignment; only the file image is read byte-wise.
#pragma once

#include "kestrel/core/ddd_layout.h"
#include "kplatform/wintypes.h"

// Results of every reader operation (16 bit).
#define DDD_OK 0
#define DDD_ERR_ARG 1       // bad argument, wrong record kind, file not open, read failure
#define DDD_ERR_NOTFOUND 2  // no such category, id, position or item
#define DDD_ERR_MEMORY 4    // out of memory (also: all four string buffers in use)
#define DDD_ERR_VERSION 8   // model version out of range (open only)
#define DDD_ERR_NODMA 16    // devmode-access entry missing (used by the devmode core)

// Read depth of record readers.
#define DDD_QUICK 0
#define DDD_FULL 1

// Element kinds of the reader's allocations.
#define DDD_KIND_ID 515
#define DDD_KIND_ITEM 517
#define DDD_KIND_IMSTRUCT 518
#define DDD_KIND_POINT 519
#define DDD_KIND_STRING 520
#define DDD_KIND_ITEM_CONNECTIVE 521
#define DDD_KIND_ICONBYTES 522
#define DDD_KIND_GUIDATA 523
#define DDD_KIND_INDEXEDTRAY 526
#define DDD_KIND_TSV 527
#define DDD_KIND_ANY 65535  // ddd_Free: use the record's own kind word

// Devmode value types.
#define DDD_TYPE_BOOL 1
#define DDD_TYPE_SHORT 2
#define DDD_TYPE_USHORT 3
#define DDD_TYPE_LONG 4
#define DDD_TYPE_ULONG 5
#define DDD_TYPE_STRING 6
#define DDD_TYPE_FLOAT 7
#define DDD_TYPE_BYTE 8
#define DDD_TYPE_BLOCK 9
#define DDD_TYPE_DWORD 10
#define DDD_TYPE_GROUPED 128

// Number of reusable string buffers shared by a file pair, and the least
// size of each.
#define DDD_STRING_SLOTS 4
#define DDD_STRING_MIN_BUFFER 1024
// Characters of the buffer an external string is loaded into.
#define DDD_EXTSTRING_CHARS 512

struct DDD_STRING_SLOT {
  DWORD size;    // bytes of buffer
  BYTE* buffer;  // null until first used
  BOOL inUse;
};

// String state of a file pair: owned by the main file's context and borrowed
// by the referenced file's.
struct DDD_STRING_STATE {
  DDD_STRING_SLOT slots[DDD_STRING_SLOTS];
  BOOL tryResource;  // the string resource module may still be tried
  HANDLE resourceModule;
  BOOL resolving;  // an external string is being resolved (no nesting)
};

// One open DDD file. Zero-initialise before first use (`DDDFILE f = {};`).
struct DDDFILE {
  BOOL open;
  BYTE* image;  // the whole file, copied at open
  DWORD size;   // bytes of image
  DWORD cursor;
  WORD location;         // DDD_LOC_MAIN or DDD_LOC_REFERENCED
  DWORD packedVersion;   // (a * 256 + b) * 65536 + c
  LONG formatVersion;    // packed format version of THIS file
  DDDFILE* partner;      // the referenced file's context points to the main one
  DDD_STRING_STATE* strings;
};

// Common head of every record the reader allocates.
struct DDD_HEAD {
  WORD id;        // data id from the record start
  WORD kind;      // category, or element kind
  WORD location;  // DDD_LOC_MAIN / DDD_LOC_REFERENCED, set by the by-id / by-position readers
  DDDFILE* file;  // context the record was read from
  // Format version of the file the record was read from; it decides which
  // optional fields the record has and which field accessors answer.
  LONG formatVersion;
};

// A decoded String: wide text and its byte count including the NUL.
// str is null (bytes 0) for a stored length of 0.
struct DDD_STRING {
  LPWSTR str;
  DWORD bytes;
};

// POINT (kind 519); in Size records first = width, second = length (0.1 mm).
struct DDD_POINT {
  WORD first;
  WORD second;
};

// A devmode value in memory. data points into the file image (owned FALSE)
// or at a block the reader allocated (owned TRUE). For type 6 data is a
// NUL-terminated wide string and size its byte count with the NUL. count is
// 1, or the element count after a grouped value has been expanded (size then
// is the size of one element). No payload: data null, size 0.
struct DDD_VALUE {
  WORD type;
  WORD size;
  WORD count;
  BOOL owned;
  void* data;
};

// ITEM (kind 517) and ITEM with connective (kind 521).
struct DDD_ITEM {
  DDD_HEAD head;
  WORD ddmId;
  BYTE op;
  BYTE connective;  // kind 521 only
  WORD count;
  BOOL hasValue;  // the value carries a payload
  DDD_VALUE value;
};

struct DDD_ITEMLIST {
  WORD count;
  DDD_ITEM* items;
};

struct DDD_IDLIST {
  WORD count;
  WORD* ids;
};

struct DDD_STRINGLIST {
  WORD count;
  DDD_STRING* strings;
};

// ImStruct (kind 518).
struct DDD_IMSTRUCT {
  WORD x;
  WORD y;
  WORD imageId;
};

// Indexed tray (kind 526).
struct DDD_INDEXEDTRAY {
  WORD first;
  WORD second;
  WORD third;
};

// Type-size-value (kind 527): a payload of at most 4 bytes is copied into
// value (zero-filled behind it); a string (type 6) is held in string.
struct DDD_TSV {
  WORD type;
  WORD size;
  BYTE value[4];
  LPWSTR string;
  BOOL owned;  // string is the reader's allocation
};

struct DDD_TSVLIST {
  WORD count;
  DDD_TSV* values;
};

// Kind 1.
struct DDD_FILEINFO {
  DDD_HEAD head;
  LPWSTR headerText;
  LPWSTR modelName;
  LPWSTR refFileName;
  WORD versionA;
  WORD versionB;
  WORD versionC;
  LONG formatVersion;
};

// Kinds 3 and 4.
struct DDD_OPTION {
  DDD_HEAD head;
  DDD_STRING name;
  WORD selectMethod;
  WORD defaultItem;  // 1-based position in items
  WORD firstRef;
  DDD_IDLIST items;  // OptionItem ids (category 13 for kind 3, 14 for kind 4)
  DDD_IDLIST list2;
  DDD_IDLIST list3;
  WORD iconId;
  DDD_STRING name2;  // format version 1024 and later
};

// Kinds 13 and 14.
struct DDD_OPTIONITEM {
  DDD_HEAD head;
  DDD_STRING name;
  WORD refCategory;
  WORD refId;
  WORD areaId;        // full read only
  DDD_IDLIST list1;   // full read only
  DDD_IDLIST list2;   // full read only
  DDD_VALUE value;
  WORD iconId;
};

// Kinds 5 and 6.
struct DDD_TRAY {
  DDD_HEAD head;
  DDD_STRING name;
  WORD sizeId;
  WORD nrvArg;
  DDD_IDLIST papers;
  DDD_IDLIST feeds;
  BYTE duplex;        // format version 512 and later
  DDD_STRING name2;   // format version 1024 and later
  DDD_POINT lower;    // from the Size record sizeId
  DDD_POINT upper;
};

// Kind 17.
struct DDD_SIZE {
  DDD_HEAD head;
  DDD_POINT lower;
  DDD_POINT upper;
};

// Kind 10.
struct DDD_PAPER {
  DDD_HEAD head;
  DDD_STRING name;
  WORD paperClass;
  WORD sizeId;
  WORD imageableId;
  WORD marginId;
  WORD portraitArg;
  WORD field2;
  BYTE duplex;          // format version 512 and later
  WORD duplexSizeId;    // format version 512 and later, else 0
  WORD additionalFlag;  // format version 1280 and later
  DDD_POINT paperLower;
  DDD_POINT paperUpper;
  DDD_POINT imageableLower;
  DDD_POINT imageableUpper;
  DDD_POINT marginFirst;
  DDD_POINT marginSecond;
  DDD_POINT duplexLower;  // when duplexSizeId is not 0
  DDD_POINT duplexUpper;
};

// Kinds 7 and 8.
struct DDD_CONSTRAINTS {
  DDD_HEAD head;
  DDD_ITEM target;
  WORD field;
  DDD_STRING message;
  DDD_ITEMLIST conditions;  // with connectives
  DDD_ITEMLIST solutions;
};

// Kind 9.
struct DDD_IMCONDITION {
  DDD_HEAD head;
  DDD_ITEMLIST conditions;
  DDD_IMSTRUCT image;
};

// Kind 12. bitmap (full read only) is the packed bitmap: the stored bitmap
// file less its 14-byte file header.
struct DDD_IMAGE {
  DDD_HEAD head;
  BYTE imageKind;
  WORD width;
  WORD height;
  DWORD bitmapSize;
  BYTE* bitmap;
};

// Kind 11.
struct DDD_FONT {
  DDD_HEAD head;
  DDD_STRING name;
  DDD_STRING name2;
  DDD_STRINGLIST substNames;
  DDD_STRINGLIST names2;
  DWORD xfmSize;  // full read only
  BYTE* xfm;
  WORD additionalFlag;
  DDD_TSVLIST extra;  // format version 1024 and later
};

// Kind 15.
struct DDD_EJCL {
  DDD_HEAD head;
  WORD hintId;
  DDD_ITEMLIST conditions;
  DDD_STRING command;
  DDD_STRING argument;
  WORD additionalFlag;  // format version 1280 and later
};

// Kind 16.
struct DDD_NRV {
  DDD_HEAD head;
  DDD_ITEMLIST conditions;
  BYTE byte1;
  BYTE byte2;
  WORD dataSize;
  BYTE* data;
};

// Kind 522.
struct DDD_ICONBYTES {
  DDD_HEAD head;
  WORD size;
  BYTE* data;
};

// Kind 18.
struct DDD_ICON {
  DDD_HEAD head;
  DDD_ICONBYTES* bytes;
};

// Kind 19.
struct DDD_PAPERTYPE {
  DDD_HEAD head;
  DDD_STRING name;
  BYTE duplex;
  DDD_STRING name2;  // format version 1024 and later
};

// Kind 20. data points into the file image.
struct DDD_GROUPED {
  DDD_HEAD head;
  WORD field1;
  WORD elemType;
  WORD elemSize;
  WORD elemCount;
  const BYTE* data;
};

struct DDD_FAVENTRY {
  WORD ddmId;
  DDD_TSV value;
};

// Kind 21.
struct DDD_FAVORITE {
  DDD_HEAD head;
  DDD_STRING name;
  WORD count;
  DDD_FAVENTRY* entries;
};

// Kind 22.
struct DDD_ADCQUERY {
  DDD_HEAD head;
  WORD field1;
  WORD field2;
  WORD valueType;
  WORD valueSize;  // 4 for value type 1
  WORD field3;
  WORD additionalFlag;
  WORD field4;
  DDD_STRINGLIST queries;
  DDD_TSVLIST extra;
};

// Kind 23.
struct DDD_TRAYINDEX {
  DDD_HEAD head;
  DDD_ITEMLIST conditions;
  WORD count;
  DDD_INDEXEDTRAY* entries;
};

// Kind 523: what the user interface shows for a feature or one of its items.
struct DDD_GUIDATA {
  DDD_HEAD head;
  LPWSTR name;
  void* value;  // allocated copy, or null
  WORD valueType;
  WORD valueSize;
  DDD_ICONBYTES* icon;  // or null
};
