// User-mode services of the core: the kernel stand-in's files, global
// memory, code pages and string-resource libraries.
#include "kestrel/core/kcore_sys.h"
#include "kplatform/kwindows.h"

void* kcore_Alloc(SIZE_T bytes) { return GlobalAlloc(GPTR, bytes ? bytes : 1); }

void kcore_Free(void* block) {
  if (block) GlobalFree(block);
}

BOOL MAPFILE(LPCWSTR fileName, PBYTE* base, PBYTE* cursor, DWORD* size) {
  if (!fileName || !base || !cursor) return 0;
  *base = nullptr;
  *cursor = nullptr;
  if (size) *size = 0;
  HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
    CloseHandle(file);
    return 0;
  }
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  CloseHandle(file);
  if (!mapping) return 0;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  CloseHandle(mapping);
  if (!view) return 0;
  *base = static_cast<PBYTE>(view);
  *cursor = static_cast<PBYTE>(view);
  if (size) *size = low;
  return 1;
}

BOOL kcore_MapFile(LPCWSTR fileName, KCORE_FILEVIEW* view) {
  if (!view) return FALSE;
  *view = KCORE_FILEVIEW{};
  PBYTE base = nullptr, cursor = nullptr;
  DWORD size = 0;
  if (!MAPFILE(fileName, &base, &cursor, &size)) return FALSE;
  view->view = base;
  view->size = size;
  return TRUE;
}

void kcore_UnmapFile(KCORE_FILEVIEW* view) {
  if (!view) return;
  if (view->view) UnmapViewOfFile(view->view);
  *view = KCORE_FILEVIEW{};
}

DWORD kcore_AnsiToWide(const char* src, DWORD bytes, WCHAR* dst, DWORD dstChars) {
  if (!dst || dstChars == 0) return 0;
  dst[0] = 0;
  if (!src) return 0;
  DWORD n = 0;
  while (n < bytes && src[n]) ++n;
  if (n == 0) return 0;
  int chars = MultiByteToWideChar(CP_ACP, 0, src, static_cast<int>(n), nullptr, 0);
  if (chars <= 0) return 0;
  if (static_cast<DWORD>(chars) >= dstChars) {
    // Cannot happen for the callers' buffers (one character per byte at
    // most); refuse rather than cut a character in two.
    return 0;
  }
  chars = MultiByteToWideChar(CP_ACP, 0, src, static_cast<int>(n), dst, static_cast<int>(dstChars - 1));
  if (chars <= 0) chars = 0;
  dst[chars] = 0;
  return static_cast<DWORD>(chars);
}

HANDLE kcore_LoadStringModule(LPCWSTR path) {
  if (!path) return nullptr;
  return LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH);
}

DWORD kcore_LoadString(HANDLE module, UINT id, WCHAR* buffer, DWORD chars) {
  if (!module || !buffer || chars == 0) return 0;
  int n = LoadStringW(static_cast<HINSTANCE>(module), id, buffer, static_cast<int>(chars));
  return n > 0 ? static_cast<DWORD>(n) : 0;
}

void kcore_FreeStringModule(HANDLE module) {
  if (module) FreeLibrary(static_cast<HMODULE>(module));
}
