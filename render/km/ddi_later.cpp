// The text entries of the table whose bodies later work builds
// (the drawing entries are in path.cpp, brush.cpp and image.cpp). Until
// then each checks what it is given (an invalid PDEV answers error 87, as
// every entry does) and refuses with ERROR_NOT_SUPPORTED and the failure
// result of its kind: FALSE, a null pointer, or FD_ERROR (-1).
//
// DrvTextOut already does what every drawing call does first: the entry
// checks and the lazy page start (jobCtrl_informStartDDI), so the first
// drawing call of a page opens it (and the job's first page sets up the
// job). Only then is the text refused, until the text work builds it. A
// drawing call outside a started job sets the output-failed bit; in stamp
// drawing mode nothing is opened.
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

// ---- Text (the text work) ------------------------------------------------------------

BOOL DDI_DrvTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return Draw(pdev_FromSurface(pso));  // text output
}

// ---- Fonts: the device-font entries are in devfont.cpp ------------------------------

// The glyph mode is fixed: glyphs are always asked for as bitmaps (1,
// FO_GLYPHBITS). It is an answer about the driver, not a drawing result.
ULONG DDI_DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ*) {
  if (!pdev_FromHandle(dhpdev)) return 0;
  return 1;
}
