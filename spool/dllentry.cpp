// kestrelum's entry point (DllEntryPoint, exported as DllMain, which the
// platform's loader calls): attach starts the trace log of this library
// (DDI_UM_TRACE_LOG.txt), the resource module and the devmode-access
// module, initialises the library's critical section and turns off thread
// notifications; detach undoes them in reverse. The answer is always TRUE:
// later calls report their own failures.
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "printer_calls.h"

namespace {

constexpr DWORD kReasonDetach = 0;
constexpr DWORD kReasonAttach = 1;

// Initialised at attach and deleted at detach; nothing enters it.
CRITICAL_SECTION g_section;

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == kReasonAttach) {
    Logout_SetLibrary(LOGOUT_LIB_UM);
    resource_startToUse(module, nullptr);
    Logout_OpenFile();
    Logout_InDDIFunctionTraceLog(u"DllEntryPoint_ATTACH");
    ddm_AccessInit(module);
    InitializeCriticalSection(&g_section);
    DisableThreadLibraryCalls(module);
    Logout_OutDDIFunctionTraceLog(u"DllEntryPoint_ATTACH");
  } else if (reason == kReasonDetach) {
    Logout_InDDIFunctionTraceLog(u"DllEntryPoint_DETACH");
    resource_finishToUse();
    DeleteCriticalSection(&g_section);
    ddm_AccessEnd();
    Logout_OutDDIFunctionTraceLog(u"DllEntryPoint_DETACH");
    Logout_CloseFile();
  }
  return TRUE;
}
