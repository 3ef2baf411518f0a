// The colour profile engine (see kestrel/spool/cil.h): CST blocks from a
// white point and gamma or an ICC version-2 RGB profile, their conversion,
// and the grey LCC.
//
// The profile reader trusts nothing in the file: the tag table and every tag
// it reads must lie inside the file (else -3), a tag of the right type must
// agree with its own size and counts (else -9: curve counts, a lookup table
// with other than 3 input and 3 output channels, fewer than 2 grid points,
// table lengths beyond the tag), and a tag of another type than the one read
// (a version-4 profile's parametric curve where a 'curv' is read, an 'mAB '
// where an mft1/mft2 is read) counts as absent. Numbers that would divide by
// zero or overflow the 16.16 matrix refuse the profile with -10. Whatever
// the refusal, the block stays in mode -1 (copy through).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "cil_tables.h"
#include "kestrel/core/papdat.h"
#include "kestrel/spool/cil.h"
#include "kplatform/byte_order.h"

namespace {

// ---- the named tables ---------------------------------------------------------------

constexpr double sRedXYZ[3] = {0.4124, 0.2126, 0.0193};
constexpr double sGreenXYZ[3] = {0.3576, 0.7152, 0.1192};
constexpr double sBlueXYZ[3] = {0.1805, 0.0722, 0.9505};
constexpr double d50RedXYZ[3] = {0.4333, 0.2178, 0.0147};
constexpr double d50GreenXYZ[3] = {0.3961, 0.7125, 0.0911};
constexpr double d50BlueXYZ[3] = {0.1349, 0.0697, 0.7236};
constexpr double k9300RedXYZ[3] = {0.3918, 0.2074, 0.0249};
constexpr double k9300GreenXYZ[3] = {0.3208, 0.7177, 0.1534};
constexpr double k9300BlueXYZ[3] = {0.2368, 0.0749, 1.2275};
constexpr double d50XYZ[3] = {0.9642, 1.0, 0.8294};
constexpr double XYZ2sRGBMatrix[9] = {3.2410, -1.5374, -0.4986, -0.9692, 1.8760, 0.0416, 0.0556, -0.2040, 1.0570};
// Chromaticities (x, y) of the adaptation space's primaries.
constexpr double wtRedxy[2] = {0.7465, 0.2535};
constexpr double wtGreenxy[2] = {-5.9428, 6.9140};
constexpr double wtBluexy[2] = {0.1748, 0.0044};
// D65's chromaticity, the adaptation's target.
constexpr double kD65x = 0.3127;
constexpr double kD65y = 0.3290;

// The white points and gamma codes cil_Create_CST_Param_WpGm takes.
enum : int { WP_5000 = 5000, WP_6500 = 6500, WP_9300 = 9300 };

constexpr uint32_t Sig(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<BYTE>(a)) << 24) | (static_cast<uint32_t>(static_cast<BYTE>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<BYTE>(c)) << 8) | static_cast<uint32_t>(static_cast<BYTE>(d));
}
constexpr uint32_t kSigAcsp = Sig('a', 'c', 's', 'p');
constexpr uint32_t kSigRGB = Sig('R', 'G', 'B', ' ');
constexpr uint32_t kSigXYZ = Sig('X', 'Y', 'Z', ' ');
constexpr uint32_t kSigLab = Sig('L', 'a', 'b', ' ');
constexpr uint32_t kSigMntr = Sig('m', 'n', 't', 'r');
constexpr uint32_t kSigScnr = Sig('s', 'c', 'n', 'r');
constexpr uint32_t kSigCurv = Sig('c', 'u', 'r', 'v');
constexpr uint32_t kSigMft1 = Sig('m', 'f', 't', '1');
constexpr uint32_t kSigMft2 = Sig('m', 'f', 't', '2');

// Header offsets.
constexpr DWORD kHeaderBytes = 128;
constexpr DWORD kOffClass = 12;
constexpr DWORD kOffColorSpace = 16;
constexpr DWORD kOffPcs = 20;
constexpr DWORD kOffMagic = 36;
constexpr DWORD kTagEntryBytes = 12;

// The most bytes of one tag taken: far above any RGB lookup table a
// version-2 profile holds (a 33-point mft2 is 216 KiB).
constexpr DWORD kTagMax = 64u << 20;

uint32_t BE32(const BYTE* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return ReverseEndian32(v);  // profile data is big-endian; this build is little-endian
}
uint16_t BE16(const BYTE* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return ReverseEndian16(v);
}
double S15F16(const BYTE* p) { return static_cast<int32_t>(BE32(p)) / 65536.0; }

void Identity(uint16_t curve[256]) {
  for (int i = 0; i < 256; ++i) curve[i] = static_cast<uint16_t>(i * 257);
}

