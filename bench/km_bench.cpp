// DrvEnablePDEV, run at every CreateDC: kestrelkm loaded by the engine
// stand-in for model A, a PDEV enabled from the CreateDC devmode (the
// description data opened, the printer data and the substitution table read,
// the forms found, GDIINFO and DEVINFO filled) and disabled again; and the
// same with its surface.
#include <benchmark/benchmark.h>
#include <kplatform/engine.h>
#include <kplatform/root.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/render/xl_outbuf.h"

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

namespace {
// 1,000 pages that draw nothing, as one document of model A through the
// engine stand-in: job control, the page steps and the in-band records of
// every page. Against it, the same recorded stream written through the
// renderer's output buffer alone (pswrite in 16-byte pieces, about the size
// of the operators the renderer puts, then psflush) into the same printer.
namespace blank {

constexpr ULONG kPages = 1000;
constexpr DWORD kPiece = 16;

bool RunDocument(kestrel::kmhost::Queue& q) {
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(q.driver, q.printer, q.devmode.data());
  if (!s) return false;
  bool ok = KpEngineEnableSurface(s) && KpEngineStartDoc(s, u"bench", 1);
  for (ULONG page = 0; ok && page < kPages; ++page) ok = KpEngineStartPage(s) && KpEngineSendPage(s);
  ok = ok && KpEngineEndDoc(s, 0);
  KpEngineDisablePDEV(s);
  return ok;
}

void BM_BlankPages1000(benchmark::State& state) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6")) {
    state.SkipWithError(q.error.empty() ? "no platform root" : q.error.c_str());
    return;
  }
  for (auto _ : state) {
    KpEngineClearOutput(q.printer);
    if (!RunDocument(q)) {
      state.SkipWithError("the document failed");
      break;
    }
  }
  state.counters["pages/s"] = benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(KpEngineGetOutput(q.printer, nullptr, 0));
}
BENCHMARK(BM_BlankPages1000)->Unit(benchmark::kMillisecond);

void BM_BlankPages1000_PswriteOnly(benchmark::State& state) {
  kestrel::test::FreshRoot root("kestrel-bench");
  kestrel::kmhost::Queue q;
  if (!root.ok() || !q.Open(KM_BENCH_MODELS_DIR, "K350", u"Scriva K350 PCL6") || !RunDocument(q)) {
    state.SkipWithError("no recorded stream");
    return;
  }
  std::vector<BYTE> stream(KpEngineGetOutput(q.printer, nullptr, 0));
  KpEngineGetOutput(q.printer, stream.data(), stream.size());
  auto out = std::make_unique<XlOutBuf>();
  for (auto _ : state) {
    KpEngineClearOutput(q.printer);
    *out = XlOutBuf{};
    out->printer = XlPrinter{q.printer, EngWritePrinter};
    psinitbuf(out.get());
    for (size_t at = 0; at < stream.size(); at += kPiece)
      pswrite(out.get(), stream.data() + at, static_cast<DWORD>(std::min<size_t>(kPiece, stream.size() - at)));
    if (!psflush(out.get())) {
      state.SkipWithError("the write failed");
      break;
    }
  }
  state.counters["pages/s"] = benchmark::Counter(double(kPages) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(stream.size());
}
BENCHMARK(BM_BlankPages1000_PswriteOnly)->Unit(benchmark::kMillisecond);

}  // namespace blank
}  // namespace
