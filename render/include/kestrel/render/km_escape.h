// The renderer's escapes: the codes DrvEscape answers and the blocks they
// carry. The driver's document-event handler (kestrelui) sends the private
// codes 0x5001-0x5031 and 0x5100 to hand the job's settings to the renderer
// and to ask it for page information; applications use QUERYESCSUPPORT,
// SETCOPYCOUNT and GETTECHNOLOGY (kplatform/wingdi_consts.h) and the private
// gate 4209-4212, 4216.
//
// Blocks are little-endian byte records of the sender's layout; the renderer
// reads them with memcpy / kp_Load*, never by casting the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/wintypes.h"

// ---- Codes
// ---------------------------------------------------------------------
enum KmEscapeCode : ULONG {
  // The private gate (applications that know the driver).
  KM_ESC_PRIVATE_GATE = 4209,
  KM_ESC_DIRECT_IMAGE = 4210,
  KM_ESC_PAGE_COLOR_MODE = 4211,
  KM_ESC_LAYOUT = 4212,
  KM_ESC_GSB_INTERACTION = 4216,
  // The document-event handler's codes.
  KM_ESC_GET_PAGE_INFO = 0x5001,
  KM_ESC_GET_DEVMODE = 0x5002,
  KM_ESC_GETSET_STAMP_MODE = 0x5003,
  KM_ESC_SET_PAPER_OFFSET = 0x5004,
  KM_ESC_SET_DEVMODE = 0x5005,
  KM_ESC_GET_HEADER_FOOTER = 0x5006,
  KM_ESC_SET_HEADER_FOOTER = 0x5007,
  KM_ESC_GETSET_HEADER_MODE = 0x5008,
  KM_ESC_GET_IS_FAX = 0x5009,
  KM_ESC_GET_PAGE_NUMBER = 0x500A,
  KM_ESC_SET_PRINTER_DATA = 0x500B,
  KM_ESC_SET_APP_MARGIN = 0x5010,
  KM_ESC_SET_STARTDOC_FLAG = 0x5020,
  KM_ESC_SET_STATUS = 0x5021,
  KM_ESC_SET_DOC_NAME = 0x5023,
  KM_ESC_SET_FAX_ADDRESS_INFO = 0x5024,
  KM_ESC_SET_JCL_HEADER = 0x5025,
  KM_ESC_GET_PESCAPE_STATUS = 0x5028,
  KM_ESC_SET_PESCAPE_STATUS = 0x5029,
  KM_ESC_QUERY_EMFSPOOL = 0x502A,
  KM_ESC_DISABLE_FORM_FILE = 0x502B,
  KM_ESC_SET_CSDX = 0x502C,
  KM_ESC_SET_GSBDATA = 0x502D,
  KM_ESC_GET_GSBDATA = 0x502E,
  KM_ESC_SET_GSBJCID = 0x502F,
  KM_ESC_SET_GSBSTATUS = 0x5030,
  KM_ESC_SET_EXT_GSBDATA = 0x5031,
  KM_ESC_SET_LETTER_FLAG = 0x5100,
};

// GETTECHNOLOGY's answer, with its NUL.
inline constexpr char KM_TECHNOLOGY[] = "PCL6";
// QUERYESCSUPPORT's answer for GETTECHNOLOGY (the private gate's code) and
// for SETCOPYCOUNT while applications may set copies.
inline constexpr LONG KM_QUERY_GETTECHNOLOGY = 4209;
inline constexpr LONG KM_QUERY_SETCOPYCOUNT = 999;

// ---- The escape status word (PDEV::escapeStatus)
// ---------------------------------
inline constexpr DWORD KM_ESCSTATUS_POSTBLOCK_ENDED = 0x1;  // SetStatus 1 ended the StartDocPost block
inline constexpr DWORD KM_ESCSTATUS_MUTED = 0x10;           // the Set escapes that honour it store nothing

// SetStatus (0x5021) values.
inline constexpr WORD KM_SETSTATUS_BLOCK_START = 0;
inline constexpr WORD KM_SETSTATUS_BLOCK_END = 1;

// GetPageInfo (0x5001) request values.
inline constexpr DWORD KM_PAGEINFO_END_OF_PAGE = 0;
inline constexpr DWORD KM_PAGEINFO_END_OF_DOCUMENT = 1;

