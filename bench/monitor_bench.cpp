// LMWritePort throughput: a 200 MB job written in 64 KB buffers into the file
// port, once through the language monitor (kmonant, with status support on)
// and once into the port monitor directly. The buffers after the first are
// timed: there the monitor adds one port look-up, one mutex and one call.
#include <benchmark/benchmark.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>

#include "model_root.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kJob = 200u * 1024 * 1024;
constexpr DWORD kBuffer = 64 * 1024;

struct Setup {
  kestrel::test::FreshRoot root{"kestrel-monitor-bench"};
  HANDLE monitor = nullptr;
  std::vector<BYTE> buffer = std::vector<BYTE>(kBuffer, 'X');
  Setup() {
    if (!root.ok()) std::abort();
    KpInstallModule("libkmonant.so", nullptr);
    monitor = KpMonitorLoad(u"kmonant.dll", u"System\\CurrentControlSet\\Control\\Print\\Monitors\\Kestrel");
    if (monitor == nullptr) std::abort();
    KpPortDefineFile(u"FILE:", u"C:\\bench.prn");
    // status support on: the monitor inspects the first buffer and writes its
    // start and end blocks
    HKEY key;
    DWORD mode = 1;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Halcyra\\Tessaly-AP\\Printers", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    RegSetValueExW(key, u"MyPortMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), 4);
    RegCloseKey(key);
  }
  ~Setup() { KpMonitorUnload(monitor); }
};

Setup& S() {
  static Setup s;
  return s;
}

void WriteJob(benchmark::State& state, bool throughMonitor) {
  Setup& s = S();
  LPMONITOR pm = KpPortMonitor();
  const MONITOR* lm = KpMonitorTable(s.monitor);
  std::u16string port = u"FILE:", printer = u"Bench";
  for (auto _ : state) {
    // Opening the port, the first buffer (with the start block) and the end
    // are not timed: the figure is the cost of the buffers after the first.
    state.PauseTiming();
    DeleteFileW(u"C:\\bench.prn");
    HANDLE h = nullptr;
    DWORD job = KpMonitorAddJob(printer.c_str(), u"bench", u"user");
    bool ok = throughMonitor ? KpMonitorOpenPort(s.monitor, port.c_str(), printer.c_str(), &h)
                             : pm->pfnOpenPort(port.data(), &h);
    if (!ok) std::abort();
    const MONITOR* t = throughMonitor ? lm : pm;
    t->pfnStartDocPort(h, printer.data(), job, 1, nullptr);
    DWORD first = 0;
    if (!throughMonitor) {
      // the same bytes as the monitor's start block, so that both write the
      // file at the same offsets
      static const char kBlock[] = "\x1b%-12345X@PJL JOB USER=\"user\"\r\n";
      DWORD n = 0;
      t->pfnWritePort(h, reinterpret_cast<BYTE*>(const_cast<char*>(kBlock)), sizeof kBlock - 1, &n);
    }
    if (!t->pfnWritePort(h, s.buffer.data(), kBuffer, &first)) std::abort();
    state.ResumeTiming();
    for (size_t done = first; done < kJob;) {
      DWORD written = 0;
      if (!t->pfnWritePort(h, s.buffer.data(), kBuffer, &written)) std::abort();
      done += written;
    }
    state.PauseTiming();
    t->pfnEndDocPort(h);
    t->pfnClosePort(h);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kJob));
}

void BM_PortMonitorDirect(benchmark::State& state) { WriteJob(state, false); }
void BM_LanguageMonitorWritePort(benchmark::State& state) { WriteJob(state, true); }

BENCHMARK(BM_PortMonitorDirect)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LanguageMonitorWritePort)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
