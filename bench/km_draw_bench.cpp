// The renderer's drawing calls through the engine stand-in on model A:
// - a 5000 x 5000 24-bit DrvStretchBlt (75 MB of source) in MB/s, against
//   memcpy of the same 75 MB, and with the reduction from 600 to 300 dpi;
// - DrvStrokePath over a 100,000-point polyline (compare xl_bench's
//   BM_LinePathPolyline100k: the writer alone on the same points);
// - 10,000 small fills under a 64-rectangle clip region, against the same
//   fills under a clip rectangle.
// Each iteration is one document of one page; the printer context's record
// is cleared between iterations.
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>

#include <cstring>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/pdev.h"
#include "km_host.h"
#include "model_root.h"

namespace {

constexpr LONG kSide = 5000;
constexpr size_t kImageBytes = size_t{kSide} * kSide * 3;  // 75 MB

struct Setup {
  kestrel::test::FreshRoot root{"kestrel-bench-draw"};
  kestrel::kmhost::Queue q;
  bool ok = false;
  Setup() { ok = root.ok() && q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6"); }
};

// One page on a new document; `draw` is called between page start and end.
template <typename Draw>
bool Page(Setup& s, bool reduce, Draw&& draw) {
  KpEngineClearOutput(s.q.printer);
  KP_ENGINE_SESSION* session = KpEngineEnablePDEV(s.q.driver, s.q.printer, s.q.devmode.data());
  if (!session) return false;
  auto* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session));
  ddm_SetNumber(DDM_RESCONVERSION, pdev->devmode, pdev->printerData, reduce ? 1 : 0);
  ddm_SetNumber(DDM_RESCONVTHRESHOLD, pdev->devmode, pdev->printerData, 300);
  bool ok = KpEngineEnableSurface(session) && KpEngineStartDoc(session, u"bench", 1) && KpEngineStartPage(session) &&
            draw(session) && KpEngineSendPage(session) && KpEngineEndDoc(session, 0);
  KpEngineDisablePDEV(session);
  return ok;
}

void StretchBlt5000(benchmark::State& state, bool reduce) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue");
    return;
  }
  std::vector<BYTE> bits(kImageBytes);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<BYTE>(i * 2654435761u >> 24);
  SURFOBJ* src = KpEngineCreateBitmap(kSide, kSide, BMF_24BPP, BMF_TOPDOWN, bits.data(), 0);
  XLATEOBJ* bgr = KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF);
  for (auto _ : state) {
    RECTL dest{0, 0, kSide, kSide}, from{0, 0, kSide, kSide};
    if (!Page(s, reduce, [&](KP_ENGINE_SESSION* session) {
          return KpEngineStretchBlt(session, src, nullptr, nullptr, bgr, &dest, &from, nullptr, 3) != FALSE;
        }))
      state.SkipWithError("StretchBlt failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kImageBytes));
  state.counters["stream_bytes"] = double(KpEngineGetOutput(s.q.printer, nullptr, 0));
  KpEngineDeleteObject(src);
  KpEngineDeleteObject(bgr);
}
void BM_StretchBlt5000x5000(benchmark::State& state) { StretchBlt5000(state, false); }
void BM_StretchBlt5000x5000_Reduce600To300(benchmark::State& state) { StretchBlt5000(state, true); }
BENCHMARK(BM_StretchBlt5000x5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchBlt5000x5000_Reduce600To300)->Unit(benchmark::kMillisecond);

void BM_Memcpy75MB(benchmark::State& state) {
  std::vector<BYTE> a(kImageBytes, 1), b(kImageBytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), kImageBytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_Memcpy75MB)->Unit(benchmark::kMillisecond);

void BM_StrokePathPolyline100k(benchmark::State& state) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue");
    return;
  }
  // The points of xl_bench's polyline, in 28.4.
  std::vector<POINTFIX> pts(100000);
  LONG x = 1000, y = 1000;
  for (size_t i = 0; i < pts.size(); ++i) {
    x += static_cast<LONG>((i * 7919) % 21) - 10;
    y += static_cast<LONG>((i * 104729) % 17) - 8;
    if (i % 5000 == 0) x += 300;
    pts[i] = POINTFIX{x * 16, y * 16};
  }
  const PATHDATA record{PD_BEGINSUBPATH | PD_ENDSUBPATH, static_cast<ULONG>(pts.size()), pts.data()};
  PATHOBJ* path = KpEngineCreatePath(1, &record);
  BRUSHOBJ* pen = nullptr;
  LINEATTRS la{};
  la.iJoin = JOIN_ROUND;
  la.iEndCap = ENDCAP_ROUND;
  la.elWidth.l = 1;
  la.eMiterLimit = 10.0f;
  for (auto _ : state) {
    if (!Page(s, false, [&](KP_ENGINE_SESSION* session) {
          if (!pen) pen = KpEngineCreateSolidBrush(session, 0);
          return KpEngineStrokePath(session, path, nullptr, nullptr, pen, nullptr, &la, R2_COPYPEN * 0x101) != FALSE;
        }))
      state.SkipWithError("StrokePath failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pts.size()));
  KpEngineDeleteObject(path);
  if (pen) KpEngineDeleteObject(pen);
}
BENCHMARK(BM_StrokePathPolyline100k)->Unit(benchmark::kMillisecond);

void SmallFills(benchmark::State& state, bool region) {
  Setup s;
  if (!s.ok) {
    state.SkipWithError("no queue");
    return;
  }
  std::vector<RECTL> bands;
  for (LONG i = 0; i < 64; ++i) bands.push_back(RECTL{0, i * 50, 4000, i * 50 + 40});
  CLIPOBJ* clip = region ? KpEngineCreateClip(DC_COMPLEX, 64, bands.data())
                         : KpEngineCreateClip(DC_RECT, 1, &bands[0]);
  std::vector<PATHOBJ*> paths;
  for (LONG i = 0; i < 100; ++i) {
    const POINTFIX tri[3] = {{(10 + i * 30) * 16, 5 * 16}, {(30 + i * 30) * 16, 8 * 16}, {(20 + i * 30) * 16, 30 * 16}};
    paths.push_back(KpEngineCreatePolygonPath(3, tri));
  }
  BRUSHOBJ* brush = nullptr;
  for (auto _ : state) {
    if (!Page(s, false, [&](KP_ENGINE_SESSION* session) {
          if (!brush) brush = KpEngineCreateSolidBrush(session, 0x00FF00);
          for (int n = 0; n < 10000; ++n)
            if (!KpEngineFillPath(session, paths[n % 100], clip, brush, nullptr, R2_COPYPEN * 0x101, 0)) return false;
          return true;
        }))
      state.SkipWithError("FillPath failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 10000);
  for (PATHOBJ* p : paths) KpEngineDeleteObject(p);
  KpEngineDeleteObject(clip);
  if (brush) KpEngineDeleteObject(brush);
}
void BM_Fills10kUnderRegion64(benchmark::State& state) { SmallFills(state, true); }
void BM_Fills10kUnderClipRectangle(benchmark::State& state) { SmallFills(state, false); }
BENCHMARK(BM_Fills10kUnderRegion64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fills10kUnderClipRectangle)->Unit(benchmark::kMillisecond);

}  // namespace
