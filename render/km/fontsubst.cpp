// Font substitution and scoring (fontsubst.h).
#include "fontsubst.h"

#include <atomic>
#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/ttsubst.h"
#include "kplatform/wide_text.h"

namespace {

// ---- The alias sets ------------------------------------------------------------------------
// Each group ends with an empty entry (null here).
using Group = const char16_t* const*;

// Ryobi set, groups 1-15.
constexpr const char16_t* kG1[] = {u"Zan リョービ 本明朝-L", u"平成明朝", u"ＭＳ 明朝", nullptr};
constexpr const char16_t* kG2[] = {u"Zan リョービ P本明朝-L", u"ＭＳ Ｐ明朝", nullptr};
constexpr const char16_t* kG3[] = {u"@Zan リョービ 本明朝-L", u"@平成明朝", u"@ＭＳ 明朝", nullptr};
constexpr const char16_t* kG4[] = {u"@Zan リョービ P本明朝-L", u"@ＭＳ Ｐ明朝", nullptr};
constexpr const char16_t* kG5[] = {u"Zan リョービ ゴシック-B", u"平成角ゴシック", u"ＭＳ ゴシック", nullptr};
constexpr const char16_t* kG6[] = {u"Zan リョービ Pゴシック-B", u"ＭＳ Ｐゴシック", nullptr};
constexpr const char16_t* kG7[] = {u"@Zan リョービ ゴシック-B", u"@平成角ゴシック", u"@ＭＳ ゴシック", nullptr};
constexpr const char16_t* kG8[] = {u"@Zan リョービ Pゴシック-B", u"@ＭＳ Ｐゴシック", nullptr};
constexpr const char16_t* kG9[] = {u"Arial", u"CS Triumvirate", u"Helv", u"Helvetica", u"Swiss", nullptr};
constexpr const char16_t* kG10[] = {u"Courier New", u"CS Courier", u"Courier", nullptr};
constexpr const char16_t* kG11[] = {u"Times New Roman", u"CS Times Roman", u"Tms Rmn",   u"Times Roman",
                                    u"TimesRoman",      u"Times",          u"TmsRmn",    u"Varitimes",
                                    u"Dutch",           u"TimesNewRomanPS", nullptr};
constexpr const char16_t* kG12[] = {u"Bookman Old Style", u"ITC Bookman", u"Bookman", nullptr};
constexpr const char16_t* kG13[] = {u"Century", u"Classic", nullptr};
constexpr const char16_t* kG14[] = {u"Century Schoolbook", u"NewCenturySchlbk", u"NewCenturySchoolBook",
                                    u"New Century SchoolBook", u"CenturySchoolBook", nullptr};
constexpr const char16_t* kG15[] = {u"Book Antiqua",     u"Modern", u"Bookman Antiqua", u"Zapf Calligraphic",
                                    u"ZapfCalligraphic", u"Paratino", nullptr};

constexpr Group szAliasTblRyobi[] = {kG1, kG2, kG3, kG4, kG5, kG6, kG7, kG8, kG9, kG10, kG11, kG12, kG13, kG14, kG15};
constexpr Group szAliasTblHeisei[] = {kG1, kG3, kG5, kG7, kG9, kG10, kG11};
constexpr Group szAliasTblPCL[] = {kG9, kG10, kG11};

// The set in force (szAliasTbl) and its group count (ALIAS_GROUP_NUM): the
// Ryobi set before any choice. Every job start selects a set, and PDEVs of
// several threads start jobs, so the choice is one atomic word.
std::atomic<int> gAliasSet{FONTSET_RYOBI};

struct AliasSet {
  const Group* table;
  DWORD groups;
};
AliasSet CurrentSet() {
  switch (gAliasSet.load(std::memory_order_relaxed)) {
    case FONTSET_HEISEI: return {szAliasTblHeisei, 7};
    case FONTSET_PCL: return {szAliasTblPCL, 3};
    default: return {szAliasTblRyobi, 15};
  }
}

// The candidates' scores: a local array up to SUBST_LOCAL_SCORES, else
// allocated.
struct Scores {
  BYTE local[SUBST_LOCAL_SCORES];
  BYTE* p = nullptr;
  bool allocated = false;
  bool Init(DWORD n) {
    if (n <= SUBST_LOCAL_SCORES) {
      std::memset(local, 0, sizeof local);
      p = local;
      return true;
    }
    p = static_cast<BYTE*>(kcore_Alloc(n));
    allocated = p != nullptr;
    return allocated;
  }
  ~Scores() {
    if (allocated) kcore_Free(p);
  }
};

// Adds to the candidates whose score equals the best at the step's start,
// then raises the best to the largest score.
template <typename F>
void Step(DWORD n, BYTE* scores, BYTE* best, F score) {
  const BYTE start = *best;
  for (DWORD i = 0; i < n; ++i)
    if (scores[i] == start) scores[i] = static_cast<BYTE>(scores[i] + score(i));
  for (DWORD i = 0; i < n; ++i)
    if (scores[i] > *best) *best = scores[i];
}

DWORD Winner(DWORD n, const BYTE* scores, BYTE best) {
  for (DWORD i = 0; i < n; ++i)
    if (scores[i] == best) return i;
  return 0;
}

WCHAR Lower(WCHAR c) { return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c - u'A' + u'a') : c; }

