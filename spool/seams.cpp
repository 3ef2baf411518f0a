// The job processor's seams (see seams.h): each stands where later work
// goes and says so in the trace; none claims what it did not do.
//
//  - Colour: every operator passes unconverted; SetColorSpace loses the
//    private attribute 254 (object kind), which no printer knows.
//  - Images: a merged image cannot be converted (149 fails the job).
//  - The document monitor: the job itself is not registered with its
//    header (copies 1 and on of a marked job are, by marking.cpp).
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

void umseam_DocumentMonitorReset(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }
void umseam_DocumentMonitorGo(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }

const char* umseam_OpenSeams(void) {
  return "colour: no colour conversion (attribute 254 removed)\n"
         "images: merged images are refused (149 fails the job)\n"
         "document monitor: the job itself is not registered with its header\n";
}
