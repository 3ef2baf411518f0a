// Images: DrvCopyBits, DrvStretchBlt and DrvBitBlt. Source bitmaps become
// PCL XL images (colours translated to 24-bit RGB or an RGB palette,
// mirrored for flipped destinations, reduced by the resolution conversion,
// turned for the page's image rotation); black-and-white sources under ROP
// 0xB8 or 0xE2 become one-bit mask images; fills without a source become
// rectangles; consecutive strips of one picture are bracketed by the in-band
// link-image markers (the merged-image state).
//
// Sound behaviour where the plain reading would go wrong:
// - Every failure answers FALSE with the last error set.
// - Image data writes are checked; a ReadImage announcing n bytes is given
//   exactly n (padded with zeros when a step fails midway, and the call
//   then fails), so the stream stays well formed.
// - Sizes beyond 16 bits and data beyond 32 bits are refused (87), not cut.
// - A negative source point, or a source rectangle running past the
//   bitmap, moves the destination edge by the same share: the shortened
//   image is not stretched over the whole target.
// - A self-clipped fill that the clip misses draws nothing.
// - Pixel indices beyond a translation table are never looked up in it.
#include <atomic>
#include <cstring>
#include <mutex>

#include "draw.h"
#include "kestrel/render/xl_inband.h"

namespace {

constexpr ULONG kTagImage = 'D' | ('p' << 8) | ('s' << 16) | ('i' << 24);  // "Dpsi"
constexpr ULONG kNoSolid = 0xFFFFFFFFu;
constexpr ULONG kWhite = 0x00FFFFFF;
constexpr LONG kRotateFrom = 65;  // images at least this size both ways may be turned
constexpr LONG kKindStretch = 0, kKindCopy = 1, kKindBitBlt = 2, kKindNone = 3;  // merged-image calling kinds

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

// |b - a| computed in 64 bits and held to the LONG range (beyond 16 bits it
// is refused later anyway).
LONG Span(LONG a, LONG b) {
  long long d = static_cast<long long>(b) - a;
  if (d < 0) d = -d;
  return d > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(d);
}
// b - a, signed, held to the LONG range.
LONG Diff(LONG a, LONG b) {
  const long long d = static_cast<long long>(b) - a;
  return d > 0x7FFFFFFF ? 0x7FFFFFFF : (d < -0x7FFFFFFF ? -0x7FFFFFFF : static_cast<LONG>(d));
}
LONG Min(LONG a, LONG b) { return a < b ? a : b; }
LONG Max(LONG a, LONG b) { return a > b ? a : b; }

RECTL Normal(const RECTL& r) { return RECTL{Min(r.left, r.right), Min(r.top, r.bottom), Max(r.left, r.right), Max(r.top, r.bottom)}; }

// A colour index through a translation: table entries only within the
// table (0xFFFFFFFF beyond it), other translations through the engine.
ULONG Lookup(XLATEOBJ* pxlo, ULONG index) {
  if (pxlo && (pxlo->flXlate & XO_TABLE)) return pxlo->pulXlate && index < pxlo->cEntries ? pxlo->pulXlate[index] : kNoSolid;
  return XLATEOBJ_iXlate(pxlo, index);
}

bool BlackOrWhite(ULONG c) { return c == 0 || c == kWhite; }

void* Alloc(unsigned long long bytes) {
  if (bytes == 0 || bytes > 0x7FFFFFFFull) return nullptr;
  return EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), kTagImage);
}

// A pixel index of a 1, 4 or 8-bit row.
ULONG IndexAt(const BYTE* row, LONG x, ULONG bpp) {
  switch (bpp) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x % 2) ? row[x / 2] & 0xF : row[x / 2] >> 4;
    default: return row[x];
  }
}

// Source rows of a bitmap, realigned when the first pixel starts inside a
// byte.
struct SourceRows {
  const BYTE* start = nullptr;  // the source point's row
  LONG stride = 0;
  DWORD shift = 0;  // bits into the first byte
  DWORD bits = 0;   // bits of one copied row
};
SourceRows Rows(SURFOBJ* src, const POINTL& at, LONG width, ULONG bpp) {
  SourceRows r;
  const unsigned long long bitX = static_cast<unsigned long long>(at.x) * bpp;
  r.start = static_cast<const BYTE*>(src->pvScan0) + static_cast<ptrdiff_t>(at.y) * src->lDelta +
            static_cast<ptrdiff_t>(bitX / 8);
  r.stride = src->lDelta;
  r.shift = static_cast<DWORD>(bitX % 8);
  r.bits = static_cast<DWORD>(static_cast<unsigned long long>(width) * bpp);
  return r;
}
// Row y of the copied rectangle, realigned into `buffer` when needed.
const BYTE* RowAt(const SourceRows& r, LONG y, BYTE* buffer) {
  const BYTE* row = r.start + static_cast<ptrdiff_t>(y) * r.stride;
  if (r.shift == 0) return row;
  ShiftLeft(row, buffer, r.bits, r.shift);
  return buffer;
}

