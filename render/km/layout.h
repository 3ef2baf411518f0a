// Page matrices and layout transforms: the matrix type and its operations,
// the page information record built from the layout information, the
// layout pipeline of one logical page (comm_Page_Layout), the N-up cells and
// the device matrix that frames a layout matrix between the engine's device
// pixels and the printer's sheet. The pagemat_* entries that job control and
// the escapes call are in pagemat.h.
//
// Results: 0 or -1; where a step combines several operations their results
// are OR-ed, so one failure makes the whole answer -1.
//
// Decisions:
//  - Every operation computes in the engine's floating-point objects
//    (FLOATOBJ) and stores each result back as an IEEE single, so that two
//    chained operations see exactly the float the wire would carry.
//  - A length in 0.1 mm becomes pixels as value x dpi / 254, truncated
//    toward zero (l_dmm2dev), computed in double so no product overflows. A
//    resolution of 0 leaves the target as it was: the page information
//    starts zeroed, so a layout of resolution 0 has no extent and its page
//    fails with -1 instead of reaching a division.
//  - The output area's origin is the output paper record's left and top
//    (layout offsets 46 and 48) alone; offsets 50 and 52 are that record's
//    orientation and duplex flags, never subtracted from it.
//  - The fit factor of GetZoom is computed and checked at every layout (a
//    zero page or output area fails there), but it scales the page only
//    through the cell ratio: "zoom" in the N-up and print-origin steps is
//    the zoom percent with the zoom switch and 1 without it; the cell ratio
//    of GetXupRatio (1 with the zoom switch) fits the page into its cell.
//  - N-up counts above 2 with order values 0, 1 and 2 take the type of
//    order 3 (what the private gate sets for those counts).
//  - "The output is rotated" of the print-origin directions and of the
//    back-side mirroring is the turned cell: the page information's cell
//    rotation flag (layout offset 120), set when the page stands across its
//    cell (2-, 8- and 32-up portrait, 1-, 4- and 16-up landscape). The
//    landscape-output flag differs from it for 2-, 8- and 32-up, where it
//    moved a centred page out of its cell. The back side's mirroring
//    follows the same flag: it mirrors the directions of the same cell.
//  - Print-position adjustments (layout 168, 170) are signed 16-bit values;
//    both adjustment kinds (1 and 2) move the area the same way.
//  - A page whose page area, output area or N-up cell has no positive
//    extent fails with -1 (no infinite or NaN matrix is sent).
//  - _rotetePaper180 and _rotatePaper180 are one matrix, {-1, 0, 0, -1,
//    width, height}; the page matrices' name takes its sizes in 0.1 mm and
//    converts them, the booklet's takes pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/render/jobrec.h"
#include "kplatform/engine_float.h"

struct PDEV;

// The 2 x 3 matrix of six IEEE singles {m11, m12, m21, m22, dx, dy}: a point
// (x, y) maps to (x m11 + y m21 + dx, x m12 + y m22 + dy). It travels in
// band (137, 136) as these 24 bytes.
struct nrvxform {
  float m11, m12, m21, m22, dx, dy;
};
static_assert(sizeof(nrvxform) == 24 && offsetof(nrvxform, dx) == 16);

// The calculation form: the same six values as engine floating-point
// objects.
typedef FLOATOBJ_XFORM calcxform;

// Axis of a 0.1 mm length: horizontal lengths take the x resolution.
enum : LONG { LAYOUT_AXIS_X = 0, LAYOUT_AXIS_Y = 1 };

// The page information record: the layout information in pixels. The page
// group is the application's page, the output group the sheet it is printed
// on; with landscape output the page group's x and y roles are exchanged.
struct LAYOUT_RECT {
  LONG left, top, right, bottom;
};
struct PAGEINFO {
  LONG pagePaperWidth, pagePaperLength;
  LAYOUT_RECT pageArea;
  LONG outSheetWidth, outSheetLength;
  LAYOUT_RECT outArea;
  LONG rotate180Kind;    // 0-3
  LONG zoomOn;
  LONG zoomPercent;      // 25-400
  LONG landscapeOutput;
  LONG pageOrientation;  // 1 landscape
  LONG duplex;           // 0 simplex, 1 short edge, 2 long edge
  LONG nupOrder;         // 0-6
  LONG nupCount;         // 1, 2, 4, 8, 16, 32
  LONG columns, rows;
  LONG halving;          // layout offset 108
  LONG cellRotation;     // layout offset 120
  LONG bindingKind;      // 0 none, 1-4
  LONG bindingFront, bindingBack;  // 0.1 mm (converted by the edge's axis)
  LONG bindingEdgeOnly;  // set: only the bound edge moves
  LONG printOriginKind;  // 0-4
  LONG appMargin18, appMargin20, appMargin22, appMargin24;  // pixels
  LONG printPosKind;     // 0 off, 1, 2
  LONG printPosX, printPosY;  // pixels
  LONG resolutionX, resolutionY;
};

// ---- conversions -----------------------------------------------------------
void FLOATOBJ_set_dmm2device(FLOATOBJ* target, LONG value, LONG dpi);
LONG l_dmm2dev(const LAYOUTINFO* layout, LONG value, LONG axis);
DWORD f_dmm2dev(const LAYOUTINFO* layout, LONG value, LONG axis);  // float bits
DWORD layout_FLOATOBJ_GetFloat(const FLOATOBJ* f);
DWORD layout_FLOATOBJ_GetFloatLong(LONG n);
DWORD PFLOAT2FLOATLONG(float f);
void _FLOATOJB_AxB_plus_CxD(FLOATOBJ* out, const FLOATOBJ* a, const FLOATOBJ* b, const FLOATOBJ* c,
                            const FLOATOBJ* d);

