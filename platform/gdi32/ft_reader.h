// The platform's one FreeType reader, shared by the font families
// (gdi32/fonts.cpp) and the graphics engine's font objects
// (engine/fontobj.cpp): the font folder, the library, faces opened from a
// file of the folder or from bytes in memory.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

namespace kp::ft {

// The folder KpSetFontFolder chose (the DejaVu folder by default).
std::string FontFolder();
void SetFontFolder(const char* hostFolder);
// A file name without a folder lies in the font folder; a name with one is
// taken as it stands.
std::string ResolveFontFile(const std::string& name);

// A FreeType library of its own for one user (FreeType's libraries are not
// shared between threads).
class Library {
 public:
  Library();
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  FT_Library get() const { return lib_; }
  explicit operator bool() const { return lib_ != nullptr; }
  // A face from bytes that outlive it; null when FreeType refuses them.
  FT_Face OpenMemory(const unsigned char* bytes, size_t size, long member) const;
  FT_Face OpenFile(const std::string& path, long member) const;

 private:
  FT_Library lib_ = nullptr;
};

// UTF-8 to UTF-16 (FreeType's family and style names).
std::u16string FromUtf8(const char* s);

}  // namespace kp::ft
