#include "sample_page.h"

#include <cstring>

namespace kestrel::kmhost {

namespace {

constexpr FIX Fx(LONG pixels) { return pixels * 16; }
constexpr MIX kCopyPen = R2_COPYPEN | R2_COPYPEN << 8;
constexpr MIX kOverNothing = R2_COPYPEN | R2_NOP << 8;  // transparent background

// The objects of the page, deleted at the end.
struct Objects {
  std::vector<void*> list;
  bool ok = true;
  template <typename T>
  T* operator()(T* object) {
    if (!object) ok = false;
    else list.push_back(object);
    return object;
  }
  ~Objects() {
    for (void* o : list) KpEngineDeleteObject(o);
  }
};

}  // namespace

bool DrawSamplePage(KP_ENGINE_SESSION* s, std::vector<SampleCall>* calls) {
  Objects keep;
  bool all = true;
  auto note = [&](const char* what, BOOL result) {
    if (calls) calls->push_back(SampleCall{what, result});
    if (!result) all = false;
  };

  BRUSHOBJ* navy = keep(KpEngineCreateSolidBrush(s, 0x800000));
  BRUSHOBJ* red = keep(KpEngineCreateSolidBrush(s, 0x0000FF));

  // A dashed path with a Bézier: a cosmetic styled pen.
  const POINTFIX curve[7] = {{Fx(300), Fx(300)}, {Fx(600), Fx(100)}, {Fx(900), Fx(500)}, {Fx(1200), Fx(300)},
                             {Fx(1300), Fx(250)}, {Fx(1400), Fx(400)}, {Fx(1500), Fx(300)}};
  const POINTFIX tail[2] = {{Fx(1500), Fx(600)}, {Fx(300), Fx(600)}};
  const PATHDATA records[2] = {{PD_BEGINSUBPATH | PD_BEZIERS, 7, const_cast<POINTFIX*>(curve)},
                               {PD_ENDSUBPATH, 2, const_cast<POINTFIX*>(tail)}};
  PATHOBJ* dashed = keep(KpEngineCreatePath(2, records));
  FLOAT_LONG style[4];
  style[0].l = 6;
  style[1].l = 2;
  style[2].l = 1;
  style[3].l = 2;
  LINEATTRS pen{};
  pen.iJoin = JOIN_ROUND;
  pen.iEndCap = ENDCAP_ROUND;
  pen.elWidth.l = 1;
  pen.eMiterLimit = 10.0f;
  pen.cstyle = 4;
  pen.pstyle = style;

  // An even-odd polygon (a five-pointed star) under a clip rectangle.
  const POINTFIX star[5] = {{Fx(2000), Fx(200)}, {Fx(2300), Fx(1100)}, {Fx(1550), Fx(550)},
                            {Fx(2450), Fx(550)}, {Fx(1700), Fx(1100)}};
  PATHOBJ* polygon = keep(KpEngineCreatePolygonPath(5, star));
  const RECTL clipBox{1600, 150, 2400, 900};
  CLIPOBJ* clipRect = keep(KpEngineCreateClip(DC_RECT, 1, &clipBox));

  // An ellipse under a clip region of two bands.
  const RECTFX ellipseBox{Fx(300), Fx(900), Fx(1300), Fx(1500)};
  PATHOBJ* ellipse = keep(KpEngineCreateEllipsePath(&ellipseBox));
  const RECTL bands[2] = {{300, 900, 1300, 1100}, {300, 1250, 1300, 1500}};
  CLIPOBJ* region = keep(KpEngineCreateClip(DC_COMPLEX, 2, bands));

  // A hatch fill and an 8 x 8 colour pattern fill.
  const RECTFX hatchBox{Fx(300), Fx(1700), Fx(1200), Fx(2200)};
  PATHOBJ* hatchRect = keep(KpEngineCreateRectPath(&hatchBox));
  BRUSHOBJ* hatch = keep(KpEngineCreateHatchBrush(s, HS_DIAGCROSS, 0x008000, 0xFFFFFF));
  BYTE checks[8 * 24] = {};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      BYTE* p = checks + y * 24 + 3 * x;  // B, G, R
      const bool dark = ((x / 2) + (y / 2)) % 2 != 0;
      p[0] = dark ? 0x80 : 0xFF;
      p[1] = dark ? 0x00 : 0xE0;
      p[2] = dark ? 0x80 : 0xC0;
    }
  XLATEOBJ* bgr = keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
  SURFOBJ* patternBits = keep(KpEngineCreateBitmap(8, 8, BMF_24BPP, BMF_TOPDOWN, checks, 0));
  BRUSHOBJ* pattern = keep(KpEngineCreatePatternBrush(s, patternBits, nullptr, bgr));
  const RECTFX patternBox{Fx(1400), Fx(1700), Fx(2400), Fx(2200)};
  PATHOBJ* patternRect = keep(KpEngineCreateRectPath(&patternBox));

