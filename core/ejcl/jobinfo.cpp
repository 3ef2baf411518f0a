// The job-information comment (kestrel/core/jobinfo.h).
#include "kestrel/core/jobinfo.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Page-entry array --------------------------------------------------------

namespace {

// Allocates `n` blocks into rows[first..first+n) for `entries` entries in
// all: full blocks of perBlock entries, the last one the remainder.
bool AllocBlocks(IJ_ARRAY* a, DWORD first, DWORD n, DWORD entries) {
  for (DWORD i = 0; i < n; ++i) {
    DWORD cap = entries > a->perBlock ? a->perBlock : entries;
    entries -= cap;
    a->rows[first + i].entries = static_cast<BYTE*>(std::calloc(cap, a->entrySize));
    if (!a->rows[first + i].entries) return false;
    a->rows[first + i].capacity = cap;
    a->rows[first + i].used = 0;
    a->blocks = first + i + 1;
    a->capacity += cap;
  }
  return true;
}

DWORD BlocksFor(DWORD entries, DWORD perBlock) { return (entries + perBlock - 1) / perBlock; }

// Adds `growth` entries of capacity: the last block first (up to a whole
// block), the rest in new blocks.
bool Grow(IJ_ARRAY* a) {
  DWORD rest = a->growth;
  if (rest == 0) return false;
  if (a->blocks > 0) {
    IJ_BLOCK& last = a->rows[a->blocks - 1];
    if (last.capacity < a->perBlock) {
      DWORD cap = last.capacity + rest < a->perBlock ? last.capacity + rest : a->perBlock;
      auto* bigger = static_cast<BYTE*>(std::calloc(cap, a->entrySize));
      if (!bigger) return false;
      std::memcpy(bigger, last.entries, static_cast<size_t>(last.capacity) * a->entrySize);
      if (a->currentEntries == last.entries) a->currentEntries = bigger;
      std::free(last.entries);
      last.entries = bigger;
      DWORD added = cap - last.capacity;
      last.capacity = cap;
      a->capacity += added;
      rest -= added;
      if (rest == 0) return true;
    }
  }
  DWORD n = BlocksFor(rest, a->perBlock);
  auto* rows = static_cast<IJ_BLOCK*>(std::calloc(a->blocks + n, sizeof(IJ_BLOCK)));
  if (!rows) return false;
  if (a->blocks) std::memcpy(rows, a->rows, a->blocks * sizeof(IJ_BLOCK));
  std::free(a->rows);
  a->rows = rows;
  a->rowsAllocated = a->blocks + n;
  return AllocBlocks(a, a->blocks, n, rest);
}

}  // namespace

IJ_ARRAY* IJ_aInit(DWORD initialCount, WORD entrySize, WORD growth) {
  if (entrySize == 0 || entrySize > IJ_BLOCK_BYTES) return nullptr;
  auto* a = static_cast<IJ_ARRAY*>(std::calloc(1, sizeof(IJ_ARRAY)));
  if (!a) return nullptr;
  a->entrySize = entrySize;
  a->growth = growth;
  a->perBlock = IJ_BLOCK_BYTES / entrySize;
  DWORD n = BlocksFor(initialCount, a->perBlock);
  if (n > 0) {
    a->rows = static_cast<IJ_BLOCK*>(std::calloc(n, sizeof(IJ_BLOCK)));
    a->rowsAllocated = n;
    if (!a->rows || !AllocBlocks(a, 0, n, initialCount)) {
      IJ_aEnd(a);
      return nullptr;
    }
  }
  return a;
}

void IJ_aEnd(IJ_ARRAY* a) {
  if (!a) return;
  for (DWORD i = 0; i < a->blocks; ++i) std::free(a->rows[i].entries);
  std::free(a->rows);
  std::free(a);
}

BOOL IJ_aAppend(IJ_ARRAY* a) {
  if (!a) return FALSE;
  if (a->count >= a->capacity && !Grow(a)) return FALSE;
  // Blocks fill in order: the first one with room takes the entry.
  DWORD b = 0;
  while (b < a->blocks && a->rows[b].used >= a->rows[b].capacity) ++b;
  if (b == a->blocks) return FALSE;
  IJ_BLOCK& block = a->rows[b];
  std::memset(block.entries + static_cast<size_t>(block.used) * a->entrySize, 0, a->entrySize);
  a->currentBlock = b + 1;
  a->currentEntries = block.entries;
  a->inBlock = block.used;
  ++block.used;
  ++a->count;
  a->index = a->count;
  return TRUE;
}

