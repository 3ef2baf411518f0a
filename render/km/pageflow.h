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
// A job asking for a mode the renderer does not build yet is refused here
// (ERROR_NOT_SUPPORTED) before anything of it is sent.
LONG _setJobStartSettings(PDEV* pdev);

// The job header (BeginSession, OpenDataSource unless DDM 339 is 1, time
// stamps 1 and 6) and footer (time stamp 5, then CloseDataSource and
// EndSession unless DDM 339 is 1).
LONG _sendJobHeader(PDEV* pdev);
LONG _sendJobFooter(PDEV* pdev);

// Paper and tray read again after a reset inside the job (flag 0x40).
LONG _commonPageStep(PDEV* pdev);
LONG _StartPage_Physical(PDEV* pdev);
LONG _StartPage_Logical(PDEV* pdev);
LONG _EndPage_Logical(PDEV* pdev);
LONG _EndPage_Physical(PDEV* pdev);

// ---- Seams of the layout work (seams.cpp) ----------------------------------
// 0 when the job uses only what the page flow builds; -1 with
// ERROR_NOT_SUPPORTED for poster, booklet, store-all-pages, form
// registration, a leading white page, the white-page table or fax
// information, whose page steps the layout work builds.
LONG page_checkJobModesBuilt(PDEV* pdev);
