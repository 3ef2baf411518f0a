// Conveniences over ddm_GetValue/ddm_SetValue: typed reads and writes, the
// favourites comparison and values with availability conditions.
#include <cstring>

#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"

namespace {

// The exchanged size a caller may ask for by type; a font-field number
// (type 10) is not one of them.
DWORD ExpectedSize(WORD type) { return type == DDM_TYPE_LFLONG ? 0 : ddm_NumberSize(type); }

// Value comparison by type: 1 greater, -1 smaller, 0 equal, 2 not comparable.
int CompareValues(WORD type, ULONG_PTR a, ULONG_PTR b) {
  auto cmp = [](auto x, auto y) { return x > y ? 1 : x < y ? -1 : 0; };
  switch (type) {
    case DDM_TYPE_FLAG:
    case DDM_TYPE_LONG:
    case DDM_TYPE_LFLONG: return cmp(static_cast<int32_t>(a), static_cast<int32_t>(b));
    case DDM_TYPE_SHORT: return cmp(static_cast<int16_t>(a), static_cast<int16_t>(b));
    case DDM_TYPE_WORD: return cmp(static_cast<uint16_t>(a), static_cast<uint16_t>(b));
    case DDM_TYPE_DWORD: return cmp(static_cast<uint32_t>(a), static_cast<uint32_t>(b));
    case DDM_TYPE_BYTE: return cmp(static_cast<uint8_t>(a), static_cast<uint8_t>(b));
    case DDM_TYPE_STRING: {
      const WCHAR* x = reinterpret_cast<const WCHAR*>(a);
      const WCHAR* y = reinterpret_cast<const WCHAR*>(b);
      if (!x || !y) return 2;
      while (*x && *x == *y) ++x, ++y;
      return cmp(static_cast<uint16_t>(*x), static_cast<uint16_t>(*y));
    }
    default: return 2;
  }
}

bool SkippedInComparison(WORD id) {
  static constexpr WORD kSkip[][2] = {
      {1, 6},     {9, 10},    {13, 14},   {17, 17},   {19, 22},   {24, 25},   {257, 258},
      {260, 261}, {266, 266}, {349, 349}, {365, 372}, {374, 374}, {439, 439}, {442, 442},
      {463, 463}, {1295, 1295}, {1793, 1793}, {1824, 1828},
  };
  for (const auto& r : kSkip)
    if (id >= r[0] && id <= r[1]) return true;
  return false;
}

bool EmptyString(ULONG_PTR value) {
  const WCHAR* s = reinterpret_cast<const WCHAR*>(value);
  return !s || s[0] == 0;
}

// Availability conditions.
enum class Cond { Available, Unavailable, Unreadable };

bool In(WORD id, WORD first, WORD last) { return id >= first && id <= last; }

// The colour-management test: unavailable unless the ICM mode is 2 or 4.
Cond TestIcmMode(void* devmode, void* printerData) {
  LONG mode = 0;
  if (!ddm_GetNumber(DDM_ICMMODE, devmode, printerData, &mode)) return Cond::Unreadable;
  return (mode == 2 || mode == 4) ? Cond::Available : Cond::Unavailable;
}

Cond CheckCondition(WORD id, void* devmode, void* printerData) {
  auto colour = [&](LONG* v) { return ddm_GetNumber(DDM_COLORMODE, devmode, printerData, v); };
  LONG v = 0;
  if (id == 1307) {
    if (!ddm_GetNumber(DDM_DEPTH, devmode, printerData, &v)) return Cond::Unreadable;
    return v != 8 ? Cond::Unavailable : Cond::Available;
  }
  if (id == 1308 || id == 1311 || id == 1318 || id == 454) {
    if (!colour(&v)) return Cond::Unreadable;
    return v != 1 ? Cond::Unavailable : Cond::Available;
  }
  if (id == 1317 || In(id, 392, 400)) {
    if (!colour(&v)) return Cond::Unreadable;
    return v == 1 ? Cond::Unavailable : Cond::Available;
  }
  if (In(id, 278, 281) || id == 291) {
    if (!colour(&v)) return Cond::Unreadable;
    if (v == 1) return Cond::Unavailable;
    return TestIcmMode(devmode, printerData);
  }
  if (In(id, 273, 277) || In(id, 282, 288) || id == 1303 || id == 1304 || id == 1832 || id == 1833)
    return TestIcmMode(devmode, printerData);
  return Cond::Available;
}

const WCHAR kEmpty[1] = {0};

// Replaces the value by the item's unavailable value; false when it has none.
bool SetUnavailable(WORD id, WORD* type, DWORD* size, ULONG_PTR* value) {
  bool has = id == 454 || In(id, 273, 288) || id == 291 || In(id, 392, 400) || id == 1303 || id == 1304 ||
             id == 1307 || id == 1308 || id == 1311 || id == 1317 || id == 1318 || id == 1832 || id == 1833;
  if (!has) return false;
  if (*type == DDM_TYPE_STRING) {
    *value = reinterpret_cast<ULONG_PTR>(kEmpty);
    *size = sizeof(WCHAR);
  } else {
    *value = 0;
  }
  return true;
}

}  // namespace