void SetCopyThrough(CIL_CST_PARAM* block) {
  if (block->table != nullptr) cil_MFree(block->table);
  std::memset(block, 0, sizeof(*block));
  for (auto& c : block->curve) Identity(c);
  block->mode = CIL_MODE_COPY;
}

// A double as 16.16 in 32 bits, truncated; false when it does not fit or is
// not a number.
bool ToFixed(double v, int32_t* out) {
  const double scaled = v * 65536.0;
  if (!std::isfinite(scaled) || scaled >= 2147483648.0 || scaled <= -2147483649.0) return false;
  *out = static_cast<int32_t>(scaled);
  return true;
}
bool ToFixedMatrix(const double m[9], int32_t out[9]) {
  for (int i = 0; i < 9; ++i) {
    if (!ToFixed(m[i], &out[i])) return false;
  }
  return true;
}

// The matrix applied to 16-bit R, G, B; the result in the 16-bit scale.
// Accumulated in 64 bits: wide-gamut rows exceed 2 and would wrap in 32.
int32_t MatrixRow16(const int32_t* row, int64_t r, int64_t g, int64_t b) {
  const int64_t sum = r * (row[0] >> 2) + g * (row[1] >> 2) + b * (row[2] >> 2);
  return static_cast<int32_t>(sum >> 14);
}

void FillCorners(CIL_CST_PARAM* block) {
  for (int c = 0; c < 8; ++c) {
    const int64_t r = (c & 1) ? 0xFFFF : CIL_WHITE_CELL_LOW;
    const int64_t g = (c & 2) ? 0xFFFF : CIL_WHITE_CELL_LOW;
    const int64_t b = (c & 4) ? 0xFFFF : CIL_WHITE_CELL_LOW;
    for (int k = 0; k < 3; ++k) {
      block->corner[c][k] = c == 7 ? 0xFFFF : MatrixRow16(&block->matrix[k * 3], r, g, b);
    }
  }
}

// Columns as a matrix by rows.
void Columns(const double a[3], const double b[3], const double c[3], double out[9]) {
  for (int k = 0; k < 3; ++k) {
    out[k * 3 + 0] = a[k];
    out[k * 3 + 1] = b[k];
    out[k * 3 + 2] = c[k];
  }
}

// The von Kries adaptation A(white) from the white's chromaticity to D65.
bool Adaptation(const double white[3], double out[9]) {
  const double sum = white[0] + white[1] + white[2];
  if (!(white[1] > 0.0) || !(sum > 0.0) || !std::isfinite(sum)) return false;
  const double wx = white[0] / sum;
  const double wy = white[1] / sum;
  const double q[9] = {wtRedxy[0],      wtGreenxy[0],     wtBluexy[0],      //
                       wtRedxy[1],      wtGreenxy[1],     wtBluexy[1],      //
                       1 - wtRedxy[0] - wtRedxy[1], 1 - wtGreenxy[0] - wtGreenxy[1], 1 - wtBluexy[0] - wtBluexy[1]};
  double qi[9];
  if (!inv33(q, qi)) return false;
  double s[3];
  for (int k = 0; k < 3; ++k) {
    const double o = qi[k * 3 + 0], l = qi[k * 3 + 1], r = qi[k * 3 + 2];
    const double d65 = (r + (o - r) * kD65x + (l - r) * kD65y) / kD65y;
    const double wt = (r + (o - r) * wx + (l - r) * wy) / wy;
    if (wt == 0.0 || !std::isfinite(wt)) return false;
    s[k] = d65 / wt;
  }
  double sqi[9];
  mulcoemat33(s, qi, sqi);
  mulmat33(q, sqi, out);
  return true;
}

// ---- profile reading -------------------------------------------------------------------

struct Tag {
  BYTE* data = nullptr;
  DWORD size = 0;
  uint32_t type = 0;
};

struct Profile {
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD fileSize = 0;
  BYTE header[kHeaderBytes + 4] = {};
  BYTE* tagTable = nullptr;
  DWORD tagCount = 0;
  Tag a2b0, trc[3], xyz[3], wtpt;

  ~Profile() {
    for (Tag* t : {&a2b0, &trc[0], &trc[1], &trc[2], &xyz[0], &xyz[1], &xyz[2], &wtpt}) {
      if (t->data != nullptr) cil_MFree(t->data);
    }
    if (tagTable != nullptr) cil_MFree(tagTable);
  }
};

bool ReadAt(HANDLE file, DWORD offset, void* to, DWORD count) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  return huge_read(file, to, count) == count;
}

