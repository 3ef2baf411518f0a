// The job frame's costs: one model-A EJCL header (written at BeginSession of
// every job and ahead of the job for every copy set), and the
// job-information comment of 1,000 and 10,000 pages (written in the
// trailer; it should grow linearly with the pages).
#include <benchmark/benchmark.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_system.h>

#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/ejcl.h"
#include "kestrel/core/jobinfo.h"
#include "model_root.h"

namespace {

struct ModelA {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  HMODULE host = nullptr;
  HCDDD ddd = nullptr;
  bool access = false;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
  ModelA() {
    if (!root.ok() || !kestrel::test::InstallModelFiles(kestrel::test::kModelA).empty()) return;
    if (KpInstallModule("libkestreljd.so", nullptr) && KpInstallModule("libkdmhost.so", nullptr)) {
      host = LoadLibraryW(u"kdmhost.dll");
      access = host && ddm_AccessInit(host) == 1;
    }
    ddd = cddd_OpenFile(kestrel::test::DriverFile(u"K350.DDD").c_str());
    if (ddd && !cdm_SetDefaultDevmode(ddd, dm.data(), pd.data(), nullptr)) {
      cddd_Close(ddd);
      ddd = nullptr;
    }
    KpSetUserName(u"alice");
  }
  ~ModelA() {
    if (ddd) cddd_Close(ddd);
    if (access) ddm_AccessEnd();
    if (host) FreeLibrary(host);
  }
};

void ModelAHeader(benchmark::State& state) {
  ModelA m;
  if (!m.ddd || !m.access) {
    state.SkipWithError("model A or kestreljd missing");
    return;
  }
  LONG size = ejcl_bufferSizeHead(m.ddd->main, m.ddd->referenced);
  std::vector<char> buffer(static_cast<size_t>(size));
  EJCL_CONTEXT c{};
  c.devmode = m.dm.data();
  c.printerData = m.pd.data();
  c.documentName = u"Quarterly report";
  c.hardCoded = 1;
  LONG bytes = 0;
  for (auto _ : state) {
    bytes = ejcl_getEJCLCommandsHead(m.ddd->main, m.ddd->referenced, &c, buffer.data(), static_cast<DWORD>(size));
    benchmark::DoNotOptimize(buffer.data());
  }
  if (bytes <= 0) state.SkipWithError("the header failed");
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(ModelAHeader)->Unit(benchmark::kMicrosecond);

void Comment(benchmark::State& state) {
  const DWORD pages = static_cast<DWORD>(state.range(0));
  std::vector<char> buffer(64 * 1024);
  size_t total = 0;
  for (auto _ : state) {
    JobInfoBuilder* b = IJ_lInit(100, 500);
    IJ_lSetPdlType(b, IJ_PDL_PCLXL, "2.1");
    IJ_lSetJobType(b, IJ_JOB_PRINT);
    IJ_lSetJobCopies(b, 1);
    IJ_lSetPageCopies(b, 1);
    for (DWORD i = 0; i < pages; ++i) {
      IJ_lAppendPage(b);
      IJ_lSetPaperSize(b, "A4");
      IJ_lSetColorMode(b, i % 3 == 0 ? IJ_PAGE_COLOR : IJ_PAGE_MONOCHROME);
      IJ_lSetInTray(b, 1);
    }
    DWORD more = 1;
    total = 0;
    while (more) {
      LONG n = IJ_lGetComment(b, buffer.data(), static_cast<DWORD>(buffer.size()), &more, nullptr);
      if (n < 0) break;
      total += static_cast<size_t>(n);
    }
    IJ_lEnd(b);
  }
  state.counters["bytes"] = static_cast<double>(total);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * pages);
}
BENCHMARK(Comment)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