bool EqualNoCase(LPCWSTR a, LPCWSTR b) {
  for (; *a && *b; ++a, ++b)
    if (Lower(*a) != Lower(*b)) return false;
  return *a == *b;
}

bool Vertical(LPCWSTR s) { return s && s[0] == u'@'; }

}  // namespace

int compareLimitStringL(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return 1;
  size_t la = kp_WideLength(a), lb = kp_WideLength(b);
  size_t n = la < lb ? la : lb;
  for (size_t i = 0; i < n; ++i)
    if (Lower(a[i]) != Lower(b[i])) return Lower(a[i]) < Lower(b[i]) ? -1 : 1;
  return 0;
}

int aliasTableFuncs(int mode, DWORD* count) {
  if (mode != 1 || !count) return 0;
  *count = CurrentSet().groups;
  return 1;
}

int aliasTableFuncs(int mode, DWORD group, DWORD index, LPWSTR* copy) {
  const AliasSet set = CurrentSet();
  if (mode != 2 || !copy || group >= set.groups) return 0;
  *copy = nullptr;
  Group g = set.table[group];
  for (DWORD i = 0; i < index; ++i)
    if (!g[i]) return 1;  // past the group's end
  const char16_t* name = g[index];
  if (!name) return 1;
  size_t len = kp_WideLength(name);
  auto* out = static_cast<LPWSTR>(kcore_Alloc((len + 1) * sizeof(WCHAR)));
  if (!out) return 0;
  std::memcpy(out, name, (len + 1) * sizeof(WCHAR));
  *copy = out;
  return 1;
}

int common_set_Fontset(int set) {
  if (set != FONTSET_HEISEI && set != FONTSET_RYOBI && set != FONTSET_PCL) return 0;
  gAliasSet.store(set, std::memory_order_relaxed);
  return 1;
}

DWORD aliasGroupOf(LPCWSTR faceName) {
  const AliasSet set = CurrentSet();
  for (DWORD g = 0; g < set.groups; ++g)
    for (Group names = set.table[g]; *names; ++names)
      if (compareLimitStringL(*names, faceName) == 0) return g;
  return set.groups;
}

int aliasFace(LPCWSTR name, DWORD group) {
  if (group >= CurrentSet().groups) return 0;
  for (DWORD i = 0;; ++i) {
    LPWSTR copy = nullptr;
    if (!aliasTableFuncs(2, group, i, &copy)) return -1;
    if (!copy) return 0;
    bool match = compareLimitStringL(name, copy) == 0;
    kcore_Free(copy);
    if (match) return 1;
  }
}

