// Brushes, colours and raster operations: DrvRealizeBrush, and the PCL XL
// graphics state of a brush or pen under a mix or ROP4 (SetObjectColor):
// raster operation, paint and source transparency, colour space, a solid
// colour or a raster pattern. Also the two-pass colouring of transparent
// stamps and the in-band stamp markers.
//
// Sound behaviour where the plain reading would go wrong:
// - Palette entries at or beyond the realization's entry count are never
//   read (a 24-bit pattern has none); such an entry counts as black.
// - 24-bit patterns are the platform's B, G, R pixels: they are translated
//   through the brush's translation like 16- and 32-bit ones, so that a red
//   pattern comes out as red as a red image.
// - A pattern whose size or destination size does not fit 16 bits is
//   refused rather than cut.
// - Hatch lines print in the brush's colour: on this platform colour 0 of a
//   hatch brush's translation is its foreground (draw.h).
#include <cstring>

#include "draw.h"
#include "kestrel/render/xl_inband.h"

namespace {

constexpr ULONG kSolidFromRealization = 0xFFFFFFFFu;  // iSolidColor of a brush to realize
constexpr DWORD kHatchCount = 6;                      // iHatch 0-5 are hatches
constexpr DWORD kRbrushHeader = sizeof(KM_RBRUSH);    // 36
constexpr ULONG kWhite = 0x00FFFFFF;
constexpr ULONG kBlack = 0x00000000;

// Rop2ToRop3, indexed by a ROP2 value mod 16 (R2_WHITE 16 is index 0).
constexpr BYTE kRop2ToRop3[16] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A,
                                  0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA};
// Rop3ToRop2: the same pairs the other way.
struct Rop3Rop2 {
  BYTE rop3;
  BYTE rop2;
};
constexpr Rop3Rop2 kRop3ToRop2[16] = {{0xFF, 16}, {0x00, 1},  {0x05, 2},  {0x0A, 3},  {0x0F, 4},  {0x50, 5},
                                      {0x55, 6},  {0x5A, 7},  {0x5F, 8},  {0xA0, 9},  {0xA5, 10}, {0xAA, 11},
                                      {0xAF, 12}, {0xF0, 13}, {0xF5, 14}, {0xFA, 15}};

// The six 16 x 16 hatch patterns, rows of 4 bytes (two significant): 0 bits
// are the lines (two pixels wide), 1 bits the background.
struct HatchTable {
  BYTE rows[kHatchCount][16 * 4];
};
constexpr HatchTable MakeHatches() {
  HatchTable t{};
  for (DWORD h = 0; h < kHatchCount; ++h) {
    for (int r = 0; r < 16; ++r) {
      unsigned line = 0;  // bit 15 - c set where column c is a line
      auto set = [&](int c) { line |= 1u << (15 - ((c % 16 + 16) % 16)); };
      const bool horizontal = h == HS_HORIZONTAL || h == HS_CROSS;
      const bool vertical = h == HS_VERTICAL || h == HS_CROSS;
      const bool forward = h == HS_FDIAGONAL || h == HS_DIAGCROSS;
      const bool backward = h == HS_BDIAGONAL || h == HS_DIAGCROSS;
      if (horizontal && (r == 7 || r == 8)) line = 0xFFFF;
      if (vertical) {
        set(7);
        set(8);
      }
      if (forward) {
        set(r);
        set(r + 1);
      }
      if (backward) {
        set(15 - r);
        set(16 - r);
      }
      const unsigned bits = ~line & 0xFFFF;
      t.rows[h][4 * r] = static_cast<BYTE>(bits >> 8);
      t.rows[h][4 * r + 1] = static_cast<BYTE>(bits);
    }
  }
  return t;
}
constexpr HatchTable kHatches = MakeHatches();

// The transparent-stamp mask: 8 x 8, two 0 bits in every row.
constexpr BYTE kStampMask[8 * 4] = {0xBB, 0, 0, 0, 0xBB, 0, 0, 0, 0xEE, 0, 0, 0, 0xEE, 0, 0, 0,
                                    0xBB, 0, 0, 0, 0xBB, 0, 0, 0, 0xEE, 0, 0, 0, 0xEE, 0, 0, 0};

BYTE R(ULONG c) { return static_cast<BYTE>(c); }
BYTE G(ULONG c) { return static_cast<BYTE>(c >> 8); }
BYTE B(ULONG c) { return static_cast<BYTE>(c >> 16); }
bool SameRgb(ULONG a, ULONG b) { return (a & 0xFFFFFF) == (b & 0xFFFFFF); }

