// The TrueType font list of the stamp editor (see kestrel/ui/uifont.h).
#include "kestrel/ui/uifont.h"

#include <cstring>

#include "kplatform/kernel32_memory.h"

namespace {

// Adds one face to the list.
int CALLBACK AddFace(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM param) {
  (void)metrics;
  auto* info = reinterpret_cast<UIFONTINFO*>(param);
  if (!(fontType & TRUETYPE_FONTTYPE)) return 1;
  auto* grown = static_cast<LOGFONTW*>(GlobalAlloc(GPTR, (info->count + 1) * sizeof(LOGFONTW)));
  if (!grown) return 0;
  if (info->count) std::memcpy(grown, info->fonts, info->count * sizeof(LOGFONTW));
  std::memcpy(&grown[info->count], font, sizeof(LOGFONTW));
  if (info->fonts) GlobalFree(info->fonts);
  info->fonts = grown;
  ++info->count;
  return 1;
}

}  // namespace

int CALLBACK uiEnumFontFamilyProc(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM param) {
  (void)metrics;
  auto* info = reinterpret_cast<UIFONTINFO*>(param);
  if (!info || !font) return 0;
  if (!(fontType & TRUETYPE_FONTTYPE)) return 1;
  LOGFONTW filter = {};
  filter.lfCharSet = DEFAULT_CHARSET;
  std::memcpy(filter.lfFaceName, font->lfFaceName, sizeof(filter.lfFaceName));
  // 0 only when a face could not be added (memory).
  return EnumFontFamiliesExW(info->dc, &filter, AddFace, param, 0) == 0 ? 0 : 1;
}

UIFONTINFO* uiCreateFontInfo(HDC dc) {
  auto* info = static_cast<UIFONTINFO*>(GlobalAlloc(GPTR, sizeof(UIFONTINFO)));
  if (!info) return nullptr;
  info->dc = dc;
  LOGFONTW all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  if (EnumFontFamiliesExW(dc, &all, uiEnumFontFamilyProc, reinterpret_cast<LPARAM>(info), 0) == 0) {
    uiFreeFontInfo(info);
    return nullptr;
  }
  return info;
}

void uiFreeFontInfo(UIFONTINFO* info) {
  if (!info) return;
  if (info->fonts) GlobalFree(info->fonts);
  GlobalFree(info);
}
