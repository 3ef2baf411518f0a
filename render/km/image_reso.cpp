// Resolution conversion: a large image bound for a small place on the page
// is reduced (an area average over DDA tables) before it is sent, when the
// devmode asks for a target resolution.
//
// The handle and its buffers come from engine memory and live for one
// image (DoSourceCopy). Rows arrive one at a time, 8 or 24 bits a pixel; an
// output row is made as soon as its last source row is in.
#include <cstring>

#include "draw.h"

namespace {

constexpr ULONG kTagReso = 'D' | ('p' << 8) | ('s' << 16) | ('r' << 24);  // "Dpsr"
constexpr DWORD kMaxRows = 16;     // source rows one output row may span
constexpr LONG kMaxReduction = 14;  // the largest reduction in either direction

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

}  // namespace

struct KM_RESOCONV {
  DWORD state;  // 1 initialised
  LONG xres, yres, target;
  LONG width, height;        // source
  LONG outWidth, outHeight;  // output
  KM_DDA* xdda;
  KM_DDA* ydda;
  DWORD channels;   // bytes a pixel (1 or 3)
  BYTE* rows[kMaxRows];   // buffered source rows
  BYTE* xrows[kMaxRows];  // the same reduced in x
  BYTE* line;             // the output line
  DWORD buffered;         // rows in `rows`
  LONG firstBuffered;     // source index of rows[0]
  LONG consumed;          // source rows taken
  LONG made;              // output rows made
  DWORD lineLength;
};

namespace {

void* Alloc(size_t bytes) {
  if (bytes == 0 || bytes > 0x7FFFFFFF) return nullptr;
  return EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), kTagReso);
}
void Free(void* p) {
  if (p) EngFreeMem(p);
}

}  // namespace

void _rv_clear_resoconv(KM_RESOCONV* h) {
  Free(h->xdda);
  Free(h->ydda);
  h->xdda = h->ydda = nullptr;
  for (DWORD i = 0; i < kMaxRows; ++i) {
    Free(h->rows[i]);
    Free(h->xrows[i]);
    h->rows[i] = h->xrows[i] = nullptr;
  }
  Free(h->line);
  h->line = nullptr;
  h->buffered = 0;
  h->consumed = h->made = 0;
}

KM_RESOCONV* ResoConv_GetHandle() { return static_cast<KM_RESOCONV*>(Alloc(sizeof(KM_RESOCONV))); }

void ResoConv_FreeHandle(KM_RESOCONV* h) {
  if (!h) return;
  _rv_clear_resoconv(h);
  EngFreeMem(h);
}

LONG ResoConv_Init(KM_RESOCONV* h, LONG kind, LONG xres, LONG yres, LONG target) {
  if (!h || kind != 1 || xres <= 0 || yres <= 0 || target <= 0) return 0;
  _rv_clear_resoconv(h);
  h->xres = xres;
  h->yres = yres;
  h->target = target;
  h->state = 1;
  return 1;
}

LONG ResoConv_GetNewSize(KM_RESOCONV* h, LONG width, LONG height, LONG targetWidth, LONG targetHeight,
                         LONG* outWidth, LONG* outHeight) {
  if (!h || h->state != 1 || width <= 0 || height <= 0 || !outWidth || !outHeight) return 0;
  auto size = [&](LONG source, LONG dest, LONG res) {
    const long long d = dest < 0 ? -static_cast<long long>(dest) : dest;
    long long n = static_cast<long long>(h->target) * d / res;
    if (n < 1) n = 1;
    if (source / n > kMaxReduction) n = source / kMaxReduction + 1;
    if (n > source) n = source;
    return static_cast<LONG>(n);
  };
  *outWidth = size(width, targetWidth, h->xres);
  *outHeight = size(height, targetHeight, h->yres);
  return 1;
}

