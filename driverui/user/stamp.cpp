// The stamp store (see kestrel/ui/stamp.h).
#include "kestrel/ui/stamp.h"

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddd.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"

namespace {

// A font described by string ids (numbers read from the string table).
struct FontDesc {
  WORD height;  // string id
  SHORT width;
  WORD escapement;   // string id
  WORD orientation;  // string id
  SHORT weight;
  BYTE italic, underline, strikeOut;
  WORD charSet;  // string id
  BYTE outPrecision, clipPrecision, quality, pitchAndFamily;
  WORD face;  // string id
};

struct StampRow {
  WORD name;  // string id
  WORD text;  // string id
  DWORD placement;
  DWORD offsetX;
  DWORD offsetY;
  WORD size;
  WORD density;
  DWORD color;
  FontDesc font;
  WORD frame;
};

constexpr FontDesc kStampFont = {5620, 0, 5621, 5621, 700, 0, 0, 0, 5622, 0, 0, 2, 0x22, 5623};
constexpr StampRow ZanStampValue[6] = {
    {5600, 5610, 0, 0, 0, 128, 128, 0x00808080, kStampFont, 1},
    {5601, 5611, 0, 0, 0, 128, 128, 0x00808080, kStampFont, 1},
    {5602, 5612, 0, 0, 0, 128, 128, 0x00808080, kStampFont, 1},
    {5603, 5613, 0, 0, 0, 128, 128, 0x000000FF, kStampFont, 1},
    {5604, 5614, 0, 0, 0, 128, 128, 0x00008000, kStampFont, 1},
    {5605, 5615, 0, 0, 0, 128, 128, 0x00808080, kStampFont, 1},
};
// The record answered when no stamp is found (name and text "Undefined").
constexpr StampRow DefaultStampValue = {0, 0, 0, 0, 0, 128, 128, 0x00808080, kStampFont, 1};
constexpr FontDesc DefaultHeaderLogFont = {5624, 0, 5622, 5622, 400, 0, 0, 0, 5622, 0, 0, 2, 0x22, 5623};

constexpr WCHAR kStamps[] = u"Stamps";
constexpr WCHAR kOthers[] = u"Stamps\\Others";
constexpr WCHAR kVersionName[] = u"Stamp Version";
constexpr WCHAR kVersion[] = u"0.01";
constexpr WCHAR kUndefined[] = u"Undefined";

void LoadText(WORD id, WCHAR* out, int chars) {
  out[0] = 0;
  if (id) resource_LoadString(id, out, chars);
  if (!out[0]) lstrcpynW(out, kUndefined, chars);
}

LONG LoadNumber(WORD id) {
  WCHAR text[13] = {};
  if (id) resource_LoadString(id, text, 13);
  return zanLib_atoi(text);
}

void SetValueLogFontInfo(const FontDesc& d, LOGFONTW* f) {
  std::memset(f, 0, sizeof(*f));
  f->lfHeight = LoadNumber(d.height);
  f->lfWidth = d.width;
  f->lfEscapement = LoadNumber(d.escapement);
  f->lfOrientation = LoadNumber(d.orientation);
  f->lfWeight = d.weight;
  f->lfItalic = d.italic;
  f->lfUnderline = d.underline;
  f->lfStrikeOut = d.strikeOut;
  f->lfCharSet = static_cast<BYTE>(LoadNumber(d.charSet));
  f->lfOutPrecision = d.outPrecision;
  f->lfClipPrecision = d.clipPrecision;
  f->lfQuality = d.quality;
  f->lfPitchAndFamily = d.pitchAndFamily;
  LoadText(d.face, f->lfFaceName, LF_FACESIZE);
}

void FromRow(const StampRow& row, STAMPINFO* r) {
  std::memset(r, 0, sizeof(*r));
  LoadText(row.name, r->name, STAMP_NAME_CHARS);
  LoadText(row.text, r->text, STAMP_TEXT_CHARS);
  r->placement = row.placement;
  r->offsetX = static_cast<WORD>(row.offsetX);
  r->offsetY = row.offsetY;
  r->size = row.size;
  r->density = row.density;
  r->color = row.color;
  SetValueLogFontInfo(row.font, &r->font);
  r->frame = row.frame;
  r->reservedZero = 0;
}

// A stored stamp: its value name and its record (name and text terminated).
struct Stored {
  std::u16string valueName;
  STAMPINFO record;
};

// Reads every stamp of the key. 1, or 9 when the enumeration fails.
WORD LoadStamps(HKEY key, std::vector<Stored>* out) {
  out->clear();
  for (DWORD index = 0;; ++index) {
    WCHAR name[STAMP_NAME_CHARS * 2] = {};
    DWORD nameChars = STAMP_NAME_CHARS * 2;
    DWORD type = 0;
    BYTE data[STAMP_RECORD_SIZE];
    DWORD size = sizeof(data);
    LONG rc = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &size);
    if (rc == ERROR_NO_MORE_ITEMS) return STAMP_OK;
    if (rc == ERROR_MORE_DATA) continue;  // a long name or a value larger than a stamp: not a stamp
    if (rc != ERROR_SUCCESS) return STAMP_ENUM;
    Stored s;
    if (!zanStamp_ReadRecord(type, data, size, &s.record)) continue;
    s.valueName = name;
    out->push_back(std::move(s));
  }
}

