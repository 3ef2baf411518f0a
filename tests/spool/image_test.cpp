// The image re-encoding of kestrelum: the row encoders against exact bytes
// and against decoders written here from the public PCL XL rules (sharing
// nothing with the encoders), the quarter turn, the compression choice,
// JPEG through the job's compression file against libjpeg's own encoding,
// and whole images through the parser on model A's queue: DDM 330 at 0, 1
// and 2, channel order, rotation, the outside library's collection, and
// input that does not match its attributes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "kestrel/core/ddm_ids.h"
#include "kestrel/spool/colorconv.h"
#include "kestrel/spool/image.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/user32_messagebox.h"
#include "pclxl_checker.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

using Bytes8 = std::vector<uint8_t>;

// ---- decoders from the public PCL XL rules ---------------------------------------------------

// Method 1 (run-length): a control byte c of 0-127 copies the next c + 1
// bytes; 129-255 repeats the next byte 257 - c times; 128 does nothing.
Bytes8 DecodeRle(const Bytes8& in) {
  Bytes8 out;
  size_t i = 0;
  while (i < in.size()) {
    const int c = in[i++];
    if (c < 128) {
      for (int k = 0; k <= c && i < in.size(); ++k) out.push_back(in[i++]);
    } else if (c > 128 && i < in.size()) {
      out.insert(out.end(), 257 - c, in[i++]);
    }
  }
  return out;
}

// Method 3 (delta row): per row a two-byte count (low byte first) and
// commands: the top three bits + 1 bytes replace the seed after skipping
// the low five bits' offset; an offset of 31 adds following bytes while
// they are 255. The seed starts zeroed and is the last row.
Bytes8 DecodeDeltaRows(const Bytes8& in, size_t rowBytes, size_t rows) {
  Bytes8 out, seed(rowBytes, 0);
  size_t i = 0;
  for (size_t y = 0; y < rows && i + 2 <= in.size(); ++y) {
    const size_t count = in[i] | (in[i + 1] << 8);
    i += 2;
    const size_t end = i + count;
    size_t pos = 0;
    while (i < end) {
      const int cmd = in[i++];
      const size_t n = static_cast<size_t>(cmd >> 5) + 1;
      size_t offset = cmd & 31;
      if (offset == 31) {
        int more;
        do {
          more = in[i++];
          offset += more;
        } while (more == 255);
      }
      pos += offset;
      for (size_t k = 0; k < n; ++k) seed.at(pos++) = in[i++];
    }
    out.insert(out.end(), seed.begin(), seed.end());
  }
  return out;
}

// Rows of rowBytes from rows padded to a multiple of four.
Bytes8 Unpad(const Bytes8& padded, size_t rowBytes, size_t rows) {
  const size_t stride = (rowBytes + 3) / 4 * 4;
  Bytes8 out;
  for (size_t y = 0; y < rows && y * stride + rowBytes <= padded.size(); ++y) {
    out.insert(out.end(), padded.begin() + y * stride, padded.begin() + y * stride + rowBytes);
  }
  return out;
}

