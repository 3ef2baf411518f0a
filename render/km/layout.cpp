// Page matrices and layout transforms (declarations and decisions in
// layout.h).
#include "layout.h"

#include <bit>
#include <cmath>
#include <utility>

namespace {

constexpr LONG kFront = 1, kBack = 2;
constexpr LONG kDuplexShort = 1, kDuplexLong = 2;
constexpr LONG kOriginCentre = 4;
constexpr LONG kZoomMin = 25, kZoomMax = 400;
constexpr DWORD kHalvingFactorBits = 0x3FB504F3;  // 1.41421354f, the side ratio of halved A-series paper
constexpr LONG kDmmPerInch = 254;                  // tenths of a millimetre per inch
constexpr LONG kMaxCells = 32;

// Edges of the binding margin.
enum : LONG { kEdgeLeft = 0, kEdgeBottom = 1, kEdgeTop = 2, kEdgeRight = 3 };

float HalvingFactor() { return std::bit_cast<float>(kHalvingFactorBits); }

LONG Width(const LAYOUT_RECT& r) { return r.right - r.left; }
LONG Height(const LAYOUT_RECT& r) { return r.bottom - r.top; }
bool HasExtent(const LAYOUT_RECT& r) { return Width(r) > 0 && Height(r) > 0; }

LONG Dmm(LONG value, LONG dpi) {
  FLOATOBJ f{};
  FLOATOBJ_set_dmm2device(&f, value, dpi);
  return FLOATOBJ_GetLong(&f);
}

nrvxform Make(float m11, float m12, float m21, float m22, float dx, float dy) {
  return nrvxform{m11, m12, m21, m22, dx, dy};
}

nrvxform Translation(float tx, float ty) { return Make(1.0f, 0.0f, 0.0f, 1.0f, tx, ty); }
nrvxform FlipY(float h) { return Make(1.0f, 0.0f, 0.0f, -1.0f, 0.0f, h); }

bool IsBack(const PAGEINFO& info, LONG side) { return side == kBack && info.duplex != 0; }

// Step 2: the application margins as a translation.
LONG SetAppMarginMatrix(nrvxform* m, const PAGEINFO& info) {
  LONG tx, ty;
  if (!info.landscapeOutput) {
    tx = info.appMargin18 - info.pageArea.left;
    ty = -(info.appMargin22 - info.pagePaperLength + info.pageArea.bottom);
  } else {
    tx = info.appMargin24 - info.pageArea.left;
    ty = -(info.appMargin18 - info.pagePaperLength + info.pageArea.bottom);
  }
  const nrvxform t = Translation(static_cast<float>(tx), static_cast<float>(ty));
  return comm_Matrix_Product(m, m, &t);
}

// Step 3: the binding margin moves one edge of the output area (and the
// opposite one with it unless only the edge moves).
void SetMarginOnOutputPaper(PAGEINFO* info, LONG side) {
  // [kind][page orientation flag]
  static constexpr LONG kEdgeOf[5][2] = {
      {-1, -1}, {kEdgeLeft, kEdgeBottom}, {kEdgeRight, kEdgeTop}, {kEdgeBottom, kEdgeRight}, {kEdgeTop, kEdgeLeft}};
  const LONG kind = info->bindingKind;
  if (kind < 1 || kind > 4) return;
  LONG edge = kEdgeOf[kind][info->pageOrientation != 0 ? 1 : 0];
  LONG margin = info->bindingFront;
  if (IsBack(*info, side)) {
    margin = info->bindingBack;
    if ((info->duplex == kDuplexLong && kind <= 2) || (info->duplex == kDuplexShort && kind >= 3)) edge = 3 - edge;
  }
  const bool horizontal = edge == kEdgeLeft || edge == kEdgeRight;
  const LONG m = Dmm(margin, horizontal ? info->resolutionX : info->resolutionY);
  LAYOUT_RECT& a = info->outArea;
  LONG d = 0;
  switch (edge) {
    case kEdgeLeft: d = a.left; break;
    case kEdgeRight: d = info->outSheetWidth - a.right; break;
    case kEdgeTop: d = a.top; break;
    default: d = info->outSheetLength - a.bottom; break;
  }
  if (m <= d) return;
  const LONG k = m - d;
  const bool shift = info->bindingEdgeOnly == 0;
  switch (edge) {
    case kEdgeLeft:
      a.left += k;
      if (shift) a.right += k;
      break;
    case kEdgeRight:
      a.right -= k;
      if (shift) a.left -= k;
      break;
    case kEdgeTop:
      a.top += k;
      if (shift) a.bottom += k;
      break;
    default:
      a.bottom -= k;
      if (shift) a.top -= k;
      break;
  }
}

// Step 4: the print-position adjustment moves the output area.
void SetPrintPosition(PAGEINFO* info) {
  bool portrait = info->pageOrientation == 0;
  if (info->nupCount == 2 || info->nupCount == 8 || info->nupCount == 32) portrait = !portrait;
  const LONG mx = portrait ? info->printPosX : -info->printPosY;
  const LONG my = portrait ? info->printPosY : info->printPosX;
  info->outArea.left += mx;
  info->outArea.right += mx;
  info->outArea.top += my;
  info->outArea.bottom += my;
}

// Step 5.
LONG Set180Matrix(nrvxform* m, const PAGEINFO& info) {
  const nrvxform r = Make(-1.0f, 0.0f, 0.0f, -1.0f, static_cast<float>(info.pageArea.left + info.pageArea.right),
                          static_cast<float>(info.pageArea.top + info.pageArea.bottom));
  return comm_Matrix_Product(m, m, &r);
}

// The turn that brings the page upright (step 7): 90, 270 or none.
enum class Turn { None, Quarter, ThreeQuarter };
Turn PageTurn(const PAGEINFO& info) {
  if (info.pageOrientation == 0 && info.landscapeOutput) return Turn::Quarter;
  if (info.pageOrientation != 0 && !info.landscapeOutput) return Turn::ThreeQuarter;
  return Turn::None;
}

nrvxform MatrixRotate90(const PAGEINFO& i) {
  return Make(0.0f, 1.0f, -1.0f, 0.0f, static_cast<float>(i.pageArea.bottom), static_cast<float>(-i.pageArea.right));
}
nrvxform MatrixRotate270(const PAGEINFO& i) {
  return Make(0.0f, -1.0f, 1.0f, 0.0f, static_cast<float>(-i.pageArea.top), static_cast<float>(i.pageArea.left));
}
nrvxform MatrixRotate0(const PAGEINFO& i) {
  return Make(1.0f, 0.0f, 0.0f, 1.0f, static_cast<float>(-i.pageArea.left), static_cast<float>(-i.pageArea.bottom));
}

LONG CellAngle(const PAGEINFO& info) { return info.cellRotation == 1 ? 90 : 0; }

// Step 7's cell placement.
nrvxform SetXupMatrixC(LONG angle, const LAYOUT_RECT& cell, float r) {
  if (angle == 90) return Make(0.0f, r, -r, 0.0f, static_cast<float>(cell.left), static_cast<float>(cell.top));
  return Make(r, 0.0f, 0.0f, r, static_cast<float>(cell.left), static_cast<float>(cell.bottom));
}

// Step 7: turn, zoom, cell.
LONG SetXupMatrix(nrvxform* m, const PAGEINFO& info, LONG pageNumber, float zoom, float* ratioOut) {
  nrvxform turn;
  switch (PageTurn(info)) {
    case Turn::Quarter: turn = MatrixRotate90(info); break;
    case Turn::ThreeQuarter: turn = MatrixRotate270(info); break;
    default: turn = MatrixRotate0(info); break;
  }
  calcxform c{};
  _conv_nrvxform_calcxform(&turn, &c);
  FLOATOBJ* v[6] = {&c.eM11, &c.eM12, &c.eM21, &c.eM22, &c.eDx, &c.eDy};
  for (FLOATOBJ* f : v) FLOATOBJ_MulFloat(f, zoom);
  _conv_calcxform_nrvxform(&c, &turn);
  LAYOUT_RECT cell{};
  if (GetXupLogPageArea(&info, pageNumber, &cell) != 0) return -1;
  const LONG angle = CellAngle(info);
  FLOATOBJ ratio{};
  if (GetXupRatio(&info, &cell, angle, &ratio) != 0) return -1;
  *ratioOut = FLOATOBJ_GetFloat(&ratio);
  const nrvxform place = SetXupMatrixC(angle, cell, *ratioOut);
  nrvxform nup{};
  LONG result = comm_Matrix_Product(&nup, &turn, &place);
  result |= comm_Matrix_Product(m, m, &nup);
  return result;
}

// Step 8: the page moves within its cell by the print origin.
LONG SetOriginMatrix(nrvxform* m, const PAGEINFO& info, LONG side, float zoom, float ratio) {
  // "Rotated" is the turned cell (the cell rotation flag), for the front's
  // directions and the back's mirroring alike.
  const LONG rotated = info.cellRotation != 0 ? 1 : 0;
  LONG kind = info.printOriginKind;
  if (IsBack(info, side)) kind = GetPrintOriginBack(kind, info.duplex, rotated);
  LONG dx = 0, dy = 0;
  if (GetDirectionToMove(kind, rotated, &dx, &dy) != 0) return -1;
  if (dx == 0 && dy == 0) return 0;
  FLOATOBJ cellW{}, cellH{};
  FLOATOBJ_SetLong(&cellW, Width(info.outArea));
  FLOATOBJ_DivLong(&cellW, info.columns);
  FLOATOBJ_SetLong(&cellH, Height(info.outArea));
  FLOATOBJ_DivLong(&cellH, info.rows);
  FLOATOBJ ew{}, eh{};
  FLOATOBJ_SetLong(&ew, Width(info.pageArea));
  FLOATOBJ_SetLong(&eh, Height(info.pageArea));
  if (info.landscapeOutput) std::swap(ew, eh);
  for (FLOATOBJ* f : {&ew, &eh}) {
    FLOATOBJ_MulFloat(f, zoom);
    FLOATOBJ_MulFloat(f, ratio);
  }
  if (info.halving) std::swap(ew, eh);
  FLOATOBJ freeX = cellW, freeY = cellH;
  FLOATOBJ_Sub(&freeX, &ew);
  FLOATOBJ_Sub(&freeY, &eh);
  FLOATOBJ_MulLong(&freeX, dx);
  FLOATOBJ_MulLong(&freeY, dy);
  if (kind == kOriginCentre) {
    FLOATOBJ_DivLong(&freeX, 2);
    FLOATOBJ_DivLong(&freeY, 2);
  }
  const nrvxform t = Translation(FLOATOBJ_GetFloat(&freeX), FLOATOBJ_GetFloat(&freeY));
  return comm_Matrix_Product(m, m, &t);
}

}  // namespace

