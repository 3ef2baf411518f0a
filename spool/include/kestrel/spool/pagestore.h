// The page store of kestrelum: registered temporary files (tempFile_*,
// TFReg_*), the page store's file with its command blocks (cmdBlock_*,
// jobData_page_*), the in-band page-store commands 132-136 with the capture
// of 137-140, and the few-colour summary (fewColor_*).
//
// Results follow the job processor's rule: 0 (or a count, a position) on
// success and -1 on failure unless a function says otherwise. Records kept
// in the temporary file are little-endian and read and written as bytes;
// their sizes and offsets are asserted below. spool/README.md holds the
// decisions taken here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/render/variable_array.h"
#include "kplatform/kwindows.h"

struct UmpdJobContext;
struct jobData;

// ---- temporary files -----------------------------------------------------------

// Resource strings of the write-error box.
enum : UINT {
  TEMPFILE_STR_TEXT = 5,     // the text, with a %c for the drive letter
  TEMPFILE_STR_CAPTION = 6,  // the caption
};
constexpr int TEMPFILE_BOX_CHARS = 512;
// The registry root every job start replaces (string 30 of the description
// data); at most 127 characters, ending in a backslash.
constexpr DWORD TFREG_ROOT_CHARS = 127;
#define TFREG_ROOT_DEFAULT u"Software\\Halcyra\\Zan NRV Printer Driver\\"
#define TFREG_TEMPFILE_KEY u"TempFile\\"
#define TEMPFILE_PREFIX u"ZANP"
#define TEMPFILE_FALLBACK u"c:\\zannrv.tmp"
// The highest file position a record reaches: positions and block offsets
// are 32-bit signed with -1 for none.
constexpr uint32_t TEMPFILE_MAX_SIZE = 0x7FFFFFFF;

struct tempFile {
  HINSTANCE resource;     // the resource module (texts of the write-error box)
  HANDLE file;            // INVALID_HANDLE_VALUE (or null in a zeroed record) when none
  WCHAR path[MAX_PATH];   // empty when none
  uint32_t size;          // highest position ever written
  uint32_t position;      // the file position as the record knows it
  uint32_t usable;        // 1 from a successful open until a cancelled write or the close
};

BOOL drvio_tmpFileName_make(WCHAR* buffer);
// An open file is closed and deleted first (a record is never forgotten
// with its file open); with sweep the leftover records are swept after.
int tempFile_init(tempFile* record, int sweep, HINSTANCE resource);
int tempFile_open(tempFile* record);
int tempFile_closeAndDelete(tempFile* record);
int tempFile_stop_access(tempFile* record);
int32_t tempFile_write(tempFile* record, const void* data, uint32_t count);
int32_t tempFile_read(tempFile* record, void* buffer, uint32_t count);
int32_t tempFile_seekSet(tempFile* record, uint32_t offset);
int32_t tempFile_seekLast(tempFile* record);
int tempFile_status(const tempFile* record);
int32_t tempFile_getWritten(const tempFile* record);
int tempFile_flush(const tempFile* record);
// The write-error box: MessageBoxW's answer (IDCANCEL without a record).
int _tempFile_writeErrorMessageBox(const tempFile* record);
// The drive letter the box names: the path's first character made upper
// case when the second is ':', else a blank.
WCHAR _tempFile_driveLetter(const WCHAR* path);

// The process-wide root and the registry records. Root and caption are
// guarded: one job's start may replace them while another job's parser
// reads them; the last started job's root wins.
int TFReg_SetRegRoot(LPCWSTR root);
// The current root (at most TFREG_ROOT_CHARS characters and a NUL).
void TFReg_GetRegRoot(WCHAR (&root)[TFREG_ROOT_CHARS + 1]);
// Records a path; until TFReg_Delete or TFReg_Release the file counts as
// in use by this process and every sweep leaves it alone.
int TFReg_Entry(LPCWSTR path);
int TFReg_Delete(LPCWSTR path);
// The file is no longer this process's: its record (if any) is left for a
// later sweep.
void TFReg_Release(LPCWSTR path);
int TFReg_TryAllDelete(void);
// The record's key below HKEY_LOCAL_MACHINE: <root>"TempFile\"<path with
// '/'>; FALSE when it does not fit.
BOOL TFReg_KeyOf(LPCWSTR path, WCHAR* key, DWORD keyChars);
void ConvertEntoSura(WCHAR* text);
void ConvertSuratoEn(WCHAR* text);
BOOL IsTempFile(LPCWSTR path);
int TempFileDelete(LPCWSTR path);

// ---- the few-colour summary ------------------------------------------------------

constexpr DWORD FEWCOLOR_COLORS = 16;
constexpr uint16_t FEWCOLOR_LIMIT_MAX = 15;
constexpr uint32_t FEWCOLOR_WHITE = 0x00FFFFFF;
enum : uint32_t {
  FEWCOLOR_MODE_NO_WHITE = 0,    // white is not counted
  FEWCOLOR_MODE_ALL = 1,         // every colour counts
  FEWCOLOR_MODE_GREY_BLACK = 2,  // white not counted, every grey counts as black
};
// 76 bytes, words 3-21 of the page control and part of each page-info record.
struct FEWCOLORINFO {
  uint32_t enabled;
  uint16_t count;
  uint16_t limit;
  uint32_t mode;
  uint32_t colors[FEWCOLOR_COLORS];  // 0x00RRGGBB
};
static_assert(sizeof(FEWCOLORINFO) == 76);
static_assert(offsetof(FEWCOLORINFO, count) == 4 && offsetof(FEWCOLORINFO, mode) == 8);
static_assert(offsetof(FEWCOLORINFO, colors) == 12);

