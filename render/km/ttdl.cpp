// TrueType download (see ttdl.h for the checks and decisions).
#include "ttdl.h"

#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "km_entry.h"
#include "kplatform/engine.h"

const DWORD TableInfoNames[TT_TABLE_NAMES] = {
    TtTag('c', 'm', 'a', 'p'), TtTag('c', 'v', 't', ' '), TtTag('f', 'p', 'g', 'm'), TtTag('g', 'l', 'y', 'f'),
    TtTag('G', 'S', 'U', 'B'), TtTag('h', 'e', 'a', 'd'), TtTag('h', 'h', 'e', 'a'), TtTag('h', 'm', 't', 'x'),
    TtTag('l', 'o', 'c', 'a'), TtTag('m', 'a', 'x', 'p'), TtTag('m', 'o', 'r', 't'), TtTag('n', 'a', 'm', 'e'),
    TtTag('O', 'S', '/', '2'), TtTag('P', 'C', 'L', 'T'), TtTag('p', 'o', 's', 't'), TtTag('p', 'r', 'e', 'p'),
    TtTag('v', 'h', 'e', 'a'), TtTag('v', 'm', 't', 'x')};
const DWORD FontHeaderNames_woM[6] = {TtTag('c', 'v', 't', ' '), TtTag('f', 'p', 'g', 'm'), TtTag('g', 'd', 'i', 'r'),
                                      TtTag('h', 'e', 'a', 'd'), TtTag('m', 'a', 'x', 'p'), TtTag('p', 'r', 'e', 'p')};
const DWORD FontHeaderNames_wHVM[10] = {TtTag('c', 'v', 't', ' '), TtTag('f', 'p', 'g', 'm'), TtTag('g', 'd', 'i', 'r'),
                                        TtTag('h', 'e', 'a', 'd'), TtTag('h', 'h', 'e', 'a'), TtTag('h', 'm', 't', 'x'),
                                        TtTag('m', 'a', 'x', 'p'), TtTag('p', 'r', 'e', 'p'), TtTag('v', 'h', 'e', 'a'),
                                        TtTag('v', 'm', 't', 'x')};
const DWORD FontHeaderNames_wHM[8] = {TtTag('c', 'v', 't', ' '), TtTag('f', 'p', 'g', 'm'), TtTag('g', 'd', 'i', 'r'),
                                      TtTag('h', 'e', 'a', 'd'), TtTag('h', 'h', 'e', 'a'), TtTag('h', 'm', 't', 'x'),
                                      TtTag('m', 'a', 'x', 'p'), TtTag('p', 'r', 'e', 'p')};

namespace {

constexpr DWORD kTagTtcf = TtTag('t', 't', 'c', 'f');
constexpr DWORD kTagGdir = TtTag('g', 'd', 'i', 'r');
constexpr DWORD kTagVert = TtTag('v', 'e', 'r', 't');
constexpr ULONG kTag = 0x4C44544B;  // "KTDL" pool tag of the download's blocks
constexpr DWORD kOffsetTableSize = 12;
constexpr DWORD kDirEntrySize = 16;
constexpr DWORD kGlyphHeaderSize = 10;
constexpr WORD kNameIdFullName = 4;
constexpr WORD kPlatformWindows = 3;
constexpr DWORD kMortPairsAt = 76;
constexpr WORD kMortEnd = 0xFFFF;
// Composite flags.
constexpr WORD ARG_1_AND_2_ARE_WORDS = 0x0001;
constexpr WORD WE_HAVE_A_SCALE = 0x0008;
constexpr WORD MORE_COMPONENTS = 0x0020;
constexpr WORD WE_HAVE_AN_X_AND_Y_SCALE = 0x0040;
constexpr WORD WE_HAVE_A_TWO_BY_TWO = 0x0080;

WORD Be16(const BYTE* p) { return static_cast<WORD>((p[0] << 8) | p[1]); }
DWORD Be32(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) | p[3];
}
void PutBe16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v >> 8);
  p[1] = static_cast<BYTE>(v);
}
void PutBe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}
// [at, at + n) inside [0, size).
bool Inside(uint64_t at, uint64_t n, uint64_t size) { return at <= size && n <= size - at; }
DWORD Round4(DWORD n) { return (n + 3u) & ~3u; }

// The face name's characters after a leading "@".
LPCWSTR Unvertical(LPCWSTR name) { return (name && name[0] == u'@') ? name + 1 : name; }

// The offset table at `base` with its directory inside the file.
bool MemberOk(const BYTE* file, DWORD size, uint64_t base) {
  if (!Inside(base, kOffsetTableSize, size)) return false;
  uint64_t n = Be16(file + base + 4);
  return Inside(base + kOffsetTableSize, n * kDirEntrySize, size);
}

// The member's table by tag: offset and length inside the file.
bool FindTable(const BYTE* file, DWORD size, uint64_t base, DWORD tag, DWORD* offset, DWORD* length) {
  DWORD n = Be16(file + base + 4);
  for (DWORD i = 0; i < n; ++i) {
    const BYTE* e = file + base + kOffsetTableSize + i * kDirEntrySize;
    if (Be32(e) != tag) continue;
    DWORD off = Be32(e + 8), len = Be32(e + 12);
    if (!Inside(off, len, size)) return false;
    *offset = off;
    *length = len;
    return true;
  }
  return false;
}

bool NameMatches(const BYTE* file, DWORD size, uint64_t base, LPCWSTR want) {
  DWORD off = 0, len = 0;
  if (!FindTable(file, size, base, TtTag('n', 'a', 'm', 'e'), &off, &len) || len < 6) return false;
  const BYTE* name = file + off;
  DWORD count = Be16(name + 2), strings = Be16(name + 4);
  if (!Inside(6, static_cast<uint64_t>(count) * 12, len)) return false;
  DWORD wantLength = 0;
  while (want[wantLength]) ++wantLength;
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* r = name + 6 + i * 12;
    if (Be16(r) != kPlatformWindows || Be16(r + 6) != kNameIdFullName) continue;
    DWORD sLen = Be16(r + 8), sOff = Be16(r + 10);
    if (!Inside(static_cast<uint64_t>(strings) + sOff, sLen, len)) continue;
    if (sLen != wantLength * 2) continue;
    const BYTE* s = name + strings + sOff;
    bool same = true;
    for (DWORD k = 0; k < wantLength && same; ++k) same = Be16(s + 2 * k) == static_cast<WORD>(want[k]);
    if (same) return true;
  }
  return false;
}

