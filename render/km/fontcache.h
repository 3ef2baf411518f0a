// The font download cache of a PDEV (fontcache.cpp): which fonts the driver
// has downloaded into the printer in the current page and which glyphs each
// holds, so that a font header and a glyph are sent once.
//
// Decisions taken here:
// - An entry keeps the whole font name (up to XL_FONTNAME_MAX - 1 bytes, the
//   writer's limit) and the font kind in a field of its own: the 96-byte
//   field with the kind in its last byte is too short for the renderer's
//   names (94 bytes of face name plus a suffix of up to 30), and a cut name
//   would let two fonts share an entry. A longer name is refused (-1).
// - Entries and separate tables come from engine memory (EngAllocMem).
// - A large entry's capacity is at most 65535 glyphs (character codes are
//   16-bit); xlfont_CheckAndAddGlyphID never takes a glyph past the
//   capacity (-1), and xlfont_CheckOverflow answers 1 for a large entry too
//   when its glyph count plus the run's glyphs would pass its capacity: the
//   font is then removed and downloaded anew with a capacity for the run,
//   as an inline entry is at 1023 glyphs.
// - A glyph that was added but could not be sent is taken back
//   (xlfont_TakeBackGlyph) so cache and printer agree.
// - xlfont_InitCache frees entries a failed xlfont_DeleteCache left (their
//   RemoveFont could not be written) before it empties the head;
//   xlfont_FreeCache frees every entry without writing (FreePdevMemory).
#pragma once

#include "kestrel/render/pdev.h"

constexpr DWORD XLFONT_INLINE_GLYPHS = 1024;
constexpr WORD XLFONT_MAX_INLINE = 1023;   // glyphs an inline entry takes
constexpr DWORD XLFONT_MAX_LARGE = 0xFFFF;  // largest capacity of a large entry
constexpr ULONG XLFONT_TAG = 0x46434B4B;  // "KKCF" pool tag of the cache's blocks

// Font kinds (the text output's run kinds).
enum : BYTE { XLFONT_KIND_DEVICE = 0, XLFONT_KIND_OUTLINE = 1, XLFONT_KIND_BITMAP = 2 };

struct XLFONT_ENTRY {
  XLFONT_ENTRY* next;
  char name[XL_FONTNAME_MAX];  // NUL-terminated
  BYTE kind;
  WORD glyphCount;  // glyphs downloaded; a glyph's character code is its place
  WORD glyphs[XLFONT_INLINE_GLYPHS];
  BOOL large;
  DWORD capacity;  // 1024 inline, else the separate table's entries
  WORD* table;     // the separate table of a large entry (engine memory)
};

// The cache head as the PDEV holds it.
struct XLFONT_CACHE {
  XLFONT_ENTRY** head;
  WORD* count;
};

LONG xlfont_InitCache(PDEV* pdev);
LONG xlfont_DeleteCache(PDEV* pdev);
LONG xlfont_DeleteLastFont(PDEV* pdev);
LONG xlfont_DeleteFont(PDEV* pdev, const char* name);
// found: 1 when the font was listed (now at the head), 0 when added.
LONG xlfont_CheckAndAddFont(PDEV* pdev, BYTE kind, BOOL large, DWORD capacity, const char* name, BOOL* found);
LONG xlfont_CheckOverflow(PDEV* pdev, const char* name, DWORD n);
LONG xlfont_CheckAndAddGlyphID(PDEV* pdev, WORD glyph, WORD* code, const char* name, BOOL* found);
void xlfont_InitXLCGS(PDEV* pdev);

// The font's entry by name (null when not listed); the list is not changed.
XLFONT_ENTRY* xlfont_FindFont(PDEV* pdev, const char* name);
// The glyph's character code in the font when it is there, else -1.
LONG xlfont_FindGlyph(const XLFONT_ENTRY* entry, WORD glyph);
// Takes back the glyph last added to the font (it could not be sent).
void xlfont_TakeBackGlyph(PDEV* pdev, const char* name, WORD code);
// Frees every entry without writing anything.
void xlfont_FreeCache(PDEV* pdev);
