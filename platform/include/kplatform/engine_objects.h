// The engine's drawing objects as drivers see them: paths, clip regions,
// brushes, colour translations, transforms, fonts and strings.
//
// Every object is engine-owned: a driver gets a pointer to the public part
// and reaches the rest through the object's services. The services that the
// engine stand-in carries today, the font and string objects among them,
// are declared below with their behaviour (those of the drawing calls in
// engine_draw.h).
//
// Tests make the objects with the KpEngineCreate* controls (engine_runner.h,
// engine_draw.h) and hand them to the runner's drawing calls.
#pragma once

#include "kplatform/engine_ddi.h"
#include "kplatform/engine_float.h"

// ---- PATHOBJ -------------------------------------------------------------------

#define PO_BEZIERS 0x00000001u
#define PO_ELLIPSE 0x00000002u

#define PD_BEGINSUBPATH 0x00000001u
#define PD_ENDSUBPATH 0x00000002u
#define PD_RESETSTYLE 0x00000004u
#define PD_CLOSEFIGURE 0x00000008u
#define PD_BEZIERS 0x00000010u

typedef struct _PATHOBJ {
  FLONG fl;        // PO_BEZIERS when any record holds Bézier points
  ULONG cCurves;   // lines and Bézier curves in the whole path
} PATHOBJ, *PPATHOBJ;

// One record of a path: flags, and count points in 28.4.
typedef struct _PATHDATA {
  FLONG flags;
  ULONG count;
  POINTFIX* pptfx;
} PATHDATA, *PPATHDATA;

// Starts (or restarts) the enumeration of the path's records.
KP_API VOID WINAPI PATHOBJ_vEnumStart(PATHOBJ* ppo);
// Fills *ppd with the next record; its points stay valid until the path is
// deleted. TRUE when more records follow, FALSE for the last one (and for an
// empty or finished path, with count 0 and no points).
KP_API BOOL WINAPI PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd);
// The bounds of every point of the path in 28.4 (all zero for an empty path).
KP_API VOID WINAPI PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx);

// ---- CLIPOBJ -------------------------------------------------------------------

#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3

typedef struct _CLIPOBJ {
  ULONG iUniq;
  RECTL rclBounds;
  BYTE iDComplexity;
  BYTE iFComplexity;
  BYTE iMode;
  BYTE fjOptions;
} CLIPOBJ, *PCLIPOBJ;

// ---- BRUSHOBJ ------------------------------------------------------------------

typedef struct _BRUSHOBJ {
  ULONG iSolidColor;  // 0xFFFFFFFF for a pattern brush the driver realizes
  PVOID pvRbrush;
  FLONG flColorType;
} BRUSHOBJ, *PBRUSHOBJ;

// ---- XLATEOBJ ------------------------------------------------------------------

#define XO_TRIVIAL 0x00000001u
#define XO_TABLE 0x00000002u
#define XO_TO_MONO 0x00000004u

typedef struct _XLATEOBJ {
  ULONG iUniq;
  FLONG flXlate;
  USHORT iSrcType;
  USHORT iDstType;
  ULONG cEntries;
  ULONG* pulXlate;
} XLATEOBJ, *PXLATEOBJ;

// The colour index or value iColor translated: unchanged for a null object
// or an XO_TRIVIAL one; for XO_TABLE the entry iColor of the table, and
// 0xFFFFFFFF for an index beyond it.
KP_API ULONG WINAPI XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor);

// ---- XFORMOBJ ------------------------------------------------------------------

#define GX_IDENTITY 0
#define GX_OFFSET 1
#define GX_SCALE 2
#define GX_GENERAL 3
#define DDI_ERROR 0xFFFFFFFFu

#define XF_LTOL 0
#define XF_INV_LTOL 1
#define XF_LTOFX 2
#define XF_INV_FXTOL 3

typedef struct _XFORML {
  FLOATL eM11;
  FLOATL eM12;
  FLOATL eM21;
  FLOATL eM22;
  FLOATL eDx;
  FLOATL eDy;
} XFORML, *PXFORML;

