// Device fonts: the printer's resident fonts, read from the font metric
// records (XFM) of the description data (category 11), exposed to the
// engine as device fonts and kept whole as the PDEV's font set for text
// output and substitution (fontsubst.h).
//
// Sizes. The metrics block of an exposed font and the IFIMETRICS it holds go
// to the engine only, never stored or sent, so they take this build's own
// layout: the IFIMETRICS offset (NTFM_IFI_OFFSET) and the IFIMETRICS block
// (sizeof IFIMETRICS + FONTSIM + three FONTDIFF, then the names) come from
// our records (676 and 256 + names in the 32-bit layout), and the block's
// parts must add up to the computed total or the font is not made.
//
// Decisions (see render/km/README.md, "Device fonts"):
//  - The XFM record is read only within its size (ddd_GetXFMSize): every
//    offset (face name 45, metric values 59, widths 63, extended width block
//    67, kerning 71, font id 79), string, table, default-character position
//    and kerning count is checked; a record that fails counts as a failed
//    read (GetXFM FALSE).
//  - The extended width block is the compiler's offset at 67 (0: none),
//    counted from byte 6 like the other offsets: 16-bit counts, then the
//    default-width ranges, the areas and the sorted code list (devfont.cpp).
//  - The pitch nibble of an XFM is 0 for fixed pitch and anything else for
//    variable (the compiler writes 2). The engine gets FIXED_PITCH or
//    VARIABLE_PITCH with the family; the font set keeps the family with bit
//    0x1 set for variable pitch, the bit the scoring's pitch rule reads.
//  - The 13 metric values are carried as read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/engine.h"

struct PDEV;

// ---- The XFM record --------------------------------------------------------------
// Offsets from the start of the record's data; the 32-bit offsets of the
// variable parts count from byte 6.
namespace xfm {
constexpr DWORD kSize = 0;          // 32-bit size of the record
constexpr DWORD kAspectY = 10;      // 16-bit
constexpr DWORD kAspectX = 12;      // 16-bit
constexpr DWORD kAscent = 14;       // 16-bit
constexpr DWORD kV1 = 16;           // 16-bit: the descent line
constexpr DWORD kV2 = 18;           // 16-bit: the line spacing
constexpr DWORD kItalic = 20;       // byte
constexpr DWORD kUnderline = 21;    // byte
constexpr DWORD kStrikeOut = 22;    // byte
constexpr DWORD kWeight = 23;       // unsigned 16-bit
constexpr DWORD kCharSet = 25;      // byte
constexpr DWORD kPitchFamily = 30;  // byte: pitch low nibble (0 fixed), family high nibble
constexpr DWORD kAvgWidth = 31;     // 16-bit
constexpr DWORD kMaxWidth = 33;     // 16-bit
constexpr DWORD kFirstChar = 35;    // byte
constexpr DWORD kLastChar = 36;     // byte
constexpr DWORD kDefaultChar = 37;  // byte, counted from the first character
constexpr DWORD kBreakChar = 38;    // byte, counted from the first character
constexpr DWORD kFaceName = 45;     // 32-bit offset: face name, NUL, family name, NUL (8-bit)
constexpr DWORD kMetrics = 59;      // 32-bit offset: 13 32-bit values
constexpr DWORD kWidths = 63;       // 32-bit offset: 16-bit widths first..last (0: none)
constexpr DWORD kExtWidths = 67;    // 32-bit offset: the extended width block (0: none)
constexpr DWORD kKernPairs = 71;    // 32-bit offset: 16-bit count, {byte, byte, 16-bit amount}
constexpr DWORD kFontId = 79;       // 32-bit offset: the font id, hexadecimal text
constexpr DWORD kFixedPart = 83;    // the fixed part ends here
constexpr DWORD kOffsetBase = 6;    // the variable parts' offsets count from here
constexpr DWORD kMetricCount = 13;
constexpr WORD kDefaultWidth = 81;  // a record's default width when it gives 0
}  // namespace xfm

// The printer font name's room: 16 bytes once converted to 8 bits, and a NUL.
constexpr DWORD DEVFONT_PRINTER_NAME = 16;
// The symbol set a record without one takes (the PCL XL symbol set 590).
constexpr WORD DEVFONT_DEFAULT_SYMBOLSET = 590;
// Face names, in characters, without the NUL.
constexpr DWORD DEVFONT_FACE_CHARS = 32;
// The previous record's secondary name compared by isRegistDeviceName.
constexpr DWORD DEVFONT_PREVIOUS_NAME = 80;

// ---- Width lookup of an XFM (setNrvFontInfo) -------------------------------------
// Points into the XFM bytes it was made from (the copy in the metrics block,
// or the caller's record), which must outlive it.
struct XFM_WIDTHINFO {
  const BYTE* xfm;       // the record
  DWORD xfmSize;         // its size
  WORD first;            // first character
  WORD last;             // last character
  DWORD widthTable;      // offset of the direct table within the record, 0: none
  WORD defaultWidth;     // kDefaultWidth when the record gives 0
  WORD reserved;
  DWORD ext;             // offset of the extended block within the record, 0: none
  WORD extRanges;        // default-width ranges {first, last, width}
  WORD extAreas;         // areas {first, last, 32-bit offset of a width array}
  WORD extPairs;         // sorted {code, width}
  WORD reserved2;
};

