// The favourites store under the printer's per-user key, the selector's list,
// and the add and edit dialogs' work (see kestrel/ui/favorite.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/uitext.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/wide_text.h"

namespace {

constexpr DWORD kTextBytes = 4096;  // the longest name or comment value read

void SelKey(WORD number, WCHAR* out) { wsprintfW(out, FAV_SEL_FORMAT, static_cast<int>(number)); }

bool LoadDword(HANDLE printer, HCDDD ddd, LPCWSTR key, LPCWSTR value, DWORD* out) {
  BYTE bytes[4] = {};
  DWORD size = sizeof(bytes);
  if (LoadCurrentUserData(printer, ddd, bytes, &size, REG_DWORD, key, value) != 0 || size != 4) return false;
  *out = kp_LoadU32(bytes);
  return true;
}

bool SaveDword(HANDLE printer, HCDDD ddd, LPCWSTR key, LPCWSTR value, DWORD v) {
  BYTE bytes[4];
  kp_StoreU32(bytes, v);
  return SaveCurrentUserData(printer, ddd, bytes, 4, REG_DWORD, key, value) != FALSE;
}

// A REG_SZ value into out (units with the NUL), cut to fit.
bool LoadText(HANDLE printer, HCDDD ddd, LPCWSTR key, LPCWSTR value, LPWSTR out, size_t units) {
  std::vector<BYTE> bytes(kTextBytes + 2, 0);
  DWORD size = kTextBytes;
  if (LoadCurrentUserData(printer, ddd, bytes.data(), &size, REG_SZ, key, value) != 0) return false;
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  Fav_CopyText(out, text.c_str(), units - 1);
  return true;
}

bool SaveText(HANDLE printer, HCDDD ddd, LPCWSTR key, LPCWSTR value, LPCWSTR text) {
  DWORD bytes = static_cast<DWORD>((kp_WideLength(text) + 1) * sizeof(WCHAR));
  return SaveCurrentUserData(printer, ddd, text, bytes, REG_SZ, key, value) != FALSE;
}

size_t IndexCount(const WORD* index) {
  size_t n = 0;
  while (index[n]) ++n;
  return n;
}

bool ReadByte(WORD id, void* devmode, void* printerData, LONG* out) { return ddm_GetNumber(id, devmode, printerData, out); }

bool WriteSelection(void* devmode, void* printerData, WORD position) {
  BYTE v = static_cast<BYTE>(position);
  return ddm_SetValue(DDM_FAVORITE_SELECTION, devmode, printerData, DDM_TYPE_BYTE, 1, &v) == 0;
}

// A description favourite's name: the item's name cut at its last carriage
// return.
void CutAtLastReturn(LPWSTR name) {
  LPWSTR last = nullptr;
  for (LPWSTR p = name; *p; ++p)
    if (*p == u'\r') last = p;
  if (last) *last = 0;
}

// The description's favourites: their names, and the settings of item i
// laid over a devmode.
struct DddFavorites {
  HCDDD ddd = nullptr;
  DDD_OPTION* option = nullptr;
  WORD count = 0;

  explicit DddFavorites(HCDDD handle) : ddd(handle) {
    void* list = nullptr;
    WORD method = 0, status = 0;
    LPCWSTR name = nullptr;
    if (handle && cdddGetSelectItemInfo(handle, FAV_DDM_LIST, &method, &count, &name, &list, &status))
      option = static_cast<DDD_OPTION*>(list);
    else
      count = 0;
  }
  ~DddFavorites() { cdddSelectItemInfoFree(option); }
  DddFavorites(const DddFavorites&) = delete;
  DddFavorites& operator=(const DddFavorites&) = delete;

