// The access core (see kestrel/core/dma_core.h). Members are read and written with
// memcpy only: many lie at offsets their type would not align (329 is a
// string at the odd offset 693).
#include "kestrel/core/dma_core.h"

#include <bit>
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/transedge.h"
#include "kplatform/byte_order.h"

static_assert(std::endian::native == std::endian::little, "records and value slots are little-endian");
static_assert(sizeof(ULONG_PTR) >= sizeof(void*), "the value slot holds an address");

namespace {

constexpr WORD kStampFontOrientation = 600;   // lfOrientation of the stamp font
constexpr WORD kHeaderFontOrientation = 828;  // lfOrientation of the header/footer font

const BYTE* RecordBase(WORD kind, const void* devmode, const void* printerData) {
  switch (kind) {
    case DDM_KIND_DEVMODE: return static_cast<const BYTE*>(devmode);
    case DDM_KIND_NONDEVMODE:
      return devmode ? static_cast<const BYTE*>(devmode) + NRV_NONDEVMODE_OFFSET : nullptr;
    default: return static_cast<const BYTE*>(printerData);
  }
}

// Characters of the string at p before its NUL, looked for within capacity
// bytes; -1 when there is none.
long BoundedLength(const BYTE* p, DWORD capacityBytes) {
  DWORD chars = capacityBytes / 2;
  for (DWORD i = 0; i < chars; ++i) {
    WCHAR c;
    std::memcpy(&c, p + 2 * i, 2);
    if (c == 0) return static_cast<long>(i);
  }
  return -1;
}

WORD ReportedType(const DDM_LAYOUT& l) { return l.reported ? l.reported : l.type; }

// Reads a scalar member as it is stored (before reported-type widening).
ULONG_PTR ReadStored(const DDM_LAYOUT& l, const BYTE* addr) {
  ULONG_PTR v = 0;
  std::memcpy(&v, addr, ddm_TypeSize(l.type));
  return v;
}

// Orientation and pages per sheet of a devmode; false when either can't be
// read.
bool ReadLayoutInputs(WORD rules, const void* devmode, WORD* orientation, WORD* pagesPerSheet) {
  WORD type;
  DWORD size;
  ULONG_PTR orientationValue = 0, pagesValue = 0;
  WORD loc = 0;
  if (dmaCore_GetValue(rules, DDM_ORIENTATION, devmode, nullptr, &type, &size, &orientationValue, &loc) != DMA_OK)
    return false;
  if (dmaCore_GetValue(rules, DDM_NUP, devmode, nullptr, &type, &size, &pagesValue, &loc) != DMA_OK) return false;
  *orientation = static_cast<WORD>(orientationValue);
  *pagesPerSheet = static_cast<WORD>(pagesValue);
  return true;
}

// The dependent member a write of `id` with `value` updates, and its value.
// Answers DMA_OK with *dependent 0 when there is none, DMA_ERR_MEMBER when
// the translation fails.
WORD DependentSetting(WORD rules, WORD id, const void* devmode, ULONG_PTR value, WORD* dependent, WORD* result) {
  *dependent = 0;
  if (id == DDM_MARGINPOSITION) {
    if (TransEdge_TranslateMarginToEdge(static_cast<WORD>(value), result) != 0) return DMA_ERR_MEMBER;
    *dependent = DDM_MARGINEDGE;
    return DMA_OK;
  }
  if (id == DDM_STAPLE || id == DDM_PUNCH) {
    TRANSEDGE_INPUT in{};
    if (!ReadLayoutInputs(rules, devmode, &in.orientation, &in.pagesPerSheet)) return DMA_ERR_MEMBER;
    in.setting = static_cast<WORD>(value);
    if (TransEdge_TranslatePosToEdge(id, &in, result) != 0) return DMA_ERR_MEMBER;
    *dependent = id == DDM_STAPLE ? DDM_STAPLEEDGE : DDM_PUNCHEDGE;
    return DMA_OK;
  }
  return DMA_OK;
}

// The type and size checks of a write: answers DMA_OK with the scalar value
// in *v (types other than string and font) and the bytes of a string with its
// NUL in *stringBytes, or the first failing check's code.
WORD CheckValue(const DDM_LAYOUT& l, WORD type, DWORD size, const void* value, ULONG_PTR* v, DWORD* stringBytes) {
  *v = 0;
  *stringBytes = 0;
  if (type != l.type && !(l.reported && type == l.reported)) return DMA_ERR_TYPE;
  if (type == DDM_TYPE_STRING) {
    long chars = BoundedLength(static_cast<const BYTE*>(value), size);
    if (chars < 0) return DMA_ERR_FIT;
    *stringBytes = static_cast<DWORD>(chars + 1) * 2;
    if (*stringBytes > l.bytes) return DMA_ERR_FIT;
  } else if (type == DDM_TYPE_FONT) {
    if (size != NRV_LOGFONT_SIZE || l.bytes != NRV_LOGFONT_SIZE) return DMA_ERR_FIT;
  } else {
    WORD typeSize = ddm_TypeSize(type);
    if (typeSize == 0) return DMA_ERR_TYPE;
    // A flag reported as stored takes 4 bytes whatever size it is given.
    if (l.special == DDM_SPECIAL_FLAG && l.reported == 0) size = 4;
    if (size != typeSize) return DMA_ERR_SIZE;
    std::memcpy(v, value, typeSize);
    // A value given in a wider reported type must fit the stored member.
    if (l.special == DDM_SPECIAL_NONE) {
      WORD stored = ddm_TypeSize(l.type);
      if (stored < sizeof(ULONG_PTR) && (*v >> (8 * stored)) != 0) {
        // Signed 16-bit values arrive sign-extended only when given wider,
        // which the type check rules out; any high bits mean it does not fit.
        return DMA_ERR_FIT;
      }
    }
  }
  return DMA_OK;
}

}  // namespace

