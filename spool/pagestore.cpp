// The page store: pages the renderer asks to keep (132-135) go into the
// job's temporary file as stream bytes with command blocks in place of
// their page framing (137-140 captured), and come out again at 136 with the
// replay's own page matrix, colour mode and media source.
//
// The file holds, per stored page, a range [stream start, stream end) in
// which raw PCL XL alternates with 8-byte-headed command blocks; each
// block's distance to the next is written as 0 and patched in place when
// the next one is written. Two tables in the job data record keep per page
// its position (12 bytes) and its info (116 bytes: the few-colour summary
// and the colour mode).
#include <cstring>

#include "kestrel/core/logout.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/byte_order.h"

namespace {

void* ArrayAlloc(void*, size_t bytes) { return GlobalAlloc(GPTR, bytes); }
void ArrayFree(void*, void* block) { GlobalFree(block); }
constexpr VariableArrayAllocator kArrayAllocator{&ArrayAlloc, &ArrayFree, nullptr};

constexpr DWORD kPageCtrlFewColorAt = 12;  // words 3-21
constexpr DWORD kPageCtrlColorsFoundAt = 128;
constexpr DWORD kPageCtrlValue130At = 130;
constexpr DWORD kPageCtrlValue132At = 132;
constexpr BYTE kMacroName[] = {'M', 'A', 'C', 'R', 'O'};
constexpr BYTE kCustomPaper = PAGESTORE_CUSTOM_SIZE;
constexpr BYTE kUnitsMillimetre = 1;

BYTE* PageCtrlBytes(UmpdJobContext* ctx) { return reinterpret_cast<BYTE*>(&ctx->pageCtrl); }

uint32_t StoreState(const UmpdJobContext* ctx) { return ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS; }
void SetStoreState(UmpdJobContext* ctx, uint32_t state) {
  ctx->pageCtrl.pageStore = (ctx->pageCtrl.pageStore & ~PAGESTORE_STATE_BITS) | (state & PAGESTORE_STATE_BITS);
}

bool OutputOpen(UmpdJobContext* ctx) { return jobOutput_isOpened(ctx) > 0; }

// The index of a page in the tables, or -1 outside [first, first + limit).
int32_t IndexOf(const jobData* record, WORD page, uint32_t limit) {
  if (page < record->firstStoredPage) return -1;
  const uint32_t index = static_cast<uint32_t>(page) - record->firstStoredPage;
  return index < limit ? static_cast<int32_t>(index) : -1;
}

}  // namespace

void pageCtrl_getFewColor(const UmpdJobContext* ctx, FEWCOLORINFO* summary) {
  std::memcpy(summary, reinterpret_cast<const BYTE*>(&ctx->pageCtrl) + kPageCtrlFewColorAt, sizeof(*summary));
}

void pageCtrl_setFewColor(UmpdJobContext* ctx, const FEWCOLORINFO* summary) {
  std::memcpy(PageCtrlBytes(ctx) + kPageCtrlFewColorAt, summary, sizeof(*summary));
}

// ---- the command-block cursor ------------------------------------------------------------------

void cmdBlock_init(cmdBlock* cursor) {
  if (cursor == nullptr) return;
  *cursor = cmdBlock{CMDBLOCK_IDLE, -1, -1, -1, -1, -1};
}

int cmdBlock_writeInit(cmdBlock* cursor, tempFile* file) {
  if (cursor == nullptr || tempFile_seekLast(file) < 0) return -1;
  cursor->state = CMDBLOCK_WRITING;
  cursor->firstBlock = -1;
  cursor->lastBlock = -1;
  return 0;
}

int cmdBlock_write(cmdBlock* cursor, tempFile* file, int16_t id, uint16_t length, const void* parameters) {
  if (cursor == nullptr || cursor->state != CMDBLOCK_WRITING || (length != 0 && parameters == nullptr)) return -1;
  const int32_t offset = tempFile_getWritten(file);
  if (offset < 0 || static_cast<uint64_t>(offset) + CMDBLOCK_HEADER_SIZE + length > TEMPFILE_MAX_SIZE) return -1;
  if (cursor->lastBlock >= 0) {
    BYTE distance[4];
    kp_StoreU32(distance, static_cast<uint32_t>(offset - cursor->lastBlock));
    if (tempFile_seekSet(file, static_cast<uint32_t>(cursor->lastBlock) + 4) < 0 ||
        tempFile_write(file, distance, sizeof(distance)) != static_cast<int32_t>(sizeof(distance))) {
      return -1;
    }
  }
  if (tempFile_seekLast(file) != offset) return -1;
  BYTE header[CMDBLOCK_HEADER_SIZE] = {};
  kp_StoreU16(header, static_cast<uint16_t>(id));
  kp_StoreU16(header + 2, length);
  if (tempFile_write(file, header, sizeof(header)) != static_cast<int32_t>(sizeof(header))) return -1;
  if (length != 0 && tempFile_write(file, parameters, length) != length) return -1;
  if (tempFile_getWritten(file) != offset + static_cast<int32_t>(CMDBLOCK_HEADER_SIZE) + length) return -1;
  if (cursor->firstBlock < 0) cursor->firstBlock = offset;
  cursor->lastBlock = offset;
  return 0;
}

