// The profile functions (see kernel32_profile.h) over the INI documents of
// ini_parser.h. One lock serialises every profile call of the process, so a
// read-modify-write of one thread never loses another thread's change.
// Writers in other processes are not locked out (Windows does not either).
#include "kplatform/kernel32_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kernel32/file_share.h"
#include "kernel32/ini_parser.h"
#include "kernel32/path.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/wide_text.h"

namespace {

std::mutex& profileLock() {
  static std::mutex* lock = new std::mutex;  // outlives every static destructor
  return *lock;
}

std::u16string_view view(LPCWSTR text) { return std::u16string_view(text, kp_WideLength(text)); }

// The host path of a profile file name.
std::optional<std::string> hostPath(LPCWSTR fileName) {
  std::u16string name(fileName != nullptr ? view(fileName) : std::u16string_view(u"win.ini"));
  if (name.find_first_of(u"\\/:") == std::u16string::npos) {
    WCHAR windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    name = std::u16string(windows, length) + u"\\" + name;
  }
  return kp::MapPath(name);  // sets the last error when empty
}

enum class Load { Read, Missing, Failed };

// Reads the file. Missing: an empty document. Failed: the last error is set.
Load loadFile(const std::string& host, std::string& bytes) {
  bytes.clear();
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      SetLastError(kp::MissingFileError(host));
      return Load::Missing;
    }
    SetLastError(kp::ErrorFromErrno(errno));
    return Load::Failed;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return Load::Failed;
  }
  char buffer[65536];
  while (true) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      SetLastError(error == EIO ? ERROR_READ_FAULT : kp::ErrorFromErrno(error));
      return Load::Failed;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return Load::Read;
}

// Reads a document for one of the Get functions. False (last error set)
// when the file exists but cannot be read; a missing file gives an empty
// document and the last error ERROR_FILE_NOT_FOUND.
bool readDocument(LPCWSTR fileName, kp::ini::Document& doc) {
  std::optional<std::string> host = hostPath(fileName);
  if (!host) return false;
  std::string bytes;
  Load load = loadFile(*host, bytes);
  if (load == Load::Failed) return false;
  doc = kp::ini::Document::Parse(bytes);
  if (load == Load::Read) SetLastError(ERROR_SUCCESS);
  return true;
}

DWORD copyString(std::u16string_view text, LPWSTR out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  size_t n = text.size() < size ? text.size() : size - 1;
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out);
  out[n] = 0;
  return static_cast<DWORD>(n);
}

DWORD copyList(const std::vector<std::u16string>& items, LPWSTR out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  if (size == 1) {
    out[0] = 0;
    return 0;
  }
  size_t pos = 0;
  for (const std::u16string& item : items) {
    if (pos + item.size() + 1 <= size - 1) {
      std::copy(item.begin(), item.end(), out + pos);
      pos += item.size();
      out[pos++] = 0;
      continue;
    }
    // Cut: as much of this string as leaves room for the two NULs.
    size_t room = pos < size - 2 ? size - 2 - pos : 0;
    std::copy(item.begin(), item.begin() + static_cast<std::ptrdiff_t>(room), out + pos);
    out[size - 2] = 0;
    out[size - 1] = 0;
    return size - 2;
  }
  out[pos] = 0;
  if (pos == 0) out[1] = 0;
  return static_cast<DWORD>(pos);
}

bool hasLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