DWORD IJ_aNum(const IJ_ARRAY* a) { return a ? a->count : 0; }

DWORD IJ_aLocate(IJ_ARRAY* a, DWORD index) {
  if (!a || index == 0 || index > a->count) return 0;
  DWORD left = index - 1;
  for (DWORD b = 0; b < a->blocks; ++b) {
    if (left < a->rows[b].used) {
      a->currentBlock = b + 1;
      a->currentEntries = a->rows[b].entries;
      a->inBlock = left;
      a->index = index;
      return index;
    }
    left -= a->rows[b].used;
  }
  return 0;
}

DWORD IJ_aGetIndex(const IJ_ARRAY* a) { return a ? a->index : 0; }

void* IJ_aAddr(const IJ_ARRAY* a) {
  if (!a || a->index == 0 || !a->currentEntries) return nullptr;
  return a->currentEntries + static_cast<size_t>(a->inBlock) * a->entrySize;
}

BOOL IJ_aGet(const IJ_ARRAY* a, void* dst) {
  void* at = IJ_aAddr(a);
  if (!at || !dst) return FALSE;
  std::memcpy(dst, at, a->entrySize);
  return TRUE;
}

// ---- Builder -------------------------------------------------------------------

JobInfoBuilder* IJ_lInit(DWORD initialEntries, WORD growth) {
  auto* b = static_cast<JobInfoBuilder*>(std::calloc(1, sizeof(JobInfoBuilder)));
  if (!b) return nullptr;
  b->pages = IJ_aInit(initialEntries, sizeof(IJ_PAGE), growth);
  if (!b->pages) {
    std::free(b);
    return nullptr;
  }
  b->lineEnd[0] = '\n';
  b->lineEndLength = 1;
  b->given[IJ_K_VERSION] = b->given[IJ_K_BEGIN] = b->given[IJ_K_END] = 1;
  return b;
}

void IJ_lEnd(JobInfoBuilder* b) {
  if (!b) return;
  IJ_aEnd(b->pages);
  std::free(b);
}

void IJ_lSetCRPut(JobInfoBuilder* b, BOOL crlf) {
  if (!b) return;
  if (crlf) {
    b->lineEnd[0] = '\r';
    b->lineEnd[1] = '\n';
    b->lineEndLength = 2;
  } else {
    b->lineEnd[0] = '\n';
    b->lineEndLength = 1;
  }
}

namespace {
void Give(JobInfoBuilder* b, int index, LONG* field, LONG value) {
  *field = value;
  b->given[index] = 1;
}
}  // namespace

void IJ_lSetPdlType(JobInfoBuilder* b, LONG code, const char* version) {
  if (!b) return;
  b->pdlType = code;
  std::memset(b->pdlVersion, 0, sizeof b->pdlVersion);
  if (version) std::strncpy(b->pdlVersion, version, IJ_PDL_VERSION_CHARS);
  b->given[IJ_K_PDLTYPE] = 1;
}
void IJ_lSetJobType(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_JOBTYPE, &b->jobType, v); }
void IJ_lSetStoredType(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_STOREDJOBTYPE, &b->storedType, v); }
void IJ_lSetJobCopies(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_JOBCOPIES, &b->jobCopies, v); }
void IJ_lSetPageCopies(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_PAGECOPIES, &b->pageCopies, v); }
void IJ_lSetDuplexType(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_DUPLEXTYPE, &b->duplexType, v); }
void IJ_lSetNUp(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_NUP, &b->nUp, v); }
void IJ_lSetPoster(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_POSTER, &b->poster, v); }
void IJ_lSetBooklet(JobInfoBuilder* b, LONG type, LONG threshold) {
  if (!b) return;
  b->bookletThreshold = threshold;
  Give(b, IJ_K_BOOKLETTYPE, &b->bookletType, type);
}
void IJ_lSetOutTray(JobInfoBuilder* b, LONG tray, LONG bin) {
  if (!b) return;
  b->outBin = bin;
  Give(b, IJ_K_OUTTRAY, &b->outTray, tray);
}
void IJ_lSetPageOrder(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_PAGEORDER, &b->pageOrder, v); }
void IJ_lSetStaple(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_STAPLE, &b->staple, v); }
void IJ_lSetPunch(JobInfoBuilder* b, LONG holes, LONG position) {
  if (!b) return;
  b->punchPosition = position;
  Give(b, IJ_K_PUNCH, &b->punchHoles, holes);
}
void IJ_lSetFold(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_FOLD, &b->fold, v); }
void IJ_lSetSlipSheet(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_SLIPSHEET, &b->slipSheet, v); }
void IJ_lSetTonerSave(JobInfoBuilder* b, LONG v) { if (b) Give(b, IJ_K_TONERSAVE, &b->tonerSave, v); }
void IJ_lSetLogicalPages(JobInfoBuilder* b, DWORD v) {
  if (!b) return;
  b->logicalPages = v;
  b->given[IJ_K_LOGICALPAGES] = 1;
}
void IJ_lSetChargedPapers(JobInfoBuilder* b, DWORD v) {
  if (!b) return;
  b->estimatedSheets = v;
  b->given[IJ_K_ESTIMATEDSHEETS] = 1;
}

