// The work of the Defaults button of the property sheets: the constraint
// engine's update driver (two-step mode) on model A for every member of the
// devmode, the non-devmode record and the printer data in turn.
#include <benchmark/benchmark.h>
#include <kplatform/kwindows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_ids.h"
#include "kestrel/core/cddd.h"
#include "kestrel/ui/constraint.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "model_a_queue.h"
#include "model_root.h"

namespace {

// A temporary root with model A's queue taken into use (the tests' model-A
// set-up, tests/common).
struct ModelRoot {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  kestrel::test::ModelAQueue queue;
  HCDDD ddd = nullptr;
  bool ready = false;
  ModelRoot() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) return;
    ddd = queue.ddd;
    ready = true;
  }
  ~ModelRoot() { queue.Close(); }
};

void BM_ConstUpdateEveryMember(benchmark::State& state) {
  ModelRoot root;
  if (!root.ready) {
    state.SkipWithError("model A could not be set up");
    return;
  }
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  const std::vector<WORD> ids = EveryDdmId();
  // The model's defaults for every numeric setting it describes.
  int defaults = 0;
  for (WORD id : ids) {
    ULONG_PTR value = 0;
    WORD type = 0, status = 0;
    if (!cdddGetDefaultDataInfo(root.ddd, id, &value, &type, &status)) continue;
    if (type != 6) {
      WORD memberType = 0;
      DWORD size = 0;
      ULONG_PTR slot = 0;
      if (ddm_GetValue(id, dm.data(), pd.data(), &memberType, &size, &slot) == 0 && memberType != 6 &&
          memberType != 9 && ddm_SetValue(id, dm.data(), pd.data(), memberType, size, &value) == 0)
        ++defaults;
    }
    cdddGetDefaultDataFree(value, type);
  }
  ConstInfo* info = const_AllocConstData();
  const HWND window = reinterpret_cast<HWND>(0x1000);
  for (auto _ : state) {
    for (WORD id : ids) {
      WORD* changed = nullptr;
      WORD r = const_UpdateConstDataX(1, window, root.ddd, dm.data(), pd.data(), nullptr, id, 0, nullptr, info,
                                      &changed, 0);
      benchmark::DoNotOptimize(r);
      if (changed) GlobalFree(changed);
    }
  }
  const_FreeConstData(info);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(ids.size()));
  state.counters["members"] = static_cast<double>(ids.size());
  state.counters["defaults"] = defaults;
}
BENCHMARK(BM_ConstUpdateEveryMember)->Unit(benchmark::kMillisecond);

}  // namespace
