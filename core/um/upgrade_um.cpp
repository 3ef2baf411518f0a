// Upgrade of stored devmodes of the user-mode build (see kestrel/core/upgrade.h;
// the printer-data record part is upgrade.cpp).
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/upgrade.h"

#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/winspool_printer.h"

#include "../printerdata/upgrade_modes.h"

using namespace upgrade_modes;

namespace {

// ---- Devmode -------------------------------------------------------------------

struct DmKey {
  WORD size = 0, publicVersion = 0, extra = 0, structVersion = 0, driver = 0;
  WCHAR model[33] = {};
};

// The key of a devmode of `bytes` real bytes; false when it has none.
bool DevmodeKey(const BYTE* dm, size_t bytes, DmKey* k) {
  if (bytes < NRV_DEVMODE_PUBLIC_SIZE) return false;
  k->publicVersion = kp_LoadU16(dm + 64);
  k->size = kp_LoadU16(dm + 68);
  k->extra = kp_LoadU16(dm + 70);
  if (k->extra <= 68) return false;
  if (static_cast<size_t>(k->size) + k->extra > bytes) return false;  // claims more than is there
  k->structVersion = kp_LoadU16(dm + k->size);
  k->driver = kp_LoadU16(dm + k->size + 2u);
  std::memcpy(k->model, dm + k->size + 4u, 64);
  k->model[32] = 0;
  return true;
}

bool SameModel(const WCHAR* a, const WCHAR* b) {
  for (int i = 0; i < 32; ++i) {
    WCHAR x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<WCHAR>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<WCHAR>(y - 32);
    if (x != y) return false;
    if (!x) return true;
  }
  return true;
}

bool BuildDefaultDevmode(HCDDD ddd, LPCWSTR name, BYTE* out1556) {
  BYTE* temp = static_cast<BYTE*>(kcore_Alloc(NRV_DEVMODE_SIZE_FULL));
  if (!temp) return false;
  std::memset(temp, 0, NRV_DEVMODE_SIZE_FULL);
  bool ok = cdm_SetDefaultDevmode(ddd, temp, nullptr, name ? name : u"") == 1;
  if (ok) {
    std::memcpy(out1556, temp, NRV_DEVMODE_SIZE_KIND1);
    kp_StoreU16(out1556 + 70, static_cast<WORD>(NRV_DEVMODE_EXTRA));
  }
  kcore_Free(temp);
  return ok;
}

// Group 11: the members of the non-devmode record.
bool IsNonDevId(WORD id) { return id >= DDM_NONDEV_FIRST && id <= DDM_NONDEV_LAST; }

// The queue's printer by the device name; null when it cannot be opened.
HANDLE OpenQueue(LPCWSTR name) {
  if (!name) return nullptr;
  HANDLE printer = nullptr;
  std::vector<WCHAR> n(name, name + std::char_traits<char16_t>::length(name) + 1);
  if (!OpenPrinterW(n.data(), &printer, nullptr)) return nullptr;
  return printer;
}

// What the rules local_UpgradeNonDevDat and local_UpgradePDtoDM move into
// the queue's non-devmode record. The rules only note it; SaveNonDevUpdate
// writes it once, after every rule of the upgrade succeeded.
struct NonDevUpdate {
  // local_UpgradeNonDevDat: the translated devmode (5440-byte form) and the
  // members of the record the old devmode carried.
  std::vector<BYTE> carried;
  std::vector<WORD> carriedIds;
  bool takeV1Fax = false;
  // local_UpgradePDtoDM: members of the record with the queue's values.
  std::vector<std::pair<WORD, LONG>> moves;
  bool Empty() const { return !takeV1Fax && carriedIds.empty() && moves.empty(); }
};

// local_UpgradePDtoDM: moves the queue's record into the devmode; a queue
// that cannot be opened or read leaves the devmode as it is. The move works
// on a copy in the 5440-byte form, as two targets (1859, 1860) lie in the
// non-devmode record; the devmode comes back and those two are noted for the
// queue's non-devmode record.
void MoveRecordIntoDevmode(HCDDD ddd, LPCWSTR name, BYTE* out, NonDevUpdate* update) {
  HANDLE printer = OpenQueue(name);
  if (!printer) return;
  std::vector<BYTE> record(PD_RECORD_SIZE);
  std::vector<BYTE> copy(NRV_DEVMODE_SIZE_FULL);
  DWORD source = 0;
  if (pd_GetPrinterDataEx(printer, record.data(), ddd, &source) && source == PD_SOURCE_STORED &&
      cdm_SetDefaultDevmode(ddd, copy.data(), nullptr, name) == 1) {
    WORD fullExtra = kp_LoadU16(copy.data() + 70);
    std::memcpy(copy.data(), out, NRV_DEVMODE_SIZE_KIND1);
    kp_StoreU16(copy.data() + 70, fullExtra);
    // The move list (record member, devmode member) is a translation table.
    static const WORD kMoves[][2] = {{5651, 456}, {5652, 457}, {5649, 1332}, {5648, 1333},
                                     {5650, 1334}, {5653, 1859}, {5654, 1860}};
    for (const auto& m : kMoves) {
      LONG v = 0;
      if (!ddm_GetNumber(m[0], nullptr, record.data(), &v)) continue;
      if (IsNonDevId(m[1])) {
        update->moves.emplace_back(m[1], v);
      } else {
        SetNum(m[1], copy.data(), nullptr, v);
      }
    }
    std::memcpy(out, copy.data(), NRV_DEVMODE_SIZE_KIND1);
    kp_StoreU16(out + 70, static_cast<WORD>(NRV_DEVMODE_EXTRA));
  }
  ClosePrinter(printer);
}

// Copies one member between two devmodes of the 5440-byte form.
bool CopyMember(WORD id, BYTE* from, BYTE* to) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(id, from, nullptr, &type, &size, &v) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT)
    return ddm_SetValue(id, to, nullptr, type, size, reinterpret_cast<const void*>(v)) == 0;
  return SetNum(id, to, nullptr, static_cast<LONG>(v));
}

