// pd_GetPrinterData, run at every CreateDC and StartDoc: a queue holding the
// current record (seven chunks read from the registry store), and a queue
// holding nothing (the model's defaults built through kestreljd).
#include <benchmark/benchmark.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/root.h>
#include <kplatform/winspool.h>
#include <kplatform/winspool_monitor.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"
#include "model_root.h"

namespace {

struct Queue {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  HMODULE host = nullptr;
  HANDLE printer = nullptr;
  HCDDD ddd = nullptr;
  bool access = false;
  Queue() {
    if (!root.ok() || !kestrel::test::InstallModelFiles(kestrel::test::kModelA).empty() ||
        !KpSpoolerAddPrinter(u"Bench", u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"kdmhost.dll"))
      return;
    std::u16string name = u"Bench";
    if (!OpenPrinterW(name.data(), &printer, nullptr)) return;
    ddd = cddd_Open(printer);
    if (KpInstallModule("libkestreljd.so", nullptr) && KpInstallModule("libkdmhost.so", nullptr)) {
      host = LoadLibraryW(u"kdmhost.dll");
      access = host && ddm_AccessInit(host) == 1;
    }
  }
  ~Queue() {
    if (ddd) cddd_Close(ddd);
    if (printer) ClosePrinter(printer);
    if (access) ddm_AccessEnd();
    if (host) FreeLibrary(host);
  }
};

void Run(benchmark::State& state, bool stored) {
  Queue q;
  if (!q.ddd || !q.access) {
    state.SkipWithError("model or kestreljd missing");
    return;
  }
  std::vector<BYTE> record(PD_RECORD_SIZE);
  if (!pd_GetPrinterData(q.printer, record.data(), q.ddd)) {
    state.SkipWithError("no defaults");
    return;
  }
  if (stored && !zanSavePrinterDataToRegistry(q.printer, record.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0)) {
    state.SkipWithError("store failed");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(pd_GetPrinterData(q.printer, record.data(), q.ddd));
    benchmark::ClobberMemory();
  }
}

void BM_PdGetPrinterDataStored(benchmark::State& state) { Run(state, true); }
void BM_PdGetPrinterDataDefaults(benchmark::State& state) { Run(state, false); }
BENCHMARK(BM_PdGetPrinterDataStored);
BENCHMARK(BM_PdGetPrinterDataDefaults);

}  // namespace
