// The seams of kestrelkm: the calls the PDEV and the document entries make
// into parts of the renderer that later work builds. Each one does only what
// is true while that part is missing, and says which work replaces it:
//  - the page flow: a job asking for a mode whose page steps are not built
//    yet is refused at its first page with ERROR_NOT_SUPPORTED.
// The work that builds each part removes its functions from this file and
// revisits the GDIINFO/DEVINFO fields and document-call paths that depend on
// them.
#include "escape.h"
#include "km_entry.h"
#include "pageflow.h"


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

// ---- The private gate (replaced by the private-gate work) -------------------------

// Escapes 4209-4212 and 4216: the gate, direct images, the page colour mode,
// the layout overrides and the security-marking hand-over. None is built
// yet, so each is unsupported: QUERYESCSUPPORT answers 0 and the escape 0,
// with nothing done.
LONG pesc_Escape(PDEV*, ULONG, BOOL, ULONG, const void*, ULONG, void*) { return 0; }
