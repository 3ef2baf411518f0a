// The member tables of the twelve DDM id groups: for each member with a row,
// the descriptor that serves its operations (default, check, lists), the
// handlers whose rule is fixed with the member layout, and the dispatch of
// member operations to descriptors. The rows come from the layout
// (ddm/ddm_rows.h); the handlers of default setting and the setting lists
// are declared in cdm_handlers.h.
#include "../ddm/ddm_rows.h"
#include "cdm_handlers.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/kcore_sys.h"

namespace {

// A member whose acceptable values are a short fixed list; def is the
// default (0: the device description data gives it).
struct ValueList {
  DWORD def;
  DWORD values[3];
  DWORD count;
};

WORD ServeList(const ValueList& list, WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  auto allowed = [&](ULONG_PTR v) {
    for (DWORD i = 0; i < list.count; ++i)
      if (list.values[i] == v) return true;
    return false;
  };
  switch (operation) {
    case CDM_OP_DEFAULT:
      if (list.def == 0) return CDM_RESULT_DDD;
      args->value = list.def;
      return CDM_RESULT_DONE;
    case CDM_OP_CHECK: {
      WORD type;
      DWORD size;
      ULONG_PTR v = 0;
      if (dmaCore_GetValue(DMA_RULES_KERNEL, args->ddmId, args->devmode, args->printerData, &type, &size, &v,
                           nullptr) != DMA_OK)
        return CDM_RESULT_REFUSED;
      // Signed 16-bit members compare as their stored bits.
      return allowed(v) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
    }
    case CDM_OP_LISTINFO: args->count = list.count; return CDM_RESULT_DONE;
    case CDM_OP_LISTITEM:
      if (args->index >= list.count) return CDM_RESULT_REFUSED;
      args->value = list.values[args->index];
      return CDM_RESULT_DONE;
    case CDM_OP_ALLOWED: return allowed(args->value) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
    default: return CDM_RESULT_REFUSED;
  }
}

}  // namespace