// libjpeg's decoder: the pixels and their components.
Bytes8 DecodeJpeg(const Bytes8& in, int* components, int* width = nullptr, int* height = nullptr) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, in.data(), in.size());
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  *components = d.output_components;
  if (width) *width = static_cast<int>(d.output_width);
  if (height) *height = static_cast<int>(d.output_height);
  Bytes8 out(static_cast<size_t>(d.output_width) * d.output_height * d.output_components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out.data() + static_cast<size_t>(d.output_scanline) * d.output_width * d.output_components;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

// libjpeg's own encoding into memory with the settings the job uses.
Bytes8 EncodeJpeg(const Bytes8& pixels, int w, int h, int components) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = components;
  c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  c.optimize_coding = TRUE;
  jpeg_set_quality(&c, 83, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(c.next_scanline) * w * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes8 out(mem, mem + size);
  jpeg_destroy_compress(&c);
  free(mem);
  return out;
}

Bytes8 V(std::initializer_list<int> v) {
  Bytes8 out;
  for (int b : v) out.push_back(static_cast<uint8_t>(b));
  return out;
}

Bytes8 Rle(const Bytes8& in) {
  Bytes8 out(in.size() * 2 + 8);
  const int64_t n = RLECompress(out.data(), out.size(), in.data(), in.size());
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

Bytes8 Delta(const Bytes8& row, const Bytes8& seed) {
  Bytes8 out(row.size() * 2 + 8);
  const int64_t n = DeltaRowCompress(out.data(), out.size(), row.data(), seed.data(), row.size());
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

// ---- the encoders ---------------------------------------------------------------------------------

TEST(ImageEncoders, RunLengthExactBytes) {
  Bytes8 run127 = Bytes8(127, 7);
  run127.push_back(9);
  struct Case {
    const char* what;
    Bytes8 in, out;
  } cases[] = {
      {"200 equal bytes: runs of 127 and 73", Bytes8(200, 0x55), V({0x82, 0x55, 0xB8, 0x55})},
      {"two different bytes", V({1, 2}), V({0x01, 1, 2})},
      {"one byte", V({9}), V({0x00, 9})},
      {"a run of 127 and one byte", run127, V({0x82, 7, 0x00, 9})},
      {"a literal ends where a pair starts", V({1, 2, 3, 3, 3}), V({0x01, 1, 2, 0xFE, 3})},
      {"a last single byte joins the literal", V({4, 4, 5}), V({0xFF, 4, 0x00, 5})},
      {"nothing", Bytes8{}, Bytes8{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Rle(c.in), c.out);
    EXPECT_EQ(RLECompress(nullptr, 0, c.in.data(), c.in.size()), static_cast<int64_t>(c.out.size()));  // measure
  }
  // 128 different bytes: a literal of 127 and one of 1.
  Bytes8 ramp(128);
  for (int i = 0; i < 128; ++i) ramp[i] = static_cast<uint8_t>(i);
  const Bytes8 enc = Rle(ramp);
  ASSERT_EQ(enc.size(), 130u);
  EXPECT_EQ(enc[0], 0x7E);
  EXPECT_EQ(enc[128], 0x00);
}

TEST(ImageEncoders, DeltaRowExactBytes) {
  const Bytes8 zero(600, 0);
  auto changed = [&](std::initializer_list<std::pair<size_t, size_t>> runs) {  // (start, length) set to 0xAA
    Bytes8 r = zero;
    for (auto [at, n] : runs) std::fill(r.begin() + at, r.begin() + at + n, 0xAA);
    return r;
  };
  struct Case {
    const char* what;
    Bytes8 row;
    Bytes8 out;
  } cases[] = {
      {"unchanged", zero, V({0x00, 0x00})},
      {"one byte at 0", changed({{0, 1}}), V({0x02, 0x00, 0x00, 0xAA})},
      {"offset 30 fits the command", changed({{30, 1}}), V({0x02, 0x00, 0x1E, 0xAA})},
      {"offset 31: 31 and 0", changed({{31, 1}}), V({0x03, 0x00, 0x1F, 0x00, 0xAA})},
      {"40 after the last run: 31 then 9", changed({{0, 1}, {41, 1}}), V({0x05, 0x00, 0x00, 0xAA, 0x1F, 0x09, 0xAA})},
      {"offset 285: 31, 254", changed({{285, 1}}), V({0x03, 0x00, 0x1F, 0xFE, 0xAA})},
      {"offset 286: 31, 255, 0", changed({{286, 1}}), V({0x04, 0x00, 0x1F, 0xFF, 0x00, 0xAA})},
      {"a run of 8", changed({{2, 8}}), V({0x09, 0x00, 0xE2, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA})},
      {"a run of 9: 8 and 1 at offset 0",
       changed({{2, 9}}),
       V({0x0B, 0x00, 0xE2, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x00, 0xAA})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Delta(c.row, zero), c.out);
  }
}

TEST(ImageEncoders, CapacitiesAreNeverPassed) {
  Bytes8 noise(1000);
  std::mt19937 rng(7);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  const int64_t need = RLECompress(nullptr, 0, noise.data(), noise.size());
  ASSERT_GT(need, 1000);
  Bytes8 out(static_cast<size_t>(need) + 16, 0xEE);
  EXPECT_EQ(RLECompress(out.data(), static_cast<size_t>(need) - 1, noise.data(), noise.size()), -1);
  EXPECT_EQ(out[static_cast<size_t>(need) - 1], 0xEE);  // nothing written past the room given
  EXPECT_EQ(RLECompress(out.data(), static_cast<size_t>(need), noise.data(), noise.size()), need);
  const Bytes8 seed(1000, 0);
  const int64_t delta = DeltaRowCompress(nullptr, 0, noise.data(), seed.data(), noise.size());
  out.assign(static_cast<size_t>(delta) + 16, 0xEE);
  EXPECT_EQ(DeltaRowCompress(out.data(), static_cast<size_t>(delta) - 1, noise.data(), seed.data(), noise.size()), -1);
  EXPECT_EQ(out[static_cast<size_t>(delta) - 1], 0xEE);
  // A row whose encoding passes its 16-bit count goes another way.
  const Bytes8 wide(70000, 0x11), wideSeed(70000, 0);
  EXPECT_EQ(DeltaRowCompress(nullptr, 0, wide.data(), wideSeed.data(), wide.size()), -1);
}

// Rows built by the result builders decode to the rows again, whatever
// the row length modulo four.
TEST(ImageEncoders, RowsRoundTripThroughTheDecoders) {
  std::mt19937 rng(11);
  for (size_t rowBytes : {1u, 2u, 3u, 4u, 13u, 64u, 203u, 1001u}) {
    for (int shape = 0; shape < 3; ++shape) {
      SCOPED_TRACE("row " + std::to_string(rowBytes) + " shape " + std::to_string(shape));
      const size_t height = 9;
      Bytes8 rows(rowBytes * height);
      for (size_t i = 0; i < rows.size(); ++i) {
        switch (shape) {
          case 0: rows[i] = static_cast<uint8_t>(rng()); break;                        // noise
          case 1: rows[i] = static_cast<uint8_t>((i / 37) % 3 == 0 ? 0 : i / 5); break;  // runs
          default: rows[i] = static_cast<uint8_t>(i % rowBytes < 40 ? 200 : (rng() % 4 == 0 ? rng() : 0)); break;
        }
      }
      ImageRotCompResult r{};
      r.width = static_cast<DWORD>(rowBytes);
      r.height = height;
      ASSERT_EQ(0, MakeXLdata(&r, rows.data(), rowBytes));
      EXPECT_EQ(r.paddedRow % 4, 0u);
      EXPECT_EQ(Unpad(Bytes8(r.uncompressed, r.uncompressed + r.uncompressedSize), rowBytes, height), rows);
      if (MakeXLdata_RLE(&r, rows.data(), rowBytes) == 0) {
        const Bytes8 dec = DecodeRle(Bytes8(r.compressed, r.compressed + r.compressedSize));
        ASSERT_EQ(dec.size(), r.uncompressedSize);  // each row with its pad
        EXPECT_EQ(Unpad(dec, rowBytes, height), rows);
      } else {
        EXPECT_EQ(shape, 0);  // only noise may fail to fit one and a half times
      }
      ASSERT_EQ(0, MakeXLdata_DeltaRow(&r, rows.data(), rowBytes));
      EXPECT_EQ(DecodeDeltaRows(Bytes8(r.compressed, r.compressed + r.compressedSize), rowBytes, height), rows);
      if (r.uncompressed) GlobalFree(r.uncompressed);
      if (r.compressed) GlobalFree(r.compressed);
    }
  }
}

// ---- rotation, choice, helpers ----------------------------------------------------------------------

TEST(ImageRotation, AQuarterTurnClockwiseAtEachDepth) {
  ImgRotHandle* h = nullptr;
  ASSERT_EQ(0, imgrot_CreateHandle(&h));
  for (int bpp : {8, 16, 24, 32}) {
    SCOPED_TRACE(bpp);
    const size_t n = static_cast<size_t>(bpp / 8);
    // 2 wide, 3 high; pixel (x, y) filled with the byte 10 y + x + 1 (every byte of it).
    Bytes8 src(2 * 3 * n);
    for (size_t y = 0; y < 3; ++y) {
      for (size_t x = 0; x < 2; ++x) std::fill_n(src.begin() + (y * 2 + x) * n, n, static_cast<uint8_t>(10 * y + x + 1));
    }
    BYTE* out = nullptr;
    ASSERT_EQ(0, imgrot_ImageRotation(h, 2, 3, 2 * n, bpp, src.data(), 1, &out));
    // 2 rows of 3: row x holds column x from the bottom up.
    const int want[2][3] = {{21, 11, 1}, {22, 12, 2}};
    for (size_t row = 0; row < 2; ++row) {
      for (size_t p = 0; p < 3; ++p) {
        for (size_t k = 0; k < n; ++k) EXPECT_EQ(out[(row * 3 + p) * n + k], want[row][p]) << row << "," << p;
      }
    }
  }
  const size_t grown = h->size;
  BYTE* out = nullptr;
  const Bytes8 one(4, 1);
  ASSERT_EQ(0, imgrot_ImageRotation(h, 1, 1, 4, 32, one.data(), 1, &out));
  EXPECT_EQ(h->size, grown);  // never shrinks
  EXPECT_EQ(1, imgrot_ImageRotation(h, 2, 3, 1, 4, one.data(), 1, &out));  // 4 bits are not turned
  EXPECT_EQ(1, imgrot_ImageRotation(h, 2, 3, 1, 1, one.data(), 1, &out));
  ASSERT_EQ(0, imgrot_DeleteHandle(&h));
  EXPECT_EQ(h, nullptr);
}

TEST(ImageChoice, CompressMethodByRequestKindBitsAndSize) {
  struct Case {
    int request, kind, bpp;
    size_t size;
    int method;
  } cases[] = {
      {4, IMAGE_KIND_RGB, 24, 1023, 1},  {4, IMAGE_KIND_RGB, 24, 1024, 4},
      {4, IMAGE_KIND_GRAY, 8, 1024, 4},  {4, IMAGE_KIND_INDEXED_GRAY, 8, 1024, 4},
      {4, IMAGE_KIND_INDEXED_RGB, 8, 1024, 8},  // not JPEG: the tone alternative
      {4, IMAGE_KIND_INDEXED_RGB, 1, 1024, 7},  {4, IMAGE_KIND_INDEXED_RGB, 4, 1024, 1},
      {6, IMAGE_KIND_INDEXED_GRAY, 1, 1024, 6}, {6, IMAGE_KIND_INDEXED_GRAY, 1, 1023, 1},
      {7, IMAGE_KIND_INDEXED_RGB, 1, 1024, 7},  {7, IMAGE_KIND_RGB, 24, 1024, 1},
      {8, IMAGE_KIND_RGB, 24, 1024, 8},         {8, IMAGE_KIND_INDEXED_RGB, 8, 1024, 8},
      {8, IMAGE_KIND_INDEXED_RGB, 4, 1024, 1},  {8, IMAGE_KIND_GRAY, 8, 1023, 1},
      {1, IMAGE_KIND_RGB, 24, 4096, 1},         {5, IMAGE_KIND_RGB, 24, 4096, 1},
  };
  for (const Case& c : cases) {
    IMAGECOMP_DATA d{c.kind, c.bpp, c.size, IMAGECOMP_JPEG_ARG_COLORSPACE, IMAGECOMP_JPEG_ARG_ROP};
    int method = 0;
    const bool none = ImageComp_GetCompressMethod(c.request, &d, &method);
    EXPECT_EQ(method, c.method) << c.request << " kind " << c.kind << " bits " << c.bpp << " size " << c.size;
    EXPECT_EQ(none, c.method == 1);
  }
  // JPEG only with the two arguments Image_RotComp passes.
  IMAGECOMP_DATA other{IMAGE_KIND_RGB, 24, 4096, IMAGECOMP_JPEG_ARG_COLORSPACE, 0xB8};
  int method = 0;
  ImageComp_GetCompressMethod(IMAGECOMP_METHOD_JPEG, &other, &method);
  EXPECT_EQ(method, IMAGECOMP_METHOD_INDEXED_CT);
}

TEST(ImageHelpers, BitsPerPixelAndBlackAndWhitePalettes) {
  struct Case {
    int colour;
    BOOL indexed;
    int depth, bpp;
  } cases[] = {{IMAGE_COLOR_COLOR, FALSE, 2, 24}, {IMAGE_COLOR_GRAY, FALSE, 2, 8}, {IMAGE_COLOR_COLOR, TRUE, 2, 8},
               {IMAGE_COLOR_COLOR, TRUE, 1, 4},   {IMAGE_COLOR_GRAY, TRUE, 0, 1}};
  for (const Case& c : cases) {
    int bpp = 0;
    EXPECT_EQ(0, GetBPP(&bpp, c.colour, c.indexed, c.depth));
    EXPECT_EQ(bpp, c.bpp);
  }
  int bpp = 0;
  EXPECT_EQ(-1, GetBPP(&bpp, IMAGE_COLOR_COLOR, TRUE, 3));
  const BYTE bw[6] = {0, 0, 0, 255, 255, 255}, near[6] = {0, 0, 0, 255, 255, 254};
  EXPECT_TRUE(CheckBWPalette(bw, 2));
  EXPECT_FALSE(CheckBWPalette(near, 2));
  Bytes8 px = V({1, 2, 3, 4, 5, 6});
  BGRtoRGB(px.data(), 2, 1);
  EXPECT_EQ(px, V({3, 2, 1, 6, 5, 4}));
}

// ---- images through the parser ----------------------------------------------------------------------

std::string U16(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

struct TestImage {
  int space = XLCC_SPACE_RGB;  // 1 grey, 2 RGB
  Bytes8 palette;              // empty: direct
  int depth = IMAGE_DEPTH_8;
  int width = 0, height = 0;   // declared (a marked image declares its size turned)
  Bytes8 data;
  int compress = 0;            // the incoming CompressMode
  int pad = 1;                 // the incoming PadBytesMultiple (0: none named)
  bool rotate = false;         // SetPageRotation 90 before it (the rotation mark)
};

std::string ImageOps(const TestImage& s) {
  std::string o;
  if (s.rotate) o += Bytes({0xC3, 90, 0, 0xF8, XL_ATTR_PAGEANGLE, XL_OP_SETPAGEROTATION});
  o += Bytes({0xC0, s.space, 0xF8, XL_ATTR_COLORSPACE});
  if (!s.palette.empty()) {
    o += Bytes({0xC0, IMAGE_DEPTH_8, 0xF8, XL_ATTR_PALETTEDEPTH, 0xC8, 0xC1});
    o += U16(static_cast<int>(s.palette.size()));
    o.append(s.palette.begin(), s.palette.end());
    o += Bytes({0xF8, XL_ATTR_PALETTEDATA});
  }
  o += Bytes({0xC0, XLCC_KIND_IMAGE, 0xF8, XL_ATTR_OBJECTKIND, XL_OP_SETCOLORSPACE});
  o += Bytes({0xC0, s.palette.empty() ? 0 : 1, 0xF8, XL_ATTR_COLORMAPPING, 0xC0, s.depth, 0xF8, XL_ATTR_COLORDEPTH,
              0xC1}) +
       U16(s.width) + Bytes({0xF8, XL_ATTR_SOURCEWIDTH, 0xC1}) + U16(s.height) +
       Bytes({0xF8, XL_ATTR_SOURCEHEIGHT, 0xD1}) + U16(s.width) + U16(s.height) +
       Bytes({0xF8, XL_ATTR_DESTINATIONSIZE, XL_OP_BEGINIMAGE});
  o += Bytes({0xC1, 0, 0, 0xF8, XL_ATTR_STARTLINE, 0xC1}) + U16(s.height) +
       Bytes({0xF8, XL_ATTR_BLOCKHEIGHT, 0xC0, s.compress, 0xF8, XL_ATTR_COMPRESSMODE});
  if (s.pad != 0) o += Bytes({0xC0, s.pad, 0xF8, XL_ATTR_PADBYTESMULTIPLE});
  o += Bytes({XL_OP_READIMAGE, 0xFA});
  const uint32_t n = static_cast<uint32_t>(s.data.size());
  o += U16(static_cast<int>(n & 0xFFFF)) + U16(static_cast<int>(n >> 16));
  o.append(s.data.begin(), s.data.end());
  o += Bytes({XL_OP_ENDIMAGE});
  return o;
}

// One image as it reached the printer, decoded by the rules of its
// CompressMode into R, G, B pixels (a grey image's pixels as R = G = B).
struct Sent {
  int compress = -1, pad = -1, mapping = -1, space = -1, width = 0, height = 0;
  size_t bytes = 0;
  Bytes8 rgb;
  Bytes8 rows;  // the rows as decoded (indexes for an indexed image), without pad
  std::string readImage;
};

int AttrOf(const pclxl_check::ListedItem& item, const char* name) {
  for (const auto& a : item.attributes) {
    if (a.name == name) return std::atoi(a.value.c_str());
  }
  return -1;
}

Bytes8 PaletteOf(const pclxl_check::ListedItem& space) {
  for (const auto& a : space.attributes) {
    if (a.name != "PaletteData") continue;
    Bytes8 out;
    std::string v = a.value;  // "[1 2 3]", or "\"text\"" when every byte is printable
    if (!v.empty() && v[0] == '"') return Bytes8(v.begin() + 1, v.end() - 1);
    std::replace(v.begin(), v.end(), '[', ' ');
    std::replace(v.begin(), v.end(), ']', ' ');
    const char* p = v.c_str();
    char* end = nullptr;
    for (long x = std::strtol(p, &end, 10); end != p; x = std::strtol(p, &end, 10)) {
      out.push_back(static_cast<uint8_t>(x));
      p = end;
    }
    return out;
  }
  return {};
}

// The graphics-state filter leaves out a SetColorSpace the printer already
// has: RGB without a palette at the page's start.
std::vector<Sent> SentImages(const pclxl_check::Listing& l) {
  std::vector<Sent> out;
  int space = XLCC_SPACE_RGB;
  Bytes8 palette;
  const pclxl_check::ListedItem* begin = nullptr;
  for (const auto& i : l.items) {
    if (i.name == "SetColorSpace") {
      space = AttrOf(i, "ColorSpace");
      palette = PaletteOf(i);
    }
    if (i.name == "BeginImage") begin = &i;
    if (i.name != "ReadImage" || begin == nullptr) continue;
    Sent s;
    s.readImage = i.text();
    s.compress = AttrOf(i, "CompressMode");
    s.pad = AttrOf(i, "PadBytesMultiple");
    s.mapping = AttrOf(*begin, "ColorMapping");
    s.space = space;
    s.width = AttrOf(*begin, "SourceWidth");
    s.height = AttrOf(*begin, "SourceHeight");
    s.bytes = i.data.size();
    const int depth = AttrOf(*begin, "ColorDepth");
    const int bpp = s.mapping == 1 ? (depth == 2 ? 8 : depth == 1 ? 4 : 1) : (s.space == 1 ? 8 : 24);
    const size_t rowBytes = (static_cast<size_t>(s.width) * bpp + 7) / 8;
    Bytes8 rows;
    if (s.compress == 2) {
      int comps = 0;
      const Bytes8 px = DecodeJpeg(i.data, &comps);
      for (size_t k = 0; k < px.size(); k += comps) {
        for (int c = 0; c < 3; ++c) s.rgb.push_back(px[k + (comps == 3 ? c : 0)]);
      }
      out.push_back(s);
      continue;
    }
    if (s.compress == 0) rows = Unpad(i.data, rowBytes, s.height);
    if (s.compress == 1) rows = Unpad(DecodeRle(i.data), rowBytes, s.height);
    if (s.compress == 3) rows = DecodeDeltaRows(i.data, rowBytes, s.height);
    s.rows = rows;
    const size_t entry = s.space == 1 ? 1 : 3;
    if (rows.size() < rowBytes * static_cast<size_t>(s.height)) {  // not decodable as declared
      out.push_back(s);
      continue;
    }
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) {
        const uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
        if (s.mapping == 1) {
          const size_t index = bpp == 8 ? row[x] : bpp == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                                              : (row[x / 8] >> (7 - x % 8)) & 1;
          for (int c = 0; c < 3; ++c) {
            const size_t at = index * entry + (entry == 3 ? c : 0);
            s.rgb.push_back(at < palette.size() ? palette[at] : 0);
          }
        } else {
          for (int c = 0; c < 3; ++c) s.rgb.push_back(row[s.space == 1 ? x : x * 3 + c]);
        }
      }
    }
    out.push_back(s);
  }
  return out;
}

class ImageJob : public SpoolTest {
 protected:
  struct Result {
    uint32_t ok = 0;
    std::string out;
    pclxl_check::Report report;
    std::vector<Sent> images;
  };
  Result Print(Settings settings, const std::string& page, const std::function<void(UmpdJobContext*)>& after = {}) {
    if (settings.pageColorMode == 0) settings.pageColorMode = 2;  // fixed colour: every image is converted
    Printer().Reset();
    OfflineJob job(Session(queue_, settings, page), queue_.printer);
    job.Run();
    if (after) after(job.ctx());
    Result r;
    r.ok = job.ctx()->ok.load();
    r.out = Printer().bytes;
    pclxl_check::Listing listing;
    r.report = pclxl_check::check(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size(),
                                  pclxl_check::Mode::Job, &listing);
    r.images = SentImages(listing);
    if (r.images.empty()) {
      std::string hex;
      const size_t at = r.out.find(static_cast<char>(XL_OP_BEGINIMAGE));
      for (size_t k = at > 60 ? at - 60 : 0; k < at + 40 && k < r.out.size(); ++k) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X ", static_cast<uint8_t>(r.out[k]));
        hex += b;
      }
      ADD_FAILURE() << "ok " << r.ok << " bytes " << r.out.size() << "\n" << r.report.text() << listing.text() << hex;
    }
    return r;
  }
  static Settings With(LONG compression, std::vector<std::pair<WORD, LONG>> more = {}) {
    Settings s;
    s.numbers = {{DDM_IMAGECOMPRESSION, compression}};
    s.numbers.insert(s.numbers.end(), more.begin(), more.end());
    return s;
  }
};

// w x h pixels: the left half red, the right half blue (R, G, B).
Bytes8 RedBlue(int w, int h) {
  Bytes8 px;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool red = x < w / 2;
      px.insert(px.end(), {static_cast<uint8_t>(red ? 255 : 0), 0, static_cast<uint8_t>(red ? 0 : 255)});
    }
  }
  return px;
}

