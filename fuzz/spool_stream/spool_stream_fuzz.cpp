// The job processor through its exports, as the spooler drives it: the
// first two bytes choose the size of the buffers handed to
// DrvSplWritePrinter (1-4096, their low twelve bits; at least a 64th of the
// stream, so that an input costs at most 64 hand-overs between the writer
// and the parser thread, which the time of a run is made of) and the image
// compression (DDM 330: 1, run-length and delta row, or with the top bit
// 2, JPEG), the rest is the renderer's stream after the commands that open
// the job's output. Whatever the bytes, every write
// returns, Close ends the job and nothing of it is left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/spool/umpd.h"
#include "model_a_queue.h"
#include "model_root.h"
#include "printer_double.h"
#include "../stored_printer_data.h"

namespace {

kestrel::test::ModelAQueue& Queue() {
  static kestrel::test::FreshRoot root("kestrel-fuzz-spool");
  static kestrel::test::ModelAQueue queue;
  static bool open = [] {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) std::abort();
    kestrel::fuzz::StoreDefaultPrinterData(queue.printer, queue.ddd);
    return true;
  }();
  (void)open;
  return queue;
}

HANDLE QueuePrinter() { return Queue().printer; }

int32_t PutToVector(void* sink, DWORD n, const void* bytes) {
  auto* v = static_cast<std::vector<uint8_t>*>(sink);
  v->insert(v->end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
  return static_cast<int32_t>(n);
}

std::vector<uint8_t> MakeOpening(LONG compression) {
  {
    kestrel::test::ModelAQueue& queue = Queue();
    std::vector<uint8_t> v;
    XlContext xl{};
    xl_initcontext(&xl, PutToVector, &v);
    std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
    BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
    if (!pd_GetPrinterData(queue.printer, printerData, queue.ddd) ||
        !cdm_SetDefaultDevmode(queue.ddd, devmode.data(), printerData, kestrel::test::kModelAPrinter)) {
      std::abort();
    }
    const std::pair<WORD, LONG> colour[] = {{DDM_COLORMATCHING, 1}, {DDM_WHITEPOINT, 2}, {DDM_GAMMA, 3},
                                            {DDM_GRAYH, 3},         {DDM_COLORTOBLACK, 0},
                                            {DDM_IMAGECOMPRESSION, compression}};
    for (auto [id, value] : colour) {
      if (!ddm_SetNumber(id, devmode.data(), printerData, value)) std::abort();
    }
    if (xl_ic_enable(&xl) != 0 || xl_ic_open(&xl, u"f") != 0 ||
        xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) != 0) {
      std::abort();
    }
    return v;
  }
}

const std::vector<uint8_t>& Opening(bool jpeg) {
  static const std::vector<uint8_t> rows = MakeOpening(1);
  static const std::vector<uint8_t> jpegs = MakeOpening(2);
  return jpeg ? jpegs : rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HANDLE printer = QueuePrinter();
  if (size < 2) return 0;
  std::vector<uint8_t> stream = Opening((data[1] & 0x80) != 0);
  stream.insert(stream.end(), data + 2, data + size);
  constexpr size_t kMaxWrites = 64;
  const size_t least = (stream.size() + kMaxWrites - 1) / kMaxWrites;
  size_t piece = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % 4096 + 1;
  if (piece < least) piece = least;
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
