// The answers of the outside components. The first input byte picks the
// target: even, the fax front end's answer (the rest of the input in the
// zero-filled 9600 + 1-byte buffer, the output buffer of the size the second
// byte gives, exactly that size); odd, the input popup's accounting answer
// (the rest of the input at exactly its size) stored into a devmode and
// printer-data record of model A. Properties: the lines never pass 31
// characters and their NUL within a 64-byte output, nothing is written to a
// smaller one, the answer buffer stays terminated; an answer is stored
// whole or refused, and no block is left.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../docevent_host.h"
#include "../fuzz_input.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/kernel32_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  using kestrel::fuzz::Reader;
  kestrel::test::ModelAQueue& q = kestrel::fuzz::DocEventQueue();
  Reader in{data, size};
  uint8_t selector = in.Take<uint8_t>();
  if ((selector & 1) == 0) {
    uint8_t outSize = in.Take<uint8_t>();
    std::vector<char> answer(FAX_ANSWER_BYTES + 1, 0);
    std::memcpy(answer.data(), in.p, in.n < FAX_ANSWER_BYTES + 1 ? in.n : FAX_ANSWER_BYTES + 1);
    std::vector<char> out(outSize, 'z');
    local_TakeFaxAnswerLines(answer.data(), outSize ? out.data() : nullptr, outSize);
    Check(answer[FAX_ANSWER_BYTES] == 0);
    if (outSize >= 64) {
      Check(std::memchr(out.data(), 0, 32) != nullptr);
      Check(std::memchr(out.data() + 32, 0, 32) != nullptr);
    } else {
      for (char c : out) Check(c == 'z');
    }
    return 0;
  }
  static std::vector<BYTE> devmode = [&] {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL);
    std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
    if (cdm_SetDefaultDevmode(q.ddd, dm.data(), pd.data(), kestrel::test::kModelAPrinter) != 1) std::abort();
    return dm;
  }();
  static std::vector<BYTE> printerData = [&] {
    std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
    if (!pd_GetPrinterData(q.printer, pd.data(), q.ddd)) std::abort();
    return pd;
  }();
  std::vector<char> answer(in.p, in.p + in.n);
  size_t blocks = KpGlobalBlockCount();
  int r = local_SaveAltJBAInputString(answer.empty() ? nullptr : answer.data(), static_cast<DWORD>(answer.size()),
                                      devmode.data(), printerData.data(), q.ddd);
  Check(r == 1 || r == -1);
  Check(KpGlobalBlockCount() == blocks);
  return 0;
}
