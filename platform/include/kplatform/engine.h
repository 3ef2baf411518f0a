// Graphics-engine services that kernel-mode driver code calls. Implemented by
// the graphics-engine stand-in (platform/engine/).
#pragma once

#include "kplatform/wintypes.h"

// EngAllocMem flags.
#define FL_ZERO_MEMORY 0x00000001u

// Loads a file (a module or a data file) by its full path for mapping;
// null when it can't be opened.
KP_API HANDLE WINAPI EngLoadModule(LPWSTR pwsz);
// Maps the whole of a loaded module read-only; *pulSize receives its size.
// Null on failure.
KP_API PVOID WINAPI EngMapModule(HANDLE h, PULONG pulSize);
KP_API VOID WINAPI EngFreeModule(HANDLE h);
// The resource of type iType and integer name iName in a loaded module;
// *pulSize receives its size. Null when missing.
KP_API PVOID WINAPI EngFindResource(HANDLE h, int iName, int iType, PULONG pulSize);
KP_API PVOID WINAPI EngAllocMem(ULONG Flags, ULONG cjMemSize, ULONG ulTag);
KP_API VOID WINAPI EngFreeMem(PVOID pv);
// Converts 8-bit text of CodePage to UTF-16; sizes in bytes. Returns the
// bytes written, or -1.
KP_API INT WINAPI EngMultiByteToWideChar(UINT CodePage, LPWSTR WideCharString, INT BytesInWideCharString,
                                         LPSTR MultiByteString, INT BytesInMultiByteString);
KP_API VOID WINAPI EngGetCurrentCodePage(PUSHORT OemCodePage, PUSHORT AnsiCodePage);
