// Folders, the current directory, the system folders, temporary file names
// and the full and short forms of a path.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include "file_share.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"
#include "path.h"

namespace {

std::u16string_view wideView(LPCWSTR text) { return std::u16string_view(text, kp::PathLength(text)); }

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The folder's host path and its kind; sets the last error when it is not an
// existing folder (ERROR_DIRECTORY for a file).
std::optional<std::string> existingFolder(const kp::WindowsPath& path) {
  std::optional<std::string> host = kp::MapResolved(path);
  if (!host) return std::nullopt;
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*host) : kp::ErrorFromErrno(errno));
    return std::nullopt;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return std::nullopt;
  }
  return host;
}

// Numbers for GetTempFileNameW: one sequence for the process, starting at a
// point that differs between processes; CREATE_NEW settles any collision.
std::atomic<uint32_t>& tempSequence() {
  static std::atomic<uint32_t> sequence{
      static_cast<uint32_t>((static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                             (static_cast<uint64_t>(::getpid()) << 4)) &
                            0xFFFFu)};
  return sequence;
}

std::u16string hex(UINT value) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  std::u16string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return text;
}

}  // namespace

KP_API BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<kp::WindowsPath> path = kp::ParseWindowsPath(wideView(lpPathName));
  if (!path) return FALSE;
  if (path->isRoot()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::optional<std::string> host = kp::MapResolved(*path);
  if (!host) return FALSE;
  if (::mkdir(host->c_str(), 0777) != 0) {
    int error = errno;
    SetLastError(error == EEXIST                         ? ERROR_ALREADY_EXISTS
                 : (error == ENOENT || error == ENOTDIR) ? ERROR_PATH_NOT_FOUND
                                                         : kp::ErrorFromErrno(error));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  if (lpPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<kp::WindowsPath> path = kp::ParseWindowsPath(wideView(lpPathName));
  if (!path) return FALSE;
  if (path->isRoot()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::optional<std::string> host = existingFolder(*path);
  if (!host) return FALSE;
  std::optional<std::string> current = kp::MapResolved(kp::CurrentDirectory());
  if (current && (*current == *host || current->compare(0, host->size() + 1, *host + "/") == 0)) {
    SetLastError(ERROR_SHARING_VIOLATION);  // the process holds its current directory open
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(kp::FileSystemLock());
  if (::rmdir(host->c_str()) != 0) {
    int error = errno;
    SetLastError((error == ENOTEMPTY || error == EEXIST) ? ERROR_DIR_NOT_EMPTY : kp::ErrorFromErrno(error));
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return kp::CopyOut(kp::CurrentDirectory().full(), lpBuffer, nBufferLength);
}

KP_API BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
  if (lpPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<kp::WindowsPath> path = kp::ParseWindowsPath(wideView(lpPathName));
  if (!path || !existingFolder(*path)) return FALSE;
  kp::SetCurrentDirectoryPath(*path);
  return TRUE;
}

KP_API UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return kp::CopyOut(u"C:\\Windows", lpBuffer, uSize);
}

KP_API UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return kp::CopyOut(u"C:\\Windows", lpBuffer, uSize);
}

KP_API UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return kp::CopyOut(u"C:\\Windows\\system32", lpBuffer, uSize);
}

KP_API DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return kp::CopyOut(u"C:\\Windows\\Temp\\", lpBuffer, nBufferLength);
}

KP_API UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) {
  if (lpPathName == nullptr || lpTempFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string folder(wideView(lpPathName));
  if (folder.empty() || !isSeparator(folder.back())) folder.push_back(u'\\');
  std::u16string prefix;
  for (size_t i = 0; lpPrefixString != nullptr && i < 3 && lpPrefixString[i] != 0; ++i)
    prefix.push_back(lpPrefixString[i]);
  // The caller's buffer holds MAX_PATH characters: the folder leaves room
  // for the prefix, four digits and ".tmp".
  if (folder.size() > MAX_PATH - 14) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  auto nameFor = [&](UINT number) { return folder + prefix + hex(number & 0xFFFFu) + u".tmp"; };
  if (uUnique != 0) {
    kp::CopyOut(nameFor(uUnique), lpTempFileName, MAX_PATH);
    return uUnique;
  }
  for (uint32_t attempt = 0; attempt < 0xFFFFu; ++attempt) {
    UINT number = tempSequence().fetch_add(1) & 0xFFFFu;
    if (number == 0) continue;
    std::u16string name = nameFor(number);
    HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(name.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      kp::CopyOut(name, lpTempFileName, MAX_PATH);
      SetLastError(NO_ERROR);
      return number;
    }
    // A name taken by a file or a folder: try the next; anything else (no
    // such folder, a folder we may not write in, a bad name) ends the search.
    DWORD error = GetLastError();
    bool taken = error == ERROR_FILE_EXISTS ||
                 (error == ERROR_ACCESS_DENIED &&
                  GetFileAttributesW(reinterpret_cast<LPCWSTR>(name.c_str())) != INVALID_FILE_ATTRIBUTES);
    if (!taken) {
      SetLastError(error);
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

KP_API DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) {
  if (lpszLongPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string text(wideView(lpszLongPath));
  std::optional<std::string> host = kp::MapPath(text);
  if (!host) return 0;
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*host) : kp::ErrorFromErrno(errno));
    return 0;
  }
  return kp::CopyOut(text, lpszShortPath, cchBuffer);
}

KP_API DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view name = wideView(lpFileName);
  std::u16string text;
  if (name.size() >= 4 && name.substr(0, 4) == u"\\\\?\\") {
    text = std::u16string(name);
  } else {
    std::optional<kp::WindowsPath> path = kp::ParseWindowsPath(name);
    if (!path) return 0;
    text = path->full();
    if (path->trailingSeparator && !path->isRoot()) text.push_back(u'\\');
  }
  DWORD result = kp::CopyOut(text, lpBuffer, nBufferLength);
  if (lpFilePart != nullptr && result == text.size()) {
    size_t cut = text.rfind(u'\\');
    *lpFilePart = (cut == std::u16string::npos || cut + 1 == text.size()) ? nullptr : lpBuffer + cut + 1;
  }
  return result;
}
