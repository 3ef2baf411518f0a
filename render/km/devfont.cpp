// Device fonts: reading the XFM records, the metrics blocks handed to the
// engine, the font set, the installed TrueType families and the DEVINFO
// default font. Decisions are written in devfont.h and render/km/README.md.
#include "devfont.h"

#include <atomic>
#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_services.h"
#include "kplatform/byte_order.h"
#include "kplatform/long_range.h"
#include "kplatform/wide_text.h"
#include "km_entry.h"

namespace {

constexpr UINT kAnsiCodePage = 1252;
constexpr UINT kShiftJisCodePage = 932;

// IFIMETRICS.flInfo of every device font: arbitrary transforms (0x10),
// not-contiguous glyph set (0x2000), 90-degree rotations (0x80000).
constexpr ULONG kIfiInfo = 0x82010;
// Fixed-pitch fonts: optically fixed pitch and constant width.
constexpr ULONG kIfiFixed = FM_INFO_OPTICALLY_FIXED_PITCH | FM_INFO_CONSTANT_WIDTH;
// Far-eastern fixed-pitch fonts: no optically-fixed bit, DBCS fixed pitch.
constexpr ULONG kIfiDbcsFixedAdd = FM_INFO_DBCS_FIXED_PITCH;
constexpr USHORT kUnitsPerEm = 1000;
constexpr WORD kWeightNormal = 400;
constexpr WORD kWeightMax = 1000;
constexpr WORD kWeightBoldAdd = 300;
// Shift-JIS fonts: the break and default characters, and the Unicode range.
constexpr BYTE kSjisBreak = 32;
constexpr BYTE kSjisDefault = 165;
constexpr WCHAR kSjisDefaultUnicode = 0xFF65;  // the half-width katakana middle dot
constexpr WCHAR kSjisLastUnicode = 65509;      // U+FFE5, the full-width yen sign
// m[4] above this: the strike-out position is a quarter of its high half.
constexpr DWORD kStrikeQuarterAbove = 0x370FFFF;
constexpr BYTE kPanoseProportionMonospaced = 9;
// The extended width block: three 16-bit counts, each before its table.
constexpr DWORD kExtRange = 6;  // {first, last, width}
constexpr DWORD kExtArea = 8;   // {first, last, 32-bit offset}
constexpr DWORD kExtPair = 4;   // {code, width}

WORD Lo(DWORD v) { return static_cast<WORD>(v & 0xFFFF); }
SHORT Hi(DWORD v) { return static_cast<SHORT>(v >> 16); }

bool IsFarEast(BYTE cs) {
  return cs == SHIFTJIS_CHARSET || cs == HANGEUL_CHARSET || cs == GB2312_CHARSET || cs == CHINESEBIG5_CHARSET;
}

// Length of a NUL-terminated 8-bit string starting at `at` that must end
// within [xfm, xfm + size); -1 when it runs past.
LONG StrLenWithin(const BYTE* xfm, DWORD size, DWORD at) {
  for (DWORD i = at; i < size; ++i)
    if (xfm[i] == 0) return static_cast<LONG>(i - at);
  return -1;
}

// Record offset of the variable part at fixed offset `field` (0 stays 0).
DWORD VarOffset(const BYTE* xfm, DWORD field) {
  DWORD o = kp_LoadU32(xfm + field);
  return o == 0 ? 0 : o;
}

// The face name and family name positions of a checked record.
const char* FaceName(const BYTE* xfm) {
  return reinterpret_cast<const char*>(xfm + xfm::kOffsetBase + kp_LoadU32(xfm + xfm::kFaceName));
}
const char* FamilyName(const BYTE* xfm) {
  const char* face = FaceName(xfm);
  return face + std::strlen(face) + 1;
}

// The 8-bit text to UTF-16 in a code page, at most `maxChars` characters;
// answers the characters written (the output is NUL-terminated).
DWORD ToWide(UINT cp, const char* text, WCHAR* out, DWORD maxChars) {
  out[0] = 0;
  DWORD len = static_cast<DWORD>(std::strlen(text));
  if (len == 0) return 0;
  WCHAR tmp[256];
  if (len > 255) len = 255;
  INT got = EngMultiByteToWideChar(cp, tmp, static_cast<INT>(sizeof tmp), const_cast<char*>(text), static_cast<INT>(len));
  if (got < 0) {
    // A code page this platform cannot convert: the bytes as Latin-1.
    for (DWORD i = 0; i < len; ++i) tmp[i] = static_cast<BYTE>(text[i]);
    got = static_cast<INT>(len * 2);
  }
  DWORD n = static_cast<DWORD>(got) / 2;
  if (n > maxChars) n = maxChars;
  std::memcpy(out, tmp, n * 2);
  out[n] = 0;
  return n;
}

WCHAR ByteToWide(UINT cp, BYTE b) {
  char c = static_cast<char>(b);
  WCHAR w = 0;
  if (EngMultiByteToWideChar(cp, &w, 2, &c, 1) != 2) return b;
  return w;
}

bool CodePageAvailable(UINT cp) {
  char c = 'A';
  WCHAR w = 0;
  return EngMultiByteToWideChar(cp, &w, 2, &c, 1) == 2;
}

// The smallest integer i >= max(|a|, |b|) with i * i >= a * a + b * b.
ULONG Hipot(LONG a, LONG b) {
  uint64_t x = static_cast<uint64_t>(a < 0 ? -static_cast<int64_t>(a) : a);
  uint64_t y = static_cast<uint64_t>(b < 0 ? -static_cast<int64_t>(b) : b);
  if (x == 0) return static_cast<ULONG>(y);
  if (y == 0) return static_cast<ULONG>(x);
  uint64_t hi = x > y ? x : y, lo = x > y ? y : x;
  uint64_t want = hi * hi + lo * lo;
  // Start from a close guess below the root, then count up.
  uint64_t i = hi;
  uint64_t step = lo / 2;
  while (step > 0 && (i + step) * (i + step) < want) i += step, step /= 2;
  while (i * i < want) ++i;
  return static_cast<ULONG>(i);
}

PDEV* Pdev(DHPDEV dhpdev) { return pdev_FromHandle(dhpdev); }

// The glyph sets shared by every PDEV. The engine may enable the driver
// from several threads at once (one load per device context here), so the
// semaphore and the ANSI set are published once with a compare-exchange:
// a thread that loses frees what it made and uses the winner's.
std::atomic<HSEMAPHORE> hGlyphSetSemaphore{nullptr};
std::atomic<FD_GLYPHSET*> gpGlyphSet{nullptr};
// The one-entry table of prepared glyph sets: kind 6, code 17, the
// Shift-JIS set (glyphSetRKSJ), built on first use and kept.
struct GLYPHSET_ENTRY {
  WORD kind;
  WORD code;
  FD_GLYPHSET* set;
};
GLYPHSET_ENTRY gpGlyphSetArray[1] = {{6, 17, nullptr}};

}  // namespace

// ---- XFM record access ------------------------------------------------------------------

WORD xfmGetWord(const BYTE* p) { return kp_LoadU16(p); }
DWORD xfmGetDWORD(const BYTE* p) { return kp_LoadU32(p); }

const BYTE* xfmGetPtr(const BYTE* xfm, DWORD size, DWORD offset, DWORD need) {
  if (!xfm) return nullptr;
  uint64_t at = static_cast<uint64_t>(offset) + xfm::kOffsetBase;
  if (at + need > size) return nullptr;
  return xfm + at;
}

DWORD xfmStrToHex(const char* text, DWORD maxChars) {
  DWORD v = 0;
  if (!text) return 0;
  for (DWORD i = 0; i < maxChars && text[i]; ++i) {
    char c = text[i];
    DWORD d;
    if (c >= '0' && c <= '9') d = static_cast<DWORD>(c - '0');
    else if (c >= 'a' && c <= 'f') d = static_cast<DWORD>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') d = static_cast<DWORD>(c - 'A' + 10);
    else break;
    v = v << 4 | d;
  }
  return v;
}

DWORD HEXStr2DWORD(const char* text) { return xfmStrToHex(text, 8); }

