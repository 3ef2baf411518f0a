// The job processor's calls that were seams while later work was missing
// (seams.cpp): the few-colour counter, which tests may take over, and the
// job's registration with the document monitor. None answers success it did
// not earn.
#pragma once

#include "kestrel/spool/umpd.h"


// Page store: counts one colour into a few-colour summary
// (fewColor_countColorsOnPixel). 0 counted or ignored, -1 failed.
struct FEWCOLORINFO;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour);
// The tests' stand-in for the page store's counter (null: none).
extern int (*umseam_fewColorCounter)(FEWCOLORINFO* summary, uint32_t colour);

// The document monitor's registration of the job itself, made with its
// header: withdrawn (Reset) when the job fails or is aborted, run (Go) when
// its input ended well.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx);
void umseam_DocumentMonitorGo(UmpdJobContext* ctx);

// Which seams are still open, one name per line (the demo prints them);
// empty when none is.
const char* umseam_OpenSeams(void);
