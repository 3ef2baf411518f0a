// Text output: DrvTextOut and its run of glyphs (textout.h has the
// decisions). A run is printed with a device font (kind 0: no download, the
// codes are the converted text), or with the TrueType font downloaded as
// outlines (kind 1) or as bitmaps (kind 2); the font and its missing glyphs
// go out through the download (ttdl.cpp), then the character state and the
// Text operator.
//
// Sound behaviour where the plain reading would go wrong (tested):
// - Spacing steps and the run's length never wrap: a step outside sint16
//   or a run of more than 65535 glyphs splits the Text with a new SetCursor.
// - A device face index outside the PDEV's device fonts fails the run.
// - The face name is read only inside the metrics record (cjThis).
// - RadToDeg rounds to the nearest degree instead of taking the integer
//   part, which made text turned by 45 degrees print at 44 with a shear.
// - The run's code array is sized in 64 bits; a count it cannot hold fails.
#include "textout.h"

#include <cstdio>
#include <cstring>

#include "fontcache.h"
#include "fontsubst.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/strconv.h"

namespace {

// ---- single-float constants of the floating-value routines --------------------------
float Single(DWORD bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
DWORD Bits(float f) {
  DWORD bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}
constexpr DWORD kPiBits = 0x40490FD8;       // pi as a single
constexpr DWORD kTwoBits = 0x40000000;      // 2.0
constexpr DWORD kItalicBits = 0x3EA1E4F7;   // 0.3162: the shear of simulated italic
constexpr DWORD kBoldBits = 0x3C75C28F;     // 0.015: the bold value of simulated bold
FLOATOBJ Fo(double v) { return FLOATOBJ{v}; }
FLOATOBJ Pi() { return Fo(Single(kPiBits)); }
FLOATOBJ Two() { return Fo(Single(kTwoBits)); }

FLOATOBJ Mul(FLOATOBJ a, FLOATOBJ b) {
  FLOATOBJ_Mul(&a, &b);
  return a;
}
FLOATOBJ Div(FLOATOBJ a, FLOATOBJ b) {
  FLOATOBJ_Div(&a, &b);
  return a;
}
FLOATOBJ Add(FLOATOBJ a, FLOATOBJ b) {
  FLOATOBJ_Add(&a, &b);
  return a;
}
FLOATOBJ Sub(FLOATOBJ a, FLOATOBJ b) {
  FLOATOBJ_Sub(&a, &b);
  return a;
}
FLOATOBJ Neg(FLOATOBJ a) {
  FLOATOBJ_Neg(&a);
  return a;
}
bool IsZero(FLOATOBJ a) { return FLOATOBJ_EqualLong(&a, 0) != FALSE; }
bool Less(FLOATOBJ a, FLOATOBJ b) { return FLOATOBJ_LessThan(&a, &b) != FALSE; }
bool Greater(FLOATOBJ a, FLOATOBJ b) { return FLOATOBJ_GreaterThan(&a, &b) != FALSE; }
float Fl(const FLOATOBJ& a) { return FLOATOBJ_GetFloat(&a); }

// ---- small helpers ------------------------------------------------------------------
LONG Setting(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}
// DDM 17 as the run reads it. A devmode stored before the defaults derived
// it from DDM 292 holds 0, which no check accepts and no user chose: such a
// value is derived here, in the PDEV's devmode, as the defaults derive it.
LONG TTOption(PDEV* pdev) {
  const LONG v = Setting(pdev, DDM_TTOPTION);
  if (v >= DMTT_BITMAP && v <= DMTT_DOWNLOAD_OUTLINE) return v;
  if (!cdmConvertTTOptionAndFontType(pdev->devmode, pdev->printerData, DDM_TRUETYPE)) return v;
  return Setting(pdev, DDM_TTOPTION);
}
bool StampTransparent(PDEV* pdev) { return jobCtrl_isStampDrawMode(pdev) && jobCtrl_isStampTransparency(pdev); }
bool IsTrueType(const FONTOBJ* pfo) { return (pfo->flFontType & FO_TYPE_TRUETYPE) != 0; }

// The face name inside the metrics record; null when its offset or its end
// lies outside cjThis.
LPCWSTR FaceName(const IFIMETRICS* ifi, ULONG* chars) {
  *chars = 0;
  if (!ifi || ifi->dpwszFaceName < static_cast<PTRDIFF>(sizeof(IFIMETRICS)) ||
      static_cast<uint64_t>(ifi->dpwszFaceName) >= ifi->cjThis)
    return nullptr;
  const BYTE* base = reinterpret_cast<const BYTE*>(ifi);
  const uint64_t room = (ifi->cjThis - static_cast<uint64_t>(ifi->dpwszFaceName)) / sizeof(WCHAR);
  const BYTE* at = base + ifi->dpwszFaceName;
  for (uint64_t i = 0; i < room; ++i) {
    WCHAR c;
    std::memcpy(&c, at + i * sizeof(WCHAR), sizeof c);
    if (c == 0) {
      *chars = static_cast<ULONG>(i);
      return reinterpret_cast<LPCWSTR>(at);
    }
  }
  return nullptr;
}

// A filled rectangle list's operators: brush kind 2, eRGB graphics, null
// pen, even-odd fill.
// The brush of a filled rectangle: kind KM_KIND_BRUSH, or -KM_KIND_BRUSH for
// the second (colour) pass of a transparent stamp.
bool FillSetup(PDEV* pdev, BRUSHOBJ* pbo, POINTL* org, MIX mix, LONG kind = KM_KIND_BRUSH) {
  return SetObjectColor(pdev, kind, org, pbo, MixToRop4(mix)) &&
         kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS)) &&
         kmWritten(xl_setpensource_null(&pdev->xl)) && kmWritten(xl_setfillmode(&pdev->xl, KM_XL_EVENODD));
}
RECT Normalised(const RECTL& r) {
  return RECT{r.left < r.right ? r.left : r.right, r.top < r.bottom ? r.top : r.bottom,
              r.left < r.right ? r.right : r.left, r.top < r.bottom ? r.bottom : r.top};
}

