// Global blocks and private heaps over the C allocator, with a registry of
// live blocks so that a wrong pointer is refused instead of freed.
#include "kplatform/kernel32_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "object.h"

namespace kp {
namespace {

std::atomic<uint64_t> g_failCountdown{0};  // 0: no failure armed
std::atomic<size_t> g_liveBlocks{0};       // global blocks and heap blocks
std::atomic<size_t> g_allocationCalls{0};  // every call that allocates, refused ones too

// True when this allocation is the one a test asked to fail.
bool InjectedFailure() {
  g_allocationCalls.fetch_add(1);
  uint64_t n = g_failCountdown.load();
  while (n != 0) {
    if (g_failCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}

void* NewZeroed(SIZE_T bytes) {
  if (bytes > KP_MAX_BLOCK_SIZE) return nullptr;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

struct GlobalBlock {
  SIZE_T size;
  DWORD locks;
};

struct GlobalRegistry {
  std::mutex lock;
  std::unordered_map<const void*, GlobalBlock> blocks;
};

GlobalRegistry& Globals() {
  static GlobalRegistry* r = new GlobalRegistry;  // outlives every static destructor
  return *r;
}

class Heap : public KernelObject {
 public:
  explicit Heap(SIZE_T maximum) : maximum_(maximum) {}
  ~Heap() override {
    for (auto& [block, size] : blocks_) std::free(block);
    g_liveBlocks -= blocks_.size();
  }

  void* alloc(SIZE_T bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    if (InjectedFailure() || !fits(0, bytes)) return nullptr;
    void* block = NewZeroed(bytes);
    if (block == nullptr) return nullptr;
    blocks_.emplace(block, bytes);
    used_ += bytes;
    ++g_liveBlocks;
    return block;
  }

  // Null with `known` false when the pointer is no block of this heap.
  void* realloc(void* block, SIZE_T bytes, bool inPlaceOnly, bool& known) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = blocks_.find(block);
    known = it != blocks_.end();
    if (!known) return nullptr;
    const SIZE_T old = it->second;
    if (InjectedFailure() || (bytes > old && inPlaceOnly)) return nullptr;
    if (!fits(old, bytes) || bytes > KP_MAX_BLOCK_SIZE) return nullptr;
    void* moved = block;
    if (bytes > old) {
      moved = std::realloc(block, bytes);
      if (moved == nullptr) return nullptr;
      std::memset(static_cast<char*>(moved) + old, 0, bytes - old);
    }
    // A shrinking block keeps its memory and its address.
    blocks_.erase(it);
    blocks_.emplace(moved, bytes);
    used_ = used_ - old + bytes;
    return moved;
  }

  bool free(void* block) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = blocks_.find(block);
    if (it == blocks_.end()) return false;
    used_ -= it->second;
    blocks_.erase(it);
    --g_liveBlocks;
    std::free(block);
    return true;
  }

  SIZE_T size(const void* block) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = blocks_.find(const_cast<void*>(block));
    return it == blocks_.end() ? static_cast<SIZE_T>(-1) : it->second;
  }

  size_t count() {
    std::lock_guard<std::mutex> guard(lock_);
    return blocks_.size();
  }

 private:
  bool fits(SIZE_T old, SIZE_T bytes) const { return maximum_ == 0 || used_ - old + bytes <= maximum_; }

  std::mutex lock_;
  const SIZE_T maximum_;
  SIZE_T used_ = 0;
  // Sizes as asked (a shrunk block keeps its larger memory).
  std::unordered_map<void*, SIZE_T> blocks_;
};

// The process heap is no entry of the handle table; its handle is a value the
// table never hands out (table handles stay below 2^32).
const HANDLE kProcessHeapHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1'0000'0004ull));

std::shared_ptr<Heap> ProcessHeap() {
  static auto* heap = new std::shared_ptr<Heap>(std::make_shared<Heap>(0));  // never destroyed
  return *heap;
}

std::shared_ptr<Heap> FindHeap(HANDLE heap) {
  if (heap == kProcessHeapHandle) return ProcessHeap();
  return LookupHandleAs<Heap>(heap);
}

}  // namespace
}  // namespace kp

