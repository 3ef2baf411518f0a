// A bitmap stamp's file as the stamp drawing reads it: byte 0 chooses the
// transparency (bit 0), the rest is the .bmp file, drawn on a page of model
// A's printer DC. Whatever the file's headers say, the drawing answers 1 or
// -1, reads nothing outside the file (the sanitizers) and the renderer's
// stream stays whole (the checker's renderer-stream mode).
#include <kplatform/engine_runner.h>
#include <kplatform/gdi32_dc.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/ui/docevent.h"
#include "model_a_queue.h"
#include "model_root.h"
#include "pclxl_checker.h"

namespace {

using kestrel::fuzz::Check;

struct Host {
  kestrel::test::FreshRoot root{"kestrel-fuzz-stamp"};
  kestrel::test::ModelAQueue queue;
  std::string file;  // the stamp's host path, C:\stamp.bmp
};

Host& TheHost() {
  static Host host;
  static bool ready = [] {
    if (!host.root.ok() || !kestrel::test::InstallModelFiles(kestrel::test::kModelA).empty() ||
        !KpInstallModule("libkestrelui.so", nullptr) || !KpInstallModule("libkestrelkm.so", nullptr) ||
        !KpInstallModule("libkestreljd.so", nullptr) || !KpInstallModule("kestrelrs.zrs", nullptr) ||
        !KpSpoolerAddPrinter(kestrel::test::kModelAPrinter, kestrel::test::kModelADriver, u"K350.DDD",
                             u"kestrelui.dll", u"kestrelkm.dll") ||
        !host.queue.Open(kestrel::test::kModelAPrinter).empty())
      std::abort();
    host.file = host.root.path() + "/c/stamp.bmp";
    return true;
  }();
  (void)ready;
  return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = TheHost();
  if (size < 1) return 0;
  FILE* f = std::fopen(host.file.c_str(), "wb");
  if (!f) std::abort();
  if (size > 1 && std::fwrite(data + 1, 1, size - 1, f) != size - 1) std::abort();
  std::fclose(f);
  HDC hdc = CreateDCW(nullptr, kestrel::test::kModelAPrinter, nullptr, nullptr);
  Check(hdc != nullptr);
  DOCINFOW doc{sizeof(DOCINFOW), u"stamp", nullptr, nullptr, 0};
  Check(StartDocW(hdc, &doc) > 0 && StartPage(hdc) > 0);
  KM_PAGEINFO info{};
  info.markLeft = 100;
  info.markTop = 200;
  const int r = PrintBitmapWaterMark(hdc, &info, 1, 0, u"C:\\stamp.bmp", data[0] & 1, 0);
  Check(r == 1 || r == -1);
  Check(EndPage(hdc) > 0 && EndDoc(hdc) > 0);
  HANDLE printer = KpDcEnginePrinter(hdc);
  std::vector<uint8_t> out(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, out.data(), out.size());
  Check(pclxl_check::check(out, pclxl_check::Mode::RendererStream).ok());
  Check(DeleteDC(hdc) != FALSE);
  return 0;
}