ULONG_PTR ctl_GetDDMValue(void* devmode, void* printerData, WORD ddmId, WORD type) {
  if (!devmode) return 0;
  if (type != DDM_TYPE_STRING && ExpectedSize(type) == 0) return 0;
  WORD gotType = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &gotType, &size, &value) != DMA_OK) return 0;
  if (type != DDM_TYPE_STRING && size != ExpectedSize(type)) return 0;
  return value;
}

LONG ctl_SetDDMValue(void* devmode, void* printerData, WORD ddmId, WORD type, DWORD size, ULONG_PTR value) {
  if (!devmode) return -1;
  const void* p = (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) ? reinterpret_cast<const void*>(value)
                                                                     : static_cast<const void*>(&value);
  return ddm_SetValue(ddmId, devmode, printerData, type, size, p);
}

BOOL ddm_IsStampDdmId(WORD ddmId) { return In(ddmId, DDM_STAMP_FIRST, DDM_STAMP_LAST) || In(ddmId, 1286, 1288); }

BOOL ddm_CompFavoriteDevmode(void* devmodeA, void* devmodeB, void* printerData) {
  WORD type;
  DWORD size;
  ULONG_PTR stampA = 0, stampB = 0;
  if (ddm_GetValue(DDM_STAMPNAME, devmodeA, printerData, &type, &size, &stampA) != DMA_OK) return 0;
  if (ddm_GetValue(DDM_STAMPNAME, devmodeB, printerData, &type, &size, &stampB) != DMA_OK) return 0;
  bool compareStamps = !EmptyString(stampA) || !EmptyString(stampB);

  const DDM_GROUP* groups = ddm_GroupTable();
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    if (groups[g].kind == DDM_KIND_PRINTERDATA) continue;
    for (const CDM_MEMBER_ENTRY* e = groups[g].members; e->ddmId != 0; ++e) {
      WORD id = static_cast<WORD>(e->ddmId);
      if (SkippedInComparison(id)) continue;
      if (ddm_IsStampDdmId(id) && !compareStamps) continue;
      const DDM_LAYOUT* l = ddm_FindLayout(id, nullptr, nullptr);
      if (!l || l->type == DDM_TYPE_FONT) continue;
      WORD typeA, typeB;
      DWORD sizeA, sizeB;
      ULONG_PTR a = 0, b = 0;
      if (ddm_GetValue(id, devmodeA, printerData, &typeA, &sizeA, &a) != DMA_OK) return 0;
      if (ddm_GetValue(id, devmodeB, printerData, &typeB, &sizeB, &b) != DMA_OK) return 0;
      if (CompareValues(typeA, a, b) != 0) return 0;
    }
  }
  return 1;
}

WORD CoreDDM_GetValue(WORD ddmId, void* devmode, void* printerData, WORD* type, DWORD* size, ULONG_PTR* value) {
  if (!type || !size || !value) return 3;
  if (ddm_GetValue(ddmId, devmode, printerData, type, size, value) != DMA_OK) return 3;
  if (ddmId == DDM_RES600OPTION) {
    LONG quality = 0;
    if (!ddm_GetNumber(DDM_PRINTQUALITY, devmode, printerData, &quality)) return 3;
    if (static_cast<int16_t>(quality) != 600) *value = 0;
    return 0;
  }
  if (ddmId == DDM_PDLVERSION) {
    LONG force = 0;
    if (!ddm_GetNumber(DDM_FORCEPDLVERSION, devmode, printerData, &force)) return 3;
    if (force == 1) *value = 0x01010702;
    return 0;
  }
  switch (CheckCondition(ddmId, devmode, printerData)) {
    case Cond::Available: return 0;
    case Cond::Unreadable: return 3;
    case Cond::Unavailable: return SetUnavailable(ddmId, type, size, value) ? 0 : 3;
  }
  return 3;
}

LONG_PTR CoreDDM_GetValueEx(void* devmode, void* printerData, WORD ddmId, DWORD unused) {
  (void)unused;
  WORD type;
  DWORD size;
  ULONG_PTR value = 0;
  if (CoreDDM_GetValue(ddmId, devmode, printerData, &type, &size, &value) != 0) return -1;
  return static_cast<LONG_PTR>(value);
}