const ULONG* Palette(const KM_RBRUSH* rb) {
  return reinterpret_cast<const ULONG*>(reinterpret_cast<const BYTE*>(rb) + rb->paletteOffset);
}
ULONG Entry(const KM_RBRUSH* rb, DWORD i) {
  if (i >= rb->cEntries) return kBlack;  // never read beyond the realization's palette
  ULONG v;
  std::memcpy(&v, reinterpret_cast<const BYTE*>(Palette(rb)) + 4 * i, 4);
  return v;
}
const BYTE* Bits(const KM_RBRUSH* rb) { return reinterpret_cast<const BYTE*>(rb) + kRbrushHeader; }

// The destination size of a pattern: size x resolution x s / 1200; false
// when it does not fit 16 bits.
bool PatternDest(PDEV* pdev, DWORD size, LONG s, WORD* out) {
  const long long v = static_cast<long long>(size) * draw_Resolution(pdev) * s / 1200;
  if (v < 0 || v > 0xFFFF) return false;
  *out = static_cast<WORD>(v);
  return true;
}

SHORT Sat(LONG v) { return static_cast<SHORT>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

bool Source(PDEV* pdev, LONG kind, const POINTL* origin) {
  const SHORT ox = origin ? Sat(origin->x) : 0, oy = origin ? Sat(origin->y) : 0;
  return kmWritten(kind == KM_KIND_PEN ? xl_setpensource_pattern(&pdev->xl, 0, ox, oy, 0, 0)
                               : xl_setbrushsource_pattern(&pdev->xl, 0, ox, oy, 0, 0));
}

bool Modes(PDEV* pdev, BYTE mode) {
  return kmWritten(xl_setpainttxmode(&pdev->xl, mode)) && kmWritten(xl_setsourcetxmode(&pdev->xl, mode));
}

// Sends a raster pattern of `rowBytes` x height bytes as pattern 0.
bool SendRaster(PDEV* pdev, BYTE mapping, BYTE depth, DWORD width, DWORD height, LONG s, const BYTE* bits,
                DWORD rowBytes) {
  WORD dw, dh;
  if (width > 0xFFFF || height > 0xFFFF || !PatternDest(pdev, width, s, &dw) || !PatternDest(pdev, height, s, &dh)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const DWORD bytes = rowBytes * height;
  return kmWritten(xl_beginrastpattern(&pdev->xl, mapping, depth, static_cast<WORD>(width), static_cast<WORD>(height), dw,
                               dh, 0, KM_XL_TEMPPATTERN)) &&
         kmWritten(xl_readrastpattern_hdr(&pdev->xl, 0, static_cast<WORD>(height), KM_XL_NOCOMPRESSION, 4, bytes)) &&
         kmWritten(xl_readrastpattern(&pdev->xl, bits, bytes)) && kmWritten(xl_endrastpattern(&pdev->xl));
}

// A pixel of a direct-colour row as the platform stores it.
ULONG DirectPixel(const BYTE* row, DWORD x, ULONG bpp) {
  switch (bpp) {
    case 16: return static_cast<ULONG>(row[2 * x] | row[2 * x + 1] << 8);
    case 24: return static_cast<ULONG>(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    default: {
      ULONG v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
  }
}

}  // namespace

// ---- Mixes and ROPs -------------------------------------------------------------------

ROP4 MixToRop4(MIX mix) { return kRop2ToRop3[(mix >> 8) & 0xF] * 256u + kRop2ToRop3[mix & 0xF]; }

MIX Rop4ToMix(ROP4 rop4) {
  auto toRop2 = [](BYTE rop3) -> ULONG {
    for (const Rop3Rop2& e : kRop3ToRop2)
      if (e.rop3 == rop3) return e.rop2;
    return R2_COPYPEN;
  };
  return toRop2(static_cast<BYTE>(rop4 >> 8)) * 256u + toRop2(static_cast<BYTE>(rop4));
}

BYTE XlRop3Convert(PDEV*, LONG kind, ROP4 rop4) {
  const BYTE rop3 = static_cast<BYTE>(rop4);
  if (kind == KM_KIND_PEN) return (rop3 == 0xA0 || rop3 == 0xAA || rop3 == 0xF0 || rop3 == 0xFA) ? rop3 : 0xF0;
  return rop3;
}

// ---- DrvRealizeBrush ----------------------------------------------------------------------

BOOL DDI_DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ*, XLATEOBJ* pxlo,
                         ULONG iHatch) {
  if (!pbo || !psoTarget || !psoPattern || !pxlo || !pdev_FromSurface(psoTarget))
    return draw_Fail(ERROR_INVALID_PARAMETER);
  const bool pattern = iHatch >= kHatchCount;
  ULONG bpp = 0;
  unsigned long long bitsSize = 0, rowBytes = 0;
  const LONG width = psoPattern->sizlBitmap.cx, height = psoPattern->sizlBitmap.cy;
  if (pattern) {
    switch (psoPattern->iBitmapFormat) {
      case BMF_1BPP: bpp = 1; break;
      case BMF_4BPP: bpp = 4; break;
      case BMF_8BPP: bpp = 8; break;
      case BMF_16BPP:
      case BMF_24BPP:
      case BMF_32BPP: bpp = 24; break;
      default: return draw_Fail(ERROR_INVALID_PARAMETER);
    }
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF || !psoPattern->pvScan0)
      return draw_Fail(ERROR_INVALID_PARAMETER);
    rowBytes = ((static_cast<unsigned long long>(width) * bpp + 31) / 32) * 4;
    bitsSize = rowBytes * static_cast<unsigned long long>(height);
  }
  const DWORD entries = (pxlo->flXlate & XO_TABLE) && pxlo->pulXlate ? pxlo->cEntries : 0;
  const unsigned long long total = kRbrushHeader + bitsSize + 4ull * entries;
  if (total > 0x7FFFFFFFull) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY);
  auto* rb = static_cast<KM_RBRUSH*>(BRUSHOBJ_pvAllocRbrush(pbo, static_cast<ULONG>(total)));
  if (!rb) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY);
  BYTE* record = reinterpret_cast<BYTE*>(rb);
  rb->cEntries = entries;
  rb->paletteOffset = static_cast<DWORD>(kRbrushHeader + bitsSize);
  rb->iHatch = iHatch;
  if (entries > 0) std::memcpy(record + rb->paletteOffset, pxlo->pulXlate, 4ull * entries);
  if (!pattern) return TRUE;  // a hatch: the palette only

  rb->width = static_cast<DWORD>(width);
  rb->height = static_cast<DWORD>(height);
  rb->flags = psoPattern->fjBitmap | BMF_TOPDOWN;
  rb->bitsSize = static_cast<DWORD>(bitsSize);
  rb->rowBytes = static_cast<DWORD>(rowBytes);
  BYTE* out = record + kRbrushHeader;
  const auto* scan0 = static_cast<const BYTE*>(psoPattern->pvScan0);
  const ULONG srcBpp = ConvertBpp(psoPattern->iBitmapFormat);
  for (LONG y = 0; y < height; ++y) {
    const BYTE* src = scan0 + static_cast<ptrdiff_t>(y) * psoPattern->lDelta;
    BYTE* dst = out + static_cast<size_t>(y) * rowBytes;
    if (bpp == 24) {
      for (LONG x = 0; x < width; ++x) {
        const ULONG c = XLATEOBJ_iXlate(pxlo, DirectPixel(src, static_cast<DWORD>(x), srcBpp));
        dst[3 * x] = R(c);
        dst[3 * x + 1] = G(c);
        dst[3 * x + 2] = B(c);
      }
    } else {
      std::memcpy(dst, src, rowBytes);
    }
  }
  rb->format = bpp == 24 ? KM_RBRUSH_RGB : psoPattern->iBitmapFormat;
  return TRUE;
}