int32_t cmdBlock_writeFinish(cmdBlock* cursor) {
  if (cursor == nullptr) return -1;
  const int32_t first = cursor->firstBlock;
  cursor->state = CMDBLOCK_IDLE;
  cursor->firstBlock = -1;
  cursor->lastBlock = -1;
  return first;
}

int cmdBlock_readInit(cmdBlock* cursor, tempFile* file, const PAGESTORE_POSITION* page) {
  if (cursor == nullptr || page == nullptr) return -1;
  const int32_t size = tempFile_getWritten(file);
  // A page entry that does not describe a range of this file is refused.
  if (size < 0 || page->streamStart < 0 || page->streamStart > page->streamEnd || page->streamEnd > size) return -1;
  if (page->firstBlock != -1 && (page->firstBlock < page->streamStart || page->firstBlock >= page->streamEnd)) return -1;
  if (tempFile_seekSet(file, static_cast<uint32_t>(page->streamStart)) != page->streamStart) return -1;
  cursor->state = CMDBLOCK_READING;
  cursor->position = page->streamStart;
  cursor->end = page->streamEnd;
  cursor->nextBlock = page->firstBlock == -1 ? page->streamEnd : page->firstBlock;
  return 0;
}

int32_t cmdBlock_readStream(cmdBlock* cursor, tempFile* file, uint32_t maximum, void* buffer) {
  if (cursor == nullptr || cursor->state != CMDBLOCK_READING || cursor->nextBlock < cursor->position) return -1;
  uint32_t n = static_cast<uint32_t>(cursor->nextBlock - cursor->position);
  if (n > maximum) n = maximum;
  if (n == 0) return 0;
  const int32_t got = tempFile_read(file, buffer, n);
  if (got != static_cast<int32_t>(n)) return -1;
  cursor->position += got;
  return got;
}

int cmdBlock_readHeader(cmdBlock* cursor, tempFile* file, CMDBLOCK_HEADER* header) {
  if (cursor == nullptr || header == nullptr || cursor->state != CMDBLOCK_READING) return -1;
  if (cursor->position == cursor->end) {
    cursor->state = CMDBLOCK_IDLE;
    return CMDBLOCK_END_OF_PAGE;
  }
  if (cursor->position != cursor->nextBlock ||
      static_cast<int64_t>(cursor->position) + CMDBLOCK_HEADER_SIZE > cursor->end) {
    return -1;
  }
  BYTE bytes[CMDBLOCK_HEADER_SIZE];
  if (tempFile_read(file, bytes, sizeof(bytes)) != static_cast<int32_t>(sizeof(bytes))) return -1;
  header->id = static_cast<int16_t>(kp_LoadU16(bytes));
  header->length = kp_LoadU16(bytes + 2);
  header->distance = kp_LoadI32(bytes + 4);
  const int64_t start = cursor->position;
  const int64_t paramEnd = start + CMDBLOCK_HEADER_SIZE + header->length;
  int64_t next = cursor->end;
  if (header->distance != 0) next = start + header->distance;
  // The next block lies after this one's parameters and inside the page.
  if (paramEnd > cursor->end || next < paramEnd || next > cursor->end) return -1;
  cursor->position = static_cast<int32_t>(start + CMDBLOCK_HEADER_SIZE);
  cursor->nextBlock = static_cast<int32_t>(next);
  return 0;
}

int cmdBlock_readParam(cmdBlock* cursor, tempFile* file, uint16_t length, void* buffer) {
  if (cursor == nullptr || cursor->state != CMDBLOCK_READING) return -1;
  if (static_cast<int64_t>(cursor->position) + length > cursor->nextBlock) return -1;
  if (length == 0) return 0;
  if (tempFile_read(file, buffer, length) != length) return -1;
  cursor->position += length;
  return 0;
}

void cmdBlock_readFinish(cmdBlock* cursor) {
  if (cursor != nullptr && cursor->state == CMDBLOCK_READING) cursor->state = CMDBLOCK_IDLE;
}

// ---- the job data level -------------------------------------------------------------------------

