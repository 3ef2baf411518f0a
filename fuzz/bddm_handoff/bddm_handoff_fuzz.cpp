// The document monitor's registrations as kestrelum takes them over: any
// bytes as a job's hand-off value in model A's printer data (the first byte
// chooses the value's type, the rest is the value), with the model's monitor
// (the stand-in) installed. The value is gone afterwards whatever it held,
// and a handle comes back only for a whole value (binary, a non-zero count
// and exactly its records); its registrations are withdrawn.
#include <kplatform/kernel32_module.h>
#include <kplatform/winspool_printer.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kestrel/core/gsb_ctrl.h"
#include "model_a_queue.h"
#include "model_root.h"

namespace {

constexpr DWORD kJob = 7;

struct Queue {
  kestrel::test::FreshRoot root{"kestrel-fuzz-bddm"};
  kestrel::test::ModelAQueue queue;
  HMODULE monitor = nullptr;
  void (*reset)(int) = nullptr;
  Queue() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty() ||
        !KpInstallModule("libkqdmtest.so", u"kqdm.dll"))
      std::abort();
    monitor = LoadLibraryW(u"kqdm.dll");  // held: its log is cleared at each input
    if (!monitor) std::abort();
    reset = reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(monitor, "MarkTest_Reset")));
    if (!reset) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Queue q;
  if (size < 1 || size > 1 + 64 * 1024) return 0;
  q.reset(0);
  const DWORD type = data[0] % 2 ? REG_BINARY : REG_SZ;
  std::vector<BYTE> value(data + 1, data + size);
  char16_t name[] = u"BDDMJob7";
  if (SetPrinterDataW(q.queue.printer, name, type, value.data(), static_cast<DWORD>(value.size())) != 0) return 0;
  const ULONG_PTR job = Brightdesk_TakeOver(q.queue.printer, q.queue.ddd, kJob);
  DWORD got = 0, needed = 0;
  if (GetPrinterDataW(q.queue.printer, name, &got, nullptr, 0, &needed) != ERROR_FILE_NOT_FOUND) std::abort();
  if (job != 0) {
    WORD count = 0;
    if (value.size() >= 2) std::memcpy(&count, value.data(), sizeof count);
    if (type != REG_BINARY || count == 0 ||
        value.size() != BDDM_HANDOFF_COUNT_BYTES + static_cast<size_t>(count) * BRIGHTDESK_RECORD_SIZE)
      std::abort();
    UnInitializeDocMon(job);
  }
  return 0;
}
