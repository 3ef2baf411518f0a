// The colour judge (see kestrel/spool/colorconv.h): under automatic colour
// the page's colour mode is decided here as objects pass; the first object
// that holds colour sets the page to colour. Also the page colour-mode
// functions and the counting of an image's colours into the page's
// few-colour summary (whose per-colour count is the page store's,
// reached through umseam_FewColorCountOnPixel).
//
// Indexes are never read past the palette: an object with an index beyond
// its palette is left unjudged (result 4, its colours unchanged) and is not
// counted.
//
// Rows are walked by the caller's row stride: a raster pattern's rows come
// padded to its PadBytesMultiple (the renderer pads every row to 4 bytes),
// and reading them as contiguous rows would judge the pad bytes as pixels.
// A stride of 0 is the depth's unpadded row.
#include <cstring>

#include "../seams.h"
#include "kestrel/spool/colorconv.h"

namespace {

enum : int32_t { kPageUndecided = 0, kPageMono = 1, kPageColor = 2 };

uint64_t IndexedRowBytes(DWORD width, int bits) {
  return (static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 7) / 8;
}

// The distance between rows: the caller's stride, or the unpadded row.
uint64_t Stride(size_t rowStride, uint64_t rowBytes) { return rowStride != 0 ? rowStride : rowBytes; }

// The index of pixel x of an indexed row.
DWORD IndexAt(const BYTE* row, DWORD x, int bits) {
  switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 0x1;
    case 4: return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
    default: return row[x];
  }
}

// Full-colour judgement of R, G, B rows.
int32_t JudgeDirect(const BYTE* data, DWORD width, DWORD height, bool strict, size_t rowStride = 0) {
  const uint64_t stride = Stride(rowStride, static_cast<uint64_t>(width) * 3);
  for (DWORD y = 0; y < height; ++y) {
    const BYTE* row = data + static_cast<uint64_t>(y) * stride;
    for (DWORD x = 0; x < width; ++x) {
      const BYTE* p = row + static_cast<uint64_t>(x) * 3;
      if (strict ? !ColorJudge_IsGrayStrict(p) : !ColorJudge_IsGrayTolerant(p)) return COLORJUDGE_COLOR;
    }
  }
  return strict ? COLORJUDGE_GRAY_STRICT : COLORJUDGE_GRAY_TOLERANT;
}

// Indexed judgement through the palette; NOT_JUDGED for an index beyond it.
int32_t JudgeIndexed(const BYTE* data, DWORD width, DWORD height, int bits, const BYTE* palette, DWORD count,
                     bool strict, size_t rowStride) {
  const int32_t grey = strict ? COLORJUDGE_GRAY_STRICT : COLORJUDGE_GRAY_TOLERANT;
  auto isGrey = [&](DWORD index) {
    const BYTE* p = palette + index * 3;
    return strict ? ColorJudge_IsGrayStrict(p) : ColorJudge_IsGrayTolerant(p);
  };
  bool allGrey = true;
  for (DWORD i = 0; i < count && allGrey; ++i) allGrey = isGrey(i);
  if (allGrey) return grey;
  const uint64_t stride = Stride(rowStride, IndexedRowBytes(width, bits));
  int32_t result = grey;
  for (DWORD y = 0; y < height; ++y) {
    const BYTE* row = data + static_cast<uint64_t>(y) * stride;
    for (DWORD x = 0; x < width; ++x) {
      const DWORD index = IndexAt(row, x, bits);
      if (index >= count) return COLORJUDGE_NOT_JUDGED;
      if (result == grey && !isGrey(index)) result = COLORJUDGE_COLOR;
    }
  }
  return result;
}

int CountOne(FEWCOLORINFO* s, uint32_t colour) {
  if (s->enabled == 0) return 0;
  return umseam_FewColorCountOnPixel(s, colour) < 0 ? -1 : 0;
}

uint32_t Rgb(const BYTE* p) { return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2]; }
uint32_t Grey(BYTE v) { return (static_cast<uint32_t>(v) << 16) | (static_cast<uint32_t>(v) << 8) | v; }

}  // namespace

bool ColorJudge_IsGrayStrict(const BYTE* p) { return p[0] == p[1] && p[1] == p[2]; }

bool ColorJudge_IsGrayTolerant(const BYTE* p) {
  if (ColorJudge_IsGrayStrict(p)) return true;
  const double mean = (p[0] + p[1] + p[2]) / 3.0;
  const double t = static_cast<int>(mean) < 192 ? 5.0 : 2.0;
  BYTE lo = p[0], hi = p[0];
  for (int i = 1; i < 3; ++i) {
    if (p[i] < lo) lo = p[i];
    if (p[i] > hi) hi = p[i];
  }
  return !(mean - t > lo) && !(mean + t < hi);
}

FEWCOLORINFO* ColorJudge_PageSummary(UmpdJobContext* ctx) {
  static_assert(sizeof(ctx->pageCtrl.reserved12) == sizeof(FEWCOLORINFO));
  // Words 3-21 of the page-control record; 4-aligned at offset 12.
  return reinterpret_cast<FEWCOLORINFO*>(ctx->pageCtrl.reserved12);
}

int ColorJudge_InitColorJudgeInfo(ColorJudgeInfo** info) {
  if (info == nullptr) return -1;
  *info = static_cast<ColorJudgeInfo*>(GlobalAlloc(GPTR, sizeof(ColorJudgeInfo)));
  if (*info == nullptr) return -1;
  (*info)->result = COLORJUDGE_NOT_JUDGED;
  return 0;
}

