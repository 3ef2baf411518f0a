#include <kplatform/kernel32_memory.h>
#include <kplatform/kernel32_sync.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Every test leaves the block and handle counts as it found them.
class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    blocks_ = KpLiveBlockCount();
    handles_ = KpOpenHandleCount();
  }
  void TearDown() override {
    KpFailAllocation(0);
    EXPECT_EQ(blocks_, KpLiveBlockCount());
    EXPECT_EQ(handles_, KpOpenHandleCount());
  }
  static bool AllZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
      if (b[i] != 0) return false;
    return true;
  }

 private:
  size_t blocks_ = 0;
  size_t handles_ = 0;
};

TEST_F(MemoryTest, GlobalBlocksAreZeroedWhateverTheFlagsAndKnowTheirSize) {
  // Dirty the allocator first so that recycled memory would show through.
  for (int i = 0; i < 8; ++i) {
    void* p = GlobalAlloc(GPTR, 4736);
    std::memset(p, 0xA5, 4736);
    GlobalFree(p);
  }
  for (UINT flags : {GMEM_FIXED, GPTR, GHND, GMEM_MOVEABLE}) {
    for (SIZE_T size : {SIZE_T{0}, SIZE_T{1}, SIZE_T{4736}, SIZE_T{31152}}) {
      HGLOBAL h = GlobalAlloc(flags, size);
      ASSERT_NE(nullptr, h) << flags << " " << size;
      EXPECT_EQ(size, GlobalSize(h));
      void* p = GlobalLock(h);
      EXPECT_EQ(h, p);
      EXPECT_TRUE(AllZero(p, size)) << flags << " " << size;
      GlobalUnlock(h);
      EXPECT_EQ(nullptr, GlobalFree(h));
    }
  }
}

TEST_F(MemoryTest, PointersThatAreNoLiveGlobalBlockAreRefusedAndNothingIsFreed) {
  char* block = static_cast<char*>(GlobalAlloc(GPTR, 64));
  HANDLE heap = HeapCreate(0, 1, 0);
  void* heapBlock = HeapAlloc(heap, 0, 16);
  void* freed = GlobalAlloc(GPTR, 8);
  GlobalFree(freed);
  int local = 0;
  struct Case {
    const char* what;
    void* pointer;
  } cases[] = {{"stack", &local}, {"inside a block", block + 8}, {"freed block", freed}, {"heap block", heapBlock}};
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(0u, GlobalSize(c.pointer)) << c.what;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError()) << c.what;
    EXPECT_EQ(c.pointer, GlobalFree(c.pointer)) << c.what;
    EXPECT_EQ(nullptr, GlobalLock(c.pointer)) << c.what;
    EXPECT_FALSE(GlobalUnlock(c.pointer)) << c.what;
  }
  EXPECT_EQ(0u, GlobalSize(nullptr));
  EXPECT_EQ(nullptr, GlobalFree(nullptr));
  // The real blocks are untouched and still free normally.
  EXPECT_EQ(64u, GlobalSize(block));
  EXPECT_EQ(16u, HeapSize(heap, 0, heapBlock));
  EXPECT_EQ(nullptr, GlobalFree(block));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST_F(MemoryTest, GlobalUnlockCountsLocks) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  SetLastError(1234);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_LOCKED), GetLastError());
  GlobalLock(h);
  GlobalLock(h);
  EXPECT_TRUE(GlobalUnlock(h));
  SetLastError(1234);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
  GlobalFree(h);
}

