// The font catalogue's counters, for tests. The platform keeps one font
// catalogue a process (gdi32_fonts.h: the folder is walked once, at the
// first enumeration or text call after KpSetFontFolder, which drops it),
// maps each font file once and shares the mapping, lends FreeType faces out
// and takes them back, and renders a glyph once a face, size and transform.
#pragma once

#include "kplatform/wintypes.h"

// Counted since the process started or KpResetFontCounts:
//  - folderWalks: walks of the font folder;
//  - fileMaps: font files mapped;
//  - filesMappedAgain: mappings of a file mapped before (since the reset);
//  - facesOpened: FreeType faces opened (by the catalogue and the engine's
//    font objects);
//  - glyphsRendered: glyph bitmaps rendered for the engine's font objects.
typedef struct _KP_FONT_COUNTS {
  ULONGLONG folderWalks;
  ULONGLONG fileMaps;
  ULONGLONG filesMappedAgain;
  ULONGLONG facesOpened;
  ULONGLONG glyphsRendered;
} KP_FONT_COUNTS;
KP_API void KpGetFontCounts(KP_FONT_COUNTS* counts);
KP_API void KpResetFontCounts(void);
