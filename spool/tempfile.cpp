// Temporary files and their registry records. Every temporary file the job
// processor makes is recorded under HKEY_LOCAL_MACHINE <root>"TempFile\"
// <path with '/'> while it exists, so that a file left behind by a spooler
// that was stopped mid-job is deleted by the sweep at a later job's start.
//
// The root and the write-error box's caption are process-wide: a job start
// replaces the root while another job's parser may be reading it, so both
// are kept under one lock; the last started job's root wins.
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "kestrel/core/logout.h"
#include "kestrel/spool/pagestore.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/user32_window.h"
#include "kplatform/wide_text.h"

namespace {

std::mutex gLock;  // guards the two buffers and the set below
WCHAR gRoot[TFREG_ROOT_CHARS + 1] = TFREG_ROOT_DEFAULT;
WCHAR gCaption[TEMPFILE_BOX_CHARS + 1] = u"Error";
// The files this process recorded and still uses: a sweep (at any job's
// start) leaves them alone, though they may be closed for a moment (the
// spooled job file of a marked job between the parser's end and its copies).
std::set<std::u16string> gInUse;

bool InUse(LPCWSTR path) {
  std::lock_guard<std::mutex> guard(gLock);
  return gInUse.count(path) != 0;
}

constexpr WCHAR kBuiltInText[] =
    u"Unable to write to print file. \nCheck that you have sufficient disk space on %c drive. \n\n"
    u"Click \"OK\" to try again or \n\"Cancel\" to stop printing.";
constexpr DWORD kTempKeyChars = 260;  // names of the records' keys

// Copies src into dst of cap characters (cut to cap - 1) with its NUL.
void CopyZ(WCHAR* dst, size_t cap, LPCWSTR src) {
  const size_t n = kp_WideCopy(dst, src, cap - 1);
  dst[n] = 0;
}

bool HasFile(const tempFile* record) {
  return record->file != INVALID_HANDLE_VALUE && record->file != nullptr;
}

void Reset(tempFile* record) {
  record->file = INVALID_HANDLE_VALUE;
  record->path[0] = 0;
  record->size = 0;
  record->position = 0;
  record->usable = 0;
}

// <root>"TempFile" (without the trailing backslash, for RegOpenKeyExW).
BOOL TempFileKey(WCHAR* key, DWORD keyChars) {
  WCHAR root[TFREG_ROOT_CHARS + 1];
  TFReg_GetRegRoot(root);
  const int n = wnsprintfW(key, static_cast<int>(keyChars), u"%lsTempFile", root);
  return n > 0 && static_cast<DWORD>(n) < keyChars - 1;
}

}  // namespace

// ---- names -------------------------------------------------------------------------------------

BOOL drvio_tmpFileName_make(WCHAR* buffer) {
  if (buffer == nullptr) return FALSE;
  using Folder = DWORD (*)(WCHAR*);
  const Folder folders[] = {
      [](WCHAR* f) -> DWORD { return GetTempPathW(MAX_PATH, f); },
      [](WCHAR* f) -> DWORD { return GetWindowsDirectoryW(f, MAX_PATH); },
      [](WCHAR* f) -> DWORD { return GetSystemDirectoryW(f, MAX_PATH); },
      [](WCHAR* f) -> DWORD { return GetCurrentDirectoryW(MAX_PATH, f); },
  };
  for (Folder folder : folders) {
    WCHAR path[MAX_PATH] = {};
    const DWORD n = folder(path);
    if (n == 0 || n >= MAX_PATH) continue;
    if (GetTempFileNameW(path, TEMPFILE_PREFIX, 0, buffer) != 0) return TRUE;
  }
  CopyZ(buffer, MAX_PATH, TEMPFILE_FALLBACK);
  return TRUE;
}

// ---- the record ----------------------------------------------------------------------------------

int tempFile_init(tempFile* record, int sweep, HINSTANCE resource) {
  if (record == nullptr) return -1;
  // A file still open is closed and deleted, never forgotten: the sweep
  // could not delete a file this process holds.
  if (HasFile(record) || record->path[0] != 0) tempFile_closeAndDelete(record);
  if (sweep != 0) TFReg_TryAllDelete();
  record->resource = resource;
  Reset(record);
  return 0;
}

int tempFile_open(tempFile* record) {
  if (record == nullptr) return -1;
  if (HasFile(record) || record->path[0] != 0) tempFile_closeAndDelete(record);
  drvio_tmpFileName_make(record->path);
  record->file = drvio_file_open(record->path, DRVIO_CREATE_ALWAYS);
  if (record->file == INVALID_HANDLE_VALUE) {
    Logout_OutputString(u"kestrelum: the temporary file %ls could not be made", record->path);
    Reset(record);
    return -1;
  }
  // A record that cannot be written does not stop printing.
  TFReg_Entry(record->path);
  record->usable = 1;
  record->size = 0;
  record->position = 0;
  return 0;
}