// A failed download step: the write fault unless a more precise error was
// set while it ran.
LONG DownloadFailed() {
  if (EngGetLastError() == 0) EngSetLastError(ERROR_WRITE_FAULT);
  return -1;
}

}  // namespace

// ---- floating-value routines ------------------------------------------------------------

FLOATOBJ foFact(LONG n) {
  FLOATOBJ r = Fo(1);
  for (LONG i = 2; i <= n; ++i) FLOATOBJ_MulLong(&r, i);
  return r;
}

FLOATOBJ foPow(FLOATOBJ x, LONG n) {
  FLOATOBJ r = Fo(1);
  for (LONG i = 0; i < n; ++i) r = Mul(r, x);
  return r;
}

FLOATOBJ foSin(FLOATOBJ x) {
  bool negate = false;
  if (Greater(x, Pi())) {
    x = Sub(x, Pi());
    negate = true;
  }
  FLOATOBJ sum = Fo(0);
  for (LONG k = 0; k <= 9; ++k) {
    FLOATOBJ term = Div(foPow(x, 2 * k + 1), foFact(2 * k + 1));
    sum = (k % 2 == 0) ? Add(sum, term) : Sub(sum, term);
  }
  return negate ? Neg(sum) : sum;
}

FLOATOBJ foCos(FLOATOBJ x) {
  if (Greater(x, Pi())) x = Sub(Mul(Two(), Pi()), x);
  return foSin(Add(x, Div(Pi(), Two())));
}

FLOATOBJ foAbs(FLOATOBJ x) { return FLOATOBJ_LessThanLong(&x, 0) ? Neg(x) : x; }

FLOATOBJ foSqrt(FLOATOBJ x) {
  if (!FLOATOBJ_GreaterThanLong(&x, 0)) return Fo(0);
  FLOATOBJ g = FLOATOBJ_GreaterThanLong(&x, 1) ? x : Fo(1);
  g = Fo(static_cast<float>(g.value));
  for (;;) {
    FLOATOBJ next = Div(Add(Div(x, g), g), Two());
    next = Fo(static_cast<float>(next.value));  // each step through a single
    if (!Less(next, g)) return g;
    g = next;
  }
}

FLOATOBJ foArctan(FLOATOBJ x) {
  const bool above = FLOATOBJ_GreaterThanLong(&x, 1) != FALSE;
  const bool below = FLOATOBJ_LessThanLong(&x, -1) != FALSE;
  FLOATOBJ t = (above || below) ? Div(Fo(1), x) : x;
  FLOATOBJ t2 = Mul(t, t);
  FLOATOBJ p = Fo(0);
  for (LONG n = 10; n >= 1; --n) {
    FLOATOBJ num = t2;
    FLOATOBJ_MulLong(&num, n * n);
    FLOATOBJ den = p;
    FLOATOBJ_AddLong(&den, 2 * n + 1);
    p = Div(num, den);
  }
  FLOATOBJ a = Div(t, Add(Fo(1), p));
  FLOATOBJ halfPi = Div(Pi(), Two());
  if (above) return Sub(halfPi, a);
  if (below) return Sub(Neg(halfPi), a);
  return a;
}

FLOATOBJ foArcsin(FLOATOBJ x) {
  FLOATOBJ halfPi = Div(Pi(), Two());
  if (FLOATOBJ_EqualLong(&x, 1)) return halfPi;
  if (FLOATOBJ_EqualLong(&x, -1)) return Neg(halfPi);
  FLOATOBJ s = foSqrt(Sub(Fo(1), Mul(x, x)));
  if (IsZero(s)) return Fo(0);
  return foArctan(Div(x, s));
}

LONG RadToDeg(FLOATOBJ x) {
  FLOATOBJ_MulLong(&x, 180);
  x = Div(x, Pi());
  // To the nearest whole degree: the integer part alone turns 45 degrees,
  // which the series gives as 44.99999, into 44, and a turned line would
  // print a degree off and sheared.
  FLOATOBJ_AddFloat(&x, FLOATOBJ_LessThanLong(&x, 0) ? -0.5f : 0.5f);
  return FLOATOBJ_GetLong(&x);
}