// Merged-image state.
struct Merge {
  LONG kind;
  BOOL open;
  LONG curW, curH;
  ULONG format;
  LONG firstW, firstH;
};

}  // namespace

struct KmMergeImage : Merge {};

// ---- Helpers of the bit handling -----------------------------------------------------------

ULONG ConvertBpp(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

const BYTE* BitReverse() {
  static BYTE table[256];
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < 256; ++i) {
      BYTE r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= static_cast<BYTE>(0x80 >> b);
      table[i] = r;
    }
  });
  return table;
}

void ShiftLeft(const BYTE* src, BYTE* dst, DWORD bits, DWORD shift) {
  const DWORD bytes = (bits + 7) / 8;
  for (DWORD i = 0; i < bytes; ++i) {
    // The last source byte needed is (bits + shift - 1) / 8; never read past it.
    const bool more = (i + 1) * 8 < bits + shift;
    dst[i] = static_cast<BYTE>((src[i] << shift) | (more && shift ? src[i + 1] >> (8 - shift) : 0));
  }
}

void SetMirrorX(BYTE* row, DWORD pixels, DWORD bytes, ULONG bpp) {
  if (bpp == 24) {
    for (DWORD a = 0, b = pixels - 1; pixels > 0 && a < b; ++a, --b)
      for (int c = 0; c < 3; ++c) {
        BYTE t = row[3 * a + c];
        row[3 * a + c] = row[3 * b + c];
        row[3 * b + c] = t;
      }
    return;
  }
  for (DWORD a = 0, b = bytes - 1; bytes > 0 && a < b; ++a, --b) {
    BYTE t = row[a];
    row[a] = row[b];
    row[b] = t;
  }
  DWORD shift = 0;
  if (bpp == 1) {
    const BYTE* rev = BitReverse();
    for (DWORD i = 0; i < bytes; ++i) row[i] = rev[row[i]];
    shift = (8 - pixels % 8) % 8;
  } else if (bpp == 4) {
    for (DWORD i = 0; i < bytes; ++i) row[i] = static_cast<BYTE>(row[i] << 4 | row[i] >> 4);
    shift = (pixels % 2) ? 4 : 0;
  }
  if (shift) {
    for (DWORD i = 0; i < bytes; ++i)
      row[i] = static_cast<BYTE>(row[i] << shift | (i + 1 < bytes ? row[i + 1] >> (8 - shift) : 0));
  }
}

DWORD CheckXlateObj(XLATEOBJ* pxlo, ULONG bpp) {
  if (!pxlo || bpp < 16) return 0;
  DWORD flags = KM_XLATE_EACH;
  if (bpp >= 24 && XLATEOBJ_iXlate(pxlo, 0xFF) == 0xFF0000 && XLATEOBJ_iXlate(pxlo, 0xFF00) == 0xFF00 &&
      XLATEOBJ_iXlate(pxlo, 0xFF0000) == 0xFF && XLATEOBJ_iXlate(pxlo, 0xFF000000) == 0)
    flags |= KM_XLATE_SWAP;
  if (bpp == 32 && XLATEOBJ_iXlate(pxlo, 0xFF) == 0xFF && XLATEOBJ_iXlate(pxlo, 0xFF00) == 0xFF00 &&
      XLATEOBJ_iXlate(pxlo, 0xFF0000) == 0xFF0000)
    flags |= KM_XLATE_IDENTITY;
  return flags;
}

void XlateColor(const BYTE* src, BYTE* dst, XLATEOBJ* pxlo, DWORD flags, ULONG bpp, DWORD pixels) {
  const DWORD step = bpp / 8;
  for (DWORD i = 0; i < pixels; ++i, src += step, dst += 3) {
    if (bpp >= 24 && ((flags & KM_XLATE_SWAP) || !pxlo)) {
      dst[0] = src[2];  // B, G, R -> R, G, B
      dst[1] = src[1];
      dst[2] = src[0];
      continue;
    }
    if (bpp == 32 && (flags & KM_XLATE_IDENTITY)) {
      std::memcpy(dst, src, 3);
      continue;
    }
    ULONG v;
    if (bpp == 16)
      v = static_cast<ULONG>(src[0] | src[1] << 8);
    else if (bpp == 24)
      v = static_cast<ULONG>(src[0] | src[1] << 8 | src[2] << 16);
    else
      std::memcpy(&v, src, 4);
    const ULONG c = XLATEOBJ_iXlate(pxlo, v);
    dst[0] = static_cast<BYTE>(c);
    dst[1] = static_cast<BYTE>(c >> 8);
    dst[2] = static_cast<BYTE>(c >> 16);
  }
}

