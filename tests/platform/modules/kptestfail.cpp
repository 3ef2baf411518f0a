// A test module whose DllMain refuses to attach.
#include <kplatform/kernel32_module.h>

#include "kptest_count.h"

KPTEST_API BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  KpTestRecord("kptestfail", instance, reason);
  return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