int fewColor_init(FEWCOLORINFO* summary, uint32_t enabled, uint16_t limit, uint32_t mode);
int fewColor_countColorsOnPixel(FEWCOLORINFO* summary, uint32_t color);
int fewColor_margeInfo(FEWCOLORINFO* into, const FEWCOLORINFO* from);
int fewColor_addColorCountBits(const FEWCOLORINFO* summary, BYTE argument, BYTE* out);

// ---- the page store's file ---------------------------------------------------------

// Command blocks inside a stored page.
enum : int16_t {
  CMDBLOCK_STARTPAGE = 0,
  CMDBLOCK_SHOWPAGE = 1,
  CMDBLOCK_ENDPAGE = 2,
  CMDBLOCK_SETCOORDINATE = 3,
};
constexpr DWORD CMDBLOCK_HEADER_SIZE = 8;
constexpr DWORD CMDBLOCK_STARTPAGE_SIZE = 52;
constexpr DWORD CMDBLOCK_SETCOORDINATE_SIZE = 24;
// The header as the file holds it (read and written as bytes).
struct CMDBLOCK_HEADER {
  int16_t id;
  uint16_t length;
  int32_t distance;  // to the next block of the page, 0 for the last
};
static_assert(sizeof(CMDBLOCK_HEADER) == CMDBLOCK_HEADER_SIZE);
static_assert(offsetof(CMDBLOCK_HEADER, length) == 2 && offsetof(CMDBLOCK_HEADER, distance) == 4);

// The start page's parameters (52 bytes).
struct PAGESTORE_STARTPAGE_PARAM {
  BYTE colorModeArg;   // 0
  BYTE mediaSource;    // 1
  BYTE mediaSize;      // 2: PAGESTORE_CUSTOM_SIZE for a custom size
  BYTE zero3;          // 3
  float customWidth;   // 4: millimetres
  float customHeight;  // 8
  BYTE layoutWords[32];  // 12: layout information bytes 36-67
  uint16_t pageCtrl130;  // 44
  uint16_t zero46;       // 46
  uint32_t pageCtrl132;  // 48
};
static_assert(sizeof(PAGESTORE_STARTPAGE_PARAM) == CMDBLOCK_STARTPAGE_SIZE);
static_assert(offsetof(PAGESTORE_STARTPAGE_PARAM, customWidth) == 4 && offsetof(PAGESTORE_STARTPAGE_PARAM, layoutWords) == 12);
static_assert(offsetof(PAGESTORE_STARTPAGE_PARAM, pageCtrl130) == 44 && offsetof(PAGESTORE_STARTPAGE_PARAM, pageCtrl132) == 48);
constexpr BYTE PAGESTORE_CUSTOM_SIZE = 81;  // the letter Q
constexpr DWORD PAGESTORE_LAYOUT_WORDS_AT = 36;  // in the layout information

// One page-position entry (12 bytes).
struct PAGESTORE_POSITION {
  int32_t streamStart;
  int32_t streamEnd;
  int32_t firstBlock;  // -1 when the page has none
};
static_assert(sizeof(PAGESTORE_POSITION) == 12);

// One page-info record (116 bytes).
struct PAGESTORE_PAGEINFO {
  BYTE zero[36];
  FEWCOLORINFO fewColor;  // 36
  uint32_t colorMode;     // 112
};
static_assert(sizeof(PAGESTORE_PAGEINFO) == 116);
static_assert(offsetof(PAGESTORE_PAGEINFO, fewColor) == 36 && offsetof(PAGESTORE_PAGEINFO, colorMode) == 112);

// The command-block cursor.
enum : int32_t { CMDBLOCK_IDLE = 0, CMDBLOCK_READING = 1, CMDBLOCK_WRITING = 2 };
struct cmdBlock {
  int32_t state;
  int32_t firstBlock;  // of the page being written, -1 none
  int32_t lastBlock;   // last block written, -1 none
  int32_t nextBlock;   // next block to read
  int32_t end;         // the page's stream end
  int32_t position;    // current read position
};

// jobData_page_readCmdBlockHeader's answer at the end of a page.
constexpr int CMDBLOCK_END_OF_PAGE = 3;

void cmdBlock_init(cmdBlock* cursor);
int cmdBlock_writeInit(cmdBlock* cursor, tempFile* file);
int cmdBlock_write(cmdBlock* cursor, tempFile* file, int16_t id, uint16_t length, const void* parameters);
int32_t cmdBlock_writeFinish(cmdBlock* cursor);
int cmdBlock_readInit(cmdBlock* cursor, tempFile* file, const PAGESTORE_POSITION* page);
int32_t cmdBlock_readStream(cmdBlock* cursor, tempFile* file, uint32_t maximum, void* buffer);
int cmdBlock_readHeader(cmdBlock* cursor, tempFile* file, CMDBLOCK_HEADER* header);
int cmdBlock_readParam(cmdBlock* cursor, tempFile* file, uint16_t length, void* buffer);
void cmdBlock_readFinish(cmdBlock* cursor);

