// The font families of the font folder, read with FreeType (see
// kplatform/gdi32_fonts.h).
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "gdi32/ft_reader.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/kernel32_string.h"

namespace {

constexpr size_t kLogFontSize = 92;
constexpr size_t kFaceOffset = 28;
constexpr size_t kFaceChars = 32;
constexpr size_t kEnumSize = kLogFontSize + (LF_FULLFACESIZE + 32 + 32) * 2;

struct Face {
  std::u16string family, style;
  DWORD type = 0;
  LONG height = 0, ascent = 0, descent = 0, avgWidth = 0, maxWidth = 0, weight = 400;
  BYTE italic = 0, fixed = 0;
};

using kp::ft::FromUtf8;

bool FontFile(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".ttf" || ext == ".otf" || ext == ".ttc" || ext == ".otc" || ext == ".pfb" || ext == ".bdf" ||
         ext == ".pcf";
}

std::vector<Face> ReadFolder(const std::string& folder) {
  std::vector<Face> faces;
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && FontFile(it->path())) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  kp::ft::Library library;
  if (!library) return faces;
  FT_Library lib = library.get();
  for (const std::string& file : files) {
    FT_Long count = 1;
    for (FT_Long index = 0; index < count; ++index) {
      FT_Face face = nullptr;
      if (FT_New_Face(lib, file.c_str(), index, &face) != 0) break;
      count = face->num_faces;
      Face f;
      f.family = FromUtf8(face->family_name);
      f.style = FromUtf8(face->style_name);
      if (FT_IS_SCALABLE(face)) {
        FT_ULong length = 0;
        bool glyf = FT_IS_SFNT(face) && FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &length) == 0;
        f.type = glyf ? TRUETYPE_FONTTYPE : 0;
        f.height = face->height;
        f.ascent = face->ascender;
        f.descent = -face->descender;
        f.maxWidth = face->max_advance_width;
      } else {
        f.type = RASTER_FONTTYPE;
      }
      f.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) ? 1 : 0;
      f.weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
      f.fixed = FT_IS_FIXED_WIDTH(face) ? 1 : 0;
      if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
        if (os2->usWeightClass) f.weight = os2->usWeightClass;
        f.avgWidth = os2->xAvgCharWidth;
      }
      if (!f.family.empty()) faces.push_back(std::move(f));
      FT_Done_Face(face);
    }
  }
  return faces;
}

void PutName(BYTE* at, const std::u16string& s, size_t chars) {
  size_t n = std::min(s.size(), chars - 1);
  std::memcpy(at, s.data(), n * 2);
}

int Call(const Face& f, FONTENUMPROCW proc, LPARAM param) {
  BYTE buffer[kEnumSize] = {};
  LONG values[5] = {-f.height, 0, 0, 0, f.weight};
  std::memcpy(buffer, values, sizeof(values));
  buffer[20] = f.italic;
  buffer[23] = ANSI_CHARSET;
  buffer[24] = 7;  // OUT_TT_ONLY_PRECIS / stroke output
  buffer[25] = 2;  // CLIP_STROKE_PRECIS
  buffer[26] = 2;  // PROOF_QUALITY
  buffer[27] = f.fixed ? FIXED_PITCH : VARIABLE_PITCH;
  PutName(buffer + kFaceOffset, f.family, kFaceChars);
  std::u16string full = f.family;
  if (f.style != u"Regular" && f.style != u"Book" && !f.style.empty()) full += u" " + f.style;
  PutName(buffer + kLogFontSize, full, LF_FULLFACESIZE);
  PutName(buffer + kLogFontSize + LF_FULLFACESIZE * 2, f.style, 32);
  PutName(buffer + kLogFontSize + (LF_FULLFACESIZE + 32) * 2, u"Western", 32);
  TEXTMETRICW tm = {};
  tm.tmHeight = f.height;
  tm.tmAscent = f.ascent;
  tm.tmDescent = f.descent;
  tm.tmAveCharWidth = f.avgWidth;
  tm.tmMaxCharWidth = f.maxWidth;
  tm.tmWeight = f.weight;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = f.italic;
  tm.tmPitchAndFamily = static_cast<BYTE>((f.fixed ? 0 : TMPF_FIXED_PITCH) | (f.type != RASTER_FONTTYPE ? TMPF_VECTOR : 0) |
                                          (f.type == TRUETYPE_FONTTYPE ? TMPF_TRUETYPE : 0));
  tm.tmCharSet = ANSI_CHARSET;
  return proc(reinterpret_cast<const LOGFONTW*>(buffer), &tm, f.type, param);
}

}  // namespace

KP_API int WINAPI EnumFontFamiliesExW(HDC dc, const LOGFONTW* filter, FONTENUMPROCW proc, LPARAM param,
                                      DWORD flags) {
  (void)dc;
  if (!proc || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BYTE charset = DEFAULT_CHARSET;
  std::u16string wanted;
  if (filter) {
    const auto* bytes = reinterpret_cast<const BYTE*>(filter);
    charset = bytes[23];
    WCHAR face[kFaceChars + 1] = {};
    std::memcpy(face, bytes + kFaceOffset, kFaceChars * 2);
    wanted = face;
  }
  std::string folder = kp::ft::FontFolder();
  if (charset != DEFAULT_CHARSET && charset != ANSI_CHARSET) return 1;
  std::vector<Face> faces = ReadFolder(folder);
  int last = 1;
  std::vector<std::u16string> seen;
  for (const Face& f : faces) {
    if (wanted.empty()) {
      if (std::find(seen.begin(), seen.end(), f.family) != seen.end()) continue;
      seen.push_back(f.family);
    } else if (lstrcmpiW(f.family.c_str(), wanted.c_str()) != 0) {
      continue;
    }
    last = Call(f, proc, param);
    if (last == 0) break;
  }
  return last;
}

KP_API BOOL KpSetFontFolder(const char* hostFolder) {
  kp::ft::SetFontFolder(hostFolder);
  return TRUE;
}
