// Files with Windows behaviour: CreateFileW and its sharing rules, reads and
// writes, file pointer, size, times, attributes, delete and move.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "file_share.h"
#include "kplatform/kernel32_file.h"
#include "path.h"

namespace kp {
namespace {

struct Opener {
  const FileObject* owner;
  bool read;
  bool write;
  bool del;
  DWORD share;
};

struct IdLess {
  bool operator()(const FileId& a, const FileId& b) const { return a.dev != b.dev ? a.dev < b.dev : a.ino < b.ino; }
};

struct OpenFiles {
  std::mutex lock;
  std::map<FileId, std::vector<Opener>, IdLess> opens;
  std::map<FileId, int, IdLess> mappings;
};

OpenFiles& openFiles() {
  static OpenFiles* files = new OpenFiles;  // outlives every static destructor
  return *files;
}

struct WriteFault {
  std::mutex lock;
  DWORD calls = 0;
  DWORD nth = 0;
  DWORD times = 0;
  DWORD maxBytes = 0;
  DWORD error = 0;
};

WriteFault& writeFault() {
  static WriteFault* fault = new WriteFault;
  return *fault;
}

std::shared_ptr<FileObject> lookupFile(HANDLE handle) {
  std::shared_ptr<FileObject> file = LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

std::u16string_view wideView(LPCWSTR text) { return std::u16string_view(text, PathLength(text)); }

constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970

FILETIME toFileTime(int64_t seconds, int64_t nanoseconds) {
  uint64_t ticks = static_cast<uint64_t>((seconds + kEpochDifference) * 10000000LL + nanoseconds / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

timespec fromFileTime(const FILETIME* time) {
  timespec ts{};
  if (time == nullptr || (time->dwLowDateTime == 0 && time->dwHighDateTime == 0) ||
      (time->dwLowDateTime == 0xFFFFFFFFu && time->dwHighDateTime == 0xFFFFFFFFu)) {
    ts.tv_nsec = UTIME_OMIT;  // Windows: 0 (and all ones) leave the time as it is
    return ts;
  }
  uint64_t ticks = (static_cast<uint64_t>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
  int64_t seconds = static_cast<int64_t>(ticks / 10000000ULL) - kEpochDifference;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((ticks % 10000000ULL) * 100);
  return ts;
}

struct FileTimes {
  FILETIME creation;
  FILETIME access;
  FILETIME write;
};

bool timesOf(int dirfd, const char* path, int flags, FileTimes& out) {
  struct statx sx;
  if (::statx(dirfd, path, flags, STATX_BTIME | STATX_ATIME | STATX_MTIME, &sx) != 0) return false;
  out.access = toFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  out.write = toFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  out.creation = (sx.stx_mask & STATX_BTIME) ? toFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : out.write;
  return true;
}

DWORD attributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return FILE_ATTRIBUTE_ARCHIVE | ((st.st_mode & S_IWUSR) ? 0u : FILE_ATTRIBUTE_READONLY);
}

bool readAll(int fd, BYTE* buffer, DWORD count, DWORD& done) {
  done = 0;
  while (done < count) {
    ssize_t n = ::read(fd, buffer + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  return true;
}

bool writeAll(int fd, const BYTE* buffer, DWORD count, DWORD& done) {
  done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, buffer + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<DWORD>(n);
  }
  return true;
}

}  // namespace

std::mutex& FileSystemLock() { return openFiles().lock; }

FileObject::FileObject(int fd_, FileId id_, bool read, bool write, bool del, DWORD share_)
    : fd(fd_), id(id_), canRead(read), canWrite(write), canDelete(del), share(share_) {}

FileObject::~FileObject() { ::close(fd); }

void FileObject::onHandleClosed() {
  std::lock_guard<std::mutex> guard(openFiles().lock);
  releaseShareLocked();
}

void FileObject::holdShareLocked() {
  openFiles().opens[id].push_back(Opener{this, canRead, canWrite, canDelete, share});
}

void FileObject::releaseShareLocked() {
  OpenFiles& files = openFiles();
  auto it = files.opens.find(id);
  if (it == files.opens.end()) return;
  auto& list = it->second;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const Opener& o) { return o.owner == this; }), list.end());
  if (list.empty()) files.opens.erase(it);
}

// Handles that ask for no data and no delete access (attribute queries)
// neither take part in nor are restricted by sharing.
bool SharingAllows(const FileId& id, bool read, bool write, bool del, DWORD share) {
  if (!read && !write && !del) return true;
  OpenFiles& files = openFiles();
  auto it = files.opens.find(id);
  if (it == files.opens.end()) return true;
  for (const Opener& o : it->second) {
    if (!o.read && !o.write && !o.del) continue;
    if ((read && !(o.share & FILE_SHARE_READ)) || (write && !(o.share & FILE_SHARE_WRITE)) ||
        (del && !(o.share & FILE_SHARE_DELETE)))
      return false;
    if ((o.read && !(share & FILE_SHARE_READ)) || (o.write && !(share & FILE_SHARE_WRITE)) ||
        (o.del && !(share & FILE_SHARE_DELETE)))
      return false;
  }
  return true;
}

bool HeldWithoutShareDelete(const FileId& id) {
  OpenFiles& files = openFiles();
  auto it = files.opens.find(id);
  if (it == files.opens.end()) return false;
  for (const Opener& o : it->second)
    if ((o.read || o.write || o.del) && !(o.share & FILE_SHARE_DELETE)) return true;
  return false;
}

void AddMapping(const FileId& id) { ++openFiles().mappings[id]; }

void RemoveMapping(const FileId& id) {
  OpenFiles& files = openFiles();
  auto it = files.mappings.find(id);
  if (it != files.mappings.end() && --it->second == 0) files.mappings.erase(it);
}

bool IsMapped(const FileId& id) { return openFiles().mappings.count(id) != 0; }

std::optional<FileId> HostFileId(const std::string& host) {
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case EINVAL:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD MissingFileError(const std::string& host) {
  size_t slash = host.rfind('/');
  if (slash == std::string::npos || slash == 0) return ERROR_PATH_NOT_FOUND;
  struct stat st;
  std::string folder = host.substr(0, slash);
  return (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace kp

namespace kp {
namespace {

// CreateFileW's steps up to an open handle. Each step answers the error it
// stops at; CreateFileW sets it, so the last error is set in one place.
// `existed` tells whether the file was there before the call.
DWORD OpenOrCreate(LPCWSTR name, DWORD access, DWORD shareMode, DWORD disposition, DWORD flagsAndAttributes,
                   HANDLE& handle, bool& existed) {
  const bool read = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
  const bool write = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  const bool del = (access & (DELETE | GENERIC_ALL)) != 0;
  const DWORD hints = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_SEQUENTIAL_SCAN;

  // 1. The arguments.
  if (name == nullptr || (shareMode & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) != 0 ||
      disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || (disposition == TRUNCATE_EXISTING && !write))
    return ERROR_INVALID_PARAMETER;
  if ((flagsAndAttributes & 0xFFFF0000u & ~hints) != 0) return ERROR_NOT_SUPPORTED;

  // 2. The host path (the mapper has set why it has none).
  std::optional<std::string> host = MapPath(wideView(name));
  if (!host) return GetLastError();

  // 3. What is there now, looked at and opened under the file-system lock.
  std::lock_guard<std::mutex> guard(FileSystemLock());
  struct stat st;
  existed = ::stat(host->c_str(), &st) == 0;
  if (!existed && errno != ENOENT) return errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
  const bool truncate = existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  int flags = O_CLOEXEC | ((write || truncate) ? O_RDWR : O_RDONLY);

  // 4. An existing file: a file, not asked to be new, writable when written
  // (read-only also for a process running as root), shared as asked, and
  // not truncated under a mapping.
  if (existed) {
    const FileId id{st.st_dev, st.st_ino};
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
    if ((write || truncate) && !(st.st_mode & S_IWUSR)) return ERROR_ACCESS_DENIED;
    if (!SharingAllows(id, read, write || truncate, del, shareMode)) return ERROR_SHARING_VIOLATION;
    if (truncate && IsMapped(id)) return ERROR_USER_MAPPED_FILE;
    if (truncate) flags |= O_TRUNC;
  }

  // 5. A missing file: only the dispositions that create one.
  if (!existed) {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return MissingFileError(*host);
    flags |= O_CREAT | O_EXCL;
  }

  // 6. The host file and what it is.
  int fd = ::open(host->c_str(), flags, 0666);
  if (fd < 0) return errno == ENOENT ? MissingFileError(*host) : ErrorFromErrno(errno);
  struct stat opened;
  if (::fstat(fd, &opened) != 0) {
    DWORD error = ErrorFromErrno(errno);
    ::close(fd);
    return error;
  }

  // 7. The handle, taking its part in the sharing.
  auto file = std::make_shared<FileObject>(fd, FileId{opened.st_dev, opened.st_ino}, read, write, del, shareMode);
  file->holdShareLocked();
  handle = InsertHandle(file);
  if (handle == nullptr) {
    file->releaseShareLocked();
    return ERROR_TOO_MANY_OPEN_FILES;
  }
  return NO_ERROR;
}

}  // namespace
}  // namespace kp

using kp::FileObject;

KP_API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                                 DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  HANDLE handle = nullptr;
  bool existed = false;
  DWORD error =
      kp::OpenOrCreate(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes, handle,
                       existed);
  const bool opened = error == NO_ERROR && handle != nullptr;
  // Success sets the last error too: ERROR_ALREADY_EXISTS when CREATE_ALWAYS
  // or OPEN_ALWAYS found the file, as on Windows.
  if (opened && existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS))
    error = ERROR_ALREADY_EXISTS;
  SetLastError(error);
  return opened ? handle : INVALID_HANDLE_VALUE;
}

KP_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                            LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!file->canRead) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  bool ok = kp::readAll(file->fd, static_cast<BYTE*>(lpBuffer), nNumberOfBytesToRead, done);
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
  if (!ok) {
    SetLastError(errno == EIO ? ERROR_READ_FAULT : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                             LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!file->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD count = nNumberOfBytesToWrite;
  DWORD injectedError = 0;
  {
    kp::WriteFault& fault = kp::writeFault();
    std::lock_guard<std::mutex> guard(fault.lock);
    if (fault.nth != 0) {
      DWORD call = ++fault.calls;
      if (call >= fault.nth && call - fault.nth < fault.times) {
        count = std::min(count, fault.maxBytes);
        injectedError = fault.error;
      }
    }
  }
  DWORD done = 0;
  bool ok = kp::writeAll(file->fd, static_cast<const BYTE*>(lpBuffer), count, done);
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  if (!ok) {
    SetLastError(errno == EIO ? ERROR_WRITE_FAULT : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  if (injectedError != 0) {
    SetLastError(injectedError);
    return FALSE;
  }
  return TRUE;
}

namespace {

// Moves the file pointer; the new position, or -1 with the last error set.
LONGLONG movePointer(const FileObject& file, LONGLONG distance, DWORD method) {
  LONGLONG base;
  if (method == FILE_BEGIN) {
    base = 0;
  } else if (method == FILE_CURRENT) {
    base = ::lseek(file.fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat st;
    base = ::fstat(file.fd, &st) == 0 ? static_cast<LONGLONG>(st.st_size) : -1;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (base < 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return -1;
  }
  if ((distance < 0 && base + distance < 0) || (distance > 0 && base > INT64_MAX - distance)) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return -1;
  }
  LONGLONG target = base + distance;
  if (::lseek(file.fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return -1;
  }
  return target;
}

}  // namespace

KP_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  LONGLONG distance =
      lpDistanceToMoveHigh != nullptr
          ? static_cast<LONGLONG>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                  static_cast<uint32_t>(lDistanceToMove))
          : static_cast<LONGLONG>(lDistanceToMove);
  if (lpDistanceToMoveHigh == nullptr && dwMoveMethod <= FILE_END) {
    // Without a high part the new position must fit in 32 bits: check first,
    // so that a refused move leaves the pointer where it was.
    LONGLONG here = ::lseek(file->fd, 0, SEEK_CUR);
    LONGLONG probe = movePointer(*file, distance, dwMoveMethod);
    if (probe < 0) return INVALID_SET_FILE_POINTER;
    if (probe > 0xFFFFFFFELL) {
      ::lseek(file->fd, static_cast<off_t>(here), SEEK_SET);
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(probe);
  }
  LONGLONG position = movePointer(*file, distance, dwMoveMethod);
  if (position < 0) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(position);
}

KP_API BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                                    DWORD dwMoveMethod) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  LONGLONG position = movePointer(*file, liDistanceToMove.QuadPart, dwMoveMethod);
  if (position < 0) return FALSE;
  if (lpNewFilePointer != nullptr) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

KP_API BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (!file->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(kp::FileSystemLock());
  off_t position = ::lseek(file->fd, 0, SEEK_CUR);
  struct stat st;
  if (position < 0 || ::fstat(file->fd, &st) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  if (position < st.st_size && kp::IsMapped(file->id)) {
    SetLastError(ERROR_USER_MAPPED_FILE);
    return FALSE;
  }
  if (::ftruncate(file->fd, position) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (lpFileSize == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat st;
  if (::fstat(file->fd, &st) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  lpFileSize->QuadPart = st.st_size;
  return TRUE;
}

KP_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(size.QuadPart) >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size.QuadPart);
}

KP_API BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (!file->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::fsync(file->fd) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                               LPFILETIME lpLastWriteTime) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  kp::FileTimes times;
  if (!kp::timesOf(file->fd, "", AT_EMPTY_PATH, times)) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  if (lpCreationTime != nullptr) *lpCreationTime = times.creation;
  if (lpLastAccessTime != nullptr) *lpLastAccessTime = times.access;
  if (lpLastWriteTime != nullptr) *lpLastWriteTime = times.write;
  return TRUE;
}

KP_API BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                               const FILETIME* lpLastWriteTime) {
  std::shared_ptr<FileObject> file = kp::lookupFile(hFile);
  if (!file) return FALSE;
  if (!file->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (kp::fromFileTime(lpCreationTime).tv_nsec != UTIME_OMIT) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  timespec times[2] = {kp::fromFileTime(lpLastAccessTime), kp::fromFileTime(lpLastWriteTime)};
  if (::futimens(file->fd, times) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::optional<std::string> host = kp::MapPath(kp::wideView(lpFileName));
  if (!host) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::stat(host->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*host) : kp::ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  return kp::attributesOf(st);
}

KP_API BOOL WINAPI GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                        LPVOID lpFileInformation) {
  if (lpFileName == nullptr || lpFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<std::string> host = kp::MapPath(kp::wideView(lpFileName));
  if (!host) return FALSE;
  struct stat st;
  kp::FileTimes times;
  if (::stat(host->c_str(), &st) != 0 || !kp::timesOf(AT_FDCWD, host->c_str(), 0, times)) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*host) : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  data.dwFileAttributes = kp::attributesOf(st);
  data.ftCreationTime = times.creation;
  data.ftLastAccessTime = times.access;
  data.ftLastWriteTime = times.write;
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
  std::memcpy(lpFileInformation, &data, sizeof data);
  return TRUE;
}

KP_API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<std::string> host = kp::MapPath(kp::wideView(lpFileName));
  if (!host) return FALSE;
  std::lock_guard<std::mutex> guard(kp::FileSystemLock());
  struct stat st;
  if (::lstat(host->c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*host) : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {
    SetLastError(ERROR_ACCESS_DENIED);  // a folder, or a read-only file
    return FALSE;
  }
  kp::FileId id{st.st_dev, st.st_ino};
  if (kp::HeldWithoutShareDelete(id)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (kp::IsMapped(id)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(host->c_str()) != 0) {
    SetLastError(kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if ((dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr ||
      (dwFlags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<std::string> source = kp::MapPath(kp::wideView(lpExistingFileName));
  if (!source) return FALSE;
  std::optional<kp::WindowsPath> target = kp::ParseWindowsPath(kp::wideView(lpNewFileName));
  if (!target) return FALSE;
  std::optional<std::string> destination = kp::MapResolved(*target);
  if (!destination) return FALSE;

  std::lock_guard<std::mutex> guard(kp::FileSystemLock());
  struct stat from;
  if (::lstat(source->c_str(), &from) != 0) {
    SetLastError(errno == ENOENT ? kp::MissingFileError(*source) : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  kp::FileId fromId{from.st_dev, from.st_ino};
  if (kp::HeldWithoutShareDelete(fromId)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  struct stat to;
  if (::lstat(destination->c_str(), &to) == 0) {
    kp::FileId toId{to.st_dev, to.st_ino};
    if (toId == fromId) {
      // The same file under another letter case: rename it to the case given.
      size_t cut = target->rest.rfind(u'\\');
      std::optional<std::string> given =
          kp::PathToUtf8(cut == std::u16string::npos ? target->rest : target->rest.substr(cut + 1));
      if (target->isRoot() || !given) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
      }
      destination = destination->substr(0, destination->rfind('/') + 1) + *given;
      if (*destination == *source) return TRUE;
    } else {
      if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
      }
      if (S_ISDIR(to.st_mode) || S_ISDIR(from.st_mode) || !(to.st_mode & S_IWUSR) || kp::HeldWithoutShareDelete(toId) ||
          kp::IsMapped(toId)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
      }
    }
  } else if (errno != ENOENT) {
    SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  if (::rename(source->c_str(), destination->c_str()) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : kp::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

KP_API void KpSetWriteFault(DWORD nth, DWORD times, DWORD maxBytes, DWORD error) {
  kp::WriteFault& fault = kp::writeFault();
  std::lock_guard<std::mutex> guard(fault.lock);
  fault.calls = 0;
  fault.nth = nth;
  fault.times = times;
  fault.maxBytes = maxBytes;
  fault.error = error;
}
