// kestrelum's image encoders on an A4 page at 300 dpi (2480 x 3508): a
// colour page (24 bits) and a grey one (8 bits) with white margins, a
// photo-like gradient, flat boxes and text-like speckle. Run-length and
// delta row (MakeXLdata_RLE, MakeXLdata_DeltaRow) against a plain copy of
// the padded rows; JPEG through the job's compression file (our
// destination manager, written and read back) against libjpeg's own
// encoder into memory with the same settings. Reported as bytes of raw
// rows per second, with the output size and the ratio to the raw rows.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "kestrel/spool/image.h"
#include "model_root.h"

namespace {

constexpr DWORD kWidth = 2480, kHeight = 3508;

std::vector<BYTE> Page(int components) {
  std::vector<BYTE> v(static_cast<size_t>(kWidth) * kHeight * components, 0xFF);
  uint32_t seed = 777;
  for (DWORD y = 0; y < kHeight; ++y) {
    for (DWORD x = 0; x < kWidth; ++x) {
      BYTE* p = &v[(static_cast<size_t>(y) * kWidth + x) * components];
      const bool margin = x < 150 || x >= kWidth - 150 || y < 150 || y >= kHeight - 150;
      if (margin) continue;
      BYTE c[3] = {255, 255, 255};
      if (y < 1500 && x < 1800) {  // photo: smooth gradients
        c[0] = static_cast<BYTE>(x * 255 / 1800);
        c[1] = static_cast<BYTE>(y * 255 / 1500);
        c[2] = static_cast<BYTE>((x + y) * 255 / 3300);
      } else if (y >= 1600 && y < 2000) {  // flat boxes
        c[0] = x < 1200 ? 200 : 30;
        c[1] = 90;
        c[2] = x < 1200 ? 40 : 220;
      } else if (y >= 2100 && (y / 40) % 2 == 0) {  // text lines: dark speckle on white
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 5 == 0) c[0] = c[1] = c[2] = 0;
      }
      if (components == 3) {
        std::memcpy(p, c, 3);
      } else {
        p[0] = static_cast<BYTE>((c[0] * 77 + c[1] * 151 + c[2] * 28) >> 8);
      }
    }
  }
  return v;
}

const std::vector<BYTE>& PageOf(int components) {
  static const std::vector<BYTE> colour = Page(3);
  static const std::vector<BYTE> grey = Page(1);
  return components == 3 ? colour : grey;
}

void Report(benchmark::State& state, size_t raw, size_t out) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(raw));
  state.counters["bytes_out"] = static_cast<double>(out);
  state.counters["ratio"] = static_cast<double>(out) / static_cast<double>(raw);
}

enum Kind { kCopy, kRle, kDelta };

void BM_Rows(benchmark::State& state) {
  const int components = static_cast<int>(state.range(0));
  const Kind kind = static_cast<Kind>(state.range(1));
  const std::vector<BYTE>& page = PageOf(components);
  const size_t rowBytes = static_cast<size_t>(kWidth) * components;
  size_t out = 0;
  for (auto _ : state) {
    ImageRotCompResult r{};
    r.width = kWidth;
    r.height = kHeight;
    int rc = 0;
    switch (kind) {
      case kCopy: rc = MakeXLdata(&r, page.data(), rowBytes); out = r.uncompressedSize; break;
      case kRle: rc = MakeXLdata_RLE(&r, page.data(), rowBytes); out = r.compressedSize; break;
      case kDelta: rc = MakeXLdata_DeltaRow(&r, page.data(), rowBytes); out = r.compressedSize; break;
    }
    if (rc != 0) state.SkipWithError("the encoder refused the page");
    benchmark::DoNotOptimize(r.compressed);
    if (r.uncompressed) GlobalFree(r.uncompressed);
    if (r.compressed) GlobalFree(r.compressed);
  }
  Report(state, page.size(), out);
}
BENCHMARK(BM_Rows)
    ->ArgNames({"components", "kind"})
    ->Args({3, kCopy})
    ->Args({3, kRle})
    ->Args({3, kDelta})
    ->Args({1, kCopy})
    ->Args({1, kRle})
    ->Args({1, kDelta})
    ->Unit(benchmark::kMillisecond);

void BM_JpegThroughTheJobFile(benchmark::State& state) {
  static kestrel::test::FreshRoot root("kestrel-image-bench");
  const int components = static_cast<int>(state.range(0));
  const std::vector<BYTE>& page = PageOf(components);
  auto ctx = std::make_unique<UmpdJobContext>();
  std::vector<BYTE> out(page.size());
  size_t length = 0;
  for (auto _ : state) {
    if (ImageComp_CompressByJPEG(ctx.get(), page.data(), kWidth, kHeight, components, out.data(), out.size(),
                                 &length) != IMAGEJPEG_DONE) {
      state.SkipWithError("no JPEG");
    }
  }
  Image_ExitJob(ctx.get());
  Report(state, page.size(), length);
}
BENCHMARK(BM_JpegThroughTheJobFile)->ArgName("components")->Arg(3)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_JpegLibraryIntoMemory(benchmark::State& state) {
  const int components = static_cast<int>(state.range(0));
  const std::vector<BYTE>& page = PageOf(components);
  unsigned long size = 0;
  for (auto _ : state) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = components;
    c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    c.optimize_coding = TRUE;
    jpeg_set_quality(&c, IMAGEJPEG_QUALITY, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(page.data() + static_cast<size_t>(c.next_scanline) * kWidth * components);
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::free(mem);
  }
  Report(state, page.size(), size);
}
BENCHMARK(BM_JpegLibraryIntoMemory)->ArgName("components")->Arg(3)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
