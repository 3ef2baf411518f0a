// The font families of the font folder: the faces of the process's font
// catalogue (see kplatform/gdi32_fonts.h).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gdi32/font_catalogue.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/kernel32_string.h"

namespace {

constexpr size_t kLogFontSize = 92;
constexpr size_t kFaceOffset = 28;
constexpr size_t kFaceChars = 32;
constexpr size_t kEnumSize = kLogFontSize + (LF_FULLFACESIZE + 32 + 32) * 2;

using Face = kp::ft::CatalogueFace;

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
  if (charset != DEFAULT_CHARSET && charset != ANSI_CHARSET) return 1;
  const std::shared_ptr<const kp::ft::Catalogue> catalogue = kp::ft::CurrentCatalogue();
  int last = 1;
  std::vector<std::u16string> seen;
  for (const Face& f : catalogue->faces) {
    if (f.family.empty()) continue;  // a face without a family name is no family's
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
  kp::ft::ChangeFontFolder(hostFolder);
  return TRUE;
}
