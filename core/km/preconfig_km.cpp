// The pre-configuration store of the kernel-mode build (see
// kestrel/core/preconfig.h; the shared store is preconfig.cpp): no
// configuration file is read.
#include "kestrel/core/preconfig.h"

void* PreConfig_OpenFile(LPCWSTR modelName, LPCWSTR file, const PRECONFIG_FUNCID* functions, WORD functionCount,
                         const PRECONFIG_VALUE* values, WORD valueCount, const PRECONFIG_MACROID* macros,
                         WORD macroCount) {
  (void)modelName, (void)file, (void)functions, (void)functionCount, (void)values, (void)valueCount, (void)macros,
      (void)macroCount;
  return nullptr;
}

LPWSTR PreConfig_GetValueDirect(LPCWSTR modelName, LPCWSTR file, LPCWSTR key) {
  (void)modelName, (void)file, (void)key;
  return nullptr;
}
