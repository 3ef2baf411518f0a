// Every application's call of the devmode exports: DrvDocumentProperties
// with DM_COPY | DM_UPDATE merging the driver's own 1556-byte devmode on
// model A (SimpleDocumentProperties: description handle, default devmode,
// printer data, merge, output rule), against cdm_ModifyDevmode alone on the
// same inputs (an open description handle, the default devmode and the
// printer data ready). The ratio of the two is the cost of the export's own
// work around the merge.
#include <benchmark/benchmark.h>
#include <kplatform/kwindows.h>

#include <cstring>
#include <vector>

#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/ui/docprop.h"
#include "model_a_queue.h"
#include "model_root.h"

extern "C" LONG DrvDocumentProperties(HWND, HANDLE, LPWSTR, void*, void*, DWORD);

namespace {

struct ModelRoot {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  kestrel::test::ModelAQueue queue;
  std::u16string name = kestrel::test::kModelAPrinter;
  std::vector<BYTE> ours = std::vector<BYTE>(NRV_DEVMODE_SIZE_KIND1);
  bool ready = false;
  ModelRoot() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) return;
    ready = DrvDocumentProperties(nullptr, queue.printer, name.data(), ours.data(), nullptr, DM_COPY) == 1;
  }
  ~ModelRoot() { queue.Close(); }
};

void BM_DrvDocumentPropertiesCopyUpdate(benchmark::State& state) {
  ModelRoot m;
  if (!m.ready) {
    state.SkipWithError("model A could not be set up");
    return;
  }
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  for (auto _ : state) {
    LONG r = DrvDocumentProperties(nullptr, m.queue.printer, m.name.data(), out.data(), m.ours.data(),
                                   DM_COPY | DM_UPDATE);
    benchmark::DoNotOptimize(r);
    if (r != 1) state.SkipWithError("the export failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrvDocumentPropertiesCopyUpdate);

void BM_ModifyDevmodeAlone(benchmark::State& state) {
  ModelRoot m;
  if (!m.ready) {
    state.SkipWithError("model A could not be set up");
    return;
  }
  std::vector<BYTE> defaults(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  DWORD size = NRV_DEVMODE_SIZE_KIND1;
  BOOL converted = FALSE;
  kcore_Free(wNTc_MakeEnvironment(m.queue.printer, m.queue.ddd, defaults.data(), &size, &converted));
  pd_GetPrinterData(m.queue.printer, pd.data(), m.queue.ddd);
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), work(NRV_PRINTERDATA_SIZE);
  for (auto _ : state) {
    std::memcpy(dm.data(), defaults.data(), dm.size());
    std::memcpy(work.data(), pd.data(), work.size());
    BOOL r = cdm_ModifyDevmode(m.queue.ddd, dm.data(), m.ours.data(), work.data(), m.queue.printer, 2);
    benchmark::DoNotOptimize(r);
    if (!r) state.SkipWithError("the merge failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ModifyDevmodeAlone);

}  // namespace
