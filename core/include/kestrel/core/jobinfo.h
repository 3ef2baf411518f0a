// The job-information comment: PJL comment lines "@PJL COMMENT ZANJOBINFO "
// + keyword that tell the printer what the job is and describe every page.
// The spooler-side library builds it while the pages pass and writes it
// between the universal exit and the end of job of the trailer
// (ejcl_getEJCLCommandsTail); the user-interface library writes a short one
// for a form-registration job. One module: the builder (IJ_l*), the
// growable page-entry array (IJ_a*) and the keyword formatters (IJ_m*).
// User mode only; memory from the C heap, zeroed.
//
// Decisions:
//  - IJ_lGetComment answers IJ_ERR_LINE_TOO_LONG (with "more" 0) when the
//    next line alone is longer than the whole buffer: such a buffer could
//    never take it, so "more" would be answered for ever. The position is
//    kept: a call with a larger buffer goes on from that line.
//  - Keywords the table has but no setter of the design reaches get their
//    own setters here: IJ_lSetOutTray (tray, bin), IJ_lSetStaple,
//    IJ_lSetPunch (holes, position) and IJ_lSetFold, and the page setters
//    IJ_lSetOrientation and IJ_lSetPosition; each stores its value and sets
//    its flag like the others.
//  - Result bit 0 (a required item is missing) is also set when a page of a
//    job type 0-3 has no paper size text.
#pragma once

#include <cstddef>

#include "kplatform/wintypes.h"

#define IJ_RESULT_MISSING 0x1u  // a required keyword or page size is missing
#define IJ_ERR_LINE_TOO_LONG (-1)

#define IJ_PREFIX "@PJL COMMENT ZANJOBINFO "
#define IJ_VERSION_TEXT "1.1.0"
#define IJ_PDL_VERSION_CHARS 64
#define IJ_PAPER_CHARS 15

// Keyword indexes in output order.
enum IJ_KEYWORD {
  IJ_K_VERSION = 1, IJ_K_BEGIN, IJ_K_PDLTYPE, IJ_K_JOBTYPE, IJ_K_STOREDJOBTYPE, IJ_K_JOBCOPIES, IJ_K_PAGECOPIES,
  IJ_K_DUPLEXTYPE, IJ_K_NUP, IJ_K_POSTER, IJ_K_BOOKLETTYPE, IJ_K_OUTTRAY, IJ_K_PAGEORDER, IJ_K_STAPLE, IJ_K_PUNCH,
  IJ_K_FOLD, IJ_K_SLIPSHEET, IJ_K_TONERSAVE, IJ_K_PHYSICALPAGES, IJ_K_LOGICALPAGES, IJ_K_ESTIMATEDSHEETS,
  IJ_K_PAGEINFOBEGIN, IJ_K_PAGEINFO, IJ_K_PAGEINFOEND, IJ_K_END,
  IJ_K_COUNT = IJ_K_END
};

// Page-item flags, in the order the PAGEINFO items are written.
enum IJ_PAGE_ITEM { IJ_P_SIZE, IJ_P_MODE, IJ_P_COLORS, IJ_P_INTRAY, IJ_P_DUPLEX, IJ_P_ORIENTATION, IJ_P_POSITION,
                    IJ_P_COUNT };

// Page colour modes (3: an empty page, not counted as a physical page).
#define IJ_PAGE_UNKNOWN 0
#define IJ_PAGE_COLOR 1
#define IJ_PAGE_MONOCHROME 2
#define IJ_PAGE_EMPTY 3

// Job types.
#define IJ_JOB_PRINT 0
#define IJ_JOB_FORMREGISTRATION 3
// PDL types.
#define IJ_PDL_PCLXL 3

// One page entry (40 bytes).
struct IJ_PAGE {
  LONG colorMode;
  LONG colors;
  LONG inTray;
  LONG duplex;
  LONG orientation;
  DWORD position;
  char paperSize[16];  // NUL-terminated, at most 15 characters
};
static_assert(sizeof(IJ_PAGE) == 40);
static_assert(offsetof(IJ_PAGE, paperSize) == 24);

// One block of the page-entry array.
struct IJ_BLOCK {
  BYTE* entries;
  DWORD capacity;  // entries
  DWORD used;
};

struct IJ_ARRAY {
  IJ_BLOCK* rows;
  DWORD rowsAllocated;
  DWORD blocks;         // blocks allocated
  DWORD currentBlock;   // 1-based, 0 = none
  DWORD capacity;       // entries of every block
  DWORD count;          // entries used
  WORD entrySize;
  WORD growth;
  DWORD index;          // current entry, 1-based, 0 = none
  DWORD perBlock;       // 64000 / entry size
  BYTE* currentEntries; // the current entry's block
  DWORD inBlock;        // the current entry's index in its block, 0-based
};

