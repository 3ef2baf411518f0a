// Loading the devmode-access module behind ddm_GetValue and ddm_SetValue
// (kestrel/core/ddm_value.h), for the user-mode libraries at their attach and
// detach. It sits with the common library, whose driver directory and value
// hooks it uses.
//
// Decisions:
//  - ddm_AccessInit counts every call; whenever the module is not loaded it
//    tries to load it again, so a failed first load never makes a later
//    init answer 1 without a module. ddm_AccessEnd never takes the counter
//    below 0 and frees the module when the count reaches 0.
//  - ddm_AccessInit also hands ddm_GetValue and ddm_SetValue to the common
//    library (zanLib_SetValueAccess), which reads settings through them.
//  - The module's name is string 32766 of the calling library's own string
//    table; the driver directory is the common library's
//    (zanlib_GetDriverDirectory) when it knows it, else the folder of the
//    calling library itself.
#pragma once

#include "kplatform/wintypes.h"

#if !defined(KESTREL_KERNEL_MODE)
// 1 when the module is (or was already) loaded, 0 when it is not.
BOOL ddm_AccessInit(HMODULE library);
void ddm_AccessEnd(void);
// Reference count of ddm_AccessInit (tests).
WORD ddm_AccessCount(void);
#endif