// The size of a fax address list that the store handed out (it checked
// that the list describes its own size).
DWORD FaxListBytes(const void* list) {
  WORD count = 0;
  std::memcpy(&count, static_cast<const BYTE*>(list) + NONDEV_FAX_COUNT_OFFSET, 2);
  return NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count;
}

// Saves what the rules moved into the queue's non-devmode record: the
// stored record (or the defaults when none is stored) with the members laid
// over it, the stored security-marking block and fax list kept (the
// version-1 fax list instead when local_UpgradeNonDevDat ran and one is
// stored). A stored record that cannot be read is never replaced; a record
// that would not change is not written again. A failed save leaves the
// stored values as they were (the store's own guarantee); the devmode's
// upgrade does not depend on it.
void SaveNonDevUpdate(HCDDD ddd, LPCWSTR name, NonDevUpdate& update) {
  if (update.Empty()) return;
  HANDLE printer = OpenQueue(name);
  if (!printer) return;
  std::vector<BYTE> base(NONDEV_RECORD_SIZE);
  void* fax = nullptr;
  void* gsb = nullptr;
  void* v1 = nullptr;
  DWORD gsbSize = 0, v1Size = 0, error = ERROR_SUCCESS;
  bool stored = nonDev_LoadNonDevDatEx(printer, ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, &fax, base.data(), &gsb,
                                       &gsbSize, &error) == TRUE;
  bool ok = stored || (error == ERROR_FILE_NOT_FOUND && nonDev_SetDefaultData(printer, base.data()));
  std::vector<BYTE> work(NRV_DEVMODE_SIZE_FULL);
  if (ok) ok = cdm_SetDefaultDevmode(ddd, work.data(), nullptr, name) == 1;
  if (ok) {
    BYTE* record = work.data() + NRV_NONDEVMODE_OFFSET;
    std::memcpy(record, base.data(), NONDEV_RECORD_SIZE);
    for (WORD id : update.carriedIds) ok = ok && CopyMember(id, update.carried.data(), work.data());
    for (const auto& [id, value] : update.moves) ok = ok && SetNum(id, work.data(), nullptr, value);
    if (update.takeV1Fax) nonDev_LoadFaxData_v1(printer, &v1, &v1Size);
    const void* saveFax = v1 ? v1 : fax;
    DWORD faxSize = v1 ? v1Size : fax ? FaxListBytes(fax) : 0;
    bool changed = !stored || std::memcmp(record, base.data(), NONDEV_RECORD_SIZE) != 0 ||
                   (v1 && (!fax || FaxListBytes(fax) != v1Size || std::memcmp(fax, v1, v1Size) != 0));
    if (ok && changed)
      nonDev_SaveNonDevDat(printer, ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, saveFax, faxSize, record, gsb, gsbSize);
  }
  kcore_Free(v1);
  kcore_Free(fax);
  kcore_Free(gsb);
  ClosePrinter(printer);
}