// GetPageInfo's answer: eleven 32-bit values. The rectangles are in device
// pixels at the resolution DDM 20.
struct KM_PAGEINFO {
  uint32_t sheetMarkDue;                           // [0] the sheet-level marking is due
  uint32_t pageMarkDue;                            // [1] the page-level marking is due
  uint32_t headerFooter;                           // [2] [0], or the job info's header/footer value when
                                                   // [0] was set
  float markLeft, markTop, markRight, markBottom;  // [3]-[6]
  float printableLeft, printableTop, printableRight,
      printableBottom;  // [7]-[10] the output paper's
};
static_assert(sizeof(KM_PAGEINFO) == 44);
static_assert(offsetof(KM_PAGEINFO, markLeft) == 12 && offsetof(KM_PAGEINFO, printableLeft) == 28);

// ---- Sizes the handlers take
// ---------------------------------------------------------
inline constexpr DWORD KM_ESC_DEVMODE_SIZE = 5440;
inline constexpr DWORD KM_ESC_PRINTERDATA_SIZE = 4736;
inline constexpr DWORD KM_ESC_PAPER_OFFSET_SIZE = 8;  // two 32-bit offsets x, y
inline constexpr DWORD KM_ESC_APP_MARGIN_SIZE = 10;   // paper id, then four margins (0.1 mm)
inline constexpr DWORD KM_ESC_PESCAPE_STATUS_SIZE = 12;
inline constexpr DWORD KM_ESC_CSDX_SIZE = 2112;
inline constexpr DWORD KM_ESC_GSBSTATUS_SIZE = 8;
inline constexpr DWORD KM_ESC_DOCNAME_CHARS = 260;  // kept without the NUL

// GetGSBDATA (0x502E) selectors.
inline constexpr WORD KM_GSBDATA_SIZE = 0;
inline constexpr WORD KM_GSBDATA_DATA = 1;

// ---- HeaderFooter (768 bytes, 0x5007 and 0x5006)
// ------------------------------------- A 32-bit value, six 16-bit presence
// words, then the items: a 128-byte block, a 64-byte name (UTF-16), the
// 522-byte document name, the 16-bit page number, a 22-byte and a 12-byte
// block. A block is taken on Set only when its first 16-bit word is not 0; on
// Get an item whose presence word is 0xFFFF is answered empty.
inline constexpr DWORD KM_HF_SIZE = 768;
inline constexpr DWORD KM_HF_VALUE = 0;
inline constexpr DWORD KM_HF_PRESENCE = 4;  // six 16-bit words, one per item in offset order
inline constexpr DWORD KM_HF_ITEMS = 6;
inline constexpr DWORD KM_HF_TEXT = 16;         // 128 bytes
inline constexpr DWORD KM_HF_NAME = 144;        // 64 bytes
inline constexpr DWORD KM_HF_DOCNAME = 208;     // 522 bytes
inline constexpr DWORD KM_HF_PAGENUMBER = 730;  // 16 bits
inline constexpr DWORD KM_HF_BLOCK4 = 732;      // 22 bytes
inline constexpr DWORD KM_HF_BLOCK5 = 754;      // 12 bytes
inline constexpr WORD KM_HF_ABSENT = 0xFFFF;
static_assert(KM_HF_BLOCK5 + 12 == 766, "the last block ends two bytes before the record's end");

// ---- JCLHeaders (0x5025)
// -------------------------------------------------------------- A 16-byte head
// (int32 entry count, int32 entry size, two int32 the spooler side fills), then
// the entries and count int32 values: (entry size + 4) x count + 16 bytes in
// all.
inline constexpr DWORD KM_JCL_HEAD_SIZE = 16;

// ---- FaxAddressInfo (0x5024)
// --------------------------------------------------------- The tag "DFAX001"
// (8 UTF-16 units with the NUL), a 16-bit entry count at 16, a 1442-byte header
// in all, then count entries of 742 bytes.
inline constexpr DWORD KM_FAX_TAG_BYTES = 16;
inline constexpr DWORD KM_FAX_COUNT_OFFSET = 16;
inline constexpr DWORD KM_FAX_HEADER_SIZE = 1442;
inline constexpr DWORD KM_FAX_ENTRY_SIZE = 742;
inline constexpr char16_t KM_FAX_TAG[] = u"DFAX001";
static_assert(sizeof(KM_FAX_TAG) == KM_FAX_TAG_BYTES);

