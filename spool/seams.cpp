// The job processor's calls that tests may take over (see seams.h), and the
// job's registration with the document monitor.
#include "seams.h"
#include "kestrel/spool/pagestore.h"

#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/spool/colorconv.h"

int (*umseam_fewColorCounter)(FEWCOLORINFO*, uint32_t) = nullptr;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour) {
  if (umseam_fewColorCounter != nullptr) return umseam_fewColorCounter(summary, colour);
  return fewColor_countColorsOnPixel(summary, colour);
}

// The job's registration with the document monitor (made with the job
// header, ejclout.cpp, or taken over from the document events): withdrawn
// when the job fails or is aborted, run ("go") when its input ended well;
// forgotten either way. Registrations handed over for a job that ends
// before its header are taken over here, so that none outlives the job.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx) {
  outGSB_TakeOverDocumentMonitor(ctx);
  if (ctx->documentMonitor != 0) bddm_Reset(ctx->documentMonitor);
  ctx->documentMonitor = 0;
}
void umseam_DocumentMonitorGo(UmpdJobContext* ctx) {
  outGSB_TakeOverDocumentMonitor(ctx);
  if (ctx->documentMonitor != 0) bddm_Go(ctx->documentMonitor);
  ctx->documentMonitor = 0;
}

// Nothing of the job processor waits for later work any more.
const char* umseam_OpenSeams(void) { return ""; }
