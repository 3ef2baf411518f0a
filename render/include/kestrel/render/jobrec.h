// The job records: job information (1348 bytes), layout information (176)
// and page control (148). The renderer builds them from the devmode and the
// printer-data record at the first page of the job, keeps them current while
// it renders, and sends them in band with commands 153, 154 and 155
// (xl_ic_setjobinfo, xl_ic_setlayoutinfo, xl_ic_setpagectrl take their
// bytes). The spooler side copies them into its job context. Both sides run
// the same code, so these structures ARE the wire format: little-endian,
// fixed-width members, offsets as asserted below, no padding but the named
// reserved bytes. Every member lies on its natural alignment, so the
// structures need no packing; a record received as bytes is read with
// jobrec_Load* (memcpy), never by casting the byte buffer.
//
// Settings are read by DDM id only (ddm_GetValue, kernel rules); ids 4097
// and above come from the printer-data record.
//
// Results: JOBREC_OK, JOBREC_ERR_ARG (a null record, devmode or device
// description), JOBREC_ERR_VALUE (a setting outside its listed values, or a
// setting that cannot be read; *badDdmId names it, 0 for the PDL version).
// A failed build leaves the caller's record untouched: the job does not
// start.
//
// Decisions:
//  - The device capabilities come from the device description as one bit
//    word (JOBREC_DEVICE::capabilities). The bits with values of their own
//    (0x400, 0x10000, 0x40000, 0x4000000) keep them; the capabilities that
//    have no value of their own take the free low bits JOBREC_CAP_*.
//  - Job information offset 1276 (the printer handle given at job enable) is
//    a 32-bit wire field holding the handle's 32-bit value: handles are
//    32-bit significant and the receiver widens it with sign extension
//    (jobrec_HandleFromWire). A handle whose value does not survive that
//    round trip (a plain 64-bit address) is stored as 0, "no handle", and
//    jobInfo_setPrinterHandle answers FALSE; it is never cut to 32 bits.
//  - "The PDL version supports it" (offsets 120 and 124, and the value 2 of
//    the leading-white-page mode): supported from PCL XL class 2.1, version
//    0x02010000. Version 0x02000000 gives -1 at 120/124 and mode 0.
//  - The few-colour value (offset 28) is taken and checked only with the
//    few-colour mode on, like the limit at 24: bits 8-11 of DDM 5126 must
//    then be 0 or 1, anything else refuses the job.
//  - Offsets 1304-1343 (DDM 1834-1853) are filled only when offset 1296 is 1.
//  - The poster parts at 52/54 are 0 without poster (the layout information
//    carries 1 x 1 then); DDM 296 is checked only with poster.
//  - A setting used only under a condition (DDM 267, 263, 296, 446, 322) is
//    checked only when that condition holds: a stale value of a mode that is
//    off does not stop the job.
//  - Layout offsets 124 and 126 both take DDM 20 (one square resolution).
//  - Layout offsets 0-67 (papers), 96 (input tray) and 152-161 (application
//    margins) belong to the job-start paper steps and the margin escape;
//    the builder keeps what the record holds there.
//  - Members whose role is not settled yet are named after the DDM id they
//    carry (member1320Set holds DDM_MEMBER_1320), so no name claims a
//    meaning that nothing fixes; the page control's page-flow words are
//    named after the steps that own them.
//  - Every page counter saturates at 0xFFFF instead of wrapping.
//  - End of the job counts the open sheet whenever one of its faces was
//    printed (side not 0); counting it only at side 1 would drop the last
//    sheet of a duplex job with an even page count. A copy count below 1
//    multiplies by 1.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "kplatform/engine_ddi.h"
#include "kplatform/wintypes.h"

static_assert(std::endian::native == std::endian::little, "the job records are little-endian");

#define JOBREC_OK 0
#define JOBREC_ERR_ARG (-1)
#define JOBREC_ERR_VALUE (-2)

constexpr DWORD JOBREC_PDL_MIN = 0x02000000;
constexpr DWORD JOBREC_PDL_MAX = 0x02010000;