// One bit a pixel: 1 where the translated colour is white.
void XlateColorAndXbppTo1bppForRop184(const BYTE* src, BYTE* dst, XLATEOBJ* pxlo, DWORD flags, ULONG bpp,
                                      DWORD pixels, BYTE* rgb) {
  std::memset(dst, 0, (pixels + 7) / 8);
  if (bpp >= 16) XlateColor(src, rgb, pxlo, flags, bpp, pixels);
  for (DWORD x = 0; x < pixels; ++x) {
    ULONG c;
    if (bpp >= 16)
      c = static_cast<ULONG>(rgb[3 * x] | rgb[3 * x + 1] << 8 | rgb[3 * x + 2] << 16);
    else
      c = Lookup(pxlo, IndexAt(src, static_cast<LONG>(x), bpp));
    if ((c & 0xFFFFFFFF) == kWhite) dst[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  }
}

BOOL CheckUseBrushNTKM(BYTE rop3) {
  switch (rop3) {
    case 0x11: case 0x22: case 0x33: case 0x44: case 0x66: case 0x77:
    case 0x88: case 0x99: case 0xBB: case 0xCC: case 0xDD: case 0xEE:
      return FALSE;
    default:
      return TRUE;
  }
}

BOOL IsSelfClipImage(LONG width, LONG height, CLIPOBJ* pco, const RECTL* rect) {
  if (!pco || !rect || pco->iDComplexity != DC_RECT) return FALSE;
  const RECTL r = Normal(*rect);
  if (Span(r.left, r.right) != width || Span(r.top, r.bottom) != height) return FALSE;
  const RECTL& c = pco->rclBounds;
  const bool inside = r.left >= c.left && r.top >= c.top && c.right >= r.right && c.bottom >= r.bottom;
  return inside ? FALSE : TRUE;
}

void SelfClipImage(RECTL* rect, const CLIPOBJ* pco) {
  const RECTL r = Normal(*rect);
  const RECTL& c = pco->rclBounds;
  *rect = RECTL{Max(r.left, c.left), Max(r.top, c.top), Min(r.right, c.right), Min(r.bottom, c.bottom)};
}

// ---- Merged images ---------------------------------------------------------------------------

BOOL EnableMergeImage(PDEV* pdev) {
  if (!pdev) return FALSE;
  auto* m = static_cast<KmMergeImage*>(_HEAPALLOC(pdev->heap, sizeof(KmMergeImage), 0));
  if (!m) return FALSE;
  std::memset(m, 0, sizeof *m);
  m->kind = kKindNone;
  pdev->mergeImage = m;
  return TRUE;
}

void DisableMergeImage(PDEV* pdev) {
  if (!pdev || !pdev->mergeImage) return;
  HEAPFREE(pdev->heap, pdev->mergeImage);
  pdev->mergeImage = nullptr;
}

LONG xl_linkimagestart(PDEV* pdev) {
  KmMergeImage* m = pdev->mergeImage;
  if (!m || m->open) return 0;
  if (xl_ic_linkimagestart(&pdev->xl) != 0) return -1;
  m->open = TRUE;
  return 0;
}

LONG xl_linkimageend(PDEV* pdev) {
  KmMergeImage* m = pdev->mergeImage;
  if (!m || !m->open) return 0;
  m->open = FALSE;
  return xl_ic_linkimageend(&pdev->xl) == 0 ? 0 : -1;
}

LONG SendMergeImage(PDEV* pdev) {
  if (!pdev) return -1;
  if (pdev->mergeImage) pdev->mergeImage->kind = kKindNone;
  return xl_linkimageend(pdev);
}

LONG CheckLinkImage(PDEV* pdev, SURFOBJ* src, const RECTL*, LONG mode, ULONG rop, LONG kind, LONG width, LONG height) {
  KmMergeImage* m = pdev->mergeImage;
  if (!m) return 0;
  const ULONG bpp = src ? ConvertBpp(src->iBitmapFormat) : 0;
  if (!src || src->iType != STYPE_BITMAP || bpp < 16 || mode != KM_SRC_ROP3 || (rop & 0xFF) != 0xCC) {
    m->kind = kKindNone;
    return xl_linkimageend(pdev);
  }
  if (m->kind == kind && m->format == src->iBitmapFormat) {
    bool join = false;
    if (Num(pdev, DDM_MERGEALLIMAGES) == 1) {
      join = true;
    } else if (m->curW == 0) {
      join = height == m->curH;
    } else if (m->curH == 0) {
      join = width == m->curW;
    } else if (width == m->curW && height == m->curH) {
      join = true;
    } else if (width == m->curW) {
      m->curH = 0;
      join = true;
    } else if (height == m->curH) {
      m->curW = 0;
      join = true;
    }
    if (!join && (width == m->firstW || height == m->firstH)) {
      m->curW = width;
      m->curH = height;
      join = true;
    }
    if (join) return xl_linkimagestart(pdev);  // already open: nothing sent
  }
  m->kind = kind;
  m->format = src->iBitmapFormat;
  m->firstW = m->curW = width;
  m->firstH = m->curH = height;
  if (xl_linkimageend(pdev) != 0) return -1;
  return xl_linkimagestart(pdev);
}

// ---- Image writers --------------------------------------------------------------------------------

namespace {

// Sends the ReadImage data: `announced` bytes in all; what the rows did not
// fill is padded with zeros.
struct ImageData {
  PDEV* pdev;
  unsigned long long announced;
  unsigned long long sent = 0;
  bool Put(const BYTE* bytes, DWORD n) {
    if (sent + n > announced) n = static_cast<DWORD>(announced - sent);
    if (n == 0) return true;
    sent += n;
    return kmWritten(xl_readimage_data(&pdev->xl, bytes, n));
  }
  bool Pad() {
    static const BYTE zeros[256] = {};
    while (sent < announced) {
      const DWORD n = static_cast<DWORD>(announced - sent < sizeof zeros ? announced - sent : sizeof zeros);
      if (!Put(zeros, n)) return false;
    }
    return true;
  }
};

bool SizeOk(LONG v) { return v > 0 && v <= 0xFFFF; }

}  // namespace

// A one-bit mask image of a black-and-white source.
BOOL XL_DrawImageMask(PDEV* pdev, SURFOBJ* src, XLATEOBJ* pxlo, const POINTL& at, LONG width, LONG height,
                      const RECTL& trg) {
  const ULONG bpp = ConvertBpp(src->iBitmapFormat);
  const bool flipX = trg.right < trg.left, flipY = trg.bottom < trg.top;
  const LONG dw = Span(trg.left, trg.right), dh = Span(trg.top, trg.bottom);
  if (!SizeOk(width) || !SizeOk(height) || !SizeOk(dw) || !SizeOk(dh)) return draw_Fail(ERROR_INVALID_PARAMETER);
  const DWORD rowOut = static_cast<DWORD>((width + 7) / 8);
  const unsigned long long total = static_cast<unsigned long long>(rowOut) * height;
  BYTE palette[6] = {0, 0, 0, 0xFF, 0xFF, 0xFF};  // black, then white
  if (bpp == 1) {
    for (int i = 0; i < 2; ++i) {
      const BYTE v = Lookup(pxlo, static_cast<ULONG>(i)) == kWhite ? 0xFF : 0x00;
      palette[3 * i] = palette[3 * i + 1] = palette[3 * i + 2] = v;
    }
  }
  auto* block = static_cast<BYTE*>(Alloc(total));
  auto* buffer = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(width) * 4 + 8));
  auto* rgb = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(width) * 3 + 8));
  BOOL ok = FALSE;
  if (!block || !buffer || !rgb) {
    EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else {
    const SourceRows rows = Rows(src, at, width, bpp);
    const DWORD flags = CheckXlateObj(pxlo, bpp);
    for (LONG i = 0; i < height; ++i) {
      const LONG y = flipY ? height - 1 - i : i;
      const BYTE* row = RowAt(rows, y, buffer);
      BYTE* out = block + static_cast<size_t>(i) * rowOut;
      if (bpp == 1)
        std::memcpy(out, row, rowOut);
      else
        XlateColorAndXbppTo1bppForRop184(row, out, pxlo, flags, bpp, static_cast<DWORD>(width), rgb);
      if (flipX) SetMirrorX(out, static_cast<DWORD>(width), rowOut, 1);
    }
    const POINT corner{Min(trg.left, trg.right), Min(trg.top, trg.bottom)};
    ok = kmWritten(xl_setcursor(&pdev->xl, corner)) &&
         kmWritten(xl_setcolorspace_palette(&pdev->xl, KM_XL_RGB, KM_XL_8BIT, palette, 6, KM_XL_OBJ_IMAGE)) &&
         kmWritten(xl_beginimage(&pdev->xl, KM_XL_INDEXED, KM_XL_1BIT, static_cast<WORD>(width), static_cast<WORD>(height),
                         static_cast<WORD>(dw), static_cast<WORD>(dh))) &&
         kmWritten(xl_readimage_hdr(&pdev->xl, 0, static_cast<WORD>(height), KM_XL_NOCOMPRESSION, 1,
                            static_cast<DWORD>(total))) &&
         kmWritten(xl_readimage_data(&pdev->xl, block, static_cast<DWORD>(total))) && kmWritten(xl_endimage(&pdev->xl));
  }
  if (block) EngFreeMem(block);
  if (buffer) EngFreeMem(buffer);
  if (rgb) EngFreeMem(rgb);
  return ok;
}

