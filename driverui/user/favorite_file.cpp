// The favourite file: one favourite written as a profile (INI) file and read
// back as a new favourite (see kestrel/ui/favorite.h).
//
// File layout, sections in this order (the reader skips the first two by
// position):
//   [Header]        "Model Name" (DDM 259), "DRVVersion" (258), "DDMVersion"
//                   (257), "DDDVersion" (the description file's packed
//                   version, when known), "FavoriteFileVersion" "100", "Lang"
//                   (the user's language id), "Sel Name"
//   [Sel Comment]   the comment as a string section
//   [<id>]          one a setting that differs from favourite 1, named by
//                   its id of the devmode-access interface in decimal: a
//                   string as a string section, any other value as "Data"
//                   in decimal (signed for the signed types)
//   [Paper Margin]  with DDM 387 = 1: "<paper id>=L<left>,R<right>,T<top>,B<bottom>"
//                   in 0.1 mm
// String section: "Size" the text's bytes in the ANSI code page + 1, the
// text cut at each line break into "String1", "String2", ..., "Num" the
// number of pieces. Every string value is written in double quotes, so
// blanks at its ends survive the profile reader's trimming.
//
// Decisions:
//  - The export writes a temporary file beside the target and renames it
//    over the target at the end: a failure leaves the old file and no
//    partial one, and shows message 4716 (the import's message, with the
//    file's path) so the user knows the file was not written.
//  - A line break is CR LF, or a lone CR or LF (the profile file cannot hold
//    either); the import joins the pieces with CR LF.
//  - Settings without an id of the devmode-access interface cannot be
//    named in the file and are not written.
//  - The import reads and checks the whole file before it stores anything:
//    "Size" is 1-256 (a comment is at most 255 bytes), "Num" 1-129, each
//    piece within the "Size" + 3 units the text is read into; a string
//    setting's "Size" at most 4096; "Data" in the setting's own type and
//    range (an unsigned 32-bit value also as the negative number the core
//    writes for it from 2^31 up); a margin line needs a paper id and the four letters L, R, T, B
//    each followed by a number 0-65535; the section list and the margins
//    are read into buffers grown while the reader cuts them (section names
//    up to 64 Ki units, margins up to 1 Mi units). A name the export never
//    writes (DDM 1, 6, 257-261, 374, 439, 442, 1824-1828, fonts, printer
//    data) is skipped. An empty "Sel Name" is refused.
//  - Section names are converted with the file's "DDMVersion" as the
//    structure version (a 0x5002 file numbers 448-450 and 1281-1330 as
//    themselves).
//  - The new favourite's number is free in the dialog's list and in the
//    stored index list, so a deletion pending in the dialog survives.
//  - The constraint check runs over a copy; when it changed settings, 4720
//    names the changed settings. OK stores the corrected copy; Cancel
//    deletes the favourite and its margins again. A check that cannot run
//    fails the import.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/favorite.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_profile.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/wide_text.h"

