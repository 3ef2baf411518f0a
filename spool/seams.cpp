// The job processor's seams (see seams.h): each stands where later work
// goes and says so in the trace; none claims what it did not do.
//
//  - Images: an image goes out as it came, without re-encoding, less the
//    colour conversion's rotation mark (attribute 253); linked images are
//    not held for the outside library, and the end of a link (149) with
//    the library's linking on cannot convert them (149 fails the job).
#include "seams.h"
#include "kestrel/spool/pagestore.h"

#include "kestrel/core/gsb_ctrl.h"
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
  return fewColor_countColorsOnPixel(summary, colour);
}

int umseam_ConvertGatheredImages(UmpdJobContext*) {
  Note(u"images (merged image conversion)");
  return -1;
}

// The job's registration with the document monitor (made with the job
// header, ejclout.cpp): withdrawn when the job fails or is aborted, run
// ("go") when its input ended well; forgotten either way.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx) {
  if (ctx->documentMonitor != 0) bddm_Reset(ctx->documentMonitor);
  ctx->documentMonitor = 0;
}
void umseam_DocumentMonitorGo(UmpdJobContext* ctx) {
  if (ctx->documentMonitor != 0) bddm_Go(ctx->documentMonitor);
  ctx->documentMonitor = 0;
}

const char* umseam_OpenSeams(void) {
  return "images: no re-encoding (images go out as they came, attribute 253 removed), linked images not held, "
         "merged images refused (149 fails the job)\n";
}