KP_API HGLOBAL WINAPI GlobalAlloc(UINT /*flags*/, SIZE_T bytes) {
  void* block = kp::InjectedFailure() ? nullptr : kp::NewZeroed(bytes);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  kp::GlobalRegistry& r = kp::Globals();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    r.blocks.emplace(block, kp::GlobalBlock{bytes, 0});
  }
  ++kp::g_liveBlocks;
  return block;
}

KP_API HGLOBAL WINAPI GlobalFree(HGLOBAL block) {
  if (block == nullptr) return nullptr;
  kp::GlobalRegistry& r = kp::Globals();
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.blocks.erase(block) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return block;
    }
  }
  --kp::g_liveBlocks;
  std::free(block);
  return nullptr;
}

KP_API SIZE_T WINAPI GlobalSize(HGLOBAL block) {
  kp::GlobalRegistry& r = kp::Globals();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.blocks.find(block);
  if (it == r.blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return it->second.size;
}

KP_API LPVOID WINAPI GlobalLock(HGLOBAL block) {
  kp::GlobalRegistry& r = kp::Globals();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.blocks.find(block);
  if (it == r.blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++it->second.locks;
  return block;
}

KP_API BOOL WINAPI GlobalUnlock(HGLOBAL block) {
  kp::GlobalRegistry& r = kp::Globals();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.blocks.find(block);
  if (it == r.blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--it->second.locks == 0) {
    SetLastError(NO_ERROR);
    return FALSE;
  }
  return TRUE;
}

KP_API HANDLE WINAPI HeapCreate(DWORD /*options*/, SIZE_T initialSize, SIZE_T maximumSize) {
  if (maximumSize != 0 && initialSize > maximumSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (kp::InjectedFailure()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE handle = kp::InsertHandle(std::make_shared<kp::Heap>(maximumSize));
  if (handle == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return handle;
}

KP_API BOOL WINAPI HeapDestroy(HANDLE heap) {
  if (heap == kp::kProcessHeapHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (kp::LookupHandleAs<kp::Heap>(heap) == nullptr || !kp::RemoveHandle(heap)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;  // the blocks go with the heap's last reference
}

KP_API HANDLE WINAPI GetProcessHeap(void) { return kp::kProcessHeapHandle; }

KP_API LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD /*flags*/, SIZE_T bytes) {
  std::shared_ptr<kp::Heap> h = kp::FindHeap(heap);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return h->alloc(bytes);
}

KP_API LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
  std::shared_ptr<kp::Heap> h = kp::FindHeap(heap);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool known = false;
  void* moved = h->realloc(block, bytes, (flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0, known);
  if (!known) SetLastError(ERROR_INVALID_PARAMETER);
  return moved;
}

KP_API BOOL WINAPI HeapFree(HANDLE heap, DWORD /*flags*/, LPVOID block) {
  std::shared_ptr<kp::Heap> h = kp::FindHeap(heap);
  if (h == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (block == nullptr) return TRUE;
  if (!h->free(block)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

KP_API SIZE_T WINAPI HeapSize(HANDLE heap, DWORD /*flags*/, LPCVOID block) {
  std::shared_ptr<kp::Heap> h = kp::FindHeap(heap);
  return h == nullptr ? static_cast<SIZE_T>(-1) : h->size(block);
}

KP_API void KpFailAllocation(DWORD nth) { kp::g_failCountdown.store(nth); }

KP_API size_t KpAllocationCount(void) { return kp::g_allocationCalls.load(); }

KP_API size_t KpGlobalBlockCount(void) {
  kp::GlobalRegistry& r = kp::Globals();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.blocks.size();
}

KP_API size_t KpHeapBlockCount(HANDLE heap) {
  std::shared_ptr<kp::Heap> h = kp::FindHeap(heap);
  return h == nullptr ? static_cast<size_t>(-1) : h->count();
}

KP_API size_t KpLiveBlockCount(void) { return kp::g_liveBlocks.load(); }
