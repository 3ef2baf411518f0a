// DrvEscape on a model-A PDEV of the engine runner. The input is read as:
// one byte of set-up (bit 0: start a document and a page first), then calls,
// each a code selector byte (below the table: one of the renderer's codes,
// else a 32-bit code follows), the input and output sizes (16 bits each) and
// the input's bytes (missing bytes are zeros). Every buffer is exactly the
// size the call states, so a handler that reads or writes past it is caught
// by the sanitizers. During a job a page is rendered after the calls, so
// that what they stored reaches the page matrices. Then the PDEV is
// disabled: every block it made must be freed, none twice.
#include <kplatform/engine.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kwindows.h>
#include <kplatform/winspool.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/km_escape.h"
#include "../km_host.h"

namespace {

using kestrel::fuzz::Check;
using kestrel::fuzz::Reader;
using Escape = ULONG(WINAPI*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
using BitBlt = BOOL(WINAPI*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                             POINTL*, ULONG);

constexpr ULONG kCodes[] = {QUERYESCSUPPORT,
                            SETCOPYCOUNT,
                            GETTECHNOLOGY,
                            KM_ESC_PRIVATE_GATE,
                            KM_ESC_DIRECT_IMAGE,
                            KM_ESC_PAGE_COLOR_MODE,
                            KM_ESC_LAYOUT,
                            KM_ESC_GSB_INTERACTION,
                            KM_ESC_GET_PAGE_INFO,
                            KM_ESC_GET_DEVMODE,
                            KM_ESC_GETSET_STAMP_MODE,
                            KM_ESC_SET_PAPER_OFFSET,
                            KM_ESC_SET_DEVMODE,
                            KM_ESC_GET_HEADER_FOOTER,
                            KM_ESC_SET_HEADER_FOOTER,
                            KM_ESC_GETSET_HEADER_MODE,
                            KM_ESC_GET_IS_FAX,
                            KM_ESC_GET_PAGE_NUMBER,
                            KM_ESC_SET_PRINTER_DATA,
                            KM_ESC_SET_APP_MARGIN,
                            KM_ESC_SET_STARTDOC_FLAG,
                            KM_ESC_SET_STATUS,
                            KM_ESC_SET_DOC_NAME,
                            KM_ESC_SET_FAX_ADDRESS_INFO,
                            KM_ESC_SET_JCL_HEADER,
                            KM_ESC_GET_PESCAPE_STATUS,
                            KM_ESC_SET_PESCAPE_STATUS,
                            KM_ESC_QUERY_EMFSPOOL,
                            KM_ESC_DISABLE_FORM_FILE,
                            KM_ESC_SET_CSDX,
                            KM_ESC_SET_GSBDATA,
                            KM_ESC_GET_GSBDATA,
                            KM_ESC_SET_GSBJCID,
                            KM_ESC_SET_GSBSTATUS,
                            KM_ESC_SET_EXT_GSBDATA,
                            KM_ESC_SET_LETTER_FLAG};
constexpr size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];
constexpr size_t kMaxCalls = 16;

struct Host : kestrel::fuzz::KmHost {
  Escape escape = nullptr;
  BitBlt bitBlt = nullptr;
};

// Model A's printer, the driver loaded by the runner and its entry table,
// the CreateDC devmode from the model's defaults. Any failure ends the run.
Host& TheHost() {
  static Host host = [] {
    Host h;
    static_cast<kestrel::fuzz::KmHost&>(h) = kestrel::fuzz::MakeKmHost("kestrel-fuzz-escape");
    HMODULE module = LoadLibraryW(u"kestrelkm.dll");
    auto enable = module ? reinterpret_cast<PFN_DrvEnableDriver>(
                               reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvEnableDriver")))
                         : nullptr;
    static DRVENABLEDATA data{};
    if (!enable || !enable(KP_ENGINE_VERSION, sizeof data, &data)) std::abort();
    for (ULONG i = 0; i < data.c; ++i) {
      if (data.pdrvfn[i].iFunc == INDEX_DrvEscape)
        h.escape = reinterpret_cast<Escape>(reinterpret_cast<void (*)()>(data.pdrvfn[i].pfn));
      if (data.pdrvfn[i].iFunc == INDEX_DrvBitBlt)
        h.bitBlt = reinterpret_cast<BitBlt>(reinterpret_cast<void (*)()>(data.pdrvfn[i].pfn));
    }
    if (!h.escape || !h.bitBlt) std::abort();
    return h;
  }();
  return host;
}

size_t Blocks() { return KpEngineBlockCount(0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = TheHost();
  Reader r{data, size};
  const BYTE setup = r.Take<BYTE>();
  const size_t blocks = Blocks();
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(host.driver, host.printer, host.devmode.data());
  Check(s != nullptr && KpEngineEnableSurface(s));
  SURFOBJ* pso = KpEngineSessionSurface(s);
  if (setup & 1) {
    // During a job: a document, a page, and a drawing call that opens it
    // (a BitBlt without a source, refused once the page is open).
    if (KpEngineStartDoc(s, u"fuzz", 1) && KpEngineStartPage(s)) {
      RECTL rect{0, 0, 10, 10};
      host.bitBlt(pso, nullptr, nullptr, nullptr, nullptr, &rect, nullptr, nullptr, nullptr, nullptr, 0xCCCC);
    }
  }
  for (size_t call = 0; call < kMaxCalls && r.n > 0; ++call) {
    const BYTE selector = r.Take<BYTE>();
    const ULONG code = selector < kCodeCount ? kCodes[selector] : r.Take<uint32_t>();
    const ULONG cjIn = r.Take<uint16_t>();
    const ULONG cjOut = r.Take<uint16_t>();
    const BYTE nulls = r.Take<BYTE>();  // bit 0: null input, bit 1: null output
    std::vector<BYTE> in(cjIn), out(cjOut, 0xA5);
    const size_t take = r.n < cjIn ? r.n : cjIn;
    if (take) std::memcpy(in.data(), r.p, take);
    r.p += take;
    r.n -= take;
    host.escape(pso, code, cjIn, (nulls & 1) || in.empty() ? nullptr : in.data(), cjOut,
                (nulls & 2) || out.empty() ? nullptr : out.data());
  }
  // A page after the escapes, so that what they stored (application
  // margins, offsets, devmode values) reaches the page matrices: the open
  // page ends, a new one is drawn on, the document ends.
  if (setup & 1) {
    KpEngineSendPage(s);
    if (KpEngineStartPage(s)) {
      RECTL rect{0, 0, 10, 10};
      host.bitBlt(pso, nullptr, nullptr, nullptr, nullptr, &rect, nullptr, nullptr, nullptr, nullptr, 0xCCCC);
      KpEngineSendPage(s);
    }
    KpEngineEndDoc(s, 0);
  }
  // The letter flag is the driver's process-wide state: back to its default.
  BYTE two = 2;
  host.escape(pso, KM_ESC_SET_LETTER_FLAG, 1, &two, 0, nullptr);
  Check(KpEngineDisablePDEV(s));
  Check(Blocks() == blocks);
  Check(KpEngineBadFreeCount() == 0);
  return 0;
}