// ---- The CreateDC devmode's trailer (5464 bytes in all)
// ------------------------------------------------------ The document-event
// handler appends it to the 5440-byte driver devmode at CreateDC and ResetDC;
// DrvEnablePDEV takes only a devmode that carries it.
inline constexpr DWORD KM_CREATEDC_SIZE = 5464;
inline constexpr DWORD KM_TRAILER_MARKER = 5440;      // uint16: 24
inline constexpr WORD KM_TRAILER_MARKER_VALUE = 24;   // the trailer's size
inline constexpr DWORD KM_TRAILER_FORM_ID = 5442;     // uint16: the devmode's form id (DDM 8)
inline constexpr DWORD KM_TRAILER_PAPER_ID = 5444;    // uint16: that form's paper id
inline constexpr DWORD KM_TRAILER_MARGINS = 5446;     // 4 x uint16: the application margins
inline constexpr DWORD KM_TRAILER_ZERO = 5454;        // uint16: 0
inline constexpr DWORD KM_TRAILER_EMULATION = 5456;   // uint32: the printer's form-database support
inline constexpr DWORD KM_TRAILER_PRECONFIG = 5460;   // uint32: pre-configuration enforces the colour mode
inline constexpr DWORD KM_CREATEDC_DRIVER_EXTRA = 5244;
static_assert(KM_TRAILER_MARKER + KM_TRAILER_MARKER_VALUE == KM_CREATEDC_SIZE);
static_assert(KM_TRAILER_PRECONFIG + 4 == KM_CREATEDC_SIZE);
static_assert(KM_TRAILER_MARGINS + 4 * 2 == KM_TRAILER_ZERO);
// The margin words of the trailer and of SetAppMargin when none is known.
inline constexpr WORD KM_DEFAULT_APP_MARGIN = 46;
inline constexpr WORD KM_DEFAULT_APP_MARGIN_PAPER = 256;

// ---- SetAppMargin (0x5010, 10 bytes)
struct KM_APPMARGIN {
  uint16_t paperId;
  uint16_t margin[4];  // in the order the trailer carries them
};
static_assert(sizeof(KM_APPMARGIN) == KM_ESC_APP_MARGIN_SIZE);
static_assert(offsetof(KM_APPMARGIN, margin) == 2);

// ---- SetDocName (0x5023): 261 UTF-16 units, NUL-terminated
inline constexpr DWORD KM_ESC_DOCNAME_SIZE = 522;
static_assert(KM_ESC_DOCNAME_SIZE == (KM_ESC_DOCNAME_CHARS + 1) * 2);

// ---- The sender's items of the header/footer block (768 bytes)
// The sender clears the twelve bytes at 4 (the renderer keeps its presence
// words there) and writes each item that is on; an item that is off has its
// first character cleared. The document name is written with at most 260
// characters and its NUL, so the renderer's page-number word at 730 stays 0.
inline constexpr DWORD KM_HF_USERNAME = KM_HF_TEXT;            // 64 UTF-16, at most 63 characters
inline constexpr DWORD KM_HF_USERNAME_CHARS = 64;
inline constexpr DWORD KM_HF_USERHOST = KM_HF_NAME;            // 32 UTF-16, at most 31 characters
inline constexpr DWORD KM_HF_USERHOST_CHARS = 32;
inline constexpr DWORD KM_HF_DOCUMENT = KM_HF_DOCNAME;         // 262 UTF-16 units up to the date
inline constexpr DWORD KM_HF_DOCUMENT_CHARS = 261;             // as written: 260 and the NUL
inline constexpr DWORD KM_HF_DATE = KM_HF_BLOCK4;              // 11 UTF-16
inline constexpr DWORD KM_HF_DATE_CHARS = 11;
inline constexpr DWORD KM_HF_TIME = KM_HF_BLOCK5;              // 7 UTF-16
inline constexpr DWORD KM_HF_TIME_CHARS = 7;
static_assert(KM_HF_USERNAME + KM_HF_USERNAME_CHARS * 2 == KM_HF_USERHOST);
static_assert(KM_HF_USERHOST + KM_HF_USERHOST_CHARS * 2 == KM_HF_DOCUMENT);
static_assert(KM_HF_DOCUMENT + 262 * 2 == KM_HF_DATE);
static_assert(KM_HF_DOCUMENT + KM_HF_DOCUMENT_CHARS * 2 == KM_HF_PAGENUMBER);
static_assert(KM_HF_DATE + KM_HF_DATE_CHARS * 2 == KM_HF_TIME);
static_assert(KM_HF_TIME + KM_HF_TIME_CHARS * 2 <= KM_HF_SIZE);

