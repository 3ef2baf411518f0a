// The job processor's seams (see seams.h): each stands where later work
// goes and says so in the trace; none claims what it did not do.
//
//  - The document monitor: the job itself is not registered with its
//    header (copies 1 and on of a marked job are, by marking.cpp).
#include "seams.h"
#include "kestrel/spool/pagestore.h"

#include "kestrel/spool/colorconv.h"

int (*umseam_fewColorCounter)(FEWCOLORINFO*, uint32_t) = nullptr;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour) {
  if (umseam_fewColorCounter != nullptr) return umseam_fewColorCounter(summary, colour);
  return fewColor_countColorsOnPixel(summary, colour);
}

void umseam_DocumentMonitorReset(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }
void umseam_DocumentMonitorGo(UmpdJobContext* ctx) { ctx->documentMonitor = 0; }

const char* umseam_OpenSeams(void) {
  return "document monitor: the job itself is not registered with its header\n";
}