TEST_F(ImageJob, CompressionBySettingKindAndMapping) {
  const int w = 40, h = 30;  // 3600 bytes of colour, 1200 of indexes
  const Bytes8 rgb = RedBlue(w, h);
  Bytes8 indexes;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) indexes.push_back(x < w / 2 ? 0 : 1);
  }
  Bytes8 grey;
  for (size_t i = 0; i < rgb.size(); i += 3) grey.push_back(rgb[i] != 0 ? 200 : 40);
  TestImage direct{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, w, h, rgb};
  TestImage indexed{XLCC_SPACE_RGB, V({255, 0, 0, 0, 0, 255}), IMAGE_DEPTH_8, w, h, indexes};
  TestImage greyDirect{XLCC_SPACE_GRAY, {}, IMAGE_DEPTH_8, w, h, grey};
  TestImage greyIndexed{XLCC_SPACE_GRAY, V({200, 40}), IMAGE_DEPTH_8, w, h, indexes};
  struct Case {
    const char* what;
    LONG setting;
    const TestImage* image;
    int compress, pad;
  } cases[] = {
      {"none, colour", 0, &direct, 0, 4},          {"none, indexed colour", 0, &indexed, 0, 4},
      {"none, grey", 0, &greyDirect, 0, 4},        {"rows, colour: delta row", 1, &direct, 3, 4},
      {"rows, indexed colour: delta row", 1, &indexed, 3, 4},
      {"rows, grey: run-length", 1, &greyDirect, 1, 4},
      {"rows, indexed grey: run-length", 1, &greyIndexed, 1, 4},
      {"JPEG, colour", 2, &direct, 2, 3},          {"JPEG, grey", 2, &greyDirect, 2, 3},
      {"JPEG, indexed grey through its palette", 2, &greyIndexed, 2, 3},
      {"JPEG asked, indexed colour: uncompressed", 2, &indexed, 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Print(With(c.setting), ImageOps(*c.image));
    EXPECT_EQ(r.ok, 1u);
    EXPECT_TRUE(r.report.ok()) << r.report.text();  // no 253, no 254
    ASSERT_EQ(r.images.size(), 1u);
    const Sent& s = r.images[0];
    EXPECT_EQ(s.compress, c.compress) << s.readImage;
    EXPECT_EQ(s.pad, c.pad);
    EXPECT_NE(s.readImage.find("StartLine=uint16(0) BlockHeight=uint16(30)"), std::string::npos) << s.readImage;
    ASSERT_EQ(s.rgb.size(), static_cast<size_t>(w * h * 3));
    const bool lossy = c.compress == 2;
    for (int y = 0; y < h; y += 7) {
      for (int x = 1; x < w - 1; x += 3) {  // away from the edge between the halves
        if (lossy && (x == w / 2 - 1 || x == w / 2)) continue;
        const uint8_t* p = &s.rgb[(static_cast<size_t>(y) * w + x) * 3];
        const bool left = x < w / 2;
        if (c.image->space == XLCC_SPACE_GRAY) {
          EXPECT_NEAR(p[0], left ? 200 : 40, lossy ? 8 : 0) << x << "," << y;
        } else {
          EXPECT_NEAR(p[0], left ? 255 : 0, lossy ? 24 : 0) << x << "," << y;
          EXPECT_NEAR(p[2], left ? 0 : 255, lossy ? 24 : 0) << x << "," << y;
        }
      }
    }
    if (c.compress == 1 || c.compress == 3) {
      EXPECT_LT(s.bytes, static_cast<size_t>(h) * ((static_cast<size_t>(w) * (c.image->palette.empty() &&
                                                                                c.image->space == 2 ? 3 : 1) + 3) / 4 * 4));
    }
  }
  // Under 1024 bytes of data an image is never JPEG: 18 x 18 colour is 972.
  const Result small = Print(With(2), ImageOps(TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 18, 18, RedBlue(18, 18)}));
  ASSERT_EQ(small.images.size(), 1u);
  EXPECT_EQ(small.images[0].compress, IMAGE_XL_NOCOMPRESSION);
  EXPECT_EQ(small.images[0].rgb, RedBlue(18, 18));
}