  // Item `item` (1-based): its name (FAV_NAME_UNITS + 1 units) and, with a
  // devmode, its record's settings written into it.
  bool Item(WORD item, LPWSTR name, void* devmode) const {
    if (!option || item == 0 || item > count) return false;
    WORD category = 0;
    DDD_OPTIONITEM* rec = nullptr;
    if (ddd_GetItemDataByIndexX(DDD_FULL, FALSE, ddd->main, ddd->referenced, option, item, &category, &rec) !=
            DDD_OK ||
        !rec)
      return false;
    bool ok = rec->name.str != nullptr;
    if (ok && name) {
      Fav_CopyText(name, rec->name.str, FAV_NAME_CHARS);
      CutAtLastReturn(name);
    }
    if (ok && devmode) {
      WORD kind = 0;
      void* fav = nullptr;
      ok = ddma_GetRefDataX(DDD_FULL, ddd->main, ddd->referenced, rec, &kind, &fav) == DDD_OK && fav &&
           kind == DDD_CAT_FAVORITE;
      WORD settings = 0;
      if (ok) ok = ddd_GetFavoriteSettingNum(fav, &settings) == DDD_OK;
      for (WORD i = 1; ok && i <= settings; ++i) {
        WORD id = 0, size = 0, type = 0;
        const void* value = nullptr;
        ok = ddd_GetFavoriteSetting(fav, i, &id, &size, &type, &value) == DDD_OK && value;
        if (!ok) break;
        if (type == DDD_TYPE_STRING) {
          auto text = static_cast<LPCWSTR>(value);
          ok = ddm_SetValue(id, devmode, nullptr, DDM_TYPE_STRING,
                            static_cast<DWORD>((kp_WideLength(text) + 1) * sizeof(WCHAR)), text) == 0;
        } else {
          // A number in the member's own type (the record's type may be
          // another width of the same value).
          BYTE bytes[4] = {};
          std::memcpy(bytes, value, size < 4 ? size : 4);
          LONG v;
          switch (type) {
            case DDD_TYPE_SHORT: v = static_cast<SHORT>(kp_LoadU16(bytes)); break;
            case DDD_TYPE_USHORT: v = kp_LoadU16(bytes); break;
            case DDD_TYPE_BYTE: v = bytes[0]; break;
            default: v = static_cast<LONG>(kp_LoadU32(bytes)); break;
          }
          ok = ddm_SetNumber(id, devmode, nullptr, v);
        }
      }
      if (fav) ddd_Free(&fav, DDD_KIND_ANY);
    }
    void* item_ = rec;
    ddd_Free(&item_, DDD_KIND_ANY);
    return ok;
  }

  // The 1-based item whose name is `name`; 0 when none.
  WORD Find(LPCWSTR name) const {
    for (WORD i = 1; i <= count; ++i) {
      WCHAR n[FAV_NAME_UNITS + 1] = {};
      if (Item(i, n, nullptr) && kp_WideEqual(n, name)) return i;
    }
    return 0;
  }
};

// The model's defaults for the device name, in a 5440-byte devmode.
bool DefaultDevmode(HCDDD ddd, LPCWSTR deviceName, std::vector<BYTE>* dm) {
  dm->assign(NRV_DEVMODE_SIZE_FULL, 0);
  return cdm_SetDefaultDevmode(ddd, dm->data(), nullptr, deviceName) == 1;
}

}  // namespace

// ---- The per-user store

WORD Fav_GetMaximum(HCDDD ddd) {
  if (!ddd) return 0;
  DddFavorites ddds(ddd);
  DWORD max = static_cast<DWORD>(ddds.count) + FAV_EXTRA_SLOTS;
  return static_cast<WORD>(max > FAV_NUMBER_MAX ? FAV_NUMBER_MAX : max);
}

BOOL LoadCurrentUserUserInfo(HANDLE printer, HCDDD ddd, WORD* index, WORD slots) {
  if (!index || slots == 0) return FALSE;
  index[0] = 0;
  WORD max = Fav_GetMaximum(ddd);
  if (max == 0) return FALSE;
  std::vector<BYTE> bytes((FAV_NUMBER_MAX + 1) * 2, 0);
  DWORD size = static_cast<DWORD>(bytes.size());
  LONG rc = LoadCurrentUserData(printer, ddd, bytes.data(), &size, REG_BINARY, FAV_SUBKEY, FAV_VALUE_INDEX);
  if (rc == ERROR_MORE_DATA) {  // longer than any list we write: read what fits of it
    bytes.resize(size);
    rc = LoadCurrentUserData(printer, ddd, bytes.data(), &size, REG_BINARY, FAV_SUBKEY, FAV_VALUE_INDEX);
  }
  if (rc != 0) return FALSE;
  size_t n = 0;
  for (DWORD i = 0; i + 1 < size && n + 1 < slots && n < max; i += 2) {
    WORD number = kp_LoadU16(bytes.data() + i);
    if (number == 0) break;
    if (number > max || std::find(index, index + n, number) != index + n) continue;
    index[n++] = number;
  }
  index[n] = 0;
  return TRUE;
}