// ---- Handlers -----------------------------------------------------------------
WORD cdmHandler_SpecVersion(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_SPEC_VERSION, {NRV_SPEC_VERSION}, 1};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DevmodeSize(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DEVMODE_PUBLIC_SIZE, {NRV_DEVMODE_PUBLIC_SIZE, NRV_DEVMODE_SIZE_KIND1, 212}, 3};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DriverExtra(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DEVMODE_EXTRA, {NRV_DEVMODE_EXTRA, NRV_DEVMODE_EXTRA_CREATEDC}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_DriverVersion(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {NRV_DRIVER_VERSION, {NRV_DRIVER_VERSION}, 1};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_Orientation(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {0, {1, 2}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_Color(WORD operation, CDM_MEMBER_ARGS* args) {
  static constexpr ValueList kList = {0, {1, 2}, 2};
  return ServeList(kList, operation, args);
}
WORD cdmHandler_AcceptAll(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  return operation == CDM_OP_ALLOWED ? CDM_RESULT_DONE : CDM_RESULT_DDD;
}

// ---- Dispatch -------------------------------------------------------------------
WORD cdmDispatchMember(WORD ddmId, WORD operation, CDM_MEMBER_ARGS* args) {
  const CDM_MEMBER_ENTRY* entry = cdmSerchDmDataFuncTbl(ddmId);
  if (!entry) return CDM_RESULT_NOMEMBER;
  const CDM_MEMBER_DESC* desc = entry->desc;
  if (!desc) return CDM_RESULT_DDD;
  if ((operation == CDM_OP_DEFAULT || operation == CDM_OP_CHECK) && !(desc->operations & operation))
    return CDM_RESULT_DDD;
  if (operation == CDM_OP_DEFAULT && desc->staticDefault && (desc->staticDefault->flags & 1)) {
    if (!args) return CDM_RESULT_REFUSED;
    args->value = desc->staticDefault->value;
    return CDM_RESULT_DONE;
  }
  if (!desc->handler) return CDM_RESULT_NOMEMBER;
  return desc->handler(operation, args);
}

BOOL wNTc_IsDevmodeOurs(void* devmode) {
  if (!devmode) return 0;
  static constexpr WORD kChecked[] = {DDM_SPECVERSION, DDM_SIZE, DDM_DRIVEREXTRA, DDM_PRIVATE_DRIVERVERSION};
  for (WORD id : kChecked) {
    CDM_MEMBER_ARGS args{};
    args.ddmId = id;
    args.devmode = devmode;
    if (cdmDispatchMember(id, CDM_OP_CHECK, &args) != CDM_RESULT_DONE) return 0;
  }
  return 1;
}


namespace {

using namespace ddm_rows;

// ---------------------------------------------------------------------------
// Member descriptors.
// ---------------------------------------------------------------------------
constexpr CDM_STATIC_DEFAULT kDefStructVersion = {1, DDM_TYPE_WORD, -1, NRV_STRUCT_VERSION, nullptr};
constexpr CDM_STATIC_DEFAULT kDefDocPropType = {1, DDM_TYPE_BYTE, -1, 0, nullptr};
constexpr CDM_STATIC_DEFAULT kDefPrinterDataSize = {1, DDM_TYPE_WORD, -1, NRV_PRINTERDATA_SIZE, nullptr};

constexpr CDM_MEMBER_DESC kDeviceName = {"DeviceName", nullptr, cdmHandler_DeviceName, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kSpecVersion = {"SpecVersion", nullptr, cdmHandler_SpecVersion, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDmStructVersion = {"DmStructVersion", &kDefStructVersion, nullptr, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDevmodeSize = {"DevmodeSize", nullptr, cdmHandler_DevmodeSize, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDriverExtra = {"DriverExtra", nullptr, cdmHandler_DriverExtra, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kFields = {"Fields", nullptr, cdmHandler_Fields, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kOrientation = {"Orientation", nullptr, cdmHandler_Orientation,
                                          CDM_OP_CHECK | CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kPaperSize = {"PaperSize", nullptr, nullptr, CDM_OP_LISTINFO | CDM_OP_LISTITEM};
constexpr CDM_MEMBER_DESC kPaperLength = {"PaperLength", nullptr, cdmHandler_PaperLengthWidth, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kPaperWidth = {"PaperWidth", nullptr, cdmHandler_PaperLengthWidth, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kScale = {"Scale", nullptr, cdmHandler_Scale, CDM_OP_CHECK | CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kCopies = {"Copies", nullptr, cdmHandler_CopiesList, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDefaultSource = {"DefaultSource", nullptr, cdmHandler_DefaultSource, CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kColor = {"Color", nullptr, cdmHandler_ColorDefault, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDuplex = {"Duplex", nullptr, cdmHandler_Duplex, CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kTTOption = {"TTOption", nullptr, cdmHandler_TTOption, CDM_OP_CHECK | CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kCollate = {"Collate", nullptr, cdmHandler_Collate, CDM_OP_CHECK | CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kFormName = {"FormName", nullptr, cdmHandler_FormName, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kIcmMethod = {"IcmMethod", nullptr, cdmHandler_IcmMethod, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kIcmIntent = {"IcmIntent", nullptr, cdmHandler_IcmIntent, CDM_OP_CHECK | CDM_OP_ALLOWED};
constexpr CDM_MEMBER_DESC kMediaType = {"MediaType", nullptr, cdmHandler_AcceptAll, 0};
constexpr CDM_MEMBER_DESC kDitherType = {"DitherType", nullptr, cdmHandler_AcceptAll, 0};
constexpr CDM_MEMBER_DESC kDriverVersion = {"DriverVersion", nullptr, cdmHandler_DriverVersion, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kModelName = {"ModelName", nullptr, cdmHandler_ModelName, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kStampNameList = {"StampNameList", nullptr, cdmStampNameList, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kStampFaceName = {"StampFaceName", nullptr, cdmFaceName, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kHeaderLogFont = {"HeaderLogFont", nullptr, cdmHandler_HeaderLogFont, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kHeaderFaceName = {"HeaderFaceName", nullptr, cdmHeaderFaceName, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDocPropType = {"DocPropType", &kDefDocPropType, nullptr, 0};
constexpr CDM_MEMBER_DESC kPrinterDataSize = {"PrinterDataSize", &kDefPrinterDataSize, nullptr, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDefineWidth = {"DefineWidth", nullptr, cdmHandler_DefineSize, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDefineLength = {"DefineLength", nullptr, cdmHandler_DefineSize, CDM_OP_ALL};
constexpr CDM_MEMBER_DESC kDefineName = {"DefineName", nullptr, cdmHandler_DefineName, CDM_OP_ALL};

// descriptor | members
struct DescRow {
  const CDM_MEMBER_DESC* desc;
  WORD first;
  WORD last;
};
constexpr DescRow kDescRows[] = {
    {&kDeviceName, 1, 1},
    {&kSpecVersion, 2, 2},
    {&kDmStructVersion, 3, 3},
    {&kDmStructVersion, 257, 257},
    {&kDmStructVersion, 1793, 1793},
    {&kDmStructVersion, 8204, 8204},
    {&kDevmodeSize, 4, 4},
    {&kDriverExtra, 5, 5},
    {&kFields, 6, 6},
    {&kOrientation, 7, 7},
    {&kPaperSize, 8, 8},
    {&kPaperLength, 9, 9},
    {&kPaperWidth, 10, 10},
    {&kScale, 11, 11},
    {&kCopies, 12, 12},
    {&kDefaultSource, 13, 13},
    {&kColor, 15, 15},
    {&kDuplex, 16, 16},
    {&kTTOption, 17, 17},
    {&kCollate, 18, 18},
    {&kFormName, 19, 19},
    {&kIcmMethod, 22, 22},
    {&kIcmIntent, 23, 23},
    {&kMediaType, 24, 24},
    {&kDitherType, 25, 25},
    {&kDriverVersion, 258, 258},
    {&kDriverVersion, 8203, 8203},
    {&kModelName, 259, 259},
    {&kStampNameList, 298, 298},
    {&kStampFaceName, 305, 305},
    {&kHeaderLogFont, 357, 357},
    {&kHeaderFaceName, 358, 358},
    {&kDocPropType, 439, 439},
    {&kDocPropType, 463, 463},
    {&kPrinterDataSize, 8202, 8202},
    {&kDefineWidth, 5889, 5908},
    {&kDefineLength, 5909, 5928},
    {&kDefineName, 5929, 5948},
};

constexpr const CDM_MEMBER_DESC* DescOf(WORD id) {
  for (const DescRow& d : kDescRows)
    if (id >= d.first && id <= d.last) return d.desc;
  return nullptr;
}

constexpr std::size_t CountMemberRows() {
  std::size_t n = 0;
  for (const DDM_LAYOUT& l : kLayout)
    if (InMemberTable(l.id)) n += ListedTwice(l.id) ? 2 : 1;
  return n;
}
constexpr std::size_t kMemberTotal = CountMemberRows();

// Member tables one after another, each ended by a zero row.
constexpr std::array<CDM_MEMBER_ENTRY, kMemberTotal + DDM_GROUP_COUNT> BuildMembers() {
  std::array<CDM_MEMBER_ENTRY, kMemberTotal + DDM_GROUP_COUNT> out{};
  std::size_t n = 0;
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    for (std::size_t i = kLayoutStart[g]; i < kLayoutStart[g + 1]; ++i) {
      WORD id = kLayout[i].id;
      if (!InMemberTable(id)) continue;
      out[n++] = {id, DescOf(id)};
      if (ListedTwice(id)) out[n++] = {id, DescOf(id)};
    }
    out[n++] = {0, nullptr};
  }
  return out;
}
constexpr auto kMembers = BuildMembers();

constexpr std::array<WORD, DDM_GROUP_COUNT + 1> BuildMemberStarts() {
  std::array<WORD, DDM_GROUP_COUNT + 1> starts{};
  std::size_t i = 0;
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    starts[g] = static_cast<WORD>(i);
    while (kMembers[i].ddmId != 0) ++i;
    ++i;  // the end row
  }
  starts[DDM_GROUP_COUNT] = static_cast<WORD>(i);
  return starts;
}
constexpr auto kMemberStart = BuildMemberStarts();

// The per-group counts of the member tables.
constexpr bool MemberCountsMatch() {
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    if (kMemberStart[g + 1] - kMemberStart[g] - 1 != kGroups[g].memberCount) return false;
  }
  return true;
}
static_assert(MemberCountsMatch(), "a group's member count differs from the table");
static_assert(kMemberTotal == 707, "707 member-table rows");

// Every descriptor names members of the member tables.
constexpr bool DescriptorsOnMembers() {
  for (const DescRow& d : kDescRows)
    for (DWORD id = d.first; id <= d.last; ++id)
      if (!Find(static_cast<WORD>(id)) || !InMemberTable(static_cast<WORD>(id))) return false;
  return true;
}
static_assert(DescriptorsOnMembers(), "a descriptor names an id without member-table row");

}  // namespace

const CDM_MEMBER_ENTRY* cdmSerchDmDataFuncTbl(WORD ddmId) {
  const DDM_GROUP* g = ddm_FindGroup(ddmId);
  if (!g || ddmId == 0) return nullptr;
  for (const CDM_MEMBER_ENTRY* e = &kMembers[kMemberStart[g - ddm_GroupTable()]]; e->ddmId != 0; ++e)
    if (e->ddmId == ddmId) return e;
  return nullptr;
}

BOOL local_GetCdmDmDataFuncTbl(WORD group, const CDM_MEMBER_ENTRY** table, WORD* count, WORD* kind) {
  const DDM_GROUP* groups = ddm_GroupTable();
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    if (groups[g].group != group) continue;
    if (table) *table = &kMembers[kMemberStart[g]];
    if (count) *count = static_cast<WORD>(kMemberStart[g + 1] - kMemberStart[g] - 1);
    if (kind) *kind = groups[g].kind;
    return 1;
  }
  // The end row of the group-range table: an empty member table.
  static const CDM_MEMBER_ENTRY kEnd = {0, nullptr};
  if (table) *table = &kEnd;
  if (count) *count = 0;
  if (kind) *kind = 0;
  return 0;
}
