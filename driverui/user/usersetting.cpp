// The per-user store and the user-setting record (see kestrel/ui/usersetting.h).
#include "kestrel/ui/usersetting.h"

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/winspool.h"

namespace {

constexpr WORD kStr = DDM_TYPE_STRING, kWord = DDM_TYPE_WORD, kByte = DDM_TYPE_BYTE, kBool = DDM_TYPE_FLAG;

constexpr USERSETTING_MEMBER kMembers[USERSETTING_MEMBERS] = {
    {5121, kStr, 72, 66, 1},
    {5127, kWord, 138, 2, 1},
    {5164, kByte, 140, 1, 1},
    {5166, kStr, 142, 66, 1},
    {5167, kStr, 208, 66, 1},
    {5168, kBool, 276, 4, 1},
    {5169, kBool, 280, 4, 1},
    {5170, kBool, 284, 4, 1},
    {5171, kBool, 288, 4, 1},
    {5172, kBool, 292, 4, 1},
    {5173, kBool, 296, 4, 1},
    {5174, kStr, 300, 66, 1},
    {5175, kStr, 366, 34, 1},
    {5176, kStr, 400, 66, 1},
    {5177, kByte, 466, 1, 1},
    // The members the current structure added.
    {5150, kStr, 468, 66, 2},
    {5165, kByte, 534, 1, 2},
    {5183, kByte, 535, 1, 2},
    {5178, kWord, 536, 2, 2},
    {5179, kStr, 538, 50, 2},
    {5180, kStr, 588, 50, 2},
    {5181, kStr, 638, 34, 2},
    {5182, kStr, 672, 34, 2},
    {5184, kStr, 706, 50, 2},
    {5185, kStr, 756, 34, 2},
};

constexpr bool TableFits() {
  WORD end = 72;
  WORD v1 = 0;
  for (const auto& m : kMembers) {
    if (m.offset < end || m.offset + m.width > 790) return false;
    if (m.type == kStr && (m.offset % 2 || m.width % 2)) return false;
    end = static_cast<WORD>(m.offset + m.width);
    if (m.since == 1) ++v1;
  }
  return v1 == USERSETTING_MEMBERS_1;
}
static_assert(TableFits(), "members overlap or leave the member area");

BYTE* At(USERSETTINGINFO* r, WORD offset) { return reinterpret_cast<BYTE*>(r) + offset; }
const BYTE* At(const USERSETTINGINFO* r, WORD offset) { return reinterpret_cast<const BYTE*>(r) + offset; }


void SetHeader(USERSETTINGINFO* r) {
  kp_StoreU16(r->size, USERSETTING_SIZE);
  kp_StoreU16(r->version, USERSETTING_VERSION);
  kp_StoreU16(r->members, USERSETTING_MEMBERS);
}

// True when the string field holds its NUL.
bool Terminated(const BYTE* field, WORD width) {
  for (WORD i = 0; i + 1 < width; i += 2)
    if (field[i] == 0 && field[i + 1] == 0) return true;
  return false;
}

// Copies text into a string field, cut so that its NUL fits; the rest of the
// field is zero.
void PutText(BYTE* field, WORD width, LPCWSTR text) {
  std::memset(field, 0, width);
  if (!text) return;
  size_t chars = static_cast<size_t>(lstrlenW(text));
  size_t room = width / 2 - 1;
  if (chars > room) chars = room;
  std::memcpy(field, text, chars * sizeof(WCHAR));
}

// The model name into the record; false when there is none or it does not
// fit (a name cut short would never match again).
bool PutModelName(HCDDD ddd, USERSETTINGINFO* r) {
  WORD status = 0;
  LPWSTR model = cdddGetModelName(ddd, &status);
  if (!model) return false;
  bool ok = model[0] != 0 && lstrlenW(model) < USERSETTING_MODEL_CHARS;
  if (ok) PutText(r->modelName, sizeof(r->modelName), model);
  kcore_Free(model);
  return ok;
}

// Opens the user's key of the printer without making a PRNID or a key.
bool OpenExistingUserKey(HANDLE printer, HCDDD ddd, HKEY* key) {
  *key = nullptr;
  BYTE id[PRNID_SIZE];
  if (!ddd || !getPRNID(printer, id)) return false;
  LPWSTR path = nullptr;
  if (ddd_GetRegistry(ddd->main, 1, &path) != DDD_OK || !path) return false;
  WCHAR name[PRNID_KEY_CHARS];
  LPWSTR built = local_CreatePRNIDKey(path, id, nullptr, name, PRNID_KEY_CHARS);
  ddd_FreeMem(path);
  return built && RegOpenKeyW(HKEY_CURRENT_USER, name, key) == ERROR_SUCCESS;
}

}  // namespace

