// The monitor's one private heap and the bounded mutex wait.
#include <cstring>

#include "lm.h"

namespace lm {

namespace {
std::atomic<HANDLE> g_heap{nullptr};
}  // namespace


bool HeapInit() {
  if (g_heap.load() != nullptr) return true;
  HANDLE h = HeapCreate(0, 0, 0);
  if (h == nullptr) return false;
  HANDLE expected = nullptr;
  if (!g_heap.compare_exchange_strong(expected, h)) HeapDestroy(h);
  return true;
}

void HeapDone() {
  HANDLE h = g_heap.exchange(nullptr);
  if (h) HeapDestroy(h);
}

HANDLE Heap() { return g_heap.load(); }

void* Alloc(SIZE_T bytes) {
  HANDLE h = g_heap.load();
  return h ? HeapAlloc(h, HEAP_ZERO_MEMORY, bytes) : nullptr;
}

void Free(void* block) {
  if (block) HeapFree(g_heap.load(), 0, block);
}

WCHAR* CopyW(const WCHAR* s) {
  size_t n = kp_WideLength(s);
  auto* c = static_cast<WCHAR*>(Alloc((n + 1) * sizeof(WCHAR)));
  if (c) std::memcpy(c, s, n * sizeof(WCHAR));
  return c;
}

bool Lock(HANDLE mutex, DWORD milliseconds) {
  DWORD r = WaitForSingleObject(mutex, milliseconds);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0;
}

}  // namespace lm
