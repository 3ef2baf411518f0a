// The seams of kestrelkm: the calls the PDEV and the document entries make
// into parts of the renderer that later work builds. Each one does only what
// is true while that part is missing, and says which work replaces it:
//  - device fonts: the PDEV has none, so DEVINFO reports 0 fonts;
// The work that builds each part removes its functions from this file and
// revisits the GDIINFO/DEVINFO fields and document-call paths that depend on
// them.
#include "escape.h"
#include "km_entry.h"
#include "pageflow.h"


// ---- Device fonts (replaced by the device-font work) --------------------------

// The glyph-set semaphore and the shared glyph set come with the device
// fonts; without them the driver needs nothing more to start.
BOOL EnableDriverDeviceFonts(void) { return TRUE; }

// The PDEV's device fonts and font set: none yet (cFonts 0).
BOOL EnablePDEVDeviceFonts(PDEV* pdev) {
  if (!pdev) return FALSE;
  pdev->deviceFonts = nullptr;
  pdev->cDeviceFonts = 0;
  return TRUE;
}

// The DEVINFO default font from the device font set. Only called when the
// PDEV has device fonts; with none there is no font to name, so it fails.
BOOL SetDefaultFont_pdl(PDEV*, ENGLOGFONTW*) {
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