FLOATOBJ DegToRad(LONG n) {
  FLOATOBJ r = Pi();
  FLOATOBJ_DivLong(&r, 180);
  FLOATOBJ_MulLong(&r, n);
  return r;
}

FLOATOBJ GetOblique(FLOATOBJ x, FLOATOBJ y) {
  if (IsZero(x)) return foAbs(y);
  if (IsZero(y)) return foAbs(x);
  FLOATOBJ sum = Add(Mul(x, x), Mul(y, y));
  if (FLOATOBJ_EqualLong(&sum, 1)) return Fo(1);
  return foSqrt(sum);
}

LONG GetAngle(FLOATOBJ x, FLOATOBJ y) {
  const bool x0 = IsZero(x), y0 = IsZero(y);
  if (y0) return FLOATOBJ_LessThanLong(&x, 0) ? 180 : 0;  // (positive, 0), (negative, 0), (0, 0)
  if (x0) return FLOATOBJ_GreaterThanLong(&y, 0) ? 90 : 270;
  FLOATOBJ h = GetOblique(x, y);
  LONG d = RadToDeg(foArcsin(Div(y, h)));
  if (FLOATOBJ_LessThanLong(&x, 0)) return 180 - d;
  if (d < 0) return d + 360;
  return d;
}

LONG iHipot(LONG a, LONG b) {
  const int64_t ua = a < 0 ? -static_cast<int64_t>(a) : a;
  const int64_t ub = b < 0 ? -static_cast<int64_t>(b) : b;
  if (a == 0) return static_cast<LONG>(ub > 0x7FFFFFFF ? 0x7FFFFFFF : ub);
  if (b == 0) return static_cast<LONG>(ua > 0x7FFFFFFF ? 0x7FFFFFFF : ua);
  // The smallest i >= the larger value whose square reaches the sum of the
  // squares (at most 2^63: 64 bits hold it); found by halving the range
  // [larger, larger + smaller], which gives what counting up would.
  const int64_t big = ua > ub ? ua : ub, small = ua > ub ? ub : ua;
  const uint64_t want = static_cast<uint64_t>(big) * static_cast<uint64_t>(big) +
                        static_cast<uint64_t>(small) * static_cast<uint64_t>(small);
  int64_t lo = big, hi = big + small;
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (static_cast<uint64_t>(mid) * static_cast<uint64_t>(mid) >= want) hi = mid;
    else lo = mid + 1;
  }
  const int64_t i = lo;
  return static_cast<LONG>(i > 0x7FFFFFFF ? 0x7FFFFFFF : i);
}

// ---- the character matrix ------------------------------------------------------------------

void xltext_CalcCharMatrix(const FLOATOBJ_XFORM* xf, XLTEXT_CHARSTATE* cs) {
  cs->scaleX = GetOblique(xf->eM11, xf->eM12);
  const FLOATOBJ r = GetOblique(xf->eM21, xf->eM22);
  const LONG u = GetAngle(xf->eM11, Neg(xf->eM12));
  const LONG w = GetAngle(xf->eM21, Neg(xf->eM22));
  cs->charAngle = static_cast<WORD>(u);
  cs->shearY = Fo(0);
  LONG a = (u - w) % 360;
  if (a < 0) a += 360;
  switch (a) {
    case 0:
    case 180:  // degenerate: both axes on one line
      cs->shearX = Fo(0);
      cs->scaleY = Fo(0);
      break;
    case 90:
      cs->shearX = Fo(0);
      cs->scaleY = r;
      break;
    case 270:
      cs->shearX = Fo(0);
      cs->scaleY = Neg(r);
      break;
    default: {
      const FLOATOBJ b = Div(Mul(Fo(a), Pi()), Fo(180));
      cs->shearX = Neg(Div(Mul(r, foCos(b)), cs->scaleX));
      cs->scaleY = Mul(r, foSin(b));
      break;
    }
  }
}

// ---- the font name ---------------------------------------------------------------------------

LONG xltext_SetXLFontName(PDEV* pdev, FONTOBJ* pfo, STROBJ*, BYTE kind, WORD fontSet, IFIMETRICS* ifi,
                          XLTEXT_CHARSTATE* cs) {
  if (kind == XLFONT_KIND_DEVICE) {
    BYTE charSet = 0;
    return xltext_FontSetEntry(pdev, fontSet, cs->fontName, &cs->symbolSet, &charSet) == 0 ? 0 : -1;
  }
  ULONG chars = 0;
  LPCWSTR face = FaceName(ifi, &chars);
  if (!face) return -1;
  char name[XLTEXT_FACENAME_MAX + 1] = {};
  ULONG bytes = 0;
  EngUnicodeToMultiByteN(name, XLTEXT_FACENAME_MAX, &bytes, const_cast<LPWSTR>(face), chars * sizeof(WCHAR));
  name[bytes] = 0;
  if (bytes == 0) return -1;
  char* out = cs->fontName;
  const size_t room = sizeof cs->fontName;
  if (kind == XLFONT_KIND_OUTLINE) {
    cs->symbolSet = XL_SYMBOLSET_OUTLINE;
    std::snprintf(out, room, "%s:OL%s%s", name, (ifi->fsSelection & FM_SEL_BOLD) ? ":B" : "",
                  (ifi->fsSelection & FM_SEL_ITALIC) ? ":I" : "");
    return 0;
  }
  cs->symbolSet = XL_SYMBOLSET_BITMAP;
  std::snprintf(out, room, "%s:%08X:%04X:%08X:BM%s%s", name, static_cast<unsigned>(Bits(Fl(cs->charSize))),
                static_cast<unsigned>(cs->charAngle), static_cast<unsigned>(Bits(Fl(cs->scaleX))),
                (pfo->flFontType & FO_SIM_BOLD) ? ":B" : "", (pfo->flFontType & FO_SIM_ITALIC) ? ":I" : "");
  // The bitmaps already carry size, angle, width and mirror.
  cs->charAngle = 0;
  cs->scaleX = Fo(1);
  cs->scaleY = Fo(1);
  return 0;
}