int jobData_page_enable(jobData* record) {
  if (record == nullptr) return -1;
  record->firstStoredPage = 0;
  record->storedPageCount = 0;
  variableArray_init(&record->pageInfo);
  variableArray_init(&record->pagePosition);
  cmdBlock_init(&record->cursor);
  record->pageFile.file = INVALID_HANDLE_VALUE;
  return tempFile_init(&record->pageFile, 0, record->resource);
}

int jobData_page_disable(jobData* record) {
  if (record == nullptr) return -1;
  // The file goes too: a sweep cannot delete a file this process holds.
  return jobData_page_endToUse(record);
}

int jobData_page_startToUse(jobData* record, WORD firstPage, uint16_t infoSize, WORD growthStep) {
  if (record == nullptr) return -1;
  jobData_page_endToUse(record);
  record->firstStoredPage = firstPage;
  record->storedPageCount = 0;
  if (variableArray_create(&record->pageInfo, &kArrayAllocator, infoSize, growthStep) != 0 ||
      variableArray_create(&record->pagePosition, &kArrayAllocator, sizeof(PAGESTORE_POSITION), growthStep) != 0 ||
      tempFile_open(&record->pageFile) != 0) {
    jobData_page_endToUse(record);
    return -1;
  }
  cmdBlock_init(&record->cursor);
  return 0;
}

int jobData_page_endToUse(jobData* record) {
  if (record == nullptr) return -1;
  if (record->direction == JOBDATA_PAGESTORE) {
    record->buffered = 0;  // bytes of a page that is given up
    record->direction = JOBDATA_PRINTER;
  }
  record->firstStoredPage = 0;
  record->storedPageCount = 0;
  variableArray_dispose(&record->pageInfo);
  variableArray_dispose(&record->pagePosition);
  cmdBlock_init(&record->cursor);
  return tempFile_closeAndDelete(&record->pageFile);
}

BOOL jobData_page_isEnable(const jobData* record) {
  return record != nullptr && tempFile_status(&record->pageFile) == 1;
}

int jobData_page_setPageInfo(jobData* record, WORD page, DWORD size, const void* data) {
  if (record == nullptr || data == nullptr || size != variableArray_getBlockSize(&record->pageInfo)) return -1;
  // The page being stored has its record too.
  const uint32_t limit = record->storedPageCount + (record->cursor.state == CMDBLOCK_WRITING ? 1u : 0u);
  const int32_t index = IndexOf(record, page, limit);
  return index < 0 ? -1 : variableArray_setItem(&record->pageInfo, static_cast<uint32_t>(index), data);
}

int jobData_page_getPageInfo(jobData* record, WORD page, DWORD size, void* data) {
  if (record == nullptr || data == nullptr || size != variableArray_getBlockSize(&record->pageInfo)) return -1;
  const int32_t index = IndexOf(record, page, record->storedPageCount);
  return index < 0 ? -1 : variableArray_getItem(&record->pageInfo, static_cast<uint32_t>(index), data);
}

int jobData_page_startToStore(jobData* record, WORD page) {
  if (record == nullptr || !jobData_page_isEnable(record)) return -1;
  // 1. The next page in sequence only.
  if (static_cast<uint32_t>(record->firstStoredPage) + record->storedPageCount != page) return -1;
  if (record->cursor.state != CMDBLOCK_IDLE) return -1;
  // 2. What is buffered belongs before the page.
  if (_jobData_spool_flush(record) != 0) return -1;
  // 3. Both tables hold the page (every expansion checked).
  const uint32_t index = record->storedPageCount;
  if (variableArray_reserve(&record->pageInfo, index) != 0 ||
      variableArray_reserve(&record->pagePosition, index) != 0 ||
      variableArray_setFillData(&record->pageInfo, index, 0) != 0) {
    return -1;
  }
  // 4. Its position: the file's end.
  const int32_t size = tempFile_getWritten(&record->pageFile);
  if (size < 0) return -1;
  const PAGESTORE_POSITION position{size, size, -1};
  if (variableArray_setItem(&record->pagePosition, index, &position) != 0) return -1;
  // 5. Every following write of the job goes to the file.
  if (cmdBlock_writeInit(&record->cursor, &record->pageFile) != 0) return -1;
  record->direction = JOBDATA_PAGESTORE;
  return 0;
}

