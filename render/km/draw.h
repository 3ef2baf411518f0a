// The renderer's drawing calls: paths and clipping (path.cpp, path_attrs.cpp),
// brushes, colours and raster operations (brush.cpp), images, merged images
// (image.cpp) and resolution conversion (image_reso.cpp).
//
// Results: the DDI_ bodies answer TRUE or FALSE to the engine; every
// failure (an invalid PDEV, an output that failed, a bad parameter, a page
// that can't be started, a failed operator) is FALSE with the last error set
// (a value of -1 would be TRUE to the engine). The renderer's own functions
// answer 1 or 0 unless their line says otherwise.
//
// Decisions taken here (the maintainer's notes):
// - The cached clip path block is this build's own record: one 16-byte
//   header per path record {32-bit flags, 32-bit point count, 64-bit
//   pointer to its points} and then every point (8 bytes). It is compared
//   only with blocks of this same build, never stored or sent.
// - Hatch colours: the platform's hatch brush translation has its
//   foreground as colour 0 and its background as colour 1, and the hatch
//   lines must print in the brush's colour. The lines (0 bits of the
//   hatch patterns) are therefore painted with entry 0 and the background
//   with entry 1.
// - The page's image-rotation flag is the layout's judgement of the logical
//   page (PDEV::imageRotation, made at the page's start); the images of the
//   page follow it.
// - The second (transparent) stamp pass: paths and fills repeat their
//   geometry for it, a stroked and filled path (pen and brush of the colour
//   pass) and the text's opaque box and underline and strike-out rectangles
//   included, so that every part of a stamp prints in its colour; images do
//   not (they carry their own pixels and have no second pass).
// - ReadImage's BlockHeight is the SourceHeight BeginImage declared (the
//   converted height when the image is reduced): the unconverted height
//   would promise rows the data does not carry.
// - A 24-bit source without a translation is read as the platform's B, G, R
//   bytes and sent as R, G, B, like a translated one.
#pragma once

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_services.h"
#include "km_entry.h"

// ---- Clip state (PDEV::clipState) -------------------------------------------------
constexpr DWORD KM_CLIP_PAGE = 0;     // the whole page
constexpr DWORD KM_CLIP_RECT = 1;     // PDEV::clipRect is in force
constexpr DWORD KM_CLIP_PATH = 2;     // the cached clip path is in force
constexpr DWORD KM_CLIP_RESET = 3;    // the next clip first sends SetClipToPage

// PDEV::xformFlags
constexpr DWORD KM_XFORM_GEOLINE = 0x4;  // a geometric line's transform was sent

// The PDEV's drawing-suppressed bit (PDEV::ddiFlags).
constexpr DWORD KM_DDI_SUPPRESSED = 0x200000;

// Drawing kinds of SetObjectColor: pen, brush, both; negative: the second
// pass of a transparent stamp.
constexpr LONG KM_KIND_PEN = 1;
constexpr LONG KM_KIND_BRUSH = 2;
constexpr LONG KM_KIND_BOTH = 3;

// PCL XL enumerations the drawing calls send.
enum : BYTE {
  KM_XL_GRAY = 1,  // ColorSpace eGray
  KM_XL_RGB = 2,   // ColorSpace eRGB
  KM_XL_OBJ_GRAPHICS = 0,
  KM_XL_OBJ_IMAGE = 2,  // the private object kind on SetColorSpace
  KM_XL_EVENODD = 1,
  KM_XL_NONZERO = 0,
  KM_XL_INTERIOR = 0,  // ClipRegion eInterior
  KM_XL_OPAQUE = 0,
  KM_XL_TRANSPARENT = 1,
  KM_XL_DIRECT = 0,   // ColorMapping eDirectPixel
  KM_XL_INDEXED = 1,  // ColorMapping eIndexedPixel
  KM_XL_1BIT = 0,
  KM_XL_4BIT = 1,
  KM_XL_8BIT = 2,
  KM_XL_NOCOMPRESSION = 0,
  KM_XL_TEMPPATTERN = 0,
};

// ---- Drawing entry (path.cpp) --------------------------------------------------------
// The checks every drawing call makes after its parameters: a valid PDEV
// whose output has not failed, any open merged image sent (when `merge`),
// the page started. Answers the PDEV to draw on, or null with *result the
// call's answer (TRUE when drawing is suppressed, FALSE with the last error
// set otherwise). A PDEV that draws marks its page as not empty.
PDEV* draw_Begin(SURFOBJ* pso, bool merge, BOOL* result);
// FALSE with the error.
BOOL draw_Fail(DWORD error);

// ---- Paths and clipping (path.cpp) ----------------------------------------------------