BOOL xfm_CheckRecord(const BYTE* xfm, DWORD size) {
  if (!xfm || size < xfm::kFixedPart) return FALSE;
  BYTE first = xfm[xfm::kFirstChar], last = xfm[xfm::kLastChar];
  if (last < first) return FALSE;
  DWORD count = static_cast<DWORD>(last - first + 1);
  // Names: face then family, both ending inside the record.
  DWORD face = VarOffset(xfm, xfm::kFaceName);
  if (face == 0 || !xfmGetPtr(xfm, size, face, 1)) return FALSE;
  LONG faceLen = StrLenWithin(xfm, size, face + xfm::kOffsetBase);
  if (faceLen < 0) return FALSE;
  if (StrLenWithin(xfm, size, face + xfm::kOffsetBase + static_cast<DWORD>(faceLen) + 1) < 0) return FALSE;
  // The 13 metric values.
  DWORD metrics = VarOffset(xfm, xfm::kMetrics);
  if (metrics == 0 || !xfmGetPtr(xfm, size, metrics, 4 * xfm::kMetricCount)) return FALSE;
  // The direct width table, and the default character inside it.
  DWORD widths = VarOffset(xfm, xfm::kWidths);
  if (widths != 0) {
    if (!xfmGetPtr(xfm, size, widths, 2 * count)) return FALSE;
    if (xfm[xfm::kDefaultChar] >= count) return FALSE;
  }
  // The extended block: each table's count, then the table.
  DWORD ext = VarOffset(xfm, xfm::kExtWidths);
  if (ext != 0) {
    DWORD at = ext;
    const DWORD sizes[3] = {kExtRange, kExtArea, kExtPair};
    DWORD areaAt = 0, areaCount = 0;
    for (int t = 0; t < 3; ++t) {
      const BYTE* c = xfmGetPtr(xfm, size, at, 2);
      if (!c) return FALSE;
      DWORD n = kp_LoadU16(c);
      if (!xfmGetPtr(xfm, size, at + 2, n * sizes[t])) return FALSE;
      if (t == 1) areaAt = at + 2, areaCount = n;
      at += 2 + n * sizes[t];
    }
    for (DWORD i = 0; i < areaCount; ++i) {
      const BYTE* a = xfmGetPtr(xfm, size, areaAt + i * kExtArea, kExtArea);
      WORD lo = kp_LoadU16(a), hi = kp_LoadU16(a + 2);
      if (hi < lo || !xfmGetPtr(xfm, size, kp_LoadU32(a + 4), 2u * (hi - lo + 1u))) return FALSE;
    }
  }
  // Kerning pairs: the count, then 4 bytes a pair.
  DWORD kern = VarOffset(xfm, xfm::kKernPairs);
  if (kern != 0) {
    const BYTE* c = xfmGetPtr(xfm, size, kern, 2);
    if (!c || !xfmGetPtr(xfm, size, kern + 2, 4u * kp_LoadU16(c))) return FALSE;
  }
  // The font id text.
  DWORD id = VarOffset(xfm, xfm::kFontId);
  if (id == 0 || !xfmGetPtr(xfm, size, id, 1) || StrLenWithin(xfm, size, id + xfm::kOffsetBase) < 0) return FALSE;
  return TRUE;
}

// ---- Width lookup ---------------------------------------------------------------------

void setNrvFontInfo(XFM_WIDTHINFO* info, const BYTE* xfm, DWORD size) {
  std::memset(info, 0, sizeof *info);
  info->xfm = xfm;
  info->xfmSize = size;
  info->first = xfm[xfm::kFirstChar];
  info->last = xfm[xfm::kLastChar];
  DWORD w = VarOffset(xfm, xfm::kWidths);
  info->widthTable = w ? w + xfm::kOffsetBase : 0;
  WORD avg = kp_LoadU16(xfm + xfm::kAvgWidth);
  info->defaultWidth = avg ? avg : xfm::kDefaultWidth;
  DWORD ext = VarOffset(xfm, xfm::kExtWidths);
  if (ext) {
    info->ext = ext;
    info->extRanges = kp_LoadU16(xfm + xfm::kOffsetBase + ext);
    DWORD at = ext + 2 + info->extRanges * kExtRange;
    info->extAreas = kp_LoadU16(xfm + xfm::kOffsetBase + at);
    at += 2 + info->extAreas * kExtArea;
    info->extPairs = kp_LoadU16(xfm + xfm::kOffsetBase + at);
  }
}

LONG xfmSearchCharWidth(const XFM_WIDTHINFO* info, DWORD code) {
  if (!info->ext || info->extPairs == 0) return -1;
  DWORD at = info->ext + 2 + info->extRanges * kExtRange + 2 + info->extAreas * kExtArea + 2;
  const BYTE* pairs = info->xfm + xfm::kOffsetBase + at;
  DWORD lo = 0, hi = info->extPairs;
  while (lo < hi) {
    DWORD mid = lo + (hi - lo) / 2;
    WORD c = kp_LoadU16(pairs + mid * kExtPair);
    if (c == code) return kp_LoadU16(pairs + mid * kExtPair + 2);
    if (c < code) lo = mid + 1;
    else hi = mid;
  }
  return -1;
}

LONG xfmSearchDefaultWidth(const XFM_WIDTHINFO* info, DWORD code) {
  if (!info->ext) return -1;
  const BYTE* r = info->xfm + xfm::kOffsetBase + info->ext + 2;
  for (DWORD i = 0; i < info->extRanges; ++i, r += kExtRange)
    if (code >= kp_LoadU16(r) && code <= kp_LoadU16(r + 2)) return kp_LoadU16(r + 4);
  return -1;
}

LONG xfmSearchAreaWidth(const XFM_WIDTHINFO* info, DWORD code) {
  if (!info->ext) return -1;
  const BYTE* a = info->xfm + xfm::kOffsetBase + info->ext + 2 + info->extRanges * kExtRange + 2;
  for (DWORD i = 0; i < info->extAreas; ++i, a += kExtArea) {
    WORD lo = kp_LoadU16(a), hi = kp_LoadU16(a + 2);
    if (code >= lo && code <= hi) return kp_LoadU16(info->xfm + xfm::kOffsetBase + kp_LoadU32(a + 4) + 2 * (code - lo));
  }
  return -1;
}

LONG xfm_getCharWidth(const XFM_WIDTHINFO* info, DWORD code) {
  if (!info || !info->xfm) return -1;
  if (code >= info->first && code <= info->last) {
    if (!info->widthTable) return info->defaultWidth;
    SHORT w = kp_LoadI16(info->xfm + info->widthTable + 2 * (code - info->first));
    return w < 0 ? 0 : w;
  }
  LONG w = xfmSearchCharWidth(info, code);
  if (w < 0) w = xfmSearchDefaultWidth(info, code);
  if (w < 0) w = xfmSearchAreaWidth(info, code);
  return w;
}

// ---- Sizes of the metrics block -----------------------------------------------------------

DWORD cjKernPairs(const BYTE* xfm, DWORD) {
  DWORD kern = VarOffset(xfm, xfm::kKernPairs);
  DWORD n = kern ? kp_LoadU16(xfm + xfm::kOffsetBase + kern) : 0;
  return static_cast<DWORD>(sizeof(FD_KERNINGPAIR)) * (n + 1);
}

DWORD cjXfmData(const BYTE*, DWORD size) { return size; }

namespace {
DWORD NameBytes(const char* name) {
  DWORD len = static_cast<DWORD>(std::strlen(name));
  if (len > DEVFONT_FACE_CHARS) len = DEVFONT_FACE_CHARS;
  return (2 * len + 5) & ~3u;
}
}  // namespace

DWORD cjFaceNameUnicodeSize(const BYTE* xfm, DWORD) { return NameBytes(FaceName(xfm)); }
DWORD cjFamilyNameUnicodeSize(const BYTE* xfm, DWORD) { return NameBytes(FamilyName(xfm)); }

DWORD cjNrvIFIMETRICS(const BYTE* xfm, DWORD size) {
  return NTFM_IFI_FIXED + cjFaceNameUnicodeSize(xfm, size) + cjFamilyNameUnicodeSize(xfm, size);
}

