// The job processor through its exports, as the spooler drives it: the
// first two bytes choose the size of the buffers handed to
// DrvSplWritePrinter (1-4096), the rest is the renderer's stream after the
// commands that open the job's output. Whatever the bytes, every write
// returns, Close ends the job and nothing of it is left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/spool/umpd.h"
#include "model_a_queue.h"
#include "model_root.h"
#include "printer_double.h"

namespace {

HANDLE QueuePrinter() {
  static kestrel::test::FreshRoot root("kestrel-fuzz-spool");
  static kestrel::test::ModelAQueue queue;
  static HANDLE printer = [] {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) std::abort();
    return queue.printer;
  }();
  return printer;
}

const std::vector<uint8_t>& Opening() {
  static const std::vector<uint8_t> bytes = {0xC0, XL_IC_ENABLE, 0xF8, 0xFF, 0xFF, 0xC0, XL_IC_OPEN, 0xF8,
                                             0xFF, 0xFF,         0xFB, 4,    'f',  0,    0,          0};
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HANDLE printer = QueuePrinter();
  if (size < 2) return 0;
  const size_t piece = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % 4096 + 1;
  std::vector<uint8_t> stream = Opening();
  stream.insert(stream.end(), data + 2, data + size);
  const size_t handles = KpOpenHandleCount();
  HANDLE job = DrvSplStartDoc(printer, 1);
  if (job == nullptr) std::abort();
  for (size_t at = 0; at < stream.size(); at += piece) {
    const DWORD n = static_cast<DWORD>(stream.size() - at < piece ? stream.size() - at : piece);
    DWORD written = 0;
    if (!DrvSplWritePrinter(job, stream.data() + at, n, &written)) {
      if (written != 0) std::abort();
      break;
    }
    if (written != n) std::abort();
  }
  DrvSplEndDoc(job);
  DrvSplClose(job);
  if (KpOpenHandleCount() != handles) std::abort();
  return 0;
}