// Device capabilities.
constexpr DWORD JOBREC_CAP_LEADING_WHITE = 0x1;       // leading-white page selected by DDM 404 (offset 136)
constexpr DWORD JOBREC_CAP_FEATURE_405 = 0x2;         // DDM 405 honoured (offset 1292)
constexpr DWORD JOBREC_CAP_FEATURE_406 = 0x4;         // DDM 406 honoured (offset 1296)
constexpr DWORD JOBREC_CAP_JOBTYPE_NO_MARGIN = 0x8;   // job type 3 clears the margin position (layout 76)
constexpr DWORD JOBREC_CAP_BOOKLET_UNIT = 0x400;      // without it the booklet starts with option 1
constexpr DWORD JOBREC_CAP_DRIVER_COLLATE = 0x10000;  // the driver makes collated copies
constexpr DWORD JOBREC_CAP_TRAILER_JOBINFO = 0x40000; // the trailer carries the job-information comment
constexpr DWORD JOBREC_CAP_BOOKLET_COUNT = 0x4000000; // booklet page count in the job header

struct JOBREC_DEVICE {
  DWORD pdlVersion;    // 0x02000000 to 0x02010000
  DWORD capabilities;  // JOBREC_CAP_*
};

constexpr size_t JOBREC_NAME_CHARS = 260;  // document and output name, without the NUL

struct JOBINFO {
  uint32_t pdlVersion;          // 0
  uint8_t reserved4[8];         // 4
  int32_t colorMode;            // 12
  int32_t colorModeAuto;        // 16
  int32_t fewColorEnable;       // 20
  int32_t fewColorLimit;        // 24
  int32_t fewColorValue;        // 28
  uint16_t sides;               // 32
  uint16_t nup;                 // 34
  uint8_t reserved36[4];        // 36
  int32_t skipBlankPages;       // 40
  uint8_t reserved44[4];        // 44
  int32_t poster;               // 48
  uint16_t posterAcross;        // 52
  uint16_t posterDown;          // 54
  int32_t posterCropMarks;      // 56
  int32_t booklet;              // 60
  int32_t bookletKind;          // 64
  int32_t bookletValue;         // 68
  int32_t bookletOption;        // 72
  int32_t bookletShift;         // 76
  int32_t bookletCountInHeader; // 80
  int32_t stampOnFirst;         // 84
  int32_t stampOnAll;           // 88
  int32_t stampValue1;          // 92
  int32_t stampValue2;          // 96
  int32_t sameOutputSize;       // 100: the output size is the original's (single pages only)
  int32_t onePagePerSheet;      // 104: neither N-up nor booklet
  // 108-119. The job-information comment reads 112 as "duplex by side"
  // (then it takes page-control byte 140); no step of the renderer sets it,
  // so the comment's duplex comes from the layout's binding (byte 72), which
  // is what a duplex job has.
  uint8_t reserved108[12];      // 108
  int32_t cureDrawModeA;        // 120: xl_setcuredrawmode's a, -1 before PCL XL 2.1
  int32_t cureDrawModeB;        // 124: xl_setcuredrawmode's b, -1 before PCL XL 2.1
  int32_t formRegistration;     // 128
  int32_t formOverlay;          // 132
  int32_t leadingWhiteMode;     // 136
  int32_t headerFooter;         // 140
  uint16_t headerFooterItems[6];// 144
  int32_t alwaysOne;            // 156
  uint16_t stapleEdge;          // 160
  uint16_t punchEdge;           // 162
  int32_t edgeToEdge;           // 164
  int32_t appMargins;           // 168: the application's margins replace the paper's
  uint16_t copies;              // 172
  uint8_t reserved174[2];       // 174
  int32_t storeAllPages;        // 176
  int32_t driverCollate;        // 180
  int32_t reverseOrder;         // 184
  int32_t securityMarking;      // 188
  int32_t leadingWhiteValue;    // 192
  int32_t orientationComment;   // 196
  uint8_t reserved200[12];      // 200
  int32_t trailerJobInfo;       // 212
  int32_t collate;              // 216
  int32_t member1320Set;        // 220: DDM_MEMBER_1320 is 1
  int32_t jobType;              // 224
  int32_t member1313Mode;       // 228: 0 without DDM_MEMBER_1313, else 1 or 2 by DDM_MEMBER_441
  char16_t documentName[JOBREC_NAME_CHARS + 1];  // 232
  char16_t outputName[JOBREC_NAME_CHARS + 1];    // 754
  uint32_t printerHandle;       // 1276
  int32_t alwaysZero;           // 1280
  uint8_t reserved1284[8];      // 1284
  int32_t feature405;           // 1292
  int32_t feature406;           // 1296
  uint16_t insertSheet2Value;   // 1300
  uint16_t insertSheet3Value;   // 1302
  int16_t feature406Values[20]; // 1304
  int32_t captureExtension;     // 1344
};
static_assert(sizeof(JOBINFO) == 1348);
static_assert(offsetof(JOBINFO, colorMode) == 12 && offsetof(JOBINFO, sides) == 32 && offsetof(JOBINFO, nup) == 34);
static_assert(offsetof(JOBINFO, skipBlankPages) == 40 && offsetof(JOBINFO, posterAcross) == 52);
static_assert(offsetof(JOBINFO, bookletCountInHeader) == 80 && offsetof(JOBINFO, cureDrawModeA) == 120);
static_assert(offsetof(JOBINFO, headerFooterItems) == 144 && offsetof(JOBINFO, stapleEdge) == 160);
static_assert(offsetof(JOBINFO, copies) == 172 && offsetof(JOBINFO, storeAllPages) == 176);
static_assert(offsetof(JOBINFO, trailerJobInfo) == 212 && offsetof(JOBINFO, member1313Mode) == 228);
static_assert(offsetof(JOBINFO, documentName) == 232 && offsetof(JOBINFO, outputName) == 754);
static_assert(offsetof(JOBINFO, printerHandle) == 1276 && sizeof(JOBINFO::printerHandle) == 4);
static_assert(offsetof(JOBINFO, feature405) == 1292 && offsetof(JOBINFO, insertSheet2Value) == 1300);
static_assert(offsetof(JOBINFO, feature406Values) == 1304 && offsetof(JOBINFO, captureExtension) == 1344);

