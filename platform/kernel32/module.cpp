// The loader: Windows module names to files of the root, dlopen beneath,
// reference counts and DllMain calls above. The rule and the decisions are
// written in kplatform/kernel32_module.h.
#include "module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "codepage.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/root.h"
#include "path.h"

namespace fs = std::filesystem;

namespace kp {
namespace {

constexpr std::u16string_view kDriverDirectory = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3";
constexpr std::u16string_view kSystemDirectory = u"C:\\Windows\\system32";
constexpr const char* kDriverDirectoryBelowRoot = "c/Windows/system32/spool/drivers/x64/3";
// Module handles lie far above the kernel object handles (small multiples of
// 4) so that neither is ever taken for the other.
constexpr uintptr_t kFirstModuleHandle = uintptr_t{0x7A} << 40;
constexpr uintptr_t kModuleHandleStep = 0x10000;

using DllMainFn = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct Module {
  HMODULE handle = nullptr;
  bool code = false;
  void* dl = nullptr;
  const link_map* linkMap = nullptr;
  std::shared_ptr<ResourceSet> resources;  // resource-only modules
  dev_t device = 0;
  ino_t inode = 0;
  std::u16string windowsPath;
  uint32_t references = 1;
};

struct Loader {
  // Held through a whole load or free, DllMain calls included; re-entrant so
  // that a DllMain may load or free modules itself, as on Windows.
  std::recursive_mutex loaderLock;
  // Guards the tables; held only briefly and never while calling the host
  // loader or a module (a library's static initialiser registers its
  // resources under this lock while the host loader holds its own).
  std::mutex tableLock;
  std::map<uintptr_t, std::shared_ptr<Module>> modules;
  std::map<const link_map*, std::shared_ptr<ResourceSet>> libraryResources;
  uintptr_t nextHandle = kFirstModuleHandle;
};

Loader& loader() {
  static Loader* l = new Loader;  // outlives every static destructor
  return *l;
}

char16_t lowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// The file name a module name asks for: ".dll" added when there is no
// extension, a trailing dot dropped. Empty when there is no file name.
std::u16string normalisedFileName(std::u16string_view file) {
  std::u16string name(file);
  if (name.empty()) return name;
  if (name.back() == u'.')
    name.pop_back();
  else if (name.find(u'.') == std::u16string::npos)
    name += u".dll";
  return name;
}

std::u16string_view baseName(std::u16string_view path) {
  size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

struct Found {
  std::string host;
  std::u16string windowsPath;
  struct stat info;
};

std::u16string joinWindows(std::u16string_view folder, std::u16string_view file) {
  std::u16string out(folder);
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/' && out.back() != u':') out += u'\\';
  out += file;
  return out;
}

// The module-name rule (see kernel32_module.h).
std::optional<Found> resolve(std::u16string_view name) {
  size_t cut = name.find_last_of(u"\\/");
  bool hasFolder = cut != std::u16string_view::npos;
  std::u16string_view folder = hasFolder ? name.substr(0, cut + 1) : std::u16string_view();
  if (!hasFolder && name.size() >= 2 && name[1] == u':') {  // "C:name.dll"
    hasFolder = true;
    folder = name.substr(0, 2);
    cut = 1;
  }
  const std::u16string fileName = normalisedFileName(hasFolder ? name.substr(cut + 1) : name);
  if (fileName.empty()) return std::nullopt;

  std::u16string candidates[2] = {fileName, {}};
  if (fileName.size() > 4 && equalsNoCase(std::u16string_view(fileName).substr(fileName.size() - 4), u".dll"))
    candidates[1] = u"lib" + fileName.substr(0, fileName.size() - 4) + u".so";

  std::u16string_view folders[2] = {folder, {}};
  if (!hasFolder) {
    folders[0] = kDriverDirectory;
    folders[1] = kSystemDirectory;
  }
  for (std::u16string_view dir : folders) {
    if (dir.empty()) continue;
    for (int c = 0; c < 2; ++c) {
      if (candidates[c].empty()) continue;
      std::optional<std::string> host = MapPath(joinWindows(dir, candidates[c]));
      if (!host) continue;
      Found found;
      if (::stat(host->c_str(), &found.info) != 0 || !S_ISREG(found.info.st_mode)) continue;
      found.host = *host;
      // The folder as it is on disk; the file name as asked when the file
      // found is the library form of a ".dll" name.
      std::optional<std::u16string> windowsFolder = UnmapPath(fs::path(*host).parent_path().string());
      std::u16string shownFolder = windowsFolder ? *windowsFolder : std::u16string(dir);
      std::u16string shownName = fileName;
      if (c == 0) shownName = std::u16string(baseName(UnmapPath(*host).value_or(candidates[0])));
      found.windowsPath = joinWindows(shownFolder, shownName);
      return found;
    }
  }
  return std::nullopt;
}

std::shared_ptr<Module> findModule(HMODULE handle) {
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  auto it = l.modules.find(reinterpret_cast<uintptr_t>(handle));
  return it == l.modules.end() ? nullptr : it->second;
}

HMODULE insertModule(const std::shared_ptr<Module>& module) {
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  uintptr_t value = l.nextHandle;
  l.nextHandle += kModuleHandleStep;
  module->handle = reinterpret_cast<HMODULE>(value);
  l.modules.emplace(value, module);
  return module->handle;
}

void eraseModule(HMODULE handle) {
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  l.modules.erase(reinterpret_cast<uintptr_t>(handle));
}

// A symbol the library defines itself (dlsym also searches the libraries it
// depends on, which GetProcAddress must not).
void* ownSymbol(void* dl, const link_map* linkMap, const char* name) {
  void* symbol = dlsym(dl, name);
  if (symbol == nullptr) return nullptr;
  Dl_info info;
  link_map* owner = nullptr;
  if (dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 || owner != linkMap)
    return nullptr;
  return symbol;
}

DllMainFn entryPoint(const Module& module) {
  if (!module.code) return nullptr;
  return reinterpret_cast<DllMainFn>(ownSymbol(module.dl, module.linkMap, "DllMain"));
}

enum class FileKind { kOther, kSharedLibrary, kContainer };

FileKind classify(const std::string& host) {
  uint8_t head[4] = {};
  std::ifstream in(host, std::ios::binary);
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (in.gcount() != sizeof head) return FileKind::kOther;
  if (head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') return FileKind::kSharedLibrary;
  if (res::LooksLikeContainer(head, sizeof head)) return FileKind::kContainer;
  return FileKind::kOther;
}

std::shared_ptr<Module> findByFile(bool code, dev_t device, ino_t inode, void* dl) {
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  for (auto& [value, module] : l.modules) {
    if (module->code != code || module->references == 0) continue;
    if (code ? module->dl == dl : (module->device == device && module->inode == inode)) return module;
  }
  return nullptr;
}

HMODULE loadResourceOnly(const Found& found) {
  if (std::shared_ptr<Module> existing = findByFile(false, found.info.st_dev, found.info.st_ino, nullptr)) {
    std::lock_guard<std::mutex> guard(loader().tableLock);
    ++existing->references;
    return existing->handle;
  }
  if (classify(found.host) != FileKind::kContainer) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto set = std::make_shared<ResourceSet>();
  {
    std::ifstream in(found.host, std::ios::binary);
    set->owned.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
      SetLastError(ERROR_READ_FAULT);
      return nullptr;
    }
  }
  set->data = set->owned.data();
  set->size = set->owned.size();
  if (res::Parse(set->data, set->size, set->entries) != res::Status::kOk) {
    SetLastError(ERROR_BAD_FORMAT);
    return nullptr;
  }
  auto module = std::make_shared<Module>();
  module->code = false;
  module->resources = std::move(set);
  module->device = found.info.st_dev;
  module->inode = found.info.st_ino;
  module->windowsPath = found.windowsPath;
  return insertModule(module);
}

HMODULE loadCode(const Found& found) {
  if (classify(found.host) != FileKind::kSharedLibrary) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  void* dl = dlopen(found.host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (dl == nullptr) {
    const char* why = dlerror();
    std::fprintf(stderr, "kplatform: cannot load %s: %s\n", found.host.c_str(), why ? why : "unknown error");
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (std::shared_ptr<Module> existing = findByFile(true, 0, 0, dl)) {
    dlclose(dl);  // the module keeps the one host reference it took first
    std::lock_guard<std::mutex> guard(loader().tableLock);
    ++existing->references;
    return existing->handle;
  }
  link_map* linkMap = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &linkMap) != 0 || linkMap == nullptr) {
    dlclose(dl);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto module = std::make_shared<Module>();
  module->code = true;
  module->dl = dl;
  module->linkMap = linkMap;
  module->device = found.info.st_dev;
  module->inode = found.info.st_ino;
  module->windowsPath = found.windowsPath;
  HMODULE handle = insertModule(module);
  if (DllMainFn entry = entryPoint(*module)) {
    if (!entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_ATTACH, nullptr)) {
      entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_DETACH, nullptr);
      eraseModule(handle);
      dlclose(dl);
      SetLastError(ERROR_DLL_INIT_FAILED);
      return nullptr;
    }
  }
  return handle;
}

HMODULE load(LPCWSTR name, DWORD flags) {
  constexpr DWORD kKnown = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE | LOAD_WITH_ALTERED_SEARCH_PATH;
  if (name == nullptr || name[0] == 0 || (flags & ~kKnown) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(loader().loaderLock);
  std::optional<Found> found = resolve(name);
  if (!found) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const bool resourceOnly = (flags & (DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE)) != 0;
  return resourceOnly ? loadResourceOnly(*found) : loadCode(*found);
}

std::string utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

}  // namespace

HMODULE ModuleOfAddress(const void* address) {
  Dl_info info;
  link_map* owner = nullptr;
  if (address == nullptr || dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner == nullptr)
    return nullptr;
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  for (const auto& [value, module] : l.modules)
    if (module->code && module->linkMap == owner && module->references > 0) return module->handle;
  return nullptr;
}

std::shared_ptr<const ResourceSet> ModuleResources(HMODULE handle, DWORD& error) {
  Loader& l = loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  auto it = l.modules.find(reinterpret_cast<uintptr_t>(handle));
  if (it == l.modules.end()) {
    error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  const Module& module = *it->second;
  if (!module.code) return module.resources;
  auto found = l.libraryResources.find(module.linkMap);
  if (found == l.libraryResources.end()) {
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return nullptr;
  }
  return found->second;
}

}  // namespace kp

KP_API HMODULE WINAPI LoadLibraryW(LPCWSTR name) { return kp::load(name, 0); }

KP_API HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  if (file != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return kp::load(name, flags);
}

KP_API HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string wide = kp::AnsiToUtf16(name);
  return kp::load(wide.c_str(), 0);
}

KP_API BOOL WINAPI FreeLibrary(HMODULE handle) {
  kp::Loader& l = kp::loader();
  std::lock_guard<std::recursive_mutex> guard(l.loaderLock);
  std::shared_ptr<kp::Module> module;
  {
    std::lock_guard<std::mutex> table(l.tableLock);
    auto it = l.modules.find(reinterpret_cast<uintptr_t>(handle));
    if (it == l.modules.end() || it->second->references == 0) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    module = it->second;
    if (--module->references > 0) return TRUE;
  }
  // The module stays known (file name, resources) while its DllMain detaches.
  if (kp::DllMainFn entry = kp::entryPoint(*module))
    entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_DETACH, nullptr);
  kp::eraseModule(handle);
  if (module->code) dlclose(module->dl);
  return TRUE;
}

