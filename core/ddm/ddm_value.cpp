// Conveniences over ddm_GetValue/ddm_SetValue: typed reads and writes, the
// favourites comparison and values with availability conditions.
#include <cstring>

#include "ddm_rows.h"
#include "kestrel/core/ddm_ids.h"
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
      {DDM_DEVICENAME, DDM_FIELDS},
      {DDM_PAPERLENGTH, DDM_PAPERWIDTH},
      {DDM_DEFAULTSOURCE, DDM_RESOLUTION},
      {DDM_TTOPTION, DDM_TTOPTION},
      {DDM_FORMNAME, DDM_ICMMETHOD},
      {DDM_MEDIATYPE, DDM_DITHERTYPE},
      {DDM_PRIVATE_VERSION, DDM_PRIVATE_DRIVERVERSION},
      {DDM_FLAGWORD1, DDM_FLAGWORD2},
      {DDM_OUTPUT_TRAY, DDM_OUTPUT_TRAY},
      {DDM_MEMBER_349, DDM_MEMBER_349},
      {DDM_HEADERFONT_UNDERLINE, DDM_HEADERFONT_WIDTH},
      {DDM_FAX_TEMP_FILE, DDM_FAX_TEMP_FILE},
      {DDM_DOCPROPTYPE, DDM_DOCPROPTYPE},
      {DDM_FAVORITE_SELECTION, DDM_FAVORITE_SELECTION},
      {DDM_DOCPROPTYPE2, DDM_DOCPROPTYPE2},
      {DDM_MEMBER_1295, DDM_MEMBER_1295},
      {DDM_NONDEV_VERSION, DDM_NONDEV_VERSION},
      {DDM_NONDEV_PAPER, DDM_NONDEV_PAPER_LAST},
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

// The colour adjustments of the four objects by their place in each
// object's triple: the second (278-281) and the third (282-285).
constexpr WORD kAdjustSecondOfTriple = DDM_COLORADJUST_FIRST + DDM_COLORADJUST_OBJECTS;
constexpr WORD kAdjustThirdOfTriple = DDM_COLORADJUST_FIRST + 2 * DDM_COLORADJUST_OBJECTS;
// The packed bytes of the first three words (392-400).
constexpr WORD kPackedColourLast = DDM_PACKEDBYTES_FIRST + 3 * DDM_PACKEDBYTES_PER_WORD - 1;

// The colour-management test: unavailable unless the ICM mode is 2 or 4.
Cond TestIcmMode(void* devmode, void* printerData) {
  LONG mode = 0;
  if (!ddm_GetNumber(DDM_ICMMODE, devmode, printerData, &mode)) return Cond::Unreadable;
  return (mode == 2 || mode == 4) ? Cond::Available : Cond::Unavailable;
}

Cond CheckCondition(WORD id, void* devmode, void* printerData) {
  auto colour = [&](LONG* v) { return ddm_GetNumber(DDM_COLORMODE, devmode, printerData, v); };
  LONG v = 0;
  if (id == DDM_DEPTH8_ONLY) {
    if (!ddm_GetNumber(DDM_DEPTH, devmode, printerData, &v)) return Cond::Unreadable;
    return v != 8 ? Cond::Unavailable : Cond::Available;
  }
  if (id == DDM_COLORTOBLACK_LOW || id == DDM_COLORTOBLACK_HIGH || id == DDM_MONOOUTPUT_ONLY ||
      id == DDM_COLORTOBLACK) {
    if (!colour(&v)) return Cond::Unreadable;
    return v != 1 ? Cond::Unavailable : Cond::Available;
  }
  if (id == DDM_COLOROUTPUT_ONLY || In(id, DDM_PACKEDBYTES_FIRST, kPackedColourLast)) {
    if (!colour(&v)) return Cond::Unreadable;
    return v == 1 ? Cond::Unavailable : Cond::Available;
  }
  if (In(id, kAdjustSecondOfTriple, kAdjustThirdOfTriple - 1) || id == DDM_NIE) {
    if (!colour(&v)) return Cond::Unreadable;
    if (v == 1) return Cond::Unavailable;
    return TestIcmMode(devmode, printerData);
  }
  if (In(id, DDM_ADJUSTEDOBJECTS, kAdjustSecondOfTriple - 1) || In(id, kAdjustThirdOfTriple, DDM_GAMMA) ||
      id == DDM_ICCPROFILE1_ON || id == DDM_ICCPROFILE2_ON || id == DDM_ICCPROFILE1_NAME || id == DDM_ICCPROFILE2_NAME)
    return TestIcmMode(devmode, printerData);
  return Cond::Available;
}

const WCHAR kEmpty[1] = {0};

// Replaces the value by the item's unavailable value; false when it has none.
bool SetUnavailable(WORD id, WORD* type, DWORD* size, ULONG_PTR* value) {
  bool has = id == DDM_COLORTOBLACK || In(id, DDM_ADJUSTEDOBJECTS, DDM_GAMMA) || id == DDM_NIE ||
             In(id, DDM_PACKEDBYTES_FIRST, kPackedColourLast) || id == DDM_ICCPROFILE1_ON || id == DDM_ICCPROFILE2_ON ||
             id == DDM_DEPTH8_ONLY || id == DDM_COLORTOBLACK_LOW || id == DDM_COLORTOBLACK_HIGH ||
             id == DDM_COLOROUTPUT_ONLY || id == DDM_MONOOUTPUT_ONLY || id == DDM_ICCPROFILE1_NAME ||
             id == DDM_ICCPROFILE2_NAME;
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

BOOL ddm_IsStampDdmId(WORD ddmId) {
  return In(ddmId, DDM_STAMP_FIRST, DDM_STAMP_LAST) || In(ddmId, DDM_STAMPFLAGS_FIRST, DDM_STAMPFLAGS_LAST);
}

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
    for (WORD i = 0; i < groups[g].layoutCount; ++i) {
      WORD id = groups[g].layout[i].id;
      if (!ddm_rows::InMemberTable(id)) continue;
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
