// Kernel objects behind HANDLE values (internal to the platform library).
//
// Every object a HANDLE names — file, file mapping, event, mutex, semaphore,
// thread, heap — derives from KernelObject and is kept alive by shared
// ownership: the handle table holds one reference per open handle, and a call
// in progress holds its own, so CloseHandle on another thread never frees an
// object under a caller. Handle values are small multiples of 4, as on
// Windows, never reused while the process lives long enough to matter
// (a 32-bit counter), and never equal to INVALID_HANDLE_VALUE or null.
#pragma once

#include <memory>

#include "kplatform/wintypes.h"

namespace kp {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called when a handle to the object is closed (before the table drops its
  // reference). Files use it to give up their share of the sharing rules.
  virtual void onHandleClosed() {}
};

// Adds a handle for the object; null when the table is full.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null (last error ERROR_INVALID_HANDLE is
// NOT set here; callers decide).
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes the handle; false when it named nothing.
bool RemoveHandle(HANDLE handle);

// Number of open handles (tests check that a component closes what it opens).
size_t OpenHandleCount();

}  // namespace kp