// Reads the tag of a signature whole; 0 when absent or read, else the code.
int ReadTag(Profile& p, uint32_t signature, Tag* tag) {
  for (DWORD i = 0; i < p.tagCount; ++i) {
    const BYTE* e = p.tagTable + i * kTagEntryBytes;
    if (BE32(e) != signature) continue;
    const uint64_t offset = BE32(e + 4);
    const uint64_t size = BE32(e + 8);
    if (size < 8 || size > kTagMax) return CIL_PROF_BADTAG;
    if (offset + size > p.fileSize) return CIL_PROF_SHORT;
    tag->data = static_cast<BYTE*>(cil_MAlloc(static_cast<size_t>(size)));
    if (tag->data == nullptr) return CIL_PROF_NOMEMORY;
    if (!ReadAt(p.file, static_cast<DWORD>(offset), tag->data, static_cast<DWORD>(size))) return CIL_PROF_SHORT;
    tag->size = static_cast<DWORD>(size);
    tag->type = BE32(tag->data);
    return 0;
  }
  return 0;
}

bool Present(const Tag& t, uint32_t type) { return t.data != nullptr && t.type == type; }

// A 'curv' tag into a 256-entry curve.
int ReadCurve(const Tag& t, uint16_t curve[256]) {
  if (t.size < 12) return CIL_PROF_BADTAG;
  const uint64_t n = BE32(t.data + 8);
  if (12 + n * 2 > t.size) return CIL_PROF_BADTAG;
  const BYTE* e = t.data + 12;
  if (n == 0) {
    Identity(curve);
  } else if (n == 1) {
    const double gamma = BE16(e) / 256.0;  // u8Fixed8
    for (int i = 0; i < 256; ++i) {
      double v = std::pow(i / 255.0, gamma);
      if (!(v >= 0.0)) v = 0.0;
      if (v > 1.0) v = 1.0;
      curve[i] = static_cast<uint16_t>(std::floor(65535.0 * v + 0.5));
    }
  } else if (n == 256) {
    for (int i = 0; i < 256; ++i) curve[i] = BE16(e + 2 * i);
  } else {
    for (int i = 0; i < 256; ++i) {
      const double pos = i * static_cast<double>(n - 1) / 255.0;
      const uint64_t lo = static_cast<uint64_t>(pos);
      const uint64_t hi = lo + 1 < n ? lo + 1 : lo;
      const double f = pos - static_cast<double>(lo);
      const double v = BE16(e + 2 * lo) * (1 - f) + BE16(e + 2 * hi) * f;
      curve[i] = static_cast<uint16_t>(std::floor(v + 0.5));
    }
  }
  return 0;
}

int ReadXYZ(const Tag& t, double out[3]) {
  if (t.size < 20) return CIL_PROF_BADTAG;
  for (int k = 0; k < 3; ++k) out[k] = S15F16(t.data + 8 + 4 * k);
  return 0;
}

// Linear resampling of a table of n entries (each read by at) to m entries.
template <typename At>
void Resample(At at, uint32_t n, double* out, uint32_t m) {
  for (uint32_t i = 0; i < m; ++i) {
    const double pos = i * static_cast<double>(n - 1) / (m - 1);
    const uint32_t lo = static_cast<uint32_t>(pos);
    const uint32_t hi = lo + 1 < n ? lo + 1 : lo;
    const double f = pos - lo;
    out[i] = at(lo) * (1 - f) + at(hi) * f;
  }
}

// The lookup table of an mft1/mft2 A2B0, checked against its tag.
struct Lut {
  bool wide = false;  // mft2: 16-bit entries
  uint32_t grid = 0;
  uint32_t inEntries = 0, outEntries = 0;
  const BYTE* in = nullptr;
  const BYTE* clut = nullptr;
  const BYTE* out = nullptr;
  double Entry(const BYTE* base, uint64_t i) const { return wide ? BE16(base + 2 * i) : base[i] * 256.0; }
  double Clut(uint32_t r, uint32_t g, uint32_t b, int c) const {
    return Entry(clut, ((static_cast<uint64_t>(r) * grid + g) * grid + b) * 3 + c);
  }
};

constexpr DWORD kMftTableStart1 = 48;  // mft1: input tables follow the 3 x 3 matrix
constexpr DWORD kMftTableStart2 = 52;  // mft2: after the two entry counts