namespace {

using Text = std::u16string;

constexpr const char16_t* kHeader = u"Header";
constexpr const char16_t* kComment = u"Sel Comment";
constexpr const char16_t* kMargins = u"Paper Margin";
constexpr const char16_t* kFileVersion = u"100";
constexpr DWORD kSectionListUnits = 2048;
constexpr DWORD kSectionListLimit = 65536;
constexpr DWORD kMarginLimit = 1u << 20;
constexpr DWORD kCommentSizeMax = FAV_COMMENT_BYTES + 1;
constexpr DWORD kPiecesMax = FAV_COMMENT_BYTES / 2 + 2;  // 129: every other byte a line break
constexpr DWORD kStringItemSizeMax = 4096;

// Settings the file never carries (device name, fields, the versions and
// model written in the header, the fax files, the selection itself, the
// job's own members).
constexpr WORD kNeverWritten[] = {1, 6, 260, 261, 374, 439, 442, 1824, 1825, 1826, 1827, 1828};
constexpr WORD kHeaderIds[] = {257, 258, 259};

bool Excluded(WORD id) {
  return std::find(std::begin(kNeverWritten), std::end(kNeverWritten), id) != std::end(kNeverWritten) ||
         std::find(std::begin(kHeaderIds), std::end(kHeaderIds), id) != std::end(kHeaderIds);
}

// The settings a file may carry: the members of every devmode table that is
// not the printer data's, in table order, without the excluded ones.
const std::vector<WORD>& CarriedIds() {
  static const std::vector<WORD> ids = [] {
    std::vector<WORD> out;
    WORD kind = 0;
    for (WORD table = 0; dmGetDevmodeTableKind(table, &kind); ++table) {
      if (kind == DDM_KIND_PRINTERDATA) continue;
      for (WORD i = 0;; ++i) {
        WORD id = dmGetDevmodeDdmID(table, i);
        if (id == 0) break;
        if (!Excluded(id)) out.push_back(id);
      }
    }
    return out;
  }();
  return ids;
}

bool Carried(WORD id) {
  const auto& ids = CarriedIds();
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

Text Dec(long long v) {
  std::string s = std::to_string(v);
  return Text(s.begin(), s.end());
}

Text Quoted(LPCWSTR text) { return Text(u"\"") + text + u"\""; }

// The pieces of a text cut at its line breaks.
std::vector<Text> Pieces(LPCWSTR text) {
  std::vector<Text> out(1);
  for (LPCWSTR p = text; *p; ++p) {
    if (*p == u'\r' || *p == u'\n') {
      if (p[0] == u'\r' && p[1] == u'\n') ++p;
      out.emplace_back();
    } else {
      out.back() += *p;
    }
  }
  return out;
}

int AnsiBytes(LPCWSTR text) {
  int chars = static_cast<int>(kp_WideLength(text));
  if (chars == 0) return 0;
  return WideCharToMultiByte(CP_ACP, 0, text, chars, nullptr, 0, nullptr, nullptr);
}

// Writes a file key by key; the first failure sticks.
struct Writer {
  LPCWSTR path;
  bool ok = true;
  void Put(LPCWSTR section, LPCWSTR key, const Text& value) {
    if (ok) ok = WritePrivateProfileStringW(section, key, value.c_str(), path) != FALSE;
  }
  void StringSection(LPCWSTR section, LPCWSTR text) {
    int bytes = AnsiBytes(text);
    if (bytes < 0) {
      ok = false;
      return;
    }
    Put(section, u"Size", Dec(bytes + 1));
    auto pieces = Pieces(text);
    for (size_t i = 0; i < pieces.size(); ++i) Put(section, (u"String" + Dec(static_cast<long long>(i + 1))).c_str(), Quoted(pieces[i].c_str()));
    Put(section, u"Num", Dec(static_cast<long long>(pieces.size())));
  }
};

// A string member's text: the member may sit at an odd offset of the
// devmode, so it is copied byte-wise, within the member's bytes.
Text StringOf(ULONG_PTR address, DWORD bytes) {
  Text out;
  const auto* p = reinterpret_cast<const BYTE*>(address);
  for (DWORD i = 0; p && i + 1 < bytes; i += 2) {
    char16_t c;
    std::memcpy(&c, p + i, 2);
    if (c == 0) break;
    out += c;
  }
  return out;
}

bool GetString(WORD id, void* devmode, void* printerData, Text* out) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(id, devmode, printerData, &type, &size, &v) != 0 || type != DDM_TYPE_STRING || !v) return false;
  *out = StringOf(v, size);
  return true;
}

// 0 equal, 2 error, else different; strings compared as copies.
LONG Compare(WORD type, ULONG_PTR a, DWORD sa, ULONG_PTR b, DWORD sb) {
  if (type != DDM_TYPE_STRING) return cdmCompare(type, &a, &b);
  if (!a || !b) return 2;
  return StringOf(a, sa) == StringOf(b, sb) ? 0 : 1;
}

// The folder part of a path (up to its last backslash); false without one.
bool FolderOf(LPCWSTR path, Text* folder) {
  Text p = path;
  size_t slash = p.find_last_of(u"\\/");
  if (slash == Text::npos) return false;
  *folder = p.substr(0, slash == 2 && p[1] == u':' ? 3 : slash);
  return !folder->empty();
}

