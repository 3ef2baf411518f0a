// The engine's font and string objects: TrueType files of the font folder
// read with the platform's FreeType reader (gdi32/ft_reader.h). The
// decisions are written at kplatform/engine_objects.h.
//
// What font objects share, so that a font made for every text call costs
// little: the file's mapping; the face's record (its IFIMETRICS, metrics and
// the glyph indices of the characters asked for so far); and the strike,
// the glyphs of one face at one size and transform, each rendered once and
// kept across font objects. A font object borrows a FreeType face from the
// file's pool only when its strike lacks a glyph, and keeps it until it is
// deleted. Strikes no font object holds are kept up to a budget (bytes and
// count), the least recently used dropped first.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/engine_state.h"
#include "gdi32/ft_reader.h"
#include "kplatform/engine_runner.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/long_range.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Strikes kept while no font object holds them: at most this many, and
// this many bytes of glyphs in all.
constexpr size_t kKeptStrikes = 256;
constexpr size_t kKeptStrikeBytes = size_t{16} << 20;
constexpr size_t kGlyphOverhead = 96;  // bytes a glyph costs beside its bits (an estimate)

struct GlyphEntry {
  GLYPHDATA data{};
  FT_Vector advance{};            // 26.6, y up
  std::vector<uint64_t> storage;  // the GLYPHBITS record, 8-byte aligned
};

// A face's record, shared by every font object on it.
struct FaceRecord {
  std::weak_ptr<kp::ft::FontFile> file;
  std::vector<uint64_t> ifi[2];  // IFIMETRICS and its names: upright, vertical
  FT_UShort unitsPerEm = 0;
  FT_Short maxAdvance = 0;
  FT_Long glyphCount = 0;
  std::mutex lock;
  std::unordered_map<char16_t, FT_UInt> glyphIndex;  // the characters asked for so far
};

// The glyphs of one face at one size and transform.
struct Strike {
  std::shared_ptr<kp::ft::FontFile> file;  // mapped while the strike is kept
  std::mutex lock;
  int sizeTaken = -1;  // whether FreeType takes the size: 1, 0, or -1 before the first font object tried
  std::unordered_map<HGLYPH, std::unique_ptr<GlyphEntry>> glyphs;  // rendered
  std::unordered_map<HGLYPH, FT_Vector> advances;                  // loaded, 26.6, y up
  std::atomic<size_t> bytes{0};
  uint64_t lastUse = 0;  // the cache's clock
};

struct StrikeKey {
  uint64_t file;
  long member;
  LONG em;
  FT_Fixed xx, xy, yx, yy;
  auto operator<=>(const StrikeKey&) const = default;
};

struct FontCache {
  std::mutex lock;
  std::map<std::pair<uint64_t, long>, std::shared_ptr<FaceRecord>> faces;  // by file serial and member
  std::map<StrikeKey, std::shared_ptr<Strike>> strikes;
  uint64_t clock = 0;
};
FontCache& fontCache() {
  static FontCache* c = new FontCache;
  return *c;
}

struct FontObject {
  FONTOBJ pub{};
  std::shared_ptr<kp::ft::FontFile> file;  // the whole file, mapped read-only
  long member = 0;
  std::shared_ptr<FaceRecord> record;
  std::shared_ptr<Strike> strike;
  FT_Matrix matrix{};             // the rendering transform
  kp::ft::BorrowedFace borrowed;  // at the first glyph the strike lacks, until deleted
  FT_Face face = nullptr;         // borrowed's, sized and transformed
  std::vector<uint64_t> ifi;      // IFIMETRICS and its names
  XFORMOBJ* xform = nullptr;
  LONG em = 0;
  std::mutex lock;  // FreeType's face is used by one caller at a time
  DWORD failFlags = 0;
  DWORD failNth = 0;
  // A device font: the driver's record and glyph set, and its widths call.
  bool device = false;
  IFIMETRICS* deviceIfi = nullptr;
  const FD_GLYPHSET* glyphSet = nullptr;
  DHPDEV dhpdev = nullptr;
  KP_PFN_QUERY_ADVANCE_WIDTHS queryWidths = nullptr;
  ~FontObject() {
    if (xform) KpEngineDeleteObject(xform);
  }
};