int tempFile_closeAndDelete(tempFile* record) {
  if (record == nullptr) return -1;
  int result = 0;
  if (HasFile(record) && !drvio_file_close(record->file)) result = -1;
  if (record->path[0] != 0) {
    if (TempFileDelete(record->path) == 0) {
      TFReg_Delete(record->path);
    } else {
      TFReg_Release(record->path);  // the record stays for the next sweep
      result = -1;
    }
  }
  Reset(record);
  return result;
}

int tempFile_stop_access(tempFile* record) {
  if (record == nullptr) return -1;
  record->usable = 0;
  return 0;
}

int tempFile_status(const tempFile* record) {
  return record != nullptr && HasFile(record) && record->usable == 1 ? 1 : -1;
}

int tempFile_flush(const tempFile* record) { return tempFile_status(record) == 1 ? 0 : -1; }

int32_t tempFile_getWritten(const tempFile* record) {
  if (tempFile_flush(record) != 0) return -1;
  return static_cast<int32_t>(record->size);
}

int32_t tempFile_write(tempFile* record, const void* data, uint32_t count) {
  if (tempFile_flush(record) != 0) return -1;
  if (count == 0) return 0;
  if (data == nullptr) return -1;
  // Positions are 32-bit signed: a write that would pass the last one fails
  // instead of wrapping.
  if (static_cast<uint64_t>(record->position) + count > TEMPFILE_MAX_SIZE) return -1;
  const BYTE* bytes = static_cast<const BYTE*>(data);
  uint32_t total = 0;
  for (;;) {
    DWORD done = 0;
    const BOOL ok = drvio_file_write(record->file, bytes + total, count - total, &done);
    if (done > count - total) done = count - total;
    record->position += done;
    if (record->position > record->size) record->size = record->position;
    total += done;
    if (ok && total == count) return static_cast<int32_t>(total);
    if (!ok || done == 0 || total < count) {
      if (_tempFile_writeErrorMessageBox(record) != IDOK) {
        record->usable = 0;
        return -1;
      }
      // Again from where the record stands, with the bytes not yet written.
      if (drvio_file_seekSet(record->file, static_cast<LONG>(record->position)) !=
          static_cast<LONG>(record->position)) {
        return -1;
      }
    }
  }
}

int32_t tempFile_read(tempFile* record, void* buffer, uint32_t count) {
  if (tempFile_flush(record) != 0) return -1;
  if (count == 0) return 0;
  if (buffer == nullptr) return -1;
  if (static_cast<uint64_t>(record->position) + count > record->size) return -1;
  DWORD done = 0;
  if (!drvio_file_read(record->file, buffer, count, &done)) return -1;
  if (done > count) done = count;
  record->position += done;
  return static_cast<int32_t>(done);
}

int32_t tempFile_seekSet(tempFile* record, uint32_t offset) {
  if (tempFile_flush(record) != 0) return -1;
  if (offset > record->size) return -1;
  const LONG at = drvio_file_seekSet(record->file, static_cast<LONG>(offset));
  if (at < 0) return -1;
  record->position = static_cast<uint32_t>(at);
  return at;
}

int32_t tempFile_seekLast(tempFile* record) {
  if (tempFile_flush(record) != 0) return -1;
  const LONG at = drvio_file_seekLast(record->file, 0);
  if (at < 0) return -1;
  record->position = static_cast<uint32_t>(at);
  return at;
}

WCHAR _tempFile_driveLetter(const WCHAR* path) {
  if (path == nullptr || path[0] == 0 || path[1] != u':') return u' ';
  const WCHAR c = path[0];
  return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c;
}