typedef struct _XFORMOBJ {
  ULONG ulReserved;
} XFORMOBJ, *PXFORMOBJ;

// The transform's kind: GX_IDENTITY, GX_OFFSET (translation only), GX_SCALE
// (no shear or rotation; translation allowed) or GX_GENERAL; DDI_ERROR for a
// null object. The matrix is copied to *pxform when it is not null. Points
// are row vectors: x' = x m11 + y m21 + dx, y' = x m12 + y m22 + dy.
KP_API ULONG WINAPI XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform);
// The same, as FLOATOBJ values.
KP_API ULONG WINAPI XFORMOBJ_iGetFloatObjXform(XFORMOBJ* pxo, FLOATOBJ_XFORM* pfxo);
// Transforms cPoints points: XF_LTOL POINTL to POINTL, XF_INV_LTOL by the
// inverse, XF_LTOFX POINTL to POINTFIX, XF_INV_FXTOL POINTFIX to POINTL by
// the inverse. Results round to the nearest integer (halves away from zero).
// FALSE for a null object or buffer, an unknown mode, a singular matrix in an
// inverse mode, or a result outside the LONG range (nothing is written then).
KP_API BOOL WINAPI XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn, PVOID pvOut);

// ---- FONTOBJ and STROBJ ----------------------------------------------------------
//
// The stand-in's fonts are TrueType files of the font folder
// (KpSetFontFolder, gdi32_fonts.h) read with FreeType; tests make them with
// KpEngineCreateTrueTypeFont and strings on them with KpEngineCreateString
// (engine_runner.h). Decisions of the stand-in:
//  - FONTOBJ_pvTrueTypeFontFile answers the whole file (a collection whole,
//    not the member) as a read-only mapped view that lives as long as the
//    font object.
//  - A glyph handle (HGLYPH) is the TrueType glyph index.
//  - The font's transform (FONTOBJ_pxoGetXform) maps notional space (font
//    units, y pointing down like the device, so the glyph's ascent is
//    negative) to device pixels: an upright font is {s, 0, 0, s} with
//    s = em pixels / units per em; escapement turns it counter-clockwise on
//    the page, a mirrored font negates the baseline row (M11, M12), a shear
//    k moves the up direction along the baseline. Simulated italic and bold
//    are flags (FO_SIM_ITALIC, FO_SIM_BOLD), not part of the transform.
//  - Glyph bits (FONTOBJ_cGetGlyphs, FO_GLYPHBITS) are FreeType's monochrome
//    rendering under that transform, simulated italic included (FreeType's
//    oblique shear), simulated bold not (the driver makes it). Rows are
//    (cx + 7) / 8 bytes, most significant bit first, top row first;
//    ptlOrigin is the top-left pixel relative to the glyph origin (y down).
//    A glyph without ink is one blank 1 x 1 pixel. Glyph data stay valid
//    as long as the font object.
//  - FONTOBJ_pifi: face name = the full name (name id 4), "@" in front for
//    a vertical face; family and style from name ids 1 and 2; jWinCharSet
//    SYMBOL_CHARSET when the cmap has a (3, 0) subtable, else ANSI_CHARSET;
//    usWinWeight and fsSelection (FM_SEL_ITALIC, FM_SEL_BOLD, FM_SEL_REGULAR)
//    from OS/2; wcFirstChar, wcLastChar and wcDefaultChar from OS/2's first
//    and last character index and default character (wcDefaultChar 0x20 when
//    OS/2 has none); jWinPitchAndFamily FIXED_PITCH or VARIABLE_PITCH by
//    the face's fixed-width flag, with the family from OS/2's PANOSE
//    (hand-written FF_SCRIPT, decorative and symbol FF_DECORATIVE,
//    monospaced FF_MODERN, Latin text FF_SWISS when sans-serif, FF_ROMAN
//    when serifed, else FF_DONTCARE).
//  - Strings: pwszOrg always holds the text, glyph indices under
//    SO_GLYPHINDEX_TEXTOUT; positions are the origin plus the sum of the
//    transformed advances (26.6, rounded to pixels once at each glyph);
//    pgdf holds the glyph's GLYPHDATA with its bits when the string was made
//    in FO_GLYPHBITS mode, else null.

