// Text output (textout.cpp): DrvTextOut, the run of glyphs it draws with a
// printer-resident (device) font or a downloaded TrueType font (outlines or
// bitmaps), the character matrix worked out from the font's transform with
// the renderer's own floating-value routines, the PCL XL font name, and the
// character state and Text operator with its spacing arrays. The download
// itself is ttdl.cpp; the record of what the printer holds is fontcache.cpp.
//
// Results: DDI_DrvTextOut answers TRUE or FALSE with the last error set (87
// for a missing argument, ERROR_WRITE_FAULT for a failed operator,
// ERROR_NOT_ENOUGH_MEMORY for memory); xltext_DrawGlyphs answers 1 or 0; the
// other xltext_* functions 0 or -1.
//
// Decisions taken here (the maintainer's notes):
// - FLOATOBJ holds a double on this platform. The floating-value routines
//   follow their steps with the single-float constants (pi is the single
//   0x40490FD8, 2 is 0x40000000) and foSqrt rounds each Newton step through
//   a single float, so their answers match the steps as written; bitmap
//   font names carry the single-float bits of the char size and scale x.
// - RadToDeg answers the nearest whole degree (the angle routines' series
//   land a hair below whole angles, and the integer part alone turned a
//   45-degree line into 44 degrees with a spurious shear).
// - Spacing: each Text operator carries at most 65535 glyphs and sint16
//   spacing. A run longer than that, or a step between two glyphs that does
//   not fit in sint16, is split: the next part starts with a SetCursor at
//   its first glyph (never a wrapped spacing value, never a failed run).
//   Whether X or Y spacing is sent is decided once for the whole run.
//   Steps are computed in 64 bits.
// - A device face whose index is outside 1..the PDEV's device-font count
//   fails the run (it would index past the device-font table).
// - A bitmap run also sets scale y to its sign-free 1: the glyph bitmaps the
//   engine hands over already carry the mirror as well as the size, angle
//   and width, so a scale y of -1 would turn a mirrored line upside down.
// - Substitution method (DDM 292) values other than 0 and 2 download the
//   run instead of dropping it (text is never lost silently).
// - The TrueType option (DDM 17) follows DDM 292 from the defaults on (3,
//   substitute, unless 292 is 1). A devmode stored earlier holds 0 there,
//   which no check accepts: the run derives it from 292 the same way
//   (cdmConvertTTOptionAndFontType) in the PDEV's devmode.
// - A symbol font (SYMBOL_CHARSET) is substituted by scoring only with a
//   symbol device font; a text device font would print letters in place of
//   its symbols. The substitution table's own entry is still taken.
// - A TrueType run printed with a substituted device font whose symbol set
//   is 590 (Unicode, as every model's fonts are) keeps its Unicode codes as
//   the device text: the code page 1252 byte of a character only finds its
//   width in the device font (and a character without one, or of width 0,
//   downloads the run as before). Sending the byte would print 128-159 (the
//   curly quotes, dashes, the euro sign, ...) as the C1 controls those codes
//   are under symbol set 590. A C1 control itself (U+0080-U+009F) is never
//   sent as device text: the run is downloaded. A device font of another
//   symbol set gets the code page bytes, as before. The models' fonts give
//   the code page's real widths for 128-159 and width 0 to 127 and to the
//   bytes code page 1252 leaves empty (129, 141, 143, 144, 157).
// - Under a transparent stamp the opaque box and the extra rectangles
//   (underline, strike-out) take the second (colour) pass as the glyphs do:
//   each is filled again with the colour pass's brush. The stamp's colour a
//   user sees decides: drawn once, a coloured underline printed as a 25 %
//   black screen.
#pragma once

#include "draw.h"
#include "ttdl.h"

constexpr WORD XLTEXT_NO_FONTSET = 0xFFFF;  // font-set index: none chosen
constexpr LONG XLTEXT_TTOPTION_SUBSTITUTE = 3;  // DDM 17: substitute device fonts
constexpr LONG XLTEXT_SUBST_SCORING = 0;        // DDM 292: the table, then scoring
constexpr LONG XLTEXT_SUBST_TABLE_ONLY = 2;     // DDM 292: the substitution table alone
constexpr ULONG XLTEXT_FACENAME_MAX = 94;       // bytes of a converted face name
constexpr UINT XLTEXT_SHIFTJIS_CHARSET = 128;
constexpr WORD XLTEXT_SYMBOLSET_UNICODE = 590;  // PCL XL symbol set 590: the codes are Unicode
constexpr WCHAR XLTEXT_C1_FIRST = 0x0080;       // the C1 controls U+0080-U+009F
constexpr WCHAR XLTEXT_C1_LAST = 0x009F;
constexpr ULONG XLTEXT_TAG = 0x5458544B;  // "KTXT" pool tag of the run's code array

