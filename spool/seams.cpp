// The job processor's seams (see seams.h): each stands where later work
// goes and says so in the trace; none claims what it did not do.
//
//  - Colour: every operator passes unconverted; SetColorSpace loses the
//    private attribute 254 (object kind), which no printer knows.
//  - Images: a merged image cannot be converted (149 fails the job).
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

namespace {

void Note(const char16_t* what) { Logout_OutputString(u"kestrelum: not built yet: %ls", what); }

}  // namespace


UmseamColor umseam_ColorConvert(UmpdJobContext* ctx, XLOperator* op) {
  if (op->op != XL_OP_SETCOLORSPACE) return UMSEAM_COLOR_PASS;
  for (;;) {
    XLData* attr = SearchAttribute(op->list, static_cast<BYTE>(XL_ATTR_OBJECTKIND));
    if (attr == nullptr) break;
    XLData* value = attr != op->list && IsDataType(attr->prev) ? attr->prev : nullptr;
    if (value != nullptr) {
      if (value == op->list) op->list = value->next;
      XLDataFree(ctx, value);
    }
    if (attr == op->list) op->list = XLListIsAlone(attr) ? nullptr : attr->next;
    XLDataFree(ctx, attr);
  }
  return UMSEAM_COLOR_PASS;
}
void umseam_ColorInit(UmpdJobContext*) {}
void umseam_ColorRelease(UmpdJobContext*) {}

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
  return "colour: no colour conversion (attribute 254 removed)\n"
         "images: merged images are refused (149 fails the job)\n"
         "page store: pages are not stored (132-136 refused, 137-140 direct), no document monitor, "
         "no marked re-output\n";
}