typedef ULONG HGLYPH;
typedef SHORT FWORD;
typedef LONG_PTR PTRDIFF;

#define FO_TYPE_RASTER 0x00000001u
#define FO_TYPE_DEVICE 0x00000002u
#define FO_TYPE_TRUETYPE 0x00000004u
#define FO_TYPE_OPENTYPE 0x00000008u

#define FO_SIM_BOLD 0x00002000u
#define FO_SIM_ITALIC 0x00004000u
#define FO_EM_HEIGHT 0x00008000u
#define FO_GRAY16 0x00010000u
#define FO_NOGRAY16 0x00020000u
#define FO_NOHINTS 0x00040000u
#define FO_NO_CHOICE 0x00080000u
#define FO_VERT_FACE 0x00800000u

// FONTOBJ_cGetGlyphs modes (also DrvGetGlyphMode's answers).
#define FO_HGLYPHS 0u
#define FO_GLYPHBITS 1u
#define FO_PATHOBJ 2u

#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001u
#define SO_HORIZONTAL 0x00000002u
#define SO_VERTICAL 0x00000004u
#define SO_REVERSED 0x00000008u
#define SO_ZERO_BEARINGS 0x00000010u
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020u
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040u
#define SO_DO_NOT_SUBSTITUTE_DEVICE_FONT 0x00000080u
#define SO_GLYPHINDEX_TEXTOUT 0x00000100u
#define SO_ESC_NOT_ORIENT 0x00000200u
#define SO_DXDY 0x00000400u

#define FM_SEL_ITALIC 0x0001u
#define FM_SEL_UNDERSCORE 0x0002u
#define FM_SEL_NEGATIVE 0x0004u
#define FM_SEL_OUTLINED 0x0008u
#define FM_SEL_STRIKEOUT 0x0010u
#define FM_SEL_BOLD 0x0020u
#define FM_SEL_REGULAR 0x0040u

#ifndef ANSI_CHARSET
#define ANSI_CHARSET 0
#endif
#ifndef SYMBOL_CHARSET
#define SYMBOL_CHARSET 2
#endif

typedef struct _FONTOBJ {
  ULONG iUniq;
  ULONG iFace;
  ULONG cxMax;
  FLONG flFontType;  // FO_TYPE_* and FO_SIM_*, FO_VERT_FACE
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZE sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
} FONTOBJ, *PFONTOBJ;

typedef struct _PANOSE {
  BYTE bFamilyType;
  BYTE bSerifStyle;
  BYTE bWeight;
  BYTE bProportion;
  BYTE bContrast;
  BYTE bStrokeVariation;
  BYTE bArmStyle;
  BYTE bLetterform;
  BYTE bMidline;
  BYTE bXHeight;
} PANOSE;

