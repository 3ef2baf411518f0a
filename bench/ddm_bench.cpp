// ddm_GetValue over a mix of every DDM id, through kestreljd loaded by name
// (the path every read of a setting takes in kestrelui and kestrelum), and
// the access core alone for comparison.
#include <benchmark/benchmark.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/root.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "model_root.h"

namespace {

// A temporary root with kestreljd and a library whose string 32766 names it.
struct ModuleRoot {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  HMODULE host = nullptr;
  bool ready = false;
  ModuleRoot() {
    if (!root.ok() || !KpInstallModule("libkestreljd.so", nullptr) ||
        !KpInstallModule("libkdmhost.so", nullptr))
      return;
    host = LoadLibraryW(u"kdmhost.dll");
    ready = host && ddm_AccessInit(host) == 1;
  }
  ~ModuleRoot() {
    if (ready) ddm_AccessEnd();
    if (host) FreeLibrary(host);
  }
};

void BM_DdmGetValueEveryId(benchmark::State& state) {
  ModuleRoot root;
  if (!root.ready) {
    state.SkipWithError("kestreljd could not be loaded");
    return;
  }
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  const std::vector<WORD> ids = EveryDdmId();
  for (auto _ : state) {
    for (WORD id : ids) {
      WORD type;
      DWORD size;
      ULONG_PTR value;
      benchmark::DoNotOptimize(ddm_GetValue(id, dm.data(), pd.data(), &type, &size, &value));
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ids.size()));
}
BENCHMARK(BM_DdmGetValueEveryId);

void BM_AccessCoreEveryId(benchmark::State& state) {
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  const std::vector<WORD> ids = EveryDdmId();
  for (auto _ : state) {
    for (WORD id : ids) {
      WORD type, location;
      DWORD size;
      ULONG_PTR value;
      benchmark::DoNotOptimize(
          dmaCore_GetValue(DMA_RULES_MODULE, id, dm.data(), pd.data(), &type, &size, &value, &location));
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ids.size()));
}
BENCHMARK(BM_AccessCoreEveryId);

}  // namespace