BOOL _rv_ComputeDDA(DWORD n, DWORD m, KM_DDA* out) {
  if (m == 0 || m > n || n > 0xFFFF || !out) return FALSE;
  auto first = [&](DWORD i) { return static_cast<DWORD>(static_cast<unsigned long long>(i) * n / m); };
  auto firstWeight = [&](DWORD i) {
    return static_cast<DWORD>(256 - (static_cast<unsigned long long>(i) * n % m) * 256 / m);
  };
  for (DWORD i = 0; i < m; ++i) {
    out[i].first = static_cast<WORD>(first(i));
    out[i].firstWeight = static_cast<WORD>(firstWeight(i));
    if (i + 1 == m) {
      out[i].last = static_cast<WORD>(n - 1);
      out[i].lastWeight = 256;
    } else if (static_cast<unsigned long long>(i + 1) * n % m == 0) {
      out[i].last = static_cast<WORD>(first(i + 1) - 1);
      out[i].lastWeight = 256;
    } else {
      out[i].last = static_cast<WORD>(first(i + 1));
      out[i].lastWeight = static_cast<WORD>(256 - firstWeight(i + 1));
    }
  }
  return TRUE;
}

LONG ResoConv_CreateConvParam(KM_RESOCONV* h, LONG width, LONG height, LONG newWidth, LONG newHeight) {
  if (!h || h->state != 1 || width <= 0 || height <= 0 || newWidth <= 0 || newHeight <= 0) return 0;
  if (newWidth > width || newHeight > height || width > 0xFFFF || height > 0xFFFF) return 0;
  if (width / newWidth > kMaxReduction || height / newHeight > kMaxReduction) return 0;
  _rv_clear_resoconv(h);
  h->width = width;
  h->height = height;
  h->outWidth = newWidth;
  h->outHeight = newHeight;
  h->xdda = static_cast<KM_DDA*>(Alloc(sizeof(KM_DDA) * static_cast<size_t>(newWidth)));
  h->ydda = static_cast<KM_DDA*>(Alloc(sizeof(KM_DDA) * static_cast<size_t>(newHeight)));
  if (!h->xdda || !h->ydda || !_rv_ComputeDDA(static_cast<DWORD>(width), static_cast<DWORD>(newWidth), h->xdda) ||
      !_rv_ComputeDDA(static_cast<DWORD>(height), static_cast<DWORD>(newHeight), h->ydda)) {
    _rv_clear_resoconv(h);
    return 0;
  }
  return 1;
}

void ResoConv_OutputSize(const KM_RESOCONV* h, LONG* width, LONG* height) {
  *width = h->outWidth;
  *height = h->outHeight;
}

// One output channel over a span of inputs with the DDA's weights.
static BYTE Weighted(const KM_DDA& d, auto&& value) {
  unsigned long total = d.firstWeight, sum = static_cast<unsigned long>(d.firstWeight) * value(d.first);
  for (DWORD k = d.first + 1u; k < d.last; ++k) {
    total += 256;
    sum += 256ul * value(k);
  }
  if (d.last != d.first) {
    total += d.lastWeight;
    sum += static_cast<unsigned long>(d.lastWeight) * value(d.last);
  }
  return static_cast<BYTE>(total ? (sum + total / 2) / total : 0);
}

void _rv_shrink_X(const KM_RESOCONV* h, const BYTE* src, BYTE* dst) {
  const DWORD c = h->channels;
  for (LONG i = 0; i < h->outWidth; ++i)
    for (DWORD ch = 0; ch < c; ++ch)
      dst[i * c + ch] = Weighted(h->xdda[i], [&](DWORD k) { return static_cast<unsigned long>(src[k * c + ch]); });
}

void _rv_shrink_Y(const KM_RESOCONV* h, const KM_DDA& d, BYTE* dst) {
  const DWORD bytes = static_cast<DWORD>(h->outWidth) * h->channels;
  for (DWORD b = 0; b < bytes; ++b)
    dst[b] = Weighted(d, [&](DWORD k) { return static_cast<unsigned long>(h->xrows[k - d.first][b]); });
}