// The colours a conversion makes of R, G, B pixels, by the engine itself.
Bytes8 WhitePointOf(Bytes8 rgb) {
  CIL_CST_PARAM engine{};
  EXPECT_EQ(0, cil_Create_CST_Param_WpGm(&engine, 9300, 22));
  BGRtoRGB(rgb.data(), rgb.size() / 3, 1);
  cil_CST_Conv_sBGR(&engine, rgb.data(), rgb.data(), rgb.size() / 3);
  BGRtoRGB(rgb.data(), rgb.size() / 3, 1);
  return rgb;
}

TEST_F(ImageJob, ChannelOrderSurvivesEveryPath) {
  const int w = 40, h = 30;
  const Bytes8 rgb = RedBlue(w, h);
  Bytes8 indexes;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) indexes.push_back(x < w / 2 ? 0 : 1);
  }
  const Bytes8 redBlue = V({255, 0, 0, 0, 0, 255});
  const Bytes8 converted = WhitePointOf(redBlue);  // red, then blue, after the conversion
  ASSERT_NE(converted, redBlue);
  TestImage direct{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, w, h, rgb};
  TestImage indexed{XLCC_SPACE_RGB, redBlue, IMAGE_DEPTH_8, w, h, indexes};
  // 65535 x 1: beyond libjpeg's limit, the library ends the compression.
  TestImage wide{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 65535, 1, RedBlue(65535, 1)};
  const std::vector<std::pair<WORD, LONG>> whitePoint = {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 2}, {DDM_GAMMA, 3}};
  struct Case {
    const char* what;
    LONG setting;
    const TestImage* image;
    int compress;
  } cases[] = {
      {"direct, none", 0, &direct, 0},     {"direct, delta row", 1, &direct, 3}, {"direct, JPEG", 2, &direct, 2},
      {"indexed, none", 0, &indexed, 0},   {"indexed, delta row", 1, &indexed, 3},
      {"indexed, JPEG asked: uncompressed", 2, &indexed, 0},
      {"direct, JPEG refused by the library: uncompressed", 2, &wide, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Print(With(c.setting, whitePoint), ImageOps(*c.image));
    EXPECT_EQ(r.ok, 1u);
    ASSERT_EQ(r.images.size(), 1u);
    const Sent& s = r.images[0];
    EXPECT_EQ(s.compress, c.compress);
    const int tolerance = c.compress == 2 ? 24 : 0;
    const size_t width = static_cast<size_t>(c.image->width);
    for (size_t x : {size_t{2}, width - 3}) {
      const uint8_t* want = &converted[x < width / 2 ? 0 : 3];
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.rgb.at(x * 3 + k), want[k], tolerance) << x << " channel " << k;
    }
  }
  // Black-and-white output: grey by the weights of each channel (red 76,
  // blue 27); indexed images get a grey palette, direct ones grey pixels.
  for (const TestImage* image : {&direct, &indexed}) {
    for (LONG setting : {0, 1, 2}) {
      SCOPED_TRACE(std::string(image == &direct ? "direct" : "indexed") + " setting " + std::to_string(setting));
      const Result r = Print(With(setting, {{DDM_COLORMODE, 1}}), ImageOps(*image));
      ASSERT_EQ(r.images.size(), 1u);
      EXPECT_TRUE(r.report.ok()) << r.report.text();
      EXPECT_EQ(r.images[0].space, XLCC_SPACE_GRAY);
      const int tolerance = r.images[0].compress == 2 ? 6 : 0;
      EXPECT_NEAR(r.images[0].rgb.at(2 * 3), 76, tolerance);
      EXPECT_NEAR(r.images[0].rgb.at((w - 3) * 3), 27, tolerance);
    }
  }
}