bool DevmodeRules(HCDDD ddd, LPCWSTR name, WORD sv, BYTE* storedView, BYTE* out, NonDevUpdate* update) {
  LONG model = 0;
  {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    if (cdmGetDefaultData(ddd, DDM_MODELID, &type, &size, &v) == 1) model = static_cast<LONG>(v);
  }
  if (ModelClass(model) == 0x20 && !SetDefault(ddd, DDM_DEPTH, out, nullptr)) return false;  // local_UpgradeTalFamily
  {
    LONG v = 1;
    if (ddm_GetNumber(DDM_RESCONVTHRESHOLD, storedView, nullptr, &v) && v == 0 && !SetDefault(ddd, DDM_RESCONVTHRESHOLD, out, nullptr))
      return false;  // local_UpgradeResConversionThreshold
  }
  auto eq1 = [&](WORD id) {
    LONG v = 0;
    return ddm_GetNumber(id, storedView, nullptr, &v) && v == 1;
  };
  if (sv < 0x5005) {
    if (!SetNum(DDM_COLORTOBLACK, out, nullptr, (eq1(DDM_COLORTOBLACK_HIGH) ? 2 : 0) + (eq1(DDM_COLORTOBLACK_LOW) ? 1 : 0))) return false;  // ColorToBlack
    if (!SetNum(DDM_GRAYH, out, nullptr, (eq1(DDM_GRAYH_HIGH) ? 2 : 0) + (eq1(DDM_GRAYH_LOW) ? 1 : 0))) return false;  // GrayH
  }
  if (sv < 0x5040 && zanLib_CheckCapability_Indirect(ddd, ZANLIB_CAP_BIT(45))) {  // local_UpgradeSaddleStaple
    LONG v321 = 0;
    if (!ddm_GetNumber(DDM_LAYOUTMODE, storedView, nullptr, &v321)) return false;
    if (v321 == 2) {
      if (IsSet(DDM_SADDLESTAPLE, storedView, nullptr)) {
        if (!SetNum(DDM_SADDLESTAPLE, out, nullptr, 0) || !SetNum(DDM_STAPLE, out, nullptr, 11) || !SetNum(DDM_SADDLEOUTPUT, out, nullptr, 5) ||
            !SetNum(DDM_BOOKLET, out, nullptr, 2))
          return false;
      }
    } else if (!SetNum(DDM_SADDLESTAPLE, out, nullptr, 0)) {
      return false;
    }
  }
  if (sv < 0x5005) MoveRecordIntoDevmode(ddd, name, out, update);  // local_UpgradePDtoDM
  return true;
}

}  // namespace

// ---- Legacy devmodes (structure versions below 0x5003) ---------------------------
//
// Translation tables. Every earlier layout shares the standard DEVMODEW part,
// so the first tables of both generations (0x0100 and 0x5000) describe it
// (ids 1-13 and 15-25 at their standard offsets; 14 is covered by 20 and 21).
// The private members of the earlier layouts are known only as far as the
// rows below give them (0x4000 and 0x5002); a private member no row
// describes keeps its default, and the rules below carry the rest. Tables of
// versions that changed no member (0x4006, 0x4007, 0x5001) have no rows and
// are left out of the lists.