// ---- the font of the run ------------------------------------------------------------------------

LONG xltext_SelectFont(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, BYTE* kind, WORD* fontSet, BOOL* glyphIndex) {
  *fontSet = XLTEXT_NO_FONTSET;
  *kind = XLFONT_KIND_OUTLINE;
  *glyphIndex = FALSE;
  if (pstro->flAccel & SO_GLYPHINDEX_TEXTOUT) {
    *glyphIndex = TRUE;
  } else if (pfo->flFontType & FO_TYPE_DEVICE) {
    if (xltext_DeviceFontSetIndex(pdev, pfo->iFace, fontSet) != 0) return -1;
    *kind = XLFONT_KIND_DEVICE;
    return 0;
  } else if (TTOption(pdev) == XLTEXT_TTOPTION_SUBSTITUTE) {
    if (xltext_SubstituteIFace(pdev, pfo, fontSet) != 0) return -1;
    if (*fontSet != XLTEXT_NO_FONTSET) {
      *kind = XLFONT_KIND_DEVICE;
      return 0;
    }
  }
  *kind = (IsTrueType(pfo) && Setting(pdev, DDM_FONTTYPE) == 0) ? XLFONT_KIND_OUTLINE : XLFONT_KIND_BITMAP;
  return 0;
}

namespace {
bool IsSymbolEntry(PDEV* pdev, WORD fontSet) {
  char name[XL_FONTNAME_MAX];
  WORD symbolSet = 0;
  BYTE charSet = 0;
  return xltext_FontSetEntry(pdev, fontSet, name, &symbolSet, &charSet) == 0 && charSet == SYMBOL_CHARSET;
}
}  // namespace

LONG xltext_SubstituteIFace(PDEV* pdev, FONTOBJ* pfo, WORD* fontSet) {
  *fontSet = XLTEXT_NO_FONTSET;
  if (!IsTrueType(pfo) || xltext_FontSetCount(pdev) == 0) return 0;
  if (TTOption(pdev) != XLTEXT_TTOPTION_SUBSTITUTE) return 0;
  const LONG method = Setting(pdev, DDM_TRUETYPE);
  WORD found = XLTEXT_NO_FONTSET;
  if (method == XLTEXT_SUBST_TABLE_ONLY) {
    const LONG r = xltext_AskSubstitution(pdev, pfo, FALSE, &found);
    if (r == 2) *fontSet = found;
    return (r == 1 || r == 2) ? 0 : -1;
  }
  if (method == XLTEXT_SUBST_SCORING) {
    if (xltext_AskSubstitution(pdev, pfo, TRUE, &found) != 2) return -1;
    // Scoring takes the best font whatever its character set: for a symbol
    // font that would print letters where the symbols belong. Only a symbol
    // device font, or the table's own entry, replaces a symbol font.
    const IFIMETRICS* ifi = FONTOBJ_pifi(pfo);
    if (ifi && ifi->jWinCharSet == SYMBOL_CHARSET && !IsSymbolEntry(pdev, found)) {
      const LONG r = xltext_AskSubstitution(pdev, pfo, FALSE, &found);
      if (r != SUBST_NONE && r != SUBST_FOUND) return -1;
      if (r == SUBST_NONE) return 0;
    }
    *fontSet = found;
    return 0;
  }
  return 0;  // any other method: the run is downloaded (never dropped)
}

