// Open files and the sharing rules between them (internal to the platform
// library). Implemented in file.cpp; used by directory.cpp and mapping.cpp.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
#include <string>

#include "kplatform/wintypes.h"
#include "object.h"

namespace kp {

// A host file, by device and inode: every handle of one file shares it,
// whatever name it was opened by.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId& other) const { return dev == other.dev && ino == other.ino; }
};

// Held across every check-then-act on the file system (open, delete, move,
// map, truncate), so that the sharing rules cannot be raced within the
// process.
std::mutex& FileSystemLock();

// An open file handle. The host descriptor closes when the last reference
// goes; the share is given up when the handle is closed.
class FileObject : public KernelObject {
 public:
  FileObject(int fd, FileId id, bool read, bool write, bool del, DWORD share);
  ~FileObject() override;
  void onHandleClosed() override;
  // Join or leave the open handles of the file (FileSystemLock held).
  void holdShareLocked();
  void releaseShareLocked();

  const int fd;
  const FileId id;
  const bool canRead;
  const bool canWrite;
  const bool canDelete;
  const DWORD share;
};

// The following need FileSystemLock held.
// Whether a new handle with this access and share mode may join the open ones.
bool SharingAllows(const FileId& id, bool read, bool write, bool del, DWORD share);
// Whether some open handle of the file does not share delete.
bool HeldWithoutShareDelete(const FileId& id);
// Mappings of a file (a mapped file cannot be truncated, deleted or replaced).
void AddMapping(const FileId& id);
void RemoveMapping(const FileId& id);
bool IsMapped(const FileId& id);

// Device and inode of a host path (not following a last symbolic link).
std::optional<FileId> HostFileId(const std::string& host);

// The Windows error for an errno value.
DWORD ErrorFromErrno(int error);
// ERROR_FILE_NOT_FOUND when the folder of `host` exists, else
// ERROR_PATH_NOT_FOUND.
DWORD MissingFileError(const std::string& host);

}  // namespace kp