namespace {

struct XlatRow {
  WORD id;
  WORD type;
  DWORD offset;
  DWORD size;
};
struct XlatTable {
  WORD version;
  const XlatRow* rows;
};

#define UPG_DEVMODEW_ROWS                                                                                   \
  {1, DDM_TYPE_STRING, 0, 64}, {2, DDM_TYPE_WORD, 64, 0}, {3, DDM_TYPE_WORD, 66, 0}, {4, DDM_TYPE_WORD, 68, 0}, \
      {5, DDM_TYPE_WORD, 70, 0}, {6, DDM_TYPE_DWORD, 72, 0}, {7, DDM_TYPE_SHORT, 76, 0},                     \
      {8, DDM_TYPE_SHORT, 78, 0}, {9, DDM_TYPE_SHORT, 80, 0}, {10, DDM_TYPE_SHORT, 82, 0},                    \
      {11, DDM_TYPE_SHORT, 84, 0}, {12, DDM_TYPE_SHORT, 86, 0}, {13, DDM_TYPE_SHORT, 88, 0},                  \
      {15, DDM_TYPE_SHORT, 92, 0}, {16, DDM_TYPE_SHORT, 94, 0}, {17, DDM_TYPE_SHORT, 98, 0},                  \
      {18, DDM_TYPE_SHORT, 100, 0}, {19, DDM_TYPE_STRING, 102, 64}, {20, DDM_TYPE_SHORT, 90, 0},              \
      {21, DDM_TYPE_SHORT, 96, 0}, {22, DDM_TYPE_DWORD, 188, 0}, {23, DDM_TYPE_DWORD, 192, 0},                \
      {24, DDM_TYPE_DWORD, 196, 0}, {25, DDM_TYPE_DWORD, 200, 0}

const XlatRow kRows0100[] = {UPG_DEVMODEW_ROWS, {0, 0, 0, 0}};
const XlatRow kRows4000[] = {
    {346, DDM_TYPE_BYTE, 1800, 0}, {1831, DDM_TYPE_STRING, 1802, 50}, {348, DDM_TYPE_SHORT, 1852, 0}, {0, 0, 0, 0}};
const XlatRow kRows5000[] = {UPG_DEVMODEW_ROWS, {0, 0, 0, 0}};
const XlatRow kRows5002[] = {{444, DDM_TYPE_BYTE, 2620, 0}, {445, DDM_TYPE_BYTE, 2621, 0}, {446, DDM_TYPE_BYTE, 2622, 0},
                             {447, DDM_TYPE_BYTE, 2623, 0}, {448, DDM_TYPE_BYTE, 2624, 0}, {449, DDM_TYPE_BYTE, 2625, 0},
                             {450, DDM_TYPE_BYTE, 2626, 0}, {0, 0, 0, 0}};
#undef UPG_DEVMODEW_ROWS

const XlatTable kGeneration1[] = {{0x0100, kRows0100}, {0x4000, kRows4000}};
const XlatTable kGeneration2[] = {{0x5000, kRows5000}, {0x5002, kRows5002}};

// The stored devmode within its real length.
struct Stored {
  const BYTE* p;
  size_t n;
  bool U16(size_t off, LONG* v) const {
    if (off + 2 > n) return false;
    *v = kp_LoadU16(p + off);
    return true;
  }
  bool U32(size_t off, LONG* v) const {
    if (off + 4 > n) return false;
    DWORD d = 0;
    std::memcpy(&d, p + off, 4);
    *v = static_cast<LONG>(d);
    return true;
  }
  bool U8(size_t off, LONG* v) const {
    if (off + 1 > n) return false;
    *v = p[off];
    return true;
  }
};

// Translates the stored devmode into temp; *nonDevIds receives the members
// of the non-devmode record the old devmode carried.
bool Translate(const Stored& st, WORD sv, int generation, BYTE* temp, std::vector<WORD>* nonDevIds) {
  const XlatTable* list = generation == 1 ? kGeneration1 : kGeneration2;
  size_t count = generation == 1 ? std::size(kGeneration1) : std::size(kGeneration2);
  for (size_t t = 0; t < count; ++t) {
    if (list[t].version > sv) break;
    for (const XlatRow* r = list[t].rows; r->id; ++r) {
      LONG v = 0;
      bool ok;
      switch (r->type) {
        case DDM_TYPE_FLAG: case DDM_TYPE_LONG: case DDM_TYPE_DWORD: case DDM_TYPE_LFLONG:
          ok = st.U32(r->offset, &v) && SetNum(r->id, temp, nullptr, v);
          break;
        case DDM_TYPE_SHORT: case DDM_TYPE_WORD:
          ok = st.U16(r->offset, &v) && SetNum(r->id, temp, nullptr, v);
          break;
        case DDM_TYPE_BYTE:
          ok = st.U8(r->offset, &v) && SetNum(r->id, temp, nullptr, v);
          break;
        case DDM_TYPE_STRING: case DDM_TYPE_FONT: {
          if (r->offset + r->size > st.n) return false;
          if (r->type == DDM_TYPE_FONT) {
            ok = r->size == NRV_LOGFONT_SIZE &&
                 ddm_SetValue(r->id, temp, nullptr, DDM_TYPE_FONT, r->size, st.p + r->offset) == 0;
            break;
          }
          // An old string may fill its field without a NUL: cut it so that
          // it fits the field with its NUL.
          std::vector<WCHAR> text(r->size / 2 + 1, 0);
          std::memcpy(text.data(), st.p + r->offset, r->size / 2 * 2);
          if (r->size / 2 >= 1) text[r->size / 2 - 1] = 0;
          ok = ddm_SetValue(r->id, temp, nullptr, DDM_TYPE_STRING, r->size / 2 * 2, text.data()) == 0;
          break;
        }
        default:
          return false;  // a type outside 1..10
      }
      if (!ok) return false;
      if (IsNonDevId(r->id)) nonDevIds->push_back(r->id);
    }
  }
  return true;
}

LONG RoundTen(LONG v) { return (v + 5) / 10 * 10; }

bool Generation1Rules(HCDDD ddd, LPCWSTR name, const Stored& st, WORD sv, WORD storedDriver, LONG model,
                      BYTE* t) {
  LONG v = 0, w = 0;
  if (sv == 0x0100) {  // local_UpgradeNupMember
    if (!st.U16(308, &v)) return false;
    LONG nup = v < 1 ? 1 : v < 3 ? 2 : v < 7 ? 4 : 1;
    if (!SetNum(DDM_NUP, t, nullptr, nup)) return false;
    if (!st.U16(342, &v)) return false;  // local_UpgradeColorModeMember
    if (v == 2 && !SetNum(DDM_COLORMODE, t, nullptr, 0)) return false;
  }
  if (sv == 0x2000) {  // local_UpgradePageComposeMember
    if (!st.U16(1014, &v)) return false;
    if (!SetNum(DDM_POSTERPARTS, t, nullptr, v ? v : 514) || !SetNum(DDM_LAYOUTMODE, t, nullptr, v ? 1 : 0)) return false;
  }
  if (sv <= 0x3002) {
    // local_UpgradeMarginValue
    if (!st.U16(324, &v) || !st.U16(326, &w)) return false;
    if (!SetNum(DDM_MARGINVALUE1, t, nullptr, RoundTen(v)) || !SetNum(DDM_MARGINVALUE2, t, nullptr, RoundTen(w))) return false;
    if (sv >= 0x3000) {
      if (!st.U16(1364, &v) || !SetNum(DDM_BOOKLETMARGIN, t, nullptr, RoundTen(v))) return false;
    }
    if (!st.U32(316, &v) || !SetNum(DDM_OFFSETCATCH, t, nullptr, v != 0)) return false;  // local_UpgradeOffsetCatch
    if (!SetNum(DDM_NIE, t, nullptr, 0)) return false;                             // local_UpgradeNIE
    if (!st.U16(346, &v) || !SetNum(DDM_PRESETADJUST, t, nullptr, (v == 3 || v == 5) ? 0 : v)) return false;  // PresetAdjust
    if (!st.U16(344, &v)) return false;  // local_UpgradePatternResolution
    if (v == 1) {
      if (!SetNum(DDM_PATTERNRESOLUTION, t, nullptr, 150)) return false;
    } else if (v == 8) {
      if (!SetNum(DDM_PATTERNRESOLUTION, t, nullptr, 200)) return false;
    } else {
      return false;
    }
  }
  if (sv >= 0x4000 && sv <= 0x4003) {  // local_UpgradeInputBin
    if (!st.U16(88, &v)) return false;
    if (v == 263 && !SetNum(DDM_DEFAULTSOURCE, t, nullptr, DMBIN_FORMSOURCE)) return false;
  }
  if (sv < 0x4005) {  // local_UpgradeCollate
    if (!st.U32(304, &v) || !SetNum(DDM_COLLATE, t, nullptr, v != 0)) return false;
  }
  if (sv >= 0x4000 && sv <= 0x4002) {  // local_UpgradeColorModeAndVagueAuto
    if (!st.U16(342, &v) || !SetNum(DDM_COLORMODE, t, nullptr, v == 3 ? 0 : v) || !SetNum(DDM_COLORMODEAUTO, t, nullptr, 0)) return false;
  }
  if ((sv == 0x4004 && storedDriver < 0x180A) || (sv < 0x4007 && sv != 0x4004)) {  // local_UpgradeApplicationZom
    if (!SetDefault(ddd, DDM_APPLICATIONZOOM, t, nullptr)) return false;
  }
  if (sv < 0x4000 || sv == 0x4003) {  // local_UpgradePriorityInputBin
    if (!SetDefault(ddd, DDM_DEFAULTSOURCE, t, nullptr) || !st.U16(310, &v)) return false;
    if (v == 258 && !SetDefault(ddd, DDM_INPUTBIN, t, nullptr)) return false;
  }
  if (ModelClass(model) == 0x10 && !SetDefault(ddd, DDM_RESCONVERSION, t, nullptr)) return false;  // local_UpgradeResConversion
  if (ModelClass(model) == 0x30) {  // local_UpgradeDepth
    if (!st.U16(344, &v)) return false;
    if (v == 257 && !SetNum(DDM_DEPTH, t, nullptr, 1)) return false;
  }
  // local_UpgradePDtoDM_G1: the queue is only read; a queue that cannot be
  // opened or read leaves the devmode as it is.
  if (name) {
    HANDLE printer = nullptr;
    std::vector<WCHAR> n(name, name + std::char_traits<char16_t>::length(name) + 1);
    if (OpenPrinterW(n.data(), &printer, nullptr) && printer) {
      std::vector<BYTE> record(PD_RECORD_SIZE);
      DWORD source = 0;
      if (pd_GetPrinterDataEx(printer, record.data(), ddd, &source) && source == PD_SOURCE_STORED) {
        if (ddm_GetNumber(DDM_QUEUEVALUE2, nullptr, record.data(), &v)) SetNum(DDM_QUEUEBYTE2, t, nullptr, v & 0xFF);
        if (ddm_GetNumber(DDM_QUEUEVALUE1, nullptr, record.data(), &v)) SetNum(DDM_QUEUEBYTE1, t, nullptr, v & 0xFF);
      }
      ClosePrinter(printer);
    }
  }
  return true;
}

bool CommonLegacyRules(const Stored& st, WORD sv, int g, BYTE* t) {
  if (g != 1 && g != 2) return false;
  if (sv >= 0x5002) return true;
  LONG v = 0;
  // local_UpgradeBookletPartition
  if (g == 1) {
    if (!st.U32(1348, &v)) return false;
  } else {
    if (!st.U32(288, &v)) return false;
    v = (static_cast<DWORD>(v) >> 9) & 1;
  }
  if (!SetNum(DDM_BOOKLETKIND, t, nullptr, v ? 2 : 0)) return false;
  // local_UpgradeBookletNumber
  if (!(g == 1 ? st.U16(1352, &v) : st.U8(1203, &v))) return false;
  if (v > 20 && !SetNum(DDM_BOOKLETNUMBER, t, nullptr, 20)) return false;
  // local_UpgradeOutputSelection
  if (!st.U16(g == 1 ? 312 : 304, &v)) return false;
  static const LONG kFrom[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 18, 19};
  static const LONG kTo[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 16, 2, 17, 1};
  for (size_t i = 0; i < std::size(kFrom); ++i) {
    if (v == kFrom[i]) return SetNum(DDM_OUTPUTSELECTION, t, nullptr, kTo[i]);
  }
  return true;  // other values leave 444
}

}  // namespace

