// EngAllocMem and EngFreeMem: blocks from the C allocator, each recorded
// with its pool tag so that tests can count what is still live.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "engine/engine_state.h"

namespace {

struct Heap {
  std::mutex lock;
  std::unordered_map<void*, ULONG> tags;  // live block -> pool tag
  DWORD failIn = 0;                       // the allocation that fails, counted down
  size_t calls = 0;                       // EngAllocMem calls, failed ones too
  size_t badFrees = 0;
};

Heap& heap() {
  static Heap* h = new Heap;  // never destroyed: blocks may be freed at exit
  return *h;
}

constexpr ULONG kLargestBlock = 0x7FFFFFFFu;
constexpr unsigned char kFillByte = 0xA5;

}  // namespace

KP_API PVOID WINAPI EngAllocMem(ULONG Flags, ULONG cjMemSize, ULONG ulTag) {
  if (cjMemSize == 0 || cjMemSize > kLargestBlock) return nullptr;
  Heap& h = heap();
  {
    std::lock_guard<std::mutex> g(h.lock);
    ++h.calls;
    if (h.failIn != 0 && --h.failIn == 0) return nullptr;
  }
  void* block = std::malloc(cjMemSize);
  if (!block) return nullptr;
  std::memset(block, (Flags & FL_ZERO_MEMORY) ? 0 : kFillByte, cjMemSize);
  std::lock_guard<std::mutex> g(h.lock);
  h.tags.emplace(block, ulTag);
  return block;
}

KP_API VOID WINAPI EngFreeMem(PVOID pv) {
  if (!pv) return;
  Heap& h = heap();
  {
    std::lock_guard<std::mutex> g(h.lock);
    if (h.tags.erase(pv) == 0) {
      ++h.badFrees;
      return;
    }
  }
  std::free(pv);
}

namespace kp::engine {
bool TakeAllocationFailure() {
  Heap& h = heap();
  std::lock_guard<std::mutex> g(h.lock);
  return h.failIn != 0 && --h.failIn == 0;
}
}  // namespace kp::engine

KP_API void KpEngineFailAllocation(DWORD nth) {
  Heap& h = heap();
  std::lock_guard<std::mutex> g(h.lock);
  h.failIn = nth;
}

KP_API size_t KpEngineBlockCount(ULONG tag) {
  Heap& h = heap();
  std::lock_guard<std::mutex> g(h.lock);
  if (tag == 0) return h.tags.size();
  size_t n = 0;
  for (const auto& entry : h.tags) n += entry.second == tag ? 1 : 0;
  return n;
}

KP_API size_t KpEngineAllocationCount(void) {
  Heap& h = heap();
  std::lock_guard<std::mutex> g(h.lock);
  return h.calls;
}

KP_API size_t KpEngineBadFreeCount(void) {
  Heap& h = heap();
  std::lock_guard<std::mutex> g(h.lock);
  return h.badFrees;
}
