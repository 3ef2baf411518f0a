// The font entries of the table whose bodies the device-font work builds
// (the drawing entries are in path.cpp, brush.cpp and image.cpp, text output
// in textout.cpp). Until then each checks what it is given (an invalid PDEV
// answers error 87, as every entry does) and refuses with
// ERROR_NOT_SUPPORTED and the failure result of its kind: a null pointer, or
// FD_ERROR (-1).
#include "km_entry.h"

namespace {

// The PDEV behind a drawing call's target surface; false (error set) when
// the call can't be taken.
bool Refuse(PDEV* pdev) {
  if (pdev) EngSetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace

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