BOOL MakeNtfmSZ(const BYTE* xfm, DWORD size, NTFM_SIZES* sz) {
  if (!xfm || !sz) return FALSE;
  sz->ifiOffset = NTFM_IFI_OFFSET;
  DWORD kern = VarOffset(xfm, xfm::kKernPairs);
  sz->kernCount = kern ? kp_LoadU16(xfm + xfm::kOffsetBase + kern) : 0;
  sz->kernOffset = sz->ifiOffset + cjNrvIFIMETRICS(xfm, size);
  sz->xfmSize = cjXfmData(xfm, size);
  sz->xfmOffset = sz->kernOffset + cjKernPairs(xfm, size);
  uint64_t total = static_cast<uint64_t>(sz->xfmOffset) + sz->xfmSize;
  if (total > 0x7FFFFFFF) return FALSE;
  sz->total = static_cast<DWORD>(total);
  return TRUE;
}

// ---- Filling the metrics block ------------------------------------------------------------

void vXfmValues(DWORD* values, const BYTE* xfm, DWORD) {
  const BYTE* m = xfm + xfm::kOffsetBase + kp_LoadU32(xfm + xfm::kMetrics);
  for (DWORD i = 0; i < xfm::kMetricCount; ++i) values[i] = kp_LoadU32(m + 4 * i);
}

void vReadCharWidths(const BYTE* xfm, DWORD, WORD* widths) {
  BYTE first = xfm[xfm::kFirstChar], last = xfm[xfm::kLastChar];
  DWORD table = VarOffset(xfm, xfm::kWidths);
  if (table) {
    const BYTE* t = xfm + xfm::kOffsetBase + table;
    SHORT d = kp_LoadI16(t + 2 * xfm[xfm::kDefaultChar]);
    WORD def = static_cast<WORD>(d < 0 ? 0 : d);
    for (int i = 0; i < 256; ++i) widths[i] = def;
    for (DWORD c = first; c <= last; ++c) {
      SHORT w = kp_LoadI16(t + 2 * (c - first));
      widths[c] = static_cast<WORD>(w < 0 ? 0 : w);
    }
    return;
  }
  WORD w = kp_LoadU16(xfm + xfm::kMaxWidth);
  if (IsFarEast(xfm[xfm::kCharSet])) w = static_cast<WORD>(w / 2);
  for (int i = 0; i < 256; ++i) widths[i] = w;
}

void GetFirstLastChar(const BYTE* xfm, DWORD, WCHAR* first, WCHAR* last) {
  if (xfm[xfm::kCharSet] == SHIFTJIS_CHARSET) {
    *first = 0;
    *last = kSjisLastUnicode;
    return;
  }
  WCHAR lo = 0xFFFF, hi = 0;
  for (int b = 0; b < 256; ++b) {
    WCHAR w = ByteToWide(kAnsiCodePage, static_cast<BYTE>(b));
    if (w < lo) lo = w;
    if (w > hi) hi = w;
  }
  *first = lo;
  *last = hi;
}

USHORT fsSelectionFlags(const BYTE* xfm, DWORD) {
  USHORT f = 0;
  if (xfm[xfm::kUnderline]) f |= FM_SEL_UNDERSCORE;
  if (xfm[xfm::kStrikeOut]) f |= FM_SEL_STRIKEOUT;
  return f;
}

UINT devfont_CodePage(BYTE charSet) {
  switch (charSet) {
    case SHIFTJIS_CHARSET: return kShiftJisCodePage;
    case HANGEUL_CHARSET: return 949;      // Korean
    case GB2312_CHARSET: return 936;       // simplified Chinese
    case CHINESEBIG5_CHARSET: return 950;  // traditional Chinese
    default: return kAnsiCodePage;
  }
}

