// TrueType download (ttdl.cpp): PCL XL TrueType fonts built from the tables
// of the engine's TrueType file, bitmap fonts from the engine's glyph bits
// with simulated bold made here, and the glyph mapping of symbol fonts and
// vertical writing. The record of what the printer holds is the download
// cache (fontcache.h).
//
// Every read of the font file is checked against its table and the file:
// the directory, a collection's header and its members' name records, maxp,
// hhea, head, vhea, loca, glyf, hmtx and vmtx, cmap segments and
// idRangeOffset, mort (without its 0xFFFF end the table's end stops the
// walk), GSUB, and the checksum's rounding at the file's end (bytes past the
// end count as zero). A font failing them, or without glyf or loca, fails
// xltext_CreateTableInfo (the run then goes as bitmaps). Glyphs are checked
// before BeginChar is written: a glyph index past the font, a loca entry
// below the one before it or past glyf, a glyph shorter than its header, a
// composite whose component records pass the glyph's end, refer to the
// glyph itself or close a cycle, or nest deeper than 16, and metrics past
// hmtx or vmtx fail the run (-1) with nothing written. An empty glyph (loca
// length 0) is simple and has no data.
//
// A glyph that fails after BeginChar was written ends the block with
// EndChar before the run fails, so the stream stays well nested (the glyph
// itself is taken back from the cache).
//
// Decisions taken here:
// - Simulated bold measures the glyph size with the device resolution the
//   PDEV reports (pdev_GetDpi: DDM 20, 600 for 0 or less), the resolution the
//   bitmaps are made at; the BR segment carries the same x resolution and
//   DDM 21 for y (x again when 0 or less).
// - A format-4 glyphIdArray value of 0 is the missing glyph and stays 0
//   (idDelta is added only to other values); a mapped glyph past the font's
//   glyph count counts as missing too.
// - The number of characters of a font header is 16-bit: a bitmap run of
//   more than 65535 glyphs is refused (-1) before anything is written.
// - The glyph-metrics switch (printer information item 26, bit 0x20000000)
//   is read from the PDEV's description data into the table information
//   (glyphMetrics), where the header and glyph builders find it.
#pragma once

#include "fontcache.h"
#include "kestrel/render/pdev.h"
#include "kplatform/engine_objects.h"

constexpr int TT_TABLE_NAMES = 18;
constexpr DWORD TT_TAG_END = 0xFFFFFFFFu;
constexpr DWORD TT_PI26_GLYPH_METRICS = 0x20000000u;  // printer information item 26: glyphs carry metrics
constexpr WORD TT_PI_GLYPH_METRICS_ITEM = 26;
constexpr WORD XL_SYMBOLSET_OUTLINE = 590;
constexpr WORD XL_SYMBOLSET_BITMAP = 309;
constexpr BYTE XL_FONT_TECH_TRUETYPE = 1;
constexpr BYTE XL_FONT_TECH_BITMAP = 254;
constexpr DWORD XL_FONTHEADER_PIECE = 0xFFFF;  // largest ReadFontHeader
constexpr DWORD XL_BM_FONTHEADER_SIZE = 24;
constexpr WORD XL_COMPONENT_CODE = 0xFFFF;  // character code of a composite's components
constexpr int TT_MAX_COMPONENT_DEPTH = 16;

constexpr DWORD TtTag(char a, char b, char c, char d) {
  return (static_cast<DWORD>(static_cast<BYTE>(a)) << 24) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 8) | static_cast<DWORD>(static_cast<BYTE>(d));
}

struct TT_TABLEENTRY {
  DWORD tag;  // TT_TAG_END ends the list when fewer than 18 are present
  DWORD reserved;
  const BYTE* data;
  DWORD length;
};

