// The job processor's calls into work that is not built yet, each one
// function in seams.cpp, naming the work that replaces it. None of them
// answers success it did not earn.
#pragma once

#include "kestrel/spool/umpd.h"


// Page store: counts one colour into a few-colour summary
// (fewColor_countColorsOnPixel). 0 counted or ignored, -1 failed. While the
// page store is absent no summary is ever enabled, and this answers -1.
struct FEWCOLORINFO;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour);
// The tests' stand-in for the page store's counter (null: none).
extern int (*umseam_fewColorCounter)(FEWCOLORINFO* summary, uint32_t colour);

// The document monitor's registration of the job itself with its header
// (the document events' work): absent, no job is registered.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx);
void umseam_DocumentMonitorGo(UmpdJobContext* ctx);

// Which seams are still open, one name per line (the demo prints them).
const char* umseam_OpenSeams(void);