// ---- SetObjectColor -----------------------------------------------------------------------------

LONG SetObjectColor(PDEV* pdev, LONG kind, POINTL* origin, BRUSHOBJ* pbo, ROP4 rop4) {
  const bool second = kind < 0;
  const LONG k = second ? -kind : kind;
  const KM_RBRUSH* rb = nullptr;
  ULONG color = kBlack;
  if (pbo && pbo->iSolidColor == kSolidFromRealization) {
    rb = static_cast<const KM_RBRUSH*>(BRUSHOBJ_pvGetRbrush(pbo));
    if (!rb) return draw_Fail(ERROR_NOT_ENOUGH_MEMORY), 0;
  } else if (pbo) {
    color = pbo->iSolidColor;
  }
  const LONG transparency = ((Rop4ToMix(rop4) >> 8) & 0xFF) == R2_NOP ? 2 : 1;
  if (!kmWritten(xl_setrop(&pdev->xl, XlRop3Convert(pdev, k, rop4)))) return 0;
  if (rb && rb->iHatch < kHatchCount)
    return XlSetHatchPattern(pdev, k, transparency, Entry(rb, 0), Entry(rb, 1), origin, rb->iHatch);
  if (rb && rb->format == BMF_1BPP)
    return XlSetMaskPattern(pdev, k, transparency, Entry(rb, 0), Entry(rb, 1), origin, rb->width, rb->height,
                            Bits(rb), 0);
  if (rb) return XlSetPattern(pdev, k, origin, rb);
  if (pbo && jobCtrl_isStampDrawMode(pdev) && jobCtrl_isStampTransparency(pdev)) {
    if (!Modes(pdev, KM_XL_TRANSPARENT)) return 0;
    return XlSetTransparentStampPattern(pdev, k, color, second ? TRUE : FALSE);
  }
  if (!Modes(pdev, KM_XL_OPAQUE)) return 0;
  return pbo ? XlSetSolidColor(pdev, color, k, KM_XL_OBJ_GRAPHICS) : 1;
}