// ---- Devmode entry points --------------------------------------------------------------

// The regular upgrade of a stored devmode (`in`, `bytes` real bytes, key s)
// over the defaults `cur` (key c) into out.
static bool RegularDevmode(HCDDD ddd, LPCWSTR name, const BYTE* in, const DmKey& s, const DmKey& c,
                           const BYTE* cur, BYTE* out, NonDevUpdate* update) {
  std::memcpy(out, cur, NRV_DEVMODE_SIZE_KIND1);
  size_t pub = s.size < c.size ? s.size : c.size;
  size_t priv = s.extra < NRV_DEVMODE_EXTRA ? s.extra : NRV_DEVMODE_EXTRA;
  if (pub + priv != static_cast<size_t>(s.size) + s.extra) return false;
  std::memcpy(out, in, pub);
  kp_StoreU16(out + 66, kp_LoadU16(cur + 66));
  kp_StoreU16(out + 68, kp_LoadU16(cur + 68));
  kp_StoreU16(out + 70, kp_LoadU16(cur + 70));
  std::memcpy(out + NRV_DEVMODE_PUBLIC_SIZE, in + s.size, priv);
  kp_StoreU16(out + NRV_DEVMODE_PUBLIC_SIZE, c.structVersion);
  kp_StoreU16(out + NRV_DEVMODE_PUBLIC_SIZE + 2, c.driver);
  std::vector<BYTE> view(NRV_DEVMODE_SIZE_KIND1);
  std::memcpy(view.data(), out, NRV_DEVMODE_SIZE_KIND1);
  return DevmodeRules(ddd, name, s.structVersion, view.data(), out, update);
}