void vPscriptFill_IFIMETRICS(IFIMETRICS* ifi, DWORD cj, const BYTE* xfm, DWORD size, const WORD* widths) {
  std::memset(ifi, 0, cj);
  const BYTE cs = xfm[xfm::kCharSet];
  const BYTE pf = xfm[xfm::kPitchFamily];
  const bool fixed = (pf & 0x0F) == 0;
  DWORD m[xfm::kMetricCount];
  vXfmValues(m, xfm, size);

  ifi->cjThis = cj;
  ifi->cjIfiExtra = 0;
  // Names after the fixed part: the family name, then the face name.
  DWORD at = NTFM_IFI_FIXED;
  auto* base = reinterpret_cast<BYTE*>(ifi);
  UINT cp = cs == SHIFTJIS_CHARSET ? kShiftJisCodePage : kAnsiCodePage;
  WCHAR name[DEVFONT_FACE_CHARS + 1];
  ToWide(cp, FamilyName(xfm), name, DEVFONT_FACE_CHARS);
  ifi->dpwszFamilyName = at;
  std::memcpy(base + at, name, (kp_WideLength(name) + 1) * 2);
  at += cjFamilyNameUnicodeSize(xfm, size);
  ToWide(cp, FaceName(xfm), name, DEVFONT_FACE_CHARS);
  ifi->dpwszFaceName = at;
  ifi->dpwszStyleName = at;
  ifi->dpwszUniqueName = at;
  std::memcpy(base + at, name, (kp_WideLength(name) + 1) * 2);

  ifi->flInfo = kIfiInfo;
  if (fixed) {
    ifi->flInfo |= kIfiFixed;
    if (IsFarEast(cs)) ifi->flInfo = (ifi->flInfo & ~FM_INFO_OPTICALLY_FIXED_PITCH) | kIfiDbcsFixedAdd;
  }
  ifi->fsType = FM_NO_EMBEDDING;
  ifi->fwdUnitsPerEm = kUnitsPerEm;
  ifi->jWinCharSet = cs;
  ifi->jWinPitchAndFamily = static_cast<BYTE>((pf & 0xF0) | (fixed ? FIXED_PITCH : VARIABLE_PITCH));
  WORD weight = kp_LoadU16(xfm + xfm::kWeight);
  ifi->usWinWeight = (weight == 0 || weight > kWeightMax) ? kWeightNormal : weight;
  ifi->fsSelection = fsSelectionFlags(xfm, size);

  const BYTE first = xfm[xfm::kFirstChar], last = xfm[xfm::kLastChar];
  WORD avg = kp_LoadU16(xfm + xfm::kAvgWidth);
  if (avg == 0) {
    uint64_t sum = 0;
    DWORD n = static_cast<DWORD>(last - first + 1);
    for (DWORD c = first; c <= last; ++c) sum += widths[c];
    avg = static_cast<WORD>((sum + n / 2) / n);
  }
  WORD maxw = kp_LoadU16(xfm + xfm::kMaxWidth);
  if (maxw < avg) maxw = avg;
  ifi->fwdAveCharWidth = static_cast<FWORD>(avg);
  ifi->fwdMaxCharInc = static_cast<FWORD>(maxw);

  ifi->chFirstChar = first;
  ifi->chLastChar = last;
  ifi->chDefaultChar = static_cast<BYTE>(first + xfm[xfm::kDefaultChar]);
  ifi->chBreakChar = static_cast<BYTE>(first + xfm[xfm::kBreakChar]);
  if (cs == SHIFTJIS_CHARSET) {
    ifi->chDefaultChar = kSjisDefault;
    ifi->chBreakChar = kSjisBreak;
    ifi->wcDefaultChar = kSjisDefaultUnicode;
    ifi->wcBreakChar = kSjisBreak;
  } else {
    ifi->wcDefaultChar = ByteToWide(kAnsiCodePage, ifi->chDefaultChar);
    ifi->wcBreakChar = ByteToWide(kAnsiCodePage, ifi->chBreakChar);
  }
  GetFirstLastChar(xfm, size, &ifi->wcFirstChar, &ifi->wcLastChar);
  std::memcpy(ifi->achVendId, "Unkn", 4);
  DWORD kern = VarOffset(xfm, xfm::kKernPairs);
  ifi->cKerningPairs = kern ? kp_LoadU16(xfm + xfm::kOffsetBase + kern) : 0;

  const SHORT A = kp_LoadI16(xfm + xfm::kAscent);
  const SHORT V1 = kp_LoadI16(xfm + xfm::kV1);
  const SHORT V2 = kp_LoadI16(xfm + xfm::kV2);
  ifi->fwdLowestPPEm = static_cast<FWORD>(Lo(m[2]));
  ifi->fwdWinAscender = ifi->fwdMacAscender = ifi->fwdTypoAscender = A;
  ifi->fwdWinDescender = static_cast<FWORD>(V1 - A + 1000);
  ifi->fwdMacDescender = ifi->fwdTypoDescender = static_cast<FWORD>(-ifi->fwdWinDescender);
  int gap = V2 - V1;
  ifi->fwdMacLineGap = ifi->fwdTypoLineGap = static_cast<FWORD>(gap < 0 ? 0 : gap);
  ifi->fwdCapHeight = Hi(m[3]);
  ifi->fwdXHeight = static_cast<FWORD>(Lo(m[4]));
  ifi->fwdSubscriptYSize = Hi(m[7]);
  ifi->fwdSubscriptYOffset = Hi(m[6]);
  ifi->fwdSuperscriptYSize = static_cast<FWORD>(Lo(m[7]));
  ifi->fwdSuperscriptYOffset = static_cast<FWORD>(Lo(m[6]));
  ifi->fwdUnderscoreSize = Hi(m[8]);
  ifi->fwdUnderscorePosition = static_cast<FWORD>(-(ifi->fwdUnderscoreSize / 2));
  ifi->fwdStrikeoutSize = Hi(m[11]);
  ifi->fwdStrikeoutPosition = static_cast<FWORD>(m[4] > kStrikeQuarterAbove ? Hi(m[4]) / 4 : Hi(m[4]) / 2);
  ifi->lItalicAngle = Hi(m[5]);
  ifi->ptlCaret = Hi(m[5]) != 0 ? POINTL{1, 2} : POINTL{0, 1};
  ifi->ptlBaseline = POINTL{1, 0};
  ifi->ptlAspect = POINTL{kp_LoadU16(xfm + xfm::kAspectX), kp_LoadU16(xfm + xfm::kAspectY)};
  ifi->rclFontBox = RECTL{0, ifi->fwdTypoAscender, ifi->fwdMaxCharInc, ifi->fwdTypoDescender};

  ifi->panose.bFamilyType = ifi->panose.bSerifStyle = pf > 15 ? 1 : 0;
  ifi->panose.bWeight = static_cast<BYTE>(ifi->usWinWeight / 100 + 1);
  ifi->panose.bProportion = fixed ? kPanoseProportionMonospaced : 0;

  // The simulations: bold, italic, bold italic.
  ifi->dpFontSim = sizeof(IFIMETRICS);
  auto* sim = reinterpret_cast<FONTSIM*>(base + sizeof(IFIMETRICS));
  auto* diffs = reinterpret_cast<FONTDIFF*>(base + sizeof(IFIMETRICS) + sizeof(FONTSIM));
  FONTDIFF plain{};
  plain.bWeight = ifi->panose.bWeight;
  plain.usWinWeight = ifi->usWinWeight;
  plain.fsSelection = ifi->fsSelection;
  plain.fwdAveCharWidth = ifi->fwdAveCharWidth;
  plain.fwdMaxCharInc = ifi->fwdMaxCharInc;
  plain.ptlCaret = ifi->ptlCaret;
  auto bold = [](FONTDIFF d) {
    d.bWeight = static_cast<BYTE>(d.bWeight + 1);
    d.usWinWeight = static_cast<USHORT>(d.usWinWeight + kWeightBoldAdd);
    d.fsSelection |= FM_SEL_BOLD;
    d.fwdAveCharWidth = static_cast<FWORD>(d.fwdAveCharWidth + 1);
    d.fwdMaxCharInc = static_cast<FWORD>(d.fwdMaxCharInc + 1);
    return d;
  };
  auto italic = [](FONTDIFF d) {
    d.fsSelection |= FM_SEL_ITALIC;
    d.ptlCaret = POINTL{1, 3};
    return d;
  };
  diffs[0] = bold(plain);
  diffs[1] = italic(plain);
  diffs[2] = italic(bold(plain));
  sim->dpBold = sizeof(FONTSIM);
  sim->dpItalic = sizeof(FONTSIM) + sizeof(FONTDIFF);
  sim->dpBoldItalic = sizeof(FONTSIM) + 2 * sizeof(FONTDIFF);
}

BOOL vFillKernPairs(FD_KERNINGPAIR* pairs, const BYTE* xfm, DWORD) {
  DWORD kern = VarOffset(xfm, xfm::kKernPairs);
  DWORD n = kern ? kp_LoadU16(xfm + xfm::kOffsetBase + kern) : 0;
  UINT cp = devfont_CodePage(xfm[xfm::kCharSet]);
  const BYTE* p = n ? xfm + xfm::kOffsetBase + kern + 2 : nullptr;
  for (DWORD i = 0; i < n; ++i, p += 4) {
    pairs[i].wcFirst = ByteToWide(cp, p[0]);
    pairs[i].wcSecond = ByteToWide(cp, p[1]);
    pairs[i].fwdKern = kp_LoadI16(p + 2);
  }
  pairs[n] = FD_KERNINGPAIR{0, 0, 0};
  return TRUE;
}

void vFillXfmData(BYTE* out, const BYTE* xfm, DWORD size) { std::memcpy(out, xfm, size); }

NTFM* pntfmConvertXfmToNtm(PDEV* pdev, const BYTE* xfm, DWORD size) {
  if (!pdev || !xfm_CheckRecord(xfm, size)) return nullptr;
  NTFM_SIZES sz{};
  if (!MakeNtfmSZ(xfm, size, &sz)) return nullptr;
  auto* block = static_cast<BYTE*>(_HEAPALLOC(pdev->heap, sz.total, 0));
  if (!block) return nullptr;
  std::memset(block, 0, sz.total);
  auto* ntfm = reinterpret_cast<NTFM*>(block);
  ntfm->version = NTFM_VERSION;
  ntfm->sz = sz;
  const char* id = reinterpret_cast<const char*>(xfm + xfm::kOffsetBase + kp_LoadU32(xfm + xfm::kFontId));
  ntfm->fontId = HEXStr2DWORD(id);
  vXfmValues(ntfm->metrics, xfm, size);
  ntfm->widthFlag = VarOffset(xfm, xfm::kWidths) != 0 ? 1 : 0;
  vReadCharWidths(xfm, size, ntfm->widths);
  const DWORD cjIfi = cjNrvIFIMETRICS(xfm, size);
  vPscriptFill_IFIMETRICS(reinterpret_cast<IFIMETRICS*>(block + sz.ifiOffset), cjIfi, xfm, size, ntfm->widths);
  vFillKernPairs(reinterpret_cast<FD_KERNINGPAIR*>(block + sz.kernOffset), xfm, size);
  vFillXfmData(block + sz.xfmOffset, xfm, size);
  setNrvFontInfo(&ntfm->widthInfo, block + sz.xfmOffset, size);
  // The parts must add up to the total.
  uint64_t sum = static_cast<uint64_t>(NTFM_IFI_OFFSET) + cjIfi + cjKernPairs(xfm, size) + cjXfmData(xfm, size);
  if (sum != sz.total) {
    HEAPFREE(pdev->heap, block);
    return nullptr;
  }
  return ntfm;
}

// ---- Reading the records ----------------------------------------------------------------

DWORD GetXFMnum(PDEV* pdev) {
  if (!pdev || !pdev->dddMain) return 0;
  return ddd_GetNumOfData(pdev->dddMain, DDD_CAT_FONT);
}

