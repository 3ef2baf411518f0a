// Page matrices and layout transforms. The layout work builds the matrices;
// what is here already is what the escapes need of it.
#pragma once

#include "kestrel/render/pdev.h"

// The output paper's orientation: 0 portrait, 1 landscape (1 without a
// PDEV). From the job's layout information (the halving flag, the N-up
// count, the page orientation, landscape output) and the job information's
// booklet flag, which turns the paper and inverts the answer.
LONG pagemat_getOutputPaperOrient(PDEV* pdev);

// The matrix product a x b of two 2 x 3 transforms {m11, m12, m21, m22, dx,
// dy} with row vectors (a applied first, then b). out may not be a or b.
void comm_Matrix_Product(FLOATOBJ out[6], const FLOATOBJ a[6], const FLOATOBJ b[6]);
