// A growable array of fixed-size elements, zero-filled as it grows: one
// implementation for both sides of the page store (the spooler side's
// page-info and page-position tables, the renderer's page table). Memory
// comes from the allocator the caller gives at creation (the renderer's
// engine heap, the spooler side's GlobalAlloc), so the same code runs in
// the kernel-mode build.
//
// Results are 0 (or a count) on success and -1 on failure. Capacity,
// element size and growth step are 16-bit as the records hold them: an
// expansion that would pass 65535 elements fails and leaves the array as
// it was, never wrapping the capacity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/wintypes.h"

// alloc answers zero-filled memory or null.
struct VariableArrayAllocator {
  void* (*alloc)(void* user, size_t bytes);
  void (*free)(void* user, void* block);
  void* user;
};

struct variableArray {
  uint16_t capacity;     // elements allocated
  uint16_t elementSize;  // bytes per element
  uint16_t growthStep;   // elements added by one expansion
  BYTE* buffer;          // capacity x elementSize bytes, or null
  const VariableArrayAllocator* allocator;  // set by create; must outlive the array
};

constexpr uint32_t VARIABLEARRAY_MAX_ELEMENTS = 0xFFFF;

// Empties the array (nothing is freed: for a record that holds no block).
void variableArray_init(variableArray* array);
// count elements of elementSize bytes, zeroed; count is also the growth
// step. A size or count of 0, or no allocator: -1 (the array stays empty).
int variableArray_create(variableArray* array, const VariableArrayAllocator* allocator, uint16_t elementSize,
                         uint16_t count);
// Grows by the growth step (MEMREALLOC: a zeroed block of the new size, the
// old bytes copied, the old block freed). On failure the old block stays.
int variableArray_expand(variableArray* array);
// Grows in whole steps until index is inside; -1 when it cannot.
int variableArray_reserve(variableArray* array, uint32_t index);
// Copies one element in or out; an index at or beyond the capacity: -1.
int variableArray_setItem(variableArray* array, uint32_t index, const void* item);
int variableArray_getItem(const variableArray* array, uint32_t index, void* item);
// Fills one element with a byte value; an index at or beyond the capacity: -1.
int variableArray_setFillData(variableArray* array, uint32_t index, BYTE value);
// The element's address, or null outside the capacity.
BYTE* variableArray_item(const variableArray* array, uint32_t index);
uint16_t variableArray_getArrayNum(const variableArray* array);   // 0 for null
uint16_t variableArray_getBlockSize(const variableArray* array);  // 0 for null
// Frees the block and empties the array.
void variableArray_dispose(variableArray* array);
