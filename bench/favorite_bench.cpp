// The favourite file: exporting a favourite that differs from favourite 1
// in every setting it can carry and importing it as a new favourite, against
// writing the same file's bytes once with WriteFile. The profile file is
// rewritten whole for every key (as its writer does), so the export's cost
// grows with the square of the settings written; the ratio of the two is
// the price of the profile format. The import's settings check runs over a
// sweep that changes nothing, so only the file's and the store's work is
// measured.
//
// Measured on the shared build machine (load about 25 on 8 cores), 336
// settings, a 3922-byte file: export and import 1867 ms (177 ms CPU),
// WriteFile of the same bytes 3.4 ms (0.23 ms CPU): about 550 times the
// time, 770 times the CPU.
#include <benchmark/benchmark.h>
#include <kplatform/kwindows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/ui/favorite.h"
#include "kplatform/kernel32_file.h"
#include "model_a_queue.h"
#include "model_root.h"

namespace {

constexpr const char16_t* kFile = u"C:\\Bench\\fav.kfv";
constexpr const char16_t* kCopy = u"C:\\Bench\\copy.kfv";

BOOL NoMethod(HCDDD, WORD, void*, void*, WORD*) { return FALSE; }
int g_constData;
void* NoConst() { return &g_constData; }
void FreeConst(void*) {}
WORD NoUpdate(HWND, HCDDD, void*, void*, WORD, WORD, const ULONG_PTR*, void*, void*, BOOL* changed) {
  *changed = FALSE;
  return 0;
}
const CDM_SWEEP_OPS kQuietSweep = {NoMethod, NoConst, FreeConst, NoUpdate};

struct FavouriteRoot {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  kestrel::test::ModelAQueue queue;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL, 0);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE, 0);
  FAV_LIST list;
  WORD number = 0;
  int changed = 0;
  bool ready = false;

  FavouriteRoot() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) return;
    if (cdm_SetDefaultDevmode(queue.ddd, dm.data(), pd.data(), kestrel::test::kModelAPrinter) != 1) return;
    if (!Fav_LoadList(queue.printer, queue.ddd, dm.data(), pd.data(), &list)) return;
    CreateDirectoryW(u"C:\\Bench", nullptr);
    // Every numeric setting one step away from the default where the
    // devmode takes it, every string setting a text of its own.
    WORD kind = 0;
    for (WORD table = 0; dmGetDevmodeTableKind(table, &kind); ++table) {
      if (kind == DDM_KIND_PRINTERDATA) continue;
      for (WORD i = 0;; ++i) {
        WORD id = dmGetDevmodeDdmID(table, i);
        if (id == 0) break;
        // The device, the versions and model, and the paper (its margins
        // are kept with the favourite) stay.
        if (id == 1 || id == 8 || id == 257 || id == 258 || id == 259) continue;
        WORD type = 0;
        DWORD size = 0;
        ULONG_PTR v = 0;
        if (ddm_GetValue(id, dm.data(), pd.data(), &type, &size, &v) != 0 || type == DDM_TYPE_FONT) continue;
        if (type == DDM_TYPE_STRING) {
          const char16_t* text = u"bench";
          if (size >= 12 && ddm_SetValue(id, dm.data(), pd.data(), type, 12, text) == 0) ++changed;
        } else {
          ULONG_PTR next = type == DDM_TYPE_FLAG ? !v : v + 1;
          if (ddm_SetValue(id, dm.data(), pd.data(), type, size, &next) == 0) ++changed;
        }
      }
    }
    cdm_SetSweepOps(&kQuietSweep);
    LONG added = Fav_Add(queue.printer, queue.ddd, nullptr, dm.data(), pd.data(), u"Bench", u"one\r\ntwo", &list);
    if (added != FAV_OK) {
      std::fprintf(stderr, "favorite_bench: the favourite could not be added (%ld)\n", static_cast<long>(added));
      return;
    }
    number = list.entries[0].number;
    ready = true;
  }
  ~FavouriteRoot() {
    cdm_SetSweepOps(nullptr);
    queue.Close();
  }
};

FavouriteRoot& Root() {
  static FavouriteRoot root;
  return root;
}

void BM_FavouriteExportImport(benchmark::State& state) {
  auto& r = Root();
  if (!r.ready) {
    state.SkipWithError("model A could not be set up");
    return;
  }
  for (auto _ : state) {
    if (!FavFile_Export(r.queue.printer, r.queue.ddd, nullptr, r.dm.data(), r.pd.data(), r.number, u"Bench",
                        u"one\r\ntwo", kFile)) {
      state.SkipWithError("export failed");
      break;
    }
    FAV_LIST list = r.list;
    LONG imported = FavFile_Import(r.queue.printer, r.queue.ddd, nullptr, r.dm.data(), r.pd.data(), kFile, &list);
    if (imported != FAV_OK) {
      std::fprintf(stderr, "favorite_bench: the import failed (%ld)\n", static_cast<long>(imported));
      state.SkipWithError("import failed");
      break;
    }
    DeleteCurrentUserUserSel(r.queue.printer, r.queue.ddd, list.entries.back().number);
  }
  state.counters["settings"] = r.changed;
}
BENCHMARK(BM_FavouriteExportImport)->Unit(benchmark::kMillisecond);

void BM_WriteFileSameBytes(benchmark::State& state) {
  auto& r = Root();
  if (!r.ready ||
      !FavFile_Export(r.queue.printer, r.queue.ddd, nullptr, r.dm.data(), r.pd.data(), r.number, u"Bench",
                      u"one\r\ntwo", kFile)) {
    state.SkipWithError("model A could not be set up");
    return;
  }
  HANDLE in = CreateFileW(kFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<BYTE> bytes(GetFileSize(in, nullptr));
  DWORD got = 0;
  ReadFile(in, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(in);
  for (auto _ : state) {
    HANDLE out = CreateFileW(kCopy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (out == INVALID_HANDLE_VALUE || !WriteFile(out, bytes.data(), got, &written, nullptr) || written != got) {
      state.SkipWithError("write failed");
      break;
    }
    CloseHandle(out);
  }
  state.counters["bytes"] = got;
}
BENCHMARK(BM_WriteFileSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
