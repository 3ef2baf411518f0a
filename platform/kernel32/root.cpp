#include "kplatform/root.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RootState {
  std::mutex lock;
  std::string root;
  bool fromEnvironmentChecked = false;
  std::vector<KpRootChangedFn> listeners;
};

RootState& state() {
  static RootState s;
  return s;
}

const char* const kLayout[] = {
    "c/Windows",
    "c/Windows/system32",
    "c/Windows/system32/spool/drivers/x64/3",
    "c/Windows/Temp",
};

bool makeLayout(const fs::path& root) {
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec) return false;
  for (const char* dir : kLayout) {
    fs::create_directories(root / dir, ec);
    if (ec) return false;
  }
  return true;
}

}  // namespace

KP_API BOOL KpSetRoot(const char* folder) {
  if (folder == nullptr || folder[0] != '/') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  fs::path root = fs::path(folder).lexically_normal();
  std::string text = root.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (!makeLayout(text)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::vector<KpRootChangedFn> listeners;
  {
    RootState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.root = text;
    s.fromEnvironmentChecked = true;
    listeners = s.listeners;
  }
  for (KpRootChangedFn fn : listeners) fn();
  return TRUE;
}

KP_API const char* KpGetRoot(void) {
  RootState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.fromEnvironmentChecked) {
    s.fromEnvironmentChecked = true;
    const char* env = std::getenv("KESTREL_ROOT");
    if (env != nullptr && env[0] == '/' && makeLayout(env)) {
      s.root = fs::path(env).lexically_normal().string();
      while (s.root.size() > 1 && s.root.back() == '/') s.root.pop_back();
    }
  }
  // The string only changes in KpSetRoot, which tests call between uses.
  return s.root.c_str();
}

KP_API void KpOnRootChanged(KpRootChangedFn fn) {
  RootState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.listeners.push_back(fn);
}
