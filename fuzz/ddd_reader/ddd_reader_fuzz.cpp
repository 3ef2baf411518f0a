// Opens a DDD file pair made from the fuzz input and walks every category.
// Input: a 16-bit little-endian length n, n bytes of the main file, then the
// referenced file (written under the name the main file's header gives, when
// that name is a plain file name).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ddd_walk.h"
#include "model_root.h"

namespace {

std::string& Folder() {
  static std::string folder = [] {
    static kestrel::test::FreshRoot root("kestrel-ddd-fuzz");
    if (!root.ok()) std::abort();
    std::string dir = root.path() + "/c/fz";
    std::filesystem::create_directories(dir);
    return dir;
  }();
  return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

bool PlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
          c == '-'))
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string& dir = Folder();
  size_t mainSize = static_cast<size_t>(data[0] | (data[1] << 8));
  data += 2;
  size -= 2;
  if (mainSize > size) mainSize = size;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) std::filesystem::remove(e.path(), ec);
  Write(dir + "/main.DDD", data, mainSize);
  if (mainSize >= DDD_REFNAME_OFFSET + DDD_REFNAME_SIZE) {
    std::string name(reinterpret_cast<const char*>(data) + DDD_REFNAME_OFFSET, DDD_REFNAME_SIZE);
    name = name.substr(0, name.find('\0'));
    if (PlainName(name) && name != "main.DDD") Write(dir + "/" + name, data + mainSize, size - mainSize);
  }
  DDDFILE main{}, ref{};
  if (ddd_OpenFile(u"C:\\fz\\main.DDD", 0, &main, &ref) != DDD_OK) return 0;
  kestrel::ddd_walk::Walk(&main, &ref);
  ddd_CloseFile(&main, &ref);
  return 0;
}
