// Font substitution: choosing the printer font (an entry of the PDEV's font
// set, devfont.h) that replaces a TrueType font. The substitution table is
// asked first; failing that every printer font is scored on character set,
// face name with alias groups, pitch and family, italic and weight, and the
// best (the first of equals) wins.
//
// Scores are one byte each and the running best is one byte, as the scoring
// has always been: sums past 255 wrap (they cannot with the five steps'
// largest scores, 2 + 16 + 4 + 28 + 97).
#pragma once

#include "devfont.h"

// Results of the selection.
constexpr int SUBST_NONE = 1;       // no substitution
constexpr int SUBST_FOUND = 2;      // found, the index is set
constexpr int SUBST_NOMEMORY = 3;   // out of memory
constexpr int SUBST_NOMETRICS = 4;  // the font has no metrics
constexpr int SUBST_FAILED = 5;     // bad arguments or failure

// Candidates up to this count are scored in a local array.
constexpr DWORD SUBST_LOCAL_SCORES = 80;

// The alias sets.
constexpr int FONTSET_HEISEI = 0;  // 7 groups
constexpr int FONTSET_RYOBI = 1;   // 15 groups, in force before any choice
constexpr int FONTSET_PCL = 2;     // 3 groups, chosen by job control

// 1 for sets 0-2, 0 otherwise (nothing changes).
int common_set_Fontset(int set);

// The table slot caches the loaded substitution table (the PDEV's
// ttSubstTable); `printer` is the spooler's printer handle the table is read
// with when the slot is empty (PDEV::hPrinter). `faceName` is the TrueType face; `devmode` the PDEV's.
int common_selectSubstFont(LPWSTR* tableSlot, FONTOBJ* font, LPCWSTR faceName, HANDLE printer, const BYTE* devmode,
                           DWORD n, const DEVFONTINFO* candidates, DWORD* index);
int common_selectDevFont(LPWSTR* tableSlot, FONTOBJ* font, LPCWSTR faceName, HANDLE printer, const BYTE* devmode,
                         DWORD n, const DEVFONTINFO* candidates, DWORD* index);

// ---- Scoring steps: 1, or 0 for missing arguments -------------------------------------
int scoreSubstFonts(LPCWSTR substituteName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores,
                    BYTE* best);
int scoreSameCharsetFonts(const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores, BYTE* best);
int scoreNearCharsetFonts(const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores, BYTE* best);
// 0 also when an alias name cannot be copied.
int scoreFaceName(LPCWSTR faceName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores,
                  BYTE* best);
int scorePitchAndFamily(LPCWSTR faceName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores,
                        BYTE* best);
int scoreItalicsAndBold(FONTOBJ* font, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* candidates, BYTE* scores,
                        BYTE* best);

// ---- Score functions -----------------------------------------------------------------
BYTE scoreCharset(BYTE candidate, BYTE requested);
BYTE scoreNearCharset(BYTE candidate, BYTE requested);
// -1 (as a byte: 0xFF is never a score) when an alias name cannot be copied.
int scoreNames(LPCWSTR candidate, LPCWSTR requested, DWORD group);
// 1 when the name matches a name of the alias group, 0 otherwise, -1 when a
// name cannot be copied.
int aliasFace(LPCWSTR name, DWORD group);
BYTE scorePAndF(LPCWSTR requestedFace, BYTE candidate, BYTE requested);
BYTE scoreIAndB(WORD candidateWeight, WORD requestedWeight, BOOL candidateItalic, BOOL requestedItalic);

// 0 when the first min(length a, length b) characters are equal ignoring
// case (a prefix counts as equal), else non-zero.
int compareLimitStringL(LPCWSTR a, LPCWSTR b);
// Mode 1: the group count of the set in force into *count; answers 1.
// Mode 2: a fresh copy (kcore_Alloc; kcore_Free) of the index-th name (from
// 0) of the group (from 0) into *copy, null at the group's end; answers 1,
// or 0 when the copy cannot be made (or the group is outside the set).
int aliasTableFuncs(int mode, DWORD* count);
int aliasTableFuncs(int mode, DWORD group, DWORD index, LPWSTR* copy);
// The requested face's alias group (from 0), the group count when none.
DWORD aliasGroupOf(LPCWSTR faceName);
