// The seams of kestrelkm: the calls the PDEV and the document entries make
// into parts of the renderer that later work builds. Each one does only what
// is true while that part is missing, and says which work replaces it:
//  - device fonts: the PDEV has none, so DEVINFO reports 0 fonts;
//  - merged images: nothing is ever merged, so there is nothing to set up,
//    send or free;
//  - job control and the page flow: no job can be started, so every call
//    that would start, continue or end one fails with ERROR_NOT_SUPPORTED and
//    the document calls report that failure (nothing answers success it did
//    not earn); a reset carries no job state.
// The work that builds each part removes its functions from this file and
// revisits the GDIINFO/DEVINFO fields and document-call paths that depend on
// them.
#include "escape.h"
#include "km_entry.h"

namespace {

LONG NotYet() {
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

}  // namespace

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

// ---- Merged images (replaced by the image work) ----------------------------------

// The merged-image state lives in the PDEV heap once images are built; with
// no images there is nothing to set up.
BOOL EnableMergeImage(PDEV* pdev) { return pdev ? TRUE : FALSE; }
void DisableMergeImage(PDEV*) {}
// Ends an open group of merged images. No group can be open while nothing is
// drawn, so there is nothing to end.
LONG SendMergeImage(PDEV* pdev) { return pdev ? 0 : -1; }

// ---- Job control (replaced by the job-control work) ------------------------------

// The private-escape state (PDL version, DDM 4103, the printer-information
// item 5 test) belongs to job control; there is none to initialise yet.
LONG jobCtrl_privateEscape_init(PDEV* pdev) { return pdev ? 0 : -1; }

// A reset moves the job's state to the new PDEV; no job state exists yet, so
// there is nothing to move or refuse.
LONG jobCtrl_ResetDC(PDEV* pdevNew, PDEV* pdevOld) { return pdevNew && pdevOld ? 0 : -1; }

// Bit 0x1 (started) and bits 0x1 and 0x2 (opened) of job control's flag
// word: no job is ever started yet.
BOOL jobCtrl_isJobStarted(PDEV*) { return FALSE; }
BOOL jobCtrl_isJobOpened(PDEV*) { return FALSE; }

LONG jobCtrl_Enable(PDEV*, HANDLE) { return NotYet(); }
LONG jobCtrl_StartDoc(PDEV*, LPCWSTR, LPCWSTR) { return NotYet(); }
LONG jobCtrl_EndPage(PDEV*) { return NotYet(); }
LONG jobCtrl_EndDoc(PDEV*) { return NotYet(); }
LONG jobCtrl_AbortDoc(PDEV*) { return NotYet(); }
LONG jobCtrl_Disable(PDEV*) { return NotYet(); }

// ---- The page flow and the font download cache (replaced by the page-flow,
// PDL-control and font-cache work) ----------------------------------------------------

LONG page_InitFontCache_StartPage_pdl(PDEV*) { return NotYet(); }
// Dropping the page's font cache: no cache exists, nothing to drop.
void page_DeleteFontCache_pdl(PDEV*) {}
// Sends the devmode and the document name in band: 0, as no job is open to
// send them in.
BOOL page_setDEVData_pdl(PDEV*) {
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
// Resets the page's graphics state; the graphics records come with the
// drawing work.
LONG init_cgs(PDEV*) { return NotYet(); }

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
LONG pagemat_setPageMatrix_phsycalStamppPaper(PDEV*, float*, LONG, LONG, LONG) { return NotYet(); }