BOOL IJ_lAppendPage(JobInfoBuilder* b) { return b && IJ_aAppend(b->pages); }
DWORD IJ_lGetIndex(const JobInfoBuilder* b) { return b ? IJ_aGetIndex(b->pages) : 0; }

namespace {
IJ_PAGE* Current(JobInfoBuilder* b, int item) {
  if (!b) return nullptr;
  auto* page = static_cast<IJ_PAGE*>(IJ_aAddr(b->pages));
  if (!page) return nullptr;
  b->given[IJ_K_PAGEINFO] = 1;
  b->pageGiven[item] = 1;
  return page;
}
}  // namespace

void IJ_lSetPaperSize(JobInfoBuilder* b, const char* text) {
  IJ_PAGE* p = Current(b, IJ_P_SIZE);
  if (!p) return;
  std::memset(p->paperSize, 0, sizeof p->paperSize);
  if (text) std::strncpy(p->paperSize, text, IJ_PAPER_CHARS);
}
void IJ_lSetColorMode(JobInfoBuilder* b, LONG v) { if (IJ_PAGE* p = Current(b, IJ_P_MODE)) p->colorMode = v; }
void IJ_lSetColors(JobInfoBuilder* b, LONG v) { if (IJ_PAGE* p = Current(b, IJ_P_COLORS)) p->colors = v; }
void IJ_lSetInTray(JobInfoBuilder* b, LONG v) { if (IJ_PAGE* p = Current(b, IJ_P_INTRAY)) p->inTray = v; }
void IJ_lSetDuplex(JobInfoBuilder* b, LONG v) { if (IJ_PAGE* p = Current(b, IJ_P_DUPLEX)) p->duplex = v; }
void IJ_lSetOrientation(JobInfoBuilder* b, LONG v) {
  if (IJ_PAGE* p = Current(b, IJ_P_ORIENTATION)) p->orientation = v;
}
void IJ_lSetPosition(JobInfoBuilder* b, DWORD v) { if (IJ_PAGE* p = Current(b, IJ_P_POSITION)) p->position = v; }

// ---- Keyword formatters --------------------------------------------------------

