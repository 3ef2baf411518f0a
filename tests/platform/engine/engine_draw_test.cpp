// The engine stand-in's drawing objects of the drawing calls (engine_draw.h):
// bitmaps top-down and bottom-up, clip objects and their paths, the path
// builders, direct colour translations, brush realizations without a
// driver, and the engine's own blits. The runner's drawing calls with a real
// driver are tried by the renderer's drawing tests.
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstring>
#include <vector>

namespace {

TEST(EngineDraw, BitmapsTopDownAndBottomUp) {
  const BYTE rows[3 * 4] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};  // 3 rows of a 3-pixel 8-bit bitmap
  SURFOBJ* td = KpEngineCreateBitmap(3, 3, BMF_8BPP, BMF_TOPDOWN, rows, 0);
  SURFOBJ* bu = KpEngineCreateBitmap(3, 3, BMF_8BPP, 0, rows, 0);
  ASSERT_NE(td, nullptr);
  ASSERT_NE(bu, nullptr);
  EXPECT_EQ(td->iType, STYPE_BITMAP);
  EXPECT_EQ(td->lDelta, 4);
  EXPECT_EQ(bu->lDelta, -4);
  // pvScan0 is the top row: the first row given top-down, the last bottom-up.
  EXPECT_EQ(static_cast<const BYTE*>(td->pvScan0)[0], 1);
  EXPECT_EQ(static_cast<const BYTE*>(bu->pvScan0)[0], 3);
  EXPECT_EQ(static_cast<const BYTE*>(bu->pvScan0)[2 * bu->lDelta], 1);
  EXPECT_EQ(KpEngineCreateBitmap(3, 3, 9, 0, rows, 0), nullptr);           // no such format
  EXPECT_EQ(KpEngineCreateBitmap(3, 3, BMF_8BPP, 0, rows, 3), nullptr);    // stride short of 4
  EXPECT_EQ(KpEngineCreateBitmap(0x10000, 1, BMF_1BPP, 0, rows, 0), nullptr);
  EXPECT_TRUE(KpEngineDeleteObject(td));
  EXPECT_TRUE(KpEngineDeleteObject(bu));
}

TEST(EngineDraw, ClipObjectsAndTheirPaths) {
  const size_t live = KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS);
  const RECTL rects[2] = {{10, 20, 30, 40}, {50, 5, 60, 15}};
  CLIPOBJ* region = KpEngineCreateClip(DC_COMPLEX, 2, rects);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(region->rclBounds.left, 10);
  EXPECT_EQ(region->rclBounds.top, 5);
  EXPECT_EQ(region->rclBounds.right, 60);
  EXPECT_EQ(region->rclBounds.bottom, 40);
  PATHOBJ* path = CLIPOBJ_ppoGetPath(region);
  ASSERT_NE(path, nullptr);
  PATHDATA pd;
  PATHOBJ_vEnumStart(path);
  EXPECT_TRUE(PATHOBJ_bEnum(path, &pd));
  ASSERT_EQ(pd.count, 4u);
  EXPECT_EQ(pd.flags, PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE);
  EXPECT_EQ(pd.pptfx[0].x, 10 * 16);
  EXPECT_EQ(pd.pptfx[2].y, 40 * 16);
  EXPECT_FALSE(PATHOBJ_bEnum(path, &pd));  // the second rectangle, the last record
  EXPECT_EQ(pd.pptfx[1].x, 60 * 16);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), live + 2);
  EngDeletePath(path);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), live + 1);
  KpEngineFailClipPath();
  EXPECT_EQ(CLIPOBJ_ppoGetPath(region), nullptr);
  PATHOBJ* again = CLIPOBJ_ppoGetPath(region);  // the failure was taken once
  EXPECT_NE(again, nullptr);
  EngDeletePath(again);
  CLIPOBJ* trivial = KpEngineCreateClip(DC_TRIVIAL, 0, nullptr);
  EXPECT_EQ(CLIPOBJ_ppoGetPath(trivial), nullptr);
  EXPECT_EQ(KpEngineCreateClip(DC_RECT, 2, rects), nullptr);
  KpEngineDeleteObject(trivial);
  KpEngineDeleteObject(region);
  EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), live);
}