KP_API FARPROC WINAPI GetProcAddress(HMODULE handle, LPCSTR name) {
  std::shared_ptr<kp::Module> module = kp::findModule(handle);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (name == nullptr || IS_INTRESOURCE(name) || !module->code) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = kp::ownSymbol(module->dl, module->linkMap, name);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

KP_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE handle) {
  std::shared_ptr<kp::Module> module = kp::findModule(handle);
  if (!module || module->references == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!module->code) {  // a resource-only module has no entry to notify
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;  // the loader makes no thread attach or detach calls at all
}

KP_API DWORD WINAPI GetModuleFileNameW(HMODULE handle, LPWSTR buffer, DWORD size) {
  std::shared_ptr<kp::Module> module = kp::findModule(handle);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (buffer == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string& path = module->windowsPath;
  if (path.size() < size) {
    std::memcpy(buffer, path.data(), path.size() * sizeof(WCHAR));
    buffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
  }
  if (size > 0) {
    std::memcpy(buffer, path.data(), (size - 1) * sizeof(WCHAR));
    buffer[size - 1] = 0;
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

KP_API HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  if (name == nullptr || name[0] == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::u16string_view text(name);
  const bool bare = text.find_first_of(u"\\/:") == std::u16string_view::npos;
  std::optional<kp::Found> found;
  std::u16string wanted;
  if (bare) {
    wanted = kp::normalisedFileName(text);
  } else {
    found = kp::resolve(text);
    if (!found) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
  }
  kp::Loader& l = kp::loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  for (auto& [value, module] : l.modules) {
    if (module->references == 0) continue;
    const bool match = bare ? kp::equalsNoCase(kp::baseName(module->windowsPath), wanted)
                            : (module->device == found->info.st_dev && module->inode == found->info.st_ino);
    if (match) return module->handle;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

KP_API BOOL KpRegisterModuleResources(const void* data, size_t size) {
  if (data == nullptr || reinterpret_cast<uintptr_t>(data) % 4 != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto set = std::make_shared<kp::ResourceSet>();
  set->data = static_cast<const uint8_t*>(data);
  set->size = size;
  if (kp::res::Parse(set->data, size, set->entries) != kp::res::Status::kOk) {
    SetLastError(ERROR_BAD_FORMAT);
    return FALSE;
  }
  Dl_info info;
  link_map* owner = nullptr;
  if (dladdr1(data, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 || owner == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  kp::Loader& l = kp::loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  l.libraryResources[owner] = std::move(set);
  return TRUE;
}

KP_API void KpUnregisterModuleResources(const void* data) {
  kp::Loader& l = kp::loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  for (auto it = l.libraryResources.begin(); it != l.libraryResources.end(); ++it) {
    if (it->second->data == data) {
      l.libraryResources.erase(it);
      return;
    }
  }
}

KP_API BOOL KpInstallModule(const char* hostFile, LPCWSTR asName) {
  if (hostFile == nullptr || hostFile[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  fs::path source(hostFile);
  if (source.is_relative()) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&KpInstallModule), &info) == 0 || info.dli_fname == nullptr) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    source = fs::absolute(fs::path(info.dli_fname)).parent_path() / source;
  }
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::string name = asName != nullptr ? kp::utf8(asName) : source.filename().string();
  if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
      name == "..") {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  std::string root = KpGetRoot();
  if (root.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  fs::path target = fs::path(root) / kp::kDriverDirectoryBelowRoot / name;
  fs::create_directories(target.parent_path(), ec);
  fs::remove(target, ec);
  fs::create_symlink(fs::absolute(source), target, ec);
  if (ec) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

KP_API size_t KpLoadedModuleCount(void) {
  kp::Loader& l = kp::loader();
  std::lock_guard<std::mutex> guard(l.tableLock);
  return l.modules.size();
}
