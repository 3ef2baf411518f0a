// The engine's drawing objects as drivers see them: paths, clip regions,
// brushes, colour translations, transforms, fonts and strings.
//
// Every object is engine-owned: a driver gets a pointer to the public part
// and reaches the rest through the object's services. The services that the
// engine stand-in carries today are declared below with their behaviour
// (those of the drawing calls in engine_draw.h); the text family
// (FONTOBJ_pifi, FONTOBJ_pxoGetXform, FONTOBJ_pvTrueTypeFontFile,
// FONTOBJ_cGetGlyphs, STROBJ_vEnumStart, STROBJ_bEnum) is left undeclared
// until the text work gives them their engine side.
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

typedef ULONG HGLYPH;

#define FO_TYPE_RASTER 0x00000001u
#define FO_TYPE_DEVICE 0x00000002u
#define FO_TYPE_TRUETYPE 0x00000004u

typedef struct _FONTOBJ {
  ULONG iUniq;
  ULONG iFace;
  ULONG cxMax;
  FLONG flFontType;
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZE sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
} FONTOBJ, *PFONTOBJ;

typedef struct _GLYPHPOS {
  HGLYPH hg;
  PVOID pgdf;  // the glyph's definition (bits or outline), engine-owned
  POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef struct _STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;  // null when the driver must enumerate
  LPWSTR pwszOrg;
} STROBJ, *PSTROBJ;