// A colour image: 24-bit RGB for direct sources, an RGB palette for 1, 4
// and 8 bits.
BOOL XL_DrawImage(PDEV* pdev, SURFOBJ* src, XLATEOBJ* pxlo, const POINTL& at, LONG width, LONG height,
                  const RECTL& trg, KM_RESOCONV* reso) {
  if (!src) return TRUE;
  const ULONG bpp = ConvertBpp(src->iBitmapFormat);
  const bool direct = bpp >= 16;
  const ULONG outBits = direct ? 24 : bpp;
  const BYTE depth = bpp == 1 ? KM_XL_1BIT : (bpp == 4 ? KM_XL_4BIT : KM_XL_8BIT);
  LONG outW = width, outH = height;
  if (reso) ResoConv_OutputSize(reso, &outW, &outH);
  const bool flipX = trg.right < trg.left, flipY = trg.bottom < trg.top;
  const LONG dw = Span(trg.left, trg.right), dh = Span(trg.top, trg.bottom);
  if (!SizeOk(width) || !SizeOk(height) || !SizeOk(dw) || !SizeOk(dh)) return draw_Fail(ERROR_INVALID_PARAMETER);
  const bool rotate = outW >= kRotateFrom && outH >= kRotateFrom && bpp >= 8 && pdev->imageRotation != 0;
  const DWORD rowOut = static_cast<DWORD>((static_cast<unsigned long long>(outW) * outBits + 7) / 8);
  const unsigned long long total = reso ? static_cast<unsigned long long>(outW) * outH * 3
                                        : static_cast<unsigned long long>(height) * rowOut;
  if (total > 0xFFFFFFFFull) return draw_Fail(ERROR_INVALID_PARAMETER);

  // Colour space.
  bool ok;
  if (direct) {
    ok = kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_IMAGE));
  } else {
    BYTE palette[256 * 3] = {};
    const DWORD entries = 1u << bpp;
    for (DWORD i = 0; i < entries; ++i) {
      const ULONG c = Lookup(pxlo, i);
      if (c == kNoSolid) continue;  // beyond the table: black
      palette[3 * i] = static_cast<BYTE>(c);
      palette[3 * i + 1] = static_cast<BYTE>(c >> 8);
      palette[3 * i + 2] = static_cast<BYTE>(c >> 16);
    }
    ok = kmWritten(xl_setcolorspace_palette(&pdev->xl, KM_XL_RGB, KM_XL_8BIT, palette, 3 * entries, KM_XL_OBJ_IMAGE));
  }
  if (!ok) return FALSE;

  // Placement.
  POINT cursor;
  WORD destW, destH, srcW, srcH;
  if (rotate) {
    cursor = POINT{-Max(trg.top, trg.bottom), Min(trg.left, trg.right)};
    destW = static_cast<WORD>(dh);
    destH = static_cast<WORD>(dw);
    srcW = static_cast<WORD>(outH);
    srcH = static_cast<WORD>(outW);
  } else {
    cursor = POINT{Min(trg.left, trg.right), Min(trg.top, trg.bottom)};
    destW = static_cast<WORD>(dw);
    destH = static_cast<WORD>(dh);
    srcW = static_cast<WORD>(outW);
    srcH = static_cast<WORD>(outH);
  }
  if (rotate && !kmWritten(xl_setpagerotation(&pdev->xl, 90))) return FALSE;
  if (!kmWritten(xl_setcursor(&pdev->xl, cursor)) ||
      !kmWritten(xl_beginimage(&pdev->xl, direct ? KM_XL_DIRECT : KM_XL_INDEXED, depth, srcW, srcH, destW, destH)) ||
      !kmWritten(xl_readimage_hdr(&pdev->xl, 0, srcH, KM_XL_NOCOMPRESSION, 1, static_cast<DWORD>(total))))
    return FALSE;

  // Rows.
  ImageData data{pdev, total};
  const DWORD inBytes = static_cast<DWORD>((static_cast<unsigned long long>(width) * bpp + 7) / 8);
  const DWORD rgbBytes = static_cast<DWORD>(width) * 3;
  auto* realign = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(inBytes) + 8));
  auto* rgb = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(rgbBytes) + 8));
  auto* line = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(rowOut) + static_cast<DWORD>(outW) * 3 + 8));
  bool failed = !realign || !rgb || !line;
  if (failed) EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  const SourceRows rows = Rows(src, at, width, bpp);
  const DWORD flags = CheckXlateObj(pxlo, bpp);
  bool writeFailed = false;
  for (LONG i = 0; i < height && !failed && !writeFailed; ++i) {
    const LONG y = flipY ? height - 1 - i : i;
    const BYTE* row = RowAt(rows, y, realign);
    if (direct) {
      XlateColor(row, rgb, pxlo, flags, bpp, static_cast<DWORD>(width));
      row = rgb;
    }
    if (reso) {
      const LONG n = ResoConv_ConvertData(reso, row, rgbBytes, static_cast<DWORD>(width), 24);
      if (n < 0) {
        EngSetLastError(ERROR_INVALID_DATA);
        failed = true;
        break;
      }
      if (n == 0) continue;
      if (ResoConv_GetLineData(reso, line, static_cast<DWORD>(n)) < 0) {
        EngSetLastError(ERROR_INVALID_DATA);
        failed = true;
        break;
      }
      if (flipX) SetMirrorX(line, static_cast<DWORD>(outW), static_cast<DWORD>(n), 24);
      if (!data.Put(line, static_cast<DWORD>(n))) writeFailed = true;
      continue;
    }
    std::memcpy(line, row, rowOut);
    if (flipX) SetMirrorX(line, static_cast<DWORD>(width), rowOut, outBits);
    if (!data.Put(line, rowOut)) writeFailed = true;
  }
  if (realign) EngFreeMem(realign);
  if (rgb) EngFreeMem(rgb);
  if (line) EngFreeMem(line);
  if (writeFailed) return FALSE;  // the output itself failed: nothing more can be written
  // Whatever the rows did not fill keeps the announced length.
  if (!data.Pad() || !kmWritten(xl_endimage(&pdev->xl))) return FALSE;
  if (rotate && !kmWritten(xl_setpagerotation(&pdev->xl, 270))) return FALSE;
  return failed ? FALSE : TRUE;
}

