// Arbitrary bytes as an application's devmode, held in a block of exactly
// the size it declares (dmSize + dmDriverExtra, at least the 72 bytes that
// hold those two), merged into model A's default devmode under both member
// operations, with and without a forms database, followed by the paper
// completion of the result. Nothing may read outside the source, write into
// it, or write outside the driver's records.
#include <kplatform/winspool.h>
#include <kplatform/winspool_monitor.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/ddm_value.h"
#include "../model_a_host.h"

namespace {

struct Setup {
  HCDDD handle = nullptr;
  HANDLE printer = nullptr;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
};

const Setup& Get() {
  static Setup setup = [] {
    Setup s;
    s.handle = kestrel::fuzz::OpenModelA();
    if (!cdm_SetDefaultDevmode(s.handle, s.dm.data(), s.pd.data(), u"P")) std::abort();
    if (!KpSpoolerAddPrinter(u"Fuzz", u"Kestrel", u"K350.DDD", u"kestrelui.dll", u"kestrelkm.dll") ||
        !OpenPrinterW(const_cast<LPWSTR>(u"Fuzz"), &s.printer, nullptr))
      std::abort();
    return s;
  }();
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Setup& s = Get();
  if (size < 72) return 0;
  WORD dmSize = 0, extra = 0;
  std::memcpy(&dmSize, data + 68, 2);
  std::memcpy(&extra, data + 70, 2);
  const size_t claimed = std::max<size_t>(size_t(dmSize) + extra, 72);
  std::unique_ptr<BYTE[]> source(new BYTE[claimed]);
  std::memset(source.get(), 0, claimed);
  std::memcpy(source.get(), data, std::min(size, claimed));
  const std::vector<BYTE> before(source.get(), source.get() + claimed);

  for (HANDLE printer : {HANDLE(nullptr), s.printer})
    for (WORD op : {WORD(2), WORD(16)}) {
      std::vector<BYTE> dm = s.dm, pd = s.pd;
      if (cdm_ModifyDevmode(s.handle, dm.data(), source.get(), pd.data(), printer, op))
        cdmConvertPaperSize_NT(s.handle, printer, dm.data(), pd.data());
      else if (dm != s.dm || pd != s.pd)
        std::abort();  // a failed merge changes nothing
    }
  std::vector<BYTE> dm = s.dm, pd = s.pd;
  cdm_ModifyDevmodeWithDME(s.handle, dm.data(), source.get(), pd.data(), s.printer, 2);
  if (std::memcmp(before.data(), source.get(), claimed) != 0) std::abort();  // the source is never written
  return 0;
}