// ---- CSDX (0x502C, 2112 bytes): four UTF-16 texts
inline constexpr DWORD KM_CSDX_COMPUTER = 0;     // 261 units
inline constexpr DWORD KM_CSDX_DOCUMENT = 522;   // at most 260 characters
inline constexpr DWORD KM_CSDX_USER = 1076;      // 257 units with the NUL
inline constexpr DWORD KM_CSDX_PRINTER = 1590;   // at most 260 characters
inline constexpr DWORD KM_CSDX_COMPUTER_CHARS = 261;
inline constexpr DWORD KM_CSDX_DOCUMENT_CHARS = 260;
inline constexpr DWORD KM_CSDX_USER_CHARS = 256;    // 257 units with the NUL
inline constexpr DWORD KM_CSDX_PRINTER_CHARS = 260;
static_assert(KM_CSDX_COMPUTER + KM_CSDX_COMPUTER_CHARS * 2 == KM_CSDX_DOCUMENT);
static_assert(KM_CSDX_DOCUMENT + (KM_CSDX_DOCUMENT_CHARS + 1) * 2 <= KM_CSDX_USER);
static_assert(KM_CSDX_USER + (KM_CSDX_USER_CHARS + 1) * 2 <= KM_CSDX_PRINTER);
static_assert(KM_CSDX_PRINTER + (KM_CSDX_PRINTER_CHARS + 1) * 2 <= KM_ESC_CSDX_SIZE);

// ---- JCLHeaders (0x5025): the head, then entry i at 16 + i x entry size
// (a uint32 byte count, then the header text), then count int32 values at
// 16 + count x entry size. The sent size is (entry size + 4) x count + 16.
struct KM_JCL_HEAD {
  int32_t count;
  int32_t entrySize;
  uint32_t entries;  // the sender's address of the first entry: nothing to the receiver
  uint32_t values;   // the sender's address of the values: nothing to the receiver
};
static_assert(sizeof(KM_JCL_HEAD) == KM_JCL_HEAD_SIZE);
static_assert(offsetof(KM_JCL_HEAD, entrySize) == 4 && offsetof(KM_JCL_HEAD, values) == 12);
inline constexpr DWORD KM_JCL_ENTRY_COUNT_BYTES = 4;  // the byte count before each header text
// The sent size in 64 bits (no count or entry size can wrap it).
inline constexpr uint64_t KM_JCL_TableSize(uint64_t count, uint64_t entrySize) {
  return (entrySize + 4) * count + KM_JCL_HEAD_SIZE;
}
inline constexpr uint64_t KM_JCL_EntryOffset(uint64_t index, uint64_t entrySize) {
  return KM_JCL_HEAD_SIZE + index * entrySize;
}
inline constexpr uint64_t KM_JCL_ValueOffset(uint64_t index, uint64_t count, uint64_t entrySize) {
  return KM_JCL_HEAD_SIZE + count * entrySize + index * 4;
}
static_assert(KM_JCL_ValueOffset(2, 3, 100) + 4 == KM_JCL_TableSize(3, 100));

// ---- SetGSBJCID (0x502F): one record a copy
inline constexpr DWORD KM_GSBJCID_RECORD = 64;        // the document monitor's job record
inline constexpr DWORD KM_GSBJCID_ENTRY = 4 + KM_GSBJCID_RECORD;  // copy number (from 1), record

// ---- The private gate (4209-4212, 4216): what an application sends and
// what it is answered (the renderer's side is render/km/pesc.h).
// Function ids of the table.
enum : WORD {
  PESC_FUNC_GATE = 4353,
  PESC_FUNC_DIRECT_IMAGE = 4354,
  PESC_FUNC_COLOR_MODE = 4355,
  PESC_FUNC_LAYOUT = 4356,
  PESC_FUNC_4213 = 4357,
  PESC_FUNC_4215_A = 4358,
  PESC_FUNC_4215_B = 4359,
};

// Gate functions of 4209.
enum : WORD {
  PESC_GATE_ON = 1,
  PESC_GATE_OFF = 2,
  PESC_GATE_FUNCINFO = 3,
  PESC_GATE_CHECK = 25989,
};
// Function 25989's answer: the bytes "EPNZ" read little-endian.
inline constexpr DWORD PESC_GATE_SIGNATURE = 0x5A4E5045;
inline constexpr DWORD PESC_GATE_RECORD_SIZE = 8;     // 4209's input: size, function, argument
inline constexpr DWORD PESC_FUNCINFO_SIZE = 18;       // function 3's output