int _tempFile_writeErrorMessageBox(const tempFile* record) {
  if (record == nullptr) return IDCANCEL;
  const WCHAR drive = _tempFile_driveLetter(record->path);
  WCHAR caption[TEMPFILE_BOX_CHARS + 1];
  {
    std::lock_guard<std::mutex> guard(gLock);
    WCHAR loaded[TEMPFILE_BOX_CHARS + 1] = {};
    if (record->resource != nullptr &&
        LoadStringW(record->resource, TEMPFILE_STR_CAPTION, loaded, TEMPFILE_BOX_CHARS + 1) > 0) {
      CopyZ(gCaption, TEMPFILE_BOX_CHARS + 1, loaded);
    }
    CopyZ(caption, TEMPFILE_BOX_CHARS + 1, gCaption);
  }
  WCHAR format[TEMPFILE_BOX_CHARS + 1] = {};
  if (record->resource == nullptr ||
      LoadStringW(record->resource, TEMPFILE_STR_TEXT, format, TEMPFILE_BOX_CHARS + 1) <= 0) {
    CopyZ(format, TEMPFILE_BOX_CHARS + 1, kBuiltInText);
  }
  WCHAR text[2 * TEMPFILE_BOX_CHARS + 2];
  wsprintfW(text, format, drive);
  return MessageBoxW(GetActiveWindow(), text, caption, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

// ---- the registry records ------------------------------------------------------------------------

int TFReg_SetRegRoot(LPCWSTR root) {
  if (root == nullptr) return -1;
  std::lock_guard<std::mutex> guard(gLock);
  CopyZ(gRoot, TFREG_ROOT_CHARS + 1, root);
  return 0;
}

void TFReg_GetRegRoot(WCHAR (&root)[TFREG_ROOT_CHARS + 1]) {
  std::lock_guard<std::mutex> guard(gLock);
  std::memcpy(root, gRoot, sizeof(root));
}

BOOL TFReg_KeyOf(LPCWSTR path, WCHAR* key, DWORD keyChars) {
  if (path == nullptr || key == nullptr || keyChars == 0) return FALSE;
  WCHAR root[TFREG_ROOT_CHARS + 1];
  TFReg_GetRegRoot(root);
  const int n = wnsprintfW(key, static_cast<int>(keyChars), u"%ls%ls%ls", root, TFREG_TEMPFILE_KEY, path);
  if (n <= 0 || static_cast<DWORD>(n) >= keyChars - 1) {
    key[0] = 0;
    return FALSE;
  }
  ConvertEntoSura(key + (kp_WideLength(root) + kp_WideLength(TFREG_TEMPFILE_KEY)));
  return TRUE;
}

int TFReg_Entry(LPCWSTR path) {
  WCHAR key[2 * MAX_PATH];
  if (!TFReg_KeyOf(path, key, 2 * MAX_PATH)) return -1;
  HKEY handle = nullptr;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, key, &handle) != ERROR_SUCCESS) return -1;
  SYSTEMTIME t{};
  GetLocalTime(&t);
  WCHAR when[32];
  wsprintfW(when, u"[%04d,%02d/%02d,%02d:%02d:%02d]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  const LONG set = RegSetValueW(handle, nullptr, REG_SZ, when, 0);
  RegCloseKey(handle);
  {
    std::lock_guard<std::mutex> guard(gLock);
    gInUse.insert(path);
  }
  return set == ERROR_SUCCESS ? 0 : -1;
}

void TFReg_Release(LPCWSTR path) {
  if (path == nullptr) return;
  std::lock_guard<std::mutex> guard(gLock);
  gInUse.erase(path);
}

int TFReg_Delete(LPCWSTR path) {
  TFReg_Release(path);
  WCHAR key[2 * MAX_PATH];
  if (!TFReg_KeyOf(path, key, 2 * MAX_PATH)) return -1;
  return RegDeleteKeyW(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS ? 0 : -1;
}

int TFReg_TryAllDelete(void) {
  WCHAR keyName[MAX_PATH];
  if (!TempFileKey(keyName, MAX_PATH)) return -1;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return -1;
  DWORD index = 0;
  LONG status = ERROR_SUCCESS;
  int result = 0;
  for (;;) {
    WCHAR name[kTempKeyChars + 1];
    DWORD chars = kTempKeyChars + 1;
    status = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {  // a name no path of ours has: left alone
      ++index;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    WCHAR path[kTempKeyChars + 1];
    CopyZ(path, kTempKeyChars + 1, name);
    ConvertSuratoEn(path);
    if (InUse(path)) {  // a live job's file
      ++index;
      continue;
    }
    if (IsTempFile(path) || GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
      if (TempFileDelete(path) != 0) {
        ++index;  // kept for a later sweep
        continue;
      }
    }
    if (RegDeleteKeyW(key, name) != ERROR_SUCCESS) {
      result = -1;
      break;
    }
    index = 0;
  }
  RegCloseKey(key);
  if (result == 0 && status != ERROR_NO_MORE_ITEMS) result = -1;
  return result;
}

void ConvertEntoSura(WCHAR* text) {
  for (; text != nullptr && *text != 0; ++text) {
    if (*text == u'\\') *text = u'/';
  }
}

void ConvertSuratoEn(WCHAR* text) {
  for (; text != nullptr && *text != 0; ++text) {
    if (*text == u'/') *text = u'\\';
  }
}

BOOL IsTempFile(LPCWSTR path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(file);
  return TRUE;
}

int TempFileDelete(LPCWSTR path) { return DeleteFileW(path) ? 0 : -1; }
