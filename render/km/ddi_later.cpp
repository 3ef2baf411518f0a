// The drawing and font entries of the table whose bodies later work
// builds. Until then each checks what it is given (an invalid PDEV answers
// error 87, as every entry does) and refuses with ERROR_NOT_SUPPORTED and the
// failure result of its kind: FALSE, a null pointer, or FD_ERROR (-1).
//
// The drawing entries already do what every drawing call does first: the
// entry checks and the lazy page start (jobCtrl_informStartDDI), so the
// first drawing call of a page opens it (and the job's first page sets up
// the job). Only then is the drawing itself refused, until the paths,
// brushes, images and text work builds it. A drawing call outside a started
// job sets the output-failed bit; in stamp drawing mode nothing is opened.
#include "km_entry.h"

namespace {

// The PDEV behind a drawing call's target surface; false (error set) when
// the call can't be taken.
bool Refuse(PDEV* pdev) {
  if (pdev) EngSetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

// A drawing call: the page is opened (its failure is the call's), then the
// drawing is refused.
bool Draw(PDEV* pdev) {
  if (!pdev) return false;
  if (jobCtrl_informStartDDI(pdev) != 0) {
    if (EngGetLastError() == 0) EngSetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return Refuse(pdev);
}

}  // namespace

// ---- Drawing (the paths, brushes, images and text work) ----------------------------

BOOL DDI_DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                   POINTL*, ROP4) {
  return Draw(pdev_FromSurface(psoTrg));  // images and raster operations
}

BOOL DDI_DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*,
                       RECTL*, POINTL*, ULONG) {
  return Draw(pdev_FromSurface(psoDest));  // images and resolution conversion
}

BOOL DDI_DrvCopyBits(SURFOBJ* psoDest, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) {
  return Draw(pdev_FromSurface(psoDest));  // images and merged images
}

BOOL DDI_DrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return Draw(pdev_FromSurface(pso));  // text output
}

BOOL DDI_DrvStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
  return Draw(pdev_FromSurface(pso));  // paths and clipping
}

BOOL DDI_DrvFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
  return Draw(pdev_FromSurface(pso));  // paths and clipping
}

BOOL DDI_DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*, POINTL*,
                              MIX, FLONG) {
  return Draw(pdev_FromSurface(pso));  // paths and clipping
}

BOOL DDI_DrvRealizeBrush(BRUSHOBJ*, SURFOBJ* psoTarget, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG) {
  return Refuse(pdev_FromSurface(psoTarget));  // brushes, colours and raster operations (draws nothing itself)
}

// ---- Fonts (the device-font and text work) ------------------------------------------

IFIMETRICS* DDI_DrvQueryFont(DHPDEV dhpdev, ULONG_PTR, ULONG, ULONG_PTR*) {
  Refuse(pdev_FromHandle(dhpdev));  // device fonts: the PDEV has none yet
  return nullptr;
}

PVOID DDI_DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR, ULONG, ULONG, ULONG_PTR*) {
  Refuse(pdev_FromHandle(dhpdev));  // device fonts
  return nullptr;
}

LONG DDI_DrvQueryFontData(DHPDEV dhpdev, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG) {
  Refuse(pdev_FromHandle(dhpdev));  // device fonts
  return static_cast<LONG>(KM_FD_ERROR);
}

BOOL DDI_DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG) {
  return Refuse(pdev_FromHandle(dhpdev));  // device fonts
}

// The glyph mode is fixed: glyphs are always asked for as bitmaps (1,
// FO_GLYPHBITS). It is an answer about the driver, not a drawing result.
ULONG DDI_DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ*) {
  if (!pdev_FromHandle(dhpdev)) return 0;
  return 1;
}