struct TT_TABLEINFO {
  DWORD version;     // the member's sfnt version, or "ttcf" for a collection member
  const BYTE* file;  // the whole file
  DWORD fileSize;
  const BYTE* base;  // the chosen member's offset table
  WORD numGlyphs;
  WORD numHMetrics;
  BOOL hasVMetrics;
  WORD numVMetrics;
  SHORT locFormat;
  BOOL glyphMetrics;  // printer information item 26 bit 0x20000000
  TT_TABLEENTRY tables[TT_TABLE_NAMES];
};

// The character state of a run (the text output builds it; the download
// reads the name, symbol set and char size).
struct XLTEXT_CHARSTATE {
  WORD charAngle;
  FLOATOBJ scaleX, scaleY, shearX, shearY, boldValue;
  BYTE subMode;
  BYTE charAttributes;
  char fontName[XL_FONTNAME_MAX];
  FLOATOBJ charSize;  // pixels
  WORD symbolSet;
};

extern const DWORD TableInfoNames[TT_TABLE_NAMES];
extern const DWORD FontHeaderNames_woM[6];
extern const DWORD FontHeaderNames_wHVM[10];
extern const DWORD FontHeaderNames_wHM[8];

// ---- table information ---------------------------------------------------------
LONG xltext_CreateTableInfo(PDEV* pdev, FONTOBJ* pfo, LPCWSTR faceName, TT_TABLEINFO* info);
// The same from the file's bytes (glyphMetrics left 0).
LONG xltext_CreateTableInfoFromFile(const BYTE* file, DWORD size, LPCWSTR faceName, TT_TABLEINFO* info);
// The offset of the collection member whose full name is faceName (a
// leading "@" ignored); -1 when none.
LONG xltext_GetTTFHead(const BYTE* file, DWORD size, LPCWSTR faceName);
LONG xltext_GetTable(const TT_TABLEINFO* info, DWORD tag, const BYTE** data, DWORD* length);
LONG xltext_GetTable_4B(const TT_TABLEINFO* info, DWORD tag, const BYTE** data, DWORD* length4);
WORD xltext_GetNumGlyphs(const TT_TABLEINFO* info);
WORD xltext_GetNumOfHMetrics(const TT_TABLEINFO* info);
WORD xltext_GetNumOfVMetrics(const TT_TABLEINFO* info);
SHORT xltext_GetLocFormat(const TT_TABLEINFO* info);

// ---- font headers --------------------------------------------------------------
// The header list for the table information: its tags and count.
const DWORD* xltext_HeaderList(const TT_TABLEINFO* info, DWORD* count);
DWORD xltext_CalcCheckSum(const BYTE* data, DWORD length, const BYTE* fileEnd);
// T: the present header tables' lengths rounded up to 4 ("gdir" not counted).
DWORD xltext_GetAllTableSize(const TT_TABLEINFO* info, const DWORD* list, DWORD count);
void xltext_Create_XLFontHeader(BYTE* out, WORD symbolSet, BYTE technology, WORD numChars);
// Writes the GT segment; answers its size (2 + 4 + 12 + 16 n + T).
DWORD xltext_Create_GTSegment(BYTE* out, const TT_TABLEINFO* info, const DWORD* list, DWORD count);
void xltext_Create_BRSegment(BYTE* out, WORD xResolution, WORD yResolution);
void xltext_Create_NULLSegment(BYTE* out);
// The whole TrueType header block in engine memory (free with EngFreeMem);
// null when it cannot be built.
BYTE* xltext_BuildFontHeader_TT(const TT_TABLEINFO* info, WORD symbolSet, WORD numChars, DWORD* size);

LONG xltext_SendFontHeader(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, ULONG count, BYTE kind,
                           const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info);
// *nothingSent is TRUE when the call failed before writing (the header
// block could not be made).
LONG xltext_SendFontHeader_TT(PDEV* pdev, WORD numChars, const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info,
                              BOOL* nothingSent);
LONG xltext_SendFontHeader_BM(PDEV* pdev, WORD numChars, const XLTEXT_CHARSTATE* cs);

