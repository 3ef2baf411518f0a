// The page layout of kestrelkm: comm_Page_Layout with the device matrix for
// every cell of an N-up 32 sheet with zoom, binding margin, print position,
// 180-degree turn and print origin all on, against the same count of bare
// 2 x 3 float products; and a 1,000-page 2-up job with frame lines through
// the engine stand-in against the plain 1,000-page job (km_bench's
// BM_BlankPages1000 makes the same plain job).
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>

#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "km_host.h"
#include "layout.h"
#include "model_root.h"

namespace {

constexpr LONG kCells = 32;

PAGEINFO EverythingOn() {
  LAYOUTINFO l{};
  JOBREC_PAPER a4{};
  a4.width = 2100;
  a4.height = 2970;
  a4.imageableWidth = 2016;
  a4.imageableHeight = 2886;
  a4.left = a4.top = 42;
  a4.marginLeft = a4.marginRight = a4.marginTop = a4.marginBottom = 42;
  l.inputPaper = l.outputPaper = a4;
  l.resolutionX = l.resolutionY = 600;
  l.nup = kCells;
  l.gridColumns = 4;
  l.gridRows = 8;
  l.gridTurned = 1;
  l.pageOrder = 4;
  l.zoomOn = 1;
  l.zoomPercent = 80;
  l.marginPosition = 1;
  l.margin1 = 150;
  l.member459 = 1;
  l.member460 = 20;
  l.member461 = 10;
  l.rotate180Kind = 3;
  l.member382 = 4;
  PAGEINFO info{};
  _setPageInfoStruct(&l, &info);
  return info;
}

void BM_PageLayoutNup32(benchmark::State& state) {
  const PAGEINFO info = EverythingOn();
  for (auto _ : state) {
    for (LONG page = 1; page <= kCells; ++page) {
      nrvxform layout{}, device{};
      if (comm_Page_Layout(&layout, &info, page, 1) != 0 || _culcDeviceMatrix(&info, &layout, &device) != 0) {
        state.SkipWithError("the layout failed");
        return;
      }
      benchmark::DoNotOptimize(device);
    }
  }
  state.counters["layouts/s"] = benchmark::Counter(double(kCells) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PageLayoutNup32);

// The same count of plain products of two 2 x 3 float matrices.
void BM_BareProducts(benchmark::State& state) {
  float a[6] = {0.5f, 0.0f, 0.0f, 0.5f, 10.0f, 20.0f};
  const float b[6] = {0.0f, 1.0f, -1.0f, 0.0f, 300.0f, 400.0f};
  for (auto _ : state) {
    for (LONG i = 0; i < kCells; ++i) {
      const float r[6] = {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
                          a[2] * b[1] + a[3] * b[3], a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
      benchmark::DoNotOptimize(r);
      a[4] = r[4] * 1e-6f;
    }
  }
  state.counters["products/s"] = benchmark::Counter(double(kCells) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareProducts);

constexpr ULONG kPages = 1000;

void Job(benchmark::State& state, bool nup) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6")) {
    state.SkipWithError(q.error.empty() ? "no platform root" : q.error.c_str());
    return;
  }
  std::vector<BYTE> devmode = q.devmode;
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  if (nup && (!ddm_SetNumber(DDM_NUP, devmode.data(), pd.data(), 2) ||
              !ddm_SetNumber(DDM_NUP_FRAME, devmode.data(), pd.data(), 1))) {
    state.SkipWithError("no 2-up");
    return;
  }
  for (auto _ : state) {
    KpEngineClearOutput(q.printer);
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(q.driver, q.printer, devmode.data());
    bool ok = s && KpEngineEnableSurface(s) && KpEngineStartDoc(s, u"bench", 1);
    for (ULONG page = 0; ok && page < kPages; ++page) ok = KpEngineStartPage(s) && KpEngineSendPage(s);
    ok = ok && KpEngineEndDoc(s, 0);
    if (s) KpEngineDisablePDEV(s);
    if (!ok) {
      state.SkipWithError("the document failed");
      return;
    }
  }
  state.counters["pages/s"] = benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_Pages1000Plain(benchmark::State& state) { Job(state, false); }
void BM_Pages1000TwoUpFramed(benchmark::State& state) { Job(state, true); }
BENCHMARK(BM_Pages1000Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pages1000TwoUpFramed)->Unit(benchmark::kMillisecond);

}  // namespace