// Writes the bytes to a temporary file beside `host` and moves it over
// `host`. Sets the last error and removes the temporary file on failure.
bool replaceFile(const std::string& host, const std::string& bytes, bool existed) {
  std::string temp = host + ".kp-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : kp::ErrorFromErrno(errno));
    return false;
  }
  auto fail = [&](DWORD error) {
    ::close(fd);
    ::unlink(temp.c_str());
    SetLastError(error);
    return false;
  };
  mode_t mode = 0644;
  struct stat st;
  if (existed && ::stat(host.c_str(), &st) == 0) mode = st.st_mode & 07777;
  if (::fchmod(fd, mode) != 0) return fail(kp::ErrorFromErrno(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno == ENOSPC || errno == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(ERROR_WRITE_FAULT);
  if (::close(fd) != 0) {
    ::unlink(temp.c_str());
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  {
    // The sharing rules of open handles hold for this write too.
    std::lock_guard<std::mutex> guard(kp::FileSystemLock());
    if (std::optional<kp::FileId> id = kp::HostFileId(host)) {
      if (!kp::SharingAllows(*id, true, true, false, FILE_SHARE_READ | FILE_SHARE_WRITE) || kp::IsMapped(*id)) {
        ::unlink(temp.c_str());
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
      }
    }
    if (::rename(temp.c_str(), host.c_str()) != 0) {
      int error = errno;
      ::unlink(temp.c_str());
      SetLastError(kp::ErrorFromErrno(error));
      return false;
    }
  }
  return true;
}

}  // namespace

KP_API DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                             LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  if (lpReturnedString == nullptr || nSize == 0) return 0;
  std::u16string_view fallback = view(lpDefault);  // without the blanks at its end
  while (!fallback.empty() && (fallback.back() == u' ' || fallback.back() == u'\t')) fallback.remove_suffix(1);
  std::lock_guard<std::mutex> guard(profileLock());
  kp::ini::Document doc;
  if (!readDocument(lpFileName, doc)) {
    if (lpAppName == nullptr) return copyList({}, lpReturnedString, nSize);
    return copyString(fallback, lpReturnedString, nSize);
  }
  if (lpAppName == nullptr) return copyList(doc.SectionNames(), lpReturnedString, nSize);
  if (lpKeyName == nullptr) {
    std::optional<std::vector<std::u16string>> keys = doc.KeyNames(view(lpAppName));
    if (!keys) return copyString(fallback, lpReturnedString, nSize);
    return copyList(*keys, lpReturnedString, nSize);
  }
  std::optional<std::u16string> value = doc.Value(view(lpAppName), view(lpKeyName));
  if (!value) return copyString(fallback, lpReturnedString, nSize);
  return copyString(kp::ini::StripQuotes(*value), lpReturnedString, nSize);
}

KP_API UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName) {
  if (lpAppName == nullptr || lpKeyName == nullptr) return static_cast<UINT>(nDefault);
  WCHAR buffer[256];
  DWORD length = GetPrivateProfileStringW(lpAppName, lpKeyName, u"", buffer, 256, lpFileName);
  if (length == 0) return static_cast<UINT>(nDefault);
  std::u16string_view text = kp::ini::Trim(std::u16string_view(buffer, length));
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  uint32_t value = 0;
  if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    for (char16_t c : text.substr(2)) {
      uint32_t digit;
      if (c >= u'0' && c <= u'9')
        digit = c - u'0';
      else if (c >= u'a' && c <= u'f')
        digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F')
        digit = c - u'A' + 10;
      else
        break;
      value = value * 16 + digit;
    }
  } else {
    for (char16_t c : text) {
      if (c < u'0' || c > u'9') break;
      value = value * 10 + static_cast<uint32_t>(c - u'0');
    }
  }
  return negative ? 0u - value : value;
}

KP_API DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                              LPCWSTR lpFileName) {
  if (lpReturnedString == nullptr || nSize == 0) return 0;
  std::lock_guard<std::mutex> guard(profileLock());
  kp::ini::Document doc;
  if (lpAppName == nullptr || !readDocument(lpFileName, doc)) return copyList({}, lpReturnedString, nSize);
  std::optional<std::vector<std::u16string>> lines = doc.SectionLines(view(lpAppName));
  return copyList(lines ? *lines : std::vector<std::u16string>{}, lpReturnedString, nSize);
}

KP_API DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName) {
  return GetPrivateProfileStringW(nullptr, nullptr, nullptr, lpszReturnBuffer, nSize, lpFileName);
}

KP_API BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                              LPCWSTR lpFileName) {
  if (lpAppName == nullptr) {
    if (lpKeyName == nullptr && lpString == nullptr) return TRUE;  // "flush": nothing is cached
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string_view section = kp::ini::Trim(view(lpAppName));
  std::u16string_view key = kp::ini::Trim(view(lpKeyName));
  std::u16string_view value = view(lpString);
  bool badKey = lpKeyName != nullptr &&
                (hasLineBreak(key) || key.find(u'=') != std::u16string_view::npos ||
                 (!key.empty() && (key.front() == u';' || key.front() == u'[')));
  if (hasLineBreak(section) || badKey || (lpKeyName != nullptr && hasLineBreak(value))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<std::string> host = hostPath(lpFileName);
  if (!host) return FALSE;

  std::lock_guard<std::mutex> guard(profileLock());
  std::string bytes;
  Load load = loadFile(*host, bytes);
  if (load == Load::Failed) return FALSE;
  kp::ini::Document doc = kp::ini::Document::Parse(bytes);
  bool changed;
  if (lpKeyName == nullptr)
    changed = doc.DeleteSection(section);
  else if (lpString == nullptr)
    changed = doc.DeleteKey(section, key);
  else
    changed = doc.SetValue(section, key, value);
  if (changed && !replaceFile(*host, doc.Serialize(), load == Load::Read)) return FALSE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
