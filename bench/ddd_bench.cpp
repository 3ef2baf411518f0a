// Model A's device description data through the reader: open the pair, and
// for every option record read its default and match that value back to its
// item (the work the devmode core does when it builds a default devmode).
// The compiled models lie in <build>/models, beside <build>/bin.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ddd_host.h"

namespace {

std::string ModelsDir() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "models";
  std::string path(exe, static_cast<size_t>(n));
  path = path.substr(0, path.find_last_of('/'));  // <build>/bin
  return path.substr(0, path.find_last_of('/')) + "/models";
}

struct Fixture {
  std::string root = kestrel::ddd_host::MakeTempRoot();
  kestrel::ddd_host::Model model;
  bool ok = model.Open(ModelsDir() + "/K350.DDD") == DDD_OK;
  ~Fixture() {
    model.Close();
    kestrel::ddd_host::RemoveTempRoot(root);
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void BM_OpenK350(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.ok) {
    state.SkipWithError("K350.DDD does not open");
    return;
  }
  std::u16string path = kestrel::ddd_host::DriverDirWindows() + u"\\K350.DDD";
  for (auto _ : state) {
    DDDFILE main = {}, ref = {};
    WORD r = ddd_OpenFile(path.c_str(), 0, &main, &ref);
    benchmark::DoNotOptimize(r);
    ddd_CloseFile(&main, &ref);
  }
}
BENCHMARK(BM_OpenK350);

void BM_DefaultsAndMatchEveryOption(benchmark::State& state) {
  Fixture& f = Shared();
  if (!f.ok) {
    state.SkipWithError("K350.DDD does not open");
    return;
  }
  DDDFILE* main = &f.model.main;
  DDDFILE* ref = &f.model.referenced;
  std::vector<WORD> ids;
  for (WORD cat : {WORD(DDD_CAT_OPTION_INSTALL), WORD(DDD_CAT_OPTION_DOC)}) {
    for (WORD i = 1;; ++i) {
      void* rec = nullptr;
      if (ddd_GetDataByIndexX(DDD_QUICK, main, ref, cat, i, &rec) != DDD_OK) break;
      ids.push_back(static_cast<DDD_HEAD*>(rec)->id);
      ddd_Free(&rec, DDD_KIND_ANY);
    }
  }
  size_t matched = 0;
  for (auto _ : state) {
    for (WORD id : ids) {
      void* def = nullptr;
      WORD type = 0;
      if (ddma_GetDefaultPDEV(main, ref, id, &def, &type) != DDD_OK) continue;
      DDD_VALUE v = {};
      v.type = type;
      v.size = type == DDD_TYPE_SHORT || type == DDD_TYPE_USHORT ? 2 : type == DDD_TYPE_BYTE ? 1 : 4;
      if (type == DDD_TYPE_STRING) {
        size_t n = 0;
        while (static_cast<LPCWSTR>(def)[n] != 0) ++n;
        v.size = static_cast<WORD>(2 * n + 2);
      }
      v.count = 1;
      v.data = def;
      WORD cat = 0;
      void* item = nullptr;
      if (ddma_GetDataX(DDD_QUICK, main, ref, id, &v, &cat, &item) == DDD_OK) ++matched;
      ddd_Free(&item, DDD_KIND_ANY);
      ddd_FreeMem(def);
    }
  }
  state.counters["options"] = static_cast<double>(ids.size());
  state.counters["matched"] = benchmark::Counter(static_cast<double>(matched), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DefaultsAndMatchEveryOption);

}  // namespace