TEST(EngineDraw, PathBuilders) {
  const RECTFX box{160, 320, 480, 960};
  PATHOBJ* ellipse = KpEngineCreateEllipsePath(&box);
  ASSERT_NE(ellipse, nullptr);
  EXPECT_TRUE(ellipse->fl & PO_ELLIPSE);
  EXPECT_TRUE(ellipse->fl & PO_BEZIERS);
  RECTFX bounds;
  PATHOBJ_vGetBounds(ellipse, &bounds);
  EXPECT_EQ(std::memcmp(&bounds, &box, sizeof box), 0);
  PATHDATA pd;
  PATHOBJ_vEnumStart(ellipse);
  EXPECT_TRUE(PATHOBJ_bEnum(ellipse, &pd));
  EXPECT_EQ(pd.count, 1u);  // the begin point
  EXPECT_FALSE(PATHOBJ_bEnum(ellipse, &pd));
  EXPECT_EQ(pd.count, 12u);  // four Béziers
  EXPECT_EQ(pd.pptfx[11].x, 480);
  EXPECT_EQ(pd.pptfx[11].y, 640);
  PATHOBJ* rect = KpEngineCreateRectPath(&box);
  PATHOBJ_vEnumStart(rect);
  EXPECT_FALSE(PATHOBJ_bEnum(rect, &pd));
  EXPECT_EQ(pd.count, 4u);
  EXPECT_EQ(pd.pptfx[1].x, 480);
  EXPECT_EQ(pd.pptfx[1].y, 320);
  EXPECT_EQ(KpEngineCreatePolygonPath(0, nullptr), nullptr);
  KpEngineDeleteObject(ellipse);
  KpEngineDeleteObject(rect);
}

TEST(EngineDraw, DirectTranslations) {
  XLATEOBJ* rgb565 = KpEngineCreateXlateBitfields(0xF800, 0x07E0, 0x001F);
  XLATEOBJ* rgb555 = KpEngineCreateXlateBitfields(0x7C00, 0x03E0, 0x001F);
  XLATEOBJ* bgr = KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF);
  struct Case {
    XLATEOBJ* x;
    ULONG in, out;
  } cases[] = {
      {rgb565, 0xF800, 0x0000FF}, {rgb565, 0x07E0, 0x00FF00}, {rgb565, 0x001F, 0xFF0000}, {rgb565, 0x8410, 0x848284},
      {rgb555, 0x7C00, 0x0000FF}, {rgb555, 0x03E0, 0x00FF00}, {bgr, 0xFF, 0xFF0000},        {bgr, 0x123456, 0x563412},
      {bgr, 0xFF000000, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(XLATEOBJ_iXlate(c.x, c.in), c.out) << std::hex << c.in;
  KpEngineDeleteObject(rgb565);
  KpEngineDeleteObject(rgb555);
  KpEngineDeleteObject(bgr);
}

TEST(EngineDraw, BrushesWithoutADriverAndTheEnginesBlits) {
  // A brush of no session: nothing to realize it, so no realization.
  BRUSHOBJ* solid = KpEngineCreateSolidBrush(nullptr, 0x123456);
  EXPECT_EQ(solid->iSolidColor, 0x123456u);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(solid), nullptr);
  BRUSHOBJ* hatch = KpEngineCreateHatchBrush(nullptr, HS_CROSS, 0xFF, 0xFFFFFF);
  EXPECT_EQ(hatch->iSolidColor, 0xFFFFFFFFu);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(hatch), nullptr);
  EXPECT_EQ(KpEngineCreateHatchBrush(nullptr, HS_DDI_MAX, 0, 0), nullptr);
  // Realization memory belongs to the brush.
  const size_t before = KpEngineRbrushCount();
  void* mem = BRUSHOBJ_pvAllocRbrush(hatch, 64);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(hatch->pvRbrush, mem);
  EXPECT_EQ(KpEngineRbrushCount(), before + 1);
  EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(hatch, 0), nullptr);
  KpEngineFailAllocation(1);
  EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(solid, 8), nullptr);
  KpEngineFailAllocation(0);
  KpEngineDeleteObject(hatch);
  KpEngineDeleteObject(solid);
  EXPECT_EQ(KpEngineRbrushCount(), before);

  KpEngineClearBlits();
  RECTL r{1, 2, 3, 4};
  EXPECT_TRUE(EngEraseSurface(nullptr, &r, 0xFFFFFFFF));
  KpEngineSetBlitResult(FALSE);
  EXPECT_FALSE(EngBitBlt(nullptr, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr, nullptr, 0xAAA0));
  KpEngineSetBlitResult(TRUE);
  EXPECT_EQ(KpEngineBlitCount(), 1u);
  EXPECT_EQ(KpEngineEraseCount(), 1u);
  RECTL erased{};
  ULONG color = 0;
  EXPECT_TRUE(KpEngineLastErase(&erased, &color));
  EXPECT_EQ(erased.bottom, 4);
  EXPECT_EQ(color, 0xFFFFFFFFu);
}

}  // namespace