int ReadLut(const Tag& t, Lut* lut) {
  lut->wide = t.type == kSigMft2;
  const DWORD start = lut->wide ? kMftTableStart2 : kMftTableStart1;
  if (t.size < start) return CIL_PROF_BADTAG;
  if (t.data[8] != 3 || t.data[9] != 3) return CIL_PROF_BADTAG;  // 3 in, 3 out
  lut->grid = t.data[10];
  if (lut->grid < 2) return CIL_PROF_BADTAG;  // 0 or 1 point makes no cell
  if (lut->wide) {
    lut->inEntries = BE16(t.data + 48);
    lut->outEntries = BE16(t.data + 50);
    if (lut->inEntries < 2 || lut->outEntries < 2) return CIL_PROF_BADTAG;
  } else {
    lut->inEntries = lut->outEntries = 256;
  }
  const uint64_t width = lut->wide ? 2 : 1;
  const uint64_t inBytes = 3 * lut->inEntries * width;
  const uint64_t clutBytes = static_cast<uint64_t>(lut->grid) * lut->grid * lut->grid * 3 * width;
  const uint64_t outBytes = 3 * lut->outEntries * width;
  if (start + inBytes + clutBytes + outBytes > t.size) return CIL_PROF_BADTAG;
  lut->in = t.data + start;
  lut->clut = lut->in + inBytes;
  lut->out = lut->clut + clutBytes;
  return 0;
}

