// kestrelui's export DrvDeviceCapabilities: one answer for every DC_* code
// the platform defines, built from the model's device description data
// through the common library's setting lists (cdmCreateSelectItemInfo) on
// the current settings: the devmode given when it is the driver's (merged
// over the queue's defaults), else the queue's own devmode and printer data.
// Without an output buffer a list code answers its count. GDI_ERROR
// (0xFFFFFFFF) answers a code the driver cannot answer.
//
// What each answer is built from (decisions):
//   DC_FIELDS            dmFields of the current devmode
//   DC_PAPERS            the values of DDM 8's list (WORD each)
//   DC_PAPERNAMES        the names of DDM 8's list (64 characters each)
//   DC_PAPERSIZE         each paper's lower size bound from its paper record
//                        (POINT, 0.1 mm); 0 x 0 for a value without record
//   DC_MINEXTENT/MAXEXTENT the user-defined paper's (id 256) lower and upper
//                        size bounds, x in the low word, y in the high word
//   DC_BINS, DC_BINNAMES DDM 13's list (WORD values, 24 characters each)
//   DC_DUPLEX            1 when DDM 16's list offers more than one item
//   DC_SIZE, DC_EXTRA    220 and 1336; DC_VERSION 0x401, DC_DRIVER 0x2182
//   DC_ENUMRESOLUTIONS   DDM 14's values as x = y pairs (two LONGs each)
//   DC_FILEDEPENDENCIES  0 (the driver names no further files)
//   DC_TRUETYPE          DCTT_DOWNLOAD (the renderer downloads TrueType fonts)
//   DC_ORIENTATION       90 (landscape is portrait turned counter-clockwise)
//   DC_COPIES            the largest value of DDM 12's list or range
//   DC_COLLATE           1 when DDM 18's list offers DMCOLLATE_TRUE
//   DC_PERSONALITY       1, "PCL XL" (32 characters)
//   DC_STAPLE            1 when DDM 320's list offers more than one item
//   DC_COLORDEVICE       1 when DDM 15's list offers DMCOLOR_COLOR
//   DC_NUP               DDM 295's values (DWORD each)
//   DC_MEDIATYPES        DDM 24's values (DWORD each); DC_MEDIATYPENAMES
//                        their names (64 characters each)
//   DC_BINADJUST, DC_EMF_COMPLIANT (Windows 9x codes), DC_DATATYPE_PRODUCED,
//   DC_MANUFACTURER, DC_MODEL, DC_PRINTRATE, DC_PRINTRATEUNIT,
//   DC_PRINTRATEPPM, DC_PRINTERMEM, DC_MEDIAREADY: GDI_ERROR (the description
//   data does not hold them; the printer's loaded media are not known here)
//   any other code: GDI_ERROR.
// Traces "DrvDeviceCapabilities" in and "DrvDeviceCapabilities RetValue =
// %lu" out.
#include <cstring>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddd_layout.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/upgrade.h"
#include "kplatform/kwindows.h"
#include "kplatform/byte_order.h"
#include "kplatform/wingdi_consts.h"

#define KESTRELUI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr DWORD kGdiError = 0xFFFFFFFFu;
constexpr DWORD kPaperNameChars = 64;
constexpr DWORD kBinNameChars = 24;
constexpr DWORD kPersonalityChars = 32;
constexpr DWORD kMediaNameChars = 64;
constexpr WORD kUserPaperId = 256;
constexpr DWORD kOrientationDegrees = 90;
constexpr char16_t kPersonality[] = u"PCL XL";

struct Settings {
  HCDDD ddd = nullptr;
  HANDLE printer = nullptr;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
};

bool LoadSettings(HANDLE printer, void* input, Settings* s) {
  s->printer = printer;
  s->ddd = cddd_Open(printer);
  if (!s->ddd) return false;
  DWORD size = NRV_DEVMODE_SIZE_KIND1;
  BOOL converted = FALSE;
  void* info = wNTc_MakeEnvironment(printer, s->ddd, s->dm.data(), &size, &converted);
  if (!info) return false;
  kcore_Free(info);
  pd_GetPrinterData(printer, s->pd.data(), s->ddd);
  if (input && wNTc_IsDevmodeOurs(input)) cdm_ModifyDevmode(s->ddd, s->dm.data(), input, s->pd.data(), printer, 2);
  return true;
}

// The items of a setting's list (empty when it has none).
struct List {
  CDM_SELECT_INFO* info = nullptr;
  ~List() { cdmSelectInfoFree(info); }
  DWORD count() const { return info ? info->count : 0; }
  ULONG_PTR value(DWORD i) const { return info->items[i].value; }
  LPCWSTR name(DWORD i) const { return info->items[i].name ? info->items[i].name : u""; }
  bool offers(ULONG_PTR v) const {
    for (DWORD i = 0; i < count(); ++i)
      if (value(i) == v) return true;
    return false;
  }
};

void Open(Settings& s, WORD id, List* list) {
  CDM_UNIT_INFO unit{};
  list->info = cdmCreateSelectItemInfo(s.ddd, s.printer, id, nullptr, s.dm.data(), s.pd.data(), &unit);
}

void PutName(BYTE* out, DWORD index, DWORD chars, LPCWSTR name) {
  auto* at = reinterpret_cast<WCHAR*>(out) + static_cast<size_t>(index) * chars;
  std::memset(at, 0, chars * sizeof(WCHAR));
  for (DWORD i = 0; i + 1 < chars && name[i]; ++i) at[i] = name[i];
}

