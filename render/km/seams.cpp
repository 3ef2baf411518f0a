// The seams of kestrelkm: the calls the PDEV and the document entries make
// into parts of the renderer that later work builds. Each one does only what
// is true while that part is missing, and says which work replaces it:
//  - device fonts: the PDEV has none, so DEVINFO reports 0 fonts;
//  - the page flow: a job asking for a mode whose page steps are not built
//    yet is refused at its first page with ERROR_NOT_SUPPORTED.
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

// ---- Page flow (replaced by the page-flow work: storing all pages together
// with poster or booklet, fax sheets) --------------------------------------------

// The job modes whose page steps are not built yet (store-all-pages or form
// registration with poster or booklet, fax sheets): a job asking for one is
// refused at its first page (ERROR_NOT_SUPPORTED; job control then
// aborts it) rather than printed wrongly.
LONG page_checkJobModesBuilt(PDEV* pdev) {
  if (!pdev) return -1;
  const JOBINFO& j = pdev->jobInfo;
  const bool storedSets = (j.storeAllPages || j.formRegistration) && (j.poster || j.booklet);
  const bool unbuilt = storedSets || pdev->faxInfo.data != nullptr;
  if (!unbuilt) return 0;
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}
