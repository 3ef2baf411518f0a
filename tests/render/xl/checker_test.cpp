// The strict PCL XL checker: streams made with the product's writers pass,
// and every kind of defect is reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "pclxl_checker.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::Writer;
using pclxl_check::Fault;
using pclxl_check::Mode;

namespace {

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

const std::vector<uint8_t> kUel = text("\x1b%-12345X");
const std::vector<uint8_t> kHeader = text(") HP-PCL XL;2;1;Comment\n");

XlBeginPage a4() {
  XlBeginPage p{};
  p.orientation = 0;
  p.mediaSource = 1;
  p.mediaSize = 2;
  p.destination = XL_LEAVE_OUT;
  p.simplexMode = 0;
  p.duplexMode = XL_LEAVE_OUT;
  p.duplexSide = XL_LEAVE_OUT;
  return p;
}

// A page with most of what the renderer draws; `inband` adds the renderer's
// private elements.
int drawPage(XlContext* c, bool inband) {
  int r = 0;
  XlBeginPage p = a4();
  if (inband) {
    BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
    r |= xl_ic_setpagectrl(c, pageCtrl);
    r |= xl_ic_startpage(c, 0, 0, 1, 1, 2);
  }
  r |= xl_beginpage(c, &p);
  if (inband) {
    r |= xl_setcolorspace_simple(c, 2, 0);
  } else {
    r |= xl_data_ubyte(c, 2) | xl_attribute(c, XL_ATTR_COLORSPACE) | xl_tag(c, XL_OP_SETCOLORSPACE);
  }
  r |= xl_setbrushsource_rgb(c, 0, 0, 255) | xl_setpensource_null(c);
  r |= xl_setfillmode(c, 1) | xl_setrop(c, 252) | xl_setpenwidth(c, 4) | xl_setmiterlimit_r32(c, 2.5f);
  const WORD dash[3] = {4, 2, 1};
  r |= xl_setlinedash_dash(c, dash, 3, 1) | xl_setlinecap(c, 1) | xl_setlinejoin(c, 1);
  r |= xl_pushgs(c);
  r |= xl_rectangle(c, RECT{0, 0, 100000, 50000}) | xl_ellipse(c, RECT{10, 10, 200, 300});
  r |= xl_newpath(c) | xl_setcursor(c, POINT{5, 5});
  const POINT line[4] = {{10, 10}, {70000, 20}, {-40000, 30}, {15, 15}};
  r |= xl_linepath_multi_nt(c, line, 4, POINT{5, 5});
  const POINT curve[6] = {{10, 10}, {20, 20}, {30, 30}, {-40000, 5}, {-39990, 10}, {-39980, 0}};
  r |= xl_bezierpath_multi_nt(c, curve, 6, POINT{15, 15});
  r |= xl_closesubpath(c) | xl_paintpath(c);
  r |= xl_popgs(c);
  r |= xl_setcliprectangle(c, 1, RECT{0, 0, 500, 500}) | xl_setcliptopage(c);
  const BYTE palette[6] = {0, 0, 0, 255, 255, 255};
  if (inband) r |= xl_setcolorspace_palette(c, 2, 0, palette, 6, 2);
  r |= xl_beginimage(c, inband ? 0 : 1, 2, 2, 1, 20, 10);
  const BYTE row[8] = {1, 2, 3, 4, 5, 6, 0, 0};
  r |= xl_readimage_hdr(c, 0, 1, 0, 4, 8) | xl_readimage_data(c, row, 8) | xl_endimage(c);
  r |= xl_beginrastpattern(c, 1, 2, 1, 1, 8, 8, 1, 0);
  r |= xl_readrastpattern_hdr(c, 0, 1, 0, 0, 4) | xl_readrastpattern(c, row, 4) | xl_endrastpattern(c);
  r |= xl_setbrushsource_pattern(c, 1, 0, 0, 16, 16);
  r |= xl_setpagerotation(c, 450) | xl_setpageorigin_long(c, 100000, 0) | xl_setpagescale(c, 1, 1);
  r |= xl_colorcomment(c, 1);
  r |= xl_endpage(c, 2);
  if (inband) r |= xl_ic_showpage(c) | xl_ic_endpage(c);
  return r;
}

int session(XlContext* c, bool inband) {
  int r = 0;
  if (inband) {
    BYTE pd[XL_IC_PRINTERDATA_SIZE] = {};
    BYTE dm[XL_IC_DEVMODE_SIZE] = {};
    r |= xl_ic_enable(c) | xl_ic_open(c, u"doc") | xl_ic_startjob(c) | xl_ic_setprinterdata(c, pd) |
         xl_ic_setdevmode(c, dm, sizeof dm) | xl_ic_setdocname(c, u"doc");
  }
  r |= xl_beginsession(c, 600, 600, 0, 0) | xl_opendatasource(c);
  if (inband) r |= xl_ic_timeout(c, 1) | xl_ic_timeout(c, 6);
  const BYTE name[5] = {'M', 'A', 'C', 'R', 'O'};
  const BYTE macro[3] = {0x85, 0x84, 0x86};  // a tiny stored stream
  r |= xl_beginstream(c, name, 5) | xl_readstream(c, 3) | xl_embeddeddata(c, macro, 3) |
       xl_tag(c, XL_OP_ENDSTREAM);
  r |= drawPage(c, inband);
  r |= drawPage(c, inband);
  r |= xl_closedatasource(c) | xl_endsession(c);
  if (inband) r |= xl_ic_close(c) | xl_ic_disable(c);
  return r;
}

TEST(Checker, RendererStreamFromTheWritersPasses) {
  Writer w;
  ASSERT_EQ(session(w.ctx(), true), 0);
  auto report = pclxl_check::check(w.bytes(), Mode::RendererStream);
  EXPECT_TRUE(report.ok()) << report.text();
  // The same stream is no job: no framing, private elements.
  EXPECT_FALSE(pclxl_check::check(w.bytes(), Mode::Job).ok());
}

TEST(Checker, JobFromTheWritersPasses) {
  Writer w;
  ASSERT_EQ(session(w.ctx(), false), 0);
  auto job = kUel + text("@PJL JOB NAME=\"doc\"\n@PJL COMMENT DATE=01/02/2026\r\n@PJL ENTER LANGUAGE=PCLXL\n") +
             kHeader + w.bytes() + kUel + text("@PJL EOJ\n") + kUel;
  auto report = pclxl_check::check(job, Mode::Job);
  EXPECT_TRUE(report.ok()) << report.text();
}

struct Defect {
  const char* name;
  Mode mode;
  std::vector<uint8_t> bytes;
  Fault fault;
};

// A minimal page around `body` (binary only).
std::vector<uint8_t> inPage(const std::vector<uint8_t>& body) {
  return hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41  C0 00 F8 88 C0 01 F8 82 48  C0 00 F8 28 43") + body +
         hex("44 49 42");
}
std::vector<uint8_t> asJob(const std::vector<uint8_t>& binary) { return kUel + kHeader + binary + kUel; }

std::vector<Defect> defects() {
  const auto page = inPage({});
  return {
      {"the clean page is a job", Mode::Job, asJob(page), Fault::Framing},  // placeholder, checked below
      {"undefined operator tag", Mode::RendererStream, inPage(hex("40")), Fault::IllegalTag},
      {"unassigned data type tag", Mode::RendererStream, inPage(hex("C6 00 F8 46 6E")), Fault::IllegalTag},
      {"0xFF in a job", Mode::Job, asJob(inPage(hex("C0 80 F8 FF FF"))), Fault::IllegalTag},
      {"private attribute 254 in a job", Mode::Job, asJob(inPage(hex("C0 02 F8 03 C0 00 F8 FE 6A"))),
       Fault::PrivateAttribute},
      {"attribute 253 in the renderer's stream", Mode::RendererStream,
       inPage(hex("C0 02 F8 03 C0 00 F8 FD 6A")), Fault::PrivateAttribute},
      {"attribute 254 on another operator", Mode::RendererStream, inPage(hex("C0 00 F8 46 C0 00 F8 FE 6E")),
       Fault::PrivateAttribute},
      {"attribute not listed for the operator", Mode::RendererStream, inPage(hex("C0 00 F8 2C 6E")),
       Fault::IllegalAttribute},
      {"missing required attribute", Mode::RendererStream, inPage(hex("6B")), Fault::MissingAttribute},
      {"BeginImage without SourceWidth", Mode::RendererStream,
       inPage(hex("C0 00 F8 64 C0 02 F8 62 C1 14 00 F8 6B D1 64 00 C8 00 F8 67 B0 B2")), Fault::MissingAttribute},
      {"wrong data type", Mode::RendererStream, inPage(hex("C1 00 00 F8 46 6E")), Fault::IllegalDataType},
      {"EndImage without BeginImage", Mode::RendererStream, inPage(hex("B2")), Fault::Nesting},
      {"page left open", Mode::RendererStream,
       hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41 C0 00 F8 28 43"), Fault::Nesting},
      {"drawing outside a page", Mode::RendererStream, hex("D1 58 02 58 02 F8 89 C0 00 F8 86 41 85 42"),
       Fault::Context},
      {"PopGS without PushGS", Mode::RendererStream, inPage(hex("60")), Fault::UnbalancedGS},
      {"page ends with a pushed state", Mode::RendererStream, inPage(hex("61")), Fault::UnbalancedGS},
      {"line points shorter than announced", Mode::RendererStream,
       inPage(hex("C1 03 00 F8 4D C0 00 F8 50 9B FB 04 01 02 03 04")), Fault::DataLength},
      {"embedded data running past the end", Mode::RendererStream,
       inPage({}) + hex("C1 01 00 F8 4D C0 00 F8 50 9B FA 00 01 00 00 01 02"), Fault::DataLength},
      {"a reading operator without its data", Mode::RendererStream,
       inPage(hex("C1 01 00 F8 4D C0 00 F8 50 9B 85")), Fault::MissingData},
      {"data after an operator that reads none", Mode::RendererStream, inPage(hex("85 FB 02 00 00")),
       Fault::UnexpectedData},
      {"a value without an attribute", Mode::RendererStream, inPage(hex("C0 00 85")), Fault::IllegalSequence},
      {"a Bezier count that is no multiple of 3", Mode::RendererStream,
       inPage(hex("C1 02 00 F8 4D C0 00 F8 50 93 FB 04 01 02 03 04")), Fault::DataLength},
      {"in-band command with the wrong payload size", Mode::RendererStream,
       inPage(hex("C0 8A F8 FF FF FB 0B 00 00 00 00 00 00 00 00 00 00 00")), Fault::InBand},
      {"in-band code as uint16", Mode::RendererStream, inPage(hex("C1 80 00 F8 FF FF")), Fault::InBand},
      {"in-band code out of range", Mode::RendererStream, inPage(hex("C0 9F F8 FF FF")), Fault::InBand},
      {"no universal exit first", Mode::Job, kHeader + page + kUel, Fault::Framing},
      {"two stream headers", Mode::Job, asJob(page) + kHeader, Fault::Framing},
      {"big-endian binding", Mode::Job, kUel + text("( HP-PCL XL;2;1;\n") + page + kUel, Fault::Framing},
      {"unknown protocol class", Mode::Job, kUel + text(") HP-PCL XL;9;1;\n") + page + kUel, Fault::Framing},
      {"stream not ended by the universal exit", Mode::Job, kUel + kHeader + page, Fault::Framing},
      {"truncated token", Mode::RendererStream, hex("D1 58 02"), Fault::Truncated},
  };
}

TEST(Checker, EveryKindOfDefectIsReported) {
  auto all = defects();
  // The first entry is the clean page itself: it must pass.
  auto clean = pclxl_check::check(all[0].bytes, Mode::Job);
  EXPECT_TRUE(clean.ok()) << clean.text();
  for (size_t i = 1; i < all.size(); ++i) {
    const Defect& d = all[i];
    auto report = pclxl_check::check(d.bytes, d.mode);
    EXPECT_TRUE(report.has(d.fault)) << d.name << " expected " << pclxl_check::faultName(d.fault) << ", got:\n"
                                     << report.text();
  }
}

}  // namespace