const Stored* Find(const std::vector<Stored>& all, LPCWSTR name, bool ignoreCase) {
  for (const Stored& s : all)
    if ((ignoreCase ? lstrcmpiW(s.record.name, name) : lstrcmpW(s.record.name, name)) == 0) return &s;
  return nullptr;
}

bool KeyName(HANDLE printer, HCDDD ddd, LPCWSTR sub, WCHAR* out) {
  return local_GetCurrentUserKeyName(printer, ddd, sub, out, PRNID_KEY_CHARS) != FALSE;
}

// Copies every value and sub-key of `from` into `to`.
bool CopyAll(HKEY from, HKEY to) {
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD chars = 256, type = 0, size = 0;
    LONG rc = RegEnumValueW(from, i, name, &chars, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return false;
    std::vector<BYTE> data(size ? size : 1);
    chars = 256;
    rc = RegEnumValueW(from, i, name, &chars, nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS || RegSetValueExW(to, name, 0, type, data.data(), size) != ERROR_SUCCESS) return false;
  }
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD chars = 256;
    LONG rc = RegEnumKeyExW(from, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return false;
    HKEY a = nullptr, b = nullptr;
    if (RegOpenKeyW(from, name, &a) != ERROR_SUCCESS) return false;
    bool ok = RegCreateKeyW(to, name, &b) == ERROR_SUCCESS && CopyAll(a, b);
    RegCloseKey(a);
    if (b) RegCloseKey(b);
    if (!ok) return false;
  }
  return true;
}

// Writes "Stamps", "Stamps\Others" with the version, and the six defaults.
WORD CreateDefaults(const WCHAR* stampsName, const WCHAR* othersName) {
  HKEY stamps = nullptr, others = nullptr;
  if (RegCreateKeyW(HKEY_CURRENT_USER, stampsName, &stamps) != ERROR_SUCCESS) return STAMP_NONE;
  if (RegCreateKeyW(HKEY_CURRENT_USER, othersName, &others) != ERROR_SUCCESS) {
    RegCloseKey(stamps);
    RegDeleteKeyW(HKEY_CURRENT_USER, stampsName);
    return STAMP_NONE;
  }
  bool ok = RegSetValueExW(others, kVersionName, 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                           static_cast<DWORD>(lstrlenW(kVersion) * 2)) == ERROR_SUCCESS;
  for (WORD i = 0; ok && i < 6; ++i) {
    STAMPINFO r;
    FromRow(ZanStampValue[i], &r);
    ok = RegSetValueExW(stamps, r.name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&r), sizeof(r)) ==
         ERROR_SUCCESS;
  }
  RegCloseKey(others);
  RegCloseKey(stamps);
  if (!ok) {
    RegDeleteKeyW(HKEY_CURRENT_USER, othersName);
    RegDeleteKeyW(HKEY_CURRENT_USER, stampsName);
    return STAMP_WRITE;
  }
  return STAMP_OK;
}

