// Two PDEVs asking for the Shift-JIS glyph set at once, from two threads:
// it is built once under the glyph-set semaphore and both get the same set.
#include <gtest/gtest.h>

#include <thread>

#include "xfm_builder.h"

namespace {

using kestrel::test::km::HandPdev;
using kestrel::test::km::XfmBuilder;

TEST(DevFontConcurrency, TwoPdevsShareOneShiftJisGlyphSet) {
  ASSERT_TRUE(EnableDriverDeviceFonts());
  const FD_GLYPHSET* got[2] = {};
  auto ask = [&](int i) {
    HandPdev pdev({XfmBuilder(0x20, 0xDF, {}, 400, 500, false, SHIFTJIS_CHARSET, 0x30)});
    got[i] = GetNRVGlyphSet(pdev.get(), 1);
  };
  std::thread a(ask, 0), b(ask, 1);
  a.join();
  b.join();
  ASSERT_NE(got[0], nullptr);
  EXPECT_EQ(got[0], got[1]);
  EXPECT_EQ(got[0]->flAccel, GS_16BIT_HANDLES);
}

}  // namespace