LONG xltext_ChangeUnicode(PDEV* pdev, FONTOBJ* pfo, ULONG count, BYTE* kind, WORD* codes, WORD fontSet) {
  if (*kind != XLFONT_KIND_DEVICE) return 0;
  char name[XL_FONTNAME_MAX];
  WORD symbolSet = 0;
  BYTE charSet = 0;
  if (xltext_FontSetEntry(pdev, fontSet, name, &symbolSet, &charSet) != 0) return -1;
  for (ULONG i = 0; i < count; ++i) {
    if (charSet == XLTEXT_SHIFTJIS_CHARSET) {
      if (codes[i] == 0x00A0) codes[i] = 0x0020;
      else if (codes[i] == 0x00A5) codes[i] = 0x005C;
    } else if (charSet == SYMBOL_CHARSET && codes[i] >= 0xF000 && codes[i] <= 0xF0FF) {
      codes[i] = static_cast<WORD>(codes[i] & 0xFF);
    }
  }
  if (pfo->flFontType & FO_TYPE_DEVICE) return 0;
  // A TrueType font printed with a substituted device font: every character
  // must exist in the device font's code page and metrics. Under the Unicode
  // symbol set the codes stay the characters (the code page byte only finds
  // the width) and the C1 controls are never device text.
  NTFM* metrics = xltext_LoadDeviceMetrics(pdev, fontSet);
  if (!metrics) return -1;
  const UINT acp = MyGetACP();
  const bool unicode = symbolSet == XLTEXT_SYMBOLSET_UNICODE;
  const BYTE download = (IsTrueType(pfo) && Setting(pdev, DDM_FONTTYPE) == 0) ? XLFONT_KIND_OUTLINE
                                                                              : XLFONT_KIND_BITMAP;
  for (ULONG i = 0; i < count; ++i) {
    WCHAR wc = codes[i];
    if (unicode && wc >= XLTEXT_C1_FIRST && wc <= XLTEXT_C1_LAST) {
      *kind = download;
      break;
    }
    char mb[4] = {};
    const INT n = EngWideCharToMultiByte(acp, &wc, sizeof wc, mb, sizeof mb);
    WORD code = 0;
    if (n == 1) code = static_cast<BYTE>(mb[0]);
    else if (n == 2) code = static_cast<WORD>(static_cast<BYTE>(mb[0]) << 8 | static_cast<BYTE>(mb[1]));
    const bool lost = n <= 0 || n > 2 || (n == 1 && mb[0] == '?' && wc != u'?');
    if (lost || xfm_getCharWidth(&metrics->widthInfo, code) <= 0) {
      *kind = download;
      break;
    }
    if (!unicode) codes[i] = code;
  }
  xltext_FreeDeviceMetrics(pdev, metrics);
  return 0;
}

LONG xltext_CreateFontGS(PDEV* pdev, FONTOBJ* pfo, STROBJ* pstro, BYTE* kind, WORD fontSet, XLTEXT_CHARSTATE* cs,
                         TT_TABLEINFO* info, BOOL* symbol, ULONG count, const WORD* codes) {
  *symbol = FALSE;
  IFIMETRICS* ifi = FONTOBJ_pifi(pfo);
  XFORMOBJ* pxo = FONTOBJ_pxoGetXform(pfo);
  FLOATOBJ_XFORM xf{};
  if (!ifi || !pxo || XFORMOBJ_iGetFloatObjXform(pxo, &xf) == DDI_ERROR) return -1;
  xltext_CalcCharMatrix(&xf, cs);
  cs->charSize = Fo(ifi->fwdUnitsPerEm);
  if (!IsZero(cs->scaleY)) {
    const FLOATOBJ s = foAbs(cs->scaleY);
    cs->charSize = Mul(cs->charSize, s);
    cs->scaleY = Div(cs->scaleY, s);
    cs->scaleX = Div(cs->scaleX, s);
  }
  ULONG chars = 0;
  LPCWSTR face = FaceName(ifi, &chars);
  if (!face) return -1;
  const bool vertical = face[0] == u'@';
  if (*kind == XLFONT_KIND_OUTLINE) {
    if (vertical || xltext_CreateTableInfo(pdev, pfo, face, info) != 0) {
      *kind = XLFONT_KIND_BITMAP;
    } else {
      BOOL format4 = FALSE, symbolCmap = FALSE;
      xltext_CheckCmapSubtable4(info, &format4, &symbolCmap);
      *symbol = (symbolCmap || ifi->jWinCharSet == SYMBOL_CHARSET) ? TRUE : FALSE;
      if (*symbol) {
        bool wide = !format4;
        for (ULONG i = 0; !wide && i < count; ++i) wide = codes[i] > 0xFF;
        if (wide) *kind = XLFONT_KIND_BITMAP;
      }
    }
  }
  if (xltext_SetXLFontName(pdev, pfo, pstro, *kind, fontSet, ifi, cs) != 0) return -1;
  cs->subMode = vertical ? 1 : 0;
  cs->charAttributes = vertical ? 1 : 0;
  if (*kind == XLFONT_KIND_BITMAP) {
    cs->shearX = Fo(0);
    cs->shearY = Fo(0);
    cs->boldValue = Fo(0);
  } else {
    if (pfo->flFontType & FO_SIM_ITALIC) cs->shearX = Add(cs->shearX, Fo(Single(kItalicBits)));
    cs->boldValue = (pfo->flFontType & FO_SIM_BOLD) ? Fo(Single(kBoldBits)) : Fo(0);
  }
  return 0;
}

// ---- colour, codes and the Text operator -------------------------------------------------------

