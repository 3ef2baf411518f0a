// The row encoders of the image re-encoding (see kestrel/spool/image.h):
// PackBits run-length and delta row as PCL XL reads them, the padded rows,
// the compression choice, the quarter turn and the small helpers.
//
// Every encoder is given the room it may fill and answers -1 rather than
// write past it; the caller then sends the image uncompressed. A delta row
// whose encoding does not fit its 16-bit length is refused the same way.
#include <cstring>

#include "kestrel/spool/image.h"

namespace {

constexpr size_t kRunMax = 127;      // bytes in one run or literal group
constexpr size_t kDeltaRunMax = 8;   // changed bytes in one delta command
constexpr size_t kDeltaOffsetInline = 31;  // offsets from this on take extra bytes
constexpr size_t kDeltaOffsetByte = 255;   // an extra offset byte that says "more follows"
constexpr size_t kDeltaRowLengthMax = 0xFFFF;

// Appends bytes when there is room (out null: counts only).
struct Sink {
  BYTE* out;
  size_t capacity;
  size_t length = 0;
  bool full = false;
  void Put(BYTE b) {
    if (out != nullptr) {
      if (length >= capacity) {
        full = true;
        return;
      }
      out[length] = b;
    }
    ++length;
  }
  void Put(const BYTE* p, size_t n) {
    if (out != nullptr) {
      if (length > capacity || n > capacity - length) {
        full = true;
        return;
      }
      std::memcpy(out + length, p, n);
    }
    length += n;
  }
};

}  // namespace

int GetBPP(int* out, int colorKind, BOOL indexed, int depth) {
  if (out == nullptr) return -1;
  if (!indexed) {
    *out = colorKind == IMAGE_COLOR_COLOR ? 24 : 8;
    return 0;
  }
  switch (depth) {
    case IMAGE_DEPTH_8: *out = 8; return 0;
    case IMAGE_DEPTH_4: *out = 4; return 0;
    case IMAGE_DEPTH_1: *out = 1; return 0;
    default: return -1;
  }
}

bool CheckBWPalette(const BYTE* palette, DWORD count) {
  if (palette == nullptr) return false;
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* p = palette + static_cast<size_t>(i) * 3;
    const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
    const bool white = p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF;
    if (!black && !white) return false;
  }
  return true;
}

void BGRtoRGB(BYTE* data, size_t count, size_t rows) {
  if (data == nullptr) return;
  const size_t n = count * rows;
  for (size_t i = 0; i < n; ++i) {
    BYTE* p = data + i * 3;
    const BYTE t = p[0];
    p[0] = p[2];
    p[2] = t;
  }
}

// ---- run-length ---------------------------------------------------------------------

int64_t RLECompress(BYTE* out, size_t capacity, const BYTE* data, size_t count) {
  Sink s{out, capacity};
  if (data == nullptr && count > 0) return -1;
  size_t i = 0;
  while (i < count && !s.full) {
    if (i + 1 < count && data[i] == data[i + 1]) {
      size_t run = 2;
      while (i + run < count && run < kRunMax && data[i + run] == data[i]) ++run;
      s.Put(static_cast<BYTE>(1 - static_cast<int>(run)));  // -(run - 1), two's complement
      s.Put(data[i]);
      i += run;
      continue;
    }
    // A literal group: up to the byte that starts a pair, at most 127; a
    // last single byte joins it.
    size_t n = 1;
    while (i + n < count && n < kRunMax && !(i + n + 1 < count && data[i + n] == data[i + n + 1])) ++n;
    s.Put(static_cast<BYTE>(n - 1));
    s.Put(data + i, n);
    i += n;
  }
  if (s.full) return -1;
  return static_cast<int64_t>(s.length);
}

// ---- delta row -----------------------------------------------------------------------