// The font's metrics, as the engine hands them to drivers (winddi's layout
// at this build's width); the names follow at dpwsz* offsets from the
// record's start, inside cjThis.
typedef struct _IFIMETRICS {
  ULONG cjThis;
  ULONG cjIfiExtra;
  PTRDIFF dpwszFamilyName;
  PTRDIFF dpwszStyleName;
  PTRDIFF dpwszFaceName;
  PTRDIFF dpwszUniqueName;
  PTRDIFF dpFontSim;
  LONG lEmbedId;
  LONG lItalicAngle;
  LONG lCharBias;
  PTRDIFF dpCharSets;
  BYTE jWinCharSet;
  BYTE jWinPitchAndFamily;
  USHORT usWinWeight;
  ULONG flInfo;
  USHORT fsSelection;
  USHORT fsType;
  FWORD fwdUnitsPerEm;
  FWORD fwdLowestPPEm;
  FWORD fwdWinAscender;
  FWORD fwdWinDescender;
  FWORD fwdMacAscender;
  FWORD fwdMacDescender;
  FWORD fwdMacLineGap;
  FWORD fwdTypoAscender;
  FWORD fwdTypoDescender;
  FWORD fwdTypoLineGap;
  FWORD fwdAveCharWidth;
  FWORD fwdMaxCharInc;
  FWORD fwdCapHeight;
  FWORD fwdXHeight;
  FWORD fwdSubscriptXSize;
  FWORD fwdSubscriptYSize;
  FWORD fwdSubscriptXOffset;
  FWORD fwdSubscriptYOffset;
  FWORD fwdSuperscriptXSize;
  FWORD fwdSuperscriptYSize;
  FWORD fwdSuperscriptXOffset;
  FWORD fwdSuperscriptYOffset;
  FWORD fwdUnderscoreSize;
  FWORD fwdUnderscorePosition;
  FWORD fwdStrikeoutSize;
  FWORD fwdStrikeoutPosition;
  BYTE chFirstChar;
  BYTE chLastChar;
  BYTE chDefaultChar;
  BYTE chBreakChar;
  WCHAR wcFirstChar;
  WCHAR wcLastChar;
  WCHAR wcDefaultChar;
  WCHAR wcBreakChar;
  POINTL ptlBaseline;
  POINTL ptlAspect;
  POINTL ptlCaret;
  RECTL rclFontBox;
  BYTE achVendId[4];
  ULONG cKerningPairs;
  ULONG ulPanoseCulture;
  PANOSE panose;
  PVOID Align;  // the 64-bit layout's alignment member
} IFIMETRICS, *PIFIMETRICS;

typedef struct _POINTQF {
  int64_t x;
  int64_t y;
} POINTQF;

typedef struct _GLYPHBITS {
  POINTL ptlOrigin;  // top-left pixel relative to the glyph origin, y down
  SIZEL sizlBitmap;
  BYTE aj[1];        // rows of (cx + 7) / 8 bytes, MSB first, top row first
} GLYPHBITS;

typedef union _GLYPHDEF {
  GLYPHBITS* pgb;
  PATHOBJ* ppo;
} GLYPHDEF;

typedef struct _GLYPHDATA {
  GLYPHDEF gdf;
  HGLYPH hg;
  FIX fxD;
  FIX fxA;
  FIX fxAB;
  FIX fxInkTop;
  FIX fxInkBottom;
  RECTL rclInk;
  POINTQF ptqD;
} GLYPHDATA, *PGLYPHDATA;

typedef struct _GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF* pgdf;  // the glyph's definition (bits), engine-owned; null when none
  POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef struct _STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;  // SO_*
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;  // null when the driver must enumerate
  LPWSTR pwszOrg;
} STROBJ, *PSTROBJ;

// The font's metrics; null for an object that is no font (or when a test
// makes it fail).
KP_API IFIMETRICS* WINAPI FONTOBJ_pifi(FONTOBJ* pfo);
// The notional-to-device transform (see above); null when there is none.
KP_API XFORMOBJ* WINAPI FONTOBJ_pxoGetXform(FONTOBJ* pfo);
// The font file's bytes and size; null (size 0) for a font without a file.
KP_API PVOID WINAPI FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile);
// The glyph data of cGlyph glyphs (one is supported, as on the platform) in
// mode FO_GLYPHBITS: *ppvGlyph gets the GLYPHDATA. Answers the number of
// glyphs, 0 on failure (an unknown mode, a glyph index past the font, no
// font).
KP_API ULONG WINAPI FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph);
// Starts (or restarts) the enumeration of a string's glyph positions.
KP_API VOID WINAPI STROBJ_vEnumStart(STROBJ* pstro);
// The next batch of positions: TRUE when more follow, FALSE for the last
// (and for a finished or unknown string, with *pc 0).
KP_API BOOL WINAPI STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos);