// Tetrahedral interpolation of the profile's colour table at a point given
// in grid units per axis; real fractions.
void TetraHydraHokan(const Lut& lut, const double pos[3], double result[3]) {
  uint32_t base[3], next[3];
  double f[3];
  for (int a = 0; a < 3; ++a) {
    double p = pos[a];
    if (p < 0) p = 0;
    if (p > lut.grid - 1) p = lut.grid - 1;
    base[a] = static_cast<uint32_t>(p);
    if (base[a] > lut.grid - 1) base[a] = lut.grid - 1;
    f[a] = p - base[a];
    next[a] = base[a] + 1 < lut.grid ? base[a] + 1 : base[a];  // at the top edge the neighbour is itself
  }
  // Axes by falling fraction: c1 steps the largest, c2 the two largest.
  int order[3] = {0, 1, 2};
  for (int i = 0; i < 2; ++i) {
    for (int j = i + 1; j < 3; ++j) {
      if (f[order[j]] > f[order[i]]) {
        const int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
    }
  }
  uint32_t c1[3] = {base[0], base[1], base[2]};
  c1[order[0]] = next[order[0]];
  uint32_t c2[3] = {c1[0], c1[1], c1[2]};
  c2[order[1]] = next[order[1]];
  const double f1 = f[order[0]], f2 = f[order[1]], f3 = f[order[2]];
  for (int c = 0; c < 3; ++c) {
    result[c] = (1 - f1) * lut.Clut(base[0], base[1], base[2], c) + (f1 - f2) * lut.Clut(c1[0], c1[1], c1[2], c) +
                (f2 - f3) * lut.Clut(c2[0], c2[1], c2[2], c) + f3 * lut.Clut(next[0], next[1], next[2], c);
  }
}
void TetraHydraHokanMft16(const Lut& lut, const double pos[3], double result[3]) { TetraHydraHokan(lut, pos, result); }
void TetraHydraHokanMft8(const Lut& lut, const double pos[3], double result[3]) { TetraHydraHokan(lut, pos, result); }

double LabInverse(double t) { return t > 0.206893 ? t * t * t : (t - 16.0 / 116.0) / 7.787; }

// The 17-node table of a scanner profile's lookup table.
int BuildTable(CIL_CST_PARAM* block, const Tag& a2b0, bool lab, const double white[3]) {
  Lut lut;
  if (int rc = ReadLut(a2b0, &lut); rc != 0) return rc;
  double adapt[9], toRgb[9];
  if (!Adaptation(white, adapt)) return CIL_PROF_BADNUMBERS;
  mulmat33(XYZ2sRGBMatrix, adapt, toRgb);
  double scale[3];
  for (int k = 0; k < 3; ++k) {
    scale[k] = white[k] / d50XYZ[k];
    if (!std::isfinite(scale[k])) return CIL_PROF_BADNUMBERS;
  }
  uint16_t curves[3][256];
  double resampled[4096];
  for (int c = 0; c < 3; ++c) {
    const BYTE* base = lut.in;
    const uint64_t first = static_cast<uint64_t>(c) * lut.inEntries;
    Resample([&](uint32_t i) { return lut.Entry(base, first + i); }, lut.inEntries, resampled, 256);
    for (int i = 0; i < 256; ++i) {
      double v = std::floor(resampled[i] + 0.5);
      curves[c][i] = static_cast<uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
    }
  }
  auto* outTables = static_cast<double*>(cil_MAlloc(3 * 4096 * sizeof(double)));
  if (outTables == nullptr) return CIL_PROF_NOMEMORY;
  for (int c = 0; c < 3; ++c) {
    const uint64_t first = static_cast<uint64_t>(c) * lut.outEntries;
    Resample([&](uint32_t i) { return lut.Entry(lut.out, first + i); }, lut.outEntries, outTables + c * 4096, 4096);
  }
  auto* table = static_cast<uint16_t*>(cil_MAlloc(CIL_TABLE_BYTES));
  if (table == nullptr) {
    cil_MFree(outTables);
    return CIL_PROF_NOMEMORY;
  }
  int rc = 0;
  for (int i = 0; i < CIL_GRID && rc == 0; ++i) {
    for (int j = 0; j < CIL_GRID && rc == 0; ++j) {
      for (int k = 0; k < CIL_GRID; ++k) {
        const double pos[3] = {i / 16.0 * (lut.grid - 1), j / 16.0 * (lut.grid - 1), k / 16.0 * (lut.grid - 1)};
        double v[3];
        if (lut.wide) {
          TetraHydraHokanMft16(lut, pos, v);
        } else {
          TetraHydraHokanMft8(lut, pos, v);
        }
        double pcs[3];
        for (int c = 0; c < 3; ++c) {
          double r = std::floor(v[c] + 0.5);
          int idx = static_cast<int>(r / 16);
          if (idx < 0) idx = 0;
          if (idx > 4095) idx = 4095;
          pcs[c] = outTables[c * 4096 + idx];
        }
        double xyz[3];
        if (lab) {
          const double L = pcs[0] * 100.0 / 65280.0;
          const double a = pcs[1] / 256.0 - 128.0;
          const double b = pcs[2] / 256.0 - 128.0;
          const double fy = (L + 16.0) / 116.0;
          xyz[0] = d50XYZ[0] * LabInverse(fy + a / 500.0);
          xyz[1] = d50XYZ[1] * LabInverse(fy);
          xyz[2] = d50XYZ[2] * LabInverse(fy - b / 200.0);
        } else {
          for (int c = 0; c < 3; ++c) xyz[c] = pcs[c] / 32768.0;
        }
        for (int c = 0; c < 3; ++c) xyz[c] *= scale[c];
        uint16_t* node = table + ((static_cast<size_t>(i) * CIL_GRID + j) * CIL_GRID + k) * 3;
        for (int c = 0; c < 3; ++c) {
          const double rgb = 65535.0 * (toRgb[c * 3] * xyz[0] + toRgb[c * 3 + 1] * xyz[1] + toRgb[c * 3 + 2] * xyz[2]);
          if (!std::isfinite(rgb)) {
            rc = CIL_PROF_BADNUMBERS;
            break;
          }
          node[c] = static_cast<uint16_t>(rgb <= 0 ? 0 : rgb >= 65535 ? 65535 : static_cast<int32_t>(rgb));
        }
      }
    }
  }
  cil_MFree(outTables);
  if (rc != 0) {
    cil_MFree(table);
    return rc;
  }
  std::memcpy(block->curve, curves, sizeof(curves));
  block->table = table;
  block->mode = CIL_MODE_TABLE;
  block->whiteCorrection = 0;
  return 0;
}

// The colourant matrix of a monitor (or matrix-only scanner) profile.
int BuildMatrix(CIL_CST_PARAM* block, Profile& p) {
  uint16_t curves[3][256];
  for (int c = 0; c < 3; ++c) {
    if (int rc = ReadCurve(p.trc[c], curves[c]); rc != 0) return rc;
  }
  double white[3], cols[3][3];
  if (int rc = ReadXYZ(p.wtpt, white); rc != 0) return rc;
  for (int c = 0; c < 3; ++c) {
    if (int rc = ReadXYZ(p.xyz[c], cols[c]); rc != 0) return rc;
  }
  double colourants[9];
  Columns(cols[0], cols[1], cols[2], colourants);
  double factors[3];
  for (int k = 0; k < 3; ++k) {
    const double sum = colourants[k * 3] + colourants[k * 3 + 1] + colourants[k * 3 + 2];
    if (sum == 0.0) return CIL_PROF_BADNUMBERS;
    factors[k] = white[k] / sum;
  }
  double scaled[9], adapt[9], toRgb[9], m[9];
  mulcoemat33(factors, colourants, scaled);
  if (det33(scaled) == 0.0) return CIL_PROF_BADNUMBERS;
  if (!Adaptation(white, adapt)) return CIL_PROF_BADNUMBERS;
  mulmat33(XYZ2sRGBMatrix, adapt, toRgb);
  mulmat33(toRgb, scaled, m);
  int32_t fixed[9];
  if (!ToFixedMatrix(m, fixed)) return CIL_PROF_BADNUMBERS;
  std::memcpy(block->curve, curves, sizeof(curves));
  std::memcpy(block->matrix, fixed, sizeof(fixed));
  block->whiteCorrection = 0;
  block->mode = CIL_MODE_MATRIX;
  return 0;
}

int ReadProfile(CIL_CST_PARAM* block, Profile& p) {
  if (huge_read(p.file, p.header, kHeaderBytes + 4) != kHeaderBytes + 4) return CIL_PROF_SHORT;
  if (BE32(p.header + kOffMagic) != kSigAcsp) return CIL_PROF_NOTICC;
  if (BE32(p.header + kOffColorSpace) != kSigRGB) return CIL_PROF_CLASS;
  const uint32_t pcs = BE32(p.header + kOffPcs);
  if (pcs != kSigXYZ && pcs != kSigLab) return CIL_PROF_NOTAGS;
  const uint32_t deviceClass = BE32(p.header + kOffClass);
  if (!((deviceClass == kSigMntr && pcs == kSigXYZ) || deviceClass == kSigScnr)) return CIL_PROF_CLASS;

  p.tagCount = BE32(p.header + kHeaderBytes);
  const uint64_t tableBytes = static_cast<uint64_t>(p.tagCount) * kTagEntryBytes;
  if (kHeaderBytes + 4 + tableBytes > p.fileSize) return CIL_PROF_SHORT;
  if (p.tagCount > 0) {
    p.tagTable = static_cast<BYTE*>(cil_MAlloc(static_cast<size_t>(tableBytes)));
    if (p.tagTable == nullptr) return CIL_PROF_NOMEMORY;
    if (huge_read(p.file, p.tagTable, static_cast<DWORD>(tableBytes)) != tableBytes) return CIL_PROF_SHORT;
  }
  const struct {
    uint32_t sig;
    Tag* tag;
  } wanted[] = {{Sig('A', '2', 'B', '0'), &p.a2b0}, {Sig('r', 'T', 'R', 'C'), &p.trc[0]},
                {Sig('g', 'T', 'R', 'C'), &p.trc[1]}, {Sig('b', 'T', 'R', 'C'), &p.trc[2]},
                {Sig('r', 'X', 'Y', 'Z'), &p.xyz[0]}, {Sig('g', 'X', 'Y', 'Z'), &p.xyz[1]},
                {Sig('b', 'X', 'Y', 'Z'), &p.xyz[2]}, {Sig('w', 't', 'p', 't'), &p.wtpt}};
  for (const auto& w : wanted) {
    if (int rc = ReadTag(p, w.sig, w.tag); rc != 0) return rc;
  }

  const bool haveWhite = Present(p.wtpt, kSigXYZ);
  if (deviceClass == kSigScnr && haveWhite && (Present(p.a2b0, kSigMft1) || Present(p.a2b0, kSigMft2))) {
    double white[3];
    if (int rc = ReadXYZ(p.wtpt, white); rc != 0) return rc;
    return BuildTable(block, p.a2b0, pcs == kSigLab, white);
  }
  if (deviceClass == kSigScnr && pcs != kSigXYZ) return CIL_PROF_NOTAGS;  // colourants are XYZ
  for (int c = 0; c < 3; ++c) {
    if (!Present(p.trc[c], kSigCurv) || !Present(p.xyz[c], kSigXYZ)) return CIL_PROF_NOTAGS;
  }
  if (!haveWhite) return CIL_PROF_NOTAGS;
  return BuildMatrix(block, p);
}

}  // namespace