// Fills the lookup state of a checked XFM record (GetXFM's output).
void setNrvFontInfo(XFM_WIDTHINFO* info, const BYTE* xfm, DWORD size);
// A character's width, or -1 when no table answers.
LONG xfm_getCharWidth(const XFM_WIDTHINFO* info, DWORD code);
LONG xfmSearchCharWidth(const XFM_WIDTHINFO* info, DWORD code);
LONG xfmSearchDefaultWidth(const XFM_WIDTHINFO* info, DWORD code);
LONG xfmSearchAreaWidth(const XFM_WIDTHINFO* info, DWORD code);
// Hexadecimal digits to a number (at most 8 digits are taken; stops at the
// first other character).
DWORD xfmStrToHex(const char* text, DWORD maxChars);
WORD xfmGetWord(const BYTE* p);
DWORD xfmGetDWORD(const BYTE* p);
// The bytes at a record offset (counted from byte 6) when `need` bytes fit
// within the record; null otherwise.
const BYTE* xfmGetPtr(const BYTE* xfm, DWORD size, DWORD offset, DWORD need);

// ---- The metrics block of an exposed font (pntfmConvertXfmToNtm) -----------------
struct NTFM_SIZES {
  DWORD total;       // the whole block
  DWORD ifiOffset;   // NTFM_IFI_OFFSET
  DWORD kernCount;   // pairs, the closing zero pair not counted
  DWORD kernOffset;  // FD_KERNINGPAIR array (count + 1 entries)
  DWORD xfmSize;
  DWORD xfmOffset;   // the copy of the XFM record
};

constexpr DWORD NTFM_VERSION = 0x10000;

struct NTFM {
  DWORD version;  // NTFM_VERSION
  NTFM_SIZES sz;
  DWORD fontId;
  DWORD metrics[xfm::kMetricCount];
  DWORD widthFlag;  // 1 when the record has a width table
  XFM_WIDTHINFO widthInfo;  // over the copy at sz.xfmOffset
  WORD widths[256];         // by character byte
};
constexpr DWORD NTFM_IFI_OFFSET = (sizeof(NTFM) + 7u) & ~7u;

inline IFIMETRICS* NTFM_Ifi(NTFM* p) { return reinterpret_cast<IFIMETRICS*>(reinterpret_cast<BYTE*>(p) + p->sz.ifiOffset); }
inline FD_KERNINGPAIR* NTFM_Kern(NTFM* p) {
  return reinterpret_cast<FD_KERNINGPAIR*>(reinterpret_cast<BYTE*>(p) + p->sz.kernOffset);
}
inline const BYTE* NTFM_Xfm(const NTFM* p) { return reinterpret_cast<const BYTE*>(p) + p->sz.xfmOffset; }

// IFIMETRICS, FONTSIM and three FONTDIFF (the fixed part of the IFIMETRICS
// block; the names follow).
constexpr DWORD NTFM_IFI_FIXED = static_cast<DWORD>(sizeof(IFIMETRICS) + sizeof(FONTSIM) + 3 * sizeof(FONTDIFF));

// ---- The device-font information of the font set (GetDevfontInfo) ---------------
struct DEVFONTINFO {
  WCHAR faceName[DEVFONT_FACE_CHARS + 1];     // Unicode face name (the record's name)
  char printerName[DEVFONT_PRINTER_NAME + 1];  // 8-bit, NUL-terminated
  WORD symbolSet;
  DWORD fontId;
  BYTE pitchAndFamily;  // the family, with bit 0x1 for variable pitch
  BYTE charSet;
  WORD weight;
  BYTE italic;  // 1 italic
  WORD recordNumber;  // the XFM's record number in the description data
};

// ---- The PDEV's device fonts ----------------------------------------------------
// Every table is PDEV heap memory, freed by devfont_Free (FreePdevMemory).
struct DEVFONT_TABLES {
  NTFM** exposed;          // by the engine's face index - 1
  DWORD cExposed;
  WORD* exposedRecords;    // the exposed fonts' record numbers
  DEVFONTINFO* fontSet;    // the printer's whole font set
  DWORD cFontSet;
};

// ---- Set-up ------------------------------------------------------------------------
BOOL EnableDriverDeviceFonts(void);
BOOL EnablePDEVDeviceFonts(PDEV* pdev);
// Frees the PDEV's device-font tables (FreePdevMemory).
void devfont_Free(PDEV* pdev);
// The PDEV's tables, or null when it has none.
DEVFONT_TABLES* devfont_Tables(PDEV* pdev);

DWORD GetXFMnum(PDEV* pdev);
BOOL GetRegistXFMnum(PDEV* pdev, LPCWSTR familyList, WORD** exposed, DWORD* cExposed, WORD** fontSet,
                     DWORD* cFontSet);
