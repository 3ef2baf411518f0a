// Read-only file mappings over mmap. A mapping keeps its own descriptor of
// the file, so it outlives the file handle; a view keeps its mapping, so it
// outlives the mapping handle. While any mapping of a file lives, the file
// cannot be shrunk, deleted or replaced: a view would otherwise fault on the
// bytes that went away.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "file_share.h"
#include "kplatform/kernel32_file.h"

namespace kp {
namespace {

constexpr uint64_t kAllocationGranularity = 65536;
constexpr DWORD kSecCommit = 0x08000000u;

class MappingObject : public KernelObject {
 public:
  MappingObject(int fd_, FileId id_, uint64_t size_) : fd(fd_), id(id_), size(size_) {}
  ~MappingObject() override {
    ::close(fd);
    std::lock_guard<std::mutex> guard(FileSystemLock());
    RemoveMapping(id);
  }
  const int fd;
  const FileId id;
  const uint64_t size;
};

struct View {
  size_t length;
  std::shared_ptr<MappingObject> mapping;
};

struct Views {
  std::mutex lock;
  std::map<uintptr_t, View> views;
};

Views& views() {
  static Views* v = new Views;  // outlives every static destructor
  return *v;
}

// CreateFileMappingW's steps up to a mapping handle. Each step answers the
// error it stops at; CreateFileMappingW sets it, so the last error is set in
// one place.
DWORD MapFile(HANDLE fileHandle, DWORD protect, DWORD maximumHigh, DWORD maximumLow, LPCWSTR name, HANDLE& handle) {
  // 1. Only unnamed read-only mappings of files: named, page-file and
  // writable mappings are not offered.
  if (name != nullptr || fileHandle == INVALID_HANDLE_VALUE || (protect & ~kSecCommit) != PAGE_READONLY)
    return ERROR_NOT_SUPPORTED;

  // 2. A file handle that may read.
  std::shared_ptr<FileObject> file = LookupHandleAs<FileObject>(fileHandle);
  if (!file) return ERROR_INVALID_HANDLE;
  if (!file->canRead) return ERROR_ACCESS_DENIED;

  // 3. The size, within the file (a read-only mapping cannot grow it), and
  // the mapping's own descriptor, counted as a mapping of the file.
  uint64_t requested = (static_cast<uint64_t>(maximumHigh) << 32) | maximumLow;
  int fd = -1;
  uint64_t size = 0;
  {
    std::lock_guard<std::mutex> guard(FileSystemLock());
    struct stat st;
    if (::fstat(file->fd, &st) != 0) return ErrorFromErrno(errno);
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (requested == 0 && fileSize == 0) return ERROR_FILE_INVALID;
    if (requested > fileSize) return ERROR_INVALID_PARAMETER;
    size = requested == 0 ? fileSize : requested;
    fd = ::fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return ErrorFromErrno(errno);
    AddMapping(file->id);
  }

  // 4. The handle (a mapping that gets none closes its descriptor again).
  handle = InsertHandle(std::make_shared<MappingObject>(fd, file->id, size));
  return handle == nullptr ? ERROR_TOO_MANY_OPEN_FILES : NO_ERROR;
}

}  // namespace
}  // namespace kp

KP_API HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                        DWORD dwMaximumSizeLow, LPCWSTR lpName) {
  HANDLE handle = nullptr;
  DWORD error = kp::MapFile(hFile, flProtect, dwMaximumSizeHigh, dwMaximumSizeLow, lpName, handle);
  SetLastError(error);  // NO_ERROR on success
  return error == NO_ERROR ? handle : nullptr;
}

KP_API LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                                   DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  std::shared_ptr<kp::MappingObject> mapping = kp::LookupHandleAs<kp::MappingObject>(hFileMappingObject);
  if (!mapping) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dwDesiredAccess == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((dwDesiredAccess & ~static_cast<DWORD>(FILE_MAP_READ)) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);  // the mapping is read-only
    return nullptr;
  }
  uint64_t offset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  if (offset % kp::kAllocationGranularity != 0) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  if (offset >= mapping->size || dwNumberOfBytesToMap > mapping->size - offset) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  size_t length = dwNumberOfBytesToMap != 0 ? dwNumberOfBytesToMap : static_cast<size_t>(mapping->size - offset);
  void* base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, mapping->fd, static_cast<off_t>(offset));
  if (base == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  kp::Views& v = kp::views();
  std::lock_guard<std::mutex> guard(v.lock);
  v.views.emplace(reinterpret_cast<uintptr_t>(base), kp::View{length, std::move(mapping)});
  return base;
}

KP_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  kp::View view{};
  {
    kp::Views& v = kp::views();
    std::lock_guard<std::mutex> guard(v.lock);
    auto it = v.views.find(reinterpret_cast<uintptr_t>(lpBaseAddress));
    if (it == v.views.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    view = std::move(it->second);
    v.views.erase(it);
  }
  ::munmap(const_cast<void*>(lpBaseAddress), view.length);
  return TRUE;  // the mapping goes with `view` when this was its last reference
}

KP_API size_t KpMappedViewCount(void) {
  kp::Views& v = kp::views();
  std::lock_guard<std::mutex> guard(v.lock);
  return v.views.size();
}