// ---- Source copies -------------------------------------------------------------------------------

namespace {

bool IsRop184(PDEV*, LONG mode, ULONG rop, BRUSHOBJ* pbo, SURFOBJ* src, XLATEOBJ* pxlo, const POINTL& at,
              LONG width, LONG height) {
  const BYTE rop3 = static_cast<BYTE>(rop);
  if (mode != KM_SRC_ROP3 || (rop3 != 0xB8 && rop3 != 0xE2) || !pbo || pbo->iSolidColor == kNoSolid) return false;
  const ULONG bpp = ConvertBpp(src->iBitmapFormat);
  if (bpp == 1) return BlackOrWhite(Lookup(pxlo, 0)) && BlackOrWhite(Lookup(pxlo, 1));
  const SourceRows rows = Rows(src, at, width, bpp);
  auto* buffer = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(width) * 4 + 8));
  auto* rgb = static_cast<BYTE*>(Alloc(static_cast<unsigned long long>(width) * 3 + 8));
  bool all = buffer && rgb;
  const DWORD flags = CheckXlateObj(pxlo, bpp);
  for (LONG y = 0; y < height && all; ++y) {
    const BYTE* row = RowAt(rows, y, buffer);
    if (bpp >= 16) XlateColor(row, rgb, pxlo, flags, bpp, static_cast<DWORD>(width));
    for (LONG x = 0; x < width && all; ++x) {
      const ULONG c = bpp >= 16 ? static_cast<ULONG>(rgb[3 * x] | rgb[3 * x + 1] << 8 | rgb[3 * x + 2] << 16)
                                : Lookup(pxlo, IndexAt(row, x, bpp));
      all = BlackOrWhite(c);
    }
  }
  if (buffer) EngFreeMem(buffer);
  if (rgb) EngFreeMem(rgb);
  return all;
}