TEST_F(ImageJob, MarkedImagesAreTurnedAQuarterClockwise) {
  // The data lies 2 wide and 3 high; the renderer declares it turned (3 x 2).
  auto pixel = [](int x, int y) { return static_cast<uint8_t>(10 * y + x + 1); };
  Bytes8 rgb, indexes, palette;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 2; ++x) {
      rgb.insert(rgb.end(), {pixel(x, y), 0, 200});
      indexes.push_back(pixel(x, y));
    }
  }
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {static_cast<uint8_t>(i), 0, 200});
  const int want[2][3] = {{21, 11, 1}, {22, 12, 2}};
  for (const auto& [what, source] : {std::pair{"24 bits", TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 3, 2, rgb}},
                                   std::pair{"8 bits", TestImage{XLCC_SPACE_RGB, palette, IMAGE_DEPTH_8, 3, 2, indexes}}}) {
    for (LONG setting : {0, 1}) {
      SCOPED_TRACE(std::string(what) + " setting " + std::to_string(setting));
      TestImage marked = source;
      marked.rotate = true;
      const Result r = Print(With(setting), ImageOps(marked));
      EXPECT_TRUE(r.report.ok()) << r.report.text();
      ASSERT_EQ(r.images.size(), 1u);
      ASSERT_EQ(r.images[0].rgb.size(), 18u);
      for (int row = 0; row < 2; ++row) {
        for (int p = 0; p < 3; ++p) EXPECT_EQ(r.images[0].rgb[(row * 3 + p) * 3], want[row][p]) << row << "," << p;
      }
      // Unmarked, the same data is not turned.
      const Result plain = Print(With(setting), ImageOps(TestImage{source.space, source.palette, source.depth, 2, 3, source.data}));
      ASSERT_EQ(plain.images.size(), 1u);
      EXPECT_EQ(plain.images[0].rgb.at(3), pixel(1, 0));
    }
  }
  // A 4-bit image with the mark goes out unturned, as it came.
  TestImage four{XLCC_SPACE_RGB, V({0, 0, 0, 255, 255, 255}), IMAGE_DEPTH_4, 3, 2, V({0x01, 0x10, 0x11})};
  four.rotate = true;
  const Result r = Print(With(1), ImageOps(four));
  ASSERT_EQ(r.images.size(), 1u);
  EXPECT_EQ(r.images[0].compress, 0);
  EXPECT_EQ(r.images[0].pad, 1);  // the incoming ReadImage
  EXPECT_EQ(r.images[0].bytes, 3u);
  EXPECT_FALSE(r.report.has(pclxl_check::Fault::PrivateAttribute)) << r.report.text();
}

