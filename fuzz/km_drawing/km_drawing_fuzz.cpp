// The drawing calls of kestrelkm on one page of a model-A PDEV, through the
// engine runner. The input is read as: a set-up byte (bit 0 resolution
// conversion to 300 dpi, bit 1 merge every image, bit 2 the page's image
// rotation), then up to 12 calls, each a selector byte (stroke, fill,
// stroke and fill, BitBlt, StretchBlt, CopyBits) followed by the objects the
// call takes, each read off the input: paths (records with any flags,
// counts and points), clip objects, brushes (solid, hatch, pattern of any
// format with a table, bit-field or no translation), bitmaps, rectangles and
// points, ROP4s, mixes and line attributes. Every call must answer TRUE or
// FALSE; the stream must pass the strict checker in renderer-stream mode;
// every block and object made must be gone at the end.
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
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/pdev.h"
#include "../km_host.h"
#include "pclxl_checker.h"

namespace {

using kestrel::fuzz::Check;
using kestrel::fuzz::Reader;

constexpr size_t kMaxCalls = 12;

using Host = kestrel::fuzz::KmHost;

Host& TheHost() {
  static Host host = kestrel::fuzz::MakeKmHost("kestrel-fuzz-drawing");
  return host;
}

// The objects of one input, deleted at the end.
struct Objects {
  std::vector<void*> list;
  template <typename T>
  T* operator()(T* o) {
    if (o) list.push_back(o);
    return o;
  }
  ~Objects() {
    for (void* o : list) KpEngineDeleteObject(o);
  }
};

struct Builder {
  Reader& r;
  Objects& keep;
  KP_ENGINE_SESSION* s;
  std::vector<std::vector<POINTFIX>> pointStore;
  std::vector<std::vector<FLOAT_LONG>> styleStore;

  PATHOBJ* Path() {
    const BYTE shape = r.Take<BYTE>();
    if (shape % 4 == 1) {
      RECTFX box{r.Take<int32_t>(), r.Take<int32_t>(), r.Take<int32_t>(), r.Take<int32_t>()};
      return keep(shape & 0x10 ? KpEngineCreateEllipsePath(&box) : KpEngineCreateRectPath(&box));
    }
    const ULONG records = 1 + r.Take<BYTE>() % 4;
    std::vector<PATHDATA> pd;
    for (ULONG i = 0; i < records; ++i) {
      const FLONG flags = r.Take<BYTE>() & 0x1F;
      const ULONG count = r.Take<BYTE>() % 17;
      std::vector<POINTFIX> pts(count);
      for (auto& p : pts) {
        // Small steps most of the time, any value now and then.
        const BYTE kind = r.Take<BYTE>();
        if (kind & 0x80) p = POINTFIX{r.Take<int32_t>(), r.Take<int32_t>()};
        else p = POINTFIX{r.Take<int16_t>(), r.Take<int16_t>()};
      }
      pointStore.push_back(std::move(pts));
      pd.push_back(PATHDATA{flags, count, pointStore.back().empty() ? nullptr : pointStore.back().data()});
    }
    return keep(KpEngineCreatePath(records, pd.data()));
  }

  RECTL Rect() {
    const BYTE kind = r.Take<BYTE>();
    if (kind & 0x80) return RECTL{r.Take<int32_t>(), r.Take<int32_t>(), r.Take<int32_t>(), r.Take<int32_t>()};
    return RECTL{r.Take<int16_t>(), r.Take<int16_t>(), r.Take<int16_t>(), r.Take<int16_t>()};
  }

  CLIPOBJ* Clip() {
    const BYTE kind = r.Take<BYTE>() % 4;
    if (kind == 0) return nullptr;
    if (kind == 1) return keep(KpEngineCreateClip(DC_TRIVIAL, 0, nullptr));
    if (kind == 2) {
      RECTL rc = Rect();
      return keep(KpEngineCreateClip(DC_RECT, 1, &rc));
    }
    const ULONG n = 1 + r.Take<BYTE>() % 4;
    std::vector<RECTL> rects;
    for (ULONG i = 0; i < n; ++i) rects.push_back(Rect());
    if (r.Take<BYTE>() == 0xFF) KpEngineFailClipPath();
    return keep(KpEngineCreateClip(DC_COMPLEX, n, rects.data()));
  }

