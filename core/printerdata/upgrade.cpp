// Upgrade of stored printer-data records (see kestrel/core/upgrade.h), in both
// builds: the kernel-mode renderer upgrades an older stored record when it
// loads it. The devmode upgrade is user mode only (core/um/upgrade_um.cpp).
#include "kestrel/core/upgrade.h"

#include <cstring>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"

#include "upgrade_modes.h"

using namespace upgrade_modes;

namespace upgrade_modes {

// Writes a number in the width of the member's type (not the size the read
// answered, as ddm_SetNumber does): the upgrade rules never write a string,
// a font or a type without a width.
bool SetNum(WORD id, void* dm, void* pd, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR old = 0;
  if (ddm_GetValue(id, dm, pd, &type, &size, &old) != 0) return false;
  size_t n = ddm_NumberSize(type);
  if (!n) return false;
  BYTE bytes[4];
  std::memcpy(bytes, &value, 4);  // little-endian: the low bytes first
  return ddm_SetValue(id, dm, pd, type, static_cast<DWORD>(n), bytes) == 0;
}

// A numeric member's default; a member the data gives no default takes 0,
// the value default setting leaves in it.
bool SetDefault(HCDDD ddd, WORD id, void* dm, void* pd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  LONG got = cdmGetDefaultData(ddd, id, &type, &size, &value);
  if (got == 2) return SetNum(id, dm, pd, 0);
  if (got != 1) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
    cdmDmIdDefaultDataFree(id, value, type);
    return false;  // the rules reset numeric members only
  }
  return SetNum(id, dm, pd, static_cast<LONG>(value));
}

// A flag or value that is set (non-zero); unreadable counts as clear.
bool IsSet(WORD id, void* dm, void* pd) {
  LONG v = 0;
  return ddm_GetNumber(id, dm, pd, &v) && v != 0;
}

}  // namespace upgrade_modes