LONG xltext_SetStringColor(PDEV* pdev, BRUSHOBJ* pbo, LONG kind, MIX mix, BOOL transparentPass) {
  if (!kmWritten(xl_setrop(&pdev->xl, XlRop3Convert(pdev, kind, MixToRop4(mix))))) return -1;
  const ULONG color = (!pbo || pbo->iSolidColor == 0xFFFFFFFFu) ? 0 : pbo->iSolidColor;  // none: black
  if (!kmWritten(xl_setpainttxmode(&pdev->xl, KM_XL_OPAQUE)) || !kmWritten(xl_setsourcetxmode(&pdev->xl, KM_XL_OPAQUE))) return -1;
  const LONG set = StampTransparent(pdev) ? XlSetTransparentStampPattern(pdev, kind, color, transparentPass)
                                          : XlSetSolidColor(pdev, color, kind, 1 /* object kind: text */);
  if (!set) return -1;
  return kmWritten(xl_setfillmode(&pdev->xl, KM_XL_EVENODD)) ? 0 : -1;
}

LONG xltext_CreateXLText(PDEV*, ULONG count, const WCHAR* source, WORD* destination) {
  if (!source || !destination) return -1;
  for (ULONG i = 0; i < count; ++i) destination[i] = static_cast<WORD>(source[i]);
  return 0;
}

LONG xltext_Show(PDEV* pdev, FONTOBJ*, STROBJ* pstro, ULONG count, const GLYPHPOS* pgp, const WORD* codes,
                 const XLTEXT_CHARSTATE* cs) {
  if (count == 0 || !pgp || !codes) return -1;
  // The step after each glyph (64 bits) and whether X and Y spacing go out.
  auto stepX = [&](ULONG i) -> int64_t { return static_cast<int64_t>(pgp[i + 1].ptl.x) - pgp[i].ptl.x; };
  auto stepY = [&](ULONG i) -> int64_t { return static_cast<int64_t>(pgp[i + 1].ptl.y) - pgp[i].ptl.y; };
  BOOL hasX = FALSE, hasY = FALSE;
  bool fixed = false;
  int64_t increment = 0;
  if (count == 1) {
    hasX = TRUE;
  } else if (pstro && pstro->ulCharInc != 0) {
    fixed = true;
    increment = (pstro->flAccel & SO_REVERSED) ? -static_cast<int64_t>(pstro->ulCharInc) : pstro->ulCharInc;
    if (pstro->flAccel & SO_HORIZONTAL) hasX = TRUE;
    else hasY = TRUE;
  } else {
    for (ULONG i = 1; i < count; ++i) {
      if (pgp[i].ptl.x != pgp[0].ptl.x) hasX = TRUE;
      if (pgp[i].ptl.y != pgp[0].ptl.y) hasY = TRUE;
    }
  }
  auto fits = [](int64_t v) { return v >= -32768 && v <= 32767; };
  // One part of at most 65535 glyphs whose steps fit sint16.
  const ULONG part = count < 0xFFFF ? count : 0xFFFF;
  const uint64_t bytes = static_cast<uint64_t>(part) * sizeof(SHORT) * 2;
  SHORT* spacing = static_cast<SHORT*>(EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), XLTEXT_TAG));
  if (!spacing) {
    EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  SHORT* xs = spacing;
  SHORT* ys = spacing + part;
  XlContext* xl = &pdev->xl;
  const DWORD nameLength = static_cast<DWORD>(std::strlen(cs->fontName));
  bool ok = kmWritten(xl_SetCharBoldValue(xl, Fl(cs->boldValue))) && kmWritten(xl_SetCharShear(xl, Fl(cs->shearX), Fl(cs->shearY))) &&
            kmWritten(xl_SetCharScale(xl, Fl(cs->scaleX), Fl(cs->scaleY))) && kmWritten(xl_SetCharSubMode(xl, 1, &cs->subMode)) &&
            kmWritten(xl_SetCharAttributes(xl, cs->charAttributes)) &&
            kmWritten(xl_SetFont(xl, nameLength, cs->fontName, Fl(cs->charSize), cs->symbolSet));
  for (ULONG first = 0; ok && first < count;) {
    ULONG n = 0;
    while (first + n < count) {
      const ULONG i = first + n;
      ++n;
      if (i + 1 == count || n == part) break;
      const int64_t dx = fixed ? (hasX ? increment : 0) : stepX(i);
      const int64_t dy = fixed ? (hasY ? increment : 0) : stepY(i);
      if ((hasX && !fits(dx)) || (hasY && !fits(dy))) break;
      xs[n - 1] = static_cast<SHORT>(hasX ? dx : 0);
      ys[n - 1] = static_cast<SHORT>(hasY ? dy : 0);
    }
    xs[n - 1] = 0;  // the last entry of a part
    ys[n - 1] = 0;
    const POINT at{pgp[first].ptl.x, pgp[first].ptl.y};
    ok = kmWritten(xl_setcursor(xl, at)) && (first != 0 || kmWritten(xl_SetCharAngle(xl, cs->charAngle))) &&
         kmWritten(xl_Text(xl, n, codes + first, hasX, hasY, xs, ys));
    first += n;
  }
  EngFreeMem(spacing);
  return ok ? 0 : -1;
}

