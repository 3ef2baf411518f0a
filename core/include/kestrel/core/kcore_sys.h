// The few services of the core that differ between the user-mode build
// (kcore_um: the kernel stand-in's files, GlobalAlloc, code pages and
// libraries, core/um/) and the kernel-mode build (kcore_km: the graphics
// engine's services only, core/km/). Everything else in core/ is shared.
#pragma once

#include <cstring>

#include "kplatform/wide_text.h"
#include "kplatform/wintypes.h"

// Zero-filled block; null when memory is short. kcore_Free(null) does nothing.
void* kcore_Alloc(SIZE_T bytes);
void kcore_Free(void* block);

// A new zero-filled copy of a UTF-16 text, terminated; null for a null text or
// when memory is short. Freed with kcore_Free.
inline LPWSTR kcore_WideDup(LPCWSTR text) {
  if (text == nullptr) return nullptr;
  size_t n = kp_WideLength(text);
  auto* copy = static_cast<LPWSTR>(kcore_Alloc((n + 1) * sizeof(WCHAR)));
  if (copy != nullptr) std::memcpy(copy, text, n * sizeof(WCHAR));
  return copy;
}

// A whole file mapped read-only.
struct KCORE_FILEVIEW {
  HANDLE module;      // kernel mode: the engine's module; user mode: unused
  const BYTE* view;   // first byte of the file
  DWORD size;         // bytes of the file
};
// TRUE with the view filled; FALSE (view cleared) when the file can't be mapped.
BOOL kcore_MapFile(LPCWSTR fileName, KCORE_FILEVIEW* view);
void kcore_UnmapFile(KCORE_FILEVIEW* view);

// Converts `bytes` 8-bit characters of the ANSI code page (a NUL ends the text
// earlier) into dst, always NUL-terminated within dstChars. Returns the number
// of characters written before the NUL.
DWORD kcore_AnsiToWide(const char* src, DWORD bytes, WCHAR* dst, DWORD dstChars);

// A string-resource library loaded from a full path without running it;
// null when it can't be loaded.
HANDLE kcore_LoadStringModule(LPCWSTR path);
// Copies string `id` into buffer (NUL-terminated within chars); returns the
// characters copied, 0 when the string is missing.
DWORD kcore_LoadString(HANDLE module, UINT id, WCHAR* buffer, DWORD chars);
void kcore_FreeStringModule(HANDLE module);

#if defined(KESTREL_KERNEL_MODE)
// A zero-filled block of the engine's pool (tag "Dpsm"), freed with
// EngFreeMem (or kcore_Free); null when memory is short or bytes is 0.
// kcore_Alloc is this allocation in the kernel-mode build.
void* NTKernel_MAlloc(ULONG bytes);
// String id of a module's string table (the engine's resource type 6) into
// buffer of `chars` characters with its NUL: min(length, chars - 1)
// characters are copied; answers the count, 0 when the module, the block or
// the string is missing or chars is 0 or less. The same reader as
// kcore_LoadString.
int km_LoadString(HANDLE module, UINT id, LPWSTR buffer, int chars);
// Maps a whole file through the engine's module services: the caller frees
// *module with EngFreeModule when done with *view. 1 on success, else 0 (the
// module freed again). size may be null.
BOOL MAPFILE(LPCWSTR fileName, HANDLE* module, PVOID* view, ULONG* size);
#else
// Maps a whole file read-only: *base and *cursor both receive the view's
// address; the caller unmaps it with UnmapViewOfFile(*base). 1 on success,
// else 0. size may be null.
BOOL MAPFILE(LPCWSTR fileName, PBYTE* base, PBYTE* cursor, DWORD* size);
#endif