LONG UpgradeDefaultDevmodeEx(const void* stored, DWORD storedBytes, void* output, LPCWSTR deviceName, HCDDD ddd) {
  if (!stored || !output || !ddd) return -1;
  auto* out = static_cast<BYTE*>(output);
  std::vector<BYTE> cur(NRV_DEVMODE_SIZE_KIND1);
  if (!BuildDefaultDevmode(ddd, deviceName, cur.data())) return -1;
  DmKey c;
  if (!DevmodeKey(cur.data(), cur.size(), &c)) return -1;
  auto defaults = [&]() {
    std::memcpy(out, cur.data(), NRV_DEVMODE_SIZE_KIND1);
    return LONG{2};
  };
  const auto* in = static_cast<const BYTE*>(stored);
  DmKey s;
  if (!DevmodeKey(in, storedBytes, &s)) return defaults();
  if (s.size != c.size || s.publicVersion != c.publicVersion || !SameModel(s.model, c.model)) return defaults();
  if (s.driver > c.driver) return defaults();
  if (s.driver == c.driver) {
    if (s.structVersion != c.structVersion) return defaults();
    if (static_cast<DWORD>(s.size) + s.extra < NRV_DEVMODE_SIZE_KIND1) return defaults();
    std::memcpy(out, in, NRV_DEVMODE_SIZE_KIND1);
    kp_StoreU16(out + 70, static_cast<WORD>(NRV_DEVMODE_EXTRA));
    return 1;
  }
  // What the rules move into the queue's non-devmode record is saved only
  // when the whole upgrade succeeded.
  NonDevUpdate update;
  auto upgraded = [&]() {
    SaveNonDevUpdate(ddd, deviceName, update);
    return LONG{0};
  };
  if (s.structVersion >= UPG_DM_STRUCT_LEGACY) {
    return RegularDevmode(ddd, deviceName, in, s, c, cur.data(), out, &update) ? upgraded() : defaults();
  }

  // The legacy path: translate into a temporary devmode, apply the rules of
  // the generation and the common ones, then upgrade it with the key T.
  int generation = s.structVersion >= 0x0100 && s.structVersion <= 0x4007   ? 1
                   : s.structVersion >= 0x5000 && s.structVersion <= 0x5002 ? 2
                                                                            : 0;
  if (!generation) return defaults();
  DmKey t = c;
  t.structVersion = UPG_DM_STRUCT_LEGACY;
  std::vector<BYTE> temp(NRV_DEVMODE_SIZE_FULL);  // some rows lie in the non-devmode record
  if (cdm_SetDefaultDevmode(ddd, temp.data(), nullptr, deviceName ? deviceName : u"") != 1) return defaults();
  WORD fullExtra = kp_LoadU16(temp.data() + 70);
  Stored st{in, static_cast<size_t>(s.size) + s.extra};
  LONG model = 0;
  {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    if (cdmGetDefaultData(ddd, DDM_MODELID, &type, &size, &v) == 1) model = static_cast<LONG>(v);
  }
  std::vector<WORD> nonDevIds;
  bool ok = Translate(st, s.structVersion, generation, temp.data(), &nonDevIds);
  kp_StoreU16(temp.data() + 68, t.size);
  kp_StoreU16(temp.data() + 70, fullExtra);
  if (ok && generation == 1) ok = Generation1Rules(ddd, deviceName, st, s.structVersion, s.driver, model, temp.data());
  // Generation 2: local_UpgradeFavoriteBaseSet changes nothing.
  if (ok) ok = CommonLegacyRules(st, s.structVersion, generation, temp.data());
  if (!ok) return defaults();
  // local_UpgradeNonDevDat: the translated devmode's non-devmode members,
  // with the version-1 fax list, go to the queue's record.
  if (deviceName) {
    update.carried = temp;
    update.carriedIds = nonDevIds;
    update.takeV1Fax = true;
  }
  kp_StoreU16(temp.data() + 70, t.extra);
  kp_StoreU16(temp.data() + NRV_DEVMODE_PUBLIC_SIZE, t.structVersion);
  kp_StoreU16(temp.data() + NRV_DEVMODE_PUBLIC_SIZE + 2, t.driver);
  return RegularDevmode(ddd, deviceName, temp.data(), t, c, cur.data(), out, &update) ? upgraded() : defaults();
}