// ---- matrices ----------------------------------------------------------------
LONG layout_conv_matrix_nrvxform(const calcxform* in, nrvxform* out);
LONG _conv_nrvxform_calcxform(const nrvxform* in, calcxform* out);
LONG _conv_calcxform_nrvxform(const calcxform* in, nrvxform* out);
LONG SetUnitMatrix(nrvxform* m);
LONG layout_setBaseMatrix(nrvxform* m);
LONG _nrvxform_setBaseMatrix(nrvxform* m);
// out = a x b (a applied first); out may be a or b.
LONG comm_Matrix_Product(nrvxform* out, const nrvxform* a, const nrvxform* b);
LONG layout_concatMatrix(nrvxform* out, const nrvxform* a, const nrvxform* b);
LONG CombineXform(nrvxform* out, const nrvxform* a, const calcxform* b);
// M.dx += tx m11 + ty m21, M.dy += tx m12 + ty m22 (translate first).
LONG _nrvxform_shiftMatrix(nrvxform* m, float tx, float ty);
LONG _shiftMatrix(nrvxform* m, float tx, float ty);
// Negates m21 and m22 (mirror y first).
LONG _nrvxform_upSideDownMatrix(nrvxform* m);
LONG _upSideDownMatrix(nrvxform* m);

// ---- the page information and the pipeline ---------------------------------
LONG _setPageInfoStruct(const LAYOUTINFO* layout, PAGEINFO* info);

// N-up order type (0-7) of a count, order value and cell-rotation flag.
// The order values are the page orders of DDM 264: 3 "Right, then Down",
// 4 "Down, then Right", 5 "Left, then Down", 6 "Down, then Left" (the
// private escape's N-up override writes 1 for two pages a sheet, read as 3
// and 4 are). One page a sheet: type 4. Above two: rotated 3, 4, 5, 6 give
// types 1, 0, 5, 4, unrotated 4, 5, 6, 7; values 0-2 are read as 3.
// Two pages a sheet, turned cells (a portrait page: the side reads as one
// row of two): orders 1, 3 and 4 give type 1 (page 1 on the left as read),
// the others type 5 (page 1 on the right).
// Decision: two pages a sheet with unturned cells (a landscape page: the
// side reads as one column of two) give type 5, page 1 on top, for every
// order. The layout rule's table gives type 1 there for the "left" orders
// (5, 6 and the values 0 and 2), which puts page 1 at the foot of the
// column: pages running up, which neither "Left, then Down" nor "Down, then
// Left" says (a single column has no left to start from; both run down).
LONG GetXupType(LONG count, LONG order, LONG cellRotation);
// The cell of page number (from 1) on an area of columns x rows: column and
// row by the order type, and the cell rectangle. -1 for no columns or rows,
// a page number below 1 or a type outside 0-7.
LONG GetXupCell(LONG type, LONG columns, LONG rows, LONG pageNumber, LONG* column, LONG* row);
LONG GetXupLogPageArea(const PAGEINFO* info, LONG pageNumber, LAYOUT_RECT* cell);
// Print-origin direction of a kind (0-4); rotated: the N-up cell is turned.
LONG GetDirectionToMove(LONG kind, LONG rotated, LONG* dx, LONG* dy);
// The kind mirrored for a back side.
LONG GetPrintOriginBack(LONG kind, LONG duplex, LONG rotated);
BOOL isRotate180Original(const PAGEINFO* info);
// The fit factor or zoom; -1 when an extent is not positive.
LONG GetZoom(const PAGEINFO* info, FLOATOBJ* zoom);
LONG GetXupRatio(const PAGEINFO* info, const LAYOUT_RECT* cell, LONG angle, FLOATOBJ* ratio);

// The layout matrix of page number (from 1) on side 1 (front) or 2 (back);
// cell, when given, receives the page's N-up cell with its top and bottom
// measured from the sheet length (y down).
LONG comm_Page_Layout(nrvxform* out, const PAGEINFO* info, LONG pageNumber, LONG side, LAYOUT_RECT* cell = nullptr);

// The device matrix: T(page area left, top) x FlipY(page paper length) x L x
// FlipY(output sheet length).
LONG _culcDeviceMatrix(const PAGEINFO* info, const nrvxform* layoutMatrix, nrvxform* out);
// FlipY(output sheet length) alone.
LONG _setDeviceMatrix(const PAGEINFO* info, nrvxform* out);
// T(tx, ty) x FlipY(h1) x M x FlipY(h2).
LONG layout_culcDeviceMatrix(const nrvxform* m, nrvxform* out, float h1, float tx, float ty, float h2);

// out = in x {-1, 0, 0, -1, width, height}: sizes in 0.1 mm (converted with
// the layout's resolution) and in pixels.
LONG _rotetePaper180(const LAYOUTINFO* layout, nrvxform* out, const nrvxform* in, LONG width, LONG height);
LONG _rotatePaper180(nrvxform* out, const nrvxform* in, float width, float height);
// out = in x {0, 1, -1, 0, length, 0}.
LONG _rotateLandToPort(nrvxform* out, const nrvxform* in, float length);
