// kestrelum's throughput: a 200 MB renderer-like stream (paths and images
// with their in-band page framing) through DrvSplWritePrinter in 4096-byte
// buffers into a counting printer, fully processed and in through mode 1,
// against memcpy of the same bytes. Each reports bytes per second.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/spool/umpd.h"
#include "model_a_queue.h"
#include "model_root.h"
#include "printer_calls.h"

namespace {

constexpr size_t kStreamBytes = 200u * 1024 * 1024;
constexpr DWORD kBuffer = 4096;

std::atomic<uint64_t> g_portBytes{0};

void Put(std::vector<uint8_t>& s, std::initializer_list<int> bytes) {
  for (int b : bytes) s.push_back(static_cast<uint8_t>(b));
}
void Command(std::vector<uint8_t>& s, BYTE code, const void* payload, uint8_t n) {
  Put(s, {0xC0, code, 0xF8, 0xFF, 0xFF});
  if (payload != nullptr) {
    Put(s, {0xFB, n});
    s.insert(s.end(), static_cast<const uint8_t*>(payload), static_cast<const uint8_t*>(payload) + n);
  }
}

// A command whose payload takes a 32-bit length (the devmode, the printer data).
void LongCommand(std::vector<uint8_t>& s, BYTE code, const void* payload, uint32_t n) {
  Put(s, {0xC0, code, 0xF8, 0xFF, 0xFF, 0xFA, static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF),
          static_cast<int>((n >> 16) & 0xFF), static_cast<int>(n >> 24)});
  s.insert(s.end(), static_cast<const uint8_t*>(payload), static_cast<const uint8_t*>(payload) + n);
}

kestrel::test::ModelAQueue& Queue() {
  static kestrel::test::FreshRoot root("kestrel-bench-spool");
  static kestrel::test::ModelAQueue queue;
  static bool opened = [] {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) std::abort();
    return true;
  }();
  (void)opened;
  return queue;
}
HANDLE QueuePrinter() { return Queue().printer; }

// The job's start: enable, open, model A's devmode and printer data (the job
// header is made from them at BeginSession), BeginSession.
void Prologue(std::vector<uint8_t>& s) {
    Command(s, XL_IC_ENABLE, nullptr, 0);
    const uint8_t name[] = {'b', 0, 0, 0};
    Command(s, XL_IC_OPEN, name, sizeof(name));
    // Model A's defaults: the job header is made from them at BeginSession.
    std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
    BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
    if (!pd_GetPrinterData(Queue().printer, printerData, Queue().ddd) ||
        !cdm_SetDefaultDevmode(Queue().ddd, devmode.data(), printerData, kestrel::test::kModelAPrinter))
      std::abort();
    LongCommand(s, XL_IC_SETDEVMODE, devmode.data(), XL_IC_DEVMODE_SIZE);
    LongCommand(s, XL_IC_SETPRINTERDATA, printerData, XL_IC_PRINTERDATA_SIZE);
    Put(s, {0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0, 0xF8, 0x8F, 0x41});
}

const uint8_t kPage[12] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 0};

// 1,000,000 operators on 100 pages, half of them repeating the state in
// force (SetROP 204 before every rectangle), for the graphics-state filter.
constexpr int kFilterPages = 100;
constexpr int kFilterPairs = 5000;
constexpr double kFilterOperators = 2.0 * kFilterPages * kFilterPairs;
const std::vector<uint8_t>& FilterStream() {
  static const std::vector<uint8_t> stream = [] {
    std::vector<uint8_t> s;
    Prologue(s);
    for (int p = 0; p < kFilterPages; ++p) {
      Command(s, XL_IC_STARTPAGE, kPage, sizeof(kPage));
      for (int k = 0; k < kFilterPairs; ++k) {
        Put(s, {0xC0, 204, 0xF8, 0x2C, 0x7B});                                // SetROP 204
        Put(s, {0xE3, 10, 0, 10, 0, 90, 0, 90, 0, 0xF8, 0x42, 0xA0});        // Rectangle
      }
      Command(s, XL_IC_SHOWPAGE, nullptr, 0);
      Command(s, XL_IC_ENDPAGE, nullptr, 0);
    }
    Put(s, {0x42});  // EndSession
    Command(s, XL_IC_CLOSE, nullptr, 0);
    Command(s, XL_IC_DISABLE, nullptr, 0);
    return s;
  }();
  return stream;
}