int jobData_page_endToStore(jobData* record) {
  if (record == nullptr) return -1;
  const int flushed = _jobData_spool_flush(record);
  if (record->direction != JOBDATA_PAGESTORE || record->cursor.state != CMDBLOCK_WRITING) return -1;
  const int32_t first = cmdBlock_writeFinish(&record->cursor);
  record->direction = JOBDATA_PRINTER;
  const uint32_t index = record->storedPageCount;
  PAGESTORE_POSITION position{};
  const int32_t end = tempFile_getWritten(&record->pageFile);
  if (flushed != 0 || end < 0 || variableArray_getItem(&record->pagePosition, index, &position) != 0) return -1;
  position.streamEnd = end;
  position.firstBlock = first;
  if (variableArray_setItem(&record->pagePosition, index, &position) != 0) return -1;
  ++record->storedPageCount;
  return 0;
}

int jobData_page_writeStream(jobData* record, const void* data, DWORD count) {
  if (record == nullptr || record->cursor.state != CMDBLOCK_WRITING) return -1;
  if (count == 0) return 0;
  tempFile* file = &record->pageFile;
  if (file->position != file->size && tempFile_seekLast(file) < 0) return -1;
  return tempFile_write(file, data, count) == static_cast<int32_t>(count) ? 0 : -1;
}

int jobData_page_writeCmdBlock(jobData* record, int16_t id, uint16_t length, const void* parameters) {
  if (record == nullptr || !jobData_page_isEnable(record)) return -1;
  // The buffered stream bytes come before the block.
  if (_jobData_spool_flush(record) != 0) return -1;
  return cmdBlock_write(&record->cursor, &record->pageFile, id, length, parameters);
}

int jobData_page_startToRead(jobData* record, WORD page) {
  if (record == nullptr || !jobData_page_isEnable(record) || record->cursor.state != CMDBLOCK_IDLE) return -1;
  const int32_t index = IndexOf(record, page, record->storedPageCount);
  PAGESTORE_POSITION position{};
  if (index < 0 || variableArray_getItem(&record->pagePosition, static_cast<uint32_t>(index), &position) != 0) return -1;
  return cmdBlock_readInit(&record->cursor, &record->pageFile, &position);
}

int32_t jobData_page_readToNextCmdBlock(jobData* record, DWORD maximum, void* buffer) {
  if (record == nullptr || buffer == nullptr) return -1;
  return cmdBlock_readStream(&record->cursor, &record->pageFile, maximum, buffer);
}

int jobData_page_readCmdBlockHeader(jobData* record, CMDBLOCK_HEADER* header) {
  if (record == nullptr) return -1;
  return cmdBlock_readHeader(&record->cursor, &record->pageFile, header);
}

int jobData_page_readCmdBlockParam(jobData* record, uint16_t length, void* buffer) {
  if (record == nullptr) return -1;
  return cmdBlock_readParam(&record->cursor, &record->pageFile, length, buffer);
}

// ---- the commands ---------------------------------------------------------------------------------

int jobOutput_pageStoring_init(UmpdJobContext* ctx, WORD firstPage, WORD growthStep) {
  if (ctx == nullptr || !OutputOpen(ctx) || StoreState(ctx) != 0) return -1;
  // A growth step of 0 would leave every page outside its table.
  if (growthStep == 0) return -1;
  SetStoreState(ctx, PAGESTORE_INIT);
  if (jobData_page_startToUse(ctx->jobDataRecord, firstPage, PAGESTORE_INFO_SIZE, growthStep) != 0) {
    SetStoreState(ctx, 0);
    Logout_OutputString(u"kestrelum: the page store could not start; pages are printed as they come");
    return -1;
  }
  return 0;
}

int jobOutput_pageStoring_start(UmpdJobContext* ctx, WORD page, int32_t colorMode, int32_t captureMask,
                                int32_t fewColorEnable, WORD fewColorLimit, int32_t fewColorValue) {
  if (ctx == nullptr || StoreState(ctx) != PAGESTORE_INIT) return -1;
  if (captureMask == 0 || (static_cast<uint32_t>(captureMask) & ~PAGESTORE_MASK_BITS) != 0) return -1;
  uint32_t mask = static_cast<uint32_t>(captureMask);
  if (ctx->jobInfo.captureExtension != 0) mask |= PAGESTORE_MASK_EXTENSION;
  // The page in sequence and its table entries first: a refused page leaves
  // the flags and the page control as they were.
  const uint32_t before = ctx->pageCtrl.pageStore;
  SetStoreState(ctx, PAGESTORE_INIT | PAGESTORE_STORING | mask);
  if (jobData_page_startToStore(ctx->jobDataRecord, page) != 0) {
    ctx->pageCtrl.pageStore = before;
    return -1;
  }
  ctx->pageCtrl.pageColorMode = colorMode;
  FEWCOLORINFO summary{};
  if (fewColor_init(&summary, fewColorEnable != 0 ? 1 : 0, fewColorLimit, static_cast<uint32_t>(fewColorValue)) != 0) {
    fewColor_init(&summary, 0, 0, FEWCOLOR_MODE_NO_WHITE);  // a limit above 15: no counting
  }
  pageCtrl_setFewColor(ctx, &summary);
  return 0;
}