TEST_F(ImageJob, InputThatDoesNotMatchItsAttributesGoesAsItCame) {
  const Bytes8 rgb = RedBlue(40, 30);
  Bytes8 shorter(rgb.begin(), rgb.end() - 1), longer = rgb;
  longer.push_back(0);
  Bytes8 beyond(40 * 30, 7);  // indexes 7 into a two-entry palette
  struct Case {
    const char* what;
    TestImage image;
    LONG setting;
    bool asItCame;  // else its indexes are sent (rebuilt rows) but never looked up or changed
  } cases[] = {
      {"data one byte short", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 40, 30, shorter}, 1, true},
      {"data one byte long", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 40, 30, longer}, 1, true},
      {"width 0", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 0, 30, rgb}, 1, true},
      {"height 0", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 40, 0, rgb}, 1, true},
      {"65535 x 65535 declared", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 65535, 65535, rgb}, 1, true},
      {"rows padded to 4 but PadBytesMultiple 1 named", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 39, 30, rgb}, 1, true},
      {"a palette of one byte", {XLCC_SPACE_RGB, V({9}), IMAGE_DEPTH_8, 40, 30, beyond}, 1, true},
      {"already run-length", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 40, 30, rgb, IMAGE_XL_RLE}, 1, true},
      {"direct at 4 bits a component", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_4, 40, 30, rgb}, 1, true},
      {"indexes beyond a grey palette, JPEG", {XLCC_SPACE_GRAY, V({0, 255}), IMAGE_DEPTH_8, 40, 30, beyond}, 2, false},
      {"indexes beyond a colour palette", {XLCC_SPACE_RGB, V({0, 0, 0, 255, 0, 0}), IMAGE_DEPTH_8, 40, 30, beyond}, 1,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Print(With(c.setting), ImageOps(c.image));
    EXPECT_EQ(r.ok, 1u);
    EXPECT_FALSE(r.report.has(pclxl_check::Fault::PrivateAttribute)) << r.report.text();
    const std::string in = ImageOps(c.image);
    if (c.asItCame) {  // the incoming image and ReadImage, byte for byte
      EXPECT_NE(r.out.find(in.substr(in.find(static_cast<char>(XL_OP_BEGINIMAGE)))), std::string::npos);
    } else {
      ASSERT_EQ(r.images.size(), 1u);
      EXPECT_EQ(r.images[0].rows, c.image.data);
      EXPECT_NE(r.out.find(std::string(reinterpret_cast<const char*>(c.image.palette.data()), c.image.palette.size())),
                std::string::npos);  // the palette as it came
    }
  }
  // The largest sizes that do match go through: a row of 65535 grey bytes
  // runs; 65535 rows of one byte do not shrink and go uncompressed.
  for (const auto& [w, h, mode] : {std::tuple{65535, 1, IMAGE_XL_RLE}, std::tuple{1, 65535, IMAGE_XL_NOCOMPRESSION}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    const Result r = Print(With(1), ImageOps(TestImage{XLCC_SPACE_GRAY, {}, IMAGE_DEPTH_8, w, h, Bytes8(65535, 128)}));
    EXPECT_TRUE(r.report.ok()) << r.report.text();
    ASSERT_EQ(r.images.size(), 1u);
    EXPECT_EQ(r.images[0].compress, mode);
    EXPECT_EQ(r.images[0].rgb, Bytes8(65535 * 3, 128));
  }
}