// Values of a list as WORDs, DWORDs, or names.
DWORD Values(Settings& s, WORD id, void* output, DWORD width) {
  List list;
  Open(s, id, &list);
  if (output) {
    auto* out = static_cast<BYTE*>(output);
    for (DWORD i = 0; i < list.count(); ++i) {
      if (width == 2) {
        WORD v = static_cast<WORD>(list.value(i));
        std::memcpy(out + 2 * i, &v, 2);
      } else {
        DWORD v = static_cast<DWORD>(list.value(i));
        std::memcpy(out + 4 * i, &v, 4);
      }
    }
  }
  return list.count();
}

DWORD Names(Settings& s, WORD id, void* output, DWORD chars) {
  List list;
  Open(s, id, &list);
  if (output)
    for (DWORD i = 0; i < list.count(); ++i) PutName(static_cast<BYTE*>(output), i, chars, list.name(i));
  return list.count();
}

bool PaperBounds(Settings& s, WORD paperId, DDD_POINT* lower, DDD_POINT* upper) {
  void* rec = nullptr;
  if (ddd_GetDataByIDX(DDD_FULL, s.ddd->main, s.ddd->referenced, DDD_CAT_PAPER, paperId, 0, &rec) != DDD_OK || !rec)
    return false;
  auto* paper = static_cast<DDD_PAPER*>(rec);
  if (lower) *lower = paper->paperLower;
  if (upper) *upper = paper->paperUpper;
  ddd_Free(&rec, DDD_KIND_ANY);
  return true;
}

DWORD Answer(Settings& s, WORD code, void* output) {
  switch (code) {
    case DC_FIELDS:
      return kp_LoadU32(s.dm.data() + 72);
    case DC_PAPERS:
      return Values(s, DDM_PAPERSIZE, output, 2);
    case DC_PAPERNAMES:
      return Names(s, DDM_PAPERSIZE, output, kPaperNameChars);
    case DC_PAPERSIZE: {
      List list;
      Open(s, DDM_PAPERSIZE, &list);
      for (DWORD i = 0; output && i < list.count(); ++i) {
        DDD_POINT lower{};
        PaperBounds(s, static_cast<WORD>(list.value(i)), &lower, nullptr);
        LONG point[2] = {lower.first, lower.second};
        std::memcpy(static_cast<BYTE*>(output) + sizeof point * i, point, sizeof point);
      }
      return list.count();
    }
    case DC_MINEXTENT:
    case DC_MAXEXTENT: {
      DDD_POINT lower{}, upper{};
      if (!PaperBounds(s, kUserPaperId, &lower, &upper)) return kGdiError;
      const DDD_POINT& p = code == DC_MINEXTENT ? lower : upper;
      return static_cast<DWORD>(p.first) | static_cast<DWORD>(p.second) << 16;
    }
    case DC_BINS:
      return Values(s, DDM_DEFAULTSOURCE, output, 2);
    case DC_BINNAMES:
      return Names(s, DDM_DEFAULTSOURCE, output, kBinNameChars);
    case DC_DUPLEX: {
      List list;
      Open(s, DDM_DUPLEX, &list);
      return list.count() > 1 ? 1 : 0;
    }
    case DC_SIZE:
      return NRV_DEVMODE_PUBLIC_SIZE;
    case DC_EXTRA:
      return NRV_DEVMODE_EXTRA;
    case DC_VERSION:
      return NRV_SPEC_VERSION;
    case DC_DRIVER:
      return NRV_DRIVER_VERSION;
    case DC_ENUMRESOLUTIONS: {
      List list;
      Open(s, DDM_RESOLUTION, &list);
      for (DWORD i = 0; output && i < list.count(); ++i) {
        LONG pair[2] = {static_cast<LONG>(list.value(i)), static_cast<LONG>(list.value(i))};
        std::memcpy(static_cast<BYTE*>(output) + sizeof pair * i, pair, sizeof pair);
      }
      return list.count();
    }
    case DC_FILEDEPENDENCIES:
      return 0;
    case DC_TRUETYPE:
      return DCTT_DOWNLOAD;
    case DC_ORIENTATION:
      return kOrientationDegrees;
    case DC_COPIES: {
      List list;
      Open(s, DDM_COPIES, &list);
      DWORD most = 1;
      for (DWORD i = 0; i < list.count(); ++i)
        if (static_cast<DWORD>(list.value(i)) > most) most = static_cast<DWORD>(list.value(i));
      return most;
    }
    case DC_COLLATE: {
      List list;
      Open(s, DDM_COLLATE, &list);
      return list.offers(DMCOLLATE_TRUE) ? 1 : 0;
    }
    case DC_PERSONALITY:
      if (output) PutName(static_cast<BYTE*>(output), 0, kPersonalityChars, kPersonality);
      return 1;
    case DC_STAPLE: {
      List list;
      Open(s, DDM_STAPLE, &list);
      return list.count() > 1 ? 1 : 0;
    }
    case DC_COLORDEVICE: {
      List list;
      Open(s, DDM_COLOR, &list);
      return list.offers(DMCOLOR_COLOR) ? 1 : 0;
    }
    case DC_NUP:
      return Values(s, DDM_NUP, output, 4);
    case DC_MEDIATYPES:
      return Values(s, DDM_MEDIATYPE, output, 4);
    case DC_MEDIATYPENAMES:
      return Names(s, DDM_MEDIATYPE, output, kMediaNameChars);
    default:
      return kGdiError;
  }
}

}  // namespace

KESTRELUI_EXPORT DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR, WORD code, void* output, void* devmode) {
  Logout_InDDIFunctionTraceLog(u"DrvDeviceCapabilities");
  DWORD result = kGdiError;
  {
    Settings s;
    if (LoadSettings(printer, devmode, &s)) result = Answer(s, code, output);
    if (s.ddd) cddd_Close(s.ddd);
  }
  Logout_OutDDIFunctionTraceLog(u"DrvDeviceCapabilities RetValue = %lu", result);
  return result;
}