int jobOutput_pageStoring_stop(UmpdJobContext* ctx, WORD) {
  if (ctx == nullptr) return -1;
  if ((StoreState(ctx) & (PAGESTORE_INIT | PAGESTORE_STORING)) != (PAGESTORE_INIT | PAGESTORE_STORING)) return 0;
  jobData* record = ctx->jobDataRecord;
  if (record == nullptr) return -1;
  // The page being stored is the next in sequence (133 checked it).
  const WORD page = static_cast<WORD>(record->firstStoredPage + record->storedPageCount);
  PAGESTORE_PAGEINFO info{};
  pageCtrl_getFewColor(ctx, &info.fewColor);
  info.colorMode = static_cast<uint32_t>(ctx->pageCtrl.pageColorMode);
  BYTE bytes[sizeof(info)];
  std::memcpy(bytes, &info, sizeof(bytes));
  int result = jobData_page_setPageInfo(record, page, sizeof(bytes), bytes);
  if (jobData_page_endToStore(record) != 0) result = -1;
  SetStoreState(ctx, StoreState(ctx) & ~0x3Fu);
  if (StoreState(ctx) != PAGESTORE_INIT) result = -1;
  return result;
}

int jobOutput_pageStoring_dispose(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  if ((StoreState(ctx) & PAGESTORE_INIT) == 0) return 0;
  if (StoreState(ctx) != PAGESTORE_INIT) return -1;
  const int result = jobData_page_endToUse(ctx->jobDataRecord);
  SetStoreState(ctx, 0);
  return result;
}

void _concat_nrvXform(const float s[6], const float m[6], float (&out)[6]) {
  const long double sa = s[0], sb = s[1], sc = s[2], sd = s[3], se = s[4], sf = s[5];
  const long double ma = m[0], mb = m[1], mc = m[2], md = m[3], me = m[4], mf = m[5];
  out[0] = static_cast<float>(sa * ma + sb * mc);
  out[1] = static_cast<float>(sa * mb + sb * md);
  out[2] = static_cast<float>(sc * ma + sd * mc);
  out[3] = static_cast<float>(sc * mb + sd * md);
  out[4] = static_cast<float>(se * ma + sf * mc + me);
  out[5] = static_cast<float>(se * mb + sf * md + mf);
}

int _get_margedColorModeArg(UmpdJobContext* ctx, WORD page, int16_t otherPage, int32_t colorFlag, BYTE* argument) {
  if (ctx == nullptr || argument == nullptr) return -1;
  jobData* record = ctx->jobDataRecord;
  const bool useOther = (page & PAGESTORE_PAGE_OTHER_COLOR) != 0;
  const WORD own = static_cast<WORD>(page & ~PAGESTORE_PAGE_OTHER_COLOR);
  const bool hasOther = otherPage >= 0;
  PAGESTORE_PAGEINFO info{};
  BYTE bytes[sizeof(PAGESTORE_PAGEINFO)];
  auto load = [&](WORD which, PAGESTORE_PAGEINFO* to) {
    if (jobData_page_getPageInfo(record, which, sizeof(bytes), bytes) != 0) return false;
    std::memcpy(to, bytes, sizeof(bytes));
    return true;
  };
  FEWCOLORINFO summary{};
  uint32_t mode = 1;
  if (useOther && !hasOther) {
    fewColor_init(&summary, 0, 0, FEWCOLOR_MODE_NO_WHITE);
    mode = 1;
  } else if (useOther || !hasOther) {
    if (!load(useOther ? static_cast<WORD>(otherPage) : own, &info)) return -1;
    summary = info.fewColor;
    mode = info.colorMode;
  } else {
    PAGESTORE_PAGEINFO other{};
    if (!load(own, &info) || !load(static_cast<WORD>(otherPage), &other)) return -1;
    summary = info.fewColor;
    fewColor_margeInfo(&summary, &other.fewColor);
    mode = info.colorMode == 2 || other.colorMode == 2 ? 2 : 1;
  }
  BYTE arg = colorFlag != 0 ? 3 : (mode == 2 ? 2 : 1);
  fewColor_addColorCountBits(&summary, arg, &arg);
  *argument = arg;
  ctx->pageCtrl.pageColorMode = static_cast<int32_t>(mode);
  kp_StoreU16(PageCtrlBytes(ctx) + kPageCtrlColorsFoundAt, summary.enabled != 0 ? summary.count : 0);
  return 0;
}