LONG UpgradeDefaultDevmode(const void* stored, void* output, LPCWSTR deviceName, HCDDD ddd) {
  if (!stored) return -1;
  const auto* in = static_cast<const BYTE*>(stored);
  DWORD bytes = static_cast<DWORD>(kp_LoadU16(in + 68)) + kp_LoadU16(in + 70);
  return UpgradeDefaultDevmodeEx(stored, bytes, output, deviceName, ddd);
}

LONG CommonConvertDevmode(LPCWSTR deviceName, HCDDD ddd, const void* input, void* output, DWORD* size, DWORD mode) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -2;
  }
  if (mode != CDM_CONVERT_MODE_CONVERT && mode != CDM_CONVERT_MODE_DEFAULT) return -2;
  if (*size < NRV_DEVMODE_SIZE_KIND1) {
    *size = NRV_DEVMODE_SIZE_KIND1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  *size = NRV_DEVMODE_SIZE_KIND1;
  if (mode == CDM_CONVERT_MODE_CONVERT) {
    if (!input || !output) return -2;
    LONG r = UpgradeDefaultDevmode(input, output, deviceName, ddd);
    return r < 0 ? -2 : r + 1;
  }
  if (!output || !ddd) return -2;
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_KIND1);
  bool ok = BuildDefaultDevmode(ddd, deviceName, dm.data());
  bool loaded = false;
  bool adjusted = false;
  if (deviceName) {
    HANDLE printer = nullptr;
    std::vector<WCHAR> n(deviceName, deviceName + std::char_traits<char16_t>::length(deviceName) + 1);
    if (OpenPrinterW(n.data(), &printer, nullptr) && printer) {
      std::vector<BYTE> record(PD_RECORD_SIZE);
      loaded = pd_GetPrinterData(printer, record.data(), ddd) == TRUE;
      // The default paper size follows the queue's record (its user-defined
      // papers and forms); the conversion works on the full 5440-byte form.
      if (loaded) {
        std::vector<BYTE> full(NRV_DEVMODE_SIZE_FULL);
        std::memcpy(full.data(), dm.data(), NRV_DEVMODE_SIZE_KIND1);
        adjusted = cdmConvertPaperSize_NT(ddd, printer, full.data(), record.data()) == TRUE;
        if (adjusted) std::memcpy(dm.data(), full.data(), NRV_DEVMODE_SIZE_KIND1);
      }
      ClosePrinter(printer);
    }
  }
  std::memcpy(output, dm.data(), NRV_DEVMODE_SIZE_KIND1);
  return ok && loaded && adjusted ? 3 : -2;
}

