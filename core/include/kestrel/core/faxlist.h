// The fax address list ("DFAX001": a 1442-byte header and 742-byte
// recipient entries; its size rule is nonDev_FaxListNeeded in
// kestrel/core/nondev.h) and the fax job attribute line of one recipient,
// "@FANU=" (plain) or "@FAEN=" (mailbox password and P code scrambled),
// optionally framed as "@PJL SET JOBATTR=" "...". User mode only.
//
// List (little-endian): 0 tag (8 UTF-16 units with the NUL), 16 entry count
// (16-bit), 18 first header text (82 bytes), 100 second header text (1342
// bytes), 1442 the entries. Entry: the offsets below; the bytes between
// them belong to the user interface and are carried unchanged.
//
// Decisions (sound behaviour):
//  - CreateFaxAddressInfoFromMem keeps a list only when its tag is there
//    and the block holds at least 1442 + 742 x count bytes; a list whose
//    count claims more entries than the block holds is refused and freed.
//    Bytes behind the last entry are kept with the copy.
//  - The text fields of an entry are fixed-size UTF-16 arrays: each is read
//    within its size, and a field without a NUL ends at the field's end.
//  - Characters below 0x20 and 0x7F in a field become blanks, and with PJL
//    framing a double quote becomes an apostrophe, so a recipient cannot end
//    the line or the quoted value early.
#pragma once

#include <cstddef>

#include "kplatform/wintypes.h"

#define FAXLIST_HEAD_SIZE 1442u
#define FAXLIST_ENTRY_SIZE 742u

// Entry fields read here (offset, bytes).
#define FAXENTRY_KIND 0u               // 16-bit, 1 = short-number entry
#define FAXENTRY_NUMBER 2u             // 258, UTF-16
#define FAXENTRY_NUMBER_BYTES 258u
#define FAXENTRY_PREFIX_SELECTOR 260u  // 16-bit: 2 first prefix, 1 second, other none
#define FAXENTRY_COM_MODE 510u         // 16-bit: 0, 1, 2
#define FAXENTRY_SEND_OPTION 512u      // 16-bit: 1 mailbox, 2 relay
#define FAXENTRY_MAILBOX 514u          // 16-bit
#define FAXENTRY_PASSWORD 516u         // 18, UTF-16
#define FAXENTRY_PASSWORD_BYTES 18u
#define FAXENTRY_RELAY_STATION 534u    // 16-bit
#define FAXENTRY_RELAY_FLAG 536u       // 16-bit, 1 = set
#define FAXENTRY_RELAY_NUMBERS 538u    // 120, UTF-16, comma-separated
#define FAXENTRY_RELAY_NUMBERS_BYTES 120u
#define FAXENTRY_FCODE 658u            // 42, UTF-16
#define FAXENTRY_PCODE 700u            // 42, UTF-16
#define FAXENTRY_CODE_BYTES 42u

#define FAXENTRY_KIND_SHORT_NUMBER 1
#define FAXENTRY_SEND_MAILBOX 1
#define FAXENTRY_SEND_RELAY 2

// GetFANUString's forms.
#define FANU_FORM_PLAIN 1    // "@FANU="
#define FANU_FORM_ENCODED 2  // "@FAEN="

// Limits of one line: sections 0-4 count at most 128, sections 5-6 at most
// 46, the relay short-number code at most 80 characters.
#define FANU_MAIN_LIMIT 128
#define FANU_CODE_LIMIT 46
#define FANU_RELAY_LIMIT 80

// The line settings the EJCL writer fills from DDM 5141-5145.
struct FAX_LINE_SETTINGS {
  DWORD value;          // not read here
  WCHAR prefix1[6];     // DDM 5141 (six units, NUL-terminated when shorter)
  WORD prefix1Flag;     // DDM 5142
  WCHAR prefix2[6];     // DDM 5143
  WORD prefix2Flag;     // DDM 5144
  WORD noPrefixFlag;    // DDM 5145
};

// block given: a new copy (kcore_Alloc) of its `size` bytes; none: the list
// stored as printer data "FaxSendList" of `printer`. Null when the copy
// cannot be made or is not a whole list (above). *count (optional) gets the
// entry count of a list kept, else 0.
void* CreateFaxAddressInfoFromMem(HANDLE printer, DWORD reserved, DWORD size, const void* block, WORD* count);
// Copies the 1442-byte header: 1, or 0 for a null list or header.
BOOL GetFaxAddressHeaderInfo(const void* list, void* header);
// Copies entry `index` (0-based) when index < count: 1, else 0.
BOOL GetFaxAddressData(const void* list, WORD index, void* entry);
// kind 0: the header; other kinds: entry `index` when index < count.
BOOL GetAddressDataPointer(WORD kind, const void* list, WORD index, const void** pointer);
// Frees the list; always 1.
BOOL DeleteFaxAddressInfo(void* list);

// One attribute line in the ANSI code page, CR LF ended, no NUL counted (one
// is stored behind the text when the capacity leaves room). 1 on success;
// 0 on failure with *length -1 (a recipient too long for the limits, or
// whose sections do not fit the bounded code buffer) or 0 (capacity below
// the line, a bad argument, a section that cannot be made). Without text
// the call answers 1 with *length the counted main length.
BOOL GetFANUString(int form, const void* entry, const FAX_LINE_SETTINGS* settings, int capacity, BOOL pjlFraming,
                   BOOL encodedInput, char* text, int* length);
