// The whole road: the sample document printed on model A through the DC,
// kestrelui, kestrelkm, the spooler, kestrelum and kmonant to a file port,
// with kestrelum's image compression at delta row (the default) and JPEG;
// and a 100-page text document. Counters: pages (sheet sides) per second,
// bytes per page, and for the text document the resident memory at pages
// 1, 10 and 100.
//
// The share of time in each part is taken by sampling: a profiling timer
// (ITIMER_PROF, every 1 ms of the process's CPU time) interrupts whichever
// thread runs, and the sample goes to the object the interrupted
// instruction lies in (the innermost frame's): the driver libraries each
// (share_kestrelui, share_kestrelkm, share_kestrelum, share_kmonant) and
// together with the driver's other libraries (share_driver), the platform
// stand-in (share_platform, libkplatform and compstui), FreeType
// (share_freetype), the C and C++ runtimes (share_runtime: libc, libstdc++,
// libm, libgcc, the loader) and everything else (share_other: the program,
// the image and compression libraries, SQLite). A library's calls into the
// platform or the C runtime count as theirs, not the library's; time in the
// kernel counts as the object whose system call it serves. The libraries
// are kept loaded for the whole run (the DC loads and frees them at every
// job), so their address ranges stay fixed.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model_root.h"
#include "road.h"
#include "road_checks.h"

namespace {

using kestrel::road::RoadDocument;
using kestrel::road::RoadQueue;

// ---- the sampler ------------------------------------------------------------------

enum Part { kKestrelui, kKestrelkm, kKestrelum, kKmonant, kDriverOther, kPlatform, kFreeType, kRuntime, kOther, kParts };
const char* const kPartNames[kParts] = {"share_kestrelui", "share_kestrelkm", "share_kestrelum", "share_kmonant",
                                        nullptr,           "share_platform",  "share_freetype",  "share_runtime",
                                        "share_other"};
const char* const kLibraries[] = {"libkestrelui", "libkestrelkm", "libkestrelum", "libkmonant"};

// The part an object's file name belongs to.
Part PartOf(const char* name) {
  for (int p = kKestrelui; p <= kKmonant; ++p)
    if (std::strstr(name, kLibraries[p]) != nullptr) return static_cast<Part>(p);
  if (std::strstr(name, "/libkestrel") != nullptr) return kDriverOther;
  if (std::strstr(name, "/libkplatform") != nullptr || std::strstr(name, "/libcompstui") != nullptr) return kPlatform;
  if (std::strstr(name, "/libfreetype") != nullptr) return kFreeType;
  for (const char* runtime : {"/libc.so", "/libstdc++", "/libm.so", "/libgcc_s", "/ld-linux", "linux-vdso"})
    if (std::strstr(name, runtime) != nullptr) return kRuntime;
  return kOther;
}

struct Range {
  uintptr_t from, to;
  Part part;
};
constexpr int kMaxRanges = 256;
Range gRanges[kMaxRanges];
std::atomic<int> gRangeCount{0};
std::atomic<uint64_t> gSamples[kParts];

int CollectRanges(dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name != nullptr && info->dlpi_name[0] != 0 ? info->dlpi_name : "(program)";
  const Part part = PartOf(name);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || (ph.p_flags & PF_X) == 0) continue;
    const int n = gRangeCount.load();
    if (n >= kMaxRanges) return 0;
    gRanges[n] = {info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz, part};
    gRangeCount.store(n + 1);
  }
  return 0;
}

// Keeps every driver library loaded (one more reference each), so that the
// ranges below stay valid while the DC loads and frees them.
int PinLibraries(dl_phdr_info* info, size_t, void*) {
  if (info->dlpi_name == nullptr) return 0;
  if (std::strstr(info->dlpi_name, "/libkestrel") != nullptr || std::strstr(info->dlpi_name, "/libkmonant") != nullptr)
    dlopen(info->dlpi_name, RTLD_NOW | RTLD_NODELETE);
  return 0;
}

void OnSample(int, siginfo_t*, void* context) {
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  const uintptr_t pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  const uintptr_t pc = static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
#error "the sampler reads the interrupted instruction's address of x86-64 and AArch64 only"
#endif
  const int ranges = gRangeCount.load();
  for (int r = 0; r < ranges; ++r) {
    if (pc >= gRanges[r].from && pc < gRanges[r].to) {
      gSamples[gRanges[r].part].fetch_add(1);
      return;
    }
  }
  gSamples[kOther].fetch_add(1);  // code outside every object: generated or the kernel's
}