namespace {

int ExecuteMacro(UmpdJobContext* ctx) {
  if (xl_pushgs(&ctx->xl) != 0 || xl_execstream(&ctx->xl, kMacroName, sizeof(kMacroName)) != 0 ||
      xl_popgs(&ctx->xl) != 0) {
    return -1;
  }
  return 0;
}

bool MacroAtLiveStart(UmpdJobContext* ctx) {
  return ctx->jobInfo.booklet == 0 && ctx->jobInfo.formOverlay != 0 &&
         (ctx->pageCtrl.pageStore & PAGESTORE_NO_FORM_MACRO) == 0;
}

bool MacroAtReplay(UmpdJobContext* ctx) {
  return ctx->jobInfo.booklet != 0 && ctx->jobInfo.formOverlay != 0 &&
         (ctx->pageCtrl.pageStore & PAGESTORE_NO_FORM_MACRO) == 0;
}

// Start page at replay.
int ReplaceStartPage(UmpdJobContext* ctx, const BYTE* p, BYTE colorModeArg, int32_t mediaSource) {
  PAGESTORE_STARTPAGE_PARAM param;
  std::memcpy(&param, p, sizeof(param));
  const BYTE source = mediaSource != -1 ? static_cast<BYTE>(mediaSource) : param.mediaSource;
  BOOL formRead = FALSE;
  if (jobOutput_formOverlay(ctx, TRUE, &formRead) != 0) return -1;
  std::memcpy(reinterpret_cast<BYTE*>(&ctx->layoutInfo) + PAGESTORE_LAYOUT_WORDS_AT, param.layoutWords,
              sizeof(param.layoutWords));
  kp_StoreU16(PageCtrlBytes(ctx) + kPageCtrlValue130At, param.pageCtrl130);
  kp_StoreU32(PageCtrlBytes(ctx) + kPageCtrlValue132At, param.pageCtrl132);
  if (ctx->jobInfo.formRegistration == 0 &&
      jobOutput_output_startpage(ctx, colorModeArg, source, param.mediaSize, param.customWidth, param.customHeight) != 0) {
    return -1;
  }
  if (formRead && MacroAtReplay(ctx)) return ExecuteMacro(ctx);
  return 0;
}

}  // namespace

int _output_aStoredPage(UmpdJobContext* ctx, WORD page, int32_t replayMask, BYTE colorModeArg, const float matrix[6],
                        int32_t mediaSource) {
  jobData* record = ctx != nullptr ? ctx->jobDataRecord : nullptr;
  if (record == nullptr || matrix == nullptr || jobData_page_startToRead(record, page) != 0) return -1;
  BYTE piece[PAGESTORE_REPLAY_PIECE];
  int result = 0;
  for (;;) {
    // The stream bytes up to the next block, in 1024-byte pieces.
    int32_t n = 0;
    while ((n = jobData_page_readToNextCmdBlock(record, sizeof(piece), piece)) > 0) {
      if (jobData_spool_write(record, static_cast<DWORD>(n), piece) != n) {
        result = -1;
        break;
      }
      ctx->bytesOut += static_cast<uint64_t>(n);
    }
    if (result != 0 || n < 0) {
      result = -1;
      break;
    }
    CMDBLOCK_HEADER header{};
    const int h = jobData_page_readCmdBlockHeader(record, &header);
    if (h == CMDBLOCK_END_OF_PAGE) break;
    if (h != 0) {
      result = -1;
      break;
    }
    BYTE param[CMDBLOCK_STARTPAGE_SIZE];
    uint16_t expected = 0;
    switch (header.id) {
      case CMDBLOCK_STARTPAGE: expected = CMDBLOCK_STARTPAGE_SIZE; break;
      case CMDBLOCK_SHOWPAGE:
      case CMDBLOCK_ENDPAGE: expected = 0; break;
      case CMDBLOCK_SETCOORDINATE: expected = CMDBLOCK_SETCOORDINATE_SIZE; break;
      default: result = -1; break;
    }
    if (result != 0 || header.length != expected ||
        jobData_page_readCmdBlockParam(record, header.length, param) != 0) {
      result = -1;
      break;
    }
    if ((replayMask & (1 << header.id)) == 0) continue;  // consumed without output
    switch (header.id) {
      case CMDBLOCK_STARTPAGE: result = ReplaceStartPage(ctx, param, colorModeArg, mediaSource); break;
      case CMDBLOCK_SHOWPAGE: result = xl_endpage(&ctx->xl, 0) == 0 ? 0 : -1; break;
      case CMDBLOCK_ENDPAGE: break;
      case CMDBLOCK_SETCOORDINATE: {
        float stored[6];
        std::memcpy(stored, param, sizeof(stored));
        float combined[6];
        _concat_nrvXform(stored, matrix, combined);
        result = xl_setcoordinate(&ctx->xl, combined) == 0 ? 0 : -1;
        break;
      }
      default: break;
    }
    if (result != 0) break;
  }
  cmdBlock_readFinish(&record->cursor);
  return result;
}

