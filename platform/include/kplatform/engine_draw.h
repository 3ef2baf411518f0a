// The engine's drawing records and services that a printer driver's drawing
// calls use: line attributes, mixes and raster operations, fill modes,
// hatches, bitmaps, clip objects with their paths, brushes with their
// realizations, direct colour translations, and the engine's own blits.
// The stand-in's controls for tests (making these objects, steering the
// services) are at the end, with the runner's drawing calls.
//
// Every object made here is an engine object: KpEngineDeleteObject frees it
// (EngDeletePath a path answered by CLIPOBJ_ppoGetPath), and it counts among
// KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS).
#pragma once

#include "kplatform/engine_ddi.h"
#include "kplatform/engine_float.h"
#include "kplatform/engine_objects.h"
#include "kplatform/engine_runner.h"

// ---- Line attributes -------------------------------------------------------------

typedef union _FLOAT_LONG {
  FLOATL e;
  LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

#define LA_GEOMETRIC 0x00000001u
#define LA_ALTERNATE 0x00000002u
#define LA_STARTGAP 0x00000004u
#define LA_STYLED 0x00000008u

#define JOIN_ROUND 0
#define JOIN_BEVEL 1
#define JOIN_MITER 2

#define ENDCAP_ROUND 0
#define ENDCAP_SQUARE 1
#define ENDCAP_BUTT 2

// elWidth and the style entries are FLOATL for a geometric line (LA_GEOMETRIC)
// and LONG for a cosmetic one.
struct _LINEATTRS {
  FLONG fl;
  ULONG iJoin;
  ULONG iEndCap;
  FLOAT_LONG elWidth;
  FLOATL eMiterLimit;
  ULONG cstyle;
  FLOAT_LONG* pstyle;
  FLOAT_LONG elStyleState;
};
typedef struct _LINEATTRS LINEATTRS, *PLINEATTRS;

// ---- Mixes and raster operations ---------------------------------------------------

typedef ULONG MIX;   // foreground ROP2 in the low byte, background ROP2 in the next
typedef ULONG ROP4;  // foreground ROP3 in the low byte, background ROP3 in the next

#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

// ---- Fill modes and hatches ----------------------------------------------------------

#define FP_ALTERNATEMODE 0x00000001u
#define FP_WINDINGMODE 0x00000002u

#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

// ---- Colour adjustment (passed to DrvStretchBlt; a printer driver never reads it) --

typedef struct _COLORADJUSTMENT {
  WORD caSize;
  WORD caFlags;
  WORD caIlluminantIndex;
  WORD caRedGamma;
  WORD caGreenGamma;
  WORD caBlueGamma;
  WORD caReferenceBlack;
  WORD caReferenceWhite;
  SHORT caContrast;
  SHORT caBrightness;
  SHORT caColorfulness;
  SHORT caRedGreenTint;
} COLORADJUSTMENT, *PCOLORADJUSTMENT;
static_assert(sizeof(COLORADJUSTMENT) == 24);

// ---- Bitmaps -------------------------------------------------------------------------

// SURFOBJ.fjBitmap: the first row in memory is the top row. Without it the
// bitmap is bottom-up: pvScan0 still points at the top row and lDelta is
// negative.
#define BMF_TOPDOWN 0x0001u

// ---- Clip objects and paths ------------------------------------------------------------

// A new path of the clip region: one closed subpath of four points (left,
// top), (right, top), (right, bottom), (left, bottom) in 28.4 per rectangle,
// in the order the clip object was made with; a DC_RECT clip gives its
// bounds. Null for a DC_TRIVIAL clip, a null or unknown object, or while
// KpEngineFailClipPath is pending. The caller frees it with EngDeletePath.
KP_API PATHOBJ* WINAPI CLIPOBJ_ppoGetPath(CLIPOBJ* pco);
KP_API VOID WINAPI EngDeletePath(PATHOBJ* ppo);

// ---- Brushes ------------------------------------------------------------------------------

// Memory of cj bytes owned by the brush (zeroed), freed with the brush; it
// becomes the brush's realization (pvRbrush). Null for 0 bytes, more than
// 0x7FFFFFFF, an unknown brush, or a pending KpEngineFailAllocation.
KP_API PVOID WINAPI BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj);
// The brush's realization: the first call on a brush that has none calls the
// driver's DrvRealizeBrush (index 12) with the brush's session surface,
// pattern, mask, translation and iHatch, and keeps what it allocated. Null
// when the driver answers FALSE or allocated nothing (asked again next time),
// and for a solid brush or an unknown object.
KP_API PVOID WINAPI BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo);

// ---- The engine's own drawing -------------------------------------------------------------

// Recorded (KpEngineBlitCount) and answered with KpEngineSetBlitResult's
// value (TRUE by default); they never call the driver.
KP_API BOOL WINAPI EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                             ROP4 rop4);
KP_API BOOL WINAPI EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor);

// ---- Controls for tests ---------------------------------------------------------------------

// A bitmap surface (STYPE_BITMAP) of a format BMF_1BPP..BMF_32BPP from the
// given bits: `height` rows of `stride` bytes in memory order (stride at
// least the row's bytes rounded up to 4; 0 takes exactly that). With
// BMF_TOPDOWN in fjBitmap the first row given is the top row; without it the
// first row given is the bottom row (pvScan0 the last row given, lDelta
// negative). The bits are copied. Null (ERROR_INVALID_PARAMETER) for an
// unknown format, a size of 0 or above 65535, a short stride or null bits.
KP_API SURFOBJ* KpEngineCreateBitmap(LONG width, LONG height, ULONG format, USHORT fjBitmap, const void* bits,
                                     ULONG stride);

