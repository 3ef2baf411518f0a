// EngComputeGlyphSet: the glyph set of a range of byte values in a code page
// (kplatform/engine_devfont.h).
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "engine/engine_state.h"
#include "kplatform/engine.h"
#include "kplatform/kernel32_codepage.h"

namespace {
constexpr ULONG kGlyphSetTag = 0x73796C47;  // "Glys"
}  // namespace

KP_API FD_GLYPHSET* WINAPI EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars) {
  if (nFirstChar < 0 || cChars <= 0 || nFirstChar + cChars > 256) return nullptr;
  const UINT cp = nCodePage == 0 ? GetACP() : static_cast<UINT>(nCodePage);
  if (!IsValidCodePage(cp)) return nullptr;
  struct Entry {
    WCHAR wc;
    HGLYPH hg;
  };
  std::vector<Entry> entries;
  for (INT b = nFirstChar; b < nFirstChar + cChars; ++b) {
    char c = static_cast<char>(b);
    WCHAR w[2] = {};
    if (MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &c, 1, w, 2) != 1) continue;  // a lead byte, or unmapped
    entries.push_back({w[0], static_cast<HGLYPH>(b)});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.wc < b.wc; });
  // A character two bytes map to keeps the first byte.
  entries.erase(std::unique(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.wc == b.wc; }),
                entries.end());
  ULONG runs = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    if (i == 0 || entries[i].wc != entries[i - 1].wc + 1) ++runs;
  const size_t head = offsetof(FD_GLYPHSET, awcrun) + (runs ? runs : 1) * sizeof(WCRUN);
  const size_t bytes = head + entries.size() * sizeof(HGLYPH);
  auto* set = static_cast<FD_GLYPHSET*>(EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), kGlyphSetTag));
  if (!set) return nullptr;
  set->cjThis = static_cast<ULONG>(bytes);
  set->flAccel = GS_8BIT_HANDLES;
  set->cGlyphsSupported = static_cast<ULONG>(entries.size());
  set->cRuns = runs;
  auto* handles = reinterpret_cast<HGLYPH*>(reinterpret_cast<BYTE*>(set) + head);
  ULONG r = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i == 0 || entries[i].wc != entries[i - 1].wc + 1) {
      set->awcrun[r].wcLow = entries[i].wc;
      set->awcrun[r].cGlyphs = 0;
      set->awcrun[r].phg = handles + i;
      ++r;
    }
    ++set->awcrun[r - 1].cGlyphs;
    handles[i] = entries[i].hg;
  }
  return set;
}
