#include "object.h"

#include <mutex>
#include <unordered_map>

#include "kplatform/kernel32_sync.h"

namespace kp {
namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uint32_t next = 1;
};

HandleTable& table() {
  static HandleTable* t = new HandleTable;  // outlives every static destructor
  return *t;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  if (!object) return nullptr;
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint32_t index = t.next++;
    if (t.next >= 0x3FFFFFFFu) t.next = 1;
    uintptr_t value = static_cast<uintptr_t>(index) << 2;
    if (t.objects.count(value) != 0) continue;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
  }
  return nullptr;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object;
  {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) return false;
    object = std::move(it->second);
    t.objects.erase(it);
  }
  object->onHandleClosed();
  return true;  // the object dies here unless a call in progress still holds it
}

size_t OpenHandleCount() {
  HandleTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.objects.size();
}

}  // namespace kp

KP_API BOOL WINAPI CloseHandle(HANDLE handle) {
  if (!kp::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API size_t KpOpenHandleCount(void) { return kp::OpenHandleCount(); }