// ---- conversions -----------------------------------------------------------

void FLOATOBJ_set_dmm2device(FLOATOBJ* target, LONG value, LONG dpi) {
  if (!target || dpi == 0) return;
  FLOATOBJ_SetLong(target, value);
  FLOATOBJ_MulLong(target, dpi);
  FLOATOBJ_DivLong(target, kDmmPerInch);
}

LONG l_dmm2dev(const LAYOUTINFO* layout, LONG value, LONG axis) {
  if (!layout) return 0;
  return Dmm(value, axis == LAYOUT_AXIS_X ? layout->resolutionX : layout->resolutionY);
}

DWORD f_dmm2dev(const LAYOUTINFO* layout, LONG value, LONG axis) {
  FLOATOBJ f{};
  if (layout) FLOATOBJ_set_dmm2device(&f, value, axis == LAYOUT_AXIS_X ? layout->resolutionX : layout->resolutionY);
  return layout_FLOATOBJ_GetFloat(&f);
}

DWORD layout_FLOATOBJ_GetFloat(const FLOATOBJ* f) { return f ? std::bit_cast<DWORD>(FLOATOBJ_GetFloat(f)) : 0; }

DWORD layout_FLOATOBJ_GetFloatLong(LONG n) {
  FLOATOBJ f{};
  FLOATOBJ_SetLong(&f, n);
  return layout_FLOATOBJ_GetFloat(&f);
}

