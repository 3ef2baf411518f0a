// The graphics-state cache: repeated settings are written once; xl_initcgs
// makes every setting go out again.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "kestrel/render/xl.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::toHex;
using kxltest::Writer;

namespace {

// Runs the steps in order; each names what it must write ("" for nothing,
// null for "written" without comparing).
struct Step {
  std::function<int(XlContext*)> call;
  const char* bytes;
};

void run(const char* name, const std::vector<Step>& steps) {
  Writer w;
  for (size_t i = 0; i < steps.size(); ++i) {
    w.clear();
    ASSERT_EQ(steps[i].call(w.ctx()), 0) << name << " step " << i;
    if (steps[i].bytes == nullptr)  // something, not checked here
      EXPECT_FALSE(w.bytes().empty()) << name << " step " << i;
    else
      EXPECT_EQ(toHex(w.bytes()), toHex(hex(steps[i].bytes))) << name << " step " << i;
  }
}

std::vector<WORD> dashes(size_t n, WORD first = 1) {
  std::vector<WORD> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<WORD>(first + i);
  return v;
}

TEST(XlCache, RepeatedSettingsAreWrittenOnce) {
  auto initcgs = [](XlContext* c) {
    xl_initcgs(c);
    return 0;
  };
  run("fill mode", {{[](XlContext* c) { return xl_setfillmode(c, 0); }, "C0 00 F8 46 6E"},
                    {[](XlContext* c) { return xl_setfillmode(c, 0); }, ""},
                    {[](XlContext* c) { return xl_setfillmode(c, 1); }, "C0 01 F8 46 6E"},
                    {initcgs, ""},
                    {[](XlContext* c) { return xl_setfillmode(c, 1); }, "C0 01 F8 46 6E"}});
  run("every cached byte and word",
      {{[](XlContext* c) {
          return xl_setlinecap(c, 1) | xl_setlinejoin(c, 1) | xl_setpenwidth(c, 300) | xl_setpainttxmode(c, 1) |
                 xl_setsourcetxmode(c, 1) | xl_setrop(c, 204) | xl_setmiterlimit(c, 10) | xl_setlinedash_solid(c);
        },
        "C0 01 F8 47 71  C0 01 F8 48 72  C1 2C 01 F8 4B 7A  C0 01 F8 2D 78  C0 01 F8 2D 7C  C0 CC F8 2C 7B "
        "C1 0A 00 F8 49 73  C0 00 F8 4E 70"},
       {[](XlContext* c) {
          return xl_setlinecap(c, 1) | xl_setlinejoin(c, 1) | xl_setpenwidth(c, 300) | xl_setpainttxmode(c, 1) |
                 xl_setsourcetxmode(c, 1) | xl_setrop(c, 204) | xl_setmiterlimit(c, 10) | xl_setlinedash_solid(c);
        },
        ""}});
  // The "unknown" mark must not swallow real values that look like it.
  run("ROP 255 and pen width 0xFFFF after a reset",
      {{initcgs, ""},
       {[](XlContext* c) { return xl_setrop(c, 255); }, "C0 FF F8 2C 7B"},
       {[](XlContext* c) { return xl_setpenwidth(c, 0xFFFF); }, "C1 FF FF F8 4B 7A"},
       {[](XlContext* c) { return xl_setmiterlimit(c, 0xFFFF); }, "C1 FF FF F8 49 73"}});
}

TEST(XlCache, DashPatternsUpToTwentyEntriesAreRemembered) {
  static const auto d10 = dashes(10), d20 = dashes(20), d21 = dashes(21);
  static const auto d20b = [] {
    auto v = dashes(20);
    v[19] = 99;
    return v;
  }();
  auto head = [](size_t n) {
    std::string h = "C9 C0 " + toHex({static_cast<uint8_t>(n)}) + " ";
    for (size_t i = 0; i < n; ++i) h += toHex({static_cast<uint8_t>(i + 1), 0}) + " ";
    return h;
  };
  static const std::string w10 = head(10) + "F8 4A 70";
  static const std::string w20 = head(20) + "F8 4A 70";
  static const std::string w21 = head(21) + "F8 4A 70";
  run("10 entries", {{[](XlContext* c) { return xl_setlinedash_dash(c, d10.data(), 10, 0); }, w10.c_str()},
                     {[](XlContext* c) { return xl_setlinedash_dash(c, d10.data(), 10, 0); }, ""},
                     {[](XlContext* c) { return xl_setlinedash_dash(c, d10.data(), 10, 2); },
                      (head(10) + "F8 4A C1 02 00 F8 43 70").c_str()}});
  run("20 entries", {{[](XlContext* c) { return xl_setlinedash_dash(c, d20.data(), 20, 0); }, w20.c_str()},
                     {[](XlContext* c) { return xl_setlinedash_dash(c, d20.data(), 20, 0); }, ""},
                     {[](XlContext* c) { return xl_setlinedash_dash(c, d20b.data(), 20, 0); }, nullptr}});
  run("21 entries are too long to remember",
      {{[](XlContext* c) { return xl_setlinedash_dash(c, d21.data(), 21, 0); }, w21.c_str()},
       {[](XlContext* c) { return xl_setlinedash_dash(c, d21.data(), 21, 0); }, w21.c_str()}});
  run("a solid line in between makes the same dash go out again",
      {{[](XlContext* c) { return xl_setlinedash_dash(c, d10.data(), 10, 0); }, w10.c_str()},
       {[](XlContext* c) { return xl_setlinedash_solid(c); }, "C0 00 F8 4E 70"},
       {[](XlContext* c) { return xl_setlinedash_dash(c, d10.data(), 10, 0); }, w10.c_str()},
       {[](XlContext* c) { return xl_setlinedash_solid(c); }, "C0 00 F8 4E 70"}});
}

TEST(XlCache, MiterLimitWholeAndReal) {
  // MiterLength has only ubyte and uint16 encodings: a real limit goes out
  // as its nearest whole number, through the same cache.
  run("miter", {{[](XlContext* c) { return xl_setmiterlimit_r32(c, 10.0f); }, "C1 0A 00 F8 49 73"},
                {[](XlContext* c) { return xl_setmiterlimit(c, 10); }, ""},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, 2.5f); }, "C1 03 00 F8 49 73"},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, 2.5f); }, ""},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, 3.2f); }, ""},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, 10.0f); }, "C1 0A 00 F8 49 73"},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, 1e9f); }, "C1 FF FF F8 49 73"},
                {[](XlContext* c) { return xl_setmiterlimit_r32(c, -4.0f); }, "C1 00 00 F8 49 73"}});
  Writer w;
  EXPECT_EQ(xl_setmiterlimit_r32(w.ctx(), std::numeric_limits<float>::quiet_NaN()), -1);
  EXPECT_TRUE(w.bytes().empty());
}

TEST(XlCache, FontStateReset) {
  Writer w;
  XlContext* c = w.ctx();
  c->font.charScaleX = 3;
  c->font.fontCount = 7;
  c->font.reset = FALSE;
  c->cgs.fillMode = 1;
  xl_initfontcgs(c);
  EXPECT_STREQ(c->font.fontName, "No Font");
  EXPECT_EQ(c->font.charScaleX, 1.0f);
  EXPECT_EQ(c->font.charScaleY, 1.0f);
  EXPECT_EQ(c->font.charAngle, 0.0f);
  EXPECT_EQ(c->font.boldValue, 0.0f);
  EXPECT_EQ(c->font.fontCount, 1);
  EXPECT_TRUE(c->font.reset);
  EXPECT_EQ(c->cgs.fillMode, 1) << "the font reset leaves the graphics state alone";
}

}  // namespace