// The reference of both sides: the defaults of the device, with favourite 1
// laid over them when it can be loaded.
bool Reference(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, std::vector<BYTE>* ref) {
  Text device;
  if (!GetString(DDM_DEVICENAME, devmode, printerData, &device)) return false;
  ref->assign(NRV_DEVMODE_SIZE_FULL, 0);
  if (cdm_SetDefaultDevmode(ddd, ref->data(), nullptr, device.c_str()) != 1) return false;
  LoadCurrentUserUserSel(printer, ddd, 1, ref->data(), nullptr, nullptr, nullptr);
  return true;
}

void ShowFileFailed(HWND owner, LPCWSTR path) {
  LPCWSTR args[] = {path};
  Fav_MessageBox(owner, FAV_STRID_FILE_FAILED, args, 1, MB_OK | MB_ICONEXCLAMATION);
}

// ---- Reading

// A whole decimal number (optional '-' when signed), nothing else around it.
bool ParseDecimal(const Text& t, bool allowSign, long long* out) {
  size_t i = 0;
  bool negative = false;
  if (allowSign && i < t.size() && t[i] == u'-') {
    negative = true;
    ++i;
  }
  if (i >= t.size() || t.size() - i > 10) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    v = v * 10 + (t[i] - u'0');
  }
  *out = negative ? -v : v;
  return true;
}

struct Reader {
  LPCWSTR path;
  Text Get(LPCWSTR section, LPCWSTR key, DWORD units, bool* present) {
    std::vector<WCHAR> buffer(units + 1, 0);
    // A key that is not there answers the default; a marker no file holds
    // tells the two apart.
    GetPrivateProfileStringW(section, key, u"\x01", buffer.data(), units, path);
    *present = !(buffer[0] == 1 && buffer[1] == 0);
    return *present ? Text(buffer.data()) : Text();
  }
  // A string section: false when "Size" or "Num" is missing or out of
  // bounds, or a piece does not fit in the text's buffer.
  bool StringSection(LPCWSTR section, DWORD sizeMax, Text* out) {
    bool present = false;
    long long size = 0, num = 0;
    if (!ParseDecimal(Get(section, u"Size", 64, &present), false, &size) || size < 1 ||
        size > static_cast<long long>(sizeMax))
      return false;
    if (!ParseDecimal(Get(section, u"Num", 64, &present), false, &num) || num < 1 ||
        num > static_cast<long long>(kPiecesMax))
      return false;
    const DWORD units = static_cast<DWORD>(size) + 3;
    out->clear();
    for (long long i = 1; i <= num; ++i) {
      // One unit more than the text may hold: a piece the reader had to cut
      // shows as one that does not fit.
      Text piece = Get(section, (u"String" + Dec(i)).c_str(), units + 1, &present);
      if (!present) return false;
      if (i > 1) *out += u"\r\n";
      *out += piece;
      if (out->size() + 1 > units) return false;
    }
    return true;
  }
  // A list of NUL-separated strings read into a buffer grown while cut.
  bool List(LPCWSTR section, DWORD first, DWORD limit, std::vector<WCHAR>* buffer) {
    for (DWORD units = first; units <= limit; units *= 2) {
      buffer->assign(units, 0);
      DWORD got = section ? GetPrivateProfileSectionW(section, buffer->data(), units, path)
                          : GetPrivateProfileSectionNamesW(buffer->data(), units, path);
      if (got + 2 < units) return true;
    }
    return false;
  }
};

// One setting read from the file.
struct Item {
  WORD ddmId;
  WORD type;
  DWORD size;
  Text text;       // type 6
  ULONG_PTR value; // other types
};

struct Margin {
  WORD paper;
  WORD m[4];  // top, bottom, left, right
};

// "L<n>,R<n>,T<n>,B<n>" in any order: each letter once, then its number up
// to the next ',' or the end.
bool ParseMargins(const Text& value, WORD m[4]) {
  bool seen[4] = {};
  const Text letters = u"TBLR";  // the store's order: top, bottom, left, right
  size_t i = 0;
  while (i < value.size()) {
    size_t comma = value.find(u',', i);
    Text part = value.substr(i, comma == Text::npos ? Text::npos : comma - i);
    if (part.empty()) return false;
    size_t which = letters.find(part[0]);
    long long n = 0;
    if (which == Text::npos || seen[which] || !ParseDecimal(part.substr(1), false, &n) || n > 0xFFFF) return false;
    seen[which] = true;
    m[which] = static_cast<WORD>(n);
    if (comma == Text::npos) break;
    i = comma + 1;
    if (i == value.size()) return false;
  }
  return seen[0] && seen[1] && seen[2] && seen[3];
}

