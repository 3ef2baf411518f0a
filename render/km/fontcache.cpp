// The font download cache and its RemoveFont writes (see fontcache.h).
#include "fontcache.h"

#include <cstring>

#include "kplatform/engine.h"

namespace {

size_t NameLength(const char* name) {
  if (!name) return 0;
  size_t n = 0;
  while (n < static_cast<size_t>(XL_FONTNAME_MAX) && name[n] != '\0') ++n;
  return n;
}

bool NameOk(const char* name) {
  size_t n = NameLength(name);
  return n > 0 && n < static_cast<size_t>(XL_FONTNAME_MAX);
}

bool SameName(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

WORD* Table(XLFONT_ENTRY* e) { return e->large ? e->table : e->glyphs; }
const WORD* Table(const XLFONT_ENTRY* e) { return e->large ? e->table : e->glyphs; }

void FreeEntry(XLFONT_ENTRY* e) {
  if (e->table) EngFreeMem(e->table);
  EngFreeMem(e);
}

// Unlinks the entry before `e` points to (prev null: the head).
void Unlink(PDEV* pdev, XLFONT_ENTRY* prev, XLFONT_ENTRY* e) {
  if (prev)
    prev->next = e->next;
  else
    pdev->fontCache = e->next;
  e->next = nullptr;
  if (pdev->fontCacheCount > 0) --pdev->fontCacheCount;
}

void MoveToHead(PDEV* pdev, XLFONT_ENTRY* prev, XLFONT_ENTRY* e) {
  if (!prev) return;
  prev->next = e->next;
  e->next = pdev->fontCache;
  pdev->fontCache = e;
}

}  // namespace

void xlfont_FreeCache(PDEV* pdev) {
  if (!pdev) return;
  XLFONT_ENTRY* e = pdev->fontCache;
  while (e) {
    XLFONT_ENTRY* next = e->next;
    FreeEntry(e);
    e = next;
  }
  pdev->fontCache = nullptr;
  pdev->fontCacheCount = 0;
}

LONG xlfont_InitCache(PDEV* pdev) {
  if (!pdev) return -1;
  xlfont_FreeCache(pdev);
  return 0;
}

void xlfont_InitXLCGS(PDEV* pdev) {
  if (pdev) xl_initfontcgs(&pdev->xl);
}

LONG xlfont_DeleteLastFont(PDEV* pdev) {
  if (!pdev || !pdev->fontCache) return -1;
  XLFONT_ENTRY* prev = nullptr;
  XLFONT_ENTRY* e = pdev->fontCache;
  while (e->next) {
    prev = e;
    e = e->next;
  }
  // The printer drops the font only when RemoveFont is written; a failed
  // write leaves it listed, as the printer still has it.
  if (xl_RemoveFont(&pdev->xl, static_cast<DWORD>(NameLength(e->name)), e->name) != 0) return -1;
  Unlink(pdev, prev, e);
  FreeEntry(e);
  if (!pdev->fontCache) xlfont_InitXLCGS(pdev);
  return 0;
}

LONG xlfont_DeleteCache(PDEV* pdev) {
  if (!pdev) return -1;
  while (pdev->fontCache) {
    if (xlfont_DeleteLastFont(pdev) != 0) return -1;
  }
  return 0;
}

LONG xlfont_DeleteFont(PDEV* pdev, const char* name) {
  if (!pdev || !NameOk(name)) return -1;
  XLFONT_ENTRY* prev = nullptr;
  for (XLFONT_ENTRY* e = pdev->fontCache; e; prev = e, e = e->next) {
    if (!SameName(e->name, name)) continue;
    if (xl_RemoveFont(&pdev->xl, static_cast<DWORD>(NameLength(e->name)), e->name) != 0) return -1;
    Unlink(pdev, prev, e);
    FreeEntry(e);
    return 0;
  }
  return -1;
}

XLFONT_ENTRY* xlfont_FindFont(PDEV* pdev, const char* name) {
  if (!pdev || !NameOk(name)) return nullptr;
  for (XLFONT_ENTRY* e = pdev->fontCache; e; e = e->next)
    if (SameName(e->name, name)) return e;
  return nullptr;
}

LONG xlfont_CheckAndAddFont(PDEV* pdev, BYTE kind, BOOL large, DWORD capacity, const char* name, BOOL* found) {
  if (found) *found = FALSE;
  if (!pdev || !found || !NameOk(name)) return -1;
  XLFONT_ENTRY* prev = nullptr;
  for (XLFONT_ENTRY* e = pdev->fontCache; e; prev = e, e = e->next) {
    if (SameName(e->name, name)) {
      MoveToHead(pdev, prev, e);
      *found = TRUE;
      return 0;
    }
  }
  if (large && (capacity == 0 || capacity > XLFONT_MAX_LARGE)) return -1;
  if (pdev->fontCacheCount == 0xFFFF) return -1;
  auto* e = static_cast<XLFONT_ENTRY*>(EngAllocMem(FL_ZERO_MEMORY, sizeof(XLFONT_ENTRY), XLFONT_TAG));
  if (!e) return -1;
  if (large) {
    e->table = static_cast<WORD*>(EngAllocMem(FL_ZERO_MEMORY, capacity * sizeof(WORD), XLFONT_TAG));
    if (!e->table) {
      EngFreeMem(e);
      return -1;
    }
  }
  std::memcpy(e->name, name, NameLength(name));
  e->kind = kind;
  e->large = large ? TRUE : FALSE;
  e->capacity = large ? capacity : XLFONT_INLINE_GLYPHS;
  e->next = pdev->fontCache;
  pdev->fontCache = e;
  ++pdev->fontCacheCount;
  return 0;
}

LONG xlfont_CheckOverflow(PDEV* pdev, const char* name, DWORD n) {
  XLFONT_ENTRY* e = xlfont_FindFont(pdev, name);
  if (!e) return 0;
  if (!e->large) return static_cast<DWORD>(e->glyphCount) + n > XLFONT_MAX_INLINE ? 1 : 0;
  return static_cast<DWORD>(e->glyphCount) + n > e->capacity ? 1 : 0;
}

LONG xlfont_FindGlyph(const XLFONT_ENTRY* e, WORD glyph) {
  if (!e) return -1;
  const WORD* t = Table(e);
  for (DWORD i = 0; i < e->glyphCount; ++i)
    if (t[i] == glyph) return static_cast<LONG>(i);
  return -1;
}

LONG xlfont_CheckAndAddGlyphID(PDEV* pdev, WORD glyph, WORD* code, const char* name, BOOL* found) {
  if (code) *code = 0;
  if (found) *found = FALSE;
  if (!pdev || !code || !found || !pdev->fontCache) return -1;
  XLFONT_ENTRY* e = xlfont_FindFont(pdev, name);
  if (!e) return -1;
  LONG at = xlfont_FindGlyph(e, glyph);
  if (at >= 0) {
    *code = static_cast<WORD>(at);
    *found = TRUE;
    return 0;
  }
  DWORD limit = e->large ? e->capacity : XLFONT_MAX_INLINE;
  if (e->glyphCount >= limit) return -1;
  Table(e)[e->glyphCount] = glyph;
  *code = e->glyphCount;
  ++e->glyphCount;
  return 0;
}

void xlfont_TakeBackGlyph(PDEV* pdev, const char* name, WORD code) {
  XLFONT_ENTRY* e = xlfont_FindFont(pdev, name);
  if (e && e->glyphCount > 0 && code == e->glyphCount - 1) --e->glyphCount;
}