const TT_TABLEENTRY* Entry(const TT_TABLEINFO* info, DWORD tag) {
  for (int i = 0; i < TT_TABLE_NAMES && info->tables[i].tag != TT_TAG_END; ++i)
    if (info->tables[i].tag == tag) return &info->tables[i];
  return nullptr;
}

// Metrics of a long/short metrics table (hmtx or vmtx): advance and bearing.
bool Metrics(const TT_TABLEINFO* info, DWORD tag, WORD longCount, WORD index, WORD* advance, SHORT* bearing) {
  const TT_TABLEENTRY* t = Entry(info, tag);
  if (!t || index >= info->numGlyphs) return false;
  uint64_t adv = 0, lsb = 2;  // with no long entries, the first entry
  if (longCount > 0 && index < longCount) {
    adv = 4ull * index;
    lsb = adv + 2;
  } else if (longCount > 0) {
    adv = 4ull * (longCount - 1);
    lsb = 4ull * longCount + 2ull * (index - longCount);
  }
  if (!Inside(adv, 2, t->length) || !Inside(lsb, 2, t->length)) return false;
  *advance = Be16(t->data + adv);
  *bearing = static_cast<SHORT>(Be16(t->data + lsb));
  return true;
}

BYTE* Alloc(DWORD size) { return static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, size, kTag)); }

BYTE GlyphClass(const TT_TABLEINFO* info) {
  if (!info->glyphMetrics) return 0;
  return info->hasVMetrics ? 2 : 1;
}

DWORD RecordHeaderSize(BYTE cls) { return cls == 0 ? 6 : cls == 1 ? 10 : 12; }

// Walks a composite's component records: calls visit(component) for each;
// false when a record passes the glyph's end.
template <typename Visit>
bool WalkComponents(const BYTE* glyph, DWORD length, Visit visit) {
  DWORD at = kGlyphHeaderSize;
  for (;;) {
    if (!Inside(at, 4, length)) return false;
    WORD flags = Be16(glyph + at);
    WORD component = Be16(glyph + at + 2);
    DWORD record = 4 + ((flags & ARG_1_AND_2_ARE_WORDS) ? 4 : 2);
    if (flags & WE_HAVE_A_SCALE)
      record += 2;
    else if (flags & WE_HAVE_AN_X_AND_Y_SCALE)
      record += 4;
    else if (flags & WE_HAVE_A_TWO_BY_TWO)
      record += 8;
    if (!Inside(at, record, length)) return false;
    if (!visit(component)) return false;
    at += record;
    if (!(flags & MORE_COMPONENTS)) return true;
  }
}

bool CheckTree(const TT_TABLEINFO* info, WORD index, WORD* path, int depth) {
  if (depth >= TT_MAX_COMPONENT_DEPTH) return false;
  for (int i = 0; i < depth; ++i)
    if (path[i] == index) return false;  // itself or a cycle
  const BYTE* data = nullptr;
  DWORD length = 0;
  BOOL composite = FALSE;
  if (xltext_GetGlyph(info, index, &data, &length, &composite) != 0) return false;
  BYTE cls = GlyphClass(info);
  if (RecordHeaderSize(cls) + static_cast<uint64_t>(length) - 2 > 0xFFFF) return false;
  if (cls >= 1) {
    WORD aw = 0;
    SHORT b = 0;
    if (xltext_GetAWandLSB(info, index, &aw, &b) != 0) return false;
    if (cls == 2 && xltext_GetAHandTSB(info, index, &aw, &b) != 0) return false;
  }
  if (!composite) return true;
  path[depth] = index;
  return WalkComponents(data, length, [&](WORD c) { return CheckTree(info, c, path, depth + 1); });
}

LONG WriteHeaderPieces(PDEV* pdev, const BYTE* block, DWORD size) {
  for (DWORD at = 0; at < size;) {
    DWORD n = size - at > XL_FONTHEADER_PIECE ? XL_FONTHEADER_PIECE : size - at;
    if (xl_ReadFontHeader(&pdev->xl, n, block + at) != 0) return -1;
    at += n;
  }
  return 0;
}

DWORD NameLength(const char* name) {
  DWORD n = 0;
  while (n < static_cast<DWORD>(XL_FONTNAME_MAX) && name[n]) ++n;
  return n;
}

LONG DeviceResolutionY(PDEV* pdev, LONG x) {
  LONG v = 0;
  if (!ddm_GetNumber(DDM_YRESOLUTION, pdev->devmode, pdev->printerData, &v) || v <= 0) return x;
  return v;
}

// Format-4 subtable of the first (3, any) record: offset and length in cmap.
bool Format4(const TT_TABLEINFO* info, const BYTE** sub, DWORD* subLength, BOOL* symbol) {
  const TT_TABLEENTRY* t = Entry(info, TtTag('c', 'm', 'a', 'p'));
  if (!t || t->length < 4) return false;
  DWORD n = Be16(t->data + 2);
  if (!Inside(4, static_cast<uint64_t>(n) * 8, t->length)) return false;
  for (DWORD i = 0; i < n; ++i) {
    const BYTE* r = t->data + 4 + i * 8;
    if (Be16(r) != kPlatformWindows) continue;
    DWORD off = Be32(r + 4);
    if (!Inside(off, 4, t->length)) continue;
    if (Be16(t->data + off) != 4) continue;
    DWORD len = Be16(t->data + off + 2);
    if (!Inside(off, len, t->length)) len = t->length - off;  // a length past the table is cut to it
    *sub = t->data + off;
    *subLength = len;
    if (symbol) *symbol = Be16(r + 2) == 0 ? TRUE : FALSE;
    return true;
  }
  return false;
}