TEST_F(MemoryTest, OversizedRequestsFailAsOutOfMemory) {
  SetLastError(0);
  EXPECT_EQ(nullptr, GlobalAlloc(GPTR, static_cast<SIZE_T>(-1)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  HANDLE heap = HeapCreate(0, 1, 0);
  EXPECT_EQ(nullptr, HeapAlloc(heap, 0, KP_MAX_BLOCK_SIZE + 1));
  void* p = HeapAlloc(heap, 0, 8);
  EXPECT_EQ(nullptr, HeapReAlloc(heap, 0, p, static_cast<SIZE_T>(-1)));
  EXPECT_EQ(8u, HeapSize(heap, 0, p));
  HeapDestroy(heap);
}

TEST_F(MemoryTest, TheNthAllocationFailsOnceWhicheverFunctionMakesIt) {
  HANDLE heap = HeapCreate(0, 1, 0);
  void* grown = HeapAlloc(heap, 0, 4);
  std::memcpy(grown, "abc", 4);
  struct Case {
    const char* what;
    bool (*allocate)(HANDLE heap, void*& grown);  // true when it succeeded
  } cases[] = {
      {"GlobalAlloc",
       [](HANDLE, void*&) {
         HGLOBAL h = GlobalAlloc(GPTR, 8);
         GlobalFree(h);
         return h != nullptr;
       }},
      {"HeapCreate",
       [](HANDLE, void*&) {
         HANDLE h = HeapCreate(0, 1, 0);
         if (h != nullptr) HeapDestroy(h);
         return h != nullptr;
       }},
      {"HeapAlloc",
       [](HANDLE heap, void*&) {
         void* p = HeapAlloc(heap, HEAP_ZERO_MEMORY, 8);
         HeapFree(heap, 0, p);
         return p != nullptr;
       }},
      {"HeapReAlloc",
       [](HANDLE heap, void*& block) {
         void* p = HeapReAlloc(heap, 0, block, HeapSize(heap, 0, block) + 4096);
         if (p != nullptr) block = p;
         return p != nullptr;
       }},
  };
  for (const Case& c : cases) {
    KpFailAllocation(3);
    EXPECT_TRUE(c.allocate(heap, grown)) << c.what;
    EXPECT_TRUE(c.allocate(heap, grown)) << c.what;
    SetLastError(0);
    EXPECT_FALSE(c.allocate(heap, grown)) << c.what;
    EXPECT_TRUE(c.allocate(heap, grown)) << c.what;
    EXPECT_TRUE(c.allocate(heap, grown)) << c.what;
  }
  // The failed reallocation left the block and its contents in place.
  EXPECT_STREQ("abc", static_cast<const char*>(grown));
  // Failures of GlobalAlloc and HeapCreate say why.
  KpFailAllocation(1);
  SetLastError(0);
  EXPECT_EQ(nullptr, GlobalAlloc(GPTR, 8));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  KpFailAllocation(1);
  EXPECT_EQ(nullptr, HeapCreate(0, 1, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  // 0 disarms.
  KpFailAllocation(1);
  KpFailAllocation(0);
  void* p = GlobalAlloc(GPTR, 8);
  EXPECT_NE(nullptr, p);
  GlobalFree(p);
  HeapDestroy(heap);
}

TEST_F(MemoryTest, HeapBlocksGrowWithZerosAndKeepTheirContents) {
  HANDLE heap = HeapCreate(0, 1, 0);
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, 0, 100));
  ASSERT_NE(nullptr, p);
  EXPECT_TRUE(AllZero(p, 100));
  std::memset(p, 7, 100);
  auto* q = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 100000));
  ASSERT_NE(nullptr, q);
  EXPECT_EQ(100000u, HeapSize(heap, 0, q));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(7, q[i]);
  EXPECT_TRUE(AllZero(q + 100, 100000 - 100));
  // Shrinking keeps the address; growing in place only is refused.
  EXPECT_EQ(q, HeapReAlloc(heap, 0, q, 10));
  EXPECT_EQ(10u, HeapSize(heap, 0, q));
  EXPECT_EQ(nullptr, HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, q, 11));
  EXPECT_EQ(10u, HeapSize(heap, 0, q));
  // Growing again after a shrink shows zeros past the shrunk size.
  auto* r = static_cast<unsigned char*>(HeapReAlloc(heap, 0, q, 200));
  EXPECT_TRUE(AllZero(r + 10, 190));
  EXPECT_TRUE(HeapFree(heap, 0, r));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST_F(MemoryTest, HeapsRefuseForeignPointersAndDestroyFreesWhatIsLeft) {
  const size_t before = KpLiveBlockCount();
  HANDLE a = HeapCreate(0, 1, 0);
  HANDLE b = HeapCreate(0, 1, 0);
  std::vector<void*> blocks;
  for (int i = 0; i < 5; ++i) blocks.push_back(HeapAlloc(a, 0, 32 * (i + 1)));
  void* inB = HeapAlloc(b, 0, 8);
  EXPECT_EQ(5u, KpHeapBlockCount(a));
  EXPECT_EQ(1u, KpHeapBlockCount(b));
  EXPECT_EQ(before + 6, KpLiveBlockCount());

  SetLastError(0);
  EXPECT_FALSE(HeapFree(a, 0, inB));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(HeapFree(a, 0, static_cast<char*>(blocks[0]) + 1));
  EXPECT_EQ(static_cast<SIZE_T>(-1), HeapSize(a, 0, inB));
  EXPECT_EQ(nullptr, HeapReAlloc(a, 0, inB, 16));
  EXPECT_TRUE(HeapFree(a, 0, nullptr));
  EXPECT_TRUE(HeapFree(a, 0, blocks[0]));
  EXPECT_FALSE(HeapFree(a, 0, blocks[0]));  // twice
  EXPECT_EQ(4u, KpHeapBlockCount(a));

  EXPECT_TRUE(HeapDestroy(a));  // frees the four left
  EXPECT_EQ(before + 1, KpLiveBlockCount());
  SetLastError(0);
  EXPECT_FALSE(HeapDestroy(a));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(nullptr, HeapAlloc(a, 0, 8));
  EXPECT_EQ(static_cast<size_t>(-1), KpHeapBlockCount(a));
  EXPECT_EQ(8u, HeapSize(b, 0, inB));
  EXPECT_TRUE(HeapDestroy(b));
}

TEST_F(MemoryTest, AFixedSizeHeapRefusesBlocksPastItsMaximum) {
  HANDLE heap = HeapCreate(0, 64, 1000);
  void* a = HeapAlloc(heap, 0, 600);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 401));
  void* b = HeapAlloc(heap, 0, 400);
  EXPECT_NE(nullptr, b);
  EXPECT_EQ(nullptr, HeapReAlloc(heap, 0, b, 401));
  HeapFree(heap, 0, a);
  EXPECT_NE(nullptr, HeapReAlloc(heap, 0, b, 1000));
  HeapDestroy(heap);
  EXPECT_EQ(nullptr, HeapCreate(0, 2000, 1000));
}

TEST_F(MemoryTest, TheProcessHeapWorksAndCannotBeDestroyed) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(nullptr, heap);
  EXPECT_EQ(heap, GetProcessHeap());
  void* p = HeapAlloc(heap, HEAP_ZERO_MEMORY, 32);
  EXPECT_EQ(32u, HeapSize(heap, 0, p));
  SetLastError(0);
  EXPECT_FALSE(HeapDestroy(heap));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(CloseHandle(heap));
  EXPECT_TRUE(HeapFree(heap, 0, p));
}

}  // namespace