namespace {

template <size_t N>
const char* Name(const char* const (&table)[N], LONG code) {
  return code >= 0 && static_cast<size_t>(code) < N ? table[code] : nullptr;
}

constexpr const char* kPdl[] = {"UNKNOWN", "VOLEX", "POSTSCRIPT", "PCLXL"};
constexpr const char* kJobType[] = {"PRINT", "DIRECTFAX", "INTERNETFAX", "FORMREGISTRATION"};
constexpr const char* kStored[] = {"IMMEDIATE", "SECURITY", "PROOF", "DELAY", "QUICKCOPY", "PERSONALBOX"};
constexpr const char* kDuplex[] = {"SIMPLEX", "DUPLEX", "TUMBLE"};
constexpr const char* kBooklet[] = {"NOBOOKLET", "NONEDIVIDE", "AUTODIVIDE", "MANUALDIVIDE"};
constexpr const char* kOutTray[] = {"MAINTRAY", "SIDETRAY", "OUTBIN", "BOOKLETTRAY", "FOLDERTRAY"};
constexpr const char* kPageOrder[] = {"1TON", "NTO1"};
constexpr const char* kStaple[] = {"NOSTAPLE",   "TOPLEFT",    "TOPDUAL",    "TOPRIGHT", "RIGHTDUAL",
                                   "BOTTOMRIGHT", "BOTTOMDUAL", "BOTTOMLEFT", "LEFTDUAL", "SADDLE"};
constexpr const char* kHoles[] = {"NOPUNCH", "UNKNOWN", "TWO", "THREE", "FOUR"};
constexpr const char* kPunchPos[] = {"TOP", "LEFT", "RIGHT", "BOTTOM"};
constexpr const char* kFold[] = {"NOFOLD",         "BIFOLDINSIDE",    "BIFOLDOUTSIDE",  "ZFOLDLEFT",      "ZFOLDRIGHT",
                                 "TRIZFOLDINSIDE", "TRIZFOLDOUTSIDE", "TRICFOLDINSIDE", "TRICFOLDOUTSIDE"};
constexpr const char* kSlip[] = {"NOSLIPSHEET", "EMPTY", "COPY"};
constexpr const char* kToner[] = {"OFF", "ON"};
constexpr const char* kPageMode[] = {"UNKNOWN", "COLOR", "MONOCHROME", "EMPTY"};
constexpr const char* kOrientation[] = {"UNKNOWN", "PORTRAIT", "LANDSCAPE", "REVPORTRAIT", "REVLANDSCAPE"};

// Every formatter writes into out (size bytes) and answers false when it
// refuses its value; out is then empty.
struct Text {
  char* out;
  DWORD size;
  DWORD length = 0;
  bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out + length, size - length, format, args);
    va_end(args);
    if (n < 0 || static_cast<DWORD>(n) >= size - length) return false;
    length += static_cast<DWORD>(n);
    return true;
  }
};

bool IJ_mName(Text* t, const char* format, const char* name) { return name && t->Printf(format, name); }
bool IJ_mAtLeastOne(Text* t, const char* format, LONG v) { return v >= 1 && t->Printf(format, static_cast<int>(v)); }

bool IJ_mPdlType(Text* t, const JobInfoBuilder* b) {
  const char* name = Name(kPdl, b->pdlType);
  return name && t->Printf("PDLTYPE=PDL[%s]:VERSION[%s]", name, b->pdlVersion);
}

bool IJ_mBooklet(Text* t, const JobInfoBuilder* b) {
  const char* name = Name(kBooklet, b->bookletType);
  if (!name) return false;
  if (b->bookletType >= 2)
    return b->bookletThreshold >= 1 &&
           t->Printf("BOOKLETTYPE=TYPE[%s]:THRESHOLD[%d]", name, static_cast<int>(b->bookletThreshold));
  return t->Printf("BOOKLETTYPE=TYPE[%s]", name);
}

bool IJ_mOutTray(Text* t, const JobInfoBuilder* b) {
  const char* name = Name(kOutTray, b->outTray);
  if (!name) return false;
  if (b->outTray == 2) return b->outBin >= 1 && t->Printf("OUTTRAY=%s%d", name, static_cast<int>(b->outBin));
  return t->Printf("OUTTRAY=%s", name);
}

bool IJ_mPunch(Text* t, const JobInfoBuilder* b) {
  const char* holes = Name(kHoles, b->punchHoles);
  if (!holes) return false;
  if (b->punchHoles == 0) return t->Printf("PUNCH=HOLES[%s]", holes);
  const char* pos = Name(kPunchPos, b->punchPosition);
  return pos && t->Printf("PUNCH=HOLES[%s]:POSITION[%s]", holes, pos);
}