const USERSETTING_MEMBER* UserSetting_Members(void) { return kMembers; }

BOOL SaveCurrentUserData(HANDLE printer, HCDDD ddd, const void* data, DWORD size, DWORD type, LPCWSTR selector,
                         LPCWSTR valueName) {
  if (!ddd || (!data && size) || !valueName) return FALSE;
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, selector, &key)) return FALSE;
  LONG rc = RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

LONG LoadCurrentUserData(HANDLE printer, HCDDD ddd, void* destination, DWORD* size, DWORD type, LPCWSTR selector,
                         LPCWSTR valueName) {
  if (!destination || !size) return -1;
  if (!ddd || !valueName) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, selector, &key)) return ERROR_PATH_NOT_FOUND;
  DWORD stored = 0, needed = 0;
  LONG rc = RegQueryValueExW(key, valueName, nullptr, &stored, nullptr, &needed);
  std::vector<BYTE> buffer;
  if (rc == ERROR_SUCCESS && stored != type) rc = USERDATA_ERROR_TYPE;
  if (rc == ERROR_SUCCESS && needed > *size) {
    *size = needed;
    rc = ERROR_MORE_DATA;
  }
  if (rc == ERROR_SUCCESS) {
    buffer.resize(needed ? needed : 1);
    DWORD got = needed;
    rc = RegQueryValueExW(key, valueName, nullptr, &stored, buffer.data(), &got);
    // The value changed between the two reads: report it rather than copy
    // a part.
    if (rc == ERROR_SUCCESS && (stored != type || got > *size))
      rc = got > *size ? ERROR_MORE_DATA : USERDATA_ERROR_TYPE;
    if (rc == ERROR_MORE_DATA) *size = got;
    if (rc == ERROR_SUCCESS) {
      std::memcpy(destination, buffer.data(), got);
      *size = got;
    }
  }
  RegCloseKey(key);
  return rc;
}

BOOL GetCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, const void* printerData, USERSETTINGINFO* record) {
  (void)printer;  // the members come from the record, the model name from the description
  if (!record) return FALSE;
  std::memset(record, 0, sizeof(*record));
  if (!ddd || !printerData) return FALSE;
  SetHeader(record);
  auto* pd = const_cast<void*>(printerData);  // read only: the access layer takes one pointer type
  for (const auto& m : kMembers) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(m.ddmId, nullptr, pd, &type, &size, &value) != 0 || type != m.type) return FALSE;
    BYTE* field = At(record, m.offset);
    if (m.type == kStr) {
      if (!value || size > m.width) return FALSE;
      std::memcpy(field, reinterpret_cast<const void*>(value), size);
    } else {
      // Scalars come back in the low bytes of the slot (little-endian).
      BYTE bytes[sizeof(ULONG_PTR)];
      std::memcpy(bytes, &value, sizeof(bytes));
      std::memcpy(field, bytes, m.width);
    }
  }
  return PutModelName(ddd, record) ? TRUE : FALSE;
}