namespace {

// One font record read: its checked XFM copy (PDEV heap), its Unicode name,
// the printer font name and the symbol set. Answers the reader's code
// (0 read, 2 and others: no such record) in *code; FALSE on a failure.
BOOL ReadFont(PDEV* pdev, WORD number, WORD* code, BYTE** xfmOut, DWORD* sizeOut, WCHAR* name, char* printerName,
              WORD* symbolSet) {
  void* rec = nullptr;
  *code = ddd_GetDataByIndexX(DDD_FULL, pdev->dddMain, pdev->dddReferenced, DDD_CAT_FONT, number, &rec);
  if (*code != 0 && *code != 1) return FALSE;
  auto* font = static_cast<DDD_FONT*>(rec);
  BOOL ok = FALSE;
  if (font && font->xfm && font->xfmSize > 0 && xfm_CheckRecord(font->xfm, font->xfmSize)) {
    if (name) {
      name[0] = 0;
      size_t n = kp_WideCopy(name, font->name.str, DEVFONT_FACE_CHARS);
      name[n] = 0;
    }
    if (printerName) {
      std::memset(printerName, ' ', DEVFONT_PRINTER_NAME);
      std::memcpy(printerName, "Courier", 7);
      printerName[DEVFONT_PRINTER_NAME] = 0;
    }
    if (symbolSet) *symbolSet = DEVFONT_DEFAULT_SYMBOLSET;
    WORD count = 0;
    if (ddd_GetNumOfDataEx(font, &count) == 0) {
      for (WORD i = 1; i <= count; ++i) {
        WORD type = 0, vsize = 0;
        const void* value = nullptr;
        if (ddd_GetDataEx(font, i, &type, &vsize, &value) != 0 || !value) continue;
        if (i == 1 && printerName && type == DDD_TYPE_STRING) {
          char narrow[64] = {};
          auto* w = static_cast<LPCWSTR>(value);
          ULONG got = 0;
          EngUnicodeToMultiByteN(narrow, sizeof narrow - 1, &got, const_cast<LPWSTR>(w),
                                 static_cast<ULONG>(kp_WideLength(w) * 2));
          if (got > DEVFONT_PRINTER_NAME) got = DEVFONT_PRINTER_NAME;
          std::memset(printerName, 0, DEVFONT_PRINTER_NAME + 1);
          std::memcpy(printerName, narrow, got);
        } else if (i == 2 && symbolSet && vsize >= 2) {
          WORD s = kp_LoadU16(value);
          *symbolSet = s ? s : DEVFONT_DEFAULT_SYMBOLSET;
        }
      }
    }
    if (xfmOut) {
      *xfmOut = static_cast<BYTE*>(_HEAPALLOC(pdev->heap, font->xfmSize, 0));
      if (*xfmOut) {
        std::memcpy(*xfmOut, font->xfm, font->xfmSize);
        *sizeOut = font->xfmSize;
        ok = TRUE;
      }
    } else {
      ok = TRUE;
    }
  }
  if (rec) ddd_Free(&rec, DDD_CAT_FONT);
  if (!ok) *code = 1;
  return ok;
}

}  // namespace

BOOL GetXFM(PDEV* pdev, BYTE** data, DWORD* size, WORD recordNumber, char* printerName, WORD* symbolSet) {
  if (!pdev || !data || !size) return FALSE;
  *data = nullptr;
  *size = 0;
  WORD code = 0;
  return ReadFont(pdev, recordNumber, &code, data, size, nullptr, printerName, symbolSet);
}

void XFMFree(PDEV* pdev, BYTE* data) {
  if (pdev && data) HEAPFREE(pdev->heap, data);
}

BOOL isRegistDeviceName(LPCWSTR familyList, const BYTE* xfm, DWORD, LPCWSTR recordName, char* previous) {
  const char* second = FamilyName(xfm);
  if (std::strncmp(second, previous, DEVFONT_PREVIOUS_NAME - 1) == 0 && std::strlen(second) < DEVFONT_PREVIOUS_NAME)
    return FALSE;
  std::memset(previous, 0, DEVFONT_PREVIOUS_NAME);
  size_t len = std::strlen(second);
  std::memcpy(previous, second, len < DEVFONT_PREVIOUS_NAME - 1 ? len : DEVFONT_PREVIOUS_NAME - 1);
  if (familyList && recordName) {
    for (LPCWSTR p = familyList; *p; p += kp_WideLength(p) + 1)
      if (kp_WideEqual(p, recordName)) return FALSE;
  }
  return TRUE;
}

BOOL GetRegistXFMnum(PDEV* pdev, LPCWSTR familyList, WORD** exposed, DWORD* cExposed, WORD** fontSet,
                     DWORD* cFontSet) {
  *exposed = *fontSet = nullptr;
  *cExposed = *cFontSet = 0;
  DWORD total = GetXFMnum(pdev);
  if (total == 0) return TRUE;
  *exposed = static_cast<WORD*>(_HEAPALLOC(pdev->heap, total * sizeof(WORD), 0));
  *fontSet = static_cast<WORD*>(_HEAPALLOC(pdev->heap, total * sizeof(WORD), 0));
  if (!*exposed || !*fontSet) return FALSE;
  char previous[DEVFONT_PREVIOUS_NAME] = {};
  for (DWORD number = 1; number <= 0xFFFF; ++number) {
    void* rec = nullptr;
    WORD r = ddd_GetDataByIndexX(DDD_FULL, pdev->dddMain, pdev->dddReferenced, DDD_CAT_FONT, static_cast<WORD>(number),
                                 &rec);
    if (r == DDD_ERR_MEMORY) return FALSE;  // a record unread is no end of the set
    if (r != 0 && r != 1) break;             // the end of the records
    auto* font = static_cast<DDD_FONT*>(rec);
    bool ok = font && font->xfm && font->xfmSize > 0 && xfm_CheckRecord(font->xfm, font->xfmSize) &&
              *cFontSet < total;
    if (ok) {
      (*fontSet)[(*cFontSet)++] = static_cast<WORD>(number);
      // A far-eastern font whose code page this platform cannot convert
      // stays in the font set but is not offered to the engine.
      bool convertible = CodePageAvailable(devfont_CodePage(font->xfm[xfm::kCharSet]));
      if (isRegistDeviceName(familyList, font->xfm, font->xfmSize, font->name.str, previous) && convertible)
        (*exposed)[(*cExposed)++] = static_cast<WORD>(number);
    }
    if (rec) ddd_Free(&rec, DDD_CAT_FONT);
    if (!ok) return FALSE;
  }
  return TRUE;
}

BOOL GetDevfontInfo(PDEV*, const BYTE* xfm, DWORD, LPCWSTR recordName, const char* printerName, WORD symbolSet,
                    DEVFONTINFO* info) {
  if (!xfm || !info) return FALSE;
  std::memset(info, 0, sizeof *info);
  size_t n = kp_WideCopy(info->faceName, recordName, DEVFONT_FACE_CHARS);
  info->faceName[n] = 0;
  for (DWORD i = 0; printerName && i < DEVFONT_PRINTER_NAME && printerName[i]; ++i) info->printerName[i] = printerName[i];
  info->printerName[DEVFONT_PRINTER_NAME] = 0;
  info->symbolSet = symbolSet ? symbolSet : DEVFONT_DEFAULT_SYMBOLSET;
  info->fontId = HEXStr2DWORD(reinterpret_cast<const char*>(xfm + xfm::kOffsetBase + kp_LoadU32(xfm + xfm::kFontId)));
  const BYTE pf = xfm[xfm::kPitchFamily];
  info->pitchAndFamily = static_cast<BYTE>((pf & 0xF0) | ((pf & 0x0F) != 0 ? 1 : 0));
  info->charSet = xfm[xfm::kCharSet];
  WORD weight = kp_LoadU16(xfm + xfm::kWeight);
  info->weight = (weight == 0 || weight > kWeightMax) ? kWeightNormal : weight;
  info->italic = xfm[xfm::kItalic] ? 1 : 0;
  return TRUE;
}

