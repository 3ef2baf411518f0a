// The renderer's writer through its output buffer: a 100,000-point polyline
// with xl_linepath_multi_nt, and 10 MB of image data through pswrite.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kestrel/render/xl.h"
#include "kestrel/render/xl_outbuf.h"

namespace {

struct Counter {
  uint64_t bytes = 0;
  uint64_t calls = 0;
};

BOOL countWrite(HANDLE printer, LPVOID bytes, DWORD n, LPDWORD written) {
  auto* c = static_cast<Counter*>(printer);
  benchmark::DoNotOptimize(bytes);
  c->bytes += n;
  ++c->calls;
  *written = n;
  return TRUE;
}

void BM_LinePathPolyline100k(benchmark::State& state) {
  // A wandering polyline: mostly small steps, now and then a long jump, so
  // that runs change form and type along the way.
  std::vector<POINT> pts(100000);
  LONG x = 1000, y = 1000;
  for (size_t i = 0; i < pts.size(); ++i) {
    x += static_cast<LONG>((i * 7919) % 21) - 10;
    y += static_cast<LONG>((i * 104729) % 17) - 8;
    if (i % 5000 == 0) x += 300;
    pts[i] = POINT{x, y};
  }
  Counter counter;
  auto ctx = std::make_unique<XlContext>();
  xl_initcontext(ctx.get(), XlPrinter{&counter, &countWrite});
  for (auto _ : state) {
    if (xl_linepath_multi_nt(ctx.get(), pts.data(), static_cast<DWORD>(pts.size()), POINT{1000, 1000}) != 0)
      state.SkipWithError("write failed");
    psflush(&ctx->out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pts.size()));
  state.counters["bytes_per_list"] =
      benchmark::Counter(static_cast<double>(counter.bytes) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_LinePathPolyline100k)->Unit(benchmark::kMillisecond);

void BM_ImageData10MB(benchmark::State& state) {
  const size_t total = 10u * 1024 * 1024;
  const DWORD piece = static_cast<DWORD>(state.range(0));
  std::vector<uint8_t> data(piece, 0x5A);
  Counter counter;
  auto ctx = std::make_unique<XlContext>();
  xl_initcontext(ctx.get(), XlPrinter{&counter, &countWrite});
  for (auto _ : state) {
    for (size_t done = 0; done < total; done += piece)
      if (pswrite(&ctx->out, data.data(), piece) != 1) state.SkipWithError("write failed");
    psflush(&ctx->out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(total));
  state.counters["writes_per_10MB"] =
      benchmark::Counter(static_cast<double>(counter.calls) / static_cast<double>(state.iterations()));
}
// Image rows of a 600 dpi A4 line in 24-bit colour, and whole 64 KB blocks.
BENCHMARK(BM_ImageData10MB)->Arg(14880)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace
