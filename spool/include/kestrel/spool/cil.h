// kestrelum's colour profile engine: colour space transforms (CST) from a
// white point and gamma or from an ICC version-2 RGB input profile, and the
// grey linear colour correction (LCC). Pixels are B, G, R byte triplets (the
// order of Windows bitmaps) in and out; the colour LCC of both user-mode
// libraries is the core's (kestrel/core/cil_color.h).
//
// Per-pixel work is integers and table look-ups only: 256-entry input
// curves, a 17-node grid with 12-bit fractions, a 4096-entry output
// encoding. The blocks are built once per job by the colour conversion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/kwindows.h"

// The CST block's modes.
enum : int32_t { CIL_MODE_COPY = -1, CIL_MODE_MATRIX = 0, CIL_MODE_TABLE = 1 };

constexpr int CIL_GRID = 17;                                    // nodes per axis of the table
constexpr size_t CIL_TABLE_NODES = CIL_GRID * CIL_GRID * CIL_GRID;
constexpr size_t CIL_TABLE_BYTES = CIL_TABLE_NODES * 3 * sizeof(uint16_t);
static_assert(CIL_TABLE_BYTES == 29478, "17 x 17 x 17 nodes of three 16-bit values");

// The white-correction cell: a channel above this value lies in the top cell.
constexpr uint32_t CIL_WHITE_CELL_LOW = 0xEFFF;

struct CIL_CST_PARAM {
  uint16_t curve[3][256];      // input curves of red, green, blue: 8-bit value -> 0..65535
  int32_t matrix[9];           // rows output R, G, B; columns input R, G, B; 16.16
  uint32_t whiteCorrection;    // 1: the top cell near white is interpolated
  int32_t corner[8][3];        // matrix results (16-bit scale) at the top cell's corners, bit 0 R, 1 G, 2 B = 0xFFFF
  int32_t mode;                // CIL_MODE_*
  uint16_t* table;             // CIL_TABLE_NODES x (R, G, B), from cil_MAlloc, or null
};

// cil_Create_CST_Param_Prof's results.
enum : int {
  CIL_PROF_OK = 0,
  CIL_PROF_NOFILE = -2,      // the file does not open
  CIL_PROF_SHORT = -3,       // the header, the tag table or a tag lies beyond the file
  CIL_PROF_CLOSE = -4,       // the file did not close
  CIL_PROF_NOTICC = -5,      // no "acsp" signature
  CIL_PROF_CLASS = -6,       // not RGB, or a monitor profile whose connection space is not XYZ
  CIL_PROF_NOTAGS = -7,      // neither a usable A2B0 (scanner) nor the matrix and curve tags; or a connection space other than XYZ or Lab
  CIL_PROF_NOMEMORY = -8,
  CIL_PROF_BADTAG = -9,      // a tag of the right type whose contents contradict themselves or the tag's size
  CIL_PROF_BADNUMBERS = -10, // the numbers give no usable transform (white with Y = 0, a colourant row summing to 0,
                             // a singular matrix, values beyond 16.16 or not finite)
};

int cil_Create_CST_Param_WpGm(CIL_CST_PARAM* block, int whitePoint, int gammaCode);
// profilePath: a Windows path in the ANSI code page, opened through the
// platform's file calls.
int cil_Create_CST_Param_Prof(CIL_CST_PARAM* block, LPCSTR profilePath);
int cil_Dispose_CST_Param(CIL_CST_PARAM* block);
// A null block copies the pixels; source and destination may be the same.
void cil_CST_Conv_sBGR(const CIL_CST_PARAM* block, const BYTE* source, BYTE* destination, size_t pixels);

struct CIL_LCC_GRAY_PARAM {
  int32_t gain;    // 16.16
  int32_t offset;  // 16.16
};
int cil_Create_LCC_Param_sGray(CIL_LCC_GRAY_PARAM* block, int brightness, int contrast);
void cil_LCC_Conv_sGray(const CIL_LCC_GRAY_PARAM* block, const BYTE* source, BYTE* destination, size_t bytes);

// Zeroed movable global memory, locked while in use.
void* cil_MAlloc(size_t bytes);
void cil_MFree(void* block);

// 3 x 3 matrices of doubles, by rows.
double det33(const double m[9]);
double yoinshi33(const double m[9], int row, int column);  // the cofactor of (row, column)
bool inv33(const double m[9], double out[9]);              // false when the determinant is 0
void mulmat33(const double a[9], const double b[9], double out[9]);
void mulcoemat33(const double factors[3], const double m[9], double out[9]);  // row i x factor i

WORD ReverseEndian16(WORD value);
// ReverseEndian32 is the core's (kestrel/core/papdat.h).
// Reads until count bytes are in or the file ends; the bytes read.
DWORD huge_read(HANDLE file, void* buffer, DWORD count);