namespace {

bool SetName30(WORD id, void* pd, const BYTE* src) {
  WCHAR name[16] = {};
  std::memcpy(name, src, 30);
  return ddm_SetValue(id, nullptr, pd, DDM_TYPE_STRING, sizeof(name), name) == 0;
}

bool BuildDefaultRecord(HCDDD ddd, BYTE* record) {
  void* devmode = kcore_Alloc(NRV_DEVMODE_SIZE_FULL);
  if (!devmode) return false;
  std::memset(record, 0, PD_RECORD_SIZE);
  bool ok = cdm_SetDefaultDevmode(ddd, devmode, record, u"DummyName") == 1;
  kcore_Free(devmode);
  return ok;
}

// ---- Printer-data record ------------------------------------------------------

struct PdKey {
  WORD driver = 0;
  WORD structVersion = 0;
  WORD size = 0;
  LONG model = 0;
};

PdKey RecordKey(BYTE* record) {
  PdKey k;
  k.size = kp_LoadU16(record + offsetof(PD_RECORD_HEAD, size));
  k.structVersion = kp_LoadU16(record + offsetof(PD_RECORD_HEAD, structVersion));
  k.driver = kp_LoadU16(record + offsetof(PD_RECORD_HEAD, driverVersion));
  if (!ddm_GetNumber(DDM_MODELID, nullptr, record, &k.model)) k.model = -1;
  return k;
}

bool SetKey(BYTE* record, const PdKey& k) {
  kp_StoreU16(record + offsetof(PD_RECORD_HEAD, size), k.size);
  kp_StoreU16(record + offsetof(PD_RECORD_HEAD, structVersion), k.structVersion);
  kp_StoreU16(record + offsetof(PD_RECORD_HEAD, driverVersion), k.driver);
  return SetNum(DDM_MODELID, nullptr, record, k.model);
}

// The record rules after the copy; stored: the block being upgraded (4736
// bytes, zero beyond what was read); out: the output record.
bool RecordRules(HCDDD ddd, WORD sv, BYTE* stored, BYTE* out, LONG model) {
  LONG cls = ModelClass(model);
  if (sv == 0x5002) {  // local_UpgradeMaxBookletNumber
    LONG v = 0;
    if (!ddm_GetNumber(DDM_MAXBOOKLETNUMBER, nullptr, out, &v)) return false;
    if (v == 0 && !SetDefault(ddd, DDM_MAXBOOKLETNUMBER, nullptr, out)) return false;
  }
  if (sv < 0x5011 && IsSet(DDM_OPTION_FINISHERFLAG, nullptr, stored)) {  // local_UpgradeFinisherType
    LONG t = 0;
    if (cls == 0x20) t = 4;
    else if (cls == 0x30 || cls == 0x40 || cls == 0xA0 || cls == 0x110) t = 1;
    else if (cls == 0x190) t = 2;
    else return false;
    if (!SetNum(DDM_OPTION_FINISHER, nullptr, out, t)) return false;
  }
  if (sv < 0x5005) {  // local_UpgradeMemorySelect
    WORD n = static_cast<WORD>((IsSet(DDM_OPTION_MEMORY1, nullptr, stored) && model != 55 ? 2 : 1) +
                               (IsSet(DDM_OPTION_MEMORY2, nullptr, stored) ? 1 : 0));
    LONG value = 0;
    DDD_GUIDATA* item = nullptr;
    WORD status = 0;
    if (cdddGetSelectItemData(ddd, DDM_OPTION_MEMORYSELECT, n, &item, &status) && item) {
      if (item->value && item->valueSize >= 1) value = *static_cast<const BYTE*>(item->value);
      cdddSelectItemDataFree(item);
    }
    if (!SetNum(DDM_OPTION_MEMORYSELECT, nullptr, out, value)) return false;
  }
  if (sv < 0x5010 && cls == 0x30) {  // local_UpgradeTrayModulet
    LONG t = model == 55                        ? 2
             : IsSet(DDM_OPTION_TRAYMODULE3, nullptr, stored)     ? 3
             : IsSet(DDM_OPTION_TRAYMODULE2, nullptr, stored)     ? 2
             : IsSet(DDM_OPTION_TRAYMODULE1, nullptr, stored)     ? 1
                                                : 0;
    if (!SetNum(DDM_OPTION_INTRAY, nullptr, out, t)) return false;
  }
  if (sv < 0x5010) {  // local_UpgradeUserNameType
    LONG v = 0;
    if (!ddm_GetNumber(DDM_USERNAMETYPE, nullptr, stored, &v)) return false;
    if (!SetNum(DDM_ACCOUNTMODE, nullptr, out, (v == 5 || v == 6) ? 1 : 0)) return false;
    if (v == 1 && !SetNum(DDM_USERNAMETYPE, nullptr, out, 7)) return false;
    if (v == 5 && (!SetDefault(ddd, DDM_USERNAMETYPE, nullptr, out) || !SetNum(DDM_USERNAMETYPE2, nullptr, out, 7))) return false;
  }
  // local_UpgradeFewcolorPrint
  if (!SetDefault(ddd, DDM_COLORSENSORUNIT, nullptr, out) || !SetDefault(ddd, DDM_SPECIAL1, nullptr, out)) return false;
  if (sv < 0x5040 && !SetNum(DDM_HCFSELECT, nullptr, out, IsSet(DDM_OPTION_HICAPACITYTRAY, nullptr, stored) ? 1 : 0))  // local_UpgradeHCFSelect
    return false;
  return true;
}

// Regular record upgrade of stored (4736 bytes, key s) into out.
bool RegularRecord(HCDDD ddd, BYTE* stored, const PdKey& s, const PdKey& c, BYTE* out) {
  if (!BuildDefaultRecord(ddd, out)) return false;
  size_t n = s.size < c.size ? s.size : c.size;
  if (n > PD_RECORD_SIZE) n = PD_RECORD_SIZE;
  if (n != s.size) return false;  // a larger stored record becomes the defaults
  std::memcpy(out, stored, n);
  if (!SetKey(out, c)) return false;
  return RecordRules(ddd, s.structVersion, stored, out, c.model);
}

// The legacy record path: stored (4736, zero beyond read bytes) into temp.
bool LegacyRecord(HCDDD ddd, const BYTE* stored, DWORD readBytes, const PdKey& s, const PdKey& c, BYTE* temp) {
  if (!BuildDefaultRecord(ddd, temp)) return false;
  if (s.structVersion >= 0x4006) {
    constexpr size_t kHead = 1608, kPaper = 34;
    if (readBytes < kHead + 10 * kPaper) return false;
    std::memcpy(temp, stored, kHead);
    for (WORD j = 0; j < 10; ++j) {
      const BYTE* e = stored + kHead + kPaper * j;
      if (!SetNum(static_cast<WORD>(DDM_DEFINEWIDTH_FIRST + j), nullptr, temp, kp_LoadU16(e)) ||
          !SetNum(static_cast<WORD>(DDM_DEFINELENGTH_FIRST + j), nullptr, temp, kp_LoadU16(e + 2)) ||
          !SetName30(static_cast<WORD>(DDM_DEFINENAME_FIRST + j), temp, e + 4))
        return false;
    }
  } else {
    size_t n = s.size;
    if (n > readBytes) n = readBytes;
    if (n > PD_RECORD_SIZE) n = PD_RECORD_SIZE;
    std::memcpy(temp, stored, n);
  }
  kp_StoreU16(temp + offsetof(PD_RECORD_HEAD, size), static_cast<WORD>(PD_RECORD_SIZE));
  WORD sv = s.structVersion;
  BYTE* raw = const_cast<BYTE*>(stored);
  if (sv == 0x0100) {  // local_UpgradeOptionDuplexFlag
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR def = 0;
    LONG got = cdmGetDefaultData(ddd, DDM_OPTION_DUPLEX, &type, &size, &def);
    if (got != 1 || def == 0) {
      if (!SetNum(DDM_OPTION_DUPLEX, nullptr, temp, 1)) return false;
    }
  }
  if (sv == 0x4001 || sv == 0x4002 || (sv == 0x4005 && c.model == 115)) {  // local_UpgradeModelID
    if (!SetNum(DDM_MODELID, nullptr, temp, c.model)) return false;
  }
  if (sv <= 0x3000 && ModelClass(c.model) == 0x10) {  // local_UpgradePDLVersion
    LONG v = 0;
    if (!ddm_GetNumber(DDM_PDLKIND, nullptr, raw, &v)) return false;
    if (v == 0 && !SetNum(DDM_PDLVERSION, nullptr, temp, 0x01010501)) return false;
    if (v == 1 && !SetNum(DDM_PDLVERSION, nullptr, temp, 0x01010702)) return false;
  }
  if (sv < 0x4005 && !SetDefault(ddd, DDM_DEVICECOLLATE, nullptr, temp)) return false;  // local_UpgradeDeviceCollate
  if (sv < 0x4006) {  // local_UpgradeCustomPaper
    if (readBytes < 916 + 5 * 30) return false;
    for (WORD j = 0; j < 5; ++j) {
      if (!SetNum(static_cast<WORD>(DDM_DEFINEWIDTH_FIRST + j), nullptr, temp, kp_LoadU16(stored + 896 + 2 * j)) ||
          !SetNum(static_cast<WORD>(DDM_DEFINELENGTH_FIRST + j), nullptr, temp, kp_LoadU16(stored + 906 + 2 * j)) ||
          !SetName30(static_cast<WORD>(DDM_DEFINENAME_FIRST + j), temp, stored + 916 + 30 * j))
        return false;
    }
  }
  return true;
}

}  // namespace