int jobOutput_output_aStoredPage_withOtherPageColor(UmpdJobContext* ctx, WORD page, int32_t replayMask,
                                                    const float matrix[6], int16_t otherPage, int32_t colorFlag,
                                                    int32_t mediaSource) {
  if (ctx == nullptr || !OutputOpen(ctx)) return -1;
  if ((StoreState(ctx) & PAGESTORE_INIT) == 0) return 0;
  // Never while a page is being stored: the one cursor writes that page.
  if (StoreState(ctx) != PAGESTORE_INIT) return -1;
  if ((page & PAGESTORE_PAGE_OTHER_COLOR) == 0 && otherPage >= 0 && page == static_cast<WORD>(otherPage)) return -1;
  BYTE argument = 0;
  if (_get_margedColorModeArg(ctx, page, otherPage, colorFlag, &argument) != 0) return -1;
  // Bit 15 only chooses the colour; the page replayed is the rest.
  return _output_aStoredPage(ctx, static_cast<WORD>(page & ~PAGESTORE_PAGE_OTHER_COLOR), replayMask, argument, matrix,
                             mediaSource);
}

// ---- page framing (137-140) ------------------------------------------------------------------------

int jobOutput_output_startpage(UmpdJobContext* ctx, BYTE colorModeArg, BYTE mediaSource, BYTE mediaSize, float width,
                               float height) {
  int result = 0;
  switch (colorModeArg & 0x0F) {
    case 1: result |= xl_colorcomment(&ctx->xl, 1); break;
    case 2: result |= xl_colorcomment(&ctx->xl, 3); break;
    default: break;
  }
  XlBeginPage page{};
  page.orientation = 0;
  page.mediaSource = mediaSource;
  page.mediaSize = mediaSize == kCustomPaper ? static_cast<WORD>(XL_LEAVE_OUT) : mediaSize;
  page.customWidth = width;
  page.customHeight = height;
  page.customUnits = kUnitsMillimetre;
  page.mediaType = nullptr;
  page.destination = XL_LEAVE_OUT;
  page.simplexMode = XL_LEAVE_OUT;
  page.duplexMode = XL_LEAVE_OUT;
  page.duplexSide = XL_LEAVE_OUT;
  if (result == 0) result = xl_beginpage(&ctx->xl, &page);
  if (result == 0) {
    ++ctx->pagesOut;
    ejclcmnt_setPageInfo(ctx, mediaSize == kCustomPaper);
  }
  return result == 0 ? 0 : -1;
}

int jobOutput_formOverlay(UmpdJobContext* ctx, BOOL replay, BOOL* nonEmpty) {
  *nonEmpty = FALSE;
  if (ctx->jobInfo.formOverlay == 0) return 0;
  WCHAR path[MAX_PATH];
  if (jobOutput_formFilePath(ctx, path, nullptr) != 0) return 0;  // no form to draw; nothing is touched
  WCHAR shortPath[MAX_PATH];
  const DWORD shortLength = GetShortPathNameW(path, shortPath, MAX_PATH);
  const LPCWSTR name = shortLength > 0 && shortLength < MAX_PATH ? shortPath : path;
  HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BYTE piece[PAGESTORE_FORM_PIECE];
  uint64_t size = 0;
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof(piece), &got, nullptr) && got > 0) size += got;
  if (size == 0) {
    CloseHandle(file);
    DeleteFileW(name);  // made empty by the open: not left behind
    return 0;
  }
  if (size > TEMPFILE_MAX_SIZE) {
    CloseHandle(file);
    return -1;
  }
  const bool define = replay ? ctx->jobInfo.booklet != 0 : ctx->jobInfo.booklet == 0 && ctx->pageCtrl.physicalPages == 0;
  int result = 0;
  if (define) {
    const DWORD length = static_cast<DWORD>(size);
    result = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && xl_beginstream(&ctx->xl, kMacroName, sizeof(kMacroName)) == 0 &&
                     xl_readstream(&ctx->xl, length) == 0 && xl_embeddeddata_hdr(&ctx->xl, length) == 0
                 ? 0
                 : -1;
    DWORD sent = 0;
    while (result == 0 && sent < length) {
      const DWORD want = length - sent < sizeof(piece) ? length - sent : static_cast<DWORD>(sizeof(piece));
      if (!ReadFile(file, piece, want, &got, nullptr) || got != want || xl_embeddeddata_data(&ctx->xl, piece, got) != 0) {
        result = -1;  // the form changed under us or the output refused it
        break;
      }
      sent += got;
    }
    if (result == 0 && xl_tag(&ctx->xl, XL_OP_ENDSTREAM) != 0) result = -1;
  }
  CloseHandle(file);
  *nonEmpty = TRUE;
  return result;
}