// The text of a number read in the item's type; false outside its range.
bool ParseValue(WORD type, const Text& text, ULONG_PTR* out) {
  long long v = 0;
  bool isSigned = type == DDM_TYPE_SHORT || type == DDM_TYPE_LONG || type == DDM_TYPE_LFLONG || type == DDM_TYPE_DWORD;
  if (!ParseDecimal(text, isSigned, &v)) return false;
  long long lo = 0, hi = 0;
  switch (type) {
    case DDM_TYPE_FLAG: hi = 1; break;
    case DDM_TYPE_SHORT: lo = -32768; hi = 32767; break;
    case DDM_TYPE_WORD: hi = 0xFFFF; break;
    case DDM_TYPE_LONG:
    case DDM_TYPE_LFLONG: lo = -2147483648LL; hi = 2147483647LL; break;
    // The core writes an unsigned 32-bit value as a signed one ("%ld"): a
    // value from 2^31 up comes back negative.
    case DDM_TYPE_DWORD: lo = -2147483648LL; hi = 0xFFFFFFFFLL; break;
    case DDM_TYPE_BYTE: hi = 0xFF; break;
    default: return false;
  }
  if (v < lo || v > hi) return false;
  *out = static_cast<ULONG_PTR>(static_cast<DWORD>(static_cast<LONG>(v)));
  return true;
}

// The names of the settings two devmodes differ in, one a line.
Text ChangedSettings(HCDDD ddd, void* before, void* after, void* printerData) {
  Text out;
  WORD kind = 0;
  for (WORD table = 0; dmGetDevmodeTableKind(table, &kind); ++table) {
    if (kind == DDM_KIND_PRINTERDATA) continue;
    for (WORD i = 0;; ++i) {
      WORD id = dmGetDevmodeDdmID(table, i);
      if (id == 0) break;
      WORD ta = 0, tb = 0;
      DWORD sa = 0, sb = 0;
      ULONG_PTR a = 0, b = 0;
      if (ddm_GetValue(id, before, printerData, &ta, &sa, &a) != 0 ||
          ddm_GetValue(id, after, printerData, &tb, &sb, &b) != 0 || ta != tb || ta == DDM_TYPE_FONT)
        continue;
      if (Compare(ta, a, sa, b, sb) == 0) continue;
      void* list = nullptr;
      WORD method = 0, count = 0, status = 0;
      LPCWSTR name = nullptr;
      if (cdddGetSelectItemInfo(ddd, id, &method, &count, &name, &list, &status) && name && name[0]) {
        if (out.find(name) == Text::npos) out += Text(name) + u"\r\n";
      }
      cdddSelectItemInfoFree(list);
    }
  }
  if (out.size() >= 2) out.resize(out.size() - 2);
  return out;
}

}  // namespace

LONG Fav_CheckAllConstraints(HCDDD ddd, HWND owner, const void* devmode, void* printerData, void* checked) {
  if (!ddd || !devmode || !printerData || !checked) return -1;
  std::memcpy(checked, devmode, NRV_DEVMODE_SIZE_FULL);
  CDM_SKIP_ENTRY* skip = cdmNewSkipArray();
  LONG swept = skip ? cdmAllDataConstUpdateLoop(nullptr, owner, ddd, checked, printerData, nullptr, owner, skip) : -1;
  if (skip) dmDeleteNRVDEVMODE(skip);
  if (swept != 1) return -1;
  return std::memcmp(checked, devmode, NRV_DEVMODE_SIZE_FULL) != 0 ? 1 : 0;
}

BOOL Fav_DifferingSettings(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, std::vector<WORD>* ids) {
  if (!printer || !ddd || !devmode || !ids) return FALSE;
  ids->clear();
  std::vector<BYTE> ref;
  if (!Reference(printer, ddd, devmode, printerData, &ref)) return FALSE;
  for (WORD id : CarriedIds()) {
    WORD ta = 0, tb = 0;
    DWORD sa = 0, sb = 0;
    ULONG_PTR a = 0, b = 0;
    if (ddm_GetValue(id, devmode, printerData, &ta, &sa, &a) != 0 ||
        ddm_GetValue(id, ref.data(), printerData, &tb, &sb, &b) != 0 || ta != tb || ta == DDM_TYPE_FONT)
      continue;
    if (Compare(ta, a, sa, b, sb) != 0) ids->push_back(id);
  }
  return TRUE;
}