BOOL SetCurrentUserSettingInfo(void* printerData, const USERSETTINGINFO* record, DWORD selector) {
  if (!printerData || !record || selector != 0) return FALSE;
  if (kp_LoadU16(record->size) != USERSETTING_SIZE || kp_LoadU16(record->version) != USERSETTING_VERSION) return FALSE;
  std::vector<BYTE> work(static_cast<const BYTE*>(printerData),
                         static_cast<const BYTE*>(printerData) + NRV_PRINTERDATA_SIZE);
  for (const auto& m : kMembers) {
    const BYTE* field = At(record, m.offset);
    WORD rc;
    if (m.type == kStr) {
      rc = ddm_SetValue(m.ddmId, nullptr, work.data(), kStr, m.width, field);
    } else {
      BYTE bytes[4] = {};
      std::memcpy(bytes, field, m.width);
      rc = ddm_SetValue(m.ddmId, nullptr, work.data(), m.type, m.width, bytes);
    }
    if (rc != 0) return FALSE;
  }
  std::memcpy(printerData, work.data(), NRV_PRINTERDATA_SIZE);
  return TRUE;
}

BOOL SaveCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, const USERSETTINGINFO* record, DWORD mode) {
  (void)mode;
  if (!record || !ddd) return FALSE;
  if (kp_LoadU16(record->size) != USERSETTING_SIZE || kp_LoadU16(record->version) != USERSETTING_VERSION) return FALSE;
  return SaveCurrentUserData(printer, ddd, record, USERSETTING_SIZE, REG_BINARY, nullptr, USERSETTING_VALUE);
}

BOOL SetDefaultCurrentUserSettingInfo(BOOL capability, USERSETTINGINFO* record) {
  if (!record) return FALSE;
  std::memset(record, 0, sizeof(*record));
  SetHeader(record);
  // Both names are cut to the 32 characters a 66-byte member holds.
  if (capability) {
    WCHAR name[UNLEN + 1] = {};
    DWORD chars = UNLEN + 1;
    if (!zanLib_GetUserName(name, &chars)) name[0] = 0;
    name[UNLEN] = 0;
    PutText(At(record, 300), 66, name);  // 5174
  } else {
    WCHAR name[34] = {};
    if (resource_LoadString(USERSETTING_STRID_USER, name, 34) <= 0) name[0] = 0;
    name[33] = 0;
    PutText(At(record, 72), 66, name);   // 5121
    PutText(At(record, 468), 66, name);  // 5150
  }
  return TRUE;
}

BOOL UserSetting_ReadStored(DWORD type, const void* bytes, DWORD size, const USERSETTINGINFO* defaults, BOOL carryOver,
                            USERSETTINGINFO* out) {
  if (!defaults || !out) return FALSE;
  USERSETTINGINFO result;
  std::memcpy(&result, defaults, sizeof(result));
  BOOL taken = FALSE;
  if (bytes && type == REG_BINARY && size == USERSETTING_SIZE) {
    USERSETTINGINFO stored;
    std::memcpy(&stored, bytes, sizeof(stored));
    bool ours = kp_LoadU16(stored.size) == USERSETTING_SIZE &&
                std::memcmp(stored.modelName, defaults->modelName, sizeof(stored.modelName)) == 0;
    WORD version = ours ? kp_LoadU16(stored.version) : 0;
    if (version == USERSETTING_VERSION) {
      result = stored;
      // A string member without its NUL keeps its default, so a loaded
      // record always writes back into the printer data.
      for (const auto& m : kMembers)
        if (m.type == kStr && !Terminated(At(&stored, m.offset), m.width))
          std::memcpy(At(&result, m.offset), At(defaults, m.offset), m.width);
      taken = TRUE;
    } else if (version == USERSETTING_VERSION_1 && carryOver) {
      for (const auto& m : kMembers) {
        if (m.since != USERSETTING_VERSION_1) continue;
        const BYTE* from = At(&stored, m.offset);
        if (m.type == kStr && !Terminated(from, m.width)) continue;
        std::memcpy(At(&result, m.offset), from, m.width);
      }
      taken = TRUE;
    }
  }
  std::memcpy(out, &result, sizeof(result));
  return taken;
}

