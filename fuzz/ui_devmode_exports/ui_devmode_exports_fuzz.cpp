// Arbitrary bytes as an application's devmode, held in a block of exactly
// the size it declares (dmSize + dmDriverExtra, at least the 72 bytes that
// hold those two), with an fMode from the first input byte, through
// kestrelui's DrvDocumentProperties (as input, the output a fresh 1556-byte
// block), DrvConvertDevMode (both modes) and DevQueryPrintEx. Nothing may
// read outside the source or write into it; the output takes at most its
// 1556 bytes.
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winddiui.h>
#include <kplatform/wingdi_consts.h>
#include <kplatform/winspool.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model_root.h"

namespace {

using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
using ConvertFn = BOOL (*)(LPWSTR, void*, void*, LONG*, DWORD);
using QueryFn = BOOL (*)(DEVQUERYPRINT_INFO*);

struct Setup {
  HANDLE printer = nullptr;
  DocumentPropertiesFn props = nullptr;
  ConvertFn convert = nullptr;
  QueryFn query = nullptr;
};

const Setup& Get() {
  static kestrel::test::FreshRoot root("kestrel-fuzz");
  static Setup setup = [] {
    Setup s;
    if (!root.ok() || !kestrel::test::InstallModelFiles(kestrel::test::kModelA).empty() ||
        !KpInstallModule("libkestrelui.so", nullptr) || !KpInstallModule("kestrelrs.zrs", nullptr) ||
        !KpInstallModule("libkestreljd.so", nullptr) || !kestrel::test::AddModelAPrinter().empty())
      std::abort();
    std::u16string name = kestrel::test::kModelAPrinter;
    if (!OpenPrinterW(name.data(), &s.printer, nullptr)) std::abort();
    HMODULE ui = LoadLibraryW(u"kestrelui.dll");
    if (!ui) std::abort();
    s.props = reinterpret_cast<DocumentPropertiesFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvDocumentProperties")));
    s.convert = reinterpret_cast<ConvertFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DrvConvertDevMode")));
    s.query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(ui, "DevQueryPrintEx")));
    if (!s.props || !s.convert || !s.query) std::abort();
    return s;
  }();
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Setup& s = Get();
  if (size < 1 + 72) return 0;
  // No DM_PROMPT: no property-sheet host is installed here.
  const DWORD fMode = data[0] & ~static_cast<DWORD>(DM_PROMPT);
  ++data;
  --size;
  WORD dmSize = 0, extra = 0;
  std::memcpy(&dmSize, data + 68, 2);
  std::memcpy(&extra, data + 70, 2);
  const size_t claimed = std::max<size_t>(size_t(dmSize) + extra, 72);
  std::unique_ptr<BYTE[]> source(new BYTE[claimed]);
  std::memset(source.get(), 0, claimed);
  std::memcpy(source.get(), data, std::min(size, claimed));
  const std::vector<BYTE> before(source.get(), source.get() + claimed);
  std::u16string name = kestrel::test::kModelAPrinter;

  std::unique_ptr<BYTE[]> out(new BYTE[1556]);
  LONG r = s.props(nullptr, s.printer, name.data(), out.get(), source.get(), fMode);
  if (r != 1556 && r != 1 && r != -1) std::abort();
  for (DWORD mode : {DWORD(CDM_CONVERT), DWORD(CDM_DRIVER_DEFAULT)}) {
    LONG needed = 1556;
    s.convert(name.data(), source.get(), out.get(), &needed, mode);
    if (needed != 1556) std::abort();
  }
  WCHAR text[16];
  DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, s.printer, source.get(), text, 16, 0};
  if (!s.query(&info) && info.cchNeeded != 27) std::abort();
  if (std::memcmp(before.data(), source.get(), claimed) != 0) std::abort();  // the input is never written
  return 0;
}
