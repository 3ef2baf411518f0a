// EngLoadModule, EngMapModule, EngFreeModule and EngFindResource: whole
// files as read-only views over the kernel stand-in's file mappings, and
// resources read from a resource container.
#include <string>

#include "engine/engine_state.h"
#include "kernel32/module.h"
#include "kernel32/rescontainer.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_sync.h"

namespace {

struct Module : kp::engine::Object {
  Module() : Object(KP_ENGINE_MODULES) {}
  ~Module() override {
    if (view) UnmapViewOfFile(view);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  std::mutex lock;
  std::u16string path;
  HANDLE file = INVALID_HANDLE_VALUE;
  const uint8_t* view = nullptr;
  ULONG size = 0;
  bool resourcesRead = false;
  std::vector<kp::res::Entry> entries;                  // when the file is a container
  std::shared_ptr<const kp::ResourceSet> libraryResources;  // when it is a loaded library
};

std::shared_ptr<Module> find(HANDLE h) { return kp::engine::FindAs<Module>(h, KP_ENGINE_MODULES); }

HANDLE openRead(const std::u16string& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool endsWithDll(const std::u16string& path) {
  if (path.size() < 4) return false;
  std::u16string tail = path.substr(path.size() - 4);
  for (auto& c : tail) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return tail == u".dll";
}

// Maps the module's file when it is not mapped yet. Call with the lock held.
bool mapLocked(Module& m) {
  if (m.view) return true;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(m.file, &size)) return false;
  if (size.QuadPart > 0xFFFFFFFFll) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  HANDLE mapping = CreateFileMappingW(m.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return false;  // an empty file included
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  CloseHandle(mapping);
  if (!view) return false;
  m.view = static_cast<const uint8_t*>(view);
  m.size = static_cast<ULONG>(size.QuadPart);
  return true;
}

}  // namespace

KP_API HANDLE WINAPI EngLoadModule(LPWSTR pwsz) {
  if (!pwsz || pwsz[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto m = std::make_shared<Module>();
  m->path = pwsz;
  m->file = openRead(m->path);
  if (m->file == INVALID_HANDLE_VALUE && endsWithDll(m->path)) {
    // "name.dll" is also the file "libname.so" in the same folder.
    DWORD error = GetLastError();
    size_t slash = m->path.find_last_of(u"\\/");
    size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    std::u16string alternative = m->path.substr(0, start) + u"lib" +
                                 m->path.substr(start, m->path.size() - 4 - start) + u".so";
    m->file = openRead(alternative);
    if (m->file == INVALID_HANDLE_VALUE) {
      SetLastError(error);
    } else {
      m->path = alternative;
    }
  }
  if (m->file == INVALID_HANDLE_VALUE) return nullptr;
  return reinterpret_cast<HANDLE>(kp::engine::Insert(m));
}

KP_API PVOID WINAPI EngMapModule(HANDLE h, PULONG pulSize) {
  auto m = find(h);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(m->lock);
  if (!mapLocked(*m)) return nullptr;
  if (pulSize) *pulSize = m->size;
  return const_cast<uint8_t*>(m->view);
}

KP_API VOID WINAPI EngFreeModule(HANDLE h) { kp::engine::Remove(reinterpret_cast<uintptr_t>(h), KP_ENGINE_MODULES); }

KP_API PVOID WINAPI EngFindResource(HANDLE h, int iName, int iType, PULONG pulSize) {
  if (pulSize) *pulSize = 0;
  auto m = find(h);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (iName <= 0 || iName > 0xFFFF || iType <= 0 || iType > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(m->lock);
  if (!m->resourcesRead) {
    if (!mapLocked(*m)) return nullptr;
    m->resourcesRead = true;
    if (kp::res::LooksLikeContainer(m->view, m->size)) {
      if (kp::res::Parse(m->view, m->size, m->entries) != kp::res::Status::kOk) m->entries.clear();
    } else if (HMODULE loaded = GetModuleHandleW(m->path.c_str())) {
      DWORD error = 0;
      m->libraryResources = kp::ModuleResources(loaded, error);
    }
  }
  const uint8_t* base = m->view;
  const std::vector<kp::res::Entry>* entries = &m->entries;
  if (m->libraryResources) {
    base = m->libraryResources->data;
    entries = &m->libraryResources->entries;
  }
  const kp::res::Entry* e = kp::res::Find(*entries, static_cast<uint16_t>(iType), static_cast<uint16_t>(iName));
  if (!e) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  if (pulSize) *pulSize = e->length;
  return const_cast<uint8_t*>(base + e->offset);
}