// ---- glyphs -----------------------------------------------------------------------
// The glyph's data in glyf (null, 0 for an empty glyph) and whether it is
// composite; -1 for a glyph that cannot be read.
LONG xltext_GetGlyph(const TT_TABLEINFO* info, WORD index, const BYTE** data, DWORD* length, BOOL* composite);
LONG xltext_GetAWandLSB(const TT_TABLEINFO* info, WORD index, WORD* advance, SHORT* lsb);
LONG xltext_GetAHandTSB(const TT_TABLEINFO* info, WORD index, WORD* advance, SHORT* tsb);
// Checks a glyph and its components (records, self-reference, cycles,
// depth, metrics) without writing.
LONG xltext_CheckGlyph(const TT_TABLEINFO* info, WORD index);
// The glyph record (engine memory, EngFreeMem); null when it cannot be built.
BYTE* xltext_BuildGlyphRecord_TT(const TT_TABLEINFO* info, WORD index, DWORD* size);

LONG xltext_SendChar(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, ULONG count, const GLYPHPOS* pgp, BYTE kind,
                     const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info, WORD* codes);
LONG xltext_SendChar_TT(PDEV* pdev, WORD index, WORD code, const XLTEXT_CHARSTATE* cs, const TT_TABLEINFO* info);
// Sends the component records xltext_SendChar_TT built (each preceded by
// its 32-bit size), depth first, with character code 0xFFFF.
LONG xltext_SendChar_Composite(PDEV* pdev, const BYTE* records, DWORD length, const XLTEXT_CHARSTATE* cs,
                               const TT_TABLEINFO* info, int depth);
LONG xltext_SendChar_BM(PDEV* pdev, FONTOBJ* pfo, HGLYPH hg, const GLYPHBITS* bits, WORD code,
                        const XLTEXT_CHARSTATE* cs);
// s (hundredths of a point) and the growth before and after in each
// direction; s is the integer part of charSize x 7200 / resolution.
LONG xltext_CalcSimBoldBitmap(const FLOATOBJ* charSize, LONG resolution, LONG* before, LONG* after);
// ORs `src` (w x h) into `dst` ((w + left + right) x (h + top + bottom),
// zeroed) at (left, top) and at every offset on the border of the rectangle
// (-left, -top)..(right, bottom).
void xltext_MakeSimBoldBitmap(const BYTE* src, LONG w, LONG h, BYTE* dst, LONG left, LONG top, LONG right,
                              LONG bottom);
// The bitmap record (engine memory, EngFreeMem) of glyph bits, bold grown
// by (before, after) when `bold`; null when it cannot be built.
BYTE* xltext_BuildGlyphRecord_BM(const GLYPHBITS* bits, BOOL bold, LONG before, LONG after, DWORD* size);

// ---- glyph mapping ---------------------------------------------------------------
LONG xltext_CheckCmapSubtable4(const TT_TABLEINFO* info, BOOL* format4, BOOL* symbol);
LONG xltext_ConvertSymbolGlyph(const TT_TABLEINFO* info, const IFIMETRICS* ifi, ULONG count, WORD* codes);
LONG xltext_ConvertVerticalText_mort(const TT_TABLEINFO* info, ULONG count, WORD* glyphs);
LONG xltext_ConvertVerticalText_GSUB(const TT_TABLEINFO* info, ULONG count, WORD* glyphs);
LONG xltext_ConvertVerticalText_GSUB_1(const BYTE* gsub, DWORD length, DWORD subtable, ULONG count, WORD* glyphs);
LONG xltext_ConvertVerticalText_GSUB_2(const BYTE* gsub, DWORD length, DWORD subtable, ULONG count, WORD* glyphs);
WORD xltext_ConvertVerticalGlyph_GSUB_1(const BYTE* gsub, DWORD length, DWORD subtable, WORD glyph);
WORD xltext_ConvertVerticalGlyph_GSUB_2(const BYTE* gsub, DWORD length, DWORD subtable, WORD glyph);