int ColorJudge_DisposeColorJudgeInfo(ColorJudgeInfo** info) {
  if (info == nullptr) return -1;
  if (*info != nullptr) GlobalFree(*info);
  *info = nullptr;
  return 0;
}

BOOL jobOutput_isFixedAutoColorMode(UmpdJobContext* ctx) {
  return !(jobOutput_isOpened(ctx) == 1 && ctx->pageCtrl.pageColorMode == kPageUndecided);
}

BOOL jobOutput_isFixedVagueAutoColor(UmpdJobContext* ctx) {
  return ctx->pageCtrl.pageColorMode == kPageUndecided && ctx->jobInfo.colorModeAuto == 0;
}

int jobOutput_setColorModeToColor(UmpdJobContext* ctx) {
  if (ctx->pageCtrl.pageColorMode != kPageUndecided) return -1;
  ctx->pageCtrl.pageColorMode = kPageColor;
  return 0;
}

int ColorJudge_JudgeObjectColor(ColorJudgeInfo* info, FEWCOLORINFO* summary, UmpdJobContext* ctx, const BYTE* data,
                                DWORD width, DWORD height, const BYTE* palette, DWORD paletteCount, int kind,
                                int bits, size_t rowStride) {
  if (info == nullptr) return -1;
  if (ctx == nullptr || summary == nullptr || data == nullptr) {
    info->result = COLORJUDGE_NOT_JUDGED;
    return -1;
  }
  const bool indexed = kind == COLORJUDGE_KIND_INDEXED && (bits == 1 || bits == 4 || bits == 8) && palette != nullptr;
  const bool direct = kind == COLORJUDGE_KIND_DIRECT && bits == 24;
  if (jobOutput_isFixedAutoColorMode(ctx)) {
    info->result = COLORJUDGE_NOT_JUDGED;  // fixed: nothing to decide, the object counts as judged
  } else {
    const bool strict = ctx->jobInfo.colorModeAuto == 0;
    int32_t r = COLORJUDGE_NOT_JUDGED;
    if (direct) {
      r = JudgeDirect(data, width, height, strict, rowStride);
    } else if (indexed) {
      r = JudgeIndexed(data, width, height, bits, palette, paletteCount, strict, rowStride);
    }
    info->result = r;
    if (r == COLORJUDGE_COLOR) jobOutput_setColorModeToColor(ctx);
    if (r == COLORJUDGE_NOT_JUDGED) return -1;
  }
  if (summary->enabled != 0 && (direct || indexed)) {
    if (fewColor_countColorsInDIB(summary, data, width, height, bits, TRUE, indexed ? palette : nullptr,
                                  indexed ? paletteCount : 0, rowStride) != 0) {
      return -1;
    }
  }
  return 0;
}

int ColorJudge_JudgeObjectColorForGrayH(ColorJudgeInfo* info, const BYTE* data, DWORD width, DWORD height, int, int,
                                        int kind, int bits, int, int strict) {
  if (info != nullptr) {
    if (strict != 0 && info->result == COLORJUDGE_COLOR) return COLORJUDGE_COLOR;
    if (info->result == COLORJUDGE_GRAY_STRICT) return COLORJUDGE_GRAY_STRICT;
  }
  if (data != nullptr && kind == COLORJUDGE_KIND_DIRECT && bits == 24) return JudgeDirect(data, width, height, true);
  return -1;
}

int fewColor_countColorsInDIB(FEWCOLORINFO* summary, const BYTE* data, DWORD width, DWORD height, int bits,
                              BOOL colorFlag, const BYTE* palette, DWORD paletteCount, size_t rowStride) {
  if (summary == nullptr || data == nullptr) return -1;
  auto entry = [&](DWORD index, uint32_t* colour) {
    if (palette == nullptr || index >= paletteCount) return false;
    *colour = colorFlag ? Rgb(palette + index * 3) : Grey(palette[index]);
    return true;
  };
  switch (bits) {
    case 1:
    case 4:
    case 8: {
      const uint64_t stride = Stride(rowStride, IndexedRowBytes(width, bits));
      bool seen[2] = {false, false};
      for (DWORD y = 0; y < height && summary->enabled != 0; ++y) {
        const BYTE* row = data + static_cast<uint64_t>(y) * stride;
        for (DWORD x = 0; x < width && summary->enabled != 0; ++x) {
          const DWORD index = IndexAt(row, x, bits);
          uint32_t colour;
          if (!entry(index, &colour)) return -1;
          if (bits == 1) {
            if (seen[index]) continue;
            seen[index] = true;
          }
          if (CountOne(summary, colour) != 0) return -1;
        }
        if (bits == 1 && seen[0] && seen[1]) break;  // both entries seen: nothing more to find
      }
      return 0;
    }
    case 24: {
      const uint64_t step = colorFlag ? 3 : 1;
      const uint64_t stride = Stride(rowStride, static_cast<uint64_t>(width) * step);
      for (DWORD y = 0; y < height && summary->enabled != 0; ++y) {
        const BYTE* row = data + static_cast<uint64_t>(y) * stride;
        for (DWORD x = 0; x < width && summary->enabled != 0; ++x) {
          const uint32_t colour = colorFlag ? Rgb(row + x * 3) : Grey(row[x]);
          if (CountOne(summary, colour) != 0) return -1;
        }
      }
      return 0;
    }
    default: return -1;
  }
}
