// DrvEnablePDEV, run at every CreateDC: kestrelkm loaded by the engine
// stand-in for model A, a PDEV enabled from the CreateDC devmode (the
// description data opened, the printer data and the substitution table read,
// the forms found, GDIINFO and DEVINFO filled) and disabled again; and the
// same with its surface.
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>
#include <kplatform/root.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "km_host.h"
#include "model_root.h"

namespace {

void Run(benchmark::State& state, bool surface) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6")) {
    state.SkipWithError(q.error.empty() ? "no platform root" : q.error.c_str());
    return;
  }
  for (auto _ : state) {
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(q.driver, q.printer, q.devmode.data());
    if (!s || (surface && !KpEngineEnableSurface(s))) {
      state.SkipWithError("no PDEV");
      if (s) KpEngineDisablePDEV(s);
      break;
    }
    KpEngineDisablePDEV(s);
  }
}

void BM_EnableDisablePDEV(benchmark::State& state) { Run(state, false); }
void BM_EnableDisablePDEVWithSurface(benchmark::State& state) { Run(state, true); }
BENCHMARK(BM_EnableDisablePDEV);
BENCHMARK(BM_EnableDisablePDEVWithSurface);

}  // namespace