  XLATEOBJ* Xlate() {
    const BYTE kind = r.Take<BYTE>() % 5;
    if (kind == 0) return nullptr;
    if (kind == 1) return keep(KpEngineCreateXlate(XO_TRIVIAL, 0, nullptr));
    if (kind == 2) return keep(KpEngineCreateXlateBitfields(0xF800, 0x07E0, 0x001F));
    if (kind == 3) return keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
    std::vector<ULONG> table(r.Take<BYTE>() % 20);
    for (auto& e : table) e = r.Take<uint32_t>() & 0xFFFFFF;
    return keep(KpEngineCreateXlate(XO_TABLE, static_cast<ULONG>(table.size()), table.data()));
  }

  SURFOBJ* Bitmap() {
    const ULONG format = 1 + r.Take<BYTE>() % 6;
    const LONG w = 1 + r.Take<BYTE>() % 48, h = 1 + r.Take<BYTE>() % 48;
    const USHORT fj = (r.Take<BYTE>() & 1) ? BMF_TOPDOWN : 0;
    const ULONG bpp[7] = {0, 1, 4, 8, 16, 24, 32};
    const size_t stride = ((static_cast<size_t>(w) * bpp[format] + 31) / 32) * 4;
    std::vector<BYTE> bits(stride * static_cast<size_t>(h));
    for (auto& b : bits) b = r.Take<BYTE>();
    return keep(KpEngineCreateBitmap(w, h, format, fj, bits.data(), 0));
  }

  BRUSHOBJ* Brush() {
    const BYTE kind = r.Take<BYTE>() % 4;
    if (kind == 0) return nullptr;
    if (kind == 1) return keep(KpEngineCreateSolidBrush(s, r.Take<uint32_t>() & 0xFFFFFF));
    if (kind == 2) {
      const ULONG hatch = r.Take<BYTE>() % 6;
      const ULONG fore = r.Take<uint32_t>() & 0xFFFFFF, back = r.Take<uint32_t>() & 0xFFFFFF;
      return keep(KpEngineCreateHatchBrush(s, hatch, fore, back));
    }
    SURFOBJ* pattern = Bitmap();
    return pattern ? keep(KpEngineCreatePatternBrush(s, pattern, nullptr, Xlate())) : nullptr;
  }

  LINEATTRS Line() {
    LINEATTRS la{};
    la.fl = r.Take<BYTE>() & 0x7;
    la.iJoin = r.Take<BYTE>() % 4;
    la.iEndCap = r.Take<BYTE>() % 4;
    la.elWidth.l = r.Take<int32_t>();
    la.eMiterLimit = r.Take<float>();
    const ULONG n = r.Take<BYTE>() % 9;
    std::vector<FLOAT_LONG> style(n);
    for (auto& e : style) e.l = r.Take<int32_t>();
    styleStore.push_back(std::move(style));
    la.cstyle = n;
    la.pstyle = n ? styleStore.back().data() : nullptr;
    la.elStyleState.l = r.Take<int32_t>();
    return la;
  }

