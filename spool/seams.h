// The job processor's calls into work that is not built yet, each one
// function in seams.cpp, naming the work that replaces it. None of them
// answers success it did not earn.
#pragma once

#include "kestrel/spool/umpd.h"


// Colour: the conversion of one operator. Pass, drop, or fail (the job ends).
enum UmseamColor : int { UMSEAM_COLOR_FAIL = 0, UMSEAM_COLOR_PASS = 1, UMSEAM_COLOR_DROP = 2 };
UmseamColor umseam_ColorConvert(UmpdJobContext* ctx, XLOperator* op);
void umseam_ColorInit(UmpdJobContext* ctx);
void umseam_ColorRelease(UmpdJobContext* ctx);

// Images: convert and write the gathered images of a merged image (149).
// 0 when written, -1 on failure.
int umseam_ConvertGatheredImages(UmpdJobContext* ctx);

// The document monitor's registration of the job itself with its header
// (the document events' work): absent, no job is registered.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx);
void umseam_DocumentMonitorGo(UmpdJobContext* ctx);

// Which seams are still open, one name per line (the demo prints them).
const char* umseam_OpenSeams(void);