// A code through a format-4 subtable; 0 when missing.
WORD MapFormat4(const BYTE* sub, DWORD length, WORD code) {
  if (length < 14) return 0;
  DWORD segX2 = Be16(sub + 6);
  if (segX2 % 2 != 0 || !Inside(16, 4ull * segX2, length)) return 0;
  DWORD ends = 14, starts = 16 + segX2, deltas = 16 + 2 * segX2, ranges = 16 + 3 * segX2;
  for (DWORD i = 0; i < segX2 / 2; ++i) {
    WORD end = Be16(sub + ends + 2 * i);
    if (end < code) continue;
    WORD start = Be16(sub + starts + 2 * i);
    if (start > code) return 0;
    WORD delta = Be16(sub + deltas + 2 * i);
    WORD rangeOffset = Be16(sub + ranges + 2 * i);
    if (rangeOffset == 0) return static_cast<WORD>(code + delta);
    uint64_t at = ranges + 2ull * i + rangeOffset + 2ull * (code - start);
    if (!Inside(at, 2, length)) return 0;
    WORD g = Be16(sub + at);
    return g == 0 ? 0 : static_cast<WORD>(g + delta);
  }
  return 0;
}

// GSUB: the single-substitution subtable of the first "vert" feature, as
// an offset in the table; 0 when there is none usable.
DWORD VertSubtable(const BYTE* g, DWORD len) {
  if (len < 10) return 0;
  DWORD featureList = Be16(g + 6), lookupList = Be16(g + 8);
  if (!Inside(featureList, 2, len) || !Inside(lookupList, 2, len)) return 0;
  DWORD nFeatures = Be16(g + featureList);
  if (!Inside(featureList + 2, 6ull * nFeatures, len)) return 0;
  for (DWORD i = 0; i < nFeatures; ++i) {
    const BYTE* rec = g + featureList + 2 + 6 * i;
    if (Be32(rec) != kTagVert) continue;
    DWORD feature = featureList + Be16(rec + 4);
    if (!Inside(feature, 4, len) || Be16(g + feature + 2) != 1 || !Inside(feature + 4, 2, len)) return 0;
    DWORD lookupIndex = Be16(g + feature + 4);
    DWORD nLookups = Be16(g + lookupList);
    if (lookupIndex >= nLookups || !Inside(lookupList + 2, 2ull * nLookups, len)) return 0;
    DWORD lookup = lookupList + Be16(g + lookupList + 2 + 2 * lookupIndex);
    if (!Inside(lookup, 8, len)) return 0;
    if (Be16(g + lookup) != 1 || Be16(g + lookup + 4) != 1) return 0;
    DWORD sub = lookup + Be16(g + lookup + 6);
    if (!Inside(sub, 6, len)) return 0;
    DWORD coverage = sub + Be16(g + sub + 2);
    if (!Inside(coverage, 4, len)) return 0;
    return sub;
  }
  return 0;
}

// The coverage index of a glyph; -1 when not covered or unreadable.
LONG CoverageIndex(const BYTE* g, DWORD len, DWORD coverage, WORD glyph) {
  if (!Inside(coverage, 4, len)) return -1;
  WORD format = Be16(g + coverage);
  DWORD n = Be16(g + coverage + 2);
  if (format == 1) {
    if (!Inside(coverage + 4, 2ull * n, len)) return -1;
    for (DWORD i = 0; i < n; ++i)
      if (Be16(g + coverage + 4 + 2 * i) == glyph) return static_cast<LONG>(i);
    return -1;
  }
  if (format == 2) {
    if (!Inside(coverage + 4, 6ull * n, len)) return -1;
    for (DWORD i = 0; i < n; ++i) {
      const BYTE* r = g + coverage + 4 + 6 * i;
      WORD start = Be16(r), end = Be16(r + 2), first = Be16(r + 4);
      if (glyph >= start && glyph <= end) return static_cast<LONG>(first) + (glyph - start);
    }
  }
  return -1;
}

}  // namespace

// ---- table information ---------------------------------------------------------

LONG xltext_GetTTFHead(const BYTE* file, DWORD size, LPCWSTR faceName) {
  if (!file || !faceName || size < 12 || Be32(file) != kTagTtcf) return -1;
  LPCWSTR want = Unvertical(faceName);
  uint64_t members = Be32(file + 8);
  if (!Inside(12, members * 4, size)) return -1;
  for (uint64_t i = 0; i < members; ++i) {
    DWORD base = Be32(file + 12 + 4 * i);
    if (!MemberOk(file, size, base)) continue;
    if (NameMatches(file, size, base, want)) return static_cast<LONG>(base);
  }
  return -1;
}

LONG xltext_CreateTableInfoFromFile(const BYTE* file, DWORD size, LPCWSTR faceName, TT_TABLEINFO* info) {
  if (!info) return -1;
  std::memset(info, 0, sizeof(*info));
  for (TT_TABLEENTRY& e : info->tables) e.tag = TT_TAG_END;
  if (!file || size < kOffsetTableSize || !faceName) return -1;
  uint64_t base = 0;
  DWORD version = Be32(file);
  if (version == kTagTtcf) {
    LONG at = xltext_GetTTFHead(file, size, faceName);
    if (at < 0) return -1;
    base = static_cast<DWORD>(at);
  } else if (!MemberOk(file, size, 0)) {
    return -1;
  }
  info->version = version;
  info->file = file;
  info->fileSize = size;
  info->base = file + base;
  DWORD n = Be16(file + base + 4);
  int recorded = 0;
  for (DWORD i = 0; i < n; ++i) {
    const BYTE* e = file + base + kOffsetTableSize + i * kDirEntrySize;
    DWORD tag = Be32(e);
    bool named = false;
    for (DWORD name : TableInfoNames) named = named || name == tag;
    if (!named || Entry(info, tag)) continue;
    DWORD off = Be32(e + 8), len = Be32(e + 12);
    if (!Inside(off, len, size)) return -1;  // a table outside the file
    info->tables[recorded++] = TT_TABLEENTRY{tag, 0, file + off, len};
  }
  const TT_TABLEENTRY* maxp = Entry(info, TtTag('m', 'a', 'x', 'p'));
  const TT_TABLEENTRY* hhea = Entry(info, TtTag('h', 'h', 'e', 'a'));
  const TT_TABLEENTRY* head = Entry(info, TtTag('h', 'e', 'a', 'd'));
  const TT_TABLEENTRY* loca = Entry(info, TtTag('l', 'o', 'c', 'a'));
  const TT_TABLEENTRY* glyf = Entry(info, TtTag('g', 'l', 'y', 'f'));
  const TT_TABLEENTRY* hmtx = Entry(info, TtTag('h', 'm', 't', 'x'));
  if (!maxp || maxp->length < 6 || !hhea || hhea->length < 36 || !head || head->length < 54 || !loca || !glyf ||
      !hmtx)
    return -1;
  info->numGlyphs = Be16(maxp->data + 4);
  info->numHMetrics = Be16(hhea->data + 34);
  info->locFormat = static_cast<SHORT>(Be16(head->data + 50));
  if (info->numGlyphs == 0 || (info->locFormat != 0 && info->locFormat != 1)) return -1;
  uint64_t locaNeeded = (static_cast<uint64_t>(info->numGlyphs) + 1) * (info->locFormat ? 4 : 2);
  if (loca->length < locaNeeded) return -1;
  // hmtx holds every glyph's metrics.
  auto metricsSize = [&](WORD longCount) -> uint64_t {
    if (longCount == 0) return 4;
    WORD l = longCount < info->numGlyphs ? longCount : info->numGlyphs;
    return 4ull * l + 2ull * (info->numGlyphs - l);
  };
  if (hmtx->length < metricsSize(info->numHMetrics)) return -1;
  if (faceName[0] == u'@') {
    const TT_TABLEENTRY* vhea = Entry(info, TtTag('v', 'h', 'e', 'a'));
    const TT_TABLEENTRY* vmtx = Entry(info, TtTag('v', 'm', 't', 'x'));
    if (vhea && vmtx) {
      if (vhea->length < 36) return -1;
      info->numVMetrics = Be16(vhea->data + 34);
      if (vmtx->length < metricsSize(info->numVMetrics)) return -1;
      info->hasVMetrics = TRUE;
    }
  }
  return 0;
}

