// The layout tables handed out: the twelve DDM id groups in lookup order,
// each with its layout rows (expanded from ddm_rows.h), the lookups over
// them, and the compile-time checks of the rows. The member tables with their
// descriptors belong to the devmode floor (devmode/cdm_members.cpp).
#include "ddm_rows.h"

namespace {

using namespace ddm_rows;

// ---------------------------------------------------------------------------
// Checks.
// ---------------------------------------------------------------------------

// Each run's printed last offset equals first + count x width - 1.
constexpr bool RunsAddUp() {
  for (const Row& r : kRows) {
    if (r.lastId < r.firstId) return false;
    DWORD count = r.lastId - r.firstId + 1u;
    DWORD last = r.special == DDM_SPECIAL_PACKED ? r.firstOff + (count / 3) * 4 - 1
                 : r.special == DDM_SPECIAL_FLAG  ? r.firstOff + 3
                                                  : r.firstOff + (count - 1) * r.stride + r.bytes - 1;
    if (r.printed && last != r.lastOff) return false;
    if (r.special == DDM_SPECIAL_PACKED && count % 3) return false;
  }
  return true;
}
static_assert(RunsAddUp(), "a run's last offset is not first + count x width - 1");

// Every id lies in a group range and appears once.
constexpr bool IdsInGroupsAndUnique() {
  for (std::size_t i = 0; i < kLayout.size(); ++i) {
    if (GroupIndexOf(kLayout[i].id) < 0) return false;
    if (i && SortKey(GroupIndexOf(kLayout[i].id), kLayout[i].id) ==
                 SortKey(GroupIndexOf(kLayout[i - 1].id), kLayout[i - 1].id))
      return false;
  }
  return true;
}
static_assert(IdsInGroupsAndUnique(), "an id outside every group, or listed twice in the layout");


// Every member inside its record.
constexpr bool MembersInsideRecords() {
  for (const DDM_LAYOUT& l : kLayout) {
    WORD kind = kGroups[GroupIndexOf(l.id)].kind;
    DWORD end = DWORD(l.offset) + (l.special == DDM_SPECIAL_RESOLUTION ? 2u : l.bytes);
    if (l.bytes == 0 || end > RecordSize(kind)) return false;
    if (l.special == DDM_SPECIAL_RESOLUTION && 96u + 2u > RecordSize(kind)) return false;
  }
  return true;
}
static_assert(MembersInsideRecords(), "a member lies outside its record");

// No two members of one record share a byte unless one is declared the
// other's alias, or both are aliases of the same member. Members are sorted
// by record and offset, and each is compared with those that start inside it.
struct Extent {
  DWORD start;  // kind << 16 | offset
  DWORD end;
  WORD id;
  WORD alias;
};
constexpr bool NoOverlaps() {
  std::array<Extent, kLayoutTotal> e{};
  for (std::size_t i = 0; i < kLayout.size(); ++i) {
    const DDM_LAYOUT& l = kLayout[i];
    DWORD start = (DWORD(KindOf(l.id)) << 16) | l.offset;
    e[i] = {start, start + l.bytes, l.id, l.alias};
  }
  std::sort(e.begin(), e.end(), [](const Extent& a, const Extent& b) { return a.start < b.start; });
  for (std::size_t i = 0; i < e.size(); ++i)
    for (std::size_t j = i + 1; j < e.size() && e[j].start < e[i].end; ++j) {
      const Extent& a = e[i];
      const Extent& b = e[j];
      bool declared = a.alias == b.id || b.alias == a.id || (a.alias != 0 && a.alias == b.alias);
      if (!declared) return false;
    }
  return true;
}
static_assert(NoOverlaps(), "two members overlap without a declared alias");

// Aliases lie within the member they name.
constexpr bool AliasesInside() {
  for (const DDM_LAYOUT& l : kLayout) {
    if (!l.alias) continue;
    const DDM_LAYOUT* target = Find(l.alias);
    if (!target) {
      // flag words of the printer-data record have no member of their own
      if (l.special != DDM_SPECIAL_FLAG) return false;
      continue;
    }
    if (KindOf(target->id) != KindOf(l.id)) return false;
    if (l.offset < target->offset || l.offset + l.bytes > target->offset + target->bytes) return false;
  }
  return true;
}
static_assert(AliasesInside(), "an alias lies outside the member it names");



// The per-group counts of the layout table.
constexpr bool LayoutCountsMatch() {
  for (int g = 0; g < DDM_GROUP_COUNT; ++g)
    if (kLayoutStart[g + 1] - kLayoutStart[g] != kGroups[g].layoutCount) return false;
  return true;
}
static_assert(LayoutCountsMatch(), "a group's layout count differs from the table");
static_assert(kLayoutTotal == 816, "816 layout rows");

// Every id the code names has a layout row.
#define KESTREL_DDM_ID_HAS_ROW(name, id) static_assert(Find(name) != nullptr, #name " has no layout row");
KESTREL_DDM_IDS(KESTREL_DDM_ID_HAS_ROW)
#undef KESTREL_DDM_ID_HAS_ROW

// A few anchors the rest of the system relies on.
static_assert(Find(1284)->offset == 288 && Find(1284)->mask == 0x8);
static_assert(Find(1345)->offset == 1516 && Find(1345)->mask == 0x1);
static_assert(Find(1865)->offset == 3820 && Find(329)->offset == 693);
static_assert(Find(6401 + 9)->offset == 2484 + 450 && Find(5929 + 19)->offset == 3156 + 68 * 9 + 4);
static_assert(Find(6280 + 14)->offset == 4574 + 140 + 8);

// ---------------------------------------------------------------------------
// The group table handed out.
// ---------------------------------------------------------------------------
constexpr std::array<DDM_GROUP, DDM_GROUP_COUNT> BuildGroups() {
  std::array<DDM_GROUP, DDM_GROUP_COUNT> out{};
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    out[g].group = kGroups[g].group;
    out[g].kind = kGroups[g].kind;
    out[g].firstId = kGroups[g].firstId;
    out[g].lastId = kGroups[g].lastId;
    out[g].layout = &kLayout[kLayoutStart[g]];
    out[g].layoutCount = static_cast<WORD>(kLayoutStart[g + 1] - kLayoutStart[g]);
  }
  return out;
}
constexpr auto kGroupTable = BuildGroups();

}  // namespace