// Opens the user's stamp key; also answers what the opening found.
WORD OpenStamps(HANDLE printer, HCDDD ddd, HKEY* key) { return zanStamp_OpenSubKey(printer, ddd, 0, key); }

}  // namespace

BOOL zanStamp_ReadRecord(DWORD type, const BYTE* data, DWORD size, STAMPINFO* record) {
  if (!data || !record || type != REG_BINARY || size != STAMP_RECORD_SIZE) return FALSE;
  std::memcpy(record, data, sizeof(*record));
  record->name[STAMP_NAME_CHARS - 1] = 0;
  record->text[STAMP_TEXT_CHARS - 1] = 0;
  return TRUE;
}

WORD zanStamp_OpenSubKey(HANDLE printer, HCDDD ddd, WORD kind, HKEY* key) {
  if (!key) return STAMP_NONE;
  *key = nullptr;
  WCHAR stampsName[PRNID_KEY_CHARS], othersName[PRNID_KEY_CHARS];
  if (!KeyName(printer, ddd, kStamps, stampsName) || !KeyName(printer, ddd, kOthers, othersName)) return STAMP_NONE;
  const WCHAR* wanted = kind == 1 ? othersName : stampsName;
  if (RegOpenKeyW(HKEY_CURRENT_USER, wanted, key) == ERROR_SUCCESS) return STAMP_OK;

  // No stamps of this user yet: the machine's, or the defaults.
  LPWSTR machinePath = nullptr;
  if (ddd_GetRegistry(ddd->main, 0, &machinePath) != DDD_OK || !machinePath) return STAMP_NONE;
  std::u16string machine = reinterpret_cast<const char16_t*>(machinePath);
  ddd_FreeMem(machinePath);
  machine += kStamps;
  HKEY from = nullptr;
  WORD r;
  if (RegOpenKeyW(HKEY_LOCAL_MACHINE, machine.c_str(), &from) == ERROR_SUCCESS) {
    HKEY to = nullptr;
    bool ok = RegCreateKeyW(HKEY_CURRENT_USER, stampsName, &to) == ERROR_SUCCESS && CopyAll(from, to);
    if (to) RegCloseKey(to);
    RegCloseKey(from);
    r = ok ? STAMP_OK : STAMP_KEY;
  } else {
    r = CreateDefaults(stampsName, othersName) == STAMP_OK ? STAMP_OK : STAMP_KEY;
  }
  if (r != STAMP_OK) return r;
  return RegOpenKeyW(HKEY_CURRENT_USER, wanted, key) == ERROR_SUCCESS ? STAMP_OK : STAMP_KEY;
}

WORD zanStamp_GetEntryNum(HANDLE printer, HCDDD ddd, WORD* count) {
  if (!count) return STAMP_NONE;
  HKEY key = nullptr;
  WORD r = OpenStamps(printer, ddd, &key);
  if (r != STAMP_OK) return r;
  std::vector<Stored> all;
  r = LoadStamps(key, &all);
  RegCloseKey(key);
  if (r == STAMP_OK) *count = static_cast<WORD>(all.size());
  return r;
}

