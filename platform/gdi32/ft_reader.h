// The platform's one FreeType reader, shared by the font catalogue
// (gdi32/font_catalogue.h), the font families (gdi32/fonts.cpp) and the
// graphics engine's font objects (engine/fontobj.cpp): the font folder, the
// font files mapped once a process and shared, FreeType faces lent out from
// each file's pool, and the counters tests read (KpGetFontCounts).
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kplatform/wintypes.h"

namespace kp::ft {

// The folder KpSetFontFolder chose (the DejaVu folder by default).
std::string FontFolder();
void SetFontFolder(const char* hostFolder);
// A file name without a folder lies in the font folder; a name with one is
// taken as it stands.
std::string ResolveFontFile(const std::string& name);

// A font file mapped read-only. One mapping a file a process: FontFile::Open
// answers the mapping already made while anyone (the catalogue, an engine
// font object) holds it, so long as the file is the same one (device, inode,
// size and modification time); a file replaced since is mapped afresh.
//
// Its faces: FreeType faces are used by one caller at a time (the engine
// sets size and transform on them), so callers borrow one (BorrowFace) and
// give it back; given-back faces wait for the next borrower, a few a member.
class FontFile {
 public:
  // Null when the file is missing, empty or cannot be mapped.
  static std::shared_ptr<FontFile> Open(const std::string& path);
  ~FontFile();
  FontFile(const FontFile&) = delete;
  FontFile& operator=(const FontFile&) = delete;

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }
  const std::string& path() const { return path_; }
  // Tells this mapping from every other of the process, past ones included.
  uint64_t serial() const { return serial_; }

  // A face of the member for the caller alone until it gives it back; null
  // when FreeType refuses the member.
  FT_Face BorrowFace(long member);
  void ReturnFace(long member, FT_Face face);

 private:
  FontFile() = default;
  struct Idle {
    long member;
    FT_Face face;
  };
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  std::string path_;
  uint64_t serial_ = 0;
  std::mutex lock_;
  std::vector<Idle> idle_;
};

// A borrowed face given back when it goes out of scope.
class BorrowedFace {
 public:
  BorrowedFace() = default;
  BorrowedFace(std::shared_ptr<FontFile> file, long member) { Borrow(std::move(file), member); }
  ~BorrowedFace() { Release(); }
  // Gives back the face held, then borrows one of the member (null when
  // FreeType refuses it).
  FT_Face Borrow(std::shared_ptr<FontFile> file, long member);
  BorrowedFace(const BorrowedFace&) = delete;
  BorrowedFace& operator=(const BorrowedFace&) = delete;
  // Gives the face back (nothing when none is held).
  void Release();
  FT_Face get() const { return face_; }
  const std::shared_ptr<FontFile>& file() const { return file_; }
  explicit operator bool() const { return face_ != nullptr; }

 private:
  std::shared_ptr<FontFile> file_;
  long member_ = 0;
  FT_Face face_ = nullptr;
};

// UTF-8 to UTF-16 (FreeType's family and style names).
std::u16string FromUtf8(const char* s);
// A name of the face (Windows platform, the given name id), UTF-16 read
// big-endian; empty when the face has none.
std::u16string SfntName(FT_Face face, FT_UShort id);
// The face's OS/2 table, null when it has none.
const TT_OS2* Os2(FT_Face face);
// The pitch from the face's fixed-width flag, the family from its PANOSE
// class (engine_objects.h says how).
BYTE PitchAndFamily(FT_Face face);

// The counters (kplatform/gdi32_fonts.h, KP_FONT_COUNTS).
void CountFolderWalk();
void CountGlyphRendered();

}  // namespace kp::ft