bool IJ_mPageInfo(Text* t, const JobInfoBuilder* b, DWORD page) {
  IJ_ARRAY* pages = b->pages;
  DWORD current = IJ_aGetIndex(pages);  // the page setters' entry stays current
  bool found = IJ_aLocate(pages, page) != 0;
  IJ_PAGE p{};
  if (found) IJ_aGet(pages, &p);
  IJ_aLocate(pages, current);
  if (!found) return false;
  p.paperSize[IJ_PAPER_CHARS] = 0;
  if (!t->Printf("PAGEINFO=")) return false;
  bool first = true;
  auto sep = [&]() {
    bool ok = first || t->Printf(":");
    first = false;
    return ok;
  };
  if (b->pageGiven[IJ_P_SIZE] && p.paperSize[0] && !(sep() && t->Printf("SIZE[%s]", p.paperSize))) return false;
  if (b->pageGiven[IJ_P_MODE]) {
    const char* mode = Name(kPageMode, p.colorMode);
    if (!mode || !(sep() && t->Printf("MODE[%s]", mode))) return false;
    if (p.colorMode == IJ_PAGE_COLOR && b->pageGiven[IJ_P_COLORS]) {
      if (p.colors < 0 || !t->Printf(":COLORS[%d]", static_cast<int>(p.colors))) return false;
    }
  }
  if (b->pageGiven[IJ_P_INTRAY] && !(sep() && t->Printf("INTRAY[%u]", static_cast<unsigned>(p.inTray)))) return false;
  if (b->pageGiven[IJ_P_DUPLEX]) {
    const char* d = Name(kDuplex, p.duplex);
    if (!d || !(sep() && t->Printf("DUPLEX[%s]", d))) return false;
  }
  if (b->pageGiven[IJ_P_ORIENTATION]) {
    const char* o = Name(kOrientation, p.orientation);
    if (!o || !(sep() && t->Printf("ORIENTATION[%s]", o))) return false;
  }
  if (b->pageGiven[IJ_P_POSITION] && !(sep() && t->Printf("POS[%lu]", static_cast<unsigned long>(p.position))))
    return false;
  return true;
}

bool Format(Text* t, const JobInfoBuilder* b, int index, DWORD page) {
  switch (index) {
    case IJ_K_VERSION: return t->Printf("VERSION=%s", IJ_VERSION_TEXT);
    case IJ_K_BEGIN: return t->Printf("BEGIN");
    case IJ_K_PDLTYPE: return IJ_mPdlType(t, b);
    case IJ_K_JOBTYPE: return IJ_mName(t, "JOBTYPE=%s", Name(kJobType, b->jobType));
    case IJ_K_STOREDJOBTYPE: return IJ_mName(t, "STOREDJOBTYPE=%s", Name(kStored, b->storedType));
    case IJ_K_JOBCOPIES: return IJ_mAtLeastOne(t, "JOBCOPIES=%d", b->jobCopies);
    case IJ_K_PAGECOPIES: return IJ_mAtLeastOne(t, "PAGECOPIES=%d", b->pageCopies);
    case IJ_K_DUPLEXTYPE: return IJ_mName(t, "DUPLEXTYPE=%s", Name(kDuplex, b->duplexType));
    case IJ_K_NUP: return IJ_mAtLeastOne(t, "NUP=%d", b->nUp);
    case IJ_K_POSTER: return IJ_mAtLeastOne(t, "POSTER=%d", b->poster);
    case IJ_K_BOOKLETTYPE: return IJ_mBooklet(t, b);
    case IJ_K_OUTTRAY: return IJ_mOutTray(t, b);
    case IJ_K_PAGEORDER: return IJ_mName(t, "PAGEORDER=%s", Name(kPageOrder, b->pageOrder));
    case IJ_K_STAPLE: return IJ_mName(t, "STAPLE=%s", Name(kStaple, b->staple));
    case IJ_K_PUNCH: return IJ_mPunch(t, b);
    case IJ_K_FOLD: return IJ_mName(t, "FOLD=%s", Name(kFold, b->fold));
    case IJ_K_SLIPSHEET: return IJ_mName(t, "SLIPSHEET=%s", Name(kSlip, b->slipSheet));
    case IJ_K_TONERSAVE: return IJ_mName(t, "TONERSAVE=%s", Name(kToner, b->tonerSave));
    case IJ_K_PHYSICALPAGES: return t->Printf("PHYSICALPAGES=%lu", static_cast<unsigned long>(b->physicalPages));
    case IJ_K_LOGICALPAGES: return t->Printf("LOGICALPAGES=%lu", static_cast<unsigned long>(b->logicalPages));
    case IJ_K_ESTIMATEDSHEETS:
      return t->Printf("ESTIMATEDSHEETS=%lu", static_cast<unsigned long>(b->estimatedSheets));
    case IJ_K_PAGEINFOBEGIN: return t->Printf("PAGEINFOBEGIN");
    case IJ_K_PAGEINFO: return IJ_mPageInfo(t, b, page);
    case IJ_K_PAGEINFOEND: return t->Printf("PAGEINFOEND");
    case IJ_K_END: return t->Printf("END");
    default: return false;
  }
}

