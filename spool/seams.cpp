// The job processor's seams (see seams.h): each stands where later work
// goes and says so in the trace; none claims what it did not do.
//
//  - Images: an image goes out as it came, without re-encoding, less the
//    colour conversion's rotation mark (attribute 253); linked images are
//    not held for the outside library, and the end of a link (149) with
//    the library's linking on cannot convert them (149 fails the job).
//  - Page store: the few-colour count of one colour answers -1 (no summary
//    is enabled while nothing is stored).
//  - Page store: nothing is stored (132, 133, 135 and 136 are refused),
//    so 137-140 always frame pages directly; no temporary files; no
//    document monitor and no marked re-output; a page start that asks for
//    the form overlay is refused (the job ends rather than print the page
//    without its form). The renderer's own page-store state reaches this
//    side in word 1 of each page-control record (155): while it stores a
//    page it reads 0x8001 and a capture bit (0x8005 for the page start);
//    since nothing is stored here, those two bits are dropped from the
//    word taken, so no capture acts and the page is framed directly.
#include "seams.h"

#include "kestrel/core/logout.h"
#include "kestrel/spool/colorconv.h"

namespace {

void Note(const char16_t* what) { Logout_OutputString(u"kestrelum: not built yet: %ls", what); }

}  // namespace


int umseam_OutputImage(UmpdJobContext* ctx, XLData** list, bool) {
  // Sent as it came: no re-encoding yet. The rotation mark never reaches
  // the printer.
  for (;;) {
    XLData* attr = SearchAttribute(*list, XLCC_ATTR_ROTATION);
    if (attr == nullptr) break;
    XLData* value = attr != *list && IsDataType(attr->prev) ? attr->prev : nullptr;
    if (value != nullptr) {
      if (value == *list) *list = value->next;
      XLDataFree(ctx, value);
    }
    if (attr == *list) *list = XLListIsAlone(attr) ? nullptr : attr->next;
    XLDataFree(ctx, attr);
  }
  return XLCC_PASS;
}
BOOL umseam_LinkedImagesHeld(UmpdJobContext*) { return FALSE; }

int (*umseam_fewColorCounter)(FEWCOLORINFO*, uint32_t) = nullptr;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour) {
  if (umseam_fewColorCounter != nullptr) return umseam_fewColorCounter(summary, colour);
  Note(u"page store (few-colour counting)");
  return -1;
}

int umseam_ConvertGatheredImages(UmpdJobContext*) {
  Note(u"images (merged image conversion)");
  return -1;
}

int umseam_PageStoringInit(UmpdJobContext*, WORD, WORD) {
  Note(u"page store (132)");
  return -1;
}
int umseam_PageStoringStart(UmpdJobContext*, const BYTE*) {
  Note(u"page store (133)");
  return -1;
}
int umseam_PageStoringStop(UmpdJobContext*, WORD) { return 0; }  // never storing: nothing to stop
int umseam_PageStoringDispose(UmpdJobContext*) {
  Note(u"page store (135)");
  return -1;
}
int umseam_OutputStoredPage(UmpdJobContext*, const BYTE*) {
  Note(u"page store (136)");
  return -1;
}
uint32_t umseam_PageStoreFlags(UmpdJobContext*, uint32_t fromRenderer) {
  return fromRenderer & ~(PAGESTORE_INIT | PAGESTORE_STORING);
}
int umseam_FormOverlay(UmpdJobContext* ctx) {
  if (ctx->jobInfo.formOverlay == 0) return 0;
  Note(u"page store (form overlay)");
  return -1;
}
void umseam_SetTempFileRoot(UmpdJobContext*, LPCWSTR) {}
void umseam_SweepTempFiles(UmpdJobContext*) {}

void umseam_DocumentMonitorReset(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }
void umseam_DocumentMonitorGo(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }
void umseam_MarkedReoutput(UmpdJobContext*) {}

const char* umseam_OpenSeams(void) {
  return "images: no re-encoding (images go out as they came, attribute 253 removed), linked images not held, "
         "merged images refused (149 fails the job)\n"
         "page store: pages are not stored (132-136 refused, 137-140 direct), no document monitor, "
         "no marked re-output\n";
}