int64_t DeltaRowCompress(BYTE* out, size_t capacity, const BYTE* row, const BYTE* seed, size_t count) {
  if ((row == nullptr || seed == nullptr) && count > 0) return -1;
  Sink s{out, capacity};
  s.Put(0);  // the length, filled in below
  s.Put(0);
  size_t i = 0;
  size_t lastEnd = 0;  // where the previous run ended
  while (i < count && !s.full) {
    if (row[i] == seed[i]) {
      ++i;
      continue;
    }
    size_t n = 1;
    while (i + n < count && n < kDeltaRunMax && row[i + n] != seed[i + n]) ++n;
    const size_t offset = i - lastEnd;
    const BYTE head = static_cast<BYTE>((n - 1) << 5);
    if (offset < kDeltaOffsetInline) {
      s.Put(static_cast<BYTE>(head | offset));
    } else {
      s.Put(static_cast<BYTE>(head | kDeltaOffsetInline));
      size_t rest = offset - kDeltaOffsetInline;
      for (; rest >= kDeltaOffsetByte && !s.full; rest -= kDeltaOffsetByte) s.Put(static_cast<BYTE>(kDeltaOffsetByte));
      s.Put(static_cast<BYTE>(rest));
    }
    s.Put(row + i, n);
    i += n;
    lastEnd = i;
  }
  if (s.full) return -1;
  const size_t body = s.length - 2;
  if (body > kDeltaRowLengthMax) return -1;
  if (out != nullptr) {
    out[0] = static_cast<BYTE>(body & 0xFF);
    out[1] = static_cast<BYTE>(body >> 8);
  }
  return static_cast<int64_t>(s.length);
}

// ---- the rows of a result ------------------------------------------------------------------

namespace {

// The padded row of a result's rows, its size and the pad: false when the
// sizes pass what a size_t (or one embedded-data block) holds.
bool Layout(ImageRotCompResult* r, size_t rowBytes) {
  const size_t pad = rowBytes % 4 == 0 ? 0 : 4 - rowBytes % 4;
  r->padBytes = pad;
  r->paddedRow = rowBytes + pad;
  if (r->height != 0 && r->paddedRow > SIZE_MAX / r->height) return false;
  r->uncompressedSize = r->paddedRow * r->height;
  return r->uncompressedSize <= 0xFFFFFFF0u;  // one embedded-data block, with its head
}

BYTE* Alloc(size_t n) { return static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, n == 0 ? 1 : n)); }

}  // namespace

int MakeXLdata(ImageRotCompResult* r, const BYTE* rows, size_t rowBytes) {
  if (r == nullptr || rows == nullptr || !Layout(r, rowBytes)) return -1;
  BYTE* out = Alloc(r->uncompressedSize);
  if (out == nullptr) return -1;
  for (size_t y = 0; y < r->height; ++y) {
    std::memcpy(out + y * r->paddedRow, rows + y * rowBytes, rowBytes);
    std::memset(out + y * r->paddedRow + rowBytes, 0, r->padBytes);
  }
  if (r->uncompressed != nullptr) GlobalFree(r->uncompressed);
  r->uncompressed = out;
  return 0;
}

int MakeXLdata_RLE(ImageRotCompResult* r, const BYTE* rows, size_t rowBytes) {
  if (r == nullptr || rows == nullptr || !Layout(r, rowBytes)) return -1;
  // Room for one and a half times the padded rows: the data is sent this
  // way only when it comes out smaller than them anyway.
  const size_t capacity = r->uncompressedSize + r->uncompressedSize / 2;
  BYTE* out = Alloc(capacity);
  if (out == nullptr) return -1;
  static const BYTE zeros[4] = {};
  BYTE padCode[4];
  const int64_t padLength = RLECompress(padCode, sizeof padCode, zeros, r->padBytes);
  size_t at = 0;
  bool fits = padLength >= 0;
  for (size_t y = 0; y < r->height && fits; ++y) {
    const int64_t n = RLECompress(out + at, capacity - at, rows + y * rowBytes, rowBytes);
    if (n < 0 || static_cast<size_t>(padLength) > capacity - at - static_cast<size_t>(n)) {
      fits = false;
      break;
    }
    at += static_cast<size_t>(n);
    std::memcpy(out + at, padCode, static_cast<size_t>(padLength));
    at += static_cast<size_t>(padLength);
  }
  if (!fits) {
    GlobalFree(out);
    return -1;
  }
  if (r->compressed != nullptr) GlobalFree(r->compressed);
  r->compressed = out;
  r->compressedSize = at;
  r->padEncoded = static_cast<size_t>(padLength);
  r->compression = IMAGE_COMP_RLE;
  return 0;
}