// A paper record of the layout information (32 bytes, lengths in 0.1 mm),
// written by the job-start paper steps (_getInputPaper, _getOutputPaper) and
// read at fixed offsets by the page matrices and GetPageInfo.
//
// Decisions (no single place fixed the whole record):
//  - Both records (input at layout offset 0, output at 36) share this shape:
//    paper code, width, height, imageable width and height, left and top
//    offsets, the orientation flag at 14, the duplex flag at 16, and the
//    four margins left, right, top, bottom at 18-24; 26-31 are reserved.
//    So the output record's orientation and duplex flags lie at layout
//    offsets 50 and 52, and its imageable area's left and top at 46 and 48:
//    the output area's origin is read from 46 and 48 alone (subtracting the
//    flags at 50 and 52 from it would move the area by a flag's value).
//  - paperCode is the paper id (DMPAPER_* or the description data's id); the
//    printer's media code of command 138 comes from the description's paper
//    record when the page starts.
//  - The orientation flag is 1 when the job's orientation (DDM 7) is
//    landscape (2), else 0; width and height are those of the form, already
//    exchanged for a turned paper.
//  - The duplex flag is the description's answer for this paper and size:
//    1 when the paper can be printed on both sides (a paper capable only
//    within a size range counts when the size lies in it), else 0.
//  - Layout offset 32, between the records, is the landscape-output flag
//    (the orientation flag of the input record); it is also the "paper
//    value" kept with each stored page (XL_PAGE_ELEMENT_SIZE: the first
//    eight int32 and that value).
struct JOBREC_PAPER {
  uint16_t paperCode;        // 0
  int16_t width;             // 2
  int16_t height;            // 4
  int16_t imageableWidth;    // 6
  int16_t imageableHeight;   // 8
  int16_t left;              // 10: (width - imageable width + 1) / 2
  int16_t top;               // 12: (height - imageable height + 1) / 2
  int16_t landscape;         // 14
  int16_t duplex;            // 16
  int16_t marginLeft;        // 18
  int16_t marginRight;       // 20
  int16_t marginTop;         // 22
  int16_t marginBottom;      // 24
  uint8_t reserved26[6];     // 26
};
static_assert(sizeof(JOBREC_PAPER) == 32);
static_assert(offsetof(JOBREC_PAPER, width) == 2 && offsetof(JOBREC_PAPER, left) == 10);
static_assert(offsetof(JOBREC_PAPER, landscape) == 14 && offsetof(JOBREC_PAPER, duplex) == 16);
static_assert(offsetof(JOBREC_PAPER, marginLeft) == 18 && offsetof(JOBREC_PAPER, marginBottom) == 24);

// The input tray record at layout offset 96: the tray id (the devmode's
// default source, DDM 13) and the printer's media source for it (the
// description's tray record; 0 when the tray has none).
struct JOBREC_TRAY {
  uint16_t trayId;
  uint8_t mediaSource;
  uint8_t reserved3;
};
static_assert(sizeof(JOBREC_TRAY) == 4);

