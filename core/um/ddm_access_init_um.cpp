// ddm_AccessInit and ddm_AccessEnd (kestrel/core/ddm_access.h): the module
// behind the value access, loaded from the driver directory by the name in
// the calling library's string table.
//
// The counter is process-wide: init and end run at library attach and
// detach, which the loader serialises.
#include <cstring>
#include <type_traits>

#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/dma_module.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/wide_text.h"

namespace {

constexpr UINT kModuleNameString = ZANLIB_STRID_DMA_MODULE;  // 32766
constexpr int kMaxPath = 260;

WORD wDdmAccessCounter = 0;

// The folder the library itself was loaded from, with a trailing backslash.
bool LibraryFolder(HMODULE library, WCHAR* buffer, DWORD chars) {
  DWORD n = GetModuleFileNameW(library, buffer, chars);
  if (n == 0 || n >= chars) return false;
  for (DWORD i = n; i > 0; --i)
    if (buffer[i - 1] == u'\\' || buffer[i - 1] == u'/') {
      buffer[i] = 0;
      return true;
    }
  return false;
}

HMODULE LoadAccessModule(HMODULE library) {
  WCHAR name[kMaxPath + 1] = {};
  if (LoadStringW(library, kModuleNameString, name, kMaxPath + 1) <= 0) return nullptr;
  WCHAR path[2 * kMaxPath + 2] = {};
  if (!zanlib_GetDriverDirectory(path, sizeof(path)) && !LibraryFolder(library, path, kMaxPath + 1)) return nullptr;
  size_t dirLen = kp_WideLength(path);
  if (dirLen && path[dirLen - 1] != u'\\' && path[dirLen - 1] != u'/') path[dirLen++] = u'\\';
  size_t nameLen = kp_WideLength(name);
  if (dirLen + nameLen >= sizeof(path) / sizeof(path[0])) return nullptr;
  std::memcpy(path + dirLen, name, (nameLen + 1) * sizeof(WCHAR));
  return LoadLibraryW(path);
}

}  // namespace

// The common library reads settings through the same two calls.
static_assert(std::is_same_v<decltype(&ddm_GetValue), ZanLibGetValueFn>);
static_assert(std::is_same_v<decltype(&ddm_SetValue), ZanLibSetValueFn>);

BOOL ddm_AccessInit(HMODULE library) {
  ++wDdmAccessCounter;
  zanLib_SetValueAccess(ddm_GetValue, ddm_SetValue);
  if (ddm_AccessModule()) return 1;
  if (!library) return 0;
  ddm_AccessModuleSet(LoadAccessModule(library));
  return ddm_AccessModule() ? 1 : 0;
}

void ddm_AccessEnd(void) {
  if (wDdmAccessCounter == 0) return;
  if (--wDdmAccessCounter != 0) return;
  if (HMODULE module = ddm_AccessModuleRelease()) FreeLibrary(module);
}

WORD ddm_AccessCount(void) { return wDdmAccessCounter; }
