// Per-user paper margins (kestrel/ui/docevent.h): four 16-bit values a
// paper, top, bottom, left, right in 0.1 mm, under the printer's per-user
// key (the user's own) or a favourite's key, and the paper record's default
// margins.
#include <cstring>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"

namespace {

constexpr DWORD kRecordBytes = 8;

void ValueName(WORD paperId, WCHAR* name) { wsprintfW(name, u"%u", static_cast<unsigned>(paperId)); }

// The sub-key of favourite n's margins (0: the user's own); false for a
// number beyond the store's names.
bool SubKey(WORD favorite, WCHAR* out) {
  if (favorite > FAV_NUMBER_MAX) return false;
  if (favorite == 0) {
    wsprintfW(out, u"%s", PPMGN_SUBKEY);
  } else {
    wsprintfW(out, FAV_SEL_FORMAT, static_cast<int>(favorite));
    wsprintfW(out + lstrlenW(out), u"\\%s", PPMGN_SUBKEY);
  }
  return true;
}

// A value name that is a paper id in decimal, 1-65535 without leading 0.
bool PaperOfName(LPCWSTR name, WORD* id) {
  DWORD v = 0;
  if (!name[0] || name[0] == u'0') return false;
  for (LPCWSTR p = name; *p; ++p) {
    if (*p < u'0' || *p > u'9' || p - name >= 5) return false;
    v = v * 10 + static_cast<DWORD>(*p - u'0');
  }
  if (v > 0xFFFF) return false;
  *id = static_cast<WORD>(v);
  return true;
}

}  // namespace

BOOL PpMgn_GetMargin(HANDLE printer, HCDDD ddd, WORD paperId, WORD margins[4]) {
  return PpMgn_GetFavMargin(printer, ddd, 0, paperId, margins);
}

BOOL PpMgn_SetMargin(HANDLE printer, HCDDD ddd, WORD paperId, const WORD margins[4]) {
  return PpMgn_SetFavMargin(printer, ddd, 0, paperId, margins);
}

BOOL PpMgn_GetFavMargin(HANDLE printer, HCDDD ddd, WORD favorite, WORD paperId, WORD margins[4]) {
  WCHAR key[64] = {};
  if (!printer || !margins || !SubKey(favorite, key)) return FALSE;
  WCHAR name[8] = {};
  ValueName(paperId, name);
  BYTE record[kRecordBytes] = {};
  DWORD size = kRecordBytes;
  if (LoadCurrentUserData(printer, ddd, record, &size, REG_BINARY, key, name) != 0 || size != kRecordBytes)
    return FALSE;
  for (int i = 0; i < 4; ++i) margins[i] = kp_LoadU16(record + 2 * i);
  return TRUE;
}

BOOL PpMgn_SetFavMargin(HANDLE printer, HCDDD ddd, WORD favorite, WORD paperId, const WORD margins[4]) {
  WCHAR key[64] = {};
  if (!printer || !margins || !SubKey(favorite, key)) return FALSE;
  WCHAR name[8] = {};
  ValueName(paperId, name);
  BYTE record[kRecordBytes];
  for (int i = 0; i < 4; ++i) kp_StoreU16(record + 2 * i, margins[i]);
  return SaveCurrentUserData(printer, ddd, record, kRecordBytes, REG_BINARY, key, name);
}

BOOL PpMgn_DeleteFavMargins(HANDLE printer, HCDDD ddd, WORD favorite) {
  WCHAR key[64] = {};
  if (!printer || !ddd || !SubKey(favorite, key)) return FALSE;
  HKEY root = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &root)) return FALSE;
  LONG rc = RegDeleteKeyW(root, key);
  RegCloseKey(root);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND;
}

BOOL PpMgn_ListFavMargins(HANDLE printer, HCDDD ddd, WORD favorite, std::vector<WORD>* papers) {
  WCHAR key[64] = {};
  if (!printer || !ddd || !papers || !SubKey(favorite, key)) return FALSE;
  papers->clear();
  HKEY root = nullptr, margins = nullptr;
  if (!OpenCurrentUser(printer, ddd, nullptr, &root)) return FALSE;
  LONG rc = RegOpenKeyW(root, key, &margins);
  RegCloseKey(root);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return TRUE;  // none kept
  if (rc != ERROR_SUCCESS) return FALSE;
  BOOL ok = TRUE;
  for (DWORD i = 0;; ++i) {
    WCHAR name[32] = {};
    DWORD chars = 32, type = 0, size = 0;
    rc = RegEnumValueW(margins, i, name, &chars, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) continue;  // a long name is no paper id
    if (rc != ERROR_SUCCESS) {
      ok = FALSE;
      break;
    }
    WORD id = 0;
    // Values that are not a paper's record are not margins.
    if (type == REG_BINARY && size == kRecordBytes && PaperOfName(name, &id)) papers->push_back(id);
  }
  RegCloseKey(margins);
  return ok;
}

BOOL PpMgn_SetUiMargin(HANDLE printer, HCDDD ddd, WORD favorite) {
  if (favorite == 0) return FALSE;
  std::vector<WORD> papers;
  if (!PpMgn_ListFavMargins(printer, ddd, favorite, &papers)) return FALSE;
  BOOL all = TRUE;
  for (WORD paper : papers) {
    WORD m[4] = {};
    if (!PpMgn_GetFavMargin(printer, ddd, favorite, paper, m) || !PpMgn_SetMargin(printer, ddd, paper, m)) all = FALSE;
  }
  return all;
}

BOOL PpMgn_GetDefaultMargin(HCDDD ddd, WORD paperId, WORD margins[4]) {
  if (!ddd || !margins) return FALSE;
  DDD_PAPER* paper = nullptr;
  WORD status = 0;
  if (!cdddGetPaperSizeInfo(ddd, DDM_PAPERSIZE, paperId, 0, &paper, &status) || !paper) return FALSE;
  // The record's margins are {left, top} and {right, bottom}.
  margins[0] = paper->marginFirst.second;   // top
  margins[1] = paper->marginSecond.second;  // bottom
  margins[2] = paper->marginFirst.first;    // left
  margins[3] = paper->marginSecond.first;   // right
  cdddGetPaperSizeInfoFree(paper);
  return TRUE;
}