bool Required(LONG jobType, int index) {
  switch (jobType) {
    case 0:
      return index == IJ_K_PDLTYPE || index == IJ_K_JOBTYPE || index == IJ_K_JOBCOPIES || index == IJ_K_PAGECOPIES ||
             index == IJ_K_PAGEINFO;
    case 1:
    case 2:
    case 3: return index == IJ_K_PDLTYPE || index == IJ_K_JOBTYPE || index == IJ_K_PAGEINFO;
    default: return false;
  }
}

// Step 1 of a pass: the result flags, the physical pages and the flags of
// the page lines.
void StartPass(JobInfoBuilder* b) {
  b->resultFlags = 0;
  for (int i = 1; i <= IJ_K_COUNT; ++i)
    if (Required(b->jobType, i) && !b->given[i]) b->resultFlags |= IJ_RESULT_MISSING;
  DWORD count = IJ_aNum(b->pages);
  DWORD current = IJ_aGetIndex(b->pages);
  DWORD physical = 0;
  for (DWORD i = 1; i <= count; ++i) {
    IJ_aLocate(b->pages, i);
    auto* p = static_cast<const IJ_PAGE*>(IJ_aAddr(b->pages));
    if (p->colorMode != IJ_PAGE_EMPTY) ++physical;
    if (b->jobType >= 0 && b->jobType <= 3 && p->paperSize[0] == 0) b->resultFlags |= IJ_RESULT_MISSING;
  }
  IJ_aLocate(b->pages, current);
  b->physicalPages = physical;
  b->pageCount = count;
  if (count > 0) b->given[IJ_K_PHYSICALPAGES] = b->given[IJ_K_PAGEINFOBEGIN] = b->given[IJ_K_PAGEINFOEND] = 1;
  b->resumeIndex = 1;
  b->resumePage = 1;
}

}  // namespace

DWORD IJ_mKeyword(const JobInfoBuilder* b, int index, DWORD page, char* text, DWORD size) {
  if (!b || !text || size == 0) return 0;
  Text t{text, size};
  text[0] = 0;
  if (!Format(&t, b, index, page)) {
    text[0] = 0;
    return 0;
  }
  return t.length;
}

LONG IJ_lGetComment(JobInfoBuilder* b, char* buffer, DWORD size, DWORD* more, DWORD* resultFlags) {
  if (more) *more = 0;
  if (!b || !buffer) return 0;
  if (b->resumeIndex == 0) StartPass(b);
  DWORD written = 0;
  char keyword[512];
  const DWORD prefix = sizeof(IJ_PREFIX) - 1;
  for (; b->resumeIndex <= IJ_K_COUNT; ++b->resumeIndex) {
    int index = static_cast<int>(b->resumeIndex);
    if (!b->given[index]) continue;
    DWORD pages = index == IJ_K_PAGEINFO ? b->pageCount : 1;
    for (; b->resumePage <= pages; ++b->resumePage) {
      DWORD n = IJ_mKeyword(b, index, b->resumePage, keyword, sizeof keyword);
      DWORD line = prefix + n + b->lineEndLength;
      if (line > size - written) {
        if (resultFlags) *resultFlags = b->resultFlags;
        if (written == 0) return IJ_ERR_LINE_TOO_LONG;
        if (more) *more = 1;
        return static_cast<LONG>(written);
      }
      std::memcpy(buffer + written, IJ_PREFIX, prefix);
      std::memcpy(buffer + written + prefix, keyword, n);
      std::memcpy(buffer + written + prefix + n, b->lineEnd, b->lineEndLength);
      written += line;
    }
    b->resumePage = 1;
  }
  b->resumeIndex = 0;  // the next call starts a new pass
  if (resultFlags) *resultFlags = b->resultFlags;
  return static_cast<LONG>(written);
}