// One record of the cached clip path block.
struct KM_PATHREC {
  DWORD flags;
  DWORD count;
  POINTFIX* points;
};
static_assert(sizeof(KM_PATHREC) == 16 && offsetof(KM_PATHREC, points) == 8);

LONG StrokePath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* org,
                    LINEATTRS* la, MIX mix);
LONG FillPath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix, FLONG options);
LONG StrokeAndFillPath_pdl(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                           LINEATTRS* la, BRUSHOBJ* pboFill, POINTL* org, MIX mix, FLONG options);
BOOL StrokePath_Sub(PDEV* pdev, PATHOBJ* ppo, XFORMOBJ* pxo, LINEATTRS* la, const RECTFX* bounds);
LONG DrvCommonPath(PDEV* pdev, PATHOBJ* ppo, const KM_PATHREC* records, DWORD count, BOOL* drawn);
LONG bDoClipObj(PDEV* pdev, CLIPOBJ* pco, const RECTL* bounds);
LONG DoCacheClipPath(PDEV* pdev, PATHOBJ* ppo);

BOOL IsOneRect(FLONG flags, ULONG count, const POINTFIX* p);
BOOL IsDirect(const LINEATTRS* la, XFORMOBJ* pxo, LONG kind);
BOOL IsSelfClip(PATHOBJ* ppo, CLIPOBJ* pco, const RECTL* bounds);
BOOL IsEmptyRect(FLONG flags, ULONG count, const POINTFIX* p, POINT out[4]);
void SelfClipFX(RECTFX* out, FIX left, FIX top, FIX right, FIX bottom, const CLIPOBJ* pco);
void NRV_WinRect2DevRectFX(RECTFX* out, FIX left, FIX top, FIX right, FIX bottom);
// Size in bytes and record count of a path's block; FALSE when it does not
// fit 32 bits.
BOOL GetPathDataSize(PATHOBJ* ppo, DWORD* size, DWORD* count);
// Fills a block of `size` bytes with `count` records of the path; FALSE
// when the path does not match the size.
BOOL EnumPathData(PATHOBJ* ppo, BYTE* block, DWORD size, DWORD count);
BOOL PathDataCmp(const BYTE* a, const BYTE* b, DWORD count);
void PathDataCpy(BYTE* to, const BYTE* from, DWORD size, DWORD count);
// Frees the cached clip path (init_cgs, the PDEV's end).
void path_ReleaseClipCache(PDEV* pdev);

// Line attributes and fill mode (path_attrs.cpp).
LONG XlSetLineAttrs(PDEV* pdev, const LINEATTRS* la);
LONG XlSetLineJoin(PDEV* pdev, ULONG join);
LONG XlSetLineCap(PDEV* pdev, ULONG cap);
LONG XlSetMiterLimit(PDEV* pdev, FLOATL limit);
LONG XlSetPenWidth(PDEV* pdev, const LINEATTRS* la);
LONG XlSetLineStyle(PDEV* pdev, ULONG count, const LONG* entries, LONG styleState, FLONG flags, LONG scale);
LONG GetPatternStretchSize(PDEV* pdev, LONG kind);
LONG FLOATLONG2LONG(FLOAT_LONG value, BOOL geometric);
LONG PFLOAT2LONG(FLOATL value);
LONG XlSetFillMode(PDEV* pdev, FLONG options);
LONG pdl_geolinexform(PDEV* pdev, const LINEATTRS* la, XFORMOBJ* pxo);
// The device resolution (DDM 20) used for patterns and dashes; 600 when
// unset or not positive.
LONG draw_Resolution(PDEV* pdev);

// ---- Brushes, colours and raster operations (brush.cpp) ---------------------------------

// The realized brush: a 36-byte header, the pattern's rows, the palette.
struct KM_RBRUSH {
  DWORD width;
  DWORD height;
  DWORD format;  // 1, 2, 3 (1, 4, 8 bits) or 5 (24-bit R, G, B)
  DWORD flags;   // the pattern's fjBitmap with BMF_TOPDOWN
  DWORD cEntries;
  DWORD paletteOffset;  // from the record's start: 36 + bits size
  DWORD iHatch;
  DWORD bitsSize;
  DWORD rowBytes;
};
static_assert(sizeof(KM_RBRUSH) == 36 && offsetof(KM_RBRUSH, iHatch) == 24);
constexpr DWORD KM_RBRUSH_RGB = 5;

LONG SetObjectColor(PDEV* pdev, LONG kind, POINTL* origin, BRUSHOBJ* pbo, ROP4 rop4);
ROP4 MixToRop4(MIX mix);
MIX Rop4ToMix(ROP4 rop4);
BYTE XlRop3Convert(PDEV* pdev, LONG kind, ROP4 rop4);
LONG XlSetSolidColor(PDEV* pdev, ULONG color, LONG kind, BYTE objectKind);
LONG XlSetHatchPattern(PDEV* pdev, LONG kind, LONG transparency, ULONG colorA, ULONG colorB, const POINTL* origin,
                       ULONG hatch);
