// kestreldm's lookup, checks and the three exports (see
// include/kestreldm/kestreldm.h). Records are byte-packed: every member is
// read and written with memcpy. Nothing is allocated and nothing is logged.
#include <bit>
#include <cstring>

#include "dm_table.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/transedge.h"
#include "kplatform/byte_order.h"
#include "kestreldm/kestreldm.h"

static_assert(std::endian::native == std::endian::little, "records and values are little-endian");

namespace kestreldm {
namespace {

constexpr uint32_t kNonDevmodeOffset = KESTRELDM_NONDEVMODE_OFFSET;
constexpr uint32_t kPrintQualityOffset = 58;  // dmPrintQuality of the ANSI DEVMODE
constexpr uint32_t kYResolutionOffset = 64;   // dmYResolution

bool InRange(uint16_t id, uint16_t low, uint16_t high) { return id >= low && id <= high; }

bool IsPackedId(uint16_t id) { return InRange(id, DDM_PACKEDBYTES_FIRST, DDM_PACKEDBYTES_LAST); }
// Packed bytes: low, second or third byte of the word, in place.
uint32_t PackedMask(uint16_t id) {
  return 0xFFu << (8 * ((id - DDM_PACKEDBYTES_FIRST) % DDM_PACKEDBYTES_PER_WORD));
}

bool IsBitFlagItem(const DMA_ITEM& item) { return item.storedType == kTypeFlag && dma_IsBitFlagId(item.id); }

uint16_t Reported(const DMA_ITEM& item) { return item.reportedType ? item.reportedType : item.storedType; }

// Length of the string at p, looked for within limit bytes; -1 when no NUL
// lies within them.
long BoundedLength(const void* p, uint32_t limit) {
  const void* nul = std::memchr(p, 0, limit);
  return nul ? static_cast<const uint8_t*>(nul) - static_cast<const uint8_t*>(p) : -1;
}

// The devmode address of an item of the devmode (null when it has none).
uint8_t* DevmodeItem(const void* devmode, uint16_t id) {
  DMA_INFO info{};
  if (dma_GetInfo(id, devmode, nullptr, &info) != KESTRELDM_OK || info.kind != KESTRELDM_KIND_DEVMODE) return nullptr;
  return info.address;
}

// Orientation and pages per sheet of a devmode.
bool LayoutInputs(const void* devmode, TRANSEDGE_INPUT* in) {
  uint16_t type = 0, size = 0, kind = 0;
  uint32_t orientation = 0, pages = 0;
  if (dma_GetValue(DDM_ORIENTATION, devmode, nullptr, &type, &size, &orientation, &kind) != KESTRELDM_OK) return false;
  if (dma_GetValue(DDM_NUP, devmode, nullptr, &type, &size, &pages, &kind) != KESTRELDM_OK) return false;
  in->orientation = static_cast<WORD>(orientation);
  in->pagesPerSheet = static_cast<WORD>(pages);
  return true;
}

// The member a set of `id` derives and its value: the margin edge from the
// margin position; the staple and punch edges from their positions under the
// orientation and pages per sheet. *derived is 0 when the id derives nothing; 16 when
// the translation refuses the value.
uint16_t Derive(uint16_t id, const void* devmode, uint32_t value, uint16_t* derived, uint16_t* result) {
  *derived = 0;
  WORD out = 0;
  if (id == DDM_MARGINPOSITION) {
    if (TransEdge_TranslateMarginToEdge(static_cast<WORD>(value), &out) != 0) return KESTRELDM_ERR_NOTFOUND;
    *derived = DDM_MARGINEDGE;
  } else if (id == DDM_STAPLE || id == DDM_PUNCH) {
    TRANSEDGE_INPUT in{};
    if (!LayoutInputs(devmode, &in)) return KESTRELDM_ERR_NOTFOUND;
    in.setting = static_cast<WORD>(value);
    if (TransEdge_TranslatePosToEdge(id, &in, &out) != 0) return KESTRELDM_ERR_NOTFOUND;
    *derived = id == DDM_STAPLE ? DDM_STAPLEEDGE : DDM_PUNCHEDGE;
  }
  *result = out;
  return KESTRELDM_OK;
}

// Set steps 1-4 (lookup, checks, the stored bytes, the coupled members).
// With `derive`, the member that the id derives is translated before
// anything is stored and set afterwards; that set never derives again.
uint16_t Set(uint16_t id, void* devmode, void* printerData, uint16_t type, uint16_t size, const void* value,
             bool derive) {
  if (!value) return KESTRELDM_ERR_NOTFOUND;
  DMA_INFO info{};
  if (uint16_t st = dma_GetInfo(id, devmode, printerData, &info); st != KESTRELDM_OK) return st;
  const DMA_ITEM& item = *info.item;
  const bool flag = IsBitFlagItem(item);
  if (flag && item.reportedType == 0) size = 4;
  if (uint16_t st = dma_CheckTypeAndSize(item, type, size, value); st != KESTRELDM_OK) return st;

  uint8_t* addr = info.address;
  if (type == kTypeString) {
    const uint32_t length = static_cast<uint32_t>(BoundedLength(value, item.capacity < size ? item.capacity : size));
    std::memcpy(addr, value, length + 1);
    std::memset(addr + length + 1, 0, item.capacity - length - 1);
    return KESTRELDM_OK;
  }
  if (type == kTypeFont) {
    std::memcpy(addr, value, KESTRELDM_LOGFONT_SIZE);
    return KESTRELDM_OK;
  }

  uint32_t v = 0;
  // A flag decides by the value's low byte, and only that byte is read: a
  // flag that reports no type of its own takes any size given as 4, and the
  // caller's buffer may hold less. Any other value is the given type's size,
  // 1 to 4 bytes.
  std::memcpy(&v, value, flag ? 1 : size);
  const uint16_t storedSize = dma_GetDataSize(item.storedType, id);
  const bool plain = !flag && !IsPackedId(id) && id != DDM_RESOLUTION;
  // A value given in a wider reported type must fit the stored bytes.
  if (plain && storedSize < size && (v >> (8 * storedSize)) != 0) return KESTRELDM_ERR_FIT;

  uint16_t derived = 0, derivedValue = 0;
  if (derive) {
    if (uint16_t st = Derive(id, devmode, v, &derived, &derivedValue); st != KESTRELDM_OK) return st;
  }

  if (id == DDM_RESOLUTION) {
    uint8_t* dm = static_cast<uint8_t*>(devmode);
    kp_StoreU16(dm + kPrintQualityOffset, static_cast<uint16_t>(v >> 16));
    kp_StoreU16(dm + kYResolutionOffset, static_cast<uint16_t>(v & 0xFFFF));
  } else if (IsPackedId(id)) {
    const uint32_t mask = PackedMask(id);
    kp_StoreU32(addr, (kp_LoadU32(addr) & ~mask) | (v & mask));
  } else if (flag) {
    const uint32_t mask = dma_GetBitFlagMask(id);
    bool on = v != 0;
    if (id == DDM_INVERTED_FLAG) on = !on;
    const uint32_t word = kp_LoadU32(addr);
    kp_StoreU32(addr, on ? (word | mask) : (word & ~mask));
  } else {
    std::memcpy(addr, &v, storedSize);
  }

  // The second copies of the two fonts' escapement: lfOrientation.
  if (id == DDM_STAMPFONT_ESCAPEMENT || id == DDM_HEADERFONT_ESCAPEMENT) {
    const uint16_t orientation =
        id == DDM_STAMPFONT_ESCAPEMENT ? DDM_STAMPFONT_ORIENTATION : DDM_HEADERFONT_ORIENTATION;
    if (uint8_t* mirror = DevmodeItem(devmode, orientation)) std::memcpy(mirror, addr, 2);
  }

  if (derived != 0) return Set(derived, devmode, printerData, kTypeWord, 2, &derivedValue, false);
  return KESTRELDM_OK;
}

}  // namespace

uint16_t dma_GetDataSize(uint16_t type, uint16_t ddmId) {
  switch (type) {
    case kTypeFlag: return dma_IsBitFlagId(ddmId) ? 4 : 2;
    case kTypeShort:
    case kTypeWord:
    case kTypeFontMember: return 2;
    case kTypeLong:
    case kTypeDword:
    case kTypeString:
    case kTypeFont: return 4;
    case kTypeByte: return 1;
    default: return 0;  // 7 and anything else
  }
}

bool dma_IsBitFlagId(uint16_t ddmId) {
  return InRange(ddmId, DDM_DEVMODEFLAGS_FIRST, DDM_DEVMODEFLAGS_LAST) ||
         InRange(ddmId, DDM_OPTIONFLAGS_FIRST, DDM_OPTIONFLAGS_LAST) ||
         InRange(ddmId, DDM_PRINTERFLAGS_FIRST, DDM_PRINTERFLAGS_LAST);
}

uint32_t dma_GetBitFlagMask(uint16_t ddmId) {
  const DmaTables& t = dma_Tables();
  const DMA_BITFLAG* table = InRange(ddmId, DDM_DEVMODEFLAGS_FIRST, DDM_DEVMODEFLAGS_LAST)     ? t.devmodeFlags
                             : InRange(ddmId, DDM_OPTIONFLAGS_FIRST, DDM_OPTIONFLAGS_LAST)   ? t.printerFlags
                             : InRange(ddmId, DDM_PRINTERFLAGS_FIRST, DDM_PRINTERFLAGS_LAST) ? t.optionFlags
                                                                                             : nullptr;
  for (const DMA_BITFLAG* r = table; r && r->id != 0; ++r)
    if (r->id == ddmId) return r->mask;
  return 0;
}

uint16_t dma_GetInfo(uint16_t ddmId, const void* devmode, const void* printerData, DMA_INFO* info) {
  const DMA_GROUP_ROW* group = dma_Tables().groups;
  while (group->items && !InRange(ddmId, group->lowId, group->highId)) ++group;
  if (!group->items) return KESTRELDM_ERR_NOGROUP;
  const DMA_ITEM* item = group->items;
  while (item->id != 0 && item->id != ddmId) ++item;
  if (item->id == 0) return KESTRELDM_ERR_NOTFOUND;

  const uint8_t* base = group->kind == KESTRELDM_KIND_DEVMODE ? static_cast<const uint8_t*>(devmode)
                        : group->kind == KESTRELDM_KIND_NONDEVMODE
                            ? (devmode ? static_cast<const uint8_t*>(devmode) + kNonDevmodeOffset : nullptr)
                            : static_cast<const uint8_t*>(printerData);
  if (!base || dma_GetDataSize(item->storedType, ddmId) == 0) return KESTRELDM_ERR_NOTFOUND;
  if (IsBitFlagItem(*item) && dma_GetBitFlagMask(ddmId) == 0) return KESTRELDM_ERR_NOTFOUND;
  info->item = item;
  info->kind = group->kind;
  info->address = const_cast<uint8_t*>(base) + item->offset;
  return KESTRELDM_OK;
}

uint16_t dma_CheckTypeAndSize(const DMA_ITEM& item, uint16_t type, uint16_t size, const void* value) {
  if (type != item.storedType) {
    if (item.reportedType == 0 || type != item.reportedType) return KESTRELDM_ERR_TYPE;
    if (dma_GetDataSize(item.reportedType, item.id) == 0) return KESTRELDM_ERR_NOTFOUND;
  }
  if (type == kTypeString) {
    if (!value) return KESTRELDM_ERR_NOTFOUND;
    // The string and its NUL must fit the item and the caller's buffer; the
    // caller's bytes are never read past the size given.
    const uint32_t limit = item.capacity < size ? item.capacity : size;
    if (BoundedLength(value, limit) < 0) return KESTRELDM_ERR_FIT;
    return KESTRELDM_OK;
  }
  if (type == kTypeFont) {
    if (!value) return KESTRELDM_ERR_NOTFOUND;
    return size < item.capacity ? KESTRELDM_ERR_FIT : KESTRELDM_OK;
  }
  return size == dma_GetDataSize(type, item.id) ? KESTRELDM_OK : KESTRELDM_ERR_SIZE;
}

}  // namespace kestreldm

