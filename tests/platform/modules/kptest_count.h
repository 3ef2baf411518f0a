// What the test modules' DllMain calls saw, kept in a library of its own that
// the test program links, so that it outlives the modules' unloading.
#pragma once

#include <kplatform/wintypes.h>

#define KPTEST_API extern "C" __attribute__((visibility("default")))

struct KpTestModuleEvents {
  int attaches;
  int detaches;
  HINSTANCE lastInstance;
  // Seen inside the last attach: the module's own file name and its string 32767.
  WCHAR fileNameAtAttach[MAX_PATH];
  WCHAR string32767AtAttach[64];
};

KPTEST_API void KpTestRecord(const char* module, HINSTANCE instance, DWORD reason);
KPTEST_API KpTestModuleEvents* KpTestEvents(const char* module);
KPTEST_API void KpTestResetEvents(void);