LONG XlSetMaskPattern(PDEV* pdev, LONG kind, LONG transparency, ULONG colorA, ULONG colorB, const POINTL* origin,
                      DWORD width, DWORD height, const BYTE* bits, LONG source);
LONG XlSetPattern(PDEV* pdev, LONG kind, const POINTL* origin, const KM_RBRUSH* rbrush);
LONG XlSetTransparentStampPattern(PDEV* pdev, LONG kind, ULONG color, BOOL secondPass);

// ---- Images (image.cpp) ---------------------------------------------------------------------

// Colour translation flags of CheckXlateObj.
constexpr DWORD KM_XLATE_EACH = 0x2;
constexpr DWORD KM_XLATE_SWAP = 0x4;
constexpr DWORD KM_XLATE_IDENTITY = 0x8;

// The modes DoSourceCopy is called with.
constexpr LONG KM_SRC_ROP3 = 2;
constexpr LONG KM_SRC_ROP4 = 3;

BOOL Image_DrawROP_pdl(PDEV* pdev, SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                       POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL CheckUseBrushNTKM(BYTE rop3);
BOOL DoSourceCopy(PDEV* pdev, CLIPOBJ* pco, SURFOBJ* psoSrc, SURFOBJ* psoMask, LONG width, LONG height,
                  const POINTL* src, const POINTL* mask, const RECTL* trg, XLATEOBJ* pxlo, BRUSHOBJ* pbo,
                  POINTL* pptlBrush, LONG mode, ULONG rop);
ULONG ConvertBpp(ULONG format);
DWORD CheckXlateObj(XLATEOBJ* pxlo, ULONG bpp);
void XlateColor(const BYTE* src, BYTE* dst, XLATEOBJ* pxlo, DWORD flags, ULONG bpp, DWORD pixels);
void ShiftLeft(const BYTE* src, BYTE* dst, DWORD bits, DWORD shift);
void SetMirrorX(BYTE* row, DWORD pixels, DWORD bytes, ULONG bpp);
BOOL IsSelfClipImage(LONG width, LONG height, CLIPOBJ* pco, const RECTL* rect);
void SelfClipImage(RECTL* rect, const CLIPOBJ* pco);
// The 256-byte bit-reversal table (filled on first use, thread-safe).
const BYTE* BitReverse();

LONG CheckLinkImage(PDEV* pdev, SURFOBJ* psoSrc, const RECTL* trg, LONG mode, ULONG rop, LONG kind, LONG width,
                    LONG height);
LONG xl_linkimagestart(PDEV* pdev);
LONG xl_linkimageend(PDEV* pdev);

// ---- Resolution conversion (image_reso.cpp) --------------------------------------------------

struct KM_RESOCONV;
KM_RESOCONV* ResoConv_GetHandle();
void ResoConv_FreeHandle(KM_RESOCONV* h);
LONG ResoConv_Init(KM_RESOCONV* h, LONG kind, LONG xres, LONG yres, LONG target);
LONG ResoConv_GetNewSize(KM_RESOCONV* h, LONG width, LONG height, LONG targetWidth, LONG targetHeight,
                         LONG* outWidth, LONG* outHeight);
LONG ResoConv_CreateConvParam(KM_RESOCONV* h, LONG width, LONG height, LONG newWidth, LONG newHeight);
// The output line's length when an output row is complete, 0 when more
// rows are needed, -1 on error.
LONG ResoConv_ConvertData(KM_RESOCONV* h, const BYTE* row, DWORD rowBytes, DWORD pixels, DWORD bpp);
LONG ResoConv_GetLineData(KM_RESOCONV* h, BYTE* buffer, DWORD length);
// The DDA of n source pixels onto m output pixels: m entries of {first
// index, first weight, last index, last weight}. FALSE for m = 0 or m > n.
struct KM_DDA {
  WORD first;
  WORD firstWeight;
  WORD last;
  WORD lastWeight;
};
BOOL _rv_ComputeDDA(DWORD n, DWORD m, KM_DDA* out);
// Whether the image is to be converted, and the handle set up for it
// (null otherwise). `width`/`height` the source size, `dw`/`dh` the
// destination's.
KM_RESOCONV* _doResoConversion(PDEV* pdev, LONG mode, ULONG rop, ULONG bpp, LONG width, LONG height, LONG dw,
                               LONG dh);
// The converted size of a handle.
void ResoConv_OutputSize(const KM_RESOCONV* h, LONG* width, LONG* height);
