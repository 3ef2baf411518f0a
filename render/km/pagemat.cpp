// The output paper's orientation (GetPageInfo turns the printable area with
// it; the layout work's matrices use it too).
//
// Decisions:
//  - The layout information's two N-up direction flags are the halving flag
//    and the cell rotation flag: offset 108 (the grid is turned: N-up 2, 8
//    and 32, whose cells are halves of a turned sheet) is the halving flag,
//    offset 120 (the page orientation differs from the grid's) is the cell
//    rotation flag.
//  - The paper turn flag is the job information's 32-bit value at offset 60
//    (booklet): a booklet prints two pages side by side on a turned sheet.
//  - Landscape output is the layout information's 32-bit value at offset 32.
#include "pagemat.h"

LONG pagemat_getOutputPaperOrient(PDEV* pdev) {
  if (!pdev) return 1;
  const LAYOUTINFO& layout = pdev->layoutInfo;
  const bool pageLandscape = layout.orientation != 0;
  const bool turned = pdev->jobInfo.booklet != 0;
  bool landscape;
  if (layout.gridTurned != 0) {
    landscape = !pageLandscape;
  } else if (layout.nup != 1) {
    landscape = pageLandscape;
  } else if (turned) {
    landscape = pageLandscape;
  } else {
    landscape = layout.landscapeOutput != 0;
  }
  if (turned) landscape = !landscape;
  return landscape ? 1 : 0;
}

void comm_Matrix_Product(FLOATOBJ out[6], const FLOATOBJ a[6], const FLOATOBJ b[6]) {
  // Row vectors: (x, y, 1) a b. The linear parts multiply; a's offset goes
  // through b's linear part and gains b's offset.
  auto ab = [](const FLOATOBJ& p, const FLOATOBJ& q, const FLOATOBJ& r, const FLOATOBJ& s) {
    FLOATOBJ x = p, y = r;
    FLOATOBJ_Mul(&x, &q);
    FLOATOBJ_Mul(&y, &s);
    FLOATOBJ_Add(&x, &y);
    return x;
  };
  out[0] = ab(a[0], b[0], a[1], b[2]);
  out[1] = ab(a[0], b[1], a[1], b[3]);
  out[2] = ab(a[2], b[0], a[3], b[2]);
  out[3] = ab(a[2], b[1], a[3], b[3]);
  out[4] = ab(a[4], b[0], a[5], b[2]);
  FLOATOBJ_Add(&out[4], &b[4]);
  out[5] = ab(a[4], b[1], a[5], b[3]);
  FLOATOBJ_Add(&out[5], &b[5]);
}
