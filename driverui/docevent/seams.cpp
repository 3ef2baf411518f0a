// The document events' calls into work that lands elsewhere, one function
// each, answering as if nothing is recorded or installed until that work
// wires it (kestrel/ui/docevent.h).
#include "kestrel/core/regfile.h"
#include "kestrel/ui/docevent.h"

// The temporary settings file list: both lists of the description are
// swept (the core's RegFile_DeleteTmpFile); a list that cannot be swept is
// left for the next document.
BOOL docevent_DeleteTmpFile(HCDDD ddd) {
  return RegFile_DeleteTmpFile(ddd, nullptr, nullptr) == ERROR_SUCCESS ? TRUE : FALSE;
}

// The hand-off at StartDocPost. It runs only when DDM 1333, 8201 and 1321
// are set; the per-copy registration with the document monitor (the core's
// Brightdesk_Ready and bddm_* of kestrel/core/gsb_ctrl.h) is not wired to
// the document events yet, so it leaves no per-copy records and answers 1,
// as with no monitor installed.
int Brightdesk_StartDocPost(HANDLE hPrinter, HDC hdc) {
  (void)hPrinter;
  (void)hdc;
  return 1;
}

// The marking library's status: the page-store work's gsb_ctrl_* glue
// replaces this; with no marking library nothing is available (status 0).
int local_FillGSBSTATUS(HCDDD ddd, LPCWSTR printerName, LPCWSTR modelName, const BYTE* data, DWORD size,
                        DWORD status[2]) {
  (void)ddd;
  (void)printerName;
  (void)size;
  if (!modelName || !data || !status) return 0;
  status[0] = 0;
  status[1] = 0;
  return 1;
}