// ---- Printer-data entry points -----------------------------------------------------

LONG local_VersionUpCheck_PD(const void* stored, DWORD storedBytes, void* output, HCDDD ddd) {
  if (!stored || !output || !ddd) return -1;
  auto* out = static_cast<BYTE*>(output);
  // Three records of work space from one zero-filled block (the kernel-mode
  // build has no heap but the engine's).
  struct Work {
    BYTE* p = static_cast<BYTE*>(kcore_Alloc(3 * PD_RECORD_SIZE));
    ~Work() { kcore_Free(p); }
  } work;
  if (!work.p) return -1;
  BYTE* cur = work.p;
  BYTE* s = work.p + PD_RECORD_SIZE;
  BYTE* temp = work.p + 2 * PD_RECORD_SIZE;
  if (!BuildDefaultRecord(ddd, cur)) return -1;
  PdKey c = RecordKey(cur);
  DWORD n = storedBytes < PD_RECORD_SIZE ? storedBytes : PD_RECORD_SIZE;
  if (n < sizeof(PD_RECORD_HEAD)) {
    std::memcpy(out, cur, PD_RECORD_SIZE);
    return 2;
  }
  std::memcpy(s, stored, n);
  PdKey k = RecordKey(s);
  if (k.structVersion < 0x4003 || (k.structVersion == 0x4005 && c.model == 115) ||
      (k.structVersion == 0x5100 && ModelClass(c.model) == 0x350))
    k.model = c.model;

  auto defaults = [&]() {
    std::memcpy(out, cur, PD_RECORD_SIZE);
    return LONG{2};
  };
  if (k.size > storedBytes) return defaults();  // claims bytes that were never read
  if (k.model != c.model || k.driver > c.driver) return defaults();
  if (k.driver == c.driver) {
    if (k.structVersion != c.structVersion) return defaults();
    if (storedBytes < PD_RECORD_SIZE) return defaults();
    // The current layout, used whole whatever the size field says (see
    // kestrel/core/upgrade.h).
    std::memcpy(out, stored, PD_RECORD_SIZE);
    return 1;
  }
  bool ok;
  if (k.structVersion < UPG_PD_STRUCT_LEGACY) {
    PdKey t = c;
    t.structVersion = 0x5000;
    ok = LegacyRecord(ddd, s, n, k, c, temp) && RegularRecord(ddd, temp, t, c, out);
  } else {
    ok = RegularRecord(ddd, s, k, c, out);
  }
  return ok ? 0 : defaults();
}

LONG CommonConvertPrinterDataEx(const void* stored, DWORD storedBytes, void* output, HCDDD ddd) {
  return local_VersionUpCheck_PD(stored, storedBytes, output, ddd);
}

LONG CommonConvertPrinterData(const void* stored, void* output, HCDDD ddd) {
  if (!stored) return -1;
  // Without a length the record's own size field is its length.
  WORD size = kp_LoadU16(static_cast<const BYTE*>(stored));
  return local_VersionUpCheck_PD(stored, size, output, ddd);
}

LONG upg_ConvertStoredRecord(HANDLE, HCDDD ddd, const void* stored, DWORD size, void* out) {
  return local_VersionUpCheck_PD(stored, size, out, ddd);
}