// ---- helpers ---------------------------------------------------------------------------

// The block's handle is kept in front of the memory handed out, so that
// cil_MFree finds it without GlobalHandle.
constexpr size_t kMAllocHead = 16;

void* cil_MAlloc(size_t bytes) {
  if (bytes > SIZE_MAX - kMAllocHead) return nullptr;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes + kMAllocHead);
  if (h == nullptr) return nullptr;
  auto* p = static_cast<BYTE*>(GlobalLock(h));
  if (p == nullptr) {
    GlobalFree(h);
    return nullptr;
  }
  std::memcpy(p, &h, sizeof(h));
  return p + kMAllocHead;
}

void cil_MFree(void* block) {
  if (block == nullptr) return;
  HGLOBAL h;
  std::memcpy(&h, static_cast<BYTE*>(block) - kMAllocHead, sizeof(h));
  GlobalUnlock(h);
  GlobalFree(h);
}

double det33(const double m[9]) {
  return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

double yoinshi33(const double m[9], int row, int column) {
  double minor[4];
  int n = 0;
  for (int r = 0; r < 3; ++r) {
    if (r == row) continue;
    for (int c = 0; c < 3; ++c) {
      if (c != column) minor[n++] = m[r * 3 + c];
    }
  }
  const double d = minor[0] * minor[3] - minor[1] * minor[2];
  return ((row + column) % 2 == 0) ? d : -d;
}

bool inv33(const double m[9], double out[9]) {
  const double d = det33(m);
  if (d == 0.0 || !std::isfinite(d)) return false;
  double r[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i * 3 + j] = yoinshi33(m, j, i) / d;  // the adjugate is the cofactors transposed
  }
  std::memcpy(out, r, sizeof(r));
  return true;
}

