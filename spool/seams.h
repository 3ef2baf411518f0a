// The job processor's calls into work that is not built yet, each one
// function in seams.cpp, naming the work that replaces it. None of them
// answers success it did not earn.
#pragma once

#include "kestrel/spool/umpd.h"


// Images: an image's held list at its EndImage (the colour conversion's
// XLCC_EndImage): re-encoded (reencode: its CompressMode is a ubyte other
// than JPEG) and handed on. Whatever it does, the rotation mark (attribute
// 253) leaves every ReadImage. 1 (XLCC_PASS): the list goes out with the
// EndImage; 2 (XLCC_HELD): the outside library holds the image (the list is
// taken); 0: the job ends.
int umseam_OutputImage(UmpdJobContext* ctx, XLData** list, bool reencode);
// Images: whether the images of an in-band link (148-149) are held for the
// outside library; the page operators between them are held only then.
BOOL umseam_LinkedImagesHeld(UmpdJobContext* ctx);

// Page store: counts one colour into a few-colour summary
// (fewColor_countColorsOnPixel). 0 counted or ignored, -1 failed. While the
// page store is absent no summary is ever enabled, and this answers -1.
struct FEWCOLORINFO;
int umseam_FewColorCountOnPixel(FEWCOLORINFO* summary, uint32_t colour);
// The tests' stand-in for the page store's counter (null: none).
extern int (*umseam_fewColorCounter)(FEWCOLORINFO* summary, uint32_t colour);

// Images: convert and write the gathered images of a merged image (149).
// 0 when written, -1 on failure.
int umseam_ConvertGatheredImages(UmpdJobContext* ctx);

// The document monitor's registration of the job itself with its header
// (the document events' work): absent, no job is registered.
void umseam_DocumentMonitorReset(UmpdJobContext* ctx);
void umseam_DocumentMonitorGo(UmpdJobContext* ctx);

// Which seams are still open, one name per line (the demo prints them).
const char* umseam_OpenSeams(void);