BOOL SaveCurrentUserUserInfo(HANDLE printer, HCDDD ddd, const WORD* index, WORD maximum) {
  if (!index || maximum == 0 || maximum > FAV_NUMBER_MAX) return FALSE;
  size_t n = IndexCount(index);
  if (n > maximum) return FALSE;
  std::vector<BYTE> bytes((n + 1) * 2, 0);
  for (size_t i = 0; i < n; ++i) {
    if (index[i] > maximum) return FALSE;
    kp_StoreU16(bytes.data() + 2 * i, index[i]);
  }
  return SaveCurrentUserData(printer, ddd, bytes.data(), static_cast<DWORD>(bytes.size()), REG_BINARY, FAV_SUBKEY,
                             FAV_VALUE_INDEX);
}

WORD CreateFavoriteIndex(const WORD* index, WORD maximum) {
  if (!index) return 0;
  size_t n = IndexCount(index);
  for (WORD number = 1; number <= maximum && number <= FAV_NUMBER_MAX; ++number)
    if (std::find(index, index + n, number) == index + n) return number;
  return 0;
}

BOOL LoadCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number, void* devmode, LPWSTR name, LPWSTR comment,
                            DWORD* flag) {
  if (!printer || !ddd || number == 0 || number > FAV_NUMBER_MAX) return FALSE;
  WCHAR key[32] = {};
  SelKey(number, key);
  WCHAR n[FAV_NAME_UNITS + 1] = {};
  WCHAR c[FAV_COMMENT_UNITS] = {};
  DWORD f = 0;
  if (!LoadText(printer, ddd, key, FAV_VALUE_NAME, n, FAV_NAME_UNITS) || !LoadDword(printer, ddd, key, FAV_VALUE_FLAG, &f))
    return FALSE;
  if (!LoadText(printer, ddd, key, FAV_VALUE_COMMENT, c, FAV_COMMENT_UNITS)) c[0] = 0;  // a favourite without comment
  FavStr_CutComment(c);
  std::vector<BYTE> out;
  if (devmode) {
    std::vector<BYTE> stored(NRV_DEVMODE_SIZE_FULL, 0);
    DWORD size = NRV_DEVMODE_SIZE_FULL;
    if (LoadCurrentUserData(printer, ddd, stored.data(), &size, REG_BINARY, key, FAV_VALUE_DEVMODE) != 0) return FALSE;
    out.assign(NRV_DEVMODE_SIZE_FULL, 0);
    if (UpgradeUserSelDevmode(printer, stored.data(), size, out.data()) < 0) return FALSE;
    std::memcpy(devmode, out.data(), NRV_DEVMODE_SIZE_FULL);
  }
  if (name) Fav_CopyText(name, n, FAV_NAME_CHARS);
  if (comment) Fav_CopyText(comment, c, FAV_COMMENT_UNITS - 1);
  if (flag) *flag = f;
  return TRUE;
}

BOOL SaveCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number, const void* devmode, LPCWSTR name,
                            LPCWSTR comment, DWORD flag) {
  if (!printer || !ddd || number == 0 || number > FAV_NUMBER_MAX || !name) return FALSE;
  WCHAR key[32] = {};
  SelKey(number, key);
  WCHAR n[FAV_NAME_UNITS + 1] = {};
  Fav_CopyText(n, name, FAV_NAME_CHARS);
  WCHAR c[FAV_COMMENT_UNITS] = {};
  if (comment) Fav_CopyText(c, comment, FAV_COMMENT_UNITS - 1);
  FavStr_CutComment(c);
  // The devmode first: a favourite whose settings could not be stored keeps
  // its old name.
  if (devmode && !SaveCurrentUserData(printer, ddd, devmode, NRV_DEVMODE_SIZE_FULL, REG_BINARY, key, FAV_VALUE_DEVMODE))
    return FALSE;
  return SaveText(printer, ddd, key, FAV_VALUE_NAME, n) && SaveText(printer, ddd, key, FAV_VALUE_COMMENT, c) &&
         SaveDword(printer, ddd, key, FAV_VALUE_FLAG, flag);
}

