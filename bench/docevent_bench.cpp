// An application's job through the DC stand-in against the same pages
// through the engine runner alone: CreateDCW, StartDocW, two blank pages,
// EndDoc, DeleteDC (kestrelui's document events building the CreateDC
// devmode and sending the StartDoc escapes, kestrelkm behind them), and
// KpEngineRunJob with the CreateDC devmode of the model's defaults. Jobs per
// second are the benchmark's items per second; the ratio is the cost of the
// document events.
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>
#include <kplatform/gdi32_dc.h>
#include <kplatform/kwindows.h>

#include "km_host.h"
#include "model_root.h"

namespace {

constexpr ULONG kPages = 2;
constexpr char16_t kPrinter[] = u"Scriva K350 PCL6";

void BM_JobThroughDc(benchmark::State& state) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(DOCEVENT_BENCH_MODELS_DIR, "K350", kPrinter) ||
      !KpInstallModule("libkestrelui.so", nullptr) || !KpInstallModule("libkestreljd.so", nullptr) ||
      !KpSpoolerAddPrinter(kPrinter, kPrinter, u"K350.DDD", u"kestrelui.dll", u"kestrelkm.dll")) {
    state.SkipWithError("no queue");
    return;
  }
  for (auto _ : state) {
    HDC hdc = CreateDCW(nullptr, kPrinter, nullptr, nullptr);
    DOCINFOW doc{sizeof(DOCINFOW), u"Bench", nullptr, nullptr, 0};
    bool ok = hdc && StartDocW(hdc, &doc) > 0;
    for (ULONG p = 0; ok && p < kPages; ++p) ok = StartPage(hdc) > 0 && EndPage(hdc) > 0;
    ok = ok && EndDoc(hdc) > 0;
    if (hdc) DeleteDC(hdc);
    if (!ok) {
      state.SkipWithError("the job failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_JobThroughRunner(benchmark::State& state) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(DOCEVENT_BENCH_MODELS_DIR, "K350", kPrinter)) {
    state.SkipWithError("no queue");
    return;
  }
  for (auto _ : state) {
    KpEngineClearOutput(q.printer);
    if (!KpEngineRunJob(q.driver, q.printer, q.devmode.data(), u"Bench", kPages, nullptr, nullptr)) {
      state.SkipWithError("the job failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_JobThroughDc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JobThroughRunner)->Unit(benchmark::kMillisecond);

}  // namespace
