// Resources of loaded modules: lookup by (type, id), the data, and the
// string table (see kplatform/kernel32_resource.h).
#include <bit>
#include <cstring>
#include <memory>

#include "kplatform/kernel32_resource.h"
#include "module.h"

static_assert(std::endian::native == std::endian::little, "strings are read in place as little-endian UTF-16");

namespace kp {
namespace {

// A resource name or type as a number: MAKEINTRESOURCEW(n) or "#n". Zero
// when the name is no number (the containers hold numbered resources only).
WORD resourceNumber(LPCWSTR name) {
  if (name == nullptr) return 0;
  if (IS_INTRESOURCE(name)) return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  if (name[0] != u'#' || name[1] == 0) return 0;
  DWORD value = 0;
  for (LPCWSTR p = name + 1; *p != 0; ++p) {
    if (*p < u'0' || *p > u'9') return 0;
    value = value * 10 + static_cast<DWORD>(*p - u'0');
    if (value > 0xFFFF) return 0;
  }
  return static_cast<WORD>(value);
}

const res::Entry* find(const ResourceSet& set, WORD type, WORD id, DWORD& error) {
  if (type == 0) {
    error = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  if (const res::Entry* e = id != 0 ? res::Find(set.entries, type, id) : nullptr) return e;
  bool typePresent = false;
  for (const res::Entry& e : set.entries) typePresent = typePresent || e.type == type;
  error = typePresent ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
  return nullptr;
}

// The entry behind an HRSRC of this module, or null when it is not one.
const res::Entry* entryOf(const ResourceSet& set, HRSRC resource) {
  const auto address = reinterpret_cast<uintptr_t>(resource);
  const auto first = reinterpret_cast<uintptr_t>(set.entries.data());
  const uintptr_t end = first + set.entries.size() * sizeof(res::Entry);
  if (set.entries.empty() || address < first || address >= end || (address - first) % sizeof(res::Entry) != 0)
    return nullptr;
  return &set.entries[(address - first) / sizeof(res::Entry)];
}

HRSRC findResource(HMODULE module, LPCWSTR type, LPCWSTR name) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const ResourceSet> set = ModuleResources(module, error);
  if (!set) {
    SetLastError(error);
    return nullptr;
  }
  const res::Entry* e = find(*set, resourceNumber(type), resourceNumber(name), error);
  if (e == nullptr) {
    SetLastError(error);
    return nullptr;
  }
  // The module's directory lives as long as the module: the handle points
  // into it, as a Windows HRSRC points into the image's resource directory.
  return reinterpret_cast<HRSRC>(const_cast<res::Entry*>(e));
}

}  // namespace
}  // namespace kp

KP_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return kp::findResource(module, type, name);
}

KP_API HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD /*language*/) {
  return kp::findResource(module, type, name);
}

KP_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const kp::ResourceSet> set = kp::ModuleResources(module, error);
  if (!set) {
    SetLastError(error);
    return nullptr;
  }
  const kp::res::Entry* e = kp::entryOf(*set, resource);
  if (e == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<uint8_t*>(set->data + e->offset);
}

KP_API LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

KP_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const kp::ResourceSet> set = kp::ModuleResources(module, error);
  if (!set) {
    SetLastError(error);
    return 0;
  }
  const kp::res::Entry* e = kp::entryOf(*set, resource);
  if (e == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return e->length;
}

KP_API BOOL WINAPI FreeResource(HGLOBAL /*data*/) { return FALSE; }

KP_API int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size) {
  if (buffer == nullptr || size < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (size > 0) buffer[0] = 0;
  if (id > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const kp::ResourceSet> set = kp::ModuleResources(module, error);
  if (!set) {
    SetLastError(error);
    return 0;
  }
  const WORD block = static_cast<WORD>(id / kp::res::kStringsPerBlock + 1);
  const kp::res::Entry* e = kp::find(*set, kp::res::kTypeString, block, error);
  size_t unitsOffset = 0;
  uint16_t count = 0;
  if (e == nullptr || !kp::res::LocateString(set->data + e->offset, e->length, id % kp::res::kStringsPerBlock,
                                             unitsOffset, count) ||
      count == 0) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  // Blocks start 4-byte aligned in an aligned container, so units are 2-aligned.
  const uint8_t* units = set->data + e->offset + unitsOffset;
  if (size == 0) {
    LPCWSTR text = reinterpret_cast<LPCWSTR>(units);
    std::memcpy(buffer, &text, sizeof text);
    return count;
  }
  const int copied = count < size ? count : size - 1;
  std::memcpy(buffer, units, static_cast<size_t>(copied) * sizeof(WCHAR));
  buffer[copied] = 0;
  return copied;
}
