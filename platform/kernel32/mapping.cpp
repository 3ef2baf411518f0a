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

}  // namespace
}  // namespace kp

KP_API HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                        DWORD dwMaximumSizeLow, LPCWSTR lpName) {
  if (lpName != nullptr || hFile == INVALID_HANDLE_VALUE || (flProtect & ~kp::kSecCommit) != PAGE_READONLY) {
    SetLastError(ERROR_NOT_SUPPORTED);  // named, page-file and writable mappings are not offered
    return nullptr;
  }
  std::shared_ptr<kp::FileObject> file = kp::LookupHandleAs<kp::FileObject>(hFile);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!file->canRead) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t requested = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  int fd = -1;
  uint64_t size = 0;
  {
    std::lock_guard<std::mutex> guard(kp::FileSystemLock());
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
      SetLastError(kp::ErrorFromErrno(errno));
      return nullptr;
    }
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (requested == 0 && fileSize == 0) {
      SetLastError(ERROR_FILE_INVALID);
      return nullptr;
    }
    if (requested > fileSize) {
      SetLastError(ERROR_INVALID_PARAMETER);  // a read-only mapping cannot grow the file
      return nullptr;
    }
    size = requested == 0 ? fileSize : requested;
    fd = ::fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      SetLastError(kp::ErrorFromErrno(errno));
      return nullptr;
    }
    kp::AddMapping(file->id);
  }
  auto mapping = std::make_shared<kp::MappingObject>(fd, file->id, size);
  HANDLE handle = kp::InsertHandle(mapping);
  if (handle == nullptr) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  SetLastError(NO_ERROR);
  return handle;
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