DWORD PFLOAT2FLOATLONG(float value) {
  FLOATOBJ f{};
  FLOATOBJ_SetFloat(&f, value);
  return layout_FLOATOBJ_GetFloat(&f);
}

void _FLOATOJB_AxB_plus_CxD(FLOATOBJ* out, const FLOATOBJ* a, const FLOATOBJ* b, const FLOATOBJ* c,
                            const FLOATOBJ* d) {
  if (!out || !a || !b || !c || !d) return;
  FLOATOBJ ab = *a, cd = *c;
  FLOATOBJ_Mul(&ab, b);
  FLOATOBJ_Mul(&cd, d);
  FLOATOBJ_Add(&ab, &cd);
  *out = ab;
}

// ---- matrices ----------------------------------------------------------------

LONG _conv_nrvxform_calcxform(const nrvxform* in, calcxform* out) {
  if (!in || !out) return -1;
  FLOATOBJ_SetFloat(&out->eM11, in->m11);
  FLOATOBJ_SetFloat(&out->eM12, in->m12);
  FLOATOBJ_SetFloat(&out->eM21, in->m21);
  FLOATOBJ_SetFloat(&out->eM22, in->m22);
  FLOATOBJ_SetFloat(&out->eDx, in->dx);
  FLOATOBJ_SetFloat(&out->eDy, in->dy);
  return 0;
}

