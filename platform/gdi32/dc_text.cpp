// The text calls of a printer DC (ExtTextOutW, GetTextExtentPoint32W): the
// DC's selected logical font becomes an engine TrueType font object of the
// font folder, the text an engine string on it, and ExtTextOutW hands both
// to the renderer through the runner's text call (KpEngineTextOut).
//
// Decisions (kplatform/gdi32_dc.h repeats them for callers):
// - The font is found by face name among the TrueType faces of the font
//   folder: a face whose family name or full name equals lfFaceName (case
//   ignored), the one whose italic matches lfItalic and whose weight is
//   nearest lfWeight (0 is 400) first; an empty name is "DejaVu Sans". No other
//   mapping: a name the folder lacks fails the call (ERROR_INVALID_PARAMETER).
//   The faces are the process's font catalogue's (gdi32/font_catalogue.h).
//   Bold or italic asked of a face without it is simulated (FO_SIM_BOLD,
//   FO_SIM_ITALIC).
// - Sizes: lfHeight < 0 is the em in device pixels, > 0 the cell height
//   (ascent + descent) in pixels, 0 is 12 points at the DC's LOGPIXELSY.
//   lfEscapement turns the text.
// - The reference point is the top-left of the cell (TA_TOP | TA_LEFT, the
//   only alignment): the baseline lies the font's ascent below y.
// - Options: ETO_GLYPH_INDEX (the codes are glyph indices), ETO_CLIPPED (the
//   rectangle clips, within the DC's clip), ETO_OPAQUE (the rectangle is filled white, the DC keeps
//   no background colour). A dx array places each glyph after the one
//   before. lfUnderline and lfStrikeOut become the extra rectangles.
// - The text colour is the foreground brush (a solid brush of the session);
//   the mix is copy-pen.
// - Extents are summed in 64 bits from the glyphs' advances and held to the
//   LONG range.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gdi32/dc_internal.h"
#include "gdi32/font_catalogue.h"
#include "kplatform/engine.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/long_range.h"