BOOL FavFile_GetFolder(HCDDD ddd, LPWSTR folder, DWORD units) {
  if (!ddd || !folder || units < MAX_PATH) return FALSE;
  folder[0] = 0;
  Text result;
  if (zanLib_IsPCL6Driver(ddd) > 0) {
    WCHAR windows[MAX_PATH + 1] = {};
    UINT got = GetWindowsDirectoryW(windows, MAX_PATH);
    WCHAR tail[MAX_PATH] = {};
    if (got == 0 || got >= MAX_PATH || resource_LoadString(FAV_STRID_FOLDER, tail, MAX_PATH) <= 0) {
      result = u"C:\\Halcyra\\Form";
    } else {
      Text w = windows;
      size_t slash = w.find(u'\\');
      result = (slash == Text::npos ? w : w.substr(0, slash)) + tail;
    }
  } else {
    ULONG_PTR value = 0;
    WORD type = 0, status = 0;
    if (!cdddGetDefaultDataInfo(ddd, FAV_DDM_FOLDER, &value, &type, &status) || type != DDM_TYPE_STRING) return FALSE;
    result = reinterpret_cast<LPCWSTR>(value);
    cdddGetDefaultDataFree(value, type);
  }
  while (result.size() > 3 && (result.back() == u'\\' || result.back() == u'/')) result.pop_back();
  if (result.size() + 1 > units) return FALSE;
  // Each folder of the path, from the top.
  for (size_t i = 3; i <= result.size(); ++i) {
    if (i < result.size() && result[i] != u'\\') continue;
    Text part = result.substr(0, i);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return FALSE;
  }
  Fav_CopyText(folder, result.c_str(), units - 1);
  return TRUE;
}

BOOL FavFile_ProposeName(void* devmode, void* printerData, LPCWSTR name) {
  if (!devmode || !name) return FALSE;
  // DDM 375 holds 128 characters and a NUL (258 bytes); the name is at most
  // 32 characters, so its file name always fits.
  WCHAR file[FAV_NAME_UNITS + 1] = {};
  FavStr_MakeFileName(name, file, FAV_NAME_UNITS);
  return ddm_SetValue(DDM_FAX_ADDRESS_FILE, devmode, printerData, DDM_TYPE_STRING,
                      static_cast<DWORD>((kp_WideLength(file) + 1) * sizeof(WCHAR)), file) == 0;
}