int MakeXLdata_DeltaRow(ImageRotCompResult* r, const BYTE* rows, size_t rowBytes) {
  if (r == nullptr || rows == nullptr || !Layout(r, rowBytes)) return -1;
  // 1.2 times the padded rows and three bytes a row.
  const size_t base = r->uncompressedSize;
  if (r->height > (SIZE_MAX - base - base / 5) / 3) return -1;
  const size_t capacity = base + base / 5 + 3 * static_cast<size_t>(r->height);
  BYTE* out = Alloc(capacity);
  BYTE* seed = static_cast<BYTE*>(GlobalAlloc(GPTR, rowBytes == 0 ? 1 : rowBytes));  // zeroed
  if (out == nullptr || seed == nullptr) {
    if (out != nullptr) GlobalFree(out);
    if (seed != nullptr) GlobalFree(seed);
    return -1;
  }
  size_t at = 0;
  bool fits = true;
  for (size_t y = 0; y < r->height; ++y) {
    const BYTE* row = rows + y * rowBytes;
    const int64_t n = DeltaRowCompress(out + at, capacity - at, row, seed, rowBytes);
    if (n < 0) {
      fits = false;
      break;
    }
    at += static_cast<size_t>(n);
    std::memcpy(seed, row, rowBytes);
  }
  GlobalFree(seed);
  if (!fits) {
    GlobalFree(out);
    return -1;
  }
  if (r->compressed != nullptr) GlobalFree(r->compressed);
  r->compressed = out;
  r->compressedSize = at;
  r->compression = IMAGE_COMP_DELTAROW;
  return 0;
}

void ImageRotComp_Free(ImageRotCompResult* r) {
  if (r == nullptr) return;
  if (r->uncompressed != nullptr) GlobalFree(r->uncompressed);
  if (r->compressed != nullptr) GlobalFree(r->compressed);
  GlobalFree(r);
}

// ---- the choice ------------------------------------------------------------------------------

namespace {

bool TonesOk(const IMAGECOMP_DATA* d) {  // the indexed / continuous-tone alternative
  return (d->kind == IMAGE_KIND_RGB && d->bpp == 24) ||
         ((d->kind == IMAGE_KIND_GRAY || d->kind == IMAGE_KIND_INDEXED_GRAY || d->kind == IMAGE_KIND_INDEXED_RGB) &&
          d->bpp == 8);
}
bool OneBitIndexed(const IMAGECOMP_DATA* d) {
  return (d->kind == IMAGE_KIND_INDEXED_GRAY || d->kind == IMAGE_KIND_INDEXED_RGB) && d->bpp == 1;
}

}  // namespace