namespace {

constexpr MIX kCopyPen = R2_COPYPEN | (R2_COPYPEN << 8);
constexpr LONG kBoldWeight = 600;
constexpr char16_t kDefaultFace[] = u"DejaVu Sans";

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

struct Choice {
  std::string file;
  LONG member = -1;
  bool bold = false, italic = false;
};

// The face of the font catalogue the logical font names (see above).
Choice FindFace(const LOGFONTW& lf) {
  std::u16string want(reinterpret_cast<const char16_t*>(lf.lfFaceName),
                      std::find(lf.lfFaceName, lf.lfFaceName + LF_FACESIZE, 0) - lf.lfFaceName);
  if (want.empty()) want = kDefaultFace;
  const bool wantItalic = lf.lfItalic != 0;
  const LONG wantWeight = lf.lfWeight > 0 ? lf.lfWeight : 400;  // FW_DONTCARE: normal
  const std::shared_ptr<const kp::ft::Catalogue> catalogue = kp::ft::CurrentCatalogue();
  Choice best;
  long bestScore = -1;
  for (const kp::ft::CatalogueFace& face : catalogue->faces) {
    if (!face.realisable || !(SameName(face.family, want) || SameName(face.fullName, want))) continue;
    // Italic first, then the nearest weight (Book before ExtraLight).
    const long score = (face.italic == wantItalic ? 100000L : 0L) + 10000L - std::abs(face.weight - wantWeight);
    if (score > bestScore) {
      bestScore = score;
      best = Choice{face.file->path(), static_cast<LONG>(face.member), face.bold, face.italic};
    }
  }
  return best;
}

// The engine font of the DC's logical font, with its ascent and descent in
// pixels; null (error set) when the folder has no such face.
struct DcFont {
  FONTOBJ* font = nullptr;
  LONG ascent = 0, descent = 0;
  const IFIMETRICS* ifi = nullptr;
  LONG em = 0;
  ~DcFont() {
    if (font) KpEngineDeleteObject(font);
  }
};

bool MakeFont(kp::gdi::Dc& dc, const LOGFONTW* logical, DcFont* out) {
  LOGFONTW lf{};
  if (logical) lf = *logical;
  Choice c = FindFace(lf);
  if (c.member < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // The em from the height; the cell height needs the face's metrics, so
  // a first object at a notional em tells them.
  LONG em = 0;
  KP_ENGINE_FONT_INFO fi{};
  fi.file = c.file.c_str();
  fi.member = c.member;
  fi.escapement = lf.lfEscapement;
  fi.flags = ((lf.lfWeight >= kBoldWeight && !c.bold) ? FO_SIM_BOLD : 0) | ((lf.lfItalic && !c.italic) ? FO_SIM_ITALIC : 0);
  if (lf.lfHeight < 0) {
    em = kp_SaturateLong(-static_cast<int64_t>(lf.lfHeight));  // the least LONG has no negative
  } else {
    const GDIINFO* g = dc.session ? KpEngineSessionGdiInfo(dc.session) : nullptr;
    const LONG dpi = g && g->ulLogPixelsY > 0 ? static_cast<LONG>(g->ulLogPixelsY) : 600;
    em = lf.lfHeight == 0 ? dpi * 12 / 72 : 0;
    if (lf.lfHeight > 0) {
      fi.emPixels = 1000;
      FONTOBJ* probe = KpEngineCreateTrueTypeFont(&fi);
      const IFIMETRICS* ifi = probe ? FONTOBJ_pifi(probe) : nullptr;
      const int64_t cell = ifi ? static_cast<int64_t>(ifi->fwdWinAscender) + ifi->fwdWinDescender : 0;
      if (ifi && cell > 0) em = kp_SaturateLong(static_cast<int64_t>(lf.lfHeight) * ifi->fwdUnitsPerEm / cell);
      if (probe) KpEngineDeleteObject(probe);
    }
  }
  if (em <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  fi.emPixels = em;
  out->font = KpEngineCreateTrueTypeFont(&fi);
  out->ifi = out->font ? FONTOBJ_pifi(out->font) : nullptr;
  if (!out->ifi || out->ifi->fwdUnitsPerEm <= 0) return false;
  out->em = em;
  out->ascent = kp_SaturateLong(static_cast<int64_t>(out->ifi->fwdWinAscender) * em / out->ifi->fwdUnitsPerEm);
  out->descent = kp_SaturateLong(static_cast<int64_t>(out->ifi->fwdWinDescender) * em / out->ifi->fwdUnitsPerEm);
  return true;
}

}  // namespace

namespace kp::gdi {

BOOL DcTextOut(Dc& dc, const LOGFONTW* font, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
               const INT* dx) {
  if ((count > 0 && !text) || ((options & (ETO_CLIPPED | ETO_OPAQUE)) && !rect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!dc.session || !dc.inPage) {
    SetLastError(ERROR_INVALID_FUNCTION);  // text reaches the renderer only inside a page
    return FALSE;
  }
  DcFont f;
  if (!MakeFont(dc, font, &f)) return FALSE;
  EngineObjects keep;
  KP_ENGINE_STRING_INFO si{};
  si.font = f.font;
  si.text = text;
  si.count = count;
  // The baseline: the ascent below the reference point, turned with the text.
  const double angle = (font ? font->lfEscapement : 0) / 10.0 * 3.14159265358979323846 / 180.0;
  si.origin = POINTL{kp_SaturateLong(int64_t{x} + std::llround(std::sin(angle) * f.ascent)),
                     kp_SaturateLong(int64_t{y} + std::llround(std::cos(angle) * f.ascent))};
  si.flAccel = (options & ETO_GLYPH_INDEX) ? SO_GLYPHINDEX_TEXTOUT : 0;
  si.glyphMode = FO_GLYPHBITS;
  si.withPositions = TRUE;
  STROBJ* str = count > 0 ? KpEngineCreateString(&si) : nullptr;
  if (count > 0 && !str) return FALSE;
  if (str) keep.Keep(str);
  if (str && dx) {  // each glyph after the one before, by the caller's steps
    int64_t at = si.origin.x;
    for (UINT i = 0; i < count; ++i) {
      str->pgp[i].ptl = POINTL{kp_SaturateLong(at), si.origin.y};
      at += dx[i];
    }
  }
  BRUSHOBJ* fore = KpEngineCreateSolidBrush(dc.session, dc.draw.textColor & 0x00FFFFFFu);
  if (!fore) return FALSE;
  keep.Keep(fore);
  BRUSHOBJ* back = nullptr;
  RECTL opaque{}, clipRect{};
  CLIPOBJ* clip = nullptr;
  if (rect) {
    opaque = RECTL{rect->left, rect->top, rect->right, rect->bottom};
    clipRect = opaque;
  }
  if (options & ETO_OPAQUE) {
    back = KpEngineCreateSolidBrush(dc.session, 0x00FFFFFFu);
    if (!back) return FALSE;
    keep.Keep(back);
  }
  // The DC's clip, and the rectangle's with ETO_CLIPPED.
  bool hidden = false;
  clip = DcClip(dc, (options & ETO_CLIPPED) ? &clipRect : nullptr, keep, &hidden);
  if (hidden) return TRUE;  // nothing of it is visible
  if (!clip) return FALSE;
  // Underline and strike-out: bars of the font's thickness across the text.
  std::vector<RECTL> extra;
  if (str && font && (font->lfUnderline || font->lfStrikeOut) && f.ifi->fwdUnitsPerEm > 0) {
    const LONG left = str->pgp[0].ptl.x;
    const LONG right = kp_SaturateLong(static_cast<int64_t>(str->rclBkGround.right));
    auto bar = [&](FWORD position, FWORD size) {
      const LONG thick = std::max<LONG>(1, kp_SaturateLong(static_cast<int64_t>(size) * f.em / f.ifi->fwdUnitsPerEm));
      const LONG top = kp_SaturateLong(si.origin.y - static_cast<int64_t>(position) * f.em / f.ifi->fwdUnitsPerEm);
      extra.push_back(RECTL{left, top, right, kp_SaturateLong(int64_t{top} + thick)});
    };
    if (font->lfUnderline) bar(f.ifi->fwdUnderscorePosition, f.ifi->fwdUnderscoreSize);
    if (font->lfStrikeOut) bar(f.ifi->fwdStrikeoutPosition, f.ifi->fwdStrikeoutSize);
    extra.push_back(RECTL{0, 0, 0, 0});
  }
  if (!str) return TRUE;  // nothing to print
  POINTL origin{0, 0};
  return KpEngineTextOut(dc.session, str, f.font, clip, extra.empty() ? nullptr : extra.data(),
                         (options & ETO_OPAQUE) ? &opaque : nullptr, fore, back, &origin, kCopyPen);
}

BOOL DcTextExtent(Dc& dc, const LOGFONTW* font, LPCWSTR text, int count, SIZE* size) {
  if (count < 0 || (count > 0 && !text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DcFont f;
  if (!MakeFont(dc, font, &f)) return FALSE;
  int64_t width = 0;  // 28.4
  if (count > 0) {
    KP_ENGINE_STRING_INFO si{};
    si.font = f.font;
    si.text = text;
    si.count = static_cast<ULONG>(count);
    si.glyphMode = FO_GLYPHBITS;
    si.withPositions = TRUE;
    STROBJ* str = KpEngineCreateString(&si);
    if (!str) return FALSE;
    for (int i = 0; i < count; ++i) {
      const GLYPHDATA* gd = str->pgp[i].pgdf ? reinterpret_cast<const GLYPHDATA*>(str->pgp[i].pgdf) : nullptr;
      if (gd) width += gd->fxD;
    }
    KpEngineDeleteObject(str);
  }
  size->cx = kp_SaturateLong((width + 8) >> 4);
  size->cy = kp_SaturateLong(static_cast<int64_t>(f.ascent) + f.descent);
  return TRUE;
}

}  // namespace kp::gdi