  XFORMOBJ* Xform() {
    if (!(r.Take<BYTE>() & 1)) return nullptr;
    XFORML m{r.Take<float>(), r.Take<float>(), r.Take<float>(), r.Take<float>(), r.Take<float>(), r.Take<float>()};
    return keep(KpEngineCreateXform(&m));
  }
};

bool IsBool(BOOL b) { return b == TRUE || b == FALSE; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = TheHost();
  Reader r{data, size};
  const size_t blocks = KpEngineBlockCount(0);
  const size_t objects = KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS);
  const size_t rbrushes = KpEngineRbrushCount();
  KpEngineClearOutput(host.printer);
  {
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(host.driver, host.printer, host.devmode.data());
    Check(s != nullptr && KpEngineEnableSurface(s));
    auto* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(s));
    const BYTE setup = r.Take<BYTE>();
    ddm_SetNumber(DDM_RESCONVERSION, pdev->devmode, pdev->printerData, setup & 1);
    ddm_SetNumber(DDM_RESCONVTHRESHOLD, pdev->devmode, pdev->printerData, 300);
    ddm_SetNumber(DDM_MERGEALLIMAGES, pdev->devmode, pdev->printerData, (setup >> 1) & 1);
    Check(KpEngineStartDoc(s, u"fuzz", 1) && KpEngineStartPage(s));
    pdev->imageRotation = (setup >> 2) & 1;
    Objects keep;
    Builder b{r, keep, s, {}, {}};
    for (size_t call = 0; call < kMaxCalls && r.n > 0; ++call) {
      const BYTE which = r.Take<BYTE>() % 6;
      BOOL result = FALSE;
      switch (which) {
        case 0: {
          PATHOBJ* p = b.Path();
          CLIPOBJ* c = b.Clip();
          XFORMOBJ* x = b.Xform();
          BRUSHOBJ* br = b.Brush();
          LINEATTRS la = b.Line();
          POINTL org{r.Take<int16_t>(), r.Take<int16_t>()};
          result = KpEngineStrokePath(s, p, c, x, br, &org, &la, r.Take<uint16_t>());
          break;
        }
        case 1: {
          PATHOBJ* p = b.Path();
          CLIPOBJ* c = b.Clip();
          BRUSHOBJ* br = b.Brush();
          result = KpEngineFillPath(s, p, c, br, nullptr, r.Take<uint16_t>(), r.Take<BYTE>() & 3);
          break;
        }
        case 2: {
          PATHOBJ* p = b.Path();
          CLIPOBJ* c = b.Clip();
          XFORMOBJ* x = b.Xform();
          BRUSHOBJ* pen = b.Brush();
          BRUSHOBJ* fill = b.Brush();
          LINEATTRS la = b.Line();
          result = KpEngineStrokeAndFillPath(s, p, c, x, pen, &la, fill, nullptr, r.Take<uint16_t>(), r.Take<BYTE>() & 3);
          break;
        }
        case 3: {
          SURFOBJ* src = (r.Take<BYTE>() & 1) ? b.Bitmap() : nullptr;
          SURFOBJ* mask = (r.Take<BYTE>() & 3) == 3 ? b.Bitmap() : nullptr;
          CLIPOBJ* c = b.Clip();
          XLATEOBJ* x = b.Xlate();
          RECTL trg = b.Rect();
          POINTL at{r.Take<int16_t>(), r.Take<int16_t>()};
          POINTL maskAt{r.Take<int16_t>(), r.Take<int16_t>()};
          BRUSHOBJ* br = b.Brush();
          result = KpEngineBitBlt(s, src, mask, c, x, &trg, &at, &maskAt, br, nullptr, r.Take<uint16_t>());
          break;
        }
        case 4: {
          SURFOBJ* src = b.Bitmap();
          CLIPOBJ* c = b.Clip();
          XLATEOBJ* x = b.Xlate();
          RECTL trg = b.Rect(), from = b.Rect();
          result = src ? KpEngineStretchBlt(s, src, nullptr, c, x, &trg, &from, nullptr, 3) : FALSE;
          break;
        }
        default: {
          SURFOBJ* src = (r.Take<BYTE>() & 1) ? b.Bitmap() : nullptr;
          CLIPOBJ* c = b.Clip();
          XLATEOBJ* x = b.Xlate();
          RECTL trg = b.Rect();
          POINTL at{r.Take<int16_t>(), r.Take<int16_t>()};
          result = KpEngineCopyBits(s, src, c, x, &trg, &at);
          break;
        }
      }
      Check(IsBool(result));
    }
    KpEngineSendPage(s);
    KpEngineEndDoc(s, 0);
    Check(KpEngineDisablePDEV(s));
  }
  std::vector<uint8_t> out(KpEngineGetOutput(host.printer, nullptr, 0));
  KpEngineGetOutput(host.printer, out.data(), out.size());
  // A failed output ends the stream early; what was written must still pass.
  Check(pclxl_check::check(out, pclxl_check::Mode::RendererStream).ok());
  Check(KpEngineBlockCount(0) == blocks);
  Check(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS) == objects);
  Check(KpEngineRbrushCount() == rbrushes);
  return 0;
}
