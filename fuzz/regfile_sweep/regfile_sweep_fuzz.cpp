// Arbitrary values in a temporary-file list, then the sweep of that list.
// Input: values, each a name length byte, the name (UTF-16 units, 2 bytes
// each), a type byte, a 16-bit data length and the data; a few files exist
// below C:\Windows\Temp for records to name. The sweep must end, read no
// value past its size, and leave every value that is not a 532-byte binary
// "DFaxInfo_" record as it was.
#include <kplatform/advapi32_registry.h>
#include <kplatform/kernel32_file.h>
#include <kplatform/kwindows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "kestrel/core/regfile.h"
#include "model_root.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Fuzz\\TempFile";

struct Value {
  DWORD type;
  std::vector<BYTE> data;
};

bool Ours(const std::u16string& name, const Value& v) {
  return name.rfind(u"DFaxInfo_", 0) == 0 && v.type == REG_BINARY && v.data.size() == REGFILE_RECORD_SIZE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kestrel::test::FreshRoot root("kestrel-fuzz");
  if (!root.ok()) std::abort();
  RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
    std::abort();
  for (const char16_t* f : {u"C:\\Windows\\Temp\\a.tmp", u"C:\\Windows\\Temp\\b.tmp"}) {
    HANDLE h = CreateFileW(f, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  std::map<std::u16string, Value> written;
  size_t at = 0;
  while (at < size) {
    size_t chars = data[at++] % 40;
    if (at + chars * 2 + 3 > size) break;
    std::u16string name;
    for (size_t i = 0; i < chars; ++i) name.push_back(static_cast<char16_t>(data[at + 2 * i] | data[at + 2 * i + 1] << 8));
    at += chars * 2;
    name.erase(std::find(name.begin(), name.end(), u'\0'), name.end());
    DWORD type = data[at++] % 5;
    size_t length = data[at] | data[at + 1] << 8;
    at += 2;
    if (length > size - at) length = size - at;
    Value v{type, std::vector<BYTE>(data + at, data + at + length)};
    at += length;
    if (RegSetValueExW(key, name.c_str(), 0, type, v.data.data(), static_cast<DWORD>(v.data.size())) == 0)
      written[name] = v;
  }
  RegCloseKey(key);
  RegFile_SweepKey(kKey);
  // Every value that is not a record is still there, unchanged.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != 0) std::abort();
  for (const auto& [name, v] : written) {
    if (Ours(name, v)) continue;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) != 0 || type != v.type ||
        bytes != v.data.size())
      std::abort();
  }
  RegCloseKey(key);
  return 0;
}