const DDM_GROUP* ddm_GroupTable(void) { return kGroupTable.data(); }

const DDM_GROUP* ddm_FindGroup(WORD ddmId) {
  for (const DDM_GROUP& g : kGroupTable)
    if (ddmId >= g.firstId && ddmId <= g.lastId) return &g;
  return nullptr;
}

const DDM_LAYOUT* ddm_FindLayout(WORD ddmId, const DDM_GROUP** group, WORD* status) {
  const DDM_GROUP* g = ddm_FindGroup(ddmId);
  if (group) *group = g;
  if (!g) {
    if (status) *status = 1;
    return nullptr;
  }
  for (WORD i = 0; i < g->layoutCount; ++i)
    if (g->layout[i].id == ddmId) {
      if (status) *status = 0;
      return &g->layout[i];
    }
  if (status) *status = 16;
  return nullptr;
}

DWORD ddm_RecordSize(WORD kind) { return RecordSize(kind); }

BOOL dmGetDevmodeTableKind(WORD tableIndex, WORD* kind) {
  if (tableIndex >= DDM_GROUP_COUNT) return 0;
  if (kind) *kind = kGroupTable[tableIndex].kind;
  return 1;
}

WORD dmGetDevmodeDdmID(WORD tableIndex, WORD memberIndex) {
  if (tableIndex >= DDM_GROUP_COUNT) return 0;
  const DDM_GROUP& g = kGroupTable[tableIndex];
  return memberIndex < g.layoutCount ? g.layout[memberIndex].id : 0;
}

WORD dmGetDevmodeTableCount(WORD tableIndex) {
  return tableIndex < DDM_GROUP_COUNT ? kGroupTable[tableIndex].layoutCount : 0;
}