void mulmat33(const double a[9], const double b[9], double out[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
  }
  std::memcpy(out, r, sizeof(r));
}

void mulcoemat33(const double factors[3], const double m[9], double out[9]) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out[i * 3 + j] = m[i * 3 + j] * factors[i];
  }
}

WORD ReverseEndian16(WORD value) { return static_cast<WORD>((value >> 8) | (value << 8)); }

DWORD huge_read(HANDLE file, void* buffer, DWORD count) {
  DWORD total = 0;
  auto* to = static_cast<BYTE*>(buffer);
  while (total < count) {
    DWORD got = 0;
    if (!ReadFile(file, to + total, count - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

// ---- CST blocks ---------------------------------------------------------------------------

int cil_Create_CST_Param_WpGm(CIL_CST_PARAM* block, int whitePoint, int gammaCode) {
  if (block == nullptr) return -1;
  SetCopyThrough(block);
  const double *red, *green, *blue;
  switch (whitePoint) {
    case WP_6500: red = sRedXYZ, green = sGreenXYZ, blue = sBlueXYZ; break;
    case WP_5000: red = d50RedXYZ, green = d50GreenXYZ, blue = d50BlueXYZ; break;
    case WP_9300: red = k9300RedXYZ, green = k9300GreenXYZ, blue = k9300BlueXYZ; break;
    default: return -1;
  }
  const uint16_t* curve;
  switch (gammaCode) {
    case 10: curve = gamma10TRC; break;  // gamma 1.0
    case 14: curve = gamma14TRC; break;
    case 18: curve = gamma18TRC; break;
    case 22: curve = gamma22TRC; break;
    case 26: curve = gamma26TRC; break;
    default: return -1;
  }
  double primaries[9], m[9];
  Columns(red, green, blue, primaries);
  mulmat33(XYZ2sRGBMatrix, primaries, m);
  if (!ToFixedMatrix(m, block->matrix)) return -1;
  for (auto& c : block->curve) std::memcpy(c, curve, sizeof(c));
  block->whiteCorrection = whitePoint == WP_6500 ? 0 : 1;
  if (block->whiteCorrection != 0) FillCorners(block);
  block->mode = CIL_MODE_MATRIX;
  return 0;
}

int cil_Create_CST_Param_Prof(CIL_CST_PARAM* block, LPCSTR profilePath) {
  if (block == nullptr) return -1;
  SetCopyThrough(block);
  if (profilePath == nullptr) return CIL_PROF_NOFILE;
  WCHAR wide[MAX_PATH + 1] = {};
  if (MultiByteToWideChar(CP_ACP, 0, profilePath, -1, wide, MAX_PATH) <= 0) return CIL_PROF_NOFILE;
  Profile p;
  p.file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (p.file == INVALID_HANDLE_VALUE) return CIL_PROF_NOFILE;
  DWORD high = 0;
  p.fileSize = GetFileSize(p.file, &high);
  if (p.fileSize == INVALID_FILE_SIZE || high != 0) p.fileSize = 0xFFFFFFFFu;  // beyond 4 GiB: reads decide
  int rc = ReadProfile(block, p);
  if (!CloseHandle(p.file) && rc == 0) rc = CIL_PROF_CLOSE;
  if (rc != 0) SetCopyThrough(block);
  return rc;
}

int cil_Dispose_CST_Param(CIL_CST_PARAM* block) {
  if (block == nullptr) return -1;
  if (block->table != nullptr) cil_MFree(block->table);
  block->table = nullptr;
  block->mode = CIL_MODE_COPY;
  return 0;
}

void cil_CST_Conv_sBGR(const CIL_CST_PARAM* block, const BYTE* source, BYTE* destination, size_t pixels) {
  if (source == nullptr || destination == nullptr) return;
  if (block == nullptr || block->mode == CIL_MODE_COPY ||
      (block->mode == CIL_MODE_TABLE && block->table == nullptr) ||
      (block->mode != CIL_MODE_MATRIX && block->mode != CIL_MODE_TABLE)) {
    if (source != destination) std::memmove(destination, source, pixels * 3);
    return;
  }
  const int32_t* m = block->matrix;
  for (size_t i = 0; i < pixels; ++i) {
    const BYTE* s = source + i * 3;
    const uint32_t v[3] = {block->curve[0][s[2]], block->curve[1][s[1]], block->curve[2][s[0]]};  // R', G', B'
    int32_t out[3];
    const bool top = block->mode == CIL_MODE_MATRIX && block->whiteCorrection != 0 && v[0] > CIL_WHITE_CELL_LOW &&
                     v[1] > CIL_WHITE_CELL_LOW && v[2] > CIL_WHITE_CELL_LOW;
    if (block->mode == CIL_MODE_TABLE || top) {
      // Tetrahedral interpolation with 12-bit integer weights.
      uint32_t f[3];
      size_t base[3], step[3];
      for (int a = 0; a < 3; ++a) f[a] = v[a] & 0xFFF;
      int o0, o1, o2;  // axes by falling fraction
      if (f[0] >= f[1]) {
        if (f[1] >= f[2]) {
          o0 = 0, o1 = 1, o2 = 2;
        } else if (f[0] >= f[2]) {
          o0 = 0, o1 = 2, o2 = 1;
        } else {
          o0 = 2, o1 = 0, o2 = 1;
        }
      } else if (f[0] >= f[2]) {
        o0 = 1, o1 = 0, o2 = 2;
      } else if (f[1] >= f[2]) {
        o0 = 1, o1 = 2, o2 = 0;
      } else {
        o0 = 2, o1 = 1, o2 = 0;
      }
      const int64_t w0 = 4096 - f[o0], w1 = f[o0] - f[o1], w2 = f[o1] - f[o2], w3 = f[o2];
      if (top) {
        // Corner index: bit a set for the upper end of axis a.
        const int c1 = 1 << o0, c2 = c1 | (1 << o1);
        for (int k = 0; k < 3; ++k) {
          const int64_t sum = w0 * block->corner[0][k] + w1 * block->corner[c1][k] + w2 * block->corner[c2][k] +
                              w3 * block->corner[7][k];
          out[k] = static_cast<int32_t>(sum >> 16);
        }
      } else {
        constexpr size_t kStride[3] = {CIL_GRID * CIL_GRID * 3, CIL_GRID * 3, 3};
        for (int a = 0; a < 3; ++a) {
          base[a] = (v[a] >> 12) * kStride[a];
          step[a] = kStride[a];
        }
        const uint16_t* n0 = block->table + base[0] + base[1] + base[2];
        const uint16_t* n1 = n0 + step[o0];
        const uint16_t* n2 = n1 + step[o1];
        const uint16_t* n3 = n2 + step[o2];
        for (int k = 0; k < 3; ++k) {
          const int64_t sum = w0 * n0[k] + w1 * n1[k] + w2 * n2[k] + w3 * n3[k];
          out[k] = static_cast<int32_t>(sum >> 16);
        }
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        const int32_t* row = m + k * 3;
        const int64_t sum = static_cast<int64_t>(v[2]) * (row[2] >> 2) + static_cast<int64_t>(v[1]) * (row[1] >> 2) +
                            static_cast<int64_t>(v[0]) * (row[0] >> 2);
        out[k] = static_cast<int32_t>(sum >> 18);
      }
    }
    BYTE* d = destination + i * 3;
    for (int k = 0; k < 3; ++k) {
      const int32_t c = out[k] < 0 ? 0 : out[k] > 4095 ? 4095 : out[k];
      d[2 - k] = XYZ2sRGBTrc[c];  // B, G, R
    }
  }
}

// ---- grey LCC ---------------------------------------------------------------------------

int cil_Create_LCC_Param_sGray(CIL_LCC_GRAY_PARAM* block, int brightness, int contrast) {
  if (block == nullptr) return -1;
  if (brightness < -100) brightness = -100;
  if (brightness > 100) brightness = 100;
  if (contrast < -100) contrast = -100;
  if (contrast > 100) contrast = 100;
  const double g = 1.0 + 0.003 * contrast;
  block->gain = static_cast<int32_t>(g * 65536.0);
  block->offset = static_cast<int32_t>(((1.0 - g) * 255.0 + 0.5 * brightness) * 65536.0);
  return 0;
}

void cil_LCC_Conv_sGray(const CIL_LCC_GRAY_PARAM* block, const BYTE* source, BYTE* destination, size_t bytes) {
  if (source == nullptr || destination == nullptr) return;
  if (block == nullptr) {
    if (source != destination) std::memmove(destination, source, bytes);
    return;
  }
  const int64_t gain = block->gain >> 2;
  const int32_t offset = block->offset >> 16;
  for (size_t i = 0; i < bytes; ++i) {
    const int64_t v = ((static_cast<int64_t>(source[i]) * 257 * gain) >> 22) + offset;
    destination[i] = static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}