BOOL LoadCurrentUserSettingInfo(HANDLE printer, HCDDD ddd, USERSETTINGINFO* record, DWORD reserved, BOOL carryOver) {
  (void)reserved;
  if (!record || !ddd) return FALSE;
  USERSETTINGINFO defaults;
  SetDefaultCurrentUserSettingInfo(zanLib_CheckCapability_Indirect(ddd, USERSETTING_CAPABILITY), &defaults);
  if (!PutModelName(ddd, &defaults)) return FALSE;

  // Read as any type; the check of the type is the record reader's.
  HKEY key = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &key)) return FALSE;
  BYTE stored[USERSETTING_SIZE];
  DWORD type = 0, size = sizeof(stored);
  LONG rc = RegQueryValueExW(key, USERSETTING_VALUE, nullptr, &type, stored, &size);
  RegCloseKey(key);
  // A missing or oversized value ends in the defaults; a store that cannot
  // be read is a failure.
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_MORE_DATA) return FALSE;
  UserSetting_ReadStored(type, rc == ERROR_SUCCESS ? stored : nullptr, rc == ERROR_SUCCESS ? size : 0, &defaults,
                         carryOver, record);
  return TRUE;
}

BOOL CurrentUserSettingInfoRegCheck(HANDLE printer, HCDDD ddd) {
  HKEY key = nullptr;
  if (!OpenExistingUserKey(printer, ddd, &key)) return FALSE;
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(key, USERSETTING_VALUE, nullptr, &type, nullptr, &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

BOOL local_Regist_Form(HANDLE printer, const DDD_PAPER* paper, LPCWSTR formName) {
  if (!paper || !formName || !formName[0]) return FALSE;
  LONG width, length;
  if (zanLib_IsUsrDefPaper(paper->head.id)) {
    width = 210000;
    length = 297000;
  } else {
    width = static_cast<LONG>(paper->paperLower.first) * 100;
    length = static_cast<LONG>(paper->paperLower.second) * 100;
  }
  FORM_INFO_1W form = {};
  form.Flags = FORM_PRINTER;
  form.pName = const_cast<LPWSTR>(formName);
  form.Size = {width, length};
  form.ImageableArea.left = static_cast<LONG>(paper->marginFirst.first) * 100;
  form.ImageableArea.top = static_cast<LONG>(paper->marginFirst.second) * 100;
  form.ImageableArea.right = width - static_cast<LONG>(paper->marginSecond.first) * 100;
  form.ImageableArea.bottom = length - static_cast<LONG>(paper->marginSecond.second) * 100;
  if (AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form))) return TRUE;
  return GetLastError() == ERROR_FILE_EXISTS;  // someone else added it meanwhile
}

BOOL AddPrinterForms(HANDLE printer, HCDDD ddd) {
  if (!ddd) return FALSE;
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  if (MyEnumForms(printer, &forms, &bytes, &count) != FORMS_OK) {
    kcore_Free(forms);
    return FALSE;
  }
  auto known = [&](LPCWSTR name) {
    for (DWORD i = 0; i < count; ++i)
      if (forms[i].pName && lstrcmpiW(forms[i].pName, name) == 0) return true;
    return false;
  };
  BOOL all = TRUE;
  std::vector<std::u16string> added;
  for (WORD index = 1;; ++index) {
    void* rec = nullptr;
    if (ddd_GetDataByIndexX(DDD_FULL, ddd->main, ddd->referenced, DDD_CAT_PAPER, index, &rec) != DDD_OK || !rec) break;
    auto* paper = static_cast<DDD_PAPER*>(rec);
    WORD id = paper->head.id;
    if (id != 256 && !IsSystemBuiltinPaperID(printer, id)) {
      WCHAR name[PAPDAT_NAME_CHARS] = {};
      bool named;
      if (zanLib_IsUsrDefPaper(id))
        named = zanLib_GetUsrDefPap_DefaultName(zanLib_GetUsrDefPapIndex(id), name, PAPDAT_NAME_CHARS);
      else
        named = paper->name.str && lstrcpynW(name, paper->name.str, PAPDAT_NAME_CHARS) && name[0];
      if (!named) {
        all = FALSE;
      } else {
        bool seen = known(name);
        for (const auto& a : added)
          if (!seen && lstrcmpiW(a.c_str(), name) == 0) seen = true;
        if (!seen) {
          if (local_Regist_Form(printer, paper, name))
            added.emplace_back(name);
          else
            all = FALSE;
        }
      }
    }
    ddd_Free(&rec, DDD_KIND_ANY);
  }
  kcore_Free(forms);
  return all;
}
