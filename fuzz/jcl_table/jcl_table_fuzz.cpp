// The prepared job header of command 156 as the job header output takes it:
// a model-A job whose stream carries, before BeginSession, the JCL header
// table from the input, untouched (any count, entry size, text lengths and
// address words), with the booklet switches and the page count the header's
// sheet count is made from. The first byte chooses the switches (bit 0: the
// booklet count in the header, bit 1: the shift word), the next two the page
// count, the rest is the table. Whatever the table, the job ends, nothing is
// written outside the header text and no handle is left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/spool/umpd.h"
#include "model_a_queue.h"
#include "model_root.h"
#include "printer_double.h"
#include "../stored_printer_data.h"

namespace {

struct Queue {
  kestrel::test::FreshRoot root{"kestrel-fuzz-jcl"};
  kestrel::test::ModelAQueue queue;
  std::vector<BYTE> devmode = std::vector<BYTE>(XL_IC_DEVMODE_SIZE);
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  Queue() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) std::abort();
    kestrel::fuzz::StoreDefaultPrinterData(queue.printer, queue.ddd);
    if (!pd_GetPrinterData(queue.printer, printerData, queue.ddd) ||
        cdm_SetDefaultDevmode(queue.ddd, devmode.data(), printerData, kestrel::test::kModelAPrinter) != 1)
      std::abort();
  }
};

Queue& TheQueue() {
  static Queue q;
  return q;
}

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

template <typename T>
void Put(BYTE* record, DWORD offset, T value) {
  std::memcpy(record + offset, &value, sizeof(value));
}

// Command 156 with the table as its embedded data, as any stream may carry
// it (the renderer's writer would refuse a malformed one).
void RawJclCommand(std::string& out, const uint8_t* table, size_t n) {
  const uint8_t head[] = {0xC0, XL_IC_SETJCLHEADERS, 0xF8, 0xFF, 0xFF};
  out.append(reinterpret_cast<const char*>(head), sizeof head);
  if (n < 256) {
    out += static_cast<char>(0xFB);
    out += static_cast<char>(n);
  } else {
    out += static_cast<char>(0xFA);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
  }
  out.append(reinterpret_cast<const char*>(table), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Queue& q = TheQueue();
  if (size < 3) return 0;
  BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  Put<DWORD>(jobInfo, 0, 0x00020100);  // PCL XL 2.1.0
  Put<WORD>(jobInfo, 172, 1);          // copies
  Put<int32_t>(jobInfo, 80, data[0] & 1);         // the booklet's sheet count in the header
  Put<int32_t>(jobInfo, 76, (data[0] >> 1) & 1);  // the booklet's shift word
  BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  Put<WORD>(layoutInfo, 38, 2100);
  Put<WORD>(layoutInfo, 40, 2970);
  Put<WORD>(layoutInfo, 104, 1);
  BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  Put<WORD>(pageCtrl, 102, static_cast<WORD>(data[1] | data[2] << 8));  // booklet page count

  std::string stream;
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &stream);
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"job") == 0 &&
            xl_ic_setdevmode(&xl, q.devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
            xl_ic_setprinterdata(&xl, q.printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
            xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0;
  if (!ok) std::abort();
  RawJclCommand(stream, data + 3, size - 3);
  ok = xl_ic_startjob(&xl) == 0 && xl_beginsession(&xl, 600, 600, 0, 0) == 0 && xl_opendatasource(&xl) == 0 &&
       xl_ic_startpage(&xl, 0, 0, 2, 1, 9) == 0 && xl_ic_showpage(&xl) == 0 && xl_ic_endpage(&xl) == 0 &&
       xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  if (!ok) std::abort();

  const size_t handles = KpOpenHandleCount();
  HANDLE job = DrvSplStartDoc(q.queue.printer, 1);
  if (job == nullptr) std::abort();
  DWORD written = 0;
  if (!DrvSplWritePrinter(job, stream.data(), static_cast<DWORD>(stream.size()), &written) && written != 0)
    std::abort();
  DrvSplEndDoc(job);
  DrvSplClose(job);
  if (KpOpenHandleCount() != handles) std::abort();
  return 0;
}