// ---- one run --------------------------------------------------------------------------------------

LONG xltext_DrawGlyphs(PDEV* pdev, BRUSHOBJ* pbo, ULONG count, GLYPHPOS* pgp, FONTOBJ* pfo, STROBJ* pstro,
                       const WCHAR* text, MIX mix, BOOL transparentPass) {
  if (count == 0) return 1;
  if (!text || !pgp) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (xltext_SetStringColor(pdev, pbo, KM_KIND_BRUSH, mix, transparentPass) != 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(WORD);
  WORD* codes = bytes <= 0x7FFFFFFFu ? static_cast<WORD*>(EngAllocMem(0, static_cast<ULONG>(bytes), XLTEXT_TAG))
                                     : nullptr;
  if (!codes) {
    EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  LONG r = -1;
  BYTE kind = XLFONT_KIND_OUTLINE;
  WORD fontSet = XLTEXT_NO_FONTSET;
  BOOL glyphIndex = FALSE, symbol = FALSE;
  XLTEXT_CHARSTATE cs{};
  TT_TABLEINFO info{};
  do {
    xltext_CreateXLText(pdev, count, text, codes);
    EngSetLastError(0);
    if (xltext_SelectFont(pdev, pfo, pstro, &kind, &fontSet, &glyphIndex) != 0) {
      EngSetLastError(ERROR_INVALID_PARAMETER);  // a font the printer cannot print
      break;
    }
    if (kind == XLFONT_KIND_DEVICE && xltext_ChangeUnicode(pdev, pfo, count, &kind, codes, fontSet) != 0) {
      EngSetLastError(ERROR_INVALID_PARAMETER);
      break;
    }
    if (xltext_CreateFontGS(pdev, pfo, pstro, &kind, fontSet, &cs, &info, &symbol, count, codes) != 0) {
      EngSetLastError(ERROR_INVALID_PARAMETER);
      break;
    }
    if (kind != XLFONT_KIND_DEVICE) {
      for (ULONG i = 0; i < count; ++i) codes[i] = static_cast<WORD>(pgp[i].hg);
      if (kind == XLFONT_KIND_OUTLINE && symbol && !glyphIndex) {
        xltext_CreateXLText(pdev, count, text, codes);
        if (xltext_ConvertSymbolGlyph(&info, FONTOBJ_pifi(pfo), count, codes) != 0) {
          DownloadFailed();
          break;
        }
      }
      // Never true as things stand: only an "@" face is vertical, and xltext_CreateFontGS sends those as bitmaps.
      if (kind == XLFONT_KIND_OUTLINE && cs.charAttributes == 1 &&
          xltext_ConvertVerticalText_mort(&info, count, codes) != 0) {
        DownloadFailed();
        break;
      }
      const TT_TABLEINFO* table = kind == XLFONT_KIND_OUTLINE ? &info : nullptr;
      if (xltext_SendFontHeader(pdev, pfo, pstro, count, kind, &cs, table) != 0 ||
          xltext_SendChar(pdev, pfo, pstro, count, pgp, kind, &cs, table, codes) != 0) {
        DownloadFailed();
        break;
      }
    }
    r = xltext_Show(pdev, pfo, pstro, count, pgp, codes, &cs);
  } while (false);
  EngFreeMem(codes);
  return r == 0 ? 1 : 0;
}

// ---- DrvTextOut --------------------------------------------------------------------------------------

BOOL DDI_DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                    BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
  if (!pso || !pstro || !pfo || !pboFore) return draw_Fail(ERROR_INVALID_PARAMETER);
  BOOL result = FALSE;
  PDEV* pdev = draw_Begin(pso, true, &result);
  if (!pdev) return result;
  if (!jobCtrl_isPhysicalStampMode(pdev) && !bDoClipObj(pdev, jobCtrl_isStampDrawMode(pdev) ? nullptr : pco, nullptr))
    return FALSE;
  // Under a transparent stamp every fill repeats for the colour pass: the
  // opaque box and the extra rectangles as the glyphs.
  const bool twice = StampTransparent(pdev);
  if (prclOpaque) {
    const RECT box = Normalised(*prclOpaque);
    if (!FillSetup(pdev, pboOpaque, pptlOrg, mix) || !kmWritten(xl_rectangle(&pdev->xl, box))) return FALSE;
    if (twice && (!FillSetup(pdev, pboOpaque, pptlOrg, mix, -KM_KIND_BRUSH) || !kmWritten(xl_rectangle(&pdev->xl, box))))
      return FALSE;
  }
  auto draw = [&](ULONG count, GLYPHPOS* pgp, const WCHAR* text) {
    if (!xltext_DrawGlyphs(pdev, pboFore, count, pgp, pfo, pstro, text, mix, FALSE)) return false;
    return !twice || xltext_DrawGlyphs(pdev, pboFore, count, pgp, pfo, pstro, text, mix, TRUE) != 0;
  };
  if (pstro->pgp) {
    if (!draw(pstro->cGlyphs, pstro->pgp, pstro->pwszOrg)) return FALSE;
  } else {
    STROBJ_vEnumStart(pstro);
    const WCHAR* text = pstro->pwszOrg;
    BOOL more = FALSE;
    do {
      ULONG count = 0;
      GLYPHPOS* pgp = nullptr;
      more = STROBJ_bEnum(pstro, &count, &pgp);
      if (count > 0 && !draw(count, pgp, text)) return FALSE;
      if (text) text += count;
    } while (more);
  }
  if (prclExtra) {
    auto rectangles = [&]() {
      for (const RECTL* r = prclExtra; r->left != 0 || r->top != 0 || r->right != 0 || r->bottom != 0; ++r)
        if (!kmWritten(xl_rectangle(&pdev->xl, Normalised(*r)))) return false;
      return true;
    };
    if (!FillSetup(pdev, pboFore, pptlOrg, mix) || !rectangles()) return FALSE;
    if (twice && (!FillSetup(pdev, pboFore, pptlOrg, mix, -KM_KIND_BRUSH) || !rectangles())) return FALSE;
  }
  return TRUE;
}

// The glyph mode is fixed: glyphs are always asked for as bitmaps (1,
// FO_GLYPHBITS). It is an answer about the driver, not a drawing result.
ULONG DDI_DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ*) {
  if (!pdev_FromHandle(dhpdev)) return 0;
  return 1;
}

