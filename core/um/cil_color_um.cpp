// The shared colour helpers and the file deletion (see
// kestrel/core/cil_color.h).
#include "kestrel/core/cil_color.h"

#include <cstring>

namespace {

int Clamp100(int v) { return v < -100 ? -100 : v > 100 ? 100 : v; }

int32_t Fixed(double v) { return static_cast<int32_t>(v * 65536.0); }  // truncated toward zero

BYTE Clamp255(int64_t v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

int cil_Create_LCC_Param_sBGR(CIL_LCC_PARAM* block, int lightness, int chroma, int contrast) {
  if (block == nullptr) return -1;
  lightness = Clamp100(lightness);
  chroma = Clamp100(chroma);
  contrast = Clamp100(contrast);
  const double k = 1.0 + 0.003 * contrast;
  const double s = chroma >= 0 ? 1.0 + 0.01 * chroma : 1.0 + 0.005 * chroma;
  const double offset = 255.0 * (1.0 - k) + 0.5 * lightness;
  // The green diagonal's chroma weight is 0.401, not 0.41.
  const double m[9] = {0.3 * k + 0.7 * s, 0.59 * (k - s),       0.11 * (k - s),
                       0.3 * (k - s),     0.59 * k + 0.401 * s, 0.11 * (k - s),
                       0.3 * (k - s),     0.59 * (k - s),       0.11 * k + 0.89 * s};
  for (int i = 0; i < 9; ++i) block->matrix[i] = Fixed(m[i]);
  for (int i = 0; i < 3; ++i) block->offset[i] = Fixed(offset);
  return 0;
}

void cil_LCC_Conv_sBGR(const CIL_LCC_PARAM* block, const BYTE* source, BYTE* destination, size_t pixels) {
  if (source == nullptr || destination == nullptr) return;
  if (block == nullptr) {
    if (source != destination) std::memmove(destination, source, pixels * 3);
    return;
  }
  for (size_t i = 0; i < pixels; ++i) {
    const BYTE* s = source + i * 3;
    const int64_t in[3] = {s[2] * 257, s[1] * 257, s[0] * 257};  // R, G, B widened to 16 bits
    int64_t out[3];
    for (int k = 0; k < 3; ++k) {
      const int32_t* row = block->matrix + k * 3;
      const int64_t sum = (row[0] >> 2) * in[0] + (row[1] >> 2) * in[1] + (row[2] >> 2) * in[2];
      out[k] = (sum >> 22) + (block->offset[k] >> 16);
    }
    BYTE* d = destination + i * 3;
    d[0] = Clamp255(out[2]);
    d[1] = Clamp255(out[1]);
    d[2] = Clamp255(out[0]);
  }
}

void cil_ColorToFlatGray(const BYTE* source, BYTE* destination, WORD width, WORD height) {
  if (source == nullptr || destination == nullptr) return;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < pixels; ++i) {
    const BYTE* p = source + i * 3;
    if (p[0] == p[1] && p[1] == p[2]) {
      destination[i] = p[0];
    } else {
      destination[i] = static_cast<BYTE>(((static_cast<unsigned>(p[0]) + p[2]) * 85 + p[1] * 86u) >> 8);
    }
  }
}

void cil_ColorToBlack(const BYTE* source, BYTE* destination, WORD width, WORD height, int bytesPerPixel) {
  if (source == nullptr || destination == nullptr || bytesPerPixel < 1) return;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t n = static_cast<size_t>(bytesPerPixel);
  for (size_t i = 0; i < pixels; ++i) {
    bool white = true;
    for (size_t b = 0; b < n; ++b) white = white && source[i * n + b] == 0xFF;
    std::memset(destination + i * n, white ? 0xFF : 0x00, n);
  }
}

BOOL drvio_file_delete(LPCWSTR path) {
  if (path == nullptr) return FALSE;
  return DeleteFileW(path) ? TRUE : FALSE;
}