WORD dmaCore_CheckTypeAndSize(WORD ddmId, WORD type, DWORD size, const void* value) {
  if (!value) return DMA_ERR_MEMBER;
  WORD status = 0;
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, nullptr, &status);
  if (!l) return status;
  ULONG_PTR v = 0;
  DWORD stringBytes = 0;
  return CheckValue(*l, type, size, value, &v, &stringBytes);
}

WORD dmaCore_GetValue(WORD rules, WORD ddmId, const void* devmode, const void* printerData, WORD* type, DWORD* size,
                      ULONG_PTR* value, WORD* location) {
  if (!type || !size || !value || (rules != DMA_RULES_KERNEL && !location)) return DMA_ERR_MEMBER;
  const DDM_GROUP* group = nullptr;
  WORD status = 0;
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, &group, &status);
  if (!l) return status;
  const BYTE* base = RecordBase(group->kind, devmode, printerData);
  if (!base) return DMA_ERR_MEMBER;
  const BYTE* addr = base + l->offset;

  if (ddmId == DDM_STAMPFONT_ESCAPEMENT &&
      kp_LoadU32(addr) != kp_LoadU32(static_cast<const BYTE*>(devmode) + kStampFontOrientation))
    return DMA_ERR_MEMBER;

  WORD reported = ReportedType(*l);
  ULONG_PTR v = 0;
  DWORD bytes = ddm_TypeSize(reported);
  switch (l->special) {
    case DDM_SPECIAL_RESOLUTION: {
      const BYTE* dm = static_cast<const BYTE*>(devmode);
      v = (ULONG_PTR{kp_LoadU16(dm + offsetof(DEVMODEW, dmPrintQuality))} << 16) |
          kp_LoadU16(dm + offsetof(DEVMODEW, dmYResolution));
      break;
    }
    case DDM_SPECIAL_FLAG: {
      bool set = (kp_LoadU32(addr) & l->mask) != 0;
      v = (ddmId == DDM_INVERTED_FLAG) ? !set : set;
      break;
    }
    case DDM_SPECIAL_PACKED: v = kp_LoadU32(addr) & l->mask; break;
    default:
      if (l->type == DDM_TYPE_STRING) {
        long chars = BoundedLength(addr, l->bytes);
        if (chars < 0) return DMA_ERR_MEMBER;
        bytes = static_cast<DWORD>(chars + 1) * 2;
      } else if (l->type == DDM_TYPE_FONT) {
        bytes = NRV_LOGFONT_SIZE;
      } else {
        v = ReadStored(*l, addr);
      }
      if (l->type == DDM_TYPE_STRING || l->type == DDM_TYPE_FONT) {
        if (rules == DMA_RULES_KERNEL)
          v = reinterpret_cast<ULONG_PTR>(addr);
        else
          v = l->offset;
      }
      break;
  }
  if (location) *location = group->kind;
  *type = reported;
  *size = bytes;
  *value = v;
  return DMA_OK;
}