BOOL DeleteCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number) {
  if (!printer || !ddd || number == 0 || number > FAV_NUMBER_MAX) return FALSE;
  if (!PpMgn_DeleteFavMargins(printer, ddd, number)) return FALSE;
  HKEY root = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &root)) return FALSE;
  WCHAR key[32] = {};
  SelKey(number, key);
  LONG rc = RegDeleteKeyW(root, key);
  RegCloseKey(root);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND;
}

BOOL CreateCurrentUserBaseSel(HANDLE printer, HCDDD ddd, LPCWSTR deviceName) {
  if (!printer || !ddd) return FALSE;
  WORD max = Fav_GetMaximum(ddd);
  if (max == 0) return FALSE;
  std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
  LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size()));
  std::vector<WORD> list(index.begin(), index.begin() + static_cast<long>(IndexCount(index.data())));

  std::vector<BYTE> defaults;
  if (!DefaultDevmode(ddd, deviceName, &defaults)) return FALSE;
  BOOL all = TRUE;
  // Favourite 1: the model's defaults, first when it was not listed.
  WCHAR name[FAV_NAME_UNITS + 1] = {};
  if (resource_LoadString(FAV_STRID_DEFAULT_NAME, name, FAV_NAME_UNITS) <= 0) name[0] = 0;
  if (!SaveCurrentUserUserSel(printer, ddd, 1, defaults.data(), name, u"", FAV_FLAG_BASE)) return FALSE;
  if (std::find(list.begin(), list.end(), WORD{1}) == list.end()) list.insert(list.begin(), 1);

  // The description's favourites: under the number a base favourite of the
  // same name holds, else a new number at the end of the list.
  DddFavorites ddds(ddd);
  for (WORD item = 1; item <= ddds.count; ++item) {
    std::vector<BYTE> dm = defaults;
    WCHAR itemName[FAV_NAME_UNITS + 1] = {};
    if (!ddds.Item(item, itemName, dm.data())) {
      all = FALSE;
      continue;
    }
    WORD number = 0;
    for (WORD n : list) {
      WCHAR stored[FAV_NAME_UNITS + 1] = {};
      DWORD flag = FAV_FLAG_USER;
      if (n != 1 && LoadCurrentUserUserSel(printer, ddd, n, nullptr, stored, nullptr, &flag) &&
          flag == FAV_FLAG_BASE && kp_WideEqual(stored, itemName)) {
        number = n;
        break;
      }
    }
    bool fresh = number == 0;
    if (fresh) {
      list.push_back(0);
      number = CreateFavoriteIndex(list.data(), max);
      list.pop_back();
      if (number == 0) {
        all = FALSE;
        continue;
      }
    }
    // The favourite before the list that names it.
    if (!SaveCurrentUserUserSel(printer, ddd, number, dm.data(), itemName, u"", FAV_FLAG_BASE)) {
      all = FALSE;
      continue;
    }
    if (fresh) list.push_back(number);
  }
  list.push_back(0);
  if (!SaveCurrentUserUserInfo(printer, ddd, list.data(), max)) return FALSE;
  return all;
}

