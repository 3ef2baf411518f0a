// Model A's description data in a fresh platform root for the devmode fuzz
// targets: the model pair and the value-access module (started through the
// kdemohost library), the description handle open. Any step that fails ends
// the run: a target without them would test nothing. The root is removed
// when the process exits.
#pragma once

#include <kplatform/kernel32_module.h>
#include <kplatform/root.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddm_value.h"

namespace kestrel::fuzz {

inline std::string& ModelARoot() {
  static std::string root;
  return root;
}

inline void RemoveModelARoot() {
  std::error_code ec;
  if (!ModelARoot().empty()) std::filesystem::remove_all(ModelARoot(), ec);
}

// Opens model A once; modelsDir is the build's compiled models.
inline HCDDD OpenModelA(const std::string& modelsDir) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (!made || !KpSetRoot(made)) std::abort();
  ModelARoot() = made;
  std::atexit(RemoveModelARoot);
  if (!KpInstallModule("libkestreljd.so", u"kestreljd.dll") || !KpInstallModule("libkdemohost.so", u"kdemohost.dll") ||
      !KpInstallModule((modelsDir + "/K350.DDD").c_str(), u"K350.DDD") ||
      !KpInstallModule((modelsDir + "/K350RES.DDD").c_str(), u"K350RES.DDD"))
    std::abort();
  HMODULE host = LoadLibraryW(u"kdemohost.dll");
  if (!host || ddm_AccessInit(host) != 1) std::abort();
  HCDDD h = cddd_OpenFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350.DDD");
  if (!h) std::abort();
  return h;
}

}  // namespace kestrel::fuzz
