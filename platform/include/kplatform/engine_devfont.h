// The engine's device-font records: what a driver hands the engine about the
// printer's own fonts (DrvQueryFont, DrvQueryFontTree, DrvQueryFontData,
// DrvQueryAdvanceWidths) and the glyph sets the engine computes for it.
//
// These records live only in memory between the engine and the driver; they
// are never stored or sent, so they take this 64-bit build's natural layout
// (pointers and PTRDIFF at 8 bytes). Where the 32-bit layout has a size a
// driver relies on, the driver derives it from sizeof here. FD_DEVICEMETRICS
// holds no pointer and keeps its 124 bytes.
#pragma once

#include <cstddef>

#include "kplatform/engine_ddi.h"
#include "kplatform/engine_float.h"
#include "kplatform/engine_objects.h"

// Character sets (LOGFONT.lfCharSet, IFIMETRICS.jWinCharSet).
#ifndef SHIFTJIS_CHARSET
#define SHIFTJIS_CHARSET 128
#endif
#ifndef HANGEUL_CHARSET
#define HANGEUL_CHARSET 129
#endif
#ifndef GB2312_CHARSET
#define GB2312_CHARSET 134
#endif
#ifndef CHINESEBIG5_CHARSET
#define CHINESEBIG5_CHARSET 136
#endif
#ifndef DEFAULT_CHARSET
#define DEFAULT_CHARSET 1
#endif

// Pitch and family (the low two bits pitch, the high nibble family).
#ifndef FIXED_PITCH
#define FIXED_PITCH 1
#endif
#ifndef VARIABLE_PITCH
#define VARIABLE_PITCH 2
#endif
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50

// DrvQueryFontTree modes.
#define QFT_LIGATURES 1u
#define QFT_KERNPAIRS 2u
#define QFT_GLYPHSET 3u

// DrvQueryFontData modes.
#define QFD_GLYPHANDBITMAP 1u
#define QFD_GLYPHANDOUTLINE 2u
#define QFD_MAXEXTENTS 3u

// DrvQueryAdvanceWidths modes.
#define QAW_GETWIDTHS 0u
#define QAW_GETEASYWIDTHS 1u

// FD_GLYPHSET.flAccel.
#define GS_UNICODE_HANDLES 0x00000001u
#define GS_8BIT_HANDLES 0x00000002u
#define GS_16BIT_HANDLES 0x00000004u

// IFIMETRICS.flInfo bits the driver sets.
#define FM_INFO_TECH_BITMAP 0x00000001u
#define FM_INFO_TECH_STROKE 0x00000002u
#define FM_INFO_TECH_OUTLINE_NOT_TRUETYPE 0x00000004u
#define FM_INFO_ARB_XFORMS 0x00000010u
#define FM_INFO_1BPP 0x00000020u
#define FM_INFO_RETURNS_BITMAPS 0x00000800u
#define FM_INFO_OPTICALLY_FIXED_PITCH 0x00001000u
#define FM_INFO_INTEGRAL_SCALING 0x00010000u
#define FM_INFO_90DEGREE_ROTATIONS 0x00080000u
#define FM_INFO_CONSTANT_WIDTH 0x00400000u
#define FM_INFO_DBCS_FIXED_PITCH 0x10000000u

// IFIMETRICS.fsType.
#define FM_NO_EMBEDDING 0x0002u

// FD_DEVICEMETRICS.flRealizedType.
#define FDM_TYPE_BM_SIDE_CONST 0x00000001u
#define FDM_TYPE_MAXEXT_EQUAL_BM_SIDE 0x00000002u
#define FDM_TYPE_CHAR_INC_EQUAL_BM_BASE 0x00000004u
#define FDM_TYPE_ZERO_BEARINGS 0x00000008u
#define FDM_TYPE_CONST_BEARINGS 0x00000010u

// A run of consecutive Unicode characters and their glyph handles.
typedef struct _WCRUN {
  WCHAR wcLow;
  USHORT cGlyphs;
  HGLYPH* phg;  // null: the handles are the characters themselves
} WCRUN, *PWCRUN;

typedef struct _FD_GLYPHSET {
  ULONG cjThis;  // the whole block: header, runs and handle arrays
  FLONG flAccel;
  ULONG cGlyphsSupported;
  ULONG cRuns;
  WCRUN awcrun[1];
} FD_GLYPHSET, *PFD_GLYPHSET;

typedef struct _FD_KERNINGPAIR {
  WCHAR wcFirst;
  WCHAR wcSecond;
  FWORD fwdKern;
} FD_KERNINGPAIR;
static_assert(sizeof(FD_KERNINGPAIR) == 6);

// Offsets from the FONTSIM record to each simulation's FONTDIFF (0: none).
typedef struct _FONTSIM {
  PTRDIFF dpBold;
  PTRDIFF dpItalic;
  PTRDIFF dpBoldItalic;
} FONTSIM;

typedef struct _FONTDIFF {
  BYTE jReserved1;
  BYTE jReserved2;
  BYTE jReserved3;
  BYTE bWeight;  // the PANOSE weight
  USHORT usWinWeight;
  USHORT fsSelection;
  FWORD fwdAveCharWidth;
  FWORD fwdMaxCharInc;
  POINTL ptlCaret;
} FONTDIFF;
static_assert(sizeof(FONTDIFF) == 20);

typedef struct _POINTE {
  FLOATL x;
  FLOATL y;
} POINTE;

typedef struct _FD_XFORM {
  FLOATL eXX;
  FLOATL eXY;
  FLOATL eYX;
  FLOATL eYY;
} FD_XFORM;

typedef struct _FD_DEVICEMETRICS {
  FLONG flRealizedType;
  POINTE pteBase;
  POINTE pteSide;
  LONG lD;
  FIX fxMaxAscender;
  FIX fxMaxDescender;
  POINTL ptlUnderline1;
  POINTL ptlStrikeOut;
  POINTL ptlULThickness;
  POINTL ptlSOThickness;
  ULONG cxMax;
  ULONG cyMax;
  ULONG cjGlyphMax;
  FD_XFORM fdxQuantized;
  LONG lNonLinearExtLeading;
  LONG lNonLinearIntLeading;
  LONG lNonLinearMaxCharWidth;
  LONG lNonLinearAvgCharWidth;
  LONG lMinA;
  LONG lMinC;
  LONG lMinD;
  LONG alReserved[1];
} FD_DEVICEMETRICS, *PFD_DEVICEMETRICS;
static_assert(sizeof(FD_DEVICEMETRICS) == 124);
static_assert(offsetof(FD_DEVICEMETRICS, fdxQuantized) == 76);

// The glyph set of `cChars` consecutive byte values from iFirst in a code
// page (0 = the ANSI code page): one EngAllocMem block (the caller frees it
// with EngFreeMem) holding the header, its runs and their handles. Each run
// covers consecutive Unicode characters; a character's handle is its byte
// value. Bytes the code page does not map (or maps to an already listed
// character) are left out. Null when iFirst + cChars passes 256, cChars is 0,
// the code page is unknown, or memory runs out.
KP_API FD_GLYPHSET* WINAPI EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars);
