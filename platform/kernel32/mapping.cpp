// Read-only file mappings over mmap. A mapping keeps its own descriptor of
// the file, so it outlives the file handle; a view keeps its mapping, so it
// outlives the mapping handle. While any mapping of a file lives, the file
// cannot be shrunk, deleted or replaced: a view would otherwise fault on the
// bytes that went away.
//
// Decision: a view given back stays mapped, idle, for the next view of the
// same bytes of the same file while the file is unchanged (same size and
// modification time): at most kIdleViews of them and kIdleBytes in all, the
// oldest unmapped first. Unmapping makes every processor the process runs on
// flush its address cache, which costs more than the mapping; a driver that
// maps its data file at every page now maps it once. An idle view is no
// mapping of the file (the file may be deleted or replaced meanwhile; a
// changed file is mapped afresh), and KpMappedViewCount does not count it.
//
// Decision: the idle list is a vector whose room for every idle view (and
// the one being added) is taken when the list is made, so keeping, taking
// and dropping idle views allocates nothing afterwards. A list that
// allocated as views came and went (a deque's blocks) made one block live
// past the call that made it: a caller that counts its own allocations,
// such as the fuzz targets' leak check, would see a block made in one
// document and freed in the next.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "file_share.h"
#include "kplatform/kernel32_file.h"

namespace kp {
namespace {

constexpr uint64_t kAllocationGranularity = 65536;
constexpr DWORD kSecCommit = 0x08000000u;
constexpr size_t kIdleViews = 16;
constexpr size_t kIdleBytes = size_t{64} << 20;

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

// Which bytes of which file a view shows.
struct ViewKey {
  FileId id;
  uint64_t offset = 0;
  size_t length = 0;
  off_t fileSize = 0;
  struct timespec mtime {};
  bool operator==(const ViewKey& o) const {
    return id == o.id && offset == o.offset && length == o.length && fileSize == o.fileSize &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

struct View {
  ViewKey key;
  bool keepable = false;  // the file was described: the view may stay idle
  std::shared_ptr<MappingObject> mapping;
};

struct IdleView {
  ViewKey key;
  void* base;
};

struct Views {
  std::mutex lock;
  std::map<uintptr_t, View> views;
  std::vector<IdleView> idle;  // oldest first; room for kIdleViews + 1, taken once
  size_t idleBytes = 0;
};

Views& views() {
  static Views* v = [] {
    auto* made = new Views;  // outlives every static destructor
    made->idle.reserve(kIdleViews + 1);
    return made;
  }();
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
  kp::ViewKey key{mapping->id, offset, length, 0, {}};
  struct stat st {};
  const bool known = ::fstat(mapping->fd, &st) == 0;
  if (known) {
    key.fileSize = st.st_size;
    key.mtime = st.st_mtim;
  }
  kp::Views& v = kp::views();
  void* base = nullptr;
  if (known) {  // an idle view of the same bytes of the unchanged file
    std::lock_guard<std::mutex> guard(v.lock);
    for (auto it = v.idle.begin(); it != v.idle.end(); ++it) {
      if (!(it->key == key)) continue;
      base = it->base;
      v.idleBytes -= length;
      v.idle.erase(it);
      break;
    }
  }
  if (base == nullptr) {
    base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, mapping->fd, static_cast<off_t>(offset));
    if (base == MAP_FAILED) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  std::lock_guard<std::mutex> guard(v.lock);
  v.views.emplace(reinterpret_cast<uintptr_t>(base), kp::View{key, known, std::move(mapping)});
  return base;
}

KP_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  kp::View view{};
  std::vector<kp::IdleView> unmap;  // the view itself when it is not kept, and idle views it pushes out
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
    kp::IdleView given{view.key, const_cast<void*>(lpBaseAddress)};
    if (!view.keepable || view.key.length > kp::kIdleBytes) {
      unmap.push_back(given);
    } else {
      v.idle.push_back(given);
      v.idleBytes += given.key.length;
      while (v.idle.size() > kp::kIdleViews || v.idleBytes > kp::kIdleBytes) {
        unmap.push_back(v.idle.front());
        v.idleBytes -= v.idle.front().key.length;
        v.idle.erase(v.idle.begin());
      }
    }
  }
  for (const kp::IdleView& u : unmap) ::munmap(u.base, u.key.length);
  return TRUE;  // the mapping goes with `view` when this was its last reference
}

KP_API size_t KpMappedViewCount(void) {
  kp::Views& v = kp::views();
  std::lock_guard<std::mutex> guard(v.lock);
  return v.views.size();
}