// Page colour mode codes of 4211.
enum : WORD {
  PESC_COLOR_ON = 4609,    // the application sets the colour mode (mode 0)
  PESC_COLOR_OFF = 4610,
  PESC_COLOR_MODE1 = 4611,
  PESC_COLOR_MODE2 = 4612,
  PESC_COLOR_MODE0 = 4613,
};

// Layout selectors and arguments of 4212.
enum : WORD {
  PESC_LAYOUT_GET_DUPLEX = 4865,
  PESC_LAYOUT_SET_DUPLEX = 4866,
  PESC_LAYOUT_GET_NUP = 4867,
  PESC_LAYOUT_SET_NUP = 4868,
  PESC_DUPLEX_SIMPLEX = 4881,
  PESC_DUPLEX_KIND2 = 4882,
  PESC_DUPLEX_KIND3 = 4883,
  PESC_DUPLEX_CLEAR = 4884,
};
inline constexpr DWORD PESC_LAYOUT_RECORD_SIZE = 8;

// Results.
enum : LONG {
  PESC_OK = 1,
  PESC_UNAVAILABLE = 0,
  PESC_FAIL = -1,
  PESC_BAD_FUNCTION = -2,
  PESC_BAD_SELECTOR = -3,
  PESC_BAD_SIZE = -4,
  PESC_BAD_ARGUMENT = -5,
  PESC_NOT_NOW = -6,
};

// ---- 4210's block (little-endian, addressed by offsets from its start) ----
inline constexpr DWORD PESC_DBLT_HEAD = 4;           // the block's 32-bit total size
inline constexpr DWORD PESC_DBLT_PIECE_SIZE = 36;    // the piece header, at offset 4
inline constexpr DWORD PESC_DBLT_DEST_SIZE = 32;     // the destination record
inline constexpr DWORD PESC_BMIH_SIZE = 40;          // BITMAPINFOHEADER
inline constexpr DWORD PESC_DBLT_CLIP_SIZE = 8;      // x, y, width, height (16 bits each)
// Offsets in the piece header (from the block's start).
inline constexpr DWORD PESC_PIECE_DEST = 8;          // offset of the destination record
inline constexpr DWORD PESC_PIECE_JPEG_TOTAL = 12;
inline constexpr DWORD PESC_PIECE_OFFSET = 16;       // this piece's offset within the JPEG
inline constexpr DWORD PESC_PIECE_BYTES = 20;
inline constexpr DWORD PESC_PIECE_ID = 24;
inline constexpr DWORD PESC_PIECE_ROTATION = 26;
inline constexpr DWORD PESC_PIECE_CLIP = 36;         // offset of the clip rectangle, 0: none
static_assert(PESC_PIECE_CLIP + 4 == PESC_DBLT_HEAD + PESC_DBLT_PIECE_SIZE);
// Offsets in the destination record.
inline constexpr DWORD PESC_DEST_X = 4, PESC_DEST_Y = 6, PESC_DEST_W = 8, PESC_DEST_H = 10;
inline constexpr DWORD PESC_DEST_ZERO1 = 12, PESC_DEST_ZERO2 = 14;
inline constexpr DWORD PESC_DEST_SRC_W = 16, PESC_DEST_SRC_H = 18;
inline constexpr DWORD PESC_DEST_JPEG = 20, PESC_DEST_BMIH = 24, PESC_DEST_ROP = 28;
static_assert(PESC_DEST_ROP + 4 == PESC_DBLT_DEST_SIZE);
// Offsets in the bitmap header.
inline constexpr DWORD PESC_BMIH_WIDTH = 4, PESC_BMIH_HEIGHT = 8, PESC_BMIH_COMPRESSION = 16;
inline constexpr DWORD PESC_BI_JPEG = 4;             // the header's compression: JPEG
inline constexpr DWORD PESC_ROP_SRCCOPY = 0xCC0020;  // the only ROP 4210 draws with
inline constexpr DWORD PESC_PIECE_MAX = 65280;       // the largest part written at once
inline constexpr WORD PESC_IMAGE_ID_MAX = 0x3FFF;    // ids wrap from above this to 1