LONG xltext_CreateTableInfo(PDEV* pdev, FONTOBJ* pfo, LPCWSTR faceName, TT_TABLEINFO* info) {
  if (!pdev || !pfo || !info) return -1;
  ULONG size = 0;
  const BYTE* file = static_cast<const BYTE*>(FONTOBJ_pvTrueTypeFontFile(pfo, &size));
  if (!file) {
    std::memset(info, 0, sizeof(*info));
    return -1;
  }
  if (xltext_CreateTableInfoFromFile(file, size, faceName, info) != 0) return -1;
  DWORD item = 0;
  if (pdev->dddMain &&
      ddd_GetPrinterInfo_orderedItem(pdev->dddMain, TT_PI_GLYPH_METRICS_ITEM, sizeof item, 0, &item) == DDD_OK)
    info->glyphMetrics = (item & TT_PI26_GLYPH_METRICS) ? TRUE : FALSE;
  return 0;
}

LONG xltext_GetTable(const TT_TABLEINFO* info, DWORD tag, const BYTE** data, DWORD* length) {
  const TT_TABLEENTRY* e = info ? Entry(info, tag) : nullptr;
  if (data) *data = e ? e->data : nullptr;
  if (length) *length = e ? e->length : 0;
  return e ? 0 : -1;
}

LONG xltext_GetTable_4B(const TT_TABLEINFO* info, DWORD tag, const BYTE** data, DWORD* length4) {
  DWORD len = 0;
  LONG r = xltext_GetTable(info, tag, data, &len);
  if (length4) *length4 = r == 0 ? Round4(len) : 0;
  return r;
}

WORD xltext_GetNumGlyphs(const TT_TABLEINFO* info) { return info ? info->numGlyphs : 0; }
WORD xltext_GetNumOfHMetrics(const TT_TABLEINFO* info) { return info ? info->numHMetrics : 0; }
WORD xltext_GetNumOfVMetrics(const TT_TABLEINFO* info) { return info ? info->numVMetrics : 0; }
SHORT xltext_GetLocFormat(const TT_TABLEINFO* info) { return info ? info->locFormat : 0; }

// ---- font headers --------------------------------------------------------------

const DWORD* xltext_HeaderList(const TT_TABLEINFO* info, DWORD* count) {
  if (info->glyphMetrics) {
    *count = 6;
    return FontHeaderNames_woM;
  }
  if (info->hasVMetrics) {
    *count = 10;
    return FontHeaderNames_wHVM;
  }
  *count = 8;
  return FontHeaderNames_wHM;
}

DWORD xltext_CalcCheckSum(const BYTE* data, DWORD length, const BYTE* fileEnd) {
  DWORD sum = 0;
  for (DWORD at = 0; at < Round4(length); at += 4) {
    BYTE word[4] = {0, 0, 0, 0};
    for (DWORD k = 0; k < 4; ++k)
      if (data + at + k < fileEnd) word[k] = data[at + k];
    sum += Be32(word);
  }
  return sum;
}

DWORD xltext_GetAllTableSize(const TT_TABLEINFO* info, const DWORD* list, DWORD count) {
  DWORD total = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (list[i] == kTagGdir) continue;
    const TT_TABLEENTRY* e = Entry(info, list[i]);
    if (e) total += Round4(e->length);
  }
  return total;
}

void xltext_Create_XLFontHeader(BYTE* out, WORD symbolSet, BYTE technology, WORD numChars) {
  out[0] = 0;  // format
  out[1] = 0;  // orientation
  PutBe16(out + 2, symbolSet);
  out[4] = technology;
  out[5] = 0;  // variety
  PutBe16(out + 6, numChars);
}

DWORD xltext_Create_GTSegment(BYTE* out, const TT_TABLEINFO* info, const DWORD* list, DWORD count) {
  DWORD tables = xltext_GetAllTableSize(info, list, count);
  out[0] = 'G';
  out[1] = 'T';
  PutBe32(out + 2, kOffsetTableSize + kDirEntrySize * count + tables);
  BYTE* ot = out + 6;
  PutBe32(ot, info->version);
  PutBe16(ot + 4, static_cast<WORD>(count));
  WORD p = 1, log2 = 0;
  while (static_cast<DWORD>(p) * 2 <= count) {
    p = static_cast<WORD>(p * 2);
    ++log2;
  }
  PutBe16(ot + 6, static_cast<WORD>(16 * p));
  PutBe16(ot + 8, log2);
  PutBe16(ot + 10, static_cast<WORD>(16 * (count - p)));
  DWORD offset = kOffsetTableSize + kDirEntrySize * count;
  BYTE* dir = ot + kOffsetTableSize;
  const BYTE* fileEnd = info->file + info->fileSize;
  for (DWORD i = 0; i < count; ++i) {
    if (list[i] == kTagGdir) {
      PutBe32(dir, kTagGdir);  // checksum, offset and length 0
      dir += kDirEntrySize;
      continue;
    }
    const TT_TABLEENTRY* e = Entry(info, list[i]);
    if (!e) continue;  // no entry: its 16 bytes stay zero at the end
    PutBe32(dir, e->tag);
    PutBe32(dir + 4, xltext_CalcCheckSum(e->data, e->length, fileEnd));
    PutBe32(dir + 8, offset);
    PutBe32(dir + 12, e->length);
    std::memcpy(ot + offset, e->data, e->length);
    offset += Round4(e->length);
    dir += kDirEntrySize;
  }
  return 6 + kOffsetTableSize + kDirEntrySize * count + tables;
}

