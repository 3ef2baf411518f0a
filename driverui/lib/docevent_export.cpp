// The export "DrvDocumentEvent": the graphics interface calls it on the
// application's side for every document event of a DC of this driver
// (kestrel/ui/docevent.h).
#include "kestrel/ui/docevent.h"

extern "C" __attribute__((visibility("default"))) int DrvDocumentEvent(HANDLE hPrinter, HDC hdc, int iEsc,
                                                                        ULONG cbIn, PVOID pvIn, ULONG cbOut,
                                                                        PVOID pvOut) {
  return docevent_Dispatch(hPrinter, hdc, iEsc, cbIn, pvIn, cbOut, pvOut);
}