WORD dmaCore_SetValue(WORD rules, WORD ddmId, void* devmode, void* printerData, WORD type, DWORD size,
                      const void* value) {
  if (!value) return DMA_ERR_MEMBER;
  const DDM_GROUP* group = nullptr;
  WORD status = 0;
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, &group, &status);
  if (!l) return status;
  BYTE* base = const_cast<BYTE*>(RecordBase(group->kind, devmode, printerData));
  if (!base) return DMA_ERR_MEMBER;
  BYTE* addr = base + l->offset;

  // Type and size.
  ULONG_PTR v = 0;
  DWORD stringBytes = 0;
  if (WORD r = CheckValue(*l, type, size, value, &v, &stringBytes); r != DMA_OK) return r;

  // Dependent settings are translated before anything is stored.
  WORD dependent = 0, dependentValue = 0;
  if (WORD r = DependentSetting(rules, ddmId, devmode, v, &dependent, &dependentValue); r != DMA_OK) return r;

  switch (l->special) {
    case DDM_SPECIAL_RESOLUTION: {
      BYTE* dm = static_cast<BYTE*>(devmode);
      kp_StoreU16(dm + offsetof(DEVMODEW, dmPrintQuality), static_cast<WORD>(v >> 16));
      kp_StoreU16(dm + offsetof(DEVMODEW, dmYResolution), static_cast<WORD>(v & 0xFFFF));
      break;
    }
    case DDM_SPECIAL_FLAG: {
      bool set = v != 0;
      if (ddmId == DDM_INVERTED_FLAG) set = (rules == DMA_RULES_KERNEL) ? (v % 2) == 0 : v == 0;
      DWORD word = kp_LoadU32(addr);
      kp_StoreU32(addr, set ? (word | l->mask) : (word & ~l->mask));
      break;
    }
    case DDM_SPECIAL_PACKED: {
      DWORD word = kp_LoadU32(addr);
      kp_StoreU32(addr, (word & ~l->mask) | (static_cast<DWORD>(v) & l->mask));
      break;
    }
    default:
      if (type == DDM_TYPE_STRING) {
        std::memcpy(addr, value, stringBytes);
        std::memset(addr + stringBytes, 0, l->bytes - stringBytes);
      } else if (type == DDM_TYPE_FONT) {
        std::memcpy(addr, value, NRV_LOGFONT_SIZE);
      } else {
        std::memcpy(addr, &v, ddm_TypeSize(l->type));
      }
      break;
  }

  if (ddmId == DDM_STAMPFONT_ESCAPEMENT) std::memcpy(static_cast<BYTE*>(devmode) + kStampFontOrientation, addr, 4);
  if (ddmId == DDM_HEADERFONT_ESCAPEMENT) std::memcpy(static_cast<BYTE*>(devmode) + kHeaderFontOrientation, addr, 4);

  if (dependent != 0) return dmaCore_SetValue(rules, dependent, devmode, printerData, DDM_TYPE_WORD, 2, &dependentValue);
  return DMA_OK;
}