LONG XlSetSolidColor(PDEV* pdev, ULONG color, LONG kind, BYTE objectKind) {
  if (kind == KM_KIND_BOTH)
    return XlSetSolidColor(pdev, color, KM_KIND_PEN, objectKind) &&
                   XlSetSolidColor(pdev, color, KM_KIND_BRUSH, objectKind)
               ? 1
               : 0;
  if (!kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, objectKind))) return 0;
  const int sent = kind == KM_KIND_PEN ? xl_setpensource_rgb(&pdev->xl, B(color), G(color), R(color))
                                       : xl_setbrushsource_rgb(&pdev->xl, B(color), G(color), R(color));
  return kmWritten(sent) ? 1 : 0;
}

LONG XlSetHatchPattern(PDEV* pdev, LONG kind, LONG transparency, ULONG colorA, ULONG colorB, const POINTL* origin,
                       ULONG hatch) {
  if (hatch >= kHatchCount) return 1;
  return XlSetMaskPattern(pdev, kind, transparency, colorA, colorB, origin, 16, 16, kHatches.rows[hatch], 1);
}

LONG XlSetMaskPattern(PDEV* pdev, LONG kind, LONG transparency, ULONG colorA, ULONG colorB, const POINTL* origin,
                      DWORD width, DWORD height, const BYTE* bits, LONG source) {
  if (kind == KM_KIND_BOTH)
    return XlSetMaskPattern(pdev, KM_KIND_PEN, transparency, colorA, colorB, origin, width, height, bits, source) &&
                   XlSetMaskPattern(pdev, KM_KIND_BRUSH, transparency, colorA, colorB, origin, width, height, bits,
                                    source)
               ? 1
               : 0;
  const bool transparent = transparency == 2;
  if (!transparent && SameRgb(colorA, colorB))
    return Modes(pdev, KM_XL_OPAQUE) && XlSetSolidColor(pdev, colorA, kind, KM_XL_OBJ_GRAPHICS) ? 1 : 0;
  if (width == 0 || height == 0 || !bits) return draw_Fail(ERROR_INVALID_PARAMETER), 0;
  const DWORD rowBytes = ((width + 31) / 32) * 4;
  auto bit = [&](DWORD x, DWORD y) { return (bits[y * rowBytes + x / 8] >> (7 - x % 8)) & 1; };
  const int first = bit(0, 0);
  bool uniform = true;
  for (DWORD y = 0; y < height && uniform; ++y)
    for (DWORD x = 0; x < width; ++x)
      if (bit(x, y) != first) {
        uniform = false;
        break;
      }
  if (uniform) {
    if (!Modes(pdev, KM_XL_OPAQUE)) return 0;
    if (!transparent) return XlSetSolidColor(pdev, first ? colorB : colorA, kind, KM_XL_OBJ_GRAPHICS);
    if (first == 0) return XlSetSolidColor(pdev, colorA, kind, KM_XL_OBJ_GRAPHICS);
    return kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS)) &&
                   kmWritten(kind == KM_KIND_PEN ? xl_setpensource_null(&pdev->xl) : xl_setbrushsource_null(&pdev->xl))
               ? 1
               : 0;
  }
  const ULONG second = transparent ? kWhite : colorB;
  const BYTE palette[6] = {R(colorA), G(colorA), B(colorA), R(second), G(second), B(second)};
  const LONG s = GetPatternStretchSize(pdev, source == 1 ? 0 : 1);
  const bool ok = Modes(pdev, transparent ? KM_XL_TRANSPARENT : KM_XL_OPAQUE) &&
                  kmWritten(xl_setcolorspace_palette(&pdev->xl, KM_XL_RGB, KM_XL_8BIT, palette, 6, KM_XL_OBJ_GRAPHICS)) &&
                  SendRaster(pdev, KM_XL_INDEXED, KM_XL_1BIT, width, height, s, bits, rowBytes) &&
                  Source(pdev, kind, origin);
  return ok ? 1 : 0;
}

