// Devmode values by DDM id: writing, the value helpers, the derived members,
// the skip array and the all-settings constraint sweep. What differs between
// the builds is in core/um/cdm_values_um.cpp and core/km/cdm_values_km.cpp.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"

#include "cdm_values_modes.h"

using namespace cdm_values_modes;

namespace {

LONG Sign(long long a, long long b) { return a > b ? 1 : (a < b ? -1 : 0); }

template <typename T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

// Writes a number in the member's own reported type through cdm_SetValue
// (not ddm_SetNumber: the value goes in with the member checks of
// cdm_SetValue and its answer of 1 for success).
bool WriteNum(WORD ddmId, void* devmode, void* printerData, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR old = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &old) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return false;
  ULONG_PTR slot = static_cast<ULONG_PTR>(static_cast<DWORD>(value));
  return cdm_SetValue(ddmId, devmode, printerData, static_cast<DWORD>(-1), type, &slot) == 1;
}

bool SetFieldBits(void* devmode, DWORD bits, bool on) {
  LONG fields = 0;
  if (!ddm_GetNumber(DDM_FIELDS, devmode, nullptr, &fields)) return false;
  DWORD f = static_cast<DWORD>(fields);
  f = on ? (f | bits) : (f & ~bits);
  return WriteNum(DDM_FIELDS, devmode, nullptr, static_cast<LONG>(f));
}

constexpr DWORD kStampColours[7][3] = {{255, 51, 0},   {255, 153, 51}, {255, 204, 0}, {99, 137, 101},
                                       {51, 102, 204}, {141, 81, 147}, {0, 0, 0}};

std::atomic<const CDM_SWEEP_OPS*> g_sweepOps{nullptr};

}  // namespace

// ---- Writing and the value helpers ------------------------------------------
BOOL cdm_SetValue(WORD ddmId, void* devmode, void* printerData, DWORD size, WORD type, const ULONG_PTR* slot) {
  if (!slot) return 0;
  if (size == static_cast<DWORD>(-1)) size = cdmSetParamSize(slot, type, static_cast<DWORD>(-1));
  const void* value = slot;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
    value = reinterpret_cast<const void*>(*slot);
    if (!value) return 0;
  }
  return ddm_SetValue(ddmId, devmode, printerData, type, size, value) == 0 ? 1 : 0;
}

DWORD cdmSetParamSize(const ULONG_PTR* slot, WORD type, DWORD size) {
  switch (type) {
    case 1:
    case 4:
    case 5:
    case 10: return 4;
    case 2:
    case 3: return 2;
    case 8: return 1;
    case 9: return NRV_LOGFONT_SIZE;
    case 6:
      if (size != static_cast<DWORD>(-1)) return size;
      if (!slot || !*slot) return 0;
      return kp_WideLength(reinterpret_cast<LPCWSTR>(*slot)) * 2 + 2;
    default: return type;
  }
}

BOOL cdmSetData(WORD type, ULONG_PTR* destination, const void* source) {
  if (!destination || !source || type < 1 || type > 10) return 0;
  *destination = 0;
  switch (type) {
    case 1:
    case 4:
    case 5:
    case 10: std::memcpy(destination, source, 4); break;
    case 2:
    case 3: std::memcpy(destination, source, 2); break;
    case 8: std::memcpy(destination, source, 1); break;
    default: break;  // 6 stays cleared; 7 and 9 carry nothing here
  }
  return 1;
}

LONG cdmCompareB(const void* a, const void* b) {
  if (!a || !b) return 2;
  return Sign(Load<int32_t>(a), Load<int32_t>(b));
}
LONG cdmCompareS(const void* a, const void* b) {
  if (!a || !b) return 2;
  return Sign(Load<int16_t>(a), Load<int16_t>(b));
}
LONG cdmCompareUS(const void* a, const void* b) {
  if (!a || !b) return 2;
  return Sign(Load<uint16_t>(a), Load<uint16_t>(b));
}
LONG cdmCompareUL(const void* a, const void* b) {
  if (!a || !b) return 2;
  return Sign(Load<uint32_t>(a), Load<uint32_t>(b));
}
LONG cdmCompareC(const void* a, const void* b) {
  if (!a || !b) return 2;
  return Sign(Load<uint8_t>(a), Load<uint8_t>(b));
}
LONG cdmCompareStr(const void* a, const void* b) {
  if (!a || !b) return 2;
  auto s1 = reinterpret_cast<LPCWSTR>(Load<ULONG_PTR>(a));
  auto s2 = reinterpret_cast<LPCWSTR>(Load<ULONG_PTR>(b));
  if (!s1 || !s2) return 2;
  DWORD i = 0;
  while (s1[i] && s1[i] == s2[i]) ++i;
  return Sign(static_cast<uint16_t>(s1[i]), static_cast<uint16_t>(s2[i]));
}
LONG cdmCompare(WORD type, const void* a, const void* b) {
  switch (type) {
    case 1:
    case 4:
    case 10: return cdmCompareB(a, b);
    case 2: return cdmCompareS(a, b);
    case 3: return cdmCompareUS(a, b);
    case 5: return cdmCompareUL(a, b);
    case 6: return cdmCompareStr(a, b);
    case 8: return cdmCompareC(a, b);
    default: return 2;
  }
}