LONG _conv_calcxform_nrvxform(const calcxform* in, nrvxform* out) {
  if (!in || !out) return -1;
  out->m11 = FLOATOBJ_GetFloat(&in->eM11);
  out->m12 = FLOATOBJ_GetFloat(&in->eM12);
  out->m21 = FLOATOBJ_GetFloat(&in->eM21);
  out->m22 = FLOATOBJ_GetFloat(&in->eM22);
  out->dx = FLOATOBJ_GetFloat(&in->eDx);
  out->dy = FLOATOBJ_GetFloat(&in->eDy);
  return 0;
}

LONG layout_conv_matrix_nrvxform(const calcxform* in, nrvxform* out) { return _conv_calcxform_nrvxform(in, out); }

LONG SetUnitMatrix(nrvxform* m) {
  if (!m) return -1;
  *m = Make(1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
  return 0;
}
LONG layout_setBaseMatrix(nrvxform* m) { return SetUnitMatrix(m); }
LONG _nrvxform_setBaseMatrix(nrvxform* m) { return SetUnitMatrix(m); }

LONG CombineXform(nrvxform* out, const nrvxform* a, const calcxform* b) {
  if (!out || !a || !b) return -1;
  calcxform ca{};
  _conv_nrvxform_calcxform(a, &ca);
  calcxform r{};
  _FLOATOJB_AxB_plus_CxD(&r.eM11, &ca.eM11, &b->eM11, &ca.eM12, &b->eM21);
  _FLOATOJB_AxB_plus_CxD(&r.eM12, &ca.eM11, &b->eM12, &ca.eM12, &b->eM22);
  _FLOATOJB_AxB_plus_CxD(&r.eM21, &ca.eM21, &b->eM11, &ca.eM22, &b->eM21);
  _FLOATOJB_AxB_plus_CxD(&r.eM22, &ca.eM21, &b->eM12, &ca.eM22, &b->eM22);
  _FLOATOJB_AxB_plus_CxD(&r.eDx, &ca.eDx, &b->eM11, &ca.eDy, &b->eM21);
  FLOATOBJ_Add(&r.eDx, &b->eDx);
  _FLOATOJB_AxB_plus_CxD(&r.eDy, &ca.eDx, &b->eM12, &ca.eDy, &b->eM22);
  FLOATOBJ_Add(&r.eDy, &b->eDy);
  return _conv_calcxform_nrvxform(&r, out);
}

LONG comm_Matrix_Product(nrvxform* out, const nrvxform* a, const nrvxform* b) {
  if (!out || !a || !b) return -1;
  calcxform cb{};
  _conv_nrvxform_calcxform(b, &cb);
  return CombineXform(out, a, &cb);
}

LONG layout_concatMatrix(nrvxform* out, const nrvxform* a, const nrvxform* b) { return comm_Matrix_Product(out, a, b); }

LONG _nrvxform_shiftMatrix(nrvxform* m, float tx, float ty) {
  if (!m) return -1;
  calcxform c{};
  _conv_nrvxform_calcxform(m, &c);
  FLOATOBJ x{}, y{};
  FLOATOBJ_SetFloat(&x, tx);
  FLOATOBJ_SetFloat(&y, ty);
  FLOATOBJ sx{}, sy{};
  _FLOATOJB_AxB_plus_CxD(&sx, &x, &c.eM11, &y, &c.eM21);
  _FLOATOJB_AxB_plus_CxD(&sy, &x, &c.eM12, &y, &c.eM22);
  FLOATOBJ_Add(&c.eDx, &sx);
  FLOATOBJ_Add(&c.eDy, &sy);
  return _conv_calcxform_nrvxform(&c, m);
}
LONG _shiftMatrix(nrvxform* m, float tx, float ty) { return _nrvxform_shiftMatrix(m, tx, ty); }

LONG _nrvxform_upSideDownMatrix(nrvxform* m) {
  if (!m) return -1;
  m->m21 = -m->m21;
  m->m22 = -m->m22;
  return 0;
}
LONG _upSideDownMatrix(nrvxform* m) { return _nrvxform_upSideDownMatrix(m); }

// ---- the page information --------------------------------------------------------

LONG _setPageInfoStruct(const LAYOUTINFO* L, PAGEINFO* info) {
  if (!L || !info) return -1;
  PAGEINFO p{};
  const LONG dx = L->resolutionX, dy = L->resolutionY;
  const bool land = L->landscapeOutput != 0;
  const JOBREC_PAPER& in = L->inputPaper;
  const JOBREC_PAPER& out = L->outputPaper;
  p.pagePaperWidth = Dmm(land ? in.height : in.width, dx);
  p.pagePaperLength = Dmm(land ? in.width : in.height, dy);
  p.pageArea.left = Dmm(land ? in.top : in.left, dx);
  p.pageArea.top = Dmm(land ? in.left : in.top, dy);
  p.pageArea.right = p.pageArea.left + Dmm(land ? in.imageableHeight : in.imageableWidth, dx);
  p.pageArea.bottom = p.pageArea.top + Dmm(land ? in.imageableWidth : in.imageableHeight, dy);
  p.outSheetWidth = Dmm(out.width, dx);
  p.outSheetLength = Dmm(out.height, dy);
  p.outArea.left = Dmm(out.left, dx);
  p.outArea.top = Dmm(out.top, dy);
  p.outArea.right = p.outArea.left + Dmm(out.imageableWidth, dx);
  p.outArea.bottom = p.outArea.top + Dmm(out.imageableHeight, dy);
  p.rotate180Kind = L->rotate180Kind;
  p.zoomOn = L->zoomOn;
  p.zoomPercent = L->zoomPercent;
  p.landscapeOutput = land ? 1 : 0;
  p.pageOrientation = L->orientation;
  p.duplex = L->binding;
  p.nupOrder = L->pageOrder;
  p.nupCount = L->nup;
  p.columns = L->gridColumns;
  p.rows = L->gridRows;
  p.halving = L->gridTurned;
  p.cellRotation = L->paperTurned;
  p.bindingKind = L->marginPosition;
  p.bindingFront = L->margin1;
  p.bindingBack = L->margin2;
  p.bindingEdgeOnly = L->member1283Set;
  p.printOriginKind = L->member382;
  p.appMargin18 = Dmm(in.marginLeft, dx);
  p.appMargin20 = Dmm(in.marginRight, dx);
  p.appMargin22 = Dmm(in.marginTop, dy);
  p.appMargin24 = Dmm(in.marginBottom, dy);
  p.printPosKind = L->member459;
  p.printPosX = Dmm(static_cast<int16_t>(L->member460), dx);
  p.printPosY = Dmm(static_cast<int16_t>(L->member461), dy);
  p.resolutionX = dx;
  p.resolutionY = dy;
  *info = p;
  return 0;
}

// ---- N-up ----------------------------------------------------------------------------

LONG GetXupType(LONG count, LONG order, LONG cellRotation) {
  const bool rotated = cellRotation != 0;
  if (count <= 1) return 4;
  if (count == 2) {
    // Unturned cells stack as one column as the side is read: every order
    // runs down it, page 1 on top (type 5); see the header.
    if (!rotated) return 5;
    const bool firstGroup = order == 1 || order == 3 || order == 4;
    return firstGroup ? 1 : 5;
  }
  if (order < 3) order = 3;  // orders 0-2: as order 3
  static constexpr LONG kRotated[4] = {1, 0, 5, 4};     // orders 3-6
  static constexpr LONG kUnrotated[4] = {4, 5, 6, 7};
  if (order > 6) return -1;
  return rotated ? kRotated[order - 3] : kUnrotated[order - 3];
}

LONG GetXupCell(LONG type, LONG cols, LONG rows, LONG pageNumber, LONG* column, LONG* row) {
  if (!column || !row || cols < 1 || rows < 1 || cols * rows > kMaxCells || pageNumber < 1) return -1;
  const LONG i = (pageNumber - 1) % (cols * rows);
  LONG c, r;
  switch (type) {
    case 0: c = i % cols; r = i / cols; break;
    case 1: c = i / rows; r = i % rows; break;
    case 2: c = cols - 1 - i % cols; r = i / cols; break;
    case 3: c = cols - 1 - i / rows; r = i % rows; break;
    case 4: c = i % cols; r = rows - 1 - i / cols; break;
    case 5: c = i / rows; r = rows - 1 - i % rows; break;
    case 6: c = cols - 1 - i % cols; r = rows - 1 - i / cols; break;
    case 7: c = cols - 1 - i / rows; r = rows - 1 - i % rows; break;
    default: return -1;
  }
  *column = c;
  *row = r;
  return 0;
}

LONG GetXupLogPageArea(const PAGEINFO* info, LONG pageNumber, LAYOUT_RECT* cell) {
  if (!info || !cell) return -1;
  const LONG type = GetXupType(info->nupCount, info->nupOrder, info->cellRotation);
  LONG c = 0, r = 0;
  if (GetXupCell(type, info->columns, info->rows, pageNumber, &c, &r) != 0) return -1;
  const LONG width = Width(info->outArea) / info->columns;
  const LONG height = Height(info->outArea) / info->rows;
  if (width <= 0 || height <= 0) return -1;
  cell->left = info->outArea.left + c * width;
  cell->right = cell->left + width;
  cell->top = info->outArea.top + r * height;
  cell->bottom = cell->top + height;
  return 0;
}

LONG GetDirectionToMove(LONG kind, LONG rotated, LONG* dx, LONG* dy) {
  if (!dx || !dy || kind < 0 || kind > 4) return -1;
  static constexpr LONG kUnrotated[5][2] = {{0, 0}, {1, 0}, {1, -1}, {0, -1}, {1, -1}};
  static constexpr LONG kRotated[5][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {1, 1}};
  const LONG(&row)[2] = rotated ? kRotated[kind] : kUnrotated[kind];
  *dx = row[0];
  *dy = row[1];
  return 0;
}

LONG GetPrintOriginBack(LONG kind, LONG duplex, LONG rotated) {
  if (kind == kOriginCentre) return kind;
  if ((duplex == kDuplexShort && rotated) || (duplex == kDuplexLong && !rotated)) {
    static constexpr LONG kSwap[4] = {1, 0, 3, 2};
    return kind >= 0 && kind < 4 ? kSwap[kind] : kind;
  }
  if (duplex == kDuplexLong && rotated) {
    static constexpr LONG kSwap[4] = {3, 2, 1, 0};
    return kind >= 0 && kind < 4 ? kSwap[kind] : kind;
  }
  return kind;
}

BOOL isRotate180Original(const PAGEINFO* info) {
  if (!info) return FALSE;
  const LONG k = info->rotate180Kind;
  return (k == 1 && info->landscapeOutput) || (k == 2 && !info->landscapeOutput) || k == 3 ? TRUE : FALSE;
}

LONG GetZoom(const PAGEINFO* info, FLOATOBJ* zoom) {
  if (!info || !zoom) return -1;
  const LONG pw = Width(info->pageArea), ph = Height(info->pageArea);
  const LONG ow = Width(info->outArea), oh = Height(info->outArea);
  if (pw <= 0 || ph <= 0 || ow <= 0 || oh <= 0) return -1;
  if (info->zoomOn) {
    if (info->zoomPercent < kZoomMin || info->zoomPercent > kZoomMax) return -1;
    FLOATOBJ_SetLong(zoom, info->zoomPercent);
    FLOATOBJ_DivLong(zoom, 100);
    FLOATOBJ_SetFloat(zoom, FLOATOBJ_GetFloat(zoom));
    return 0;
  }
  FLOATOBJ outH{}, outW{};
  FLOATOBJ_SetLong(&outH, oh);
  FLOATOBJ_SetLong(&outW, ow);
  if (info->halving) FLOATOBJ_DivLong(&outH, 2);
  // The quotients' numerators and denominators: portrait output pairs the
  // output height with the page height, landscape output with its width.
  const LONG d1 = info->landscapeOutput ? pw : ph;
  const LONG d2 = info->landscapeOutput ? ph : pw;
  FLOATOBJ q1 = info->halving ? outW : outH;
  FLOATOBJ q2 = info->halving ? outH : outW;
  FLOATOBJ_DivLong(&q1, d1);
  FLOATOBJ_DivLong(&q2, d2);
  if (info->halving) {
    FLOATOBJ_MulFloat(&q1, HalvingFactor());
    FLOATOBJ_MulFloat(&q2, HalvingFactor());
  }
  *zoom = FLOATOBJ_LessThan(&q1, &q2) ? q1 : q2;
  FLOATOBJ_SetFloat(zoom, FLOATOBJ_GetFloat(zoom));
  return 0;
}

LONG GetXupRatio(const PAGEINFO* info, const LAYOUT_RECT* cell, LONG angle, FLOATOBJ* ratio) {
  if (!info || !cell || !ratio) return -1;
  if (!HasExtent(*cell) || !HasExtent(info->pageArea)) return -1;
  if (info->zoomOn) {
    FLOATOBJ_SetLong(ratio, 1);
    return 0;
  }
  // The page's extent after its turn of step 7, then paired with the cell's
  // as the cell's own angle turns it.
  LONG ew = Width(info->pageArea), eh = Height(info->pageArea);
  if (PageTurn(*info) != Turn::None) std::swap(ew, eh);
  if (angle == 90) std::swap(ew, eh);
  FLOATOBJ rx{}, ry{};
  FLOATOBJ_SetLong(&rx, Width(*cell));
  FLOATOBJ_DivLong(&rx, ew);
  FLOATOBJ_SetLong(&ry, Height(*cell));
  FLOATOBJ_DivLong(&ry, eh);
  *ratio = FLOATOBJ_LessThan(&rx, &ry) ? rx : ry;
  FLOATOBJ_SetFloat(ratio, FLOATOBJ_GetFloat(ratio));
  return 0;
}

// ---- the pipeline --------------------------------------------------------------------

LONG comm_Page_Layout(nrvxform* out, const PAGEINFO* in, LONG pageNumber, LONG side, LAYOUT_RECT* cellOut) {
  if (!out || !in || pageNumber < 1 || (side != kFront && side != kBack)) return -1;
  PAGEINFO info = *in;
  if (!HasExtent(info.pageArea) || !HasExtent(info.outArea) || info.columns < 1 || info.rows < 1) return -1;
  // 1.
  nrvxform m{};
  LONG result = SetUnitMatrix(&m);
  // 2.
  result |= SetAppMarginMatrix(&m, info);
  // 3, 4. The output area moves; an edge moved past its opposite leaves no
  // area to print on.
  if (info.bindingKind != 0) SetMarginOnOutputPaper(&info, side);
  if (info.printPosKind != 0) SetPrintPosition(&info);
  if (!HasExtent(info.outArea)) return -1;
  // 5.
  if (isRotate180Original(&info)) result |= Set180Matrix(&m, info);
  // 6.
  FLOATOBJ fit{};
  if (GetZoom(&info, &fit) != 0) return -1;
  const float zoom = info.zoomOn ? FLOATOBJ_GetFloat(&fit) : 1.0f;
  // 7.
  float ratio = 1.0f;
  if (SetXupMatrix(&m, info, pageNumber, zoom, &ratio) != 0) return -1;
  // 8.
  result |= SetOriginMatrix(&m, info, side, zoom, ratio);
  // 9.
  if (cellOut) {
    LAYOUT_RECT cell{};
    result |= GetXupLogPageArea(&info, pageNumber, &cell);
    cellOut->left = cell.left;
    cellOut->right = cell.right;
    cellOut->top = info.outSheetLength - cell.bottom;
    cellOut->bottom = info.outSheetLength - cell.top;
  }
  if (result != 0) return -1;
  for (float v : {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy})
    if (!std::isfinite(v)) return -1;
  *out = m;
  return 0;
}

LONG layout_culcDeviceMatrix(const nrvxform* m, nrvxform* out, float h1, float tx, float ty, float h2) {
  if (!m || !out) return -1;
  const nrvxform t = Translation(tx, ty);
  const nrvxform f1 = FlipY(h1);
  const nrvxform f2 = FlipY(h2);
  nrvxform r{};
  LONG result = comm_Matrix_Product(&r, &t, &f1);
  result |= comm_Matrix_Product(&r, &r, m);
  result |= comm_Matrix_Product(&r, &r, &f2);
  if (result == 0) *out = r;
  return result;
}

LONG _culcDeviceMatrix(const PAGEINFO* info, const nrvxform* layoutMatrix, nrvxform* out) {
  if (!info || !layoutMatrix || !out) return -1;
  return layout_culcDeviceMatrix(layoutMatrix, out, static_cast<float>(info->pagePaperLength),
                                 static_cast<float>(info->pageArea.left), static_cast<float>(info->pageArea.top),
                                 static_cast<float>(info->outSheetLength));
}

LONG _setDeviceMatrix(const PAGEINFO* info, nrvxform* out) {
  if (!info || !out) return -1;
  *out = FlipY(static_cast<float>(info->outSheetLength));
  return 0;
}

LONG _rotatePaper180(nrvxform* out, const nrvxform* in, float width, float height) {
  if (!out || !in) return -1;
  const nrvxform r = Make(-1.0f, 0.0f, 0.0f, -1.0f, width, height);
  return comm_Matrix_Product(out, in, &r);
}

LONG _rotetePaper180(const LAYOUTINFO* layout, nrvxform* out, const nrvxform* in, LONG width, LONG height) {
  if (!layout) return -1;
  return _rotatePaper180(out, in, static_cast<float>(l_dmm2dev(layout, width, LAYOUT_AXIS_X)),
                         static_cast<float>(l_dmm2dev(layout, height, LAYOUT_AXIS_Y)));
}

LONG _rotateLandToPort(nrvxform* out, const nrvxform* in, float length) {
  if (!out || !in) return -1;
  const nrvxform r = Make(0.0f, 1.0f, -1.0f, 0.0f, length, 0.0f);
  return comm_Matrix_Product(out, in, &r);
}