using namespace kestreldm;

#define KESTRELDM_EXPORT extern "C" __attribute__((visibility("default")))

KESTRELDM_EXPORT uint16_t dma_GetValue(uint16_t ddmId, const void* devmode, const void* printerData, uint16_t* type,
                                       uint16_t* size, void* value, uint16_t* kind) {
  if (!type || !size || !value) return KESTRELDM_ERR_NOTFOUND;
  DMA_INFO info{};
  if (uint16_t st = dma_GetInfo(ddmId, devmode, printerData, &info); st != KESTRELDM_OK) return st;
  const DMA_ITEM& item = *info.item;
  const uint8_t* addr = info.address;

  // The stamp font's escapement is answered only while it and its second
  // copy (lfOrientation, the next 16-bit word) agree.
  if (ddmId == DDM_STAMPFONT_ESCAPEMENT) {
    const uint8_t* mirror = DevmodeItem(devmode, DDM_STAMPFONT_ORIENTATION);
    if (!mirror || kp_LoadU16(addr) != kp_LoadU16(mirror)) return KESTRELDM_ERR_NOTFOUND;
  }

  const uint16_t reported = Reported(item);
  const uint16_t reportedSize = dma_GetDataSize(reported, ddmId);
  if (reportedSize == 0) return KESTRELDM_ERR_NOTFOUND;
  uint32_t v = 0;
  uint16_t sizeOut = reportedSize;
  if (ddmId == DDM_RESOLUTION) {
    // dmPrintQuality in the high, dmYResolution in the low 16 bits.
    const uint8_t* dm = static_cast<const uint8_t*>(devmode);
    v = (uint32_t{kp_LoadU16(dm + kPrintQualityOffset)} << 16) | kp_LoadU16(dm + kYResolutionOffset);
  } else if (IsPackedId(ddmId)) {
    v = kp_LoadU32(addr) & PackedMask(ddmId);
  } else if (IsBitFlagItem(item)) {
    const bool set = (kp_LoadU32(addr) & dma_GetBitFlagMask(ddmId)) != 0;
    v = ddmId == DDM_INVERTED_FLAG ? !set : set;
  } else if (item.storedType == kTypeString) {
    const long length = BoundedLength(addr, item.capacity);
    if (length < 0) return KESTRELDM_ERR_NOTFOUND;  // never read past the item
    v = item.offset;
    sizeOut = static_cast<uint16_t>(length + 1);
  } else if (item.storedType == kTypeFont) {
    v = item.offset;
    sizeOut = KESTRELDM_LOGFONT_SIZE;
  } else {
    const uint16_t stored = dma_GetDataSize(item.storedType, ddmId);
    std::memcpy(&v, addr, stored < reportedSize ? stored : reportedSize);
  }
  std::memcpy(value, &v, reportedSize);  // 1 to 4 bytes, v zero-extended
  *type = reported;
  *size = sizeOut;
  if (kind) *kind = info.kind;
  return KESTRELDM_OK;
}

KESTRELDM_EXPORT uint16_t dma_SetValue(uint16_t ddmId, void* devmode, void* printerData, uint16_t type, uint16_t size,
                                       const void* value) {
  return Set(ddmId, devmode, printerData, type, size, value, true);
}

KESTRELDM_EXPORT uint32_t DMA_QueryStructSize(uint32_t kind) {
  switch (kind) {
    case 2: return 162;
    case 3: return 353;
    case 4: return 18;
    case 5: return 378;
    case 6: return 722;
    default: return 0;
  }
}
