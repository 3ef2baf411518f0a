// The loader's interface to the resource functions (internal to the platform
// library). Implemented in module.cpp.
#pragma once

#include <memory>
#include <vector>

#include "kplatform/wintypes.h"
#include "rescontainer.h"

namespace kp {

// A checked container: its bytes (owned for a resource-only module, in the
// library's image for a code module) and its directory.
struct ResourceSet {
  std::vector<uint8_t> owned;
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<res::Entry> entries;
};

// The resources of a loaded module. Null with `error` set to
// ERROR_MOD_NOT_FOUND (no such module) or ERROR_RESOURCE_DATA_NOT_FOUND (a
// module without resources).
std::shared_ptr<const ResourceSet> ModuleResources(HMODULE module, DWORD& error);

// The code module loaded through the loader whose image holds `address` (a
// function's or a return address), or null. The spooler uses it to tell the
// calls a user-mode driver library makes itself.
HMODULE ModuleOfAddress(const void* address);

}  // namespace kp
