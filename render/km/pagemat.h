// The page matrices job control, the escapes and the impositions ask for:
// each builds the page information from the PDEV's (or a given) layout
// information, lays the page out (comm_Page_Layout, layout.h) and frames it
// into the device matrix, which maps the engine's device pixels (y down,
// origin at the page area) onto the printer's sheet. Matrices are six IEEE
// singles {m11, m12, m21, m22, dx, dy}. Results 0 or -1.
#pragma once

#include "kestrel/render/pdev.h"
#include "layout.h"

// The output paper's orientation: 0 portrait, 1 landscape (1 without a
// PDEV). From the job's layout information (the halving flag, the N-up
// count, the page orientation, landscape output) and the job information's
// booklet flag, which turns the paper and inverts the answer.
LONG pagemat_getOutputPaperOrient(PDEV* pdev);

// The identity; -1 for a null matrix.
LONG pagemat_setBaseMatrix(float matrix[6]);
// The current logical page (the logical pages already on this physical
// page) on the current side of the sheet.
LONG pagemat_setPageMatrix_current(PDEV* pdev, float matrix[6]);
// Logical page index (from 0) of the current sheet side: its N-up cell in
// sheet pixels, y down.
LONG pagemat_setLogPageArea_current(PDEV* pdev, LAYOUT_RECT* area, LONG pageIndex);
// Page index below 32, side 0 (front) or 1 (back); else -1.
LONG pagemat_setPageMatrix_byLayoutInfo(float matrix[6], const LAYOUTINFO* layout, LONG pageIndex, LONG side);
// The whole output sheet as the page; the output area's origin moved by the
// offsets (device pixels): by (y, x) with landscape, else by (x, -y).
LONG pagemat_setPageMatrix_outputPaper(PDEV* pdev, float matrix[6], LONG x, LONG y, LONG landscape);
// The matrix the N-up frames are drawn with: the output sheet as one page.
LONG pagemat_setPageMatrix_NupFrame(PDEV* pdev, float matrix[6]);
// The output-paper matrix for stamps on the physical sheet, turned by 180
// degrees where the job turns the paper.
LONG pagemat_setPageMatrix_phsycalStamppPaper(PDEV* pdev, float matrix[6], LONG x, LONG y, LONG landscape);
