// The seams of kestrelkm: the calls the PDEV and the document entries make
// into parts of the renderer that later work builds. Each one does only what
// is true while that part is missing, and says which work replaces it:
//  - device fonts: the PDEV has none, so DEVINFO reports 0 fonts;
//  - the layout: every page gets the base matrix, and a job asking for a
//    mode whose page steps the layout work builds is refused at its first
//    page with ERROR_NOT_SUPPORTED.
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

// ---- Layout (replaced by the layout work: page matrices, poster, booklet,
// store-all-pages, form registration, white pages, fax sheets) --------------

// The page matrix of the current logical page. Until the page matrices are
// built every page gets the base matrix (identity), which is right for the
// pages the renderer makes yet: pages that draw nothing.
LONG pagemat_setPageMatrix_current(PDEV* pdev, float matrix[6]) {
  if (!pdev || !matrix) return -1;
  const float identity[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  for (int i = 0; i < 6; ++i) matrix[i] = identity[i];
  return 0;
}

// The job modes whose page steps the layout work builds: a job asking for
// one is refused at its first page (ERROR_NOT_SUPPORTED; job control then
// aborts it) rather than printed wrongly.
LONG page_checkJobModesBuilt(PDEV* pdev) {
  if (!pdev) return -1;
  const JOBINFO& j = pdev->jobInfo;
  const bool unbuilt = j.poster || j.booklet || j.storeAllPages || j.formRegistration || j.leadingWhiteMode ||
                       j.feature406 || pdev->faxInfo.data != nullptr;
  if (!unbuilt) return 0;
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

// ---- The private gate (replaced by the private-gate work) -------------------------

// Escapes 4209-4212 and 4216: the gate, direct images, the page colour mode,
// the layout overrides and the security-marking hand-over. None is built
// yet, so each is unsupported: QUERYESCSUPPORT answers 0 and the escape 0,
// with nothing done.
LONG pesc_Escape(PDEV*, ULONG, BOOL, ULONG, const void*, ULONG, void*) { return 0; }

// ---- The physical stamp-paper matrix of escape 0x5004 (replaced by the
// layout work) --------------------------------------------------------------------------

// There is no such matrix yet: 0x5004 asks first and refuses before it
// starts anything.
BOOL pagemat_hasPhysicalStampPaperMatrix(void) { return FALSE; }
LONG pagemat_setPageMatrix_phsycalStamppPaper(PDEV*, float*, LONG, LONG, LONG) {
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}