void StartSampling() {
  for (auto& s : gSamples) s.store(0);
  struct sigaction sa {};
  sa.sa_sigaction = OnSample;
  sa.sa_flags = SA_RESTART | SA_SIGINFO;
  sigaction(SIGPROF, &sa, nullptr);
  itimerval t{{0, 1000}, {0, 1000}};
  setitimer(ITIMER_PROF, &t, nullptr);
}

void StopSampling(benchmark::State& state) {
  itimerval off{};
  setitimer(ITIMER_PROF, &off, nullptr);
  signal(SIGPROF, SIG_IGN);
  uint64_t total = 0;
  for (auto& s : gSamples) total += s.load();
  auto share = [&](uint64_t n) { return total ? 100.0 * static_cast<double>(n) / static_cast<double>(total) : 0.0; };
  uint64_t driver = 0;
  for (int p = 0; p < kParts; ++p) {
    if (p <= kDriverOther) driver += gSamples[p].load();
    if (kPartNames[p] != nullptr) state.counters[kPartNames[p]] = share(gSamples[p].load());
  }
  state.counters["share_driver"] = share(driver);
}

// ---- the road -----------------------------------------------------------------------

struct Road {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  RoadQueue queue;
  bool Open(const std::vector<kestrel::road::RoadSetting>& settings) {
    if (!root.ok() || !kestrel::road::RoadOpen(root.path()).ok()) return false;
    queue.model = kestrel::road::RoadModel::A;
    return kestrel::road::RoadInstallQueue(queue).ok() && kestrel::road::RoadApplySettings(queue, settings).ok();
  }
};

// One job, its libraries pinned while it runs (the first job of a run).
bool WarmUp(const Road& road, const RoadDocument& doc) {
  RoadDocument pinned = doc;
  auto draw = pinned.pages[0].draw;
  pinned.pages[0].draw = [draw](HDC hdc) {
    dl_iterate_phdr(PinLibraries, nullptr);
    return draw(hdc);
  };
  if (!kestrel::road::RoadPrint(road.queue, pinned).result.ok()) return false;
  gRangeCount.store(0);
  dl_iterate_phdr(CollectRanges, nullptr);
  return gRangeCount.load() > 0;
}

// Prints the document once an iteration, sampling where the time goes;
// counts pages per second and bytes per page.
void PrintRepeatedly(benchmark::State& state, Road& road, const RoadDocument& doc) {
  uint64_t pages = 0, bytes = 0;
  StartSampling();
  for (auto _ : state) {
    const kestrel::road::RoadJob job = kestrel::road::RoadPrint(road.queue, doc);
    if (!job.result.ok()) {
      state.SkipWithError(job.result.message.c_str());
      break;
    }
    pages += job.pages.size();
    bytes += job.bytes.size();
  }
  StopSampling(state);
  state.counters["pages_per_second"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
  state.counters["bytes_per_page"] = pages ? static_cast<double>(bytes) / pages : 0.0;
}

void Sample(benchmark::State& state, const char* compression) {
  Road road;
  const RoadDocument doc = kestrel::road::RoadSampleDocument();
  if (!road.Open({{"image-compression", compression}}) || !WarmUp(road, doc)) {
    state.SkipWithError("no road");
    return;
  }
  PrintRepeatedly(state, road, doc);
}

void BM_SampleDeltaRow(benchmark::State& state) { Sample(state, "delta-row"); }
void BM_SampleJpeg(benchmark::State& state) { Sample(state, "jpeg"); }

// Resident memory in KB (from /proc/self/statm).
double ResidentKb() {
  long pagesTotal = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  if (std::fscanf(f, "%ld %ld", &pagesTotal, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

void BM_Text100Pages(benchmark::State& state) {
  Road road;
  RoadDocument doc = kestrel::test::TextDocument(100);
  if (!road.Open({}) || !WarmUp(road, kestrel::test::TextDocument(1))) {
    state.SkipWithError("no road");
    return;
  }
  double rss[3] = {0, 0, 0};
  for (int at : {1, 10, 100}) {
    auto draw = doc.pages[at - 1].draw;
    double* slot = &rss[at == 1 ? 0 : at == 10 ? 1 : 2];
    doc.pages[at - 1].draw = [draw, slot](HDC hdc) {
      *slot = ResidentKb();
      return draw(hdc);
    };
  }
  PrintRepeatedly(state, road, doc);
  state.counters["rss_kb_page_1"] = rss[0];
  state.counters["rss_kb_page_10"] = rss[1];
  state.counters["rss_kb_page_100"] = rss[2];
}

BENCHMARK(BM_SampleDeltaRow)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_SampleJpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Text100Pages)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