bool ImageComp_GetCompressMethod(int request, const IMAGECOMP_DATA* d, int* method) {
  int m = IMAGECOMP_METHOD_NONE;
  const bool known = request == IMAGECOMP_METHOD_JPEG || request == IMAGECOMP_METHOD_1BIT_A ||
                     request == IMAGECOMP_METHOD_1BIT_B || request == IMAGECOMP_METHOD_INDEXED_CT;
  if (d != nullptr && known && d->size >= IMAGECOMP_MIN_BYTES) {
    bool tryOneBit = false;
    if (request == IMAGECOMP_METHOD_INDEXED_CT) {
      m = TonesOk(d) ? IMAGECOMP_METHOD_INDEXED_CT : IMAGECOMP_METHOD_NONE;
    } else if (request == IMAGECOMP_METHOD_JPEG) {
      const bool jpegKind = (d->kind == IMAGE_KIND_RGB && d->bpp == 24) ||
                            (d->kind == IMAGE_KIND_GRAY && d->bpp == 8) ||
                            (d->kind == IMAGE_KIND_INDEXED_GRAY && d->bpp == 8);
      if (jpegKind && d->colorSpace == IMAGECOMP_JPEG_ARG_COLORSPACE && d->rop == IMAGECOMP_JPEG_ARG_ROP) {
        m = IMAGECOMP_METHOD_JPEG;
      } else if (TonesOk(d)) {
        m = IMAGECOMP_METHOD_INDEXED_CT;
      } else {
        tryOneBit = true;
      }
    } else {
      tryOneBit = true;
    }
    if (tryOneBit) {
      if ((request == IMAGECOMP_METHOD_1BIT_B || request == IMAGECOMP_METHOD_JPEG) && OneBitIndexed(d)) {
        m = IMAGECOMP_METHOD_1BIT_B;
      } else if (OneBitIndexed(d)) {
        m = IMAGECOMP_METHOD_1BIT_A;
      }
    }
  }
  if (method != nullptr) *method = m;
  return m == IMAGECOMP_METHOD_NONE;
}

// ---- the quarter turn -----------------------------------------------------------------------

int imgrot_CreateHandle(ImgRotHandle** handle) {
  if (handle == nullptr) return -1;
  *handle = static_cast<ImgRotHandle*>(GlobalAlloc(GPTR, sizeof(ImgRotHandle)));
  return *handle != nullptr ? 0 : -1;
}

int imgrot_DeleteHandle(ImgRotHandle** handle) {
  if (handle == nullptr) return -1;
  if (*handle != nullptr) {
    if ((*handle)->buffer != nullptr) GlobalFree((*handle)->buffer);
    GlobalFree(*handle);
    *handle = nullptr;
  }
  return 0;
}

namespace {

int _imgrot_ImageRotationWithByte(ImgRotHandle* h, DWORD width, DWORD height, size_t sourceRow, size_t n,
                                  const BYTE* data, DWORD alignment, BYTE** out) {
  if (alignment == 0) alignment = 1;
  const size_t row = static_cast<size_t>(height) * n;
  const size_t outRow = (row + alignment - 1) / alignment * alignment;
  if (width != 0 && outRow > SIZE_MAX / width) return 1;
  const size_t need = outRow * width;
  if (need > h->size || h->buffer == nullptr) {
    BYTE* grown = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, need == 0 ? 1 : need));
    if (grown == nullptr) return 1;
    if (h->buffer != nullptr) GlobalFree(h->buffer);
    h->buffer = grown;
    h->size = need;
  }
  std::memset(h->buffer, 0, need);
  // Output row x, position height - 1 - y = source row y, column x.
  for (DWORD y = 0; y < height; ++y) {
    const BYTE* src = data + static_cast<size_t>(y) * sourceRow;
    BYTE* column = h->buffer + static_cast<size_t>(height - 1 - y) * n;
    for (DWORD x = 0; x < width; ++x) std::memcpy(column + static_cast<size_t>(x) * outRow, src + x * n, n);
  }
  *out = h->buffer;
  return 0;
}

}  // namespace

int imgrot_ImageRotation(ImgRotHandle* handle, DWORD width, DWORD height, size_t sourceRow, int bpp,
                         const BYTE* data, DWORD alignment, BYTE** out) {
  if (handle == nullptr || data == nullptr || out == nullptr) return 1;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 1;
  const size_t n = static_cast<size_t>(bpp) / 8;
  if (sourceRow < static_cast<size_t>(width) * n) return 1;
  return _imgrot_ImageRotationWithByte(handle, width, height, sourceRow, n, data, alignment, out);
}