BOOL local_VersinUpCurrentUserUserInfo(HANDLE printer, HCDDD ddd, void* devmode, void* printerData) {
  WORD max = Fav_GetMaximum(ddd);
  std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
  if (max == 0 || !LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size()))) return FALSE;
  DWORD position = 0;
  if (!LoadDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, &position)) position = 0;
  DddFavorites ddds(ddd);
  std::vector<WORD> kept;
  bool selectedDropped = false;
  DWORD newPosition = position;
  size_t n = IndexCount(index.data());
  for (size_t i = 0; i < n; ++i) {
    WORD number = index[i];
    WCHAR name[FAV_NAME_UNITS + 1] = {};
    DWORD flag = FAV_FLAG_USER;
    bool keep = true;
    if (number != 1 && LoadCurrentUserUserSel(printer, ddd, number, nullptr, name, nullptr, &flag) &&
        flag == FAV_FLAG_BASE)
      keep = ddds.Find(name) != 0;
    if (keep) {
      kept.push_back(number);
      continue;
    }
    if (i == position) selectedDropped = true;
    else if (i < position && newPosition > 0) --newPosition;
  }
  if (selectedDropped) {
    auto one = std::find(kept.begin(), kept.end(), WORD{1});
    newPosition = one == kept.end() ? 0 : static_cast<DWORD>(one - kept.begin());
  }
  kept.push_back(0);
  if (!SaveCurrentUserUserInfo(printer, ddd, kept.data(), max)) return FALSE;
  if (!SaveDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, newPosition)) return FALSE;
  return WriteSelection(devmode, printerData, static_cast<WORD>(newPosition)) ? TRUE : FALSE;
}

BOOL Fav_LoadList(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, FAV_LIST* list) {
  if (!printer || !ddd || !devmode || !list) return FALSE;
  list->entries.clear();
  list->selected = 0;
  list->maximum = Fav_GetMaximum(ddd);
  if (list->maximum == 0) return FALSE;
  std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
  bool stored = LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size())) != FALSE;
  LONG driver = 0;
  if (!ddm_GetNumber(DDM_PRIVATE_DRIVERVERSION, devmode, printerData, &driver)) return FALSE;
  bool rebuild = !stored;
  if (stored) {
    DWORD storedVersion = 0;
    if (!LoadDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_DRIVERVERSION, &storedVersion) ||
        storedVersion < static_cast<DWORD>(driver)) {
      if (!local_VersinUpCurrentUserUserInfo(printer, ddd, devmode, printerData)) return FALSE;
      rebuild = true;
    }
  } else {
    WriteSelection(devmode, printerData, 0);
    SaveDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, 0);
  }
  if (rebuild) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR device = 0;
    if (ddm_GetValue(DDM_DEVICENAME, devmode, printerData, &type, &size, &device) != 0 || type != DDM_TYPE_STRING)
      return FALSE;
    if (!CreateCurrentUserBaseSel(printer, ddd, reinterpret_cast<LPCWSTR>(device))) return FALSE;
    if (!SaveDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_DRIVERVERSION, static_cast<DWORD>(driver))) return FALSE;
    if (!LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size()))) return FALSE;
  }
  DWORD position = 0;
  if (!LoadDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, &position)) position = 0;
  WriteSelection(devmode, printerData, static_cast<WORD>(position > 0xFF ? 0xFF : position));

  // The chain: one entry a favourite that can be loaded; a description
  // favourite the data no longer lists is skipped.
  DddFavorites ddds(ddd);
  auto chain = [&] {
    list->entries.clear();
    for (size_t i = 0; index[i]; ++i) {
      FAV_ENTRY e = {};
      e.number = index[i];
      if (!LoadCurrentUserUserSel(printer, ddd, e.number, nullptr, e.name, e.comment, &e.flag)) continue;
      if (e.flag == FAV_FLAG_BASE && e.number != 1) {
        e.dddItem = ddds.Find(e.name);
        if (e.dddItem == 0) continue;
      }
      list->entries.push_back(e);
    }
  };
  chain();
  // A stored list that names nothing usable: the base set again, so that
  // the selector always has favourite 1.
  if (list->entries.empty() && !rebuild) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR device = 0;
    if (ddm_GetValue(DDM_DEVICENAME, devmode, printerData, &type, &size, &device) != 0 || type != DDM_TYPE_STRING ||
        !CreateCurrentUserBaseSel(printer, ddd, reinterpret_cast<LPCWSTR>(device)) ||
        !LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size())))
      return FALSE;
    chain();
  }
  if (list->entries.empty()) return FALSE;
  list->selected = static_cast<WORD>(position);
  if (position >= list->entries.size()) {
    list->selected = 0;
    for (size_t i = 0; i < list->entries.size(); ++i)
      if (list->entries[i].number == 1) list->selected = static_cast<WORD>(i);
  }
  return TRUE;
}