// Moves an image edge by the share of `cut` source pixels out of `total`.
LONG MovedEdge(LONG from, LONG to, LONG cut, LONG total) {
  const long long moved = from + (static_cast<long long>(to) - from) * cut / total;
  return static_cast<LONG>(moved);  // between from and to: a LONG
}

}  // namespace

BOOL DoSourceCopy(PDEV* pdev, CLIPOBJ* pco, SURFOBJ* src, SURFOBJ*, LONG width, LONG height, const POINTL* srcPt,
                  const POINTL*, const RECTL* trgIn, XLATEOBJ* pxlo, BRUSHOBJ* pbo, POINTL* pptlBrush, LONG mode,
                  ULONG rop) {
  const ULONG bpp = src ? ConvertBpp(src->iBitmapFormat) : 0;
  if (!src || bpp == 0 || src->iType != STYPE_BITMAP || !src->pvScan0 || !trgIn)
    return draw_Fail(ERROR_INVALID_PARAMETER);
  if (!pxlo && bpp != 24) return draw_Fail(ERROR_INVALID_PARAMETER);
  if (width <= 0 || height <= 0) return TRUE;
  RECTL trg = *trgIn;
  POINTL at = srcPt ? *srcPt : POINTL{0, 0};
  const LONG fullW = width, fullH = height;
  // A negative source point shortens the image; the destination edge moves
  // by the same share, so the rest is not stretched.
  if (at.x < 0) {
    if (static_cast<long long>(at.x) <= -static_cast<long long>(width)) return TRUE;  // nothing of the image is left
    trg.left = MovedEdge(trg.left, trg.right, -at.x, fullW);
    width += at.x;
    at.x = 0;
  }
  if (at.y < 0) {
    if (static_cast<long long>(at.y) <= -static_cast<long long>(height)) return TRUE;
    trg.top = MovedEdge(trg.top, trg.bottom, -at.y, fullH);
    height += at.y;
    at.y = 0;
  }
  const LONG cx = src->sizlBitmap.cx, cy = src->sizlBitmap.cy;
  if (at.x >= cx || at.y >= cy || width <= 0 || height <= 0) return TRUE;  // nothing of the bitmap is copied
  if (width > cx - at.x) {
    trg.right = MovedEdge(trg.right, trg.left, width - (cx - at.x), width);
    width = cx - at.x;
  }
  if (height > cy - at.y) {
    trg.bottom = MovedEdge(trg.bottom, trg.top, height - (cy - at.y), height);
    height = cy - at.y;
  }
  if (!SizeOk(width) || !SizeOk(height)) return draw_Fail(ERROR_INVALID_PARAMETER);
  if (trg.left == trg.right || trg.top == trg.bottom) return TRUE;  // nothing left to cover

  const bool mask = IsRop184(pdev, mode, rop, pbo, src, pxlo, at, width, height);
  const BYTE rop3 = static_cast<BYTE>(rop);
  POINTL zero{0, 0};
  const ROP4 rop4 = rop3 | static_cast<ULONG>(rop3) << 8;
  if (!kmWritten(xl_setrop(&pdev->xl, rop3))) return FALSE;
  const LONG colored = CheckUseBrushNTKM(rop3) ? SetObjectColor(pdev, KM_KIND_BRUSH, pptlBrush ? pptlBrush : &zero, pbo, rop4)
                                               : SetObjectColor(pdev, KM_KIND_BRUSH, &zero, nullptr, rop4);
  if (!colored) return FALSE;
  const RECTL bounds = Normal(trg);
  if (!bDoClipObj(pdev, pco, &bounds)) return FALSE;
  KM_RESOCONV* reso = mask ? nullptr
                           : _doResoConversion(pdev, mode, rop, bpp, width, height, Diff(trg.left, trg.right),
                                               Diff(trg.top, trg.bottom));
  const BOOL ok = mask ? XL_DrawImageMask(pdev, src, pxlo, at, width, height, trg)
                       : XL_DrawImage(pdev, src, pxlo, at, width, height, trg, reso);
  ResoConv_FreeHandle(reso);
  return ok;
}