// ---- the device-font side -------------------------------------------------------------------------
//
// The PDEV's device fonts and font set (devfont.h) and the substitution
// (fontsubst.h).

LONG xltext_DeviceFontSetIndex(PDEV* pdev, ULONG iFace, WORD* fontSet) {
  *fontSet = XLTEXT_NO_FONTSET;
  DEVFONT_TABLES* t = devfont_Tables(pdev);
  if (!t || iFace < 1 || iFace > t->cExposed || !t->exposed[iFace - 1]) return -1;  // outside the device fonts
  const DWORD fontId = t->exposed[iFace - 1]->fontId;
  for (DWORD i = 0; i < t->cFontSet && i < XLTEXT_NO_FONTSET; ++i) {
    if (t->fontSet[i].fontId == fontId) {
      *fontSet = static_cast<WORD>(i);
      return 0;
    }
  }
  return -1;  // a device font missing from the printer's set fails its run
}

ULONG xltext_FontSetCount(PDEV* pdev) {
  DEVFONT_TABLES* t = devfont_Tables(pdev);
  return t ? t->cFontSet : 0;
}

LONG xltext_FontSetEntry(PDEV* pdev, WORD fontSet, char* name, WORD* symbolSet, BYTE* charSet) {
  DEVFONT_TABLES* t = devfont_Tables(pdev);
  if (!t || fontSet >= t->cFontSet) return -1;
  const DEVFONTINFO& e = t->fontSet[fontSet];
  const size_t length = strnlen(e.printerName, sizeof e.printerName);
  if (length == 0 || length >= XL_FONTNAME_MAX) return -1;
  std::memcpy(name, e.printerName, length);
  name[length] = 0;
  *symbolSet = e.symbolSet;
  *charSet = e.charSet;
  return 0;
}

LONG xltext_AskSubstitution(PDEV* pdev, FONTOBJ* pfo, BOOL scoring, WORD* fontSet) {
  *fontSet = XLTEXT_NO_FONTSET;
  DEVFONT_TABLES* t = devfont_Tables(pdev);
  ULONG chars = 0;
  LPCWSTR face = FaceName(FONTOBJ_pifi(pfo), &chars);
  if (!t || !face) return -1;
  DWORD index = 0;
  const int r = scoring ? common_selectDevFont(&pdev->ttSubstTable, pfo, face, pdev->hPrinter, pdev->devmode,
                                               t->cFontSet, t->fontSet, &index)
                        : common_selectSubstFont(&pdev->ttSubstTable, pfo, face, pdev->hPrinter, pdev->devmode,
                                                 t->cFontSet, t->fontSet, &index);
  if (r == SUBST_FOUND) {
    if (index >= t->cFontSet || index >= XLTEXT_NO_FONTSET) return -1;
    *fontSet = static_cast<WORD>(index);
  }
  if (r == SUBST_NOMEMORY) EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return r;
}

NTFM* xltext_LoadDeviceMetrics(PDEV* pdev, WORD fontSet) {
  DEVFONT_TABLES* t = devfont_Tables(pdev);
  if (!t || fontSet >= t->cFontSet) return nullptr;
  BYTE* xfm = nullptr;
  DWORD size = 0;
  char printerName[DEVFONT_PRINTER_NAME + 1];
  WORD symbolSet = XL_SYMBOLSET_OUTLINE;
  if (!GetXFM(pdev, &xfm, &size, t->fontSet[fontSet].recordNumber, printerName, &symbolSet)) return nullptr;
  NTFM* ntfm = pntfmConvertXfmToNtm(pdev, xfm, size);
  XFMFree(pdev, xfm);
  return ntfm;
}

void xltext_FreeDeviceMetrics(PDEV* pdev, NTFM* ntfm) {
  if (ntfm) HEAPFREE(pdev->heap, ntfm);
}