void xltext_Create_BRSegment(BYTE* out, WORD xResolution, WORD yResolution) {
  out[0] = 'B';
  out[1] = 'R';
  PutBe32(out + 2, 4);
  PutBe16(out + 6, xResolution);
  PutBe16(out + 8, yResolution);
}

void xltext_Create_NULLSegment(BYTE* out) {
  PutBe16(out, 0xFFFF);
  PutBe32(out + 2, 0);
}

BYTE* xltext_BuildFontHeader_TT(const TT_TABLEINFO* info, WORD symbolSet, WORD numChars, DWORD* size) {
  if (size) *size = 0;
  if (!info || !size) return nullptr;
  DWORD count = 0;
  const DWORD* list = xltext_HeaderList(info, &count);
  uint64_t tables = 0;
  for (DWORD i = 0; i < count; ++i) {
    const TT_TABLEENTRY* e = list[i] == kTagGdir ? nullptr : Entry(info, list[i]);
    if (e) tables += Round4(e->length);
  }
  uint64_t total = 8 + 6 + kOffsetTableSize + kDirEntrySize * count + tables + 6;
  if (total > 0x7FFFFFFFu) return nullptr;
  BYTE* block = Alloc(static_cast<DWORD>(total));
  if (!block) return nullptr;
  xltext_Create_XLFontHeader(block, symbolSet, XL_FONT_TECH_TRUETYPE, numChars);
  DWORD gt = xltext_Create_GTSegment(block + 8, info, list, count);
  xltext_Create_NULLSegment(block + 8 + gt);
  *size = static_cast<DWORD>(total);
  return block;
}

LONG xltext_SendFontHeader_TT(PDEV* pdev, WORD numChars, const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info,
                              BOOL* nothingSent) {
  *nothingSent = TRUE;
  DWORD size = 0;
  BYTE* block = xltext_BuildFontHeader_TT(info, cs->symbolSet, numChars, &size);
  if (!block) return -1;
  *nothingSent = FALSE;
  LONG r = -1;
  if (xl_BeginFontHeader(&pdev->xl, NameLength(cs->fontName), cs->fontName) == 0 &&
      WriteHeaderPieces(pdev, block, size) == 0 && xl_EndFontHeader(&pdev->xl) == 0)
    r = 0;
  EngFreeMem(block);
  return r;
}

LONG xltext_SendFontHeader_BM(PDEV* pdev, WORD numChars, const XLTEXT_CHARSTATE* cs) {
  BYTE block[XL_BM_FONTHEADER_SIZE] = {};
  LONG x = pdev_GetDpi(pdev);
  LONG y = DeviceResolutionY(pdev, x);
  xltext_Create_XLFontHeader(block, cs->symbolSet, XL_FONT_TECH_BITMAP, numChars);
  xltext_Create_BRSegment(block + 8, static_cast<WORD>(x), static_cast<WORD>(y));
  xltext_Create_NULLSegment(block + 18);
  if (xl_BeginFontHeader(&pdev->xl, NameLength(cs->fontName), cs->fontName) != 0) return -1;
  if (xl_ReadFontHeader(&pdev->xl, sizeof block, block) != 0) return -1;
  return xl_EndFontHeader(&pdev->xl) == 0 ? 0 : -1;
}

LONG xltext_SendFontHeader(PDEV* pdev, FONTOBJ*, STROBJ*, ULONG count, BYTE kind, const XLTEXT_CHARSTATE* cs,
                           const TT_TABLEINFO* info) {
  if (!pdev || !cs || (kind == XLFONT_KIND_OUTLINE && !info)) return -1;
  const char* name = cs->fontName;
  if (xlfont_CheckOverflow(pdev, name, count) == 1) {
    if (xlfont_DeleteFont(pdev, name) != 0) return -1;
    xlfont_InitXLCGS(pdev);
  }
  BOOL large = count >= XLFONT_INLINE_GLYPHS ? TRUE : FALSE;
  DWORD numChars = XLFONT_INLINE_GLYPHS;
  if (large) numChars = kind == XLFONT_KIND_OUTLINE ? info->numGlyphs : count;
  if (numChars > XLFONT_MAX_LARGE) return -1;
  BOOL found = FALSE;
  if (xlfont_CheckAndAddFont(pdev, kind, large, numChars, name, &found) != 0) return -1;
  if (found) return 0;
  // The entry is listed before its header goes out; a header that could not
  // even be built is taken back, since the printer saw nothing of it.
  if (kind == XLFONT_KIND_BITMAP) return xltext_SendFontHeader_BM(pdev, static_cast<WORD>(numChars), cs);
  BOOL nothingSent = FALSE;
  if (xltext_SendFontHeader_TT(pdev, static_cast<WORD>(numChars), cs, info, &nothingSent) == 0) return 0;
  if (nothingSent) {
    XLFONT_ENTRY* e = pdev->fontCache;  // the new entry is the head
    pdev->fontCache = e->next;
    --pdev->fontCacheCount;
    if (e->table) EngFreeMem(e->table);
    EngFreeMem(e);
  }
  return -1;
}

// ---- glyphs -----------------------------------------------------------------------