TEST_F(ImageJob, JpegFromTheRendererPassesUnchangedWithoutTheMark) {
  Bytes8 px(64 * 48 * 3);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7 / 3);
  const Bytes8 jpeg = EncodeJpeg(px, 64, 48, 3);
  TestImage s{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 64, 48, jpeg, IMAGE_XL_JPEG, 3};
  s.rotate = true;  // the renderer's page rotation before it marks it
  for (LONG setting : {0, 1, 2}) {
    const Result r = Print(With(setting), ImageOps(s));
    EXPECT_TRUE(r.report.ok()) << r.report.text();
    EXPECT_NE(r.out.find(std::string(jpeg.begin(), jpeg.end())), std::string::npos);
    ASSERT_EQ(r.images.size(), 1u);
    EXPECT_EQ(r.images[0].compress, IMAGE_XL_JPEG);
    EXPECT_EQ(r.images[0].bytes, jpeg.size());
  }
}

// ---- JPEG through the job's compression file -----------------------------------------------------

class ImageJpeg : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    job_ = std::make_unique<OfflineJob>("", queue_.printer);
  }
  void TearDown() override {
    KpSetWriteFault(0, 0, 0, 0);
    job_.reset();
    SpoolTest::TearDown();
  }
  int Compress(const Bytes8& px, int w, int h, int comps, Bytes8* out) {
    out->assign(px.size(), 0);
    size_t length = 0;
    const int rc = ImageComp_CompressByJPEG(job_->ctx(), px.data(), w, h, comps, out->data(), px.size(), &length);
    out->resize(rc == IMAGEJPEG_DONE ? length : 0);
    return rc;
  }
  std::unique_ptr<OfflineJob> job_;
};

Bytes8 Gradient(int w, int h, int comps, int seed) {
  Bytes8 px(static_cast<size_t>(w) * h * comps);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < comps; ++c) {  // smooth, never wrapping
        px[(static_cast<size_t>(y) * w + x) * comps + c] =
            static_cast<uint8_t>(20 + x * 100 / w + (y * seed * 10 / h) % 100 + c * 20);
      }
    }
  }
  return px;
}

TEST_F(ImageJpeg, OurBytesAreTheLibrarysOwnAndEachImageReadsBackItsOwn) {
  // A large image first, then smaller ones: each is read back whole and
  // only its own bytes (the file is written from its start every time).
  struct Case {
    int w, h, comps, seed;
  } cases[] = {{300, 200, 3, 1}, {64, 48, 3, 5}, {80, 40, 1, 2}, {33, 33, 1, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.comps));
    const Bytes8 px = Gradient(c.w, c.h, c.comps, c.seed);
    Bytes8 ours;
    ASSERT_EQ(IMAGEJPEG_DONE, Compress(px, c.w, c.h, c.comps, &ours));
    EXPECT_EQ(ours, EncodeJpeg(px, c.w, c.h, c.comps));
    int comps = 0, w = 0, h = 0;
    DecodeJpeg(ours, &comps, &w, &h);
    EXPECT_EQ(comps, c.comps);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
  }
}

TEST_F(ImageJpeg, WhatCannotBeCompressedGoesUncompressed) {
  // A row of grey noise: every 8 x 8 block is one row repeated, the
  // coefficients do not quantise away and the tables come on top.
  Bytes8 noise(1024);
  std::mt19937 rng(3);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  Bytes8 out;
  EXPECT_EQ(IMAGEJPEG_NOT_SMALLER, Compress(noise, 1024, 1, 1, &out));
  EXPECT_EQ(IMAGEJPEG_LIBRARY, Compress(Bytes8(65535 * 3, 9), 65535, 1, 3, &out));  // beyond the library's limit
  // A piece the file does not take (the user cancels the retry box) ends
  // the compression; the next image opens a fresh file.
  const Bytes8 px = Gradient(300, 200, 3, 1);
  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDCANCEL);
  KpSetWriteFault(1, 1000, 100, ERROR_DISK_FULL);
  EXPECT_EQ(IMAGEJPEG_LIBRARY, Compress(px, 300, 200, 3, &out));
  KpSetWriteFault(0, 0, 0, 0);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(IMAGEJPEG_DONE, Compress(px, 300, 200, 3, &out));
  EXPECT_EQ(out, EncodeJpeg(px, 300, 200, 3));
}

TEST_F(ImageJpeg, TheFileLivesUntilTheJobEnds) {
  Bytes8 out;
  ASSERT_EQ(IMAGEJPEG_DONE, Compress(Gradient(64, 48, 3, 1), 64, 48, 3, &out));
  const std::u16string path(job_->ctx()->xlcc.compressFile.path);
  ASSERT_FALSE(path.empty());
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(IMAGEJPEG_DONE, Compress(Gradient(64, 48, 1, 1), 64, 48, 1, &out));
  EXPECT_EQ(std::u16string(job_->ctx()->xlcc.compressFile.path), path);  // one file for the job
  // The job's end (EndSession, the parser's end) and its abort (the
  // context destroyed without either) both delete it with its record.
  ExitXLCC(job_->ctx());
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(IMAGEJPEG_DONE, Compress(Gradient(64, 48, 1, 1), 64, 48, 1, &out));
  const std::u16string second(job_->ctx()->xlcc.compressFile.path);
  EXPECT_NE(GetFileAttributesW(second.c_str()), INVALID_FILE_ATTRIBUTES);
  job_.reset();
  EXPECT_EQ(GetFileAttributesW(second.c_str()), INVALID_FILE_ATTRIBUTES);
  WCHAR key[512];
  ASSERT_TRUE(TFReg_KeyOf(second.c_str(), key, 512));
  HKEY h = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST_F(ImageJob, TwoJpegImagesInOneJobDecodeToTheirOwnPixels) {
  const Bytes8 first = Gradient(120, 90, 3, 1), second = Gradient(50, 40, 3, 6);
  const Result r = Print(With(2), ImageOps(TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 120, 90, first}) +
                                      ImageOps(TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 50, 40, second}));
  EXPECT_TRUE(r.report.ok()) << r.report.text();
  ASSERT_EQ(r.images.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const Bytes8& want = i == 0 ? first : second;
    EXPECT_EQ(r.images[i].compress, IMAGE_XL_JPEG);
    ASSERT_EQ(r.images[i].rgb.size(), want.size());
    double error = 0;
    for (size_t k = 0; k < want.size(); ++k) error += std::abs(r.images[i].rgb[k] - want[k]);
    EXPECT_LT(error / static_cast<double>(want.size()), 4.0) << i;
  }
}