DWORD cdmDmConvertDWORD(WORD type, const void* address) { return static_cast<DWORD>(cdmDmConvertINT(type, address)); }

LONG cdmDmConvertINT(WORD type, const void* address) {
  if (!address) return 0;
  switch (type) {
    case 1:
    case 4:
    case 5:
    case 10: return Load<int32_t>(address);
    case 2: return Load<int16_t>(address);
    case 3: return Load<uint16_t>(address);
    case 8: return Load<uint8_t>(address);
    default: return 0;
  }
}

WORD cdmDmConvertWORD(WORD type, const void* address) {
  if (!address) return 0;
  switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 10: return Load<uint16_t>(address);
    case 8: return Load<uint8_t>(address);
    default: return 0;
  }
}

LPWSTR cdmDmConvertStr(WORD type, const ULONG_PTR* slot, DWORD* length) {
  if (length) *length = 0;
  if (!slot) return nullptr;
  char text[16] = {};
  LPCWSTR source = nullptr;
  switch (type) {
    case 1:
    case 2:
    case 3:
    case 8:
    case 10: std::snprintf(text, sizeof text, "%d", static_cast<int>(cdmDmConvertINT(type, slot))); break;
    // "%ld" of a 32-bit long for both: an unsigned value above 2^31 - 1 is
    // written as its signed reading, as the files that hold these texts have it.
    case 4:
    case 5: std::snprintf(text, sizeof text, "%ld", static_cast<long>(Load<int32_t>(slot))); break;
    case 6:
      source = reinterpret_cast<LPCWSTR>(*slot);
      if (!source) return nullptr;
      break;
    default: return nullptr;
  }
  DWORD n = source ? kp_WideLength(source) : static_cast<DWORD>(std::strlen(text));
  auto* out = static_cast<LPWSTR>(kcore_Alloc((SIZE_T(n) + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  for (DWORD i = 0; i < n; ++i) out[i] = source ? source[i] : static_cast<WCHAR>(text[i]);
  out[n] = 0;
  if (length) *length = n;
  return out;
}

// ---- Skip array ----------------------------------------------------------------
CDM_SKIP_ENTRY* cdmNewSkipArray(void) {
  return static_cast<CDM_SKIP_ENTRY*>(kcore_Alloc(sizeof(CDM_SKIP_ENTRY) * CDM_SKIP_COUNT));
}

void cdmInitSkipFlag(CDM_SKIP_ENTRY* array) {
  if (!array) return;
  for (int i = 0; i < CDM_SKIP_COUNT; ++i) array[i].flag = 0;
}

BOOL cdmSkipAddID(CDM_SKIP_ENTRY* array, WORD ddmId, BOOL setFlag) {
  if (!array || ddmId == 0) return 0;
  for (int i = 0; i < CDM_SKIP_COUNT; ++i) {
    if (array[i].ddmId == ddmId || array[i].ddmId == 0) {
      array[i].ddmId = ddmId;
      if (setFlag) array[i].flag = 1;
      return 1;
    }
  }
  return 0;
}

BOOL cdmFindSkipDataByDdmID(CDM_SKIP_ENTRY* array, WORD ddmId, BOOL setFlag) {
  if (!array || ddmId == 0) return 0;
  for (int i = 0; i < CDM_SKIP_COUNT; ++i)
    if (array[i].ddmId == ddmId) {
      if (setFlag) array[i].flag = 1;
      return 1;
    }
  return 0;
}

BOOL cdmIsSkipFlagOffAll(const CDM_SKIP_ENTRY* array, WORD* ddmId) {
  if (ddmId) *ddmId = 0;
  if (!array) return 1;
  for (int i = 0; i < CDM_SKIP_COUNT; ++i)
    if (array[i].ddmId != 0 && array[i].flag) {
      if (ddmId) *ddmId = array[i].ddmId;
      return 0;
    }
  return 1;
}

// ---- Stamp colours ---------------------------------------------------------------
BOOL cdmStampColorGet(WORD colourId, DWORD* colour, LONG index) {
  if (!colour) return 0;
  LONG i = index;
  if (index == -1) {
    if (colourId < 1 || colourId > 7) return 0;
    i = colourId - 1;
  }
  if (i < 0 || i > 6) return 0;
  *colour = kStampColours[i][0] | (kStampColours[i][1] << 8) | (kStampColours[i][2] << 16);
  return 1;
}

LONG cdmGetPrinterColor(HCDDD handle) { return cdddGetPrinterColor(handle); }

// ---- Derived members ---------------------------------------------------------------

SHORT cdmGetColorFromColorCapability(void* devmode, void* printerData) {
  LONG mode = 0, capable = 0;
  if (!ddm_GetNumber(DDM_COLORMODE, devmode, printerData, &mode) ||
      !ddm_GetNumber(DDM_COLORCAPABLE, devmode, printerData, &capable)) return 0;
  return (mode == 1 && capable == 1) ? DMCOLOR_MONOCHROME : DMCOLOR_COLOR;
}

BOOL cdmColorCapabilityTodmColor(void* devmode, void* printerData) {
  LONG colourPrinter = 0, mode = 0;
  if (!ddm_GetNumber(DDM_FORCECOLORMODE, devmode, printerData, &colourPrinter) ||
      !ddm_GetNumber(DDM_COLORMODE, devmode, printerData, &mode)) return 0;
  if (colourPrinter == 1 && mode != 1 && !WriteNum(DDM_COLORMODE, devmode, printerData, 1)) return 0;
  SHORT colour = cdmGetColorFromColorCapability(devmode, printerData);
  if (colour == 0 || !WriteNum(DDM_COLOR, devmode, printerData, colour)) return 0;
  return SetFieldBits(devmode, DM_COLOR, true) ? 1 : 0;
}

BOOL cdmConvertTTOptionAndFontType(void* devmode, void* printerData, WORD which) {
  LONG ttOption = 0, fontType = 0;
  if (!ddm_GetNumber(DDM_TTOPTION, devmode, printerData, &ttOption) ||
      !ddm_GetNumber(DDM_TRUETYPE, devmode, printerData, &fontType)) return 0;
  if (which == DDM_TTOPTION) {
    LONG v = ttOption == DMTT_BITMAP ? 1 : (fontType != 0 ? 2 : 0);
    return WriteNum(DDM_TRUETYPE, devmode, printerData, v) ? 1 : 0;
  }
  return WriteNum(DDM_TTOPTION, devmode, printerData, fontType == 1 ? DMTT_BITMAP : DMTT_SUBDEV) ? 1 : 0;
}

BOOL cdmIcmModeToIcmMethod(void* devmode, void* printerData) {
  LONG icmMode = 0;
  if (!ddm_GetNumber(DDM_ICMMODE, devmode, printerData, &icmMode)) return 0;
  if (!WriteNum(DDM_ICMMETHOD, devmode, printerData, icmMode == 3 ? DMICMMETHOD_SYSTEM : DMICMMETHOD_NONE)) return 0;
  return SetFieldBits(devmode, KDM_FIELD_ICMMETHOD, true) ? 1 : 0;
}

BOOL cdmApplicationZoomToDmScale(void* devmode) {
  LONG flag = 0;
  if (!ddm_GetNumber(DDM_APPLICATIONZOOM, devmode, nullptr, &flag)) return 0;
  return SetFieldBits(devmode, DM_SCALE, flag == 1) ? 1 : 0;
}

BOOL cdmEnableDmPaperWidthLength(void* devmode) {
  LONG flag = 0;
  if (!ddm_GetNumber(DDM_ENABLEPAPERWIDTHLENGTH, devmode, nullptr, &flag)) return 0;
  return SetFieldBits(devmode, DM_PAPERLENGTH | DM_PAPERWIDTH, flag == 1) ? 1 : 0;
}

BOOL cdmDefaultSourceToInputBin(void* devmode, void* printerData) {
  LONG mode = 0, source = 0;
  if (!ddm_GetNumber(DDM_INPUTBINCONVERSION, devmode, printerData, &mode) ||
      !ddm_GetNumber(DDM_DEFAULTSOURCE, devmode, printerData, &source)) return 0;
  if (mode == 0 || mode == 2 || source == DMBIN_FORMSOURCE) return 1;
  return WriteNum(DDM_INPUTBIN, devmode, printerData, source) ? 1 : 0;
}

BOOL cdmInputBinToDefaultSource(void* devmode, void* printerData) {
  LONG mode = 0, bin = 0;
  if (!ddm_GetNumber(DDM_INPUTBINCONVERSION, devmode, printerData, &mode) ||
      !ddm_GetNumber(DDM_INPUTBIN, devmode, printerData, &bin)) return 0;
  if (mode == 0 || mode == 2 || bin == 258) return 1;
  return WriteNum(DDM_DEFAULTSOURCE, devmode, printerData, bin) ? 1 : 0;
}

BOOL cdmAdjustObjectSet(void* devmode, void* printerData) {
  struct Object {
    DWORD bit;
    WORD ids[3];
  };
  // Object group o (0 all, 1 text, 2 graphics, 3 images) has its three
  // adjustments at DDM_COLORADJUST_FIRST + o, + o + 4 and + o + 8.
  constexpr auto adjustments = [](WORD o) -> Object {
    return {o == 0 ? 7u : 1u << (o - 1),
            {static_cast<WORD>(DDM_COLORADJUST_FIRST + o),
             static_cast<WORD>(DDM_COLORADJUST_FIRST + DDM_COLORADJUST_OBJECTS + o),
             static_cast<WORD>(DDM_COLORADJUST_FIRST + 2 * DDM_COLORADJUST_OBJECTS + o)}};
  };
  static constexpr Object kAll = adjustments(0);
  static constexpr Object kEach[3] = {adjustments(1), adjustments(2), adjustments(3)};
  LONG perObject = 0;
  if (!ddm_GetNumber(DDM_PEROBJECTADJUST, devmode, printerData, &perObject)) return 0;
  auto used = [&](const Object& o, bool* any) {
    *any = false;
    for (WORD id : o.ids) {
      LONG v = 0;
      if (!ddm_GetNumber(id, devmode, printerData, &v)) return false;
      if (v != 0) *any = true;
    }
    return true;
  };
  DWORD mask = 0;
  bool any = false;
  if (perObject == 1) {
    for (const Object& o : kEach) {
      if (!used(o, &any)) return 0;
      if (any) mask |= o.bit;
    }
  } else {
    if (!used(kAll, &any)) return 0;
    if (any) mask |= kAll.bit;
  }
  return WriteNum(DDM_ADJUSTEDOBJECTS, devmode, printerData, static_cast<LONG>(mask)) ? 1 : 0;
}

// ---- All-settings constraint sweep ---------------------------------------------------
void cdm_SetSweepOps(const CDM_SWEEP_OPS* ops) { g_sweepOps.store(ops); }

LONG cdmAllDataConstUpdate(HINSTANCE instance, HWND window, HCDDD handle, void* devmode, void* printerData,
                           void* workSlot, HWND owner, CDM_SKIP_ENTRY* skip, WORD* lastDdmId) {
  (void)instance;
  const CDM_SWEEP_OPS* ops = g_sweepOps.load();
  if (!ops || !ops->selectMethod || !ops->allocConst || !ops->freeConst || !ops->update) return -1;
  if (!handle || !devmode || !printerData || !skip || !lastDdmId) return -1;
  cdmInitSkipFlag(skip);
  void* constData = ops->allocConst();
  if (!constData) return -1;
  LONG result = 1;
  for (WORD group = 0; group < 12 && result == 1; ++group) {
    const CDM_MEMBER_ENTRY* table = nullptr;
    WORD count = 0;
    if (!local_GetCdmDmDataFuncTbl(group, &table, &count, nullptr)) {
      result = -1;
      break;
    }
    for (WORD i = 0; i < count && result == 1; ++i) {
      WORD id = static_cast<WORD>(table[i].ddmId);
      WORD method = 0;
      if (!ops->selectMethod(handle, id, devmode, printerData, &method)) continue;
      WORD type = 0;
      DWORD size = 0;
      ULONG_PTR value = 0;
      if (ddm_GetValue(id, devmode, printerData, &type, &size, &value) != 0) {
        result = -1;
        break;
      }
      if (method == 0) {
        result = -1;
        break;
      }
      if (method == 4 || method == 6) continue;
      BOOL changed = 0;
      if (ops->update(window, handle, devmode, printerData, id, type, &value, constData, workSlot, &changed) != 0) {
        result = -1;
        break;
      }
      if (!changed) continue;
      if (cdmFindSkipDataByDdmID(skip, id, 1)) continue;
      if (id != *lastDdmId) {
        *lastDdmId = id;
        result = 2;
      } else {
        result = cdmSkipAddID(skip, id, 1) ? 2 : -1;
      }
    }
  }
  ops->freeConst(constData);
  if (result != 1) return result;
  WORD flagged = 0;
  if (!cdmIsSkipFlagOffAll(skip, &flagged)) {
    ShowSweepFailure(owner, flagged);
    return -1;
  }
  return 1;
}

LONG cdmAllDataConstUpdateLoop(HINSTANCE instance, HWND window, HCDDD handle, void* devmode, void* printerData,
                               void* workSlot, HWND owner, CDM_SKIP_ENTRY* skip) {
  WORD last = 0;
  for (int call = 0; call < CDM_SWEEP_MAX_CALLS; ++call) {
    LONG r = cdmAllDataConstUpdate(instance, window, handle, devmode, printerData, workSlot, owner, skip, &last);
    if (r != 2) return r;
  }
  ShowSweepFailure(owner, last);
  return -1;
}

// ---- Enumerated lists and the printer's stored devmode ------------------------------
namespace {
std::atomic<CdmStampListFn> g_stampList{nullptr};

bool IsFaceNameMember(WORD ddmId) { return ddmId == DDM_STAMPFONT_FACENAME || ddmId == DDM_HEADERFONT_FACENAME; }

}  // namespace

BOOL cdmIsEnumItemMember(WORD ddmId) { return ddmId == DDM_STAMPLIST || IsFaceNameMember(ddmId); }

LPCWSTR cdmGetEnumItemName(const CDM_ENUM_ITEMS* list, DWORD index) {
  if (!list) return nullptr;
  LPCWSTR p = list->names;
  if (!p || index >= list->count) return u"";
  for (DWORD i = 0; i < index; ++i) {
    DWORD n = kp_WideLength(p);
    if (n == 0) return u"";
    p += n + 1;
  }
  return p;
}

void cdm_SetStampListProvider(CdmStampListFn provider) { g_stampList.store(provider); }

BOOL cdmCreateEnumItemData(HCDDD handle, WORD ddmId, CDM_ENUM_ITEMS** list, HANDLE printer) {
  if (!list) return 0;
  *list = nullptr;
  auto* out = static_cast<CDM_ENUM_ITEMS*>(kcore_Alloc(sizeof(CDM_ENUM_ITEMS)));
  if (!out) return 0;
  if (ddmId == DDM_STAMPLIST) {
    CdmStampListFn provider = g_stampList.load();
    WORD count = 0;
    DWORD size = 0;
    if (!provider || provider(printer, handle, nullptr, &count, &size) != 1) {
      kcore_Free(out);
      return 0;
    }
    // Two extra NULs: the list stays terminated whatever the store copied.
    out->names = static_cast<LPWSTR>(kcore_Alloc(SIZE_T(size) + 2 * sizeof(WCHAR)));
    count = 0;
    if (!out->names || provider(printer, handle, out->names, &count, &size) != 1) {
      cdmDestroyEnumItemData(out);
      return 0;
    }
    out->count = count;
  }
#if !defined(KESTREL_KERNEL_MODE)
  if (IsFaceNameMember(ddmId) && !EnumTrueTypeFaces(out)) {
    cdmDestroyEnumItemData(out);
    return 0;
  }
#endif
  *list = out;
  return 1;
}

void cdmDestroyEnumItemData(CDM_ENUM_ITEMS* list) {
  if (!list) return;
  kcore_Free(list->names);
  kcore_Free(list);
}

BOOL cdmCopyStoredDevmode(const void* stored, void* buffer5440) {
  if (!stored || !buffer5440) return 0;
  std::memset(buffer5440, 0, NRV_DEVMODE_SIZE_FULL);
  WORD size = 0, extra = 0;
  std::memcpy(&size, static_cast<const BYTE*>(stored) + 68, 2);
  std::memcpy(&extra, static_cast<const BYTE*>(stored) + 70, 2);
  DWORD bytes = DWORD(size) + extra;
  if (bytes > NRV_DEVMODE_SIZE_FULL) bytes = NRV_DEVMODE_SIZE_FULL;
  std::memcpy(buffer5440, stored, bytes);
  return 1;
}