  // A 24-bit image (a colour ramp) in three strips, and a one-bit mask.
  constexpr LONG kImageW = 240, kImageH = 60;
  std::vector<BYTE> ramp(static_cast<size_t>(kImageW) * 3 * kImageH);
  for (LONG y = 0; y < kImageH; ++y)
    for (LONG x = 0; x < kImageW; ++x) {
      BYTE* p = ramp.data() + (static_cast<size_t>(y) * kImageW + x) * 3;
      p[0] = static_cast<BYTE>(y * 4);
      p[1] = static_cast<BYTE>(255 - x);
      p[2] = static_cast<BYTE>(x);
    }
  SURFOBJ* image = keep(KpEngineCreateBitmap(kImageW, kImageH, BMF_24BPP, BMF_TOPDOWN, ramp.data(), 0));
  constexpr LONG kMask = 128;  // a 128 x 128 checkerboard of 4-pixel squares
  std::vector<BYTE> maskBits(kMask / 8 * kMask);
  for (LONG y = 0; y < kMask; ++y)
    for (LONG b = 0; b < kMask / 8; ++b) maskBits[y * (kMask / 8) + b] = static_cast<BYTE>(y % 8 < 4 ? 0xF0 : 0x0F);
  SURFOBJ* mask = keep(KpEngineCreateBitmap(kMask, kMask, BMF_1BPP, BMF_TOPDOWN, maskBits.data(), 0));
  const ULONG mono[2] = {0x000000, 0xFFFFFF};
  XLATEOBJ* monoXlate = keep(KpEngineCreateXlate(XO_TABLE, 2, mono));
  if (!keep.ok) return false;

  note("StrokePath: a dashed cosmetic path with a Bezier curve",
       KpEngineStrokePath(s, dashed, nullptr, nullptr, navy, nullptr, &pen, kCopyPen));
  note("FillPath: an even-odd star under a clip rectangle",
       KpEngineFillPath(s, polygon, clipRect, red, nullptr, kCopyPen, FP_ALTERNATEMODE));
  LINEATTRS solid = pen;
  solid.cstyle = 0;
  solid.pstyle = nullptr;
  note("StrokeAndFillPath: an ellipse under a clip region",
       KpEngineStrokeAndFillPath(s, ellipse, region, nullptr, navy, &solid, red, nullptr, kCopyPen, FP_WINDINGMODE));
  note("FillPath: a diagonal-cross hatch, transparent background",
       KpEngineFillPath(s, hatchRect, nullptr, hatch, nullptr, kOverNothing, 0));
  note("FillPath: an 8 x 8 colour pattern", KpEngineFillPath(s, patternRect, nullptr, pattern, nullptr, kCopyPen, 0));
  for (LONG strip = 0; strip < 3; ++strip) {
    RECTL from{0, strip * 20, kImageW, strip * 20 + 20};
    RECTL to{300, 2400 + strip * 80, 300 + kImageW * 4, 2400 + strip * 80 + 80};
    note("StretchBlt: a strip of a 24-bit image (merged)",
         KpEngineStretchBlt(s, image, nullptr, nullptr, bgr, &to, &from, nullptr, 3));
  }
  RECTL maskTo{1400, 2400, 1400 + kMask, 2400 + kMask};
  POINTL origin{0, 0};
  note("BitBlt 0xB8B8: a one-bit mask image in the brush colour",
       KpEngineBitBlt(s, mask, nullptr, nullptr, monoXlate, &maskTo, &origin, nullptr, red, nullptr, 0xB8B8));
  return all;
}

}  // namespace kestrel::kmhost