LONG xltext_GetGlyph(const TT_TABLEINFO* info, WORD index, const BYTE** data, DWORD* length, BOOL* composite) {
  *data = nullptr;
  *length = 0;
  *composite = FALSE;
  if (!info || index >= info->numGlyphs) return -1;
  const TT_TABLEENTRY* loca = Entry(info, TtTag('l', 'o', 'c', 'a'));
  const TT_TABLEENTRY* glyf = Entry(info, TtTag('g', 'l', 'y', 'f'));
  if (!loca || !glyf) return -1;
  uint64_t at = 0, next = 0;
  if (info->locFormat == 0) {
    if (!Inside(2ull * index, 4, loca->length)) return -1;
    at = 2ull * Be16(loca->data + 2 * index);
    next = 2ull * Be16(loca->data + 2 * index + 2);
  } else {
    if (!Inside(4ull * index, 8, loca->length)) return -1;
    at = Be32(loca->data + 4 * index);
    next = Be32(loca->data + 4 * index + 4);
  }
  if (next < at || !Inside(at, next - at, glyf->length)) return -1;
  DWORD len = static_cast<DWORD>(next - at);
  if (len == 0) return 0;  // empty: simple, no data
  if (len < kGlyphHeaderSize) return -1;
  *data = glyf->data + at;
  *length = len;
  *composite = ((*data)[0] & 0x80) ? TRUE : FALSE;
  return 0;
}

LONG xltext_GetAWandLSB(const TT_TABLEINFO* info, WORD index, WORD* advance, SHORT* lsb) {
  return Metrics(info, TtTag('h', 'm', 't', 'x'), info->numHMetrics, index, advance, lsb) ? 0 : -1;
}

LONG xltext_GetAHandTSB(const TT_TABLEINFO* info, WORD index, WORD* advance, SHORT* tsb) {
  if (!info->hasVMetrics) return -1;
  return Metrics(info, TtTag('v', 'm', 't', 'x'), info->numVMetrics, index, advance, tsb) ? 0 : -1;
}

LONG xltext_CheckGlyph(const TT_TABLEINFO* info, WORD index) {
  WORD path[TT_MAX_COMPONENT_DEPTH] = {};
  return CheckTree(info, index, path, 0) ? 0 : -1;
}

BYTE* xltext_BuildGlyphRecord_TT(const TT_TABLEINFO* info, WORD index, DWORD* size) {
  *size = 0;
  const BYTE* data = nullptr;
  DWORD length = 0;
  BOOL composite = FALSE;
  if (xltext_GetGlyph(info, index, &data, &length, &composite) != 0) return nullptr;
  BYTE cls = GlyphClass(info);
  DWORD head = RecordHeaderSize(cls);
  uint64_t total = static_cast<uint64_t>(head) + length;
  if (total - 2 > 0xFFFF) return nullptr;
  WORD aw = 0, ah = 0;
  SHORT lsb = 0, tsb = 0;
  if (cls >= 1 && xltext_GetAWandLSB(info, index, &aw, &lsb) != 0) return nullptr;
  if (cls == 2 && xltext_GetAHandTSB(info, index, &ah, &tsb) != 0) return nullptr;
  BYTE* rec = Alloc(static_cast<DWORD>(total));
  if (!rec) return nullptr;
  rec[0] = 1;  // format
  rec[1] = cls;
  PutBe16(rec + 2, static_cast<WORD>(total - 2));
  BYTE* p = rec + 4;
  if (cls >= 1) {
    PutBe16(p, static_cast<WORD>(lsb));
    PutBe16(p + 2, aw);
    p += 4;
  }
  if (cls == 2) {
    PutBe16(p, static_cast<WORD>(tsb));
    p += 2;
  }
  PutBe16(p, index);
  p += 2;
  if (length) std::memcpy(p, data, length);
  *size = static_cast<DWORD>(total);
  return rec;
}

namespace {

// The records of a glyph and its components, in the order they go out,
// built into one block before anything is written: each record is preceded
// by its 32-bit size. Sizes first (no memory), then the block.
bool TreeSize(const TT_TABLEINFO* info, WORD index, int depth, uint64_t* total) {
  if (depth > TT_MAX_COMPONENT_DEPTH) return false;
  const BYTE* data = nullptr;
  DWORD length = 0;
  BOOL composite = FALSE;
  if (xltext_GetGlyph(info, index, &data, &length, &composite) != 0) return false;
  *total += 4 + RecordHeaderSize(GlyphClass(info)) + length;
  if (*total > 0x7FFF0000u) return false;
  if (!composite) return true;
  return WalkComponents(data, length, [&](WORD c) { return TreeSize(info, c, depth + 1, total); });
}

bool TreeFill(const TT_TABLEINFO* info, WORD index, int depth, BYTE* block, DWORD* at) {
  DWORD size = 0;
  BYTE* rec = xltext_BuildGlyphRecord_TT(info, index, &size);
  if (!rec) return false;
  std::memcpy(block + *at, &size, 4);
  std::memcpy(block + *at + 4, rec, size);
  *at += 4 + size;
  EngFreeMem(rec);
  const BYTE* data = nullptr;
  DWORD length = 0;
  BOOL composite = FALSE;
  if (xltext_GetGlyph(info, index, &data, &length, &composite) != 0) return false;
  if (!composite) return true;
  return WalkComponents(data, length, [&](WORD c) { return TreeFill(info, c, depth + 1, block, at); });
}

}  // namespace

LONG xltext_SendChar_TT(PDEV* pdev, WORD index, WORD code, const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info) {
  // The glyph goes out with its components (xltext_SendChar_Composite) or
  // not at all: every record is built before the first is written.
  uint64_t total = 0;
  if (!TreeSize(info, index, 0, &total)) return -1;
  BYTE* block = Alloc(static_cast<DWORD>(total));
  if (!block) return -1;
  DWORD filled = 0;
  LONG r = TreeFill(info, index, 0, block, &filled) ? 0 : -1;
  if (r == 0) {
    DWORD size = 0;
    std::memcpy(&size, block, 4);
    r = xl_ReadChar(&pdev->xl, code, size, block + 4) == 0 ? 0 : -1;
    if (r == 0 && filled > 4 + size)
      r = xltext_SendChar_Composite(pdev, block + 4 + size, filled - 4 - size, cs, info, 1);
  }
  EngFreeMem(block);
  return r;
}

