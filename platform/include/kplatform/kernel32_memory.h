// Memory: global blocks (GlobalAlloc) and private heaps (HeapCreate).
//
// Every block the stand-in hands out is zero-filled, whatever the flags say:
// the driver asks for zero fill everywhere it relies on it, and code that
// forgot to ask still sees defined contents instead of stale bytes.
//
// The stand-in keeps a registry of live blocks. A pointer that is not a live
// block of the right kind is refused with a clear error by every function
// (GlobalSize answers 0, GlobalFree and HeapFree fail) without reading any
// byte near it; nothing is freed twice.
//
// A moveable global block (GMEM_MOVEABLE) never moves: its handle is the
// address of its memory, and GlobalLock returns that address.
//
// Blocks larger than KP_MAX_BLOCK_SIZE are refused as out of memory.
#pragma once

#include "kplatform/wintypes.h"

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

#define HEAP_NO_SERIALIZE 0x00000001u
#define HEAP_GENERATE_EXCEPTIONS 0x00000004u
#define HEAP_ZERO_MEMORY 0x00000008u
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010u

#define ERROR_NOT_LOCKED 158L

#define KP_MAX_BLOCK_SIZE ((SIZE_T)0x7FFFFFFF)

// Null and ERROR_NOT_ENOUGH_MEMORY when no memory is left.
KP_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// Null on success; the block itself, with ERROR_INVALID_HANDLE, when it is
// not a live global block (nothing is freed). GlobalFree(NULL) is null.
KP_API HGLOBAL WINAPI GlobalFree(HGLOBAL block);
// The size asked for at allocation; 0 with ERROR_INVALID_HANDLE for anything
// that is not a live global block.
KP_API SIZE_T WINAPI GlobalSize(HGLOBAL block);
// The block's address, counting one lock; null with ERROR_INVALID_HANDLE for
// a non-block.
KP_API LPVOID WINAPI GlobalLock(HGLOBAL block);
// Drops one lock: TRUE while locks remain; FALSE with NO_ERROR when the last
// lock went, FALSE with ERROR_NOT_LOCKED when there was none, FALSE with
// ERROR_INVALID_HANDLE for a non-block.
KP_API BOOL WINAPI GlobalUnlock(HGLOBAL block);

// A private heap. `maximumSize` 0 makes it growable; otherwise the live
// blocks together may not exceed it. Its handle is a kernel handle of its
// own (it counts in KpOpenHandleCount) and is given back by HeapDestroy.
KP_API HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
// Frees every block still in the heap. The process heap is not destroyed
// (FALSE, ERROR_INVALID_PARAMETER).
KP_API BOOL WINAPI HeapDestroy(HANDLE heap);
// The process's own heap; it lives as long as the process.
KP_API HANDLE WINAPI GetProcessHeap(void);
// Null when the heap is full or no memory is left; as on Windows the last
// error is not set then. An invalid heap gives null with ERROR_INVALID_HANDLE.
KP_API LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// Null leaves the block as it was. With HEAP_REALLOC_IN_PLACE_ONLY the block
// only shrinks or keeps its size. Grown bytes are zero. A pointer that is not
// a block of this heap gives null with ERROR_INVALID_PARAMETER.
KP_API LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
// TRUE for a null block; FALSE with ERROR_INVALID_PARAMETER for a pointer
// that is not a block of this heap (nothing is freed).
KP_API BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
// (SIZE_T)-1 for a pointer that is not a block of this heap.
KP_API SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID block);

// Test controls
// Makes the Nth allocation from now fail (1 = the next one), counting every
// call that allocates in any thread: GlobalAlloc, HeapCreate, HeapAlloc and
// HeapReAlloc. 0 cancels. One failure only; later allocations succeed.
KP_API void KpFailAllocation(DWORD nth);
// Calls that allocated so far (the same calls KpFailAllocation counts, the
// refused one included), so a test can walk KpFailAllocation over every
// allocation of a step.
KP_API size_t KpAllocationCount(void);
// Live global blocks.
KP_API size_t KpGlobalBlockCount(void);
// Live blocks of one heap; (size_t)-1 for a handle that is no heap.
KP_API size_t KpHeapBlockCount(HANDLE heap);
// Every live block: global blocks and the blocks of every heap still alive.
KP_API size_t KpLiveBlockCount(void);
