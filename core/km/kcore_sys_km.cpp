// Kernel-mode services of the core: everything goes through the graphics
// engine (memory, whole-file mappings, the ANSI code page, string resources).
#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kplatform/byte_order.h"
#include "kplatform/engine.h"

namespace {
// Pool tag of plain blocks: the bytes "Dpsm".
constexpr ULONG kPoolTag = static_cast<ULONG>('D') | (static_cast<ULONG>('p') << 8) |
                           (static_cast<ULONG>('s') << 16) | (static_cast<ULONG>('m') << 24);
constexpr int kStringResourceType = 6;
}  // namespace

void* NTKernel_MAlloc(ULONG bytes) { return EngAllocMem(FL_ZERO_MEMORY, bytes, kPoolTag); }

void* kcore_Alloc(SIZE_T bytes) {
  if (bytes == 0) bytes = 1;
  if (bytes > 0xFFFFFFFFu) return nullptr;
  return NTKernel_MAlloc(static_cast<ULONG>(bytes));
}

void kcore_Free(void* block) {
  if (block) EngFreeMem(block);
}

BOOL MAPFILE(LPCWSTR fileName, HANDLE* module, PVOID* view, ULONG* size) {
  if (!fileName || !module || !view) return 0;
  *module = nullptr;
  *view = nullptr;
  HANDLE h = EngLoadModule(const_cast<LPWSTR>(fileName));
  if (!h) return 0;
  ULONG bytes = 0;
  PVOID v = EngMapModule(h, &bytes);
  if (!v) {
    EngFreeModule(h);
    return 0;
  }
  *module = h;
  *view = v;
  if (size) *size = bytes;
  return 1;
}

BOOL kcore_MapFile(LPCWSTR fileName, KCORE_FILEVIEW* view) {
  if (!view) return FALSE;
  *view = KCORE_FILEVIEW{};
  HANDLE module = nullptr;
  PVOID v = nullptr;
  ULONG size = 0;
  if (!MAPFILE(fileName, &module, &v, &size)) return FALSE;
  view->module = module;
  view->view = static_cast<const BYTE*>(v);
  view->size = size;
  return TRUE;
}

void kcore_UnmapFile(KCORE_FILEVIEW* view) {
  if (!view) return;
  if (view->module) EngFreeModule(view->module);
  *view = KCORE_FILEVIEW{};
}

DWORD kcore_AnsiToWide(const char* src, DWORD bytes, WCHAR* dst, DWORD dstChars) {
  if (!dst || dstChars == 0) return 0;
  dst[0] = 0;
  if (!src) return 0;
  DWORD n = 0;
  while (n < bytes && src[n]) ++n;
  if (n == 0 || n >= dstChars) return 0;
  USHORT oem = 0, ansi = 0;
  EngGetCurrentCodePage(&oem, &ansi);
  INT written = EngMultiByteToWideChar(ansi, dst, static_cast<INT>((dstChars - 1) * sizeof(WCHAR)),
                                       const_cast<LPSTR>(src), static_cast<INT>(n));
  DWORD chars = written > 0 ? static_cast<DWORD>(written) / sizeof(WCHAR) : 0;
  if (chars >= dstChars) chars = dstChars - 1;
  dst[chars] = 0;
  return chars;
}

HANDLE kcore_LoadStringModule(LPCWSTR path) {
  if (!path) return nullptr;
  return EngLoadModule(const_cast<LPWSTR>(path));
}

// String tables come in blocks of 16 counted strings; string id is entry
// id % 16 of block id / 16 + 1. Every length is checked against the block's
// size before it is followed, so a short or damaged block answers 0 and is
// never read past its end.
DWORD kcore_LoadString(HANDLE module, UINT id, WCHAR* buffer, DWORD chars) {
  if (!buffer || chars == 0) return 0;
  buffer[0] = 0;
  if (!module) return 0;
  ULONG size = 0;
  auto* block = static_cast<const BYTE*>(
      EngFindResource(module, static_cast<int>(id / 16 + 1), kStringResourceType, &size));
  if (!block) return 0;
  ULONG at = 0;
  for (UINT k = 0; k < id % 16; ++k) {
    if (at + 2 > size) return 0;
    WORD len = kp_LoadU16(block + at);
    at += 2 + static_cast<ULONG>(len) * 2;
  }
  if (at + 2 > size) return 0;
  WORD len = kp_LoadU16(block + at);
  at += 2;
  if (at + static_cast<ULONG>(len) * 2 > size) return 0;
  DWORD copy = len < chars - 1 ? len : chars - 1;
  std::memcpy(buffer, block + at, copy * sizeof(WCHAR));
  buffer[copy] = 0;
  return copy;
}

int km_LoadString(HANDLE module, UINT id, LPWSTR buffer, int chars) {
  if (chars <= 0) return 0;
  return static_cast<int>(kcore_LoadString(module, id, buffer, static_cast<DWORD>(chars)));
}

void kcore_FreeStringModule(HANDLE module) {
  if (module) EngFreeModule(module);
}
