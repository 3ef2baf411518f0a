#include "gdi32/ft_reader.h"

#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <set>
#include <utility>

#include "kplatform/engine_devfont.h"
#include "kplatform/gdi32_fontcounts.h"
#include "kplatform/gdi32_fonts.h"

namespace kp::ft {
namespace {
constexpr char kDefaultFolder[] = "/usr/share/fonts/truetype/dejavu";
// Given-back faces kept a member of a file: as many as the load tests'
// threads print at once; more are closed.
constexpr size_t kIdleFacesPerMember = 8;

struct Store {
  std::mutex lock;
  std::string folder = kDefaultFolder;
};
Store& S() {
  static Store* s = new Store;
  return *s;
}

// One FreeType library for the process. FreeType lets threads share one
// when opening and closing faces are serialised (`lock`); each face is
// used by one caller at a time.
struct Library {
  std::mutex lock;
  FT_Library lib = nullptr;
  Library() {
    if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
  }
};
Library& L() {
  static Library* l = new Library;  // outlives every static destructor
  return *l;
}

// The file table: each mapped file by its identity, held weakly (the
// catalogue and the font objects hold the mappings).
struct Identity {
  dev_t dev;
  ino_t ino;
  auto operator<=>(const Identity&) const = default;
};
struct Mapped {
  std::weak_ptr<FontFile> file;
  off_t size;
  struct timespec mtime;
};
struct Files {
  std::mutex lock;
  std::map<Identity, Mapped> table;
  uint64_t serial = 0;
  std::set<Identity> everMapped;  // since the counters were reset
};
Files& F() {
  static Files* f = new Files;
  return *f;
}

struct Counters {
  std::atomic<ULONGLONG> folderWalks{0}, fileMaps{0}, filesMappedAgain{0}, facesOpened{0}, glyphsRendered{0};
};
Counters& C() {
  static Counters* c = new Counters;
  return *c;
}

FT_Face OpenFace(const FontFile& file, long member) {
  Library& l = L();
  std::lock_guard<std::mutex> g(l.lock);
  FT_Face face = nullptr;
  if (!l.lib || FT_New_Memory_Face(l.lib, file.data(), static_cast<FT_Long>(file.size()), member, &face) != 0)
    return nullptr;
  C().facesOpened.fetch_add(1, std::memory_order_relaxed);
  return face;
}

void CloseFace(FT_Face face) {
  Library& l = L();
  std::lock_guard<std::mutex> g(l.lock);
  FT_Done_Face(face);
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

namespace {
// The mapping of the file `st` describes while anyone holds it (the caller
// holds files.lock).
std::shared_ptr<FontFile> Known(Files& files, const struct stat& st) {
  auto it = files.table.find(Identity{st.st_dev, st.st_ino});
  if (it == files.table.end() || it->second.size != st.st_size || it->second.mtime.tv_sec != st.st_mtim.tv_sec ||
      it->second.mtime.tv_nsec != st.st_mtim.tv_nsec)
    return nullptr;
  return it->second.file.lock();
}
}  // namespace

std::shared_ptr<FontFile> FontFile::Open(const std::string& path) {
  Files& files = F();
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return nullptr;
  {
    std::lock_guard<std::mutex> g(files.lock);
    if (std::shared_ptr<FontFile> known = Known(files, st)) return known;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    close(fd);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(files.lock);
  if (std::shared_ptr<FontFile> known = Known(files, st)) {  // mapped by another caller meanwhile
    close(fd);
    return known;
  }
  void* view = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (view == MAP_FAILED) return nullptr;
  std::shared_ptr<FontFile> file(new FontFile);
  file->data_ = static_cast<const unsigned char*>(view);
  file->size_ = static_cast<size_t>(st.st_size);
  file->path_ = path;
  file->serial_ = ++files.serial;
  // Forget the mappings nobody holds any more, then note this one.
  for (auto it = files.table.begin(); it != files.table.end();)
    it = it->second.file.expired() ? files.table.erase(it) : std::next(it);
  const Identity id{st.st_dev, st.st_ino};
  files.table[id] = Mapped{file, st.st_size, st.st_mtim};
  Counters& c = C();
  c.fileMaps.fetch_add(1, std::memory_order_relaxed);
  if (!files.everMapped.insert(id).second) c.filesMappedAgain.fetch_add(1, std::memory_order_relaxed);
  return file;
}

FontFile::~FontFile() {
  for (const Idle& i : idle_) CloseFace(i.face);
  if (data_) munmap(const_cast<unsigned char*>(data_), size_);
}

FT_Face FontFile::BorrowFace(long member) {
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
      if (it->member != member) continue;
      FT_Face face = it->face;
      idle_.erase(std::next(it).base());
      return face;
    }
  }
  return OpenFace(*this, member);
}

void FontFile::ReturnFace(long member, FT_Face face) {
  if (!face) return;
  {
    std::lock_guard<std::mutex> g(lock_);
    size_t kept = 0;
    for (const Idle& i : idle_) kept += i.member == member ? 1 : 0;
    if (kept < kIdleFacesPerMember) {
      idle_.push_back(Idle{member, face});
      return;
    }
  }
  CloseFace(face);
}

FT_Face BorrowedFace::Borrow(std::shared_ptr<FontFile> file, long member) {
  Release();
  file_ = std::move(file);
  member_ = member;
  face_ = file_ ? file_->BorrowFace(member) : nullptr;
  return face_;
}

void BorrowedFace::Release() {
  if (face_) file_->ReturnFace(member_, face_);
  face_ = nullptr;
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

std::u16string SfntName(FT_Face face, FT_UShort id) {
  FT_UInt n = FT_Get_Sfnt_Name_Count(face);
  for (FT_UInt i = 0; i < n; ++i) {
    FT_SfntName name;
    if (FT_Get_Sfnt_Name(face, i, &name) != 0) continue;
    if (name.platform_id != TT_PLATFORM_MICROSOFT || name.name_id != id) continue;
    std::u16string s;
    for (FT_UInt k = 0; k + 1 < name.string_len; k += 2)
      s += static_cast<char16_t>((name.string[k] << 8) | name.string[k + 1]);
    return s;
  }
  return {};
}

const TT_OS2* Os2(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  return os2 && os2->version != 0xFFFF ? os2 : nullptr;
}

// Hand-written faces script, decorative and symbol faces decorative,
// monospaced faces modern, Latin text faces swiss when sans-serif and roman
// when serifed; anything else "don't care".
BYTE PitchAndFamily(FT_Face face) {
  const TT_OS2* os2 = Os2(face);
  const bool fixed = FT_IS_FIXED_WIDTH(face);
  BYTE family = FF_DONTCARE;
  if (os2) {
    const BYTE kind = os2->panose[0], serif = os2->panose[1], proportion = os2->panose[3];
    constexpr BYTE kLatinText = 2, kHandWritten = 3, kDecorative = 4, kSymbol = 5, kMonospaced = 9;
    constexpr BYTE kFirstSerif = 2, kFirstSans = 11, kLastSans = 13, kLastSerif = 15;
    if (kind == kHandWritten) family = FF_SCRIPT;
    else if (kind == kDecorative || kind == kSymbol) family = FF_DECORATIVE;
    else if (fixed || proportion == kMonospaced) family = FF_MODERN;
    else if (kind == kLatinText && serif >= kFirstSans && serif <= kLastSans) family = FF_SWISS;
    else if (kind == kLatinText && serif >= kFirstSerif && serif <= kLastSerif) family = FF_ROMAN;
  }
  return static_cast<BYTE>(family | (fixed ? FIXED_PITCH : VARIABLE_PITCH));
}

void CountFolderWalk() { C().folderWalks.fetch_add(1, std::memory_order_relaxed); }
void CountGlyphRendered() { C().glyphsRendered.fetch_add(1, std::memory_order_relaxed); }

}  // namespace kp::ft

KP_API void KpGetFontCounts(KP_FONT_COUNTS* counts) {
  if (!counts) return;
  kp::ft::Counters& c = kp::ft::C();
  counts->folderWalks = c.folderWalks.load();
  counts->fileMaps = c.fileMaps.load();
  counts->filesMappedAgain = c.filesMappedAgain.load();
  counts->facesOpened = c.facesOpened.load();
  counts->glyphsRendered = c.glyphsRendered.load();
}

KP_API void KpResetFontCounts(void) {
  kp::ft::Files& files = kp::ft::F();
  std::lock_guard<std::mutex> g(files.lock);
  files.everMapped.clear();
  kp::ft::Counters& c = kp::ft::C();
  c.folderWalks = 0;
  c.fileMaps = 0;
  c.filesMappedAgain = 0;
  c.facesOpened = 0;
  c.glyphsRendered = 0;
}