WORD zanStamp_GetStampList(HANDLE printer, HCDDD ddd, LPWSTR buffer, WORD* count, DWORD* size) {
  if (!size) return STAMP_NONE;
  std::vector<std::u16string> names;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) == STAMP_OK) {
    std::vector<Stored> all;
    WORD r = LoadStamps(key, &all);
    RegCloseKey(key);
    if (r != STAMP_OK) return r;
    for (const Stored& s : all) {
      if (names.size() == STAMP_MAX) break;
      names.emplace_back(reinterpret_cast<const char16_t*>(s.record.name));
    }
  } else {
    for (const StampRow& row : ZanStampValue) {
      STAMPINFO rec;
      FromRow(row, &rec);
      names.emplace_back(reinterpret_cast<const char16_t*>(rec.name));
    }
  }
  DWORD needed = 2;
  for (const auto& n : names) needed += static_cast<DWORD>((n.size() + 1) * 2);
  DWORD given = *size;
  *size = needed;
  if (count) *count = static_cast<WORD>(names.size());
  if (!buffer) return STAMP_OK;
  if (given < needed) return STAMP_SMALL;
  size_t k = 0;
  for (const auto& n : names) {
    std::memcpy(buffer + k, n.c_str(), (n.size() + 1) * 2);
    k += n.size() + 1;
  }
  buffer[k] = 0;
  return STAMP_OK;
}

WORD zanStamp_GetStampInfo(HANDLE printer, HCDDD ddd, LPCWSTR name, STAMPINFO* record, BOOL defaultsOnly) {
  if (!record) return STAMP_NONE;
  if (!name) {
    FromRow(DefaultStampValue, record);
    return STAMP_OK;
  }
  HKEY key = nullptr;
  if (!defaultsOnly && OpenStamps(printer, ddd, &key) == STAMP_OK) {
    std::vector<Stored> all;
    WORD r = LoadStamps(key, &all);
    RegCloseKey(key);
    if (r != STAMP_OK) return r;
    const Stored* s = Find(all, name, false);
    if (!s) return STAMP_NONE;
    *record = s->record;
    return STAMP_OK;
  }
  for (const StampRow& row : ZanStampValue) {
    FromRow(row, record);
    if (lstrcmpW(record->name, name) == 0) return STAMP_OK;
  }
  FromRow(DefaultStampValue, record);
  return STAMP_OK;
}

BOOL zanStamp_IsDefaultStamp(LPCWSTR name) {
  if (!name) return FALSE;
  for (const StampRow& row : ZanStampValue) {
    WCHAR n[STAMP_NAME_CHARS];
    LoadText(row.name, n, STAMP_NAME_CHARS);
    if (lstrcmpW(n, name) == 0) return TRUE;
  }
  return FALSE;
}

WORD zanStamp_RegistrationCheck(HANDLE printer, HCDDD ddd, LPCWSTR name, WORD mode) {
  if (!name) return STAMP_OK;
  if (zanStamp_IsDefaultStamp(name)) return mode == 1 ? STAMP_DEFAULT_NAME : STAMP_INUSE;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) != STAMP_OK) return STAMP_KEY;
  std::vector<Stored> all;
  WORD r = LoadStamps(key, &all);
  RegCloseKey(key);
  if (r != STAMP_OK) return r;
  if (Find(all, name, true)) return STAMP_INUSE;
  return all.size() >= STAMP_MAX ? STAMP_FULL : STAMP_OK;
}

WORD zanStamp_Registration(HANDLE printer, HCDDD ddd, const STAMPINFO* record) {
  if (!record) return STAMP_NONE;
  STAMPINFO r = *record;
  r.name[STAMP_NAME_CHARS - 1] = 0;
  r.text[STAMP_TEXT_CHARS - 1] = 0;
  if (zanStamp_IsDefaultStamp(r.name)) return STAMP_DEFAULT;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) != STAMP_OK) return STAMP_KEY;
  std::vector<Stored> all;
  WORD rc = LoadStamps(key, &all);
  if (rc == STAMP_OK) {
    const Stored* old = Find(all, r.name, false);
    if (!old && all.size() >= STAMP_MAX) {
      rc = STAMP_FULL;
    } else {
      LPCWSTR valueName = old ? reinterpret_cast<LPCWSTR>(old->valueName.c_str()) : r.name;
      rc = RegSetValueExW(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&r), sizeof(r)) ==
                   ERROR_SUCCESS
               ? STAMP_OK
               : STAMP_WRITE;
    }
  }
  RegCloseKey(key);
  return rc;
}

