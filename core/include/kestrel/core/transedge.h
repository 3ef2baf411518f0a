// Binding edge, staple position and punch position: from the setting the
// user chose on the document to the edge and position of the physical sheet,
// and back. Both depend on the orientation and on whether N-up turns the
// logical pages (2, 8 or 32 pages a sheet turn them; 1, 4 or 16 do not).
//
// Results: 0 success, 1 refused (missing argument, setting out of range, no
// rule for the orientation and pages per sheet, unknown code or position).
//
// Decisions:
//  - The reverse position search (TransEdge_TranslatePosToEdge) uses, for
//    rows 1 to 8, the inverse of the row table of the forward search: for
//    orientation o and turn class c it answers the row i whose forward
//    translation under (o, c) is the given row. So a staple or punch code
//    taken to a position and back gives the code again.
//  - "None" entries (0xFFFF) of the punch columns are never matched: a punch
//    setting or position of 0xFFFF is refused, and a row without a punch
//    code or position refuses the punch translation.
#pragma once

#include "kplatform/wintypes.h"

// Four 16-bit words: orientation (1 portrait, 2 landscape), pages per sheet,
// a word not used, the setting (or position) to translate.
struct TRANSEDGE_INPUT {
  WORD orientation;
  WORD pagesPerSheet;
  WORD reserved;
  WORD setting;
};
static_assert(sizeof(TRANSEDGE_INPUT) == 8);

// A rule row: {orientation, turn class, result, index}; turn class 99 ends
// a table.
struct TRANSEDGE_RULE {
  WORD orientation;
  WORD turnClass;
  WORD result;
  WORD index;
};
#define TRANSEDGE_END 99
#define TRANSEDGE_NONE 0xFFFFu
#define TRANSEDGE_ROWS 12

// The edge codes and positions per row, column 0 staple, column 1 punch.
extern const WORD wTblTransEdge[TRANSEDGE_ROWS][2];
extern const WORD wTblTransPos[TRANSEDGE_ROWS][2];

// mode 2 answers the result column of the first matching row, mode 1 its
// index column. 1 when no row matches, the table is empty, a row's turn
// class is neither 1 nor 2, or an argument is missing.
WORD local_TransEdge_SearchTable(WORD mode, const TRANSEDGE_RULE* table, const TRANSEDGE_INPUT* input, WORD* out);

// Binding-edge setting (0-4) to the margin edge (0-8).
WORD TransEdge_TranslateOtherToMargin(const TRANSEDGE_INPUT* input, WORD* out);
// Staple (memberId 320) or punch (341) edge code to the device position.
WORD TransEdge_TranslateOtherToPos(WORD memberId, const TRANSEDGE_INPUT* input, WORD* out);

// Margin edge (0-8) back to the binding-edge setting: 0 -> 0; 1, 3 -> 3;
// 2, 7 -> 4; 4, 8 -> 2; 5, 6 -> 1; anything else refused.
WORD TransEdge_TranslateMarginToEdge(WORD marginEdge, WORD* out);
// Device position (input->setting) of the staple (kind 320) or punch (341)
// back to its edge code, under input's orientation and pages per sheet.
WORD TransEdge_TranslatePosToEdge(WORD kind, const TRANSEDGE_INPUT* input, WORD* out);