// The halving flag and the cell-rotation flag of the page matrices are
// gridTurned (108: N-up 2, 8 and 32 halve the sheet) and paperTurned (120:
// the cell is turned against the sheet).
struct LAYOUTINFO {
  JOBREC_PAPER inputPaper;      // 0
  int32_t landscapeOutput;      // 32
  JOBREC_PAPER outputPaper;     // 36
  int32_t rotate180Kind;        // 68: 0-3
  int32_t binding;              // 72
  int32_t marginPosition;       // 76
  uint16_t margin1;             // 80
  uint16_t margin2;             // 82
  int32_t zoomOn;               // 84
  uint16_t zoomPercent;         // 88
  uint8_t reserved90[2];        // 90
  int32_t member1283Set;        // 92: DDM_MEMBER_1283, 0 with zoom on
  JOBREC_TRAY inputTray;        // 96
  int32_t pageOrder;            // 100: 0-6
  uint16_t nup;                 // 104
  uint8_t reserved106[2];       // 106
  int32_t gridTurned;           // 108
  uint16_t gridColumns;         // 112
  uint16_t gridRows;            // 114
  int32_t orientation;          // 116
  int32_t paperTurned;          // 120
  uint16_t resolutionX;         // 124
  uint16_t resolutionY;         // 126
  int32_t booklet1291;          // 128
  int32_t booklet1292;          // 132
  int32_t booklet324;           // 136
  int32_t bookletDirection;     // 140
  uint16_t posterAcross;        // 144
  uint16_t posterDown;          // 146
  int32_t member382;            // 148: DDM_MEMBER_382 when 1-4, else 0
  // 152: the application margins of escape 0x5010: left, right, top,
  // bottom (0.1 mm) at 152-158 and their paper id at 160.
  uint16_t appMargins[5];
  uint8_t reserved162[2];       // 162
  int32_t member459;            // 164: DDM_MEMBER_459 when 1 or 2, else 0
  uint16_t member460;           // 168: with member459 1
  uint16_t member461;           // 170: with member459 1
  uint8_t reserved172[4];       // 172
};
static_assert(sizeof(LAYOUTINFO) == 176);
static_assert(offsetof(LAYOUTINFO, landscapeOutput) == 32 && offsetof(LAYOUTINFO, outputPaper) == 36);
static_assert(offsetof(LAYOUTINFO, outputPaper) + offsetof(JOBREC_PAPER, width) == 38);
static_assert(offsetof(LAYOUTINFO, outputPaper) + offsetof(JOBREC_PAPER, left) == 46);
static_assert(offsetof(LAYOUTINFO, outputPaper) + offsetof(JOBREC_PAPER, landscape) == 50);
static_assert(offsetof(LAYOUTINFO, rotate180Kind) == 68 && offsetof(LAYOUTINFO, zoomPercent) == 88);
static_assert(offsetof(LAYOUTINFO, inputTray) == 96 && offsetof(LAYOUTINFO, nup) == 104);
static_assert(offsetof(LAYOUTINFO, gridColumns) == 112 && offsetof(LAYOUTINFO, resolutionX) == 124);
static_assert(offsetof(LAYOUTINFO, bookletDirection) == 140 && offsetof(LAYOUTINFO, posterAcross) == 144);
static_assert(offsetof(LAYOUTINFO, appMargins) == 152 && offsetof(LAYOUTINFO, member459) == 164);
static_assert(offsetof(LAYOUTINFO, member461) == 170);

struct PAGECTRL {
  uint32_t flags;               // 0: job-control flag word
  uint32_t pageStore;           // 4: page-store state
  int32_t pageColorMode;        // 8
  uint8_t reserved12[76];       // 12
  uint16_t sheets;              // 88
  uint16_t physicalPages;       // 90
  uint16_t logicalPages;        // 92
  uint16_t logicalOnPhysical;   // 94
  uint16_t side;                // 96
  uint8_t reserved98[2];        // 98
  // The page-flow words (100, 104, 116, 120, 140) are cleared at the first
  // page; what they count belongs to the page-flow steps. 144 is cleared
  // again at every physical page end.
  uint16_t pageFlow100;         // 100
  uint16_t bookletPageCount;    // 102: the book's pages, set by the booklet flow before its header
  int32_t pageFlow104;          // 104
  uint8_t reserved108[8];       // 108
  int32_t pageFlow116;          // 116
  int32_t pageFlow120;          // 120
  uint8_t reserved124[4];       // 124
  // What the job-information comment says of the page being started (the
  // spooler side reads these at each page start, live and replayed):
  uint16_t pageColors;          // 128: colours the few-colour count found (0: not counted)
  uint16_t inputTray;           // 130: the page's tray, its DDM 4 value
  int32_t pageContent;          // 132: PAGECTRL_CONTENT_*
  uint8_t reserved136[4];       // 136
  int32_t pageFlow140;          // 140
  int32_t physicalPageFlow;     // 144
};
static_assert(sizeof(PAGECTRL) == 148);
static_assert(offsetof(PAGECTRL, pageColors) == 128 && offsetof(PAGECTRL, inputTray) == 130);
static_assert(offsetof(PAGECTRL, pageContent) == 132);