// Takes one source row; answers the output line's length when an output
// row is complete, 0 when more rows are needed, -1 on error.
LONG _rv_convertdata_bresenham(KM_RESOCONV* h, const BYTE* row, DWORD pixels) {
  if (h->made >= h->outHeight) return 0;  // rows past the last output row
  const DWORD inBytes = static_cast<DWORD>(h->width) * h->channels;
  const DWORD outBytes = static_cast<DWORD>(h->outWidth) * h->channels;
  if (pixels < static_cast<DWORD>(h->width)) return -1;
  if (h->buffered >= kMaxRows) return -1;
  if (!h->rows[h->buffered]) h->rows[h->buffered] = static_cast<BYTE*>(Alloc(inBytes));
  if (!h->rows[h->buffered]) return -1;
  std::memcpy(h->rows[h->buffered], row, inBytes);
  if (h->buffered == 0) h->firstBuffered = h->consumed;
  ++h->buffered;
  const LONG index = h->consumed++;
  const KM_DDA& d = h->ydda[h->made];
  if (index < d.last) return 0;
  if (!h->line) h->line = static_cast<BYTE*>(Alloc(outBytes));
  if (!h->line) return -1;
  // Every row of the span reduced in x (or taken as it is), then combined in y.
  for (DWORD j = 0; j < h->buffered; ++j) {
    if (!h->xrows[j]) h->xrows[j] = static_cast<BYTE*>(Alloc(outBytes));
    if (!h->xrows[j]) return -1;
    if (h->outWidth == h->width)
      std::memcpy(h->xrows[j], h->rows[j], outBytes);
    else
      _rv_shrink_X(h, h->rows[j], h->xrows[j]);
  }
  if (static_cast<LONG>(d.first) != h->firstBuffered) return -1;
  if (h->outHeight == h->height)
    std::memcpy(h->line, h->xrows[0], outBytes);
  else
    _rv_shrink_Y(h, d, h->line);
  ++h->made;
  if (d.lastWeight != 256 && h->made < h->outHeight) {
    // The last row is shared with the next output row: it stays first.
    BYTE* keep = h->rows[h->buffered - 1];
    h->rows[h->buffered - 1] = h->rows[0];
    h->rows[0] = keep;
    h->buffered = 1;
    h->firstBuffered = index;
  } else {
    h->buffered = 0;
  }
  h->lineLength = outBytes;
  return static_cast<LONG>(outBytes);
}

LONG ResoConv_ConvertData(KM_RESOCONV* h, const BYTE* row, DWORD rowBytes, DWORD pixels, DWORD bpp) {
  if (!h || !row || h->state != 1 || !h->xdda || (bpp != 8 && bpp != 24)) return -1;
  h->channels = bpp / 8;
  if (rowBytes < static_cast<DWORD>(h->width) * h->channels) return -1;
  return _rv_convertdata_bresenham(h, row, pixels);
}

LONG ResoConv_GetLineData(KM_RESOCONV* h, BYTE* buffer, DWORD length) {
  if (!h || !buffer || !h->line || length < h->lineLength) return -1;
  std::memcpy(buffer, h->line, h->lineLength);
  return static_cast<LONG>(h->lineLength);
}

KM_RESOCONV* _doResoConversion(PDEV* pdev, LONG mode, ULONG rop, ULONG bpp, LONG width, LONG height, LONG dw,
                               LONG dh) {
  if (mode != KM_SRC_ROP3 || (rop & 0xFF) != 0xCC || bpp < 16) return nullptr;
  if ((Num(pdev, DDM_RESCONVERSION) & 0xFF) == 0) return nullptr;
  const LONG target = Num(pdev, DDM_RESCONVTHRESHOLD);
  if (target <= 0) return nullptr;
  KM_RESOCONV* h = ResoConv_GetHandle();
  if (!h) return nullptr;
  const LONG xres = draw_Resolution(pdev);
  const LONG y = Num(pdev, DDM_YRESOLUTION);
  const LONG yres = y > 0 ? y : xres;
  LONG nw = 0, nh = 0;
  if (!ResoConv_Init(h, 1, xres, yres, target) || !ResoConv_GetNewSize(h, width, height, dw, dh, &nw, &nh) ||
      (nw >= width && nh >= height) || !ResoConv_CreateConvParam(h, width, height, nw, nh)) {
    ResoConv_FreeHandle(h);
    return nullptr;
  }
  return h;
}
