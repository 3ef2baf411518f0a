// The narrow item table, derived once from the devmode core's member layout
// (kestrel/core/ddm_layout.h): the same groups in the same order, the same ids,
// types and item order, with the narrow offsets and capacities worked out
// from the wide members' order. The rules and the fixed offsets they must
// meet are written in README.md beside this file.
#include <algorithm>
#include <array>
#include <cstddef>

#include "dm_table.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/devmode.h"
#include "kestreldm/kestreldm.h"

namespace kestreldm {
namespace {

constexpr uint32_t kAnsiDevmodeSize = 148;  // DEVMODEA without the panning members
constexpr uint32_t kNarrowDevmodeSize = KESTRELDM_DEVMODE_SIZE;
constexpr uint32_t kNarrowFontSize = KESTRELDM_LOGFONT_SIZE;
constexpr uint16_t kMaxId = 8212;
constexpr std::size_t kMaxItems = 1024;

// The ANSI DEVMODE without panning members: the two 32-character names are
// 32 bytes shorter each than in DEVMODEW; everything else keeps its order.
//   DEVMODEW  0 name(64) | 64-101 | 102 form(64) | 166-219 (220 with panning)
//   narrow    0 name(32) | 32-69  | 70 form(32)  | 102-147
uint32_t NarrowStandardOffset(uint32_t wide) {
  if (wide < offsetof(DEVMODEW, dmSpecVersion)) return wide;  // dmDeviceName
  if (wide <= offsetof(DEVMODEW, dmFormName)) return wide - 32;
  return wide - 64;
}

// Bytes a member takes in the narrow records.
uint32_t NarrowBytes(const DDM_LAYOUT& l) {
  switch (l.type) {
    case DDM_TYPE_STRING:
      // DDM_MEMBER_329 is a 49-byte member in the wide record too (at an odd
      // offset); it keeps its 49 bytes as 49 characters.
      return l.id == DDM_MEMBER_329 ? 49u : l.bytes / 2u;
    case DDM_TYPE_FONT: return kNarrowFontSize;
    case DDM_TYPE_LFLONG: return 2;  // the 16-bit LOGFONT's int fields
    case DDM_TYPE_FLAG:
      // A bit keeps its 32-bit word; a boolean that is no bit of a flag
      // word takes 16 bits.
      return l.special == DDM_SPECIAL_FLAG ? 4u : 2u;
    default: return l.bytes;
  }
}

// Offset of a LOGFONTW field within the 16-bit LOGFONT: five 16-bit ints,
// eight bytes, the 32-character face name.
uint32_t NarrowFontField(uint32_t wideDelta) {
  if (wideDelta < offsetof(LOGFONTW, lfItalic)) return wideDelta / 2;               // ints
  if (wideDelta < offsetof(LOGFONTW, lfFaceName)) return wideDelta - 10;           // bytes 20-27 -> 10-17
  return 18 + (wideDelta - offsetof(LOGFONTW, lfFaceName)) / 2;                    // face name
}

// Flag words of the printer data whose narrow place is fixed.
struct Pin {
  uint16_t id;
  uint32_t offset;
};
constexpr Pin kPrinterDataPins[] = {{4097, 6}, {4609, 1638}, {4129, 2403}};

// Offsets the library's callers rely on (devmode unless stated).
constexpr Pin kAnchors[] = {
    {1, 0},      {7, 44},     {14, 58},    {20, 58},    {21, 64},    {19, 70},    {22, 124},   {260, 184},
    {261, 188},  {1281, 184}, {1313, 188}, {392, 244},  {395, 248},  {398, 252},  {401, 256},  {304, 376},
    {306, 376},  {319, 378},  {309, 380},  {311, 380},  {310, 382},  {307, 384},  {308, 386},  {318, 393},
    {305, 394},  {357, 539},  {364, 543},  {363, 545},  {462, 920},  {1345, 920}, {4097, 6},   {4609, 1638},
    {4129, 2403},
};

struct Built {
  DmaTables tables{};
  std::array<DMA_GROUP_ROW, DDM_GROUP_COUNT + 1> groups{};
  std::array<DMA_ITEM, kMaxItems> items{};
  std::array<DMA_BITFLAG, 97> devmodeFlags{};
  std::array<DMA_BITFLAG, 65> printerFlags{};
  std::array<DMA_BITFLAG, 33> optionFlags{};
  std::array<uint32_t, kMaxId + 1> offset{};  // narrow offset by id
  std::array<bool, kMaxId + 1> placed{};
  std::array<const DDM_LAYOUT*, kMaxId + 1> wide{};
  std::array<uint16_t, kMaxId + 1> kind{};

  Built() { tables.valid = Derive(); Publish(); }

  void Place(uint16_t id, uint32_t off) {
    offset[id] = off;
    placed[id] = true;
  }

  // Members that own their bytes, of one record, in the wide order.
  std::size_t Primaries(uint16_t k, uint16_t minId, std::array<const DDM_LAYOUT*, kMaxItems>& out) const {
    std::size_t n = 0;
    for (uint16_t id = minId; id <= kMaxId && id != 0; ++id) {
      const DDM_LAYOUT* l = wide[id];
      if (!l || kind[id] != k || l->alias != 0 || (k == DDM_KIND_DEVMODE && id < DDM_PRIVATE_FIRST)) continue;
      if (n == out.size()) return 0;
      out[n++] = l;
    }
    std::stable_sort(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n),
                     [](const DDM_LAYOUT* a, const DDM_LAYOUT* b) { return a->offset < b->offset; });
    return n;
  }