// `previous` holds DEVFONT_PREVIOUS_NAME bytes (NUL-terminated).
BOOL isRegistDeviceName(LPCWSTR familyList, const BYTE* xfm, DWORD xfmSize, LPCWSTR recordName, char* previous);
// The XFM of a record (a checked copy, PDEV heap; XFMFree) with its printer
// font name (DEVFONT_PRINTER_NAME + 1 bytes, "Courier" padded with blanks
// when the record has none) and symbol set (590 when none or 0).
BOOL GetXFM(PDEV* pdev, BYTE** data, DWORD* size, WORD recordNumber, char* printerName, WORD* symbolSet);
void XFMFree(PDEV* pdev, BYTE* data);
// Checks an XFM record's every offset, string and table within `size`.
BOOL xfm_CheckRecord(const BYTE* xfm, DWORD size);
BOOL EnumXFM2NTFM_DEVFONTINFO(PDEV* pdev, const WORD* exposed, DWORD cExposed, const WORD* fontSet,
                              DWORD cFontSet);
// The metrics block of a font, or null: a PDEV heap block the caller frees
// with HEAPFREE unless it goes into the PDEV's tables.
NTFM* pntfmConvertXfmToNtm(PDEV* pdev, const BYTE* xfm, DWORD size);
BOOL MakeNtfmSZ(const BYTE* xfm, DWORD size, NTFM_SIZES* sz);
DWORD cjKernPairs(const BYTE* xfm, DWORD size);
DWORD cjXfmData(const BYTE* xfm, DWORD size);
DWORD cjFaceNameUnicodeSize(const BYTE* xfm, DWORD size);
DWORD cjFamilyNameUnicodeSize(const BYTE* xfm, DWORD size);
DWORD cjNrvIFIMETRICS(const BYTE* xfm, DWORD size);
void vReadCharWidths(const BYTE* xfm, DWORD size, WORD* widths);
void vPscriptFill_IFIMETRICS(IFIMETRICS* ifi, DWORD cj, const BYTE* xfm, DWORD size, const WORD* widths);
BOOL vFillKernPairs(FD_KERNINGPAIR* pairs, const BYTE* xfm, DWORD size);
void vFillXfmData(BYTE* out, const BYTE* xfm, DWORD size);
void vXfmValues(DWORD* values, const BYTE* xfm, DWORD size);
void GetFirstLastChar(const BYTE* xfm, DWORD size, WCHAR* first, WCHAR* last);
USHORT fsSelectionFlags(const BYTE* xfm, DWORD size);
// Hexadecimal text (NUL-terminated, at most 8 digits) to a number.
DWORD HEXStr2DWORD(const char* text);
BOOL GetDevfontInfo(PDEV* pdev, const BYTE* xfm, DWORD size, LPCWSTR recordName, const char* printerName,
                    WORD symbolSet, DEVFONTINFO* info);
// The code page of a character set: 932, 949, 936, 950 for the far-eastern
// sets, else 1252 (SYMBOL and DEFAULT count as ANSI).
UINT devfont_CodePage(BYTE charSet);

// ---- Glyph sets ---------------------------------------------------------------------
BOOL ComputePsGlyphSet(void);
// The glyph set of the face index (shared, never freed by the caller); null
// with last error 87 for an index outside the exposed fonts.
FD_GLYPHSET* GetNRVGlyphSet(PDEV* pdev, ULONG iFace);

// ---- The DEVINFO default font ---------------------------------------------------------
BOOL SetDefaultFont_pdl(PDEV* pdev, ENGLOGFONTW* font);
// When DDM 384 names no font of the set, the PDEV is not refused over its
// default font: FillPsDevInfo takes the set's first font at the size of
// DDM 385 instead (devfont_FirstFontAsDefault; FALSE without a font set).
BOOL devfont_FirstFontAsDefault(PDEV* pdev, ENGLOGFONTW* font);
// The font-set position (from 1) of the font id, 0 when none.
DWORD FontID2FontIndex(PDEV* pdev, DWORD fontId);

// ---- The installed TrueType families (kestreltt.tmp) ---------------------------------
// Kept apart from the user-mode writer of the file (kestrel/core/systtf.h),
// which has a GetSysTTFListFileName of its own.
namespace kmttf {
// The family list (kcore_Alloc block of NUL-terminated names ending with an
// empty one; kcore_Free), or null when there is none.
LPWSTR GetSystemTrueTypeFontFamilyList(HDEV hdev);
LPWSTR GetSystemTrueTypeFontList_FromFile(HDEV hdev, LPCWSTR fileName);
// The list file's name into `fileName` (MAX_PATH characters); FALSE when the
// printer-data file name has no "system32".
BOOL GetSysTTFListFileName(HDEV hdev, LPWSTR fileName);
// The names of a mapped file's bytes (size in bytes); null when malformed.
LPWSTR ParseFamilyList(const BYTE* bytes, DWORD size);
}  // namespace kmttf

// ---- The engine's font entries ---------------------------------------------------------
IFIMETRICS* DDI_DrvQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid);
PVOID DDI_DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR* pid);
LONG DDI_DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv, ULONG cjSize);
BOOL DDI_DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths,
                               ULONG cGlyphs);