// ---- The add and edit dialogs' work

LONG Fav_Add(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, LPCWSTR name, LPCWSTR comment,
             FAV_LIST* list) {
  if (!printer || !ddd || !devmode || !list || !name) return FAV_ERR_ARG;
  size_t chars = kp_WideLength(name);
  if (chars == 0 || chars > FAV_NAME_CHARS) return FAV_ERR_ARG;
  for (LPCWSTR p = name; *p; ++p)
    if (*p < 0x20) return FAV_ERR_ARG;
  WORD max = list->maximum ? list->maximum : Fav_GetMaximum(ddd);
  if (max == 0) return FAV_ERR_STORE;
  std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
  LoadCurrentUserUserInfo(printer, ddd, index.data(), static_cast<WORD>(index.size()));
  std::vector<WORD> numbers(index.begin(), index.begin() + static_cast<long>(IndexCount(index.data())));
  std::vector<FAV_ENTRY> entries = list->entries;

  // 3. A favourite of the same name: the base set's stays, the user's goes.
  WORD replaced = 0;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (!kp_WideEqual(it->name, name)) continue;
    if (it->flag == FAV_FLAG_BASE) return FAV_ERR_PROTECTED;
    replaced = it->number;
    numbers.erase(std::remove(numbers.begin(), numbers.end(), replaced), numbers.end());
    entries.erase(it);
    break;
  }
  // 4. A full list.
  if (numbers.size() >= max) {
    WCHAR title[128] = {}, count[16] = {};
    resource_LoadString(FAV_STRID_TITLE, title, 128);
    wsprintfW(count, u"%u", static_cast<unsigned>(max));
    LPCWSTR args[] = {title, count};
    Fav_MessageBox(owner, FAV_STRID_FULL, args, 2, MB_OK | MB_ICONEXCLAMATION);
    return FAV_ERR_FULL;
  }
  // 5. The favourite and its margins, then the list that names it.
  numbers.push_back(0);
  WORD number = CreateFavoriteIndex(numbers.data(), max);
  numbers.pop_back();
  if (number == 0) return FAV_ERR_FULL;
  FAV_ENTRY e = {};
  Fav_CopyText(e.name, name, FAV_NAME_CHARS);
  if (comment) Fav_CopyText(e.comment, comment, FAV_COMMENT_UNITS - 1);
  FavStr_CutComment(e.comment);
  e.flag = FAV_FLAG_USER;
  e.number = number;
  if (!SaveCurrentUserUserSel(printer, ddd, number, devmode, e.name, e.comment, FAV_FLAG_USER)) return FAV_ERR_STORE;
  if (!PpMgn_DeleteFavMargins(printer, ddd, number)) return FAV_ERR_STORE;
  LONG keep = 0, paper = 0;
  if (ReadByte(DDM_APP_MARGINS, devmode, printerData, &keep) && keep == 1) {
    WORD m[4] = {};
    if (!ddm_GetNumber(DDM_PAPERSIZE, devmode, printerData, &paper)) return FAV_ERR_STORE;
    WORD id = static_cast<WORD>(paper);
    if (!PpMgn_GetMargin(printer, ddd, id, m) && !PpMgn_GetDefaultMargin(ddd, id, m)) return FAV_ERR_STORE;
    if (!PpMgn_SetFavMargin(printer, ddd, number, id, m)) return FAV_ERR_STORE;
  }
  numbers.insert(numbers.begin(), number);
  numbers.push_back(0);
  if (!SaveCurrentUserUserInfo(printer, ddd, numbers.data(), max)) return FAV_ERR_STORE;
  // The replaced favourite is no longer named by the list.
  if (replaced && replaced != number) DeleteCurrentUserUserSel(printer, ddd, replaced);
  entries.insert(entries.begin(), e);
  list->entries = std::move(entries);
  list->maximum = max;
  list->selected = 0;
  WriteSelection(devmode, printerData, 0);
  // The stored position follows, so that the list read again (the page's
  // selector after the dialog, the next sheet) selects the new favourite.
  SaveDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, 0);
  return FAV_OK;
}