BOOL EnumXFM2NTFM_DEVFONTINFO(PDEV* pdev, const WORD* exposed, DWORD cExposed, const WORD* fontSet, DWORD cFontSet) {
  DEVFONT_TABLES* t = pdev->deviceFonts;
  for (DWORD i = 0; i < cExposed; ++i) {
    BYTE* x = nullptr;
    DWORD size = 0;
    if (!GetXFM(pdev, &x, &size, exposed[i], nullptr, nullptr)) return FALSE;
    NTFM* ntfm = pntfmConvertXfmToNtm(pdev, x, size);
    XFMFree(pdev, x);
    if (!ntfm) return FALSE;
    t->exposed[t->cExposed++] = ntfm;
  }
  for (DWORD i = 0; i < cFontSet; ++i) {
    BYTE* x = nullptr;
    DWORD size = 0;
    WORD code = 0;
    WCHAR name[DEVFONT_FACE_CHARS + 1];
    char printerName[DEVFONT_PRINTER_NAME + 1];
    WORD symbolSet = 0;
    if (!ReadFont(pdev, fontSet[i], &code, &x, &size, name, printerName, &symbolSet)) return FALSE;
    BOOL ok = GetDevfontInfo(pdev, x, size, name, printerName, symbolSet, &t->fontSet[t->cFontSet]);
    XFMFree(pdev, x);
    if (!ok) return FALSE;
    t->fontSet[t->cFontSet++].recordNumber = fontSet[i];
  }
  return TRUE;
}

void devfont_Free(PDEV* pdev) {
  if (!pdev || !pdev->deviceFonts) return;
  DEVFONT_TABLES* t = pdev->deviceFonts;
  for (DWORD i = 0; i < t->cExposed; ++i) HEAPFREE(pdev->heap, t->exposed[i]);
  HEAPFREE(pdev->heap, t->exposed);
  HEAPFREE(pdev->heap, t->exposedRecords);
  HEAPFREE(pdev->heap, t->fontSet);
  HEAPFREE(pdev->heap, t);
  pdev->deviceFonts = nullptr;
  pdev->cDeviceFonts = 0;
}

DEVFONT_TABLES* devfont_Tables(PDEV* pdev) { return pdev ? pdev->deviceFonts : nullptr; }

BOOL EnablePDEVDeviceFonts(PDEV* pdev) {
  if (!pdev) return FALSE;
  pdev->deviceFonts = nullptr;
  pdev->cDeviceFonts = 0;
  if (GetXFMnum(pdev) == 0) return TRUE;

  LPWSTR families = kmttf::GetSystemTrueTypeFontFamilyList(pdev->hdev);
  WORD* exposed = nullptr;
  WORD* fontSet = nullptr;
  DWORD cExposed = 0, cFontSet = 0;
  BOOL ok = GetRegistXFMnum(pdev, families, &exposed, &cExposed, &fontSet, &cFontSet);
  kcore_Free(families);
  auto* t = ok ? static_cast<DEVFONT_TABLES*>(_HEAPALLOC(pdev->heap, sizeof(DEVFONT_TABLES), 0)) : nullptr;
  if (t) {
    std::memset(t, 0, sizeof *t);
    pdev->deviceFonts = t;
    t->exposedRecords = exposed;
    exposed = nullptr;
    t->exposed = static_cast<NTFM**>(_HEAPALLOC(pdev->heap, (cExposed ? cExposed : 1) * sizeof(NTFM*), 0));
    t->fontSet = static_cast<DEVFONTINFO*>(_HEAPALLOC(pdev->heap, (cFontSet ? cFontSet : 1) * sizeof(DEVFONTINFO), 0));
    ok = t->exposed && t->fontSet &&
         EnumXFM2NTFM_DEVFONTINFO(pdev, t->exposedRecords, cExposed, fontSet, cFontSet);
  } else {
    ok = FALSE;
  }
  if (exposed) HEAPFREE(pdev->heap, exposed);
  if (fontSet) HEAPFREE(pdev->heap, fontSet);
  if (!ok) {
    devfont_Free(pdev);
    return FALSE;
  }
  pdev->cDeviceFonts = t->cExposed;
  return TRUE;
}

// ---- Installed TrueType families ------------------------------------------------------------

namespace kmttf {

BOOL GetSysTTFListFileName(HDEV hdev, LPWSTR fileName) {
  if (!fileName) return FALSE;
  fileName[0] = 0;
  LPWSTR data = EngGetPrinterDataFileName(hdev);
  if (!data) return FALSE;
  static constexpr char16_t kSystem32[] = u"system32";
  static constexpr char16_t kFile[] = u"\\kestreltt.tmp";
  const size_t n = kp_WideLength(data), k = 8;
  if (n < k) return FALSE;
  for (size_t end = n; end >= k; --end) {
    bool match = true;
    for (size_t i = 0; i < k && match; ++i) {
      WCHAR c = data[end - k + i];
      if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
      match = c == kSystem32[i];
    }
    if (!match) continue;
    if (end + (sizeof kFile / 2) > MAX_PATH) return FALSE;
    std::memcpy(fileName, data, end * 2);
    std::memcpy(fileName + end, kFile, sizeof kFile);
    return TRUE;
  }
  return FALSE;
}

LPWSTR ParseFamilyList(const BYTE* bytes, DWORD size) {
  if (!bytes || size < 4) return nullptr;
  DWORD b = kp_LoadU32(bytes);
  if (static_cast<uint64_t>(b) + 4 != size || (b & 1) != 0 || b < 2) return nullptr;
  // The names must end with an empty one inside the block.
  DWORD chars = b / 2, end = 0;
  bool closed = false;
  for (DWORD i = 0; i < chars;) {
    WCHAR c = kp_LoadU16(bytes + 4 + 2 * i);
    if (c == 0) {  // an empty name closes the list
      closed = true;
      end = i + 1;
      break;
    }
    while (i < chars && kp_LoadU16(bytes + 4 + 2 * i) != 0) ++i;
    if (i == chars) break;  // a name without its NUL
    ++i;
  }
  if (!closed) return nullptr;
  auto* out = static_cast<LPWSTR>(kcore_Alloc(end * 2));
  if (!out) return nullptr;
  std::memcpy(out, bytes + 4, end * 2);
  return out;
}

LPWSTR GetSystemTrueTypeFontList_FromFile(HDEV, LPCWSTR fileName) {
  HANDLE module = nullptr;
  PVOID view = nullptr;
  ULONG size = 0;
  if (!fileName || !MAPFILE(fileName, &module, &view, &size)) return nullptr;
  LPWSTR list = ParseFamilyList(static_cast<const BYTE*>(view), size);
  EngFreeModule(module);
  return list;
}

LPWSTR GetSystemTrueTypeFontFamilyList(HDEV hdev) {
  WCHAR name[MAX_PATH];
  if (!GetSysTTFListFileName(hdev, name)) return nullptr;
  return GetSystemTrueTypeFontList_FromFile(hdev, name);
}

}  // namespace kmttf

// ---- Default font ------------------------------------------------------------------------------

DWORD FontID2FontIndex(PDEV* pdev, DWORD fontId) {
  DWORD total = GetXFMnum(pdev);
  for (DWORD i = 1; i <= total; ++i) {
    BYTE* x = nullptr;
    DWORD size = 0;
    if (!GetXFM(pdev, &x, &size, static_cast<WORD>(i), nullptr, nullptr)) return 0;
    DWORD id = HEXStr2DWORD(reinterpret_cast<const char*>(x + xfm::kOffsetBase + kp_LoadU32(x + xfm::kFontId)));
    XFMFree(pdev, x);
    if (id == fontId) return i;
  }
  return 0;
}

namespace {
void FillDefaultFont(PDEV* pdev, const DEVFONTINFO* f, ENGLOGFONTW* font) {
  std::memset(font, 0, sizeof *font);
  const int64_t size = DDMS_GetShort(pdev, DDM_DEFAULT_FONT_SIZE);
  const int64_t dpi = DDMS_GetShort(pdev, DDM_PRINTQUALITY);
  font->lfHeight = static_cast<LONG>(-(size * dpi / 720));
  font->lfWeight = kWeightNormal;
  font->lfCharSet = f->charSet;
  font->lfPitchAndFamily = f->pitchAndFamily;
  kp_WideCopy(font->lfFaceName, f->faceName, LF_FACESIZE - 1);
}
}  // namespace