// ---- the outside colour library's collection ------------------------------------------------------

class ImageLibrary : public ImageJob {
 protected:
  void SetUp() override {
    ImageJob::SetUp();
    log_ = root_.host("kcolour.log");
    setenv("KCOLOUR_DOUBLE_LOG", log_.c_str(), 1);
    unsetenv("KCOLOUR_DOUBLE_FAIL");
    ASSERT_TRUE(KpInstallModule("libkcolourtest.so", u"kcolour.dll"));
  }
  void TearDown() override {
    unsetenv("KCOLOUR_DOUBLE_LOG");
    unsetenv("KCOLOUR_DOUBLE_FAIL");
    ImageJob::TearDown();
  }
  std::string log_;
};

TEST_F(ImageLibrary, LinkedImagesAreCollectedThenConvertedInOrder) {
  // DDM 291 is available with black-and-white output; the library inverts
  // every byte, then the grey weights apply.
  const Bytes8 a(24 * 3, 0), b(24 * 3, 255);
  const std::string cursor = Bytes({0xD3, 5, 0, 6, 0, 0xF8, XL_ATTR_POINT, XL_OP_SETCURSOR});
  const std::string page = InbandCommand(XL_IC_LINKIMAGESTART, "", false) +
                           ImageOps(TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 24, 1, a}) + cursor +
                           ImageOps(TestImage{XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 24, 1, b}) +
                           InbandCommand(XL_IC_LINKIMAGEEND, "", false);
  for (const char* failing : {"", "NIE_CreateParam32", "NIE_ColorConvert32"}) {
    SCOPED_TRACE(failing);
    setenv("KCOLOUR_DOUBLE_FAIL", failing, 1);
    WriteHostFile(log_, "");
    const Result r = Print(With(0, {{DDM_COLORMODE, 1}, {DDM_NIE, 2}}), page);
    EXPECT_EQ(r.ok, 1u);
    EXPECT_TRUE(r.report.ok()) << r.report.text();
    ASSERT_EQ(r.images.size(), 2u);
    const std::string calls = ReadHostFile(log_);
    const bool held = std::string(failing) != "NIE_CreateParam32";
    const bool inverted = std::string(failing).empty();
    // The first converted by the library (black inverted to white) or not.
    EXPECT_EQ(r.images[0].rgb.at(0), inverted ? 255 : 0) << calls;
    EXPECT_EQ(r.images[1].rgb.at(0), inverted ? 0 : 255) << calls;
    EXPECT_EQ(calls.find("param 24x1\nparam 24x1\nend\nconvert") != std::string::npos, held) << calls;
    // Images and the cursor between them keep their order.
    const size_t c = r.out.find(cursor), first = r.out.find(static_cast<char>(XL_OP_BEGINIMAGE));
    EXPECT_LT(first, c);
    EXPECT_LT(c, r.out.rfind(static_cast<char>(XL_OP_BEGINIMAGE)));
  }
}

// The library reads width x height B, G, R pixels of every image it is
// offered: indexed images come expanded through their palette, grey ones
// as three equal bytes a pixel, never their own one-byte (or smaller)
// rows.
TEST_F(ImageLibrary, EveryImageIsOfferedAsBgrPixels) {
  setenv("KCOLOUR_DOUBLE_PIXELS", "1", 1);
  const Bytes8 palette = {255, 0, 0, 0, 128, 0, 0, 0, 255};  // red, mid green, blue (R, G, B)
  struct Case {
    const char* what;
    TestImage image;
    const char* pixels;  // B, G, R in hex
  } cases[] = {
      {"indexed, 8 bits", {XLCC_SPACE_RGB, palette, IMAGE_DEPTH_8, 3, 2, {0, 1, 2, 0, 2, 1, 0, 0}, 0, 4},
       "0000ff008000ff0000" "ff0000008000" "0000ff"},
      {"indexed, 1 bit", {XLCC_SPACE_RGB, Bytes8(palette.begin(), palette.begin() + 6), IMAGE_DEPTH_1, 4, 1,
                          {0x50, 0, 0, 0}, 0, 4},
       "0000ff0080000000ff008000"},
      {"indexed grey, 8 bits", {XLCC_SPACE_GRAY, {10, 200}, IMAGE_DEPTH_8, 2, 1, {1, 0, 0, 0}, 0, 4}, "c8c8c80a0a0a"},
      {"direct grey", {XLCC_SPACE_GRAY, {}, IMAGE_DEPTH_8, 3, 1, {5, 6, 7, 0}, 0, 4}, "050505060606070707"},
      {"direct colour", {XLCC_SPACE_RGB, {}, IMAGE_DEPTH_8, 1, 1, {1, 2, 3, 0}, 0, 4}, "030201"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteHostFile(log_, "");
    const std::string page = InbandCommand(XL_IC_LINKIMAGESTART, "", false) + ImageOps(c.image) +
                             InbandCommand(XL_IC_LINKIMAGEEND, "", false);
    const Result r = Print(With(0, {{DDM_COLORMODE, 1}, {DDM_NIE, 2}}), page);
    EXPECT_EQ(r.ok, 1u);
    const std::string calls = ReadHostFile(log_);
    const std::string size = std::to_string(c.image.width) + "x" + std::to_string(c.image.height);
    // Taken whole: held until the link's end, then converted.
    EXPECT_NE(calls.find("param " + size + "\npixels " + c.pixels + "\nend\n"), std::string::npos) << calls;
  }
  unsetenv("KCOLOUR_DOUBLE_PIXELS");
}

}  // namespace
}  // namespace kestrel::test