// The component records that follow a composite's own, as built by
// xltext_SendChar_TT (size-prefixed), each with character code 0xFFFF.
LONG xltext_SendChar_Composite(PDEV* pdev, const BYTE* records, DWORD length, const XLTEXT_CHARSTATE*,
                               const TT_TABLEINFO*, int) {
  for (DWORD at = 0; at + 4 <= length;) {
    DWORD size = 0;
    std::memcpy(&size, records + at, 4);
    if (size > length - at - 4) return -1;
    if (xl_ReadChar(&pdev->xl, XL_COMPONENT_CODE, size, records + at + 4) != 0) return -1;
    at += 4 + size;
  }
  return 0;
}

LONG xltext_CalcSimBoldBitmap(const FLOATOBJ* charSize, LONG resolution, LONG* before, LONG* after) {
  FLOATOBJ f = *charSize;
  FLOATOBJ_MulLong(&f, 7200);
  FLOATOBJ_DivLong(&f, resolution > 0 ? resolution : 72);
  LONG s = FLOATOBJ_GetLong(&f);
  LONG b = 0, a = 0;
  if (s < 650) {
    b = a = 0;
  } else if (s < 1500) {
    b = 0, a = 1;
  } else if (s < 2100) {
    b = 1, a = 1;
  } else if (s < 2500) {
    b = 1, a = 2;
  } else if (s < 2900) {
    b = 2, a = 2;
  } else {
    LONG t = (s - 2900) / 600 + 5;
    b = t / 2;
    a = t - b;
  }
  *before = b;
  *after = a;
  return s;
}

void xltext_MakeSimBoldBitmap(const BYTE* src, LONG w, LONG h, BYTE* dst, LONG left, LONG top, LONG right,
                              LONG bottom) {
  LONG dw = w + left + right;
  LONG srcRow = (w + 7) / 8, dstRow = (dw + 7) / 8;
  auto stamp = [&](LONG dx, LONG dy) {
    for (LONG y = 0; y < h; ++y) {
      for (LONG x = 0; x < w; ++x) {
        if (!(src[y * srcRow + x / 8] & (0x80 >> (x % 8)))) continue;
        LONG tx = x + left + dx, ty = y + top + dy;
        dst[ty * dstRow + tx / 8] = static_cast<BYTE>(dst[ty * dstRow + tx / 8] | (0x80 >> (tx % 8)));
      }
    }
  };
  stamp(0, 0);
  for (LONG x = -left; x <= right; ++x) stamp(x, -top);         // top edge, left to right
  for (LONG y = -top; y <= bottom; ++y) stamp(-left, y);        // left edge, top to bottom
  for (LONG x = right; x >= -left; --x) stamp(x, bottom);       // bottom edge, right to left
  for (LONG y = bottom; y >= -top; --y) stamp(right, y);        // right edge, bottom to top
}

BYTE* xltext_BuildGlyphRecord_BM(const GLYPHBITS* bits, BOOL bold, LONG before, LONG after, DWORD* size) {
  *size = 0;
  if (!bits) return nullptr;
  LONG w = bits->sizlBitmap.cx, h = bits->sizlBitmap.cy;
  LONG left = bold ? before : 0, top = bold ? after : 0, right = bold ? after : 0, bottom = bold ? before : 0;
  if (w <= 0 || h <= 0) return nullptr;
  int64_t nw = static_cast<int64_t>(w) + left + right, nh = static_cast<int64_t>(h) + top + bottom;
  int64_t ox = static_cast<int64_t>(bits->ptlOrigin.x) - left, oy = static_cast<int64_t>(top) - bits->ptlOrigin.y;
  if (nw > 0xFFFF || nh > 0xFFFF || ox < -32768 || ox > 32767 || oy < -32768 || oy > 32767) return nullptr;
  uint64_t rows = static_cast<uint64_t>((nw + 7) / 8) * static_cast<uint64_t>(nh);
  if (rows > 0x7FFFFFF0u - 10) return nullptr;
  BYTE* rec = Alloc(static_cast<DWORD>(10 + rows));
  if (!rec) return nullptr;
  rec[0] = 0;  // format
  rec[1] = 0;  // class
  PutBe16(rec + 2, static_cast<WORD>(static_cast<SHORT>(ox)));
  PutBe16(rec + 4, static_cast<WORD>(static_cast<SHORT>(oy)));
  PutBe16(rec + 6, static_cast<WORD>(nw));
  PutBe16(rec + 8, static_cast<WORD>(nh));
  if (bold) {
    xltext_MakeSimBoldBitmap(bits->aj, w, h, rec + 10, left, top, right, bottom);
  } else {
    std::memcpy(rec + 10, bits->aj, static_cast<size_t>(rows));
  }
  *size = static_cast<DWORD>(10 + rows);
  return rec;
}

LONG xltext_SendChar_BM(PDEV* pdev, FONTOBJ* pfo, HGLYPH hg, const GLYPHBITS* bits, WORD code,
                        const XLTEXT_CHARSTATE* cs) {
  if (!bits) {
    GLYPHDATA* gd = nullptr;
    if (!pfo || FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &hg, reinterpret_cast<PVOID*>(&gd)) != 1 || !gd ||
        !gd->gdf.pgb)
      return -1;
    bits = gd->gdf.pgb;
  }
  BOOL bold = (pfo && (pfo->flFontType & FO_SIM_BOLD)) ? TRUE : FALSE;
  LONG before = 0, after = 0;
  if (bold) xltext_CalcSimBoldBitmap(&cs->charSize, pdev_GetDpi(pdev), &before, &after);
  DWORD size = 0;
  BYTE* rec = xltext_BuildGlyphRecord_BM(bits, bold, before, after, &size);
  if (!rec) return -1;
  LONG r = xl_ReadChar(&pdev->xl, code, size, rec) == 0 ? 0 : -1;
  EngFreeMem(rec);
  return r;
}