BOOL FavFile_Export(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, WORD number,
                    LPCWSTR name, LPCWSTR comment, LPCWSTR path) {
  if (!printer || !ddd || !devmode || !name || !path || !path[0] || number == 0) return FALSE;
  Text folder;
  WCHAR temp[MAX_PATH + 16] = {};
  bool haveTemp = FolderOf(path, &folder) && GetTempFileNameW(folder.c_str(), u"kfv", 0, temp) != 0;
  Writer w{temp};
  w.ok = haveTemp;

  // 2. The reference.
  std::vector<BYTE> ref;
  if (w.ok) w.ok = Reference(printer, ddd, devmode, printerData, &ref);

  // 3. The header and the comment.
  Text model;
  LONG driver = 0, structure = 0;
  if (w.ok)
    w.ok = GetString(DDM_MODELNAME, devmode, printerData, &model) &&
           ddm_GetNumber(DDM_PRIVATE_DRIVERVERSION, devmode, printerData, &driver) &&
           ddm_GetNumber(DDM_PRIVATE_VERSION, devmode, printerData, &structure);
  w.Put(kHeader, u"Model Name", Quoted(model.c_str()));
  w.Put(kHeader, u"DRVVersion", Dec(static_cast<WORD>(driver)));
  w.Put(kHeader, u"DDMVersion", Dec(static_cast<WORD>(structure)));
  if (ddd->main && ddd->main->open) w.Put(kHeader, u"DDDVersion", Dec(ddd->main->packedVersion));
  w.Put(kHeader, u"FavoriteFileVersion", kFileVersion);
  w.Put(kHeader, u"Lang", Dec(GetUserDefaultLangID()));
  WCHAR selName[FAV_NAME_UNITS + 1] = {};
  Fav_CopyText(selName, name, FAV_NAME_CHARS);
  w.Put(kHeader, u"Sel Name", Quoted(selName));
  WCHAR selComment[FAV_COMMENT_UNITS] = {};
  if (comment) Fav_CopyText(selComment, comment, FAV_COMMENT_UNITS - 1);
  if (w.ok) w.StringSection(kComment, selComment);

  // 4. The settings that differ from the reference.
  Text stamp;
  bool stamps = GetString(DDM_STAMPNAME, devmode, printerData, &stamp) && !stamp.empty();
  for (WORD id : CarriedIds()) {
    if (!w.ok) break;
    WORD ta = 0, tb = 0;
    DWORD sa = 0, sb = 0;
    ULONG_PTR a = 0, b = 0;
    if (ddm_GetValue(id, devmode, printerData, &ta, &sa, &a) != 0 ||
        ddm_GetValue(id, ref.data(), printerData, &tb, &sb, &b) != 0) {
      w.ok = false;
      break;
    }
    if (ta == DDM_TYPE_FONT || (!stamps && ddm_IsStampDdmId(id))) continue;
    LONG cmp = Compare(ta, a, sa, b, sb);
    if (cmp == 2) {
      w.ok = false;
      break;
    }
    if (cmp == 0) continue;
    WORD dma = 0;
    if (!zanLib_ConvertFuncIDtoDmaID(id, &dma) || dma == 0) continue;
    Text section = Dec(dma);
    if (ta == DDM_TYPE_STRING) {
      w.StringSection(section.c_str(), StringOf(a, sa).c_str());
    } else {
      DWORD length = 0;
      LPWSTR text = cdmDmConvertStr(ta, &a, &length);
      if (!text) {
        w.ok = false;
        break;
      }
      w.Put(section.c_str(), u"Data", text);
      kcore_Free(text);
    }
  }

  // 5. The favourite's paper margins.
  LONG keep = 0;
  if (w.ok && ddm_GetNumber(DDM_APP_MARGINS, devmode, printerData, &keep) && keep == 1) {
    std::vector<WORD> papers;
    w.ok = PpMgn_ListFavMargins(printer, ddd, number, &papers) != FALSE;
    for (size_t i = 0; w.ok && i < papers.size(); ++i) {
      WORD m[4] = {};
      w.ok = PpMgn_GetFavMargin(printer, ddd, number, papers[i], m) != FALSE;
      w.Put(kMargins, Dec(papers[i]).c_str(),
            u"L" + Dec(m[2]) + u",R" + Dec(m[3]) + u",T" + Dec(m[0]) + u",B" + Dec(m[1]));
    }
  }

  // A file with no section at all cannot be renamed; the header always is.
  if (w.ok) w.ok = MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!w.ok) {
    if (haveTemp) DeleteFileW(temp);
    ShowFileFailed(owner, path);
    return FALSE;
  }
  return TRUE;
}

