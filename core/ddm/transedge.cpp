// Edge and position translation (see kestrel/core/transedge.h).
#include "kestrel/core/transedge.h"

#include <array>

#include "kestrel/core/ddm_ids.h"

namespace {

constexpr WORD N = TRANSEDGE_NONE;

// Turn class of a pages-per-sheet value: 1 (1, 4, 16), 2 (2, 8, 32), 0 none.
constexpr WORD TurnClass(WORD pagesPerSheet) {
  switch (pagesPerSheet) {
    case 1:
    case 4:
    case 16: return 1;
    case 2:
    case 8:
    case 32: return 2;
    default: return 0;
  }
}

// Margin edge of binding settings 1-4, per (orientation, turn class):
// setting | (1, 1) | (1, 2) | (2, 1) | (2, 2)
constexpr WORD kMarginRows[4][4] = {
    {6, 5, 5, 6},  // 1
    {8, 4, 4, 8},  // 2
    {1, 3, 3, 1},  // 3
    {2, 7, 7, 2},  // 4
};

// New row of position rows 1-8, per (orientation, turn class):
// i | (1, 1) | (1, 2) | (2, 1) | (2, 2)
constexpr WORD kPosRows[8][4] = {
    {1, 2, 2, 1},  // 1
    {3, 4, 4, 3},  // 2
    {4, 1, 1, 4},  // 3
    {2, 3, 3, 2},  // 4
    {6, 5, 5, 6},  // 5
    {5, 7, 7, 5},  // 6
    {7, 8, 8, 7},  // 7
    {8, 6, 6, 8},  // 8
};

constexpr WORD kColumnOrientation[4] = {1, 1, 2, 2};
constexpr WORD kColumnClass[4] = {1, 2, 1, 2};

using RuleTable = std::array<TRANSEDGE_RULE, 5>;

constexpr RuleTable MakeTable(const WORD (&results)[4]) {
  RuleTable t{};
  for (WORD c = 0; c < 4; ++c) t[c] = {kColumnOrientation[c], kColumnClass[c], results[c], c};
  t[4] = {0, TRANSEDGE_END, 0, 0};
  return t;
}

template <std::size_t R>
constexpr std::array<RuleTable, R> MakeTables(const WORD (&rows)[R][4]) {
  std::array<RuleTable, R> out{};
  for (std::size_t r = 0; r < R; ++r) out[r] = MakeTable(rows[r]);
  return out;
}

// Each column of the position row table is a permutation of rows 1-8, so the
// reverse search is well defined.
constexpr bool PosRowsArePermutations() {
  for (int c = 0; c < 4; ++c) {
    bool seen[9] = {};
    for (int i = 0; i < 8; ++i) {
      WORD to = kPosRows[i][c];
      if (to < 1 || to > 8 || seen[to]) return false;
      seen[to] = true;
    }
  }
  return true;
}
static_assert(PosRowsArePermutations());

// The reverse search's row descriptions: for row j (1-8) and each
// (orientation, turn class), the row i whose forward translation is j.
constexpr std::array<std::array<WORD, 4>, 8> InvertPosRows() {
  std::array<std::array<WORD, 4>, 8> inv{};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 8; ++i) inv[kPosRows[i][c] - 1][c] = static_cast<WORD>(i + 1);
  return inv;
}
constexpr auto kPosRowsInverse = InvertPosRows();
static_assert(kPosRowsInverse[1][2] == 1 && kPosRowsInverse[1][0] == 4);

constexpr WORD kInverseRows[8][4] = {
    {kPosRowsInverse[0][0], kPosRowsInverse[0][1], kPosRowsInverse[0][2], kPosRowsInverse[0][3]},
    {kPosRowsInverse[1][0], kPosRowsInverse[1][1], kPosRowsInverse[1][2], kPosRowsInverse[1][3]},
    {kPosRowsInverse[2][0], kPosRowsInverse[2][1], kPosRowsInverse[2][2], kPosRowsInverse[2][3]},
    {kPosRowsInverse[3][0], kPosRowsInverse[3][1], kPosRowsInverse[3][2], kPosRowsInverse[3][3]},
    {kPosRowsInverse[4][0], kPosRowsInverse[4][1], kPosRowsInverse[4][2], kPosRowsInverse[4][3]},
    {kPosRowsInverse[5][0], kPosRowsInverse[5][1], kPosRowsInverse[5][2], kPosRowsInverse[5][3]},
    {kPosRowsInverse[6][0], kPosRowsInverse[6][1], kPosRowsInverse[6][2], kPosRowsInverse[6][3]},
    {kPosRowsInverse[7][0], kPosRowsInverse[7][1], kPosRowsInverse[7][2], kPosRowsInverse[7][3]},
};