struct StringObject {
  STROBJ pub{};
  FontObject* font = nullptr;
  std::u16string text;
  std::vector<GLYPHPOS> positions;
  ULONG batch = 0;
  size_t next = 0;
};

struct Registry {
  std::mutex lock;
  std::unordered_map<const void*, FontObject*> fonts;
  std::unordered_map<const void*, StringObject*> strings;
  ULONG uniq = 0;
};
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

FontObject* fontOf(FONTOBJ* pfo) {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.fonts.find(pfo);
  return it == r.fonts.end() ? nullptr : it->second;
}
StringObject* stringOf(STROBJ* pstro) {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.strings.find(pstro);
  return it == r.strings.end() ? nullptr : it->second;
}

using kp::ft::SfntName;

bool HasSymbolCmap(FT_Face face) {
  for (FT_Int i = 0; i < face->num_charmaps; ++i) {
    if (face->charmaps[i]->platform_id == TT_PLATFORM_MICROSOFT &&
        face->charmaps[i]->encoding_id == TT_MS_ID_SYMBOL_CS)
      return true;
  }
  return false;
}

FWORD Fw(long v) { return static_cast<FWORD>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

void BuildIfi(std::vector<uint64_t>& out, FT_Face face, bool vertical) {
  std::u16string full = SfntName(face, TT_NAME_ID_FULL_NAME);
  if (full.empty()) full = kp::ft::FromUtf8(face->family_name);
  if (vertical) full = u"@" + full;
  std::u16string family = SfntName(face, TT_NAME_ID_FONT_FAMILY);
  if (vertical) family = u"@" + family;
  std::u16string style = SfntName(face, TT_NAME_ID_FONT_SUBFAMILY);
  size_t namesAt = sizeof(IFIMETRICS);
  size_t total = namesAt + (family.size() + 1 + style.size() + 1 + full.size() + 1 + full.size() + 1) * 2;
  out.assign((total + 7) / 8, 0);
  auto* base = reinterpret_cast<BYTE*>(out.data());
  auto* ifi = reinterpret_cast<IFIMETRICS*>(base);
  size_t at = namesAt;
  auto put = [&](const std::u16string& s) {
    PTRDIFF where = static_cast<PTRDIFF>(at);
    std::memcpy(base + at, s.c_str(), (s.size() + 1) * 2);
    at += (s.size() + 1) * 2;
    return where;
  };
  ifi->cjThis = static_cast<ULONG>(total);
  ifi->dpwszFamilyName = put(family);
  ifi->dpwszStyleName = put(style);
  ifi->dpwszFaceName = put(full);
  ifi->dpwszUniqueName = put(full);
  ifi->jWinCharSet = HasSymbolCmap(face) ? SYMBOL_CHARSET : ANSI_CHARSET;
  ifi->fwdUnitsPerEm = Fw(face->units_per_EM);
  ifi->fwdWinAscender = Fw(face->ascender);
  ifi->fwdWinDescender = Fw(-face->descender);
  ifi->fwdMaxCharInc = Fw(face->max_advance_width);
  ifi->fwdUnderscoreSize = Fw(face->underline_thickness);
  ifi->fwdUnderscorePosition = Fw(face->underline_position);
  ifi->rclFontBox = RECTL{static_cast<LONG>(face->bbox.xMin), static_cast<LONG>(face->bbox.yMax),
                          static_cast<LONG>(face->bbox.xMax), static_cast<LONG>(face->bbox.yMin)};
  ifi->usWinWeight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
  ifi->wcFirstChar = 0x20;
  ifi->wcLastChar = 0xFFFF;
  ifi->wcDefaultChar = 0x20;
  ifi->wcBreakChar = 0x20;
  ifi->ptlBaseline = POINTL{1, 0};
  ifi->ptlAspect = POINTL{1, 1};
  ifi->ptlCaret = POINTL{0, 1};
  const TT_OS2* os2 = kp::ft::Os2(face);
  ifi->jWinPitchAndFamily = kp::ft::PitchAndFamily(face);
  if (os2) {
    if (os2->usWeightClass) ifi->usWinWeight = os2->usWeightClass;
    ifi->fsSelection = os2->fsSelection & (FM_SEL_ITALIC | FM_SEL_UNDERSCORE | FM_SEL_NEGATIVE | FM_SEL_OUTLINED |
                                           FM_SEL_STRIKEOUT | FM_SEL_BOLD | FM_SEL_REGULAR);
    ifi->fsType = os2->fsType;
    ifi->fwdAveCharWidth = Fw(os2->xAvgCharWidth);
    ifi->fwdTypoAscender = Fw(os2->sTypoAscender);
    ifi->fwdTypoDescender = Fw(os2->sTypoDescender);
    ifi->fwdTypoLineGap = Fw(os2->sTypoLineGap);
    ifi->fwdStrikeoutSize = Fw(os2->yStrikeoutSize);
    ifi->fwdStrikeoutPosition = Fw(os2->yStrikeoutPosition);
    ifi->wcFirstChar = os2->usFirstCharIndex;
    ifi->wcLastChar = os2->usLastCharIndex;
    if (os2->version >= 2) {
      ifi->wcDefaultChar = os2->usDefaultChar;
      ifi->wcBreakChar = os2->usBreakChar;
    }
    std::memcpy(ifi->achVendId, os2->achVendID, 4);
    std::memcpy(&ifi->panose, os2->panose, sizeof(PANOSE));
  }
  ifi->chFirstChar = static_cast<BYTE>(ifi->wcFirstChar > 0xFF ? 0xFF : ifi->wcFirstChar);
  ifi->chLastChar = static_cast<BYTE>(ifi->wcLastChar > 0xFF ? 0xFF : ifi->wcLastChar);
  ifi->chDefaultChar = static_cast<BYTE>(ifi->wcDefaultChar & 0xFF);
  ifi->chBreakChar = static_cast<BYTE>(ifi->wcBreakChar & 0xFF);
}

// The font's matrix {m11, m12, m21, m22} at scale s (device pixels per
// notional unit): rows are the images of notional x and y (x' = x m11 +
// y m21); escapement in tenths of a degree, counter-clockwise.
void FontMatrix(double s, LONG escapement, BOOL mirrored, double shear, double m[4]) {
  double angle = escapement / 10.0 * kPi / 180.0;
  double c = std::cos(angle), sn = std::sin(angle);
  if (escapement % 3600 == 0) c = 1, sn = 0;
  double k = shear;
  double mirror = mirrored ? -1.0 : 1.0;
  double r1x = mirror * c, r1y = mirror * -sn;  // baseline
  double r2x = sn, r2y = c;                     // the down direction of the glyph
  m[0] = s * r1x;
  m[1] = s * r1y;
  m[2] = s * (r2x - k * r1x);
  m[3] = s * (r2y - k * r1y);
  for (int i = 0; i < 4; ++i)
    if (std::fabs(m[i]) < 1e-12) m[i] = 0;
}

FT_Fixed Fixed(double v) { return static_cast<FT_Fixed>(std::lround(v * 65536.0)); }

// The record of a member of a file, made at its first font object; null
// when FreeType refuses the member or it is no scalable SFNT face.
std::shared_ptr<FaceRecord> RecordOf(const std::shared_ptr<kp::ft::FontFile>& file, long member) {
  FontCache& c = fontCache();
  const std::pair<uint64_t, long> key{file->serial(), member};
  {
    std::lock_guard<std::mutex> g(c.lock);
    if (auto it = c.faces.find(key); it != c.faces.end()) return it->second;
  }
  kp::ft::BorrowedFace face(file, member);
  if (!face || !FT_IS_SFNT(face.get()) || !FT_IS_SCALABLE(face.get())) return nullptr;
  auto record = std::make_shared<FaceRecord>();
  record->file = file;
  BuildIfi(record->ifi[0], face.get(), false);
  BuildIfi(record->ifi[1], face.get(), true);
  record->unitsPerEm = face.get()->units_per_EM;
  record->maxAdvance = face.get()->max_advance_width;
  record->glyphCount = face.get()->num_glyphs;
  std::lock_guard<std::mutex> g(c.lock);
  for (auto it = c.faces.begin(); it != c.faces.end();)  // records of files no longer mapped
    it = it->second->file.expired() ? c.faces.erase(it) : std::next(it);
  return c.faces.try_emplace(key, std::move(record)).first->second;
}

// The strike of a key, made when there is none; the strikes no font object
// holds are dropped, least recently used first, while over the budget.
std::shared_ptr<Strike> StrikeOf(const StrikeKey& key, const std::shared_ptr<kp::ft::FontFile>& file) {
  FontCache& c = fontCache();
  std::lock_guard<std::mutex> g(c.lock);
  auto [it, made] = c.strikes.try_emplace(key);
  if (made) {
    it->second = std::make_shared<Strike>();
    it->second->file = file;
  }
  it->second->lastUse = ++c.clock;
  std::shared_ptr<Strike> strike = it->second;
  for (;;) {
    size_t bytes = 0;
    auto oldest = c.strikes.end();
    for (auto s = c.strikes.begin(); s != c.strikes.end(); ++s) {
      bytes += s->second->bytes.load(std::memory_order_relaxed);
      if (s->second.use_count() == 1 && (oldest == c.strikes.end() || s->second->lastUse < oldest->second->lastUse))
        oldest = s;
    }
    if ((c.strikes.size() <= kKeptStrikes && bytes <= kKeptStrikeBytes) || oldest == c.strikes.end()) break;
    c.strikes.erase(oldest);
  }
  return strike;
}

// Borrows the font object's face, sized and transformed, when it has none
// yet (the caller holds f.lock); false when FreeType refuses it.
bool HaveFace(FontObject& f) {
  if (f.face) return true;
  FT_Face face = f.borrowed.Borrow(f.file, f.member);
  if (!face) return false;
  if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(f.em), static_cast<FT_UInt>(f.em)) != 0) {
    f.borrowed.Release();
    return false;
  }
  FT_Set_Transform(face, &f.matrix, nullptr);
  f.face = face;
  return true;
}

