// Temporary files recorded in the current user's registry
// (kestrel/core/regfile.h).
#include <cstring>
#include <string>

#include "kestrel/core/ddd.h"
#include "kestrel/core/regfile.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_window.h"
#include "kplatform/wide_text.h"

namespace {

constexpr size_t kPrefixChars = 9;  // "DFaxInfo_"

bool IsRecordName(const WCHAR* name) {
  for (size_t i = 0; i < kPrefixChars; ++i)
    if (name[i] != REGFILE_VALUE_PREFIX[i]) return false;
  return true;
}

// The record's path is usable: a NUL within its characters.
bool PathTerminated(const REGFILE_RECORD& r) {
  for (WCHAR c : r.path)
    if (c == 0) return true;
  return false;
}

bool FileExists(LPCWSTR path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The record's owner still shows: its window exists and reports the
// recorded instance.
bool OwnerAlive(const REGFILE_RECORD& r) {
  if (r.window == 0) return false;
  HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(r.window));
  if (!IsWindow(window)) return false;
  return static_cast<DWORD>(GetWindowLongW(window, GWL_HINSTANCE)) == r.instance;
}

enum class Verdict { Keep, Deleted, Skip };

// One value: what the sweep does with it.
Verdict SweepValue(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size) {
  if (!IsRecordName(name)) return Verdict::Skip;
  if (type != REG_BINARY || size != REGFILE_RECORD_SIZE) return Verdict::Skip;
  REGFILE_RECORD r;
  std::memcpy(&r, data, sizeof r);
  if (!PathTerminated(r)) return Verdict::Skip;
  if (FileExists(r.path)) {
    if (OwnerAlive(r)) return Verdict::Keep;
    if (!zanlib_isFilePassage(r.path, REGFILE_MAX_AGE_SECONDS)) return Verdict::Keep;
    // The file first: one that cannot be deleted keeps its record.
    if (!DeleteFileW(r.path) && FileExists(r.path)) return Verdict::Keep;
  }
  LONG rc = RegDeleteValueW(key, name);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? Verdict::Deleted : Verdict::Keep;
}

std::u16string ListKey(HCDDD ddd, LPCWSTR prefix, WORD selector, LPCWSTR suffix, LONG* status) {
  *status = ERROR_SUCCESS;
  if (prefix) return std::u16string(prefix) + suffix;
  LPWSTR path = nullptr;
  if (!ddd || ddd_GetRegistry(ddd->main, selector, &path) != DDD_OK || !path) {
    *status = ERROR_INVALID_PARAMETER;
    return std::u16string();
  }
  std::u16string key = std::u16string(path) + suffix;
  ddd_FreeMem(path);
  return key;
}

LONG SweepBoth(HCDDD ddd, LPCWSTR directFaxPrefix, LPCWSTR tempFilePrefix) {
  if (!ddd && (!directFaxPrefix || !tempFilePrefix)) return ERROR_INVALID_PARAMETER;
  LONG status = ERROR_SUCCESS;
  std::u16string fax = ListKey(ddd, directFaxPrefix, REGFILE_SELECTOR_DIRECTFAX, REGFILE_DIRECTFAX_SUFFIX, &status);
  if (status != ERROR_SUCCESS) return status;
  std::u16string temp = ListKey(ddd, tempFilePrefix, REGFILE_SELECTOR_TEMPFILE, REGFILE_TEMPFILE_SUFFIX, &status);
  if (status != ERROR_SUCCESS) return status;
  LONG a = RegFile_SweepKey(fax.c_str());
  LONG b = RegFile_SweepKey(temp.c_str());
  return a != ERROR_SUCCESS ? a : b;
}

// Looks for a record of the path (and, when match is set, of that window and
// instance) in the open key.
bool FindRecord(HKEY key, LPCWSTR path, bool matchOwner, DWORD window, DWORD instance) {
  for (DWORD index = 0;; ++index) {
    WCHAR name[REGFILE_NAME_CHARS + 1] = {};
    DWORD nameChars = REGFILE_NAME_CHARS + 1;
    BYTE data[REGFILE_RECORD_SIZE];
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG rc = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return false;
    if (!IsRecordName(name) || type != REG_BINARY || size != REGFILE_RECORD_SIZE) continue;
    REGFILE_RECORD r;
    std::memcpy(&r, data, sizeof r);
    if (!PathTerminated(r) || lstrcmpiW(r.path, path) != 0) continue;
    if (!matchOwner || (r.window == window && r.instance == instance)) return true;
  }
}

}  // namespace