LONG FavFile_Import(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, LPCWSTR path,
                    FAV_LIST* list) {
  if (!printer || !ddd || !devmode || !path || !list) return FAV_ERR_ARG;
  auto fail = [&](LONG code) {
    ShowFileFailed(owner, path);
    return code;
  };
  WORD max = list->maximum ? list->maximum : Fav_GetMaximum(ddd);

  // 1. A number free in the list and in the stored index.
  std::vector<WORD> used(FAV_NUMBER_MAX + 1, 0);
  LoadCurrentUserUserInfo(printer, ddd, used.data(), static_cast<WORD>(used.size()));
  used.resize(std::find(used.begin(), used.end(), WORD{0}) - used.begin());
  for (const auto& e : list->entries) used.push_back(e.number);
  used.push_back(0);
  WORD number = CreateFavoriteIndex(used.data(), max);
  if (number == 0) return fail(FAV_ERR_FULL);

  // 3. The header.
  Reader r{path};
  bool present = false;
  Text model, current;
  model = r.Get(kHeader, u"Model Name", 32, &present);
  if (!present || !GetString(DDM_MODELNAME, devmode, printerData, &current) || model != current)
    return fail(FAV_ERR_FILE);
  long long driver = 0, structure = 0;
  if (!ParseDecimal(r.Get(kHeader, u"DRVVersion", 64, &present), false, &driver) || driver > 0xFFFF ||
      !ParseDecimal(r.Get(kHeader, u"DDMVersion", 64, &present), false, &structure) || structure > 0xFFFF)
    return fail(FAV_ERR_FILE);
  Text name = r.Get(kHeader, u"Sel Name", FAV_NAME_UNITS, &present);
  Text comment;
  if (!present || name.empty() || !r.StringSection(kComment, kCommentSizeMax, &comment)) return fail(FAV_ERR_FILE);
  std::vector<WCHAR> cut(comment.begin(), comment.end());
  cut.push_back(0);
  FavStr_CutComment(cut.data());

  // 4. The reference with the current device name.
  std::vector<BYTE> dm;
  Text device;
  if (!Reference(printer, ddd, devmode, printerData, &dm) || !GetString(DDM_DEVICENAME, devmode, printerData, &device) ||
      ddm_SetValue(DDM_DEVICENAME, dm.data(), printerData, DDM_TYPE_STRING,
                   static_cast<DWORD>((device.size() + 1) * sizeof(WCHAR)), device.c_str()) != 0)
    return fail(FAV_ERR_FILE);

  // 5. The settings, after the first two sections.
  std::vector<WCHAR> names;
  if (!r.List(nullptr, kSectionListUnits, kSectionListLimit, &names)) return fail(FAV_ERR_FILE);
  std::vector<Item> items;
  bool marginsPresent = false;
  for (const WCHAR* p = names.data(); *p; p += kp_WideLength(p) + 1)
    if (lstrcmpiW(p, kMargins) == 0) marginsPresent = true;
  size_t position = 0;
  for (const WCHAR* p = names.data(); *p; p += kp_WideLength(p) + 1, ++position) {
    // The first two sections are the header and the comment by their place;
    // those names are never settings wherever they stand.
    if (position < 2 || lstrcmpiW(p, kHeader) == 0 || lstrcmpiW(p, kComment) == 0) continue;
    Text section = p;
    if (lstrcmpiW(p, kMargins) == 0) break;
    long long dma = 0;
    WORD id = 0;
    if (!ParseDecimal(section, false, &dma) || dma == 0 || dma > 0xFFFF ||
        !zanLib_ConvertDmaIDtoFuncID(static_cast<WORD>(dma), &id, static_cast<WORD>(structure)) || id == 0)
      return fail(FAV_ERR_FILE);
    if (!Carried(id)) continue;  // nothing the export writes
    Item it{id, 0, 0, Text(), 0};
    ULONG_PTR old = 0;
    if (ddm_GetValue(id, dm.data(), printerData, &it.type, &it.size, &old) != 0) return fail(FAV_ERR_FILE);
    if (it.type == DDM_TYPE_FONT) continue;
    if (it.type == DDM_TYPE_STRING) {
      if (!r.StringSection(p, kStringItemSizeMax, &it.text)) return fail(FAV_ERR_FILE);
    } else {
      if (!ParseValue(it.type, r.Get(p, u"Data", 64, &present), &it.value)) return fail(FAV_ERR_FILE);
    }
    items.push_back(std::move(it));
  }
  for (const Item& it : items) {
    WORD rc = it.type == DDM_TYPE_STRING
                  ? ddm_SetValue(it.ddmId, dm.data(), printerData, it.type,
                                 static_cast<DWORD>((it.text.size() + 1) * sizeof(WCHAR)), it.text.c_str())
                  : ddm_SetValue(it.ddmId, dm.data(), printerData, it.type, it.size, &it.value);
    if (rc != 0) return fail(FAV_ERR_FILE);
  }
  // 6. The versions the file was written with, so that a later load
  // upgrades the settings from them.
  WORD versions[2] = {static_cast<WORD>(driver), static_cast<WORD>(structure)};
  if (ddm_SetValue(DDM_PRIVATE_DRIVERVERSION, dm.data(), printerData, DDM_TYPE_WORD, 2, &versions[0]) != 0 ||
      ddm_SetValue(DDM_PRIVATE_VERSION, dm.data(), printerData, DDM_TYPE_WORD, 2, &versions[1]) != 0)
    return fail(FAV_ERR_FILE);

  // 8 (read before anything is stored). The margins.
  std::vector<Margin> margins;
  if (marginsPresent) {
    std::vector<WCHAR> lines;
    if (!r.List(kMargins, kSectionListUnits, kMarginLimit, &lines)) return fail(FAV_ERR_FILE);
    for (const WCHAR* p = lines.data(); *p; p += kp_WideLength(p) + 1) {
      Text line = p;
      size_t eq = line.find(u'=');
      long long paper = 0;
      Margin m{};
      if (eq == Text::npos || !ParseDecimal(line.substr(0, eq), false, &paper) || paper == 0 || paper > 0xFFFF ||
          !ParseMargins(line.substr(eq + 1), m.m))
        return fail(FAV_ERR_FILE);
      m.paper = static_cast<WORD>(paper);
      margins.push_back(m);
    }
  }

  // 2, 7, 8. Now the store: the number's old margins, the favourite, its
  // margins; a failure takes back what was stored.
  WCHAR storedName[FAV_NAME_UNITS + 1] = {};
  Fav_CopyText(storedName, name.c_str(), FAV_NAME_CHARS);
  bool stored = PpMgn_DeleteFavMargins(printer, ddd, number) &&
                SaveCurrentUserUserSel(printer, ddd, number, dm.data(), storedName, cut.data(), FAV_FLAG_USER);
  for (size_t i = 0; stored && i < margins.size(); ++i)
    stored = PpMgn_SetFavMargin(printer, ddd, number, margins[i].paper, margins[i].m) != FALSE;
  if (!stored) {
    DeleteCurrentUserUserSel(printer, ddd, number);
    return fail(FAV_ERR_STORE);
  }

  // The check routine: the settings against each other.
  std::vector<BYTE> checked(NRV_DEVMODE_SIZE_FULL);
  const LONG swept = Fav_CheckAllConstraints(ddd, owner, dm.data(), printerData, checked.data());
  if (swept < 0) {
    DeleteCurrentUserUserSel(printer, ddd, number);
    return fail(FAV_ERR_FILE);
  }
  if (swept == 1) {
    WCHAR title[128] = {};
    resource_LoadString(FAV_STRID_TITLE, title, 128);
    Text changes = ChangedSettings(ddd, dm.data(), checked.data(), printerData);
    LPCWSTR args[] = {storedName, title, changes.c_str()};
    int answer = Fav_MessageBox(owner, FAV_STRID_CONFLICT, args, 3, MB_OKCANCEL | MB_ICONEXCLAMATION);
    if (answer != IDOK) {
      DeleteCurrentUserUserSel(printer, ddd, number);
      return FAV_ERR_CANCELLED;
    }
    if (!SaveCurrentUserUserSel(printer, ddd, number, checked.data(), storedName, cut.data(), FAV_FLAG_USER)) {
      DeleteCurrentUserUserSel(printer, ddd, number);
      return fail(FAV_ERR_STORE);
    }
  }

  // The new entry, last in the list; a name already used is pointed out
  // and the new entry selected for renaming.
  FAV_ENTRY e = {};
  Fav_CopyText(e.name, storedName, FAV_NAME_CHARS);
  Fav_CopyText(e.comment, cut.data(), FAV_COMMENT_UNITS - 1);
  e.flag = FAV_FLAG_USER;
  e.number = number;
  list->entries.push_back(e);
  list->maximum = max;
  for (size_t i = 0; i + 1 < list->entries.size(); ++i) {
    if (!kp_WideEqual(list->entries[i].name, e.name)) continue;
    WCHAR title[128] = {};
    resource_LoadString(FAV_STRID_TITLE, title, 128);
    LPCWSTR args[] = {title, e.name};
    Fav_MessageBox(owner, FAV_STRID_SAME_NAME, args, 2, MB_OK | MB_ICONEXCLAMATION);
    list->selected = static_cast<WORD>(list->entries.size() - 1);
    break;
  }
  return FAV_OK;
}
