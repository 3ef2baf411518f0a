// The fonts the stamp editor offers: only TrueType families, with every face
// of each.
#pragma once

#include "kestrel/core/devmode.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/wintypes.h"

struct UIFONTINFO {
  DWORD count;
  LOGFONTW* fonts;  // count faces, families in the order they were offered
  HDC dc;           // the context the fonts were enumerated on
};

// Passes a family on to the enumeration of its faces only when its font
// type has the TrueType bit; param is the UIFONTINFO being filled. Answers
// 0 (stop) when memory runs out.
int CALLBACK uiEnumFontFamilyProc(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM param);
// A new list (uiFreeFontInfo); null when memory is short.
UIFONTINFO* uiCreateFontInfo(HDC dc);
void uiFreeFontInfo(UIFONTINFO* info);
