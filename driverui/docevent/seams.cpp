// The document events' calls into work that lands elsewhere, one function
// each, answering as if nothing is recorded or installed until that work
// wires it (kestrel/ui/docevent.h).
#include "kestrel/ui/docevent.h"

// The temporary settings file list: the exports work's RegFile_DeleteTmpFile
// replaces this; until then no file is recorded and nothing is deleted.
BOOL docevent_DeleteTmpFile(HCDDD ddd) {
  (void)ddd;
  return TRUE;
}

// The document monitor: the page-store work's bddm_* glue replaces these;
// until then there is no monitor.
BOOL bddm_IsValid(void) { return FALSE; }
BOOL Brightdesk_Ready(HANDLE printer) {
  (void)printer;
  return FALSE;
}

// The hand-off at StartDocPost. It runs only when DDM 1333, 8201 and 1321
// are set and the monitor is present; with no monitor it leaves no per-copy
// records in the record.
int Brightdesk_StartDocPost(HANDLE hPrinter, HDC hdc) {
  (void)hdc;
  if (!bddm_IsValid() || !Brightdesk_Ready(hPrinter)) return 1;
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