// ---- floating-value routines (FLOATOBJ in, FLOATOBJ out) ---------------------------
FLOATOBJ foFact(LONG n);
FLOATOBJ foPow(FLOATOBJ x, LONG n);
FLOATOBJ foSin(FLOATOBJ x);
FLOATOBJ foCos(FLOATOBJ x);
FLOATOBJ foAbs(FLOATOBJ x);
FLOATOBJ foSqrt(FLOATOBJ x);
FLOATOBJ foArctan(FLOATOBJ x);
FLOATOBJ foArcsin(FLOATOBJ x);
LONG RadToDeg(FLOATOBJ x);
FLOATOBJ DegToRad(LONG n);
FLOATOBJ GetOblique(FLOATOBJ x, FLOATOBJ y);
LONG GetAngle(FLOATOBJ x, FLOATOBJ y);
LONG iHipot(LONG a, LONG b);

// ---- the run -----------------------------------------------------------------------
LONG xltext_DrawGlyphs(PDEV* pdev, BRUSHOBJ* pbo, ULONG count, GLYPHPOS* pgp, FONTOBJ* pfo, STROBJ* pstro,
                       const WCHAR* text, MIX mix, BOOL transparentPass);
LONG xltext_SetStringColor(PDEV* pdev, BRUSHOBJ* pbo, LONG kind, MIX mix, BOOL transparentPass);
LONG xltext_CreateXLText(PDEV* pdev, ULONG count, const WCHAR* source, WORD* destination);
LONG xltext_SelectFont(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, BYTE* kind, WORD* fontSet, BOOL* glyphIndex);
LONG xltext_SubstituteIFace(PDEV* pdev, FONTOBJ* pfo, WORD* fontSet);
LONG xltext_CreateFontGS(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, BYTE* kind, WORD fontSet, XLTEXT_CHARSTATE* cs,
                         TT_TABLEINFO* info, BOOL* symbol, ULONG count, const WORD* codes);
// The transform's (M11, M12, M21, M22) to char angle, scale and shear.
void xltext_CalcCharMatrix(const FLOATOBJ_XFORM* xform, XLTEXT_CHARSTATE* cs);
LONG xltext_SetXLFontName(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, BYTE kind, WORD fontSet, IFIMETRICS* ifi,
                          XLTEXT_CHARSTATE* cs);
LONG xltext_ChangeUnicode(PDEV* pdev, FONTOBJ* pfo, ULONG count, BYTE* kind, WORD* codes, WORD fontSet);
LONG xltext_Show(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, ULONG count, const GLYPHPOS* pgp, const WORD* codes,
                 const XLTEXT_CHARSTATE* cs);

// ---- the device-font side (devfont.h, fontsubst.h) ---------------------------------
// The font-set index of the PDEV's device font `iFace` (1-based); -1 when
// the face is outside the device fonts or the set lacks it.
LONG xltext_DeviceFontSetIndex(PDEV* pdev, ULONG iFace, WORD* fontSet);
// The number of entries of the PDEV's font set (0: none).
ULONG xltext_FontSetCount(PDEV* pdev);
// A font-set entry's PCL XL font name (NUL-terminated, at most
// XL_FONTNAME_MAX - 1 bytes), symbol set and character set; -1 for none.
LONG xltext_FontSetEntry(PDEV* pdev, WORD fontSet, char* name, WORD* symbolSet, BYTE* charSet);
// The substitution of a TrueType font by a device font: 2 found (*fontSet
// set), 1 not found, other values failure; `scoring` asks the scoring
// selection when the table has no entry.
LONG xltext_AskSubstitution(PDEV* pdev, FONTOBJ* pfo, BOOL scoring, WORD* fontSet);
// The metrics of a font-set entry (GetXFM, pntfmConvertXfmToNtm; PDEV heap),
// null when they cannot be read; freed with xltext_FreeDeviceMetrics.
struct NTFM* xltext_LoadDeviceMetrics(PDEV* pdev, WORD fontSet);
void xltext_FreeDeviceMetrics(PDEV* pdev, struct NTFM* ntfm);