LONG UpgradeUserSelDevmode(HANDLE printer, const void* stored, DWORD storedSize, void* output) {
  if (!printer || !stored || !output) return -1;
  auto* info = static_cast<PRINTER_INFO_1W*>(MyGetPrinter(printer, 1));
  HCDDD ddd = cddd_Open(printer);
  LONG r = -1;
  if (info && ddd) {
    auto* out = static_cast<BYTE*>(output);
    const auto* in = static_cast<const BYTE*>(stored);
    r = UpgradeDefaultDevmodeEx(stored, storedSize, output, info->pName, ddd);
    DWORD claimed =
        storedSize >= NRV_DEVMODE_PUBLIC_SIZE ? static_cast<DWORD>(kp_LoadU16(in + 68)) + kp_LoadU16(in + 70) : 0;
    DWORD rest = storedSize > claimed ? storedSize - claimed : 0;  // the stored non-devmode part
    if (rest > NRV_NONDEVMODE_SIZE) rest = NRV_NONDEVMODE_SIZE;
    if (r >= 0) {
      // The model's defaults first, so a stored block without (or with a
      // short) non-devmode part never leaves stray bytes in the output.
      std::vector<BYTE> full(NRV_DEVMODE_SIZE_FULL);
      if (cdm_SetDefaultDevmode(ddd, full.data(), nullptr, info->pName) != 1) {
        r = -1;
      } else {
        std::memcpy(out + NRV_NONDEVMODE_OFFSET, full.data() + NRV_NONDEVMODE_OFFSET, NRV_NONDEVMODE_SIZE);
        if ((r == 0 || r == 1) && rest) std::memcpy(out + NRV_NONDEVMODE_OFFSET, in + claimed, rest);
        if (r == 0) {
          kp_StoreU16(out + 70, kp_LoadU16(full.data() + 70));  // the access needs the full form for 1793
          SetDefault(ddd, DDM_NONDEV_VERSION, out, nullptr);
          kp_StoreU16(out + 70, static_cast<WORD>(NRV_DEVMODE_EXTRA));
        }
      }
    }
  }
  if (ddd) cddd_Close(ddd);
  kcore_Free(info);
  return r;
}

void* wNTc_MakeEnvironment(HANDLE printer, HCDDD ddd, void* output, DWORD* size, BOOL* converted) {
  if (!printer || !ddd || !output || !size || !converted) return nullptr;
  *converted = FALSE;
  auto* info = static_cast<PRINTER_INFO_2W*>(MyGetPrinter(printer, 2));
  if (!info) return nullptr;
  void* source = info->pDevMode;
  void* temp = nullptr;
  if (!source) {
    temp = kcore_Alloc(NRV_DEVMODE_SIZE_FULL);
    if (temp) std::memset(temp, 0, NRV_DEVMODE_SIZE_FULL);
    if (!temp || cdm_SetDefaultDevmode(ddd, temp, nullptr, info->pPrinterName) != 1) {
      kcore_Free(temp);
      kcore_Free(info);
      return nullptr;
    }
    source = temp;
  }
  LONG r = CommonConvertDevmode(info->pPrinterName, ddd, source, output, size, CDM_CONVERT_MODE_CONVERT);
  kcore_Free(temp);
  if (r >= 1 && r <= 3) {
    *converted = TRUE;
    PreConfig_SetAllDataToDDM(ddd->preConfig, output, nullptr, 1);
    info->pDevMode = output;
    return info;
  }
  kcore_Free(info);
  return nullptr;
}
