// The colour helpers both user-mode libraries share (kestrelui's previews,
// kestrelum's colour conversion) and the common file deletion. User mode
// only (core/um/cil_color_um.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/kwindows.h"

// Linear colour correction of lightness, chroma and contrast: a 3 x 3
// matrix by rows (output red, green, blue; columns red, green, blue) and the
// three channel offsets, all 16.16.
struct CIL_LCC_PARAM {
  int32_t matrix[9];
  int32_t offset[3];
};
static_assert(sizeof(CIL_LCC_PARAM) == 48, "twelve signed 32-bit values");

// Each setting clamped to -100..100; 0, or -1 for a null block.
int cil_Create_LCC_Param_sBGR(CIL_LCC_PARAM* block, int lightness, int chroma, int contrast);
// Pixels stored blue, green, red. A null block copies; a null source or
// destination does nothing. Source and destination may be the same.
void cil_LCC_Conv_sBGR(const CIL_LCC_PARAM* block, const BYTE* source, BYTE* destination, size_t pixels);

// Three-byte pixels, row after row without padding, to one grey byte each:
// equal bytes give that byte, else ((p0 + p2) x 85 + p1 x 86) >> 8.
void cil_ColorToFlatGray(const BYTE* source, BYTE* destination, WORD width, WORD height);

// Every pixel that is not pure white (all its bytes 255) becomes pure black
// (all 0). bytesPerPixel: 3 for colour pixels, 1 for grey ones (the colour
// conversion applies it after a flat-grey step too). Source and destination
// may be the same.
void cil_ColorToBlack(const BYTE* source, BYTE* destination, WORD width, WORD height, int bytesPerPixel);

// Deletes the file with the platform's file deletion: non-zero on success.
BOOL drvio_file_delete(LPCWSTR path);