const std::vector<uint8_t>& Stream() {
  static const std::vector<uint8_t> stream = [] {
    std::vector<uint8_t> s;
    s.reserve(kStreamBytes + 65536);
    Prologue(s);
    const uint8_t* page = kPage;
    std::vector<uint8_t> image(3000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31);
    while (s.size() < kStreamBytes) {
      Command(s, XL_IC_STARTPAGE, page, sizeof(kPage));
      for (int k = 0; k < 200; ++k) {
        Put(s, {0xC0, 2, 0xF8, 3, 0xC0, 0, 0xF8, 0xFE, 0x6A});               // SetColorSpace, object kind
        Put(s, {0xC8, 0xC0, 3, 10, 20, 30, 0xF8, 0x0B, 0x63});                  // SetBrushSource RGB
        Put(s, {0x85, 0xD3, 10, 0, 20, 0, 0xF8, 0x4C, 0x6B});                    // NewPath, SetCursor
        Put(s, {0xC1, 16, 0, 0xF8, 0x4D, 0xC0, 1, 0xF8, 0x50, 0x9D, 0xFB, 32});  // LineRelPath, 16 sbyte points
        for (int i = 0; i < 32; ++i) s.push_back(static_cast<uint8_t>(i * 3));
        Put(s, {0x86});                                                         // PaintPath
        Put(s, {0xC0, 2, 0xF8, 3, 0xC0, 2, 0xF8, 0xFE, 0x6A});               // the image's SetColorSpace
        Put(s, {0xC0, 0, 0xF8, 0x64, 0xC0, 3, 0xF8, 0x62, 0xC1, 100, 0, 0xF8, 0x6C, 0xC1, 10, 0, 0xF8, 0x6B,
                0xD1, 100, 0, 10, 0, 0xF8, 0x67, 0xB0});                        // BeginImage, 100 x 10 RGB
        Put(s, {0xC1, 0, 0, 0xF8, 0x6D, 0xC1, 10, 0, 0xF8, 0x63, 0xC0, 0, 0xF8, 0x65, 0xB1, 0xFA, 0xB8, 0x0B, 0, 0});
        s.insert(s.end(), image.begin(), image.end());                          // ReadImage, 3000 bytes
        Put(s, {0xB2});                                                         // EndImage
      }
      Command(s, XL_IC_SHOWPAGE, nullptr, 0);
      Command(s, XL_IC_ENDPAGE, nullptr, 0);
    }
    Put(s, {0x42});
    Command(s, XL_IC_CLOSE, nullptr, 0);
    Command(s, XL_IC_DISABLE, nullptr, 0);
    return s;
  }();
  return stream;
}


// 50 MB on 50 pages (the same groups as above), either each page stored in
// the page store (133 ... 134) and all of them put out afterwards (136,
// replay mask 15), or sent straight through the job output.
constexpr int kStorePages = 50;
constexpr size_t kStorePageBytes = 1024u * 1024;
const std::vector<uint8_t>& PageStoreStream(bool store) {
  static std::vector<uint8_t> streams[2];
  std::vector<uint8_t>& s = streams[store ? 1 : 0];
  if (!s.empty()) return s;
  Prologue(s);
  if (store) {
    const uint16_t init[2] = {1, 8};
    Command(s, XL_IC_PAGESTORING_INIT, init, sizeof(init));
  }
  std::vector<uint8_t> image(3000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31);
  for (int p = 1; p <= kStorePages; ++p) {
    if (store) {
      uint8_t start[20] = {1, 0, 0, 0, 0x3E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(p), 0, 0, 0};
      Command(s, XL_IC_PAGESTORING_START, start, sizeof(start));
    }
    Command(s, XL_IC_STARTPAGE, kPage, sizeof(kPage));
    const size_t end = s.size() + kStorePageBytes;
    while (s.size() < end) {
      Put(s, {0xC8, 0xC0, 3, 10, 20, 30, 0xF8, 0x0B, 0x63});  // SetBrushSource RGB
      Put(s, {0xC0, 0, 0xF8, 0x64, 0xC0, 3, 0xF8, 0x62, 0xC1, 100, 0, 0xF8, 0x6C, 0xC1, 10, 0, 0xF8, 0x6B,
              0xD1, 100, 0, 10, 0, 0xF8, 0x67, 0xB0});
      Put(s, {0xC1, 0, 0, 0xF8, 0x6D, 0xC1, 10, 0, 0xF8, 0x63, 0xC0, 0, 0xF8, 0x65, 0xB1, 0xFA, 0xB8, 0x0B, 0, 0});
      s.insert(s.end(), image.begin(), image.end());
      Put(s, {0xB2});
    }
    Command(s, XL_IC_SHOWPAGE, nullptr, 0);
    Command(s, XL_IC_ENDPAGE, nullptr, 0);
    if (store) {
      const uint16_t page = static_cast<uint16_t>(p);
      Command(s, XL_IC_PAGESTORING_STOP, &page, sizeof(page));
    }
  }
  if (store) {
    for (int p = 1; p <= kStorePages; ++p) {
      uint8_t replay[40] = {};
      const float identity[6] = {1, 0, 0, 1, 0, 0};
      std::memcpy(replay, identity, sizeof(identity));
      replay[24] = 15;
      replay[28] = static_cast<uint8_t>(p);
      replay[30] = replay[31] = 0xFF;  // no other page
      replay[36] = replay[37] = 0xFF;  // no media source override
      Command(s, XL_IC_OUTPUT_STOREDPAGE, replay, sizeof(replay));
    }
    Command(s, XL_IC_PAGESTORING_DISPOSE, nullptr, 0);
  }
  Put(s, {0x42});
  Command(s, XL_IC_CLOSE, nullptr, 0);
  Command(s, XL_IC_DISABLE, nullptr, 0);
  return s;
}

