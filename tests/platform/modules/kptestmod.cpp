// A test module: counts its attach and detach calls, reads its own file name
// and string table inside DllMain, and exports two functions.
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_resource.h>

#include "kptest_count.h"

KPTEST_API BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  KpTestRecord("kptestmod", instance, reason);
  if (reason == DLL_PROCESS_ATTACH) {
    KpTestModuleEvents* e = KpTestEvents("kptestmod");
    GetModuleFileNameW(instance, e->fileNameAtAttach, MAX_PATH);
    LoadStringW(instance, 32767, e->string32767AtAttach, 64);
  }
  return TRUE;
}

KPTEST_API void KpTestModSetLastError(DWORD code) { SetLastError(code); }

KPTEST_API int KpTestModAnswer(void) { return 42; }
