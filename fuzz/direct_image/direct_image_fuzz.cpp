// Escape 4210 on a model-A PDEV of the engine runner, with the gate on, in a
// document of one page. The input is read as calls: one byte of kind (0: a
// 4210 block, 1: a drawing call that opens or uses the page, 2: the page
// ends and the next starts, 3: the gate turned off and on again) and, for a
// block, its 16-bit size and bytes (missing bytes are zeros). Whatever the
// pieces say, the stream the job writes must decode whole and pass the
// checker's renderer-stream mode (no ReadImage left short), and the PDEV must
// free every block it made.
#include <kplatform/engine.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "../km_host.h"
#include "kestrel/render/km_escape.h"
#include "pclxl_checker.h"

namespace {

using kestrel::fuzz::Check;
using kestrel::fuzz::Reader;

constexpr size_t kMaxCalls = 12;

kestrel::fuzz::KmHost& TheHost() {
  static kestrel::fuzz::KmHost host = kestrel::fuzz::MakeKmHost("kestrel-fuzz-direct-image");
  return host;
}

ULONG Gate(KP_ENGINE_SESSION* s, WORD function) {
  BYTE record[8] = {8, 0, 0, 0, static_cast<BYTE>(function), static_cast<BYTE>(function >> 8), 0, 0};
  return KpEngineEscape(s, KM_ESC_PRIVATE_GATE, sizeof record, record, 0, nullptr);
}

void Draw(KP_ENGINE_SESSION* s) {
  RECTFX box{0, 0, 160, 160};
  PATHOBJ* path = KpEngineCreateRectPath(&box);
  BRUSHOBJ* brush = KpEngineCreateSolidBrush(s, 0);
  KpEngineFillPath(s, path, nullptr, brush, nullptr, 0x0D0D, 0);
  KpEngineDeleteObject(brush);
  KpEngineDeleteObject(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::KmHost& host = TheHost();
  Reader r{data, size};
  const size_t blocks = KpEngineBlockCount(0);
  KpEngineClearOutput(host.printer);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(host.driver, host.printer, host.devmode.data());
  Check(s != nullptr && KpEngineEnableSurface(s));
  Check(KpEngineStartDoc(s, u"fuzz", 1) && KpEngineStartPage(s));
  Gate(s, 1);
  for (size_t call = 0; call < kMaxCalls && r.n > 0; ++call) {
    switch (r.Take<BYTE>() % 4) {
      case 0: {
        const size_t n = r.Take<uint16_t>();
        std::vector<BYTE> block(n);
        const size_t take = r.n < n ? r.n : n;
        if (take) std::memcpy(block.data(), r.p, take);
        r.p += take;
        r.n -= take;
        KpEngineEscape(s, KM_ESC_DIRECT_IMAGE, static_cast<ULONG>(n), block.empty() ? nullptr : block.data(), 0,
                       nullptr);
        break;
      }
      case 1: Draw(s); break;
      case 2:
        if (KpEngineSendPage(s)) KpEngineStartPage(s);
        break;
      default:
        Gate(s, 2);
        Gate(s, 1);
        break;
    }
  }
  KpEngineSendPage(s);
  KpEngineEndDoc(s, 0);
  Check(KpEngineDisablePDEV(s));
  std::vector<uint8_t> stream(KpEngineGetOutput(host.printer, nullptr, 0));
  KpEngineGetOutput(host.printer, stream.data(), stream.size());
  Check(pclxl_check::check(stream, pclxl_check::Mode::RendererStream, nullptr).ok());
  Check(KpEngineBlockCount(0) == blocks);
  Check(KpEngineBadFreeCount() == 0);
  return 0;
}