LONG XlSetPattern(PDEV* pdev, LONG kind, const POINTL* origin, const KM_RBRUSH* rb) {
  if (kind == KM_KIND_BOTH)
    return XlSetPattern(pdev, KM_KIND_PEN, origin, rb) && XlSetPattern(pdev, KM_KIND_BRUSH, origin, rb) ? 1 : 0;
  if (!Modes(pdev, KM_XL_OPAQUE)) return 0;
  const BYTE* bits = Bits(rb);
  if (rb->format == KM_RBRUSH_RGB) {
    bool uniform = true;
    for (DWORD y = 0; y < rb->height && uniform; ++y)
      for (DWORD x = 0; x < rb->width; ++x)
        if (std::memcmp(bits + y * rb->rowBytes + 3 * x, bits, 3) != 0) {
          uniform = false;
          break;
        }
    if (uniform) return XlSetSolidColor(pdev, bits[0] | bits[1] << 8 | bits[2] << 16, kind, KM_XL_OBJ_GRAPHICS);
    if (!kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS))) return 0;
    return SendRaster(pdev, KM_XL_DIRECT, KM_XL_8BIT, rb->width, rb->height, GetPatternStretchSize(pdev, 1), bits,
                      rb->rowBytes) &&
                   Source(pdev, kind, origin)
               ? 1
               : 0;
  }
  const DWORD maxEntries = rb->format == BMF_1BPP ? 2 : (rb->format == BMF_4BPP ? 16 : 256);
  const BYTE depth = rb->format == BMF_1BPP ? KM_XL_1BIT : (rb->format == BMF_4BPP ? KM_XL_4BIT : KM_XL_8BIT);
  const DWORD n = rb->cEntries < maxEntries ? rb->cEntries : maxEntries;
  bool same = n > 0;
  for (DWORD i = 1; i < n && same; ++i) same = SameRgb(Entry(rb, i), Entry(rb, 0));
  if (same) return XlSetSolidColor(pdev, Entry(rb, 0), kind, KM_XL_OBJ_GRAPHICS);
  BYTE palette[256 * 3] = {};
  for (DWORD i = 0; i < n; ++i) {
    const ULONG c = Entry(rb, i);
    palette[3 * i] = R(c);
    palette[3 * i + 1] = G(c);
    palette[3 * i + 2] = B(c);
  }
  return kmWritten(xl_setcolorspace_palette(&pdev->xl, KM_XL_RGB, KM_XL_8BIT, palette, 3 * maxEntries,
                                    KM_XL_OBJ_GRAPHICS)) &&
                 SendRaster(pdev, KM_XL_INDEXED, depth, rb->width, rb->height, GetPatternStretchSize(pdev, 1), bits,
                            rb->rowBytes) &&
                 Source(pdev, kind, origin)
             ? 1
             : 0;
}

LONG XlSetTransparentStampPattern(PDEV* pdev, LONG kind, ULONG color, BOOL secondPass) {
  const BYTE rop = secondPass ? 0xFA : 0xA0;  // destination OR pattern; destination AND pattern
  if (!kmWritten(xl_setrop(&pdev->xl, rop))) return 0;
  const ULONG a = secondPass ? color : kBlack;
  const ULONG b = secondPass ? kBlack : kWhite;
  return XlSetMaskPattern(pdev, kind, 1, a, b, nullptr, 8, 8, kStampMask, -1);
}

LONG pdl_beginstamp(PDEV* pdev) { return pdev && xl_ic_beginstamp(&pdev->xl) == 0 ? 0 : -1; }
LONG pdl_endstamp(PDEV* pdev) { return pdev && xl_ic_endstamp(&pdev->xl) == 0 ? 0 : -1; }
