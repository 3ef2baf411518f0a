// Model A's description data in a fresh platform root for the devmode fuzz
// targets, on the tests' model-A set-up (tests/common/model_root.h): the
// model pair and the value-access module (started through the kdemohost
// library), the description handle open. Any step that fails ends the run: a
// target without them would test nothing. The root is removed when the
// process exits.
#pragma once

#include <kplatform/kernel32_module.h>

#include <cstdlib>
#include <string>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "model_root.h"

namespace kestrel::fuzz {

// Opens model A once.
inline HCDDD OpenModelA() {
  static test::FreshRoot root("kestrel-fuzz");
  if (!root.ok()) std::abort();
  if (!KpInstallModule("libkestreljd.so", u"kestreljd.dll") || !KpInstallModule("libkdemohost.so", u"kdemohost.dll") ||
      !test::InstallModelFiles(test::kModelA).empty())
    std::abort();
  HMODULE host = LoadLibraryW(u"kdemohost.dll");
  if (!host || ddm_AccessInit(host) != 1) std::abort();
  HCDDD h = cddd_OpenFile(test::DriverFile(u"K350.DDD").c_str());
  if (!h) std::abort();
  return h;
}

}  // namespace kestrel::fuzz
