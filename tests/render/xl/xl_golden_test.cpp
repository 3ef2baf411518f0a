// Byte-exact output of the writers, in both builds. Every expected string is
// written from the encoding tables: value tag, value, attribute (0xF8 id),
// operator.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kestrel/render/xl.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::toHex;
using kxltest::Writer;

namespace {

struct Golden {
  const char* name;
  std::function<int(XlContext*)> write;
  std::string expected;  // hex
};

XlBeginPage page(WORD orientation, WORD source, WORD size) {
  XlBeginPage p{};
  p.orientation = orientation;
  p.mediaSource = source;
  p.mediaSize = size;
  p.destination = XL_LEAVE_OUT;
  p.simplexMode = XL_LEAVE_OUT;
  p.duplexMode = XL_LEAVE_OUT;
  p.duplexSide = XL_LEAVE_OUT;
  return p;
}

std::vector<Golden> goldenCases() {
  return {
      {"BeginSession 600 dpi, no error report",
       [](XlContext* c) { return xl_beginsession(c, 600, 600, 0, 0); },
       "D1 58 02 58 02 F8 89  C0 00 F8 86  C0 00 F8 8F  41"},
      {"BeginSession 1200 x 600, error report 3",
       [](XlContext* c) { return xl_beginsession(c, 1200, 600, 0, 3); },
       "D1 B0 04 58 02 F8 89  C0 00 F8 86  C0 03 F8 8F  41"},
      {"OpenDataSource", [](XlContext* c) { return xl_opendatasource(c); }, "C0 00 F8 88  C0 01 F8 82  48"},
      {"CloseDataSource and EndSession",
       [](XlContext* c) { return xl_closedatasource(c) | xl_endsession(c); }, "49 42"},
      {"BeginPage standard size",
       [](XlContext* c) {
         XlBeginPage p = page(0, 1, 2);
         return xl_beginpage(c, &p);
       },
       "C0 00 F8 28  C0 01 F8 26  C0 02 F8 25  43"},
      {"BeginPage with a negative media source leaves it out",
       [](XlContext* c) {
         XlBeginPage p = page(1, 0xFFFF, 2);
         return xl_beginpage(c, &p);
       },
       "C0 01 F8 28  C0 02 F8 25  43"},
      {"BeginPage custom size",
       [](XlContext* c) {
         XlBeginPage p = page(1, 4, 0x8000 | 81);
         p.customWidth = 210.0f;
         p.customHeight = 297.0f;
         p.customUnits = 1;
         return xl_beginpage(c, &p);
       },
       "C0 01 F8 28  C0 04 F8 26  D5 00 00 52 43 00 80 94 43 F8 2F  C0 01 F8 30  43"},
      {"BeginPage media type and duplex",
       [](XlContext* c) {
         XlBeginPage p = page(0, 1, 2);
         p.mediaType = "Plain";
         p.duplexMode = 0;
         p.duplexSide = 1;
         return xl_beginpage(c, &p);
       },
       "C0 00 F8 28  C0 01 F8 26  C0 02 F8 25  C8 C0 05 50 6C 61 69 6E F8 27  C0 00 F8 35  C0 01 F8 36  43"},
      {"BeginPage destination and simplex; a side without a duplex mode is left out",
       [](XlContext* c) {
         XlBeginPage p = page(0, 1, 2);
         p.mediaType = "";
         p.destination = 1;
         p.simplexMode = 0;
         p.duplexSide = 0;
         return xl_beginpage(c, &p);
       },
       "C0 00 F8 28  C0 01 F8 26  C0 02 F8 25  C0 01 F8 24  C0 00 F8 34  43"},
      {"EndPage without copies", [](XlContext* c) { return xl_endpage(c, 0); }, "44"},
      {"EndPage with 3 copies", [](XlContext* c) { return xl_endpage(c, 3); }, "C1 03 00 F8 31  44"},
      {"Comment", [](XlContext* c) { return xl_comment(c, "AB"); }, "C8 C0 02 41 42 F8 81  47"},
      {"colour comment takes the low byte",
       [](XlContext* c) { return xl_colorcomment(c, 0x103); },
       "C8 C0 08 5A 41 4E 50 43 3D 30 33 F8 81  47"},
      {"cure draw mode a | b << 2", [](XlContext* c) { return xl_setcuredrawmode(c, 1, 2); },
       "C8 C0 08 5A 41 4E 53 52 3D 30 39 F8 81  47"},
      {"uncharged page", [](XlContext* c) { return xl_setunchargedpage(c); },
       "C8 C0 08 5A 41 4E 43 43 3D 30 30 F8 81  47"},
      {"BeginStream name with the uint16 length",
       [](XlContext* c) { return xl_beginstream(c, reinterpret_cast<const BYTE*>("AB"), 2); },
       "C8 C1 02 00 41 42 F8 8B  5B"},
      {"ExecStream", [](XlContext* c) { return xl_execstream(c, reinterpret_cast<const BYTE*>("M"), 1); },
       "C8 C1 01 00 4D F8 8B  5E"},
      {"ReadStream", [](XlContext* c) { return xl_readstream(c, 300); }, "C2 2C 01 00 00 F8 8C  5C"},
      {"PushGS PopGS", [](XlContext* c) { return xl_pushgs(c) | xl_popgs(c); }, "61 60"},
      {"SetClipReplace", [](XlContext* c) { return xl_setclipreplace(c, 1); }, "C0 01 F8 53  62"},
      {"SetClipToPage", [](XlContext* c) { return xl_setcliptopage(c); }, "69"},
      {"SetClipMode", [](XlContext* c) { return xl_setclipmode(c, 1); }, "C0 01 F8 54  7F"},
      {"brush null", [](XlContext* c) { return xl_setbrushsource_null(c); }, "C0 00 F8 04  63"},
      {"brush gray", [](XlContext* c) { return xl_setbrushsource_gray(c, 128); }, "C0 80 F8 09  63"},
      {"brush rgb from blue, green, red", [](XlContext* c) { return xl_setbrushsource_rgb(c, 1, 2, 3); },
       "C8 C0 03 03 02 01 F8 0B  63"},
      {"brush pattern without origin or size",
       [](XlContext* c) { return xl_setbrushsource_pattern(c, 5, 0, 0, 0, 10); }, "C3 05 00 F8 08  63"},
      {"brush pattern with origin and size",
       [](XlContext* c) { return xl_setbrushsource_pattern(c, 5, 1, -2, 10, 20); },
       "C3 05 00 F8 08  D3 01 00 FE FF F8 0C  D1 0A 00 14 00 F8 0D  63"},
      {"pen null", [](XlContext* c) { return xl_setpensource_null(c); }, "C0 00 F8 05  79"},
      {"pen rgb", [](XlContext* c) { return xl_setpensource_rgb(c, 0xFF, 0, 0x10); }, "C8 C0 03 10 00 FF F8 0B  79"},
      {"pen pattern", [](XlContext* c) { return xl_setpensource_pattern(c, -1, 0, 0, 0, 0); }, "C3 FF FF F8 08  79"},
      {"colour space with object kind", [](XlContext* c) { return xl_setcolorspace_simple(c, 2, 1); },
       "C0 02 F8 03  C0 01 F8 FE  6A"},
      {"SetLineDash solid", [](XlContext* c) { return xl_setlinedash_solid(c); }, "C0 00 F8 4E  70"},
      {"SetLineDash with offset",
       [](XlContext* c) {
         const WORD d[2] = {3, 300};
         return xl_setlinedash_dash(c, d, 2, 7);
       },
       "C9 C0 02 03 00 2C 01 F8 4A  C1 07 00 F8 43  70"},
      {"SetLineCap, SetLineJoin", [](XlContext* c) { return xl_setlinecap(c, 1) | xl_setlinejoin(c, 2); },
       "C0 01 F8 47  71  C0 02 F8 48  72"},
      {"SetPenWidth", [](XlContext* c) { return xl_setpenwidth(c, 0x1234); }, "C1 34 12 F8 4B  7A"},
      {"SetROP", [](XlContext* c) { return xl_setrop(c, 252); }, "C0 FC F8 2C  7B"},
      {"tx modes", [](XlContext* c) { return xl_setpainttxmode(c, 0) | xl_setsourcetxmode(c, 1); },
       "C0 00 F8 2D  78  C0 01 F8 2D  7C"},
      {"SetPageDefaultCTM", [](XlContext* c) { return xl_setpagedefaultctm(c); }, "74"},
      {"SetPageOrigin", [](XlContext* c) { return xl_setpageorigin(c, -1, 2); }, "D3 FF FF 02 00 F8 2A  75"},
      {"SetPageScale", [](XlContext* c) { return xl_setpagescale(c, 2.0f, 0.5f); },
       "D5 00 00 00 40 00 00 00 3F F8 2B  77"},
      {"page angle 90", [](XlContext* c) { return xl_setpagerotation(c, 90); }, "C3 5A 00 F8 29  76"},
      {"page angle 450 is 90", [](XlContext* c) { return xl_setpagerotation(c, 450); }, "C3 5A 00 F8 29  76"},
      {"page angle -370 is -10", [](XlContext* c) { return xl_setpagerotation(c, -370); }, "C3 F6 FF F8 29  76"},
      {"page angle 720 is 360", [](XlContext* c) { return xl_setpagerotation(c, 720); }, "C3 68 01 F8 29  76"},
      {"page angle -360 stays", [](XlContext* c) { return xl_setpagerotation(c, -360); }, "C3 98 FE F8 29  76"},
      {"page angle -720 is -360", [](XlContext* c) { return xl_setpagerotation(c, -720); }, "C3 98 FE F8 29  76"},
      {"path operators",
       [](XlContext* c) { return xl_newpath(c) | xl_closesubpath(c) | xl_paintpath(c); }, "85 84 86"},
      {"SetCursor ubyte pair", [](XlContext* c) { return xl_setcursor(c, POINT{10, 20}); }, "D0 0A 14 F8 4C  6B"},
      {"SetCursor sint16 pair", [](XlContext* c) { return xl_setcursor(c, POINT{-5, 300}); },
       "D3 FB FF 2C 01 F8 4C  6B"},
      {"LinePath single", [](XlContext* c) { return xl_linepath_single(c, POINT{255, 0}); }, "D0 FF 00 F8 45  9B"},
      {"Rectangle ubyte box", [](XlContext* c) { return xl_rectangle(c, RECT{1, 2, 3, 4}); }, "E0 01 02 03 04 F8 42  A0"},
      {"Ellipse sint16 box", [](XlContext* c) { return xl_ellipse(c, RECT{0, 0, 256, 10}); },
       "E3 00 00 00 00 00 01 0A 00 F8 42  98"},
      {"SetClipRectangle", [](XlContext* c) { return xl_setcliprectangle(c, 1, RECT{-1, 0, 10, 10}); },
       "C0 01 F8 53  E3 FF FF 00 00 0A 00 0A 00 F8 42  68"},
      {"BeginImage",
       [](XlContext* c) { return xl_beginimage(c, 0, 2, 10, 20, 100, 200); },
       "C0 00 F8 64  C0 02 F8 62  C1 0A 00 F8 6C  C1 14 00 F8 6B  D1 64 00 C8 00 F8 67  B0"},
      {"ReadImage header, pad 4 left out",
       [](XlContext* c) { return xl_readimage_hdr(c, 0, 8, 0, 4, 300); },
       "C1 00 00 F8 6D  C1 08 00 F8 63  C0 00 F8 65  B1  FA 2C 01 00 00"},
      {"ReadImage header, pad 1 and data",
       [](XlContext* c) {
         const BYTE d[2] = {0xAA, 0xBB};
         return xl_readimage_hdr(c, 3, 1, 1, 1, 2) | xl_readimage_data(c, d, 2) | xl_endimage(c);
       },
       "C1 03 00 F8 6D  C1 01 00 F8 63  C0 01 F8 65  C0 01 F8 6E  B1  FB 02 AA BB  B2"},
      {"BeginRastPattern",
       [](XlContext* c) { return xl_beginrastpattern(c, 0, 0, 8, 8, 16, 16, -3, 1); },
       "C0 00 F8 64  C0 00 F8 62  C1 08 00 F8 6C  C1 08 00 F8 6B  D1 10 00 10 00 F8 67  C3 FD FF F8 69  C0 01 "
       "F8 68  B3"},
      {"ReadRastPattern and end",
       [](XlContext* c) {
         const BYTE d[1] = {0x0F};
         return xl_readrastpattern_hdr(c, 0, 8, 0, 0, 1) | xl_readrastpattern(c, d, 1) | xl_endrastpattern(c);
       },
       "C1 00 00 F8 6D  C1 08 00 F8 63  C0 00 F8 65  B4  FB 01 0F  B5"},
      {"LinePath points already converted",
       [](XlContext* c) {
         const BYTE d[4] = {1, 2, 3, 4};
         return xl_linepath_multi_noconv(c, 2, XL_POINT_UBYTE, FALSE, d);
       },
       "C1 02 00 F8 4D  C0 00 F8 50  9B  FB 04 01 02 03 04"},
      {"BezierRelPath points already converted",
       [](XlContext* c) {
         const BYTE d[12] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
         return xl_bezierpath_multi_noconv(c, 3, XL_POINT_SINT16, TRUE, d);
       },
       "C1 03 00 F8 4D  C0 03 F8 50  95  FB 0C 01 00 02 00 03 00 04 00 05 00 06 00"},
      {"attribute 255 and a two-byte id", [](XlContext* c) { return xl_attribute(c, 255) | xl_attribute(c, 300); },
       "F8 FF  F9 2C 01"},
      {"scalars", [](XlContext* c) {
         return xl_data_uint32(c, 0x01020304) | xl_data_sint16(c, -2) | xl_data_real32(c, 1.0f) |
                xl_data_ubyte_box(c, 1, 2, 3, 4) | xl_data_sint16_box(c, -1, 1, -2, 2);
       },
       "C2 04 03 02 01  C3 FE FF  C5 00 00 80 3F  E0 01 02 03 04  E3 FF FF 01 00 FE FF 02 00"},
  };
}


TEST(XlGoldenBytes, EveryWriterAsTheTablesSay) {
  for (const Golden& g : goldenCases()) {
    Writer w;
    ASSERT_EQ(g.write(w.ctx()), 0) << g.name;
    EXPECT_EQ(toHex(w.bytes()), toHex(hex(g.expected))) << g.name << " (" << kxltest::kBuild << ")";
  }
}

// ---- arrays, embedded data and palettes at their boundaries -----------------

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

TEST(XlGoldenBytes, ArrayLengthTokenNarrowestUpTo255) {
  struct Case {
    DWORD count;
    const char* head;
  } cases[] = {{0, "C8 C0 00"}, {255, "C8 C0 FF"}, {256, "C8 C1 00 01"}, {65535, "C8 C1 FF FF"}};
  for (const auto& c : cases) {
    Writer w;
    auto data = pattern(c.count);
    ASSERT_EQ(xl_data_ubyte_array(w.ctx(), data.data(), c.count), 0);
    EXPECT_EQ(w.bytes(), concat({hex(c.head), data})) << c.count;
  }
  // 16-bit elements go out low byte first, with the same length rule.
  for (DWORD count : {255u, 256u}) {
    std::vector<WORD> v(count);
    std::vector<uint8_t> body;
    for (DWORD i = 0; i < count; ++i) {
      v[i] = static_cast<WORD>(0x0100 * i + 3);
      body.push_back(static_cast<uint8_t>(v[i]));
      body.push_back(static_cast<uint8_t>(v[i] >> 8));
    }
    Writer w;
    ASSERT_EQ(xl_data_uint16_array(w.ctx(), v.data(), count), 0);
    EXPECT_EQ(w.bytes(), concat({hex(count < 256 ? "C9 C0 FF" : "C9 C1 00 01"), body}));
    Writer s;
    ASSERT_EQ(xl_data_sint16_array(s.ctx(), reinterpret_cast<const SHORT*>(v.data()), count), 0);
    EXPECT_EQ(s.bytes(), concat({hex(count < 256 ? "CB C0 FF" : "CB C1 00 01"), body}));
  }
}

TEST(XlGoldenBytes, ArrayCountBeyond16BitsIsRefusedNotCut) {
  std::vector<uint8_t> data(65536, 1);
  std::vector<WORD> words(65536, 1);
  Writer w;
  EXPECT_EQ(xl_data_ubyte_array(w.ctx(), data.data(), 65536), -1);
  EXPECT_EQ(xl_data_ubyte_array_hdr(w.ctx(), 65536), -1);
  EXPECT_EQ(xl_data_uint16_array(w.ctx(), words.data(), 65536), -1);
  EXPECT_EQ(xl_data_sint16_array_hdr(w.ctx(), 70000), -1);
  EXPECT_TRUE(w.bytes().empty());
}

TEST(XlGoldenBytes, EmbeddedDataLengthForm) {
  struct Case {
    DWORD n;
    const char* head;
  } cases[] = {{0, "FB 00"}, {255, "FB FF"}, {256, "FA 00 01 00 00"}, {70000, "FA 70 11 01 00"}};
  for (const auto& c : cases) {
    Writer w;
    auto data = pattern(c.n);
    ASSERT_EQ(xl_embeddeddata(w.ctx(), data.data(), c.n), 0);
    EXPECT_EQ(w.bytes(), concat({hex(c.head), data})) << c.n;
  }
}

TEST(XlGoldenBytes, PalettesPadToTheirStepAndRefuseBeyondTheLimit) {
  struct Case {
    BYTE colorSpace;
    DWORD given;
    DWORD padded;  // 0: refused
    const char* arrayHead;
  } cases[] = {
      {2, 1, 6, "C8 C0 06"},      {2, 6, 6, "C8 C0 06"},          {2, 7, 48, "C8 C0 30"},
      {2, 48, 48, "C8 C0 30"},    {2, 49, 768, "C8 C1 00 03"},    {2, 768, 768, "C8 C1 00 03"},
      {2, 769, 0, ""},            {1, 2, 2, "C8 C0 02"},          {1, 3, 16, "C8 C0 10"},
      {1, 16, 16, "C8 C0 10"},    {1, 17, 256, "C8 C1 00 01"},    {1, 256, 256, "C8 C1 00 01"},
      {1, 257, 0, ""},            {6, 257, 0, ""},
  };
  for (const auto& c : cases) {
    Writer w;
    auto data = pattern(c.given);
    int r = xl_setcolorspace_palette(w.ctx(), c.colorSpace, 2, data.data(), c.given, 2);
    if (c.padded == 0) {
      EXPECT_EQ(r, -1) << c.given;
      EXPECT_TRUE(w.bytes().empty()) << "a refused palette writes nothing";
      continue;
    }
    ASSERT_EQ(r, 0) << c.given;
    std::vector<uint8_t> body = data;
    body.resize(c.padded, 0);
    std::vector<uint8_t> head = {0xC0, c.colorSpace, 0xF8, 0x03, 0xC0, 0x02, 0xF8, 0x02};
    EXPECT_EQ(w.bytes(), concat({head, hex(c.arrayHead), body, hex("F8 06  C0 02 F8 FE  6A")}))
        << int(c.colorSpace) << " " << c.given;
  }
}

TEST(XlGoldenBytes, RefusedArgumentsWriteNothing) {
  Writer w;
  XlBeginPage p = page(0, 300, 2);  // a media source that does not fit its ubyte
  EXPECT_EQ(xl_beginpage(w.ctx(), &p), -1);
  EXPECT_EQ(xl_beginpage(w.ctx(), nullptr), -1);
  EXPECT_EQ(xl_data_s16or8_xy(w.ctx(), 40000, 0), -1);
  const WORD d[1] = {1};
  EXPECT_EQ(xl_setlinedash_dash(w.ctx(), d, 0, 0), -1);
  EXPECT_EQ(xl_bezierpath_multi_noconv(w.ctx(), 4, XL_POINT_UBYTE, FALSE, reinterpret_cast<const BYTE*>("12345678")),
            -1);
  EXPECT_TRUE(w.bytes().empty());
}

#if defined(KXL_BUILD_UM)
// The spooler side's writers stop at the first put its job output refuses.
TEST(XlPutFailure, WritersStopAtTheFirstFailedPut) {
  for (int k = 1; k <= 6; ++k) {
    Writer w;
    w.sink().failAt = k;
    EXPECT_EQ(xl_beginsession(w.ctx(), 600, 600, 0, 0), -1) << k;
    EXPECT_EQ(w.sink().calls, k) << "no put after the failed one";
  }
  Writer w;
  w.sink().failAt = 1;
  XlBeginPage p = page(0, 1, 2);
  EXPECT_EQ(xl_beginpage(w.ctx(), &p), -1);
  EXPECT_EQ(w.sink().calls, 1);
}
#endif

}  // namespace