// ---- Fills and ROP dispatch --------------------------------------------------------------------------

namespace {

bool IsPatternOnly(ROP4 rop4, bool withMask) {
  switch (rop4) {
    case 0x0505: case 0x0A0A: case 0x0F0F: case 0x5050: case 0x5555: case 0x5A5A: case 0x5F5F:
    case 0xA0A0: case 0xA5A5: case 0xAFAF: case 0xF0F0: case 0xF5F5: case 0xFAFA:
      return true;
    case 0xAAA0: case 0xAAF0:
      return !withMask;
    default:
      return false;
  }
}

// The clip of a fill: a DC_RECT clip that cuts the rectangle is applied to
// the rectangle itself. False when nothing is left to paint (*empty) or the
// clip failed.
bool FillClip(PDEV* pdev, CLIPOBJ* pco, RECTL* rect, bool* empty) {
  *empty = false;
  const RECTL n = Normal(*rect);
  if (IsSelfClipImage(Span(n.left, n.right), Span(n.top, n.bottom), pco, &n)) {
    SelfClipImage(rect, pco);
    pco = nullptr;
    if (rect->left >= rect->right || rect->top >= rect->bottom) {
      *empty = true;
      return false;
    }
  } else {
    *rect = n;
  }
  return bDoClipObj(pdev, pco, rect) != 0;
}

}  // namespace