// The glyph index of a character (the caller holds f.lock).
FT_UInt CharIndex(FontObject& f, WCHAR c) {
  FaceRecord& r = *f.record;
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (auto it = r.glyphIndex.find(c); it != r.glyphIndex.end()) return it->second;
  }
  if (!HaveFace(f)) return 0;
  const FT_UInt index = FT_Get_Char_Index(f.face, c);
  std::lock_guard<std::mutex> g(r.lock);
  r.glyphIndex.emplace(c, index);
  return index;
}

// One glyph of the font's strike, rendered when the strike lacks it (the
// caller holds f.lock); null when FreeType fails.
GlyphEntry* Glyph(FontObject& f, HGLYPH hg) {
  Strike& s = *f.strike;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (auto it = s.glyphs.find(hg); it != s.glyphs.end()) return it->second.get();
  }
  if (hg >= static_cast<HGLYPH>(f.record->glyphCount) || !HaveFace(f)) return nullptr;
  if (FT_Load_Glyph(f.face, hg, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return nullptr;
  FT_GlyphSlot slot = f.face->glyph;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return nullptr;
  kp::ft::CountGlyphRendered();
  const FT_Bitmap& bm = slot->bitmap;
  auto entry = std::make_unique<GlyphEntry>();
  LONG cx = static_cast<LONG>(bm.width), cy = static_cast<LONG>(bm.rows);
  POINTL origin{slot->bitmap_left, -slot->bitmap_top};
  bool blank = cx == 0 || cy == 0;
  if (blank) {
    cx = cy = 1;
    origin = POINTL{0, 0};
  }
  size_t rowBytes = (static_cast<size_t>(cx) + 7) / 8;
  size_t size = offsetof(GLYPHBITS, aj) + rowBytes * static_cast<size_t>(cy);
  entry->storage.assign((size + 7) / 8, 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(entry->storage.data());
  gb->ptlOrigin = origin;
  gb->sizlBitmap = SIZEL{cx, cy};
  if (!blank) {
    for (LONG y = 0; y < cy; ++y) {
      const unsigned char* src = bm.buffer + (bm.pitch >= 0 ? y * bm.pitch : (cy - 1 - y) * -bm.pitch);
      std::memcpy(gb->aj + y * rowBytes, src, rowBytes);
    }
  }
  entry->advance = slot->advance;
  GLYPHDATA& gd = entry->data;
  gd.gdf.pgb = gb;
  gd.hg = hg;
  gd.fxD = static_cast<FIX>(slot->advance.x / 4);  // 26.6 to 28.4
  gd.fxA = 0;
  gd.fxAB = gd.fxD;
  gd.rclInk = RECTL{origin.x, origin.y, origin.x + cx, origin.y + cy};
  gd.ptqD.x = static_cast<int64_t>(slot->advance.x) << 26;  // 26.6 to 32.32
  gd.ptqD.y = -(static_cast<int64_t>(slot->advance.y) << 26);
  const size_t cost = entry->storage.size() * sizeof(uint64_t) + kGlyphOverhead;
  std::lock_guard<std::mutex> g(s.lock);
  auto [it, added] = s.glyphs.try_emplace(hg, std::move(entry));  // another font object may have been first
  if (added) s.bytes.fetch_add(cost, std::memory_order_relaxed);
  return it->second.get();
}

// The transformed advance of a glyph in 26.6, y up; false when FreeType
// fails (the caller holds f.lock).
bool Advance(FontObject& f, HGLYPH hg, FT_Vector* advance) {
  Strike& s = *f.strike;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (auto it = s.glyphs.find(hg); it != s.glyphs.end()) {
      *advance = it->second->advance;
      return true;
    }
    if (auto it = s.advances.find(hg); it != s.advances.end()) {
      *advance = it->second;
      return true;
    }
  }
  if (hg >= static_cast<HGLYPH>(f.record->glyphCount) || !HaveFace(f)) return false;
  if (FT_Load_Glyph(f.face, hg, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return false;
  *advance = f.face->glyph->advance;
  std::lock_guard<std::mutex> g(s.lock);
  if (s.advances.emplace(hg, *advance).second) s.bytes.fetch_add(sizeof(FT_Vector) + 32, std::memory_order_relaxed);
  return true;
}

}  // namespace

namespace kp::engine {
size_t TextObjectCount() {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  return r.fonts.size() + r.strings.size();
}

bool DeleteTextObject(void* object) {
  Registry& r = registry();
  FontObject* font = nullptr;
  StringObject* str = nullptr;
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (auto it = r.fonts.find(object); it != r.fonts.end()) {
      font = it->second;
      r.fonts.erase(it);
    } else if (auto is = r.strings.find(object); is != r.strings.end()) {
      str = is->second;
      r.strings.erase(is);
    } else {
      return false;
    }
  }
  delete font;
  delete str;
  return true;
}
}  // namespace kp::engine


KP_API FONTOBJ* KpEngineCreateTrueTypeFont(const KP_ENGINE_FONT_INFO* info) {
  if (!info || !info->file || info->emPixels <= 0 || info->member < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_unique<FontObject>();
  f->file = kp::ft::FontFile::Open(kp::ft::ResolveFontFile(info->file));
  f->member = info->member;
  f->record = f->file ? RecordOf(f->file, info->member) : nullptr;
  if (!f->record) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  f->em = info->emPixels;
  bool vertical = (info->flags & FO_VERT_FACE) != 0;
  f->ifi = f->record->ifi[vertical ? 1 : 0];

  // The transform: notional (y down) to device (y down).
  double s = static_cast<double>(info->emPixels) / f->record->unitsPerEm;
  double m[4];
  FontMatrix(s, info->escapement, info->mirror, info->shear, m);
  XFORML xf{static_cast<FLOATL>(m[0]), static_cast<FLOATL>(m[1]), static_cast<FLOATL>(m[2]),
            static_cast<FLOATL>(m[3]), 0, 0};
  f->xform = KpEngineCreateXform(&xf);
  // FreeType works y up on both sides: xx = m11, xy = -m21, yx = -m12, yy = m22
  // (per unit of s); simulated italic leans the rendering only.
  double italic = (info->flags & FO_SIM_ITALIC) ? 0x0366A / 65536.0 : 0.0;
  double xx = m[0] / s, xy = -m[2] / s, yx = -m[1] / s, yy = m[3] / s;
  // The oblique shear acts first, in the font's own y-up space: x += italic * y.
  f->matrix = FT_Matrix{Fixed(xx), Fixed(xx * italic + xy), Fixed(yx), Fixed(yx * italic + yy)};
  f->strike = StrikeOf(StrikeKey{f->file->serial(), info->member, info->emPixels, f->matrix.xx, f->matrix.xy,
                                 f->matrix.yx, f->matrix.yy},
                       f->file);
  {
    // Whether FreeType takes the size: tried by the strike's first font object.
    std::lock_guard<std::mutex> g(f->strike->lock);
    if (f->strike->sizeTaken < 0) f->strike->sizeTaken = HaveFace(*f) ? 1 : 0;  // f is this call's alone yet
    if (f->strike->sizeTaken == 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
  }

  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  f->pub.iUniq = ++r.uniq;
  f->pub.iFace = 1;
  f->pub.cxMax = static_cast<ULONG>(std::lround(f->record->maxAdvance * s));
  f->pub.flFontType = FO_TYPE_TRUETYPE | (info->flags & (FO_SIM_BOLD | FO_SIM_ITALIC | FO_VERT_FACE));
  f->pub.iTTUniq = f->pub.iUniq;
  f->pub.iFile = reinterpret_cast<ULONG_PTR>(f.get());
  f->pub.sizLogResPpi = SIZE{600, 600};
  FontObject* raw = f.release();
  r.fonts.emplace(&raw->pub, raw);
  return &raw->pub;
}

KP_API BOOL KpEngineFontFault(FONTOBJ* font, DWORD failFlags, DWORD failGlyphsNth) {
  FontObject* f = fontOf(font);
  if (!f) return FALSE;
  std::lock_guard<std::mutex> g(f->lock);
  f->failFlags = failFlags;
  f->failNth = failGlyphsNth;
  return TRUE;
}

namespace {

// The handle of a character in a device font's glyph set; the default
// character's handle when the set lacks it (0 when that is missing too).
HGLYPH DeviceHandle(const FD_GLYPHSET* set, WCHAR wc, WCHAR fallback, bool again = true) {
  for (ULONG r = 0; r < set->cRuns; ++r) {
    const WCRUN& run = set->awcrun[r];
    if (wc >= run.wcLow && wc < run.wcLow + run.cGlyphs) return run.phg ? run.phg[wc - run.wcLow] : wc;
  }
  return again ? DeviceHandle(set, fallback, fallback, false) : 0;
}

// Positions of a string on a device font: handles through the glyph set,
// advances from the driver's DrvQueryAdvanceWidths along the baseline.
bool DeviceLayout(FontObject& f, const KP_ENGINE_STRING_INFO& info, std::vector<GLYPHPOS>& positions) {
  const bool glyphIndex = (info.flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
  std::vector<HGLYPH> handles(info.count);
  for (ULONG i = 0; i < info.count; ++i)
    handles[i] = glyphIndex ? info.text[i] : DeviceHandle(f.glyphSet, info.text[i], f.deviceIfi->wcDefaultChar);
  std::vector<USHORT> widths(info.count ? info.count : 1);
  if (info.count > 0 &&
      !f.queryWidths(f.dhpdev, &f.pub, QAW_GETWIDTHS, handles.data(), widths.data(), info.count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  XFORML xf{};
  XFORMOBJ_iGetXform(f.xform, &xf);
  const double len = std::hypot(static_cast<double>(xf.eM11), static_cast<double>(xf.eM12));
  const double ux = len > 0 ? xf.eM11 / len : 1.0, uy = len > 0 ? xf.eM12 / len : 0.0;
  double x = 0, y = 0;  // 28.4 as a real, device y down
  for (ULONG i = 0; i < info.count; ++i) {
    GLYPHPOS& p = positions[i];
    p.hg = handles[i];
    p.pgdf = nullptr;
    p.ptl = POINTL{kp_SaturateLong(int64_t{info.origin.x} + std::llround(x / 16.0)),
                   kp_SaturateLong(int64_t{info.origin.y} + std::llround(y / 16.0))};
    x += widths[i] * ux;
    y += widths[i] * uy;
  }
  return true;
}

}  // namespace

KP_API FONTOBJ* KpEngineCreateDeviceFont(const KP_ENGINE_DEVICE_FONT_INFO* info) {
  if (!info || !info->ifi || !info->glyphSet || !info->queryWidths || info->emPixels <= 0 ||
      info->ifi->fwdUnitsPerEm <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_unique<FontObject>();
  f->device = true;
  f->deviceIfi = info->ifi;
  f->glyphSet = info->glyphSet;
  f->dhpdev = info->dhpdev;
  f->queryWidths = info->queryWidths;
  f->em = info->emPixels;
  double s = static_cast<double>(info->emPixels) / info->ifi->fwdUnitsPerEm;
  double m[4];
  FontMatrix(s, info->escapement, info->mirror, info->shear, m);
  XFORML xf{static_cast<FLOATL>(m[0]), static_cast<FLOATL>(m[1]), static_cast<FLOATL>(m[2]),
            static_cast<FLOATL>(m[3]), 0, 0};
  f->xform = KpEngineCreateXform(&xf);
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  f->pub.iUniq = ++r.uniq;
  f->pub.iFace = info->iFace;
  f->pub.cxMax = static_cast<ULONG>(std::lround(info->ifi->fwdMaxCharInc * s));
  f->pub.flFontType = FO_TYPE_DEVICE | (info->flags & (FO_SIM_BOLD | FO_SIM_ITALIC));
  f->pub.iTTUniq = 0;
  f->pub.iFile = 0;
  f->pub.sizLogResPpi = SIZE{600, 600};
  FontObject* raw = f.release();
  r.fonts.emplace(&raw->pub, raw);
  return &raw->pub;
}

KP_API STROBJ* KpEngineCreateString(const KP_ENGINE_STRING_INFO* info) {
  FontObject* f = info ? fontOf(info->font) : nullptr;
  if (!f || (info->count > 0 && !info->text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto str = std::make_unique<StringObject>();
  str->font = f;
  str->text.assign(info->text, info->text + info->count);
  str->batch = info->batch;
  str->positions.resize(info->count);
  if (f->device) {
    if (!DeviceLayout(*f, *info, str->positions)) return nullptr;
  } else {
    std::lock_guard<std::mutex> g(f->lock);
    bool glyphIndex = (info->flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
    FT_Pos x = 0, y = 0;  // 26.6, y up
    for (ULONG i = 0; i < info->count; ++i) {
      HGLYPH hg = glyphIndex ? info->text[i] : CharIndex(*f, info->text[i]);
      GLYPHPOS& p = str->positions[i];
      p.hg = hg;
      p.ptl = POINTL{info->origin.x + static_cast<LONG>((x + 32) >> 6), info->origin.y - static_cast<LONG>((y + 32) >> 6)};
      FT_Vector advance{};
      if (info->glyphMode == FO_GLYPHBITS) {  // the glyph's load tells its advance too
        GlyphEntry* e = Glyph(*f, hg);
        if (!e) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return nullptr;
        }
        advance = e->advance;
        p.pgdf = &e->data.gdf;
      } else if (!Advance(*f, hg, &advance)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      x += advance.x;
      y += advance.y;
    }
  }
  str->pub.cGlyphs = info->count;
  str->pub.flAccel = info->flAccel;
  LONG escapementFree = 0;
  {
    XFORML xf{};
    XFORMOBJ_iGetXform(f->xform, &xf);
    escapementFree = (xf.eM12 == 0 && xf.eM11 != 0) ? 1 : 0;
  }
  if (escapementFree) str->pub.flAccel |= SO_HORIZONTAL;
  str->pub.ulCharInc = info->charInc;
  str->pub.pgp = info->withPositions ? str->positions.data() : nullptr;
  str->pub.pwszOrg = str->text.data();
  if (!str->positions.empty()) {
    LONG left = str->positions.front().ptl.x, right = str->positions.back().ptl.x;
    str->pub.rclBkGround = RECTL{std::min(left, right), info->origin.y - f->em, std::max(left, right) + f->em,
                                 info->origin.y + f->em / 4};
  }
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  StringObject* raw = str.release();
  r.strings.emplace(&raw->pub, raw);
  return &raw->pub;
}

KP_API IFIMETRICS* WINAPI FONTOBJ_pifi(FONTOBJ* pfo) {
  FontObject* f = fontOf(pfo);
  if (!f || (f->failFlags & KP_FONT_FAIL_PIFI)) return nullptr;
  if (f->device) return f->deviceIfi;
  return reinterpret_cast<IFIMETRICS*>(f->ifi.data());
}

KP_API XFORMOBJ* WINAPI FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
  FontObject* f = fontOf(pfo);
  if (!f || (f->failFlags & KP_FONT_FAIL_XFORM)) return nullptr;
  return f->xform;
}

KP_API PVOID WINAPI FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
  FontObject* f = fontOf(pfo);
  if (!f || !f->file || (f->failFlags & KP_FONT_FAIL_FILE) || f->file->size() > 0xFFFFFFFFu) {
    if (pcjFile) *pcjFile = 0;
    return nullptr;
  }
  if (pcjFile) *pcjFile = static_cast<ULONG>(f->file->size());
  return const_cast<unsigned char*>(f->file->data());
}

KP_API ULONG WINAPI FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph) {
  FontObject* f = fontOf(pfo);
  if (!f || f->device || iMode != FO_GLYPHBITS || cGlyph == 0 || !phg || !ppvGlyph) return 0;
  std::lock_guard<std::mutex> g(f->lock);
  if (f->failNth > 0 && --f->failNth == 0) return 0;
  GlyphEntry* e = Glyph(*f, phg[0]);
  if (!e) return 0;
  *ppvGlyph = &e->data;
  return 1;
}

KP_API VOID WINAPI STROBJ_vEnumStart(STROBJ* pstro) {
  if (StringObject* s = stringOf(pstro)) s->next = 0;
}

KP_API BOOL WINAPI STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
  if (pc) *pc = 0;
  if (ppgpos) *ppgpos = nullptr;
  StringObject* s = stringOf(pstro);
  if (!s || !pc || !ppgpos || s->next >= s->positions.size()) return FALSE;
  size_t left = s->positions.size() - s->next;
  size_t n = s->batch == 0 || s->batch > left ? left : s->batch;
  *ppgpos = s->positions.data() + s->next;
  *pc = static_cast<ULONG>(n);
  s->next += n;
  return s->next < s->positions.size();
}