#define IJ_BLOCK_BYTES 64000u

IJ_ARRAY* IJ_aInit(DWORD initialCount, WORD entrySize, WORD growth);
void IJ_aEnd(IJ_ARRAY* array);
// 1 when an entry was appended (zeroed, now current), 0 when memory is short.
BOOL IJ_aAppend(IJ_ARRAY* array);
DWORD IJ_aNum(const IJ_ARRAY* array);
// Makes entry `index` (1-based) current: the index, or 0 when it is beyond
// the count (or 0).
DWORD IJ_aLocate(IJ_ARRAY* array, DWORD index);
DWORD IJ_aGetIndex(const IJ_ARRAY* array);
void* IJ_aAddr(const IJ_ARRAY* array);
BOOL IJ_aGet(const IJ_ARRAY* array, void* dst);

struct JobInfoBuilder {
  IJ_ARRAY* pages;
  LONG pdlType;
  char pdlVersion[IJ_PDL_VERSION_CHARS + 1];
  LONG jobType, storedType, jobCopies, pageCopies, duplexType, nUp, poster, bookletType, bookletThreshold;
  LONG outTray, outBin, pageOrder, staple, punchHoles, punchPosition, fold, slipSheet, tonerSave;
  DWORD logicalPages, physicalPages, estimatedSheets;
  char lineEnd[2];
  DWORD lineEndLength;
  DWORD given[IJ_K_COUNT + 1];  // by keyword index, 0 unused
  DWORD pageGiven[IJ_P_COUNT];
  DWORD resumeIndex;  // 0 = not started
  DWORD resumePage;
  DWORD pageCount;
  DWORD resultFlags;
};

JobInfoBuilder* IJ_lInit(DWORD initialEntries, WORD growth);
void IJ_lEnd(JobInfoBuilder* builder);
void IJ_lSetCRPut(JobInfoBuilder* builder, BOOL crlf);
void IJ_lSetPdlType(JobInfoBuilder* builder, LONG code, const char* version);
void IJ_lSetJobType(JobInfoBuilder* builder, LONG value);
void IJ_lSetStoredType(JobInfoBuilder* builder, LONG value);
void IJ_lSetJobCopies(JobInfoBuilder* builder, LONG value);
void IJ_lSetPageCopies(JobInfoBuilder* builder, LONG value);
void IJ_lSetDuplexType(JobInfoBuilder* builder, LONG value);
void IJ_lSetNUp(JobInfoBuilder* builder, LONG value);
void IJ_lSetPoster(JobInfoBuilder* builder, LONG value);
void IJ_lSetBooklet(JobInfoBuilder* builder, LONG type, LONG threshold);
void IJ_lSetOutTray(JobInfoBuilder* builder, LONG tray, LONG bin);
void IJ_lSetPageOrder(JobInfoBuilder* builder, LONG value);
void IJ_lSetStaple(JobInfoBuilder* builder, LONG value);
void IJ_lSetPunch(JobInfoBuilder* builder, LONG holes, LONG position);
void IJ_lSetFold(JobInfoBuilder* builder, LONG value);
void IJ_lSetSlipSheet(JobInfoBuilder* builder, LONG value);
void IJ_lSetTonerSave(JobInfoBuilder* builder, LONG value);
void IJ_lSetLogicalPages(JobInfoBuilder* builder, DWORD value);
void IJ_lSetChargedPapers(JobInfoBuilder* builder, DWORD value);

BOOL IJ_lAppendPage(JobInfoBuilder* builder);
DWORD IJ_lGetIndex(const JobInfoBuilder* builder);
// On the current page; each sets the PAGEINFO flag and its own item flag.
void IJ_lSetPaperSize(JobInfoBuilder* builder, const char* text);
void IJ_lSetColorMode(JobInfoBuilder* builder, LONG mode);
void IJ_lSetColors(JobInfoBuilder* builder, LONG colors);
void IJ_lSetInTray(JobInfoBuilder* builder, LONG tray);
void IJ_lSetDuplex(JobInfoBuilder* builder, LONG duplex);
void IJ_lSetOrientation(JobInfoBuilder* builder, LONG orientation);
void IJ_lSetPosition(JobInfoBuilder* builder, DWORD position);

// Writes whole lines into buffer; answers the bytes written (no NUL), or
// IJ_ERR_LINE_TOO_LONG. *more is 1 when lines are left for the next call.
LONG IJ_lGetComment(JobInfoBuilder* builder, char* buffer, DWORD size, DWORD* more, DWORD* resultFlags);

// The keyword text of one index (page: 1-based, for PAGEINFO) without the
// prefix and line end; an empty text when the formatter refuses the value.
// Answers the text's length.
DWORD IJ_mKeyword(const JobInfoBuilder* builder, int index, DWORD page, char* text, DWORD size);