BOOL Image_DrawROP_pdl(PDEV* pdev, SURFOBJ* psoTrg, SURFOBJ* src, SURFOBJ* maskSurface, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                       POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
  rop4 &= 0xFFFF;
  if (rop4 == 0x0000 || rop4 == 0xFFFF) {
    if (SendMergeImage(pdev) != 0) return draw_Fail(ERROR_WRITE_FAULT);
    RECTL r = *prclTrg;
    bool empty;
    if (!FillClip(pdev, pco, &r, &empty)) return empty ? TRUE : FALSE;
    const bool ok = kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_GRAY, KM_XL_OBJ_GRAPHICS)) &&
                    kmWritten(xl_setbrushsource_gray(&pdev->xl, rop4 == 0 ? 0 : 255)) &&
                    kmWritten(xl_setfillmode(&pdev->xl, KM_XL_EVENODD)) &&
                    kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS)) &&
                    kmWritten(xl_setpensource_null(&pdev->xl)) && kmWritten(xl_setrop(&pdev->xl, 0xF0)) &&
                    kmWritten(xl_setpainttxmode(&pdev->xl, KM_XL_OPAQUE)) && kmWritten(xl_setsourcetxmode(&pdev->xl, KM_XL_OPAQUE)) &&
                    kmWritten(xl_rectangle(&pdev->xl, RECT{r.left, r.top, r.right, r.bottom}));
    return ok ? TRUE : FALSE;
  }
  if (rop4 == 0xAAAA) return SendMergeImage(pdev) == 0 ? TRUE : draw_Fail(ERROR_WRITE_FAULT);
  if ((rop4 == 0xAAA0 || rop4 == 0xAAF0) && maskSurface) {
    if (SendMergeImage(pdev) != 0) return draw_Fail(ERROR_WRITE_FAULT);
    return EngBitBlt(psoTrg, src, maskSurface, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
  }
  if (IsPatternOnly(rop4, maskSurface != nullptr)) {
    if (SendMergeImage(pdev) != 0) return draw_Fail(ERROR_WRITE_FAULT);
    RECTL r = *prclTrg;
    bool empty;
    if (!FillClip(pdev, pco, &r, &empty)) return empty ? TRUE : FALSE;
    POINTL zero{0, 0};
    const bool ok = SetObjectColor(pdev, KM_KIND_BRUSH, pptlBrush ? pptlBrush : &zero, pbo, rop4) &&
                    kmWritten(xl_setcolorspace_simple(&pdev->xl, KM_XL_RGB, KM_XL_OBJ_GRAPHICS)) &&
                    kmWritten(xl_setpensource_null(&pdev->xl)) && kmWritten(xl_setfillmode(&pdev->xl, KM_XL_EVENODD)) &&
                    kmWritten(xl_rectangle(&pdev->xl, RECT{r.left, r.top, r.right, r.bottom}));
    return ok ? TRUE : FALSE;
  }
  if (!src) return draw_Fail(ERROR_INVALID_PARAMETER);
  if ((rop4 & 0xFF) == (rop4 >> 8)) maskSurface = nullptr;
  LONG mode;
  ULONG rop;
  if (maskSurface && pptlMask) {
    mode = KM_SRC_ROP4;
    rop = rop4;
  } else {
    mode = KM_SRC_ROP3;
    rop = rop4 & 0xFF;
  }
  const LONG width = Span(prclTrg->left, prclTrg->right), height = Span(prclTrg->top, prclTrg->bottom);
  if (CheckLinkImage(pdev, src, prclTrg, mode, rop, kKindBitBlt, width, height) != 0)
    return draw_Fail(ERROR_WRITE_FAULT);
  return DoSourceCopy(pdev, pco, src, maskSurface, width, height, pptlSrc, pptlMask, prclTrg, pxlo, pbo, pptlBrush,
                      mode, rop);
}

// ---- The three entries --------------------------------------------------------------------------------

BOOL DDI_DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                   POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
  if (!psoTrg || !prclTrg) return draw_Fail(ERROR_INVALID_PARAMETER);
  BOOL result;
  PDEV* pdev = draw_Begin(psoTrg, false, &result);
  if (!pdev) return result;
  return Image_DrawROP_pdl(pdev, psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

BOOL DDI_DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       COLORADJUSTMENT*, POINTL*, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG) {
  if (!psoDest || !prclDest || !prclSrc || !psoSrc) return draw_Fail(ERROR_INVALID_PARAMETER);
  BOOL result;
  PDEV* pdev = draw_Begin(psoDest, false, &result);
  if (!pdev) return result;
  const RECTL s = Normal(*prclSrc);
  const LONG width = Span(s.left, s.right), height = Span(s.top, s.bottom);
  if (CheckLinkImage(pdev, psoSrc, prclDest, KM_SRC_ROP3, 0xCC, kKindStretch, width, height) != 0)
    return draw_Fail(ERROR_WRITE_FAULT);
  const POINTL at{s.left, s.top};
  return DoSourceCopy(pdev, pco, psoSrc, psoMask, width, height, &at, pptlMask, prclDest, pxlo, nullptr, nullptr,
                      KM_SRC_ROP3, 0xCC);
}

BOOL DDI_DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                     POINTL* pptlSrc) {
  if (!psoDest || !prclDest || !psoSrc) return draw_Fail(ERROR_INVALID_PARAMETER);
  BOOL result;
  PDEV* pdev = draw_Begin(psoDest, false, &result);
  if (!pdev) return result;
  if (psoSrc->iType != STYPE_BITMAP) return EngEraseSurface(psoDest, prclDest, 0xFFFFFFFFu);
  if (psoDest->iType != STYPE_DEVICE) return draw_Fail(ERROR_INVALID_PARAMETER);
  const LONG width = Span(prclDest->left, prclDest->right), height = Span(prclDest->top, prclDest->bottom);
  if (CheckLinkImage(pdev, psoSrc, prclDest, KM_SRC_ROP3, 0xCC, kKindCopy, width, height) != 0)
    return draw_Fail(ERROR_WRITE_FAULT);
  return DoSourceCopy(pdev, pco, psoSrc, nullptr, width, height, pptlSrc, nullptr, prclDest, pxlo, nullptr, nullptr,
                      KM_SRC_ROP3, 0xCC);
}