LONG xltext_SendChar(PDEV* pdev, FONTOBJ* pfo, STROBJ*, ULONG count, const GLYPHPOS* pgp, BYTE kind,
                     const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info, WORD* codes) {
  if (!pdev || !cs || !codes || (kind == XLFONT_KIND_OUTLINE && !info)) return -1;
  const char* name = cs->fontName;
  XLFONT_ENTRY* font = xlfont_FindFont(pdev, name);
  if (!font) return -1;
  // Every new glyph is checked before anything is written.
  if (kind == XLFONT_KIND_OUTLINE) {
    for (ULONG i = 0; i < count; ++i)
      if (xlfont_FindGlyph(font, codes[i]) < 0 && xltext_CheckGlyph(info, codes[i]) != 0) return -1;
  }
  BOOL begun = FALSE;
  // A glyph that fails after BeginChar closes the block (EndChar), so that
  // the operators of the next call are not taken for the character block's.
  auto failed = [&]() {
    if (begun) xl_EndChar(&pdev->xl);
    return -1;
  };
  for (ULONG i = 0; i < count; ++i) {
    WORD code = 0;
    BOOL found = FALSE;
    WORD glyph = codes[i];
    if (xlfont_CheckAndAddGlyphID(pdev, glyph, &code, name, &found) != 0) return failed();
    if (!found) {
      if (!begun && xl_BeginChar(&pdev->xl, NameLength(name), name) != 0) {
        xlfont_TakeBackGlyph(pdev, name, code);
        return -1;
      }
      begun = TRUE;
      LONG r = -1;
      if (kind == XLFONT_KIND_OUTLINE) {
        r = xltext_SendChar_TT(pdev, glyph, code, cs, info);
      } else {
        const GLYPHBITS* bits = (pgp && pgp[i].pgdf) ? pgp[i].pgdf->pgb : nullptr;
        r = xltext_SendChar_BM(pdev, pfo, pgp ? pgp[i].hg : glyph, bits, code, cs);
      }
      if (r != 0) {
        xlfont_TakeBackGlyph(pdev, name, code);
        return failed();
      }
    }
    codes[i] = code;
  }
  if (begun && xl_EndChar(&pdev->xl) != 0) return -1;
  return 0;
}

// ---- glyph mapping ---------------------------------------------------------------

LONG xltext_CheckCmapSubtable4(const TT_TABLEINFO* info, BOOL* format4, BOOL* symbol) {
  *format4 = FALSE;
  *symbol = FALSE;
  const BYTE* sub = nullptr;
  DWORD len = 0;
  if (!info || !Format4(info, &sub, &len, symbol)) return 0;
  *format4 = TRUE;
  return 0;
}

LONG xltext_ConvertSymbolGlyph(const TT_TABLEINFO* info, const IFIMETRICS* ifi, ULONG count, WORD* codes) {
  if (!info || !ifi || !codes) return -1;
  const BYTE* sub = nullptr;
  DWORD len = 0;
  if (!Format4(info, &sub, &len, nullptr)) return -1;
  auto moved = [](WORD c) { return c < 256 ? static_cast<WORD>(0xF000 + c) : c; };
  auto glyphOf = [&](WORD c) {
    WORD g = MapFormat4(sub, len, c);
    return g < info->numGlyphs ? g : static_cast<WORD>(0);
  };
  WORD first = ifi->wcFirstChar, last = ifi->wcLastChar;
  WORD defaultGlyph = glyphOf(moved(ifi->wcDefaultChar));
  for (ULONG i = 0; i < count; ++i) {
    WORD c = moved(codes[i]);
    WORD g = (c < first || c > last) ? 0 : glyphOf(c);
    codes[i] = g ? g : defaultGlyph;
  }
  return 0;
}

LONG xltext_ConvertVerticalText_mort(const TT_TABLEINFO* info, ULONG count, WORD* glyphs) {
  if (!info || !glyphs) return -1;
  const BYTE* mort = nullptr;
  DWORD len = 0;
  if (xltext_GetTable(info, TtTag('m', 'o', 'r', 't'), &mort, &len) != 0)
    return xltext_ConvertVerticalText_GSUB(info, count, glyphs);
  for (ULONG i = 0; i < count; ++i) {
    for (DWORD at = kMortPairsAt; Inside(at, 4, len); at += 4) {
      WORD from = Be16(mort + at);
      if (from == kMortEnd) break;
      if (from == glyphs[i]) {
        glyphs[i] = Be16(mort + at + 2);
        break;
      }
    }
  }
  return 0;
}

WORD xltext_ConvertVerticalGlyph_GSUB_1(const BYTE* g, DWORD len, DWORD sub, WORD glyph) {
  if (!Inside(sub, 6, len)) return glyph;
  LONG index = CoverageIndex(g, len, sub + Be16(g + sub + 2), glyph);
  if (index < 0) return glyph;
  return static_cast<WORD>(glyph + Be16(g + sub + 4));
}

WORD xltext_ConvertVerticalGlyph_GSUB_2(const BYTE* g, DWORD len, DWORD sub, WORD glyph) {
  if (!Inside(sub, 6, len)) return glyph;
  LONG index = CoverageIndex(g, len, sub + Be16(g + sub + 2), glyph);
  DWORD n = Be16(g + sub + 4);
  if (index < 0 || static_cast<DWORD>(index) >= n) return glyph;
  uint64_t at = sub + 6ull + 2ull * static_cast<DWORD>(index);
  if (!Inside(at, 2, len)) return glyph;
  return Be16(g + at);
}

LONG xltext_ConvertVerticalText_GSUB_1(const BYTE* g, DWORD len, DWORD sub, ULONG count, WORD* glyphs) {
  for (ULONG i = 0; i < count; ++i) glyphs[i] = xltext_ConvertVerticalGlyph_GSUB_1(g, len, sub, glyphs[i]);
  return 0;
}

LONG xltext_ConvertVerticalText_GSUB_2(const BYTE* g, DWORD len, DWORD sub, ULONG count, WORD* glyphs) {
  for (ULONG i = 0; i < count; ++i) glyphs[i] = xltext_ConvertVerticalGlyph_GSUB_2(g, len, sub, glyphs[i]);
  return 0;
}

LONG xltext_ConvertVerticalText_GSUB(const TT_TABLEINFO* info, ULONG count, WORD* glyphs) {
  if (!info || !glyphs) return -1;
  const BYTE* g = nullptr;
  DWORD len = 0;
  if (xltext_GetTable(info, TtTag('G', 'S', 'U', 'B'), &g, &len) != 0) return 0;
  DWORD sub = VertSubtable(g, len);
  if (sub == 0) return 0;
  WORD format = Be16(g + sub);
  if (format == 1) return xltext_ConvertVerticalText_GSUB_1(g, len, sub, count, glyphs);
  if (format == 2) return xltext_ConvertVerticalText_GSUB_2(g, len, sub, count, glyphs);
  return 0;
}