constexpr uint16_t PAGESTORE_INFO_SIZE = sizeof(PAGESTORE_PAGEINFO);
int jobData_page_enable(jobData* record);
int jobData_page_disable(jobData* record);
int jobData_page_startToUse(jobData* record, WORD firstPage, uint16_t infoSize, WORD growthStep);
int jobData_page_endToUse(jobData* record);
BOOL jobData_page_isEnable(const jobData* record);
int jobData_page_setPageInfo(jobData* record, WORD page, DWORD size, const void* data);
int jobData_page_getPageInfo(jobData* record, WORD page, DWORD size, void* data);
int jobData_page_startToStore(jobData* record, WORD page);
int jobData_page_endToStore(jobData* record);
int jobData_page_writeStream(jobData* record, const void* data, DWORD count);
int jobData_page_writeCmdBlock(jobData* record, int16_t id, uint16_t length, const void* parameters);
int jobData_page_startToRead(jobData* record, WORD page);
int32_t jobData_page_readToNextCmdBlock(jobData* record, DWORD maximum, void* buffer);
int jobData_page_readCmdBlockHeader(jobData* record, CMDBLOCK_HEADER* header);
int jobData_page_readCmdBlockParam(jobData* record, uint16_t length, void* buffer);

// ---- the commands --------------------------------------------------------------------

// Word 1 of the page control: the bits this side owns (set by 132-136);
// every other bit (0x40, 0x80, ...) is the renderer's and comes with 155.
constexpr uint32_t PAGESTORE_STATE_BITS = 0x803F;
constexpr uint32_t PAGESTORE_MASK_BITS = 0x3E;        // allowed in a capture mask
constexpr uint32_t PAGESTORE_MASK_EXTENSION = 0x36;   // added when job information 1344 asks
constexpr uint32_t PAGESTORE_NO_FORM_MACRO = 0x80;    // the renderer: no form macro at page start
constexpr DWORD PAGESTORE_REPLAY_PIECE = 1024;
constexpr DWORD PAGESTORE_FORM_PIECE = 2048;
constexpr WORD PAGESTORE_PAGE_OTHER_COLOR = 0x8000;   // command 136: take the other page's colour
// Replay mask bits by block id.
enum : int32_t {
  PAGESTORE_REPLAY_STARTPAGE = 0x1,
  PAGESTORE_REPLAY_SHOWPAGE = 0x2,
  PAGESTORE_REPLAY_ENDPAGE = 0x4,
  PAGESTORE_REPLAY_SETCOORDINATE = 0x8,
};
// Command 136's payload.
constexpr DWORD PAGESTORE_REPLAY_PAYLOAD = 40;

int jobOutput_pageStoring_init(UmpdJobContext* ctx, WORD firstPage, WORD growthStep);
int jobOutput_pageStoring_start(UmpdJobContext* ctx, WORD page, int32_t colorMode, int32_t captureMask,
                                int32_t fewColorEnable, WORD fewColorLimit, int32_t fewColorValue);
int jobOutput_pageStoring_stop(UmpdJobContext* ctx, WORD page);
int jobOutput_pageStoring_dispose(UmpdJobContext* ctx);
int jobOutput_output_aStoredPage_withOtherPageColor(UmpdJobContext* ctx, WORD page, int32_t replayMask,
                                                    const float matrix[6], int16_t otherPage, int32_t colorFlag,
                                                    int32_t mediaSource);
// The colour-mode argument of a replay; mode and colours found go to the
// page control (word 2, bytes 128).
int _get_margedColorModeArg(UmpdJobContext* ctx, WORD page, int16_t otherPage, int32_t colorFlag, BYTE* argument);
int _output_aStoredPage(UmpdJobContext* ctx, WORD page, int32_t replayMask, BYTE colorModeArg,
                        const float matrix[6], int32_t mediaSource);
// S first, then M.
void _concat_nrvXform(const float s[6], const float m[6], float (&out)[6]);

// The page start as written (directly and at replay): the colour comment,
// BeginPage, the job-information comment's page.
int jobOutput_output_startpage(UmpdJobContext* ctx, BYTE colorModeArg, BYTE mediaSource, BYTE mediaSize, float width,
                               float height);
// The form overlay at page start: defines the stream "MACRO" when asked;
// *drawn receives TRUE when a non-empty form was read. -1 when the output
// refused a write.
int jobOutput_formOverlay(UmpdJobContext* ctx, BOOL replay, BOOL* nonEmpty);
// The few-colour summary the page control holds (words 3-21).
void pageCtrl_getFewColor(const UmpdJobContext* ctx, FEWCOLORINFO* summary);
void pageCtrl_setFewColor(UmpdJobContext* ctx, const FEWCOLORINFO* summary);
