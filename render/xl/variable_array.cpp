// The page store's growable arrays (kestrel/render/variable_array.h).
#include "kestrel/render/variable_array.h"

#include <cstring>

void variableArray_init(variableArray* array) {
  if (array == nullptr) return;
  array->capacity = 0;
  array->elementSize = 0;
  array->growthStep = 0;
  array->buffer = nullptr;
  array->allocator = nullptr;
}

int variableArray_create(variableArray* array, const VariableArrayAllocator* allocator, uint16_t elementSize,
                         uint16_t count) {
  if (array == nullptr) return -1;
  variableArray_init(array);
  if (allocator == nullptr || allocator->alloc == nullptr || allocator->free == nullptr || elementSize == 0 ||
      count == 0) {
    return -1;
  }
  const size_t bytes = static_cast<size_t>(elementSize) * count;
  BYTE* block = static_cast<BYTE*>(allocator->alloc(allocator->user, bytes));
  if (block == nullptr) return -1;
  std::memset(block, 0, bytes);
  array->allocator = allocator;
  array->buffer = block;
  array->capacity = count;
  array->elementSize = elementSize;
  array->growthStep = count;
  return 0;
}

int variableArray_expand(variableArray* array) {
  if (array == nullptr || array->allocator == nullptr || array->growthStep == 0) return -1;
  const uint32_t capacity = static_cast<uint32_t>(array->capacity) + array->growthStep;
  if (capacity > VARIABLEARRAY_MAX_ELEMENTS) return -1;  // the 16-bit capacity would wrap
  const size_t oldBytes = static_cast<size_t>(array->capacity) * array->elementSize;
  const size_t newBytes = static_cast<size_t>(capacity) * array->elementSize;
  BYTE* block = static_cast<BYTE*>(array->allocator->alloc(array->allocator->user, newBytes));
  if (block == nullptr) return -1;
  std::memset(block, 0, newBytes);
  if (array->buffer != nullptr) {
    std::memcpy(block, array->buffer, oldBytes < newBytes ? oldBytes : newBytes);
    array->allocator->free(array->allocator->user, array->buffer);
  }
  array->buffer = block;
  array->capacity = static_cast<uint16_t>(capacity);
  return 0;
}

int variableArray_reserve(variableArray* array, uint32_t index) {
  if (array == nullptr) return -1;
  while (index >= array->capacity) {
    if (variableArray_expand(array) != 0) return -1;
  }
  return 0;
}

BYTE* variableArray_item(const variableArray* array, uint32_t index) {
  if (array == nullptr || array->buffer == nullptr || index >= array->capacity) return nullptr;
  return array->buffer + static_cast<size_t>(index) * array->elementSize;
}

int variableArray_setItem(variableArray* array, uint32_t index, const void* item) {
  BYTE* at = variableArray_item(array, index);
  if (at == nullptr || item == nullptr) return -1;
  std::memcpy(at, item, array->elementSize);
  return 0;
}

int variableArray_getItem(const variableArray* array, uint32_t index, void* item) {
  const BYTE* at = variableArray_item(array, index);
  if (at == nullptr || item == nullptr) return -1;
  std::memcpy(item, at, array->elementSize);
  return 0;
}

int variableArray_setFillData(variableArray* array, uint32_t index, BYTE value) {
  BYTE* at = variableArray_item(array, index);
  if (at == nullptr) return -1;
  std::memset(at, value, array->elementSize);
  return 0;
}

uint16_t variableArray_getArrayNum(const variableArray* array) { return array != nullptr ? array->capacity : 0; }

uint16_t variableArray_getBlockSize(const variableArray* array) { return array != nullptr ? array->elementSize : 0; }

void variableArray_dispose(variableArray* array) {
  if (array == nullptr) return;
  if (array->buffer != nullptr && array->allocator != nullptr) array->allocator->free(array->allocator->user, array->buffer);
  variableArray_init(array);
}
