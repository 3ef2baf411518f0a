// The page steps job control runs (pageflow.cpp): the job-start paper and
// tray records, the first-page settings, the job header and footer, and the
// start and end of logical and physical pages. Each answers 0 or -1 (results
// OR-ed), except PSRealToDeciMM; job control aborts the job on any -1.
#pragma once

#include "kestrel/render/pdev.h"

// A length in 1/18432 inch as 0.1 mm: (v x 254 + 9216) / 18432, integer
// division (computed in 64 bits).
LONG PSRealToDeciMM(LONG value);

// The input paper record (layout offsets 0-35, with the landscape-output
// flag at 32) from the current form, and the output paper record (36-67)
// from the output form.
LONG _getInputPaper(PDEV* pdev);
LONG _getOutputPaper(PDEV* pdev);
// The input tray record (layout offset 96).
LONG _getInputTray(PDEV* pdev);

// The job-start settings of the first page: the job information, the layout
// information with its paper and tray records, the page control's counters.
// A job asking for a combination no page flow is defined for (form
// registration with poster or booklet), or a fax cover sheet on a model
// without its paper, is refused here (ERROR_NOT_SUPPORTED) before anything
// of it is sent.
LONG _setJobStartSettings(PDEV* pdev);

// The job header (BeginSession, OpenDataSource unless DDM 339 is 1, time
// stamps 1 and 6) and footer (time stamp 5, then CloseDataSource and
// EndSession unless DDM 339 is 1).
LONG _sendJobHeader(PDEV* pdev);
LONG _sendJobFooter(PDEV* pdev);

// Paper and tray read again after a reset inside the job (flag 0x40).
LONG _commonPageStep(PDEV* pdev);
LONG _StartPage_Physical(PDEV* pdev);
// A change of tray, paper or duplex setting since the last physical page
// (the tray read again when automatic or with leading-white-page mode 1; the
// sides from DDM 16): in a duplex job a pending back face comes first.
LONG _checkChangingPaperOrTray(PDEV* pdev);
LONG _StartPage_Logical(PDEV* pdev);
LONG _EndPage_Logical(PDEV* pdev);
LONG _EndPage_Physical(PDEV* pdev);

// The poster's test of the page flow (poster on, no booklet, N-up 1) and
// the output of one stored poster page through its parts.
BOOL page_isPosterJob(const PDEV* pdev);
LONG page_outputPosterParts(PDEV* pdev, WORD page);

// ---- Fax jobs (a job with fax address information, escape 0x5024) ------------------
// At the first page, after the job-start settings: the cover sheet switch
// (DDM 381), the sends (one per destination when DDM 379 is 0; a job sent
// more than once stores all its pages) and the sheet paper (id 9 at 600
// dpi). -1 with ERROR_NOT_SUPPORTED when a cover sheet is asked and the
// description has no paper 9. Nothing for a job without fax information.
LONG faxCtrl_initAtJobStart(PDEV* pdev);
BOOL faxCtrl_isRepeated(const PDEV* pdev);
// The cover sheet page (no physical page may be open).
LONG faxCtrl_outputCoverSheet(PDEV* pdev);
// After the job header of a job sent once: its cover sheet, counted as a
// physical page.
LONG faxCtrl_StartJob(PDEV* pdev);
// The job end of a job sent more than once: each send between 143 and 144
// with its header, cover sheet, stored pages and footer.
LONG faxCtrl_EndDoc(PDEV* pdev);