LONG RegFile_SweepKey(LPCWSTR keyName) {
  if (!keyName) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : rc;
  rc = ERROR_SUCCESS;
  DWORD index = 0;
  for (;;) {
    WCHAR name[REGFILE_NAME_CHARS + 1] = {};
    DWORD nameChars = REGFILE_NAME_CHARS + 1;
    BYTE data[REGFILE_RECORD_SIZE];
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG e = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &size);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e == ERROR_MORE_DATA) {
      // A name too long for the list, or data larger than a record: not one
      // of ours either way.
      ++index;
      continue;
    }
    if (e != ERROR_SUCCESS) {
      rc = e;
      break;
    }
    if (SweepValue(key, name, type, data, size) == Verdict::Deleted) {
      index = 0;
    } else {
      ++index;
    }
  }
  RegCloseKey(key);
  return rc;
}

LONG RegFile_DeleteTmpFile(HCDDD ddd, LPCWSTR directFaxPrefix, LPCWSTR tempFilePrefix) {
  return SweepBoth(ddd, directFaxPrefix, tempFilePrefix);
}

LONG RegFile_SetTmpFile(HCDDD ddd, HWND window, LPCWSTR path) {
  if (!ddd || !path || !path[0] || kp_WideLength(path) >= REGFILE_PATH_CHARS) return ERROR_INVALID_PARAMETER;
  LONG rc = SweepBoth(ddd, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  // The owner is the top-level window above the given one.
  HWND top = window;
  while (top) {
    HWND parent = GetParent(top);
    if (!parent) break;
    top = parent;
  }
  REGFILE_RECORD record{};
  kp_WideCopy(record.path, path, REGFILE_PATH_CHARS);
  record.window = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(top));
  record.instance = top ? static_cast<DWORD>(GetWindowLongW(top, GWL_HINSTANCE)) : 0;

  std::u16string keyName = ListKey(ddd, nullptr, REGFILE_SELECTOR_TEMPFILE, REGFILE_TEMPFILE_SUFFIX, &rc);
  if (rc != ERROR_SUCCESS) return rc;
  HKEY key = nullptr;
  rc = RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (FindRecord(key, record.path, true, record.window, record.instance)) {
    RegCloseKey(key);
    return ERROR_SUCCESS;
  }
  for (DWORD n = 1; n != 0; ++n) {
    WCHAR name[32];
    wsprintfW(name, u"%s%lu", REGFILE_VALUE_PREFIX, n);
    DWORD type = 0;
    DWORD size = 0;
    LONG q = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (q == ERROR_SUCCESS || q == ERROR_MORE_DATA) continue;
    if (q != ERROR_FILE_NOT_FOUND) {
      rc = q;
      break;
    }
    BYTE bytes[REGFILE_RECORD_SIZE];
    std::memcpy(bytes, &record, sizeof record);
    rc = RegSetValueExW(key, name, 0, REG_BINARY, bytes, sizeof bytes);
    break;
  }
  RegCloseKey(key);
  return rc;
}

BOOL RegFile_IsRecorded(HCDDD ddd, LPCWSTR path) {
  if (!ddd || !path || !path[0]) return FALSE;
  LONG rc = ERROR_SUCCESS;
  std::u16string keyName = ListKey(ddd, nullptr, REGFILE_SELECTOR_TEMPFILE, REGFILE_TEMPFILE_SUFFIX, &rc);
  if (rc != ERROR_SUCCESS) return FALSE;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
  bool found = FindRecord(key, path, false, 0, 0);
  RegCloseKey(key);
  return found ? TRUE : FALSE;
}
