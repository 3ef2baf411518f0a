#include "gdi32/ft_reader.h"

#include <mutex>

namespace kp::ft {
namespace {
constexpr char kDefaultFolder[] = "/usr/share/fonts/truetype/dejavu";
struct Store {
  std::mutex lock;
  std::string folder = kDefaultFolder;
};
Store& S() {
  static Store* s = new Store;
  return *s;
}
}  // namespace

std::string FontFolder() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().folder;
}

void SetFontFolder(const char* hostFolder) {
  std::lock_guard<std::mutex> g(S().lock);
  S().folder = hostFolder ? hostFolder : kDefaultFolder;
}

std::string ResolveFontFile(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return FontFolder() + "/" + name;
}

Library::Library() {
  if (FT_Init_FreeType(&lib_) != 0) lib_ = nullptr;
}
Library::~Library() {
  if (lib_) FT_Done_FreeType(lib_);
}

FT_Face Library::OpenMemory(const unsigned char* bytes, size_t size, long member) const {
  FT_Face face = nullptr;
  if (!lib_ || FT_New_Memory_Face(lib_, bytes, static_cast<FT_Long>(size), member, &face) != 0) return nullptr;
  return face;
}

FT_Face Library::OpenFile(const std::string& path, long member) const {
  FT_Face face = nullptr;
  if (!lib_ || FT_New_Face(lib_, path.c_str(), member, &face) != 0) return nullptr;
  return face;
}

std::u16string FromUtf8(const char* s) {
  std::u16string out;
  if (!s) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    unsigned c = *p++;
    unsigned cp = c;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (more) cp = c & (0x3F >> more);
    for (int i = 0; i < more && (*p & 0xC0) == 0x80; ++i) cp = (cp << 6) | (*p++ & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace kp::ft