BOOL SetDefaultFont_pdl(PDEV* pdev, ENGLOGFONTW* font) {
  if (!pdev || !font || !pdev->deviceFonts) return FALSE;
  DWORD record = FontID2FontIndex(pdev, DDMS_GetUlong(pdev, DDM_DEFAULT_FONT_ID));
  if (record == 0) return FALSE;
  const DEVFONT_TABLES* t = pdev->deviceFonts;
  for (DWORD i = 0; i < t->cFontSet; ++i) {
    if (t->fontSet[i].recordNumber != record) continue;
    FillDefaultFont(pdev, &t->fontSet[i], font);
    return TRUE;
  }
  return FALSE;
}

BOOL devfont_FirstFontAsDefault(PDEV* pdev, ENGLOGFONTW* font) {
  if (!pdev || !font || !pdev->deviceFonts || pdev->deviceFonts->cFontSet == 0) return FALSE;
  FillDefaultFont(pdev, &pdev->deviceFonts->fontSet[0], font);
  return TRUE;
}

// ---- Glyph sets -----------------------------------------------------------------------------------

BOOL ComputePsGlyphSet(void) {
  if (gpGlyphSet.load(std::memory_order_acquire)) return TRUE;
  FD_GLYPHSET* made = EngComputeGlyphSet(0, 0, 256);
  if (!made) return FALSE;
  FD_GLYPHSET* none = nullptr;
  if (!gpGlyphSet.compare_exchange_strong(none, made, std::memory_order_acq_rel)) EngFreeMem(made);
  return TRUE;
}

BOOL EnableDriverDeviceFonts(void) {
  if (!km_PublishSemaphore(hGlyphSetSemaphore)) return FALSE;
  return ComputePsGlyphSet();
}

namespace {

// The Shift-JIS glyph set: every single-byte and double-byte code of code
// page 932 that maps to a character, by Unicode order, the code as handle.
FD_GLYPHSET* BuildShiftJisGlyphSet() {
  struct Pair {
    WCHAR wc;
    WORD code;
  };
  const DWORD cap = 0x10000;
  auto* pairs = static_cast<Pair*>(EngAllocMem(FL_ZERO_MEMORY, cap * sizeof(Pair), KM_HEAP_TAG));
  if (!pairs) return nullptr;
  // Which Unicode characters are taken (the first code wins).
  auto* seen = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 0x10000, KM_HEAP_TAG));
  if (!seen) {
    EngFreeMem(pairs);
    return nullptr;
  }
  DWORD n = 0;
  auto add = [&](const char* bytes, INT len, WORD code) {
    WCHAR w[2] = {};
    INT got = EngMultiByteToWideChar(kShiftJisCodePage, w, sizeof w, const_cast<char*>(bytes), len);
    if (got != 2) return;
    if (w[0] == 0x30FB && code != 0x8145) return;  // undecoded bytes
    if (seen[w[0]]) return;
    seen[w[0]] = 1;
    pairs[n++] = Pair{w[0], code};
  };
  for (int b = 0; b < 256; ++b) {
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      for (int t = 0x40; t <= 0xFC; ++t) {
        if (t == 0x7F) continue;
        char two[2] = {static_cast<char>(b), static_cast<char>(t)};
        add(two, 2, static_cast<WORD>(b << 8 | t));
      }
    } else {
      char one = static_cast<char>(b);
      add(&one, 1, static_cast<WORD>(b));
    }
  }
  EngFreeMem(seen);
  // Sort by Unicode (counting: the table above is at most 64K entries).
  auto* byChar = static_cast<WORD*>(EngAllocMem(FL_ZERO_MEMORY, 0x10000 * sizeof(WORD), KM_HEAP_TAG));
  auto* has = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, 0x10000, KM_HEAP_TAG));
  FD_GLYPHSET* set = nullptr;
  if (byChar && has) {
    for (DWORD i = 0; i < n; ++i) byChar[pairs[i].wc] = pairs[i].code, has[pairs[i].wc] = 1;
    DWORD runs = 0;
    for (DWORD c = 0; c < 0x10000; ++c)
      if (has[c] && (c == 0 || !has[c - 1])) ++runs;
    const size_t head = offsetof(FD_GLYPHSET, awcrun) + runs * sizeof(WCRUN);
    const size_t bytes = head + n * sizeof(HGLYPH);
    set = static_cast<FD_GLYPHSET*>(EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), KM_HEAP_TAG));
    if (set) {
      set->cjThis = static_cast<ULONG>(bytes);
      set->flAccel = GS_16BIT_HANDLES;
      set->cGlyphsSupported = n;
      set->cRuns = runs;
      auto* handles = reinterpret_cast<HGLYPH*>(reinterpret_cast<BYTE*>(set) + head);
      DWORD r = 0, h = 0;
      for (DWORD c = 0; c < 0x10000; ++c) {
        if (!has[c]) continue;
        if (c == 0 || !has[c - 1]) {
          set->awcrun[r].wcLow = static_cast<WCHAR>(c);
          set->awcrun[r].cGlyphs = 0;
          set->awcrun[r].phg = handles + h;
          ++r;
        }
        ++set->awcrun[r - 1].cGlyphs;
        handles[h++] = byChar[c];
      }
    }
  }
  EngFreeMem(byChar);
  EngFreeMem(has);
  EngFreeMem(pairs);
  return set;
}

}  // namespace

FD_GLYPHSET* GetNRVGlyphSet(PDEV* pdev, ULONG iFace) {
  if (!pdev || !pdev->deviceFonts || iFace < 1 || iFace > pdev->deviceFonts->cExposed) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const IFIMETRICS* ifi = NTFM_Ifi(pdev->deviceFonts->exposed[iFace - 1]);
  if (ifi->jWinCharSet != SHIFTJIS_CHARSET) return gpGlyphSet.load(std::memory_order_acquire);
  HSEMAPHORE semaphore = hGlyphSetSemaphore.load(std::memory_order_acquire);
  EngAcquireSemaphore(semaphore);
  if (!gpGlyphSetArray[0].set) gpGlyphSetArray[0].set = BuildShiftJisGlyphSet();
  FD_GLYPHSET* set = gpGlyphSetArray[0].set;
  EngReleaseSemaphore(semaphore);
  if (!set) EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return set;
}

// ---- The engine's font entries ------------------------------------------------------------------