WORD zanStamp_EliminationCheck(HANDLE printer, HCDDD ddd, LPCWSTR name) {
  if (!name) return STAMP_NONE;
  if (zanStamp_IsDefaultStamp(name)) return STAMP_DEFAULT;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) != STAMP_OK) return STAMP_KEY;
  std::vector<Stored> all;
  WORD r = LoadStamps(key, &all);
  RegCloseKey(key);
  if (r != STAMP_OK) return r;
  return Find(all, name, false) ? STAMP_OK : STAMP_NONE;
}

WORD zanStamp_Elimination(HANDLE printer, HCDDD ddd, LPCWSTR name) {
  if (!name) return STAMP_NONE;
  if (zanStamp_IsDefaultStamp(name)) return STAMP_DEFAULT;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) != STAMP_OK) return STAMP_KEY;
  std::vector<Stored> all;
  WORD r = LoadStamps(key, &all);
  if (r != STAMP_OK) {
    r = STAMP_DELETE;
  } else if (const Stored* s = Find(all, name, false)) {
    r = RegDeleteValueW(key, s->valueName.c_str()) == ERROR_SUCCESS ? STAMP_OK : STAMP_DELETE;
  } else {
    r = STAMP_NONE;
  }
  RegCloseKey(key);
  return r;
}

WORD zanStamp_AdjustmentCheck(HANDLE printer, HCDDD ddd, const STAMPINFO* record) {
  if (!record) return STAMP_NONE;
  STAMPINFO a = *record;
  a.name[STAMP_NAME_CHARS - 1] = 0;
  a.text[STAMP_TEXT_CHARS - 1] = 0;
  HKEY key = nullptr;
  if (OpenStamps(printer, ddd, &key) != STAMP_OK) return STAMP_KEY;
  std::vector<Stored> all;
  WORD r = LoadStamps(key, &all);
  RegCloseKey(key);
  if (r != STAMP_OK) return r;
  const Stored* s = Find(all, a.name, false);
  if (!s) return STAMP_NOSTORED;
  const STAMPINFO& b = s->record;
  const LOGFONTW& fa = a.font;
  const LOGFONTW& fb = b.font;
  WCHAR faceA[LF_FACESIZE + 1] = {}, faceB[LF_FACESIZE + 1] = {};
  std::memcpy(faceA, fa.lfFaceName, sizeof(fa.lfFaceName));
  std::memcpy(faceB, fb.lfFaceName, sizeof(fb.lfFaceName));
  bool same = lstrcmpW(a.text, b.text) == 0 && a.placement == b.placement && a.offsetX == b.offsetX &&
              a.offsetY == b.offsetY && a.size == b.size && a.density == b.density &&
              a.color == b.color && fa.lfHeight == fb.lfHeight && fa.lfWidth == fb.lfWidth &&
              fa.lfEscapement == fb.lfEscapement && fa.lfOrientation == fb.lfOrientation &&
              fa.lfWeight == fb.lfWeight && fa.lfItalic == fb.lfItalic && fa.lfUnderline == fb.lfUnderline &&
              fa.lfStrikeOut == fb.lfStrikeOut && fa.lfCharSet == fb.lfCharSet &&
              fa.lfOutPrecision == fb.lfOutPrecision && fa.lfClipPrecision == fb.lfClipPrecision &&
              fa.lfPitchAndFamily == fb.lfPitchAndFamily && lstrcmpiW(faceA, faceB) == 0;
  return same ? STAMP_OK : STAMP_DIFFERENT;
}

BOOL SetValueStampInfo(WORD index, STAMPINFO* record) {
  if (!record || index >= 6) return FALSE;
  FromRow(ZanStampValue[index], record);
  return TRUE;
}

LPWSTR SetDefaultHeaderLogFont(LOGFONTW* font) {
  if (!font) return nullptr;
  SetValueLogFontInfo(DefaultHeaderLogFont, font);
  return font->lfFaceName;
}