// PAGECTRL::pageContent. The renderer marks each page it starts as printed
// (its colour then follows the job's colour mode and the page's colour mode,
// word 8) and a white page it inserts as empty; the spooler side's colour
// judge may mark a page it found monochrome. Empty pages are not counted as
// physical pages in the job-information comment.
constexpr int32_t PAGECTRL_CONTENT_EMPTY = 0;
constexpr int32_t PAGECTRL_CONTENT_MONO = 1;
constexpr int32_t PAGECTRL_CONTENT_PRINTED = 2;
static_assert(offsetof(PAGECTRL, pageColorMode) == 8 && offsetof(PAGECTRL, sheets) == 88);
static_assert(offsetof(PAGECTRL, side) == 96 && offsetof(PAGECTRL, bookletPageCount) == 102);
static_assert(offsetof(PAGECTRL, pageFlow104) == 104 && offsetof(PAGECTRL, pageFlow116) == 116);
static_assert(offsetof(PAGECTRL, pageFlow140) == 140 && offsetof(PAGECTRL, physicalPageFlow) == 144);

// Job start. The devmode is the renderer's 5440-byte form; printerData the
// 4736-byte record. badDdmId may be null.
LONG jobInfo_jobInfo_initAtJobStart(JOBINFO* jobInfo, void* devmode, void* printerData, const JOBREC_DEVICE* device,
                                    WORD* badDdmId);
LONG jobInfo_layoutInfo_initAtJobStart(LAYOUTINFO* layoutInfo, const JOBINFO* jobInfo, void* devmode,
                                       void* printerData, const JOBREC_DEVICE* device, WORD* badDdmId);
// Clears the counters of the page control at the first page (88-103, 104,
// 116, 120, 140, 144); the flag word and the page-store state stay.
void jobInfo_pageCtrl_clearCounters(PAGECTRL* pageCtrl);

// Names: at most 260 characters each, the rest cut; null gives empty.
void jobInfo_setNames(JOBINFO* jobInfo, const WCHAR* documentName, const WCHAR* outputName);
BOOL jobInfo_setPrinterHandle(JOBINFO* jobInfo, HANDLE printer);
HANDLE jobrec_HandleFromWire(uint32_t wire);

// The version kept when it lies in 0x02000000-0x02010000 and DDM 1332 is
// set, else 0x02000000.
DWORD jobInfo_getPDLVersion_forApplink(DWORD version, void* devmode, void* printerData);

// Page counting. nextPage_Logical answers TRUE when the physical page is
// full (its logical page count has reached the N-up number).
BOOL _pageCtrl_nextPage_Logical(PAGECTRL* pageCtrl, const JOBINFO* jobInfo);
void _pageCtrl_nextPage_Physical(PAGECTRL* pageCtrl);
void _pageCtrl_StartPage_Physical(PAGECTRL* pageCtrl, const JOBINFO* jobInfo, BOOL forced);
// End of the job: the sheet count including the open sheet, times the copies.
void _pageCtrl_EndJob(PAGECTRL* pageCtrl, const JOBINFO* jobInfo);

// Engine points (28.4) to whole device units, count points.
void ConvertPointfixParam(const POINTFIX* in, POINTL* out, ULONG count);

// Raw bytes, as the in-band writers take them and the reader delivers them.
void jobrec_Store(const JOBINFO* in, BYTE (&out)[sizeof(JOBINFO)]);
void jobrec_Store(const LAYOUTINFO* in, BYTE (&out)[sizeof(LAYOUTINFO)]);
void jobrec_Store(const PAGECTRL* in, BYTE (&out)[sizeof(PAGECTRL)]);
// FALSE (record untouched) when size is not the record's.
BOOL jobrec_Load(JOBINFO* out, const BYTE* bytes, DWORD size);
BOOL jobrec_Load(LAYOUTINFO* out, const BYTE* bytes, DWORD size);
BOOL jobrec_Load(PAGECTRL* out, const BYTE* bytes, DWORD size);