BYTE scoreCharset(BYTE candidate, BYTE requested) { return candidate == requested ? 16 : 0; }

BYTE scoreNearCharset(BYTE candidate, BYTE requested) {
  if (candidate <= SYMBOL_CHARSET && requested <= SYMBOL_CHARSET) return 16;
  if (candidate > SYMBOL_CHARSET && requested > SYMBOL_CHARSET) return scoreCharset(candidate, requested);
  return 0;
}

int scoreNames(LPCWSTR candidate, LPCWSTR requested, DWORD group) {
  if (!candidate || !requested || !candidate[0] || !requested[0]) return 0;
  if (Vertical(candidate) != Vertical(requested)) return 0;
  int alias = aliasFace(candidate, group);
  if (alias < 0) return -1;
  if (alias) return 2;
  return EqualNoCase(candidate, requested) ? 4 : 1;
}

BYTE scorePAndF(LPCWSTR requestedFace, BYTE candidate, BYTE requested) {
  BYTE s = 0;
  const BYTE pitch = requested & 3;
  if (((candidate & 0x1) && pitch == VARIABLE_PITCH) || (!(candidate & 0x1) && pitch == FIXED_PITCH)) s += 16;
  if ((candidate & 0xF0) == (requested & 0xF0)) s += 8;
  if ((requested & 0xF0) == FF_SWISS && requestedFace) {
    static constexpr const char16_t* kRomanLike[] = {u"Century", u"Century Gothic", u"Colonna MT", u"Footlight MT Light",
                                                     u"Garamond"};
    static constexpr const char16_t* kModernLike[] = {u"Arial", u"Arial Black", u"Arial Narrow",
                                                      u"Arial Rounded MT Bold", u"Kino MT"};
    if ((candidate & 0xF0) == FF_ROMAN)
      for (const char16_t* n : kRomanLike)
        if (EqualNoCase(requestedFace, n)) s += 4;
    if ((candidate & 0xF0) == FF_MODERN)
      for (const char16_t* n : kModernLike)
        if (EqualNoCase(requestedFace, n)) s += 4;
  }
  return s;
}

BYTE scoreIAndB(WORD candidateWeight, WORD requestedWeight, BOOL candidateItalic, BOOL requestedItalic) {
  int s = 0;
  if (!candidateItalic == !requestedItalic) s = 57;
  else if (requestedItalic) s = 45;
  if (candidateWeight <= requestedWeight) s += 30;
  int diff = static_cast<int>(candidateWeight) - static_cast<int>(requestedWeight);
  s -= (diff < 0 ? -diff : diff) / 100;
  s += 10;
  return static_cast<BYTE>(s);
}

// ---- Steps ---------------------------------------------------------------------------------------

int scoreSubstFonts(LPCWSTR substituteName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores,
                    BYTE* best) {
  if (!substituteName || !ifi || !c || !scores || !best) return 0;
  Step(n, scores, best, [&](DWORD i) -> BYTE { return kp_WideEqual(c[i].faceName, substituteName) ? 2 : 0; });
  return 1;
}

int scoreSameCharsetFonts(const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores, BYTE* best) {
  if (!ifi || !c || !scores || !best) return 0;
  Step(n, scores, best, [&](DWORD i) { return scoreCharset(c[i].charSet, ifi->jWinCharSet); });
  return 1;
}

int scoreNearCharsetFonts(const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores, BYTE* best) {
  if (!ifi || !c || !scores || !best) return 0;
  Step(n, scores, best, [&](DWORD i) { return scoreNearCharset(c[i].charSet, ifi->jWinCharSet); });
  return 1;
}