int jobOutput_redirect_setcoordinate(UmpdJobContext* ctx, const float matrix[6]) {
  if ((ctx->pageCtrl.flags & PAGECTRL_OUTPUT_OPEN) != PAGECTRL_OUTPUT_OPEN) return 0;
  if ((ctx->pageCtrl.pageStore & PAGESTORE_SETCOORDINATE) == PAGESTORE_SETCOORDINATE) {
    BYTE bytes[CMDBLOCK_SETCOORDINATE_SIZE];
    std::memcpy(bytes, matrix, sizeof(bytes));
    return jobData_page_writeCmdBlock(ctx->jobDataRecord, CMDBLOCK_SETCOORDINATE, sizeof(bytes), bytes);
  }
  return xl_setcoordinate(&ctx->xl, matrix) == 0 ? 0 : -1;
}

int jobOutput_redirect_startpage(UmpdJobContext* ctx, BYTE colorModeArg, BYTE mediaSource, BYTE mediaSize,
                                 float width, float height, int) {
  if (!OutputOpen(ctx)) return 0;
  BOOL formRead = FALSE;
  if (jobOutput_formOverlay(ctx, FALSE, &formRead) != 0) return -1;
  int result = 0;
  if ((ctx->pageCtrl.pageStore & PAGESTORE_STARTPAGE) == PAGESTORE_STARTPAGE) {
    if (ctx->jobInfo.formRegistration == 0) {
      PAGESTORE_STARTPAGE_PARAM param{};
      param.colorModeArg = colorModeArg;
      param.mediaSource = mediaSource;
      param.mediaSize = mediaSize;
      param.customWidth = width;
      param.customHeight = height;
      std::memcpy(param.layoutWords, reinterpret_cast<const BYTE*>(&ctx->layoutInfo) + PAGESTORE_LAYOUT_WORDS_AT,
                  sizeof(param.layoutWords));
      param.pageCtrl130 = kp_LoadU16(PageCtrlBytes(ctx) + kPageCtrlValue130At);
      param.pageCtrl132 = kp_LoadU32(PageCtrlBytes(ctx) + kPageCtrlValue132At);
      BYTE bytes[sizeof(param)];
      std::memcpy(bytes, &param, sizeof(bytes));
      result = jobData_page_writeCmdBlock(ctx->jobDataRecord, CMDBLOCK_STARTPAGE, sizeof(bytes), bytes);
    }
    // The stored page's state is its own: the show page's PopGS ends it.
    if (result == 0 && xl_pushgs(&ctx->xl) != 0) result = -1;
  } else if (ctx->jobInfo.formRegistration == 0) {
    result = jobOutput_output_startpage(ctx, colorModeArg, mediaSource, mediaSize, width, height);
  }
  if (result == 0 && formRead && MacroAtLiveStart(ctx)) result = ExecuteMacro(ctx);
  return result;
}

int jobOutput_redirect_showpage(UmpdJobContext* ctx) {
  if ((ctx->pageCtrl.pageStore & PAGESTORE_SHOWPAGE) == PAGESTORE_SHOWPAGE) {
    if (xl_popgs(&ctx->xl) != 0) return -1;
    return jobData_page_writeCmdBlock(ctx->jobDataRecord, CMDBLOCK_SHOWPAGE, 0, nullptr);
  }
  // A captured page start pushed a graphics state into the stored page
  // (poster: start page captured, show page not): it is popped before the
  // page ends, so every replay ends the page with its stack balanced.
  if ((ctx->pageCtrl.pageStore & PAGESTORE_STARTPAGE) == PAGESTORE_STARTPAGE && xl_popgs(&ctx->xl) != 0) return -1;
  return xl_endpage(&ctx->xl, 0) == 0 ? 0 : -1;
}

int jobOutput_redirect_endpage(UmpdJobContext* ctx) {
  if ((ctx->pageCtrl.pageStore & PAGESTORE_ENDPAGE) == PAGESTORE_ENDPAGE) {
    return jobData_page_writeCmdBlock(ctx->jobDataRecord, CMDBLOCK_ENDPAGE, 0, nullptr);
  }
  return 0;
}
