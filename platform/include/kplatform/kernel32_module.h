// Modules: loading shared libraries and resource containers by their Windows
// names, with Windows reference counting and DllMain calls.
//
// Where a module is looked for (one rule for every name the driver stores in
// data and resources, e.g. "kestreljd.dll", "kestrelrs.zrs", the value of
// "SPLUserModePrinterDriver"):
//   - A name without a folder ("kestrelum.dll") is looked for in the driver
//     directory C:\Windows\system32\spool\drivers\x64\3, then in
//     C:\Windows\system32. A name with a folder (absolute, UNC, or relative to
//     the current directory) is looked for in that folder only.
//   - A file name without an extension gets ".dll"; a trailing dot means "no
//     extension" and is dropped.
//   - "name.dll" is the file "name.dll", or else "libname.so" in the same
//     folder (the form the build gives every library). Any other extension
//     ("kestrelrs.zrs") names exactly that file.
//   - Folder and file names are matched without regard to letter case (ASCII
//     letters for the ".dll" rule; the path mapper for the rest).
//   - Nothing found: ERROR_MOD_NOT_FOUND.
//
// Identity and counting: a module is its file. Loading the same file again,
// under any name that reaches it, answers the same HMODULE and adds a
// reference; FreeLibrary drops one. A code module's exported
//   extern "C" BOOL DllMain(HINSTANCE, DWORD reason, LPVOID)
// is called with DLL_PROCESS_ATTACH after the first load (the module is
// already known then: GetModuleFileNameW and LoadStringW work on it inside
// DllMain) and with DLL_PROCESS_DETACH at the last FreeLibrary. Attach
// answering FALSE fails the load with ERROR_DLL_INIT_FAILED after a detach
// call, as Windows does. No thread attach/detach calls are made.
//
// Resource-only loads: LoadLibraryExW with DONT_RESOLVE_DLL_REFERENCES or
// LOAD_LIBRARY_AS_DATAFILE opens a resource container (kestrelrs.zrs; the
// format is described in resources/README.md): the whole file is read and
// checked, no code runs, GetProcAddress finds nothing in it. Such a load of a
// file that is no container (a shared library included) fails with
// ERROR_BAD_EXE_FORMAT, a corrupt container with ERROR_BAD_FORMAT. A plain
// load of a file that is not a shared library fails with ERROR_BAD_EXE_FORMAT.
//
// A handle that names no loaded module answers ERROR_MOD_NOT_FOUND in every
// call below. HMODULE values are the loader's own (never dlopen pointers),
// not reused while the process runs. GetModuleFileNameW answers the Windows
// path the module was found under: its folder as on disk, and the name
// "name.dll" also when the file found was "libname.so". There is no module
// for the process image: GetModuleHandleW(NULL) answers null.
#pragma once

#include "kplatform/wintypes.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// The flags the driver passes (others answer ERROR_INVALID_PARAMETER).
// LOAD_WITH_ALTERED_SEARCH_PATH is accepted and changes nothing: the rule
// above never searches the folder of the calling module.
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif
#ifndef ERROR_DLL_INIT_FAILED
#define ERROR_DLL_INIT_FAILED 1114L
#endif

KP_API HMODULE WINAPI LoadLibraryW(LPCWSTR name);
// `file` must be null.
KP_API HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
// The name in the ANSI code page, otherwise as LoadLibraryW.
KP_API HMODULE WINAPI LoadLibraryA(LPCSTR name);
KP_API BOOL WINAPI FreeLibrary(HMODULE module);
// By name only; an ordinal, a name the module does not export itself (one of
// the libraries it links, say) or a resource-only module: ERROR_PROC_NOT_FOUND.
KP_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
// Copies the path and answers its length; a buffer too small gets the path
// cut to size - 1 characters and a NUL, answers size, ERROR_INSUFFICIENT_BUFFER.
KP_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
// A loaded module by its file name ("kestrelui", "KESTRELUI.DLL") or by a
// path that reaches its file; no reference is added.
KP_API HMODULE WINAPI GetModuleHandleW(LPCWSTR name);

// Validates the module and answers TRUE: the loader never makes thread
// attach or detach calls, so there is nothing to switch off. A handle that
// names no loaded module: ERROR_MOD_NOT_FOUND; a resource-only module (it has
// no entry point): ERROR_INVALID_PARAMETER.
KP_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

// Test controls.
//
// Installs a file into the driver directory of the current root as a
// symbolic link named `asName` (null: the file's own name), replacing what
// was there. A relative `hostFile` is taken from the folder that holds
// libkplatform.so, where the build puts every library and kestrelrs.zrs.
// Answers FALSE with ERROR_FILE_NOT_FOUND (no such file) or
// ERROR_PATH_NOT_FOUND (no root).
KP_API BOOL KpInstallModule(const char* hostFile, LPCWSTR asName);
// Number of modules loaded through this loader right now.
KP_API size_t KpLoadedModuleCount(void);