  bool Derive() {
    const DDM_GROUP* g = ddm_GroupTable();
    for (int i = 0; i < DDM_GROUP_COUNT; ++i)
      for (WORD m = 0; m < g[i].layoutCount; ++m) {
        const DDM_LAYOUT& l = g[i].layout[m];
        if (l.id > kMaxId || wide[l.id]) return false;
        wide[l.id] = &l;
        kind[l.id] = g[i].kind;
      }

    std::array<const DDM_LAYOUT*, kMaxItems> order{};
    // Devmode: the standard fields by their ANSI place, the private members
    // packed from 148 in the wide order.
    for (uint16_t id = DDM_DEVICENAME; id <= DDM_DITHERTYPE; ++id)
      if (wide[id]) Place(id, NarrowStandardOffset(wide[id]->offset));
    uint32_t cursor = kAnsiDevmodeSize;
    std::size_t n = Primaries(DDM_KIND_DEVMODE, DDM_PRIVATE_FIRST, order);
    if (n == 0) return false;
    for (std::size_t i = 0; i < n; ++i) {
      Place(order[i]->id, cursor);
      cursor += NarrowBytes(*order[i]);
    }
    if (cursor != kNarrowDevmodeSize) return false;

    // Non-devmode record: packed from 0 in the wide order.
    cursor = 0;
    n = Primaries(DDM_KIND_NONDEVMODE, 1, order);
    for (std::size_t i = 0; i < n; ++i) {
      Place(order[i]->id, cursor);
      cursor += NarrowBytes(*order[i]);
    }
    tables.nonDevmodeSize = cursor;

    // Printer data: packed from 0 in the wide order, the three flag words at
    // their fixed places (the bytes before a fixed word stay unused).
    cursor = 0;
    n = Primaries(DDM_KIND_PRINTERDATA, 1, order);
    for (std::size_t i = 0; i < n; ++i) {
      for (const Pin& p : kPrinterDataPins)
        if (p.id == order[i]->id) {
          if (cursor > p.offset) return false;
          cursor = p.offset;
        }
      Place(order[i]->id, cursor);
      cursor += NarrowBytes(*order[i]);
    }
    tables.printerDataSize = cursor;

    // Members sharing another's bytes: font fields by their 16-bit LOGFONT
    // place, the rest (flags on their word, packed bytes, 298) at the same
    // distance from the member they share.
    for (uint16_t id = 1; id <= kMaxId && id != 0; ++id) {
      const DDM_LAYOUT* l = wide[id];
      if (!l || placed[id]) continue;
      const DDM_LAYOUT* target = l->alias ? wide[l->alias] : nullptr;
      if (!target || !placed[target->id]) return false;
      uint32_t delta = l->offset - target->offset;
      Place(id, offset[target->id] + (target->type == DDM_TYPE_FONT ? NarrowFontField(delta) : delta));
    }

    for (const Pin& a : kAnchors)
      if (!placed[a.id] || offset[a.id] != a.offset) return false;
    // The record sizes the public header states.
    return tables.nonDevmodeSize == KESTRELDM_NONDEVMODE_SIZE && tables.printerDataSize == KESTRELDM_PRINTERDATA_SIZE;
  }

  DMA_ITEM Item(const DDM_LAYOUT& l) const {
    DMA_ITEM it{};
    it.id = l.id;
    it.storedType = l.type;
    it.reportedType = l.reported;
    it.offset = offset[l.id];
    it.capacity = (l.type == DDM_TYPE_STRING || l.type == DDM_TYPE_FONT) ? NarrowBytes(l) : 0;
    return it;
  }

  template <std::size_t N>
  const DMA_BITFLAG* FlagTable(std::array<DMA_BITFLAG, N>& t, uint16_t first, uint16_t last) {
    std::size_t n = 0;
    for (uint16_t id = first; id <= last && n + 1 < N; ++id)
      if (wide[id] && wide[id]->special == DDM_SPECIAL_FLAG) t[n++] = {id, wide[id]->mask};
    t[n] = {0, 0};
    return t.data();
  }

  void Publish() {
    tables.groups = groups.data();
    groups[0] = {0, 0, 0, nullptr};
    if (!tables.valid) return;
    const DDM_GROUP* g = ddm_GroupTable();
    std::size_t n = 0;
    for (int i = 0; i < DDM_GROUP_COUNT; ++i) {
      const DMA_ITEM* list = &items[n];
      for (WORD m = 0; m < g[i].layoutCount; ++m) items[n++] = Item(g[i].layout[m]);
      items[n++] = DMA_ITEM{};
      groups[i] = {g[i].kind, g[i].firstId, g[i].lastId, list};
    }
    groups[DDM_GROUP_COUNT] = {0, 0, 0, nullptr};
    tables.devmodeFlags = FlagTable(devmodeFlags, DDM_DEVMODEFLAGS_FIRST, DDM_DEVMODEFLAGS_LAST);
    tables.printerFlags = FlagTable(printerFlags, DDM_OPTIONFLAGS_FIRST, DDM_OPTIONFLAGS_LAST);
    tables.optionFlags = FlagTable(optionFlags, DDM_PRINTERFLAGS_FIRST, DDM_PRINTERFLAGS_LAST);
  }
};

}  // namespace

const DmaTables& dma_Tables() {
  static const Built built;
  return built.tables;
}

}  // namespace kestreldm