// Clip objects: DC_TRIVIAL (no rectangles), DC_RECT (one rectangle: the
// bounds, right and bottom exclusive) or DC_COMPLEX (count disjoint
// rectangles; the bounds are their union).
KP_API CLIPOBJ* KpEngineCreateClip(BYTE complexity, ULONG count, const RECTL* rects);
// The next CLIPOBJ_ppoGetPath (in any thread) answers null.
KP_API void KpEngineFailClipPath(void);

// Paths beside KpEngineCreatePath, in 28.4: a rectangle (one closed subpath
// of four points, clockwise from the top-left corner), a polygon (one closed
// subpath through the points), and the ellipse inscribed in a box (four
// Bézier curves from the right-hand end clockwise; PO_ELLIPSE, bounds the box).
KP_API PATHOBJ* KpEngineCreateRectPath(const RECTFX* box);
KP_API PATHOBJ* KpEngineCreatePolygonPath(ULONG count, const POINTFIX* points);
KP_API PATHOBJ* KpEngineCreateEllipsePath(const RECTFX* box);

// Brushes of a session (BRUSHOBJ_pvGetRbrush realizes them through the
// session's driver). Solid: iSolidColor the device colour. Hatch (iHatch
// 0-5): an 8 x 8 one-bit bitmap and a two-entry XO_TABLE translation
// {foreground, background}: as on the platform, colour 0 of the translation
// is the brush's foreground. Pattern: the bitmap (and mask) as given (not
// copied: they must outlive the brush), the translation as given (may be
// null), iSolidColor 0xFFFFFFFF.
KP_API BRUSHOBJ* KpEngineCreateSolidBrush(KP_ENGINE_SESSION* session, ULONG color);
KP_API BRUSHOBJ* KpEngineCreateHatchBrush(KP_ENGINE_SESSION* session, ULONG iHatch, ULONG foreground,
                                          ULONG background);
KP_API BRUSHOBJ* KpEngineCreatePatternBrush(KP_ENGINE_SESSION* session, SURFOBJ* pattern, SURFOBJ* mask,
                                            XLATEOBJ* pxlo);
// Live memory blocks of BRUSHOBJ_pvAllocRbrush (counted apart from EngAllocMem).
KP_API size_t KpEngineRbrushCount(void);
// The times brushes called the driver's DrvRealizeBrush.
KP_API size_t KpEngineRealizeCount(void);

// A translation from a direct source format to device colours 0x00BBGGRR:
// each channel is taken by its mask and scaled to 8 bits. 16-bit 5-6-5:
// 0xF800, 0x07E0, 0x001F; 5-5-5: 0x7C00, 0x03E0, 0x001F; 24 and 32 bits
// (B, G, R bytes): 0xFF0000, 0xFF00, 0xFF, so that 0xFF (blue) gives
// 0xFF0000. (XO_TRIVIAL of KpEngineCreateXlate is the identity.)
KP_API XLATEOBJ* KpEngineCreateXlateBitfields(ULONG redMask, ULONG greenMask, ULONG blueMask);

// EngBitBlt and EngEraseSurface: calls recorded since the last clear, the
// answer they give (TRUE by default; kept until changed), and the last
// erase's rectangle and colour.
KP_API void KpEngineSetBlitResult(BOOL result);
KP_API size_t KpEngineBlitCount(void);
KP_API size_t KpEngineEraseCount(void);
KP_API BOOL KpEngineLastErase(RECTL* rect, ULONG* color);
KP_API void KpEngineClearBlits(void);

// ---- The runner's drawing calls ------------------------------------------------------------
//
// Allowed between DrvStartPage and DrvSendPage on a session with a surface,
// and only for a call the surface hooks (else FALSE, ERROR_INVALID_FUNCTION,
// nothing called). The driver gets the session's surface as the target and
// the objects as given; the call is logged with its answer ("DrvStrokePath"),
// and so is a DrvRealizeBrush it causes, before it.
KP_API BOOL KpEngineStrokePath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                               BRUSHOBJ* pbo, POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
KP_API BOOL KpEngineFillPath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                             POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
KP_API BOOL KpEngineStrokeAndFillPath(KP_ENGINE_SESSION* session, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                      BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                      POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);
KP_API BOOL KpEngineBitBlt(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                           XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo,
                           POINTL* pptlBrush, ROP4 rop4);
KP_API BOOL KpEngineStretchBlt(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode);
// psoSrc null: the session's own surface is the source.
KP_API BOOL KpEngineCopyBits(KP_ENGINE_SESSION* session, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclDest, POINTL* pptlSrc);
// Text ("DrvTextOut"): the string and its font as made with
// KpEngineCreateString on a TrueType font of KpEngineCreateTrueTypeFont or a
// device face of the session (KpEngineCreateSessionDeviceFont); the extra rectangles
// (underline, strike-out) are a list ended by an all-zero rectangle. The
// engine maps no logical font here: the caller picks the font object.
KP_API BOOL KpEngineTextOut(KP_ENGINE_SESSION* session, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