BOOL Fav_EditApply(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, WORD selectedNumber,
                   FAV_LIST* list) {
  if (!printer || !ddd || !list) return FALSE;
  WORD max = list->maximum ? list->maximum : Fav_GetMaximum(ddd);
  if (max == 0 || list->entries.size() > max) return FALSE;
  // DDM 442 follows the selected favourite into its new place (favourite 1
  // when it was removed).
  WORD position = 0;
  bool found = false;
  for (size_t i = 0; i < list->entries.size(); ++i)
    if (list->entries[i].number == selectedNumber) {
      position = static_cast<WORD>(i);
      found = true;
    }
  if (!found)
    for (size_t i = 0; i < list->entries.size(); ++i)
      if (list->entries[i].number == 1) position = static_cast<WORD>(i);
  if (devmode && !WriteSelection(devmode, printerData, position)) return FALSE;
  list->selected = position;

  std::vector<WORD> before(FAV_NUMBER_MAX + 1, 0);
  LoadCurrentUserUserInfo(printer, ddd, before.data(), static_cast<WORD>(before.size()));
  std::vector<WORD> numbers;
  for (const auto& e : list->entries) {
    if (e.number == 0 || e.number > max || std::find(numbers.begin(), numbers.end(), e.number) != numbers.end())
      return FALSE;
    if (!SaveCurrentUserUserSel(printer, ddd, e.number, nullptr, e.name, e.comment, e.flag)) return FALSE;
    numbers.push_back(e.number);
  }
  numbers.push_back(0);
  if (!SaveCurrentUserUserInfo(printer, ddd, numbers.data(), max)) return FALSE;
  // The stored position names the same favourite in the new order.
  if (!SaveDword(printer, ddd, FAV_SUBKEY, FAV_VALUE_SELPOSITION, position)) return FALSE;
  // Favourites the dialog removed; favourite 1 (the file's reference) stays.
  for (size_t i = 0; before[i]; ++i)
    if (before[i] != 1 && std::find(numbers.begin(), numbers.end(), before[i]) == numbers.end())
      DeleteCurrentUserUserSel(printer, ddd, before[i]);
  return TRUE;
}

// ---- Strings

BOOL FavStr_CutComment(LPWSTR comment) {
  if (!comment) return FALSE;
  size_t chars = kp_WideLength(comment);
  // Cut whole characters (a surrogate pair is one) from the end until the
  // text fits in the ANSI code page's 255 bytes.
  bool cut = false;
  while (chars > 0) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, comment, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
    if (bytes >= 0 && bytes <= FAV_COMMENT_BYTES) break;
    --chars;
    if (chars > 0 && comment[chars] >= 0xDC00 && comment[chars] <= 0xDFFF && comment[chars - 1] >= 0xD800 &&
        comment[chars - 1] <= 0xDBFF)
      --chars;
    cut = true;
  }
  comment[chars] = 0;
  return cut ? TRUE : FALSE;
}

void FavStr_MakeFileName(LPCWSTR name, LPWSTR out, DWORD units) {
  if (!out || units == 0) return;
  DWORD n = 0;
  for (LPCWSTR p = name; p && *p && n + 1 < units; ++p) {
    WCHAR c = *p;
    if (c < 0x20 || std::u16string_view(u"\\/:,;*?\"<>|").find(c) != std::u16string_view::npos) continue;
    out[n++] = c;
  }
  out[n] = 0;
}

int Fav_MessageBox(HWND owner, UINT stringId, const LPCWSTR* args, int count, UINT type) {
  WCHAR text[4096] = {};
  WCHAR caption[129] = {};
  uiFormatText(stringId, args, count, text, 4096);
  resource_LoadString(FAV_STRID_CAPTION, caption, 129);
  return MessageBoxW(owner, text, caption, type);
}