void RunJob(benchmark::State& state, DWORD mode, const std::vector<uint8_t>& s = Stream()) {
  HANDLE printer = QueuePrinter();
  WCHAR name[] = UMPD_THROUGH_VALUE;
  SetPrinterDataW(printer, name, REG_DWORD, reinterpret_cast<LPBYTE>(&mode), sizeof(mode));
  for (auto _ : state) {
    g_portBytes = 0;
    HANDLE job = DrvSplStartDoc(printer, 1);
    for (size_t at = 0; at < s.size(); at += kBuffer) {
      const DWORD n = static_cast<DWORD>(s.size() - at < kBuffer ? s.size() - at : kBuffer);
      DWORD written = 0;
      if (!DrvSplWritePrinter(job, const_cast<uint8_t*>(s.data() + at), n, &written)) {
        state.SkipWithError("a write failed");
        break;
      }
    }
    DrvSplEndDoc(job);
    DrvSplClose(job);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.size()));
  state.counters["port_bytes"] = static_cast<double>(g_portBytes.load());
  DeletePrinterDataW(printer, name);
}

void BM_Memcpy200MB(benchmark::State& state) {
  const std::vector<uint8_t>& s = Stream();
  std::vector<uint8_t> to(kBuffer);
  for (auto _ : state) {
    for (size_t at = 0; at < s.size(); at += kBuffer) {
      const size_t n = s.size() - at < kBuffer ? s.size() - at : kBuffer;
      std::memcpy(to.data(), s.data() + at, n);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.size()));
}
BENCHMARK(BM_Memcpy200MB)->Unit(benchmark::kMillisecond);

void BM_ThroughMode1_200MB(benchmark::State& state) { RunJob(state, UMPD_THROUGH_RAW_COPY); }
BENCHMARK(BM_ThroughMode1_200MB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_FullProcessing200MB(benchmark::State& state) { RunJob(state, UMPD_THROUGH_NONE); }
BENCHMARK(BM_FullProcessing200MB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The graphics-state filter: full processing against through mode 3 (the
// same parse, every operator written). port_bytes shows what it saved.
void FilterRun(benchmark::State& state, DWORD mode) {
  RunJob(state, mode, FilterStream());
  state.counters["operators_per_s"] =
      benchmark::Counter(kFilterOperators * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_Filter1MOperators(benchmark::State& state) { FilterRun(state, UMPD_THROUGH_NONE); }
BENCHMARK(BM_Filter1MOperators)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
void BM_Unfiltered1MOperators(benchmark::State& state) { FilterRun(state, UMPD_THROUGH_OP_COPY); }
BENCHMARK(BM_Unfiltered1MOperators)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

// The counting port: every byte the job writes is counted and dropped.
extern "C" {
BOOL WINAPI WritePrinter(HANDLE, LPVOID buffer, DWORD count, LPDWORD written) {
  benchmark::DoNotOptimize(buffer);
  g_portBytes += count;
  if (written != nullptr) *written = count;
  return TRUE;
}
DWORD WINAPI StartDocPrinterW(HANDLE, DWORD, LPBYTE) { return 1; }
BOOL WINAPI StartPagePrinter(HANDLE) { return TRUE; }
BOOL WINAPI EndPagePrinter(HANDLE) { return TRUE; }
BOOL WINAPI EndDocPrinter(HANDLE) { return TRUE; }
}

void BM_PageStore50MB(benchmark::State& state) { RunJob(state, UMPD_THROUGH_NONE, PageStoreStream(true)); }
BENCHMARK(BM_PageStore50MB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
void BM_Direct50MB(benchmark::State& state) { RunJob(state, UMPD_THROUGH_NONE, PageStoreStream(false)); }
BENCHMARK(BM_Direct50MB)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