constexpr auto kMarginTables = MakeTables(kMarginRows);
constexpr auto kPosTables = MakeTables(kPosRows);
constexpr auto kPosInverseTables = MakeTables(kInverseRows);

// Column of a member: 320 staple 0, 341 punch 1, -1 other.
int ColumnOf(WORD memberId) { return memberId == DDM_STAPLE ? 0 : memberId == DDM_PUNCH ? 1 : -1; }

// Row whose value in the column equals the setting; -1 none. "None" entries
// never match.
int FindRow(const WORD (&table)[TRANSEDGE_ROWS][2], int column, WORD value) {
  if (value == N) return -1;
  for (int i = 0; i < TRANSEDGE_ROWS; ++i)
    if (table[i][column] == value) return i;
  return -1;
}

bool KeepsRow(int row) { return row == 0 || row >= 9; }

}  // namespace

const WORD wTblTransEdge[TRANSEDGE_ROWS][2] = {
    {0, 0},       {257, 257},   {514, 514}, {771, 771}, {1028, 1028}, {259, N},
    {260, N},     {516, N},     {515, N},   {1542, 1542}, {1799, N},  {2056, N},
};

const WORD wTblTransPos[TRANSEDGE_ROWS][2] = {
    {0, 0}, {3, 2}, {5, 3}, {7, 4}, {1, 1}, {4, N}, {2, N}, {6, N}, {8, N}, {9, 5}, {10, N}, {11, N},
};

WORD local_TransEdge_SearchTable(WORD mode, const TRANSEDGE_RULE* table, const TRANSEDGE_INPUT* input, WORD* out) {
  if (!table || !input || !out) return 1;
  WORD cls = TurnClass(input->pagesPerSheet);
  for (const TRANSEDGE_RULE* r = table; r->turnClass != TRANSEDGE_END; ++r) {
    if (r->turnClass != 1 && r->turnClass != 2) return 1;
    if (r->orientation == input->orientation && r->turnClass == cls) {
      *out = mode == 1 ? r->index : r->result;
      return 0;
    }
  }
  return 1;
}

WORD TransEdge_TranslateOtherToMargin(const TRANSEDGE_INPUT* input, WORD* out) {
  if (!input || !out || input->setting > 4) return 1;
  if (input->setting == 0) {
    *out = 0;
    return 0;
  }
  return local_TransEdge_SearchTable(2, kMarginTables[input->setting - 1].data(), input, out);
}

WORD TransEdge_TranslateOtherToPos(WORD memberId, const TRANSEDGE_INPUT* input, WORD* out) {
  int column = ColumnOf(memberId);
  if (column < 0 || !input || !out) return 1;
  int row = FindRow(wTblTransEdge, column, input->setting);
  if (row < 0) return 1;
  WORD newRow = static_cast<WORD>(row);
  if (!KeepsRow(row) && local_TransEdge_SearchTable(2, kPosTables[row - 1].data(), input, &newRow) != 0) return 1;
  WORD position = wTblTransPos[newRow][column];
  if (position == N) return 1;
  *out = position;
  return 0;
}

WORD TransEdge_TranslateMarginToEdge(WORD marginEdge, WORD* out) {
  static constexpr WORD kEdge[9] = {0, 3, 4, 3, 2, 1, 1, 4, 2};
  if (!out || marginEdge > 8) return 1;
  *out = kEdge[marginEdge];
  return 0;
}

WORD TransEdge_TranslatePosToEdge(WORD kind, const TRANSEDGE_INPUT* input, WORD* out) {
  int column = ColumnOf(kind);
  if (column < 0 || !input || !out) return 1;
  int row = FindRow(wTblTransPos, column, input->setting);
  if (row < 0) return 1;
  WORD codeRow = static_cast<WORD>(row);
  if (!KeepsRow(row) && local_TransEdge_SearchTable(2, kPosInverseTables[row - 1].data(), input, &codeRow) != 0)
    return 1;
  WORD code = wTblTransEdge[codeRow][column];
  if (code == N) return 1;
  *out = code;
  return 0;
}