int scoreFaceName(LPCWSTR faceName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores, BYTE* best) {
  if (!faceName || !ifi || !c || !scores || !best) return 0;
  const DWORD group = aliasGroupOf(faceName);
  bool failed = false;
  Step(n, scores, best, [&](DWORD i) -> BYTE {
    int s = scoreNames(c[i].faceName, faceName, group);
    if (s < 0) failed = true;
    return static_cast<BYTE>(s < 0 ? 0 : s);
  });
  return failed ? 0 : 1;
}

int scorePitchAndFamily(LPCWSTR faceName, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores,
                        BYTE* best) {
  if (!ifi || !c || !scores || !best) return 0;
  Step(n, scores, best, [&](DWORD i) { return scorePAndF(faceName, c[i].pitchAndFamily, ifi->jWinPitchAndFamily); });
  return 1;
}

int scoreItalicsAndBold(FONTOBJ* font, const IFIMETRICS* ifi, DWORD n, const DEVFONTINFO* c, BYTE* scores, BYTE* best) {
  if (!font || !ifi || !c || !scores || !best) return 0;
  const BOOL italic = (font->flFontType & FO_SIM_ITALIC) || (ifi->fsSelection & FM_SEL_ITALIC);
  Step(n, scores, best, [&](DWORD i) { return scoreIAndB(c[i].weight, ifi->usWinWeight, c[i].italic, italic); });
  return 1;
}

// ---- Selection ------------------------------------------------------------------------------------

int common_selectSubstFont(LPWSTR* tableSlot, FONTOBJ* font, LPCWSTR faceName, HANDLE printer, const BYTE* devmode,
                           DWORD n, const DEVFONTINFO* candidates, DWORD* index) {
  if (!tableSlot || !font || !index || (n > 0 && !candidates)) return SUBST_FAILED;
  (void)devmode;
  if (n == 0 || !faceName || !faceName[0]) return SUBST_NONE;
  const IFIMETRICS* ifi = FONTOBJ_pifi(font);
  if (!ifi) return SUBST_NOMETRICS;
  if (!*tableSlot) {
    *tableSlot = ttsb_CurrentTrueTypeSubstTable(printer, 0, nullptr);
    if (!*tableSlot) return SUBST_FAILED;
  }
  LPCWSTR substitute = ttsb_FindTrueTypeSubstTable(*tableSlot, faceName);
  if (!substitute || !substitute[0]) return SUBST_NONE;
  Scores s;
  if (!s.Init(n)) return SUBST_NOMEMORY;
  BYTE best = 0;
  if (!scoreSubstFonts(substitute, ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  if (best == 0) return SUBST_NONE;
  const BYTE before = best;
  if (!scoreNearCharsetFonts(ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  if (best == before) return SUBST_NONE;
  if (!scoreItalicsAndBold(font, ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  *index = Winner(n, s.p, best);
  return SUBST_FOUND;
}

int common_selectDevFont(LPWSTR* tableSlot, FONTOBJ* font, LPCWSTR faceName, HANDLE printer, const BYTE* devmode,
                         DWORD n, const DEVFONTINFO* candidates, DWORD* index) {
  if (!tableSlot || !font || !index || n == 0 || !candidates) return SUBST_FAILED;
  int r = common_selectSubstFont(tableSlot, font, faceName, printer, devmode, n, candidates, index);
  if (r == SUBST_FOUND) return r;
  const IFIMETRICS* ifi = FONTOBJ_pifi(font);
  if (!ifi) return SUBST_NOMETRICS;
  Scores s;
  if (!s.Init(n)) return SUBST_NOMEMORY;
  BYTE best = 0;
  if (!scoreSameCharsetFonts(ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  bool skipPitch = false;
  if (faceName && faceName[0]) {
    const BYTE before = best;
    if (!scoreFaceName(faceName, ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
    skipPitch = best - before >= 2;
  }
  if (!skipPitch && !scorePitchAndFamily(faceName, ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  if (!scoreItalicsAndBold(font, ifi, n, candidates, s.p, &best)) return SUBST_FAILED;
  *index = Winner(n, s.p, best);
  return SUBST_FOUND;
}