namespace {

NTFM* FaceOf(PDEV* pdev, ULONG iFace) {
  if (!pdev || !pdev->deviceFonts || iFace < 1 || iFace > pdev->deviceFonts->cExposed) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev->deviceFonts->exposed[iFace - 1];
}

// The device font of a font object: a device font of this PDEV.
NTFM* FontOf(PDEV* pdev, FONTOBJ* pfo) {
  if (!pfo || !(pfo->flFontType & FO_TYPE_DEVICE)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return FaceOf(pdev, pfo->iFace);
}

// A length in notional units along (x, y) through the font's transform, in
// 28.4 (not rounded); false when there is no transform.
bool Transformed(FONTOBJ* pfo, LONG x, LONG y, POINTFIX* out) {
  XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
  POINTL in{x, y};
  return xo && XFORMOBJ_bApplyXform(xo, XF_LTOFX, 1, &in, out);
}

// A 28.4 length rounded to a whole pixel (add 8, clear the low four bits).
LONG WholePixel(int64_t fx) { return kp_SaturateLong((fx + 8) & ~static_cast<int64_t>(15)); }

}  // namespace

IFIMETRICS* DDI_DrvQueryFont(DHPDEV dhpdev, ULONG_PTR, ULONG iFace, ULONG_PTR* pid) {
  if (pid) *pid = 0;
  PDEV* pdev = Pdev(dhpdev);
  if (!pdev) return nullptr;
  NTFM* f = FaceOf(pdev, iFace);
  return f ? NTFM_Ifi(f) : nullptr;
}

PVOID DDI_DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR, ULONG iFace, ULONG iMode, ULONG_PTR* pid) {
  if (pid) *pid = 0;
  PDEV* pdev = Pdev(dhpdev);
  if (!pdev) return nullptr;
  NTFM* f = FaceOf(pdev, iFace);
  if (!f) return nullptr;
  switch (iMode) {
    case QFT_KERNPAIRS:
      return f->sz.kernCount ? NTFM_Kern(f) : nullptr;
    case QFT_GLYPHSET:
      return GetNRVGlyphSet(pdev, iFace);
    default:
      EngSetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

BOOL DDI_DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths, ULONG cGlyphs) {
  PDEV* pdev = Pdev(dhpdev);
  if (!pdev) return FALSE;
  if (!pfo || !phg || !pvWidths || (iMode != QAW_GETWIDTHS && iMode != QAW_GETEASYWIDTHS)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (cGlyphs == 0) return TRUE;
  NTFM* f = FontOf(pdev, pfo);
  if (!f) return FALSE;
  POINTFIX v{};
  if (!Transformed(pfo, 4096, 0, &v)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t scale = Hipot(v.x, v.y);
  auto* out = static_cast<USHORT*>(pvWidths);
  for (ULONG i = 0; i < cGlyphs; ++i) {
    LONG w = xfm_getCharWidth(&f->widthInfo, phg[i]);
    if (w < 0) w = f->widthInfo.defaultWidth;
    int64_t fx = ((scale * w) >> 12) + 8;
    fx &= ~static_cast<int64_t>(15);
    out[i] = static_cast<USHORT>(fx > 0xFFFF ? 0xFFF0 : fx);
  }
  return TRUE;
}

LONG DDI_DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv, ULONG cjSize) {
  PDEV* pdev = Pdev(dhpdev);
  if (!pdev) return static_cast<LONG>(KM_FD_ERROR);
  NTFM* f = FontOf(pdev, pfo);
  if (!f) return static_cast<LONG>(KM_FD_ERROR);
  const IFIMETRICS* ifi = NTFM_Ifi(f);
  if (iMode == QFD_GLYPHANDBITMAP) {
    if (!pgd) return 0;
    LONG w = xfm_getCharWidth(&f->widthInfo, hg);
    if (w < 0) w = ifi->fwdAveCharWidth;
    POINTFIX adv{}, top{}, bottom{};
    if (!Transformed(pfo, w, 0, &adv) || !Transformed(pfo, 0, ifi->rclFontBox.top, &top) ||
        !Transformed(pfo, 0, ifi->rclFontBox.bottom, &bottom)) {
      EngSetLastError(ERROR_INVALID_PARAMETER);
      return static_cast<LONG>(KM_FD_ERROR);
    }
    std::memset(pgd, 0, sizeof *pgd);
    pgd->hg = hg;
    const LONG d = WholePixel(Hipot(adv.x, adv.y));
    const LONG t = WholePixel(Hipot(top.x, top.y));
    const LONG b = WholePixel(Hipot(bottom.x, bottom.y));
    pgd->fxD = d;
    pgd->fxA = 0;
    pgd->fxAB = d;
    pgd->fxInkTop = t;
    pgd->fxInkBottom = -b;
    pgd->rclInk = RECTL{0, -(t >> 4), d >> 4, b >> 4};
    pgd->ptqD.x = static_cast<int64_t>(WholePixel(adv.x)) << 28;
    pgd->ptqD.y = static_cast<int64_t>(WholePixel(adv.y)) << 28;
    return 0;
  }
  if (iMode == QFD_MAXEXTENTS) {
    if (!pv) return static_cast<LONG>(sizeof(FD_DEVICEMETRICS));
    if (cjSize < sizeof(FD_DEVICEMETRICS)) {
      EngSetLastError(ERROR_INSUFFICIENT_BUFFER);
      return static_cast<LONG>(KM_FD_ERROR);
    }
    const LONG em = ifi->fwdUnitsPerEm;
    POINTFIX base{}, side{};
    if (!Transformed(pfo, em, 0, &base) || !Transformed(pfo, 0, -em, &side)) {
      EngSetLastError(ERROR_INVALID_PARAMETER);
      return static_cast<LONG>(KM_FD_ERROR);
    }
    FD_DEVICEMETRICS dm{};
    const int64_t baseLen = Hipot(base.x, base.y), sideLen = Hipot(side.x, side.y);  // 28.4
    FLOATOBJ fo;
    if (baseLen) {
      FLOATOBJ_SetLong(&fo, base.x); FLOATOBJ_DivLong(&fo, static_cast<LONG>(baseLen)); dm.pteBase.x = FLOATOBJ_GetFloat(&fo);
      FLOATOBJ_SetLong(&fo, base.y); FLOATOBJ_DivLong(&fo, static_cast<LONG>(baseLen)); dm.pteBase.y = FLOATOBJ_GetFloat(&fo);
    }
    if (sideLen) {
      FLOATOBJ_SetLong(&fo, side.x); FLOATOBJ_DivLong(&fo, static_cast<LONG>(sideLen)); dm.pteSide.x = FLOATOBJ_GetFloat(&fo);
      FLOATOBJ_SetLong(&fo, side.y); FLOATOBJ_DivLong(&fo, static_cast<LONG>(sideLen)); dm.pteSide.y = FLOATOBJ_GetFloat(&fo);
    }
    // The em height in pixels, and the leadings.
    const int64_t heightPx = (sideLen + 8) >> 4;
    const int64_t boxHeight = static_cast<int64_t>(ifi->rclFontBox.top) - ifi->rclFontBox.bottom;
    int64_t internal = (boxHeight - em) * heightPx / em;
    if (internal < 0) internal = 0;
    int64_t external = 0;
    const bool fixed = (ifi->flInfo & (FM_INFO_CONSTANT_WIDTH | FM_INFO_DBCS_FIXED_PITCH)) != 0;
    if (fixed) {
      internal = 0;
    } else {
      int64_t yDpi = DDMS_GetShort(pdev, DDM_YRESOLUTION);
      if (yDpi <= 0) yDpi = DDMS_GetShort(pdev, DDM_PRINTQUALITY);
      if (yDpi <= 0) yDpi = 600;
      const int64_t points = (heightPx * 72 + yDpi / 2) / yDpi;  // the size in whole points
      const BYTE family = ifi->jWinPitchAndFamily & 0xF0;
      int64_t gapPoints;
      if (family == FF_ROMAN) gapPoints = 2;
      else if (family == FF_SWISS) gapPoints = points <= 12 ? 2 : points < 14 ? 3 : 4;
      else gapPoints = points * 196 / em;
      external = gapPoints * yDpi / 72 - internal;
      if (external < 0) external = 0;
    }
    dm.lNonLinearIntLeading = static_cast<LONG>(internal);
    dm.lNonLinearExtLeading = static_cast<LONG>(external);
    auto along = [&](LONG units, bool down) -> LONG {
      POINTFIX p{};
      if (!Transformed(pfo, down ? 0 : units, down ? units : 0, &p)) return 0;
      return static_cast<LONG>((static_cast<int64_t>(Hipot(p.x, p.y)) + 8) >> 4);
    };
    dm.flRealizedType = FDM_TYPE_BM_SIDE_CONST | FDM_TYPE_ZERO_BEARINGS;
    dm.fxMaxAscender = WholePixel(Hipot(0, static_cast<LONG>(along(ifi->rclFontBox.top, true)) << 4));
    dm.fxMaxDescender = static_cast<FIX>(along(-ifi->rclFontBox.bottom, true) << 4);
    dm.lD = along(ifi->fwdMaxCharInc, false);
    dm.cxMax = static_cast<ULONG>(dm.lD);
    dm.cyMax = static_cast<ULONG>(along(static_cast<LONG>(boxHeight), true));
    dm.lNonLinearMaxCharWidth = dm.lD;
    dm.lNonLinearAvgCharWidth = along(ifi->fwdAveCharWidth, false);
    dm.ptlUnderline1 = POINTL{0, along(-ifi->fwdUnderscorePosition, true)};
    dm.ptlStrikeOut = POINTL{0, -along(ifi->fwdStrikeoutPosition, true)};
    dm.ptlULThickness = POINTL{0, along(ifi->fwdUnderscoreSize, true)};
    dm.ptlSOThickness = POINTL{0, along(ifi->fwdStrikeoutSize, true)};
    std::memcpy(pv, &dm, sizeof dm);
    return static_cast<LONG>(sizeof(FD_DEVICEMETRICS));
  }
  EngSetLastError(ERROR_INVALID_PARAMETER);
  return static_cast<LONG>(KM_FD_ERROR);
}
